#include "data/db_dataset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"
#include "platform/data/data_source.h"
#include "platform/data/tests/data_test_util.h"
#include "report/component.h"
#include "report/module_startup.h"
#include "report/report.h"
#include "report/wide_strings.h"

namespace {

std::string Utf8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

std::string Lines(const TStrings& list) {
    std::string text;
    for (int i = 0; i < list.Count(); ++i)
        text += (i ? "|" : "") + list.Strings(i);
    return text;
}

class DBDatasetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        conn.SetLoginPrompt(false);
        conn.SetConnectionString("Provider=SQLite;Data Source=" + (dir / "exams.db"));
        conn.Open();
        Exec(conn, "create table patient (id INTEGER, csid INTEGER, name VARCHAR(20), "
                   "baogaoriqi DATETIME, money DECIMAL(10,4), big BIGINT, lock BOOLEAN, "
                   "jianchajielun LONGTEXT, photo BLOB)");
        Exec(conn, "insert into patient values (1, 100, 'Li Na', '2010-09-01 08:30:00', "
                   "12.34565, 5000000000, 1, '正常' || char(13) || char(10) || '复查', "
                   "x'd5fdb3a3')");
        Exec(conn, "insert into patient values (2, 101, 'Wang', null, null, null, 0, null, "
                   "null)");
        Exec(conn, "insert into patient values (3, 102, 'Zhao', null, 7, 1, 0, null, null)");
        Exec(conn, "insert into patient values (4, 103, 'Qian', null, 8, 2, 1, null, null)");
        query.SetConnection(&conn);
        query.SQL().SetText("select * from patient order by id");
        db.SetName("db");
        db.SetDataSet(&query);
        db.SetRunningReport(&report);
    }

    // Runs the adapter as a report does and lists the ids it walks.
    std::vector<int> Run(TpgwDBDataset& adapter) {
        std::vector<int> ids;
        adapter.BeginReport();
        for (adapter.First(); !adapter.Eof() && ids.size() < 10; adapter.Next())
            ids.push_back(adapter.GetValue("id").AsInteger());
        adapter.EndReport();
        return ids;
    }

    void StandOn(int id) {
        query.Open();
        ASSERT_TRUE(query.Locate("id", id, 0));
    }

    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    TADOConnection conn{nullptr};
    TADOQuery query{nullptr};
    TpgwCustomReport report{nullptr};
    TpgwDBDataset db{nullptr};
};

TEST_F(DBDatasetTest, AliasesChooseHideAndRenameFields) {
    db.FieldAliases()->SetText("-csid=csid\nname=PatientName\nnosuch=Ghost\nname=Again");
    TStringList list;
    db.GetFieldList(list);
    EXPECT_EQ(Lines(list), "PatientName|Ghost|PatientName");

    db.BeginReport();
    db.First();
    EXPECT_EQ(db.GetValue("PatientName"), Variant("Li Na"));
    EXPECT_EQ(db.GetValue("patientNAME"), Variant("Li Na"));
    EXPECT_EQ(Utf8(db.GetDisplayText("PatientName")), "Li Na");
    EXPECT_EQ(db.GetFieldType("PatientName"), fftString);
    // An offered alias without a source field reads as nothing, and that is no error.
    EXPECT_TRUE(db.GetValue("Ghost").IsNull());
    EXPECT_EQ(db.GetDisplayText("Ghost"), u"");
    EXPECT_EQ(report.Errors().Count(), 0);

    // A hidden field is not offered: Null, the error text, and one entry in the report.
    EXPECT_TRUE(db.GetValue("csid").IsNull());
    EXPECT_EQ(Utf8(db.GetDisplayText("csid")), "字段不存在: db.\"csid\"");
    EXPECT_EQ(Lines(report.Errors()), ": 字段不存在: db.\"csid\"");
    db.EndReport();

    // Without aliases the source's own fields are offered.
    db.FieldAliases()->Clear();
    db.GetFieldList(list);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_EQ(db.FieldsCount(), 9);
    EXPECT_EQ(list.Strings(2), "name");
}

TEST_F(DBDatasetTest, ErrorEntryNamesTheReportsCurrentObject) {
    TpgwReport full(nullptr);
    full.SetActiveObjectName("Memo1");
    db.SetRunningReport(&full);
    EXPECT_TRUE(db.GetValue("nosuch").IsNull());
    EXPECT_EQ(Lines(full.Errors()), "Memo1: 字段不存在: db.\"nosuch\"");
}

TEST_F(DBDatasetTest, AliasesDifferingInCaseAreOneEntry) {
    db.FieldAliases()->SetText("name=Who\ncsid=WHO");
    db.BeginReport();
    db.First();
    EXPECT_EQ(db.Fields().Count(), 1);
    EXPECT_EQ(db.GetValue("who"), Variant("Li Na"));
    db.EndReport();
}

TEST_F(DBDatasetTest, RangesCoverTheRowsAroundTheCurrentOne) {
    struct Case {
        TpgwRangeBegin begin;
        TpgwRangeEnd end;
        int count;
        std::vector<int> ids;
    } cases[] = {
        {rbCurrent, reCurrent, 0, {2}},    {rbFirst, reCurrent, 0, {1, 2}},
        {rbCurrent, reLast, 0, {2, 3, 4}}, {rbFirst, reLast, 0, {1, 2, 3, 4}},
        {rbFirst, reCount, 3, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.begin << "/" << c.end);
        StandOn(2);
        db.SetRangeBegin(c.begin);
        db.SetRangeEnd(c.end);
        db.SetRangeEndCount(c.count);
        EXPECT_EQ(Run(db), c.ids);
        EXPECT_TRUE(query.Active());
        // Back on the starting row wherever a range bookmark was taken.
        if (c.begin == rbCurrent || c.end == reCurrent) {
            EXPECT_EQ(query.RecNo(), 2);
        }
    }
}

TEST_F(DBDatasetTest, CurrentRecordRunEndsWithoutMovingTheSource) {
    StandOn(3);
    db.SetRangeBegin(rbCurrent);
    db.SetRangeEnd(reCurrent);
    db.BeginReport();
    db.First();
    EXPECT_FALSE(db.Eof());
    EXPECT_EQ(db.GetValue("name"), Variant("Zhao"));
    db.Next();
    EXPECT_TRUE(db.Eof());
    EXPECT_EQ(query.RecNo(), 3);
    EXPECT_EQ(db.RecNo(), 0);
    db.EndReport();
    EXPECT_EQ(query.RecNo(), 3);
    EXPECT_TRUE(query.Active());

    // An empty source has no row to come back to.
    query.Close();
    query.SQL().SetText("select * from patient where id < 0");
    EXPECT_TRUE(Run(db).empty());

    db.SetCloseDataSource(true);
    Run(db);
    EXPECT_FALSE(query.Active());
}

TEST_F(DBDatasetTest, TwoAdaptersOnOneDataSetLeaveNoListenerBehind) {
    for (bool firstEndsFirst : {true, false}) {
        SCOPED_TRACE(firstEndsFirst);
        int afterOpen = 0, beforeClose = 0;
        query.AfterOpen = [&](TDataSet*) { ++afterOpen; };
        query.BeforeClose = [&](TDataSet*) { ++beforeClose; };
        StandOn(2);
        auto a = std::make_unique<TpgwDBDataset>(nullptr);
        auto b = std::make_unique<TpgwDBDataset>(nullptr);
        a->SetDataSet(&query);
        TDataSource source(nullptr);
        source.SetDataSet(&query);
        b->SetDataSource(&source);
        a->SetRangeBegin(rbCurrent);
        a->SetRangeEnd(reCurrent);
        a->BeginReport();
        b->BeginReport();
        a->First();
        EXPECT_EQ(a->GetValue("id"), Variant(2));
        b->First(); // the cursor is shared
        EXPECT_EQ(b->GetValue("id"), Variant(1));

        // A source closed during the run: the adapters notice and open it again on use, and
        // the source's own handlers still run, once each.
        query.Close();
        EXPECT_EQ(beforeClose, 1);
        EXPECT_EQ(b->GetValue("name"), Variant("Li Na"));
        EXPECT_EQ(afterOpen, 2);

        (firstEndsFirst ? a : b)->EndReport();
        (firstEndsFirst ? b : a)->EndReport();
        a.reset();
        b.reset();
        query.Close();
        query.Open();
        EXPECT_EQ(beforeClose, 2);
        EXPECT_EQ(afterOpen, 3);
        query.AfterOpen = nullptr;
        query.BeforeClose = nullptr;
        query.Close();
    }
}

TEST_F(DBDatasetTest, RunsThatEndBadlyLeaveNoListenerBehind) {
    // Begun twice, ended once.
    auto a = std::make_unique<TpgwDBDataset>(nullptr);
    a->SetDataSet(&query);
    a->BeginReport();
    a->BeginReport();
    a->GetValue("id");
    a->EndReport();
    a.reset();
    query.Close();

    // Destroyed during a run.
    a = std::make_unique<TpgwDBDataset>(nullptr);
    a->SetDataSet(&query);
    a->BeginReport();
    a->First();
    a.reset();
    query.Open();
    query.Close();

    // The source destroyed during a run.
    auto gone = std::make_unique<TADOQuery>(nullptr);
    gone->SetConnection(&conn);
    gone->SQL().SetText("select id from patient");
    a = std::make_unique<TpgwDBDataset>(nullptr);
    a->SetDataSet(gone.get());
    a->BeginReport();
    a->First();
    gone.reset();
    EXPECT_EQ(a->DataSet(), nullptr);
    EXPECT_EQ(a->Source(), nullptr);
    EXPECT_TRUE(a->Eof());
    a->EndReport();
}

TEST_F(DBDatasetTest, NoSourceStopsTheRun) {
    TpgwDBDataset lone(nullptr);
    lone.SetName("Exams");
    try {
        lone.BeginReport();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "数据库 Exams 未连接至数据库");
    }
}

TEST_F(DBDatasetTest, ClosedSourceGivesAReferenceOrOpens) {
    // A fresh adapter opens the source to read.
    EXPECT_EQ(db.GetValue("name"), Variant("Li Na"));
    EXPECT_TRUE(query.Active());
    // Closed behind an open adapter: the reference, no error entry, and no stale field.
    query.Close();
    EXPECT_EQ(Utf8(db.GetDisplayText("name")), "db.\"name\"");
    EXPECT_TRUE(db.GetValue("name").IsNull());
    EXPECT_FALSE(db.IsBlobField("photo"));
    EXPECT_EQ(report.Errors().Count(), 0);
    db.Close();
    EXPECT_EQ(Utf8(db.GetDisplayText("name")), "Li Na");
}

TEST_F(DBDatasetTest, ValuesFollowTheFieldKind) {
    db.BeginReport();
    db.First();
    Variant money = db.GetValue("money");
    EXPECT_EQ(money.Kind(), VariantKind::Double);
    EXPECT_DOUBLE_EQ(money.AsDouble(), 12.34565);
    Variant big = db.GetValue("big");
    EXPECT_EQ(big.Kind(), VariantKind::Int64);
    EXPECT_EQ(big.AsInt64(), 5000000000LL);
    EXPECT_EQ(db.GetValue("baogaoriqi").Kind(), VariantKind::Date);
    EXPECT_EQ(Utf8(db.GetDisplayText("baogaoriqi")), "2010-9-1 08:30:00");
    // Wide-string fields give their value, others the text the field shows.
    query.FieldByName("name")->OnGetText = [](TField&, std::string& t, bool) { t = "shown"; };
    query.FieldByName("id")->OnGetText = [](TField&, std::string& t, bool) { t = "shown"; };
    EXPECT_EQ(Utf8(db.GetDisplayText("name")), "Li Na");
    EXPECT_EQ(Utf8(db.GetDisplayText("id")), "shown");
    db.SetBCDToCurrency(true);
    EXPECT_DOUBLE_EQ(db.GetValue("money").AsDouble(), 12.3456); // halves to even
    db.Next();
    for (const char* name : {"money", "big", "baogaoriqi", "jianchajielun"})
        EXPECT_TRUE(db.GetValue(name).IsNull()) << name;
    EXPECT_EQ(db.GetDisplayText("big"), u"");
    db.Next();
    Variant small = db.GetValue("big");
    EXPECT_EQ(small.Kind(), VariantKind::Int64);
    db.EndReport();

    struct Case {
        const char* name;
        TpgwFieldType type;
        int width;
    } cases[] = {
        {"name", fftString, 20}, {"jianchajielun", fftString, 10}, {"lock", fftBoolean, 5},
        {"id", fftNumeric, 11},  {"baogaoriqi", fftNumeric, 20},   {"nosuch", fftNumeric, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(db.GetFieldType(c.name), c.type) << c.name;
        EXPECT_EQ(db.GetDisplayWidth(c.name), c.width) << c.name;
    }
}

// Rows given in memory, for column kinds the embedded database does not produce.
class TRowsDataSet : public TDataSet {
public:
    explicit TRowsDataSet(TDbResultSet rows) : TDataSet(nullptr), rows_(std::move(rows)) {}

protected:
    TDbResultSet OpenResult() override { return rows_; }

private:
    TDbResultSet rows_;
};

TEST(DBDatasetValues, NullTimeStampsStayNull) {
    TRowsDataSet rows({{{"ts", ftTimeStamp}}, {Variant::Null(), Variant::FromDate(40000.5)}});
    TpgwDBDataset db(nullptr);
    db.SetDataSet(&rows);
    db.BeginReport();
    db.First();
    EXPECT_TRUE(db.GetValue("ts").IsNull());
    db.Next();
    Variant value = db.GetValue("ts");
    EXPECT_EQ(value.Kind(), VariantKind::Date);
    EXPECT_DOUBLE_EQ(value.AsDouble(), 40000.5);
    db.EndReport();
}

TEST_F(DBDatasetTest, DisplayWidthOfAClosedSourceComesFromItsDefinitions) {
    db.FieldAliases()->SetText("name=PatientName\nbig=Big\nbaogaoriqi=Date\nid=Id");
    ASSERT_FALSE(query.Active());
    EXPECT_EQ(db.GetDisplayWidth("PatientName"), 20);
    EXPECT_EQ(db.GetDisplayWidth("Big"), 15);
    EXPECT_EQ(db.GetDisplayWidth("Date"), 20);
    EXPECT_EQ(db.GetDisplayWidth("Id"), 10);
    EXPECT_EQ(db.GetDisplayWidth("nosuch"), 10);
    EXPECT_FALSE(query.Active());

    // A source that cannot describe itself.
    TADOQuery broken(nullptr);
    broken.SetConnection(&conn);
    broken.SQL().SetText("select * from missing_table");
    db.SetDataSet(&broken);
    EXPECT_EQ(db.GetDisplayWidth("name"), 10);
    // Its failure to open reaches the caller on every use, not only the first.
    for (int i = 0; i < 2; ++i)
        EXPECT_THROW(db.GetValue("name"), EDatabaseError);
}

TEST_F(DBDatasetTest, BlobsCopyAsBytesOrLines) {
    db.BeginReport();
    db.First();
    EXPECT_TRUE(db.IsBlobField("photo"));
    EXPECT_TRUE(db.IsBlobField("jianchajielun"));
    EXPECT_FALSE(db.IsBlobField("name"));
    EXPECT_FALSE(db.IsBlobField("nosuch"));

    TMemoryStream stream;
    stream.Write("xy", 2);
    db.CopyBlobTo("photo", stream);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Size(), 6);

    TWideStrings lines;
    db.CopyBlobTo("photo", lines); // bytes in the legacy code page
    ASSERT_EQ(lines.Count(), 1);
    EXPECT_EQ(Utf8(lines.Strings(0)), "正常");
    db.CopyBlobTo("jianchajielun", lines);
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(Utf8(lines.Strings(1)), "复查");

    TMemoryStream untouched;
    db.CopyBlobTo("name", untouched);
    EXPECT_EQ(untouched.Size(), 0);
    db.EndReport();
}

TEST_F(DBDatasetTest, SourceFollowsDataSetOrDataSource) {
    TDataSource source(nullptr);
    source.SetDataSet(&query);
    db.SetDataSource(&source);
    EXPECT_EQ(db.DataSet(), nullptr);
    EXPECT_EQ(db.Source(), &query);
    db.SetDataSet(&query);
    EXPECT_EQ(db.DataSource(), nullptr);

    auto other = std::make_unique<TDataSource>(nullptr);
    other->SetDataSet(&query);
    db.SetDataSource(other.get());
    other.reset();
    EXPECT_EQ(db.DataSource(), nullptr);
    EXPECT_EQ(db.Source(), &query); // until resolved again
    EXPECT_THROW(db.BeginReport(), Exception);
}

TEST(DBDatasetClass, IsCreatedByNameAndStoresItsDataSetOutsideReports) {
    StartModules();
    const std::vector<std::string>& started = StartedModules();
    EXPECT_NE(std::find(started.begin(), started.end(), "pgwDBSet"), started.end());
    EXPECT_NE(GetClass("TpgwDBDataset"), nullptr);
    StopModules();
    EXPECT_EQ(GetClass("TpgwDBDataset"), nullptr);

    RegisterDBDatasetClasses();
    const TClassInfo* cls = GetClass("TpgwDBDataset");
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TPersistent> made(cls->Create(nullptr));
    EXPECT_NE(dynamic_cast<TpgwDBDataset*>(made.get()), nullptr);

    const TPropInfo* dataSet = GetPropInfo(*made, "DataSet");
    ASSERT_NE(dataSet, nullptr);
    EXPECT_TRUE(IsStoredProp(*made, *dataSet));
    TpgwCustomReport report(nullptr);
    auto* inReport = new TpgwDBDataset(&report);
    EXPECT_FALSE(IsStoredProp(*inReport, *dataSet));
    for (const char* name : {"DataSource", "BCDToCurrency", "FieldAliases", "RangeBegin"})
        EXPECT_NE(GetPropInfo(*made, name), nullptr) << name;
}

} // namespace
