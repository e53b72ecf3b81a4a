#include "engine/html_tags.h"

#include <cassert>

#include "engine/text_measurer.h"
#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/graphics/font_measurer.h"

void TpgwHTMLTag::AssignTag(const TpgwHTMLTag& source) {
    CharPos = source.CharPos;
    FontSize = source.FontSize;
    Lowered = source.Lowered;
    FontStyle = source.FontStyle;
    FontColor = source.FontColor;
    SameAsPrevious = source.SameAsPrevious;
    Reduced = source.Reduced;
}

int TpgwHTMLTags::Count() const {
    const auto& line = list_->lines_.at(static_cast<std::size_t>(line_));
    return static_cast<int>(line.count) + (line.hasHyphen ? 1 : 0);
}

TpgwHTMLTag& TpgwHTMLTags::GetItems(int index) const {
    return list_->Run(list_->lines_.at(static_cast<std::size_t>(line_)), index);
}

TpgwHTMLTagsList::TpgwHTMLTagsList() {
    extents_.resize(256);
}

TpgwHTMLTag& TpgwHTMLTagsList::Run(const Line& line, int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < line.count)
        return runs_[line.begin + index];
    if (line.hasHyphen && static_cast<std::size_t>(index) == line.count)
        return const_cast<Line&>(line).hyphen;
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TpgwHTMLTagsList::SetDefaults(TColor color, int size, TFontStyles style) {
    defaultColor_ = currentColor_ = color;
    defaultSize_ = currentSize_ = size;
    defaultStyle_ = currentStyle_ = style;
    currentLowered_ = 0;
    currentNoWrap_ = false;
    position_ = 1;
    runs_.clear();
    lines_.clear();
}

void TpgwHTMLTagsList::NewLine() {
    if (lines_.empty()) return;
    Line line;
    line.begin = runs_.size();
    lines_.push_back(line);
}

int TpgwHTMLTagsList::LineStartPos(int index) const {
    const Line& line = lines_.at(static_cast<std::size_t>(index));
    if (line.startPos) return line.startPos;
    return line.count ? runs_[line.begin].CharPos : (line.hasHyphen ? line.hyphen.CharPos : 0);
}

TpgwHTMLTag* TpgwHTMLTagsList::PrevTag() {
    if (lines_.empty()) return nullptr;
    const Line& last = lines_.back();
    const int count = static_cast<int>(last.count) + (last.hasHyphen ? 1 : 0);
    if (count >= 2) return &Run(last, count - 2);
    if (lines_.size() < 2) return nullptr;
    const Line& before = lines_[lines_.size() - 2];
    const int beforeCount = static_cast<int>(before.count) + (before.hasHyphen ? 1 : 0);
    return beforeCount ? &Run(before, beforeCount - 1) : nullptr;
}

void TpgwHTMLTagsList::AddTag() {
    if (lines_.empty()) {
        Line line;
        line.begin = runs_.size();
        lines_.push_back(line);
    }
    TpgwHTMLTag tag;
    tag.CharPos = position_;
    tag.FontSize = currentSize_;
    tag.FontStyle = currentStyle_;
    tag.FontColor = currentColor_;
    tag.Lowered = currentLowered_;
    tag.NoWrap = currentNoWrap_;
    tag.Reduced = currentSize_ != defaultSize_;
    runs_.push_back(tag);
    ++lines_.back().count;
    TpgwHTMLTag& added = runs_.back();
    if (!allowTags_) {
        added.SameAsPrevious = true;
    } else if (const TpgwHTMLTag* prev = PrevTag()) {
        added.SameAsPrevious = prev->FontStyle == added.FontStyle &&
                               prev->FontColor == added.FontColor &&
                               prev->FontSize == added.FontSize && prev->Lowered == added.Lowered &&
                               prev->NoWrap == added.NoWrap;
    } else {
        added.SameAsPrevious = added.FontStyle == defaultStyle_ &&
                               added.FontColor == defaultColor_ && added.FontSize == defaultSize_;
    }
}

namespace {

char16_t lowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool startsWithNoCase(std::u16string_view s, std::size_t at, std::u16string_view prefix) {
    if (s.size() - at < prefix.size()) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k)
        if (lowerAscii(s[at + k]) != prefix[k]) return false;
    return true;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "RRGGBB" in any number of hexadecimal digits as a colour value (red and blue exchanged).
TColor parseHexColor(std::u16string_view digits) {
    std::uint64_t value = 0;
    bool ok = !digits.empty();
    for (char16_t c : digits) {
        const int d = hexDigit(c);
        if (d < 0) {
            ok = false;
            break;
        }
        value = value * 16 + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFu) {
            ok = false;
            break;
        }
    }
    if (!ok)
        throw EConvertError("'$" + Utf16ToUtf8Lenient(digits) + "' is not a valid integer value");
    const auto v = static_cast<std::uint32_t>(value);
    return static_cast<TColor>((v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu));
}

enum class TagEffect {
    Bold,
    Italic,
    Underline,
    StrikeOut,
    NoBold,
    NoItalic,
    NoUnderline,
    NoStrikeOut,
    Sub,
    Sup,
    EndSubSup,
    NoWrap,
    EndNoWrap,
    EndFont
};

struct FixedTag {
    std::u16string_view text;
    TagEffect effect;
};

constexpr FixedTag kFixedTags[] = {
    {u"<b>", TagEffect::Bold},         {u"<i>", TagEffect::Italic},
    {u"<u>", TagEffect::Underline},    {u"<strike>", TagEffect::StrikeOut},
    {u"</b>", TagEffect::NoBold},      {u"</i>", TagEffect::NoItalic},
    {u"</u>", TagEffect::NoUnderline}, {u"</strike>", TagEffect::NoStrikeOut},
    {u"<sub>", TagEffect::Sub},        {u"<sup>", TagEffect::Sup},
    {u"</sub>", TagEffect::EndSubSup}, {u"</sup>", TagEffect::EndSubSup},
    {u"<nowrap>", TagEffect::NoWrap},  {u"</nowrap>", TagEffect::EndNoWrap},
    {u"</font>", TagEffect::EndFont},
};

} // namespace

std::size_t TpgwHTMLTagsList::ApplyTag(std::u16string_view s, std::size_t i) {
    for (const auto& tag : kFixedTags) {
        if (!startsWithNoCase(s, i, tag.text)) continue;
        const int reduced = static_cast<int>(Round(defaultSize_ / 1.5));
        switch (tag.effect) {
        case TagEffect::Bold:
            currentStyle_.Include(fsBold);
            break;
        case TagEffect::Italic:
            currentStyle_.Include(fsItalic);
            break;
        case TagEffect::Underline:
            currentStyle_.Include(fsUnderline);
            break;
        case TagEffect::StrikeOut:
            currentStyle_.Include(fsStrikeOut);
            break;
        case TagEffect::NoBold:
            currentStyle_.Exclude(fsBold);
            break;
        case TagEffect::NoItalic:
            currentStyle_.Exclude(fsItalic);
            break;
        case TagEffect::NoUnderline:
            currentStyle_.Exclude(fsUnderline);
            break;
        case TagEffect::NoStrikeOut:
            currentStyle_.Exclude(fsStrikeOut);
            break;
        case TagEffect::Sub:
            currentSize_ = reduced, currentLowered_ = 1;
            break;
        case TagEffect::Sup:
            currentSize_ = reduced, currentLowered_ = 0;
            break;
        case TagEffect::EndSubSup:
            currentSize_ = defaultSize_, currentLowered_ = 0;
            break;
        case TagEffect::NoWrap:
            currentNoWrap_ = true;
            break;
        case TagEffect::EndNoWrap:
            currentNoWrap_ = false;
            break;
        case TagEffect::EndFont:
            currentColor_ = defaultColor_;
            break;
        }
        return tag.text.size();
    }
    if (!startsWithNoCase(s, i, u"<font color")) return 0;
    const std::size_t eq = s.find(u'=', i);
    if (eq == std::u16string_view::npos) return 0;
    std::size_t from = eq + 1;
    while (from < s.size() && s[from] == u' ')
        ++from;
    const std::size_t close = s.find(u'>', from);
    const std::size_t end = close == std::u16string_view::npos ? s.size() : close;
    const std::u16string_view value = s.substr(from, end - from);
    if (value.empty()) return 0;
    TColor color;
    if (value.size() > 3 && value[0] == u'"' && value[1] == u'#' && value.back() == u'"') {
        color = parseHexColor(value.substr(2, value.size() - 3));
    } else {
        const auto named = IdentToColor("cl" + Utf16ToUtf8Lenient(value));
        if (!named) return 0;
        color = *named;
    }
    currentColor_ = color;
    return (close == std::u16string_view::npos ? s.size() : close + 1) - i;
}

void TpgwHTMLTagsList::ExpandTags(std::u16string& s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (allowTags_ && s[i] == u'<') {
            if (const std::size_t length = ApplyTag(s, i)) {
                position_ += static_cast<int>(length);
                i += length;
                continue;
            }
        }
        AddTag();
        out.push_back(s[i]);
        ++position_;
        ++i;
    }
    if (out.empty()) {
        AddTag();
        out = u" ";
    }
    s = std::move(out);
}

void TpgwHTMLTagsList::SplitLineTags(int n, bool hyphen) {
    if (lines_.empty() || n < 1) return;
    const std::size_t oldIndex = lines_.size() - 1;
    if (lines_[oldIndex].count <= static_cast<std::size_t>(n)) return;
    Line moved;
    moved.begin = lines_[oldIndex].begin + static_cast<std::size_t>(n);
    moved.count = lines_[oldIndex].count - static_cast<std::size_t>(n);
    lines_[oldIndex].count = static_cast<std::size_t>(n);
    lines_.push_back(moved);
    Line& old = lines_[oldIndex];
    const TpgwHTMLTag& lastKept = runs_[old.begin + static_cast<std::size_t>(n) - 1];
    if (hyphen) {
        old.hasHyphen = true;
        old.hyphen = TpgwHTMLTag{};
        old.hyphen.AssignTag(lastKept);
    } else if (TpgwHTMLTag& first = runs_[moved.begin]; first.SameAsPrevious) {
        lines_.back().startPos = first.CharPos;
        first.AssignTag(lastKept);
    }
}

int TpgwHTMLTagsList::CalcCharWidths(int* widths, std::u16string_view text, TFont& font,
                                     const TpgwTextMeasurer& measurer, int lineIndex, int spacing,
                                     bool cumulative) {
    const std::size_t n = text.size();
    if (n == 0) return 0;
    if (extents_.size() < n) extents_.resize(std::max(n, extents_.size() * 2));
    const Line* line = lineIndex >= 0 && static_cast<std::size_t>(lineIndex) < lines_.size()
                           ? &lines_[static_cast<std::size_t>(lineIndex)]
                           : nullptr;
    const std::size_t runCount = line ? line->count + (line->hasHyphen ? 1 : 0) : 0;
    if (runCount && !Run(*line, 0).SameAsPrevious) font.SetStyle(Run(*line, 0).FontStyle);
    measurer.Advances(font.Data(), text, extents_.data());

    int total = 0;
    bool reduced = runCount && Run(*line, 0).Reduced;
    for (std::size_t i = 0; i < n; ++i) {
        if (i < runCount) {
            const TpgwHTMLTag& run = Run(*line, static_cast<int>(i));
            if (i > 0 && !run.SameAsPrevious && run.FontStyle != font.Style()) {
                // Advances are whole pixels without kerning, so measuring from here on gives
                // the same differences as measuring the whole string again.
                font.SetStyle(run.FontStyle);
                measurer.Advances(font.Data(), text.substr(i), extents_.data() + i);
            }
            reduced = run.Reduced;
        }
        int width = extents_[i] + spacing;
        if (reduced) width = static_cast<int>(RoundHalfEven(width / 1.5));
        total += width;
        widths[i] = cumulative && i > 0 ? width + widths[i - 1] : width;
    }
    return total;
}
