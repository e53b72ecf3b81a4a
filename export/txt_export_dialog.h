#pragma once
// The options dialog of the dot-matrix text export. Beside the usual options it can show a live
// preview of one page: a private, unlisted text export runs the report's page into a temporary
// file whose text the dialog shows, with the width and height the page came out at.

#include <memory>
#include <string>

#include "platform/ui/form.h"

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TMemo;
class TRadioButton;
class TSaveDialog;
class TSpeedButton;
class TUpDown;
class TpgwReport;
class TpgwTXTExport;

class TpgwTXTExportDialog : public TForm {
    LUMETRA_CLASS(TpgwTXTExportDialog, TForm)
public:
    // The form's width without and with the preview, and how far it moves left to make room.
    static constexpr int kNarrowWidth = 277;
    static constexpr int kWideWidth = 631;
    static constexpr int kPreviewShift = 177;
    // The preview font's size limits.
    static constexpr int kMaxPreviewFontSize = 30;
    static constexpr int kMinPreviewFontSize = 2;

    // filter: the export whose options are shown (its ShowProgress is switched off while a
    // preview runs); report: the prepared report the preview exports (may be null: no preview).
    TpgwTXTExportDialog(TComponent* owner, TpgwTXTExport& filter, TpgwReport* report);
    ~TpgwTXTExportDialog() override;

    // The filter's options into the controls (without refreshing a preview).
    void ShowOptions();
    // The controls into the filter. A scale that is not an integer raises EConvertError before
    // anything is changed.
    void ReadOptions();
    // Runs the shown page through the private export into Preview, PgWidth and PgHeight; does
    // nothing while the preview is hidden.
    void RefreshPreview();
    bool PreviewShown() const;
    // True while a preview run is going on.
    bool Refreshing() const { return refreshing_; }

    TButton* OK = nullptr;
    TButton* Cancel = nullptr;
    TSpeedButton* BtnPreview = nullptr;
    TGroupBox* GroupCellProp = nullptr;
    TCheckBox* CB_PageBreaks = nullptr;
    TCheckBox* CB_OEM = nullptr;
    TCheckBox* CB_EmptyLines = nullptr;
    TCheckBox* CB_LeadSpaces = nullptr;
    TGroupBox* GroupPageRange = nullptr;
    TLabel* Pages = nullptr;
    TLabel* Descr = nullptr;
    TEdit* E_Range = nullptr;
    TGroupBox* GroupScaleSettings = nullptr;
    TLabel* ScX = nullptr;
    TLabel* ScY = nullptr;
    TEdit* E_ScaleX = nullptr;
    TUpDown* UpDown1 = nullptr;
    TEdit* E_ScaleY = nullptr;
    TUpDown* UpDown2 = nullptr;
    TGroupBox* GroupFramesSettings = nullptr;
    TRadioButton* RB_NoneFrames = nullptr;
    TRadioButton* RB_Simple = nullptr;
    TRadioButton* RB_Graph = nullptr;
    TCheckBox* CB_PrintAfter = nullptr;
    TGroupBox* GroupBox1 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* PgWidth = nullptr;
    TLabel* Label3 = nullptr;
    TLabel* PgHeight = nullptr;
    TLabel* LBPage = nullptr;
    TEdit* EPage = nullptr;
    TUpDown* PageUpDown = nullptr;
    TSpeedButton* ToolButton1 = nullptr;
    TSpeedButton* ToolButton2 = nullptr;
    TMemo* Preview = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;

private:
    void buildControls();
    void localize();
    void previewClick();
    void oemClick();
    void zoom(int delta);
    void optionChanged();

    TpgwTXTExport& filter_;
    TpgwReport* report_;
    std::unique_ptr<TpgwTXTExport> previewExport_;
    bool moved_ = false;
    bool refreshing_ = false;
    // Set while the controls are filled or one choice changes another: no refresh in between.
    int quiet_ = 0;
};
