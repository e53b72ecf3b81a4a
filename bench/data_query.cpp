// The exam query on the data layer: a 100,000-row SQLite exam table filtered by name and
// report date through the Jet provider, and opening a Jet file cold and from its copy.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/data/ado.h"

namespace {

constexpr int kRows = 100'000;

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// Best and median of several runs of body (which returns a row count).
template <class Body> void Time(const char* name, int runs, Body body) {
    std::vector<double> times;
    int rows = 0;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        rows = body();
        times.push_back(Ms(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-52s best %8.2f ms  median %8.2f ms  (%d rows)\n", name, times.front(),
                times[times.size() / 2], rows);
}

void MakeExamTable(const std::string& path) {
    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=SQLite;Data Source=" + path);
    conn.Execute("create table patient (id INTEGER, csid INTEGER, name VARCHAR(20), sex "
                 "VARCHAR(2), age VARCHAR(4), "
                 "songjianpart VARCHAR(20), jianchadoc VARCHAR(10), baogaoriqi DATETIME, "
                 "jinchasuojian LONGTEXT, "
                 "jianchajielun LONGTEXT, money CURRENCY, imagepath VARCHAR(100), rep_format "
                 "VARCHAR(60), lock BOOLEAN)");
    const char* family[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴", "徐", "孙"};
    const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊",
                           "军", "洋", "勇", "艳", "杰", "娟", "涛"};
    std::mt19937 rng(42);
    TADOCommand insert(nullptr);
    insert.SetConnection(&conn);
    insert.SetCommandText("insert into patient values (:id, :csid, :name, :sex, :age, :part, :doc, "
                          ":d, :f, :c, :m, :img, :rep, :lock)");
    TParameters& p = *insert.Parameters();
    conn.Execute("begin");
    const TDateTime first = EncodeDate(2009, 1, 1);
    for (int i = 1; i <= kRows; ++i) {
        p.Items(0)->SetValue(i);
        p.Items(1)->SetValue(100000 + i);
        p.Items(2)->SetValue(Variant(std::string(family[rng() % 12]) + given[rng() % 15] +
                                     (rng() % 2 ? given[rng() % 15] : "")));
        p.Items(3)->SetValue(Variant(rng() % 2 ? "男" : "女"));
        p.Items(4)->SetValue(Variant(std::to_string(18 + rng() % 60)));
        p.Items(5)->SetValue(Variant("体检中心"));
        p.Items(6)->SetValue(Variant(std::string(family[rng() % 12]) + given[rng() % 15]));
        p.Items(7)->SetValue(Variant::FromDate(first + (rng() % (730 * 24 * 60)) / (24.0 * 60)));
        p.Items(8)->SetValue(
            Variant("肝脏形态大小正常，包膜光整，实质回声均匀。CDFI：未见明显异常血流信号。"));
        p.Items(9)->SetValue(Variant("未见明显异常"));
        p.Items(10)->SetValue(static_cast<double>(rng() % 30000) / 100);
        p.Items(11)->SetValue(Variant("D:\\kelvdata\\病人图像\\" + std::to_string(i)));
        p.Items(12)->SetValue(Variant("D:\\kelvdata\\reportformat\\a4p2.pg3"));
        p.Items(13)->SetValue(rng() % 2 == 0);
        insert.Execute();
    }
    conn.Execute("commit");
}

int OpenQuery(TADOConnection& conn, const std::string& sql) {
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    q.SetCursorType(ctStatic);
    q.SQL().SetText(sql);
    q.Open();
    return q.RecordCount();
}

} // namespace

int main() {
    FormatSettings().ShortDateFormat = "yyyy-m-d";
    FormatSettings().DateSeparator = '-';
    char pattern[] = "/tmp/lumetra-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = pattern;

    auto start = std::chrono::steady_clock::now();
    MakeExamTable(dir + "/exams.db");
    std::printf("made %d exam rows in %.0f ms\n", kRows, Ms(start));

    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir +
                             "/exams.db;Jet OLEDB:Database Password=5827140");
    conn.Open();
    const std::string head = "select * from patient\r\n";
    Time("name like + 30-day range (100k SQLite rows)", 7, [&] {
        return OpenQuery(conn, head + " where  name like '%%张%%'and BaoGaoriqi>=#2010-9-1 "
                                      "00:00:00# and BaoGaoriqi<=#2010-9-30 23:59:59#");
    });
    Time("name + doctor like + 1-year range", 7, [&] {
        return OpenQuery(
            conn, head + " where  name like '%%张%%' and jianchadoc like '%%李%%'and "
                         "BaoGaoriqi>=#2009-6-1 00:00:00# and BaoGaoriqi<=#2010-5-31 23:59:59#");
    });
    Time("csid= + range", 7, [&] {
        return OpenQuery(conn, head + " where  csid=150000 and BaoGaoriqi>=#2009-1-1 00:00:00# and "
                                      "BaoGaoriqi<=#2010-12-31 23:59:59#");
    });
    Time("bare 30-day range (no text filter)", 7, [&] {
        return OpenQuery(conn, head + " where  BaoGaoriqi>=#2010-9-1# and BaoGaoriqi<=#2010-9-30#");
    });

    const std::string mdb = std::string(LUMETRA_SHARED_DIR) + "/fixtures/jet/exams.mdb";
    if (std::filesystem::exists(mdb)) {
        setenv("LUMETRA_CACHE_DIR", (dir + "/cache").c_str(), 1);
        const std::string cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb +
                               ";Jet OLEDB:Database Password=5827140";
        Time("exams.mdb (400 rows): connect cold + select *", 1, [&] {
            TADOConnection c(nullptr);
            c.SetConnectionString(cs);
            c.Open();
            return OpenQuery(c, "select * from patient");
        });
        Time("exams.mdb (400 rows): connect cached + select *", 7, [&] {
            TADOConnection c(nullptr);
            c.SetConnectionString(cs);
            c.Open();
            return OpenQuery(c, "select * from patient");
        });
    } else {
        std::printf("exams.mdb is absent: Jet timings skipped\n");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
