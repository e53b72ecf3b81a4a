#include "export/export_module.h"

#include <string_view>

#include "export/csv_export.h"
#include "export/html_export.h"
#include "export/image_export.h"
#include "export/mail_export.h"
#include "export/odf_export.h"
#include "export/pdf_export.h"
#include "export/rtf_export.h"
#include "export/txt_export.h"
#include "export/xls_export.h"
#include "export/xml_export.h"
#include "report/module_startup.h"
#include "report/resources.h"

std::string_view ExportStringsXML();

void RegisterExportModule() {
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportText", RegisterTableTextExports);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportPDF", RegisterPDFExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportImage", RegisterImageExports);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportRTF", RegisterRTFExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportHTML", RegisterHTMLExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportODF", RegisterODFExports);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportXML", RegisterXMLExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportXLS", RegisterXLSExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportTXT", RegisterTXTExport);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwExportMail", RegisterMailExport);
    RegisterModule(TpgwModuleStage::StringTables, "pgwrcExports",
                   [] { GetResources().AddXML(ExportStringsXML()); });
}

namespace {
[[maybe_unused]] const bool registered = (RegisterExportModule(), true);
} // namespace
