#include "platform/graphics/painter_canvas.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/graphics/font_engine_p.h"
#include "platform/graphics/painter_canvas_p.h"

namespace {

QColor qcolor(TColor c)
{
    c = ColorToRGB(c);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QRect qrect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

QPainter::CompositionMode compositionFor(TPenMode mode)
{
    switch (mode) {
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge: return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask: return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case pmBlack:
    case pmWhite:
    case pmNop:
    case pmCopy: return QPainter::CompositionMode_SourceOver;
    }
    return QPainter::CompositionMode_SourceOver;
}

// The dash patterns of one-pixel pens, in pixels.
QList<qreal> dashPattern(const TPenData& d)
{
    switch (d.Style) {
    case psDash: return {18, 6};
    case psDot: return {3, 3};
    case psDashDot: return {9, 6, 3, 6};
    case psDashDotDot: return {9, 3, 3, 3, 3, 3};
    case psAlternate: return {1, 1};
    case psUserStyle: {
        QList<qreal> pattern;
        // The stroker draws nothing for an empty dash; a sliver still gets its two end caps.
        for (int v : d.Dashes) pattern.push_back(std::max<qreal>(v, 0.01) / std::max(1, d.Width));
        if (pattern.size() % 2) pattern.append(pattern);
        return pattern;
    }
    default: return {};
    }
}

bool hasPen(const TPenData& d) { return d.Style != psClear && d.Mode != pmNop; }

QPen makePen(const TPenData& d)
{
    if (!hasPen(d)) return QPen(Qt::NoPen);
    const QColor color = d.Mode == pmBlack ? QColor(Qt::black)
                       : d.Mode == pmWhite ? QColor(Qt::white)
                                           : qcolor(d.Color);
    QPen pen(color);
    const int width = std::max(1, d.Width);
    pen.setWidth(width);
    const auto pattern = dashPattern(d);
    // Wide pens draw the stock dash styles solid; only user patterns stay dashed.
    if (!pattern.isEmpty() && (width == 1 || d.Style == psUserStyle)) pen.setDashPattern(pattern);
    const bool hasDots = d.Style == psUserStyle && std::find(d.Dashes.begin(), d.Dashes.end(), 0) != d.Dashes.end();
    if (width == 1 && !hasDots) {
        pen.setCapStyle(Qt::FlatCap);  // thin lines leave out their last pixel
    } else {
        pen.setCapStyle(d.EndCap == pecRound ? Qt::RoundCap : d.EndCap == pecSquare ? Qt::SquareCap : Qt::FlatCap);
    }
    pen.setJoinStyle(d.JoinStyle == pjsRound ? Qt::RoundJoin : d.JoinStyle == pjsBevel ? Qt::BevelJoin : Qt::MiterJoin);
    return pen;
}

QBrush makeBrush(const TBrushData& b)
{
    const QColor color = qcolor(b.Color);
    switch (b.Style) {
    case bsSolid: return QBrush(color, Qt::SolidPattern);
    case bsClear: return QBrush(Qt::NoBrush);
    case bsHorizontal: return QBrush(color, Qt::HorPattern);
    case bsVertical: return QBrush(color, Qt::VerPattern);
    case bsFDiagonal: return QBrush(color, Qt::FDiagPattern);
    case bsBDiagonal: return QBrush(color, Qt::BDiagPattern);
    case bsCross: return QBrush(color, Qt::CrossPattern);
    case bsDiagCross: return QBrush(color, Qt::DiagCrossPattern);
    }
    return QBrush(Qt::NoBrush);
}

// The colour that fills text cells, dash gaps and hatch backgrounds in opaque mode.
QColor backgroundColor(const TBrushData& b)
{
    const TColor rgb = ColorToRGB(b.Color);
    return qcolor(b.Style == bsSolid ? rgb : (~rgb & 0xFFFFFF));
}

void applyState(QPainter& p, const TCanvasState& s, bool withPen, bool withBrush)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(withPen ? makePen(s.Pen) : QPen(Qt::NoPen));
    p.setBrush(withBrush ? makeBrush(s.Brush) : QBrush(Qt::NoBrush));
    p.setBackgroundMode(s.BackgroundMode == bmOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    p.setBackground(QBrush(backgroundColor(s.Brush)));
    p.setCompositionMode(compositionFor(s.Pen.Mode));
}

double radialAngle(const TRect& b, TPoint p)
{
    const double cx = (b.Left + b.Right) / 2.0, cy = (b.Top + b.Bottom) / 2.0;
    return std::atan2(cy - p.Y, p.X - cx) * 180.0 / std::numbers::pi;
}

}  // namespace

void TPainterCanvas::Painter::ApplyClip()
{
    if (!painter) return;
    if (clip)
        painter->setClipRegion(*clip);
    else
        painter->setClipping(false);
}

const QRawFont& TPainterCanvas::Painter::RawFont(const FontFace* face, int em)
{
    auto& slot = rawFonts[{face, em}];
    if (!slot.isValid()) {
        std::lock_guard lock(face->mutex);
        slot = face->raw;
        slot.setPixelSize(em);
    }
    return slot;
}

TPainterCanvas::TPainterCanvas(int dpiX, int dpiY) : TCanvas(dpiX, dpiY), p_(std::make_unique<Painter>()) {}
TPainterCanvas::~TPainterCanvas() = default;

void TPainterCanvas::BindPainter(void* qpainter, int deviceWidth, int deviceHeight)
{
    p_->painter = static_cast<QPainter*>(qpainter);
    p_->width = deviceWidth;
    p_->height = deviceHeight;
    p_->clip.reset();
    p_->clipStack.clear();
    p_->rawFonts.clear();
    p_->ApplyClip();
}

void TPainterCanvas::DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points)
{
    QPainter* p = p_->painter;
    if (!p || !hasPen(state.Pen)) return;
    applyState(*p, state, true, false);
    QPolygon poly;
    for (const auto& pt : points) poly << QPoint(pt.X, pt.Y);
    p->drawPolyline(poly);
}

void TPainterCanvas::DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points)
{
    QPainter* p = p_->painter;
    if (!p) return;
    applyState(*p, state, true, true);
    QPolygon poly;
    for (const auto& pt : points) poly << QPoint(pt.X, pt.Y);
    p->drawPolygon(poly, Qt::OddEvenFill);
}

void TPainterCanvas::DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& bounds, TPoint p3,
                               TPoint p4)
{
    QPainter* p = p_->painter;
    if (!p || bounds.IsEmpty()) return;
    TRect b = bounds;
    if (state.Pen.Style == psInsideFrame && state.Pen.Width > 1) {
        const int inset = state.Pen.Width / 2;
        b = {b.Left + inset, b.Top + inset, b.Right - inset, b.Bottom - inset};
        if (b.IsEmpty()) return;
    }
    // An outline drawn along the rectangle one pixel in from its right and bottom edges
    // covers exactly the pixels of the half-open rectangle.
    const QRect outline(b.Left, b.Top, b.Width() - 1, b.Height() - 1);
    switch (kind) {
    case TShapeKind::Rectangle:
        applyState(*p, state, false, true);
        if (p->brush().style() != Qt::NoBrush) p->drawRect(qrect(b));
        if (hasPen(state.Pen)) {
            applyState(*p, state, true, false);
            p->drawRect(outline);
        }
        break;
    case TShapeKind::RoundRect:
        applyState(*p, state, true, true);
        p->drawRoundedRect(outline, p3.X / 2.0, p3.Y / 2.0, Qt::AbsoluteSize);
        break;
    case TShapeKind::Ellipse:
        applyState(*p, state, true, true);
        p->drawEllipse(outline);
        break;
    case TShapeKind::Arc:
    case TShapeKind::Pie:
    case TShapeKind::Chord: {
        const double start = radialAngle(b, p3);
        double span = radialAngle(b, p4) - start;
        while (span <= 0) span += 360.0;
        const int a = static_cast<int>(std::lround(start * 16)), s = static_cast<int>(std::lround(span * 16));
        applyState(*p, state, true, kind != TShapeKind::Arc);
        if (kind == TShapeKind::Arc)
            p->drawArc(outline, a, s);
        else if (kind == TShapeKind::Pie)
            p->drawPie(outline, a, s);
        else
            p->drawChord(outline, a, s);
        break;
    }
    }
}

void TPainterCanvas::DrawFill(const TCanvasState& state, const TRect& r)
{
    QPainter* p = p_->painter;
    if (!p || state.Brush.Style == bsClear) return;
    applyState(*p, state, false, true);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->drawRect(qrect(r));
}

void TPainterCanvas::DrawText(const TCanvasState& state, int x, int y, unsigned options, const TRect* rect,
                              std::u16string_view text, const int* advances)
{
    QPainter* p = p_->painter;
    if (!p) return;
    auto measurer = TFontMeasurer::ForFont(state.Font);
    const auto& impl = measurer->Internals();
    const TTextMetric& m = measurer->Metrics();
    const QColor bk = backgroundColor(state.Brush);

    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The background is filled here; an opaque mode left by an earlier fill would have the
    // painter fill the run's box again over the glyphs.
    p->setBackgroundMode(Qt::TransparentMode);
    if (rect && (options & ETO_OPAQUE)) p->fillRect(qrect(*rect), bk);
    if (rect && (options & ETO_CLIPPED)) p->setClipRect(qrect(*rect), Qt::IntersectClip);

    int total = 0;
    for (std::size_t i = 0; i < text.size(); ++i) total += advances[i];
    // Unrotated text keeps the painter's transform and is placed through the drawing positions:
    // the raster engine's glyph cache draws runs at the device origin when a translation was
    // added to the painter after a fill.
    QPoint origin(x, y);
    if (state.Font.Orientation % 3600 != 0) {
        p->translate(x, y);
        p->rotate(-state.Font.Orientation / 10.0);
        origin = QPoint(0, 0);
    }
    if (state.BackgroundMode == bmOpaque && !(rect && (options & ETO_OPAQUE)))
        p->fillRect(QRect(0, 0, total, m.Height).translated(origin), bk);

    // Consecutive glyphs of one face go out as one run, each at its own whole-pixel position.
    const QColor color = qcolor(state.Font.Color);
    p->setPen(color);
    const FontFace* runFace = nullptr;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    auto flush = [&] {
        if (!runFace || glyphs.isEmpty()) return;
        QGlyphRun run;
        run.setRawFont(p_->RawFont(runFace, impl.em));
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        p->drawGlyphRun(QPointF(origin), run);
        if (runFace->synthesizeBold) p->drawGlyphRun(QPointF(origin) + QPointF(1, 0), run);
        glyphs.clear();
        positions.clear();
    };
    int pen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const int at = pen;
        pen += advances[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            pen += advances[++i];
        }
        if (c < 0x20) continue;
        const auto glyph = impl.Resolve(c);
        if (glyph.index == 0) continue;
        if (glyph.face != runFace) {
            flush();
            runFace = glyph.face;
        }
        glyphs.push_back(glyph.index);
        positions.push_back(QPointF(at, m.Ascent));
    }
    flush();

    const FontFace& face = *impl.primary;
    if (state.Font.Style.Contains(fsUnderline)) {
        const int thickness = std::max(1, face.Scale(face.underlineThickness, impl.em));
        const int top = m.Ascent - face.Scale(face.underlinePosition, impl.em) - thickness / 2;
        p->fillRect(QRect(0, top, total, thickness).translated(origin), color);
    }
    if (state.Font.Style.Contains(fsStrikeOut)) {
        const int thickness = std::max(1, face.Scale(face.strikeoutSize, impl.em));
        const int top = m.Ascent - face.Scale(face.strikeoutPosition, impl.em) - thickness / 2;
        p->fillRect(QRect(0, top, total, thickness).translated(origin), color);
    }
    p->restore();
}

void TPainterCanvas::DrawRaster(const TRect& r, std::shared_ptr<const TRasterImage> image)
{
    QPainter* p = p_->painter;
    if (!p) return;
    const QImage source(reinterpret_cast<const uchar*>(image->Pixels.data()), image->Width, image->Height,
                        image->Width * 4, image->HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->setRenderHint(QPainter::SmoothPixmapTransform, false);
    p->drawImage(qrect(r), source);
}

void TPainterCanvas::Clip(TClipOp op, const TRect& r)
{
    switch (op) {
    case TClipOp::Save: p_->clipStack.push_back(p_->clip); break;
    case TClipOp::Restore:
        if (p_->clipStack.empty()) return;
        p_->clip = p_->clipStack.back();
        p_->clipStack.pop_back();
        break;
    case TClipOp::Intersect:
        p_->clip = p_->clip ? p_->clip->intersected(qrect(r)) : QRegion(qrect(r));
        break;
    case TClipOp::Exclude: {
        const QRegion base = p_->clip ? *p_->clip : QRegion(0, 0, p_->width, p_->height);
        p_->clip = base.subtracted(QRegion(qrect(r)));
        break;
    }
    }
    p_->ApplyClip();
}
