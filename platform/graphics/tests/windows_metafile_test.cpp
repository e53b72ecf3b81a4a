// Windows metafiles as graphics: sizes from the headers, the bytes kept exactly, drawing by
// their records or, when nothing can be played, the crossed placeholder, and damaged headers.

#include <gtest/gtest.h>

#include "graphic_samples.h"
#include "metafile_records.h"
#include "pixel_helpers.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/graphics/windows_metafile.h"

TEST(WindowsMetafile, SizeFromTheHeaderAndBytesSavedUnchanged) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        bool enhanced;
        int width, height;
    };
    const Case cases[] = {
        // 1000 x 500 units at 1000 per inch; 1440 per inch gives 2 inches by one.
        {"wmf", samples::PlaceableWmf(0, 0, 1000, 500, 1000), false, 96, 48},
        {"wmf twips", samples::PlaceableWmf(-1440, 0, 1440, 1440, 1440), false, 192, 96},
        // An inch and half an inch in hundredths of a millimetre.
        {"emf", samples::Emf(2540, 1270), true, 96, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Bytes after the declared length are not part of the metafile.
        auto withTail = c.file;
        withTail.insert(withTail.end(), {1, 2, 3});
        TPicture picture;
        picture.LoadFromBytes(withTail);
        auto* meta = dynamic_cast<TWindowsMetafile*>(picture.Graphic());
        ASSERT_NE(meta, nullptr);
        EXPECT_EQ(meta->Enhanced(), c.enhanced);
        EXPECT_EQ(meta->Width(), c.width);
        EXPECT_EQ(meta->Height(), c.height);
        EXPECT_EQ(meta->SaveToBytes(), c.file);
        EXPECT_EQ(meta->Clone()->SaveToBytes(), c.file);
    }
    EXPECT_STREQ(CreateGraphicForExtension("wmf")->ClassName(), "TWindowsMetafile");
    EXPECT_STREQ(CreateGraphicForExtension("emf")->ClassName(), "TWindowsMetafile");
}

TEST(WindowsMetafile, DamagedHeadersRaiseAndKeepTheMetafile) {
    const auto good = samples::PlaceableWmf(0, 0, 1000, 500, 1000);
    TWindowsMetafile meta;
    meta.LoadFromBytes(good);
    auto badChecksum = good;
    badChecksum[20] ^= 1;
    auto noInch = samples::PlaceableWmf(0, 0, 1000, 500, 0);
    auto emfTooLong = samples::Emf(2540, 1270);
    samples::put32At(emfTooLong, 48, 4096);
    auto emfSmall = samples::Emf(2540, 1270);
    samples::put32At(emfSmall, 48, 40);
    // Frames whose pixels ToImage could not hold: gigabytes from a header of a few bytes.
    auto wmfHuge = samples::PlaceableWmf(-32768, -32768, 32767, 32767, 1);
    auto emfHuge = samples::Emf(2000000, 2000000);
    const std::vector<std::vector<std::uint8_t>> damaged = {
        {},
        {'B', 'M'},
        badChecksum,
        noInch,
        std::vector<std::uint8_t>(good.begin(), good.end() - 2),
        emfTooLong,
        emfSmall,
        wmfHuge,
        emfHuge};
    for (const auto& bytes : damaged) {
        EXPECT_THROW(meta.LoadFromBytes(bytes), EInvalidGraphic) << bytes.size();
        EXPECT_FALSE(meta.Enhanced());
        EXPECT_EQ(meta.Width(), 96);
        EXPECT_EQ(meta.SaveToBytes(), good);
    }
}

TEST(WindowsMetafile, DrawsItsRecordsScaledAndLeavesTheCanvasTools) {
    // A red left half, drawn smaller and elsewhere, through a copy that shares the played records.
    const auto file = records::Wmf()
                          .Brush(0, clRed)
                          .Select(0)
                          .Pen(5, 0, 0)
                          .Select(1)
                          .Rectangle(0, 0, 500, 1000)
                          .Placeable(0, 0, 1000, 1000, 1000);
    TWindowsMetafile meta;
    meta.LoadFromBytes(file);
    TRasterCanvas canvas(60, 40);
    canvas.Pen().SetColor(clYellow);
    canvas.Pen().SetWidth(3);
    canvas.Brush().SetColor(clBlue);
    canvas.Font().SetName("Courier New");
    canvas.StretchDraw({10, 10, 50, 30}, *meta.Clone());
    EXPECT_EQ(InkBounds(canvas), (TRect{10, 10, 30, 30}));
    EXPECT_EQ(canvas.Pixel(20, 20), clRed);
    EXPECT_EQ(canvas.Pen().Color(), clYellow);
    EXPECT_EQ(canvas.Pen().Width(), 3);
    EXPECT_EQ(canvas.Brush().Color(), clBlue);
    EXPECT_EQ(canvas.Font().Name(), "Courier New");
    EXPECT_EQ(meta.SaveToBytes(), file);
    const TRasterImage image = meta.ToImage();
    ASSERT_EQ(image.Width, 96);
    EXPECT_EQ(image.At(10, 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.At(70, 50) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(WindowsMetafile, UnplayableRecordsDrawACrossedFrameAndLeavePenAndBrush) {
    // The header is sound, the first record claims no size: there is nothing to play.
    auto file = samples::Emf(2540, 2540);
    samples::put32At(file, 88 + 4, 0);
    TWindowsMetafile meta;
    meta.LoadFromBytes(file);
    EXPECT_EQ(meta.Recording(), nullptr);
    TRasterCanvas canvas(20, 20);
    canvas.Pen().SetColor(clRed);
    canvas.Pen().SetWidth(3);
    canvas.Brush().SetColor(clYellow);
    canvas.StretchDraw({0, 0, 11, 11}, meta);
    for (TPoint p : {TPoint{0, 0}, TPoint{10, 0}, TPoint{0, 10}, TPoint{10, 10}, TPoint{5, 5},
                     TPoint{3, 3}, TPoint{7, 3}, TPoint{5, 0}})
        EXPECT_EQ(canvas.Pixel(p.X, p.Y), clGray) << p.X << "," << p.Y;
    EXPECT_EQ(canvas.Pixel(5, 2), clWhite);
    EXPECT_EQ(canvas.Pixel(11, 5), clWhite);
    EXPECT_EQ(canvas.Pen().Color(), clRed);
    EXPECT_EQ(canvas.Pen().Width(), 3);
    EXPECT_EQ(canvas.Brush().Color(), clYellow);
    EXPECT_EQ(canvas.Brush().Style(), bsSolid);
    EXPECT_EQ(meta.ToImage().Width, 96);
}
