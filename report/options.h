#pragma once
// The report's four option objects: how the engine runs and reports errors, how the preview
// looks, how printing goes, and the template's own description (author, password, picture).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/date_time.h"
#include "platform/core/persistent.h"
#include "platform/core/string_list.h"

class TPicture;
class TStrings;
class TpgwCustomReport;

// How collected errors are reported (ReportError).
enum TpgwSilentMode : std::uint8_t { simMessageBoxes, simSilent, simReThrow };
const TTypeInfo& TpgwSilentModeType();

class TpgwEngineOptions : public TPersistent {
    LUMETRA_CLASS(TpgwEngineOptions, TPersistent)
public:
    TpgwEngineOptions() = default;
    static void RegisterProperties(TClassBuilder<TpgwEngineOptions>& b);

    // Copies ConvertNulls, DoublePass, MaxMemSize, PrintIfEmpty, NewSilentMode, TempDir and
    // UseFileCache only: the unpublished run switches stay as they are.
    void Assign(const TPersistent* source) override;
    // ConvertNulls true, DoublePass false; nothing else.
    void Clear();

    bool ConvertNulls() const { return convertNulls_; }
    void SetConvertNulls(bool v) { convertNulls_ = v; }
    bool DestroyForms() const { return destroyForms_; }
    void SetDestroyForms(bool v) { destroyForms_ = v; }
    bool DoublePass() const { return doublePass_; }
    void SetDoublePass(bool v) { doublePass_ = v; }
    int MaxMemSize() const { return maxMemSize_; }
    void SetMaxMemSize(int v) { maxMemSize_ = v; }
    bool PrintIfEmpty() const { return printIfEmpty_; }
    void SetPrintIfEmpty(bool v) { printIfEmpty_ = v; }
    bool ThreadSafeMode() const { return threadSafeMode_; }
    void SetThreadSafeMode(bool v) { threadSafeMode_ = v; }
    TpgwSilentMode NewSilentMode() const { return newSilentMode_; }
    void SetNewSilentMode(TpgwSilentMode v) { newSilentMode_ = v; }
    // True exactly when NewSilentMode is simSilent; false resets it to simMessageBoxes.
    bool SilentMode() const { return newSilentMode_ == simSilent; }
    void SetSilentMode(bool v) { newSilentMode_ = v ? simSilent : simMessageBoxes; }
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(const std::string& v) { tempDir_ = v; }
    bool UseFileCache() const { return useFileCache_; }
    void SetUseFileCache(bool v) { useFileCache_ = v; }
    bool UseGlobalDataSetList() const { return useGlobalDataSetList_; }
    void SetUseGlobalDataSetList(bool v) { useGlobalDataSetList_ = v; }

private:
    std::string tempDir_;
    int maxMemSize_ = 10;
    TpgwSilentMode newSilentMode_ = simMessageBoxes;
    bool convertNulls_ = true;
    bool destroyForms_ = true;
    bool doublePass_ = false;
    bool printIfEmpty_ = true;
    bool threadSafeMode_ = false;
    bool useFileCache_ = false;
    bool useGlobalDataSetList_ = true;
};

enum TpgwPreviewButton : std::uint8_t {
    pbPrint,
    pbLoad,
    pbSave,
    pbExport,
    pbZoom,
    pbFind,
    pbTree,
    pbPageSetup,
    pbRefresh,
    pbTools,
    pbEdit,
    pbNavigator,
    pbExportQuick
};
using TpgwPreviewButtons = std::uint32_t;                          // bits 1 << TpgwPreviewButton
inline constexpr TpgwPreviewButtons kDefaultPreviewButtons = 4095; // pbPrint .. pbNavigator
enum TpgwZoomMode : std::uint8_t { zmDefault, zmWholePage, zmPageWidth, zmManyPages };

class TpgwPreviewOptions : public TPersistent {
    LUMETRA_CLASS(TpgwPreviewOptions, TPersistent)
public:
    TpgwPreviewOptions() = default;
    static void RegisterProperties(TClassBuilder<TpgwPreviewOptions>& b);

    void Assign(const TPersistent* source) override;
    // The outline and cache fields back to their initial values.
    void Clear();

    bool AllowEdit() const { return allowEdit_; }
    void SetAllowEdit(bool v) { allowEdit_ = v; }
    TpgwPreviewButtons Buttons() const { return buttons_; }
    void SetButtons(TpgwPreviewButtons v) { buttons_ = v; }
    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool v) { doubleBuffered_ = v; }
    bool Maximized() const { return maximized_; }
    void SetMaximized(bool v) { maximized_ = v; }
    bool MDIChild() const { return mdiChild_; }
    void SetMDIChild(bool v) { mdiChild_ = v; }
    bool Modal() const { return modal_; }
    void SetModal(bool v) { modal_ = v; }
    bool OutlineExpand() const { return outlineExpand_; }
    void SetOutlineExpand(bool v) { outlineExpand_ = v; }
    bool OutlineVisible() const { return outlineVisible_; }
    void SetOutlineVisible(bool v) { outlineVisible_ = v; }
    int OutlineWidth() const { return outlineWidth_; }
    void SetOutlineWidth(int v) { outlineWidth_ = v; }
    int PagesInCache() const { return pagesInCache_; }
    void SetPagesInCache(int v) { pagesInCache_ = v; }
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool v) { showCaptions_ = v; }
    bool ThumbnailVisible() const { return thumbnailVisible_; }
    void SetThumbnailVisible(bool v) { thumbnailVisible_ = v; }
    double Zoom() const { return zoom_; }
    void SetZoom(double v) { zoom_ = v; }
    TpgwZoomMode ZoomMode() const { return zoomMode_; }
    void SetZoomMode(TpgwZoomMode v) { zoomMode_ = v; }
    bool PictureCacheInFile() const { return pictureCacheInFile_; }
    void SetPictureCacheInFile(bool v) { pictureCacheInFile_ = v; }
    bool RTLPreview() const { return rtlPreview_; }
    void SetRTLPreview(bool v) { rtlPreview_ = v; }

private:
    double zoom_ = 1;
    TpgwPreviewButtons buttons_ = kDefaultPreviewButtons;
    int outlineWidth_ = 120;
    int pagesInCache_ = 50;
    TpgwZoomMode zoomMode_ = zmDefault;
    bool allowEdit_ = true;
    bool doubleBuffered_ = true;
    bool maximized_ = true;
    bool mdiChild_ = false;
    bool modal_ = true;
    bool outlineExpand_ = true;
    bool outlineVisible_ = false;
    bool showCaptions_ = false;
    bool thumbnailVisible_ = false;
    bool pictureCacheInFile_ = false;
    bool rtlPreview_ = false;
};

enum TpgwPrintMode : std::uint8_t { pmDefault, pmSplit, pmJoin, pmScale };
enum TpgwPrintPages : std::uint8_t { ppAll, ppOdd, ppEven };

class TpgwPrintOptions : public TPersistent {
    LUMETRA_CLASS(TpgwPrintOptions, TPersistent)
public:
    TpgwPrintOptions();
    static void RegisterProperties(TClassBuilder<TpgwPrintOptions>& b);

    // Everything published but SwapPageSize.
    void Assign(const TPersistent* source) override;
    void Clear();

    int Copies() const { return copies_; }
    void SetCopies(int v) { copies_ = v; }
    bool Collate() const { return collate_; }
    void SetCollate(bool v) { collate_ = v; }
    const std::string& PageNumbers() const { return pageNumbers_; }
    void SetPageNumbers(const std::string& v) { pageNumbers_ = v; }
    int PagesOnSheet() const { return pagesOnSheet_; }
    void SetPagesOnSheet(int v) { pagesOnSheet_ = v; }
    const std::string& Printer() const { return printer_; }
    void SetPrinter(const std::string& v) { printer_ = v; }
    TpgwPrintMode PrintMode() const { return printMode_; }
    void SetPrintMode(TpgwPrintMode v) { printMode_ = v; }
    int PrintOnSheet() const { return printOnSheet_; }
    void SetPrintOnSheet(int v) { printOnSheet_ = v; }
    TpgwPrintPages PrintPages() const { return printPages_; }
    void SetPrintPages(TpgwPrintPages v) { printPages_ = v; }
    bool Reverse() const { return reverse_; }
    void SetReverse(bool v) { reverse_ = v; }
    bool ShowDialog() const { return showDialog_; }
    void SetShowDialog(bool v) { showDialog_ = v; }
    bool SwapPageSize() const { return swapPageSize_; }
    void SetSwapPageSize(bool v) { swapPageSize_ = v; }
    const std::string& OutputFileName() const { return outputFileName_; }
    void SetOutputFileName(const std::string& v) { outputFileName_ = v; }

private:
    std::string pageNumbers_;
    std::string printer_;
    std::string outputFileName_;
    int copies_ = 1;
    int pagesOnSheet_ = 0;
    int printOnSheet_ = 0;
    TpgwPrintMode printMode_ = pmDefault;
    TpgwPrintPages printPages_ = ppAll;
    bool collate_ = true;
    bool reverse_ = false;
    bool showDialog_ = true;
    bool swapPageSize_ = false;
};

class TpgwReportOptions : public TPersistent {
    LUMETRA_CLASS(TpgwReportOptions, TPersistent)
public:
    explicit TpgwReportOptions(TpgwCustomReport* report = nullptr);
    ~TpgwReportOptions() override;
    static void RegisterProperties(TClassBuilder<TpgwReportOptions>& b);

    void Assign(const TPersistent* source) override;
    // Empties everything, the password and the picture included; both dates become now.
    void Clear();
    // The picture travels as binary data beside the published properties.
    void DefineProperties(TFiler& filer) override;

    // Passes when the password is empty, or when the prompt is confirmed with exactly the
    // password. A refusal adds "Invalid password" to the report's errors.
    bool CheckPassword();

    TpgwCustomReport* Report() const { return report_; }
    const std::string& Author() const { return author_; }
    void SetAuthor(const std::string& v) { author_ = v; }
    bool Compressed() const { return compressed_; }
    void SetCompressed(bool v) { compressed_ = v; }
    const std::string& ConnectionName() const { return connectionName_; }
    // Hands every stored connection string of that name to OnConnection.
    void SetConnectionName(const std::string& v);
    TDateTime CreateDate() const { return createDate_; }
    void SetCreateDate(TDateTime v) { createDate_ = v; }
    TDateTime LastChange() const { return lastChange_; }
    void SetLastChange(TDateTime v) { lastChange_ = v; }
    TStrings* Description() const { return &description_; }
    void SetDescription(TStrings* v);
    const std::string& InitString() const { return initString_; }
    void SetInitString(const std::string& v) { initString_ = v; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& v) { name_ = v; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& v) { password_ = v; }
    TPicture* Picture() const { return picture_.get(); }
    void SetPicture(const TPicture* v);
    const std::string& VersionBuild() const { return versionBuild_; }
    void SetVersionBuild(const std::string& v) { versionBuild_ = v; }
    const std::string& VersionMajor() const { return versionMajor_; }
    void SetVersionMajor(const std::string& v) { versionMajor_ = v; }
    const std::string& VersionMinor() const { return versionMinor_; }
    void SetVersionMinor(const std::string& v) { versionMinor_ = v; }
    const std::string& VersionRelease() const { return versionRelease_; }
    void SetVersionRelease(const std::string& v) { versionRelease_ = v; }

    // The report's connection handler (unpublished; nothing in the program sets it).
    std::function<void(const std::string& connectionString)> OnConnection;

private:
    TpgwCustomReport* report_;
    std::string author_, connectionName_, initString_, name_, password_;
    std::string versionBuild_, versionMajor_, versionMinor_, versionRelease_;
    mutable TStringList description_;
    std::unique_ptr<TPicture> picture_;
    TDateTime createDate_ = 0;
    TDateTime lastChange_ = 0;
    bool compressed_ = false;
};

// Asks for a template password; true with the entered text when confirmed. The default shows
// the password window; tests install their own.
using TpgwPasswordPrompt = std::function<bool(std::string& password)>;
TpgwPasswordPrompt SetPasswordPrompt(TpgwPasswordPrompt prompt);
const TpgwPasswordPrompt& PasswordPrompt();
