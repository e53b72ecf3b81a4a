// A prepare, load or clear asked for from inside a running preparation (an event of the run,
// or a window message pumped by it) stops the run and takes place once it has unwound.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/page.h"
#include "report/report.h"

namespace {

class EngineReentry : public ::testing::Test {
protected:
    EngineReentry() {
        auto* page = new TpgwReportPage(&report);
        page->SetName("Page1");
        auto* band = new TpgwMasterData(page);
        band->SetName("Master");
        band->SetBounds(0, 0, 100, 20);
        band->SetRowCount(200);
        auto* memo = new TpgwMemoView(band);
        memo->SetName("Memo1");
        memo->SetBounds(0, 0, 100, 20);
        memo->SetText("[Line#]");
    }

    // Calls ask once, when the band is about to print for the tenth time.
    void OnTenthRecord(std::function<void()> ask) {
        report.OnBeforePrint = [this, ask](TpgwComponent* object) {
            if (object->Name() != "Master") return;
            if (++shown == 10) ask();
        };
    }

    // The engine class is installed before the report is made.
    bool started_ = (RegisterEngineModule(), StartModules(), true);
    TpgwReport report{nullptr};
    int shown = 0;
};

TEST_F(EngineReentry, PrepareFromAnEventRunsAfterTheRunningOne) {
    bool nested = true;
    OnTenthRecord([&] { nested = report.BuildPreparedPages(); });
    report.BuildPreparedPages();
    EXPECT_FALSE(nested);
    // The first run stopped at its tenth record; the second ran all 200 on its own pages.
    EXPECT_EQ(shown, 10 + 200);
    EXPECT_EQ(report.PreviewPages()->GetCount(), 4);
    EXPECT_FALSE(report.Engine()->Running());
    EXPECT_FALSE(report.Terminated());
}

TEST_F(EngineReentry, LoadAndClearFromAnEventWaitForTheRun) {
    // A template saved now, loaded from inside the run.
    const std::string file = ::testing::TempDir() + "reentry.pg3";
    report.SaveToFile(file);
    bool existed = false;
    OnTenthRecord([&] {
        report.Clear();
        // Still there: the run goes on with it until it has ended.
        EXPECT_NE(report.FindObject("Master"), nullptr);
        existed = report.LoadFromFile(file);
    });
    report.BuildPreparedPages();
    EXPECT_TRUE(existed);
    EXPECT_EQ(shown, 10);
    EXPECT_NE(report.FindObject("Master"), nullptr);
    EXPECT_EQ(report.FileName(), file);
    std::remove(file.c_str());
}

} // namespace
