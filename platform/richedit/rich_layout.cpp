// The format-range call: the document laid out into a rectangle in twips as a reference device
// would lay it out, and drawn onto a canvas.
//
// Lines are broken in the reference device's pixels with the platform's measurer (fonts sized
// for the reference resolution, whole-pixel advances), so the breaks follow that device
// whatever the target is; positions then go through twips to the target's pixels.

#include <QTextBlock>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <tuple>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/windows_metafile.h"
#include "platform/richedit/rich_document.h"
#include "platform/richedit/rich_document_p.h"

using namespace richdoc;

namespace {

using Impl = TRichDocument::Impl;

constexpr int kTwipsPerInch = 1440;
constexpr int kDefaultTabTwips = 720;
constexpr int kMaxObjectTwips = kTwipsPerInch * 100;
constexpr char16_t kBullet = 0x2022;

// Nearest integer of num / den (den > 0), halves away from zero.
std::int64_t roundDiv(std::int64_t num, std::int64_t den) {
    return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

int clampInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, -0x3FFFFFFF, 0x3FFFFFFF));
}

struct Scale {
    int dpiX, dpiY;
    int X(int twips) const { return clampInt(roundDiv(std::int64_t{twips} * dpiX, kTwipsPerInch)); }
    int Y(int twips) const { return clampInt(roundDiv(std::int64_t{twips} * dpiY, kTwipsPerInch)); }
    int TwipsY(std::int64_t px) const { return clampInt(roundDiv(px * kTwipsPerInch, dpiY)); }
};

int emPixels(int heightTwips, int dpi) {
    return std::clamp(clampInt(roundDiv(std::int64_t{heightTwips} * dpi, kTwipsPerInch)), 1, 32767);
}

TFontStyles measureStyle(const TRichCharFormat& f) {
    TFontStyles s;
    if (f.Bold) s.Include(fsBold);
    if (f.Italic) s.Include(fsItalic);
    return s;
}

// ---- line breaking classes

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == 0x3000;
}
bool isHardBreak(char16_t c) {
    return c == 0x0B || c == 0x2028 || c == 0x0C;
}

bool isCjk(char16_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFFEF) || QChar::isSurrogate(c) || c == kObjectChar;
}

// Characters a line may not start with, and ones it may not end with.
bool noLineStart(char16_t c) {
    static constexpr std::u16string_view set =
        u"!%),.:;?]}\u00A2\u00B0\u2019\u201D\u2030\u2032\u2033\u2103\u3001\u3002\u3005\u3009"
        u"\u300B\u300D\u300F\u3011\u3015\u3017\u3019\u301B\u3041\u3043\u3045\u3047\u3049\u3063"
        u"\u3083\u3085\u3087\u308E\u30A1\u30A3\u30A5\u30A7\u30A9\u30C3\u30E3\u30E5\u30E7\u30EE"
        u"\u30F5\u30F6\u30FB\u30FC\u30FD\u30FE\uFF01\uFF05\uFF09\uFF0C\uFF0E\uFF1A\uFF1B\uFF1F"
        u"\uFF3D\uFF5D\uFF61\uFF63\uFF64\uFF65\u2026\u2025";
    return set.find(c) != std::u16string_view::npos;
}

bool noLineEnd(char16_t c) {
    static constexpr std::u16string_view set =
        u"$([{\u00A3\u00A5\u2018\u201C\u3008\u300A\u300C\u300E\u3010\u3014\u3016\u3018\u301A"
        u"\uFF04\uFF08\uFF3B\uFF5B\uFF62\uFFE1\uFFE5";
    return set.find(c) != std::u16string_view::npos;
}

bool isAlnum(char16_t c) {
    return QChar(c).isLetterOrNumber();
}

// A line may break between a and b (spaces are handled by the caller: a break follows them).
bool canBreakBetween(char16_t a, char16_t b) {
    if (isSpace(b) || QChar::isLowSurrogate(b)) return false;
    if (noLineStart(b) || noLineEnd(a)) return false;
    if (isCjk(a) || isCjk(b)) return true;
    return a == u'-' && isAlnum(b);
}

// ---- paragraphs as laid out

struct Piece {
    TRichCharFormat format;
    std::shared_ptr<const TFontMeasurer> measurer; // null for a picture or an object
    int picture = -1, object = -1;
    int widthTwips = 0, heightTwips = 0; // a picture's or object's shown size
    int ascent = 0, descent = 0;         // reference pixels, the offset included
    int offset = 0;                      // reference pixels, up is positive
};

struct Paragraph {
    int start = 0; // document position
    std::u16string text;
    TRichParaFormat format;
    std::vector<Piece> pieces;
    std::vector<int> pieceOf; // unit -> piece
    std::vector<int> advance; // unit -> reference pixels (a tab is placed by the line)
    Piece mark;               // the paragraph mark: an empty line's height
    std::vector<std::pair<int, int>> urls;
};

struct Line {
    int from = 0, to = 0; // units of the paragraph
    bool first = false;   // the paragraph's first line
    bool last = false;    // ends the paragraph
    std::int64_t top = 0;
    int ascent = 0, descent = 0;
    // Left edge of each unit and the end, reference pixels from Rect's left. Wide: hanging
    // spaces and huge fonts may run far past any rectangle.
    std::vector<std::int64_t> x;
    std::int64_t bulletX = 0;
};

std::pair<int, int> objectSizeOf(const Impl& d, int picture, int object) {
    int w = 0, h = 0;
    const TRichPicture* pic = nullptr;
    if (picture >= 0) {
        pic = &d.pictures[static_cast<std::size_t>(picture)];
    } else {
        const TRichObject& obj = d.objects[static_cast<std::size_t>(object)];
        w = obj.WidthTwips;
        h = obj.HeightTwips;
        if (obj.Result) pic = &*obj.Result;
    }
    if ((w <= 0 || h <= 0) && pic) {
        w = pic->WidthTwips > 0 ? pic->WidthTwips : pic->PixelWidth * (kTwipsPerInch / 96);
        h = pic->HeightTwips > 0 ? pic->HeightTwips : pic->PixelHeight * (kTwipsPerInch / 96);
    }
    // Something to see and to select, where the data gives no size.
    if (w <= 0) w = picture >= 0 ? 240 : 1440;
    if (h <= 0) h = picture >= 0 ? 240 : 720;
    return {std::min(w, kMaxObjectTwips), std::min(h, kMaxObjectTwips)};
}

Piece textPiece(const TRichCharFormat& f, const Scale& s) {
    Piece p;
    p.format = f;
    p.measurer = TFontMeasurer::Get(f.Face, measureStyle(f), emPixels(f.HeightTwips, s.dpiY));
    p.offset = s.Y(f.OffsetTwips);
    const TTextMetric& m = p.measurer->Metrics();
    p.ascent = m.Ascent + std::max(0, p.offset);
    p.descent = m.Descent + std::max(0, -p.offset);
    return p;
}

Paragraph buildParagraph(const Impl& d, const QTextBlock& block, const Scale& s) {
    Paragraph p;
    p.start = block.position();
    p.text = FromQString(block.text());
    p.format = ParaFormatOf(block.blockFormat());
    p.pieceOf.assign(p.text.size(), 0);
    p.advance.assign(p.text.size(), 0);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fr = it.fragment();
        const QTextCharFormat q = fr.charFormat();
        const int from = fr.position() - p.start;
        const int to = std::min<int>(from + fr.length(), static_cast<int>(p.text.size()));
        const TRichCharFormat f = d.Effective(q);
        const int picture = q.hasProperty(kPicture) ? q.intProperty(kPicture) : -1;
        const int object = q.hasProperty(kObject) ? q.intProperty(kObject) : -1;
        const bool isObject = (picture >= 0 && picture < static_cast<int>(d.pictures.size())) ||
                              (object >= 0 && object < static_cast<int>(d.objects.size()));
        if (isObject) {
            for (int i = from; i < to; ++i) {
                Piece piece;
                piece.format = f;
                piece.picture = picture;
                piece.object = picture >= 0 ? -1 : object;
                std::tie(piece.widthTwips, piece.heightTwips) =
                    objectSizeOf(d, piece.picture, piece.object);
                piece.offset = s.Y(f.OffsetTwips);
                piece.ascent = s.Y(piece.heightTwips) + std::max(0, piece.offset);
                piece.descent = std::max(0, -piece.offset);
                p.pieceOf[static_cast<std::size_t>(i)] = static_cast<int>(p.pieces.size());
                p.advance[static_cast<std::size_t>(i)] = s.X(piece.widthTwips);
                p.pieces.push_back(std::move(piece));
            }
            continue;
        }
        Piece piece = textPiece(f, s);
        if (from < to) {
            piece.measurer->Advances(
                std::u16string_view(p.text).substr(static_cast<std::size_t>(from),
                                                   static_cast<std::size_t>(to - from)),
                p.advance.data() + from);
        }
        for (int i = from; i < to; ++i) {
            auto& a = p.advance[static_cast<std::size_t>(i)];
            if (s.dpiX != s.dpiY) a = clampInt(roundDiv(std::int64_t{a} * s.dpiX, s.dpiY));
            // A stray U+FFFC that names no object takes no room.
            if (p.text[static_cast<std::size_t>(i)] == kObjectChar) a = 0;
            p.pieceOf[static_cast<std::size_t>(i)] = static_cast<int>(p.pieces.size());
        }
        p.pieces.push_back(std::move(piece));
    }
    p.mark = textPiece(d.Effective(d.FormatAt(p.start + block.length() - 1)), s);
    if (d.autoUrlDetect) p.urls = FindUrls(p.text);
    return p;
}

// Lays out the line of p that starts at unit `from`, `width` reference pixels wide.
Line layoutLine(const Paragraph& p, int from, bool first, int width, const Scale& s) {
    const TRichParaFormat& pf = p.format;
    const int n = static_cast<int>(p.text.size());
    Line ln;
    ln.from = from;
    ln.first = first;
    const int startIndent = std::max(0, s.X(pf.StartIndent));
    const int restIndent = std::max(0, s.X(pf.StartIndent + pf.Offset));
    int left = first ? startIndent : restIndent;
    if (first && pf.Numbering != 0) {
        const Piece& font =
            p.pieces.empty() || !p.pieces.front().measurer ? p.mark : p.pieces.front();
        const int bulletWidth =
            font.measurer->CharAdvance(kBullet) + font.measurer->CharAdvance(u' ');
        ln.bulletX = startIndent;
        left = std::max(restIndent, startIndent + bulletWidth);
    }
    const int right = width - std::max(0, s.X(pf.RightIndent));
    const int defaultTab = std::max(1, s.X(kDefaultTabTwips));
    auto tabAdvance = [&](std::int64_t x) -> std::int64_t {
        for (int stop : pf.TabStops) {
            const int px = s.X(stop);
            if (px > x) return px - x;
        }
        return (x / defaultTab + 1) * defaultTab - x;
    };

    std::vector<std::int64_t> used;
    std::int64_t x = left;
    int i = from, breakEnd = -1;
    bool hard = false;
    while (i < n) {
        const char16_t c = p.text[static_cast<std::size_t>(i)];
        if (isHardBreak(c)) {
            used.push_back(0);
            ++i;
            hard = true;
            break;
        }
        const std::int64_t a = c == u'\t' ? tabAdvance(x) : p.advance[static_cast<std::size_t>(i)];
        if (isSpace(c)) {
            // Spaces hang past the right edge; a line breaks after them.
            x += a;
            used.push_back(a);
            ++i;
            if (i >= n || !isSpace(p.text[static_cast<std::size_t>(i)])) breakEnd = i;
            continue;
        }
        if (x + a > right && i > from && !QChar::isLowSurrogate(c)) {
            const int end = breakEnd > from ? breakEnd : i;
            used.resize(static_cast<std::size_t>(end - from));
            i = end;
            break;
        }
        x += a;
        used.push_back(a);
        ++i;
        if (i < n && canBreakBetween(p.text[static_cast<std::size_t>(i - 1)],
                                     p.text[static_cast<std::size_t>(i)]))
            breakEnd = i;
    }
    ln.to = i;
    ln.last = i >= n && !hard;

    // Alignment acts on the text without its hanging spaces and break.
    int contentEnd = ln.to;
    while (contentEnd > from && (isSpace(p.text[static_cast<std::size_t>(contentEnd - 1)]) ||
                                 isHardBreak(p.text[static_cast<std::size_t>(contentEnd - 1)])))
        --contentEnd;
    std::int64_t contentRight = left;
    for (int k = from; k < contentEnd; ++k)
        contentRight += used[static_cast<std::size_t>(k - from)];
    const std::int64_t slack = std::max<std::int64_t>(0, right - contentRight);
    std::int64_t shift = 0;
    std::vector<std::int64_t> extra(used.size(), 0);
    if (pf.Alignment == 2) {
        shift = slack;
    } else if (pf.Alignment == 3) {
        shift = slack / 2;
    } else if (pf.Alignment == 4 && !ln.last && !hard && slack > 0) {
        std::vector<int> gaps;
        for (int k = from; k < contentEnd; ++k)
            if (p.text[static_cast<std::size_t>(k)] == u' ' ||
                p.text[static_cast<std::size_t>(k)] == 0x3000)
                gaps.push_back(k - from);
        const std::int64_t count = static_cast<std::int64_t>(gaps.size());
        for (std::int64_t g = 0; g < count; ++g)
            extra[static_cast<std::size_t>(gaps[static_cast<std::size_t>(g)])] =
                slack / count + (g < slack % count ? 1 : 0);
    }
    ln.x.resize(used.size() + 1);
    ln.x[0] = left + shift;
    for (std::size_t k = 0; k < used.size(); ++k)
        ln.x[k + 1] = ln.x[k] + used[k] + extra[k];
    if (first && pf.Numbering != 0) ln.bulletX += shift;

    // Height: the tallest text or object on the line, an empty line the mark's.
    for (int k = from; k < ln.to; ++k) {
        const Piece& piece =
            p.pieces[static_cast<std::size_t>(p.pieceOf[static_cast<std::size_t>(k)])];
        ln.ascent = std::max(ln.ascent, piece.ascent);
        ln.descent = std::max(ln.descent, piece.descent);
    }
    if (ln.to == from) {
        ln.ascent = p.mark.ascent;
        ln.descent = p.mark.descent;
    }
    return ln;
}

// ---- drawing

// Pixels of the target for a point given as an origin in twips plus reference pixels.
struct Mapper {
    int originX, originY; // twips
    Scale ref;
    int targetX, targetY; // target resolution
    int X(std::int64_t refPx) const { return map(originX, refPx, ref.dpiX, targetX); }
    int Y(std::int64_t refPx) const { return map(originY, refPx, ref.dpiY, targetY); }

private:
    static int map(int originTwips, std::int64_t refPx, int refDpi, int targetDpi) {
        // Beyond a few million pixels nothing is visible; the bound keeps the products in range.
        refPx = std::clamp<std::int64_t>(refPx, -(std::int64_t{1} << 40), std::int64_t{1} << 40);
        return clampInt(
            roundDiv((std::int64_t{originTwips} * refDpi + refPx * kTwipsPerInch) * targetDpi,
                     std::int64_t{kTwipsPerInch} * refDpi));
    }
};

std::uint32_t u32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
        static_cast<std::uint8_t>(b[at + 2]) << 16 |
        static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}

void put16(std::string& b, int v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& b, std::uint32_t v) {
    put16(b, static_cast<int>(v & 0xFFFF));
    put16(b, static_cast<int>(v >> 16));
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A DIB as stored in rich text has no file header; the bitmap reader wants one.
std::string dibAsBmp(const std::string& dib) {
    if (dib.size() < 40) return {};
    const std::uint32_t headerSize = u32(dib, 0);
    const int bitCount = static_cast<std::uint8_t>(dib[14]) | static_cast<std::uint8_t>(dib[15])
                                                                  << 8;
    const std::uint32_t compression = u32(dib, 16);
    std::uint64_t colours = headerSize >= 40 ? u32(dib, 32) : 0;
    if (colours == 0 && bitCount <= 8) colours = std::uint64_t{1} << bitCount;
    const std::uint64_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
    const std::uint64_t offBits = 14 + std::uint64_t{headerSize} + colours * 4 + masks;
    if (headerSize > dib.size() || offBits > 14 + dib.size()) return {};
    std::string bmp = "BM";
    put32(bmp, static_cast<std::uint32_t>(14 + dib.size()));
    put32(bmp, 0);
    put32(bmp, static_cast<std::uint32_t>(offBits));
    return bmp + dib;
}

// A metafile as stored in rich text is the bare WMF; the metafile class reads the placeable
// form, whose box is in the records' own units. The window the records set gives that box;
// without one the records are taken to be in twips. Either way the picture shows at its size.
std::string wmfAsPlaceable(const TRichPicture& pic) {
    const std::string& b = pic.Bytes;
    auto s16 = [&](std::size_t at) {
        return static_cast<std::int16_t>(static_cast<std::uint8_t>(b[at]) |
                                         static_cast<std::uint8_t>(b[at + 1]) << 8);
    };
    int orgX = 0, orgY = 0, extX = 0, extY = 0;
    std::size_t at =
        b.size() >= 18 ? static_cast<std::size_t>(std::max<int>(9, s16(2))) * 2 : b.size();
    for (int guard = 0; at + 6 <= b.size() && guard < 100000; ++guard) {
        const std::uint64_t words = u32(b, at);
        const int function = static_cast<std::uint16_t>(s16(at + 4));
        if (words < 3 || function == 0 || at + words * 2 > b.size()) break;
        if ((function == 0x020B || function == 0x020C) && words >= 5) {
            (function == 0x020B ? orgY : extY) = s16(at + 6);
            (function == 0x020B ? orgX : extX) = s16(at + 8);
        }
        at += static_cast<std::size_t>(words * 2);
    }
    const int w = pic.WidthTwips > 0 ? pic.WidthTwips : kTwipsPerInch;
    const int h = pic.HeightTwips > 0 ? pic.HeightTwips : kTwipsPerInch;
    int left = orgX, top = orgY, right, bottom, inch;
    if (extX != 0 && extY != 0) {
        right = orgX + extX;
        bottom = orgY + extY;
        inch = static_cast<int>(std::clamp<std::int64_t>(
            roundDiv(std::int64_t{std::abs(extX)} * kTwipsPerInch, w), 1, 0xFFFF));
    } else {
        left = top = 0;
        right = std::min(w, 32767);
        bottom = std::min(h, 32767);
        inch = kTwipsPerInch;
    }
    std::string head;
    put32(head, 0x9AC6CDD7);
    for (int v : {0, left, top, right, bottom, inch, 0, 0})
        put16(head, v);
    int checksum = 0;
    for (std::size_t i = 0; i < head.size(); i += 2)
        checksum ^= static_cast<std::uint8_t>(head[i]) | static_cast<std::uint8_t>(head[i + 1])
                                                             << 8;
    put16(head, checksum);
    return head + b;
}

// The picture as a graphic; null when its data cannot be read.
std::unique_ptr<TGraphic> makeGraphic(const TRichPicture& pic) {
    try {
        std::string bytes;
        std::unique_ptr<TGraphic> g;
        switch (pic.Type) {
        case TRichPicture::pkDib:
            bytes = dibAsBmp(pic.Bytes);
            g = std::make_unique<TBitmap>();
            break;
        case TRichPicture::pkWmf:
            bytes = TWindowsMetafile::IsPlaceableWmf(bytesOf(pic.Bytes)) ? pic.Bytes
                                                                         : wmfAsPlaceable(pic);
            g = std::make_unique<TWindowsMetafile>();
            break;
        case TRichPicture::pkEmf:
            bytes = pic.Bytes;
            g = std::make_unique<TWindowsMetafile>();
            break;
        case TRichPicture::pkPng:
        case TRichPicture::pkJpeg:
        case TRichPicture::pkUnknown:
            bytes = pic.Bytes;
            g = CreateGraphicForContent(bytesOf(bytes));
            break;
        }
        if (!g || bytes.empty()) return nullptr;
        g->LoadFromBytes(bytesOf(bytes));
        return g;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The class an object group names ("{\*\objclass Name}"), or "".
std::string objectClass(const std::string& group) {
    const std::string key = "\\objclass";
    const std::size_t at = group.find(key);
    if (at == std::string::npos) return {};
    std::size_t i = at + key.size();
    while (i < group.size() && group[i] == ' ')
        ++i;
    std::string name;
    while (i < group.size() && group[i] != '}' && group[i] != '{' && group[i] != '\\' &&
           name.size() < 64)
        name.push_back(group[i++]);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return name;
}

class Painter {
public:
    Painter(TCanvas& canvas, const Mapper& map)
        : c_(canvas), map_(map), font_(canvas.Font().Data()), brush_(canvas.Brush().Data()),
          pen_(canvas.Pen().Data()), mode_(canvas.BackgroundMode()) {}
    ~Painter() {
        c_.Font().SetData(font_);
        c_.Brush().SetData(brush_);
        c_.Pen().SetData(pen_);
        c_.SetBackgroundMode(mode_);
    }

    void DrawLine(const Impl& d, const Paragraph& p, const Line& ln) {
        const std::int64_t baseline = ln.top + ln.ascent;
        if (ln.first && p.format.Numbering != 0) {
            const Piece& f =
                p.pieces.empty() || !p.pieces.front().measurer ? p.mark : p.pieces.front();
            const std::u16string bullet(1, kBullet);
            drawText(f.format, false, bullet,
                     {ln.bulletX, ln.bulletX + f.measurer->CharAdvance(kBullet)},
                     baseline - f.offset, ln);
        }
        int k = ln.from;
        while (k < ln.to) {
            const char16_t c = p.text[static_cast<std::size_t>(k)];
            const int pieceIndex = p.pieceOf[static_cast<std::size_t>(k)];
            const Piece& piece = p.pieces[static_cast<std::size_t>(pieceIndex)];
            if (piece.picture >= 0 || piece.object >= 0) {
                drawObject(d, piece, x(ln, k), x(ln, k + 1), baseline - piece.offset);
                ++k;
                continue;
            }
            if (c == u'\t' || isHardBreak(c) || c == kObjectChar) {
                ++k;
                continue;
            }
            const bool link = inLink(p, k);
            int e = k + 1;
            while (e < ln.to && p.pieceOf[static_cast<std::size_t>(e)] == pieceIndex &&
                   inLink(p, e) == link) {
                const char16_t ce = p.text[static_cast<std::size_t>(e)];
                if (ce == u'\t' || isHardBreak(ce) || ce == kObjectChar) break;
                ++e;
            }
            std::vector<std::int64_t> xs(ln.x.begin() + (k - ln.from),
                                         ln.x.begin() + (e - ln.from) + 1);
            drawText(piece.format, link,
                     std::u16string_view(p.text).substr(static_cast<std::size_t>(k),
                                                        static_cast<std::size_t>(e - k)),
                     xs, baseline - piece.offset, ln);
            k = e;
        }
    }

private:
    static std::int64_t x(const Line& ln, int unit) {
        return ln.x[static_cast<std::size_t>(unit - ln.from)];
    }

    static bool inLink(const Paragraph& p, int unit) {
        if (p.pieces[static_cast<std::size_t>(p.pieceOf[static_cast<std::size_t>(unit)])]
                .format.Link)
            return true;
        for (const auto& [s, e] : p.urls)
            if (unit >= s && unit < e) return true;
        return false;
    }

    // Text whose units start at xs (reference pixels; one more for the end) on a baseline.
    void drawText(const TRichCharFormat& f, bool link, std::u16string_view text,
                  const std::vector<std::int64_t>& xs, std::int64_t baseline, const Line& ln) {
        TFontData font;
        font.Name = f.Face;
        const int em = emPixels(f.HeightTwips, map_.targetY);
        font.Height = -em;
        TFontStyles style = measureStyle(f);
        if (f.Underline || link) style.Include(fsUnderline);
        if (f.StrikeOut) style.Include(fsStrikeOut);
        font.Style = style;
        font.Charset = f.Charset;
        font.Color = !f.AutoColor ? f.Color : link ? clBlue : clBlack;
        std::vector<int> tx(xs.size());
        for (std::size_t i = 0; i < xs.size(); ++i)
            tx[i] = map_.X(xs[i]);
        if (!f.AutoBackColor) {
            c_.Brush().SetStyle(bsSolid);
            c_.Brush().SetColor(f.BackColor);
            c_.FillRect(
                {tx.front(), map_.Y(ln.top), tx.back(), map_.Y(ln.top + ln.ascent + ln.descent)});
        }
        c_.Font().SetData(font);
        c_.SetBackgroundMode(bmTransparent);
        std::vector<int> advances(text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            advances[i] = tx[i + 1] - tx[i];
        const int ascent = TFontMeasurer::ForFont(font)->Metrics().Ascent;
        c_.ExtTextOut(tx.front(), map_.Y(baseline) - ascent, 0, nullptr, text, advances.data());
    }

    void drawObject(const Impl& d, const Piece& piece, std::int64_t left, std::int64_t right,
                    std::int64_t bottom) {
        const int heightPx = piece.ascent - std::max(0, piece.offset);
        const TRect r{map_.X(left), map_.Y(bottom - heightPx), map_.X(right), map_.Y(bottom)};
        DrawObject(c_, d, piece.picture, piece.object, r, map_.targetY);
    }

    TCanvas& c_;
    Mapper map_;
    TFontData font_;
    TBrushData brush_;
    TPenData pen_;
    TBackgroundMode mode_;
};

} // namespace

std::pair<int, int> richdoc::ObjectTwips(const Impl& d, int picture, int object) {
    const bool valid = (picture >= 0 && picture < static_cast<int>(d.pictures.size())) ||
                       (picture < 0 && object >= 0 && object < static_cast<int>(d.objects.size()));
    return valid ? objectSizeOf(d, picture, object) : std::pair<int, int>{0, 0};
}

void richdoc::DrawObject(TCanvas& c, const Impl& d, int picture, int object, const TRect& r,
                         int dpiY) {
    const TRichPicture* pic = nullptr;
    std::string cls;
    if (picture >= 0 && picture < static_cast<int>(d.pictures.size())) {
        pic = &d.pictures[static_cast<std::size_t>(picture)];
    } else if (object >= 0 && object < static_cast<int>(d.objects.size())) {
        const TRichObject& obj = d.objects[static_cast<std::size_t>(object)];
        if (obj.Result) pic = &*obj.Result;
        cls = objectClass(obj.Group);
    }
    if (pic) {
        if (auto g = makeGraphic(*pic)) {
            c.StretchDraw(r, *g);
            return;
        }
    }
    // The placeholder: a grey frame, naming the object's class where the data does.
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clGray);
    c.FrameRect(r);
    if (!cls.empty()) {
        TFontData font;
        font.Height = -std::max(1, std::min(r.Height() - 2, emPixels(160, dpiY)));
        font.Color = clGray;
        c.Font().SetData(font);
        c.SetBackgroundMode(bmTransparent);
        c.TextRect({r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}, r.Left + 2, r.Top + 2, cls);
    }
}

TRichFormatResult TRichDocument::FormatRange(const TRichFormatRange& range) const {
    const auto& d = *d_;
    const Scale scale{std::clamp(range.DpiX > 0 ? range.DpiX : 96, 1, 9600),
                      std::clamp(range.DpiY > 0 ? range.DpiY : 96, 1, 9600)};
    const TRect& rect = range.Rect;
    const int length = Length();
    const int first = std::clamp(range.FirstChar, 0, length);
    const std::int64_t rectWidth = std::int64_t{rect.Right} - rect.Left;
    const std::int64_t rectHeight = std::int64_t{rect.Bottom} - rect.Top;
    const int width = clampInt(std::max<std::int64_t>(0, rectWidth * scale.dpiX / kTwipsPerInch));
    const std::int64_t heightLimit = rectHeight * scale.dpiY; // twips x dpi
    auto fits = [&](std::int64_t bottomPx) { return bottomPx * kTwipsPerInch <= heightLimit; };

    std::optional<Painter> painter;
    if (range.Target) {
        TCanvas& c = *range.Target;
        const Mapper map{rect.Left, rect.Top, scale, c.PixelsPerInchX(), c.PixelsPerInchY()};
        c.SaveClip();
        c.IntersectClipRect(
            {map.X(0), map.Y(0),
             clampInt(roundDiv(std::int64_t{rect.Right} * c.PixelsPerInchX(), kTwipsPerInch)),
             clampInt(roundDiv(std::int64_t{rect.Bottom} * c.PixelsPerInchY(), kTwipsPerInch))});
        painter.emplace(c, map);
    }

    TRichFormatResult result;
    result.NextChar = length;
    std::int64_t y = 0, lineBottom = 0, paraBottom = 0;
    bool any = false, stopped = false;
    for (QTextBlock b = d.doc->findBlock(first); b.isValid() && !stopped; b = b.next()) {
        const Paragraph p = buildParagraph(d, b, scale);
        int from = b.position() < first ? first - b.position() : 0;
        bool firstLine = from == 0;
        if (firstLine) y += std::max(0, scale.Y(p.format.SpaceBefore));
        while (true) {
            Line ln = layoutLine(p, from, firstLine, width, scale);
            const int height = ln.ascent + ln.descent;
            // A first line that is too tall is still taken, so every call makes progress.
            if (any && !fits(y + height)) {
                result.NextChar = p.start + from;
                stopped = true;
                break;
            }
            ln.top = y;
            y += height;
            lineBottom = y;
            any = true;
            if (painter) painter->DrawLine(d, p, ln);
            if (ln.last) break;
            from = ln.to;
            firstLine = false;
        }
        if (!stopped) {
            y += std::max(0, scale.Y(p.format.SpaceAfter));
            paraBottom = y;
        }
    }
    painter.reset();
    if (range.Target) range.Target->RestoreClip();
    // Space after the last paragraph counts as far as the rectangle reaches.
    int bottomTwips = scale.TwipsY(lineBottom);
    if (paraBottom > lineBottom)
        bottomTwips = std::max(
            bottomTwips, clampInt(std::min<std::int64_t>(scale.TwipsY(paraBottom), rectHeight)));
    result.BottomTwips = bottomTwips;
    return result;
}
