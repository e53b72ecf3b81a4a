#include "platform/graphics/color.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "platform/core/exception.h"
#include "platform/core/text.h"

namespace {

// The fixed system colour table; a display-independent program has no theme to ask.
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(212, 208, 200), RGB(58, 110, 165), RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),      RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),      RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),    RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(49, 106, 197),  RGB(236, 233, 216),
};

struct ColorName {
    TColor value;
    const char* name;
};

// Value-to-name finds the first entry, so the aliases come last.
constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
    {clLtGray, "clLtGray"},
    {clDkGray, "clDkGray"},
};

}  // namespace

TColor ColorToRGB(TColor color)
{
    if ((color & clSystemColor) == clSystemColor) {
        const auto index = static_cast<std::size_t>(color & 0xFF);
        return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
    }
    if (color == clNone || color == clDefault) return clBlack;
    return color & 0xFFFFFF;
}

std::optional<TColor> IdentToColor(std::string_view ident)
{
    for (const auto& entry : kColorNames)
        if (SameText(ident, entry.name)) return entry.value;
    return std::nullopt;
}

std::optional<std::string> ColorToIdent(TColor color)
{
    for (const auto& entry : kColorNames)
        if (entry.value == color) return std::string(entry.name);
    return std::nullopt;
}

std::string ColorToString(TColor color)
{
    if (auto ident = ColorToIdent(color)) return *ident;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "$%.8X", static_cast<unsigned>(color));
    return buffer;
}

TColor StringToColor(std::string_view text)
{
    if (auto color = IdentToColor(text)) return *color;
    std::string_view digits = text;
    bool negative = false;
    int base = 10;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (!digits.empty() && digits[0] == '$') {
        base = 16;
        digits.remove_prefix(1);
    } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        value > 0xFFFFFFFFull)
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    auto result = static_cast<std::uint32_t>(value);
    if (negative) result = 0u - result;
    return static_cast<TColor>(result);
}
