#include "app/main_form.h"

#include <cmath>
#include <tuple>
#include <utility>

#include "app/dm_unit.h"
#include "app/exam_query.h"
#include "app/main_unit.h"
#include "platform/core/files.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/ui/containers.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"

namespace {

using namespace lumetra_ini;

constexpr int kFontPixels = 15;
constexpr const char* kFontName = "宋体";

template <class T> T* Make(TComponent* owner, TWinControl* parent, const char* name) {
    T* c = new T(owner);
    if (name && *name) c->SetName(name);
    c->SetParent(parent);
    return c;
}

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, const std::string& text, int left,
                  int top, TColor color = clWindowText) {
    auto* label = Make<TLabel>(owner, parent, "");
    label->SetCaption(text);
    label->SetBounds(left, top, 0, 0);
    if (color != clWindowText) label->Font()->SetColor(color);
    return label;
}

// The red mark of the fields that match parts of a text.
TLabel* MakeStar(TComponent* owner, TWinControl* parent, int left, int top) {
    return MakeLabel(owner, parent, "*", left, top, clRed);
}

// A labelled folder field of the settings area; its "..." button browses from the field's folder.
std::pair<TEdit*, TSpeedButton*> MakeFolderRow(TComponent* owner, TWinControl* parent,
                                               const std::string& label, const char* editName,
                                               const char* buttonName, int top) {
    MakeLabel(owner, parent, label, 310, top);
    auto* edit = Make<TEdit>(owner, parent, editName);
    edit->SetBounds(310, top + 20, 300, 23);
    auto* button = Make<TSpeedButton>(owner, parent, buttonName);
    button->SetCaption("...");
    button->SetBounds(614, top + 20, 28, 23);
    button->OnClick = [edit](TObject*) {
        const std::string folder = BrowseFolder("", edit->Text());
        if (!folder.empty()) edit->SetText(folder);
    };
    return {edit, button};
}

struct GridColumn {
    const char* Field;
    const char* Title;
    int Width;
    TAlignment Alignment;
};

constexpr GridColumn kGridColumns[] = {
    {"csid", "超声号", 60, taRightJustify},
    {"name", "姓名", 60, taCenter},
    {"sex", "性别", 32, taCenter},
    {"age", "年龄", 30, taCenter},
    {"ageunit", "单位", 30, taCenter},
    {"songjianpart", "送检科室", 80, taCenter},
    {"patientsource", "病人来源", 80, taCenter},
    {"bednum", "床号", 50, taCenter},
    {"zhuyuannum", "住院号", 50, taCenter},
    {"menzhennum", "门诊号", 50, taCenter},
    {"shenqingdoc", "申请医师", 80, taCenter},
    {"jianchadoc", "检查医生", 80, taCenter},
    {"money", "收费", 50, taCenter},
};

} // namespace

std::string BrowseFolder(const std::string& title, const std::string& initialFolder) {
    return BrowseForFolder(title, initialFolder);
}

TMainForm::TMainForm(TComponent* owner, const std::string& exeFolder)
    : TForm(owner), exeFolder_(IncludeTrailingPathDelimiter(exeFolder)) {
    SetName("MainForm");
    SetCaption("Lumetra");
    Font()->SetName(kFontName);
    Font()->SetHeight(-kFontPixels);
    Font()->SetCharset(GB2312_CHARSET);
    SetPosition(poScreenCenter);
    SetClientWidth(891);
    SetClientHeight(642);
    Constraints()->SetMinWidth(130);
    Constraints()->SetMinHeight(50);

    OD = new TOpenDialog(this);
    OD->SetName("OD");
    delimgpop = new TPopupMenu(this);
    delimgpop->SetName("delimgpop");
    N1 = new TMenuItem(this);
    N1->SetName("N1");
    N1->SetCaption("删除");
    delimgpop->Items()->Add(N1);

    // The right pane fills what the left pane and the bar leave, so it is made last.
    BuildLeftPane();
    LxSplitter1 = Make<TSplitter>(this, this, "LxSplitter1");
    LxSplitter1->SetAlign(alLeft);
    LxSplitter1->SetWidth(7);
    LxSplitter1->SetLeft(LxPanel1->Width());
    BuildSettingsArea();
    BuildRightPane();
    BuildReportPage();

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    DoCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildLeftPane() {
    LxPanel1 = Make<TPanel>(this, this, "LxPanel1");
    LxPanel1->SetCaption("");
    LxPanel1->SetBevelOuter(bvNone);
    LxPanel1->SetAlign(alLeft);
    LxPanel1->SetWidth(304);

    FilterGroup = Make<TGroupBox>(this, LxPanel1, "FilterGroup");
    FilterGroup->SetCaption("检索条件");
    FilterGroup->SetBounds(5, 4, 289, 213);
    TWinControl* g = FilterGroup;

    MakeLabel(this, g, "姓名:", 14, 26);
    MakeStar(this, g, 4, 26);
    edt_name = Make<TEdit>(this, g, "edt_name");
    edt_name->SetBounds(92, 22, 185, 23);

    MakeLabel(this, g, "诊断医生:", 14, 54);
    MakeStar(this, g, 4, 54);
    Edt_Doc = Make<TEdit>(this, g, "Edt_Doc");
    Edt_Doc->SetBounds(92, 50, 185, 23);

    MakeLabel(this, g, "档案号:", 14, 82);
    Edt_CSID = Make<TEdit>(this, g, "Edt_CSID");
    Edt_CSID->SetBounds(92, 78, 185, 23);

    TLabel* dateLabel = MakeLabel(this, g, "检查日期:", 8, 110, clNavy);
    dateLabel->Font()->SetHeight(-16);
    dateLabel->Font()->SetStyle({fsBold});
    sq_jcdatemin = Make<TDateTimePicker>(this, g, "sq_jcdatemin");
    sq_jcdatemin->SetBounds(92, 106, 185, 23);
    MakeLabel(this, g, "=>", 66, 138);
    sq_jcdatemax = Make<TDateTimePicker>(this, g, "sq_jcdatemax");
    sq_jcdatemax->SetBounds(92, 134, 185, 23);

    // The conclusion filter stays on the panel, hidden, so it is always empty.
    ZhenDuanLabel = MakeLabel(this, g, "超声诊断:", 14, 166);
    ZhenDuanLabel->SetVisible(false);
    sq_ZhenDuan = Make<TEdit>(this, g, "sq_ZhenDuan");
    sq_ZhenDuan->SetBounds(92, 162, 185, 23);
    sq_ZhenDuan->SetVisible(false);

    MakeStar(this, g, 8, 166);
    MakeLabel(this, g, "代表当前字段支付模糊查询", 20, 166, clRed);
    Check_GroupDoc = Make<TCheckBox>(this, g, "Check_GroupDoc");
    Check_GroupDoc->SetCaption("按检查医生分组显示");
    Check_GroupDoc->SetBounds(8, 186, 260, 20);

    ViewGroup = Make<TGroupBox>(this, LxPanel1, "ViewGroup");
    ViewGroup->SetCaption("视图");
    ViewGroup->SetBounds(5, 222, 289, 52);
    Check_View_Report = Make<TRadioButton>(this, ViewGroup, "Check_View_Report");
    Check_View_Report->SetCaption("报告");
    Check_View_Report->SetBounds(40, 22, 80, 20);
    Check_View_All = Make<TRadioButton>(this, ViewGroup, "Check_View_All");
    Check_View_All->SetCaption("详细");
    Check_View_All->SetBounds(160, 22, 80, 20);
    Check_View_Report->OnClick = [this](TObject* s) { Check_View_ReportClick(s); };
    Check_View_All->OnClick = [this](TObject* s) { Check_View_ReportClick(s); };

    Butt_Select = Make<TBitBtn>(this, LxPanel1, "Butt_Select");
    Butt_Select->SetCaption("查询(&S)");
    Butt_Select->SetBounds(30, 288, 100, 30);
    Butt_Select->OnClick = [this](TObject* s) { Butt_SelectClick(s); };
    suiButton2 = Make<TBitBtn>(this, LxPanel1, "suiButton2");
    suiButton2->SetCaption("退出(&Q)");
    suiButton2->SetBounds(170, 288, 100, 30);
    suiButton2->OnClick = [this](TObject* s) { suiButton2Click(s); };

    DBGridX = Make<TDBGrid>(this, LxPanel1, "DBGridX");
    DBGridX->SetBounds(8, 360, 289, 285);
    DBGridX->SetAnchors(kAllAnchors);
    DBGridX->SetOptions((1u << dgTitles) | (1u << dgIndicator) | (1u << dgColumnResize) |
                        (1u << dgColLines) | (1u << dgRowLines) | (1u << dgTabs) |
                        (1u << dgRowSelect) | (1u << dgConfirmDelete) | (1u << dgCancelOnExit));
    DBGridX->TitleFont()->SetName(kFontName);
    DBGridX->TitleFont()->SetHeight(-kFontPixels);
    DBGridX->TitleFont()->SetCharset(GB2312_CHARSET);
    DBGridX->SetPopupMenu(delimgpop);
    DBGridX->OnDblClick = [this](TObject* s) { DBGridxDblClick(s); };
    BuildGridColumns();
}

void TMainForm::BuildGridColumns() {
    TDBGridColumns* columns = DBGridX->Columns();
    columns->BeginUpdate();
    for (const GridColumn& c : kGridColumns) {
        TColumn* col = columns->Add();
        col->SetFieldName(c.Field);
        col->Title()->SetCaption(c.Title);
        col->Title()->SetAlignment(taCenter);
        col->SetWidth(c.Width);
        col->SetAlignment(c.Alignment);
    }
    columns->EndUpdate();
}

void TMainForm::BuildSettingsArea() {
    // Beyond the pane's first width: the user drags the splitter to reach it.
    TWinControl* p = LxPanel1;
    MakeLabel(this, p, "备份数据库文件路径", 310, 10);
    Edt_CDPath = Make<TEdit>(this, p, "Edt_CDPath");
    Edt_CDPath->SetBounds(310, 30, 300, 23);
    SpeedButton1 = Make<TSpeedButton>(this, p, "SpeedButton1");
    SpeedButton1->SetCaption("...");
    SpeedButton1->SetBounds(614, 30, 28, 23);
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };

    std::tie(Edt_ImagePath, ImagePathButton) =
        MakeFolderRow(this, p, "影像目录路径", "Edt_ImagePath", "ImagePathButton", 62);
    Edt_ImagePath->OnChange = [this](TObject* s) { Edt_ImagePathChange(s); };
    std::tie(Edt_RptFmtPath, RptFmtPathButton) =
        MakeFolderRow(this, p, "报告格式路径", "Edt_RptFmtPath", "RptFmtPathButton", 114);
    Edt_RptFmtPath->OnChange = [this](TObject* s) { Edt_RptFmtPathChange(s); };

    MakeLabel(this, p, "报告单显示医院名称", 310, 166);
    Edt_hostName = Make<TEdit>(this, p, "Edt_hostName");
    Edt_hostName->SetBounds(310, 186, 250, 23);
    LxBitBtn1 = Make<TBitBtn>(this, p, "LxBitBtn1");
    LxBitBtn1->SetCaption("保存");
    LxBitBtn1->SetBounds(566, 184, 76, 27);
    LxBitBtn1->OnClick = [this](TObject* s) { LxBitBtn1Click(s); };
}

void TMainForm::BuildRightPane() {
    LxPageControl1 = Make<TPageControl>(this, this, "LxPageControl1");
    LxPageControl1->SetAlign(alClient);

    TabSheet1 = new TTabSheet(this);
    TabSheet1->SetName("TabSheet1");
    TabSheet1->SetPageControl(LxPageControl1);
    TabSheet1->SetTabVisible(false);
    WdDock1 = Make<TPanel>(this, TabSheet1, "WdDock1");
    WdDock1->SetCaption("");
    WdDock1->SetAlign(alTop);
    WdDock1->SetHeight(22);

    TabSheet2 = new TTabSheet(this);
    TabSheet2->SetName("TabSheet2");
    TabSheet2->SetPageControl(LxPageControl1);
    TabSheet2->SetTabVisible(false);

    LxPageControl2 = Make<TPageControl>(this, TabSheet2, "LxPageControl2");
    LxPageControl2->SetAlign(alBottom);
    LxPageControl2->SetHeight(106);
    LxPageControl2->SetTabPosition(tpBottom);
    StillSheet = new TTabSheet(this);
    StillSheet->SetName("StillSheet");
    StillSheet->SetCaption("静态图像");
    StillSheet->SetPageControl(LxPageControl2);
    BottomBar = Make<TScrollBox>(this, StillSheet, "BottomBar");
    BottomBar->SetAlign(alClient);
    BottomBar->VertScrollBar()->SetVisible(false);
    MovieSheet = new TTabSheet(this);
    MovieSheet->SetName("MovieSheet");
    MovieSheet->SetCaption("动态图像");
    MovieSheet->SetPageControl(LxPageControl2);
    FilmLIst = Make<TListBox>(this, MovieSheet, "FilmLIst");
    FilmLIst->SetAlign(alClient);
    FilmLIst->SetColumns(2);
    FilmLIst->SetItemHeight(18);
    Play_button = Make<TSpeedButton>(this, MovieSheet, "Play_button");
    Play_button->SetCaption("播放");
    Play_button->SetFlat(true);
    Play_button->SetAnchors(AnchorBit(akRight) | AnchorBit(akBottom));
    LxPageControl2->SetActivePage(MovieSheet);
    Play_button->SetBounds(MovieSheet->ClientWidth() - 60, MovieSheet->ClientHeight() - 26, 56, 24);
    Play_button->BringToFront();
    Play_button->OnClick = [this](TObject* s) { Play_buttonClick(s); };

    RE = Make<TMemo>(this, TabSheet2, "RE");
    RE->SetAlign(alClient);
    RE->SetScrollBars(ssBoth);
    RE->SetWordWrap(false);
    LxPageControl1->SetActivePage(TabSheet2);
}

void TMainForm::FormCreate(TObject*) {
    TMainUnitValues& v = MainUnit();
    v.ExeFolder = exeFolder_;
    const std::string iniName = v.ExeFolder + kFileName;
    if (!FileExists(iniName)) {
        TIniFile writer(iniName);
        writer.WriteString(kNote, kNoteKey, kNoteText);
    }
    regIniFile_ = std::make_unique<TIniFile>(iniName);
    TIniFile& ini = *regIniFile_;
    v.ImageRoot = ini.ReadString(kImage, kImagePath, kDefaultImagePath);
    v.DbFile = ini.ReadString(kDb, kDbFile, kDefaultDbFile);
    Edt_CDPath->SetText(v.DbFile);
    Edt_ImagePath->SetText(v.ImageRoot);
    v.LogoFile = ini.ReadString(kAutorun, kCross, kDefaultLogo);
    v.ReportFormatDir = ini.ReadString(kReport, kRptfmt, kDefaultRptfmt);
    Edt_RptFmtPath->SetText(v.ReportFormatDir);
    v.HospitalName = ini.ReadString(kReport, kHospital, kDefaultHospital);
    Edt_hostName->SetText(v.HospitalName);
    Edt_CSID->Clear();
    const TDateTime today = std::floor(Date());
    sq_jcdatemin->SetDate(today - 30);
    sq_jcdatemax->SetDate(today);
}

void TMainForm::Edt_ImagePathChange(TObject*) {
    MainUnit().ImageRoot = Edt_ImagePath->Text();
    if (regIniFile_) regIniFile_->WriteString(kImage, kImagePath, MainUnit().ImageRoot);
}

void TMainForm::Edt_RptFmtPathChange(TObject*) {
    MainUnit().ReportFormatDir = Edt_RptFmtPath->Text();
    if (regIniFile_) regIniFile_->WriteString(kReport, kRptfmt, MainUnit().ReportFormatDir);
}

void TMainForm::LxBitBtn1Click(TObject*) {
    MainUnit().HospitalName = Edt_hostName->Text();
    if (regIniFile_) regIniFile_->WriteString(kReport, kHospital, MainUnit().HospitalName);
}

void TMainForm::SpeedButton1Click(TObject*) {
    if (!OD->Execute()) return;
    const std::string chosen = OD->FileName();
    if (!FileExists(chosen)) {
        MessageBox(this, chosen + "文件不存在!", "警告", MB_ICONWARNING);
        return;
    }
    MainUnit().DbFile = chosen;
    Edt_CDPath->SetText(chosen);
    if (regIniFile_) regIniFile_->WriteString(kDb, kDbFile, chosen);
    if (DM) DM->Connect(true);
}

void TMainForm::suiButton2Click(TObject*) {
    if (DM) DM->Mqry->Close();
    Close();
}

void TMainForm::Butt_SelectClick(TObject*) {
    if (!DM || !DM->Mconnect->Connected()) {
        DBGridX->Columns()->Clear();
        return;
    }
    TExamFilter filter;
    filter.Name = edt_name->Text();
    filter.Doctor = Edt_Doc->Text();
    filter.ExamNumber = Edt_CSID->Text();
    filter.Conclusion = sq_ZhenDuan->Text();
    filter.DateMin = sq_jcdatemin->Date();
    filter.DateMax = sq_jcdatemax->Date();
    filter.GroupByDoctor = Check_GroupDoc->Checked();
    std::vector<std::string> lines;
    try {
        lines = BuildExamQuery(filter);
    } catch (const EExamNumberError& e) {
        // The exam list stays as it was.
        MessageBox(this, e.what(), "警告", MB_ICONWARNING);
        return;
    }
    TADOQuery* q = DM->Mqry;
    q->Close();
    q->SQL().BeginUpdate();
    q->SQL().Clear();
    for (const std::string& line : lines)
        q->SQL().Add(line);
    q->SQL().EndUpdate();
    q->Open();
}
