// The printer layer over recorded printers and over none at all: the list and its current
// printer, papers, bins and margins, the formats sent to the device, documents and raw jobs,
// the set-up dialog's choice and the paper new pages take.

#include "engine/printers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_module.h"
#include "engine/printer_properties_dialog.h"
#include "platform/core/exception.h"
#include "platform/print/recording_print_backend.h"
#include "platform/ui/application.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/module_startup.h"
#include "report/resources.h"

namespace {

std::string text(const char* key) {
    return GetResources().GetText(key);
}

// Boxes are recorded, never shown.
struct Boxes {
    TRecordingReporter* reporter = new TRecordingReporter;
    TScopedReporter scope{std::unique_ptr<TMessageReporter>(reporter)};
};

TEST(VirtualPrinter, StandsInWhenNoPrinterIsInstalled) {
    TpgwScopedPrinters none;
    TpgwPrinters* list = GetPrinters();
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Printers(), std::vector<std::string>{text("prVirtual")});
    EXPECT_FALSE(list->PrintersInstalled());
    ASSERT_EQ(list->PrinterIndex(), 0);

    TpgwCustomPrinter* p = list->Printer();
    EXPECT_TRUE(p->IsValid());
    EXPECT_EQ(p->DPI(), (TPoint{600, 600}));
    EXPECT_EQ(p->DefPaper(), 9);
    EXPECT_EQ(p->DefOrientation(), poPortrait);
    EXPECT_EQ(p->DefPaperWidth(), 210);
    EXPECT_EQ(p->DefPaperHeight(), 297);

    p->SetPageFormat(9, poPortrait, 0, 0);
    EXPECT_EQ(p->Paper(), 9);
    EXPECT_EQ(p->PaperWidth(), 210);
    EXPECT_EQ(p->PaperHeight(), 297);
    for (double margin : {p->LeftMargin(), p->TopMargin(), p->RightMargin(), p->BottomMargin()})
        EXPECT_EQ(margin, 5);

    // The user-defined entry, then the standard papers under their names.
    ASSERT_EQ(p->Papers().size(), 67u);
    EXPECT_EQ(p->Papers()[0].Name, text("prCustom"));
    EXPECT_EQ(p->Papers()[0].Code, kCustomPaperSize);
    for (std::size_t i = 1; i < p->Papers().size(); ++i) {
        EXPECT_EQ(p->Papers()[i].Code, PaperSizes()[i - 1].Code);
        EXPECT_EQ(p->Papers()[i].Name, PaperSizes()[i - 1].Name);
    }
    ASSERT_EQ(p->Bins().size(), 1u);
    EXPECT_EQ(p->Bins()[0].Name, text("prDefault"));
    EXPECT_EQ(p->Bins()[0].Code, DMBIN_AUTO);
}

TEST(VirtualPrinter, NeverPrints) {
    TpgwScopedPrinters none;
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    p->ApplyPrintFormat(9, poPortrait, 210, 297, 7, 1, 1);
    p->BeginDoc();
    p->BeginPage();
    p->Canvas()->Rectangle(0, 0, 100, 100);
    p->EndPage();
    p->EndDoc();
    p->BeginRawDoc();
    p->WriteRawData("data");
    p->EndRawDoc();
    EXPECT_FALSE(p->Printing());
    EXPECT_FALSE(p->ShowPropertiesDialog());
    EXPECT_TRUE(none.Recorder()->Log().empty());
}

TEST(VirtualPrinter, PageFormatsTakeTheTableOrTheGivenSize) {
    TpgwScopedPrinters none;
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    struct Case {
        int paper;
        TPrinterOrientation orientation;
        double width, height;
        int expectedPaper;
        double expectedWidth, expectedHeight;
    };
    for (const Case& c : {
             Case{9, poLandscape, 0, 0, 9, 297, 210},
             Case{11, poPortrait, 1, 1, 11, 148, 210},
             Case{35, poPortrait, 0, 0, 35, 176, 125}, // wider than high in the table
             Case{kCustomPaperSize, poPortrait, 100, 150, kCustomPaperSize, 100, 150},
             Case{kCustomPaperSize, poLandscape, 100, 150, kCustomPaperSize, 100, 150},
             Case{999, poLandscape, 120, 80, kCustomPaperSize, 120, 80},
         }) {
        SCOPED_TRACE(c.paper);
        p->SetPageFormat(c.paper, c.orientation, c.width, c.height);
        EXPECT_EQ(p->Paper(), c.expectedPaper);
        EXPECT_EQ(p->Orientation(), c.orientation);
        EXPECT_DOUBLE_EQ(p->PaperWidth(), c.expectedWidth);
        EXPECT_DOUBLE_EQ(p->PaperHeight(), c.expectedHeight);
        EXPECT_EQ(p->LeftMargin(), 5);
        EXPECT_EQ(p->BottomMargin(), 5);
    }
}

TEST(PrinterLookups, NamesAndCodes) {
    TpgwScopedPrinters none;
    const TpgwCustomPrinter* p = GetPrinters()->Printer();
    EXPECT_EQ(p->PaperNameToNumber("A4"), 9);
    EXPECT_EQ(p->PaperNameToNumber("Envelope DL"), 27);
    EXPECT_EQ(p->PaperNameToNumber(text("prCustom")), kCustomPaperSize);
    // Exact names only: anything else is the user-defined size, or the automatic bin.
    for (const char* unknown : {"no such paper", "a4", "A4 ", ""})
        EXPECT_EQ(p->PaperNameToNumber(unknown), kCustomPaperSize) << unknown;
    EXPECT_EQ(p->BinNameToNumber("Upper tray"), DMBIN_AUTO);
    EXPECT_EQ(p->BinNameToNumber(text("prDefault")), DMBIN_AUTO);

    EXPECT_EQ(p->PaperIndex(kCustomPaperSize), 0);
    EXPECT_EQ(p->PaperIndex(9), 9);
    EXPECT_EQ(p->PaperIndex(50), 48); // after the gap in the codes
    EXPECT_EQ(p->PaperIndex(48), -1);
    EXPECT_EQ(p->BinIndex(DMBIN_AUTO), 0);
    EXPECT_EQ(p->BinIndex(DMBIN_UPPER), -1);
}

std::unique_ptr<TRecordingPrintBackend> printers(const std::vector<std::string>& names,
                                                 const std::string& defaultName) {
    auto backend = std::make_unique<TRecordingPrintBackend>();
    for (const std::string& name : names)
        backend->AddPrinter(name);
    backend->SetDefaultPrinter(defaultName);
    return backend;
}

TEST(PrinterList, FindsPrintersWithoutRegardToCase) {
    TpgwScopedPrinters scope{{"HP LaserJet", "Office", "Ärzte Drucker"}};
    const TpgwPrinters* list = GetPrinters();
    EXPECT_TRUE(list->PrintersInstalled());
    struct Case {
        const char* name;
        int index;
    };
    for (const Case& c : {Case{"hp laserjet", 0}, Case{"HP LASERJET", 0}, Case{"office", 1},
                          Case{"ärzte drucker", 2}, Case{"Office ", -1}, Case{"", -1}})
        EXPECT_EQ(list->IndexOf(c.name), c.index) << c.name;
    EXPECT_EQ(list->Items(-1), nullptr);
    EXPECT_EQ(list->Items(2)->Name(), "Ärzte Drucker");
    EXPECT_THROW(list->Items(3), EListError);
}

TEST(PrinterList, SelectsTheDefaultPrinter) {
    struct Case {
        const char* defaultName;
        int current;
    };
    for (const Case& c : {Case{"Office", 1}, Case{"OFFICE", 1}, Case{"Missing", 0}}) {
        SCOPED_TRACE(c.defaultName);
        TpgwScopedPrinters scope{printers({"Laser", "Office", "Labels"}, c.defaultName)};
        TpgwPrinters* list = GetPrinters();
        EXPECT_EQ(list->PrinterIndex(), c.current);
        // Only the current printer has been asked for its capabilities.
        for (int i = 0; i < list->Count(); ++i)
            EXPECT_EQ(list->Items(i)->Initialized(), i == c.current) << i;
    }

    TpgwScopedPrinters scope{printers({"Laser", "Office"}, "Office")};
    TpgwPrinters* list = GetPrinters();
    list->SelectPrinter(0);
    EXPECT_EQ(list->Printer()->Name(), "Laser");
    list->SelectPrinter(-1);
    EXPECT_EQ(list->PrinterIndex(), 1);
    EXPECT_THROW(list->SelectPrinter(2), EListError);
    EXPECT_EQ(list->PrinterIndex(), 1);
}

TEST(PhysicalPrinter, ReadsPapersBinsAndMarginsFromTheDevice) {
    TpgwScopedPrinters scope{{"Office"}};
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    ASSERT_TRUE(p->IsValid());
    EXPECT_EQ(p->DPI(), (TPoint{600, 600}));
    EXPECT_EQ(p->DefPaper(), 9);
    EXPECT_EQ(p->Paper(), 9);
    EXPECT_EQ(p->DefPaperWidth(), 210);
    EXPECT_EQ(p->DefPaperHeight(), 297);
    EXPECT_EQ(p->Bin(), -1);
    EXPECT_EQ(p->Duplex(), -1);

    std::vector<int> paperCodes;
    for (const TpgwPrinterItem& item : p->Papers())
        paperCodes.push_back(item.Code);
    EXPECT_EQ(paperCodes, (std::vector<int>{kCustomPaperSize, 9, 11, 8, 1}));
    EXPECT_EQ(p->Papers()[2].Name, "A5");
    ASSERT_EQ(p->Bins().size(), 3u);
    EXPECT_EQ(p->Bins()[1].Name, "Tray 1");
    EXPECT_EQ(p->BinNameToNumber("Tray 2"), DMBIN_LOWER);

    struct Case {
        int paper;
        TPrinterOrientation orientation;
        double width, height;
        double expectedWidth, expectedHeight;
    };
    // Sizes come back in whole millimetres; a user-defined size keeps its own and takes A4's
    // margins.
    for (const Case& c :
         {Case{11, poLandscape, 0, 0, 210, 148}, Case{1, poPortrait, 0, 0, 216, 279},
          Case{kCustomPaperSize, poLandscape, 100, 200, 100, 200}}) {
        SCOPED_TRACE(c.paper);
        p->SetPageFormat(c.paper, c.orientation, c.width, c.height);
        EXPECT_EQ(p->Paper(), c.paper);
        EXPECT_EQ(p->Orientation(), c.orientation);
        EXPECT_EQ(p->PaperWidth(), c.expectedWidth);
        EXPECT_EQ(p->PaperHeight(), c.expectedHeight);
        EXPECT_EQ(p->LeftMargin(), 5);
        EXPECT_EQ(p->RightMargin(), 5);
        EXPECT_EQ(p->TopMargin(), 5);
        EXPECT_EQ(p->BottomMargin(), 5);
    }
    // Layout only: nothing is sent to the device.
    EXPECT_TRUE(scope.Recorder()->FormatCalls().empty());
}

TEST(PhysicalPrinter, WithoutResolutionIsNotValidUntilItHasOne) {
    Boxes boxes;
    auto backend = std::make_unique<TRecordingPrintBackend>();
    TRecordedPrinterSetup& setup = backend->AddPrinter("Broken");
    setup.DpiX = 0;
    TpgwScopedPrinters scope{std::move(backend)};
    TpgwPrinters* list = GetPrinters();
    TpgwCustomPrinter* p = list->Printer();
    EXPECT_TRUE(list->PrintersInstalled());
    EXPECT_FALSE(p->Initialized());
    EXPECT_FALSE(p->IsValid());
    EXPECT_EQ(p->Papers().size(), 1u);
    EXPECT_EQ(p->Bins().size(), 1u);
    EXPECT_EQ(p->PaperWidth(), 0);
    ASSERT_EQ(boxes.reporter->Boxes.size(), 1u);
    EXPECT_EQ(boxes.reporter->Boxes[0].Text, "Printer selected is not valid");
    EXPECT_THROW(p->BeginDoc(), EPrinter);

    // The next selection tries again.
    setup.DpiX = 300;
    list->SelectPrinter(0);
    EXPECT_TRUE(p->IsValid());
    EXPECT_EQ(p->DPI(), (TPoint{300, 600}));
    EXPECT_EQ(p->Papers().size(), 5u);
}

TEST(PhysicalPrinter, ApplyPrintFormatSendsTheDeviceMode) {
    TpgwScopedPrinters scope{{"Office"}};
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    struct Case {
        const char* what;
        bool swap;
        int paper;
        TPrinterOrientation orientation;
        double width, height;
        int bin, duplex, copies;
        TPrintFormat expected;
    };
    const Case cases[] = {
        {"swapped landscape custom",
         true,
         kCustomPaperSize,
         poLandscape,
         100,
         200,
         7,
         1,
         1,
         {kCustomPaperSize, 1000, 2000, poLandscape, 7, DMDUP_SIMPLEX, 1}},
        {"unswapped landscape custom",
         false,
         kCustomPaperSize,
         poLandscape,
         100,
         200,
         7,
         1,
         1,
         {kCustomPaperSize, 2000, 1000, poLandscape, 7, DMDUP_SIMPLEX, 1}},
        {"portrait custom is never swapped",
         true,
         kCustomPaperSize,
         poPortrait,
         100.04,
         199.96,
         7,
         1,
         1,
         {kCustomPaperSize, 2000, 1000, poPortrait, 7, DMDUP_SIMPLEX, 1}},
        {"standard paper has no sizes",
         true,
         8,
         poLandscape,
         420,
         297,
         2,
         3,
         3,
         {8, 0, 0, poLandscape, 2, DMDUP_HORIZONTAL, 3}},
        {"duplex 4 is simplex",
         false,
         9,
         poPortrait,
         210,
         297,
         1,
         4,
         1,
         {9, 0, 0, poPortrait, 1, DMDUP_SIMPLEX, 1}},
        {"vertical duplex",
         false,
         9,
         poPortrait,
         210,
         297,
         1,
         2,
         1,
         {9, 0, 0, poPortrait, 1, DMDUP_VERTICAL, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p->SetSwapPageSize(c.swap);
        p->ApplyPrintFormat(c.paper, c.orientation, c.width, c.height, c.bin, c.duplex, c.copies);
        ASSERT_FALSE(scope.Recorder()->FormatCalls().empty());
        EXPECT_EQ(scope.Recorder()->FormatCalls().back(), c.expected);
        EXPECT_EQ(p->Paper(), c.paper);
        EXPECT_EQ(p->Orientation(), c.orientation);
    }
    // The swapped custom page lies on the device as the report page does.
    p->SetSwapPageSize(true);
    p->ApplyPrintFormat(kCustomPaperSize, poLandscape, 100, 200, 7, 1, 1);
    EXPECT_EQ(p->PaperWidth(), 100);
    EXPECT_EQ(p->PaperHeight(), 200);
}

TEST(PhysicalPrinter, SetUpDialogChoiceLastsOneDocument) {
    TpgwScopedPrinters scope{{"Office"}};
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    TpgwPrinterPropertiesRequest asked;
    auto previous = SetPrinterPropertiesHandler([&](TpgwPrinterPropertiesRequest& r) {
        asked = r;
        r.Bin = DMBIN_LOWER;
        r.Duplex = DMDUP_HORIZONTAL;
        return true;
    });
    ASSERT_TRUE(p->ShowPropertiesDialog());
    EXPECT_EQ(asked.Bins.size(), 3u);
    EXPECT_EQ(asked.DuplexModes,
              (std::vector<int>{DMDUP_SIMPLEX, DMDUP_VERTICAL, DMDUP_HORIZONTAL}));
    EXPECT_EQ(p->Bin(), DMBIN_LOWER);
    EXPECT_EQ(p->Duplex(), DMDUP_HORIZONTAL);

    const auto& calls = scope.Recorder()->FormatCalls();
    p->ApplyPrintFormat(9, poPortrait, 210, 297, DMBIN_AUTO, 1, 1);
    EXPECT_EQ(calls.back().Bin, DMBIN_LOWER);
    EXPECT_EQ(calls.back().Duplex, DMDUP_HORIZONTAL);
    p->BeginDoc();
    p->EndDoc();
    EXPECT_EQ(p->Bin(), -1);
    EXPECT_EQ(p->Duplex(), -1);
    p->ApplyPrintFormat(9, poPortrait, 210, 297, DMBIN_AUTO, 1, 1);
    EXPECT_EQ(calls.back().Bin, DMBIN_AUTO);
    EXPECT_EQ(calls.back().Duplex, DMDUP_SIMPLEX);

    // Cancelled: nothing changes.
    SetPrinterPropertiesHandler([](TpgwPrinterPropertiesRequest& r) {
        r.Bin = DMBIN_MANUAL;
        return false;
    });
    EXPECT_FALSE(p->ShowPropertiesDialog());
    EXPECT_EQ(p->Bin(), -1);
    SetPrinterPropertiesHandler(std::move(previous));
}

TEST(PrinterPropertiesForm, OffersTheBinsAndDuplexModes) {
    TpgwPrinterPropertiesRequest request;
    request.PrinterName = "Office";
    request.Bins = {{"Auto", DMBIN_AUTO}, {"Tray 1", DMBIN_UPPER}, {"Tray 2", DMBIN_LOWER}};
    request.DuplexModes = {DMDUP_VERTICAL, DMDUP_HORIZONTAL}; // simplex is always offered
    request.Bin = DMBIN_UPPER;
    request.Duplex = 99; // unknown: the first entry
    TpgwPrinterPropertiesForm form(nullptr, request);
    EXPECT_EQ(form.BinLB->Items().Count(), 3);
    EXPECT_EQ(form.BinLB->ItemIndex(), 1);
    EXPECT_EQ(form.DuplexLB->Items().Count(), 3);
    EXPECT_EQ(form.DuplexLB->ItemIndex(), 0);
    EXPECT_EQ(form.DuplexLB->Items().Strings(2), "水平");

    Application()->QueueCall([&] {
        form.BinLB->SetItemIndex(2);
        form.DuplexLB->SetItemIndex(2);
        form.OkB->Click();
    });
    ASSERT_EQ(form.ShowModal(), mrOk);
    form.GetChoice(request);
    EXPECT_EQ(request.Bin, DMBIN_LOWER);
    EXPECT_EQ(request.Duplex, DMDUP_HORIZONTAL);
}

TEST(PhysicalPrinter, DocumentsAndRawJobsReachTheDevice) {
    TpgwScopedPrinters scope{{"Office"}};
    TRecordingPrintBackend* rec = scope.Recorder();
    TpgwCustomPrinter* p = GetPrinters()->Printer();

    p->Canvas()->Rectangle(0, 0, 50, 50); // no document: dropped
    p->BeginDoc();
    EXPECT_TRUE(p->Printing());
    p->BeginPage();
    p->Canvas()->Rectangle(10, 10, 200, 100);
    p->Canvas()->TextOut(20, 20, "Total");
    p->EndPage();
    p->BeginPage();
    p->EndPage();
    p->EndDoc();
    EXPECT_FALSE(p->Printing());

    p->SetTitle("Monthly");
    p->SetFileName("/nowhere/monthly.prn");
    p->BeginDoc();
    p->BeginPage();
    p->Abort();
    EXPECT_FALSE(p->Printing());

    p->BeginRawDoc();
    const std::string bytes("\x1b@line\r\n\0\xff\x0c", 11);
    p->WriteRawData(bytes.substr(0, 4));
    p->WriteRawData(bytes.substr(4));
    p->EndRawDoc();

    const auto& docs = rec->Documents();
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0].Info.Title, "Pagewright Document");
    EXPECT_TRUE(docs[0].Info.FileName.empty());
    ASSERT_EQ(docs[0].Pages.size(), 2u);
    EXPECT_TRUE(docs[0].Ended);
    EXPECT_EQ(docs[0].Pages[0].Metrics.PhysicalWidth, 4961); // A4 at 600 dpi
    EXPECT_EQ(docs[0].Pages[0].Recording.TextRecords().size(), 1u);
    EXPECT_EQ(docs[0].Pages[0].Recording.TextRecords()[0].Text, u"Total");
    EXPECT_TRUE(docs[0].Pages[1].Recording.IsEmpty());

    EXPECT_EQ(docs[1].Info.Title, "Monthly");
    EXPECT_EQ(docs[1].Info.FileName, "/nowhere/monthly.prn");
    EXPECT_TRUE(docs[1].Aborted);
    EXPECT_TRUE(docs[1].Pages.empty());

    EXPECT_TRUE(docs[2].Raw);
    EXPECT_TRUE(docs[2].Ended);
    EXPECT_EQ(docs[2].Info.Title, "Monthly");
    EXPECT_EQ(docs[2].RawData, bytes);
}

TEST(PrinterCanvas, FontSizesHoldAtThePrinterResolution) {
    TpgwScopedPrinters scope{{"Office"}};
    TpgwCustomPrinter* p = GetPrinters()->Printer();
    TFont& font = p->Canvas()->Font();
    font.SetPixelsPerInch(96);
    font.SetSize(10);
    p->BeginDoc();
    p->BeginPage();
    p->Canvas()->TextOut(0, 0, "x");
    p->EndPage();
    p->EndDoc();
    EXPECT_EQ(font.PixelsPerInch(), 600);
    EXPECT_EQ(font.Size(), 10);
    const auto texts = scope.Recorder()->AllPages()[0]->Recording.TextRecords();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Font.Height, -83); // 10 pt at 600 dpi
}

TEST(PrinterPaper, NewPagesTakeTheCurrentPrinterPaper) {
    RegisterEngineModule();
    StartModules();
    {
        TpgwScopedPrinters none;
        const TPrinterPaper paper = CurrentPrinterPaper();
        EXPECT_EQ(paper.PaperSize, 9);
        EXPECT_EQ(paper.PaperWidth, 210);
        EXPECT_EQ(paper.PaperHeight, 297);
    }
    {
        TpgwScopedPrinters scope{{"Office"}};
        GetPrinters()->Printer()->SetPageFormat(11, poLandscape, 0, 0);
        const TPrinterPaper paper = CurrentPrinterPaper();
        EXPECT_EQ(paper.PaperSize, 11);
        EXPECT_EQ(paper.PaperWidth, 210);
        EXPECT_EQ(paper.PaperHeight, 148);
        EXPECT_EQ(paper.Orientation, poLandscape);
    }
    StopModules();
}

} // namespace
