// PDF font faces: the screen's own face file, its metrics, subsets and line shaping.

#include <gtest/gtest.h>

#include <hb-ot.h>
#include <hb.h>

#include <memory>
#include <numeric>

#include "platform/graphics/font_engine_p.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/pdf_font_face.h"

namespace {

// A HarfBuzz font over font data, as an independent reader of what the face hands out.
class TReadBack {
public:
    explicit TReadBack(const std::string& bytes)
        : blob_(hb_blob_create(bytes.data(), static_cast<unsigned>(bytes.size()),
                               HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr)),
          face_(hb_face_create(blob_, 0)), font_(hb_font_create(face_)) {}
    ~TReadBack() {
        hb_font_destroy(font_);
        hb_face_destroy(face_);
        hb_blob_destroy(blob_);
    }
    TReadBack(const TReadBack&) = delete;
    TReadBack& operator=(const TReadBack&) = delete;

    unsigned GlyphCount() const { return hb_face_get_glyph_count(face_); }
    unsigned Upem() const { return hb_face_get_upem(face_); }
    std::uint32_t Glyph(char32_t c) const {
        hb_codepoint_t g = 0;
        return hb_font_get_nominal_glyph(font_, c, &g) ? g : 0;
    }
    int Advance(std::uint32_t glyph) const { return hb_font_get_glyph_h_advance(font_, glyph); }
    hb_glyph_extents_t Extents(std::uint32_t glyph) const {
        hb_glyph_extents_t e{};
        hb_font_get_glyph_extents(font_, glyph, &e);
        return e;
    }
    bool HasTable(const char* tag) const {
        hb_blob_t* table = hb_face_reference_table(face_, hb_tag_from_string(tag, 4));
        const bool found = hb_blob_get_length(table) > 0;
        hb_blob_destroy(table);
        return found;
    }
    std::string Family() const {
        char name[128] = {};
        unsigned size = sizeof name;
        hb_ot_name_get_utf8(face_, HB_OT_NAME_ID_FONT_FAMILY, hb_language_from_string("en", -1),
                            &size, name);
        return name;
    }

private:
    hb_blob_t* blob_;
    hb_face_t* face_;
    hb_font_t* font_;
};

std::uint32_t screenGlyph(std::string_view name, TFontStyles style, char32_t c) {
    return TFontMeasurer::Get(name, style, 100)->Internals().primary->Glyph(c);
}

std::u16string joined(const std::vector<std::u16string>& texts) {
    return std::accumulate(texts.begin(), texts.end(), std::u16string());
}

} // namespace

TEST(PdfFontFace, OutlineMetricsOfLiberationSans) {
    auto face = TPdfFontFace::Get("Arial", {});
    ASSERT_TRUE(face->Valid());
    EXPECT_EQ(face->FamilyName(), "Liberation Sans");
    const TOutlineMetrics& m = face->Metrics();
    // The face's typographic 1491 / -431 and Windows 1854 + 434 units at an em of 2048.
    EXPECT_EQ(m.Ascent, 728);
    EXPECT_EQ(m.Descent, -210);
    EXPECT_EQ(m.CellHeight, 905 + 212);
    EXPECT_EQ(m.InternalLeading, m.CellHeight - 1000);
    EXPECT_LT(m.BBoxLeft, 0);
    EXPECT_LT(m.BBoxBottom, m.Descent);
    EXPECT_GT(m.BBoxRight, m.MaxCharWidth / 2);
    EXPECT_GT(m.BBoxTop, m.Ascent);
    EXPECT_EQ(m.Weight, 400);
    EXPECT_EQ(m.ItalicAngle, 0);
    EXPECT_EQ(m.DefaultChar, u' ');
    const TTextMetric& text = TFontMeasurer::Get("Arial", {}, 1000)->Metrics();
    EXPECT_EQ(m.AvgCharWidth, text.AveCharWidth);
    EXPECT_EQ(m.MaxCharWidth, text.MaxCharWidth);
    EXPECT_EQ(face->Advance1000(static_cast<std::uint16_t>(screenGlyph("Arial", {}, u'A'))), 667);
}

TEST(PdfFontFace, StylesPickTheirFaces) {
    struct Case {
        const char* name;
        TFontStyles style;
        const char* family;
        int weight;
        bool slanted;
    };
    const Case cases[] = {
        {"Arial", {fsBold}, "Liberation Sans", 700, false},
        {"Times New Roman", {fsItalic}, "Liberation Serif", 400, true},
        {"Courier New", {fsBold, fsItalic}, "Liberation Mono", 700, true},
        // No bold file: the regular one, drawn emboldened.
        {"宋体", {fsBold}, "AR PL UMing CN", 700, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto face = TPdfFontFace::Get(c.name, c.style);
        ASSERT_TRUE(face->Valid());
        EXPECT_EQ(face->FamilyName(), c.family);
        EXPECT_EQ(face->Metrics().Weight, c.weight);
        EXPECT_EQ(face->Metrics().ItalicAngle < 0, c.slanted);
        EXPECT_EQ(face, TPdfFontFace::Get(c.family, c.style)) << "cached per resolved family";
    }
    EXPECT_NE(TPdfFontFace::Get("Arial", {}), TPdfFontFace::Get("Arial", {fsBold}));
    EXPECT_EQ(TPdfFontFace::Get("Arial", {}), TPdfFontFace::Get("Arial", {fsUnderline}));
}

// The glyph ids the PDF shows must be those the screen draws, also for a face out of a
// collection that is not its first.
TEST(PdfFontFace, FaceBytesAreTheScreensFace) {
    struct Case {
        const char* name;
        TFontStyles style;
        std::u32string chars;
    };
    const Case cases[] = {
        {"Arial", {}, U"Aé€"},  {"Arial", {fsBold}, U"Aé€"},
        {"宋体", {}, U"中文A"}, {"AR PL UMing TW", {}, U"中文A"},
        {"黑体", {}, U"中文A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto face = TPdfFontFace::Get(c.name, c.style);
        const std::string bytes = face->FaceBytes();
        ASSERT_GE(bytes.size(), 12u);
        EXPECT_EQ(bytes.substr(0, 4), std::string("\0\1\0\0", 4)) << "a standalone TrueType font";
        // The table directory is sorted by tag, as readers that search it need.
        const int tables =
            (static_cast<unsigned char>(bytes[4]) << 8) | static_cast<unsigned char>(bytes[5]);
        ASSERT_GE(bytes.size(), 12u + 16u * tables);
        for (int i = 1; i < tables; ++i)
            EXPECT_LT(bytes.substr(12 + 16 * (i - 1), 4), bytes.substr(12 + 16 * i, 4));

        TReadBack read(bytes);
        EXPECT_EQ(read.GlyphCount(), static_cast<unsigned>(face->GlyphCount()));
        EXPECT_EQ(read.Family(), face->FamilyName());
        for (char32_t ch : c.chars) {
            EXPECT_TRUE(face->HasGlyph(ch));
            EXPECT_EQ(read.Glyph(ch), screenGlyph(c.name, c.style, ch))
                << std::hex << static_cast<std::uint32_t>(ch);
        }
    }
}

TEST(PdfFontFace, SubsetKeepsTheWantedGlyphsUnderNewIds) {
    struct Case {
        const char* name;
        std::u32string chars; // with a composite glyph (ö) in the Latin face
    };
    const Case cases[] = {{"Arial", U"Hallo wörld"}, {"宋体", U"中文字体"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto face = TPdfFontFace::Get(c.name, {});
        std::vector<std::uint16_t> glyphs;
        for (char32_t ch : c.chars)
            glyphs.push_back(static_cast<std::uint16_t>(screenGlyph(c.name, {}, ch)));
        glyphs.push_back(65000); // not in the face
        std::vector<std::uint16_t> newIds;
        const std::string subset = face->Subset(glyphs, newIds);
        ASSERT_FALSE(subset.empty());
        ASSERT_EQ(newIds.size(), glyphs.size());
        EXPECT_EQ(newIds.back(), 0);
        EXPECT_LT(subset.size() * 10, face->FaceBytes().size());

        TReadBack original(face->FaceBytes()), read(subset);
        EXPECT_EQ(read.Upem(), original.Upem());
        EXPECT_LT(read.GlyphCount(), 20u);
        for (const char* tag :
             {"glyf", "loca", "head", "hhea", "hmtx", "maxp", "post", "name", "OS/2", "cmap"})
            EXPECT_TRUE(read.HasTable(tag)) << tag;
        EXPECT_FALSE(read.HasTable("fpgm")) << "hinting is dropped";
        for (std::size_t k = 0; k < c.chars.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_NE(newIds[k], 0);
            EXPECT_EQ(read.Glyph(c.chars[k]), newIds[k]);
            EXPECT_EQ(read.Advance(newIds[k]), original.Advance(glyphs[k]));
            const hb_glyph_extents_t a = read.Extents(newIds[k]), b = original.Extents(glyphs[k]);
            EXPECT_EQ(std::tie(a.x_bearing, a.y_bearing, a.width, a.height),
                      std::tie(b.x_bearing, b.y_bearing, b.width, b.height));
        }
    }
}

TEST(ShapePdfLine, ClustersKeepTheirWholeText) {
    EXPECT_TRUE(ShapePdfLine(*TPdfFontFace::Get("Arial", {}), nullptr, u"", false).empty());

    struct Case {
        const char* name;
        std::u16string text;
        std::vector<std::u16string> texts; // per glyph
    };
    const Case cases[] = {
        // A ligature: one glyph for three characters.
        {"Tahoma", u"office", {u"o", u"ffi", u"c", u"e"}},
        // A letter with a combining accent becomes the precomposed glyph.
        {"Arial", u"ae\u0301b", {u"a", u"e\u0301", u"b"}},
        // No precomposed glyph: marks are glyphs of the letter's cluster, without text.
        {"Arial", u"x\u0308y", {u"x\u0308", u"", u"y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8Lenient(c.text));
        auto face = TPdfFontFace::Get(c.name, {});
        const auto runs = ShapePdfLine(*face, nullptr, c.text, false);
        ASSERT_EQ(runs.size(), 1u);
        const TShapedRun& run = runs[0];
        EXPECT_EQ(run.Texts, c.texts);
        ASSERT_EQ(run.Glyphs.size(), c.texts.size());
        ASSERT_EQ(run.Advances.size(), c.texts.size());
        for (std::size_t k = 0; k < run.Glyphs.size(); ++k) {
            if (run.Texts[k].empty()) continue; // a mark: placed by the face, not advancing
            EXPECT_EQ(run.Advances[k], face->Advance1000(run.Glyphs[k]));
        }
    }
    // The precomposed glyph is the face's own for the composed character.
    const auto composed = ShapePdfLine(*TPdfFontFace::Get("Arial", {}), nullptr, u"e\u0301", false);
    ASSERT_EQ(composed.size(), 1u);
    EXPECT_EQ(composed[0].Glyphs, std::vector<std::uint16_t>{
                                      static_cast<std::uint16_t>(screenGlyph("Arial", {}, U'é'))});
}

TEST(ShapePdfLine, BidiRunsInVisualOrder) {
    auto face = TPdfFontFace::Get("Arial", {});
    TReadBack read(face->FaceBytes());
    struct Case {
        std::u16string text;
        bool rtl;
        std::u32string visual;
    };
    const Case cases[] = {
        {u"שלום", true, U"םולש"},          {u"שלום", false, U"םולש"},
        {u"abc שלום", false, U"abc םולש"}, {u"abc שלום", true, U"םולש abc"},
        {u"שלום 123", false, U"123 םולש"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8Lenient(c.text) + (c.rtl ? " rtl" : " ltr"));
        std::vector<std::uint16_t> glyphs;
        std::u16string texts;
        for (const TShapedRun& run :
             ShapePdfLine(*face, TPdfFontFace::Fallback({}).get(), c.text, c.rtl)) {
            EXPECT_EQ(run.Face, 0);
            glyphs.insert(glyphs.end(), run.Glyphs.begin(), run.Glyphs.end());
            texts += joined(run.Texts);
        }
        std::vector<std::uint16_t> expected;
        for (char32_t ch : c.visual)
            expected.push_back(static_cast<std::uint16_t>(read.Glyph(ch)));
        EXPECT_EQ(glyphs, expected);
        // Each glyph keeps its own character, so the texts read in visual order too.
        std::u16string visual;
        for (char32_t ch : c.visual)
            visual += static_cast<char16_t>(ch);
        EXPECT_EQ(texts, visual);
    }
}

TEST(ShapePdfLine, CharactersTheFaceLacksComeFromTheFallback) {
    auto primary = TPdfFontFace::Get("Arial", {});
    auto fallback = TPdfFontFace::Fallback({});
    ASSERT_EQ(fallback->FamilyName(), "AR PL UMing CN");
    auto measurer = TFontMeasurer::Get("Arial", {}, 1000);
    TReadBack cjk(fallback->FaceBytes());

    const std::u16string text = u"ab中文\U000F0001"; // the last one is in neither face
    const auto runs = ShapePdfLine(*primary, fallback.get(), text, false);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].Face, 0);
    EXPECT_EQ(joined(runs[0].Texts), u"ab");
    EXPECT_EQ(runs[1].Face, 1);
    EXPECT_TRUE(measurer->UsesFallback(U'中'));
    EXPECT_EQ(runs[1].Glyphs,
              (std::vector<std::uint16_t>{static_cast<std::uint16_t>(cjk.Glyph(U'中')),
                                          static_cast<std::uint16_t>(cjk.Glyph(U'文'))}));
    EXPECT_EQ(runs[1].Advances[0], fallback->Advance1000(runs[1].Glyphs[0]));
    EXPECT_EQ(runs[1].Advances[0], measurer->CharAdvance(U'中'));
    EXPECT_EQ(runs[2].Face, 0);
    EXPECT_EQ(runs[2].Glyphs, std::vector<std::uint16_t>{0});
    EXPECT_EQ(joined(runs[2].Texts), u"\U000F0001");

    // Without a fallback everything is the primary's, missing characters as .notdef.
    const auto alone = ShapePdfLine(*primary, nullptr, text, false);
    ASSERT_EQ(alone.size(), 2u); // the Latin and the Han script
    EXPECT_EQ(alone[1].Glyphs, (std::vector<std::uint16_t>{0, 0, 0}));
}
