#include "platform/graphics/pdf_font_face.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <QByteArray>
#include <QRawFont>
#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/graphics/font_engine_p.h"
#include "platform/graphics/font_measurer.h"

namespace {

template <class T, void (*Destroy)(T*)> struct HbRelease {
    void operator()(T* p) const { Destroy(p); }
};
using BlobPtr = std::unique_ptr<hb_blob_t, HbRelease<hb_blob_t, hb_blob_destroy>>;
using FacePtr = std::unique_ptr<hb_face_t, HbRelease<hb_face_t, hb_face_destroy>>;
using FontPtr = std::unique_ptr<hb_font_t, HbRelease<hb_font_t, hb_font_destroy>>;
using BufferPtr = std::unique_ptr<hb_buffer_t, HbRelease<hb_buffer_t, hb_buffer_destroy>>;
using SetPtr = std::unique_ptr<hb_set_t, HbRelease<hb_set_t, hb_set_destroy>>;
using InputPtr =
    std::unique_ptr<hb_subset_input_t, HbRelease<hb_subset_input_t, hb_subset_input_destroy>>;
using PlanPtr =
    std::unique_ptr<hb_subset_plan_t, HbRelease<hb_subset_plan_t, hb_subset_plan_destroy>>;

std::string blobBytes(hb_blob_t* blob) {
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    return data ? std::string(data, length) : std::string();
}

std::string tableBytes(hb_face_t* face, hb_tag_t tag) {
    BlobPtr blob(hb_face_reference_table(face, tag));
    return blobBytes(blob.get());
}

std::uint16_t be16(std::string_view t, std::size_t offset) {
    if (offset + 2 > t.size()) return 0;
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(t[offset]) << 8) |
                                      static_cast<std::uint8_t>(t[offset + 1]));
}
std::int16_t bes16(std::string_view t, std::size_t offset) {
    return static_cast<std::int16_t>(be16(t, offset));
}
std::int32_t bes32(std::string_view t, std::size_t offset) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(be16(t, offset)) << 16) |
                                     be16(t, offset + 2));
}

hb_tag_t tagOf(const char* name) {
    return hb_tag_from_string(name, 4);
}

// Tables whose equality shows that a file holds the face Qt draws with: cmap fixes the glyph
// ids, name tells the faces of a collection apart.
constexpr const char* kIdentityTables[] = {"head", "maxp", "hhea", "cmap", "name"};

// Every table a TrueType face may carry that matters for shaping, metrics and embedding; used
// only when no font file matches what Qt loaded and the face is rebuilt from Qt's tables.
constexpr const char* kRebuildTables[] = {
    "cmap", "glyf", "loca", "head", "hhea", "hmtx", "maxp", "name", "OS/2", "post", "cvt ",
    "fpgm", "prep", "gasp", "GDEF", "GSUB", "GPOS", "kern", "vhea", "vmtx", "CFF ", "VORG"};

QByteArray screenTable(const FontFace& screen, const char* tag) {
    std::lock_guard lock(screen.mutex);
    return screen.raw.fontTable(tag);
}

bool sameFace(hb_face_t* face, const FontFace& screen) {
    for (const char* tag : kIdentityTables) {
        const QByteArray expected = screenTable(screen, tag);
        const std::string actual = tableBytes(face, tagOf(tag));
        if (std::string_view(expected.constData(), static_cast<std::size_t>(expected.size())) !=
            actual)
            return false;
    }
    return true;
}

struct FontFile {
    std::string path;
    int index = 0;
};

std::vector<FontFile> candidateFiles(const std::string& family, bool bold, bool italic) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::vector<FontFile> files;
    if (!FcInit()) return files;
    auto take = [&](FcPattern* font) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        FontFile f{reinterpret_cast<const char*>(file), index & 0xFFFF};
        for (const auto& known : files)
            if (known.path == f.path && known.index == f.index) return;
        files.push_back(std::move(f));
    };
    const auto* familyName = reinterpret_cast<const FcChar8*>(family.c_str());
    // fontconfig's best match for the style first: Qt's choice in all but unusual set-ups.
    if (FcPattern* pattern = FcPatternCreate()) {
        FcPatternAddString(pattern, FC_FAMILY, familyName);
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            take(match);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    // Then every other face of the family, for when Qt weighed the styles differently.
    if (FcPattern* pattern = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, familyName,
                                            static_cast<char*>(nullptr))) {
        if (FcObjectSet* objects =
                FcObjectSetBuild(FC_FILE, FC_INDEX, static_cast<char*>(nullptr))) {
            if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
                for (int i = 0; i < set->nfont; ++i)
                    take(set->fonts[i]);
                FcFontSetDestroy(set);
            }
            FcObjectSetDestroy(objects);
        }
        FcPatternDestroy(pattern);
    }
    return files;
}

FacePtr faceFromScreenTables(const FontFace& screen) {
    FacePtr builder(hb_face_builder_create());
    for (const char* tag : kRebuildTables) {
        const QByteArray table = screenTable(screen, tag);
        if (table.isEmpty()) continue;
        BlobPtr blob(hb_blob_create(table.constData(), static_cast<unsigned>(table.size()),
                                    HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr));
        hb_face_builder_add_table(builder.get(), tagOf(tag), blob.get());
    }
    // Serialize once so the face reads its tables like one from a file.
    BlobPtr bytes(hb_face_reference_blob(builder.get()));
    return FacePtr(hb_face_create(bytes.get(), 0));
}

// The face file Qt's raw font for this family and style was loaded from, so that glyph ids
// agree with the screen's; null when the screen has no face at all.
FacePtr loadOutlineFace(const FontFace& screen, bool bold, bool italic) {
    if (!screen.raw.isValid()) return nullptr;
    for (const FontFile& file : candidateFiles(screen.family, bold, italic)) {
        BlobPtr blob(hb_blob_create_from_file_or_fail(file.path.c_str()));
        if (!blob) continue;
        FacePtr face(hb_face_create(blob.get(), static_cast<unsigned>(file.index)));
        if (hb_face_get_glyph_count(face.get()) > 0 && sameFace(face.get(), screen)) return face;
    }
    FacePtr face = faceFromScreenTables(screen);
    return hb_face_get_glyph_count(face.get()) > 0 ? std::move(face) : nullptr;
}

} // namespace

struct TPdfFontFace::Impl {
    std::string family;
    std::shared_ptr<FontFace> screen;
    FacePtr face;
    FontPtr font;
    unsigned unitsPerEm = 1000;
    unsigned glyphCount = 0;
    TOutlineMetrics metrics;

    int Scale1000(int designUnits) const {
        // Rounded half away from zero, as the measurer scales its advances.
        const long long p = static_cast<long long>(designUnits) * 1000 * 2;
        const long long d = 2LL * unitsPerEm;
        return static_cast<int>(p >= 0 ? (p + unitsPerEm) / d : -((-p + unitsPerEm) / d));
    }
};

namespace {

void loadMetrics(TPdfFontFace::Impl& d, const TTextMetric& text) {
    TOutlineMetrics& m = d.metrics;
    const std::string head = tableBytes(d.face.get(), tagOf("head"));
    const std::string hhea = tableBytes(d.face.get(), tagOf("hhea"));
    const std::string os2 = tableBytes(d.face.get(), tagOf("OS/2"));
    const std::string post = tableBytes(d.face.get(), tagOf("post"));
    m.BBoxLeft = d.Scale1000(bes16(head, 36));
    m.BBoxBottom = d.Scale1000(bes16(head, 38));
    m.BBoxRight = d.Scale1000(bes16(head, 40));
    m.BBoxTop = d.Scale1000(bes16(head, 42));
    // 16.16 fixed point, to the nearest whole degree.
    const std::int64_t angle = bes32(post, 4);
    m.ItalicAngle =
        static_cast<int>(angle >= 0 ? (angle + 0x8000) >> 16 : -((-angle + 0x8000) >> 16));
    if (os2.size() >= 72) {
        m.Ascent = d.Scale1000(bes16(os2, 68));
        m.Descent = d.Scale1000(bes16(os2, 70));
        m.Weight = be16(os2, 4) ? be16(os2, 4) : 400;
        if (be16(os2, 0) >= 2 && be16(os2, 90) != 0)
            m.DefaultChar = static_cast<char16_t>(be16(os2, 90));
    } else {
        m.Ascent = d.Scale1000(bes16(hhea, 4));
        m.Descent = d.Scale1000(bes16(hhea, 6));
    }
    if (d.screen->synthesizeBold) m.Weight = 700;
    m.CellHeight = text.Height;
    m.InternalLeading = text.InternalLeading;
    m.AvgCharWidth = text.AveCharWidth;
    m.MaxCharWidth = text.MaxCharWidth;
}

} // namespace

TPdfFontFace::TPdfFontFace(std::unique_ptr<Impl> d) : d_(std::move(d)) {}
TPdfFontFace::~TPdfFontFace() = default;

std::shared_ptr<const TPdfFontFace> TPdfFontFace::Get(std::string_view name, TFontStyles style) {
    const bool bold = style.Contains(fsBold), italic = style.Contains(fsItalic);
    TFontStyles faceStyle;
    if (bold) faceStyle.Include(fsBold);
    if (italic) faceStyle.Include(fsItalic);
    // At an em of 1000 the measurer's metrics are already in PDF glyph units.
    const auto measurer = TFontMeasurer::Get(ResolveFontFace(name), faceStyle, 1000);
    const std::shared_ptr<FontFace>& screen = measurer->Internals().primary;

    static std::mutex mutex;
    static std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<const TPdfFontFace>> cache;
    std::lock_guard lock(mutex);
    auto& slot = cache[{screen->family, bold, italic}];
    if (slot) return slot;

    auto d = std::make_unique<Impl>();
    d->family = screen->family;
    d->screen = screen;
    d->face = loadOutlineFace(*screen, bold, italic);
    if (!d->face) d->face.reset(hb_face_reference(hb_face_get_empty()));
    hb_face_make_immutable(d->face.get());
    d->glyphCount = hb_face_get_glyph_count(d->face.get());
    d->unitsPerEm = std::max(1u, hb_face_get_upem(d->face.get()));
    d->font.reset(hb_font_create(d->face.get()));
    hb_font_make_immutable(d->font.get());
    if (d->glyphCount > 0) loadMetrics(*d, measurer->Metrics());
    slot.reset(new TPdfFontFace(std::move(d)));
    return slot;
}

std::shared_ptr<const TPdfFontFace> TPdfFontFace::Fallback(TFontStyles style) {
    return Get(CjkFallbackFace(), style);
}

const std::string& TPdfFontFace::FamilyName() const {
    return d_->family;
}
bool TPdfFontFace::Valid() const {
    return d_->glyphCount > 0;
}
const TOutlineMetrics& TPdfFontFace::Metrics() const {
    return d_->metrics;
}
int TPdfFontFace::GlyphCount() const {
    return static_cast<int>(d_->glyphCount);
}

bool TPdfFontFace::HasGlyph(char32_t c) const {
    // The screen face's own answer, so that a character goes to the fallback exactly when the
    // measurer draws it from there.
    return Valid() && d_->screen->Glyph(c) != 0;
}

int TPdfFontFace::Advance1000(std::uint16_t glyph) const {
    if (glyph >= d_->glyphCount) return 0;
    return d_->Scale1000(hb_font_get_glyph_h_advance(d_->font.get(), glyph));
}

std::string TPdfFontFace::FaceBytes() const {
    if (!Valid()) return {};
    BlobPtr whole(hb_face_reference_blob(d_->face.get()));
    std::string bytes = blobBytes(whole.get());
    if (bytes.compare(0, 4, "ttcf") != 0) return bytes;
    FacePtr builder(hb_face_builder_create());
    const unsigned total = hb_face_get_table_tags(d_->face.get(), 0, nullptr, nullptr);
    std::vector<hb_tag_t> tags(total);
    unsigned count = total;
    hb_face_get_table_tags(d_->face.get(), 0, &count, tags.data());
    for (unsigned i = 0; i < count; ++i) {
        BlobPtr table(hb_face_reference_table(d_->face.get(), tags[i]));
        hb_face_builder_add_table(builder.get(), tags[i], table.get());
    }
    BlobPtr rebuilt(hb_face_reference_blob(builder.get()));
    return blobBytes(rebuilt.get());
}

std::string TPdfFontFace::Subset(const std::vector<std::uint16_t>& glyphs,
                                 std::vector<std::uint16_t>& newIds) const {
    newIds.assign(glyphs.size(), 0);
    if (!Valid()) return {};
    InputPtr input(hb_subset_input_create_or_fail());
    if (!input) return {};
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
    hb_set_t* keep = hb_subset_input_glyph_set(input.get());
    for (std::uint16_t g : glyphs)
        if (g < d_->glyphCount) hb_set_add(keep, g);
    // Keep the characters of the kept glyphs in the cmap: a PDF reader does not need them for
    // glyph-id fonts, but a font program without them is rejected by some consumers.
    SetPtr unicodes(hb_set_create());
    hb_face_collect_unicodes(d_->face.get(), unicodes.get());
    hb_set_t* keepUnicodes = hb_subset_input_unicode_set(input.get());
    for (hb_codepoint_t u = HB_SET_VALUE_INVALID; hb_set_next(unicodes.get(), &u);) {
        hb_codepoint_t g = 0;
        if (hb_font_get_nominal_glyph(d_->font.get(), u, &g) && hb_set_has(keep, g))
            hb_set_add(keepUnicodes, u);
    }
    // Layout tables would pull in every glyph reachable by substitution; bitmaps are large and
    // unused by outline rendering.
    hb_set_t* drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char* tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "morx", "mort",
                            "kerx", "DSIG", "EBDT", "EBLC", "EBSC", "CBDT", "CBLC", "sbix", "SVG "})
        hb_set_add(drop, tagOf(tag));

    PlanPtr plan(hb_subset_plan_create_or_fail(d_->face.get(), input.get()));
    if (!plan) return {};
    FacePtr subset(hb_subset_plan_execute_or_fail(plan.get()));
    if (!subset) return {};
    BlobPtr blob(hb_face_reference_blob(subset.get()));
    std::string bytes = blobBytes(blob.get());
    if (bytes.empty()) return {};
    const hb_map_t* mapping = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    for (std::size_t k = 0; k < glyphs.size(); ++k) {
        const hb_codepoint_t id = hb_map_get(mapping, glyphs[k]);
        newIds[k] = id == HB_MAP_VALUE_INVALID ? 0 : static_cast<std::uint16_t>(id);
    }
    return bytes;
}

namespace {

struct Piece {
    std::size_t begin = 0, end = 0; // UTF-16 units
    FriBidiLevel level = 0;
    hb_script_t script = HB_SCRIPT_INVALID;
    int face = 0;
};

bool isRealScript(hb_script_t s) {
    return s != HB_SCRIPT_COMMON && s != HB_SCRIPT_INHERITED && s != HB_SCRIPT_UNKNOWN &&
           s != HB_SCRIPT_INVALID;
}

// Rule L2 on whole pieces (each of one level): from the highest level down to the lowest odd
// one, every maximal sequence of pieces at that level or above is reversed.
void reorderVisually(std::vector<Piece>& pieces) {
    int highest = 0, lowestOdd = 256;
    for (const Piece& p : pieces) {
        highest = std::max<int>(highest, p.level);
        if (p.level & 1) lowestOdd = std::min<int>(lowestOdd, p.level);
    }
    for (int level = highest; level >= lowestOdd; --level) {
        for (std::size_t i = 0; i < pieces.size();) {
            if (pieces[i].level < level) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < pieces.size() && pieces[j].level >= level)
                ++j;
            std::reverse(pieces.begin() + static_cast<std::ptrdiff_t>(i),
                         pieces.begin() + static_cast<std::ptrdiff_t>(j));
            i = j;
        }
    }
}

TShapedRun shapePiece(const TPdfFontFace::Impl& face, int faceIndex, std::u16string_view text,
                      const Piece& piece) {
    TShapedRun run;
    run.Face = faceIndex;
    BufferPtr buffer(hb_buffer_create());
    hb_buffer_add_utf16(buffer.get(), reinterpret_cast<const std::uint16_t*>(text.data()),
                        static_cast<int>(text.size()), static_cast<unsigned>(piece.begin),
                        static_cast<int>(piece.end - piece.begin));
    hb_buffer_set_direction(buffer.get(), (piece.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    if (isRealScript(piece.script)) hb_buffer_set_script(buffer.get(), piece.script);
    hb_buffer_guess_segment_properties(buffer.get());
    unsigned flags = HB_BUFFER_FLAG_DEFAULT;
    if (piece.begin == 0) flags |= HB_BUFFER_FLAG_BOT;
    if (piece.end == text.size()) flags |= HB_BUFFER_FLAG_EOT;
    hb_buffer_set_flags(buffer.get(), static_cast<hb_buffer_flags_t>(flags));
    hb_shape(face.font.get(), buffer.get(), nullptr, 0);

    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer.get(), &count);
    // Clusters are unit offsets into the line; a cluster's text runs up to the next cluster.
    std::vector<std::size_t> starts;
    for (unsigned i = 0; i < count; ++i)
        starts.push_back(info[i].cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::vector<bool> given(starts.size(), false);
    for (unsigned i = 0; i < count; ++i) {
        run.Glyphs.push_back(static_cast<std::uint16_t>(info[i].codepoint));
        run.Advances.push_back(face.Scale1000(pos[i].x_advance));
        run.XOffsets.push_back(face.Scale1000(pos[i].x_offset));
        run.YOffsets.push_back(face.Scale1000(pos[i].y_offset));
        const std::size_t k = static_cast<std::size_t>(
            std::lower_bound(starts.begin(), starts.end(), info[i].cluster) - starts.begin());
        if (given[k]) {
            run.Texts.emplace_back();
            continue;
        }
        given[k] = true;
        // Units that gave no glyph of their own belong to the first cluster.
        const std::size_t from = k == 0 ? piece.begin : starts[k];
        const std::size_t to = k + 1 < starts.size() ? starts[k + 1] : piece.end;
        run.Texts.emplace_back(text.substr(from, to - from));
    }
    return run;
}

} // namespace

std::vector<TShapedRun> ShapePdfLine(const TPdfFontFace& primary, const TPdfFontFace* fallback,
                                     std::u16string_view text, bool rtl) {
    if (text.empty()) return {};
    if (fallback && (fallback == &primary || !fallback->Valid() ||
                     fallback->FamilyName() == primary.FamilyName()))
        fallback = nullptr;

    // Code points and the unit each starts at; a lone surrogate stands for itself.
    std::vector<FriBidiChar> chars;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        starts.push_back(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        chars.push_back(c);
    }
    const auto n = static_cast<FriBidiStrIndex>(chars.size());

    std::vector<FriBidiCharType> types(chars.size());
    std::vector<FriBidiBracketType> brackets(chars.size());
    std::vector<FriBidiLevel> levels(chars.size(), rtl ? 1 : 0);
    fribidi_get_bidi_types(chars.data(), n, types.data());
    fribidi_get_bracket_types(chars.data(), n, types.data(), brackets.data());
    FriBidiParType direction = rtl ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
    // The second call only gives trailing blanks the paragraph level (rule L1): the pieces are
    // reordered below. Should either fail, the line keeps the paragraph's direction.
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &direction,
                                            levels.data()) == 0 ||
        fribidi_reorder_line(0, types.data(), n, 0, direction, levels.data(), nullptr, nullptr) ==
            0)
        std::fill(levels.begin(), levels.end(), rtl ? 1 : 0);

    // Marks and punctuation take the script of what precedes them (leading ones, of what
    // follows), so that a piece changes script only where the text does.
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::vector<hb_script_t> scripts(chars.size(), HB_SCRIPT_INVALID);
    hb_script_t current = HB_SCRIPT_INVALID;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const hb_script_t s = hb_unicode_script(unicode, chars[i]);
        if (isRealScript(s)) current = s;
        scripts[i] = current;
    }
    for (std::size_t i = chars.size(); i-- > 0;)
        if (scripts[i] == HB_SCRIPT_INVALID && i + 1 < chars.size()) scripts[i] = scripts[i + 1];

    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        int face = 0;
        if (fallback && !primary.HasGlyph(chars[i]) && fallback->HasGlyph(chars[i])) face = 1;
        const std::size_t end = i + 1 < chars.size() ? starts[i + 1] : text.size();
        if (!pieces.empty() && pieces.back().level == levels[i] &&
            pieces.back().script == scripts[i] && pieces.back().face == face) {
            pieces.back().end = end;
        } else {
            pieces.push_back({starts[i], end, levels[i], scripts[i], face});
        }
    }
    reorderVisually(pieces);

    std::vector<TShapedRun> runs;
    runs.reserve(pieces.size());
    for (const Piece& piece : pieces) {
        const TPdfFontFace& face = piece.face == 1 ? *fallback : primary;
        runs.push_back(shapePiece(face.Internals(), piece.face, text, piece));
    }
    return runs;
}
