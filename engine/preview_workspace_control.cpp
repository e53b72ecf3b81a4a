// TpgwPreviewWorkspace: the painted, scrolling area of the preview. The layout, lookup and
// search arithmetic is TpgwWorkspaceModel's; this class draws, scrolls and routes the mouse.

#include <memory>

#include "engine/preview.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/application.h"
#include "report/module_startup.h"
#include "report/page.h"
#include "report/resources.h"
#include "report/utils.h"

TpgwPreviewWorkspace::TpgwPreviewWorkspace(TComponent* owner)
    : TpgwScrollWin(owner), DefaultCursor(crHand) {
    SetLargeChange(300);
    SetSmallChange(8);
}

TpgwPreviewWorkspace::~TpgwPreviewWorkspace() = default;

TSize TpgwPreviewWorkspace::clientSize() const {
    const TRect r = ClientRect();
    return {r.Width(), r.Height()};
}

void TpgwPreviewWorkspace::UpdateScrollBars() {
    const TSize extents = Model.ScrollExtents();
    SetHorzExtent(extents.cx);
    SetVertExtent(extents.cy);
}

void TpgwPreviewWorkspace::ScrollToPage(int pageNo) {
    if (const auto target = Model.ScrollToPage(pageNo)) SetVertPosition(*target);
}

void TpgwPreviewWorkspace::ScrollToPosition(int pageNo, int y) {
    if (!PreviewPages || pageNo < 1 || pageNo > PreviewPages->GetCount()) return;
    auto* page = dynamic_cast<TpgwReportPage*>(PreviewPages->GetPage(pageNo - 1));
    if (!page) return;
    if (const auto target = Model.ScrollToPosition(pageNo, y, page->TopMargin()))
        SetVertPosition(*target);
}

void TpgwPreviewWorkspace::DrawPages(bool framesOnly) {
    // The toolkit keeps no earlier pixels to draw the frames over, so a frames-only request
    // paints the pages as well; it stays cheap because only the visible pages are drawn.
    (void)framesOnly;
    Invalidate();
}

void TpgwPreviewWorkspace::Paint() {
    // The toolkit paints every window through a back buffer of its own, so double buffering
    // needs no second one here.
    PaintTo(*Canvas());
}

void TpgwPreviewWorkspace::PaintTo(TCanvas& canvas) {
    const TSize client = clientSize();
    const TRect all(0, 0, client.cx, client.cy);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(BackColor);
    if (Locked || Model.PageList.Count() == 0) {
        canvas.FillRect(all);
        return;
    }
    if (!PreviewPages) return;

    const std::vector<TpgwVisiblePage> pages = Model.VisiblePages(client, true);
    // The background leaves the pages out, so they do not flicker.
    canvas.SaveClip();
    for (const TpgwVisiblePage& page : pages)
        if (page.Bounds.Bottom >= 0 && page.Bounds.Top <= client.cy)
            canvas.ExcludeClipRect(page.Bounds);
    canvas.FillRect(all);
    canvas.RestoreClip();

    canvas.Pen().SetMode(pmCopy);
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetColor(ActiveFrameColor);
    canvas.Pen().SetWidth(2);
    canvas.Polyline(Model.ActiveFramePoints(client.cx));

    const TpgwSearchState& search = SearchState();
    for (const TpgwVisiblePage& page : pages) {
        const TRect& r = page.Bounds;
        canvas.Pen().SetWidth(1);
        canvas.Pen().SetColor(FrameColor);
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(clWhite);
        canvas.Rectangle(r);
        PreviewPages->DrawPage(page.Index, canvas, Model.Zoom, Model.Zoom, r.Left, r.Top);
        if (Model.ThumbnailMode) {
            TFont& font = canvas.Font();
            font.SetName("Arial");
            font.SetSize(8);
            font.SetStyle({});
            font.SetColor(clWhite);
            canvas.Brush().SetStyle(bsSolid);
            canvas.Brush().SetColor(BackColor);
            canvas.SetBackgroundMode(bmOpaque);
            canvas.TextOut(r.Left + 1, r.Top + 1, " " + std::to_string(page.Index + 1) + " ");
        }
        if (search.Found && page.Index == Model.SearchStartPage) {
            const TRect area = Model.HighlightArea(r);
            canvas.Pen().SetWidth(1);
            canvas.Pen().SetColor(clWhite);
            canvas.Pen().SetMode(pmXor);
            for (int y = area.Top; y <= area.Bottom; ++y) {
                canvas.MoveTo(area.Left, y);
                canvas.LineTo(area.Right, y);
            }
            canvas.Pen().SetMode(pmCopy);
        }
    }
}

void TpgwPreviewWorkspace::Resize() {
    TpgwScrollWin::Resize();
    const TSize client = clientSize();
    SetHorzPageSize(client.cx);
    SetVertPageSize(client.cy);
}

void TpgwPreviewWorkspace::HorzPositionChanged() {
    Model.Offset.X = HorzPosition();
    Invalidate();
}

void TpgwPreviewWorkspace::VertPositionChanged() {
    Model.Offset.Y = VertPosition();
    Invalidate();
    if (Model.ThumbnailMode || !Preview) return;
    // The preview follows the scroll position, and must not scroll back to the page's top.
    Model.SuppressScrollSync = true;
    try {
        Preview->SetPageNo(Model.PageNoAt(Model.Offset.Y));
    } catch (...) {
        Model.SuppressScrollSync = false;
        throw;
    }
    Model.SuppressScrollSync = false;
}

void TpgwPreviewWorkspace::FindText() {
    if (!PreviewPages) return;
    TpgwPreviewPagesSearchSource source(*PreviewPages);
    const TpgwFindResult result = Model.FindText(source, clientSize());
    if (!result.Found) {
        Invalidate();
        ShowInfoMessage(GetResources().GetText("clStrNotFound"));
        return;
    }
    if (result.Scroll.Vert) SetVertPosition(*result.Scroll.Vert);
    if (result.Scroll.Horz) SetHorzPosition(*result.Scroll.Horz);
    Invalidate();
}

void TpgwPreviewWorkspace::hitTest(int x, int y, TMouseButton button, TShiftState shift, bool click,
                                   bool doubleClick) {
    const TSize client = clientSize();
    const int index = Model.PageList.FindPage(Model.Offset.Y + y, Model.Offset.X + x);
    if (index < 0 || index >= PreviewPages->GetCount()) return;
    const TRect r = Model.PageList.GetPageBounds(index, client.cx, Model.RightToLeft, Model.Zoom);
    TCursor cursor = DefaultCursor;
    PreviewPages->ObjectOver(index, x, y, button, shift, Model.Zoom, r.Left - Model.Offset.X,
                             r.Top - Model.Offset.Y, click, cursor, doubleClick);
    SetCursor(cursor);
}

void TpgwPreviewWorkspace::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TpgwScrollWin::MouseDown(button, shift, x, y);
    if (!PreviewPages || Model.PageList.Count() == 0 || Locked || button != mbLeft) return;
    down_ = true;
    lastPoint_ = {x, y};
}

void TpgwPreviewWorkspace::MouseMove(TShiftState shift, int x, int y) {
    TpgwScrollWin::MouseMove(shift, x, y);
    if (!PreviewPages || Model.PageList.Count() == 0 || Locked || Model.ThumbnailMode) return;
    if (down_) {
        const TPoint to =
            TpgwWorkspaceModel::DragPosition({HorzPosition(), VertPosition()}, lastPoint_, {x, y});
        SetHorzPosition(to.X);
        SetVertPosition(to.Y);
        lastPoint_ = {x, y};
        return;
    }
    hitTest(x, y, mbLeft, 0, false, false);
}

void TpgwPreviewWorkspace::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TpgwScrollWin::MouseUp(button, shift, x, y);
    if (!Model.ThumbnailMode && Preview) Preview->WorkspaceClicked();
    if (!PreviewPages || Model.PageList.Count() == 0 || Locked) return;
    down_ = false;
    const int index = Model.PageAtPoint(x, y, clientSize().cx);
    if (Preview) {
        Model.SuppressScrollSync = true;
        try {
            Preview->SetPageNo(index + 1);
        } catch (...) {
            Model.SuppressScrollSync = false;
            throw;
        }
        Model.SuppressScrollSync = false;
    }
    if (Model.ThumbnailMode || button == mbRight) return;
    const bool doubleClick =
        Model.RegisterClick(GetTickCount(), static_cast<std::uint32_t>(GetDoubleClickTime()));
    hitTest(x, y, button, shift, true, doubleClick);
}

bool TpgwPreviewWorkspace::MouseWheel(TShiftState shift, int wheelDelta, int x, int y) {
    if (Preview) {
        Preview->MouseWheelScroll(wheelDelta, false, (shift & ShiftBit(ssCtrl)) != 0);
        return true;
    }
    return TpgwScrollWin::MouseWheel(shift, wheelDelta, x, y);
}

void TpgwPreviewWorkspace::KeyDown(std::uint16_t& key, TShiftState shift) {
    TpgwScrollWin::KeyDown(key, shift);
    if (key != 0 && Preview) Preview->KeyCommand(key, shift);
}

void TpgwPreviewWorkspace::DblClick() {
    TpgwScrollWin::DblClick();
    if (!Model.ThumbnailMode && Preview) Preview->WorkspaceDblClicked();
}
