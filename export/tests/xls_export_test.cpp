// The spreadsheet automation export and its wrapper, against a recording automation server:
// column names and range clipping, which refused settings the wrapper drops and which it lets
// through, batches of ranges, the call logs of both modes on a small sheet (golden files), the
// program missing, failures during the fill, page breaks, sheets wider than the program reaches,
// the cell texts, and the options dialog.

#include "export/xls_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/tests/fake_automation.h"
#include "export/tests/page_export_fixture.h"
#include "export/xls_automation.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/picture.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/wide_strings.h"

namespace {

std::string Testdata(const std::string& name) {
    return std::string(LUMETRA_TESTDATA_DIR) + "/" + name;
}

void ExpectGolden(const std::string& name, const std::string& log) {
    const std::string golden = Testdata(name);
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, log);
    EXPECT_EQ(log, TempDir::ReadAll(golden)) << name;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether the range read with these arguments gets the setting ("Member = value") afterwards.
bool RangeGets(const FakeAutomationServer& server, const std::string& args,
               const std::string& setting) {
    const std::string head = "get Item1.Range(" + args + ") -> ";
    for (std::size_t i = 0; i < server.Log.size(); ++i) {
        if (!server.Log[i].starts_with(head)) continue;
        const std::string put = "put " + server.Log[i].substr(head.size()) + "." + setting;
        for (std::size_t j = i + 1; j < server.Log.size(); ++j)
            if (server.Log[j] == put) return true;
    }
    return false;
}

// ---- the wrapper -------------------------------------------------------------------------------

// A wrapper started on the recording server; the log starts empty after the opening calls.
class XlsWrapper : public ::testing::Test {
protected:
    void SetUp() override {
        excel.Start();
        ASSERT_TRUE(excel.Opened());
        opening = server.Log;
        server.Log.clear();
    }
    // The current range's name, as a write to it shows.
    std::string CurrentRangeName() {
        const std::size_t before = server.Log.size();
        TpgwExcel::Set(excel.CurrentRange(), "Tag", Variant(1));
        const std::string line = server.Log.at(before);
        server.Log.pop_back();
        return line.substr(4, line.find('.') - 4);
    }

    FakeAutomationServer server;
    TpgwExcel excel;
    std::vector<std::string> opening;
};

TEST_F(XlsWrapper, ColumnAndCellNames) {
    const std::pair<int, const char*> cases[] = {{1, "A"},   {26, "Z"},   {27, "AA"},  {52, "AZ"},
                                                 {53, "BA"}, {254, "IT"}, {702, "ZZ"}, {703, "AAA"},
                                                 {0, ""},    {-3, ""}};
    for (const auto& [column, name] : cases)
        EXPECT_EQ(TpgwExcel::ColumnName(column), name) << column;
    EXPECT_EQ(TpgwExcel::CellName(3, 12), "C12");
}

TEST_F(XlsWrapper, StartsHiddenWithOneWorkbookOrReportsThatItCannot) {
    EXPECT_EQ(opening,
              (std::vector<std::string>{
                  "put Application.ScreenUpdating = False", "put Application.DisplayAlerts = False",
                  "get Application.WorkBooks -> WorkBooks1", "get WorkBooks1.Add -> Add1",
                  "get Add1.WorkSheets -> WorkSheets1", "get WorkSheets1.Item(1) -> Item1"}));
    excel.SetVisible(true);
    EXPECT_EQ(server.Log, std::vector<std::string>{"put Application.Visible = True"});

    // A program that refuses to make its workbook is not open either, and nothing is raised.
    server.Refused = {"WORKBOOKS"};
    TpgwExcel refusing;
    refusing.Start();
    EXPECT_FALSE(refusing.Opened());
    EXPECT_TRUE(refusing.Application().IsEmpty());

    // Without the program: not open, and showing it sends nothing.
    UnregisterOleFactory(TpgwExcel::kProgId);
    server.Log.clear();
    TpgwExcel missing;
    missing.Start();
    EXPECT_FALSE(missing.Opened());
    EXPECT_NO_THROW(missing.SetVisible(true));
    EXPECT_TRUE(server.Log.empty());
}

TEST_F(XlsWrapper, RangesAreClippedAndOutOfRangeSettingsSendNothing) {
    EXPECT_TRUE(excel.SelectRange(2, 3, 2, 2));
    // 254 + 5 reaches column 256: cut to the single column IT.
    EXPECT_TRUE(excel.SelectRange(254, 1, 1, 5));
    // Starting at 255 or beyond, or without rows, nothing is selected and IT1 stays current.
    EXPECT_FALSE(excel.SelectRange(255, 1, 1, 1));
    EXPECT_FALSE(excel.SelectRange(300, 1, 1, 1));
    EXPECT_FALSE(excel.SelectRange(1, 1, 0, 3));
    EXPECT_EQ(CurrentRangeName(), "Range2");

    excel.SetColumnWidth(1, 300);
    excel.SetColumnWidth(256, 10);
    excel.SetColumnWidth(3, 0);
    excel.SetColumnWidth(255, 12.5);
    excel.SetRowHeight(2, 500);
    excel.SetRowHeight(4, 0);
    EXPECT_EQ(
        server.Log,
        (std::vector<std::string>{
            "get Item1.Range(\"B3\", \"C4\") -> Range1",
            "get Item1.Range(\"IT1\", \"IT1\") -> Range2", "get Item1.Columns -> Columns1",
            "get Columns1.Columns(255) -> Columns2", "put Columns2.ColumnWidth = 12.5",
            "get Item1.Rows -> Rows1", "get Rows1.Rows(2) -> Rows2", "put Rows2.RowHeight = 409"}));
}

TEST_F(XlsWrapper, RefusedCallsAreDroppedOnlyWhereTheSettingIsOptional) {
    ASSERT_TRUE(excel.SelectRange(1, 1, 2, 2));
    struct Case {
        const char* refused;
        std::function<void()> action;
        bool raises;
    };
    const Case cases[] = {
        {"COLUMNWIDTH", [&] { excel.SetColumnWidth(1, 10); }, false},
        {"PAGESETUP", [&] { excel.SetPageSetup(poLandscape, 1, 2, 3, 4); }, false},
        {"RANGE", [&] { EXPECT_FALSE(excel.SelectRange(1, 1, 1, 1)); }, false},
        {"STYLE", [&] { excel.SetRangeStyle("A1", 2); }, false},
        {"BORDERS", [&] { excel.SetRangeBorders("A1", ftAll); }, false},
        {"NUMBERFORMAT", [&] { excel.SetRangeNumberFormat("A1", "0.00"); }, false},
        {"MERGECELLS",
         [&] {
             excel.ApplyRangeList({{"A1:B2", 0}}, rlMerges, nullptr);
         },
         false},
        {"ROWHEIGHT",
         [&] {
             excel.SetRowHeights({{"A1", 0}, {"A2", 1}}, {15, 20}, nullptr, 3, 0);
         },
         true},
        {"ROWHEIGHT", [&] { excel.SetRowHeight(1, 10); }, true},
        {"MERGECELLS", [&] { excel.MergeRange(); }, true},
        {"BORDERS", [&] { excel.SetBorders(FrameSide(ftTop)); }, true},
        {"VISIBLE", [&] { excel.SetVisible(false); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused);
        server.Refused = {c.refused};
        if (c.raises)
            EXPECT_THROW(c.action(), EOleError);
        else
            EXPECT_NO_THROW(c.action());
    }
    // The page setup stops at its first refused call.
    EXPECT_EQ(server.Lines("PageSetup").size(), 1u);
}

TEST_F(XlsWrapper, BatchesStayWithin255CharactersAndSplitAtEveryNewValue) {
    excel.SetListSeparator(';');
    excel.ApplyRangeList({{"A1", 1}, {"B1", 1}, {"C1", 2}}, rlStyles, nullptr);
    excel.ApplyRangeList({{"A1:B2", FrameSide(ftLeft) | FrameSide(ftBottom)}}, rlBorders, nullptr);
    excel.ApplyRangeList({{"C2:D4", 0}, {"A1:B1", 0}}, rlMerges, nullptr);
    excel.ApplyNumberFormats({"0.00=B1", "0.00=B2", "#.=C1", "0.00=D1"}, nullptr);
    EXPECT_EQ(server.Log, (std::vector<std::string>{
                              "get Item1.Range(\"A1;B1\") -> Range1",
                              "put Range1.Style = \"S1\"",
                              "get Item1.Range(\"C1\") -> Range2",
                              "put Range2.Style = \"S2\"",
                              "get Item1.Range(\"A1:B2\") -> Range3",
                              "get Range3.Cells -> Cells1",
                              "get Cells1.Borders -> Borders1",
                              "get Borders1.Item(7) -> Item2",
                              "put Item2.Linestyle = 1",
                              "get Borders1.Item(9) -> Item3",
                              "put Item3.Linestyle = 1",
                              "get Item1.Range(\"C2:D4;A1:B1\") -> Range4",
                              "put Range4.MergeCells = True",
                              "get Item1.Range(\"B1;B2\") -> Range5",
                              "put Range5.NumberFormat = \"0.00\"",
                              "get Item1.Range(\"C1\") -> Range2",
                              "put Range2.NumberFormat = \"#.\"",
                              "get Item1.Range(\"D1\") -> Range6",
                              "put Range6.NumberFormat = \"0.00\"",
                          }));

    server.Log.clear();
    excel.SetListSeparator(',');
    TpgwRangeList styles;
    for (int i = 0; i < 40; ++i)
        styles.emplace_back("A" + std::to_string(100 + i) + ":B" + std::to_string(100 + i), 3);
    excel.ApplyRangeList(styles, rlStyles, nullptr);
    EXPECT_EQ(server.Lines(".Style = \"S3\"").size(), 2u);
    const std::vector<std::string> ranges = server.Lines("get Item1.Range(");
    ASSERT_EQ(ranges.size(), 2u);
    // As many as fit: 25 addresses of 9 characters and 24 separators are 249 characters.
    const std::string first = ranges[0].substr(ranges[0].find('"') + 1);
    EXPECT_EQ(first.substr(0, first.find('"')).size(), 249u);
    EXPECT_TRUE(Has(ranges[0], "(\"A100:B100,A101:B101,"));
    EXPECT_TRUE(Has(ranges[1], "(\"A125:B125,") && Has(ranges[1], ",A139:B139\")"));
}

TEST_F(XlsWrapper, RowHeightsGoOnceForTheMostUsedAndInBatchesForTheRest) {
    // Rows of 15, 15, 20 and 15 points as the fast mode lists them: sorted by height, a new
    // range before the older ones of its height.
    excel.SetRowHeights({{"A4:A4", 0}, {"A1:A2", 0}, {"A3", 1}}, {15, 20}, nullptr, 5, 0);
    EXPECT_EQ(server.Log, (std::vector<std::string>{
                              "get Item1.Range(\"A1:A5\") -> Range1", "put Range1.RowHeight = 15",
                              "get Item1.Range(\"A3\") -> Range2", "get Range2.Rows -> Rows1",
                              "put Rows1.RowHeight = 20"}));

    // A height with more ranges than one address holds: full batches directly, the last one
    // through its rows; ranges of the most used height are never sent again.
    server.Log.clear();
    TpgwRangeList ranges{{"A1:A2", 0}};
    for (int i = 0; i < 30; ++i)
        ranges.emplace_back("A" + std::to_string(100 + 2 * i) + ":A" + std::to_string(101 + 2 * i),
                            1);
    ranges.emplace_back("A900", 2);
    excel.SetRowHeights(ranges, {15, 20.25, 30}, nullptr, 1000, 0);
    const std::vector<std::string> heights = server.Lines("RowHeight =");
    ASSERT_EQ(heights.size(), 4u);
    EXPECT_TRUE(Has(heights[0], "RowHeight = 15"));
    EXPECT_TRUE(Has(heights[1], ".RowHeight = 20.25") && !Has(heights[1], "Rows"));
    EXPECT_TRUE(Has(heights[2], ".RowHeight = 20.25"));
    EXPECT_TRUE(Has(heights[3], "put Rows") && Has(heights[3], ".RowHeight = 30"));
    for (const std::string& line : server.Lines("get Item1.Range(")) {
        EXPECT_FALSE(Has(line, "A1:A2"));
        EXPECT_LE(line.size(), 255u + 30u) << line;
    }
    EXPECT_TRUE(Has(server.Lines("get Item1.Range(")[1], "A100:A101;A102:A103;"));
}

// ---- the export --------------------------------------------------------------------------------

// The rich text view as the matrix knows it: a view of that class name; its plain text is fixed.
class TpgwRichView : public TpgwView {
    LUMETRA_CLASS(TpgwRichView, TpgwView)
public:
    explicit TpgwRichView(TComponent* owner) : TpgwView(owner) {}
    void ExportText(std::string& text) override { text = "rich words"; }
};

class XlsExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        auto recorder = std::make_unique<TRecordingReporter>();
        boxes = recorder.get();
        reporterScope = std::make_unique<TScopedReporter>(std::move(recorder));
        filter = std::make_unique<TpgwXLSExport>(TpgwCustomExportFilter::UnlistedTag{});
        filter->SetReport(report.get());
        filter->SetShowDialog(false);
        filter->SetShowProgress(false);
        filter->SetDefaultPath("/reports");
        filter->SetFileName("book.xls");
        report->EngineOptions()->SetNewSilentMode(simMessageBoxes);
    }
    void TearDown() override {
        filter.reset();
        PageExportFixture::TearDown();
        reporterScope.reset();
    }

    // The pages through the filter as the export driver hands them over; false when the run
    // ended at OpenOutput.
    bool RunXls() {
        if (!filter->OpenOutput()) return false;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            filter->EnterPage(pages[i], static_cast<int>(i));
            for (TpgwComponent* object : pages[i]->AllObjects())
                filter->WriteItem(object);
            filter->LeavePage(pages[i], static_cast<int>(i));
        }
        filter->CloseOutput();
        return true;
    }

    // Four rows of 15, 15, 20 and 15 points over four columns of 100 units: "007" and a
    // numeric "1 234,50" (blank groups, decimal comma) in row 1, a text of 1000 characters in
    // row 2, a framed, filled two-line memo over C2:D4, and a picture in B4.
    void SmallSheet() {
        TpgwReportPage* page = NewPage();
        page->SetLeftMargin(10);
        page->SetTopMargin(12);
        page->SetRightMargin(14);
        page->SetBottomMargin(16);
        const double pt = TpgwXLSExport::kUnitsPerPoint;
        const double y[] = {0, 15 * pt, 30 * pt, 50 * pt, 65 * pt};
        Memo(page, 0, y[0], 100, 15 * pt, "007");
        TpgwMemoView* number = Memo(page, 100, y[0], 100, 15 * pt, "1 234,50", haRight);
        number->DisplayFormat()->SetKind(fkNumeric);
        number->DisplayFormat()->SetDecimalSeparator(",");
        number->DisplayFormat()->SetThousandSeparator(" ");
        number->DisplayFormat()->SetFormatStr("%2.2n");
        Memo(page, 300, y[0], 100, 15 * pt, "D1");
        Memo(page, 0, y[1], 100, 15 * pt, std::string(1000, 'x'));
        TpgwMemoView* merged = Memo(page, 200, y[1], 200, y[4] - y[1], "merged\r\ntwo lines\r\n");
        merged->Frame()->SetTyp(ftAll);
        merged->SetColor(clYellow);
        merged->Font()->SetStyle(TFontStyles{fsBold});
        merged->SetVAlign(vaCenter);
        Memo(page, 0, y[2], 100, 20 * pt, "tall");
        Memo(page, 0, y[3], 100, 15 * pt, "last");
        auto* picture = new TpgwPictureView(page);
        picture->SetParent(page);
        picture->SetBounds(100, y[3], 100, 15 * pt);
        picture->SetStretched(true);
        auto bitmap = std::make_unique<TBitmap>(2, 2);
        bitmap->Canvas().Brush().SetColor(clRed);
        bitmap->Canvas().FillRect({0, 0, 2, 2});
        picture->Picture()->SetGraphic(std::move(bitmap));
    }

    // The value array as the log shows it.
    static std::string ValueLine(const FakeAutomationServer& server) {
        const std::vector<std::string> lines = server.Lines(".Value = ");
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? std::string() : lines[0];
    }

    std::unique_ptr<TpgwXLSExport> filter;
    TRecordingReporter* boxes = nullptr;
    std::unique_ptr<TScopedReporter> reporterScope;
};

TEST_F(XlsExports, BothModesSendTheGoldenCallsForASmallSheet) {
    SmallSheet();
    const std::string saved = "call Add1.SaveAs(\"/reports/book.xls\", -4143, Empty, Empty, "
                              "Empty, Empty, 1)";
    {
        FakeAutomationServer server;
        ASSERT_TRUE(RunXls());
        ExpectGolden("xls_fast.log", server.LogText());
        // One call for all rows at the most used height, one batch for the 20-point row 3.
        EXPECT_EQ(server.Lines("RowHeight =").size(), 2u);
        EXPECT_TRUE(RangeGets(server, "\"A1:A5\"", "RowHeight = 15"));
        EXPECT_EQ(server.Lines("Range(\"A3\")").size(), 1u);
        EXPECT_EQ(server.Lines("RowHeight = 20").size(), 1u);
        const std::string values = ValueLine(server);
        EXPECT_TRUE(Has(values, "Variant[1..5, 1..5] {\"'007\", \"1234.50\", Empty, \"'D1\""));
        // Cut to 900 characters, then marked as text.
        EXPECT_TRUE(Has(values, "\"'xxxxxxxxxxxxxxxxxxx...\"<901>"));
        EXPECT_TRUE(Has(values, "\"'merged\\ntwo lines\""));
        EXPECT_TRUE(RangeGets(server, "\"C2:D4\"", "MergeCells = True"));
        EXPECT_TRUE(RangeGets(server, "\"B1\"", "NumberFormat = \"# ##0.00\""));
        EXPECT_EQ(server.Lines("PasteSpecial").size(), 1u);
        EXPECT_TRUE(Has(server.LogText(), saved + "\n"));
        EXPECT_EQ(server.Log.back(), "call Application.Quit");
    }
    filter->SetFastExport(false);
    {
        FakeAutomationServer server;
        ASSERT_TRUE(RunXls());
        ExpectGolden("xls_cell_by_cell.log", server.LogText());
        const std::vector<std::string> heights = server.Lines("RowHeight =");
        ASSERT_EQ(heights.size(), 4u);
        EXPECT_TRUE(Has(heights[2], "RowHeight = 20"));
        const std::string values = ValueLine(server);
        EXPECT_TRUE(Has(values, "OleStr[0..4, 0..4] {\"007\", \"1 234,50\", \"\", \"D1\""));
        EXPECT_TRUE(Has(values, "\"xxxxxxxxxxxxxxxxxxxx...\"<900>"));
        EXPECT_TRUE(RangeGets(server, "\"C2\", \"D4\"", "MergeCells = True"));
        EXPECT_EQ(server.Lines("MergeCells = True").size(), 1u);
        // A transparent fill is sent as white, never as the black its plain value is.
        for (const std::string& line : server.Lines("put Interior"))
            EXPECT_FALSE(line.ends_with(".Color = 0")) << line;
        EXPECT_EQ(server.Lines(".Color = 16777215").size(), 3u);
        EXPECT_TRUE(Has(server.LogText(), saved + "\n"));
        EXPECT_EQ(server.Log.back(), "call Application.Quit");
    }
}

TEST_F(XlsExports, WithoutTheProgramTheRunEndsWithTheMessageAndNoFile) {
    SmallSheet();
    const TempDir dir;
    filter->SetFileName(dir / "book.xls");
    const std::string message = "Microsoft Excel must be installed on this computer!";

    EXPECT_FALSE(RunXls());
    ASSERT_EQ(boxes->Boxes.size(), 1u);
    EXPECT_EQ(boxes->Boxes[0].Text, message);
    EXPECT_EQ(boxes->Boxes[0].Icon, mtError);
    EXPECT_EQ(boxes->Boxes[0].Buttons, BtnBit(mbOK));
    EXPECT_EQ(filter->Excel(), nullptr);

    report->EngineOptions()->SetNewSilentMode(simSilent);
    report->Errors().Clear();
    EXPECT_FALSE(RunXls());
    EXPECT_EQ(boxes->Boxes.size(), 1u);
    ASSERT_EQ(report->Errors().Count(), 1);
    EXPECT_EQ(report->Errors().Strings(0), message);

    report->EngineOptions()->SetNewSilentMode(simReThrow);
    EXPECT_THROW(RunXls(), Exception);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

    // No file name: nothing is started and nothing said.
    filter->SetFileName("");
    filter->SetDefaultPath("");
    report->EngineOptions()->SetNewSilentMode(simMessageBoxes);
    EXPECT_FALSE(filter->OpenOutput());
    EXPECT_EQ(boxes->Boxes.size(), 1u);
}

TEST_F(XlsExports, AFailedCallEndsTheFillYetTheWorkbookIsSavedAndTheProgramClosed) {
    SmallSheet();
    struct Case {
        const char* refused;
        bool fast;
        bool openAfter;
        bool raises;
    };
    const Case cases[] = {
        {"STYLES", true, false, true},  {"PASTESPECIAL", false, false, true},
        {"SAVEAS", true, false, false}, {"STYLES", false, true, true},
        {"NOTHING", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.refused) + (c.fast ? " fast" : " cell by cell"));
        FakeAutomationServer server;
        server.Refused = {c.refused};
        filter->SetFastExport(c.fast);
        filter->SetOpenExcelAfterExport(c.openAfter);
        if (c.raises)
            EXPECT_THROW(RunXls(), EOleError);
        else
            EXPECT_NO_THROW(RunXls());
        EXPECT_EQ(filter->Excel(), nullptr);
        const std::string log = server.LogText();
        EXPECT_EQ(Has(log, ".Value = "), !c.raises);
        EXPECT_EQ(server.Lines("SaveAs").size(), 1u);
        EXPECT_TRUE(Has(log, "put Application.DisplayAlerts = True\n"
                             "put Application.ScreenUpdating = True\n"));
        // Asked to stay open, the program is shown even when the fill broke off; else it quits.
        EXPECT_EQ(server.Lines("Quit").size(), c.openAfter ? 0u : 1u);
        EXPECT_EQ(server.Lines("put Application.Visible = True").size(), c.openAfter ? 1u : 0u);
    }
    filter->SetOpenExcelAfterExport(false);

    // A run that failed on a page saves nothing but still closes the program.
    FakeAutomationServer server;
    ASSERT_TRUE(filter->OpenOutput());
    filter->EnterPage(pages[0], 0);
    filter->SetRunFailed(true);
    EXPECT_NO_THROW(filter->CloseOutput());
    filter->SetRunFailed(false);
    EXPECT_TRUE(server.Lines("SaveAs").empty());
    EXPECT_EQ(server.Log.back(), "call Application.Quit");
}

TEST_F(XlsExports, AnEmptyRunSavesAnEmptyWorkbookWithoutWritingValuesAnywhere) {
    NewPage();
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast);
        FakeAutomationServer server;
        filter->SetFastExport(fast);
        ASSERT_NO_THROW(RunXls());
        EXPECT_TRUE(server.Lines(".Value = ").empty());
        EXPECT_EQ(server.Lines("SaveAs").size(), 1u);
        EXPECT_EQ(server.Log.back(), "call Application.Quit");
    }
}

TEST_F(XlsExports, PageBreaksFallBetweenThePagesOnlyWhileEmptyLinesStay) {
    for (int i = 0; i < 2; ++i)
        Memo(NewPage(), 0, 0, 100, 20, "page " + std::to_string(i + 1));
    struct Case {
        bool fast;
        bool emptyLines;
        bool pageBreaks;
        std::vector<std::string> rows;
    };
    // Rows: page 1 (to 20.5), the gap up to page 2's first object, page 2 (to 41).
    const Case cases[] = {
        {true, true, true, {"Rows(3)", "Rows(5)"}},
        {false, true, true, {"Rows(3)", "Rows(5)"}},
        {true, false, true, {}},
        {false, true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fast) + std::to_string(c.emptyLines) +
                     std::to_string(c.pageBreaks));
        FakeAutomationServer server;
        filter->SetFastExport(c.fast);
        filter->SetEmptyLines(c.emptyLines);
        filter->SetPageBreaks(c.pageBreaks);
        ASSERT_TRUE(RunXls());
        std::vector<std::string> rows;
        for (const std::string& line : server.Log) {
            if (!Has(line, "get Item1.Rows(")) continue;
            const std::size_t at = line.find("Rows(");
            rows.push_back(line.substr(at, line.find(')', at) + 1 - at));
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(server.Lines("PageBreak = -4135").size(), c.rows.size());
    }
}

TEST_F(XlsExports, SheetsWiderThanTheProgramReachKeepEveryStyleOnItsOwnCells) {
    // 260 columns: the program reaches column 254 (IT).
    TpgwReportPage* page = NewPage();
    for (int i = 0; i < 260; ++i)
        Memo(page, 3 * i, 0, 3, 20, "c" + std::to_string(i + 1));
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast);
        FakeAutomationServer server;
        filter->SetFastExport(fast);
        ASSERT_TRUE(RunXls());
        EXPECT_EQ(server.Lines("get Columns1.Columns(255)").size(), 1u);
        EXPECT_TRUE(server.Lines("Columns(256)").empty());
        for (const char* beyond : {"IU1", "IV1", "IW1"})
            EXPECT_TRUE(server.Lines(beyond).empty()) << beyond;
        if (fast) {
            // Every reachable cell is in a style batch, once.
            std::size_t cells = 0;
            for (std::size_t i = 0; i + 1 < server.Log.size(); ++i)
                if (Has(server.Log[i + 1], ".Style = \"S0\""))
                    cells += std::count(server.Log[i].begin(), server.Log[i].end(), ',') + 1;
            EXPECT_EQ(cells, 254u);
        } else {
            // One style per reachable object; the objects beyond do not restyle the last one.
            EXPECT_EQ(server.Lines(".Style = \"S0\"").size(), 254u);
        }
        EXPECT_TRUE(Has(ValueLine(server), fast ? "\"'c254\", \"'c255\"" : "\"c254\", \"c255\""));
    }
}

TEST_F(XlsExports, AsTextQuotesEveryValueAndSendsNoNumberFormats) {
    TpgwReportPage* page = NewPage();
    TpgwMemoView* number = Memo(page, 0, 0, 100, 20, "1,234.50");
    number->DisplayFormat()->SetKind(fkNumeric);
    number->DisplayFormat()->SetFormatStr("%2.2f");
    Memo(page, 100, 0, 100, 20, "abc");
    for (const bool asText : {false, true}) {
        SCOPED_TRACE(asText);
        FakeAutomationServer server;
        filter->SetAsText(asText);
        ASSERT_TRUE(RunXls());
        EXPECT_TRUE(Has(ValueLine(server), asText ? "{\"'1,234.50\", \"'abc\", Empty"
                                                  : "{\"1234.50\", \"'abc\", Empty"));
        EXPECT_EQ(server.Lines("NumberFormat = \"0.00\"").size(), asText ? 0u : 1u);
    }
}

TEST_F(XlsExports, RichTextIsPlainTextWithoutMetafilesAndAPastedPictureWithThem) {
    TpgwReportPage* page = NewPage();
    auto* rich = new TpgwRichView(page);
    rich->SetParent(page);
    rich->SetBounds(0, 0, 120, 40);
    rich->SetColor(clAqua);
    for (const bool emf : {true, false}) {
        SCOPED_TRACE(emf);
        FakeAutomationServer server;
        filter->SetExportEMF(emf);
        ASSERT_TRUE(RunXls());
        EXPECT_EQ(Has(ValueLine(server), "rich words"), !emf);
        EXPECT_EQ(server.Lines("PasteSpecial").size(), emf ? 1u : 0u);
        if (emf) {
            EXPECT_TRUE(Has(server.LogText(), "get Pictures1.Left -> 10\n"
                                              "put Pictures1.Left = 11\n"));
            EXPECT_FALSE(Clipboard().AsMetafile().Empty());
        }
    }
}

// ---- cell texts --------------------------------------------------------------------------------

TEST(XlsCellTexts, LinesAreCleanedAndLongValuesCutWithoutSplittingACharacter) {
    TWideStrings lines;
    lines.SetText(u"one\r\ntwo\r\n\r\n");
    EXPECT_EQ(TpgwXLSExport::CleanCellText(lines), u"one\ntwo");

    const std::u16string x899(899, u'x');
    struct Case {
        std::u16string text;
        bool eightBit;
        std::size_t kept; // UTF-16 units
    };
    const Case cases[] = {
        {std::u16string(1000, u'x'), false, 900},
        {std::u16string(1000, u'x'), true, 900},
        {x899 + u"😀y", false, 899}, // the pair would be cut in half
        {x899 + u"中y", true, 899}, // two bytes where one is left
        {std::u16string(450, u'中'), true, 450},
        {std::u16string(451, u'中'), true, 450},
        {std::u16string(451, u'中'), false, 451},
        {x899 + u"😀y", true, 901}, // not in the code page: one byte, kept as it is
    };
    for (const Case& c : cases) {
        const std::u16string kept = TpgwXLSExport::LimitCellText(c.text, c.eightBit);
        EXPECT_EQ(kept.size(), c.kept) << c.text.size() << " " << c.eightBit;
        EXPECT_EQ(kept, c.text.substr(0, c.kept));
    }
}

TEST(XlsCellTexts, NumericTextsTakeTheFormatsSeparatorsBeforeTheSystems) {
    const TFormatSettings saved = FormatSettings();
    struct Case {
        const char* text;
        const char* decimal;
        const char* thousand;
        char systemDecimal;
        char systemThousand;
        const char* expected;
    };
    const Case cases[] = {
        {"1 234,50", ",", " ", '.', ',', "1234.50"},
        {"1 234,50", ",", "", '.', ' ', "1234.50"},
        {"1,234.50", "", "", '.', ',', "1234.50"},
        {"1.234,50", "", "", ',', '.', "1234.50"},
        // The format's decimal comma is the system's grouping: it stays the decimal point.
        {"1234,5", ",", "", '.', ',', "1234.5"},
        {"1\xC2\xA0"
         "234.5",
         ".", "\xC2\xA0", '.', ',', "1234.5"},
        {"-12", "", "", '.', ',', "-12"},
    };
    for (const Case& c : cases) {
        FormatSettings().DecimalSeparator = c.systemDecimal;
        FormatSettings().ThousandSeparator = c.systemThousand;
        TpgwFormat format;
        format.SetKind(fkNumeric);
        format.SetDecimalSeparator(c.decimal);
        format.SetThousandSeparator(c.thousand);
        EXPECT_EQ(TpgwXLSExport::NumericCellText(c.text, format), c.expected) << c.text;
    }
    FormatSettings() = saved;
}

TEST(XlsCellTexts, NumberFormatsAndAlignmentCodes) {
    const TFormatSettings saved = FormatSettings();
    const std::pair<const char*, const char*> formats[] = {
        {"%2.2n", "# ##0.00"},
        {"%2.3f", "0.000"},
        {"%.1d", "#.#"},
        {"%2f", "0."},
        {"%2.0n", "# ##0."},
        {"%2.2m", ""},
        {"%.xf", "0."},
        {"", ""},
        {"%.99f", "0.000000000000000000000000000000"},
    };
    for (const auto& [format, expected] : formats)
        EXPECT_EQ(TpgwXLSExport::ExcelNumberFormat(format), expected) << format;
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(TpgwXLSExport::ExcelNumberFormat("%2.2f"), "0,00");
    FormatSettings() = saved;

    struct Align {
        TpgwHAlign h;
        TpgwVAlign v;
        int horizontal;
        int vertical;
    };
    const Align aligns[] = {{haLeft, vaTop, -4131, -4160},
                            {haRight, vaBottom, -4152, -4107},
                            {haCenter, vaCenter, -4108, -4108},
                            {haBlock, vaTop, -4130, -4160}};
    for (const Align& a : aligns) {
        TpgwIEMStyle style;
        style.HAlign = a.h;
        style.VAlign = a.v;
        EXPECT_EQ(TpgwXLSExport::ExcelAlignmentCodes(style), std::pair(a.horizontal, a.vertical));
    }
}

// ---- defaults and the dialog -------------------------------------------------------------------

TEST_F(XlsExports, DefaultsAndRegistration) {
    TpgwXLSExport fresh(TpgwCustomExportFilter::UnlistedTag{});
    EXPECT_TRUE(fresh.ExportEMF() && fresh.ExportStyles() && fresh.ExportPictures() &&
                fresh.MergeCells() && fresh.Wysiwyg() && fresh.Background() && fresh.FastExport() &&
                fresh.PageBreaks() && fresh.EmptyLines() && fresh.ShowDialog());
    EXPECT_FALSE(fresh.OpenExcelAfterExport() || fresh.AsText() ||
                 fresh.SuppressPageHeadersFooters() || fresh.OverwritePrompt());
    EXPECT_EQ(fresh.FileFilter(), "Excel 文件 (*.xls)|*.xls");
    EXPECT_EQ(fresh.FileExtension(), ".xls");
    EXPECT_EQ(fresh.FilterCaption(), "Excel 表格 (OLE)");

    RegisterXLSExport();
    std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter("XLS");
    ASSERT_NE(dynamic_cast<TpgwXLSExport*>(made.get()), nullptr);
    SetPropValue(*made, "FastExport", Variant(false));
    SetPropValue(*made, "OpenExcelAfterExport", Variant(true));
    EXPECT_FALSE(static_cast<TpgwXLSExport&>(*made).FastExport());
    EXPECT_TRUE(static_cast<TpgwXLSExport&>(*made).OpenAfterExport());
}

class TDialogXLSExport : public TpgwXLSExport {
public:
    TDialogXLSExport() : TpgwXLSExport(UnlistedTag{}) {}
    TpgwXLSExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = TpgwXLSExport::CreateDialog();
        Dialog = static_cast<TpgwXLSExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(XlsExports, TheDialogTurnsContinuousIntoNoEmptyLinesAndOpensEvenWithAStream) {
    const TempDir dir;
    TDialogXLSExport xls;
    xls.SetReport(report.get());
    TMemoryStream stream;
    xls.SetTargetStream(&stream);
    TRecordingReporter::DialogAnswer answer;
    answer.Confirmed = true;
    answer.FileName = dir / "chosen.xls";
    boxes->QueueDialogAnswer(answer);
    Application()->QueueCall([&] {
        TpgwXLSExportDialog* d = xls.Dialog;
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Caption(), "导出到 Excel");
        EXPECT_EQ(d->OpenExcelCB, d->OpenCB);
        EXPECT_EQ(d->OpenExcelCB->Caption(), "在导出后打开 Excel");
        EXPECT_TRUE(d->OpenExcelCB->Visible());
        EXPECT_EQ(d->FastExpCB->Caption(), "快速导出");
        EXPECT_FALSE(d->ContinuousCB->Checked());
        EXPECT_TRUE(d->PageBreaksCB->Checked() && d->FastExpCB->Checked());
        d->ContinuousCB->SetChecked(true);
        d->AsTextCB->SetChecked(true);
        d->OpenExcelCB->SetChecked(true);
        d->OkB->Click();
    });
    EXPECT_EQ(xls.AskOptions(), 1);
    EXPECT_EQ(xls.TargetStream(), &stream);
    EXPECT_FALSE(xls.EmptyLines());
    EXPECT_TRUE(xls.SuppressPageHeadersFooters());
    // Page breaks keep their own box; a run without empty lines places none.
    EXPECT_TRUE(xls.PageBreaks());
    EXPECT_TRUE(xls.AsText() && xls.OpenExcelAfterExport());
    EXPECT_EQ(xls.FileName(), dir / "chosen.xls");
    EXPECT_EQ(boxes->Dialogs.back().Filter, "Excel 文件 (*.xls)|*.xls");

    // Shown again, the box reflects the missing empty lines; in slave mode the program is not
    // left open and no save dialog comes.
    xls.SetTargetStream(nullptr);
    xls.SetSuppressPageHeadersFooters(false);
    xls.SetSlaveMode(true);
    const std::size_t dialogs = boxes->Dialogs.size();
    Application()->QueueCall([&] {
        EXPECT_TRUE(xls.Dialog->ContinuousCB->Checked());
        EXPECT_FALSE(xls.Dialog->OpenExcelCB->Visible());
        xls.Dialog->ContinuousCB->SetChecked(false);
        xls.Dialog->OkB->Click();
    });
    EXPECT_EQ(xls.AskOptions(), 1);
    EXPECT_TRUE(xls.EmptyLines());
    EXPECT_FALSE(xls.OpenExcelAfterExport());
    EXPECT_EQ(boxes->Dialogs.size(), dialogs);

    Application()->QueueCall([&] { xls.Dialog->CancelB->Click(); });
    EXPECT_EQ(xls.AskOptions(), 2);
}

} // namespace
