#include "platform/ui/dialogs.h"

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/message_reporter.h"

namespace {

const TTypeInfo& OpenOptionsType() {
    static const TTypeInfo& element = DefineEnumType("TOpenOption", {"ofReadOnly",
                                                                     "ofOverwritePrompt",
                                                                     "ofHideReadOnly",
                                                                     "ofNoChangeDir",
                                                                     "ofShowHelp",
                                                                     "ofNoValidate",
                                                                     "ofAllowMultiSelect",
                                                                     "ofExtensionDifferent",
                                                                     "ofPathMustExist",
                                                                     "ofFileMustExist",
                                                                     "ofCreatePrompt",
                                                                     "ofShareAware",
                                                                     "ofNoReadOnlyReturn",
                                                                     "ofNoTestFileCreate",
                                                                     "ofNoNetworkButton",
                                                                     "ofNoLongNames",
                                                                     "ofOldStyleDialog",
                                                                     "ofNoDereferenceLinks",
                                                                     "ofEnableIncludeNotify",
                                                                     "ofEnableSizing"});
    static const TTypeInfo& t = DefineSetType("TOpenOptions", element);
    return t;
}

std::function<bool(TPrinterSetupDialog&)>& PrinterSetupHandler() {
    static std::function<bool(TPrinterSetupDialog&)> handler;
    return handler;
}

} // namespace

void TCommonDialog::RegisterProperties(TClassBuilder<TCommonDialog>& b) {
    b.Add("Title", &TCommonDialog::Title, &TCommonDialog::SetTitle);
}

void TOpenDialog::RegisterProperties(TClassBuilder<TOpenDialog>& b) {
    b.Add("DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt);
    b.Add("FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName);
    b.Add("Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter);
    b.Add("FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex).Default(1);
    b.Add("InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir);
    b.Add("Options", OpenOptionsType(), &TOpenDialog::Options, &TOpenDialog::SetOptions)
        .Default((1u << ofHideReadOnly) | (1u << ofEnableSizing));
}

bool TOpenDialog::Run(bool save) {
    Application();
    TDialogRequest r;
    r.Kind = save ? TDialogKind::SaveFile : TDialogKind::OpenFile;
    r.Title = Title();
    r.InitialDir = initialDir_;
    r.Filter = filter_;
    r.FilterIndex = filterIndex_;
    r.DefaultExt = defaultExt_;
    r.AllowMultiSelect = (options_ & (1u << ofAllowMultiSelect)) != 0;
    r.FileMustExist = (options_ & (1u << ofFileMustExist)) != 0;
    r.OverwritePrompt = (options_ & (1u << ofOverwritePrompt)) != 0;
    r.FileName = fileName_;
    if (!MessageReporter().ExecuteDialog(r)) return false;
    fileName_ = r.FileName;
    files_.Clear();
    for (const std::string& f : r.Files)
        files_.Add(f);
    if (files_.Count() == 0 && !fileName_.empty()) files_.Add(fileName_);
    filterIndex_ = r.FilterIndex;
    return true;
}

bool TOpenDialog::Execute() {
    return Run(false);
}

bool TSaveDialog::Execute() {
    return Run(true);
}

void TFontDialog::RegisterProperties(TClassBuilder<TFontDialog>& b) {
    b.Add("Font", &TFontDialog::Font, &TFontDialog::SetFont);
}

bool TFontDialog::Execute() {
    Application();
    TDialogRequest r;
    r.Kind = TDialogKind::Font;
    r.Title = Title();
    r.Font = font_.Data();
    if (!MessageReporter().ExecuteDialog(r)) return false;
    font_.SetData(r.Font);
    return true;
}

void TColorDialog::RegisterProperties(TClassBuilder<TColorDialog>& b) {
    b.Add("Color", TypeInfoColor(), &TColorDialog::Color, &TColorDialog::SetColor).Default(clBlack);
}

bool TColorDialog::Execute() {
    Application();
    TDialogRequest r;
    r.Kind = TDialogKind::Color;
    r.Title = Title();
    r.Color = color_;
    if (!MessageReporter().ExecuteDialog(r)) return false;
    color_ = r.Color;
    return true;
}

void TPrinterSetupDialog::SetHandler(std::function<bool(TPrinterSetupDialog&)> handler) {
    PrinterSetupHandler() = std::move(handler);
}

bool TPrinterSetupDialog::Execute() {
    if (PrinterSetupHandler()) return PrinterSetupHandler()(*this);
    Application();
    TDialogRequest r;
    r.Kind = TDialogKind::PrinterSetup;
    r.Title = Title();
    return MessageReporter().ExecuteDialog(r);
}

std::string BrowseForFolder(const std::string& title, const std::string& initialFolder) {
    Application();
    TDialogRequest r;
    r.Kind = TDialogKind::Folder;
    r.Title = title;
    r.InitialDir = initialFolder;
    if (!MessageReporter().ExecuteDialog(r)) return {};
    return r.FileName;
}
