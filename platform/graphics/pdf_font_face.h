#pragma once
// The font faces behind PDF text: the very face file the screen draws a font with (so glyph
// ids agree with the measurer's), its outline metrics in 1000-unit em, its font data, subsets
// of it, and shaping of a line into glyph runs in visual order.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/font.h"

// Outline metrics of a face scaled to a 1000-unit em: every value a PDF font descriptor needs.
struct TOutlineMetrics {
    int BBoxLeft = 0, BBoxBottom = 0, BBoxRight = 0, BBoxTop = 0; // the face's font box
    int ItalicAngle = 0;                                          // whole degrees, negative = right
    int Ascent = 0, Descent = 0;                                  // typographic; descent negative
    int InternalLeading = 0;                // as TTextMetric: cell height - em
    int CellHeight = 0;                     // as TTextMetric.Height
    int Weight = 400;                       // 700 when bold is synthesized
    int AvgCharWidth = 0, MaxCharWidth = 0; // as TTextMetric
    // The face's declared default character; U+0020 when it declares none, so that an
    // unmappable glyph extracts as a blank rather than as U+0000.
    char16_t DefaultChar = u' ';
};

// One run of a shaped line, in visual order.
struct TShapedRun {
    int Face = 0;                      // 0 = the primary face, 1 = the fallback face
    std::vector<std::uint16_t> Glyphs; // glyph ids of that face, visual order
    std::vector<int> Advances;         // per glyph, 1000-unit em, rounded
    // Per glyph, 1000-unit em: where a glyph is drawn relative to its pen position (marks
    // placed over their base); y upwards.
    std::vector<int> XOffsets, YOffsets;
    // Per glyph: the whole text of its cluster for the first glyph of a cluster ("fi" for a
    // ligature), empty for the cluster's further glyphs.
    std::vector<std::u16string> Texts;
};

class TPdfFontFace {
public:
    // Shared, cached per resolved (family, bold, italic); thread-safe to use. The name is
    // resolved as the measurer resolves it.
    static std::shared_ptr<const TPdfFontFace> Get(std::string_view name, TFontStyles style);
    // The face the measurer draws characters from that a face lacks (the CJK fallback).
    static std::shared_ptr<const TPdfFontFace> Fallback(TFontStyles style);
    ~TPdfFontFace();

    const std::string& FamilyName() const; // the resolved family, e.g. "Liberation Sans"
    bool Valid() const;                    // false when no outline face was found
    const TOutlineMetrics& Metrics() const;
    bool HasGlyph(char32_t c) const;
    int GlyphCount() const;
    // The glyph's design advance scaled to 1000, rounded; 0 for a glyph the face lacks.
    int Advance1000(std::uint16_t glyph) const;
    // The sfnt data of this one face; a face out of a collection is rebuilt as a standalone
    // font. Empty when the face is not valid.
    std::string FaceBytes() const;
    // A standalone TrueType font holding .notdef, the given glyphs and the components of
    // composite ones, without hinting. Glyph ids are renumbered: newIds[k] is the id of
    // glyphs[k] in the subset (0 for an id the face does not have). Empty on failure.
    std::string Subset(const std::vector<std::uint16_t>& glyphs,
                       std::vector<std::uint16_t>& newIds) const;

    struct Impl;
    const Impl& Internals() const { return *d_; }

private:
    explicit TPdfFontFace(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> d_;
};

// Shapes one line into runs in visual order. The bidi algorithm (base direction right-to-left
// when rtl) gives the directional runs; each is split by script and where the measurer would
// draw a character from the fallback face (the primary lacks it, the fallback has it); each
// piece is shaped in its face. Characters neither face has become the primary's glyph 0. An
// empty text gives no runs. fallback may be null.
std::vector<TShapedRun> ShapePdfLine(const TPdfFontFace& primary, const TPdfFontFace* fallback,
                                     std::u16string_view text, bool rtl);
