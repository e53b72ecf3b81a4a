#pragma once
// Shared helpers of the graphics tests.

#include <gtest/gtest.h>

#include <string>

#include "platform/graphics/raster_canvas.h"

// The bounding box of every pixel that differs from background (empty when none).
inline TRect InkBounds(const TRasterCanvas& c, TColor background = clWhite)
{
    TRect r{c.Width(), c.Height(), 0, 0};
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x)
            if (c.Pixel(x, y) != background) {
                r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
            }
    return r.IsEmpty() ? TRect{} : r;
}

// One character per pixel: '#' for color, '.' for anything else; rows joined with '|'.
inline std::string PixelMap(const TRasterCanvas& c, TColor color)
{
    std::string s;
    for (int y = 0; y < c.Height(); ++y) {
        if (y) s += '|';
        for (int x = 0; x < c.Width(); ++x) s += c.Pixel(x, y) == color ? '#' : '.';
    }
    return s;
}

inline bool SamePixels(const TRasterCanvas& a, const TRasterCanvas& b)
{
    const TRasterImage ia = a.ToImage(), ib = b.ToImage();
    return ia.Width == ib.Width && ia.Height == ib.Height && ia.Pixels == ib.Pixels;
}
