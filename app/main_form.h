#pragma once
// The main window of the exam browser: the filter panel and exam list on the left, the
// settings area beyond them (reached by dragging the splitter), and the right pane with the
// report page and the details page.
//
// Controls that the toolbar and control libraries will supply (framed edits, splitter, tabs,
// grid, date pickers, directory edits, rich edit, page scroller, file list) are the platform's
// standard controls for now, under the names they will keep.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/form.h"

class TCheckBox;
class TDateTimePicker;
class TDBGrid;
class TEdit;
class TGroupBox;
class TIniFile;
class TLabel;
class TListBox;
class TMemo;
class TOpenDialog;
class TPageControl;
class TPanel;
class TPopupMenu;
class TMenuItem;
class TRadioButton;
class TScrollBox;
class TSpeedButton;
class TSplitter;
class TTabSheet;
class TBitBtn;
class TImage;
class Tfd_imageform;
class TToolBar;
class TToolButton;
class TpgwComponent;
class TpgwReport;
class TpgwDBDataset;
class TpgwPreview;
class TpgwCustomExportFilter;
class TpgwPDFExport;
class TpgwTIFFExport;
class TpgwRTFExport;
class TpgwBMPExport;
class TpgwJPEGExport;
class TpgwHTMLExport;
class TpgwGIFExport;
class TpgwSimpleTextExport;
class TpgwCSVExport;
class TpgwXLSExport;
class TpgwXMLExport;
class TpgwODSExport;
class TpgwODTExport;
class TpgwTXTExport;
class TpgwCrossObject;
class TpgwMailExport;
class TPicture;
class Variant;

class TMainForm : public TForm {
    LUMETRA_CLASS(TMainForm, TForm)
public:
    // exeFolder: the folder "lumetra.ini" lives in, with a trailing separator. Runs FormCreate.
    TMainForm(TComponent* owner, const std::string& exeFolder);
    ~TMainForm() override;

    // The settings store over "lumetra.ini" (RegIniFile).
    TIniFile& RegIniFile() { return *regIniFile_; }

    // ---- left pane
    TPanel* LxPanel1 = nullptr;
    TSplitter* LxSplitter1 = nullptr;
    TGroupBox* FilterGroup = nullptr; // "检索条件"
    TEdit* edt_name = nullptr;
    TEdit* Edt_Doc = nullptr;
    TEdit* Edt_CSID = nullptr;
    TDateTimePicker* sq_jcdatemin = nullptr;
    TDateTimePicker* sq_jcdatemax = nullptr;
    TLabel* ZhenDuanLabel = nullptr;
    TEdit* sq_ZhenDuan = nullptr;
    TCheckBox* Check_GroupDoc = nullptr;
    TGroupBox* ViewGroup = nullptr; // "视图"
    TRadioButton* Check_View_Report = nullptr;
    TRadioButton* Check_View_All = nullptr;
    TBitBtn* Butt_Select = nullptr;
    TBitBtn* suiButton2 = nullptr;
    TDBGrid* DBGridX = nullptr;
    // ---- settings area
    TEdit* Edt_CDPath = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    TEdit* Edt_ImagePath = nullptr;
    TSpeedButton* ImagePathButton = nullptr;
    TEdit* Edt_RptFmtPath = nullptr;
    TSpeedButton* RptFmtPathButton = nullptr;
    TEdit* Edt_hostName = nullptr;
    TBitBtn* LxBitBtn1 = nullptr;
    // ---- right pane
    TPageControl* LxPageControl1 = nullptr;
    TTabSheet* TabSheet1 = nullptr; // the report page
    TPanel* WdDock1 = nullptr;
    TToolBar* WdToolbar1 = nullptr;
    TToolButton* WdItem10 = nullptr;       // 缩小
    TToolButton* WdItem9 = nullptr;        // 放大
    TToolButton* WdItem8 = nullptr;        // 100%
    TToolButton* WdItem7 = nullptr;        // 整页显示
    TToolButton* WdItem6 = nullptr;        // 页面宽度
    TToolButton* WdItem5 = nullptr;        // 多页显示
    TToolButton* WdSubmenuItem2 = nullptr; // 导出
    TPopupMenu* WdSubmenu2 = nullptr;
    TMenuItem* WdItem1 = nullptr;   // PDF
    TMenuItem* WdItem2 = nullptr;   // TIFF
    TMenuItem* WdItem11 = nullptr;  // WORD
    TMenuItem* WdItem12 = nullptr;  // BMP
    TMenuItem* WdItem13 = nullptr;  // JPG
    TMenuItem* WdItem14 = nullptr;  // html
    TToolButton* WdItem3 = nullptr; // 打印
    TpgwPreview* pgwPrv = nullptr;
    TTabSheet* TabSheet2 = nullptr; // the details page
    TMemo* RE = nullptr;
    TPageControl* LxPageControl2 = nullptr;
    TTabSheet* StillSheet = nullptr; // "静态图像"
    TScrollBox* BottomBar = nullptr;
    TTabSheet* MovieSheet = nullptr; // "动态图像"
    TListBox* FilmLIst = nullptr;
    TSpeedButton* Play_button = nullptr;
    // ---- non-visual
    TOpenDialog* OD = nullptr;
    TPopupMenu* delimgpop = nullptr;
    TMenuItem* N1 = nullptr;
    TpgwReport* pgwpt = nullptr;
    TpgwDBDataset* db = nullptr;
    TpgwPDFExport* pgwPDFExport1 = nullptr;
    TpgwTIFFExport* pgwTIFFExport1 = nullptr;
    TpgwRTFExport* pgwRTFExport1 = nullptr;
    TpgwBMPExport* pgwBMPExport1 = nullptr;
    TpgwJPEGExport* pgwJPEGExport1 = nullptr;
    TpgwHTMLExport* pgwHTMLExport1 = nullptr;
    TpgwGIFExport* pgwGIFExport1 = nullptr;
    TpgwSimpleTextExport* pgwSimpleTextExport1 = nullptr;
    TpgwCSVExport* pgwCSVExport1 = nullptr;
    TpgwXLSExport* pgwXLSExport1 = nullptr;
    TpgwXMLExport* pgwXMLExport1 = nullptr;
    TpgwODSExport* pgwODSExport1 = nullptr;
    TpgwODTExport* pgwODTExport1 = nullptr;
    TpgwTXTExport* pgwTXTExport1 = nullptr;
    TpgwMailExport* pgwMailExport1 = nullptr;
    // Templates may hold cross-tabs.
    TpgwCrossObject* pgwCrossObject1 = nullptr;
    TpgwCrossObject* pgwCrossObject2 = nullptr;

    // Handlers, as the controls call them.
    void FormCreate(TObject* sender);
    void Butt_SelectClick(TObject* sender);
    void SpeedButton1Click(TObject* sender);
    void Edt_ImagePathChange(TObject* sender);
    void Edt_RptFmtPathChange(TObject* sender);
    void LxBitBtn1Click(TObject* sender);
    void suiButton2Click(TObject* sender);

    // ---- the opened exam (main_form_exam.cpp)
    // A double-click on the list opens the exam the query stands on.
    void DBGridxDblClick(TObject* sender);
    // Writes the details, finds the exam's folder and fills the strip and the video list.
    void ShowRecord();
    void ShowThumbnails(const std::string& folder);
    void ThumbnailDblClick(TObject* sender);
    void Play_buttonClick(TObject* sender);
    // The right pane shows the report (报告) or the details (详细).
    void Check_View_ReportClick(TObject* sender);
    // Asks for the image root when the configured one is missing; "" when none is chosen.
    std::string AskImageFolder();
    // The folder of the opened exam's images; "" when its record has no image path.
    const std::string& ExamFolder() const { return examFolder_; }
    const std::vector<TImage*>& Thumbnails() const { return thumbnails_; }
    // The zoom window, made on first use.
    Tfd_imageform& ImageForm();

    // ---- the exam's report (main_form_report.cpp)
    // Runs the query again, stands on the exam and shows the report its record names.
    void ShowExamReport(const Variant& id);
    // Before each object of the report prints: hospital name, logo, rich-text settings and the
    // exam's pictures.
    void pgwptBeforePrint(TpgwComponent* sender);
    // The report is waiting for its preparation or still preparing.
    bool ReportPreparing() const;
    void WdItem10Click(TObject* sender);
    void WdItem9Click(TObject* sender);
    void WdItem8Click(TObject* sender);
    void WdItem7Click(TObject* sender);
    void WdItem6Click(TObject* sender);
    void WdItem5Click(TObject* sender);
    void WdItem3Click(TObject* sender);
    // Every item of the export menu: the filter it names gets the offered name and the pages.
    void ExportClick(TObject* sender);
    // The filter behind an item of the export menu; null for any other sender.
    TpgwCustomExportFilter* ExportFilterOf(TObject* sender) const;

private:
    void BuildLeftPane();
    void BuildSettingsArea();
    void BuildRightPane();
    void BuildGridColumns();
    void BuildReportPage();
    void BuildExportFilters();
    // The logo and pictures of the opened exam, read from their files once per exam.
    struct ExamPictures;
    ExamPictures& Pictures();

    std::string exeFolder_;
    std::unique_ptr<TIniFile> regIniFile_;
    std::string examFolder_;
    std::string videoFolder_; // the video list's folder
    std::vector<TImage*> thumbnails_;
    Tfd_imageform* imageForm_ = nullptr;     // owned as a component
    std::shared_ptr<ExamPictures> pictures_; // shared: the type is complete in one file only
    bool filledThisRun_ = false;             // the before-print handler's work is done for this run
};

// The shell's folder dialog: the chosen folder, or "" when the user cancels. With an initial
// folder the dialog opens on it.
std::string BrowseFolder(const std::string& title, const std::string& initialFolder);
