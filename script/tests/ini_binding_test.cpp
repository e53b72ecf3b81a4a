// The INI binding through scripts: typed reads and writes, string lists in sections, section
// values and whole files through streams.
#include "script/ini_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "platform/core/ini_file.h"
#include "script/tests/binding_fixture.h"

namespace {

class IniBindingTest : public BindingFixture {
protected:
    IniBindingTest() {
        AddModule<TksIniModule>();
        AddModule<TksClassesModule>();
        dir = std::filesystem::path(::testing::TempDir()) /
              ("ini_binding_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        AddHostVariable("Dir", Variant(dir.string() + "/"));
    }
    ~IniBindingTest() override { std::filesystem::remove_all(dir); }

    std::string FileText(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteFile(const char* name, const std::string& text) const {
        std::ofstream(dir / name, std::ios::binary) << text;
    }

    std::filesystem::path dir;
};

TEST_F(IniBindingTest, TypedValuesOnDisk) {
    EXPECT_EQ(Run(R"(
var ini: TIniFile;
begin
  ini := TIniFile.Create(Dir + 'a.ini');
  ini.WriteInteger('S', 'i', 42);
  ini.WriteBool('S', 'b', True);
  ini.WriteFloat('S', 'f', 2.5);
  ini.WriteDate('S', 'd', EncodeDate(2024, 2, 29));
  ini.WriteString('T', 's', 'text');
  WriteLn(ini.ReadInteger('S', 'i', 0) + 1);
  WriteLn(ini.ReadBool('S', 'b', False));
  WriteLn(ini.ReadFloat('S', 'f', 0) * 2);
  WriteLn(DateToStr(ini.ReadDate('S', 'd', 0)));
  WriteLn(VarType(ini.ReadDate('S', 'd', 0)));
  WriteLn(ini.ReadString('T', 's', 'none'));
  WriteLn(ini.ReadString('T', 'missing', 'none'));
  WriteLn(ini.ReadInteger('T', 's', -1));
  WriteLn(ini.SectionExists('T'));
  WriteLn(ini.ValueExists('T', 'x'));
  WriteLn(ini.FileName = Dir + 'a.ini');
  ini.DeleteKey('T', 's');
  WriteLn(ini.SectionExists('T'));
  ini.EraseSection('S');
  WriteLn(ini.ValueExists('S', 'i'));
  WriteLn(ini.ClassName);
  ini.Free;
end.)"),
              "43\nTrue\n5\n2024-02-29\n7\ntext\nnone\n-1\nTrue\nFalse\nTrue\nFalse\nFalse\n"
              "TIniFile\n");
}

TEST_F(IniBindingTest, StringListsInASection) {
    EXPECT_EQ(
        Run(R"(
var ini: TMemIniFile; src, dst: TStringList;
begin
  ini := TMemIniFile.Create('');
  src := TStringList.Create;
  src.Add('one'); src.Add('two=2'); src.Add('three');
  ini.WriteString('L', 'stale', 'x');
  ini.WriteTStrings('L', src);
  dst := TStringList.Create;
  ini.ReadTStrings('L', dst);
  WriteLn(dst.CommaText);
  WriteLn(ini.ValueExists('L', 'stale'));
  WriteLn(ini.ReadString('L', 'Items2', '') + ' ' + ini.ReadString('L', 'Count', ''));
  ini.ReadTStrings('L', dst, False);
  WriteLn(dst.Count);
  ini.WriteTStrings('L', src, False);
  ini.ReadSection('L', dst);
  WriteLn(dst.CommaText);
  ini.WriteString('V', 'a', '1');
  ini.WriteString('V', 'b', '2');
  ini.ReadSectionValuesEx('V', dst);
  WriteLn(dst.CommaText);
  ini.ReadSectionValues('V', dst);
  WriteLn(dst.CommaText);
  ini.ReadSections(dst);
  WriteLn(dst.CommaText);
  src.Free; dst.Free; ini.Free;
end.)"),
        "one,two=2,three\nFalse\nthree 3\n6\nItems0,Items1,Items2,Count\n1,2\na=1,b=2\nL,V\n");
}

TEST_F(IniBindingTest, WholeFilesThroughStreams) {
    WriteFile("disk.ini", "[Old]\r\nk=v\r\n");
    EXPECT_EQ(Run(R"(
var a, b: TMemIniFile; disk: TIniFile; m: TMemoryStream; sl: TStringList;
begin
  a := TMemIniFile.Create('');
  a.WriteString('S1', 'x', '1');
  a.WriteString('S2', 'y', '2');
  m := TMemoryStream.Create;
  a.SaveIniFileToStream(m);
  m.Position := 0;
  b := TMemIniFile.Create('');
  b.LoadIniFileFromStream(m);
  WriteLn(b.ReadString('S1', 'x', '') + b.ReadString('S2', 'y', ''));
  sl := TStringList.Create;
  b.GetStrings(sl);
  WriteLn(sl.Count);
  disk := TIniFile.Create(Dir + 'disk.ini');
  WriteLn(disk.ReadString('Old', 'k', ''));
  m.Position := 0;
  disk.LoadIniFileFromStream(m);
  WriteLn(disk.ReadString('Old', 'k', 'gone') + disk.ReadString('S2', 'y', ''));
  m.Clear;
  disk.SaveIniFileToStream(m);
  WriteLn(m.Size > 0);
  disk.SaveIniFileToStream(nil);
  b.Clear;
  WriteLn(b.SectionExists('S1'));
  sl.Text := '[N]' + Chr(10) + 'z=9';
  b.SetStrings(sl);
  WriteLn(b.ReadInteger('N', 'z', 0));
  sl.Free; m.Free; disk.Free; b.Free; a.Free;
end.)"),
              "12\n4\nv\ngone2\nTrue\nFalse\n9\n");
    EXPECT_EQ(FileText("disk.ini"), "[S1]\r\nx=1\r\n[S2]\r\ny=2\r\n");
}

TEST_F(IniBindingTest, InMemoryFileLoadsItsFileAndBinaryValuesRoundTrip) {
    WriteFile("m.ini", "[A]\nkey=value\n");
    EXPECT_EQ(Run(R"(
var ini: TMemIniFile; m, back: TMemoryStream; s: String;
begin
  ini := TMemIniFile.Create(Dir + 'm.ini');
  WriteLn(ini.ReadString('A', 'key', ''));
  m := TMemoryStream.Create;
  m.Write('bytes', 5);
  m.Position := 0;
  ini.WriteBinaryStream('A', 'bin', m);
  back := TMemoryStream.Create;
  WriteLn(ini.ReadBinaryStream('A', 'bin', back));
  back.Position := 0;
  back.Read(s, 10);
  WriteLn(s);
  m.Free; back.Free; ini.Free;
end.)"),
              "value\n5\nbytes\n");
}

TEST_F(IniBindingTest, Errors) {
    ExpectEachRaises({
        {"var ini: TCustomIniFile; begin ini := TCustomIniFile.Create('x.ini') end.",
         "EInvalidOperation"},
        {"var ini: TMemIniFile; begin ini := TMemIniFile.Create(''); try ini.WriteTStrings('S', "
         "nil) finally ini.Free end end.",
         "EInvalidObjectReference"},
        {"var ini: TIniFile; m: TMemoryStream; begin m := TMemoryStream.Create; ini := "
         "TIniFile.Create(Dir + 'none.ini'); "
         "try ini.SaveIniFileToStream(m) finally ini.Free; m.Free end end.",
         "EFOpenError"},
    });
}

TEST(IniBindingModuleList, RegistersOnce) {
    ksRegisterIniBinding();
    ksRegisterIniBinding();
    int count = 0;
    for (const auto& e : *HostModuleList())
        count += e.Name == "ks_iinirtti";
    EXPECT_EQ(count, 1);
    ksUnregisterIniBinding();
}

} // namespace
