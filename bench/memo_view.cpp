// Memo costs per output: FetchData of a memo with two bracketed expressions, one with a numeric
// format (Calc answered from a table), and CalcHeight of a four-line 8-point memo measured
// through the installed text layout.

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/text_drawing_adapter.h"
#include "report/memo_view.h"

namespace {

using Clock = std::chrono::steady_clock;

class TTableReport : public TpgwCustomReport {
    LUMETRA_CLASS(TTableReport, TpgwCustomReport)
public:
    explicit TTableReport(TComponent* owner) : TpgwCustomReport(owner) {}
    Variant Calc(const std::string& expression) override {
        if (expression == "Patient") return Variant("Wang Wei");
        if (expression == "Size") return Variant(12.5);
        return Variant::Null();
    }
};

template <class F> double microsecondsPerCall(int calls, F&& f) {
    for (int i = 0; i < calls / 10; ++i)
        f(); // warm-up
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

} // namespace

int main() {
    InstallEngineTextDrawing();
    RegisterViewClasses();
    RegisterMemoClasses();
    TTableReport report(nullptr);

    auto* fetched = new TpgwMemoView(&report);
    fetched->SetBounds(0, 0, 300, 20);
    fetched->SetText("Patient: [Patient], size [Size #N%2.2f] cm");
    const double fetch = microsecondsPerCall(200000, [&] {
        fetched->SaveForPrint();
        fetched->FetchData();
        fetched->RestoreAfterPrint();
    });

    auto* measured = new TpgwMemoView(&report);
    measured->SetBounds(0, 0, 200, 60);
    measured->Font()->SetName("Arial");
    measured->Font()->SetSize(8);
    measured->SetText("Liver: normal size, homogeneous echo pattern.\r\n"
                      "Gallbladder: well distended, no stones.\r\n"
                      "Pancreas and spleen unremarkable.\r\n"
                      "Impression: no abnormality.");
    const double height = microsecondsPerCall(50000, [&] { measured->CalcHeight(); });

    std::printf("memo FetchData, two brackets and a numeric format: %.2f us (budget 10)\n", fetch);
    std::printf("memo CalcHeight, four lines at 8 pt:                %.2f us (budget 30)\n",
                height);
    return fetch < 10 && height < 30 ? 0 : 1;
}
