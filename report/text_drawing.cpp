#include "report/text_drawing.h"

#include <mutex>
#include <unordered_map>

#include "platform/core/component.h"
#include "report/component.h"

namespace {

struct Installation {
    std::mutex mutex;
    TpgwTextDrawing* shared = nullptr;
    TpgwTextDrawingFactory perReport;
    std::unordered_map<const TComponent*, TpgwTextDrawing*> byReport;
};

Installation& installation() {
    static Installation* state = new Installation; // outlives every report
    return *state;
}

// Owned by its report, so that the report's instance goes with it; the map entry goes too.
class TReportTextDrawingHolder : public TComponent {
public:
    TReportTextDrawingHolder(TComponent* report, std::unique_ptr<TpgwTextDrawing> drawing)
        : TComponent(report), report_(report), drawing_(std::move(drawing)) {}
    ~TReportTextDrawingHolder() override {
        Installation& state = installation();
        std::lock_guard guard(state.mutex);
        if (auto it = state.byReport.find(report_);
            it != state.byReport.end() && it->second == drawing_.get())
            state.byReport.erase(it);
    }
    TpgwTextDrawing* Drawing() const { return drawing_.get(); }

private:
    const TComponent* report_;
    std::unique_ptr<TpgwTextDrawing> drawing_;
};

} // namespace

void InstallTextDrawing(TpgwTextDrawing* shared, TpgwTextDrawingFactory perReport) {
    Installation& state = installation();
    std::lock_guard guard(state.mutex);
    state.shared = shared;
    state.perReport = shared ? std::move(perReport) : nullptr;
}

TpgwTextDrawing* SharedTextDrawing() {
    Installation& state = installation();
    std::lock_guard guard(state.mutex);
    return state.shared;
}

TpgwTextDrawing* TextDrawingFor(TpgwCustomReport* report) {
    Installation& state = installation();
    TpgwTextDrawingFactory factory;
    {
        std::lock_guard guard(state.mutex);
        if (!report || !state.perReport) return state.shared;
        if (auto it = state.byReport.find(report); it != state.byReport.end()) return it->second;
        factory = state.perReport;
    }
    std::unique_ptr<TpgwTextDrawing> drawing = factory();
    if (!drawing) return SharedTextDrawing();
    auto* holder = new TReportTextDrawingHolder(report, std::move(drawing));
    std::lock_guard guard(state.mutex);
    state.byReport[report] = holder->Drawing();
    return holder->Drawing();
}
