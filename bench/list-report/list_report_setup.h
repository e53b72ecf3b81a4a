#pragma once
// What the list-report benchmarks share: the "Sales" data set serving the rows of
// list_report_data.h from memory, and the template loaded for a row count.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/list-report/list_report_data.h"
#include "platform/core/date_time.h"
#include "platform/core/text.h"
#include "report/data_set.h"
#include "report/options.h"
#include "report/report.h"
#include "report/variables.h"

// The data set "Sales" over rows 1 to count, made up front so that preparing reads them at
// memory speed. Create it before the report: the report finds it by name while it prepares.
class ListReportSales {
public:
    explicit ListReportSales(int count) : count_(count), sales_(nullptr) {
        rows_.reserve(std::size_t(count));
        const TDateTime firstDay = EncodeDate(2024, 1, 1);
        for (int id = 1; id <= count; ++id) {
            const ListReportRow r = ListReportRowOf(id);
            rows_.push_back({Variant(id), Variant(r.Name),
                             Variant::FromDate(firstDay + r.DayOffset), Variant(r.Amount),
                             Variant(r.Note), Variant(r.Category)});
        }
        sales_.SetName("Sales");
        sales_.Fields()->SetText("id\nname\ndate\namount\nnote\ncategory");
        sales_.SetRangeEnd(reCount);
        sales_.SetRangeEndCount(count);
        sales_.OnGetValue = [this](const std::string& field, Variant& value) {
            const int n = sales_.RecNo();
            if (n < 0 || n >= count_) return;
            const Row& r = rows_[std::size_t(n)];
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
    }
    // The data set's handler points back here.
    ListReportSales(const ListReportSales&) = delete;
    ListReportSales& operator=(const ListReportSales&) = delete;

private:
    // The rows as the report reads them: the date as a date, the amount as a number.
    struct Row {
        Variant Id, Name, Date, Amount, Note, Category;
    };
    int count_;
    std::vector<Row> rows_;
    TpgwUserDataSet sales_;
};

inline void PrintReportErrors(TpgwReport& report) {
    for (int i = 0; i < report.Errors().Count(); ++i)
        std::fprintf(stderr, "%s\n", report.Errors().Strings(i).c_str());
}

// Loads the list-report template silently and gives it the row count for its title; false,
// with the errors printed, when the template does not load.
inline bool LoadListReport(TpgwReport& report, int count) {
    report.EngineOptions()->SetNewSilentMode(simSilent);
    report.LoadFromFile(std::string(LUMETRA_SOURCE_DIR) + "/bench/list-report/list-report.pg3",
                        true);
    if (report.Errors().Count() > 0) {
        PrintReportErrors(report);
        return false;
    }
    report.Variables()->SetVariables("Rows", Variant(std::to_string(count)));
    return true;
}
