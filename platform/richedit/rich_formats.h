#pragma once
// The character and paragraph formats of rich text, as the rich-edit control's format records
// carry them: a mask of the meaningful fields, sizes in twips.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/color.h"

// Character format: the fields a mask bit names are meaningful. Sizes in twips.
struct TRichCharFormat {
    enum Mask : std::uint32_t {
        cfmBold = 0x1,
        cfmItalic = 0x2,
        cfmUnderline = 0x4,
        cfmStrikeOut = 0x8,
        cfmProtected = 0x10,
        cfmLink = 0x20,
        cfmSize = 0x80000000,
        cfmColor = 0x40000000,
        cfmFace = 0x20000000,
        cfmOffset = 0x10000000,
        cfmCharset = 0x08000000,
        cfmBackColor = 0x04000000,
        cfmWeight = 0x00400000,
        cfmAll = 0xFC40003F,
    };
    std::uint32_t Mask = 0;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    bool Protected = false, Link = false;
    bool AutoColor = true; // the text colour follows the window text colour
    TColor Color = 0;      // RGB when not AutoColor
    bool AutoBackColor = true;
    TColor BackColor = 0xFFFFFF;
    int HeightTwips = 200;  // 10 points
    int OffsetTwips = 0;    // superscript positive, subscript negative
    int Weight = 400;
    std::string Face = "Arial"; // UTF-8
    std::uint8_t Charset = 1;   // DEFAULT_CHARSET
    std::uint8_t PitchAndFamily = 0;
};

// Paragraph format. Alignment 1 left, 2 right, 3 centre, 4 justify. Numbering 0 none, 1 bullet.
// StartIndent is the first line's indent from the left edge, Offset the other lines' indent
// relative to the first line's, RightIndent from the right edge; all in twips.
struct TRichParaFormat {
    enum Mask : std::uint32_t {
        pfmStartIndent = 0x1,
        pfmRightIndent = 0x2,
        pfmOffset = 0x4,
        pfmAlignment = 0x8,
        pfmTabStops = 0x10,
        pfmNumbering = 0x20,
        pfmSpaceBefore = 0x40,
        pfmSpaceAfter = 0x80,
        pfmAll = 0xFF,
    };
    std::uint32_t Mask = 0;
    int Alignment = 1;
    int Numbering = 0;
    int StartIndent = 0, Offset = 0, RightIndent = 0;
    int SpaceBefore = 0, SpaceAfter = 0;
    std::vector<int> TabStops; // twips, at most 32
};

