#include "engine/engine_module.h"

#include <string>

#include "engine/engine.h"
#include "engine/png_object.h"
#include "engine/preview.h"
#include "engine/preview_form.h"
#include "engine/preview_pages.h"
#include "engine/print_dialog.h"
#include "engine/printers.h"
#include "engine/text_drawing_adapter.h"
#include "platform/core/text.h"
#include "report/module_startup.h"
#include "report/report.h"

void RegisterEngineModule() {
    // The memos draw through the engine's text layout, installed before any report prepares.
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwEngine", [] {
        RegisterPNGGraphicClass();
        InstallEngineTextDrawing();
        InstallPreviewPages();
        InstallEngine();
        InstallPrintDialog();
        RegisterPreviewClasses();
        InstallPreviewForm();
        SetCurrentPrinterPaperHook(CurrentPrinterPaperFromPrinters);
        // A report's own printer (PrintOptions.Printer) becomes current when it is listed.
        PrinterSelectionHook() = [](const std::string& name) {
            TpgwPrinters* printers = GetPrinters();
            // "Default" and its localised form name the system's default printer.
            if (AnsiSameText(name, "Default") || name == "预设") {
                if (printers->Count() > 0) printers->SelectPrinter(-1);
                return;
            }
            if (const int index = printers->IndexOf(name); index >= 0)
                printers->SelectPrinter(index);
        };
    });
}

namespace {
[[maybe_unused]] const bool registered = (RegisterEngineModule(), true);
} // namespace
