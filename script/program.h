#pragma once
// The program model of the script engine: the items a script's name table and a compiled program
// consist of (variables, parameters, script procedures, host members, host-class items,
// designators and set expressions), and the host callback types every binding module uses.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/variant.h"

class TClassInfo;
class TComponent;
class TksScript;
class TksExpression;
class TksMethodHelper;
class TksProcVariable;
class TksXMLItem;

// Script calls nested deeper than the interpreter follows ("Stack overflow").
LUMETRA_EXCEPTION(EStackOverflow, Exception);

enum TksVarType : std::uint8_t {
    kvtInt,
    kvtBool,
    kvtFloat,
    kvtChar,
    kvtString,
    kvtClass,
    kvtArray,
    kvtVariant,
    kvtEnum,
    kvtConstructor,
};

// Host callbacks. Instance is the object acted on (nullptr for global functions and for a
// constructor, which creates its object); ClassType the class the member was registered on;
// the name is upper case ("ITEMS.GET" for an indexed property read).
using TksMethodCallback = std::function<Variant(TObject* instance, const TClassInfo* classType,
                                                const std::string& methodName,
                                                TksMethodHelper& caller)>;
using TksArrayMethodCallback = std::function<Variant(TObject* instance,
                                                     const TClassInfo* classType,
                                                     const std::string& methodName,
                                                     Variant& params)>;
using TksPropertyGetter = std::function<Variant(TObject* instance, const TClassInfo* classType,
                                                const std::string& propName)>;
using TksPropertySetter = std::function<void(TObject* instance, const TClassInfo* classType,
                                             const std::string& propName, const Variant& value)>;

class TksParamItem;

// Base of every named item. Public fields are the item's state; the designators and statements
// read them directly on the hot path.
class TksCustomVariable : public TObject {
public:
    TksCustomVariable(std::string name, std::string typeName, TksVarType varType);
    ~TksCustomVariable() override;
    TksCustomVariable(const TksCustomVariable&) = delete;
    TksCustomVariable& operator=(const TksCustomVariable&) = delete;

    virtual void SetValue(const Variant& value);
    virtual Variant GetValue();

    const std::string& Name() const { return name_; }
    const std::string& UpperName() const { return upperName_; }
    void SetName(std::string name);
    int ParamCount() const { return static_cast<int>(params_.size()); }
    TksParamItem* Param(int index) const { return params_[static_cast<std::size_t>(index)].get(); }
    void AddParam(std::unique_ptr<TksParamItem> param);
    std::vector<std::unique_ptr<TksParamItem>> TakeParams() { return std::move(params_); }
    int RequiredParamCount() const;
    // "Integer", "Boolean", "Extended", "Char", "String", the type name of classes and
    // enumerations, "Array", else "Variant".
    std::string TypeText() const;

    TksVarType VarType;
    std::string TypeName;
    Variant Value = Variant::Null();
    bool ReadOnly = false;
    bool TakesSourceText = false;
    bool ResultNeeded = true;
    TksCustomVariable* Linked = nullptr;
    std::string SourcePosition;
    std::string SourceUnitName;
    const void* OwnerTag = nullptr;

protected:
    std::string name_;
    std::string upperName_;
    std::vector<std::unique_ptr<TksParamItem>> params_;
};

using TksGetVariableValueEvent =
    std::function<Variant(const std::string& varName, TksVarType varType, const Variant& oldValue)>;

// A variable or constant; assignments convert to the declared type.
class TksVariable : public TksCustomVariable {
public:
    using TksCustomVariable::TksCustomVariable;
    void SetValue(const Variant& value) override;
    Variant GetValue() override;
    TksGetVariableValueEvent OnGetVarValue;
};

// A Char or String variable: always text, so characters can be changed in place.
class TksStringVariable : public TksVariable {
public:
    TksStringVariable(std::string name, std::string typeName, TksVarType varType);
    void SetValue(const Variant& value) override;
    Variant GetValue() override;
};

// A named type ("Integer", "TDateTime").
class TksTypeVariable : public TksCustomVariable {
public:
    using TksCustomVariable::TksCustomVariable;
};

class TksParamItem : public TksCustomVariable {
public:
    TksParamItem(std::string name, bool byReference, bool optional, std::string typeName,
                 TksVarType varType);
    bool Optional;
    bool ByReference;
    Variant DefaultValue = Variant::Null();
};

// A procedure or function of the script text; reading its value runs it.
class TksProcVariable : public TksCustomVariable {
public:
    TksProcVariable(std::string name, std::string typeName, TksVarType varType, bool isFunction,
                    TksScript* parentScript);
    ~TksProcVariable() override;
    Variant GetValue() override;

    bool IsFunction;
    bool Active = false;
    std::unique_ptr<TksScript> LocalProgram;

    // Values of the locals of an active call, kept while a recursive call runs.
    void SaveLocals();
    void RestoreLocals();
    // Registers a parameter in Params and in the local program.
    void AddProcParam(std::unique_ptr<TksParamItem> param);

private:
    Variant Call();
    // A stack of saved values that only grows; savedTop_ is its height.
    std::vector<Variant> saved_;
    std::size_t savedTop_ = 0;
    std::vector<TksCustomVariable*> locals_;
    bool localsKnown_ = false;
    // The Result value every call starts with: the empty value converted to the result type.
    Variant resultStart_;
    bool resultStartKnown_ = false;
};

// Base of host members: per-use state set by the designator that uses the member.
class TksCustomHelper : public TksCustomVariable {
public:
    using TksCustomVariable::TksCustomVariable;
    TksCustomVariable* ReceiverItem = nullptr;
    Variant Receiver;
    TksScript* CallerProgram = nullptr;
    const TClassInfo* HostClass = nullptr;
    // The object the receiver stands for; nullptr for Null, Empty and nil.
    TObject* ReceiverObject() const;
};

class TksPropertyHelper : public TksCustomHelper {
public:
    using TksCustomHelper::TksCustomHelper;
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
    bool Published = false;
    TksPropertyGetter Getter;
    TksPropertySetter Setter;
};

class TksMethodHelper : public TksCustomHelper {
public:
    // Parses the declaration ("function Copy(s: String; from, count: Integer): String").
    TksMethodHelper(std::string_view syntax, TksScript* script);
    Variant GetValue() override;
    void SetValue(const Variant& value) override;

    // Argument Index; Index = ParamCount() is the value an indexed property is assigned.
    Variant Params(int index) const;
    // Returns a var parameter's new value.
    void SetParams(int index, const Variant& value);

    std::string Syntax;
    TksMethodCallback Callback;
    TksArrayMethodCallback ArrayCallback;
    Variant ArgArray;
    bool IsIndexedProperty = false;
    Variant AssignedValue = Variant::Null();
    std::string Category;
    std::string Description;
    // For a constructor: the class named in the script (may descend from HostClass).
    const TClassInfo* ConstructClass = nullptr;
};

class TksComponentHelper : public TksCustomHelper {
public:
    explicit TksComponentHelper(TComponent* component);
    Variant GetValue() override;
    void SetValue(const Variant&) override {}
    TComponent* Component;
};

class TksCustomEvent;
using TksEventBridgeFactory =
    std::function<std::unique_ptr<TksCustomEvent>(TObject* instance, TksProcVariable* handler)>;

// An event property: scripts assign the name of a script procedure (or 0 for none).
class TksEventHelper : public TksCustomHelper {
public:
    TksEventHelper(std::string name, TksEventBridgeFactory bridgeClass);
    Variant GetValue() override { return Variant(std::string()); }
    void SetValue(const Variant& value) override;
    TksEventBridgeFactory BridgeClass;
};

// A registered host class and its members.
class TksClassVariable : public TksCustomVariable {
public:
    TksClassVariable(const TClassInfo& classRef, std::string ancestorName, TksScript* script);
    Variant GetValue() override;

    TksMethodHelper* AddConstructor(std::string_view syntax, TksMethodCallback callback);
    TksMethodHelper* AddMember(std::string_view syntax, TksMethodCallback callback);
    TksEventHelper* AddEvent(std::string name, TksEventBridgeFactory bridgeClass);
    TksPropertyHelper* AddProperty(std::string name, std::string_view typeName,
                                   TksPropertyGetter getter, TksPropertySetter setter = {});
    TksMethodHelper* AddIndexedProperty(std::string_view name, std::string_view paramTypes,
                                        std::string_view typeName, TksMethodCallback callback,
                                        bool readOnly);
    TksMethodHelper* AddDefaultIndexedProperty(std::string_view name, std::string_view paramTypes,
                                               std::string_view typeName,
                                               TksMethodCallback callback, bool readOnly);
    void AddChildComponent(TComponent* component);
    // Own members first, then the ancestors'; nullptr when none.
    TksCustomHelper* FindMember(std::string_view name) const;

    std::vector<std::unique_ptr<TksCustomHelper>> Members;
    std::string AncestorName;
    const TClassInfo* HostClass;
    TksCustomHelper* DefaultProperty = nullptr;
    TksScript* Script;

private:
    void AddPublishedProperties();
};

// One step of a designator: a target and its argument expressions.
struct TksDesignatorItem {
    TksDesignatorItem();
    ~TksDesignatorItem();
    TksDesignatorItem(TksDesignatorItem&&) noexcept;
    TksDesignatorItem& operator=(TksDesignatorItem&&) noexcept;

    TksCustomVariable* Target = nullptr;
    bool Indexed = false;
    std::string SourcePosition;
    std::vector<std::unique_ptr<TksExpression>> Args;
    // A target made for this step only (a child component found at compile time).
    std::unique_ptr<TksCustomVariable> OwnedTarget;

    // What Target is, found once by Classify so evaluation needs no type tests.
    enum class TargetKind : std::uint8_t { Plain, Designator, Proc, Helper, Method };
    TargetKind Kind = TargetKind::Plain;
    // For a constructor step after a class name: the class named in the script.
    const TClassInfo* ConstructClass = nullptr;
};

// The compiled form of a use of a name: steps of names, members, indices and calls.
class TksDesignator : public TksCustomVariable {
public:
    explicit TksDesignator(TksScript* script);
    ~TksDesignator() override;
    Variant GetValue() override;
    void SetValue(const Variant& value) override;

    // Type, type name and read-only flag from the steps; the shape.
    void Classify();
    void Swap(TksDesignator& other);
    void ResolvePendingIL();

    TksScript* Script;
    std::vector<TksDesignatorItem> Steps;
    int Shape = 0;
    std::unique_ptr<TksXMLItem> PendingIL;

protected:
    Variant EvaluateSteps(const Variant* assigned);
};

// Shape 1: a plain variable.
class TksVariableDesignator : public TksDesignator {
public:
    using TksDesignator::TksDesignator;
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
};

// Shape 2: one character of a string variable.
class TksStringDesignator : public TksDesignator {
public:
    using TksDesignator::TksDesignator;
    Variant GetValue() override;
    void SetValue(const Variant& value) override;
};

// Shape 3: one element of an array variable.
class TksArrayDesignator : public TksDesignator {
public:
    using TksDesignator::TksDesignator;
    Variant GetValue() override;
    void SetValue(const Variant& value) override;

private:
    void PrepareHelper();
};

// A call of a script procedure or function without further steps: the common call, taken the
// short way.
class TksProcCallDesignator : public TksDesignator {
public:
    using TksDesignator::TksDesignator;
    Variant GetValue() override;
};

// A set constructor: element expressions, a null entry marking low..high.
class TksSetExpression : public TksCustomVariable {
public:
    TksSetExpression();
    ~TksSetExpression() override;
    Variant GetValue() override;
    bool Contains(const Variant& value);
    std::vector<std::unique_ptr<TksExpression>> Elements;
};

// The character at a 1-based index of UTF-8 text, and the text with that character replaced
// by the first character of the value's text; ERangeError outside the text.
Variant ksCharAt(const std::string& text, std::int64_t index);
std::string ksPutCharAt(std::string text, std::int64_t index, const Variant& value);

// A condition's value as a Boolean (the Variant conversion, with a short way for Booleans).
inline bool ksTruth(const Variant& v) {
    return v.Kind() == VariantKind::Bool ? v.BoolValue() : v.AsBool();
}

// The object a script value refers to (a checked handle), as its root class.
TObject* ksValueToObject(const Variant& value);
Variant ksObjectToValue(TObject* object);
