#include "engine/preview.h"

#include <functional>
#include <memory>

#include "engine/page_settings_form.h"
#include "engine/preview_combos.h"
#include "engine/preview_pages.h"
#include "engine/search_dialog.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tree_view.h"
#include "report/band.h"
#include "report/page.h"
#include "report/preview_images.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/view.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}
std::string text(const char* key) {
    return GetResources().GetText(key);
}

std::string pp3Filter() {
    return text("clPP3files") + " (*.pp3)|*.pp3";
}

} // namespace

// ---- construction ------------------------------------------------------------------------------

TpgwPreview::TpgwPreview(TComponent* owner) : TpgwCustomPreview(owner) {
    SetBounds(Left(), Top(), 100, 100);
    SetBorderStyle(bsSingle);

    outlinePopup_ = new TPopupMenu(this);
    auto* collapse = new TMenuItem(outlinePopup_);
    collapse->SetCaption(text(601));
    collapse->SetImageIndex(13);
    collapse->OnClick = [this](TObject*) { collapseAll(); };
    outlinePopup_->Items()->Add(collapse);
    auto* expand = new TMenuItem(outlinePopup_);
    expand->SetCaption(text(600));
    expand->SetImageIndex(14);
    expand->OnClick = [this](TObject*) { expandAll(); };
    outlinePopup_->Items()->Add(expand);

    tree_ = new TTreeView(this);
    tree_->SetParent(this);
    tree_->SetAlign(alLeft);
    tree_->SetHideSelection(false);
    tree_->SetReadOnly(true);
    tree_->SetPopupMenu(outlinePopup_);
    tree_->SetWidth(outlineWidth_);
    tree_->OnClick = [this](TObject*) {
        if (TTreeNode* node = tree_->Selected()) {
            SetPosition(node->ImageIndex(), node->StateIndex());
            if (CanFocus()) SetFocus();
        }
    };

    thumbnail_ = new TpgwPreviewWorkspace(this);
    thumbnail_->SetParent(this);
    thumbnail_->SetAlign(alLeft);
    thumbnail_->SetVisible(false);
    thumbnail_->SetWidth(outlineWidth_);
    thumbnail_->Model.ThumbnailMode = true;
    thumbnail_->SetZoom(0.1);
    thumbnail_->Preview = this;

    splitter_ = new TSplitter(this);
    splitter_->SetParent(this);
    splitter_->SetAlign(alLeft);
    splitter_->SetBounds(tree_->Left() + tree_->Width() + 1, 0, 4, Height());
    splitter_->OnMoved = [this](TObject*) { UpdatePages(); };

    workspace_ = new TpgwPreviewWorkspace(this);
    workspace_->SetParent(this);
    workspace_->SetAlign(alClient);
    workspace_->Preview = this;

    messagePanel_ = new TPanel(this);
    messagePanel_->SetParent(this);
    messagePanel_->SetVisible(false);
    messageLabel_ = new TLabel(messagePanel_);
    messageLabel_->SetParent(messagePanel_);
    messageLabel_->SetAutoSize(false);
    messageLabel_->SetAlignment(taCenter);
    messageLabel_->SetBounds(4, 20, 255, 20);

    tree_->SetVisible(false);
    splitter_->SetVisible(false);
}

TpgwPreview::~TpgwPreview() {
    // The report hears of this through its free notification; the workspaces go with us.
    workspace_->PreviewPages = nullptr;
    thumbnail_->PreviewPages = nullptr;
}

void TpgwPreview::RegisterProperties(TClassBuilder<TpgwPreview>& b) {
    using P = TpgwPreview;
    b.Add("ActiveFrameColor", TypeInfoColor(), &P::ActiveFrameColor, &P::SetActiveFrameColor)
        .Default(8405024);
    b.Add("BackColor", TypeInfoColor(), &P::BackColor, &P::SetBackColor).Default(8421504);
    b.Add("FrameColor", TypeInfoColor(), &P::FrameColor, &P::SetFrameColor).Default(0);
    b.Add("OutlineColor", TypeInfoColor(), &P::OutlineColor, &P::SetOutlineColor)
        .Default(static_cast<int>(clWindow));
    b.Add("OutlineVisible", &P::OutlineVisible, &P::SetOutlineVisible).NoDefault();
    b.Add("OutlineWidth", &P::OutlineWidth, &P::SetOutlineWidth).NoDefault();
    b.Add("ThumbnailVisible", &P::ThumbnailVisible, &P::SetThumbnailVisible).NoDefault();
    b.Add("UseReportHints", &P::UseReportHints, &P::SetUseReportHints).NoDefault();
}

TpgwPreviewHost* TpgwPreview::host() const {
    return dynamic_cast<TpgwPreviewHost*>(Owner());
}

bool TpgwPreview::hasButton(int button) const {
    return Report() && (Report()->PreviewOptions()->Buttons() & (1u << button)) != 0;
}

// ---- colours and strips ------------------------------------------------------------------------

TColor TpgwPreview::ActiveFrameColor() const {
    return workspace_->ActiveFrameColor;
}
void TpgwPreview::SetActiveFrameColor(TColor value) {
    workspace_->ActiveFrameColor = value;
    workspace_->Invalidate();
}
TColor TpgwPreview::BackColor() const {
    return workspace_->BackColor;
}
void TpgwPreview::SetBackColor(TColor value) {
    workspace_->BackColor = value;
    workspace_->Invalidate();
}
TColor TpgwPreview::FrameColor() const {
    return workspace_->FrameColor;
}
void TpgwPreview::SetFrameColor(TColor value) {
    workspace_->FrameColor = value;
    workspace_->Invalidate();
}
TColor TpgwPreview::OutlineColor() const {
    return outlineColor_;
}
void TpgwPreview::SetOutlineColor(TColor value) {
    outlineColor_ = value;
    tree_->SetColor(value);
}

bool TpgwPreview::OutlineVisible() const {
    return tree_->Visible();
}

void TpgwPreview::SetOutlineVisible(bool value) {
    const bool changed = value != tree_->Visible();
    if (value) thumbnail_->SetVisible(false);
    tree_->SetVisible(value);
    splitter_->SetVisible(tree_->Visible() || thumbnail_->Visible());
    // The splitter stays right of the strip it sizes.
    if (value) splitter_->SetLeft(tree_->Left() + tree_->Width() + 1);
    if (TpgwPreviewHost* h = host()) h->StripsChanged(OutlineVisible(), ThumbnailVisible());
    if (changed) UpdatePages();
}

int TpgwPreview::OutlineWidth() const {
    return outlineWidth_;
}

void TpgwPreview::SetOutlineWidth(int value) {
    outlineWidth_ = value;
    tree_->SetWidth(value);
    thumbnail_->SetWidth(value);
}

bool TpgwPreview::ThumbnailVisible() const {
    return thumbnail_->Visible();
}

void TpgwPreview::SetThumbnailVisible(bool value) {
    const bool changed = value != thumbnail_->Visible();
    if (value) tree_->SetVisible(false);
    thumbnail_->SetVisible(value);
    splitter_->SetVisible(tree_->Visible() || thumbnail_->Visible());
    if (value) {
        splitter_->SetLeft(thumbnail_->Left() + thumbnail_->Width() + 1);
        thumbnail_->SetHorzPosition(thumbnail_->HorzPosition());
        thumbnail_->SetVertPosition(thumbnail_->VertPosition());
    }
    if (TpgwPreviewHost* h = host()) h->StripsChanged(OutlineVisible(), ThumbnailVisible());
    if (changed) UpdatePages();
}

// ---- binding -----------------------------------------------------------------------------------

void TpgwPreview::Init() {
    TpgwCustomPreviewPages* pages = PreviewPages();
    workspace_->PreviewPages = pages;
    thumbnail_->PreviewPages = pages;
    TpgwSearchState& search = SearchState();
    search.Found = false;
    search.LastFoundRecord = -1;
    workspace_->Model.SearchStartPage = 0;
    searchActive_ = false;
    workspace_->SetDoubleBuffered(true);

    if (TpgwReport* report = Report()) {
        const TpgwPreviewOptions* options = report->PreviewOptions();
        SetOutlineWidth(options->OutlineWidth());
        SetOutlineVisible(options->OutlineVisible());
        SetThumbnailVisible(options->ThumbnailVisible());
        zoomMode_ = options->ZoomMode();
        zoom_ = options->Zoom();
    }
    UpdatePages();
    UpdateOutline();
    SetPageNo(1);
}

void TpgwPreview::SetPreviewPages(TpgwCustomPreviewPages* pages) {
    TpgwCustomPreview::SetPreviewPages(pages);
    if (pages) return;
    // The pages may be gone already: forget them rather than clear them.
    running_ = refreshing_ = false;
    pacer_.reset();
    for (TpgwPreviewWorkspace* ws : {workspace_, thumbnail_}) {
        ws->PreviewPages = nullptr;
        ws->ClearPages();
        ws->UpdateScrollBars();
        ws->Invalidate();
    }
    tree_->Items().Clear();
    pageNo_ = 1;
}

void TpgwPreview::Lock() {
    locked_ = true;
    workspace_->Locked = true;
    thumbnail_->Locked = true;
}

void TpgwPreview::Unlock() {
    HideMessage();
    locked_ = false;
    workspace_->Locked = false;
    thumbnail_->Locked = false;
    UpdatePages();
    workspace_->Invalidate();
    thumbnail_->Invalidate();
}

int TpgwPreview::PageCount() const {
    return PreviewPages() ? PreviewPages()->GetCount() : 0;
}

// ---- page and zoom -----------------------------------------------------------------------------

void TpgwPreview::pageChanged() {
    if (OnPageChanged) OnPageChanged(this, pageNo_);
}

void TpgwPreview::SetPageNo(int value) {
    const int old = pageNo_;
    pageNo_ = ClampPageNo(value, PageCount());
    workspace_->SetPageNo(pageNo_);
    thumbnail_->SetPageNo(pageNo_);
    if (pageNo_ != old) {
        workspace_->DrawPages(true);
        thumbnail_->DrawPages(true);
    }
    workspace_->ScrollToPage(pageNo_);
    thumbnail_->ScrollToPage(pageNo_);
    pageChanged();
}

void TpgwPreview::First() {
    SetPageNo(1);
}
void TpgwPreview::Next() {
    SetPageNo(pageNo_ + 1);
}
void TpgwPreview::Prior() {
    SetPageNo(pageNo_ - 1);
}
void TpgwPreview::Last() {
    SetPageNo(PageCount());
}

void TpgwPreview::applyZoom(double zoom, TpgwZoomMode mode) {
    const double oldZoom = zoom_;
    const TpgwZoomMode oldMode = zoomMode_;
    zoom_ = zoom;
    zoomMode_ = mode;
    try {
        UpdatePages();
    } catch (...) {
        // A zoom the pages cannot be laid out at changes nothing.
        zoom_ = oldZoom;
        zoomMode_ = oldMode;
        UpdatePages();
        throw;
    }
}

void TpgwPreview::SetZoom(double value) {
    applyZoom(ClampZoom(value), zmDefault);
}

void TpgwPreview::SetZoomMode(TpgwZoomMode value) {
    applyZoom(zoom_, value);
}

void TpgwPreview::SetPosition(int pageNo, int y) {
    const int count = PageCount();
    pageNo = count == 0 ? 1 : std::clamp(pageNo, 1, count);
    workspace_->ScrollToPosition(pageNo, y);
}

void TpgwPreview::ShowMessage(const std::string& message) {
    messagePanel_->SetBounds((Width() - 260) / 2, (Height() - 75) / 3, 260, 75);
    messageLabel_->SetCaption(message);
    messagePanel_->SetVisible(true);
    messagePanel_->BringToFront();
    messagePanel_->Repaint();
}

void TpgwPreview::HideMessage() {
    messagePanel_->SetVisible(false);
}

void TpgwPreview::MouseWheelScroll(int delta, bool horizontal, bool zoom) {
    if (delta == 0) return;
    if (zoom) {
        SetZoom(WheelZoom(zoom_, delta));
        return;
    }
    const int step = delta > 0 ? -20 : 20;
    if (horizontal)
        workspace_->SetHorzPosition(workspace_->HorzPosition() + step);
    else
        workspace_->SetVertPosition(workspace_->VertPosition() + step);
}

void TpgwPreview::Resize() {
    TpgwCustomPreview::Resize();
    if (PreviewPages()) UpdatePages();
}

void TpgwPreview::KeyDown(std::uint16_t& key, TShiftState shift) {
    TpgwCustomPreview::KeyDown(key, shift);
    if (key != 0) KeyCommand(key, shift);
}

void TpgwPreview::KeyCommand(std::uint16_t& key, TShiftState shift) {
    const bool ctrl = (shift & ShiftBit(ssCtrl)) != 0;
    TpgwPreviewWorkspace& ws = *workspace_;
    const std::uint16_t handled = key;
    key = 0;
    switch (handled) {
    case VK_UP:
        ws.SetVertPosition(ws.VertPosition() - 8);
        return;
    case VK_DOWN:
        ws.SetVertPosition(ws.VertPosition() + 8);
        return;
    case VK_LEFT:
        ws.SetHorzPosition(ws.HorzPosition() - 8);
        return;
    case VK_RIGHT:
        ws.SetHorzPosition(ws.HorzPosition() + 8);
        return;
    case VK_PRIOR:
        if (ctrl)
            SetPageNo(pageNo_ - 1);
        else
            ws.SetVertPosition(ws.VertPosition() - 300);
        return;
    case VK_NEXT:
        if (ctrl)
            SetPageNo(pageNo_ + 1);
        else
            ws.SetVertPosition(ws.VertPosition() + 300);
        return;
    case VK_HOME:
        First();
        return;
    case VK_END:
        Last();
        return;
    case VK_F1 + 2:
        if (hasButton(pbFind)) FindNext();
        return;
    default:
        break;
    }
    if (ctrl) {
        switch (handled) {
        case 'P':
            if (hasButton(pbPrint)) Print();
            return;
        case 'S':
            if (hasButton(pbSave)) Save();
            return;
        case 'F':
            if (hasButton(pbFind)) Find();
            return;
        case 'O':
            if (hasButton(pbLoad)) Load();
            return;
        default:
            break;
        }
    }
    key = handled;
}

// ---- relayout ----------------------------------------------------------------------------------

void TpgwPreview::UpdatePages() {
    try {
        relayout();
    } catch (const EIntOverflow&) {
        // Pages too large for the layout at this zoom (one taken over while there were no
        // pages, or from the options): the control stays usable at 100 %.
        if (zoom_ == 1 && zoomMode_ == zmDefault) throw;
        zoom_ = 1;
        zoomMode_ = zmDefault;
        relayout();
        throw;
    }
}

void TpgwPreview::relayout() {
    TpgwCustomPreviewPages* pages = PreviewPages();
    if (locked_ || !pages || pages->GetCount() == 0) return;
    searchActive_ = false;
    workspace_->Model.SearchImagePage = -1;

    int w = 0, h = 0;
    pages->GetPageSize(pageNo_ - 1, w, h);
    if (h == 0) return;
    const int vbar = VerticalScrollBarWidth();
    if (zoomMode_ == zmWholePage || zoomMode_ == zmPageWidth) {
        const TRect client = ClientRect();
        TpgwZoomFit fit;
        fit.Page = {w, h};
        fit.Control = {client.Width(), client.Height()};
        fit.Workspace = {workspace_->Width(), workspace_->Height()};
        fit.VertScrollWidth = vbar;
        zoom_ = ZoomForMode(zoomMode_, zoom_, fit);
        if (zoomMode_ == zmWholePage) SetPosition(pageNo_, 0);
    }

    thumbnail_->SetDoubleBuffered(true);
    try {
        workspace_->SetZoom(zoom_);
        thumbnail_->SetZoom(0.1);
        workspace_->ClearPages();
        thumbnail_->ClearPages();
        const int count = pages->GetCount();
        for (int i = 0; i < count; ++i) {
            pages->GetPageSize(i, w, h);
            workspace_->AddPage(w, h);
            if (!running_) thumbnail_->AddPage(w, h);
        }
        workspace_->CalcPageBounds(LayoutWidth(workspace_->Width(), vbar));
        if (!running_) thumbnail_->CalcPageBounds(LayoutWidth(thumbnail_->Width(), vbar));
        workspace_->UpdateScrollBars();
        thumbnail_->UpdateScrollBars();
        workspace_->SetHorzPosition(workspace_->HorzPosition());
        workspace_->SetVertPosition(workspace_->VertPosition());
        if (!refreshing_) {
            workspace_->Invalidate();
            thumbnail_->Invalidate();
        }
        if (TpgwPreviewHost* h = host()) h->UpdateZoomText();
    } catch (...) {
        thumbnail_->SetDoubleBuffered(false);
        throw;
    }
    thumbnail_->SetDoubleBuffered(false);
}

void TpgwPreview::UpdateOutline() {
    TTreeNodes& nodes = tree_->Items();
    nodes.BeginUpdate();
    try {
        nodes.Clear();
        TpgwCustomPreviewPages* pages = PreviewPages();
        TpgwCustomOutline* outline = pages ? pages->Outline() : nullptr;
        if (outline) {
            std::function<void(TTreeNode*)> addLevel = [&](TTreeNode* parent) {
                const int count = outline->GetCount();
                for (int i = 0; i < count; ++i) {
                    std::string caption;
                    int page = 0, top = 0;
                    outline->GetItem(i, caption, page, top);
                    TTreeNode* node = nodes.AddChild(parent, caption);
                    node->SetImageIndex(page + 1);
                    node->SetStateIndex(top);
                    outline->LevelDown(i);
                    addLevel(node);
                    outline->LevelUp();
                }
            };
            outline->LevelRoot();
            addLevel(nullptr);
        }
    } catch (...) {
        nodes.EndUpdate();
        throw;
    }
    nodes.EndUpdate();
    if (Report() && Report()->PreviewOptions()->OutlineExpand()) tree_->FullExpand();
    if (TTreeNode* first = nodes.GetFirstNode()) tree_->SetTopItem(first);
}

// ---- progress of a run -------------------------------------------------------------------------

void TpgwPreview::StartProgress(TObject*, int, int) {
    if (refreshing_) return;
    Clear();
    if (Report()) Report()->ExpandedDrillDowns().Clear();
    running_ = true;
    pacer_ = std::make_unique<TpgwProgressPacer>([] { return GetTickCount(); });
    if (TpgwPreviewHost* h = host()) h->UpdateControls();
}

void TpgwPreview::StepProgress(TObject*, int, int progress) {
    if (refreshing_) {
        pageChanged();
        return;
    }
    TpgwCustomPreviewPages* pages = PreviewPages();
    if (!pages || !pacer_) return;
    TpgwCustomEngine* engine = pages->Engine();
    const bool finalPass = !engine || engine->FinalPass();
    const TpgwProgressStep step = pacer_->Step(progress, finalPass);
    if (step.AddToLayout) {
        int w = 0, h = 0;
        pages->GetPageSize(progress, w, h);
        workspace_->AddPage(w, h);
        workspace_->CalcPageBounds(LayoutWidth(workspace_->Width(), VerticalScrollBarWidth()));
    }
    if (step.MakeCurrent) {
        SetPageNo(1);
        if (finalPass) UpdatePages();
        if (progress == 0)
            if (TpgwPreviewHost* h = host()) h->RunStateChanged(true);
    } else if (step.Notify) {
        pageChanged();
        if (finalPass) workspace_->UpdateScrollBars();
    }
    Application()->ProcessMessages();
}

void TpgwPreview::StopProgress(TObject*, int, int) {
    if (refreshing_) return;
    running_ = false;
    pacer_.reset();
    pageChanged();
    workspace_->UpdateScrollBars();
    thumbnail_->UpdateScrollBars();
    UpdatePages();
    UpdateOutline();
    if (TpgwPreviewHost* h = host()) {
        h->RunStateChanged(false);
        h->UpdateControls();
    }
}

void TpgwPreview::Cancel() {
    if (Report()) Report()->SetTerminated(true);
}

void TpgwPreview::RefreshReport() {
    TpgwReport* report = Report();
    if (!report) return;
    const int horz = workspace_->HorzPosition();
    const int vert = workspace_->VertPosition();
    const int oldPageNo = pageNo_;
    Lock();
    refreshing_ = true;
    try {
        report->BuildPreparedPages(true);
        locked_ = false;
        thumbnail_->Locked = false;
        pageNo_ = oldPageNo > PageCount() ? 1 : oldPageNo;
        UpdatePages();
        UpdateOutline();
    } catch (...) {
        refreshing_ = false;
        workspace_->Locked = false;
        thumbnail_->Locked = false;
        locked_ = false;
        throw;
    }
    refreshing_ = false;
    workspace_->SetHorzPosition(horz);
    workspace_->SetVertPosition(vert);
    workspace_->Locked = false;
    workspace_->Invalidate();
    thumbnail_->Invalidate();
    if (PageCount() < oldPageNo) SetPageNo(1);
}

// ---- commands ----------------------------------------------------------------------------------

void TpgwPreview::Print() {
    if (running_ || !PreviewPages()) return;
    try {
        PreviewPages()->Print();
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

void TpgwPreview::Export(TpgwCustomExportFilter* filter) {
    if (running_ || !PreviewPages()) return;
    try {
        PreviewPages()->Export(filter);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

void TpgwPreview::Save() {
    if (running_ || !PreviewPages()) return;
    TSaveDialog dialog(nullptr);
    dialog.SetFilter(pp3Filter());
    dialog.SetOptions(dialog.Options() | (1u << ofNoChangeDir));
    if (!dialog.Execute()) return;
    workspace_->Invalidate();
    SaveToFile(ChangeFileExt(dialog.FileName(), ".pp3"));
}

void TpgwPreview::SaveToFile(const std::string& fileName) {
    if (running_ || !PreviewPages()) return;
    Lock();
    try {
        ShowMessage(text("clSaving"));
        PreviewPages()->SaveToFile(fileName);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

void TpgwPreview::Load() {
    if (running_ || !PreviewPages()) return;
    TOpenDialog dialog(nullptr);
    dialog.SetFilter(pp3Filter());
    dialog.SetOptions((1u << ofHideReadOnly) | (1u << ofNoChangeDir));
    if (!dialog.Execute()) return;
    workspace_->Invalidate();
    LoadFromFile(dialog.FileName());
}

void TpgwPreview::LoadFromFile(const std::string& fileName) {
    if (running_ || !PreviewPages()) return;
    Lock();
    auto finish = [this] {
        SetPageNo(1);
        UpdateOutline();
        Unlock();
    };
    try {
        ShowMessage(text("clLoading"));
        PreviewPages()->LoadFromFile(fileName, false);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TpgwPreview::PageSetup() {
    if (running_ || !PreviewPages() || pageNo_ < 1 || pageNo_ > PageCount()) return;
    auto* page = dynamic_cast<TpgwReportPage*>(PreviewPages()->GetPage(pageNo_ - 1));
    if (!page) return;
    TpgwPageSettingsForm form(Application());
    form.Page = page;
    form.Report = Report();
    if (form.ShowModal() != mrOk) return;
    TpgwReport* report = Report();
    if (form.ApplyToAll() && report) {
        for (TpgwComponent* object : report->AllObjects()) {
            auto* target = dynamic_cast<TpgwReportPage*>(object);
            if (!target) continue;
            target->SetOrientation(page->Orientation());
            target->SetPaperWidth(page->PaperWidth());
            target->SetPaperHeight(page->PaperHeight());
            target->SetPaperSize(page->PaperSize());
            target->SetLeftMargin(page->LeftMargin());
            target->SetRightMargin(page->RightMargin());
            target->SetTopMargin(page->TopMargin());
            target->SetBottomMargin(page->BottomMargin());
        }
        report->BuildPreparedPages(true);
        return;
    }
    Lock();
    try {
        PreviewPages()->ModifyPage(pageNo_ - 1, page);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

void TpgwPreview::Find() {
    TpgwSearchDialog dialog(Application());
    if (dialog.ShowModal() == mrOk) {
        TpgwSearchState& search = SearchState();
        search.Text = dialog.TextE->Text();
        search.CaseSensitive = dialog.CaseCB->Checked();
        workspace_->Model.SearchStartPage = dialog.TopCB->Checked() ? 0 : pageNo_ - 1;
        search.LastFoundRecord = -1;
        workspace_->FindText();
    }
    searchActive_ = true;
}

void TpgwPreview::FindNext() {
    if (searchActive_) workspace_->FindText();
}

void TpgwPreview::EditPage() {
    TpgwReport* report = Report();
    TpgwCustomPreviewPages* pages = PreviewPages();
    if (!report || !pages || !DesignerClass() || pageNo_ < 1 || pageNo_ > PageCount()) return;
    TpgwComponent* prepared = pages->GetPage(pageNo_ - 1);
    if (!prepared) return;

    TpgwReport temporary(nullptr);
    const TClassInfo* cls = GetClass(prepared->ClassName());
    auto* page =
        cls && cls->CanCreate() ? dynamic_cast<TpgwComponent*>(cls->Create(&temporary)) : nullptr;
    if (!page) return;
    page->CopyFrom(prepared);
    page->SetParent(&temporary);
    // The page keeps only its objects, placed on it and freed from their data.
    for (TpgwComponent* object : page->AllObjects()) {
        if (auto* view = dynamic_cast<TpgwView*>(object)) {
            view->SetDataField("");
            view->SetDataSet(nullptr);
            view->SetRestrictions(0);
        }
        if (object->Parent() != page && !dynamic_cast<TpgwBand*>(object)) {
            const double left = object->AbsLeft(), top = object->AbsTop();
            object->SetParent(page);
            object->SetLeft(left);
            object->SetTop(top);
            object->SetParentFont(false);
            if (auto* view = dynamic_cast<TpgwView*>(object))
                if (view->Align() == baBottom || view->Align() == baClient) view->SetAlign(baNone);
        }
    }
    std::vector<TpgwComponent*> bands;
    for (TpgwComponent* object : page->AllObjects())
        if (dynamic_cast<TpgwBand*>(object)) bands.push_back(object);
    // Deepest first: a band inside another goes before its container.
    for (auto it = bands.rbegin(); it != bands.rend(); ++it)
        delete *it;
    if (temporary.EditPreparedPage()) {
        Lock();
        try {
            pages->ModifyPage(pageNo_ - 1, page);
        } catch (...) {
            Unlock();
            throw;
        }
        Unlock();
    }
}

void TpgwPreview::EditTemplate() {
    auto* pages = dynamic_cast<TpgwPreviewPages*>(PreviewPages());
    if (!pages || !DesignerClass()) return;
    TpgwReport temporary(nullptr);
    // The source pages stay the store's: lent to the report's object list and taken back.
    std::vector<TpgwComponent*> lent;
    for (const auto& page : pages->SourcePages())
        lent.push_back(page.get());
    std::vector<TpgwComponent*> parents;
    for (TpgwComponent* page : lent)
        parents.push_back(page->Parent());
    temporary.SetObjectList(lent);
    auto giveBack = [&] {
        temporary.ReleaseObjectList(nullptr);
        for (std::size_t i = 0; i < lent.size(); ++i) {
            lent[i]->SetParent(nullptr);
            if (parents[i]) lent[i]->SetParent(parents[i]);
        }
    };
    try {
        temporary.OpenDesigner(true, false);
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
}

void TpgwPreview::AddPage() {
    if (running_ || !PreviewPages()) return;
    PreviewPages()->AddEmptyPage(pageNo_ - 1);
    UpdatePages();
    SetPageNo(pageNo_);
}

void TpgwPreview::DeletePage() {
    if (running_ || !PreviewPages() || PageCount() == 0) return;
    PreviewPages()->DeletePage(pageNo_ - 1);
    if (pageNo_ >= PageCount()) pageNo_ = std::max(pageNo_ - 1, PageCount() == 0 ? 0 : 1);
    workspace_->SetPageNo(pageNo_);
    thumbnail_->SetPageNo(pageNo_);
    UpdatePages();
    pageChanged();
}

void TpgwPreview::Clear() {
    if (running_) return;
    Lock();
    try {
        if (PreviewPages()) PreviewPages()->Clear();
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
    workspace_->ClearPages();
    thumbnail_->ClearPages();
    UpdateOutline();
    SetPageNo(1);
    workspace_->SetHorzExtent(0);
    workspace_->SetVertExtent(0);
    if (thumbnail_->Visible()) {
        thumbnail_->SetHorzExtent(0);
        thumbnail_->SetVertExtent(0);
    }
}

// ---- drill-down and the workspace's mouse ------------------------------------------------------

void TpgwPreview::collapseAll() {
    tree_->FullCollapse();
}

void TpgwPreview::expandAll() {
    tree_->FullExpand();
    if (TTreeNode* first = tree_->Items().GetFirstNode()) tree_->SetTopItem(first);
}

void TpgwPreview::WorkspaceClicked() {
    if (OnClick) OnClick(this);
}

void TpgwPreview::WorkspaceDblClicked() {
    if (OnDblClick) OnDblClick(this);
}

void RegisterPreviewClasses() {
    RegisterClasses<TpgwPreviewWorkspace, TpgwPreview>();
    RegisterPreviewComboClasses();
}
