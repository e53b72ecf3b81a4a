// Preparing a report through a stub engine, the expression cache and the value lookup.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <map>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/expression_cache.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/tests/null_doubles.h"
#include "report/script_binding.h"
#include "report/report_data_sets.h"
#include "report/resources.h"
#include "report/tests/rc_doubles.h"
#include "report/variables.h"
#include "script/script.h"
#include "script/sys_functions.h"

namespace {

// Prints the objects of the report's first band, once per row: the output steps the engine
// takes for each object, with the memo texts recorded before they are restored.
class TStubEngine : public TNullEngine {
public:
    using TNullEngine::TNullEngine;

    struct AggregateCall {
        std::string Name, Expression;
        std::string Band; // its name: the run's objects are gone after a reload
        int Flags;
    };
    Variant GetAggregateValue(const std::string& name, const std::string& expression,
                              TpgwComponent* band, int flags) override {
        Aggregates.push_back({name, expression, band ? band->Name() : "(none)", flags});
        auto it = AggregateTable.find(name);
        return it == AggregateTable.end() ? Variant::Null() : it->second;
    }

    bool Run() override {
        ++Runs;
        Texts.clear();
        TpgwReport* report = Report();
        TpgwComponent* band = nullptr;
        for (TpgwComponent* c : report->AllObjects())
            if (dynamic_cast<TpgwBand*>(c)) {
                band = c;
                break;
            }
        if (!band) return false;
        SetRunning(true);
        struct Stop {
            TStubEngine* e;
            ~Stop() { e->SetRunning(false); }
        } stop{this};
        for (int row = 0; row < Rows; ++row) {
            if (OnRow) OnRow(row);
            for (TpgwComponent* c : band->Objects()) {
                auto* object = dynamic_cast<TpgwReportComponent*>(c);
                if (!object) continue;
                report->SetActiveObjectName(object->Name());
                object->SaveForPrint();
                report->FireBeforePrint(object);
                object->FetchData();
                if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object))
                    Texts[memo->Name()].push_back(memo->Text());
                object->RestoreAfterPrint();
                report->FireAfterPrint(object);
            }
        }
        report->SetActiveObjectName("");
        return Result;
    }

    int Rows = 1;
    bool Result = true;
    int Runs = 0;
    std::function<void(int row)> OnRow;
    std::map<std::string, Variant> AggregateTable;
    std::vector<AggregateCall> Aggregates;
    std::map<std::string, std::vector<std::string>> Texts;
};

// A data set of one row whose fields have fixed values and types.
class TTableDataSet : public TpgwUserDataSet {
public:
    explicit TTableDataSet(TComponent* owner) : TpgwUserDataSet(owner) {}
    Variant GetValue(const std::string& field) override {
        auto it = Values.find(field);
        return it == Values.end() ? Variant::Null() : it->second;
    }
    TpgwFieldType GetFieldType(const std::string& field) override {
        auto it = Types.find(field);
        return it == Types.end() ? fftString : it->second;
    }
    std::map<std::string, Variant> Values;
    std::map<std::string, TpgwFieldType> Types;
};

std::string text(const char* key) {
    return GetResources().GetText(key);
}

std::string saved(TpgwReport& report) {
    TMemoryStream stream;
    report.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()),
                       static_cast<std::size_t>(stream.Size()));
}

class ReportPrepare : public ::testing::Test {
protected:
    void SetUp() override {
        ksRegisterSysFunctions();
        pgwRegisterReportBinding();
        RegisterReportDoubles();
        RegisterMemoClasses();
        savedEngineClass_ = EngineClass();
        EngineClass() = [](TpgwReport* r) { return std::make_unique<TStubEngine>(r); };
        report = std::make_unique<TpgwReport>(nullptr);
        report->EngineOptions()->SetNewSilentMode(simSilent);
        auto* page = new TpgwReportPage(report.get());
        page->SetName("Page1");
        (new TpgwMasterData(page))->SetName("MasterData1");
        data = std::make_unique<TTableDataSet>(nullptr);
        data->SetUserName("Data");
        report->DataSets()->Add(data.get());
    }
    void TearDown() override {
        report.reset();
        EngineClass() = savedEngineClass_;
    }
    TStubEngine& engine() { return *static_cast<TStubEngine*>(report->Engine()); }
    TpgwMemoView* addMemo(const std::string& name, const std::string& memoText) {
        // A run reloads the template: the band of SetUp may be gone.
        auto* memo = new TpgwMemoView(report->FindObject("MasterData1"));
        memo->SetName(name);
        memo->SetText(memoText);
        return memo;
    }
    void setScript(const std::string& language, const std::string& script) {
        report->SetScriptLanguage(language);
        report->ScriptText()->SetText(script);
    }
    bool hasErrorStarting(const std::string& prefix) {
        for (int i = 0; i < report->Errors().Count(); ++i)
            if (report->Errors().Strings(i).starts_with(prefix)) return true;
        return false;
    }

    std::unique_ptr<TpgwReport> report;
    std::unique_ptr<TTableDataSet> data;

private:
    TpgwEngineFactory savedEngineClass_;
};

// ---- the expression cache ----------------------------------------------------------------------

TEST(ExpressionCache, FunctionTextsCompileInEveryLanguage) {
    struct Case {
        const char* Language;
        const char* Text;
    };
    for (const Case& c : {Case{"PascalScript", "'ab'"}, Case{"C++Script", "\"ab\""},
                          Case{"BasicScript", "\"ab\""}, Case{"JScript", "\"ab\""}}) {
        const char* language = c.Language;
        SCOPED_TRACE(language);
        ksRegisterSysFunctions();
        TksScript main(nullptr);
        main.AddHostModules();
        TpgwExpressionCache cache(&main);
        cache.SetScriptLanguage(language);
        std::string error;
        EXPECT_EQ(cache.Calc("1+2", &main, error), Variant(3)) << error;
        EXPECT_EQ(cache.Calc(c.Text, &main, error), Variant("ab")) << error;
        EXPECT_EQ(cache.Count(), 2);
        EXPECT_NE(cache.Script().FindOwn("pg3f1"), nullptr);
    }
}

TEST(ExpressionCache, CaseVariantsShareAFunctionAndErrorsCompileNothing) {
    ksRegisterSysFunctions();
    TksScript main(nullptr);
    main.AddHostModules();
    main.AddVariable("Price", "Integer", Variant(4));
    TpgwExpressionCache cache(&main);
    std::string error;
    EXPECT_EQ(cache.Calc("Price * 2", &main, error), Variant(8));
    EXPECT_EQ(cache.Calc("PRICE * 2", &main, error), Variant(8));
    EXPECT_EQ(cache.Count(), 1);

    const Variant bad = cache.Calc("1 +", &main, error);
    EXPECT_TRUE(bad.IsNull());
    EXPECT_TRUE(error.starts_with(text("clExprError") + " '1 +': ")) << error;
    EXPECT_GT(error.size(), text("clExprError").size() + 8) << "the compiler's message follows";
    EXPECT_EQ(cache.Script().FindOwn("pg3f1"), nullptr) << "the failed function is removed";
    EXPECT_EQ(cache.Calc("Price + 1", &main, error), Variant(5));
    EXPECT_NE(cache.Script().FindOwn("pg3f1"), nullptr) << "numbering goes on after a failure";

    EXPECT_TRUE(cache.Calc("1 div 0", &main, error).IsNull());
    EXPECT_FALSE(error.empty()) << "a run-time error is the error text";

    cache.Clear();
    EXPECT_EQ(cache.Calc("Price - 1", &main, error), Variant(3));
    EXPECT_NE(cache.Script().FindOwn("pg3f0"), nullptr);
    EXPECT_EQ(cache.Count(), 1);
}

// ---- the value lookup --------------------------------------------------------------------------

TEST_F(ReportPrepare, VariablesAreExpressionsUnlessMultiLine) {
    struct Case {
        const char* Name;
        Variant Stored;
        Variant Expected;
    };
    GlobalVariables().SetVariables("PrepareGlobal", Variant("1+1"));
    const Case cases[] = {
        {"Total", Variant("2+3"), Variant(5)},
        {"Lines", Variant("a\r\nb"), Variant("a\r\nb")},
        {"Number", Variant(7), Variant(7)},
        {"Quoted", Variant("'abc'"), Variant("abc")},
        {"Empty", Variant(""), Variant("")},
        {"Chain", Variant("<Total> * 2"), Variant(10)},
        {"PrepareGlobal", Variant(), Variant("1+1")},
    };
    for (const Case& c : cases)
        if (!c.Stored.IsEmpty()) report->Variables()->SetVariables(c.Name, c.Stored);
    ASSERT_TRUE(report->SetUpScript());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(report->Calc(c.Name), c.Expected);
    }
    GlobalVariables().DeleteVariable("PrepareGlobal");
    EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportPrepare, FieldsAndConvertNulls) {
    data->Values = {{"Name", Variant("Ann")}, {"Age", Variant(41)}};
    data->Types = {{"Age", fftNumeric}, {"Flag", fftBoolean}, {"Note", fftString}};
    struct Case {
        const char* Expression;
        bool ConvertNulls;
        Variant Expected;
    };
    const Case cases[] = {
        {"Data.\"Name\"", true, Variant("Ann")},   {"data.\"Age\"", true, Variant(41)},
        {"Data.\"Missing\"", true, Variant("")},   {"Data.\"Age2\"", true, Variant("")},
        {"Data.\"Flag\"", true, Variant(false)},   {"Data.\"Note\"", false, Variant::Null()},
        {"Data.\"Flag\"", false, Variant::Null()},
    };
    data->Types["Age2"] = fftString;
    ASSERT_TRUE(report->SetUpScript());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expression);
        report->EngineOptions()->SetConvertNulls(c.ConvertNulls);
        const Variant v = report->Calc(c.Expression);
        if (c.Expected.IsNull())
            EXPECT_TRUE(v.IsNull());
        else
            EXPECT_EQ(v, c.Expected);
    }
    report->EngineOptions()->SetConvertNulls(true);
    data->Types["Age"] = fftNumeric;
    data->Values.erase("Age");
    EXPECT_EQ(report->Calc("Data.\"Age\""), Variant(0));
    EXPECT_EQ(report->Calc("<Data.\"Name\"> + '!'"), Variant("Ann!"));
}

TEST_F(ReportPrepare, SystemVariablesAndOnGetValue) {
    engine().LineValue = 3;
    engine().RunningLineValue = 12;
    report->OnGetValue = [](const std::string& name, Variant& value) {
        if (name == "Hospital") value = Variant("North");
    };
    ASSERT_TRUE(report->SetUpScript());
    EXPECT_EQ(report->Calc("line"), Variant(3));
    EXPECT_EQ(report->Calc("Line#"), Variant(12));
    EXPECT_EQ(report->Calc("Hospital"), Variant("North"));
    EXPECT_EQ(report->Calc("<Hospital> + ' ' + IntToStr(<Line>)"), Variant("North 3"));
}

TEST_F(ReportPrepare, VariableReferringToItselfIsAnErrorNamingIt) {
    struct Case {
        std::map<std::string, std::string> Variables;
        const char* Expression;
    };
    const Case cases[] = {
        {{{"x", "x"}}, "x"},
        {{{"x", "<x> + 1"}}, "x"},
        {{{"a", "<b> * 2"}, {"b", "a"}}, "a"},
        {{{"x", "<x> + 1"}}, "<x>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expression);
        report->Variables()->Clear();
        for (const auto& [name, value] : c.Variables)
            report->Variables()->SetVariables(name, Variant(value));
        ASSERT_TRUE(report->SetUpScript());
        report->Errors().Clear();
        report->SetActiveObjectName("Memo1");
        try {
            report->Calc(c.Expression);
            ADD_FAILURE() << "no error";
        } catch (const ECalcError& e) {
            EXPECT_TRUE(e.Message().starts_with("Memo1: ")) << e.Message();
            EXPECT_NE(e.Message().find("refers to itself"), std::string::npos) << e.Message();
        }
        ASSERT_EQ(report->Errors().Count(), 1) << "entered once, however deep";
        EXPECT_NE(report->Errors().Strings(0).find("refers to itself"), std::string::npos);
    }
}

TEST_F(ReportPrepare, CalcErrorsByCaller) {
    ASSERT_TRUE(report->SetUpScript());
    EXPECT_THROW(report->Calc("1 +"), ECalcError);
    ASSERT_EQ(report->Errors().Count(), 1);
    EXPECT_TRUE(report->Errors().Strings(0).starts_with(text("clExprError") + " '1 +'"));

    report->Errors().Clear();
    report->SetActiveObjectName("Memo1");
    EXPECT_THROW(report->Calc("2 +"), ECalcError);
    EXPECT_TRUE(hasErrorStarting("Memo1: " + text("clExprError") + " '2 +'"));

    report->Errors().Clear();
    try {
        report->CalcFromScript("3 +");
        ADD_FAILURE() << "no error";
    } catch (const ECalcError&) {
        ADD_FAILURE() << "a script's error is not one of the report's";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().starts_with("Error in Calc expression: " + text("clExprError")))
            << e.Message();
    }
    EXPECT_EQ(report->Errors().Count(), 0);
    EXPECT_EQ(report->CalcFromScript("1+2"), Variant(3));
}

// ---- preparing ---------------------------------------------------------------------------------

TEST_F(ReportPrepare, BadScriptOrDataSetStopsBeforeTheEngine) {
    struct Case {
        const char* Language;
        const char* Script;
        const char* Position;
    };
    const Case cases[] = {
        {"PascalScript", "begin\r\n  x := ;\r\nend.", "2:"},
        {"C++Script", "{\r\n\r\n  int x = ;\r\n}", "3:"},
        {"BasicScript", "dim x\r\nx = \r\n", "2:"},
        {"JScript", "var x = ;", "1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Language);
        setScript(c.Language, c.Script);
        EXPECT_FALSE(report->BuildPreparedPages());
        EXPECT_EQ(engine().Runs, 0);
        ASSERT_EQ(report->Errors().Count(), 1);
        const std::string prefix = text("clScrError").substr(0, text("clScrError").find('%'));
        const std::string line = report->Errors().Strings(0);
        EXPECT_TRUE(line.starts_with(prefix + c.Position)) << line;
    }

    setScript("PascalScript", "begin end.");
    report->DataSets()->Add(nullptr)->SetDataSetName("Gone");
    EXPECT_FALSE(report->BuildPreparedPages());
    EXPECT_EQ(engine().Runs, 0);
    EXPECT_EQ(report->Errors().Count(), 1);
}

TEST_F(ReportPrepare, UnknownNamesAndFailingMemosFailTheRun) {
    setScript("PascalScript", "var v: Variant;\r\nbegin\r\n  v := <Nowhere>;\r\nend.");
    EXPECT_FALSE(report->BuildPreparedPages());
    EXPECT_EQ(engine().Runs, 1);
    EXPECT_TRUE(hasErrorStarting(text("clUnknownVar") + " Nowhere"));

    setScript("PascalScript", "begin end.");
    addMemo("Memo1", "[1 +]");
    EXPECT_FALSE(report->BuildPreparedPages());
    EXPECT_TRUE(hasErrorStarting("Memo1: ")) << report->Errors().Text();

    report->FindObject("Memo1")->SetName("Memo2");
    static_cast<TpgwMemoView*>(report->FindObject("Memo2"))->SetText("[1 + 1]");
    EXPECT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportPrepare, EachRunStartsTheCacheAtZero) {
    addMemo("Memo1", "[1 + 1] [2 + 2]");
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    EXPECT_EQ(report->ExpressionCache()->Count(), 2);
    static_cast<TpgwMemoView*>(report->FindObject("Memo1"))->SetText("[3 + 3]");
    report->EngineOptions()->SetDestroyForms(false);
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    EXPECT_EQ(report->ExpressionCache()->Count(), 1);
    EXPECT_NE(report->ExpressionCache()->Script().FindOwn("pg3f0"), nullptr);
    EXPECT_EQ(report->ExpressionCache()->Script().FindOwn("pg3f1"), nullptr);
    EXPECT_EQ(engine().Texts["Memo1"], std::vector<std::string>{"6\r\n"});
}

TEST_F(ReportPrepare, DestroyFormsKeepsTheTemplate) {
    const std::string script = "procedure Memo1OnBeforePrint(Sender: Variant);\r\nbegin\r\n"
                               "  Set('Counter', <Counter> + 1);\r\nend;\r\n\r\n"
                               "begin\r\n  Set('Counter', 41);\r\nend.";
    addMemo("Memo1", "[Counter]")->OnBeforePrint = "Memo1OnBeforePrint";
    report->Variables()->SetVariables("Counter", Variant(1));
    report->OnAfterPrint = [](TpgwComponent* object) { object->SetLeft(object->Left() + 50); };
    // As a template read from a file, with its data page.
    TMemoryStream stream;
    report->SaveToStream(stream);
    stream.SetPosition(0);
    report->LoadFromStream(stream);
    report->ReportOptions()->SetPassword("secret");

    struct Case {
        bool EngineResult;
        std::string Script;
        bool Prepared;
    };
    for (const Case& c : {Case{true, script, true}, Case{false, script, false},
                          Case{true, "begin\r\n  x := ;\r\nend.", false},
                          Case{true, "begin\r\n  Set('Counter', 1 div 0);\r\nend.", false}}) {
        SCOPED_TRACE(c.Script);
        engine().Result = c.EngineResult;
        report->ScriptText()->SetText(c.Script);
        const std::string before = saved(*report);
        EXPECT_EQ(report->BuildPreparedPages(), c.Prepared) << report->Errors().Text();
        EXPECT_EQ(saved(*report), before);
        EXPECT_EQ(report->ReportOptions()->Password(), "secret");
    }
    EXPECT_EQ(engine().Runs, 2);
    EXPECT_EQ(engine().Texts["Memo1"], std::vector<std::string>{"42\r\n"});

    report->ScriptText()->SetText(script);
    report->EngineOptions()->SetDestroyForms(false);
    engine().Result = true;
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    EXPECT_EQ(report->Variables()->Variables("Counter"), Variant(42));
    EXPECT_EQ(report->FindObject("Memo1")->Left(), 50);
}

TEST_F(ReportPrepare, TerminatedFromTheScriptStopsIt) {
    std::vector<std::string> asked;
    report->OnGetValue = [&](const std::string& name, Variant& value) {
        asked.push_back(name);
        value = Variant(1);
    };
    setScript("PascalScript",
              "begin\r\n  Report.Calc('Before');\r\n  Report.Terminated := True;\r\n"
              "  Report.Calc('After');\r\nend.");
    report->BuildPreparedPages();
    EXPECT_EQ(asked, std::vector<std::string>{"Before"}) << report->Errors().Text();
    EXPECT_TRUE(report->Terminated());
}

TEST_F(ReportPrepare, ErrorsOfAFailedReloadJoinThoseOfTheRun) {
    const std::string folder = GetTempDir() + "/prepare_reload_" + std::to_string(::getpid());
    ASSERT_TRUE(ForceDirectories(folder));
    report->EngineOptions()->SetUseFileCache(true);
    report->EngineOptions()->SetTempDir(folder);
    setScript("PascalScript", "var v: Variant;\r\nbegin\r\n  v := <Nowhere>;\r\nend.");
    // The run spoils its own copy of the template.
    engine().OnRow = [&](int) {
        const std::vector<std::string> files = FindFiles(folder, "*");
        ASSERT_EQ(files.size(), 1u);
        TFileStream file(folder + "/" + files[0], fmCreate);
        file.Write("<TpgwReport", 11);
    };
    EXPECT_FALSE(report->BuildPreparedPages());
    EXPECT_TRUE(hasErrorStarting(text("clUnknownVar") + " Nowhere"));
    EXPECT_GE(report->Errors().Count(), 2) << report->Errors().Text();
    EXPECT_TRUE(FindFiles(folder, "*").empty()) << "the work file is deleted";
    RemoveDir(folder);
}

TEST_F(ReportPrepare, PreviewClicksAfterAReloadReachTheNewObjects) {
    addMemo("Memo1", "x")->OnPreviewClick = "Click";
    setScript("PascalScript",
              "procedure Click(Sender: Variant; Button: Variant; Shift: Variant;\r\n"
              "  var Modified: Variant);\r\nbegin\r\n"
              "  Set('Clicked', Memo1);\r\n  Modified := True;\r\nend;\r\n"
              "begin end.");
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    TpgwComponent* memo = report->FindObject("Memo1");
    bool modified = false;
    report->FirePreviewClick(memo, mbLeft, 0, modified, false);
    EXPECT_TRUE(modified);
    EXPECT_EQ(ksValueToObject(report->Variables()->Variables("Clicked")), memo);
}

TEST_F(ReportPrepare, MemoTextsOfATemplate) {
    data->Values = {{"When", Variant::FromDate(EncodeDate(2010, 3, 5))}, {"Flag", Variant(true)}};
    report->Variables()->SetVariables("Total", Variant("2+3"));
    report->Variables()->SetVariables("a", Variant(2));
    struct Case {
        const char* Text;
        const char* Expected; // one entry per row, joined by "|"
        std::function<void(TpgwMemoView&)> Setup;
    };
    const Case cases[] = {
        {"[1+2]", "3", {}},
        {"[12.5 #N%2.2f]", "12.50", {}},
        {"[12.5 #N%2,2f]", "12,50", {}},
        {"[<Data.\"When\"> #Ddd.mm.yyyy]", "05.03.2010", {}},
        {"[<Data.\"Flag\"> #BNo,Yes]", "Yes", {}},
        {"[Copy('ab #x)', 1, 4)]", "ab #", {}},
        {"Sum: [<Total>]", "Sum: 5", {}},
        {"[IIF(<a> > 1, 'y', 'n')]", "y", {}},
        {"<%'a%>' + 'b'%>", "a%>b", [](TpgwMemoView& m) { m.SetExpressionDelimiters("<%,%>"); }},
        {"[0]", "", [](TpgwMemoView& m) { m.SetHideZeros(true); }},
        {"['0']", "0", [](TpgwMemoView& m) { m.SetHideZeros(true); }},
        {"[<Data.\"Name\">]", "A||B", [](TpgwMemoView& m) { m.SetSuppressRepeated(true); }},
        {"[x", "[x", {}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TpgwMemoView* memo = addMemo("Memo" + std::to_string(i + 1), cases[i].Text);
        if (cases[i].Setup) cases[i].Setup(*memo);
    }
    // Through the template form, as a template file brings it.
    TMemoryStream stream;
    report->SaveToStream(stream);
    stream.SetPosition(0);
    report->LoadFromStream(stream);

    engine().Rows = 3;
    engine().OnRow = [this](int row) { data->Values["Name"] = Variant(row < 2 ? "A" : "B"); };
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Text);
        const std::vector<std::string>& printed = engine().Texts["Memo" + std::to_string(i + 1)];
        ASSERT_EQ(printed.size(), 3u);
        const std::string_view expected = cases[i].Expected;
        const bool perRow = expected.find('|') != std::string_view::npos;
        std::string joined;
        for (std::size_t row = 0; row < printed.size(); ++row) {
            std::string line = printed[row];
            if (line.ends_with("\r\n")) line.resize(line.size() - 2);
            if (!perRow) {
                EXPECT_EQ(line, expected) << "row " << row;
            }
            joined += (row ? "|" : "") + line;
        }
        if (perRow) {
            EXPECT_EQ(joined, expected);
        }
    }
}

TEST_F(ReportPrepare, MacrosReachTheEngine) {
    engine().AggregateTable = {{"SUM", Variant(120)}, {"COUNT", Variant(4)}};
    data->Values = {{"Price", Variant(30)}};
    addMemo("Memo1",
            "[SUM(<Data.\"Price\">, MasterData1, 1)]|[COUNT(MasterData1)]|"
            "[IIF(<Data.\"Price\"> > 1, 'y', 'n')]|[IIF(<Data.\"Price\"> > 100, 'y', 'n')]");
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    EXPECT_EQ(engine().Texts["Memo1"], std::vector<std::string>{"120|4|y|n\r\n"});
    ASSERT_EQ(engine().Aggregates.size(), 2u);
    EXPECT_EQ(engine().Aggregates[0].Name, "SUM");
    EXPECT_EQ(engine().Aggregates[0].Expression, "<Data.\"Price\">");
    EXPECT_EQ(engine().Aggregates[0].Band, "MasterData1");
    EXPECT_EQ(engine().Aggregates[0].Flags, 1);
    EXPECT_EQ(engine().Aggregates[1].Name, "COUNT");
    EXPECT_EQ(engine().Aggregates[1].Expression, "");
    EXPECT_EQ(engine().Aggregates[1].Band, "MasterData1");
    EXPECT_EQ(engine().Aggregates[1].Flags, 0);
}

} // namespace
