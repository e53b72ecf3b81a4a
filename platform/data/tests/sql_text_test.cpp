#include <gtest/gtest.h>

#include "platform/data/ado.h"
#include "platform/data/connection_string.h"
#include "platform/data/jet_sql.h"
#include "platform/data/params.h"
#include "platform/data/tests/data_test_util.h"

namespace {

TEST(ParseSQLParams, FindsNamedMarkersOutsideLiterals) {
    struct Case {
        const char* sql;
        const char* text;
        std::vector<std::string> names;
    } cases[] = {
        {"select * from t where a=:a and b = :b_2",
         "select * from t where a=? and b = ?",
         {"a", "b_2"}},
        {"where a=:x or b=:x", "where a=? or b=?", {"x", "x"}},
        {"where s=':no' and t=\":no\" and [:no]=1", "where s=':no' and t=\":no\" and [:no]=1", {}},
        // Times inside date literals are not parameters.
        {"where d>=#2010-9-1 00:00:00# and e=:e", "where d>=#2010-9-1 00:00:00# and e=?", {"e"}},
        {"select x::int from t", "select x::int from t", {}},
        {"where name like :名字", "where name like ?", {"名字"}},
        {"where a = ':'", "where a = ':'", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        TParsedSQL p = ParseSQLParams(c.sql);
        EXPECT_EQ(p.Text, c.text);
        EXPECT_EQ(p.Names, c.names);
    }
}

TEST(ConnectionString, ReadsKeysValuesAndQuotes) {
    TConnectionString cs(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a b\\x.mdb;Persist Security Info=False;"
        "Jet OLEDB:Database Password=5827140;Extended='a;b''c'; junk ;DSN=\"q\";Driver={My "
        "Driver;1}");
    EXPECT_EQ(cs.Value("provider"), "Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(cs.Value("Data Source"), "C:\\a b\\x.mdb");
    EXPECT_EQ(cs.Value("JET OLEDB:DATABASE PASSWORD"), "5827140");
    EXPECT_EQ(cs.Value("Extended"), "a;b'c");
    EXPECT_EQ(cs.Value("DSN"), "q");
    EXPECT_EQ(cs.Value("Driver"), "{My Driver;1}");
    EXPECT_FALSE(cs.Has("User ID"));
    EXPECT_EQ(TConnectionString(cs.Without({})).Value("driver"), "{My Driver;1}");
    EXPECT_EQ(TConnectionString(cs.Without({"Provider", "Data Source", "Persist Security Info",
                                            "Jet OLEDB:Database Password"}))
                  .Value("Extended"),
              "a;b'c");
}

TEST(JetDialect, TranslatesLiteralsPatternsAndOperators) {
    FixedFormats formats{"yyyy-m-d"};
    struct Case {
        const char* shortDate;
        const char* jet;
        const char* sqlite;
    } cases[] = {
        // The exam browser's own query forms.
        {"yyyy-m-d",
         " where  name like '%%张%%'and BaoGaoriqi>=#2010-9-1 00:00:00# and BaoGaoriqi<=#2010-9-19 "
         "23:59:59#",
         " where  name like '%%张%%'and BaoGaoriqi>='2010-09-01 00:00:00' and "
         "BaoGaoriqi<='2010-09-19 23:59:59'"},
        {"yyyy-m-d", " where  csid=1234 and BaoGaoriqi>=#2010-9-1# and BaoGaoriqi<=#2010-9-19#",
         " where  csid=1234 and BaoGaoriqi>='2010-09-01 00:00:00' and BaoGaoriqi<='2010-09-19 "
         "00:00:00'"},
        {"m/d/yyyy", "d = #9/19/2010 1:02 PM#", "d = '2010-09-19 13:02:00'"},
        {"dd.mm.yy", "d = #19.09.10#", "d = '2010-09-19 00:00:00'"},
        {"dd.mm.yy", "d = #2010-09-19#", "d = '2010-09-19 00:00:00'"}, // year first is always y-m-d
        // Through the OLE DB provider like patterns use % and _; * and ? are plain characters.
        {"yyyy-m-d", "name like 'a*b?' or name like \"x*%\" or memo = 'a*'",
         "name like 'a*b?' or name like 'x*%' or memo = 'a*'"},
        {"yyyy-m-d",
         "select name & ' ' & sex, Left(name, 1), RIGHT (name,2) from [my table] where lock = True "
         "or x = false",
         "select name || ' ' || sex AS [Expr1000], jet_left(name, 1) AS [Expr1001], jet_right "
         "(name,2) AS [Expr1002] from [my table] where lock = 1 or x = 0"},
        {"yyyy-m-d", "select 'it''s', \"say \"\"hi\"\"\" from t",
         "select 'it''s' AS [Expr1000], 'say \"hi\"' AS [Expr1001] from t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jet);
        FormatSettings().ShortDateFormat = c.shortDate;
        FormatSettings().DateSeparator =
            c.shortDate[std::string(c.shortDate).find_first_not_of("ymd")];
        EXPECT_EQ(TranslateJetSQL(c.jet), c.sqlite);
    }
    FormatSettings().ShortDateFormat = "yyyy-m-d";
    FormatSettings().DateSeparator = '-';
    for (const char* bad :
         {"d = #2010-13-01#", "d = #yesterday#", "d = #2010-9-1", "d = #25:00#"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(TranslateJetSQL(bad), EDatabaseError);
    }
}

TEST(JetDialect, RewritesTopDistinctRowAndNamesExpressionColumns) {
    struct Case {
        const char* jet;
        const char* sqlite;
    } cases[] = {
        // Jet names unnamed expression columns Expr1000, Expr1001, ... in order; columns, stars
        // and aliased items keep their names.
        {"select name, [sex], p.age, p.*, *, name as n, count(*), 1, Trim(name), name & sex as "
         "ns, null from p",
         "select name, [sex], p.age, p.*, *, name as n, count(*) AS [Expr1000], 1 AS [Expr1001], "
         "Trim(name) AS [Expr1002], name || sex as ns, null AS [Expr1003] from p"},
        // Inner queries are rewritten too; words inside strings, names and comments are not.
        {"select x from (select count(*) from t) where x in (select top 1 y from u)",
         "select x from (select count(*) AS [Expr1000] from t) where x in (select y from u LIMIT "
         "1)"},
        {"select 'top 3', [select] from t -- select top 1\n",
         "select 'top 3' AS [Expr1000], [select] from t -- select top 1\n"},
        {"select top 3 name from patient", "select name from patient LIMIT 3"},
        {"select top 10 percent name from patient where csid > 5",
         "select name from patient where csid > 5 LIMIT (SELECT (count(*) * 10 + 99) / 100 FROM "
         "(SELECT name from patient where csid > 5))"},
        // With an ORDER BY the rows tying with the last one stay; a parameter the limit repeats
        // binds the same value.
        {"select top 2 name, money from patient where csid > ? order by money desc, name",
         "select name, money from patient where csid > ?1 order by money desc, name LIMIT (SELECT "
         "count(*) FROM (SELECT rank() OVER (ORDER BY jet_k1 desc, jet_k2) AS jet_rank FROM "
         "(SELECT name, money, money AS jet_k1, name AS jet_k2 from patient where csid > ?1)) "
         "WHERE jet_rank <= 2)"},
        {"select distinct top 5 percent sex from patient order by sex;",
         "select distinct sex from patient order by sex LIMIT (SELECT count(*) FROM (SELECT "
         "rank() OVER (ORDER BY jet_k1) AS jet_rank, count(*) OVER () AS jet_rows FROM (SELECT "
         "DISTINCT sex, sex AS jet_k1 from patient)) WHERE jet_rank <= (jet_rows * 5 + 99) / "
         "100);"},
        {"select distinctrow name from patient", "select name from patient"},
        {"select distinctrow a.name, b.* from a inner join b on a.id = b.aid",
         "select a.name, b.* from a inner join b on a.id = b.aid"},
        {"select distinctrow a.name from a inner join b on a.id = b.aid where b.x = 1 order by "
         "a.name",
         "select a.name from a inner join b on a.id = b.aid where b.x = 1 GROUP BY [a].rowid "
         "order by a.name"},
        {"select distinctrow [x].name, Left(y.z, 2) from (a as x inner join b y on x.id = y.aid) "
         "inner join c on c.id = Mid(y.q, 1, 2)",
         "select [x].name, jet_left(y.z, 2) AS [Expr1000] from (a as x inner join b y on x.id = "
         "y.aid) inner join c on c.id = Mid(y.q, 1, 2) GROUP BY [x].rowid, [y].rowid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jet);
        EXPECT_EQ(TranslateJetSQL(c.jet), c.sqlite);
    }
    struct Bad {
        const char* jet;
        const char* message;
    } bad[] = {
        {"select top 0 x from t", "at least 1 row"},
        {"select top 101 percent x from t", "more than 100 percent"},
        {"select top 2.5 x from t", "whole number of rows, not '2.5'"},
        {"select top 1 x from a union select x from b", "UNION"},
        {"select top 1 x from t limit 3", "both TOP and LIMIT"},
        {"select distinctrow name from a, b", "named with its table ('name')"},
        {"select distinctrow a.name, count(*) from a, b", "totals"},
        {"select distinctrow a.name from a, b group by a.name", "totals"},
        {"select distinctrow q.x from a, (select 1 as x) as q", "subquery"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.jet);
        try {
            TranslateJetSQL(b.jet);
            ADD_FAILURE() << "translated";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
        }
    }
}

TEST(JetDialect, FunctionsRunOnSQLiteFiles) {
    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    {
        TADOConnection make(nullptr);
        make.SetConnectionString("Provider=SQLite;Data Source=" + (dir / "j.db"));
        make.Execute("create table t (name VARCHAR(10), d DATETIME, n INTEGER)");
        make.Execute("insert into t values ('张三丰', '2010-09-19 13:02:03', null)");
    }
    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + (dir / "j.db"));
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    q.SQL().SetText(
        "select Year(d), Month(d), Day(d), Hour(d), Minute(d), Second(d), Len(name), Left(name, "
        "1), "
        "Right(name, 2), Mid(name, 2, 1), Mid(name, 2), UCase('ab'), LCase('AB'), Nz(n, 7), IIf(n "
        "is null, 'y', 'n'), "
        "InStr(1, name, '丰'), Val(' 12.5kg') from t where d >= #2010-9-19# and name like '张%'");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    const char* expected[] = {"2010", "9",    "19", "13", "2", "3", "3", "张",  "三丰",
                              "三",   "三丰", "AB", "ab", "7", "y", "3", "12.5"};
    for (int i = 0; i < q.FieldCount(); ++i)
        EXPECT_EQ(q.Fields()[i]->AsString(), expected[i]) << i;

    // Lengths at the top of the integer range take what there is; a negative length or a start
    // before the first character is refused, as Jet refuses them.
    q.Close();
    q.SQL().SetText("select Left(name, 9223372036854775807), Right(name, 9223372036854775807), "
                    "Mid(name, 2, 9223372036854775807), InStr(9223372036854775807, name, '三') "
                    "from t");
    q.Open();
    const char* extremes[] = {"张三丰", "张三丰", "三丰", "0"};
    for (int i = 0; i < q.FieldCount(); ++i)
        EXPECT_EQ(q.Fields()[i]->AsString(), extremes[i]) << i;
    for (const char* refused :
         {"InStr(-9223372036854775808, name, '三')", "Left(name, -1)",
          "Right(name, -9223372036854775808)", "Mid(name, 2, -1)"}) {
        q.Close();
        q.SQL().SetText(std::string("select ") + refused + " from t");
        EXPECT_THROW(q.Open(), EDatabaseError) << refused;
    }
}

} // namespace
