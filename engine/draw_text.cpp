#include "engine/draw_text.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/hyphenation.h"
#include "platform/core/numbers.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/printer_canvas.h"
#include "report/wide_strings.h"

namespace {

// Design pixels per report unit.
constexpr double kRatio = 600.0 / 96.0;

std::recursive_mutex& drawTextLock() {
    static std::recursive_mutex lock;
    return lock;
}

int roundInt(double value) {
    return static_cast<int>(Round(value));
}

} // namespace

TpgwDrawText::TpgwDrawText() : measurer_(DefaultTextMeasurer()) {
    workFont_.SetPixelsPerInch(kDesignPPI);
    advances_.resize(256);
    designWidths_.resize(256);
}

TpgwDrawText::~TpgwDrawText() = default;

TpgwDrawText& SharedDrawText() {
    static TpgwDrawText shared;
    return shared;
}

void TpgwDrawText::Lock() {
    drawTextLock().lock();
}
void TpgwDrawText::Unlock() {
    drawTextLock().unlock();
}

void TpgwDrawText::SetMeasurer(std::shared_ptr<const TpgwTextMeasurer> measurer) {
    measurer_ = measurer ? std::move(measurer) : DefaultTextMeasurer();
}

void TpgwDrawText::SetPrinterCanvasTest(std::function<bool(const TCanvas&)> test) {
    printerTest_ = std::move(test);
}

bool TpgwDrawText::IsPrinterCanvas(const TCanvas& canvas) const {
    if (printerTest_) return printerTest_(canvas);
    return dynamic_cast<const TPrinterCanvas*>(&canvas) != nullptr;
}

void TpgwDrawText::SetFont(const TFont& font) {
    fontSize_ = font.Size();
    if (workFont_.Name() != font.Name()) workFont_.SetName(font.Name());
    const int height = -roundInt(fontSize_ * kDesignPPI / 72.0);
    if (workFont_.Height() != height) workFont_.SetHeight(height);
    if (workFont_.Style() != font.Style()) workFont_.SetStyle(font.Style());
    if (workFont_.Charset() != font.Charset()) workFont_.SetCharset(font.Charset());
    if (workFont_.Color() != font.Color()) workFont_.SetColor(font.Color());
}

void TpgwDrawText::SetOptions(bool wordWrap, bool allowTags, bool rtlReading, bool wordBreak,
                              bool clipped, bool wysiwyg, int rotation) {
    wordWrap_ = wordWrap;
    tags_.SetAllowTags(allowTags);
    rtl_ = rtlReading;
    wordBreak_ = wordBreak;
    wysiwyg_ = wysiwyg;
    rotation_ = rotation % 360;
    options_ = (rtlReading ? ETO_RTLREADING : 0u) | (clipped ? ETO_CLIPPED : 0u);
}

void TpgwDrawText::SetDimensions(const TRect& layoutRect, const TRect& deviceRect, double scaleX,
                                 double scaleY, double printScale) {
    layoutRect_ = layoutRect;
    deviceRect_ = deviceRect;
    scaleX_ = scaleX;
    scaleY_ = scaleY;
    printScale_ = printScale;
}

void TpgwDrawText::SetSpacing(double paragraphGap, double charSpacing, double lineSpacing) {
    paragraphGap_ = paragraphGap;
    charSpacing_ = charSpacing;
    lineSpacing_ = lineSpacing;
}

void TpgwDrawText::SetText(const TWideStrings& lines) {
    std::vector<std::u16string> copy;
    copy.reserve(static_cast<std::size_t>(lines.Count()));
    for (int i = 0; i < lines.Count(); ++i)
        copy.push_back(lines.StringRef(i));
    SetText(copy);
}

void TpgwDrawText::SetText(const std::vector<std::u16string>& lines) {
    sourceText_.clear();
    lines_.clear();
    if (lines.empty()) return;

    tags_.SetDefaults(workFont_.Color(), fontSize_, workFont_.Style());
    const TFontStyles style = workFont_.Style();
    double w = layoutRect_.Right - layoutRect_.Left;
    if ((rotation_ >= 90 && rotation_ <= 179) || (rotation_ >= 270 && rotation_ <= 359))
        w = layoutRect_.Bottom - layoutRect_.Top;
    const int width = roundInt(w * kRatio);
    const int firstWidth = roundInt((w - paragraphGap_) * kRatio);
    const int spacing = roundInt(charSpacing_ * kRatio);

    std::size_t total = 0;
    for (const auto& s : lines)
        total += s.size() + 2;
    sourceText_.reserve(total);
    for (const auto& line : lines) {
        std::u16string s = line.empty() ? std::u16string(u" ") : line;
        sourceText_ += s;
        sourceText_ += u"\r\n";
        const std::size_t before = lines_.size();
        WrapLine(std::move(s), width, firstWidth, spacing);
        if (lines_.size() > before) {
            lines_[before].flags |= kFirstParagraphLine;
            if (lines_.size() - before == 1)
                lines_[before].flags = kFirstParagraphLine | kLastParagraphLine;
            else
                lines_.back().flags |= kLastParagraphLine;
        }
    }
    workFont_.SetStyle(style);
}

void TpgwDrawText::WrapLine(std::u16string s, int width, int firstLineWidth, int charSpacing) {
    tags_.NewLine();
    tags_.ExpandTags(s);
    tags_.SetPosition(tags_.Position() + 2);

    if (s.size() < 2 || !wordWrap_) {
        TpgwHTMLTags runs = tags_.GetItems(tags_.Count() - 1);
        if (runs.Count() > 0 && !runs.GetItems(0).SameAsPrevious)
            workFont_.SetStyle(runs.GetItems(0).FontStyle);
        AddLine(s);
        return;
    }

    // The arrays grow with the line, so lines of any length wrap.
    if (advances_.size() < s.size()) advances_.resize(std::max(s.size(), advances_.size() * 2));
    const int total = tags_.CalcCharWidths(advances_.data(), s, workFont_, *measurer_,
                                           tags_.Count() - 1, charSpacing, /*cumulative=*/true);
    if (total < firstLineWidth) {
        AddLine(s);
        return;
    }

    const int n = static_cast<int>(s.size());
    const int* cum = advances_.data() - 1; // cum[i]: width of s[1..i]
    const std::u16string_view sv(s);
    auto part = [&](int from, int count) {
        return sv.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
    };
    const bool tagsAllowed = tags_.AllowTags();
    int start = 1;
    int brk = 1;
    int base = 0;
    int avail = firstLineWidth;
    for (int i = 1; i <= n; ++i) {
        if (s[static_cast<std::size_t>(i - 1)] == u' ') {
            bool noWrap = false;
            if (tagsAllowed && tags_.Count() > 0) {
                TpgwHTMLTags runs = tags_.GetItems(tags_.Count() - 1);
                if (i - start < runs.Count()) noWrap = runs.GetItems(i - start).NoWrap;
            }
            if (!noWrap) brk = i;
        }
        if (cum[i] - base <= avail) continue;

        if (brk == start) {
            if (i == start) {
                AddLine(part(start, 1));
                tags_.SplitLineTags(1, false);
            } else {
                const std::u16string h = wordBreak_ ? HyphenateWord(s, start, i) : std::u16string();
                const int hl = static_cast<int>(h.size());
                if (hl > 0) {
                    AddLine(h + u"-");
                    tags_.SplitLineTags(hl, true);
                    brk = start + hl - 1;
                } else {
                    AddLine(part(start, i - start));
                    tags_.SplitLineTags(i - start, false);
                    brk = i - 1;
                }
            }
        } else {
            const std::u16string h = wordBreak_ ? HyphenateWord(s, brk + 1, i) : std::u16string();
            const int hl = static_cast<int>(h.size());
            if (hl > 0) {
                std::u16string line(part(start, brk - start + 1));
                line += h;
                line += u'-';
                AddLine(line);
                tags_.SplitLineTags(brk - start + 1 + hl, true);
                brk += hl;
            } else {
                AddLine(part(start, brk - start));
                tags_.SplitLineTags(brk - start + 1, false);
            }
        }
        base = cum[brk];
        start = brk + 1;
        brk = start;
        avail = width;
        i = start - 1; // the characters after the break are measured again on the new line
    }
    if (start <= n) AddLine(part(start, n - start + 1));
}

void TpgwDrawText::ClearParagraphFlags(bool clearFirst, bool clearLast) {
    if (lines_.empty()) return;
    if (clearFirst) lines_.front().flags &= ~kFirstParagraphLine;
    if (clearLast) lines_.back().flags &= ~kLastParagraphLine;
}

double TpgwDrawText::DesignLineHeight() const {
    return FontPixels() / kRatio + lineSpacing_;
}

double TpgwDrawText::CalcHeight() const {
    if (lines_.empty()) return 0;
    double h = static_cast<double>(lines_.size()) * DesignLineHeight();
    if (lineSpacing_ < 0) h -= lineSpacing_;
    return h;
}

double TpgwDrawText::LineHeight() const {
    return DesignLineHeight();
}

double TpgwDrawText::CalcWidth() {
    if (lines_.empty()) return 0;
    const TFontStyles style = workFont_.Style();
    int best = 0;
    for (std::size_t idx = 0; idx < lines_.size(); ++idx) {
        const std::u16string& text = lines_[idx].text;
        const std::size_t len = text.size();
        if (designWidths_.size() < len)
            designWidths_.resize(std::max(len, designWidths_.size() * 2));
        auto measure = [&](std::size_t from, std::size_t to) {
            return to > from
                       ? measurer_->Advances(workFont_.Data(),
                                             std::u16string_view(text).substr(from, to - from),
                                             designWidths_.data())
                       : 0;
        };
        int width = 0;
        const bool withRuns = tags_.AllowTags() && tags_.Count() > 0 &&
                              idx < static_cast<std::size_t>(tags_.Count()) &&
                              tags_.GetItems(static_cast<int>(idx)).Count() > 0;
        if (withRuns) {
            TpgwHTMLTags runs = tags_.GetItems(static_cast<int>(idx));
            const std::size_t runCount = static_cast<std::size_t>(runs.Count());
            std::size_t segment = 0;
            for (std::size_t i = 0; i < len && i < runCount; ++i) {
                TpgwHTMLTag& run = runs.GetItems(static_cast<int>(i));
                if (run.SameAsPrevious) continue;
                width += measure(segment, i);
                workFont_.SetStyle(run.FontStyle);
                run.SameAsPrevious = true;
                segment = i;
            }
            width += measure(segment, len);
        } else {
            width = measure(0, len);
        }
        width += roundInt(static_cast<double>(len) * charSpacing_ * kRatio);
        if (lines_[idx].flags & kFirstParagraphLine) width += roundInt(paragraphGap_ * kRatio);
        best = std::max(best, width);
    }
    workFont_.SetStyle(style);
    return best / kRatio;
}

void TpgwDrawText::SplitAtBottom(bool& cutInsideParagraph, std::u16string& rest) {
    cutInsideParagraph = false;
    rest.clear();
    if (lines_.empty()) return;

    // A line height of zero or less (a negative spacing eating the font height) fits nothing.
    const double lineH = DesignLineHeight();
    const double h = layoutRect_.Bottom - layoutRect_.Top + 1;
    std::size_t fit = 0;
    if (lineH > 0 && h > 0) {
        const double q = std::trunc(h / lineH);
        fit = q >= static_cast<double>(lines_.size()) ? lines_.size() : static_cast<std::size_t>(q);
    }
    if (fit >= static_cast<std::size_t>(tags_.Count())) return;

    lines_.resize(fit);
    if (fit > 0 && (lines_.back().flags == 0 || lines_.back().flags == kFirstParagraphLine))
        cutInsideParagraph = true;

    TpgwHTMLTags runs = tags_.GetItems(static_cast<int>(fit));
    const TpgwHTMLTag* first = runs.Count() > 0 ? &runs.GetItems(0) : nullptr;
    int p = first ? first->CharPos : tags_.LineStartPos(static_cast<int>(fit));
    // A line cut inside a word inherits the position of the character before it; cutting
    // there would move that character, which fitted, to the rest. A break space is different:
    // it goes to the rest and is dropped there.
    const int own = tags_.LineStartPos(static_cast<int>(fit));
    if (own != p && p >= 1 && static_cast<std::size_t>(p) <= sourceText_.size() &&
        sourceText_[static_cast<std::size_t>(p - 1)] != u' ')
        p = own;
    p = std::clamp(p, 1, static_cast<int>(sourceText_.size()) + 1);

    rest = sourceText_.substr(static_cast<std::size_t>(p - 1));
    if (cutInsideParagraph && !rest.empty() && rest.front() == u' ') rest.erase(0, 1);
    sourceText_.resize(static_cast<std::size_t>(p - 1));

    if (wordBreak_ && !lines_.empty() && GetWrappedText().size() > 2 &&
        !lines_.back().text.empty() && lines_.back().text.back() == u'-')
        sourceText_ += u'-';

    if (tags_.AllowTags() && first) {
        if (first->FontStyle.Contains(fsBold)) rest.insert(0, u"<b>");
        if (first->FontStyle.Contains(fsItalic)) rest.insert(0, u"<i>");
        if (first->FontStyle.Contains(fsUnderline)) rest.insert(0, u"<u>");
        const TColor rgb = ColorToRGB(first->FontColor);
        static constexpr char16_t kHex[] = u"0123456789ABCDEF";
        std::u16string tag = u"<font color=\"#";
        for (int v : {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)}) {
            tag += kHex[(v >> 4) & 15];
            tag += kHex[v & 15];
        }
        tag += u"\">";
        rest.insert(0, tag);
    }
}

double TpgwDrawText::SpaceBelowLines() const {
    const double lineH = DesignLineHeight();
    const double h = layoutRect_.Bottom - layoutRect_.Top + 1;
    if (lineH <= 0) return 0;
    const double n = std::trunc(h / lineH);
    if (n <= 0) return 0;
    const double r = h - n * lineH;
    return r == 0 ? 0.0001 : r;
}

std::u16string TpgwDrawText::GetWrappedText() const {
    std::u16string text;
    for (const auto& line : lines_) {
        text += line.text;
        text += u"\r\n";
    }
    return text;
}

std::u16string TpgwDrawText::StripTags(std::u16string_view text) {
    std::u16string s(text);
    tags_.NewLine();
    tags_.ExpandTags(s);
    return s;
}
