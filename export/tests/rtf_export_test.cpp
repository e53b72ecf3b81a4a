// The RTF export: documents of small pages against golden files, the rules every document
// keeps (colour and font words name table entries, rows have as many cells as cell edges,
// braces balance), rich text merged into the document's tables, pictures read back by our own
// metafile player, the options dialog, and what LibreOffice shows of the fixture.

#include "export/rtf_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "export/export_formats.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/windows_metafile.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/band.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace {

// The rich text view as the export sees it: a view of that class name whose ExportText gives
// RTF in the shape of our rich text writer.
class TpgwRichView : public TpgwView {
    LUMETRA_CLASS(TpgwRichView, TpgwView)
public:
    explicit TpgwRichView(TComponent* owner) : TpgwView(owner) {}
    void ExportText(std::string& text) override { text = Rtf; }
    std::string Rtf;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string Testdata(const std::string& name) {
    return std::string(LUMETRA_TESTDATA_DIR) + "/" + name;
}

void ExpectGolden(const std::string& name, const std::string& rtf) {
    const std::string golden = Testdata("golden/" + name);
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, rtf);
    EXPECT_EQ(rtf, TempDir::ReadAll(golden)) << name;
}

// The entries of the table that starts with head ("{\fonttbl" or "{\colortbl;"): font entries
// by number, colour entries "\redR\greenG\blueB" from 1.
std::vector<std::string> TableEntries(const std::string& rtf, const std::string& head) {
    std::vector<std::string> entries;
    const std::size_t begin = rtf.find(head);
    if (begin == std::string::npos) return entries;
    std::string table = rtf.substr(begin + head.size());
    table = std::regex_replace(table, std::regex("\r\n"), "");
    if (head == "{\\fonttbl") {
        static const std::regex entry(R"(^\{\\f\d+\\fcharset\d+ ([^}]*)\})");
        std::smatch m;
        while (std::regex_search(table, m, entry)) {
            std::string name = m[1];
            if (name.ends_with(';')) name.pop_back();
            entries.push_back(name);
            table = m.suffix();
        }
    } else {
        for (std::size_t at = 0; at < table.size() && table[at] != '}';) {
            const std::size_t semicolon = table.find(';', at);
            entries.push_back(table.substr(at, semicolon - at));
            at = semicolon + 1;
        }
    }
    return entries;
}

// A table row: its definition (written before and after its cells) and its cells.
struct Row {
    std::string Definition;
    std::string Cells;
};

std::vector<Row> Rows(const std::string& rtf) {
    std::vector<Row> rows;
    const std::string open = "\\pard\\intbl\r\n", close = "\\pard\\intbl{\\trowd";
    for (std::size_t at = rtf.find("\r\n\\trowd"); at != std::string::npos;
         at = rtf.find("\r\n\\trowd", at)) {
        const std::size_t definition = at + 8, cells = rtf.find(open, definition);
        const std::size_t again = rtf.find(close, cells), end = rtf.find("\\row}", again);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a row is not closed: " << rtf.substr(at, 200);
            break;
        }
        Row row{rtf.substr(definition, cells - definition),
                rtf.substr(cells + open.size(), again - cells - open.size())};
        EXPECT_EQ(rtf.substr(again + close.size(), end - again - close.size()), row.Definition);
        rows.push_back(std::move(row));
        at = end;
    }
    return rows;
}

// The row whose cells hold text.
Row RowWith(const std::string& rtf, const std::string& text) {
    for (const Row& row : Rows(rtf))
        if (Has(row.Cells, text)) return row;
    ADD_FAILURE() << "no row holds " << text;
    return {};
}

// What every document keeps: font and colour words name entries of its tables, every row has
// as many cells as its definition has cell edges, and braces balance.
void ExpectSound(const std::string& rtf) {
    const std::size_t fonts = TableEntries(rtf, "{\\fonttbl").size();
    const std::size_t colors = TableEntries(rtf, "{\\colortbl;").size();
    const std::string body = rtf.substr(rtf.find("{\\info"));
    static const std::regex word(R"(\\(f|cf|clcbpat|brdrcf|highlight)(\d+)(?![a-z]))");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), word);
         it != std::sregex_iterator(); ++it) {
        const std::size_t n = std::stoul((*it)[2]);
        EXPECT_LT(n, (*it)[1] == "f" ? fonts : colors + 1) << (*it)[0];
    }
    const std::vector<Row> rows = Rows(rtf);
    for (const Row& row : rows)
        EXPECT_EQ(Count(row.Definition, "\\cellx"), Count(row.Cells, "\\cell}")) << row.Cells;
    EXPECT_EQ(static_cast<int>(rows.size()), Count(rtf, "\\row}"));
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}') {
            EXPECT_GE(--depth, 0) << i;
        }
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
}

class RtfExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        clock.Set(2026, 3, 4, 9, 5, 0);
        filter = std::make_unique<TpgwRTFExport>(TpgwCustomExportFilter::UnlistedTag{});
        filter->SetShowProgress(false);
        filter->SetReport(report.get());
    }
    void TearDown() override {
        filter.reset();
        PageExportFixture::TearDown();
    }
    std::string Export() {
        const std::string rtf = Run(*filter);
        ExpectSound(rtf);
        return rtf;
    }
    template <class Band> Band* AddBand(TpgwReportPage* page, double top, double height) {
        auto* band = new Band(page);
        band->SetParent(page);
        band->SetBounds(0, top, 700, height);
        return band;
    }
    TpgwMemoView* BandMemo(TpgwBand* band, double left, const std::string& text) {
        auto* memo = new TpgwMemoView(band);
        memo->SetParent(band);
        memo->SetBounds(left, 0, 200, 20);
        memo->SetText(text);
        memo->Font()->SetName("Arial");
        memo->Font()->SetSize(10);
        return memo;
    }
    // A picture of a red left half and a blue right half.
    TpgwPictureView* Picture(TpgwReportPage* page, double left, double top) {
        auto* view = new TpgwPictureView(page);
        view->SetParent(page);
        view->SetBounds(left, top, 40, 20);
        view->SetStretched(true);
        view->SetKeepAspectRatio(false);
        auto bitmap = std::make_unique<TBitmap>(4, 2);
        bitmap->Canvas().Brush().SetColor(clRed);
        bitmap->Canvas().FillRect({0, 0, 2, 2});
        bitmap->Canvas().Brush().SetColor(clBlue);
        bitmap->Canvas().FillRect({2, 0, 4, 2});
        view->Picture()->SetGraphic(std::move(bitmap));
        return view;
    }

    std::unique_ptr<TpgwRTFExport> filter;
    FixedExportClock clock;
};

// ---- layout --------------------------------------------------------------------------------

TEST_F(RtfExports, OnePageWithMergedCellsFillsFramesAndEscapes) {
    report->ReportOptions()->SetName("Exam {1}");
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 300, 40, "a{b}c\\d é\r\nnext line\r\n");
    // The rows 100-130-160-190 and the column edge 200 come from the memos around "Tall".
    Memo(page, 0, 100, 100, 30, "r1");
    Memo(page, 0, 130, 100, 30, "r2");
    Memo(page, 0, 160, 100, 30, "r3");
    Memo(page, 100, 100, 200, 90, "Tall", haCenter)->SetVAlign(vaCenter);
    Memo(page, 100, 200, 100, 20, "d1");
    Memo(page, 200, 200, 100, 20, "e1", haRight);
    Memo(page, 400, 100, 100, 30, "", haRight);
    Memo(page, 400, 0, 100, 20, "White")->SetColor(clWhite);
    TpgwMemoView* yellow = Memo(page, 520, 0, 100, 20, "Yellow", haBlock);
    yellow->SetColor(clYellow);
    yellow->Frame()->SetTyp(ftAll);
    yellow->Frame()->SetWidth(2);
    yellow->Frame()->SetStyle(fsDouble);
    yellow->Frame()->SetColor(clRed);
    TpgwMemoView* dashed = Memo(page, 520, 40, 100, 20, "Dashed");
    dashed->Frame()->SetTyp(FrameSide(ftBottom));
    dashed->Frame()->SetStyle(fsDash);
    dashed->Font()->SetStyle({fsBold, fsItalic, fsUnderline});

    const std::string rtf = Export();
    ExpectGolden("rtf_one_page.rtf", rtf);
    // One page: no section break, every row at 14.5 twips per unit.
    EXPECT_FALSE(Has(rtf, "\\sect"));
    EXPECT_TRUE(Has(rtf, "\\trrh-435\\trgaph15")) << rtf;
    EXPECT_TRUE(
        Has(rtf, "{\\title Exam \\{1\\}}{\\author Pagewright}{\\creatim\\yr2026\\mo03\\dy04"));
    // Three rows by two columns: one cell opening the merge, centred, up to x 300, and one
    // merged cell in each of the two rows below it; the column edge at x 200 adds none.
    const Row first = RowWith(rtf, "r1");
    EXPECT_TRUE(Has(first.Definition, "\\cellx1505\\clvmgf\\clvertalc\\cltxlrtb\\cellx4515"))
        << first.Definition;
    EXPECT_TRUE(Has(first.Cells, "r1\\cell}\\qc{"));
    for (const char* text : {"r1", "r2", "r3"})
        EXPECT_FALSE(Has(RowWith(rtf, text).Definition, "\\cellx3010")) << text;
    for (const char* text : {"r2", "r3"}) {
        const Row merged = RowWith(rtf, text);
        EXPECT_TRUE(Has(merged.Definition, "\\cellx1505\\clvmrg\\cltxlrtb\\cellx4515"))
            << merged.Definition;
        EXPECT_TRUE(Has(merged.Cells, text + std::string("\\cell}{\\fs20\\cell}")));
    }
    // Only the yellow fill is written; white and transparent give none.
    int fills = 0;
    for (const Row& row : Rows(rtf))
        fills += Count(row.Definition, "\\clcbpat");
    EXPECT_EQ(fills, 1);
    EXPECT_TRUE(Has(RowWith(rtf, "Yellow").Definition,
                    "\\clcbpat3\\clvertalt\\clbrdrt\\brdrs\\brdrw40\\brdrcf4\\brdrdb\\clbrdrl"));
    EXPECT_TRUE(Has(RowWith(rtf, "Dashed").Definition,
                    "\\clbrdrb\\brdrs\\brdrw20\\brdrcf2\\brdrdashsm\\cltxlrtb"));
    EXPECT_TRUE(Has(rtf, "a\\{b\\}c\\\\d \\u233\\'3f\\line\r\nnext line\\cell}"));
    EXPECT_TRUE(Has(
        rtf, "\\qj{\\f0\\fs20\\cf2\\sb29\\li15\\fi0\\expnd0\\expndtw0\\sl-213\\slmult0 Yellow"));
    EXPECT_TRUE(Has(rtf, "\\f0\\fs20\\i\\b\\ul\\cf2"));
    // The empty memo: its size from the row height (30 units), no paragraph words.
    EXPECT_TRUE(Has(first.Cells, "\\qr{\\f0\\fs20\\cf2 \\cell}")) << first.Cells;
}

TEST_F(RtfExports, PageBoundariesBecomeSectionsAndKeepRowsThatStartThere) {
    TpgwReportPage* first = NewPage();
    first->SetLeftMargin(0);
    first->SetTopMargin(0);
    TpgwReportPage* second = NewPage();
    second->SetOrientation(poLandscape);
    second->SetWidth(1123);
    second->SetHeight(794);
    second->SetLeftMargin(0);
    second->SetTopMargin(0);
    second->SetBottomMargin(10);
    // At the very top and left of both pages: the row at the boundary and column 0 hold text.
    Memo(first, 0, 0, 100, 20, "top of one");
    Memo(second, 0, 0, 100, 20, "top of two");
    Memo(second, 0, 30, 100, 20, "below on two");

    std::string rtf = Export();
    EXPECT_EQ(Count(rtf, "\\pard\\sect"), 1);
    EXPECT_TRUE(Has(rtf, "\\pard\\sect\r\n\\pgwsxn16867\\pghsxn11926\\marglsxn0\\margrsxn0"
                         "\\margtsxn0\\margbsxn565\r\n\\lndscpsxn\r\n"))
        << rtf;
    for (const char* text : {"top of one", "top of two", "below on two"})
        EXPECT_TRUE(Has(rtf, text)) << text << "\n" << rtf;
    EXPECT_LT(rtf.find("\\pard\\sect"), rtf.find("top of two"));
    // 15 twips per unit on the first page, 14.5 on the last.
    EXPECT_LT(rtf.find("\\trrh-300"), rtf.find("\\pard\\sect"));
    EXPECT_GT(rtf.find("\\trrh-290"), rtf.find("\\pard\\sect"));

    filter->SetExportPageBreaks(false);
    rtf = Export();
    EXPECT_FALSE(Has(rtf, "\\sect"));
    EXPECT_TRUE(Has(rtf, "top of two"));
}

TEST_F(RtfExports, HeaderAndFooterModes) {
    TpgwReportPage* first = NewPage();
    BandMemo(AddBand<TpgwPageHeader>(first, 0, 30), 0, "Head text");
    Memo(first, 0, 50, 200, 20, "Body one");
    TpgwReportPage* second = NewPage();
    Memo(second, 0, 50, 200, 20, "Body two");
    BandMemo(AddBand<TpgwPageFooter>(second, 1000, 30), 100, "Foot text");

    struct Case {
        TpgwHeaderFooterMode mode;
        const char* golden;
    };
    for (const Case c : {Case{hfText, "rtf_hf_text.rtf"}, Case{hfPrint, "rtf_hf_print.rtf"},
                         Case{hfNone, "rtf_hf_none.rtf"}}) {
        SCOPED_TRACE(c.golden);
        filter->SetHeaderFooterMode(c.mode);
        const std::string rtf = Export();
        ExpectGolden(c.golden, rtf);
        const std::size_t header = rtf.find("{\\header \r\n"), footer = rtf.find("{\\footer \r\n");
        const std::size_t body = c.mode == hfPrint ? rtf.find("}\r\n", footer) : 0;
        EXPECT_EQ(header != std::string::npos, c.mode == hfPrint);
        EXPECT_EQ(footer != std::string::npos, c.mode == hfPrint);
        if (c.mode == hfPrint) {
            EXPECT_LT(header, rtf.find("Head text"));
            EXPECT_LT(rtf.find("Head text"), footer);
            EXPECT_LT(footer, rtf.find("Foot text"));
        }
        EXPECT_EQ(Has(rtf.substr(body), "Head text"), c.mode == hfText);
        EXPECT_EQ(Has(rtf.substr(body), "Foot text"), c.mode == hfText);
        EXPECT_TRUE(Has(rtf.substr(body), "Body one") && Has(rtf.substr(body), "Body two"));
    }
}

TEST_F(RtfExports, ColoursOfTagRunsAreInTheTable) {
    TpgwReportPage* page = NewPage();
    TpgwMemoView* tagged =
        Memo(page, 0, 0, 300, 20, "plain <font color=\"#FF0000\">red</font> <b>bold</b> x");
    tagged->SetAllowHTMLTags(true);
    const std::string rtf = Export();
    const std::vector<std::string> colors = TableEntries(rtf, "{\\colortbl;");
    const auto red = std::find(colors.begin(), colors.end(), "\\red255\\green0\\blue0");
    ASSERT_NE(red, colors.end()) << rtf;
    const std::string number = std::to_string(red - colors.begin() + 1);
    EXPECT_TRUE(Has(rtf, "\\cf" + number + " red\\cf")) << rtf;
    EXPECT_TRUE(Has(rtf, " \\b bold\\b0  x\\plain\\cell}")) << rtf;
}

// ---- rich text ---------------------------------------------------------------------------------

// The font names and colours that \f, \cf and \highlight name in order, through the tables.
std::vector<std::string> FormatSequence(const std::string& body,
                                        const std::vector<std::string>& fonts,
                                        const std::vector<std::string>& colors) {
    std::vector<std::string> sequence;
    static const std::regex word(R"(\\(f|cf|highlight)(\d+)(?![a-z]))");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), word);
         it != std::sregex_iterator(); ++it) {
        const std::size_t n = std::stoul((*it)[2]);
        const bool font = (*it)[1] == "f";
        if (font ? n >= fonts.size() : n < 1 || n > colors.size())
            sequence.push_back("bad " + (*it)[0].str());
        else
            sequence.push_back((*it)[1].str() + " " + (font ? fonts[n] : colors[n - 1]));
    }
    return sequence;
}

TEST_F(RtfExports, RichTextJoinsTheDocumentTablesAndKeepsItsFormats) {
    TpgwReportPage* page = NewPage();
    // The memo's font and colour come first, so the rich text's numbers all move.
    TpgwMemoView* memo = Memo(page, 0, 0, 200, 20, "memo first");
    memo->Font()->SetName("Verdana");
    memo->Font()->SetColor(clGreen);
    auto* rich = new TpgwRichView(page);
    rich->SetParent(page);
    rich->SetBounds(0, 40, 400, 200);
    const std::string source = TempDir::ReadAll(Testdata("rtf_rich_source.rtf"));
    rich->Rtf = source;

    const std::string rtf = Export();
    ExpectGolden("rtf_rich_view.rtf", rtf);
    const std::size_t begin = rtf.find("{\\par{"), end = rtf.find("}\\pard}");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string fragment = rtf.substr(begin, end - begin);
    // No table, paragraph reset, spacing or language of its own is left.
    for (const char* gone : {"\\fonttbl", "\\colortbl", "\\pard", "\\sb120", "\\sa60", "\\rtf1"})
        EXPECT_FALSE(Has(fragment, gone)) << gone;

    const std::vector<std::string> fonts = TableEntries(rtf, "{\\fonttbl");
    ASSERT_GE(fonts.size(), 12u);
    EXPECT_EQ(fonts[0], "Verdana");
    const std::string sourceBody = source.substr(source.find("\\viewkind4"));
    EXPECT_EQ(FormatSequence(fragment, fonts, TableEntries(rtf, "{\\colortbl;")),
              FormatSequence(sourceBody, TableEntries(source, "{\\fonttbl"),
                             TableEntries(source, "{\\colortbl ;")));
    for (const char* kept : {"\\qc", "\\b Blue serif ten", "\\u23435\\'cb\\'ce\\u20307\\'cc\\'e5",
                             "\\ul Tahoma five\\ulnone", "Mono highlighted eleven"})
        EXPECT_TRUE(Has(fragment, kept)) << kept;
}

TEST_F(RtfExports, RichTextThatCannotBeMergedGoesInPlain) {
    struct Case {
        const char* name;
        std::string rtf;
        const char* plain;
    };
    const Case cases[] = {
        {"not rtf", "Just words {1}", "Just words \\{1\\}"},
        {"no font table", "{\\rtf1\\ansi Words only\\par}", "Words only"},
        {"font table never closed", "{\\rtf1 Before{\\fonttbl{\\f0\\fcharset0 Arial;}", "Before"},
        {"font entry without a name", "{\\rtf1{\\fonttbl{\\f0;}}Nameless\\par}", "Nameless"},
        {"colour table never closed",
         "{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}{\\colortbl\\red1\\green2\\blue3}Tinted}",
         "Tinted"},
        {"nothing after the tables", "{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}", ""},
        {"unicode", "{\\rtf1\\uc1{\\fonttbl{\\f0 A;}}\\u32925?\\'b8\\'ce",
         "\\u32925\\'3f\\u32925\\'3f"},
    };
    TpgwReportPage* page = NewPage();
    auto* rich = new TpgwRichView(page);
    rich->SetParent(page);
    rich->SetBounds(0, 0, 400, 40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rich->Rtf = c.rtf;
        const std::string rtf = Export();
        EXPECT_TRUE(Has(rtf, std::string(" ") + c.plain + "\\cell}")) << rtf;
        EXPECT_FALSE(Has(rtf, "{\\par{"));
        EXPECT_EQ(Count(rtf, "\\fonttbl"), 1);
    }
}

// ---- pictures ----------------------------------------------------------------------------------

// The bytes of the hexadecimal lines after head up to the line that starts with end.
std::vector<std::uint8_t> HexData(const std::string& rtf, const std::string& head,
                                  const std::string& end) {
    std::vector<std::uint8_t> bytes;
    std::size_t at = rtf.find(head);
    if (at == std::string::npos) return bytes;
    at += head.size();
    for (std::size_t next; rtf.compare(at, end.size(), end) != 0; at = next + 2) {
        next = rtf.find("\r\n", at);
        for (std::size_t i = at; i + 1 < next; i += 2)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(rtf.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void ExpectRedThenBlue(const TWindowsMetafile& meta) {
    const TRasterImage image = meta.ToImage();
    ASSERT_FALSE(image.IsEmpty());
    const int y = image.Height / 2;
    EXPECT_EQ(image.At(image.Width / 4, y) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.At(image.Width * 3 / 4, y) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(RtfExports, PicturesAsEmfOrAsBitmapsInAWindowsMetafile) {
    TpgwReportPage* page = NewPage();
    Picture(page, 0, 0);
    Memo(page, 60, 0, 100, 20, "beside");

    std::string rtf = Export();
    ASSERT_TRUE(Has(rtf,
                    "{\\sb0\\li0\\sl0\\slmult0 {\\pict\\picw1012\\pich506\\picscalex98\\picscaley98"
                    "\\piccropl0\\piccropr0\\piccropt0\\piccropb0\\emfblip\r\n"))
        << rtf.substr(0, 2000);
    TWindowsMetafile emf;
    emf.LoadFromBytes(HexData(rtf, "\\emfblip\r\n", "}\\cell}"));
    EXPECT_TRUE(emf.Enhanced());
    EXPECT_EQ(emf.Width(), 40);
    EXPECT_EQ(emf.Height(), 20);
    ExpectRedThenBlue(emf);

    filter->SetExportEMF(false);
    rtf = Export();
    const std::string head = "{\\pict\\wmetafile8\\picw1012\\pich506\\picbmp\\picbpp4\r\n";
    ASSERT_TRUE(Has(rtf, head)) << rtf.substr(0, 2000);
    const std::size_t first = rtf.find(head) + head.size();
    EXPECT_EQ(rtf.compare(first, 12, "010009000003"), 0);
    EXPECT_TRUE(Has(rtf, "\r\n030000000000}\r\n\\cell}"));
    // With a placeable header in front, the player draws the bitmap the records carry.
    std::vector<std::uint8_t> wmf = HexData(rtf, head, "030000000000}");
    for (std::uint8_t b : {0x03, 0x00, 0x00, 0x00, 0x00, 0x00})
        wmf.push_back(b);
    std::vector<std::uint8_t> placeable = {0xD7, 0xCD, 0xC6, 0x9A, 0,  0, 0, 0, 0, 0,
                                           41,   0,    21,   0,    96, 0, 0, 0, 0, 0};
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < placeable.size(); i += 2)
        checksum ^= static_cast<std::uint16_t>(placeable[i] | placeable[i + 1] << 8);
    placeable.push_back(static_cast<std::uint8_t>(checksum));
    placeable.push_back(static_cast<std::uint8_t>(checksum >> 8));
    wmf.insert(wmf.begin(), placeable.begin(), placeable.end());
    TWindowsMetafile bitmapInMetafile;
    bitmapInMetafile.LoadFromBytes(wmf);
    EXPECT_EQ(bitmapInMetafile.Width(), 41);
    ExpectRedThenBlue(bitmapInMetafile);

    // Without pictures the picture view is not taken; a rotated memo still becomes a picture
    // and keeps an (empty) cell, so the memo beside it stays in its place.
    filter->SetExportPictures(false);
    Memo(page, 0, 40, 20, 60, "turned")->SetRotation(90);
    Memo(page, 30, 40, 100, 20, "next to it");
    rtf = Export();
    EXPECT_FALSE(Has(rtf, "\\pict"));
    EXPECT_TRUE(Has(rtf, "next to it"));
}

// ---- text, defaults, files ---------------------------------------------------------------------

TEST(RtfExportText, EscapingAndEncoding) {
    struct Case {
        std::u16string text;
        std::string encoded;
    };
    const Case cases[] = {
        {u"a\\b{c}", "a\\\\b\\{c\\}"},
        {u"one\r\ntwo", "one\\line\r\ntwo"},
        // A line break ending the text is no line of its own.
        {u"last\r\n", "last\r\n"},
        {u"é肝", "\\u233\\'3f\\u32925\\'3f"},
        {u"😀", "\\u55357\\'3f\\u56832\\'3f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TpgwRTFExport::EncodeText(TpgwRTFExport::EscapeText(c.text)), c.encoded)
            << c.encoded;
}

TEST_F(RtfExports, DefaultsRegistrationAndTheOutputFile) {
    TpgwRTFExport fresh(TpgwCustomExportFilter::UnlistedTag{});
    EXPECT_TRUE(fresh.ExportEMF() && fresh.ExportPageBreaks() && fresh.ExportPictures() &&
                fresh.Wysiwyg() && fresh.ShowDialog());
    EXPECT_FALSE(fresh.OpenAfterExport() || fresh.AutoSize() || fresh.OverwritePrompt() ||
                 fresh.SuppressPageHeadersFooters());
    EXPECT_EQ(fresh.Creator(), "Pagewright");
    EXPECT_EQ(fresh.HeaderFooterMode(), hfText);
    EXPECT_EQ(fresh.FileFilter(), "RTF 文件 (*.rtf)|*.rtf");
    EXPECT_EQ(fresh.FileExtension(), ".rtf");
    EXPECT_EQ(fresh.FilterCaption(), "RTF 文件");

    RegisterRTFExport();
    std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter("RTF");
    ASSERT_NE(dynamic_cast<TpgwRTFExport*>(made.get()), nullptr);
    SetPropValue(*made, "HeaderFooterMode", Variant(std::string("hfNone")));
    SetPropValue(*made, "SuppressPageHeadersFooters", Variant(true));
    EXPECT_EQ(static_cast<TpgwRTFExport&>(*made).HeaderFooterMode(), hfNone);
    EXPECT_TRUE(made->SuppressPageHeadersFooters());

    // Neither file nor stream: nothing runs. A run without pages, or of an empty page, still
    // gives a whole document.
    EXPECT_FALSE(fresh.OpenOutput());
    fresh.SetShowProgress(false);
    ExpectSound(Run(fresh));
    NewPage();
    ExpectSound(Run(fresh));

    // A failed run keeps the file that was there; a finished one replaces it.
    const TempDir dir;
    const std::string file = dir / "kept.rtf";
    TempDir::WriteAll(file, "earlier");
    TpgwReportPage* page = pages[0];
    Memo(page, 0, 0, 100, 20, "written");
    fresh.SetFileName(file);
    ASSERT_TRUE(fresh.OpenOutput());
    fresh.EnterPage(page, 0);
    fresh.SetRunFailed(true);
    fresh.CloseOutput();
    fresh.SetRunFailed(false);
    EXPECT_EQ(TempDir::ReadAll(file), "earlier");
    ASSERT_TRUE(fresh.OpenOutput());
    fresh.EnterPage(page, 0);
    for (TpgwComponent* object : page->AllObjects())
        fresh.WriteItem(object);
    fresh.LeavePage(page, 0);
    fresh.CloseOutput();
    EXPECT_TRUE(Has(TempDir::ReadAll(file), "written\\cell}"));
}

// ---- the options dialog ------------------------------------------------------------------------

class TDialogRTFExport : public TpgwRTFExport {
public:
    TDialogRTFExport() : TpgwRTFExport(UnlistedTag{}) {}
    TpgwRTFExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = TpgwRTFExport::CreateDialog();
        Dialog = static_cast<TpgwRTFExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(RtfExports, TheDialogMapsTheHeaderFooterListAndPrintSuppressesRepeats) {
    const TempDir dir;
    TDialogRTFExport rtf;
    rtf.SetReport(report.get());
    struct Case {
        int item;
        bool continuous;
        TpgwHeaderFooterMode mode;
        bool suppress;
    };
    const Case cases[] = {{0, false, hfText, false},
                          {0, true, hfText, true},
                          {1, false, hfPrint, true},
                          {2, false, hfNone, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        auto recorder = std::make_unique<TRecordingReporter>();
        TRecordingReporter::DialogAnswer answer;
        answer.Confirmed = true;
        answer.FileName = dir / "chosen.rtf";
        recorder->QueueDialogAnswer(answer);
        TScopedReporter scope(std::move(recorder));
        const TpgwHeaderFooterMode before = rtf.HeaderFooterMode();
        Application()->QueueCall([&] {
            TpgwRTFExportDialog* d = rtf.Dialog;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->Caption(), "导出到 RTF");
            EXPECT_EQ(d->PColontitulCB->Style(), csDropDownList);
            ASSERT_EQ(d->PColontitulCB->Items().Count(), 3);
            EXPECT_EQ(d->PColontitulCB->Items().Strings(1), "头/尾");
            EXPECT_EQ(d->PColontitulCB->ItemIndex(), static_cast<int>(before));
            EXPECT_TRUE(d->PicturesCB->Checked());
            d->PColontitulCB->SetItemIndex(c.item);
            d->ContinuousCB->SetChecked(c.continuous);
            d->PicturesCB->SetChecked(false);
            d->OkB->Click();
        });
        EXPECT_EQ(rtf.AskOptions(), 1);
        EXPECT_EQ(rtf.HeaderFooterMode(), c.mode);
        EXPECT_EQ(rtf.SuppressPageHeadersFooters(), c.suppress);
        EXPECT_FALSE(rtf.ExportPictures());
        EXPECT_EQ(rtf.FileName(), dir / "chosen.rtf");
        rtf.SetExportPictures(true);
    }
    // Cancelled: nothing changes.
    Application()->QueueCall([&] {
        rtf.Dialog->PColontitulCB->SetItemIndex(0);
        rtf.Dialog->CancelB->Click();
    });
    EXPECT_EQ(rtf.AskOptions(), 2);
    EXPECT_EQ(rtf.HeaderFooterMode(), hfNone);
}

// ---- an independent reader ---------------------------------------------------------------------

// The text runs of an OpenDocument text, one line each: text, colour, weight, background, font.
constexpr const char* kRunsScript = R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
ns = {'style': 'urn:oasis:names:tc:opendocument:xmlns:style:1.0',
      'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0',
      'fo': 'urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0'}
def q(p, n): return '{%s}%s' % (ns[p], n)
root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('content.xml'))
styles = {}
for s in root.iter(q('style', 'style')):
    e = s.find('style:text-properties', ns)
    styles[s.get(q('style', 'name'))] = dict(e.attrib) if e is not None else {}
def show(text, props):
    if text.strip():
        print('%s|%s|%s|%s|%s' % (text.strip(), props.get(q('fo', 'color'), '-'),
              props.get(q('fo', 'font-weight'), 'normal'),
              props.get(q('fo', 'background-color'), '-'), props.get(q('style', 'font-name'), '-')))
for para in root.iter(q('text', 'p')):
    ps = styles.get(para.get(q('text', 'style-name')), {})
    show(para.text or '', ps)
    for span in para:
        eff = dict(ps)
        eff.update(styles.get(span.get(q('text', 'style-name')), {}))
        show(''.join(span.itertext()), eff)
        show(span.tail or '', ps)
)PY";

// The fixture as LibreOffice reads it, with pictures as EMF and as bitmaps in a metafile: every
// memo's text, Chinese beyond U+7FFF too, and the pictures as images; and the rich text of the
// golden file with its fonts, colours and highlight. One test: soffice is slow to start.
TEST_F(RtfExports, LibreOfficeShowsEveryMemoTextAndThePictures) {
    if (!HaveTool("soffice") || !HaveTool("pdftotext") || !HaveTool("pdfimages"))
        GTEST_SKIP() << "soffice or poppler-utils is missing: scripts/setup installs "
                        "libreoffice-writer-nogui and poppler-utils";
    const TempDir dir;
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(report->LoadFromFile(Testdata("export_fixture.pg3"), false))
        << report->Errors().Text();
    report->SetShowProgress(false);
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    filter->SetShowDialog(false);
    filter->SetShowProgress(true);
    for (const bool emf : {true, false}) {
        filter->SetExportEMF(emf);
        filter->SetFileName(dir / (emf ? "emf.rtf" : "wmf.rtf"));
        ASSERT_TRUE(report->ExportTo(filter.get())) << report->Errors().Text();
        ExpectSound(TempDir::ReadAll(dir / (emf ? "emf.rtf" : "wmf.rtf")));
    }

    const std::string soffice = "cd '" + dir.Path() + "' && soffice -env:UserInstallation=file://" +
                                dir.Path() + "/profile --headless --convert-to ";
    int status = -1;
    std::string log = RunTool(soffice + "txt:Text emf.rtf wmf.rtf", &status);
    ASSERT_EQ(status, 0) << log;
    log = RunTool(soffice + "pdf emf.rtf wmf.rtf", &status);
    ASSERT_EQ(status, 0) << log;
    for (const char* name : {"emf", "wmf"}) {
        SCOPED_TRACE(name);
        const std::string text = TempDir::ReadAll(dir / (std::string(name) + ".txt"));
        const std::string pdfText =
            RunTool("pdftotext -enc UTF-8 '" + (dir / (std::string(name) + ".pdf")) + "' -");
        for (const char* expected :
             {"检查报告 Export fixture", "Page 1 of 3", "Page 3 of 3", "Left 1", "Left 3", "Center",
              "Right", "Block text that", "Shadow", "Bold H2O", "腹部超声：肝脏大小正常",
              "Say \"hi\" <a> & b; semi", "1234.50", "3703.50", "to the top", "Footer"}) {
            EXPECT_TRUE(Has(text, expected)) << expected << "\n" << text;
            EXPECT_TRUE(Has(pdfText, expected)) << expected << "\n" << pdfText;
        }
        // The rotated memo, the hatched memo and the picture view on each of the three pages,
        // at their own size as metafiles, one pixel larger as bitmaps.
        const std::string images =
            RunTool("pdfimages -list '" + (dir / (std::string(name) + ".pdf")) + "'");
        std::map<std::string, int> sizes;
        static const std::regex image(R"(\n\s*\d+\s+\d+\s+image\s+(\d+)\s+(\d+)\s)");
        for (auto it = std::sregex_iterator(images.begin(), images.end(), image);
             it != std::sregex_iterator(); ++it)
            ++sizes[(*it)[1].str() + "x" + (*it)[2].str()];
        const std::map<std::string, int> expected =
            std::string(name) == "emf"
                ? std::map<std::string, int>{{"20x80", 3}, {"170x20", 3}, {"40x40", 3}}
                : std::map<std::string, int>{{"21x81", 3}, {"171x21", 3}, {"41x41", 3}};
        EXPECT_EQ(sizes, expected) << images;
    }

    TempDir::WriteAll(dir / "rich.rtf", TempDir::ReadAll(Testdata("golden/rtf_rich_view.rtf")));
    TempDir::WriteAll(dir / "runs.py", kRunsScript);
    log = RunTool(soffice + "odt rich.rtf", &status);
    ASSERT_EQ(status, 0) << log;
    const std::string runs =
        RunTool("python3 '" + (dir / "runs.py") + "' '" + (dir / "rich.odt") + "'");
    EXPECT_EQ(runs, "memo first|#008000|normal|-|Verdana\n"
                    "Red Arial one|#ff0000|normal|-|Arial\n"
                    "Blue serif ten|#0064c8|bold|-|Liberation Serif\n"
                    "宋体 green zero|#008000|normal|-|宋体\n"
                    "Times three|#0000ff|normal|-|Times New Roman\n"
                    "Courier four|#800080|normal|-|Courier New\n"
                    "Tahoma five|#008080|normal|-|Tahoma\n"
                    "Verdana six|#808000|normal|-|Verdana\n"
                    "Georgia seven|#ff8000|normal|-|Georgia\n"
                    "Sans eight|#404040|normal|-|Liberation Sans\n"
                    "DejaVu nine|#c80064|normal|-|DejaVu Sans\n"
                    "黑体|#ff0000|normal|-|黑体\n"
                    "Mono highlighted eleven|#c80064|normal|#ffff00|Liberation Mono\n");
}

} // namespace
