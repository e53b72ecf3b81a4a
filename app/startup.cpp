#include "app/startup.h"

#include <string>

#include "app/data_source_link.h"
#include "app/dm_unit.h"
#include "app/main_form.h"
#include "data/db_dataset.h"
#include "engine/engine_module.h"
#include "export/export_module.h"
#include "objects/objects_module.h"
#include "platform/data/ado.h"
#include "platform/data/data_source.h"
#include "platform/ui/application.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/std_controls.h"
#include "report/module_startup.h"

TExamBrowser StartExamBrowser(TApplication* app, const std::string& exeFolder) {
    RegisterDataSourceLinks();
    // The report generator's modules: the engine and preview, the export filters, the extra
    // report objects and the data-set adapter, before the first report is made.
    RegisterEngineModule();
    RegisterExportModule();
    RegisterObjectsModule();
    RegisterDBDatasetClasses();
    StartModules();
    app->SetTitle("Lumetra");
    TExamBrowser b;
    b.MainForm = new TMainForm(app, exeFolder);
    if (!app->MainForm()) app->SetMainForm(b.MainForm);
    b.DataModule = new TDM(app);
    b.MainForm->DBGridX->SetDataSource(b.DataModule->MDC);
    b.MainForm->db->SetDataSet(b.DataModule->Mqry);
    return b;
}
