// The OpenDocument spreadsheet export over the list report of bench/list-report (default 10,000
// rows), prepared once, then exported to an .ods file in the temporary folder: all pages
// through one layout matrix, the package written as a folder and zipped. Prints the median of 5
// rounds with the export driver's page loop included, the file size and the grid's size.
//   bench_export_ods [ROWS] [FILE]
// With a file name the last round is written there (and kept).

#include <cstdio>
#include <string>
#include <vector>

#include "bench/export_bench.h"
#include "bench/timing.h"
#include "export/odf_export.h"
#include "platform/core/files.h"
#include "report/options.h"
#include "report/utils.h"

namespace {

int Bench(TpgwReport& report, const std::string& keep) {
    // Failures go into the report's errors, which end the bench.
    report.EngineOptions()->SetNewSilentMode(simSilent);
    const std::string reserved = keep.empty() ? MakeTempFileName() : std::string();
    const std::string file = keep.empty() ? reserved + ".ods" : keep;
    std::vector<double> times;
    std::int64_t bytes = 0;
    for (int round = 0; round < 5; ++round) {
        TpgwODSExport filter(TpgwCustomExportFilter::UnlistedTag{});
        filter.SetShowDialog(false);
        filter.SetShowProgress(false);
        filter.SetFileName(file);
        const auto start = Clock::now();
        if (!report.ExportTo(&filter) || report.Errors().Count() > 0) {
            PrintReportErrors(report);
            return 1;
        }
        times.push_back(Ms(start));
        bytes = FileSize(file);
    }
    if (keep.empty()) {
        DeleteFile(file);
        DeleteFile(reserved);
    }
    std::printf("OpenDocument spreadsheet export: %.0f ms (%lld bytes)\n", Median(times),
                static_cast<long long>(bytes));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunExportBench(argc, argv, "bench_export_ods [ROWS] [FILE]",
                          [](TpgwReport& report, int count, char** args) {
                              return Bench(report, count > 2 ? args[2] : "");
                          });
}
