#pragma once
// The preview control: the report's prepared pages in a scrolling workspace, with an outline
// tree or a thumbnail strip beside it; page number, zoom, and the commands print, export, save,
// load, find, page settings, edit page, add and delete pages. It shows pages while the report
// prepares them. TpgwPreviewWorkspace is the painted area (pages in rows at a zoom, dragging,
// object hints and clicks, the search highlight); its arithmetic is TpgwWorkspaceModel.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/page_output.h"
#include "engine/preview_workspace.h"
#include "engine/scroll_window.h"
#include "report/abstract_bases.h"
#include "report/options.h"

class TLabel;
class TPanel;
class TPopupMenu;
class TSplitter;
class TTreeView;
class TpgwPreview;

// ---- workspace ---------------------------------------------------------------------------------

class TpgwPreviewWorkspace : public TpgwScrollWin {
    LUMETRA_CLASS(TpgwPreviewWorkspace, TpgwScrollWin)
public:
    explicit TpgwPreviewWorkspace(TComponent* owner);
    ~TpgwPreviewWorkspace() override;

    TColor ActiveFrameColor = static_cast<TColor>(8405024);
    TColor BackColor = static_cast<TColor>(8421504);
    TColor FrameColor = clBlack;
    TCursor DefaultCursor; // the hand

    // The layout, search and page state; the preview reads and writes it directly.
    TpgwWorkspaceModel Model;
    TpgwCustomPreviewPages* PreviewPages = nullptr;
    TpgwPreview* Preview = nullptr;
    bool Locked = false;

    double Zoom() const { return Model.Zoom; }
    void SetZoom(double value) { Model.Zoom = value; }
    int PageNo() const { return Model.PageNo; }
    void SetPageNo(int value) { Model.PageNo = value; }
    bool ThumbnailMode() const { return Model.ThumbnailMode; }

    void AddPage(int width, int height) { Model.AddPage(width, height); }
    void CalcPageBounds(int availWidth) { Model.CalcPageBounds(availWidth); }
    void ClearPages() { Model.ClearPages(); }
    void UpdateScrollBars();
    void ScrollToPage(int pageNo);
    void ScrollToPosition(int pageNo, int y);
    // Paints now; FramesOnly keeps the pages and redraws the background and the active frame.
    void DrawPages(bool framesOnly);
    // Continues the search; "clStrNotFound" through the reporter when nothing more is found.
    void FindText();
    // Whether the whole area is drawn off screen first; the toolkit always does.
    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool value) { doubleBuffered_ = value; }

    // Draws everything the workspace shows onto canvas (client coordinates).
    void PaintTo(TCanvas& canvas);

protected:
    void Paint() override;
    void Resize() override;
    void HorzPositionChanged() override;
    void VertPositionChanged() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool MouseWheel(TShiftState shift, int wheelDelta, int x, int y) override;
    void KeyDown(std::uint16_t& key, TShiftState shift) override;
    void DblClick() override;

private:
    TSize clientSize() const;
    void hitTest(int x, int y, TMouseButton button, TShiftState shift, bool click,
                 bool doubleClick);

    bool down_ = false;
    bool doubleBuffered_ = false;
    TPoint lastPoint_;
};

// ---- the preview window's side -----------------------------------------------------------------

// What the preview control tells the preview window that owns it.
class TpgwPreviewHost {
public:
    virtual ~TpgwPreviewHost() = default;
    virtual void UpdateControls() = 0;
    virtual void UpdateZoomText() = 0;
    // A run gave its first page (the Close button becomes Cancel) or ended (Close again, the
    // progress panel cleared).
    virtual void RunStateChanged(bool running) = 0;
    // The outline or thumbnail strip was shown or hidden by code: the buttons follow.
    virtual void StripsChanged(bool outlineVisible, bool thumbnailVisible) = 0;
};

// ---- preview control ---------------------------------------------------------------------------

using TpgwPageChangedEvent = std::function<void(TpgwPreview* sender, int pageNo)>;

class TpgwPreview : public TpgwCustomPreview, public TpgwPreviewNavigation {
    LUMETRA_CLASS(TpgwPreview, TpgwCustomPreview)
public:
    explicit TpgwPreview(TComponent* owner);
    ~TpgwPreview() override;
    static void RegisterProperties(TClassBuilder<TpgwPreview>& b);

    void Init() override;
    void Lock() override;
    void Unlock() override;
    void RefreshReport() override;
    void StartProgress(TObject* sender, int progressType, int progress) override;
    void StepProgress(TObject* sender, int progressType, int progress) override;
    void StopProgress(TObject* sender, int progressType, int progress) override;
    // None: the report let the control go; it shows nothing until bound again.
    void SetPreviewPages(TpgwCustomPreviewPages* pages) override;

    int PageNo() const override { return pageNo_; }
    void SetPageNo(int value) override;
    void SetPosition(int pageNo, int y) override;
    bool UseReportHints() const override { return useReportHints_; }
    void SetUseReportHints(bool value) { useReportHints_ = value; }
    void ShowMessage(const std::string& text);
    void HideMessage() override;

    int PageCount() const;
    void First();
    void Next();
    void Prior();
    void Last();
    double Zoom() const { return zoom_; }
    // Both relay the pages out; a zoom they cannot be laid out at (EIntOverflow) is refused
    // and the one before stays.
    void SetZoom(double value);
    TpgwZoomMode ZoomMode() const { return zoomMode_; }
    void SetZoomMode(TpgwZoomMode value);
    bool Locked() const { return locked_; }
    bool Running() const { return running_; }
    bool Refreshing() const { return refreshing_; }
    bool SearchActive() const { return searchActive_; }

    TColor ActiveFrameColor() const;
    void SetActiveFrameColor(TColor value);
    TColor BackColor() const;
    void SetBackColor(TColor value);
    TColor FrameColor() const;
    void SetFrameColor(TColor value);
    TColor OutlineColor() const;
    void SetOutlineColor(TColor value);
    bool OutlineVisible() const;
    void SetOutlineVisible(bool value);
    int OutlineWidth() const;
    void SetOutlineWidth(int value);
    bool ThumbnailVisible() const;
    void SetThumbnailVisible(bool value);

    // Commands; all but Find, FindNext, EditPage and EditTemplate do nothing while Running.
    void Print();
    void Export(TpgwCustomExportFilter* filter);
    void Save();
    void SaveToFile(const std::string& fileName);
    void Load();
    void LoadFromFile(const std::string& fileName);
    void PageSetup();
    void Find();
    void FindNext();
    void EditPage();
    void EditTemplate();
    void AddPage();
    void DeletePage();
    void Clear();
    // Stops the run (the report's Terminated).
    void Cancel();
    void CancelIfRunning() {
        if (running_) Cancel();
    }
    void MouseWheelScroll(int delta, bool horizontal, bool zoom);
    void UpdatePages();
    void UpdateOutline();

    TpgwPreviewWorkspace* Workspace() const { return workspace_; }
    TpgwPreviewWorkspace* ThumbnailWorkspace() const { return thumbnail_; }
    TTreeView* OutlineTree() const { return tree_; }
    TSplitter* Splitter() const { return splitter_; }
    TPanel* MessagePanel() const { return messagePanel_; }
    TPopupMenu* OutlinePopup() const { return outlinePopup_; }

    TpgwPageChangedEvent OnPageChanged;

    // The workspaces' mouse: a release and a double click on the main one.
    void WorkspaceClicked();
    void WorkspaceDblClicked();
    // The control's keys (arrows, pages, Home/End, F3 and the Ctrl shortcuts); key becomes 0
    // when one was handled.
    void KeyCommand(std::uint16_t& key, TShiftState shift);

protected:
    void Resize() override;
    void KeyDown(std::uint16_t& key, TShiftState shift) override;

private:
    TpgwPreviewHost* host() const;
    void relayout();
    void applyZoom(double zoom, TpgwZoomMode mode);
    void pageChanged();
    void collapseAll();
    void expandAll();
    bool hasButton(int button) const;

    TPopupMenu* outlinePopup_ = nullptr;
    TTreeView* tree_ = nullptr;
    TpgwPreviewWorkspace* thumbnail_ = nullptr;
    TSplitter* splitter_ = nullptr;
    TpgwPreviewWorkspace* workspace_ = nullptr;
    TPanel* messagePanel_ = nullptr;
    TLabel* messageLabel_ = nullptr;

    int pageNo_ = 1;
    double zoom_ = 1.0;
    TpgwZoomMode zoomMode_ = zmDefault;
    bool locked_ = false;
    bool running_ = false;
    bool refreshing_ = false;
    bool searchActive_ = false;
    bool useReportHints_ = true;
    int outlineWidth_ = 120;
    TColor outlineColor_ = clWindow;
    std::unique_ptr<TpgwProgressPacer> pacer_;
};

// Registers the preview control, its workspace and the report windows' combo boxes by class
// name.
void RegisterPreviewClasses();
