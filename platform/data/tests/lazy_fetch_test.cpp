// A large SQLite result shows its first rows at open and reads the rest on demand: the data set
// must deliver exactly what reading it whole at open delivers.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

#include "platform/data/ado.h"
#include "platform/data/sqlite_provider.h"
#include "platform/data/tests/data_test_util.h"

namespace {

constexpr int kRows = 15000; // a provider reads 10,000 at open

class LazyFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        conn.SetLoginPrompt(false);
        conn.SetConnectionString("Provider=SQLite;Data Source=" + (dir / "t.db"));
        conn.Open();
        Exec(conn, "create table big (id INTEGER, name VARCHAR(20), d DATETIME, note LONGTEXT)");
        Exec(conn, "insert into big with recursive n(i) as (select 1 union all select i + 1 from "
                   "n where i < " +
                       std::to_string(kRows) +
                       ") select i, 'name ' || (i % 97), '2010-09-01 08:30:00', case when i % 3 "
                       "= 0 then null else 'n' || i end from n");
        lazy.SetConnection(&conn);
        lazy.SQL().SetText("select * from big order by id");
        // random() keeps a statement from being counted apart: it is read whole at open.
        eager.SetConnection(&conn);
        eager.SQL().SetText("select * from big where random() is not null order by id");
    }

    sqlite3* Db() { return dynamic_cast<TSqliteProvider&>(conn.ActiveProvider()).Handle(); }
    bool StatementOpen() { return sqlite3_next_stmt(Db(), nullptr) != nullptr; }

    // The current row as text, bookmark and position included.
    static std::string Row(TADOQuery& q) {
        std::string s = std::to_string(q.RecNo()) + "@" + std::to_string(q.GetBookmark().Row);
        for (const auto& f : q.Fields())
            s += "|" + (f->IsNull() ? std::string("<null>") : f->AsString());
        return s;
    }

    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    TADOConnection conn{nullptr};
    TADOQuery lazy{nullptr};
    TADOQuery eager{nullptr};
};

TEST_F(LazyFetchTest, DeliversTheRowsOfAnEagerRead) {
    eager.Open();
    EXPECT_FALSE(StatementOpen());
    lazy.Open();
    ASSERT_TRUE(StatementOpen());
    EXPECT_EQ(lazy.RecordCount(), kRows);
    EXPECT_TRUE(StatementOpen()) << "the count read no rows";
    ASSERT_EQ(lazy.FieldCount(), eager.FieldCount());
    for (int i = 0; i < lazy.FieldCount(); ++i)
        EXPECT_EQ(lazy.Fields()[i]->DataType(), eager.Fields()[i]->DataType());

    // Forward over all rows, then back part of the way.
    for (; !eager.Eof(); eager.Next(), lazy.Next()) {
        ASSERT_FALSE(lazy.Eof());
        ASSERT_EQ(Row(lazy), Row(eager));
    }
    EXPECT_TRUE(lazy.Eof());
    EXPECT_FALSE(StatementOpen());
    EXPECT_EQ(lazy.MoveBy(-kRows / 2), eager.MoveBy(-kRows / 2));
    EXPECT_EQ(Row(lazy), Row(eager));
    EXPECT_EQ(lazy.RecordCount(), eager.RecordCount());
}

TEST_F(LazyFetchTest, NavigationBeyondTheReadRowsReadsOn) {
    eager.Open();
    lazy.Open();
    eager.SetRecNo(kRows - 1);
    const TBookmark late = eager.GetBookmark();
    struct Step {
        const char* what;
        std::function<void(TADOQuery&)> act;
    } steps[] = {
        {"RecNo past the read rows", [](TADOQuery& q) { q.SetRecNo(12000); }},
        {"RecNo past the end stays", [](TADOQuery& q) { q.SetRecNo(kRows + 1); }},
        {"back", [](TADOQuery& q) { q.MoveBy(-11000); }},
        {"bookmark past the read rows", [&](TADOQuery& q) { q.GotoBookmark(late); }},
        {"Locate past the read rows",
         [](TADOQuery& q) { EXPECT_TRUE(q.Locate("id", Variant(kRows - 10), 0)); }},
        {"Locate a missing row stays",
         [](TADOQuery& q) { EXPECT_FALSE(q.Locate("id", Variant(kRows + 10), 0)); }},
        {"FindNext", [](TADOQuery& q) { EXPECT_TRUE(q.FindNext()); }},
        {"Last", [](TADOQuery& q) { q.Last(); }},
        {"Prior", [](TADOQuery& q) { q.Prior(); }},
        {"First", [](TADOQuery& q) { q.First(); }},
    };
    for (int reopenAt = 0; reopenAt < static_cast<int>(std::size(steps)); ++reopenAt) {
        // Each step once on a freshly opened set, then the ones after it.
        lazy.Close();
        lazy.Open();
        eager.First();
        for (int i = reopenAt; i < static_cast<int>(std::size(steps)); ++i) {
            SCOPED_TRACE(std::string(steps[reopenAt].what) + " then " + steps[i].what);
            steps[i].act(lazy);
            steps[i].act(eager);
            ASSERT_EQ(Row(lazy), Row(eager));
            EXPECT_EQ(lazy.Bof(), eager.Bof());
            EXPECT_EQ(lazy.Eof(), eager.Eof());
            EXPECT_EQ(lazy.RecordCount(), eager.RecordCount());
        }
    }

    lazy.Close();
    lazy.Open();
    EXPECT_TRUE(lazy.BookmarkValid(late));
    EXPECT_FALSE(lazy.BookmarkValid(TBookmark{kRows}));
    EXPECT_EQ(lazy.CompareBookmarks(TBookmark{1}, late), -1);
}

TEST_F(LazyFetchTest, FiltersSeeEveryRow) {
    eager.Open();
    lazy.Open();
    for (TADOQuery* q : {&lazy, &eager}) {
        q->SetFilter("id > " + std::to_string(kRows - 10));
        q->SetFiltered(true);
    }
    EXPECT_FALSE(StatementOpen());
    EXPECT_EQ(lazy.RecordCount(), 10);
    for (; !eager.Eof(); eager.Next(), lazy.Next())
        ASSERT_EQ(Row(lazy), Row(eager));
    EXPECT_TRUE(lazy.Eof());

    // Filtered from the start, and by event.
    lazy.Close();
    lazy.SetFiltered(false);
    lazy.SetFilter("");
    lazy.OnFilterRecord = [](TDataSet* ds, bool& accept) {
        accept = ds->FieldByName("id")->AsInteger() % 1000 == 0;
    };
    lazy.SetFiltered(true);
    lazy.Open();
    EXPECT_EQ(lazy.RecordCount(), kRows / 1000);
    lazy.Last();
    EXPECT_EQ(lazy.FieldByName("id")->AsInteger(), kRows);
}

TEST_F(LazyFetchTest, NoStatementOutlivesItsDataSetOrConnection) {
    // Closed part way, reopened, destroyed while open.
    lazy.Open();
    lazy.MoveBy(11000);
    lazy.Close();
    EXPECT_FALSE(StatementOpen());
    lazy.Open();
    EXPECT_EQ(lazy.FieldByName("id")->AsInteger(), 1);
    {
        TADOQuery other(nullptr);
        other.SetConnection(&conn);
        other.SQL().SetText("select id from big");
        other.Open();
        EXPECT_TRUE(StatementOpen());
    }
    lazy.Close();
    EXPECT_FALSE(StatementOpen());

    // A result that outlives its provider keeps its rows; the database closes cleanly.
    TDbResultSet result;
    {
        TSqliteProvider provider(dir / "t.db", true, false, false);
        result = provider.Query("select id from big where id > ?", {Variant(100)});
        ASSERT_TRUE(result.More);
        EXPECT_EQ(result.More->TotalRows(), kRows - 100);
        EXPECT_EQ(sqlite3_close(provider.Handle()), SQLITE_BUSY); // the statement is open
    }
    while (result.More->Fetch(result, 1000)) {
    }
    ASSERT_EQ(result.RowCount(), kRows - 100);
    EXPECT_EQ(result.At(kRows - 101, 0).AsInteger(), kRows);
}

TEST_F(LazyFetchTest, ChangesOnTheConnectionDontReachAnOpenResult) {
    lazy.SQL().SetText("select * from big"); // stepping the table itself, no sort in between
    lazy.Open();
    lazy.MoveBy(10);
    Exec(conn, "update big set name = 'changed'");
    Exec(conn, "delete from big where id > 100");
    EXPECT_EQ(lazy.RecordCount(), kRows);
    lazy.Last();
    EXPECT_EQ(lazy.FieldByName("id")->AsInteger(), kRows);
    EXPECT_EQ(lazy.FieldByName("name")->AsString(), "name " + std::to_string(kRows % 97));
    lazy.Close();
    lazy.Open();
    EXPECT_EQ(lazy.RecordCount(), 100);
}

TEST_F(LazyFetchTest, ReadsWholeWhatCannotBeCountedApart) {
    struct Case {
        const char* sql;
        TFieldType type; // of the last column
    } cases[] = {
        // An expression column typed by its first value, null in the rows read at open.
        {"select id, case when id > 11000 then id end as late from big", ftInteger},
        {"select id, name from big where id % 2 = 0 or random() is null", ftWideString},
        {"select id, datetime('now') as t from big", ftWideString},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        lazy.SQL().SetText(c.sql);
        lazy.Open();
        EXPECT_FALSE(StatementOpen());
        EXPECT_EQ(lazy.Fields()[1]->DataType(), c.type);
        lazy.Close();
    }
    // The count sees the statement's parameters, and a comment does not swallow its end.
    lazy.SQL().SetText("select id from big where id > :low -- tail");
    lazy.Parameters()->ParamByName("low")->SetValue(5);
    lazy.Open();
    EXPECT_TRUE(StatementOpen());
    EXPECT_EQ(lazy.RecordCount(), kRows - 5);
}

} // namespace
