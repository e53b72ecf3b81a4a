// Windows metafiles played into recordings: mapping modes, lines and fills, text, DIBs, the
// saved device state, and damaged records.

#include <gtest/gtest.h>

#include <array>

#include "metafile_records.h"
#include "pixel_helpers.h"
#include "platform/graphics/metafile_player.h"

namespace {

using records::Bytes;

constexpr int MM_TEXT = 1, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;
constexpr int BS_SOLID = 0, PS_NULL = 5, TRANSPARENT = 1;

// The picture at its 96-per-inch size on white.
std::unique_ptr<TRasterCanvas> render(const Bytes& file, int width = 96, int height = 96) {
    auto canvas = std::make_unique<TRasterCanvas>(width, height);
    const auto recording = PlayWindowsMetafile(file);
    EXPECT_TRUE(recording.has_value());
    if (recording) recording->Play(*canvas, {0, 0, width, height});
    return canvas;
}

// A red brush and no pen, so that filled shapes cover exactly their rectangles.
records::Wmf redFillWmf() {
    records::Wmf w;
    w.Brush(BS_SOLID, clRed).Select(0).Pen(PS_NULL, 0, 0).Select(1);
    return w;
}

records::Emf redFillEmf() {
    records::Emf e;
    e.Brush(1, BS_SOLID, clRed).Select(1).Pen(2, PS_NULL, 0, 0).Select(2);
    return e;
}

} // namespace

// The placeable frame is 1000 units at 1000 per inch: 96 pixels. Each case draws one
// rectangle through its mapping; the red pixels must be exactly the expected box.
TEST(MetafilePlayer, WmfWindowAndViewportMapping) {
    struct Case {
        const char* name;
        Bytes file;
        TRect expected;
    };
    const Case cases[] = {
        {"window",
         redFillWmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowOrg(0, 0)
             .WindowExt(1000, 1000)
             .Rectangle(250, 250, 500, 750)
             .Placeable(0, 0, 1000, 1000, 1000),
         {24, 24, 48, 72}},
        {"window moved and scaled",
         redFillWmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowOrg(500, 500)
             .WindowExt(500, 500)
             .Rectangle(500, 500, 750, 750)
             .Placeable(0, 0, 1000, 1000, 1000),
         {0, 0, 48, 48}},
        {"y upwards",
         redFillWmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowOrg(0, 1000)
             .WindowExt(1000, -1000)
             .Rectangle(250, 250, 500, 500)
             .Placeable(0, 0, 1000, 1000, 1000),
         {24, 48, 48, 72}},
        {"viewport",
         redFillWmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowExt(100, 100)
             .ViewportOrg(500, 0)
             .ViewportExt(500, 500)
             .Rectangle(0, 0, 50, 100)
             .Placeable(0, 0, 1000, 1000, 1000),
         {48, 0, 72, 48}},
        {"isotropic keeps the smaller scale",
         redFillWmf()
             .MapMode(MM_ISOTROPIC)
             .WindowExt(100, 200)
             .ViewportExt(1000, 1000)
             .Rectangle(0, 0, 100, 100)
             .Placeable(0, 0, 1000, 1000, 1000),
         {0, 0, 48, 48}},
        {"no mapping records: the header's box",
         redFillWmf().Rectangle(-500, 0, 0, 500).Placeable(-1000, 0, 0, 1000, 1000),
         {48, 0, 96, 48}},
        {"without the placeable header: its window",
         redFillWmf().WindowOrg(0, 0).WindowExt(96, 96).Rectangle(24, 24, 48, 72).Standard(),
         {24, 24, 48, 72}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto canvas = render(c.file);
        EXPECT_EQ(InkBounds(*canvas), c.expected);
        EXPECT_EQ(canvas->Pixel((c.expected.Left + c.expected.Right) / 2,
                                (c.expected.Top + c.expected.Bottom) / 2),
                  clRed);
    }

    // Neither header nor window: the frame is the box of what it draws.
    const auto drawn = PlayWindowsMetafile(
        redFillWmf().Rectangle(10, 20, 58, 44).Rectangle(40, 60, 50, 68).Standard());
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->Width(), 4 * 48);
    EXPECT_EQ(drawn->Height(), 4 * 48);
    TRasterCanvas canvas(48, 48);
    drawn->Play(canvas, {0, 0, 48, 48});
    EXPECT_EQ(InkBounds(canvas), (TRect{0, 0, 48, 48}));
    EXPECT_EQ(canvas.Pixel(35, 35), clWhite);
}

// The EMF frame is an inch at a 96-per-inch reference device.
TEST(MetafilePlayer, EmfMappingAndWorldTransform) {
    struct Case {
        const char* name;
        Bytes file;
        TRect expected;
    };
    const Case cases[] = {
        {"device units", redFillEmf().Rectangle(24, 24, 48, 72).File(2540, 2540), {24, 24, 48, 72}},
        {"anisotropic",
         redFillEmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowExt(1000, 1000)
             .ViewportExt(96, 96)
             .Rectangle(250, 250, 500, 750)
             .File(2540, 2540),
         {24, 24, 48, 72}},
        {"y upwards",
         redFillEmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowOrg(0, 1000)
             .WindowExt(1000, -1000)
             .ViewportExt(96, 96)
             .Rectangle(250, 250, 500, 500)
             .File(2540, 2540),
         {24, 48, 48, 72}},
        {"world scale and offset",
         redFillEmf().WorldTransform(2, 0, 0, 3, 10, 6).Rectangle(7, 6, 19, 22).File(2540, 2540),
         {24, 24, 48, 72}},
        // Scaling applied before the translation that was set first.
        {"world transform multiplied on the left",
         redFillEmf()
             .WorldTransform(1, 0, 0, 1, 10, 0)
             .WorldTransform(2, 0, 0, 2, 0, 0, 2)
             .Rectangle(7, 12, 19, 36)
             .File(2540, 2540),
         {24, 24, 48, 72}},
        {"mapping mode back to device units",
         redFillEmf()
             .MapMode(MM_ANISOTROPIC)
             .WindowExt(10, 10)
             .ViewportExt(96, 96)
             .MapMode(MM_TEXT)
             .Rectangle(24, 24, 48, 72)
             .File(2540, 2540),
         {24, 24, 48, 72}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto canvas = render(c.file);
        EXPECT_EQ(InkBounds(*canvas), c.expected);
        EXPECT_EQ(canvas->Pixel(c.expected.Left + 1, c.expected.Top + 1), clRed);
    }
}

TEST(MetafilePlayer, LinesPolygonsAndPaths) {
    // A blue line, a ring with its hole left open, and an unknown record in between.
    const Bytes wmf = records::Wmf()
                          .Pen(0, 0, clBlue)
                          .Select(0)
                          .MoveTo(250, 125)
                          .LineTo(750, 125)
                          .Rec(0x0626, {1, 2, 3}) // an escape, skipped
                          .Brush(BS_SOLID, clLime)
                          .Select(1)
                          .Pen(PS_NULL, 0, 0)
                          .Select(2)
                          .PolyPolygon({{{0, 500}, {500, 500}, {500, 1000}, {0, 1000}},
                                        {{125, 625}, {375, 625}, {375, 875}, {125, 875}}})
                          .Placeable(0, 0, 1000, 1000, 1000);
    const auto w = render(wmf);
    for (int x : {24, 50, 71})
        EXPECT_EQ(w->Pixel(x, 12), clBlue) << x;
    EXPECT_EQ(w->Pixel(23, 12), clWhite);
    EXPECT_EQ(w->Pixel(72, 12), clWhite) << "the end point is left out";
    EXPECT_EQ(w->Pixel(50, 11), clWhite);
    EXPECT_EQ(w->Pixel(50, 13), clWhite);
    EXPECT_EQ(w->Pixel(5, 53), clLime);
    EXPECT_EQ(w->Pixel(24, 72), clWhite) << "the hole";
    EXPECT_EQ(w->Pixel(44, 90), clLime);

    // A path of a triangle and a curve, filled; a polyline over it.
    const Bytes emf = redFillEmf()
                          .BeginPath()
                          .MoveTo(0, 0)
                          .LineTo(48, 0)
                          .LineTo(0, 48)
                          .CloseFigure()
                          .PolyBezier16({{48, 48}, {60, 96}, {84, 96}, {96, 48}})
                          .EndPath()
                          .FillPath()
                          .Pen(3, 0, 0, clBlue)
                          .Select(3)
                          .Polyline16({{0, 90}, {96, 90}})
                          .File(2540, 2540);
    const auto e = render(emf);
    EXPECT_EQ(e->Pixel(10, 10), clRed);
    EXPECT_EQ(e->Pixel(40, 40), clWhite) << "outside the triangle";
    EXPECT_EQ(e->Pixel(72, 70), clRed) << "inside the curve's figure";
    EXPECT_EQ(e->Pixel(72, 40), clWhite);
    EXPECT_EQ(e->Pixel(50, 90), clBlue);
}

TEST(MetafilePlayer, TextIsDrawnAndKeptWithItsAdvances) {
    // "中文" in GBK with advances per byte: each character takes the sum of its two.
    const Bytes wmf = records::Wmf()
                          .Font(-125, 134, "SimSun")
                          .Select(0)
                          .TextColor(clBlack)
                          .BkMode(TRANSPARENT)
                          .ExtTextOut(250, 250, "\xD6\xD0\xCE\xC4", {100, 25, 125, 0})
                          .Placeable(0, 0, 1000, 1000, 1000);
    const auto recording = PlayWindowsMetafile(wmf);
    ASSERT_TRUE(recording);
    auto text = recording->TextRecords();
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].Text, u"中文");
    // A logical unit is 0.384 recording pixels: 125 units are 48.
    EXPECT_EQ(text[0].Advances, (std::vector<int>{48, 48}));
    EXPECT_EQ(text[0].X, 96);
    EXPECT_EQ(text[0].Y, 96);
    EXPECT_EQ(text[0].Font.Height, -48);
    TRasterCanvas canvas(96, 96);
    recording->Play(canvas, {0, 0, 96, 96});
    const TRect ink = InkBounds(canvas);
    EXPECT_FALSE(ink.IsEmpty());
    EXPECT_GE(ink.Left, 24);
    EXPECT_GE(ink.Top, 24);
    EXPECT_LE(ink.Right, 48 + 1);
    EXPECT_LE(ink.Bottom, 24 + 20);

    // Centred on its baseline: the ink sits above the reference point, around it left to right.
    const Bytes emf = records::Emf()
                          .Font(1, -20, u"Arial")
                          .Select(1)
                          .TextAlign(6 | 24)
                          .BkMode(TRANSPARENT)
                          .ExtTextOutW(48, 60, u"HHHH", {10, 10, 10, 10})
                          .File(2540, 2540);
    const auto centred = PlayWindowsMetafile(emf);
    ASSERT_TRUE(centred);
    text = centred->TextRecords();
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].Text, u"HHHH");
    EXPECT_EQ(text[0].X, 4 * (48 - 20));
    TRasterCanvas c2(96, 96);
    centred->Play(c2, {0, 0, 96, 96});
    const TRect letters = InkBounds(c2);
    EXPECT_LE(letters.Bottom, 61);
    EXPECT_GE(letters.Bottom, 58);
    EXPECT_NEAR((letters.Left + letters.Right) / 2.0, 48, 4);
}

// A 2 x 2 DIB stretched over (24, 24)-(72, 72): each source pixel becomes a 24-pixel square.
TEST(MetafilePlayer, DibsStretchedIntoTheirRectangles) {
    const std::vector<std::uint32_t> colours = {0xFF0000, 0x00FF00, 0x0000FF,
                                                0x00FFFF}; // red, lime, blue, aqua as 0xRRGGBB
    const std::vector<std::uint32_t> mono = {0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000};
    auto wmf = [](const Bytes& dib, int sx, int sy, int sw, int sh, int w = 48) {
        return records::Wmf()
            .StretchDib(w > 0 ? 24 : 72, 24, w, 48, sx, sy, sw, sh, dib)
            .Placeable(0, 0, 96, 96, 96);
    };
    auto emf = [](const Bytes& dib, int sx, int sy, int sw, int sh) {
        return records::Emf().StretchDibits(24, 24, 48, 48, sx, sy, sw, sh, dib).File(2540, 2540);
    };
    struct Case {
        const char* name;
        Bytes file;
        std::array<TColor, 4> quadrants; // top-left, top-right, bottom-left, bottom-right
    };
    const Case cases[] = {
        {"24-bit",
         wmf(records::Dib(2, 2, 24, colours), 0, 0, 2, 2),
         {clRed, clLime, clBlue, clAqua}},
        {"32-bit",
         emf(records::Dib(2, 2, 32, colours), 0, 0, 2, 2),
         {clRed, clLime, clBlue, clAqua}},
        {"8-bit", wmf(records::Dib(2, 2, 8, colours), 0, 0, 2, 2), {clRed, clLime, clBlue, clAqua}},
        {"4-bit", emf(records::Dib(2, 2, 4, colours), 0, 0, 2, 2), {clRed, clLime, clBlue, clAqua}},
        {"1-bit",
         wmf(records::Dib(2, 2, 1, mono), 0, 0, 2, 2),
         {clBlack, clWhite, clWhite, clBlack}},
        {"mirrored by a negative width",
         wmf(records::Dib(2, 2, 24, colours), 0, 0, 2, 2, -48),
         {clLime, clRed, clAqua, clBlue}},
        // Rows of a bottom-up DIB count from the bottom: row 0 is the lower one.
        {"source pixel at (1, 0)",
         emf(records::Dib(2, 2, 24, colours), 1, 0, 1, 1),
         {clAqua, clAqua, clAqua, clAqua}},
        {"source row reaching past the image",
         wmf(records::Dib(2, 2, 24, colours), 0, 1, 2, 2),
         {clWhite, clWhite, clRed, clLime}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto canvas = render(c.file);
        EXPECT_EQ(canvas->Pixel(30, 30), c.quadrants[0]);
        EXPECT_EQ(canvas->Pixel(66, 30), c.quadrants[1]);
        EXPECT_EQ(canvas->Pixel(30, 66), c.quadrants[2]);
        EXPECT_EQ(canvas->Pixel(66, 66), c.quadrants[3]);
        EXPECT_EQ(canvas->Pixel(23, 50), clWhite);
        EXPECT_EQ(canvas->Pixel(72, 50), clWhite);
    }
}

TEST(MetafilePlayer, RestoringTheDeviceStateBringsBackToolsMappingAndClip) {
    const Bytes wmf = redFillWmf()
                          .SaveDc()
                          .Brush(BS_SOLID, clBlue)
                          .Select(2)
                          .WindowOrg(500, 0)
                          .IntersectClip(0, 0, 10, 10)
                          .RestoreDc(-1)
                          .Rectangle(0, 0, 500, 500)
                          .Placeable(0, 0, 1000, 1000, 1000);
    auto canvas = render(wmf);
    EXPECT_EQ(InkBounds(*canvas), (TRect{0, 0, 48, 48}));
    EXPECT_EQ(canvas->Pixel(40, 40), clRed);

    // Two levels back at once; the states saved in between are gone.
    const Bytes emf = redFillEmf()
                          .SaveDc()
                          .Brush(3, BS_SOLID, clBlue)
                          .Select(3)
                          .IntersectClip(0, 0, 5, 5)
                          .SaveDc()
                          .MapMode(MM_ANISOTROPIC)
                          .WindowExt(1, 1)
                          .ViewportExt(2, 2)
                          .RestoreDc(-2)
                          .Rectangle(24, 24, 48, 48)
                          .RestoreDc(-1) // nothing left to restore: ignored
                          .Rectangle(48, 48, 72, 72)
                          .File(2540, 2540);
    canvas = render(emf);
    EXPECT_EQ(InkBounds(*canvas), (TRect{24, 24, 72, 72}));
    EXPECT_EQ(canvas->Pixel(30, 30), clRed);
    EXPECT_EQ(canvas->Pixel(60, 60), clRed);
}

// A record that claims more than is left, or less than a record, ends the play; a record whose
// counts do not fit its own size is skipped. What came before is kept.
TEST(MetafilePlayer, DamagedRecordsPlayWhatTheyCan) {
    const auto first = redFillWmf().Rectangle(0, 0, 48, 48);
    auto withRecord = [&](const Bytes& raw) {
        return records::Wmf(first).Raw(raw).Rectangle(48, 48, 96, 96).Placeable(0, 0, 96, 96, 96);
    };
    Bytes tooLong = {0xFF, 0xFF, 0, 0, 0x1B, 0x04, 0, 0, 0, 0};
    Bytes tooShort = {2, 0, 0, 0, 0x1B, 0x04};
    // A polygon of 30000 points in a record of four.
    Bytes hugeCount = {5, 0, 0, 0, 0x24, 0x03, 0x30, 0x75, 0, 0};
    // A DIB of 16000 x 16000 pixels with four bytes of rows.
    Bytes dib = records::Dib(1, 1, 24, {0});
    samples::put32At(dib, 4, 16000);
    samples::put32At(dib, 8, 16000);
    const Bytes hugeDib =
        records::Wmf().StretchDib(0, 0, 10, 10, 0, 0, 1, 1, dib).Placeable(0, 0, 1, 1, 1);
    const Bytes hugeDibRecord(hugeDib.begin() + 22 + 18, hugeDib.end() - 6);

    struct Case {
        const char* name;
        Bytes raw;
        bool secondDrawn;
    };
    const Case cases[] = {
        {"size beyond the data", tooLong, false},
        {"size below a record", tooShort, false},
        {"point count beyond the record", hugeCount, true},
        {"DIB larger than its bytes", hugeDibRecord, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto canvas = render(withRecord(c.raw));
        EXPECT_EQ(canvas->Pixel(10, 10), clRed);
        EXPECT_EQ(canvas->Pixel(80, 80), c.secondDrawn ? clRed : clWhite);
    }

    // Nothing readable at all, or no metafile: no recording.
    Bytes noRecord = records::Wmf().Placeable(0, 0, 96, 96, 96);
    noRecord.resize(22 + 18);
    EXPECT_FALSE(PlayWindowsMetafile(noRecord));
    EXPECT_FALSE(PlayWindowsMetafile(Bytes{'B', 'M', 0, 0}));
    Bytes noFrame = records::Emf().File(0, 0);
    samples::put32At(noFrame, 16, static_cast<std::uint32_t>(-1));
    EXPECT_FALSE(PlayWindowsMetafile(noFrame)) << "no frame and no bounds";
}
