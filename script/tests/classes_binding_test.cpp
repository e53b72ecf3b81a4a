// The classes binding through scripts: lists, string lists, streams, components and XML trees.
#include "script/classes_binding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "platform/core/collection.h"
#include "platform/core/component.h"
#include "platform/core/object_handle.h"
#include "platform/core/string_list.h"
#include "script/tests/binding_fixture.h"

namespace {

class ClassesBindingTest : public BindingFixture {
protected:
    ClassesBindingTest() {
        AddModule<TksClassesModule>();
        dir = std::filesystem::path(::testing::TempDir()) /
              ("classes_binding_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    ~ClassesBindingTest() override { std::filesystem::remove_all(dir); }

    std::string PathOf(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};

TEST_F(ClassesBindingTest, StringListLinesNamesValuesAndText) {
    EXPECT_EQ(Run(R"(
var sl: TStringList; i: Integer;
begin
  sl := TStringList.Create;
  WriteLn(sl.Add('b'));
  WriteLn(sl.Add('key=value'));
  WriteLn(sl.Add('a'));
  WriteLn(sl.Count);
  WriteLn(sl.Strings[0] + sl[2]);
  sl[0] := 'B';
  WriteLn(sl.Strings[0]);
  WriteLn(sl.Values['key']);
  sl.Values['key'] := 'other';
  WriteLn(sl[1]);
  WriteLn(sl.Names[1]);
  WriteLn(sl.IndexOfName('key'));
  WriteLn(sl.IndexOf('A'));
  sl.Insert(0, 'first');
  sl.Move(0, 3);
  sl.Delete(1);
  WriteLn(sl.CommaText);
  sl.CommaText := 'x,"y z"';
  WriteLn(sl.Count);
  WriteLn(sl[1]);
  sl.Text := 'one' + Chr(13) + Chr(10) + 'two';
  WriteLn(sl.Count);
  WriteLn(sl.ClassName);
  sl.Free;
end.)"),
              "0\n1\n2\n3\nba\nB\nvalue\nkey=other\nkey\n1\n2\nB,a,first\n2\ny z\n2\n"
              "TStringList\n");
}

TEST_F(ClassesBindingTest, SortedListsFindAndSort) {
    EXPECT_EQ(Run(R"(
var sl: TStringList; i: Integer;
begin
  sl := TStringList.Create;
  sl.Add('pear'); sl.Add('apple'); sl.Add('fig');
  sl.Sorted := True;
  WriteLn(sl.CommaText);
  WriteLn(sl.Sorted);
  if sl.Find('fig', i) then WriteLn('found at ' + IntToStr(i));
  if not sl.Find('kiwi', i) then WriteLn('insert at ' + IntToStr(i));
  sl.Duplicates := dupError;
  WriteLn(sl.Duplicates);
  try
    sl.Add('fig');
  except
    WriteLn(ExceptionClassName);
  end;
  sl.Sorted := False;
  sl.Add('banana');
  sl.Sort;
  WriteLn(sl.CommaText);
  sl.Free;
end.)"),
              "apple,fig,pear\nTrue\nfound at 1\ninsert at 2\n2\nEStringListError\n"
              "apple,banana,fig,pear\n");
}

TEST_F(ClassesBindingTest, ListIndicesAndObjects) {
    EXPECT_EQ(Run(R"(
var l: TList; a, b, c: TStringList; sl: TStringList; o: TObject;
begin
  l := TList.Create;
  a := TStringList.Create; b := TStringList.Create; c := TStringList.Create;
  a.Add('A');
  WriteLn(l.Add(a));
  WriteLn(l.Add(b));
  l.Insert(0, c);
  WriteLn(l.IndexOf(b));
  WriteLn(l.Remove(a));
  WriteLn(l.Remove(a));
  WriteLn(l.Count);
  l[1] := a;
  sl := TStringList(l[1]);
  WriteLn(sl[0]);
  sl := TStringList.Create;
  sl.AddObject('x', a);
  WriteLn(sl.IndexOfObject(a));
  WriteLn(TStringList(sl.Objects[0]).Strings[0]);
  a.Free;
  try
    WriteLn(sl.Objects[0] = nil);
  except
    WriteLn(ExceptionMessage);
  end;
  try
    sl := TStringList(l[1]);
    WriteLn(sl.Count);
  except
    WriteLn(ExceptionClassName);
  end;
  sl.Free; b.Free; c.Free; l.Free;
  o := TObject.Create;
  WriteLn(o.ClassName);
  o.Free;
end.)"),
              "0\n1\n2\n1\n-1\n2\nA\n0\nA\nInvalid object reference\n"
              "EInvalidObjectReference\nTObject\n");
}

TEST_F(ClassesBindingTest, MemoryStreamReadWriteSeekAndCopy) {
    EXPECT_EQ(Run(R"(
var m, m2: TMemoryStream; s: String; n: Integer; sl: TStringList;
begin
  m := TMemoryStream.Create;
  WriteLn(m.Write('hello world', 5));
  WriteLn(m.Write('!', 10));
  WriteLn(IntToStr(m.Position) + '/' + IntToStr(m.Size));
  WriteLn(m.Seek(1, soFromBeginning));
  n := m.Read(s, 100);
  WriteLn(IntToStr(n) + ':' + s);
  m.Position := 0;
  n := m.Read(s, 2);
  WriteLn(IntToStr(n) + ':' + s);
  WriteLn(m.Seek(-1, soFromEnd));
  m2 := TMemoryStream.Create;
  m.Position := 0;
  WriteLn(m2.CopyFrom(m, 3));
  m2.Position := 0;
  m2.Read(s, 3);
  WriteLn(s);
  sl := TStringList.Create;
  sl.Add('one'); sl.Add('two');
  m2.Clear;
  sl.SaveToStream(m2);
  sl.Clear;
  m2.Position := 0;
  sl.LoadFromStream(m2);
  WriteLn(sl.CommaText);
  WriteLn(m.ClassName);
  sl.Free; m.Free; m2.Free;
end.)"),
              "5\n1\n6/6\n1\n5:ello!\n2:he\n5\n3\nhel\none,two\nTMemoryStream\n");
}

TEST_F(ClassesBindingTest, FilesThroughStreamsAndLists) {
    AddHostVariable("Dir", Variant(dir.string() + "/"));
    EXPECT_EQ(Run(R"(
var f: TFileStream; m: TMemoryStream; sl: TStringList; s: String;
begin
  f := TFileStream.Create(Dir + 'a.bin', fmCreate);
  f.Write('abcdef', 6);
  f.Free;
  f := TFileStream.Create(Dir + 'a.bin', fmOpenRead + fmShareDenyNone);
  WriteLn(f.Size);
  f.Seek(2, soFromBeginning);
  f.Read(s, 3);
  WriteLn(s);
  WriteLn(f.ClassName);
  f.Free;
  m := TMemoryStream.Create;
  m.LoadFromFile(Dir + 'a.bin');
  WriteLn(m.Size);
  m.SaveToFile(Dir + 'b.bin');
  m.Free;
  sl := TStringList.Create;
  sl.Add('x=1');
  sl.SaveToFile(Dir + 'c.txt');
  sl.Clear;
  sl.LoadFromFile(Dir + 'c.txt');
  WriteLn(sl.Values['x']);
  sl.Free;
  try
    f := TFileStream.Create(Dir + 'missing.bin', fmOpenRead);
  except
    WriteLn(ExceptionClassName);
  end;
end.)"),
              "6\ncde\nTFileStream\n6\n1\nEFOpenError\n");
    std::ifstream in(PathOf("b.bin"), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), "abcdef");
}

TEST_F(ClassesBindingTest, ComponentsOwnersAndPublishedPropertiesByName) {
    EXPECT_EQ(Run(R"(
var c, child: TComponent;
begin
  c := TComponent.Create(nil);
  c.Name := 'Parent1';
  c.Tag := 7;
  child := TComponent.Create(c);
  child.Name := 'Child1';
  WriteLn(child.Owner.Name);
  WriteLn(c.Tag + 1);
  if c.Owner = nil then WriteLn('no owner');
  WriteLn(child.ClassName);
  try
    child.Name := '1 bad';
  except
    WriteLn(ExceptionMessage);
  end;
  c.Free;
end.)"),
              "Parent1\n8\nno owner\nTComponent\nComponent name \"1 bad\" is not valid\n");
}

TEST_F(ClassesBindingTest, HostObjectsAndAssign) {
    TStringList host;
    host.Add("from host");
    AddHostObject("Host", &host);
    EXPECT_EQ(Run(R"(
var sl: TStringList;
begin
  sl := TStringList.Create;
  sl.Assign(Host);
  sl.Add('from script');
  Host.Assign(sl);
  sl.Free;
  WriteLn(Host.Count);
end.)"),
              "2\n");
    EXPECT_EQ(host.Strings(1), "from script");
}

TEST_F(ClassesBindingTest, HostCollectionItemsAndClear) {
    TCollection items(TCollectionItem::StaticClass());
    items.Add();
    items.Add();
    AddHostObject("Items", &items);
    EXPECT_EQ(Run(R"(
begin
  WriteLn(Items.Count);
  WriteLn(Items[1].ClassName);
  WriteLn(Items.Items[0] <> Items[1]);
  Items.Clear;
  WriteLn(Items.Count);
end.)"),
              "2\nTCollectionItem\nTrue\n0\n");
}

TEST_F(ClassesBindingTest, ErrorsOfThePlatformClassesReachTheScript) {
    ExpectEachRaises({
        {"var sl: TStringList; begin sl := TStringList.Create; try WriteLn(sl[3]) finally sl.Free "
         "end end.",
         "EStringListError"},
        {"var l: TList; begin l := TList.Create; try l.Delete(0) finally l.Free end end.",
         "EListError"},
        {"var s: TStream; begin s := TStream.Create end.", "EInvalidOperation"},
        {"var c: TCollection; begin c := TCollection.Create end.", "EInvalidOperation"},
        {"var m: TMemoryStream; begin m := TMemoryStream.Create; try m.Seek(0, 7) finally m.Free "
         "end end.",
         "EStreamError"},
        {"var sl: TStringList; begin sl := TStringList.Create; try sl.LoadFromStream(nil) finally "
         "sl.Free end end.",
         "EInvalidObjectReference"},
        {"var sl: TStringList; begin sl := TStringList.Create; try TComponent(sl).Tag := 1 finally "
         "sl.Free end end.",
         "EPropertyError"},
    });
}

TEST_F(ClassesBindingTest, ReadNeverAllocatesMoreThanTheStreamHolds) {
    EXPECT_EQ(Run(R"(
var m: TMemoryStream; s: String;
begin
  m := TMemoryStream.Create;
  m.Write('abc', 3);
  m.Position := 0;
  WriteLn(m.Read(s, 2147483647));
  WriteLn(s);
  WriteLn(m.Read(s, -5));
  WriteLn(Length(s));
  m.Free;
end.)"),
              "3\nabc\n0\n0\n");
}

// A write after a position past the end would zero-fill the gap: the script may not name one.
TEST_F(ClassesBindingTest, ScriptPositionsStayInsideMemoryStreams) {
    EXPECT_EQ(Run(R"(
var m: TMemoryStream;
begin
  m := TMemoryStream.Create;
  m.Write('abc', 3);
  m.Position := 1;
  try
    m.Position := 1000000000000;
  except
    WriteLn(ExceptionClassName);
  end;
  try
    m.Seek(2000000000, soFromBeginning);
  except
    WriteLn(ExceptionClassName);
  end;
  WriteLn(IntToStr(m.Position) + '/' + IntToStr(m.Size));
  m.Position := 3;
  WriteLn(m.Seek(0, soFromEnd));
  m.Position := 10;
  m.Write('z', 1);
  WriteLn(m.Size);
  m.Free;
end.)"),
              "EStreamError\nEStreamError\n1/3\n3\n11\n");
}

TEST_F(ClassesBindingTest, XmlItemsFindRootPropAndMoves) {
    EXPECT_EQ(Run(R"(
var r, a, b, c: TksXMLItem;
begin
  r := TksXMLItem.Create;
  r.Name := 'root';
  a := r.Add;
  a.Name := 'A';
  WriteLn(r.Find('a'));
  WriteLn(r.Find('missing'));
  WriteLn(r.Count);
  b := r.FindItem('b');
  WriteLn(r.Count);
  WriteLn(r[1].Name + r.Items[0].Name);
  WriteLn(r.FindItem('B') = b);
  WriteLn(r.Count);
  c := b.Add;
  c.Name := 'c';
  WriteLn(c.Root.Name + ' ' + c.Parent.Name);
  if r.Parent = nil then WriteLn('top');
  if r.Root = r then WriteLn('own root');
  c.Prop['text'] := 'a<b"c';
  c.Prop['pos'] := '1';
  WriteLn(c.Text);
  WriteLn(c.Prop['TEXT']);
  c.Prop['Text'] := 'x';
  WriteLn(c.Text);
  c.Text := 'myname="1" name="2"';
  WriteLn(c.Prop['name']);
  WriteLn('[' + c.Prop['none'] + ']');
  c.Text := 'name = "2"';
  WriteLn('[' + c.Prop['name'] + ']');
  c.Data := 41;
  WriteLn(c.Data + 1);
  r.InsertItem(0, c);
  WriteLn(IntToStr(b.Count) + ' ' + IntToStr(r.Count) + ' ' + r[0].Name + ' ' + c.Parent.Name);
  a.AddItem(b);
  WriteLn(IntToStr(r.Count) + ' ' + a[0].Name + ' ' + b.Root.Name);
  WriteLn(r.ClassName);
  r.Free;
end.)"),
              "0\n-1\n1\n2\nbA\nTrue\n2\nroot b\ntop\nown root\n"
              "text=\"a&#60;b&#34;c\" pos=\"1\"\na<b\"c\nText=\"x\" pos=\"1\"\n2\n[]\n[]\n42\n"
              "0 3 c root\n2 b root\nTksXMLItem\n");
}

TEST_F(ClassesBindingTest, XmlFreedParentLeavesStaleChildHandles) {
    EXPECT_EQ(Run(R"(
var r, child, grand, loose, gone: TksXMLItem;
begin
  r := TksXMLItem.Create;
  child := r.Add;
  grand := child.Add;
  gone := r.Add;
  gone.Free;
  WriteLn(r.Count);
  loose := TksXMLItem.Create;
  r.AddItem(loose);
  r.Free;
  try WriteLn(child.Name) except WriteLn(ExceptionClassName) end;
  try WriteLn(grand.Count) except WriteLn(ExceptionClassName) end;
  try WriteLn(loose.Parent = nil) except WriteLn(ExceptionMessage) end;
  try r.Free except WriteLn(ExceptionMessage) end;
end.)"),
              "1\nEInvalidObjectReference\nEInvalidObjectReference\nInvalid object reference\n"
              "Invalid object reference\n");
}

TEST_F(ClassesBindingTest, XmlTreeRefusesCyclesAndKeepsDocumentRoots) {
    EXPECT_EQ(Run(R"(
var d: TksXMLDocument; r, child, x: TksXMLItem;
begin
  d := TksXMLDocument.Create;
  r := TksXMLItem.Create;
  child := r.Add;
  x := TksXMLItem.Create;
  try r.AddItem(r) except WriteLn(ExceptionClassName) end;
  try child.AddItem(r) except WriteLn(ExceptionClassName) end;
  try child.InsertItem(0, r) except WriteLn(ExceptionClassName) end;
  try r.AddItem(d.Root) except WriteLn(ExceptionClassName) end;
  try d.Root.Free except WriteLn(ExceptionMessage) end;
  try r.AddItem(nil) except WriteLn(ExceptionClassName) end;
  try r.InsertItem(2, x) except WriteLn(ExceptionClassName) end;
  try WriteLn(r[1].Name) except WriteLn(ExceptionClassName) end;
  WriteLn(IntToStr(r.Count) + ' ' + IntToStr(child.Count) + ' ' + IntToStr(d.Root.Count));
  if x.Parent = nil then WriteLn('x still free');
  d.Root.AddItem(x);
  d.Root.Name := 'kept';
  WriteLn(x.Root.Name);
  r.Free;
  d.Free;
end.)"),
              "EInvalidOperation\nEInvalidOperation\nEInvalidOperation\nEInvalidOperation\n"
              "The root item of a document is freed with the document\n"
              "EInvalidObjectReference\nEListError\nEListError\n1 0 0\nx still free\nkept\n");
}

TEST_F(ClassesBindingTest, XmlDocumentThroughMemoryStreamsAndFiles) {
    AddHostVariable("Dir", Variant(dir.string() + "/"));
    EXPECT_EQ(Run(R"(
var d, d2: TksXMLDocument; m: TMemoryStream; s: String; it, old: TksXMLItem;
begin
  d := TksXMLDocument.Create;
  WriteLn(d.ClassName + ' ' + IntToStr(d.Root.Count));
  d.Root.Name := 'report';
  it := d.Root.Add;
  it.Name := 'band';
  it.Prop['height'] := '1"2';
  it.Data := 5;
  d.Root.FindItem('page');
  m := TMemoryStream.Create;
  d.SaveToStream(m);
  m.Position := 0;
  m.Read(s, m.Size);
  WriteLn(s);
  d2 := TksXMLDocument.Create;
  old := d2.Root.Add;
  m.Position := 0;
  d2.LoadFromStream(m);
  WriteLn(d2.Root.Name + ' ' + IntToStr(d2.Root.Count) + ' ' + d2.Root[1].Name);
  WriteLn(d2.Root[0].Prop['height']);
  WriteLn(d2.Root[0].Data);
  WriteLn(d2.Root.Find('PAGE'));
  try WriteLn(old.Name) except WriteLn(ExceptionClassName) end;
  d.SaveToFile(Dir + 'doc.xml');
  d2.Root.Clear;
  d2.LoadFromFile(Dir + 'doc.xml');
  WriteLn(d2.Root[0].Name);
  m.Clear;
  m.Write('<?xml version="1.0"?><a><b></c></a>', 36);
  m.Position := 0;
  try d2.LoadFromStream(m) except WriteLn(ExceptionMessage) end;
  try d2.LoadFromFile(Dir + 'missing.xml') except WriteLn(ExceptionClassName) end;
  m.Free; d.Free; d2.Free;
end.)"),
              "TksXMLDocument 0\n"
              "<?xml version=\"1.0\"?><report><band height=\"1&#34;2\"/><page/></report>\n"
              "report 2 page\n1\"2\n0\n1\nEInvalidObjectReference\nband\nInvalid file format\n"
              "EFOpenError\n");
}

TEST(ClassesBindingModuleList, RegistersOnceAfterTheModulesBefore) {
    ksRegisterClassesBinding();
    ksRegisterClassesBinding();
    int count = 0;
    for (const auto& e : *HostModuleList())
        count += e.Name == "ks_iclassesrtti";
    EXPECT_EQ(count, 1);
    ksUnregisterClassesBinding();
    for (const auto& e : *HostModuleList())
        EXPECT_NE(e.Name, "ks_iclassesrtti");
}

} // namespace
