#pragma once
// The preview window: a tool bar over the preview control and a status bar. The report makes it
// when it shows pages without a preview control of its own; PreviewOptions.Buttons decide which
// buttons show. The buttons run the control's commands; the control reports back through
// TpgwPreviewHost (button states, zoom text, the run starting and ending, the strips).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/preview.h"
#include "report/abstract_bases.h"

class TEdit;
class TMenuItem;
class TPanel;
class TPopupMenu;
class TSpeedButton;
class TStatusBar;
class TToolBar;
class TToolButton;
class TpgwComboBox;

class TpgwPreviewForm : public TpgwCustomPreviewForm, public TpgwPreviewHost {
    LUMETRA_CLASS(TpgwPreviewForm, TpgwCustomPreviewForm)
public:
    explicit TpgwPreviewForm(TComponent* owner);
    ~TpgwPreviewForm() override;

    TpgwCustomPreview* PreviewControl() override;
    // The control's Init, then the window from the report's PreviewOptions: state, zoom, which
    // buttons show, the export menu, the caption, the right-click menu, the button states.
    void ApplyPreviewOptions() override;
    // Status panel 1; with usePanel2, panel 2 when text is not empty or panel 2 holds text
    // already (otherwise nothing is written). Pending messages are handled either way.
    void ShowProgressMessage(const std::string& text, bool usePanel2) override;

    // Print, open, save, export and find need pages and no run; the edit button also needs
    // PreviewOptions.AllowEdit; expand and collapse all need a drill-down group.
    void UpdateControls() override;
    // The zoom box shows the control's zoom as a whole percentage ("150%").
    void UpdateZoomText() override;
    void RunStateChanged(bool running) override;
    void StripsChanged(bool outlineVisible, bool thumbnailVisible) override;

    // Refused while the report is being prepared into the window.
    bool CloseQuery() override;
    // Full-screen mode on or off: without the bars and the frame, then as before.
    void SwitchToFullScreen();
    // Not wired to a control: the control's AddPage and DeletePage.
    void NewPageBClick(TObject* sender);
    void DelPageBClick(TObject* sender);

    TpgwPreview* Preview = nullptr;
    // The registered PDF and e-mail filters that ApplyPreviewOptions found (the quick buttons);
    // forgotten when the filter goes.
    TpgwCustomExportFilter* PdfFilter = nullptr;
    TpgwCustomExportFilter* MailFilter = nullptr;
    // What full-screen mode put aside.
    TFormBorderStyle SavedBorderStyle = bsSizeable;
    TWindowState SavedWindowState = wsNormal;

    TToolBar* ToolBar = nullptr;
    TToolButton* PrintB = nullptr;
    TToolButton* OpenB = nullptr;
    TToolButton* SaveB = nullptr;
    TToolButton* ExportB = nullptr;
    TToolButton* PdfB = nullptr;
    TToolButton* EmailB = nullptr;
    TToolButton* FindB = nullptr;
    TToolButton* Sep1 = nullptr;
    TToolButton* ZoomPlusB = nullptr;
    TPanel* Sep3 = nullptr;
    TpgwComboBox* ZoomCB = nullptr;
    TToolButton* ZoomMinusB = nullptr;
    TToolButton* FullScreenBtn = nullptr;
    TToolButton* Sep2 = nullptr;
    TToolButton* OutlineB = nullptr;
    TToolButton* ThumbB = nullptr;
    TToolButton* PageSettingsB = nullptr;
    TToolButton* DesignerB = nullptr;
    TToolButton* Sep5 = nullptr;
    TToolButton* FirstB = nullptr;
    TToolButton* PriorB = nullptr;
    TPanel* Sep4 = nullptr;
    TEdit* PageE = nullptr;
    TToolButton* NextB = nullptr;
    TToolButton* LastB = nullptr;
    TPanel* pgTBPanel1 = nullptr;
    TSpeedButton* CancelB = nullptr;
    TStatusBar* StatusBar = nullptr;
    TPopupMenu* ExportPopup = nullptr;
    TPopupMenu* HiddenMenu = nullptr;
    TMenuItem* ShowTemplateMI = nullptr;
    TPopupMenu* RightMenu = nullptr;
    TMenuItem* CollapseMI = nullptr;
    TMenuItem* ExpandMI = nullptr;
    TMenuItem* N1 = nullptr;

    // The right-click menu item that follows a button, or null.
    TMenuItem* RightMenuItem(const TToolButton* button) const;

    // The preview scrolls, or zooms with Ctrl held.
    bool MouseWheel(TShiftState shift, int wheelDelta, int x, int y) override;

protected:
    // Escape is the Close button; F11 switches full-screen mode; F1 opens the help.
    void KeyDown(std::uint16_t& key, TShiftState shift) override;
    void Resize() override;
    void DoClose(TCloseAction& action) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    TToolButton* addButton(int image, int captionId, int hintId, std::function<void()> click);
    TToolButton* addSeparator();
    TPanel* addPanel(int width);
    void buildControls();
    void fillExportMenu();
    void fillRightMenu();
    void applyButtonVisibility();
    void setFilter(TpgwCustomExportFilter*& field, TpgwCustomExportFilter* filter);
    void takeEnabled(TToolButton* button, bool enabled);
    void zoomBoxChosen();
    void pageBoxEntered();
    void pageChanged(int pageNo);
    void cancelClick();
    void setDrillDowns(bool expand);
    bool hasDrillDownGroup() const;
    TpgwPreviewOptions* options() const;
    TpgwReport* report() const;

    std::map<const TToolButton*, TMenuItem*> rightItems_;
    // Queued calls hold it weakly, so that they find out when the window is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Makes TpgwPreviewForm the window reports show their pages in.
void InstallPreviewForm();
