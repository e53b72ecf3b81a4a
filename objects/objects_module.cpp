#include "objects/objects_module.h"

#include "objects/cross_view.h"
#include "objects/rich_view.h"
#include "objects/rich_view_binding.h"
#include "objects/unicode_controls.h"
#include "report/module_startup.h"

void RegisterObjectsModule() {
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwCross", RegisterCrossViewClasses);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwCrossRTTI", RegisterCrossViewBinding,
                   UnregisterCrossViewBinding);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwRich", RegisterRichViewClasses);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwRichRTTI", RegisterRichViewBinding);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwUnicodeCtrls",
                   RegisterUnicodeControlClasses);
}

namespace {
[[maybe_unused]] const bool registered = (RegisterObjectsModule(), true);
} // namespace
