#include "report/wide_strings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/exception.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"

namespace {

std::vector<std::u16string> lines(const TWideStrings& w) {
    std::vector<std::u16string> out;
    for (int i = 0; i < w.Count(); ++i)
        out.push_back(w.Strings(i));
    return out;
}

TEST(WideStrings, TextSplitsAtEveryBreakKind) {
    struct Case {
        std::u16string text;
        std::vector<std::u16string> expected;
    };
    const Case cases[] = {
        {u"a\r\nb", {u"a", u"b"}},
        {u"a\r\n\r\n", {u"a", u""}},
        {u"a\nb\rc\u2028d", {u"a", u"b", u"c", u"d"}},
        {u"a\r\n\u2028b", {u"a", u"b"}}, // CR LF U+2028 is one break
        {u"a\n\rb", {u"a", u"", u"b"}},
        {std::u16string(u"a\0b", 3), {u"a"}}, // stops at a NUL
        {u"", {}},
    };
    TWideStrings w;
    for (const auto& c : cases) {
        w.SetText(c.text);
        EXPECT_EQ(lines(w), c.expected);
    }
    w.SetText(u"a\nb");
    EXPECT_EQ(w.Text(), u"a\r\nb\r\n");
}

TEST(WideStrings, ListOperations) {
    TWideStrings w;
    TObject obj;
    EXPECT_EQ(w.Add(u"Abc"), 0);
    EXPECT_EQ(w.AddObject(u"abc", &obj), 1);
    EXPECT_EQ(w.IndexOf(u"abc"), 1); // case-sensitive
    EXPECT_EQ(w.IndexOf(u"ABC"), -1);
    w.Insert(0, u"replaced"); // replaces, does not shift
    EXPECT_EQ(lines(w), (std::vector<std::u16string>{u"replaced", u"abc"}));
    w.Insert(2, u"appended");
    EXPECT_EQ(w.Count(), 3);
    try {
        w.Insert(4, u"x");
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Wide String Out of Bounds");
    }
    EXPECT_EQ(w.Strings(-1), u"");
    EXPECT_EQ(w.Objects(1), &obj);
    EXPECT_EQ(w.Objects(9), nullptr);
    w.SetObjects(9, &obj); // ignored
    EXPECT_THROW(w.Delete(3), EListError);
    w.Delete(0);
    EXPECT_EQ(w.Strings(0), u"abc");

    TStringList list;
    w.AssignTo(list);
    EXPECT_EQ(list.Strings(1), "appended");
    EXPECT_EQ(list.Objects(0), &obj);
    list.Add("\xE4\xB8\xAD\xE6\x96\x87");
    TWideStrings back;
    back.Assign(list);
    EXPECT_EQ(back.Strings(2), u"中文");
    TWideStrings copy;
    copy.Assign(back);
    EXPECT_EQ(copy.Objects(0), &obj);
}

TEST(WideStrings, StreamsAndFiles) {
    TWideStrings w;
    w.SetText(u"第一行\r\nsecond");
    TMemoryStream s;
    w.SaveToStream(s);
    ASSERT_EQ(s.Size(), 2 + 2 * 13); // every line ends with CR LF
    EXPECT_EQ(s.Memory()[0], 0xFF);
    EXPECT_EQ(s.Memory()[1], 0xFE);
    s.SetPosition(0);
    TWideStrings r;
    r.LoadFromStream(s);
    EXPECT_EQ(lines(r), (std::vector<std::u16string>{u"第一行", u"second"}));

    TStringStream bomOnly{"\xFF\xFE"};
    r.LoadFromStream(bomOnly);
    EXPECT_EQ(r.Count(), 0);

    TStringStream oddByte{std::string("\xFF\xFE"
                                      "a\0b",
                                      5)};
    r.LoadFromStream(oddByte);
    EXPECT_EQ(lines(r), std::vector<std::u16string>{u"a"});

    TStringStream gbk{"\xD6\xD0\xCE\xC4\r\nx"}; // 8-bit text in the legacy code page
    r.LoadFromStream(gbk);
    EXPECT_EQ(lines(r), (std::vector<std::u16string>{u"中文", u"x"}));

    const auto file =
        std::filesystem::temp_directory_path() / ("wide_" + std::to_string(::getpid()) + ".txt");
    w.SaveToFile(file.string());
    r.LoadFromFile(file.string());
    EXPECT_EQ(lines(r), lines(w));
    std::filesystem::remove(file);
    EXPECT_THROW(r.LoadFromFile(file.string()), EFOpenError);
}

TEST(WideStrings, BinaryPropertyStream) {
    TWideStrings w;
    w.SetText(u"第一\r\nline two");
    TMemoryStream s;
    {
        TWriter writer(s);
        writer.WriteProperties(w);
    }
    s.SetPosition(0);
    TWideStrings r;
    {
        TReader reader(s);
        reader.ReadPropertiesToEnd(r);
    }
    EXPECT_EQ(lines(r), lines(w));

    TWideStrings empty;
    TMemoryStream none;
    {
        TWriter writer(none);
        writer.WriteProperties(empty);
    }
    EXPECT_EQ(none.Size(), 0); // nothing stored for an empty list

    // Older streams: "Strings" with 8-bit (legacy code page) and wide items, and "UTF8" lines
    // stored as 8-bit strings holding UTF-8 bytes.
    TMemoryStream old;
    {
        TWriter writer(old);
        writer.WriteStr("Strings");
        writer.WriteListBegin();
        writer.WriteString("中文");
        writer.WriteWideString(u"wide");
        writer.WriteListEnd();
    }
    const std::string utf8Line("\x04UTF8\x01\x06\x06\xE4\xB8\xAD\xE6\x96\x87\x00", 15);
    old.WriteBuffer(utf8Line.data(), std::int64_t(utf8Line.size()));
    old.SetPosition(0);
    TWideStrings fromOld;
    TReader reader(old);
    reader.ReadProperty(fromOld);
    EXPECT_EQ(lines(fromOld), (std::vector<std::u16string>{u"中文", u"wide"}));
    reader.ReadProperty(fromOld);
    EXPECT_EQ(lines(fromOld), std::vector<std::u16string>{u"中文"});

    TStringStream cut{"\x04UTF8\x01\x06\x09\xE4"};
    TReader cutReader(cut);
    EXPECT_THROW(cutReader.ReadProperty(fromOld), EReadError);
    EXPECT_EQ(lines(fromOld), std::vector<std::u16string>{u"中文"});

    TWideStrings assigned;
    assigned.Assign(static_cast<const TPersistent*>(&w));
    EXPECT_EQ(lines(assigned), lines(w));
    EXPECT_THROW(assigned.Assign(static_cast<const TPersistent*>(nullptr)), EConvertError);
}

TEST(WideStrings, CharsetConversions) {
    EXPECT_EQ(AnsiToWide("\xD6\xD0\xCE\xC4", 1, 936), u"中文");
    EXPECT_EQ(AnsiToWide("\xD6\xD0\xCE\xC4", 1, 0), u"中文"); // default set: system code page
    EXPECT_EQ(AnsiToWide("\xE9", 0, 0), u"é");                // ANSI set: 1252
    EXPECT_EQ(AnsiToWide("\xFF", 1, 936), u"");               // not convertible
    EXPECT_EQ(WideToAnsi(u"中文", 134, 0), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(WideToAnsi(u"\u0E01", 1, 936), "");
    EXPECT_EQ(CharsetToCodePage(77), 2);
    EXPECT_EQ(CharsetToCodePage(255), 1);
    EXPECT_EQ(CharsetToCodePage(204), 1251);
    EXPECT_THROW(CharsetToCodePage(99), EOSError);
    EXPECT_EQ(CharsetToLocale(134), 2052);
    EXPECT_EQ(CharsetToLocale(178), 13313);
    EXPECT_EQ(CharsetToLocale(0), 2052);
    EXPECT_EQ(OemToAnsi("abc\xB0"), "abc\xB0");
}

} // namespace
