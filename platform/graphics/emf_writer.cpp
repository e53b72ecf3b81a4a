#include "platform/graphics/emf_writer.h"

#include <cmath>
#include <limits>
#include <string>

#include "platform/core/numbers.h"
#include "platform/graphics/graphic.h"
#include "platform/graphics/raster_image.h"

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::uint32_t kEmrStretchDibits = 81;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
// The header with the pixel-format and micrometre fields of later versions.
constexpr std::uint32_t kHeaderSize = 108;
constexpr std::uint32_t kStretchDibitsSize = 80;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kEofSize = 20;
// The reference device is ten inches square: 254 mm over 10 × dpi pixels gives readers the
// resolution exactly.
constexpr int kDeviceInches = 10;

class Writer {
public:
    explicit Writer(std::size_t size) { out_.reserve(size); }
    void u16(std::uint32_t v) {
        out_.push_back(static_cast<std::uint8_t>(v));
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void s32(std::int64_t v) { u32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v))); }
    void rect(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b) {
        s32(l);
        s32(t);
        s32(r);
        s32(b);
    }
    std::vector<std::uint8_t>& bytes() { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

[[noreturn]] void refuse(const std::string& why) {
    throw EInvalidGraphicOperation("Cannot write the picture as a metafile: " + why);
}

// One channel of a pixel composed over white.
std::uint8_t overWhite(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

} // namespace

std::vector<std::uint8_t> EmfFromImage(const TRasterImage& image, int widthPx, int heightPx,
                                       int dpi) {
    if (image.IsEmpty() ||
        image.Pixels.size() < static_cast<std::size_t>(image.Width) * image.Height)
        refuse("the image is empty");
    if (widthPx <= 0 || heightPx <= 0 || dpi <= 0)
        refuse("size " + std::to_string(widthPx) + " x " + std::to_string(heightPx) + " at " +
               std::to_string(dpi) + " dpi");
    const std::uint64_t stride = (static_cast<std::uint64_t>(image.Width) * 3 + 3) / 4 * 4;
    const std::uint64_t bits = stride * static_cast<std::uint64_t>(image.Height);
    const std::uint64_t recordSize = kStretchDibitsSize + kInfoHeaderSize + bits;
    const std::uint64_t total = kHeaderSize + recordSize + kEofSize;
    // Sizes and frame coordinates are 32-bit fields.
    const double frameRight = std::round(widthPx * 2540.0 / dpi);
    const double frameBottom = std::round(heightPx * 2540.0 / dpi);
    if (total > std::numeric_limits<std::uint32_t>::max() ||
        frameRight > std::numeric_limits<std::int32_t>::max() ||
        frameBottom > std::numeric_limits<std::int32_t>::max() ||
        dpi > std::numeric_limits<std::int32_t>::max() / kDeviceInches)
        refuse("the picture is too large");

    Writer w(static_cast<std::size_t>(total));
    w.u32(kEmrHeader);
    w.u32(kHeaderSize);
    w.rect(0, 0, widthPx - 1, heightPx - 1); // bounds: inclusive device pixels
    w.rect(0, 0, static_cast<std::int64_t>(frameRight), static_cast<std::int64_t>(frameBottom));
    w.u32(kEmfSignature);
    w.u32(0x10000); // version
    w.u32(static_cast<std::uint32_t>(total));
    w.u32(3); // records
    w.u16(1); // handles: the reserved one
    w.u16(0);
    w.u32(0); // no description
    w.u32(0);
    w.u32(0);                                              // no palette
    w.s32(static_cast<std::int64_t>(dpi) * kDeviceInches); // device in pixels
    w.s32(static_cast<std::int64_t>(dpi) * kDeviceInches);
    w.s32(254 * kDeviceInches / 10); // and in millimetres
    w.s32(254 * kDeviceInches / 10);
    w.u32(0); // no pixel format
    w.u32(0);
    w.u32(0);                           // not OpenGL
    w.s32(254000 * kDeviceInches / 10); // device in micrometres
    w.s32(254000 * kDeviceInches / 10);

    w.u32(kEmrStretchDibits);
    w.u32(static_cast<std::uint32_t>(recordSize));
    w.rect(0, 0, widthPx - 1, heightPx - 1);
    w.s32(0); // destination origin
    w.s32(0);
    w.s32(0); // source origin
    w.s32(0);
    w.s32(image.Width);
    w.s32(image.Height);
    w.u32(kStretchDibitsSize); // the DIB header follows the record's fields
    w.u32(kInfoHeaderSize);
    w.u32(kStretchDibitsSize + kInfoHeaderSize);
    w.u32(static_cast<std::uint32_t>(bits));
    w.u32(0); // RGB colours
    w.u32(kSrcCopy);
    w.s32(widthPx);
    w.s32(heightPx);

    const auto perMetre = static_cast<std::uint32_t>(
        Round(dpi / 0.0254 * image.Width / static_cast<double>(widthPx)));
    w.u32(kInfoHeaderSize);
    w.s32(image.Width);
    w.s32(image.Height); // bottom-up rows
    w.u16(1);
    w.u16(24);
    w.u32(0); // uncompressed
    w.u32(static_cast<std::uint32_t>(bits));
    w.u32(perMetre);
    w.u32(perMetre);
    w.u32(0); // no colour table
    w.u32(0);
    std::vector<std::uint8_t>& out = w.bytes();
    const std::size_t padding = static_cast<std::size_t>(stride) - image.Width * 3u;
    for (int y = image.Height - 1; y >= 0; --y) {
        for (int x = 0; x < image.Width; ++x) {
            const std::uint32_t p = image.At(x, y);
            const std::uint32_t alpha = image.HasAlpha ? p >> 24 : 255;
            out.push_back(overWhite(p & 0xFF, alpha));
            out.push_back(overWhite((p >> 8) & 0xFF, alpha));
            out.push_back(overWhite((p >> 16) & 0xFF, alpha));
        }
        out.insert(out.end(), padding, 0);
    }

    w.u32(kEmrEof);
    w.u32(kEofSize);
    w.u32(0);  // no palette
    w.u32(16); // where it would be
    w.u32(kEofSize);
    return std::move(out);
}
