// RTF reading: about 1 MB of our own RTF (paragraphs of mixed Chinese and Latin text in changing
// fonts, sizes, colours and paragraph formats, as the writer makes it) read into content.
// Usage: bench_rtf_read [file.rtf]  (without a file, the document is generated)

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/timing.h"
#include "platform/richedit/rich_content.h"
#include "platform/richedit/rich_document.h"

namespace {

std::string makeDocument(std::size_t size) {
    static const std::u16string chinese[] = {u"腹部超声检查：肝脏大小正常，包膜光滑，",
                                             u"实质回声均匀，血管走向清晰。", u"胆囊未见异常，",
                                             u"诊断意见：未见明显异常。"};
    static const std::u16string latin[] = {u"Liver size normal, ", u"echo texture even; ",
                                           u"no focal lesion (12 mm x 8 mm). "};
    TRichContent c;
    c.DefaultFormat.Face = "宋体";
    c.DefaultFormat.Charset = 134;
    std::string rtf;
    for (int n = 0; rtf.size() < size; ++n) {
        for (int k = 0; k < 200; ++k, ++n) {
            TRichParagraph p;
            p.Format.Alignment = 1 + n % 4;
            p.Format.StartIndent = (n % 3) * 360;
            p.Format.Offset = n % 5 == 0 ? 360 : 0;
            p.Format.Numbering = n % 7 == 0;
            p.Format.SpaceAfter = n % 2 ? 120 : 0;
            for (int r = 0; r < 6; ++r) {
                TRichRun run;
                run.Format.Face = r % 2 ? "Arial" : "宋体";
                run.Format.Charset = r % 2 ? 0 : 134;
                run.Format.HeightTwips = 180 + 20 * ((n + r) % 5);
                run.Format.Bold = (n + r) % 3 == 0;
                run.Format.Italic = (n + r) % 4 == 1;
                run.Format.AutoColor = (n + r) % 5 != 0;
                run.Format.Color = 0x0000C0;
                run.Text = r % 2 ? latin[(n + r) % 3] : chinese[(n + r) % 4];
                p.Runs.push_back(std::move(run));
            }
            c.Paragraphs.push_back(std::move(p));
        }
        rtf = WriteRtf(c);
    }
    return rtf;
}

} // namespace

int main(int argc, char** argv) {
    std::string rtf;
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        rtf.assign(std::istreambuf_iterator<char>(in), {});
    } else {
        rtf = makeDocument(1 << 20);
    }
    const int runs = 15;
    std::vector<double> times;
    std::size_t paragraphs = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        TRichContent content;
        std::string error;
        if (!ReadRtf(rtf, content, &error)) {
            std::fprintf(stderr, "not read: %s\n", error.c_str());
            return 1;
        }
        times.push_back(Ms(start));
        paragraphs = content.Paragraphs.size();
    }
    std::printf("RTF: %zu bytes, %zu paragraphs, median of %d runs\n", rtf.size(), paragraphs,
                runs);
    std::printf("ReadRtf: %8.2f ms\n", Median(times));

    // Into a document, as a rich-edit control loads it.
    std::vector<double> loads;
    for (int i = 0; i < 5; ++i) {
        TRichDocument document;
        const auto start = Clock::now();
        if (!document.LoadRtf(rtf)) return 1;
        loads.push_back(Ms(start));
    }
    std::printf("LoadRtf into a document: %8.2f ms\n", Median(loads));
    return 0;
}
