#pragma once
// Script binding of the report object model: the unit constants, the enumerations and sets of
// the report objects, the report classes with their methods and properties, the process-wide
// report variables and the date and macro functions. Published properties reach scripts without
// being listed here.
//
// The engine and outline classes (TpgwEngine, TpgwOutline) join when their module has entered
// them in the class registry (RegisterClass) before a script is made: the binding looks them up
// by name.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "script/runtime.h"

class TObject;
class TksList;

class TpgwReportModule : public TksRTTIModule {
public:
    explicit TpgwReportModule(TksScript* script);
    ~TpgwReportModule() override;

    // The three callbacks of every member; any name they do not know answers 0.
    Variant CallMethod(TObject* instance, const TClassInfo* classType, const std::string& name,
                       TksMethodHelper& caller);
    Variant GetProp(TObject* instance, const TClassInfo* classType, const std::string& name);
    void SetProp(TObject* instance, const TClassInfo* classType, const std::string& name,
                 const Variant& value);

private:
    // A component's child or descendant list as a script list, refilled on each read. One list
    // per component and kind, kept by the module unless the script frees it.
    Variant ChildList(TObject* instance, bool allObjects);
    // Wide string lists keep raw object pointers; objects scripts put there are remembered with
    // their handles, so one freed since reads back as an invalid reference.
    TObject* RememberObject(TObject* object);
    Variant StoredObjectValue(TObject* object) const;

    struct ListSlot {
        TksList* List = nullptr;
        std::int32_t Handle = 0;
    };
    std::unordered_map<std::int64_t, ListSlot> lists_;
    std::unordered_map<const TObject*, std::int32_t> storedObjects_;
};

// Adds the module to the host module list (once), after the modules already there.
void pgwRegisterReportBinding();
void pgwUnregisterReportBinding();
