// Dot-matrix pages and objects: grid snapping, paper in whole cells, printer font styles that
// follow the page, their trip through templates, the frame between cells, and registration.

#include "report/dmp_class.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/core/stream.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/print/papers.h"
#include "report/band.h"
#include "report/registries.h"
#include "report/report.h"

namespace {

class DotMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterBandAndPageClasses();
        RegisterDMPClasses();
        page = new TpgwDMPPage(&report);
        page->SetName("Page1");
        band = new TpgwMasterData(page);
        band->SetName("MasterData1");
    }

    TpgwReport report{nullptr};
    TpgwDMPPage* page = nullptr;
    TpgwBand* band = nullptr;
};

} // namespace

TEST_F(DotMatrix, PositionsSnapToCharacterCells) {
    enum class Kind { Memo, Line, Command };
    using Setter = void (TpgwComponent::*)(double);
    using Getter = double (TpgwComponent::*)() const;
    struct Case {
        const char* what;
        Kind kind;
        TpgwAlign align;
        Setter set;
        Getter get;
        double value, expected;
    };
    const auto L = &TpgwComponent::SetLeft, T = &TpgwComponent::SetTop;
    const auto W = &TpgwComponent::SetWidth, H = &TpgwComponent::SetHeight;
    const auto l = &TpgwComponent::Left, t = &TpgwComponent::Top;
    const auto w = &TpgwComponent::Width, h = &TpgwComponent::Height;
    const Case cases[] = {
        {"memo left", Kind::Memo, baNone, L, l, 20, 19.2},
        {"memo left, a half goes to even", Kind::Memo, baNone, L, l, 24, 19.2},
        {"memo left above the half", Kind::Memo, baNone, L, l, 25, 28.8},
        {"memo right-aligned left is cut", Kind::Memo, baRight, L, l, 28, 19.2},
        {"memo negative left", Kind::Memo, baNone, L, l, -20, -19.2},
        {"memo top", Kind::Memo, baNone, T, t, 26, 34},
        {"memo width", Kind::Memo, baNone, W, w, 30, 28.8},
        {"memo height", Kind::Memo, baNone, H, h, 8, 0},
        {"line left in the middle of a cell", Kind::Line, baNone, L, l, 20, 24},
        {"line top in the middle of a cell", Kind::Line, baNone, T, t, 40, 42.5},
        {"line negative left", Kind::Line, baNone, L, l, -20, -24},
        {"line right-aligned left", Kind::Line, baRight, L, l, 25, 24},
        {"line width", Kind::Line, baNone, W, w, 25, 28.8},
        {"line width of a stretched line is cut", Kind::Line, baWidth, W, w, 28, 19.2},
        {"line height is free", Kind::Line, baNone, H, h, 5, 5},
        {"command left", Kind::Command, baNone, L, l, 14, 9.6},
        {"command top", Kind::Command, baNone, T, t, 9, 17},
        {"command width is free", Kind::Command, baNone, W, w, 13, 13},
    };
    for (const Case& c : cases) {
        TpgwView* view = nullptr;
        switch (c.kind) {
        case Kind::Memo:
            view = new TpgwDMPMemoView(band);
            break;
        case Kind::Line:
            view = new TpgwDMPLineView(band);
            break;
        case Kind::Command:
            view = new TpgwDMPCommand(band);
            break;
        }
        view->SetAlign(c.align);
        (view->*c.set)(c.value);
        EXPECT_NEAR((view->*c.get)(), c.expected, 1e-9) << c.what;
        // Snapped values are fixed points, except where a right-aligned line's middle of a
        // cell rounds down to the cell before.
        if (c.kind == Kind::Line && c.align == baRight) continue;
        (view->*c.set)((view->*c.get)());
        EXPECT_NEAR((view->*c.get)(), c.expected, 1e-9) << c.what << " again";
    }
    auto* memo = new TpgwDMPMemoView(band);
    memo->SetBoundsDirect(1, 2, 3, 4);
    EXPECT_EQ(memo->Left() + memo->Top() + memo->Width() + memo->Height(), 10)
        << "direct bounds bypass the grid";
}

TEST_F(DotMatrix, PaperAndMarginsInWholeCells) {
    SetCurrentPrinterPaperHook([] { return TPrinterPaper{9, 210, 297, poPortrait}; });
    page->ApplyDefaults();
    SetCurrentPrinterPaperHook({});
    EXPECT_NEAR(page->LeftMargin(), 2.54, 1e-4);
    EXPECT_NEAR(page->RightMargin(), 2.54, 1e-4);
    EXPECT_NEAR(page->TopMargin(), 4.498, 1e-3);
    EXPECT_NEAR(page->BottomMargin(), 4.498, 1e-3);
    EXPECT_NEAR(page->PaperWidth(), 208.28, 1e-2) << "82 whole cells";
    EXPECT_NEAR(page->PaperHeight(), 296.86, 1e-2) << "66 whole rows";
    EXPECT_EQ(page->PaperSize(), 9);
    EXPECT_NEAR(page->Width(), 82 * pg1CharX, 0.5) << "the bounds follow";

    // A paper set by hand is rounded to the nearest cell.
    page->SetPaperWidth(100); // 39.37 cells
    EXPECT_NEAR(page->PaperWidth() * pg01cm, 39 * pg1CharX, 1e-6);
    page->SetPaperHeight(100); // 22.23 rows
    EXPECT_NEAR(page->PaperHeight() * pg01cm, 22 * pg1CharY, 1e-6);
}

TEST_F(DotMatrix, PageStyleReachesObjectsThatFollowTheirParentsFont) {
    auto* follows = new TpgwDMPMemoView(band);
    auto* own = new TpgwDMPMemoView(band);
    own->SetFontStyle(DMPStyle(fsxItalic));
    auto* line = new TpgwDMPLineView(band);
    EXPECT_EQ(follows->Font()->Name(), "Courier New");
    EXPECT_EQ(follows->Font()->Size(), 12);
    EXPECT_FALSE(own->ParentFont());
    EXPECT_TRUE(own->Font()->Style().Contains(fsItalic));

    page->SetFontStyle(DMPStyle(fsxBold) | DMPStyle(fsxCondensed));
    EXPECT_EQ(follows->FontStyle(), DMPStyle(fsxBold) | DMPStyle(fsxCondensed));
    EXPECT_TRUE(follows->ParentFont());
    EXPECT_TRUE(follows->Font()->Style().Contains(fsBold));
    EXPECT_EQ(line->FontStyle(), follows->FontStyle());
    EXPECT_EQ(own->FontStyle(), DMPStyle(fsxItalic)) << "its own style stays";
    EXPECT_FALSE(own->Font()->Style().Contains(fsBold));

    // A new object on the page starts in the page's style; switching back to the parent's font
    // takes it again.
    auto* late = new TpgwDMPMemoView(band);
    EXPECT_EQ(late->FontStyle(), page->FontStyle());
    EXPECT_TRUE(late->Font()->Style().Contains(fsBold));
    own->SetParentFont(true);
    EXPECT_EQ(own->FontStyle(), page->FontStyle());
}

TEST_F(DotMatrix, StylesAndCommandsSurviveATemplate) {
    page->SetFontStyle(DMPStyle(fsxWide));
    auto* memo = new TpgwDMPMemoView(band);
    memo->SetName("DMPMemo1");
    memo->SetFontStyle(DMPStyle(fsxBold) | DMPStyle(fsx15cpi));
    auto* follows = new TpgwDMPMemoView(band);
    follows->SetName("DMPMemo2");
    auto* command = new TpgwDMPCommand(band);
    command->SetName("DMPCommand1");
    command->SetCommand("\x1b@<&>");
    auto* line = new TpgwDMPLineView(band);
    line->SetName("DMPLine1");
    line->SetFontStyle(DMPStyle(fsxSubScript));

    TStringStream saved;
    report.SaveToStream(saved);
    TpgwReport target(nullptr);
    TStringStream in(saved.DataString());
    target.LoadFromStream(in);
    ASSERT_EQ(target.Errors().Count(), 0) << target.Errors().Text();
    auto* loadedPage = dynamic_cast<TpgwDMPPage*>(target.FindObject("Page1"));
    ASSERT_TRUE(loadedPage);
    EXPECT_EQ(loadedPage->FontStyle(), DMPStyle(fsxWide));
    auto* loadedMemo = dynamic_cast<TpgwDMPMemoView*>(target.FindObject("DMPMemo1"));
    ASSERT_TRUE(loadedMemo);
    EXPECT_EQ(loadedMemo->FontStyle(), DMPStyle(fsxBold) | DMPStyle(fsx15cpi));
    EXPECT_FALSE(loadedMemo->ParentFont());
    auto* loadedFollower = dynamic_cast<TpgwDMPMemoView*>(target.FindObject("DMPMemo2"));
    ASSERT_TRUE(loadedFollower);
    EXPECT_TRUE(loadedFollower->ParentFont());
    EXPECT_EQ(loadedFollower->FontStyle(), DMPStyle(fsxWide));
    auto* loadedCommand = dynamic_cast<TpgwDMPCommand*>(target.FindObject("DMPCommand1"));
    ASSERT_TRUE(loadedCommand);
    EXPECT_EQ(loadedCommand->Command(), "\x1b@<&>");
    auto* loadedLine = dynamic_cast<TpgwDMPLineView*>(target.FindObject("DMPLine1"));
    ASSERT_TRUE(loadedLine);
    EXPECT_EQ(loadedLine->FontStyle(), DMPStyle(fsxSubScript));
}

TEST_F(DotMatrix, PreparedPageAttributesAgainstAReference) {
    TpgwDMPMemoView memo(nullptr), memoRef(nullptr);
    memo.SetFontStyle(DMPStyle(fsxBold) | DMPStyle(fsxWide));
    EXPECT_NE(memo.ChangedAttributes(&memoRef).find(" FontStyle=\"65\""), std::string::npos);
    memoRef.SetFontStyle(memo.FontStyle());
    EXPECT_EQ(memo.ChangedAttributes(&memoRef).find("FontStyle"), std::string::npos);

    TpgwDMPCommand command(nullptr), commandRef(nullptr);
    command.SetCommand("a<b");
    EXPECT_NE(command.ChangedAttributes(&commandRef).find(" Command=\"a&#60;b\""),
              std::string::npos)
        << command.ChangedAttributes(&commandRef);
    commandRef.SetCommand("a<b");
    EXPECT_EQ(command.ChangedAttributes(&commandRef).find("Command"), std::string::npos);
}

TEST_F(DotMatrix, MemoMeasuresInWholeCells) {
    auto* memo = new TpgwDMPMemoView(band);
    memo->SetBounds(0, 0, 96, 17);
    memo->Memo()->SetText(u"one\r\ntwo\r\nthree");
    const double height = memo->CalcHeight();
    EXPECT_GT(height, 0);
    EXPECT_NEAR(std::fmod(height, pg1CharY), 0, 1e-9);
    const double width = memo->CalcWidth();
    EXPECT_GT(width, 0);
    EXPECT_NEAR(width / pg1CharX, std::round(width / pg1CharX), 1e-9);
}

TEST_F(DotMatrix, FrameRunsHalfACellOutsideTheMemo) {
    auto* memo = new TpgwDMPMemoView(band);
    band->SetTop(0);
    memo->SetBounds(2 * pg1CharX, 2 * pg1CharY, 4 * pg1CharX, pg1CharY);
    memo->Frame()->SetTyp(ftAll);
    TRasterCanvas canvas(100, 80);
    canvas.Brush().SetColor(clWhite);
    canvas.FillRect({0, 0, 100, 80});
    memo->Draw(canvas, 1, 1, 0, 0);
    TRect ink{canvas.Width(), canvas.Height(), 0, 0};
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            if (canvas.Pixel(x, y) == clBlack) {
                ink.Left = std::min(ink.Left, x), ink.Top = std::min(ink.Top, y);
                ink.Right = std::max(ink.Right, x + 1), ink.Bottom = std::max(ink.Bottom, y + 1);
            }
    // 19.2 - 4.8, 34 - 8.5, 57.6 + 4.8, 51 + 8.5 rounded; the pen takes in the end pixel.
    EXPECT_EQ(ink.Left, 14);
    EXPECT_EQ(ink.Top, 26);
    EXPECT_EQ(ink.Right, 63);
    EXPECT_EQ(ink.Bottom, 61);
    EXPECT_EQ(memo->X(), 19) << "the text rectangle is the memo's own";
}

TEST_F(DotMatrix, RegisteredForDotMatrixPages) {
    EXPECT_EQ(GetClass("TpgwDMPPage"), &TpgwDMPPage::StaticClass());
    struct Expected {
        const TClassInfo* cls;
        int image;
    };
    for (const Expected& e : {Expected{&TpgwDMPMemoView::StaticClass(), 2},
                              Expected{&TpgwDMPLineView::StaticClass(), 5},
                              Expected{&TpgwDMPCommand::StaticClass(), 21}}) {
        const TpgwObjectCollection& objects = GetRegisteredObjects();
        int found = 0;
        for (int i = 0; i < objects.Count(); ++i)
            if (objects.Items(i).ObjectClass == e.cls) {
                ++found;
                EXPECT_EQ(objects.Items(i).PageKinds, pkDotMatrixPage) << e.cls->ClassName();
                EXPECT_EQ(objects.Items(i).ImageIndex, e.image) << e.cls->ClassName();
            }
        EXPECT_EQ(found, 1) << e.cls->ClassName();
    }
    UnregisterDMPClasses();
    EXPECT_EQ(GetClass("TpgwDMPPage"), nullptr);
    for (int i = 0; i < GetRegisteredObjects().Count(); ++i)
        EXPECT_NE(GetRegisteredObjects().Items(i).ObjectClass, &TpgwDMPCommand::StaticClass());
    RegisterDMPClasses();
}
