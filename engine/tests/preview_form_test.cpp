// The preview window offscreen over reports prepared by the real engine: which buttons the
// preview options show, what the zoom and page boxes do with what is typed, the status bar
// during and after a run, the buttons while the report runs, closing and cancelling, the export
// menu and quick buttons, full-screen mode, drill-down expand and collapse, saving and loading.

#include "engine/preview_form.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/preview_combos.h"
#include "engine/tests/engine_fixture.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/options.h"
#include "report/registries.h"
#include "report/resources.h"

namespace {

// Export filters under the class names the window looks for; each counts the pages it got.
template <class Self> class TCountingFilter : public TpgwCustomExportFilter {
public:
    explicit TCountingFilter(std::string caption)
        : TpgwCustomExportFilter(nullptr), caption_(std::move(caption)) {
        SetShowDialog(false);
    }
    std::string FilterCaption() const override { return caption_; }
    void WriteItem(TpgwComponent*) override {}
    void EnterPage(TpgwComponent*, int) override { ++pages; }
    int pages = 0;

private:
    std::string caption_;
};

class TpgwPDFExport : public TCountingFilter<TpgwPDFExport> {
    LUMETRA_CLASS(TpgwPDFExport, TpgwCustomExportFilter)
public:
    TpgwPDFExport() : TCountingFilter("PDF") {}
};

class TpgwMailExport : public TCountingFilter<TpgwMailExport> {
    LUMETRA_CLASS(TpgwMailExport, TpgwCustomExportFilter)
public:
    TpgwMailExport() : TCountingFilter("Mail") {}
};

class TPlainExport : public TCountingFilter<TPlainExport> {
    LUMETRA_CLASS(TPlainExport, TpgwCustomExportFilter)
public:
    TPlainExport() : TCountingFilter("Plain") {}
};

// Tells whether a component is still there.
class TLifeWatch : public TComponent {
public:
    explicit TLifeWatch(TComponent* target) : TComponent(nullptr), target_(target) {
        target_->FreeNotification(this);
    }
    bool Alive() const { return target_ != nullptr; }

protected:
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component == target_) target_ = nullptr;
        TComponent::Notification(component, operation);
    }

private:
    TComponent* target_;
};

std::string text(int id) {
    return GetResources().GetTextById(id);
}

std::string text(std::string_view key) {
    return GetResources().GetText(key);
}

std::string pageOf(int page, int count) {
    return Format(text("clPageOf"), {page, count});
}

TRecordingReporter::DialogAnswer fileAnswer(const std::string& path) {
    TRecordingReporter::DialogAnswer answer;
    answer.Confirmed = true;
    answer.FileName = path;
    return answer;
}

TpgwPreviewButtons without(TpgwPreviewButtons set, std::initializer_list<TpgwPreviewButton> off) {
    for (TpgwPreviewButton b : off)
        set &= ~(1u << b);
    return set;
}

class PreviewWindow : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        Application()->ResetTerminated();
        previousFormClass = PreviewFormClass();
        InstallPreviewForm();
    }
    void TearDown() override {
        if (form) delete form;
        Application()->ProcessMessages();
        filters.clear();
        EngineFixture::TearDown();
        PreviewFormClass() = previousFormClass;
    }

    // output_pages.pg3, one page per row; prepared when prepare is set.
    void Pages(int rows, bool prepare = true) {
        Load("output_pages.pg3");
        Find<TpgwMasterData>("Row")->SetRowCount(rows);
        if (prepare) {
            ASSERT_TRUE(Prepare()) << report->Errors().Text();
        }
    }
    // A window bound to the report as the report binds one, shown without waiting.
    TpgwPreviewForm& Open() {
        form = new TpgwPreviewForm(nullptr);
        watch = std::make_unique<TLifeWatch>(form);
        report->SetPreview(form->Preview);
        report->SetPreviewForm(form);
        form->FreeNotification(report.get());
        form->ApplyPreviewOptions();
        form->Show();
        return *form;
    }
    template <class T> T* Filter() {
        filters.push_back(std::make_unique<T>());
        return static_cast<T*>(filters.back().get());
    }
    // A click on the bar at the middle of the button, as the user's; false when it could not be
    // clicked. Exceptions reach the application's handler, as from a real click.
    bool press(TToolButton* b) {
        if (!b->Visible() || !b->Enabled()) return false;
        const TRect r = b->BoundsRect();
        const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
        SafeCall([&] {
            form->ToolBar->MouseDown(mbLeft, 0, x, y);
            form->ToolBar->MouseUp(mbLeft, 0, x, y);
        });
        return true;
    }
    // Keys as they arrive at the focused control; the window previews them.
    void key(TWinControl* control, std::uint16_t vk, TShiftState shift = 0) {
        SafeCall([&] { control->DoKeyDown(vk, shift); });
    }
    void typeZoom(const std::string& typed) {
        form->ZoomCB->SetText(typed);
        key(form->ZoomCB, VK_RETURN);
        Application()->ProcessMessages();
    }
    std::string panel(int index) { return form->StatusBar->Panels()->Items(index)->Text(); }
    std::vector<std::string> errorBoxes() {
        std::vector<std::string> texts;
        for (const TMessageBoxRequest& box : boxes.Boxes)
            if (box.IsErrorBox) texts.push_back(box.Text);
        return texts;
    }
    bool alive() const { return watch && watch->Alive(); }

    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& boxes = static_cast<TRecordingReporter&>(MessageReporter());
    TpgwPreviewForm* form = nullptr;
    std::unique_ptr<TLifeWatch> watch;
    TpgwPreviewFormFactory previousFormClass;
    std::vector<std::unique_ptr<TpgwCustomExportFilter>> filters;
};

// ---- buttons -----------------------------------------------------------------------------------

std::map<std::string, bool> shown(const TpgwPreviewForm& f) {
    return {{"PrintB", f.PrintB->Visible()},
            {"OpenB", f.OpenB->Visible()},
            {"SaveB", f.SaveB->Visible()},
            {"ExportB", f.ExportB->Visible()},
            {"PdfB", f.PdfB->Visible()},
            {"EmailB", f.EmailB->Visible()},
            {"FindB", f.FindB->Visible()},
            {"Sep1", f.Sep1->Visible()},
            {"ZoomPlusB", f.ZoomPlusB->Visible()},
            {"Sep3", f.Sep3->Visible()},
            {"ZoomMinusB", f.ZoomMinusB->Visible()},
            {"FullScreenBtn", f.FullScreenBtn->Visible()},
            {"Sep2", f.Sep2->Visible()},
            {"OutlineB", f.OutlineB->Visible()},
            {"ThumbB", f.ThumbB->Visible()},
            {"PageSettingsB", f.PageSettingsB->Visible()},
            {"DesignerB", f.DesignerB->Visible()},
            {"Sep5", f.Sep5->Visible()},
            {"FirstB", f.FirstB->Visible()},
            {"PriorB", f.PriorB->Visible()},
            {"Sep4", f.Sep4->Visible()},
            {"NextB", f.NextB->Visible()},
            {"LastB", f.LastB->Visible()},
            {"CancelB", f.CancelB->Visible()}};
}

TEST_F(PreviewWindow, ButtonsFollowThePreviewOptionsAndTheRegisteredFilters) {
    enum Filters { none, plain, quick };
    struct Case {
        const char* name;
        TpgwPreviewButtons buttons;
        Filters filters;
        std::vector<std::string> hidden;
    };
    const TpgwPreviewButtons all = kDefaultPreviewButtons;
    const Case cases[] = {
        {"defaults, no filter", all, none, {"ExportB", "PdfB", "EmailB"}},
        {"no zoom",
         without(all, {pbZoom}),
         none,
         {"ExportB", "PdfB", "EmailB", "Sep1", "ZoomPlusB", "Sep3", "ZoomMinusB", "FullScreenBtn"}},
        {"a plain filter", all, plain, {"PdfB", "EmailB"}},
        {"quick export without PDF or mail filters",
         all | (1u << pbExportQuick),
         plain,
         {"PdfB", "EmailB"}},
        {"quick export with both", all | (1u << pbExportQuick), quick, {}},
        {"PDF and mail filters without quick export", all, quick, {"PdfB", "EmailB"}},
        {"no page settings, no edit",
         without(all, {pbPageSetup, pbEdit}),
         none,
         {"ExportB", "PdfB", "EmailB", "PageSettingsB", "DesignerB", "Sep2"}},
        {"print and navigator only",
         (1u << pbPrint) | (1u << pbNavigator),
         plain,
         {"OpenB", "SaveB", "ExportB", "PdfB", "EmailB", "FindB", "Sep1", "ZoomPlusB", "Sep3",
          "ZoomMinusB", "FullScreenBtn", "Sep2", "OutlineB", "ThumbB", "PageSettingsB",
          "DesignerB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        filters.clear();
        if (c.filters != none) Filter<TPlainExport>();
        if (c.filters == quick) {
            Filter<TpgwPDFExport>();
            Filter<TpgwMailExport>();
        }
        Pages(1, false);
        report->PreviewOptions()->SetButtons(c.buttons);
        Open();
        std::map<std::string, bool> expected = shown(*form);
        for (auto& [name, visible] : expected)
            visible = std::find(c.hidden.begin(), c.hidden.end(), name) == c.hidden.end();
        EXPECT_EQ(shown(*form), expected);
        delete form;
        form = nullptr;
    }
}

TEST_F(PreviewWindow, ExportMenuAndQuickButtonsExportThroughTheirFilters) {
    auto* plain = Filter<TPlainExport>();
    auto* pdf = Filter<TpgwPDFExport>();
    Pages(2);
    report->PreviewOptions()->SetButtons(kDefaultPreviewButtons | (1u << pbExportQuick));
    Open();

    TMenuItem* menu = form->ExportPopup->Items();
    ASSERT_EQ(menu->Count(), 2);
    EXPECT_EQ(menu->Items(0)->Caption(), "Plain...");
    EXPECT_EQ(menu->Items(1)->Caption(), "PDF...");
    EXPECT_EQ(menu->Items(1)->Tag(), 1);
    menu->Items(0)->Click();
    EXPECT_EQ(plain->pages, 2);

    // The right-click menu: the hinted buttons up to the second separator, the export
    // button with a copy of its menu; check buttons stay out.
    TMenuItem* right = form->RightMenu->Items();
    std::vector<std::string> captions;
    for (int i = 3; i < right->Count(); ++i)
        captions.push_back(right->Items(i)->Caption());
    EXPECT_EQ(captions,
              (std::vector<std::string>{text(102), text(104), text(106), text(108), text(151),
                                        text(110), "-", text(125), text(127), text(150)}));
    TMenuItem* exportItem = form->RightMenuItem(form->ExportB);
    ASSERT_NE(exportItem, nullptr);
    ASSERT_EQ(exportItem->Count(), 2);
    exportItem->Items(1)->Click();
    EXPECT_EQ(pdf->pages, 2);

    EXPECT_TRUE(press(form->PdfB));
    EXPECT_EQ(pdf->pages, 4);
    // A filter that goes while the window is open is forgotten, not used.
    filters.pop_back();
    EXPECT_EQ(form->PdfFilter, nullptr);
    EXPECT_TRUE(press(form->PdfB));
    EXPECT_TRUE(errorBoxes().empty());
}

// ---- zoom and page boxes -----------------------------------------------------------------------

TEST_F(PreviewWindow, ZoomBoxTakesTypedPercentagesAndItsItems) {
    Pages(2);
    Open();
    struct Case {
        const char* typed;
        double zoom;
        const char* shows;
    };
    for (const Case& c : {Case{"150 %", 1.5, "150%"}, Case{"10", 0.25, "25%"},
                          Case{" 2 0 0%", 2.0, "200%"}, Case{"33,3", 0.333, "33%"}}) {
        SCOPED_TRACE(c.typed);
        typeZoom(c.typed);
        EXPECT_DOUBLE_EQ(form->Preview->Zoom(), c.zoom);
        EXPECT_EQ(form->Preview->ZoomMode(), zmDefault);
        EXPECT_EQ(form->ZoomCB->Text(), c.shows);
    }

    for (const auto& [item, mode] : {std::pair{6, zmPageWidth}, std::pair{7, zmWholePage}}) {
        form->ZoomCB->SetItemIndex(item);
        SafeCall([&] { form->ZoomCB->Selected(); });
        Application()->ProcessMessages();
        EXPECT_EQ(form->Preview->ZoomMode(), mode);
        EXPECT_EQ(form->ZoomCB->Text(),
                  std::to_string(static_cast<int>(Round(form->Preview->Zoom() * 100))) + "%");
    }

    // Ctrl and the wheel zoom by a tenth from what is shown.
    typeZoom("100");
    form->MouseWheel(1u << ssCtrl, 120, 0, 0);
    EXPECT_DOUBLE_EQ(form->Preview->Zoom(), 1.1);
    EXPECT_TRUE(errorBoxes().empty());
}

TEST_F(PreviewWindow, BoxesThatDoNotHoldANumberChangeNothing) {
    Pages(5);
    Open();
    typeZoom("150");
    form->PageE->SetText("3");
    key(form->PageE, VK_RETURN);
    ASSERT_EQ(form->Preview->PageNo(), 3);
    EXPECT_EQ(panel(0), pageOf(3, 5));

    struct Case {
        const char* name;
        TWinControl* box;
        const char* typed;
        std::string message;
    };
    const Case cases[] = {
        {"zoom", form->ZoomCB, "abc", "'abc' is not a valid floating point value."},
        {"page", form->PageE, "x2", "'x2' is not a valid integer value."},
        {"empty page", form->PageE, "", "'' is not a valid integer value."},
        // Pages this large cannot be laid out: the zoom before stays.
        {"zoom beyond layout", form->ZoomCB, "1e12", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Boxes.clear();
        c.box->SetText(c.typed);
        key(c.box, VK_RETURN);
        Application()->ProcessMessages();
        const std::vector<std::string> errors = errorBoxes();
        ASSERT_EQ(errors.size(), 1u);
        if (!c.message.empty()) {
            EXPECT_EQ(errors[0], c.message);
        }
        EXPECT_DOUBLE_EQ(form->Preview->Zoom(), 1.5);
        EXPECT_EQ(form->Preview->PageNo(), 3);
        if (c.box == form->ZoomCB) {
            EXPECT_EQ(form->ZoomCB->Text(), "150%");
        }
    }
    // Beyond the last page is the last page.
    form->PageE->SetText("99");
    key(form->PageE, VK_RETURN);
    EXPECT_EQ(form->Preview->PageNo(), 5);
    EXPECT_EQ(form->PageE->Text(), "5");
}

// ---- status bar --------------------------------------------------------------------------------

TEST_F(PreviewWindow, FirstPassOfATwoPassReportShowsThePagesMadeSoFar) {
    Watchdog watchdog(60);
    Pages(3, false);
    report->EngineOptions()->SetDoublePass(true);
    Open();
    std::vector<std::pair<bool, std::string>> seen; // final pass, panel 0
    report->OnProgress = [&](TObject*, int type, int progress) {
        // Progress n arrives before the control has taken page n - 1 in.
        if (type == ptRunning && progress >= 2)
            seen.emplace_back(report->Engine()->FinalPass(), panel(0));
    };
    ASSERT_TRUE(Prepare()) << report->Errors().Text();

    const std::string firstPass = text("clFirstPass") + " ";
    int firstPassTexts = 0;
    for (const auto& [finalPass, status] : seen) {
        if (finalPass) continue;
        SCOPED_TRACE(status);
        ++firstPassTexts;
        ASSERT_EQ(status.rfind(firstPass, 0), 0u);
        const std::string count = status.substr(firstPass.size());
        EXPECT_FALSE(count.empty());
        EXPECT_EQ(count.find_first_not_of("0123456789"), std::string::npos);
    }
    EXPECT_GT(firstPassTexts, 0);
    EXPECT_EQ(panel(0), pageOf(1, 3));
    EXPECT_EQ(form->PageE->Text(), "1");
}

TEST_F(PreviewWindow, ProgressTextsAndPanelWidths) {
    Pages(1);
    Open();
    struct Step {
        const char* text;
        bool usePanel2;
        const char* panel1;
        const char* panel2;
    };
    // Panel 2 takes a text, and an empty one only to clear what it shows.
    for (const Step& s :
         {Step{"a", false, "a", ""}, Step{"b", true, "a", "b"}, Step{"", true, "a", ""},
          Step{"", true, "a", ""}, Step{"", false, "", ""}}) {
        SCOPED_TRACE(std::string(s.text) + (s.usePanel2 ? " on 2" : ""));
        form->ShowProgressMessage(s.text, s.usePanel2);
        EXPECT_EQ(panel(1), s.panel1);
        EXPECT_EQ(panel(2), s.panel2);
    }

    for (const auto& [width, half] :
         {std::pair{600, 200}, std::pair{601, 200}, std::pair{603, 202}}) {
        form->SetWindowState(wsNormal);
        form->SetClientWidth(width);
        EXPECT_EQ(form->StatusBar->Panels()->Items(1)->Width(), half) << width;
        EXPECT_EQ(form->StatusBar->Panels()->Items(2)->Width(), half) << width;
    }
}

// ---- running, closing, cancelling --------------------------------------------------------------

TEST_F(PreviewWindow, ARunHoldsTheCommandsRefusesToCloseAndEscapeCancelsIt) {
    Watchdog watchdog(60);
    Filter<TPlainExport>();
    Pages(200, false);
    report->PreviewOptions()->SetAllowEdit(false);
    TpgwPreviewForm& f = Open();
    f.FreeOnClose = true;
    std::vector<TToolButton*> fileCommands{f.PrintB, f.OpenB, f.SaveB, f.ExportB, f.FindB};
    for (TToolButton* b : fileCommands)
        EXPECT_FALSE(b->Enabled()) << "without pages";
    EXPECT_FALSE(f.RightMenuItem(f.PrintB)->Enabled());

    std::vector<TObject*> closed;
    report->OnClosePreview = [&](TObject* sender) { closed.push_back(sender); };
    bool checked = false;
    report->OnProgress = [&](TObject*, int type, int progress) {
        if (type != ptRunning || progress != 3) return;
        checked = true;
        for (TToolButton* b : fileCommands)
            EXPECT_FALSE(b->Enabled()) << "while running";
        EXPECT_EQ(f.CancelB->Caption(), text("clCancel"));
        f.ShowProgressMessage("working", false);
        f.Close();
        Application()->ProcessMessages();
        EXPECT_TRUE(alive());
        EXPECT_TRUE(f.Visible()) << "a close request during the run is refused";
        key(f.Preview, VK_ESCAPE);
    };
    Prepare();
    ASSERT_TRUE(checked);
    ASSERT_TRUE(alive());
    EXPECT_GT(PageCount(), 0);
    EXPECT_LT(PageCount(), 200) << "Escape ended the run";
    EXPECT_TRUE(closed.empty());
    EXPECT_EQ(f.CancelB->Caption(), text("clClose"));
    EXPECT_EQ(panel(1), "");
    for (TToolButton* b : fileCommands)
        EXPECT_TRUE(b->Enabled()) << "after the run";
    EXPECT_FALSE(f.DesignerB->Enabled()) << "AllowEdit is off";
    EXPECT_FALSE(f.ExpandMI->Visible()) << "no drill-down group";

    // Now Escape closes, and a window shown without waiting goes with it.
    key(f.Preview, VK_ESCAPE);
    Application()->ProcessMessages();
    EXPECT_FALSE(alive());
    form = nullptr;
    EXPECT_EQ(closed, std::vector<TObject*>{&f});
    EXPECT_EQ(report->Preview(), nullptr);
}

TEST_F(PreviewWindow, TheReportShowsItsPagesInTheInstalledWindow) {
    Pages(2, false);
    report->SetOldStyleProgress(true);
    report->SetShowProgress(false);
    bool checked = false;
    // Once the window is bound, before it waits: the checks run from its own loop.
    report->OnPreview = [&](TObject*) {
        Application()->QueueCall([&] {
            auto* shownForm = dynamic_cast<TpgwPreviewForm*>(report->PreviewForm());
            ASSERT_NE(shownForm, nullptr);
            checked = true;
            EXPECT_EQ(report->Preview(), shownForm->Preview);
            EXPECT_EQ(shownForm->Caption(), "Output pages");
            EXPECT_EQ(shownForm->StatusBar->Panels()->Items(0)->Text(), pageOf(1, 2));
            EXPECT_TRUE(shownForm->PrintB->Enabled());
            key(shownForm->Preview, VK_ESCAPE);
            // A window Escape left open would wait for ever.
            Application()->QueueCall([&] {
                if (TForm* still = report->PreviewForm(); still && still->Visible()) {
                    ADD_FAILURE() << "Escape did not close the window";
                    still->Close();
                }
            });
        });
    };
    report->ShowReport();
    Application()->ProcessMessages();
    EXPECT_TRUE(checked);
    EXPECT_EQ(report->PreviewForm(), nullptr);
}

// ---- full screen, strips -----------------------------------------------------------------------

TEST_F(PreviewWindow, FullScreenHidesTheBarsUntilF11OrADoubleClick) {
    Pages(1);
    Open();
    form->SetWindowState(wsNormal);
    key(form->Preview, VK_F1 + 10);
    EXPECT_TRUE(form->FullScreen());
    EXPECT_FALSE(form->ToolBar->Visible());
    EXPECT_FALSE(form->StatusBar->Visible());
    form->Preview->WorkspaceDblClicked();
    EXPECT_FALSE(form->FullScreen());
    EXPECT_TRUE(form->ToolBar->Visible());
    EXPECT_TRUE(form->StatusBar->Visible());
    EXPECT_EQ(form->WindowState(), wsNormal);

    EXPECT_TRUE(press(form->FullScreenBtn));
    EXPECT_TRUE(form->FullScreen());
    key(form->Preview, VK_F1 + 10);
    EXPECT_FALSE(form->FullScreen());
    // A double click outside full-screen mode leaves the window as it is.
    form->Preview->WorkspaceDblClicked();
    EXPECT_FALSE(form->FullScreen());
}

TEST_F(PreviewWindow, OutlineAndThumbnailButtonsShowOneStripAtATime) {
    Pages(2);
    Open();
    ASSERT_TRUE(press(form->OutlineB));
    EXPECT_TRUE(form->Preview->OutlineVisible());
    ASSERT_TRUE(press(form->ThumbB));
    EXPECT_TRUE(form->Preview->ThumbnailVisible());
    EXPECT_FALSE(form->Preview->OutlineVisible());
    EXPECT_FALSE(form->OutlineB->Down());
    ASSERT_TRUE(press(form->ThumbB));
    EXPECT_FALSE(form->Preview->ThumbnailVisible());
    EXPECT_FALSE(form->ThumbB->Down());
    // Shown by code, the button follows.
    form->Preview->SetOutlineVisible(true);
    EXPECT_TRUE(form->OutlineB->Down());
}

// ---- drill-down, files -------------------------------------------------------------------------

TEST_F(PreviewWindow, ExpandAndCollapseAllPrepareTheDrillDownGroupsAgain) {
    Table("Items",
          {{{"grp", "A"}, {"sub", "x"}, {"n", "A1"}}, {{"grp", "B"}, {"sub", "y"}, {"n", "B1"}}});
    Load("drilldown.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    Open();
    auto items = [&] {
        int n = 0;
        for (const Lines& page : BandsNamed("Item"))
            n += static_cast<int>(page.size());
        return n;
    };
    ASSERT_EQ(items(), 0);
    EXPECT_TRUE(form->ExpandMI->Visible());
    EXPECT_TRUE(form->CollapseMI->Visible());

    report->ExpandedDrillDowns().Add("left over");
    form->ExpandMI->Click();
    EXPECT_TRUE(Find<TpgwGroupHeader>("Outer")->ExpandDrillDown());
    EXPECT_EQ(report->ExpandedDrillDowns().Count(), 0);
    EXPECT_EQ(items(), 2);

    form->CollapseMI->Click();
    EXPECT_FALSE(Find<TpgwGroupHeader>("Outer")->ExpandDrillDown());
    EXPECT_EQ(items(), 0);
    EXPECT_EQ(form->Preview->PageNo(), 1);
}

TEST_F(PreviewWindow, APreparedReportSavedAndLoadedThroughTheWindowShowsTheSamePages) {
    TempDir dir;
    Pages(3);
    Open();
    const std::vector<Lines> saved = AllPages();
    boxes.QueueDialogAnswer(fileAnswer(dir / "saved.prn"));
    ASSERT_TRUE(press(form->SaveB));
    ASSERT_FALSE(TempDir::ReadAll(dir / "saved.pp3").empty()) << "saved with its own extension";

    // One page now; loading brings the three back.
    Find<TpgwMasterData>("Row")->SetRowCount(1);
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 1);
    form->SetCaption("");
    boxes.QueueDialogAnswer(fileAnswer(dir / "saved.pp3"));
    ASSERT_TRUE(press(form->OpenB));
    EXPECT_EQ(AllPages(), saved);
    EXPECT_EQ(form->Preview->PageCount(), 3);
    EXPECT_EQ(panel(0), pageOf(1, 3));
    EXPECT_FALSE(form->Caption().empty());
    EXPECT_TRUE(errorBoxes().empty());
}

} // namespace
