// Array and string helpers, event bridges and the host module list.
#include "script/runtime.h"

#include <algorithm>

#include "script/script.h"

// ---- array helper -----------------------------------------------------------------------------

TksArrayHelper::TksArrayHelper(std::string name, std::string typeName, TksVarType varType,
                               int dimensions)
    : TksCustomHelper(std::move(name), std::move(typeName), varType) {
    if (dimensions < 0) {
        for (int i = 0; i < 3; ++i) {
            auto p = std::make_unique<TksParamItem>("", false, i > 0, "Integer", kvtInt);
            if (i > 0) p->DefaultValue = Variant(0);
            AddParam(std::move(p));
        }
    } else {
        for (int i = 0; i < dimensions; ++i)
            AddParam(std::make_unique<TksParamItem>("", false, false, "Integer", kvtInt));
    }
}

Variant TksArrayHelper::Get(const Variant& array, const int* indices, int count) {
    const int dims = VarArrayDimCount(array);
    if (!array.IsArray()) throw EVariantNotAnArrayError("Variant is not an array");
    if (dims < 1 || dims > 3 || count < dims) return Variant::Null();
    return VarArrayGet(array, std::span<const int>(indices, static_cast<std::size_t>(dims)));
}

void TksArrayHelper::Put(Variant& array, const Variant& value, const int* indices, int count) {
    const int dims = VarArrayDimCount(array);
    if (!array.IsArray()) throw EVariantNotAnArrayError("Variant is not an array");
    if (dims < 1 || dims > 3 || count < dims) return;
    VarArrayPut(array, value, std::span<const int>(indices, static_cast<std::size_t>(dims)));
}

Variant TksArrayHelper::GetValue() {
    if (!ReceiverItem) return Variant::Null();
    int idx[3] = {0, 0, 0};
    const int n = std::min(ParamCount(), 3);
    const int dims = ReceiverItem->Value.IsArray() ? VarArrayDimCount(ReceiverItem->Value) : 0;
    for (int i = 0; i < n && i < std::max(dims, 1); ++i) idx[i] = Param(i)->Value.AsInteger();
    return Get(ReceiverItem->Value, idx, n);
}

void TksArrayHelper::SetValue(const Variant& value) {
    if (!ReceiverItem) return;
    int idx[3] = {0, 0, 0};
    const int n = std::min(ParamCount(), 3);
    const int dims = ReceiverItem->Value.IsArray() ? VarArrayDimCount(ReceiverItem->Value) : 0;
    for (int i = 0; i < n && i < std::max(dims, 1); ++i) idx[i] = Param(i)->Value.AsInteger();
    Put(ReceiverItem->Value, value, idx, n);
}

// ---- string helper ----------------------------------------------------------------------------

TksStringHelper::TksStringHelper() : TksCustomHelper("__StringHelper", "Char", kvtChar) {
    AddParam(std::make_unique<TksParamItem>("", false, false, "Integer", kvtInt));
}

Variant TksStringHelper::GetValue() {
    return ksCharAt(VarToStr(Receiver), Param(0)->Value.AsInt64());
}

void TksStringHelper::SetValue(const Variant& value) {
    std::string text = ksPutCharAt(VarToStr(Receiver), Param(0)->Value.AsInt64(), value);
    if (ReceiverItem) ReceiverItem->SetValue(Variant(std::move(text)));
}

// ---- event bridges ----------------------------------------------------------------------------

TksCustomEvent::~TksCustomEvent() { *self_ = nullptr; }

std::function<void(const std::vector<Variant>&)> TksCustomEvent::SafeCaller() {
    return [self = self_](const std::vector<Variant>& args) {
        if (*self) (*self)->CallHandler(args);
    };
}

void TksCustomEvent::CallHandler(const std::vector<Variant>& args) {
    if (!Handler || Handler->Active) return;
    for (int i = 0; i < Handler->ParamCount(); ++i)
        Handler->Param(i)->SetValue(static_cast<std::size_t>(i) < args.size()
                                        ? args[static_cast<std::size_t>(i)]
                                        : Variant::Null());
    Handler->GetValue();
}

// ---- host module list -------------------------------------------------------------------------

namespace {

struct ModuleListState {
    std::unique_ptr<std::vector<TksHostModuleEntry>> list;
    bool finalized = false;
};

ModuleListState& State() {
    static ModuleListState state;
    return state;
}

} // namespace

std::vector<TksHostModuleEntry>* HostModuleList() {
    ModuleListState& s = State();
    if (s.finalized) return nullptr;
    if (!s.list) s.list = std::make_unique<std::vector<TksHostModuleEntry>>();
    return s.list.get();
}

void ksRegisterHostModule(std::string name, TksRTTIModuleClass create, bool atFront) {
    std::vector<TksHostModuleEntry>* list = HostModuleList();
    if (!list) return;
    for (const TksHostModuleEntry& e : *list)
        if (e.Name == name) return;
    TksHostModuleEntry entry{std::move(name), std::move(create)};
    if (atFront)
        list->insert(list->begin(), std::move(entry));
    else
        list->push_back(std::move(entry));
}

void ksUnregisterHostModule(const std::string& name) {
    ModuleListState& s = State();
    if (!s.list) return;
    auto& l = *s.list;
    l.erase(std::remove_if(l.begin(), l.end(),
                           [&](const TksHostModuleEntry& e) { return e.Name == name; }),
            l.end());
}

void ksFinalizeHostModuleList() {
    ModuleListState& s = State();
    s.list.reset();
    s.finalized = true;
}
