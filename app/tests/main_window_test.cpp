// Start-up, the settings file and the database chooser of the main window.

#include <sys/stat.h>

#include <cmath>

#include "app/exam_schema.h"
#include "app/tests/app_test_support.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/ui/containers.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"

namespace {

timespec MTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}
TRecordingReporter::DialogAnswer Chosen(const std::string& file) {
    TRecordingReporter::DialogAnswer a;
    a.Confirmed = true;
    a.FileName = file;
    return a;
}
bool SameTime(timespec a, timespec b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A small SQLite exam archive with one exam.
void MakeArchive(const std::string& path) {
    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=SQLite;Data Source=" + path);
    conn.Execute(ExamTableDDL());
    conn.Execute("insert into patient (id, csid, name, baogaoriqi) values "
                 "(1, 100, '张三', '2010-09-05 10:00:00')");
}

// "[说明]", "作用=..." and the two paths start-up fills in, in GBK with CRLF line ends.
const char kFirstStartBytes[] =
    "[\xcb\xb5\xc3\xf7]\r\n"
    "\xd7\xf7\xd3\xc3=\xb1\xbe\xce\xc4\xbc\xfe\xbd\xf6\xd3\xc3\xd7\xf7\xb1\xb8\xb7\xdd\xce\xc4"
    "\xbc\xfe\xc0\xeb\xcf\xdf\xb2\xe9\xbf\xb4\xd3\xc3\r\n"
    "[Image]\r\n"
    "ImagePath=F:\\20100919\\kelvdata\\\xb2\xa1\xc8\xcb\xcd\xbc\xcf\xf1\r\n"
    "[Report]\r\n"
    "Rptfmt=F:\\20100919\\kelvdata\\release\\reportformat\r\n";

using BrowserStart = BrowserTest;

TEST_F(BrowserStart, FirstStartWritesTheNoteThenTheTwoPaths) {
    Start();
    EXPECT_EQ(ReadAll(IniPath()), kFirstStartBytes);
    EXPECT_TRUE(reporter->Boxes.empty()); // a missing database is no error
    EXPECT_FALSE(DM->Mconnect->Connected());
    EXPECT_EQ(form->Caption(), "Lumetra");
    EXPECT_EQ(form->ClientWidth(), 891);
    EXPECT_EQ(form->ClientHeight(), 642);
    EXPECT_EQ(form->Edt_CDPath->Text(), "F:\\20100919\\kelvdata\\data\\csdata.mdb");
    EXPECT_EQ(form->Edt_hostName->Text(), "青禾镇康宁医院");
    EXPECT_EQ(MainUnit().LogoFile, "cross.bmp");
    EXPECT_EQ(form->Edt_CSID->Text(), "");
    const TDateTime today = std::floor(Date());
    EXPECT_EQ(form->sq_jcdatemin->Date(), today - 30);
    EXPECT_EQ(form->sq_jcdatemax->Date(), today);
    EXPECT_FALSE(form->sq_ZhenDuan->Visible());
    EXPECT_EQ(form->LxPageControl1->ActivePage(), form->TabSheet2);
    EXPECT_EQ(form->DBGridX->ColumnCount(), 13);
    EXPECT_EQ(form->DBGridX->ColumnTitle(0), "超声号");
    EXPECT_EQ(form->DBGridX->ColumnWidth(12), 50);

    // A second start reads what is there and rewrites nothing.
    const timespec before = MTime(IniPath());
    Start();
    EXPECT_EQ(ReadAll(IniPath()), kFirstStartBytes);
    EXPECT_TRUE(SameTime(MTime(IniPath()), before));
}

TEST_F(BrowserStart, SettingsAreWrittenOnlyWhenTheyChange) {
    Start();
    TIniFile ini(IniPath());
    form->Edt_ImagePath->SetText("/data/图像");
    EXPECT_EQ(ini.ReadString("Image", "ImagePath", ""), "/data/图像");
    EXPECT_EQ(MainUnit().ImageRoot, "/data/图像");
    form->Edt_RptFmtPath->SetText("/data/格式");
    EXPECT_EQ(ini.ReadString("Report", "Rptfmt", ""), "/data/格式");

    // Text typed into the hospital name waits for the save button.
    form->Edt_hostName->SetText("第一医院");
    EXPECT_FALSE(ini.ValueExists("Report", "医院名称"));
    form->LxBitBtn1->Click();
    EXPECT_EQ(ini.ReadString("Report", "医院名称", ""), "第一医院");
    EXPECT_EQ(MainUnit().HospitalName, "第一医院");

    // The database path field is for show only; the program never writes autorun/cross.
    form->Edt_CDPath->SetText("/elsewhere.db");
    EXPECT_EQ(MainUnit().DbFile, "F:\\20100919\\kelvdata\\data\\csdata.mdb");
    EXPECT_FALSE(ini.ValueExists("db", "dbfile"));
    EXPECT_FALSE(ini.SectionExists("autorun"));

    // The same text again is no change: the file stays untouched.
    const std::string bytes = ReadAll(IniPath());
    const timespec before = MTime(IniPath());
    form->Edt_ImagePath->SetText("/data/图像");
    form->LxBitBtn1->Click();
    EXPECT_EQ(ReadAll(IniPath()), bytes);
    EXPECT_TRUE(SameTime(MTime(IniPath()), before));
}

TEST_F(BrowserStart, DatabaseChooser) {
    Start();
    const std::string good = dir + "/exams.db";
    MakeArchive(good);
    const std::string broken = dir + "/broken.mdb";
    WriteAll(broken, std::string(4096, 'x'));
    const std::string initialIni = ReadAll(IniPath());

    // Cancelled: nothing happens.
    SafeCall([this] { form->SpeedButton1->Click(); });
    ASSERT_EQ(reporter->Dialogs.size(), 1u);
    EXPECT_EQ(ReadAll(IniPath()), initialIni);

    // A file that is not there: a warning, nothing changes.
    reporter->QueueDialogAnswer(Chosen(dir + "/missing.mdb"));
    SafeCall([this] { form->SpeedButton1->Click(); });
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_EQ(reporter->Boxes[0].Caption, "警告");
    EXPECT_EQ(reporter->Boxes[0].Icon, mtWarning);
    EXPECT_EQ(reporter->Boxes[0].Text, dir + "/missing.mdb文件不存在!");
    EXPECT_EQ(reporter->Boxes[0].Owner, form);
    EXPECT_EQ(ReadAll(IniPath()), initialIni);
    EXPECT_FALSE(DM->Mconnect->Connected());

    // A good archive: shown, written, connected.
    reporter->QueueDialogAnswer(Chosen(good));
    SafeCall([this] { form->SpeedButton1->Click(); });
    EXPECT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_TRUE(DM->Mconnect->Connected());
    EXPECT_EQ(form->Edt_CDPath->Text(), good);
    EXPECT_EQ(TIniFile(IniPath()).ReadString("db", "dbfile", ""), good);
    form->Butt_Select->Click();
    EXPECT_TRUE(DM->Mqry->Active());

    // A missing file after a good one leaves the good connection alone.
    reporter->QueueDialogAnswer(Chosen(dir + "/gone.mdb"));
    SafeCall([this] { form->SpeedButton1->Click(); });
    EXPECT_TRUE(DM->Mconnect->Connected());
    EXPECT_EQ(TIniFile(IniPath()).ReadString("db", "dbfile", ""), good);

    // A file that exists but is no database: shown and written first, then the error box, and
    // the connection stays closed.
    reporter->QueueDialogAnswer(Chosen(broken));
    SafeCall([this] { form->SpeedButton1->Click(); });
    ASSERT_EQ(reporter->Boxes.size(), 3u);
    EXPECT_TRUE(reporter->Boxes[2].IsErrorBox);
    EXPECT_FALSE(DM->Mconnect->Connected());
    EXPECT_FALSE(DM->Mqry->Active());
    EXPECT_EQ(form->Edt_CDPath->Text(), broken);
    EXPECT_EQ(TIniFile(IniPath()).ReadString("db", "dbfile", ""), broken);
}

TEST_F(BrowserStart, ADamagedDatabaseIsReportedAndStartUpGoesOn) {
    const std::string broken = dir + "/broken.mdb";
    WriteAll(broken, "Standard Jet DB but not really");
    TIniFile(IniPath()).WriteString("db", "dbfile", broken);
    Start();
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_TRUE(reporter->Boxes[0].IsErrorBox);
    EXPECT_FALSE(DM->Mconnect->Connected());
    EXPECT_EQ(form->Edt_CDPath->Text(), broken);
    EXPECT_EQ(form->sq_jcdatemax->Date(), std::floor(Date()));

    // The query button then drops the designed columns and runs nothing.
    form->Butt_Select->Click();
    EXPECT_FALSE(DM->Mqry->Active());
    EXPECT_EQ(form->DBGridX->Columns()->Count(), 0);
    EXPECT_EQ(reporter->Boxes.size(), 1u);
}

TEST_F(BrowserStart, ExitClosesTheQueryAndTheWindow) {
    const std::string good = dir + "/exams.db";
    MakeArchive(good);
    TIniFile(IniPath()).WriteString("db", "dbfile", good);
    Start();
    Application()->SetMainForm(form);
    form->Butt_Select->Click();
    ASSERT_TRUE(DM->Mqry->Active());
    form->suiButton2->Click();
    EXPECT_FALSE(DM->Mqry->Active());
    EXPECT_TRUE(Application()->Terminated()); // closing the main window ends the run
}

} // namespace
