#include "engine/preview_workspace.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "report/abstract_bases.h"

namespace {

constexpr int kGap = 10;      // between pages, and above the first row
constexpr int kA4Width = 794; // a page the list does not hold is shown as A4
constexpr int kA4Height = 1123;
constexpr int kPaintWindow = 40; // pages either side of the scroll position that paint
constexpr int kPointWindow = 20; // pages either side of the candidate a point is tested on
constexpr double kPixelsPerMm = 3.77953;

[[noreturn]] void overflow() {
    throw EIntOverflow("Integer overflow");
}

int add(int a, int b) {
    int r;
    if (__builtin_add_overflow(a, b, &r)) overflow();
    return r;
}

int sub(int a, int b) {
    int r;
    if (__builtin_sub_overflow(a, b, &r)) overflow();
    return r;
}

int roundInt(double value) {
    if (!(value >= std::numeric_limits<int>::min() - 0.5 &&
          value <= std::numeric_limits<int>::max() + 0.5))
        overflow();
    const std::int64_t r = Round(value);
    if (r < std::numeric_limits<int>::min() || r > std::numeric_limits<int>::max()) overflow();
    return static_cast<int>(r);
}

TRect shifted(TRect r, TPoint by) {
    return {sub(r.Left, by.X), sub(r.Top, by.Y), sub(r.Right, by.X), sub(r.Bottom, by.Y)};
}

// Case folding as upper then lower simple mapping, which also unites the odd letters (long s,
// final sigma) with their plain forms. Unpaired surrogates stay as they are.
std::u16string fold(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t runStart = 0;
    auto flush = [&](std::size_t end) {
        if (end > runStart)
            out += Utf8ToUtf16(
                AnsiLowerCase(AnsiUpperCase(Utf16ToUtf8(text.substr(runStart, end - runStart)))));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            flush(i);
            out += c;
            runStart = i + 1;
        }
    }
    flush(text.size());
    return out;
}

} // namespace

TColor MixColors(TColor color1, TColor color2, int percent) {
    const TColor c1 = ColorToRGB(color1);
    const TColor c2 = ColorToRGB(color2);
    const int d = percent < 100 ? 100 : 1000;
    const int p = std::clamp(percent, 0, d);
    auto mix = [&](int a, int b) { return (b * (d - p) + a * p + d / 2) / d; };
    return RGB(mix(GetRValue(c1), GetRValue(c2)), mix(GetGValue(c1), GetGValue(c2)),
               mix(GetBValue(c1), GetBValue(c2)));
}

// ---- TpgwPageList -----------------------------------------------------------------------------

void TpgwPageList::AddPage(int width, int height, double zoom) {
    items_.push_back({roundInt(zoom * height), roundInt(zoom * width), 0, 0});
}

void TpgwPageList::CalcBounds(int availWidth) {
    maxWidth_ = 0;
    int y = kGap;
    std::size_t i = 0;
    while (i < items_.size()) {
        const std::size_t rowStart = i;
        int x = 0;
        int rowHeight = 0;
        while (i < items_.size()) {
            TpgwPageItem& item = items_[i];
            if (x > 0 && add(x, item.Width) > availWidth) break;
            item.Left = x;
            item.Top = y;
            x = add(add(x, item.Width), kGap);
            rowHeight = std::max(rowHeight, item.Height);
            ++i;
        }
        maxWidth_ = std::max(maxWidth_, x);
        int shift = add(sub(availWidth, x), kGap) / 2;
        shift = add(std::max(shift, 0), kGap);
        for (std::size_t j = rowStart; j < i; ++j)
            items_[j].Left = add(items_[j].Left, shift);
        y = add(add(y, rowHeight), kGap);
    }
}

int TpgwPageList::FindPage(int y, int x) const {
    int lo = 0;
    int hi = Count() - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const TpgwPageItem& item = items_[static_cast<std::size_t>(mid)];
        const int tolerance = x != 0 ? 0 : roundInt(item.Height / 5.0);
        if (add(y, tolerance) < item.Top)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    if (x == 0) return hi;
    const int first = std::max(hi - kPointWindow, 0);
    const int last = std::min(hi + kPointWindow, Count() - 1);
    for (int i = first; i <= last; ++i) {
        const TpgwPageItem& item = items_[static_cast<std::size_t>(i)];
        if (x >= item.Left && x < add(item.Left, item.Width) && y >= item.Top &&
            y < add(item.Top, item.Height))
            return i;
    }
    return hi;
}

TRect TpgwPageList::GetPageBounds(int index, int clientWidth, bool rightToLeft, double zoom) const {
    TRect r;
    if (index < 0 || index >= Count()) {
        const double width = zoom * kA4Width;
        r.Top = roundInt(zoom * kGap);
        r.Left = clientWidth >= width ? roundInt((clientWidth - width) / 2) : kGap;
        r.Right = add(r.Left, roundInt(width));
        r.Bottom = add(r.Top, roundInt(zoom * kA4Height));
        return r;
    }
    const TpgwPageItem& item = items_[static_cast<std::size_t>(index)];
    r.Left = rightToLeft ? sub(sub(clientWidth, item.Width), item.Left) : item.Left;
    r.Top = item.Top;
    r.Right = add(r.Left, item.Width);
    r.Bottom = add(r.Top, item.Height);
    return r;
}

TSize TpgwPageList::GetMaxBounds() const {
    if (items_.empty()) return {0, 0};
    return {maxWidth_, add(items_.back().Top, items_.back().Height)};
}

void TpgwPageList::Clear() {
    items_.clear();
    maxWidth_ = 0;
}

// ---- zoom and page number ---------------------------------------------------------------------

int ClampPageNo(int value, int pageCount) {
    value = std::max(value, 1);
    return std::min(value, std::max(pageCount, 0));
}

double ClampZoom(double value) {
    return std::max(value, kMinZoom);
}

double WheelZoom(double zoom, int delta) {
    if (delta == 0) return zoom;
    zoom += delta > 0 ? 0.1 : -0.1;
    return ClampZoom(std::max(zoom, kMinWheelZoom));
}

int LayoutWidth(int workspaceWidth, int vertScrollWidth) {
    return sub(sub(workspaceWidth, vertScrollWidth), 26);
}

double ZoomForMode(TpgwZoomMode mode, double zoom, const TpgwZoomFit& fit) {
    const int w = fit.Page.cx;
    const int h = fit.Page.cy;
    if (h == 0) return zoom;
    const double fitWidth =
        w != 0 ? double(LayoutWidth(fit.Workspace.cx, fit.VertScrollWidth)) / w : zoom;
    switch (mode) {
    case zmWholePage: {
        // h / controlHeight >= w / controlWidth, without dividing by an empty control.
        const bool byHeight = std::int64_t(h) * fit.Control.cx >= std::int64_t(w) * fit.Control.cy;
        return byHeight ? double(fit.Workspace.cy - 26) / h : fitWidth;
    }
    case zmPageWidth:
        return fitWidth;
    case zmDefault:
    case zmManyPages:
        break;
    }
    return zoom;
}

// ---- pacing -----------------------------------------------------------------------------------

int RedrawInterval(std::uint32_t milliseconds) {
    if (milliseconds < 5) return 50;
    if (milliseconds < 10) return 20;
    return 5;
}

TpgwProgressStep TpgwProgressPacer::Step(int pageIndex, bool finalPass) {
    TpgwProgressStep step;
    step.AddToLayout = finalPass && pageIndex >= 0 && pageIndex < kLivePages;
    if (pageIndex == 0) {
        step.MakeCurrent = true;
        firstPageTick_ = clock_();
    } else if (pageIndex == 1) {
        // Unsigned difference: right across the tick counter's wrap.
        interval_ = RedrawInterval(clock_() - firstPageTick_);
        step.MakeCurrent = true;
    } else if (interval_ > 0 && pageIndex % interval_ == 0) {
        step.Notify = true;
    }
    return step;
}

// ---- search -----------------------------------------------------------------------------------

TpgwSearchState& SearchState() {
    static TpgwSearchState state;
    return state;
}

bool TextContains(std::u16string_view text, std::u16string_view what, bool caseSensitive) {
    if (what.empty()) return false;
    if (caseSensitive) return text.find(what) != std::u16string_view::npos;
    return fold(text).find(fold(what)) != std::u16string::npos;
}

int TpgwPreviewPagesSearchSource::PageCount() {
    return pages_.GetCount();
}

TRecording TpgwPreviewPagesSearchSource::DrawPage(int index) {
    int width = 0, height = 0;
    pages_.GetPageSize(index, width, height);
    TRecordingCanvas canvas(width, height);
    pages_.DrawPage(index, canvas, 1, 1, 0, 0);
    return canvas.TakeRecording();
}

// ---- TpgwWorkspaceModel -----------------------------------------------------------------------

TSize TpgwWorkspaceModel::ScrollExtents() const {
    const TSize max = PageList.GetMaxBounds();
    return {add(max.cx, kGap), add(max.cy, kGap)};
}

std::optional<int> TpgwWorkspaceModel::ScrollToPage(int pageNo) const {
    if (SuppressScrollSync || pageNo < 1 || pageNo > PageList.Count()) return std::nullopt;
    return sub(PageList.Items(pageNo - 1).Top, kGap);
}

std::optional<int> TpgwWorkspaceModel::ScrollToPosition(int pageNo, int y,
                                                        double topMarginMm) const {
    if (pageNo < 1 || pageNo > PageList.Count()) return std::nullopt;
    int target = sub(PageList.Items(pageNo - 1).Top, kGap);
    if (y != 0) target = add(target, roundInt((topMarginMm * kPixelsPerMm + y) * Zoom));
    return target;
}

int TpgwWorkspaceModel::PageAtPoint(int x, int y, int clientWidth) const {
    int px = add(Offset.X, x);
    if (RightToLeft) px = sub(clientWidth, px);
    return PageList.FindPage(add(Offset.Y, y), px);
}

std::vector<TpgwVisiblePage> TpgwWorkspaceModel::VisiblePages(TSize client, bool forDrawing) const {
    std::vector<TpgwVisiblePage> pages;
    const int n = PageList.FindPage(Offset.Y, 0);
    const int first = std::max(n - kPaintWindow, 0);
    const int last = std::min(n + kPaintWindow, PageList.Count() - 1);
    for (int i = first; i <= last; ++i) {
        const TRect r = shifted(PageList.GetPageBounds(i, client.cx, RightToLeft, Zoom), Offset);
        const int bottom = forDrawing ? add(r.Bottom, 1) : r.Bottom;
        if (r.Top <= client.cy && bottom >= 0) pages.push_back({i, r});
    }
    return pages;
}

std::vector<TPoint> TpgwWorkspaceModel::ActiveFramePoints(int clientWidth) const {
    const TRect r =
        shifted(PageList.GetPageBounds(PageNo - 1, clientWidth, RightToLeft, Zoom), Offset);
    return {{r.Left - 1, r.Top - 1},
            {r.Right + 1, r.Top - 1},
            {r.Right + 1, r.Bottom + 1},
            {r.Left - 1, r.Bottom + 1},
            {r.Left - 1, r.Top - 2}};
}

TRect TpgwWorkspaceModel::HighlightArea(const TRect& pageBounds) const {
    const TRect& f = SearchState().FoundRect;
    return {add(pageBounds.Left, roundInt(f.Left * Zoom)) - 1,
            add(pageBounds.Top, roundInt(f.Top * Zoom)),
            add(pageBounds.Left, roundInt(f.Right * Zoom)) + 1,
            add(pageBounds.Top, roundInt(f.Bottom * Zoom))};
}

TPoint TpgwWorkspaceModel::DragPosition(TPoint position, TPoint last, TPoint current) {
    return {sub(position.X, sub(current.X, last.X)), sub(position.Y, sub(current.Y, last.Y))};
}

bool TpgwWorkspaceModel::RegisterClick(std::uint32_t now, std::uint32_t doubleClickTime) {
    if (lastClickTime_ && now - *lastClickTime_ <= doubleClickTime) {
        lastClickTime_.reset();
        return true;
    }
    lastClickTime_ = now;
    return false;
}

TpgwFindResult TpgwWorkspaceModel::FindText(TpgwSearchSource& source, TSize client) {
    TpgwSearchState& state = SearchState();
    state.Found = false;
    const std::u16string what = Utf8ToUtf16(state.Text);
    TpgwFindResult result;
    const int count = source.PageCount();
    while (SearchStartPage < count) {
        if (!searchImage_ || SearchImagePage != SearchStartPage) {
            searchImage_.reset();
            searchImage_ = source.DrawPage(SearchStartPage);
            SearchImagePage = SearchStartPage;
        }
        // A text split over two records is not found: each record is matched on its own.
        const std::vector<TTextRecord> records = searchImage_->TextRecords();
        state.RecordCounter = 0;
        for (const TTextRecord& record : records) {
            const int index = state.RecordCounter++;
            if (index > state.LastFoundRecord &&
                TextContains(record.Text, what, state.CaseSensitive)) {
                state.Found = true;
                state.FoundRect = record.Bounds;
                state.LastFoundRecord = index;
                break;
            }
        }
        if (state.Found) {
            const TRect page =
                PageList.GetPageBounds(SearchStartPage, client.cx, RightToLeft, Zoom);
            const TRect& f = state.FoundRect;
            const int top = add(page.Top, roundInt(f.Top * Zoom));
            const int bottom = add(page.Top, roundInt(f.Bottom * Zoom));
            const int left = add(page.Left, roundInt(f.Left * Zoom));
            const int right = add(page.Left, roundInt(f.Right * Zoom));
            if (!(top >= Offset.Y && bottom <= add(Offset.Y, client.cy)))
                result.Scroll.Vert = add(sub(bottom, client.cy), 20);
            if (!(left >= Offset.X && right <= add(Offset.X, client.cx)))
                result.Scroll.Horz = add(sub(right, client.cx), 20);
            result.Found = true;
            return result;
        }
        state.LastFoundRecord = -1;
        ++SearchStartPage;
    }
    return result;
}
