// Items of the program model: variables, parameters, script procedures, host members and
// host-class items, designators and set expressions.
#include "script/program.h"

#include <algorithm>
#include <any>
#include <cstdint>

#include "platform/core/component.h"
#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "script/expression.h"
#include "script/il_to_program.h"
#include "script/messages.h"
#include "script/runtime.h"
#include "script/script.h"
#include "script/tools.h"
#include "script/xml_document.h"

TObject* ksValueToObject(const Variant& value) { return VariantToObject<TObject>(value); }

Variant ksObjectToValue(TObject* object) { return ObjectToVariant<TObject>(object); }

// ---- TksCustomVariable ------------------------------------------------------------------------

TksCustomVariable::TksCustomVariable(std::string name, std::string typeName, TksVarType varType)
    : VarType(varType), TypeName(std::move(typeName)), name_(std::move(name)),
      upperName_(ksUpperCase(name_)) {}

TksCustomVariable::~TksCustomVariable() = default;

void TksCustomVariable::SetName(std::string name) {
    name_ = std::move(name);
    upperName_ = ksUpperCase(name_);
}

void TksCustomVariable::SetValue(const Variant& value) {
    if (!ReadOnly) Value = value;
}

Variant TksCustomVariable::GetValue() { return Value; }

void TksCustomVariable::AddParam(std::unique_ptr<TksParamItem> param) {
    params_.push_back(std::move(param));
}

int TksCustomVariable::RequiredParamCount() const {
    int n = 0;
    for (const auto& p : params_)
        if (!p->Optional) ++n;
    return n;
}

std::string TksCustomVariable::TypeText() const {
    switch (VarType) {
    case kvtInt: return "Integer";
    case kvtBool: return "Boolean";
    case kvtFloat: return "Extended";
    case kvtChar: return "Char";
    case kvtString: return "String";
    case kvtClass:
    case kvtEnum: return TypeName;
    case kvtArray: return "Array";
    default: return "Variant";
    }
}

// ---- variables --------------------------------------------------------------------------------

void TksVariable::SetValue(const Variant& value) {
    if (ReadOnly) return;
    switch (VarType) {
    case kvtInt:
        if (value.Kind() == VariantKind::Int32)
            Value = value;
        else
            Value = Variant(static_cast<int>(value.AsInteger()));
        break;
    case kvtBool:
        if (value.Kind() == VariantKind::Bool)
            Value = value;
        else
            Value = Variant(value.AsBool());
        break;
    case kvtFloat:
        if (value.Kind() == VariantKind::Double)
            Value = value;
        else
            Value = Variant(value.AsDouble());
        break;
    case kvtString:
        if (value.IsString())
            Value = value;
        else
            Value = Variant(value.AsString());
        break;
    default: Value = value;
    }
}

Variant TksVariable::GetValue() {
    if (OnGetVarValue) {
        Variant v = OnGetVarValue(Name(), VarType, Value);
        if (!v.IsNull()) return v;
    }
    return Value;
}

TksStringVariable::TksStringVariable(std::string name, std::string typeName, TksVarType varType)
    : TksVariable(std::move(name), std::move(typeName), varType) {
    Value = Variant(std::string());
}

void TksStringVariable::SetValue(const Variant& value) {
    if (value.IsString())
        Value = value;
    else
        Value = Variant(VarToStr(value));
}

Variant TksStringVariable::GetValue() {
    if (OnGetVarValue) {
        Variant v = OnGetVarValue(Name(), VarType, Value);
        if (!v.IsNull()) return Variant(VarToStr(v));
    }
    return Value;
}

TksParamItem::TksParamItem(std::string name, bool byReference, bool optional,
                           std::string typeName, TksVarType varType)
    : TksCustomVariable(std::move(name), std::move(typeName), varType), Optional(optional),
      ByReference(byReference) {}

// ---- procedures -------------------------------------------------------------------------------

TksProcVariable::TksProcVariable(std::string name, std::string typeName, TksVarType varType,
                                 bool isFunction, TksScript* parentScript)
    : TksCustomVariable(std::move(name), std::move(typeName), varType), IsFunction(isFunction),
      LocalProgram(std::make_unique<TksScript>(nullptr)) {
    ReadOnly = true;
    LocalProgram->Parent = parentScript;
    LocalProgram->LateBinding = parentScript ? parentScript->LateBinding : false;
    LocalProgram->SetSyntaxType(parentScript ? parentScript->SyntaxType() : "PascalScript");
    if (isFunction) {
        std::unique_ptr<TksCustomVariable> result;
        if (VarType == kvtString || VarType == kvtChar)
            result = std::make_unique<TksStringVariable>("Result", TypeName, VarType);
        else
            result = std::make_unique<TksVariable>("Result", TypeName, VarType);
        Linked = result.get();
        LocalProgram->AddItem("Result", std::move(result));
    }
}

TksProcVariable::~TksProcVariable() {
    for (const auto& p : params_) LocalProgram->Remove(p.get()).release();
    LocalProgram.reset();
    params_.clear();
}

void TksProcVariable::AddProcParam(std::unique_ptr<TksParamItem> param) {
    LocalProgram->AddItemRef(param->Name(), param.get());
    params_.push_back(std::move(param));
    localsKnown_ = false;
}

void TksProcVariable::SaveLocals() {
    if (!localsKnown_) {
        locals_.clear();
        for (int i = 0; i < LocalProgram->ItemCount(); ++i) {
            TObject* o = LocalProgram->ItemAt(i);
            if (dynamic_cast<TksVariable*>(o) || dynamic_cast<TksParamItem*>(o))
                locals_.push_back(static_cast<TksCustomVariable*>(o));
        }
        localsKnown_ = true;
    }
    const std::size_t n = locals_.size();
    if (savedTop_ + n > saved_.size()) saved_.resize((savedTop_ + n) * 2);
    for (std::size_t i = 0; i < n; ++i) saved_[savedTop_ + i] = locals_[i]->Value;
    savedTop_ += n;
}

void TksProcVariable::RestoreLocals() {
    const std::size_t n = locals_.size();
    savedTop_ -= n;
    for (std::size_t i = 0; i < n; ++i) locals_[i]->Value = std::move(saved_[savedTop_ + i]);
}

Variant TksProcVariable::GetValue() {
    if (ksStackHasRoom()) return Call();
    return ksCallWithStack([](void* self) { return static_cast<TksProcVariable*>(self)->Call(); },
                           this);
}

Variant TksProcVariable::Call() {
    TksScript* lp = LocalProgram.get();
    TksScript* main = lp->MainProgram();
    const bool wasActive = Active;
    TksScript* savedActive = main->ActiveProgram;
    Active = true;
    if (IsFunction) {
        if (!resultStartKnown_) {
            Linked->SetValue(Variant());
            resultStart_ = Linked->Value;
            resultStartKnown_ = true;
        }
        Linked->Value = resultStart_;
    }
    main->ActiveProgram = lp;
    lp->ExitRequested = lp->StopRequested = false;
    // A break or continue outside a loop of an earlier call must not cut this one short.
    lp->BreakRequested = lp->ContinueRequested = false;
    lp->Running = true;
    struct Restore {
        TksProcVariable* self;
        TksScript* lp;
        TksScript* main;
        TksScript* savedActive;
        bool wasActive;
        ~Restore() {
            lp->ExitRequested = lp->StopRequested = lp->Running = false;
            lp->BreakRequested = lp->ContinueRequested = false;
            main->ActiveProgram = savedActive;
            self->Active = wasActive;
        }
    } restore{this, lp, main, savedActive, wasActive};
    lp->MainBlock->Execute();
    if (IsFunction) return Linked->GetValue();
    return Variant::Null();
}

// ---- host members -----------------------------------------------------------------------------

TObject* TksCustomHelper::ReceiverObject() const { return ksValueToObject(Receiver); }

namespace {

const TPropInfo* PublishedInfo(TObject* object, const std::string& name) {
    if (!object) return nullptr;
    return GetPropInfo(*object, name);
}

} // namespace

Variant TksPropertyHelper::GetValue() {
    Variant result = Variant::Null();
    TObject* object = ReceiverObject();
    if (Published && object) {
        const TPropInfo* info = PublishedInfo(object, Name());
        if (!info) throw EPropertyError("Property " + Name() + " does not exist");
        switch (info->Kind()) {
        case TTypeKind::tkChar:
        case TTypeKind::tkWChar:
            result = Variant(std::string(1, static_cast<char>(GetOrdProp(*object, *info))));
            break;
        case TTypeKind::tkFloat: result = Variant(GetFloatProp(*object, *info)); break;
        case TTypeKind::tkLString:
        case TTypeKind::tkWString: result = Variant(GetStrProp(*object, *info)); break;
        case TTypeKind::tkVariant: result = GetVariantProp(*object, *info); break;
        case TTypeKind::tkInteger:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet:
            result = Variant(static_cast<int>(GetOrdProp(*object, *info)));
            break;
        case TTypeKind::tkClass: result = ksObjectToValue(GetObjectProp(*object, *info)); break;
        default: break;
        }
    } else if (Getter) {
        result = Getter(object, HostClass, UpperName());
    }
    if (VarType == kvtBool && !result.IsNull() && result.Kind() != VariantKind::Bool)
        result = Variant(result.AsInt64() != 0);
    return result;
}

void TksPropertyHelper::SetValue(const Variant& value) {
    if (ReadOnly) return;
    TObject* object = ReceiverObject();
    if (Published) {
        if (!object) throw EInvalidObjectReference("Invalid object reference");
        const TPropInfo* info = PublishedInfo(object, Name());
        if (!info) throw EPropertyError("Property " + Name() + " does not exist");
        switch (info->Kind()) {
        case TTypeKind::tkChar:
        case TTypeKind::tkWChar: {
            std::string text = VarToStr(value);
            if (text.empty()) throw EConvertError("Cannot assign an empty text to a character");
            SetOrdProp(*object, *info, static_cast<unsigned char>(text[0]));
            break;
        }
        case TTypeKind::tkFloat: SetFloatProp(*object, *info, value.AsDouble()); break;
        case TTypeKind::tkLString:
        case TTypeKind::tkWString: SetStrProp(*object, *info, VarToStr(value)); break;
        case TTypeKind::tkVariant: SetVariantProp(*object, *info, value); break;
        case TTypeKind::tkSet:
            // A set constructor ([a, b]) arrives as the array of its element bits.
            if (value.IsArray() && VarArrayDimCount(value) == 1) {
                std::uint32_t bits = 0;
                for (int i = VarArrayLowBound(value, 1); i <= VarArrayHighBound(value, 1); ++i)
                    if (const Variant e = VarArrayGet(value, {i}); !e.IsNull())
                        bits |= static_cast<std::uint32_t>(e.AsInteger());
                SetOrdProp(*object, *info, static_cast<std::int64_t>(bits));
                break;
            }
            [[fallthrough]];
        case TTypeKind::tkInteger:
        case TTypeKind::tkEnumeration:
            if (VarType == kvtBool)
                SetOrdProp(*object, *info, value.AsBool() ? 1 : 0);
            else
                SetOrdProp(*object, *info, value.AsInteger());
            break;
        case TTypeKind::tkClass: SetObjectProp(*object, *info, ksValueToObject(value)); break;
        default: break;
        }
    } else if (Setter) {
        Setter(object, HostClass, UpperName(), value);
    }
}

TksMethodHelper::TksMethodHelper(std::string_view syntax, TksScript* script)
    : TksCustomHelper(std::string(), std::string(), kvtVariant), Syntax(syntax) {
    std::unique_ptr<TksCustomVariable> parsed = ParseMethodSyntax(syntax, script);
    SetName(parsed->Name());
    TypeName = parsed->TypeName;
    VarType = parsed->VarType;
    TakesSourceText = parsed->TakesSourceText;
    params_ = parsed->TakeParams();
    if (!params_.empty())
        ArgArray = VarArrayCreate({0, static_cast<int>(params_.size()) - 1}, varVariant);
}

Variant TksMethodHelper::Params(int index) const {
    if (index == ParamCount()) return AssignedValue;
    if (index < 0 || index > ParamCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return Param(index)->Value;
}

void TksMethodHelper::SetParams(int index, const Variant& value) {
    if (index < 0 || index >= ParamCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    Param(index)->Value = value;
}

Variant TksMethodHelper::GetValue() {
    TObject* instance = ReceiverObject();
    const std::string name = IsIndexedProperty ? UpperName() + ".GET" : UpperName();
    Variant result;
    if (ArrayCallback) {
        for (int i = 0; i < ParamCount(); ++i) VarArrayPut(ArgArray, Param(i)->Value, {i});
        result = ArrayCallback(instance, HostClass, name, ArgArray);
        for (int i = 0; i < ParamCount(); ++i)
            if (Param(i)->ByReference) Param(i)->Value = VarArrayGet(ArgArray, {i});
    } else if (Callback) {
        result = Callback(instance, HostClass, name, *this);
    } else {
        result = Variant(0);
    }
    return result;
}

void TksMethodHelper::SetValue(const Variant& value) {
    if (!IsIndexedProperty || !Callback) return;
    AssignedValue = value;
    struct Reset {
        Variant& v;
        ~Reset() { v = Variant::Null(); }
    } reset{AssignedValue};
    Callback(ReceiverObject(), HostClass, UpperName() + ".SET", *this);
}

TksComponentHelper::TksComponentHelper(TComponent* component)
    : TksCustomHelper(component->Name(), component->ClassType().ClassName(), kvtClass),
      Component(component) {}

Variant TksComponentHelper::GetValue() { return ksObjectToValue(Component); }

TksEventHelper::TksEventHelper(std::string name, TksEventBridgeFactory bridgeClass)
    : TksCustomHelper(std::move(name), "String", kvtString), BridgeClass(std::move(bridgeClass)) {}

void TksEventHelper::SetValue(const Variant& value) {
    TObject* object = ReceiverObject();
    if (!object) throw EInvalidObjectReference("Invalid object reference");
    const std::string text = VarToStr(value);
    const TPropInfo* info = PublishedInfo(object, Name());
    if (!info || info->Kind() != TTypeKind::tkMethod)
        throw EPropertyError("Property " + Name() + " does not exist");
    if (text == "0") {
        SetMethodProp(*object, *info, std::any());
        return;
    }
    TksCustomVariable* item = CallerProgram ? CallerProgram->Find(text) : nullptr;
    auto* proc = dynamic_cast<TksProcVariable*>(item);
    if (!proc || !BridgeClass) throw Exception(ksMessages().SEventError);
    std::unique_ptr<TksCustomEvent> bridge = BridgeClass(object, proc);
    TksCustomEvent* raw = bridge.get();
    CallerProgram->AddItem("", std::move(bridge));
    raw->InstallHandler(info->Name());
}

// ---- class items ------------------------------------------------------------------------------

TksClassVariable::TksClassVariable(const TClassInfo& classRef, std::string ancestorName,
                                   TksScript* script)
    : TksCustomVariable(classRef.ClassName(), classRef.ClassName(), kvtClass),
      AncestorName(std::move(ancestorName)), HostClass(&classRef), Script(script) {
    AddParam(std::make_unique<TksParamItem>("", false, true, "Variant", kvtVariant));
    AddPublishedProperties();
}

void TksClassVariable::AddPublishedProperties() {
    for (const TPropInfo* info : HostClass->Properties()) {
        TksVarType type = kvtInt;
        std::string typeName = info->PropType().Name();
        switch (info->Kind()) {
        case TTypeKind::tkMethod: continue;
        case TTypeKind::tkChar:
        case TTypeKind::tkWChar: type = kvtChar; break;
        case TTypeKind::tkEnumeration:
            type = (ksCompareNames(typeName, "Boolean") == 0 || ksCompareNames(typeName, "bool") == 0)
                       ? kvtBool
                       : kvtEnum;
            break;
        case TTypeKind::tkFloat: type = kvtFloat; break;
        case TTypeKind::tkLString:
        case TTypeKind::tkWString: type = kvtString; break;
        case TTypeKind::tkSet: type = kvtEnum; break;
        case TTypeKind::tkClass:
            type = kvtClass;
            if (info->PropType().ClassType()) typeName = info->PropType().ClassType()->ClassName();
            break;
        case TTypeKind::tkVariant: type = kvtVariant; break;
        default: type = kvtInt; break;
        }
        auto helper = std::make_unique<TksPropertyHelper>(info->Name(), typeName, type);
        helper->Published = true;
        helper->HostClass = HostClass;
        helper->ReadOnly = !info->IsWritable();
        Members.push_back(std::move(helper));
    }
}

Variant TksClassVariable::GetValue() {
    // A type cast gives its argument; the class name alone stands for the class, whose
    // constructor member creates the object.
    Variant result = Param(0)->Value;
    Param(0)->Value = Variant::Null();
    return result;
}

TksMethodHelper* TksClassVariable::AddMember(std::string_view syntax, TksMethodCallback callback) {
    auto helper = std::make_unique<TksMethodHelper>(syntax, Script);
    helper->Callback = std::move(callback);
    helper->HostClass = HostClass;
    TksMethodHelper* raw = helper.get();
    Members.push_back(std::move(helper));
    return raw;
}

TksMethodHelper* TksClassVariable::AddConstructor(std::string_view syntax,
                                                  TksMethodCallback callback) {
    std::string text(syntax);
    std::size_t start = text.find_first_not_of(" \t");
    std::size_t end = text.find_first_of(" \t(;", start);
    text = "function" + text.substr(end == std::string::npos ? text.size() : end) + ": Constructor";
    TksMethodHelper* m = AddMember(text, std::move(callback));
    m->VarType = kvtConstructor;
    return m;
}

TksEventHelper* TksClassVariable::AddEvent(std::string name, TksEventBridgeFactory bridgeClass) {
    auto helper = std::make_unique<TksEventHelper>(std::move(name), std::move(bridgeClass));
    helper->HostClass = HostClass;
    TksEventHelper* raw = helper.get();
    Members.push_back(std::move(helper));
    return raw;
}

TksPropertyHelper* TksClassVariable::AddProperty(std::string name, std::string_view typeName,
                                                 TksPropertyGetter getter,
                                                 TksPropertySetter setter) {
    auto helper = std::make_unique<TksPropertyHelper>(std::move(name), std::string(typeName),
                                                      ItemVarType(typeName, Script));
    helper->HostClass = HostClass;
    helper->Getter = std::move(getter);
    helper->ReadOnly = !setter;
    helper->Setter = std::move(setter);
    TksPropertyHelper* raw = helper.get();
    Members.push_back(std::move(helper));
    return raw;
}

TksMethodHelper* TksClassVariable::AddIndexedProperty(std::string_view name,
                                                      std::string_view paramTypes,
                                                      std::string_view typeName,
                                                      TksMethodCallback callback, bool readOnly) {
    std::string list;
    int i = 0;
    std::size_t pos = 0;
    while (pos <= paramTypes.size()) {
        std::size_t comma = paramTypes.find(',', pos);
        if (comma == std::string_view::npos) comma = paramTypes.size();
        std::string_view type = paramTypes.substr(pos, comma - pos);
        while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
        while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
        if (!type.empty()) {
            if (!list.empty()) list += "; ";
            list += "p" + std::to_string(i++) + ": " + std::string(type);
        }
        pos = comma + 1;
    }
    std::string syntax = "function " + std::string(name) + "(" + list + "): " + std::string(typeName);
    TksMethodHelper* m = AddMember(syntax, std::move(callback));
    m->ReadOnly = readOnly;
    m->IsIndexedProperty = true;
    return m;
}

TksMethodHelper* TksClassVariable::AddDefaultIndexedProperty(std::string_view name,
                                                             std::string_view paramTypes,
                                                             std::string_view typeName,
                                                             TksMethodCallback callback,
                                                             bool readOnly) {
    TksMethodHelper* m = AddIndexedProperty(name, paramTypes, typeName, std::move(callback), readOnly);
    DefaultProperty = m;
    return m;
}

void TksClassVariable::AddChildComponent(TComponent* component) {
    auto helper = std::make_unique<TksComponentHelper>(component);
    helper->HostClass = HostClass;
    Members.push_back(std::move(helper));
}

TksCustomHelper* TksClassVariable::FindMember(std::string_view name) const {
    const TksClassVariable* cls = this;
    for (int depth = 0; cls && depth < 64; ++depth) {
        for (const auto& m : cls->Members)
            if (ksCompareNames(m->Name(), name) == 0) return m.get();
        if (cls->AncestorName.empty() || !cls->Script) break;
        const TksClassVariable* next = cls->Script->FindClass(cls->AncestorName);
        if (next == cls) break;
        cls = next;
    }
    return nullptr;
}

// ---- designators ------------------------------------------------------------------------------

TksDesignatorItem::TksDesignatorItem() = default;
TksDesignatorItem::~TksDesignatorItem() = default;
TksDesignatorItem::TksDesignatorItem(TksDesignatorItem&&) noexcept = default;
TksDesignatorItem& TksDesignatorItem::operator=(TksDesignatorItem&&) noexcept = default;

TksDesignator::TksDesignator(TksScript* script)
    : TksCustomVariable(std::string(), std::string(), kvtVariant), Script(script) {
    if (script) script->LateBinding = script->MainProgram()->LateBinding;
}

TksDesignator::~TksDesignator() = default;

void TksDesignator::Classify() {
    if (Steps.empty()) return;
    using K = TksDesignatorItem::TargetKind;
    const TksCustomVariable* before = nullptr;
    for (TksDesignatorItem& step : Steps) {
        TksCustomVariable* t = step.Target;
        if (dynamic_cast<TksDesignator*>(t))
            step.Kind = K::Designator;
        else if (dynamic_cast<TksProcVariable*>(t))
            step.Kind = K::Proc;
        else if (dynamic_cast<TksMethodHelper*>(t))
            step.Kind = K::Method;
        else if (dynamic_cast<TksCustomHelper*>(t))
            step.Kind = K::Helper;
        else
            step.Kind = K::Plain;
        auto* cls = dynamic_cast<const TksClassVariable*>(before);
        step.ConstructClass = cls ? cls->HostClass : nullptr;
        before = t;
    }
    TksCustomVariable* last = Steps.back().Target;
    VarType = last->VarType;
    TypeName = last->TypeName;
    if (VarType == kvtConstructor) {
        VarType = kvtClass;
        TypeName = Steps.size() > 1 ? Steps[Steps.size() - 2].Target->TypeName : last->TypeName;
    }
    ReadOnly = last->ReadOnly;
    Shape = 0;
    Linked = nullptr;
    TksCustomVariable* first = Steps.front().Target;
    const bool firstIsVar =
        dynamic_cast<TksVariable*>(first) != nullptr || dynamic_cast<TksParamItem*>(first) != nullptr;
    if (Steps.size() == 1 && firstIsVar && Steps[0].Args.empty()) {
        Shape = 1;
        Linked = first;
    } else if (Steps.size() == 2 && Steps[0].Args.empty() &&
               dynamic_cast<TksStringVariable*>(first) &&
               dynamic_cast<TksStringHelper*>(Steps[1].Target) && Steps[1].Args.size() == 1) {
        Shape = 2;
        Linked = first;
    } else if (Steps.size() == 2 && Steps[0].Args.empty() && firstIsVar &&
               first->VarType == kvtArray && Steps[1].Target == first->Linked) {
        Shape = 3;
        Linked = first;
    }
}

void TksDesignator::Swap(TksDesignator& other) {
    std::swap(Steps, other.Steps);
    std::swap(Shape, other.Shape);
    std::swap(Linked, other.Linked);
    std::swap(VarType, other.VarType);
    std::swap(TypeName, other.TypeName);
    std::swap(ReadOnly, other.ReadOnly);
}

void TksDesignator::ResolvePendingIL() {
    std::unique_ptr<TksXMLItem> il = std::move(PendingIL);
    std::unique_ptr<TksDesignator> fresh = TksProgramBuilder::BuildRuntimeDesignator(*Script, *il);
    Swap(*fresh);
}

namespace {

// Argument values of one call: on the stack for the usual few, else on the heap.
class ArgBuffer {
public:
    explicit ArgBuffer(int capacity) {
        if (capacity > kInline) {
            heap_.reserve(static_cast<std::size_t>(capacity));
        }
    }
    ~ArgBuffer() {
        if (heap_.capacity() == 0)
            for (int i = 0; i < count_; ++i) Slot(i)->~Variant();
    }
    ArgBuffer(const ArgBuffer&) = delete;
    ArgBuffer& operator=(const ArgBuffer&) = delete;
    void Push(Variant&& v) {
        if (heap_.capacity() != 0)
            heap_.push_back(std::move(v));
        else
            new (Slot(count_)) Variant(std::move(v));
        ++count_;
    }
    const Variant& operator[](int i) { return heap_.capacity() != 0 ? heap_[static_cast<std::size_t>(i)] : *Slot(i); }

private:
    static constexpr int kInline = 4;
    Variant* Slot(int i) { return reinterpret_cast<Variant*>(storage_) + i; }
    alignas(Variant) unsigned char storage_[kInline * sizeof(Variant)];
    std::vector<Variant> heap_;
    int count_ = 0;
};

// Copies the by-reference parameters back into the caller's arguments. A recursive call's
// locals are restored first, so that the caller's own variable (which may be one of those
// locals, handed on as a var argument) receives the value and keeps it.
void WriteBack(TksDesignatorItem& step, TksCustomVariable* target, TksProcVariable* recursive) {
    struct Restore {
        TksProcVariable* proc;
        void Now() {
            if (proc) proc->RestoreLocals();
            proc = nullptr;
        }
        ~Restore() { Now(); }
    } restore{recursive};
    const int n = std::min(target->ParamCount(), static_cast<int>(step.Args.size()));
    int byRef = 0;
    for (int a = 0; a < n; ++a)
        if (target->Param(a)->ByReference) ++byRef;
    if (byRef == 0) return;
    ArgBuffer values(n);
    for (int a = 0; a < n; ++a) values.Push(Variant(target->Param(a)->Value));
    restore.Now();
    for (int a = 0; a < n; ++a)
        if (target->Param(a)->ByReference) step.Args[static_cast<std::size_t>(a)]->SetValue(values[a]);
}

} // namespace

Variant TksDesignator::EvaluateSteps(const Variant* assigned) {
    if (PendingIL) ResolvePendingIL();
    Variant current = Variant::Null();
    TksCustomVariable* previous = nullptr;
    const std::size_t count = Steps.size();
    for (std::size_t i = 0; i < count; ++i) {
        TksDesignatorItem& step = Steps[i];
        TksCustomVariable* target = step.Target;
        const bool last = i + 1 == count;
        using K = TksDesignatorItem::TargetKind;
        const K kind = step.Kind;
        if (kind == K::Designator) {
            current = target->GetValue();
            previous = target;
            continue;
        }
        TksProcVariable* recursive = nullptr;
        if (kind == K::Proc && static_cast<TksProcVariable*>(target)->Active) {
            recursive = static_cast<TksProcVariable*>(target);
            recursive->SaveLocals();
        }
        struct Restore {
            TksProcVariable* proc;
            ~Restore() {
                if (proc) proc->RestoreLocals();
            }
        } restore{recursive};
        const int paramCount = target->ParamCount();
        if (paramCount > 0) {
            // Arguments first, so a nested use of the same member is safe.
            const int n = std::min(paramCount, static_cast<int>(step.Args.size()));
            ArgBuffer args(n);
            for (int a = 0; a < n; ++a) {
                TksExpression* e = step.Args[static_cast<std::size_t>(a)].get();
                args.Push(target->TakesSourceText ? Variant(e->SourceText) : e->GetValue());
            }
            for (int a = 0; a < n; ++a) target->Param(a)->SetValue(args[a]);
        }
        if (kind == K::Helper || kind == K::Method) {
            auto* helper = static_cast<TksCustomHelper*>(target);
            helper->ReceiverItem = previous;
            helper->Receiver = current;
            helper->CallerProgram = Script;
            if (kind == K::Method) static_cast<TksMethodHelper*>(helper)->ConstructClass = step.ConstructClass;
        }
        previous = target;
        if (assigned && last) {
            target->SetValue(*assigned);
        } else {
            target->ResultNeeded = !last || ResultNeeded;
            current = target->GetValue();
        }
        if (paramCount > 0) {
            TksProcVariable* rec = restore.proc;
            restore.proc = nullptr;
            WriteBack(step, target, rec);
        }
    }
    return current;
}

Variant TksDesignator::GetValue() { return EvaluateSteps(nullptr); }

Variant TksProcCallDesignator::GetValue() {
    TksDesignatorItem& step = Steps.front();
    auto* proc = static_cast<TksProcVariable*>(step.Target);
    TksProcVariable* recursive = nullptr;
    if (proc->Active) {
        recursive = proc;
        proc->SaveLocals();
    }
    struct Restore {
        TksProcVariable* proc;
        ~Restore() {
            if (proc) proc->RestoreLocals();
        }
    } restore{recursive};
    const int n = static_cast<int>(step.Args.size());
    if (n > 0) {
        ArgBuffer args(n);
        for (int a = 0; a < n; ++a) args.Push(step.Args[static_cast<std::size_t>(a)]->GetValue());
        for (int a = 0; a < n; ++a) proc->Param(a)->SetValue(args[a]);
    }
    proc->ResultNeeded = ResultNeeded;
    Variant result = proc->GetValue();
    if (n > 0) {
        TksProcVariable* rec = restore.proc;
        restore.proc = nullptr;
        WriteBack(step, proc, rec);
    }
    return result;
}

void TksDesignator::SetValue(const Variant& value) { EvaluateSteps(&value); }

Variant TksVariableDesignator::GetValue() { return Linked->GetValue(); }

void TksVariableDesignator::SetValue(const Variant& value) { Linked->SetValue(value); }

namespace {

// Byte range of the 1-based character index in UTF-8 text.
std::pair<std::size_t, std::size_t> CharRange(const std::string& text, std::int64_t index) {
    std::size_t pos = 0;
    std::int64_t n = 1;
    while (pos < text.size()) {
        std::size_t len = 1;
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        len = std::min(len, text.size() - pos);
        if (n == index) return {pos, len};
        pos += len;
        ++n;
    }
    throw ERangeError("String index out of range (" + std::to_string(index) + ")");
}

} // namespace

Variant ksCharAt(const std::string& text, std::int64_t index) {
    auto [pos, len] = CharRange(text, index);
    return Variant(text.substr(pos, len));
}

std::string ksPutCharAt(std::string text, std::int64_t index, const Variant& value) {
    std::string put = VarToStr(value);
    if (put.empty()) throw EConvertError("Cannot assign an empty text to a character");
    auto [pos, len] = CharRange(text, index);
    auto [p0, l0] = CharRange(put, 1);
    text.replace(pos, len, put.substr(p0, l0));
    return text;
}

Variant TksStringDesignator::GetValue() {
    const Variant index = Steps[1].Args[0]->GetValue();
    const Variant text = Linked->GetValue();
    return ksCharAt(text.IsString() ? text.StringValue() : VarToStr(text), index.AsInt64());
}

void TksStringDesignator::SetValue(const Variant& value) {
    const Variant index = Steps[1].Args[0]->GetValue();
    Variant text = Linked->Value;
    std::string s = text.IsString() ? text.StringValue() : VarToStr(text);
    Linked->Value = Variant(ksPutCharAt(std::move(s), index.AsInt64(), value));
}

Variant TksArrayDesignator::GetValue() {
    const auto& args = Steps[1].Args;
    int idx[3];
    const int n = static_cast<int>(std::min<std::size_t>(args.size(), 3));
    for (int i = 0; i < n; ++i) idx[i] = args[static_cast<std::size_t>(i)]->GetValue().AsInteger();
    return TksArrayHelper::Get(Linked->Value, idx, static_cast<int>(args.size()));
}

void TksArrayDesignator::SetValue(const Variant& value) {
    const auto& args = Steps[1].Args;
    int idx[3];
    const int n = static_cast<int>(std::min<std::size_t>(args.size(), 3));
    for (int i = 0; i < n; ++i) idx[i] = args[static_cast<std::size_t>(i)]->GetValue().AsInteger();
    TksArrayHelper::Put(Linked->Value, value, idx, static_cast<int>(args.size()));
}

// ---- set expressions --------------------------------------------------------------------------

TksSetExpression::TksSetExpression() : TksCustomVariable(std::string(), std::string(), kvtVariant) {}

TksSetExpression::~TksSetExpression() = default;

Variant TksSetExpression::GetValue() {
    std::vector<Variant> values;
    values.reserve(Elements.size());
    for (const auto& e : Elements) values.push_back(e ? e->GetValue() : Variant::Null());
    return VarArrayOf(std::span<const Variant>(values));
}

bool TksSetExpression::Contains(const Variant& value) {
    const std::size_t count = Elements.size();
    std::size_t i = 0;
    while (i < count) {
        if (i + 2 < count && !Elements[i + 1]) {
            const Variant low = Elements[i]->GetValue();
            const Variant high = Elements[i + 2]->GetValue();
            if (VarCompare(value, low) >= 0 && VarCompare(value, high) <= 0) return true;
            i += 3;
        } else {
            if (Elements[i] && VarCompare(value, Elements[i]->GetValue()) == 0) return true;
            i += 1;
        }
    }
    return false;
}
