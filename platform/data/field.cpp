#include "platform/data/field.h"

#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/data/data_set.h"

namespace {

const char* const kFieldTypeNames[] = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
    "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
    "ftTimeStamp",  "ftFMTBcd"};

} // namespace

const TTypeInfo& TypeInfoFieldType() {
    static const TTypeInfo& t =
        DefineEnumType("TFieldType", std::vector<std::string>(std::begin(kFieldTypeNames),
                                                              std::end(kFieldTypeNames)));
    return t;
}

const char* FieldTypeName(TFieldType type) {
    auto i = static_cast<std::size_t>(type);
    return i < std::size(kFieldTypeNames) ? kFieldTypeNames[i] : "ftUnknown";
}

bool IsBlobFieldType(TFieldType type) {
    switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
        return true;
    default:
        return false;
    }
}

bool IsStringFieldType(TFieldType type) {
    return type == ftString || type == ftFixedChar || type == ftWideString || type == ftMemo ||
           type == ftFmtMemo || type == ftGuid;
}

// ---- TField ------------------------------------------------------------------------------------

void TField::RegisterProperties(TClassBuilder<TField>& b) {
    b.Add("FieldName", &TField::FieldName, nullptr).Stored(false);
    b.Add("DataType", TypeInfoFieldType(), &TField::DataType, nullptr).Stored(false);
    b.Add("Size", &TField::Size, nullptr).Stored(false);
    b.Add("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel);
    b.Add("DisplayFormat", &TField::DisplayFormat, &TField::SetDisplayFormat);
    b.Add("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth).NoDefault();
}

TField::TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size, int fieldNo)
    : TComponent(nullptr), dataSet_(dataSet), fieldName_(std::move(fieldName)), dataType_(dataType),
      size_(size), fieldNo_(fieldNo) {}

Variant TField::Value() const {
    if (!dataSet_) return Variant::Null();
    return dataSet_->CurrentValue(fieldNo_ - 1);
}

std::string TField::AsString() const {
    Variant v = Value();
    if (v.IsNull()) return std::string();
    if (v.Kind() == VariantKind::Date) {
        if (dataType_ == ftDate) return DateToStr(v.DoubleValue());
        if (dataType_ == ftTime) return TimeToStr(v.DoubleValue());
        return DateTimeToStr(v.DoubleValue());
    }
    if (v.Kind() == VariantKind::Bool) return v.BoolValue() ? "True" : "False";
    return v.AsString();
}

std::int32_t TField::AsInteger() const {
    Variant v = Value();
    return v.IsNull() ? 0 : v.AsInteger();
}

std::int64_t TField::AsLargeInt() const {
    Variant v = Value();
    return v.IsNull() ? 0 : v.AsInt64();
}

double TField::AsFloat() const {
    Variant v = Value();
    return v.IsNull() ? 0.0 : v.AsDouble();
}

TDateTime TField::AsDateTime() const {
    Variant v = Value();
    if (v.IsNull()) return 0.0;
    if (v.IsString()) return StrToDateTime(v.StringValue());
    return v.AsDate();
}

bool TField::AsBoolean() const {
    Variant v = Value();
    return !v.IsNull() && v.AsBool();
}

std::string TField::DefaultText() const {
    Variant v = Value();
    if (v.IsNull()) return std::string();
    switch (dataType_) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
        if (!displayFormat_.empty()) return FormatFloat(displayFormat_, v.AsDouble());
        return IntToStr(v.AsInt64());
    case ftFloat:
    case ftBCD:
    case ftFMTBcd:
        if (!displayFormat_.empty()) return FormatFloat(displayFormat_, v.AsDouble());
        return FloatToStr(v.AsDouble());
    case ftCurrency:
        if (!displayFormat_.empty()) return FormatFloat(displayFormat_, v.AsDouble());
        return FloatToStrF(v.AsDouble(), TFloatFormat::ffCurrency, 15,
                           FormatSettings().CurrencyDecimals);
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: {
        TDateTime d = AsDateTime();
        if (!displayFormat_.empty()) return FormatDateTime(displayFormat_, d);
        if (dataType_ == ftDate) return DateToStr(d);
        if (dataType_ == ftTime) return TimeToStr(d);
        return DateTimeToStr(d);
    }
    case ftBlob:
    case ftOraBlob:
    case ftTypedBinary:
    case ftParadoxOle:
    case ftDBaseOle:
        return "(BLOB)";
    case ftGraphic:
        return "(GRAPHIC)";
    case ftBytes:
    case ftVarBytes:
        return "(BYTES)";
    default:
        // Memo text is shown as it stands: a placeholder would hide exam findings in reports.
        return AsString();
    }
}

std::string TField::DisplayText() const {
    std::string text = DefaultText();
    if (OnGetText) OnGetText(const_cast<TField&>(*this), text, true);
    return text;
}

int TField::DisplayWidth() const {
    if (displayWidth_ > 0) return displayWidth_;
    switch (dataType_) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
        return size_ > 0 ? size_ : 10;
    case ftSmallint:
    case ftWord:
        return 6;
    case ftInteger:
    case ftAutoInc:
        return 11;
    case ftLargeint:
        return 15;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd:
        return 16;
    case ftBoolean:
        return 5;
    case ftDateTime:
    case ftTimeStamp:
        return 20;
    default:
        return 10;
    }
}

// ---- TFields, TFieldDefs -----------------------------------------------------------------------

TField* TFields::Fields(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", {index}));
    return list_[static_cast<std::size_t>(index)].get();
}

TField* TFields::FindField(std::string_view name) const {
    for (const auto& f : list_)
        if (AnsiSameText(f->FieldName(), name)) return f.get();
    return nullptr;
}

const TFieldDef& TFieldDefs::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", {index}));
    return items_[static_cast<std::size_t>(index)];
}

int TFieldDefs::IndexOf(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(items_[static_cast<std::size_t>(i)].Name, name)) return i;
    return -1;
}

const TFieldDef* TFieldDefs::Find(std::string_view name) const {
    int i = IndexOf(name);
    return i < 0 ? nullptr : &items_[static_cast<std::size_t>(i)];
}

void TFieldDefs::Add(const std::string& name, TFieldType dataType, int size, bool required) {
    items_.push_back(TFieldDef{name, dataType, size, required});
}

void TFieldDefs::Clear() {
    items_.clear();
    updated_ = false;
}

void TFieldDefs::Update() {
    std::vector<TDbColumn> columns =
        dataSet_->Active() ? dataSet_->result_.Columns : dataSet_->DescribeColumns();
    items_.clear();
    for (const auto& c : columns)
        Add(c.Name, c.DataType, c.Size, c.Required);
    updated_ = true;
}
