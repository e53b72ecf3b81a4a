#pragma once
// TParam and TParams: the named parameters of a query (":name" in its SQL text), and the
// parser that finds them.

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/collection.h"
#include "platform/core/variant.h"
#include "platform/data/field.h"

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam : public TCollectionItem {
    LUMETRA_CLASS(TParam, TCollectionItem)
public:
    explicit TParam(TCollection* collection);
    static void RegisterProperties(TClassBuilder<TParam>& b);

    const std::string& Name() const { return name_; }
    void SetName(std::string value) { name_ = std::move(value); }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType value) { dataType_ = value; }
    TParamType ParamType() const { return paramType_; }
    void SetParamType(TParamType value) { paramType_ = value; }
    // Setting a value marks the parameter bound.
    const Variant& Value() const { return value_; }
    void SetValue(const Variant& value);
    bool Bound() const { return bound_; }
    void SetBound(bool value) { bound_ = value; }
    bool IsNull() const { return value_.IsNull() || value_.IsEmpty(); }
    void Clear();

    void SetAsString(const std::string& v) { SetTyped(Variant(v), ftWideString); }
    void SetAsInteger(int v) { SetTyped(Variant(v), ftInteger); }
    void SetAsFloat(double v) { SetTyped(Variant(v), ftFloat); }
    void SetAsBoolean(bool v) { SetTyped(Variant(v), ftBoolean); }
    void SetAsDateTime(TDateTime v) { SetTyped(Variant::FromDate(v), ftDateTime); }
    std::string AsString() const { return VarToStr(value_); }

    std::string DisplayName() const override { return name_; }
    void Assign(const TPersistent* source) override;

private:
    void SetTyped(const Variant& v, TFieldType type);
    std::string name_;
    TFieldType dataType_ = ftUnknown;
    TParamType paramType_ = ptInput;
    Variant value_;
    bool bound_ = false;
};

class TParams : public TCollection {
    LUMETRA_CLASS(TParams, TCollection)
public:
    explicit TParams(TPersistent* owner = nullptr);
    TParams(const TClassInfo& itemClass, TPersistent* owner);

    TParam* Items(int index) const { return static_cast<TParam*>(TCollection::Items(index)); }
    TParam* AddParameter() { return static_cast<TParam*>(Add()); }
    // Case-insensitive; null when absent.
    TParam* FindParam(std::string_view name) const;
    // Raises EDatabaseError "Parameter 'x' not found".
    TParam* ParamByName(std::string_view name) const;

    // Rebuilds the list from the SQL text: one parameter per distinct name, in order of first
    // appearance; parameters that stay keep their type and value.
    void ParseSQL(std::string_view sql);
};

// The ADO spelling of the same lists.
class TParameter : public TParam {
    LUMETRA_CLASS(TParameter, TParam)
public:
    using TParam::TParam;
};

class TParameters : public TParams {
    LUMETRA_CLASS(TParameters, TParams)
public:
    explicit TParameters(TPersistent* owner = nullptr)
        : TParams(TParameter::StaticClass(), owner) {}
    TParameter* Items(int index) const {
        return static_cast<TParameter*>(TCollection::Items(index));
    }
};

// A statement with its ":name" markers replaced by "?", and the names in order (one entry per
// occurrence). Markers are not seen inside '...', "...", [...] and `...`; "::" is kept as it
// is, and ":" before a digit is no marker (it is part of a time such as 00:00:00).
struct TParsedSQL {
    std::string Text;
    std::vector<std::string> Names;
};
TParsedSQL ParseSQLParams(std::string_view sql);
