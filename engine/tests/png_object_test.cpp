// The graphic class: drawing, transparency, pixel access, resizing and bitmap conversion.

#include <gtest/gtest.h>

#include "engine/png_object.h"
#include "engine/tests/png_test_helpers.h"
#include "platform/graphics/raster_canvas.h"

namespace {

// A w x h RGBA image, every pixel colour (r, g, b) with alpha a.
Bytes Rgba(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    Bytes raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x)
            raw.insert(raw.end(), {r, g, b, a});
    }
    return PngBuilder().Header(w, h, 8, COLOR_RGBALPHA).Chunk("IDAT", Deflate(raw)).End().bytes();
}

TPNGObject Loaded(const Bytes& file) {
    TPNGObject png;
    png.LoadFromBytes(file);
    return png;
}

TEST(PngObject, TransparencyModes) {
    struct Case {
        const char* name;
        Bytes file;
        TPNGTransparencyMode mode;
    };
    const Case cases[] = {
        {"grey", ReadFixture("gray8_n.png"), ptmNone},
        {"grey key", ReadFixture("gray8_trns.png"), ptmBit},
        {"rgb key", ReadFixture("rgb8_trns.png"), ptmBit},
        {"palette", ReadFixture("pal8_n.png"), ptmNone},
        {"palette one clear entry",
         PngBuilder()
             .Header(1, 1, 8, 3)
             .Chunk("PLTE", Bytes(6, 9))
             .Chunk("tRNS", {255, 0})
             .Rows(1, 1)
             .End()
             .bytes(),
         ptmBit},
        {"palette half alpha",
         PngBuilder()
             .Header(1, 1, 8, 3)
             .Chunk("PLTE", Bytes(6, 9))
             .Chunk("tRNS", {255, 128})
             .Rows(1, 1)
             .End()
             .bytes(),
         ptmPartial},
        {"grey alpha", ReadFixture("graya8_n.png"), ptmPartial},
        {"rgb alpha", ReadFixture("rgba16_i.png"), ptmPartial},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TPNGObject png = Loaded(c.file);
        EXPECT_EQ(png.TransparencyMode(), c.mode);
        EXPECT_EQ(png.Transparent(), c.mode != ptmNone);
    }
}

TEST(PngObject, DrawingWithAlpha) {
    TRasterCanvas canvas(4, 3, 96, clRed);
    Loaded(Rgba(4, 3, 10, 200, 30, 0)).Draw(canvas, Rect(0, 0, 4, 3));
    EXPECT_EQ(canvas.Pixel(2, 1), clRed);

    TRasterCanvas opaque(4, 3, 96, clRed), plain(4, 3, 96, clRed);
    Loaded(Rgba(4, 3, 10, 200, 30, 255)).Draw(opaque, Rect(0, 0, 4, 3));
    Bytes raw;
    for (int y = 0; y < 3; ++y) {
        raw.push_back(0);
        for (int x = 0; x < 4; ++x)
            raw.insert(raw.end(), {10, 200, 30});
    }
    Loaded(PngBuilder().Header(4, 3, 8, COLOR_RGB).Chunk("IDAT", Deflate(raw)).End().bytes())
        .Draw(plain, Rect(0, 0, 4, 3));
    EXPECT_EQ(opaque.ToImage().Pixels, plain.ToImage().Pixels);
    EXPECT_EQ(opaque.Pixel(3, 2), RGB(10, 200, 30));

    // Half alpha from a palette's tRNS: (image * a + (255 - a) * canvas + 255) >> 8 per channel.
    TRasterCanvas blended(2, 2, 96, clWhite);
    Loaded(PngBuilder()
               .Header(1, 1, 8, 3)
               .Chunk("PLTE", {0, 100, 200})
               .Chunk("tRNS", {128})
               .Rows(1, 1)
               .End()
               .bytes())
        .Draw(blended, Rect(0, 0, 2, 2));
    const auto mix = [](int s) { return (s * 128 + 127 * 255 + 255) >> 8; };
    EXPECT_EQ(blended.Pixel(1, 1), RGB(mix(0), mix(100), mix(200)));
}

TEST(PngObject, ScaledAlphaDrawingTakesEveryOtherPixel) {
    Bytes raw;
    for (int y = 0; y < 100; ++y) {
        raw.push_back(0);
        for (int x = 0; x < 200; ++x)
            raw.insert(raw.end(), {static_cast<std::uint8_t>(x + 3 * y), 255});
    }
    const TPNGObject png = Loaded(PngBuilder()
                                      .Header(200, 100, 8, COLOR_GRAYSCALEALPHA)
                                      .Chunk("IDAT", Deflate(raw))
                                      .End()
                                      .bytes());
    TRasterCanvas canvas(100, 50, 96, clWhite);
    png.Draw(canvas, Rect(100, 50, 0, 0)); // unnormalised rectangles are turned round
    for (int y = 0; y < 50; y += 7)
        for (int x = 0; x < 100; x += 3) {
            const int v = (2 * x + 6 * y) & 0xFF;
            ASSERT_EQ(canvas.Pixel(x, y), RGB(v, v, v)) << x << "," << y;
        }
}

TEST(PngObject, KeyColourIsLeftOut) {
    const TPNGObject png = Loaded(ReadFixture("rgb8_trns.png"));
    const TColor key = png.TransparentColor();
    EXPECT_EQ(png.GetPixelColor(0, 0), key);
    TRasterCanvas canvas(13, 11, 96, RGB(1, 2, 3));
    png.Draw(canvas, Rect(0, 0, 13, 11));
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(canvas.Pixel(x, y),
                      png.GetPixelColor(x, y) == key ? RGB(1, 2, 3) : png.GetPixelColor(x, y));
}

TEST(PngObject, PixelAccess) {
    TPNGObject png = Loaded(ReadFixture("pal4_n.png"));
    const Bytes before = png.SaveToBytes();
    EXPECT_EQ(png.GetPixelColor(-1, 0), 0);
    EXPECT_EQ(png.GetPixelColor(13, 0), 0);
    png.SetPixelColor(0, 11, clWhite);
    EXPECT_EQ(png.SaveToBytes(), before);
    // A palette image takes the nearest entry.
    const TPngRGBQuad q = png.HeaderChunk().Colors()[5];
    png.SetPixelColor(3, 2, RGB(q.Red + 1, q.Green, q.Blue - 1));
    EXPECT_EQ(png.GetPixelColor(3, 2), RGB(q.Red, q.Green, q.Blue));

    TPNGObject rgb = Loaded(ReadFixture("rgba8_i.png"));
    rgb.SetPixelColor(12, 10, RGB(1, 2, 3));
    EXPECT_EQ(rgb.GetPixelColor(12, 10), RGB(1, 2, 3));
    TPNGObject greyAlpha = Loaded(ReadFixture("graya16_n.png"));
    greyAlpha.SetPixelColor(1, 1, RGB(77, 0, 0));
    EXPECT_EQ(greyAlpha.GetPixelColor(1, 1), RGB(77, 77, 77));
    TPNGObject grey1 = Loaded(ReadFixture("gray1_i.png"));
    grey1.SetPixelColor(5, 5, RGB(200, 200, 200));
    EXPECT_EQ(grey1.GetPixelColor(5, 5), clWhite);
}

TEST(PngObject, ResizeKeepsTheTopLeftCorner) {
    TPNGObject png = Loaded(ReadFixture("rgba8_n.png"));
    const TRasterImage before = png.ToImage();
    EXPECT_THROW(png.ResizeImage(0, 10), EPNGInvalidNewSize);
    png.ResizeImage(20, 15);
    EXPECT_EQ(png.Width(), 20);
    EXPECT_EQ(png.Height(), 15);
    const TRasterImage after = png.ToImage();
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(after.At(x, y), x < 13 && y < 11 ? before.At(x, y) : 0xFF000000u)
                << x << "," << y;
    png.SetWidth(5);
    EXPECT_EQ(png.Width(), 5);
    EXPECT_EQ(png.ToImage().At(4, 10), before.At(4, 10));
    // The resized image is saved at its new size.
    TPNGObject again = Loaded(png.SaveToBytes());
    EXPECT_EQ(FirstDifference(again.ToImage(), png.ToImage()), "");
}

TEST(PngObject, MadeFromBitmaps) {
    TBitmap bitmap(3, 2, pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            bitmap.ScanLine(y)[x] = 0xFF000000u | (x * 80u << 16) | (y * 90u << 8) | 7u;
    TPNGObject png;
    png.Assign(bitmap);
    std::vector<std::string> names;
    for (const auto& c : png.Chunks())
        names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(png.HeaderChunk().Header.BitDepth, 8);
    EXPECT_EQ(png.HeaderChunk().Header.ColorType, COLOR_RGB);
    EXPECT_EQ(png.GetPixelColor(2, 1), RGB(160, 90, 7));

    bitmap.SetTransparentColor(RGB(80, 90, 7));
    bitmap.SetTransparent(true);
    png.Assign(bitmap);
    auto* trns = png.Chunks().FirstOfClass<TChunktRNS>();
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->DataSize(), 6u);
    // The key colour survives the file.
    const Bytes saved = png.SaveToBytes();
    const TRasterImage qt = QtPixels(saved);
    EXPECT_EQ(qt.At(1, 1) >> 24, 0u);
    EXPECT_EQ(qt.At(0, 1), 0xFF005A07u);
    EXPECT_EQ(Loaded(saved).TransparentColor(), RGB(80, 90, 7));

    TBitmap mono(9, 1, pf1bit);
    mono.ScanLine(0)[4] = 0xFF000000u;
    png.Assign(mono);
    names.clear();
    for (const auto& c : png.Chunks())
        names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    TPNGObject again = Loaded(png.SaveToBytes());
    EXPECT_EQ(again.HeaderChunk().Header.BitDepth, 1);
    EXPECT_EQ(again.GetPixelColor(4, 0), clBlack);
    EXPECT_EQ(again.GetPixelColor(5, 0), clWhite);
}

TEST(PngObject, PaletteKeyColourThatNoEntryHasMakesNothingTransparent) {
    TPNGObject png;
    TBitmap mono(2, 1, pf1bit);
    png.Assign(mono);
    auto trns = std::make_unique<TChunktRNS>(&png);
    trns->BuildForColor(clRed);
    EXPECT_FALSE(trns->BitTransparency);
    trns->BuildForColor(clWhite);
    EXPECT_TRUE(trns->BitTransparency);
    EXPECT_EQ(trns->DataSize(), 2u);

    // With 256 entries an unmatched colour must not fall back to entry 0.
    TPNGObject full = Loaded(ReadFixture("pal8_n.png"));
    TChunktRNS fullTrns(&full);
    fullTrns.BuildForColor(RGB(1, 2, 3));
    EXPECT_FALSE(fullTrns.BitTransparency);
    EXPECT_EQ(fullTrns.PaletteValues[0], 255);
}

TEST(PngObject, ConvertsToBitmaps) {
    const TPNGObject png = Loaded(ReadFixture("gray8_trns.png"));
    TBitmap bitmap;
    png.AssignTo(bitmap);
    EXPECT_EQ(bitmap.Width(), 13);
    EXPECT_TRUE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparentColor(), png.TransparentColor());
    for (int x = 1; x < 13; ++x) {
        if (png.GetPixelColor(x, 3) == png.TransparentColor()) continue;
        EXPECT_EQ(bitmap.ScanLine(3)[x] & 0xFFFFFF,
                  static_cast<std::uint32_t>(GetRValue(png.GetPixelColor(x, 3))) * 0x010101u);
    }

    TBitmap viaBitmap;
    viaBitmap.Assign(Loaded(ReadFixture("rgb16_i.png")));
    EXPECT_EQ(viaBitmap.Width(), 13);
    EXPECT_EQ(FirstDifference(viaBitmap.ToImage(), OurPixels(Loaded(ReadFixture("rgb16_i.png")))),
              "");
}

} // namespace
