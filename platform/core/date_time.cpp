#include "platform/core/date_time.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Days from 0001-01-01 (day 1) to 1899-12-30.
constexpr std::int64_t kDateDelta = 693594;
constexpr int kTwoDigitYearCenturyWindow = 50;

const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                               {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// A TDateTime split the class library's way: the whole days count toward zero, the time of day
// is the absolute value of the fraction, so -1.25 is 1899-12-29 06:00.
struct Stamp {
    std::int64_t day = 0; // days since 0001-01-01, that day being 1
    std::int64_t ms = 0;  // milliseconds into the day
};

Stamp toStamp(TDateTime value) {
    // Far beyond year 9999 there is no date to show; such values are garbage.
    if (!std::isfinite(value) || std::fabs(value) > 1e9) {
        throw EInvalidOp("Invalid floating point operation");
    }
    double whole = std::trunc(value);
    Stamp s;
    s.day = kDateDelta + static_cast<std::int64_t>(whole);
    s.ms = static_cast<std::int64_t>(RoundHalfEven(std::fabs(value - whole) * kMsPerDay));
    if (s.ms >= kMsPerDay) {
        // A fraction a hair below 1 rounds to the next midnight, not to "24:00".
        s.ms = 0;
        s.day += value < 0 ? -1 : 1;
    }
    return s;
}

// Civil date of a day count (day 1 = 0001-01-01); zeros before year 1, as the class library.
void civilFromDay(std::int64_t day, int& year, int& month, int& dayOfMonth) {
    if (day <= 0) {
        year = month = dayOfMonth = 0;
        return;
    }
    // Days since 0000-03-01 in the proleptic Gregorian calendar.
    std::int64_t z = day - 1 + 306;
    std::int64_t era = z / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    dayOfMonth = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int dayOfWeekFromDay(std::int64_t day) {
    std::int64_t r = day % 7;
    if (r < 0) r += 7;
    return static_cast<int>(r) + 1;
}

struct Parts {
    int year = 0, month = 0, day = 0, dayOfWeek = 1;
    int hour = 0, minute = 0, second = 0, ms = 0;
};

Parts decode(TDateTime value) {
    Stamp s = toStamp(value);
    Parts p;
    civilFromDay(s.day, p.year, p.month, p.day);
    p.dayOfWeek = dayOfWeekFromDay(s.day);
    p.hour = static_cast<int>(s.ms / 3600000);
    p.minute = static_cast<int>(s.ms / 60000 % 60);
    p.second = static_cast<int>(s.ms / 1000 % 60);
    p.ms = static_cast<int>(s.ms % 1000);
    return p;
}

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool startsWithNoCase(std::string_view s, std::size_t at, std::string_view prefix) {
    if (at + prefix.size() > s.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiUpper(s[at + i]) != asciiUpper(prefix[i])) return false;
    }
    return true;
}

void appendNumber(std::string& out, int value, int digits) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < digits) out.append(digits - text.size(), '0');
    out += text;
}

class DateTimeWriter {
public:
    DateTimeWriter(const Parts& parts, const TFormatSettings& fs) : p_(parts), fs_(fs) {}

    void Append(std::string_view format, int level) {
        if (level > 2) return; // settings that name themselves must not recurse forever
        char lastToken = ' ';
        std::size_t i = 0;
        while (i < format.size()) {
            char starter = format[i];
            char token = asciiUpper(starter);
            if (token >= 'A' && token <= 'Z') {
                if (token == 'M' && lastToken == 'H') token = 'N';
                lastToken = token;
            }
            std::size_t count = 1;
            while (i + count < format.size() && format[i + count] == starter)
                ++count;
            switch (token) {
            case 'Y':
                i += count;
                if (count <= 2) {
                    appendNumber(out_, p_.year % 100, 2);
                } else {
                    appendNumber(out_, p_.year, 4);
                }
                break;
            case 'M':
                i += count;
                if (count <= 2) {
                    appendNumber(out_, p_.month, static_cast<int>(count));
                } else if (p_.month >= 1) {
                    out_ += count == 3 ? fs_.ShortMonthNames[p_.month - 1]
                                       : fs_.LongMonthNames[p_.month - 1];
                }
                break;
            case 'D':
                i += count;
                switch (count) {
                case 1:
                case 2:
                    appendNumber(out_, p_.day, static_cast<int>(count));
                    break;
                case 3:
                    out_ += fs_.ShortDayNames[p_.dayOfWeek - 1];
                    break;
                case 4:
                    out_ += fs_.LongDayNames[p_.dayOfWeek - 1];
                    break;
                case 5:
                    Append(fs_.ShortDateFormat, level + 1);
                    break;
                default:
                    Append(fs_.LongDateFormat, level + 1);
                    break;
                }
                break;
            case 'H':
                i += count;
                if (!use12Hour_) use12Hour_ = ampmFollows(format, i);
                {
                    int h = p_.hour;
                    if (use12Hour_) {
                        if (h == 0) {
                            h = 12;
                        } else if (h > 12) {
                            h -= 12;
                        }
                    }
                    appendNumber(out_, h, count > 2 ? 2 : static_cast<int>(count));
                }
                break;
            case 'N':
                i += count;
                appendNumber(out_, p_.minute, count > 2 ? 2 : static_cast<int>(count));
                break;
            case 'S':
                i += count;
                appendNumber(out_, p_.second, count > 2 ? 2 : static_cast<int>(count));
                break;
            case 'Z':
                i += count;
                appendNumber(out_, p_.ms, count > 3 ? 3 : static_cast<int>(count));
                break;
            case 'T':
                i += count;
                Append(count == 1 ? fs_.ShortTimeFormat : fs_.LongTimeFormat, level + 1);
                break;
            case 'C':
                i += count;
                Append(fs_.ShortDateFormat, level + 1);
                if (p_.hour != 0 || p_.minute != 0 || p_.second != 0) {
                    out_.push_back(' ');
                    Append(fs_.LongTimeFormat, level + 1);
                }
                break;
            case 'A':
                i += appendAmPm(format, i);
                break;
            case '/':
                ++i;
                if (fs_.DateSeparator != '\0') out_.push_back(fs_.DateSeparator);
                break;
            case ':':
                ++i;
                if (fs_.TimeSeparator != '\0') out_.push_back(fs_.TimeSeparator);
                break;
            case '\'':
            case '"': {
                std::size_t close = format.find(starter, i + 1);
                if (close == std::string_view::npos) close = format.size();
                out_.append(format.substr(i + 1, close - i - 1));
                i = close + 1;
                break;
            }
            default:
                out_.push_back(starter);
                ++i;
                break;
            }
        }
    }

    std::string Take() { return std::move(out_); }

private:
    // An hour is on the 12-hour clock when an am/pm marker follows it before the next hour.
    static bool ampmFollows(std::string_view format, std::size_t from) {
        bool quoted = false;
        for (std::size_t i = from; i < format.size(); ++i) {
            char c = format[i];
            if ((c == 'a' || c == 'A') && !quoted) {
                return startsWithNoCase(format, i, "am/pm") || startsWithNoCase(format, i, "a/p") ||
                       startsWithNoCase(format, i, "ampm");
            }
            if (c == 'h' || c == 'H') return false;
            if (c == '\'' || c == '"') quoted = !quoted;
        }
        return false;
    }

    // Returns the characters consumed.
    std::size_t appendAmPm(std::string_view format, std::size_t at) {
        bool pm = p_.hour >= 12;
        if (startsWithNoCase(format, at, "am/pm")) {
            out_.append(format.substr(at + (pm ? 3 : 0), 2)); // the case as written
            use12Hour_ = true;
            return 5;
        }
        if (startsWithNoCase(format, at, "a/p")) {
            out_.push_back(format[at + (pm ? 2 : 0)]);
            use12Hour_ = true;
            return 3;
        }
        if (startsWithNoCase(format, at, "ampm")) {
            out_ += pm ? fs_.TimePMString : fs_.TimeAMString;
            use12Hour_ = true;
            return 4;
        }
        if (startsWithNoCase(format, at, "aaaa")) {
            out_ += fs_.LongDayNames[p_.dayOfWeek - 1];
            return 4;
        }
        if (startsWithNoCase(format, at, "aaa")) {
            out_ += fs_.ShortDayNames[p_.dayOfWeek - 1];
            return 3;
        }
        out_.push_back(format[at]);
        return 1;
    }

    const Parts& p_;
    const TFormatSettings& fs_;
    std::string out_;
    bool use12Hour_ = false;
};

// ---------------------------------------------------------------------------------------------
// Parsing.

struct Scanner {
    std::string_view s;
    std::size_t pos = 0;

    void SkipBlanks() {
        while (pos < s.size() && s[pos] == ' ')
            ++pos;
    }
    bool Number(int& number, int& length) {
        SkipBlanks();
        std::size_t i = pos;
        int n = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 1000) {
            n = n * 10 + (s[i] - '0');
            ++i;
        }
        if (i == pos) return false;
        length = static_cast<int>(i - pos);
        pos = i;
        number = n;
        return true;
    }
    bool Char(char c) {
        SkipBlanks();
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool Text(std::string_view text) {
        SkipBlanks();
        if (text.empty() || !startsWithNoCase(s, pos, text)) return false;
        pos += text.size();
        return true;
    }
    bool AtEnd() const { return pos >= s.size(); }
};

enum class DateOrder { MDY, DMY, YMD };

DateOrder dateOrder(std::string_view format) {
    for (char c : format) {
        switch (asciiUpper(c)) {
        case 'E':
        case 'Y':
            return DateOrder::YMD;
        case 'M':
            return DateOrder::MDY;
        case 'D':
            return DateOrder::DMY;
        default:
            break;
        }
    }
    return DateOrder::MDY;
}

int currentYear() {
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    return year;
}

bool scanDate(Scanner& sc, TDateTime& result, const TFormatSettings& fs) {
    DateOrder order = dateOrder(fs.ShortDateFormat);
    int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
    if (!(sc.Number(n1, l1) && sc.Char(fs.DateSeparator) && sc.Number(n2, l2))) return false;
    int y = 0, m = 0, d = 0;
    if (sc.Char(fs.DateSeparator)) {
        if (!sc.Number(n3, l3)) return false;
        int yearLength = 0;
        switch (order) {
        case DateOrder::MDY:
            y = n3;
            yearLength = l3;
            m = n1;
            d = n2;
            break;
        case DateOrder::DMY:
            y = n3;
            yearLength = l3;
            m = n2;
            d = n1;
            break;
        case DateOrder::YMD:
            y = n1;
            yearLength = l1;
            m = n2;
            d = n3;
            break;
        }
        if (yearLength <= 2) {
            int centuryBase = currentYear() - kTwoDigitYearCenturyWindow;
            y += centuryBase / 100 * 100;
            if (y < centuryBase) y += 100;
        }
    } else {
        y = currentYear();
        if (order == DateOrder::DMY) {
            d = n1;
            m = n2;
        } else {
            m = n1;
            d = n2;
        }
    }
    sc.Char(fs.DateSeparator);
    sc.SkipBlanks();
    return TryEncodeDate(y, m, d, result);
}

bool scanTime(Scanner& sc, TDateTime& result, const TFormatSettings& fs) {
    int baseHour = -1;
    if (sc.Text(fs.TimeAMString) || sc.Text("AM")) {
        baseHour = 0;
    } else if (sc.Text(fs.TimePMString) || sc.Text("PM")) {
        baseHour = 12;
    }
    int hour = 0, minute = 0, second = 0, ms = 0, length = 0;
    if (!sc.Number(hour, length)) return false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(minute, length)) return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(second, length)) return false;
            if (sc.Char(fs.DecimalSeparator) && !sc.Number(ms, length)) return false;
        }
    }
    if (baseHour < 0) {
        if (sc.Text(fs.TimeAMString) || sc.Text("AM")) {
            baseHour = 0;
        } else if (sc.Text(fs.TimePMString) || sc.Text("PM")) {
            baseHour = 12;
        }
    }
    if (baseHour >= 0) {
        if (hour == 0 || hour > 12) return false;
        if (hour == 12) hour = 0;
        hour += baseHour;
    }
    sc.SkipBlanks();
    return TryEncodeTime(hour, minute, second, ms, result);
}

bool tryStrToDate(std::string_view text, TDateTime& result) {
    Scanner sc{text};
    TDateTime value = 0;
    if (!scanDate(sc, value, FormatSettings()) || !sc.AtEnd()) return false;
    result = value;
    return true;
}

bool tryStrToTime(std::string_view text, TDateTime& result) {
    Scanner sc{text};
    TDateTime value = 0;
    if (!scanTime(sc, value, FormatSettings()) || !sc.AtEnd()) return false;
    result = value;
    return true;
}

bool tryStrToDateTime(std::string_view text, TDateTime& result) {
    const TFormatSettings& fs = FormatSettings();
    Scanner sc{text};
    TDateTime date = 0, time = 0;
    if (scanDate(sc, date, fs)) {
        if (sc.AtEnd()) {
            result = date;
            return true;
        }
        if (scanTime(sc, time, fs) && sc.AtEnd()) {
            result = date >= 0 ? date + time : date - time;
            return true;
        }
    }
    return tryStrToTime(text, result);
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

TDateTime localNow(bool withDate, bool withTime) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    TDateTime result = 0;
    if (withDate) result = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    if (withTime) {
        int second = local.tm_sec > 59 ? 59 : local.tm_sec; // leap second
        result +=
            EncodeTime(local.tm_hour, local.tm_min, second, static_cast<int>(ts.tv_nsec / 1000000));
    }
    return result;
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return kMonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    const int* table = kMonthDays[IsLeapYear(year) ? 1 : 0];
    std::int64_t days = day;
    for (int m = 1; m < month; ++m)
        days += table[m - 1];
    std::int64_t y = year - 1;
    result = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + days - kDateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    result = static_cast<double>(ms) / kMsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    Parts p = decode(value);
    year = p.year;
    month = p.month;
    day = p.day;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    Parts p = decode(value);
    hour = p.hour;
    minute = p.minute;
    second = p.second;
    millisecond = p.ms;
}

TDateTime Now() {
    return localNow(true, true);
}
TDateTime Date() {
    return localNow(true, false);
}
TDateTime Time() {
    return localNow(false, true);
}

int TimeZoneBias(TDateTime local) {
    int year, month, day, hour, minute, second, ms;
    DecodeDate(local, year, month, day);
    DecodeTime(local, hour, minute, second, ms);
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1; // let the zone's rules decide whether daylight time holds
    tzset();
    const std::time_t when = std::mktime(&t);
    std::tm resolved{};
    localtime_r(&when, &resolved);
    return static_cast<int>(-resolved.tm_gmtoff / 60);
}

int TimeZoneBias() {
    tzset();
    const std::time_t when = std::time(nullptr);
    std::tm resolved{};
    localtime_r(&when, &resolved);
    return static_cast<int>(-resolved.tm_gmtoff / 60);
}

int DayOfWeek(TDateTime value) {
    return decode(value).dayOfWeek;
}

TDateTime IncMonth(TDateTime value, int months) {
    Parts p = decode(value);
    std::int64_t total = static_cast<std::int64_t>(p.year) * 12 + (p.month - 1) + months;
    int year = static_cast<int>(total / 12);
    int month = static_cast<int>(total % 12) + 1;
    int day = std::min(p.day, DaysInMonth(year, month));
    TDateTime date = EncodeDate(year, month, day);
    double time = std::fabs(value - std::trunc(value));
    return date >= 0 ? date + time : date - time;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
    return FormatDateTime(format, value, FormatSettings());
}

std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs) {
    Parts parts = decode(value);
    DateTimeWriter writer(parts, fs);
    writer.Append(format.empty() ? std::string_view("c") : format, 0);
    return writer.Take();
}

std::string DateToStr(TDateTime value) {
    return FormatDateTime("ddddd", value);
}
std::string TimeToStr(TDateTime value) {
    return FormatDateTime("tt", value);
}
std::string DateTimeToStr(TDateTime value) {
    return FormatDateTime("c", value);
}

TDateTime StrToDate(std::string_view text) {
    TDateTime result = 0;
    if (!tryStrToDate(text, result)) throw EConvertError(quoted(text) + " is not a valid date");
    return result;
}

TDateTime StrToTime(std::string_view text) {
    TDateTime result = 0;
    if (!tryStrToTime(text, result)) throw EConvertError(quoted(text) + " is not a valid time");
    return result;
}

TDateTime StrToDateTime(std::string_view text) {
    TDateTime result = 0;
    if (!tryStrToDateTime(text, result)) {
        throw EConvertError(quoted(text) + " is not a valid date and time");
    }
    return result;
}

bool TryStrToDate(std::string_view text, TDateTime& result) {
    return tryStrToDate(text, result);
}
bool TryStrToTime(std::string_view text, TDateTime& result) {
    return tryStrToTime(text, result);
}
bool TryStrToDateTime(std::string_view text, TDateTime& result) {
    return tryStrToDateTime(text, result);
}
