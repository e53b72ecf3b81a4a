#include "report/utils.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/stream.h"

namespace {

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

int strToInt(std::string_view text) {
    int value = 0;
    std::string_view digits = text;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

// The general float form of the class library for whole numbers: digits below 1E15, else
// mantissa and exponent ("1E20", "1.5E20").
std::string generalWholeFloat(double value) {
    if (std::fabs(value) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.14E", value);
    std::string s = buf;
    size_t e = s.find('E');
    std::string mantissa = s.substr(0, e);
    while (!mantissa.empty() && mantissa.back() == '0')
        mantissa.pop_back();
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string out = mantissa;
    if (mantissa.find('.') != std::string::npos) {
        char sep = FormatSettings().DecimalSeparator;
        for (char& c : out)
            if (c == '.') c = sep;
    }
    return out + "E" + std::to_string(exponent);
}

template <class Str>
void extractExpression(Str text, Str open, Str close,
                       std::basic_string<typename Str::value_type>& expression, std::size_t& endPos,
                       std::size_t& startPos) {
    expression.clear();
    if (text.empty() || startPos >= text.size() || open.empty() || close.empty()) return;
    int depth = 0;
    bool inDouble = false, inSingle = false;
    std::size_t pos = startPos;
    std::size_t start = startPos;
    for (;;) {
        if (!inDouble && !inSingle) {
            if (text.compare(pos, open.size(), open) == 0) {
                if (depth == 0) start = pos;
                ++depth;
            } else if (text.compare(pos, close.size(), close) == 0) {
                --depth;
            }
        }
        auto c = text[pos];
        if (c == '"' && !inSingle)
            inDouble = !inDouble;
        else if (c == '\'' && !inDouble)
            inSingle = !inSingle;
        if (depth <= 0) break;
        if (++pos >= text.size()) {
            // The text ran out with the expression still open.
            throw EConvertError("Unclosed expression at position " + std::to_string(start));
        }
    }
    if (pos == startPos) return; // no opening delimiter at startPos
    startPos = start;
    std::size_t from = start + open.size();
    expression.assign(text.substr(from, pos > from ? pos - from : 0));
    endPos = pos + close.size() - 1;
}

} // namespace

TpgwRect MakeRect(double left, double top, double right, double bottom) {
    return TpgwRect{left, top, right, bottom};
}

TpgwPoint MakePoint(double x, double y) {
    return TpgwPoint{x, y};
}

std::uint32_t StreamCRC32(TStream& stream) {
    const auto& table = crcTable();
    const std::int64_t saved = stream.Seek(0, TSeekOrigin::soCurrent);
    stream.Seek(0, TSeekOrigin::soBeginning);
    std::uint32_t crc = 0xFFFFFFFFu;
    unsigned char buf[8192];
    for (;;) {
        std::int64_t n = stream.Read(buf, sizeof buf);
        if (n <= 0) break;
        for (std::int64_t i = 0; i < n; ++i)
            crc = table[(crc ^ buf[i]) & 0xFF] ^ (crc >> 8);
    }
    stream.Seek(saved, TSeekOrigin::soBeginning);
    return crc ^ 0xFFFFFFFFu;
}

void SplitText(std::string_view text, std::vector<std::string>& list, char delimiter) {
    list.clear();
    std::size_t pos = 0;
    while (pos < text.size())
        list.push_back(NextField(text, pos, delimiter));
}

std::string NextField(std::string_view text, std::size_t& pos, char delimiter) {
    if (pos >= text.size()) return {};
    std::size_t d = text.find(delimiter, pos);
    if (d == std::string_view::npos) d = text.size();
    std::string field(text.substr(pos, d - pos));
    pos = d + 1;
    return field;
}

std::string ReplaceChar(std::string_view text, char from, char to) {
    std::string s(text);
    for (char& c : s)
        if (c == from) c = to;
    return s;
}

std::string NormalizeSlashes(std::string_view text) {
    return ReplaceChar(text, '/', '\\');
}

double ParseFloatValue(std::string_view text) {
    // Both conventions read alike: every ',' and '.' is the decimal point, blanks are ignored.
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c == ' ') continue;
        s += (c == ',' ? '.' : c);
    }
    auto bad = [&] {
        return EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    };
    std::string_view v = s;
    // Trimmed as the class library trims: control characters count as blanks.
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ')
        v.remove_prefix(1);
    while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ')
        v.remove_suffix(1);
    if (!v.empty() && v[0] == '+') v.remove_prefix(1);
    if (v.empty()) throw bad();
    for (char c : v)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
            throw bad();
    double value = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || end != v.data() + v.size()) throw bad();
    return value;
}

bool IsValidFloatText(std::string_view text) {
    try {
        ParseFloatValue(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

std::string FloatValueToStr(double value) {
    if (value != std::trunc(value)) return Format("%2.2f", {value});
    return generalWholeFloat(value);
}

std::string FloatToFixedStr(double value, int decimals, char decimalSeparator) {
    if (decimals < 0) decimals = 0;
    if (decimals > 18) decimals = 18;
    // The class library's rounding of decimal ties, then the caller's separator.
    std::string s = Format("%.*f", {std::int64_t(decimals), value});
    const char localeSeparator = FormatSettings().DecimalSeparator;
    for (char& c : s)
        if (c == localeSeparator) c = decimalSeparator;
    return s;
}

std::string ColorToHexRGB(TColor color) {
    // Default values of the system colours (index = low byte of a 0x80000000-based colour).
    static const std::uint32_t systemColors[] = {
        0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
        0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF9933, 0xF0F0F0};
    std::uint32_t bgr = static_cast<std::uint32_t>(color);
    if (color < 0) {
        std::uint32_t index = bgr & 0xFF;
        bgr = index < std::size(systemColors) ? systemColors[index] : 0;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                  (bgr >> 16) & 0xFF);
    return buf;
}

void ExtractExpression(std::string_view text, std::string_view openDelimiter,
                       std::string_view closeDelimiter, std::string& expression,
                       std::size_t& endPos, std::size_t& startPos) {
    // UTF-8 continuation bytes never equal an ASCII delimiter or quote, so no lead-byte skip.
    extractExpression(text, openDelimiter, closeDelimiter, expression, endPos, startPos);
}

void ExtractExpressionW(std::u16string_view text, std::u16string_view openDelimiter,
                        std::u16string_view closeDelimiter, std::u16string& expression,
                        std::size_t& endPos, std::size_t& startPos) {
    extractExpression(text, openDelimiter, closeDelimiter, expression, endPos, startPos);
}

void ParsePageNumbers(std::string_view text, std::vector<int>& list, int pageCount) {
    list.clear();
    std::string s;
    for (char c : text)
        if (c != ' ') s += c;
    if (s.empty()) return;
    if (s.back() == '-') s += std::to_string(pageCount);
    s += ',';
    std::size_t fieldStart = 0;
    bool inRange = false;
    int rangeStart = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '-' && s[i] != ',') continue;
        int number = strToInt(std::string_view(s).substr(fieldStart, i - fieldStart));
        fieldStart = i + 1;
        if (s[i] == '-') {
            rangeStart = number;
            inRange = true;
            continue;
        }
        if (!inRange) {
            list.push_back(number);
            continue;
        }
        inRange = false;
        // Pages past the end do not exist: clip the range instead of listing them.
        const int last = std::min(number, std::max(pageCount, 0));
        for (long long n = rangeStart; n <= last; ++n)
            list.push_back(static_cast<int>(n));
    }
}

std::string MakeTempFileName() {
    return MakeTempFileNameIn(std::string());
}

std::string MakeTempFileNameIn(const std::string& folder) {
    std::string dir = folder.empty() ? GetTempDir() : folder;
    if (dir.back() != '/') dir += '/';
    std::string pattern = dir + "pgXXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw EFCreateError("Cannot create file \"" + pattern + "\". " + std::strerror(errno));
    ::close(fd);
    return pattern;
}

std::string GetModuleFile() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string GetAppFolder() {
    return IncludeTrailingPathDelimiter(ExecutableDir());
}

bool TpgwRectArea::InterceptsX(const TpgwRectArea& area) const {
    return area.X < X1 - 1e-4 && area.X1 > X + 1e-4;
}

bool TpgwRectArea::InterceptsY(const TpgwRectArea& area) const {
    return area.Y < Y1 - 1e-4 && area.Y1 > Y + 1e-4;
}

std::unique_ptr<TpgwRectArea> TpgwRectArea::IntersectX(const TpgwRectArea& area) const {
    if (!InterceptsX(area)) return nullptr;
    return std::make_unique<TpgwRectArea>(Max(X, area.X), 0, Min(X1, area.X1), 0);
}
