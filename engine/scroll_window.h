#pragma once
// TpgwScrollWin: a painted area scrolled in whole pixels, base of the preview workspace and the
// code editor. Descendants set the extents and page sizes and hear position changes through
// HorzPositionChanged / VertPositionChanged; the toolkit's own scroll bars stand in for flat ones.

#include <optional>

#include "platform/ui/custom_control.h"

// One direction's state. The position always stays within 0 .. Extent - PageSize.
struct TpgwScrollAxis {
    int Position = 0;
    int Extent = 0;
    int PageSize = 0;

    // At most Extent - PageSize, then at least 0.
    int Clamp(int value) const;
    // The bar as the toolkit is told: range 0 .. Extent, or 0 .. 0 while the extent is below the
    // page size, so no bar shows for content that fits.
    TScrollInfo BarInfo() const;
};

// Where a user's scroll action asks to go, before clamping; nothing for codes that do not move.
// trackPos is the thumb's position for scPosition and scTrack.
std::optional<int> ScrollTarget(const TpgwScrollAxis& axis, TScrollCode code, int trackPos,
                                int smallChange, int largeChange);

class TpgwScrollWin : public TCustomControl {
    LUMETRA_CLASS(TpgwScrollWin, TCustomControl)
public:
    explicit TpgwScrollWin(TComponent* owner);

    int HorzPosition() const { return horz_.Position; }
    int HorzExtent() const { return horz_.Extent; }
    int HorzPageSize() const { return horz_.PageSize; }
    int VertPosition() const { return vert_.Position; }
    int VertExtent() const { return vert_.Extent; }
    int VertPageSize() const { return vert_.PageSize; }
    int SmallChange() const { return smallChange_; }
    int LargeChange() const { return largeChange_; }

    // Clamped; a real move updates the bar and calls the matching ...PositionChanged.
    void SetHorzPosition(int value);
    void SetVertPosition(int value);
    // Extents and page sizes update the bar and pull the position back inside the new range.
    void SetHorzExtent(int value);
    void SetVertExtent(int value);
    void SetHorzPageSize(int value);
    void SetVertPageSize(int value);
    void SetSmallChange(int value) { smallChange_ = value; }
    void SetLargeChange(int value) { largeChange_ = value; }

protected:
    virtual void HorzPositionChanged() {}
    virtual void VertPositionChanged() {}
    void Scroll(TScrollBarKind kind, TScrollCode code, int& pos) override;

private:
    TpgwScrollAxis& Axis(TScrollBarKind kind) { return kind == sbHorizontal ? horz_ : vert_; }
    void SetPosition(TScrollBarKind kind, int value);
    void AxisChanged(TScrollBarKind kind);

    TpgwScrollAxis horz_;
    TpgwScrollAxis vert_;
    int smallChange_ = 1;
    int largeChange_ = 10;
};
