#include "report/report.h"

#include <map>
#include <set>

#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/ui/timer.h"
#include "report/abstract_bases.h"
#include "report/data_set.h"
#include "report/expression_cache.h"
#include "report/options.h"
#include "report/report_data_sets.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/styles.h"
#include "report/utils.h"
#include "report/variables.h"
#include "report/xml_serializer.h"
#include "script/script.h"

namespace {

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string shiftBytes(std::string_view bytes, int delta) {
    std::string out(bytes);
    for (char& c : out)
        c = static_cast<char>((static_cast<unsigned char>(c) + 256 + delta) % 256);
    return out;
}

// Templates keep the password in the legacy code page with every byte lowered by 10. A
// password whose lowered bytes are no text of that code page could not be read back, so it is
// refused before anything is written.
std::string encodePassword(std::string_view password) {
    if (isAscii(password)) return shiftBytes(password, -10);
    try {
        const std::string shifted = shiftBytes(Utf8ToCodePage(password), -10);
        std::string stored = CodePageToUtf8(shifted);
        if (Utf8ToCodePage(stored) == shifted) return stored;
    } catch (const Exception&) {
    }
    throw Exception("The report password cannot be stored in a template; choose another one");
}

std::string decodePassword(std::string_view stored) {
    if (isAscii(stored)) return shiftBytes(stored, 10);
    return CodePageToUtf8Lossy(shiftBytes(Utf8ToCodePageLossy(stored), 10));
}

bool hasDriveLetter(std::string_view path) {
    return path.size() > 1 && path[1] == ':';
}

bool isAbsolutePath(std::string_view path) {
    return hasDriveLetter(path) || path.starts_with("\\\\") ||
           (!path.empty() && (path[0] == '/' || path[0] == '\\'));
}

std::vector<std::string> pathParts(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

// dest relative to the folder baseFolder; dest itself when the two have different roots.
std::string relativePath(std::string_view dest, std::string_view baseFolder) {
    if (dest.empty() || baseFolder.empty() || !isAbsolutePath(dest)) return std::string(dest);
    const bool destDrive = hasDriveLetter(dest);
    if (destDrive != hasDriveLetter(baseFolder) ||
        (destDrive && !SameText(dest.substr(0, 2), baseFolder.substr(0, 2))))
        return std::string(dest);
    const std::vector<std::string> d = pathParts(dest);
    const std::vector<std::string> b = pathParts(baseFolder);
    if (d.empty()) return std::string(dest);
    std::size_t common = 0;
    while (common < d.size() - 1 && common < b.size() && SameText(d[common], b[common]))
        ++common;
    std::string out;
    for (std::size_t i = common; i < b.size(); ++i)
        out += "../";
    for (std::size_t i = common; i < d.size(); ++i) {
        out += d[i];
        if (i + 1 < d.size()) out += '/';
    }
    return out;
}

std::string joinLines(const TStrings& list) {
    std::string text;
    for (int i = 0; i < list.Count(); ++i) {
        if (i) text += "\r\n";
        text += list.Strings(i);
    }
    return text;
}

// Ancestor templates being loaded on this thread: a template that is its own ancestor, directly
// or through others, would otherwise load itself without end.
std::set<std::string>& ancestorsInLoad() {
    thread_local std::set<std::string> files;
    return files;
}

} // namespace

TpgwReport::TpgwReport(TComponent* owner) : TpgwCustomReport(owner), version_(kReportVersion) {
    dataSets_ = std::make_unique<TpgwReportDataSets>(this);
    variables_ = std::make_unique<TpgwVariables>();
    engineOptions_ = std::make_unique<TpgwEngineOptions>();
    previewOptions_ = std::make_unique<TpgwPreviewOptions>();
    printOptions_ = std::make_unique<TpgwPrintOptions>();
    reportOptions_ = std::make_unique<TpgwReportOptions>(this);
    iniFile_ = "\\Software\\Quillmark";
    scriptText_ = std::make_unique<TStringList>();
    styles_ = std::make_unique<TpgwStyles>(this);
    offeredDataSets_ = std::make_unique<TpgwReportDataSets>(this);
    showProgress_ = true;
    storeInDFM_ = true;
    if (EngineClass()) engine_ = EngineClass()(this);
    if (PreviewPagesClass()) previewPages_ = PreviewPagesClass()(this);
    if (engine_ && previewPages_) {
        engine_->SetPreviewPages(previewPages_.get());
        previewPages_->SetEngine(engine_.get());
    }
    script_ = std::make_unique<TksScript>(nullptr);
    expressionCache_ = std::make_unique<TpgwExpressionCache>(script_.get());
    Clear();
}

TpgwReport::~TpgwReport() {
    if (previewForm_) previewForm_->Close();
    SetPreview(nullptr);
    // The tree goes while the collections that refer to its data sets still exist.
    TpgwComponent::Clear();
    ancestor_.reset();
}

void TpgwReport::RegisterProperties(TClassBuilder<TpgwReport>& b) {
    using R = TpgwReport;
    b.Add("Version", TypeInfoString(), &R::Version, &R::SetVersion);
    b.Add("ParentReport", TypeInfoString(), &R::ParentReport, &R::SetParentReport);
    b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &R::DataSet, &R::SetDataSet);
    b.Add("DataSetName", TypeInfoString(), &R::DataSetName, &R::SetDataSetName);
    b.Add("DotMatrixReport", &R::DotMatrixReport, &R::SetDotMatrixReport).NoDefault();
    b.Add("EngineOptions", TypeInfoOfClass(TpgwEngineOptions::StaticClass()), &R::EngineOptions,
          &R::SetEngineOptions);
    b.Add("IniFile", TypeInfoString(), &R::IniFile, &R::SetIniFile);
    b.Add("OldStyleProgress", &R::OldStyleProgress, &R::SetOldStyleProgress).Default(0);
    b.Add("Preview", TypeInfoOfClass(TpgwCustomPreview::StaticClass()), &R::Preview,
          &R::SetPreview);
    b.Add("PreviewOptions", TypeInfoOfClass(TpgwPreviewOptions::StaticClass()), &R::PreviewOptions,
          &R::SetPreviewOptions);
    b.Add("PrintOptions", TypeInfoOfClass(TpgwPrintOptions::StaticClass()), &R::PrintOptions,
          &R::SetPrintOptions);
    b.Add("ReportOptions", TypeInfoOfClass(TpgwReportOptions::StaticClass()), &R::ReportOptions,
          &R::SetReportOptions);
    b.Add("ScriptLanguage", TypeInfoString(), &R::ScriptLanguage, &R::SetScriptLanguage);
    b.Add("ScriptText", TypeInfoStrings(), &R::ScriptText, &R::SetScriptText);
    b.Add("ShowProgress", &R::ShowProgress, &R::SetShowProgress).Default(1);
    b.Add(
         "StoreInDFM", [](R& r) { return r.StoreInDFM(); }, &R::SetStoreInDFM)
        .Default(1);
    for (const char* name : {"OnAfterPrint",        "OnBeforePrint",    "OnBeforeConnect",
                             "OnAfterDisconnect",   "OnBeginDoc",       "OnEndDoc",
                             "OnClickObject",       "OnDblClickObject", "OnGetValue",
                             "OnUserFunction",      "OnManualBuild",    "OnMouseOverObject",
                             "OnPreview",           "OnPrintPage",      "OnPrintReport",
                             "OnAfterPrintReport",  "OnClosePreview",   "OnProgressStart",
                             "OnProgress",          "OnProgressStop",   "OnLoadTemplate",
                             "OnAfterScriptCompile"})
        b.AddMethod(name, "TNotifyEvent");
    b.Add("OnRunDialogs", TypeInfoString(), &R::OnRunDialogs, &R::OnRunDialogs);
    b.Add("OnStartReport", TypeInfoString(), &R::OnStartReport, &R::OnStartReport);
    b.Add("OnStopReport", TypeInfoString(), &R::OnStopReport, &R::OnStopReport);
    b.Add("OnReportPrint", TypeInfoString(), &R::OnReportPrint, &R::OnReportPrint);
}

std::string TpgwReport::ClassDescription() const {
    return GetResources().GetText("obReport");
}

void TpgwReport::DefineProperties(TFiler& filer) {
    TpgwCustomReport::DefineProperties(filer);
    // A platform form file written with StoreInDFM off leaves the report's content out;
    // templates always carry it.
    if (!storeInDFM_ && !WritingTemplate() && !ReadingTemplate()) return;
    filer.DefineProperty(
        "Datasets", [this](TReader& r) { ReadCollectionData(*dataSets_, r, this); },
        [this](TWriter& w) { WriteCollectionData(*dataSets_, w, this); }, dataSets_->Count() > 0);
    filer.DefineProperty(
        "Variables", [this](TReader& r) { ReadCollectionData(*variables_, r, this); },
        [this](TWriter& w) { WriteCollectionData(*variables_, w, this); }, variables_->Count() > 0);
    filer.DefineProperty(
        "Style", [this](TReader& r) { ReadCollectionData(*styles_, r, this); },
        [this](TWriter& w) { WriteCollectionData(*styles_, w, this); }, styles_->Count() > 0);
}

// ---- owned objects and published state ---------------------------------------------------------

void TpgwReport::SetStyles(const TpgwStyles* styles) {
    if (!styles) {
        styles_->Clear();
        return;
    }
    if (styles != styles_.get()) styles_->Assign(styles);
    styles_->Apply();
}

void TpgwReport::SetScriptText(TStrings* lines) {
    if (lines && lines != scriptText_.get()) scriptText_->Assign(*lines);
}

void TpgwReport::SetEngineOptions(TpgwEngineOptions* value) {
    if (value && value != engineOptions_.get()) engineOptions_->Assign(value);
}

void TpgwReport::SetPreviewOptions(TpgwPreviewOptions* value) {
    if (value && value != previewOptions_.get()) previewOptions_->Assign(value);
}

void TpgwReport::SetPrintOptions(TpgwPrintOptions* value) {
    if (value && value != printOptions_.get()) printOptions_->Assign(value);
}

void TpgwReport::SetReportOptions(TpgwReportOptions* value) {
    if (value && value != reportOptions_.get()) reportOptions_->Assign(value);
}

TTimer* TpgwReport::Timer() {
    if (!timer_) {
        timer_ = new TTimer(this);
        timer_->SetEnabled(false);
        timer_->SetInterval(50);
    }
    return timer_;
}

void TpgwReport::SetVersion(const std::string&) {
    version_ = kReportVersion;
}

void TpgwReport::SetDataSet(TpgwDataSet* value) {
    // The link is one for the whole report: the data-set lists still watching the old data set
    // need it to hear of its end.
    if (dataSet_ && dataSet_ != value && !(dataSets_ && dataSets_->FindByDataSet(dataSet_)) &&
        !(offeredDataSets_ && offeredDataSets_->FindByDataSet(dataSet_)))
        dataSet_->RemoveFreeNotification(this);
    dataSet_ = value;
    if (dataSet_) dataSet_->FreeNotification(this);
    dataSetName_ = value ? value->UserName() : std::string();
}

std::string TpgwReport::DataSetName() const {
    return dataSet_ ? dataSet_->UserName() : dataSetName_;
}

void TpgwReport::SetDataSetName(const std::string& value) {
    SetDataSet(DataSetByName(value, dataSet_));
    dataSetName_ = value;
}

void TpgwReport::SetPreview(TpgwCustomPreview* value) {
    if (preview_ == value) return;
    if (preview_) {
        preview_->RemoveFreeNotification(this);
        // A control replaced by another must not keep drawing pages that may go with us.
        if (preview_->Report() == this) {
            preview_->SetReport(nullptr);
            preview_->SetPreviewPages(nullptr);
        }
        if (!value) previewForm_ = nullptr;
    }
    preview_ = value;
    if (preview_) {
        preview_->FreeNotification(this);
        preview_->SetReport(this);
        preview_->SetPreviewPages(previewPages_.get());
        preview_->Init();
    }
}

bool TpgwReport::ThreadSafeMode() const {
    return engineOptions_->ThreadSafeMode();
}

bool TpgwReport::UseGlobalDataSetList() const {
    return engineOptions_->UseGlobalDataSetList();
}

TpgwDataSet* TpgwReport::GetDataset(std::string_view alias) const {
    TpgwDataSetItem* item = dataSets_->Find(alias);
    return item ? item->DataSet() : nullptr;
}

TPersistent* TpgwReport::GetAncestor(std::string_view name) {
    if (!ancestor_) return nullptr;
    if (name == Name() || SameText(name, Name())) return ancestor_.get();
    if (name.empty()) return nullptr;
    return ancestor_->FindObject(name);
}

void TpgwReport::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) {
        if (component == dataSet_) {
            dataSet_ = nullptr;
        }
        if (dataSets_) {
            // A template may list the same data set more than once.
            bool removed = false;
            while (TpgwDataSetItem* item = dataSets_->FindByDataSet(component)) {
                delete item;
                removed = true;
            }
            if (removed && designer_) designer_->RefreshDataTree();
        }
        // Offered data sets refer to the same objects; no item may outlive its data set.
        if (offeredDataSets_)
            while (TpgwDataSetItem* item = offeredDataSets_->FindByDataSet(component))
                delete item;
        if (component == preview_) preview_ = nullptr;
        if (component == timer_) timer_ = nullptr;
        if (component == designer_) designer_ = nullptr;
        if (component == previewForm_) previewForm_ = nullptr;
    }
    TpgwCustomReport::Notification(component, operation);
}

// ---- lifecycle ---------------------------------------------------------------------------------

void TpgwReport::Clear() {
    if (!loadingStream_ && putOffWhileRunning([this] { Clear(); })) return;
    TpgwCustomReport::Clear();
    dataSets_->Clear();
    variables_->Clear();
    styles_->Clear();
    engineOptions_->Clear();
    previewOptions_->Clear();
    printOptions_->Clear();
    reportOptions_->Clear();
    SetDataSet(nullptr);
    dataSetName_.clear();
    dotMatrixReport_ = false;
    SetParentReport("");
    scriptLanguage_ = "PascalScript";
    scriptText_->Clear();
    scriptText_->Add("begin");
    scriptText_->Add("");
    scriptText_->Add("end.");
    systemVariableNames_.Clear();
    for (const char* name : {"Date", "Time", "Page", "Page#", "TotalPages", "TotalPages#", "Line",
                             "Line#", "CopyName#"})
        systemVariableNames_.Add(name);
    OnRunDialogs.clear();
    OnStartReport.clear();
    OnStopReport.clear();
    // The script must not reach the objects just freed.
    repointScriptObjects();
}

void TpgwReport::ReportErrors() {
    ReportError(this, GetResources().GetText("clErrors") + "\r\n" + joinLines(Errors()));
}

void TpgwReport::LoadFromStream(TStream& stream) {
    // The stream may not outlive the call: a load during a run is refused, not put off.
    if (engine_ && engine_->Running())
        throw Exception("The report is being prepared; it cannot be loaded now");
    struct Loading {
        bool& flag;
        bool saved;
        ~Loading() { flag = saved; }
    } loading{loadingStream_, loadingStream_};
    loadingStream_ = true;
    Errors().Clear();
    reportOptions_->SetPassword("");
    TpgwEngineOptions savedEngine;
    savedEngine.Assign(engineOptions_.get());
    TpgwPreviewOptions savedPreview;
    savedPreview.Assign(previewOptions_.get());
    const std::string savedIniFile = iniFile_;
    TpgwCustomPreview* savedPreviewControl = preview_;
    const bool savedOldStyleProgress = oldStyleProgress_;
    const bool savedShowProgress = showProgress_;
    const bool savedStoreInDFM = storeInDFM_;

    try {
        TpgwCustomReport::LoadFromStream(stream);
    } catch (const std::exception& e) {
        Errors().Add(e.what());
    }
    EnsureDataPage();

    // A template may change only these few engine and preview options; the rest stays as the
    // application set it.
    const bool convertNulls = engineOptions_->ConvertNulls();
    const bool doublePass = engineOptions_->DoublePass();
    engineOptions_->Assign(&savedEngine);
    engineOptions_->SetConvertNulls(convertNulls);
    engineOptions_->SetDoublePass(doublePass);
    const bool outlineVisible = previewOptions_->OutlineVisible();
    const int outlineWidth = previewOptions_->OutlineWidth();
    const bool outlineExpand = previewOptions_->OutlineExpand();
    const int pagesInCache = previewOptions_->PagesInCache();
    const bool thumbnailVisible = previewOptions_->ThumbnailVisible();
    previewOptions_->Assign(&savedPreview);
    previewOptions_->SetOutlineVisible(outlineVisible);
    previewOptions_->SetOutlineWidth(outlineWidth);
    previewOptions_->SetOutlineExpand(outlineExpand);
    previewOptions_->SetPagesInCache(pagesInCache);
    previewOptions_->SetThumbnailVisible(thumbnailVisible);
    iniFile_ = savedIniFile;
    SetPreview(savedPreviewControl);
    oldStyleProgress_ = savedOldStyleProgress;
    showProgress_ = savedShowProgress;
    storeInDFM_ = savedStoreInDFM;

    reportOptions_->SetPassword(decodePassword(reportOptions_->Password()));
    if (!reloadingAfterRun_ && !engineOptions_->ThreadSafeMode() &&
        !reportOptions_->CheckPassword()) {
        Clear();
        if (ancestorDepth_ == 0) ReportErrors();
        return;
    }
    // An ancestor's errors are reported once, with those of the template that names it.
    if (Errors().Count() > 0 && ancestorDepth_ == 0) ReportErrors();
}

void TpgwReport::SaveToStream(TStream& stream, bool saveChildren, bool saveDefaultValues,
                              bool /*useGetAncestor*/) {
    const std::string password = reportOptions_->Password();
    const std::string encoded = encodePassword(password);
    TpgwCustomPreview* previewControl = preview_;
    reportOptions_->SetPassword(encoded);
    preview_ = nullptr;
    auto restore = [&] {
        preview_ = previewControl;
        reportOptions_->SetPassword(password);
    };
    try {
        TpgwCustomReport::SaveToStream(stream, saveChildren, saveDefaultValues, false);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

bool TpgwReport::putOffWhileRunning(std::function<void()> call) {
    if (!engine_ || !engine_->Running()) return false;
    SetTerminated(true);
    putOff_.push_back(std::move(call));
    return true;
}

void TpgwReport::runPutOffCalls() {
    while (!putOff_.empty() && !(engine_ && engine_->Running())) {
        std::function<void()> call = std::move(putOff_.front());
        putOff_.erase(putOff_.begin());
        try {
            call();
        } catch (const std::exception& e) {
            // Its caller has long returned: the error goes where the run's errors go.
            Errors().Add(e.what());
            ReportErrors();
        }
    }
}

bool TpgwReport::LoadFromFile(const std::string& fileName, bool exceptionIfNotFound) {
    if (putOffWhileRunning([this, fileName, exceptionIfNotFound] {
            LoadFromFile(fileName, exceptionIfNotFound);
        }))
        return FileExists(fileName);
    Clear();
    fileName_.clear();
    const bool exists = FileExists(fileName);
    if (exists || exceptionIfNotFound) {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        fileName_ = fileName;
        LoadFromStream(file);
    }
    return exists;
}

void TpgwReport::SaveToFile(const std::string& fileName) {
    if (hasDriveLetter(parentReport_))
        parentReport_ = relativePath(parentReport_, ExtractFilePath(fileName));
    TSafeFileWriter file(fileName);
    SaveToStream(file, true, false);
    file.Commit();
}

// ---- inheritance -------------------------------------------------------------------------------

std::string TpgwReport::homeFolder() const {
    if (HasState(csDesigning)) return IncludeTrailingPathDelimiter(GetCurrentDir());
    return GetAppFolder();
}

void TpgwReport::setInheritedFlags(bool value) {
    SetInherited(value);
    for (TpgwComponent* c : AllObjects())
        c->SetInherited(value);
}

void TpgwReport::SetParentReport(const std::string& value) {
    parentReport_ = value;
    ancestor_.reset();
    if (value.empty()) {
        setInheritedFlags(false);
        return;
    }
    if (fillingAncestorCopy_) return;
    const std::string savedFileName = fileName_;
    TpgwXMLSerializer* savedSerializer = CurrentSerializer();
    std::string guardKey;
    std::string loadedName;
    bool entered = false;
    auto enter = [&] {
        // Each level of a chain is a level of nesting: a long one would exhaust the stack.
        if (ancestorDepth_ >= kMaxParentReportDepth)
            throw Exception("Parent report chain deeper than " +
                            std::to_string(kMaxParentReportDepth) + " templates: " + value);
        ++ancestorDepth_;
        entered = true;
    };
    auto leave = [&] {
        if (!guardKey.empty()) ancestorsInLoad().erase(guardKey);
        if (entered) --ancestorDepth_;
        fileName_ = savedFileName;
        SetCurrentSerializer(savedSerializer);
    };
    // Loading the ancestor clears this report: what a template being read set before this
    // attribute goes, and with it the references still waiting to be set into it.
    if (savedSerializer) {
        for (TCollection* list : {static_cast<TCollection*>(dataSets_.get()),
                                  static_cast<TCollection*>(variables_.get()),
                                  static_cast<TCollection*>(styles_.get())})
            for (int i = 0; i < list->Count(); ++i)
                savedSerializer->DropFixups(list->Items(i));
        for (TpgwComponent* c : AllObjects())
            savedSerializer->DropFixups(c);
    }
    std::unique_ptr<TpgwReport> copy;
    try {
        if (OnLoadTemplate) {
            enter();
            OnLoadTemplate(this, value);
        } else {
            std::string name = value;
            if (!isAbsolutePath(value)) {
                // Templates made on Windows name their parents with "\\" and any letter case.
                const std::string relative = ReplaceChar(value, '\\', '/');
                auto existing = [](const std::string& path) {
                    const std::string found = ResolveFileCase(path);
                    return found.empty() ? path : found;
                };
                name = existing(ExtractFilePath(savedFileName) + relative);
                if (!FileExists(name)) name = existing(homeFolder() + relative);
            }
            guardKey = ExpandFileName(name);
            if (!ancestorsInLoad().insert(guardKey).second) {
                guardKey.clear();
                throw Exception("Circular parent report reference: " + value);
            }
            enter();
            loadedName = name;
            // Reading goes on without the parent, but not without saying so.
            if (!LoadFromFile(name, false)) Errors().Add("Parent report not found: " + value);
        }
        copy = makeAncestorCopy(loadedName);
    } catch (...) {
        leave();
        // Without an ancestor whatever was loaded of it stays, as the report's own.
        ancestor_.reset();
        setInheritedFlags(false);
        parentReport_.clear();
        throw;
    }
    leave();

    ancestor_ = std::move(copy);
    setInheritedFlags(true);
    parentReport_ = value;
    SetCurrentSerializer(savedSerializer);
}

// Takes over this report's own ancestor copy and leaves its objects' flags cleared.
std::unique_ptr<TpgwReport> TpgwReport::makeAncestorCopy(const std::string& fileName) {
    // Made aside and kept only when complete: while this report is written for the copy, it
    // must not be compared against a copy still empty.
    auto copy = std::make_unique<TpgwReport>(nullptr);
    // The copy is a reload of what is already here: no password prompt, no error box.
    copy->SetReloadingAfterRun(true);
    copy->EngineOptions()->SetNewSilentMode(simSilent);
    copy->SetFileName(fileName);
    // Written under their class names, inherited objects are read by the copy as its own: it
    // does not load its ancestors once more, which doubled the reads at every level of a chain,
    // but takes over this report's, and the flags that go with them.
    const std::vector<TpgwComponent*> objects = AllObjects();
    std::vector<bool> inherited;
    inherited.reserve(objects.size());
    for (TpgwComponent* c : objects)
        inherited.push_back(c->Inherited());
    const bool reportInherited = Inherited();
    setInheritedFlags(false);
    copy->fillingAncestorCopy_ = true;
    copy->CopyFrom(this);
    copy->fillingAncestorCopy_ = false;
    copy->SetReloadingAfterRun(false);
    copy->SetInherited(reportInherited);
    const std::vector<TpgwComponent*> copied = copy->AllObjects();
    for (std::size_t i = 0; i < copied.size() && i < objects.size(); ++i)
        if (copied[i]->Name() == objects[i]->Name()) copied[i]->SetInherited(inherited[i]);
    copy->ancestor_ = std::move(ancestor_);
    for (TpgwComponent* page : copy->Objects()) {
        if (!page->ClassType().InheritsFrom("TpgwReportPage")) continue;
        if (const TPropInfo* info = GetPropInfo(*page, "PaperSize"); info && info->IsWritable())
            SetOrdProp(*page, *info, 256);
    }
    return copy;
}

// Merges a report's former content into it after an ancestor was attached.
class TpgwReport::AncestorMerge {
public:
    AncestorMerge(TpgwReport& report, TpgwReport& kept, bool deleteDuplicates)
        : report_(report), kept_(kept), deleteDuplicates_(deleteDuplicates), writer_(unused_),
          serializer_(unused_) {
        // References are written as the kept report names them and read into this one.
        writer_.SetOwner(&kept);
        serializer_.SetOwner(&report);
    }

    void Run() {
        merge(&kept_, &report_, true);
        resolveReferences();
    }

private:
    bool usedAnywhere(const std::string& name) const {
        return report_.FindObject(name) || kept_.FindObject(name);
    }

    std::string freshName(TpgwComponent* object) const {
        for (int n = 1;; ++n) {
            std::string candidate = object->NameStem() + std::to_string(n);
            if (!usedAnywhere(candidate)) return candidate;
        }
    }

    void merge(TpgwComponent* kept, TpgwComponent* target, bool isRoot) {
        writer_.SetWriteDefaultValues(!isRoot);
        serializer_.XMLToProperties(writer_.PropertiesToXML(kept, "", nullptr), target);
        const std::vector<TpgwComponent*> children = kept->Objects();
        for (TpgwComponent* child : children) {
            TpgwComponent* counterpart =
                child->Name().empty() ? nullptr : report_.FindObject(child->Name());
            const bool isPage = kept == &kept_;
            if (counterpart && isPage && counterpart->Parent() == &report_) {
                merge(child, counterpart, false);
                continue;
            }
            std::string oldName = child->Name();
            if (counterpart) {
                if (deleteDuplicates_) continue; // the ancestor's object wins
                child->SetName("");
            }
            auto* object = dynamic_cast<TpgwComponent*>(child->ClassType().Create(target));
            if (!object) continue;
            if (object->Parent() != target) object->SetParent(target);
            if (!child->Name().empty()) {
                object->SetName(child->Name());
            } else {
                object->SetName(freshName(object));
                // A kept object still to come that uses the new name gives it up.
                if (TpgwComponent* other = kept_.FindObject(object->Name())) {
                    const std::string taken = other->Name();
                    const std::string moved = freshName(other);
                    other->SetName(moved);
                    renames_[taken] = moved;
                }
                if (!oldName.empty()) renames_[oldName] = object->Name();
            }
            merge(child, object, false);
            if (!oldName.empty() && object->Name() != oldName)
                if (auto* dataSet = dynamic_cast<TpgwDataSet*>(object)) {
                    dataSet->SetUserName(object->Name());
                    report_.DataSets()->Add(dataSet);
                }
        }
    }

    void resolveReferences() {
        std::vector<TpgwFixupItem> fixups;
        serializer_.CopyFixups(fixups);
        serializer_.ClearFixups();
        for (const TpgwFixupItem& f : fixups) {
            auto renamed = renames_.find(f.Text);
            const std::string& name = renamed == renames_.end() ? f.Text : renamed->second;
            TComponent* target = report_.FindObject(name);
            if (!target) target = FindComponentByPath(&report_, name);
            if (!target) continue;
            try {
                SetObjectProp(*f.Object, *f.Property, target);
            } catch (const Exception& e) {
                report_.Errors().Add(e.what());
            }
        }
        serializer_.FixupReferences();
    }

    TpgwReport& report_;
    TpgwReport& kept_;
    bool deleteDuplicates_;
    TMemoryStream unused_;
    TpgwXMLSerializer writer_;
    TpgwXMLSerializer serializer_;
    std::map<std::string, std::string> renames_;
};

void TpgwReport::restoreFrom(TpgwReport& kept) {
    // Taking back its own content asks for no password.
    const bool reloading = reloadingAfterRun_;
    reloadingAfterRun_ = true;
    try {
        CopyFrom(&kept);
    } catch (...) {
        reloadingAfterRun_ = reloading;
        throw;
    }
    reloadingAfterRun_ = reloading;
}

bool TpgwReport::AttachAncestorTemplate(const std::string& fileName, int mode) {
    if (fileName == fileName_ || !FileExists(fileName)) return false;
    auto kept = std::make_unique<TpgwReport>(nullptr);
    kept->SetReloadingAfterRun(true);
    kept->EngineOptions()->SetNewSilentMode(simSilent);
    kept->SetFileName(fileName_);
    kept->CopyFrom(this);
    kept->SetReloadingAfterRun(false);

    try {
        SetParentReport(relativePath(fileName, ExtractFilePath(fileName_)));
    } catch (...) {
        // The report's own content is not lost to an ancestor that cannot be read.
        restoreFrom(*kept);
        throw;
    }

    bool duplicates = false;
    for (TpgwComponent* c : kept->AllObjects())
        if (c->Parent() != kept.get() && !c->Name().empty() && FindObject(c->Name()))
            duplicates = true;
    bool deleteDuplicates = mode == 1;
    if (duplicates && mode == 0) {
        const TpgwInheritChoice choice = AskInheritConflict();
        if (choice == TpgwInheritChoice::Cancel) {
            restoreFrom(*kept);
            return false;
        }
        deleteDuplicates = choice == TpgwInheritChoice::DeleteDuplicates;
    }

    TStringList ancestorScript;
    ancestorScript.Assign(*scriptText_);
    AncestorMerge(*this, *kept, deleteDuplicates).Run();

    std::string open = "{", close = "}";
    if (SameText(scriptLanguage_, "C++Script") || SameText(scriptLanguage_, "JScript")) {
        open = "/*";
        close = "*/";
    } else if (SameText(scriptLanguage_, "BasicScript")) {
        open = close = "/\\";
    }
    scriptText_->Assign(*kept->ScriptText());
    scriptText_->Add(open);
    scriptText_->Add("**********Script from parent report**********");
    scriptText_->AddStrings(ancestorScript);
    scriptText_->Add(close);

    for (int i = 0; i < dataSets_->Count(); ++i) {
        TpgwDataSetItem* item = dataSets_->Items(i);
        item->SetDataSetName(item->DataSetName());
    }
    return true;
}

// ---- the data page -----------------------------------------------------------------------------

void TpgwReport::EnsureDataPage() {
    for (TpgwComponent* child : Objects())
        if (child->ClassType().InheritsFrom("TpgwDataPage")) return;
    const TClassInfo* cls = GetClass("TpgwDataPage");
    if (!cls || !cls->CanCreate()) return;
    auto* page = dynamic_cast<TpgwComponent*>(cls->Create(this));
    if (!page) return;
    if (page->Parent() != this) page->SetParent(this);
    if (!FindObject("Data"))
        page->SetName("Data");
    else
        page->MakeUniqueName();
    // First among the children: the others go to the end behind it, in their order.
    const std::vector<TpgwComponent*> others = Objects();
    for (TpgwComponent* child : others) {
        if (child == page) continue;
        child->SetParent(nullptr);
        child->SetParent(this);
    }
    double left = 60;
    for (TpgwComponent* c : AllObjects()) {
        if (!c->ClassType().InheritsFrom(TpgwDialogComponent::StaticClass())) continue;
        c->SetParent(page);
        c->SetTop(20);
        c->SetLeft(left);
        left += 64;
    }
}

void TpgwReport::SetTerminated(bool v) {
    terminated_ = v;
    if (v && script_) script_->Terminate();
}
