// The rich text view in a report:
// - a 3 KB exam-report view with 20 bracketed expressions: its RTF loaded, the expressions
//   substituted, its height measured and the view drawn on a page-sized canvas, together;
// - a text of about 50 pages split page by page as the engine splits it.
//   bench_rich_view
// Each figure is the median of several rounds.

#include <cstdio>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "engine/engine_module.h"
#include "objects/objects_module.h"
#include "objects/rich_edit.h"
#include "objects/rich_view.h"
#include "platform/core/stream.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "report/module_startup.h"
#include "report/page.h"
#include "report/report.h"

namespace {

void Load(TpgwRichView& view, const std::string& rtf) {
    TMemoryStream stream;
    stream.Write(rtf.data(), static_cast<std::int64_t>(rtf.size()));
    stream.SetPosition(0);
    view.RichEdit().Lines().LoadFromStream(stream);
}

// About 3 KB: headings, bold findings, Chinese and Latin, 20 expressions.
std::string ExamReport() {
    std::string rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fcharset134 "
                      "\\'cb\\'ce\\'cc\\'e5;}{\\f1\\fcharset0 Arial;}}\\f0\\fs21 ";
    for (int i = 0; i < 20; ++i) {
        rtf += "{\\b\\f1 Item " + std::to_string(i) + ":} \\'b8\\'ce\\'d4\\'e0 [" +
               std::to_string(i) +
               " * 3 + 1] mm, the echotexture is homogeneous "
               "and no focal lesion is seen; flow is normal.\\par ";
    }
    rtf += "}";
    return rtf;
}

std::string LongText(int paragraphs) {
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < paragraphs; ++i)
        rtf += "Paragraph " + std::to_string(i) +
               ": the liver is normal in size with smooth margins and homogeneous echotexture; "
               "no focal lesion is seen and the portal vein is patent.\\par ";
    return rtf + "}";
}

} // namespace

int main() {
    Application();
    RegisterEngineModule();
    RegisterObjectsModule();
    StartModules();
    TpgwReport report(nullptr);
    auto* page = new TpgwReportPage(&report);
    page->SetParent(&report);

    const std::string exam = ExamReport();
    std::printf("exam report view: %zu bytes of RTF, 20 expressions\n", exam.size());
    std::vector<double> view;
    for (int round = 0; round < 20; ++round) {
        TpgwRichView rich(page);
        rich.SetParent(page);
        rich.SetBounds(0, 0, 700, 400);
        TRasterCanvas canvas(794, 1123);
        const auto start = Clock::now();
        Load(rich, exam);
        rich.FetchData();
        rich.SetHeight(rich.CalcHeight());
        rich.Draw(canvas, 1, 1, 0, 0);
        view.push_back(Ms(start));
        rich.SetParent(nullptr);
    }
    std::printf("load, substitute, measure and draw: %.2f ms\n", Median(view));

    const std::string longText = LongText(1700);
    std::vector<double> split;
    int pages = 0;
    for (int round = 0; round < 5; ++round) {
        TpgwRichView rich(page);
        rich.SetParent(page);
        rich.SetBounds(0, 0, 700, 1000);
        Load(rich, longText);
        const int total = rich.RichEdit().Document().Length();
        const auto start = Clock::now();
        rich.ResetParts();
        pages = 0;
        // Each page keeps its part; the parts add up to the whole text.
        for (int taken = 0; taken < total && pages < 500; ++pages) {
            rich.SetHeight(1000);
            rich.TakeFittingPart();
            taken += rich.RichEdit().Document().Length() + 1;
        }
        split.push_back(Ms(start));
        rich.SetParent(nullptr);
    }
    std::printf("%zu bytes split into %d pages: %.0f ms\n", longText.size(), pages, Median(split));
    return 0;
}
