#pragma once
// TField and its definitions: the typed view of one column of a data set's current row.
// Values travel as Variants: Null for a null value, Int32/Int64 for integers, Double for
// floats, currency and decimals, Date for date-time columns, Bool, and UTF-8 strings (blobs as
// byte strings).

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/variant.h"

class TDataSet;

enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd
};

// The enumeration type of TFieldType for published properties and scripts.
const TTypeInfo& TypeInfoFieldType();
const char* FieldTypeName(TFieldType type);

LUMETRA_EXCEPTION(EDatabaseError, Exception);

bool IsBlobFieldType(TFieldType type);
bool IsStringFieldType(TFieldType type); // string, fixed char, wide string, memo

class TField;
// OnGetText: the handler may replace the text shown (displayText) or edited.
using TFieldGetTextEvent = std::function<void(TField& sender, std::string& text, bool displayText)>;

class TField : public TComponent {
    LUMETRA_CLASS(TField, TComponent)
public:
    TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size, int fieldNo);

    TDataSet* DataSet() const { return dataSet_; }
    const std::string& FieldName() const { return fieldName_; }
    std::string DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(std::string value) { displayLabel_ = std::move(value); }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    // 1-based position among the data set's columns.
    int FieldNo() const { return fieldNo_; }
    bool IsBlob() const { return IsBlobFieldType(dataType_); }

    // The value of the current row; Null on an empty or closed data set.
    Variant Value() const;
    Variant AsVariant() const { return Value(); }
    bool IsNull() const { return Value().IsNull(); }
    // Conversions as the class library does them: a null value gives 0, "" or False.
    std::string AsString() const;
    std::int32_t AsInteger() const;
    std::int64_t AsLargeInt() const;
    double AsFloat() const;
    double AsCurrency() const { return AsFloat(); }
    TDateTime AsDateTime() const;
    bool AsBoolean() const;

    // Text for showing: OnGetText when set, else the type's own form (empty for null).
    std::string DisplayText() const;
    // DisplayFormat: a FormatFloat picture for numbers, a FormatDateTime one for dates.
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(std::string value) { displayFormat_ = std::move(value); }
    // Characters a grid column needs: the set value, else a default by type.
    int DisplayWidth() const;
    void SetDisplayWidth(int value) { displayWidth_ = value; }

    TFieldGetTextEvent OnGetText;

    static void RegisterProperties(TClassBuilder<TField>& b);

private:
    friend class TDataSet;
    std::string DefaultText() const;

    TDataSet* dataSet_;
    std::string fieldName_;
    std::string displayLabel_;
    std::string displayFormat_;
    TFieldType dataType_;
    int size_;
    int fieldNo_;
    int displayWidth_ = 0;
};

// The data set's fields, in column order. Owns them.
class TFields {
public:
    int Count() const { return static_cast<int>(list_.size()); }
    TField* Fields(int index) const; // EListError outside the range
    TField* operator[](int index) const { return Fields(index); }
    // Case-insensitive; null when absent.
    TField* FindField(std::string_view name) const;
    void Clear() { list_.clear(); }
    void Add(std::unique_ptr<TField> field) { list_.push_back(std::move(field)); }
    auto begin() const { return list_.begin(); }
    auto end() const { return list_.end(); }

private:
    std::vector<std::unique_ptr<TField>> list_;
};

class TFieldDef {
public:
    std::string Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    bool Required = false;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet* dataSet) : dataSet_(dataSet) {}
    int Count() const { return static_cast<int>(items_.size()); }
    const TFieldDef& Items(int index) const;
    // Case-insensitive; null when absent.
    const TFieldDef* Find(std::string_view name) const;
    int IndexOf(std::string_view name) const;
    void Add(const std::string& name, TFieldType dataType, int size = 0, bool required = false);
    void Clear();
    // The definitions describe the data set's current command; false after it changed.
    bool Updated() const { return updated_; }
    void SetUpdated(bool value) { updated_ = value; }
    // Reads the definitions from the data set's source without opening it.
    void Update();

private:
    TDataSet* dataSet_;
    std::vector<TFieldDef> items_;
    bool updated_ = false;
};
