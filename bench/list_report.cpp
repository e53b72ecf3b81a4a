// The list report of bench/list-report over N rows served from memory (default 10,000):
// wall time of the preparation (both passes, the store swapping to its temporary file), the
// page count and the peak resident memory.
//   bench_list_report [N]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/list-report/list_report_data.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "platform/core/date_time.h"
#include "platform/core/text.h"
#include "report/data_set.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"
#include "report/variables.h"
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

void PrintErrors(TpgwReport& report) {
    for (int i = 0; i < report.Errors().Count(); ++i)
        std::fprintf(stderr, "%s\n", report.Errors().Strings(i).c_str());
}

// The rows as the report reads them: the date as a date, the amount as a number.
struct Row {
    Variant Id, Name, Date, Amount, Note, Category;
};

int Bench(int count) {
    const auto generating = Clock::now();
    std::vector<Row> rows;
    rows.reserve(std::size_t(count));
    const TDateTime firstDay = EncodeDate(2024, 1, 1);
    for (int id = 1; id <= count; ++id) {
        const ListReportRow r = ListReportRowOf(id);
        rows.push_back({Variant(id), Variant(r.Name), Variant::FromDate(firstDay + r.DayOffset),
                        Variant(r.Amount), Variant(r.Note), Variant(r.Category)});
    }
    const double generateMs = Ms(generating);

    TpgwUserDataSet sales(nullptr);
    sales.SetName("Sales");
    sales.Fields()->SetText("id\nname\ndate\namount\nnote\ncategory");
    sales.SetRangeEnd(reCount);
    sales.SetRangeEndCount(count);
    sales.OnGetValue = [&](const std::string& field, Variant& value) {
        const int n = sales.RecNo();
        if (n < 0 || n >= count) return;
        const Row& r = rows[std::size_t(n)];
        if (SameText(field, "id"))
            value = r.Id;
        else if (SameText(field, "name"))
            value = r.Name;
        else if (SameText(field, "date"))
            value = r.Date;
        else if (SameText(field, "amount"))
            value = r.Amount;
        else if (SameText(field, "note"))
            value = r.Note;
        else if (SameText(field, "category"))
            value = r.Category;
    };

    TpgwReport report(nullptr);
    report.EngineOptions()->SetNewSilentMode(simSilent);
    report.EngineOptions()->SetUseFileCache(true);
    const auto loading = Clock::now();
    report.LoadFromFile(std::string(LUMETRA_SOURCE_DIR) + "/bench/list-report/list-report.pg3",
                        true);
    const double loadMs = Ms(loading);
    if (report.Errors().Count() > 0) {
        PrintErrors(report);
        return 1;
    }
    report.Variables()->SetVariables("Rows", Variant(std::to_string(count)));

    const auto preparing = Clock::now();
    const bool prepared = report.BuildPreparedPages();
    const double prepareMs = Ms(preparing);
    if (!prepared) {
        PrintErrors(report);
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
