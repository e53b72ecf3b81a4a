#include "engine/engine_module.h"

#include "engine/engine.h"
#include "engine/png_object.h"
#include "engine/preview_pages.h"
#include "engine/text_drawing_adapter.h"
#include "report/module_startup.h"

void RegisterEngineModule() {
    // The memos draw through the engine's text layout, installed before any report prepares.
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwEngine", [] {
        RegisterPNGGraphicClass();
        InstallEngineTextDrawing();
        InstallPreviewPages();
        InstallEngine();
    });
}

namespace {
[[maybe_unused]] const bool registered = (RegisterEngineModule(), true);
} // namespace
