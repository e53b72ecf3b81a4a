#pragma once
// Inside the metafile player: the device context that WMF and EMF records drive (mapping modes,
// world transform, objects, clip, paths) and that draws on a recording canvas, and the DIB
// decoder both formats share.

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/graphics/metafile.h"

namespace metafile_player {

// The headers both formats start with.
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::size_t kPlaceableHeader = 22;
constexpr std::size_t kWmfHeader = 18;
constexpr std::size_t kEmfHeader = 88;

// Little-endian fields of untrusted data: reads past the end give 0, so a record is checked
// for the size its layout needs and then read without further care.
struct Bytes {
    std::span<const std::uint8_t> d;

    std::size_t size() const { return d.size(); }
    bool has(std::size_t at, std::size_t n) const { return at <= d.size() && n <= d.size() - at; }
    std::uint8_t u8(std::size_t at) const { return has(at, 1) ? d[at] : 0; }
    std::uint16_t u16(std::size_t at) const {
        return has(at, 2) ? static_cast<std::uint16_t>(d[at] | d[at + 1] << 8) : 0;
    }
    std::int16_t s16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
    std::uint32_t u32(std::size_t at) const {
        return has(at, 4) ? (d[at] | d[at + 1] << 8 | d[at + 2] << 16 |
                             static_cast<std::uint32_t>(d[at + 3]) << 24)
                          : 0;
    }
    std::int32_t s32(std::size_t at) const { return static_cast<std::int32_t>(u32(at)); }
    float f32(std::size_t at) const {
        const std::uint32_t bits = u32(at);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // The n bytes at `at`, or nothing when they are not all there.
    Bytes sub(std::size_t at, std::size_t n) const {
        return has(at, n) ? Bytes{d.subspan(at, n)} : Bytes{};
    }
    Bytes from(std::size_t at) const { return at <= d.size() ? Bytes{d.subspan(at)} : Bytes{}; }
};

struct PointD {
    double x = 0, y = 0;
};

struct RectD {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// x' = x m11 + y m21 + dx, y' = x m12 + y m22 + dy, as the window system writes transforms.
struct XForm {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    PointD Map(PointD p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
    bool AxisAligned() const { return m12 == 0 && m21 == 0; }
    bool Finite() const;
};
// `first` applied, then `second`.
XForm Then(const XForm& first, const XForm& second);

enum : int {
    MM_TEXT = 1,
    MM_LOMETRIC,
    MM_HIMETRIC,
    MM_LOENGLISH,
    MM_HIENGLISH,
    MM_TWIPS,
    MM_ISOTROPIC,
    MM_ANISOTROPIC
};
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : unsigned { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : unsigned { PS_NULL = 5, PS_USERSTYLE = 7, PS_GEOMETRIC = 0x10000 };
enum : unsigned { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : int { RGN_AND = 1, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY };
inline constexpr unsigned ETO_GLYPH_INDEX = 0x10;
inline constexpr unsigned ETO_PDY = 0x2000;

struct LogPen {
    unsigned style = 0;
    double width = 0; // logical units; 0 or a cosmetic pen: one pixel
    bool cosmetic = true;
    TColor color = clBlack;
    std::vector<double> dashes; // user style, logical units
};

struct LogBrush {
    unsigned style = BS_SOLID; // pattern brushes arrive as solid brushes of their mean colour
    TColor color = clWhite;
    unsigned hatch = 0;
};

struct LogFont {
    double height = 0;  // logical units; < 0 the em height, > 0 the cell height, 0 the default
    int escapement = 0; // tenths of a degree
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    std::uint8_t charset = DEFAULT_CHARSET;
    std::string face;
};

struct GdiObject {
    enum class Kind : std::uint8_t { Pen, Brush, Font, Other } kind = Kind::Other;
    LogPen pen;
    LogBrush brush;
    LogFont font;
};

// The clip as (frame ∩ inside) minus the excluded rectangles, in recording coordinates; the
// operations commute in this form, so it is replayed whole after any change.
struct ClipState {
    bool limited = false;
    TRect inside;
    std::vector<TRect> outside;
    friend bool operator==(const ClipState&, const ClipState&) = default;
};

struct DcState {
    int mapMode = MM_TEXT;
    PointD windowOrg, windowExt{1, 1}, viewportOrg, viewportExt{1, 1};
    XForm world;
    LogPen pen;
    LogBrush brush;
    LogFont font;
    TColor textColor = clBlack;
    TColor bkColor = clWhite;
    int bkMode = OPAQUE;
    unsigned textAlign = 0;
    PointD position; // logical
    ClipState clip;
};

// Where device coordinates go in the recording.
struct DeviceSpace {
    PointD origin; // the frame's top-left, device units
    double toRecordingX = 1, toRecordingY = 1;
    double devicePerInchX = 96, devicePerInchY = 96;
    double recordingPerInch = 96;
    // A WMF is drawn through its window into the frame whatever mapping mode it picks on the
    // way; an EMF's extents follow the mode as the window system sets them.
    bool keepExtentsOnModeChange = false;
};

// The device context. Coordinates given to it are logical. With no canvas it only measures
// the box of what would be drawn, in device units (the space given must then be the identity).
class MetafileDc {
public:
    MetafileDc(TRecordingCanvas* canvas, const DeviceSpace& space, std::uint64_t imageBudget);

    DcState& State() { return s_; }
    // Drawn-on box in recording coordinates; empty when nothing was drawn.
    bool HasBounds() const { return hasBounds_; }
    RectD Bounds() const { return bounds_; }
    // What may still be spent on decoded image pixels.
    std::uint64_t& ImageBudget() { return imageBudget_; }
    // Pops what the metafile left saved and its clip.
    void Finish();

    void SaveDc();
    // n < 0: that many levels back; n > 0: back to the n-th saved state.
    void RestoreDc(int n);
    void SetMapMode(int mode);
    void SetWindowOrg(PointD p) { s_.windowOrg = p; }
    void SetViewportOrg(PointD p) { s_.viewportOrg = p; }
    void SetWindowExt(PointD e);
    void SetViewportExt(PointD e);
    void OffsetWindowOrg(PointD d) { s_.windowOrg = {s_.windowOrg.x + d.x, s_.windowOrg.y + d.y}; }
    void OffsetViewportOrg(PointD d) {
        s_.viewportOrg = {s_.viewportOrg.x + d.x, s_.viewportOrg.y + d.y};
    }
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void SetWorldTransform(const XForm& x);
    // 1 identity, 2 x before the current, 3 after it, 4 set.
    void ModifyWorldTransform(const XForm& x, unsigned mode);

    void MoveTo(PointD p);
    void LineTo(PointD p);
    void Polyline(const std::vector<PointD>& points);
    void PolylineTo(const std::vector<PointD>& points);
    // One or more closed figures filled as one (holes by the even-odd rule).
    void Polygons(const std::vector<std::vector<PointD>>& figures);
    void PolyBezier(const std::vector<PointD>& points);
    void PolyBezierTo(const std::vector<PointD>& points);
    void Rectangle(const RectD& box);
    void RoundRect(const RectD& box, PointD corner);
    void Ellipse(const RectD& box);
    void ArcShape(TShapeKind kind, const RectD& box, PointD start, PointD end);
    void SetPixel(PointD p, TColor color);

    // dx: logical advances, one per UTF-16 unit (null: the font's own); box: the clip or opaque
    // rectangle when the options name it.
    void Text(PointD reference, const std::u16string& text, const std::vector<double>* dx,
              unsigned options, const RectD* box);
    // The image stretched over the logical rectangle at `at` of `size`; a negative size
    // mirrors it. The raster operation's source code decides how it combines.
    void StretchImage(PointD at, PointD size, TRasterImage image, std::uint32_t rop);
    void PatBlt(PointD at, PointD size, std::uint32_t rop);
    // Whether a raster operation draws its source in a way the recording can show.
    static bool DrawsSource(std::uint32_t rop);

    void IntersectClip(const RectD& box);
    void ExcludeClip(const RectD& box);
    // A region in device coordinates combined into the clip (RGN_*); no rectangles with
    // RGN_COPY removes the clip.
    void CombineClip(int mode, const std::vector<RectD>& deviceRects);

    void BeginPath();
    void EndPath() { inPath_ = false; }
    void AbortPath();
    void CloseFigure();
    void DrawPath(bool fill, bool stroke);
    void SelectClipPath(int mode);

private:
    struct Figure {
        std::vector<TPoint> points;
        bool closed = false;
    };

    XForm transform() const;
    TPoint toPoint(PointD recordingPoint);
    TRect boundsOf(const XForm& m, const RectD& box);
    TPenData penData(const XForm& m) const;
    TBrushData brushData() const;
    TFontData fontData(const XForm& m) const;
    std::vector<PointD> outline(TShapeKind kind, const RectD& box, PointD start, PointD end) const;

    void pathContinue(const XForm& m, const std::vector<PointD>& recordingPoints);
    void emitPolyline(const std::vector<TPoint>& points);
    void emitFigures(const std::vector<Figure>& figures, bool fill, bool stroke);
    void emitShape(TShapeKind kind, const TRect& r, TPoint p3, TPoint p4);
    void emitFill(const TRect& r, const TBrushData& brush);
    template <typename Draw> void paint(bool withPen, bool withBrush, const XForm& m, Draw&& draw);
    void setTools(const TPenData& pen, const TBrushData& brush);
    void extend(PointD p);
    void extend(const TRect& r);
    void applyClip();

    TRecordingCanvas* canvas_;
    DeviceSpace space_;
    DcState s_;
    std::vector<DcState> saved_;
    ClipState applied_;
    bool inPath_ = false;
    std::vector<Figure> path_;
    bool hasBounds_ = false;
    RectD bounds_;
    std::uint64_t imageBudget_;
};

// A decoded DIB, rows top first; bottomUp tells how the file stored them (source rectangles of
// bottom-up DIBs count their rows from the bottom).
struct Dib {
    TRasterImage image;
    bool bottomUp = true;
};

// The DIB whose header and colour table are at the start of `info` and whose rows are `bits`;
// uncompressed or bit-field DIBs of 1, 4, 8, 16, 24 or 32 bits. Null when damaged, compressed,
// larger than the caps or than the budget (which it is charged to).
std::optional<Dib> DecodeDib(Bytes info, Bytes bits, std::uint64_t& budget);
// A packed DIB: the rows follow the colour table.
std::optional<Dib> DecodePackedDib(Bytes packed, std::uint64_t& budget);
// The mean colour of a DIB, for pattern brushes; grey when it cannot be decoded.
TColor MeanDibColor(Bytes info, Bytes bits);

// The source rectangle of a DIB in its pixels; a negative size mirrors. fromBottom: y counts
// rows from the bottom of a bottom-up DIB, as the records of the DIB-stretching call give it.
struct DibSource {
    double x = 0, y = 0, width = 0, height = 0;
    bool fromBottom = false;
};
// Draws that part of the DIB stretched over the logical destination.
void DrawDib(MetafileDc& dc, const Dib& dib, const DibSource& source, PointD at, PointD size,
             std::uint32_t rop);

// 8-bit text in the code page of a font's character set as UTF-16, each unit taking the sum of
// the per-byte advances of its character (when byteDx is given) into unitDx.
std::u16string DecodeText(std::string_view bytes, std::uint8_t charset,
                          const std::vector<double>* byteDx, std::vector<double>* unitDx);

} // namespace metafile_player
