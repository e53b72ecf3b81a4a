#pragma once
// What the export benchmarks share: the row count from the command line, the modules, and the
// list report of bench/list-report prepared once before the exports are timed.
//   bench_export_<name> [ROWS] [more arguments]

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench/list-report/list_report_setup.h"
#include "engine/engine_module.h"
#include "export/export_module.h"
#include "platform/ui/application.h"
#include "report/abstract_bases.h"
#include "report/module_startup.h"
#include "report/report.h"

// run(report, argc, argv) times the exports of the prepared report; its result is the exit code.
inline int RunExportBench(int argc, char** argv, const char* usage,
                          const std::function<int(TpgwReport&, int, char**)>& run) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    Application();
    RegisterEngineModule();
    RegisterExportModule();
    StartModules();

    ListReportSales sales(count);
    TpgwReport report(nullptr);
    if (!LoadListReport(report, count)) return 1;
    report.SetShowProgress(false);
    if (!report.BuildPreparedPages()) {
        PrintReportErrors(report);
        return 1;
    }
    std::printf("list report, %d rows: %d pages\n", count, report.PreviewPages()->GetCount());
    return run(report, argc, argv);
}
