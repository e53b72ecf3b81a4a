// The spreadsheet XML export: workbooks of small pages read back by their rows, cells and styles
// (every one checked by xmllint), the conversions of cell text, numbers and styles, the options
// dialog, failures and cancelling, and what LibreOffice makes of the fixture.

#include "export/xml_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/small_windows.h"
#include "script/automation.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// xmllint finds the document well-formed.
void ExpectWellFormed(const std::string& xml) {
    if (!HaveTool("xmllint")) {
        std::printf("xmllint is not installed (scripts/setup installs libxml2-utils)\n");
        return;
    }
    const TempDir dir;
    TempDir::WriteAll(dir / "book.xml", xml);
    int status = -1;
    const std::string log = RunTool("xmllint --noout '" + (dir / "book.xml") + "'", &status);
    EXPECT_EQ(status, 0) << log << xml.substr(0, 3000);
}

// The rows of the sheet, each as its cells: "index:text" for a cell with data ("index:" for an
// empty one), merges as "+across" and "v down".
std::vector<std::string> Rows(const std::string& xml) {
    std::vector<std::string> rows;
    static const std::regex cell(
        R"re(<Cell ss:Index="(\d+)"(?: ss:MergeAcross="(\d+)")?(?: ss:MergeDown="(\d+)")?(?: ss:StyleID="s\d+")?(/?)>(?:\r\n<Data ss:Type="\w+">([^<]*)</Data>)?)re");
    for (std::size_t at = xml.find("<Row ss:Height"); at != std::string::npos;
         at = xml.find("<Row ss:Height", at + 1)) {
        const std::string row = xml.substr(at, xml.find("</Row>", at) - at);
        std::string cells;
        for (auto it = std::sregex_iterator(row.begin(), row.end(), cell);
             it != std::sregex_iterator(); ++it) {
            const std::smatch& m = *it;
            if (!cells.empty()) cells += ' ';
            cells += m[1].str() + ":" + m[5].str();
            if (m[2].matched) cells += "+" + m[2].str();
            if (m[3].matched) cells += "v" + m[3].str();
        }
        rows.push_back(cells);
    }
    return rows;
}

// The Data line of the cell that holds text (as written).
std::string DataOf(const std::string& xml, const std::string& text) {
    static const std::regex data(R"re(<Data ss:Type="(\w+)">([^<]*)</Data>)re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), data); it != std::sregex_iterator();
         ++it)
        if ((*it)[2] == text) return (*it)[1].str() + " " + (*it)[2].str();
    return "none";
}

// The Style element that the cell holding text refers to.
std::string StyleOf(const std::string& xml, const std::string& text) {
    const std::size_t data = xml.find(">" + text + "</Data>");
    if (data == std::string::npos) return {};
    const std::size_t id = xml.rfind("ss:StyleID=\"", data);
    if (id == std::string::npos) return {};
    const std::string name = xml.substr(id + 12, xml.find('"', id + 12) - id - 12);
    const std::size_t style = xml.find("<Style ss:ID=\"" + name + "\">");
    if (style == std::string::npos) return {};
    return xml.substr(style, xml.find("</Style>", style) - style);
}

// The row numbers of the row breaks.
std::vector<int> RowBreaks(const std::string& xml) {
    std::vector<int> rows;
    static const std::regex row(R"(<RowBreak>\r\n<Row>(\d+)</Row>)");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), row); it != std::sregex_iterator();
         ++it)
        rows.push_back(std::stoi((*it)[1]));
    return rows;
}

class XmlExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        clock.Set(2026, 3, 4, 9, 5, 7);
        filter = std::make_unique<TpgwXMLExport>(TpgwCustomExportFilter::UnlistedTag{});
        filter->SetShowProgress(false);
        filter->SetReport(report.get());
        settings = FormatSettings();
        FormatSettings().DecimalSeparator = '.';
        FormatSettings().ThousandSeparator = ',';
    }
    void TearDown() override {
        FormatSettings() = settings;
        filter.reset();
        PageExportFixture::TearDown();
    }
    std::string Export() {
        const std::string xml = Run(*filter);
        ExpectWellFormed(xml);
        EXPECT_TRUE(xml.ends_with("</Worksheet>\r\n</Workbook>\r\n"));
        return xml;
    }
    // Three pages with one memo each at the top; the first page landscape with its own margins.
    void ThreePages() {
        for (const char* text : {"one", "two", "three"}) {
            TpgwReportPage* page = NewPage();
            Memo(page, 0, 0, 137.6, 20, text);
        }
        pages[0]->SetOrientation(poLandscape);
        pages[0]->SetLeftMargin(26.6);
        pages[0]->SetTopMargin(13.3);
        pages[0]->SetRightMargin(0);
        pages[0]->SetBottomMargin(53.2);
    }
    TpgwPictureView* Picture(TpgwReportPage* page, double left, double top) {
        auto* view = new TpgwPictureView(page);
        view->SetParent(page);
        view->SetBounds(left, top, 100, 20);
        auto bitmap = std::make_unique<TBitmap>(4, 2);
        bitmap->Canvas().Brush().SetColor(clRed);
        bitmap->Canvas().FillRect({0, 0, 4, 2});
        view->Picture()->SetGraphic(std::move(bitmap));
        return view;
    }

    std::unique_ptr<TpgwXMLExport> filter;
    FixedExportClock clock;
    TFormatSettings settings;
};

// ---- the sheet ---------------------------------------------------------------------------------

TEST_F(XmlExports, PagesFormOneSheetWithRowBreaksWhereTheNextPagesStart) {
    ThreePages();
    std::string xml = Export();
    EXPECT_EQ(Count(xml, "<Worksheet "), 1);
    EXPECT_TRUE(Has(xml, "<Worksheet ss:Name=\"Page 1\">\r\n<Table ss:ExpandedColumnCount=\"2\" "
                         "ss:ExpandedRowCount=\"6\" x:FullColumns=\"1\" x:FullRows=\"1\">\r\n"
                         "<Column ss:AutoFitWidth=\"0\" ss:Width=\"100.00\"/>\r\n<Row "))
        << xml;
    // Each page's memo lies half a unit below the page's start: a thin row apart from the page
    // before, and the page's break stands before it.
    EXPECT_EQ(Rows(xml),
              (std::vector<std::string>{"1:one 2:", "1: 2:", "1:two 2:", "1: 2:", "1:three 2:"}));
    EXPECT_EQ(RowBreaks(xml), (std::vector<int>{2, 4}));
    EXPECT_EQ(Count(xml, "<Row ss:Height=\"14.53\">"), 3);
    EXPECT_EQ(Count(xml, "<Row ss:Height=\"0.36\">"), 2);
    // The first page's orientation and margins only.
    EXPECT_TRUE(Has(xml, "<PageSetup>\r\n<Layout x:Orientation=\"Landscape\"/>\r\n"
                         "<PageMargins x:Bottom=\"2.00\" x:Left=\"1.00\" x:Right=\"0.00\" "
                         "x:Top=\"0.50\"/>\r\n</PageSetup>"))
        << xml;

    // Without empty lines the breaks go, for good.
    struct Case {
        bool emptyLines, pageBreaks, breaksWritten;
    };
    for (const Case c : {Case{true, false, false}, Case{false, true, false}}) {
        SCOPED_TRACE(c.emptyLines);
        filter->SetEmptyLines(c.emptyLines);
        filter->SetExportPageBreaks(c.pageBreaks);
        xml = Export();
        EXPECT_EQ(Has(xml, "<PageBreaks"), c.breaksWritten);
        EXPECT_FALSE(filter->ExportPageBreaks());
    }
    EXPECT_EQ(Rows(xml), (std::vector<std::string>{"1:one 2:", "1:two 2:", "1:three 2:"}));
}

TEST_F(XmlExports, MergedCellsAndPicturesLeaveCellsOutAndTheNextCellCarriesItsIndex) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 100, 20, "a1");
    Memo(page, 100, 0, 100, 20, "a2");
    Memo(page, 200, 0, 100, 20, "a3");
    Picture(page, 300, 0);
    // Three columns wide, two rows high.
    Memo(page, 0, 20, 300, 40, "Big");
    Memo(page, 300, 20, 100, 20, "r1");
    Memo(page, 300, 40, 100, 20, "r2");
    const std::string xml = Export();
    EXPECT_EQ(Rows(xml),
              (std::vector<std::string>{"1:a1 2:a2 3:a3 5:", "1:Big+2v1 4:r1 5:", "4:r2 5:"}));
    EXPECT_EQ(Count(xml, "<Data "), 6);
}

TEST_F(XmlExports, CellTextStylesAndNumbers) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 100, 20, "Say \"hi\" <a> & b\r\nline\r\n2nd 3\r\n");
    TpgwMemoView* framed = Memo(page, 0, 20, 100, 20, "Framed", haBlock);
    framed->Frame()->SetTyp(ftAll);
    framed->Frame()->SetWidth(2);
    framed->Frame()->SetColor(clRed);
    framed->SetColor(clYellow);
    framed->SetVAlign(vaCenter);
    TpgwMemoView* thin = Memo(page, 0, 40, 100, 20, "Thin", haRight);
    thin->Frame()->SetTyp(FrameSide(ftBottom) | FrameSide(ftLeft));
    thin->Frame()->SetWidth(1);
    thin->Font()->SetStyle({fsBold, fsItalic, fsUnderline});
    thin->Font()->SetName("Courier & Co");
    struct Number {
        const char* text;
        const char* format;
        double top;
    };
    for (const Number n : {Number{"1,234.50", "%2.2f", 60}, Number{"7", "%2.2n", 80}}) {
        TpgwMemoView* memo = Memo(page, 0, n.top, 100, 20, n.text);
        memo->DisplayFormat()->SetKind(fkNumeric);
        memo->DisplayFormat()->SetFormatStr(n.format);
    }
    std::string xml = Export();

    EXPECT_EQ(DataOf(xml, "Say &quot;hi&quot; &lt;a&gt; &amp; b&#10;line&#10;&#50;nd 3"),
              "String Say &quot;hi&quot; &lt;a&gt; &amp; b&#10;line&#10;&#50;nd 3")
        << xml;
    EXPECT_EQ(DataOf(xml, "1234.50"), "Number 1234.50");
    EXPECT_EQ(StyleOf(xml, "Framed"),
              "<Style ss:ID=\"s1\">\r\n"
              "<Font ss:FontName=\"Arial\" ss:Size=\"10\" ss:Color=\"#000000\"/>\r\n"
              "<Interior ss:Color=\"#FFFF00\" ss:Pattern=\"Solid\"/>\r\n"
              "<Alignment ss:Horizontal=\"Justify\" ss:Vertical=\"Center\" ss:WrapText=\"1\"/>\r\n"
              "<Borders>\r\n"
              "<Border ss:Position=\"Left\" ss:LineStyle=\"Continuous\" ss:Weight=\"3\" "
              "ss:Color=\"#FF0000\"/>\r\n"
              "<Border ss:Position=\"Right\" ss:LineStyle=\"Continuous\" ss:Weight=\"3\" "
              "ss:Color=\"#FF0000\"/>\r\n"
              "<Border ss:Position=\"Top\" ss:LineStyle=\"Continuous\" ss:Weight=\"3\" "
              "ss:Color=\"#FF0000\"/>\r\n"
              "<Border ss:Position=\"Bottom\" ss:LineStyle=\"Continuous\" ss:Weight=\"3\" "
              "ss:Color=\"#FF0000\"/>\r\n"
              "</Borders>\r\n");
    const std::string thinStyle = StyleOf(xml, "Thin");
    EXPECT_TRUE(Has(thinStyle, "<Font ss:FontName=\"Courier &amp; Co\" ss:Size=\"10\" "
                               "ss:Color=\"#000000\" ss:Bold=\"1\" ss:Italic=\"1\" "
                               "ss:Underline=\"Single\"/>"))
        << thinStyle;
    // Transparent comes out white.
    EXPECT_TRUE(Has(thinStyle, "<Interior ss:Color=\"#FFFFFF\" ss:Pattern=\"Solid\"/>"));
    EXPECT_TRUE(Has(thinStyle, "<Border ss:Position=\"Left\" ss:LineStyle=\"Continuous\" "
                               "ss:Weight=\"1\" ss:Color=\"#000000\"/>\r\n<Border "
                               "ss:Position=\"Bottom\""))
        << thinStyle;
    EXPECT_TRUE(Has(StyleOf(xml, "1234.50"), "<NumberFormat ss:Format=\"0.00\"/>"));
    EXPECT_FALSE(Has(StyleOf(xml, "7"), "<NumberFormat"));
    EXPECT_EQ(DataOf(xml, "7"), "Number 7");

    filter->SetExportStyles(false);
    xml = Export();
    EXPECT_FALSE(Has(xml, "<Styles>"));
    EXPECT_FALSE(Has(xml, "ss:StyleID"));
}

TEST_F(XmlExports, NumericMemosBecomeNumbersOnlyWhenTheyReadAsNumbers) {
    struct Case {
        const char* text;
        TpgwFormatKind kind;
        const char* decimalSeparator;
        const char* data;
    };
    const Case cases[] = {
        {"1,234.50", fkNumeric, "", "Number 1234.50"},
        {" -12.5 ", fkNumeric, ".", "Number -12.5"},
        {"1,234.50", fkText, "", "String 1,234.50"},
        {"12 kg", fkNumeric, "", "String 12 kg"},
        // The format's decimal comma is the system's thousands separator: not dropped, or the
        // value would be a hundred times too large.
        {"1234,50", fkNumeric, ",", "Number 1234.50"},
        // Made of number characters without being a number: kept as text.
        {"1-2", fkNumeric, "", "String 1-2"},
        {"--", fkNumeric, "", "String --"},
    };
    TpgwReportPage* page = NewPage();
    TpgwMemoView* memo = Memo(page, 0, 0, 100, 20, "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        memo->SetText(c.text);
        memo->DisplayFormat()->SetKind(c.kind);
        memo->DisplayFormat()->SetDecimalSeparator(c.decimalSeparator);
        const std::string xml = Export();
        const std::string expected = c.data;
        EXPECT_EQ(DataOf(xml, expected.substr(expected.find(' ') + 1)), expected) << xml;
    }
    // An empty numeric memo is an empty text cell, never an empty number.
    memo->SetText("");
    memo->DisplayFormat()->SetKind(fkNumeric);
    EXPECT_TRUE(Has(Export(), "<Data ss:Type=\"String\"></Data>"));
}

TEST(XmlExportText, EscapingCellText) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"<a & \"b\">", "&lt;a &amp; &quot;b&quot;&gt;"},
        // Digits right after a break are references until another character comes; entities
        // keep the run going.
        {"a\r\n12x3", "a&#10;&#49;&#50;x3"},
        {"x\r\n&1\r\n\r\n9", "x&#10;&amp;&#49;&#10;&#10;&#57;"},
        {"超声\r\n5", "超声&#10;&#53;"},
        // A lone line feed goes; a lone carriage return stays.
        {"x\ny\rz", "xy\rz"},
        // Characters an XML document cannot hold go too; the tab stays.
        {std::string("a\x01"
                     "b\tc\x1f",
                     6),
         "ab\tc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TpgwXMLExport::EscapeData(c.text), c.escaped) << c.escaped;

    EXPECT_TRUE(TpgwXMLExport::IsNumericText(""));
    EXPECT_TRUE(TpgwXMLExport::IsNumericText(" 1,234.50-"));
    EXPECT_FALSE(TpgwXMLExport::IsNumericText("1e5"));
    EXPECT_FALSE(TpgwXMLExport::IsNumericText("¥12"));
}

TEST(XmlExportText, NumberFormatsAndAlignment) {
    struct Format {
        const char* format;
        std::string spreadsheet;
    };
    const Format formats[] = {{"%2.2f", "0.00"},      {"%2.0f", "0"},
                              {"%g", "0.##"},         {"%2.2m", "#,##0.00"},
                              {"%2.3n", "#,##0.000"}, {"%n", "#,##0"},
                              {"%d", "#,##0.00"},     {"%2.xf", "0"},
                              {"", "#,##0.00"},       {"%.99f", "0." + std::string(30, '0')}};
    for (const Format& f : formats)
        EXPECT_EQ(TpgwXMLExport::SpreadsheetNumberFormat(f.format), f.spreadsheet) << f.format;

    struct Rotation {
        int rotation;
        const char* attribute;
    };
    const Rotation rotations[] = {{0, ""},
                                  {1, " ss:Rotate=\"1\""},
                                  {90, " ss:Rotate=\"90\""},
                                  {91, ""},
                                  {180, ""},
                                  {269, ""},
                                  {270, " ss:Rotate=\"-90\""},
                                  {300, " ss:Rotate=\"-60\""},
                                  {359, " ss:Rotate=\"-1\""}};
    TpgwIEMStyle style;
    for (const Rotation& r : rotations) {
        style.Rotation = r.rotation;
        EXPECT_EQ(TpgwXMLExport::SpreadsheetAlignment(style),
                  std::string("<Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Top\" "
                              "ss:WrapText=\"1\"") +
                      r.attribute + "/>")
            << r.rotation;
    }
    style.Rotation = 0;
    style.HAlign = haCenter;
    style.VAlign = vaBottom;
    EXPECT_EQ(TpgwXMLExport::SpreadsheetAlignment(style),
              "<Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\" ss:WrapText=\"1\"/>");
}

TEST_F(XmlExports, PrologueAndDocumentPropertiesWithTheTimeInUtc) {
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone ? zone : "";
    struct RestoreZone {
        const char* zone;
        std::string saved;
        ~RestoreZone() {
            if (zone)
                setenv("TZ", saved.c_str(), 1);
            else
                unsetenv("TZ");
            tzset();
        }
    } restoreZone{zone, savedZone};
    // Eight hours east of UTC.
    setenv("TZ", "CST-8", 1);
    tzset();

    report->ReportOptions()->SetName("Exam <1> & co");
    report->ReportOptions()->SetAuthor("Dr. \"Li\"");
    report->ReportOptions()->SetVersionMajor("1");
    report->ReportOptions()->SetVersionMinor("2");
    report->ReportOptions()->SetVersionRelease("3");
    report->ReportOptions()->SetVersionBuild("4");
    filter->SetCreator("Lumetra <x>?");
    Memo(NewPage(), 0, 0, 100, 20, "x");
    std::string xml = Export();
    EXPECT_TRUE(xml.starts_with(
        "<?xml version=\"1.0\"?>\r\n<?mso-application progid=\"Excel.Sheet\"?>\r\n"
        "<?pg-application created=\"Lumetra &lt;x&gt;?\"?>\r\n<?pg-application homesite="))
        << xml.substr(0, 300);
    EXPECT_TRUE(Has(xml, "<DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">"
                         "\r\n<Title>Exam &lt;1&gt; &amp; co</Title>\r\n"
                         "<Author>Dr. &quot;Li&quot;</Author>\r\n"
                         "<Created>2026-03-04T01:05:07Z</Created>\r\n"
                         "<Version>1.2.3.4</Version>\r\n</DocumentProperties>\r\n"))
        << xml;
    // Every line ends in CR LF.
    EXPECT_EQ(Count(xml, "\n"), Count(xml, "\r\n"));

    // Early in the morning here is the day before in UTC.
    clock.Set(2026, 1, 1, 3, 0, 0);
    xml = Export();
    EXPECT_TRUE(Has(xml, "<Created>2025-12-31T19:00:00Z</Created>")) << xml;
}

// ---- properties, registration, dialog ----------------------------------------------------------

TEST_F(XmlExports, DefaultsAndRegistration) {
    TpgwXMLExport fresh(TpgwCustomExportFilter::UnlistedTag{});
    EXPECT_TRUE(fresh.ExportStyles() && fresh.ExportPageBreaks() && fresh.ShowProgress() &&
                fresh.Wysiwyg() && fresh.Background() && fresh.EmptyLines() && fresh.ShowDialog());
    EXPECT_FALSE(fresh.OpenExcelAfterExport() || fresh.SuppressPageHeadersFooters() ||
                 fresh.OverwritePrompt());
    EXPECT_EQ(fresh.Creator(), "Pagewright");
    EXPECT_EQ(fresh.FileFilter(), "XML Excel 文件 (*.xls)|*.xls");
    EXPECT_EQ(fresh.FileExtension(), ".xls");
    EXPECT_EQ(fresh.FilterCaption(), "Excel 表格 (XML)");
    // Neither file nor stream: nothing runs.
    EXPECT_FALSE(fresh.OpenOutput());

    RegisterXMLExport();
    std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter("XML");
    ASSERT_NE(dynamic_cast<TpgwXMLExport*>(made.get()), nullptr);
    SetPropValue(*made, "OpenExcelAfterExport", Variant(true));
    SetPropValue(*made, "EmptyLines", Variant(false));
    EXPECT_TRUE(static_cast<TpgwXMLExport&>(*made).OpenExcelAfterExport());
    EXPECT_FALSE(static_cast<TpgwXMLExport&>(*made).EmptyLines());
}

class TDialogXMLExport : public TpgwXMLExport {
public:
    TDialogXMLExport() : TpgwXMLExport(UnlistedTag{}) {}
    TpgwXMLExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = TpgwXMLExport::CreateDialog();
        Dialog = static_cast<TpgwXMLExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(XmlExports, TheDialogTiesPageBreaksEmptyLinesAndHeadersToContinuous) {
    const TempDir dir;
    TDialogXMLExport xml;
    xml.SetReport(report.get());
    struct Case {
        bool emptyLines, suppress, pageBreaks; // the options before
        bool shownContinuous, shownBreaks;     // the boxes as shown
        bool continuous, breaks;               // the boxes as left
        bool exportBreaks;                     // ExportPageBreaks after; EmptyLines and
                                               // suppression follow continuous
    };
    const Case cases[] = {
        {true, false, true, false, true, false, true, true},
        {true, false, true, false, true, true, true, false},
        {false, false, true, true, false, false, true, true},
        {true, true, true, true, false, true, false, false},
        {true, false, false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        auto recorder = std::make_unique<TRecordingReporter>();
        TRecordingReporter::DialogAnswer answer;
        answer.Confirmed = true;
        answer.FileName = dir / "chosen.xls";
        recorder->QueueDialogAnswer(answer);
        TRecordingReporter* boxes = recorder.get();
        TScopedReporter scope(std::move(recorder));
        xml.SetEmptyLines(c.emptyLines);
        xml.SetSuppressPageHeadersFooters(c.suppress);
        xml.SetExportPageBreaks(c.pageBreaks);
        xml.SetOpenExcelAfterExport(true);
        Application()->QueueCall([&] {
            TpgwXMLExportDialog* d = xml.Dialog;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->Caption(), "导出到 Excel");
            EXPECT_EQ(d->OpenExcelCB->Caption(), "在导出后打开 Excel");
            EXPECT_EQ(d->ContinuousCB->Caption(), "继续");
            EXPECT_TRUE(d->OpenExcelCB->Checked());
            EXPECT_EQ(d->ContinuousCB->Checked(), c.shownContinuous);
            EXPECT_EQ(d->PageBreaksCB->Checked(), c.shownBreaks);
            d->ContinuousCB->SetChecked(c.continuous);
            d->PageBreaksCB->SetChecked(c.breaks);
            d->WCB->SetChecked(false);
            d->BackgrCB->SetChecked(false);
            d->OpenExcelCB->SetChecked(false);
            d->OkB->Click();
        });
        ASSERT_EQ(xml.AskOptions(), 1);
        EXPECT_EQ(xml.ExportPageBreaks(), c.exportBreaks);
        EXPECT_EQ(xml.EmptyLines(), !c.continuous);
        EXPECT_EQ(xml.SuppressPageHeadersFooters(), c.continuous);
        EXPECT_FALSE(xml.Wysiwyg() || xml.Background() || xml.OpenExcelAfterExport());
        EXPECT_EQ(xml.FileName(), dir / "chosen.xls");
        ASSERT_EQ(boxes->Dialogs.size(), 1u);
        EXPECT_EQ(boxes->Dialogs[0].Filter, "XML Excel 文件 (*.xls)|*.xls");
        xml.SetWysiwyg(true);
        xml.SetBackground(true);
    }

    // On behalf of another exporter: the box is hidden and opening is off.
    xml.SetSlaveMode(true);
    xml.SetOpenExcelAfterExport(true);
    Application()->QueueCall([&] {
        EXPECT_FALSE(xml.Dialog->OpenExcelCB->Visible());
        xml.Dialog->OkB->Click();
    });
    ASSERT_EQ(xml.AskOptions(), 1);
    EXPECT_FALSE(xml.OpenExcelAfterExport());
}

// ---- failures and cancelling -------------------------------------------------------------------

TEST_F(XmlExports, FailuresGoWhereTheSilentModeSaysAndLeaveNothingHalfWritten) {
    Memo(NewPage(), 0, 0, 100, 20, "written");
    const TempDir dir;
    const auto runTo = [&](const std::string& file) {
        report->Errors().Clear();
        filter->SetFileName(file);
        ASSERT_TRUE(filter->OpenOutput());
        filter->EnterPage(pages[0], 0);
        for (TpgwComponent* object : pages[0]->AllObjects())
            filter->WriteItem(object);
        filter->LeavePage(pages[0], 0);
        filter->CloseOutput();
    };
    report->EngineOptions()->SetNewSilentMode(simSilent);

    // A folder that is not there: an error, no file.
    runTo(dir / "missing/book.xls");
    EXPECT_TRUE(Has(report->Errors().Text(), "Cannot create file")) << report->Errors().Text();
    EXPECT_EQ(dir.EntryCount(), 0u);

    // A full disk: the earlier file stays as it was, and no temporary file is left.
    const std::string target = dir / "book.xls";
    TempDir::WriteAll(target, "earlier");
    SetSafeFileFailureForTesting(ENOSPC);
    struct Restore {
        ~Restore() { SetSafeFileFailureForTesting(0); }
    } restore;
    runTo(target);
    EXPECT_NE(report->Errors().Text(), "");
    EXPECT_EQ(TempDir::ReadAll(target), "earlier");
    EXPECT_EQ(dir.EntryCount(), 1u);

    auto recorder = std::make_unique<TRecordingReporter>();
    TRecordingReporter* boxes = recorder.get();
    {
        TScopedReporter scope(std::move(recorder));
        report->EngineOptions()->SetNewSilentMode(simMessageBoxes);
        runTo(target);
        EXPECT_EQ(boxes->Boxes.size(), 1u);
    }
    report->EngineOptions()->SetNewSilentMode(simReThrow);
    EXPECT_THROW(runTo(target), Exception);
    SetSafeFileFailureForTesting(0);

    // The spreadsheet program cannot be reached: said so, and the written file stays whole.
    report->EngineOptions()->SetNewSilentMode(simSilent);
    filter->SetOpenExcelAfterExport(true);
    runTo(target);
    EXPECT_TRUE(Has(report->Errors().Text(), "Excel.Application")) << report->Errors().Text();
    const std::string xml = TempDir::ReadAll(target);
    EXPECT_TRUE(Has(xml, ">written</Data>"));
    ExpectWellFormed(xml);
}

// The spreadsheet program's automation server as far as the export drives it: every call in
// one log, and at "Open" whether the file is complete by then.
class TSpreadsheetServer : public IksDispatch {
public:
    explicit TSpreadsheetServer(std::vector<std::string>& log) : log_(log) {}
    std::int32_t GetIDsOfNames(std::u16string_view name, std::uint32_t,
                               std::int32_t& dispId) override {
        names_.push_back(Utf16ToUtf8(name));
        dispId = static_cast<std::int32_t>(names_.size()) - 1;
        return S_OK;
    }
    std::int32_t Invoke(std::int32_t dispId, std::uint32_t, std::uint16_t flags,
                        TksDispParams& params, Variant* result, TksExcepInfo&) override {
        const std::string& name = names_.at(static_cast<std::size_t>(dispId));
        std::string call = name;
        if (flags == DISPATCH_PROPERTYPUT) call += params.Args.at(0).AsBool() ? "=true" : "=?";
        if (name == "Open") {
            const std::string file = VarToStr(params.Args.at(0));
            call += " " + file;
            if (TempDir::ReadAll(file).ends_with("</Workbook>\r\n")) call += " (complete)";
        }
        log_.push_back(call);
        if (name == "WorkBooks" && result) {
            books_ =
                std::make_unique<TksAutomationObject>(std::make_shared<TSpreadsheetServer>(log_));
            *result = ObjectToVariant<TObject>(books_.get());
        }
        return S_OK;
    }

private:
    std::vector<std::string>& log_;
    std::vector<std::string> names_;
    std::unique_ptr<TksAutomationObject> books_;
};

TEST_F(XmlExports, TheWrittenFileIsHandedToTheSpreadsheetProgram) {
    std::vector<std::string> log;
    int servers = 0;
    RegisterOleFactory("Excel.Application", [&]() -> std::shared_ptr<IksDispatch> {
        ++servers;
        return std::make_shared<TSpreadsheetServer>(log);
    });
    struct Unregister {
        ~Unregister() { UnregisterOleFactory("Excel.Application"); }
    } unregister;
    Memo(NewPage(), 0, 0, 100, 20, "x");
    const TempDir dir;
    filter->SetOpenExcelAfterExport(true);
    filter->SetFileName(dir / "book.xls");
    ASSERT_TRUE(filter->OpenOutput());
    filter->CloseOutput();
    EXPECT_EQ(report->Errors().Text(), "");
    EXPECT_EQ(log, (std::vector<std::string>{"Visible=true", "WorkBooks",
                                             "Open " + (dir / "book.xls") + " (complete)"}));
    // A stream is never opened.
    Export();
    EXPECT_EQ(servers, 1);
}

// Cancels its progress window at the first page boundary: the window ticks there, and the call
// queued while it opens runs at that tick.
class TCancellingXMLExport : public TpgwXMLExport {
public:
    TCancellingXMLExport() : TpgwXMLExport(UnlistedTag{}) {}

protected:
    std::unique_ptr<TpgwProgress> CreateProgress() override {
        std::unique_ptr<TpgwProgress> progress = TpgwXMLExport::CreateProgress();
        TpgwProgress* window = progress.get();
        Application()->QueueCall([window] {
            EXPECT_EQ(window->Position(), 0);
            Application()->QueueCall([window] {
                EXPECT_EQ(window->Position(), 1);
                window->SetCancelled(true);
            });
        });
        return progress;
    }
};

TEST_F(XmlExports, CancellingEndsTheRowsAndTheWorkbookStaysWhole) {
    ThreePages();
    TCancellingXMLExport cancelling;
    cancelling.SetReport(report.get());
    cancelling.SetShowProgress(true);
    const std::string xml = Run(cancelling);
    ExpectWellFormed(xml);
    // The first page and the row where the second begins, left empty.
    EXPECT_EQ(Rows(xml), (std::vector<std::string>{"1:one 2:", ""}));
    EXPECT_EQ(RowBreaks(xml), (std::vector<int>{2}));
    EXPECT_TRUE(xml.ends_with("</PageBreaks>\r\n</Worksheet>\r\n</Workbook>\r\n"));
}

// ---- an independent reader ---------------------------------------------------------------------

// The fixture through the driver, as LibreOffice reads it: every memo's text, numbers as
// numbers, and the merged cells of the memos that span several columns.
TEST_F(XmlExports, LibreOfficeReadsTheFixture) {
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(
        report->LoadFromFile(std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3", false))
        << report->Errors().Text();
    report->SetShowProgress(false);
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    const TempDir dir;
    filter->SetShowDialog(false);
    filter->SetShowProgress(true);
    filter->SetFileName(dir / "fixture.xls");
    ASSERT_TRUE(report->ExportTo(filter.get())) << report->Errors().Text();
    EXPECT_EQ(report->Errors().Text(), "");
    const std::string xml = TempDir::ReadAll(dir / "fixture.xls");
    ExpectWellFormed(xml);
    EXPECT_EQ(RowBreaks(xml).size(), 2u);
    EXPECT_EQ(DataOf(xml, "3703.50"), "Number 3703.50");

    if (!HaveTool("soffice") || !HaveTool("unzip"))
        GTEST_SKIP() << "soffice or unzip is missing: scripts/setup installs "
                        "libreoffice-calc-nogui and unzip";
    const std::string soffice = "cd '" + dir.Path() + "' && soffice -env:UserInstallation=file://" +
                                dir.Path() +
                                "/profile --headless --infilter=\"Calc MS Excel 2003 "
                                "XML\" --convert-to ";
    int status = -1;
    // Comma, quote, UTF-8, and cells as their values rather than as shown.
    std::string log = RunTool(
        soffice + "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false' fixture.xls",
        &status);
    ASSERT_EQ(status, 0) << log;
    const std::string csv = TempDir::ReadAll(dir / "fixture.csv");
    for (const char* expected :
         {"检查报告 Export fixture", "Page 1 of 3", "Page 3 of 3", "Left 1", "Left 3", "Center",
          "Right", "Block text that wraps", "Shadow", "Bold H2O", "腹部超声：肝脏大小正常",
          "\"Say \"\"hi\"\" <a> & b; semi\"", "to the top", "Footer"})
        EXPECT_TRUE(Has(csv, expected)) << expected << "\n" << csv;
    // Numbers as the numbers they are: their text would keep its two decimals.
    for (const char* number : {",1234.5,", ",2469,", ",3703.5,"})
        EXPECT_TRUE(Has(csv, number)) << number << "\n" << csv;

    log = RunTool(soffice + "ods fixture.xls", &status);
    ASSERT_EQ(status, 0) << log;
    const std::string content = RunTool("unzip -p '" + (dir / "fixture.ods") + "' content.xml");
    EXPECT_TRUE(Has(content, "office:value-type=\"float\" office:value=\"3703.5\""));
    EXPECT_GT(Count(content, "table:number-columns-spanned=\""), 3) << content.substr(0, 3000);
    EXPECT_GT(Count(content, "table:number-rows-spanned=\""), 0);
}

} // namespace
