// The preview control over real prepared pages, offscreen: what it paints (pages, the active
// frame, thumbnail numbers, the search highlight), how it turns pages and zooms, the search
// record by record, pages appearing while a report prepares, and its commands' edges.

#include "engine/preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/form.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/tree_view.h"
#include "report/resources.h"

namespace {

std::uint32_t rgb(TColor c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("lumetra_preview_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

class Preview : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        auto recorder = std::make_unique<TRecordingReporter>();
        boxes = recorder.get();
        reporterScope = std::make_unique<TScopedReporter>(std::move(recorder));
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 900, 700);
        preview = new TpgwPreview(form.get());
        preview->SetParent(form.get());
        preview->SetAlign(alClient);
        form->Show();
        Application()->ProcessMessages();
    }
    void TearDown() override {
        for (const std::string& file : files)
            std::filesystem::remove(file);
        form.reset();
        EngineFixture::TearDown();
        reporterScope.reset();
        SearchState() = {};
    }

    // pages.pg3 with rows pages, prepared and shown in the control.
    void Show(int rows = 3) {
        Load("../preview/pages.pg3");
        Find<TpgwMasterData>("Row")->SetRowCount(rows);
        report->SetPreview(preview);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ASSERT_EQ(PageCount(), rows);
        Application()->ProcessMessages();
    }
    TpgwPreviewWorkspace& Ws() { return *preview->Workspace(); }
    TRasterImage Grab(TpgwPreviewWorkspace& ws) {
        Application()->ProcessMessages();
        return ws.GrabImage();
    }
    // The client rectangle of page index in the main workspace.
    TRect PageRect(int index) {
        TRect r =
            Ws().Model.PageList.GetPageBounds(index, Ws().ClientRect().Width(), false, Ws().Zoom());
        return {r.Left - Ws().Model.Offset.X, r.Top - Ws().Model.Offset.Y,
                r.Right - Ws().Model.Offset.X, r.Bottom - Ws().Model.Offset.Y};
    }
    void Search(const std::string& what, int startPage = 0) {
        SearchState().Text = what;
        SearchState().CaseSensitive = false;
        SearchState().LastFoundRecord = -1;
        Ws().Model.SearchStartPage = startPage;
        Ws().FindText();
    }

    // The grab as a PNG file, removed when the test ends.
    void SavePng(const TRasterImage& image, const std::string& name) {
        files.push_back(TempPath(name));
        SaveImageAsPng(image, files.back());
    }

    TRecordingReporter* boxes = nullptr;
    std::unique_ptr<TScopedReporter> reporterScope;
    std::vector<std::string> files;
    std::unique_ptr<TForm> form;
    TpgwPreview* preview = nullptr;
};

TEST_F(Preview, ThreePagesInRowsWithTheActiveFrame) {
    Show();
    preview->SetZoom(0.5);
    ASSERT_EQ(Ws().Model.PageList.Count(), 3);
    const TRasterImage image = Grab(Ws());
    SavePng(image, "three_pages.png");
    int onScreen = 0;
    for (int i = 0; i < 3; ++i) {
        const TRect r = PageRect(i);
        if (r.Top >= image.Height || r.Bottom <= 0 || r.Right > image.Width) continue;
        ++onScreen;
        // The page is white inside its one-pixel frame, its content drawn over it.
        EXPECT_EQ(image.At(r.Right - 3, r.Top + 3), rgb(clWhite)) << i;
        EXPECT_EQ(image.At(r.Left, r.Top + 5), rgb(clBlack)) << i;
    }
    EXPECT_GE(onScreen, 2);
    const TRect first = PageRect(0);
    EXPECT_EQ(image.At(first.Left - 2, first.Top + 20), rgb(preview->ActiveFrameColor()));
    const TRect second = PageRect(1);
    EXPECT_EQ(image.At(second.Left - 2, second.Top + 20), rgb(preview->BackColor()));
    EXPECT_EQ(image.At(2, image.Height - 20), rgb(preview->BackColor()));

    preview->Next();
    const TRasterImage next = Grab(Ws());
    const TRect r = PageRect(1);
    EXPECT_EQ(next.At(r.Left - 2, r.Top + 20), rgb(preview->ActiveFrameColor()));
}

TEST_F(Preview, ThumbnailsCarryTheirNumbers) {
    Show();
    preview->SetThumbnailVisible(true);
    EXPECT_FALSE(preview->OutlineVisible());
    Application()->ProcessMessages();
    TpgwPreviewWorkspace& thumbs = *preview->ThumbnailWorkspace();
    ASSERT_EQ(thumbs.Model.PageList.Count(), 3);
    const TRasterImage image = Grab(thumbs);
    SavePng(image, "thumbnails.png");
    for (int i = 0; i < 2; ++i) {
        const TRect r =
            thumbs.Model.PageList.GetPageBounds(i, thumbs.ClientRect().Width(), false, 0.1);
        // " N " in white on the background colour at the page's top-left corner.
        int white = 0, back = 0;
        for (int y = r.Top + 1; y < r.Top + 12; ++y)
            for (int x = r.Left + 1; x < r.Left + 16; ++x) {
                white += image.At(x, y) == rgb(clWhite);
                back += image.At(x, y) == rgb(preview->BackColor());
            }
        EXPECT_GT(white, 3) << i;
        EXPECT_GT(back, 40) << i;
    }
}

TEST_F(Preview, SearchGoesRecordByRecordFindsChineseAndEnds) {
    Show(2);
    preview->SetZoom(1);
    const TRasterImage before = Grab(Ws());
    Search("超声");
    ASSERT_TRUE(SearchState().Found);
    EXPECT_EQ(Ws().Model.SearchStartPage, 0);
    const int firstRecord = SearchState().LastFoundRecord;
    const TRect found = SearchState().FoundRect;

    // The hit is inverted: what was white is black now.
    const TRasterImage after = Grab(Ws());
    SavePng(after, "search_hit.png");
    const TRect page = PageRect(0);
    const int x = page.Left + found.Right - 1, y = page.Top + found.Bottom - 2;
    EXPECT_EQ(before.At(x, y), rgb(clWhite));
    EXPECT_EQ(after.At(x, y), rgb(clBlack));

    // The same text again: the next record of the page, then the next page, then nothing.
    Ws().FindText();
    ASSERT_TRUE(SearchState().Found);
    EXPECT_EQ(Ws().Model.SearchStartPage, 0);
    EXPECT_GT(SearchState().LastFoundRecord, firstRecord);
    EXPECT_GT(SearchState().FoundRect.Top, found.Top);
    Ws().FindText();
    ASSERT_TRUE(SearchState().Found);
    EXPECT_EQ(Ws().Model.SearchStartPage, 1);
    Ws().FindText();
    Ws().FindText();
    EXPECT_FALSE(SearchState().Found);
    EXPECT_EQ(Ws().Model.SearchStartPage, 2);
    ASSERT_EQ(boxes->Boxes.size(), 1u);
    EXPECT_EQ(boxes->Boxes[0].Text, GetResources().GetText("clStrNotFound"));
}

TEST_F(Preview, PagesAppearWhileTheReportPrepares) {
    Load("../preview/pages.pg3");
    Find<TpgwMasterData>("Row")->SetRowCount(60);
    report->SetPreview(preview);
    std::vector<int> laidOut; // pages in the layout when page n (1-based) is announced
    report->OnProgress = [&](TObject*, int type, int) {
        if (type == ptRunning) laidOut.push_back(Ws().Model.PageList.Count());
    };
    std::vector<bool> running;
    preview->OnPageChanged = [&](TpgwPreview* p, int) { running.push_back(p->Running()); };
    ASSERT_TRUE(Prepare());
    ASSERT_EQ(laidOut.size(), 60u);
    EXPECT_EQ(laidOut[1], 1); // the first page at once
    EXPECT_EQ(laidOut[50], 50);
    EXPECT_EQ(laidOut[59], 50); // from page 51 on only at the end
    EXPECT_EQ(Ws().Model.PageList.Count(), 60);
    EXPECT_FALSE(preview->Running());
    EXPECT_NE(std::find(running.begin(), running.end(), true), running.end());
    EXPECT_FALSE(running.back());
    EXPECT_EQ(preview->PageNo(), 1);
}

TEST_F(Preview, PageNumberZoomAndKeys) {
    Show(5);
    struct Case {
        int set;
        int expected;
    };
    for (const Case c : {Case{0, 1}, Case{-3, 1}, Case{4, 4}, Case{99, 5}}) {
        preview->SetPageNo(c.set);
        EXPECT_EQ(preview->PageNo(), c.expected) << c.set;
    }
    std::uint16_t key = VK_HOME;
    preview->KeyCommand(key, 0);
    EXPECT_EQ(preview->PageNo(), 1);
    key = VK_END;
    preview->KeyCommand(key, 0);
    EXPECT_EQ(preview->PageNo(), 5);
    key = VK_NEXT;
    preview->KeyCommand(key, ShiftBit(ssCtrl));
    EXPECT_EQ(preview->PageNo(), 5);
    key = VK_PRIOR;
    preview->KeyCommand(key, ShiftBit(ssCtrl));
    EXPECT_EQ(preview->PageNo(), 4);

    preview->SetZoom(0.1);
    EXPECT_DOUBLE_EQ(preview->Zoom(), 0.25);
    EXPECT_EQ(preview->ZoomMode(), zmDefault);
    preview->MouseWheelScroll(-120, false, true);
    EXPECT_DOUBLE_EQ(preview->Zoom(), 0.3);
    preview->MouseWheelScroll(120, false, true);
    EXPECT_NEAR(preview->Zoom(), 0.4, 1e-9);

    // A portrait page in a wide control is fitted by its height.
    preview->SetZoomMode(zmWholePage);
    int w = 0, h = 0;
    Store().GetPageSize(0, w, h);
    EXPECT_NEAR(preview->Zoom(), double(Ws().Height() - 26) / h, 1e-9);

    // A zoom the pages cannot be laid out at is refused; the one before stays.
    preview->SetZoom(1);
    EXPECT_THROW(preview->SetZoom(1e10), EIntOverflow);
    EXPECT_DOUBLE_EQ(preview->Zoom(), 1);
    EXPECT_DOUBLE_EQ(Ws().Zoom(), 1);
    EXPECT_EQ(Ws().Model.PageList.Count(), 5);

    // Scrolling to a page makes it current.
    preview->First();
    Ws().SetVertPosition(Ws().Model.PageList.Items(2).Top);
    EXPECT_EQ(preview->PageNo(), 3);
}

TEST_F(Preview, FindNextWaitsForAFindAfterARelayout) {
    Show(2);
    SearchState().Text = "超声";
    Ws().Model.SearchStartPage = 0;
    preview->SetZoom(0.5); // a relayout ends the search
    std::uint16_t key = VK_F1 + 2;
    preview->KeyCommand(key, 0);
    EXPECT_FALSE(SearchState().Found);
    EXPECT_TRUE(boxes->Boxes.empty());
}

TEST_F(Preview, CommandEdges) {
    Show(5);
    preview->SetPageNo(4);
    preview->DeletePage(); // page 4 of 5: page 3 becomes current
    EXPECT_EQ(PageCount(), 4);
    EXPECT_EQ(preview->PageNo(), 3);
    preview->SetPageNo(1);
    preview->DeletePage();
    EXPECT_EQ(PageCount(), 3);
    EXPECT_EQ(preview->PageNo(), 1);
    preview->AddPage();
    EXPECT_EQ(PageCount(), 4);

    preview->SetPageNo(3);
    preview->LoadFromFile(TempPath("missing.pp3"));
    EXPECT_EQ(PageCount(), 4);
    EXPECT_EQ(preview->PageNo(), 1);
    EXPECT_FALSE(preview->Locked());
    EXPECT_FALSE(Ws().Locked);
}

TEST_F(Preview, SavedPagesLoadBackWithTheirOutline) {
    Show(3);
    EXPECT_EQ(preview->OutlineTree()->Items().Count(), 3);
    const std::string path = TempPath("saved.pp3");
    preview->SaveToFile(path);
    EXPECT_FALSE(preview->Locked());
    Store().Clear();
    preview->UpdateOutline();
    preview->LoadFromFile(path);
    std::filesystem::remove(path);
    EXPECT_EQ(PageCount(), 3);
    EXPECT_EQ(Ws().Model.PageList.Count(), 3);
    ASSERT_EQ(preview->OutlineTree()->Items().Count(), 3);
    TTreeNode* third = preview->OutlineTree()->Items().Item(2);
    EXPECT_EQ(third->Text(), "Row 3");
    EXPECT_EQ(third->ImageIndex(), 3);

    // A click on a node goes to its place.
    preview->SetZoom(1);
    preview->OutlineTree()->SetSelected(third);
    preview->OutlineTree()->Click();
    EXPECT_EQ(preview->PageNo(), 3);
    EXPECT_EQ(Ws().VertPosition(), Ws().Model.ScrollToPosition(3, third->StateIndex(), 10));
}

TEST_F(Preview, CommandsWaitWhileTheReportRuns) {
    Show(3);
    int seen = -1;
    report->OnProgress = [&](TObject*, int type, int page) {
        if (type != ptRunning || page != 2) return;
        EXPECT_TRUE(preview->Running());
        preview->DeletePage();
        preview->Clear();
        seen = PageCount();
    };
    ASSERT_TRUE(Prepare());
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(PageCount(), 3);
}

TEST_F(Preview, AReportFreedWhileShownLeavesTheControlEmpty) {
    Show(3);
    report.reset();
    EXPECT_EQ(preview->Report(), nullptr);
    EXPECT_EQ(preview->PageCount(), 0);
    EXPECT_EQ(Ws().Model.PageList.Count(), 0);
    const TRasterImage image = Grab(Ws());
    EXPECT_EQ(image.At(image.Width / 2, image.Height / 2), rgb(preview->BackColor()));
    preview->Next();
    preview->Print();
}

TEST_F(Preview, PublishedPropertiesReachTheWorkspaceAndTheStrips) {
    EXPECT_EQ(GetPropValue(*preview, "ActiveFrameColor"), Variant(8405024));
    SetPropValue(*preview, "BackColor", Variant(255));
    EXPECT_EQ(Ws().BackColor, static_cast<TColor>(255));
    SetPropValue(*preview, "OutlineVisible", Variant(true));
    SetPropValue(*preview, "ThumbnailVisible", Variant(true));
    EXPECT_FALSE(preview->OutlineVisible()); // showing one strip hides the other
    EXPECT_TRUE(preview->Splitter()->Visible());
    EXPECT_EQ(GetPropValue(*preview, "UseReportHints"), Variant(true));
}

TEST_F(Preview, AControlFreedFirstDetachesFromItsReport) {
    Show(2);
    form.reset();
    EXPECT_EQ(report->Preview(), nullptr);
    EXPECT_TRUE(Prepare());
}

} // namespace
