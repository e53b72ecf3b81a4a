// Output of the list report of bench/list-report over N rows served from memory (default
// 10,000): DrawPage of one page on a raster canvas at zoom 1 (the page already built, and built
// from the store first), and the whole report printed to a PDF file, in pages per second.
//   bench_page_output [ROWS [PDF-FILE]]
// Printing needs a printer to print to the file through: the first printer of the system, or,
// without one, nothing is printed and the bench says so.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/list-report/list_report_setup.h"
#include "bench/timing.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "engine/printers.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"

namespace {

int Bench(int count, const std::string& pdfFile) {
    ListReportSales sales(count);
    TpgwReport report(nullptr);
    if (!LoadListReport(report, count)) return 1;
    const auto preparing = Clock::now();
    if (!report.BuildPreparedPages()) {
        PrintReportErrors(report);
        return 1;
    }
    auto& pages = *static_cast<TpgwPreviewPages*>(report.PreviewPages());
    std::printf("list report, %d rows: %d pages, prepared in %.0f ms\n", count, pages.GetCount(),
                Ms(preparing));

    // DrawPage at zoom 1 of a full page of rows (the second), as the preview draws it.
    const int index = std::min(1, pages.GetCount() - 1);
    int width = 0, height = 0;
    pages.GetPageSize(index, width, height);
    TRasterCanvas canvas(width, height);
    constexpr int kRounds = 50;
    std::vector<double> warm, cold;
    for (int i = 0; i < kRounds; ++i) {
        pages.ClearPageCache();
        auto start = Clock::now();
        pages.DrawPage(index, canvas, 1, 1, 0, 0);
        cold.push_back(Ms(start));
        start = Clock::now();
        pages.DrawPage(index, canvas, 1, 1, 0, 0);
        warm.push_back(Ms(start));
    }
    std::printf("DrawPage, raster %d x %d at zoom 1: %.2f ms (page built), %.2f ms (built from "
                "the store first); medians of %d\n",
                width, height, Median(warm), Median(cold), kRounds);

    // The whole report to a PDF file.
    TpgwPrinters* printers = GetPrinters();
    if (!printers->PrintersInstalled()) {
        std::printf("print to PDF: no printer installed, not measured\n");
        return 0;
    }
    report.PrintOptions()->SetShowDialog(false);
    report.PrintOptions()->SetOutputFileName(pdfFile);
    const auto printing = Clock::now();
    if (!pages.Print()) {
        std::fprintf(stderr, "printing failed\n");
        return 1;
    }
    const double printMs = Ms(printing);
    struct stat st {};
    ::stat(pdfFile.c_str(), &st);
    std::printf("print to PDF on \"%s\": %d pages in %.0f ms, %.0f pages/s, %s %.1f MB\n",
                printers->Printer()->Name().c_str(), pages.GetCount(), printMs,
                pages.GetCount() / (printMs / 1000), pdfFile.c_str(), double(st.st_size) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int count = 10000;
    std::string pdfFile = "/tmp/bench_page_output.pdf";
    if (argc > 3 || (argc >= 2 && (count = std::atoi(argv[1])) <= 0)) {
        std::fprintf(stderr, "usage: bench_page_output [ROWS [PDF-FILE]]\n");
        return 2;
    }
    if (argc == 3) pdfFile = argv[2];
    Application();
    RegisterEngineModule();
    StartModules();
    const int status = Bench(count, pdfFile);
    StopModules();
    return status;
}
