#include "report/module_startup.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/core/persistent.h"
#include "platform/ui/form.h"
#include "script/classes_binding.h"
#include "script/ini_binding.h"
#include "script/sys_functions.h"
#include "report/component.h"
#include "report/data_set.h"
#include "report/dmp_class.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"
#include "report/script_binding.h"
#include "report/resources.h"
#include "report/styles.h"
#include "report/variables.h"
#include "report/view.h"

namespace {

struct ModuleState {
    std::deque<TpgwModuleEntry> entries; // stable addresses
    std::vector<std::string> started;
    std::vector<const TpgwModuleEntry*> order; // as started, for the reverse shutdown
    int counter = 0;
};

ModuleState& state() {
    static ModuleState s;
    return s;
}

std::recursive_mutex& stateLock() {
    static std::recursive_mutex m;
    return m;
}

std::unique_ptr<TpgwVariables>& globalVariablesSlot() {
    static std::unique_ptr<TpgwVariables> variables;
    return variables;
}

TForm*& parentFormSlot() {
    static TForm* form = nullptr;
    return form;
}

void startEntry(ModuleState& s, const TpgwModuleEntry& entry) {
    if (entry.Initialize) entry.Initialize();
    s.started.push_back(entry.Name);
    s.order.push_back(&entry);
}

} // namespace

void RegisterModule(TpgwModuleStage stage, std::string_view name, std::function<void()> initialize,
                    std::function<void()> finalize) {
    std::lock_guard lock(stateLock());
    ModuleState& s = state();
    for (const TpgwModuleEntry& e : s.entries)
        if (e.Name == name) return;
    s.entries.push_back({stage, std::string(name), std::move(initialize), std::move(finalize)});
    if (s.counter > 0) startEntry(s, s.entries.back());
}

void StartModules() {
    std::lock_guard lock(stateLock());
    ModuleState& s = state();
    if (s.counter > 0) {
        ++s.counter;
        return;
    }
    // Whatever else a program starts, the object model comes first.
    RegisterModule(TpgwModuleStage::ObjectModel, "pgwClass", ObjectModelStartup,
                   ObjectModelShutdown);
    RegisterModule(TpgwModuleStage::ObjectClasses, "pgwDMPClass", RegisterDMPClasses,
                   UnregisterDMPClasses);
    // The built-ins come first in every script, then the class, INI and report bindings.
    RegisterModule(TpgwModuleStage::ScriptBindings, "ks_isysfunctions", ksRegisterSysFunctions,
                   ksUnregisterSysFunctions);
    RegisterModule(TpgwModuleStage::ScriptBindings, "ks_iclassesrtti", ksRegisterClassesBinding,
                   ksUnregisterClassesBinding);
    RegisterModule(TpgwModuleStage::ScriptBindings, "ks_iinirtti", ksRegisterIniBinding,
                   ksUnregisterIniBinding);
    RegisterModule(TpgwModuleStage::ScriptBindings, "pgwiReport", pgwRegisterReportBinding,
                   pgwUnregisterReportBinding);
    s.counter = 1;
    std::vector<const TpgwModuleEntry*> pending;
    for (const TpgwModuleEntry& e : s.entries)
        pending.push_back(&e);
    std::stable_sort(pending.begin(), pending.end(),
                     [](const TpgwModuleEntry* a, const TpgwModuleEntry* b) {
                         return static_cast<int>(a->Stage) < static_cast<int>(b->Stage);
                     });
    for (const TpgwModuleEntry* e : pending)
        startEntry(s, *e);
}

void StopModules() {
    std::lock_guard lock(stateLock());
    ModuleState& s = state();
    if (s.counter == 0 || --s.counter > 0) return;
    for (auto it = s.order.rbegin(); it != s.order.rend(); ++it)
        if ((*it)->Finalize) (*it)->Finalize();
    s.order.clear();
    s.started.clear();
}

bool ModulesStarted() {
    std::lock_guard lock(stateLock());
    return state().counter > 0;
}

const std::vector<std::string>& StartedModules() {
    return state().started;
}

TpgwVariables& GlobalVariables() {
    auto& slot = globalVariablesSlot();
    if (!slot) slot = std::make_unique<TpgwVariables>();
    return *slot;
}

void ObjectModelStartup() {
    (void)ObjectModelLock();
    (void)GlobalDataSetCount();
    (void)GlobalVariables();
    // The classes of the object model that templates name. Each object class joins this list
    // in the file that brings it.
    RegisterClasses<TpgwReport, TpgwStyleItem>();
    RegisterViewClasses();
    RegisterLineAndPictureClasses();
    RegisterMemoClasses();
    RegisterBandAndPageClasses();
    GetResources().UpdateScriptMessages();
}

void ObjectModelShutdown() {
    globalVariablesSlot().reset();
    if (TForm*& form = parentFormSlot()) {
        // The controls belong to their objects, which free them.
        while (form->ControlCount() > 0)
            form->Controls(0)->SetParent(nullptr);
        delete form;
        form = nullptr;
    }
}

TForm* SharedParentForm() {
    TForm*& form = parentFormSlot();
    if (!form) {
        form = new TForm(nullptr);
        form->SetVisible(false);
    }
    return form;
}
