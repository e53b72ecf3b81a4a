// UTF and code page conversion, case mapping, trimming.
#include "platform/core/text.h"

#include <gtest/gtest.h>

#include "platform/core/exception.h"

namespace {

// Expects fn to raise EEncodingError whose message contains fragment.
template <typename Fn> void ExpectEncodingError(Fn fn, const std::string& fragment) {
    try {
        fn();
        ADD_FAILURE() << "no EEncodingError; expected one mentioning \"" << fragment << "\"";
    } catch (const EEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
}

struct GbkCase {
    const char* utf8;
    const char* gbk;
};

TEST(Text, ChineseRoundTripsThroughGbkAndUtf16) {
    const GbkCase cases[] = {
        {"超声科", "\xB3\xAC\xC9\xF9\xBF\xC6"},
        {"检查结论", "\xBC\xEC\xB2\xE9\xBD\xE1\xC2\xDB"},
        {"B超: 肝(正常)", "B\xB3\xAC: \xB8\xCE(\xD5\xFD\xB3\xA3)"},
        {"€", "\x80"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToCodePage(c.utf8), c.gbk);
        EXPECT_EQ(CodePageToUtf8(c.gbk), c.utf8);
        EXPECT_EQ(CodePageToUtf8(c.gbk, 936), c.utf8);
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(c.utf8)), c.utf8);
    }
    EXPECT_EQ(Utf8ToUtf16("超a"), u"超a");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\xD83D\xDE00"); // outside the BMP: a pair
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST(Text, SingleByteCodePagesRoundTripEveryDefinedByte) {
    // Minimum of defined bytes in 0x80..0xFF, to catch a code page that silently decodes nothing.
    const std::pair<int, int> pages[] = {
        {437, 128},  {850, 128}, {874, 90},   {1250, 120}, {1251, 120}, {1252, 120},  {1253, 100},
        {1254, 120}, {1255, 90}, {1256, 120}, {1257, 110}, {1258, 110}, {28591, 128}, {20127, 0}};
    for (const auto& [page, minimum] : pages) {
        SCOPED_TRACE(page);
        int defined = 0;
        for (int b = 0x20; b <= 0xFF; ++b) {
            const std::string byte(1, static_cast<char>(b));
            std::string text;
            try {
                text = CodePageToUtf8(byte, page);
            } catch (const EEncodingError&) {
                EXPECT_GE(b, 0x80) << "printable ASCII must be defined";
                EXPECT_EQ(CodePageToUtf8Lossy(byte, page), "?");
                continue;
            }
            if (b >= 0x80) ++defined;
            EXPECT_EQ(Utf8ToCodePage(text, page), byte) << "byte " << b;
        }
        EXPECT_GE(defined, minimum);
    }
}

TEST(Text, DoubleByteCodePagesRoundTripTheirText) {
    for (const int page : {932, 936, 949, 950}) {
        SCOPED_TRACE(page);
        int defined = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
                // Lossy keeps this fast; a replaced pair is one the page does not define.
                const std::string text = CodePageToUtf8Lossy(pair, page);
                if (text.find('?') != std::string::npos)
                    continue;
                ++defined;
                // Some pages map two byte pairs to one character; the text must survive.
                ASSERT_EQ(CodePageToUtf8(Utf8ToCodePage(text, page), page), text)
                    << std::hex << lead << " " << trail;
            }
        }
        EXPECT_GT(defined, 7000);
    }
    EXPECT_EQ(Utf8ToCodePage("テスト", 932), "\x83\x65\x83\x58\x83\x67");
    EXPECT_EQ(Utf8ToCodePage("한국", 949), "\xC7\xD1\xB1\xB9");
    EXPECT_EQ(Utf8ToCodePage("醫院", 950), "\xC2\xE5\xB0\x7C");
    EXPECT_EQ(CodePageToUtf8("caf\xE9 \xC4", 1252), "café Ä");
    EXPECT_EQ(CodePageToUtf8("\xCF\xF0\xE8", 1251), "При");
}

TEST(Text, InvalidInputRaisesWithItsOffset) {
    ExpectEncodingError([] { CodePageToUtf8("abc\x81"); }, "offset 3");
    ExpectEncodingError([] { CodePageToUtf8("\xFF\xFF"); }, "offset 0");
    ExpectEncodingError([] { CodePageToUtf8("\xB3\xAC\x81\x20", 936); }, "offset 2");
    ExpectEncodingError([] { CodePageToUtf8("a\x80", 20127); }, "offset 1");
    ExpectEncodingError([] { CodePageToUtf8("ok\xC3", 65001); }, "offset 2");
    ExpectEncodingError([] { Utf8ToUtf16("ab\xC3"); }, "offset 2");
    ExpectEncodingError([] { Utf8ToUtf16("x\xC0\xAF"); }, "offset 1");        // overlong
    ExpectEncodingError([] { Utf8ToUtf16("\xED\xA0\x80"); }, "offset 0");     // surrogate
    ExpectEncodingError([] { Utf8ToUtf16("\xF4\x90\x80\x80"); }, "offset 0"); // > U+10FFFF
    ExpectEncodingError(
        [] {
            Utf16ToUtf8(u"a\xD800"
                        u"b");
        },
        "index 1");
    ExpectEncodingError([] { Utf16ToUtf8(u"\xDC00"); }, "index 0");
    ExpectEncodingError([] { Utf16ToUtf8(u"ab\xD83D"); }, "index 2");
    ExpectEncodingError([] { Utf8ToCodePage("a中b", 1252); }, "U+4E2D");
    ExpectEncodingError([] { Utf8ToCodePage("\xFF", 936); }, "offset 0");
    ExpectEncodingError([] { CodePageToUtf8("abc", 1234); }, "1234");
    ExpectEncodingError([] { Utf8ToCodePage("abc", 1234); }, "1234");
}

TEST(Text, LossyVariantsReplaceWithQuestionMarks) {
    EXPECT_EQ(CodePageToUtf8Lossy("a\xFF\xFF"
                                  "b"),
              "a??b");
    EXPECT_EQ(CodePageToUtf8Lossy("\xB3\xAC"
                                  "ab\x81"),
              "超ab?");
    EXPECT_EQ(CodePageToUtf8Lossy("A\x81"
                                  "B",
                                  1258),
              "A?B"); // nothing held back is lost
    EXPECT_EQ(Utf8ToCodePageLossy("a中b€", 1252), "a?b\x80");
    EXPECT_EQ(Utf8ToCodePageLossy("x\xC3y", 1252), "x?y");
    EXPECT_EQ(CodePageToUtf8Lossy("x\xC3y", 65001), "x?y");
}

struct CaseRow {
    const char* text;
    const char* upper;
    const char* lower;
};

TEST(Text, AnsiCaseMapsEveryLetterPlainFormsOnlyAscii) {
    const CaseRow rows[] = {
        {"École été", "ÉCOLE ÉTÉ", "école été"},
        {"Привет Мир", "ПРИВЕТ МИР", "привет мир"},
        {"αβγ Ωμέγα", "ΑΒΓ ΩΜΈΓΑ", "αβγ ωμέγα"},
        {"超声科 abc", "超声科 ABC", "超声科 abc"},
        {"a\xFF"
         "b",
         "A\xFF"
         "B",
         "a\xFF"
         "b"}, // bytes that are not UTF-8 stay
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(AnsiUpperCase(r.text), r.upper);
        EXPECT_EQ(AnsiLowerCase(r.upper), r.lower);
        EXPECT_TRUE(AnsiSameText(r.upper, r.lower));
        EXPECT_EQ(AnsiCompareText(r.text, r.upper), 0);
    }
    EXPECT_EQ(UpperCase("école abc"), "éCOLE ABC");
    EXPECT_EQ(LowerCase("ÉCOLE ABC"), "École abc");
    EXPECT_FALSE(SameText("é", "É"));
    EXPECT_TRUE(SameText("Abc", "aBC"));
}

TEST(Text, Comparisons) {
    struct Row {
        const char* a;
        const char* b;
        int text; // AnsiCompareText
        int str;  // AnsiCompareStr
    };
    const Row rows[] = {
        {"apple", "Banana", -1, -1}, {"a", "A", 0, -1}, {"B", "a", 1, 1},
        {"abc", "ab", 1, 1},         {"", "", 0, 0},    {"é", "É", 0, -1},
        {"Été", "étÉ", 0, 1},        {"б", "А", 1, 1},  {"超声", "超声科", -1, -1},
    };
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.a) + " / " + r.b);
        EXPECT_EQ(sign(AnsiCompareText(r.a, r.b)), r.text);
        EXPECT_EQ(sign(AnsiCompareText(r.b, r.a)), -r.text);
        EXPECT_EQ(sign(AnsiCompareStr(r.a, r.b)), r.str);
        EXPECT_EQ(sign(AnsiCompareStr(r.b, r.a)), -r.str);
    }
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_LT(CompareStr("ABC", "abc"), 0);
    EXPECT_GT(CompareStr("b", "a"), 0);
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(Trim("\t\r\n x y \x01"), "x y");
    EXPECT_EQ(Trim("  超声科\x1F"), "超声科");
    EXPECT_EQ(Trim("\xE3\x80\x80"
                   "a"),
              "\xE3\x80\x80"
              "a"); // an ideographic space is text
    EXPECT_EQ(Trim(" \t "), "");
    EXPECT_EQ(TrimLeft("\n a b "), "a b ");
    EXPECT_EQ(TrimRight(" a b\r\n\x7F"), " a b\r\n\x7F"); // DEL is above ' '
    EXPECT_EQ(TrimRight(" a b\r\n"), " a b");
}

TEST(Text, Utf8LengthCountsCodePoints) {
    EXPECT_EQ(Utf8Length(""), 0u);
    EXPECT_EQ(Utf8Length("abc"), 3u);
    EXPECT_EQ(Utf8Length("超声科ab"), 5u);
    EXPECT_EQ(Utf8Length("é\xF0\x9F\x98\x80"), 2u);
}

} // namespace
