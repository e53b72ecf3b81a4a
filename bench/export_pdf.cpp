// The PDF export over the list report of bench/list-report (default 10,000 rows), prepared
// once: the whole report into memory, fonts subset, the median of several rounds with the
// export driver's page loop included. Prints the file size and the process's peak resident
// memory; with a file name the last round's file is written there too.
//   bench_export_pdf [ROWS] [FILE]

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/export_bench.h"
#include "bench/timing.h"
#include "export/pdf_export.h"
#include "platform/core/stream.h"
#include "report/report.h"

namespace {

// The driver's page loop alone, for telling the export's own share.
class NullFilter : public TpgwCustomExportFilter {
public:
    NullFilter() : TpgwCustomExportFilter(UnlistedTag{}) {
        SetShowDialog(false);
        SetShowProgress(false);
    }
    void WriteItem(TpgwComponent*) override {}
};

int Bench(TpgwReport& report, const char* file) {
    std::vector<double> times, loop;
    std::int64_t bytes = 0;
    for (int round = 0; round < 5; ++round) {
        TpgwPDFExport pdf(TpgwCustomExportFilter::UnlistedTag{});
        pdf.SetShowDialog(false);
        pdf.SetShowProgress(false);
        TMemoryStream out;
        pdf.SetTargetStream(&out);
        const auto start = Clock::now();
        if (!report.ExportTo(&pdf)) {
            PrintReportErrors(report);
            return 1;
        }
        times.push_back(Ms(start));
        NullFilter null;
        const auto nullStart = Clock::now();
        report.ExportTo(&null);
        loop.push_back(Ms(nullStart));
        bytes = out.Size();
        if (file && round == 4)
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(out.Memory()), out.Size());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("PDF export: %.0f ms (%lld bytes), peak resident %ld MB; the page loop alone "
                "%.0f ms\n",
                Median(times), static_cast<long long>(bytes), usage.ru_maxrss / 1024, Median(loop));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunExportBench(argc, argv, "bench_export_pdf [ROWS] [FILE]",
                          [](TpgwReport& report, int argc, char** argv) {
                              return Bench(report, argc > 2 ? argv[2] : nullptr);
                          });
}
