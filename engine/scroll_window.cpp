#include "engine/scroll_window.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Steps from extreme positions saturate instead of wrapping.
int saturate(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace

int TpgwScrollAxis::Clamp(int value) const {
    const std::int64_t last = std::int64_t(Extent) - PageSize;
    return saturate(std::max<std::int64_t>(0, std::min<std::int64_t>(value, last)));
}

TScrollInfo TpgwScrollAxis::BarInfo() const {
    TScrollInfo info;
    info.Min = 0;
    info.Max = Extent < PageSize ? 0 : Extent;
    info.Page = PageSize;
    info.Pos = Position;
    return info;
}

std::optional<int> ScrollTarget(const TpgwScrollAxis& axis, TScrollCode code, int trackPos,
                                int smallChange, int largeChange) {
    const std::int64_t pos = axis.Position;
    switch (code) {
    case scLineUp:
        return saturate(pos - smallChange);
    case scLineDown:
        return saturate(pos + smallChange);
    case scPageUp:
        return saturate(pos - largeChange);
    case scPageDown:
        return saturate(pos + largeChange);
    case scPosition:
    case scTrack:
        return trackPos;
    case scTop:
        return 0;
    case scBottom:
        return axis.Extent;
    case scEndScroll:
        break;
    }
    return std::nullopt;
}

TpgwScrollWin::TpgwScrollWin(TComponent* owner) : TCustomControl(owner) {
    SetScrollBars(ssBoth);
}

void TpgwScrollWin::SetHorzPosition(int value) {
    SetPosition(sbHorizontal, value);
}
void TpgwScrollWin::SetVertPosition(int value) {
    SetPosition(sbVertical, value);
}

void TpgwScrollWin::SetHorzExtent(int value) {
    horz_.Extent = value;
    AxisChanged(sbHorizontal);
}

void TpgwScrollWin::SetVertExtent(int value) {
    vert_.Extent = value;
    AxisChanged(sbVertical);
}

void TpgwScrollWin::SetHorzPageSize(int value) {
    horz_.PageSize = value;
    AxisChanged(sbHorizontal);
}

void TpgwScrollWin::SetVertPageSize(int value) {
    vert_.PageSize = value;
    AxisChanged(sbVertical);
}

void TpgwScrollWin::SetPosition(TScrollBarKind kind, int value) {
    TpgwScrollAxis& axis = Axis(kind);
    value = axis.Clamp(value);
    if (value == axis.Position) return;
    axis.Position = value;
    SetScrollInfo(kind, axis.BarInfo());
    if (kind == sbHorizontal)
        HorzPositionChanged();
    else
        VertPositionChanged();
}

void TpgwScrollWin::AxisChanged(TScrollBarKind kind) {
    SetScrollInfo(kind, Axis(kind).BarInfo());
    // A shrinking range must not leave the view beyond the content.
    SetPosition(kind, Axis(kind).Position);
}

void TpgwScrollWin::Scroll(TScrollBarKind kind, TScrollCode code, int& pos) {
    if (auto target = ScrollTarget(Axis(kind), code, pos, smallChange_, largeChange_))
        SetPosition(kind, *target);
}
