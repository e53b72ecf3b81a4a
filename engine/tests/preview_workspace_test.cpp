// The preview workspace's arithmetic: page rows, lookups, page rectangles, zoom and page number
// rules, redraw pacing while a report prepares, colour mixing, and the text search over recorded
// pages.

#include "engine/preview_workspace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "platform/core/exception.h"

namespace {

// Three 794 x 1123 pages at zoom 0.5 laid out in 900 pixels: two in the first row, one below.
TpgwPageList threePages() {
    TpgwPageList list;
    for (int i = 0; i < 3; ++i)
        list.AddPage(794, 1123, 0.5);
    list.CalcBounds(900);
    return list;
}

TpgwWorkspaceModel threePageModel() {
    TpgwWorkspaceModel model;
    model.Zoom = 0.5;
    for (int i = 0; i < 3; ++i)
        model.AddPage(794, 1123);
    model.CalcPageBounds(900);
    return model;
}

} // namespace

// ---- layout -------------------------------------------------------------------------------------

TEST(PreviewPageList, RowsAreCentredTenPixelsApart) {
    const TpgwPageList list = threePages();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Width, 397);
    EXPECT_EQ(list.Items(0).Height, 562); // 561.5 rounds to even
    EXPECT_EQ(list.Items(0).Left, 58);
    EXPECT_EQ(list.Items(0).Top, 10);
    EXPECT_EQ(list.Items(1).Left, 465);
    EXPECT_EQ(list.Items(1).Top, 10);
    EXPECT_EQ(list.Items(2).Left, 261);
    EXPECT_EQ(list.Items(2).Top, 582);
    EXPECT_EQ(list.MaxWidth(), 814);
    EXPECT_EQ(list.GetMaxBounds(), (TSize{814, 1144}));
}

TEST(PreviewPageList, PageWiderThanTheSpaceStandsAloneAtTen) {
    TpgwWorkspaceModel model;
    model.AddPage(400, 300);
    model.AddPage(1200, 500);
    model.AddPage(400, 300);
    model.CalcPageBounds(900);
    const TpgwPageList& list = model.PageList;
    EXPECT_EQ(list.Items(0).Top, 10);
    EXPECT_EQ(list.Items(1).Left, 10);
    EXPECT_EQ(list.Items(1).Top, 320);
    EXPECT_EQ(list.Items(2).Top, 830);
    EXPECT_EQ(list.MaxWidth(), 1210);
    EXPECT_EQ(model.ScrollExtents(), (TSize{1220, 1140}));
}

TEST(PreviewPageList, EmptyListAndClear) {
    TpgwPageList list = threePages();
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.GetMaxBounds(), (TSize{0, 0}));
    EXPECT_EQ(list.FindPage(100, 0), -1);
    EXPECT_EQ(list.FindPage(100, 100), -1);
    list.CalcBounds(900);
    EXPECT_EQ(list.MaxWidth(), 0);
}

TEST(PreviewPageList, FindPage) {
    const TpgwPageList list = threePages();
    struct Case {
        int y, x, page;
        const char* what;
    } cases[] = {
        {-200, 0, -1, "view above the first page"},
        {0, 0, 1, "a row's last page is current within a fifth of its height"},
        {469, 0, 1, "third page still more than a fifth below the view"},
        {470, 0, 2, "third page within a fifth (112 pixels)"},
        {5, 100, -1, "point above the first page"},
        {300, 100, 0, "point on the first page"},
        {300, 500, 1, "point on the second page"},
        {300, 460, 1, "point between pages of a row: the page above"},
        {577, 300, 1, "point between rows: the page above"},
        {600, 300, 2, "point on the third page"},
        {5000, 300, 2, "point below everything"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.FindPage(c.y, c.x), c.page) << c.what;
}

TEST(PreviewPageList, GetPageBounds) {
    const TpgwPageList list = threePages();
    EXPECT_EQ(list.GetPageBounds(2, 900, false, 0.5), Rect(261, 582, 658, 1144));
    // Right to left: the first page of a row stands at the right.
    EXPECT_EQ(list.GetPageBounds(0, 900, true, 0.5), Rect(445, 10, 842, 572));
    EXPECT_EQ(list.GetPageBounds(1, 900, true, 0.5), Rect(38, 10, 435, 572));
    // Not listed: an A4 page at the zoom, centred, or at 10 when the client is too narrow.
    EXPECT_EQ(list.GetPageBounds(3, 900, false, 0.5), Rect(252, 5, 649, 567));
    EXPECT_EQ(list.GetPageBounds(-1, 300, false, 0.5), Rect(10, 5, 407, 567));
}

TEST(PreviewPageList, OverflowRaises) {
    TpgwPageList list;
    EXPECT_THROW(list.AddPage(1000000, 1000000, 5000.0), EIntOverflow);
    list.AddPage(2000000000, 10, 1.0);
    list.AddPage(2000000000, 10, 1.0);
    EXPECT_THROW(list.CalcBounds(900), EIntOverflow);
}

// ---- zoom and page number -----------------------------------------------------------------------

TEST(PreviewZoom, PageNumberIsClamped) {
    struct Case {
        int value, count, result;
    } cases[] = {{0, 5, 1}, {-3, 5, 1}, {3, 5, 3}, {6, 5, 5}, {1, 0, 0}, {-1, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(ClampPageNo(c.value, c.count), c.result) << c.value << " of " << c.count;
}

TEST(PreviewZoom, SetZoomAndWheel) {
    EXPECT_DOUBLE_EQ(ClampZoom(0.1), 0.25);
    EXPECT_DOUBLE_EQ(ClampZoom(1.5), 1.5);
    EXPECT_DOUBLE_EQ(WheelZoom(1.0, 120), 1.1);
    EXPECT_DOUBLE_EQ(WheelZoom(1.0, 1), 1.1);
    EXPECT_DOUBLE_EQ(WheelZoom(1.0, -360), 0.9);
    EXPECT_DOUBLE_EQ(WheelZoom(0.35, -120), 0.3);
    EXPECT_DOUBLE_EQ(WheelZoom(0.3, -120), 0.3);
    EXPECT_DOUBLE_EQ(WheelZoom(0.25, 120), 0.35);
    EXPECT_DOUBLE_EQ(WheelZoom(0.8, 0), 0.8);
}

TEST(PreviewZoom, ZoomModes) {
    // A portrait page in a wide control fits by height, a landscape one in a tall control by width.
    const TpgwZoomFit wide{{794, 1123}, {1000, 600}, {1000, 600}, 17};
    const TpgwZoomFit tall{{1123, 794}, {400, 900}, {400, 900}, 17};
    EXPECT_DOUBLE_EQ(ZoomForMode(zmWholePage, 1.0, wide), 574.0 / 1123);
    EXPECT_DOUBLE_EQ(ZoomForMode(zmWholePage, 1.0, tall), 357.0 / 1123);
    EXPECT_DOUBLE_EQ(ZoomForMode(zmPageWidth, 1.0, wide), 957.0 / 794);
    EXPECT_DOUBLE_EQ(ZoomForMode(zmDefault, 1.7, wide), 1.7);
    EXPECT_DOUBLE_EQ(ZoomForMode(zmManyPages, 1.7, wide), 1.7);
    // A page without height keeps the zoom; one without width keeps it when fitting the width.
    EXPECT_DOUBLE_EQ(ZoomForMode(zmWholePage, 0.8, {{794, 0}, {1000, 600}, {1000, 600}, 17}), 0.8);
    EXPECT_DOUBLE_EQ(ZoomForMode(zmPageWidth, 0.8, {{0, 1123}, {1000, 600}, {1000, 600}, 17}), 0.8);
    EXPECT_EQ(LayoutWidth(1000, 17), 957);
}

// ---- pacing -------------------------------------------------------------------------------------

TEST(PreviewProgress, RedrawIntervalFromTheSecondPage) {
    struct Case {
        std::uint32_t start, ms;
        int interval;
    } cases[] = {{1000, 3, 50}, {1000, 4, 50}, {1000, 5, 20}, {1000, 7, 20},
                 {1000, 9, 20}, {1000, 10, 5}, {1000, 12, 5}, {0xFFFFFFFEu, 7, 20}};
    for (const Case& c : cases) {
        std::uint32_t now = c.start;
        TpgwProgressPacer pacer([&] { return now; });
        EXPECT_TRUE(pacer.Step(0, true).MakeCurrent);
        now += c.ms;
        EXPECT_TRUE(pacer.Step(1, true).MakeCurrent);
        EXPECT_EQ(pacer.Interval(), c.interval) << c.ms << " ms";
        std::vector<int> notified;
        for (int page = 2; page <= 100; ++page) {
            const TpgwProgressStep step = pacer.Step(page, true);
            EXPECT_FALSE(step.MakeCurrent);
            if (step.Notify) notified.push_back(page);
        }
        ASSERT_EQ(notified.size(), static_cast<std::size_t>(100 / c.interval)) << c.ms << " ms";
        EXPECT_EQ(notified.front(), c.interval);
    }
}

TEST(PreviewProgress, OnlyTheFirstFiftyPagesOfTheFinalPassAreLaidOutAtOnce) {
    TpgwProgressPacer pacer([] { return 0u; });
    EXPECT_FALSE(pacer.Step(0, false).AddToLayout);
    EXPECT_TRUE(pacer.Step(0, true).AddToLayout);
    EXPECT_TRUE(pacer.Step(49, true).AddToLayout);
    EXPECT_FALSE(pacer.Step(50, true).AddToLayout);
    EXPECT_FALSE(pacer.Step(51, true).AddToLayout);
}

// ---- colours ------------------------------------------------------------------------------------

TEST(PreviewColors, MixColors) {
    EXPECT_EQ(MixColors(clWhite, clBlack, 30), RGB(77, 77, 77));
    EXPECT_EQ(MixColors(clRed, clBlue, 50), RGB(128, 0, 128));
    EXPECT_EQ(MixColors(clWhite, clBlack, 0), clBlack);
    // From 100 on the share is in thousandths.
    EXPECT_EQ(MixColors(clWhite, clBlack, 300), RGB(77, 77, 77));
    EXPECT_EQ(MixColors(clWhite, clBlack, 1000), clWhite);
    EXPECT_EQ(MixColors(clWhite, clBlack, 5000), clWhite);
    EXPECT_EQ(MixColors(clWhite, clBlack, -20), clBlack);
    // System colours are resolved first.
    EXPECT_EQ(MixColors(clHighlight, clHighlight, 30), ColorToRGB(clHighlight));
}

// ---- workspace ----------------------------------------------------------------------------------

TEST(PreviewWorkspace, ScrollTargets) {
    TpgwWorkspaceModel model = threePageModel();
    EXPECT_EQ(model.ScrollExtents(), (TSize{824, 1154}));
    EXPECT_EQ(model.ScrollToPage(1), 0);
    EXPECT_EQ(model.ScrollToPage(3), 572);
    EXPECT_EQ(model.ScrollToPage(4), std::nullopt);
    EXPECT_EQ(model.ScrollToPage(0), std::nullopt);
    model.SuppressScrollSync = true;
    EXPECT_EQ(model.ScrollToPage(3), std::nullopt);
    // Positions ignore SuppressScrollSync; y counts from the top margin, in page pixels.
    EXPECT_EQ(model.ScrollToPosition(3, 0, 10), 572);
    EXPECT_EQ(model.ScrollToPosition(3, 100, 10), 572 + 69); // (37.7953 + 100) * 0.5
    EXPECT_EQ(model.ScrollToPosition(4, 100, 10), std::nullopt);
    EXPECT_EQ(model.PageNoAt(-200), 0);
    EXPECT_EQ(model.PageNoAt(600), 3);
}

TEST(PreviewWorkspace, PageUnderTheMouseMirroredRightToLeft) {
    TpgwWorkspaceModel model = threePageModel();
    EXPECT_EQ(model.PageAtPoint(100, 300, 900), 0);
    model.RightToLeft = true;
    EXPECT_EQ(model.PageAtPoint(500, 300, 900), 0);
    EXPECT_EQ(model.PageAtPoint(100, 300, 900), 1);
    model.Offset = {0, 500};
    EXPECT_EQ(model.PageAtPoint(500, 100, 900), 2);
}

TEST(PreviewWorkspace, VisiblePages) {
    TpgwWorkspaceModel model = threePageModel();
    auto indexes = [](const std::vector<TpgwVisiblePage>& pages) {
        std::vector<int> out;
        for (const TpgwVisiblePage& p : pages)
            out.push_back(p.Index);
        return out;
    };
    const TSize client{900, 400};
    EXPECT_EQ(indexes(model.VisiblePages(client, false)), (std::vector<int>{0, 1}));
    model.Offset = {0, 600};
    const auto visible = model.VisiblePages(client, false);
    EXPECT_EQ(indexes(visible), (std::vector<int>{2}));
    EXPECT_EQ(visible[0].Bounds, Rect(261, -18, 658, 544));
    // The first row ends one pixel above the view: painted (its frame), not clipped out.
    model.Offset = {0, 573};
    EXPECT_EQ(indexes(model.VisiblePages(client, false)), (std::vector<int>{2}));
    EXPECT_EQ(indexes(model.VisiblePages(client, true)), (std::vector<int>{0, 1, 2}));

    model.PageList.Clear();
    EXPECT_TRUE(model.VisiblePages(client, true).empty());
}

TEST(PreviewWorkspace, VisiblePagesLookOnlyAroundTheScrollPosition) {
    TpgwWorkspaceModel model;
    model.Zoom = 0.01; // every page 8 x 11: hundreds fit in the view
    for (int i = 0; i < 200; ++i)
        model.AddPage(794, 1123);
    model.CalcPageBounds(10); // one page per row
    auto pages = model.VisiblePages({900, 100000}, true);
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(pages.front().Index, 0);
    EXPECT_EQ(pages.back().Index, 39); // the view's top is above page 0: -1 + 40
    model.Offset = {0, model.PageList.Items(100).Top};
    pages = model.VisiblePages({900, 100000}, true);
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(pages.front().Index, 100); // the pages above it end above the view
    EXPECT_EQ(pages.back().Index, 140);
}

TEST(PreviewWorkspace, FrameHighlightDragAndClicks) {
    TpgwWorkspaceModel model = threePageModel();
    model.PageNo = 3;
    EXPECT_EQ(model.ActiveFramePoints(900),
              (std::vector<TPoint>{{260, 581}, {659, 581}, {659, 1145}, {260, 1145}, {260, 580}}));
    model.Offset = {0, 500};
    EXPECT_EQ(model.ActiveFramePoints(900).front(), (TPoint{260, 81}));

    const TpgwSearchState saved = SearchState();
    SearchState().FoundRect = Rect(10, 20, 31, 40);
    EXPECT_EQ(model.HighlightArea(Rect(58, 10, 455, 572)), Rect(62, 20, 75, 30));
    SearchState() = saved;

    EXPECT_EQ(TpgwWorkspaceModel::DragPosition({100, 200}, {50, 50}, {60, 40}), (TPoint{90, 210}));

    EXPECT_FALSE(model.RegisterClick(0, 500)); // no earlier click, even at tick 0
    EXPECT_TRUE(model.RegisterClick(300, 500));
    EXPECT_FALSE(model.RegisterClick(400, 500)); // the pair is complete; this one starts anew
    EXPECT_FALSE(model.RegisterClick(1000, 500));
    EXPECT_TRUE(model.RegisterClick(1500, 500));
}

// ---- search -------------------------------------------------------------------------------------

TEST(PreviewSearch, TextContains) {
    struct Case {
        std::u16string text, what;
        bool caseSensitive, found;
    } cases[] = {
        {u"腹部超声检查", u"超声", false, true},
        {u"腹部超声检查", u"超声", true, true},
        {u"腹部超声检查", u"超聲", false, false},
        {u"xabcx", u"ABC", false, true},
        {u"xabcx", u"ABC", true, false},
        {u"ΣΟΦΊΑ", u"σοφία", false, true},
        {u"ΟΔΟΣ", u"οδος", false, true},       // final sigma
        {u"straße", u"STRASSE", false, false}, // simple folding only
        {u"Привет", u"ПРИВЕТ", false, true},
        {u"a\xD800xyz", u"XYZ", false, true}, // an unpaired surrogate is kept, not fatal
        {u"𠀀超声", u"超声", false, true},
        {u"anything", u"", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextContains(c.text, c.what, c.caseSensitive), c.found)
            << c.caseSensitive << " " << c.found;
}

namespace {

// Pages of text lines, one text record each, drawn on demand and counted.
class FakePages final : public TpgwSearchSource {
public:
    explicit FakePages(std::vector<std::vector<std::u16string>> pages) : pages_(std::move(pages)) {}
    int PageCount() override { return static_cast<int>(pages_.size()); }
    TRecording DrawPage(int index) override {
        ++draws;
        TRecordingCanvas canvas(794, 1123);
        int y = 100;
        for (const std::u16string& line : pages_.at(static_cast<std::size_t>(index))) {
            canvas.TextOutW(50, y, line);
            y += 200;
        }
        return canvas.TakeRecording();
    }
    int draws = 0;

private:
    std::vector<std::vector<std::u16string>> pages_;
};

class PreviewSearchTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = SearchState(); }
    void TearDown() override { SearchState() = saved_; }

    void start(const std::string& text, bool caseSensitive) {
        SearchState().Text = text;
        SearchState().CaseSensitive = caseSensitive;
        SearchState().LastFoundRecord = -1;
        model.SearchStartPage = 0;
    }

    TpgwWorkspaceModel model;
    FakePages pages{
        {{u"患者信息", u"腹部超声检查", u"结论", u"超声提示正常"}, {u"第二页 超声"}, {u"Summary"}}};

private:
    TpgwSearchState saved_;
};

} // namespace

TEST_F(PreviewSearchTest, StepsRecordByRecordAndEndsAfterTheLastPage) {
    for (int i = 0; i < 3; ++i)
        model.AddPage(794, 1123);
    model.CalcPageBounds(900);
    start("超声", false);
    const TSize client{900, 2000};

    struct Hit {
        int page, record;
    } hits[] = {{0, 1}, {0, 3}, {1, 0}};
    for (const Hit& hit : hits) {
        const TpgwFindResult r = model.FindText(pages, client);
        ASSERT_TRUE(r.Found);
        EXPECT_TRUE(SearchState().Found);
        EXPECT_EQ(model.SearchStartPage, hit.page);
        EXPECT_EQ(SearchState().LastFoundRecord, hit.record);
        EXPECT_FALSE(SearchState().FoundRect.IsEmpty());
    }
    EXPECT_EQ(pages.draws, 2); // page 0 drawn once for both of its hits

    EXPECT_FALSE(model.FindText(pages, client).Found);
    EXPECT_FALSE(SearchState().Found);
    EXPECT_EQ(model.SearchStartPage, 3);
    const int draws = pages.draws;
    EXPECT_FALSE(model.FindText(pages, client).Found); // never wraps round
    EXPECT_EQ(pages.draws, draws);
}

TEST_F(PreviewSearchTest, CaseAndRecordBoundaries) {
    FakePages latin{{{u"Total Amount", u"Amount due"}}};
    start("amount", true);
    EXPECT_FALSE(model.FindText(latin, {900, 2000}).Found);
    start("amount", false);
    EXPECT_TRUE(model.FindText(latin, {900, 2000}).Found);
    EXPECT_EQ(SearchState().LastFoundRecord, 0);
    // A text that spans two records is not found.
    start("信息腹部", false);
    EXPECT_FALSE(model.FindText(pages, {900, 2000}).Found);
    // A search text that is not UTF-8 is an error, not a silent miss.
    start("\xff", false);
    EXPECT_THROW(model.FindText(pages, {900, 2000}), EEncodingError);
}

TEST_F(PreviewSearchTest, ScrollsTheHitIntoView) {
    for (int i = 0; i < 3; ++i)
        model.AddPage(794, 1123);
    model.CalcPageBounds(900);
    start("结论", false);
    // The hit (third line, y 500) lies below a 300-pixel view: it scrolls to show it.
    TpgwFindResult r = model.FindText(pages, {900, 300});
    ASSERT_TRUE(r.Found);
    const TRect f = SearchState().FoundRect;
    const TRect page = model.PageList.GetPageBounds(0, 900, false, 1.0);
    ASSERT_TRUE(r.Scroll.Vert.has_value());
    EXPECT_EQ(*r.Scroll.Vert, page.Top + f.Bottom - 300 + 20);
    EXPECT_FALSE(r.Scroll.Horz.has_value());
    // Already in view: no move. Narrow view: moves across.
    start("结论", false);
    model.Offset = {0, 400};
    r = model.FindText(pages, {900, 300});
    EXPECT_FALSE(r.Scroll.Vert.has_value());
    start("结论", false);
    r = model.FindText(pages, {60, 2000});
    ASSERT_TRUE(r.Scroll.Horz.has_value());
    EXPECT_EQ(*r.Scroll.Horz, page.Left + f.Right - 60 + 20);
}

// ---- search over prepared pages -----------------------------------------------------------------

namespace {

class PreviewSearchPages : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        saved_ = SearchState();
    }
    void TearDown() override {
        SearchState() = saved_;
        EngineFixture::TearDown();
    }

private:
    TpgwSearchState saved_;
};

} // namespace

TEST_F(PreviewSearchPages, FindsChineseMemoTextOnEveryPage) {
    Load("output_pages.pg3");
    Find<TpgwMasterData>("Row")->SetRowCount(2);
    Find<TpgwMemoView>("RowMemo")->SetText("腹部超声 [Page#]");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 2);

    TpgwWorkspaceModel model;
    for (int i = 0; i < PageCount(); ++i) {
        int width = 0, height = 0;
        Store().GetPageSize(i, width, height);
        model.AddPage(width, height);
    }
    model.CalcPageBounds(900);
    TpgwPreviewPagesSearchSource source(Store());
    SearchState().Text = "超声";
    SearchState().CaseSensitive = false;
    SearchState().LastFoundRecord = -1;

    for (int page = 0; page < 2; ++page) {
        ASSERT_TRUE(model.FindText(source, {900, 2000}).Found) << page;
        EXPECT_EQ(model.SearchStartPage, page);
        // The row memo stands inside the 10 mm margins, below the header.
        const TRect found = SearchState().FoundRect;
        EXPECT_GE(found.Left, 37);
        EXPECT_GT(found.Top, 37 + 30);
        EXPECT_LT(found.Right, 37 + 300 + 2);
    }
    EXPECT_FALSE(model.FindText(source, {900, 2000}).Found);

    SearchState().Text = "FOOTER";
    SearchState().LastFoundRecord = -1;
    model.SearchStartPage = 1;
    EXPECT_TRUE(model.FindText(source, {900, 2000}).Found);
    EXPECT_EQ(model.SearchStartPage, 1);
}
