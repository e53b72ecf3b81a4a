#pragma once
// Rich text as plain data: paragraphs of formatted runs, pictures and embedded objects. The RTF
// reader makes it, the RTF writer takes it, and the rich document converts it to and from its
// own form; nothing here lays out or draws.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/richedit/rich_formats.h"

struct TRichPicture {
    enum Kind : std::uint8_t { pkPng, pkJpeg, pkDib, pkWmf, pkEmf, pkUnknown };
    Kind Type = pkUnknown;
    std::string Bytes;       // the picture data as stored (a DIB without file header)
    int PixelWidth = 0;      // \picw
    int PixelHeight = 0;     // \pich
    int WidthTwips = 0;      // shown size: \picwgoal × \picscalex / 100
    int HeightTwips = 0;
};

// An embedded object, kept byte for byte: the whole "{\object ...}" group as read. Drawn from
// its result picture when it has one.
struct TRichObject {
    std::string Group;
    std::optional<TRichPicture> Result;
    int WidthTwips = 0;
    int HeightTwips = 0;
};

// A run of one format. A picture or object run holds one U+FFFC and names it by index.
struct TRichRun {
    std::u16string Text;
    TRichCharFormat Format;
    int Picture = -1;
    int Object = -1;
};

struct TRichParagraph {
    TRichParaFormat Format;
    std::vector<TRichRun> Runs;
};

struct TRichContent {
    // At least one paragraph once read; the last one stands for the document's final mark.
    std::vector<TRichParagraph> Paragraphs;
    std::vector<TRichPicture> Pictures;
    std::vector<TRichObject> Objects;
    TRichCharFormat DefaultFormat;
    int CodePage = 936; // \ansicpg; the legacy code page when the document names none
};

// Reads RTF. False, with a reason, when the bytes do not start an RTF document ("{\rtf") or are
// damaged beyond reading; a truncated document gives what was read up to the cut. Bounded:
// nesting depth, \bin lengths, \uN values, sizes and picture dimensions are checked, so hostile
// input costs time and memory in proportion to its length.
bool ReadRtf(std::string_view bytes, TRichContent& out, std::string* error = nullptr);

// Writes 7-bit RTF in the shape the RTF export rewrites: "{\rtf1\ansi\ansicpgN\deff0" header,
// a font table of "{\fN\fcharsetC NAME;}" entries closed by "}}", "{\colortbl ;...;}" when
// colours are used, no text directly after a \lang word, "}" CR LF at the end. Characters
// outside 7-bit ASCII as \uN with a \'hh fallback in the code page (\uc1 or \uc2).
// noObjects leaves embedded objects out.
std::string WriteRtf(const TRichContent& content, bool noObjects = false);
