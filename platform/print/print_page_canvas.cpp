#include "platform/print/print_page_canvas.h"

TPrintPageCanvas::TPrintPageCanvas(int dpiX, int dpiY) : TPrinterCanvas(dpiX, dpiY) {}

TPrintPageCanvas::~TPrintPageCanvas() = default;

namespace {
// The page draws with exactly the state the call was made with; the brush goes before the
// background mode because a brush change resets the mode.
void takeState(TCanvas& target, const TCanvasState& state) {
    target.Pen().SetData(state.Pen);
    target.Brush().SetData(state.Brush);
    target.Font().SetData(state.Font);
    target.SetBackgroundMode(state.BackgroundMode);
}
} // namespace

void TPrintPageCanvas::DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points) {
    if (!target_) return;
    takeState(*target_, state);
    target_->Polyline(points);
}

void TPrintPageCanvas::DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points) {
    if (!target_) return;
    takeState(*target_, state);
    target_->Polygon(points);
}

void TPrintPageCanvas::DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& b,
                                 TPoint p3, TPoint p4) {
    if (!target_) return;
    takeState(*target_, state);
    DrawShapeKind(*target_, kind, b, p3, p4);
}

void TPrintPageCanvas::DrawFill(const TCanvasState& state, const TRect& r) {
    if (!target_) return;
    takeState(*target_, state);
    target_->FillRect(r);
}

void TPrintPageCanvas::DrawText(const TCanvasState& state, int x, int y, unsigned options,
                                const TRect* rect, std::u16string_view text, const int* advances) {
    if (!target_) return;
    takeState(*target_, state);
    target_->ExtTextOut(x, y, options, rect, text, advances);
}

void TPrintPageCanvas::DrawRaster(const TRect& r, std::shared_ptr<const TRasterImage> image) {
    if (!target_) return;
    target_->DrawImage(r, std::move(image));
}

void TPrintPageCanvas::Clip(TClipOp op, const TRect& r) {
    if (!target_) return;
    switch (op) {
    case TClipOp::Save:
        target_->SaveClip();
        break;
    case TClipOp::Restore:
        target_->RestoreClip();
        break;
    case TClipOp::Intersect:
        target_->IntersectClipRect(r);
        break;
    case TClipOp::Exclude:
        target_->ExcludeClipRect(r);
        break;
    }
}
