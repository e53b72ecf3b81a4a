// The options dialog of the dot-matrix text export, shown modally offscreen over a prepared
// report: the options both ways, the save dialog, slave mode, the OEM box, and the preview (its
// panel, its text against what the filter writes, which controls run it and what a run leaves).

#include "export/txt_export_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "export/tests/page_export_fixture.h"
#include "export/txt_export.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"
#include "report/abstract_bases.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

using Step = std::function<void(TpgwTXTExportDialog&)>;

// Each step runs from the dialog's own event loop after the one before; a dialog the steps
// leave open fails the test and is cancelled.
void queueSteps(std::vector<Step> steps, std::size_t i = 0) {
    Application()->QueueCall([steps = std::move(steps), i]() mutable {
        auto* d = dynamic_cast<TpgwTXTExportDialog*>(ModalForm());
        if (!d) {
            if (i < steps.size()) ADD_FAILURE() << "the dialog is not shown for step " << i;
            return;
        }
        if (i >= steps.size()) {
            ADD_FAILURE() << "the dialog is still open";
            d->Cancel->Click();
            return;
        }
        steps[i](*d);
        queueSteps(std::move(steps), i + 1);
    });
}

void ok(TpgwTXTExportDialog& d) {
    d.OK->Click();
}

// A preview control that only records: each export run locks it once, which is where the test
// looks at the state of a run in progress.
class RunSpy : public TpgwCustomPreview {
public:
    RunSpy() : TpgwCustomPreview(nullptr) {}
    void Init() override {}
    void Lock() override {
        ++Runs;
        if (DuringRun) DuringRun();
    }
    void Unlock() override {}
    void RefreshReport() override {}
    void StartProgress(TObject*, int, int) override {}
    void StepProgress(TObject*, int, int) override {}
    void StopProgress(TObject*, int, int) override {}
    int Runs = 0;
    std::function<void()> DuringRun;
};

// The temporary folder pointed at a folder of the test's own while it lives.
class ScopedTempDir {
public:
    explicit ScopedTempDir(const std::string& path) {
        if (const char* before = std::getenv("TMPDIR")) before_ = before, had_ = true;
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~ScopedTempDir() {
        if (had_)
            ::setenv("TMPDIR", before_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

private:
    std::string before_;
    bool had_ = false;
};

class TxtExportDialog : public PreparedExportFixture {
protected:
    void SetUp() override {
        PreparedExportFixture::SetUp();
        RegisterTXTExport();
        filter.SetReport(report.get());
    }
    void TearDown() override {
        Application()->ProcessMessages();
        PreparedExportFixture::TearDown();
    }
    int ask(std::vector<Step> steps) {
        queueSteps(std::move(steps));
        const int result = filter.AskOptions();
        // Steps left over find the dialog closed and do nothing.
        Application()->ProcessMessages();
        return result;
    }
    void answerSave(const std::string& fileName) {
        boxes->QueueDialogAnswer({true, fileName, {fileName}, {}, 0});
    }
    // What the filter itself writes for one page, as the preview shows text: the legacy code
    // page's bytes, lines ending in LF, without the form feed that ends a run without page breaks.
    std::string written(int page, TpgwTXTExport& options) {
        TpgwTXTExport run(TpgwCustomExportFilter::UnlistedTag{});
        run.SetShowDialog(false);
        run.SetShowProgress(false);
        run.SetBorders(options.Borders());
        run.SetPseudogrpahic(options.Pseudogrpahic());
        run.SetPageBreaks(options.PageBreaks());
        run.SetOEMCodepage(options.OEMCodepage());
        run.SetEmptyLines(options.EmptyLines());
        run.SetLeadSpaces(options.LeadSpaces());
        run.SetScaleWidth(options.ScaleWidth());
        run.SetScaleHeight(options.ScaleHeight());
        run.SetPageNumbers(std::to_string(page));
        run.SetFileName(dir / "page.prn");
        EXPECT_TRUE(report->ExportTo(&run)) << report->Errors().Text();
        std::string bytes = TempDir::ReadAll(dir / "page.prn");
        if (!run.PageBreaks() && !bytes.empty() && bytes.back() == '\f') bytes.pop_back();
        writtenWidth = run.MaxWidth();
        writtenHeight = run.LineCount();
        std::string text = CodePageToUtf8Lossy(bytes);
        std::string lf;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
        return lf;
    }

    TpgwTXTExport filter{TpgwCustomExportFilter::UnlistedTag{}};
    TempDir dir;
    int writtenWidth = 0;
    int writtenHeight = 0;
};

TEST_F(TxtExportDialog, TheOptionsGoBothWays) {
    Fixture(3);
    struct Case {
        bool borders, graphic, pageBreaks, oem, emptyLines, leadSpaces, printAfter;
        double scaleX, scaleY;
        // What the controls show.
        TRadioButton* TpgwTXTExportDialog::*frames;
        std::string shownX, shownY;
        // What is chosen then, and what the filter takes from it.
        TRadioButton* TpgwTXTExportDialog::*choose;
        std::string typedX, typedY, range;
        double takenX, takenY;
    };
    const Case cases[] = {
        {false, false, true, false, false, false, false, 1.0, 1.0,
         &TpgwTXTExportDialog::RB_NoneFrames, "100", "100", &TpgwTXTExportDialog::RB_Simple, "250",
         "70", "1,3", 2.5, 0.7},
        {true, false, false, false, true, true, true, 0.5, 1.25, &TpgwTXTExportDialog::RB_Simple,
         "50", "125", &TpgwTXTExportDialog::RB_Graph, "10", "500", "2-", 0.1, 5.0},
        {true, true, true, true, false, true, false, 2.125, 0.125, &TpgwTXTExportDialog::RB_Graph,
         "212", "12", &TpgwTXTExportDialog::RB_NoneFrames, "100", "100", "", 1.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shownX);
        filter.SetBorders(c.borders);
        filter.SetPseudogrpahic(c.graphic);
        filter.SetPageBreaks(c.pageBreaks);
        filter.SetOEMCodepage(c.oem);
        filter.SetEmptyLines(c.emptyLines);
        filter.SetLeadSpaces(c.leadSpaces);
        filter.SetPrintAfter(c.printAfter);
        filter.SetScaleWidth(c.scaleX);
        filter.SetScaleHeight(c.scaleY);
        filter.SetPageNumbers("2");
        answerSave(dir / "out.prn");
        const int result = ask({[&](TpgwTXTExportDialog& d) {
            EXPECT_TRUE((d.*c.frames)->Checked());
            EXPECT_EQ(d.CB_PageBreaks->Checked(), c.pageBreaks);
            EXPECT_EQ(d.CB_OEM->Checked(), c.oem);
            EXPECT_EQ(d.CB_EmptyLines->Checked(), c.emptyLines);
            EXPECT_EQ(d.CB_LeadSpaces->Checked(), c.leadSpaces);
            EXPECT_EQ(d.CB_PrintAfter->Checked(), c.printAfter);
            EXPECT_TRUE(d.CB_PrintAfter->Visible());
            EXPECT_EQ(d.E_ScaleX->Text(), c.shownX);
            EXPECT_EQ(d.E_ScaleY->Text(), c.shownY);
            EXPECT_EQ(d.E_Range->Text(), "") << "the range starts empty";
            EXPECT_EQ(d.EPage->Text(), "1");
            EXPECT_EQ(d.PageUpDown->Max(), 3);
            EXPECT_FALSE(d.PreviewShown());
            EXPECT_EQ(d.Width(), TpgwTXTExportDialog::kNarrowWidth);

            (d.*c.choose)->SetChecked(true);
            d.CB_PageBreaks->SetChecked(!c.pageBreaks);
            d.CB_OEM->SetChecked(!c.oem);
            (d.*c.choose)->SetChecked(true); // the OEM box may have moved a graphic choice
            d.CB_EmptyLines->SetChecked(!c.emptyLines);
            d.CB_LeadSpaces->SetChecked(!c.leadSpaces);
            d.CB_PrintAfter->SetChecked(!c.printAfter);
            d.E_ScaleX->SetText(c.typedX);
            d.E_ScaleY->SetText(c.typedY);
            d.E_Range->SetText(c.range);
            ok(d);
        }});
        ASSERT_EQ(result, 1);
        const bool graphic = c.choose == &TpgwTXTExportDialog::RB_Graph;
        EXPECT_EQ(filter.Borders(), c.choose != &TpgwTXTExportDialog::RB_NoneFrames);
        EXPECT_EQ(filter.Pseudogrpahic(), graphic);
        EXPECT_EQ(filter.PageBreaks(), !c.pageBreaks);
        EXPECT_EQ(filter.OEMCodepage(), !c.oem);
        EXPECT_EQ(filter.EmptyLines(), !c.emptyLines);
        EXPECT_EQ(filter.LeadSpaces(), !c.leadSpaces);
        EXPECT_EQ(filter.PrintAfter(), !c.printAfter);
        EXPECT_DOUBLE_EQ(filter.ScaleWidth(), c.takenX);
        EXPECT_DOUBLE_EQ(filter.ScaleHeight(), c.takenY);
        EXPECT_EQ(filter.PageNumbers(), c.range);
        EXPECT_EQ(filter.FileName(), dir / "out.prn");
    }
    EXPECT_TRUE(boxes->Boxes.empty());
}

TEST_F(TxtExportDialog, TheSaveDialogNamesThePrnFileAndCancellingItCancels) {
    Fixture(1);
    const TpgwResources& r = GetResources();

    // No file name yet: the report file's name with the ".prn" extension, in DefaultPath.
    filter.SetDefaultPath(dir.Path());
    answerSave(dir / "chosen.prn");
    EXPECT_EQ(ask({ok}), 1);
    ASSERT_EQ(boxes->Dialogs.size(), 1u);
    EXPECT_EQ(boxes->Dialogs[0].Kind, TDialogKind::SaveFile);
    EXPECT_EQ(boxes->Dialogs[0].Filter, r.GetText("8325"));
    EXPECT_EQ(boxes->Dialogs[0].DefaultExt, "prn");
    EXPECT_EQ(boxes->Dialogs[0].FileName, "export_fixture.prn");
    EXPECT_EQ(boxes->Dialogs[0].InitialDir, dir.Path());
    EXPECT_EQ(filter.FileName(), dir / "chosen.prn");

    // With a file name the dialog starts from it; cancelling it cancels the export.
    EXPECT_EQ(ask({ok}), 2);
    ASSERT_EQ(boxes->Dialogs.size(), 2u);
    EXPECT_EQ(boxes->Dialogs[1].FileName, dir / "chosen.prn");
    EXPECT_EQ(filter.FileName(), dir / "chosen.prn");

    // Cancelling the options dialog shows no save dialog.
    EXPECT_EQ(ask({[](TpgwTXTExportDialog& d) { d.Cancel->Click(); }}), 2);
    EXPECT_EQ(boxes->Dialogs.size(), 2u);

    // Without ShowDialog nothing is asked.
    filter.SetShowDialog(false);
    EXPECT_EQ(filter.AskOptions(), 1);
    EXPECT_EQ(boxes->Dialogs.size(), 2u);
}

TEST_F(TxtExportDialog, SlaveModeHidesPrintAfterAndForcesItOff) {
    Fixture(1);
    filter.SetSlaveMode(true);
    filter.SetPrintAfter(true);
    filter.SetFileName("kept.prn");
    EXPECT_EQ(ask({[](TpgwTXTExportDialog& d) {
                  EXPECT_FALSE(d.CB_PrintAfter->Visible());
                  EXPECT_FALSE(d.CB_PrintAfter->Checked());
                  d.CB_PrintAfter->SetChecked(true);
                  ok(d);
              }}),
              1);
    EXPECT_FALSE(filter.PrintAfter());
    EXPECT_TRUE(boxes->Dialogs.empty()) << "no save dialog in slave mode";
    EXPECT_EQ(filter.FileName(), "kept.prn");
}

TEST_F(TxtExportDialog, AScaleThatIsNoNumberFailsOnOkAndChangesNothing) {
    Fixture(1);
    filter.SetBorders(false);
    filter.SetScaleWidth(1.5);
    bool raised = false;
    queueSteps({[](TpgwTXTExportDialog& d) {
        d.RB_Simple->SetChecked(true);
        d.E_ScaleY->SetText("wide");
        ok(d);
    }});
    try {
        filter.AskOptions();
    } catch (const EConvertError&) {
        raised = true;
    }
    Application()->ProcessMessages();
    EXPECT_TRUE(raised);
    EXPECT_FALSE(filter.Borders());
    EXPECT_DOUBLE_EQ(filter.ScaleWidth(), 1.5);
    EXPECT_TRUE(boxes->Dialogs.empty());
}

TEST_F(TxtExportDialog, TheOemBoxEnablesGraphicFramesAndTakesTheGraphicChoiceBack) {
    Fixture(1);
    filter.SetBorders(true);
    filter.SetOEMCodepage(false);
    ask({[](TpgwTXTExportDialog& d) {
        EXPECT_FALSE(d.RB_Graph->Enabled());
        EXPECT_EQ(d.Preview->Font()->Name(), "Courier New");

        d.CB_OEM->SetChecked(true);
        EXPECT_TRUE(d.RB_Graph->Enabled());
        EXPECT_EQ(d.Preview->Font()->Name(), "Terminal");
        d.RB_Graph->SetChecked(true);

        d.CB_OEM->SetChecked(false);
        EXPECT_FALSE(d.RB_Graph->Enabled());
        EXPECT_FALSE(d.RB_Graph->Checked());
        EXPECT_TRUE(d.RB_Simple->Checked());
        EXPECT_EQ(d.Preview->Font()->Name(), "Courier New");

        // No frames stay no frames.
        d.CB_OEM->SetChecked(true);
        d.RB_NoneFrames->SetChecked(true);
        d.CB_OEM->SetChecked(false);
        EXPECT_TRUE(d.RB_NoneFrames->Checked());
        d.Cancel->Click();
    }});
}

TEST_F(TxtExportDialog, ThePreviewFontSizeStaysBetweenTwoAndThirty) {
    Fixture(1);
    ask({[](TpgwTXTExportDialog& d) {
        for (int i = 0; i < 40; ++i)
            d.ToolButton1->Click();
        EXPECT_EQ(d.Preview->Font()->Size(), 30);
        d.ToolButton2->Click();
        EXPECT_EQ(d.Preview->Font()->Size(), 29);
        for (int i = 0; i < 40; ++i)
            d.ToolButton2->Click();
        EXPECT_EQ(d.Preview->Font()->Size(), 2);
        d.Cancel->Click();
    }});
}

TEST_F(TxtExportDialog, ThePreviewShowsWhatTheFilterWritesForThePage) {
    Fixture(3);
    filter.SetBorders(true);
    filter.SetPageBreaks(false);
    filter.SetScaleWidth(0.8);
    const std::string png = TempFolder() + "/lumetra-txt-export-dialog-";
    std::string page1, page2;
    {
        TpgwTXTExport options(TpgwCustomExportFilter::UnlistedTag{});
        options.SetBorders(true);
        options.SetPageBreaks(false);
        options.SetScaleWidth(0.8);
        page1 = written(1, options);
        page2 = written(2, options);
    }
    ASSERT_NE(page1.find("Page 1 of 3"), std::string::npos) << page1;
    const int width2 = writtenWidth, height2 = writtenHeight;
    ASSERT_GT(height2, 3);

    std::filesystem::create_directory(dir / "tmp");
    ScopedTempDir privateTemp(dir / "tmp");
    ask({[&](TpgwTXTExportDialog& d) {
             const int left = d.Left();
             EXPECT_EQ(d.Preview->Text(), "") << "nothing runs while the preview is hidden";
             d.BtnPreview->Click();
             ASSERT_TRUE(d.BtnPreview->Down());
             EXPECT_TRUE(d.PreviewShown());
             EXPECT_EQ(d.Width(), TpgwTXTExportDialog::kWideWidth);
             EXPECT_EQ(d.Left(), left - TpgwTXTExportDialog::kPreviewShift);
             EXPECT_EQ(d.Preview->Text(), page1);

             d.PageUpDown->Step(btNext);
             EXPECT_EQ(d.EPage->Text(), "2");
             EXPECT_EQ(d.Preview->Text(), page2);
             EXPECT_EQ(d.PgWidth->Caption(), std::to_string(width2));
             EXPECT_EQ(d.PgHeight->Caption(), std::to_string(height2));
             EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"))
                 << "each run's temporary file is deleted";
             SaveImageAsPng(d.GrabImage(), png + "631.png");

             d.BtnPreview->Click();
             EXPECT_FALSE(d.PreviewShown());
             EXPECT_EQ(d.Width(), TpgwTXTExportDialog::kNarrowWidth);
             EXPECT_EQ(d.Left(), left);
             SaveImageAsPng(d.GrabImage(), png + "277.png");
         },
         [](TpgwTXTExportDialog& d) { d.Cancel->Click(); }});
    EXPECT_GT(FileSize(png + "631.png"), 0);
    EXPECT_GT(FileSize(png + "277.png"), 0);
    EXPECT_TRUE(report->Errors().Count() == 0) << report->Errors().Text();
}

TEST_F(TxtExportDialog, WhichControlsRunThePreviewAndWhatARunLeaves) {
    Fixture(3);
    RunSpy spy;
    report->SetPreview(&spy);
    filter.SetShowProgress(true);
    std::vector<bool> showProgressDuringRuns;
    spy.DuringRun = [&] { showProgressDuringRuns.push_back(filter.ShowProgress()); };
    struct Action {
        const char* name;
        std::function<void(TpgwTXTExportDialog&)> act;
        bool runs;
    };
    const std::vector<Action> actions = {
        {"page breaks", [](auto& d) { d.CB_PageBreaks->SetChecked(!d.CB_PageBreaks->Checked()); },
         true},
        {"OEM", [](auto& d) { d.CB_OEM->SetChecked(!d.CB_OEM->Checked()); }, true},
        {"empty lines", [](auto& d) { d.CB_EmptyLines->SetChecked(!d.CB_EmptyLines->Checked()); },
         true},
        {"lead spaces", [](auto& d) { d.CB_LeadSpaces->SetChecked(!d.CB_LeadSpaces->Checked()); },
         true},
        {"simple frames", [](auto& d) { d.RB_Simple->SetChecked(true); }, true},
        {"graphic frames", [](auto& d) { d.RB_Graph->SetChecked(true); }, true},
        {"no frames", [](auto& d) { d.RB_NoneFrames->SetChecked(true); }, true},
        {"page", [](auto& d) { d.EPage->SetText(d.EPage->Text() == "3" ? "2" : "3"); }, true},
        {"x scale spinner", [](auto& d) { d.UpDown1->Step(btNext); }, true},
        {"y scale spinner", [](auto& d) { d.UpDown2->Step(btPrev); }, true},
        {"page range", [](auto& d) { d.E_Range->SetText("1-2"); }, false},
        {"print after", [](auto& d) { d.CB_PrintAfter->SetChecked(!d.CB_PrintAfter->Checked()); },
         false},
        {"zoom", [](auto& d) { d.ToolButton1->Click(); }, false},
    };
    ask({[&](TpgwTXTExportDialog& d) {
        // Hidden, nothing runs.
        for (const Action& a : actions)
            a.act(d);
        EXPECT_EQ(spy.Runs, 0);

        d.BtnPreview->Click();
        EXPECT_EQ(spy.Runs, 1);
        d.CB_OEM->SetChecked(true);
        for (const Action& a : actions) {
            SCOPED_TRACE(a.name);
            const int before = spy.Runs;
            a.act(d);
            EXPECT_EQ(spy.Runs - before, a.runs ? 1 : 0);
        }

        // A spinner change while a run goes on is refused, not taken into the next run.
        const std::string scale = d.E_ScaleX->Text();
        spy.DuringRun = [&] { d.UpDown1->Step(btNext); };
        d.CB_LeadSpaces->SetChecked(!d.CB_LeadSpaces->Checked());
        EXPECT_EQ(d.E_ScaleX->Text(), scale);
        spy.DuringRun = nullptr;
        d.Cancel->Click();
    }});
    ASSERT_FALSE(showProgressDuringRuns.empty());
    EXPECT_EQ(std::count(showProgressDuringRuns.begin(), showProgressDuringRuns.end(), true), 0)
        << "the filter's progress is off while the preview runs";
    EXPECT_TRUE(filter.ShowProgress()) << "and back on after";
    report->SetPreview(nullptr);
}

} // namespace
