// Loading and saving a large prepared-report-like XML document (about 20 MB), in memory and
// through a file, with the throughput of each direction.

#include "report/xml_document.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/core/stream.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string makeDocument(std::size_t targetBytes) {
    TpgwXMLDocument doc;
    TpgwXMLItem* root = doc.Root();
    root->SetName("preparedreport");
    root->SetText("Version=\"3.0\"");
    int pageNo = 0;
    std::size_t approx = 0;
    while (approx < targetBytes) {
        TpgwXMLItem* page = root->Add();
        page->SetName("page");
        page->SetText("Width=\"793.7\" Height=\"1122.52\" Index=\"" + std::to_string(pageNo++) +
                      "\"");
        page->SetUnloadable(true);
        for (int i = 0; i < 200; ++i) {
            TpgwXMLItem* m = page->Add();
            m->SetName("TpgwMemoView");
            m->SetText(
                "l=\"37.8\" t=\"" + std::to_string(i * 18) +
                "\" w=\"300\" h=\"18\" Font.Name=\"宋体\" Text=\"患者 &#34;张三&#34; 检查结论 " +
                std::to_string(i) + " 肝脏大小形态正常, 包膜光滑.\"");
            approx += m->Text().size() + 20;
        }
    }
    TStringStream out;
    doc.SaveToStream(out);
    return out.DataString();
}

} // namespace

int main() {
    const std::string xml = makeDocument(20u << 20);
    const double mb = double(xml.size()) / (1024.0 * 1024.0);
    std::printf("document: %.1f MB\n", mb);

    double bestLoad = 1e9, bestSave = 1e9;
    for (int round = 0; round < 3; ++round) {
        TStringStream in{xml};
        TpgwXMLDocument doc;
        auto t0 = Clock::now();
        doc.LoadFromStream(in);
        bestLoad = std::min(bestLoad, seconds(t0));

        TStringStream out;
        t0 = Clock::now();
        doc.SaveToStream(out);
        bestSave = std::min(bestSave, seconds(t0));
        if (out.DataString() != xml) {
            std::printf("round trip differs\n");
            return 1;
        }
    }
    std::printf("memory load: %.3f s  %.0f MB/s\n", bestLoad, mb / bestLoad);
    std::printf("memory save: %.3f s  %.0f MB/s\n", bestSave, mb / bestSave);

    const auto file = std::filesystem::temp_directory_path() / "bench_xml_document.xml";
    {
        TFileStream f(file.string(), fmCreate);
        f.WriteBuffer(xml.data(), std::int64_t(xml.size()));
    }
    double fileLoadFull = 1e9, fileLoadPartial = 1e9, fileSave = 1e9;
    for (int round = 0; round < 3; ++round) {
        TpgwXMLDocument doc;
        auto t0 = Clock::now();
        {
            TFileStream f(file.string(), fmOpenRead);
            doc.LoadFromStream(f);
        }
        fileLoadFull = std::min(fileLoadFull, seconds(t0));
        t0 = Clock::now();
        doc.SaveToFile(file.string()); // writes, renames, then loads back partially
        fileSave = std::min(fileSave, seconds(t0));
        TpgwXMLDocument partial;
        t0 = Clock::now();
        partial.LoadFromFile(file.string());
        fileLoadPartial = std::min(fileLoadPartial, seconds(t0));
    }
    std::filesystem::remove(file);
    std::printf("file load (full): %.3f s  %.0f MB/s\n", fileLoadFull, mb / fileLoadFull);
    std::printf("file load (partial): %.3f s  %.0f MB/s\n", fileLoadPartial, mb / fileLoadPartial);
    std::printf("file save (SaveToFile incl. reload): %.3f s  %.0f MB/s\n", fileSave,
                mb / fileSave);
    // For comparisons with other parsers: LUMETRA_BENCH_KEEP=<path> keeps the document.
    if (const char* keep = std::getenv("LUMETRA_BENCH_KEEP")) {
        TFileStream f(keep, fmCreate);
        f.WriteBuffer(xml.data(), std::int64_t(xml.size()));
    }
    return 0;
}
