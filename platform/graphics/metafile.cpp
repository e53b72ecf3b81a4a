#include "platform/graphics/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/graphics/raster_canvas.h"

namespace {

enum class RecordKind : std::uint8_t { Polyline = 1, Polygon, Shape, Fill, Text, Image, Clip };

constexpr std::uint8_t kMagic[4] = {'L', 'M', 'F', '1'};
constexpr std::uint32_t kMaxCount = 1u << 26;
// Whatever the file claims, rasterising its frame may not need more memory than this; ToImage
// holds the canvas and the image it hands back, four bytes a pixel each.
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{1} << 30;
constexpr std::uint64_t kFrameBytesPerPixel = 8;
// Coordinates, lengths and font heights are held to this when read and when replayed, so the
// differences, insets and sums the canvases take of them stay within int.
constexpr int kMaxCoordinate = 1 << 27;

int clampCoordinate(long long v) {
    return static_cast<int>(std::clamp<long long>(v, -kMaxCoordinate, kMaxCoordinate));
}

// Rounds a scaled value as replay always has; at any scale the result stays in range.
long long roundScaled(double v) {
    constexpr double limit = 2.0 * kMaxCoordinate;
    return std::llround(std::clamp(v, -limit, limit));
}

class Writer {
public:
    std::vector<std::uint8_t> out;
    void U8(std::uint8_t v) { out.push_back(v); }
    void U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Rect(const TRect& r) { I32(r.Left), I32(r.Top), I32(r.Right), I32(r.Bottom); }
    void Str(const std::string& s)
    {
        U32(static_cast<std::uint32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> d) : d_(d) {}
    void Need(std::size_t n)
    {
        if (n > d_.size() - pos_) throw EInvalidGraphic("Metafile is not valid: truncated at offset " + std::to_string(pos_));
    }
    std::uint8_t U8()
    {
        Need(1);
        return d_[pos_++];
    }
    std::uint32_t U32()
    {
        Need(4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(d_[pos_ + i]) << (8 * i);
        pos_ += 4;
        return v;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    int Coord() { return clampCoordinate(I32()); }
    TPoint Point() {
        const int x = Coord();
        return {x, Coord()};
    }
    TRect Rect()
    {
        TRect r;
        r.Left = Coord(), r.Top = Coord(), r.Right = Coord(), r.Bottom = Coord();
        return r;
    }
    // A count of items each at least itemSize bytes long must fit what remains.
    std::uint32_t Count(std::size_t itemSize)
    {
        const std::uint32_t n = U32();
        if (n > kMaxCount || static_cast<std::size_t>(n) * itemSize > d_.size() - pos_)
            throw EInvalidGraphic("Metafile is not valid: count " + std::to_string(n) + " at offset " + std::to_string(pos_ - 4));
        return n;
    }
    std::string Str()
    {
        const std::uint32_t n = Count(1);
        std::string s(reinterpret_cast<const char*>(d_.data() + pos_), n);
        pos_ += n;
        return s;
    }
    std::size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ == d_.size(); }

private:
    std::span<const std::uint8_t> d_;
    std::size_t pos_ = 0;
};

void writeState(Writer& w, const TCanvasState& s)
{
    w.I32(s.Pen.Color), w.I32(s.Pen.Width), w.U8(s.Pen.Style), w.U8(s.Pen.Mode), w.U8(s.Pen.EndCap), w.U8(s.Pen.JoinStyle);
    w.U32(static_cast<std::uint32_t>(s.Pen.Dashes.size()));
    for (int d : s.Pen.Dashes) w.I32(d);
    w.I32(s.Brush.Color), w.U8(s.Brush.Style);
    w.Str(s.Font.Name), w.I32(s.Font.Height), w.U8(s.Font.Style.Bits()), w.U8(s.Font.Charset), w.I32(s.Font.Color),
        w.I32(s.Font.Orientation);
    w.U8(s.BackgroundMode);
}

template <typename E> E checkedEnum(Reader& r, int last, int first = 0) {
    const std::uint8_t v = r.U8();
    if (v < first || v > last)
        throw EInvalidGraphic("Metafile is not valid: bad value at offset " +
                              std::to_string(r.Pos() - 1));
    return static_cast<E>(v);
}

TCanvasState readState(Reader& r)
{
    TCanvasState s;
    s.Pen.Color = r.I32(), s.Pen.Width = std::max(0, r.Coord());
    s.Pen.Style = checkedEnum<TPenStyle>(r, psAlternate);
    s.Pen.Mode = checkedEnum<TPenMode>(r, pmNotXor);
    s.Pen.EndCap = checkedEnum<TPenEndCap>(r, pecFlat);
    s.Pen.JoinStyle = checkedEnum<TPenJoinStyle>(r, pjsMiter);
    const std::uint32_t dashes = r.Count(4);
    for (std::uint32_t i = 0; i < dashes; ++i)
        s.Pen.Dashes.push_back(std::max(0, r.Coord()));
    s.Brush.Color = r.I32();
    s.Brush.Style = checkedEnum<TBrushStyle>(r, bsDiagCross);
    s.Font.Name = r.Str(), s.Font.Height = r.Coord();
    s.Font.Style = TFontStyles::FromBits(r.U8());
    s.Font.Charset = r.U8(), s.Font.Color = r.I32(), s.Font.Orientation = r.I32();
    // Only the angle matters: an absurd number of turns is dropped so drawing may negate it.
    if (s.Font.Orientation < -kMaxCoordinate || s.Font.Orientation > kMaxCoordinate)
        s.Font.Orientation %= 3600;
    s.BackgroundMode = checkedEnum<TBackgroundMode>(r, bmOpaque);
    return s;
}

}  // namespace

struct TRecording::Record {
    RecordKind kind{};
    std::uint32_t state = 0;
    std::vector<TPoint> points;  // polyline / polygon; shapes: p3, p4
    TShapeKind shape{};
    TClipOp clip{};
    TRect rect;
    bool hasRect = false;
    int x = 0, y = 0;
    unsigned options = 0;
    std::u16string text;
    std::vector<int> advances;
    std::shared_ptr<const TRasterImage> image;
};

struct TRecording::Data {
    std::vector<TCanvasState> states;
    std::vector<Record> records;

    std::uint32_t StateIndex(const TCanvasState& s)
    {
        if (states.empty() || !(states.back() == s)) states.push_back(s);
        return static_cast<std::uint32_t>(states.size() - 1);
    }
};

TRecording::TRecording(int width, int height, int dpiX, int dpiY)
    : width_(width), height_(height), dpiX_(dpiX), dpiY_(dpiY), d_(std::make_unique<Data>())
{
}
TRecording::~TRecording() = default;
TRecording::TRecording(const TRecording& o)
    : width_(o.width_), height_(o.height_), dpiX_(o.dpiX_), dpiY_(o.dpiY_), d_(std::make_unique<Data>(*o.d_))
{
}
TRecording& TRecording::operator=(const TRecording& o)
{
    if (this != &o) {
        width_ = o.width_, height_ = o.height_, dpiX_ = o.dpiX_, dpiY_ = o.dpiY_;
        d_ = std::make_unique<Data>(*o.d_);
    }
    return *this;
}

TRecording::TRecording(TRecording&&) noexcept = default;
TRecording& TRecording::operator=(TRecording&&) noexcept = default;

std::size_t TRecording::RecordCount() const { return d_->records.size(); }

void TRecording::Play(TCanvas& target, const TRect& dest) const
{
    if (width_ <= 0 || height_ <= 0 || dest.IsEmpty()) return;
    const double sx = static_cast<double>(dest.Width()) / width_;
    const double sy = static_cast<double>(dest.Height()) / height_;
    const bool identity = sx == 1.0 && sy == 1.0;
    auto X = [&](int v) { return clampCoordinate(dest.Left + roundScaled(v * sx)); };
    auto Y = [&](int v) { return clampCoordinate(dest.Top + roundScaled(v * sy)); };
    auto length = [](double v) { return clampCoordinate(roundScaled(v)); };
    auto P = [&](TPoint p) { return TPoint{X(p.X), Y(p.Y)}; };
    auto R = [&](const TRect& r) { return TRect{X(r.Left), Y(r.Top), X(r.Right), Y(r.Bottom)}; };
    const double penScale = (sx + sy) / 2;
    auto scaled = [&](const TCanvasState& s) {
        if (identity) return s;
        TCanvasState t = s;
        if (t.Pen.Width > 1) t.Pen.Width = std::max(1, length(t.Pen.Width * penScale));
        for (int& d : t.Pen.Dashes)
            d = std::max(1, length(d * penScale));
        const double height = t.Font.Height;
        t.Font.Height = height < 0 ? -std::max(1, length(-height * sy)) : length(height * sy);
        return t;
    };

    target.Clip(TClipOp::Save, {});
    if (!identity || dest.Left != 0 || dest.Top != 0) target.Clip(TClipOp::Intersect, dest);
    int depth = 0;
    for (const Record& rec : d_->records) {
        const TCanvasState state = rec.kind == RecordKind::Image || rec.kind == RecordKind::Clip
                                       ? TCanvasState{}
                                       : scaled(d_->states.at(rec.state));
        switch (rec.kind) {
        case RecordKind::Polyline:
        case RecordKind::Polygon: {
            std::vector<TPoint> pts;
            pts.reserve(rec.points.size());
            for (auto p : rec.points) pts.push_back(P(p));
            if (rec.kind == RecordKind::Polyline)
                target.DrawPolyline(state, pts);
            else
                target.DrawPolygon(state, pts);
            break;
        }
        case RecordKind::Shape: {
            TPoint p3 = rec.points.at(0), p4 = rec.points.at(1);
            if (rec.shape == TShapeKind::RoundRect)
                p3 = {length(p3.X * sx), length(p3.Y * sy)};
            else
                p3 = P(p3), p4 = P(p4);
            target.DrawShape(state, rec.shape, R(rec.rect), p3, p4);
            break;
        }
        case RecordKind::Fill: target.DrawFill(state, R(rec.rect)); break;
        case RecordKind::Text: {
            // Whole-pixel positions are scaled cumulatively so the line keeps its length.
            std::vector<int> adv(rec.advances.size());
            long long cum = 0;
            int prev = 0;
            for (std::size_t i = 0; i < adv.size(); ++i) {
                cum += rec.advances[i];
                const int pos = length(cum * sx);
                adv[i] = pos - prev;
                prev = pos;
            }
            const TRect rr = R(rec.rect);
            target.DrawText(state, X(rec.x), Y(rec.y), rec.options, rec.hasRect ? &rr : nullptr, rec.text, adv.data());
            break;
        }
        case RecordKind::Image: target.DrawRaster(R(rec.rect), rec.image); break;
        case RecordKind::Clip:
            if (rec.clip == TClipOp::Save) {
                ++depth;
            } else if (rec.clip == TClipOp::Restore) {
                if (depth == 0) break;  // never pop past our own save
                --depth;
            }
            target.Clip(rec.clip, R(rec.rect));
            break;
        }
    }
    for (; depth > 0; --depth) target.Clip(TClipOp::Restore, {});
    target.Clip(TClipOp::Restore, {});
}

std::vector<TTextRecord> TRecording::TextRecords() const
{
    std::vector<TTextRecord> out;
    for (const Record& rec : d_->records) {
        if (rec.kind != RecordKind::Text) continue;
        TTextRecord t;
        t.Text = rec.text;
        t.X = rec.x, t.Y = rec.y;
        t.Advances = rec.advances;
        t.Options = rec.options;
        t.HasRect = rec.hasRect;
        t.Rect = rec.rect;
        t.Font = d_->states.at(rec.state).Font;
        int width = 0;
        for (int a : rec.advances) width += a;
        const int height = TFontMeasurer::ForFont(t.Font)->Metrics().Height;
        const double angle = t.Font.Orientation / 10.0 * 3.14159265358979323846 / 180.0;
        const double c = std::cos(angle), s = std::sin(angle);
        // Corners of the cell box rotated counter-clockwise about (X, Y), y pointing down.
        const double xs[4] = {0, width * c, width * c + height * s, height * s};
        const double ys[4] = {0, -width * s, -width * s + height * c, height * c};
        t.Bounds = {t.X + static_cast<int>(std::floor(*std::min_element(xs, xs + 4))),
                    t.Y + static_cast<int>(std::floor(*std::min_element(ys, ys + 4))),
                    t.X + static_cast<int>(std::ceil(*std::max_element(xs, xs + 4))),
                    t.Y + static_cast<int>(std::ceil(*std::max_element(ys, ys + 4)))};
        out.push_back(std::move(t));
    }
    return out;
}

bool TRecording::IsRecording(std::span<const std::uint8_t> data)
{
    return data.size() >= 4 && std::memcmp(data.data(), kMagic, 4) == 0;
}

std::vector<std::uint8_t> TRecording::Serialize() const
{
    Writer w;
    w.out.insert(w.out.end(), kMagic, kMagic + 4);
    w.I32(width_), w.I32(height_), w.I32(dpiX_), w.I32(dpiY_);
    w.U32(static_cast<std::uint32_t>(d_->states.size()));
    for (const auto& s : d_->states) writeState(w, s);
    w.U32(static_cast<std::uint32_t>(d_->records.size()));
    for (const Record& rec : d_->records) {
        w.U8(static_cast<std::uint8_t>(rec.kind));
        switch (rec.kind) {
        case RecordKind::Polyline:
        case RecordKind::Polygon:
            w.U32(rec.state);
            w.U32(static_cast<std::uint32_t>(rec.points.size()));
            for (auto p : rec.points) w.I32(p.X), w.I32(p.Y);
            break;
        case RecordKind::Shape:
            w.U32(rec.state), w.U8(static_cast<std::uint8_t>(rec.shape)), w.Rect(rec.rect);
            w.I32(rec.points[0].X), w.I32(rec.points[0].Y), w.I32(rec.points[1].X), w.I32(rec.points[1].Y);
            break;
        case RecordKind::Fill: w.U32(rec.state), w.Rect(rec.rect); break;
        case RecordKind::Text:
            w.U32(rec.state), w.I32(rec.x), w.I32(rec.y), w.U32(rec.options), w.U8(rec.hasRect), w.Rect(rec.rect);
            w.U32(static_cast<std::uint32_t>(rec.text.size()));
            for (char16_t c : rec.text) w.U8(static_cast<std::uint8_t>(c)), w.U8(static_cast<std::uint8_t>(c >> 8));
            for (int a : rec.advances) w.I32(a);
            break;
        case RecordKind::Image:
            w.Rect(rec.rect), w.I32(rec.image->Width), w.I32(rec.image->Height), w.U8(rec.image->HasAlpha);
            for (std::uint32_t p : rec.image->Pixels) w.U32(p);
            break;
        case RecordKind::Clip: w.U8(static_cast<std::uint8_t>(rec.clip)), w.Rect(rec.rect); break;
        }
    }
    return std::move(w.out);
}

TRecording TRecording::Deserialize(std::span<const std::uint8_t> data)
{
    if (!IsRecording(data)) throw EInvalidGraphic("Metafile is not valid: unknown signature");
    Reader r(data.subspan(4));
    TRecording rec;
    rec.width_ = r.I32(), rec.height_ = r.I32(), rec.dpiX_ = r.I32(), rec.dpiY_ = r.I32();
    if (rec.width_ < 0 || rec.height_ < 0) throw EInvalidGraphic("Metafile is not valid: negative frame");
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(rec.width_) * static_cast<std::uint64_t>(rec.height_);
    if (pixels * kFrameBytesPerPixel > kMaxFrameBytes)
        throw EInvalidGraphic("Metafile is not valid: frame of " + std::to_string(rec.width_) +
                              " x " + std::to_string(rec.height_) + " is too large");
    const std::uint32_t states = r.Count(20);
    for (std::uint32_t i = 0; i < states; ++i) rec.d_->states.push_back(readState(r));
    auto stateIndex = [&] {
        const std::uint32_t s = r.U32();
        if (s >= rec.d_->states.size()) throw EInvalidGraphic("Metafile is not valid: state index " + std::to_string(s));
        return s;
    };
    const std::uint32_t count = r.Count(1);
    for (std::uint32_t i = 0; i < count; ++i) {
        Record x;
        x.kind = checkedEnum<RecordKind>(r, static_cast<int>(RecordKind::Clip),
                                         static_cast<int>(RecordKind::Polyline));
        switch (x.kind) {
        case RecordKind::Polyline:
        case RecordKind::Polygon: {
            x.state = stateIndex();
            const std::uint32_t n = r.Count(8);
            for (std::uint32_t k = 0; k < n; ++k)
                x.points.push_back(r.Point());
            break;
        }
        case RecordKind::Shape: {
            x.state = stateIndex();
            x.shape = checkedEnum<TShapeKind>(r, static_cast<int>(TShapeKind::Chord));
            x.rect = r.Rect();
            for (int k = 0; k < 2; ++k)
                x.points.push_back(r.Point());
            break;
        }
        case RecordKind::Fill: x.state = stateIndex(), x.rect = r.Rect(); break;
        case RecordKind::Text: {
            x.state = stateIndex();
            x.x = r.Coord(), x.y = r.Coord(), x.options = r.U32();
            x.hasRect = r.U8() != 0, x.rect = r.Rect();
            const std::uint32_t n = r.Count(6);
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::uint8_t lo = r.U8();
                x.text.push_back(static_cast<char16_t>(lo | r.U8() << 8));
            }
            // The canvases sum the advances, so every cell's position is held in range.
            long long at = 0;
            for (std::uint32_t k = 0; k < n; ++k) {
                const long long advance =
                    std::clamp<long long>(r.I32(), -kMaxCoordinate - at, kMaxCoordinate - at);
                at += advance;
                x.advances.push_back(static_cast<int>(advance));
            }
            break;
        }
        case RecordKind::Image: {
            x.rect = r.Rect();
            const int w = r.I32(), h = r.I32();
            if (w <= 0 || h <= 0 ||
                static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * 4 > data.size())
                throw EInvalidGraphic("Metafile is not valid: image of " + std::to_string(w) + " x " + std::to_string(h));
            auto image = std::make_shared<TRasterImage>(w, h);
            image->HasAlpha = r.U8() != 0;
            r.Need(image->Pixels.size() * 4);
            for (auto& p : image->Pixels) p = r.U32();
            x.image = std::move(image);
            break;
        }
        case RecordKind::Clip:
            x.clip = checkedEnum<TClipOp>(r, static_cast<int>(TClipOp::Exclude));
            x.rect = r.Rect();
            break;
        }
        rec.d_->records.push_back(std::move(x));
    }
    if (!r.AtEnd()) throw EInvalidGraphic("Metafile is not valid: trailing bytes at offset " + std::to_string(r.Pos() + 4));
    return rec;
}

TRecordingCanvas::TRecordingCanvas(int width, int height, int dpiX, int dpiY)
    : TCanvas(dpiX, dpiY), recording_(width, height, dpiX, dpiY)
{
}
TRecordingCanvas::~TRecordingCanvas() = default;

TRecording TRecordingCanvas::TakeRecording()
{
    TRecording out = std::move(recording_);
    recording_ = TRecording(out.Width(), out.Height(), out.PixelsPerInchX(), out.PixelsPerInchY());
    return out;
}

void TRecordingCanvas::DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points)
{
    TRecording::Record r;
    r.kind = RecordKind::Polyline;
    r.state = recording_.d_->StateIndex(state);
    r.points = points;
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points)
{
    TRecording::Record r;
    r.kind = RecordKind::Polygon;
    r.state = recording_.d_->StateIndex(state);
    r.points = points;
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& bounds, TPoint p3, TPoint p4)
{
    TRecording::Record r;
    r.kind = RecordKind::Shape;
    r.state = recording_.d_->StateIndex(state);
    r.shape = kind;
    r.rect = bounds;
    r.points = {p3, p4};
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::DrawFill(const TCanvasState& state, const TRect& rect)
{
    TRecording::Record r;
    r.kind = RecordKind::Fill;
    r.state = recording_.d_->StateIndex(state);
    r.rect = rect;
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::DrawText(const TCanvasState& state, int x, int y, unsigned options, const TRect* rect,
                                std::u16string_view text, const int* advances)
{
    TRecording::Record r;
    r.kind = RecordKind::Text;
    r.state = recording_.d_->StateIndex(state);
    r.x = x, r.y = y, r.options = options;
    r.hasRect = rect != nullptr;
    if (rect) r.rect = *rect;
    r.text = text;
    r.advances.assign(advances, advances + text.size());
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::DrawRaster(const TRect& rect, std::shared_ptr<const TRasterImage> image)
{
    TRecording::Record r;
    r.kind = RecordKind::Image;
    r.rect = rect;
    r.image = std::move(image);
    recording_.d_->records.push_back(std::move(r));
}

void TRecordingCanvas::Clip(TClipOp op, const TRect& rect)
{
    TRecording::Record r;
    r.kind = RecordKind::Clip;
    r.clip = op;
    r.rect = rect;
    recording_.d_->records.push_back(std::move(r));
}

TMetafile::TMetafile() : recording_(std::make_shared<TRecording>()) {}
TMetafile::TMetafile(TRecording recording) : recording_(std::make_shared<TRecording>(std::move(recording))) {}
TMetafile::TMetafile(const TMetafile& other) = default;
TMetafile::~TMetafile() = default;

std::unique_ptr<TGraphic> TMetafile::Clone() const { return std::make_unique<TMetafile>(*this); }
bool TMetafile::Empty() const { return recording_->Width() <= 0 || recording_->Height() <= 0; }
int TMetafile::Width() const { return recording_->Width(); }
int TMetafile::Height() const { return recording_->Height(); }
void TMetafile::Draw(TCanvas& canvas, const TRect& r) const { recording_->Play(canvas, r); }

TRasterImage TMetafile::ToImage() const
{
    if (Empty()) return {};
    TRasterCanvas canvas(Width(), Height());
    recording_->Play(canvas);
    return canvas.ToImage();
}

void TMetafile::Assign(const TGraphic& source)
{
    if (const auto* m = dynamic_cast<const TMetafile*>(&source)) {
        recording_ = m->recording_;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TMetafile::LoadFromBytes(std::span<const std::uint8_t> data)
{
    recording_ = std::make_shared<TRecording>(TRecording::Deserialize(data));
    Changed();
}

std::vector<std::uint8_t> TMetafile::SaveToBytes() const { return recording_->Serialize(); }
