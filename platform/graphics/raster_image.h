#pragma once
// A plain 32-bit image handed between graphics and canvases: 0xAARRGGBB per pixel
// (not premultiplied), rows top first, no padding.

#include <cstdint>
#include <vector>

struct TRasterImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
    bool HasAlpha = false;  // false: alpha is ignored and every pixel is opaque

    TRasterImage() = default;
    TRasterImage(int width, int height, std::uint32_t fill = 0xFF000000u)
        : Width(width), Height(height),
          Pixels(static_cast<std::size_t>(width > 0 ? width : 0) * (height > 0 ? height : 0), fill)
    {
    }
    bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
    std::uint32_t& At(int x, int y) { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};
