// TStrings/TStringList: sorting, duplicates, delimited text, name=value, text and files.
#include "platform/core/string_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "platform/core/exception.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"

namespace {

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.Strings(i));
    return out;
}

using V = std::vector<std::string>;

void Fill(TStrings& list, const V& lines) {
    for (const auto& s : lines)
        list.Add(s);
}

TEST(StringList, SortedListsKeepOrderAndApplyDuplicates) {
    struct Row {
        const char* name;
        TDuplicates dup;
        bool caseSensitive;
        V expected;
    };
    const Row rows[] = {
        {"ignore", dupIgnore, false, {"a", "b", "c", "超声科"}},
        {"accept", dupAccept, false, {"a", "b", "B", "b", "c", "超声科"}},
        {"case-sensitive", dupIgnore, true, {"a", "b", "B", "c", "超声科"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TStringList list;
        list.SetSorted(true);
        list.SetDuplicates(r.dup);
        list.SetCaseSensitive(r.caseSensitive);
        Fill(list, {"b", "超声科", "a", "B", "c", "b"});
        EXPECT_EQ(Lines(list), r.expected);
        int index = -1;
        EXPECT_TRUE(list.Find("C", index) || r.caseSensitive);
        EXPECT_EQ(list.IndexOf("zz"), -1);
        EXPECT_FALSE(list.Find("bb", index));
        EXPECT_EQ(list.Strings(index), "c"); // where it would go
    }

    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(dupError);
    list.Add("x");
    try {
        list.Add("X");
        FAIL() << "duplicate accepted";
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    EXPECT_THROW(list.Insert(0, "a"), EStringListError);
    EXPECT_THROW(list.SetStrings(0, "a"), EStringListError);
    EXPECT_EQ(list.Count(), 1);
}

TEST(StringList, SortingAnUnsortedListAndCaseSensitivitySwitches) {
    TStringList list;
    Fill(list, {"Beta", "alpha", "gamma", "Alpha"});
    EXPECT_EQ(list.IndexOf("ALPHA"), 1);
    list.CustomSort([](TStringList& l, int a, int b) {
        return static_cast<int>(l.Strings(a).size()) - static_cast<int>(l.Strings(b).size());
    });
    EXPECT_EQ(Lines(list), (V{"Beta", "alpha", "gamma", "Alpha"})); // stable on equal lengths
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (V{"alpha", "Alpha", "Beta", "gamma"}));
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("ALPHA"), -1);
    EXPECT_EQ(list.IndexOf("Alpha"), 1);
}

TEST(StringList, IndexOutOfBoundsNamesTheIndex) {
    TStringList list;
    Fill(list, {"a", "b"});
    const std::pair<int, std::function<void()>> calls[] = {
        {2, [&] { list.Strings(2); }},        {-1, [&] { list.Strings(-1); }},
        {2, [&] { list.Delete(2); }},         {3, [&] { list.Insert(3, "x"); }},
        {2, [&] { list.Objects(2); }},        {2, [&] { list.Exchange(0, 2); }},
        {2, [&] { list.SetStrings(2, ""); }}, {2, [&] { list.Move(0, 2); }},
    };
    for (const auto& [index, call] : calls) {
        try {
            call();
            ADD_FAILURE() << "no error for " << index;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.what(), "List index out of bounds (" + std::to_string(index) + ")");
        }
    }
    EXPECT_EQ(Lines(list), (V{"a", "b"}));
}

TEST(StringList, CommaTextQuotesBothWays) {
    struct Row {
        V lines;
        const char* text;
    };
    const Row written[] = {
        {{"a", "b c", "d\"e", "", "f,g"}, R"(a,"b c","d""e",,"f,g")"},
        {{""}, R"("")"},
        {{}, ""},
        {{"超声科", "检查 结论"}, R"(超声科,"检查 结论")"},
        {{"a", ""}, "a,"},
    };
    for (const auto& r : written) {
        SCOPED_TRACE(r.text);
        TStringList list;
        Fill(list, r.lines);
        EXPECT_EQ(list.CommaText(), r.text);
        TStringList back;
        back.SetCommaText(r.text);
        EXPECT_EQ(Lines(back), r.lines);
    }
    const Row read[] = {
        {{"a", "b", "c"}, "a b,c"}, // unquoted blanks split too
        {{"x, y", "z"}, R"(  "x, y" ,  z  )"},
        {{"unterminated, text"}, R"("unterminated, text)"},
        {{"a", "", "b"}, "a,,b"},
        {{"q\"", "r"}, R"("q""" r)"},
    };
    for (const auto& r : read) {
        SCOPED_TRACE(r.text);
        TStringList list;
        list.SetCommaText(r.text);
        EXPECT_EQ(Lines(list), r.lines);
    }

    TStringList list;
    list.SetDelimiter(';');
    list.SetQuoteChar('\'');
    Fill(list, {"a;b", "it's", "c,d"});
    EXPECT_EQ(list.DelimitedText(), "'a;b';'it''s';c,d");
    EXPECT_EQ(list.CommaText(), R"(a;b,it's,"c,d")");
    list.SetDelimitedText("x;'y;z'");
    EXPECT_EQ(Lines(list), (V{"x", "y;z"}));
    EXPECT_EQ(list.Delimiter(), ';');
}

TEST(StringList, NameValuePairs) {
    TStringList list;
    Fill(list, {"Name=超声科", "Path=D:\\img=1", "plain", "=empty name"});
    EXPECT_EQ(list.Values("name"), "超声科");
    EXPECT_EQ(list.Values("PATH"), "D:\\img=1");
    EXPECT_EQ(list.Values("plain"), "");
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.Names(1), "Path");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.ValueFromIndex(2), "");
    EXPECT_EQ(list.ValueFromIndex(3), "empty name");
    EXPECT_EQ(list.IndexOfName("path"), 1);

    list.SetValues("Path", "E:\\x");
    list.SetValues("New", "1");
    list.SetValues("Name", "");
    list.SetValues("absent", "");
    EXPECT_EQ(Lines(list), (V{"Path=E:\\x", "plain", "=empty name", "New=1"}));
    list.SetValueFromIndex(3, "2");
    EXPECT_EQ(list.Strings(3), "New=2");

    list.SetNameValueSeparator(':');
    list.Add("k:v");
    EXPECT_EQ(list.Values("K"), "v");
}

TEST(StringList, TextSplitsOnEveryLineBreak) {
    struct Row {
        const char* text;
        V lines;
    };
    const Row rows[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"\r\n", {""}},
        {"", {}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\n\r\nb\r\r", {"a", "", "b", ""}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        TStringList list;
        list.SetText(r.text);
        EXPECT_EQ(Lines(list), r.lines);
    }
    TStringList list;
    list.SetText("x\ny");
    EXPECT_EQ(list.Text(), "x\r\ny\r\n");
    list.SetLineBreak("\n");
    EXPECT_EQ(list.Text(), "x\ny\n");
}

class Tracked : public TObject {
public:
    explicit Tracked(int& deaths) : deaths_(deaths) {}
    ~Tracked() override { ++deaths_; }

private:
    int& deaths_;
};

TEST(StringList, ObjectsTravelWithLinesAndOwnedOnesAreFreed) {
    int deaths = 0;
    {
        TStringList list(/*ownsObjects=*/true);
        auto* a = new Tracked(deaths);
        auto* b = new Tracked(deaths);
        list.AddObject("a", a);
        list.AddObject("b", b);
        list.AddObject("c", new Tracked(deaths));
        list.Add("none");
        list.Exchange(0, 1);
        EXPECT_EQ(list.Objects(0), b);
        list.Move(0, 2);
        EXPECT_EQ(Lines(list), (V{"a", "c", "b", "none"}));
        EXPECT_EQ(list.IndexOfObject(b), 2);
        list.SetSorted(true);
        EXPECT_EQ(list.Objects(0), a);
        list.Delete(0);
        EXPECT_EQ(deaths, 1);

        TStringList copy;
        copy.Assign(list);
        copy.AddStrings(copy);
        EXPECT_EQ(Lines(copy), (V{"b", "c", "none", "b", "c", "none"}));
        EXPECT_EQ(copy.Objects(3), b);
        list.Clear();
        EXPECT_EQ(deaths, 3);
        list.AddObject("d", new Tracked(deaths));
    }
    EXPECT_EQ(deaths, 4);
}

TEST(StringList, ChangeEventsFireOncePerChangeOrUpdateBlock) {
    TStringList list;
    std::vector<std::string> log;
    list.OnChanging = [&](TObject* sender) {
        EXPECT_EQ(sender, &list);
        log.push_back("changing " + std::to_string(list.Count()));
    };
    list.OnChange = [&](TObject*) { log.push_back("change " + std::to_string(list.Count())); };
    list.Add("a");
    list.BeginUpdate();
    list.Add("b");
    list.BeginUpdate();
    list.SetText("x\ny\nz");
    list.EndUpdate();
    list.Delete(0);
    list.EndUpdate();
    list.SetObjects(0, nullptr);
    EXPECT_EQ(log,
              (V{"changing 0", "change 1", "changing 1", "change 2", "changing 2", "change 2"}));
}

// A scratch folder removed after the test.
class StringListFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumetra-strings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const char* name) const { return dir_ + "/" + name; }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string dir_;
};

TEST_F(StringListFiles, LoadsInTheCodePageOrByItsByteOrderMark) {
    struct Row {
        const char* name;
        std::string bytes;
        int codePage;
    };
    const Row rows[] = {
        {"gbk", "\xB3\xAC\xC9\xF9\xBF\xC6\r\n\xBC\xEC\xB2\xE9\xBD\xE1\xC2\xDB", kAnsiCodePage},
        {"utf8 bom", "\xEF\xBB\xBF超声科\n检查结论\n", kAnsiCodePage},
        {"utf8", "超声科\r检查结论", 65001},
        {"utf16le bom",
         std::string("\xFF\xFE\x85\x8D\xF0\x58\xD1\x79\n\0\xC0\x68\xE5\x67\xD3\x7E\xBA\x8B", 18),
         1252},
        {"utf16be bom",
         std::string("\xFE\xFF\x8D\x85\x58\xF0\x79\xD1\0\n\x68\xC0\x67\xE5\x7E\xD3\x8B\xBA", 18),
         936},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Write(Path("in.txt"), r.bytes);
        TStringList list;
        list.LoadFromFile(Path("in.txt"), r.codePage);
        EXPECT_EQ(Lines(list), (V{"超声科", "检查结论"}));
        TStringStream stream(r.bytes);
        TStringList fromStream;
        fromStream.LoadFromStream(stream, r.codePage);
        EXPECT_EQ(Lines(fromStream), (V{"超声科", "检查结论"}));
    }
}

TEST_F(StringListFiles, BadBytesRaiseAndLeaveTheListAlone) {
    TStringList list;
    list.Add("kept");
    Write(Path("bad.txt"), "ok\r\n\xB3\xAC\xFF\xFF\r\n");
    EXPECT_THROW(list.LoadFromFile(Path("bad.txt")), EEncodingError);
    Write(Path("odd.txt"), std::string("\xFF\xFE"
                                       "a\0b",
                                       5));
    EXPECT_THROW(list.LoadFromFile(Path("odd.txt")), EEncodingError);
    EXPECT_THROW(list.LoadFromFile(Path("missing.txt")), EFOpenError);
    EXPECT_THROW(list.LoadFromFile("D:\\img\\list.txt"), EFOpenError);
    EXPECT_EQ(Lines(list), (V{"kept"}));
}

TEST_F(StringListFiles, SavesInTheCodePageAndNeverHalfWrites) {
    TStringList list;
    Fill(list, {"超声科", "检查结论"});
    list.SaveToFile(Path("out.txt"));
    EXPECT_EQ(Read(Path("out.txt")),
              "\xB3\xAC\xC9\xF9\xBF\xC6\r\n\xBC\xEC\xB2\xE9\xBD\xE1\xC2\xDB\r\n");
    list.SaveToFile(Path("utf8.txt"), 65001);
    EXPECT_EQ(Read(Path("utf8.txt")), "\xEF\xBB\xBF超声科\r\n检查结论\r\n");
    TStringList back;
    back.LoadFromFile(Path("utf8.txt")); // the mark wins over the default code page
    EXPECT_EQ(Lines(back), Lines(list));

    // A line the code page cannot hold: an error, and the old file stays as it was.
    EXPECT_THROW(list.SaveToFile(Path("out.txt"), 1252), EEncodingError);
    EXPECT_EQ(Read(Path("out.txt")).size(), 18u);
    EXPECT_THROW(list.SaveToFile(dir_ + "/no/such/folder.txt"), EStreamError);

    TStringStream stream;
    list.SaveToStream(stream, 65001);
    EXPECT_EQ(stream.DataString(), "\xEF\xBB\xBF超声科\r\n检查结论\r\n");
}

} // namespace

TEST(StringListStreaming, LinesTravelAsTheStringsProperty) {
    TStringList source;
    source.Add("SELECT *");
    source.Add("FROM patient");
    source.Add("WHERE name like '%王%'");
    TMemoryStream stream;
    TWriter(stream).WriteProperties(source);

    TStringList copy;
    copy.Add("stale");
    stream.SetPosition(0);
    TReader(stream).ReadPropertiesToEnd(copy);
    EXPECT_EQ(copy.Text(), source.Text());

    TStringList assigned;
    assigned.Assign(static_cast<const TPersistent*>(&source));
    EXPECT_EQ(assigned.Count(), 3);
    EXPECT_TRUE(TStringList::StaticClass().InheritsFrom("TPersistent"));
}
