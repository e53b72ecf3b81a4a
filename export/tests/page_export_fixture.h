#pragma once
// Pages built in the test, with memos at given places (report units), handed to a filter as the
// export driver hands them over.

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "export/export_filter.h"
#include "export/export_module.h"
#include "platform/core/stream.h"
#include "platform/ui/message_reporter.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/view.h"

class PageExportFixture : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterExportModule();
        StartModules();
    }
    TpgwReportPage* NewPage() {
        auto* page = new TpgwReportPage(report.get());
        page->SetParent(report.get());
        page->SetLeft(0);
        page->SetTop(0);
        page->SetWidth(794);
        page->SetHeight(1123);
        pages.push_back(page);
        return page;
    }
    TpgwMemoView* Memo(TpgwReportPage* page, double left, double top, double width, double height,
                       const std::string& text, TpgwHAlign align = haLeft) {
        auto* memo = new TpgwMemoView(page);
        memo->SetParent(page);
        memo->SetBounds(left, top, width, height);
        memo->SetText(text);
        memo->SetHAlign(align);
        memo->Font()->SetName("Arial");
        memo->Font()->SetSize(10);
        return memo;
    }
    // The pages through the filter as the driver hands them over, without its dialog.
    void Drive(TpgwCustomExportFilter& filter) {
        filter.SetShowDialog(false);
        EXPECT_TRUE(filter.OpenOutput());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            filter.EnterPage(pages[i], static_cast<int>(i));
            for (TpgwComponent* object : pages[i]->AllObjects())
                filter.WriteItem(object);
            filter.LeavePage(pages[i], static_cast<int>(i));
        }
        filter.CloseOutput();
    }
    std::string Run(TpgwCustomExportFilter& filter) {
        TMemoryStream out;
        filter.SetTargetStream(&out);
        Drive(filter);
        filter.SetTargetStream(nullptr);
        return std::string(reinterpret_cast<const char*>(out.Memory()),
                           static_cast<std::size_t>(out.Size()));
    }
    std::vector<TpgwReportPage*> pages;
};

// The export fixture's template prepared with one page per row, every box and dialog recorded.
class PreparedExportFixture : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterExportModule();
        StartModules();
        auto recorder = std::make_unique<TRecordingReporter>();
        boxes = recorder.get();
        reporterScope = std::make_unique<TScopedReporter>(std::move(recorder));
    }
    void TearDown() override {
        EngineFixture::TearDown();
        reporterScope.reset();
    }
    void Fixture(int rows = 3) {
        const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3";
        report->EngineOptions()->SetNewSilentMode(simSilent);
        ASSERT_TRUE(report->LoadFromFile(path, false)) << report->Errors().Text();
        report->EngineOptions()->SetNewSilentMode(simSilent);
        Find<TpgwMasterData>("Row")->SetRowCount(rows);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ASSERT_EQ(PageCount(), rows);
    }
    TRecordingReporter* boxes = nullptr;
    std::unique_ptr<TScopedReporter> reporterScope;
};

// What exports would open, recorded instead of opened, for as long as it lives.
class OpenedFiles {
public:
    OpenedFiles() {
        previous_ = SetExportOpener([this](const std::string& name) {
            names.push_back(name);
            return true;
        });
    }
    ~OpenedFiles() { SetExportOpener(std::move(previous_)); }
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;
    std::vector<std::string> names;

private:
    TpgwExportOpener previous_;
};

// The time exports stamp, fixed while it lives; the clock in force before comes back after.
class FixedExportClock {
public:
    FixedExportClock() = default;
    ~FixedExportClock() {
        if (fixed_) SetExportClock(std::move(previous_));
    }
    FixedExportClock(const FixedExportClock&) = delete;
    FixedExportClock& operator=(const FixedExportClock&) = delete;
    // Local time; month 1 to 12.
    void Set(int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        TpgwExportClock before = SetExportClock([t] { return t; });
        if (!fixed_) previous_ = std::move(before);
        fixed_ = true;
    }

private:
    TpgwExportClock previous_;
    bool fixed_ = false;
};
