// Text: UTF-8/UTF-16 conversion, code pages through iconv, case mapping and trimming.
#include "platform/core/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <locale.h>
#include <unordered_map>
#include <wctype.h>

#include "platform/core/exception.h"

namespace {

// Decodes one UTF-8 sequence at s[i]. Returns its length and stores the code point, or returns
// 0 when the bytes there are not a valid (shortest-form, non-surrogate) sequence.
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t c;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    cp = c;
    return len;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isAscii(std::string_view s) {
    for (const char ch : s)
        if (static_cast<unsigned char>(ch) >= 0x80) return false;
    return true;
}

[[noreturn]] void throwInvalidUtf8(std::size_t offset) {
    throw EEncodingError("Invalid UTF-8 byte sequence at offset " + std::to_string(offset));
}

void validateUtf8(std::string_view s) {
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0) throwInvalidUtf8(i);
        i += len;
    }
}

// Copies valid UTF-8 and replaces each invalid byte with '?'.
std::string sanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0) {
            out += '?';
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

// ---- code pages ------------------------------------------------------------------------------

const char* iconvName(int codePage) {
    switch (codePage) {
    case 936:
        return "CP936";
    case 437:
        return "CP437";
    case 850:
        return "CP850";
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1252:
        return "CP1252";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 20127:
        return "ASCII";
    case 28591:
        return "ISO-8859-1";
    default:
        return nullptr;
    }
}

std::string codePageText(int codePage) {
    return "code page " + std::to_string(codePage);
}

// iconv descriptors are costly to open and not shareable between threads while converting, so
// each thread keeps its own per code page and direction.
class IconvCache {
public:
    ~IconvCache() {
        for (auto& [key, cd] : map_)
            iconv_close(cd);
    }

    iconv_t get(int codePage, bool toUtf8) {
        const long long key = static_cast<long long>(codePage) * 2 + (toUtf8 ? 1 : 0);
        const auto it = map_.find(key);
        if (it != map_.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr); // back to the initial state
            return it->second;
        }
        const char* name = iconvName(codePage);
        if (name == nullptr) throw EEncodingError("Unsupported " + codePageText(codePage));
        const iconv_t cd = toUtf8 ? iconv_open("UTF-8", name) : iconv_open(name, "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw EEncodingError("Conversion for " + codePageText(codePage) +
                                 " is not available on this system");
        map_.emplace(key, cd);
        return cd;
    }

private:
    std::unordered_map<long long, iconv_t> map_;
};

iconv_t descriptor(int codePage, bool toUtf8) {
    thread_local IconvCache cache;
    return cache.get(codePage, toUtf8);
}

enum class Direction { ToUtf8, FromUtf8 };

// Runs iconv over input. On a byte sequence that cannot be converted, calls onBad(offset,
// incomplete, out) which either throws or appends a replacement and returns how many input bytes
// to skip.
template <typename OnBad>
std::string convert(std::string_view input, int codePage, Direction dir, OnBad onBad) {
    const iconv_t cd = descriptor(codePage, dir == Direction::ToUtf8);
    std::string out;
    out.resize(input.size() * (dir == Direction::ToUtf8 ? 3 : 2) + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    auto room = [&](std::size_t need) {
        if (out.size() - used < need) out.resize(out.size() * 2 + need);
    };
    for (;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const bool flushing = inLeft == 0;
        const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                       : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = static_cast<std::size_t>(outPtr - out.data());
        if (r != static_cast<std::size_t>(-1)) {
            if (flushing) break;
            continue; // everything converted; the next turn flushes shift state
        }
        const int err = errno;
        if (err == E2BIG) {
            out.resize(out.size() * 2 + 64);
            continue;
        }
        if (err != EILSEQ && err != EINVAL)
            throw EEncodingError("Conversion failed for " + codePageText(codePage) + ": " +
                                 std::strerror(err));
        // Write out what a composing code page still holds before the replacement goes in.
        for (;;) {
            room(16);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
            const std::size_t f = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
            used = static_cast<std::size_t>(outPtr - out.data());
            if (f != static_cast<std::size_t>(-1) || errno != E2BIG) break;
            out.resize(out.size() * 2 + 64);
        }
        const std::size_t offset = static_cast<std::size_t>(in - input.data());
        std::string replacement;
        std::size_t skip = onBad(offset, err == EINVAL, replacement);
        if (skip > inLeft) skip = inLeft;
        room(replacement.size());
        std::memcpy(out.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
        in += skip;
        inLeft -= skip;
    }
    out.resize(used);
    return out;
}

std::string hexBytes(std::string_view bytes, std::size_t offset, std::size_t count) {
    std::string s;
    for (std::size_t k = 0; k < count && offset + k < bytes.size(); ++k) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%02X", k ? " " : "",
                      static_cast<unsigned>(static_cast<unsigned char>(bytes[offset + k])));
        s += buf;
    }
    return s;
}

std::string decodeCodePage(std::string_view bytes, int codePage, bool lossy) {
    if (codePage == 65001) {
        if (lossy) return sanitizeUtf8(bytes);
        validateUtf8(bytes);
        return std::string(bytes);
    }
    if (isAscii(bytes)) {
        if (iconvName(codePage) == nullptr)
            throw EEncodingError("Unsupported " + codePageText(codePage));
        return std::string(bytes);
    }
    return convert(bytes, codePage, Direction::ToUtf8,
                   [&](std::size_t offset, bool incomplete, std::string& repl) -> std::size_t {
                       if (!lossy) {
                           throw EEncodingError(std::string(incomplete ? "Incomplete" : "Invalid") +
                                                " byte sequence (" + hexBytes(bytes, offset, 2) +
                                                ") at offset " + std::to_string(offset) + " in " +
                                                codePageText(codePage) + " text");
                       }
                       repl = "?";
                       return incomplete ? bytes.size() : 1;
                   });
}

std::string encodeCodePage(std::string_view utf8, int codePage, bool lossy) {
    if (codePage == 65001)
        return lossy ? sanitizeUtf8(utf8) : (validateUtf8(utf8), std::string(utf8));
    if (isAscii(utf8)) {
        if (iconvName(codePage) == nullptr)
            throw EEncodingError("Unsupported " + codePageText(codePage));
        return std::string(utf8);
    }
    if (!lossy) validateUtf8(utf8);
    return convert(utf8, codePage, Direction::FromUtf8,
                   [&](std::size_t offset, bool, std::string& repl) -> std::size_t {
                       char32_t cp = 0;
                       const std::size_t len = decodeUtf8(utf8, offset, cp);
                       if (!lossy) {
                           char buf[16];
                           std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
                           throw EEncodingError(std::string("Character ") + buf + " at offset " +
                                                std::to_string(offset) +
                                                " cannot be represented in " +
                                                codePageText(codePage));
                       }
                       repl = "?";
                       return len == 0 ? 1 : len;
                   });
}

// ---- case ------------------------------------------------------------------------------------

// Unicode simple case mapping comes from the C.UTF-8 locale's tables; if that locale is missing
// the Latin-1, Greek and Cyrillic letters are still mapped by range.
class CaseMap {
public:
    CaseMap() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            locale_ = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (locale_ != static_cast<locale_t>(nullptr)) break;
        }
    }
    ~CaseMap() {
        if (locale_ != static_cast<locale_t>(nullptr)) freelocale(locale_);
    }

    char32_t upper(char32_t c) const {
        if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
        if (locale_ != static_cast<locale_t>(nullptr))
            return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale_));
        if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
            (c >= 0x430 && c <= 0x44F))
            return c - 32;
        if (c >= 0x450 && c <= 0x45F) return c - 80;
        return c;
    }

    char32_t lower(char32_t c) const {
        if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
        if (locale_ != static_cast<locale_t>(nullptr))
            return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale_));
        if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
            (c >= 0x410 && c <= 0x42F))
            return c + 32;
        if (c >= 0x400 && c <= 0x40F) return c + 80;
        return c;
    }

private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
};

const CaseMap& caseMap() {
    static const CaseMap map;
    return map;
}

template <bool Upper> std::string mapCase(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const CaseMap& map = caseMap();
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char>(Upper ? (b >= 'a' && b <= 'z' ? b - 32 : b)
                                           : (b >= 'A' && b <= 'Z' ? b + 32 : b));
            ++i;
            continue;
        }
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0) { // not UTF-8: keep the byte as it is
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        appendUtf8(out, Upper ? map.upper(cp) : map.lower(cp));
        i += len;
    }
    return out;
}

// Next code point for comparisons; a byte that is not UTF-8 stands for itself in the
// lone-surrogate range so that it orders consistently and never equals a real letter.
char32_t nextCompareUnit(std::string_view s, std::size_t& i) {
    char32_t cp;
    const std::size_t len = decodeUtf8(s, i, cp);
    if (len == 0) {
        cp = 0xDC00 + static_cast<unsigned char>(s[i]);
        ++i;
    } else {
        i += len;
    }
    return cp;
}

int sign(long long v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

bool isBlank(char ch) {
    return static_cast<unsigned char>(ch) <= ' ';
}

} // namespace

// ---- UTF ---------------------------------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    char32_t cp;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        const std::size_t len = decodeUtf8(utf8, i, cp);
        if (len == 0) throwInvalidUtf8(i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() + utf16.size() / 2);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u >= 0xDC00 || i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 ||
                utf16[i + 1] > 0xDFFF)
                throw EEncodingError("Unpaired UTF-16 surrogate at index " + std::to_string(i));
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                                (utf16[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
    return decodeCodePage(bytes, codePage, false);
}

std::string Utf8ToCodePage(std::string_view utf8, int codePage) {
    return encodeCodePage(utf8, codePage, false);
}

std::string CodePageToUtf8Lossy(std::string_view bytes, int codePage) {
    return decodeCodePage(bytes, codePage, true);
}

std::string Utf8ToCodePageLossy(std::string_view utf8, int codePage) {
    return encodeCodePage(utf8, codePage, true);
}

// ---- case --------------------------------------------------------------------------------------

std::string AnsiUpperCase(std::string_view s) {
    return mapCase<true>(s);
}
std::string AnsiLowerCase(std::string_view s) {
    return mapCase<false>(s);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const CaseMap& map = caseMap();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = map.upper(nextCompareUnit(a, i));
        const char32_t cb = map.upper(nextCompareUnit(b, j));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return sign(static_cast<long long>(a.size() - i) - static_cast<long long>(b.size() - j));
}

// Letters that differ only in case order lower case first, as the platform's collation does;
// otherwise the case-insensitive order holds.
int AnsiCompareStr(std::string_view a, std::string_view b) {
    if (const int r = AnsiCompareText(a, b); r != 0) return r;
    const CaseMap& map = caseMap();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = nextCompareUnit(a, i);
        const char32_t cb = nextCompareUnit(b, j);
        if (ca == cb) continue;
        const bool lowerA = map.upper(ca) != ca;
        const bool lowerB = map.upper(cb) != cb;
        if (lowerA != lowerB) return lowerA ? -1 : 1;
        return ca < cb ? -1 : 1;
    }
    return 0;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return AnsiCompareText(a, b) == 0;
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return out;
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return out;
}

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t k = 0; k < n; ++k) {
        int ca = static_cast<unsigned char>(a[k]);
        int cb = static_cast<unsigned char>(b[k]);
        if (ca >= 'a' && ca <= 'z') ca -= 32;
        if (cb >= 'a' && cb <= 'z') cb -= 32;
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return sign(static_cast<long long>(a.size()) - static_cast<long long>(b.size()));
}

int CompareStr(std::string_view a, std::string_view b) {
    return sign(a.compare(b));
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

// ---- trimming and length -----------------------------------------------------------------------

std::string Trim(std::string_view s) {
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && isBlank(s[first]))
        ++first;
    while (last > first && isBlank(s[last - 1]))
        --last;
    return std::string(s.substr(first, last - first));
}

std::string TrimLeft(std::string_view s) {
    std::size_t first = 0;
    while (first < s.size() && isBlank(s[first]))
        ++first;
    return std::string(s.substr(first));
}

std::string TrimRight(std::string_view s) {
    std::size_t last = s.size();
    while (last > 0 && isBlank(s[last - 1]))
        --last;
    return std::string(s.substr(0, last));
}

std::size_t Utf8Length(std::string_view utf8) {
    std::size_t n = 0;
    for (const char ch : utf8)
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++n;
    return n;
}
