#include "platform/graphics/windows_metafile.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/core/numbers.h"
#include "platform/graphics/metafile_player.h"
#include "platform/graphics/metafile_player_p.h"
#include "platform/graphics/raster_canvas.h"

namespace {

using metafile_player::kEmfHeader;
using metafile_player::kEmfSignature;
using metafile_player::kPlaceableHeader;
using metafile_player::kPlaceableKey;
constexpr std::size_t kMetaHeader = metafile_player::kWmfHeader;
// ToImage rasterises the frame: a header may not claim more than this many pixels (the canvas
// and the image handed back take four bytes a pixel each), as for the other metafile reader.
constexpr long long kMaxFramePixels = (1LL << 30) / 8;

std::uint16_t u16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
std::uint32_t u32(std::span<const std::uint8_t> d, std::size_t at) {
    return u16(d, at) | static_cast<std::uint32_t>(u16(d, at + 2)) << 16;
}
std::int32_t s32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::int32_t>(u32(d, at));
}

[[noreturn]] void invalid(const std::string& why) {
    throw EInvalidGraphic("Metafile is not valid: " + why);
}

} // namespace

// Played once, on the first drawing, whichever thread draws first.
struct TWindowsMetafile::Played {
    std::once_flag once;
    std::optional<TRecording> recording;
};

TWindowsMetafile::TWindowsMetafile() : played_(std::make_shared<Played>()) {}
TWindowsMetafile::TWindowsMetafile(const TWindowsMetafile& other)
    : TGraphic(other), data_(other.data_), played_(other.played_), width_(other.width_),
      height_(other.height_), enhanced_(other.enhanced_) {}
TWindowsMetafile::~TWindowsMetafile() = default;

const TRecording* TWindowsMetafile::Recording() const {
    if (Empty()) return nullptr;
    std::call_once(played_->once, [this] { played_->recording = PlayWindowsMetafile(data_); });
    return played_->recording ? &*played_->recording : nullptr;
}

std::unique_ptr<TGraphic> TWindowsMetafile::Clone() const {
    return std::make_unique<TWindowsMetafile>(*this);
}

bool TWindowsMetafile::IsPlaceableWmf(std::span<const std::uint8_t> data) {
    return data.size() >= kPlaceableHeader && u32(data, 0) == kPlaceableKey;
}

bool TWindowsMetafile::IsEmf(std::span<const std::uint8_t> data) {
    return data.size() >= kEmfHeader && u32(data, 0) == 1 && u32(data, 40) == kEmfSignature;
}

void TWindowsMetafile::LoadFromBytes(std::span<const std::uint8_t> data) {
    std::size_t length;
    int width, height;
    bool enhanced;
    if (IsPlaceableWmf(data)) {
        std::uint16_t checksum = 0;
        for (std::size_t at = 0; at < 20; at += 2)
            checksum ^= u16(data, at);
        if (checksum != u16(data, 20)) invalid("header checksum mismatch");
        const int inch = u16(data, 14);
        if (inch == 0) invalid("no units per inch");
        if (data.size() < kPlaceableHeader + kMetaHeader) invalid("truncated header");
        const std::uint16_t type = u16(data, 22), headerWords = u16(data, 24);
        if ((type != 1 && type != 2) || headerWords != 9) invalid("unknown metafile header");
        length = kPlaceableHeader + std::size_t{u32(data, 28)} * 2;
        if (length < kPlaceableHeader + kMetaHeader) invalid("size smaller than its header");
        const auto box = [&](std::size_t at) { return static_cast<std::int16_t>(u16(data, at)); };
        width = MulDiv(std::abs(box(10) - box(6)), 96, inch);
        height = MulDiv(std::abs(box(12) - box(8)), 96, inch);
        enhanced = false;
    } else if (IsEmf(data)) {
        const std::uint32_t headerSize = u32(data, 4), bytes = u32(data, 48);
        if (headerSize < kEmfHeader || bytes < headerSize) invalid("inconsistent sizes");
        length = bytes;
        // The frame is in hundredths of a millimetre.
        const long long frameW = std::llabs(static_cast<long long>(s32(data, 32)) - s32(data, 24));
        const long long frameH = std::llabs(static_cast<long long>(s32(data, 36)) - s32(data, 28));
        if (frameW > 0x7FFFFFFF / 96 || frameH > 0x7FFFFFFF / 96) invalid("frame too large");
        width = MulDiv(static_cast<int>(frameW), 96, 2540);
        height = MulDiv(static_cast<int>(frameH), 96, 2540);
        enhanced = true;
    } else {
        invalid("unknown signature");
    }
    if (static_cast<long long>(width) * height > kMaxFramePixels)
        invalid("frame of " + std::to_string(width) + " x " + std::to_string(height) +
                " is too large");
    if (length > data.size())
        invalid("truncated: " + std::to_string(length) + " bytes declared, " +
                std::to_string(data.size()) + " present");
    data_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    played_ = std::make_shared<Played>();
    width_ = width;
    height_ = height;
    enhanced_ = enhanced;
    Changed();
}

void TWindowsMetafile::Draw(TCanvas& canvas, const TRect& r) const {
    if (Empty() || r.IsEmpty()) return;
    if (const TRecording* recording = Recording()) {
        recording->Play(canvas, r);
        return;
    }
    const TPenData pen = canvas.Pen().Data();
    const TBrushData brush = canvas.Brush().Data();
    const TBackgroundMode mode = canvas.BackgroundMode();
    TPenData grey;
    grey.Color = clGray;
    canvas.Pen().SetData(grey);
    canvas.Brush().SetStyle(bsClear);
    canvas.Rectangle(r);
    canvas.MoveTo(r.Left, r.Top);
    canvas.LineTo(r.Right - 1, r.Bottom - 1);
    canvas.MoveTo(r.Right - 1, r.Top);
    canvas.LineTo(r.Left, r.Bottom - 1);
    canvas.Pen().SetData(pen);
    canvas.Brush().SetData(brush);
    canvas.SetBackgroundMode(mode);
}

TRasterImage TWindowsMetafile::ToImage() const {
    if (Empty() || width_ <= 0 || height_ <= 0) return {};
    TRasterCanvas canvas(width_, height_);
    Draw(canvas, {0, 0, width_, height_});
    return canvas.ToImage();
}

void TWindowsMetafile::Assign(const TGraphic& source) {
    const auto* meta = dynamic_cast<const TWindowsMetafile*>(&source);
    if (!meta) return TGraphic::Assign(source);
    if (meta == this) return;
    data_ = meta->data_;
    played_ = meta->played_;
    width_ = meta->width_;
    height_ = meta->height_;
    enhanced_ = meta->enhanced_;
    Changed();
}
