#pragma once
// The arithmetic behind a preview's scrolling workspace: rows of page rectangles, which page lies
// at a position, where the view scrolls to, what a paint touches, the zoom rules, the pacing of
// redraws while a report prepares, and the text search over recorded pages. It works on plain
// values only; the workspace control owns a TpgwWorkspaceModel, supplies its client size, scroll
// position and page drawing, and applies the positions computed here through its scroll bars.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/color.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/metafile.h"
#include "report/options.h"

class TpgwCustomPreviewPages;

// Color1 blended into Color2 by Percent (of 100, or of 1000 from 100 on), system colours resolved.
TColor MixColors(TColor color1, TColor color2, int percent);

// ---- page layout ------------------------------------------------------------------------------

struct TpgwPageItem {
    int Height = 0; // at the zoom in force when the item was added
    int Width = 0;
    int Left = 0; // workspace coordinates, set by the layout
    int Top = 0;
};

// Layout and lookup raise EIntOverflow when a coordinate leaves the 32-bit range.
class TpgwPageList {
public:
    void AddPage(int width, int height, double zoom);
    // Rows left to right, 10 pixels apart, each centred in availWidth; a row always takes at
    // least one page, so a page wider than the space stands alone at 10.
    void CalcBounds(int availWidth);
    // X = 0: the current page for a view whose top is Y (a page counts once its top is within a
    // fifth of its height below Y); -1 above the first page. X != 0: the page containing (X, Y),
    // else the last page starting above Y.
    int FindPage(int y, int x) const;
    // An index outside the list gives a centred A4 page at this zoom.
    TRect GetPageBounds(int index, int clientWidth, bool rightToLeft, double zoom) const;
    // (MaxWidth, bottom of the last page); (0, 0) when empty.
    TSize GetMaxBounds() const;

    int Count() const { return static_cast<int>(items_.size()); }
    const TpgwPageItem& Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    void Clear();
    // The widest row of the last layout, gaps included.
    int MaxWidth() const { return maxWidth_; }

private:
    std::vector<TpgwPageItem> items_;
    int maxWidth_ = 0;
};

// ---- zoom and page number ---------------------------------------------------------------------

inline constexpr double kMinZoom = 0.25;
inline constexpr double kMinWheelZoom = 0.3;

// What SetPageNo keeps: 1 .. pageCount, 0 without pages.
int ClampPageNo(int value, int pageCount);
// What SetZoom keeps (the mode becomes zmDefault with it).
double ClampZoom(double value);
// One wheel notch with Ctrl: 0.1 per notch whatever the delta, never below 0.3; delta 0 keeps it.
double WheelZoom(double zoom, int delta);

// Sizes a relayout needs to derive the zoom of a fitting mode.
struct TpgwZoomFit {
    TSize Page;              // the current page at zoom 1
    TSize Control;           // the preview control's client area
    TSize Workspace;         // the main workspace's size
    int VertScrollWidth = 0; // the system's vertical scroll bar width
};
// The zoom a relayout uses: fitted for zmWholePage and zmPageWidth, zoom itself otherwise or for
// a page of no height.
double ZoomForMode(TpgwZoomMode mode, double zoom, const TpgwZoomFit& fit);
// The width the main workspace lays its pages out in.
int LayoutWidth(int workspaceWidth, int vertScrollWidth);

// ---- pacing while a report prepares -----------------------------------------------------------

// Pages added to the layout one by one during the final pass; later ones wait for the end.
inline constexpr int kLivePages = 50;

// Redraw every so many pages, from the milliseconds page 1 took after page 0.
int RedrawInterval(std::uint32_t milliseconds);

struct TpgwProgressStep {
    bool AddToLayout = false; // lay this page out at once (final pass only)
    bool MakeCurrent = false; // page 1 becomes current and the pages relay (pages 0 and 1)
    bool Notify = false;      // fire OnPageChanged, update the scroll extents
};

// Decides what each finished page shows. Time comes from Clock (milliseconds, wrapping).
class TpgwProgressPacer {
public:
    using Clock = std::function<std::uint32_t()>;
    explicit TpgwProgressPacer(Clock clock) : clock_(std::move(clock)) {}

    TpgwProgressStep Step(int pageIndex, bool finalPass);
    // 0 until the second page has been timed.
    int Interval() const { return interval_; }

private:
    Clock clock_;
    std::uint32_t firstPageTick_ = 0;
    int interval_ = 0;
};

// ---- process-wide search state -----------------------------------------------------------------

struct TpgwSearchState {
    std::string Text; // UTF-8
    bool CaseSensitive = false;
    bool Found = false;
    TRect FoundRect;          // page pixels at zoom 1
    int RecordCounter = 0;    // text records looked at on the current page
    int LastFoundRecord = -1; // -1: none on the current page yet
};
// One state shared by every preview, so find-next continues whichever search ran last.
TpgwSearchState& SearchState();

// Whether text holds what: as UTF-16, case-folded unless caseSensitive. An empty what matches
// nothing.
bool TextContains(std::u16string_view text, std::u16string_view what, bool caseSensitive);

// ---- workspace ---------------------------------------------------------------------------------

// Supplies the pages a search reads: each drawn at scale 1 into a recording.
class TpgwSearchSource {
public:
    virtual ~TpgwSearchSource() = default;
    virtual int PageCount() = 0;
    virtual TRecording DrawPage(int index) = 0;
};

// Draws through prepared pages onto a recording canvas of the page's size.
class TpgwPreviewPagesSearchSource final : public TpgwSearchSource {
public:
    explicit TpgwPreviewPagesSearchSource(TpgwCustomPreviewPages& pages) : pages_(pages) {}
    int PageCount() override;
    TRecording DrawPage(int index) override;

private:
    TpgwCustomPreviewPages& pages_;
};

struct TpgwVisiblePage {
    int Index = 0;
    TRect Bounds; // client coordinates
};

struct TpgwScrollTarget {
    std::optional<int> Horz;
    std::optional<int> Vert;
};

struct TpgwFindResult {
    bool Found = false;
    TpgwScrollTarget Scroll; // where the view moves to show the hit
};

// One workspace's state. The control keeps Offset equal to its scroll positions, PageNo in step
// with the preview, relays the list (clear, AddPage for every page, CalcPageBounds with
// LayoutWidth) and sets SearchImagePage to -1 at each relayout; it supplies its client size,
// the top margin of a page for ScrollToPosition, the tick count and double-click time for
// RegisterClick, a search source, and does the drawing, clipping and message boxes itself.
class TpgwWorkspaceModel {
public:
    TpgwPageList PageList;
    double Zoom = 1.0;
    int PageNo = 1; // 1-based
    bool RightToLeft = false;
    bool SuppressScrollSync = false;
    bool ThumbnailMode = false;
    int SearchStartPage = 0;
    int SearchImagePage = -1; // -1 forces the next search to draw its page again
    TPoint Offset;            // the scroll position last applied

    void AddPage(int width, int height) { PageList.AddPage(width, height, Zoom); }
    void CalcPageBounds(int availWidth) { PageList.CalcBounds(availWidth); }
    void ClearPages() { PageList.Clear(); }
    // Horizontal and vertical scroll extents: the layout plus a 10-pixel margin.
    TSize ScrollExtents() const;

    // Vertical position showing page pageNo (1-based); none while SuppressScrollSync or for a
    // page not laid out.
    std::optional<int> ScrollToPage(int pageNo) const;
    // Vertical position showing y pixels (page units) below the top margin of page pageNo; y = 0
    // shows the page's top.
    std::optional<int> ScrollToPosition(int pageNo, int y, double topMarginMm) const;
    // The page number the view shows at vertical position offsetY (0 above the first page; the
    // preview clamps it).
    int PageNoAt(int offsetY) const { return PageList.FindPage(offsetY, 0) + 1; }
    // The page index under a client point, mirrored for right-to-left.
    int PageAtPoint(int x, int y, int clientWidth) const;

    // The pages among the 81 around the scroll position that a client area shows. For drawing,
    // a page one pixel above the client area still counts (its frame line).
    std::vector<TpgwVisiblePage> VisiblePages(TSize client, bool forDrawing) const;
    // The 2-pixel polyline framing the current page, client coordinates.
    std::vector<TPoint> ActiveFramePoints(int clientWidth) const;
    // The client rows to invert for the search hit on pageBounds (client coordinates of its page):
    // Left and Right are the line ends, Top..Bottom inclusive.
    TRect HighlightArea(const TRect& pageBounds) const;

    // Where a drag step from last to current moves the view.
    static TPoint DragPosition(TPoint position, TPoint last, TPoint current);
    // A mouse-up at tick now (milliseconds): true when it completes a double click, which then
    // starts nothing; else it is the first click of a possible pair.
    bool RegisterClick(std::uint32_t now, std::uint32_t doubleClickTime);

    // Continues the search from SearchStartPage; the search text and flags are SearchState().
    // Nothing found leaves SearchStartPage at the page count (the caller then reports
    // "clStrNotFound"); a search text that is not UTF-8 raises EEncodingError.
    // The recording of the last searched page is kept for the next call.
    TpgwFindResult FindText(TpgwSearchSource& source, TSize client);

private:
    std::optional<TRecording> searchImage_;
    std::optional<std::uint32_t> lastClickTime_;
};
