// The device context of the metafile player: mapping, state, clip and paths, drawn on a
// recording canvas; and the DIB decoder.

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile_player_p.h"

namespace metafile_player {

namespace {

// As the recording holds coordinates.
constexpr double kMaxCoordinate = 1 << 27;
constexpr int kMaxPenWidth = 1 << 16;
constexpr int kMaxFontPixels = 8192;
constexpr std::size_t kMaxSavedStates = 4096;
constexpr std::size_t kMaxExcluded = 64;
constexpr int kEllipseSegments = 64;
constexpr int kBezierSegments = 16;
constexpr int kMaxDibSide = 16384;
constexpr std::uint64_t kMaxDibPixels = std::uint64_t{1} << 26;

int toCoord(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(RoundHalfEven(std::clamp(v, -kMaxCoordinate, kMaxCoordinate)));
}

TRect normalized(TPoint a, TPoint b) {
    return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

TRect intersect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    r.Right = std::max(r.Right, r.Left);
    r.Bottom = std::max(r.Bottom, r.Top);
    return r;
}

// Logical units per inch of the fixed mapping modes; y grows upwards in all of them.
double unitsPerInch(int mode) {
    switch (mode) {
    case MM_LOMETRIC:
        return 254;
    case MM_HIMETRIC:
        return 2540;
    case MM_LOENGLISH:
        return 100;
    case MM_HIENGLISH:
        return 1000;
    case MM_TWIPS:
        return 1440;
    default:
        return 0;
    }
}

bool isDashed(const TPenData& pen) {
    return pen.Style == psUserStyle || pen.Style == psAlternate ||
           (pen.Width == 1 && pen.Style >= psDash && pen.Style <= psDashDotDot);
}

void flattenBezier(PointD p0, PointD p1, PointD p2, PointD p3, std::vector<PointD>& out) {
    for (int i = 1; i <= kBezierSegments; ++i) {
        const double t = static_cast<double>(i) / kBezierSegments, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.push_back(
            {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
}

} // namespace

bool XForm::Finite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
}

XForm Then(const XForm& f, const XForm& s) {
    return {f.m11 * s.m11 + f.m12 * s.m21,      f.m11 * s.m12 + f.m12 * s.m22,
            f.m21 * s.m11 + f.m22 * s.m21,      f.m21 * s.m12 + f.m22 * s.m22,
            f.dx * s.m11 + f.dy * s.m21 + s.dx, f.dx * s.m12 + f.dy * s.m22 + s.dy};
}

MetafileDc::MetafileDc(TRecordingCanvas* canvas, const DeviceSpace& space,
                       std::uint64_t imageBudget)
    : canvas_(canvas), space_(space), imageBudget_(imageBudget) {
    // The metafile's clip lives in one level of its own, replaced whole on each change.
    if (canvas_) canvas_->SaveClip();
}

void MetafileDc::Finish() {
    if (canvas_) canvas_->RestoreClip();
    applied_ = {};
}

// ---- state -------------------------------------------------------------------------------------

void MetafileDc::SaveDc() {
    if (saved_.size() < kMaxSavedStates) saved_.push_back(s_);
}

void MetafileDc::RestoreDc(int n) {
    std::size_t keep;
    if (n < 0) {
        const std::size_t back = static_cast<std::size_t>(-static_cast<long long>(n));
        if (back > saved_.size()) return;
        keep = saved_.size() - back;
    } else {
        if (n == 0 || static_cast<std::size_t>(n) > saved_.size()) return;
        keep = static_cast<std::size_t>(n) - 1;
    }
    s_ = std::move(saved_[keep]);
    saved_.resize(keep);
    applyClip();
}

void MetafileDc::SetMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC || mode == s_.mapMode) return;
    if (!space_.keepExtentsOnModeChange && mode >= MM_ISOTROPIC) {
        // The extents the old mode stood for become the starting ones.
        const double units = unitsPerInch(s_.mapMode);
        if (s_.mapMode < MM_ISOTROPIC) {
            s_.windowExt = {1, 1};
            s_.viewportExt =
                units ? PointD{space_.devicePerInchX / units, -space_.devicePerInchY / units}
                      : PointD{1, 1};
        }
    }
    s_.mapMode = mode;
}

void MetafileDc::SetWindowExt(PointD e) {
    if (s_.mapMode >= MM_ISOTROPIC && e.x != 0 && e.y != 0) s_.windowExt = e;
}

void MetafileDc::SetViewportExt(PointD e) {
    if (s_.mapMode >= MM_ISOTROPIC && e.x != 0 && e.y != 0) s_.viewportExt = e;
}

void MetafileDc::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom != 0 && yDenom != 0)
        SetWindowExt({s_.windowExt.x * xNum / xDenom, s_.windowExt.y * yNum / yDenom});
}

void MetafileDc::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom != 0 && yDenom != 0)
        SetViewportExt({s_.viewportExt.x * xNum / xDenom, s_.viewportExt.y * yNum / yDenom});
}

void MetafileDc::SetWorldTransform(const XForm& x) {
    if (x.Finite()) s_.world = x;
}

void MetafileDc::ModifyWorldTransform(const XForm& x, unsigned mode) {
    switch (mode) {
    case 1:
        s_.world = {};
        break;
    case 2:
        SetWorldTransform(Then(x, s_.world));
        break;
    case 3:
        SetWorldTransform(Then(s_.world, x));
        break;
    case 4:
        SetWorldTransform(x);
        break;
    default:
        break;
    }
}

XForm MetafileDc::transform() const {
    double sx = 1, sy = 1;
    if (const double units = unitsPerInch(s_.mapMode)) {
        sx = space_.devicePerInchX / units;
        sy = -space_.devicePerInchY / units;
    } else if (s_.mapMode >= MM_ISOTROPIC) {
        sx = s_.viewportExt.x / s_.windowExt.x;
        sy = s_.viewportExt.y / s_.windowExt.y;
        if (s_.mapMode == MM_ISOTROPIC) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
    }
    const double rx = space_.toRecordingX, ry = space_.toRecordingY;
    XForm page;
    page.m11 = rx * sx;
    page.m22 = ry * sy;
    page.dx = rx * (s_.viewportOrg.x - sx * s_.windowOrg.x - space_.origin.x);
    page.dy = ry * (s_.viewportOrg.y - sy * s_.windowOrg.y - space_.origin.y);
    return Then(s_.world, page);
}

TPoint MetafileDc::toPoint(PointD p) {
    return {toCoord(p.x), toCoord(p.y)};
}

TRect MetafileDc::boundsOf(const XForm& m, const RectD& box) {
    const PointD c[4] = {m.Map({box.left, box.top}), m.Map({box.right, box.top}),
                         m.Map({box.left, box.bottom}), m.Map({box.right, box.bottom})};
    TRect r = normalized(toPoint(c[0]), toPoint(c[3]));
    if (!m.AxisAligned())
        for (const PointD& p : c) {
            const TPoint q = toPoint(p);
            r = {std::min(r.Left, q.X), std::min(r.Top, q.Y), std::max(r.Right, q.X),
                 std::max(r.Bottom, q.Y)};
        }
    return r;
}

TPenData MetafileDc::penData(const XForm& m) const {
    const LogPen& p = s_.pen;
    TPenData d;
    d.Color = p.color;
    const unsigned kind = p.style & 0x0F;
    d.Style = kind <= psAlternate ? static_cast<TPenStyle>(kind) : psSolid;
    const double scale = std::hypot(m.m11, m.m12);
    d.Width =
        p.cosmetic || p.width <= 0 ? 1 : std::clamp(toCoord(p.width * scale), 1, kMaxPenWidth);
    if (d.Style == psUserStyle) {
        long long sum = 0;
        for (double v : p.dashes) {
            d.Dashes.push_back(
                std::clamp(toCoord(std::abs(v) * (p.cosmetic ? 1 : scale)), 0, kMaxPenWidth));
            sum += d.Dashes.back();
        }
        if (sum == 0) d.Style = psSolid, d.Dashes.clear();
    }
    if (!p.cosmetic) {
        const unsigned cap = p.style & 0x0F00, join = p.style & 0xF000;
        d.EndCap = cap == 0x100 ? pecSquare : cap == 0x200 ? pecFlat : pecRound;
        d.JoinStyle = join == 0x1000 ? pjsBevel : join == 0x2000 ? pjsMiter : pjsRound;
    }
    return d;
}

TBrushData MetafileDc::brushData() const {
    const LogBrush& b = s_.brush;
    if (b.style == BS_NULL) return {b.color, bsClear};
    if (b.style == BS_HATCHED && b.hatch <= 5)
        return {b.color, static_cast<TBrushStyle>(bsHorizontal + b.hatch)};
    return {b.color, bsSolid};
}

TFontData MetafileDc::fontData(const XForm& m) const {
    const LogFont& lf = s_.font;
    TFontData f;
    f.Name = lf.face.empty() ? "Arial" : lf.face;
    // The window system's default is 16 pixels at 96 per inch.
    const double height =
        lf.height == 0 ? -space_.recordingPerInch / 6 : lf.height * std::hypot(m.m21, m.m22);
    const int pixels = std::clamp(toCoord(std::abs(height)), 1, kMaxFontPixels);
    f.Height = height < 0 ? -pixels : pixels;
    TFontStyles style;
    if (lf.weight >= 600) style.Include(fsBold);
    if (lf.italic) style.Include(fsItalic);
    if (lf.underline) style.Include(fsUnderline);
    if (lf.strikeOut) style.Include(fsStrikeOut);
    f.Style = style;
    f.Charset = lf.charset;
    f.Color = s_.textColor;
    long long angle = lf.escapement;
    // Mirrored mappings leave text upright; a rotating world transform turns it.
    if (!m.AxisAligned()) angle += toCoord(std::atan2(-m.m12, m.m11) * 1800 / std::numbers::pi);
    f.Orientation = static_cast<int>(angle % 3600);
    return f;
}

// ---- output ------------------------------------------------------------------------------------

void MetafileDc::extend(PointD p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    if (!hasBounds_) {
        bounds_ = {p.x, p.y, p.x, p.y};
        hasBounds_ = true;
        return;
    }
    bounds_.left = std::min(bounds_.left, p.x), bounds_.top = std::min(bounds_.top, p.y);
    bounds_.right = std::max(bounds_.right, p.x), bounds_.bottom = std::max(bounds_.bottom, p.y);
}

void MetafileDc::extend(const TRect& r) {
    extend(PointD{static_cast<double>(r.Left), static_cast<double>(r.Top)});
    extend(PointD{static_cast<double>(r.Right), static_cast<double>(r.Bottom)});
}

void MetafileDc::setTools(const TPenData& pen, const TBrushData& brush) {
    canvas_->Pen().SetData(pen);
    canvas_->Brush().SetData(brush);
    canvas_->SetBackgroundMode(bmTransparent);
}

// In opaque mode the gaps of hatches and dashed lines take the background colour: a layer of
// it goes down first, then the pen and brush themselves.
template <typename Draw>
void MetafileDc::paint(bool withPen, bool withBrush, const XForm& m, Draw&& draw) {
    TPenData pen = withPen ? penData(m) : TPenData{};
    if (!withPen) pen.Style = psClear;
    const TBrushData brush = withBrush ? brushData() : TBrushData{clWhite, bsClear};
    if (pen.Style == psClear && brush.Style == bsClear) return;
    TPenData noPen;
    noPen.Style = psClear;
    if (s_.bkMode == OPAQUE && brush.Style > bsClear) {
        setTools(noPen, {s_.bkColor, bsSolid});
        draw();
    }
    if (s_.bkMode == OPAQUE && pen.Style != psClear && isDashed(pen)) {
        TPenData gaps = pen;
        gaps.Style = psSolid;
        gaps.Dashes.clear();
        gaps.Color = s_.bkColor;
        setTools(gaps, {clWhite, bsClear});
        draw();
    }
    setTools(pen, brush);
    draw();
}

void MetafileDc::emitPolyline(const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    if (!canvas_) {
        for (TPoint p : points)
            extend(PointD{double(p.X), double(p.Y)});
        return;
    }
    paint(true, false, transform(), [&] { canvas_->Polyline(points); });
}

void MetafileDc::emitFigures(const std::vector<Figure>& figures, bool fill, bool stroke) {
    std::vector<const Figure*> shown;
    for (const Figure& f : figures)
        if (f.points.size() >= 2) shown.push_back(&f);
    if (shown.empty()) return;
    if (!canvas_) {
        for (const Figure* f : shown)
            for (TPoint p : f->points)
                extend(PointD{double(p.X), double(p.Y)});
        return;
    }
    const XForm m = transform();
    if (shown.size() == 1 && shown[0]->closed && fill && stroke) {
        paint(true, true, m, [&] { canvas_->Polygon(shown[0]->points); });
        return;
    }
    if (fill) {
        // Figures joined through a point of the first: each bridge is run twice in opposite
        // directions and cancels, so the even-odd fill shows the holes.
        std::vector<TPoint> joined;
        const TPoint anchor = shown[0]->points[0];
        for (const Figure* f : shown) {
            joined.insert(joined.end(), f->points.begin(), f->points.end());
            joined.push_back(f->points[0]);
            joined.push_back(anchor);
        }
        paint(false, true, m, [&] { canvas_->Polygon(joined); });
    }
    if (stroke)
        for (const Figure* f : shown) {
            std::vector<TPoint> line = f->points;
            if (f->closed || fill) line.push_back(line.front());
            paint(true, false, m, [&] { canvas_->Polyline(line); });
        }
}

void MetafileDc::emitShape(TShapeKind kind, const TRect& r, TPoint p3, TPoint p4) {
    if (!canvas_) {
        extend(r);
        return;
    }
    auto draw = [&] { DrawShapeKind(*canvas_, kind, r, p3, p4); };
    paint(true, kind != TShapeKind::Arc, transform(), draw);
}

void MetafileDc::emitFill(const TRect& r, const TBrushData& brush) {
    if (r.IsEmpty() || brush.Style == bsClear) return;
    if (!canvas_) {
        extend(r);
        return;
    }
    TPenData noPen;
    noPen.Style = psClear;
    if (s_.bkMode == OPAQUE && brush.Style > bsClear) {
        setTools(noPen, {s_.bkColor, bsSolid});
        canvas_->FillRect(r);
    }
    setTools(noPen, brush);
    canvas_->FillRect(r);
}

// ---- drawing -----------------------------------------------------------------------------------

void MetafileDc::pathContinue(const XForm& m, const std::vector<PointD>& points) {
    if (path_.empty() || path_.back().closed)
        path_.push_back({{toPoint(m.Map(s_.position))}, false});
    for (const PointD& p : points)
        path_.back().points.push_back(toPoint(p));
}

void MetafileDc::MoveTo(PointD p) {
    s_.position = p;
    if (inPath_) path_.push_back({{toPoint(transform().Map(p))}, false});
}

void MetafileDc::LineTo(PointD p) {
    PolylineTo({p});
}

void MetafileDc::PolylineTo(const std::vector<PointD>& points) {
    if (points.empty()) return;
    const XForm m = transform();
    std::vector<PointD> mapped;
    mapped.reserve(points.size());
    for (const PointD& p : points)
        mapped.push_back(m.Map(p));
    if (inPath_) {
        pathContinue(m, mapped);
    } else {
        std::vector<TPoint> line{toPoint(m.Map(s_.position))};
        for (const PointD& p : mapped)
            line.push_back(toPoint(p));
        emitPolyline(line);
    }
    s_.position = points.back();
}

void MetafileDc::Polyline(const std::vector<PointD>& points) {
    if (points.empty()) return;
    const XForm m = transform();
    Figure f;
    for (const PointD& p : points)
        f.points.push_back(toPoint(m.Map(p)));
    if (inPath_)
        path_.push_back(std::move(f));
    else
        emitPolyline(f.points);
}

void MetafileDc::Polygons(const std::vector<std::vector<PointD>>& figures) {
    const XForm m = transform();
    std::vector<Figure> mapped;
    for (const auto& figure : figures) {
        if (figure.empty()) continue;
        Figure f;
        f.closed = true;
        for (const PointD& p : figure)
            f.points.push_back(toPoint(m.Map(p)));
        mapped.push_back(std::move(f));
    }
    if (inPath_)
        path_.insert(path_.end(), mapped.begin(), mapped.end());
    else
        emitFigures(mapped, true, true);
}

void MetafileDc::PolyBezier(const std::vector<PointD>& points) {
    if (points.size() < 4) return;
    const XForm m = transform();
    std::vector<PointD> flat{m.Map(points[0])};
    for (std::size_t i = 1; i + 2 < points.size(); i += 3)
        flattenBezier(m.Map(points[i - 1]), m.Map(points[i]), m.Map(points[i + 1]),
                      m.Map(points[i + 2]), flat);
    Figure f;
    for (const PointD& p : flat)
        f.points.push_back(toPoint(p));
    if (inPath_)
        path_.push_back(std::move(f));
    else
        emitPolyline(f.points);
}

void MetafileDc::PolyBezierTo(const std::vector<PointD>& points) {
    if (points.size() < 3) return;
    const XForm m = transform();
    std::vector<PointD> flat;
    PointD from = m.Map(s_.position);
    std::size_t used = 0;
    for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
        const PointD to = m.Map(points[i + 2]);
        flattenBezier(from, m.Map(points[i]), m.Map(points[i + 1]), to, flat);
        from = to;
        used = i + 3;
    }
    if (inPath_) {
        pathContinue(m, flat);
    } else {
        std::vector<TPoint> line{toPoint(m.Map(s_.position))};
        for (const PointD& p : flat)
            line.push_back(toPoint(p));
        emitPolyline(line);
    }
    s_.position = points[used - 1];
}

std::vector<PointD> MetafileDc::outline(TShapeKind kind, const RectD& box, PointD start,
                                        PointD end) const {
    const double cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    const double rx = (box.right - box.left) / 2, ry = (box.bottom - box.top) / 2;
    if (kind == TShapeKind::Rectangle || kind == TShapeKind::RoundRect)
        return {{box.left, box.top},
                {box.right, box.top},
                {box.right, box.bottom},
                {box.left, box.bottom}};
    // Counter-clockwise as seen with y pointing down.
    auto angleOf = [&](PointD p) {
        return std::atan2(-(p.y - cy) * std::abs(rx), (p.x - cx) * std::abs(ry));
    };
    double from = 0, to = 2 * std::numbers::pi;
    if (kind != TShapeKind::Ellipse) {
        from = angleOf(start);
        to = angleOf(end);
        while (to <= from)
            to += 2 * std::numbers::pi;
    }
    const int steps = std::max(
        2, static_cast<int>(std::ceil(kEllipseSegments * (to - from) / (2 * std::numbers::pi))));
    std::vector<PointD> points;
    for (int i = 0; i <= steps; ++i) {
        const double a = from + (to - from) * i / steps;
        points.push_back({cx + std::abs(rx) * std::cos(a), cy - std::abs(ry) * std::sin(a)});
    }
    if (kind == TShapeKind::Pie) points.push_back({cx, cy});
    return points;
}

void MetafileDc::Rectangle(const RectD& box) {
    ArcShape(TShapeKind::Rectangle, box, {}, {});
}

void MetafileDc::RoundRect(const RectD& box, PointD corner) {
    ArcShape(TShapeKind::RoundRect, box, corner, {});
}

void MetafileDc::Ellipse(const RectD& box) {
    ArcShape(TShapeKind::Ellipse, box, {}, {});
}

void MetafileDc::ArcShape(TShapeKind kind, const RectD& box, PointD start, PointD end) {
    const XForm m = transform();
    if (!inPath_ && m.AxisAligned()) {
        const TRect r = normalized(toPoint(m.Map({box.left, box.top})),
                                   toPoint(m.Map({box.right, box.bottom})));
        TPoint p3, p4;
        if (kind == TShapeKind::RoundRect)
            p3 = {toCoord(std::abs(start.x * m.m11)), toCoord(std::abs(start.y * m.m22))};
        else if (kind != TShapeKind::Rectangle && kind != TShapeKind::Ellipse)
            p3 = toPoint(m.Map(start)), p4 = toPoint(m.Map(end));
        emitShape(kind, r, p3, p4);
        return;
    }
    // Turned, sheared or part of a path: as its outline.
    Figure f;
    f.closed = kind != TShapeKind::Arc;
    for (const PointD& p : outline(kind, box, start, end))
        f.points.push_back(toPoint(m.Map(p)));
    if (inPath_)
        path_.push_back(std::move(f));
    else if (kind == TShapeKind::Arc)
        emitPolyline(f.points);
    else
        emitFigures({f}, true, true);
}

void MetafileDc::SetPixel(PointD p, TColor color) {
    const XForm m = transform();
    const PointD at = m.Map(p);
    // One device pixel, at least one of the recording's.
    const TPoint a = toPoint(at);
    const TPoint b = toPoint(
        {at.x + std::max(1.0, space_.toRecordingX), at.y + std::max(1.0, space_.toRecordingY)});
    emitFill({a.X, a.Y, b.X, b.Y}, {color, bsSolid});
}

void MetafileDc::Text(PointD reference, const std::u16string& text, const std::vector<double>* dx,
                      unsigned options, const RectD* box) {
    const XForm m = transform();
    if (inPath_ || !m.Finite()) return;
    if (s_.textAlign & TA_UPDATECP) reference = s_.position;
    const TFontData font = fontData(m);
    const auto measurer = TFontMeasurer::ForFont(font);
    std::vector<int> advances(text.size());
    double logicalWidth = 0;
    if (dx && dx->size() >= text.size()) {
        // Whole positions along the line, so rounding does not pile up.
        const double scale = std::hypot(m.m11, m.m12);
        int previous = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            logicalWidth += (*dx)[i];
            const int at = toCoord(logicalWidth * scale);
            advances[i] = at - previous;
            previous = at;
        }
    } else {
        measurer->Advances(text, advances.data());
    }
    long long total = 0;
    for (int a : advances)
        total += a;
    if (!dx && m.m11 != 0) logicalWidth = total / m.m11;

    const TTextMetric& tm = measurer->Metrics();
    double along = 0, down = 0;
    if ((s_.textAlign & TA_CENTER) == TA_CENTER)
        along = total / 2.0;
    else if (s_.textAlign & TA_RIGHT)
        along = static_cast<double>(total);
    if ((s_.textAlign & TA_BASELINE) == TA_BASELINE)
        down = tm.Ascent;
    else if (s_.textAlign & TA_BOTTOM)
        down = tm.Height;
    const double angle = font.Orientation * std::numbers::pi / 1800;
    const PointD p = m.Map(reference);
    const TPoint origin = toPoint({p.x - along * std::cos(angle) - down * std::sin(angle),
                                   p.y + along * std::sin(angle) - down * std::cos(angle)});
    if (s_.textAlign & TA_UPDATECP)
        s_.position.x += (s_.textAlign & TA_CENTER) == TA_RIGHT ? -logicalWidth : logicalWidth;

    const unsigned shown = options & (ETO_OPAQUE | ETO_CLIPPED);
    const std::optional<TRect> rect =
        box && shown ? std::optional(boundsOf(m, *box)) : std::nullopt;
    if (text.empty() && !(rect && (shown & ETO_OPAQUE))) return;
    if (!canvas_) {
        if (rect) extend(*rect);
        extend(PointD{double(origin.X), double(origin.Y)});
        const double c = std::cos(angle), s = std::sin(angle);
        extend(PointD{origin.X + total * c + tm.Height * s, origin.Y - total * s + tm.Height * c});
        return;
    }
    canvas_->Font().SetData(font);
    canvas_->Brush().SetData({s_.bkColor, bsSolid});
    canvas_->SetBackgroundMode(s_.bkMode == OPAQUE ? bmOpaque : bmTransparent);
    canvas_->ExtTextOut(origin.X, origin.Y, rect ? shown : 0, rect ? &*rect : nullptr, text,
                        advances.data());
}

bool MetafileDc::DrawsSource(std::uint32_t rop) {
    switch ((rop >> 16) & 0xFF) {
    case 0xCC: // source copy
    case 0xC0: // source and pattern
    case 0x33: // inverted source
    case 0xEE: // source or destination
    case 0x88: // source and destination
        return true;
    default:
        return false;
    }
}

void MetafileDc::StretchImage(PointD at, PointD size, TRasterImage image, std::uint32_t rop) {
    if (image.IsEmpty() || inPath_ || !DrawsSource(rop)) return;
    const XForm m = transform();
    const PointD a = m.Map(at), b = m.Map({at.x + size.x, at.y + size.y});
    TRect r = boundsOf(m, {at.x, at.y, at.x + size.x, at.y + size.y});
    if (r.IsEmpty()) return;
    if (!canvas_) {
        extend(r);
        return;
    }
    const int w = image.Width, h = image.Height;
    if (m.AxisAligned() && b.x < a.x)
        for (int y = 0; y < h; ++y)
            std::reverse(&image.At(0, y), &image.At(0, y) + w);
    if (m.AxisAligned() && b.y < a.y)
        for (int y = 0; y < h / 2; ++y)
            std::swap_ranges(&image.At(0, y), &image.At(0, y) + w, &image.At(0, h - 1 - y));
    // Masks combined by AND and images by OR leave the destination where they are white and
    // black respectively: those pixels become transparent.
    const int code = (rop >> 16) & 0xFF;
    for (std::uint32_t& px : image.Pixels) {
        const std::uint32_t rgb = px & 0xFFFFFF;
        if (code == 0x33)
            px = 0xFF000000u | (~rgb & 0xFFFFFF);
        else if ((code == 0xEE && rgb == 0) || (code == 0x88 && rgb == 0xFFFFFF))
            px = 0;
        else
            px = 0xFF000000u | rgb;
    }
    image.HasAlpha = code == 0xEE || code == 0x88;
    canvas_->DrawImage(r, std::make_shared<TRasterImage>(std::move(image)));
}

void MetafileDc::PatBlt(PointD at, PointD size, std::uint32_t rop) {
    if (inPath_) return;
    const TRect r = boundsOf(transform(), {at.x, at.y, at.x + size.x, at.y + size.y});
    switch ((rop >> 16) & 0xFF) {
    case 0xF0:
        emitFill(r, brushData());
        break;
    case 0x00:
        emitFill(r, {clBlack, bsSolid});
        break;
    case 0xFF:
        emitFill(r, {clWhite, bsSolid});
        break;
    default:
        break; // inverting operations have no place in a recording
    }
}

// ---- clip --------------------------------------------------------------------------------------

void MetafileDc::applyClip() {
    if (s_.clip == applied_) return;
    applied_ = s_.clip;
    if (!canvas_) return;
    canvas_->RestoreClip();
    canvas_->SaveClip();
    if (s_.clip.limited) canvas_->IntersectClipRect(s_.clip.inside);
    for (const TRect& r : s_.clip.outside)
        canvas_->ExcludeClipRect(r);
}

void MetafileDc::IntersectClip(const RectD& box) {
    const TRect r = boundsOf(transform(), box);
    s_.clip.inside = s_.clip.limited ? intersect(s_.clip.inside, r) : r;
    s_.clip.limited = true;
    applyClip();
}

void MetafileDc::ExcludeClip(const RectD& box) {
    const XForm m = transform();
    // Leaving out a turned rectangle's box would hide more than it should.
    if (!m.AxisAligned() || s_.clip.outside.size() >= kMaxExcluded) return;
    s_.clip.outside.push_back(boundsOf(m, box));
    applyClip();
}

void MetafileDc::CombineClip(int mode, const std::vector<RectD>& deviceRects) {
    std::vector<TRect> rects;
    for (const RectD& d : deviceRects) {
        const PointD a{(d.left - space_.origin.x) * space_.toRecordingX,
                       (d.top - space_.origin.y) * space_.toRecordingY};
        const PointD b{(d.right - space_.origin.x) * space_.toRecordingX,
                       (d.bottom - space_.origin.y) * space_.toRecordingY};
        rects.push_back(normalized(toPoint(a), toPoint(b)));
    }
    // Several rectangles are approximated by their box, which never hides what should show.
    TRect box;
    for (std::size_t i = 0; i < rects.size(); ++i)
        box = i == 0 ? rects[0]
                     : TRect{std::min(box.Left, rects[i].Left), std::min(box.Top, rects[i].Top),
                             std::max(box.Right, rects[i].Right),
                             std::max(box.Bottom, rects[i].Bottom)};
    switch (mode) {
    case RGN_COPY:
        s_.clip = {};
        if (!rects.empty()) s_.clip = {true, box, {}};
        break;
    case RGN_AND:
        s_.clip.inside = s_.clip.limited ? intersect(s_.clip.inside, box) : box;
        s_.clip.limited = true;
        break;
    case RGN_DIFF:
        for (const TRect& r : rects)
            if (s_.clip.outside.size() < kMaxExcluded) s_.clip.outside.push_back(r);
        break;
    default:
        return; // unions widen what the frame shows anyway
    }
    applyClip();
}

// ---- paths -------------------------------------------------------------------------------------

void MetafileDc::BeginPath() {
    inPath_ = true;
    path_.clear();
}

void MetafileDc::AbortPath() {
    inPath_ = false;
    path_.clear();
}

void MetafileDc::CloseFigure() {
    if (inPath_ && !path_.empty()) path_.back().closed = true;
}

void MetafileDc::DrawPath(bool fill, bool stroke) {
    inPath_ = false;
    emitFigures(path_, fill, stroke);
    path_.clear();
}

void MetafileDc::SelectClipPath(int mode) {
    inPath_ = false;
    std::vector<RectD> box;
    for (const Figure& f : path_)
        for (TPoint p : f.points) {
            // Back to device units, where regions are given.
            const double x = p.X / space_.toRecordingX + space_.origin.x,
                         y = p.Y / space_.toRecordingY + space_.origin.y;
            if (box.empty())
                box.push_back({x, y, x, y});
            else
                box[0] = {std::min(box[0].left, x), std::min(box[0].top, y),
                          std::max(box[0].right, x), std::max(box[0].bottom, y)};
        }
    path_.clear();
    // Leaving out the path's box would hide more than the path.
    if (mode != RGN_DIFF && (!box.empty() || mode == RGN_COPY)) CombineClip(mode, box);
}

// ---- DIBs --------------------------------------------------------------------------------------

namespace {

struct DibLayout {
    int width = 0, height = 0, bpp = 0;
    bool bottomUp = true, bitFields = false;
    std::uint32_t masks[3] = {};
    std::size_t paletteAt = 0, paletteEntries = 0, entrySize = 4;
    std::size_t infoSize = 0; // header, masks and colour table
};

std::optional<DibLayout> readLayout(Bytes info) {
    DibLayout l;
    const std::uint32_t headerSize = info.u32(0);
    long long height;
    std::uint32_t compression = 0, used = 0;
    if (headerSize == 12 && info.has(0, 12)) {
        l.width = info.u16(4);
        height = info.u16(6);
        l.bpp = info.u16(10);
        l.entrySize = 3;
    } else if (headerSize >= 40 && info.has(0, headerSize)) {
        l.width = info.s32(4);
        height = info.s32(8);
        l.bpp = info.u16(14);
        compression = info.u32(16);
        used = info.u32(32);
    } else {
        return std::nullopt;
    }
    l.bottomUp = height > 0;
    height = std::llabs(height);
    if (l.width <= 0 || height == 0 || l.width > kMaxDibSide || height > kMaxDibSide)
        return std::nullopt;
    l.height = static_cast<int>(height);
    if (l.bpp != 1 && l.bpp != 4 && l.bpp != 8 && l.bpp != 16 && l.bpp != 24 && l.bpp != 32)
        return std::nullopt;
    // Run-length, JPEG and PNG contents are not drawn.
    if (compression == 3 && (l.bpp == 16 || l.bpp == 32)) {
        l.bitFields = true;
        const std::size_t at = headerSize >= 52 ? 40 : headerSize;
        if (!info.has(at, 12)) return std::nullopt;
        for (int i = 0; i < 3; ++i)
            l.masks[i] = info.u32(at + 4 * i);
        l.paletteAt = headerSize >= 52 ? headerSize : headerSize + 12;
    } else if (compression != 0) {
        return std::nullopt;
    } else {
        l.paletteAt = headerSize;
    }
    if (l.bpp <= 8)
        l.paletteEntries = used == 0 ? std::size_t{1} << l.bpp
                                     : std::min<std::size_t>(used, std::size_t{1} << l.bpp);
    else
        l.paletteEntries = std::min<std::size_t>(used, 256);
    l.infoSize = l.paletteAt + l.paletteEntries * l.entrySize;
    return l;
}

// A field under a mask, widened to eight bits.
std::uint32_t maskedChannel(std::uint32_t v, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const std::uint32_t field = mask >> shift;
    const int bits = std::min(std::countr_one(field), 31);
    const std::uint32_t max = (std::uint32_t{1} << bits) - 1;
    return max ? ((v >> shift) & max) * 255 / max : 0;
}

} // namespace

std::optional<Dib> DecodeDib(Bytes info, Bytes bits, std::uint64_t& budget) {
    const auto layout = readLayout(info);
    if (!layout) return std::nullopt;
    const DibLayout& l = *layout;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(l.height);
    const std::uint64_t stride = (static_cast<std::uint64_t>(l.width) * l.bpp + 31) / 32 * 4;
    if (pixels > kMaxDibPixels || pixels > budget || stride * l.height > bits.size())
        return std::nullopt;
    if (l.bpp <= 8 && !info.has(l.paletteAt, l.paletteEntries * l.entrySize)) return std::nullopt;
    budget -= pixels;

    std::vector<std::uint32_t> palette(std::size_t{1} << std::min(l.bpp, 8), 0xFF000000u);
    if (l.bpp <= 8)
        for (std::size_t i = 0; i < l.paletteEntries; ++i) {
            const std::size_t at = l.paletteAt + i * l.entrySize;
            palette[i] = 0xFF000000u | info.u8(at + 2) << 16 | info.u8(at + 1) << 8 | info.u8(at);
        }
    const std::uint32_t masks16[3] = {0x7C00, 0x03E0, 0x001F};
    const std::uint32_t masks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const std::uint32_t* masks = l.bitFields ? l.masks : l.bpp == 16 ? masks16 : masks32;

    Dib dib{TRasterImage(l.width, l.height), l.bottomUp};
    for (int y = 0; y < l.height; ++y) {
        const std::uint8_t* row =
            bits.d.data() + stride * static_cast<std::uint64_t>(l.bottomUp ? l.height - 1 - y : y);
        std::uint32_t* out = &dib.image.At(0, y);
        for (int x = 0; x < l.width; ++x) {
            switch (l.bpp) {
            case 1:
                out[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                out[x] = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F];
                break;
            case 8:
                out[x] = palette[row[x]];
                break;
            case 24:
                out[x] = 0xFF000000u | row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x];
                break;
            default: {
                // Alpha in 32-bit rows is not drawn by the blitting records.
                const std::uint32_t v =
                    l.bpp == 16 ? std::uint32_t{row[2 * x]} | row[2 * x + 1] << 8
                                : row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 |
                                      static_cast<std::uint32_t>(row[4 * x + 3]) << 24;
                out[x] = 0xFF000000u | maskedChannel(v, masks[0]) << 16 |
                         maskedChannel(v, masks[1]) << 8 | maskedChannel(v, masks[2]);
            }
            }
        }
    }
    return dib;
}

std::optional<Dib> DecodePackedDib(Bytes packed, std::uint64_t& budget) {
    const auto layout = readLayout(packed);
    if (!layout) return std::nullopt;
    return DecodeDib(packed, packed.from(layout->infoSize), budget);
}

TColor MeanDibColor(Bytes info, Bytes bits) {
    std::uint64_t budget = kMaxDibPixels;
    const auto dib = bits.size() ? DecodeDib(info, bits, budget) : DecodePackedDib(info, budget);
    if (!dib) return clGray;
    std::uint64_t r = 0, g = 0, b = 0;
    for (std::uint32_t p : dib->image.Pixels)
        r += (p >> 16) & 0xFF, g += (p >> 8) & 0xFF, b += p & 0xFF;
    const std::uint64_t n = dib->image.Pixels.size();
    return RGB(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

void DrawDib(MetafileDc& dc, const Dib& dib, const DibSource& source, PointD at, PointD size,
             std::uint32_t rop) {
    const TRasterImage& image = dib.image;
    const double w = source.width, h = source.height;
    if (w == 0 || h == 0 || !std::isfinite(w) || !std::isfinite(h)) return;
    // The source rectangle in rows top first, as decoded.
    double x0 = std::min(source.x, source.x + w), x1 = std::max(source.x, source.x + w);
    double y0 = std::min(source.y, source.y + h), y1 = std::max(source.y, source.y + h);
    if (source.fromBottom && dib.bottomUp) {
        const double t = image.Height - y1;
        y1 = image.Height - y0;
        y0 = t;
    }
    const int cx0 = static_cast<int>(std::clamp(x0, 0.0, double(image.Width)));
    const int cx1 = static_cast<int>(std::clamp(x1, 0.0, double(image.Width)));
    const int cy0 = static_cast<int>(std::clamp(y0, 0.0, double(image.Height)));
    const int cy1 = static_cast<int>(std::clamp(y1, 0.0, double(image.Height)));
    if (cx1 <= cx0 || cy1 <= cy0) return;
    // A source reaching past the image draws only over the part of the destination it covers.
    double fx0 = (cx0 - x0) / (x1 - x0), fx1 = (cx1 - x0) / (x1 - x0);
    double fy0 = (cy0 - y0) / (y1 - y0), fy1 = (cy1 - y0) / (y1 - y0);
    TRasterImage part(cx1 - cx0, cy1 - cy0);
    for (int y = cy0; y < cy1; ++y) {
        const std::uint32_t* row =
            image.Pixels.data() + static_cast<std::size_t>(y) * image.Width + cx0;
        std::uint32_t* out = &part.At(0, y - cy0);
        if (w < 0)
            std::reverse_copy(row, row + part.Width, out);
        else
            std::copy(row, row + part.Width, out);
    }
    if (w < 0) fx0 = 1 - fx0, fx1 = 1 - fx1, std::swap(fx0, fx1);
    if (h < 0) {
        for (int y = 0; y < part.Height / 2; ++y)
            std::swap_ranges(&part.At(0, y), &part.At(0, y) + part.Width,
                             &part.At(0, part.Height - 1 - y));
        fy0 = 1 - fy0, fy1 = 1 - fy1, std::swap(fy0, fy1);
    }
    dc.StretchImage({at.x + size.x * fx0, at.y + size.y * fy0},
                    {size.x * (fx1 - fx0), size.y * (fy1 - fy0)}, std::move(part), rop);
}

// ---- text --------------------------------------------------------------------------------------

namespace {

std::u16string decodeBytes(std::string_view bytes, int codePage) {
    for (int cp : {codePage, 1252}) {
        try {
            return Utf8ToUtf16Lenient(CodePageToUtf8Lossy(bytes, cp));
        } catch (const Exception&) {
        }
    }
    std::u16string latin;
    for (char c : bytes)
        latin.push_back(static_cast<unsigned char>(c));
    return latin;
}

bool isLeadByte(int codePage, unsigned char c) {
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

} // namespace

std::u16string DecodeText(std::string_view bytes, std::uint8_t charset,
                          const std::vector<double>* byteDx, std::vector<double>* unitDx) {
    int codePage = CharsetToCodePage(charset);
    if (codePage == 0) codePage = 1252;
    if (!byteDx || byteDx->size() < bytes.size()) return decodeBytes(bytes, codePage);
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n =
            isLeadByte(codePage, static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2
                                                                                               : 1;
        const std::u16string unit = decodeBytes(bytes.substr(i, n), codePage);
        double advance = 0;
        for (std::size_t k = i; k < i + n; ++k)
            advance += (*byteDx)[k];
        for (std::size_t k = 0; k < unit.size(); ++k)
            unitDx->push_back(k == 0 ? advance : 0);
        text += unit;
        i += n;
    }
    return text;
}

} // namespace metafile_player
