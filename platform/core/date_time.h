#pragma once
// TDateTime: days since 1899-12-30 as a double; the fraction is the time of day.
// (Contract header: the signatures below are relied on across the platform.)

#include <cstdint>
#include <string>
#include <string_view>

using TDateTime = double;

struct TFormatSettings;

TDateTime EncodeDate(int year, int month, int day);  // EConvertError on an invalid date
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
TDateTime Now();
TDateTime Date();
TDateTime Time();
int DayOfWeek(TDateTime value);  // 1 = Sunday .. 7 = Saturday
int DaysInMonth(int year, int month);
bool IsLeapYear(int year);
// The same day `months` later (clamped to the month's last day), time of day kept.
TDateTime IncMonth(TDateTime value, int months);

// UTC minus local time in minutes, daylight time included, in the process's time zone (TZ):
// at the given local date-time, or now. A local time that the clock skips or repeats at a
// daylight change takes the bias the C library resolves it to.
int TimeZoneBias(TDateTime local);
int TimeZoneBias();

// Text forms with the format settings in force (FormatSettings()) unless given.
std::string FormatDateTime(std::string_view format, TDateTime value);
std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);  // date only when the time is 0, as the class library does
TDateTime StrToDate(std::string_view text);  // EConvertError "'x' is not a valid date"
TDateTime StrToTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text);
bool TryStrToDate(std::string_view text, TDateTime& result);
bool TryStrToTime(std::string_view text, TDateTime& result);
bool TryStrToDateTime(std::string_view text, TDateTime& result);
