// The hook end-to-end tests drive the real program through: environment variables name what to
// do and where to write what it saw. Without them it does nothing.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/dm_unit.h"
#include "app/main_form.h"
#include "app/main_unit.h"
#include "app/startup.h"
#include "export/export_filter.h"
#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/data/ado.h"
#include "platform/ui/application.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "report/abstract_bases.h"
#include "report/memo_view.h"
#include "report/report.h"

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string GridText(TDBGrid* grid) {
    std::string out;
    for (int c = 0; c < grid->ColumnCount(); ++c)
        out += (c ? "\t" : "") + grid->ColumnTitle(c);
    out += '\n';
    for (int r = 0; r < grid->RowCount(); ++r) {
        for (int c = 0; c < grid->ColumnCount(); ++c)
            out += (c ? "\t" : "") + grid->CellText(r, c);
        out += '\n';
    }
    return out;
}

// Answers as a user would: boxes with their default button, save dialogs with the offered name
// in the output folder (or cancelled), everything written to the log.
class DrivingReporter : public TMessageReporter {
public:
    DrivingReporter(std::string folder, std::ofstream& log)
        : folder_(std::move(folder)), log_(log) {}
    TModalResult ShowMessageBox(const TMessageBoxRequest& request) override {
        log_ << "box\t" << request.Caption << "\t" << request.Text << "\n";
        return ButtonResult(request.DefaultButton);
    }
    bool ExecuteDialog(TDialogRequest& request) override {
        log_ << "dialog\t" << request.FileName << "\n";
        if (request.Kind != TDialogKind::SaveFile || CancelSave) return false;
        request.FileName = folder_ + "/" + request.FileName +
                           (request.DefaultExt.empty() ? "" : "." + request.DefaultExt);
        return true;
    }
    bool CancelSave = false;

private:
    std::string folder_;
    std::ofstream& log_;
};

void pumpWhile(const std::function<bool()>& busy) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        Application()->ProcessMessages();
        if (!busy()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
}

// The options dialog of the export about to start is answered with OK (or Cancel).
void answerOptions(bool ok) {
    Application()->QueueCall([ok] {
        if (auto* dialog = dynamic_cast<TpgwExportDialog*>(ModalForm()))
            (ok ? dialog->OkB : dialog->CancelB)->Click();
    });
}

// Opens the exam of that name, shows its report, prints it and exports it through the menu,
// writing what happened to out/e2e.log, the report's texts to out/report.txt and the window
// to out/report.png; exports go to out/exports.
void driveExam(TMainForm* form, const std::string& exam, const std::string& out) {
    const std::string exports = out + "/exports";
    ForceDirectories(exports);
    std::ofstream log(out + "/e2e.log", std::ios::binary | std::ios::trunc);
    auto owned = std::make_unique<DrivingReporter>(exports, log);
    DrivingReporter* reporter = owned.get();
    TScopedReporter scope(std::move(owned));

    // Before any exam: the export offers no name; its save dialog is cancelled.
    reporter->CancelSave = true;
    answerOptions(true);
    form->WdItem1->Click();
    reporter->CancelSave = false;

    if (!DM->Mqry->Locate("name", Variant(exam), 0)) {
        log << "exam not found\t" << exam << "\n";
        return;
    }
    form->Check_View_Report->SetChecked(true);
    form->DBGridxDblClick(nullptr);
    TpgwReport& report = *form->pgwpt;
    pumpWhile([form] { return form->ReportPreparing(); });
    Application()->ProcessMessages();
    const int pages = report.PreviewPages()->GetCount();
    log << "pages\t" << pages << "\n";
    std::string texts;
    for (int p = 0; p < pages; ++p)
        for (TpgwComponent* c : report.PreviewPages()->GetPage(p)->AllObjects())
            if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(c)) texts += memo->Text();
    WriteFileAtomically(out + "/report.txt", texts);
    SaveImageAsPng(form->GrabImage(), out + "/report.png");
    form->WdItem7->Click();
    Application()->ProcessMessages();
    SaveImageAsPng(form->GrabImage(), out + "/report-page.png");

    form->WdItem3->Click();
    log << "printed\n";
    for (TMenuItem* item : {form->WdItem1, form->WdItem2, form->WdItem11, form->WdItem12,
                            form->WdItem13, form->WdItem14}) {
        answerOptions(true);
        item->Click();
        log << "exported\t" << item->Caption() << "\n";
    }
    // Cancelled in its options dialog: nothing is written.
    answerOptions(false);
    form->WdItem1->Click();
    log << "done\t" << MainUnit().ExportBaseName << "\n";
}

} // namespace

void InstallTestHook(TMainForm* form) {
    const std::string dumpFile = env("LUMETRA_TEST_GRID_DUMP");
    if (dumpFile.empty()) return;
    const std::string shotFile = env("LUMETRA_TEST_SCREENSHOT");
    const std::string exam = env("LUMETRA_TEST_EXAM");
    const std::string out = env("LUMETRA_TEST_OUT");
    Application()->QueueCall([form, dumpFile, shotFile, exam, out] {
        Application()->ProcessMessages();
        SafeCall([form] { form->Butt_Select->Click(); });
        Application()->ProcessMessages();
        WriteFileAtomically(dumpFile, GridText(form->DBGridX));
        if (!shotFile.empty()) SaveImageAsPng(form->GrabImage(), shotFile);
        if (!exam.empty() && !out.empty()) SafeCall([&] { driveExam(form, exam, out); });
        form->Close();
    });
}
