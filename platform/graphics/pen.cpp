#include "platform/graphics/pen.h"

#include "platform/core/exception.h"

TPen::TPen() = default;
TPen::TPen(const TPen& other) : TPersistent(), data_(other.data_) {}
TPen& TPen::operator=(const TPen& other)
{
    Assign(other);
    return *this;
}
TPen::~TPen() = default;

void TPen::Changed()
{
    if (OnChange) OnChange(*this);
}

void TPen::Assign(const TPen& source)
{
    if (&source != this) SetData(source.data_);
}

void TPen::SetData(const TPenData& data)
{
    if (data == data_) return;
    data_ = data;
    Changed();
}

void TPen::SetColor(TColor color)
{
    if (color == data_.Color) return;
    data_.Color = color;
    Changed();
}

void TPen::SetWidth(int width)
{
    if (width < 0) width = 0;
    if (width == data_.Width) return;
    data_.Width = width;
    Changed();
}

void TPen::SetStyle(TPenStyle style)
{
    if (style == data_.Style) return;
    data_.Style = style;
    Changed();
}

void TPen::SetMode(TPenMode mode)
{
    if (mode == data_.Mode) return;
    data_.Mode = mode;
    Changed();
}

void TPen::SetEndCap(TPenEndCap cap)
{
    if (cap == data_.EndCap) return;
    data_.EndCap = cap;
    Changed();
}

void TPen::SetJoinStyle(TPenJoinStyle join)
{
    if (join == data_.JoinStyle) return;
    data_.JoinStyle = join;
    Changed();
}

void TPen::SetUserDashes(const std::vector<int>& dashes)
{
    if (dashes.empty() || dashes.size() > 16)
        throw EInvalidArgument("a user dash pattern needs 1 to 16 lengths");
    // A zero-length dash is a dot (with round ends); a pattern of nothing but gaps is not.
    long long sum = 0;
    for (int d : dashes) {
        if (d < 0) throw EInvalidArgument("user dash lengths must not be negative");
        sum += d;
    }
    if (sum == 0) throw EInvalidArgument("a user dash pattern needs some length");
    TPenData data = data_;
    data.Dashes = dashes;
    data.Style = psUserStyle;
    SetData(data);
}
