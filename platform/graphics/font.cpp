#include "platform/graphics/font.h"

#include <cstdlib>

#include "platform/graphics/font_measurer.h"

namespace {

// Multiply and divide with the result rounded half away from zero, as font sizes convert.
int mulDiv(int a, int b, int c)
{
    if (c == 0) return 0;
    const long long p = static_cast<long long>(a) * b;
    const long long half = std::llabs(c) / 2;
    const long long q = (p >= 0) == (c > 0) ? (std::llabs(p) + half) / std::llabs(c)
                                            : -((std::llabs(p) + half) / std::llabs(c));
    return static_cast<int>(q);
}

}  // namespace

int CharsetToCodePage(TFontCharset charset)
{
    switch (charset) {
    case ANSI_CHARSET: return 1252;
    case DEFAULT_CHARSET: return 936;
    case SHIFTJIS_CHARSET: return 932;
    case HANGEUL_CHARSET: return 949;
    case GB2312_CHARSET: return 936;
    case CHINESEBIG5_CHARSET: return 950;
    case GREEK_CHARSET: return 1253;
    case TURKISH_CHARSET: return 1254;
    case HEBREW_CHARSET: return 1255;
    case ARABIC_CHARSET: return 1256;
    case BALTIC_CHARSET: return 1257;
    case RUSSIAN_CHARSET: return 1251;
    case THAI_CHARSET: return 874;
    case EASTEUROPE_CHARSET: return 1250;
    case OEM_CHARSET: return 437;
    default: return 0;
    }
}

TFont::TFont() = default;
TFont::TFont(const TFont& other) : TPersistent(), data_(other.data_), pixelsPerInch_(other.pixelsPerInch_) {}
TFont& TFont::operator=(const TFont& other)
{
    Assign(other);
    return *this;
}
TFont::~TFont() = default;

void TFont::Changed()
{
    if (OnChange) OnChange(*this);
}

void TFont::Assign(const TFont& source)
{
    if (&source == this) return;
    // Size is carried as points so a font moved between resolutions keeps its size.
    TFontData data = source.data_;
    if (source.pixelsPerInch_ != pixelsPerInch_ && data.Height < 0)
        data.Height = -mulDiv(source.Size(), pixelsPerInch_, 72);
    SetData(data);
}

void TFont::SetData(const TFontData& data)
{
    if (data == data_) return;
    data_ = data;
    Changed();
}

void TFont::SetName(const std::string& name)
{
    if (name.empty() || name == data_.Name) return;
    data_.Name = name;
    Changed();
}

void TFont::SetHeight(int height)
{
    if (height == data_.Height) return;
    data_.Height = height;
    Changed();
}

int TFont::Size() const { return -mulDiv(data_.Height, 72, pixelsPerInch_); }

void TFont::SetSize(int points) { SetHeight(-mulDiv(points, pixelsPerInch_, 72)); }

void TFont::SetStyle(TFontStyles style)
{
    if (style == data_.Style) return;
    data_.Style = style;
    Changed();
}

void TFont::SetCharset(TFontCharset charset)
{
    if (charset == data_.Charset) return;
    data_.Charset = charset;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == data_.Color) return;
    data_.Color = color;
    Changed();
}

void TFont::SetOrientation(int tenthsOfDegree)
{
    if (tenthsOfDegree == data_.Orientation) return;
    data_.Orientation = tenthsOfDegree;
    Changed();
}

void TFont::SetPixelsPerInch(int ppi)
{
    if (ppi > 0) pixelsPerInch_ = ppi;
}

int TFont::EmPixels() const { return FontEmPixels(data_.Name, data_.Style, data_.Height); }
