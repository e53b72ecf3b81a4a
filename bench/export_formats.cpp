// The image, HTML and RTF exports: a one-page report with four 640 × 480 photographs exported
// to files of each format, and the list report of bench/list-report (default 10,000 rows)
// exported to RTF and HTML; medians of several rounds, the export driver's page loop included.
//   bench_export_formats [ROWS] [FORMAT ...]   (formats: bmp tiff jpeg gif html rtf)

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/export_bench.h"
#include "bench/timing.h"
#include "export/export_formats.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "report/band.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace {

// A photograph-like picture: smooth gradients with fine texture, so that no encoder has it easy.
std::unique_ptr<TBitmap> photo(int variant) {
    auto b = std::make_unique<TBitmap>(640, 480, pf24bit);
    for (int y = 0; y < 480; ++y) {
        std::uint32_t* row = b->ScanLine(y);
        for (int x = 0; x < 640; ++x) {
            const int r = static_cast<int>(127 + 120 * std::sin((x + variant * 40) / 57.0));
            const int g = static_cast<int>(127 + 120 * std::cos((y - variant * 30) / 43.0));
            const int bl = (x * 7 + y * 13 + ((x * y) % 29) * 5 + variant * 60) & 0xFF;
            row[x] = 0xFF000000u | static_cast<std::uint32_t>(r << 16 | g << 8 | bl);
        }
    }
    return b;
}

void buildPicturePage(TpgwReport& report) {
    auto* page = new TpgwReportPage(&report);
    page->SetParent(&report);
    page->SetName("Page1");
    auto* band = new TpgwMasterData(page);
    band->SetParent(page);
    band->SetName("Photos");
    band->SetRowCount(1);
    band->SetBounds(0, 20, 740, 600);
    for (int i = 0; i < 4; ++i) {
        auto* view = new TpgwPictureView(page);
        view->SetParent(band);
        view->SetName("Photo" + std::to_string(i + 1));
        view->SetBounds(40 + (i % 2) * 360, 20 + (i / 2) * 280, 340, 255);
        view->SetStretched(true);
        view->Picture()->SetGraphic(photo(i));
    }
}

struct Timing {
    double median = 0;
    std::uintmax_t bytes = 0;
};

Timing timeExport(TpgwReport& report, const std::string& format, const std::string& folder,
                  int rounds) {
    std::vector<double> times;
    std::uintmax_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::unique_ptr<TpgwCustomExportFilter> filter = MakeExportFilter(format);
        if (!filter) return {-1, 0};
        filter->SetShowDialog(false);
        filter->SetShowProgress(false);
        filter->SetFileName(folder + "/report." + format);
        const auto start = Clock::now();
        if (!report.ExportTo(filter.get())) {
            PrintReportErrors(report);
            return {-1, 0};
        }
        times.push_back(Ms(start));
        bytes = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) bytes += entry.file_size();
    }
    return {Median(times), bytes};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> formats;
    for (int i = 2; i < argc; ++i)
        formats.emplace_back(argv[i]);
    if (formats.empty()) formats = {"bmp", "tiff", "jpeg", "gif", "html", "rtf"};
    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("lumetra_bench_formats_" + std::to_string(::getpid())))
                                   .string();
    const int result = RunExportBench(
        argc, argv, "bench_export_formats [ROWS] [FORMAT ...]", [&](TpgwReport& list, int, char**) {
            TpgwReport pictures(nullptr);
            buildPicturePage(pictures);
            pictures.SetShowProgress(false);
            if (!pictures.BuildPreparedPages()) {
                PrintReportErrors(pictures);
                return 1;
            }
            for (const std::string& format : formats) {
                const Timing t = timeExport(pictures, format, folder, 9);
                if (t.median < 0) {
                    std::printf("%-5s one page, four pictures: no such export\n", format.c_str());
                    continue;
                }
                std::printf("%-5s one page, four pictures: %7.1f ms (%ju bytes)\n", format.c_str(),
                            t.median, t.bytes);
            }
            for (const std::string& format : formats) {
                if (format != "html" && format != "rtf") continue;
                const Timing t = timeExport(list, format, folder, 3);
                if (t.median >= 0)
                    std::printf("%-5s list report: %7.0f ms (%ju bytes)\n", format.c_str(),
                                t.median, t.bytes);
            }
            return 0;
        });
    std::filesystem::remove_all(folder);
    return result;
}
