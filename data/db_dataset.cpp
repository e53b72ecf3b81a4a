#include "data/db_dataset.h"

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/data/data_source.h"
#include "report/module_startup.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/wide_strings.h"

namespace {

constexpr int defaultCharset = 1; // the system code page

std::string quotedReference(const std::string& userName, const std::string& fieldName) {
    return userName + ".\"" + fieldName + "\"";
}

// Currency holds four decimals.
double toCurrency(double value) {
    return static_cast<double>(Round(value * 10000.0)) / 10000.0;
}

} // namespace

// ---- TpgwDataSetListener -----------------------------------------------------------------------

void TpgwDataSetListener::Attach(TDataSet* dataSet, TDataLinkHandler handler) {
    Detach();
    if (!dataSet) return;
    linkId_ = dataSet->AddDataLink(std::move(handler));
    dataSet_ = dataSet;
}

void TpgwDataSetListener::Detach() {
    if (dataSet_) dataSet_->RemoveDataLink(linkId_);
    Forget();
}

// ---- TpgwDBDataset -----------------------------------------------------------------------------

TpgwDBDataset::TpgwDBDataset(TComponent* owner) : TpgwCustomDBDataSet(owner) {}

TpgwDBDataset::~TpgwDBDataset() {
    listener_.Detach();
}

void TpgwDBDataset::RegisterProperties(TClassBuilder<TpgwDBDataset>& b) {
    b.Add("DataSet", &TpgwDBDataset::DataSet, &TpgwDBDataset::SetDataSet)
        .Stored(&TpgwDBDataset::IsDataSetStored);
    b.Add("DataSource", &TpgwDBDataset::DataSource, &TpgwDBDataset::SetDataSource);
    b.Add("BCDToCurrency", &TpgwDBDataset::BCDToCurrency, &TpgwDBDataset::SetBCDToCurrency)
        .Default(0);
}

void TpgwDBDataset::SetDataSet(TDataSet* value) {
    TDataSet* oldSet = dataSet_;
    TDataSource* oldSource = dataSource_;
    dataSet_ = value;
    dataSource_ = nullptr;
    Track(dataSet_);
    ResolveSource();
    Untrack(oldSet);
    Untrack(oldSource);
}

void TpgwDBDataset::SetDataSource(TDataSource* value) {
    TDataSet* oldSet = dataSet_;
    TDataSource* oldSource = dataSource_;
    dataSource_ = value;
    dataSet_ = nullptr;
    Track(dataSource_);
    ResolveSource();
    Untrack(oldSet);
    Untrack(oldSource);
}

void TpgwDBDataset::ResolveSource() {
    TDataSet* old = source_;
    source_ = dataSet_ ? dataSet_ : dataSource_ ? dataSource_->DataSet() : nullptr;
    // The resolved set may sit behind a data source: hear of its destruction too.
    Track(source_);
    Untrack(old);
}

void TpgwDBDataset::Track(TComponent* component) {
    if (component) FreeNotification(component);
}

void TpgwDBDataset::Untrack(TComponent* component) {
    if (!component || component == dataSet_ || component == dataSource_ || component == source_ ||
        component == listener_.DataSet())
        return;
    RemoveFreeNotification(component);
}

void TpgwDBDataset::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) {
        if (component == dataSet_) dataSet_ = nullptr;
        if (component == dataSource_) dataSource_ = nullptr;
        if (component == listener_.DataSet()) listener_.Forget();
        if (component == source_) {
            source_ = nullptr;
            opened_ = false;
            ReleaseRangeBookmark();
        }
    }
    TpgwCustomDBDataSet::Notification(component, operation);
}

// ---- the run -----------------------------------------------------------------------------------

void TpgwDBDataset::BeginReport() {
    ResolveSource();
    if (!source_) throw Exception(Format(GetResources().GetText("dbNotConn"), {Name()}));
    TDataSet* previous = listener_.DataSet();
    listener_.Attach(source_, [this](TDataSet& dataSet, TDataEvent event) {
        if (&dataSet != source_) return; // the source was changed during the run
        if (event == TDataEvent::deOpened)
            HandleAfterOpen(&dataSet);
        else if (event == TDataEvent::deClosing)
            HandleBeforeClose(&dataSet);
    });
    Untrack(previous);
    rangeEndReached_ = false;
    opened_ = false;
}

void TpgwDBDataset::EndReport() {
    // Whatever happens below, the adapter stops listening.
    struct StopListening {
        TpgwDBDataset& self;
        ~StopListening() {
            TDataSet* heard = self.listener_.DataSet();
            self.listener_.Detach();
            self.Untrack(heard);
            self.opened_ = false;
        }
    } stop{*this};
    if (!source_) return;
    if (hasRangeBookmark_) {
        // An empty source gave no row to return to.
        if (source_->BookmarkValid(rangeBookmark_)) source_->GotoBookmark(rangeBookmark_);
        ReleaseRangeBookmark();
    }
    if (CloseDataSource()) Close();
}

void TpgwDBDataset::HandleAfterOpen(TDataSet*) {
    BuildFieldMap();
}

void TpgwDBDataset::HandleBeforeClose(TDataSet*) {
    ReleaseRangeBookmark();
    opened_ = false;
}

// ---- cursor ------------------------------------------------------------------------------------

void TpgwDBDataset::Open() {
    if (opened_) return;
    opened_ = true;
    if (source_) {
        try {
            source_->Open();
        } catch (...) {
            opened_ = false;
            throw;
        }
    }
    BuildFieldMap();
    if (source_ && (RangeBegin() == rbCurrent || RangeEnd() == reCurrent)) {
        rangeBookmark_ = source_->GetBookmark();
        hasRangeBookmark_ = true;
    } else {
        ReleaseRangeBookmark();
    }
    TpgwCustomDBDataSet::Open();
}

void TpgwDBDataset::Close() {
    TpgwCustomDBDataSet::Close();
    ReleaseRangeBookmark();
    opened_ = false;
    if (source_) source_->Close();
}

void TpgwDBDataset::First() {
    OpenIfNeeded();
    if (source_) {
        if (RangeBegin() == rbCurrent && hasRangeBookmark_ &&
            source_->BookmarkValid(rangeBookmark_))
            source_->GotoBookmark(rangeBookmark_);
        else
            source_->First();
    }
    rangeEndReached_ = false;
    TpgwCustomDBDataSet::First();
}

void TpgwDBDataset::Next() {
    OpenIfNeeded();
    rangeEndReached_ = false;
    if (source_ && RangeEnd() == reCurrent && hasRangeBookmark_ &&
        source_->CompareBookmarks(source_->GetBookmark(), rangeBookmark_) == 0) {
        rangeEndReached_ = true;
        return;
    }
    if (source_) source_->Next();
    TpgwCustomDBDataSet::Next();
}

void TpgwDBDataset::Prior() {
    OpenIfNeeded();
    if (source_) source_->Prior();
    TpgwCustomDBDataSet::Prior();
}

bool TpgwDBDataset::Eof() {
    OpenIfNeeded();
    const bool baseEof = TpgwCustomDBDataSet::Eof();
    return baseEof || !source_ || source_->Eof() || rangeEndReached_;
}

int TpgwDBDataset::RecordCount() {
    OpenIfNeeded();
    return source_ ? source_->RecordCount() : 0;
}

// ---- fields ------------------------------------------------------------------------------------

void TpgwDBDataset::GetFieldList(TStrings& list) {
    list.Clear();
    TStrings& aliases = *FieldAliases();
    if (aliases.Count() > 0) {
        for (int i = 0; i < aliases.Count(); ++i) {
            const std::string name = aliases.Names(i);
            // A line without "=" names nothing; "-name" hides the field.
            if (name.empty() || name[0] == '-') continue;
            list.Add(aliases.Values(name));
        }
        return;
    }
    if (!source_) return;
    try {
        TStringList names;
        source_->GetFieldNames(names);
        for (int i = 0; i < names.Count(); ++i)
            list.Add(names.Strings(i));
        source_->GetAggregateFieldNames(names);
        for (int i = 0; i < names.Count(); ++i)
            list.Add(names.Strings(i));
    } catch (const Exception&) {
        // What was listed before the failure stays.
    }
}

void TpgwDBDataset::BuildFieldMap() {
    TStringList aliases;
    GetFieldList(aliases);
    TStringList& map = Fields();
    map.Clear();
    for (int i = 0; i < aliases.Count(); ++i)
        map.Add(aliases.Strings(i));
}

// Fields are looked up on use, never kept: the source frees them whenever it closes.
TField* TpgwDBDataset::MappedField(const std::string& alias, bool& inMap) const {
    int index = 0;
    inMap = const_cast<TpgwDBDataset*>(this)->Fields().Find(alias, index);
    if (!inMap || !source_) return nullptr;
    return source_->FindField(AliasToFieldName(alias));
}

std::string TpgwDBDataset::MissingFieldText(const std::string& fieldName) const {
    return GetResources().GetText("dbFldNotFound") + " " + quotedReference(UserName(), fieldName);
}

void TpgwDBDataset::AddMissingFieldError(const std::string& text) {
    TpgwCustomReport* report = RunningReport() ? RunningReport() : Report();
    if (!report) return;
    std::string objectName;
    if (auto* full = dynamic_cast<TpgwReport*>(report)) objectName = full->ActiveObjectName();
    report->Errors().Add(objectName + ": " + text);
}

std::u16string TpgwDBDataset::GetDisplayText(const std::string& fieldName) {
    OpenIfNeeded();
    if (!source_ || !source_->Active()) return Utf8ToUtf16(quotedReference(UserName(), fieldName));
    if (Fields().Count() == 0) return Utf8ToUtf16(source_->FieldByName(fieldName)->DisplayText());
    bool inMap = false;
    TField* field = MappedField(fieldName, inMap);
    if (!inMap) {
        const std::string text = MissingFieldText(fieldName);
        AddMissingFieldError(text);
        return Utf8ToUtf16(text);
    }
    if (!field) return {};
    if (field->DataType() == ftWideString) return Utf8ToUtf16(field->AsString());
    return Utf8ToUtf16(field->DisplayText());
}

Variant TpgwDBDataset::GetValue(const std::string& fieldName) {
    OpenIfNeeded();
    bool inMap = false;
    TField* field = MappedField(fieldName, inMap);
    if (!inMap) {
        AddMissingFieldError(MissingFieldText(fieldName));
        return Variant::Null();
    }
    if (!field) return Variant::Null();
    const Variant value = field->Value();
    if (value.IsNull()) return Variant::Null();
    switch (field->DataType()) {
    case ftFMTBcd:
        return bcdToCurrency_ ? Variant(toCurrency(field->AsFloat())) : Variant(field->AsFloat());
    case ftLargeint:
        return Variant(static_cast<long long>(field->AsLargeInt()));
    case ftTimeStamp:
        return Variant::FromDate(field->AsDateTime());
    default:
        return value;
    }
}

TpgwFieldType TpgwDBDataset::GetFieldType(const std::string& fieldName) {
    TField* field = source_ ? source_->FindField(AliasToFieldName(fieldName)) : nullptr;
    if (!field) return fftNumeric;
    if (IsStringFieldType(field->DataType())) return fftString;
    if (field->DataType() == ftBoolean) return fftBoolean;
    return fftNumeric;
}

int TpgwDBDataset::GetDisplayWidth(const std::string& fieldName) {
    if (!source_) return 10;
    const std::string name = AliasToFieldName(fieldName);
    if (TField* field = source_->FindField(name)) return field->DisplayWidth();
    TFieldDefs& defs = source_->FieldDefs();
    if (!defs.Updated()) {
        try {
            defs.Update();
        } catch (const Exception&) {
            // Without definitions the default width serves.
        }
    }
    const TFieldDef* def = defs.Find(name);
    if (!def) return 10;
    switch (def->DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        return def->Size;
    case ftDateTime:
        return 20;
    case ftLargeint:
        return 15;
    default:
        return 10;
    }
}

bool TpgwDBDataset::IsBlobField(const std::string& fieldName) {
    OpenIfNeeded();
    bool inMap = false;
    TField* field = MappedField(fieldName, inMap);
    return field && field->IsBlob();
}

void TpgwDBDataset::CopyBlobTo(const std::string& fieldName, TStream& stream) {
    OpenIfNeeded();
    bool inMap = false;
    TField* field = MappedField(fieldName, inMap);
    if (!field || !field->IsBlob()) return;
    const Variant value = field->Value();
    if (!value.IsNull()) {
        const std::string bytes = value.AsString();
        stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    }
    stream.SetPosition(0);
}

void TpgwDBDataset::CopyBlobTo(const std::string& fieldName, TWideStrings& lines) {
    OpenIfNeeded();
    bool inMap = false;
    TField* field = MappedField(fieldName, inMap);
    if (!field || !field->IsBlob()) return;
    const Variant value = field->Value();
    const std::string bytes = value.IsNull() ? std::string() : value.AsString();
    // Text columns arrive as UTF-8 already; only binary ones hold legacy bytes.
    lines.SetText(IsStringFieldType(field->DataType()) ? Utf8ToUtf16(bytes)
                                                       : AnsiToWide(bytes, defaultCharset, 0));
}

// ---- registration ------------------------------------------------------------------------------

void RegisterDBDatasetClasses() {
    RegisterClasses<TpgwDBDataset>();
}

namespace {
// Enters the adapter's start-up as soon as this module is linked in.
[[maybe_unused]] const bool registered =
    (RegisterModule(TpgwModuleStage::ObjectClasses, "pgwDBSet", RegisterDBDatasetClasses,
                    [] { UnRegisterClass(TpgwDBDataset::StaticClass()); }),
     true);
} // namespace
