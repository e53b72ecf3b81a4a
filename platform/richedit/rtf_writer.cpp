// RTF writer. The RTF export cuts our output up by string operations (it looks for "{\fonttbl",
// "}}", "{\colortbl", ";}", and deletes \lang, \sa and \sb up to the next backslash and the three
// characters before the last), so the shape here is fixed:
//
//   {\rtf1\ansi\ansicpgN\deff0\deflangL{\fonttbl{\f0\fcharsetC NAME;}...}}CR LF
//   {\colortbl ;\redR\greenG\blueB;...}CR LF          (only when a colour is used)
//   \viewkind4\uc1\pard... text\par CR LF             (every paragraph but the last)
//   \pard... text CR LF }CR LF                        (the last, without \par)
//
// The CR LF before the final brace is what the export's three-character cut removes, with the
// brace. \pard, \sb and \sa are always followed by a control word, and text never holds a
// backslash followed by letters: a backslash in the text is written \'5c.

#include "platform/richedit/rich_content.h"

#include <algorithm>
#include <unordered_map>

#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/richedit/rtf_p.h"

namespace {

constexpr std::size_t kHexLine = 128;
constexpr int kSymbolCharset = 2;

struct FontKey {
    std::string Face;
    int Charset;
};

// The character state the reader starts from (\plain over \deff0), so that only differences
// are written.
struct State {
    int Font = 0;
    int HalfPoints = 24;
    int Color = 0, Back = 0;
    int Offset = 0; // half points, up positive
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false, Protected = false;
};

class Writer {
public:
    Writer(const TRichContent& content, bool noObjects);
    std::string Write();

private:
    int fontIndex(const std::string& face, int charset);
    int colorIndex(TColor color);
    int codePageOf(int charset) const { return rtf::CodePageOfCharset(charset, codePage_); }
    const std::string& fallbackOf(char16_t c, int codePage);

    void word(std::string_view w);
    void word(std::string_view w, long long n);
    void literal(char c);
    void hexByte(unsigned char b);
    void unicode(char16_t c, int codePage);
    void text(std::u16string_view s, int codePage);
    void fontName(const std::string& face, int codePage);

    void header();
    void paragraph(const TRichParagraph& p, bool last);
    void paragraphStart(const TRichParaFormat& f);
    void charFormat(const TRichCharFormat& f);
    void picture(const TRichPicture& p);
    const TRichPicture* pictureOf(int index) const;
    const TRichObject* objectOf(int index) const;
    // A run with nothing to write leaves no format words behind, nor fonts or colours.
    bool writable(const TRichRun& r) const;

    const TRichContent& c_;
    bool noObjects_;
    int codePage_;
    std::vector<FontKey> fonts_;
    std::unordered_map<std::string, int> fontIndex_; // charset byte + face
    std::vector<TColor> colors_;
    std::unordered_map<TColor, int> colorIndex_;
    int symbolFont_ = -1;
    std::unordered_map<std::uint64_t, std::string> fallbacks_;
    std::string out_;
    bool delimit_ = false; // the last thing written was a control word
    int uc_ = 1;
    State state_;
    const TRichParaFormat* paraFormat_ = nullptr; // of the paragraph being written
    bool afterCr_ = false;
};

Writer::Writer(const TRichContent& content, bool noObjects)
    : c_(content), noObjects_(noObjects),
      codePage_(rtf::IsKnownCodePage(content.CodePage) ? content.CodePage : kAnsiCodePage) {
    fontIndex(content.DefaultFormat.Face, content.DefaultFormat.Charset);
    bool bullets = false;
    for (const TRichParagraph& p : content.Paragraphs) {
        bullets = bullets || p.Format.Numbering != 0;
        for (const TRichRun& r : p.Runs) {
            if (!writable(r)) continue;
            fontIndex(r.Format.Face, r.Format.Charset);
            if (!r.Format.AutoColor) colorIndex(r.Format.Color);
            if (!r.Format.AutoBackColor) colorIndex(r.Format.BackColor);
        }
    }
    if (bullets) symbolFont_ = fontIndex("Symbol", kSymbolCharset);
}

int Writer::fontIndex(const std::string& face, int charset) {
    const auto [it, added] =
        fontIndex_.try_emplace(static_cast<char>(charset) + face, static_cast<int>(fonts_.size()));
    if (added) fonts_.push_back(FontKey{face, charset});
    return it->second;
}

int Writer::colorIndex(TColor color) {
    const TColor rgb = ColorToRGB(color);
    const auto [it, added] = colorIndex_.try_emplace(rgb, static_cast<int>(colors_.size()) + 1);
    if (added) colors_.push_back(rgb);
    return it->second;
}

// The bytes a reader without Unicode shows for c: its code in the code page, or "?".
const std::string& Writer::fallbackOf(char16_t c, int codePage) {
    const std::uint64_t key = static_cast<std::uint64_t>(codePage) << 16 | c;
    auto it = fallbacks_.find(key);
    if (it != fallbacks_.end()) return it->second;
    std::string bytes = "?";
    if (c < 0xD800 || c > 0xDFFF) {
        bytes = Utf8ToCodePageLossy(Utf16ToUtf8(std::u16string_view(&c, 1)), codePage);
        if (bytes.empty()) bytes = "?";
    }
    return fallbacks_.emplace(key, std::move(bytes)).first->second;
}

void Writer::word(std::string_view w) {
    out_ += w;
    delimit_ = true;
}

void Writer::word(std::string_view w, long long n) {
    out_ += w;
    out_ += std::to_string(n);
    delimit_ = true;
}

void Writer::literal(char c) {
    if (delimit_) out_ += ' ';
    out_ += c;
    delimit_ = false;
}

void Writer::hexByte(unsigned char b) {
    static const char digits[] = "0123456789abcdef";
    out_ += "\\'";
    out_ += digits[b >> 4];
    out_ += digits[b & 15];
    delimit_ = false;
}

void Writer::unicode(char16_t c, int codePage) {
    const std::string& fallback = fallbackOf(c, codePage);
    const int uc = static_cast<int>(fallback.size());
    if (uc != uc_) {
        word("\\uc", uc);
        uc_ = uc;
    }
    word("\\u", c >= 0x8000 ? static_cast<int>(c) - 65536 : static_cast<int>(c));
    if (fallback == "?") {
        out_ += '?'; // ends the number as well as a blank would
        delimit_ = false;
    } else {
        for (const char b : fallback)
            hexByte(static_cast<unsigned char>(b));
    }
}

void Writer::text(std::u16string_view s, int codePage) {
    for (const char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') {
                hexByte('\\');
            } else if (c == '{' || c == '}') {
                out_ += '\\';
                out_ += static_cast<char>(c);
                delimit_ = false;
            } else {
                literal(static_cast<char>(c));
            }
        } else if (c == '\t') {
            word("\\tab");
        } else if (c == '\r' || c == '\n' || c == 0x0B) {
            // A line break inside a run is a paragraph break, written as the reader will
            // take it: this paragraph's format again for the next one. CR LF is one break.
            if (c != '\n' || !afterCr_) {
                out_ += "\\par\r\n";
                delimit_ = false;
                paragraphStart(*paraFormat_);
            }
        } else {
            unicode(c, codePage);
        }
        afterCr_ = c == '\r';
    }
}

void Writer::fontName(const std::string& face, int codePage) {
    for (const char16_t c : Utf8ToUtf16(face)) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}' && c != ';') {
            literal(static_cast<char>(c));
            continue;
        }
        const std::string& bytes = fallbackOf(c, codePage);
        if (bytes == "?" && c != '?') {
            // No code in the font's code page: \u with the default skip count of one.
            word("\\u", c >= 0x8000 ? static_cast<int>(c) - 65536 : static_cast<int>(c));
            out_ += '?';
            delimit_ = false;
        } else {
            for (const char b : bytes)
                hexByte(static_cast<unsigned char>(b));
        }
    }
}

void Writer::header() {
    word("{\\rtf1\\ansi\\ansicpg", codePage_);
    word("\\deff0\\deflang", rtf::LanguageOfCodePage(codePage_));
    out_ += "{\\fonttbl";
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
        const FontKey& f = fonts_[k];
        out_ += "{\\f" + std::to_string(k) + "\\fcharset" + std::to_string(f.Charset) + " ";
        delimit_ = false;
        fontName(f.Face, codePageOf(f.Charset));
        out_ += ";}";
    }
    out_ += "}\r\n";
    if (!colors_.empty()) {
        out_ += "{\\colortbl ;";
        for (const TColor rgb : colors_)
            out_ += "\\red" + std::to_string(GetRValue(rgb)) + "\\green" +
                    std::to_string(GetGValue(rgb)) + "\\blue" + std::to_string(GetBValue(rgb)) +
                    ";";
        out_ += "}\r\n";
    }
    out_ += "\\viewkind4\\uc1";
    delimit_ = true;
}

void Writer::charFormat(const TRichCharFormat& f) {
    State s;
    s.Font = fontIndex(f.Face, f.Charset);
    s.HalfPoints = static_cast<int>(
        std::clamp<std::int64_t>(Round(f.HeightTwips / 10.0), 1, rtf::kMaxHalfPoints));
    s.Color = f.AutoColor ? 0 : colorIndex(f.Color);
    s.Back = f.AutoBackColor ? 0 : colorIndex(f.BackColor);
    s.Offset = static_cast<int>(std::clamp<std::int64_t>(
        Round(f.OffsetTwips / 10.0), -rtf::kMaxHalfPoints, rtf::kMaxHalfPoints));
    s.Bold = f.Bold;
    s.Italic = f.Italic;
    s.Underline = f.Underline;
    s.StrikeOut = f.StrikeOut;
    s.Protected = f.Protected;
    State& o = state_;
    if (s.Font != o.Font) word("\\f", s.Font);
    if (s.HalfPoints != o.HalfPoints) word("\\fs", s.HalfPoints);
    if (s.Color != o.Color) word("\\cf", s.Color);
    if (s.Back != o.Back) word("\\highlight", s.Back);
    if (s.Bold != o.Bold) word(s.Bold ? "\\b" : "\\b0");
    if (s.Italic != o.Italic) word(s.Italic ? "\\i" : "\\i0");
    if (s.Underline != o.Underline) word(s.Underline ? "\\ul" : "\\ulnone");
    if (s.StrikeOut != o.StrikeOut) word(s.StrikeOut ? "\\strike" : "\\strike0");
    if (s.Offset != o.Offset) {
        if (s.Offset > 0)
            word("\\up", s.Offset);
        else if (s.Offset < 0)
            word("\\dn", -s.Offset);
        else
            word("\\up0");
    }
    if (s.Protected != o.Protected) word(s.Protected ? "\\protect" : "\\protect0");
    o = s;
}

void Writer::picture(const TRichPicture& p) {
    const char* kind = nullptr;
    switch (p.Type) {
    case TRichPicture::pkPng:
        kind = "\\pngblip";
        break;
    case TRichPicture::pkJpeg:
        kind = "\\jpegblip";
        break;
    case TRichPicture::pkDib:
        kind = "\\dibitmap0";
        break;
    case TRichPicture::pkWmf:
        kind = "\\wmetafile8";
        break;
    case TRichPicture::pkEmf:
        kind = "\\emfblip";
        break;
    case TRichPicture::pkUnknown:
        return; // no reader could show it
    }
    const auto clampTwips = [](int v) { return std::clamp(v, 0, rtf::kMaxPictureTwips); };
    out_ += "{\\pict";
    out_ += kind;
    word("\\picw", std::clamp(p.PixelWidth, 0, rtf::kMaxPicturePixels));
    word("\\pich", std::clamp(p.PixelHeight, 0, rtf::kMaxPicturePixels));
    word("\\picwgoal", clampTwips(p.WidthTwips));
    word("\\pichgoal", clampTwips(p.HeightTwips));
    out_ += ' ';
    static const char digits[] = "0123456789abcdef";
    out_.reserve(out_.size() + p.Bytes.size() * 2 + p.Bytes.size() / (kHexLine / 2) * 2 + 2);
    for (std::size_t k = 0; k < p.Bytes.size(); ++k) {
        if (k > 0 && k % (kHexLine / 2) == 0) out_ += "\r\n";
        const auto b = static_cast<unsigned char>(p.Bytes[k]);
        out_ += digits[b >> 4];
        out_ += digits[b & 15];
    }
    out_ += '}';
    delimit_ = false;
}

const TRichObject* Writer::objectOf(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < c_.Objects.size() ? &c_.Objects[index]
                                                                             : nullptr;
}

bool Writer::writable(const TRichRun& r) const {
    if (r.Picture >= 0) return pictureOf(r.Picture) != nullptr;
    if (r.Object >= 0) {
        const TRichObject* o = objectOf(r.Object);
        if (!o) return false;
        if (!noObjects_ && !o->Group.empty()) return true;
        return o->Result && o->Result->Type != TRichPicture::pkUnknown;
    }
    return !r.Text.empty();
}

const TRichPicture* Writer::pictureOf(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= c_.Pictures.size()) return nullptr;
    const TRichPicture& p = c_.Pictures[index];
    return p.Type == TRichPicture::pkUnknown ? nullptr : &p;
}

void Writer::paragraphStart(const TRichParaFormat& f) {
    word("\\pard");
    static const char* const alignments[] = {"\\ql", "\\qr", "\\qc", "\\qj"};
    const int alignment = f.Alignment >= 1 && f.Alignment <= 4 ? f.Alignment : 1;
    const auto twips = [](long long v) {
        return std::clamp<long long>(v, -rtf::kMaxTwips, rtf::kMaxTwips);
    };
    const long long sb = std::max(0LL, twips(f.SpaceBefore));
    const long long sa = std::max(0LL, twips(f.SpaceAfter));
    if (sb) word("\\sb", sb);
    if (sa) word("\\sa", sa);
    // The alignment word is always there: the export deletes \pard, and \sb and \sa up to the
    // next backslash, so a control word must follow them, or their delimiting blank would
    // become text.
    word(alignments[alignment - 1]);
    const long long fi = twips(-static_cast<long long>(f.Offset));
    const long long li = twips(static_cast<long long>(f.StartIndent) + f.Offset);
    const long long ri = twips(f.RightIndent);
    if (li) word("\\li", li);
    if (ri) word("\\ri", ri);
    if (fi) word("\\fi", fi);
    const std::size_t tabs = std::min<std::size_t>(f.TabStops.size(), rtf::kMaxTabStops);
    for (std::size_t k = 0; k < tabs; ++k)
        word("\\tx", std::clamp(f.TabStops[k], 0, rtf::kMaxTwips));
    if (f.Numbering != 0 && symbolFont_ >= 0) {
        const std::string sym = std::to_string(symbolFont_);
        out_ += "{\\pntext\\f" + sym + "\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + sym +
                "\\pnindent0{\\pntxtb\\'b7}}";
        delimit_ = false;
    }
}

void Writer::paragraph(const TRichParagraph& p, bool last) {
    paraFormat_ = &p.Format;
    afterCr_ = false;
    paragraphStart(p.Format);
    for (const TRichRun& r : p.Runs) {
        if (!writable(r)) continue;
        charFormat(r.Format);
        if (r.Picture >= 0) {
            picture(*pictureOf(r.Picture));
        } else if (r.Object >= 0) {
            const TRichObject& o = *objectOf(r.Object);
            if (noObjects_ || o.Group.empty()) {
                picture(*o.Result);
            } else {
                out_ += o.Group;
                delimit_ = false;
            }
        } else {
            text(r.Text, codePageOf(r.Format.Charset));
            continue;
        }
        afterCr_ = false;
    }
    out_ += last ? "\r\n}\r\n" : "\\par\r\n";
    delimit_ = false;
}

std::string Writer::Write() {
    header();
    if (c_.Paragraphs.empty()) {
        paragraph(TRichParagraph(), true);
    } else {
        for (std::size_t k = 0; k < c_.Paragraphs.size(); ++k)
            paragraph(c_.Paragraphs[k], k + 1 == c_.Paragraphs.size());
    }
    return std::move(out_);
}

} // namespace

std::string WriteRtf(const TRichContent& content, bool noObjects) {
    return Writer(content, noObjects).Write();
}
