#pragma once
// Run-time helpers of the interpreter: element access of Variant arrays, character access of
// string values, the base of the event bridges, and the binding modules with the process-wide
// list of binding-module classes every script instantiates.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/program.h"

// Element access of the array held by the previous step's item (changed in place there).
class TksArrayHelper : public TksCustomHelper {
public:
    // dimensions -1: one required and two optional indices.
    TksArrayHelper(std::string name, std::string typeName, TksVarType varType, int dimensions);
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
    // Direct access for the array designator: indices already evaluated.
    static Variant Get(const Variant& array, const int* indices, int count);
    static void Put(Variant& array, const Variant& value, const int* indices, int count);
};

// Character access of a string value that is not a string variable (a property, a result).
class TksStringHelper : public TksCustomHelper {
public:
    TksStringHelper();
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
};

// Base of the bridges that call a script procedure when a host event fires. Derived bridges
// install their handler in the host object's event property (InstallHandler) and pack the
// event's arguments for CallHandler, best through SafeCaller.
class TksCustomEvent : public TObject {
public:
    TksCustomEvent(TObject* instance, TksProcVariable* handler)
        : Instance(instance), Handler(handler) {}
    ~TksCustomEvent() override;
    // CallHandler for the installed handler, doing nothing once the bridge is freed (the
    // script that owned it was cleared while the host object lives on).
    std::function<void(const std::vector<Variant>&)> SafeCaller();
    // Puts the bridge's handler into the published event property of that name.
    virtual void InstallHandler(const std::string& eventName) = 0;
    // Runs the handler with the arguments; does nothing while the handler is executing.
    void CallHandler(const std::vector<Variant>& args);

    TObject* Instance;
    TksProcVariable* Handler;

private:
    std::shared_ptr<TksCustomEvent*> self_ = std::make_shared<TksCustomEvent*>(this);
};

// Base of binding modules: registers its classes, functions and constants into Script from its
// constructor and answers their callbacks.
class TksRTTIModule : public TObject {
public:
    explicit TksRTTIModule(TksScript* script) : Script(script) {}
    TksScript* Script;
};

using TksRTTIModuleClass = std::function<std::unique_ptr<TksRTTIModule>(TksScript* script)>;

struct TksHostModuleEntry {
    std::string Name;  // to remove it again
    TksRTTIModuleClass Create;
};

// The process-wide list of binding-module classes, in registration order; nullptr after
// ksFinalizeHostModuleList.
std::vector<TksHostModuleEntry>* HostModuleList();
// Appends a module class; a name already listed stays as it is (each module registers once).
// atFront puts it before the others (the built-ins every script gets first).
void ksRegisterHostModule(std::string name, TksRTTIModuleClass create, bool atFront = false);
void ksUnregisterHostModule(const std::string& name);
// Frees the list; HostModuleList answers nullptr from then on.
void ksFinalizeHostModuleList();
