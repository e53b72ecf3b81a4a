#include "report/options.h"

#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/settings_store.h"
#include "platform/graphics/picture.h"
#include "report/component.h"
#include "report/resources.h"
#include "report/small_windows.h"

const TTypeInfo& TpgwSilentModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwSilentMode", {"simMessageBoxes", "simSilent", "simReThrow"});
    return t;
}

namespace {

const TTypeInfo& previewButtonsType() {
    static const TTypeInfo& e =
        DefineEnumType("TpgwPreviewButton", {"pbPrint", "pbLoad", "pbSave", "pbExport", "pbZoom",
                                             "pbFind", "pbTree", "pbPageSetup", "pbRefresh",
                                             "pbTools", "pbEdit", "pbNavigator", "pbExportQuick"});
    static const TTypeInfo& s = DefineSetType("TpgwPreviewButtons", e);
    return s;
}

const TTypeInfo& zoomModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwZoomMode", {"zmDefault", "zmWholePage", "zmPageWidth", "zmManyPages"});
    return t;
}

const TTypeInfo& printModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwPrintMode", {"pmDefault", "pmSplit", "pmJoin", "pmScale"});
    return t;
}

const TTypeInfo& printPagesType() {
    static const TTypeInfo& t = DefineEnumType("TpgwPrintPages", {"ppAll", "ppOdd", "ppEven"});
    return t;
}

TpgwPasswordPrompt& promptSlot() {
    static TpgwPasswordPrompt prompt = ShowPasswordWindow;
    return prompt;
}

} // namespace

// ---- engine options ----------------------------------------------------------------------------

void TpgwEngineOptions::RegisterProperties(TClassBuilder<TpgwEngineOptions>& b) {
    using E = TpgwEngineOptions;
    b.Add("ConvertNulls", &E::ConvertNulls, &E::SetConvertNulls).Default(1);
    b.Add("DoublePass", &E::DoublePass, &E::SetDoublePass).Default(0);
    b.Add("MaxMemSize", &E::MaxMemSize, &E::SetMaxMemSize).Default(10);
    b.Add("PrintIfEmpty", &E::PrintIfEmpty, &E::SetPrintIfEmpty).Default(1);
    b.Add("NewSilentMode", TpgwSilentModeType(), &E::NewSilentMode, &E::SetNewSilentMode)
        .Default(simMessageBoxes);
    b.Add("SilentMode", &E::SilentMode, &E::SetSilentMode).Default(0);
    b.Add("TempDir", &E::TempDir, &E::SetTempDir);
    b.Add("UseFileCache", &E::UseFileCache, &E::SetUseFileCache).Default(0);
}

void TpgwEngineOptions::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwEngineOptions*>(source);
    if (!s) return TPersistent::Assign(source);
    convertNulls_ = s->convertNulls_;
    doublePass_ = s->doublePass_;
    maxMemSize_ = s->maxMemSize_;
    printIfEmpty_ = s->printIfEmpty_;
    newSilentMode_ = s->newSilentMode_;
    tempDir_ = s->tempDir_;
    useFileCache_ = s->useFileCache_;
}

void TpgwEngineOptions::Clear() {
    convertNulls_ = true;
    doublePass_ = false;
}

// ---- preview options ---------------------------------------------------------------------------

void TpgwPreviewOptions::RegisterProperties(TClassBuilder<TpgwPreviewOptions>& b) {
    using P = TpgwPreviewOptions;
    b.Add("AllowEdit", &P::AllowEdit, &P::SetAllowEdit).Default(1);
    b.Add("Buttons", previewButtonsType(), &P::Buttons, &P::SetButtons).NoDefault();
    b.Add("DoubleBuffered", &P::DoubleBuffered, &P::SetDoubleBuffered).Default(1);
    b.Add("Maximized", &P::Maximized, &P::SetMaximized).Default(1);
    b.Add("MDIChild", &P::MDIChild, &P::SetMDIChild).Default(0);
    b.Add("Modal", &P::Modal, &P::SetModal).Default(1);
    b.Add("OutlineExpand", &P::OutlineExpand, &P::SetOutlineExpand).Default(1);
    b.Add("OutlineVisible", &P::OutlineVisible, &P::SetOutlineVisible).Default(0);
    b.Add("OutlineWidth", &P::OutlineWidth, &P::SetOutlineWidth).Default(120);
    b.Add("PagesInCache", &P::PagesInCache, &P::SetPagesInCache).Default(50);
    b.Add("ShowCaptions", &P::ShowCaptions, &P::SetShowCaptions).Default(0);
    b.Add("ThumbnailVisible", &P::ThumbnailVisible, &P::SetThumbnailVisible).Default(0);
    b.Add("Zoom", TypeInfoExtended(), &P::Zoom, &P::SetZoom);
    b.Add("ZoomMode", zoomModeType(), &P::ZoomMode, &P::SetZoomMode).Default(zmDefault);
    b.Add("PictureCacheInFile", &P::PictureCacheInFile, &P::SetPictureCacheInFile).Default(0);
}

void TpgwPreviewOptions::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwPreviewOptions*>(source);
    if (!s) return TPersistent::Assign(source);
    zoom_ = s->zoom_;
    buttons_ = s->buttons_;
    outlineWidth_ = s->outlineWidth_;
    pagesInCache_ = s->pagesInCache_;
    zoomMode_ = s->zoomMode_;
    allowEdit_ = s->allowEdit_;
    doubleBuffered_ = s->doubleBuffered_;
    maximized_ = s->maximized_;
    mdiChild_ = s->mdiChild_;
    modal_ = s->modal_;
    outlineExpand_ = s->outlineExpand_;
    outlineVisible_ = s->outlineVisible_;
    showCaptions_ = s->showCaptions_;
    thumbnailVisible_ = s->thumbnailVisible_;
    pictureCacheInFile_ = s->pictureCacheInFile_;
    rtlPreview_ = s->rtlPreview_;
}

void TpgwPreviewOptions::Clear() {
    outlineExpand_ = true;
    outlineVisible_ = false;
    outlineWidth_ = 120;
    pagesInCache_ = 50;
    thumbnailVisible_ = false;
}

// ---- print options -----------------------------------------------------------------------------

TpgwPrintOptions::TpgwPrintOptions() {
    Clear();
}

void TpgwPrintOptions::RegisterProperties(TClassBuilder<TpgwPrintOptions>& b) {
    using P = TpgwPrintOptions;
    b.Add("Copies", &P::Copies, &P::SetCopies).Default(1);
    b.Add("Collate", &P::Collate, &P::SetCollate).Default(1);
    b.Add("PageNumbers", &P::PageNumbers, &P::SetPageNumbers);
    b.Add("Printer", &P::Printer, &P::SetPrinter);
    b.Add("PrintMode", printModeType(), &P::PrintMode, &P::SetPrintMode).Default(pmDefault);
    b.Add("PrintOnSheet", &P::PrintOnSheet, &P::SetPrintOnSheet).NoDefault();
    b.Add("PrintPages", printPagesType(), &P::PrintPages, &P::SetPrintPages).Default(ppAll);
    b.Add("Reverse", &P::Reverse, &P::SetReverse).Default(0);
    b.Add("ShowDialog", &P::ShowDialog, &P::SetShowDialog).Default(1);
    b.Add("SwapPageSize", &P::SwapPageSize, &P::SetSwapPageSize).Default(0);
}

void TpgwPrintOptions::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwPrintOptions*>(source);
    if (!s) return TPersistent::Assign(source);
    copies_ = s->copies_;
    collate_ = s->collate_;
    pageNumbers_ = s->pageNumbers_;
    printer_ = s->printer_;
    printMode_ = s->printMode_;
    printOnSheet_ = s->printOnSheet_;
    printPages_ = s->printPages_;
    reverse_ = s->reverse_;
    showDialog_ = s->showDialog_;
}

void TpgwPrintOptions::Clear() {
    copies_ = 1;
    collate_ = true;
    pageNumbers_.clear();
    pagesOnSheet_ = 0;
    printer_ = GetResources().GetText("prDefault");
    printMode_ = pmDefault;
    printOnSheet_ = 0;
    printPages_ = ppAll;
    reverse_ = false;
    showDialog_ = true;
    swapPageSize_ = false;
    outputFileName_.clear();
}

// ---- report options ----------------------------------------------------------------------------

TpgwReportOptions::TpgwReportOptions(TpgwCustomReport* report)
    : report_(report), picture_(std::make_unique<TPicture>()) {
    createDate_ = Now();
    lastChange_ = createDate_;
}

TpgwReportOptions::~TpgwReportOptions() = default;

void TpgwReportOptions::RegisterProperties(TClassBuilder<TpgwReportOptions>& b) {
    using R = TpgwReportOptions;
    b.Add("Author", &R::Author, &R::SetAuthor);
    b.Add("Compressed", &R::Compressed, &R::SetCompressed).Default(0);
    b.Add("ConnectionName", &R::ConnectionName, &R::SetConnectionName);
    b.Add("CreateDate", TypeInfoDateTime(), &R::CreateDate, &R::SetCreateDate);
    b.Add("Description", TypeInfoStrings(), &R::Description, &R::SetDescription);
    b.Add("InitString", &R::InitString, &R::SetInitString);
    b.Add("LastChange", TypeInfoDateTime(), &R::LastChange, &R::SetLastChange);
    b.Add("Name", &R::Name, &R::SetName);
    b.Add("Password", &R::Password, &R::SetPassword);
    b.Add("VersionBuild", &R::VersionBuild, &R::SetVersionBuild);
    b.Add("VersionMajor", &R::VersionMajor, &R::SetVersionMajor);
    b.Add("VersionMinor", &R::VersionMinor, &R::SetVersionMinor);
    b.Add("VersionRelease", &R::VersionRelease, &R::SetVersionRelease);
}

void TpgwReportOptions::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Picture", [this](TStream& s) { picture_->LoadFromStream(s); },
        [this](TStream& s) { picture_->SaveToStream(s); }, !picture_->Empty());
}

void TpgwReportOptions::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwReportOptions*>(source);
    if (!s) return TPersistent::Assign(source);
    author_ = s->author_;
    compressed_ = s->compressed_;
    connectionName_ = s->connectionName_;
    createDate_ = s->createDate_;
    lastChange_ = s->lastChange_;
    description_.Assign(s->description_);
    initString_ = s->initString_;
    name_ = s->name_;
    password_ = s->password_;
    picture_->Assign(*s->picture_);
    versionBuild_ = s->versionBuild_;
    versionMajor_ = s->versionMajor_;
    versionMinor_ = s->versionMinor_;
    versionRelease_ = s->versionRelease_;
}

void TpgwReportOptions::Clear() {
    author_.clear();
    compressed_ = false;
    connectionName_.clear();
    description_.Clear();
    initString_.clear();
    name_.clear();
    password_.clear();
    picture_->Clear();
    versionBuild_.clear();
    versionMajor_.clear();
    versionMinor_.clear();
    versionRelease_.clear();
    createDate_ = Now();
    lastChange_ = createDate_;
}

void TpgwReportOptions::SetDescription(TStrings* v) {
    if (v && v != &description_) description_.Assign(*v);
}

void TpgwReportOptions::SetPicture(const TPicture* v) {
    if (v && v != picture_.get()) picture_->Assign(*v);
}

void TpgwReportOptions::SetConnectionName(const std::string& v) {
    connectionName_ = v;
    if (v.empty() || !OnConnection) return;
    static constexpr const char* kKey = "\\Software\\Quillmark\\Connections";
    const std::string keys[] = {kKey, kKey, std::string(kKey) + "FIB", std::string(kKey) + "FIB"};
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                          HKEY_CURRENT_USER};
    for (int i = 0; i < 4; ++i) {
        std::string value;
        try {
            TRegistry registry;
            registry.SetRootKey(roots[i]);
            if (registry.OpenKeyReadOnly(keys[i]) && registry.ValueExists(v))
                value = registry.ReadString(v);
        } catch (const Exception&) {
            continue; // an unreadable store holds no connection
        }
        if (!value.empty()) OnConnection(value);
    }
}

bool TpgwReportOptions::CheckPassword() {
    if (password_.empty()) return true;
    std::string entered;
    const TpgwPasswordPrompt& prompt = PasswordPrompt();
    const bool confirmed = prompt && prompt(entered);
    if (confirmed && entered == password_) return true;
    if (report_) report_->Errors().Add(GetResources().GetText("Invalid password"));
    return false;
}

TpgwPasswordPrompt SetPasswordPrompt(TpgwPasswordPrompt prompt) {
    TpgwPasswordPrompt previous = std::move(promptSlot());
    promptSlot() = std::move(prompt);
    return previous;
}

const TpgwPasswordPrompt& PasswordPrompt() {
    return promptSlot();
}
