// Rich views in a prepared report: a view fed by a data field and a FlowTo pair, drawn on the
// page as the reference image shows, printed to a PDF whose text readers find, and exported:
// a picture in the PDF export, plain text in the CSV.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/printers.h"
#include "export/csv_export.h"
#include "export/export_module.h"
#include "export/pdf_export.h"
#include "objects/rich_edit.h"
#include "objects/rich_view.h"
#include "objects/tests/rich_fixture.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/print/recording_print_backend.h"
#include "report/band.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/tests/golden_image.h"

namespace {

class RichReport : public RichFixture {
protected:
    void SetUp() override {
        RichFixture::SetUp();
        Table("Exams", {{{"Name", "Wang Fang"},
                         {"Findings", "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 "
                                      "\\'cb\\'ce\\'cc\\'e5;}}\\f0\\fs24 {\\b \\'b8\\'ce} "
                                      "liver normal\\par}"}}});
        TpgwReportPage* page = NewPage("Page1");
        TpgwMasterData* band = NewBand(page, "Band");
        band->SetBounds(0, 20, 700, 200);
        band->SetDataSetName("Exams");
        auto* findings = view(band, "Findings", 0, 0, 340, 60);
        findings->SetDataSetName("Exams");
        findings->SetDataField("Findings");
        auto* left = view(band, "Left", 360, 0, 160, 40);
        auto* right = view(band, "Right", 540, 0, 160, 120);
        left->SetFlowTo(right);
        LoadRtf(left, "{\\rtf1\\ansi\\fs20 Patient [<Exams.\"Name\">]\\par second line\\par "
                      "third line\\par {\\i fourth} line\\par fifth line\\par}");
        Bind("Band", "Exams");
        for (const auto& table : tables)
            report->DataSets()->Add(table.get());
    }
    TpgwRichView* view(TpgwBand* band, const std::string& name, double left, double top,
                       double width, double height) {
        auto* v = new TpgwRichView(report.get());
        v->SetParent(band);
        v->SetName(name);
        v->SetBounds(left, top, width, height);
        v->Frame()->SetTyp(ftAll);
        return v;
    }
};

TEST_F(RichReport, FieldAndFlowDrawPrintAndExport) {
    ASSERT_TRUE(Prepare()) << report->Errors().Text();
    ASSERT_EQ(PageCount(), 1);

    TRasterCanvas canvas(794, 400);
    Store().DrawPage(0, canvas, 1, 1, 0, 0);
    EXPECT_TRUE(golden::MatchesGolden(canvas.ToImage(), "rich_report_page1"));

    // Printed to a file: the text is text.
    TpgwScopedPrinters printers({"Office"});
    printers.Recorder()->SetWriteFiles(true);
    TempDir dir;
    const std::string printed = dir / "printed.pdf";
    report->PrintOptions()->SetShowDialog(false);
    report->PrintOptions()->SetOutputFileName(printed);
    ASSERT_TRUE(Store().Print());
    const std::string text = RunTool("pdftotext -enc UTF-8 '" + printed + "' -");
    for (const char* expected : {"肝 liver normal", "Patient Wang Fang", "fifth line"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;

    // Exported: the PDF holds the views as pictures, the CSV their plain text.
    TpgwPDFExport pdf(TpgwCustomExportFilter::UnlistedTag{});
    pdf.SetShowDialog(false);
    pdf.SetCompressed(false);
    pdf.SetFileName(dir / "export.pdf");
    ASSERT_TRUE(report->ExportTo(&pdf)) << report->Errors().Text();
    EXPECT_NE(TempDir::ReadAll(dir / "export.pdf").find("BI\r\n"), std::string::npos);
    TpgwCSVExport csv(TpgwCustomExportFilter::UnlistedTag{});
    csv.SetShowDialog(false);
    csv.SetFileName(dir / "export.csv");
    ASSERT_TRUE(report->ExportTo(&csv)) << report->Errors().Text();
    const std::string table = TempDir::ReadAll(dir / "export.csv");
    EXPECT_NE(table.find("liver normal"), std::string::npos) << table;
    EXPECT_EQ(table.find("\\rtf"), std::string::npos) << table;
}

TEST_F(RichReport, ATemplateKeepsItsRichTextAndFlow) {
    TempDir dir;
    const std::string file = dir / "rich.pg3";
    report->SaveToFile(file);
    const std::string xml = TempDir::ReadAll(file);
    EXPECT_NE(xml.find("PropData="), std::string::npos);

    TpgwReport loaded(nullptr);
    ASSERT_TRUE(loaded.LoadFromFile(file, false)) << loaded.Errors().Text();
    auto* left = dynamic_cast<TpgwRichView*>(loaded.FindObject("Left"));
    auto* right = dynamic_cast<TpgwRichView*>(loaded.FindObject("Right"));
    ASSERT_NE(left, nullptr);
    ASSERT_EQ(left->FlowTo(), right);
    EXPECT_EQ(left->RichEdit().Lines().Strings(0), "Patient [<Exams.\"Name\">]");
    // Empty views are stored too, and come back empty.
    auto* findings = dynamic_cast<TpgwRichView*>(loaded.FindObject("Findings"));
    ASSERT_NE(findings, nullptr);
    EXPECT_EQ(findings->RichEdit().Document().Length(), 0);
}

} // namespace
