// pgwprep run as a process: bad arguments, and failures that must name their cause and leave
// no prepared report behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"
#include "report/abstract_bases.h"
#include "report/memo_view.h"
#include "report/report.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

using Args = std::vector<std::string>;

TEST(Pgwprep, BadArgumentsPrintTheProblemAndTheUsage) {
    struct Case {
        Args args;
        std::string problem;
    };
    const std::string tpl = ListReportTemplate();
    for (const Case& c : std::vector<Case>{
             {{}, "no template"},
             {{tpl}, "no --out or --export"},
             {{tpl, "--out"}, "--out needs a file name"},
             {{tpl, "--data", "Sales", "Provider=SQLite;Data Source=x.db"}, "--data needs"},
             {{tpl, "--data", " ", "c", "s", "--out", "o.pp3"}, "--data needs an alias"},
             {{tpl, "--data", "Sales", "c", "s", "--data", "sales", "c", "s", "--out", "o.pp3"},
              "data set sales given twice"},
             {{tpl, "--var", "Rows", "--out", "o.pp3"}, "--var needs NAME=VALUE, not Rows"},
             {{tpl, "--var", "=1", "--out", "o.pp3"}, "--var needs NAME=VALUE"},
             {{tpl, "--pages"}, "--pages needs a page range"},
             {{tpl, "--export", "csv"}, "--export needs FORMAT FILE"},
             {{tpl, "--set", "Separator=,", "--out", "o.pp3"}, "--set belongs after an --export"},
             {{tpl, "--export", "csv", "o.csv", "--set", "Separator"},
              "--set needs NAME=VALUE, not Separator"},
             {{tpl, "--export", "pdq", "o.pdq"}, "unknown export format pdq"},
             {{tpl, "--bogus", "--out", "o.pp3"}, "unknown option --bogus"},
             {{tpl, tpl, "--out", "o.pp3"}, "more than one template"},
         }) {
        const PgwprepRun r = RunPgwprep(c.args);
        EXPECT_EQ(r.Status, 2) << c.problem;
        EXPECT_NE(r.Err.find("pgwprep: " + c.problem), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("usage: pgwprep TEMPLATE.pg3"), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

TEST(Pgwprep, HelpTellsHowToQuoteAStringVariable) {
    const PgwprepRun r = RunPgwprep({"--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("a string in single\n      quotes"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err, "");
}

// A database with one sale, the list report's table.
class PgwprepSales : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        TADOConnection c(nullptr);
        c.SetLoginPrompt(false);
        c.SetConnectionString(SqliteConnection(db));
        c.Execute("create table sales (id INTEGER, name VARCHAR(40), date DATETIME, "
                  "amount FLOAT, note LONGTEXT, category VARCHAR(20))");
        c.Execute("insert into sales values (1, 'Anna Lopez', '2024-01-14', 79.19, 'Sit amet.', "
                  "'Category 01')");
    }

    TempDir dir;
    const std::string db = dir / "sales.db";
    const std::string out = dir / "out.pp3";
};

TEST_F(PgwprepSales, NameTheCauseAndWriteNoReport) {
    const std::string truncated = dir / "truncated.pg3";
    const std::string text = TempDir::ReadAll(ListReportTemplate());
    ASSERT_GT(text.size(), 2000u);
    TempDir::WriteAll(truncated, text.substr(0, text.size() / 2));

    struct Case {
        const char* what;
        Args args;
        std::vector<std::string> messages;
    };
    const std::string tpl = ListReportTemplate();
    const std::string missing = dir / "missing.pg3";
    for (const Case& c : std::vector<Case>{
             {"missing template", {missing}, {missing}},
             {"unknown provider",
              {tpl, "--data", "Sales", "Provider=Nope;Data Source=" + db, "select * from sales"},
              {"Data set Sales: ", "Provider 'Nope' cannot be found"}},
             {"missing database",
              {tpl, "--data", "Sales", SqliteConnection(dir / "none/x.db"), "select 1"},
              {"Data set Sales: "}},
             {"bad SQL",
              {tpl, "--data", "Sales", SqliteConnection(db), "select * from nowhere"},
              {"Data set Sales: ", "nowhere"}},
             {"alias not a name",
              {tpl, "--data", "My Sales", SqliteConnection(db), "select 1"},
              {"Data set My Sales: ", "is not valid"}},
             {"no data set of the template's alias", {tpl}, {"\"Sales\""}},
             {"a field the query lacks",
              {tpl, "--data", "Sales", SqliteConnection(db), "select id, amount from sales"},
              {"NoteMemo: ", "Sales.\"note\""}},
             {"a variable that does not evaluate",
              {tpl, "--data", "Sales", SqliteConnection(db), "select * from sales", "--var",
               "Rows=1 +"},
              {"TitleMemo: ", "'1 +'"}},
             {"truncated template",
              {truncated, "--data", "Sales", SqliteConnection(db), "select * from sales"},
              {truncated + ": "}},
         }) {
        Args args = c.args;
        args.insert(args.end(), {"--out", out});
        const PgwprepRun r = RunPgwprep(args);
        EXPECT_EQ(r.Status, 1) << c.what << "\n" << r.Err;
        EXPECT_FALSE(r.Err.empty()) << c.what;
        for (const std::string& m : c.messages)
            EXPECT_NE(r.Err.find(m), std::string::npos) << c.what << ": " << r.Err;
        EXPECT_EQ(r.Out, "") << c.what;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.what;
    }
    // Nothing but the inputs is left in the folder: no temporary file of a save either.
    EXPECT_EQ(dir.EntryCount(), 2u);
}

TEST_F(PgwprepSales, ReportThatCannotBeSavedIsAFailure) {
    const PgwprepRun r = RunPgwprep({ListReportTemplate(), "--data", "Sales", SqliteConnection(db),
                                     "select * from sales", "--out", dir / "none/out.pp3"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(dir / "none/"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
}

// A run that fails while the engine prepares leaves the report of an earlier run alone.
TEST_F(PgwprepSales, KeepAnEarlierReport) {
    TempDir::WriteAll(out, "an earlier report");
    const PgwprepRun r = RunPgwprep({ListReportTemplate(), "--data", "Sales", SqliteConnection(db),
                                     "select id from sales", "--out", out});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("NameMemo: "), std::string::npos) << r.Err;
    EXPECT_EQ(TempDir::ReadAll(out), "an earlier report");
}

// A variable's value is an expression: quoted, it is a string.
TEST_F(PgwprepSales, VariablesAreSetAsExpressions) {
    const PgwprepRun r = RunPgwprep({ListReportTemplate(), "--data", "Sales", SqliteConnection(db),
                                     "select * from sales", "--var", "Rows='some'", "--out", out});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1 pages\n");
    ModulesRunning modules;
    TpgwReport report(nullptr);
    ASSERT_TRUE(report.PreviewPages()->LoadFromFile(out, true));
    ASSERT_EQ(report.PreviewPages()->GetCount(), 1);
    auto* title =
        dynamic_cast<TpgwMemoView*>(report.PreviewPages()->GetPage(0)->FindObject("TitleMemo"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->Text(), "Sales list - some rows\r\n");
}

} // namespace
