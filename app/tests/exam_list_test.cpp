// The exam list end to end: the filter panel's query over the fixture archive, as the Jet file
// itself and as a SQLite archive holding the same rows, against ids worked out here.

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/exam_query.h"
#include "app/exam_schema.h"
#include "app/tests/app_test_support.h"
#include "platform/core/ini_file.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"

namespace {

const std::string kFixture = std::string(LUMETRA_SHARED_DIR) + "/fixtures/jet/exams.mdb";

struct Exam {
    int Id;
    std::string Csid;
    std::string Name;
    std::string Doctor;
    TDateTime Reported;
    bool NameNull;
};

std::vector<Exam> ReadFixture(TADOConnection& conn) {
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    q.SQL().SetText("select * from patient");
    q.Open();
    std::vector<Exam> out;
    for (q.First(); !q.Eof(); q.Next())
        out.push_back({q.FieldByName("id")->AsInteger(), q.FieldByName("csid")->AsString(),
                       q.FieldByName("name")->AsString(), q.FieldByName("jianchadoc")->AsString(),
                       q.FieldByName("baogaoriqi")->AsDateTime(), q.FieldByName("name")->IsNull()});
    return out;
}

// The rows of the Jet fixture copied into a SQLite archive of this system's table layout.
void CopyToSqlite(TADOConnection& jet, const std::string& path) {
    TADOConnection out(nullptr);
    out.SetConnectionString("Provider=SQLite;Data Source=" + path);
    out.Execute(ExamTableDDL());
    TADOQuery q(nullptr);
    q.SetConnection(&jet);
    q.SQL().SetText("select * from patient");
    q.Open();
    TADOCommand insert(nullptr);
    insert.SetConnection(&out);
    std::string markers;
    for (std::size_t i = 0; i < ExamColumns().size(); ++i)
        markers += (i ? ", :p" : ":p") + std::to_string(i);
    insert.SetCommandText("insert into patient values (" + markers + ")");
    out.Execute("begin");
    for (q.First(); !q.Eof(); q.Next()) {
        for (std::size_t i = 0; i < ExamColumns().size(); ++i)
            insert.Parameters()
                ->Items(static_cast<int>(i))
                ->SetValue(q.FieldByName(ExamColumns()[i].Name)->Value());
        insert.Execute();
    }
    out.Execute("commit");
}

class ExamList : public BrowserTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        if (!std::filesystem::exists(kFixture)) GTEST_SKIP() << kFixture << " is absent";
        TADOConnection jet(nullptr);
        jet.SetConnectionString(ExamConnectionString(kFixture));
        jet.Open();
        exams = ReadFixture(jet);
        ASSERT_EQ(exams.size(), 400u);
        std::string db = kFixture;
        if (GetParam()) {
            db = dir + "/exams.db";
            CopyToSqlite(jet, db);
        }
        TIniFile(IniPath()).WriteString("db", "dbfile", db);
        Start();
        ASSERT_TRUE(DM->Mconnect->Connected());
        form->sq_jcdatemin->SetDate(EncodeDate(2010, 9, 1));
        form->sq_jcdatemax->SetDate(EncodeDate(2010, 9, 19));
    }

    std::vector<int> Query(const std::string& name, const std::string& doctor,
                           const std::string& number) {
        form->edt_name->SetText(name);
        form->Edt_Doc->SetText(doctor);
        form->Edt_CSID->SetText(number);
        SafeCall([this] { form->Butt_Select->Click(); });
        std::vector<int> ids;
        TADOQuery* q = DM->Mqry;
        if (!q->Active()) return ids;
        for (q->First(); !q->Eof(); q->Next())
            ids.push_back(q->FieldByName("id")->AsInteger());
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    std::vector<int> Expected(const std::string& name, const std::string& doctor,
                              const std::string& number) {
        const TDateTime from = form->sq_jcdatemin->Date();
        const TDateTime to = form->sq_jcdatemax->Date() + 1;
        std::vector<int> ids;
        for (const Exam& e : exams) {
            if (e.Reported < from || e.Reported >= to) continue;
            if (!name.empty() && (e.NameNull || e.Name.find(Trim(name)) == std::string::npos))
                continue;
            if (!doctor.empty() && e.Doctor.find(Trim(doctor)) == std::string::npos) continue;
            if (!number.empty() && e.Csid != Trim(number)) continue;
            ids.push_back(e.Id);
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    std::vector<Exam> exams;
};

TEST_P(ExamList, FiltersFindTheMatchingExams) {
    const Exam* quoted = nullptr;
    const Exam* inRange = nullptr;
    for (const Exam& e : exams) {
        if (e.Name.find('\'') != std::string::npos) quoted = &e;
        if (!inRange && e.Reported >= EncodeDate(2010, 9, 3)) inRange = &e;
    }
    ASSERT_NE(quoted, nullptr);
    ASSERT_NE(inRange, nullptr);
    struct Case {
        std::string name, doctor, number;
    };
    const Case cases[] = {
        {"", "", ""},
        {"张", "", ""},
        {"", "李", ""},
        {" 王 ", "刘", ""},
        {"", "", inRange->Csid},
        {"  ", "", ""},
        {inRange->Name, inRange->Doctor, inRange->Csid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("name '" + c.name + "' doctor '" + c.doctor + "' number '" + c.number + "'");
        const std::vector<int> expected = Expected(c.name, c.doctor, c.number);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(Query(c.name, c.doctor, c.number), expected);
    }
    // A quote inside the name, over the whole archive.
    form->sq_jcdatemin->SetDate(EncodeDate(2010, 8, 1));
    form->sq_jcdatemax->SetDate(EncodeDate(2010, 9, 30));
    const std::string part = quoted->Name.substr(0, quoted->Name.find('\'') + 1);
    const std::vector<int> withQuote = Query(part, "", "");
    EXPECT_EQ(withQuote, Expected(part, "", ""));
    EXPECT_NE(std::find(withQuote.begin(), withQuote.end(), quoted->Id), withQuote.end());
    EXPECT_EQ(Query("", "", "").size(), 400u);
    // Characters the query language gives a meaning stay inside the literal.
    for (const char* odd : {"#2010-9-1#'", "x' or '1'='1", "[x]", "\\'", "\"a"}) {
        SCOPED_TRACE(odd);
        EXPECT_TRUE(Query(odd, odd, "").empty());
    }
    EXPECT_TRUE(reporter->Boxes.empty());
}

TEST_P(ExamList, TheGridShowsTheDesignedColumns) {
    const std::vector<int> ids = Query("", "", "");
    TDBGrid* grid = form->DBGridX;
    ASSERT_EQ(grid->RowCount(), static_cast<int>(ids.size()));
    ASSERT_EQ(grid->ColumnCount(), 13);
    EXPECT_EQ(grid->ColumnTitle(11), "检查医生");
    TADOQuery* q = DM->Mqry;
    q->Last();
    const int last = grid->RowCount() - 1;
    EXPECT_EQ(grid->CurrentRow(), last); // the grid follows the query's cursor
    const std::string lastCsid = q->FieldByName("csid")->DisplayText();
    const std::string lastDoctor = q->FieldByName("jianchadoc")->DisplayText();
    q->First();
    const std::string firstName = q->FieldByName("name")->DisplayText();
    grid->SetCurrentRow(last); // and the query follows the grid
    EXPECT_EQ(q->RecNo(), last + 1);
    q->SetRecNo(3);
    EXPECT_EQ(grid->CellText(last, 0), lastCsid);
    EXPECT_EQ(grid->CellText(last, 11), lastDoctor);
    EXPECT_EQ(grid->CellText(0, 1), firstName);
    // Reading cells does not move the exam query.
    EXPECT_EQ(q->RecNo(), 3);
    EXPECT_EQ(grid->CurrentRow(), 2);
    // Nor does it disturb a walk through the rows.
    int walked = 0;
    for (q->First(); !q->Eof(); q->Next()) {
        (void)grid->CellText(walked / 2, 1);
        ++walked;
    }
    EXPECT_EQ(walked, last + 1);
    (void)grid->CellText(last - 1, 0); // a row not read before
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->RecNo(), last + 1);
}

TEST_P(ExamList, ALetterInTheExamNumberLeavesTheListAsItWas) {
    const std::vector<int> all = Query("", "", "");
    const std::vector<int> none = Query("", "", "12a");
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_EQ(reporter->Boxes[0].Caption, "警告");
    EXPECT_NE(reporter->Boxes[0].Text.find("12a"), std::string::npos);
    EXPECT_EQ(none, all); // the query still holds the earlier list
}

TEST_P(ExamList, GroupingByDoctorOrdersTheList) {
    form->Check_GroupDoc->SetChecked(true);
    Query("张", "", "");
    TADOQuery* q = DM->Mqry;
    ASSERT_GT(q->RecordCount(), 1);
    std::string previous;
    for (q->First(); !q->Eof(); q->Next()) {
        const std::string doctor = q->FieldByName("jianchadoc")->AsString();
        EXPECT_LE(previous, doctor);
        previous = doctor;
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, ExamList, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sqlite" : "Jet"; });

} // namespace
