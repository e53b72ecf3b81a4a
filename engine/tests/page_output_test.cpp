// Prepared pages as output: drawn on screen and printer canvases, printed on recorded printers
// in every print mode, printed to a PDF file that independent readers check, handed to a
// recording export filter, and hit-tested for the preview.

#include "engine/page_output.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/printers.h"
#include "engine/tests/engine_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/text.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/print/recording_print_backend.h"
#include "platform/print/tests/private_spooler.h"
#include "platform/ui/message_reporter.h"
#include "report/abstract_bases.h"
#include "report/resources.h"
#include "report/xml_document.h"

namespace {

constexpr int kDpi = 600;

double Dots(double mm) {
    return mm * kDpi / 25.4;
}

std::string Utf8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

// The first text record that begins with prefix; fails the test when there is none.
TTextRecord TextStartingWith(const TRecording& recording, const std::string& prefix) {
    for (const TTextRecord& r : recording.TextRecords())
        if (Utf8(r.Text).rfind(prefix, 0) == 0) return r;
    ADD_FAILURE() << "no text starting with \"" << prefix << "\"";
    return {};
}

bool HasText(const TRecording& recording, const std::string& prefix) {
    for (const TTextRecord& r : recording.TextRecords())
        if (Utf8(r.Text).rfind(prefix, 0) == 0) return true;
    return false;
}

// The memo lines of a recorded printer page, in drawing order.
std::vector<std::string> PageTexts(const TRecordedPage& page) {
    std::vector<std::string> texts;
    for (const TTextRecord& r : page.Recording.TextRecords())
        texts.push_back(Utf8(r.Text));
    return texts;
}

// A5 for a width of 0, else a paper of that size in mm.
void SetPaper(TpgwReportPage& page, double width, double height) {
    if (width == 0) {
        page.SetPaperSize(11);
    } else {
        page.SetPaperWidth(width);
        page.SetPaperHeight(height);
    }
}

class PageOutput : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        auto recorder = std::make_unique<TRecordingReporter>();
        boxes = recorder.get();
        reporterScope = std::make_unique<TScopedReporter>(std::move(recorder));
        printers = std::make_unique<TpgwScopedPrinters>(std::vector<std::string>{"Office"});
    }
    void TearDown() override {
        EngineFixture::TearDown();
        printers.reset();
        reporterScope.reset();
    }

    // output_pages.pg3 with rows pages; paper, when given, sets the page up before the run.
    void PreparePages(int rows, const std::function<void(TpgwReportPage&)>& paper = {}) {
        Load("output_pages.pg3");
        Find<TpgwMasterData>("Row")->SetRowCount(rows);
        if (paper) paper(*Find<TpgwReportPage>("Page1"));
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        ASSERT_EQ(PageCount(), rows);
        report->PrintOptions()->SetShowDialog(false);
    }
    TRecordingPrintBackend& Recorder() { return *printers->Recorder(); }
    std::vector<const TRecordedPage*> Printed() { return Recorder().AllPages(); }
    // The first text of every printed sheet ("" for an empty one).
    std::vector<std::string> FirstTexts() {
        std::vector<std::string> firsts;
        for (const TRecordedPage* page : Printed()) {
            std::vector<std::string> texts = PageTexts(*page);
            std::string first;
            for (const std::string& t : texts)
                if (t.rfind("Page ", 0) == 0) first = t;
            firsts.push_back(first);
        }
        return firsts;
    }
    // Draws page index as the printer would (600 dpi, from the paper's corner) on a recording.
    TRecording NaturalDrawing(int index) {
        TRecordingCanvas canvas(10000, 10000, kDpi, kDpi);
        Store().DrawPage(index, canvas, kDpi / 96.0, kDpi / 96.0, 0, 0);
        return canvas.TakeRecording();
    }

    TRecordingReporter* boxes = nullptr;
    std::unique_ptr<TScopedReporter> reporterScope;
    std::unique_ptr<TpgwScopedPrinters> printers;
};

// ---- drawing

TEST_F(PageOutput, DrawsAtTheMarginsAndLeavesScreenOnlyObjectsOffThePrinter) {
    PreparePages(2);
    TRecordingCanvas screen(2000, 2000);
    Store().DrawPage(1, screen, 1.5, 1.5, 20, 30);
    const TRecording drawn = screen.TakeRecording();
    EXPECT_TRUE(HasText(drawn, "Screen only"));
    EXPECT_TRUE(HasText(drawn, "Page 2 of 2")) << "the total is filled in when the page is drawn";
    const TTextRecord header = TextStartingWith(drawn, "Header 2");
    // Margin 10 mm and the memo's gap of 2 units, at scale 1.5.
    EXPECT_NEAR(header.X, 20 + (10 * pg01cm + 2) * 1.5, 2);

    Store().DrawPage(7, screen, 1, 1, 0, 0);
    Store().DrawPage(-1, screen, 1, 1, 0, 0);
    EXPECT_TRUE(screen.TakeRecording().IsEmpty()) << "no such page, nothing drawn";

    ASSERT_TRUE(Store().Print());
    ASSERT_EQ(Printed().size(), 2u);
    EXPECT_TRUE(HasText(Printed()[1]->Recording, "Header 2"));
    EXPECT_FALSE(HasText(Printed()[1]->Recording, "Screen only"));
}

TEST_F(PageOutput, MirroredMarginsSwapOnEvenPageNumbers) {
    PreparePages(2, [](TpgwReportPage& page) {
        page.SetRightMargin(30);
        page.SetMirrorMargins(true);
    });
    for (int index : {0, 1, 0}) {
        TRecordingCanvas canvas(2000, 2000);
        Store().DrawPage(index, canvas, 1, 1, 0, 0);
        const double left = index == 0 ? 10 : 30;
        EXPECT_NEAR(TextStartingWith(canvas.TakeRecording(), "Header").X, left * pg01cm + 2, 2)
            << "page index " << index;
    }
}

TEST_F(PageOutput, RasterDrawingShowsThePageClippedToThePaper) {
    PreparePages(1, [](TpgwReportPage& page) {
        page.SetPaperWidth(80);
        page.SetPaperHeight(100);
    });
    // The box is 300 units wide and starts at the 10 mm margin: it sticks out of the 80 mm paper.
    TRasterCanvas canvas(800, 600, 96, clSilver);
    Store().DrawPage(0, canvas, 1, 1, 10, 10);
    const int paperRight = 10 + static_cast<int>(std::lround(80 * pg01cm)) - 1;
    auto* box = dynamic_cast<TpgwView*>(Store().GetPage(0)->FindObject("Box"));
    ASSERT_NE(box, nullptr);
    const int boxTop = static_cast<int>(10 + (10 * pg01cm + box->AbsTop()) + 0.5);
    EXPECT_EQ(canvas.Pixel(paperRight - 2, boxTop), clBlack) << "the box's top edge";
    EXPECT_EQ(canvas.Pixel(paperRight + 3, boxTop), clSilver) << "nothing beyond the paper";
}

// ---- printing: page order, modes, copies, bins

TEST_F(PageOutput, EvenPagesInReversePrintSixFourTwo) {
    PreparePages(6);
    report->PrintOptions()->SetPrintPages(ppEven);
    report->PrintOptions()->SetReverse(true);
    ASSERT_TRUE(Store().Print());
    EXPECT_EQ(FirstTexts(),
              (std::vector<std::string>{"Page 6 of 6", "Page 4 of 6", "Page 2 of 6"}));
    ASSERT_EQ(Recorder().Documents().size(), 1u);
    EXPECT_TRUE(Recorder().Documents()[0].Ended);
    EXPECT_EQ(Recorder().Documents()[0].Info.Title, "Output pages");
}

TEST_F(PageOutput, PageRangesAndOddPagesCombine) {
    PreparePages(6);
    report->PrintOptions()->SetPageNumbers("2-5");
    report->PrintOptions()->SetPrintPages(ppOdd);
    ASSERT_TRUE(Store().Print());
    EXPECT_EQ(FirstTexts(), (std::vector<std::string>{"Page 3 of 6", "Page 5 of 6"}));
    EXPECT_EQ(report->PrintOptions()->PageNumbers(), "2-5");
}

TEST_F(PageOutput, ScaleStretchesThePageToTheSheetAndScalesTextByTheSmallerFactor) {
    struct Case {
        const char* name;
        double width, height; // mm; 0: A5
    };
    for (const Case c : {Case{"A5", 0, 0}, Case{"half A5", 105, 148.5}, Case{"tall", 105, 297}}) {
        SCOPED_TRACE(c.name);
        PreparePages(1, [&](TpgwReportPage& page) { SetPaper(page, c.width, c.height); });
        auto* page = dynamic_cast<TpgwReportPage*>(Store().GetPage(0));
        const double sx = 210 / page->PaperWidth(), sy = 297 / page->PaperHeight();
        const TTextRecord natural = TextStartingWith(NaturalDrawing(0), "Page 1");

        ASSERT_TRUE(Store().Print());
        const int fontAtOne = natural.Font.Height;
        Recorder().Clear();
        report->PrintOptions()->SetPrintMode(pmScale);
        report->PrintOptions()->SetPrintOnSheet(9);
        ASSERT_TRUE(Store().Print());
        ASSERT_EQ(Printed().size(), 1u);
        EXPECT_EQ(Recorder().FormatCalls().front().PaperSize, 9);
        const TTextRecord scaled = TextStartingWith(Printed()[0]->Recording, "Page 1");
        // The printer's origin is the printable corner, 5 mm in.
        EXPECT_NEAR(scaled.X, natural.X * sx - Dots(5), 3);
        EXPECT_NEAR(scaled.Y, natural.Y * sy - Dots(5), 3);
        EXPECT_NEAR(double(scaled.Font.Height) / fontAtOne, std::min(sx, sy), 0.02);
        EXPECT_EQ(Store().PrintScale, 1) << "back to 1 after the job";
        Recorder().Clear();
    }
}

TEST_F(PageOutput, SplitPrintsAnA3PageOnTwoLandscapeSheetsThatOverlap) {
    PreparePages(1, [](TpgwReportPage& page) { page.SetPaperSize(8); });
    report->PrintOptions()->SetPrintMode(pmSplit);
    report->PrintOptions()->SetPrintOnSheet(9);
    const TRecording natural = NaturalDrawing(0);
    ASSERT_TRUE(Store().Print());

    ASSERT_EQ(Printed().size(), 2u);
    for (const TRecordedPage* sheet : Printed()) {
        EXPECT_EQ(sheet->Format.PaperSize, 9);
        EXPECT_EQ(sheet->Format.Orientation, poLandscape);
        EXPECT_GT(sheet->Metrics.PhysicalWidth, sheet->Metrics.PhysicalHeight);
    }
    // The first sheet shows the top of the page from its corner; the second goes on 3 mm above
    // where the first one's printable area ends (210 mm less the 5 mm margins).
    const TTextRecord header = TextStartingWith(natural, "Header 1");
    EXPECT_NEAR(TextStartingWith(Printed()[0]->Recording, "Header 1").Y, header.Y - Dots(5), 2);
    const TTextRecord footer = TextStartingWith(natural, "Footer");
    EXPECT_NEAR(TextStartingWith(Printed()[1]->Recording, "Footer").Y, footer.Y - Dots(210 - 5 - 3),
                2);
    EXPECT_FALSE(HasText(Printed()[1]->Recording, "Header")) << "far above the second sheet";
}

TEST_F(PageOutput, JoinPutsWholePagesSideBySideOnLandscapeSheets) {
    struct Case {
        const char* name;
        double width, height; // mm; 0: A5
    };
    for (const Case c : {Case{"A5", 0, 0}, Case{"120 x 200", 120, 200}}) {
        SCOPED_TRACE(c.name);
        PreparePages(3, [&](TpgwReportPage& page) { SetPaper(page, c.width, c.height); });
        report->PrintOptions()->SetPrintMode(pmJoin);
        report->PrintOptions()->SetPrintOnSheet(9);
        const double pageWidth = dynamic_cast<TpgwReportPage*>(Store().GetPage(0))->PaperWidth();
        ASSERT_TRUE(Store().Print());

        ASSERT_EQ(Printed().size(), 2u) << "two pages on the first sheet, one on the second";
        const TRecordedPage& sheet = *Printed()[0];
        EXPECT_EQ(sheet.Format.Orientation, poLandscape);
        const TTextRecord first = TextStartingWith(sheet.Recording, "Page 1 of 3");
        const TTextRecord second = TextStartingWith(sheet.Recording, "Page 2 of 3");
        EXPECT_NEAR(second.X - first.X, Dots(pageWidth), 2);
        EXPECT_EQ(second.Y, first.Y);
        for (const TRecordedPage* printed : Printed())
            for (const TTextRecord& t : printed->Recording.TextRecords()) {
                const TRect b = t.Bounds;
                EXPECT_GE(b.Left, -printed->Metrics.OffsetX) << Utf8(t.Text);
                EXPECT_LE(b.Right, printed->Metrics.PhysicalWidth - printed->Metrics.OffsetX)
                    << Utf8(t.Text);
                EXPECT_LE(b.Bottom, printed->Metrics.PhysicalHeight - printed->Metrics.OffsetY)
                    << Utf8(t.Text);
            }
        Recorder().Clear();
    }
}

TEST_F(PageOutput, CollatedDuplexCopiesEachStartOnAFreshSheet) {
    PreparePages(5, [](TpgwReportPage& page) { page.SetDuplex(dmVertical); });
    report->PrintOptions()->SetCopies(3);
    report->PrintOptions()->SetCollate(true);
    ASSERT_TRUE(Store().Print());
    std::vector<std::string> copy{"Page 1 of 5", "Page 2 of 5", "Page 3 of 5",
                                  "Page 4 of 5", "Page 5 of 5", ""};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), copy.begin(), copy.end());
    EXPECT_EQ(FirstTexts(), expected);
    EXPECT_TRUE(PageTexts(*Printed()[5]).empty()) << "the blank side is blank";
    for (const TPrintFormat& f : Recorder().FormatCalls()) {
        EXPECT_EQ(f.Duplex, DMDUP_VERTICAL);
        EXPECT_EQ(f.Copies, 1);
    }

    // Uncollated, the printer makes the copies of each page.
    Recorder().Clear();
    report->PrintOptions()->SetCollate(false);
    ASSERT_TRUE(Store().Print());
    EXPECT_EQ(Printed().size(), 5u);
    ASSERT_FALSE(Recorder().FormatCalls().empty());
    EXPECT_EQ(Recorder().FormatCalls().front().Copies, 3);
}

TEST_F(PageOutput, TheFirstPageTakesItsBinAndTheOthersTheirs) {
    PreparePages(3, [](TpgwReportPage& page) {
        page.SetBin(DMBIN_UPPER);
        page.SetBinOtherPages(DMBIN_LOWER);
    });
    ASSERT_TRUE(Store().Print());
    std::vector<int> bins;
    for (const TRecordedPage* page : Printed())
        bins.push_back(page->Format.Bin);
    EXPECT_EQ(bins, (std::vector<int>{DMBIN_UPPER, DMBIN_LOWER, DMBIN_LOWER}));
    EXPECT_EQ(Recorder().FormatCalls().size(), 2u) << "set up again only when something changes";
}

TEST_F(PageOutput, PrintRefusesWithoutAGoodPrinterOrPageRange) {
    PreparePages(4);
    const std::string noPrinters = GetResources().GetText("clNoPrinters");
    {
        TpgwScopedPrinters none;
        EXPECT_FALSE(Store().Print());
    }
    ASSERT_EQ(boxes->Boxes.size(), 1u);
    EXPECT_EQ(boxes->Boxes[0].Text, noPrinters);

    // A printer that cannot measure its paper.
    auto backend = std::make_unique<TRecordingPrintBackend>();
    TRecordingPrintBackend* broken = backend.get();
    broken->AddPrinter("Broken").DpiX = 0;
    {
        TpgwScopedPrinters scope(std::move(backend));
        boxes->Boxes.clear();
        EXPECT_FALSE(Store().Print());
        EXPECT_TRUE(broken->Documents().empty());
        ASSERT_FALSE(boxes->Boxes.empty());
        EXPECT_EQ(boxes->Boxes.back().Text, "Printer selected is not valid");
    }

    report->PrintOptions()->SetPageNumbers("3-x");
    EXPECT_THROW(Store().Print(), Exception);
    EXPECT_TRUE(Recorder().Log().empty() || Recorder().Documents().empty())
        << "nothing sent before the range is refused";
    EXPECT_EQ(report->PrintOptions()->PageNumbers(), "3-x") << "options put back";
    EXPECT_EQ(Store().PrintedCopy, 0);
}

TEST_F(PageOutput, TheReportsOwnPrinterPrintsWhenItIsListed) {
    PreparePages(1);
    TpgwScopedPrinters two({"Office", "Lab"});
    for (const auto& [named, used] : {std::pair{"Nowhere", "Office"}, std::pair{"LAB", "Lab"}}) {
        report->PrintOptions()->SetPrinter(named);
        ASSERT_TRUE(Store().Print());
        EXPECT_EQ(two.Recorder()->Documents().back().Printer, used) << named;
    }
}

TEST_F(PageOutput, ThePrintDialogCanCancelAndItsChoicesLastOneJob) {
    PreparePages(2);
    report->PrintOptions()->SetShowDialog(true);
    int shown = 0;
    bool confirm = false;
    TpgwPrintDialogRunner previous = SetPrintDialogRunner([&](TpgwReport& r, int& duplex) {
        ++shown;
        EXPECT_EQ(&r, report.get());
        r.PrintOptions()->SetCopies(2);
        r.PrintOptions()->SetCollate(true);
        duplex = 2;
        return confirm;
    });
    struct Back {
        TpgwPrintDialogRunner old;
        ~Back() { SetPrintDialogRunner(std::move(old)); }
    } back{std::move(previous)};

    EXPECT_FALSE(Store().Print());
    EXPECT_TRUE(Recorder().Documents().empty());
    EXPECT_EQ(report->PrintOptions()->Copies(), 1);

    confirm = true;
    ASSERT_TRUE(Store().Print());
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(Printed().size(), 4u) << "two collated copies as chosen in the dialog";
    EXPECT_EQ(Recorder().FormatCalls().front().Duplex, DMDUP_HORIZONTAL);
    EXPECT_EQ(report->PrintOptions()->Copies(), 1) << "the options are the report's again";
    EXPECT_EQ(Store().PrintDuplex, 2) << "the dialog's duplex stays for its next showing";
}

TEST_F(PageOutput, EventsAndTerminationDuringAJob) {
    PreparePages(4);
    std::vector<std::string> events;
    report->OnPrintReport = [&](TObject*) { events.push_back("report"); };
    report->OnAfterPrintReport = [&](TObject*) { events.push_back("after"); };
    report->OnPrintPage = [&](TpgwComponent*, int copy) {
        events.push_back("page " + std::to_string(copy));
        if (events.size() == 3) report->SetTerminated(true);
    };
    EXPECT_TRUE(Store().Print());
    EXPECT_EQ(events, (std::vector<std::string>{"report", "page 1", "page 1", "after"}));
    ASSERT_EQ(Recorder().Documents().size(), 1u);
    EXPECT_TRUE(Recorder().Documents()[0].Aborted);
}

// ---- export

// Records the protocol, one line per call; WriteItem names the object and, for a memo, its
// text. Optionally raises while writing an object of a given name.
class TRecordingFilter : public TpgwCustomExportFilter {
public:
    TRecordingFilter() : TpgwCustomExportFilter(UnlistedTag{}) { SetShowDialog(false); }
    int AskOptions() override {
        calls.push_back("AskOptions");
        if (onAsk) onAsk(*this);
        return askResult;
    }
    bool OpenOutput() override {
        calls.push_back("OpenOutput");
        return true;
    }
    void EnterPage(TpgwComponent* page, int index) override {
        calls.push_back("EnterPage " + std::to_string(index) + " at " + Num(page->Left()) + "," +
                        Num(page->Top()));
    }
    void WriteItem(TpgwComponent* object) override {
        std::string line = object->Name();
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object))
            line += " " + TrimRight(memo->Text());
        if (object->Name() == "_pagebackground")
            line += " " + Num(object->Width()) + "x" + Num(object->Height());
        items.push_back(line);
        if (object->Name() == failOn) throw Exception("disk full");
    }
    void LeavePage(TpgwComponent*, int index) override {
        calls.push_back("LeavePage " + std::to_string(index));
    }
    void CloseOutput() override { calls.push_back("CloseOutput"); }

    int Count(const std::string& name) const {
        return static_cast<int>(
            std::count_if(items.begin(), items.end(), [&](const std::string& i) {
                return i == name || i.rfind(name + " ", 0) == 0;
            }));
    }

    std::vector<std::string> calls, items;
    std::function<void(TRecordingFilter&)> onAsk;
    int askResult = 1;
    std::string failOn;
};

TEST_F(PageOutput, ExportHandsOverEachPageAtItsMarginsWithItsBackgroundFirst) {
    PreparePages(2);
    TRecordingFilter filter;
    ASSERT_TRUE(Store().Export(&filter));
    const std::string atMargins = Num(10 * pg01cm) + "," + Num(10 * pg01cm);
    EXPECT_EQ(filter.calls, (std::vector<std::string>{"OpenOutput", "EnterPage 0 at " + atMargins,
                                                      "LeavePage 0", "EnterPage 1 at " + atMargins,
                                                      "LeavePage 1", "CloseOutput"}));
    // The printable area of the page (its size in units less the margins).
    TpgwComponent* page = Store().GetPage(0);
    const std::string background = "_pagebackground " + Num(page->Width() - 20 * pg01cm) + "x" +
                                   Num(page->Height() - 20 * pg01cm);
    const std::vector<std::string> firstPage(filter.items.begin(), filter.items.begin() + 11);
    EXPECT_EQ(firstPage,
              (std::vector<std::string>{background, "Head", "HeadMemo Header 1",
                                        "ScreenOnly Screen only", "Row", "RowMemo Page 1 of 2",
                                        "Box", "Foot", "FootMemo Footer", background, "Head"}));
    EXPECT_EQ(filter.Report(), report.get());
}

TEST_F(PageOutput, ExportKeepsOneHeaderAndOneFooterWhenAskedTo) {
    PreparePages(10);
    TRecordingFilter filter;
    filter.SetSuppressPageHeadersFooters(true);
    ASSERT_TRUE(Store().Export(&filter));
    EXPECT_EQ(filter.Count("Head"), 1);
    EXPECT_EQ(filter.Count("HeadMemo"), 1);
    EXPECT_EQ(filter.Count("Foot"), 1);
    EXPECT_EQ(filter.Count("RowMemo"), 10);
    EXPECT_EQ(filter.items.back(), "FootMemo Footer") << "the footer of the last page";
}

TEST_F(PageOutput, ExportPagesComeFromTheRangeTheOptionsLeave) {
    PreparePages(4);
    struct Case {
        const char* name;
        bool dialog;
        std::string numbers;
        bool currentOnly;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases{
        {"all",
         false,
         "",
         false,
         {"RowMemo Page 1 of 4", "RowMemo Page 2 of 4", "RowMemo Page 3 of 4",
          "RowMemo Page 4 of 4"}},
        {"range", false, "4,2", false, {"RowMemo Page 2 of 4", "RowMemo Page 4 of 4"}},
        {"set in the options dialog", true, "", false, {"RowMemo Page 3 of 4"}},
        {"current page without a preview", false, "3", true, {"RowMemo Page 1 of 4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordingFilter filter;
        filter.SetShowDialog(c.dialog);
        filter.SetPageNumbers(c.numbers);
        filter.SetCurrentPageOnly(c.currentOnly);
        filter.onAsk = [](TRecordingFilter& f) { f.SetPageNumbers("3"); };
        ASSERT_TRUE(Store().Export(&filter));
        std::vector<std::string> rows;
        for (const std::string& item : filter.items)
            if (item.rfind("RowMemo", 0) == 0) rows.push_back(item);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(filter.ShowDialog(), c.dialog);
    }
}

TEST_F(PageOutput, ExportThatFailsStillClosesAndReportsBySilentMode) {
    PreparePages(2);
    EXPECT_FALSE(Store().Export(nullptr));

    TRecordingFilter cancelled;
    cancelled.SetShowDialog(true);
    cancelled.askResult = 2;
    EXPECT_FALSE(Store().Export(&cancelled));
    EXPECT_EQ(cancelled.calls, std::vector<std::string>{"AskOptions"});

    for (TpgwSilentMode mode : {simSilent, simMessageBoxes, simReThrow}) {
        SCOPED_TRACE(static_cast<int>(mode));
        report->EngineOptions()->SetNewSilentMode(mode);
        report->Errors().Add("an earlier error");
        boxes->Boxes.clear();
        TRecordingFilter filter;
        filter.failOn = "RowMemo";
        if (mode == simReThrow) {
            EXPECT_THROW(Store().Export(&filter), Exception);
        } else {
            EXPECT_FALSE(Store().Export(&filter));
        }
        EXPECT_EQ(filter.calls,
                  (std::vector<std::string>{
                      "OpenOutput", "EnterPage 0 at " + Num(10 * pg01cm) + "," + Num(10 * pg01cm),
                      "LeavePage 0", "CloseOutput"}));
        EXPECT_EQ(report->Errors().Text(), "disk full\r\n") << "the export's message alone";
        EXPECT_EQ(boxes->Boxes.size(), mode == simMessageBoxes ? 1u : 0u);
        if (!boxes->Boxes.empty()) {
            EXPECT_NE(boxes->Boxes[0].Text.find("disk full"), std::string::npos);
        }
        report->Errors().Clear();
    }
}

// ---- hit test

// A preview control that records where page output sends it.
class TFakePreview : public TpgwCustomPreview, public TpgwPreviewNavigation {
public:
    TFakePreview() : TpgwCustomPreview(nullptr) {}
    void Init() override {}
    void Lock() override { calls.push_back("Lock"); }
    void Unlock() override {}
    void RefreshReport() override { calls.push_back("RefreshReport"); }
    void StartProgress(TObject*, int, int) override {}
    void StepProgress(TObject*, int, int) override {}
    void StopProgress(TObject*, int, int) override {}
    int PageNo() const override { return pageNo; }
    void SetPageNo(int value) override { calls.push_back("page " + std::to_string(value)); }
    void SetPosition(int page, int top) override {
        calls.push_back("position " + std::to_string(page) + " " + std::to_string(top));
    }
    bool UseReportHints() const override { return true; }
    void HideMessage() override { calls.push_back("HideMessage"); }

    std::vector<std::string> calls;
    int pageNo = 1;
};

class PageHitTest : public PageOutput {
protected:
    void SetUp() override {
        PageOutput::SetUp();
        preview = std::make_unique<TFakePreview>();
    }
    void TearDown() override {
        if (report) report->SetPreview(nullptr);
        preview.reset();
        PageOutput::TearDown();
    }
    void Attach() { report->SetPreview(preview.get()); }
    // ObjectOver at the middle of the named object of page index (scale 1, no offset).
    TCursor Over(int index, const std::string& name, bool click, TMouseButton button = mbLeft,
                 double dx = 0) {
        auto* page = dynamic_cast<TpgwReportPage*>(Store().GetPage(index));
        TpgwComponent* object = page->FindObject(name);
        EXPECT_NE(object, nullptr) << name;
        if (!object) return crDefault;
        const int x = static_cast<int>(page->LeftMargin() * pg01cm + object->AbsLeft() +
                                       object->Width() / 2 + dx);
        const int y =
            static_cast<int>(page->TopMargin() * pg01cm + object->AbsTop() + object->Height() / 2);
        TCursor cursor = crDefault;
        Store().ObjectOver(index, x, y, button, 0, 1, 0, 0, click, cursor, false);
        return cursor;
    }

    std::unique_ptr<TFakePreview> preview;
};

TEST_F(PageHitTest, LinksAnchorsPagesAndHints) {
    Load("output_links.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 4);
    Attach();
    TpgwXMLItem* anchors = Store().Root()->FindItem("anchors");
    ASSERT_EQ(anchors->Count(), 1);
    ASSERT_EQ(anchors->Items(0)->Prop("page"), "2");
    const std::string anchorTop = anchors->Items(0)->Prop("top");

    std::vector<std::string> opened;
    TScopedLinkOpener opener([&](const std::string& target) {
        opened.push_back(target);
        return true;
    });
    std::vector<std::string> hovered;
    report->OnMouseOverObject = [&](TpgwComponent* object) { hovered.push_back(object->Name()); };

    struct Case {
        const char* object;
        bool click;
        std::vector<std::string> calls;
        std::vector<std::string> opened;
        TCursor cursor;
    };
    const std::vector<Case> cases{
        {"ToAnchor", true, {"position 3 " + anchorTop}, {}, crHandPoint},
        {"ToPage", true, {"page 3"}, {}, crHandPoint},
        {"ToNowhere", true, {}, {}, crHandPoint},
        {"ToWeb", true, {}, {"http://example.org/help"}, crHandPoint},
        {"ToWeb", false, {}, {}, crHandPoint},
        {"ToProgram", true, {}, {}, crHandPoint},
        {"Hinted", false, {}, {}, crCross},
        {"RowMemo", true, {}, {}, crDefault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.object) + (c.click ? " click" : " hover"));
        preview->calls.clear();
        opened.clear();
        hovered.clear();
        EXPECT_EQ(Over(0, c.object, c.click), c.cursor);
        EXPECT_EQ(preview->calls, c.calls);
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(hovered,
                  c.click ? std::vector<std::string>{} : std::vector<std::string>{c.object});
    }

    Over(0, "Hinted", false);
    EXPECT_EQ(preview->Hint(), "Short");
    EXPECT_TRUE(preview->ShowHint());
    Over(0, "ToWeb", false);
    EXPECT_FALSE(preview->ShowHint()) << "the hinted object is no longer under the mouse";

    // A page that does not exist answers nothing.
    TCursor cursor = crDefault;
    Store().ObjectOver(9, 10, 10, mbLeft, 0, 1, 0, 0, true, cursor, false);
    EXPECT_EQ(cursor, crDefault);
}

TEST_F(PageHitTest, AClickOnADrillDownGroupTogglesItAndPreparesAgain) {
    Table("Items",
          {{{"grp", "A"}, {"sub", "x"}, {"n", "A1"}}, {{"grp", "B"}, {"sub", "y"}, {"n", "B1"}}});
    Load("drilldown.pg3");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    Attach();
    auto* outer = dynamic_cast<TpgwGroupHeader*>(Store().GetPage(0)->FindObject("Outer"));
    ASSERT_NE(outer, nullptr);
    const std::string drillName = outer->DrillName();
    ASSERT_FALSE(drillName.empty());

    // Beside the group's memo, then on it: both are the group's.
    EXPECT_EQ(Over(0, "Outer", false, mbLeft, 200), crHandPoint);
    EXPECT_EQ(Over(0, "OuterMemo", true, mbRight), crHandPoint);
    EXPECT_EQ(report->ExpandedDrillDowns().Count(), 0) << "only the left button toggles";
    EXPECT_EQ(preview->calls, std::vector<std::string>{});

    Over(0, "OuterMemo", true);
    EXPECT_EQ(report->ExpandedDrillDowns().IndexOf(drillName), 0);
    EXPECT_EQ(preview->calls, std::vector<std::string>{"RefreshReport"});
    Over(0, "Outer", true, mbLeft, 200);
    EXPECT_EQ(report->ExpandedDrillDowns().Count(), 0);
}

TEST(PageLinks, OnlyAddressesAndDocumentsOpenNeverPrograms) {
    char folder[] = "/tmp/pglinkXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    auto write = [&](const std::string& name, const std::string& content, mode_t mode) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << content;
        chmod(path.c_str(), mode);
        return path;
    };
    const std::string pdf = write("report.pdf", "%PDF-1.4", 0644);
    const std::string runnablePdf = write("run.pdf", "%PDF-1.4", 0755);
    const std::string script = write("notes.sh", "echo hi", 0644);
    const std::string shebang = write("notes", "#!/bin/sh\necho hi", 0644);
    const std::string launcher = write("open.desktop", "[Desktop Entry]", 0644);
    const std::string windows = write("setup.EXE", "MZ", 0644);
    struct Case {
        std::string link;
        bool openable;
    };
    const std::vector<Case> cases{
        {"http://example.org/a?b=1", true},
        {"HTTPS://example.org", true},
        {"mailto:clinic@example.org", true},
        {pdf, true},
        {"file://" + pdf, true},
        {"file://localhost" + pdf, true},
        {"http://", false},
        {"javascript:alert(1)", false},
        {"smb://server/share/x.pdf", false},
        {"file://otherhost" + pdf, false},
        {"file://" + script + "%00.pdf", false},
        {dir, false},
        {dir + "/missing.pdf", false},
        {"C:\\reports\\x.pdf", false},
        {runnablePdf, false},
        {script, false},
        {shebang, false},
        {launcher, false},
        {windows, false},
        {"/bin/sh", false},
        {"http://example.org/\nx", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsOpenableLink(c.link), c.openable) << c.link;

    std::vector<std::string> opened;
    {
        TScopedLinkOpener opener([&](const std::string& t) {
            opened.push_back(t);
            return true;
        });
        EXPECT_TRUE(OpenLink(" " + pdf + " "));
        EXPECT_FALSE(OpenLink(script));
    }
    EXPECT_EQ(opened, std::vector<std::string>{pdf});
    std::system(("rm -rf " + dir).c_str());
}

// ---- printing to a PDF file, checked by independent readers

using print_test::HaveTool;
using print_test::RunTool;

// An image of pdftoppm's PPM output, as lightness per pixel.
struct Gray {
    int Width = 0, Height = 0;
    std::vector<int> Pixels;
    int At(int x, int y) const { return Pixels[static_cast<std::size_t>(y * Width + x)]; }
};

Gray ReadPpm(const std::string& file) {
    Gray g;
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> g.Width >> g.Height >> max;
    in.get();
    if (magic != "P6" || g.Width <= 0 || g.Height <= 0) return {};
    std::vector<unsigned char> rgb(static_cast<std::size_t>(g.Width * g.Height * 3));
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        g.Pixels.push_back((rgb[i] + rgb[i + 1] + rgb[i + 2]) / 3);
    return g;
}

// Which 8 x 8 cells of an image hold ink (a pixel darker than mid-grey), row by row.
struct InkCells {
    InkCells(int width, int height, const std::function<int(int, int)>& gray)
        : Columns(width / 8), Rows(height / 8) {
        for (int cy = 0; cy < Rows; ++cy)
            for (int cx = 0; cx < Columns; ++cx) {
                bool ink = false;
                for (int y = cy * 8; y < cy * 8 + 8 && !ink; ++y)
                    for (int x = cx * 8; x < cx * 8 + 8 && !ink; ++x)
                        ink = gray(x, y) < 128;
                Cells.push_back(ink);
            }
    }
    bool Ink(int cx, int cy) const {
        return cx >= 0 && cy >= 0 && cx < Columns && cy < Rows &&
               Cells[static_cast<std::size_t>(cy * Columns + cx)];
    }
    // Ink in the cell or a neighbour: rasterisers differ by a pixel or two at cell borders.
    bool InkNear(int cx, int cy) const {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Ink(cx + dx, cy + dy)) return true;
        return false;
    }
    // Inked cells of this image the other has no ink near.
    int Unmatched(const InkCells& other) const {
        int n = 0;
        for (int cy = 0; cy < Rows; ++cy)
            for (int cx = 0; cx < Columns; ++cx)
                n += Ink(cx, cy) && !other.InkNear(cx, cy);
        return n;
    }
    int Count() const { return static_cast<int>(std::count(Cells.begin(), Cells.end(), true)); }

    int Columns, Rows;
    std::vector<bool> Cells;
};

TEST_F(PageOutput, PrintToFileWritesAPdfThatIndependentReadersAccept) {
    for (const char* tool : {"qpdf", "pdfinfo", "pdftotext", "pdftoppm"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    // A raw queue: printing to a file goes through a real printer's device without touching
    // the machine's printers.
    print_test::PrivateSpooler spooler({{"FileQ"}});
    if (!spooler.Running()) GTEST_SKIP() << "private print server: " << spooler.Problem();
    setenv("CUPS_SERVER", spooler.Server().c_str(), 1);
    struct EnvBack {
        ~EnvBack() { unsetenv("CUPS_SERVER"); }
    } envBack;
    // The spooler's printers even where the test run hides the system's (LUMETRA_PRINTERS).
    TpgwScopedPrinters spoolerPrinters(CreateSpoolerPrintBackend());
    const int queue = GetPrinters()->IndexOf("FileQ");
    if (queue < 0)
        GTEST_SKIP() << "the spooler client of this process already talks to another server; "
                        "the test needs a process of its own (as ctest runs it)";
    GetPrinters()->SelectPrinter(queue);

    PreparePages(3, [this](TpgwReportPage&) { Find<TpgwView>("ScreenOnly")->SetPrintable(true); });
    const std::string pdf = spooler.Dir().File("out.pdf");
    report->PrintOptions()->SetOutputFileName(pdf);
    ASSERT_TRUE(Store().Print());

    int status = -1;
    const std::string check = RunTool("qpdf --check " + pdf, &status);
    EXPECT_EQ(status, 0) << check;
    const std::string info = RunTool("pdfinfo " + pdf);
    EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
    const std::string text = RunTool("pdftotext -layout " + pdf + " -");
    for (const char* expected : {"Header 1", "Page 1 of 3", "Page 3 of 3", "Footer"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;

    // Page 1 at 96 dpi against the same page drawn offscreen: the same cells hold ink.
    RunTool("pdftoppm -r 96 -f 1 -l 1 " + pdf + " " + spooler.Dir().File("page"));
    const Gray printed = ReadPpm(spooler.Dir().File("page-1.ppm"));
    ASSERT_GT(printed.Width, 0) << "pdftoppm gave no image";
    TRasterCanvas drawn(printed.Width, printed.Height);
    Store().DrawPage(0, drawn, 1, 1, 0, 0);
    const auto lightness = [&](int x, int y) {
        const TColor c = drawn.Pixel(x, y);
        return static_cast<int>(((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 3);
    };
    const InkCells fromPdf(printed.Width, printed.Height,
                           [&](int x, int y) { return printed.At(x, y); });
    const InkCells offscreen(printed.Width, printed.Height, lightness);
    ASSERT_GT(offscreen.Count(), 50) << "the offscreen page has ink";
    EXPECT_LE(offscreen.Unmatched(fromPdf), offscreen.Count() / 50);
    EXPECT_LE(fromPdf.Unmatched(offscreen), fromPdf.Count() / 50);

    // A file that cannot be written: the job raises and leaves nothing behind.
    const std::string bad = spooler.Dir().File("missing/out.pdf");
    report->PrintOptions()->SetOutputFileName(bad);
    EXPECT_THROW(Store().Print(), Exception);
    EXPECT_NE(access(spooler.Dir().Path().c_str(), F_OK), -1);
    EXPECT_EQ(access(bad.c_str(), F_OK), -1);
}

} // namespace
