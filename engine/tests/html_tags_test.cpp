// Tag runs, run measuring and hyphenation.

#include "engine/html_tags.h"

#include <gtest/gtest.h>

#include "engine/draw_text.h"
#include "engine/hyphenation.h"
#include "engine/tests/fake_measurer.h"
#include "platform/core/exception.h"

namespace {

struct Expanded {
    std::u16string text;
    std::vector<TpgwHTMLTag> runs;
};

Expanded expand(std::u16string s, bool allowTags = true, int defaultSize = 10) {
    TpgwHTMLTagsList list;
    list.SetAllowTags(allowTags);
    list.SetDefaults(clBlack, defaultSize, {});
    list.ExpandTags(s);
    Expanded result{s, {}};
    auto runs = list.GetItems(0);
    for (int i = 0; i < runs.Count(); ++i)
        result.runs.push_back(runs.GetItems(i));
    return result;
}

struct TagCase {
    const char* name;
    std::u16string input;
    std::u16string text;
};

class ExpandTagsText : public testing::TestWithParam<TagCase> {};

TEST_P(ExpandTagsText, StripsRecognisedTagsOnly) {
    const auto& c = GetParam();
    const Expanded e = expand(c.input);
    EXPECT_EQ(e.text, c.text);
    EXPECT_EQ(e.runs.size(), c.text.size());
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ExpandTagsText,
    testing::Values(
        TagCase{"Plain", u"abc", u"abc"}, TagCase{"BoldPair", u"a<b>b</b>c", u"abc"},
        TagCase{"UpperCase", u"<B>x</B>", u"x"}, TagCase{"SpaceInsideIsText", u"< b>x", u"< b>x"},
        TagCase{"ShortStrikeIsText", u"<s>x", u"<s>x"},
        TagCase{"AllFixedTags",
                u"<i><u><strike><sub><sup><nowrap>x</nowrap></sup></sub></strike></u></i>", u"x"},
        TagCase{"FontHex", u"<font color=\"#FF0000\">x</font>", u"x"},
        TagCase{"FontName", u"<FONT COLOR = red>x", u"x"},
        TagCase{"FontQuotedName", u"<font color=\"red\">x", u"<font color=\"red\">x"},
        TagCase{"FontEmpty", u"<font color=>x", u"<font color=>x"},
        TagCase{"FontUnknownName", u"<font color=bluish>x", u"<font color=bluish>x"},
        TagCase{"FontWithoutColourIsText", u"<font>x", u"<font>x"},
        TagCase{"FontTakesRestOfLine", u"ab<font color=blue", u"ab"},
        TagCase{"OnlyTags", u"<b></b>", u" "}, TagCase{"Empty", u"", u" "},
        TagCase{"LoneBracket", u"a < b", u"a < b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExpandTags, RunsCarryStatePositionsAndChanges) {
    const Expanded e = expand(u"a<b>b</b>c");
    ASSERT_EQ(e.runs.size(), 3u);
    EXPECT_EQ(e.runs[0].CharPos, 1);
    EXPECT_EQ(e.runs[1].CharPos, 5);
    EXPECT_EQ(e.runs[2].CharPos, 10);
    EXPECT_TRUE(e.runs[0].SameAsPrevious);
    EXPECT_FALSE(e.runs[1].SameAsPrevious);
    EXPECT_FALSE(e.runs[2].SameAsPrevious);
    EXPECT_FALSE(e.runs[0].FontStyle.Contains(fsBold));
    EXPECT_TRUE(e.runs[1].FontStyle.Contains(fsBold));
    EXPECT_FALSE(e.runs[2].FontStyle.Contains(fsBold));
}

TEST(ExpandTags, ClosingTagsDoNotNest) {
    const Expanded e = expand(u"<b><b>x</b>y");
    EXPECT_FALSE(e.runs[1].FontStyle.Contains(fsBold));
    const Expanded sup = expand(u"<sub>x</sup>y");
    EXPECT_EQ(sup.runs[1].FontSize, 10);
    EXPECT_EQ(sup.runs[1].Lowered, 0);
}

TEST(ExpandTags, SubscriptAndSuperscriptAreReducedAndLoweredOrNot) {
    const Expanded e = expand(u"H<sub>2</sub>O<sup>3</sup>");
    EXPECT_EQ(e.text, u"H2O3");
    EXPECT_EQ(e.runs[1].FontSize, 7); // 10 / 1.5 = 6.67
    EXPECT_EQ(e.runs[1].Lowered, 1);
    EXPECT_TRUE(e.runs[1].Reduced);
    EXPECT_FALSE(e.runs[2].Reduced);
    EXPECT_EQ(e.runs[3].Lowered, 0);
    EXPECT_TRUE(e.runs[3].Reduced);
    EXPECT_EQ(expand(u"<sub>x", true, 21).runs[0].FontSize, 14);
}

TEST(ExpandTags, FontColours) {
    EXPECT_EQ(expand(u"<font color=\"#FF0000\">x").runs[0].FontColor, clRed);
    EXPECT_EQ(expand(u"<font color=red>x").runs[0].FontColor, clRed);
    EXPECT_EQ(expand(u"<font color=\"#f00\">x").runs[0].FontColor, RGB(0x00, 0x0F, 0x00));
    EXPECT_EQ(expand(u"<font color=\"#123456\">x</font>y").runs[1].FontColor, clBlack);
    EXPECT_EQ(expand(u"<font color=\"#123456\">x").runs[0].FontColor, RGB(0x12, 0x34, 0x56));
}

TEST(ExpandTags, InvalidHexColourRaisesAndKeepsRunsMadeSoFar) {
    TpgwHTMLTagsList list;
    list.SetDefaults(clBlack, 10, {});
    std::u16string s = u"ab<font color=\"#GG0000\">x";
    EXPECT_THROW(list.ExpandTags(s), EConvertError);
    EXPECT_EQ(list.GetItems(0).Count(), 2);
    std::u16string tooLong = u"<font color=\"#123456789\">x";
    EXPECT_THROW(list.ExpandTags(tooLong), EConvertError);
}

TEST(ExpandTags, WithoutTagsEverythingIsTextAndSameAsPrevious) {
    const Expanded e = expand(u"<b>x", /*allowTags=*/false);
    EXPECT_EQ(e.text, u"<b>x");
    for (const auto& run : e.runs)
        EXPECT_TRUE(run.SameAsPrevious);
}

TEST(ExpandTags, FirstRunComparesWithDefaultsLaterOnesWithThePreviousRun) {
    TpgwHTMLTagsList list;
    list.SetDefaults(clBlack, 10, {fsBold});
    std::u16string s = u"x";
    list.ExpandTags(s);
    EXPECT_TRUE(list.GetItems(0).GetItems(0).SameAsPrevious);
    list.NewLine();
    s = u"</b>y";
    list.ExpandTags(s);
    // The line before ended bold, so the first run of this line differs from it.
    EXPECT_FALSE(list.GetItems(1).GetItems(0).SameAsPrevious);
    EXPECT_EQ(list.GetItems(1).GetItems(0).CharPos, 6);
}

TEST(SplitLineTags, MovesTheTailAndFixesTheFirstRun) {
    TpgwHTMLTagsList list;
    list.SetDefaults(clBlack, 10, {});
    std::u16string s = u"ab<b>cd</b>e";
    list.ExpandTags(s);
    list.SplitLineTags(3, false); // run 4 ("d") is same-as-previous
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItems(0).Count(), 3);
    ASSERT_EQ(list.GetItems(1).Count(), 2);
    const TpgwHTMLTag& d = list.GetItems(1).GetItems(0);
    EXPECT_EQ(d.CharPos, list.GetItems(0).GetItems(2).CharPos);
    EXPECT_FALSE(d.SameAsPrevious); // copied from "c", the first bold run
    EXPECT_EQ(list.LineStartPos(1), 7);

    list.SplitLineTags(1, true);
    ASSERT_EQ(list.Count(), 3);
    ASSERT_EQ(list.GetItems(1).Count(), 2); // "d" and its hyphen
    EXPECT_EQ(list.GetItems(1).GetItems(1).CharPos, list.GetItems(1).GetItems(0).CharPos);
    EXPECT_EQ(list.GetItems(2).Count(), 1);

    list.SplitLineTags(5, false); // no more than 5 runs: nothing happens
    EXPECT_EQ(list.Count(), 3);
}

TEST(CalcCharWidths, SpacingCumulativeReducedAndStyleRuns) {
    FakeMeasurer measurer; // 50 per unit at em 100, 60 bold
    TFont font;
    font.SetHeight(-100);
    TpgwHTMLTagsList list;
    list.SetDefaults(clBlack, 12, {});
    std::u16string s = u"ab";
    list.ExpandTags(s);
    int widths[2];
    EXPECT_EQ(list.CalcCharWidths(widths, s, font, measurer, 0, 2, false), 104);
    EXPECT_EQ(widths[0], 52);
    EXPECT_EQ(widths[1], 52);

    list.NewLine();
    s = u"a<b>b</b><sub>c</sub>";
    list.ExpandTags(s);
    int cum[3];
    EXPECT_EQ(list.CalcCharWidths(cum, s, font, measurer, 1, 0, true), 50 + 60 + 33);
    EXPECT_EQ(cum[0], 50);
    EXPECT_EQ(cum[1], 110);
    EXPECT_EQ(cum[2], 143); // a reduced run counts its width / 1.5
}

TEST(Hyphenation, Positions) {
    EXPECT_EQ(Hyphenate(u"КОШКА"), (std::vector<int>{2, 3}));
    EXPECT_EQ(Hyphenate(u"ВАННА"), (std::vector<int>{3}));
    EXPECT_TRUE(Hyphenate(u"КОТ").empty());
    EXPECT_TRUE(Hyphenate(u"WORD").empty()); // only the Russian letters are classified
    EXPECT_EQ(Hyphenate(u"МОЙКА"), (std::vector<int>{3})); // not before Й
    EXPECT_TRUE(HasVowel(u"КО"));
    EXPECT_FALSE(HasVowel(u"О"));
    EXPECT_FALSE(HasVowel(u"КШ"));
}

TEST(Hyphenation, HyphenateWordPicksTheLastPositionBeforeTheOverflow) {
    EXPECT_EQ(HyphenateWord(u"да кошка.", 4, 8), u"кош"); // limit 4: positions 2, 3
    EXPECT_EQ(HyphenateWord(u"да кошка", 4, 7), u"ко");   // limit 3
    EXPECT_EQ(HyphenateWord(u"да кошка", 4, 5), u"");     // limit 1: nothing below it
    EXPECT_EQ(HyphenateWord(u"abc def", 1, 2), u"");
}

TEST(DistributeEvenly, SpreadsStepsByHalving) {
    int a[6] = {};
    DistributeEvenly(a, 0, 5, 3, 1);
    EXPECT_EQ((std::vector<int>(a, a + 6)), (std::vector<int>{1, 0, 0, 1, 1, 0}));
    int b[4] = {};
    DistributeEvenly(b, 0, 3, 1, -1);
    EXPECT_EQ((std::vector<int>(b, b + 4)), (std::vector<int>{0, -1, 0, 0}));
    int c[2] = {};
    DistributeEvenly(c, 0, 1, 5, 1); // more steps than entries stay inside the range
    EXPECT_EQ(c[0] + c[1], 2);
}

} // namespace
