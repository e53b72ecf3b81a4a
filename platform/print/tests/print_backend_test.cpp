// The page canvas that passes drawing on, and the recording printers: what they record, the
// errors they raise, and the PDF files they write for documents with a file name.

#include "platform/print/recording_print_backend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/print/print_page_canvas.h"
#include "platform/print/tests/print_test_tools.h"

namespace {

using print_test::HaveTool;
using print_test::RunTool;
using print_test::TempDir;

void drawSample(TCanvas& c) {
    c.Pen().SetWidth(3);
    c.Pen().SetColor(clRed);
    c.Brush().SetColor(clYellow);
    c.Rectangle(10, 10, 200, 120);
    c.Brush().SetStyle(bsClear);
    c.Ellipse(20, 20, 90, 70);
    c.RoundRect(5, 5, 60, 60, 10, 12);
    c.Arc(0, 0, 100, 100, 100, 50, 0, 50);
    c.Pie(0, 0, 100, 100, 100, 50, 50, 0);
    c.Chord(0, 0, 100, 100, 0, 50, 100, 50);
    c.Polyline({{0, 0}, {30, 40}, {60, 0}});
    c.Polygon({{100, 100}, {130, 140}, {160, 100}});
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clBlue);
    c.FillRect({300, 300, 340, 330});
    c.FrameRect({300, 300, 340, 330});
    c.SaveClip();
    c.IntersectClipRect({0, 0, 400, 400});
    c.ExcludeClipRect({10, 10, 20, 20});
    c.Font().SetName("Liberation Serif");
    c.Font().SetSize(12);
    c.Font().SetStyle({fsBold});
    c.SetBackgroundMode(bmTransparent);
    c.TextOut(40, 200, "Printed text");
    const TRect box{40, 240, 140, 260};
    c.ExtTextOut(40, 240, ETO_CLIPPED | ETO_OPAQUE, &box, u"clipped text", nullptr);
    c.RestoreClip();
    c.DrawImage(TRect{400, 10, 440, 50}, TRasterImage(4, 4, 0xFF00FF00u));
}

TEST(PrintPageCanvas, PassesEveryCallOnToThePage) {
    TRecordingCanvas direct(800, 600, 600, 600);
    drawSample(direct);

    TPrintPageCanvas canvas(600, 600);
    TRecordingCanvas page(800, 600, 600, 600);
    canvas.SetPageTarget(&page);
    drawSample(canvas);
    EXPECT_EQ(page.Recording().Serialize(), direct.Recording().Serialize());

    // Between pages drawing goes nowhere.
    canvas.SetPageTarget(nullptr);
    drawSample(canvas);
    EXPECT_EQ(page.Recording().RecordCount(), direct.Recording().RecordCount());
}

TEST(RecordingPrinters, ListAndOpen) {
    TRecordingPrintBackend backend;
    EXPECT_TRUE(backend.Printers().empty());
    EXPECT_EQ(backend.DefaultPrinterName(), "");
    backend.AddPrinter("Laser").Port = "Room 12";
    backend.AddPrinter("Labels");
    ASSERT_EQ(backend.Printers().size(), 2u);
    EXPECT_EQ(backend.Printers()[0].Port, "Room 12");
    EXPECT_EQ(backend.DefaultPrinterName(), "Laser");
    backend.SetDefaultPrinter("Labels");
    EXPECT_EQ(backend.DefaultPrinterName(), "Labels");
    EXPECT_EQ(backend.Open("Nowhere"), nullptr);
    ASSERT_NE(backend.Open("Labels"), nullptr);
    EXPECT_EQ(backend.Open("Labels")->Capabilities().DefaultPaper, 9);
}

TEST(RecordingPrinters, MeasureAndRecordEveryCall) {
    TRecordingPrintBackend backend;
    backend.AddPrinter("Laser");
    auto device = backend.Open("Laser");
    TPrintFormat a5;
    a5.PaperSize = 11;
    a5.Orientation = poLandscape;
    const TPrintMetrics m = device->Measure(a5);
    EXPECT_EQ(m.PhysicalWidth, 4961);
    EXPECT_EQ(m.PhysicalHeight, 3496);
    EXPECT_EQ(m.OffsetX, 118);
    EXPECT_EQ(m.PrintableWidth, 4961 - 236);

    TPrintFormat custom;
    custom.PaperSize = kCustomPaperSize;
    custom.PaperWidth = 1000;
    custom.PaperLength = 2000;
    EXPECT_EQ(device->Measure(custom).PhysicalHeight, 4724);
    TPrintFormat unknown;
    unknown.PaperSize = 999; // falls back to the default paper
    EXPECT_EQ(device->Measure(unknown).PhysicalWidth, 4961);

    TPrintPageCanvas canvas(600, 600);
    device->BeginDoc({"Report", ""}, TPrintFormat{}, canvas);
    EXPECT_THROW(device->BeginDoc({"Again", ""}, TPrintFormat{}, canvas), EPrinter);
    EXPECT_THROW(device->WriteRawData({}), EPrinter);
    device->BeginPage();
    canvas.Rectangle(0, 0, 10, 10);
    device->SetFormat(a5);
    device->BeginPage(); // ends the open page first
    device->EndPage();
    device->EndDoc();
    EXPECT_EQ(backend.Log(), (std::vector<std::string>{
                                 "BeginDoc Laser Report", "BeginPage",
                                 "SetFormat Laser paper=11 landscape bin=7 duplex=1 copies=1",
                                 "EndPage", "BeginPage", "EndPage", "EndDoc"}));
    ASSERT_EQ(backend.AllPages().size(), 2u);
    EXPECT_EQ(backend.AllPages()[0]->Format.PaperSize, 9);
    EXPECT_EQ(backend.AllPages()[0]->Recording.RecordCount(), 1u);
    EXPECT_EQ(backend.AllPages()[1]->Format, a5);
    EXPECT_EQ(backend.AllPages()[1]->Recording.Width(), 4961);
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int fileCount(const std::string& dir) {
    int count = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++count;
        closedir(d);
    }
    return count;
}

struct PdfPrinter {
    PdfPrinter() {
        backend.SetWriteFiles(true);
        backend.AddPrinter("Laser");
        device = backend.Open("Laser");
    }
    TRecordingPrintBackend backend;
    std::unique_ptr<TPrintDevice> device;
    TPrintPageCanvas canvas{600, 600};
};

TEST(RecordingPrinters, WriteDocumentsWithAFileNameAsPdf) {
    if (!HaveTool("qpdf") || !HaveTool("pdfinfo") || !HaveTool("pdftotext"))
        GTEST_SKIP() << "qpdf and poppler-utils are needed to read the PDF";
    TempDir dir;
    PdfPrinter p;
    // Whatever the name says, the file is PDF.
    const std::string file = dir.File("out.prn");
    p.device->BeginDoc({"Monthly", file}, TPrintFormat{}, p.canvas);
    p.device->BeginPage();
    p.canvas.Font().SetName("Liberation Sans");
    p.canvas.Font().SetSize(20);
    p.canvas.TextOut(100, 100, "Page one");
    TPrintFormat a5;
    a5.PaperSize = 11;
    a5.Orientation = poLandscape;
    p.device->SetFormat(a5);
    p.device->BeginPage();
    p.canvas.TextOut(100, 100, "Page two");
    p.device->EndDoc();

    int status = -1;
    const std::string check = RunTool("qpdf --check '" + file + "'", &status);
    EXPECT_EQ(status, 0) << check;
    const std::string info = RunTool("pdfinfo -f 1 -l 2 '" + file + "'");
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Monthly"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    1 size:  595 x 842 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    2 size:  595 x 420 pts"), std::string::npos) << info;
    const std::string text = RunTool("pdftotext '" + file + "' -");
    EXPECT_NE(text.find("Page one"), std::string::npos) << text;
    EXPECT_NE(text.find("Page two"), std::string::npos) << text;
    EXPECT_EQ(fileCount(dir.Path()), 1);
}

TEST(RecordingPrinters, FilesAreWholeOrUntouched) {
    TempDir dir;
    const std::string file = dir.File("kept.pdf");
    std::ofstream(file) << "old";
    PdfPrinter p;

    // Aborted.
    p.device->BeginDoc({"Aborted", file}, TPrintFormat{}, p.canvas);
    p.device->BeginPage();
    p.canvas.Rectangle(0, 0, 100, 100);
    p.device->Abort();
    EXPECT_EQ(readFile(file), "old");

    // No page: nothing to write.
    p.device->BeginDoc({"Empty", file}, TPrintFormat{}, p.canvas);
    p.device->EndDoc();
    EXPECT_EQ(readFile(file), "old");

    // A full disk.
    p.device->BeginDoc({"Full", file}, TPrintFormat{}, p.canvas);
    p.device->BeginPage();
    p.canvas.Rectangle(0, 0, 100, 100);
    SetSafeFileFailureForTesting(ENOSPC);
    EXPECT_THROW(p.device->EndDoc(), Exception);
    SetSafeFileFailureForTesting(0);
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(fileCount(dir.Path()), 1);

    // A folder that does not exist: refused before any page.
    EXPECT_THROW(
        p.device->BeginDoc({"Nowhere", dir.File("missing/x.pdf")}, TPrintFormat{}, p.canvas),
        Exception);
    p.device->BeginDoc({"Fine", file}, TPrintFormat{}, p.canvas);
    p.device->BeginPage();
    p.device->EndDoc();
    EXPECT_EQ(readFile(file).substr(0, 5), "%PDF-");
}

} // namespace
