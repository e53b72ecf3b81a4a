#pragma once
// TFont: the logical font a canvas draws text with. Height < 0 is the em height in pixels,
// Height > 0 the cell height; Size is in points at the font's PixelsPerInch.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/persistent.h"
#include "platform/graphics/color.h"

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (auto s : styles) bits_ |= static_cast<std::uint8_t>(1u << s);
    }
    static constexpr TFontStyles FromBits(std::uint8_t bits)
    {
        TFontStyles result;
        result.bits_ = bits & 0x0F;
        return result;
    }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool Contains(TFontStyle s) const { return (bits_ >> s) & 1u; }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr void Include(TFontStyle s) { bits_ |= static_cast<std::uint8_t>(1u << s); }
    constexpr void Exclude(TFontStyle s) { bits_ &= static_cast<std::uint8_t>(~(1u << s)); }
    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    std::uint8_t bits_ = 0;
};

using TFontCharset = std::uint8_t;
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SYMBOL_CHARSET = 2;
inline constexpr TFontCharset SHIFTJIS_CHARSET = 128;
inline constexpr TFontCharset HANGEUL_CHARSET = 129;
inline constexpr TFontCharset GB2312_CHARSET = 134;
inline constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
inline constexpr TFontCharset GREEK_CHARSET = 161;
inline constexpr TFontCharset TURKISH_CHARSET = 162;
inline constexpr TFontCharset HEBREW_CHARSET = 177;
inline constexpr TFontCharset ARABIC_CHARSET = 178;
inline constexpr TFontCharset BALTIC_CHARSET = 186;
inline constexpr TFontCharset RUSSIAN_CHARSET = 204;
inline constexpr TFontCharset THAI_CHARSET = 222;
inline constexpr TFontCharset EASTEUROPE_CHARSET = 238;
inline constexpr TFontCharset OEM_CHARSET = 255;

// The code page a character set's 8-bit text is in (0 when the set has none, e.g. symbol).
int CharsetToCodePage(TFontCharset charset);

// The value part of a font, compared and copied as a whole.
struct TFontData {
    std::string Name = "Arial";
    int Height = -13;
    TFontStyles Style;
    TFontCharset Charset = DEFAULT_CHARSET;
    TColor Color = clWindowText;
    int Orientation = 0;  // tenths of a degree, counter-clockwise
    friend bool operator==(const TFontData&, const TFontData&) = default;
};

class TFont : public TPersistent {
    LUMETRA_CLASS(TFont, TPersistent)
public:
    TFont();
    TFont(const TFont& other);
    TFont& operator=(const TFont& other);
    ~TFont() override;

    // Copies the font's attributes (not PixelsPerInch, not OnChange), then notifies once.
    void Assign(const TFont& source);
    void Assign(const TPersistent* source) override;
    // Charset, Color, Height, Name, Orientation, Size (not stored), Style.
    static void RegisterProperties(TClassBuilder<TFont>& b);

    const std::string& Name() const { return data_.Name; }
    void SetName(const std::string& name);
    int Height() const { return data_.Height; }
    void SetHeight(int height);
    // Points: Height converted at PixelsPerInch, rounded half away from zero.
    int Size() const;
    void SetSize(int points);
    TFontStyles Style() const { return data_.Style; }
    void SetStyle(TFontStyles style);
    TFontCharset Charset() const { return data_.Charset; }
    void SetCharset(TFontCharset charset);
    TColor Color() const { return data_.Color; }
    void SetColor(TColor color);
    int Orientation() const { return data_.Orientation; }
    void SetOrientation(int tenthsOfDegree);
    // The resolution Size converts at; changing it keeps Height (default 96).
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int ppi);

    const TFontData& Data() const { return data_; }
    void SetData(const TFontData& data);
    // The em height in pixels this font selects (a positive Height is a cell height and is
    // converted through the resolved face's ascent and descent).
    int EmPixels() const;

    std::function<void(TFont&)> OnChange;

protected:
    virtual void Changed();

private:
    TFontData data_;
    int pixelsPerInch_ = 96;
};
