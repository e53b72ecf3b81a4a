#include "platform/graphics/font_measurer.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QString>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "platform/core/text.h"
#include "platform/graphics/font_engine_p.h"
#include "platform/graphics/gui_application.h"

namespace {

struct Substitution {
    const char* from;
    const char* to;
};

// Windows face names and the installed metric-compatible or script-compatible families.
constexpr Substitution kSubstitutions[] = {
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"宋体", "AR PL UMing CN"},
    {"SimSun", "AR PL UMing CN"},
    {"新宋体", "AR PL UMing CN"},
    {"NSimSun", "AR PL UMing CN"},
    {"黑体", "WenQuanYi Zen Hei"},
    {"SimHei", "WenQuanYi Zen Hei"},
    {"微软雅黑", "WenQuanYi Zen Hei"},
    {"Microsoft YaHei", "WenQuanYi Zen Hei"},
    {"Tahoma", "DejaVu Sans"},
    {"MS Sans Serif", "DejaVu Sans"},
    {"Microsoft Sans Serif", "DejaVu Sans"},
};

constexpr const char* kCjkFallback = "AR PL UMing CN";
constexpr const char* kDefaultFace = "Liberation Sans";

std::uint16_t u16(const QByteArray& t, int offset)
{
    if (offset + 2 > t.size()) return 0;
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(t[offset]) << 8) |
                                      static_cast<std::uint8_t>(t[offset + 1]));
}
std::int16_t s16(const QByteArray& t, int offset) { return static_cast<std::int16_t>(u16(t, offset)); }

std::shared_ptr<FontFace> loadFace(const std::string& family, bool bold, bool italic)
{
    EnsureGuiApplication();
    QFont font(QString::fromStdString(family));
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setBold(bold);
    font.setItalic(italic);
    font.setPixelSize(64);
    auto face = std::make_shared<FontFace>();
    face->raw = QRawFont::fromFont(font);
    face->family = face->raw.isValid() ? face->raw.familyName().toStdString() : family;
    face->synthesizeBold = bold && face->raw.weight() < QFont::DemiBold;
    face->bmpGlyphs = std::make_unique<std::atomic<std::uint32_t>[]>(0x10000);

    const QByteArray head = face->raw.fontTable("head");
    const QByteArray hhea = face->raw.fontTable("hhea");
    const QByteArray hmtx = face->raw.fontTable("hmtx");
    const QByteArray maxp = face->raw.fontTable("maxp");
    const QByteArray os2 = face->raw.fontTable("OS/2");
    const QByteArray post = face->raw.fontTable("post");
    face->unitsPerEm = u16(head, 18) ? u16(head, 18) : 2048;
    const double toUnits = face->unitsPerEm / 64.0;
    face->hheaAscender = hhea.size() >= 36 ? s16(hhea, 4) : static_cast<int>(face->raw.ascent() * toUnits);
    face->hheaDescender = hhea.size() >= 36 ? s16(hhea, 6) : -static_cast<int>(face->raw.descent() * toUnits);
    face->lineGap = hhea.size() >= 36 ? s16(hhea, 8) : static_cast<int>(face->raw.leading() * toUnits);
    face->maxAdvance = hhea.size() >= 36 ? u16(hhea, 10) : static_cast<int>(face->raw.maxCharWidth() * toUnits);
    if (os2.size() >= 78) {
        face->avgCharWidth = s16(os2, 2);
        face->strikeoutSize = s16(os2, 24);
        face->strikeoutPosition = s16(os2, 26);
        face->winAscent = u16(os2, 74);
        face->winDescent = u16(os2, 76);
    } else {
        face->avgCharWidth = static_cast<int>(face->raw.averageCharWidth() * toUnits);
        face->winAscent = face->hheaAscender;
        face->winDescent = -face->hheaDescender;
    }
    if (face->winAscent + face->winDescent == 0) {
        face->winAscent = face->unitsPerEm * 4 / 5;
        face->winDescent = face->unitsPerEm / 5;
    }
    if (face->strikeoutSize <= 0) {
        face->strikeoutSize = face->unitsPerEm / 20;
        face->strikeoutPosition = face->winAscent / 3;
    }
    if (post.size() >= 12) {
        face->underlinePosition = s16(post, 8);
        face->underlineThickness = s16(post, 10);
    }
    if (face->underlineThickness <= 0) {
        face->underlineThickness = face->unitsPerEm / 20;
        face->underlinePosition = -face->unitsPerEm / 10;
    }
    const int numMetrics = u16(hhea, 34);
    const int numGlyphs = u16(maxp, 4);
    if (numMetrics > 0 && hmtx.size() >= numMetrics * 4) {
        face->advances.resize(static_cast<std::size_t>(std::max(numGlyphs, numMetrics)));
        for (int g = 0; g < numMetrics; ++g) face->advances[g] = u16(hmtx, g * 4);
        for (std::size_t g = numMetrics; g < face->advances.size(); ++g)
            face->advances[g] = face->advances[numMetrics - 1];
    }
    // The average width Windows reports for Latin faces: the lowercase letters and the space,
    // weighted by their frequency in English text (the original definition of the OS/2 field,
    // which newer fonts fill with the plain average over every glyph instead).
    static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                                         56, 17, 4,  49, 56, 71,  31, 10, 18, 3,  18, 2, 166};
    if (!face->advances.empty()) {
        long long weighted = 0;
        bool complete = true;
        for (int i = 0; i < 27 && complete; ++i) {
            QChar ch(i < 26 ? static_cast<char16_t>(u'a' + i) : u' ');
            quint32 glyph = 0;
            int n = 1;
            face->raw.glyphIndexesForChars(&ch, 1, &glyph, &n);
            complete = glyph != 0 && glyph < face->advances.size();
            if (complete) weighted += static_cast<long long>(face->advances[glyph]) * kWeights[i];
        }
        if (complete) face->avgCharWidth = static_cast<int>(weighted / 1000);
    }
    return face;
}

std::shared_ptr<FontFace> faceFor(const std::string& family, bool bold, bool italic)
{
    static std::mutex mutex;
    static std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<FontFace>> faces;
    std::lock_guard lock(mutex);
    auto& slot = faces[{family, bold, italic}];
    if (!slot) slot = loadFace(family, bold, italic);
    return slot;
}

bool isInstalled(const std::string& family)
{
    EnsureGuiApplication();
    static std::mutex mutex;
    static std::map<std::string, bool> known;
    std::lock_guard lock(mutex);
    auto it = known.find(family);
    if (it != known.end()) return it->second;
    const QString name = QString::fromStdString(family);
    bool found = false;
    for (const QString& f : QFontDatabase::families())
        if (f.compare(name, Qt::CaseInsensitive) == 0) found = true;
    known[family] = found;
    return found;
}

}  // namespace

std::string ResolveFontFace(std::string_view name)
{
    for (const auto& s : kSubstitutions)
        if (SameText(name, s.from)) return s.to;
    std::string family(name);
    // A face that is not installed would be substituted by fontconfig's own choice, which
    // differs between machines; the table's default keeps measuring reproducible.
    if (family.empty() || !isInstalled(family)) return kDefaultFace;
    return family;
}

std::string CjkFallbackFace() { return kCjkFallback; }

std::vector<std::string> InstalledFontFamilies() {
    std::vector<std::string> families;
    for (const QString& family : QFontDatabase::families())
        families.push_back(family.toStdString());
    return families;
}

std::uint32_t FontFace::Glyph(char32_t c) const
{
    if (c < 0x10000) {
        const std::uint32_t cached = bmpGlyphs[c].load(std::memory_order_relaxed);
        if (cached) return cached - 1;
    }
    QChar units[2];
    int count = 1;
    if (c >= 0x10000) {
        units[0] = QChar(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        units[1] = QChar(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        count = 2;
    } else {
        units[0] = QChar(static_cast<char16_t>(c));
    }
    quint32 glyphs[2] = {0, 0};
    int glyphCount = 2;
    {
        std::lock_guard lock(mutex);
        if (!raw.glyphIndexesForChars(units, count, glyphs, &glyphCount)) glyphs[0] = 0;
    }
    if (c < 0x10000) bmpGlyphs[c].store(glyphs[0] + 1, std::memory_order_relaxed);
    return glyphs[0];
}

int FontFace::DesignAdvance(std::uint32_t glyph) const
{
    if (glyph < advances.size()) return advances[glyph];
    if (advances.empty()) {
        std::lock_guard lock(mutex);
        quint32 g = glyph;
        QPointF advance;
        QRawFont copy = raw;
        copy.advancesForGlyphIndexes(&g, &advance, 1, QRawFont::UseDesignMetrics);
        return static_cast<int>(std::lround(advance.x() * unitsPerEm / copy.pixelSize()));
    }
    return advances.back();
}

int FontFace::Scale(int designUnits, int em) const
{
    // Round half away from zero, in integers so every platform agrees.
    const long long p = static_cast<long long>(designUnits) * em * 2;
    const long long d = 2LL * unitsPerEm;
    return static_cast<int>(p >= 0 ? (p + unitsPerEm) / d : -((-p + unitsPerEm) / d));
}

TFontMeasurer::Impl::Glyph TFontMeasurer::Impl::Resolve(char32_t c) const
{
    std::uint32_t g = primary->Glyph(c);
    if (g == 0 && fallback) {
        const std::uint32_t fg = fallback->Glyph(c);
        if (fg != 0) return {fallback.get(), fg, fallback->Scale(fallback->DesignAdvance(fg), em)};
    }
    return {primary.get(), g, primary->Scale(primary->DesignAdvance(g), em)};
}

TFontMeasurer::Impl::~Impl()
{
    for (auto& page : advancePages) delete[] page.load();
}

void TFontMeasurer::Impl::StoreAdvance(char16_t u, std::int32_t value)
{
    auto& slot = advancePages[u >> kPageBits];
    std::atomic<std::int32_t>* page = slot.load(std::memory_order_acquire);
    if (!page) {
        std::lock_guard lock(pageMutex);
        page = slot.load(std::memory_order_acquire);
        if (!page) {
            page = new std::atomic<std::int32_t>[1 << kPageBits];
            for (int i = 0; i < (1 << kPageBits); ++i) page[i].store(-1, std::memory_order_relaxed);
            slot.store(page, std::memory_order_release);
        }
    }
    page[u & ((1 << kPageBits) - 1)].store(value, std::memory_order_relaxed);
}

int FontEmPixels(std::string_view name, TFontStyles style, int height)
{
    // Heights come from stored fonts; in 64 bits and capped, none can overflow.
    constexpr long long kMaxEm = 32767;
    if (height < 0) return static_cast<int>(std::min(-static_cast<long long>(height), kMaxEm));
    if (height == 0) return 16;
    auto face = faceFor(ResolveFontFace(name), style.Contains(fsBold), style.Contains(fsItalic));
    const int cell = std::max(1, face->winAscent + face->winDescent);
    const long long em = static_cast<long long>(height) * face->unitsPerEm / cell;
    return static_cast<int>(std::clamp(em, 1LL, kMaxEm));
}

TFontMeasurer::TFontMeasurer(std::unique_ptr<Impl> d) : d_(std::move(d)) {}
TFontMeasurer::~TFontMeasurer() = default;

std::shared_ptr<const TFontMeasurer> TFontMeasurer::ForFont(const TFontData& font)
{
    return Get(font.Name, font.Style, FontEmPixels(font.Name, font.Style, font.Height));
}

std::shared_ptr<const TFontMeasurer> TFontMeasurer::Get(std::string_view name, TFontStyles style,
                                                        int emPixels)
{
    emPixels = std::clamp(emPixels, 1, 32767);
    const bool bold = style.Contains(fsBold), italic = style.Contains(fsItalic);
    using Key = std::tuple<std::string, bool, bool, int>;
    static std::mutex mutex;
    static std::map<Key, std::shared_ptr<const TFontMeasurer>> cache;
    Key key{std::string(name), bold, italic, emPixels};
    {
        std::lock_guard lock(mutex);
        auto it = cache.find(key);
        if (it != cache.end()) return it->second;
    }
    auto d = std::make_unique<Impl>();
    d->primary = faceFor(ResolveFontFace(name), bold, italic);
    if (d->primary->family != kCjkFallback) d->fallback = faceFor(kCjkFallback, bold, italic);
    d->em = emPixels;
    const FontFace& f = *d->primary;
    TTextMetric& m = d->metrics;
    m.Ascent = f.Scale(f.winAscent, emPixels);
    m.Descent = f.Scale(f.winDescent, emPixels);
    m.Height = m.Ascent + m.Descent;
    m.InternalLeading = m.Height - emPixels;
    const int hheaLine = f.hheaAscender - f.hheaDescender + f.lineGap;
    m.ExternalLeading = std::max(0, f.Scale(hheaLine - (f.winAscent + f.winDescent), emPixels));
    m.AveCharWidth = f.Scale(f.avgCharWidth, emPixels);
    m.MaxCharWidth = f.Scale(f.maxAdvance, emPixels);
    m.PitchAndFamily = TMPF_VECTOR | TMPF_TRUETYPE;
    {
        std::lock_guard faceLock(f.mutex);
        // The face's own monospace flag (post table, isFixedPitch) rather than comparing a few
        // advances, which CJK faces with full-width ideographs would fail.
        const QByteArray post = f.raw.fontTable("post");
        const bool monospaced = post.size() >= 16 && (u16(post, 12) != 0 || u16(post, 14) != 0);
        if (!monospaced) m.PitchAndFamily |= TMPF_FIXED_PITCH;
    }
    std::shared_ptr<const TFontMeasurer> measurer(new TFontMeasurer(std::move(d)));
    std::lock_guard lock(mutex);
    auto [it, inserted] = cache.emplace(std::move(key), measurer);
    return it->second;
}

const std::string& TFontMeasurer::FaceName() const { return d_->primary->family; }
int TFontMeasurer::EmPixels() const { return d_->em; }
const TTextMetric& TFontMeasurer::Metrics() const { return d_->metrics; }

int TFontMeasurer::CharAdvance(char32_t c) const
{
    if (c < 0x10000) {
        const std::int32_t cached = d_->CachedAdvance(static_cast<char16_t>(c));
        if (cached >= 0) return cached & 0x3FFFFFFF;
    }
    const auto glyph = d_->Resolve(c);
    if (c < 0x10000) {
        const std::int32_t flag = glyph.face == d_->primary.get() ? 0 : (1 << 30);
        d_->StoreAdvance(static_cast<char16_t>(c), glyph.advance | flag);
    }
    return glyph.advance;
}

bool TFontMeasurer::UsesFallback(char32_t c) const
{
    return d_->Resolve(c).face != d_->primary.get();
}

int TFontMeasurer::Advances(std::u16string_view text, int* out) const
{
    int total = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        int advance;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            const char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            advance = CharAdvance(c);
            out[i] = advance;
            out[++i] = 0;
        } else {
            const std::int32_t cached = d_->CachedAdvance(u);
            advance = cached >= 0 ? (cached & 0x3FFFFFFF) : CharAdvance(u);
            out[i] = advance;
        }
        total += advance;
    }
    return total;
}

int TFontMeasurer::TextWidth(std::u16string_view text) const
{
    std::vector<int> advances(text.size());
    return Advances(text, advances.data());
}

std::u16string Utf8ToUtf16Lenient(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        const int extra = b < 0x80 ? 0 : (b >= 0xC2 && b < 0xE0) ? 1 : (b >= 0xE0 && b < 0xF0) ? 2
                        : (b >= 0xF0 && b < 0xF5) ? 3 : -1;
        if (extra == 0) {
            c = b;
        } else if (extra > 0 && i + static_cast<std::size_t>(extra) < s.size()) {
            char32_t v = b & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; ok && k <= extra; ++k) {
                const auto cb = static_cast<unsigned char>(s[i + k]);
                ok = (cb & 0xC0) == 0x80;
                v = (v << 6) | (cb & 0x3F);
            }
            const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
            if (ok && v >= minimum && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) {
                c = v;
                len = static_cast<std::size_t>(extra) + 1;
            }
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8Lenient(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
