#include "platform/core/format.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/core/exception.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Decimal digits of a double, rounded half away from zero as every float-to-text path of the
// class library does (only Round() itself rounds halves to even).

constexpr int kMaxPrecision = 18;

struct DecimalValue {
    bool negative = false;
    int exponent = 0;   // value = 0.<digits> * 10^exponent
    std::string digits; // no trailing zeros; empty means the value rounded to zero
    bool IsZero() const { return digits.empty(); }
};

// Parses the output of "%.*e" into its digits and the exponent of the first digit.
void splitScientific(const char* text, std::string& digits, int& exponent10) {
    digits.clear();
    const char* p = text;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    }
    exponent10 = (*p == 'e') ? std::atoi(p + 1) : 0;
}

// Rounds |value| to at most `precision` significant digits and at most `decimals` digits after
// the decimal point, from the exact binary value.
DecimalValue toDecimal(double value, int precision, int decimals) {
    DecimalValue result;
    result.negative = std::signbit(value);
    double magnitude = std::fabs(value);
    if (magnitude == 0.0) return result;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    if (precision < 1) precision = 1;

    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.24e", magnitude);
    std::string digits;
    int exponent10 = 0;
    splitScientific(buffer, digits, exponent10);
    int exponent = exponent10 + 1;

    long keep = std::min<long>(precision, static_cast<long>(exponent) + decimals);
    if (keep < 0) return result;
    std::size_t cut = static_cast<std::size_t>(keep);

    // The 25 printed digits are themselves rounded; a tail that looks like an exact half (or
    // sits just under one) is settled from the full expansion, which every double has finitely.
    auto ambiguous = [&] {
        if (cut >= digits.size()) return false;
        char first = digits[cut];
        if (first != '5' && first != '4') return false;
        char rest = first == '5' ? '0' : '9';
        for (std::size_t i = cut + 1; i < digits.size(); ++i) {
            if (digits[i] != rest) return false;
        }
        return true;
    };
    if (ambiguous()) {
        std::vector<char> exact(1100);
        std::snprintf(exact.data(), exact.size(), "%.1000e", magnitude);
        splitScientific(exact.data(), digits, exponent10);
    }

    bool roundUp = cut < digits.size() && digits[cut] >= '5';
    digits.resize(std::min(cut, digits.size()));
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9') {
            digits[i] = '0';
            --i;
        }
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            ++exponent;
        } else {
            ++digits[i];
        }
    }
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (digits.empty()) return result;
    result.digits = std::move(digits);
    result.exponent = exponent;
    return result;
}

char digitAt(const DecimalValue& d, int index) {
    if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[index];
}

std::string specialText(double value) {
    if (std::isnan(value)) return "Nan";
    return value < 0 ? "-Inf" : "Inf";
}

std::string exponentText(int exponent, int minDigits, bool alwaysSign) {
    std::string text;
    if (exponent < 0) {
        text.push_back('-');
    } else if (alwaysSign) {
        text.push_back('+');
    }
    std::string number = std::to_string(exponent < 0 ? -exponent : exponent);
    if (static_cast<int>(number.size()) < minDigits) {
        text.append(minDigits - number.size(), '0');
    }
    return text + number;
}

// Integer digits of d (exponent > 0), optionally grouped by thousands.
std::string integerPart(const DecimalValue& d, bool thousands, const TFormatSettings& fs) {
    if (d.IsZero() || d.exponent <= 0) return "0";
    std::string text;
    for (int i = 0; i < d.exponent; ++i) {
        text.push_back(digitAt(d, i));
        int remaining = d.exponent - 1 - i;
        if (thousands && remaining > 0 && remaining % 3 == 0 && fs.ThousandSeparator != '\0') {
            text.push_back(fs.ThousandSeparator);
        }
    }
    return text;
}

std::string formatGeneral(double value, int precision, int digits, const TFormatSettings& fs) {
    precision = std::clamp(precision, 1, kMaxPrecision);
    DecimalValue d = toDecimal(value, precision, 9999);
    if (d.IsZero()) return "0";
    std::string text = d.negative ? "-" : "";
    int count = static_cast<int>(d.digits.size());
    if (d.exponent > precision || d.exponent < -3) {
        text.push_back(d.digits[0]);
        if (count > 1) {
            text.push_back(fs.DecimalSeparator);
            text.append(d.digits, 1);
        }
        text.push_back('E');
        text += exponentText(d.exponent - 1, digits, false);
        return text;
    }
    if (d.exponent <= 0) {
        text.push_back('0');
        text.push_back(fs.DecimalSeparator);
        text.append(-d.exponent, '0');
        text += d.digits;
        return text;
    }
    text += integerPart(d, false, fs);
    if (count > d.exponent) {
        text.push_back(fs.DecimalSeparator);
        text.append(d.digits, d.exponent);
    }
    return text;
}

std::string formatExponent(double value, int precision, int digits, const TFormatSettings& fs) {
    precision = std::clamp(precision, 1, kMaxPrecision);
    DecimalValue d = toDecimal(value, precision, 9999);
    std::string text = d.negative && !d.IsZero() ? "-" : "";
    text.push_back(digitAt(d, 0));
    if (precision > 1) {
        text.push_back(fs.DecimalSeparator);
        for (int i = 1; i < precision; ++i)
            text.push_back(digitAt(d, i));
    }
    text.push_back('E');
    text += exponentText(d.IsZero() ? 0 : d.exponent - 1, digits, true);
    return text;
}

// The body of ffFixed / ffNumber / ffCurrency; false when the value needs scientific form.
bool formatFixedBody(double value, int precision, int decimals, bool thousands,
                     const TFormatSettings& fs, std::string& body, bool& negative) {
    precision = std::clamp(precision, 1, kMaxPrecision);
    decimals = std::clamp(decimals, 0, kMaxPrecision);
    DecimalValue d = toDecimal(value, precision, decimals);
    if (d.exponent > precision) return false;
    negative = d.negative && !d.IsZero();
    body = integerPart(d, thousands, fs);
    if (decimals > 0) {
        body.push_back(fs.DecimalSeparator);
        for (int i = 0; i < decimals; ++i)
            body.push_back(digitAt(d, d.exponent + i));
    }
    return true;
}

std::string currencyText(const std::string& amount, bool negative, const TFormatSettings& fs) {
    const std::string& c = fs.CurrencyString;
    if (!negative) {
        switch (fs.CurrencyFormat) {
        case 1:
            return amount + c;
        case 2:
            return c + " " + amount;
        case 3:
            return amount + " " + c;
        default:
            return c + amount;
        }
    }
    switch (fs.NegCurrFormat) {
    case 0:
        return "(" + c + amount + ")";
    case 2:
        return c + "-" + amount;
    case 3:
        return c + amount + "-";
    case 4:
        return "(" + amount + c + ")";
    case 5:
        return "-" + amount + c;
    case 6:
        return amount + "-" + c;
    case 7:
        return amount + c + "-";
    case 8:
        return "-" + amount + " " + c;
    case 9:
        return "-" + c + " " + amount;
    case 10:
        return amount + " " + c + "-";
    case 11:
        return c + " " + amount + "-";
    case 12:
        return c + " -" + amount;
    case 13:
        return amount + "- " + c;
    case 14:
        return "(" + c + " " + amount + ")";
    case 15:
        return "(" + amount + " " + c + ")";
    default:
        return "-" + c + amount;
    }
}

std::string floatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs) {
    if (!std::isfinite(value)) return specialText(value);
    switch (format) {
    case TFloatFormat::ffGeneral:
        return formatGeneral(value, precision, std::clamp(digits, 0, 4), fs);
    case TFloatFormat::ffExponent:
        return formatExponent(value, precision, std::clamp(digits, 0, 4), fs);
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
        std::string body;
        bool negative = false;
        bool thousands = format != TFloatFormat::ffFixed;
        if (!formatFixedBody(value, precision, digits, thousands, fs, body, negative)) {
            return formatGeneral(value, precision, 0, fs);
        }
        if (format == TFloatFormat::ffCurrency) return currencyText(body, negative, fs);
        return negative ? "-" + body : body;
    }
    }
    return formatGeneral(value, precision, digits, fs);
}

// ---------------------------------------------------------------------------------------------
// FormatFloat pictures.

// Up to three sections split at unquoted ';'; anything after a third ';' is ignored.
std::vector<std::string_view> splitSections(std::string_view picture) {
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < picture.size() && sections.size() < 3; ++i) {
        char c = picture[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(picture.substr(start, i - start));
            start = i + 1;
        }
    }
    if (sections.size() < 3) sections.push_back(picture.substr(start));
    return sections;
}

bool isExponentAt(std::string_view s, std::size_t i) {
    return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

struct SectionLayout {
    int integerPlaces = 0;     // 0 and # before the decimal point
    int firstIntegerZero = -1; // index among the integer places of the first '0'
    int decimalPlaces = 0;     // 0 and # after the decimal point
    int minDecimals = 0;       // up to and including the last '0' after the point
    bool hasDecimalPoint = false;
    bool thousands = false;
    bool scientific = false;
};

SectionLayout scanSection(std::string_view s) {
    SectionLayout layout;
    char quote = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case '0':
        case '#':
            if (layout.hasDecimalPoint) {
                ++layout.decimalPlaces;
                if (c == '0') layout.minDecimals = layout.decimalPlaces;
            } else {
                if (c == '0' && layout.firstIntegerZero < 0) {
                    layout.firstIntegerZero = layout.integerPlaces;
                }
                ++layout.integerPlaces;
            }
            break;
        case '.':
            layout.hasDecimalPoint = true;
            break;
        case ',':
            layout.thousands = true;
            break;
        default:
            if (isExponentAt(s, i)) {
                layout.scientific = true;
                // Digits after E+ belong to the exponent, not to the mantissa.
                i += 2;
                while (i < s.size() && s[i] == '0')
                    ++i;
                --i;
            }
            break;
        }
    }
    return layout;
}

std::string applySection(std::string_view s, const SectionLayout& layout, const DecimalValue& d,
                         int exponentShown, bool minus, const TFormatSettings& fs) {
    // Digit positions: integerDigits digits lie before the decimal point.
    int integerDigits = layout.scientific ? layout.integerPlaces : std::max(d.exponent, 0);
    int pointIndex = layout.scientific ? layout.integerPlaces : d.exponent;
    if (d.IsZero()) {
        integerDigits = 0;
        pointIndex = 0;
    }
    int actualDecimals =
        std::clamp(static_cast<int>(d.digits.size()) - pointIndex, 0, layout.decimalPlaces);
    int decimalsShown = std::max(layout.minDecimals, actualDecimals);
    bool groups = layout.thousands && !layout.scientific && fs.ThousandSeparator != '\0';

    std::string out = minus ? "-" : "";
    auto putIntegerDigit = [&](int power) {
        out.push_back(digitAt(d, pointIndex - 1 - power));
        if (groups && power > 0 && power % 3 == 0) out.push_back(fs.ThousandSeparator);
    };

    int integerIndex = 0;
    int decimalIndex = 0;
    bool afterPoint = false;
    char quote = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                out.push_back(c);
            }
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case ',':
            break;
        case '0':
        case '#':
            if (!afterPoint) {
                int power = layout.integerPlaces - 1 - integerIndex;
                if (integerIndex == 0) {
                    for (int p = integerDigits - 1; p > power; --p)
                        putIntegerDigit(p);
                }
                if (power < integerDigits ||
                    (layout.firstIntegerZero >= 0 && integerIndex >= layout.firstIntegerZero)) {
                    putIntegerDigit(power);
                }
                ++integerIndex;
            } else {
                if (decimalIndex < decimalsShown)
                    out.push_back(digitAt(d, pointIndex + decimalIndex));
                ++decimalIndex;
            }
            break;
        case '.':
            if (!afterPoint) {
                afterPoint = true;
                if (layout.integerPlaces == 0) {
                    for (int p = integerDigits - 1; p >= 0; --p)
                        putIntegerDigit(p);
                }
                if (decimalsShown > 0) out.push_back(fs.DecimalSeparator);
            }
            break;
        default:
            if (isExponentAt(s, i)) {
                out.push_back(c);
                bool alwaysSign = s[i + 1] == '+';
                i += 2;
                int minDigits = 0;
                while (i < s.size() && s[i] == '0') {
                    ++minDigits;
                    ++i;
                }
                --i;
                out += exponentText(exponentShown, std::min(minDigits, 4), alwaysSign);
            } else {
                out.push_back(c);
            }
            break;
        }
    }
    return out;
}

std::string formatFloat(std::string_view picture, double value, const TFormatSettings& fs) {
    if (!std::isfinite(value)) return specialText(value);
    std::vector<std::string_view> sections = splitSections(picture);
    if (sections[0].empty()) return formatGeneral(value, 15, 0, fs);
    auto sectionAt = [&](std::size_t index) -> std::string_view {
        return index < sections.size() ? sections[index] : std::string_view();
    };

    std::size_t chosen = 0;
    if (value < 0 && !sectionAt(1).empty()) chosen = 1;
    if (value == 0 && !sectionAt(2).empty()) chosen = 2;

    std::string_view section = sections[chosen];
    SectionLayout layout = scanSection(section);
    DecimalValue d;
    if (layout.scientific) {
        int places = std::max(layout.integerPlaces + layout.decimalPlaces, 1);
        d = toDecimal(value, places, 9999);
    } else {
        d = toDecimal(value, kMaxPrecision, layout.decimalPlaces);
        if (!d.IsZero() && d.exponent > kMaxPrecision) return formatGeneral(value, 15, 0, fs);
    }
    if (d.IsZero() && chosen != 2) {
        // A value that rounds to zero shows as zero, without a sign.
        chosen = sectionAt(2).empty() ? 0 : 2;
        section = sections[chosen];
        layout = scanSection(section);
        d = DecimalValue{};
    }
    bool minus = chosen == 0 && d.negative && !d.IsZero();
    int exponentShown = d.IsZero() ? 0 : d.exponent - layout.integerPlaces;
    return applySection(section, layout, d, exponentShown, minus, fs);
}

// ---------------------------------------------------------------------------------------------
// Format.

[[noreturn]] void throwFormatError(std::string_view format) {
    throw EConvertError("Format '" + std::string(format) +
                        "' invalid or incompatible with argument");
}

std::size_t utf8Length(std::string_view s) {
    std::size_t count = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

// Byte length of the first `chars` code points.
std::size_t utf8Prefix(std::string_view s, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == chars) return i;
            ++seen;
        }
    }
    return s.size();
}

std::string hexText(std::uint64_t value, int minDigits) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kHex[value & 15]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(text.size()) < minDigits) text.insert(0, minDigits - text.size(), '0');
    return text;
}

std::string padDigits(std::string digits, int precision) {
    if (static_cast<int>(digits.size()) < precision)
        digits.insert(0, precision - digits.size(), '0');
    return digits;
}

std::string formatImpl(std::string_view format, const TFormatArg* args, std::size_t argCount,
                       const TFormatSettings& fs) {
    std::string out;
    std::size_t argIndex = 0;
    std::size_t i = 0;
    auto nextArg = [&]() -> const TFormatArg& {
        if (argIndex >= argCount) throwFormatError(format);
        return args[argIndex++];
    };
    // A number in the format, or '*' taking an integer argument.
    auto readNumber = [&](int& number) -> bool {
        if (i < format.size() && format[i] == '*') {
            ++i;
            const TFormatArg& arg = nextArg();
            const auto* value = std::get_if<std::int64_t>(&arg);
            if (!value) throwFormatError(format);
            number = static_cast<int>(std::clamp<std::int64_t>(*value, -1000000, 1000000));
            return true;
        }
        if (i >= format.size() || format[i] < '0' || format[i] > '9') return false;
        long n = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            n = n * 10 + (format[i] - '0');
            if (n > 1000000) throwFormatError(format);
            ++i;
        }
        number = static_cast<int>(n);
        return true;
    };

    while (i < format.size()) {
        std::size_t percent = format.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(format.substr(i));
            break;
        }
        out.append(format.substr(i, percent - i));
        i = percent + 1;
        if (i >= format.size()) throwFormatError(format);
        if (format[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        int number = 0;
        bool haveNumber = readNumber(number);
        if (haveNumber && i < format.size() && format[i] == ':') {
            if (number < 0) throwFormatError(format);
            argIndex = static_cast<std::size_t>(number);
            ++i;
            haveNumber = false;
        }
        bool leftJustify = false;
        if (i < format.size() && format[i] == '-') {
            leftJustify = true;
            ++i;
        }
        int width = -1;
        if (haveNumber) {
            width = number;
        } else if (readNumber(number)) {
            width = number;
        }
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (!readNumber(precision)) precision = 0;
        }
        if (i >= format.size()) throwFormatError(format);
        char type = format[i++];
        if (type >= 'a' && type <= 'z') type = static_cast<char>(type - 'a' + 'A');

        const TFormatArg& arg = nextArg();
        const auto* asInt = std::get_if<std::int64_t>(&arg);
        const auto* asFloat = std::get_if<double>(&arg);
        std::string text;
        switch (type) {
        case 'D':
        case 'U': {
            if (!asInt) throwFormatError(format);
            std::int64_t v = *asInt;
            if (type == 'U' && v < 0) {
                text = padDigits(std::to_string(static_cast<std::uint64_t>(v)), precision);
            } else {
                std::uint64_t magnitude =
                    v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
                text = padDigits(std::to_string(magnitude), precision);
                if (v < 0) text.insert(text.begin(), '-');
            }
            break;
        }
        case 'X':
            if (!asInt) throwFormatError(format);
            text = hexText(static_cast<std::uint64_t>(*asInt), precision);
            break;
        case 'E':
            if (!asFloat) throwFormatError(format);
            text = floatToStrF(*asFloat, TFloatFormat::ffExponent, precision < 0 ? 15 : precision,
                               3, fs);
            break;
        case 'F':
        case 'N':
        case 'M':
        case 'G': {
            if (!asFloat) throwFormatError(format);
            if (type == 'G') {
                text = floatToStrF(*asFloat, TFloatFormat::ffGeneral,
                                   precision < 0 ? 15 : precision, 3, fs);
                break;
            }
            TFloatFormat ff = type == 'F'   ? TFloatFormat::ffFixed
                              : type == 'N' ? TFloatFormat::ffNumber
                                            : TFloatFormat::ffCurrency;
            int decimals = precision >= 0 ? precision : (type == 'M' ? fs.CurrencyDecimals : 2);
            text = floatToStrF(*asFloat, ff, kMaxPrecision, decimals, fs);
            break;
        }
        case 'S': {
            const auto* s = std::get_if<std::string>(&arg);
            if (!s) throwFormatError(format);
            std::string_view sv = *s;
            if (precision >= 0)
                sv = sv.substr(0, utf8Prefix(sv, static_cast<std::size_t>(precision)));
            text = std::string(sv);
            break;
        }
        case 'P': {
            const auto* p = std::get_if<const void*>(&arg);
            if (!p) throwFormatError(format);
            text = hexText(reinterpret_cast<std::uintptr_t>(*p), 2 * sizeof(void*));
            break;
        }
        default:
            throwFormatError(format);
        }
        std::size_t length = utf8Length(text);
        if (width > 0 && length < static_cast<std::size_t>(width)) {
            std::string padding(static_cast<std::size_t>(width) - length, ' ');
            text = leftJustify ? text + padding : padding + text;
        }
        out += text;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Text to numbers.

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool parseFloat(std::string_view text, double& result, const TFormatSettings& fs) {
    std::size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    std::string_view s = text.substr(b, e - b);
    std::string normal;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int mantissaDigits = 0;
    int leadingIntegerDigits = 0; // significant digits before the point
    bool seenNonZero = false;
    int leadingFractionZeros = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (s[i] != '0') seenNonZero = true;
        if (seenNonZero) ++leadingIntegerDigits;
        normal.push_back(s[i++]);
        ++mantissaDigits;
    }
    if (i < s.size() && s[i] == fs.DecimalSeparator) {
        ++i;
        normal.push_back('.');
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (s[i] != '0') seenNonZero = true;
            if (!seenNonZero) ++leadingFractionZeros;
            normal.push_back(s[i++]);
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) return false;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        normal.push_back('e');
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            normal.push_back(s[i++]);
        }
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
            normal.push_back(s[i++]);
        }
        if (expNegative) exponent = -exponent;
    }
    if (i != s.size()) return false;
    if (!seenNonZero) {
        result = negative ? -0.0 : 0.0;
        return true;
    }
    double value = 0;
    auto parsed = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (parsed.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is an error.
        long magnitude =
            (leadingIntegerDigits > 0 ? leadingIntegerDigits : -leadingFractionZeros) + exponent;
        if (magnitude > 0) return false;
        value = 0;
    } else if (parsed.ec != std::errc() || parsed.ptr != normal.data() + normal.size()) {
        return false;
    }
    if (!std::isfinite(value)) return false;
    result = negative ? -value : value;
    return true;
}

// Decimal or hex ("$", "0x") integers; hex fills the whole width of the type, so "$FFFFFFFF"
// reads as -1 for a 32-bit result.
bool parseInteger(std::string_view text, int bits, std::int64_t& result) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return false;
    std::uint64_t value = 0;
    if (hex) {
        std::uint64_t limit =
            bits == 64 ? std::numeric_limits<std::uint64_t>::max() : 0xFFFFFFFFull;
        for (; i < text.size(); ++i) {
            char c = text[i];
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return false;
            }
            if (value > (limit >> 4)) return false;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
        std::int64_t signedValue =
            bits == 64 ? static_cast<std::int64_t>(value)
                       : static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        result = negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(signedValue))
                          : signedValue;
        if (bits == 32) result = static_cast<std::int32_t>(result);
        return true;
    }
    std::uint64_t limit = bits == 64 ? (negative ? 9223372036854775808ull : 9223372036854775807ull)
                                     : (negative ? 2147483648ull : 2147483647ull);
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    result = negative ? static_cast<std::int64_t>(0 - value) : static_cast<std::int64_t>(value);
    return true;
}

[[noreturn]] void throwNotInteger(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

TFormatSettings makeDefaultSettings() {
    TFormatSettings fs;
    static const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kLongMonths[12] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};
    static const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kLongDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};
    for (int i = 0; i < 12; ++i) {
        fs.ShortMonthNames[i] = kShortMonths[i];
        fs.LongMonthNames[i] = kLongMonths[i];
    }
    for (int i = 0; i < 7; ++i) {
        fs.ShortDayNames[i] = kShortDays[i];
        fs.LongDayNames[i] = kLongDays[i];
    }
    return fs;
}

} // namespace

TFormatSettings& FormatSettings() {
    static TFormatSettings settings = makeDefaultSettings();
    return settings;
}

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args) {
    return formatImpl(format, args.begin(), args.size(), FormatSettings());
}

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& fs) {
    return formatImpl(format, args.begin(), args.size(), fs);
}

std::string Format(std::string_view format, std::span<const TFormatArg> args) {
    return formatImpl(format, args.data(), args.size(), FormatSettings());
}

std::string FormatFloat(std::string_view picture, double value) {
    return formatFloat(picture, value, FormatSettings());
}

std::string FormatFloat(std::string_view picture, double value, const TFormatSettings& fs) {
    return formatFloat(picture, value, fs);
}

std::string FloatToStr(double value) {
    return FloatToStr(value, FormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& fs) {
    return floatToStrF(value, TFloatFormat::ffGeneral, 15, 0, fs);
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    return floatToStrF(value, format, precision, digits, FormatSettings());
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs) {
    return floatToStrF(value, format, precision, digits, fs);
}

double StrToFloat(std::string_view text) {
    double result = 0;
    if (!parseFloat(text, result, FormatSettings())) {
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    }
    return result;
}

bool TryStrToFloat(std::string_view text, double& result) {
    return parseFloat(text, result, FormatSettings());
}

double StrToFloatDef(std::string_view text, double defaultValue) {
    double result = 0;
    return parseFloat(text, result, FormatSettings()) ? result : defaultValue;
}

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

std::string IntToHex(std::int64_t value, int digits) {
    return hexText(static_cast<std::uint64_t>(value), digits);
}

int StrToInt(std::string_view text) {
    std::int64_t result = 0;
    if (!parseInteger(text, 32, result)) throwNotInteger(text);
    return static_cast<int>(result);
}

std::int64_t StrToInt64(std::string_view text) {
    std::int64_t result = 0;
    if (!parseInteger(text, 64, result)) throwNotInteger(text);
    return result;
}

bool TryStrToInt(std::string_view text, int& result) {
    std::int64_t value = 0;
    if (!parseInteger(text, 32, value)) return false;
    result = static_cast<int>(value);
    return true;
}

bool TryStrToInt64(std::string_view text, std::int64_t& result) {
    return parseInteger(text, 64, result);
}

int StrToIntDef(std::string_view text, int defaultValue) {
    int result = 0;
    return TryStrToInt(text, result) ? result : defaultValue;
}
