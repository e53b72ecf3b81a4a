// The spooler's printers, against a private print server on a loopback port whose queues write
// every job to a file: what the queues offer, PDF jobs with their options, raw jobs byte for
// byte, and print-to-file. Skipped with a message where the server cannot start.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/print/print_backend.h"
#include "platform/print/print_page_canvas.h"
#include "platform/print/tests/print_test_tools.h"
#include "platform/print/tests/private_spooler.h"

namespace {

using print_test::HaveTool;
using print_test::PrivateSpooler;
using print_test::RunTool;

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Spooler : public testing::Test {
protected:
    // "Files", the default, keeps its last job in a file; both queues pass every job through.
    static void SetUpTestSuite() {
        const std::string ppd = LUMETRA_TESTDATA_DIR "/file_queue.ppd";
        server = new PrivateSpooler({{"Files", ppd, "File queue", "Room 12"}, {"Second", ppd}});
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server->Running()) GTEST_SKIP() << "private print server: " << server->Problem();
        backend = CreateSpoolerPrintBackend();
    }

    static PrivateSpooler* server;
    std::unique_ptr<TPrintBackend> backend;
    TPrintPageCanvas canvas{600, 600};
};

PrivateSpooler* Spooler::server = nullptr;

int pageCount(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page[^s])");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

void printPages(TPrintDevice& device, TPrintPageCanvas& canvas, int pages) {
    for (int i = 1; i <= pages; ++i) {
        device.BeginPage();
        canvas.TextOut(100, 100, "Page " + std::to_string(i));
        device.EndPage();
    }
}

TEST_F(Spooler, ListsTheQueuesAndWhatTheyOffer) {
    const std::vector<TPrinterEntry> printers = backend->Printers();
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].Name, "Files");
    EXPECT_EQ(printers[0].Port, "Room 12");
    EXPECT_EQ(printers[1].Name, "Second");
    EXPECT_EQ(backend->DefaultPrinterName(), "Files");
    EXPECT_EQ(backend->Open("Nowhere"), nullptr);

    auto device = backend->Open("Files");
    ASSERT_NE(device, nullptr);
    const TPrinterCapabilities& caps = device->Capabilities();
    std::vector<std::pair<int, std::string>> papers;
    for (const TPrintPaper& p : caps.Papers)
        papers.emplace_back(p.Code, p.Name);
    std::sort(papers.begin(), papers.end());
    EXPECT_EQ(papers,
              (std::vector<std::pair<int, std::string>>{{1, "Letter"}, {9, "A4"}, {11, "A5"}}));
    EXPECT_EQ(caps.DefaultPaper, 9);
    std::vector<std::pair<int, std::string>> bins;
    for (const TPrintBin& b : caps.Bins)
        bins.emplace_back(b.Code, b.Name);
    EXPECT_EQ(bins,
              (std::vector<std::pair<int, std::string>>{
                  {DMBIN_UPPER, "Tray 1"}, {DMBIN_LOWER, "Tray 2"}, {DMBIN_MANUAL, "Manual"}}));
    EXPECT_EQ(caps.DuplexModes,
              (std::vector<int>{DMDUP_SIMPLEX, DMDUP_VERTICAL, DMDUP_HORIZONTAL}));
    ASSERT_FALSE(caps.Resolutions.empty());
    EXPECT_EQ(caps.Resolutions[0], 600);

    // The queue's printable area: 14.17 pt (5 mm) on every side.
    TPrintFormat a5;
    a5.PaperSize = 11;
    a5.Orientation = poLandscape;
    const TPrintMetrics m = device->Measure(a5);
    EXPECT_EQ(m.DpiX, 600);
    EXPECT_EQ(m.PhysicalWidth, 4961);
    EXPECT_EQ(m.PhysicalHeight, 3496);
    EXPECT_NEAR(m.OffsetX, 118, 1);
    EXPECT_NEAR(m.PhysicalWidth - m.PrintableWidth - m.OffsetX, 118, 1);
}

TEST_F(Spooler, PdfJobsArriveWithTheirPagesAndOptions) {
    auto device = backend->Open("Files");
    ASSERT_NE(device, nullptr);
    const std::size_t before = server->JobIds().size();

    device->BeginDoc({"Three pages", ""}, TPrintFormat{}, canvas);
    printPages(*device, canvas, 3);
    device->EndDoc();
    ASSERT_TRUE(server->WaitForJobs());
    std::string pdf = server->Output("Files");
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(pageCount(pdf), 3);
    std::vector<int> ids = server->JobIds();
    ASSERT_EQ(ids.size(), before + 1);
    EXPECT_EQ(server->JobAttribute(ids.back(), "job-name"), "Three pages");

    // Two pages from the first tray, then one two-sided from the second in two copies: the
    // options change, so a second job follows.
    TPrintFormat tray1;
    tray1.Bin = DMBIN_UPPER;
    device->BeginDoc({"Two trays", ""}, tray1, canvas);
    printPages(*device, canvas, 2);
    TPrintFormat tray2;
    tray2.PaperSize = 11;
    tray2.Bin = DMBIN_LOWER;
    tray2.Duplex = DMDUP_VERTICAL;
    tray2.Copies = 2;
    device->SetFormat(tray2);
    printPages(*device, canvas, 1);
    device->EndDoc();
    ASSERT_TRUE(server->WaitForJobs());
    ids = server->JobIds();
    ASSERT_EQ(ids.size(), before + 3);
    EXPECT_EQ(server->JobAttribute(ids[before + 1], "media-source"), "tray-1");
    EXPECT_EQ(server->JobAttribute(ids[before + 1], "sides"), "one-sided");
    EXPECT_EQ(server->JobAttribute(ids[before + 2], "media-source"), "tray-2");
    EXPECT_EQ(server->JobAttribute(ids[before + 2], "sides"), "two-sided-long-edge");
    EXPECT_EQ(server->JobAttribute(ids[before + 2], "copies"), "2");
    EXPECT_EQ(server->JobAttribute(ids[before + 2], "media"), "iso_a5_148x210mm");
    EXPECT_EQ(pageCount(server->Output("Files")), 1); // the device file holds the last job

    // An aborted document sends nothing.
    device->BeginDoc({"Dropped", ""}, TPrintFormat{}, canvas);
    printPages(*device, canvas, 2);
    device->Abort();
    EXPECT_EQ(server->JobIds().size(), before + 3);
}

TEST_F(Spooler, RawJobsArriveByteForByte) {
    auto device = backend->Open("Files");
    ASSERT_NE(device, nullptr);
    std::string bytes;
    for (int round = 0; round < 400; ++round)
        for (int b = 0; b < 256; ++b)
            bytes += static_cast<char>(b);
    device->BeginRawDoc("Raw");
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    device->WriteRawData({data, 1000});
    device->WriteRawData({data + 1000, bytes.size() - 1000});
    device->EndRawDoc();
    ASSERT_TRUE(server->WaitForJobs());
    const std::string arrived = server->Output("Files");
    EXPECT_EQ(arrived.size(), bytes.size());
    EXPECT_TRUE(arrived == bytes);
    EXPECT_THROW(device->WriteRawData({data, 10}), EPrinter);
}

TEST_F(Spooler, PrintToFileWritesPdfAndSendsNothing) {
    auto device = backend->Open("Files");
    ASSERT_NE(device, nullptr);
    const std::size_t before = server->JobIds().size();
    const std::string file = server->Dir().File("report.prn");
    device->BeginDoc({"To file", file}, TPrintFormat{}, canvas);
    printPages(*device, canvas, 4);
    device->EndDoc();
    const std::string pdf = readFile(file);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(pageCount(pdf), 4);
    if (HaveTool("qpdf")) {
        int status = -1;
        const std::string check = RunTool("qpdf --check '" + file + "'", &status);
        EXPECT_EQ(status, 0) << check;
    }
    EXPECT_EQ(server->JobIds().size(), before);
}

} // namespace
