// The cross-tab matrix: order of rows and columns, subtotals and grand totals, what a cell
// holds under each function, and the header trees built over the keys.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "objects/cross_view.h"
#include "platform/core/exception.h"
#include "report/memo_view.h"

namespace {

struct Record {
    TpgwVariantArray rows;
    Variant column;
    Variant cell;
};

std::string Text(const Variant& v) {
    return v.IsNull() ? "-" : VarToStr(v);
}

std::string KeyText(const Variant& key) {
    std::string text;
    for (int i = VarArrayLowBound(key, 1); i <= VarArrayHighBound(key, 1); ++i)
        text += (text.empty() ? "" : ",") + Text(VarArrayGet(key, {i}));
    return text;
}

// One word per row: its key, "+" for a total, "!" for the grand total, and its cells.
std::string DumpRows(const TpgwCustomCrossView& cross) {
    std::string out;
    for (int r = 0; r < cross.RowCount(); ++r) {
        std::string row = KeyText(cross.RowKey(r));
        if (cross.IsTotalRow(r)) row += "+";
        if (cross.IsGrandTotalRow(r)) row += "!";
        row += "=";
        for (int c = 0; c < cross.ColCount(); ++c)
            row += (c ? "/" : "") + Text(cross.CellValue(r, c, 0));
        out += (out.empty() ? "" : " ") + row;
    }
    return out;
}

std::string DumpColumns(const TpgwCustomCrossView& cross) {
    std::string out;
    for (int c = 0; c < cross.ColCount(); ++c) {
        std::string column = KeyText(cross.ColumnKey(c));
        if (cross.IsTotalColumn(c)) column += "+";
        if (cross.IsGrandTotalColumn(c)) column += "!";
        out += (out.empty() ? "" : " ") + column;
    }
    return out;
}

// Every node with a memo, pre-order: depth, T for totals, and its value.
std::string DumpTree(TpgwCrossHeader* root) {
    std::string out;
    for (TpgwCrossHeader* node : root->NodesWithMemo()) {
        if (!node->ParentNode) continue;
        out += (out.empty() ? "" : " | ") + std::to_string(node->Depth()) +
               (node->Total ? "T" : "") + ":" + Text(node->KeyValue);
    }
    return out;
}

void Fill(TpgwCustomCrossView& cross, const std::vector<Record>& records) {
    cross.BeginMatrix();
    for (const Record& r : records)
        cross.AddValue(r.rows, {r.column}, {r.cell});
    cross.CompleteMatrix();
}

class CrossMatrix : public ::testing::Test {
protected:
    TpgwCrossView cross{nullptr};
};

TEST_F(CrossMatrix, RowsAreOrderedAndClosedByTotals) {
    struct Case {
        const char* name;
        std::vector<TpgwCrossSortOrder> orders; // one per row level
        std::vector<Record> records;
        const char* rows;
    };
    const Variant a("a"), b("b"), x("x"), y("y");
    const std::vector<Case> cases = {
        {"ascending",
         {csoAscending},
         {{{a}, "c", 1}, {{b}, "c", 2}, {{a}, "c", 3}},
         "a=4/4 b=2/2 @@@+!=6/6"},
        {"descending",
         {csoDescending},
         {{{a}, "c", 1}, {{b}, "c", 2}, {{a}, "c", 3}},
         "b=2/2 a=4/4 @@@+!=6/6"},
        {"first appearance",
         {csoNone},
         {{{b}, "c", 1}, {{a}, "c", 2}, {{b}, "c", 3}},
         "b=4/4 a=2/2 @@@+!=6/6"},
        {"two levels",
         {csoAscending, csoAscending},
         {{{a, 1}, "c", 1}, {{b, 1}, "c", 3}, {{a, 2}, "c", 2}},
         "a,1=1/1 a,2=2/2 a,@@@+=3/3 b,1=3/3 b,@@@+=3/3 @@@,@@@+!=6/6"},
        {"two levels descending inside",
         {csoAscending, csoDescending},
         {{{a, 1}, "c", 1}, {{a, 2}, "c", 2}},
         "a,2=2/2 a,1=1/1 a,@@@+=3/3 @@@,@@@+!=3/3"},
        {"grouping",
         {csoGrouping, csoAscending},
         {{{x, 1}, "c", 1}, {{y, 1}, "c", 2}, {{x, 2}, "c", 3}},
         "x,1=1/1 x,2=3/3 x,@@@+=4/4 y,1=2/2 y,@@@+=2/2 @@@,@@@+!=6/6"},
        // Equal by value, spelled differently: the string comes after as an item of its own.
        {"equal values, other text",
         {csoAscending},
         {{{1}, "c", 5}, {{"1.0"}, "c", 7}},
         "1=5/5 1.0=7/7 @@@+!=12/12"},
        // Repeated keys find the item they matched first, exact or equal by value.
        {"first appearance, equal values",
         {csoNone},
         {{{1}, "c", 5}, {{"1.0"}, "c", 7}, {{1}, "c", 1}, {{1.0}, "c", 2}, {{"1.0"}, "c", 3}},
         "1=8/8 1.0=10/10 @@@+!=18/18"},
        // Null sorts first ascending.
        {"null key",
         {csoAscending},
         {{{b}, "c", 1}, {{Variant::Null()}, "c", 2}},
         "-=2/2 b=1/1 @@@+!=3/3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TpgwCrossView view(nullptr);
        view.SetRowLevels(static_cast<int>(c.orders.size()));
        for (std::size_t i = 0; i < c.orders.size(); ++i)
            view.SetRowSort(static_cast<int>(i), c.orders[i]);
        Fill(view, c.records);
        EXPECT_EQ(DumpRows(view), c.rows);
    }
}

TEST_F(CrossMatrix, ColumnsSortLikeRowsAndCellsFollowTheirColumns) {
    cross.SetColumnSort(0, csoDescending);
    Fill(cross, {{{"r"}, "a", 1}, {{"r"}, "c", 2}, {{"r"}, "b", 4}, {{"s"}, "a", 8}});
    EXPECT_EQ(DumpColumns(cross), "c b a @@@+!");
    EXPECT_EQ(DumpRows(cross), "r=2/4/1/7 s=-/-/8/8 @@@+!=2/4/9/15");
}

TEST_F(CrossMatrix, CellsAndTotalsUnderEachFunction) {
    struct Case {
        TpgwCrossFunction function;
        const char* rows;
    };
    // Row r has 10 and 20 in column x and 40 in column y; row s has 5 and Null in x, and a
    // Null-only cell in y.
    const std::vector<Record> records = {
        {{"r"}, "x", 10},
        {{"r"}, "x", 20},
        {{"r"}, "y", 40},
        {{"s"}, "x", 5},
        {{"s"}, "x", Variant::Null()},
        {{"s"}, "y", Variant::Null()},
    };
    const std::vector<Case> cases = {
        {cfSum, "r=30/40/70 s=5/-/5 @@@+!=35/40/75"},
        {cfMin, "r=10/40/10 s=5/-/5 @@@+!=5/40/5"},
        {cfMax, "r=20/40/40 s=5/-/5 @@@+!=20/40/40"},
        // Each data cell counts once: the mean of 15 and 40, of 15 and 5, of 15, 40 and 5.
        {cfAvg, "r=15/40/27.5 s=5/-/5 @@@+!=10/40/20"},
        {cfCount, "r=2/1/3 s=1/0/1 @@@+!=3/1/4"},
        {cfNone, "r=30/40/- s=5/-/- @@@+!=-/-/-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.function));
        TpgwCrossView view(nullptr);
        view.SetCellFunctions(0, c.function);
        Fill(view, records);
        EXPECT_EQ(DumpRows(view), c.rows);
    }
}

TEST_F(CrossMatrix, MinAndMaxTotalsOverNullCellsStayNull) {
    for (TpgwCrossFunction f : {cfMin, cfMax}) {
        TpgwCrossView view(nullptr);
        view.SetCellFunctions(0, f);
        Fill(view, {{{"r"}, "x", Variant::Null()}, {{"s"}, "x", Variant::Null()}});
        EXPECT_EQ(DumpRows(view), "r=-/- s=-/- @@@+!=-/-");
    }
}

TEST_F(CrossMatrix, EachCellLevelKeepsItsOwnFunction) {
    cross.SetCellLevels(3);
    cross.SetCellFunctions(0, cfSum);
    cross.SetCellFunctions(1, cfAvg);
    cross.SetCellFunctions(2, cfCount);
    cross.BeginMatrix();
    cross.AddValue({"r"}, {"x"}, {1, 10, "u"});
    cross.AddValue({"r"}, {"x"}, {2, 20, Variant::Null()});
    cross.AddValue({"s"}, {"x"}, {4, 40, "w"});
    cross.CompleteMatrix();
    std::string levels;
    for (int l = 0; l < 3; ++l)
        for (int r = 0; r < cross.RowCount(); ++r)
            levels += Text(cross.CellValue(r, 1, l)) + (r + 1 < cross.RowCount() ? " " : "; ");
    EXPECT_EQ(levels, "3 4 7; 15 40 27.5; 1 1 2; ");
    EXPECT_TRUE(cross.CellValue(0, 0, 3).IsNull()); // no such level
}

TEST_F(CrossMatrix, TextCellsJoinTheirLines) {
    for (bool duplicates : {false, true}) {
        TpgwCrossView view(nullptr);
        view.SetCellFunctions(0, cfNone);
        view.SetAllowDuplicates(duplicates);
        Fill(view, {{{"r"}, "x", "ab"}, {{"r"}, "x", "a"}, {{"r"}, "x", "ab"}});
        EXPECT_EQ(VarToStr(view.CellValue(0, 0, 0)), duplicates ? "ab\r\na\r\nab" : "ab\r\na");
    }
}

TEST_F(CrossMatrix, NullRecords) {
    const Record empty{{Variant::Null()}, Variant::Null(), Variant::Null()};
    for (bool suppress : {true, false}) {
        TpgwCrossView view(nullptr);
        view.SetSuppressNullRecords(suppress);
        Fill(view, {empty, {{"r"}, "x", 3}});
        EXPECT_EQ(DumpRows(view), suppress ? "r=3/3 @@@+!=3/3" : "-=-/-/0 r=-/3/3 @@@+!=0/3/3");
    }
}

TEST_F(CrossMatrix, EmptyDimensionsHoldOneKeyAndNoGrandTotal) {
    cross.SetRowLevels(0);
    Fill(cross, {{{}, "x", 1}, {{}, "y", 2}, {{}, "x", 4}});
    EXPECT_EQ(DumpRows(cross), "-!=5/2/7"); // the last row, though no total
    EXPECT_FALSE(cross.RowHeader()->Shown);
    EXPECT_EQ(DumpTree(cross.RowHeader()), "0:-");

    TpgwCrossView columnsEmpty(nullptr);
    columnsEmpty.SetColumnLevels(0);
    columnsEmpty.BeginMatrix();
    columnsEmpty.AddValue({"r"}, {}, {1});
    columnsEmpty.AddValue({"s"}, {}, {2});
    columnsEmpty.CompleteMatrix();
    EXPECT_EQ(DumpColumns(columnsEmpty), "-!");
    EXPECT_EQ(DumpRows(columnsEmpty), "r=1 s=2 @@@+!=3");
}

TEST_F(CrossMatrix, AMatrixWithoutRecordsCompletes) {
    struct Case {
        int rows, columns, cells;
        bool plain;
    };
    for (const Case& c : {Case{1, 1, 1, false}, Case{2, 2, 2, false}, Case{1, 1, 3, true},
                          Case{0, 0, 1, false}, Case{0, 1, 2, true}}) {
        SCOPED_TRACE(std::to_string(c.rows) + std::to_string(c.columns) + std::to_string(c.cells));
        TpgwCrossView view(nullptr);
        view.SetRowLevels(c.rows);
        view.SetColumnLevels(c.columns);
        view.SetCellLevels(c.cells);
        view.SetPlainCells(c.plain);
        view.BeginMatrix();
        view.CompleteMatrix();
        view.CompleteMatrix();
        EXPECT_EQ(view.RowCount(), 0);
        EXPECT_EQ(view.ColCount(), 0);
        EXPECT_TRUE(view.RowHeader()->LeafNodes().empty());
    }
}

TEST_F(CrossMatrix, TotalCaptionsComeFromTheTotalMemos) {
    cross.SetRowLevels(2);
    struct Case {
        const char* memoText;
        const char* caption;
    };
    const std::vector<Case> cases = {
        {"Total of [value]", "Total of a"},
        {"[VALUE] and [Value]", "a and [Value]"},
        {"Sum\r\nof [vAlUe]:", "Sum\r\nof a:"},
        {"", ""},
        {"ab", "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.memoText);
        cross.RowTotalMemos()[1]->SetText(c.memoText);
        Fill(cross, {{{"a", 1}, "x", 1}});
        EXPECT_EQ(DumpTree(cross.RowHeader()),
                  std::string("0:a | 1:1 | 1T:") + c.caption + " | 0T:Grand Total");
    }
}

TEST_F(CrossMatrix, DataThatLooksLikeATotalStaysData) {
    Fill(cross, {{{"@@@"}, "x", 1}, {{"@@@x"}, "x", 2}});
    EXPECT_EQ(DumpRows(cross), "@@@=1/1 @@@x=2/2 @@@+!=3/3");
    EXPECT_FALSE(cross.IsTotalRow(0));
    EXPECT_FALSE(cross.IsTotalRow(1));
    EXPECT_EQ(DumpTree(cross.RowHeader()), "0:@@@ | 0:@@@x | 0T:Grand Total");
}

TEST_F(CrossMatrix, HiddenTotalMemosSuppressTheirTotals) {
    cross.SetRowLevels(2);
    const std::vector<Record> records = {{{"a", 1}, "x", 1}, {{"b", 2}, "x", 2}};
    cross.RowTotalMemos()[1]->SetVisible(false);
    Fill(cross, records);
    EXPECT_EQ(DumpRows(cross), "a,1=1/1 b,2=2/2 @@@,2+!=3/3");

    cross.RowTotalMemos()[1]->SetVisible(true);
    cross.SetShowRowTotal(false); // the grand total's memo is hidden when the matrix begins
    Fill(cross, records);
    EXPECT_EQ(DumpRows(cross), "a,1=1/1 a,@@@+=1/1 b,2=2/2 b,@@@+!=2/2");
    EXPECT_TRUE(cross.IsGrandTotalRow(3)); // the last row, total or not
}

TEST_F(CrossMatrix, HeaderTreesFollowTheKeysOneLeafPerItem) {
    cross.SetRowLevels(2);
    cross.SetColumnLevels(2);
    cross.BeginMatrix();
    cross.AddValue({"a", 1}, {"X", "p"}, {1});
    cross.AddValue({"a", 2}, {"X", "q"}, {2});
    cross.AddValue({"b", 1}, {"Y", "p"}, {3});
    cross.CompleteMatrix();
    EXPECT_EQ(DumpTree(cross.RowHeader()),
              "0:a | 1:1 | 1:2 | 1T:Total | 0:b | 1:1 | 1T:Total | 0T:Grand Total");
    EXPECT_EQ(DumpTree(cross.ColumnHeader()),
              "0:X | 1:p | 1:q | 1T:Total | 0:Y | 1:p | 1T:Total | 0T:Grand Total");
    EXPECT_EQ(cross.RowHeader()->LeafNodes().size(), static_cast<std::size_t>(cross.RowCount()));
    EXPECT_EQ(cross.ColumnHeader()->LeafNodes().size(), static_cast<std::size_t>(cross.ColCount()));

    TpgwCrossHeader* leaf = cross.ColumnHeader()->LeafNodes()[3]; // (Y, p)
    const TpgwVariantArray indexes = leaf->PathIndexes();
    const TpgwVariantArray values = leaf->PathValues();
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0].AsInteger(), 1);
    EXPECT_EQ(indexes[1].AsInteger(), 0);
    EXPECT_EQ(VarToStr(values[0]) + VarToStr(values[1]), "Yp");
    EXPECT_EQ(leaf->Root(), cross.ColumnHeader());
    EXPECT_EQ(cross.RowHeader()->LeafNodes()[2]->TotalDepth, 1);
    EXPECT_EQ(cross.RowHeader()->LeafNodes().back()->TotalDepth, 2);
    // The corner holds one caption per row level.
    EXPECT_EQ(cross.Corner()->Children.size(), 2u);
}

TEST_F(CrossMatrix, CompletingAgainGivesTheSameTableAndTakesNewRecords) {
    cross.SetRowLevels(2);
    cross.SetCellFunctions(0, cfAvg);
    cross.BeginMatrix();
    cross.AddValue({"a", 1}, {"x"}, {10});
    cross.AddValue({"a", 1}, {"x"}, {20});
    cross.AddValue({"b", 1}, {"y"}, {30});
    cross.CompleteMatrix();
    const std::string first = DumpRows(cross);
    const std::string tree = DumpTree(cross.RowHeader());
    // An average over a group without values is 0, as a sum is.
    EXPECT_EQ(first, "a,1=15/-/15 a,@@@+=15/0/15 b,1=-/30/30 b,@@@+=0/30/30 @@@,@@@+!=15/30/22.5");
    cross.CompleteMatrix();
    EXPECT_EQ(DumpRows(cross), first);
    EXPECT_EQ(DumpTree(cross.RowHeader()), tree);

    cross.AddValue({"a", 2}, {"x"}, {60});
    cross.CompleteMatrix();
    EXPECT_EQ(DumpRows(cross),
              "a,1=15/-/15 a,2=60/-/60 a,@@@+=37.5/0/37.5 b,1=-/30/30 b,@@@+=0/30/30 "
              "@@@,@@@+!=37.5/30/35");
}

TEST_F(CrossMatrix, ScriptsSeeCountsKeysAndTotalsOfTheMatrix) {
    EXPECT_EQ(cross.ColCount(), 0);
    EXPECT_FALSE(cross.IsTotalRow(0));
    EXPECT_TRUE(cross.RowKey(0).IsNull());
    cross.BeginMatrix();
    cross.AddValue({"r"}, {"x"}, {1});
    EXPECT_EQ(cross.ColCount(), 1);
    cross.CompleteMatrix();
    EXPECT_EQ(cross.ColCount(), 2);
    EXPECT_TRUE(cross.IsTotalColumn(1));
    EXPECT_FALSE(cross.IsTotalColumn(2));
    EXPECT_EQ(KeyText(cross.ColumnKey(1)), "@@@");
    EXPECT_TRUE(cross.CellValue(5, 0, 0).IsNull());
    cross.ClearMatrix();
    EXPECT_FALSE(cross.HasMatrix());
}

TEST_F(CrossMatrix, BadRecordsRaiseClearErrors) {
    cross.AddValue({"r"}, {"x"}, {1}); // no matrix: nothing happens
    EXPECT_FALSE(cross.HasMatrix());

    cross.BeginMatrix();
    EXPECT_THROW(cross.AddValue({}, {"x"}, {1}), EInvalidArgument);
    EXPECT_THROW(cross.AddValue({"r"}, {"x"}, {}), EInvalidArgument);
    cross.AddValue({"r"}, {"x"}, {1});
    EXPECT_THROW(cross.AddValue({"r"}, {"x"}, {"no number"}), EVariantTypeCastError);
    EXPECT_EQ(cross.RowCount(), 1);

    cross.SetCellLevels(0);
    try {
        cross.AddValue({"r"}, {"x"}, {});
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Cross-tab is not valid");
    }
}

TEST(CrossKeys, CompareAndFind) {
    std::array<TpgwCrossSortOrder, kCrossMaxLevels> orders{};
    TpgwCrossRows rows(2, orders, 1);
    for (const TpgwVariantArray& key :
         {TpgwVariantArray{"b", 2}, TpgwVariantArray{"a", 1}, TpgwVariantArray{"b", 1}})
        rows.FindOrAdd(key);
    std::string order;
    for (int i = 0; i < rows.Count(); ++i)
        order += VarToStr(rows.Item(i)->Key[0]) + VarToStr(rows.Item(i)->Key[1]) + " ";
    EXPECT_EQ(order, "a1 b1 b2 ");
    int position = -1;
    EXPECT_TRUE(rows.Find({"b", 1}, position));
    EXPECT_EQ(position, 1);
    EXPECT_FALSE(rows.Find({"a", 5}, position));
    EXPECT_EQ(position, 1);
    EXPECT_EQ(rows.CompareKey(*rows.Item(0), {"a", 1}), 0);

    orders[0] = csoGrouping;
    TpgwCrossRows grouped(3, orders, 1);
    grouped.FindOrAdd({"x", 1, "p"});
    grouped.FindOrAdd({"y", 1, "p"});
    // Shares two levels with the first item: the depth of the share shows in the result.
    EXPECT_EQ(grouped.CompareKey(*grouped.Item(0), {"x", 1, "q"}), 4);
    EXPECT_EQ(grouped.CompareKey(*grouped.Item(0), {"x", 2, "q"}), 3);
    EXPECT_FALSE(grouped.Find({"x", 2, "q"}, position));
    EXPECT_EQ(position, 1);

    TpgwCrossRow* row = rows.Row(0);
    EXPECT_EQ(row->GetCell(-1), nullptr);
    TpgwCrossCell* cell = row->GetCell(3);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(row->CellChains.size(), 4u);
    EXPECT_TRUE(cell->Value.IsNull());
    EXPECT_EQ(cell->Count, 1);
    EXPECT_EQ(cell->Next, nullptr);
}

} // namespace
