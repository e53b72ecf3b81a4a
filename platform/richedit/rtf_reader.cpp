// RTF reader: one pass over the bytes with an explicit group stack, so hostile nesting costs
// neither stack nor more than linear time.
//
// Choices where RTF leaves room:
// - \par, \line, \sect and \page each end a paragraph (the content has no soft line break), and
//   so does a CR, LF or VT given as \uN or \'hh.
// - A table row is one paragraph, its cells separated by a tab; \nestcell and \nestrow count as
//   \cell and \row.
// - Any \pn group other than a continuation level, and \ls, make the paragraph a bullet.
// - \super and \sub raise or lower by a third of the size; \up and \dn by their own amount.
// - Associated properties (\ab \ai \afs \af) given after \dbch override the plain ones for
//   text that follows \dbch (writers put double-byte text there); after \rtlch they concern
//   right-to-left text, which this content does not distinguish, and are ignored.
// - Text bytes (\'hh and 8-bit characters) are gathered and decoded together in the code page of
//   the current font, so a double-byte character split over two escapes decodes whole.
// - Incomplete pictures and objects (input cut inside them) are dropped; everything read before
//   the cut is kept.

#include "platform/richedit/rich_content.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "platform/core/text.h"
#include "platform/richedit/rtf_p.h"

namespace {

constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxWordLength = 32;
constexpr std::size_t kMaxFaceLength = 31; // a face name field holds 32 with its terminator
constexpr char16_t kObjectChar = 0xFFFC;
constexpr char16_t kReplacementChar = 0xFFFD;

constexpr std::uint32_t kReadCharMask =
    TRichCharFormat::cfmBold | TRichCharFormat::cfmItalic | TRichCharFormat::cfmUnderline |
    TRichCharFormat::cfmStrikeOut | TRichCharFormat::cfmProtected | TRichCharFormat::cfmSize |
    TRichCharFormat::cfmColor | TRichCharFormat::cfmFace | TRichCharFormat::cfmOffset |
    TRichCharFormat::cfmCharset | TRichCharFormat::cfmBackColor | TRichCharFormat::cfmWeight;

enum class Dest : std::uint8_t {
    Text,   // document text
    Hidden, // formats count, text is dropped: an object's shell and result, a \pn group
    Bullet, // a \pn group: sets the enclosing paragraph's numbering
    FontTable,
    ColorTable,
    Pict,
};

// clang-format off
enum Word : std::uint8_t {
    wUnknown, wAnsi, wAnsicpg, wPc, wPca, wDeff, wUc, wU, wPlain, wB, wI, wUl, wUlnone, wStrike,
    wFs, wF, wCf, wHighlight, wSuper, wSub, wNoSuperSub, wUp, wDn, wProtect, wPard, wQl, wQr, wQc,
    wQj, wLi, wRi, wFi, wSb, wSa, wTx, wPar, wTab, wCell, wRow, wLs, wPnLevelCont, wFontTable,
    wColorTable, wCharset, wCpg, wRed, wGreen, wBlue, wPict, wPng, wJpeg, wDib, wWmf, wEmf,
    wOtherPicture, wPicW, wPicH, wPicWGoal, wPicHGoal, wPicScaleX, wPicScaleY, wBin, wObject, wObjW,
    wObjH, wResult, wPn, wShpPict, wSkip, wChar, wLowChars, wDoubleByteChars, wRightToLeftChars,
    wAssocBold, wAssocItalic, wAssocSize, wAssocFont,
};
// clang-format on

struct WordInfo {
    Word Id;
    char16_t Char = 0; // for wChar
};

const std::unordered_map<std::string_view, WordInfo>& wordTable() {
    static const std::unordered_map<std::string_view, WordInfo> table = [] {
        // clang-format off
        std::unordered_map<std::string_view, WordInfo> t{
            {"ansi", {wAnsi}}, {"ansicpg", {wAnsicpg}}, {"pc", {wPc}}, {"pca", {wPca}},
            {"deff", {wDeff}}, {"uc", {wUc}}, {"u", {wU}}, {"plain", {wPlain}}, {"b", {wB}},
            {"i", {wI}}, {"ulnone", {wUlnone}}, {"strike", {wStrike}}, {"striked", {wStrike}},
            {"fs", {wFs}}, {"f", {wF}}, {"cf", {wCf}}, {"highlight", {wHighlight}},
            {"cb", {wHighlight}}, {"super", {wSuper}}, {"sub", {wSub}},
            {"nosupersub", {wNoSuperSub}}, {"up", {wUp}}, {"dn", {wDn}},
            {"protect", {wProtect}}, {"pard", {wPard}}, {"ql", {wQl}}, {"qr", {wQr}},
            {"qc", {wQc}}, {"qj", {wQj}}, {"qd", {wQj}}, {"li", {wLi}}, {"ri", {wRi}},
            {"fi", {wFi}}, {"sb", {wSb}}, {"sa", {wSa}}, {"tx", {wTx}}, {"par", {wPar}},
            {"line", {wPar}}, {"sect", {wPar}}, {"page", {wPar}}, {"tab", {wTab}},
            {"cell", {wCell}}, {"nestcell", {wCell}}, {"row", {wRow}}, {"nestrow", {wRow}},
            {"ls", {wLs}}, {"pnlvlcont", {wPnLevelCont}}, {"fonttbl", {wFontTable}},
            {"colortbl", {wColorTable}}, {"fcharset", {wCharset}}, {"cpg", {wCpg}},
            {"red", {wRed}}, {"green", {wGreen}}, {"blue", {wBlue}}, {"pict", {wPict}},
            {"pngblip", {wPng}}, {"jpegblip", {wJpeg}}, {"dibitmap", {wDib}},
            {"wbitmap", {wDib}}, {"wmetafile", {wWmf}}, {"emfblip", {wEmf}},
            {"macpict", {wOtherPicture}}, {"pmmetafile", {wOtherPicture}},
            {"picw", {wPicW}}, {"pich", {wPicH}}, {"picwgoal", {wPicWGoal}},
            {"pichgoal", {wPicHGoal}}, {"picscalex", {wPicScaleX}}, {"picscaley", {wPicScaleY}},
            {"bin", {wBin}}, {"object", {wObject}}, {"objw", {wObjW}}, {"objh", {wObjH}},
            {"result", {wResult}}, {"pn", {wPn}}, {"shppict", {wShpPict}},
            {"loch", {wLowChars}}, {"hich", {wLowChars}}, {"ltrch", {wLowChars}},
            {"dbch", {wDoubleByteChars}}, {"rtlch", {wRightToLeftChars}},
            {"ab", {wAssocBold}}, {"ai", {wAssocItalic}}, {"afs", {wAssocSize}},
            {"af", {wAssocFont}},
            {"emdash", {wChar, 0x2014}}, {"endash", {wChar, 0x2013}},
            {"bullet", {wChar, 0x2022}}, {"lquote", {wChar, 0x2018}},
            {"rquote", {wChar, 0x2019}}, {"ldblquote", {wChar, 0x201C}},
            {"rdblquote", {wChar, 0x201D}}, {"emspace", {wChar, 0x2003}},
            {"enspace", {wChar, 0x2002}}, {"qmspace", {wChar, 0x2005}},
        };
        for (const char* w : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave",
                              "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd",
                              "ulthldash", "ululdbwave", "ulw", "ulwave"})
            t.emplace(w, WordInfo{wUl});
        // Destinations whose content is not document text.
        for (const char* w :
             {"stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer",
              "footerl", "footerr", "footerf", "footnote", "pntext", "listtext", "fldinst",
              "nonshppict", "listtable", "listoverridetable", "revtbl", "filetbl", "rsidtbl",
              "generator", "annotation", "atnid", "atnauthor", "atndate", "comment", "private",
              "template", "txe", "xe", "tc", "objdata", "objclass", "objname", "pgdsctbl",
              "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl",
              "pnseclvl", "fname", "falt", "panose", "blipuid", "picprop", "bkmkstart",
              "bkmkend", "title", "subject", "author", "operator", "keywords", "doccomm",
              "mmathPr", "shpinst", "sp", "sn", "sv"})
            t.emplace(w, WordInfo{wSkip});
        // clang-format on
        return t;
    }();
    return table;
}

enum class CharClass : std::uint8_t { Low, DoubleByte, RightToLeft };

struct CharState {
    int Font = -1; // \fN; -1: the default font
    int HalfPoints = 24;
    int ColorIndex = 0; // 0: automatic
    int BackIndex = 0;
    int OffsetTwips = 0;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false, Protected = false;
    // Double-byte overrides; unset: -1 (font -2).
    CharClass Class = CharClass::Low;
    std::int8_t DbBold = -1, DbItalic = -1;
    int DbHalfPoints = -1, DbFont = -2;
    bool operator==(const CharState&) const = default;

    // The state text takes: overrides applied, nothing left that would split equal runs.
    CharState Effective() const {
        CharState e = *this;
        if (Class == CharClass::DoubleByte) {
            if (DbBold >= 0) e.Bold = DbBold != 0;
            if (DbItalic >= 0) e.Italic = DbItalic != 0;
            if (DbHalfPoints >= 0) e.HalfPoints = DbHalfPoints;
            if (DbFont >= -1) e.Font = DbFont;
        }
        e.Class = CharClass::Low;
        e.DbBold = e.DbItalic = -1;
        e.DbHalfPoints = -1;
        e.DbFont = -2;
        return e;
    }
};

struct ParaState {
    int Alignment = 1;
    int Numbering = 0;
    int Li = 0, Ri = 0, Fi = 0, Sb = 0, Sa = 0;
    int TabCount = 0;
    std::array<int, rtf::kMaxTabStops> Tabs{};
};

struct Group {
    CharState Chr;
    ParaState Para;
    int Uc = 1;
    Dest Destination = Dest::Text;
    bool InResult = false;  // inside an object's \result
    bool Ignorable = false; // \* seen: an unknown next word skips the group
    std::size_t Start = 0;  // offset of the group's '{'
};

struct FontEntry {
    std::u16string Name;
    std::string Face; // the name as UTF-8, cut to what a face name holds
    int Charset = 1;
    int CodePage = 0; // \cpg; 0 when the charset decides
};

struct Color {
    bool Auto = true;
    TColor Value = 0;
};

int clampInt(long long v, long long lo, long long hi) {
    return static_cast<int>(std::clamp(v, lo, hi));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Unpaired surrogates become U+FFFD, so the text always converts to UTF-8; a U+FFFC that names
// no picture or object too, so that it cannot be mistaken for one.
void sanitize(std::u16string& text) {
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char16_t c = text[k];
        if (c >= 0xD800 && c <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] <= 0xDFFF) {
            ++k;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c == kObjectChar) {
            text[k] = kReplacementChar;
        }
    }
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool Read(TRichContent& out, std::string* error);

private:
    // ---- scanning
    // Skips the rest of the group whose '{' came before i_; leaves i_ after its '}' (or at the
    // end: false). Escaped braces and \bin data do not count.
    bool skipGroup();
    // The rest of the current group skipped, and the group ended as its '}' ends it.
    void skipRestOfGroup() {
        if (skipGroup()) endGroup();
    }
    // Reads a control word at i_ (just after the backslash): name and parameter.
    void readWord(std::string_view& name, bool& hasParam, long long& param);
    std::size_t binLength(long long param) const {
        const long long left = static_cast<long long>(s_.size() - i_);
        return static_cast<std::size_t>(std::clamp(param, 0LL, left));
    }

    // ---- groups
    void openGroup();
    // Ends the current group; its '}' is just before i_.
    void endGroup();
    Group& top() { return stack_.back(); }

    // ---- words and text
    void handleWord(std::string_view name, bool hasParam, long long param);
    void handleCharWord(Word w, bool hasParam, long long param);
    void handleParaWord(Word w, bool hasParam, long long param);
    void handlePictWord(Word w, bool hasParam, long long param);
    void textByte(char c, bool escaped = false);
    void textChar(char16_t c);
    void flush();
    void flushFontName();

    // ---- content
    int codePageOf(const CharState& chr) const;
    const FontEntry* fontOf(int number) const;
    TRichCharFormat formatOf(const CharState& chr) const;
    TRichParaFormat paraFormatOf(const ParaState& p) const;
    void appendText(std::u16string_view text);
    void appendCellTabs();
    void appendSpecialRun(const CharState& chr, int picture, int object);
    void endParagraph();
    void endFontEntry();
    void finishPicture();
    void finishObject(std::size_t end);
    bool knownCodePage(int cp);

    std::string_view s_;
    std::size_t i_ = 0;
    std::size_t wordStart_ = 0; // offset of the current control word's backslash
    std::vector<Group> stack_;
    TRichContent* out_ = nullptr;
    int documentCodePage_ = kAnsiCodePage;
    int defaultFont_ = 0;
    int skip_ = 0; // fallback characters still to skip after \uN
    std::unordered_map<int, bool> codePages_;

    std::unordered_map<int, FontEntry> fonts_;
    bool fontOpen_ = false;
    int fontNumber_ = 0;
    std::size_t fontDepth_ = 0;
    FontEntry font_;
    std::string fontBytes_;

    std::vector<Color> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSeen_ = false;

    std::string pending_; // text bytes waiting to be decoded together

    TRichParagraph para_;
    std::vector<CharState> runStates_;
    int pendingCells_ = 0;

    std::size_t pictDepth_ = 0; // stack size of the open \pict group, 0: none
    enum class PictTarget { None, Text, Result } pictTarget_ = PictTarget::None;
    TRichPicture pict_;
    int picScaleX_ = 100, picScaleY_ = 100, picGoalW_ = -1, picGoalH_ = -1;
    int hexHigh_ = -1;

    std::size_t objectDepth_ = 0; // stack size of the open \object group, 0: none
    std::size_t objectStart_ = 0;
    TRichObject object_;
    bool ended_ = false; // the document's group closed
};

bool Reader::knownCodePage(int cp) {
    auto it = codePages_.find(cp);
    if (it == codePages_.end()) it = codePages_.emplace(cp, rtf::IsKnownCodePage(cp)).first;
    return it->second;
}

bool Reader::skipGroup() {
    int depth = 1;
    while (i_ < s_.size()) {
        const char c = s_[i_++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0) return true;
        } else if (c == '\\' && i_ < s_.size()) {
            if (!isLetter(s_[i_])) {
                ++i_; // a control symbol, escaped braces included
                continue;
            }
            std::string_view name;
            bool hasParam;
            long long param;
            readWord(name, hasParam, param);
            if (name == "bin" && hasParam) i_ += binLength(param);
        }
    }
    return false;
}

void Reader::readWord(std::string_view& name, bool& hasParam, long long& param) {
    const std::size_t start = i_;
    while (i_ < s_.size() && isLetter(s_[i_]))
        ++i_;
    name = s_.substr(start, i_ - start);
    hasParam = false;
    param = 0;
    bool negative = false;
    if (i_ < s_.size() && s_[i_] == '-' && i_ + 1 < s_.size() && isDigit(s_[i_ + 1])) {
        negative = true;
        ++i_;
    }
    while (i_ < s_.size() && isDigit(s_[i_])) {
        hasParam = true;
        // Saturates: every use clamps to a far smaller range.
        if (param < 10'000'000'000LL) param = param * 10 + (s_[i_] - '0');
        ++i_;
    }
    if (negative) param = -param;
    if (i_ < s_.size() && s_[i_] == ' ') ++i_;
}

void Reader::openGroup() {
    flush();
    skip_ = 0;
    ++i_;
    if (stack_.size() >= kMaxDepth) {
        skipGroup();
        return;
    }
    stack_.push_back(stack_.back());
    top().Ignorable = false;
    top().Start = i_ - 1;
}

void Reader::endGroup() {
    flush();
    skip_ = 0;
    const std::size_t depth = stack_.size();
    const Dest dest = top().Destination;
    if (dest == Dest::FontTable && fontOpen_ && fontDepth_ == depth) endFontEntry();
    if (dest == Dest::ColorTable && colorSeen_) textByte(';');
    if (pictDepth_ == depth) finishPicture();
    if (objectDepth_ == depth) finishObject(i_);
    if (depth == 2) {
        // The document's own group: its state at the end formats the last paragraph.
        endParagraph();
        ended_ = true;
    }
    stack_.pop_back();
}

void Reader::flushFontName() {
    if (fontBytes_.empty()) return;
    const int cp =
        font_.CodePage ? font_.CodePage : rtf::CodePageOfCharset(font_.Charset, documentCodePage_);
    font_.Name += Utf8ToUtf16(CodePageToUtf8Lossy(fontBytes_, cp));
    fontBytes_.clear();
}

void Reader::endFontEntry() {
    flushFontName();
    // Blanks around the name are the writer's layout, not part of the face; the face is cut to
    // what a face name holds, and not inside a surrogate pair.
    const auto notBlank = [](char16_t c) { return c > u' '; };
    const std::u16string& name = font_.Name;
    std::u16string face(std::find_if(name.begin(), name.end(), notBlank), name.end());
    if (face.size() > kMaxFaceLength) {
        face.resize(kMaxFaceLength);
        if (face.back() >= 0xD800 && face.back() <= 0xDBFF) face.pop_back();
    }
    face.erase(std::find_if(face.rbegin(), face.rend(), notBlank).base(), face.end());
    sanitize(face);
    font_.Face = Utf16ToUtf8(face);
    font_.Name.clear();
    fonts_.emplace(fontNumber_, std::move(font_));
    font_ = FontEntry();
    fontOpen_ = false;
}

void Reader::textByte(char c, bool escaped) {
    switch (top().Destination) {
    case Dest::Text:
        pending_ += c;
        break;
    case Dest::FontTable:
        if (!fontOpen_) break;
        if (c == ';' && !escaped) {
            endFontEntry();
        } else {
            fontBytes_ += c;
        }
        break;
    case Dest::ColorTable:
        if (c == ';') {
            colors_.push_back(colorSeen_ ? Color{false, RGB(red_, green_, blue_)} : Color{});
            red_ = green_ = blue_ = 0;
            colorSeen_ = false;
        }
        break;
    case Dest::Pict: {
        const int v = hexValue(c);
        if (v < 0) break;
        if (hexHigh_ < 0) {
            hexHigh_ = v;
        } else {
            pict_.Bytes += static_cast<char>(hexHigh_ << 4 | v);
            hexHigh_ = -1;
        }
        break;
    }
    case Dest::Hidden:
    case Dest::Bullet:
        break;
    }
}

void Reader::textChar(char16_t c) {
    switch (top().Destination) {
    case Dest::Text:
        if (c == u'\r' || c == u'\n' || c == 0x0B) {
            endParagraph(); // as \par: a paragraph's text holds no line break
            break;
        }
        flush();
        appendText(std::u16string_view(&c, 1));
        break;
    case Dest::FontTable:
        if (!fontOpen_) break;
        flushFontName();
        font_.Name += c;
        break;
    default:
        break;
    }
}

int Reader::codePageOf(const CharState& chr) const {
    const FontEntry* f = fontOf(chr.Font);
    if (!f) return documentCodePage_;
    if (f->CodePage) return f->CodePage;
    return rtf::CodePageOfCharset(f->Charset, documentCodePage_);
}

const FontEntry* Reader::fontOf(int number) const {
    auto it = fonts_.find(number);
    if (it == fonts_.end()) it = fonts_.find(defaultFont_);
    return it == fonts_.end() ? nullptr : &it->second;
}

void Reader::flush() {
    if (pending_.empty()) return;
    bool ascii = true;
    for (const char c : pending_)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    const std::u16string text =
        ascii ? std::u16string(pending_.begin(), pending_.end())
              : Utf8ToUtf16(CodePageToUtf8Lossy(pending_, codePageOf(top().Chr.Effective())));
    pending_.clear();
    // A line break given as \'0d and the like ends the paragraph, as everywhere else.
    std::size_t from = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != u'\r' && text[k] != u'\n' && text[k] != 0x0B) continue;
        appendText(std::u16string_view(text).substr(from, k - from));
        endParagraph();
        from = k + 1;
    }
    appendText(std::u16string_view(text).substr(from));
}

TRichCharFormat Reader::formatOf(const CharState& chr) const {
    TRichCharFormat f;
    f.Mask = kReadCharMask;
    f.Bold = chr.Bold;
    f.Italic = chr.Italic;
    f.Underline = chr.Underline;
    f.StrikeOut = chr.StrikeOut;
    f.Protected = chr.Protected;
    f.Weight = chr.Bold ? 700 : 400;
    f.HeightTwips = chr.HalfPoints * 10;
    f.OffsetTwips = chr.OffsetTwips;
    const auto color = [&](int index) -> Color {
        return index > 0 && static_cast<std::size_t>(index) < colors_.size() ? colors_[index]
                                                                             : Color{};
    };
    const Color fore = color(chr.ColorIndex);
    f.AutoColor = fore.Auto;
    f.Color = fore.Value;
    const Color back = color(chr.BackIndex);
    f.AutoBackColor = back.Auto;
    f.BackColor = back.Auto ? clWhite : back.Value;
    if (const FontEntry* font = fontOf(chr.Font)) {
        f.Face = font->Face;
        f.Charset = static_cast<std::uint8_t>(font->Charset);
    }
    return f;
}

TRichParaFormat Reader::paraFormatOf(const ParaState& p) const {
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmAll;
    f.Alignment = p.Alignment;
    f.Numbering = p.Numbering;
    f.StartIndent = p.Li + p.Fi;
    f.Offset = -p.Fi;
    f.RightIndent = p.Ri;
    f.SpaceBefore = p.Sb;
    f.SpaceAfter = p.Sa;
    f.TabStops.assign(p.Tabs.begin(), p.Tabs.begin() + p.TabCount);
    return f;
}

// A cell's end is known at \cell, but whether another cell follows only at the next content
// or \cell: the tab that separates them goes in then, so a row ends without one.
void Reader::appendCellTabs() {
    if (pendingCells_ == 0) return;
    const std::u16string tabs(static_cast<std::size_t>(pendingCells_), u'\t');
    pendingCells_ = 0;
    appendText(tabs);
}

void Reader::appendText(std::u16string_view text) {
    if (text.empty()) return;
    appendCellTabs();
    const CharState chr = top().Chr.Effective();
    if (para_.Runs.empty() || para_.Runs.back().Picture >= 0 || para_.Runs.back().Object >= 0 ||
        !(runStates_.back() == chr)) {
        para_.Runs.push_back(TRichRun{{}, formatOf(chr)});
        runStates_.push_back(chr);
    }
    para_.Runs.back().Text.append(text);
}

void Reader::appendSpecialRun(const CharState& chr, int picture, int object) {
    flush();
    appendCellTabs();
    para_.Runs.push_back(TRichRun{std::u16string(1, kObjectChar), formatOf(chr), picture, object});
    runStates_.push_back(chr);
}

void Reader::endParagraph() {
    flush();
    pendingCells_ = 0;
    for (TRichRun& run : para_.Runs)
        if (run.Picture < 0 && run.Object < 0) sanitize(run.Text);
    para_.Format = paraFormatOf(top().Para);
    out_->Paragraphs.push_back(std::move(para_));
    para_ = TRichParagraph();
    runStates_.clear();
}

void Reader::finishPicture() {
    pictDepth_ = 0;
    hexHigh_ = -1; // an odd digit at the end carries no byte
    TRichPicture& p = pict_;
    const bool metafile = p.Type == TRichPicture::pkWmf || p.Type == TRichPicture::pkEmf;
    // Without a goal the natural size: metafile extents are in 0.01 mm, bitmaps at 96 dpi.
    const auto natural = [&](int pixels) {
        return metafile ? static_cast<int>(static_cast<long long>(pixels) * 1440 / 2540)
                        : pixels * 15;
    };
    const int goalW = picGoalW_ >= 0 ? picGoalW_ : natural(p.PixelWidth);
    const int goalH = picGoalH_ >= 0 ? picGoalH_ : natural(p.PixelHeight);
    p.WidthTwips =
        clampInt(static_cast<long long>(goalW) * picScaleX_ / 100, 0, rtf::kMaxPictureTwips);
    p.HeightTwips =
        clampInt(static_cast<long long>(goalH) * picScaleY_ / 100, 0, rtf::kMaxPictureTwips);
    if (pictTarget_ == PictTarget::Text) {
        out_->Pictures.push_back(std::move(p));
        appendSpecialRun(top().Chr.Effective(), static_cast<int>(out_->Pictures.size() - 1), -1);
    } else if (pictTarget_ == PictTarget::Result && objectDepth_ && !object_.Result) {
        object_.Result = std::move(p);
    }
    pict_ = TRichPicture();
    pictTarget_ = PictTarget::None;
}

void Reader::finishObject(std::size_t end) {
    objectDepth_ = 0;
    object_.Group.assign(s_.substr(objectStart_, end - objectStart_));
    out_->Objects.push_back(std::move(object_));
    // The format around the group: words inside it belong to the object's own content.
    appendSpecialRun(stack_[stack_.size() - 2].Chr.Effective(), -1,
                     static_cast<int>(out_->Objects.size() - 1));
    object_ = TRichObject();
}

void Reader::handleCharWord(Word w, bool hasParam, long long param) {
    CharState& c = top().Chr;
    const bool on = !hasParam || param != 0;
    switch (w) {
    case wPlain:
        c = CharState();
        break;
    case wB:
        c.Bold = on;
        break;
    case wI:
        c.Italic = on;
        break;
    case wUl:
        c.Underline = on;
        break;
    case wUlnone:
        c.Underline = false;
        break;
    case wStrike:
        c.StrikeOut = on;
        break;
    case wProtect:
        c.Protected = on;
        break;
    case wFs:
        c.HalfPoints = hasParam ? clampInt(param, 1, rtf::kMaxHalfPoints) : 24;
        break;
    case wF:
    case wAssocFont: {
        // One state per face, so equal formats make one run.
        const int number = clampInt(param, -1, 1 << 30);
        const int font = number != defaultFont_ && fonts_.count(number) ? number : -1;
        if (w == wF)
            c.Font = font;
        else if (c.Class == CharClass::DoubleByte)
            c.DbFont = font;
        break;
    }
    case wLowChars:
        c.Class = CharClass::Low;
        break;
    case wDoubleByteChars:
        c.Class = CharClass::DoubleByte;
        break;
    case wRightToLeftChars:
        c.Class = CharClass::RightToLeft;
        break;
    case wAssocBold:
        if (c.Class == CharClass::DoubleByte) c.DbBold = on;
        break;
    case wAssocItalic:
        if (c.Class == CharClass::DoubleByte) c.DbItalic = on;
        break;
    case wAssocSize:
        if (c.Class == CharClass::DoubleByte)
            c.DbHalfPoints = hasParam ? clampInt(param, 1, rtf::kMaxHalfPoints) : 24;
        break;
    case wCf:
    case wHighlight: {
        const int index = clampInt(param, 0, 1 << 30);
        const bool valid = static_cast<std::size_t>(index) < colors_.size() && !colors_[index].Auto;
        (w == wCf ? c.ColorIndex : c.BackIndex) = valid ? index : 0;
        break;
    }
    case wSuper:
    case wSub: {
        const int amount = std::max(10, c.HalfPoints * 10 / 3 / 10 * 10);
        c.OffsetTwips = w == wSuper ? amount : -amount;
        break;
    }
    case wNoSuperSub:
        c.OffsetTwips = 0;
        break;
    case wUp:
    case wDn: {
        const int amount =
            hasParam ? clampInt(param, -rtf::kMaxHalfPoints, rtf::kMaxHalfPoints) : 6;
        c.OffsetTwips = (w == wUp ? amount : -amount) * 10;
        break;
    }
    default:
        break;
    }
}

void Reader::handleParaWord(Word w, bool hasParam, long long param) {
    ParaState& p = top().Para;
    const int twips = clampInt(param, -rtf::kMaxTwips, rtf::kMaxTwips);
    switch (w) {
    case wPard:
        p = ParaState();
        break;
    case wQl:
        p.Alignment = 1;
        break;
    case wQr:
        p.Alignment = 2;
        break;
    case wQc:
        p.Alignment = 3;
        break;
    case wQj:
        p.Alignment = 4;
        break;
    case wLi:
        p.Li = twips;
        break;
    case wRi:
        p.Ri = twips;
        break;
    case wFi:
        p.Fi = twips;
        break;
    case wSb:
        p.Sb = std::max(0, twips);
        break;
    case wSa:
        p.Sa = std::max(0, twips);
        break;
    case wTx:
        if (hasParam && p.TabCount < rtf::kMaxTabStops) p.Tabs[p.TabCount++] = std::max(0, twips);
        break;
    case wLs:
        p.Numbering = param > 0 ? 1 : 0;
        break;
    default:
        break;
    }
}

void Reader::handlePictWord(Word w, bool hasParam, long long param) {
    const int pixels = clampInt(param, 0, rtf::kMaxPicturePixels);
    const int twips = clampInt(param, 0, rtf::kMaxPictureTwips);
    switch (w) {
    case wPng:
        pict_.Type = TRichPicture::pkPng;
        break;
    case wJpeg:
        pict_.Type = TRichPicture::pkJpeg;
        break;
    case wDib:
        pict_.Type = TRichPicture::pkDib;
        break;
    case wWmf:
        pict_.Type = TRichPicture::pkWmf;
        break;
    case wEmf:
        pict_.Type = TRichPicture::pkEmf;
        break;
    case wOtherPicture:
        pict_.Type = TRichPicture::pkUnknown;
        break;
    case wPicW:
        pict_.PixelWidth = pixels;
        break;
    case wPicH:
        pict_.PixelHeight = pixels;
        break;
    case wPicWGoal:
        picGoalW_ = twips;
        break;
    case wPicHGoal:
        picGoalH_ = twips;
        break;
    case wPicScaleX:
        picScaleX_ = hasParam ? clampInt(param, 1, 1000) : 100;
        break;
    case wPicScaleY:
        picScaleY_ = hasParam ? clampInt(param, 1, 1000) : 100;
        break;
    default:
        break;
    }
}

void Reader::handleWord(std::string_view name, bool hasParam, long long param) {
    const auto& table = wordTable();
    const auto found = name.size() <= kMaxWordLength ? table.find(name) : table.end();
    const WordInfo info = found == table.end() ? WordInfo{wUnknown} : found->second;
    Group& g = top();
    const Dest dest = g.Destination;

    if (g.Ignorable) {
        // "{\*\word": a destination we may not know. Bullet definitions and the picture of a
        // shape are read; everything else is skipped.
        g.Ignorable = false;
        const bool known =
            (info.Id == wPn || info.Id == wShpPict) && (dest == Dest::Text || dest == Dest::Hidden);
        if (!known) {
            skipRestOfGroup();
            return;
        }
    }

    switch (info.Id) {
    case wUnknown:
        return;
    case wSkip:
        skipRestOfGroup();
        return;
    case wBin: {
        const std::size_t n = binLength(param);
        if (dest == Dest::Pict) pict_.Bytes.append(s_.substr(i_, n));
        i_ += n;
        return;
    }
    case wU:
        if (param >= -32768 && param <= 65535)
            textChar(static_cast<char16_t>(param < 0 ? param + 65536 : param));
        skip_ = g.Uc;
        return;
    case wUc:
        g.Uc = clampInt(param, 0, 16);
        return;
    default:
        break;
    }

    switch (dest) {
    case Dest::FontTable:
        if (info.Id == wF) {
            if (fontOpen_) endFontEntry();
            fontOpen_ = true;
            fontNumber_ = clampInt(param, -1, 1 << 30);
            fontDepth_ = stack_.size();
        } else if (fontOpen_ && info.Id == wCharset) {
            font_.Charset = clampInt(param, 0, 255);
        } else if (fontOpen_ && info.Id == wCpg) {
            const int cp = clampInt(param, 0, 65535);
            if (knownCodePage(cp)) font_.CodePage = cp;
        }
        return;
    case Dest::ColorTable:
        if (info.Id == wRed || info.Id == wGreen || info.Id == wBlue) {
            const int v = clampInt(param, 0, 255);
            (info.Id == wRed ? red_ : info.Id == wGreen ? green_ : blue_) = v;
            colorSeen_ = true;
        }
        return;
    case Dest::Pict:
        handlePictWord(info.Id, hasParam, param);
        return;
    case Dest::Bullet:
        if (info.Id == wPnLevelCont) stack_[stack_.size() - 2].Para.Numbering = 0;
        return;
    case Dest::Text:
    case Dest::Hidden:
        break;
    }

    switch (info.Id) {
    case wAnsi:
        return;
    case wAnsicpg:
        if (stack_.size() <= 2 && knownCodePage(clampInt(param, 0, 65535)))
            documentCodePage_ = out_->CodePage = static_cast<int>(param);
        return;
    case wPc:
    case wPca:
        if (stack_.size() <= 2) documentCodePage_ = out_->CodePage = info.Id == wPc ? 437 : 850;
        return;
    case wDeff:
        if (stack_.size() <= 2) defaultFont_ = clampInt(param, 0, 1 << 30);
        return;
    case wFontTable:
    case wColorTable:
        // Only the document's own tables: one inside an object or elsewhere would renumber the
        // document's fonts and colours behind its back.
        if (stack_.size() != 3 || objectDepth_) {
            skipRestOfGroup();
        } else if (info.Id == wFontTable) {
            g.Destination = Dest::FontTable;
        } else {
            g.Destination = Dest::ColorTable;
            colors_.clear();
        }
        return;
    case wPict:
        if (pictDepth_) return;
        pictDepth_ = stack_.size();
        pictTarget_ = dest == Dest::Text ? PictTarget::Text
                      : g.InResult       ? PictTarget::Result
                                         : PictTarget::None;
        pict_ = TRichPicture();
        picScaleX_ = picScaleY_ = 100;
        picGoalW_ = picGoalH_ = -1;
        hexHigh_ = -1;
        g.Destination = Dest::Pict;
        return;
    case wObject:
        // Only "{\object": the group is kept whole and read again as the same object.
        if (wordStart_ != g.Start + 1) return;
        if (objectDepth_ || dest != Dest::Text) {
            skipRestOfGroup();
            return;
        }
        objectDepth_ = stack_.size();
        objectStart_ = g.Start;
        object_ = TRichObject();
        g.Destination = Dest::Hidden;
        return;
    case wObjW:
    case wObjH:
        if (objectDepth_)
            (info.Id == wObjW ? object_.WidthTwips : object_.HeightTwips) =
                clampInt(param, 0, rtf::kMaxPictureTwips);
        return;
    case wResult:
        if (objectDepth_) g.InResult = true;
        return;
    case wPn:
        // A bullet definition sets the paragraph around it; inside an object it belongs to
        // the object's own content.
        if (stack_.size() > 2 && dest == Dest::Text && !objectDepth_) {
            stack_[stack_.size() - 2].Para.Numbering = 1;
            g.Destination = Dest::Bullet;
        } else {
            skipRestOfGroup();
        }
        return;
    case wShpPict:
        return;
    case wChar:
        textChar(info.Char);
        return;
    case wTab:
        textChar(u'\t');
        return;
    case wPar:
        if (dest == Dest::Text) endParagraph();
        return;
    case wCell:
        if (dest == Dest::Text) {
            appendCellTabs();
            pendingCells_ = 1;
        }
        return;
    case wRow:
        if (dest == Dest::Text) {
            pendingCells_ = 0;
            endParagraph();
        }
        return;
    default:
        break;
    }
    handleCharWord(info.Id, hasParam, param);
    handleParaWord(info.Id, hasParam, param);
}

bool Reader::Read(TRichContent& out, std::string* error) {
    if (s_.substr(0, 5) != "{\\rtf") {
        if (error) *error = "Not an RTF document: the data does not start with \"{\\rtf\"";
        return false;
    }
    out = TRichContent();
    out_ = &out;
    stack_.reserve(kMaxDepth + 1);
    stack_.push_back(Group()); // outside the document: never popped by its bytes
    ++i_;
    stack_.push_back(Group());
    while (i_ < s_.size() && stack_.size() > 1) {
        const char c = s_[i_];
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            ++i_;
            endGroup();
        } else if (c == '\\') {
            wordStart_ = i_++;
            if (i_ >= s_.size()) break;
            const char d = s_[i_];
            if (isLetter(d)) {
                std::string_view name;
                bool hasParam;
                long long param;
                readWord(name, hasParam, param);
                if (skip_ > 0) {
                    --skip_;
                    if (name == "bin") i_ += binLength(param);
                    continue;
                }
                flush();
                handleWord(name, hasParam, param);
            } else if (d == '\'') {
                ++i_;
                int v = 0, digits = 0;
                while (digits < 2 && i_ < s_.size() && hexValue(s_[i_]) >= 0) {
                    v = v * 16 + hexValue(s_[i_++]);
                    ++digits;
                }
                if (skip_ > 0) {
                    --skip_;
                    continue;
                }
                if (digits == 2) textByte(static_cast<char>(v), true);
            } else {
                ++i_;
                if (skip_ > 0) {
                    --skip_;
                    continue;
                }
                switch (d) {
                case '\\':
                case '{':
                case '}':
                    textByte(d);
                    break;
                case '~':
                    flush();
                    textChar(0x00A0);
                    break;
                case '_':
                    flush();
                    textChar(0x2011);
                    break;
                case '*':
                    top().Ignorable = true;
                    break;
                case '\r':
                case '\n':
                    flush();
                    handleWord("par", false, 0);
                    break;
                default:
                    break; // \- \| \: and the rest show nothing
                }
            }
        } else {
            ++i_;
            if (c == '\r' || c == '\n') continue;
            if (skip_ > 0) {
                --skip_;
                continue;
            }
            if (c == '\t') {
                flush();
                textChar(u'\t');
            } else if (static_cast<unsigned char>(c) >= 0x20) {
                textByte(c);
            }
        }
    }
    if (!ended_) {
        // A cut: pictures and objects still open are incomplete; the text read so far stays.
        flush();
        pictDepth_ = 0;
        objectDepth_ = 0;
        if (fontOpen_) endFontEntry();
        while (stack_.size() > 2 && top().Destination != Dest::Text)
            stack_.pop_back();
        endParagraph();
    }
    stack_.clear();
    CharState plain;
    plain.Font = defaultFont_;
    out.DefaultFormat = formatOf(plain);
    return true;
}

} // namespace

bool ReadRtf(std::string_view bytes, TRichContent& out, std::string* error) {
    try {
        return Reader(bytes).Read(out, error);
    } catch (const Exception& e) {
        // Only a conversion the system's iconv refuses gets here.
        if (error) *error = "The RTF document cannot be read: " + e.Message();
        out = TRichContent();
        return false;
    }
}
