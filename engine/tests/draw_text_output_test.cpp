// Text drawing on recording and raster canvases: placement for rotation and alignment, run
// offsets, device fitting (WYSIWYG) at several zooms and on a printer page.

#include "engine/draw_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>

#include "engine/tests/fake_measurer.h"
#include "platform/core/numbers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"

namespace {

struct DrawSetup {
    std::vector<std::u16string> lines;
    TRect device = Rect(100, 100, 300, 200);
    double zoom = 1;
    int rotation = 0;
    TFontStyles style;
    double gap = 0;
    double lineSpacing = 0;
    bool wysiwyg = true;
    bool fake = true;
    int points = 12;
};

int sum(const std::vector<int>& v) {
    return std::accumulate(v.begin(), v.end(), 0);
}

std::vector<TTextRecord> draw(const DrawSetup& s, TpgwHAlign h, TpgwVAlign v,
                              TCanvas* target = nullptr, TpgwDrawText* reuse = nullptr) {
    TpgwDrawText own;
    TpgwDrawText& dt = reuse ? *reuse : own;
    if (s.fake) dt.SetMeasurer(FakeMeasurer::Make());
    TFont font;
    font.SetName("Arial");
    font.SetSize(s.points);
    font.SetStyle(s.style);
    font.SetColor(clBlack);
    dt.Lock();
    dt.SetFont(font);
    dt.SetOptions(true, true, false, false, false, s.wysiwyg, s.rotation);
    dt.SetSpacing(s.gap, 0, s.lineSpacing);
    // The layout rectangle is the device rectangle at zoom 1.
    const TRect layout = Rect(0, 0, static_cast<int>(s.device.Width() / s.zoom),
                              static_cast<int>(s.device.Height() / s.zoom));
    dt.SetDimensions(layout, s.device, s.zoom, s.zoom, 1);
    dt.SetText(s.lines);
    TRecordingCanvas recording(1000, 1000);
    TCanvas& canvas = target ? *target : recording;
    dt.DrawText(canvas, h, v);
    dt.Unlock();
    if (target) {
        auto* rec = dynamic_cast<TRecordingCanvas*>(target);
        return rec ? rec->Recording().TextRecords() : std::vector<TTextRecord>{};
    }
    return recording.Recording().TextRecords();
}

struct RotationCase {
    int rotation;
    TPoint first, second, secondRun;
};

class Rotations : public testing::TestWithParam<RotationCase> {};

TEST_P(Rotations, StartCornerLineAdvanceAndPenDirection) {
    const auto& c = GetParam();
    DrawSetup s;
    s.lines = {u"aa", u"b<b>b</b>"};
    s.rotation = c.rotation;
    const auto records = draw(s, haLeft, vaTop);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ((TPoint{records[0].X, records[0].Y}), c.first);
    EXPECT_EQ((TPoint{records[1].X, records[1].Y}), c.second);
    EXPECT_EQ((TPoint{records[2].X, records[2].Y}), c.secondRun);
    EXPECT_EQ(records[0].Font.Orientation, ((c.rotation + 360) % 360) * 10);
    EXPECT_TRUE(records[2].Font.Style.Contains(fsBold));
}

INSTANTIATE_TEST_SUITE_P(Table, Rotations,
                         testing::Values(RotationCase{0, {100, 100}, {100, 116}, {108, 116}},
                                         RotationCase{90, {100, 200}, {116, 200}, {116, 192}},
                                         RotationCase{180, {300, 200}, {300, 184}, {292, 184}},
                                         RotationCase{270, {300, 100}, {284, 100}, {284, 108}},
                                         RotationCase{-90, {300, 100}, {284, 100}, {284, 108}}),
                         [](const auto& info) {
                             return "R" +
                                    std::to_string(info.param.rotation < 0
                                                       ? 360 + info.param.rotation
                                                       : info.param.rotation) +
                                    (info.param.rotation < 0 ? "FromNegative" : "");
                         });

TEST(DrawText, CanvasFontIsUnrotatedAfterwards) {
    DrawSetup s;
    s.lines = {u"aa"};
    s.rotation = 90;
    TRecordingCanvas canvas(1000, 1000);
    draw(s, haLeft, vaTop, &canvas);
    EXPECT_EQ(canvas.Font().Orientation(), 0);
}

struct AlignCase {
    const char* name;
    TpgwHAlign h;
    TpgwVAlign v;
    bool bold;
    TPoint at;
};

class Alignments : public testing::TestWithParam<AlignCase> {};

TEST_P(Alignments, PlaceTheLine) {
    const auto& c = GetParam();
    DrawSetup s;
    s.lines = {u"ab"};
    if (c.bold) s.style = {fsBold};
    const auto records = draw(s, c.h, c.v);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ((TPoint{records[0].X, records[0].Y}), c.at);
}

// "ab" is 16 pixels wide (19 when bold) and 16 high in a 200 x 100 rectangle at (100, 100).
INSTANTIATE_TEST_SUITE_P(
    Table, Alignments,
    testing::Values(AlignCase{"LeftTop", haLeft, vaTop, false, {100, 100}},
                    AlignCase{"RightEndsAtRightEdge", haRight, vaTop, false, {284, 100}},
                    AlignCase{"RightBoldOnePixelFurther", haRight, vaTop, true, {280, 100}},
                    AlignCase{"Center", haCenter, vaTop, false, {192, 100}},
                    AlignCase{"Bottom", haLeft, vaBottom, false, {100, 184}},
                    AlignCase{"Middle", haLeft, vaCenter, false, {100, 142}},
                    AlignCase{"BlockWithoutSpacesIsLeft", haBlock, vaTop, false, {100, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawText, JustifiedLinesFillTheWidthExactlyAndLastLineIsLeft) {
    DrawSetup s;
    s.lines = {u"aa bb cc dd ee ff"};
    s.device = Rect(100, 100, 201, 200); // 101 wide: 13 pixels over three spaces
    const auto records = draw(s, haBlock, vaTop);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Text, u"aa bb cc dd");
    EXPECT_EQ(sum(records[0].Advances), 101);
    EXPECT_EQ(records[0].Advances[2], 8 + 5); // the remainder goes to the first space
    EXPECT_EQ(records[0].Advances[5], 8 + 4);
    EXPECT_EQ(records[0].Advances[8], 8 + 4);
    EXPECT_EQ(records[1].Text, u"ee ff");
    EXPECT_EQ(records[1].X, 100);
    EXPECT_EQ(sum(records[1].Advances), 40);
}

TEST(DrawText, ParagraphGapIndentsFirstLineForLeftAndBlockOnly) {
    DrawSetup s;
    s.lines = {u"aa bb cc dd ee ff"};
    s.device = Rect(100, 100, 201, 200);
    s.gap = 8;
    for (TpgwHAlign h : {haLeft, haBlock}) {
        const auto records = draw(s, h, vaTop);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].X, 108);
        EXPECT_EQ(records[1].X, 100);
    }
    // Rotated, the indent still runs along the line (here upward), not across it.
    DrawSetup r = s;
    r.rotation = 90;
    r.lines = {u"aa"};
    const auto rotated = draw(r, haLeft, vaTop);
    ASSERT_EQ(rotated.size(), 1u);
    EXPECT_EQ((TPoint{rotated[0].X, rotated[0].Y}), (TPoint{100, 192}));

    const auto centred = draw(s, haCenter, vaTop);
    EXPECT_EQ(sum(centred[0].Advances), 88);
    EXPECT_EQ(centred[0].X, 106); // Round((101 - 88) / 2), half to even
}

TEST(DrawText, SubscriptIsLoweredAndReducedSuperscriptKeepsTheTop) {
    for (double zoom : {1.0, 2.0}) {
        DrawSetup s;
        s.lines = {u"H<sub>2</sub>O<sup>3</sup>"};
        s.zoom = zoom;
        s.device =
            Rect(100, 100, 100 + static_cast<int>(200 * zoom), 100 + static_cast<int>(100 * zoom));
        const auto r = draw(s, haLeft, vaTop);
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[1].Y - r[0].Y, static_cast<int>(8 * zoom)); // Round(lowered x 8 pt x scale)
        EXPECT_EQ(r[2].Y, r[0].Y);
        EXPECT_EQ(r[3].Y, r[0].Y);
        EXPECT_EQ(r[1].Font.Height, zoom == 1 ? -11 : -21); // 8 pt at 96 ppi times the zoom
        EXPECT_EQ(r[0].Font.Height, zoom == 1 ? -16 : -32);
        EXPECT_EQ(r[1].X, r[0].X + sum(r[0].Advances));
        EXPECT_EQ(r[2].X, r[1].X + sum(r[1].Advances));
    }
}

TEST(DrawText, NothingToDraw) {
    DrawSetup s;
    EXPECT_TRUE(draw(s, haLeft, vaTop).empty());
}

const std::vector<std::u16string> kParagraph = {
    u"The examination shows a normally sized liver with a homogeneous echo pattern and smooth "
    u"margins. "
    u"The gallbladder is well distended, its wall is not thickened, and there are no stones.",
    u"Impression: no abnormality in the upper abdomen."};

// Design widths of the wrapped lines in 600 ppi pixels.
std::vector<int> designWidths(const std::vector<TTextRecord>& records) {
    auto measurer = TFontMeasurer::Get("Arial", {}, 83);
    std::vector<int> out;
    for (const auto& r : records)
        out.push_back(measurer->TextWidth(r.Text));
    return out;
}

TEST(DrawText, WysiwygLinesHaveTheirDesignWidthAtEveryZoom) {
    for (double zoom : {0.5, 1.0, 2.0}) {
        SCOPED_TRACE(zoom);
        DrawSetup s;
        s.fake = false;
        s.points = 10;
        s.lines = kParagraph;
        s.device = Rect(0, 0, static_cast<int>(200 * zoom), static_cast<int>(400 * zoom));
        s.zoom = zoom;
        const auto records = draw(s, haLeft, vaTop);
        ASSERT_GE(records.size(), 5u);
        const auto wd = designWidths(records);
        for (std::size_t i = 0; i < records.size(); ++i)
            EXPECT_EQ(sum(records[i].Advances),
                      static_cast<int>(RoundHalfEven(wd[i] / 6.25 * zoom)));
        // n lines of the design height: 83 pixels at 600 ppi each.
        const int n = static_cast<int>(records.size());
        const int total = static_cast<int>(RoundHalfEven(83.0 * n / 6.25 * zoom));
        const int h = static_cast<int>(RoundHalfEven(10 * zoom * 96 / 72));
        EXPECT_EQ(records.back().Y - records.front().Y, total - h);
    }
}

TEST(DrawText, WysiwygOnA600DpiPrinterPageUsesTheDesignWidths) {
    TpgwDrawText dt;
    dt.SetPrinterCanvasTest([](const TCanvas&) { return true; });
    TRecordingCanvas page(5000, 5000, 600, 600);
    DrawSetup s;
    s.fake = false;
    s.points = 10;
    s.lines = kParagraph;
    s.device = Rect(0, 0, 1250, 2500); // 200 x 400 units at 600 dpi
    s.zoom = 6.25;
    const auto records = draw(s, haLeft, vaTop, &page, &dt);
    ASSERT_GE(records.size(), 5u);
    EXPECT_EQ(records[0].Font.Height, -83);
    const auto wd = designWidths(records);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(sum(records[i].Advances), wd[i]);
    EXPECT_EQ(records.back().Y - records.front().Y, 83 * static_cast<int>(records.size() - 1));
}

TEST(DrawText, WithoutWysiwygLinesUseThePlainRoundedHeight) {
    DrawSetup s;
    s.fake = false;
    s.points = 10;
    s.lines = kParagraph;
    s.device = Rect(0, 0, 100, 200);
    s.zoom = 0.5;
    s.wysiwyg = false;
    const auto records = draw(s, haLeft, vaTop);
    ASSERT_GE(records.size(), 5u);
    for (std::size_t i = 1; i < records.size(); ++i)
        EXPECT_EQ(records[i].Y - records[i - 1].Y, 7);
}

// A justified, rotated, tagged memo rendered to pixels matches the checked-in image.
TEST(DrawText, RenderedMemoMatchesGoldenImage) {
    if (TFontMeasurer::Get("Arial", {}, 83)->FaceName() != "Liberation Sans")
        GTEST_SKIP() << "Liberation Sans is not installed";
    TRasterCanvas canvas(200, 120, 96, clWhite);
    TpgwDrawText dt;
    TFont font;
    font.SetName("Arial");
    font.SetSize(9);
    font.SetColor(clBlack);
    dt.Lock();
    dt.SetFont(font);
    dt.SetOptions(true, true, false, false, true, true, 90);
    dt.SetSpacing(6, 0, 1);
    const TRect box = Rect(10, 10, 190, 110);
    dt.SetDimensions(box, box, 1, 1, 1);
    dt.SetText(std::vector<std::u16string>{
        u"<b>Liver</b>: normal size, <i>homogeneous</i> echo pattern and smooth margins, no focal "
        u"lesion.",
        u"H<sub>2</sub>O <font color=\"#C00000\">cyst</font> 12 mm<sup>2</sup>, <u>no flow</u>."});
    dt.DrawText(canvas, haBlock, vaCenter);
    dt.Unlock();
    const TRasterImage actual = canvas.ToImage();

    const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/memo_justified_rotated.bmp";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) {
        TBitmap out;
        out.AssignImage(actual);
        const auto bytes = out.SaveToBytes();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    TBitmap golden;
    golden.LoadFromBytes(data);
    const TRasterImage expected = golden.ToImage();
    ASSERT_EQ(expected.Width, actual.Width);
    ASSERT_EQ(expected.Height, actual.Height);

    int differing = 0;
    int inked = 0;
    for (int y = 0; y < actual.Height; ++y) {
        for (int x = 0; x < actual.Width; ++x) {
            const std::uint32_t a = actual.At(x, y), e = expected.At(x, y);
            int worst = 0;
            for (int shift : {0, 8, 16})
                worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                 static_cast<int>((e >> shift) & 0xFF)));
            if (worst > 64) ++differing;
            if (((a >> 8) & 0xFF) < 128) ++inked;
        }
    }
    EXPECT_GT(inked, 500) << "the memo drew nothing";
    EXPECT_LE(differing, actual.Width * actual.Height / 200) << differing << " pixels differ";
}

} // namespace
