// Showing a report (the timer that prepares it while the preview is open), printing and
// exporting through the prepared pages, the designer, progress and the settings store.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/ini_file.h"
#include "platform/core/settings_store.h"
#include "platform/ui/application.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/timer.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/script_binding.h"
#include "report/small_windows.h"
#include "report/tests/null_doubles.h"
#include "script/script.h"
#include "script/sys_functions.h"

namespace fs = std::filesystem;

namespace {

// Pages are counted, not kept; Print and Export say who asked.
class TCountingPages : public TNullPreviewPages {
public:
    using TNullPreviewPages::TNullPreviewPages;
    int GetCount() override { return count; }
    void Clear() override { count = 0; }
    void AddPage(TpgwComponent*) override { ++count; }
    bool Print() override {
        calls.push_back("Print");
        return result;
    }
    bool Export(TpgwCustomExportFilter* filter) override {
        calls.push_back("Export");
        exported = filter;
        return result;
    }
    int count = 0;
    bool result = true;
    TpgwCustomExportFilter* exported = nullptr;
    std::vector<std::string> calls;
};

// Adds three pages and reports them as the prepared-page store does while it is filled.
class TPagingEngine : public TNullEngine {
public:
    using TNullEngine::TNullEngine;
    bool Run() override {
        ++runs;
        TpgwReport& report = *Report();
        SetRunning(true);
        report.StartProgress(ptRunning);
        for (int i = 0; i < 3; ++i) {
            PreviewPages()->AddPage(nullptr);
            report.StepProgress(ptRunning, PreviewPages()->GetCount());
            if (!windowDuringRun) windowDuringRun = report.ProgressForm() != nullptr;
        }
        report.StopProgress(ptRunning);
        SetRunning(false);
        return result;
    }
    int runs = 0;
    bool result = true;
    bool windowDuringRun = false;
};

class TRecordingPreview : public TpgwCustomPreview {
public:
    using TpgwCustomPreview::TpgwCustomPreview;
    void Init() override { calls.push_back(Report() && PreviewPages() ? "Init" : "Init unbound"); }
    void Lock() override {}
    void Unlock() override {}
    void RefreshReport() override {}
    void StartProgress(TObject*, int type, int) override {
        calls.push_back("Start " + std::to_string(type));
    }
    void StepProgress(TObject*, int type, int progress) override {
        calls.push_back("Step " + std::to_string(type) + " " + std::to_string(progress));
    }
    void StopProgress(TObject*, int type, int) override {
        calls.push_back("Stop " + std::to_string(type));
    }
    std::vector<std::string> calls;
};

class TFakePreviewForm : public TpgwCustomPreviewForm {
public:
    explicit TFakePreviewForm(TComponent* owner) : TpgwCustomPreviewForm(owner) {
        preview = new TRecordingPreview(this);
        preview->SetParent(this);
        OnShow = [this](TObject*) {
            if (Modal()) Application()->QueueCall([this] { SetModalResult(mrOk); });
        };
    }
    ~TFakePreviewForm() override { ++freed; }
    TpgwCustomPreview* PreviewControl() override { return preview; }
    void ApplyPreviewOptions() override {
        appliedBound =
            preview->Report() != nullptr && preview->calls == std::vector<std::string>{"Init"};
    }
    void ShowProgressMessage(const std::string& text, bool usePanel2) override {
        messages.push_back(text + (usePanel2 ? " (2)" : " (1)"));
    }
    TRecordingPreview* preview;
    bool appliedBound = false;
    std::vector<std::string> messages;
    static inline int freed = 0;
};

// Closes itself as soon as a modal show lets events through, after what it was asked to do.
class TFakeDesigner : public TpgwCustomDesigner {
public:
    TFakeDesigner(TComponent* owner, TpgwReport* report, bool previewPageMode)
        : TpgwCustomDesigner(owner, report, previewPageMode) {
        OnShow = [this](TObject*) {
            if (!Modal()) return;
            Application()->QueueCall([this] {
                if (changeOnShow) NotifyChanged(true);
                SetModalResult(mrOk);
            });
        };
    }
    ~TFakeDesigner() override { ++freed; }
    TStrings* GetCodeLines() override { return nullptr; }
    std::string EditExpressionDialog(const std::string& e) override { return e; }
    void ResetSelection() override {}
    void RebuildPageTabs() override {}
    void RebuildFromReport() override {}
    void RefreshDataTree() override {}
    void RepaintPage() override {}
    void FinishStartup() override {
        startedWhileOpen = Visible() && Report()->Designer() == this;
        ++startups;
        if (startedWhileOpen) ++startedOpen;
    }
    bool startedWhileOpen = false;
    int startups = 0;
    static inline int startedOpen = 0;
    static inline bool changeOnShow = false;
    static inline int freed = 0;
};

class TRefreshingDataSet : public TpgwCustomDBDataSet {
public:
    using TpgwCustomDBDataSet::TpgwCustomDBDataSet;
    void PrepareForRun() override { ++prepared; }
    int prepared = 0;
};

class ReportShow : public ::testing::Test {
protected:
    void SetUp() override {
        Application();
        ksRegisterSysFunctions();
        pgwRegisterReportBinding();
        savedEngine_ = EngineClass();
        savedPages_ = PreviewPagesClass();
        EngineClass() = [](TpgwReport* r) { return std::make_unique<TPagingEngine>(r); };
        PreviewPagesClass() = [](TpgwReport* r) { return std::make_unique<TCountingPages>(r); };
        report = std::make_unique<TpgwReport>(nullptr);
        report->EngineOptions()->SetNewSilentMode(simSilent);
        new TpgwReportPage(report.get());
    }
    void TearDown() override {
        report.reset();
        EngineClass() = savedEngine_;
        PreviewPagesClass() = savedPages_;
        DesignerClass() = nullptr;
        PreviewFormClass() = nullptr;
        PrinterSelectionHook() = nullptr;
    }
    TPagingEngine& engine() { return static_cast<TPagingEngine&>(*report->Engine()); }
    TCountingPages& pages() { return static_cast<TCountingPages&>(*report->PreviewPages()); }
    // Lets the event loop run until done says so, or a few seconds have passed.
    static bool pumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            Application()->ProcessMessages();
            ::usleep(2000);
        }
        return done();
    }
    static void pumpFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            Application()->ProcessMessages();
            ::usleep(2000);
        }
    }

    std::unique_ptr<TpgwReport> report;

private:
    TpgwEngineFactory savedEngine_;
    TpgwPreviewPagesFactory savedPages_;
};

// ---- showing -----------------------------------------------------------------------------------

TEST_F(ReportShow, ShowReportReturnsAtOnceAndTheTimerFillsTheEmbeddedPreview) {
    TRecordingPreview preview(nullptr);
    report->SetPreview(&preview);
    pages().count = 2; // an earlier run's pages
    preview.calls.clear();

    report->ShowReport(true);
    EXPECT_EQ(pages().count, 0) << "the earlier pages are discarded";
    EXPECT_EQ(engine().runs, 0) << "nothing is prepared before the preview shows";
    EXPECT_EQ(preview.calls, std::vector<std::string>{"Init"});
    EXPECT_TRUE(report->Timer()->Enabled());

    ASSERT_TRUE(pumpUntil([&] { return engine().runs > 0; }));
    EXPECT_FALSE(report->Timer()->Enabled()) << "one tick, one run";
    pumpFor(150);
    EXPECT_EQ(engine().runs, 1);
    EXPECT_EQ(pages().count, 3);
    // The preview hears of each page by its index; no progress window for a run.
    EXPECT_EQ(preview.calls, (std::vector<std::string>{"Init", "Start 0", "Step 0 0", "Step 0 1",
                                                       "Step 0 2", "Stop 0"}));
    EXPECT_FALSE(engine().windowDuringRun);
}

TEST_F(ReportShow, OldStyleProgressPreparesFirstAndShowsNothingWhenThatFails) {
    TRecordingPreview preview(nullptr);
    report->SetPreview(&preview);
    report->SetOldStyleProgress(true);
    preview.calls.clear();

    report->ShowReport(false);
    EXPECT_EQ(engine().runs, 1);
    EXPECT_EQ(pages().count, 3);
    EXPECT_TRUE(engine().windowDuringRun) << "an old-style run shows the progress window";
    EXPECT_EQ(report->ProgressForm(), nullptr);
    EXPECT_EQ(preview.calls.back(), "Init");
    EXPECT_FALSE(report->Timer()->Enabled());

    preview.calls.clear();
    engine().result = false;
    report->ShowReport(true);
    EXPECT_EQ(engine().runs, 2);
    EXPECT_EQ(std::count(preview.calls.begin(), preview.calls.end(), "Init"), 0);
}

TEST_F(ReportShow, WithoutPreviewTheWindowClassShowsThePages) {
    report->ShowPreparedReport(); // neither a control nor a window class: nothing, no error
    EXPECT_EQ(report->PreviewForm(), nullptr);

    std::vector<TFakePreviewForm*> made;
    PreviewFormClass() = [&](TComponent* owner) {
        made.push_back(new TFakePreviewForm(owner));
        return made.back();
    };
    int previews = 0;
    report->OnPreview = [&](TObject* sender) { previews += sender == report.get(); };

    // Shown without waiting: the window frees itself when closed.
    report->PreviewOptions()->SetModal(false);
    report->ShowPreparedReport();
    ASSERT_EQ(made.size(), 1u);
    TFakePreviewForm* form = made[0];
    EXPECT_EQ(form->Owner(), Application());
    EXPECT_TRUE(form->appliedBound) << "options are applied to a bound control";
    EXPECT_EQ(report->Preview(), form->preview);
    EXPECT_EQ(report->PreviewForm(), form);
    EXPECT_TRUE(form->FreeOnClose);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(previews, 1);
    report->ShowProgressText("page 4", false);
    report->ShowProgressText("hint", true);
    EXPECT_EQ(form->messages, (std::vector<std::string>{"page 4 (1)", "hint (2)"}));
    // Shown again while open: the window's control takes the pages, the window stays known.
    form->preview->calls.clear();
    report->ShowPreparedReport();
    EXPECT_EQ(made.size(), 1u);
    EXPECT_EQ(form->preview->calls, std::vector<std::string>{"Init"});
    EXPECT_EQ(report->PreviewForm(), form);
    delete form;
    EXPECT_EQ(report->Preview(), nullptr);
    EXPECT_EQ(report->PreviewForm(), nullptr);

    // Modal: shown, then freed before the call returns.
    report->PreviewOptions()->SetModal(true);
    const int freed = TFakePreviewForm::freed;
    report->ShowPreparedReport();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(TFakePreviewForm::freed, freed + 1);
    EXPECT_EQ(report->Preview(), nullptr);
    EXPECT_EQ(report->PreviewForm(), nullptr);
    EXPECT_EQ(previews, 2);
}

TEST_F(ReportShow, ScriptsCanShowTheReport) {
    TRecordingPreview preview(nullptr);
    report->SetPreview(&preview);
    preview.calls.clear();
    TksScript script(nullptr);
    script.AddHostModules();
    script.AddObject("Report", report.get());
    script.SetSyntaxType("PascalScript");
    script.Lines().SetText("begin Report.ShowReport end.");
    ASSERT_TRUE(script.Compile()) << script.ErrorText;
    script.Execute();
    EXPECT_EQ(preview.calls, std::vector<std::string>{"Init"});
    EXPECT_TRUE(report->Timer()->Enabled());
    report->Timer()->SetEnabled(false);
}

// ---- printing and exporting --------------------------------------------------------------------

TEST_F(ReportShow, PrintAndExportAreTheStoresAndSoAreTheirResults) {
    struct TFilter : TpgwCustomExportFilter {
        TFilter() : TpgwCustomExportFilter(UnlistedTag{}) {}
        void WriteItem(TpgwComponent*) override {}
    } filter;
    for (bool result : {true, false}) {
        pages().result = result;
        pages().calls.clear();
        EXPECT_EQ(report->PrintPrepared(), result);
        EXPECT_EQ(report->ExportTo(&filter), result);
        EXPECT_EQ(pages().exported, &filter);
        EXPECT_EQ(pages().calls, (std::vector<std::string>{"Print", "Export"}));
    }
}

TEST_F(ReportShow, ThePrintOptionsPrinterGoesToThePrinterLayer) {
    report->UsePrintOptionsPrinter(); // no printer layer yet: nothing
    std::vector<std::string> asked;
    PrinterSelectionHook() = [&](const std::string& name) { asked.push_back(name); };
    report->PrintOptions()->SetPrinter("Office Laser");
    report->UsePrintOptionsPrinter();
    EXPECT_EQ(asked, std::vector<std::string>{"Office Laser"});
}

// ---- the designer ------------------------------------------------------------------------------

TEST_F(ReportShow, WithoutADesignerClassDesigningDoesNothing) {
    report->SetModified(true);
    report->OpenDesigner(true, false);
    EXPECT_FALSE(report->EditPreparedPage());
    EXPECT_EQ(report->Designer(), nullptr);
    EXPECT_TRUE(report->Modified());
}

TEST_F(ReportShow, OpenDesignerShowsTheDesignerClassOnce) {
    auto* data = new TRefreshingDataSet(report->PageAt(0));
    data->SetName("Data1");
    ASSERT_TRUE(report->SetUpScript());
    ASSERT_NE(report->Script()->FindOwn("Data1"), nullptr);
    data->prepared = 0;

    std::vector<TFakeDesigner*> made;
    std::vector<bool> modes;
    DesignerClass() = [&](TComponent* owner, TpgwReport* r, bool previewPageMode) {
        EXPECT_EQ(owner, nullptr);
        EXPECT_EQ(r, report.get());
        modes.push_back(previewPageMode);
        made.push_back(new TFakeDesigner(owner, r, previewPageMode));
        return made.back();
    };
    report->SetModified(true);
    const int freed = TFakeDesigner::freed;
    const int startedOpen = TFakeDesigner::startedOpen;

    // Modal: started from the event loop while shown, freed when it closes.
    report->OpenDesigner(true, false);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(TFakeDesigner::startedOpen, startedOpen + 1);
    EXPECT_EQ(TFakeDesigner::freed, freed + 1);
    EXPECT_EQ(report->Designer(), nullptr);
    EXPECT_FALSE(report->Modified());
    EXPECT_EQ(report->Script()->FindOwn("Data1"), nullptr) << "the script forgets the objects";
    EXPECT_EQ(data->prepared, 1) << "database data sets refresh their fields";

    // Not modal: it stays open, and a second request opens nothing.
    report->OpenDesigner(false, true);
    ASSERT_EQ(made.size(), 2u);
    TFakeDesigner* open = made[1];
    EXPECT_EQ(report->Designer(), open);
    EXPECT_EQ(open->FormStyle(), fsMDIChild);
    ASSERT_TRUE(pumpUntil([&] { return open->startups > 0; }));
    EXPECT_TRUE(open->startedWhileOpen);
    report->OpenDesigner(true, false);
    EXPECT_FALSE(report->EditPreparedPage());
    EXPECT_EQ(made.size(), 2u);
    delete open;
    EXPECT_EQ(report->Designer(), nullptr);
    EXPECT_EQ(modes, (std::vector<bool>{false, false}));
}

TEST_F(ReportShow, EditPreparedPageSaysWhetherTheDesignerChangedIt) {
    std::vector<bool> modes;
    DesignerClass() = [&](TComponent* owner, TpgwReport* r, bool previewPageMode) {
        modes.push_back(previewPageMode);
        return new TFakeDesigner(owner, r, previewPageMode);
    };
    for (bool change : {false, true}) {
        TFakeDesigner::changeOnShow = change;
        const int freed = TFakeDesigner::freed;
        EXPECT_EQ(report->EditPreparedPage(), change);
        EXPECT_EQ(TFakeDesigner::freed, freed + 1);
        EXPECT_EQ(report->Designer(), nullptr);
    }
    TFakeDesigner::changeOnShow = false;
    EXPECT_EQ(modes, (std::vector<bool>{true, true}));
}

// ---- progress ----------------------------------------------------------------------------------

TEST_F(ReportShow, CancellingTheProgressWindowTerminatesTheReport) {
    std::vector<std::string> events;
    report->OnProgressStart = [&](TObject*, int type, int p) {
        events.push_back("start " + std::to_string(type) + " " + std::to_string(p));
    };
    report->OnProgress = [&](TObject*, int type, int p) {
        events.push_back("step " + std::to_string(type) + " " + std::to_string(p));
    };
    report->OnProgressStop = [&](TObject*, int type, int p) {
        events.push_back("stop " + std::to_string(type) + " " + std::to_string(p));
    };
    report->StartProgress(ptExporting);
    TpgwProgress* window = report->ProgressForm();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(window->CancelB->Visible());
    report->StepProgress(ptExporting, 1);
    EXPECT_EQ(window->Message(), "导出页 1");
    EXPECT_FALSE(report->Terminated());

    // The click waits in the queue while the export works; the next step sees it.
    Application()->QueueCall([window] { window->CancelB->Click(); });
    report->StepProgress(ptExporting, 2);
    EXPECT_TRUE(report->Terminated());
    report->StopProgress(ptExporting);
    EXPECT_EQ(report->ProgressForm(), nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"start 1 0", "step 1 1", "step 1 2", "stop 1 0"}));
}

TEST_F(ReportShow, ProgressWindowTexts) {
    struct Case {
        TpgwProgressType Type;
        bool FinalPass;
        const char* Text;
    };
    report->SetOldStyleProgress(true);
    for (const Case& c :
         {Case{ptRunning, true, "准备页 5"}, Case{ptRunning, false, "第一次过程: 页 5"},
          Case{ptExporting, true, "导出页 5"}, Case{ptPrinting, true, "打印页 5"}}) {
        SCOPED_TRACE(c.Text);
        engine().SetFinalPass(c.FinalPass);
        report->StartProgress(c.Type);
        ASSERT_NE(report->ProgressForm(), nullptr);
        report->StepProgress(c.Type, 5);
        EXPECT_EQ(report->ProgressForm()->Message(), c.Text);
        report->StopProgress(c.Type);
        EXPECT_EQ(report->ProgressForm(), nullptr);
    }
}

TEST_F(ReportShow, WhenProgressShowsAWindowOrReachesThePreview) {
    struct Case {
        const char* Name;
        TpgwProgressType Type;
        bool OldStyle, ShowProgress, ThreadSafe;
        bool Window, Preview, Events;
    };
    const Case cases[] = {
        {"run", ptRunning, false, true, false, false, true, true},
        {"old-style run", ptRunning, true, true, false, true, true, true},
        {"print", ptPrinting, false, true, false, true, false, true},
        {"print without ShowProgress", ptPrinting, false, false, false, false, false, true},
        {"thread-safe export", ptExporting, false, true, true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TRecordingPreview preview(nullptr);
        report->SetPreview(&preview);
        preview.calls.clear();
        report->SetOldStyleProgress(c.OldStyle);
        report->SetShowProgress(c.ShowProgress);
        report->EngineOptions()->SetThreadSafeMode(c.ThreadSafe);
        int events = 0;
        report->OnProgressStart = [&](TObject*, int, int) { ++events; };
        report->StartProgress(c.Type);
        EXPECT_EQ(report->ProgressForm() != nullptr, c.Window);
        report->StepProgress(c.Type, 1);
        report->StopProgress(c.Type);
        EXPECT_EQ(report->ProgressForm(), nullptr);
        EXPECT_EQ(!preview.calls.empty(), c.Preview);
        EXPECT_EQ(events > 0, c.Events);
        report->SetPreview(nullptr);
    }
}

TEST_F(ReportShow, ProgressTextReachesTheWindowOnlyDuringAnOldStyleRun) {
    report->SetOldStyleProgress(true);
    report->StartProgress(ptRunning);
    report->ShowProgressText("outside the run", false);
    EXPECT_EQ(report->ProgressForm()->Message(), "");
    engine().SetRunning(true);
    report->ShowProgressText("Name of the customer", true);
    engine().SetRunning(false);
    EXPECT_EQ(report->ProgressForm()->Message(), "Name of the customer");
    report->StopProgress(ptRunning);
}

// ---- settings store ----------------------------------------------------------------------------

class ScopedConfigDir {
public:
    ScopedConfigDir() {
        path_ = fs::temp_directory_path() / ("report_show_" + std::to_string(::getpid()));
        fs::create_directories(path_);
        if (const char* old = std::getenv("LUMETRA_CONFIG_DIR")) saved_ = old;
        ::setenv("LUMETRA_CONFIG_DIR", (path_ / "config").c_str(), 1);
    }
    ~ScopedConfigDir() {
        if (saved_)
            ::setenv("LUMETRA_CONFIG_DIR", saved_->c_str(), 1);
        else
            ::unsetenv("LUMETRA_CONFIG_DIR");
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
    std::optional<std::string> saved_;
};

TEST_F(ReportShow, IniFileChoosesTheRegistryStoreOnlyForSoftwareKeys) {
    struct Case {
        const char* IniFile;
        bool Registry;
        const char* FileName;
    };
    EXPECT_EQ(report->IniFile(), "\\Software\\Quillmark");
    for (const Case& c :
         {Case{"\\Software\\Quillmark", true, "\\Software\\Quillmark"},
          Case{"C:\\x.ini", false, "C:\\x.ini"}, Case{"\\software\\x", false, "/software/x"}}) {
        SCOPED_TRACE(c.IniFile);
        report->SetIniFile(c.IniFile);
        std::unique_ptr<TCustomIniFile> store = report->OpenIniFile();
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(dynamic_cast<TRegistryIniFile*>(store.get()) != nullptr, c.Registry);
        EXPECT_EQ(dynamic_cast<TIniFile*>(store.get()) != nullptr, !c.Registry);
        EXPECT_EQ(store->FileName(), c.FileName);
    }
}

TEST_F(ReportShow, BothStoresKeepWhatIsWritten) {
    ScopedConfigDir dir;
    report->SetIniFile("\\Software\\Quillmark");
    report->OpenIniFile()->WriteString("Mail", "Host", "smtp.example.org");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\Software\\Quillmark\\Mail"));
    EXPECT_EQ(registry.ReadString("Host"), "smtp.example.org");

    report->SetIniFile(dir.File("settings.ini"));
    report->OpenIniFile()->WriteInteger("Form4.TpgwPreviewForm", "Width", 640);
    EXPECT_EQ(TIniFile(dir.File("settings.ini")).ReadInteger("Form4.TpgwPreviewForm", "Width", 0),
              640);
}

} // namespace
