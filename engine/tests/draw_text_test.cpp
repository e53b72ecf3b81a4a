// Text layout: wrapping, heights, splitting at the bottom, widths. A fixed-advance measurer makes
// the numbers plain: a 12-point font is 100 design pixels high (16 report units) and each
// character 50 design pixels (8 units) wide, 60 when bold.

#include "engine/draw_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/tests/fake_measurer.h"
#include "platform/graphics/font_measurer.h"
#include "report/wide_strings.h"

namespace {

constexpr double kChar = 8; // report units per character

struct LayoutOptions {
    double widthChars = 10;
    bool wordWrap = true;
    bool allowTags = true;
    bool wordBreak = false;
    int rotation = 0;
    double gap = 0;
    double charSpacing = 0;
    double lineSpacing = 0;
    int heightUnits = 10000;
};

class Layout {
public:
    explicit Layout(const LayoutOptions& o = {}) { Setup(o); }
    void Setup(const LayoutOptions& o) {
        dt.SetMeasurer(FakeMeasurer::Make());
        TFont font;
        font.SetName("Arial");
        font.SetSize(12);
        font.SetColor(clBlack);
        dt.SetFont(font);
        dt.SetOptions(o.wordWrap, o.allowTags, false, o.wordBreak, false, true, o.rotation);
        dt.SetSpacing(o.gap, o.charSpacing, o.lineSpacing);
        const int w = static_cast<int>(o.widthChars * kChar);
        const TRect layout =
            o.rotation % 180 == 0 ? Rect(0, 0, w, o.heightUnits) : Rect(0, 0, o.heightUnits, w);
        dt.SetDimensions(layout, layout, 1, 1, 1);
    }
    std::vector<std::u16string> Wrap(const std::vector<std::u16string>& lines) {
        dt.SetText(lines);
        std::vector<std::u16string> out;
        for (int i = 0; i < dt.WrappedLineCount(); ++i)
            out.push_back(dt.WrappedLine(i));
        return out;
    }
    std::vector<int> Flags() const {
        std::vector<int> out;
        for (int i = 0; i < dt.WrappedLineCount(); ++i)
            out.push_back(dt.WrappedLineFlags(i));
        return out;
    }
    TpgwDrawText dt;
};

using Lines = std::vector<std::u16string>;

struct WrapCase {
    const char* name;
    LayoutOptions options;
    Lines input;
    Lines wrapped;
};

class Wrapping : public testing::TestWithParam<WrapCase> {};

TEST_P(Wrapping, BreaksAsExpected) {
    const auto& c = GetParam();
    Layout layout(c.options);
    EXPECT_EQ(layout.Wrap(c.input), c.wrapped);
}

LayoutOptions width(double chars) {
    LayoutOptions o;
    o.widthChars = chars;
    return o;
}
LayoutOptions with(LayoutOptions o, void (*change)(LayoutOptions&)) {
    change(o);
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wrapping,
    testing::Values(
        WrapCase{"BreakAtSpace", width(10), {u"aaa bbb ccc"}, {u"aaa bbb", u"ccc"}},
        WrapCase{"ExactWidthFits", width(10), {u"aaaaaaaaaa"}, {u"aaaaaaaaaa"}},
        WrapCase{"LongWordCutWithoutHyphen", width(10), {u"abcdefghijkl"}, {u"abcdefghij", u"kl"}},
        WrapCase{"CharacterWiderThanLine", width(0.5), {u"ab"}, {u"a", u"b"}},
        WrapCase{"SingleCharacterNeverWraps", width(0.5), {u"a"}, {u"a"}},
        WrapCase{"TwoSpacesFirstStays", width(6), {u"aaaa  bbbbbb"}, {u"aaaa ", u"bbbbbb"}},
        WrapCase{"SpacesAfterBreakBeginNextLine", width(4), {u"aaa   bbb"}, {u"aaa ", u" bbb"}},
        WrapCase{"NoBreakSpaceIsALetter", width(5), {u"aa\u00A0bb cc"}, {u"aa\u00A0bb", u"cc"}},
        WrapCase{"ParagraphGapNarrowsFirstLine",
                 with(width(10), [](LayoutOptions& o) { o.gap = 2 * kChar; }),
                 {u"aaaa bbbb cc"},
                 {u"aaaa", u"bbbb cc"}},
        WrapCase{"WithoutGap", width(10), {u"aaaa bbbb cc"}, {u"aaaa bbbb", u"cc"}},
        WrapCase{"CharSpacingCounts",
                 with(width(10), [](LayoutOptions& o) { o.charSpacing = kChar; }),
                 {u"aaa bbb"},
                 {u"aaa", u"bbb"}},
        WrapCase{"WordWrapOff",
                 with(width(3), [](LayoutOptions& o) { o.wordWrap = false; }),
                 {u"aaa bbb ccc"},
                 {u"aaa bbb ccc"}},
        WrapCase{"NoWrapSpanMovesWhole",
                 width(7),
                 {u"aa <nowrap>bb cc</nowrap> dd"},
                 {u"aa", u"bb cc", u"dd"}},
        WrapCase{"SameWithoutNoWrap", width(7), {u"aa bb cc dd"}, {u"aa bb", u"cc dd"}},
        WrapCase{"TagsDoNotTakeWidth", width(5), {u"<b>aa</b> <i>bb</i> cc"}, {u"aa", u"bb cc"}},
        WrapCase{"EmptyLineIsASpace", width(10), {u"", u"a"}, {u" ", u"a"}},
        WrapCase{"HyphenatedWord",
                 with(width(3), [](LayoutOptions& o) { o.wordBreak = true; }),
                 {u"КОШКА"},
                 {u"КО-", u"ШКА"}},
        WrapCase{"HyphenAfterBreakSpace",
                 with(width(6), [](LayoutOptions& o) { o.wordBreak = true; }),
                 {u"да кошка"},
                 {u"да ко-", u"шка"}},
        WrapCase{"WordBreakWithoutPositionCuts",
                 with(width(3), [](LayoutOptions& o) { o.wordBreak = true; }),
                 {u"abcdef"},
                 {u"abc", u"def"}},
        WrapCase{"Rotation90WrapsAtHeight",
                 with(width(5), [](LayoutOptions& o) { o.rotation = 90; }),
                 {u"aaa bbb"},
                 {u"aaa", u"bbb"}},
        WrapCase{"RotationMinus90UsesWidth",
                 with(width(100),
                      [](LayoutOptions& o) {
                          o.rotation = -90;
                          o.heightUnits = 40;
                      }),
                 {u"aaa bbb"},
                 {u"aaa", u"bbb"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Layout, ParagraphFlags) {
    Layout layout(width(5));
    layout.Wrap({u"aaa bbb ccc", u"x", u""});
    EXPECT_EQ(layout.Flags(), (std::vector<int>{1, 0, 2, 3, 3}));
    layout.dt.ClearParagraphFlags(true, true);
    EXPECT_EQ(layout.Flags(), (std::vector<int>{0, 0, 2, 3, 1}));
    EXPECT_EQ(layout.dt.GetSourceText(), u"aaa bbb ccc\r\nx\r\n \r\n");
    EXPECT_EQ(layout.dt.GetWrappedText(), u"aaa\r\nbbb\r\nccc\r\nx\r\n \r\n");
}

TEST(Layout, NoLinesFindsNothing) {
    Layout layout;
    layout.Wrap({});
    EXPECT_EQ(layout.dt.WrappedLineCount(), 0);
    EXPECT_EQ(layout.dt.GetSourceText(), u"");
    EXPECT_EQ(layout.dt.CalcHeight(), 0);
    EXPECT_EQ(layout.dt.CalcWidth(), 0);
    bool cut = true;
    std::u16string rest = u"x";
    layout.dt.SplitAtBottom(cut, rest);
    EXPECT_FALSE(cut);
    EXPECT_EQ(rest, u"");
}

// Lines longer than any fixed buffer wrap the same way as short ones.
TEST(Layout, VeryLongLineWrapsCompletely) {
    std::u16string line;
    for (int i = 0; i < 10000; ++i)
        line += u"abcd ";
    Layout layout(width(10));
    const Lines wrapped = layout.Wrap({line});
    ASSERT_EQ(wrapped.size(), 5000u);
    for (std::size_t i = 0; i + 1 < wrapped.size(); ++i)
        ASSERT_EQ(wrapped[i], u"abcd abcd");
    EXPECT_EQ(wrapped.back(), u"abcd abcd "); // exactly as wide as the line: the space stays
}

struct HeightCase {
    const char* name;
    double lineSpacing;
    int lines;
    double height;
};

class Heights : public testing::TestWithParam<HeightCase> {};

TEST_P(Heights, CountLineHeightsAndSpacing) {
    const auto& c = GetParam();
    LayoutOptions o;
    o.lineSpacing = c.lineSpacing;
    Layout layout(o);
    layout.Wrap(Lines(static_cast<std::size_t>(c.lines), u"x"));
    EXPECT_DOUBLE_EQ(layout.dt.CalcHeight(), c.height);
    EXPECT_DOUBLE_EQ(layout.dt.LineHeight(), 16 + c.lineSpacing);
}

INSTANTIATE_TEST_SUITE_P(Table, Heights,
                         testing::Values(HeightCase{"Plain", 0, 3, 48},
                                         HeightCase{"Positive", 2, 3, 54},
                                         HeightCase{"NegativeCountsOnceLess", -2, 3, 44},
                                         HeightCase{"OneLine", 0.5, 1, 16.5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Layout, HeightDependsOnlyOnPointSize) {
    Layout layout;
    TFont font;
    font.SetName("Courier New");
    font.SetSize(10);
    layout.dt.SetFont(font);
    layout.Wrap({u"x"});
    EXPECT_EQ(layout.dt.WorkFont().Height(), -83); // 10 pt at 600 ppi
    EXPECT_DOUBLE_EQ(layout.dt.LineHeight(), 83 / 6.25);
}

TEST(Layout, CalcWidthTakesTheWidestLineWithRunsSpacingAndIndent) {
    Layout layout(width(100));
    layout.Wrap({u"aaa", u"a<b>bb</b>"});
    EXPECT_DOUBLE_EQ(layout.dt.CalcWidth(), (50 + 60 + 60) / 6.25);

    LayoutOptions o = width(100);
    o.gap = 4;
    o.charSpacing = 1;
    layout.Setup(o);
    layout.Wrap({u"aaa"});
    EXPECT_DOUBLE_EQ(layout.dt.CalcWidth(), (150 + 19 + 25) / 6.25); // spacing Round(18.75)
}

struct SplitCase {
    const char* name;
    LayoutOptions options;
    Lines input;
    bool cutInside;
    std::u16string rest;
    std::u16string kept;
};

class Splitting : public testing::TestWithParam<SplitCase> {};

TEST_P(Splitting, KeepsWhatFitsAndCarriesTheTagState) {
    const auto& c = GetParam();
    Layout layout(c.options);
    layout.Wrap(c.input);
    bool cut = false;
    std::u16string rest;
    layout.dt.SplitAtBottom(cut, rest);
    EXPECT_EQ(cut, c.cutInside);
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(layout.dt.GetSourceText(), c.kept);
}

LayoutOptions box(double chars, int heightUnits, bool wordBreak = false, double lineSpacing = 0) {
    LayoutOptions o;
    o.widthChars = chars;
    o.heightUnits = heightUnits;
    o.wordBreak = wordBreak;
    o.lineSpacing = lineSpacing;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Splitting,
    testing::Values(
        SplitCase{"EverythingFits", box(10, 100), {u"aaa bbb ccc"}, false, u"", u"aaa bbb ccc\r\n"},
        SplitCase{"BoldCarried",
                  box(9, 16),
                  {u"<b>aaa bbb ccc</b>"},
                  true,
                  u"<font color=\"#000000\"><b>ccc</b>\r\n",
                  u"<b>aaa bbb"},
        SplitCase{"ColourCarried",
                  box(9, 16),
                  {u"<b>aaa bbb</b> <font color=\"#FF0000\">ccc ddd</font>"},
                  true,
                  u"<font color=\"#FF0000\">ccc ddd</font>\r\n",
                  u"<b>aaa bbb</b> <font color=\"#FF0000\">"},
        SplitCase{"AllStylesInOrder",
                  box(4, 16),
                  {u"aaa <u><i><b>bbb"},
                  true,
                  u"<font color=\"#000000\"><u><i><b>bbb\r\n",
                  u"aaa <u><i><b>"},
        SplitCase{"BetweenParagraphs",
                  box(10, 16),
                  {u"aaa", u"bbb"},
                  false,
                  u"<font color=\"#000000\">bbb\r\n",
                  u"aaa\r\n"},
        SplitCase{"NothingFits",
                  box(10, 10),
                  {u"aaa", u"bbb"},
                  false,
                  u"<font color=\"#000000\">aaa\r\nbbb\r\n",
                  u""},
        // The character before a cut inside a word fitted, so it stays.
        SplitCase{"CutInsideWordKeepsLastCharacter",
                  box(10, 16),
                  {u"abcdefghijkl"},
                  true,
                  u"<font color=\"#000000\">kl\r\n",
                  u"abcdefghij"},
        SplitCase{"HyphenKeptInSource",
                  box(6, 16, true),
                  {u"да кошка"},
                  true,
                  u"<font color=\"#000000\">шка\r\n",
                  u"да ко-"},
        // Line spacing that eats the whole line height fits nothing instead of dividing by zero.
        SplitCase{"ZeroLineHeightFitsNothing",
                  box(10, 100, false, -16),
                  {u"aaa"},
                  false,
                  u"<font color=\"#000000\">aaa\r\n",
                  u""},
        SplitCase{"NegativeLineHeightFitsNothing",
                  box(10, 100, false, -20),
                  {u"aaa"},
                  false,
                  u"<font color=\"#000000\">aaa\r\n",
                  u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Layout, SplitWithoutTagsCarriesNothing) {
    LayoutOptions o = box(7, 16);
    o.allowTags = false;
    Layout layout(o);
    layout.Wrap({u"aaa bbb ccc"});
    bool cut = false;
    std::u16string rest;
    layout.dt.SplitAtBottom(cut, rest);
    EXPECT_TRUE(cut);
    EXPECT_EQ(rest, u"ccc\r\n");
    EXPECT_EQ(layout.dt.WrappedLineCount(), 1);
}

TEST(Layout, SpaceBelowLines) {
    Layout layout(box(10, 31)); // 32 units: two lines exactly
    layout.Wrap({u"a"});
    EXPECT_DOUBLE_EQ(layout.dt.SpaceBelowLines(), 0.0001);
    layout.Setup(box(10, 39));
    EXPECT_DOUBLE_EQ(layout.dt.SpaceBelowLines(), 8);
    layout.Setup(box(10, 10));
    EXPECT_DOUBLE_EQ(layout.dt.SpaceBelowLines(), 0);
    layout.Setup(box(10, 100, false, -16));
    EXPECT_DOUBLE_EQ(layout.dt.SpaceBelowLines(), 0);
}

// Every instance takes the same process-wide lock, recursively.
TEST(Layout, InstancesShareOneRecursiveLock) {
    TpgwDrawText first;
    TpgwDrawText second;
    first.Lock();
    first.Lock();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        second.Lock();
        entered = true;
        second.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(entered);
    first.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(entered); // still held once
    first.Unlock();
    other.join();
    EXPECT_TRUE(entered);
}

TEST(Layout, StripTags) {
    Layout layout;
    EXPECT_EQ(layout.dt.StripTags(u"H<sub>2</sub>O is <b>water</b>"), u"H2O is water");
}

// A paragraph in Liberation Sans 10 pt (through the Arial substitution) wraps at 300 units to
// the same lines on every machine: the advances are whole design pixels from the font file.
TEST(Layout, LiberationSansParagraphWrapsToGoldenLines) {
    if (TFontMeasurer::Get("Arial", {}, 83)->FaceName() != "Liberation Sans")
        GTEST_SKIP() << "Liberation Sans is not installed";
    TpgwDrawText dt;
    TFont font;
    font.SetName("Arial");
    font.SetSize(10);
    dt.SetFont(font);
    dt.SetOptions(true, true, false, false, false, true, 0);
    dt.SetSpacing(0, 0, 0);
    dt.SetDimensions(Rect(0, 0, 300, 1000), Rect(0, 0, 300, 1000), 1, 1, 1);
    dt.SetText(std::vector<std::u16string>{
        u"The examination shows a normally sized liver with a homogeneous echo pattern and smooth "
        u"margins. The gallbladder is well distended, its wall is not thickened, and there are no "
        u"stones or sludge. Common bile duct 4 mm. Pancreas, spleen and both kidneys unremarkable.",
        u"Impression: no abnormality in the upper abdomen."});
    std::string actual;
    for (int i = 0; i < dt.WrappedLineCount(); ++i)
        actual += Utf16ToUtf8Lenient(dt.WrappedLine(i)) + "\n";

    const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/wrap_liberation_sans_10pt.txt";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << actual;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str());
}

} // namespace
