#include "platform/core/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/tests/temp_dir.h"

namespace {

struct FailureHook {
    explicit FailureHook(int errorNumber) { SetSafeFileFailureForTesting(errorNumber); }
    ~FailureHook() { SetSafeFileFailureForTesting(0); }
};

// Sets the file's time far back so that any rewrite shows.
void AgeFile(const std::string& name) {
    const timespec times[2] = {{946684800, 0}, {946684800, 0}};
    ::utimensat(AT_FDCWD, name.c_str(), times, 0);
}

timespec ModifiedTime(const std::string& name) {
    struct stat st {};
    ::stat(name.c_str(), &st);
    return st.st_mtim;
}

} // namespace

TEST(IniFile, WritesGbkNamesAndValuesByteForByte) {
    TempDir dir;
    const std::string name = dir / "exam.ini";
    {
        TIniFile ini(name);
        ini.WriteString("患者", "姓名", "张三");
        ini.WriteInteger("患者", "年龄", 42);
        ini.WriteString("设置", "路径", "C:\\报告");
        ini.WriteBool("设置", "Show", true);
    }
    EXPECT_EQ(TempDir::ReadAll(name), "[\xBB\xBC\xD5\xDF]\r\n"
                                      "\xD0\xD5\xC3\xFB=\xD5\xC5\xC8\xFD\r\n"
                                      "\xC4\xEA\xC1\xE4=42\r\n"
                                      "[\xC9\xE8\xD6\xC3]\r\n"
                                      "\xC2\xB7\xBE\xB6=C:\\\xB1\xA8\xB8\xE6\r\n"
                                      "Show=1\r\n");

    TIniFile back(name);
    EXPECT_EQ(back.ReadString("患者", "姓名", ""), "张三");
    EXPECT_EQ(back.ReadInteger("患者", "年龄", 0), 42);
    EXPECT_EQ(back.ReadString("设置", "路径", ""), "C:\\报告");
    EXPECT_TRUE(back.ReadBool("设置", "SHOW", false)); // names ignore case
    EXPECT_EQ(back.ReadSections(), (std::vector<std::string>{"患者", "设置"}));
    EXPECT_EQ(back.ReadSection("患者"), (std::vector<std::string>{"姓名", "年龄"}));
    EXPECT_EQ(back.ReadSectionValues("患者"), (std::vector<std::string>{"姓名=张三", "年龄=42"}));
    TStringList list;
    list.Add("stale");
    back.ReadSectionValues("患者", list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Values("年龄"), "42");

    // UTF-8 files on request.
    TIniFile utf8(dir / "utf8.ini", 65001);
    utf8.WriteString("患者", "姓名", "张三");
    EXPECT_EQ(TempDir::ReadAll(dir / "utf8.ini"), "[患者]\r\n姓名=张三\r\n");
}

TEST(IniFile, EditsKeepCommentsLineEndsAndUntouchedBytes) {
    TempDir dir;
    const std::string name = dir / "app.ini";
    // LF line ends, a comment in GBK, a stray byte no code page maps, odd spacing, no final LF.
    TempDir::WriteAll(name, "; \xD7\xA2\xCA\xCD \xFF\n"
                            "[Main]\n"
                            "  Path = C:\\data  \n"
                            "\n"
                            "[Other]\n"
                            "x=1");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("main", "PATH", ""), "C:\\data");
    ini.WriteString("Main", "Added", "v");
    ini.WriteString("Other", "x", "2");
    ini.WriteString("New", "k", "");
    EXPECT_EQ(TempDir::ReadAll(name), "; \xD7\xA2\xCA\xCD \xFF\n"
                                      "[Main]\n"
                                      "  Path = C:\\data  \n"
                                      "Added=v\r\n"
                                      "\n"
                                      "[Other]\n"
                                      "x=2\r\n"
                                      "[New]\r\n"
                                      "k=\r\n");
    EXPECT_TRUE(ini.ValueExists("NEW", "K"));
    EXPECT_FALSE(ini.ValueExists("New", "missing"));

    ini.DeleteKey("main", "path");
    ini.EraseSection("other");
    EXPECT_EQ(TempDir::ReadAll(name), "; \xD7\xA2\xCA\xCD \xFF\n"
                                      "[Main]\n"
                                      "Added=v\r\n"
                                      "\n"
                                      "[New]\r\n"
                                      "k=\r\n");
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_TRUE(ini.SectionExists("main"));
}

TEST(IniFile, WritesThatChangeNothingLeaveTheFileUntouched) {
    TempDir dir;
    const std::string name = dir / "same.ini";
    TempDir::WriteAll(name, "[S]\nName = Value\nFlag=1\nN=$10\n");
    AgeFile(name);
    const timespec before = ModifiedTime(name);
    const std::string bytes = TempDir::ReadAll(name);
    TIniFile ini(name);
    ini.WriteString("s", "NAME", "Value");
    ini.WriteBool("S", "Flag", true);
    ini.DeleteKey("S", "missing");
    ini.DeleteKey("missing", "x");
    ini.EraseSection("missing");
    EXPECT_EQ(TempDir::ReadAll(name), bytes);
    EXPECT_EQ(ModifiedTime(name).tv_sec, before.tv_sec);
    EXPECT_EQ(ModifiedTime(name).tv_nsec, before.tv_nsec);

    ini.WriteString("S", "Name", "value"); // letter case of values counts
    EXPECT_NE(ModifiedTime(name).tv_sec, before.tv_sec);
}

TEST(IniFile, FailedWritesRaiseAndKeepTheEarlierFile) {
    TempDir dir;
    const std::string name = dir / "keep.ini";
    TempDir::WriteAll(name, "[S]\r\nA=old\r\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("S", "A", ""), "old");
    {
        FailureHook full(ENOSPC);
        try {
            ini.WriteString("S", "A", "new");
            ADD_FAILURE() << "write succeeded";
        } catch (const EIniFileException& e) {
            EXPECT_NE(e.Message().find("Unable to write to " + name), std::string::npos)
                << e.Message();
            EXPECT_NE(e.Message().find("No space left on device"), std::string::npos)
                << e.Message();
        }
        EXPECT_THROW(ini.EraseSection("S"), EIniFileException);
    }
    EXPECT_EQ(TempDir::ReadAll(name), "[S]\r\nA=old\r\n");
    EXPECT_EQ(ini.ReadString("S", "A", ""), "old"); // the failed change is not remembered
    EXPECT_EQ(dir.EntryCount(), 1u);

    TIniFile underFile(name + "/sub.ini"); // a folder that is a regular file
    EXPECT_EQ(underFile.ReadString("S", "A", "default"), "default");
    EXPECT_THROW(underFile.WriteString("S", "A", "x"), EIniFileException);

    TIniFile memoryless(dir / "missing/folder/x.ini");
    EXPECT_THROW(memoryless.WriteInteger("S", "A", 1), EIniFileException);
}

TEST(IniFile, RefusesWhatCannotBeStored) {
    TempDir dir;
    const std::string name = dir / "bad.ini";
    TempDir::WriteAll(name, "[S]\r\nA=1\r\n");
    TIniFile ini(name);
    struct Case {
        const char* what;
        std::string section, key, value;
    };
    for (const Case& c :
         {Case{"line break in value", "S", "A", "1\r\nB=2"}, Case{"equals in key", "S", "A=B", "1"},
          Case{"bracket in section", "S]", "A", "1"}, Case{"empty key", "S", " ", "1"},
          Case{"character outside GBK", "S", "A", "\xF0\x9F\x98\x80"}}) {
        EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), EIniFileException) << c.what;
    }
    EXPECT_EQ(TempDir::ReadAll(name), "[S]\r\nA=1\r\n");
}

TEST(IniFile, TypedValuesReadAsTheClassLibraryReadsThem) {
    TempDir dir;
    const std::string name = dir / "typed.ini";
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadInteger("S", "missing", 7), 7);
    EXPECT_FALSE(std::filesystem::exists(name)); // reading creates nothing

    struct IntCase {
        const char* text;
        int expected;
    };
    for (IntCase c : {IntCase{"42", 42},
                      {" -5 ", -5},
                      {"$1F", 31},
                      {"0x10", 16},
                      {"$FFFFFFFF", -1},
                      {"2147483647", 2147483647},
                      {"2147483648", -99},
                      {"12abc", -99},
                      {"", -99}}) {
        ini.WriteString("S", "I", c.text);
        EXPECT_EQ(ini.ReadInteger("S", "I", -99), c.expected) << c.text;
    }
    struct BoolCase {
        const char* text;
        bool whenDefaultFalse;
        bool whenDefaultTrue;
    };
    for (BoolCase c : {BoolCase{"1", true, true},
                       {"0", false, false},
                       {"True", true, true},
                       {"false", false, false},
                       {"2", true, true},
                       {"yes", false, true}}) {
        ini.WriteString("S", "B", c.text);
        EXPECT_EQ(ini.ReadBool("S", "B", false), c.whenDefaultFalse) << c.text;
        EXPECT_EQ(ini.ReadBool("S", "B", true), c.whenDefaultTrue) << c.text;
    }
    ini.WriteBool("S", "B", false);
    EXPECT_EQ(ini.ReadString("S", "B", ""), "0");

    TStringStream bytes(std::string("\x00\x01\xAB\xFF", 4));
    ini.WriteBinaryStream("S", "Bin", bytes);
    EXPECT_EQ(ini.ReadString("S", "Bin", ""), "0001ABFF");
    TStringStream out;
    EXPECT_EQ(ini.ReadBinaryStream("S", "Bin", out), 4);
    EXPECT_EQ(out.DataString(), std::string("\x00\x01\xAB\xFF", 4));

    ini.WriteFloat("S", "F", 2.5);
    EXPECT_EQ(ini.ReadFloat("S", "F", 0), 2.5);
    EXPECT_EQ(ini.ReadFloat("S", "B", -1), 0); // "0"
    ini.WriteString("S", "F", "n/a");
    EXPECT_EQ(ini.ReadFloat("S", "F", -1), -1);
    const TDateTime day = EncodeDate(2026, 12, 10);
    ini.WriteDate("S", "D", day);
    EXPECT_EQ(ini.ReadDate("S", "D", 0), day);
    EXPECT_EQ(ini.ReadDate("S", "F", 1), 1);
}

TEST(IniFile, SeesChangesMadeByOthers) {
    TempDir dir;
    const std::string name = dir / "shared.ini";
    TIniFile a(name);
    TIniFile b(name);
    EXPECT_EQ(a.ReadString("S", "K", "none"), "none");
    b.WriteString("S", "K", "from b");
    EXPECT_EQ(a.ReadString("S", "K", ""), "from b");
    a.WriteString("S", "Other", "from a"); // must not drop b's value
    EXPECT_EQ(b.ReadSectionValues("S"), (std::vector<std::string>{"K=from b", "Other=from a"}));
}

TEST(MemIniFile, ChangesReachTheFileOnlyOnUpdate) {
    TempDir dir;
    const std::string name = dir / "mem.ini";
    TempDir::WriteAll(name, "; top\r\n[\xBB\xBC\xD5\xDF]\r\nA=1\r\n");
    TMemIniFile ini(name);
    EXPECT_EQ(ini.ReadInteger("患者", "a", 0), 1);
    ini.WriteString("患者", "B", "二");
    EXPECT_EQ(TempDir::ReadAll(name), "; top\r\n[\xBB\xBC\xD5\xDF]\r\nA=1\r\n");
    EXPECT_EQ(ini.GetStrings(), (std::vector<std::string>{"; top", "[患者]", "A=1", "B=二"}));
    ini.UpdateFile();
    EXPECT_EQ(TempDir::ReadAll(name), "; top\r\n[\xBB\xBC\xD5\xDF]\r\nA=1\r\nB=\xB6\xFE\r\n");

    ini.SetStrings({"[X]", "y = 2"});
    EXPECT_EQ(ini.ReadInteger("x", "Y", 0), 2);
    ini.Clear();
    EXPECT_TRUE(ini.ReadSections().empty());

    FailureHook full(ENOSPC);
    EXPECT_THROW(ini.UpdateFile(), EIniFileException);
    EXPECT_EQ(TempDir::ReadAll(name), "; top\r\n[\xBB\xBC\xD5\xDF]\r\nA=1\r\nB=\xB6\xFE\r\n");
}
