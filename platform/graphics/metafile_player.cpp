#include "platform/graphics/metafile_player.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile_player_p.h"

namespace metafile_player {

namespace {

// Recordings are stored, and read back only up to 2^27 pixels of frame; the margin takes the
// rounding of both sides.
constexpr double kMaxRecordingSide = 1 << 16;
constexpr double kMaxRecordingArea = double((1 << 27) - (1 << 17));
// Decoded pixels one metafile may hold: a few bytes of 1-bit rows become four bytes a pixel.
constexpr std::uint64_t kImageBudget = std::uint64_t{1} << 27;
constexpr std::uint32_t kMaxObjects = 65535;

struct Frame {
    DeviceSpace space;
    int width = 0, height = 0;
};

// The recording of a frame given in device units.
std::optional<Frame> makeFrame(const RectD& device, double perInchX, double perInchY) {
    const double w = device.right - device.left, h = device.bottom - device.top;
    if (!(w > 0) || !(h > 0) || !(perInchX > 0) || !(perInchY > 0) || !std::isfinite(w) ||
        !std::isfinite(h))
        return std::nullopt;
    const double w96 = w / perInchX * 96, h96 = h / perInchY * 96;
    const double scale =
        std::min({kMetafileRecordingResolution / 96.0, kMaxRecordingSide / std::max(w96, h96),
                  std::sqrt(kMaxRecordingArea / (w96 * h96))});
    Frame f;
    f.width = std::max(1, static_cast<int>(RoundHalfEven(w96 * scale)));
    f.height = std::max(1, static_cast<int>(RoundHalfEven(h96 * scale)));
    f.space.origin = {device.left, device.top};
    f.space.toRecordingX = f.width / w;
    f.space.toRecordingY = f.height / h;
    f.space.devicePerInchX = perInchX;
    f.space.devicePerInchY = perInchY;
    f.space.recordingPerInch = 96 * scale;
    return f;
}

void select(MetafileDc& dc, const GdiObject& o) {
    switch (o.kind) {
    case GdiObject::Kind::Pen:
        dc.State().pen = o.pen;
        break;
    case GdiObject::Kind::Brush:
        dc.State().brush = o.brush;
        break;
    case GdiObject::Kind::Font:
        dc.State().font = o.font;
        break;
    case GdiObject::Kind::Other:
        break;
    }
}

GdiObject brushObject(unsigned style, TColor color, unsigned hatch) {
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush = {style, color, hatch};
    return o;
}

TColor colorRef(std::uint32_t v) {
    return static_cast<TColor>(v & 0xFFFFFF);
}

// ---- WMF ---------------------------------------------------------------------------------------

// Objects take the lowest free slot, so a record whose object is not drawn still takes one.
class WmfObjects {
public:
    void Create(GdiObject object) {
        std::uint32_t slot;
        if (!freed_.empty()) {
            slot = *freed_.begin();
            freed_.erase(freed_.begin());
        } else if (slots_.size() < kMaxObjects) {
            slot = static_cast<std::uint32_t>(slots_.size());
            slots_.emplace_back();
        } else {
            return;
        }
        slots_[slot] = std::move(object);
    }
    void Delete(std::uint32_t index) {
        if (index >= slots_.size() || !slots_[index]) return;
        slots_[index].reset();
        freed_.insert(index);
    }
    const GdiObject* Get(std::uint32_t index) const {
        return index < slots_.size() && slots_[index] ? &*slots_[index] : nullptr;
    }

private:
    std::vector<std::optional<GdiObject>> slots_;
    std::set<std::uint32_t> freed_;
};

// WMF parameters come last-first: (y, x) pairs and rectangles as bottom, right, top, left.
PointD yx(Bytes p, std::size_t at) {
    return {double(p.s16(at + 2)), double(p.s16(at))};
}
PointD xy(Bytes p, std::size_t at) {
    return {double(p.s16(at)), double(p.s16(at + 2))};
}
RectD reversedRect(Bytes p, std::size_t at) {
    return {double(p.s16(at + 6)), double(p.s16(at + 4)), double(p.s16(at + 2)), double(p.s16(at))};
}

std::vector<PointD> points16(Bytes p, std::size_t at, std::size_t count) {
    std::vector<PointD> points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        points.push_back(xy(p, at + 4 * i));
    return points;
}

LogFont wmfFont(Bytes p) {
    LogFont f;
    f.height = p.s16(0);
    f.escapement = p.s16(4);
    f.weight = p.s16(8);
    f.italic = p.u8(10), f.underline = p.u8(11), f.strikeOut = p.u8(12);
    f.charset = p.u8(13);
    std::string face;
    for (std::size_t i = 18; i < 50 && p.has(i, 1) && p.u8(i); ++i)
        face.push_back(static_cast<char>(p.u8(i)));
    f.face = Utf16ToUtf8Lenient(DecodeText(face, f.charset, nullptr, nullptr));
    return f;
}

void wmfText(MetafileDc& dc, Bytes p, bool extended) {
    std::size_t at;
    PointD reference;
    int length;
    unsigned options = 0;
    RectD box;
    if (extended) {
        if (!p.has(0, 8)) return;
        reference = yx(p, 0);
        length = p.s16(4);
        options = p.u16(6);
        at = 8;
        if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
            if (!p.has(at, 8)) return;
            box = {double(p.s16(at)), double(p.s16(at + 2)), double(p.s16(at + 4)),
                   double(p.s16(at + 6))};
            at += 8;
        }
    } else {
        length = p.s16(0);
        at = 2;
    }
    if (length < 0 || !p.has(at, static_cast<std::size_t>(length))) return;
    const std::string_view bytes(reinterpret_cast<const char*>(p.d.data() + at),
                                 static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length + (length & 1));
    if (!extended) {
        if (!p.has(at, 4)) return;
        reference = yx(p, at);
    }
    std::vector<double> byteDx, unitDx;
    if (extended && p.has(at, 2 * bytes.size()))
        for (std::size_t i = 0; i < bytes.size(); ++i)
            byteDx.push_back(p.s16(at + 2 * i));
    const bool withDx = !bytes.empty() && byteDx.size() == bytes.size();
    const std::u16string text =
        DecodeText(bytes, dc.State().font.charset, withDx ? &byteDx : nullptr, &unitDx);
    dc.Text(reference, text, withDx ? &unitDx : nullptr, options, &box);
}

// The blitting records without a bitmap carry only the pattern operation.
bool withoutBitmap(std::uint16_t function, std::uint64_t recordBytes) {
    return recordBytes == 2 * (static_cast<std::uint64_t>(function >> 8) + 3);
}

void wmfRecord(MetafileDc& dc, WmfObjects& objects, std::uint16_t function, Bytes p,
               std::uint64_t recordBytes) {
    DcState& s = dc.State();
    switch (function) {
    case 0x001E:
        dc.SaveDc();
        break;
    case 0x0127:
        dc.RestoreDc(p.s16(0));
        break;
    case 0x0103:
        dc.SetMapMode(p.u16(0));
        break;
    case 0x020B:
        if (p.has(0, 4)) dc.SetWindowOrg(yx(p, 0));
        break;
    case 0x020C:
        if (p.has(0, 4)) dc.SetWindowExt(yx(p, 0));
        break;
    case 0x020D:
        if (p.has(0, 4)) dc.SetViewportOrg(yx(p, 0));
        break;
    case 0x020E:
        if (p.has(0, 4)) dc.SetViewportExt(yx(p, 0));
        break;
    case 0x020F:
        if (p.has(0, 4)) dc.OffsetWindowOrg(yx(p, 0));
        break;
    case 0x0211:
        if (p.has(0, 4)) dc.OffsetViewportOrg(yx(p, 0));
        break;
    case 0x0410:
    case 0x0412:
        if (!p.has(0, 8)) break;
        if (function == 0x0410)
            dc.ScaleWindowExt(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
        else
            dc.ScaleViewportExt(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
        break;
    case 0x0209:
        if (p.has(0, 4)) s.textColor = colorRef(p.u32(0));
        break;
    case 0x0201:
        if (p.has(0, 4)) s.bkColor = colorRef(p.u32(0));
        break;
    case 0x0102:
        if (p.u16(0) == TRANSPARENT || p.u16(0) == OPAQUE) s.bkMode = p.u16(0);
        break;
    case 0x012E:
        s.textAlign = p.u16(0);
        break;
    case 0x0106:
        break; // fills are even-odd
    case 0x0104:
        break; // only plain copying is drawn
    case 0x02FA: {
        if (!p.has(0, 10)) break;
        GdiObject o;
        o.kind = GdiObject::Kind::Pen;
        o.pen.style = p.u16(0);
        o.pen.width = std::abs(p.s16(2));
        o.pen.cosmetic = false;
        o.pen.color = colorRef(p.u32(6));
        objects.Create(std::move(o));
        break;
    }
    case 0x02FC:
        if (p.has(0, 8))
            objects.Create(brushObject(p.u16(0), colorRef(p.u32(2)), p.u16(6)));
        else
            objects.Create({});
        break;
    case 0x02FB: {
        GdiObject o;
        o.kind = GdiObject::Kind::Font;
        o.font = wmfFont(p);
        objects.Create(p.has(0, 18) ? std::move(o) : GdiObject{});
        break;
    }
    case 0x0142: {
        // A DIB pattern (a device bitmap when its style says so) drawn as its mean colour.
        const bool dib = p.u16(0) != 3 && p.u16(2) == 0;
        objects.Create(brushObject(BS_SOLID, dib ? MeanDibColor(p.from(4), {}) : clGray, 0));
        break;
    }
    case 0x01F9:
        objects.Create(brushObject(BS_SOLID, clGray, 0));
        break;
    case 0x00F7:
    case 0x06FF:
        objects.Create({});
        break; // palettes and regions keep their slots
    case 0x012D:
        if (const GdiObject* o = objects.Get(p.u16(0))) select(dc, *o);
        break;
    case 0x01F0:
        objects.Delete(p.u16(0));
        break;
    case 0x0214:
        if (p.has(0, 4)) dc.MoveTo(yx(p, 0));
        break;
    case 0x0213:
        if (p.has(0, 4)) dc.LineTo(yx(p, 0));
        break;
    case 0x0325:
    case 0x0324: {
        const int n = p.s16(0);
        if (n <= 0 || !p.has(2, 4 * static_cast<std::size_t>(n))) break;
        auto points = points16(p, 2, static_cast<std::size_t>(n));
        if (function == 0x0325)
            dc.Polyline(points);
        else
            dc.Polygons({std::move(points)});
        break;
    }
    case 0x0538: {
        const std::size_t polygons = p.u16(0);
        if (!p.has(2, 2 * polygons)) break;
        std::size_t total = 0;
        for (std::size_t i = 0; i < polygons; ++i)
            total += p.u16(2 + 2 * i);
        std::size_t at = 2 + 2 * polygons;
        if (!p.has(at, 4 * total)) break;
        std::vector<std::vector<PointD>> figures;
        for (std::size_t i = 0; i < polygons; ++i) {
            const std::size_t n = p.u16(2 + 2 * i);
            figures.push_back(points16(p, at, n));
            at += 4 * n;
        }
        dc.Polygons(figures);
        break;
    }
    case 0x041B:
        if (p.has(0, 8)) dc.Rectangle(reversedRect(p, 0));
        break;
    case 0x0418:
        if (p.has(0, 8)) dc.Ellipse(reversedRect(p, 0));
        break;
    case 0x061C:
        if (p.has(0, 12)) dc.RoundRect(reversedRect(p, 4), yx(p, 0));
        break;
    case 0x0817:
    case 0x081A:
    case 0x0830: {
        if (!p.has(0, 16)) break;
        const TShapeKind kind = function == 0x0817   ? TShapeKind::Arc
                                : function == 0x081A ? TShapeKind::Pie
                                                     : TShapeKind::Chord;
        dc.ArcShape(kind, reversedRect(p, 8), yx(p, 4), yx(p, 0));
        break;
    }
    case 0x0521:
        wmfText(dc, p, false);
        break;
    case 0x0A32:
        wmfText(dc, p, true);
        break;
    case 0x0416:
        if (p.has(0, 8)) dc.IntersectClip(reversedRect(p, 0));
        break;
    case 0x0415:
        if (p.has(0, 8)) dc.ExcludeClip(reversedRect(p, 0));
        break;
    case 0x041F:
        if (p.has(0, 8)) dc.SetPixel(yx(p, 4), colorRef(p.u32(0)));
        break;
    case 0x061D:
        if (p.has(0, 12)) dc.PatBlt(yx(p, 8), yx(p, 4), p.u32(0));
        break;
    case 0x0F43: { // StretchDIBits
        if (!p.has(0, 22) || p.u16(4) != 0 || !MetafileDc::DrawsSource(p.u32(0))) break;
        if (const auto dib = DecodePackedDib(p.from(22), dc.ImageBudget()))
            DrawDib(
                dc, *dib,
                {double(p.s16(12)), double(p.s16(10)), double(p.s16(8)), double(p.s16(6)), true},
                yx(p, 18), yx(p, 14), p.u32(0));
        break;
    }
    case 0x0B41:
    case 0x0B23: // stretching blits
        if (withoutBitmap(function, recordBytes)) {
            if (p.has(0, 22)) dc.PatBlt(yx(p, 18), yx(p, 14), p.u32(0));
        } else if (function == 0x0B41 && p.has(0, 20) && MetafileDc::DrawsSource(p.u32(0))) {
            if (const auto dib = DecodePackedDib(p.from(20), dc.ImageBudget()))
                DrawDib(dc, *dib,
                        {double(p.s16(10)), double(p.s16(8)), double(p.s16(6)), double(p.s16(4)),
                         false},
                        yx(p, 16), yx(p, 12), p.u32(0));
        }
        break;
    case 0x0940:
    case 0x0922: // blits at the source's size
        if (withoutBitmap(function, recordBytes)) {
            if (p.has(0, 18)) dc.PatBlt(yx(p, 14), yx(p, 10), p.u32(0));
        } else if (function == 0x0940 && p.has(0, 16) && MetafileDc::DrawsSource(p.u32(0))) {
            if (const auto dib = DecodePackedDib(p.from(16), dc.ImageBudget())) {
                const PointD size = yx(p, 8);
                DrawDib(dc, *dib, {double(p.s16(6)), double(p.s16(4)), size.x, size.y, false},
                        yx(p, 12), size, p.u32(0));
            }
        }
        break;
    default:
        break;
    }
}

// Plays records from `at`; false when not even the first could be read.
bool playWmf(Bytes data, std::size_t at, MetafileDc& dc) {
    WmfObjects objects;
    bool any = false;
    try {
        while (data.has(at, 6)) {
            const std::uint64_t size = std::uint64_t{data.u32(at)} * 2;
            if (size < 6 || size > data.size() - at) break;
            any = true;
            const std::uint16_t function = data.u16(at + 4);
            if (function == 0) break;
            wmfRecord(dc, objects, function, data.sub(at + 6, size - 6), size);
            at += size;
        }
    } catch (const Exception&) {
        // What a record could not draw ends the play; what came before stays.
    }
    return any;
}

// The window a WMF without the placeable header sets first, as its frame.
std::optional<std::pair<PointD, PointD>> wmfWindow(Bytes data, std::size_t at) {
    std::optional<PointD> org, ext;
    while (data.has(at, 6) && !ext) {
        const std::uint64_t size = std::uint64_t{data.u32(at)} * 2;
        const std::uint16_t function = data.u16(at + 4);
        if (size < 6 || size > data.size() - at || function == 0) break;
        if (size >= 10 && function == 0x020B && !org) org = yx(data, at + 6);
        if (size >= 10 && function == 0x020C) ext = yx(data, at + 6);
        at += size;
    }
    if (!ext || ext->x == 0 || ext->y == 0) return std::nullopt;
    return std::pair{org.value_or(PointD{}), *ext};
}

std::optional<TRecording> record(const Frame& frame, const DcState& initial,
                                 bool (*play)(Bytes, std::size_t, MetafileDc&), Bytes data,
                                 std::size_t at) {
    const int dpi = std::max(1, static_cast<int>(RoundHalfEven(frame.space.recordingPerInch)));
    TRecordingCanvas canvas(frame.width, frame.height, dpi, dpi);
    MetafileDc dc(&canvas, frame.space, kImageBudget);
    dc.State() = initial;
    const bool any = play(data, at, dc);
    dc.Finish();
    if (!any) return std::nullopt;
    return canvas.TakeRecording();
}

std::optional<TRecording> playWmfFile(Bytes data) {
    std::size_t start = 0;
    if (data.u32(0) == kPlaceableKey) start = kPlaceableHeader;
    const std::uint16_t type = data.u16(start), version = data.u16(start + 4);
    if (!data.has(start, kWmfHeader) || (type != 1 && type != 2) || data.u16(start + 2) != 9 ||
        (version != 0x100 && version != 0x300))
        return std::nullopt;
    const std::uint64_t declared = std::uint64_t{data.u32(start + 6)} * 2;
    if (declared >= kWmfHeader && declared <= data.size() - start)
        data = data.sub(0, start + declared);
    const std::size_t records = start + kWmfHeader;

    // The window is drawn into the frame whatever mapping mode the records pick.
    DcState initial;
    initial.mapMode = MM_ANISOTROPIC;
    std::optional<Frame> frame;
    if (start) {
        const double l = data.s16(6), t = data.s16(8), r = data.s16(10), b = data.s16(12);
        const RectD box{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
        const double inch = data.u16(14) ? data.u16(14) : 1440;
        frame = makeFrame(box, inch, inch);
        initial.windowOrg = initial.viewportOrg = {box.left, box.top};
        initial.windowExt = initial.viewportExt = {box.right - box.left, box.bottom - box.top};
    } else if (const auto window = wmfWindow(data, records)) {
        const auto [org, ext] = *window;
        const RectD box{std::min(org.x, org.x + ext.x), std::min(org.y, org.y + ext.y),
                        std::max(org.x, org.x + ext.x), std::max(org.y, org.y + ext.y)};
        frame = makeFrame(box, 96, 96);
        initial.windowOrg = org;
        initial.windowExt = ext;
        initial.viewportOrg = {box.left, box.top};
        initial.viewportExt = {std::abs(ext.x), std::abs(ext.y)};
    } else {
        // No window: the frame is the box of what it draws, measured by a first play.
        DeviceSpace identity;
        identity.keepExtentsOnModeChange = true;
        MetafileDc measure(nullptr, identity, kImageBudget);
        measure.State() = initial;
        playWmf(data, records, measure);
        if (!measure.HasBounds()) return std::nullopt;
        const RectD b = measure.Bounds();
        frame = makeFrame(
            {std::floor(b.left), std::floor(b.top), std::ceil(b.right), std::ceil(b.bottom)}, 96,
            96);
    }
    if (!frame) return std::nullopt;
    frame->space.keepExtentsOnModeChange = true;
    return record(*frame, initial, playWmf, data, records);
}

// ---- EMF ---------------------------------------------------------------------------------------

struct EmfObjects {
    std::unordered_map<std::uint32_t, GdiObject> table;
};

void selectStock(MetafileDc& dc, std::uint32_t which) {
    DcState& s = dc.State();
    static const TColor greys[] = {clWhite, 0xC0C0C0, 0x808080, 0x404040, clBlack};
    if (which <= 4) {
        s.brush = {BS_SOLID, greys[which], 0};
    } else if (which == 5) {
        s.brush = {BS_NULL, clWhite, 0};
    } else if (which == 6 || which == 7 || which == 19) {
        s.pen = {};
        s.pen.color = which == 6 ? clWhite : clBlack;
    } else if (which == 8) {
        s.pen = {};
        s.pen.style = PS_NULL;
    } else if (which >= 10 && which <= 17 && which != 15) {
        s.font = {};
        if (which == 10 || which == 11 || which == 16) s.font.face = "Courier New";
    } else if (which == 18) {
        s.brush = {BS_SOLID, clWhite, 0};
    }
}

template <typename Int> std::vector<PointD> emfPoints(Bytes r, std::size_t at, std::size_t count) {
    std::vector<PointD> points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if constexpr (sizeof(Int) == 2)
            points.push_back({double(r.s16(at + 4 * i)), double(r.s16(at + 4 * i + 2))});
        else
            points.push_back({double(r.s32(at + 8 * i)), double(r.s32(at + 8 * i + 4))});
    }
    return points;
}

RectD emfRect(Bytes r, std::size_t at) {
    return {double(r.s32(at)), double(r.s32(at + 4)), double(r.s32(at + 8)),
            double(r.s32(at + 12))};
}

PointD emfPoint(Bytes r, std::size_t at) {
    return {double(r.s32(at)), double(r.s32(at + 4))};
}

XForm emfXForm(Bytes r, std::size_t at) {
    return {r.f32(at),      r.f32(at + 4),  r.f32(at + 8),
            r.f32(at + 12), r.f32(at + 16), r.f32(at + 20)};
}

void emfPoly(MetafileDc& dc, std::uint32_t type, Bytes r) {
    const bool small = type >= 85;
    const std::size_t pointSize = small ? 4 : 8;
    if (!r.has(0, 28)) return;
    const std::size_t count = r.u32(24);
    if (!r.has(28, count * pointSize)) return;
    const auto points =
        small ? emfPoints<std::int16_t>(r, 28, count) : emfPoints<std::int32_t>(r, 28, count);
    switch (small ? type - 83 : type) {
    case 2:
        dc.PolyBezier(points);
        break;
    case 3:
        dc.Polygons({points});
        break;
    case 4:
        dc.Polyline(points);
        break;
    case 5:
        dc.PolyBezierTo(points);
        break;
    case 6:
        dc.PolylineTo(points);
        break;
    default:
        break;
    }
}

void emfPolyPoly(MetafileDc& dc, std::uint32_t type, Bytes r) {
    const bool small = type == 90 || type == 91;
    const std::size_t pointSize = small ? 4 : 8;
    if (!r.has(0, 32)) return;
    const std::size_t figures = r.u32(24), total = r.u32(28);
    if (!r.has(32, 4 * figures)) return;
    std::size_t at = 32 + 4 * figures;
    if (!r.has(at, total * pointSize)) return;
    std::vector<std::vector<PointD>> all;
    std::size_t used = 0;
    for (std::size_t i = 0; i < figures; ++i) {
        const std::size_t n = r.u32(32 + 4 * i);
        if (n > total - used) return;
        all.push_back(small ? emfPoints<std::int16_t>(r, at, n)
                            : emfPoints<std::int32_t>(r, at, n));
        at += n * pointSize;
        used += n;
    }
    if (type == 8 || type == 91) {
        dc.Polygons(all);
    } else {
        for (const auto& line : all)
            dc.Polyline(line);
    }
}

void emfText(MetafileDc& dc, Bytes r, bool wide) {
    if (!r.has(0, 76)) return;
    const PointD reference = emfPoint(r, 36);
    const std::size_t count = r.u32(44), offString = r.u32(48), offDx = r.u32(72);
    const unsigned options = r.u32(52);
    const RectD box = emfRect(r, 56);
    // Glyph indices name no characters.
    if (options & ETO_GLYPH_INDEX) return;
    const std::size_t bytes = count * (wide ? 2 : 1);
    if (!r.has(offString, bytes)) return;
    const std::size_t dxStride = options & ETO_PDY ? 8 : 4;
    std::vector<double> dx;
    if (offDx && r.has(offDx, count * dxStride))
        for (std::size_t i = 0; i < count; ++i)
            dx.push_back(r.s32(offDx + i * dxStride));
    const bool withDx = count && dx.size() == count;
    if (wide) {
        std::u16string text;
        for (std::size_t i = 0; i < count; ++i)
            text.push_back(static_cast<char16_t>(r.u16(offString + 2 * i)));
        dc.Text(reference, text, withDx ? &dx : nullptr, options, &box);
    } else {
        std::vector<double> unitDx;
        const std::string_view text(reinterpret_cast<const char*>(r.d.data() + offString), count);
        const auto decoded =
            DecodeText(text, dc.State().font.charset, withDx ? &dx : nullptr, &unitDx);
        dc.Text(reference, decoded, withDx ? &unitDx : nullptr, options, &box);
    }
}

// A DIB of a record: its header at offBmi, its rows at offBits.
std::optional<Dib> emfDib(MetafileDc& dc, Bytes r, std::size_t offsets) {
    const Bytes info = r.sub(r.u32(offsets), r.u32(offsets + 4));
    const Bytes bits = r.sub(r.u32(offsets + 8), r.u32(offsets + 12));
    if (!info.size() || !bits.size()) return std::nullopt;
    return DecodeDib(info, bits, dc.ImageBudget());
}

void emfBlt(MetafileDc& dc, std::uint32_t type, Bytes r) {
    const bool stretch = type == 77;
    if (!r.has(0, stretch ? 108 : 100)) return;
    const PointD at = emfPoint(r, 24), size = emfPoint(r, 32);
    const std::uint32_t rop = r.u32(40);
    if (r.u32(88) == 0) { // no source: the pattern alone
        dc.PatBlt(at, size, rop);
        return;
    }
    if (r.u32(80) != 0 || !MetafileDc::DrawsSource(rop)) return;
    if (const auto dib = emfDib(dc, r, 84)) {
        const PointD source = stretch ? emfPoint(r, 100) : size;
        DrawDib(dc, *dib, {double(r.s32(44)), double(r.s32(48)), source.x, source.y, false}, at,
                size, rop);
    }
}

void emfStretchDibits(MetafileDc& dc, Bytes r) {
    if (!r.has(0, 80) || r.u32(64) != 0 || !MetafileDc::DrawsSource(r.u32(68))) return;
    if (const auto dib = emfDib(dc, r, 48))
        DrawDib(dc, *dib,
                {double(r.s32(32)), double(r.s32(36)), double(r.s32(40)), double(r.s32(44)), true},
                emfPoint(r, 24), emfPoint(r, 72), r.u32(68));
}

void emfClipRegion(MetafileDc& dc, Bytes r) {
    if (!r.has(0, 16)) return;
    const std::size_t size = r.u32(8);
    const int mode = static_cast<int>(r.u32(12));
    std::vector<RectD> rects;
    const Bytes data = r.sub(16, size);
    if (size && data.size() >= 32) {
        const std::size_t count = data.u32(8);
        if (!data.has(32, 16 * count)) return;
        for (std::size_t i = 0; i < count; ++i)
            rects.push_back(emfRect(data, 32 + 16 * i));
    }
    dc.CombineClip(mode, rects);
}

void emfRecord(MetafileDc& dc, EmfObjects& objects, std::uint32_t type, Bytes r) {
    DcState& s = dc.State();
    auto u32 = [&](std::size_t at) { return r.u32(at); };
    const bool one = r.has(0, 12), two = r.has(0, 16);
    switch (type) {
    case 9:
        if (two) dc.SetWindowExt(emfPoint(r, 8));
        break;
    case 10:
        if (two) dc.SetWindowOrg(emfPoint(r, 8));
        break;
    case 11:
        if (two) dc.SetViewportExt(emfPoint(r, 8));
        break;
    case 12:
        if (two) dc.SetViewportOrg(emfPoint(r, 8));
        break;
    case 17:
        if (one) dc.SetMapMode(static_cast<int>(u32(8)));
        break;
    case 18:
        if (one && (u32(8) == TRANSPARENT || u32(8) == OPAQUE)) s.bkMode = static_cast<int>(u32(8));
        break;
    case 22:
        if (one) s.textAlign = u32(8);
        break;
    case 24:
        if (one) s.textColor = colorRef(u32(8));
        break;
    case 25:
        if (one) s.bkColor = colorRef(u32(8));
        break;
    case 27:
        if (two) dc.MoveTo(emfPoint(r, 8));
        break;
    case 54:
        if (two) dc.LineTo(emfPoint(r, 8));
        break;
    case 29:
        if (r.has(0, 24)) dc.ExcludeClip(emfRect(r, 8));
        break;
    case 30:
        if (r.has(0, 24)) dc.IntersectClip(emfRect(r, 8));
        break;
    case 31:
    case 32:
        if (!r.has(0, 24)) break;
        if (type == 31)
            dc.ScaleViewportExt(r.s32(8), r.s32(12), r.s32(16), r.s32(20));
        else
            dc.ScaleWindowExt(r.s32(8), r.s32(12), r.s32(16), r.s32(20));
        break;
    case 33:
        dc.SaveDc();
        break;
    case 34:
        if (one) dc.RestoreDc(r.s32(8));
        break;
    case 35:
        if (r.has(0, 32)) dc.SetWorldTransform(emfXForm(r, 8));
        break;
    case 36:
        if (r.has(0, 36)) dc.ModifyWorldTransform(emfXForm(r, 8), u32(32));
        break;
    case 37:
        if (!one) break;
        if (u32(8) & 0x80000000u)
            selectStock(dc, u32(8) & 0x7FFFFFFF);
        else if (const auto it = objects.table.find(u32(8)); it != objects.table.end())
            select(dc, it->second);
        break;
    case 40:
        if (one) objects.table.erase(u32(8));
        break;
    case 38:
    case 39:
    case 82:
    case 93:
    case 94:
    case 95: {
        if (!one) break;
        const std::uint32_t index = u32(8);
        if (index == 0 || index > kMaxObjects) break;
        GdiObject o;
        if (type == 38 && r.has(0, 28)) {
            o.kind = GdiObject::Kind::Pen;
            o.pen.style = u32(12);
            o.pen.width = std::abs(static_cast<double>(r.s32(16)));
            o.pen.cosmetic = false;
            o.pen.color = colorRef(u32(24));
        } else if (type == 95 && r.has(0, 52)) {
            o.kind = GdiObject::Kind::Pen;
            o.pen.style = u32(28);
            o.pen.cosmetic = !(o.pen.style & PS_GEOMETRIC);
            o.pen.width = u32(32);
            o.pen.color = colorRef(u32(40));
            if (u32(36) == BS_NULL) o.pen.style = PS_NULL;
            const std::size_t entries = std::min<std::size_t>(u32(48), 16);
            if ((o.pen.style & 0x0F) == PS_USERSTYLE && r.has(52, 4 * entries))
                for (std::size_t i = 0; i < entries; ++i)
                    o.pen.dashes.push_back(u32(52 + 4 * i));
        } else if (type == 39 && r.has(0, 24)) {
            o = brushObject(u32(12), colorRef(u32(16)), u32(20));
        } else if ((type == 93 || type == 94) && r.has(0, 32)) {
            o = brushObject(BS_SOLID, clGray, 0);
            if (u32(12) == 0)
                o.brush.color = MeanDibColor(r.sub(u32(16), u32(20)), r.sub(u32(24), u32(28)));
        } else if (type == 82 && r.has(0, 104)) {
            o.kind = GdiObject::Kind::Font;
            o.font.height = r.s32(12);
            o.font.escapement = r.s32(20) % 3600;
            o.font.weight = r.s32(28);
            o.font.italic = r.u8(32), o.font.underline = r.u8(33), o.font.strikeOut = r.u8(34);
            o.font.charset = r.u8(35);
            std::u16string face;
            for (std::size_t i = 0; i < 32 && r.u16(40 + 2 * i); ++i)
                face.push_back(static_cast<char16_t>(r.u16(40 + 2 * i)));
            o.font.face = Utf16ToUtf8Lenient(face);
        } else {
            break;
        }
        objects.table[index] = std::move(o);
        break;
    }
    case 42:
        if (r.has(0, 24)) dc.Ellipse(emfRect(r, 8));
        break;
    case 43:
        if (r.has(0, 24)) dc.Rectangle(emfRect(r, 8));
        break;
    case 44:
        if (r.has(0, 32)) dc.RoundRect(emfRect(r, 8), emfPoint(r, 24));
        break;
    case 45:
    case 46:
    case 47: {
        if (!r.has(0, 40)) break;
        const TShapeKind kind = type == 45   ? TShapeKind::Arc
                                : type == 46 ? TShapeKind::Chord
                                             : TShapeKind::Pie;
        dc.ArcShape(kind, emfRect(r, 8), emfPoint(r, 24), emfPoint(r, 32));
        break;
    }
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
        emfPoly(dc, type, r);
        break;
    case 7:
    case 8:
    case 90:
    case 91:
        emfPolyPoly(dc, type, r);
        break;
    case 15:
        if (r.has(0, 20)) dc.SetPixel(emfPoint(r, 8), colorRef(u32(16)));
        break;
    case 59:
        dc.BeginPath();
        break;
    case 60:
        dc.EndPath();
        break;
    case 61:
        dc.CloseFigure();
        break;
    case 62:
        dc.DrawPath(true, false);
        break;
    case 63:
        dc.DrawPath(true, true);
        break;
    case 64:
        dc.DrawPath(false, true);
        break;
    case 67:
        if (one) dc.SelectClipPath(static_cast<int>(u32(8)));
        break;
    case 68:
        dc.AbortPath();
        break;
    case 75:
        emfClipRegion(dc, r);
        break;
    case 76:
    case 77:
        emfBlt(dc, type, r);
        break;
    case 81:
        emfStretchDibits(dc, r);
        break;
    case 83:
    case 84:
        emfText(dc, r, type == 84);
        break;
    default:
        break;
    }
}

bool playEmf(Bytes data, std::size_t at, MetafileDc& dc) {
    EmfObjects objects;
    bool any = false;
    try {
        while (data.has(at, 8)) {
            const std::uint32_t type = data.u32(at), size = data.u32(at + 4);
            if (size < 8 || size > data.size() - at) break;
            any = true;
            if (type == 14) break;
            emfRecord(dc, objects, type, data.sub(at, size));
            at += size;
        }
    } catch (const Exception&) {
        // What a record could not draw ends the play; what came before stays.
    }
    return any;
}

std::optional<TRecording> playEmfFile(Bytes data) {
    if (!data.has(0, kEmfHeader) || data.u32(0) != 1 || data.u32(40) != kEmfSignature)
        return std::nullopt;
    const std::uint32_t headerSize = data.u32(4), declared = data.u32(48);
    if (headerSize < kEmfHeader || headerSize > data.size()) return std::nullopt;
    if (declared >= headerSize && declared <= data.size()) data = data.sub(0, declared);
    auto perMm = [&](std::size_t pixels, std::size_t mm) {
        const double p = data.s32(pixels), m = data.s32(mm);
        return p > 0 && m > 0 ? p / m : 96 / 25.4;
    };
    const double mmX = perMm(72, 80), mmY = perMm(76, 84);
    const RectD frame = emfRect(data, 24);
    std::optional<Frame> f = makeFrame({frame.left * mmX / 100, frame.top * mmY / 100,
                                        frame.right * mmX / 100, frame.bottom * mmY / 100},
                                       mmX * 25.4, mmY * 25.4);
    if (!f) {
        // Bounds are inclusive device pixels.
        const RectD b = emfRect(data, 8);
        f = makeFrame({b.left, b.top, b.right + 1, b.bottom + 1}, mmX * 25.4, mmY * 25.4);
    }
    if (!f) return std::nullopt;
    return record(*f, DcState{}, playEmf, data, headerSize);
}

} // namespace

} // namespace metafile_player

std::optional<TRecording> PlayWindowsMetafile(std::span<const std::uint8_t> bytes) {
    using namespace metafile_player;
    const Bytes data{bytes};
    if (data.u32(0) == 1 && data.u32(40) == kEmfSignature) return playEmfFile(data);
    return playWmfFile(data);
}
