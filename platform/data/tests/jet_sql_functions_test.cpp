// Jet SQL as the archives' queries write it, run on exams.mdb and on a SQLite copy of it made
// through the data layer: both give the answers worked out from Jet's documented behaviour.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/core/date_time.h"
#include "platform/data/ado.h"
#include "platform/data/tests/data_test_util.h"

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string JetString(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

std::string CellText(const TField& f) {
    Variant v = f.Value();
    if (v.IsNull()) return "";
    if (v.Kind() == VariantKind::Date)
        return FormatDateTime("yyyy-mm-dd hh:nn:ss", v.DoubleValue());
    if (v.Kind() == VariantKind::Bool) return v.BoolValue() ? "1" : "0";
    return v.AsString();
}

class JetSqlFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(SharedExams()))
            GTEST_SKIP() << "the shared fixture " << SharedExams() << " is absent";
        cache = std::make_unique<ScopedEnv>("LUMETRA_CACHE_DIR", dir / "cache");
        exams = FileState::Of(SharedExams());
        jet.SetConnectionString(JetString(SharedExams()));
        jet.Open();
        copy = MakeCopy();
        twin.SetConnectionString(JetString(copy));
        twin.Open();
        for (const auto& e : fs::directory_iterator(dir.Path()))
            if (e.is_regular_file()) files[e.path()] = FileState::Of(e.path());
        for (const auto& e : fs::directory_iterator(dir / "cache"))
            files[e.path()] = FileState::Of(e.path());
    }

    void TearDown() override {
        if (IsSkipped()) return;
        jet.Close();
        twin.Close();
        EXPECT_TRUE(FileState::Of(SharedExams()) == exams);
        for (const auto& [path, state] : files)
            EXPECT_TRUE(FileState::Of(path) == state) << path << " changed";
    }

    // The exam table written through the data layer into a SQLite file.
    std::string MakeCopy() { return MakeSqliteCopy(jet, dir / "copy.db"); }

    // The rows of `sql`, sorted (ties of TOP come in no set order), and the column names.
    static Rows Run(TADOConnection& conn, const std::string& sql,
                    std::vector<std::string>* columns = nullptr) {
        TADOQuery q(nullptr);
        q.SetConnection(&conn);
        q.SQL().SetText(sql);
        q.Open();
        Rows rows;
        for (; !q.Eof(); q.Next()) {
            std::vector<std::string> row;
            for (int i = 0; i < q.FieldCount(); ++i)
                row.push_back(CellText(*q.Fields()[i]));
            rows.push_back(std::move(row));
        }
        if (columns)
            for (int i = 0; i < q.FieldCount(); ++i)
                columns->push_back(q.Fields()[i]->FieldName());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The message of the error `sql` raises on `conn`; "" when it runs.
    static std::string ErrorOf(TADOConnection& conn, const std::string& sql) {
        try {
            Run(conn, sql);
        } catch (const EDatabaseError& e) {
            return e.what();
        }
        return "";
    }

    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    std::unique_ptr<ScopedEnv> cache; // the Jet copy cache in a folder of the test
    TADOConnection jet{nullptr};
    TADOConnection twin{nullptr};
    std::string copy;
    FileState exams;
    std::map<std::string, FileState> files;
};

// One expression evaluated on the exam with id 1 (reported 2010-08-22 00:00:00, money 126.44,
// partnum 2, lock true, last period 2010-08-07).
std::string On1(const std::string& expression) {
    return "select " + expression + " from patient where id = 1";
}

TEST_F(JetSqlFunctionsTest, BothCopiesAnswerAsJetDoes) {
    const std::string d = "#2010-09-19 13:02:03#"; // a Sunday, day 262 of the year
    struct Case {
        std::string sql;
        Rows expected;
    } cases[] = {
        // TOP n keeps the rows that tie with the last on the ORDER BY value; PERCENT rounds
        // up; without ORDER BY any n rows.
        {"select top 3 id from patient order by id", {{"1"}, {"2"}, {"3"}}},
        {"select top 1 id from patient where money > 215.5 order by money", {{"12"}, {"398"}}},
        {"select top 2 id from patient where money > 215.5 order by money desc, id",
         {{"369"}, {"8"}}},
        {"select top 1 percent id from patient where id <= 150 order by id", {{"1"}, {"2"}}},
        {"select count(*) from (select top 1 percent id from patient order by partnum desc)",
         {{"129"}}},
        {"select count(*) from (select top 7 id from patient)", {{"7"}}},
        {"select distinct top 2 partnum from patient order by partnum desc", {{"2"}, {"3"}}},
        {"select top 1 sex, count(*) from patient group by sex order by count(*) desc",
         {{"女", "249"}}},
        {"select count(*) from patient where id in (select top 5 id from patient order by money "
         "desc)",
         {{"5"}}},
        // DISTINCTROW keeps equal values of distinct rows, and one row for each row of the
        // tables that give columns.
        {"select distinctrow sex from patient where id <= 3", {{"女"}, {"女"}, {"男"}}},
        {"select distinctrow a.id from patient as a inner join patient as b on a.sex = b.sex "
         "where a.id <= 3 and b.id <= 10",
         {{"1"}, {"2"}, {"3"}}},
        {"select distinctrow a.id, b.id from patient a, patient b where a.id <= 2 and b.id <= 2",
         {{"1", "1"}, {"1", "2"}, {"2", "1"}, {"2", "2"}}},
        // Format: pictures, named formats, Null and text that is no number.
        {On1("Format(baogaoriqi, 'yyyy-mm'), Format(baogaoriqi), Format(yuejingmoqi, 'mmm d')"),
         {{"2010-08", "2010-8-22", "Aug 7"}}},
        {On1("Format(" + d + ", 'General Date'), Format(" + d + ", 'Long Date'), Format(" + d +
             ", 'Medium Date'), Format(" + d + ", 'Short Date')"),
         {{"2010-9-19 13:02:03", "Sunday, September 19, 2010", "19-Sep-10", "2010-9-19"}}},
        {On1("Format(" + d + ", 'Long Time'), Format(" + d + ", 'Medium Time'), Format(" + d +
             ", 'Short Time'), Format(#13:02#, 'General Date')"),
         {{"13:02:03", "01:02 PM", "13:02", "13:02:00"}}},
        {On1("Format(" + d + ", 'yyyy q ww w y dddd'), Format(" + d +
             ", 'hh:nn:ss AM/PM'), Format(" + d + ", 'dd/mm/yy'), Format(" + d +
             ", '\\Q q, c'), Format(" + d + ", 'YYYY-Mm-Dd')"),
         {{"2010 3 39 1 262 Sunday", "01:02:03 PM", "19-09-10", "Q 3, 2010-9-19 13:02:03",
           "2010-09-19"}}},
        {On1("Format(1234.5, 'General Number'), Format(1234.567, 'Currency'), Format(1234.567, "
             "'Fixed'), Format(1234.567, 'Standard'), Format(0.1234, 'Percent'), Format(1234.5, "
             "'Scientific')"),
         {{"1234.5", "$1,234.57", "1234.57", "1,234.57", "12.34%", "1.23E+03"}}},
        {On1("Format(lock, 'Yes/No'), Format(0, 'True/False'), Format(-1, 'On/Off'), "
             "Format(money, '#,##0.0'), Format(-3, '0;(0)'), Format(0, '0;(0);\\Z\\e\\r\\o'), "
             "Format(0.5, '0%'), Format(1234567, '#,##0,')"),
         {{"Yes", "False", "On", "126.4", "(3)", "Zero", "50%", "1,235"}}},
        {On1("Format(Null, '0;0;0;\\N\\o\\n\\e'), Format(Null, '0.00'), Format('abc', '0.00'), "
             "Format('12.5', '0.00'), Format('abc', '>'), Format('ab', '@@@@'), Format('ab', "
             "'!@@@@'), Format('ab', '&&&&'), Format('ab', '\"@\"@@')"),
         {{"None", "", "abc", "12.50", "ABC", "  ab", "ab  ", "ab", "@ab"}}},
        // DateDiff counts the boundaries crossed; "ww" the first days of the week, "w" whole
        // weeks.
        {On1("DateDiff('m', #2010-01-31#, #2010-02-01#), DateDiff('yyyy', #2010-12-31#, "
             "#2011-01-01#), DateDiff('q', #2010-03-31#, #2010-04-01#), DateDiff('d', #2010-01-01 "
             "23:59#, #2010-01-02 00:01#), DateDiff('y', #2010-02-01#, #2010-01-31#), "
             "DateDiff('d', yuejingmoqi, baogaoriqi)"),
         {{"1", "1", "1", "1", "-1", "15"}}},
        {On1("DateDiff('w', #2010-09-01#, #2010-09-15#), DateDiff('w', #2010-09-01#, "
             "#2010-09-14#), DateDiff('ww', #2010-09-18#, #2010-09-19#), DateDiff('ww', "
             "#2010-09-19#, #2010-09-25#), DateDiff('ww', #2010-09-19#, #2010-09-26#), "
             "DateDiff('ww', #2010-09-19#, #2010-09-20#, 2), DateDiff('w', #2010-09-15#, "
             "#2010-09-02#)"),
         {{"2", "1", "1", "0", "1", "1", "-1"}}},
        {On1("DateDiff('h', #2010-01-01 10:59#, #2010-01-01 11:00#), DateDiff('n', #10:00:59#, "
             "#10:01:00#), DateDiff('s', #2010-01-01#, #2010-01-02#), DateDiff('d', Null, "
             "baogaoriqi)"),
         {{"1", "1", "86400", ""}}},
        // DateAdd keeps the day of the month, or the month's last day.
        {On1("DateAdd('m', 1, #2010-01-31#), DateAdd('yyyy', 1, #2008-02-29#), DateAdd('q', 1, "
             "#2010-11-30#), DateAdd('d', -1, #2010-03-01#), DateAdd('ww', 2, " +
             d + ")"),
         {{"2010-02-28 00:00:00", "2009-02-28 00:00:00", "2011-02-28 00:00:00",
           "2010-02-28 00:00:00", "2010-10-03 13:02:03"}}},
        {On1("DateAdd('w', 1, baogaoriqi), DateAdd('y', 1, baogaoriqi), DateAdd('h', 25, " + d +
             "), DateAdd('n', -3, #2010-09-19 00:01:00#), DateAdd('s', 60, " + d + ")"),
         {{"2010-08-23 00:00:00", "2010-08-23 00:00:00", "2010-09-20 14:02:03",
           "2010-09-18 23:58:00", "2010-09-19 13:03:03"}}},
        // DatePart: weeks from Sunday and from the week of January 1 unless told otherwise.
        {On1("DatePart('yyyy', " + d + "), DatePart('q', " + d + "), DatePart('m', " + d +
             "), DatePart('y', " + d + "), DatePart('d', " + d + "), DatePart('w', " + d +
             "), DatePart('w', " + d + ", 2), DatePart('ww', " + d + "), DatePart('h', " + d +
             "), DatePart('n', " + d + "), DatePart('s', " + d + ")"),
         {{"2010", "3", "9", "262", "19", "1", "7", "39", "13", "2", "3"}}},
        {On1("DatePart('ww', #2010-01-01#), DatePart('ww', #2010-12-31#), DatePart('ww', "
             "#2010-01-01#, 2, 2), DatePart('ww', #2008-12-29#, 2, 2), DatePart('ww', "
             "#2010-01-02#, 1, 3), DatePart('ww', #2010-01-03#, 1, 3)"),
         {{"1", "53", "53", "1", "52", "1"}}},
        {On1("DateSerial(2010, 14, 0), DateSerial(10, 1, 1), DateSerial(99, 12, 31), "
             "DateSerial(2010, 3, -1), DateSerial(2010, 0, 1)"),
         {{"2011-01-31 00:00:00", "2010-01-01 00:00:00", "1999-12-31 00:00:00",
           "2010-02-27 00:00:00", "2009-12-01 00:00:00"}}},
        // Numbers and conversions: CInt and CLng round halves to even.
        {On1("Int(-2.5), Fix(-2.5), Int(2.5), Fix(2.9), Int(-7), Int(Null), CInt(2.5), "
             "CInt(3.5), CInt(-2.5), CInt('12.7'), CInt(-32768.5), CLng(money), CLng(-2.5)"),
         {{"-3", "-2", "2", "2", "-7", "", "2", "4", "-2", "13", "-32768", "126", "-2"}}},
        {On1("CDbl('1.5'), CDbl(baogaoriqi), CDate('2010-9-1'), CDate(40412.5), CByte(255), "
             "CCur(1.23456), CBool(5), Hex(255), Hex(-1)"),
         {{"1.5", "40412", "2010-09-01 00:00:00", "2010-08-22 12:00:00", "255", "1.2346", "1", "FF",
           "FFFFFFFF"}}},
        {On1("Round(2.5), Round(3.5), Round(-2.5), Round(1.25, 1), Log(1), Sqr(16), Sgn(-3), "
             "Abs(-2), Weekday(" +
             d + "), Weekday(" + d + ", 2), Nz(Null) & 'x'"),
         {{"2", "4", "-2", "1.2", "0", "4", "-1", "2", "1", "7", "x"}}},
        // Switch with no true pair and Choose out of range are Null; Choose rounds its index.
        {"select id, Switch(id = 1, 'one', id = 2, 'two') from patient where id <= 3",
         {{"1", "one"}, {"2", "two"}, {"3", ""}}},
        {On1("Choose(2, 'a', 'b', 'c'), Choose(4, 'a', 'b', 'c'), Choose(0, 'a'), Choose(2.6, "
             "'a', 'b', 'c')"),
         {{"b", "", "", "c"}}},
        // Aggregates: partnum of ids 1 to 4 is 2, 1, 2, 2; First and Last keep Null.
        {"select First(name), Last(name), StDev(partnum), Var(partnum), VarP(partnum), "
         "StDevP(partnum) from patient where id <= 4",
         {{"罗静", "王涛", "0.5", "0.25", "0.1875", "0.433012701892219"}}},
        {"select StDev(partnum), Var(partnum), StDevP(partnum), First(yuejingmoqi) from patient "
         "where id = 3",
         {{"", "", "0", ""}}},
        {"select First(yuejingmoqi), Min(yuejingmoqi), Last(yuejingmoqi) from patient where id >= "
         "3 and id <= 5",
         {{"", "2010-08-29 00:00:00", "2010-08-29 00:00:00"}}},
        {"select sex, First(name), Last(name) from patient where id <= 4 group by sex",
         {{"女", "罗静", "郭磊"}, {"男", "林明", "王涛"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(Run(jet, c.sql), c.expected);
        EXPECT_EQ(Run(twin, c.sql), c.expected);
    }
}

TEST_F(JetSqlFunctionsTest, ExpressionColumnsAreNamedAsJetNamesThem) {
    const std::string sql = "select id, name as n, Trim(' a ') & '|', id + 1, p.sex, Count(*) "
                            "from patient as p where id = 1 group by id, name, sex";
    const std::vector<std::string> names = {"id", "n", "Expr1000", "Expr1001", "sex", "Expr1002"};
    for (TADOConnection* conn : {&jet, &twin}) {
        std::vector<std::string> columns;
        EXPECT_EQ(Run(*conn, sql, &columns), (Rows{{"1", "罗静", "a|", "2", "女", "1"}}));
        EXPECT_EQ(columns, names);
    }
}

TEST_F(JetSqlFunctionsTest, TopBindsEachParameterOnce) {
    for (TADOConnection* conn : {&jet, &twin}) {
        TADOQuery q(nullptr);
        q.SetConnection(conn);
        q.SQL().SetText("select top 1 id from patient where money > :least and sex = :sex order "
                        "by money");
        q.Parameters()->ParamByName("least")->SetValue(215.5);
        q.Parameters()->ParamByName("sex")->SetValue(Variant("女"));
        q.Open();
        std::vector<int> ids;
        for (; !q.Eof(); q.Next())
            ids.push_back(q.FieldByName("id")->AsInteger());
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, (std::vector<int>{12, 398}));
    }
}

TEST_F(JetSqlFunctionsTest, BadCallsAndMissingFunctionsAreClearErrors) {
    const std::string d = "#2010-09-19#";
    struct Case {
        std::string sql;
        std::string message;
    } cases[] = {
        {On1("CInt(40000)"), "CInt: Overflow"},
        {On1("CInt(32767.5)"), "CInt: Overflow"},
        {On1("CLng(2147483647.5)"), "CLng: Overflow"},
        {On1("CInt(Null)"), "CInt: Invalid use of Null"},
        {On1("CInt(name)"), "CInt: Type mismatch"},
        {On1("CDate('nonsense')"), "CDate: Type mismatch"},
        {On1("DateDiff('x', " + d + ", " + d + ")"),
         "DateDiff: Invalid procedure call or argument"},
        {On1("DatePart('ww', " + d + ", 8)"), "DatePart: Invalid procedure call or argument"},
        {On1("DateAdd('yyyy', 8000, " + d + ")"), "DateAdd: Invalid procedure call or argument"},
        {On1("DateSerial(2010, 1, 40000)"), "DateSerial: Overflow"},
        {On1("Format(1e10, 'yyyy')"), "Format: Overflow"},
        {On1("Switch(id = 1, 'a', id = 2)"), "Switch: Invalid procedure call or argument"},
        {On1("Choose(Null, 'a')"), "Choose: Invalid use of Null"},
        {On1("Sqr(-1)"), "Sqr: Invalid procedure call or argument"},
        {"select StDev(name) from patient", "StDev: Type mismatch"},
        // The error of a later column ends the query while First holds a value.
        {"select First(name), Sum(CInt(money * 1000)) from patient", "CInt: Overflow"},
        {On1("Log(10, 100)"), "Log: Wrong number of arguments"},
        {On1("Format(1, '0', 1, 1, 1)"), "Format: Wrong number of arguments"},
        {On1("Partition(1, 0, 10, 5)"), "no such function: Partition"},
        {"select top 0 id from patient", "at least 1 row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        for (TADOConnection* conn : {&jet, &twin}) {
            std::string error = ErrorOf(*conn, c.sql);
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

} // namespace
