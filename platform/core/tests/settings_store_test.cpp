#include "platform/core/settings_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/tests/expect_error.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"

namespace {

class SettingsStore : public testing::Test {
protected:
    TempDir user;
    TempDir machine;
    ScopedEnv userEnv{"LUMETRA_CONFIG_DIR", user / "config"};
    ScopedEnv machineEnv{"LUMETRA_SYSTEM_CONFIG_DIR", machine.Path()};
    std::string UserFile() const { return user / "config/registry.ini"; }
};

} // namespace

TEST_F(SettingsStore, ValuesRoundTripThroughTheUserStore) {
    const std::string awkward = " lead\\tab\tline\r\nend ";
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("\\Software\\Quillmark\\MRUFont", false));
        ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark\\MRUFont\\", true)); // creates the folder
        EXPECT_EQ(reg.CurrentPath(), "Software\\Quillmark\\MRUFont");
        reg.WriteString("Font0", "宋体");
        reg.WriteInteger("FontType0", 4);
        reg.WriteInteger("Negative", -7);
        reg.WriteBool("Flag", true);
        reg.WriteFloat("Zoom", 1.25);
        reg.WriteBinaryData("Blob", "\x00\xFF", 2);
        reg.WriteString("Awkward", awkward);
        reg.WriteString("", "default value");
    }
    EXPECT_EQ(TempDir::ReadAll(UserFile()), "[HKEY_CURRENT_USER\\Software\\Quillmark\\MRUFont]\r\n"
                                            "Font0=sz:宋体\r\n"
                                            "FontType0=dword:4\r\n"
                                            "Negative=dword:-7\r\n"
                                            "Flag=dword:1\r\n"
                                            "Zoom=hex:000000000000f43f\r\n"
                                            "Blob=hex:00ff\r\n"
                                            "Awkward=sz: lead\\\\tab\\x09line\\x0D\\x0Aend\\x20\r\n"
                                            "@=sz:default value\r\n");

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\quillmark\\mrufont")); // letter case ignored
    EXPECT_EQ(reg.ReadString("font0"), "宋体");
    EXPECT_EQ(reg.ReadInteger("FontType0"), 4);
    EXPECT_EQ(reg.ReadInteger("Negative"), -7);
    EXPECT_TRUE(reg.ReadBool("Flag"));
    EXPECT_EQ(reg.ReadFloat("Zoom"), 1.25);
    char blob[4] = {};
    EXPECT_EQ(reg.ReadBinaryData("Blob", blob, sizeof blob), 2);
    EXPECT_EQ(std::string(blob, 2), std::string("\x00\xFF", 2));
    EXPECT_EQ(reg.ReadString("Awkward"), awkward);
    EXPECT_EQ(reg.ReadString(""), "default value");
    EXPECT_EQ(reg.GetDataType("FontType0"), rdInteger);
    EXPECT_EQ(reg.GetDataSize("Blob"), 2);
    EXPECT_EQ(reg.GetDataSize("missing"), -1);
    EXPECT_EQ(reg.GetValueNames(),
              (std::vector<std::string>{"Font0", "FontType0", "Negative", "Flag", "Zoom", "Blob",
                                        "Awkward", ""}));

    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_EQ(MessageOf([&] { reg.ReadInteger("missing"); }), "Failed to get data for 'missing'");
    EXPECT_EQ(MessageOf([&] { reg.ReadInteger("Font0"); }), "Invalid data type for 'Font0'");
    EXPECT_EQ(MessageOf([&] { reg.ReadString("FontType0"); }), "Invalid data type for 'FontType0'");
    EXPECT_EQ(MessageOf([&] { reg.ReadFloat("Blob"); }), "Invalid data type for 'Blob'");
    EXPECT_EQ(MessageOf([&] { reg.ReadBinaryData("Blob", blob, 1); }),
              "Failed to get data for 'Blob'");
    EXPECT_EQ(MessageOf([&] { reg.WriteString("x", "y"); }),
              "Failed to set data for 'x'"); // read-only
    reg.CloseKey();
    EXPECT_THROW(reg.WriteInteger("x", 1), ERegistryException); // no key open
}

TEST_F(SettingsStore, KeysFormATreeThatCanBeWalkedAndDeleted) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark\\Connections\\Archive", true));
    reg.WriteString("Main", "x");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark", false));
    ASSERT_TRUE(reg.OpenKey("MRUFont", true)); // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\Quillmark\\MRUFont");
    reg.WriteString("Font0", "Arial");

    ASSERT_TRUE(reg.OpenKey("\\Software", false)); // exists through its subkeys only
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Quillmark"});
    ASSERT_TRUE(reg.OpenKey("Quillmark", false));
    TStringList keys;
    reg.GetKeyNames(keys);
    EXPECT_EQ(keys.CommaText(), "Connections,MRUFont");
    EXPECT_TRUE(reg.HasSubKeys());
    EXPECT_TRUE(reg.KeyExists("connections\\ARCHIVE"));
    EXPECT_FALSE(reg.KeyExists("Connect")); // a prefix of a name is not a key

    EXPECT_TRUE(reg.DeleteKey("Connections")); // with its subkeys
    EXPECT_FALSE(reg.KeyExists("Connections\\Archive"));
    EXPECT_FALSE(reg.DeleteKey("Connections"));
    ASSERT_TRUE(reg.OpenKey("MRUFont", false));
    EXPECT_TRUE(reg.DeleteValue("font0"));
    EXPECT_FALSE(reg.DeleteValue("font0"));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Quillmark\\MRUFont")); // an empty key stays

    TRegistry other; // HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are apart
    other.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(other.KeyExists("\\Software\\Quillmark\\MRUFont"));
}

TEST_F(SettingsStore, MachineKeysComeFromTheMachineStoreAndWritesGoToTheUser) {
    const std::string machineFile = machine / "registry.ini";
    const std::string machineText = "; installed by the administrator\n"
                                    "[HKEY_LOCAL_MACHINE\\Software\\Quillmark\\Connections]\n"
                                    "Archive=Provider=SQLite;Data Source=/srv/exams.db\n"
                                    "Timeout=dword:30\n"
                                    "[HKEY_LOCAL_MACHINE\\Software\\Quillmark\\Connections\\Sub]\n";
    TempDir::WriteAll(machineFile, machineText);

    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark\\Connections", false));
    EXPECT_EQ(reg.ReadString("archive"), "Provider=SQLite;Data Source=/srv/exams.db");
    EXPECT_EQ(reg.ReadInteger("Timeout"), 30);

    reg.WriteInteger("Timeout", 60); // lands in the user store and wins from then on
    reg.WriteString("Local", "mine");
    EXPECT_EQ(reg.ReadInteger("Timeout"), 60);
    EXPECT_EQ(TempDir::ReadAll(machineFile), machineText);
    EXPECT_EQ(TempDir::ReadAll(UserFile()),
              "[HKEY_LOCAL_MACHINE\\Software\\Quillmark\\Connections]\r\n"
              "Timeout=dword:60\r\n"
              "Local=sz:mine\r\n");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Timeout", "Local", "Archive"}));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Sub"});
    EXPECT_FALSE(reg.DeleteValue("Archive")); // the machine store is never written

    TRegistry user; // the current user does not see machine keys
    EXPECT_FALSE(user.KeyExists("\\Software\\Quillmark\\Connections"));
}

TEST_F(SettingsStore, StoreFailuresRaiseAndKeepTheEarlierFile) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark", true));
        reg.WriteString("Kept", "yes");
    }
    const std::string before = TempDir::ReadAll(UserFile());
    {
        SetSafeFileFailureForTesting(ENOSPC);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark", false));
        const std::string message = MessageOf([&] { reg.WriteString("Kept", "no"); });
        EXPECT_EQ(message.rfind("Failed to set data for 'Kept'. Unable to write to ", 0), 0u)
            << message;
        EXPECT_FALSE(reg.OpenKey("\\Software\\Other", true));
        SetSafeFileFailureForTesting(0);
        EXPECT_EQ(reg.ReadString("Kept"), "yes");
    }
    EXPECT_EQ(TempDir::ReadAll(UserFile()), before);

    const std::string blocker = user / "file";
    TempDir::WriteAll(blocker, "");
    ScopedEnv blocked("LUMETRA_CONFIG_DIR", blocker + "/config"); // a folder under a regular file
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\Software\\Quillmark", true));
}

TEST_F(SettingsStore, RegistryIniFileMapsSectionsToSubkeys) {
    {
        TRegistryIniFile ini("\\Software\\Quillmark");
        EXPECT_EQ(ini.FileName(), "\\Software\\Quillmark");
        ini.WriteString("Designer", "Grid", "8");
        ini.WriteInteger("Designer", "Units", 2);
        ini.WriteBool("Preview", "Maximized", true);
        ini.WriteFloat("Preview", "Zoom", 0.75);
        ini.WriteDate("Preview", "Last", 46000.0);
        TStringStream data(std::string("\x01\x02\x03", 3));
        ini.WriteBinaryStream("Preview", "State", data);
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillmark\\Designer", false));
    EXPECT_EQ(reg.ReadInteger("Units"), 2); // integers are integer values

    TRegistryIniFile ini("\\Software\\Quillmark");
    EXPECT_EQ(ini.ReadInteger("designer", "GRID", 0), 8);    // from text
    EXPECT_EQ(ini.ReadString("Designer", "Units", ""), "2"); // integer as text
    EXPECT_TRUE(ini.ReadBool("Preview", "Maximized", false));
    EXPECT_EQ(ini.ReadFloat("Preview", "Zoom", 0), 0.75);
    EXPECT_EQ(ini.ReadDate("Preview", "Last", 0), 46000.0);
    TStringStream out;
    EXPECT_EQ(ini.ReadBinaryStream("Preview", "State", out), 3);
    EXPECT_EQ(out.DataString(), std::string("\x01\x02\x03", 3));
    EXPECT_EQ(ini.ReadString("Missing", "x", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Designer", "Preview"}));
    EXPECT_EQ(ini.ReadSectionValues("Designer"), (std::vector<std::string>{"Grid=8", "Units=2"}));
    EXPECT_TRUE(ini.SectionExists("preview"));
    EXPECT_TRUE(ini.ValueExists("Preview", "zoom"));

    ini.DeleteKey("Preview", "Zoom");
    EXPECT_FALSE(ini.ValueExists("Preview", "Zoom"));
    ini.EraseSection("Preview");
    EXPECT_FALSE(ini.SectionExists("Preview"));
    ini.DeleteKey("Preview", "Zoom"); // deleting from a missing section makes none
    EXPECT_FALSE(ini.SectionExists("Preview"));
    EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Designer"});
}

TEST(SettingsFolders, FollowTheEnvironment) {
    struct Case {
        std::optional<std::string> own, xdg, home;
        std::string expected;
    };
    for (const Case& c :
         {Case{"/o", "/x", "/h", "/o"}, Case{std::nullopt, "/x", "/h", "/x/lumetra"},
          Case{"", "relative", "/h", "/h/.config/lumetra"},
          Case{std::nullopt, std::nullopt, "/h", "/h/.config/lumetra"}}) {
        ScopedEnv own("LUMETRA_CONFIG_DIR", c.own);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(UserSettingsFolder(), c.expected);
    }
    ScopedEnv system("LUMETRA_SYSTEM_CONFIG_DIR", std::nullopt);
    EXPECT_EQ(MachineSettingsFolder(), "/etc/lumetra");
}
