// Template serializer: the template fixture round trip, faults that must not stop a load,
// one-line object texts and the attribute rules.

#include "report/xml_serializer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "report/resources.h"
#include "report/tests/tree_doubles.h"
#include "report/xml_document.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string SaveText(TpgwComponent& c) {
    TStringStream out;
    c.SaveToStream(out);
    return out.DataString();
}

void LoadText(TpgwComponent& c, const std::string& xml) {
    TStringStream in(xml);
    c.LoadFromStream(in);
}

std::string Xml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body;
}

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> v;
    for (int i = 0; i < list.Count(); ++i)
        v.push_back(list.Strings(i));
    return v;
}

class Serializer : public ::testing::Test {
protected:
    void SetUp() override { RegisterTreeDoubles(); }
    // The report lives on a "form" that also owns a data set the template refers to.
    TComponent form{nullptr};
    TTestReport* report = new TTestReport(&form);
};

TEST_F(Serializer, TemplateFixtureLoadsAndSavesAsItsGolden) {
    auto* formData = new TpgwUserDataSet(&form);
    formData->SetName("FormData");
    const std::string dir = std::string(LUMETRA_TESTDATA_DIR) + "/tree/";
    LoadText(*report, ReadFile(dir + "report.pg3"));
    EXPECT_EQ(Lines(report->Errors()), std::vector<std::string>{});

    // References: to the report owner's component, forward and backward within the tree.
    EXPECT_EQ(report->DataSet(), formData);
    auto* band1 = dynamic_cast<TTestBand*>(report->FindObject("Band1"));
    auto* child1 = dynamic_cast<TTestBand*>(report->FindObject("child1"));
    auto* memo1 = dynamic_cast<TTestMemo*>(report->FindObject("Memo1"));
    auto* users = dynamic_cast<TpgwUserDataSet*>(report->FindObject("Users"));
    ASSERT_TRUE(band1 && child1 && memo1 && users);
    EXPECT_EQ(band1->Child(), child1);
    EXPECT_EQ(memo1->dataSet, users);
    EXPECT_EQ(memo1->Parent(), band1);

    // Nested properties, legacy text, UTF-8 memo text, enumerations.
    EXPECT_EQ(memo1->Font()->Charset(), 134);
    EXPECT_EQ(memo1->Font()->Color(), 255);
    EXPECT_EQ(memo1->Font()->Height(), -16);
    EXPECT_TRUE(memo1->Font()->Style().Contains(fsBold));
    EXPECT_FALSE(memo1->ParentFont());
    EXPECT_EQ(memo1->frame.typ, 15u);
    EXPECT_DOUBLE_EQ(memo1->frame.width, 2);
    EXPECT_EQ(memo1->Description(), "检查报告");
    EXPECT_EQ(memo1->text, u"Total: [Sum]\r\n第二行");
    EXPECT_EQ(memo1->hAlign, 2);
    EXPECT_DOUBLE_EQ(memo1->Top(), 4.5);
    EXPECT_DOUBLE_EQ(memo1->AbsTop(), 14.5);

    // The page's dependent setters reloaded to a landscape A4 page.
    auto* page = dynamic_cast<TTestPaperPage*>(report->FindObject("Page1"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->PaperSize(), 9);
    EXPECT_EQ(page->Orientation(), poLandscape);
    EXPECT_DOUBLE_EQ(page->PaperWidth(), 297);
    EXPECT_DOUBLE_EQ(page->leftMargin, 20);
    EXPECT_DOUBLE_EQ(page->bottomMargin, 10);

    // PropData: defined positions of the data set and the report's variables collection.
    EXPECT_DOUBLE_EQ(users->Left(), 60);
    EXPECT_DOUBLE_EQ(users->Top(), 20);
    EXPECT_EQ(users->RangeEnd(), reCount);
    EXPECT_EQ(Lines(*users->Fields()), (std::vector<std::string>{"id", "name"}));
    ASSERT_EQ(report->Variables().Count(), 3);
    EXPECT_EQ(report->Variables().Items(0)->Value().AsString(), "<unknown>");
    EXPECT_EQ(report->Variables().Items(1)->Name(), " Hospital");
    EXPECT_EQ(report->Variables().Variables("Title").AsString(), "Report & Summary");
    EXPECT_EQ(Lines(*report->ScriptText()), (std::vector<std::string>{"begin", "end."}));

    const std::string saved = SaveText(*report);
    const std::string golden = ReadFile(dir + "report.golden.pg3");
    if (saved != golden) {
        std::ofstream(::testing::TempDir() + "report.actual.pg3", std::ios::binary) << saved;
        ADD_FAILURE() << "saved template differs from the golden file; see " << ::testing::TempDir()
                      << "report.actual.pg3";
    }
    // And the saved form loads back to the same text.
    TTestReport again(&form);
    LoadText(again, saved);
    EXPECT_EQ(SaveText(again), saved);
}

TEST_F(Serializer, UnknownClassesGiveOneErrorEachAndTheRestLoads) {
    LoadText(
        *report,
        Xml("<TTestReport>\r\n"
            "  <TNoSuchView Name=\"A\"><TTestMemo Name=\"Inner\"/></TNoSuchView>\r\n"
            "  <TNoSuchView Name=\"B\"/>\r\n"
            "  <TTestFrame Name=\"NotAReportObject\"/>\r\n"
            "  <TTestBand Name=\"Band1\"><TTestMemo Name=\"Memo1\" Width=\"5\"/></TTestBand>\r\n"
            "</TTestReport>\r\n"));
    const std::string prefix = GetResources().GetText("xrCantFindClass") + " ";
    EXPECT_EQ(Lines(report->Errors()),
              (std::vector<std::string>{prefix + "TNoSuchView", prefix + "TTestFrame"}));
    EXPECT_EQ(report->FindObject("Inner"), nullptr);
    ASSERT_NE(report->FindObject("Memo1"), nullptr);
    EXPECT_DOUBLE_EQ(report->FindObject("Memo1")->Width(), 5);
}

TEST_F(Serializer, MalformedXmlRaisesAndReleasesTheReport) {
    EXPECT_THROW(LoadText(*report, Xml("<TTestReport><TTestBand Name=\"B\"></TTestReport>")),
                 TpgwInvalidXMLException);
    EXPECT_EQ(report->CurrentSerializer(), nullptr);
    EXPECT_THROW(LoadText(*report, "<TTestReport"), TpgwInvalidXMLException);
}

TEST_F(Serializer, SetterFailuresAndChildCyclesGoToErrorsAndLoadingCompletes) {
    LoadText(*report,
             Xml("<TTestReport>\r\n"
                 "  <TThrowingView Name=\"V\" Level=\"-1\" Width=\"abc\" Height=\"7\"/>\r\n"
                 "  <TTestBand Name=\"B1\" Child=\"B2\"/>\r\n"
                 "  <TTestBand Name=\"B2\" Child=\"B3\"/>\r\n"
                 "  <TTestBand Name=\"B3\" Child=\"B1\"/>\r\n"
                 "  <TTestBand Name=\"B4\" Child=\"Missing\"/>\r\n"
                 "</TTestReport>\r\n"));
    const auto errors = Lines(report->Errors());
    EXPECT_NE(std::find(errors.begin(), errors.end(), "Level must not be negative"), errors.end());
    EXPECT_NE(std::find(errors.begin(), errors.end(), "Circular child reference is not allowed"),
              errors.end());
    EXPECT_EQ(errors.size(), 3u); // the bad float too
    EXPECT_DOUBLE_EQ(report->FindObject("V")->Height(), 7);
    for (const char* name : {"B1", "B2", "B3", "B4"}) {
        auto* band = dynamic_cast<TTestBand*>(report->FindObject(name));
        ASSERT_TRUE(band) << name;
        EXPECT_EQ(band->loadedCount, 1) << name;
        EXPECT_FALSE(band->ReadingTemplate()) << name;
        EXPECT_FALSE(band->HasState(csLoading)) << name;
    }
    EXPECT_EQ(dynamic_cast<TTestBand*>(report->FindObject("B4"))->Child(), nullptr);
}

TEST_F(Serializer, UnnamedElementsAreNeverMergedAndNamedOnesAre) {
    LoadText(*report, Xml("<TTestReport>\r\n"
                          "  <TTestMemo Left=\"1\"/>\r\n"
                          "  <TTestMemo Left=\"2\"/>\r\n"
                          "  <TTestMemo Name=\"M\" Left=\"3\"/>\r\n"
                          "  <TTestMemo Name=\"M\" Top=\"4\"/>\r\n"
                          "</TTestReport>\r\n"));
    ASSERT_EQ(report->Objects().size(), 3u);
    EXPECT_DOUBLE_EQ(report->Objects()[0]->Left(), 1);
    EXPECT_DOUBLE_EQ(report->Objects()[1]->Left(), 2);
    EXPECT_DOUBLE_EQ(report->Objects()[2]->Left(), 3);
    EXPECT_DOUBLE_EQ(report->Objects()[2]->Top(), 4);
}

TEST_F(Serializer, ObjectTextRoundTripsEveryObjectKind) {
    auto* users = new TpgwUserDataSet(report);
    users->SetName("Users");
    users->Fields()->SetText("a\r\nb");
    auto* memo = new TTestMemo(report);
    memo->SetBounds(1.25, 2, 30, 40);
    memo->text = u"第一\r\n[x]";
    memo->hAlign = 3;
    memo->frame.typ = 5;
    memo->dataSet = users;
    memo->Font()->SetName("Times New Roman");
    auto* band = new TTestBand(report);
    band->SetName("Band");
    band->SetChild(nullptr);
    auto* landscape = new TTestPaperPage(report);
    landscape->leftMargin = 10;
    landscape->SetOrientation(poLandscape);
    auto* custom = new TTestPaperPage(report);
    custom->SetPaperWidth(100.5);
    custom->SetPaperHeight(150);
    auto* view = new TThrowingView(report);
    view->SetLevel(4);

    TMemoryStream unused;
    for (TpgwComponent* original :
         std::vector<TpgwComponent*>{memo, band, landscape, custom, view, users}) {
        TpgwXMLSerializer writer(unused);
        writer.SetOwner(report);
        const std::string text = writer.ObjectToText(original);
        EXPECT_EQ(text.rfind(original->ClassName() + " ", 0), 0u) << text;
        EXPECT_EQ(text.find(" Name="), std::string::npos) << text;
        TpgwXMLSerializer reader(unused);
        reader.SetOwner(report);
        TpgwComponent* copy = reader.ObjectFromText(report, text, false);
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->Name(), "");
        TpgwXMLSerializer again(unused);
        again.SetOwner(report);
        EXPECT_EQ(again.ObjectToText(copy), text);
        EXPECT_EQ(Lines(reader.Errors()), std::vector<std::string>{});
    }
    TpgwXMLSerializer s(unused);
    EXPECT_EQ(s.ObjectFromText(report, "   ", false), nullptr);
    EXPECT_THROW(s.ObjectFromText(report, "TNoSuchView l=\"1\"", false), EClassNotFound);
}

TEST_F(Serializer, DependentPageSettersSurviveSaveAndLoad) {
    struct Case {
        const char* name;
        void (*setUp)(TTestPaperPage&);
    };
    const Case cases[] = {
        {"landscape A4",
         [](TTestPaperPage& p) {
             p.leftMargin = 10, p.topMargin = 20, p.rightMargin = 30, p.bottomMargin = 40;
             p.SetOrientation(poLandscape);
         }},
        {"custom size",
         [](TTestPaperPage& p) {
             p.SetPaperWidth(100);
             p.SetPaperHeight(150);
             p.leftMargin = 5;
         }},
        {"custom landscape",
         [](TTestPaperPage& p) {
             p.SetPaperWidth(120);
             p.SetPaperHeight(80);
             p.SetOrientation(poLandscape);
         }},
    };
    for (const Case& c : cases) {
        TTestReport source(nullptr);
        auto* page = new TTestPaperPage(&source);
        page->SetName("Page1");
        c.setUp(*page);
        TTestReport target(nullptr);
        LoadText(target, SaveText(source));
        auto* loaded = dynamic_cast<TTestPaperPage*>(target.FindObject("Page1"));
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(loaded->PaperSize(), page->PaperSize()) << c.name;
        EXPECT_EQ(loaded->Orientation(), page->Orientation()) << c.name;
        EXPECT_DOUBLE_EQ(loaded->PaperWidth(), page->PaperWidth()) << c.name;
        EXPECT_DOUBLE_EQ(loaded->PaperHeight(), page->PaperHeight()) << c.name;
        EXPECT_DOUBLE_EQ(loaded->leftMargin, page->leftMargin) << c.name;
        EXPECT_DOUBLE_EQ(loaded->topMargin, page->topMargin) << c.name;
        EXPECT_DOUBLE_EQ(loaded->rightMargin, page->rightMargin) << c.name;
        EXPECT_DOUBLE_EQ(loaded->bottomMargin, page->bottomMargin) << c.name;
    }
}

TEST_F(Serializer, AttributeRules) {
    auto* memo = new TTestMemo(report);
    TMemoryStream unused;
    TpgwXMLSerializer s(unused);
    s.SetOwner(report);

    // Floats are always written, empty strings never, an empty memo text always.
    const std::string text = s.PropertiesToXML(memo, "", nullptr);
    EXPECT_NE(text.find(" Left=\"0\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Description"), std::string::npos) << text;
    EXPECT_NE(text.find(" Text=\"\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Font."), std::string::npos) << "a parent's font is not stored";

    struct Case {
        const char* attributes;
        bool (*check)(TTestMemo&);
    };
    const Case cases[] = {
        {" HAlign=\"haBlock\"", [](TTestMemo& m) { return m.hAlign == 3; }},
        {" HAlign=\"1\"", [](TTestMemo& m) { return m.hAlign == 1; }},
        {" l=\"1,5\" t=\"2\" w=\"3\" h=\"4\"",
         [](TTestMemo& m) {
             return m.Left() == 1.5 && m.Top() == 2 && m.Width() == 3 && m.Height() == 4;
         }},
        {" Font.Name=\"Courier New\" Font.Style=\"3\"",
         [](TTestMemo& m) {
             return m.Font()->Name() == "Courier New" && m.Font()->Style().Bits() == 3;
         }},
        {" Nothing.Name=\"x\" Frame.Nothing=\"1\" Bogus=\"2\"", [](TTestMemo&) { return true; }},
        {" u=\"&#230;&#150;&#135;\"", [](TTestMemo& m) { return m.text == u"文"; }},
        {" x=\"\xce\xc4\"", [](TTestMemo& m) { return m.text == u"文"; }},
        {" Tag=\"$10\"", [](TTestMemo& m) { return m.Tag() == 16; }},
        {" PropData=\"ZZ\" Top=\"9\"", [](TTestMemo& m) { return m.Top() == 9; }},
    };
    for (const Case& c : cases) {
        TTestMemo target(nullptr);
        TpgwXMLSerializer reader(unused);
        reader.XMLToProperties(c.attributes, &target);
        EXPECT_TRUE(c.check(target)) << c.attributes;
        EXPECT_EQ(Lines(reader.Errors()), std::vector<std::string>{}) << c.attributes;
    }

    // A name that resolves to nothing ("nil" included) leaves the reference as it was.
    auto* band = new TTestBand(report);
    auto* child = new TTestBand(report);
    child->SetName("ChildBand");
    band->SetChild(child);
    s.XMLToProperties(" Child=\"nil\"", band);
    s.FixupReferences();
    EXPECT_EQ(band->Child(), child);
    s.XMLToProperties(" Child=\"childband\"", band);
    s.FixupReferences();
    EXPECT_EQ(band->Child(), child);

    // Against an ancestor only what differs is written (floats within 1e-6 count as equal).
    TTestMemo ancestor(nullptr), object(nullptr);
    ancestor.SetLeft(10);
    object.SetLeft(10.0000001);
    object.SetTop(5);
    const std::string diff = s.PropertiesToXML(&object, "", &ancestor);
    EXPECT_EQ(diff, " Top=\"5\"");
}

TEST_F(Serializer, InheritedObjectsWriteOnlyWhatDiffersFromTheAncestor) {
    TTestReport ancestor(nullptr);
    auto* baseMemo = new TTestMemo(&ancestor);
    baseMemo->SetName("Memo1");
    baseMemo->SetWidth(50);

    auto* memo = new TTestMemo(report);
    memo->SetName("Memo1");
    memo->SetWidth(50);
    memo->SetHeight(9);
    memo->SetInherited(true);
    TStringStream out;
    TpgwXMLSerializer s(out);
    s.SetOwner(report);
    s.OnQueryAncestor = [&](const std::string& name, TPersistent*& result) {
        result = name == "Memo1" ? baseMemo : nullptr;
    };
    s.SaveComponent(report, true, nullptr, false);
    EXPECT_NE(out.DataString().find("<inherited Name=\"Memo1\" Height=\"9\"/>"), std::string::npos)
        << out.DataString();

    // Reading an "inherited" element applies it to the object that exists already.
    LoadText(*report, Xml("<TTestReport><inherited Name=\"Memo1\" Top=\"3\"/>"
                          "<inherited Name=\"Gone\" Top=\"3\"/></TTestReport>"));
    EXPECT_TRUE(report->Objects().empty()) << "Clear removed the non-ancestor memo";
}

TEST_F(Serializer, CollectionsReadBothStreamForms) {
    // The class library's own collection form, with 7-bit escaped legacy bytes.
    TTestReport source(nullptr);
    TpgwVariable* v = source.Variables().Add();
    // "文" is CE C4 in the legacy code page; each byte above 127 travels as 0x01, byte - 128.
    v->SetName("\x01N\x01"
               "D");
    v->SetValue(Variant("plain"));
    TMemoryStream data;
    {
        TWriter w(data);
        w.WriteStr("Variables");
        w.WriteCollection(source.Variables());
    }
    const std::string hex = StreamToHex(data);
    LoadText(*report, Xml("<TTestReport PropData=\"" + hex + "\"/>"));
    ASSERT_EQ(report->Variables().Count(), 1);
    EXPECT_EQ(report->Variables().Items(0)->Name(), "文");
    EXPECT_EQ(report->Variables().Items(0)->Value().AsString(), "plain");
}

} // namespace
