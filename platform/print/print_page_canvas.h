#pragma once
// The canvas a printer keeps for its whole life: it measures at the printer's resolution at all
// times and, while a document runs, passes every drawing call on to the page the print backend
// has open (a toolkit printer page, a recording, ...). Between documents drawing is dropped.

#include "platform/graphics/printer_canvas.h"

class TPrintPageCanvas : public TPrinterCanvas {
public:
    explicit TPrintPageCanvas(int dpiX = 96, int dpiY = 96);
    ~TPrintPageCanvas() override;

    // The page drawing goes to; null: none. Backends set it around each page.
    void SetPageTarget(TCanvas* target) { target_ = target; }
    TCanvas* PageTarget() const { return target_; }

protected:
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
    TCanvas* target_ = nullptr;
};
