// The report object model through scripts in all four languages.
#include "report/script_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/core/date_time.h"
#include "platform/core/string_list.h"
#include "platform/graphics/bitmap.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/dialog_control.h"
#include "report/dmp_class.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/tests/null_doubles.h"
#include "report/variables.h"
#include "script/classes_binding.h"
#include "script/tests/binding_fixture.h"

namespace {

// An engine and an outline that write down what scripts ask of them.
class TLogEngine : public TpgwCustomEngine {
public:
    using TpgwCustomEngine::TpgwCustomEngine;
    void EndPage() override {}
    void NewColumn() override { log += "column;"; }
    void NewPage() override { log += "page;"; }
    void ShowBand(TpgwComponent* band) override { log += "band " + band->Name() + ";"; }
    void ShowBandOfClass(const TClassInfo&) override {}
    double HeaderHeight() override { return 0; }
    double FooterHeight() override { return 0; }
    double FreeSpace() override { return 123.5; }
    Variant GetAggregateValue(const std::string&, const std::string&, TpgwComponent*,
                              int) override {
        return {};
    }
    bool Run() override { return true; }
    std::string log;
};

class TLogOutline : public TpgwCustomOutline {
public:
    using TpgwCustomOutline::TpgwCustomOutline;
    int GetCount() override { return 0; }
    void AddItem(const std::string& text, int top) override {
        log += text + "@" + std::to_string(top) + ";";
    }
    void LevelDown(int) override {}
    void LevelRoot() override { log += "root;"; }
    void LevelUp() override { log += "up;"; }
    void GetItem(int, std::string&, int&, int&) override {}
    void ShiftItems(void*, int) override {}
    void* LastItem() override { return nullptr; }
    std::string log;
};

class TNoPages : public TNullPreviewPages {
public:
    using TNullPreviewPages::TNullPreviewPages;
};

// A report root whose Calc knows "1+2" and fails otherwise the way a report does: the message
// goes to its error list and is raised.
class TCalcReport : public TpgwCustomReport {
public:
    using TpgwCustomReport::TpgwCustomReport;
    Variant Calc(const std::string& expression) override {
        if (expression == "1+2") return Variant(3);
        Errors().Add("Memo1: unknown " + expression);
        throw Exception("Memo1: unknown " + expression);
    }
};

class ReportBindingTest : public BindingFixture {
protected:
    ReportBindingTest() {
        EngineClass() = [](TpgwReport* r) { return std::make_unique<TLogEngine>(r); };
        PreviewPagesClass() = [](TpgwReport* r) { return std::make_unique<TNoPages>(r); };
        OutlineClass() = [](TpgwCustomPreviewPages* p) { return std::make_unique<TLogOutline>(p); };
        report = std::make_unique<TpgwReport>(nullptr);
        EngineClass() = nullptr;
        PreviewPagesClass() = nullptr;
        OutlineClass() = nullptr;

        RegisterMemoClasses(); // templates name their classes
        AddModule<TksClassesModule>();
        AddModule<TpgwReportModule>();
        dir = std::filesystem::path(::testing::TempDir()) /
              ("report_binding_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        TBitmap bitmap;
        bitmap.SetSize(3, 2);
        bitmap.SaveToFile((dir / "p.bmp").string());

        auto* page = Make<TpgwReportPage>(report.get(), "Page1");
        band = Make<TpgwMasterData>(page, "MasterData1");
        band->SetBounds(0, 40, 700, 100);
        memo = Make<TpgwMemoView>(band, "Memo1");
        Make<TpgwMemoView>(band, "Memo2");
        Make<TpgwPictureView>(band, "Picture1")->SetAutoSize(true);
        Make<TpgwLineView>(band, "Line1");
        Make<TpgwDialogControl>(page, "Control1");
        auto* ds = Make<TpgwUserDataSet>(page, "DS");
        ds->Fields()->SetText("name\r\nage");
        ds->OnGetValue = [](const std::string& field, Variant& value) {
            value = field == "age" ? Variant(42) : Variant("Ann");
        };
        AddHostObject("Report", report.get());
        AddHostObject("Spare", &spare);
        AddHostObject("Loose", &loose);
        AddHostObject("Engine", report->Engine());
        AddHostObject("Outline", report->PreviewPages()->Outline());
        // Variant-typed objects get past the compiler's type check to the binding's own.
        AddHostVariable("Anything", ksObjectToValue(memo));
        AddHostVariable("NotAComponent", ksObjectToValue(&GlobalVariables()));
        {
            const void* saved = script.OwnerTag;
            script.OwnerTag = ksHostTag;
            script.AddVariable("CalcReport", "TpgwReport", ksObjectToValue(&calcReport));
            script.OwnerTag = saved;
        }
        AddHostVariable("D", Variant::FromDate(EncodeDate(2010, 3, 5)));
        AddHostVariable("Dir", Variant(dir.string() + "/"));
        for (const auto& [name, type] :
             {std::pair{"W", "TWideStrings"}, std::pair{"L", "TStringList"},
              std::pair{"S", "TMemoryStream"}, std::pair{"V", "TpgwVariables"},
              std::pair{"A", "TpgwArray"}, std::pair{"St", "TpgwStyles"}}) {
            const void* saved = script.OwnerTag;
            script.OwnerTag = ksHostTag;
            script.AddVariable(name, type, Variant::Null());
            script.OwnerTag = saved;
        }
    }
    ~ReportBindingTest() override {
        script.Clear();
        report.reset();
        std::filesystem::remove_all(dir);
    }

    template <class T> T* Make(TComponent* owner, const char* name) {
        auto* object = new T(owner);
        object->SetName(name);
        AddHostObject(name, object);
        return object;
    }

    std::unique_ptr<TpgwReport> report;
    TCalcReport calcReport{nullptr};
    TpgwReport spare{nullptr};
    TpgwMemoView loose{nullptr};
    TpgwBand* band = nullptr;
    TpgwCustomMemoView* memo = nullptr;
    std::filesystem::path dir;
};

// One step of the tour: an expression whose text is written, or (no expected text) a statement.
struct Step {
    const char* code;
    const char* expected = nullptr;
};

// Every constant, enumeration, class member and function of the binding, in neutral syntax:
// "a := b" assigns, single quotes delimit strings, "()" marks a call without arguments.
const Step kTour[] = {
    {"pg01cm", "3.77953"},
    {"pg1cm", "37.7953"},
    {"pg01in", "9.6"},
    {"pg1in", "96"},
    {"pg1CharX", "9.6"},
    {"pg1CharY", "17"},
    {"clTransparent", "536870911"},
    {"crHand + crZoom + crFormat", "453"},
    {"smMaxHeight", "2"},
    {"smWhenOverlapped", "2"},
    {"dmSimplex", "3"},
    {"baClient", "6"},
    {"fsDouble", "5"},
    {"ftBottom", "8"},
    {"haBlock", "3"},
    {"vaCenter", "2"},
    {"rfDontDelete", "8"},
    {"skDiagonal2", "6"},
    {"pbExportQuick", "4096"},
    {"zmManyPages", "3"},
    {"ppEven", "2"},
    {"fsx15cpi", "256"},
    {"rbCurrent", "1"},
    {"reCount", "2"},
    {"fftBoolean", "2"},
    {"fkBoolean", "3"},
    // functions
    {"DayOf(D)", "5"},
    {"MonthOf(D)", "3"},
    {"YearOf(D)", "2010"},
    {"IIF(True, 1, 2)", "0"},
    {"SUM(1) + AVG(1, 0, 0) + MIN(1) + MAX(1) + COUNT(0)", "0"},
    // wide string lists
    {"W := TWideStrings.Create()"},
    {"W.Add('a')", "0"},
    {"W.AddObject('b', Memo1)", "1"},
    {"W.Insert(2, 'c')"},
    {"W.IndexOf('c')", "2"},
    {"W.Count", "3"},
    {"W.Objects[1].ClassName()", "TpgwMemoView"},
    {"W.Objects[0] := Line1"},
    {"W.Objects[0].ClassName()", "TpgwLineView"},
    {"W.Strings[0] := 'A'"},
    {"W[0] + W.Strings[2]", "Ac"},
    {"W.Delete(1)"},
    {"W.Text", "A\r\nc\r\n"},
    {"S := TMemoryStream.Create()"},
    {"W.SaveToStream(S)"},
    {"W.Text := 'x'"},
    {"S.Position := 0"},
    {"W.LoadFromStream(S)"},
    {"W.Count", "2"},
    {"W.SaveToFile(Dir + 'w.txt')"},
    {"W.Clear()"},
    {"W.LoadFromFile(Dir + 'w.txt')"},
    {"W[1]", "c"},
    // data sets
    {"DS.Open()"},
    {"DS.First()"},
    {"DS.Eof()", "False"},
    {"DS.Next()"},
    {"DS.Prior()"},
    {"DS.RecNo", "0"},
    {"DS.FieldsCount()", "2"},
    {"DS.HasField('AGE')", "True"},
    {"DS.IsBlobField('age')", "False"},
    {"DS.RecordCount()", "0"},
    {"L := TStringList.Create()"},
    {"DS.GetFieldList(L)"},
    {"L.CommaText", "name,age"},
    {"DS.DisplayText['name']", "Ann"},
    {"DS.DisplayWidth['name']", "10"},
    {"DS.FieldType['age']", "0"},
    {"DS.Value['age']", "42"},
    {"DS.Close()"},
    // components
    {"MasterData1.FindObject('memo2').Name", "Memo2"},
    {"MasterData1.Objects.Count", "4"},
    {"Page1.AllObjects.Count", "7"},
    {"Memo1.Parent.Name", "MasterData1"},
    {"Memo1.Page.Name", "Page1"},
    {"Memo1.SetBounds(10, 20, 100, 30)"},
    {"Memo1.AbsLeft", "10"},
    {"Memo1.AbsTop", "60"},
    {"Memo1.Text := 'x' + IntToStr(pg1in)"},
    {"S.Clear()"},
    {"Memo1.SaveToStream(S)"},
    {"S.Position := 0"},
    {"Loose.LoadFromStream(S)"},
    {"Loose.Width", "100"},
    {"Memo2.SaveToStream(S, False)"},
    {"Control1.SetFocus()"},
    {"Memo1.TagStr := 't'"},
    {"Memo1.TagStr", "t"},
    {"Line1.CalcHeight()", "0"},
    {"Picture1.LoadFromFile(Dir + 'p.bmp')"},
    {"Picture1.Width", "3"},
    {"MasterData1.Overflow", "False"},
    {"Line1.Parent := Page1"},
    {"Page1.Objects.Count", "4"},
    {"MasterData1.Clear()"},
    {"MasterData1.Objects.Count", "0"},
    {"Report.EngineOptions.DestroyForms", "True"},
    {"Report.EngineOptions.DestroyForms := False"},
    {"Report.EngineOptions.DestroyForms", "False"},
    // variables, styles, arrays
    {"V := TpgwVariables.Create()"},
    {"V['a'] := 5"},
    {"V['a'] + V.Variables['A']", "10"},
    {"pgwGlobalVariables['g'] := 'G'"},
    {"pgwGlobalVariables['g']", "G"},
    {"A := TpgwArray.Create()"},
    {"A[7] := 'seven'"},
    {"A['7']", "seven"},
    {"St := TpgwStyles.Create(Report)"},
    {"St.Add().Name := 'Big'"},
    {"St.Find('big').Name", "Big"},
    {"St[0] := nil"},
    {"St.Items[0].Name", "Big"},
    {"St.GetList(L)"},
    {"L.CommaText", "Big"},
    {"St.SaveToFile(Dir + 's.xml')"},
    {"S.Clear()"},
    {"St.SaveToStream(S)"},
    {"St.LoadFromFile(Dir + 's.xml')"},
    {"S.Position := 0"},
    {"St.LoadFromStream(S)"},
    {"St.Apply()"},
    {"St.Count", "1"},
    // the report
    {"CalcReport.Calc('1+2')", "3"},
    {"Report.GetDataset('none') = nil", "True"},
    {"Report.Variables['rv'] := 1"},
    {"Report.Variables.Count", "1"},
    {"Report.Styles.Count", "0"},
    {"Spare.SaveToFile(Dir + 'r.pg3')"},
    {"Spare.LoadFromFile(Dir + 'nothing.pg3')", "False"},
    {"Spare.LoadFromFile(Dir + 'r.pg3')", "True"},
    {"Report.Terminated", "False"},
    {"Report.Terminated := True"},
    {"Report.Terminated", "True"},
    // engine and outline
    {"Engine.NewPage()"},
    {"Engine.NewColumn()"},
    {"Engine.ShowBand(MasterData1)"},
    {"Engine.FreeSpace()", "123.5"},
    {"Outline.AddItem('one')"},
    {"Outline.LevelUp()"},
    {"Outline.LevelRoot()"},
    {"Engine.StopReport()"},
    {"W.Free()"},
    {"S.Free()"},
    {"L.Free()"},
    {"V.Free()"},
    {"A.Free()"},
    {"St.Free()"},
};

// The tour in one language's syntax.
std::string TourProgram(const std::string& language) {
    const bool pascal = language == "PascalScript";
    const bool basic = language == "BasicScript";
    auto translate = [&](std::string code) {
        if (!pascal && !basic)
            if (const std::size_t p = code.find(" = "); p != std::string::npos)
                code.replace(p, 3, " == ");
        for (std::size_t p; !pascal && (p = code.find(" := ")) != std::string::npos;)
            code.replace(p, 4, " = ");
        for (std::size_t p; pascal && (p = code.find("()")) != std::string::npos;)
            code.erase(p, 2);
        if (!pascal)
            for (char& c : code)
                if (c == '\'') c = '"';
        return code;
    };
    std::string body;
    for (const Step& step : kTour) {
        std::string line = translate(step.code);
        if (step.expected) line = "WriteLn(" + line + ")";
        body += line + (basic ? "\r\n" : ";\r\n");
    }
    if (pascal) return "begin\r\n" + body + "end.";
    if (language == "C++Script") return "{\r\n" + body + "}";
    return body;
}

std::string TourOutput() {
    std::string out;
    for (const Step& step : kTour)
        if (step.expected) out += std::string(step.expected) + "\n";
    return out;
}

class ReportBindingTour : public ReportBindingTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(ReportBindingTour, ReachesEveryRegisteredName) {
    try {
        EXPECT_EQ(Run(TourProgram(GetParam()), GetParam()), TourOutput());
    } catch (const Exception& e) {
        FAIL() << e.Message() << " after:\n" << out;
    }
    auto& engine = static_cast<TLogEngine&>(*report->Engine());
    EXPECT_EQ(engine.log, "page;column;band MasterData1;");
    EXPECT_EQ(static_cast<TLogOutline&>(*report->PreviewPages()->Outline()).log, "one@0;up;root;");
    EXPECT_TRUE(report->Terminated());
    EXPECT_EQ(GlobalVariables().Variables("g").AsString(), "G");
}

INSTANTIATE_TEST_SUITE_P(Languages, ReportBindingTour,
                         ::testing::Values("PascalScript", "C++Script", "BasicScript", "JScript"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('+')) + "Lang";
                         });

TEST_F(ReportBindingTest, ScriptValuesKeepTheirKinds) {
    ASSERT_TRUE(Compile("begin end."));
    EXPECT_EQ(script.Evaluate("pg1in").Kind(), VariantKind::Int32);
    EXPECT_EQ(script.Evaluate("pg1CharY").Kind(), VariantKind::Int32);
    EXPECT_DOUBLE_EQ(script.Evaluate("pg01in").AsDouble(), 9.6);
    EXPECT_EQ(script.Evaluate("DayOf(EncodeDate(2010, 3, 5))").AsInteger(), 5);
}

TEST_F(ReportBindingTest, MainBlockSetsMemoText) {
    EXPECT_EQ(Run("begin Memo1.Text := 'x' + IntToStr(pg1in); WriteLn(Memo1.Lines[0]) end."),
              "x96\n");
    EXPECT_EQ(memo->Memo()->Strings(0), u"x96");
    // Lines copies the list.
    Run("begin W := TWideStrings.Create; W.Add('p'); W.Add('q'); Memo1.Lines := W; W.Free;"
        " end.");
    EXPECT_EQ(memo->Text(), "p\r\nq\r\n");
}

TEST_F(ReportBindingTest, ScriptSetsADotMatrixMemosPrinterStyle) {
    auto* dmp = Make<TpgwDMPMemoView>(Make<TpgwDMPPage>(report.get(), "DMPPage1"), "DMPMemo1");
    EXPECT_EQ(Run("begin DMPMemo1.FontStyle := [fsxBold, fsxWide]; "
                  "WriteLn(DMPMemo1 is TpgwCustomMemoView) end."),
              "True\n");
    EXPECT_EQ(dmp->FontStyle(), DMPStyle(fsxBold) | DMPStyle(fsxWide));
    EXPECT_FALSE(dmp->ParentFont());
    EXPECT_TRUE(dmp->Font()->Style().Contains(fsBold));
}

TEST_F(ReportBindingTest, AnsiTextGoesThroughTheFontsCodePage) {
    memo->Font()->SetCharset(204); // Cyrillic
    AddHostVariable("Bytes", Variant(std::string("\xC0\xE1")));
    EXPECT_EQ(Run("begin Memo1.AnsiText := Bytes; WriteLn(Memo1.Text); "
                  "WriteLn(Memo1.AnsiText = Bytes + #13#10) end."),
              "\xD0\x90\xD0\xB1\r\n\nTrue\n");
    // Text itself never converts.
    Run("begin Memo1.Text := Bytes end.");
    EXPECT_NE(memo->Text(), "\xD0\x90\xD0\xB1\r\n");
}

TEST_F(ReportBindingTest, CalcErrorsGoToTheScriptNotToTheErrorList) {
    calcReport.Errors().Add("earlier");
    EXPECT_EQ(Run("begin try CalcReport.Calc('1 +') except WriteLn(ExceptionMessage) end end."),
              "Error in Calc expression: Memo1: unknown 1 +\n");
    EXPECT_EQ(calcReport.Errors().Text(), "earlier\r\n");
    // The report's own Calc for scripts.
    const std::string message =
        Run("begin try Report.Calc('1 +') except WriteLn(ExceptionMessage) end end.");
    EXPECT_TRUE(message.starts_with("Error in Calc expression: ")) << message;
    EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportBindingTest, BadReferencesRaiseInsteadOfCrashing) {
    ExpectEachRaises({
        {"begin Memo2.Free; Memo2.Text := 'x' end.", "EInvalidObjectReference"},
        {"begin DS.GetFieldList(Anything) end.", "EInvalidObjectReference"},
        {"begin Memo1.Lines := Anything end.", "EInvalidObjectReference"},
        {"begin Memo1.Parent := NotAComponent end.", "EInvalidObjectReference"},
        {"begin MasterData1.Parent := Memo1 end.", "EComponentError"},
        {"begin Engine.ShowBand(nil) end.", "EInvalidObjectReference"},
    });
    // A child list the script freed is made again on the next read.
    EXPECT_EQ(Run("var t: TList; begin t := Page1.Objects; t.Free; WriteLn(Page1.Objects.Count) "
                  "end."),
              "3\n");
}

TEST_F(ReportBindingTest, UnlistedPropertyReadsZero) {
    TksScript other(nullptr);
    TpgwReportModule module(&other);
    EXPECT_EQ(module.GetProp(memo, &TpgwComponent::StaticClass(), "NOSUCH").AsInteger(), 0);
    EXPECT_EQ(module.GetProp(memo, &TpgwCustomMemoView::StaticClass(), "WORDWRAP").AsInteger(), 0);
    other.Clear();
}

TEST(ReportBindingModuleList, RegistersOnce) {
    pgwRegisterReportBinding();
    pgwRegisterReportBinding();
    int count = 0;
    for (const auto& e : *HostModuleList())
        count += e.Name == "pgwScriptBinding";
    EXPECT_EQ(count, 1);
    pgwUnregisterReportBinding();
    for (const auto& e : *HostModuleList())
        EXPECT_NE(e.Name, "pgwScriptBinding");
}

} // namespace
