// The prepared-page store: 10,000 pages of 40 objects written with the file cache, peak memory
// and its growth, building a swapped-out page back, and a saved 1,000-page report loaded to its
// first page.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "engine/preview_pages.h"
#include "platform/core/safe_file.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Resident set size now, in MB.
double RssMB() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return double(resident) * 4096 / 1048576;
}

double PeakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024;
}

struct Template {
    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
    TpgwMasterData* data = new TpgwMasterData(page);
    std::vector<TpgwMemoView*> memos;
    Template() {
        page->SetName("Page1");
        data->SetName("MasterData1");
        data->SetBounds(0, 0, 700, 24);
        for (int i = 0; i < 10; ++i) {
            auto* m = new TpgwMemoView(data);
            m->SetName("Memo" + std::to_string(i + 1));
            m->SetBounds(70 * i, 2, 66, 20);
        }
        for (TpgwComponent* c : data->Objects())
            memos.push_back(static_cast<TpgwMemoView*>(c));
    }
    TpgwPreviewPages& pages() { return *static_cast<TpgwPreviewPages*>(report.PreviewPages()); }
};

// Four data rows of a band and ten memos: 44 objects a page.
void Fill(Template& t, int count, double* rssAt1000) {
    TpgwPreviewPages& p = t.pages();
    p.Initialize();
    p.AddSourcePage(t.page);
    p.BeginPass();
    for (int i = 0; i < count; ++i) {
        p.AddPage(t.page);
        for (int row = 0; row < 4; ++row) {
            t.data->SetTop(30.0 * row);
            for (std::size_t m = 0; m < t.memos.size(); ++m)
                t.memos[m]->SetText("Exam " + std::to_string(i) + "/" + std::to_string(row) +
                                    " field " + std::to_string(m));
            p.AddObject(t.data);
        }
        if (i + 1 == 1000 && rssAt1000) *rssAt1000 = RssMB();
    }
    p.ResetLogicalPageNumber();
    p.Finish();
}

} // namespace

int main() {
    ObjectModelStartup();
    InstallPreviewPages();
    const double rssStart = RssMB();
    {
        Template t;
        t.report.EngineOptions()->SetUseFileCache(true);
        double rss1000 = 0;
        const auto start = Clock::now();
        Fill(t, 10000, &rss1000);
        const double ms = Ms(start);
        const double rss10000 = RssMB();
        std::printf("store 10000 pages x 44 objects: %.0f ms, %.0f pages/s\n", ms,
                    10000 / (ms / 1000));
        std::printf("RSS start %.1f MB, page 1000 %.1f MB, page 10000 %.1f MB (growth %.1f MB), "
                    "peak %.1f MB\n",
                    rssStart, rss1000, rss10000, rss10000 - rss1000, PeakMB());
        TpgwPreviewPages& p = t.pages();
        double worst = 0, total = 0;
        for (int i = 100; i < 9000; i += 97) {
            const auto s = Clock::now();
            p.GetPage(i);
            const double one = Ms(s);
            worst = std::max(worst, one);
            total += one;
        }
        std::printf("swapped page built back: mean %.3f ms, worst %.3f ms\n", total / 92, worst);
    }
    const std::string path = TempFolder() + "/lumetra_bench_pp.pp3";
    {
        Template t;
        Fill(t, 1000, nullptr);
        const auto s = Clock::now();
        t.pages().SaveToFile(path);
        std::printf("save 1000 pages: %.1f ms\n", Ms(s));
    }
    {
        TpgwReport fresh(nullptr);
        auto& p = *static_cast<TpgwPreviewPages*>(fresh.PreviewPages());
        const auto s = Clock::now();
        p.LoadFromFile(path, true);
        TpgwComponent* first = p.GetPage(0);
        std::printf("LoadFromFile of 1000 pages to page 1 built: %.1f ms (%zu bands)\n", Ms(s),
                    first->Objects().size());
    }
    std::remove(path.c_str());
    return 0;
}
