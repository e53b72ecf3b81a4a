// The PDF export: the file's structure against golden files, the operators report objects and
// memo text become, and what independent readers (qpdf, poppler's tools) make of the files:
// every file a test writes passes qpdf's check.

#include "export/pdf_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/draw_text.h"
#include "engine/tests/modal_steps.h"
#include "export/md5.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/files.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/containers.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/compression.h"
#include "report/line_view.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

struct ShellResult {
    int Status = -1;
    std::string Out;
};

// Runs a command line through the shell; stdout and stderr together.
ShellResult Shell(const std::string& command) {
    ShellResult r;
    r.Out = RunTool(command, &r.Status);
    return r;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Golden(const std::string& name) {
    return std::string(LUMETRA_TESTDATA_DIR) + "/golden/" + name;
}

// The body of object n, from "n 0 obj" to its "endobj".
std::string Object(const std::string& pdf, int n) {
    const std::string head = "\r\n" + std::to_string(n) + " 0 obj\r\n";
    const std::size_t at = pdf.find(head);
    if (at == std::string::npos) return {};
    const std::size_t begin = at + head.size();
    return pdf.substr(begin, pdf.find("endobj\r\n", begin) - begin);
}

// The data of a stream object, inflated when it is compressed.
std::string StreamData(const std::string& pdf, int n) {
    const std::string object = Object(pdf, n);
    std::smatch m;
    static const std::regex length(R"(/Length (\d+))");
    if (!std::regex_search(object, m, length)) return {};
    const std::size_t begin = object.find("stream\r\n") + 8;
    const std::string data = object.substr(begin, std::stoul(m[1]));
    if (!Has(object.substr(0, begin), "/FlateDecode")) return data;
    const std::vector<std::uint8_t> raw = DecompressBuf(data.data(), data.size());
    return std::string(raw.begin(), raw.end());
}

// The content stream of page index (0-based), as text.
std::string PageContent(const std::string& pdf, int index) {
    static const std::regex contents(R"(/Contents (\d+) 0 R)");
    auto it = std::sregex_iterator(pdf.begin(), pdf.end(), contents);
    std::advance(it, index);
    return StreamData(pdf, std::stoi((*it)[1]));
}

std::vector<std::string> PageObjects(const std::string& pdf) {
    std::vector<std::string> pages;
    for (int n = 1;; ++n) {
        const std::string body = Object(pdf, n);
        if (body.empty() && !Has(pdf, "\r\n" + std::to_string(n) + " 0 obj")) break;
        if (Has(body, "/Type /Page\r\n")) pages.push_back(body);
    }
    return pages;
}

std::string Num(double v) {
    return TpgwPDFExport::Num(v);
}

class PdfExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        guids =
            TpgwPDFExport::SetGuidSource([] { return "{0123ABCD-4567-89EF-0123-456789ABCDEF}"; });
        clock.Set(2026, 12, 11, 9, 5, 7);
        filter = std::make_unique<TpgwPDFExport>(TpgwCustomExportFilter::UnlistedTag{});
    }
    void TearDown() override {
        filter.reset();
        TpgwPDFExport::SetGuidSource(std::move(guids));
        PageExportFixture::TearDown();
    }
    // Exports the pages; the file must pass qpdf's check.
    std::string Export(const std::string& password = {}) {
        const std::string pdf = Run(*filter);
        Check(pdf, password);
        return pdf;
    }
    static void Check(const std::string& pdf, const std::string& password = {}) {
        TempDir dir;
        const std::string file = dir / "checked.pdf";
        TempDir::WriteAll(file, pdf);
        const std::string option = password.empty() ? "" : " --password='" + password + "'";
        const ShellResult r = Shell("qpdf --check" + option + " '" + file + "'");
        EXPECT_EQ(r.Status, 0) << r.Out;
        EXPECT_TRUE(Has(r.Out, "No syntax or stream encoding errors found")) << r.Out;
    }
    TpgwReportPage* Page() {
        TpgwReportPage* page = NewPage();
        page->SetLeftMargin(0);
        page->SetTopMargin(0);
        return page;
    }
    // The operators of one view alone on a page with no margins.
    std::string Operators(TpgwView* view) {
        (void)view;
        filter->SetCompressed(false);
        return PageContent(Export(), 0);
    }

    std::unique_ptr<TpgwPDFExport> filter;
    TpgwPDFExport::GuidSource guids;
    FixedExportClock clock;
};

// ---- structure ---------------------------------------------------------------------------------

TEST_F(PdfExports, OneEmptyPageGivesTheSmallestFileCompressedOrNot) {
    ASSERT_EQ(Shell("command -v qpdf").Status, 0) << "qpdf is not installed";
    NewPage();
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed);
        filter->SetCompressed(compressed);
        const std::string pdf = Export();
        const std::string golden =
            Golden(compressed ? "empty_page_compressed.pdf" : "empty_page.pdf");
        if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, pdf);
        EXPECT_EQ(pdf, TempDir::ReadAll(golden));
        EXPECT_TRUE(Has(Object(pdf, 1), "/Kids [3 0 R ]\r\n/Count 1\r\n"));
        EXPECT_TRUE(Has(Object(pdf, 3), "/Type /Page\r\n"));
        EXPECT_TRUE(Has(Object(pdf, 4), "/Title <FEFF>\r\n"));
        EXPECT_TRUE(Has(Object(pdf, 5), "/Type /Catalog"));
        EXPECT_TRUE(Has(pdf, "/Size 6\r\n"));
        // The dictionary of an uncompressed stream holds its length alone.
        EXPECT_EQ(Has(Object(pdf, 2), "<< /Length 0 >>\r\nstream\r\nendstream"), !compressed);
    }
}

TEST_F(PdfExports, InformationViewerPreferencesAndIndependentRuns) {
    NewPage();
    filter->SetTitle(u"A");
    filter->SetCompressed(false);
    const std::string pdf = Export();
    const std::string info = Object(pdf, 4);
    EXPECT_TRUE(Has(info, "/Title <FEFF0041>\r\n")) << info;
    EXPECT_TRUE(Has(info, "/Author <" + TpgwPDFExport::UnicodeHex(u"Pagewright") + ">"));
    EXPECT_TRUE(Has(info, "/CreationDate (D:20261211090507)\r\n/ModDate (D:20261211090507)"));
    // The identifier twice, both halves equal, from the GUID's text.
    const std::string id = MD5Hex("{0123ABCD-4567-89EF-0123-456789ABCDEF}");
    EXPECT_TRUE(Has(pdf, "/ID [<" + id + "><" + id + ">]"));
    // A second export by the same filter starts from object 1 again.
    EXPECT_EQ(Export(), pdf);

    struct Case {
        void (TpgwPDFExport::*set)(bool);
        bool value;
        const char* entry;
    };
    const Case cases[] = {
        {&TpgwPDFExport::SetHideToolbar, true, "/HideToolbar true"},
        {&TpgwPDFExport::SetHideMenubar, true, "/HideMenubar true"},
        {&TpgwPDFExport::SetHideWindowUI, true, "/HideWindowUI true"},
        {&TpgwPDFExport::SetFitWindow, true, "/FitWindow true"},
        {&TpgwPDFExport::SetCenterWindow, true, "/CenterWindow true"},
        {&TpgwPDFExport::SetPrintScaling, false, "/PrintScaling /None"},
    };
    const std::string plain = Object(pdf, 5);
    EXPECT_TRUE(
        Has(plain, "/ViewerPreferences <<\r\n/DisplayDocTitle true\r\n/PrintScaling /None\r\n>>"))
        << plain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        (filter.get()->*c.set)(!c.value);
        EXPECT_FALSE(Has(Object(Export(), 5), c.entry));
        (filter.get()->*c.set)(c.value);
        EXPECT_TRUE(Has(Object(Export(), 5), c.entry));
        (filter.get()->*c.set)(!c.value);
    }
    filter->SetTitle(u"");
    EXPECT_FALSE(Has(Object(Export(), 5), "/DisplayDocTitle"));
}

TEST_F(PdfExports, AFontJoinsThePageResourcesFromThePageOfItsFirstUse) {
    NewPage();
    NewPage();
    TpgwReportPage* third = NewPage();
    TpgwReportPage* fourth = NewPage();
    // One font in two sizes and colours is one PDF font; bold is another.
    Memo(third, 10, 10, 200, 20, "small");
    TpgwMemoView* big = Memo(third, 10, 40, 200, 30, "big");
    big->Font()->SetSize(20);
    big->Font()->SetColor(clRed);
    Memo(fourth, 10, 10, 200, 20, "bold")->Font()->SetStyle({fsBold});
    const std::string pdf = Export();
    const std::vector<std::string> pages = PageObjects(pdf);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_TRUE(Has(pages[0], "/Font << >>"));
    EXPECT_TRUE(Has(pages[1], "/Font << >>"));
    EXPECT_TRUE(std::regex_search(pages[2], std::regex(R"(/Font << /F0 \d+ 0 R >>)"))) << pages[2];
    EXPECT_TRUE(std::regex_search(pages[3], std::regex(R"(/Font << /F0 \d+ 0 R /F1 \d+ 0 R >>)")))
        << pages[3];
    EXPECT_TRUE(Has(PageContent(pdf, 2), "/F0 20 Tf"));
    EXPECT_TRUE(Has(PageContent(pdf, 3), "/F1 10 Tf"));
    EXPECT_TRUE(Has(pdf, ",Bold\r\n"));
}

// ---- vector operators --------------------------------------------------------------------------

TEST_F(PdfExports, LinesArrowsShapesAndFramesAsVectorOperators) {
    TpgwReportPage* page = Page();
    const double H = 1123 * 0.75;
    auto* line = new TpgwLineView(page);
    line->SetParent(page);
    line->SetBounds(10, 20, 100, 0);
    std::string ops = Operators(line);
    EXPECT_TRUE(Has(ops, "0 0 0 RG\r\n0.75 w\r\n7.50 " + Num(H - 15) + " m\r\n82.50 " +
                             Num(H - 15) + " l\r\nS\r\n"))
        << ops;

    // A vertical line 10 long with an arrow of length 20 at its start: the base lies beyond the
    // tip, away from the other end.
    line->SetBounds(10, 20, 0, 10);
    line->SetArrowStart(true);
    line->SetArrowLength(20);
    line->SetArrowWidth(4);
    line->SetArrowSolid(true);
    ops = Operators(line);
    const double tip = H - 15, base = tip + 15;
    EXPECT_TRUE(Has(ops, Num(7.5 - 3) + " " + Num(base) + " m\r\n7.50 " + Num(tip) + " l\r\n" +
                             Num(7.5 + 3) + " " + Num(base) + " l\r\n1 j\r\n0 0 0 rg\r\nb\r\n"))
        << ops;
    delete line;

    auto* shape = new TpgwShapeView(page);
    shape->SetParent(page);
    shape->SetBounds(0, 0, 40, 20);
    shape->SetColor(clNone);
    ops = Operators(shape);
    EXPECT_TRUE(Has(ops, "0.00 " + Num(H - 15) + " \r\n30.00 15.00 re\r\nS\r\n")) << ops;
    shape->SetColor(clWhite);
    shape->Frame()->SetColor(0x0080FF); // orange: r 1, g 0.5, b 0
    ops = Operators(shape);
    EXPECT_TRUE(Has(ops, "1.00 0.50 0.00 RG\r\n0.75 w\r\n1 1 1 rg\r\n")) << ops;
    EXPECT_TRUE(Has(ops, "re\r\nB\r\n"));
    shape->SetShape(skDiagonal1);
    ops = Operators(shape);
    EXPECT_TRUE(Has(ops, "0.00 " + Num(H - 15) + " m\r\n30.00 " + Num(H) + " l\r\nS\r\n")) << ops;
    delete shape;

    // Nothing for an empty picture or the page background (unless asked for).
    auto* picture = new TpgwPictureView(page);
    picture->SetParent(page);
    picture->SetBounds(0, 0, 0, 50);
    EXPECT_EQ(Operators(picture), "");
    picture->SetBounds(0, 0, 50, 50);
    picture->SetName("_pagebackground");
    EXPECT_EQ(Operators(picture), "");
    filter->SetBackground(true);
    EXPECT_TRUE(Has(Operators(picture), "BI\r\n"));
    delete picture;

    // A rotated memo is an image drawn at three times the size; its top and bottom frame sides
    // are two segments, top first.
    TpgwMemoView* memo = Memo(page, 0, 0, 50, 20, "turned");
    memo->SetRotation(90);
    memo->Frame()->SetTyp(FrameSide(ftTop) | FrameSide(ftBottom));
    ops = Operators(memo);
    EXPECT_TRUE(
        Has(ops, "q\r\n37.50 0 0 15.00 0.00 " + Num(H - 15) + " cm\r\nBI\r\n/W 153\r\n/H 63\r\n"))
        << ops.substr(0, 200);
    const std::size_t frame = ops.find("EI\r\nQ\r\n");
    ASSERT_NE(frame, std::string::npos);
    EXPECT_EQ(ops.substr(frame + 7), "0 0 0 RG\r\n0.75 w\r\n0.00 " + Num(H) + " m\r\n37.50 " +
                                         Num(H) + " l\r\nS\r\n0.00 " + Num(H - 15) +
                                         " m\r\n37.50 " + Num(H - 15) + " l\r\nS\r\n");
}

// ---- memo text ---------------------------------------------------------------------------------

TEST_F(PdfExports, MemoTextPlacementUnderlineShadowAndFontNames) {
    TpgwReportPage* page = Page();
    const double H = 1123 * 0.75;
    // Right-aligned with character spacing: the line starts three points (4 × 0.75) right of
    // the measured place.
    TpgwMemoView* memo = Memo(page, 0, 0, 200, 20, "Right", haRight);
    memo->SetCharSpacing(4);
    memo->Font()->SetStyle({fsUnderline});
    TpgwDrawText& dt = SharedDrawText();
    dt.Lock();
    dt.SetFont(*memo->Font());
    dt.SetOptions(true, false, false, false, false, true, 0);
    dt.SetSpacing(0, 4, 0);
    dt.SetDimensions({0, 0, 10000, 10000}, {0, 0, 10000, 10000}, 1, 1, 1);
    dt.SetText(std::vector<std::u16string>{u"Right"});
    const double lw = dt.CalcWidth();
    dt.Unlock();
    // The available width leaves out the shadow's width even without a shadow.
    const double ws = 200 - memo->Frame()->ShadowWidth();
    const double xs = 10 * 0.01 + memo->GapX() * 1.5 + (ws - 2 * memo->GapX() - lw);
    const std::string x = Num(xs * 0.75 + 3);
    std::string ops = Operators(memo);
    EXPECT_TRUE(Has(ops, "3.00 Tc\r\n")) << ops;
    EXPECT_TRUE(std::regex_search(
        ops, std::regex("BT\r\n" + x + R"( [\d.]+ Td\r\n<[0-9A-F]+> Tj\r\nET\r\n)")))
        << ops << " expected x " << x;
    // The underline runs exactly the measured width.
    EXPECT_TRUE(
        std::regex_search(ops, std::regex("0.80 w\r\n" + x + R"( [\d.]+ m\r\n)" +
                                          Num(xs * 0.75 + 3 + lw * 0.75) + R"( [\d.]+ l\r\nS)")))
        << ops;
    delete memo;

    // An empty memo: clip, fill and frame, no font and no text object.
    memo = Memo(page, 0, 0, 200, 20, "");
    memo->SetColor(clYellow);
    ops = Operators(memo);
    EXPECT_FALSE(Has(ops, "Tf"));
    EXPECT_FALSE(Has(ops, "BT"));
    EXPECT_TRUE(Has(ops, "re\r\nf\r\n"));

    // A drop shadow takes its width off the fill.
    memo->Frame()->SetDropShadow(true);
    memo->Frame()->SetShadowWidth(4);
    ops = Operators(memo);
    EXPECT_TRUE(Has(ops, "0.00 " + Num(H - 12) + " 147.00 12.00 re\r\nf\r\n")) << ops;
    EXPECT_TRUE(Has(ops, "147.00 " + Num(H - 15) + " 3.00 12.00 re\r\nB\r\n"));
    delete memo;

    memo = Memo(page, 0, 0, 200, 20, "Courier");
    memo->Font()->SetName("Courier New");
    memo->Font()->SetStyle({fsBold});
    const std::string pdf = Export();
    EXPECT_TRUE(
        std::regex_search(pdf, std::regex(R"(/BaseFont /[A-Z]{6}\+Courier#20New,Bold\r\n)")));
}

// ---- fonts and text, read back by independent readers ------------------------------------------

class PdfFiles : public PdfExports {
protected:
    std::string ExportFixture(const std::string& file) {
        const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/pdf_fonts.pg3";
        report->EngineOptions()->SetNewSilentMode(simSilent);
        EXPECT_TRUE(report->LoadFromFile(path, false)) << report->Errors().Text();
        report->SetShowProgress(false);
        EXPECT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
        filter->SetFileName(file);
        filter->SetShowDialog(false);
        EXPECT_TRUE(report->ExportTo(filter.get())) << report->Errors().Text();
        const std::string pdf = TempDir::ReadAll(file);
        if (filter->UserPassword().empty()) Check(pdf);
        return pdf;
    }
    TempDir dir;
};

TEST_F(PdfFiles, ReadersFindEveryTextInEmbeddedSubsetFonts) {
    ASSERT_EQ(Shell("command -v pdftotext").Status, 0) << "poppler-utils is not installed";
    const std::string file = dir / "fonts.pdf";
    ExportFixture(file);
    const ShellResult text = Shell("pdftotext -enc UTF-8 '" + file + "' -");
    ASSERT_EQ(text.Status, 0) << text.Out;
    for (const char* expected : {"超声检查报告单", "Liver and gallbladder normal",
                                 "Arial 肝脏 mixed", "office fine", "Centered", "two lines"})
        EXPECT_TRUE(Has(text.Out, expected)) << expected << "\n" << text.Out;
    // Right-to-left text reads back in either order, but whole.
    EXPECT_TRUE(Has(text.Out, "שלום") && Has(text.Out, "עולם")) << text.Out;

    const ShellResult fonts = Shell("pdffonts '" + file + "'");
    ASSERT_EQ(fonts.Status, 0) << fonts.Out;
    int listed = 0;
    std::istringstream lines(fonts.Out);
    for (std::string line; std::getline(lines, line);) {
        if (!Has(line, "+")) continue;
        ++listed;
        EXPECT_TRUE(
            std::regex_search(line, std::regex(R"(CID TrueType\s+Identity-H\s+yes yes yes)")))
            << line;
    }
    // 宋体, Arial, its CJK fallback, Tahoma bold and regular, Courier New.
    EXPECT_EQ(listed, 6) << fonts.Out;
}

TEST_F(PdfFiles, TheFirstPageLooksAsThePreviewDrawsIt) {
    ASSERT_EQ(Shell("command -v pdftoppm").Status, 0) << "poppler-utils is not installed";
    const std::string file = dir / "look.pdf";
    ExportFixture(file);
    ASSERT_EQ(
        Shell("pdftoppm -r 96 -f 1 -l 1 -gray '" + file + "' '" + (dir / "page") + "'").Status, 0);
    std::string pgm;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".pgm") pgm = TempDir::ReadAll(entry.path().string());
    int width = 0, height = 0, max = 0, consumed = 0;
    ASSERT_EQ(std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &width, &height, &max, &consumed), 3);
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(pgm.data()) + consumed + 1;

    TBitmap screen(width, height, pf24bit);
    report->PreviewPages()->DrawPage(0, screen.Canvas(), 1, 1, 0, 0);
    // Compared in blocks of 16 × 16 pixels: anti-aliasing, glyph rasterising and the text's
    // fraction of a pixel further right and down differ; places and ink must not (a missing
    // line of text or shape leaves a block far darker or lighter).
    constexpr int kBlock = 16;
    double worst = 0, total = 0;
    int blocks = 0;
    for (int by = 0; by + kBlock <= height; by += kBlock)
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            double a = 0, b = 0;
            for (int y = by; y < by + kBlock; ++y)
                for (int x = bx; x < bx + kBlock; ++x) {
                    a += pixels[y * width + x];
                    const TColor c = screen.Canvas().Pixel(x, y);
                    b += 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c);
                }
            const double d = std::abs(a - b) / (kBlock * kBlock);
            worst = std::max(worst, d);
            total += d;
            ++blocks;
        }
    EXPECT_LT(total / blocks, 1.0);
    EXPECT_LT(worst, 45.0);
}

TEST_F(PdfFiles, AProtectedFileOpensWithEitherPasswordAndKeepsItsChineseTitle) {
    ASSERT_EQ(Shell("command -v pdfinfo").Status, 0) << "poppler-utils is not installed";
    const std::string plainFile = dir / "plain.pdf";
    ExportFixture(plainFile);
    const std::string plainText = Shell("pdftotext -enc UTF-8 '" + plainFile + "' -").Out;

    const std::string file = dir / "protected.pdf";
    filter->SetTitle(u"超声检查报告");
    filter->SetUserPassword("user");
    filter->SetOwnerPassword("owner");
    filter->SetProtectionFlags(1u << ePrint | 1u << eCopy);
    const std::string pdf = ExportFixture(file);
    Check(pdf, "user");
    Check(pdf, "owner");
    EXPECT_FALSE(Has(pdf, "(Adobe)"));
    const ShellResult encryption = Shell("qpdf --password=user --show-encryption '" + file + "'");
    EXPECT_TRUE(Has(encryption.Out, "R = 3")) << encryption.Out;
    EXPECT_TRUE(Has(encryption.Out, "P = -44")) << encryption.Out;
    const ShellResult key =
        Shell("qpdf --password=user --show-encryption-key --show-encryption '" + file + "'");
    EXPECT_TRUE(std::regex_search(key.Out, std::regex("Encryption key = [0-9a-f]{32}\n")))
        << key.Out;

    const ShellResult info = Shell("pdfinfo -upw user '" + file + "'");
    EXPECT_TRUE(std::regex_search(info.Out, std::regex("Title: +超声检查报告\n"))) << info.Out;
    EXPECT_TRUE(std::regex_search(
        info.Out, std::regex(R"(Encrypted: +yes \(print:yes copy:yes change:no addNotes:no)")))
        << info.Out;
    EXPECT_EQ(Shell("pdftotext -enc UTF-8 -upw user '" + file + "' -").Out, plainText);
    EXPECT_NE(Shell("pdftotext -upw wrong '" + file + "' -").Status, 0);
}

TEST_F(PdfFiles, PgwprepWritesAProtectedFileAndAnUnwritableTargetLeavesNothing) {
    const std::string file = dir / "pgwprep.pdf";
    const PgwprepRun r = RunPgwprep({std::string(LUMETRA_TESTDATA_DIR) + "/pdf_fonts.pg3",
                                     "--export", "pdf", file, "--set", "UserPassword=u"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string pdf = TempDir::ReadAll(file);
    EXPECT_TRUE(Has(pdf, "/Encrypt <<"));
    Check(pdf, "u");

    const std::string missing = dir / "missing/x.pdf";
    const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/pdf_fonts.pg3";
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(report->LoadFromFile(path, false));
    report->SetShowProgress(false);
    ASSERT_TRUE(report->BuildPreparedPages());
    filter->SetFileName(missing);
    filter->SetShowDialog(false);
    EXPECT_FALSE(report->ExportTo(filter.get()));
    EXPECT_FALSE(report->Errors().Text().empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

// ---- the options dialog ------------------------------------------------------------------------

class TDialogPDFExport : public TpgwPDFExport {
public:
    TDialogPDFExport() : TpgwPDFExport(UnlistedTag{}) {}
    TpgwPDFExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = TpgwPDFExport::CreateDialog();
        Dialog = static_cast<TpgwPDFExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(PdfExports, TheDialogHasFourTabsHidesPasswordsAndCancelsWithoutWriting) {
    TDialogPDFExport pdf;
    pdf.SetReport(report.get());
    report->ReportOptions()->SetName("Exam report");
    const TempDir folder;
    const std::string target = folder / "never.pdf";
    for (bool outlineVisible : {false, true}) {
        SCOPED_TRACE(outlineVisible);
        report->PreviewOptions()->SetOutlineVisible(outlineVisible);
        pdf.SetFileName(target);
        Application()->QueueCall([&] {
            TpgwPDFExportDialog* d = pdf.Dialog;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->PageControl1->PageCount(), 4);
            EXPECT_EQ(d->OwnPassE->PasswordChar(), '*');
            EXPECT_EQ(d->UserPassE->PasswordChar(), '*');
            EXPECT_EQ(d->OutlineCB->Enabled(), outlineVisible);
            EXPECT_EQ(d->TitleE->Text(), "Exam report");
            EXPECT_TRUE(d->CompressedCB->Checked());
            d->UserPassE->SetText("secret");
            d->CancelB->Click();
        });
        EXPECT_EQ(pdf.AskOptions(), 2);
        // Cancelled: the password typed is not taken over.
        EXPECT_EQ(pdf.UserPassword(), "");
    }

    // Confirmed options, then a cancelled save dialog: the run stops all the same.
    auto recorder = std::make_unique<TRecordingReporter>();
    recorder->QueueDialogAnswer({});
    TScopedReporter scope(std::move(recorder));
    Application()->QueueCall([&] {
        pdf.Dialog->UserPassE->SetText("secret");
        pdf.Dialog->OkB->Click();
    });
    EXPECT_EQ(pdf.AskOptions(), 2);
    EXPECT_EQ(pdf.UserPassword(), "secret");
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PdfExports, EmbeddedFontsPutTheWholeFaceInTheFile) {
    Memo(Page(), 0, 0, 200, 20, "whole face");
    filter->SetCompressed(false);
    const std::string subset = Export();
    EXPECT_TRUE(Has(subset, "/CIDToGIDMap"));
    filter->SetEmbeddedFonts(true);
    const std::string whole = Export();
    EXPECT_FALSE(Has(whole, "/CIDToGIDMap"));
    EXPECT_TRUE(Has(whole, "/BaseFont /Arial\r\n"));
    EXPECT_TRUE(Has(whole, "/FontFile2 "));
    // Far larger than the few glyphs of the subset.
    EXPECT_GT(whole.size(), subset.size() + 100000);
}

} // namespace
