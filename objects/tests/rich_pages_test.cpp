// A rich view through the engine: a long text stretches its view over several pages, and the
// parts on the prepared pages join back into the original text with its formats.

#include <gtest/gtest.h>

#include <string>

#include "objects/rich_edit.h"
#include "objects/rich_view.h"
#include "objects/tests/rich_fixture.h"
#include "platform/core/stream.h"
#include "report/band.h"
#include "report/page.h"
#include "report/report.h"

namespace {

using RichPages = RichFixture;

TEST_F(RichPages, ALongTextSplitsOverPagesAndJoinsBackWithItsFormats) {
    TpgwReportPage* page = NewPage("Page1");
    TpgwMasterData* band = NewBand(page, "Band");
    band->SetRowCount(1);
    band->SetStretched(true);
    band->SetAllowSplit(true);
    band->SetBounds(0, 20, 700, 100);
    auto* view = new TpgwRichView(page);
    view->SetParent(band);
    view->SetName("Rich");
    view->SetBounds(0, 0, 600, 100);
    view->SetStretchMode(smActualHeight);
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < 150; ++i)
        rtf += (i % 10 == 0 ? "{\\b Heading " : "{Paragraph ") + std::to_string(i) +
               "} with some words that fill the line\\par ";
    rtf += "}";
    LoadRtf(view, rtf);
    const std::string original = view->RichEdit().Text();

    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_GE(PageCount(), 3);
    std::string joined;
    int bold = 0;
    for (int i = 0; i < PageCount(); ++i) {
        for (TpgwComponent* object : Store().GetPage(i)->AllObjects()) {
            auto* part = dynamic_cast<TpgwRichView*>(object);
            if (!part) continue;
            TQvRichEdit& edit = part->RichEdit();
            joined += edit.Text();
            // Each part's headings are still bold.
            const std::u16string text = edit.Document().Text();
            for (std::size_t at = text.find(u"Heading"); at != std::u16string::npos;
                 at = text.find(u"Heading", at + 1)) {
                edit.SetSelStart(static_cast<int>(at));
                edit.SetSelLength(7);
                EXPECT_TRUE(edit.SelAttributes().Style().Contains(fsBold));
                ++bold;
            }
        }
    }
    EXPECT_EQ(bold, 15);
    // A part that ends inside a paragraph continues it on the next page.
    auto squeeze = [](std::string s) {
        std::string out;
        for (char c : s)
            if (c != '\r' && c != '\n') out += c;
        return out;
    };
    EXPECT_EQ(squeeze(joined), squeeze(original));
}

TEST_F(RichPages, PagesOfALongTextBreakWhereTheWholeTextWouldBreak) {
    // Long enough that a page sees only part of what is still to come, with a picture far on.
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < 700; ++i) {
        rtf += (i % 25 == 0 ? "{\\b\\fs32 Heading " : "{Paragraph ") + std::to_string(i) +
               "} with some words that fill the line and go on to a second one here\\par ";
        if (i == 650)
            rtf += "{\\pict\\dibitmap0\\picw1\\pich1\\picwgoal600\\pichgoal600 "
                   "2800000001000000010000000100180000000000040000001300000013000000"
                   "00000000000000000000ff00}\\par ";
    }
    rtf += "}";
    TpgwReportPage* page = NewPage("Page1");
    auto* view = new TpgwRichView(page);
    view->SetParent(page);
    view->SetBounds(0, 0, 600, 500);
    LoadRtf(view, rtf);
    TRichDocument whole;
    ASSERT_TRUE(whole.LoadRtf(rtf));
    ASSERT_GT(whole.Length(), 40000);

    TRichFormatRange range;
    range.Rect = {0, 0, static_cast<int>((600 - 2 * view->GapX()) * 15),
                  static_cast<int>((500 - 2 * view->GapY()) * 15)};
    view->ResetParts();
    int at = 0, pages = 0, pictures = 0;
    while (at < whole.Length() && pages < 200) {
        range.FirstChar = at;
        const int next = whole.FormatRange(range).NextChar;
        view->SetHeight(500);
        view->TakeFittingPart();
        const TRichDocument& part = view->RichEdit().Document();
        ASSERT_EQ(part.Text(), whole.TextRange(at, std::min(next, whole.Length())))
            << "page " << pages;
        pictures += part.ObjectCount();
        at = next;
        ++pages;
    }
    EXPECT_GT(pages, 20);
    EXPECT_EQ(pictures, 1);
}

} // namespace
