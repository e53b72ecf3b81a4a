#include "engine/preview_form.h"

#include <string>
#include <string_view>

#include "engine/preview_combos.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "report/band.h"
#include "report/options.h"
#include "report/preview_images.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

std::string text(std::string_view key) {
    return GetResources().GetText(key);
}

constexpr std::uint16_t kF11 = VK_F1 + 10;
constexpr double kZoomStep = 0.25;
constexpr int kPageWidthItem = 6;
constexpr int kWholePageItem = 7;
constexpr int kPageNumberPanelWidth = 200;

bool hasButton(const TpgwPreviewOptions& options, TpgwPreviewButton button) {
    return (options.Buttons() & (1u << button)) != 0;
}

} // namespace

TpgwPreviewForm::TpgwPreviewForm(TComponent* owner) : TpgwCustomPreviewForm(owner) {
    SetPosition(poScreenCenter);
    SetClientWidth(803);
    SetClientHeight(584);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    SetShowHint(true);
    buildControls();
    OnShow = [this](TObject*) {
        if (Preview && Preview->CanFocus()) Preview->SetFocus();
    };
}

TpgwPreviewForm::~TpgwPreviewForm() {
    alive_.reset();
    OnShow = nullptr;
    // The control tells its owner about its last page change while it goes: it must find the
    // window whole, and no longer find its own pointer here.
    TpgwPreview* preview = Preview;
    Preview = nullptr;
    if (preview) {
        preview->OnPageChanged = nullptr;
        preview->OnDblClick = nullptr;
        delete preview;
    }
}

TpgwCustomPreview* TpgwPreviewForm::PreviewControl() {
    return Preview;
}

TpgwReport* TpgwPreviewForm::report() const {
    return Preview ? Preview->Report() : nullptr;
}

TpgwPreviewOptions* TpgwPreviewForm::options() const {
    TpgwReport* r = report();
    return r ? r->PreviewOptions() : nullptr;
}

// ---- building ----------------------------------------------------------------------------------

TToolButton* TpgwPreviewForm::addButton(int image, int captionId, int hintId,
                                        std::function<void()> click) {
    auto* b = new TToolButton(this);
    b->SetImageIndex(image);
    if (captionId > 0) b->SetCaption(text(captionId));
    if (hintId > 0) b->SetHint(text(hintId));
    if (click) b->OnClick = [click = std::move(click)](TObject*) { click(); };
    ToolBar->AddButton(b);
    return b;
}

TToolButton* TpgwPreviewForm::addSeparator() {
    auto* b = new TToolButton(this);
    b->SetStyle(tbsSeparator);
    ToolBar->AddButton(b);
    return b;
}

TPanel* TpgwPreviewForm::addPanel(int width) {
    auto* p = new TPanel(this);
    p->SetBevelOuter(bvNone);
    p->SetBounds(0, 0, width, ToolBar->ButtonHeight());
    ToolBar->AddControl(p);
    return p;
}

void TpgwPreviewForm::buildControls() {
    SetCaption(text(100));

    ToolBar = new TToolBar(this);
    ToolBar->SetParent(this);
    ToolBar->SetAlign(alTop);
    ToolBar->SetFlat(true);
    ToolBar->SetButtonHeight(23);
    ToolBar->SetAutoSize(true);
    ToolBar->SetImages(&GetPreviewButtonImages());

    ExportPopup = new TPopupMenu(this);

    PrintB = addButton(piPrint, 101, 102, [this] {
        Preview->Print();
        SetEnabled(true);
    });
    OpenB = addButton(piOpen, 103, 104, [this] {
        Preview->Load();
        TpgwReport* r = report();
        const std::string name = r ? r->ReportOptions()->Name() : std::string();
        SetCaption(name.empty() ? text(100) : name);
    });
    SaveB = addButton(piSave, 105, 106, [this] { Preview->Save(); });
    ExportB = addButton(piExport, 107, 108, nullptr);
    ExportB->SetStyle(tbsDropDown);
    ExportB->SetDropdownMenu(ExportPopup);
    PdfB = addButton(piPdf, 0, 151, [this] {
        if (PdfFilter) Preview->Export(PdfFilter);
    });
    EmailB = addButton(piEmail, 0, 152, [this] {
        if (MailFilter) Preview->Export(MailFilter);
    });
    FindB = addButton(piFind, 109, 110, [this] { Preview->Find(); });
    Sep1 = addSeparator();
    ZoomPlusB =
        addButton(piZoomIn, 124, 125, [this] { Preview->SetZoom(Preview->Zoom() + kZoomStep); });

    Sep3 = addPanel(56);
    ZoomCB = new TpgwComboBox(this);
    ZoomCB->SetParent(Sep3);
    ZoomCB->SetBounds(0, 1, 56, 21);
    ZoomCB->SetListWidth(100);
    ZoomCB->SetHint(text(119));
    for (const char* item : {"25%", "50%", "75%", "100%", "150%", "200%"})
        ZoomCB->Items().Add(item);
    ZoomCB->Items().Add(text("zmPageWidth"));
    ZoomCB->Items().Add(text("zmWholePage"));
    ZoomCB->OnSelect = [this](TObject*) { zoomBoxChosen(); };
    ZoomCB->OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState) {
        if (key != VK_RETURN) return;
        key = 0;
        zoomBoxChosen();
    };

    ZoomMinusB =
        addButton(piZoomOut, 126, 127, [this] { Preview->SetZoom(Preview->Zoom() - kZoomStep); });
    FullScreenBtn = addButton(piFullScreen, 0, 150, [this] { SwitchToFullScreen(); });
    FullScreenBtn->SetCaption("F");
    Sep2 = addSeparator();
    OutlineB =
        addButton(piOutline, 128, 129, [this] { Preview->SetOutlineVisible(OutlineB->Down()); });
    ThumbB =
        addButton(piThumbnails, 130, 131, [this] { Preview->SetThumbnailVisible(ThumbB->Down()); });
    for (TToolButton* b : {OutlineB, ThumbB}) {
        b->SetStyle(tbsCheck);
        b->SetGrouped(true);
        b->SetAllowAllUp(true);
    }
    PageSettingsB = addButton(piPageSettings, 120, 121, [this] { Preview->PageSetup(); });
    DesignerB = addButton(piEditPage, 132, 133, [this] { Preview->EditPage(); });
    DesignerB->OnMouseUp = [this](TObject*, TMouseButton button, TShiftState, int, int) {
        if (button != mbRight) return;
        const TRect r = DesignerB->BoundsRect();
        const TPoint p = ToolBar->ClientToScreen({r.Left, r.Top});
        HiddenMenu->Popup(p.X, p.Y);
    };
    Sep5 = addSeparator();
    FirstB = addButton(piFirst, 134, 135, [this] { Preview->First(); });
    PriorB = addButton(piPrior, 136, 137, [this] { Preview->Prior(); });

    Sep4 = addPanel(47);
    PageE = new TEdit(this);
    PageE->SetParent(Sep4);
    PageE->SetBounds(0, 1, 47, 21);
    PageE->SetText("1");
    PageE->SetHint(text(142));
    // Digits only; control characters (backspace, Enter) pass.
    PageE->OnKeyPress = [](TObject*, char16_t& key) {
        if (key >= 32 && (key < u'0' || key > u'9')) key = 0;
    };
    PageE->OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState) {
        if (key != VK_RETURN) return;
        key = 0;
        pageBoxEntered();
    };

    NextB = addButton(piNext, 138, 139, [this] { Preview->Next(); });
    LastB = addButton(piLast, 140, 141, [this] { Preview->Last(); });
    pgTBPanel1 = addPanel(35);

    CancelB = new TSpeedButton(this);
    CancelB->SetBounds(0, 0, 68, 23);
    CancelB->SetCaption(text("clClose"));
    CancelB->OnClick = [this](TObject*) { cancelClick(); };
    ToolBar->AddControl(CancelB);

    HiddenMenu = new TPopupMenu(this);
    ShowTemplateMI = new TMenuItem(this);
    ShowTemplateMI->SetCaption("Show template");
    ShowTemplateMI->OnClick = [this](TObject*) { Preview->EditTemplate(); };
    HiddenMenu->Items()->Add(ShowTemplateMI);

    RightMenu = new TPopupMenu(this);
    CollapseMI = new TMenuItem(this);
    CollapseMI->SetCaption(text(601));
    CollapseMI->SetImageIndex(piCollapseAll);
    CollapseMI->OnClick = [this](TObject*) { setDrillDowns(false); };
    ExpandMI = new TMenuItem(this);
    ExpandMI->SetCaption(text(600));
    ExpandMI->SetImageIndex(piExpandAll);
    ExpandMI->OnClick = [this](TObject*) { setDrillDowns(true); };
    N1 = new TMenuItem(this);
    N1->SetCaption("-");
    for (TMenuItem* item : {CollapseMI, ExpandMI, N1})
        RightMenu->Items()->Add(item);
    SetPopupMenu(RightMenu);

    StatusBar = new TStatusBar(this);
    StatusBar->SetParent(this);
    StatusBar->SetAlign(alBottom);
    for (int i = 0; i < 3; ++i)
        StatusBar->Panels()->Add();
    StatusBar->Panels()->Items(0)->SetWidth(kPageNumberPanelWidth);
    if (Screen().PixelsPerInch() > 96) StatusBar->SetHeight(24);

    Preview = new TpgwPreview(this);
    Preview->SetParent(this);
    Preview->SetAlign(alClient);
    Preview->SetBorderStyle(bsNone);
    Preview->OnPageChanged = [this](TpgwPreview*, int pageNo) { pageChanged(pageNo); };
    Preview->OnDblClick = [this](TObject*) {
        if (FullScreen()) SwitchToFullScreen();
    };
    Resize();
}

// ---- options -----------------------------------------------------------------------------------

void TpgwPreviewForm::ApplyPreviewOptions() {
    Preview->Init();
    TpgwPreviewOptions* o = options();
    if (!o) {
        UpdateControls();
        return;
    }
    if (o->Maximized()) SetWindowState(wsMaximized);
    // An MDI child is a window of its own here.
    Preview->SetZoom(o->Zoom());
    Preview->SetZoomMode(o->ZoomMode());
    DesignerB->SetEnabled(o->AllowEdit());
    Preview->Workspace()->Model.RightToLeft = o->RTLPreview();

    fillExportMenu();
    applyButtonVisibility();
    ToolBar->SetShowCaptions(o->ShowCaptions());
    if (const std::string& name = report()->ReportOptions()->Name(); !name.empty())
        SetCaption(name);
    fillRightMenu();
    UpdateControls();
    SetPopupMenu(RightMenu);
}

void TpgwPreviewForm::setFilter(TpgwCustomExportFilter*& field, TpgwCustomExportFilter* filter) {
    if (field == filter) return;
    if (field) field->RemoveFreeNotification(this);
    field = filter;
    if (field) field->FreeNotification(this);
}

void TpgwPreviewForm::fillExportMenu() {
    ExportPopup->Items()->Clear();
    setFilter(PdfFilter, nullptr);
    setFilter(MailFilter, nullptr);
    TpgwExportFilterCollection& filters = GetExportFilters();
    for (int i = 0; i < filters.Count(); ++i) {
        TpgwCustomExportFilter* filter = filters.Items(i);
        auto* item = new TMenuItem(ExportPopup);
        item->SetCaption(filter->FilterCaption() + "...");
        item->SetTag(i);
        // The tag picks the filter when clicked, so a copy of the item (the right-click menu)
        // exports alike; a filter that left the registry since exports nothing.
        item->OnClick = [this](TObject* sender) {
            auto* clicked = dynamic_cast<TMenuItem*>(sender);
            TpgwExportFilterCollection& now = GetExportFilters();
            if (clicked && clicked->Tag() >= 0 && clicked->Tag() < now.Count())
                Preview->Export(now.Items(clicked->Tag()));
            SetEnabled(true);
        };
        ExportPopup->Items()->Add(item);
        if (filter->ClassName() == "TpgwPDFExport")
            setFilter(PdfFilter, filter);
        else if (filter->ClassName() == "TpgwMailExport")
            setFilter(MailFilter, filter);
    }
}

void TpgwPreviewForm::applyButtonVisibility() {
    const TpgwPreviewOptions& o = *options();
    const bool zoom = hasButton(o, pbZoom);
    const bool navigator = hasButton(o, pbNavigator);
    const bool quick = hasButton(o, pbExportQuick);
    PrintB->SetVisible(hasButton(o, pbPrint));
    OpenB->SetVisible(hasButton(o, pbLoad));
    SaveB->SetVisible(hasButton(o, pbSave));
    ExportB->SetVisible(hasButton(o, pbExport) && GetExportFilters().Count() > 0);
    PdfB->SetVisible(quick && PdfFilter);
    EmailB->SetVisible(quick && MailFilter);
    FindB->SetVisible(hasButton(o, pbFind));
    for (TToolButton* b : {Sep1, ZoomPlusB, ZoomMinusB, FullScreenBtn})
        b->SetVisible(zoom);
    Sep3->SetVisible(zoom);
    OutlineB->SetVisible(hasButton(o, pbTree));
    ThumbB->SetVisible(hasButton(o, pbTree));
    PageSettingsB->SetVisible(hasButton(o, pbPageSetup));
    DesignerB->SetVisible(hasButton(o, pbEdit));
    Sep2->SetVisible(PageSettingsB->Visible() || DesignerB->Visible());
    for (TToolButton* b : {Sep5, FirstB, PriorB, NextB, LastB})
        b->SetVisible(navigator);
    Sep4->SetVisible(navigator);
}

void TpgwPreviewForm::fillRightMenu() {
    TMenuItem* items = RightMenu->Items();
    // Everything after the fixed three (collapse, expand, their separator) is rebuilt.
    while (items->Count() > 3)
        delete items->Items(items->Count() - 1);
    rightItems_.clear();

    int separators = 0;
    for (int i = 0; i < ToolBar->ButtonCount(); ++i) {
        TToolButton* b = ToolBar->Buttons(i);
        if (b->Style() == tbsSeparator) {
            if (++separators == 2) break;
            auto* line = new TMenuItem(RightMenu);
            line->SetCaption("-");
            items->Add(line);
            continue;
        }
        if (!b->Visible() || b->Style() == tbsCheck || b->Hint().empty()) continue;
        auto* item = new TMenuItem(RightMenu);
        item->SetCaption(b->Hint());
        item->SetImageIndex(b->ImageIndex());
        item->OnClick = [b](TObject*) {
            if (b->OnClick) b->OnClick(b);
        };
        if (TPopupMenu* dropdown = b->DropdownMenu()) {
            for (int k = 0; k < dropdown->Items()->Count(); ++k) {
                TMenuItem* source = dropdown->Items()->Items(k);
                auto* sub = new TMenuItem(RightMenu);
                sub->SetCaption(source->Caption());
                sub->SetTag(source->Tag());
                sub->OnClick = source->OnClick;
                item->Add(sub);
            }
        }
        items->Add(item);
        rightItems_[b] = item;
    }
}

TMenuItem* TpgwPreviewForm::RightMenuItem(const TToolButton* button) const {
    const auto it = rightItems_.find(button);
    return it == rightItems_.end() ? nullptr : it->second;
}

// ---- what the control reports ------------------------------------------------------------------

void TpgwPreviewForm::takeEnabled(TToolButton* button, bool enabled) {
    button->SetEnabled(enabled);
    button->SetDown(false);
    if (TMenuItem* item = RightMenuItem(button)) item->SetEnabled(enabled);
}

bool TpgwPreviewForm::hasDrillDownGroup() const {
    TpgwReport* r = report();
    if (!r) return false;
    for (TpgwComponent* object : r->AllObjects())
        if (auto* group = dynamic_cast<TpgwGroupHeader*>(object); group && group->DrillDown())
            return true;
    return false;
}

void TpgwPreviewForm::UpdateControls() {
    if (!Preview) return;
    const bool idle = !Preview->Running();
    const bool enabled = idle && Preview->PageCount() > 0;
    for (TToolButton* b : {PrintB, OpenB, SaveB, ExportB, PdfB, EmailB, FindB, PageSettingsB})
        takeEnabled(b, enabled);
    const TpgwPreviewOptions* o = options();
    takeEnabled(DesignerB, idle && o && o->AllowEdit());
    const bool drillDown = idle && hasDrillDownGroup();
    for (TMenuItem* item : {CollapseMI, ExpandMI, N1})
        item->SetVisible(drillDown);
}

void TpgwPreviewForm::UpdateZoomText() {
    if (!Preview) return;
    ZoomCB->SetText(std::to_string(Round(Preview->Zoom() * 100)) + "%");
}

void TpgwPreviewForm::RunStateChanged(bool running) {
    CancelB->SetCaption(text(running ? "clCancel" : "clClose"));
    if (!running) StatusBar->Panels()->Items(1)->SetText("");
}

void TpgwPreviewForm::StripsChanged(bool outlineVisible, bool thumbnailVisible) {
    // Up first: putting one of the group down releases the other.
    for (TToolButton* b : {OutlineB, ThumbB})
        b->SetDown(false);
    if (outlineVisible) OutlineB->SetDown(true);
    if (thumbnailVisible) ThumbB->SetDown(true);
}

void TpgwPreviewForm::ShowProgressMessage(const std::string& message, bool usePanel2) {
    int panel = 1;
    if (usePanel2)
        panel = (!message.empty() || !StatusBar->Panels()->Items(2)->Text().empty()) ? 2 : -1;
    if (panel > 0) StatusBar->Panels()->Items(panel)->SetText(message);
    Application()->ProcessMessages();
}

void TpgwPreviewForm::pageChanged(int pageNo) {
    if (!Preview) return;
    TpgwCustomPreviewPages* pages = Preview->PreviewPages();
    TpgwCustomEngine* engine = pages ? pages->Engine() : nullptr;
    std::string status;
    if (pages && engine && !engine->FinalPass() && Preview->Running()) {
        status = text("clFirstPass") + " " + std::to_string(Preview->PageCount());
    } else {
        const std::string format = text("clPageOf");
        // A language file's text that does not take two numbers still shows.
        try {
            status = Format(format, {pageNo, Preview->PageCount()});
        } catch (const EConvertError&) {
            status = format;
        }
    }
    StatusBar->Panels()->Items(0)->SetText(status);
    PageE->SetText(std::to_string(pageNo));
}

// ---- the boxes ---------------------------------------------------------------------------------

void TpgwPreviewForm::zoomBoxChosen() {
    // Whatever happens, the box shows the zoom in force afterwards (a refused one too).
    struct RefreshLater {
        TpgwPreviewForm* form;
        ~RefreshLater() {
            std::weak_ptr<int> alive = form->alive_;
            Application()->QueueCall([form = form, alive] {
                if (!alive.expired()) form->UpdateZoomText();
            });
        }
    } refresh{this};
    if (Preview->CanFocus()) Preview->SetFocus();
    // Typing over a chosen item leaves the toolkit's index behind: only a box still showing the
    // item's text has that item chosen.
    const int index = ZoomCB->ItemIndex();
    const std::string typed = ZoomCB->Text();
    const bool onItem =
        index >= 0 && index < ZoomCB->Items().Count() && ZoomCB->Items().Strings(index) == typed;
    if (onItem && index == kPageWidthItem) {
        Preview->SetZoomMode(zmPageWidth);
    } else if (onItem && index == kWholePageItem) {
        Preview->SetZoomMode(zmWholePage);
    } else {
        std::string number = typed;
        if (const auto percent = number.find('%'); percent != std::string::npos)
            number[percent] = ' ';
        std::erase(number, ' ');
        // The control refuses a zoom the pages cannot be laid out at and keeps its own.
        if (!number.empty()) Preview->SetZoom(ParseFloatValue(number) / 100);
    }
}

void TpgwPreviewForm::pageBoxEntered() {
    Preview->SetPageNo(StrToInt(PageE->Text()));
    if (Preview->CanFocus()) Preview->SetFocus();
}

// ---- commands ----------------------------------------------------------------------------------

void TpgwPreviewForm::cancelClick() {
    if (Preview->Running())
        Preview->CancelIfRunning();
    else
        Close();
}

void TpgwPreviewForm::setDrillDowns(bool expand) {
    TpgwReport* r = report();
    if (!r) return;
    Preview->Lock();
    for (TpgwComponent* object : r->AllObjects())
        if (auto* group = dynamic_cast<TpgwGroupHeader*>(object); group && group->DrillDown())
            group->SetExpandDrillDown(expand);
    r->ExpandedDrillDowns().Clear();
    Preview->RefreshReport();
    if (!expand) Preview->SetPosition(0, 0);
}

void TpgwPreviewForm::NewPageBClick(TObject*) {
    Preview->AddPage();
}

void TpgwPreviewForm::DelPageBClick(TObject*) {
    Preview->DeletePage();
}

void TpgwPreviewForm::SwitchToFullScreen() {
    if (!FullScreen()) {
        SavedBorderStyle = BorderStyle();
        SavedWindowState = WindowState();
        StatusBar->Hide();
        ToolBar->Hide();
        SetFullScreen(true);
        return;
    }
    SetFullScreen(false);
    if (BorderStyle() != SavedBorderStyle) SetBorderStyle(SavedBorderStyle);
    if (WindowState() != SavedWindowState) SetWindowState(SavedWindowState);
    ToolBar->Show();
    StatusBar->Show();
}

// ---- window events -----------------------------------------------------------------------------

bool TpgwPreviewForm::CloseQuery() {
    if (Preview && Preview->Running()) return false;
    return TpgwCustomPreviewForm::CloseQuery();
}

void TpgwPreviewForm::DoClose(TCloseAction& action) {
    TpgwCustomPreviewForm::DoClose(action);
    if (FreeOnClose) action = caFree;
    if (TpgwReport* r = report(); r && r->OnClosePreview) r->OnClosePreview(this);
}

void TpgwPreviewForm::KeyDown(std::uint16_t& key, TShiftState shift) {
    TpgwCustomPreviewForm::KeyDown(key, shift);
    switch (key) {
    case VK_ESCAPE:
        key = 0;
        cancelClick();
        break;
    case kF11:
        key = 0;
        SwitchToFullScreen();
        break;
    case VK_F1:
        key = 0;
        OpenHelp("TpgwPreviewForm");
        break;
    default:
        break;
    }
}

bool TpgwPreviewForm::MouseWheel(TShiftState shift, int wheelDelta, int x, int y) {
    if (TpgwCustomPreviewForm::MouseWheel(shift, wheelDelta, x, y)) return true;
    if (!Preview) return false;
    Preview->MouseWheelScroll(wheelDelta, false, (shift & (1u << ssCtrl)) != 0);
    return true;
}

void TpgwPreviewForm::Resize() {
    TpgwCustomPreviewForm::Resize();
    if (!StatusBar) return;
    const double rest = (ClientWidth() - StatusBar->Panels()->Items(0)->Width()) / 2.0;
    const int half = static_cast<int>(Round(rest));
    StatusBar->Panels()->Items(1)->SetWidth(half);
    StatusBar->Panels()->Items(2)->SetWidth(half);
}

void TpgwPreviewForm::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (component == PdfFilter) PdfFilter = nullptr;
        if (component == MailFilter) MailFilter = nullptr;
    }
    TpgwCustomPreviewForm::Notification(component, operation);
}

void InstallPreviewForm() {
    PreviewFormClass() = [](TComponent* owner) { return new TpgwPreviewForm(owner); };
}
