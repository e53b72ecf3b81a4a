#include "objects/rich_view_binding.h"

#include <memory>

#include "objects/rich_edit.h"
#include "objects/rich_view.h"
#include "script/program.h"
#include "script/runtime.h"
#include "script/script.h"

namespace {

constexpr const char* kModuleName = "pgwRichRTTI";

class TRichViewModule : public TksRTTIModule {
public:
    explicit TRichViewModule(TksScript* script) : TksRTTIModule(script) {
        script->AddClass(TQvRichEdit::StaticClass(), "TWinControl");
        if (TksClassVariable* c = script->AddClass(TpgwRichView::StaticClass(), "TpgwView"))
            c->AddProperty("RichEdit", "TqvRichEdit",
                           [](TObject* instance, const TClassInfo* cls, const std::string& name) {
                               // Only the view class itself answers, by the upper-case name.
                               if (cls == &TpgwRichView::StaticClass() && name == "RICHEDIT")
                                   if (auto* view = dynamic_cast<TpgwRichView*>(instance))
                                       return ksObjectToValue(&view->RichEdit());
                               return Variant(0);
                           });
    }
};

} // namespace

void RegisterRichViewBinding() {
    ksRegisterHostModule(kModuleName, [](TksScript* script) {
        return std::unique_ptr<TksRTTIModule>(new TRichViewModule(script));
    });
}

void UnregisterRichViewBinding() {
    ksUnregisterHostModule(kModuleName);
}
