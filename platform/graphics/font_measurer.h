#pragma once
// The one font resolver and measurer behind measuring and drawing everywhere.
//
// A font is chosen by name (through the face substitution table), style and em height in
// pixels. Metrics follow the GDI model: ascent and descent from the face's Windows metrics,
// internal leading = ascent + descent - em height. Advances are the face's design advances
// scaled to the em height and rounded to whole pixels per glyph: unhinted, without kerning,
// one entry per UTF-16 unit (a surrogate pair puts its advance on the first unit, 0 on the
// second). A character the face lacks is measured and drawn from the CJK fallback face.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/font.h"

struct TTextMetric {
    int Height = 0;  // ascent + descent
    int Ascent = 0;
    int Descent = 0;
    int InternalLeading = 0;
    int ExternalLeading = 0;
    int AveCharWidth = 0;
    int MaxCharWidth = 0;
    // TMPF_* bits. Every face here is an outline (TrueType) font.
    std::uint8_t PitchAndFamily = 0;
};

// Font-type bits as the font enumeration reports them.
inline constexpr int RASTER_FONTTYPE = 1;
inline constexpr int DEVICE_FONTTYPE = 2;
inline constexpr int TRUETYPE_FONTTYPE = 4;
// Pitch-and-family bits. TMPF_FIXED_PITCH set means a variable-pitch font: the window system's
// name for the bit says the opposite of its meaning, and callers test it as it is.
inline constexpr std::uint8_t TMPF_FIXED_PITCH = 0x01;
inline constexpr std::uint8_t TMPF_VECTOR = 0x02;
inline constexpr std::uint8_t TMPF_TRUETYPE = 0x04;
inline constexpr std::uint8_t TMPF_DEVICE = 0x08;

// The installed family a requested face name resolves to ("Arial" -> "Liberation Sans").
std::string ResolveFontFace(std::string_view name);
// The family of the per-character fallback for CJK text.
std::string CjkFallbackFace();
// The font families installed on the system, as the font database lists them.
std::vector<std::string> InstalledFontFamilies();
// The em height in pixels a font Height selects: -Height when negative; a positive Height is
// a cell height (ascent + descent); 0 picks the default of 16 pixels. At most 32767.
int FontEmPixels(std::string_view name, TFontStyles style, int height);

class TFontMeasurer {
public:
    // Shared, cached per (name, bold/italic, em pixels); thread-safe to use.
    static std::shared_ptr<const TFontMeasurer> Get(std::string_view name, TFontStyles style,
                                                    int emPixels);
    static std::shared_ptr<const TFontMeasurer> ForFont(const TFontData& font);
    ~TFontMeasurer();

    const std::string& FaceName() const;  // the resolved primary family
    int EmPixels() const;
    const TTextMetric& Metrics() const;
    // TRUETYPE_FONTTYPE: there are no raster or device faces.
    int FontType() const { return TRUETYPE_FONTTYPE; }
    // Every advance is the same (the face declares itself monospaced).
    bool FixedPitch() const { return (Metrics().PitchAndFamily & TMPF_FIXED_PITCH) == 0; }
    // Advance of one code point; glyphs the face and the fallback both lack take the missing-glyph advance.
    int CharAdvance(char32_t c) const;
    // One advance per UTF-16 unit into out (sized by the caller to text.size()); returns the sum.
    int Advances(std::u16string_view text, int* out) const;
    int TextWidth(std::u16string_view text) const;
    // True when the code point is drawn from the fallback face.
    bool UsesFallback(char32_t c) const;

    struct Impl;
    const Impl& Internals() const { return *d_; }

private:
    explicit TFontMeasurer(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> d_;
};

// UTF-8 to UTF-16 without raising: invalid bytes become U+FFFD. Drawing takes text as given.
std::u16string Utf8ToUtf16Lenient(std::string_view utf8);
std::string Utf16ToUtf8Lenient(std::u16string_view utf16);
