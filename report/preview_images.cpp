#include "report/preview_images.h"

#include <string>

#include "platform/core/exception.h"
#include "platform/core/stream.h"
#include "report/compression.h"

std::string_view PreviewButtonsPackedData(); // embedded resources/preview_buttons.gz

namespace {

// Copies the tile at (left, top) into work; parts outside the strip take the strip's mask
// colour, so tiles beyond the picture come out blank.
void copyTile(const TBitmap& strip, int left, int top, TBitmap& work, std::uint32_t blank) {
    for (int y = 0; y < work.Height(); ++y) {
        std::uint32_t* row = work.ScanLine(y);
        const int sy = top + y;
        const std::uint32_t* src = sy < strip.Height() ? strip.ScanLine(sy) : nullptr;
        for (int x = 0; x < work.Width(); ++x) {
            const int sx = left + x;
            row[x] = src && sx < strip.Width() ? src[sx] : blank;
        }
    }
}

} // namespace

void FillImageList(const TBitmap& strip, int tileWidth, int tileHeight, TImageList* secondList,
                   TImageList& mainList) {
    if (tileWidth < 1 || tileHeight < 1) throw EInvalidOperation("Invalid image size");
    TBitmap work(tileWidth, tileHeight, pf24bit);
    const TColor mask = strip.Empty() ? clFuchsia : strip.TransparentColor();
    const std::uint32_t blank =
        0xFF000000u | (std::uint32_t(mask & 0xFF) << 16) | (mask & 0xFF00) | ((mask >> 16) & 0xFF);
    auto walk = [&] {
        int x = 0;
        int y = 0;
        while (y <= strip.Height()) {
            copyTile(strip, x, y, work, blank);
            mainList.AddMasked(work, work.TransparentColor());
            if (secondList) {
                x += tileWidth;
                copyTile(strip, x, y, work, blank);
                secondList->AddMasked(work, work.TransparentColor());
            }
            x += tileWidth;
            if (x >= strip.Width()) {
                x = 0;
                y += tileHeight;
            }
        }
    };
    // One change notice per list for the whole strip.
    auto endUpdates = [&] {
        mainList.EndUpdate();
        if (secondList) secondList->EndUpdate();
    };
    mainList.BeginUpdate();
    if (secondList) secondList->BeginUpdate();
    try {
        walk();
    } catch (...) {
        endUpdates();
        throw;
    }
    endUpdates();
}

std::string_view PreviewButtonsPacked() {
    return PreviewButtonsPackedData();
}

TBitmap UnpackBitmapResource(std::string_view packed) {
    TStringStream source{std::string(packed)};
    TMemoryStream unpacked;
    GZipDecompressStream(source, unpacked);
    TBitmap bitmap;
    bitmap.LoadFromBytes(std::span<const std::uint8_t>(unpacked.Memory(),
                                                       static_cast<std::size_t>(unpacked.Size())));
    return bitmap;
}

namespace {

TImageList& previewList() {
    static TImageList list(nullptr); // 16 x 16 by default
    return list;
}

} // namespace

TImageList& GetPreviewButtonImages() {
    TImageList& list = previewList();
    if (list.Count() == 0) {
        const TBitmap strip = UnpackBitmapResource(PreviewButtonsPacked());
        FillImageList(strip, PreviewImageSize, PreviewImageSize, nullptr, list);
    }
    return list;
}

void SetPreviewButtonImages(const TBitmap& strip, bool clear) {
    TImageList& list = previewList();
    if (clear) list.Clear();
    FillImageList(strip, PreviewImageSize, PreviewImageSize, nullptr, list);
}

TImageList& GetObjectImages() {
    static TImageList list(nullptr); // 16 x 16 by default
    return list;
}

void SetObjectImages(const TBitmap& strip, bool clear) {
    TImageList& list = GetObjectImages();
    if (clear) list.Clear();
    FillImageList(strip, PreviewImageSize, PreviewImageSize, nullptr, list);
}
