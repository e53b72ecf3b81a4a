#include "script/parser.h"

#include <algorithm>

#include "platform/core/format.h"
#include "platform/core/text.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// The class library's comma-text split: commas or blanks separate, "..." may hold either.
std::vector<std::string> SplitCommaText(std::string_view s) {
    std::vector<std::string> items;
    std::size_t i = 0;
    auto blank = [&](std::size_t k) {
        return k < s.size() && static_cast<unsigned char>(s[k]) <= ' ';
    };
    while (blank(i))
        ++i;
    while (i < s.size()) {
        std::string item;
        if (s[i] == '"') {
            ++i;
            while (i < s.size()) {
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += s[i++];
            }
        } else {
            while (i < s.size() && static_cast<unsigned char>(s[i]) > ' ' && s[i] != ',')
                item += s[i++];
        }
        items.push_back(std::move(item));
        while (blank(i))
            ++i;
        if (i < s.size() && s[i] == ',') {
            do
                ++i;
            while (blank(i));
        }
    }
    return items;
}

void SplitPair(std::string_view pair, std::string& opener, std::string& closer) {
    auto items = SplitCommaText(pair);
    opener = items.size() > 0 ? items[0] : std::string();
    closer = items.size() > 1 ? items[1] : std::string();
}

} // namespace

TksParser::TksParser() {
    Reset();
}

void TksParser::Reset() {
    keywords_.clear();
    keywordsLower_.clear();
    caseSensitive_ = false;
    SetCommentBlock1("{,}");
    SetCommentBlock2("(*,*)");
    commentLine1_ = "//";
    commentLine2_.clear();
    hexSequence_ = "$";
    identChars_.reset();
    for (int c = '0'; c <= '9'; ++c)
        identChars_.set(static_cast<std::size_t>(c));
    for (int c = 'A'; c <= 'Z'; ++c)
        identChars_.set(static_cast<std::size_t>(c));
    for (int c = 'a'; c <= 'z'; ++c)
        identChars_.set(static_cast<std::size_t>(c));
    identChars_.set('_');
    skipChar_.clear();
    skipEOL_ = true;
    skipBlanks_ = true;
    specStrChar_ = false;
    stringQuotes_ = "'";
}

void TksParser::SetCommentBlock1(std::string_view pair) {
    commentBlock1_ = std::string(pair);
    SplitPair(pair, block1Open_, block1Close_);
}

void TksParser::SetCommentBlock2(std::string_view pair) {
    commentBlock2_ = std::string(pair);
    SplitPair(pair, block2Open_, block2Close_);
}

void TksParser::SetIdentChars(std::string_view chars) {
    identChars_.reset();
    for (char c : chars)
        identChars_.set(static_cast<unsigned char>(c));
}

void TksParser::AddKeyword(std::string_view word) {
    keywords_.emplace_back(word);
    std::string lower = LowerCase(word);
    keywordsLower_.insert(std::lower_bound(keywordsLower_.begin(), keywordsLower_.end(), lower),
                          lower);
}

bool TksParser::IsKeyword(std::string_view word) const {
    if (caseSensitive_)
        return std::find(keywords_.begin(), keywords_.end(), word) != keywords_.end();
    return std::binary_search(keywordsLower_.begin(), keywordsLower_.end(), LowerCase(word));
}

void TksParser::SetText(std::string_view source) {
    text_.assign(source);
    text_ += '\0';
    size_ = static_cast<int>(source.size());
    position_ = tokenStart_ = 1;
    if (trackLines_) {
        lines_.assign(1, 0);
        for (int i = 0; i < size_; ++i)
            if (source[static_cast<std::size_t>(i)] == '\n') lines_.push_back(i + 1);
    }
}

bool TksParser::StartsAt(int position, std::string_view s) const {
    if (s.empty() || position < 1 || position + static_cast<int>(s.size()) - 1 > size_)
        return false;
    return std::string_view(text_).substr(static_cast<std::size_t>(position - 1), s.size()) == s;
}

// One comment at Position, if any; true when one was passed.
bool TksParser::SkipComment() {
    if (position_ >= size_) return false;
    for (const std::string* marker : {&commentLine1_, &commentLine2_}) {
        if (!StartsAt(position_, *marker)) continue;
        bool crEnds = !skipEOL_ && position_ > 1 && At(position_ - 1) != '\n';
        int p = position_;
        while (p <= size_ && At(p) != '\n' && !(crEnds && At(p) == '\r'))
            ++p;
        position_ = p;
        return true;
    }
    const std::string* closer = nullptr;
    if (StartsAt(position_, block1Open_)) {
        position_ += static_cast<int>(block1Open_.size());
        closer = &block1Close_;
    } else if (StartsAt(position_, block2Open_)) {
        position_ += static_cast<int>(block2Open_.size());
        closer = &block2Close_;
    } else {
        return false;
    }
    while (position_ <= size_ && !StartsAt(position_, *closer))
        ++position_;
    position_ = std::min(position_ + static_cast<int>(closer->size()), size_ + 1);
    return true;
}

void TksParser::SkipSpaces() {
    // Each continuation character waits for one line end; the count replaces the recursion of
    // continuation, line end and further blanks.
    int pendingLineEnds = 0;
    for (;;) {
        while (position_ <= size_) {
            auto c = static_cast<unsigned char>(At(position_));
            if (c > 32 || (c == 13 && !skipEOL_)) break;
            ++position_;
        }
        if (position_ <= size_ && !skipChar_.empty() && At(position_) == skipChar_[0]) {
            ++position_;
            ++pendingLineEnds;
            continue;
        }
        if (SkipComment()) continue;
        if (pendingLineEnds > 0) {
            if (position_ <= size_ && (At(position_) == '\r' || At(position_) == '\n')) {
                while (position_ <= size_ && (At(position_) == '\r' || At(position_) == '\n'))
                    ++position_;
                --pendingLineEnds;
                continue;
            }
            pendingLineEnds = 0;
        }
        break;
    }
    tokenStart_ = position_;
}

bool TksParser::MatchLineEnd() {
    SkipSpaces();
    if (position_ > size_ || (At(position_) != '\r' && At(position_) != '\n')) return false;
    while (position_ <= size_ && (At(position_) == '\r' || At(position_) == '\n'))
        ++position_;
    return true;
}

std::string TksParser::GetWord() {
    if (skipBlanks_) SkipSpaces();
    if (position_ > size_) return {};
    auto c = static_cast<unsigned char>(At(position_));
    if (!identChars_.test(c) || IsDigit(static_cast<char>(c))) return {};
    while (position_ <= size_ && identChars_.test(static_cast<unsigned char>(At(position_))))
        ++position_;
    return std::string(text_, static_cast<std::size_t>(tokenStart_ - 1),
                       static_cast<std::size_t>(position_ - tokenStart_));
}

std::string TksParser::GetIdent() {
    std::string word = GetWord();
    if (!word.empty() && IsKeyword(word)) return {};
    return word;
}

std::string TksParser::GetChar() {
    if (position_ > size_) return {};
    auto c = static_cast<unsigned char>(At(position_));
    if ((c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) ||
        (c >= 123 && c <= 126)) {
        ++position_;
        return std::string(1, static_cast<char>(c));
    }
    return {};
}

bool TksParser::ReadInteger() {
    if (!hexSequence_.empty() && StartsAt(position_, hexSequence_)) {
        int p = position_ + static_cast<int>(hexSequence_.size());
        if (p > size_ || !IsHexDigit(At(p))) return false;
        while (p <= size_ && IsHexDigit(At(p)))
            ++p;
        position_ = p;
        return true;
    }
    if (position_ > size_ || !IsDigit(At(position_))) return false;
    while (position_ <= size_ && IsDigit(At(position_)))
        ++position_;
    return true;
}

bool TksParser::ReadReal() {
    int start = position_;
    if (!ReadInteger()) return false;
    if (position_ <= size_ && At(position_) == '.') {
        if (position_ + 1 > size_ || !IsDigit(At(position_ + 1))) {
            position_ = start;
            return false;
        }
        position_ += 1;
        while (position_ <= size_ && IsDigit(At(position_)))
            ++position_;
    }
    if (position_ <= size_ && (At(position_) == 'E' || At(position_) == 'e')) {
        int p = position_ + 1;
        if (p <= size_ && (At(p) == '+' || At(p) == '-')) ++p;
        if (p <= size_ && IsDigit(At(p))) {
            while (p <= size_ && IsDigit(At(p)))
                ++p;
            position_ = p;
        }
    }
    return true;
}

std::string TksParser::GetNumber() {
    if (skipBlanks_) SkipSpaces();
    int start = position_;
    if (!ReadReal()) {
        position_ = start;
        if (!ReadInteger()) {
            position_ = start;
            return {};
        }
    }
    std::string token(text_, static_cast<std::size_t>(tokenStart_ - 1),
                      static_cast<std::size_t>(position_ - tokenStart_));
    if (!hexSequence_.empty() && hexSequence_ != "$") {
        for (std::size_t p = token.find(hexSequence_); p != std::string::npos;
             p = token.find(hexSequence_, p + 1))
            token.replace(p, hexSequence_.size(), "$");
    }
    return token;
}

std::string TksParser::GetString() {
    if (skipBlanks_) SkipSpaces();
    std::string value;
    bool any = false;
    const char quote = stringQuotes_.empty() ? '\0' : stringQuotes_[0];
    for (;;) {
        if (position_ > size_) break;
        const int partStart = position_;
        if (quote != '\0' && At(position_) == quote) {
            std::string part;
            bool closed = false;
            int p = position_ + 1;
            while (p <= size_) {
                char c = At(p);
                if (c == quote) {
                    if (!specStrChar_ && p + 1 <= size_ && At(p + 1) == quote) {
                        part += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    closed = true;
                    break;
                }
                auto u = static_cast<unsigned char>(c);
                if (u <= 8 || (u >= 10 && u <= 31)) break;
                if (specStrChar_ && c == '\\') {
                    if (p + 1 > size_) break;
                    char e = At(p + 1);
                    p += 2;
                    if (e == 'n' || e == 'N') {
                        part += '\n';
                    } else if (e == 'r' || e == 'R') {
                        part += '\r';
                    } else if (e == 'x' || e == 'X') {
                        int q = p;
                        while (q <= size_ && IsHexDigit(At(q)))
                            ++q;
                        if (q > p) {
                            unsigned code = 0;
                            for (int k = p; k < q; ++k)
                                code = (code << 4) | static_cast<unsigned>(HexValue(At(k)));
                            part += static_cast<char>(code & 0xFF);
                        }
                        p = q;
                    } else {
                        part += e;
                    }
                    continue;
                }
                part += c;
                ++p;
            }
            if (!closed) {
                position_ = partStart;
                break;
            }
            position_ = p;
            value += part;
            any = true;
        } else if (At(position_) == '#') {
            ++position_;
            int digitsStart = position_;
            if (!ReadInteger()) {
                position_ = partStart;
                break;
            }
            std::string digits(text_, static_cast<std::size_t>(digitsStart - 1),
                               static_cast<std::size_t>(position_ - digitsStart));
            if (!hexSequence_.empty() && digits.compare(0, hexSequence_.size(), hexSequence_) == 0)
                digits = "$" + digits.substr(hexSequence_.size());
            value += static_cast<char>(StrToInt(digits) & 0xFF);
            any = true;
        } else {
            break;
        }
    }
    if (!any) return {};
    return "'" + value + "'";
}

std::string TksParser::GetReportString() {
    // Angle brackets inside index brackets are comparisons, not the end of the expression:
    // a[b>c]> ends at its last ">".
    int depth = 1;
    int brackets = 0;
    bool inDouble = false, inSingle = false;
    int start = position_;
    while (position_ <= size_) {
        char c = At(position_);
        if (!inDouble && !inSingle) {
            if (c == '[') {
                ++brackets;
            } else if (c == ']') {
                if (brackets > 0) --brackets;
            } else if (brackets == 0 && c == '<') {
                ++depth;
            } else if (brackets == 0 && c == '>') {
                if (--depth == 0) break;
            }
        }
        if (c == '"' && !inSingle)
            inDouble = !inDouble;
        else if (c == '\'' && !inDouble)
            inSingle = !inSingle;
        ++position_;
    }
    return std::string(text_, static_cast<std::size_t>(start - 1),
                       static_cast<std::size_t>(position_ - start));
}

std::string TksParser::GetPositionText() const {
    auto it = std::lower_bound(lines_.begin(), lines_.end(), position_);
    auto line = it - lines_.begin();
    int column = position_ - lines_[static_cast<std::size_t>(line - 1)];
    return std::to_string(line) + ":" + std::to_string(column);
}

int TksParser::PositionFromPoint(int column, int line) const {
    if (line - 1 < 0 || line - 1 >= static_cast<int>(lines_.size())) return -1;
    return column + lines_[static_cast<std::size_t>(line - 1)];
}
