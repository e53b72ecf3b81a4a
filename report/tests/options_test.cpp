// Option objects and the report's data-set collection.

#include "report/options.h"

#include <gtest/gtest.h>

#include "platform/core/properties.h"
#include "report/report.h"
#include "report/report_data_sets.h"
#include "report/tests/rc_doubles.h"

namespace {

TEST(EngineOptions, SilentModeFollowsNewSilentMode) {
    struct Case {
        TpgwSilentMode mode;
        bool silent;
    };
    for (const Case& c :
         {Case{simMessageBoxes, false}, Case{simSilent, true}, Case{simReThrow, false}}) {
        TpgwEngineOptions o;
        o.SetNewSilentMode(c.mode);
        EXPECT_EQ(o.SilentMode(), c.silent) << int(c.mode);
        EXPECT_EQ(GetPropValue(o, "SilentMode").AsBool(), c.silent);
    }
    TpgwEngineOptions o;
    o.SetNewSilentMode(simReThrow);
    o.SetSilentMode(false);
    EXPECT_EQ(o.NewSilentMode(), simMessageBoxes);
    o.SetSilentMode(true);
    EXPECT_EQ(o.NewSilentMode(), simSilent);
}

TEST(EngineOptions, AssignLeavesTheRunSwitchesAlone) {
    TpgwEngineOptions source;
    source.SetDestroyForms(false);
    source.SetThreadSafeMode(true);
    source.SetUseGlobalDataSetList(false);
    source.SetMaxMemSize(33);
    source.SetTempDir("/var/tmp");
    source.SetNewSilentMode(simReThrow);
    TpgwEngineOptions target;
    target.Assign(&source);
    EXPECT_TRUE(target.DestroyForms());
    EXPECT_FALSE(target.ThreadSafeMode());
    EXPECT_TRUE(target.UseGlobalDataSetList());
    EXPECT_EQ(target.MaxMemSize(), 33);
    EXPECT_EQ(target.TempDir(), "/var/tmp");
    EXPECT_EQ(target.NewSilentMode(), simReThrow);
}

TEST(Options, ClearResetsOnlyItsOwnFields) {
    TpgwEngineOptions e;
    e.SetConvertNulls(false);
    e.SetDoublePass(true);
    e.SetMaxMemSize(1);
    e.Clear();
    EXPECT_TRUE(e.ConvertNulls());
    EXPECT_FALSE(e.DoublePass());
    EXPECT_EQ(e.MaxMemSize(), 1);

    TpgwPreviewOptions p;
    p.SetOutlineVisible(true);
    p.SetOutlineWidth(7);
    p.SetZoom(3);
    p.Clear();
    EXPECT_FALSE(p.OutlineVisible());
    EXPECT_EQ(p.OutlineWidth(), 120);
    EXPECT_EQ(p.Zoom(), 3);
    EXPECT_EQ(p.Buttons(), 4095u);

    TpgwPrintOptions pr;
    pr.SetSwapPageSize(true);
    TpgwPrintOptions copy;
    copy.Assign(&pr);
    EXPECT_FALSE(copy.SwapPageSize());

    TpgwReportOptions r;
    r.SetPassword("x");
    r.SetAuthor("a");
    r.Description()->Add("d");
    r.SetCreateDate(1);
    r.Clear();
    EXPECT_EQ(r.Password(), "");
    EXPECT_EQ(r.Author(), "");
    EXPECT_EQ(r.Description()->Count(), 0);
    EXPECT_GT(r.CreateDate(), 40000);
}

TEST(ReportDataSets, FindComparesTheDataSetsUserName) {
    RegisterReportDoubles();
    TpgwReport report(nullptr);
    TpgwUserDataSet a(nullptr);
    a.SetName("A");
    a.SetUserName("Patients");
    TpgwReportDataSets sets(&report);
    TpgwDataSetItem* item = sets.Add(&a);
    EXPECT_EQ(item->DataSetName(), "Patients");
    EXPECT_EQ(sets.Find("patients"), item);
    EXPECT_EQ(sets.FindByDataSet(&a), item);
    // A stored name of its own does not count once a data set is set.
    TpgwDataSetItem* loose = static_cast<TpgwDataSetItem*>(sets.TCollection::Add());
    loose->SetDataSetName("Exams");
    EXPECT_EQ(loose->DataSet(), nullptr);
    EXPECT_EQ(loose->DataSetName(), "Exams");
    EXPECT_EQ(sets.Find("Exams"), nullptr);
    // Naming resolves through the report's lookup.
    loose->SetDataSetName("Patients");
    EXPECT_EQ(loose->DataSet(), &a);
    loose->SetDataSetName("");
    EXPECT_EQ(loose->DataSet(), nullptr);
    sets.BeginReport();
    EXPECT_EQ(a.RunningReport(), &report);
}

} // namespace
