// The prepared-page store driven through its own operations, as the engine drives it: pages
// written and built back, keep-together, logical numbers, anchors and outline, page editing,
// and the prepared-report file with its bad-input cases.

#include "engine/preview_pages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "engine/dictionary.h"
#include "engine/outline.h"
#include "engine/picture_cache.h"
#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "report/band.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/tests/null_doubles.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

using TStubEngine = TNullEngine;

std::string Text(TpgwComponent* c) {
    TMemoryStream unused;
    TpgwXMLSerializer s(unused);
    return s.ObjectToText(c);
}

// Every object of the tree below root, as one-line texts in tree order.
std::vector<std::string> Texts(TpgwComponent* root) {
    std::vector<std::string> v;
    for (TpgwComponent* c : root->AllObjects())
        v.push_back(Text(c));
    return v;
}

// A template: page header with a memo, a data band with memo, line, shape and picture, a page
// footer.
struct Template {
    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
    TpgwPageHeader* header = new TpgwPageHeader(page);
    TpgwMemoView* title = new TpgwMemoView(header);
    TpgwMasterData* data = new TpgwMasterData(page);
    TpgwMemoView* memo = new TpgwMemoView(data);
    TpgwLineView* line = new TpgwLineView(data);
    TpgwShapeView* shape = new TpgwShapeView(data);
    TpgwPictureView* picture = new TpgwPictureView(data);
    TpgwPageFooter* footer = new TpgwPageFooter(page);

    Template() {
        page->SetName("Page1");
        const double w = 700;
        header->SetName("PageHeader1");
        header->SetBounds(0, 0, w, 40);
        title->SetName("Title");
        title->SetBounds(10, 5, 200, 20);
        title->SetText("Exams");
        data->SetName("MasterData1");
        data->SetBounds(0, 60, w, 30);
        memo->SetName("Memo1");
        memo->SetBounds(0, 0, 300, 20);
        line->SetName("Line1");
        line->SetBounds(310, 0, 100, 0);
        shape->SetName("Shape1");
        shape->SetBounds(420, 0, 20, 20);
        picture->SetName("Picture1");
        picture->SetBounds(450, 0, 30, 30);
        footer->SetName("PageFooter1");
        footer->SetBounds(0, 1000, w, 30);
        page->AlignChildren(); // as built pages do: bands take the page's width
    }
    TpgwPreviewPages& pages() { return *static_cast<TpgwPreviewPages*>(report.PreviewPages()); }
};

void SetPicture(TpgwPictureView* view, int w, int h) {
    auto bmp = std::make_unique<TBitmap>();
    bmp->SetSize(w, h);
    view->Picture()->SetGraphic(std::move(bmp));
}

class Store : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ObjectModelStartup(); }
    void SetUp() override {
        InstallPreviewPages();
        EngineClass() = [](TpgwReport* r) { return std::make_unique<TStubEngine>(r); };
    }
    void TearDown() override {
        EngineClass() = nullptr;
        PreviewPagesClass() = nullptr;
        OutlineClass() = nullptr;
    }

    // Writes `count` pages: header, then three data rows with changing content, then the
    // footer; returns what each page held when written.
    static std::vector<std::vector<std::string>> Fill(Template& t, int count) {
        TpgwPreviewPages& p = t.pages();
        p.Initialize();
        p.AddSourcePage(t.page);
        p.BeginPass();
        std::vector<std::vector<std::string>> written;
        for (int i = 0; i < count; ++i) {
            p.AddPage(t.page);
            std::vector<std::string> texts;
            auto add = [&](TpgwBand* band) {
                p.AddObject(band);
                texts.push_back(Text(band));
                for (TpgwComponent* c : band->AllObjects())
                    if (c->Visible()) texts.push_back(Text(c)); // hidden objects are not kept
            };
            t.title->SetText("Page " + std::to_string(i + 1));
            add(t.header);
            for (int row = 0; row < 3; ++row) {
                t.data->SetTop(60 + 30 * row);
                t.memo->SetText("row " + std::to_string(i) + "." + std::to_string(row));
                t.memo->Font()->SetSize(row == 1 ? 14 : 10);
                t.memo->SetColor(row == 2 ? clRed : clNone);
                t.memo->SetWidth(300 + row);
                t.shape->SetShape(static_cast<TpgwShapeKind>(row));
                t.line->SetVisible(row != 1);
                SetPicture(t.picture, 4 + i, 3 + row);
                add(t.data);
            }
            add(t.footer);
            written.push_back(texts);
        }
        return written;
    }
};

TEST_F(Store, PagesBuildBackAsWrittenInEveryCacheMode) {
    struct Case {
        bool fileCache;
        int maxMemSize, pagesInCache;
    };
    for (Case c : {Case{false, 10, 50}, Case{true, 0, 2}, Case{true, 10, 2}}) {
        SCOPED_TRACE(std::to_string(c.fileCache) + "/" + std::to_string(c.maxMemSize));
        Template t;
        t.report.EngineOptions()->SetUseFileCache(c.fileCache);
        t.report.EngineOptions()->SetMaxMemSize(c.maxMemSize);
        t.report.PreviewOptions()->SetPagesInCache(c.pagesInCache);
        const auto written = Fill(t, 6);
        TpgwPreviewPages& p = t.pages();
        p.Finish();
        ASSERT_EQ(p.GetCount(), 6);
        if (c.maxMemSize == 0) {
            // Everything but the first two and the last page went to the swap file.
            TpgwXMLItem* pages = p.Root()->FindItem("previewpages");
            EXPECT_FALSE(pages->Items(3)->Loaded());
            EXPECT_TRUE(pages->Items(1)->Loaded());
        }
        for (int i : {5, 0, 3, 1, 4, 2, 3, 0}) {
            TpgwComponent* built = p.GetPage(i);
            ASSERT_NE(built, nullptr);
            EXPECT_EQ(Texts(built), written[static_cast<std::size_t>(i)]) << "page " << i;
            EXPECT_EQ(built->Objects().size(), 5u);
        }
        EXPECT_LE(p.PageCacheCount(), c.pagesInCache);
        int w = 0, h = 0;
        p.GetPageSize(2, w, h);
        EXPECT_EQ(w, static_cast<int>(std::nearbyint(t.page->Width())));
        EXPECT_EQ(h, static_cast<int>(std::nearbyint(t.page->Height())));
    }
}

TEST_F(Store, FirstPassOfTwoKeepsGeometryVisibilityAndFontOnly) {
    Template t;
    t.report.EngineOptions()->SetDoublePass(true);
    t.report.Engine()->SetFinalPass(false);
    TpgwPreviewPages& p = t.pages();
    p.AddSourcePage(t.page);
    p.BeginPass();
    p.AddPage(t.page);
    t.data->SetTop(200);
    t.memo->SetBounds(5, 6, 70, 8);
    t.memo->Font()->SetSize(20);
    t.memo->SetColor(clRed);
    t.memo->SetText("changed");
    t.shape->SetVisible(false);
    p.AddObject(t.data);
    TpgwComponent* data = p.GetPage(0)->Objects().at(0);
    EXPECT_DOUBLE_EQ(data->Top(), 200);
    ASSERT_EQ(data->Objects().size(), 3u); // the hidden shape is not written
    auto* memo = dynamic_cast<TpgwMemoView*>(data->Objects()[0]);
    ASSERT_TRUE(memo);
    EXPECT_DOUBLE_EQ(memo->Left(), 5);
    EXPECT_DOUBLE_EQ(memo->Width(), 70);
    EXPECT_EQ(memo->Font()->Size(), 20);
    EXPECT_EQ(memo->Color(), clNone);
    EXPECT_EQ(memo->Text(), "");
}

TEST_F(Store, CutAndPasteMovesTheBlockKeepingItsDistances) {
    Template t;
    t.data->SetLeft(10); // the copy's Left: an unwritten l is 10, not 0
    TpgwPreviewPages& p = t.pages();
    p.AddSourcePage(t.page);
    p.AddPage(t.page);
    for (double top : {0, 30, 60, 95, 140}) {
        t.data->SetTop(top);
        p.AddObject(t.data);
    }
    EXPECT_EQ(p.GetCurPosition(), 5);
    p.CutObjects(3);
    EXPECT_EQ(p.GetCurPosition(), 3);
    p.AddPage(t.page);
    p.PasteObjects(0, 120);
    EXPECT_EQ(p.GetCurPosition(), 2);
    EXPECT_EQ(p.Root()->Find("cutted"), -1);
    TpgwComponent* page = p.GetPage(1);
    ASSERT_EQ(page->Objects().size(), 2u);
    EXPECT_DOUBLE_EQ(page->Objects()[0]->Top(), 120);
    EXPECT_DOUBLE_EQ(page->Objects()[1]->Top(), 165);
    EXPECT_DOUBLE_EQ(page->Objects()[0]->Left(), 0);
    EXPECT_DOUBLE_EQ(page->Objects()[1]->Left(), 0);
    EXPECT_EQ(p.GetPage(0)->Objects().size(), 3u);
    p.PasteObjects(5, 5); // nothing cut: nothing happens
    EXPECT_EQ(p.GetCurPosition(), 2);
}

TEST_F(Store, AddPageAfterTheCursorMovedBackWritesOverTheNextPage) {
    Template t;
    TpgwPreviewPages& p = t.pages();
    p.AddSourcePage(t.page);
    for (int i = 0; i < 3; ++i)
        p.AddPage(t.page);
    p.CurPage = 0;
    p.AddPage(t.page);
    EXPECT_EQ(p.CurPage, 1);
    EXPECT_EQ(p.GetCount(), 3);
    p.AddObject(t.header);
    EXPECT_EQ(p.GetPage(1)->Objects().size(), 1u);
    p.PageAddMode = pamAppend;
    p.AddPage(t.page);
    EXPECT_EQ(p.GetCount(), 4);
    EXPECT_EQ(p.CurPage, 3);
}

TEST_F(Store, LogicalNumbersRestartAtAResetAndTotalsWaitForTheRunToClose) {
    Template t;
    TpgwPreviewPages& p = t.pages();
    p.AddSourcePage(t.page);
    p.BeginPass();
    p.AddPage(t.page);
    p.AddPage(t.page);
    p.AddPage(t.page);
    p.ResetLogicalPageNumber(); // a page that resets the numbering starts next
    p.AddPage(t.page);
    p.AddPage(t.page);
    EXPECT_EQ(p.GetLogicalPageNo(), 2);
    EXPECT_EQ(p.GetLogicalTotalPages(), 0);
    p.ResetLogicalPageNumber();
    const std::vector<std::pair<int, int>> expected{{1, 3}, {2, 3}, {3, 3}, {1, 2}, {2, 2}};
    for (int i = 0; i < 5; ++i) {
        p.CurPage = i;
        EXPECT_EQ(std::make_pair(p.GetLogicalPageNo(), p.GetLogicalTotalPages()),
                  expected[static_cast<std::size_t>(i)])
            << i;
    }
    // Beyond the recorded numbers the run's own counting answers.
    p.CurPage = 7;
    p.RunFirstPage = 5;
    t.report.Engine()->SetTotalPages(9);
    EXPECT_EQ(p.GetLogicalPageNo(), 3);
    EXPECT_EQ(p.GetLogicalTotalPages(), 4);
}

TEST_F(Store, SecondPassKeepsTheFirstPassAnchorsAndNumbers) {
    Template t;
    t.report.EngineOptions()->SetDoublePass(true);
    TpgwCustomEngine& engine = *t.report.Engine();
    TpgwPreviewPages& p = t.pages();
    TpgwOutline& outline = *p.OutlineImpl();
    for (bool emptyBefore : {true, false}) {
        SCOPED_TRACE(emptyBefore);
        p.Clear();
        p.AddSourcePage(t.page);
        int objectsBefore = 0;
        if (!emptyBefore) {
            engine.SetFinalPass(false); // an earlier page the pass continues
            p.AddPage(t.page);
            p.AddObject(t.header);
            outline.AddItem("earlier", 0);
            objectsBefore = 1;
        }
        engine.SetFinalPass(false);
        p.BeginPass();
        const int first = p.GetCount();
        if (!emptyBefore) p.AddObject(t.data); // the pass continues the earlier page
        p.AddPage(t.page);
        p.AddObject(t.data);
        outline.LevelRoot();
        outline.AddItem("first pass", 10);
        engine.SetCurY(33.5);
        p.AddAnchor("Totals");
        p.AddPage(t.page);
        p.ResetLogicalPageNumber(); // closing the run twice must not lose its total
        p.ClearFirstPassPages();
        EXPECT_EQ(p.GetCount(), first);
        if (!emptyBefore) {
            EXPECT_EQ(p.GetPage(0)->Objects().size(), size_t(objectsBefore));
        }
        outline.LevelRoot();
        EXPECT_EQ(outline.GetCount(), emptyBefore ? 0 : 1);
        EXPECT_EQ(p.GetAnchorPage("totals"), first + 1);
        EXPECT_EQ(p.CurPage, first - 1);
        engine.SetFinalPass(true);
        p.AddPage(t.page);
        p.AddPage(t.page);
        EXPECT_EQ(p.GetLogicalPageNo(), 2);
        EXPECT_EQ(p.GetLogicalTotalPages(), 2);
        EXPECT_EQ(p.GetAnchorPage("nothing"), 1);
    }
}

TEST_F(Store, KeptBlocksTakeTheirAnchorsAndOutlineItemsWhereTheyLand) {
    Template t;
    TpgwPreviewPages& p = t.pages();
    TpgwOutline& outline = *p.OutlineImpl();
    TpgwCustomEngine& engine = *t.report.Engine();
    p.AddSourcePage(t.page);
    p.AddPage(t.page);
    engine.SetCurY(10);
    p.AddAnchor("before");
    outline.AddItem("before", 10);
    outline.LevelUp();
    // The keep begins.
    const int anchorMark = p.GetAnchorCurPosition();
    void* itemMark = outline.LastItem();
    for (int top : {500, 540}) {
        engine.SetCurY(top);
        p.AddAnchor("kept" + std::to_string(top));
        outline.AddItem("kept", top);
        outline.AddItem("child", top + 5);
        outline.LevelUp();
        outline.LevelUp();
    }
    // Moved to the next column of the same page: the page stays, the tops follow.
    p.ShiftAnchors(anchorMark, 300);
    outline.ShiftItems(itemMark, 300);
    EXPECT_EQ(p.GetAnchorPage("kept540"), 1);
    std::string text;
    int page = -1, top = -1;
    outline.LevelRoot();
    outline.GetItem(2, text, page, top);
    EXPECT_EQ(std::make_pair(page, top), std::make_pair(0, 340));
    // Moved to the next page: every item added since the keep began goes there.
    p.AddPage(t.page);
    p.ShiftAnchors(anchorMark, 20);
    outline.ShiftItems(itemMark, 20);
    EXPECT_EQ(p.GetAnchorPage("kept500"), 2);
    EXPECT_EQ(p.GetAnchorPage("kept540"), 2);
    EXPECT_EQ(p.GetAnchorPage("before"), 1);
    for (int i : {1, 2}) {
        outline.LevelRoot();
        outline.GetItem(i, text, page, top);
        EXPECT_EQ(std::make_pair(page, top), std::make_pair(1, i == 1 ? 20 : 60));
        outline.LevelDown(i);
        outline.GetItem(0, text, page, top);
        EXPECT_EQ(std::make_pair(page, top), std::make_pair(1, i == 1 ? 25 : 65));
    }
    // The last item has no follower: nothing moves.
    outline.LevelRoot();
    outline.ShiftItems(outline.LastItem(), 999);
    outline.ShiftItems(nullptr, 999);
    outline.GetItem(2, text, page, top);
    EXPECT_EQ(top, 60);
    EXPECT_EQ(outline.GetCount(), 3);
}

TEST_F(Store, PageQuestionsAndEdits) {
    Template t;
    TpgwPreviewPages& p = t.pages();
    p.AddSourcePage(t.page);
    p.AddPage(t.page);
    int w = -1, h = -1;
    p.GetPageSize(5, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(0, 0));
    p.DeletePage(0);
    EXPECT_EQ(p.GetCount(), 1); // the only page stays

    EXPECT_FALSE(p.BandExists(t.header));
    EXPECT_DOUBLE_EQ(p.GetLastY(0), 0);
    p.AddObject(t.header);
    t.data->SetBounds(0, 60, 350, 30);
    p.AddObject(t.data);
    t.data->SetBounds(350, 60, 350, 45); // second column
    p.AddObject(t.data);
    p.AddObject(t.footer);
    EXPECT_TRUE(p.BandExists(t.header));
    EXPECT_TRUE(p.BandExists(t.data));
    TpgwPageFooter otherFooter(nullptr);
    EXPECT_TRUE(p.BandExists(&otherFooter)); // any footer counts
    EXPECT_FALSE(p.BandExists(new TpgwMasterData(t.page)));
    EXPECT_DOUBLE_EQ(p.GetLastY(0), 105);
    EXPECT_DOUBLE_EQ(p.GetLastY(350), 105);
    EXPECT_DOUBLE_EQ(p.GetLastY(700), 40); // only the header counts in every column

    p.UpdatePageDimensions(t.page, 3779.53, 377.953);
    p.GetPageSize(0, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(378, 3780));
    EXPECT_EQ(dynamic_cast<TpgwReportPage*>(p.GetPage(0))->PaperSize(), 256);

    p.AddEmptyPage(0);
    ASSERT_EQ(p.GetCount(), 2);
    EXPECT_EQ(p.GetPage(0)->Objects().size(), 0u);
    EXPECT_EQ(p.GetPage(1)->Objects().size(), 4u);

    TpgwReportPage replacement(nullptr);
    replacement.SetPaperDimensions(256, 100, 50);
    auto* memo = new TpgwMemoView(&replacement);
    memo->SetName("Note");
    memo->SetText("replaced");
    p.ModifyPage(0, &replacement);
    TpgwComponent* built = p.GetPage(0);
    EXPECT_EQ(Texts(built), Texts(&replacement));
    p.GetPageSize(0, w, h);
    EXPECT_EQ(w, static_cast<int>(std::nearbyint(replacement.Width())));
    EXPECT_THROW(p.DeletePage(9), EListError);

    // Another report's pages and outline follow this report's.
    Template other;
    TpgwPreviewPages& q = other.pages();
    q.AddSourcePage(other.page);
    q.AddPage(other.page);
    q.AddObject(other.header);
    q.OutlineImpl()->AddItem("other", 7);
    q.AddPage(other.page);
    q.OutlineImpl()->AddItem("child", 8);
    p.AddFrom(&other.report);
    ASSERT_EQ(p.GetCount(), 4);
    EXPECT_EQ(Texts(p.GetPage(2)), Texts(q.GetPage(0)));
    TpgwOutline& o = *p.OutlineImpl();
    o.LevelRoot();
    ASSERT_EQ(o.GetCount(), 1);
    std::string text;
    int page = 0, top = 0;
    o.GetItem(0, text, page, top);
    EXPECT_EQ(std::make_tuple(text, page, top), std::make_tuple(std::string("other"), 2, 7));
    o.LevelDown(0);
    o.GetItem(0, text, page, top);
    EXPECT_EQ(std::make_tuple(text, page, top), std::make_tuple(std::string("child"), 3, 8));
}

TEST(Dictionary, UniqueNamesProbeDownThenCountUp) {
    TpgwDictionary d;
    EXPECT_EQ(d.CreateUniqueName("m"), "m1");
    for (int i = 1; i <= 100; ++i)
        d.Add("m" + std::to_string(i), "Page0.Memo" + std::to_string(i), nullptr);
    EXPECT_EQ(d.CreateUniqueName("m"), "m101");
    EXPECT_EQ(d.CreateUniqueName("b"), "b1");
    d.Add("m5000", "Page0.X", nullptr);
    EXPECT_EQ(d.CreateUniqueName("m"), "m5001");
    EXPECT_EQ(d.GetSourceName("M12"), "Page0.Memo12");
    EXPECT_EQ(d.GetSourceName("q1"), "");
}

// ---- the prepared-report file ------------------------------------------------------------------

std::string TempPath(const std::string& name) {
    return TempFolder() + "/lumetra_pp_" + std::to_string(::getpid()) + "_" + name;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Snapshot {
    std::vector<std::vector<std::string>> pages;
    std::vector<std::pair<int, int>> sizes, numbers;
    std::vector<std::string> outline;
    std::vector<int> anchors;
    std::vector<std::uint8_t> picture;
    bool operator==(const Snapshot&) const = default;
};

void OutlineTexts(TpgwOutline& o, std::vector<std::string>& out, const std::string& indent) {
    for (int i = 0; i < o.GetCount(); ++i) {
        std::string text;
        int page = -1, top = -1;
        o.GetItem(i, text, page, top);
        out.push_back(indent + text + "@" + std::to_string(page) + ":" + std::to_string(top));
        o.LevelDown(i);
        OutlineTexts(o, out, indent + " ");
        o.LevelUp();
    }
}

Snapshot Take(TpgwPreviewPages& p) {
    Snapshot s;
    for (int i = 0; i < p.GetCount(); ++i) {
        s.pages.push_back(Texts(p.GetPage(i)));
        int w = 0, h = 0;
        p.GetPageSize(i, w, h);
        s.sizes.emplace_back(w, h);
        p.CurPage = i;
        s.numbers.emplace_back(p.GetLogicalPageNo(), p.GetLogicalTotalPages());
    }
    p.OutlineImpl()->LevelRoot();
    OutlineTexts(*p.OutlineImpl(), s.outline, "");
    for (const char* a : {"A1", "A2", "A3"})
        s.anchors.push_back(p.GetAnchorPage(a));
    s.picture = p.PictureCache().PictureBytes(1);
    return s;
}

class File : public Store {
protected:
    void SetUp() override {
        Store::SetUp();
        t = std::make_unique<Template>();
        t->report.PreviewOptions()->SetOutlineVisible(true);
        t->report.PreviewOptions()->SetOutlineWidth(180);
        t->report.ReportOptions()->SetName("Exam \"A&B\" <1>");
        t->report.SetDotMatrixReport(false);
        t->report.EngineOptions()->SetUseFileCache(true);
        t->report.EngineOptions()->SetMaxMemSize(0);
        Fill(*t, 5);
        TpgwPreviewPages& p = t->pages();
        TpgwOutline& o = *p.OutlineImpl();
        o.LevelRoot();
        o.AddItem("Quotes \"q\" & <tag>\r\nsecond line", 12);
        o.AddItem("nested 'x'", 14);
        o.LevelRoot();
        o.AddItem("plain", 3);
        t->report.Engine()->SetCurY(44);
        p.AddAnchor("A2");
        p.ResetLogicalPageNumber();
        p.Finish();
        before = Take(p);
        path = TempPath("file.pp3");
        p.SaveToFile(path);
    }
    void TearDown() override {
        std::remove(path.c_str());
        t.reset();
        Store::TearDown();
    }
    std::unique_ptr<Template> t;
    Snapshot before;
    std::string path;
};

TEST_F(File, SaveThenLoadGivesTheSameReport) {
    ASSERT_FALSE(before.picture.empty());
    for (bool partial : {true, false}) {
        SCOPED_TRACE(partial);
        TpgwReport fresh(nullptr);
        auto& q = *static_cast<TpgwPreviewPages*>(fresh.PreviewPages());
        if (partial) {
            ASSERT_TRUE(q.LoadFromFile(path, false));
        } else {
            TMemoryStream s;
            s.LoadFromFile(path);
            q.LoadFromStream(s, false);
        }
        EXPECT_TRUE(fresh.PreviewOptions()->OutlineVisible());
        EXPECT_EQ(fresh.PreviewOptions()->OutlineWidth(), 180);
        EXPECT_EQ(fresh.ReportOptions()->Name(), "Exam \"A&B\" <1>");
        EXPECT_FALSE(fresh.DotMatrixReport());
        EXPECT_TRUE(Take(q) == before);
        EXPECT_EQ(before.outline.at(0), "Quotes \"q\" & <tag>\r\nsecond line@4:12");
    }
    // Saving the loaded store again gives the same file.
    TpgwReport again(nullptr);
    auto& q = *static_cast<TpgwPreviewPages*>(again.PreviewPages());
    ASSERT_TRUE(q.LoadFromFile(path, false));
    const std::string second = TempPath("second.pp3");
    q.SaveToFile(second);
    EXPECT_EQ(ReadAll(second), ReadAll(path));
    std::remove(second.c_str());
}

TEST_F(File, PassesXmllint) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint is not installed (scripts/setup installs libxml2-utils)";
    EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
}

TEST_F(File, BadInputRaisesAndKeepsThePagesShown) {
    const std::string good = ReadAll(path);
    TpgwPreviewPages& p = t->pages();
    struct Case {
        const char* name;
        std::string content;
    };
    const std::string header = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    for (const Case& c : {Case{"truncated", good.substr(0, good.size() / 2)},
                          Case{"not xml", "this is not a prepared report\n"},
                          Case{"foreign root", header + "<TpgwReport Name=\"x\"/>"}}) {
        SCOPED_TRACE(c.name);
        const std::string bad = TempPath("bad.pp3");
        WriteFileAtomically(bad, c.content);
        EXPECT_THROW(p.LoadFromFile(bad, false), TpgwInvalidXMLException);
        TStringStream s(c.content);
        EXPECT_THROW(p.LoadFromStream(s, true), TpgwInvalidXMLException);
        std::remove(bad.c_str());
        EXPECT_TRUE(Take(p) == before);
    }
    EXPECT_FALSE(p.LoadFromFile(TempPath("missing.pp3"), false));
    EXPECT_THROW(p.LoadFromFile(TempPath("missing.pp3"), true), EFOpenError);
    EXPECT_TRUE(Take(p) == before);
}

TEST_F(File, DamagedContentGivesClearErrors) {
    const std::string good = ReadAll(path);
    auto replaced = [&](std::string s, const std::string& from, const std::string& to) {
        const std::size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) s.replace(at, from.size(), to);
        return s;
    };
    TpgwReport fresh(nullptr);
    auto& q = *static_cast<TpgwPreviewPages*>(fresh.PreviewPages());
    // A dictionary entry naming a source page that does not exist.
    TStringStream s1(replaced(good, "name=\"Page0.", "name=\"Page7."));
    EXPECT_THROW(q.LoadFromStream(s1, false), EListError);
    EXPECT_EQ(q.GetCount(), 0);
    // A page naming a source page that does not exist fails when it is built.
    TStringStream s2(replaced(replaced(good, "<page0>", "<page9>"), "</page0>", "</page9>"));
    q.LoadFromStream(s2, false);
    EXPECT_THROW(q.GetPage(0), EListError);
    EXPECT_NO_THROW(q.GetPage(1));
    // An unknown class name fails the page; an alias the dictionary does not know builds its
    // object from its own attributes.
    TpgwXMLItem* page = q.Root()->FindItem("previewpages")->Items(1);
    q.XML().LoadItem(page);
    TpgwXMLItem* stranger = page->Add();
    stranger->SetName("TpgwMemoView");
    stranger->SetText(" l=\"7\" Text=\"alone\"");
    q.Finish();
    TpgwComponent* built = q.GetPage(1);
    auto* alone = dynamic_cast<TpgwMemoView*>(built->Objects().back());
    ASSERT_TRUE(alone);
    EXPECT_DOUBLE_EQ(alone->Left(), 7);
    EXPECT_EQ(alone->Text().rfind("alone", 0), 0u);
    page->Add()->SetName("TNoSuchView");
    q.Finish();
    EXPECT_THROW(q.GetPage(1), EClassNotFound);
}

} // namespace
