#include "platform/graphics/brush.h"

TBrush::TBrush() = default;
TBrush::TBrush(const TBrush& other) : TPersistent(), data_(other.data_) {}
TBrush& TBrush::operator=(const TBrush& other)
{
    Assign(other);
    return *this;
}
TBrush::~TBrush() = default;

void TBrush::Changed()
{
    if (OnChange) OnChange(*this);
}

void TBrush::Assign(const TBrush& source)
{
    if (&source != this) SetData(source.data_);
}

void TBrush::SetData(const TBrushData& data)
{
    if (data == data_) return;
    data_ = data;
    Changed();
}

void TBrush::SetColor(TColor color)
{
    TBrushData data = data_;
    data.Color = color;
    if (data.Style == bsClear) data.Style = bsSolid;
    SetData(data);
}

void TBrush::SetStyle(TBrushStyle style)
{
    if (style == data_.Style) return;
    data_.Style = style;
    Changed();
}
