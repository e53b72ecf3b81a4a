// The HTML export: the sets of files each option writes, read back by independent readers
// (xmllint's HTML parser, python's html.parser): every document parses cleanly, every picture
// and frame it names exists, every row of every table covers the column count, and the cell
// texts come back as written.

#include "export/html_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/preview_pages.h"
#include "engine/tests/modal_steps.h"
#include "export/export_formats.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// What python's html.parser finds in a document: one line per finding, cell texts as JSON.
constexpr const char* kReader = R"~(
import json, os, sys
from html.parser import HTMLParser
class Reader(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.cell, self.anchors, self.links = [], None, set(), []
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'table': self.tables.append([])
        elif tag == 'tr': self.tables[-1].append([])
        elif tag == 'td':
            self.close_cell()
            self.cell = {'cols': int(a.get('colspan', 1)), 'rows': int(a.get('rowspan', 1)),
                         'text': ''}
            self.tables[-1][-1].append(self.cell)
        elif tag == 'br' and self.cell is not None: self.cell['text'] += '\n'
        if tag == 'a' and 'name' in a: self.anchors.add(a['name'])
        for key in ('src', 'background', 'href'):
            if key in a: self.links.append(a[key])
    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag == 'td': self.close_cell()
    def handle_endtag(self, tag):
        if tag in ('td', 'tr', 'table'): self.close_cell()
    def handle_data(self, data):
        if self.cell is not None: self.cell['text'] += data
    def close_cell(self):
        if self.cell is not None: print('CELL ' + json.dumps(self.cell['text']))
        self.cell = None
path = sys.argv[1]
reader = Reader()
reader.feed(open(path, encoding='utf-8').read())
reader.close()
for t, rows in enumerate(reader.tables):
    width = len(rows[0]) if rows else 0
    carry = [0] * (len(rows) + 1)
    for r, cells in enumerate(rows):
        covered = carry[r] + sum(c['cols'] for c in cells)
        if covered != width: print('BADROW %d %d: %d of %d' % (t, r, covered, width))
        for c in cells:
            if r + c['rows'] > len(rows): print('BADSPAN %d %d' % (t, r))
            for below in range(r + 1, min(r + c['rows'], len(rows))): carry[below] += c['cols']
for link in reader.links:
    if link.startswith('#'):
        if link[1:] not in reader.anchors: print('BADANCHOR ' + link)
    elif not link.startswith('http'):
        target = link.split('#')[0]
        if not os.path.exists(os.path.join(os.path.dirname(path), target)):
            print('MISSING ' + link)
print('TABLES %d' % len(reader.tables))
)~";

struct ReadBack {
    std::vector<std::string> Cells; // as JSON strings
    std::vector<std::string> Problems;
    int Tables = 0;
};

ReadBack Read(const std::string& file) {
    ReadBack r;
    int status = 0;
    const std::string out =
        RunTool("python3 - '" + file + "' <<'EOF'\n" + kReader + "EOF\n", &status);
    EXPECT_EQ(status, 0) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("CELL "))
            r.Cells.push_back(line.substr(5));
        else if (line.starts_with("TABLES "))
            r.Tables = std::stoi(line.substr(7));
        else
            r.Problems.push_back(line);
    }
    return r;
}

// xmllint's HTML parser has nothing to say about the document, and python finds no row short
// of the column count and no picture, frame or link target missing. What python read.
ReadBack ExpectSound(const std::string& file) {
    SCOPED_TRACE(file);
    if (HaveTool("xmllint")) {
        int status = 0;
        const std::string out = RunTool("xmllint --html --noout '" + file + "'", &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(out, "");
    } else {
        std::printf("xmllint is not installed: %s not checked by it\n", file.c_str());
    }
    ReadBack r = Read(file);
    EXPECT_EQ(r.Problems, std::vector<std::string>{});
    return r;
}

bool HasCell(const ReadBack& r, const std::string& json) {
    for (const std::string& cell : r.Cells)
        if (cell == json) return true;
    return false;
}

class HtmlExports : public PageExportFixture {
protected:
    void SetUp() override {
        PageExportFixture::SetUp();
        report->EngineOptions()->SetNewSilentMode(simSilent);
        filter = std::make_unique<TpgwHTMLExport>(TpgwCustomExportFilter::UnlistedTag{});
        filter->SetReport(report.get());
        filter->SetShowDialog(false);
        filter->SetShowProgress(false);
    }
    void TearDown() override {
        filter.reset();
        PageExportFixture::TearDown();
    }
    // Two pages: texts that need escaping, a blank memo, a memo over two columns and one over
    // two rows, a picture, and on the first page a link to the anchor of the second.
    void TwoPages() {
        TpgwReportPage* first = NewPage();
        Memo(first, 0, 0, 100, 20, "<5 mm");
        Memo(first, 100, 0, 200, 20, "a & b");
        Memo(first, 0, 20, 100, 40, "超声检查\r\n两行");
        Memo(first, 100, 20, 100, 20, "   ");
        Memo(first, 200, 20, 100, 20, "to page 2")->SetURL("#Second");
        auto* picture = new TpgwPictureView(first);
        picture->SetParent(first);
        picture->SetBounds(100, 40, 40, 20);
        picture->SetColor(clRed);
        TpgwReportPage* second = NewPage();
        Memo(second, 0, 10, 300, 20, "second page");
        auto& store = static_cast<TpgwPreviewPages&>(*report->PreviewPages());
        store.CurPage = 1;
        store.AddAnchor("Second");
    }
    void RunToFile(const std::string& fileName) {
        filter->SetFileName(fileName);
        ASSERT_TRUE(filter->OpenOutput());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            filter->EnterPage(pages[i], static_cast<int>(i));
            for (TpgwComponent* object : pages[i]->AllObjects())
                filter->WriteItem(object);
            filter->LeavePage(pages[i], static_cast<int>(i));
        }
        filter->CloseOutput();
    }
    // Every file under the folder, relative, sorted.
    static std::set<std::string> Files(const TempDir& dir) {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
            if (entry.is_regular_file())
                files.insert(std::filesystem::relative(entry.path(), dir.Path()).string());
        return files;
    }
    std::set<std::string> Listed(const TempDir& dir) const {
        std::set<std::string> files;
        for (int i = 0; i < filter->OutputFiles()->Count(); ++i)
            files.insert(
                std::filesystem::relative(filter->OutputFiles()->Strings(i), dir.Path()).string());
        return files;
    }

    std::unique_ptr<TpgwHTMLExport> filter;
    OpenedFiles openedFiles;
    std::vector<std::string>& opened = openedFiles.names;
};

// ---- the component -----------------------------------------------------------------------------

TEST_F(HtmlExports, PropertiesAtCreationAndWhatAStoredFilterHolds) {
    RegisterHTMLExport();
    const std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter("HTML");
    auto* html = dynamic_cast<TpgwHTMLExport*>(made.get());
    ASSERT_NE(html, nullptr);
    EXPECT_EQ(html->FilterCaption(), "HTML 文件");
    EXPECT_EQ(html->FileFilter(), "HTML 文件 (*.html)|*.html");
    EXPECT_EQ(html->FileExtension(), ".html");
    ASSERT_NE(html->OutputFiles(), nullptr);
    struct Case {
        const char* name;
        const char* value;
        bool stored;
    };
    const Case cases[] = {
        {"ExportStyles", "True", false},      {"ExportPictures", "True", false},
        {"UseJpeg", "True", false},           {"UseGif", "False", false},
        {"PicsInSameFolder", "False", false}, {"FixedWidth", "True", true},
        {"Centered", "False", true},          {"Multipage", "False", false},
        {"Navigator", "False", false},        {"Background", "False", true},
        {"EmptyLines", "True", true},         {"AbsLinks", "False", false},
        {"MozillaFrames", "False", false},    {"OpenAfterExport", "False", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TPropInfo* info = GetPropInfo(*html, c.name);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(GetPropText(*html, c.name), c.value);
        EXPECT_EQ(!IsDefaultPropValue(*html, *info), c.stored);
    }
    EXPECT_EQ(html->HTMLDocumentBegin().Count(), 4);
    EXPECT_TRUE(html->HTMLDocumentBegin().Strings(3).starts_with(
        R"(<meta name="Generator" content="Pagewright 4.0 )"));
    EXPECT_EQ(html->HTMLDocumentBody().Count(), 0);
    EXPECT_EQ(html->HTMLDocumentEnd().Text(), "</body></html>\r\n");

    // The picture formats exclude each other, in whatever order a stored filter sets them.
    SetPropText(*html, "UseGif", "True");
    EXPECT_EQ(GetPropText(*html, "UseJpeg"), "False");
    SetPropText(*html, "UseJpeg", "True");
    EXPECT_EQ(GetPropText(*html, "UseGif"), "False");
}

// ---- file sets ---------------------------------------------------------------------------------

TEST_F(HtmlExports, EachOptionWritesItsFileSetAndEveryDocumentReadsBackSound) {
    TwoPages();
    struct Case {
        const char* name;
        bool multipage, navigator, sameFolder, absLinks;
        std::set<std::string> files;
        // Where the page with the link is, what the link says, and what is opened afterwards.
        const char* linkPage;
        const char* link;
        const char* opened;
    };
    // clang-format off
    const Case cases[] = {
        {"default", false, false, false, false,
         {"r.html", "r.files/img0.jpg"},
         "r.html", "#PageN2", "r.html"},
        {"multipage", true, false, false, false,
         {"r.files/1.html", "r.files/2.html", "r.files/img0.jpg"},
         "r.files/1.html", "2.html", "r.files/1.html"},
        {"navigator with multipage", true, true, false, false,
         {"r.html", "r.files/nav.html", "r.files/1.html", "r.files/2.html", "r.files/img0.jpg"},
         "r.files/1.html", "2.html", "r.html"},
        {"navigator", false, true, false, false,
         {"r.html", "r.files/nav.html", "r.files/main.html", "r.files/img0.jpg"},
         "r.files/main.html", "#PageN2", "r.html"},
        {"all in one folder", true, true, true, false,
         {"r.html", "r.nav.html", "r.1.html", "r.2.html", "r.img0.jpg"},
         "r.1.html", "r.2.html", "r.html"},
        {"absolute links", false, false, false, true,
         {"r.html", "r.files/img0.jpg"},
         "r.html", "#PageN2", "r.html"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        filter->SetMultipage(c.multipage);
        filter->SetNavigator(c.navigator);
        filter->SetPicsInSameFolder(c.sameFolder);
        filter->SetAbsLinks(c.absLinks);
        filter->SetOpenAfterExport(true);
        opened.clear();
        RunToFile(dir / "r.html");
        EXPECT_EQ(report->Errors().Text(), "");
        EXPECT_EQ(Files(dir), c.files);
        EXPECT_EQ(Listed(dir), c.files);
        EXPECT_EQ(opened, std::vector<std::string>{dir / c.opened});

        ReadBack cells;
        for (const std::string& file : c.files) {
            if (file.ends_with(".html")) {
                ReadBack r = ExpectSound(dir / file);
                if (file == c.linkPage) cells = std::move(r);
            }
            if (file.ends_with(".jpg")) {
                EXPECT_TRUE(TempDir::ReadAll(dir / file).starts_with("\xFF\xD8\xFF")) << file;
            }
        }

        const std::string page = TempDir::ReadAll(dir / c.linkPage);
        EXPECT_TRUE(Has(page, std::string("<a href=\"") + c.link + "\">to page 2</a>")) << page;
        for (const char* text : {R"("<5 mm")", R"("a & b")",
                                 R"("\u8d85\u58f0\u68c0\u67e5\n\u4e24\u884c")", R"("\u00a0")"})
            EXPECT_TRUE(HasCell(cells, text)) << text;
        const std::string picture = *std::find_if(c.files.begin(), c.files.end(),
                                                  [](auto& f) { return f.ends_with(".jpg"); });
        // Relative to the document, or absolute.
        const std::string source = c.absLinks                   ? dir / picture
                                   : c.multipage || c.navigator ? ExtractFileName(picture)
                                                                : picture;
        EXPECT_TRUE(Has(page, "<img src=\"" + source + "\"")) << page;
        // The blank memo: a non-breaking space in a cell of 1-pixel text.
        EXPECT_TRUE(Has(page, R"(style="font-size:1px">&nbsp;</td>)"));
        if (c.navigator) {
            const std::string frames = TempDir::ReadAll(dir / "r.html");
            const std::string prefix = c.sameFolder ? "r." : "r.files/";
            EXPECT_TRUE(Has(frames, "src=\"" + prefix + "nav.html\"")) << frames;
            EXPECT_TRUE(Has(frames, "src=\"" + prefix + (c.multipage ? "1.html" : "main.html")))
                << frames;
        }
    }
}

TEST_F(HtmlExports, PagesInOneDocumentBreakAndLinkByAnchorAndAStreamGetsNoFiles) {
    TwoPages();
    TpgwMemoView* turned = Memo(pages[1], 0, 40, 20, 60, "turned");
    turned->SetRotation(90);
    // A link from data: its quote must not end the attribute.
    Memo(pages[1], 100, 40, 100, 20, "query")->SetURL("http://host/?a=1&b=\"2\"");
    // A file name beside the stream: nothing may be written there, not even the rotated memo's
    // picture or a folder for it.
    const TempDir dir;
    filter->SetFileName(dir / "r.html");
    const std::string html = Run(*filter);
    EXPECT_EQ(dir.EntryCount(), 0u);
    EXPECT_EQ(filter->OutputFiles()->Count(), 0);
    EXPECT_FALSE(filter->ExportPictures());
    EXPECT_EQ(Occurrences(html, "<html>"), 1);
    EXPECT_FALSE(Has(html, "<img"));

    // The second page's table starts after its anchor, as a page break.
    EXPECT_EQ(Occurrences(html, "<table"), 2);
    EXPECT_EQ(Occurrences(html, "</table>"), 2);
    const std::size_t anchor = html.find("<a name=\"PageN2\"></a>\r\n<table width=\"");
    ASSERT_NE(anchor, std::string::npos) << html;
    EXPECT_LT(anchor, html.find(R"( class="page_break">)"));
    EXPECT_TRUE(Has(html, R"(<a href="#PageN2">to page 2</a>)"));
    EXPECT_TRUE(Has(html, R"(<a href="http://host/?a=1&amp;b=&quot;2&quot;">query</a>)"));
    EXPECT_TRUE(html.ends_with("</tr>\r\n</table>\r\n</body></html>\r\n"));

    // Without empty rows the gap between the pages goes and the last page's bottom is never
    // reached: the last table is closed all the same.
    filter->SetEmptyLines(false);
    const std::string squeezed = Run(*filter);
    EXPECT_EQ(Occurrences(squeezed, "<table"), Occurrences(squeezed, "</table>"));

    const TempDir check;
    TempDir::WriteAll(check / "stream.html", html);
    const ReadBack r = ExpectSound(check / "stream.html");
    EXPECT_EQ(r.Tables, 2);
    EXPECT_TRUE(HasCell(r, R"("second page")"));
}

// ---- styles, rows and text ---------------------------------------------------------------------

TEST_F(HtmlExports, StylesRowsAndTitleAsWritten) {
    report->ReportOptions()->SetName("Exam <1> & \"x\"");
    TpgwReportPage* page = NewPage();
    TpgwMemoView* decorated = Memo(page, 10, 0, 100, 20, "decorated");
    decorated->Font()->SetStyle(TFontStyles{fsBold, fsItalic, fsUnderline, fsStrikeOut});
    decorated->Font()->SetName("宋体");
    decorated->SetColor(clNone);
    // Its bottom half a unit below the other memo's: a last row 0.5 high, which is still the
    // page's and no reason for a page break.
    TpgwMemoView* framed = Memo(page, 110, 0, 100, 20.5, "framed", haCenter);
    framed->SetVAlign(vaCenter);
    framed->Frame()->SetTyp(FrameSide(ftLeft) | FrameSide(ftBottom));
    framed->Frame()->SetWidth(2);
    framed->Frame()->SetColor(clBlue);
    framed->SetColor(clYellow);
    const std::string html = Run(*filter);

    EXPECT_TRUE(Has(html, "<title>Exam &lt;1&gt; &amp; &quot;x&quot;</title>")) << html;
    EXPECT_TRUE(Has(html, " font-family: 宋体;\r\n font-size: 13px;\r\n color: #000000; "
                          "font-weight: bold; font-style: italic; text-decoration: underline "
                          "line-through;\r\n background-color: transparent;\r\n"))
        << html;
    EXPECT_TRUE(Has(html, " background-color: #FFFF00;\r\n border-color:#0000FF; border-style: "
                          "solid;\r\n border-left-width: 2;\r\n border-right-width: 0px;\r\n "
                          "border-top-width: 0px;\r\n border-bottom-width: 2;\r\n text-align: "
                          "Center; vertical-align: Middle;\r\n}\r\n"))
        << html;
    EXPECT_TRUE(Has(html, "<tr style=\"height:19px\">\r\n<td class=\"s0\">decorated</td><td "
                          "rowspan=\"2\" class=\"s1\">framed</td>\r\n</tr>"))
        << html;
    EXPECT_TRUE(Has(html, "<tr style=\"height:1px\">\r\n<td/>\r\n</tr>\r\n</table>")) << html;
    EXPECT_EQ(Occurrences(html, "<table"), 1);
    EXPECT_TRUE(Has(html, R"(<table width="200" border="0" cellspacing="0" cellpadding="0">)"))
        << html;
    EXPECT_TRUE(Has(html, R"(<tr style="height: 1px"><td width="100"/><td width="100"/></tr>)"));

    filter->SetExportStyles(false);
    filter->SetFixedWidth(false);
    filter->SetCentered(true);
    const std::string plain = Run(*filter);
    EXPECT_FALSE(Has(plain, "<style"));
    EXPECT_FALSE(Has(plain, "class=\"s"));
    EXPECT_TRUE(Has(plain, R"(<table align="center" border="0")"));
}

TEST(HtmlText, EscapingEncodingAndLineEnds) {
    struct Case {
        const char* text;
        bool tags;
        const char* escaped;
    };
    const Case cases[] = {
        {"<5 mm & \"x\" > 3", false, "&lt;5 mm &amp; &quot;x&quot; &gt; 3"},
        {"one\r\ntwo\nthree\rfour", false, "one<br>twothree\rfour"},
        {"<script>alert(1)</script>", false, "&lt;script&gt;alert(1)&lt;/script&gt;"},
        // Tags stay, quotes inside them too; text outside is still escaped.
        {"<b>bold</b> & \"q\" <font color=\"#FF0000\">red</font>", true,
         "<b>bold</b> &amp; &quot;q&quot; <font color=\"#FF0000\">red</font>"},
        {"超声 <5", false, "超声 &lt;5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TpgwHTMLExport::EscapeText(c.text, c.tags), c.escaped) << c.text;

    EXPECT_EQ(TpgwHTMLExport::URLEncode("C:\\a b/检.pg3"), "C%3A%5Ca%20b%2F%E6%A3%80%2Epg3");
    EXPECT_EQ(TpgwHTMLExport::StripLastLineEnd(u"a\r\n\r\n"), u"a\r\n");
    EXPECT_EQ(TpgwHTMLExport::StripLastLineEnd(u"a\n"), u"a\n");
}

// ---- failures ----------------------------------------------------------------------------------

TEST_F(HtmlExports, AFailedWriteLeavesNoDocumentAndGoesWhereTheSilentModeSays) {
    TwoPages();
    const TempDir dir;
    const std::string target = dir / "r.html";
    TempDir::WriteAll(target, "earlier");
    filter->SetOpenAfterExport(true);
    SetSafeFileFailureForTesting(ENOSPC);
    struct Restore {
        ~Restore() { SetSafeFileFailureForTesting(0); }
    } restore;

    RunToFile(target);
    EXPECT_NE(report->Errors().Text(), "");
    EXPECT_EQ(TempDir::ReadAll(target), "earlier");
    EXPECT_EQ(filter->OutputFiles()->Count(), 0);
    EXPECT_TRUE(opened.empty());

    auto recorder = std::make_unique<TRecordingReporter>();
    TRecordingReporter* boxes = recorder.get();
    {
        TScopedReporter scope(std::move(recorder));
        report->EngineOptions()->SetNewSilentMode(simMessageBoxes);
        RunToFile(target);
        EXPECT_EQ(boxes->Boxes.size(), 1u);
    }
    report->EngineOptions()->SetNewSilentMode(simReThrow);
    filter->SetMultipage(true);
    filter->SetFileName(target);
    ASSERT_TRUE(filter->OpenOutput());
    filter->EnterPage(pages[0], 0);
    for (TpgwComponent* object : pages[0]->AllObjects())
        filter->WriteItem(object);
    EXPECT_THROW(filter->LeavePage(pages[0], 0), Exception);
    EXPECT_FALSE(std::filesystem::exists(dir / "r.files/1.html"));
    EXPECT_EQ(TempDir::ReadAll(target), "earlier");
}

TEST_F(HtmlExports, TheFixtureThroughTheDriverReadsBackSound) {
    const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3";
    ASSERT_TRUE(report->LoadFromFile(path, false)) << report->Errors().Text();
    report->EngineOptions()->SetNewSilentMode(simSilent);
    report->SetShowProgress(false);
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    const TempDir dir;
    filter->SetFileName(dir / "fixture.html");
    filter->SetShowProgress(true);
    filter->SetBackground(true);
    ASSERT_TRUE(report->ExportTo(filter.get())) << report->Errors().Text();
    EXPECT_EQ(report->Errors().Text(), "");

    const std::string file = dir / "fixture.html";
    const ReadBack r = ExpectSound(file);
    EXPECT_EQ(r.Tables, 3);
    for (const char* text :
         {R"("Say \"hi\" <a> & b; semi")",
          R"("\u8179\u90e8\u8d85\u58f0\uff1a\u809d\u810f\u5927\u5c0f\u6b63\u5e38")",
          R"("Bold H2O")"})
        EXPECT_TRUE(HasCell(r, text)) << text;
    const std::string html = TempDir::ReadAll(file);
    EXPECT_TRUE(Has(html, "<b>Bold</b> H<sub>2</sub>O"));
    EXPECT_TRUE(Has(html, " background=\"fixture.files/backgrnd.jpg\"\r\n"));
    EXPECT_TRUE(std::filesystem::exists(dir / "fixture.files/backgrnd.jpg"));
}

// ---- the options dialog ------------------------------------------------------------------------

class TDialogHTMLExport : public TpgwHTMLExport {
public:
    TDialogHTMLExport() : TpgwHTMLExport(UnlistedTag{}) {}
    TpgwHTMLExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = TpgwHTMLExport::CreateDialog();
        Dialog = static_cast<TpgwHTMLExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(HtmlExports, TheDialogShowsAndReadsTheOptions) {
    TDialogHTMLExport html;
    html.SetReport(report.get());
    auto recorder = std::make_unique<TRecordingReporter>();
    TRecordingReporter* boxes = recorder.get();
    TScopedReporter scope(std::move(recorder));
    TRecordingReporter::DialogAnswer answer;
    answer.Confirmed = true;
    answer.FileName = "/tmp/chosen.html";
    boxes->QueueDialogAnswer(answer);

    html.SetUseGif(true);
    html.SetMultipage(true);
    Application()->QueueCall([&] {
        TpgwHTMLExportDialog* d = html.Dialog;
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Caption(), "导出到 HTML table");
        EXPECT_EQ(d->OpenAfterCB->Caption(), "在导出后打开");
        EXPECT_EQ(d->PFormatCB->Style(), csDropDownList);
        EXPECT_EQ(d->PFormatCB->Items().Text(), "无\r\nJPEG\r\nBMP\r\nGIF\r\n");
        EXPECT_EQ(d->PFormatCB->ItemIndex(), 3);
        EXPECT_TRUE(d->MultipageCB->Checked());
        EXPECT_TRUE(d->FixWidthCB->Checked());
        d->PFormatCB->SetItemIndex(2);
        d->StylesCB->SetChecked(false);
        d->OkB->Click();
    });
    ASSERT_EQ(html.AskOptions(), 1);
    EXPECT_TRUE(html.ExportPictures());
    EXPECT_FALSE(html.UseJpeg());
    EXPECT_FALSE(html.UseGif());
    EXPECT_FALSE(html.ExportStyles());
    EXPECT_EQ(html.FileName(), "/tmp/chosen.html");
    ASSERT_EQ(boxes->Dialogs.size(), 1u);
    EXPECT_EQ(boxes->Dialogs[0].Filter, "HTML 文件 (*.html)|*.html");

    // On behalf of another exporter: the file options are fixed, shown and not changeable.
    html.SetSlaveMode(true);
    Application()->QueueCall([&] {
        TpgwHTMLExportDialog* d = html.Dialog;
        for (TCheckBox* box : {d->MultipageCB, d->BackgrCB, d->NavigatorCB, d->PicsSameCB})
            EXPECT_FALSE(box->Enabled());
        EXPECT_TRUE(d->PicsSameCB->Checked());
        EXPECT_FALSE(d->MultipageCB->Checked());
        d->PFormatCB->SetItemIndex(0);
        d->OkB->Click();
    });
    ASSERT_EQ(html.AskOptions(), 1);
    EXPECT_FALSE(html.ExportPictures());
    EXPECT_FALSE(html.Multipage());
    EXPECT_TRUE(html.PicsInSameFolder());
    EXPECT_EQ(boxes->Dialogs.size(), 1u) << "no save dialog in slave mode";
}

// ---- picture formats (GIF last: its writer is the image filters') ------------------------------

TEST_F(HtmlExports, PicturesAsBmpAndAsGif) {
    TwoPages();
    struct Case {
        bool jpeg, gif;
        const char* file;
        const char* magic;
    };
    for (const Case& c : {Case{false, false, "r.files/img0.bmp", "BM"},
                          Case{false, true, "r.files/img0.gif", "GIF89a"}}) {
        SCOPED_TRACE(c.file);
        const TempDir dir;
        filter->SetUseJpeg(c.jpeg);
        filter->SetUseGif(c.gif);
        RunToFile(dir / "r.html");
        EXPECT_EQ(report->Errors().Text(), "");
        EXPECT_TRUE(TempDir::ReadAll(dir / c.file).starts_with(c.magic));
        EXPECT_TRUE(Has(TempDir::ReadAll(dir / "r.html"),
                        std::string("<img src=\"") + c.file + "\" width=\"41\" height=\"21\""));
    }
}

} // namespace
