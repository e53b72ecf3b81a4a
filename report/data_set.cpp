#include "report/data_set.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "report/resources.h"

namespace {

struct GlobalDataSets {
    std::mutex lock;
    std::vector<TpgwDataSet*> list;
};

// Never destroyed: data sets on application forms may outlive static destruction order.
GlobalDataSets& globalDataSets() {
    static GlobalDataSets* instance = new GlobalDataSets;
    return *instance;
}

const TTypeInfo& rangeBeginType() {
    static const TTypeInfo& t = DefineEnumType("TpgwRangeBegin", {"rbFirst", "rbCurrent"});
    return t;
}

const TTypeInfo& rangeEndType() {
    static const TTypeInfo& t = DefineEnumType("TpgwRangeEnd", {"reLast", "reCurrent", "reCount"});
    return t;
}

std::u16string variantToWide(const Variant& v) {
    if (v.IsNull() || v.IsEmpty()) return {};
    return Utf8ToUtf16(v.AsString());
}

} // namespace

// ---- TpgwDataSet -------------------------------------------------------------------------------

TpgwDataSet::TpgwDataSet(TComponent* owner) : TpgwDialogComponent(owner) {
    GlobalDataSets& g = globalDataSets();
    std::lock_guard lock(g.lock);
    g.list.push_back(this);
}

TpgwDataSet::~TpgwDataSet() {
    GlobalDataSets& g = globalDataSets();
    std::lock_guard lock(g.lock);
    g.list.erase(std::remove(g.list.begin(), g.list.end(), this), g.list.end());
}

void TpgwDataSet::RegisterProperties(TClassBuilder<TpgwDataSet>& b) {
    b.Add("Enabled", TypeInfoBoolean(), &TpgwDataSet::Enabled, &TpgwDataSet::SetEnabled).Default(1);
    b.Add("RangeBegin", rangeBeginType(), &TpgwDataSet::RangeBegin, &TpgwDataSet::SetRangeBegin)
        .Default(rbFirst);
    b.Add("RangeEnd", rangeEndType(), &TpgwDataSet::RangeEnd, &TpgwDataSet::SetRangeEnd)
        .Default(reLast);
    b.Add("RangeEndCount", TypeInfoInteger(), &TpgwDataSet::RangeEndCount,
          &TpgwDataSet::SetRangeEndCount)
        .Default(0);
    b.Add("UserName", TypeInfoString(), &TpgwDataSet::UserName, &TpgwDataSet::SetUserName);
    b.AddMethod("OnCheckEOF", "TpgwCheckEOFEvent");
    b.AddMethod("OnFirst", "TNotifyEvent");
    b.AddMethod("OnNext", "TNotifyEvent");
    b.AddMethod("OnPrior", "TNotifyEvent");
}

void TpgwDataSet::SetUserName(const std::string& value) {
    if (Trim(value).empty()) throw EPropertyError(GetResources().GetText("prInvProp"));
    userName_ = value;
}

void TpgwDataSet::SetName(const std::string& value) {
    TpgwDialogComponent::SetName(value);
    if (!value.empty() && userName_.empty()) SetUserName(value);
}

std::u16string TpgwDataSet::GetDisplayText(const std::string&) {
    return {};
}

int TpgwDataSet::GetDisplayWidth(const std::string&) {
    return 10;
}

TpgwFieldType TpgwDataSet::GetFieldType(const std::string&) {
    return fftNumeric;
}

Variant TpgwDataSet::GetValue(const std::string&) {
    return Variant::Null();
}

void TpgwDataSet::Open() {
    if (OnOpen) OnOpen(this);
}

void TpgwDataSet::Close() {
    if (OnClose) OnClose(this);
}

void TpgwDataSet::First() {
    recNo_ = 0;
    reachedEnd_ = false;
    if (OnFirst) OnFirst(this);
}

void TpgwDataSet::Next() {
    reachedEnd_ = false;
    ++recNo_;
    if (rangeEnd_ == reCount && recNo_ >= rangeEndCount_) {
        recNo_ = rangeEndCount_ - 1;
        reachedEnd_ = true;
        return;
    }
    if (OnNext) OnNext(this);
}

void TpgwDataSet::Prior() {
    --recNo_;
    if (OnPrior) OnPrior(this);
}

bool TpgwDataSet::Eof() {
    bool eof = rangeEnd_ == reCount && (recNo_ >= rangeEndCount_ || reachedEnd_);
    if (OnCheckEOF) OnCheckEOF(this, eof);
    return eof;
}

int TpgwDataSet::FieldsCount() {
    return 0;
}

bool TpgwDataSet::IsBlobField(const std::string&) {
    return false;
}

int TpgwDataSet::RecordCount() {
    return rangeBegin_ == rbFirst && rangeEnd_ == reCount ? rangeEndCount_ : 0;
}

void TpgwDataSet::CopyBlobTo(const std::string&, TStream&) {}

void TpgwDataSet::GetFieldList(TStrings& list) {
    list.Clear();
}

bool TpgwDataSet::HasField(const std::string& fieldName) {
    TStringList list;
    GetFieldList(list);
    for (int i = 0; i < list.Count(); ++i)
        if (AnsiSameText(list.Strings(i), fieldName)) return true;
    return false;
}

// ---- TpgwUserDataSet ---------------------------------------------------------------------------

TpgwUserDataSet::TpgwUserDataSet(TComponent* owner)
    : TpgwDataSet(owner), fields_(std::make_unique<TStringList>()) {}

TpgwUserDataSet::~TpgwUserDataSet() = default;

void TpgwUserDataSet::RegisterProperties(TClassBuilder<TpgwUserDataSet>& b) {
    b.Add("Fields", TypeInfoStrings(), &TpgwUserDataSet::Fields, &TpgwUserDataSet::SetFields);
    b.AddMethod("OnGetValue", "TpgwGetValueEvent");
    b.AddMethod("OnNewGetValue", "TpgwNewGetValueEvent");
}

void TpgwUserDataSet::SetFields(TStrings* value) {
    if (value && value != fields_.get()) fields_->Assign(*value);
}

void TpgwUserDataSet::GetFieldList(TStrings& list) {
    list.Assign(*fields_);
}

int TpgwUserDataSet::FieldsCount() {
    return fields_->Count();
}

Variant TpgwUserDataSet::GetValue(const std::string& fieldName) {
    Variant value = Variant::Null();
    if (OnGetValue) OnGetValue(fieldName, value);
    if (OnNewGetValue) OnNewGetValue(this, fieldName, value);
    return value;
}

std::u16string TpgwUserDataSet::GetDisplayText(const std::string& fieldName) {
    std::u16string text;
    if (OnGetValue) {
        Variant value = Variant::Null();
        OnGetValue(fieldName, value);
        text = variantToWide(value);
    }
    if (OnNewGetValue) {
        Variant value = Variant::Null();
        OnNewGetValue(this, fieldName, value);
        text = variantToWide(value);
    }
    return text;
}

// ---- TpgwCustomDBDataSet -----------------------------------------------------------------------

TpgwCustomDBDataSet::TpgwCustomDBDataSet(TComponent* owner)
    : TpgwDataSet(owner), fields_(std::make_unique<TStringList>()),
      fieldAliases_(std::make_unique<TStringList>()) {
    fields_->SetSorted(true);
    fields_->SetDuplicates(dupIgnore);
}

TpgwCustomDBDataSet::~TpgwCustomDBDataSet() = default;

void TpgwCustomDBDataSet::RegisterProperties(TClassBuilder<TpgwCustomDBDataSet>& b) {
    b.Add("CloseDataSource", TypeInfoBoolean(), &TpgwCustomDBDataSet::CloseDataSource,
          &TpgwCustomDBDataSet::SetCloseDataSource)
        .NoDefault();
    b.Add("FieldAliases", TypeInfoStrings(), &TpgwCustomDBDataSet::FieldAliases,
          &TpgwCustomDBDataSet::SetFieldAliases);
    b.Add("OpenDataSource", TypeInfoBoolean(), &TpgwCustomDBDataSet::OpenDataSource,
          &TpgwCustomDBDataSet::SetOpenDataSource)
        .Default(1);
    b.AddMethod("OnClose", "TNotifyEvent");
    b.AddMethod("OnOpen", "TNotifyEvent");
}

void TpgwCustomDBDataSet::SetFieldAliases(TStrings* value) {
    if (value && value != fieldAliases_.get()) fieldAliases_->Assign(*value);
}

std::string TpgwCustomDBDataSet::AliasToFieldName(std::string_view alias) const {
    for (int i = 0; i < fieldAliases_->Count(); ++i) {
        const std::string line = fieldAliases_->Strings(i);
        const std::size_t eq = line.find('=');
        const std::string_view value =
            eq == std::string::npos ? std::string_view() : std::string_view(line).substr(eq + 1);
        if (AnsiSameText(value, alias)) return line.substr(0, eq);
    }
    return std::string(alias);
}

std::string TpgwCustomDBDataSet::FieldNameToAlias(std::string_view fieldName) const {
    for (int i = 0; i < fieldAliases_->Count(); ++i) {
        const std::string line = fieldAliases_->Strings(i);
        const std::size_t eq = line.find('=');
        const std::string_view name = std::string_view(line).substr(0, eq);
        if (AnsiSameText(name, fieldName))
            return eq == std::string::npos ? std::string() : line.substr(eq + 1);
    }
    return std::string(fieldName);
}

int TpgwCustomDBDataSet::FieldsCount() {
    TStringList list;
    GetFieldList(list);
    return list.Count();
}

// ---- TpgwCustomDatabase ------------------------------------------------------------------------

void TpgwCustomDatabase::FireBeforeConnect(bool& connected) {
    if (TpgwCustomReport* report = Report(); report && report->OnBeforeConnect)
        report->OnBeforeConnect(this, connected);
}

void TpgwCustomDatabase::FireAfterDisconnect() {
    if (TpgwCustomReport* report = Report(); report && report->OnAfterDisconnect)
        report->OnAfterDisconnect(this);
}

// ---- the global list ---------------------------------------------------------------------------

TpgwDataSet* FindGlobalDataSet(TpgwDataSet* fallback, std::string_view name,
                               TpgwCustomReport* report) {
    if (name.empty()) return nullptr;
    if (!report) return fallback;
    GlobalDataSets& g = globalDataSets();
    std::lock_guard lock(g.lock);
    for (TpgwDataSet* ds : g.list) {
        if (!AnsiSameText(ds->UserName(), name)) continue;
        auto* ownerReport = dynamic_cast<TpgwCustomReport*>(ds->Owner());
        if (ownerReport && ownerReport != report) continue;
        return ds;
    }
    return fallback;
}

void FillGlobalDataSetList(TStrings& list) {
    GlobalDataSets& g = globalDataSets();
    std::lock_guard lock(g.lock);
    list.Clear();
    for (TpgwDataSet* ds : g.list)
        if (!ds->UserName().empty() && ds->Enabled()) list.AddObject(ds->UserName(), ds);
}

int GlobalDataSetCount() {
    GlobalDataSets& g = globalDataSets();
    std::lock_guard lock(g.lock);
    return static_cast<int>(g.list.size());
}
