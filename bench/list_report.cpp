// The list report of bench/list-report over N rows served from memory (default 10,000):
// wall time of the preparation (both passes, the store swapping to its temporary file), the
// page count and the peak resident memory.
//   bench_list_report [N]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/list-report/list_report_setup.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"
#include "report/xml_document.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double PeakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024;
}

int Bench(int count) {
    const auto generating = Clock::now();
    ListReportSales sales(count);
    const double generateMs = Ms(generating);

    TpgwReport report(nullptr);
    report.EngineOptions()->SetUseFileCache(true);
    const auto loading = Clock::now();
    if (!LoadListReport(report, count)) return 1;
    const double loadMs = Ms(loading);

    const auto preparing = Clock::now();
    const bool prepared = report.BuildPreparedPages();
    const double prepareMs = Ms(preparing);
    if (!prepared) {
        PrintReportErrors(report);
        return 1;
    }
    auto& pages = *static_cast<TpgwPreviewPages*>(report.PreviewPages());
    int swapped = 0;
    if (TpgwXMLItem* list = pages.Root()->FindItem("previewpages"))
        for (int i = 0; i < list->Count(); ++i)
            if (!list->Items(i)->Loaded()) ++swapped;

    std::printf("list report, %d rows (generated in %.0f ms, template loaded in %.1f ms)\n", count,
                generateMs, loadMs);
    std::printf("prepare (both passes): %.0f ms\n", prepareMs);
    std::printf("pages: %d (%d swapped to the temporary file)\n", pages.GetCount(), swapped);
    std::printf("peak RSS: %.1f MB\n", PeakMB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int count = 10000;
    if (argc > 2 || (argc == 2 && (count = std::atoi(argv[1])) <= 0)) {
        std::fprintf(stderr, "usage: bench_list_report [ROWS]\n");
        return 2;
    }
    RegisterEngineModule();
    StartModules();
    const int status = Bench(count);
    StopModules();
    return status;
}
