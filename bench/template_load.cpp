// Loading and saving a template of 2,000 report objects (a report, 10 pages, 200 bands and
// 1,800 memos with fonts, frames and cross references) through the template serializer.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/graphics/font.h"
#include "report/component.h"
#include "report/xml_serializer.h"

namespace {

class TBenchFrame : public TPersistent {
    LUMETRA_CLASS(TBenchFrame, TPersistent)
public:
    static void RegisterProperties(TClassBuilder<TBenchFrame>& b) {
        b.Add("Color", TypeInfoColor(), &TBenchFrame::color, [](TBenchFrame& f, int v) {
             f.color = v;
         }).Default(0);
        b.Add("Typ", TypeInfoInteger(), &TBenchFrame::typ, [](TBenchFrame& f, int v) {
             f.typ = v;
         }).Default(0);
        b.Add("Width", TypeInfoDouble(), &TBenchFrame::width,
              [](TBenchFrame& f, double v) { f.width = v; });
    }
    int color = 0;
    int typ = 0;
    double width = 1;
};

class TBenchView : public TpgwReportComponent {
    LUMETRA_CLASS(TBenchView, TpgwReportComponent)
public:
    explicit TBenchView(TComponent* owner) : TpgwReportComponent(owner) {}
    static void RegisterProperties(TClassBuilder<TBenchView>& b) {
        b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
        b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
        b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
        b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
        b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
              &TpgwComponent::SetFont)
            .Stored(&TpgwComponent::IsFontStored);
        b.Add(
            "Frame", TypeInfoOfClass(TBenchFrame::StaticClass()),
            [](TBenchView& v) { return &v.frame; }, nullptr);
        b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
              &TpgwComponent::SetParentFont)
            .Default(1);
        b.Add("Link", TypeInfoOfClass(TBenchView::StaticClass()), &TBenchView::link,
              [](TBenchView& v, TBenchView* l) { v.link = l; });
    }
    void Draw(TCanvas&, double, double, double, double) override {}
    TBenchFrame frame;
    TBenchView* link = nullptr;
};

class TBenchMemo : public TBenchView, public TpgwTemplateTextHolder {
    LUMETRA_CLASS(TBenchMemo, TBenchView)
public:
    explicit TBenchMemo(TComponent* owner) : TBenchView(owner) {}
    std::u16string TemplateText() const override { return text; }
    void SetTemplateText(std::u16string_view t) override { text = t; }
    std::u16string text;
};

class TBenchReport : public TpgwCustomReport {
    LUMETRA_CLASS(TBenchReport, TpgwCustomReport)
public:
    explicit TBenchReport(TComponent* owner) : TpgwCustomReport(owner) {}
};

std::string buildTemplate() {
    TBenchReport report(nullptr);
    int n = 1;
    for (int p = 0; p < 10; ++p) {
        auto* page = new TBenchView(&report);
        page->SetName("Page" + std::to_string(p + 1));
        page->SetBounds(0, 0, 794, 1123);
        ++n;
        TBenchView* previousBand = nullptr;
        for (int b = 0; b < 20; ++b) {
            auto* band = new TBenchView(page);
            band->SetName("Band" + std::to_string(p * 20 + b + 1));
            band->SetBounds(0, b * 50.5, 718.1, 40);
            if (previousBand) previousBand->link = band; // forward references
            previousBand = band;
            ++n;
            for (int m = 0; m < 9; ++m) {
                auto* memo = new TBenchMemo(band);
                memo->SetName("Memo" + std::to_string(n));
                memo->SetBounds(m * 79.37, 2.5, 75.59, 18.9);
                memo->text = u"[Exams.\"name\"] 第" + std::u16string(1, u'0' + m) + u"行";
                memo->frame.typ = m % 16;
                if (m % 3 == 0) memo->Font()->SetStyle(TFontStyles{fsBold});
                memo->link = band;
                ++n;
            }
        }
    }
    std::fprintf(stdout, "objects: %d\n", n);
    TStringStream out;
    report.SaveToStream(out);
    return out.DataString();
}

template <class F> double bestOf(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

} // namespace

int main() {
    RegisterClasses<TBenchReport, TBenchView, TBenchMemo>();
    const std::string xml = buildTemplate();
    std::fprintf(stdout, "template: %zu bytes\n", xml.size());

    double fresh = 1e30;
    for (int i = 0; i < 10; ++i) {
        TBenchReport empty(nullptr);
        TStringStream in(xml);
        const auto t0 = std::chrono::steady_clock::now();
        empty.LoadFromStream(in);
        const auto t1 = std::chrono::steady_clock::now();
        fresh = std::min(fresh, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::fprintf(stdout, "load into an empty report: %.2f ms (best of 10)\n", fresh);

    // Loading over a loaded template also frees the 2,000 objects it held.
    TBenchReport report(nullptr);
    const double load = bestOf(10, [&] {
        TStringStream in(xml);
        report.LoadFromStream(in);
    });
    if (report.Errors().Count() > 0)
        std::fprintf(stdout, "errors: %s\n", report.Errors().Strings(0).c_str());
    std::string saved;
    const double save = bestOf(10, [&] {
        TStringStream out;
        report.SaveToStream(out);
        saved = out.DataString();
    });
    std::fprintf(stdout, "load over a loaded template: %.2f ms (best of 10)\n", load);
    std::fprintf(stdout, "save 2,000 objects: %.2f ms (best of 10)\n", save);
    std::fprintf(stdout, "round trip identical: %s\n", saved == xml ? "yes" : "no");
    return saved == xml ? 0 : 1;
}
