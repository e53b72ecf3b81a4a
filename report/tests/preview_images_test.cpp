// The preview's button images: the packed strip built into the program, the cutting of strips
// into tiles (including the row below the picture), masked drawing and damaged resources.

#include "report/preview_images.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/graphics/raster_canvas.h"
#include "report/compression.h"

namespace {

constexpr std::uint32_t maskPixel = 0xFFFF00FFu;

bool isBlank(const TRasterImage& tile) {
    for (std::uint32_t p : tile.Pixels)
        if (p >> 24 != 0) return false;
    return true;
}

// What each image of a list shows at its top-left corner: its tile number, or 0 when masked.
std::vector<std::uint32_t> firstPixels(const TImageList& list) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < list.Count(); ++i) {
        const std::uint32_t p = list.Image(i).At(0, 0);
        out.push_back(p >> 24 ? p & 0xFFFFFFu : 0);
    }
    return out;
}

struct TileList : TImageList {
    TileList() : TImageList(nullptr) { SetSize(2, 2); }
};

// Square tiles, each filled with 0xFF000000 + its number but for its bottom-left pixel, which
// is the mask colour, as in the icons.
TBitmap numberedStrip(int columns, int rows, int size = 2) {
    TBitmap strip(columns * size, rows * size);
    for (int y = 0; y < strip.Height(); ++y)
        for (int x = 0; x < strip.Width(); ++x)
            strip.ScanLine(y)[x] =
                x % size == 0 && y % size == size - 1
                    ? maskPixel
                    : 0xFF000000u + std::uint32_t((y / size) * columns + x / size + 1);
    return strip;
}

} // namespace

TEST(PreviewImages, BuiltInStripHasEveryButtonTheWindowsUse) {
    const TBitmap strip = UnpackBitmapResource(PreviewButtonsPacked());
    EXPECT_EQ(strip.Width(), PreviewImageStripTiles * PreviewImageSize);
    EXPECT_EQ(strip.Height(), PreviewImageSize);
    EXPECT_EQ(strip.TransparentColor(), clFuchsia);

    const TImageList& list = GetPreviewButtonImages();
    EXPECT_EQ(list.Width(), 16);
    EXPECT_EQ(list.Height(), 16);
    // The walk adds one row of blank tiles below the picture.
    ASSERT_EQ(list.Count(), 2 * PreviewImageStripTiles);
    for (int i :
         {piOpen,   piSave,    piPrint,    piExport,     piFind,    piThumbnails,  piPageSettings,
          piFirst,  piPrior,   piNext,     piLast,       piOutline, piCollapseAll, piExpandAll,
          piZoomIn, piZoomOut, piEditPage, piFullScreen, piEmail,   piPdf}) {
        const TRasterImage tile = list.Image(i);
        EXPECT_FALSE(isBlank(tile)) << i;
        EXPECT_EQ(tile.At(0, 15), 0u) << i; // the mask colour is left out
    }
    for (int i = PreviewImageStripTiles; i < list.Count(); ++i)
        EXPECT_TRUE(isBlank(list.Image(i))) << i;
    // Tiles that look alike would be a copying fault.
    EXPECT_NE(list.Image(piFirst).Pixels, list.Image(piLast).Pixels);
    EXPECT_NE(list.Image(piZoomIn).Pixels, list.Image(piZoomOut).Pixels);
}

TEST(PreviewImages, DrawLeavesTheMaskOut) {
    const TImageList& list = GetPreviewButtonImages();
    TRasterCanvas canvas(40, 20, 96, clWhite);
    list.Draw(canvas, 10, 2, piPdf);
    list.Draw(canvas, 0, 0, list.Count());    // out of range: nothing
    EXPECT_EQ(canvas.Pixel(10, 17), clWhite); // the mask corner
    EXPECT_EQ(canvas.Pixel(0, 0), clWhite);
    bool red = false;
    for (int x = 10; x < 26; ++x)
        red = red || canvas.Pixel(x, 2 + 12) == RGB(0xD0, 0x20, 0x20);
    EXPECT_TRUE(red);
}

TEST(PreviewImages, FillImageListWalksRowsAndTheRowBelow) {
    struct Case {
        int columns, rows;
        bool second;
        std::vector<std::uint32_t> main, other;
    };
    const Case cases[] = {
        {3, 1, false, {1, 2, 3, 0, 0, 0}, {}},
        {2, 2, false, {1, 2, 3, 4, 0, 0}, {}},
        // Alternating: even tiles to the main list, odd ones to the second.
        {4, 1, true, {1, 3, 0, 0}, {2, 4, 0, 0}},
    };
    for (const Case& c : cases) {
        TileList main, other;
        FillImageList(numberedStrip(c.columns, c.rows), 2, 2, c.second ? &other : nullptr, main);
        EXPECT_EQ(firstPixels(main), c.main) << c.columns << "x" << c.rows;
        EXPECT_EQ(firstPixels(other), c.other) << c.columns << "x" << c.rows;
    }
    // Each tile is masked by its own bottom-left pixel: tile 2 made one colour vanishes.
    TBitmap strip = numberedStrip(2, 1);
    strip.ScanLine(1)[2] = 0xFF000002u;
    TileList list;
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    FillImageList(strip, 2, 2, nullptr, list);
    EXPECT_EQ(list.Image(0).At(1, 0) & 0xFFFFFFu, 1u);
    EXPECT_EQ(list.Image(0).At(0, 1), 0u);
    EXPECT_TRUE(isBlank(list.Image(1)));
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(FillImageList(numberedStrip(1, 1), 0, 2, nullptr, list), EInvalidOperation);
    EXPECT_EQ(list.Count(), 4);
}

TEST(PreviewImages, AddedStripsFollowTheBuiltInTiles) {
    TImageList& list = GetPreviewButtonImages();
    SetPreviewButtonImages(numberedStrip(2, 1, PreviewImageSize), false);
    EXPECT_EQ(list.Count(), 2 * PreviewImageStripTiles + 4);
    EXPECT_EQ(list.Image(2 * PreviewImageStripTiles).At(0, 0), 0xFF000001u);
    SetPreviewButtonImages(numberedStrip(2, 1, PreviewImageSize), true);
    EXPECT_EQ(list.Count(), 4);
    // A cleared list is filled from the program again on the next request.
    list.Clear();
    EXPECT_EQ(GetPreviewButtonImages().Count(), 2 * PreviewImageStripTiles);
}

TEST(PreviewImages, DamagedResourceRaisesAndLeavesNothing) {
    const std::string good(PreviewButtonsPacked());
    std::string badCheck = good;
    badCheck[5] ^= 0x40; // the content check in the time field
    std::string badBody = good;
    badBody[good.size() / 2] ^= 0x55;
    for (const std::string& bad :
         {badCheck, badBody, good.substr(0, good.size() / 2), good.substr(0, 6), std::string()}) {
        EXPECT_THROW(UnpackBitmapResource(bad), EZDecompressionError) << bad.size();
    }
}
