#include "platform/core/format.h"

#include <gtest/gtest.h>

#include <vector>

#include <cmath>
#include <limits>

#include "platform/core/exception.h"
#include "platform/core/numbers.h"
#include "platform/core/tests/expect_error.h"
#include "platform/core/tests/fixed_formats.h"

namespace {

class FormatTest : public ::testing::Test {
protected:
    void SetUp() override { FormatSettings().NegCurrFormat = 0; }

private:
    FixedFormats formats_;
};

TEST_F(FormatTest, FloatToStrGivesShortestFifteenDigitText) {
    struct Case {
        double in;
        const char* out;
    };
    const double inf = std::numeric_limits<double>::infinity();
    for (Case c : {Case{0.1 + 0.2, "0.3"},
                   {1e20, "1E20"},
                   {1e15, "1E15"},
                   {123456789012345.0, "123456789012345"},
                   {999999999999999.9, "1E15"}, // rounds up into the next decade
                   {0.0001, "0.0001"},
                   {0.00001, "1E-5"},
                   {1.23e-10, "1.23E-10"},
                   {1.5e20, "1.5E20"},
                   {-0.0, "0"},
                   {0.0, "0"},
                   {100.0, "100"},
                   {-2.25, "-2.25"},
                   {1.0 / 3.0, "0.333333333333333"},
                   {2.0 / 3.0, "0.666666666666667"},
                   {1234567.891, "1234567.891"},
                   {std::nan(""), "Nan"},
                   {inf, "Inf"},
                   {-inf, "-Inf"}}) {
        EXPECT_EQ(FloatToStr(c.in), c.out) << c.in;
    }
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(FloatToStr(-1.5), "-1,5");
}

TEST_F(FormatTest, TextRoundsHalvesAwayWhileRoundGoesToEven) {
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", 3.5), "4");
    EXPECT_EQ(Format("%.1f", {0.25}), "0.3");
    // The exact binary value decides: 2.675 is stored a hair below the half.
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2.67");
    EXPECT_EQ(FormatFloat("0.00", 1.005), "1.00");
    EXPECT_EQ(Format("%.2f", {2.675}), "2.67");
}

TEST_F(FormatTest, FloatToStrFFormats) {
    struct Case {
        TFloatFormat format;
        int precision, digits;
        double in;
        const char* out;
    };
    using enum TFloatFormat;
    for (Case c : {Case{ffFixed, 15, 2, 1234.5678, "1234.57"},
                   {ffFixed, 15, 0, 0.5, "1"},
                   {ffFixed, 15, 3, -0.0001, "0.000"},
                   {ffNumber, 15, 2, 1234567.891, "1,234,567.89"},
                   {ffNumber, 15, 0, -999.5, "-1,000"},
                   {ffExponent, 4, 2, 1234.5678, "1.235E+03"},
                   {ffExponent, 3, 0, 0.00012345, "1.23E-4"},
                   {ffGeneral, 4, 0, 1234.5678, "1235"},
                   {ffGeneral, 4, 0, 12345.678, "1.235E4"},
                   {ffGeneral, 15, 0, 0.5, "0.5"},
                   {ffCurrency, 15, 2, 1234.5678, "$1,234.57"},
                   {ffCurrency, 15, 2, -1234.5678, "($1,234.57)"}}) {
        EXPECT_EQ(FloatToStrF(c.in, c.format, c.precision, c.digits), c.out) << c.in;
    }
}

TEST_F(FormatTest, CurrencyPlacesSymbolAndSign) {
    TFormatSettings fs = FormatSettings();
    fs.CurrencyString = "EUR";
    struct Case {
        int format, negFormat;
        double in;
        const char* out;
    };
    for (Case c : {Case{0, 0, 5, "EUR5.00"},
                   {1, 0, 5, "5.00EUR"},
                   {2, 0, 5, "EUR 5.00"},
                   {3, 0, 5, "5.00 EUR"},
                   {0, 1, -5, "-EUR5.00"},
                   {0, 5, -5, "-5.00EUR"},
                   {0, 8, -5, "-5.00 EUR"},
                   {0, 15, -5, "(5.00 EUR)"}}) {
        fs.CurrencyFormat = c.format;
        fs.NegCurrFormat = c.negFormat;
        EXPECT_EQ(FloatToStrF(c.in, TFloatFormat::ffCurrency, 15, 2, fs), c.out)
            << c.format << "/" << c.negFormat;
    }
}

TEST_F(FormatTest, FormatFloatPictures) {
    struct Case {
        const char* picture;
        double in;
        const char* out;
    };
    for (Case c : {Case{"0.00", 1234.5, "1234.50"},
                   {"#,##0.00", 1234567.891, "1,234,567.89"},
                   {"#,##0", 999.5, "1,000"},
                   {"#,##0.00", 0, "0.00"},
                   {"000", 7, "007"},
                   {"0.##", 1, "1"},
                   {"0.##", 1.5, "1.5"},
                   {"0.0#", 1.256, "1.26"},
                   {"0", -2.5, "-3"},
                   {"0", 123456, "123456"}, // more digits than placeholders
                   {"0%", 5, "5%"},
                   {"'$'#,##0.00", 1234.5, "$1,234.50"},
                   {"\"Total: \"0", 42, "Total: 42"},
                   {"0.00E+00", 1234.5, "1.23E+03"},
                   {"0.00E-00", 1234.5, "1.23E03"},
                   {"0.00E+00", 0.00012345, "1.23E-04"},
                   {"0.00E-0", 0.00012345, "1.23E-4"},
                   {"0.0e+0", 12345, "1.2e+4"},
                   {"", 1.5, "1.5"},
                   {"0", 1e20, "1E20"}, // beyond 18 integer digits: general form
                   {"0.000000000000000000", 0.1, "0.100000000000000006"}}) {
        EXPECT_EQ(FormatFloat(c.picture, c.in), c.out) << c.picture << " " << c.in;
    }
}

TEST_F(FormatTest, FormatFloatSections) {
    struct Case {
        const char* picture;
        double in;
        const char* out;
    };
    const char* three = "0.0;(0.0);\"zero\"";
    for (Case c : {Case{three, 5, "5.0"},
                   {three, -5, "(5.0)"},
                   {three, 0, "zero"},
                   {three, -0.0, "zero"},
                   {three, 0.01, "zero"},            // rounds to zero
                   {"0.0;;\"zero\"", -1.25, "-1.3"}, // empty negative section: sign added
                   {"#,##0.00;(#,##0.00)", -1234.5, "(1,234.50)"},
                   {"0.00", -0.0, "0.00"},
                   {"0.00", -0.001, "0.00"}, // no sign on what rounds to zero
                   {"0;-0;'nothing';ignored", 0, "nothing"}}) {
        EXPECT_EQ(FormatFloat(c.picture, c.in), c.out) << c.picture << " " << c.in;
    }
}

TEST_F(FormatTest, FormatFloatUsesSettingsSeparators) {
    TFormatSettings fs = FormatSettings();
    fs.DecimalSeparator = ',';
    fs.ThousandSeparator = '.';
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891, fs), "1.234.567,89");
}

TEST_F(FormatTest, FormatSpecifiers) {
    const void* null = nullptr;
    struct Case {
        const char* format;
        std::initializer_list<TFormatArg> args;
        const char* out;
    };
    const Case cases[] = {
        {"%d", {std::int64_t{42}}, "42"},
        {"[%5d]", {std::int64_t{42}}, "[   42]"},
        {"[%-5d]", {std::int64_t{42}}, "[42   ]"},
        {"%.4d", {std::int64_t{-42}}, "-0042"},
        {"%D", {std::int64_t{7}}, "7"},
        {"%u", {std::int64_t{42}}, "42"},
        {"%x", {std::int64_t{255}}, "FF"},
        {"%.4x", {std::int64_t{255}}, "00FF"},
        {"%s and %s", {std::string("a"), std::string("b")}, "a and b"},
        {"%1:s %0:s %s", {std::string("a"), std::string("b")}, "b a b"},
        {"[%5s][%-5s]", {std::string("ab"), std::string("ab")}, "[   ab][ab   ]"},
        {"%.2s", {std::string("abc")}, "ab"},
        {"[%3s]", {std::string("é")}, "[  é]"}, // width counts characters
        {"[%*d]", {std::int64_t{5}, std::int64_t{42}}, "[   42]"},
        {"%.*f", {std::int64_t{2}, 3.14159}, "3.14"},
        {"100%%", {}, "100%"},
        {"%f", {1.0}, "1.00"},
        {"[%8.2f]", {3.14159}, "[    3.14]"},
        {"%.0f", {2.5}, "3"},
        {"%e", {1000.0}, "1.00000000000000E+003"},
        {"%.3e", {1234.5}, "1.23E+003"},
        {"%e", {-0.00123}, "-1.23000000000000E-003"},
        {"%g", {0.1 + 0.2}, "0.3"},
        {"%g", {1234.5}, "1234.5"},
        {"%n", {1234567.891}, "1,234,567.89"},
        {"%.0n", {1234.5}, "1,235"},
        {"%m", {1234.5}, "$1,234.50"},
        {"%m", {-1234.5}, "($1,234.50)"},
        {"%p", {null}, "0000000000000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.format, c.args), c.out) << c.format;
        std::vector<TFormatArg> gathered(c.args);  // the run-time form scripts use
        EXPECT_EQ(Format(c.format, std::span<const TFormatArg>(gathered)), c.out) << c.format;
    }

    TFormatSettings fs = FormatSettings();
    fs.DecimalSeparator = ',';
    EXPECT_EQ(Format("%.1f", {2.25}, fs), "2,3");
}

TEST_F(FormatTest, FormatRejectsMismatchedArguments) {
    struct Case {
        const char* format;
        std::initializer_list<TFormatArg> args;
    };
    const Case cases[] = {
        {"%d", {1.5}},
        {"%f", {std::int64_t{1}}}, // an integer is not a float argument
        {"%s", {std::int64_t{1}}},
        {"%x", {std::string("1")}},
        {"%d %d", {std::int64_t{1}}}, // missing argument
        {"%y", {std::int64_t{1}}},    // unknown type
        {"50%", {}},                  // trailing percent
        {"%*d", {1.5, std::int64_t{1}}},
    };
    for (const Case& c : cases) {
        expectConvertError([&] { Format(c.format, c.args); },
                           "Format '" + std::string(c.format) +
                               "' invalid or incompatible with argument");
    }
}

TEST_F(FormatTest, StrToFloatReadsDecimalSeparatorInForce) {
    struct Case {
        const char* in;
        double out;
    };
    for (Case c : {Case{"1.5", 1.5},
                   {" -2.5e3 ", -2500},
                   {"1E-2", 0.01},
                   {"+7", 7},
                   {"0.1", 0.1},
                   {"1e-400", 0}}) {
        EXPECT_EQ(StrToFloat(c.in), c.out) << c.in;
    }
    for (const char* bad : {"", " ", "abc", "1.2.3", "1e", "1,5", "1.5x", "--1", "1e999"}) {
        expectConvertError([&] { StrToFloat(bad); },
                           "'" + std::string(bad) + "' is not a valid floating point value");
    }
    EXPECT_EQ(StrToFloatDef("x", 2.5), 2.5);
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(StrToFloat("1,5"), 1.5);
    double value = 0;
    EXPECT_FALSE(TryStrToFloat("1.5", value));
}

TEST_F(FormatTest, IntegerText) {
    EXPECT_EQ(IntToStr(-5), "-5");
    EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0x1234, 2), "1234");
    EXPECT_EQ(IntToHex(-1, 1), "FFFFFFFFFFFFFFFF");

    struct Case {
        const char* in;
        int out;
    };
    for (Case c : {Case{"42", 42},
                   {"-42", -42},
                   {"+7", 7},
                   {" 12", 12},
                   {"$FF", 255},
                   {"0x1A", 26},
                   {"0X1a", 26},
                   {"-$10", -16},
                   {"$FFFFFFFF", -1},
                   {"2147483647", 2147483647},
                   {"-2147483648", -2147483647 - 1}}) {
        EXPECT_EQ(StrToInt(c.in), c.out) << c.in;
    }
    for (const char* bad :
         {"", "2147483648", "-2147483649", "12a", "12 ", "$", "0x", "-", "$100000000", "1.0"}) {
        expectConvertError([&] { StrToInt(bad); },
                           "'" + std::string(bad) + "' is not a valid integer value");
    }
    EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(StrToInt64("$FFFFFFFF"), 4294967295);
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 7), 7);
    std::int64_t big = 0;
    EXPECT_TRUE(TryStrToInt64("-12", big));
    EXPECT_EQ(big, -12);
}

TEST(FormatSettingsDefaults, HaveEnglishNames) {
    const TFormatSettings& fs = FormatSettings();
    EXPECT_EQ(fs.ShortMonthNames[0], "Jan");
    EXPECT_EQ(fs.LongMonthNames[11], "December");
    EXPECT_EQ(fs.ShortDayNames[0], "Sun");
    EXPECT_EQ(fs.LongDayNames[6], "Saturday");
}

} // namespace
