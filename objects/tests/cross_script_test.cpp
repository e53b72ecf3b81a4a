// Scripts in all four languages fill and query a cross-tab, set its cell functions and its
// ClearBeforePrint, and get clear errors for bad indexes and arguments.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "objects/cross_view.h"
#include "objects/objects_module.h"
#include "report/band.h"
#include "report/page.h"
#include "report/report.h"
#include "report/script_binding.h"
#include "script/classes_binding.h"
#include "script/runtime.h"
#include "script/tests/binding_fixture.h"

namespace {

class CrossScript : public BindingFixture, public ::testing::WithParamInterface<const char*> {
protected:
    CrossScript() {
        AddModule<TksClassesModule>();
        AddModule<TpgwReportModule>();
        RegisterCrossViewBinding();
        for (const TksHostModuleEntry& entry : *HostModuleList())
            if (entry.Name == "pgwCrossRTTI") {
                const void* saved = script.OwnerTag;
                script.OwnerTag = ksHostTag;
                script.AddItem("", entry.Create(&script));
                script.OwnerTag = saved;
            }
        cross.SetName("Cross1");
        invalid.SetName("DBCross1"); // no data set: not valid
        AddHostObject("Cross1", &cross);
        AddHostObject("DBCross1", &invalid);
        AddHostVariable("NotAnArray", Variant(7));
        AddHostVariable("One", Variant(1));
        AddHostVariable("NoValues", VarArrayOf({}));
    }

    // Pascal-like statements in the syntax of the test's language: ":=" and "()" as Pascal
    // has them, double quotes elsewhere; each statement's value written when asked.
    std::string Program(const std::vector<std::pair<std::string, bool>>& steps) const {
        const std::string language = GetParam();
        const bool pascal = language == "PascalScript";
        const bool basic = language == "BasicScript";
        std::string body;
        for (auto [code, write] : steps) {
            for (std::size_t p; !pascal && (p = code.find(" := ")) != std::string::npos;)
                code.replace(p, 4, " = ");
            for (std::size_t p; pascal && (p = code.find("()")) != std::string::npos;)
                code.erase(p, 2);
            if (!pascal)
                for (char& c : code)
                    if (c == '\'') c = '"';
            if (write) code = "WriteLn(" + code + ")";
            body += code + (basic ? "\r\n" : ";\r\n");
        }
        if (pascal) return "begin\r\n" + body + "end.";
        if (language == "C++Script") return "{\r\n" + body + "}";
        return body;
    }
    std::string RunSteps(const std::vector<std::pair<std::string, bool>>& steps) {
        return Run(Program(steps), GetParam());
    }

    TpgwCrossView cross{nullptr};
    TpgwDBCrossView invalid{nullptr};
};

TEST_P(CrossScript, FillsAndQueriesTheMatrixAndSetsItsSettings) {
    EXPECT_EQ(RunSteps({{"Cross1.ClearBeforePrint", true},
                        {"Cross1.ClearBeforePrint := False", false},
                        {"Cross1.CellFunctions[0]", true},
                        {"Cross1.CellFunctions[0] := 4", false},
                        {"Cross1.CellFunctions[1] := cfCount", false},
                        {"Cross1.BeginMatrix()", false},
                        {"Cross1.AddValue(['a'], ['x'], [10])", false},
                        {"Cross1.ColCount()", true},
                        {"Cross1.RowCount()", true}}),
              "True\n1\n1\n1\n");
    EXPECT_FALSE(cross.ClearBeforePrint);
    EXPECT_EQ(cross.CellFunctions(0), cfAvg);
    EXPECT_EQ(cross.CellFunctions(1), cfCount);
    ASSERT_TRUE(cross.HasMatrix());
    EXPECT_EQ(cross.CellValue(0, 0, 0).AsInteger(), 10);

    // Completed, the matrix holds the grand-total column and row.
    cross.CompleteMatrix();
    EXPECT_EQ(RunSteps({{"Cross1.ColCount()", true},
                        {"Cross1.RowCount()", true},
                        {"Cross1.IsTotalColumn(0)", true},
                        {"Cross1.IsTotalColumn(1)", true},
                        {"Cross1.IsGrandTotalColumn(1)", true},
                        {"Cross1.IsGrandTotalRow(0)", true},
                        {"Cross1.IsTotalRow(1)", true},
                        {"Cross1.IsGrandTotalRow(1)", true}}),
              "2\n2\nFalse\nTrue\nTrue\nFalse\nTrue\nTrue\n");

    // Any value that converts to a Boolean will do.
    EXPECT_EQ(
        RunSteps({{"Cross1.ClearBeforePrint := One", false}, {"Cross1.ClearBeforePrint", true}}),
        "True\n");
}

TEST_P(CrossScript, BadIndexesAndArgumentsAreClearErrors) {
    struct Case {
        const char* code;
        const char* exceptionClass;
        const char* message;
    };
    const Case cases[] = {
        {"Cross1.CellFunctions[32]", "ERangeError", "CellFunctions"},
        {"Cross1.CellFunctions[-1] := 1", "ERangeError", "CellFunctions"},
        {"Cross1.CellFunctions[0] := 6", "ERangeError", "Cell function 6"},
        {"Cross1.AddValue(NotAnArray, ['x'], [1])", "EVariantNotAnArrayError",
         "Variant is not an array"},
        {"Cross1.AddValue(['a'], ['x'], NotAnArray)", "EVariantNotAnArrayError",
         "Variant is not an array"},
        {"Cross1.AddValue(['a'], NoValues, [1])", nullptr, "column values"},
        {"DBCross1.AddValue(['a'], ['x'], [1])", nullptr, "Cross-tab is not valid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        // Within a matrix, where AddValue checks its values.
        const std::string program =
            Program({{"Cross1.BeginMatrix()", false},
                     {c.code, std::string(c.code).find(":=") == std::string::npos}});
        try {
            Run(program, GetParam());
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            if (c.exceptionClass) {
                EXPECT_STREQ(e.ClassName(), c.exceptionClass);
            }
            EXPECT_NE(std::string(e.Message()).find(c.message), std::string::npos) << e.Message();
        }
    }
    // A failed call changes nothing.
    EXPECT_EQ(cross.CellFunctions(0), cfSum);
}

INSTANTIATE_TEST_SUITE_P(Languages, CrossScript,
                         ::testing::Values("PascalScript", "C++Script", "BasicScript", "JScript"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('+')) + "Lang";
                         });

// The binding as a report's script gets it from the started modules.
class CrossReportScript : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterObjectsModule();
        StartModules();
    }
    void TearDown() override {
        EngineFixture::TearDown();
        StopModules();
    }
};

TEST_F(CrossReportScript, TheReportsScriptReachesCrossTabsByName) {
    auto* page = new TpgwReportPage(report.get());
    page->SetName("Page1");
    auto* band = new TpgwMasterData(page);
    band->SetName("MasterData1");
    auto* cross = new TpgwCrossView(band);
    cross->SetName("Cross1");
    auto* db = new TpgwDBCrossView(band);
    db->SetName("DBCross1");
    ASSERT_TRUE(report->SetUpScript()) << report->Errors().Text();
    EXPECT_EQ(report->Calc("Cross1.CellFunctions[0]").AsInteger(), cfSum);
    EXPECT_EQ(report->Calc("DBCross1.CellFunctions[0] + cfAvg").AsInteger(), cfSum + cfAvg);
    EXPECT_TRUE(report->Calc("Cross1 is TpgwCustomCrossView").AsBool());
    EXPECT_TRUE(report->Calc("DBCross1.ClearBeforePrint").AsBool());
    // Published properties come with the class.
    EXPECT_EQ(report->Calc("Cross1.RowLevels").AsInteger(), 1);
}

} // namespace
