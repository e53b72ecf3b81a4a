// The preview over the list report of bench/list-report (default 10,000 rows, pages swapped out
// to the store's file as the engine leaves them), offscreen on a raster surface:
// - the preview window opening on the prepared report until page 1 is painted;
// - Next and Page Down, each until the following page is painted;
// - a one-pass variant shown through the report's timer: from the timer firing until the first
//   page is painted in the window.
//   bench_preview [ROWS]
// Each figure is the median of several rounds; a round ends when the page area has been painted
// into the window (a synchronous repaint, then the events the command left).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/list-report/list_report_setup.h"
#include "bench/timing.h"
#include "engine/engine_module.h"
#include "engine/preview.h"
#include "engine/preview_pages.h"
#include "platform/ui/application.h"
#include "platform/ui/form.h"
#include "platform/ui/timer.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"

namespace {

TpgwPreview* ShownPreview(TpgwReport& report) {
    return dynamic_cast<TpgwPreview*>(report.Preview());
}

void Paint(TpgwPreview& preview) {
    preview.Workspace()->Repaint();
    Application()->ProcessMessages();
}

// Whether the workspace shows page pageNo's paper (white) where it should: a bench that timed
// nothing would be worse than none.
bool ShowsPage(TpgwPreview& preview, int pageNo) {
    TpgwPreviewWorkspace& ws = *preview.Workspace();
    const TRasterImage image = ws.GrabImage();
    const TRect r =
        ws.Model.PageList.GetPageBounds(pageNo - 1, ws.ClientRect().Width(), false, ws.Zoom());
    const int x = r.Left - ws.Model.Offset.X + 3, y = r.Top - ws.Model.Offset.Y + 3;
    return x >= 0 && y >= 0 && x < image.Width && y < image.Height &&
           (image.At(x, y) & 0xFFFFFF) == 0xFFFFFF;
}

void CloseWindow(TpgwReport& report) {
    if (TForm* form = report.PreviewForm()) delete form;
    Application()->ProcessMessages();
}

int Bench(int count) {
    constexpr int kRounds = 7;
    ListReportSales sales(count);
    TpgwReport report(nullptr);
    if (!LoadListReport(report, count)) return 1;
    report.PreviewOptions()->SetModal(false);
    report.PreviewOptions()->SetMaximized(false);
    if (!report.BuildPreparedPages()) {
        PrintReportErrors(report);
        return 1;
    }
    const int pages = report.PreviewPages()->GetCount();
    std::printf("list report, %d rows: %d pages (two passes)\n", count, pages);

    std::vector<double> open, next, pageDown;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        report.ShowPreparedReport();
        TpgwPreview* preview = ShownPreview(report);
        if (!preview) {
            std::printf("no preview window is installed\n");
            return 1;
        }
        Paint(*preview);
        open.push_back(Ms(start));
        if (!ShowsPage(*preview, 1)) {
            std::printf("the window does not show page 1\n");
            return 1;
        }

        for (int i = 0; i < 5; ++i) {
            start = Clock::now();
            preview->Next();
            Paint(*preview);
            next.push_back(Ms(start));
        }
        if (!ShowsPage(*preview, preview->PageNo()) || preview->PageNo() != 6) {
            std::printf("Next does not show the following page\n");
            return 1;
        }
        for (int i = 0; i < 5; ++i) {
            start = Clock::now();
            std::uint16_t key = VK_NEXT;
            preview->KeyCommand(key, 0);
            Paint(*preview);
            pageDown.push_back(Ms(start));
        }
        CloseWindow(report);
    }
    std::printf("window opened, page 1 painted: %.1f ms\n", Median(open));
    std::printf("Next, following page painted: %.1f ms\n", Median(next));
    std::printf("Page Down, painted: %.1f ms\n", Median(pageDown));

    // One pass through the timer: the window opens at once, the pages come as they are built.
    report.EngineOptions()->SetDoublePass(false);
    std::vector<double> first;
    for (int round = 0; round < 3; ++round) {
        report.ShowReport();
        TTimer* timer = report.Timer();
        auto fire = timer->OnTimer();
        Clock::time_point fired;
        double shown = -1;
        timer->SetOnTimer([&](TObject* sender) {
            fired = Clock::now();
            fire(sender);
        });
        report.OnProgress = [&](TObject*, int type, int page) {
            // Page 2 is announced once page 1 has been laid out and the events let through.
            if (type != ptRunning || page != 2 || shown >= 0) return;
            if (TpgwPreview* preview = ShownPreview(report)) {
                preview->Workspace()->Repaint();
                shown = Ms(fired);
            }
        };
        while (timer->Enabled() || report.Engine()->Running())
            Application()->ProcessMessages();
        report.OnProgress = nullptr;
        timer->SetOnTimer(fire);
        if (shown < 0) {
            std::printf("one pass: the first page was not shown\n");
            return 1;
        }
        first.push_back(shown);
        CloseWindow(report);
    }
    std::printf("one pass, timer fired to first page painted: %.1f ms (%d pages)\n", Median(first),
                report.PreviewPages()->GetCount());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: bench_preview [ROWS]\n");
        return 2;
    }
    Application();
    RegisterEngineModule();
    StartModules();
    return Bench(count);
}
