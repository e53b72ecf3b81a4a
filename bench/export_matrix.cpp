// The table-like exports over the list report of bench/list-report (default 10,000 rows),
// prepared once:
// - all pages through one layout matrix, as the RTF and OpenDocument exports use it: every
//   object through AddObject, AddPage at each page end, then Prepare;
// - the CSV export of the whole report into memory.
//   bench_export_matrix [ROWS]
// Each figure is the median of several rounds, the export driver's page loop included.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/export_bench.h"
#include "bench/timing.h"
#include "export/csv_export.h"
#include "export/ie_matrix.h"
#include "export/text_matrix.h"
#include "platform/core/stream.h"
#include "report/page.h"
#include "report/report.h"
#include "report/view.h"

namespace {

// Hands every page of a run to one matrix and prepares it at the end.
class MatrixFilter : public TpgwCustomExportFilter {
public:
    MatrixFilter() : TpgwCustomExportFilter(UnlistedTag{}) {
        SetShowDialog(false);
        SetShowProgress(false);
    }
    bool OpenOutput() override {
        matrix = MakeTextMatrix(true, false, 0.5);
        return true;
    }
    void WriteItem(TpgwComponent* object) override {
        if (auto* view = dynamic_cast<TpgwView*>(object)) matrix->AddObject(view);
    }
    void LeavePage(TpgwComponent* page, int index) override {
        auto* p = dynamic_cast<TpgwReportPage*>(page);
        if (!p) return;
        matrix->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                        p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->PaperHeight(),
                        p->PaperWidth());
    }
    void CloseOutput() override { matrix->Prepare(); }
    std::unique_ptr<TpgwIEMatrix> matrix;
};

int Bench(TpgwReport& report) {
    std::vector<double> matrix, csv;
    int rows = 0, columns = 0;
    std::int64_t bytes = 0;
    for (int round = 0; round < 5; ++round) {
        MatrixFilter filter;
        auto start = Clock::now();
        if (!report.ExportTo(&filter)) {
            PrintReportErrors(report);
            return 1;
        }
        matrix.push_back(Ms(start));
        rows = filter.matrix->GridHeight();
        columns = filter.matrix->GridWidth();

        TpgwCSVExport csvFilter(TpgwCustomExportFilter::UnlistedTag{});
        csvFilter.SetShowDialog(false);
        csvFilter.SetShowProgress(false);
        TMemoryStream out;
        csvFilter.SetTargetStream(&out);
        start = Clock::now();
        if (!report.ExportTo(&csvFilter)) {
            PrintReportErrors(report);
            return 1;
        }
        csv.push_back(Ms(start));
        bytes = out.Size();
    }
    std::printf("all pages through one matrix: %.0f ms (%d rows x %d columns)\n", Median(matrix),
                rows, columns);
    std::printf("CSV export: %.0f ms (%lld bytes)\n", Median(csv), static_cast<long long>(bytes));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunExportBench(argc, argv, "bench_export_matrix [ROWS]",
                          [](TpgwReport& report, int, char**) { return Bench(report); });
}
