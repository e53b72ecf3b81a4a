#pragma once
// Runs the templates of testdata/engine through the real engine: in-memory tables for the data
// bands, a report prepared with the store, and the prepared pages read back as one line per band
// ("Name@top", " x" and the left edge when not 0, then the band's memo texts).

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "engine/text_drawing_adapter.h"
#include "platform/core/variant.h"
#include "platform/ui/application.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/report_data_sets.h"

// The engine pumps window messages, which needs the application object with widgets; it must be
// made before any test of the program measures a font, or the window system starts without.
class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { Application(); }
};
inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

// The printable height of an A4 page with margins of 10 mm.
inline constexpr double kA4Height = (297 - 10 - 10) * pg01cm;

// A table in memory. A detail table picks its rows, each time it goes to its first record,
// by its master's current value of a key field.
class TTable : public TpgwUserDataSet {
public:
    using Row = std::map<std::string, Variant>;

    TTable(const std::string& name, std::vector<Row> rows)
        : TpgwUserDataSet(nullptr), rows_(std::move(rows)) {
        SetName(name);
        SetUserName(name);
        SetRangeEnd(reCount);
        SetRangeEndCount(static_cast<int>(rows_.size()));
    }
    void SetMaster(TpgwDataSet* master, std::string keyField,
                   std::map<std::string, std::vector<Row>> rowsByKey) {
        master_ = master;
        keyField_ = std::move(keyField);
        rowsByKey_ = std::move(rowsByKey);
    }
    void First() override {
        if (master_) {
            auto it = rowsByKey_.find(master_->GetValue(keyField_).AsString());
            rows_ = it == rowsByKey_.end() ? std::vector<Row>{} : it->second;
            SetRangeEndCount(static_cast<int>(rows_.size()));
        }
        TpgwUserDataSet::First();
    }
    Variant GetValue(const std::string& field) override {
        if (RecNo() < 0 || RecNo() >= static_cast<int>(rows_.size())) return Variant::Null();
        const Row& row = rows_[static_cast<std::size_t>(RecNo())];
        auto it = row.find(field);
        return it == row.end() ? Variant::Null() : it->second;
    }

private:
    std::vector<Row> rows_;
    TpgwDataSet* master_ = nullptr;
    std::string keyField_;
    std::map<std::string, std::vector<Row>> rowsByKey_;
};

// A number as the band lines show it: at most two decimals, no trailing zeros.
inline std::string Num(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string s = buffer;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// The line of a band as PageLines gives it.
inline std::string At(const std::string& name, double top, const std::string& text = {},
                      double left = 0) {
    std::string line = name + "@" + Num(top);
    if (Num(left) != "0") line += " x" + Num(left);
    if (!text.empty()) line += " " + text;
    return line;
}

using Lines = std::vector<std::string>;

// Ends the test program when a prepare runs away instead of failing: a test must never hang.
class Watchdog {
public:
    explicit Watchdog(int seconds) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stop_; })) {
                std::fprintf(stderr, "The prepare did not end within %d s\n", seconds);
                std::_Exit(1);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool stop_ = false;
    std::thread thread_;
};

class EngineFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RegisterEngineModule();
        StartModules();
    }
    void SetUp() override {
        // Other tests of this program install doubles and clear the factories afterwards.
        InstallEngine();
        InstallPreviewPages();
        InstallEngineTextDrawing();
        report = std::make_unique<TpgwReport>(nullptr);
    }
    void TearDown() override {
        report.reset();
        tables.clear();
    }

    // Loads testdata/engine/name; the test fails when the template has read errors. The
    // tables made before are found by the bands that name them and join the report's data sets.
    void Load(const std::string& name) {
        const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/engine/" + name;
        report->EngineOptions()->SetNewSilentMode(simSilent);
        ASSERT_TRUE(report->LoadFromFile(path, false)) << path;
        ASSERT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
        report->EngineOptions()->SetNewSilentMode(simSilent);
        for (const auto& table : tables)
            report->DataSets()->Add(table.get());
    }
    // A table known by name (for "Name."field"" in expressions and for the bands that name
    // it); made before the template is loaded.
    TTable* Table(const std::string& name, std::vector<TTable::Row> rows) {
        tables.push_back(std::make_unique<TTable>(name, std::move(rows)));
        return tables.back().get();
    }
    template <class T = TpgwComponent> T* Find(const std::string& name) {
        T* object = dynamic_cast<T*>(report->FindObject(name));
        EXPECT_NE(object, nullptr) << name;
        return object;
    }
    // Binds a band or page to a table by name, as the template would.
    void Bind(const std::string& bandName, const std::string& tableName) {
        if (auto* band = dynamic_cast<TpgwDataBand*>(report->FindObject(bandName)))
            band->SetDataSetName(tableName);
        else if (auto* page = dynamic_cast<TpgwReportPage*>(report->FindObject(bandName)))
            page->SetDataSetName(tableName);
        else
            ADD_FAILURE() << "no band or page " << bandName;
    }

    bool Prepare() { return report->BuildPreparedPages(); }
    TpgwPreviewPages& Store() { return *static_cast<TpgwPreviewPages*>(report->PreviewPages()); }
    int PageCount() { return Store().GetCount(); }

    // The bands of prepared page index in store order, each as At would write it.
    Lines PageLines(int index) {
        Lines lines;
        TpgwComponent* page = Store().GetPage(index);
        if (!page) return lines;
        for (TpgwComponent* object : page->Objects()) {
            auto* band = dynamic_cast<TpgwBand*>(object);
            if (!band) continue;
            std::string text;
            for (TpgwComponent* child : band->AllObjects()) {
                auto* memo = dynamic_cast<TpgwCustomMemoView*>(child);
                if (!memo) continue;
                if (!text.empty()) text += "|";
                text += MemoText(*memo);
            }
            lines.push_back(At(band->Name(), band->Top(), text, band->Left()));
        }
        return lines;
    }
    // Every page's lines, one list per page.
    std::vector<Lines> AllPages() {
        std::vector<Lines> pages;
        for (int i = 0; i < PageCount(); ++i)
            pages.push_back(PageLines(i));
        return pages;
    }
    // The lines of every page that start with name (band name and "@").
    std::vector<Lines> BandsNamed(const std::string& name) {
        std::vector<Lines> pages;
        for (const Lines& page : AllPages()) {
            Lines kept;
            for (const std::string& line : page)
                if (line.rfind(name + "@", 0) == 0) kept.push_back(line);
            pages.push_back(kept);
        }
        return pages;
    }
    // A memo's text without its last line break; inner breaks become "/".
    static std::string MemoText(TpgwCustomMemoView& memo) {
        std::string text = memo.Text();
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
            text.resize(text.size() - 2);
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                out += '/';
                ++i;
            } else {
                out += text[i];
            }
        }
        return out;
    }
    bool HasError(const std::string& text) {
        for (int i = 0; i < report->Errors().Count(); ++i)
            if (report->Errors().Strings(i).find(text) != std::string::npos) return true;
        return false;
    }

    std::unique_ptr<TpgwReport> report;
    std::vector<std::unique_ptr<TTable>> tables;
};
