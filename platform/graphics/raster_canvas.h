#pragma once
// A canvas over an image in memory, with pixel access.

#include <memory>

#include "platform/graphics/painter_canvas.h"

class QImage;

class TRasterCanvas final : public TPainterCanvas {
public:
    // An image of its own, filled with background (32-bit, opaque).
    TRasterCanvas(int width, int height, int dpi = 96, TColor background = clWhite);
    // Over an image owned elsewhere (a bitmap's); the image must outlive the canvas or be
    // replaced with Rebind first.
    TRasterCanvas(QImage* external, int dpi);
    ~TRasterCanvas() override;

    void Rebind(QImage* external);

    int Width() const;
    int Height() const;
    void SetPixelsPerInch(int dpiX, int dpiY) { TCanvas::SetPixelsPerInch(dpiX, dpiY); }

    TColor Pixel(int x, int y) const override;
    TRasterImage CopyPixels(const TRect& r) const override;
    void SetPixel(int x, int y, TColor color) override;
    // A copy of the pixels (alpha kept only when the image has an alpha channel).
    TRasterImage ToImage() const;

private:
    struct Surface;
    std::unique_ptr<Surface> s_;
    void Begin(QImage* image);
};

// A 1 x 1 canvas at any resolution, for measuring text at that resolution.
std::unique_ptr<TRasterCanvas> MakeMeasuringCanvas(int ppi);
