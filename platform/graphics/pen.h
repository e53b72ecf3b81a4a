#pragma once
// TPen: how lines and outlines are drawn.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/core/persistent.h"
#include "platform/graphics/color.h"

enum TPenStyle : std::uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame,
    psUserStyle,
    psAlternate
};

// The raster operations a pen combines with the destination.
enum TPenMode : std::uint8_t {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};

enum TPenEndCap : std::uint8_t { pecRound, pecSquare, pecFlat };
enum TPenJoinStyle : std::uint8_t { pjsRound, pjsBevel, pjsMiter };

struct TPenData {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
    TPenEndCap EndCap = pecRound;
    TPenJoinStyle JoinStyle = pjsRound;
    std::vector<int> Dashes;  // psUserStyle: on, off, on, ... in pixels
    friend bool operator==(const TPenData&, const TPenData&) = default;
};

class TPen : public TPersistent {
    LUMETRA_CLASS(TPen, TPersistent)
public:
    TPen();
    TPen(const TPen& other);
    TPen& operator=(const TPen& other);
    ~TPen() override;

    void Assign(const TPen& source);
    void Assign(const TPersistent* source) override;
    // Color, Mode, Style, Width.
    static void RegisterProperties(TClassBuilder<TPen>& b);

    TColor Color() const { return data_.Color; }
    void SetColor(TColor color);
    int Width() const { return data_.Width; }
    void SetWidth(int width);
    TPenStyle Style() const { return data_.Style; }
    void SetStyle(TPenStyle style);
    TPenMode Mode() const { return data_.Mode; }
    void SetMode(TPenMode mode);
    TPenEndCap EndCap() const { return data_.EndCap; }
    void SetEndCap(TPenEndCap cap);
    TPenJoinStyle JoinStyle() const { return data_.JoinStyle; }
    void SetJoinStyle(TPenJoinStyle join);
    const std::vector<int>& UserDashes() const { return data_.Dashes; }
    // Sets the pattern and the style psUserStyle. Zero-length dashes are dots (drawn with the
    // end cap); negative lengths or an all-zero pattern raise EInvalidArgument.
    void SetUserDashes(const std::vector<int>& dashes);

    const TPenData& Data() const { return data_; }
    void SetData(const TPenData& data);

    std::function<void(TPen&)> OnChange;

protected:
    virtual void Changed();

private:
    TPenData data_;
};
