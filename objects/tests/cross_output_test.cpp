// Cross-tabs printed into prepared pages: strips across and down, repeated headers, split
// header cells, borders, joined cells and the events of printed cells, compared with the page
// dumps in testdata/cross/output.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "objects/tests/cross_fixture.h"
#include "platform/ui/application.h"
#include "report/dmp_class.h"

namespace {

// Sales of six cities in three regions over six months of two quarters. Amounts repeat and
// include 0; Fenn's March amount is Null and Eck has no May record at all.
std::vector<std::string> SalesTable() {
    const char* cities[][2] = {{"North", "Anton"}, {"North", "Berg"}, {"South", "Cole"},
                               {"South", "Dorn"},  {"South", "Eck"},  {"West", "Fenn"}};
    std::vector<std::string> sql{"create table sales (region TEXT, city TEXT, quarter TEXT, "
                                 "month INTEGER, amount INTEGER)"};
    for (int c = 0; c < 6; ++c)
        for (int m = 1; m <= 6; ++m) {
            if (c == 4 && m == 5) continue;
            const std::string amount =
                c == 5 && m == 3 ? "NULL" : std::to_string((c * 3 + m * 7) % 11 * 5);
            sql.push_back(std::string("insert into sales values ('") + cities[c][0] + "', '" +
                          cities[c][1] + "', '" + (m <= 3 ? "Q1" : "Q2") + "', " +
                          std::to_string(m) + ", " + amount + ")");
        }
    return sql;
}

class CrossOutput : public CrossFixture {
protected:
    // A page of width x height millimetres with a page footer, the band of the cross-tab and a
    // band printed after it; the cross-tab reads the sales by region (and city with two row
    // levels) and month (under quarter with two column levels), every memo 50 x 20.
    void Build(double width, double height, int rowLevels = 2, int columnLevels = 1) {
        page = NewPage(width, height);
        auto* footer = NewBand<TpgwPageFooter>(page, "Footer", 300, 20);
        Text(footer, "FooterMemo", "foot");
        band = NewBand(page, "Band1", 0);
        Text(NewBand(page, "After", 100), "AfterMemo", "after");
        cross = NewCross(band, "Cross1", 10);
        SqliteData(SalesTable(), "select * from sales");
        cross->SetDataSet(dataSet.get());
        cross->SetRowLevels(rowLevels);
        cross->SetColumnLevels(columnLevels);
        const char* rowFields[] = {"", "region", "region\ncity"};
        const char* columnFields[] = {"", "month", "quarter\nmonth"};
        cross->RowFields()->SetText(rowFields[rowLevels]);
        cross->ColumnFields()->SetText(columnFields[columnLevels]);
        cross->CellFields()->SetText("amount");
        FixSizes(cross);
        cross->CornerMemos()[0]->SetText("corner");
        cross->CornerMemos()[1]->SetText("title");
    }
    static TpgwMemoView* Text(TpgwComponent* parent, const std::string& name,
                              const std::string& text) {
        auto* memo = new TpgwMemoView(parent);
        memo->SetName(name);
        memo->SetBounds(0, 0, 60, 20);
        memo->SetText(text);
        return memo;
    }
    // A second cross-tab in the band, of cities by quarter, that the first places beside it.
    void NextCross() {
        auto* second = NewCross(band, "Cross2");
        second->SetDataSet(dataSet.get());
        second->RowFields()->SetText("city");
        second->ColumnFields()->SetText("quarter");
        second->CellFields()->SetText("amount");
        FixSizes(second);
        cross->SetNextCross(second);
        cross->SetNextCrossGap(10);
        cross->SetShowColumnTotal(false);
    }
    // Amount and double amount of the first two months in each cell.
    void TwoCellLevels(bool plain) {
        query->SQL().SetText("select *, amount * 2 as doubled from sales where month < 3");
        cross->SetCellLevels(2);
        cross->CellFields()->SetText("amount\ndoubled");
        cross->SetPlainCells(plain);
        FixSizes(cross);
        for (const auto& memo : cross->CellMemos())
            memo->Frame()->SetTyp(0);
        for (std::size_t i = 0; i < cross->CellHeaderMemos().size(); ++i)
            cross->CellHeaderMemos()[i]->SetText(i % 2 ? "doubled" : "amount");
    }
    // Widens the printed header memo of a month.
    static void WidenMonth(TpgwCustomCrossView* cross, int month, double by) {
        cross->HostPrintColumnHeader = [month, by](TpgwCustomMemoView* memo, const Variant&,
                                                   const Variant&, const Variant& value) {
            if (!value.IsString() && !value.IsNull() && value.AsInteger() == month)
                memo->SetWidth(memo->Width() + by);
        };
    }

    TpgwReportPage* page = nullptr;
    TpgwMasterData* band = nullptr;
    TpgwDBCrossView* cross = nullptr;
};

// Each case builds the sales layout on a page of its size, changes what it tests, prepares and
// compares the page dump with its golden. The goldens were written once and checked by hand:
// positions against the 50 x 20 grid, page breaks against the page sizes, the strips' page
// order, and where the band after the table and the page footers land.
TEST_F(CrossOutput, PreparedPagesMatchTheirGoldens) {
    struct Case {
        const char* name;
        double width, height;
        int rowLevels, columnLevels;
        std::function<void()> change;
    };
    // 120 x 60 mm holds 454 x 227 units: seven 50-wide columns after the 100-wide row header
    // need two column strips, the ten rows below the 40-high column header two row strips.
    const Case cases[] = {
        {"one_page", 210, 297, 1, 1, nullptr},
        {"across_repeat", 120, 60, 2, 1, nullptr},
        {"across_no_repeat", 120, 60, 2, 1, [this] { cross->SetRepeatHeaders(false); }},
        {"down_repeat", 120, 60, 2, 1, [this] { cross->SetDownThenAcross(true); }},
        {"down_no_repeat", 120, 60, 2, 1,
         [this] {
             cross->SetDownThenAcross(true);
             cross->SetRepeatHeaders(false);
         }},
        // The cut falls before Q2's total: the title and Q2 are split and lose the frame line
        // at the cut; June, widened to end 4 units beyond the cut, moves whole.
        {"split_header", 120, 100, 1, 2, [this] { WidenMonth(cross, 6, 4); }},
        // 8 units beyond the cut June is split too.
        {"split_leaf", 120, 100, 1, 2, [this] { WidenMonth(cross, 6, 8); }},
        {"endless_width", 120, 100, 1, 2, [this] { page->SetEndlessWidth(true); }},
        // Two filler records leave room for the column header and a few rows only.
        {"keep_together", 210, 100, 2, 1,
         [this] {
             auto* filler = NewBand(page, "Filler", -50, 100);
             filler->SetRowCount(2);
             cross->SetKeepTogether(true);
         }},
        // Zeros print empty in data and total cells, Null cells empty in any case; Dorn's
        // February amount is the text "0" and stays.
        {"hide_zeros_null", 210, 297, 2, 1,
         [this] {
             query->SQL().SetText("select region, city, month, case when city = 'Dorn' and "
                                  "month = 2 then '0' else amount end as amount from sales");
             for (const auto& memo : cross->CellMemos())
                 memo->SetHideZeros(true);
         }},
        // The first quarter's months all hold 20: they join in the data rows, not in totals.
        {"join_equal_cells", 210, 297, 2, 1,
         [this] {
             query->SQL().SetText("select region, city, month, case when month < 4 then 20 "
                                  "else amount end as amount from sales");
             cross->SetJoinEqualCells(true);
         }},
        // Cell memos without frames: Border draws the table's outer edge only.
        {"border", 210, 297, 2, 1,
         [this] {
             for (const auto& memo : cross->CellMemos())
                 memo->Frame()->SetTyp(0);
         }},
        {"no_border", 210, 297, 2, 1,
         [this] {
             for (const auto& memo : cross->CellMemos())
                 memo->Frame()->SetTyp(0);
             cross->SetBorder(false);
         }},
        {"next_cross", 210, 297, 1, 1, [this] { NextCross(); }},
        // Down then across, the next cross-tab stands beside the last column strip, level
        // with the first row strip.
        {"down_next_cross", 100, 100, 1, 1,
         [this] {
             NextCross();
             cross->SetShowColumnTotal(true);
             cross->SetDownThenAcross(true);
         }},
        // Only the first two months: a page holds the row header and one column beside it.
        {"oversize_columns", 120, 100, 1, 1,
         [this] {
             query->SQL().SetText("select * from sales where month < 3");
             cross->SetMaxWidth(1000);
             for (const auto& memo : cross->ColumnMemos())
                 memo->SetWidth(400);
             for (const auto& memo : cross->ColumnTotalMemos())
                 memo->SetWidth(400);
         }},
        // The filler leaves room for the column header but not for the first row: the table
        // starts on the next page rather than leaving its header alone at the bottom.
        {"tall_first_row", 210, 100, 2, 1, [this] { NewBand(page, "Filler", -50, 300); }},
        {"two_row_strips", 210, 60, 2, 1, nullptr},
        {"no_row_levels", 210, 297, 0, 1, nullptr},
        {"no_column_levels", 210, 297, 1, 0, nullptr},
        // Two values per cell, one above the other with a caption column, and side by side
        // with a caption row; the border follows the outer edge in both.
        {"two_cell_levels", 210, 297, 1, 1, [this] { TwoCellLevels(false); }},
        {"plain_cells", 210, 297, 1, 1, [this] { TwoCellLevels(true); }},
        // The cells' highlight sees each cell's value.
        {"highlight", 210, 297, 1, 1,
         [this] {
             for (const auto& memo : cross->CellMemos())
                 memo->Highlight()->SetCondition("Value >= 100");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Build(c.width, c.height, c.rowLevels, c.columnLevels);
        if (c.change) c.change();
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ExpectGolden(c.name, Dump());
    }
}

TEST_F(CrossOutput, ATableThatFitsEndsNoPageOfItsOwn) {
    Build(210, 297, 1, 1);
    std::vector<int> pagesEnded;
    report->OnProgress = [&](TObject*, int type, int progress) {
        if (type == ptRunning) pagesEnded.push_back(progress);
    };
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    // The report's own end of its only page, and no other.
    EXPECT_EQ(pagesEnded, std::vector<int>{1});
}

TEST_F(CrossOutput, WithoutAMatrixAnEmptyTablePrints) {
    // A script cross-tab that keeps its matrix but never began one, and a data-set cross-tab
    // without a data set, print the same empty table.
    for (bool script : {true, false}) {
        SCOPED_TRACE(script ? "no matrix begun" : "not valid");
        TearDown();
        SetUp();
        page = NewPage(210, 297);
        band = NewBand(page, "Band1");
        TpgwCustomCrossView* empty =
            script ? static_cast<TpgwCustomCrossView*>(NewCross<TpgwCrossView>(band, "Cross1", 10))
                   : NewCross<TpgwDBCrossView>(band, "Cross1", 10);
        empty->ClearBeforePrint = !script;
        FixSizes(empty);
        empty->CornerMemos()[1]->SetText("title");
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ExpectGolden("empty_matrix", Dump());
    }
}

TEST_F(CrossOutput, ACancelStopsAfterTheCurrentStrip) {
    // Cancelled while the first strip prints: the strips across the page are finished, the
    // run ends there.
    Build(120, 60);
    cross->HostPrintCell = [this](TpgwCustomMemoView*, int, int, int, const Variant&,
                                  const Variant&, const Variant&) { report->SetTerminated(true); };
    Prepare();
    ExpectGolden("cancel", Dump());
}

TEST_F(CrossOutput, PendingEventsRunAfterEachStrip) {
    // The window system's events wait until the first strip is done; one that closes the
    // preview stops the table there, one that asks for a new preparation has the whole report
    // prepared once this run has ended.
    struct Case {
        const char* what;
        bool prepareAgain;
        const char* golden;
    };
    for (const Case& c : {Case{"closed", false, "cancel_pending"},
                          Case{"prepared again", true, "two_row_strips"}}) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        Build(210, 60);
        bool queued = false;
        cross->HostPrintCell = [&](TpgwCustomMemoView*, int, int, int, const Variant&,
                                   const Variant&, const Variant&) {
            if (queued) return;
            queued = true;
            TpgwReport* r = report.get();
            const bool again = c.prepareAgain;
            Application()->QueueCall([r, again] {
                if (again)
                    r->BuildPreparedPages();
                else
                    r->SetTerminated(true);
            });
        };
        Prepare();
        ExpectGolden(c.golden, Dump());
    }
}

TEST_F(CrossOutput, DotMatrixCellsSitOneCharacterCellIn) {
    auto* dmp = new TpgwDMPPage(report.get());
    dmp->SetName("Page1");
    auto* dmpBand = NewBand(dmp, "Band1", 0, 34);
    auto* table = NewCross(dmpBand, "Cross1", 0);
    ASSERT_TRUE(table->DotMatrixMode());
    SqliteData(SalesTable(), "select * from sales where month < 3");
    table->SetDataSet(dataSet.get());
    table->RowFields()->SetText("region");
    table->ColumnFields()->SetText("month");
    table->CellFields()->SetText("amount");
    // Ten characters by two lines.
    FixSizes(table, 96, 34);
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ExpectGolden("dot_matrix", Dump());
}

// The header events see the node's path: indexes and values of the nodes below the root.
TEST_F(CrossOutput, HeaderEventsSeeTheNodesPath) {
    Build(210, 297, 2, 2);
    query->SQL().SetText("select * from sales where month in (1, 4) and region <> 'South'");
    std::vector<std::string> columns, rows;
    auto text = [](const Variant& v) {
        if (!v.IsArray()) return v.IsNull() ? std::string("null") : v.AsString();
        std::string s = "[";
        for (int i = VarArrayLowBound(v, 1); i <= VarArrayHighBound(v, 1); ++i)
            s += (i ? " " : "") + VarArrayGet(v, {i}).AsString();
        return s + "]";
    };
    auto record = [&](std::vector<std::string>& into) {
        return [&, text](TpgwCustomMemoView*, const Variant& indexes, const Variant& values,
                         const Variant& value) {
            into.push_back(text(indexes) + " " + text(values) + " " + text(value));
        };
    };
    cross->HostPrintColumnHeader = record(columns);
    cross->HostPrintRowHeader = record(rows);
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    EXPECT_EQ(columns, (std::vector<std::string>{"[] [] title\r\n", "[0] [Q1] Q1", "[0 0] [Q1 1] 1",
                                                 "[0 1] [Q1 Total] Total", "[1] [Q2] Q2",
                                                 "[1 0] [Q2 4] 4", "[1 1] [Q2 Total] Total",
                                                 "[2] [Grand Total] Grand Total"}));
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "[0] [North] North", "[0 0] [North Anton] Anton", "[0 1] [North Berg] Berg",
                        "[0 2] [North Total] Total", "[1] [West] West", "[1 0] [West Fenn] Fenn",
                        "[1 1] [West Total] Total", "[2] [Grand Total] Grand Total"}));
}

// A script cross-tab filled from its before-print event prints the same table in every
// language; its print events write what they see into the printed texts.
TEST_F(CrossOutput, ScriptFilledTablePrintsAlikeInEveryLanguage) {
    struct Language {
        const char* name;
        const char* script;
    };
    const Language languages[] = {
        {"PascalScript",
         "procedure Fill(Sender: Variant);\r\nbegin\r\n"
         "  Cross1.AddValue(['North'], [1], [10]);\r\n"
         "  Cross1.AddValue(['North'], [2], [20]);\r\n"
         "  Cross1.AddValue(['South'], [1], [5]);\r\n"
         "  Cross1.AddValue(['South'], [1], [7]);\r\nend;\r\n"
         "procedure Cell(Memo: TpgwMemoView; RowIndex, ColumnIndex, CellIndex: Integer; "
         "RowValues, ColumnValues, Value: Variant);\r\nbegin\r\n"
         "  Memo.Text := VarToStr(Value) + ' r' + IntToStr(RowIndex) + 'c' + "
         "IntToStr(ColumnIndex) + 'l' + IntToStr(CellIndex) + ' ' + VarToStr(RowValues[0]) + "
         "':' + VarToStr(ColumnValues[0]);\r\nend;\r\n"
         "procedure Row(Memo: TpgwMemoView; HeaderIndexes, HeaderValues, Value: Variant);\r\n"
         "begin\r\n  Memo.Text := VarToStr(Value) + ' ' + VarToStr(HeaderIndexes[0]) + ':' + "
         "VarToStr(HeaderValues[0]);\r\nend;\r\n"
         "procedure Before(Sender: TpgwMemoView);\r\nbegin\r\n"
         "  Sender.Text := Sender.Text + ' @' + VarToStr(Get('RowIndex')) + ',' + "
         "VarToStr(Get('ColumnIndex'));\r\nend;\r\n"
         "begin\r\nend."},
        {"C++Script",
         "void Fill(variant Sender) {\r\n"
         "  Cross1.AddValue([\"North\"], [1], [10]);\r\n"
         "  Cross1.AddValue([\"North\"], [2], [20]);\r\n"
         "  Cross1.AddValue([\"South\"], [1], [5]);\r\n"
         "  Cross1.AddValue([\"South\"], [1], [7]);\r\n}\r\n"
         "void Cell(TpgwMemoView Memo, int RowIndex, int ColumnIndex, int CellIndex, variant "
         "RowValues, variant ColumnValues, variant Value) {\r\n"
         "  Memo.Text = VarToStr(Value) + \" r\" + IntToStr(RowIndex) + \"c\" + "
         "IntToStr(ColumnIndex) + \"l\" + IntToStr(CellIndex) + \" \" + "
         "VarToStr(RowValues[0]) + \":\" + VarToStr(ColumnValues[0]);\r\n}\r\n"
         "void Row(TpgwMemoView Memo, variant HeaderIndexes, variant HeaderValues, variant "
         "Value) {\r\n  Memo.Text = VarToStr(Value) + \" \" + VarToStr(HeaderIndexes[0]) + "
         "\":\" + VarToStr(HeaderValues[0]);\r\n}\r\n"
         "void Before(TpgwMemoView Sender) {\r\n"
         "  Sender.Text = Sender.Text + \" @\" + VarToStr(Get(\"RowIndex\")) + \",\" + "
         "VarToStr(Get(\"ColumnIndex\"));\r\n}\r\n"
         "{\r\n}"},
        {"BasicScript",
         "Sub Fill(Sender)\r\n"
         "  Cross1.AddValue([\"North\"], [1], [10])\r\n"
         "  Cross1.AddValue([\"North\"], [2], [20])\r\n"
         "  Cross1.AddValue([\"South\"], [1], [5])\r\n"
         "  Cross1.AddValue([\"South\"], [1], [7])\r\nEnd Sub\r\n"
         "Sub Cell(Memo, RowIndex, ColumnIndex, CellIndex, RowValues, ColumnValues, Value)\r\n"
         "  Memo.Text = VarToStr(Value) + \" r\" + IntToStr(RowIndex) + \"c\" + "
         "IntToStr(ColumnIndex) + \"l\" + IntToStr(CellIndex) + \" \" + "
         "VarToStr(RowValues[0]) + \":\" + VarToStr(ColumnValues[0])\r\nEnd Sub\r\n"
         "Sub Row(Memo, HeaderIndexes, HeaderValues, Value)\r\n"
         "  Memo.Text = VarToStr(Value) + \" \" + VarToStr(HeaderIndexes[0]) + \":\" + "
         "VarToStr(HeaderValues[0])\r\nEnd Sub\r\n"
         "Sub Before(Sender)\r\n"
         "  Sender.Text = Sender.Text + \" @\" + VarToStr(Get(\"RowIndex\")) + \",\" + "
         "VarToStr(Get(\"ColumnIndex\"))\r\nEnd Sub\r\n"},
        {"JScript",
         "function Fill(Sender) {\r\n"
         "  Cross1.AddValue([\"North\"], [1], [10]);\r\n"
         "  Cross1.AddValue([\"North\"], [2], [20]);\r\n"
         "  Cross1.AddValue([\"South\"], [1], [5]);\r\n"
         "  Cross1.AddValue([\"South\"], [1], [7]);\r\n}\r\n"
         "function Cell(Memo, RowIndex, ColumnIndex, CellIndex, RowValues, ColumnValues, "
         "Value) {\r\n"
         "  Memo.Text = VarToStr(Value) + \" r\" + IntToStr(RowIndex) + \"c\" + "
         "IntToStr(ColumnIndex) + \"l\" + IntToStr(CellIndex) + \" \" + "
         "VarToStr(RowValues[0]) + \":\" + VarToStr(ColumnValues[0]);\r\n}\r\n"
         "function Row(Memo, HeaderIndexes, HeaderValues, Value) {\r\n"
         "  Memo.Text = VarToStr(Value) + \" \" + VarToStr(HeaderIndexes[0]) + \":\" + "
         "VarToStr(HeaderValues[0]);\r\n}\r\n"
         "function Before(Sender) {\r\n"
         "  Sender.Text = Sender.Text + \" @\" + VarToStr(Get(\"RowIndex\")) + \",\" + "
         "VarToStr(Get(\"ColumnIndex\"));\r\n}\r\n"},
    };
    for (const Language& language : languages) {
        SCOPED_TRACE(language.name);
        TearDown();
        SetUp();
        page = NewPage(210, 297);
        band = NewBand(page, "Band1");
        auto* table = NewCross<TpgwCrossView>(band, "Cross1", 10);
        FixSizes(table, 100, 20);
        table->OnBeforePrint = "Fill";
        table->OnPrintCell = "Cell";
        table->OnPrintRowHeader = "Row";
        for (const auto& memo : table->CellMemos())
            memo->OnBeforePrint = "Before";
        report->SetScriptLanguage(language.name);
        report->ScriptText()->SetText(language.script);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ExpectGolden("script_table", Dump());
    }
}

} // namespace
