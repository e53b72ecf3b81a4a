#pragma once
// Number and text formatting of the class library, and the one format-settings object that
// holds the locale-dependent formats (fixed in tests).
// (Contract header: the signatures below are relied on across the platform.)

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '-';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "yyyy-mm-dd";
    std::string LongDateFormat = "yyyy'年'm'月'd'日'";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string CurrencyString = "¥";
    int CurrencyFormat = 0;
    int NegCurrFormat = 1;
    int CurrencyDecimals = 2;
    std::string ShortMonthNames[12];
    std::string LongMonthNames[12];
    std::string ShortDayNames[7];
    std::string LongDayNames[7];
};

// The settings in force, process-wide; tests set them to fixed values.
TFormatSettings& FormatSettings();

// Arguments of Format: integers, floats, strings and (for %p) pointers. String literals and
// every integer type convert to the right alternative.
struct TFormatArg : std::variant<std::int64_t, double, std::string, const void*> {
    using Base = std::variant<std::int64_t, double, std::string, const void*>;
    TFormatArg(int v) : Base(std::int64_t{v}) {}
    TFormatArg(unsigned v) : Base(std::int64_t{v}) {}
    TFormatArg(long v) : Base(std::int64_t{v}) {}
    TFormatArg(long long v) : Base(std::int64_t{v}) {}
    TFormatArg(unsigned long v) : Base(static_cast<std::int64_t>(v)) {}
    TFormatArg(unsigned long long v) : Base(static_cast<std::int64_t>(v)) {}
    TFormatArg(double v) : Base(v) {}
    TFormatArg(float v) : Base(double{v}) {}
    TFormatArg(const char* s) : Base(std::string(s)) {}
    TFormatArg(std::string s) : Base(std::move(s)) {}
    TFormatArg(std::string_view s) : Base(std::string(s)) {}
    TFormatArg(const void* p) : Base(p) {}
};
// The class library's Format: %d %u %e %f %g %n %m %p %s %x with index, '-', width and
// precision, '*' taken from the arguments. EConvertError on a bad format or argument.
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args);
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& fs);
// The same with arguments gathered at run time (scripts' Format).
std::string Format(std::string_view format, std::span<const TFormatArg> args);

// FormatFloat pictures: 0 # . , E+ E- 'text' "text" and ; sections.
std::string FormatFloat(std::string_view picture, double value);
std::string FormatFloat(std::string_view picture, double value, const TFormatSettings& fs);

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// Shortest text with 15 significant digits: 0.1+0.2 -> "0.3", 1e20 -> "1E20".
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& fs);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs);
double StrToFloat(std::string_view text);  // EConvertError "'x' is not a valid floating point value"
bool TryStrToFloat(std::string_view text, double& result);
double StrToFloatDef(std::string_view text, double defaultValue);

std::string IntToStr(std::int64_t value);
std::string IntToHex(std::int64_t value, int digits);
// Decimal, or hex with a leading "$" (or "0x"); EConvertError "'x' is not a valid integer value".
int StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
bool TryStrToInt(std::string_view text, int& result);
bool TryStrToInt64(std::string_view text, std::int64_t& result);
int StrToIntDef(std::string_view text, int defaultValue);
