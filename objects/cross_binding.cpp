// Scripts fill and query a cross-tab's matrix, read and set its cell functions and choose
// whether each print starts a new matrix.

#include <memory>
#include <string>

#include "objects/cross_view.h"
#include "platform/core/exception.h"
#include "platform/core/object_handle.h"
#include "platform/core/variant.h"
#include "script/program.h"
#include "script/runtime.h"
#include "script/script.h"

namespace {

constexpr const char* kModuleName = "pgwCrossRTTI";

TpgwCustomCrossView& crossView(TObject* instance) {
    auto* view = dynamic_cast<TpgwCustomCrossView*>(instance);
    if (!view) throw EInvalidObjectReference("Invalid object reference");
    return *view;
}

// Elements 0 to the upper bound of the first dimension. Anything but an array raises the
// variant's "Variant is not an array"; an array that does not begin at 0 raises its index error.
TpgwVariantArray arrayArg(const Variant& value) {
    const int high = VarArrayHighBound(value, 1);
    TpgwVariantArray list;
    list.reserve(static_cast<std::size_t>(high < 0 ? 0 : high + 1));
    for (int i = 0; i <= high; ++i)
        list.push_back(VarArrayGet(value, {i}));
    return list;
}

TpgwCrossFunction functionArg(const Variant& value) {
    const int v = value.AsInteger();
    if (v < cfNone || v > cfCount)
        throw ERangeError("Cell function " + std::to_string(v) + " is out of range (0 to " +
                          std::to_string(int(cfCount)) + ")");
    return static_cast<TpgwCrossFunction>(v);
}

Variant callMethod(TObject* instance, const std::string& name, TksMethodHelper& caller) {
    TpgwCustomCrossView& view = crossView(instance);
    if (name == "ADDVALUE") {
        const TpgwVariantArray rows = arrayArg(caller.Params(0));
        const TpgwVariantArray columns = arrayArg(caller.Params(1));
        const TpgwVariantArray cells = arrayArg(caller.Params(2));
        view.AddValue(rows, columns, cells);
    } else if (name == "BEGINMATRIX") {
        view.BeginMatrix();
    } else if (name == "COLCOUNT") {
        return Variant(view.ColCount());
    } else if (name == "ROWCOUNT") {
        return Variant(view.RowCount());
    } else if (name == "ISGRANDTOTALCOLUMN") {
        return Variant(view.IsGrandTotalColumn(caller.Params(0).AsInteger()));
    } else if (name == "ISGRANDTOTALROW") {
        return Variant(view.IsGrandTotalRow(caller.Params(0).AsInteger()));
    } else if (name == "ISTOTALCOLUMN") {
        return Variant(view.IsTotalColumn(caller.Params(0).AsInteger()));
    } else if (name == "ISTOTALROW") {
        return Variant(view.IsTotalRow(caller.Params(0).AsInteger()));
    } else if (name == "CELLFUNCTIONS.GET") {
        return Variant(static_cast<int>(view.CellFunctions(caller.Params(0).AsInteger())));
    } else if (name == "CELLFUNCTIONS.SET") {
        view.SetCellFunctions(caller.Params(0).AsInteger(), functionArg(caller.Params(1)));
    }
    return Variant(0);
}

class TCrossViewModule : public TksRTTIModule {
public:
    explicit TCrossViewModule(TksScript* script) : TksRTTIModule(script) {
        script->AddEnum("TpgwCrossFunction", "cfNone, cfSum, cfMin, cfMax, cfAvg, cfCount");

        const TksMethodCallback call = [](TObject* instance, const TClassInfo*,
                                          const std::string& name, TksMethodHelper& caller) {
            return callMethod(instance, name, caller);
        };
        const TksPropertyGetter get = [](TObject* instance, const TClassInfo*,
                                         const std::string& name) {
            if (name == "CLEARBEFOREPRINT") return Variant(crossView(instance).ClearBeforePrint);
            return Variant(0);
        };
        const TksPropertySetter set = [](TObject* instance, const TClassInfo*,
                                         const std::string& name, const Variant& value) {
            if (name == "CLEARBEFOREPRINT") crossView(instance).ClearBeforePrint = value.AsBool();
        };

        if (TksClassVariable* c =
                script->AddClass(TpgwCustomCrossView::StaticClass(), "TpgwView")) {
            c->AddMember("procedure AddValue(Rows, Columns, Cells: array)", call);
            c->AddMember("procedure BeginMatrix", call);
            c->AddMember("function ColCount: Integer", call);
            c->AddMember("function RowCount: Integer", call);
            c->AddMember("function IsGrandTotalColumn(Index: Integer): Boolean", call);
            c->AddMember("function IsGrandTotalRow(Index: Integer): Boolean", call);
            c->AddMember("function IsTotalColumn(Index: Integer): Boolean", call);
            c->AddMember("function IsTotalRow(Index: Integer): Boolean", call);
            c->AddProperty("ClearBeforePrint", "Boolean", get, set);
            c->AddIndexedProperty("CellFunctions", "Integer", "TpgwCrossFunction", call, false);
        }
        script->AddClass(TpgwCrossView::StaticClass(), "TpgwCustomCrossView");
        script->AddClass(TpgwDBCrossView::StaticClass(), "TpgwCustomCrossView");
    }
};

} // namespace

void RegisterCrossViewBinding() {
    ksRegisterHostModule(kModuleName, [](TksScript* script) {
        return std::unique_ptr<TksRTTIModule>(new TCrossViewModule(script));
    });
}

void UnregisterCrossViewBinding() {
    ksUnregisterHostModule(kModuleName);
}
