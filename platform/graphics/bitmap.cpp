#include "platform/graphics/bitmap.h"

#include <QImage>
#include <QPainter>
#include <cstring>
#include <optional>

#include "platform/graphics/color_reduction.h"
#include "platform/graphics/gui_application.h"
#include "platform/graphics/raster_canvas.h"

namespace {

constexpr long long kMaxPixels = 1LL << 28;  // 16384 x 16384

// The sole reader of BMP bytes: every read is checked against what remains.
class BmpReader {
public:
    explicit BmpReader(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint32_t U32(std::size_t at) const { need(at, 4); return data_[at] | data_[at + 1] << 8 | data_[at + 2] << 16 | static_cast<std::uint32_t>(data_[at + 3]) << 24; }
    std::int32_t S32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    std::uint16_t U16(std::size_t at) const { need(at, 2); return static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8); }
    std::uint8_t U8(std::size_t at) const { need(at, 1); return data_[at]; }
    void need(std::size_t at, std::size_t n) const
    {
        if (at > data_.size() || n > data_.size() - at)
            throw EInvalidGraphic("Bitmap image is not valid: truncated at offset " + std::to_string(at));
    }
    const std::uint8_t* At(std::size_t at, std::size_t n) const { need(at, n); return data_.data() + at; }

private:
    std::span<const std::uint8_t> data_;
};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t argbOf(TColor c)
{
    c = ColorToRGB(c);
    return 0xFF000000u | static_cast<std::uint32_t>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

int maskShift(std::uint32_t mask)
{
    int s = 0;
    while (mask && !(mask & 1)) { mask >>= 1; ++s; }
    return s;
}
std::uint8_t maskValue(std::uint32_t v, std::uint32_t mask)
{
    if (!mask) return 0;
    const int shift = maskShift(mask);
    const std::uint32_t max = mask >> shift;
    return static_cast<std::uint8_t>(((v & mask) >> shift) * 255 / max);
}

// A channel cut to `bits` and spread back over 0..255, so that cutting it again gives the
// same bits (c >> (8 - bits) of the result is the cut value).
std::uint32_t cutChannel(std::uint32_t c, int bits)
{
    const std::uint32_t top = (1u << bits) - 1;
    return (c >> (8 - bits)) * 255 / top;
}

// The bits per pixel a format is saved with (pfDevice is held as pf24bit).
int depthOf(TPixelFormat format)
{
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
    }
}

std::uint32_t strideOf(int depth, int width) { return ((static_cast<std::uint32_t>(depth) * static_cast<std::uint32_t>(width) + 31) / 32) * 4; }

// One row in the saved form: palette indices packed high bits first, 16-bit as 5-5-5 (or
// 5-6-5), 24-bit as blue, green, red, 32-bit as held. dst holds a whole padded row of zeros.
void encodeRow(const std::uint32_t* src, const std::uint8_t* indices, int width, int depth, bool green6, std::uint8_t* dst)
{
    for (int x = 0; x < width; ++x) {
        const std::uint32_t v = src[x];
        switch (depth) {
        case 1:
            if (indices[x]) dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            break;
        case 4: dst[x / 2] |= static_cast<std::uint8_t>((indices[x] & 0x0F) << (x % 2 ? 0 : 4)); break;
        case 8: dst[x] = indices[x]; break;
        case 16: {
            const std::uint32_t r = (v >> 19) & 0x1F, b = (v >> 3) & 0x1F;
            const std::uint32_t p = green6 ? r << 11 | ((v >> 10) & 0x3F) << 5 | b : r << 10 | ((v >> 11) & 0x1F) << 5 | b;
            dst[x * 2] = static_cast<std::uint8_t>(p);
            dst[x * 2 + 1] = static_cast<std::uint8_t>(p >> 8);
            break;
        }
        case 24:
            dst[x * 3] = v & 0xFF;
            dst[x * 3 + 1] = (v >> 8) & 0xFF;
            dst[x * 3 + 2] = (v >> 16) & 0xFF;
            break;
        default: std::memcpy(&dst[x * 4], &v, 4); break;
        }
    }
}

}  // namespace

struct TBitmap::Impl {
    QImage image;
    TPixelFormat format = pf24bit;
    std::array<TColor, 2> palette{clBlack, clWhite};
    // The palette of pf4bit and pf8bit (0x00RRGGBB). None while the bitmap has not had pixels to
    // choose it from: a bitmap made 8-bit before anything is drawn on it (as a picture is
    // converted) then keeps the colours drawn, not a palette guessed in advance.
    std::optional<std::vector<std::uint32_t>> colors;
    std::optional<TColor> transparentColor;
    std::unique_ptr<TRasterCanvas> canvas;

    std::span<const std::uint32_t> Pixels() const
    {
        if (image.isNull()) return {};
        return {reinterpret_cast<const std::uint32_t*>(image.constBits()), static_cast<std::size_t>(image.width()) * image.height()};
    }
    std::size_t MaxColors() const { return format == pf4bit ? 16 : 256; }
    // The palette as 0x00RRGGBB, for the formats that have one.
    std::vector<std::uint32_t> Colors() const
    {
        if (format == pf1bit) return {argbOf(palette[0]) & 0xFFFFFF, argbOf(palette[1]) & 0xFFFFFF};
        if (format != pf4bit && format != pf8bit) return {};
        return colors ? *colors : ChoosePalette(Pixels(), MaxColors());
    }
    std::vector<std::uint8_t> Indices(const std::vector<std::uint32_t>& table) const
    {
        const auto pixels = Pixels();
        std::vector<std::uint8_t> out(pixels.size());
        if (format == pf1bit) {
            for (std::size_t i = 0; i < pixels.size(); ++i) out[i] = static_cast<std::uint8_t>(NearestIndex(pixels[i]));
        } else {
            TNearestColor nearest(table);
            for (std::size_t i = 0; i < pixels.size(); ++i) out[i] = nearest.IndexOf(pixels[i]);
        }
        return out;
    }
    // The colour a pixel takes in this format.
    std::uint32_t Representable(std::uint32_t argb) const
    {
        switch (format) {
        case pf1bit: return argbOf(palette[NearestIndex(argb)]);
        case pf4bit:
        case pf8bit:
            if (!colors || colors->empty()) return argb;
            return 0xFF000000u | (*colors)[TNearestColor(*colors).IndexOf(argb)];
        case pf15bit:
        case pf16bit:
            return (argb & 0xFF000000u) | cutChannel((argb >> 16) & 0xFF, 5) << 16 |
                   cutChannel((argb >> 8) & 0xFF, format == pf16bit ? 6 : 5) << 8 | cutChannel(argb & 0xFF, 5);
        default: return argb;
        }
    }
    // Makes every pixel representable in the format just set.
    void MapPixels()
    {
        if (image.isNull()) return;
        if (format == pf1bit) return MapToPalette();
        if (format == pf4bit || format == pf8bit) {
            colors = ChoosePalette(Pixels(), MaxColors());
            TNearestColor nearest(*colors);
            for (int y = 0; y < image.height(); ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) row[x] = 0xFF000000u | (*colors)[nearest.IndexOf(row[x])];
            }
        } else if (format == pf15bit || format == pf16bit) {
            for (int y = 0; y < image.height(); ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) row[x] = Representable(row[x]);
            }
        }
    }

    void Rebind()
    {
        if (canvas) canvas->Rebind(&image);
    }
    int NearestIndex(std::uint32_t argb) const
    {
        auto dist = [](std::uint32_t a, TColor c) {
            c = ColorToRGB(c);
            const int dr = static_cast<int>((a >> 16) & 0xFF) - GetRValue(c);
            const int dg = static_cast<int>((a >> 8) & 0xFF) - GetGValue(c);
            const int db = static_cast<int>(a & 0xFF) - GetBValue(c);
            return dr * dr + dg * dg + db * db;
        };
        return dist(argb, palette[1]) < dist(argb, palette[0]) ? 1 : 0;
    }
    void MapToPalette()
    {
        const std::uint32_t colors[2] = {argbOf(palette[0]), argbOf(palette[1])};
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) row[x] = colors[NearestIndex(row[x])];
        }
    }
};

TBitmap::TBitmap() : d_(std::make_unique<Impl>()) { EnsureGuiApplication(); }

TBitmap::TBitmap(int width, int height, TPixelFormat format) : TBitmap()
{
    SetPixelFormat(format);
    SetSize(width, height);
}

TBitmap::TBitmap(const TBitmap& other) : TGraphic(other), d_(std::make_unique<Impl>())
{
    d_->image = other.d_->image; // shared until either side writes
    d_->format = other.d_->format;
    d_->palette = other.d_->palette;
    d_->colors = other.d_->colors;
    d_->transparentColor = other.d_->transparentColor;
}

TBitmap& TBitmap::operator=(const TBitmap& other)
{
    if (this != &other) Assign(other);
    return *this;
}

TBitmap::~TBitmap() = default;

std::unique_ptr<TGraphic> TBitmap::Clone() const { return std::make_unique<TBitmap>(*this); }
bool TBitmap::Empty() const { return d_->image.isNull() || d_->image.width() == 0 || d_->image.height() == 0; }
int TBitmap::Width() const { return d_->image.width(); }
int TBitmap::Height() const { return d_->image.height(); }

void TBitmap::SetSize(int width, int height)
{
    width = std::max(0, width);
    height = std::max(0, height);
    if (static_cast<long long>(width) * height > kMaxPixels)
        throw EInvalidGraphicOperation("bitmap of " + std::to_string(width) + " x " + std::to_string(height) + " is too large");
    if (width == Width() && height == Height()) return;
    QImage next;
    if (width > 0 && height > 0) {
        next = QImage(width, height, d_->format == pf32bit ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        // New area takes the canvas brush colour, so callers choose what a grown bitmap shows.
        const std::uint32_t fill = d_->canvas ? argbOf(d_->canvas->Brush().Color()) : 0xFFFFFFFFu;
        next.fill(d_->Representable(fill));
        const int w = std::min(width, Width()), h = std::min(height, Height());
        for (int y = 0; y < h; ++y) std::memcpy(next.scanLine(y), d_->image.constScanLine(y), static_cast<std::size_t>(w) * 4);
    }
    if (d_->canvas) d_->canvas->Rebind(nullptr);
    d_->image = std::move(next);
    d_->Rebind();
    Changed();
}

TPixelFormat TBitmap::PixelFormat() const { return d_->format; }

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == pfDevice) format = pf24bit;
    if (format == d_->format) return;
    if (d_->canvas) d_->canvas->Rebind(nullptr);
    d_->format = format;
    d_->colors.reset();
    if (!d_->image.isNull()) {
        d_->image = d_->image.convertToFormat(format == pf32bit ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        d_->MapPixels();
    }
    d_->Rebind();
    Changed();
}

std::array<TColor, 2> TBitmap::MonochromePalette() const { return d_->palette; }

void TBitmap::SetMonochromePalette(std::array<TColor, 2> palette)
{
    d_->palette = palette;
    if (d_->format == pf1bit) d_->MapToPalette();
    Changed();
}

std::vector<TColor> TBitmap::Palette() const
{
    std::vector<TColor> out;
    for (std::uint32_t c : d_->Colors()) out.push_back(RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    return out;
}

std::vector<std::uint8_t> TBitmap::PixelIndices() const
{
    if (d_->format != pf1bit && d_->format != pf4bit && d_->format != pf8bit) return {};
    return d_->Indices(d_->Colors());
}

std::vector<std::uint8_t> TBitmap::DeviceIndependentBits() const
{
    if (Empty()) return {};
    const int width = Width(), height = Height();
    const int depth = depthOf(d_->format);
    const std::uint32_t stride = strideOf(depth, width);
    const std::uint32_t tableSize = depth <= 8 ? 4u << depth : 0;
    std::vector<std::uint8_t> out;
    out.reserve(40 + tableSize + stride * static_cast<std::size_t>(height));
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(depth));
    put32(out, 0);
    put32(out, stride * static_cast<std::uint32_t>(height));
    put32(out, 3780);
    put32(out, 3780);
    put32(out, 0);  // the colour table is always full
    put32(out, 0);
    std::vector<std::uint32_t> colors;
    std::vector<std::uint8_t> indices;
    if (depth <= 8) {
        colors = d_->Colors();
        indices = d_->Indices(colors);
        for (std::uint32_t i = 0; i < (1u << depth); ++i) put32(out, i < colors.size() ? colors[i] : 0);
    }
    std::vector<std::uint8_t> row(stride);
    for (int y = height - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        encodeRow(ScanLine(y), indices.empty() ? nullptr : &indices[static_cast<std::size_t>(y) * width], width, depth, false, row.data());
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

TColor TBitmap::TransparentColor() const
{
    if (d_->transparentColor) return *d_->transparentColor;
    if (Empty()) return clDefault;
    const QRgb v = d_->image.pixel(0, Height() - 1);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

void TBitmap::SetTransparentColor(TColor color)
{
    d_->transparentColor = color;
    Changed();
}

TCanvas& TBitmap::Canvas()
{
    if (!d_->canvas) d_->canvas = std::make_unique<TRasterCanvas>(&d_->image, 96);
    return *d_->canvas;
}

std::uint32_t* TBitmap::ScanLine(int y)
{
    if (y < 0 || y >= Height()) throw ERangeError("Scan line index out of range");
    return reinterpret_cast<std::uint32_t*>(d_->image.scanLine(y));
}

const std::uint32_t* TBitmap::ScanLine(int y) const
{
    if (y < 0 || y >= Height()) throw ERangeError("Scan line index out of range");
    return reinterpret_cast<const std::uint32_t*>(d_->image.constScanLine(y));
}

TRasterImage TBitmap::ToImage() const
{
    TRasterImage out(Width(), Height());
    for (int y = 0; y < out.Height; ++y)
        std::memcpy(&out.Pixels[static_cast<std::size_t>(y) * out.Width], d_->image.constScanLine(y),
                    static_cast<std::size_t>(out.Width) * 4);
    if (d_->format != pf32bit)
        for (auto& p : out.Pixels) p |= 0xFF000000u;
    return out;
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) const
{
    if (Empty()) return;
    auto image = std::make_shared<TRasterImage>(ToImage());
    image->HasAlpha = false;
    if (Transparent()) {
        const std::uint32_t key = argbOf(TransparentColor()) & 0xFFFFFF;
        for (auto& p : image->Pixels) p = (p & 0xFFFFFF) == key ? 0 : (p | 0xFF000000u);
        image->HasAlpha = true;
    }
    canvas.DrawImage(r, std::move(image));
}

void TBitmap::AssignImage(const TRasterImage& image)
{
    if (d_->canvas) d_->canvas->Rebind(nullptr);
    d_->format = image.HasAlpha ? pf32bit : pf24bit;
    d_->colors.reset();
    QImage next(image.Width, image.Height, image.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < image.Height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(next.scanLine(y));
        const std::uint32_t* source = image.Pixels.data() + static_cast<std::size_t>(y) * image.Width;
        if (image.HasAlpha)
            std::memcpy(row, source, static_cast<std::size_t>(image.Width) * 4);
        else
            for (int x = 0; x < image.Width; ++x) row[x] = source[x] | 0xFF000000u;
    }
    d_->image = std::move(next);
    d_->Rebind();
    Changed();
}

void TBitmap::Assign(const TGraphic& source)
{
    if (&source == this) return;
    if (const auto* bmp = dynamic_cast<const TBitmap*>(&source)) {
        if (d_->canvas) d_->canvas->Rebind(nullptr);
        d_->image = bmp->d_->image; // shared until either side writes
        d_->format = bmp->d_->format;
        d_->palette = bmp->d_->palette;
        d_->colors = bmp->d_->colors;
        d_->transparentColor = bmp->d_->transparentColor;
        SetTransparent(bmp->Transparent());
        d_->Rebind();
        Changed();
        return;
    }
    // Any other graphic converts through its pixels.
    AssignImage(source.ToImage());
}

void TBitmap::LoadFromBytes(std::span<const std::uint8_t> data)
{
    BmpReader in(data);
    if (data.size() < 2 || data[0] != 'B' || data[1] != 'M') throw EInvalidGraphic("Bitmap image is not valid");
    const std::uint32_t bitsOffset = in.U32(10);
    const std::uint32_t headerSize = in.U32(14);
    int width, height, bpp;
    std::uint32_t compression = 0, colorsUsed = 0;
    int paletteEntrySize = 4;
    if (headerSize == 12) {
        width = in.U16(18);
        height = static_cast<std::int16_t>(in.U16(20));
        bpp = in.U16(24);
        paletteEntrySize = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 || headerSize == 108 ||
               headerSize == 124) {
        width = in.S32(18);
        height = in.S32(22);
        bpp = in.U16(28);
        compression = in.U32(30);
        colorsUsed = in.U32(46);
    } else {
        throw EInvalidGraphic("Bitmap image is not valid: unknown header size " + std::to_string(headerSize));
    }
    const bool topDown = height < 0;
    if (height == INT32_MIN) throw EInvalidGraphic("Bitmap image is not valid");
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxPixels)
        throw EInvalidGraphic("Bitmap image is not valid: size " + std::to_string(width) + " x " + std::to_string(height));
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw EInvalidGraphic("Bitmap image is not valid: " + std::to_string(bpp) + " bits per pixel");
    if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32)))
        throw EInvalidGraphic("Bitmap image is not valid: compression " + std::to_string(compression) + " is not supported");

    std::uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    if (bpp == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (compression == 3) {
        // Masks follow a 40-byte header, or sit inside a longer one at the same place.
        for (int i = 0; i < 3; ++i) masks[i] = in.U32(14 + 40 + 4 * i);
        if (headerSize >= 56) masks[3] = in.U32(14 + 52);
    }

    std::vector<std::uint32_t> palette;
    if (bpp <= 8) {
        std::uint32_t count = colorsUsed ? colorsUsed : (1u << bpp);
        if (count > (1u << bpp)) throw EInvalidGraphic("Bitmap image is not valid: palette of " + std::to_string(count) + " colours");
        const std::size_t at = 14 + headerSize;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* e = in.At(at + i * paletteEntrySize, 3);
            palette.push_back(0xFF000000u | e[2] << 16 | e[1] << 8 | e[0]);
        }
    }

    const std::size_t stride = ((static_cast<std::size_t>(bpp) * width + 31) / 32) * 4;
    in.need(bitsOffset, stride * height);

    QImage image(width, height, bpp == 32 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* src = in.At(bitsOffset + stride * (topDown ? row : height - 1 - row), stride);
        auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(row));
        for (int x = 0; x < width; ++x) {
            std::uint32_t v = 0;
            switch (bpp) {
            case 1:
            case 4:
            case 8: {
                const int bit = x * bpp;
                const int index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
                if (static_cast<std::size_t>(index) >= palette.size())
                    throw EInvalidGraphic("Bitmap image is not valid: colour index out of the palette");
                v = palette[index];
                break;
            }
            case 16: {
                const std::uint32_t p = src[x * 2] | src[x * 2 + 1] << 8;
                v = 0xFF000000u | maskValue(p, masks[0]) << 16 | maskValue(p, masks[1]) << 8 | maskValue(p, masks[2]);
                break;
            }
            case 24: v = 0xFF000000u | src[x * 3 + 2] << 16 | src[x * 3 + 1] << 8 | src[x * 3]; break;
            case 32: {
                const std::uint32_t p = src[x * 4] | src[x * 4 + 1] << 8 | src[x * 4 + 2] << 16 |
                                        static_cast<std::uint32_t>(src[x * 4 + 3]) << 24;
                if (compression == 3)
                    v = static_cast<std::uint32_t>(masks[3] ? maskValue(p, masks[3]) : 0) << 24 |
                        maskValue(p, masks[0]) << 16 | maskValue(p, masks[1]) << 8 | maskValue(p, masks[2]);
                else
                    v = p;
                break;
            }
            }
            dst[x] = v;
        }
    }

    if (d_->canvas) d_->canvas->Rebind(nullptr);
    d_->image = std::move(image);
    switch (bpp) {
    case 1: d_->format = pf1bit; break;
    case 4: d_->format = pf4bit; break;
    case 8: d_->format = pf8bit; break;
    case 16: d_->format = masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F ? pf15bit : pf16bit; break;
    case 32: d_->format = pf32bit; break;
    default: d_->format = pf24bit; break;
    }
    d_->colors.reset();
    if (bpp == 4 || bpp == 8) {
        d_->colors.emplace();
        for (std::uint32_t v : palette) d_->colors->push_back(v & 0xFFFFFF);
    }
    if (bpp == 1) {
        const auto toColor = [](std::uint32_t v) { return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); };
        d_->palette = {toColor(palette.at(0)), palette.size() > 1 ? toColor(palette[1]) : clWhite};
    }
    d_->Rebind();
    Changed();
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() const
{
    const int width = Width(), height = Height();
    const int bpp = depthOf(d_->format);
    const bool bitfields = d_->format == pf16bit;  // 5-6-5 needs its masks spelled out
    const std::uint32_t stride = strideOf(bpp, width);
    std::vector<std::uint32_t> colors;
    std::vector<std::uint8_t> indices;
    if (bpp <= 8) {
        colors = d_->Colors();
        indices = d_->Indices(colors);
        if (colors.empty()) colors.push_back(0);  // a count of 0 would mean a full table
    }
    const std::uint32_t paletteSize = static_cast<std::uint32_t>(colors.size()) * 4 + (bitfields ? 12 : 0);
    const std::uint32_t bitsOffset = 14 + 40 + paletteSize;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> out;
    out.reserve(bitsOffset + imageSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, bitsOffset + imageSize);
    put32(out, 0);
    put32(out, bitsOffset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bpp));
    put32(out, bitfields ? 3 : 0);
    put32(out, imageSize);
    put32(out, 3780);  // 96 dots per inch
    put32(out, 3780);
    put32(out, static_cast<std::uint32_t>(colors.size()));
    put32(out, 0);
    for (std::uint32_t c : colors) put32(out, c);
    if (bitfields)
        for (std::uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu}) put32(out, mask);
    std::vector<std::uint8_t> row(stride);
    for (int y = height - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        encodeRow(ScanLine(y), indices.empty() ? nullptr : &indices[static_cast<std::size_t>(y) * width], width, bpp, bitfields, row.data());
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}
