#pragma once
// What the RTF reader and writer share: code pages of font charsets and the bounds on values.
// Private to platform/richedit.

#include <cstdint>

#include "platform/core/exception.h"
#include "platform/core/text.h"
#include "platform/graphics/font.h"

namespace rtf {

// Lengths in twips are kept within 50 inches, pictures within 100: beyond any page, and small
// enough that sums of several stay far from overflowing an int.
inline constexpr int kMaxTwips = 1440 * 50;
inline constexpr int kMaxPictureTwips = 1440 * 100;
inline constexpr int kMaxPicturePixels = 100000;
inline constexpr int kMaxHalfPoints = 3276; // 1638 points
inline constexpr int kMaxTabStops = 32;

inline bool IsKnownCodePage(int codePage) {
    if (codePage == 65001) return false; // never a font's or a document's 8-bit code page
    try {
        CodePageToUtf8("", codePage);
        return true;
    } catch (const EEncodingError&) {
        return false;
    }
}

// The code page that a font's character set stands for. DEFAULT_CHARSET (1) and fonts without
// one follow the document; a set we have no code page for reads as the legacy one.
inline int CodePageOfCharset(int charset, int documentCodePage) {
    if (charset == DEFAULT_CHARSET || charset < 0 || charset > 255) return documentCodePage;
    // OEM text in RTF is rare and means the machine's OEM page; the legacy page serves better
    // than the fonts' table's console page.
    if (charset == OEM_CHARSET) return kAnsiCodePage;
    const int codePage = CharsetToCodePage(static_cast<TFontCharset>(charset));
    return codePage != 0 ? codePage : kAnsiCodePage;
}

// The language the header names as the document's default, from its code page.
inline int LanguageOfCodePage(int codePage) {
    switch (codePage) {
    case 932:
        return 1041;
    case 949:
        return 1042;
    case 950:
        return 1028;
    case 936:
        return 2052;
    default:
        return 1033;
    }
}

} // namespace rtf
