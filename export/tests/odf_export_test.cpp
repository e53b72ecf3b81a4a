// The OpenDocument exports: packages read back by unzip, xmllint and python's XML parser (the
// table as rows of cells), the table's edge cases (spans, page breaks, numbers, an empty run,
// continuous output, a cancelled run), failures through the silent mode without a package
// folder left behind, the options dialog, and what LibreOffice shows of the fixture.

#include "export/odf_export.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/tests/modal_steps.h"
#include "export/export_formats.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/small_windows.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

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

// The table as python's XML parser reads it, one line per row: "break" for a page-break row,
// else its cells joined by "|": "." an empty cell, "^" a covered one, "pic" a picture, "[text]"
// a cell with text (lines joined by "/"), then "*N" for N spanned columns and "=float" for a
// number. The script fails when a cell's office:value is not what its paragraph shows.
constexpr const char* kTableScript = R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
T = '{urn:oasis:names:tc:opendocument:xmlns:table:1.0}'
O = '{urn:oasis:names:tc:opendocument:xmlns:office:1.0}'
X = '{urn:oasis:names:tc:opendocument:xmlns:text:1.0}'
D = '{urn:oasis:names:tc:opendocument:xmlns:drawing:1.0}'
root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('content.xml'))
for row in root.iter(T + 'table-row'):
    if row.get(T + 'style-name') == 'ro_breaked':
        print('break')
        continue
    cells = []
    for c in row:
        if c.tag == T + 'covered-table-cell':
            cells.append('^')
            continue
        if c.find('.//' + D + 'frame') is not None:
            cells.append('pic')
            continue
        paras = [p for p in c.iter(X + 'p') if p.get(X + 'style-name') != 'pb']
        value = c.get(O + 'value')
        if not paras and value is None:
            cells.append('.')
            continue
        text = '\n'.join(''.join(p.itertext()) for p in paras)
        # A line end in an attribute is kept as a reference; in content it reads as LF.
        assert value.replace('\r', '\n') == text, (value, text)
        cell = '[' + text.replace('\n', '/') + ']'
        if c.get(T + 'number-columns-spanned'):
            cell += '*' + c.get(T + 'number-columns-spanned')
        if c.get(O + 'value-type') == 'float':
            cell += '=float'
        cells.append(cell)
    print('|'.join(cells))
)PY";

class OdfExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        clock.Set(2026, 3, 4, 9, 5, 7);
        ods = std::make_unique<TpgwODSExport>(TpgwCustomExportFilter::UnlistedTag{});
        odt = std::make_unique<TpgwODTExport>(TpgwCustomExportFilter::UnlistedTag{});
        for (TpgwODFExport* f :
             {static_cast<TpgwODFExport*>(ods.get()), static_cast<TpgwODFExport*>(odt.get())}) {
            f->SetShowProgress(false);
            f->SetReport(report.get());
        }
        TempDir::WriteAll(dir / "table.py", kTableScript);
    }
    void TearDown() override {
        ods.reset();
        odt.reset();
        PageExportFixture::TearDown();
    }
    bool HaveReaders() const {
        return HaveTool("unzip") && HaveTool("xmllint") && HaveTool("python3");
    }
    // The package of a run, kept in the test's folder under name.
    std::string Package(TpgwODFExport& filter, const std::string& name) {
        const std::string file = dir / name;
        TempDir::WriteAll(file, Run(filter));
        return file;
    }
    std::string Part(const std::string& package, const std::string& part) {
        return RunTool("unzip -p '" + package + "' '" + part + "'");
    }
    std::string Table(const std::string& package) {
        int status = -1;
        const std::string rows =
            RunTool("python3 '" + (dir / "table.py") + "' '" + package + "'", &status);
        EXPECT_EQ(status, 0) << rows;
        return rows;
    }
    // What every package keeps: a sound archive whose first entry is "mimetype", stored, and
    // XML parts that parse.
    void ExpectSound(const std::string& package, const std::string& type) {
        int status = -1;
        const std::string log = RunTool("unzip -t '" + package + "'", &status);
        EXPECT_EQ(status, 0) << log;
        const std::string bytes = TempDir::ReadAll(package);
        ASSERT_GT(bytes.size(), 38u);
        EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
        EXPECT_EQ(bytes[8], 0) << "mimetype is deflated";
        const std::string mimetype = "application/vnd.oasis.opendocument." + type;
        EXPECT_EQ(bytes.substr(30, 8), "mimetype");
        EXPECT_EQ(bytes.substr(38, mimetype.size()), mimetype);
        for (const char* part :
             {"content.xml", "styles.xml", "meta.xml", "META-INF/manifest.xml"}) {
            const std::string lint =
                RunTool("unzip -p '" + package + "' '" + part + "' | xmllint --noout -", &status);
            EXPECT_EQ(status, 0) << part << "\n" << lint;
        }
    }
    TpgwPictureView* Picture(TpgwReportPage* page, double left, double top) {
        auto* view = new TpgwPictureView(page);
        view->SetParent(page);
        view->SetBounds(left, top, 40, 30);
        TPicture picture;
        picture.Bitmap().SetSize(20, 15);
        view->SetPicture(&picture);
        return view;
    }
    TpgwMemoView* Number(TpgwReportPage* page, double top, const std::string& text,
                         const std::string& separator) {
        TpgwMemoView* memo = Memo(page, 0, top, 300, 20, text);
        memo->DisplayFormat()->SetKind(fkNumeric);
        memo->DisplayFormat()->SetDecimalSeparator(separator);
        return memo;
    }

    TempDir dir;
    FixedExportClock clock;
    std::unique_ptr<TpgwODSExport> ods;
    std::unique_ptr<TpgwODTExport> odt;
};

TEST_F(OdfExports, PackagesAreSoundAndTheTextDocumentHoldsItsTableInItsText) {
    if (!HaveReaders()) GTEST_SKIP() << "unzip, xmllint or python3 is missing";
    TpgwReportPage* page = NewPage();
    page->SetLeftMargin(10);
    page->SetTopMargin(12.5);
    Memo(page, 0, 0, 400, 40, "Say \"hi\" <a> & b\r\n腹部超声 😀\x01");
    Picture(page, 0, 50);
    ods->SetCreator("Dr. <Li> & co");
    odt->SetExportEMF(false);

    struct Case {
        TpgwODFExport* filter;
        const char* type;
        const char* body;
        const char* other;
        const char* picture;
    };
    for (const Case& c :
         {Case{ods.get(), "spreadsheet", "<office:spreadsheet>", "<office:text>",
               "Pictures/pic1.emf"},
          Case{odt.get(), "text", "<office:text>", "<office:spreadsheet>", "Pictures/pic1.bmp"}}) {
        SCOPED_TRACE(c.type);
        const std::string package = Package(*c.filter, std::string(c.type) + ".zip");
        ExpectSound(package, c.type);
        const std::string content = Part(package, "content.xml");
        EXPECT_TRUE(Has(content, c.body));
        EXPECT_FALSE(Has(content, c.other));
        // The text keeps its markup characters, its Chinese and the character beyond the
        // basic plane; the control character XML cannot carry is left out.
        EXPECT_EQ(Table(package), "[Say \"hi\" <a> & b/腹部超声 😀]*2|^|.\n.|.|.\npic|.|.\n");
        EXPECT_TRUE(Has(content, "xlink:href=\"" + std::string(c.picture) + "\""));
        // Indented as the XML document writes: two blanks a level, CR LF.
        EXPECT_TRUE(Has(content, "\r\n  <office:scripts/>\r\n"));

        const std::string listing = RunTool("unzip -Z1 '" + package + "'");
        EXPECT_EQ(listing, "mimetype\ncontent.xml\nMETA-INF/manifest.xml\nmeta.xml\n" +
                               std::string(c.picture) + "\nstyles.xml\nThumbnails/thumbnail.bmp\n");
        const std::string manifest = Part(package, "META-INF/manifest.xml");
        EXPECT_TRUE(Has(manifest, "manifest:full-path=\"" + std::string(c.picture) + "\""));
        EXPECT_FALSE(Has(manifest, "thumbnail"));
        EXPECT_TRUE(Has(manifest, "manifest:media-type=\"application/vnd.oasis.opendocument." +
                                      std::string(c.type) + "\" manifest:full-path=\"/\""));

        const std::string styles = Part(package, "styles.xml");
        EXPECT_TRUE(Has(styles, "fo:page-width=\"21.0cm\" fo:page-height=\"29.7cm\" "
                                "fo:margin-top=\"1.250cm\""))
            << styles;
        EXPECT_TRUE(Has(styles, "fo:margin-left=\"1.000cm\""));
    }
    const std::string meta = Part(dir / "spreadsheet.zip", "meta.xml");
    EXPECT_TRUE(Has(meta, "<meta:initial-creator>Dr. &lt;Li&gt; &amp; co</meta:initial-creator>"));
    EXPECT_TRUE(Has(meta, "<meta:creation-date>2026-03-04T09:05:07</meta:creation-date>"));
    EXPECT_TRUE(Has(meta, "/Pagewright/build:4.8.5</meta:generator>"));
    // Only the text document's cells carry paragraph styles.
    EXPECT_TRUE(Has(Part(dir / "text.zip", "content.xml"), "<text:p text:style-name=\"p0\">"));
    EXPECT_FALSE(Has(Part(dir / "spreadsheet.zip", "content.xml"), "text:style-name"));
}

TEST_F(OdfExports, SpansPageBreaksAndNumbers) {
    if (!HaveReaders()) GTEST_SKIP() << "unzip, xmllint or python3 is missing";
    // One memo over three columns; two pages.
    TpgwReportPage* first = NewPage();
    Memo(first, 0, 0, 300, 20, "wide");
    Memo(first, 0, 30, 100, 20, "one");
    Memo(first, 100, 30, 100, 20, "two");
    Memo(first, 200, 30, 100, 20, "three");
    TpgwReportPage* second = NewPage();
    Memo(second, 0, 0, 300, 20, "next page");
    for (TpgwODFExport* f :
         {static_cast<TpgwODFExport*>(ods.get()), static_cast<TpgwODFExport*>(odt.get())}) {
        SCOPED_TRACE(f->DocumentType());
        const std::string package = Package(*f, f->DocumentType() + ".zip");
        ExpectSound(package, f->DocumentType());
        EXPECT_EQ(Table(package),
                  "[wide]*3|^|^|.\n.|.|.|.\n[one]|[two]|[three]|.\nbreak\n[next page]*3|^|^|.\n");
    }
    // Without page breaks, and without empty lines whatever the page-break setting.
    ods->SetExportPageBreaks(false);
    EXPECT_EQ(Table(Package(*ods, "no-breaks.ods")),
              "[wide]*3|^|^|.\n.|.|.|.\n[one]|[two]|[three]|.\n[next page]*3|^|^|.\n");
    ods->SetExportPageBreaks(true);
    ods->SetEmptyLines(false);
    EXPECT_EQ(Table(Package(*ods, "continuous.ods")),
              "[wide]*3|^|^|.\n[one]|[two]|[three]|.\n[next page]*3|^|^|.\n");
    EXPECT_FALSE(ods->ExportPageBreaks());

    // Numbers: the digits, minus and the decimal separator as "."; what is no number stays text.
    pages.clear();
    TpgwReportPage* numbers = NewPage();
    Number(numbers, 0, "1,234.50元", ".");
    Number(numbers, 20, "1.234,50", ",");
    Number(numbers, 40, "-7", "");
    Number(numbers, 60, "n/a", ".");
    Number(numbers, 80, "1.2.3", ".");
    Memo(numbers, 0, 100, 300, 20, "1234");
    EXPECT_EQ(Table(Package(*odt, "numbers.odt")),
              "[1234.50]=float|.\n[1234.50]=float|.\n[-7]=float|.\n[n/a]|.\n[1.2.3]|.\n"
              "[1234]|.\n");
}

TEST_F(OdfExports, EmptyRunBackgroundAndCancelledRun) {
    if (!HaveReaders()) GTEST_SKIP() << "unzip, xmllint or python3 is missing";
    // No page: a whole package with an empty table and a page of 0.
    const std::string empty = Package(*ods, "empty.ods");
    ExpectSound(empty, "spreadsheet");
    EXPECT_EQ(Table(empty), "");
    EXPECT_TRUE(Has(Part(empty, "styles.xml"), "fo:page-width=\"0.0cm\""));
    EXPECT_TRUE(Has(Part(empty, "content.xml"), "<table:table table:name=\"Table\""));

    // The page background shows with empty lines only.
    TpgwReportPage* page = NewPage();
    auto* background = new TpgwPictureView(page);
    background->SetParent(page);
    background->SetName("_pagebackground");
    background->SetBounds(0, 0, 300, 100);
    background->SetColor(0x00FF00);
    Memo(page, 0, 0, 100, 20, "on it");
    EXPECT_TRUE(Has(Part(Package(*ods, "background.ods"), "content.xml"),
                    "fo:background-color=\"#00FF00\""));
    ods->SetEmptyLines(false);
    EXPECT_FALSE(Has(Part(Package(*ods, "plain.ods"), "content.xml"), "#00FF00"));
    ods->SetEmptyLines(true);

    // Cancelled while the rows are written: shorter, and still whole.
    pages.clear();
    TpgwReportPage* rows = NewPage();
    for (int i = 0; i < 30; ++i)
        Memo(rows, 0, i * 20, 100, 20, "row " + std::to_string(i));
    const int full = Count(Table(Package(*ods, "full.ods")), "\n");
    ods->SetShowProgress(true);
    auto done = std::make_shared<bool>(false);
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [filter = ods.get(), done, weak = std::weak_ptr(watch)] {
        if (*done) return;
        if (TpgwProgress* p = filter->Progress(); p && p->Position() >= 5) {
            p->SetCancelled(true);
            return;
        }
        if (auto again = weak.lock()) Application()->QueueCall(*again);
    };
    Application()->QueueCall(*watch);
    const std::string cancelled = Package(*ods, "cancelled.ods");
    *done = true;
    ExpectSound(cancelled, "spreadsheet");
    const int left = Count(Table(cancelled), "\n");
    EXPECT_GE(left, 1);
    EXPECT_LT(left, full);
}

TEST_F(OdfExports, FailuresGoThroughTheSilentModeAndLeaveNoPackageFolder) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 100, 20, "kept out");
    const TempDir temp;
    ScopedEnv tmpdir("TMPDIR", temp.Path());
    const std::string target = dir / "kept.ods";

    // Runs the filter to its file; the report's errors afterwards.
    const auto run = [&](const std::string& fileName) {
        report->Errors().Clear();
        TempDir::WriteAll(target, "earlier");
        ods->SetFileName(fileName);
        EXPECT_TRUE(ods->OpenOutput());
        ods->EnterPage(page, 0);
        for (TpgwComponent* object : page->AllObjects())
            ods->WriteItem(object);
        ods->LeavePage(page, 0);
        ods->CloseOutput();
        return report->Errors().Text();
    };
    report->EngineOptions()->SetNewSilentMode(simSilent);
    struct Case {
        const char* what;
        std::function<void()> arrange, undo;
        std::string file;
        const char* error;
    };
    const Case cases[] = {
        {"an unwritable target", [] {}, [] {}, dir / "no-such-folder/x.ods", "Cannot create file"},
        {"a temporary folder that is a file", [&] { tmpdir.Set(dir / "table.py"); },
         [&] { tmpdir.Set(temp.Path()); }, target, "Cannot create file"},
        {"a full disk", [] { SetSafeFileFailureForTesting(ENOSPC); },
         [] { SetSafeFileFailureForTesting(0); }, target, "No space left"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        const std::string errors = run(c.file);
        c.undo();
        EXPECT_TRUE(Has(errors, c.error)) << errors;
        EXPECT_EQ(TempDir::ReadAll(target), "earlier");
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
    // The same failure as an error box, and raised.
    auto recorder = std::make_unique<TRecordingReporter>();
    TRecordingReporter* boxes = recorder.get();
    {
        TScopedReporter scope(std::move(recorder));
        report->EngineOptions()->SetNewSilentMode(simMessageBoxes);
        EXPECT_EQ(run(dir / "no-such-folder/x.ods"), "");
        ASSERT_EQ(boxes->Boxes.size(), 1u);
        EXPECT_TRUE(Has(boxes->Boxes[0].Text, "Cannot create file"));
    }
    report->EngineOptions()->SetNewSilentMode(simReThrow);
    EXPECT_THROW(run(dir / "no-such-folder/x.ods"), Exception);

    // A failed run writes nothing at all.
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ods->SetFileName(target);
    ASSERT_TRUE(ods->OpenOutput());
    ods->SetRunFailed(true);
    ods->CloseOutput();
    ods->SetRunFailed(false);
    EXPECT_EQ(TempDir::ReadAll(target), "earlier");
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(OdfExports, DefaultsRegistrationAndTheOutputFile) {
    TpgwODSExport fresh(TpgwCustomExportFilter::UnlistedTag{});
    EXPECT_TRUE(fresh.ExportEMF() && fresh.ExportStyles() && fresh.ExportPageBreaks() &&
                fresh.Wysiwyg() && fresh.Background() && fresh.EmptyLines() && fresh.ShowDialog() &&
                fresh.ShowProgress());
    EXPECT_FALSE(fresh.OpenAfterExport() || fresh.SuppressPageHeadersFooters() ||
                 fresh.OverwritePrompt());
    EXPECT_EQ(fresh.Creator(), "Pagewright");
    EXPECT_EQ(fresh.FileFilter(), "打开电子表格文档文件 (*.ods)|*.ods");
    EXPECT_EQ(fresh.FileExtension(), ".ods");
    EXPECT_EQ(fresh.FilterCaption(), "打开电子表格文档");
    EXPECT_EQ(odt->FileFilter(), "打开文本文件文档 (*.odt)|*.odt");
    EXPECT_EQ(odt->FileExtension(), ".odt");
    EXPECT_EQ(odt->FilterCaption(), "打开文本文档");
    EXPECT_EQ(TpgwODFExport(TpgwCustomExportFilter::UnlistedTag{}).FilterCaption(), "");

    RegisterODFExports();
    std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter("ODS");
    ASSERT_NE(dynamic_cast<TpgwODSExport*>(made.get()), nullptr);
    EXPECT_NE(dynamic_cast<TpgwODTExport*>(MakeExportFilter("odt").get()), nullptr);
    SetPropValue(*made, "EmptyLines", Variant(false));
    SetPropValue(*made, "Creator", Variant(std::string("Lab")));
    EXPECT_FALSE(static_cast<TpgwODSExport&>(*made).EmptyLines());
    EXPECT_EQ(static_cast<TpgwODSExport&>(*made).Creator(), "Lab");

    // Neither file nor stream: nothing runs. In slave mode the name is made in the
    // temporary folder, with nothing left of its reservation.
    EXPECT_FALSE(fresh.OpenOutput());
    fresh.SetSlaveMode(true);
    ASSERT_TRUE(fresh.OpenOutput());
    EXPECT_EQ(ExtractFileExt(fresh.FileName()), ".ods");
    EXPECT_EQ(ExtractFilePath(fresh.FileName()), IncludeTrailingPathDelimiter(GetTempDir()));
    EXPECT_FALSE(std::filesystem::exists(ChangeFileExt(fresh.FileName(), "")));
    fresh.SetRunFailed(true);
    fresh.CloseOutput();
    EXPECT_FALSE(std::filesystem::exists(fresh.FileName()));

    // A bare name goes into DefaultPath; the finished file is opened when asked.
    const OpenedFiles opened;
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 100, 20, "written");
    odt->SetDefaultPath(dir.Path());
    odt->SetFileName("bare.odt");
    odt->SetOpenAfterExport(true);
    ASSERT_TRUE(odt->OpenOutput());
    odt->EnterPage(page, 0);
    for (TpgwComponent* object : page->AllObjects())
        odt->WriteItem(object);
    odt->LeavePage(page, 0);
    odt->CloseOutput();
    EXPECT_EQ(opened.names, std::vector<std::string>{dir / "bare.odt"});
    EXPECT_EQ(TempDir::ReadAll(dir / "bare.odt").substr(30, 8), "mimetype");
}

// ---- the options dialog ------------------------------------------------------------------------

template <class Base> class TDialogExport : public Base {
public:
    TDialogExport() : Base(TpgwCustomExportFilter::UnlistedTag{}) {}
    TpgwODFExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = Base::CreateDialog();
        Dialog = static_cast<TpgwODFExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(OdfExports, TheDialogTurnsContinuousIntoNoEmptyLinesAndNoPageBreaks) {
    TDialogExport<TpgwODSExport> filter;
    filter.SetReport(report.get());
    struct Case {
        bool emptyLines, suppress, pageBreaks;       // before
        bool shownContinuous, shownBreaks;           // as the dialog shows them
        bool continuous, breaks;                     // what the user leaves checked
        bool afterEmpty, afterSuppress, afterBreaks; // what the filter takes
    };
    const Case cases[] = {
        {true, false, true, false, true, false, true, true, false, true},
        {true, false, true, false, true, true, true, false, true, false},
        {false, false, true, true, false, false, false, true, false, false},
        {true, true, true, true, false, false, true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.emptyLines << c.suppress << c.continuous << c.breaks);
        filter.SetEmptyLines(c.emptyLines);
        filter.SetSuppressPageHeadersFooters(c.suppress);
        filter.SetExportPageBreaks(c.pageBreaks);
        filter.SetBackground(true);
        auto recorder = std::make_unique<TRecordingReporter>();
        TRecordingReporter::DialogAnswer answer;
        answer.Confirmed = true;
        answer.FileName = dir / "chosen.ods";
        recorder->QueueDialogAnswer(answer);
        TScopedReporter scope(std::move(recorder));
        Application()->QueueCall([&] {
            TpgwODFExportDialog* d = filter.Dialog;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->Caption(), "打开电子表格文档");
            EXPECT_EQ(d->WCB->Caption(), "所见即所得");
            EXPECT_EQ(d->ContinuousCB->Caption(), "继续");
            EXPECT_EQ(d->BackgrCB->Caption(), "背景");
            EXPECT_EQ(d->ContinuousCB->Checked(), c.shownContinuous);
            EXPECT_EQ(d->PageBreaksCB->Checked(), c.shownBreaks);
            EXPECT_TRUE(d->BackgrCB->Checked());
            d->ContinuousCB->SetChecked(c.continuous);
            d->PageBreaksCB->SetChecked(c.breaks);
            d->BackgrCB->SetChecked(false);
            d->OkB->Click();
        });
        EXPECT_EQ(filter.AskOptions(), 1);
        EXPECT_EQ(filter.EmptyLines(), c.afterEmpty);
        EXPECT_EQ(filter.SuppressPageHeadersFooters(), c.afterSuppress);
        EXPECT_EQ(filter.ExportPageBreaks(), c.afterBreaks);
        EXPECT_FALSE(filter.Background());
        EXPECT_EQ(filter.FileName(), dir / "chosen.ods");
    }
    // The text document's dialog is titled as its own; cancelled, nothing changes.
    TDialogExport<TpgwODTExport> text;
    text.SetReport(report.get());
    Application()->QueueCall([&] {
        EXPECT_EQ(text.Dialog->Caption(), "打开文本文档");
        text.Dialog->ContinuousCB->SetChecked(true);
        text.Dialog->CancelB->Click();
    });
    EXPECT_EQ(text.AskOptions(), 2);
    EXPECT_TRUE(text.EmptyLines());
}

// ---- an independent reader ---------------------------------------------------------------------

// The fixture as LibreOffice reads it: the spreadsheet as CSV with every memo's text and the
// numbers as values, the text document as plain text, Chinese included, and with its pictures.
// One test: soffice is slow to start.
TEST_F(OdfExports, LibreOfficeReadsTheFixtureTextsAndValues) {
    if (!HaveTool("soffice") || !HaveReaders())
        GTEST_SKIP() << "soffice, unzip, xmllint or python3 is missing: scripts/setup installs "
                        "libreoffice-calc-nogui, libreoffice-writer-nogui and the readers";
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(
        report->LoadFromFile(std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3", false))
        << report->Errors().Text();
    report->SetShowProgress(false);
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    for (TpgwODFExport* f :
         {static_cast<TpgwODFExport*>(ods.get()), static_cast<TpgwODFExport*>(odt.get())}) {
        f->SetShowDialog(false);
        f->SetFileName(dir / ("fixture" + f->FileExtension()));
        ASSERT_TRUE(report->ExportTo(f)) << report->Errors().Text();
        ExpectSound(f->FileName(), f->DocumentType());
    }
    // Two page breaks for three pages.
    EXPECT_EQ(Count(Table(dir / "fixture.ods"), "break\n"), 2);

    const std::string soffice = "cd '" + dir.Path() + "' && soffice -env:UserInstallation=file://" +
                                dir.Path() + "/profile --headless --convert-to ";
    int status = -1;
    std::string log =
        RunTool(soffice + "'csv:Text - txt - csv (StarCalc):44,34,76' fixture.ods", &status);
    ASSERT_EQ(status, 0) << log;
    log = RunTool(soffice + "txt:Text fixture.odt", &status);
    ASSERT_EQ(status, 0) << log;
    const std::string csv = TempDir::ReadAll(dir / "fixture.csv");
    const std::string txt = TempDir::ReadAll(dir / "fixture.txt");
    for (const char* expected :
         {"检查报告 Export fixture", "Page 1 of 3", "Page 3 of 3", "Left 1", "Left 3", "Center",
          "Right", "Shadow", "Bold H2O", "腹部超声：肝脏大小正常", "<a> & b; semi", "to the top",
          "Footer"}) {
        EXPECT_TRUE(Has(csv, expected)) << expected << "\n" << csv;
        EXPECT_TRUE(Has(txt, expected)) << expected << "\n" << txt;
    }
    // The pictures (the hatched memo and the picture view of each page) show in the text
    // document too.
    if (HaveTool("pdfimages")) {
        log = RunTool(soffice + "pdf fixture.odt", &status);
        ASSERT_EQ(status, 0) << log;
        const std::string images = RunTool("pdfimages -list '" + (dir / "fixture.pdf") + "'");
        static const std::regex image(R"(\n\s*\d+\s+\d+\s+image\s)");
        EXPECT_EQ(std::distance(std::sregex_iterator(images.begin(), images.end(), image),
                                std::sregex_iterator()),
                  6)
            << images;
    }
    // The numbers arrive as values, shown in the spreadsheet's own way, not as the memo's text.
    for (const char* value : {"1234\\.5", "2469", "3703\\.5"})
        EXPECT_TRUE(
            std::regex_search(csv, std::regex(std::string("(^|,)") + value + "(,|\r?\n|$)")))
            << value << "\n"
            << csv;
}

} // namespace

// The spreadsheet and document formats from the command line, in one run: each writes its
// file, the packages whole.
TEST(SpreadsheetFormatsThroughPgwprep, EachFormatWritesItsFile) {
    const TempDir dir;
    const std::string data = std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3";
    const PgwprepRun r = RunPgwprep({data, "--export", "ods", dir / "f.ods", "--export", "odt",
                                     dir / "f.odt", "--export", "xml", dir / "f.xls"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const char* package : {"f.ods", "f.odt"})
        EXPECT_EQ(TempDir::ReadAll(dir / package).substr(0, 4), std::string("PK\x03\x04", 4))
            << package;
    EXPECT_EQ(TempDir::ReadAll(dir / "f.xls").substr(0, 5), "<?xml");
}
