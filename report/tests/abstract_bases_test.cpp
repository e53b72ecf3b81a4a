// The abstract bases: the export calling protocol, filter registration, the links between a
// report, its engine, its prepared pages and their outline.

#include "report/abstract_bases.h"
#include "report/tests/null_doubles.h"

#include <gtest/gtest.h>

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "report/options.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/tests/rc_doubles.h"

namespace {

// Records every call of the protocol; WriteItem can be made to fail on a named object.
class TRecordingFilter : public TpgwCustomExportFilter {
    LUMETRA_CLASS(TRecordingFilter, TpgwCustomExportFilter)
public:
    explicit TRecordingFilter(TComponent* owner) : TpgwCustomExportFilter(owner) {}
    TRecordingFilter() : TpgwCustomExportFilter(UnlistedTag{}) {}
    std::string FilterCaption() const override { return "Recording"; }
    int AskOptions() override {
        calls.push_back("AskOptions");
        return askResult;
    }
    bool OpenOutput() override {
        calls.push_back("OpenOutput");
        return openResult;
    }
    void WriteItem(TpgwComponent* object) override {
        calls.push_back("WriteItem " + object->Name());
        if (object->Name() == failOn) throw Exception("disk full");
    }
    void CloseOutput() override { calls.push_back("CloseOutput"); }
    void EnterPage(TpgwComponent* page, int index) override {
        calls.push_back("EnterPage " + page->Name() + " " + std::to_string(index));
    }
    void LeavePage(TpgwComponent* page, int index) override {
        calls.push_back("LeavePage " + page->Name() + " " + std::to_string(index));
    }
    std::vector<std::string> calls;
    int askResult = 1;
    bool openResult = true;
    std::string failOn;
};

// Two pages of two objects each.
class TwoPages : public TpgwExportSource {
public:
    TwoPages() {
        for (int p = 0; p < 2; ++p) {
            auto* page = new TpgwReportPage(&report);
            page->SetName("Page" + std::to_string(p + 1));
            for (int o = 0; o < 2; ++o) {
                auto* memo = new TRcMemo(page);
                memo->SetName("M" + std::to_string(p + 1) + std::to_string(o + 1));
            }
        }
    }
    TpgwComponent* ExportPage(int index) override { return report.PageAt(index); }
    void ExportObjects(TpgwComponent* page, int, std::vector<TpgwComponent*>& objects) override {
        objects = page->Objects();
    }
    TpgwReport report{nullptr};
};

class Bases : public ::testing::Test {
protected:
    void SetUp() override { RegisterReportDoubles(); }
};

TEST_F(Bases, ExportCallsTheFilterInProtocolOrder) {
    TwoPages source;
    TRecordingFilter filter;
    EXPECT_TRUE(RunExportProtocol(filter, source, {0, 1}));
    EXPECT_EQ(filter.calls,
              (std::vector<std::string>{"AskOptions", "OpenOutput", "EnterPage Page1 0",
                                        "WriteItem M11", "WriteItem M12", "LeavePage Page1 0",
                                        "EnterPage Page2 1", "WriteItem M21", "WriteItem M22",
                                        "LeavePage Page2 1", "CloseOutput"}));
}

TEST_F(Bases, ExportThatThrowsStillLeavesThePageAndClosesTheOutput) {
    TwoPages source;
    TRecordingFilter filter;
    filter.SetShowDialog(false);
    filter.failOn = "M21";
    EXPECT_THROW(RunExportProtocol(filter, source, {0, 1}), Exception);
    EXPECT_EQ(filter.calls,
              (std::vector<std::string>{"OpenOutput", "EnterPage Page1 0", "WriteItem M11",
                                        "WriteItem M12", "LeavePage Page1 0", "EnterPage Page2 1",
                                        "WriteItem M21", "LeavePage Page2 1", "CloseOutput"}));
}

TEST_F(Bases, CancelledOptionsOrRefusedOutputExportNothing) {
    TwoPages source;
    TRecordingFilter cancelled;
    cancelled.askResult = 2;
    EXPECT_FALSE(RunExportProtocol(cancelled, source, {0}));
    EXPECT_EQ(cancelled.calls, std::vector<std::string>{"AskOptions"});
    TRecordingFilter refused;
    refused.SetShowDialog(false);
    refused.openResult = false;
    RunExportProtocol(refused, source, {0});
    EXPECT_EQ(refused.calls, std::vector<std::string>{"OpenOutput"});
}

TEST_F(Bases, FiltersJoinTheRegistryUnlessUnlisted) {
    const int before = GetExportFilters().Count();
    TRecordingFilter unlisted;
    EXPECT_EQ(GetExportFilters().Count(), before);
    EXPECT_TRUE(unlisted.Unlisted());
    {
        TComponent owner(nullptr);
        auto* listed = new TRecordingFilter(&owner);
        ASSERT_EQ(GetExportFilters().Count(), before + 1);
        EXPECT_EQ(GetExportFilters().Items(before), listed);
        EXPECT_TRUE(listed->ShowDialog());
        EXPECT_TRUE(listed->UseFileCache());
        EXPECT_TRUE(listed->ShowProgress());
        EXPECT_FALSE(listed->OverwritePrompt());
    }
    EXPECT_EQ(GetExportFilters().Count(), before);
}

// A store and an outline that only count, to see the links the report makes.
class TCountingOutline : public TpgwCustomOutline {
public:
    using TpgwCustomOutline::TpgwCustomOutline;
    int GetCount() override { return 0; }
    void AddItem(const std::string&, int) override {}
    void LevelDown(int) override {}
    void LevelRoot() override {}
    void LevelUp() override {}
    void GetItem(int, std::string&, int&, int&) override {}
    void ShiftItems(void*, int) override {}
    void* LastItem() override { return nullptr; }
};

class TCountingEngine : public TNullEngine {
public:
    using TNullEngine::TNullEngine;
};

class TCountingPages : public TNullPreviewPages {
public:
    using TNullPreviewPages::TNullPreviewPages;
};

TEST_F(Bases, ReportLinksItsEngineStoreAndOutline) {
    EngineClass() = [](TpgwReport* r) { return std::make_unique<TCountingEngine>(r); };
    PreviewPagesClass() = [](TpgwReport* r) { return std::make_unique<TCountingPages>(r); };
    OutlineClass() = [](TpgwCustomPreviewPages* p) {
        return std::make_unique<TCountingOutline>(p);
    };
    {
        TpgwReport report(nullptr);
        ASSERT_NE(report.Engine(), nullptr);
        ASSERT_NE(report.PreviewPages(), nullptr);
        EXPECT_EQ(report.Engine()->PreviewPages(), report.PreviewPages());
        EXPECT_EQ(report.PreviewPages()->Engine(), report.Engine());
        EXPECT_EQ(report.PreviewPages()->Outline()->GetEngine(), report.Engine());
        report.EngineOptions()->SetDoublePass(true);
        EXPECT_TRUE(GetPropValue(*report.Engine(), "DoublePass").AsBool());
        report.Engine()->StopReport();
        EXPECT_TRUE(report.Terminated());
    }
    EngineClass() = nullptr;
    PreviewPagesClass() = nullptr;
    OutlineClass() = nullptr;
    TpgwReport bare(nullptr);
    EXPECT_EQ(bare.Engine(), nullptr);
}

TEST(RoundTo8, KeepsEightDecimals) {
    EXPECT_DOUBLE_EQ(RoundTo8(210.000000004), 210.0);
    EXPECT_DOUBLE_EQ(RoundTo8(0.123456789), 0.12345679);
}

} // namespace

namespace {

class TCountingPreview : public TpgwCustomPreview {
public:
    using TpgwCustomPreview::TpgwCustomPreview;
    void Init() override { ++inits; }
    void Lock() override {}
    void Unlock() override {}
    void RefreshReport() override {}
    void StartProgress(TObject*, int, int) override {}
    void StepProgress(TObject*, int, int) override {}
    void StopProgress(TObject*, int, int) override {}
    int inits = 0;
};

TEST_F(Bases, ReportBindsItsPreviewAndNeverWritesIt) {
    TpgwReport report(nullptr);
    auto* preview = new TCountingPreview(nullptr);
    report.SetPreview(preview);
    EXPECT_EQ(preview->Report(), &report);
    EXPECT_EQ(preview->inits, 1);
    TStringStream out;
    report.SaveToStream(out);
    EXPECT_EQ(out.DataString().find("Preview="), std::string::npos);
    EXPECT_EQ(report.Preview(), preview);
    TStringStream in(out.DataString());
    report.LoadFromStream(in);
    EXPECT_EQ(report.Preview(), preview) << "the application's preview survives a load";
    EXPECT_EQ(preview->inits, 1);
    delete preview;
    EXPECT_EQ(report.Preview(), nullptr);
}

} // namespace
