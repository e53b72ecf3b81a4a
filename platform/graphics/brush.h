#pragma once
// TBrush: how areas are filled.

#include <cstdint>
#include <functional>

#include "platform/core/persistent.h"
#include "platform/graphics/color.h"

enum TBrushStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

struct TBrushData {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    friend bool operator==(const TBrushData&, const TBrushData&) = default;
};

class TBrush : public TPersistent {
    LUMETRA_CLASS(TBrush, TPersistent)
public:
    TBrush();
    TBrush(const TBrush& other);
    TBrush& operator=(const TBrush& other);
    ~TBrush() override;

    void Assign(const TBrush& source);
    void Assign(const TPersistent* source) override;
    // Color, Style.
    static void RegisterProperties(TClassBuilder<TBrush>& b);

    TColor Color() const { return data_.Color; }
    // Setting a colour on a clear brush makes it solid.
    void SetColor(TColor color);
    TBrushStyle Style() const { return data_.Style; }
    void SetStyle(TBrushStyle style);

    const TBrushData& Data() const { return data_; }
    void SetData(const TBrushData& data);

    std::function<void(TBrush&)> OnChange;

protected:
    virtual void Changed();

private:
    TBrushData data_;
};
