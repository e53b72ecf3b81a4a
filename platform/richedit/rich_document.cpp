#include "platform/richedit/rich_document.h"

#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <map>

#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/gui_application.h"
#include "platform/richedit/rich_document_p.h"

using namespace richdoc;
using CF = TRichCharFormat;
using PF = TRichParaFormat;

// ---------------------------------------------------------------- format conversions

namespace richdoc {

QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.constData()),
                          static_cast<std::size_t>(text.size()));
}

namespace {

QColor toQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor fromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

// Weight and bold are one thing in the model: bold is a weight of 600 or more.
constexpr int kBoldFrom = 600;

} // namespace

void ApplyCharFormat(QTextCharFormat& into, const TRichCharFormat& f, std::uint32_t mask) {
    if (mask & (CF::cfmWeight | CF::cfmBold)) {
        int weight = into.hasProperty(QTextFormat::FontWeight) ? into.fontWeight() : 400;
        if (mask & CF::cfmWeight) weight = std::clamp(f.Weight, 1, 1000);
        if (mask & CF::cfmBold) {
            if (f.Bold && weight < kBoldFrom) weight = 700;
            if (!f.Bold && weight >= kBoldFrom) weight = 400;
        }
        into.setFontWeight(weight);
    }
    if (mask & CF::cfmItalic) into.setFontItalic(f.Italic);
    if (mask & CF::cfmUnderline) into.setFontUnderline(f.Underline);
    if (mask & CF::cfmStrikeOut) into.setFontStrikeOut(f.StrikeOut);
    if (mask & CF::cfmProtected) into.setProperty(kProtected, f.Protected);
    if (mask & CF::cfmLink) into.setProperty(kLink, f.Link);
    if (mask & CF::cfmSize) into.setFontPointSize(std::max(1, f.HeightTwips) / 20.0);
    if (mask & CF::cfmColor) {
        if (f.AutoColor) {
            into.clearForeground();
            into.setProperty(kAutoColor, true);
        } else {
            into.setForeground(toQColor(f.Color));
            into.clearProperty(kAutoColor);
        }
    }
    if (mask & CF::cfmBackColor) {
        if (f.AutoBackColor) {
            into.clearBackground();
            into.setProperty(kAutoBackColor, true);
        } else {
            into.setBackground(toQColor(f.BackColor));
            into.clearProperty(kAutoBackColor);
        }
    }
    if (mask & CF::cfmFace) {
        into.setFontFamilies(QStringList{QString::fromStdString(f.Face)});
        into.setProperty(kPitchAndFamily, int{f.PitchAndFamily});
    }
    if (mask & CF::cfmCharset) into.setProperty(kCharset, int{f.Charset});
    if (mask & CF::cfmOffset) into.setProperty(kOffset, f.OffsetTwips);
}

TRichCharFormat EffectiveCharFormat(const QTextCharFormat& q, const TRichCharFormat& base) {
    TRichCharFormat r = base;
    r.Mask = CF::cfmAll;
    if (q.hasProperty(QTextFormat::FontWeight)) {
        r.Weight = q.fontWeight();
        r.Bold = r.Weight >= kBoldFrom;
    }
    if (q.hasProperty(QTextFormat::FontItalic)) r.Italic = q.fontItalic();
    if (q.hasProperty(QTextFormat::TextUnderlineStyle)) r.Underline = q.fontUnderline();
    if (q.hasProperty(QTextFormat::FontStrikeOut)) r.StrikeOut = q.fontStrikeOut();
    if (q.hasProperty(kProtected)) r.Protected = q.boolProperty(kProtected);
    if (q.hasProperty(kLink)) r.Link = q.boolProperty(kLink);
    if (q.hasProperty(QTextFormat::FontPointSize))
        r.HeightTwips = static_cast<int>(Round(q.fontPointSize() * 20));
    if (q.hasProperty(QTextFormat::ForegroundBrush)) {
        r.AutoColor = false;
        r.Color = fromQColor(q.foreground().color());
    } else if (q.hasProperty(kAutoColor)) {
        r.AutoColor = true;
    }
    if (q.hasProperty(QTextFormat::BackgroundBrush)) {
        r.AutoBackColor = false;
        r.BackColor = fromQColor(q.background().color());
    } else if (q.hasProperty(kAutoBackColor)) {
        r.AutoBackColor = true;
    }
    if (q.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = q.property(QTextFormat::FontFamilies).toStringList();
        if (!families.isEmpty()) r.Face = families.first().toStdString();
    }
    if (q.hasProperty(kPitchAndFamily))
        r.PitchAndFamily = static_cast<std::uint8_t>(q.intProperty(kPitchAndFamily));
    if (q.hasProperty(kCharset)) r.Charset = static_cast<std::uint8_t>(q.intProperty(kCharset));
    if (q.hasProperty(kOffset)) r.OffsetTwips = q.intProperty(kOffset);
    return r;
}

std::uint32_t SharedCharFields(const TRichCharFormat& a, const TRichCharFormat& b) {
    std::uint32_t m = 0;
    if (a.Bold == b.Bold) m |= CF::cfmBold;
    if (a.Italic == b.Italic) m |= CF::cfmItalic;
    if (a.Underline == b.Underline) m |= CF::cfmUnderline;
    if (a.StrikeOut == b.StrikeOut) m |= CF::cfmStrikeOut;
    if (a.Protected == b.Protected) m |= CF::cfmProtected;
    if (a.Link == b.Link) m |= CF::cfmLink;
    if (a.HeightTwips == b.HeightTwips) m |= CF::cfmSize;
    if (a.AutoColor == b.AutoColor && (a.AutoColor || a.Color == b.Color)) m |= CF::cfmColor;
    if (a.AutoBackColor == b.AutoBackColor && (a.AutoBackColor || a.BackColor == b.BackColor))
        m |= CF::cfmBackColor;
    if (a.Face == b.Face && a.PitchAndFamily == b.PitchAndFamily) m |= CF::cfmFace;
    if (a.Charset == b.Charset) m |= CF::cfmCharset;
    if (a.OffsetTwips == b.OffsetTwips) m |= CF::cfmOffset;
    if (a.Weight == b.Weight) m |= CF::cfmWeight;
    return m;
}

QTextCharFormat TextOnly(const QTextCharFormat& format) {
    QTextCharFormat r = format;
    for (int p :
         {int{QTextFormat::ObjectType}, int{QTextFormat::ImageName}, int{QTextFormat::ImageWidth},
          int{QTextFormat::ImageHeight}, int{kPicture}, int{kObject}})
        r.clearProperty(p);
    return r;
}

void ApplyParaFormat(QTextBlockFormat& into, const TRichParaFormat& f, std::uint32_t mask) {
    if (mask & PF::pfmAlignment) {
        switch (f.Alignment) {
        case 2:
            into.setAlignment(Qt::AlignRight);
            break;
        case 3:
            into.setAlignment(Qt::AlignHCenter);
            break;
        case 4:
            into.setAlignment(Qt::AlignJustify);
            break;
        default:
            into.setAlignment(Qt::AlignLeft);
            break;
        }
    }
    if (mask & (PF::pfmStartIndent | PF::pfmOffset)) {
        TRichParaFormat now = ParaFormatOf(into);
        if (mask & PF::pfmStartIndent) now.StartIndent = f.StartIndent;
        if (mask & PF::pfmOffset) now.Offset = f.Offset;
        into.setLeftMargin(double(now.StartIndent) + now.Offset);
        into.setTextIndent(-double(now.Offset));
    }
    if (mask & PF::pfmRightIndent) into.setRightMargin(f.RightIndent);
    if (mask & PF::pfmSpaceBefore) into.setTopMargin(f.SpaceBefore);
    if (mask & PF::pfmSpaceAfter) into.setBottomMargin(f.SpaceAfter);
    if (mask & PF::pfmNumbering) into.setProperty(kNumbering, f.Numbering != 0 ? 1 : 0);
    if (mask & PF::pfmTabStops) {
        QList<QTextOption::Tab> tabs;
        for (std::size_t i = 0; i < f.TabStops.size() && i < 32; ++i)
            tabs.append(QTextOption::Tab(f.TabStops[i], QTextOption::LeftTab));
        into.setTabPositions(tabs);
    }
}

TRichParaFormat ParaFormatOf(const QTextBlockFormat& q) {
    TRichParaFormat r;
    r.Mask = PF::pfmAll;
    const Qt::Alignment a = q.alignment() & Qt::AlignHorizontal_Mask;
    r.Alignment = a & Qt::AlignRight ? 2 : a & Qt::AlignHCenter ? 3 : a & Qt::AlignJustify ? 4 : 1;
    r.Offset = static_cast<int>(-q.textIndent());
    r.StartIndent = static_cast<int>(q.leftMargin() + q.textIndent());
    r.RightIndent = static_cast<int>(q.rightMargin());
    r.SpaceBefore = static_cast<int>(q.topMargin());
    r.SpaceAfter = static_cast<int>(q.bottomMargin());
    r.Numbering = q.intProperty(kNumbering);
    for (const QTextOption::Tab& t : q.tabPositions())
        r.TabStops.push_back(static_cast<int>(t.position));
    return r;
}

std::uint32_t SharedParaFields(const TRichParaFormat& a, const TRichParaFormat& b) {
    std::uint32_t m = 0;
    if (a.Alignment == b.Alignment) m |= PF::pfmAlignment;
    if (a.Numbering == b.Numbering) m |= PF::pfmNumbering;
    if (a.StartIndent == b.StartIndent) m |= PF::pfmStartIndent;
    if (a.Offset == b.Offset) m |= PF::pfmOffset;
    if (a.RightIndent == b.RightIndent) m |= PF::pfmRightIndent;
    if (a.SpaceBefore == b.SpaceBefore) m |= PF::pfmSpaceBefore;
    if (a.SpaceAfter == b.SpaceAfter) m |= PF::pfmSpaceAfter;
    if (a.TabStops == b.TabStops) m |= PF::pfmTabStops;
    return m;
}

// ---------------------------------------------------------------- URL detection

namespace {

bool asciiStartsWithNoCase(std::u16string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
        if (c != static_cast<char16_t>(prefix[i])) return false;
    }
    return true;
}

bool isAsciiAlnum(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What may not be part of a URL: spaces and controls, the characters that quote or bracket one
// in running text, an embedded object, and the ideographic range, where no separator is needed.
bool endsUrl(char16_t c) {
    return c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == kObjectChar ||
           c == 0x3000 || (c >= 0x2E80 && c < 0xD800) || (c >= 0xFF00 && c <= 0xFFEF);
}

} // namespace

std::vector<std::pair<int, int>> FindUrls(std::u16string_view text) {
    static constexpr std::string_view kPrefixes[] = {"http://", "https://", "ftp://",
                                                     "www.",    "mailto:",  "file:"};
    std::vector<std::pair<int, int>> urls;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t prefix = 0;
        if (i == 0 || !isAsciiAlnum(text[i - 1])) {
            for (std::string_view p : kPrefixes)
                if (asciiStartsWithNoCase(text, i, p)) prefix = p.size();
        }
        if (prefix == 0) {
            ++i;
            continue;
        }
        std::size_t end = i + prefix;
        while (end < text.size() && !endsUrl(text[end]))
            ++end;
        // Punctuation closing a sentence is not part of the address.
        while (end > i + prefix &&
               std::u16string_view(u".,;:!?')]}").find(text[end - 1]) != std::u16string_view::npos)
            --end;
        if (end > i + prefix) urls.emplace_back(static_cast<int>(i), static_cast<int>(end));
        i = std::max(end, i + 1);
    }
    return urls;
}

} // namespace richdoc

// ---------------------------------------------------------------- Impl helpers

QTextCharFormat TRichDocument::Impl::FormatAt(int pos) const {
    const QTextBlock block = doc->findBlock(pos);
    if (!block.isValid()) return {};
    QTextCharFormat last = block.charFormat();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fr = it.fragment();
        if (pos < fr.position() + fr.length()) return fr.charFormat();
        last = fr.charFormat();
    }
    // The paragraph mark looks like the text before it.
    return last;
}

QTextCharFormat TRichDocument::Impl::InsertionFormat(int pos) const {
    if (pendingFormat) return *pendingFormat;
    return TextOnly(FormatAt(pos > 0 ? pos - 1 : 0));
}

namespace {

using Impl = TRichDocument::Impl;

void select(QTextCursor& cur, int start, int end) {
    cur.setPosition(start);
    cur.setPosition(end, QTextCursor::KeepAnchor);
}

std::unique_ptr<QTextDocument> newDocument() {
    auto doc = std::make_unique<QTextDocument>();
    doc->setUndoRedoEnabled(false);
    return doc;
}

// Puts a filled text document in place of the current one; an editor showing the current one
// moves over before it goes.
void adopt(Impl& d, std::unique_ptr<QTextDocument> doc) {
    if (d.documentReplacing) d.documentReplacing(doc.get());
    d.doc = std::move(doc);
}

// Calls fn(start, end, format) for every stretch of one format in [start, end), paragraph marks
// left out. The stretches are collected first, so fn may change the document.
template <typename Fn> void forEachStretch(const Impl& d, int start, int end, Fn fn) {
    struct Stretch {
        int start, end;
        QTextCharFormat format;
    };
    std::vector<Stretch> stretches;
    for (QTextBlock b = d.doc->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fr = it.fragment();
            const int s = std::max(start, fr.position());
            const int e = std::min(end, fr.position() + fr.length());
            if (s < e) stretches.push_back({s, e, fr.charFormat()});
        }
    }
    for (auto& s : stretches)
        fn(s.start, s.end, s.format);
}

bool isWordChar(char16_t c) {
    return QChar(c).isLetterOrNumber() || c == '_' || QChar::isSurrogate(c);
}

// Text may not carry what the document reads as structure: its own breaks are paragraph
// breaks, and the frame markers of the model underneath become replacement characters.
QString sanitize(std::u16string_view segment) {
    QString s = ToQString(segment);
    for (QChar& c : s)
        if (c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1) c = QChar(0xFFFD);
    return s;
}

// Inserts text at the cursor; CR, LF, CR LF and U+2029 start a new paragraph.
void insertPlain(QTextCursor& cur, std::u16string_view text, const QTextCharFormat& format) {
    std::size_t from = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool atEnd = i == text.size();
        const char16_t c = atEnd ? 0 : text[i];
        if (!atEnd && c != u'\r' && c != u'\n' && c != 0x2029) continue;
        if (i > from) cur.insertText(sanitize(text.substr(from, i - from)), format);
        if (atEnd) break;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        cur.insertBlock(cur.blockFormat(), format);
        from = i + 1;
    }
}

} // namespace

// ---------------------------------------------------------------- TRichDocument

// After the text changed: the selection is where the change leaves it before anyone hears of
// the change, then the change and a moved selection are reported.
static void textChanged(TRichDocument& self, Impl& d, int selStart, int selEnd) {
    const bool moved = selStart != d.selStart || selEnd != d.selEnd;
    d.selStart = selStart;
    d.selEnd = selEnd;
    d.pendingFormat.reset();
    if (self.OnChange) self.OnChange();
    if (moved && self.OnSelectionChange) self.OnSelectionChange();
}

TRichDocument::TRichDocument() : d_(std::make_unique<Impl>()) {
    EnsureGuiApplication();
    d_->doc = newDocument();
    d_->defaultFormat.Mask = CF::cfmAll;
}

TRichDocument::~TRichDocument() = default;

std::u16string TRichDocument::Text() const {
    return TextRange(0, Length());
}

int TRichDocument::Length() const {
    return d_->Length();
}

std::u16string TRichDocument::TextRange(int start, int end) const {
    const int len = Length();
    if (end < 0 || end > len) end = len;
    start = std::clamp(start, 0, len);
    if (start >= end) return {};
    std::u16string out;
    out.reserve(static_cast<std::size_t>(end - start));
    for (QTextBlock b = d_->doc->findBlock(start); b.isValid() && b.position() < end;
         b = b.next()) {
        const std::u16string text = FromQString(b.text());
        const int s = std::max(start, b.position()) - b.position();
        const int e = std::min(end, b.position() + static_cast<int>(text.size())) - b.position();
        if (s < e) out.append(text, static_cast<std::size_t>(s), static_cast<std::size_t>(e - s));
        const int mark = b.position() + static_cast<int>(text.size());
        if (mark >= start && mark < end) out.push_back(u'\r');
    }
    return out;
}

void TRichDocument::Clear() {
    auto& d = *d_;
    adopt(d, newDocument());
    d.pictures.clear();
    d.objects.clear();
    d.undo.clear();
    d.redo.clear();
    d.modified = false;
    textChanged(*this, d, 0, 0);
}

int TRichDocument::ParagraphCount() const {
    return d_->doc->blockCount();
}

int TRichDocument::ParagraphStart(int index) const {
    const QTextBlock b = d_->doc->findBlockByNumber(index);
    return index >= 0 && b.isValid() ? b.position() : -1;
}

int TRichDocument::ParagraphLength(int index) const {
    const QTextBlock b = d_->doc->findBlockByNumber(index);
    return index >= 0 && b.isValid() ? b.length() - 1 : 0;
}

int TRichDocument::ParagraphFromChar(int position) const {
    return d_->doc->findBlock(std::clamp(position, 0, Length())).blockNumber();
}

// ---- selection and editing

int TRichDocument::SelStart() const {
    return d_->selStart;
}
int TRichDocument::SelEnd() const {
    return d_->selEnd;
}

void TRichDocument::SetSelection(int start, int end) {
    auto& d = *d_;
    const int len = Length();
    if (end < 0 || end > len) end = len;
    start = std::clamp(start, 0, len);
    if (start > end) std::swap(start, end);
    if (start == d.selStart && end == d.selEnd) return;
    d.selStart = start;
    d.selEnd = end;
    d.pendingFormat.reset();
    if (OnSelectionChange) OnSelectionChange();
}

namespace {

bool isProtectedChar(const Impl& d, int pos) {
    if (pos < 0 || pos >= d.Length()) return false;
    const QTextBlock b = d.doc->findBlock(pos);
    if (pos == b.position() + b.length() - 1) return false; // a paragraph mark
    return d.Effective(d.FormatAt(pos)).Protected;
}

bool rangeProtected(const Impl& d, int start, int end) {
    // Typing inside protected text changes it; typing at its edge does not.
    if (start == end) return isProtectedChar(d, start - 1) && isProtectedChar(d, start);
    bool hit = false;
    forEachStretch(d, start, end, [&](int, int, const QTextCharFormat& f) {
        hit = hit || d.Effective(f).Protected;
    });
    return hit;
}

} // namespace

// Protected text changes only when the handler allows it; without a handler it does not.
static bool allowChange(const TRichDocument& doc, const Impl& d, int start, int end) {
    if (!rangeProtected(d, start, end)) return true;
    return doc.OnProtected && doc.OnProtected(start, end);
}

static Impl::Stretch capture(const Impl& d, int start, int end) {
    Impl::Stretch out;
    for (QTextBlock b = d.doc->findBlock(start); b.isValid(); b = b.next()) {
        out.blockFormats.push_back(b.blockFormat());
        out.blockCharFormats.push_back(b.charFormat());
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fr = it.fragment();
            const int s = std::max(start, fr.position());
            const int e = std::min(end, fr.position() + fr.length());
            if (s < e)
                out.pieces.push_back({fr.text().mid(s - fr.position(), e - s), fr.charFormat()});
        }
        const int mark = b.position() + b.length() - 1;
        if (mark >= end) break;
        if (mark >= start) out.pieces.push_back({{}, {}, true});
    }
    return out;
}

// Puts a captured stretch back at the cursor, its paragraphs with their own formats.
static void restore(Impl& d, QTextCursor& cur, const Impl::Stretch& stretch) {
    const int start = cur.position();
    for (const auto& piece : stretch.pieces) {
        if (piece.paragraphBreak)
            cur.insertBlock();
        else
            cur.insertText(piece.text, piece.format);
    }
    QTextBlock b = d.doc->findBlock(start);
    for (std::size_t i = 0; i < stretch.blockFormats.size() && b.isValid(); ++i, b = b.next()) {
        cur.setPosition(b.position());
        cur.setBlockFormat(stretch.blockFormats[i]);
        cur.setBlockCharFormat(stretch.blockCharFormats[i]);
    }
    cur.setPosition(start);
}

static Impl::Step beginStep(const Impl& d, int start, int end) {
    Impl::Step step;
    step.start = start;
    step.oldLength = end - start;
    step.old = capture(d, start, end);
    step.selStartBefore = d.selStart;
    step.selEndBefore = d.selEnd;
    return step;
}

static void finishStep(Impl& d, Impl::Step step, int newEnd, int selStart, int selEnd) {
    step.newLength = newEnd - step.start;
    step.selStartAfter = selStart;
    step.selEndAfter = selEnd;
    d.undo.push_back(std::move(step));
    while (static_cast<int>(d.undo.size()) > std::max(1, d.undoLimit))
        d.undo.pop_front();
    d.redo.clear();
}

static void dropUndo(Impl& d) {
    d.undo.clear();
    d.redo.clear();
}

bool TRichDocument::ReplaceSelection(std::u16string_view text, bool undoable) {
    auto& d = *d_;
    const int start = d.selStart, end = d.selEnd;
    if (!allowChange(*this, d, start, end)) return false;
    const QTextCharFormat format =
        start < end ? TextOnly(d.FormatAt(start)) : d.InsertionFormat(start);
    std::optional<Impl::Step> step;
    if (undoable)
        step = beginStep(d, start, end);
    else
        dropUndo(d);
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    select(cur, start, end);
    cur.removeSelectedText();
    insertPlain(cur, text, format);
    cur.endEditBlock();
    const int caret = cur.position();
    if (step) finishStep(d, std::move(*step), caret, caret, caret);
    d.modified = true;
    textChanged(*this, d, caret, caret);
    return true;
}

bool TRichDocument::CanUndo() const {
    return !d_->undo.empty();
}

// Takes the last step of `from` back and files its inverse in `to`.
static bool applyStep(TRichDocument& self, Impl& d, std::deque<Impl::Step>& from,
                      std::deque<Impl::Step>& to) {
    if (from.empty()) return false;
    Impl::Step step = std::move(from.back());
    from.pop_back();
    const int end = step.start + step.newLength;
    Impl::Step inverse;
    inverse.start = step.start;
    inverse.oldLength = step.newLength;
    inverse.newLength = step.oldLength;
    inverse.old = capture(d, step.start, end);
    inverse.selStartBefore = step.selStartAfter;
    inverse.selEndBefore = step.selEndAfter;
    inverse.selStartAfter = step.selStartBefore;
    inverse.selEndAfter = step.selEndBefore;
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    select(cur, step.start, end);
    cur.removeSelectedText();
    restore(d, cur, step.old);
    cur.endEditBlock();
    to.push_back(std::move(inverse));
    d.modified = true;
    textChanged(self, d, step.selStartBefore, step.selEndBefore);
    return true;
}

bool TRichDocument::Undo() {
    return applyStep(*this, *d_, d_->undo, d_->redo);
}
bool TRichDocument::Redo() {
    return applyStep(*this, *d_, d_->redo, d_->undo);
}

void TRichDocument::SetUndoLimit(int limit) {
    auto& d = *d_;
    d.undoLimit = std::max(0, limit);
    while (static_cast<int>(d.undo.size()) > std::max(1, d.undoLimit))
        d.undo.pop_front();
}

int TRichDocument::UndoLimit() const {
    return d_->undoLimit;
}
bool TRichDocument::Modified() const {
    return d_->modified;
}
void TRichDocument::SetModified(bool value) {
    d_->modified = value;
}

// ---- formats

namespace {

// The range a scope acts on: the selection, or for the word scope at an empty selection the
// word around the caret (empty when the caret is not in or at a word).
std::pair<int, int> scopeRange(const Impl& d, TRichDocument::Scope scope) {
    int start = d.selStart, end = d.selEnd;
    if (scope != TRichDocument::scWord || start != end) return {start, end};
    const QTextBlock b = d.doc->findBlock(start);
    const std::u16string text = FromQString(b.text());
    int s = start - b.position(), e = s;
    while (s > 0 && isWordChar(text[static_cast<std::size_t>(s - 1)]))
        --s;
    while (e < static_cast<int>(text.size()) && isWordChar(text[static_cast<std::size_t>(e)]))
        ++e;
    return {b.position() + s, b.position() + e};
}

} // namespace

TRichCharFormat TRichDocument::CharFormat(Scope scope) const {
    const auto& d = *d_;
    if (scope == scDefault) return d.defaultFormat;
    const auto [start, end] = scopeRange(d, scope);
    if (start == end) return d.Effective(d.InsertionFormat(start));
    std::optional<TRichCharFormat> first;
    std::uint32_t mask = CF::cfmAll;
    forEachStretch(d, start, end, [&](int, int, const QTextCharFormat& f) {
        const TRichCharFormat e = d.Effective(f);
        if (!first)
            first = e;
        else
            mask &= SharedCharFields(*first, e);
    });
    // A range of paragraph marks only reads as the text before them.
    TRichCharFormat result = first ? *first : d.Effective(d.FormatAt(start));
    result.Mask = mask;
    return result;
}

void TRichDocument::SetCharFormat(Scope scope, const TRichCharFormat& format) {
    auto& d = *d_;
    const std::uint32_t mask = format.Mask & CF::cfmAll;
    if (mask == 0) return;
    if (scope == scDefault) {
        QTextCharFormat q;
        ApplyCharFormat(q, d.defaultFormat, CF::cfmAll);
        ApplyCharFormat(q, format, mask);
        d.defaultFormat = EffectiveCharFormat(q, d.defaultFormat);
        d.modified = true;
        return;
    }
    const auto [start, end] = scopeRange(d, scope);
    if (start == end) {
        QTextCharFormat pending = d.InsertionFormat(start);
        ApplyCharFormat(pending, format, mask);
        d.pendingFormat = pending;
        return;
    }
    // Taking protection off is always allowed; anything else on protected text is asked.
    if ((mask & ~CF::cfmProtected) && !allowChange(*this, d, start, end)) return;
    Impl::Step step = beginStep(d, start, end);
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    forEachStretch(d, start, end, [&](int s, int e, const QTextCharFormat& f) {
        QTextCharFormat changed = f;
        ApplyCharFormat(changed, format, mask);
        select(cur, s, e);
        cur.setCharFormat(changed);
    });
    // An empty paragraph inside the range shows its mark's format (its height).
    for (QTextBlock b = d.doc->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        if (b.length() == 1) {
            QTextCharFormat changed = b.charFormat();
            ApplyCharFormat(changed, format, mask);
            cur.setPosition(b.position());
            cur.setBlockCharFormat(changed);
        }
    }
    cur.endEditBlock();
    finishStep(d, std::move(step), end, d.selStart, d.selEnd);
    d.modified = true;
}

namespace {

std::vector<QTextBlock> selectedBlocks(const Impl& d) {
    // A selection that ends at the start of a paragraph does not reach into it.
    const int last = d.selEnd > d.selStart ? d.selEnd - 1 : d.selEnd;
    std::vector<QTextBlock> blocks;
    for (QTextBlock b = d.doc->findBlock(d.selStart); b.isValid() && b.position() <= last;
         b = b.next())
        blocks.push_back(b);
    return blocks;
}

} // namespace

TRichParaFormat TRichDocument::ParaFormat() const {
    const auto blocks = selectedBlocks(*d_);
    TRichParaFormat first = ParaFormatOf(blocks.front().blockFormat());
    std::uint32_t mask = PF::pfmAll;
    for (std::size_t i = 1; i < blocks.size(); ++i)
        mask &= SharedParaFields(first, ParaFormatOf(blocks[i].blockFormat()));
    first.Mask = mask;
    return first;
}

void TRichDocument::SetParaFormat(const TRichParaFormat& format) {
    auto& d = *d_;
    const std::uint32_t mask = format.Mask & PF::pfmAll;
    if (mask == 0) return;
    const std::vector<QTextBlock> blocks = selectedBlocks(d);
    const int start = blocks.front().position();
    const int end = blocks.back().position() + blocks.back().length() - 1;
    Impl::Step step = beginStep(d, start, end);
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    for (const QTextBlock& b : blocks) {
        QTextBlockFormat f = b.blockFormat();
        ApplyParaFormat(f, format, mask);
        cur.setPosition(b.position());
        cur.setBlockFormat(f);
    }
    cur.endEditBlock();
    finishStep(d, std::move(step), end, d.selStart, d.selEnd);
    d.modified = true;
}

void TRichDocument::ClearFormatting() {
    auto& d = *d_;
    dropUndo(d);
    d.pendingFormat.reset();
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    // Pictures and objects stay what they are; only their look goes.
    forEachStretch(d, 0, Length(), [&](int s, int e, const QTextCharFormat& f) {
        QTextCharFormat identity;
        if (f.hasProperty(kPicture) || f.hasProperty(kObject)) {
            identity = f;
            for (int p : f.properties().keys())
                if (p != QTextFormat::ObjectType && p != kPicture && p != kObject)
                    identity.clearProperty(p);
        }
        select(cur, s, e);
        cur.setCharFormat(identity);
    });
    for (QTextBlock b = d.doc->begin(); b.isValid(); b = b.next()) {
        cur.setPosition(b.position());
        cur.setBlockFormat(QTextBlockFormat());
        cur.setBlockCharFormat(QTextCharFormat());
    }
    cur.endEditBlock();
    d.modified = true;
}

// ---- content

namespace {

bool sameLook(const TRichCharFormat& a, const TRichCharFormat& b) {
    return SharedCharFields(a, b) == CF::cfmAll && a.Mask == b.Mask;
}

} // namespace

TRichContent TRichDocument::Content(bool selectionOnly) const {
    const auto& d = *d_;
    const int start = selectionOnly ? d.selStart : 0;
    const int end = selectionOnly ? d.selEnd : Length();
    TRichContent out;
    out.DefaultFormat = d.defaultFormat;
    std::map<int, int> pictureIndex, objectIndex;
    const QTextBlock last = d.doc->findBlock(end);
    for (QTextBlock b = d.doc->findBlock(start); b.isValid(); b = b.next()) {
        TRichParagraph para;
        para.Format = ParaFormatOf(b.blockFormat());
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fr = it.fragment();
            const int s = std::max(start, fr.position());
            const int e = std::min(end, fr.position() + fr.length());
            if (s >= e) continue;
            const QTextCharFormat f = fr.charFormat();
            TRichRun run;
            run.Format = d.Effective(f);
            const bool isPicture = f.hasProperty(kPicture), isObject = f.hasProperty(kObject);
            if (isPicture || isObject) {
                // Every object character is a run of its own.
                for (int i = s; i < e; ++i) {
                    TRichRun obj = run;
                    obj.Text = std::u16string(1, kObjectChar);
                    if (isPicture) {
                        const int old = f.intProperty(kPicture);
                        auto [at, added] = pictureIndex.emplace(old, int(out.Pictures.size()));
                        if (added)
                            out.Pictures.push_back(d.pictures[static_cast<std::size_t>(old)]);
                        obj.Picture = at->second;
                    } else {
                        const int old = f.intProperty(kObject);
                        auto [at, added] = objectIndex.emplace(old, int(out.Objects.size()));
                        if (added) out.Objects.push_back(d.objects[static_cast<std::size_t>(old)]);
                        obj.Object = at->second;
                    }
                    para.Runs.push_back(std::move(obj));
                }
                continue;
            }
            run.Text = FromQString(fr.text().mid(s - fr.position(), e - s));
            TRichRun* prev = para.Runs.empty() ? nullptr : &para.Runs.back();
            if (prev && prev->Picture < 0 && prev->Object < 0 && sameLook(prev->Format, run.Format))
                prev->Text += run.Text;
            else
                para.Runs.push_back(std::move(run));
        }
        out.Paragraphs.push_back(std::move(para));
        if (b == last) break;
    }
    return out;
}

namespace {

// Builds the text of a content at the cursor. `whole`: the content is the document (fields a
// run leaves out of its mask fall back to the document's default); otherwise the runs bring
// all their fields, the content's default filling in. Pictures and objects join the tables.
void insertContent(Impl& d, QTextCursor& cur, const TRichContent& content, bool whole) {
    TRichCharFormat fill = content.DefaultFormat;
    std::map<int, int> pictureIndex, objectIndex;
    auto runFormat = [&](const TRichRun& run) {
        QTextCharFormat q;
        if (!whole) ApplyCharFormat(q, fill, CF::cfmAll & ~run.Format.Mask);
        ApplyCharFormat(q, run.Format, run.Format.Mask & CF::cfmAll);
        return q;
    };
    const QTextBlockFormat tailFormat = cur.blockFormat();
    const std::size_t count = content.Paragraphs.size();
    for (std::size_t p = 0; p < count; ++p) {
        const TRichParagraph& para = content.Paragraphs[p];
        QTextCharFormat lastFormat;
        for (const TRichRun& run : para.Runs) {
            QTextCharFormat q = runFormat(run);
            lastFormat = q;
            const bool picture =
                run.Picture >= 0 && run.Picture < static_cast<int>(content.Pictures.size());
            const bool object =
                run.Object >= 0 && run.Object < static_cast<int>(content.Objects.size());
            if (picture || object) {
                QTextCharFormat obj = q;
                if (picture) {
                    auto [at, added] = pictureIndex.emplace(run.Picture, int(d.pictures.size()));
                    if (added) d.pictures.push_back(content.Pictures[std::size_t(run.Picture)]);
                    QTextImageFormat image;
                    image.merge(q);
                    image.setName(QStringLiteral("rich-picture:%1").arg(at->second));
                    image.setProperty(kPicture, at->second);
                    obj = image;
                } else {
                    auto [at, added] = objectIndex.emplace(run.Object, int(d.objects.size()));
                    if (added) d.objects.push_back(content.Objects[std::size_t(run.Object)]);
                    obj.setObjectType(kObjectType);
                    obj.setProperty(kObject, at->second);
                }
                cur.insertText(QString(QChar(kObjectChar)), obj);
                continue;
            }
            insertPlain(cur, run.Text, q);
        }
        QTextBlockFormat bf;
        ApplyParaFormat(bf, para.Format, PF::pfmAll);
        if (p + 1 < count) {
            // This paragraph ends with the content's mark; what follows keeps the old one.
            cur.setBlockFormat(bf);
            cur.insertBlock(tailFormat, lastFormat);
        } else if (whole) {
            cur.setBlockFormat(bf);
            if (para.Runs.empty()) cur.setBlockCharFormat(lastFormat);
        }
    }
}

} // namespace

static bool replaceRange(TRichDocument& self, Impl& d, const TRichContent& content) {
    const int start = d.selStart, end = d.selEnd;
    if (!allowChange(self, d, start, end)) return false;
    Impl::Step step = beginStep(d, start, end);
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    select(cur, start, end);
    cur.removeSelectedText();
    insertContent(d, cur, content, false);
    cur.endEditBlock();
    const int caret = cur.position();
    finishStep(d, std::move(step), caret, caret, caret);
    d.modified = true;
    textChanged(self, d, caret, caret);
    return true;
}

static void replaceWhole(TRichDocument& self, Impl& d, const TRichContent& content) {
    auto doc = newDocument();
    d.pictures.clear();
    d.objects.clear();
    d.defaultFormat = content.DefaultFormat;
    d.defaultFormat.Mask = CF::cfmAll;
    std::swap(d.doc, doc);
    QTextCursor cur(d.doc.get());
    cur.beginEditBlock();
    insertContent(d, cur, content, true);
    cur.endEditBlock();
    // The old text document stands until this returns.
    if (d.documentReplacing) d.documentReplacing(d.doc.get());
    dropUndo(d);
    d.modified = false;
    textChanged(self, d, 0, 0);
}

void TRichDocument::SetContent(const TRichContent& content, bool replaceSelection) {
    if (replaceSelection)
        replaceRange(*this, *d_, content);
    else
        replaceWhole(*this, *d_, content);
}

// ---- streams

bool TRichDocument::LoadRtf(std::string_view bytes, unsigned flags) {
    TRichContent content;
    if (!ReadRtf(bytes, content)) return false;
    if (flags & sfSelection) return replaceRange(*this, *d_, content);
    replaceWhole(*this, *d_, content);
    return true;
}

std::string TRichDocument::SaveRtf(unsigned flags) const {
    return WriteRtf(Content(flags & sfSelection), flags & sfNoObjects);
}

void TRichDocument::LoadText(std::string_view bytes, unsigned flags) {
    std::u16string text;
    if (flags & sfUnicode) {
        text.reserve(bytes.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                 static_cast<std::uint8_t>(bytes[i + 1]) << 8));
        if (bytes.size() % 2) text.push_back(0xFFFD); // a cut last unit is not dropped silently
        if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    } else {
        text = Utf8ToUtf16Lenient(CodePageToUtf8Lossy(bytes, kAnsiCodePage));
    }
    auto& d = *d_;
    if (flags & sfSelection) {
        ReplaceSelection(text, true);
        return;
    }
    auto doc = newDocument();
    d.pictures.clear();
    d.objects.clear();
    QTextCursor cur(doc.get());
    cur.beginEditBlock();
    insertPlain(cur, text, QTextCharFormat());
    cur.endEditBlock();
    adopt(d, std::move(doc));
    dropUndo(d);
    d.modified = false;
    textChanged(*this, d, 0, 0);
}

std::string TRichDocument::SaveText(unsigned flags) const {
    const std::u16string text =
        (flags & sfSelection) ? TextRange(d_->selStart, d_->selEnd) : Text();
    std::u16string out;
    out.reserve(text.size() + ParagraphCount());
    for (char16_t c : text) {
        if (c == u'\r') {
            out += u"\r\n";
        } else if (c == kObjectChar) {
            out.push_back(u' '); // plain text has no objects; keep the words apart
        } else {
            out.push_back(c);
        }
    }
    if (!(flags & sfUnicode)) return Utf8ToCodePageLossy(Utf16ToUtf8Lenient(out), kAnsiCodePage);
    std::string bytes;
    bytes.reserve(out.size() * 2);
    for (char16_t c : out) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// ---- objects and links

int TRichDocument::ObjectCount() const {
    int count = 0;
    forEachStretch(*d_, 0, Length(), [&](int s, int e, const QTextCharFormat& f) {
        if (f.hasProperty(kPicture) || f.hasProperty(kObject)) count += e - s;
    });
    return count;
}

void TRichDocument::SetAutoUrlDetect(bool on) {
    d_->autoUrlDetect = on;
}
bool TRichDocument::AutoUrlDetect() const {
    return d_->autoUrlDetect;
}

std::pair<int, int> TRichDocument::LinkAt(int position) const {
    const auto& d = *d_;
    if (position < 0 || position >= Length()) return {-1, -1};
    const QTextBlock b = d.doc->findBlock(position);
    const int offset = position - b.position();
    if (d.autoUrlDetect) {
        for (const auto& [s, e] : FindUrls(FromQString(b.text())))
            if (offset >= s && offset < e) return {b.position() + s, b.position() + e};
    }
    // Text formatted as a link: the stretch of such text around the position.
    auto isLink = [&](int pos) {
        return pos >= b.position() && pos < b.position() + b.length() - 1 &&
               d.Effective(d.FormatAt(pos)).Link;
    };
    if (!isLink(position)) return {-1, -1};
    int s = position, e = position + 1;
    while (isLink(s - 1))
        --s;
    while (isLink(e))
        ++e;
    return {s, e};
}
