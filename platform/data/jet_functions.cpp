#include "platform/data/jet_functions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/data/sqlite_provider.h"

namespace {

// ---- errors, arguments and results -------------------------------------------------------------

// Jet's run-time errors; the call reports them as "Name: message".
struct JetError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
const char* const kInvalidCall = "Invalid procedure call or argument";
const char* const kOverflow = "Overflow";
const char* const kTypeMismatch = "Type mismatch";
const char* const kInvalidNull = "Invalid use of Null";

// The days Jet's dates cover: 100-01-01 to 9999-12-31.
constexpr std::int64_t kFirstDay = -657434;
constexpr std::int64_t kLastDay = 2958465;
constexpr std::int64_t kMsPerDay = 86400000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
    return a - FloorDiv(a, b) * b;
}

bool IsNull(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

std::string Text(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    if (!t && sqlite3_value_type(v) != SQLITE_NULL) throw std::bad_alloc();
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

bool TextNumber(const std::string& s, double& out) {
    return TryStrToFloat(s, out) && std::isfinite(out);
}

// A number as Jet converts one: numbers, numeric text, and dates as their serial.
double Number(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_NULL:
        throw JetError(kInvalidNull);
    case SQLITE_TEXT: {
        std::string s = Text(v);
        double d;
        if (TextNumber(s, d)) return d;
        TDateTime date;
        if (SqlTextToDateTime(s, date)) return date;
        throw JetError(kTypeMismatch);
    }
    default:
        throw JetError(kTypeMismatch);
    }
}

// A whole number in [lo, hi], halves rounded to even as Jet's conversions do.
std::int64_t Whole(sqlite3_value* v, double lo, double hi) {
    double r = RoundHalfEven(Number(v));
    if (!(r >= lo && r <= hi)) throw JetError(kOverflow);
    return static_cast<std::int64_t>(r);
}

bool InDateRange(double serial) {
    double whole = std::trunc(serial);
    return whole >= static_cast<double>(kFirstDay) && whole <= static_cast<double>(kLastDay);
}

// A date as Jet converts one: date text (this layer's or the format settings'), or a number
// taken as the serial.
TDateTime Date(sqlite3_value* v) {
    TDateTime d = 0;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        d = sqlite3_value_double(v);
        break;
    case SQLITE_NULL:
        throw JetError(kInvalidNull);
    case SQLITE_TEXT: {
        std::string s = Text(v);
        double n;
        if (!SqlTextToDateTime(s, d) && !TryStrToDateTime(s, d)) {
            if (!TextNumber(s, n)) throw JetError(kTypeMismatch);
            d = n;
        }
        break;
    }
    default:
        throw JetError(kTypeMismatch);
    }
    if (!InDateRange(d)) throw JetError(kOverflow);
    return d;
}

// Jet's truth of a condition: Null is false, numbers are true when not 0.
bool Truth(sqlite3_value* v) {
    if (IsNull(v)) return false;
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        std::string s = Trim(Text(v));
        if (SameText(s, "true")) return true;
        if (SameText(s, "false")) return false;
    }
    return Number(v) != 0;
}

struct Call {
    sqlite3_context* ctx;
    int argc;
    sqlite3_value** argv;

    sqlite3_value* operator[](int i) const { return argv[i]; }
    bool Has(int i) const { return i < argc; }
    bool AnyNull() const {
        for (int i = 0; i < argc; ++i)
            if (IsNull(argv[i])) return true;
        return false;
    }
    void Null() const { sqlite3_result_null(ctx); }
    void Int(std::int64_t v) const { sqlite3_result_int64(ctx, v); }
    void Real(double v) const {
        if (!std::isfinite(v)) throw JetError(kOverflow);
        sqlite3_result_double(ctx, v);
    }
    void Str(const std::string& s) const {
        sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void DateTime(TDateTime d) const { Str(DateTimeToSqlText(d)); }
    void Value(sqlite3_value* v) const { sqlite3_result_value(ctx, v); }
};

// ---- dates -------------------------------------------------------------------------------------

// A date split into its calendar day (as a serial) and the milliseconds into that day, so that
// days before 1899-12-30 count the same way as those after.
struct Moment {
    std::int64_t day = 0;
    std::int64_t ms = 0;
    int year = 0, month = 0, dayOfMonth = 0;
};

std::int64_t DaySerial(int year, int month, int day) {
    if (year == 10000 && month == 1 && day == 1) return kLastDay + 1;
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d)) throw JetError(kInvalidCall);
    return static_cast<std::int64_t>(d);
}

Moment Split(TDateTime value) {
    Moment m;
    int h, mi, s, ms;
    DecodeDate(value, m.year, m.month, m.dayOfMonth);
    DecodeTime(value, h, mi, s, ms);
    m.day = DaySerial(m.year, m.month, m.dayOfMonth);
    m.ms = ((h * 60LL + mi) * 60 + s) * 1000 + ms;
    return m;
}

TDateTime Join(std::int64_t day, std::int64_t ms) {
    day += FloorDiv(ms, kMsPerDay);
    ms = FloorMod(ms, kMsPerDay);
    if (day < kFirstDay || day > kLastDay) throw JetError(kInvalidCall);
    double date = static_cast<double>(day);
    double time = static_cast<double>(ms) / kMsPerDay;
    return date >= 0 ? date + time : date - time;
}

// 1 = Sunday .. 7 = Saturday; the serial day 1 was a Sunday.
int WeekdayOf(std::int64_t day) {
    return static_cast<int>(FloorMod(day - 1, 7)) + 1;
}

// The weekday counted from the first day of the week (1 = Sunday .. 7 = Saturday).
int WeekdayFrom(std::int64_t day, int firstDay) {
    return static_cast<int>(FloorMod(WeekdayOf(day) - firstDay, 7)) + 1;
}

std::int64_t WeekStart(std::int64_t day, int firstDay) {
    return day - (WeekdayFrom(day, firstDay) - 1);
}

// Where week 1 of the year starts: the week of January 1 (1), the first with four days in the
// year (2), or the first whole week (3).
std::int64_t FirstWeek(int year, int firstDay, int firstWeek) {
    std::int64_t jan1 = DaySerial(year, 1, 1);
    return WeekStart(jan1 + (firstWeek == 2 ? 3 : firstWeek == 3 ? 6 : 0), firstDay);
}

int WeekOfYear(const Moment& m, int firstDay, int firstWeek) {
    std::int64_t start = FirstWeek(m.year, firstDay, firstWeek);
    if (firstWeek != 1) {
        // Days before week 1 close the last week of the year before; days of the next year's
        // week 1 are in week 1.
        if (m.day < start)
            start = FirstWeek(m.year - 1, firstDay, firstWeek);
        else if (m.day >= FirstWeek(m.year + 1, firstDay, firstWeek))
            return 1;
    }
    return static_cast<int>((m.day - start) / 7 + 1);
}

int DayOfYear(const Moment& m) {
    return static_cast<int>(m.day - DaySerial(m.year, 1, 1) + 1);
}

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval ReadInterval(sqlite3_value* v) {
    if (IsNull(v)) throw JetError(kInvalidNull);
    static const struct {
        const char* name;
        Interval interval;
    } names[] = {{"yyyy", Interval::Year},   {"q", Interval::Quarter}, {"m", Interval::Month},
                 {"y", Interval::DayOfYear}, {"d", Interval::Day},     {"w", Interval::Weekday},
                 {"ww", Interval::Week},     {"h", Interval::Hour},    {"n", Interval::Minute},
                 {"s", Interval::Second}};
    std::string s = Text(v);
    for (const auto& n : names)
        if (SameText(s, n.name)) return n.interval;
    throw JetError(kInvalidCall);
}

// The optional first day of the week (0 = the system's, Sunday) and first week of the year
// (0 = the system's, the week of January 1).
int FirstDayArg(const Call& c, int i) {
    if (!c.Has(i)) return 1;
    std::int64_t v = Whole(c[i], -32768, 32767);
    if (v < 0 || v > 7) throw JetError(kInvalidCall);
    return v == 0 ? 1 : static_cast<int>(v);
}

int FirstWeekArg(const Call& c, int i) {
    if (!c.Has(i)) return 1;
    std::int64_t v = Whole(c[i], -32768, 32767);
    if (v < 0 || v > 3) throw JetError(kInvalidCall);
    return v == 0 ? 1 : static_cast<int>(v);
}

std::int64_t DatePartOf(Interval interval, const Moment& m, int firstDay, int firstWeek) {
    switch (interval) {
    case Interval::Year:
        return m.year;
    case Interval::Quarter:
        return (m.month - 1) / 3 + 1;
    case Interval::Month:
        return m.month;
    case Interval::DayOfYear:
        return DayOfYear(m);
    case Interval::Day:
        return m.dayOfMonth;
    case Interval::Weekday:
        return WeekdayFrom(m.day, firstDay);
    case Interval::Week:
        return WeekOfYear(m, firstDay, firstWeek);
    case Interval::Hour:
        return m.ms / 3600000;
    case Interval::Minute:
        return m.ms / 60000 % 60;
    case Interval::Second:
        return m.ms / 1000 % 60;
    }
    return 0;
}

// DateDiff counts the boundaries crossed: new years, quarters, months, days, weeks starting
// on the first day of the week ("ww"), hours, minutes, seconds; "w" counts whole weeks.
std::int64_t DateDiffOf(Interval interval, const Moment& a, const Moment& b, int firstDay) {
    switch (interval) {
    case Interval::Year:
        return b.year - a.year;
    case Interval::Quarter:
        return (b.year * 4LL + (b.month - 1) / 3) - (a.year * 4LL + (a.month - 1) / 3);
    case Interval::Month:
        return (b.year * 12LL + b.month) - (a.year * 12LL + a.month);
    case Interval::DayOfYear:
    case Interval::Day:
        return b.day - a.day;
    case Interval::Weekday:
        return (b.day - a.day) / 7;
    case Interval::Week:
        return FloorDiv(b.day - firstDay, 7) - FloorDiv(a.day - firstDay, 7);
    case Interval::Hour:
        return (b.day * 24 + b.ms / 3600000) - (a.day * 24 + a.ms / 3600000);
    case Interval::Minute:
        return (b.day * 1440 + b.ms / 60000) - (a.day * 1440 + a.ms / 60000);
    case Interval::Second:
        return (b.day * 86400 + b.ms / 1000) - (a.day * 86400 + a.ms / 1000);
    }
    return 0;
}

TDateTime DateAddOf(Interval interval, std::int64_t n, const Moment& m) {
    std::int64_t months = 0;
    switch (interval) {
    case Interval::Year:
        months = n * 12;
        break;
    case Interval::Quarter:
        months = n * 3;
        break;
    case Interval::Month:
        months = n;
        break;
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday:
        return Join(m.day + n, m.ms);
    case Interval::Week:
        return Join(m.day + n * 7, m.ms);
    case Interval::Hour:
        return Join(m.day, m.ms + n * 3600000);
    case Interval::Minute:
        return Join(m.day, m.ms + n * 60000);
    case Interval::Second:
        return Join(m.day, m.ms + n * 1000);
    }
    // The same day of the month, or the month's last day when it is shorter.
    std::int64_t total = m.year * 12LL + (m.month - 1) + months;
    std::int64_t year = FloorDiv(total, 12);
    int month = static_cast<int>(FloorMod(total, 12)) + 1;
    if (year < 100 || year > 9999) throw JetError(kInvalidCall);
    int y = static_cast<int>(year);
    return Join(DaySerial(y, month, std::min(m.dayOfMonth, DaysInMonth(y, month))), m.ms);
}

// ---- Format ------------------------------------------------------------------------------------

// A literal for the platform's pictures, which quote with either quote mark.
std::string Literal(std::string_view text) {
    char q = text.find('"') == std::string_view::npos ? '"' : '\'';
    return q + std::string(text) + q;
}

bool StartsNoCase(std::string_view s, std::size_t at, std::string_view prefix) {
    return at + prefix.size() <= s.size() && SameText(s.substr(at, prefix.size()), prefix);
}

// Jet's picture sections: split at ';' outside "..." and \ escapes.
std::vector<std::string> Sections(std::string_view p) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < p.size(); ++i) {
        char c = p[i];
        if (c == '\\' && i + 1 < p.size()) {
            out.back() += p.substr(i, 2);
            ++i;
        } else if (c == '"') {
            std::size_t j = p.find('"', i + 1);
            if (j == std::string_view::npos) j = p.size() - 1;
            out.back() += p.substr(i, j - i + 1);
            i = j;
        } else if (c == ';') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

enum class PictureKind { Number, Date, Text };

// Digit placeholders make a number picture, date and time letters a date picture, @ & < > !
// a text picture.
PictureKind KindOf(std::string_view p) {
    bool digits = false, date = false, text = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            std::size_t j = p.find('"', i + 1);
            i = j == std::string_view::npos ? p.size() : j;
        } else if (c == '0' || c == '#') {
            digits = true;
        } else if (std::string_view("dmyhnsqwct/:").find(c) != std::string_view::npos ||
                   StartsNoCase(p, i, "am/pm") || StartsNoCase(p, i, "a/p") ||
                   StartsNoCase(p, i, "ampm")) {
            date = true;
        } else if (std::string_view("@&<>!").find(c) != std::string_view::npos) {
            text = true;
        }
    }
    return digits ? PictureKind::Number
           : date ? PictureKind::Date
           : text ? PictureKind::Text
                  : PictureKind::Number;
}

struct NumberSection {
    std::string picture; // in FormatFloat's terms
    bool percent = false;
    int scale = 0; // thousands divided away
};

// A Jet number section for FormatFloat: \x and ' are literals, % multiplies by 100, commas
// after the last digit placeholder divide by 1000 each.
NumberSection ToFloatSection(std::string_view s) {
    NumberSection out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            out.picture += Literal(s.substr(++i, 1));
        } else if (c == '"') {
            std::size_t j = s.find('"', i + 1);
            if (j == std::string_view::npos) j = s.size() - 1;
            out.picture += s.substr(i, j - i + 1);
            i = j;
        } else if (c == '\'') {
            out.picture += Literal("'");
        } else if (c == ',') {
            std::size_t j = i;
            while (j < s.size() && s[j] == ',')
                ++j;
            if (j < s.size() && (s[j] == '0' || s[j] == '#')) {
                out.picture += ',';
            } else {
                out.scale += static_cast<int>(j - i);
            }
            i = j - 1;
        } else {
            if (c == '%') out.percent = true;
            out.picture += c;
        }
    }
    return out;
}

std::string FormatNumberPicture(double value, const std::vector<std::string>& sections) {
    std::vector<NumberSection> parts;
    for (std::size_t i = 0; i < sections.size() && i < 3; ++i)
        parts.push_back(ToFloatSection(sections[i]));
    std::size_t chosen = 0;
    if (value < 0 && parts.size() > 1 && !sections[1].empty())
        chosen = 1;
    else if (value == 0 && parts.size() > 2 && !sections[2].empty())
        chosen = 2;
    double x = value;
    if (parts[chosen].percent) x *= 100;
    for (int k = 0; k < parts[chosen].scale; ++k)
        x /= 1000;
    std::string picture;
    for (std::size_t i = 0; i < parts.size(); ++i)
        picture += (i ? ";" : "") + parts[i].picture;
    return FormatFloat(picture, x);
}

// Numbers as Jet shows them with no format: 15 digits, the exponent signed and of two digits
// at least.
std::string GeneralNumber(double value) {
    std::string s = FloatToStr(value);
    std::size_t e = s.find('E');
    if (e == std::string::npos) return s;
    std::string sign = "+";
    std::size_t digits = e + 1;
    if (digits < s.size() && (s[digits] == '-' || s[digits] == '+')) {
        sign = s[digits] == '-' ? "-" : "+";
        ++digits;
    }
    std::string exponent = s.substr(digits);
    if (exponent.size() < 2) exponent.insert(0, 2 - exponent.size(), '0');
    return s.substr(0, e + 1) + sign + exponent;
}

std::string GeneralDate(TDateTime value) {
    Moment m = Split(value);
    if (m.ms == 0) return FormatDateTime("ddddd", value);
    if (m.day == 0) return FormatDateTime("tt", value);
    return FormatDateTime("ddddd tt", value);
}

// A Jet date picture in the platform's terms; the parts the platform lacks (y, q, w, ww, c)
// are worked out here and put in as literals.
std::string ToDatePicture(std::string_view p, TDateTime value, int firstDay, int firstWeek) {
    const Moment m = Split(value);
    std::string out;
    for (std::size_t i = 0; i < p.size();) {
        char c = p[i];
        char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '\\' && i + 1 < p.size()) {
            out += Literal(p.substr(i + 1, 1));
            i += 2;
            continue;
        }
        if (c == '"') {
            std::size_t j = p.find('"', i + 1);
            if (j == std::string_view::npos) j = p.size() - 1;
            out += p.substr(i, j - i + 1);
            i = j + 1;
            continue;
        }
        if (c == '\'') {
            out += Literal("'");
            ++i;
            continue;
        }
        if (lc == 'a') {
            for (std::string_view marker : {"am/pm", "a/p", "ampm"})
                if (StartsNoCase(p, i, marker)) {
                    out += p.substr(i, marker.size());
                    i += marker.size();
                    lc = 0;
                    break;
                }
            if (!lc) continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < p.size() && std::tolower(static_cast<unsigned char>(p[i + run])) == lc)
            ++run;
        switch (lc) {
        case 'y':
            for (std::size_t left = run; left > 0;) {
                std::size_t take = left >= 4 ? 4 : left >= 2 ? 2 : 1;
                out += take == 1 ? Literal(std::to_string(DayOfYear(m))) : std::string(take, 'y');
                left -= take;
            }
            break;
        case 'w':
            for (std::size_t left = run; left > 0;) {
                std::size_t take = left >= 2 ? 2 : 1;
                int n =
                    take == 2 ? WeekOfYear(m, firstDay, firstWeek) : WeekdayFrom(m.day, firstDay);
                out += Literal(std::to_string(n));
                left -= take;
            }
            break;
        case 'q':
            for (std::size_t k = 0; k < run; ++k)
                out += Literal(std::to_string((m.month - 1) / 3 + 1));
            break;
        case 'c':
            for (std::size_t k = 0; k < run; ++k)
                out += Literal(GeneralDate(value));
            break;
        case 't':
            out += "tt"; // ttttt: the long time
            break;
        case 'z':
            out += Literal(p.substr(i, run)); // the platform's milliseconds; a letter in Jet
            break;
        case 'd':
        case 'm':
        case 'h':
        case 'n':
        case 's':
            out += LowerCase(p.substr(i, run)); // the platform counts a run of one case only
            break;
        default:
            out += p.substr(i, run);
            break;
        }
        i += run;
    }
    return out;
}

std::size_t Utf8CharLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// @ shows a character or a space, & a character or nothing, filled from the right unless !
// asks for the left; < and > change the case.
std::string FormatTextPicture(std::string text, std::string_view p) {
    std::size_t holders = 0;
    bool leftToRight = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '\\')
            ++i;
        else if (p[i] == '"')
            i = std::min(p.find('"', i + 1), p.size());
        else if (p[i] == '@' || p[i] == '&')
            ++holders;
        else if (p[i] == '!')
            leftToRight = true;
        else if (p[i] == '<')
            text = AnsiLowerCase(text);
        else if (p[i] == '>')
            text = AnsiUpperCase(text);
    }
    std::vector<std::string> chars;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n =
            std::min(Utf8CharLength(static_cast<unsigned char>(text[i])), text.size() - i);
        chars.push_back(text.substr(i, n));
        i += n;
    }
    // The characters beyond the placeholders stay whole, before (or after) them.
    std::size_t extra = chars.size() > holders ? chars.size() - holders : 0;
    std::size_t missing = holders > chars.size() ? holders - chars.size() : 0;
    std::string head, tail;
    for (std::size_t k = 0; k < extra; ++k)
        (leftToRight ? tail : head) += chars[leftToRight ? holders + k : k];
    std::string out;
    std::size_t holder = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        char c = p[i];
        if (c == '\\' && i + 1 < p.size()) {
            out += p[++i];
        } else if (c == '"') {
            std::size_t j = p.find('"', i + 1);
            if (j == std::string_view::npos) j = p.size();
            out += p.substr(i + 1, j - i - 1);
            i = j;
        } else if (c == '@' || c == '&') {
            if (holder == 0) out += head;
            std::size_t k = holder++;
            bool shown = leftToRight ? k < chars.size() : k >= missing;
            if (shown)
                out += chars[leftToRight ? k : extra + k - missing];
            else if (c == '@')
                out += ' ';
            if (holder == holders) out += tail;
        } else if (c != '!' && c != '<' && c != '>') {
            out += c;
        }
    }
    return holders == 0 ? out + text : out;
}

// What Format was given: a date (this layer's date text), a number, text, or Null.
struct Shown {
    enum class Kind { Null, Number, Date, Text };
    Kind kind = Kind::Null;
    double number = 0;
    bool integer = false;
    std::int64_t whole = 0;
    std::string text;

    explicit Shown(sqlite3_value* v) {
        switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return;
        case SQLITE_INTEGER:
            kind = Kind::Number;
            integer = true;
            whole = sqlite3_value_int64(v);
            number = static_cast<double>(whole);
            return;
        case SQLITE_FLOAT:
            kind = Kind::Number;
            number = sqlite3_value_double(v);
            if (!std::isfinite(number)) throw JetError(kOverflow);
            return;
        case SQLITE_TEXT:
            text = Text(v);
            kind = SqlTextToDateTime(text, number) ? Kind::Date : Kind::Text;
            return;
        default:
            throw JetError(kTypeMismatch);
        }
    }
    // As a number; text that is not one is shown as it is.
    bool AsNumber(double& out) const {
        if (kind == Kind::Text) return TextNumber(text, out);
        out = number;
        return true;
    }
    bool AsDate(TDateTime& out) const {
        if (kind == Kind::Text && !TryStrToDateTime(text, out) && !TextNumber(text, out))
            return false;
        if (kind != Kind::Text) out = number;
        if (!InDateRange(out)) throw JetError(kOverflow);
        return true;
    }
    std::string AsText() const {
        switch (kind) {
        case Kind::Number:
            return integer ? IntToStr(whole) : GeneralNumber(number);
        case Kind::Date:
            return GeneralDate(number);
        default:
            return text;
        }
    }
};

// Jet's named formats: dates in the platform's terms, numbers as Jet pictures.
const char* NamedDateFormat(std::string_view name) {
    static const struct {
        const char* name;
        const char* picture;
    } formats[] = {{"Long Date", "dddddd"}, {"Medium Date", "dd-mmm-yy"},  {"Short Date", "ddddd"},
                   {"Long Time", "tt"},     {"Medium Time", "hh:nn ampm"}, {"Short Time", "hh:nn"}};
    for (const auto& f : formats)
        if (SameText(name, f.name)) return f.picture;
    return nullptr;
}

const char* NamedNumberFormat(std::string_view name) {
    static const struct {
        const char* name;
        const char* picture;
    } formats[] = {{"Fixed", "0.00"},
                   {"Standard", "#,##0.00"},
                   {"Percent", "0.00%"},
                   {"Scientific", "0.00E+00"}};
    for (const auto& f : formats)
        if (SameText(name, f.name)) return f.picture;
    return nullptr;
}

const char* const kTruthFormats[][3] = {
    {"Yes/No", "Yes", "No"}, {"True/False", "True", "False"}, {"On/Off", "On", "Off"}};

void FormatFunction(const Call& c) {
    const Shown value(c[0]);
    const std::string picture = c.Has(1) && !IsNull(c[1]) ? Text(c[1]) : "";
    const int firstDay = FirstDayArg(c, 2);
    const int firstWeek = FirstWeekArg(c, 3);
    double number = 0;
    TDateTime date = 0;

    if (picture.empty()) {
        if (value.kind == Shown::Kind::Null) return c.Null();
        return c.Str(value.AsText());
    }
    if (SameText(picture, "General Date") || NamedDateFormat(picture)) {
        if (value.kind == Shown::Kind::Null) return c.Null();
        if (!value.AsDate(date)) return c.Str(value.text);
        const char* named = NamedDateFormat(picture);
        return c.Str(named ? FormatDateTime(named, date) : GeneralDate(date));
    }
    const bool general = SameText(picture, "General Number");
    const bool currency = SameText(picture, "Currency");
    const char* named = NamedNumberFormat(picture);
    const char* const* truth = nullptr;
    for (const auto& t : kTruthFormats)
        if (SameText(picture, t[0])) truth = t;
    if (general || currency || named || truth) {
        if (value.kind == Shown::Kind::Null) return c.Null();
        if (!value.AsNumber(number)) return c.Str(value.text);
        if (truth) return c.Str(number != 0 ? truth[1] : truth[2]);
        if (general) return c.Str(value.integer ? IntToStr(value.whole) : GeneralNumber(number));
        if (currency)
            return c.Str(FloatToStrF(number, TFloatFormat::ffCurrency, 15,
                                     FormatSettings().CurrencyDecimals));
        return c.Str(FormatNumberPicture(number, Sections(named)));
    }

    const std::vector<std::string> sections = Sections(picture);
    switch (KindOf(picture)) {
    case PictureKind::Number:
        if (value.kind == Shown::Kind::Null) {
            // The fourth section is for Null.
            if (sections.size() < 4) return c.Null();
            return c.Str(FormatNumberPicture(0, {sections[3]}));
        }
        if (!value.AsNumber(number)) return c.Str(value.text);
        return c.Str(FormatNumberPicture(number, sections));
    case PictureKind::Date:
        if (value.kind == Shown::Kind::Null) return c.Null();
        if (!value.AsDate(date)) return c.Str(value.text);
        return c.Str(FormatDateTime(ToDatePicture(picture, date, firstDay, firstWeek), date));
    case PictureKind::Text: {
        // The second section is for Null and empty text.
        std::string text = value.AsText();
        if (value.kind == Shown::Kind::Null || text.empty()) {
            if (sections.size() > 1) return c.Str(FormatTextPicture("", sections[1]));
            return value.kind == Shown::Kind::Null ? c.Null() : c.Str("");
        }
        return c.Str(FormatTextPicture(text, sections[0]));
    }
    }
}

// ---- text --------------------------------------------------------------------------------------

// Code points of UTF-8 text, so Mid/Left/Right/Len count characters as Jet does.
std::vector<std::size_t> CharStarts(const std::string& s) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

std::string Substr(const std::string& s, long long first, long long count) {
    auto starts = CharStarts(s);
    long long n = static_cast<long long>(starts.size()) - 1;
    if (first < 0) first = 0;
    if (first > n) first = n;
    if (count < 0 || count > n - first) count = n - first;
    return s.substr(starts[static_cast<std::size_t>(first)],
                    starts[static_cast<std::size_t>(first + count)] -
                        starts[static_cast<std::size_t>(first)]);
}

// ---- the scalar functions ----------------------------------------------------------------------

struct JetFunction {
    const char* name;     // as Jet spells it, for messages
    const char* sqlName;  // as the translation calls it
    int minArgs, maxArgs; // maxArgs -1: any number
    void (*body)(const Call&);
};

template <int Part> void DatePartOfDate(const Call& c) {
    if (c.AnyNull()) return c.Null();
    Moment m = Split(Date(c[0]));
    static const Interval parts[] = {Interval::Year, Interval::Month,  Interval::Day,
                                     Interval::Hour, Interval::Minute, Interval::Second};
    c.Int(DatePartOf(parts[Part], m, 1, 1));
}

// The whole number of an Int or Fix: integers stay as they are.
void WholePart(const Call& c, double (*op)(double)) {
    if (c.AnyNull()) return c.Null();
    if (sqlite3_value_type(c[0]) == SQLITE_INTEGER) return c.Value(c[0]);
    c.Real(op(Number(c[0])));
}

// A conversion to a whole number in [lo, hi].
template <long long Lo, long long Hi> void ToWhole(const Call& c) {
    c.Int(Whole(c[0], static_cast<double>(Lo), static_cast<double>(Hi)));
}

double Checked(double v) {
    if (std::isnan(v)) throw JetError(kInvalidCall);
    return v;
}

void MathFunction(const Call& c, double (*op)(double)) {
    if (c.AnyNull()) return c.Null();
    c.Real(Checked(op(Number(c[0]))));
}

const JetFunction kFunctions[] = {
    {"Year", "year", 1, 1, DatePartOfDate<0>},
    {"Month", "month", 1, 1, DatePartOfDate<1>},
    {"Day", "day", 1, 1, DatePartOfDate<2>},
    {"Hour", "hour", 1, 1, DatePartOfDate<3>},
    {"Minute", "minute", 1, 1, DatePartOfDate<4>},
    {"Second", "second", 1, 1, DatePartOfDate<5>},
    {"Now", "now", 0, 0, [](const Call& c) { c.DateTime(Now()); }},
    {"Date", "date", 0, 0, [](const Call& c) { c.DateTime(::Date()); }},
    {"Time", "time", 0, 0, [](const Call& c) { c.DateTime(Time()); }},
    {"Weekday", "weekday", 1, 2,
     [](const Call& c) {
         if (IsNull(c[0])) return c.Null();
         c.Int(WeekdayFrom(Split(Date(c[0])).day, FirstDayArg(c, 1)));
     }},
    {"DatePart", "datepart", 2, 4,
     [](const Call& c) {
         Interval interval = ReadInterval(c[0]);
         int firstDay = FirstDayArg(c, 2), firstWeek = FirstWeekArg(c, 3);
         if (IsNull(c[1])) return c.Null();
         c.Int(DatePartOf(interval, Split(Date(c[1])), firstDay, firstWeek));
     }},
    {"DateDiff", "datediff", 3, 5,
     [](const Call& c) {
         Interval interval = ReadInterval(c[0]);
         int firstDay = FirstDayArg(c, 3);
         FirstWeekArg(c, 4); // checked; weeks are counted by their first day alone
         if (IsNull(c[1]) || IsNull(c[2])) return c.Null();
         c.Int(DateDiffOf(interval, Split(Date(c[1])), Split(Date(c[2])), firstDay));
     }},
    {"DateAdd", "dateadd", 3, 3,
     [](const Call& c) {
         Interval interval = ReadInterval(c[0]);
         std::int64_t n = Whole(c[1], -2147483648.0, 2147483647.0);
         if (IsNull(c[2])) return c.Null();
         c.DateTime(DateAddOf(interval, n, Split(Date(c[2]))));
     }},
    {"DateSerial", "dateserial", 3, 3,
     [](const Call& c) {
         std::int64_t year = Whole(c[0], -32768, 32767);
         std::int64_t month = Whole(c[1], -32768, 32767);
         std::int64_t day = Whole(c[2], -32768, 32767);
         if (year >= 0 && year <= 29)
             year += 2000;
         else if (year >= 30 && year <= 99)
             year += 1900;
         std::int64_t total = year * 12 + month - 1;
         std::int64_t y = FloorDiv(total, 12);
         if (y < 1 || y > 9999) throw JetError(kInvalidCall);
         std::int64_t first =
             DaySerial(static_cast<int>(y), static_cast<int>(FloorMod(total, 12)) + 1, 1);
         c.DateTime(Join(first + day - 1, 0));
     }},
    {"Int", "int", 1, 1,
     [](const Call& c) { WholePart(c, [](double v) { return std::floor(v); }); }},
    {"Fix", "fix", 1, 1,
     [](const Call& c) { WholePart(c, [](double v) { return std::trunc(v); }); }},
    {"Round", "round", 1, 2,
     [](const Call& c) {
         if (IsNull(c[0])) return c.Null();
         std::int64_t places = c.Has(1) ? Whole(c[1], -32768, 32767) : 0;
         if (places < 0 || places > 22) throw JetError(kInvalidCall);
         if (sqlite3_value_type(c[0]) == SQLITE_INTEGER) return c.Value(c[0]);
         double v = Number(c[0]);
         double scale = std::pow(10.0, static_cast<double>(places));
         double scaled = v * scale;
         c.Real(std::isfinite(scaled) ? RoundHalfEven(scaled) / scale : v);
     }},
    {"Sgn", "sgn", 1, 1,
     [](const Call& c) {
         if (IsNull(c[0])) return c.Null();
         double v = Number(c[0]);
         c.Int(v > 0 ? 1 : v < 0 ? -1 : 0);
     }},
    {"Abs", "abs", 1, 1,
     [](const Call& c) {
         if (IsNull(c[0])) return c.Null();
         if (sqlite3_value_type(c[0]) == SQLITE_INTEGER) {
             std::int64_t v = sqlite3_value_int64(c[0]);
             if (v == INT64_MIN) throw JetError(kOverflow);
             return c.Int(v < 0 ? -v : v);
         }
         c.Real(std::fabs(Number(c[0])));
     }},
    {"Sqr", "sqr", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::sqrt(v); }); }},
    {"Exp", "exp", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::exp(v); }); }},
    {"Log", "log", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return v > 0 ? std::log(v) : NAN; }); }},
    {"Sin", "sin", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::sin(v); }); }},
    {"Cos", "cos", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::cos(v); }); }},
    {"Tan", "tan", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::tan(v); }); }},
    {"Atn", "atn", 1, 1,
     [](const Call& c) { MathFunction(c, [](double v) { return std::atan(v); }); }},
    {"Hex", "hex", 1, 1,
     [](const Call& c) {
         if (IsNull(c[0])) return c.Null();
         auto v = static_cast<std::uint32_t>(Whole(c[0], -2147483648.0, 2147483647.0));
         c.Str(IntToHex(v, 1));
     }},
    {"CInt", "cint", 1, 1, ToWhole<-32768, 32767>},
    {"CLng", "clng", 1, 1, ToWhole<-2147483648LL, 2147483647>},
    {"CByte", "cbyte", 1, 1, ToWhole<0, 255>},
    {"CDbl", "cdbl", 1, 1, [](const Call& c) { c.Real(Number(c[0])); }},
    {"CCur", "ccur", 1, 1,
     [](const Call& c) {
         double v = RoundHalfEven(Number(c[0]) * 10000) / 10000;
         if (!(std::fabs(v) <= 922337203685477.5807)) throw JetError(kOverflow);
         c.Real(v);
     }},
    {"CBool", "cbool", 1, 1,
     [](const Call& c) {
         if (IsNull(c[0])) throw JetError(kInvalidNull);
         c.Int(Truth(c[0]) ? 1 : 0);
     }},
    {"CDate", "cdate", 1, 1, [](const Call& c) { c.DateTime(Date(c[0])); }},
    {"CStr", "cstr", 1, 1,
     [](const Call& c) {
         if (IsNull(c[0])) throw JetError(kInvalidNull);
         c.Str(Text(c[0]));
     }},
    {"Val", "val", 1, 1,
     [](const Call& c) {
         std::string s = Trim(Text(c[0]));
         std::size_t n = 0;
         while (n < s.size() && (std::isdigit(static_cast<unsigned char>(s[n])) || s[n] == '.' ||
                                 (n == 0 && (s[n] == '-' || s[n] == '+'))))
             ++n;
         c.Real(StrToFloatDef(s.substr(0, n), 0.0));
     }},
    {"UCase", "ucase", 1, 1,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         c.Str(AnsiUpperCase(Text(c[0])));
     }},
    {"LCase", "lcase", 1, 1,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         c.Str(AnsiLowerCase(Text(c[0])));
     }},
    {"Len", "len", 1, 1,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         c.Int(static_cast<std::int64_t>(Utf8Length(Text(c[0]))));
     }},
    {"Left", "jet_left", 2, 2,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         // A negative length is an error in Jet, not the whole text.
         const long long k = sqlite3_value_int64(c[1]);
         if (k < 0) throw JetError(kInvalidCall);
         c.Str(Substr(Text(c[0]), 0, k));
     }},
    {"Right", "jet_right", 2, 2,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         std::string s = Text(c[0]);
         long long n = static_cast<long long>(Utf8Length(s)), k = sqlite3_value_int64(c[1]);
         if (k < 0) throw JetError(kInvalidCall);
         c.Str(Substr(s, k >= n ? 0 : n - k, k));
     }},
    {"Mid", "mid", 2, 3,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         long long start = sqlite3_value_int64(c[1]);
         if (start < 1) throw JetError(kInvalidCall);
         const long long length = c.Has(2) ? sqlite3_value_int64(c[2]) : -1;
         if (c.Has(2) && length < 0) throw JetError(kInvalidCall);
         c.Str(Substr(Text(c[0]), start - 1, length));
     }},
    {"InStr", "instr", 3, 3,
     [](const Call& c) {
         if (c.AnyNull()) return c.Null();
         long long start = sqlite3_value_int64(c[0]);
         if (start < 1) throw JetError(kInvalidCall);
         std::string s = Text(c[1]), f = Text(c[2]);
         std::string tail = Substr(s, start - 1, -1);
         std::size_t at = tail.find(f);
         c.Int(at == std::string::npos
                   ? 0
                   : start + static_cast<long long>(Utf8Length(tail.substr(0, at))));
     }},
    {"IIf", "iif", 3, 3, [](const Call& c) { c.Value(c[Truth(c[0]) ? 1 : 2]); }},
    // In a query Nz gives a zero-length string for Null when no other value is named.
    {"Nz", "nz", 1, 2,
     [](const Call& c) {
         if (!IsNull(c[0])) return c.Value(c[0]);
         if (c.Has(1)) return c.Value(c[1]);
         c.Str("");
     }},
    {"Switch", "switch", 2, -1,
     [](const Call& c) {
         if (c.argc % 2 != 0) throw JetError(kInvalidCall);
         for (int i = 0; i < c.argc; i += 2)
             if (Truth(c[i])) return c.Value(c[i + 1]);
         c.Null();
     }},
    {"Choose", "choose", 2, -1,
     [](const Call& c) {
         double index = RoundHalfEven(Number(c[0]));
         if (!(index >= 1 && index <= c.argc - 1)) return c.Null();
         c.Value(c[static_cast<int>(index)]);
     }},
    {"Format", "format", 1, 4, FormatFunction},
};

void Dispatch(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto* fn = static_cast<const JetFunction*>(sqlite3_user_data(ctx));
    try {
        if (argc < fn->minArgs || (fn->maxArgs >= 0 && argc > fn->maxArgs))
            throw JetError("Wrong number of arguments");
        fn->body(Call{ctx, argc, argv});
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        std::string message = std::string(fn->name) + ": " + e.what();
        sqlite3_result_error(ctx, message.c_str(), -1);
    }
}

// ---- the aggregates ----------------------------------------------------------------------------

// First and Last keep the value of the first or last row, Null included.
template <bool Last> void EdgeStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto** kept = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, sizeof(void*) * 2));
    if (!kept) return sqlite3_result_error_nomem(ctx);
    if (kept[1] && !Last) return;
    sqlite3_value* copy = sqlite3_value_dup(argv[0]);
    if (!copy) return sqlite3_result_error_nomem(ctx);
    sqlite3_value_free(kept[0]);
    kept[0] = copy;
    kept[1] = copy; // seen
}

void EdgeFinal(sqlite3_context* ctx) {
    auto** kept = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, 0));
    if (kept && kept[0]) {
        sqlite3_result_value(ctx, kept[0]);
        sqlite3_value_free(kept[0]);
    } else {
        sqlite3_result_null(ctx);
    }
}

// Running mean and sum of squared deviations (Welford), Nulls skipped.
struct Spread {
    std::int64_t n;
    double mean, m2;
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    if (IsNull(argv[0])) return;
    double x = 0;
    const char* error = nullptr;
    try {
        x = Number(argv[0]);
        if (!std::isfinite(x)) error = kOverflow;
    } catch (const std::exception&) {
        error = kTypeMismatch;
    }
    if (error) {
        std::string message =
            std::string(static_cast<const char*>(sqlite3_user_data(ctx))) + ": " + error;
        return sqlite3_result_error(ctx, message.c_str(), -1);
    }
    ++s->n;
    double delta = x - s->mean;
    s->mean += delta / static_cast<double>(s->n);
    s->m2 += delta * (x - s->mean);
}

// Sample (StDev, Var) or population (StDevP, VarP) spread; Null with too few values.
template <bool Population, bool Root> void SpreadFinal(sqlite3_context* ctx) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
    std::int64_t n = s ? s->n : 0;
    if (n < (Population ? 1 : 2)) return sqlite3_result_null(ctx);
    double variance = std::max(0.0, s->m2) / static_cast<double>(Population ? n : n - 1);
    sqlite3_result_double(ctx, Root ? std::sqrt(variance) : variance);
}

const struct {
    const char* name;
    void (*step)(sqlite3_context*, int, sqlite3_value**);
    void (*final)(sqlite3_context*);
} kAggregates[] = {
    {"First", EdgeStep<false>, EdgeFinal},
    {"Last", EdgeStep<true>, EdgeFinal},
    {"StDev", SpreadStep, SpreadFinal<false, true>},
    {"StDevP", SpreadStep, SpreadFinal<true, true>},
    {"Var", SpreadStep, SpreadFinal<false, false>},
    {"VarP", SpreadStep, SpreadFinal<true, false>},
};

} // namespace

void RegisterJetFunctions(sqlite3* db) {
    // Any number of arguments: a count Jet refuses must not reach a built-in function of the
    // same name (log(b, x), format(...) as printf).
    for (const JetFunction& fn : kFunctions)
        sqlite3_create_function_v2(db, fn.sqlName, -1, SQLITE_UTF8, const_cast<JetFunction*>(&fn),
                                   Dispatch, nullptr, nullptr, nullptr);
    for (const auto& agg : kAggregates)
        sqlite3_create_function_v2(db, agg.name, 1, SQLITE_UTF8, const_cast<char*>(agg.name),
                                   nullptr, agg.step, agg.final, nullptr);
}
