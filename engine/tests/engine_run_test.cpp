// The engine's run over fixture templates: bands of every kind with master, detail and groups,
// page footers on first and last pages, one and two passes, report and page data sets,
// page columns, previous-page and endless pages, and the order of script events.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "script/program.h"
#include "script/script.h"

namespace {

class EngineRun : public EngineFixture {
protected:
    // Orders of two customers; the first order has two lines, one of them without parts, the
    // second one line with two parts, the third no lines.
    void OrderTables() {
        TTable* orders = Table(
            "Orders",
            {{{"id", 1}, {"cust", "A"}}, {{"id", 2}, {"cust", "A"}}, {{"id", 3}, {"cust", "B"}}});
        TTable* lines = Table("Lines", {});
        lines->SetMaster(orders, "id",
                         {{"1", {{{"id", "L1"}}, {{"id", "L2"}}}}, {"2", {{{"id", "L3"}}}}});
        TTable* parts = Table("Parts", {});
        parts->SetMaster(lines, "id",
                         {{"L1", {{{"id", "P1"}}}}, {"L3", {{{"id", "P2"}}, {{"id", "P3"}}}}});
    }
};

TEST_F(EngineRun, BandsOfEveryKindFollowEachOther) {
    OrderTables();
    Load("bands.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 1);
    // A line without parts is left out; an order without lines prints (PrintIfDetailEmpty).
    // A footer belongs to the data band right above it: here the parts.
    EXPECT_EQ(
        PageLines(0),
        (Lines{At("Title", 0, "Orders"), At("PageHeader", 50, "Page 1"), At("Header", 80, "Order"),
               At("Group", 100, "Customer A"), At("Master", 120, "Order 1"),
               At("Detail", 145, "Line L1"), At("Sub", 160, "Part P1"),
               At("PartsFooter", 170, "1 parts"), At("Master", 190, "Order 2"),
               At("Detail", 215, "Line L3"), At("Sub", 230, "Part P2"), At("Sub", 240, "Part P3"),
               At("PartsFooter", 250, "2 parts"), At("GroupFooter", 270, "2 orders"),
               At("Group", 290, "Customer B"), At("Master", 310, "Order 3"),
               At("GroupFooter", 335, "1 orders"), At("Summary", 355, "End"),
               At("PageFooter", kA4Height - 30, "1 / 0")}));
}

// Rows of 100 under a page header of 30, above a page footer of 30: nine rows fit a page.
Lines RowsPage(int page, int firstRow, int lastRow, const std::string& footerText) {
    Lines lines{At("PageHeader", 0, "Page " + std::to_string(page))};
    for (int row = firstRow; row <= lastRow; ++row)
        lines.push_back(At("Row", 30 + 100 * (row - firstRow), "Row " + std::to_string(row)));
    if (!footerText.empty()) lines.push_back(At("PageFooter", kA4Height - 30, footerText));
    return lines;
}

TEST_F(EngineRun, TwoPassesShowTheTotalOnlyInTheSecond) {
    for (bool doublePass : {false, true}) {
        SCOPED_TRACE(doublePass);
        Load("rows.pg3");
        report->EngineOptions()->SetDoublePass(doublePass);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ASSERT_EQ(PageCount(), 2);
        const std::string total = doublePass ? "2" : "0";
        Lines second = RowsPage(2, 10, 12, "");
        second.push_back(At("Footer", 330, "Footer"));
        second.push_back(At("PageFooter", kA4Height - 30, "2 / " + total));
        EXPECT_EQ(AllPages(), (std::vector<Lines>{RowsPage(1, 1, 9, "1 / " + total), second}));
    }
}

TEST_F(EngineRun, PageFooterFirstAndLastPageRules) {
    struct Case {
        int rows;
        bool onFirst, onLast;
        std::vector<int> pagesWithFooter;
    };
    for (const Case& c :
         {Case{3, true, true, {1}}, Case{3, false, true, {1}}, Case{3, true, false, {1}},
          Case{3, false, false, {}}, Case{12, true, true, {1, 2}}, Case{12, false, true, {2}},
          Case{12, true, false, {1}}, Case{12, false, false, {}}}) {
        SCOPED_TRACE(std::to_string(c.rows) + " rows, first " + std::to_string(c.onFirst) +
                     ", last " + std::to_string(c.onLast));
        Load("rows.pg3");
        Find<TpgwDataBand>("Row")->SetRowCount(c.rows);
        auto* footer = Find<TpgwPageFooter>("PageFooter");
        footer->SetPrintOnFirstPage(c.onFirst);
        footer->SetPrintOnLastPage(c.onLast);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        std::vector<int> pages;
        const std::vector<Lines> footers = BandsNamed("PageFooter");
        for (std::size_t i = 0; i < footers.size(); ++i) {
            if (footers[i].empty()) continue;
            pages.push_back(static_cast<int>(i) + 1);
            EXPECT_EQ(footers[i],
                      Lines{At("PageFooter", kA4Height - 30, std::to_string(i + 1) + " / 0")});
        }
        EXPECT_EQ(pages, c.pagesWithFooter);
    }
}

TEST_F(EngineRun, ReportDataSetRunsThePagesOncePerRecord) {
    TTable* rep = Table("Rep", {{{"n", 1}}, {{"n", 2}}, {{"n", 3}}});
    Load("two_pages.pg3");
    report->SetDataSet(rep);
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    std::vector<Lines> expected;
    for (int n = 1; n <= 3; ++n) {
        expected.push_back({At("First", 0, "First " + std::to_string(n))});
        expected.push_back({At("Second", 0, "Second " + std::to_string(n))});
    }
    EXPECT_EQ(AllPages(), expected);
}

TEST_F(EngineRun, OneDataSetInTwoPlacesPreparesNothing) {
    struct Case {
        bool onReport, onPage, onBand;
        const char* message;
    };
    for (const Case& c : {Case{true, true, false,
                               "Cannot use the same dataset for Report.DataSet and Page.DataSet"},
                          Case{true, false, true,
                               "Cannot use the same dataset for Report.DataSet and Band.DataSet"},
                          Case{false, true, true,
                               "Cannot use the same dataset for Page.DataSet and Band.DataSet"}}) {
        SCOPED_TRACE(c.message);
        tables.clear();
        TTable* rep = Table("Rep", {{{"n", 1}}});
        Load("two_pages.pg3");
        if (c.onReport) report->SetDataSet(rep);
        if (c.onPage) Bind("Page1", "Rep");
        if (c.onBand) Bind("First", "Rep");
        EXPECT_FALSE(Prepare());
        EXPECT_TRUE(HasError(c.message)) << report->Errors().Text();
        EXPECT_EQ(report->Errors().Count(), 1) << report->Errors().Text();
        EXPECT_EQ(PageCount(), 0);
    }
}

TEST_F(EngineRun, PageColumnsFollowTheirPositions) {
    // The positions are millimetres with a decimal comma; a list shorter than Columns places
    // the missing columns by the column width.
    struct Case {
        int columns;
        const char* positions;
        std::vector<double> offsets;
    };
    const double third = 190.0 / 3 * pg01cm;
    for (const Case& c : {Case{2, nullptr, {0, 95.5 * pg01cm}}, // the template's "0" and "95,5"
                          Case{3, "0", {0, third, 2 * third}}}) {
        SCOPED_TRACE(c.columns);
        Load("columns.pg3");
        if (c.positions) {
            auto* page = Find<TpgwReportPage>("Page1");
            page->SetColumns(c.columns);
            page->ColumnPositions()->SetText(c.positions);
        }
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        // Nine rows fit below the page header and the column header; the next column starts
        // again below the page header with the column header repeated.
        std::vector<Lines> expected;
        int row = 1;
        while (row <= 20) {
            Lines page{At("PageHeader", 0, "Page " + std::to_string(expected.size() + 1))};
            for (double offset : c.offsets) {
                if (row > 20) break;
                page.push_back(At("ColumnHeader", 30, "Column", offset));
                for (int i = 0; i < 9 && row <= 20; ++i, ++row)
                    page.push_back(At("Row", 50 + 100 * i, "Row " + std::to_string(row), offset));
            }
            expected.push_back(page);
        }
        EXPECT_EQ(AllPages(), expected);
    }
}

TEST_F(EngineRun, PrintOnPreviousPageContinuesBelowTheLastBand) {
    for (bool previous : {true, false}) {
        SCOPED_TRACE(previous);
        Load("previous.pg3");
        Find<TpgwReportPage>("Page2")->SetPrintOnPreviousPage(previous);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        const Lines first{At("First", 0, "First 1"), At("First", 100, "First 2"),
                          At("First", 200, "First 3")};
        if (previous) {
            // The title prints there, the page header does not.
            Lines page = first;
            for (const std::string& line :
                 {At("Title", 300, "Title"), At("Second", 340, "Second 1"),
                  At("Second", 440, "Second 2")})
                page.push_back(line);
            EXPECT_EQ(AllPages(), std::vector<Lines>{page});
        } else {
            EXPECT_EQ(AllPages(),
                      (std::vector<Lines>{first,
                                          {At("Title", 0, "Title"), At("PageHeader", 40, "Header"),
                                           At("Second", 70, "Second 1"),
                                           At("Second", 170, "Second 2")}}));
        }
    }
}

TEST_F(EngineRun, EndlessPageIsAsTallAsItsContent) {
    Load("endless.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 1);
    Lines expected;
    for (int row = 0; row < 15; ++row)
        expected.push_back(At("Row", 100 * row, "1000000"));
    expected.push_back(At("PageFooter", 1500, "End"));
    EXPECT_EQ(PageLines(0), expected);
    int width = 0, height = 0;
    Store().GetPageSize(0, width, height);
    EXPECT_EQ(width, 794);   // 210 mm
    EXPECT_EQ(height, 1606); // margins of 10 mm, 15 rows and the footer
}

TEST_F(EngineRun, EventsOfABandThatBreaksThePage) {
    Load("events.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    EXPECT_EQ(AllPages(),
              (std::vector<Lines>{{At("PageHeader", 0), At("Master", 30, "Row 1"), At("Child", 630),
                                   At("PageFooter", kA4Height - 30)},
                                  {At("PageHeader", 0), At("Master", 30, "Row 2"), At("Child", 630),
                                   At("PageFooter", kA4Height - 30)}}));
    TksCustomVariable* trace = report->Script()->FindOwn("Trace");
    ASSERT_NE(trace, nullptr);
    const std::string record = "Master.before;Memo.before;Memo.fetch;Memo.data;Master.height;";
    const std::string printed = "Memo.after;Master.after;Child.before;Child.after;";
    const std::string pageHeader = "PageHeader.before;PageHeader.after;";
    const std::string pageFooter = "PageFooter.before;PageFooter.after;";
    EXPECT_EQ(trace->GetValue().AsString(), "Page1.before;" + pageHeader + record + printed +
                                                // the second record does not fit: the break comes
                                                // between its height and its output
                                                record + pageFooter + pageHeader + printed +
                                                pageFooter + "Page1.after;");
}

} // namespace
