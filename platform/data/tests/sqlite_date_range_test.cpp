// A date column of a SQLite file may hold any number. One outside the dates there are
// (0001-01-01 to 9999-12-31) is refused where it is read, with an error naming the column and
// the row, instead of an "Invalid floating point operation" from somewhere later.

#include <gtest/gtest.h>

#include "platform/core/date_time.h"
#include "platform/data/ado.h"
#include "platform/data/tests/data_test_util.h"

namespace {

class SqliteDateRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        conn.SetConnectionString("Provider=SQLite;Data Source=" + (dir / "t.db"));
        conn.Open();
        q.SetConnection(&conn);
    }

    // The error of reading every row of `sql`; "" when all rows read.
    std::string ReadAll(const std::string& sql) {
        q.Close();
        q.SQL().SetText(sql);
        try {
            q.Open();
            for (; !q.Eof(); q.Next())
                for (const auto& f : q.Fields())
                    (void)f->AsString();
        } catch (const EDatabaseError& e) {
            return e.what();
        }
        return "";
    }

    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    TADOConnection conn{nullptr};
    TADOQuery q{nullptr};
};

TEST_F(SqliteDateRangeTest, ValueBeyondTheDatesNamesColumnAndRow) {
    Exec(conn, "create table exam (id INTEGER, BaoGaoriqi DATETIME, born DATE)");
    struct Case {
        const char* value; // SQL literal
        const char* shown; // as the message shows it
    } cases[] = {
        {"2147483648", "2147483648"}, // 2^31 days, stored as an integer
        {"2147483648.5", "2147483648.5"},
        {"1e308", "1.0e+308"},
        {"-1e308", "-1.0e+308"},
        {"9e999", "Inf"}, // SQLite reads an overflowing literal as infinity
        {"-9e999", "-Inf"},
        {"2958466", "2958466"},     // 10000-01-01
        {"-693594.5", "-693594.5"}, // the day before 0001-01-01
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Exec(conn, "delete from exam");
        Exec(conn, std::string("insert into exam values (1, '2010-09-01 08:00:00', null), (2, ") +
                       c.value + ", null), (3, '2010-09-02', null)");
        EXPECT_EQ(ReadAll("select * from exam order by id"),
                  std::string("The column BaoGaoriqi of row 2 holds ") + c.shown +
                      ", which is not a date.");
        EXPECT_FALSE(q.Active());
        // The same value in a DATE column, found at its own row of a filtered result.
        Exec(conn, std::string("update exam set born = ") + c.value + ", BaoGaoriqi = null");
        EXPECT_EQ(ReadAll("select id, born from exam where id >= 2 order by id"),
                  std::string("The column born of row 1 holds ") + c.shown +
                      ", which is not a date.");
    }
}

TEST_F(SqliteDateRangeTest, FirstAndLastDayStillRead) {
    Exec(conn, "create table exam (id INTEGER, d DATETIME)");
    Exec(conn, "insert into exam values (1, -693593), (2, -693593.75), (3, 2958465.99998843), "
               "(4, '9999-12-31 23:59:59'), (5, 40422.5)");
    q.SQL().SetText("select * from exam order by id");
    q.Open();
    std::vector<std::string> shown;
    for (; !q.Eof(); q.Next())
        shown.push_back(FormatDateTime("yyyy-mm-dd hh:nn:ss", q.FieldByName("d")->AsDateTime()));
    EXPECT_EQ(shown, (std::vector<std::string>{"0001-01-01 00:00:00", "0001-01-01 18:00:00",
                                               "9999-12-31 23:59:59", "9999-12-31 23:59:59",
                                               "2010-09-01 12:00:00"}));
}

// A result past the rows read at open reads the rest as the data set moves: the position
// counts from the first row of the result all the same.
TEST_F(SqliteDateRangeTest, RowPositionCountsOnBeyondTheRowsReadAtOpen) {
    Exec(conn, "create table exam (id INTEGER, d DATETIME)");
    Exec(conn, "insert into exam with recursive n(i) as (select 1 union all select i + 1 from n "
               "where i < 12000) select i, case when i = 11005 then 1e308 else 40422 end from n");
    EXPECT_EQ(ReadAll("select * from exam order by id"),
              "The column d of row 11005 holds 1.0e+308, which is not a date.");
}

} // namespace
