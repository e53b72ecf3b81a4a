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

private:
    void BuildLeftPane();
    void BuildSettingsArea();
    void BuildRightPane();
    void BuildGridColumns();

    std::string exeFolder_;
    std::unique_ptr<TIniFile> regIniFile_;
    std::string examFolder_;
    std::string videoFolder_; // the video list's folder
    std::vector<TImage*> thumbnails_;
    Tfd_imageform* imageForm_ = nullptr; // owned as a component
};

// The shell's folder dialog: the chosen folder, or "" when the user cancels. With an initial
// folder the dialog opens on it.
std::string BrowseFolder(const std::string& title, const std::string& initialFolder);
