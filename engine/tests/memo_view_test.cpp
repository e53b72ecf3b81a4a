// Memo views against the real text layout: bracketed expressions and their formats, hidden
// zeros and suppressed repeats, measuring with frames, gaps and shadow, the split across pages
// with its paragraph flags, prepared-page attributes, object text and drawing to pixels.

#include "report/memo_view.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/draw_text.h"
#include "engine/text_drawing_adapter.h"
#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/core/stream.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/raster_canvas.h"
#include "report/tests/calc_report.h"
#include "report/tests/golden_image.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

bool liberationSans() {
    return TFontMeasurer::Get("Arial", {}, 83)->FaceName() == "Liberation Sans";
}

std::u16string u16(std::string_view s) {
    return Utf8ToUtf16Lenient(s);
}

constexpr TColor kBlue = 0xFF0000, kPaleYellow = 0xC0FFFF, kRed = 0x0000FF;

class Memos : public ::testing::Test {
protected:
    void SetUp() override {
        InstallEngineTextDrawing();
        RegisterViewClasses();
        RegisterMemoClasses();
        report.values = {{"12.5", Variant(12.5)},
                         {"day", Variant::FromDate(EncodeDate(2010, 3, 5))},
                         {"yes", Variant(true)},
                         {"no", Variant(false)},
                         {"zero", Variant(0)},
                         {"zeroText", Variant("0")},
                         {"name", Variant("Wang")},
                         {"word", Variant("abc")},
                         {"F(1) #N%2.2f)", Variant("call")},
                         {"IIF([a] > 1, 'y', 'n')", Variant("y")},
                         {"'x%>y'", Variant("Q")},
                         {"big", Variant(1234.5)}};
    }

    TpgwMemoView* memo(std::string_view text, double width = 200, double height = 40) {
        auto* m = new TpgwMemoView(&report);
        m->SetBounds(10, 20, width, height);
        m->Font()->SetName("Arial");
        m->Font()->SetSize(10);
        m->SetText(std::string(text));
        return m;
    }

    // One output as the engine runs it; the text printed.
    std::string output(TpgwCustomMemoView& m) {
        m.SaveForPrint();
        m.FetchData();
        std::string text = m.Text();
        m.RestoreAfterPrint();
        return text;
    }

    TCalcReport report{nullptr};
};

// ---- expressions and formats

struct ExpressionCase {
    const char* text;
    const char* expected;
    const char* delimiters = "[,]";
    bool hideZeros = false;
};

TEST_F(Memos, ExpandsAndFormatsBracketedExpressions) {
    const ExpressionCase cases[] = {
        {"[12.5 #N%2.2f]", "12.50"},
        {"[12.5 #N%2,2f]", "12,50"},
        {"[day #Ddd.mm.yyyy]", "05.03.2010"},
        {"[yes #BNo,Yes] [no #BNo,Yes]", "Yes No"},
        // A ")" after " #" belongs to a call: no format, the whole text is the expression.
        {"[F(1) #N%2.2f)]", "call"},
        // A spec after the closing bracket is text.
        {"[1+2] #N%2.2f", "3 #N%2.2f"},
        // Nested brackets are one expression.
        {"[IIF([a] > 1, 'y', 'n')]!", "y!"},
        // A closing pair inside quotes does not close.
        {"a <%'x%>y'%> b", "a Q b", "<%,%>"},
        {"[1+2] is [1+2", "3 is [1+2"},
        {"left [word", "left [word"},
        {"[zero]|[zeroText]", "|0", "[,]", true},
        {"[zero]|[zeroText]", "0|0"},
        {"[12.5 #N%q]", "12.5"},   // a bad picture prints plain text
        {"[word #N%2.2f]", "abc"}, // so does a value that is no number
        {"[big #N#0.00]", "1234.50"},
        {"[1+2]", "[1+2]", "[]"}, // no comma: no delimiters
        {"[TOTALPAGES#] of [CopyName#]", "[TotalPages#] of [CopyName#]"},
    };
    for (const ExpressionCase& c : cases) {
        TpgwMemoView* m = memo(c.text);
        m->SetExpressionDelimiters(c.delimiters);
        m->SetHideZeros(c.hideZeros);
        EXPECT_EQ(output(*m), std::string(c.expected) + "\r\n") << c.text;
        EXPECT_EQ(m->Text(), std::string(c.text) + "\r\n") << "template text kept: " << c.text;
        delete m;
    }
}

TEST_F(Memos, UnclosedBracketIsNotEvaluated) {
    TpgwMemoView* m = memo("total [abc");
    report.calls.clear();
    EXPECT_EQ(output(*m), "total [abc\r\n");
    EXPECT_TRUE(report.calls.empty());
}

TEST_F(Memos, FailingExpressionRaisesAndKeepsTemplate) {
    TpgwMemoView* m = memo("[1+2] [nonsense]");
    m->SaveForPrint();
    EXPECT_THROW(m->FetchData(), Exception);
    m->RestoreAfterPrint();
    EXPECT_EQ(m->Text(), "[1+2] [nonsense]\r\n");
}

TEST_F(Memos, SeparatorsSwapInOnePass) {
    TpgwMemoView* m = memo("");
    TpgwFormat f;
    f.SetKind(fkNumeric);
    f.SetFormatStr("%n");
    f.SetDecimalSeparator(",");
    f.SetThousandSeparator(" ");
    EXPECT_EQ(m->FormatValue(Variant(1234.5), &f), "1 234,50");
    f.SetFormatStr("%5d");
    EXPECT_EQ(m->FormatValue(Variant(42), &f), "   42");
    EXPECT_EQ(m->FormatValue(Variant::Null(), &f), "");
    // Without a format of its own the display format applies.
    m->DisplayFormat()->SetKind(fkBoolean);
    m->DisplayFormat()->SetFormatStr("off,on");
    EXPECT_EQ(m->FormatValue(Variant(true)), "on");
}

TEST_F(Memos, SuppressRepeatedPrintsRepeatsEmptyUntilReset) {
    TpgwMemoView* m = memo("[name]");
    m->SetSuppressRepeated(true);
    std::vector<std::string> printed;
    for (const char* name : {"A", "A", "B", "B"}) {
        report.values["name"] = Variant(name);
        if (printed.size() == 3) m->ResetRepeatedValue(); // a new page
        printed.push_back(output(*m));
    }
    EXPECT_EQ(printed, (std::vector<std::string>{"A\r\n", "", "B\r\n", "B\r\n"}));
}

TEST_F(Memos, HighlightFollowsItsCondition) {
    TpgwMemoView* m = memo("[name]");
    m->Highlight()->SetCondition("hot");
    TpgwMemoView reference(nullptr);
    for (bool hot : {true, false}) {
        report.values["hot"] = Variant(hot);
        m->SaveForPrint();
        m->FetchData();
        EXPECT_EQ(m->Highlight()->Active(), hot);
        EXPECT_EQ(m->ChangedAttributes(&reference).find("Highlight.Active=\"1\"") !=
                      std::string::npos,
                  hot);
        m->RestoreAfterPrint();
    }
    report.values["hot"] = Variant("not a Boolean");
    m->FetchData();
    EXPECT_FALSE(m->Highlight()->Active());

    // A prepared page's attributes bring the state back.
    {
        TMemoryStream unused;
        TpgwXMLSerializer reader(unused);
        reader.SetOwner(&report);
        auto* back = dynamic_cast<TpgwMemoView*>(
            reader.ObjectFromText(&report, "TpgwMemoView Highlight.Active=\"1\"", false));
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->Highlight()->Active());
    }

    // The shown value reaches the script as "Value" before the condition is evaluated.
    TpgwMemoView* seven = memo("[7]");
    seven->Highlight()->SetCondition("Value");
    seven->FetchData();
    EXPECT_EQ(report.values["Value"].AsInteger(), 7);
}

TEST_F(Memos, PageMacrosAndExportText) {
    TpgwMemoView* m = memo("[TOTALPAGES#] / [TotalPages]");
    m->TotalPages = 7;
    std::string exported;
    m->ExportText(exported);
    EXPECT_EQ(exported, "[TOTALPAGES#] / 7\r\n");
    m->ExpandPageMacros();
    EXPECT_EQ(m->Text(), "7 / [TotalPages]\r\n");
}

TEST_F(Memos, FlowToTakesWhatDoesNotFit) {
    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    TpgwMemoView* first = memo("one\ntwo\nthree\nfour", 200, 20);
    TpgwMemoView* next = memo("[not evaluated]");
    first->SetFlowTo(next);
    first->SetFlowTo(first); // a memo cannot flow into itself
    EXPECT_EQ(first->FlowTo(), nullptr);
    first->SetFlowTo(next);
    first->FetchData();
    EXPECT_EQ(first->Text(), "one\r\n");
    EXPECT_EQ(next->Text(), "two\r\nthree\r\nfour\r\n");
    EXPECT_FALSE(next->AllowExpressions());
    delete next;
    EXPECT_EQ(first->FlowTo(), nullptr);
}

TEST_F(Memos, RotationKeptModulo360WithSign) {
    TpgwMemoView m(nullptr);
    for (auto [set, kept] : {std::pair{450, 90}, {-90, -90}, {720, 0}, {-450, -90}}) {
        m.SetRotation(set);
        EXPECT_EQ(m.Rotation(), kept) << set;
    }
}

TEST_F(Memos, TextAndAnsiText) {
    TpgwMemoView* m = memo("");
    m->SetText("肝脏\r\nЛёд");
    EXPECT_EQ(m->Memo()->Count(), 2);
    EXPECT_EQ(m->Memo()->Strings(0), u"肝脏");
    m->Font()->SetCharset(204); // Cyrillic: code page 1251
    m->SetText("Лёд");
    EXPECT_EQ(m->AnsiText(), "\xCB\xB8\xE4\r\n");
    m->SetAnsiText("\xEB\xB8\xE4");
    EXPECT_EQ(m->Text(), "лёд\r\n");
}

// ---- object text and prepared-page attributes

TEST_F(Memos, ObjectTextRoundTrip) {
    TpgwMemoView* m = memo("first & <line>\r\n\"second\" [1+2]");
    m->SetName("Memo1");
    m->SetGapX(3.5);
    m->SetLineSpacing(4);
    m->SetHAlign(haBlock);
    m->SetVAlign(vaCenter);
    m->SetRotation(-90);
    m->SetExpressionDelimiters("<%,%>");
    m->SetWordWrap(false);
    m->SetUnderlines(true);
    m->SetHideZeros(true);
    m->Highlight()->SetCondition("x > 1");
    m->Highlight()->SetColor(kRed);
    m->DisplayFormat()->SetKind(fkNumeric);
    m->DisplayFormat()->SetFormatStr("%2.2f");
    TpgwMemoView* target = memo("flow target");
    target->SetName("Memo2");
    m->SetFlowTo(target);

    TMemoryStream unused;
    TpgwXMLSerializer writer(unused);
    writer.SetOwner(&report);
    const std::string text = writer.ObjectToText(m);
    EXPECT_NE(text.find("GapX=\"3.5\""), std::string::npos) << text;
    EXPECT_EQ(text.find("GapY="), std::string::npos) << "defaults are not written: " << text;
    TpgwXMLSerializer reader(unused);
    reader.SetOwner(&report);
    auto* copy = dynamic_cast<TpgwMemoView*>(reader.ObjectFromText(&report, text, false));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(reader.Errors().Count(), 0) << reader.Errors().Text();
    EXPECT_EQ(copy->Text(), m->Text());
    EXPECT_EQ(copy->Rotation(), -90);
    EXPECT_EQ(copy->HAlign(), haBlock);
    EXPECT_EQ(copy->ExpressionDelimiters(), "<%,%>");
    EXPECT_EQ(copy->Highlight()->Condition(), "x > 1");
    EXPECT_EQ(copy->DisplayFormat()->FormatStr(), "%2.2f");
    TpgwXMLSerializer again(unused);
    again.SetOwner(&report);
    EXPECT_EQ(again.ObjectToText(copy), text);
}

TEST_F(Memos, ChangedAttributesInOrderWithTextAsU) {
    TpgwMemoView reference(nullptr);
    TpgwMemoView m(nullptr);
    m.SetText("a\r\nb & \"c\"");
    m.SetGapX(3);
    m.SetHAlign(haCenter);
    m.Highlight()->SetActive(true);
    m.SetLineSpacing(4);
    m.SetParagraphGap(5);
    m.SetRotation(90);
    m.SetUnderlines(true);
    m.SetVAlign(vaBottom);
    m.SetWordWrap(false);
    const std::string text = m.ChangedAttributes(&reference);
    const std::string expected =
        " GapX=\"3\" HAlign=\"2\" Highlight.Active=\"1\" LineSpacing=\"4\" u=\"" +
        EncodeXMLText("a\r\nb & \"c\"") +
        "\" ParagraphGap=\"5\" Rotation=\"90\" Underlines=\"1\" VAlign=\"1\" WordWrap=\"0\"";
    EXPECT_EQ(text, expected);

    TpgwMemoView empty(nullptr);
    EXPECT_EQ(empty.ChangedAttributes(&reference), " u=\"\"");
}

// ---- measuring against the real layout

struct MeasureCase {
    const char* text;
    TpgwFrameTypes sides;
    double frameWidth;
    double gapX, gapY;
    bool shadow;
    // The layout width the text must wrap in, and the extras around the text.
    int layoutWidth;
    double extraX, extraY;
};

TEST_F(Memos, CalcHeightAndWidthAddFrameGapsAndShadow) {
    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    const char* para = "The gallbladder is well distended, its wall is not thickened, and there "
                       "are no stones or sludge.";
    const MeasureCase cases[] = {
        // Width 200: the text rectangle spans 200 - 2 x gap + 1 pixels.
        {"Liver", 0, 1, 2, 1, false, 197, 4, 2},
        {para, 0, 1, 2, 1, false, 197, 4, 2},
        {para, ftAll, 3, 2, 1, false, 195, 4 + 1 + 1.5, 2 + 1 + 1.5},
        {para, FrameSide(ftLeft) | FrameSide(ftTop), 3, 0, 0, false, 200, 1, 1},
        {"one\ntwo\nthree", ftAll, 1, 5, 4, true, 181, 10 + 0 + 0.5 + 4, 8 + 0 + 0.5 + 4},
        {"", 0, 1, 2, 1, false, 197, 4, 2},
    };
    for (const MeasureCase& c : cases) {
        TpgwMemoView* m = memo(c.text, 200, 30);
        m->Frame()->SetTyp(c.sides);
        m->Frame()->SetWidth(c.frameWidth);
        m->Frame()->SetDropShadow(c.shadow);
        m->SetGapX(c.gapX);
        m->SetGapY(c.gapY);

        TpgwDrawText dt;
        dt.SetFont(*m->Font());
        dt.SetOptions(true, false, false, false, true, true, 0);
        dt.SetSpacing(0, 0, 2);
        const TRect layout = Rect(0, 0, c.layoutWidth, 1000);
        dt.SetDimensions(layout, layout, 1, 1, 1);
        dt.SetText(*m->Memo());
        EXPECT_EQ(m->CalcHeight(), static_cast<double>(Round(dt.CalcHeight() + c.extraY)))
            << c.text << " sides " << int(c.sides);
        const TRect all = Rect(0, 0, 10000, 10000);
        dt.SetDimensions(all, all, 1, 1, 1);
        dt.SetText(*m->Memo());
        EXPECT_EQ(m->CalcWidth(), static_cast<double>(Round(dt.CalcWidth() + c.extraX))) << c.text;
        delete m;
    }
}

TEST_F(Memos, TenLineMemoSplitsInsideAParagraph) {
    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    std::u16string original;
    for (int i = 1; i <= 10; ++i)
        original += u"Line " + u16(std::to_string(i)) +
                    u" of the findings, long enough to wrap in a narrow memo.\r\n";
    TpgwMemoView* m = memo("", 150, 200);
    m->Memo()->SetText(original);
    const double fullHeight = m->CalcHeight();
    TpgwMemoView reference(nullptr);

    TpgwDrawText dt;
    dt.SetFont(*m->Font());
    dt.SetOptions(true, false, false, false, true, true, 0);
    dt.SetSpacing(0, 0, 2);
    const TRect layout = Rect(0, 0, 147, 1000);
    dt.SetDimensions(layout, layout, 1, 1, 1);
    dt.SetText(std::vector<std::u16string>{original.substr(0, original.find(u'\r'))});
    const int firstParagraphLines = dt.WrappedLineCount();
    ASSERT_GE(firstParagraphLines, 2);
    const double line = dt.LineHeight();

    // Room for the first paragraph and one line more: the cut lies inside the second one.
    m->ResetParts();
    m->SetHeight((firstParagraphLines + 1) * line + 2);
    const double below = m->TakeFittingPart();
    EXPECT_GE(below, 0);
    EXPECT_LT(below, line);
    EXPECT_TRUE(m->LastParaBreak());
    EXPECT_FALSE(m->FirstParaBreak());
    const std::u16string first = m->Memo()->Text();
    const std::string firstAttrs = m->ChangedAttributes(&reference);
    EXPECT_NE(firstAttrs.find(" LastParaBreak=\"1\""), std::string::npos) << firstAttrs;
    EXPECT_EQ(firstAttrs.find("FirstParaBreak"), std::string::npos) << firstAttrs;

    m->SetHeight(fullHeight);
    m->TakeFittingPart();
    EXPECT_FALSE(m->LastParaBreak());
    const std::u16string second = m->Memo()->Text();
    const std::string secondAttrs = m->ChangedAttributes(&reference);
    EXPECT_NE(secondAttrs.find(" FirstParaBreak=\"1\""), std::string::npos) << secondAttrs;
    EXPECT_EQ(secondAttrs.find("LastParaBreak"), std::string::npos) << secondAttrs;

    // The break space of the cut is dropped; the parts join back to the text.
    ASSERT_GE(first.size(), 2u);
    EXPECT_EQ(first.substr(0, first.size() - 2) + u" " + second, original);

    // Not one line fits: the whole height is unused.
    m->ResetParts();
    m->SetHeight(3);
    EXPECT_EQ(m->TakeFittingPart(), 3);
}

// ---- drawing

TEST_F(Memos, FramedUnderlinedHighlightedMemoMatchesGoldenImage) {
    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    TpgwMemoView* m = memo("Liver: normal size, homogeneous echo pattern and smooth margins. "
                           "[name], [12.5 #N%2.2f] cm.",
                           220, 80);
    m->Frame()->SetTyp(ftAll);
    m->Frame()->SetWidth(2);
    m->Frame()->SetColor(kBlue);
    m->Frame()->SetDropShadow(true);
    m->SetUnderlines(true);
    m->SetHAlign(haBlock);
    m->Highlight()->SetCondition("hot");
    m->Highlight()->SetColor(kPaleYellow);
    m->Highlight()->Font()->SetName("Arial");
    m->Highlight()->Font()->SetSize(10);
    m->Highlight()->Font()->SetColor(kRed);
    m->Highlight()->Font()->SetStyle(TFontStyles{fsBold});
    report.values["hot"] = Variant(true);
    m->SaveForPrint();
    m->FetchData();
    TRasterCanvas canvas(250, 120);
    m->Draw(canvas, 1, 1, 0, 0);
    m->RestoreAfterPrint();
    EXPECT_EQ(m->Color(), clNone) << "the highlight colour is given back after drawing";
    EXPECT_TRUE(golden::MatchesGolden(canvas.ToImage(), "memo_framed_underlined_highlighted"));
}

} // namespace
