// The exam browser: from start to the main window shown, and the exam query over a
// 100,000-exam archive until the list's first rows are there. With the path of a lumetra
// executable as argument it also times the real program (start, query, list written, exit).

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/dm_unit.h"
#include "app/exam_schema.h"
#include "app/main_form.h"
#include "app/startup.h"
#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/ui/application.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"

namespace {

constexpr int kRows = 100'000;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void MakeArchive(const std::string& path) {
    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=SQLite;Data Source=" + path);
    conn.Execute(ExamTableDDL());
    TADOCommand insert(nullptr);
    insert.SetConnection(&conn);
    insert.SetCommandText(
        "insert into patient (id, csid, name, sex, age, ageunit, songjianpart, patientsource, "
        "jianchadoc, baogaoriqi, jinchasuojian, jianchajielun, money, imagepath, rep_format) "
        "values (:id, :csid, :name, :sex, :age, '岁', :part, :src, :doc, :d, :f, :c, :m, :img, "
        ":rep)");
    const char* family[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴", "徐", "孙"};
    const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊",
                           "军", "洋", "勇", "艳", "杰", "娟", "涛"};
    std::mt19937 rng(42);
    TParameters& p = *insert.Parameters();
    const TDateTime last = std::floor(Date()) + 1;
    conn.Execute("begin");
    for (int i = 1; i <= kRows; ++i) {
        p.Items(0)->SetValue(i);
        p.Items(1)->SetValue(100000 + i);
        p.Items(2)->SetValue(Variant(std::string(family[rng() % 12]) + given[rng() % 15] +
                                     (rng() % 2 ? given[rng() % 15] : "")));
        p.Items(3)->SetValue(Variant(rng() % 2 ? "男" : "女"));
        p.Items(4)->SetValue(Variant(std::to_string(18 + rng() % 60)));
        p.Items(5)->SetValue(Variant(rng() % 2 ? "体检中心" : "内科"));
        p.Items(6)->SetValue(Variant(rng() % 2 ? "门诊" : "住院"));
        p.Items(7)->SetValue(Variant(std::string(family[rng() % 12]) + given[rng() % 15]));
        // Two years of exams up to today.
        p.Items(8)->SetValue(Variant::FromDate(last - (rng() % (730 * 24 * 60)) / (24.0 * 60)));
        p.Items(9)->SetValue(
            Variant("肝脏形态大小正常，包膜光整，实质回声均匀。\r\nCDFI：未见明显异常血流信号。"));
        p.Items(10)->SetValue(Variant("未见明显异常"));
        p.Items(11)->SetValue(static_cast<double>(rng() % 30000) / 100);
        p.Items(12)->SetValue(Variant("D:\\kelvdata\\病人图像\\" + std::to_string(i)));
        p.Items(13)->SetValue(Variant("D:\\kelvdata\\reportformat\\a4p2.pg3"));
        insert.Execute();
    }
    conn.Execute("commit");
}

// Presses the query button and reads the cells of the rows a list shows at first.
int QueryAndShowFirstRows(TMainForm* form) {
    form->Butt_Select->Click();
    TDBGrid* grid = form->DBGridX;
    std::size_t chars = 0;
    for (int r = 0; r < std::min(20, grid->RowCount()); ++r)
        for (int c = 0; c < grid->ColumnCount(); ++c)
            chars += grid->CellText(r, c).size();
    Application()->ProcessMessages(); // the grid repaints
    return chars ? grid->RowCount() : -1;
}

template <class Body> void Time(const char* name, int runs, Body body) {
    std::vector<double> times;
    int rows = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        rows = body();
        times.push_back(Ms(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-56s best %8.2f ms  median %8.2f ms  (%d rows)\n", name, times.front(),
                times[times.size() / 2], rows);
}

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/lumetra-bench-app-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string db = dir + "/exams.db";

    auto made = Clock::now();
    MakeArchive(db);
    std::printf("made %d exam rows in %.0f ms\n", kRows, Ms(made));
    TIniFile(dir + "/lumetra.ini").WriteString("db", "dbfile", db);

    // Start-up as the program does it: the application, the main window, the data module
    // (which connects), then the window shown and painted.
    const auto start = Clock::now();
    TApplication* app = Application();
    TExamBrowser b = StartExamBrowser(app, dir);
    b.MainForm->Show();
    app->ProcessMessages();
    std::printf("%-56s %8.2f ms\n", "start to main window shown (first, in process)", Ms(start));
    if (!DM->Mconnect->Connected()) {
        std::fprintf(stderr, "the archive did not connect\n");
        return 1;
    }
    Time("main window created and shown again (in process)", 5, [&] {
        delete b.MainForm;
        delete b.DataModule;
        b = StartExamBrowser(app, dir);
        b.MainForm->Show();
        app->ProcessMessages();
        return 0;
    });

    TMainForm* form = b.MainForm;
    Time("default query (last 30 days) to first rows shown", 7,
         [&] { return QueryAndShowFirstRows(form); });
    form->edt_name->SetText("张");
    Time("name 张, last 30 days, to first rows shown", 7,
         [&] { return QueryAndShowFirstRows(form); });
    form->sq_jcdatemin->SetDate(std::floor(Date()) - 800);
    Time("name 张 over the whole archive to first rows shown", 5,
         [&] { return QueryAndShowFirstRows(form); });
    form->edt_name->SetText("");
    Time("no text filter, whole archive (100k rows) to first rows", 3,
         [&] { return QueryAndShowFirstRows(form); });
    Time("  of which the exam query alone opens (100k rows)", 3, [&] {
        DM->Mqry->Close();
        DM->Mqry->Open();
        return DM->Mqry->RecordCount();
    });
    delete b.MainForm;
    delete b.DataModule;

    if (argc > 1) {
        // The real program in a folder of its own, on the same archive.
        const std::string exe = dir + "/lumetra";
        std::filesystem::copy_file(argv[1], exe);
        Time("real program: start, query, list written, exit", 3, [&] {
            const auto pid = ::fork();
            if (pid == 0) {
                ::setenv("LUMETRA_TEST_GRID_DUMP", (dir + "/grid.txt").c_str(), 1);
                ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        });
    }
    std::filesystem::remove_all(dir);
    return 0;
}
