#include "platform/graphics/icon.h"

#include <cstring>
#include <string>

#include "platform/graphics/canvas.h"

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Every read of the icon bytes is checked against what remains.
class IconReader {
public:
    explicit IconReader(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint8_t U8(std::size_t at) const { return *At(at, 1); }
    std::uint16_t U16(std::size_t at) const {
        const std::uint8_t* p = At(at, 2);
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    }
    std::uint32_t U32(std::size_t at) const {
        const std::uint8_t* p = At(at, 4);
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
    std::int32_t S32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    bool Has(std::size_t at, std::size_t n) const {
        return at <= data_.size() && n <= data_.size() - at;
    }
    const std::uint8_t* At(std::size_t at, std::size_t n) const {
        if (!Has(at, n))
            throw EInvalidGraphic("Icon image is not valid: truncated at offset " +
                                  std::to_string(at));
        return data_.data() + at;
    }
    std::span<const std::uint8_t> Span(std::size_t at, std::size_t n) const {
        return {At(at, n), n};
    }

private:
    std::span<const std::uint8_t> data_;
};

struct Entry {
    int width, height, bitCount;
    std::uint32_t size, offset;
};

TRasterImage decodePng(std::span<const std::uint8_t> data) {
    std::unique_ptr<TGraphic> png = CreateGraphicForContent(data);
    if (!png || std::strcmp(png->ClassName(), "TIcon") == 0)
        throw EInvalidGraphic("Icon image is not valid: no graphic class reads its PNG image");
    png->LoadFromBytes(data);
    TRasterImage image = png->ToImage();
    image.HasAlpha = true;
    return image;
}

// A device-independent bitmap whose height counts the colour rows and the mask rows.
TRasterImage decodeDib(const IconReader& in) {
    const std::uint32_t headerSize = in.U32(0);
    if (headerSize < 40) throw EInvalidGraphic("Icon image is not valid: unknown header size");
    const std::int32_t width = in.S32(4);
    const std::int32_t height = in.S32(8) / 2;
    const int bpp = in.U16(14);
    const std::uint32_t compression = in.U32(16);
    const std::uint32_t colorsUsed = in.U32(32);
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
        throw EInvalidGraphic("Icon image is not valid: size " + std::to_string(width) + " x " +
                              std::to_string(height));
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        throw EInvalidGraphic("Icon image is not valid: " + std::to_string(bpp) +
                              " bits per pixel");
    if (compression != 0) throw EInvalidGraphic("Icon image is not valid: compressed image");

    std::size_t at = headerSize;
    std::vector<std::uint32_t> palette;
    if (bpp <= 8) {
        const std::uint32_t count = colorsUsed ? colorsUsed : 1u << bpp;
        if (count > 1u << bpp) throw EInvalidGraphic("Icon image is not valid: palette too large");
        for (std::uint32_t i = 0; i < count; ++i, at += 4) {
            const std::uint8_t* e = in.At(at, 4);
            palette.push_back(0xFF000000u | e[2] << 16 | e[1] << 8 | e[0]);
        }
    }
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const std::size_t stride = (static_cast<std::size_t>(bpp) * w + 31) / 32 * 4;
    const std::size_t maskStride = (w + 31) / 32 * 4;
    const std::size_t colorAt = at, maskAt = at + stride * h;
    in.At(colorAt, stride * h);
    // Some 32-bit icons leave the mask out: their alpha says it all.
    const bool hasMask = in.Has(maskAt, maskStride * h);
    if (!hasMask && bpp != 32) in.At(maskAt, maskStride * h);

    TRasterImage image(width, height);
    image.HasAlpha = true;
    bool anyAlpha = false;
    for (std::size_t row = 0; row < h; ++row) {
        const std::uint8_t* src = in.At(colorAt + stride * (h - 1 - row), stride);
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t v;
            if (bpp <= 8) {
                const std::size_t bit = x * static_cast<std::size_t>(bpp);
                const unsigned index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index >= palette.size())
                    throw EInvalidGraphic(
                        "Icon image is not valid: colour index out of the palette");
                v = palette[index];
            } else if (bpp == 24) {
                v = 0xFF000000u | src[x * 3 + 2] << 16 | src[x * 3 + 1] << 8 | src[x * 3];
            } else {
                v = src[x * 4] | src[x * 4 + 1] << 8 | src[x * 4 + 2] << 16 |
                    static_cast<std::uint32_t>(src[x * 4 + 3]) << 24;
                anyAlpha = anyAlpha || (v >> 24) != 0;
            }
            image.At(static_cast<int>(x), static_cast<int>(row)) = v;
        }
    }
    const bool useMask = bpp != 32 || !anyAlpha;
    if (!useMask) return image;
    for (std::size_t row = 0; row < h; ++row) {
        const std::uint8_t* mask =
            hasMask ? in.At(maskAt + maskStride * (h - 1 - row), maskStride) : nullptr;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t& p = image.At(static_cast<int>(x), static_cast<int>(row));
            const bool transparent = mask && (mask[x / 8] >> (7 - x % 8) & 1) != 0;
            p = transparent ? 0 : (p | 0xFF000000u);
        }
    }
    return image;
}

} // namespace

TIcon::TIcon() = default;
TIcon::TIcon(const TIcon& other) : TGraphic(other), data_(other.data_), image_(other.image_) {}
TIcon::~TIcon() = default;

std::unique_ptr<TGraphic> TIcon::Clone() const {
    return std::make_unique<TIcon>(*this);
}

void TIcon::Draw(TCanvas& canvas, const TRect& r) const {
    if (image_) canvas.DrawImage(r, image_);
}

TRasterImage TIcon::ToImage() const {
    return image_ ? *image_ : TRasterImage();
}

void TIcon::Assign(const TGraphic& source) {
    const auto* icon = dynamic_cast<const TIcon*>(&source);
    if (!icon) return TGraphic::Assign(source);
    if (icon == this) return;
    data_ = icon->data_;
    image_ = icon->image_;
    Changed();
}

bool TIcon::IsIcon(std::span<const std::uint8_t> data) {
    if (data.size() < 6 + 16) return false;
    const int type = data[2] | data[3] << 8, count = data[4] | data[5] << 8;
    return data[0] == 0 && data[1] == 0 && (type == 1 || type == 2) && count > 0;
}

void TIcon::LoadFromBytes(std::span<const std::uint8_t> data) {
    const IconReader in(data);
    if (data.size() < 6 || in.U16(0) != 0 || (in.U16(2) != 1 && in.U16(2) != 2))
        throw EInvalidGraphic("Icon image is not valid");
    const int count = in.U16(4);
    if (count == 0) throw EInvalidGraphic("Icon image is not valid: no images");
    // The largest image, the deepest colours among equals.
    Entry best{};
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * static_cast<std::size_t>(i);
        const Entry e{in.U8(at) ? in.U8(at) : 256, in.U8(at + 1) ? in.U8(at + 1) : 256,
                      in.U16(at + 6), in.U32(at + 8), in.U32(at + 12)};
        const long long area = static_cast<long long>(e.width) * e.height;
        const long long bestArea = static_cast<long long>(best.width) * best.height;
        if (i == 0 || area > bestArea || (area == bestArea && e.bitCount > best.bitCount)) best = e;
    }
    const std::span<const std::uint8_t> bytes = in.Span(best.offset, best.size);
    TRasterImage image = bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0
                             ? decodePng(bytes)
                             : decodeDib(IconReader(bytes));
    data_.assign(data.begin(), data.end());
    image_ = std::make_shared<const TRasterImage>(std::move(image));
    Changed();
}
