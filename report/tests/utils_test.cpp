#include "report/utils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/stream.h"

namespace {

TEST(Utils, StreamCrc) {
    TMemoryStream s;
    s.WriteBuffer("123456789", 9);
    s.SetPosition(4);
    EXPECT_EQ(StreamCRC32(s), 0xCBF43926u);
    EXPECT_EQ(s.Position(), 4);
    TMemoryStream empty;
    EXPECT_EQ(StreamCRC32(empty), 0u);
}

TEST(Utils, SplitTextKeepsInnerEmptyFields) {
    std::vector<std::string> list{"old"};
    SplitText("a,,b,", list, ',');
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b"}));
    SplitText("", list, ',');
    EXPECT_TRUE(list.empty());
    size_t pos = 0;
    EXPECT_EQ(NextField("x;yz", pos, ';'), "x");
    EXPECT_EQ(pos, 2u);
    EXPECT_EQ(NormalizeSlashes("a/b/c"), "a\\b\\c");
}

TEST(Utils, ParseFloatValueReadsBothConventions) {
    struct Case {
        const char* text;
        double value;
    };
    const Case ok[] = {{"1 234,5", 1234.5}, {"1.5", 1.5},  {"1,5", 1.5}, {"-2", -2},
                       {"+3.25", 3.25},     {"1e3", 1000}, {" 7 ", 7}};
    for (const auto& c : ok)
        EXPECT_DOUBLE_EQ(ParseFloatValue(c.text), c.value) << c.text;
    for (const char* bad : {"", "1,234.5", "abc", "1.5x", "inf", "nan", "--1"}) {
        EXPECT_THROW(ParseFloatValue(bad), EConvertError) << bad;
        EXPECT_FALSE(IsValidFloatText(bad)) << bad;
    }
    EXPECT_TRUE(IsValidFloatText("3,0"));
}

TEST(Utils, FloatAndColourText) {
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(FloatValueToStr(2.5), "2,50");
    EXPECT_EQ(FloatValueToStr(2), "2");
    EXPECT_EQ(FloatValueToStr(-3), "-3");
    EXPECT_EQ(FloatValueToStr(1e20), "1E20");
    FormatSettings().DecimalSeparator = '.';
    EXPECT_EQ(FloatValueToStr(0.125), "0.13");
    EXPECT_EQ(FloatToFixedStr(1234.5678, 2, ','), "1234,57");
    EXPECT_EQ(FloatToFixedStr(3, 0, '.'), "3");

    EXPECT_EQ(ColorToHexRGB(0xFF0000), "#0000FF"); // pure blue is stored as BGR
    EXPECT_EQ(ColorToHexRGB(0x0000FF), "#FF0000");
    EXPECT_EQ(ColorToHexRGB(0x123456), "#563412");
    EXPECT_EQ(ColorToHexRGB(static_cast<TColor>(0x80000005)), "#FFFFFF"); // window colour
}

TEST(Utils, ExtractExpression) {
    std::string expr;
    size_t start = 0, end = 0;
    ExtractExpression("[a[b]c] x", "[", "]", expr, end, start);
    EXPECT_EQ(expr, "a[b]c");
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 6u);

    start = 2;
    ExtractExpression("x [Copy('a]b', 1)] y", "[", "]", expr, end, start);
    EXPECT_EQ(expr, "Copy('a]b', 1)");
    EXPECT_EQ(end, 17u);

    start = 0;
    ExtractExpression("<%a%>", "<%", "%>", expr, end, start);
    EXPECT_EQ(expr, "a");
    EXPECT_EQ(end, 4u);

    start = 0;
    end = 99;
    ExtractExpression("x[a]", "[", "]", expr, end, start); // no delimiter at the start
    EXPECT_EQ(expr, "");
    EXPECT_EQ(end, 99u);

    start = 0;
    EXPECT_THROW(ExtractExpression("[a + b", "[", "]", expr, end, start), EConvertError);
    start = 0;
    EXPECT_THROW(ExtractExpression("[a + ']'", "[", "]", expr, end, start), EConvertError);

    std::u16string wexpr;
    start = 1;
    ExtractExpressionW(u"中[值[1]]", u"[", u"]", wexpr, end, start);
    EXPECT_EQ(wexpr, u"值[1]");
    EXPECT_EQ(end, 6u);
}

TEST(Utils, ParsePageNumbers) {
    struct Case {
        const char* text;
        int pages;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"1,3,5-7", 10, {1, 3, 5, 6, 7}},
        {"4-", 6, {4, 5, 6}},
        {" 2 , 2 ", 6, {2, 2}},
        {"7-5", 10, {}},
        {"", 10, {}},
        {"9,1", 10, {9, 1}},
        {"1-999999999", 6, {1, 2, 3, 4, 5, 6}},
        {"5-2147483647", 6, {5, 6}},
        {"1-3,8", 0, {8}},
    };
    for (const auto& c : cases) {
        std::vector<int> list{42};
        ParsePageNumbers(c.text, list, c.pages);
        EXPECT_EQ(list, c.expected) << c.text;
    }
    std::vector<int> list;
    for (const char* bad : {"a", "1,,2", "-3", "1-2-3x", "99999999999"})
        EXPECT_THROW(ParsePageNumbers(bad, list, 6), EConvertError) << bad;

    auto t0 = std::chrono::steady_clock::now();
    ParsePageNumbers("1-2000000000", list, 6);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

TEST(Utils, TempFilesAndFolders) {
    std::string name = MakeTempFileName();
    EXPECT_EQ(std::filesystem::path(name).filename().string().rfind("pg", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(name));
    std::filesystem::remove(name);
    EXPECT_THROW(MakeTempFileNameIn("/nonexistent/folder"), EFCreateError);
    EXPECT_EQ(GetAppFolder().back(), '/');
    EXPECT_TRUE(std::filesystem::exists(GetModuleFile()));
}

TEST(Utils, RectAreaOverlap) {
    TpgwRectArea a(0, 0, 10, 10), touching(10.00005, 0, 20, 5), overlapping(5, 2, 15, 20);
    EXPECT_FALSE(a.InterceptsX(touching));
    EXPECT_TRUE(a.InterceptsX(overlapping));
    EXPECT_TRUE(a.InterceptsY(overlapping));
    EXPECT_EQ(a.IntersectX(touching), nullptr);
    auto part = a.IntersectX(overlapping);
    ASSERT_NE(part, nullptr);
    EXPECT_DOUBLE_EQ(part->X, 5);
    EXPECT_DOUBLE_EQ(part->X1, 10);
    EXPECT_DOUBLE_EQ(part->Y1, 0);
}

} // namespace
