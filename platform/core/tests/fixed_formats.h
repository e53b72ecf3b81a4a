#pragma once
// Format settings pinned for one test and restored afterwards, so that no test depends on the
// process-wide settings or on the tests that ran before it.

#include "platform/core/format.h"

class FixedFormats {
public:
    // Pins ISO dates (or the short date format given), 24-hour times, English long dates, '.'
    // decimals, ',' thousands and a "$" currency before the amount.
    explicit FixedFormats(const char* shortDateFormat = "yyyy-mm-dd") : saved_(FormatSettings()) {
        TFormatSettings& fs = FormatSettings();
        fs.DecimalSeparator = '.';
        fs.ThousandSeparator = ',';
        fs.DateSeparator = '-';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = shortDateFormat;
        fs.LongDateFormat = "dddd, mmmm d, yyyy";
        fs.ShortTimeFormat = "hh:nn";
        fs.LongTimeFormat = "hh:nn:ss";
        fs.TimeAMString = "AM";
        fs.TimePMString = "PM";
        fs.CurrencyString = "$";
        fs.CurrencyFormat = 0;
        fs.NegCurrFormat = 1;
        fs.CurrencyDecimals = 2;
    }
    ~FixedFormats() { FormatSettings() = saved_; }
    FixedFormats(const FixedFormats&) = delete;
    FixedFormats& operator=(const FixedFormats&) = delete;

private:
    TFormatSettings saved_;
};
