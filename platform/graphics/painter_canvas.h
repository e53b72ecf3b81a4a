#pragma once
// The canvas backends that paint through the toolkit's painter: raster images and printer
// pages share every primitive here.

#include <memory>

#include "platform/graphics/canvas.h"

class TPainterCanvas : public TCanvas {
public:
    ~TPainterCanvas() override;

    struct Painter;  // private: the painter, clip stack and glyph caches

protected:
    TPainterCanvas(int dpiX, int dpiY);
    // Binds the painter the primitives draw on (null: none yet, drawing is skipped).
    void BindPainter(void* qpainter, int deviceWidth, int deviceHeight);
    Painter& PainterState() { return *p_; }
    const Painter& PainterState() const { return *p_; }

    void DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points) override;
    void DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points) override;
    void DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& bounds, TPoint p3,
                   TPoint p4) override;
    void DrawFill(const TCanvasState& state, const TRect& r) override;
    void DrawText(const TCanvasState& state, int x, int y, unsigned options, const TRect* rect,
                  std::u16string_view text, const int* advances) override;
    void DrawRaster(const TRect& r, std::shared_ptr<const TRasterImage> image) override;
    void Clip(TClipOp op, const TRect& r) override;

private:
    std::unique_ptr<Painter> p_;
};
