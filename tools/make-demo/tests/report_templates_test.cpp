// The report templates make-demo writes, prepared as the exam browser prepares them: over the
// exam table through the data set "db", one exam at a time.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/dm_unit.h"
#include "app/exam_schema.h"
#include "app/main_unit.h"
#include "data/db_dataset.h"
#include "engine/engine_module.h"
#include "platform/core/files.h"
#include "platform/core/ini_file.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/print/papers.h"
#include "platform/ui/application.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace {

struct Template {
    std::string Name;
    int PaperSize;
    double PaperWidth, PaperHeight;
    int Pictures;
};

std::vector<Template> Templates() {
    std::vector<Template> all;
    for (int n = 1; n <= 6; ++n) {
        all.push_back({"a4p" + std::to_string(n) + ".pg3", 9, 210, 297, n});
        all.push_back({"b5p" + std::to_string(n) + ".pg3", 13, 182, 257, n});
    }
    all.push_back({"custom.pg3", 9, 210, 297, 0});
    return all;
}

std::string WithoutLineBreaks(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

class ReportTemplates : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/lumetra-templates-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string cmd =
            std::string(MAKE_DEMO_PATH) + " " + dir + "/demo " + dir + "/bin >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        RegisterEngineModule();
        Application();
        StartModules();
    }
    static void TearDownTestSuite() {
        StopModules();
        std::filesystem::remove_all(dir);
    }

    // The exam table as the browser holds it, its cursor on the exam with that id, and the
    // adapter "db" over it.
    void OpenExam(int id) {
        connection = std::make_unique<TADOConnection>(nullptr);
        connection->SetLoginPrompt(false);
        connection->SetConnectionString(ExamConnectionString(dir + "/demo/exams.db"));
        connection->Open();
        query = std::make_unique<TADOQuery>(nullptr);
        query->SetConnection(connection.get());
        query->SQL().SetText("select * from patient");
        query->Open();
        ASSERT_TRUE(query->Locate("id", Variant(id), 0));
        db = std::make_unique<TpgwDBDataset>(nullptr);
        db->SetName("db");
        db->SetUserName("db");
        db->SetDataSet(query.get());
        db->SetRangeBegin(rbCurrent);
        db->SetRangeEnd(reCurrent);
        db->SetCloseDataSource(false);
        for (const TExamColumn& column : ExamColumns())
            db->FieldAliases()->Add(std::string(column.Name) + "=" + column.Name);
    }
    void CloseExam() {
        report.reset();
        db.reset();
        query.reset();
        connection.reset();
    }
    void TearDown() override { CloseExam(); }

    void Load(const std::string& name) {
        report = std::make_unique<TpgwReport>(nullptr);
        report->EngineOptions()->SetNewSilentMode(simSilent);
        ASSERT_TRUE(report->LoadFromFile(dir + "/demo/reportformat/" + name));
        ASSERT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
        report->EngineOptions()->SetNewSilentMode(simSilent);
    }

    static std::string dir;
    std::unique_ptr<TADOConnection> connection;
    std::unique_ptr<TADOQuery> query;
    std::unique_ptr<TpgwDBDataset> db;
    std::unique_ptr<TpgwReport> report;
};

std::string ReportTemplates::dir;

TEST_F(ReportTemplates, LoadBackWithTheirPaperPicturesAndFields) {
    // Every field the report shows, under the name the browser's adapter offers it.
    const char* const shown[] = {"name",          "sex",           "age",           "ageunit",
                                 "csid",          "songjianpart",  "patientsource", "bednum",
                                 "zhuyuannum",    "menzhennum",    "shenqingdoc",   "jianchapart",
                                 "shebeixinghao", "jinchasuojian", "jianchajielun", "jianyi",
                                 "jianchadoc",    "baogaodoc",     "shenhedoc",     "baogaoriqi",
                                 "baogaoshijian"};
    OpenExam(1);
    for (const Template& t : Templates()) {
        SCOPED_TRACE(t.Name);
        Load(t.Name);
        auto* page = dynamic_cast<TpgwReportPage*>(report->FindObject("Page1"));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->PaperSize(), t.PaperSize);
        EXPECT_DOUBLE_EQ(page->PaperWidth(), t.PaperWidth);
        EXPECT_DOUBLE_EQ(page->PaperHeight(), t.PaperHeight);
        EXPECT_NE(dynamic_cast<TpgwPictureView*>(report->FindObject("logo")), nullptr);
        EXPECT_NE(dynamic_cast<TpgwCustomMemoView*>(report->FindObject("hostname")), nullptr);
        for (int k = 1; k <= 7; ++k)
            EXPECT_EQ(dynamic_cast<TpgwPictureView*>(
                          report->FindObject("Picture" + std::to_string(k))) != nullptr,
                      k <= t.Pictures)
                << "Picture" << k;
        std::string texts;
        for (TpgwComponent* object : report->AllObjects())
            if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object)) texts += memo->Text();
        EXPECT_NE(texts.find("超声检查报告单"), std::string::npos);
        EXPECT_NE(texts.find("[Page#]"), std::string::npos);
        for (const char* field : shown) {
            bool offered = false;
            for (const TExamColumn& column : ExamColumns())
                offered |= std::string(column.Name) == field;
            EXPECT_TRUE(offered) << field;
            EXPECT_NE(texts.find(std::string("[db.\"") + field + "\"]"), std::string::npos)
                << field;
        }
    }
}

// Each template over the exams that name it and over the exam with the longest texts: one page
// without errors, the exam's texts on it, every object inside the printable area and none over
// another.
TEST_F(ReportTemplates, EveryTemplatePreparesOneTidyPageOverTheDemoExams) {
    // Which exam names which template, and the exam with the longest findings and conclusion.
    std::vector<std::pair<int, std::string>> exams;
    int longest = 0;
    std::size_t longestSize = 0;
    OpenExam(1);
    for (query->First(); !query->Eof(); query->Next()) {
        const int id = query->FieldByName("id")->AsInteger();
        const std::string format = query->FieldByName("rep_format")->AsString();
        exams.push_back({id, LowerCase(format.substr(format.rfind('\\') + 1))});
        const std::size_t size = query->FieldByName("jinchasuojian")->AsString().size() +
                                 query->FieldByName("jianchajielun")->AsString().size();
        if (size > longestSize) longestSize = size, longest = id;
    }
    CloseExam();
    TIniFile ini(dir + "/bin/lumetra.ini");
    const std::string hospital = ini.ReadString(lumetra_ini::kReport, lumetra_ini::kHospital, "");
    for (const Template& t : Templates()) {
        std::vector<int> ids{longest};
        for (const auto& [id, format] : exams)
            if (format == t.Name && id != longest) ids.push_back(id);
        for (int id : ids) {
            SCOPED_TRACE(t.Name + " over exam " + std::to_string(id));
            OpenExam(id);
            const std::string name = query->FieldByName("name")->AsString();
            const std::string findings = query->FieldByName("jinchasuojian")->AsString();
            const std::string conclusion = query->FieldByName("jianchajielun")->AsString();
            Load(t.Name);
            // What the browser fills in before the objects print.
            dynamic_cast<TpgwCustomMemoView*>(report->FindObject("hostname"))->SetText(hospital);
            dynamic_cast<TpgwPictureView*>(report->FindObject("logo"))
                ->Picture()
                ->LoadFromFile(dir + "/bin/cross.bmp");
            ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
            EXPECT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
            ASSERT_EQ(report->PreviewPages()->GetCount(), 1);
            auto* page = dynamic_cast<TpgwReportPage*>(report->PreviewPages()->GetPage(0));
            ASSERT_NE(page, nullptr);
            const double width =
                (page->PaperWidth() - page->LeftMargin() - page->RightMargin()) * pg01cm;
            const double height =
                (page->PaperHeight() - page->TopMargin() - page->BottomMargin()) * pg01cm;

            std::vector<TpgwView*> shown;
            std::string texts;
            int pictures = 0;
            for (TpgwComponent* object : page->AllObjects()) {
                auto* memo = dynamic_cast<TpgwCustomMemoView*>(object);
                auto* picture = dynamic_cast<TpgwPictureView*>(object);
                if (!memo && !picture) continue;
                shown.push_back(static_cast<TpgwView*>(object));
                if (memo) texts += WithoutLineBreaks(memo->Text()) + "|";
                if (picture && object->Name().rfind("Picture", 0) == 0) ++pictures;
            }
            EXPECT_EQ(pictures, t.Pictures);
            for (const std::string& expected :
                 {name, WithoutLineBreaks(findings), conclusion, hospital, std::string("第 1 页")})
                EXPECT_NE(texts.find(expected), std::string::npos) << expected << "\n" << texts;
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const TpgwView& a = *shown[i];
                EXPECT_GE(a.AbsLeft(), -0.5) << a.Name();
                EXPECT_GE(a.AbsTop(), -0.5) << a.Name();
                EXPECT_LE(a.AbsLeft() + a.Width(), width + 0.5) << a.Name();
                EXPECT_LE(a.AbsTop() + a.Height(), height + 0.5) << a.Name();
                for (std::size_t j = i + 1; j < shown.size(); ++j) {
                    const TpgwView& b = *shown[j];
                    const bool apart = a.AbsLeft() + a.Width() <= b.AbsLeft() + 0.5 ||
                                       b.AbsLeft() + b.Width() <= a.AbsLeft() + 0.5 ||
                                       a.AbsTop() + a.Height() <= b.AbsTop() + 0.5 ||
                                       b.AbsTop() + b.Height() <= a.AbsTop() + 0.5;
                    EXPECT_TRUE(apart) << a.Name() << " overlaps " << b.Name();
                }
            }
            CloseExam();
        }
    }
}

TEST_F(ReportTemplates, SettingsNameTheLogoAndTheHospital) {
    TIniFile ini(dir + "/bin/lumetra.ini");
    EXPECT_EQ(ini.ReadString(lumetra_ini::kAutorun, lumetra_ini::kCross, ""), "cross.bmp");
    EXPECT_EQ(ini.ReadString(lumetra_ini::kReport, lumetra_ini::kHospital, ""), "示范医院超声科");
    TPicture logo;
    logo.LoadFromFile(dir + "/bin/cross.bmp");
    auto* bitmap = dynamic_cast<TBitmap*>(logo.Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), 64);
    EXPECT_EQ(bitmap->Height(), 64);
    EXPECT_EQ(bitmap->Canvas().Pixel(32, 32) & 0xFFFFFF, clRed);
    EXPECT_EQ(bitmap->Canvas().Pixel(32, 8) & 0xFFFFFF, clRed);
    EXPECT_EQ(bitmap->Canvas().Pixel(8, 32) & 0xFFFFFF, clRed);
    EXPECT_EQ(bitmap->Canvas().Pixel(2, 2) & 0xFFFFFF, clWhite);
    EXPECT_EQ(bitmap->Canvas().Pixel(61, 61) & 0xFFFFFF, clWhite);
}

} // namespace
