#include "platform/core/date_time.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/tests/expect_error.h"
#include "platform/core/tests/fixed_formats.h"

namespace {

class DateTimeTest : public ::testing::Test {
protected:
    // Tuesday 2024-03-05 14:07:09.045
    static TDateTime Sample() { return EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45); }

private:
    FixedFormats formats_;
};

void expectDate(TDateTime value, int year, int month, int day) {
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    EXPECT_EQ(y, year);
    EXPECT_EQ(m, month);
    EXPECT_EQ(d, day);
}

void expectTime(TDateTime value, int hour, int minute, int second, int ms) {
    int h = 0, n = 0, s = 0, z = 0;
    DecodeTime(value, h, n, s, z);
    EXPECT_EQ(h, hour);
    EXPECT_EQ(n, minute);
    EXPECT_EQ(s, second);
    EXPECT_EQ(z, ms);
}

TEST_F(DateTimeTest, EncodesDaysFromTheEpoch) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW(EncodeDate(2023, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
    TDateTime unused = 0;
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, unused));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, unused));
}

TEST_F(DateTimeTest, DecodesRoundTripAndBeforeTheEpoch) {
    for (int year : {1, 1600, 1899, 1900, 2000, 2024, 9999}) {
        for (int month : {1, 2, 12}) {
            int last = DaysInMonth(year, month);
            for (int day : {1, last})
                expectDate(EncodeDate(year, month, day), year, month, day);
        }
    }
    expectTime(Sample(), 14, 7, 9, 45);
    // Before 1899-12-30 the whole days count back and the fraction's magnitude is the time.
    expectDate(-1.25, 1899, 12, 29);
    expectTime(-1.25, 6, 0, 0, 0);
    expectDate(-0.25, 1899, 12, 30);
    expectTime(-0.25, 6, 0, 0, 0);
    int y = 0, m = 0, d = 0;
    EXPECT_THROW(DecodeDate(std::nan(""), y, m, d), EInvalidOp);
    EXPECT_THROW(FormatDateTime("c", 1e300), EInvalidOp);
}

TEST_F(DateTimeTest, FractionJustBelowMidnightCarriesToTheNextDay) {
    TDateTime almost = EncodeDate(2024, 1, 31) + 0.99999999999;
    expectDate(almost, 2024, 2, 1);
    expectTime(almost, 0, 0, 0, 0);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", almost), "2024-02-01 00:00:00");
}

TEST_F(DateTimeTest, CalendarHelpers) {
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2); // Monday
    EXPECT_EQ(DayOfWeek(0), 7);                      // 1899-12-30 was a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 10) + 0.9), 1);
    EXPECT_EQ(DayOfWeek(-1), 6);
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(2100));
    EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31) + 0.5, 1), EncodeDate(2024, 2, 29) + 0.5);
    EXPECT_EQ(IncMonth(EncodeDate(2024, 3, 15), -14), EncodeDate(2023, 1, 15));
}

TEST_F(DateTimeTest, NowIsTodayPlusTime) {
    TDateTime today = Date();
    TDateTime now = Now();
    EXPECT_EQ(today, std::trunc(today));
    EXPECT_GE(now, today);
    EXPECT_LT(now, today + 1.0001); // may have just passed midnight
    EXPECT_GE(Time(), 0);
    EXPECT_LT(Time(), 1);
}

TEST_F(DateTimeTest, FormatDateTimeSpecifiers) {
    struct Case {
        const char* format;
        const char* out;
    };
    for (Case c : {Case{"d", "5"},
                   {"dd", "05"},
                   {"ddd", "Tue"},
                   {"dddd", "Tuesday"},
                   {"ddddd", "2024-03-05"},
                   {"dddddd", "Tuesday, March 5, 2024"},
                   {"m", "3"},
                   {"mm", "03"},
                   {"mmm", "Mar"},
                   {"mmmm", "March"},
                   {"yy", "24"},
                   {"yyyy", "2024"},
                   {"h", "14"},
                   {"hh", "14"},
                   {"n", "7"},
                   {"nn", "07"},
                   {"s", "9"},
                   {"ss", "09"},
                   {"z", "45"},
                   {"zzz", "045"},
                   {"t", "14:07"},
                   {"tt", "14:07:09"},
                   {"c", "2024-03-05 14:07:09"},
                   {"", "2024-03-05 14:07:09"},
                   {"h:m", "14:7"}, // m after h is the minute
                   {"hh:mm:ss", "14:07:09"},
                   {"hh 'h' mm", "14 h 07"},
                   {"mm/dd hh", "03-05 14"},
                   {"h am/pm", "2 pm"},
                   {"h AM/PM", "2 PM"},
                   {"h a/p", "2 p"},
                   {"h ampm", "2 PM"},
                   {"hh:nn Am/pM", "02:07 pM"},
                   {"am/pm h", "pm 2"}, // a marker switches later hours too
                   {"yyyy/mm/dd", "2024-03-05"},
                   {"'yyyy' \"mm\"", "yyyy mm"},
                   {"yyyy'年'm'月'd'日'", "2024年3月5日"},
                   {"m/d/yy", "3-5-24"},
                   {"hh:nn:ss.zzz", "14:07:09.045"}}) {
        EXPECT_EQ(FormatDateTime(c.format, Sample()), c.out) << c.format;
    }
}

TEST_F(DateTimeTest, FormatDateTimeEdges) {
    TDateTime midnight = EncodeDate(2024, 3, 5);
    EXPECT_EQ(FormatDateTime("c", midnight), "2024-03-05");
    EXPECT_EQ(DateTimeToStr(midnight), "2024-03-05");
    EXPECT_EQ(DateTimeToStr(Sample()), "2024-03-05 14:07:09");
    EXPECT_EQ(DateToStr(Sample()), "2024-03-05");
    EXPECT_EQ(TimeToStr(Sample()), "14:07:09");
    EXPECT_EQ(FormatDateTime("h:nn AM/PM", midnight + EncodeTime(0, 30, 0, 0)), "12:30 AM");
    EXPECT_EQ(FormatDateTime("h:nn AM/PM", midnight + EncodeTime(12, 5, 0, 0)), "12:05 PM");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06:00");

    TFormatSettings fs = FormatSettings();
    fs.DateSeparator = '.';
    fs.TimeSeparator = 'h';
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", Sample(), fs), "05.03.2024 14h07");
    // Settings that refer to themselves stop expanding instead of recursing.
    fs.ShortDateFormat = "ddddd";
    EXPECT_EQ(FormatDateTime("ddddd", Sample(), fs), "");
}

TEST_F(DateTimeTest, DefaultLongDateFormat) {
    TFormatSettings fs;
    EXPECT_EQ(FormatDateTime("dddddd", Sample(), fs), "2024年3月5日");
}

TEST_F(DateTimeTest, StrToDateFollowsShortDateFormat) {
    EXPECT_EQ(StrToDate("2024-03-05"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate(" 2024-3-5 "), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate("05-03-07"), EncodeDate(2005, 3, 7)); // two-digit year, window of 50
    for (const char* bad : {"2024/03/05", "2024-02-30", "2024-03", "xyz", "", "2024-03-05x"}) {
        expectConvertError([&] { StrToDate(bad); },
                           "'" + std::string(bad) + "' is not a valid date");
    }

    TFormatSettings& fs = FormatSettings();
    fs.ShortDateFormat = "m/d/yyyy";
    fs.DateSeparator = '/';
    EXPECT_EQ(StrToDate("3/5/2024"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate("12/31/99"), EncodeDate(1999, 12, 31));
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    EXPECT_EQ(StrToDate("3/5"), EncodeDate(year, 3, 5)); // the current year
    EXPECT_THROW(StrToDate("3-5-2024"), EConvertError);
    EXPECT_THROW(StrToDate("31/12/2024"), EConvertError);

    fs.ShortDateFormat = "dd.mm.yyyy";
    fs.DateSeparator = '.';
    EXPECT_EQ(StrToDate("05.03.2024"), EncodeDate(2024, 3, 5));
    TDateTime result = 0;
    EXPECT_FALSE(TryStrToDate("05.13.2024", result));
}

TEST_F(DateTimeTest, StrToTimeAndDateTime) {
    EXPECT_EQ(StrToTime("14:07:09"), EncodeTime(14, 7, 9, 0));
    EXPECT_EQ(StrToTime("14:07"), EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToTime("2:07 PM"), EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToTime("pm 2:07"), EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToTime("12:00 AM"), 0);
    EXPECT_EQ(StrToTime("14:07:09.045"), EncodeTime(14, 7, 9, 45));
    for (const char* bad : {"25:00", "0:30 PM", "13:00 PM", "12:", "x", "12:60"}) {
        expectConvertError([&] { StrToTime(bad); },
                           "'" + std::string(bad) + "' is not a valid time");
    }

    EXPECT_EQ(StrToDateTime("2024-03-05 14:07"), EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToDateTime("2024-03-05"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDateTime("14:07"), EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToDateTime("1899-12-29 06:00"), -1.25);
    for (const char* bad : {"2024-03-05 xx", "2024-03-05 14:07 junk", "", "2024-02-30 10:00"}) {
        expectConvertError([&] { StrToDateTime(bad); },
                           "'" + std::string(bad) + "' is not a valid date and time");
    }
    // What FormatDateTime writes, StrToDateTime reads back.
    TDateTime value = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0);
    EXPECT_EQ(StrToDateTime(DateTimeToStr(value)), value);
}

} // namespace
