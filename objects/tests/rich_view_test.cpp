// The rich text view: measuring, bracketed expressions inside formatted text, splitting across
// pages with the continued paragraph's indents, FlowTo, and its stored content.

#include "objects/rich_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/printers.h"
#include "objects/rich_edit.h"
#include "objects/tests/rich_fixture.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "report/page.h"
#include "report/report.h"

namespace {

class RichViews : public RichFixture {
protected:
    void SetUp() override {
        RichFixture::SetUp();
        page = NewPage("Page1");
    }
    TpgwRichView* View(const std::string& rtf, double width = 300, double height = 100) {
        auto* view = new TpgwRichView(page);
        view->SetParent(page);
        view->SetBounds(0, 0, width, height);
        LoadRtf(view, rtf);
        return view;
    }
    // The text without the empty paragraph a closing \par leaves.
    static std::string Text(TpgwRichView* view) {
        std::string text = view->RichEdit().Text();
        if (text.ends_with("\r\n")) text.resize(text.size() - 2);
        return text;
    }
    TpgwReportPage* page = nullptr;
};

TEST_F(RichViews, AnEmptyViewMeasuresNothingAndATextGrowsWithItsLines) {
    TpgwRichView* view = View("");
    EXPECT_EQ(view->CalcHeight(), 0);
    TpgwRichView* one = View("{\\rtf1\\ansi one\\par}");
    TpgwRichView* three = View("{\\rtf1\\ansi one\\par two\\par three\\par}");
    EXPECT_GT(one->CalcHeight(), 2 * one->GapY() + 2);
    EXPECT_GT(three->CalcHeight(), one->CalcHeight());
}

TEST_F(RichViews, ExpressionsAreReplacedInPlaceKeepingTheirFormat) {
    struct Case {
        const char* rtf;
        const char* delimiters;
        const char* text;
    };
    const Case cases[] = {
        {"{\\rtf1\\ansi Sum: {\\b [1+2]} end\\par}", "[,]", "Sum: 3 end"},
        // Without a comma nothing is substituted (the exam browser's setting).
        {"{\\rtf1\\ansi Sum: [1+2]\\par}", "[]", "Sum: [1+2]"},
        // Bracket pairs inside quotes belong to the expression; a value holding "[" stays.
        {"{\\rtf1\\ansi ['x' + '[y]']\\par}", "[,]", "x[y]"},
        // Paragraph breaks before the expression count once.
        {"{\\rtf1\\ansi a\\par b\\par c [2*3] d\\par}", "[,]", "a\r\nb\r\nc 6 d"},
        // Delimiters around a paragraph break lose nothing after them.
        {"{\\rtf1\\ansi x [1 +\\par 2] tail\\par}", "[,]", "x 3 tail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rtf);
        TpgwRichView* view = View(c.rtf);
        view->SetExpressionDelimiters(c.delimiters);
        view->FetchData();
        EXPECT_EQ(Text(view), c.text);
    }
    TpgwRichView* bold = View("{\\rtf1\\ansi Sum: {\\b [1+2]} end\\par}");
    bold->FetchData();
    bold->RichEdit().SetSelStart(5);
    bold->RichEdit().SetSelLength(1);
    EXPECT_TRUE(bold->RichEdit().SelAttributes().Style().Contains(fsBold));
}

TEST_F(RichViews, SplittingKeepsWhatFitsAndContinuesTheParagraphAtTheLeftEdge) {
    std::string rtf = "{\\rtf1\\ansi\\li400\\fi200 ";
    for (int i = 0; i < 60; ++i)
        rtf += "word" + std::to_string(i) + " ";
    rtf += "\\par}";
    TpgwRichView* view = View(rtf, 200, 1000);
    const std::string whole = Text(view);
    view->ResetParts();
    view->SetHeight(40);
    const double unused = view->TakeFittingPart();
    EXPECT_GE(unused, 0);
    EXPECT_LT(unused, 40);
    std::string joined = Text(view);
    EXPECT_LT(joined.size(), whole.size());
    // The continuation starts inside the paragraph: no indents on its first line.
    view->SetHeight(1000);
    view->TakeFittingPart();
    EXPECT_EQ(view->RichEdit().Paragraph().FirstIndent(), 0);
    EXPECT_EQ(view->RichEdit().Paragraph().LeftIndent(), 0);
    joined += Text(view);
    EXPECT_EQ(joined, whole);
}

TEST_F(RichViews, FlowToTakesTheRestAndGetsItsOwnSettingBackAfterTheOutput) {
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < 40; ++i)
        rtf += "line [" + std::to_string(i) + "]\\par ";
    rtf += "}";
    TpgwRichView* source = View(rtf, 300, 60);
    TpgwRichView* target = View("", 300, 2000);
    source->SetFlowTo(target);
    target->SaveForPrint();
    source->SaveForPrint();
    source->FetchData();
    target->FetchData();
    EXPECT_EQ(Text(source).find("line 0"), 0u);
    EXPECT_NE(Text(target).find("line 39"), std::string::npos);
    EXPECT_EQ(Text(target).find('['), std::string::npos);
    EXPECT_FALSE(target->AllowExpressions());
    source->RestoreAfterPrint();
    target->RestoreAfterPrint();
    EXPECT_TRUE(target->AllowExpressions());
    EXPECT_NE(Text(source).find("[0]"), std::string::npos);

    delete target;
    EXPECT_EQ(source->FlowTo(), nullptr);
}

TEST_F(RichViews, TheStoredContentIsWrittenAlwaysAndPlainBytesReadAsText) {
    TpgwRichView* empty = View("");
    EXPECT_FALSE(empty->UsesPrinterDevice() && !empty->Wysiwyg());
    empty->SetWysiwyg(false);
    EXPECT_FALSE(empty->UsesPrinterDevice());

    TpgwRichView* plain = View("just text");
    EXPECT_EQ(Text(plain), "just text");
    std::string exported;
    plain->ExportText(exported);
    EXPECT_EQ(exported.rfind("{\\rtf", 0), 0u);
    plain->SetExportAsPlainText(true);
    plain->ExportText(exported);
    EXPECT_EQ(exported, "just text");
    plain->SetExportAsPlainText(false);
    EXPECT_EQ(Text(plain), "just text");
}

} // namespace

namespace {

TEST_F(RichViews, APrinterMakesTheReferenceAndMeasuresAsTheScreenDoes) {
    const std::string rtf = "{\\rtf1\\ansi one\\par two\\par three\\par}";
    TpgwRichView* view = View(rtf);
    EXPECT_FALSE(view->UsesPrinterDevice()); // no printer installed
    const double screen = view->CalcHeight();
    TpgwScopedPrinters printers({"Office"}); // 600 dpi
    EXPECT_TRUE(view->UsesPrinterDevice());
    // Line heights round to whole pixels at 96 dpi, not at 600: a few units apart.
    EXPECT_NEAR(view->CalcHeight(), screen, 6);
    EXPECT_EQ(View("")->CalcHeight(), 0);
    view->SetWysiwyg(false);
    EXPECT_FALSE(view->UsesPrinterDevice());
    // Drawn through the printer's reference, the text lands where the screen puts it.
    const TRecording picture = view->RenderToMetafile();
    std::string text;
    for (const TTextRecord& record : picture.TextRecords())
        text += Utf16ToUtf8(record.Text);
    EXPECT_NE(text.find("three"), std::string::npos);
}

} // namespace

namespace {

TEST_F(RichViews, ScriptsReachTheViewsRichEdit) {
    TpgwRichView* view = View("{\\rtf1\\ansi scripted\\par}");
    view->SetName("Rich1");
    ASSERT_TRUE(report->SetUpScript()) << report->Errors().Text();
    const Variant edit = report->Calc("Rich1.RichEdit");
    EXPECT_FALSE(edit.IsNull());
    EXPECT_NE(edit.AsString(), "0");
    EXPECT_TRUE(report->Calc("Rich1.RichEdit <> nil").AsBool()) << report->Errors().Text();
}

} // namespace
