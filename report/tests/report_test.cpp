// The report component: template round trips, the password, error reporting by silent mode,
// saving that never destroys the earlier file, inheritance and the data page.

#include "report/report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/message_reporter.h"
#include "report/options.h"
#include "report/report_data_sets.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/styles.h"
#include "report/tests/rc_doubles.h"
#include "report/variables.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::string SaveText(TpgwReport& r) {
    TStringStream out;
    r.SaveToStream(out);
    return out.DataString();
}

void LoadText(TpgwReport& r, const std::string& xml) {
    TStringStream in(xml);
    r.LoadFromStream(in);
}

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> v;
    for (int i = 0; i < list.Count(); ++i)
        v.push_back(list.Strings(i));
    return v;
}

// Installs a prompt for the test's scope.
class PromptScope {
public:
    explicit PromptScope(TpgwPasswordPrompt prompt)
        : previous_(SetPasswordPrompt(std::move(prompt))) {}
    ~PromptScope() { SetPasswordPrompt(std::move(previous_)); }

private:
    TpgwPasswordPrompt previous_;
};

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("rc_report_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    int Count() const {
        return static_cast<int>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    fs::path path_;
};

// A report with a page, a band, memos with styles, a picture, variables, styles and a data set.
void FillSample(TpgwReport& r) {
    // A loaded report has its data page.
    if (r.Objects().empty())
        LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport/>");
    auto* page = new TpgwReportPage(&r);
    page->SetName("Page1");
    page->SetLeftMargin(12.5);
    auto* band = new TpgwMasterData(page);
    band->SetName("MasterData1");
    band->SetBounds(0, 20, 718, 40);
    auto* memo = new TRcMemo(band);
    memo->SetName("Memo1");
    memo->SetBounds(8, 4, 200, 18);
    memo->text = u"Patient: [Customers.\"Name\"] \u6C49\u5B57";
    auto* picture = new TpgwPictureView(band);
    picture->SetName("Picture1");
    picture->SetBounds(300, 0, 40, 40);
    auto bitmap = std::make_unique<TBitmap>(2, 2);
    picture->Picture()->SetGraphic(std::move(bitmap));

    TpgwStyleItem* title = r.Styles()->Add();
    title->SetName("Title");
    title->SetColor(0x00FF00);
    title->Font()->SetSize(14);
    static_cast<TpgwFrame*>(title->Frame())->SetTyp(15);
    r.Styles()->Add()->MakeUniqueName();
    memo->SetStyle("Title");

    r.Variables()->Add()->SetName(" Exam");
    TpgwVariable* v = r.Variables()->Add();
    v->SetName("Hospital");
    v->SetValue(Variant(std::string("'City Hospital'")));

    TComponent* dataPage = r.Objects().front();
    auto* data = new TpgwUserDataSet(dataPage);
    data->SetName("Customers");
    auto* fields = new TStringList;
    fields->Add("Name");
    fields->Add("Age");
    data->SetFields(fields);
    delete fields;
    memo->SetDataSet(data);
    r.DataSets()->Add(data);
    r.SetDataSet(data);
    r.ReportOptions()->SetAuthor("Radiology");
    r.ReportOptions()->Description()->Add("Ultrasound exam");
    r.EngineOptions()->SetDoublePass(true);
}

class Report : public ::testing::Test {
protected:
    void SetUp() override { RegisterReportDoubles(); }
    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& boxes() { return static_cast<TRecordingReporter&>(MessageReporter()); }
};

TEST_F(Report, SampleTemplateSurvivesSaveLoadSave) {
    TpgwReport r(nullptr);
    FillSample(r);
    TPicture logo;
    logo.SetGraphic(std::make_unique<TBitmap>(3, 1));
    r.ReportOptions()->SetPicture(&logo);
    const std::string first = SaveText(r);
    TpgwReport copy(nullptr);
    LoadText(copy, first);
    EXPECT_EQ(Lines(copy.Errors()), std::vector<std::string>{});
    EXPECT_EQ(SaveText(copy), first);
    auto* memo = dynamic_cast<TRcMemo*>(copy.FindObject("Memo1"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->text, u"Patient: [Customers.\"Name\"] \u6C49\u5B57");
    EXPECT_EQ(memo->Color(), 0x00FF00);
    ASSERT_NE(copy.DataSet(), nullptr);
    EXPECT_EQ(copy.DataSet()->UserName(), "Customers");
    EXPECT_EQ(memo->DataSet(), copy.DataSet());
    ASSERT_EQ(copy.DataSets()->Count(), 1);
    EXPECT_EQ(copy.DataSets()->Items(0)->DataSet(), copy.DataSet());
    EXPECT_EQ(VarToStr(copy.Variables()->Variables("Hospital")), "'City Hospital'");
    EXPECT_EQ(copy.Styles()->Count(), 2);
    EXPECT_EQ(copy.Styles()->Items(1)->Name(), "Style1");
    EXPECT_FALSE(dynamic_cast<TpgwPictureView*>(copy.FindObject("Picture1"))->Picture()->Empty());
    EXPECT_EQ(copy.ReportOptions()->Picture()->Width(), 3);
    EXPECT_TRUE(boxes().Boxes.empty());
}

TEST_F(Report, FixturesLoadCleanAndResaveIdentically) {
    const std::string dir = std::string(LUMETRA_TESTDATA_DIR) + "/";
    for (const char* name : {"rc_exam.pg3", "rc_styles_variables.pg3", "rc_bands_pictures.pg3"}) {
        SCOPED_TRACE(name);
        TempDir tmp;
        TpgwReport r(nullptr);
        ASSERT_TRUE(r.LoadFromFile(dir + name));
        EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{});
        EXPECT_GT(r.AllObjects().size(), 1u);
        r.SaveToFile(tmp.File("a.pg3"));
        TpgwReport again(nullptr);
        ASSERT_TRUE(again.LoadFromFile(tmp.File("a.pg3")));
        again.SaveToFile(tmp.File("b.pg3"));
        EXPECT_EQ(ReadFile(tmp.File("a.pg3")), ReadFile(tmp.File("b.pg3")));
    }
    EXPECT_TRUE(boxes().Boxes.empty());
}

TEST_F(Report, PasswordIsStoredShiftedAndAskedOnLoad) {
    TpgwReport r(nullptr);
    r.ReportOptions()->SetPassword("abc");
    const std::string text = SaveText(r);
    EXPECT_NE(text.find("ReportOptions.Password=\"WXY\""), std::string::npos) << text;
    EXPECT_EQ(r.ReportOptions()->Password(), "abc");

    int asked = 0;
    PromptScope prompt([&](std::string& entered) {
        ++asked;
        entered = "abc";
        return true;
    });
    TpgwReport loaded(nullptr);
    LoadText(loaded, text);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(loaded.ReportOptions()->Password(), "abc");
    EXPECT_EQ(Lines(loaded.Errors()), std::vector<std::string>{});

    loaded.SetReloadingAfterRun(true);
    LoadText(loaded, text);
    EXPECT_EQ(asked, 1) << "the reload after a run does not ask";
    loaded.SetReloadingAfterRun(false);
    loaded.EngineOptions()->SetThreadSafeMode(true);
    LoadText(loaded, text);
    EXPECT_EQ(asked, 1) << "nor does a thread-safe load";
}

TEST_F(Report, PasswordOutsideAsciiIsShiftedInTheLegacyCodePage) {
    TpgwReport r(nullptr);
    r.ReportOptions()->SetPassword("\u5BC6\u7801");
    const std::string text = SaveText(r);
    // GBK C3 DC C2 EB lowered by 10 is B9 D2 B8 E1.
    EXPECT_NE(text.find("ReportOptions.Password=\"\xB9\xD2\xB8\xE1\""), std::string::npos);
    PromptScope prompt([](std::string& entered) {
        entered = "\u5BC6\u7801";
        return true;
    });
    TpgwReport loaded(nullptr);
    LoadText(loaded, text);
    EXPECT_EQ(Lines(loaded.Errors()), std::vector<std::string>{});
    EXPECT_EQ(loaded.ReportOptions()->Password(), "\u5BC6\u7801");

    // Its lowered bytes would be no GBK text: refused, and the template on disk stays.
    TempDir tmp;
    r.SaveToFile(tmp.File("p.pg3"));
    const std::string before = ReadFile(tmp.File("p.pg3"));
    r.ReportOptions()->SetPassword("\u5ABA");
    EXPECT_THROW(r.SaveToFile(tmp.File("p.pg3")), Exception);
    EXPECT_EQ(ReadFile(tmp.File("p.pg3")), before);
    EXPECT_EQ(r.ReportOptions()->Password(), "\u5ABA");
}

TEST_F(Report, WrongOrCancelledPasswordClearsTheReport) {
    TpgwReport source(nullptr);
    FillSample(source);
    source.ReportOptions()->SetPassword("abc");
    const std::string text = SaveText(source);
    struct Case {
        const char* name;
        bool confirm;
        const char* entered;
    };
    for (const Case& c : {Case{"wrong", true, "abd"}, Case{"cancelled", false, "abc"},
                          Case{"case differs", true, "ABC"}}) {
        SCOPED_TRACE(c.name);
        boxes().Boxes.clear();
        PromptScope prompt([&](std::string& entered) {
            entered = c.entered;
            return c.confirm;
        });
        TpgwReport r(nullptr);
        FillSample(r);
        LoadText(r, text);
        EXPECT_TRUE(r.Objects().empty());
        EXPECT_EQ(r.DataSets()->Count(), 0);
        EXPECT_EQ(r.ReportOptions()->Password(), "");
        EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{"Invalid password"});
        ASSERT_EQ(boxes().Boxes.size(), 1u);
        EXPECT_NE(boxes().Boxes[0].Text.find("Invalid password"), std::string::npos);
    }
}

TEST_F(Report, CollectedErrorsAreReportedBySilentMode) {
    const std::string broken = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                               "<TpgwReport>\r\n  <TNoSuchClass Name=\"X\"/>\r\n</TpgwReport>";
    const std::string header = GetResources().GetText("clErrors");
    for (TpgwSilentMode mode : {simMessageBoxes, simSilent, simReThrow}) {
        SCOPED_TRACE(static_cast<int>(mode));
        boxes().Boxes.clear();
        TpgwReport r(nullptr);
        r.EngineOptions()->SetNewSilentMode(mode);
        std::string raised;
        try {
            LoadText(r, broken);
        } catch (const Exception& e) {
            raised = e.what();
        }
        EXPECT_EQ(r.Errors().Count(), 1);
        EXPECT_EQ(r.EngineOptions()->NewSilentMode(), mode) << "templates do not change it";
        const std::string expected = header + "\r\n" + r.Errors().Strings(0);
        switch (mode) {
        case simMessageBoxes:
            ASSERT_EQ(boxes().Boxes.size(), 1u);
            EXPECT_EQ(boxes().Boxes[0].Text, expected);
            EXPECT_EQ(boxes().Boxes[0].Icon, mtError);
            EXPECT_EQ(raised, "");
            break;
        case simSilent:
            EXPECT_TRUE(boxes().Boxes.empty());
            EXPECT_EQ(raised, "");
            break;
        case simReThrow:
            EXPECT_TRUE(boxes().Boxes.empty());
            EXPECT_EQ(raised, expected);
            break;
        }
    }
}

TEST_F(Report, MalformedTemplateIsAnErrorNotACrash) {
    TpgwReport r(nullptr);
    r.EngineOptions()->SetNewSilentMode(simSilent);
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport><TpgwReportPage Name=\"P\"");
    EXPECT_GE(r.Errors().Count(), 1);
}

// A view whose getter fails while the template is being written.
class TRcFailingView : public TpgwView {
    LUMETRA_CLASS(TRcFailingView, TpgwView)
public:
    explicit TRcFailingView(TComponent* owner) : TpgwView(owner) {}
    static void RegisterProperties(TClassBuilder<TRcFailingView>& b) {
        b.Add("Level", TypeInfoInteger(), &TRcFailingView::Level, &TRcFailingView::SetLevel)
            .NoDefault();
    }
    int Level() const {
        if (fail) throw Exception("cannot read Level");
        return 1;
    }
    void SetLevel(int) {}
    bool fail = false;
};

TEST_F(Report, FailedSaveLeavesTheEarlierFileIntact) {
    TempDir tmp;
    const std::string file = tmp.File("exam.pg3");
    TpgwReport r(nullptr);
    FillSample(r);
    r.ReportOptions()->SetPassword("abc");
    r.SaveToFile(file);
    const std::string before = ReadFile(file);

    new TpgwReportPage(&r);
    SetSafeFileFailureForTesting(ENOSPC);
    EXPECT_THROW(r.SaveToFile(file), Exception);
    SetSafeFileFailureForTesting(0);
    EXPECT_EQ(ReadFile(file), before);

    auto* failing = new TRcFailingView(r.Objects().back());
    failing->fail = true;
    EXPECT_THROW(r.SaveToFile(file), Exception);
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(tmp.Count(), 1) << "no temporary file is left behind";
    EXPECT_EQ(r.ReportOptions()->Password(), "abc") << "the plain password is restored";
}

TEST_F(Report, TemplateChangesOnlyItsOwnEngineAndPreviewOptions) {
    TpgwReport r(nullptr);
    r.EngineOptions()->SetMaxMemSize(64);
    r.PreviewOptions()->SetZoom(2);
    r.SetIniFile("\\Software\\Lumetra");
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                "<TpgwReport Version=\"1.0\" EngineOptions.MaxMemSize=\"3\" "
                "EngineOptions.UseFileCache=\"1\" EngineOptions.DoublePass=\"1\" "
                "EngineOptions.ConvertNulls=\"0\" PreviewOptions.Zoom=\"0.5\" "
                "PreviewOptions.OutlineVisible=\"1\" IniFile=\"x\"/>");
    EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{});
    EXPECT_EQ(r.EngineOptions()->MaxMemSize(), 64);
    EXPECT_FALSE(r.EngineOptions()->UseFileCache());
    EXPECT_TRUE(r.EngineOptions()->DoublePass());
    EXPECT_FALSE(r.EngineOptions()->ConvertNulls());
    EXPECT_EQ(r.PreviewOptions()->Zoom(), 2);
    EXPECT_TRUE(r.PreviewOptions()->OutlineVisible());
    EXPECT_EQ(r.IniFile(), "\\Software\\Lumetra");
    EXPECT_EQ(r.Version(), "4.8.5");
}

TEST_F(Report, LoadingAddsADataPageFirstAndMovesDialogComponentsOntoIt) {
    TpgwReport r(nullptr);
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                "<TpgwReport>\r\n"
                "  <TpgwReportPage Name=\"Data\">\r\n"
                "    <TpgwUserDataSet Name=\"A\" UserName=\"A\"/>\r\n"
                "  </TpgwReportPage>\r\n"
                "  <TpgwUserDataSet Name=\"B\" UserName=\"B\"/>\r\n"
                "</TpgwReport>");
    EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{});
    ASSERT_EQ(r.PageListCount(), 2);
    TpgwComponent* dataPage = r.PageAt(0);
    EXPECT_TRUE(dataPage->ClassType().InheritsFrom("TpgwDataPage"));
    EXPECT_EQ(dataPage->Name(), "DataPage1") << "\"Data\" is taken";
    EXPECT_EQ(r.PageAt(1)->Name(), "Data");
    ASSERT_EQ(dataPage->Objects().size(), 2u);
    EXPECT_EQ(dataPage->Objects()[0]->Name(), "A");
    EXPECT_EQ(dataPage->Objects()[0]->Left(), 60);
    EXPECT_EQ(dataPage->Objects()[1]->Left(), 124);
    EXPECT_EQ(dataPage->Objects()[1]->Top(), 20);
}

TEST_F(Report, DestroyedDataSetLeavesTheReportsLists) {
    TpgwReport r(nullptr);
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport/>");
    auto* ds = new TpgwUserDataSet(r.Objects().front());
    ds->SetName("Exams");
    r.DataSets()->Add(ds);
    r.OfferedDataSets()->Add(ds);
    r.SetDataSet(ds);
    EXPECT_EQ(r.DataSetName(), "Exams");
    EXPECT_EQ(r.GetDataset("exams"), ds);
    delete ds;
    EXPECT_EQ(r.DataSet(), nullptr);
    EXPECT_EQ(r.DataSets()->Count(), 0);
    EXPECT_EQ(r.OfferedDataSets()->Count(), 0);

    // One on the application's form, named through the item.
    TComponent form(nullptr);
    auto* outside = new TpgwUserDataSet(&form);
    outside->SetName("Outside");
    auto* item = static_cast<TpgwDataSetItem*>(r.DataSets()->TCollection::Add());
    item->SetDataSetName("Outside");
    ASSERT_EQ(item->DataSet(), outside);
    delete outside;
    EXPECT_EQ(r.DataSets()->Count(), 0);

    // Listed twice (a template can say so), or copied in from another report's list: no item
    // may be left pointing at the freed data set.
    TpgwReport other(nullptr);
    auto* twice = new TpgwUserDataSet(&form);
    twice->SetName("Twice");
    r.DataSets()->Add(twice);
    r.DataSets()->Add(twice);
    other.DataSets()->Add(twice);
    r.OfferedDataSets()->Assign(other.DataSets());
    // The report's main data set moving on must not cut the lists' watch on the old one.
    r.SetDataSet(twice);
    r.SetDataSet(nullptr);
    r.SetDataSetName("Twice");
    ASSERT_EQ(r.DataSet(), twice);
    TpgwUserDataSet next(&form);
    next.SetName("Next");
    r.SetDataSetName("Next");
    ASSERT_EQ(r.DataSet(), &next);
    other.SetDataSet(twice);
    other.SetDataSet(nullptr);
    delete twice;
    EXPECT_EQ(r.DataSets()->Count(), 0);
    EXPECT_EQ(r.OfferedDataSets()->Count(), 0);
    EXPECT_EQ(other.DataSets()->Count(), 0);
}

// A damaged template that carries its data-set list twice: the second list replaces the first,
// whose items still had references waiting to be set.
TEST_F(Report, RepeatedCollectionInOneTemplateLoads) {
    // The Datasets list with one item: DataSet="Customers" DataSetName="Customers".
    const std::string list =
        "08446174617365747301010C2C00000020446174615365743D22437573746F6D65727322"
        "20446174615365744E616D653D22437573746F6D65727322000000";
    TpgwReport r(nullptr);
    r.EngineOptions()->SetNewSilentMode(simSilent);
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport PropData=\"" + list +
                    "\" PropData=\"" + list +
                    "\"><TpgwDataPage Name=\"Data\"><TpgwUserDataSet Name=\"Customers\"/>"
                    "</TpgwDataPage></TpgwReport>");
    ASSERT_EQ(r.DataSets()->Count(), 1);
    EXPECT_EQ(r.DataSets()->Items(0)->DataSet(), r.FindObject("Customers"));

    // A parent report named after the list: loading the parent clears the report first.
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport PropData=\"" + list +
                    "\" ParentReport=\"/nonexistent/base.pg3\"><TpgwDataPage Name=\"Data\">"
                    "<TpgwUserDataSet Name=\"Customers\"/></TpgwDataPage></TpgwReport>");
    EXPECT_EQ(r.DataSets()->Count(), 0);
    EXPECT_NE(r.FindObject("Customers"), nullptr);
}

// An item of one list carrying defined data of its own must not cost the lists after it.
TEST_F(Report, ItemDataInsideTheReportDataKeepsTheRest) {
    // Datasets: one item ' DataSetName="A" PropData="00"'; Variables: ' Name="V" Value="1"'.
    const std::string data =
        "08446174617365747301010C1E00000020446174615365744E616D653D2241222050726F"
        "70446174613D223030220000095661726961626C657301010C13000000204E616D653D22"
        "56222056616C75653D223122000000";
    TpgwReport r(nullptr);
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport PropData=\"" + data +
                    "\"/>");
    EXPECT_EQ(r.DataSets()->Count(), 1);
    ASSERT_EQ(r.Variables()->Count(), 1);
    EXPECT_EQ(r.Variables()->Items(0)->Name(), "V");
}

TEST_F(Report, MissingFileLeavesTheReportCleared) {
    TpgwReport r(nullptr);
    FillSample(r);
    EXPECT_FALSE(r.LoadFromFile("/nonexistent/exam.pg3"));
    EXPECT_TRUE(r.Objects().empty());
    EXPECT_EQ(r.FileName(), "");
    EXPECT_THROW(r.LoadFromFile("/nonexistent/exam.pg3", true), Exception);
}

TEST_F(Report, ClearRestoresDefaults) {
    TpgwReport r(nullptr);
    FillSample(r);
    r.SetScriptLanguage("JScript");
    r.OnStartReport = "Start";
    r.Clear();
    EXPECT_EQ(r.ScriptLanguage(), "PascalScript");
    EXPECT_EQ(Lines(*r.ScriptText()), (std::vector<std::string>{"begin", "", "end."}));
    EXPECT_EQ(Lines(r.SystemVariableNames()),
              (std::vector<std::string>{"Date", "Time", "Page", "Page#", "TotalPages",
                                        "TotalPages#", "Line", "Line#", "CopyName#"}));
    EXPECT_EQ(r.OnStartReport, "");
    EXPECT_FALSE(r.EngineOptions()->DoublePass());
    EXPECT_EQ(r.DataSet(), nullptr);
    EXPECT_EQ(r.Styles()->Count(), 0);
    EXPECT_EQ(r.Variables()->Count(), 0);
}

// ---- inheritance -------------------------------------------------------------------------------

TEST_F(Report, InheritedTemplateLoadsItsParentFromItsOwnFolder) {
    TempDir tmp;
    TpgwReport base(nullptr);
    FillSample(base);
    base.SaveToFile(tmp.File("base.pg3"));

    TpgwReport child(nullptr);
    child.SetFileName(tmp.File("child.pg3"));
    child.SetParentReport("base.pg3");
    ASSERT_NE(child.AncestorCopy(), nullptr);
    EXPECT_TRUE(child.FindObject("Memo1")->Inherited());
    auto* extra = new TRcMemo(child.FindObject("MasterData1"));
    extra->SetName("Memo2");
    dynamic_cast<TRcMemo*>(child.FindObject("Memo1"))->text = u"changed";
    child.SaveToFile(tmp.File("child.pg3"));
    const std::string saved = ReadFile(tmp.File("child.pg3"));
    EXPECT_NE(saved.find("ParentReport=\"base.pg3\""), std::string::npos);
    EXPECT_NE(saved.find("<inherited Name=\"Memo1\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Picture1\" Left"), std::string::npos) << "unchanged objects stay bare";

    TpgwReport loaded(nullptr);
    ASSERT_TRUE(loaded.LoadFromFile(tmp.File("child.pg3")));
    EXPECT_EQ(Lines(loaded.Errors()), std::vector<std::string>{});
    EXPECT_EQ(dynamic_cast<TRcMemo*>(loaded.FindObject("Memo1"))->text, u"changed");
    EXPECT_NE(loaded.FindObject("Memo2"), nullptr);
    EXPECT_NE(loaded.FindObject("Picture1"), nullptr);
    EXPECT_EQ(loaded.GetAncestor(loaded.Name()), loaded.AncestorCopy());
    EXPECT_EQ(loaded.GetAncestor("Memo2"), nullptr);
}

TEST_F(Report, WindowsStyleParentNamesAreFound) {
    TempDir tmp;
    fs::create_directories(tmp.File("Shared"));
    TpgwReport base(nullptr);
    FillSample(base);
    base.SaveToFile(tmp.File("Shared/Base.pg3"));
    WriteFile(tmp.File("child.pg3"), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                     "<TpgwReport ParentReport=\"shared\\base.PG3\"/>");
    TpgwReport r(nullptr);
    ASSERT_TRUE(r.LoadFromFile(tmp.File("child.pg3")));
    EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{});
    EXPECT_NE(r.FindObject("Memo1"), nullptr);
    EXPECT_EQ(r.ParentReport(), "shared\\base.PG3");
}

TEST_F(Report, MissingParentIsReported) {
    TempDir tmp;
    WriteFile(tmp.File("child.pg3"), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                     "<TpgwReport ParentReport=\"gone.pg3\"/>");
    TpgwReport r(nullptr);
    r.EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(r.LoadFromFile(tmp.File("child.pg3")));
    EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{"Parent report not found: gone.pg3"});
}

TEST_F(Report, TemplateThatIsItsOwnParentIsAnErrorNotARecursion) {
    TempDir tmp;
    WriteFile(tmp.File("self.pg3"), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                    "<TpgwReport ParentReport=\"self.pg3\"/>");
    TpgwReport r(nullptr);
    r.EngineOptions()->SetNewSilentMode(simSilent);
    r.LoadFromFile(tmp.File("self.pg3"));
    ASSERT_GE(r.Errors().Count(), 1);
    EXPECT_NE(r.Errors().Text().find("Circular parent report"), std::string::npos)
        << r.Errors().Text();
}

// A view that counts how often an object of each name is read, in any report.
class TCountedView : public TpgwView {
    LUMETRA_CLASS(TCountedView, TpgwView)
public:
    explicit TCountedView(TComponent* owner) : TpgwView(owner) {}
    void Loaded() override {
        TpgwView::Loaded();
        ++Reads()[Name()];
    }
    static std::map<std::string, int>& Reads() {
        static std::map<std::string, int> reads;
        return reads;
    }
};

// level0.pg3 ... level<depth>.pg3, each inheriting from the next; level i has a page of its own
// holding the view "View<i>".
void WriteChain(const TempDir& tmp, int depth) {
    static const bool registered = [] {
        RegisterClass(TCountedView::StaticClass());
        return true;
    }();
    (void)registered;
    for (int i = 0; i <= depth; ++i) {
        const std::string n = std::to_string(i);
        const std::string parent =
            i < depth ? " ParentReport=\"level" + std::to_string(i + 1) + ".pg3\"" : "";
        WriteFile(tmp.File("level" + n + ".pg3"),
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport" + parent +
                      "><TpgwReportPage Name=\"Page" + n + "\"><TCountedView Name=\"View" + n +
                      "\" Left=\"" + n + "\"/></TpgwReportPage></TpgwReport>");
    }
}

// Each level used to read every level above it again for its ancestor copy: the farthest
// ancestor of a chain of n was read 2^(n-1) times.
TEST_F(Report, TemplateChainReadsEachAncestorOnce) {
    constexpr int kDepth = 10;
    TempDir tmp;
    WriteChain(tmp, kDepth);
    TCountedView::Reads().clear();
    TpgwReport r(nullptr);
    ASSERT_TRUE(r.LoadFromFile(tmp.File("level0.pg3")));
    EXPECT_EQ(Lines(r.Errors()), std::vector<std::string>{});
    for (int i = 0; i <= kDepth; ++i) {
        SCOPED_TRACE(i);
        const std::string name = "View" + std::to_string(i);
        // Once from its file, and at most once more into the ancestor copy of each level below.
        EXPECT_LE(TCountedView::Reads()[name], i + 1);
        TpgwComponent* view = r.FindObject(name);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->Left(), i);
        EXPECT_EQ(view->Inherited(), i > 0);
    }

    // Each ancestor copy holds its level and the ones above it, and knows its own parent.
    const TpgwReport* copy = r.AncestorCopy();
    for (int level = 1; level <= kDepth; ++level, copy = copy->AncestorCopy()) {
        SCOPED_TRACE(level);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->ParentReport(),
                  level < kDepth ? "level" + std::to_string(level + 1) + ".pg3" : "");
        EXPECT_EQ(copy->Inherited(), level < kDepth);
        EXPECT_EQ(copy->FindObject("View" + std::to_string(level - 1)), nullptr);
        EXPECT_FALSE(copy->FindObject("View" + std::to_string(level))->Inherited());
        if (level < kDepth) {
            EXPECT_TRUE(copy->FindObject("View" + std::to_string(level + 1))->Inherited());
        }
    }
    EXPECT_EQ(copy, nullptr);

    // Saved against its ancestors the child keeps only what it changed.
    r.FindObject("View" + std::to_string(kDepth))->SetLeft(500);
    r.SaveToFile(tmp.File("level0.pg3"));
    const std::string saved = ReadFile(tmp.File("level0.pg3"));
    EXPECT_NE(saved.find("<inherited Name=\"View1\"/>"), std::string::npos) << saved;
    TpgwReport again(nullptr);
    ASSERT_TRUE(again.LoadFromFile(tmp.File("level0.pg3")));
    EXPECT_EQ(Lines(again.Errors()), std::vector<std::string>{});
    EXPECT_EQ(again.FindObject("View" + std::to_string(kDepth))->Left(), 500);
    EXPECT_EQ(again.FindObject("View1")->Left(), 1);
    EXPECT_TRUE(boxes().Boxes.empty());
}

// A broken chain loads what stands below the break and says why in one box: a chain longer than
// the limit, a cycle through several templates, a missing parent at the far end.
TEST_F(Report, BrokenTemplateChainKeepsWhatLoadedAndReportsOnce) {
    constexpr int kLimit = kMaxParentReportDepth;
    const std::string tooDeep = "Parent report chain deeper than " + std::to_string(kLimit) +
                                " templates: level" + std::to_string(kLimit + 1) + ".pg3";
    struct Case {
        const char* name;
        int depth;
        const char* lastParent; // replaces the farthest template's, when set
        int loadedLevels;
        std::string error;
    };
    for (const Case& c :
         {Case{"at the limit", kLimit, nullptr, kLimit + 1, ""},
          Case{"one beyond", kLimit + 1, nullptr, kLimit + 1, tooDeep},
          Case{"cycle", 3, "level1.pg3", 4, "Circular parent report reference: level1.pg3"},
          Case{"missing", 3, "gone.pg3", 4, "Parent report not found: gone.pg3"}}) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        WriteChain(tmp, c.depth);
        if (c.lastParent) {
            const std::string last = tmp.File("level" + std::to_string(c.depth) + ".pg3");
            std::string text = ReadFile(last);
            text.insert(text.find("<TpgwReport") + 11,
                        std::string(" ParentReport=\"") + c.lastParent + "\"");
            WriteFile(last, text);
        }
        boxes().Boxes.clear();
        TpgwReport r(nullptr);
        ASSERT_TRUE(r.LoadFromFile(tmp.File("level0.pg3")));
        EXPECT_EQ(Lines(r.Errors()),
                  c.error.empty() ? std::vector<std::string>{} : std::vector{c.error});
        for (int i = 0; i <= c.depth; ++i)
            EXPECT_EQ(r.FindObject("View" + std::to_string(i)) != nullptr, i < c.loadedLevels) << i;
        EXPECT_TRUE(r.FindObject("View1")->Inherited());
        ASSERT_EQ(boxes().Boxes.size(), c.error.empty() ? 0u : 1u);
        if (!c.error.empty()) {
            EXPECT_NE(boxes().Boxes[0].Text.find(c.error), std::string::npos);
        }
    }
}

// The current report: its own page with a memo named as one of the base's, a memo of its own,
// a data set and a script.
void FillOwn(TpgwReport& r) {
    LoadText(r, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport/>");
    auto* page = new TpgwReportPage(&r);
    page->SetName("Page9");
    auto* dup = new TRcMemo(page);
    dup->SetName("Memo1");
    dup->text = u"mine";
    auto* own = new TRcMemo(page);
    own->SetName("Notes");
    auto* ds = new TpgwUserDataSet(r.Objects().front());
    ds->SetName("Exams");
    r.DataSets()->Add(ds);
    own->SetDataSet(ds);
    dup->SetDataSet(ds);
    r.ScriptText()->SetText("begin\r\n  Own;\r\nend.");
}

class InheritScope {
public:
    explicit InheritScope(TpgwInheritPrompt p) : previous_(SetInheritPrompt(std::move(p))) {}
    ~InheritScope() { SetInheritPrompt(std::move(previous_)); }

private:
    TpgwInheritPrompt previous_;
};

TEST_F(Report, AttachingAnAncestorMergesTheFormerContent) {
    TempDir tmp;
    TpgwReport base(nullptr);
    FillSample(base);
    base.ScriptText()->SetText("procedure Base;\r\nbegin\r\nend;");
    base.SaveToFile(tmp.File("base.pg3"));

    struct Case {
        const char* name;
        int mode;
        TpgwInheritChoice choice;
        bool attached;
        bool keptCopyOfMemo1;
    };
    for (const Case& c : {Case{"delete", 1, TpgwInheritChoice::Cancel, true, false},
                          Case{"rename", 2, TpgwInheritChoice::Cancel, true, true},
                          Case{"ask: rename", 0, TpgwInheritChoice::RenameDuplicates, true, true},
                          Case{"ask: cancel", 0, TpgwInheritChoice::Cancel, false, false}}) {
        SCOPED_TRACE(c.name);
        int asked = 0;
        InheritScope prompt([&] {
            ++asked;
            return c.choice;
        });
        TpgwReport r(nullptr);
        FillOwn(r);
        r.SetFileName(tmp.File("own.pg3"));
        EXPECT_EQ(r.AttachAncestorTemplate(tmp.File("base.pg3"), c.mode), c.attached);
        EXPECT_EQ(asked, c.mode == 0 ? 1 : 0);
        if (!c.attached) {
            EXPECT_EQ(r.ParentReport(), "");
            EXPECT_EQ(dynamic_cast<TRcMemo*>(r.FindObject("Memo1"))->text, u"mine");
            EXPECT_EQ(r.FindObject("MasterData1"), nullptr);
            continue;
        }
        EXPECT_EQ(r.ParentReport(), "base.pg3");
        EXPECT_TRUE(r.FindObject("MasterData1")->Inherited());
        auto* baseMemo = dynamic_cast<TRcMemo*>(r.FindObject("Memo1"));
        EXPECT_NE(baseMemo->text, u"mine") << "the ancestor's object keeps its name";
        auto* notes = dynamic_cast<TRcMemo*>(r.FindObject("Notes"));
        ASSERT_NE(notes, nullptr);
        EXPECT_FALSE(notes->Inherited());
        ASSERT_NE(notes->DataSet(), nullptr);
        EXPECT_EQ(notes->DataSet()->Name(), "Exams");
        TRcMemo* copy = nullptr;
        for (TpgwComponent* o : r.FindObject("Page9")->Objects())
            if (auto* m = dynamic_cast<TRcMemo*>(o); m && m->text == u"mine") copy = m;
        EXPECT_EQ(copy != nullptr, c.keptCopyOfMemo1);
        if (copy) {
            EXPECT_NE(copy->Name(), "Memo1");
            EXPECT_EQ(copy->DataSet(), notes->DataSet());
        }
        EXPECT_EQ(Lines(*r.ScriptText()),
                  (std::vector<std::string>{"begin", "  Own;", "end.", "{",
                                            "**********Script from parent report**********",
                                            "procedure Base;", "begin", "end;", "}"}));
    }
    EXPECT_FALSE(TpgwReport(nullptr).AttachAncestorTemplate("", 1)) << "its own file";
    TpgwReport r(nullptr);
    FillOwn(r);
    EXPECT_FALSE(r.AttachAncestorTemplate(tmp.File("missing.pg3"), 1));
    EXPECT_EQ(dynamic_cast<TRcMemo*>(r.FindObject("Memo1"))->text, u"mine");
    EXPECT_EQ(r.ParentReport(), "");
}

} // namespace
