// The exam browser: from the double-click on an exam to the first page of its report shown in
// the embedded preview, for an a4p4 exam with four 640 x 480 report pictures and six
// thumbnails, in a 5,000-exam archive. Also the time until the report is fully prepared.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dm_unit.h"
#include "app/exam_schema.h"
#include "app/main_form.h"
#include "app/startup.h"
#include "bench/timing.h"
#include "engine/preview.h"
#include "platform/core/date_time.h"
#include "platform/core/ini_file.h"
#include "platform/core/safe_file.h"
#include "platform/data/ado.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/ui/application.h"
#include "platform/ui/std_controls.h"
#include "report/abstract_bases.h"
#include "report/report.h"
#include "tools/make-demo/report_templates.h"

namespace {

constexpr int kRows = 5000;
constexpr int kExam = 4321;

// A scan-like picture: noise over a dark field, so the JPEG is of a realistic size.
std::string Jpeg(int look) {
    TBitmap b(640, 480, pf24bit);
    unsigned state = 2166136261u ^ static_cast<unsigned>(look);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; x += 4) {
            state = state * 1664525u + 1013904223u;
            const int v = static_cast<int>(state >> 24) / 2;
            b.Canvas().SetPixel(x, y, RGB(v, v, v));
        }
    TJPEGImage jpeg;
    jpeg.Assign(b);
    const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();
    return std::string(bytes.begin(), bytes.end());
}

void MakeFixture(const std::string& dir) {
    const std::string formats = dir + "/reportformat";
    std::filesystem::create_directories(formats);
    WriteDemoTemplates(formats);
    WriteDemoLogo(dir + "/cross.bmp");
    const std::string folder = dir + "/images/" + std::to_string(kExam);
    std::filesystem::create_directories(folder);
    for (int k = 1; k <= 4; ++k)
        WriteFileAtomically(folder + "/rpt" + std::to_string(k) + ".jpg", Jpeg(k));
    for (int k = 1; k <= 6; ++k)
        WriteFileAtomically(folder + "/c" + std::to_string(k) + ".jpg", Jpeg(10 + k));

    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=SQLite;Data Source=" + dir + "/exams.db");
    conn.Execute(ExamTableDDL());
    TADOCommand insert(nullptr);
    insert.SetConnection(&conn);
    insert.SetCommandText("insert into patient (id, csid, name, sex, age, ageunit, baogaoriqi, "
                          "jinchasuojian, jianchajielun, imagepath, rep_format) values (:id, "
                          ":csid, :name, '女', '39', '岁', :d, :f, '未见明显异常', :img, :rep)");
    TParameters& p = *insert.Parameters();
    const TDateTime today = std::floor(Date()) + 0.4;
    conn.Execute("begin");
    for (int i = 1; i <= kRows; ++i) {
        p.Items(0)->SetValue(i);
        p.Items(1)->SetValue(100000 + i);
        p.Items(2)->SetValue(
            Variant(i == kExam ? std::string("陈静") : "患者" + std::to_string(i)));
        // Two years of exams; the one timed is today's.
        p.Items(3)->SetValue(Variant::FromDate(i == kExam ? today : today - (i * 7 % 730)));
        p.Items(4)->SetValue(
            Variant("双侧乳腺腺体层结构清晰。\r\n左乳外上象限见一低回声区，大小约 1.2×0.7cm。"));
        p.Items(5)->SetValue(Variant("D:\\kelvdata\\病人图像\\" + std::to_string(i)));
        p.Items(6)->SetValue(Variant(std::string("D:\\kelvdata\\reportformat\\a4p4.pg3")));
        insert.Execute();
    }
    conn.Execute("commit");
    TIniFile ini(dir + "/lumetra.ini");
    ini.WriteString("db", "dbfile", dir + "/exams.db");
    ini.WriteString("Image", "ImagePath", dir + "/images");
    ini.WriteString("Report", "Rptfmt", formats);
    ini.WriteString("autorun", "cross", "cross.bmp");
}

} // namespace

int main() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("LUMETRA_PRINTERS", "none", 0);
    char pattern[] = "/tmp/lumetra-bench-exam-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    TApplication* app = Application();
    MakeFixture(dir);
    TExamBrowser browser = StartExamBrowser(app, dir);
    TMainForm& form = *browser.MainForm;
    form.SetBounds(0, 0, 1280, 900);
    form.Check_View_Report->SetChecked(true);
    form.Show();
    form.Butt_Select->Click();
    app->ProcessMessages();
    TpgwReport& report = *form.pgwpt;

    std::vector<double> firstPage, prepared;
    for (int run = 0; run < 12; ++run) {
        DM->Mqry->Locate("id", Variant(kExam), 0);
        const Clock::time_point t0 = Clock::now();
        form.DBGridxDblClick(nullptr);
        while (report.PreviewPages()->GetCount() < 1) {
            app->ProcessMessages();
            ::usleep(100);
        }
        // The page is painted by the next pass of the loop.
        form.pgwPrv->Workspace()->Repaint();
        app->ProcessMessages();
        const double first = Ms(t0);
        while (form.ReportPreparing()) {
            app->ProcessMessages();
            ::usleep(100);
        }
        if (run >= 2) { // the first runs warm the caches
            firstPage.push_back(first);
            prepared.push_back(Ms(t0));
        }
    }
    std::printf("double-click to first page shown: median %.1f ms (min %.1f, max %.1f)\n",
                Median(firstPage), *std::min_element(firstPage.begin(), firstPage.end()),
                *std::max_element(firstPage.begin(), firstPage.end()));
    std::printf("double-click to report prepared:  median %.1f ms\n", Median(prepared));
    delete browser.MainForm;
    delete browser.DataModule;
    std::filesystem::remove_all(dir);
    return 0;
}
