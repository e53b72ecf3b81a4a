#include "engine/hyphenation.h"

namespace {

constexpr std::u16string_view kVowels = u"АЕЁИОУЫЭЮЯ";
constexpr std::u16string_view kConsonants = u"БВГДЖЗЙКЛМНПРСТФХЦЧШЩЬЪ";
constexpr std::u16string_view kSigns = u"ЬЪ";
constexpr char16_t kShortI = u'Й';
constexpr std::u16string_view kWordDelimiters = u" .,-;";
// Positions above this come back from the 8-bit round trip as something else.
constexpr int kMaxPosition = 127;

bool isVowel(char16_t c) {
    return kVowels.find(c) != std::u16string_view::npos;
}
bool isConsonant(char16_t c) {
    return kConsonants.find(c) != std::u16string_view::npos;
}
bool isSign(char16_t c) {
    return kSigns.find(c) != std::u16string_view::npos;
}

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= u'а' && c <= u'я') return static_cast<char16_t>(c - 32);
    if (c == u'ё') return u'Ё';
    return c;
}

} // namespace

bool HasVowel(std::u16string_view s) {
    if (s.size() < 2) return false;
    for (char16_t c : s)
        if (isVowel(c)) return true;
    return false;
}

std::vector<int> Hyphenate(std::u16string_view word) {
    std::vector<int> result;
    const int n = static_cast<int>(word.size());
    if (n < 4) return result;
    auto at = [&](int p) { return word[static_cast<std::size_t>(p - 1)]; };
    for (int p = 1; p <= n && p <= kMaxPosition; ++p) {
        const char16_t c = at(p);
        bool candidate = false;
        if (isConsonant(c)) {
            candidate = !(p < n && (isVowel(at(p + 1)) || isSign(at(p + 1))));
        } else if (isVowel(c)) {
            const bool beforeShortI = p < n && at(p + 1) == kShortI;
            // A vowel before a doubled consonant followed by a vowel: the hyphen goes between
            // the two consonants instead.
            const bool beforeDouble =
                p < n - 2 && isConsonant(at(p + 1)) && at(p + 2) == at(p + 1) && isVowel(at(p + 3));
            candidate = !beforeShortI && !beforeDouble;
        }
        if (candidate && HasVowel(word.substr(0, static_cast<std::size_t>(p))) &&
            HasVowel(word.substr(static_cast<std::size_t>(p), 255)))
            result.push_back(p);
    }
    return result;
}

std::u16string HyphenateWord(std::u16string_view s, int start, int pos) {
    const int length = static_cast<int>(s.size());
    if (start < 1 || start > length + 1) return {};
    int e = pos;
    while (e <= length &&
           kWordDelimiters.find(s[static_cast<std::size_t>(e - 1)]) == std::u16string_view::npos)
        ++e;
    if (e <= start) return {};
    const std::u16string_view word =
        s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(e - start));
    std::u16string upperWord(word);
    for (auto& c : upperWord)
        c = upper(c);
    const std::vector<int> positions = Hyphenate(upperWord);
    const int limit = pos - start;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it)
        if (*it < limit) return std::u16string(word.substr(0, static_cast<std::size_t>(*it)));
    return {};
}
