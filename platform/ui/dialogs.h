#pragma once
// Common dialogs: open and save file, font, colour, printer set-up, and the folder browser.
// All of them run through the message reporter, so tests answer them.

#include <functional>
#include <string>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/string_list.h"
#include "platform/graphics/font.h"

template <class C> class TClassBuilder;

class TCommonDialog : public TComponent {
    LUMETRA_CLASS(TCommonDialog, TComponent)
public:
    explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
    static void RegisterProperties(TClassBuilder<TCommonDialog>& b);
    // True when the user confirmed.
    virtual bool Execute() = 0;
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value) { title_ = value; }

private:
    std::string title_;
};

using TOpenOptions = std::uint32_t; // bits of TOpenOption
enum TOpenOption : std::uint8_t {
    ofReadOnly,
    ofOverwritePrompt,
    ofHideReadOnly,
    ofNoChangeDir,
    ofShowHelp,
    ofNoValidate,
    ofAllowMultiSelect,
    ofExtensionDifferent,
    ofPathMustExist,
    ofFileMustExist,
    ofCreatePrompt,
    ofShareAware,
    ofNoReadOnlyReturn,
    ofNoTestFileCreate,
    ofNoNetworkButton,
    ofNoLongNames,
    ofOldStyleDialog,
    ofNoDereferenceLinks,
    ofEnableIncludeNotify,
    ofEnableSizing
};

class TOpenDialog : public TCommonDialog {
    LUMETRA_CLASS(TOpenDialog, TCommonDialog)
public:
    explicit TOpenDialog(TComponent* owner) : TCommonDialog(owner) {}
    static void RegisterProperties(TClassBuilder<TOpenDialog>& b);
    bool Execute() override;
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    // The chosen files (one unless ofAllowMultiSelect).
    TStrings& Files() { return files_; }
    // "Description|mask;mask|..."
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& value) { filter_ = value; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int value) { filterIndex_ = value; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& value) { initialDir_ = value; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& value) { defaultExt_ = value; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions value) { options_ = value; }

protected:
    bool Run(bool save);

private:
    std::string fileName_;
    TStringList files_;
    std::string filter_;
    int filterIndex_ = 1;
    std::string initialDir_;
    std::string defaultExt_;
    TOpenOptions options_ = (1u << ofHideReadOnly) | (1u << ofEnableSizing);
};

class TSaveDialog : public TOpenDialog {
    LUMETRA_CLASS(TSaveDialog, TOpenDialog)
public:
    explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
    bool Execute() override;
};

class TFontDialog : public TCommonDialog {
    LUMETRA_CLASS(TFontDialog, TCommonDialog)
public:
    explicit TFontDialog(TComponent* owner) : TCommonDialog(owner) {}
    static void RegisterProperties(TClassBuilder<TFontDialog>& b);
    bool Execute() override;
    TFont* Font() const { return const_cast<TFont*>(&font_); }
    void SetFont(TFont* value) {
        if (value) font_.Assign(*value);
    }

private:
    TFont font_;
};

class TColorDialog : public TCommonDialog {
    LUMETRA_CLASS(TColorDialog, TCommonDialog)
public:
    explicit TColorDialog(TComponent* owner) : TCommonDialog(owner) {}
    static void RegisterProperties(TClassBuilder<TColorDialog>& b);
    bool Execute() override;
    TColor Color() const { return color_; }
    void SetColor(TColor value) { color_ = value; }

private:
    TColor color_ = clBlack;
};

// The printer set-up dialog. The printer layer installs the handler that shows it; without
// one the request goes to the message reporter.
class TPrinterSetupDialog : public TCommonDialog {
    LUMETRA_CLASS(TPrinterSetupDialog, TCommonDialog)
public:
    explicit TPrinterSetupDialog(TComponent* owner) : TCommonDialog(owner) {}
    bool Execute() override;
    static void SetHandler(std::function<bool(TPrinterSetupDialog&)> handler);
};

// The folder browser: the chosen folder, or "" when cancelled. With an initial folder the
// dialog opens on it.
std::string BrowseForFolder(const std::string& title, const std::string& initialFolder);
