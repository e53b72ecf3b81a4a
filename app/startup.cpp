#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/data_source_link.h"
#include "app/dm_unit.h"
#include "app/main_form.h"
#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/data/data_source.h"
#include "platform/ui/application.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/std_controls.h"

TExamBrowser StartExamBrowser(TApplication* app, const std::string& exeFolder) {
    RegisterDataSourceLinks();
    app->SetTitle("Lumetra");
    TExamBrowser b;
    b.MainForm = new TMainForm(app, exeFolder);
    if (!app->MainForm()) app->SetMainForm(b.MainForm);
    b.DataModule = new TDM(app);
    b.MainForm->DBGridX->SetDataSource(b.DataModule->MDC);
    return b;
}

namespace {

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

} // namespace

void InstallTestHook(TMainForm* form) {
    const char* dump = std::getenv("LUMETRA_TEST_GRID_DUMP");
    if (!dump || !*dump) return;
    const std::string dumpFile = dump;
    const char* shot = std::getenv("LUMETRA_TEST_SCREENSHOT");
    const std::string shotFile = shot ? shot : "";
    Application()->QueueCall([form, dumpFile, shotFile] {
        Application()->ProcessMessages();
        SafeCall([form] { form->Butt_Select->Click(); });
        Application()->ProcessMessages();
        WriteFileAtomically(dumpFile, GridText(form->DBGridX));
        if (!shotFile.empty()) SaveImageAsPng(form->GrabImage(), shotFile);
        form->Close();
    });
}
