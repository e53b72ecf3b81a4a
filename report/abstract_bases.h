#pragma once
// What the report object model knows of the parts built on top of it: the engine, the store of
// prepared pages and its outline, the preview control, the designer window, export filters and
// report wizards. The concrete classes live in later libraries and make themselves known
// through the class references below, set by their modules' start-up.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/date_time.h"
#include "platform/core/string_list.h"
#include "platform/core/variant.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/form.h"

class TCanvas;
class TStream;
class TpgwComponent;
class TpgwCustomPreviewPages;
class TpgwReport;

// ---- engine ------------------------------------------------------------------------------------

class TpgwCustomEngine : public TPersistent {
    LUMETRA_CLASS(TpgwCustomEngine, TPersistent)
public:
    explicit TpgwCustomEngine(TpgwReport* report);
    ~TpgwCustomEngine() override;
    static void RegisterProperties(TClassBuilder<TpgwCustomEngine>& b);

    virtual void EndPage() = 0;
    virtual void NewColumn() = 0;
    virtual void NewPage() = 0;
    virtual void ShowBand(TpgwComponent* band) = 0;
    virtual void ShowBandOfClass(const TClassInfo& bandClass) = 0;
    virtual double HeaderHeight() = 0;
    virtual double FooterHeight() = 0;
    virtual double FreeSpace() = 0;
    virtual Variant GetAggregateValue(const std::string& name, const std::string& expression,
                                      TpgwComponent* band, int flags) = 0;
    // True when the run completed.
    virtual bool Run() = 0;
    // Sets the report's Terminated, which also stops a running script.
    void StopReport();
    // Anchors of the prepared pages, kept by the store: a name for the current page and
    // position, and the 1-based page of the last anchor of a name (1 when there is none).
    virtual void AddAnchor(const std::string& text) { (void)text; }
    virtual int GetAnchorPage(const std::string& text) {
        (void)text;
        return 1;
    }

    TpgwReport* Report() const { return report_; }
    // Objects told of every band the engine shows (NotifyBandShown); not owned.
    std::vector<TpgwComponent*>& BandShownListeners() { return bandShownListeners_; }
    TpgwCustomPreviewPages* PreviewPages() const { return previewPages_; }
    void SetPreviewPages(TpgwCustomPreviewPages* pages) { previewPages_ = pages; }
    bool Running() const { return running_; }
    void SetRunning(bool v) { running_ = v; }
    int LineValue = 0;
    int RunningLineValue = 0;

    int CurColumn() const { return curColumn_; }
    void SetCurColumn(int v) { curColumn_ = v; }
    int CurVColumn() const { return curVColumn_; }
    void SetCurVColumn(int v) { curVColumn_ = v; }
    double CurX() const { return curX_; }
    void SetCurX(double v) { curX_ = v; }
    double CurY() const { return curY_; }
    void SetCurY(double v) { curY_ = v; }
    // The report's EngineOptions.DoublePass.
    bool DoublePass() const;
    bool FinalPass() const { return finalPass_; }
    void SetFinalPass(bool v) { finalPass_ = v; }
    double PageHeight() const { return pageHeight_; }
    void SetPageHeight(double v) { pageHeight_ = v; }
    double PageWidth() const { return pageWidth_; }
    void SetPageWidth(double v) { pageWidth_ = v; }
    TDateTime StartDate() const { return startDate_; }
    void SetStartDate(TDateTime v) { startDate_ = v; }
    TDateTime StartTime() const { return startTime_; }
    void SetStartTime(TDateTime v) { startTime_ = v; }
    int TotalPages() const { return totalPages_; }
    void SetTotalPages(int v) { totalPages_ = v; }
    bool SecondScriptCall() const { return secondScriptCall_; }
    void SetSecondScriptCall(bool v) { secondScriptCall_ = v; }

private:
    TpgwReport* report_;
    TpgwCustomPreviewPages* previewPages_ = nullptr;
    std::vector<TpgwComponent*> bandShownListeners_;
    double curX_ = 0, curY_ = 0, pageHeight_ = 0, pageWidth_ = 0;
    TDateTime startDate_ = 0, startTime_ = 0;
    int curColumn_ = 0, curVColumn_ = 0, totalPages_ = 0;
    bool running_ = false, finalPass_ = false, secondScriptCall_ = false;
};

// ---- outline -----------------------------------------------------------------------------------

class TpgwCustomOutline : public TPersistent {
    LUMETRA_CLASS(TpgwCustomOutline, TPersistent)
public:
    explicit TpgwCustomOutline(TpgwCustomPreviewPages* previewPages);
    ~TpgwCustomOutline() override;

    virtual int GetCount() = 0;
    virtual void AddItem(const std::string& text, int top) = 0;
    virtual void LevelDown(int index) = 0;
    virtual void LevelRoot() = 0;
    virtual void LevelUp() = 0;
    virtual void GetItem(int index, std::string& text, int& page, int& top) = 0;
    // item: the store's outline element (opaque here).
    virtual void ShiftItems(void* fromItem, int newTop) = 0;
    virtual void* LastItem() = 0;

    TpgwCustomPreviewPages* PreviewPages() const { return previewPages_; }
    // The engine of the store.
    TpgwCustomEngine* GetEngine() const;

private:
    TpgwCustomPreviewPages* previewPages_;
};

// ---- prepared pages ----------------------------------------------------------------------------

class TpgwCustomExportFilter;

class TpgwCustomPreviewPages {
public:
    // Keeps the report and creates the outline (through OutlineClass).
    explicit TpgwCustomPreviewPages(TpgwReport* report);
    virtual ~TpgwCustomPreviewPages();
    TpgwCustomPreviewPages(const TpgwCustomPreviewPages&) = delete;
    TpgwCustomPreviewPages& operator=(const TpgwCustomPreviewPages&) = delete;

    virtual int GetCount() = 0;
    virtual TpgwComponent* GetPage(int index) = 0;
    virtual void GetPageSize(int index, int& width, int& height) = 0;
    virtual void Clear() = 0;
    virtual void Initialize() = 0;
    virtual void AddObject(TpgwComponent* object) = 0;
    virtual void AddPage(TpgwComponent* page) = 0;
    virtual void AddSourcePage(TpgwComponent* page) = 0;
    virtual void AddToSourcePage(TpgwComponent* object) = 0;
    virtual void BeginPass() = 0;
    virtual void ClearFirstPassPages() = 0;
    virtual void CutObjects(int position) = 0;
    virtual void Finish() = 0;
    virtual void IncLogicalPageNumber() = 0;
    virtual void ResetLogicalPageNumber() = 0;
    virtual void PasteObjects(double x, double y) = 0;
    virtual void ShiftAnchors(int index, int top) = 0;
    virtual void AddPicture(TpgwComponent* picture) = 0;
    virtual bool BandExists(TpgwComponent* band) = 0;
    virtual int GetCurPosition() = 0;
    virtual int GetAnchorCurPosition() = 0;
    virtual double GetLastY(double x) = 0;
    virtual int GetLogicalPageNo() = 0;
    virtual int GetLogicalTotalPages() = 0;
    virtual void AddEmptyPage(int index) = 0;
    virtual void DeletePage(int index) = 0;
    virtual void ModifyPage(int index, TpgwComponent* page) = 0;
    virtual void DrawPage(int index, TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                          double offsetY) = 0;
    virtual void ObjectOver(int index, int x, int y, TMouseButton button, TShiftState shift,
                            double scale, int offsetX, int offsetY, bool click, TCursor& cursor,
                            bool doubleClick) = 0;
    virtual void AddFrom(TpgwReport* report) = 0;
    virtual void LoadFromStream(TStream& stream, bool partialLoad) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    virtual bool LoadFromFile(const std::string& fileName, bool exceptionIfNotFound) = 0;
    virtual void SaveToFile(const std::string& fileName) = 0;
    // Whether the run was done.
    virtual bool Print() = 0;
    virtual bool Export(TpgwCustomExportFilter* filter) = 0;

    TpgwReport* Report() const { return report_; }
    TpgwCustomEngine* Engine() const { return engine_; }
    void SetEngine(TpgwCustomEngine* engine) { engine_ = engine; }
    TpgwCustomOutline* Outline() const { return outline_.get(); }
    // The page index behind the value "Page#".
    int CurPage = 0;

private:
    TpgwReport* report_;
    TpgwCustomEngine* engine_ = nullptr;
    std::unique_ptr<TpgwCustomOutline> outline_;
};

// ---- preview control ---------------------------------------------------------------------------

class TpgwCustomPreview : public TCustomControl {
    LUMETRA_CLASS(TpgwCustomPreview, TCustomControl)
public:
    explicit TpgwCustomPreview(TComponent* owner);
    ~TpgwCustomPreview() override;

    // Binds to the report's prepared pages and applies the preview options.
    virtual void Init() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual void RefreshReport() = 0;
    virtual void StartProgress(TObject* sender, int progressType, int progress) = 0;
    virtual void StepProgress(TObject* sender, int progressType, int progress) = 0;
    virtual void StopProgress(TObject* sender, int progressType, int progress) = 0;

    TpgwReport* Report() const { return report_; }
    void SetReport(TpgwReport* report) { report_ = report; }
    TpgwCustomPreviewPages* PreviewPages() const { return previewPages_; }
    // The report sets none when it lets the control go (or is destroyed): the control must
    // forget everything it shows of those pages.
    virtual void SetPreviewPages(TpgwCustomPreviewPages* pages) { previewPages_ = pages; }

private:
    TpgwReport* report_ = nullptr;
    TpgwCustomPreviewPages* previewPages_ = nullptr;
};

// ---- designer ----------------------------------------------------------------------------------

class TpgwCustomDesigner : public TForm {
    LUMETRA_CLASS(TpgwCustomDesigner, TForm)
public:
    TpgwCustomDesigner(TComponent* owner, TpgwReport* report, bool previewPageMode = false);
    ~TpgwCustomDesigner() override;

    // Stores the flag; true also marks the report modified.
    virtual void NotifyChanged(bool modified);
    virtual void ShowPage(TpgwComponent* page);
    virtual TStrings* GetCodeLines() = 0;
    virtual std::string EditExpressionDialog(const std::string& expression) = 0;
    virtual void ResetSelection() = 0;
    virtual void RebuildPageTabs() = 0;
    virtual void RebuildFromReport() = 0;
    virtual void RefreshDataTree() = 0;
    virtual void RepaintPage() = 0;
    // The rest of the start-up, run from the event loop once the report has shown the window.
    virtual void FinishStartup() {}

    TpgwReport* Report() const { return report_; }
    bool PreviewPageMode() const { return previewPageMode_; }
    bool Modified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }
    TpgwComponent* Page() const { return page_; }
    std::vector<TObject*>& Objects() { return objects_; }
    std::vector<TObject*>& SelectedObjects() { return selectedObjects_; }

private:
    TpgwReport* report_;
    TpgwComponent* page_ = nullptr;
    std::vector<TObject*> objects_;
    std::vector<TObject*> selectedObjects_;
    bool previewPageMode_;
    bool modified_ = false;
};

// ---- preview window ----------------------------------------------------------------------------

// The window a report shows its pages in when no preview control is set.
class TpgwCustomPreviewForm : public TForm {
    LUMETRA_CLASS(TpgwCustomPreviewForm, TForm)
public:
    explicit TpgwCustomPreviewForm(TComponent* owner) : TForm(owner) {}

    // The window's preview control; the report makes it its Preview.
    virtual TpgwCustomPreview* PreviewControl() = 0;
    // Called by the report once the control is bound, before the window is shown.
    virtual void ApplyPreviewOptions() = 0;
    // A progress text in the status bar: the first progress panel, or the second one.
    virtual void ShowProgressMessage(const std::string& text, bool usePanel2) = 0;

    // Set by the report for a window shown without waiting: closing frees it.
    bool FreeOnClose = false;
};

// ---- export filters ----------------------------------------------------------------------------

class TpgwCustomExportFilter : public TComponent {
    LUMETRA_CLASS(TpgwCustomExportFilter, TComponent)
public:
    // Enters the export-filter registry.
    explicit TpgwCustomExportFilter(TComponent* owner);
    // A filter outside the registry, without owner (CreateUnlisted).
    struct UnlistedTag {};
    explicit TpgwCustomExportFilter(UnlistedTag);
    // Leaves the registry (unless unlisted).
    ~TpgwCustomExportFilter() override;
    static void RegisterProperties(TClassBuilder<TpgwCustomExportFilter>& b);

    // The caption of the filter's class; empty in the base.
    virtual std::string FilterCaption() const { return {}; }
    // A modal result: 1 goes on, anything else cancels.
    virtual int AskOptions() { return 1; }
    // False aborts the export.
    virtual bool OpenOutput() { return true; }
    // One object of the current page.
    virtual void WriteItem(TpgwComponent* object) = 0;
    virtual void CloseOutput() {}
    virtual void LeavePage(TpgwComponent* /*page*/, int /*index*/) {}
    virtual void EnterPage(TpgwComponent* /*page*/, int /*index*/) {}

    bool ShowDialog() const { return showDialog_; }
    void SetShowDialog(bool v) { showDialog_ = v; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& v) { fileName_ = v; }
    bool ExportNotPrintable() const { return exportNotPrintable_; }
    void SetExportNotPrintable(bool v) { exportNotPrintable_ = v; }
    bool UseFileCache() const { return useFileCache_; }
    void SetUseFileCache(bool v) { useFileCache_ = v; }
    const std::string& DefaultPath() const { return defaultPath_; }
    void SetDefaultPath(const std::string& v) { defaultPath_ = v; }
    bool ShowProgress() const { return showProgress_; }
    void SetShowProgress(bool v) { showProgress_ = v; }
    bool OverwritePrompt() const { return overwritePrompt_; }
    void SetOverwritePrompt(bool v) { overwritePrompt_ = v; }
    bool CurrentPageOnly() const { return currentPageOnly_; }
    void SetCurrentPageOnly(bool v) { currentPageOnly_ = v; }
    const std::string& PageNumbers() const { return pageNumbers_; }
    void SetPageNumbers(const std::string& v) { pageNumbers_ = v; }
    TpgwReport* Report() const { return report_; }
    void SetReport(TpgwReport* v) { report_ = v; }
    // When set, the filter writes here instead of a file, shows no dialog and opens nothing.
    TStream* TargetStream() const { return targetStream_; }
    void SetTargetStream(TStream* v) { targetStream_ = v; }
    // On behalf of another exporter: no save dialog, no opening, output in the temporary folder.
    bool SlaveMode() const { return slaveMode_; }
    void SetSlaveMode(bool v) { slaveMode_ = v; }
    // The default extension with its dot (".csv").
    const std::string& FileExtension() const { return fileExtension_; }
    void SetFileExtension(const std::string& v) { fileExtension_ = v; }
    // The save dialog's filter ("CSV file (*.csv)|*.csv").
    const std::string& FileFilter() const { return fileFilter_; }
    void SetFileFilter(const std::string& v) { fileFilter_ = v; }
    // The options dialog's caption, for filters sharing one dialog class.
    const std::string& DialogTitle() const { return dialogTitle_; }
    void SetDialogTitle(const std::string& v) { dialogTitle_ = v; }
    bool SuppressPageHeadersFooters() const { return suppressPageHeadersFooters_; }
    void SetSuppressPageHeadersFooters(bool v) { suppressPageHeadersFooters_ = v; }
    // Every file one run wrote, for filters that write several; none for the others.
    TStringList* OutputFiles() const { return outputFiles_.get(); }
    void SetOutputFiles(std::unique_ptr<TStringList> files) { outputFiles_ = std::move(files); }
    bool Unlisted() const { return unlisted_; }
    // True while CloseOutput runs after a failure inside the run: a filter then keeps the file
    // it would replace instead of the partial one.
    bool RunFailed() const { return runFailed_; }
    void SetRunFailed(bool v) { runFailed_ = v; }

private:
    std::string fileName_, defaultPath_, pageNumbers_, fileExtension_, fileFilter_, dialogTitle_;
    TpgwReport* report_ = nullptr;
    TStream* targetStream_ = nullptr;
    std::unique_ptr<TStringList> outputFiles_;
    bool showDialog_ = true;
    bool exportNotPrintable_ = false;
    bool useFileCache_ = true;
    bool showProgress_ = true;
    bool overwritePrompt_ = false;
    bool currentPageOnly_ = false;
    bool slaveMode_ = false;
    bool suppressPageHeadersFooters_ = false;
    bool unlisted_ = false;
    bool runFailed_ = false;
};

// What a store hands to the export protocol.
class TpgwExportSource {
public:
    virtual ~TpgwExportSource() = default;
    // The built page of an index (owned by the source).
    virtual TpgwComponent* ExportPage(int index) = 0;
    // The objects to write for the page, in order.
    virtual void ExportObjects(TpgwComponent* page, int index,
                               std::vector<TpgwComponent*>& objects) = 0;
    // Stops the run between pages.
    virtual bool ExportTerminated() { return false; }
};

// The calling order every store keeps: AskOptions (only with ShowDialog; a result other than 1
// cancels and gives false), OpenOutput (false: nothing is exported), then for each page of
// pages EnterPage, WriteItem per object and LeavePage; CloseOutput at the end. LeavePage and
// CloseOutput run also when a call in between raises (CloseOutput with RunFailed set); the
// exception then goes on to the caller.
bool RunExportProtocol(TpgwCustomExportFilter& filter, TpgwExportSource& source,
                       const std::vector<int>& pages);

// ---- wizards -----------------------------------------------------------------------------------

class TpgwCustomWizard : public TComponent {
    LUMETRA_CLASS(TpgwCustomWizard, TComponent)
public:
    // The owner is the designer window; the report is the designer's.
    explicit TpgwCustomWizard(TComponent* owner);
    ~TpgwCustomWizard() override;

    virtual std::string WizardCaption() const { return {}; }
    // True when it created something.
    virtual bool Execute() = 0;

    TpgwCustomDesigner* Designer() const { return designer_; }
    TpgwReport* Report() const { return report_; }

private:
    TpgwCustomDesigner* designer_;
    TpgwReport* report_;
};

// ---- the concrete classes, installed by their modules ------------------------------------------

using TpgwEngineFactory = std::function<std::unique_ptr<TpgwCustomEngine>(TpgwReport*)>;
using TpgwPreviewPagesFactory = std::function<std::unique_ptr<TpgwCustomPreviewPages>(TpgwReport*)>;
using TpgwOutlineFactory =
    std::function<std::unique_ptr<TpgwCustomOutline>(TpgwCustomPreviewPages*)>;
using TpgwDesignerFactory =
    std::function<TpgwCustomDesigner*(TComponent* owner, TpgwReport*, bool previewPageMode)>;
using TpgwPreviewFormFactory = std::function<TpgwCustomPreviewForm*(TComponent* owner)>;

// The engine library sets the first three; the designer sets DesignerClass, the preview
// window's module PreviewFormClass. A report made before the engine module started has no
// engine and no prepared pages; without a preview window only an embedded preview control
// shows pages.
TpgwEngineFactory& EngineClass();
TpgwPreviewPagesFactory& PreviewPagesClass();
TpgwOutlineFactory& OutlineClass();
TpgwDesignerFactory& DesignerClass();
TpgwPreviewFormFactory& PreviewFormClass();

// Eight decimals, ties to even (paper dimensions).
double RoundTo8(double x);
