#include "export/txt_export_dialog.h"


#include "engine/dialog_building.h"
#include "export/export_filter.h"
#include "export/txt_export.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"
#include "report/abstract_bases.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

constexpr int kOptionsWidth = 257; // the groups of the narrow form
constexpr int kFormHeight = 322;   // the options end with the buttons there
constexpr int kPreviewLeft = 272;  // the preview group, right of the options
constexpr int kPreviewWidth = 347;
constexpr int kScaleMin = 10;
constexpr int kScaleMax = 500;
constexpr int kScaleStep = 10;
constexpr int kPreviewFontSize = 10;

// A spinner beside its edit; the edit shows the position.
TUpDown* spinner(TWinControl* parent, TComponent* owner, TEdit* edit, int min, int max,
                 int increment) {
    auto* upDown = new TUpDown(owner);
    upDown->SetParent(parent);
    upDown->SetThousands(false);
    upDown->SetMin(min);
    upDown->SetMax(max);
    upDown->SetIncrement(increment);
    upDown->SetAssociate(edit);
    return upDown;
}

int percent(double scale) {
    return static_cast<int>(Round(scale * 100));
}

// Switches a value off for a scope and puts it back whatever happens.
class ShowProgressOff {
public:
    explicit ShowProgressOff(TpgwCustomExportFilter& filter)
        : filter_(filter), before_(filter.ShowProgress()) {
        filter_.SetShowProgress(false);
    }
    ~ShowProgressOff() { filter_.SetShowProgress(before_); }
    ShowProgressOff(const ShowProgressOff&) = delete;
    ShowProgressOff& operator=(const ShowProgressOff&) = delete;

private:
    TpgwCustomExportFilter& filter_;
    bool before_;
};

class Flag {
public:
    explicit Flag(bool& flag) : flag_(flag) { flag_ = true; }
    ~Flag() { flag_ = false; }
    Flag(const Flag&) = delete;
    Flag& operator=(const Flag&) = delete;

private:
    bool& flag_;
};

class Quiet {
public:
    explicit Quiet(int& count) : count_(count) { ++count_; }
    ~Quiet() { --count_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& count_;
};

} // namespace

TpgwTXTExportDialog::TpgwTXTExportDialog(TComponent* owner, TpgwTXTExport& filter,
                                         TpgwReport* report)
    : TForm(owner), filter_(filter), report_(report),
      previewExport_(std::make_unique<TpgwTXTExport>(TpgwCustomExportFilter::UnlistedTag{})) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    buildControls();
    localize();
    SetWidth(kNarrowWidth);
    SetClientHeight(kFormHeight);
    OpenHelpOnF1(*this, ClassName());
}

TpgwTXTExportDialog::~TpgwTXTExportDialog() {
    // Controls going away must not start a preview run on the way.
    ++quiet_;
    if (EPage) EPage->OnChange = nullptr;
}

void TpgwTXTExportDialog::buildControls() {
    int top = 4;
    GroupPageRange = PlaceControl<TGroupBox>(this, this, 8, top, kOptionsWidth, 84);
    Pages = PlaceLabel(GroupPageRange, this, 12, 22);
    E_Range = PlaceControl<TEdit>(GroupPageRange, this, 64, 18, kOptionsWidth - 76, 21);
    E_Range->OnKeyPress = [](TObject*, char16_t& key) {
        if (!TpgwExportDialog::PageNumberKey(key)) key = 0;
    };
    Descr = PlaceLabel(GroupPageRange, this, 12, 46);
    Descr->SetAutoSize(false);
    Descr->SetWordWrap(true);
    Descr->SetBounds(12, 46, kOptionsWidth - 24, 32);
    top += 84 + 4;

    GroupCellProp = PlaceControl<TGroupBox>(this, this, 8, top, kOptionsWidth, 62);
    CB_PageBreaks = PlaceControl<TCheckBox>(GroupCellProp, this, 12, 18, 112, 17);
    CB_OEM = PlaceControl<TCheckBox>(GroupCellProp, this, 132, 18, 112, 17);
    CB_EmptyLines = PlaceControl<TCheckBox>(GroupCellProp, this, 12, 38, 112, 17);
    CB_LeadSpaces = PlaceControl<TCheckBox>(GroupCellProp, this, 132, 38, 112, 17);
    for (TCheckBox* box : {CB_PageBreaks, CB_EmptyLines, CB_LeadSpaces})
        box->OnClick = [this](TObject*) { optionChanged(); };
    CB_OEM->OnClick = [this](TObject*) { oemClick(); };
    top += 62 + 4;

    GroupScaleSettings = PlaceControl<TGroupBox>(this, this, 8, top, kOptionsWidth, 48);
    ScX = PlaceLabel(GroupScaleSettings, this, 12, 22);
    E_ScaleX = PlaceControl<TEdit>(GroupScaleSettings, this, 60, 18, 44, 21);
    UpDown1 = spinner(GroupScaleSettings, this, E_ScaleX, kScaleMin, kScaleMax, kScaleStep);
    ScY = PlaceLabel(GroupScaleSettings, this, 132, 22);
    E_ScaleY = PlaceControl<TEdit>(GroupScaleSettings, this, 180, 18, 44, 21);
    UpDown2 = spinner(GroupScaleSettings, this, E_ScaleY, kScaleMin, kScaleMax, kScaleStep);
    top += 48 + 4;

    GroupFramesSettings = PlaceControl<TGroupBox>(this, this, 8, top, kOptionsWidth, 44);
    RB_NoneFrames = PlaceControl<TRadioButton>(GroupFramesSettings, this, 12, 18, 72, 17);
    RB_Simple = PlaceControl<TRadioButton>(GroupFramesSettings, this, 92, 18, 72, 17);
    RB_Graph = PlaceControl<TRadioButton>(GroupFramesSettings, this, 172, 18, 76, 17);
    RB_Graph->SetShowHint(true);
    for (TRadioButton* radio : {RB_NoneFrames, RB_Simple, RB_Graph})
        radio->OnClick = [this](TObject*) { optionChanged(); };
    top += 44 + 6;

    CB_PrintAfter = PlaceControl<TCheckBox>(this, this, 12, top, kOptionsWidth - 8, 17);
    top += 17 + 12;

    BtnPreview = PlaceControl<TSpeedButton>(this, this, 8, top, 25, 25);
    BtnPreview->SetGroupIndex(1);
    BtnPreview->SetAllowAllUp(true);
    BtnPreview->SetCaption(">>");
    BtnPreview->SetShowHint(true);
    BtnPreview->OnClick = [this](TObject*) { previewClick(); };
    OK = PlaceControl<TButton>(this, this, kOptionsWidth + 8 - 2 * 75 - 6, top, 75, 25);
    OK->SetModalResult(mrOk);
    OK->SetDefault(true);
    Cancel = PlaceControl<TButton>(this, this, kOptionsWidth + 8 - 75, top, 75, 25);
    Cancel->SetModalResult(mrCancel);
    Cancel->SetCancel(true);

    // The preview, right of the options; shown only with BtnPreview down.
    GroupBox1 =
        PlaceControl<TGroupBox>(this, this, kPreviewLeft, 4, kPreviewWidth, kFormHeight - 8);
    GroupBox1->SetVisible(false);
    Label1 = PlaceLabel(GroupBox1, this, 12, 20);
    PgWidth = PlaceLabel(GroupBox1, this, 56, 20, "0");
    Label3 = PlaceLabel(GroupBox1, this, 96, 20);
    PgHeight = PlaceLabel(GroupBox1, this, 140, 20, "0");
    LBPage = PlaceLabel(GroupBox1, this, 180, 20);
    EPage = PlaceControl<TEdit>(GroupBox1, this, 204, 16, 40, 21);
    EPage->SetText("1");
    PageUpDown = spinner(GroupBox1, this, EPage, 1, 1, 1);
    EPage->OnChange = [this](TObject*) { optionChanged(); };
    ToolButton1 = PlaceControl<TSpeedButton>(GroupBox1, this, kPreviewWidth - 60, 15, 23, 22);
    ToolButton1->SetCaption("+");
    ToolButton1->SetShowHint(true);
    ToolButton1->OnClick = [this](TObject*) { zoom(1); };
    ToolButton2 = PlaceControl<TSpeedButton>(GroupBox1, this, kPreviewWidth - 35, 15, 23, 22);
    ToolButton2->SetCaption("-");
    ToolButton2->SetShowHint(true);
    ToolButton2->OnClick = [this](TObject*) { zoom(-1); };
    Preview = PlaceControl<TMemo>(GroupBox1, this, 8, 44, kPreviewWidth - 16, kFormHeight - 8 - 52);
    Preview->SetReadOnly(true);
    Preview->SetWordWrap(false);
    Preview->SetScrollBars(ssBoth);
    Preview->Font()->SetName("Courier New");
    Preview->Font()->SetSize(kPreviewFontSize);

    // The run reads these values: a step while it goes on is refused. The page spinner
    // refreshes through its edit.
    for (TUpDown* upDown : {UpDown1, UpDown2, PageUpDown})
        upDown->OnChanging = [this](TObject*, bool& allow) { allow = !refreshing_; };
    for (TUpDown* upDown : {UpDown1, UpDown2})
        upDown->OnClick = [this](TObject*, TUDBtnType) { optionChanged(); };

    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->SetOptions((1u << ofHideReadOnly) | (1u << ofNoChangeDir) |
                            (1u << ofEnableSizing));
}

void TpgwTXTExportDialog::localize() {
    const TpgwResources& r = GetResources();
    SetCaption(r.GetText("8300"));
    OK->SetCaption(text(1));
    Cancel->SetCaption(text(2));
    BtnPreview->SetHint(r.GetText("8301"));
    GroupCellProp->SetCaption(r.GetText("8302"));
    CB_PageBreaks->SetCaption(r.GetText("8303"));
    CB_OEM->SetCaption(r.GetText("8304"));
    CB_EmptyLines->SetCaption(r.GetText("8305"));
    CB_LeadSpaces->SetCaption(r.GetText("8306"));
    GroupPageRange->SetCaption(text(7));
    Pages->SetCaption(r.GetText("8307"));
    Descr->SetCaption(r.GetText("8308"));
    GroupScaleSettings->SetCaption(r.GetText("8309"));
    ScX->SetCaption(r.GetText("8310"));
    ScY->SetCaption(r.GetText("8311"));
    GroupFramesSettings->SetCaption(r.GetText("8312"));
    RB_NoneFrames->SetCaption(r.GetText("8313"));
    RB_Simple->SetCaption(r.GetText("8314"));
    RB_Graph->SetCaption(r.GetText("8315"));
    RB_Graph->SetHint(r.GetText("8316"));
    CB_PrintAfter->SetCaption(r.GetText("8317"));
    GroupBox1->SetCaption(r.GetText("8319"));
    Label1->SetCaption(r.GetText("8320"));
    Label3->SetCaption(r.GetText("8321"));
    LBPage->SetCaption(r.GetText("8322"));
    ToolButton1->SetHint(r.GetText("8323"));
    ToolButton2->SetHint(r.GetText("8324"));
}

void TpgwTXTExportDialog::ShowOptions() {
    Quiet quiet(quiet_);
    CB_PageBreaks->SetChecked(filter_.PageBreaks());
    CB_OEM->SetChecked(filter_.OEMCodepage());
    CB_EmptyLines->SetChecked(filter_.EmptyLines());
    CB_LeadSpaces->SetChecked(filter_.LeadSpaces());
    // The position is kept within the spinner's range; the edit shows the filter's own value.
    UpDown1->SetPosition(percent(filter_.ScaleWidth()));
    E_ScaleX->SetText(IntToStr(percent(filter_.ScaleWidth())));
    UpDown2->SetPosition(percent(filter_.ScaleHeight()));
    E_ScaleY->SetText(IntToStr(percent(filter_.ScaleHeight())));
    if (!filter_.Borders())
        RB_NoneFrames->SetChecked(true);
    else if (filter_.Pseudogrpahic())
        RB_Graph->SetChecked(true);
    else
        RB_Simple->SetChecked(true);
    RB_Graph->SetEnabled(filter_.OEMCodepage());
    Preview->Font()->SetName(filter_.OEMCodepage() ? "Terminal" : "Courier New");
    CB_PrintAfter->SetChecked(filter_.PrintAfter());
    E_Range->SetText("");
    const int pages = report_ && report_->PreviewPages() ? report_->PreviewPages()->GetCount() : 0;
    PageUpDown->SetMax(pages > 1 ? pages : 1);
    PageUpDown->SetPosition(1);
    EPage->SetText("1");
}

void TpgwTXTExportDialog::ReadOptions() {
    // Both scales are read before anything changes, so a bad one leaves the filter as it was.
    const int scaleX = StrToInt(Trim(E_ScaleX->Text()));
    const int scaleY = StrToInt(Trim(E_ScaleY->Text()));
    filter_.SetPageNumbers(E_Range->Text());
    filter_.SetBorders(!RB_NoneFrames->Checked());
    filter_.SetPseudogrpahic(RB_Graph->Checked());
    filter_.SetPageBreaks(CB_PageBreaks->Checked());
    filter_.SetOEMCodepage(CB_OEM->Checked());
    filter_.SetEmptyLines(CB_EmptyLines->Checked());
    filter_.SetLeadSpaces(CB_LeadSpaces->Checked());
    filter_.SetScaleWidth(scaleX / 100.0);
    filter_.SetScaleHeight(scaleY / 100.0);
    filter_.SetPrintAfter(CB_PrintAfter->Checked() && !filter_.SlaveMode());
}

bool TpgwTXTExportDialog::PreviewShown() const {
    return GroupBox1->Visible();
}

void TpgwTXTExportDialog::previewClick() {
    if (BtnPreview->Down()) {
        SetLeft(Left() - kPreviewShift);
        moved_ = true;
        SetWidth(kWideWidth);
        GroupBox1->SetVisible(true);
        RefreshPreview();
    } else {
        if (moved_) SetLeft(Left() + kPreviewShift);
        moved_ = false;
        SetWidth(kNarrowWidth);
        GroupBox1->SetVisible(false);
    }
}

void TpgwTXTExportDialog::oemClick() {
    const bool oem = CB_OEM->Checked();
    {
        Quiet quiet(quiet_);
        RB_Graph->SetEnabled(oem);
        if (!oem && RB_Graph->Checked()) RB_Simple->SetChecked(true);
        Preview->Font()->SetName(oem ? "Terminal" : "Courier New");
    }
    optionChanged();
}

void TpgwTXTExportDialog::zoom(int delta) {
    TFont* font = Preview->Font();
    if (delta > 0 && font->Size() < kMaxPreviewFontSize) font->SetSize(font->Size() + 1);
    if (delta < 0 && font->Size() > kMinPreviewFontSize) font->SetSize(font->Size() - 1);
}

void TpgwTXTExportDialog::optionChanged() {
    if (quiet_ == 0) RefreshPreview();
}

void TpgwTXTExportDialog::RefreshPreview() {
    if (!PreviewShown() || refreshing_ || !report_) return;
    // Half-typed values show nothing new; the last preview stays.
    int page = 0, scaleX = 0, scaleY = 0;
    if (!TryStrToInt(Trim(EPage->Text()), page) || !TryStrToInt(Trim(E_ScaleX->Text()), scaleX) ||
        !TryStrToInt(Trim(E_ScaleY->Text()), scaleY))
        return;

    Flag running(refreshing_);
    TpgwTXTExport& run = *previewExport_;
    run.SetPreviewMode(true);
    run.SetShowDialog(false);
    run.SetShowProgress(false);
    run.SetBorders(!RB_NoneFrames->Checked());
    run.SetPseudogrpahic(RB_Graph->Checked());
    run.SetCustomFrameSet(filter_.CustomFrameSet());
    run.SetPageBreaks(CB_PageBreaks->Checked());
    run.SetOEMCodepage(CB_OEM->Checked());
    run.SetEmptyLines(CB_EmptyLines->Checked());
    run.SetLeadSpaces(CB_LeadSpaces->Checked());
    run.SetScaleWidth(scaleX / 100.0);
    run.SetScaleHeight(scaleY / 100.0);
    run.SetPrintAfter(false);
    run.SetCurrentPageOnly(false);
    run.SetPageNumbers(IntToStr(page));
    const std::string fileName = MakeTempFileName();
    run.SetFileName(fileName);

    std::string bytes;
    {
        ShowProgressOff progressOff(filter_);
        TScopedFileDeletion remove(fileName);
        report_->ExportTo(&run);
        if (FileExists(fileName)) bytes = ReadFileBytes(std::string_view(fileName));
    }
    // The file holds the legacy code page's bytes, OEM text included.
    Preview->SetText(CodePageToUtf8Lossy(bytes));
    PgWidth->SetCaption(IntToStr(run.MaxWidth()));
    PgHeight->SetCaption(IntToStr(run.LineCount()));
}

// ---- the filter's options ----------------------------------------------------------------------

int TpgwTXTExport::AskOptions() {
    if (!ShowDialog()) return 1;
    TpgwTXTExportDialog dialog(nullptr, *this, Report());
    if (SlaveMode()) SetPrintAfter(false);
    dialog.CB_PrintAfter->SetVisible(!SlaveMode());
    dialog.ShowOptions();

    TSaveDialog& save = *dialog.SaveDialog1;
    if (OverwritePrompt()) save.SetOptions(save.Options() | (1u << ofOverwritePrompt));
    save.SetFilter(GetResources().GetText("8325"));
    const std::string extension = GetResources().GetText("8326");
    save.SetDefaultExt(extension.starts_with('.') ? extension.substr(1) : extension);
    if (!FileName().empty()) {
        save.SetFileName(FileName());
    } else if (TpgwReport* report = Report()) {
        const std::string name = ExtractFileName(NormalizeSlashes(report->FileName()));
        save.SetFileName(name.empty() ? name : ChangeFileExt(name, extension));
    }

    int result = dialog.ShowModal();
    if (result != mrOk) return result;
    dialog.ReadOptions();
    if (!SlaveMode()) {
        if (!DefaultPath().empty()) save.SetInitialDir(DefaultPath());
        if (save.Execute())
            SetFileName(save.FileName());
        else
            result = mrCancel;
    }
    return result;
}
