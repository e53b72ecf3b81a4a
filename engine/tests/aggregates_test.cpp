// Aggregates: the scan of text objects for calls (variables, quotes, nesting, bands and
// flags), the five kinds over values with Nulls and Booleans, invisible records, running
// totals, resets, undo, keep-together in the page footer and vertical columns.

#include "engine/aggregates.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/band_tree.h"
#include "platform/core/exception.h"
#include "platform/core/string_list.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"

namespace {

const bool registered = [] {
    RegisterBandAndPageClasses();
    RegisterMemoClasses();
    return true;
}();

// Expressions answer from a column of values per record.
class TableHost : public TpgwAggregateHost {
public:
    explicit TableHost(TpgwReport& report) : report_(report) {}
    Variant Calc(const std::string& expression) override {
        calledFor.push_back(currentObject);
        return columns.at(expression).at(record);
    }
    TpgwComponent* FindObject(std::string_view name) override { return report_.FindObject(name); }
    bool VariableValue(std::string_view name, Variant& value) override {
        auto it = variables.find(std::string(name));
        if (it == variables.end()) return false;
        value = it->second;
        return true;
    }
    bool IsDataField(const std::string& text) override { return text == "Data.\"SUM\""; }
    void SetCurrentObjectName(const std::string& name) override { currentObject = name; }

    std::map<std::string, std::vector<Variant>> columns;
    std::map<std::string, Variant> variables;
    std::size_t record = 0;
    std::string currentObject;
    std::vector<std::string> calledFor;

private:
    TpgwReport& report_;
};

const Variant N = Variant::Null();

class Aggregates : public ::testing::Test {
protected:
    Aggregates() {
        master->SetName("Master1");
        master->SetBounds(0, 40, 100, 20);
        master->SetDataSet(&data);
        footer->SetName("Footer1");
        footer->SetBounds(0, 70, 100, 20);
    }

    TpgwMemoView* memo(TpgwBand* band, const std::string& text) {
        auto* m = new TpgwMemoView(band);
        m->SetName("Memo" + std::to_string(++memos));
        m->SetText(text);
        return m;
    }
    void scan() {
        TStringList errors;
        BuildBandTree(*page, errors, false);
        ASSERT_EQ(errors.Count(), 0);
        list.AddAggregates(*page);
    }
    // Adds the records of the column "V" (and any other column) from the first on.
    void addRecords(int count, TpgwBand* band = nullptr) {
        for (int i = 0; i < count; ++i) {
            host.record = static_cast<std::size_t>(i);
            list.AddValue(band ? band : master, 0);
        }
    }
    Variant value(const char* name, const char* expression = "<V>", TpgwBand* printBand = nullptr,
                  int flags = 0, TpgwComponent* band = nullptr) {
        return list.GetValue(printBand ? printBand : footer, 0, name, expression, band, flags);
    }
    std::vector<std::string> callTexts() {
        std::vector<std::string> texts;
        for (int i = 0; i < list.Count(); ++i)
            texts.push_back(list.Items(i).CallText);
        return texts;
    }

    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
    TpgwUserDataSet data{&report};
    TpgwMasterData* master = new TpgwMasterData(page);
    TpgwFooter* footer = new TpgwFooter(page);
    TableHost host{report};
    TpgwAggregateList list{host};
    int memos = 0;
};

TEST_F(Aggregates, ScanFindsCallsInFootersOnly) {
    memo(footer, "Total [SUM(<V>)] of [count(Master1)], [IIF(MAX(<V>) > 0, 'x', \"y\")]");
    memo(footer, "['SUM(<V>)'] [\"AVG(<V>)\"] [SUMMARY(1)] [Data.\"SUM\"] [MIN (<V>)]");
    memo(master, "[SUM(<V>)]"); // a data band is no place for totals
    auto* off = memo(footer, "[SUM(<W>)]");
    off->SetAllowExpressions(false);
    scan();
    EXPECT_EQ(callTexts(), (std::vector<std::string>{"SUM(<V>)", "count(Master1)", "MAX(<V>)"}));
    const TpgwAggregateItem& count = list.Items(1);
    EXPECT_EQ(count.Kind, akCount);
    EXPECT_EQ(count.Band, master);
    EXPECT_EQ(count.PrintBand, footer);
    EXPECT_EQ(count.CallerObjectName, "Memo1");
    EXPECT_FALSE(count.InPageFooter);
}

TEST_F(Aggregates, ScanThroughVariablesOtherDelimitersAndBands) {
    auto* detail = new TpgwDetailData(page);
    detail->SetName("Detail1");
    detail->SetBounds(0, 50, 100, 10);
    detail->SetDataSet(&data);
    host.variables = {{"Total", Variant("SUM(<V>, Detail1, 3)")},
                      {"Loop", Variant("Loop + Again")},
                      {"Again", Variant("Loop")},
                      {"Empty", N}};
    memo(footer, "[Total] [Loop] [Empty]");
    auto* angled = memo(footer, "<%AVG(<V>)%>");
    angled->SetExpressionDelimiters("<%,%>");
    auto* pageFooter = new TpgwPageFooter(page);
    pageFooter->SetBounds(0, 200, 100, 20);
    memo(pageFooter, "[COUNT()]");
    scan();
    ASSERT_EQ(callTexts(),
              (std::vector<std::string>{"SUM(<V>, Detail1, 3)", "AVG(<V>)", "COUNT()"}));
    EXPECT_EQ(list.Items(0).Band, detail);
    EXPECT_TRUE(list.Items(0).IncludeInvisible);
    EXPECT_TRUE(list.Items(0).RunningTotal);
    EXPECT_EQ(list.Items(0).Expression, "<V>");
    EXPECT_EQ(list.Items(2).Band, master); // first top-level data band
    EXPECT_TRUE(list.Items(2).InPageFooter);
}

TEST_F(Aggregates, FlagsThatAreNoIntegerRaise) {
    memo(footer, "[SUM(<V>, Master1, x)]");
    EXPECT_THROW(scan(), EConvertError);
}

TEST_F(Aggregates, KindsOverValuesWithNullsAndBooleans) {
    struct Case {
        const char* title;
        std::vector<Variant> values;
        Variant sum, avg, min, max;
        int count;
        int avgCount; // records AVG counted
    };
    const std::vector<Case> cases = {
        {"numbers and a Null", {1, N, 3}, 4, 2.0, 1, 3, 3, 2},
        {"no records", {}, 0, 0, 0, 0, 0, 0},
        {"Nulls only", {N, N}, 0, 0, 0, 0, 2, 0},
        {"Booleans", {true, false, true}, 2, 2.0 / 3, false, 1, 3, 3},
        {"Null first", {N, 5, 2}, 7, 3.5, 2, 5, 3, 2},
    };
    memo(footer, "[SUM(<V>)] [AVG(<V>)] [MIN(<V>)] [MAX(<V>)] [COUNT()]");
    scan();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        host.columns["<V>"] = c.values;
        list.Reset(footer);
        addRecords(static_cast<int>(c.values.size()));
        EXPECT_TRUE(VarSameValue(value("SUM"), c.sum)) << VarToStr(value("SUM"));
        EXPECT_NEAR(value("AVG").AsDouble(), c.avg.AsDouble(), 1e-12);
        EXPECT_TRUE(VarSameValue(value("MIN"), c.min)) << VarToStr(value("MIN"));
        EXPECT_TRUE(VarSameValue(value("MAX"), c.max)) << VarToStr(value("MAX"));
        EXPECT_EQ(value("COUNT", "").AsInteger(), c.count);
        for (int i : {0, 2, 3})
            EXPECT_EQ(list.Items(i).Count, c.count);
        EXPECT_EQ(list.Items(1).Count, c.avgCount);
    }
}

TEST_F(Aggregates, ValueRequestsMatchPrintBandNameExpressionBandAndFlags) {
    memo(footer, "[SUM(<V>)]");
    scan();
    host.columns["<V>"] = {2, 3};
    addRecords(2);
    EXPECT_EQ(value("sum", " <v> ").AsInteger(), 5);
    EXPECT_EQ(value("SUM", "<V>", footer, 0, master).AsInteger(), 5);
    EXPECT_TRUE(value("SUM", "<V>", master).IsNull());            // not printed there
    EXPECT_TRUE(value("SUM", "<V>", footer, 0, footer).IsNull()); // another band
    EXPECT_TRUE(value("SUM", "<V>", footer, 2).IsNull());         // other flags
    EXPECT_TRUE(value("AVG").IsNull());
    EXPECT_TRUE(value("SUM", "<V> + 1").IsNull()); // built at run time
    EXPECT_EQ(host.calledFor, (std::vector<std::string>{"Memo1", "Memo1"}));
}

TEST_F(Aggregates, InvisibleRecordsCountOnlyWithFlag1) {
    // One call text, two flag values: two items with values of their own.
    memo(footer, "[COUNT(Master1)] [COUNT(Master1, 1)]");
    scan();
    ASSERT_EQ(list.Count(), 2);
    list.AddValue(master, 0);
    master->SetVisible(false); // hidden by a script
    list.AddValue(master, 0);
    master->SetVisible(true);
    list.AddValue(master, 0);
    EXPECT_EQ(value("COUNT", "", footer, 0, master).AsInteger(), 2);
    EXPECT_EQ(value("COUNT", "", footer, 1, master).AsInteger(), 3);
}

TEST_F(Aggregates, RunningTotalSurvivesResetsUntilTheSecondPass) {
    auto* groupHeader = new TpgwGroupHeader(page);
    groupHeader->SetBounds(0, 20, 100, 10);
    auto* groupFooter = new TpgwGroupFooter(page);
    groupFooter->SetBounds(0, 65, 100, 5);
    memo(groupFooter, "[SUM(<V>, Master1, 2)] [SUM(<V>)]");
    scan();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).PrintBand, groupFooter);
    host.columns["<V>"] = {10, 20, 30};
    auto sums = [&] {
        return std::make_pair(value("SUM", "<V>", groupFooter, 2).AsInteger(),
                              value("SUM", "<V>", groupFooter).AsInteger());
    };
    addRecords(2); // first group
    EXPECT_EQ(sums(), std::make_pair(30, 30));
    list.Reset(groupFooter);
    host.record = 2;
    list.AddValue(master, 0); // second group
    EXPECT_EQ(sums(), std::make_pair(60, 30));
    list.ResetForSecondPass();
    EXPECT_EQ(sums(), std::make_pair(0, 0));
}

TEST_F(Aggregates, UndoTakesBackTheLastRecord) {
    memo(footer, "[SUM(<V>)] [COUNT()]");
    scan();
    host.columns["<V>"] = {4, 6};
    addRecords(2);
    list.Undo(master);
    EXPECT_EQ(value("SUM").AsInteger(), 4);
    EXPECT_EQ(value("COUNT", "").AsInteger(), 1);
}

TEST_F(Aggregates, PageFooterLeavesOutRecordsOfAKeptBlock) {
    auto* pageFooter = new TpgwPageFooter(page);
    pageFooter->SetBounds(0, 200, 100, 20);
    memo(pageFooter, "[SUM(<V>)] [MIN(<V>)]");
    memo(footer, "[SUM(<V>)]");
    scan();
    host.columns["<V>"] = {1, 2, 30, -40};
    addRecords(2);
    list.StartKeep();
    for (std::size_t r : {2u, 3u}) {
        host.record = r;
        list.AddValue(master, 0);
    }
    // The kept records moved on: the footer of the page they left leaves them out.
    EXPECT_EQ(value("SUM", "<V>", pageFooter).AsInteger(), 3);
    EXPECT_EQ(value("SUM").AsInteger(), -7); // other footers are not affected
    list.Reset(pageFooter);
    list.EndKeep();
    EXPECT_EQ(value("SUM", "<V>", pageFooter).AsInteger(), -10);
    EXPECT_EQ(value("MIN", "<V>", pageFooter).AsInteger(), -40);
}

TEST_F(Aggregates, VerticalColumnsKeepValuesApartBeyondAThousand) {
    memo(footer, "[SUM(<V>)]");
    scan();
    host.columns["<V>"] = {5, 7};
    list.AddValue(master, 3);
    host.record = 1;
    list.AddValue(master, 1500);
    list.AddValue(master, 1500);
    EXPECT_EQ(list.GetValue(footer, 3, "SUM", "<V>", nullptr, 0).AsInteger(), 5);
    EXPECT_EQ(list.GetValue(footer, 1500, "SUM", "<V>", nullptr, 0).AsInteger(), 14);
    EXPECT_EQ(list.GetValue(footer, 2000, "SUM", "<V>", nullptr, 0).AsInteger(), 0);
    EXPECT_EQ(list.Items(0).VerticalColumn, 2000);
    list.Reset(footer);
    EXPECT_EQ(list.GetValue(footer, 1500, "SUM", "<V>", nullptr, 0).AsInteger(), 0);
}

TEST_F(Aggregates, ClearForgetsTheItems) {
    memo(footer, "[SUM(<V>)]");
    scan();
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(value("SUM").IsNull());
}

} // namespace
