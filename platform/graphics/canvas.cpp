#include "platform/graphics/canvas.h"

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/graphics/graphic.h"

TCanvas::TCanvas(int dpiX, int dpiY) : dpiX_(dpiX > 0 ? dpiX : 96), dpiY_(dpiY > 0 ? dpiY : 96) {
    font_.SetPixelsPerInch(dpiY_);
    brush_.OnChange = [this](TBrush& b) {
        bkMode_ = b.Style() == bsSolid ? bmOpaque : bmTransparent;
    };
}

TCanvas::~TCanvas() = default;

void TCanvas::SetPixelsPerInch(int dpiX, int dpiY) {
    dpiX_ = dpiX > 0 ? dpiX : 96;
    dpiY_ = dpiY > 0 ? dpiY : 96;
    font_.SetPixelsPerInch(dpiY_);
}

TCanvasState TCanvas::State() const {
    return {pen_.Data(), brush_.Data(), font_.Data(), bkMode_};
}

void TCanvas::LineTo(int x, int y) {
    ChangeScope scope(*this);
    DrawPolyline(State(), {penPos_, {x, y}});
    penPos_ = {x, y};
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
    ChangeScope scope(*this);
    if (points.size() >= 2) DrawPolyline(State(), points);
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
    ChangeScope scope(*this);
    if (points.size() >= 2) DrawPolygon(State(), points);
}

namespace {
TRect normalized(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}
} // namespace

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::Rectangle, normalized(x1, y1, x2, y2), {}, {});
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::RoundRect, normalized(x1, y1, x2, y2),
              {cornerWidth, cornerHeight}, {});
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::Ellipse, normalized(x1, y1, x2, y2), {}, {});
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::Arc, normalized(x1, y1, x2, y2), {x3, y3}, {x4, y4});
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::Pie, normalized(x1, y1, x2, y2), {x3, y3}, {x4, y4});
}

void TCanvas::Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    ChangeScope scope(*this);
    DrawShape(State(), TShapeKind::Chord, normalized(x1, y1, x2, y2), {x3, y3}, {x4, y4});
}

void TCanvas::FillRect(const TRect& r) {
    ChangeScope scope(*this);
    if (!r.IsEmpty()) DrawFill(State(), r);
}

void TCanvas::FrameRect(const TRect& r) {
    ChangeScope scope(*this);
    if (r.IsEmpty()) return;
    const TCanvasState state = State();
    DrawFill(state, {r.Left, r.Top, r.Right, r.Top + 1});
    if (r.Height() > 1) DrawFill(state, {r.Left, r.Bottom - 1, r.Right, r.Bottom});
    if (r.Height() > 2) {
        DrawFill(state, {r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1});
        if (r.Width() > 1) DrawFill(state, {r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1});
    }
}

void TCanvas::TextOut(int x, int y, std::string_view utf8) {
    TextOutW(x, y, Utf8ToUtf16Lenient(utf8));
}

void TCanvas::TextOutW(int x, int y, std::u16string_view text) {
    ExtTextOut(x, y, 0, nullptr, text, nullptr);
    penPos_ = {x + TextExtentW(text).cx, y};
}

void TCanvas::TextRect(const TRect& r, int x, int y, std::string_view utf8) {
    const std::u16string text = Utf8ToUtf16Lenient(utf8);
    unsigned options = ETO_CLIPPED;
    if (brush_.Style() != bsClear) options |= ETO_OPAQUE;
    ExtTextOut(x, y, options, &r, text, nullptr);
}

void TCanvas::ExtTextOut(int x, int y, unsigned options, const TRect* rect,
                         std::u16string_view text, const int* advances) {
    ChangeScope scope(*this);
    std::vector<int> own;
    if (!advances) {
        own.resize(text.size());
        Measurer()->Advances(text, own.data());
        advances = own.data();
    }
    DrawText(State(), x, y, options, rect, text, advances);
}

std::shared_ptr<const TFontMeasurer> TCanvas::Measurer() const {
    return TFontMeasurer::ForFont(font_.Data());
}

TSize TCanvas::TextExtent(std::string_view utf8) const {
    return TextExtentW(Utf8ToUtf16Lenient(utf8));
}

TSize TCanvas::TextExtentW(std::u16string_view text) const {
    auto m = Measurer();
    return {m->TextWidth(text), m->Metrics().Height};
}

int TCanvas::TextExtents(std::u16string_view text, int* cumulative) const {
    const int total = Measurer()->Advances(text, cumulative);
    for (std::size_t i = 1; i < text.size(); ++i)
        cumulative[i] += cumulative[i - 1];
    return total;
}

TTextMetric TCanvas::TextMetrics() const {
    return Measurer()->Metrics();
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
    if (graphic.Empty()) return;
    graphic.Draw(*this, Bounds(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& r, const TGraphic& graphic) {
    if (!graphic.Empty()) graphic.Draw(*this, r);
}

void TCanvas::DrawImage(const TRect& r, const TRasterImage& image) {
    ChangeScope scope(*this);
    if (!image.IsEmpty() && !r.IsEmpty()) DrawRaster(r, std::make_shared<TRasterImage>(image));
}

void TCanvas::DrawImage(const TRect& r, std::shared_ptr<const TRasterImage> image) {
    ChangeScope scope(*this);
    if (image && !image->IsEmpty() && !r.IsEmpty()) DrawRaster(r, std::move(image));
}

void TCanvas::Changing() {
    if (OnChanging) OnChanging(*this);
}

void TCanvas::Changed() {
    if (OnChange) OnChange(*this);
}

TRasterImage TCanvas::CopyPixels(const TRect&) const {
    throw ENotSupported("this canvas has no pixels to copy");
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& src) {
    ChangeScope scope(*this);
    if (src.IsEmpty() || dest.IsEmpty()) return;
    DrawImage(dest, source.CopyPixels(src));
}

TColor TCanvas::Pixel(int, int) const {
    throw ENotSupported("this canvas has no pixels to read");
}
void TCanvas::SetPixel(int, int, TColor) {
    throw ENotSupported("this canvas has no pixels to set");
}

void TCanvas::SaveClip() {
    Clip(TClipOp::Save, {});
}
void TCanvas::RestoreClip() {
    Clip(TClipOp::Restore, {});
}
void TCanvas::IntersectClipRect(const TRect& r) {
    Clip(TClipOp::Intersect, r);
}
void TCanvas::ExcludeClipRect(const TRect& r) {
    Clip(TClipOp::Exclude, r);
}

void DrawShapeKind(TCanvas& canvas, TShapeKind kind, const TRect& b, TPoint p3, TPoint p4) {
    switch (kind) {
    case TShapeKind::Rectangle:
        canvas.Rectangle(b);
        break;
    case TShapeKind::RoundRect:
        canvas.RoundRect(b.Left, b.Top, b.Right, b.Bottom, p3.X, p3.Y);
        break;
    case TShapeKind::Ellipse:
        canvas.Ellipse(b);
        break;
    case TShapeKind::Arc:
        canvas.Arc(b.Left, b.Top, b.Right, b.Bottom, p3.X, p3.Y, p4.X, p4.Y);
        break;
    case TShapeKind::Pie:
        canvas.Pie(b.Left, b.Top, b.Right, b.Bottom, p3.X, p3.Y, p4.X, p4.Y);
        break;
    case TShapeKind::Chord:
        canvas.Chord(b.Left, b.Top, b.Right, b.Bottom, p3.X, p3.Y, p4.X, p4.Y);
        break;
    }
}
