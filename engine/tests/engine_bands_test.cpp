// Band output over fixture templates: row counts and footers, keep-together with the page
// footer's totals, group footers of single records, drill-down, band columns, split and
// oversized bands, subreports and vertical bands.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "platform/core/exception.h"

namespace {

class EngineBands : public EngineFixture {
protected:
    // Items of the groups given as (group, count), numbered within their group (A1, A2, B1...)
    // and worth 1 in group A, 10 in B and 100 in C.
    TTable* Items(const std::vector<std::pair<std::string, int>>& groups) {
        std::vector<TTable::Row> rows;
        for (const auto& [group, count] : groups) {
            const int value = group == "A" ? 1 : group == "B" ? 10 : 100;
            for (int i = 1; i <= count; ++i)
                rows.push_back({{"grp", group}, {"n", group + std::to_string(i)}, {"v", value}});
        }
        return Table("Items", rows);
    }
    // Every memo of page index with its place on the page: "Name@top x left text".
    Lines PageMemos(int index) {
        Lines lines;
        TpgwComponent* page = Store().GetPage(index);
        for (TpgwComponent* band : page ? page->Objects() : std::vector<TpgwComponent*>{})
            for (TpgwComponent* child : band->AllObjects())
                if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(child))
                    lines.push_back(At(memo->Name(), band->Top() + memo->Top(), MemoText(*memo),
                                       band->Left() + memo->Left()));
        return lines;
    }
};

// ---- record loops and footers

TEST_F(EngineBands, RowCountsAndFooters) {
    // Rows of 100 below a page header of 30; the footer is 100 high.
    struct Case {
        const char* name;
        int rows;
        bool footerAfterEach, keepFooter;
        std::vector<Lines> pages; // without the page headers and footers
    };
    auto rows = [](int first, int last) {
        Lines lines;
        for (int row = first; row <= last; ++row)
            lines.push_back(At("Row", 30 + 100 * (row - first), "Row " + std::to_string(row)));
        return lines;
    };
    Lines nine = rows(1, 9);
    Lines eight = rows(1, 8);
    const Case cases[] = {
        {"three rows without a data set",
         3,
         false,
         false,
         {{At("Row", 30, "Row 1"), At("Row", 130, "Row 2"), At("Row", 230, "Row 3"),
           At("Footer", 330, "Footer")}}},
        {"footer after each row, not again at the end",
         3,
         true,
         false,
         {{At("Row", 30, "Row 1"), At("Footer", 130, "Footer"), At("Row", 230, "Row 2"),
           At("Footer", 330, "Footer"), At("Row", 430, "Row 3"), At("Footer", 530, "Footer")}}},
        {"a footer that does not fit goes alone",
         9,
         false,
         false,
         {nine, {At("Footer", 30, "Footer")}}},
        {"KeepFooter carries the last row with it",
         9,
         false,
         true,
         {eight, {At("Row", 30, "Row 9"), At("Footer", 130, "Footer")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load("rows.pg3");
        auto* band = Find<TpgwDataBand>("Row");
        band->SetRowCount(c.rows);
        band->SetFooterAfterEach(c.footerAfterEach);
        band->SetKeepFooter(c.keepFooter);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        std::vector<Lines> pages;
        for (Lines page : AllPages()) {
            ASSERT_GE(page.size(), 2u);
            EXPECT_EQ(page.front(),
                      At("PageHeader", 0, "Page " + std::to_string(pages.size() + 1)));
            EXPECT_EQ(page.back(),
                      At("PageFooter", kA4Height - 30, std::to_string(pages.size() + 1) + " / 0"));
            pages.emplace_back(page.begin() + 1, page.end() - 1);
        }
        EXPECT_EQ(pages, c.pages);
    }
}

// ---- groups

TEST_F(EngineBands, GroupsAcrossAPageBreakWithThePageFooterSum) {
    // Items of 100 between group headers and footers of 50, above a page footer of 30 that
    // sums the items of its page.
    struct Case {
        const char* name;
        bool keep, footerOnFirstPage, reprint;
        std::vector<Lines> pages;
    };
    auto group = [](const std::string& name, double top, int count, int items = 0) {
        Lines lines{At("Group", top, "Group " + name)};
        for (int i = 1; i <= count; ++i)
            lines.push_back(At("Item", top + 50 + 100 * (i - 1), name + std::to_string(i)));
        if (items)
            lines.push_back(
                At("GroupFooter", top + 50 + 100 * count, std::to_string(items) + " items"));
        return lines;
    };
    auto join = [](std::vector<Lines> parts) {
        Lines all;
        for (const Lines& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    auto footer = [](int sum) {
        return Lines{At("PageFooter", kA4Height - 30, std::to_string(sum) + " on page")};
    };
    const Lines looseB = group("B", 400, 5);
    const Lines looseRest =
        join({{At("Item", 0, "B6"), At("GroupFooter", 100, "6 items")}, group("C", 150, 3, 3)});
    const Lines groupA = group("A", 0, 3, 3);
    const std::vector<Lines> runOn{join({groupA, looseB, footer(53)}),
                                   join({looseRest, footer(310)})};
    // A footer left off the first page carries its total to the second.
    const std::vector<Lines> firstWithoutFooter{join({groupA, looseB}),
                                                join({looseRest, footer(363)})};
    const Lines headerAgain{At("Group", 0, "Group B"), At("Item", 50, "B6"),
                            At("GroupFooter", 150, "6 items")};
    const std::vector<Lines> repeated{runOn[0],
                                      join({headerAgain, group("C", 200, 3, 3), footer(310)})};
    const std::vector<Lines> kept{join({groupA, footer(3)}),
                                  join({group("B", 0, 6, 6), footer(60)}),
                                  join({group("C", 0, 3, 3), footer(300)})};
    const Case cases[] = {
        {"groups run on", false, true, false, runOn},
        {"no footer on the first page", false, false, false, firstWithoutFooter},
        {"group header repeated on the new page", false, true, true, repeated},
        {"groups kept together", true, true, false, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tables.clear();
        Items({{"A", 3}, {"B", 6}, {"C", 3}});
        Load("groups.pg3");
        auto* header = Find<TpgwGroupHeader>("Group");
        header->SetKeepTogether(c.keep);
        header->SetReprintOnNewPage(c.reprint);
        Find<TpgwPageFooter>("PageFooter")->SetPrintOnFirstPage(c.footerOnFirstPage);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        EXPECT_EQ(AllPages(), c.pages);
    }
}

TEST_F(EngineBands, FooterHiddenForAGroupOfOneRecord) {
    Items({{"A", 1}, {"B", 2}});
    Load("groups.pg3");
    Find<TpgwGroupFooter>("GroupFooter")->SetHideIfSingleDataRecord(true);
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    EXPECT_EQ(AllPages(),
              (std::vector<Lines>{{At("Group", 0, "Group A"), At("Item", 50, "A1"),
                                   At("Group", 150, "Group B"), At("Item", 200, "B1"),
                                   At("Item", 300, "B2"), At("GroupFooter", 400, "2 items"),
                                   At("PageFooter", kA4Height - 30, "21 on page")}}));
}

TEST_F(EngineBands, CollapsedDrillDownShowsTheOuterHeadersOnly) {
    struct Case {
        const char* name;
        bool expand, showFooter;
        Lines page;
    };
    const Lines expanded{At("Outer", 0, "A"),    At("Inner", 40, "x"),   At("Item", 70, "A1"),
                         At("Item", 90, "A2"),   At("InnerFooter", 110), At("OuterFooter", 135),
                         At("Outer", 170, "B"),  At("Inner", 210, "y"),  At("Item", 240, "B1"),
                         At("InnerFooter", 260), At("OuterFooter", 285)};
    // What is hidden takes no room.
    const Lines collapsed{At("Outer", 0, "A"), At("Outer", 40, "B")};
    const Lines withFooter{At("Outer", 0, "A"), At("OuterFooter", 40), At("Outer", 75, "B"),
                           At("OuterFooter", 115)};
    const Case cases[] = {{"expanded", true, false, expanded},
                          {"collapsed", false, false, collapsed},
                          {"collapsed with its footer", false, true, withFooter}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tables.clear();
        Table("Items", {{{"grp", "A"}, {"sub", "x"}, {"n", "A1"}},
                        {{"grp", "A"}, {"sub", "x"}, {"n", "A2"}},
                        {{"grp", "B"}, {"sub", "y"}, {"n", "B1"}}});
        Load("drilldown.pg3");
        auto* outer = Find<TpgwGroupHeader>("Outer");
        outer->SetExpandDrillDown(c.expand);
        outer->SetShowFooterIfDrillDown(c.showFooter);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        EXPECT_EQ(AllPages(), std::vector<Lines>{c.page});
    }
}

// ---- band columns

TEST_F(EngineBands, BandColumnsFillRowsAndMoveAFullRowThatDoesNotFit) {
    // Columns of 200 with gaps of 10; rows of 100. Ten rows fit a page; the eleventh ends below
    // it and goes to the next page whole.
    auto cells = [](int first, int last, double top) {
        Lines lines;
        for (int n = first; n <= last; ++n) {
            const int i = n - first;
            lines.push_back(At("Cell", top + 100 * (i / 3), std::to_string(n), 210.0 * (i % 3)));
        }
        return lines;
    };
    struct Case {
        int records;
        std::vector<Lines> pages;
    };
    Lines seven = cells(1, 7, 0);
    seven.push_back(At("Footer", 300));
    Lines last = cells(31, 33, 0);
    last.push_back(At("Footer", 100));
    for (const Case& c : {Case{7, {seven}}, Case{33, {cells(1, 30, 0), last}}}) {
        SCOPED_TRACE(c.records);
        Load("band_columns.pg3");
        Find<TpgwDataBand>("Cell")->SetRowCount(c.records);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        EXPECT_EQ(AllPages(), c.pages);
    }
}

// ---- bands that do not fit

TEST_F(EngineBands, SplitMemoContinuesWithTheObjectBelowAtItsDistance) {
    Load("split.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 2);
    const Lines first = PageMemos(0);
    const Lines second = PageMemos(1);
    ASSERT_EQ(first.size(), 1u) << testing::PrintToString(first);
    ASSERT_EQ(second.size(), 2u) << testing::PrintToString(second);
    // Both parts together are the whole text, in order.
    auto text = [](const std::string& line) { return line.substr(line.find(' ') + 1); };
    std::string all;
    for (int i = 1; i <= 40; ++i)
        all += (i > 1 ? "/" : "") + std::string("line ") + std::to_string(i);
    EXPECT_EQ(text(first[0]) + "/" + text(second[0]), all);
    EXPECT_EQ(first[0].substr(0, first[0].find(' ')), At("LongMemo", 900));
    EXPECT_EQ(second[0].substr(0, second[0].find(' ')), At("LongMemo", 0));
    // The object below keeps its distance of 10 from the end of the memo's second part.
    TpgwComponent* page = Store().GetPage(1);
    ASSERT_EQ(page->Objects().size(), 1u);
    TpgwComponent* band = page->Objects()[0];
    auto* longMemo = dynamic_cast<TpgwCustomMemoView*>(band->FindObject("LongMemo"));
    auto* below = dynamic_cast<TpgwCustomMemoView*>(band->FindObject("Below"));
    ASSERT_TRUE(longMemo && below);
    EXPECT_NEAR(below->Top(), longMemo->Top() + longMemo->Height() + 10, 0.01);
    EXPECT_EQ(MemoText(*below), "Below");
}

TEST_F(EngineBands, BandTallerThanAPageSplitsWithoutAllowSplit) {
    // A band of 1200 with a memo at its top and one at 1100: each record takes two pages, the
    // second record starting on a fresh page.
    Load("tall.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    const double rest = 1100 - kA4Height;
    EXPECT_EQ(AllPages(), (std::vector<Lines>{{At("Tall", 0, "A1")},
                                              {At("Tall", 0, "B1")},
                                              {At("Tall", 0, "A2")},
                                              {At("Tall", 0, "B2")}}));
    for (int page : {1, 3})
        EXPECT_EQ(PageMemos(page), Lines{At("BottomMemo", rest, page == 1 ? "B1" : "B2")});
}

TEST_F(EngineBands, LineTallerThanAPageEndsWithAnError) {
    Load("huge_line.pg3");
    // Whatever the engine does, the prepare must end: a runaway one is stopped here.
    report->OnBeforePrint = [this](TpgwComponent*) {
        if (PageCount() > 200) throw Exception("stopped after 200 pages");
    };
    Watchdog watchdog(60);
    Prepare();
    EXPECT_LT(PageCount(), 10);
    EXPECT_GE(report->Errors().Count(), 1);
    EXPECT_FALSE(HasError("stopped after 200 pages")) << report->Errors().Text();
}

// ---- subreports

TEST_F(EngineBands, SideBySideSubreportsContinueAfterTheLongerOne) {
    Load("subreports.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    auto left = [](int first, int last) {
        Lines lines;
        for (int n = first; n <= last; ++n)
            lines.push_back(At("Left", 100 * (n - first), "L" + std::to_string(n)));
        return lines;
    };
    Lines first{At("Main", 0)};
    for (const std::string& line : left(1, 10))
        first.push_back(line);
    for (int n = 1; n <= 3; ++n)
        first.push_back(At("Right", 100 * (n - 1), "R" + std::to_string(n), 350));
    Lines third = left(21, 25);
    third.push_back(At("After", 500));
    EXPECT_EQ(AllPages(), (std::vector<Lines>{first, left(11, 20), third}));
}

TEST_F(EngineBands, SubreportOnItsParentGrowsTheBand) {
    Load("on_parent.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    // The subreport's rows of 40 start at its top of 10 and its left of 20.
    EXPECT_EQ(AllPages(), (std::vector<Lines>{{At("Main", 0, "Main|I1|I2|I3"), At("After", 130)}}));
    EXPECT_EQ(PageMemos(0), (Lines{At("MainMemo", 0, "Main"), At("InnerMemo", 10, "I1", 20),
                                   At("InnerMemo", 50, "I2", 20), At("InnerMemo", 90, "I3", 20)}));
}

TEST_F(EngineBands, SubreportInsideItsOwnPageIsAnError) {
    Load("recursive.pg3");
    Watchdog watchdog(60);
    EXPECT_FALSE(Prepare());
    ASSERT_EQ(report->Errors().Count(), 1);
    EXPECT_TRUE(HasError("Again")) << report->Errors().Text(); // names the subreport
    EXPECT_LE(PageCount(), 1);
}

// ---- vertical bands

TEST_F(EngineBands, VerticalBandsContinueOnTheNextPageOrWidenAnEndlessOne) {
    // A header column of 80 and ten columns of 100 across a printable width of 718: six
    // columns fit, the other four go to the next page behind the header repeated.
    auto row = [](int first, int last) {
        std::string text = "Head";
        for (int n = first; n <= last; ++n)
            text += "|C" + std::to_string(n);
        return Lines{At("Row", 0, text), At("Row", 30, text)};
    };
    auto memos = [](int first, int last, double top) {
        Lines lines{At("HeadCell", top, "Head")};
        for (int n = first; n <= last; ++n)
            lines.push_back(At("ColCell", top, "C" + std::to_string(n), 80 + 100 * (n - first)));
        return lines;
    };
    for (bool endless : {false, true}) {
        SCOPED_TRACE(endless);
        Load("vertical.pg3");
        Find<TpgwReportPage>("Page1")->SetEndlessWidth(endless);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        int width = 0, height = 0;
        Store().GetPageSize(0, width, height);
        if (endless) {
            EXPECT_EQ(AllPages(), std::vector<Lines>{row(1, 10)});
            Lines expected = memos(1, 10, 0);
            const Lines second = memos(1, 10, 30);
            expected.insert(expected.end(), second.begin(), second.end());
            EXPECT_EQ(PageMemos(0), expected);
            // The width grew by four columns of 100 beyond 718.11, with the margins of 10 mm.
            EXPECT_EQ(width, 1194);
        } else {
            EXPECT_EQ(AllPages(), (std::vector<Lines>{row(1, 6), row(7, 10)}));
            for (int page : {0, 1}) {
                const int first = page == 0 ? 1 : 7, last = page == 0 ? 6 : 10;
                Lines expected = memos(first, last, 0);
                const Lines second = memos(first, last, 30);
                expected.insert(expected.end(), second.begin(), second.end());
                EXPECT_EQ(PageMemos(page), expected) << "page " << page;
            }
            EXPECT_EQ(width, 794);
        }
    }
}

} // namespace
