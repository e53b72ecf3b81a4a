// A data-set cross-tab of 1,000 rows by 50 columns (50,000 records in a SQLite database read
// through the report's data layer) with AutoSize, prepared into pages: wall time of the whole
// preparation and its split into filling the matrix, completing and laying it out, and the
// output into the page store (wall times; the CPU time of the whole beside it, steadier on a
// busy machine); the page count and the peak resident memory.
//   bench_cross_prepare [ROWS [COLUMNS]]

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/timing.h"
#include "data/db_dataset.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "objects/cross_view.h"
#include "objects/objects_module.h"
#include "platform/data/ado.h"
#include "platform/ui/application.h"
#include "report/band.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/report_data_sets.h"

namespace {

double PeakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024;
}

// Marks the phases of one print: FillMatrix, then the first printed header (the output has
// begun, so completing and laying out are done), then the end of FetchData.
class TBenchCross : public TpgwDBCrossView {
public:
    using TpgwDBCrossView::TpgwDBCrossView;
    void FillMatrix() override {
        fillStart = Clock::now();
        TpgwDBCrossView::FillMatrix();
        fillEnd = Clock::now();
    }
    void FetchData() override {
        HostPrintColumnHeader = [this](TpgwCustomMemoView*, const Variant&, const Variant&,
                                       const Variant&) {
            if (!outputStarted) outputStart = Clock::now();
            outputStarted = true;
        };
        TpgwDBCrossView::FetchData();
        outputEnd = Clock::now();
    }
    Clock::time_point fillStart, fillEnd, outputStart, outputEnd;
    bool outputStarted = false;
};

// User and system time of the process so far.
double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double Between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int Bench(int rows, int columns) {
    const std::string dir = std::filesystem::temp_directory_path().string() + "/lumetra-cross-" +
                            std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    struct Remove {
        std::string path;
        ~Remove() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } remove{dir};

    TADOConnection connection(nullptr);
    connection.SetLoginPrompt(false);
    connection.SetConnectionString("Provider=SQLite;Data Source=" + dir + "/cross.db");
    connection.Open();
    connection.Execute("create table sales (customer TEXT, product TEXT, amount INTEGER)");
    connection.Execute("begin");
    for (int r = 0; r < rows; ++r) {
        char customer[16];
        std::snprintf(customer, sizeof customer, "C%04d", r);
        for (int c = 0; c < columns; ++c) {
            char product[16];
            std::snprintf(product, sizeof product, "P%02d", c);
            connection.Execute(std::string("insert into sales values ('") + customer + "', '" +
                               product + "', " + std::to_string((r * 31 + c * 17) % 1000) + ")");
        }
    }
    connection.Execute("commit");
    TADOQuery query(nullptr);
    query.SetConnection(&connection);
    query.SQL().SetText("select * from sales");

    TpgwReport report(nullptr);
    report.EngineOptions()->SetDestroyForms(false);
    TpgwDBDataset data(nullptr);
    data.SetName("Sales");
    data.SetUserName("Sales");
    data.SetDataSet(&query);
    report.DataSets()->Add(&data);
    auto* page = new TpgwReportPage(&report);
    page->SetName("Page1");
    auto* band = new TpgwMasterData(page);
    band->SetName("Band1");
    band->SetBounds(0, 0, 700, 20);
    band->SetRowCount(1);
    auto* cross = new TBenchCross(band);
    cross->SetName("Cross1");
    cross->SetBounds(0, 0, 200, 20);
    cross->SetDataSet(&data);
    cross->RowFields()->SetText("customer");
    cross->ColumnFields()->SetText("product");
    cross->CellFields()->SetText("amount");

    const auto preparing = Clock::now();
    const double cpuBefore = CpuMs();
    const bool prepared = report.BuildPreparedPages();
    const double prepareMs = Ms(preparing);
    const double prepareCpuMs = CpuMs() - cpuBefore;
    if (!prepared || !cross->outputStarted) {
        std::fprintf(stderr, "the preparation failed: %s\n", report.Errors().Text().c_str());
        return 1;
    }
    std::printf("cross-tab, %d rows x %d columns (%d records), AutoSize\n", rows, columns,
                rows * columns);
    std::printf("prepare: %.0f ms (CPU %.0f ms)\n", prepareMs, prepareCpuMs);
    std::printf("  fill: %.0f ms\n", Between(cross->fillStart, cross->fillEnd));
    std::printf("  complete + layout: %.0f ms\n", Between(cross->fillEnd, cross->outputStart));
    std::printf("  output: %.0f ms\n", Between(cross->outputStart, cross->outputEnd));
    std::printf("pages: %d\n", report.PreviewPages()->GetCount());
    std::printf("peak RSS: %.1f MB\n", PeakMB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int rows = 1000, columns = 50;
    if (argc > 3 || (argc >= 2 && (rows = std::atoi(argv[1])) <= 0) ||
        (argc == 3 && (columns = std::atoi(argv[2])) <= 0)) {
        std::fprintf(stderr, "usage: bench_cross_prepare [ROWS [COLUMNS]]\n");
        return 2;
    }
    Application();
    RegisterEngineModule();
    RegisterObjectsModule();
    RegisterDBDatasetClasses();
    StartModules();
    const int status = Bench(rows, columns);
    StopModules();
    return status;
}
