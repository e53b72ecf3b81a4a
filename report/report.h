#pragma once
// TpgwReport: the root of every template. It owns its pages (as children), its options, data
// sets, variables, styles and error list, the engine and the prepared pages, and loads and
// saves templates: password, options a template may not change, template inheritance, the
// data page every loaded report has, and error reporting by the engine options' silent mode.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/string_list.h"
#include "platform/core/variant.h"
#include "platform/ui/ui_types.h"
#include "report/component.h"

class TCustomIniFile;
class TForm;
class TTimer;
class TksCustomVariable;
class TksMethodHelper;
class TksScript;
class TpgwCustomDesigner;
class TpgwCustomEngine;
class TpgwCustomExportFilter;
class TpgwCustomPreview;
class TpgwCustomPreviewPages;
class TpgwEngineOptions;
class TpgwExpressionCache;
class TpgwPreviewOptions;
class TpgwPrintOptions;
class TpgwProgress;
class TpgwReportDataSets;
class TpgwReportOptions;
class TpgwStyles;
class TpgwVariables;

// What a progress report is about: the engine building pages, an export, a print job.
enum TpgwProgressType : int { ptRunning, ptExporting, ptPrinting };

class TpgwReport : public TpgwCustomReport {
    LUMETRA_CLASS(TpgwReport, TpgwCustomReport)
public:
    explicit TpgwReport(TComponent* owner);
    ~TpgwReport() override;
    static void RegisterProperties(TClassBuilder<TpgwReport>& b);

    // ---- what the report owns
    TpgwReportDataSets* DataSets() const { return dataSets_.get(); }
    TpgwReportDataSets* OfferedDataSets() const { return offeredDataSets_.get(); }
    TpgwVariables* Variables() const { return variables_.get(); }
    TpgwStyles* Styles() const { return styles_.get(); }
    // None empties the styles; otherwise a copy of styles, applied to the memo views.
    void SetStyles(const TpgwStyles* styles);
    TStrings* ScriptText() const { return scriptText_.get(); }
    void SetScriptText(TStrings* lines);
    // None until the engine module has installed its classes.
    TpgwCustomEngine* Engine() const { return engine_.get(); }
    TpgwCustomPreviewPages* PreviewPages() const { return previewPages_.get(); }
    TpgwEngineOptions* EngineOptions() const { return engineOptions_.get(); }
    void SetEngineOptions(TpgwEngineOptions* value);
    TpgwPreviewOptions* PreviewOptions() const { return previewOptions_.get(); }
    void SetPreviewOptions(TpgwPreviewOptions* value);
    TpgwPrintOptions* PrintOptions() const { return printOptions_.get(); }
    void SetPrintOptions(TpgwPrintOptions* value);
    TpgwReportOptions* ReportOptions() const { return reportOptions_.get(); }
    void SetReportOptions(TpgwReportOptions* value);
    TStringList& SystemVariableNames() { return systemVariableNames_; }
    TStringList& ExpandedDrillDowns() { return expandedDrillDowns_; }
    // The 50 ms one-shot timer that prepares the report from the message loop; made on first
    // use, so that a report needs no event loop until it is shown.
    TTimer* Timer();

    // ---- published state
    const std::string& Version() const { return version_; }
    // Ignores the value: the version is the program's own.
    void SetVersion(const std::string&);
    const std::string& ParentReport() const { return parentReport_; }
    // Loads the ancestor template into the report and marks every object inherited; empty
    // detaches from the ancestor.
    void SetParentReport(const std::string& value);
    TpgwDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TpgwDataSet* value);
    std::string DataSetName() const;
    void SetDataSetName(const std::string& value);
    bool DotMatrixReport() const { return dotMatrixReport_; }
    void SetDotMatrixReport(bool v) { dotMatrixReport_ = v; }
    const std::string& IniFile() const { return iniFile_; }
    void SetIniFile(const std::string& v) { iniFile_ = v; }
    bool OldStyleProgress() const { return oldStyleProgress_; }
    void SetOldStyleProgress(bool v) { oldStyleProgress_ = v; }
    TpgwCustomPreview* Preview() const { return preview_; }
    void SetPreview(TpgwCustomPreview* value);
    const std::string& ScriptLanguage() const { return scriptLanguage_; }
    void SetScriptLanguage(const std::string& v) { scriptLanguage_ = v; }
    bool ShowProgress() const { return showProgress_; }
    void SetShowProgress(bool v) { showProgress_ = v; }
    bool StoreInDFM() const override { return storeInDFM_; }
    void SetStoreInDFM(bool v) { storeInDFM_ = v; }
    // Script procedure names of the report's events.
    std::string OnRunDialogs, OnStartReport, OnStopReport, OnReportPrint;

    // ---- other state
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& v) { fileName_ = v; }
    bool Modified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }
    bool Terminated() const { return terminated_; }
    // Setting it stops the report's script where it runs, as well as the engine's loops.
    void SetTerminated(bool v);
    bool ReloadingAfterRun() const { return reloadingAfterRun_; }
    void SetReloadingAfterRun(bool v) { reloadingAfterRun_ = v; }
    const std::string& ActiveObjectName() const { return activeObjectName_; }
    void SetActiveObjectName(const std::string& v) { activeObjectName_ = v; }
    TpgwCustomDesigner* Designer() const { return designer_; }
    void SetDesigner(TpgwCustomDesigner* designer) { designer_ = designer; }
    TForm* PreviewForm() const { return previewForm_; }
    void SetPreviewForm(TForm* form) { previewForm_ = form; }
    // The private copy of the loaded ancestor template, or none.
    TpgwReport* AncestorCopy() const { return ancestor_.get(); }

    // ---- the hooks of the tree
    bool ThreadSafeMode() const override;
    bool UseGlobalDataSetList() const override;
    TpgwDataSet* GetDataset(std::string_view alias) const override;
    TPersistent* GetAncestor(std::string_view name) override;

    // ---- lifecycle
    // Empties the report: children, data sets, variables, styles; options back to their
    // defaults (the application's engine and preview choices stay); PascalScript.
    void Clear() override;
    // Errors of reading are collected and reported by NewSilentMode; a refused password
    // leaves the report cleared.
    void LoadFromStream(TStream& stream) override;
    // The password is written encoded; the preview reference is never written.
    void SaveToStream(TStream& stream, bool saveChildren = true, bool saveDefaultValues = false,
                      bool useGetAncestor = false) override;
    // Whether the file existed. A missing file leaves the report cleared, or raises with
    // exceptionIfNotFound.
    bool LoadFromFile(const std::string& fileName, bool exceptionIfNotFound = false);
    // Written to a temporary file first: a failed save leaves the earlier file as it was.
    void SaveToFile(const std::string& fileName);
    // Mode 0 asks about duplicate names, 1 deletes them, 2 renames them. Whether the report
    // now inherits from fileName.
    bool AttachAncestorTemplate(const std::string& fileName, int mode);
    int PageListCount() const { return static_cast<int>(Objects().size()); }
    TpgwComponent* PageAt(int index) const { return Objects().at(static_cast<std::size_t>(index)); }
    // Reports "clErrors" and the error list by NewSilentMode.
    void ReportErrors();

    std::string ClassDescription() const override;
    void DefineProperties(TFiler& filer) override;

    // ---- preparation and evaluation (report_prepare.cpp)
    // The report's script: its objects, variables, macros and compiled ScriptText.
    TksScript* Script() const { return script_.get(); }
    TpgwExpressionCache* ExpressionCache() const { return expressionCache_.get(); }
    // Runs the engine over the template; true when the run completed and no error was
    // collected. With DestroyForms the template is saved before and reloaded after the run.
    bool BuildPreparedPages(bool clearLastReport = true);
    // Registers objects, variables and functions in the script and compiles it; false (with
    // "clScrError" in Errors) when it does not compile.
    bool SetUpScript();
    // The value of an expression for the report's own use (memo texts, highlights): a failure
    // is entered into Errors, prefixed by ActiveObjectName, and raised as ECalcError.
    Variant Calc(const std::string& expression) override;
    // The same, evaluated in the context of caller (none: the report's script).
    Variant CalcIn(const std::string& expression, TksScript* caller);
    // For a script's own call: a failure raises "Error in Calc expression: ..." and leaves
    // Errors alone.
    Variant CalcFromScript(const std::string& expression);
    // Fields, system variables, OnGetValue, report and global variables and items of the
    // report's script, in that order; false when none knows expression.
    bool DirectValue(const std::string& expression, Variant& value);
    void CallScriptEvent(const std::string& procedure, TpgwComponent* sender,
                         bool runWhenNotRunning) override;
    void CallScriptEventWithParams(const std::string& procedure, std::vector<Variant>& params,
                                   bool runWhenNotRunning) override;
    void FireBeforePrint(TpgwComponent* object);
    void FireAfterPrint(TpgwComponent* object);
    void FirePreviewClick(TpgwComponent* object, TMouseButton button, TShiftState shift,
                          bool& modified, bool doubleClick);
    // The script variables "Value" and "Self"; nothing before the first set-up.
    void SetScriptValue(const Variant& value) override;
    void SetSelfValue(TpgwComponent* view) override;
    bool DestroyForms() const override;

    // ---- showing, printing, exporting, designing (report_show.cpp)
    // Clears the last pages when asked and shows the preview. Without OldStyleProgress it
    // returns at once: the timer prepares the report from the message loop while the preview
    // is already open. With it the report is prepared first and nothing is shown when that
    // fails.
    void ShowReport(bool clearLastReport = true);
    // Shows the prepared pages as they are: in the embedded Preview when one is set, else in a
    // new preview window (PreviewFormClass; nothing without one).
    void ShowPreparedReport();
    // The prepared pages' Print and Export; their results.
    bool PrintPrepared();
    bool ExportTo(TpgwCustomExportFilter* filter);
    // Nothing when a designer is open or DesignerClass is not set.
    void OpenDesigner(bool modal = false, bool mdiChild = false);
    // The designer, modal, on the current prepared page; whether it changed anything. False
    // when a designer is open or DesignerClass is not set.
    bool EditPreparedPage();
    // The settings store IniFile names: the registry-style store for a key beginning with
    // "\Software\" (letter case counts), else the INI file of that name, "\" read as "/". The
    // caller owns it.
    std::unique_ptr<TCustomIniFile> OpenIniFile();
    // Makes the printer named by PrintOptions.Printer current; an unknown name changes nothing.
    void UsePrintOptionsPrinter();
    // Progress of a run, an export or a print job: the host events, the progress window (for
    // exports and printing, and for runs with OldStyleProgress; only with ShowProgress), and
    // the preview control for runs. A Cancel in the window sets Terminated. Each call lets
    // pending events through; none does anything under ThreadSafeMode.
    virtual void StartProgress(TpgwProgressType type);
    // progress: the 1-based page just done.
    virtual void StepProgress(TpgwProgressType type, int progress);
    virtual void StopProgress(TpgwProgressType type);
    // The progress window's text during an old-style run, and the preview window's status
    // bar (second panel with show).
    void ShowProgressText(const std::string& text, bool show) override;
    // The progress window, while one is shown.
    TpgwProgress* ProgressForm() const { return progressForm_.get(); }

    // Host events.
    TNotifyEvent OnBeginDoc, OnEndDoc, OnPreview, OnPrintReport, OnAfterPrintReport, OnClosePreview,
        OnAfterScriptCompile;
    std::function<void(TpgwComponent*sender)> OnAfterPrint, OnBeforePrint;
    std::function<void(const std::string& varName, Variant& value)> OnGetValue;
    std::function<Variant(const std::string& methodName, Variant& params)> OnUserFunction;
    std::function<void(TpgwComponent* page)> OnManualBuild;
    std::function<void(TpgwComponent* sender)> OnMouseOverObject;
    std::function<void(TpgwComponent* page, int printedCopy)> OnPrintPage;
    std::function<void(TObject*sender, int progressType, int progress)> OnProgressStart, OnProgress,
        OnProgressStop;
    // Loads an ancestor template in place of the file.
    std::function<void(TpgwReport* report, const std::string& templateName)> OnLoadTemplate;
    std::function<void(TpgwComponent*sender, TMouseButton button, TShiftState shift, bool&modified)>
        OnClickObject, OnDblClickObject;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    class AncestorMerge;
    void timerTick();
    bool progressWindowFor(TpgwProgressType type) const;
    void EnsureDataPage();
    void setInheritedFlags(bool value);
    void restoreFrom(TpgwReport& kept);
    std::unique_ptr<TpgwReport> makeAncestorCopy(const std::string& fileName);
    std::string homeFolder() const;
    Variant calc(const std::string& expression, TksScript* caller, bool fromScript);
    bool directValue(const std::string& expression, Variant& value, TksScript* caller,
                     bool fromScript);
    bool systemValue(int index, Variant& value);
    Variant variableValue(const std::string& name, const Variant& stored, TksScript* caller,
                          bool fromScript);
    void addScriptFunctions();
    Variant macroValue(const std::string& name, TksMethodHelper& call);
    Variant getValue(const std::string& name);
    void reloadAfterRun(TStream& work);
    void repointScriptObjects();
    // While the engine runs (a call from inside its message pump), a prepare, load or clear
    // would pull the template from under it: the run is stopped and the call waits until it
    // has unwound. Whether the call was put off.
    bool putOffWhileRunning(std::function<void()> call);
    void runPutOffCalls();
    std::vector<std::function<void()>> putOff_;
    bool loadingStream_ = false;

    std::unique_ptr<TpgwReportDataSets> dataSets_;
    std::unique_ptr<TpgwVariables> variables_;
    std::unique_ptr<TpgwEngineOptions> engineOptions_;
    std::unique_ptr<TpgwPreviewOptions> previewOptions_;
    std::unique_ptr<TpgwPrintOptions> printOptions_;
    std::unique_ptr<TpgwReportOptions> reportOptions_;
    std::unique_ptr<TStringList> scriptText_;
    std::unique_ptr<TpgwStyles> styles_;
    std::unique_ptr<TpgwReportDataSets> offeredDataSets_;
    std::unique_ptr<TpgwCustomEngine> engine_;
    std::unique_ptr<TpgwCustomPreviewPages> previewPages_;
    std::unique_ptr<TpgwReport> ancestor_;
    // The cache's child script refers to the script: declared after it, it goes first.
    std::unique_ptr<TksScript> script_;
    std::unique_ptr<TpgwExpressionCache> expressionCache_;
    // The script items of the report's objects, by object name: they are pointed at the new
    // objects when a run reloads the template.
    std::vector<std::pair<TksCustomVariable*, std::string>> scriptObjects_;
    TksCustomVariable* valueVariable_ = nullptr;
    TksCustomVariable* selfVariable_ = nullptr;
    // Report variables being evaluated, innermost last: a variable met again refers to itself.
    std::vector<std::string> variablesInCalc_;
    TTimer* timer_ = nullptr; // owned as a component
    TStringList systemVariableNames_;
    TStringList expandedDrillDowns_;
    std::string version_;
    std::string parentReport_;
    std::string dataSetName_;
    std::string iniFile_;
    std::string scriptLanguage_;
    std::string fileName_;
    std::string activeObjectName_;
    TpgwDataSet* dataSet_ = nullptr;
    TpgwCustomPreview* preview_ = nullptr;
    TpgwCustomDesigner* designer_ = nullptr;
    TForm* previewForm_ = nullptr;
    std::unique_ptr<TpgwProgress> progressForm_;
    bool dotMatrixReport_ = false;
    bool oldStyleProgress_ = false;
    bool showProgress_ = true;
    bool storeInDFM_ = true;
    bool modified_ = false;
    bool terminated_ = false;
    bool reloadingAfterRun_ = false;
    // Ancestor templates being loaded into this report, one inside the other.
    int ancestorDepth_ = 0;
    // Set while the report is filled as an ancestor copy: ParentReport only records the name.
    bool fillingAncestorCopy_ = false;
};

// Makes a printer of the printer list current by its name (letter case ignored) and leaves
// the current one when none has that name. The printer layer, which lives above the report
// library, installs it at start-up; until then UsePrintOptionsPrinter does nothing.
using TpgwPrinterSelection = std::function<void(const std::string& printerName)>;
TpgwPrinterSelection& PrinterSelectionHook();

// The most ancestor templates a template may stand on, one above the other.
inline constexpr int kMaxParentReportDepth = 32;

// The version every report reports.
inline constexpr const char* kReportVersion = "4.8.5";
