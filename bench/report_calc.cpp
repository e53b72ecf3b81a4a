// The report's Calc: a cached expression over a data field, and a direct field lookup (µs per
// call). The engine's budget for list reports rests on these figures.

#include <chrono>
#include <cstdio>
#include <memory>

#include "report/data_set.h"
#include "report/expression_cache.h"
#include "report/report.h"
#include "report/report_data_sets.h"
#include "report/variables.h"
#include "script/script.h"
#include "script/sys_functions.h"

namespace {

class TBenchDataSet : public TpgwDataSet {
public:
    explicit TBenchDataSet(TComponent* owner) : TpgwDataSet(owner) {}
    Variant GetValue(const std::string& field) override {
        return field == "Price" ? Variant(12.5) : Variant::Null();
    }
};

template <class Body> void Time(const char* name, int count, Body body) {
    body(); // compiles the expression once
    auto start = std::chrono::steady_clock::now();
    Variant result;
    for (int i = 0; i < count; ++i)
        result = body();
    std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%-44s %7.3f us/call   (result %s)\n", name, elapsed.count() / count,
                result.AsString().c_str());
}

} // namespace

int main() {
    ksRegisterSysFunctions();
    TpgwReport report(nullptr);
    TBenchDataSet data(nullptr);
    data.SetUserName("Data");
    report.DataSets()->Add(&data);
    for (int i = 0; i < 20; ++i)
        report.Variables()->SetVariables("Var" + std::to_string(i), Variant(i));
    if (!report.SetUpScript()) return 1;

    Time("Calc <Data.\"Price\"> * 2 (cached)", 200'000,
         [&] { return report.Calc("<Data.\"Price\"> * 2"); });
    Time("Calc Data.\"Price\" (direct lookup)", 2'000'000,
         [&] { return report.Calc("Data.\"Price\""); });
    Time("Calc 1 + 2 (cached, no field)", 200'000, [&] { return report.Calc("1 + 2"); });
    return 0;
}
