// Palette bitmaps (1, 4 and 8 bits), the 16-bit formats, their BMP form and the
// device-independent copy.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/graphics/bitmap.h"

namespace {

std::uint32_t Opaque(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | g << 8 | b;
}

std::uint32_t ArgbOf(TColor c) {
    return Opaque(GetRValue(c), GetGValue(c), GetBValue(c));
}

// count distinct colours, told apart by their blue channel.
std::uint32_t NthColor(int i) {
    return Opaque((i * 37) % 256, (i * 91) % 256, i);
}

template <class Color> TBitmap Filled(int width, int height, TPixelFormat format, Color color) {
    TBitmap bmp(width, height, format == pf32bit ? pf32bit : pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bmp.ScanLine(y)[x] = color(x, y);
    return bmp;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

} // namespace

TEST(PaletteBitmap, FewColoursKeepAnExactPaletteInOrderOfAppearance) {
    struct Case {
        TPixelFormat Format;
        int Colors;
    };
    for (const Case c : {Case{pf8bit, 1}, Case{pf8bit, 200}, Case{pf8bit, 256}, Case{pf4bit, 5},
                         Case{pf4bit, 16}}) {
        SCOPED_TRACE(testing::Message() << "format " << c.Format << ", " << c.Colors << " colours");
        TBitmap bmp(20, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x)
                bmp.ScanLine(y)[x] = NthColor((x + 20 * y) % c.Colors);
        const TRasterImage before = bmp.ToImage();
        bmp.SetPixelFormat(c.Format);
        EXPECT_EQ(bmp.PixelFormat(), c.Format);
        EXPECT_EQ(bmp.ToImage().Pixels, before.Pixels);
        const std::vector<TColor> palette = bmp.Palette();
        ASSERT_EQ(palette.size(), static_cast<std::size_t>(c.Colors));
        for (int i = 0; i < c.Colors; ++i)
            EXPECT_EQ(ArgbOf(palette[i]), NthColor(i)) << i;
        const std::vector<std::uint8_t> indices = bmp.PixelIndices();
        ASSERT_EQ(indices.size(), before.Pixels.size());
        for (std::size_t i = 0; i < indices.size(); ++i)
            ASSERT_EQ(ArgbOf(palette[indices[i]]), before.Pixels[i]) << i;
    }
}

TEST(PaletteBitmap, ManyColoursReduceToTheLimitWithSmallError) {
    // 4096 colours in smooth ramps, as pictures and anti-aliased drawing have them.
    const auto ramp = [](int x, int y) { return Opaque(x * 4, y * 4, (x + y) * 2); };
    struct Case {
        TPixelFormat Format;
        std::size_t Limit;
        double MeanError; // per channel
        int MaxError;
    };
    for (const Case c : {Case{pf8bit, 256, 4.0, 8}, Case{pf4bit, 16, 16.0, 48}}) {
        SCOPED_TRACE(c.Format);
        TBitmap bmp = Filled(64, 64, pf24bit, ramp);
        bmp.SetPixelFormat(c.Format);
        const std::vector<TColor> palette = bmp.Palette();
        EXPECT_EQ(palette.size(), c.Limit);
        std::set<std::uint32_t> entries;
        for (TColor p : palette)
            entries.insert(ArgbOf(p));
        EXPECT_EQ(entries.size(), c.Limit) << "no colour is wasted on a duplicate";

        const TRasterImage reduced = bmp.ToImage();
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const std::uint32_t got = reduced.At(x, y);
                ASSERT_TRUE(entries.count(got)) << "every pixel is a palette colour";
                for (int shift = 0; shift < 24; shift += 8) {
                    const int d = std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                           static_cast<int>((ramp(x, y) >> shift) & 0xFF));
                    sum += d;
                    worst = std::max(worst, d);
                }
            }
        EXPECT_LT(sum / (64 * 64 * 3), c.MeanError);
        EXPECT_LE(worst, c.MaxError);

        TBitmap again = Filled(64, 64, pf24bit, ramp);
        again.SetPixelFormat(c.Format);
        EXPECT_EQ(again.Palette(), palette) << "the reduction depends on the pixels alone";
    }
}

TEST(PaletteBitmap, DrawingOnAPaletteBitmapMapsToTheNearestEntry) {
    TBitmap bmp = Filled(4, 2, pf24bit,
                         [](int x, int) { return x < 2 ? Opaque(255, 0, 0) : Opaque(0, 0, 255); });
    bmp.SetPixelFormat(pf8bit);
    ASSERT_EQ(bmp.Palette(), (std::vector<TColor>{clRed, clBlue}));
    bmp.Canvas().Brush().SetColor(RGB(250, 10, 20));
    bmp.Canvas().FillRect({2, 0, 3, 1});
    EXPECT_EQ(bmp.Canvas().Pixel(2, 0), RGB(250, 10, 20)) << "the canvas keeps what it drew";
    EXPECT_EQ(bmp.PixelIndices(), (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 0, 1, 1}));
    TBitmap back;
    back.LoadFromBytes(bmp.SaveToBytes());
    EXPECT_EQ(back.Canvas().Pixel(2, 0), clRed);
    EXPECT_EQ(back.Palette(), bmp.Palette());

    // A grown area takes the palette colour nearest the brush.
    bmp.Canvas().Brush().SetColor(RGB(20, 0, 200));
    bmp.SetWidth(5);
    EXPECT_EQ(bmp.Canvas().Pixel(4, 1), clBlue);

    // Made 8-bit before anything is drawn (as pictures are converted), a bitmap keeps the
    // colours drawn afterwards instead of a palette fixed while it was empty.
    TBitmap fresh(3, 1, pf8bit);
    for (int x = 0; x < 3; ++x) {
        fresh.Canvas().Brush().SetColor(std::array{clLime, clNavy, clLime}[x]);
        fresh.Canvas().FillRect({x, 0, x + 1, 1});
    }
    EXPECT_EQ(fresh.Palette(), (std::vector<TColor>{clLime, clNavy}));
    TBitmap freshBack;
    freshBack.LoadFromBytes(fresh.SaveToBytes());
    EXPECT_EQ(freshBack.ToImage().Pixels, fresh.ToImage().Pixels);
}

TEST(Bmp, PaletteAndSixteenBitFormatsRoundTripBitForBit) {
    struct Case {
        TPixelFormat Format;
        int Bpp;
        std::uint32_t Compression;
        std::uint32_t TableBytes; // colour table or masks between header and pixels
    };
    const auto pattern = [](int x, int y) { return NthColor((x * 3 + y) % 11); };
    for (const Case c : {Case{pf4bit, 4, 0, 11 * 4}, Case{pf8bit, 8, 0, 11 * 4},
                         Case{pf15bit, 16, 0, 0}, Case{pf16bit, 16, 3, 12}}) {
        SCOPED_TRACE(c.Format);
        TBitmap bmp = Filled(13, 7, pf24bit, pattern);
        bmp.SetPixelFormat(c.Format);
        const auto bytes = bmp.SaveToBytes();
        const std::uint32_t stride = (c.Bpp * 13 + 31) / 32 * 4;
        EXPECT_EQ(bytes[28], c.Bpp);
        EXPECT_EQ(U32(bytes, 30), c.Compression);
        EXPECT_EQ(U32(bytes, 10), 14 + 40 + c.TableBytes);
        EXPECT_EQ(bytes.size(), 14 + 40 + c.TableBytes + stride * 7);
        if (c.Bpp <= 8) {
            EXPECT_EQ(U32(bytes, 46), 11u) << "only the colours in use are stored";
        }

        TBitmap back;
        back.LoadFromBytes(bytes);
        EXPECT_EQ(back.PixelFormat(), c.Format);
        EXPECT_EQ(back.Palette(), bmp.Palette());
        EXPECT_EQ(back.ToImage().Pixels, bmp.ToImage().Pixels);
        EXPECT_EQ(back.SaveToBytes(), bytes);
    }
}

TEST(Bitmap, DeviceIndependentCopyPerDepth) {
    // 3 x 2, every depth needing row padding: top row A B A, bottom row B A B.
    const std::uint32_t a = Opaque(0xF8, 0x80, 0x08), b = Opaque(0x10, 0x20, 0x30);
    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        TPixelFormat Format;
        int Depth;
        Bytes Table;  // the entries in use; the rest of the 2^depth entries are zero
        Bytes Bottom; // the first row of the copy
        Bytes Top;
    };
    const Bytes abTable = {0x08, 0x80, 0xF8, 0, 0x30, 0x20, 0x10, 0};
    const Case cases[] = {
        // A is nearer white, B nearer black.
        {pf1bit, 1, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}, {0x40, 0, 0, 0}, {0xA0, 0, 0, 0}},
        {pf4bit, 4, abTable, {0x10, 0x10, 0, 0}, {0x01, 0x00, 0, 0}},
        {pf8bit, 8, abTable, {1, 0, 1, 0}, {0, 1, 0, 0}},
        {pf15bit,
         16,
         {},
         {0x86, 0x08, 0x01, 0x7E, 0x86, 0x08, 0, 0},
         {0x01, 0x7E, 0x86, 0x08, 0x01, 0x7E, 0, 0}},
        {pf16bit,
         16,
         {},
         {0x86, 0x08, 0x01, 0x7E, 0x86, 0x08, 0, 0},
         {0x01, 0x7E, 0x86, 0x08, 0x01, 0x7E, 0, 0}},
        {pf24bit,
         24,
         {},
         {0x30, 0x20, 0x10, 0x08, 0x80, 0xF8, 0x30, 0x20, 0x10, 0, 0, 0},
         {0x08, 0x80, 0xF8, 0x30, 0x20, 0x10, 0x08, 0x80, 0xF8, 0, 0, 0}},
        {pf32bit,
         32,
         {},
         {0x30, 0x20, 0x10, 0xFF, 0x08, 0x80, 0xF8, 0xFF, 0x30, 0x20, 0x10, 0xFF},
         {0x08, 0x80, 0xF8, 0xFF, 0x30, 0x20, 0x10, 0xFF, 0x08, 0x80, 0xF8, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        TBitmap bmp = Filled(3, 2, c.Format, [&](int x, int y) { return (x + y) % 2 ? b : a; });
        bmp.SetPixelFormat(c.Format);
        const Bytes dib = bmp.DeviceIndependentBits();
        const std::size_t tableBytes = c.Depth <= 8 ? 4u << c.Depth : 0;
        const std::size_t stride = c.Bottom.size();
        ASSERT_EQ(dib.size(), 40 + tableBytes + 2 * stride);
        EXPECT_EQ(U32(dib, 0), 40u);
        EXPECT_EQ(U32(dib, 4), 3u);
        EXPECT_EQ(U32(dib, 8), 2u) << "positive: bottom-up rows";
        EXPECT_EQ(dib[12] | dib[13] << 8, 1);
        EXPECT_EQ(dib[14] | dib[15] << 8, c.Depth);
        EXPECT_EQ(U32(dib, 16), 0u);
        EXPECT_EQ(U32(dib, 20), 2 * stride);
        Bytes table(c.Table);
        table.resize(tableBytes, 0);
        EXPECT_EQ(
            Bytes(dib.begin() + 40, dib.begin() + 40 + static_cast<std::ptrdiff_t>(tableBytes)),
            table);
        const auto rows = dib.begin() + 40 + static_cast<std::ptrdiff_t>(tableBytes);
        EXPECT_EQ(Bytes(rows, rows + static_cast<std::ptrdiff_t>(stride)), c.Bottom);
        EXPECT_EQ(Bytes(rows + static_cast<std::ptrdiff_t>(stride), dib.end()), c.Top);
    }
    EXPECT_TRUE(TBitmap().DeviceIndependentBits().empty());
    EXPECT_TRUE(TBitmap(0, 5, pf8bit).DeviceIndependentBits().empty());
}
