// The dot-matrix text export: memos laid out on the character grid and written as bytes, its
// frames and their junctions, the wrapping rules, the options that shape the rows, the output
// file, and printing after export through the recording backend and a private print server.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/printers.h"
#include "export/export_formats.h"
#include "export/tests/page_export_fixture.h"
#include "export/text_matrix.h"
#include "export/txt_export.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/print/print_backend.h"
#include "platform/print/recording_print_backend.h"
#include "platform/print/tests/private_spooler.h"
#include "platform/ui/application.h"
#include "platform/ui/form.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/resources.h"
#include "report/view.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

std::string Gbk(const std::string& utf8) {
    return ExportAnsiText(Utf8ToUtf16(utf8));
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// An environment variable set for the scope, the earlier value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class TXTExport : public PageExportFixture {
protected:
    // The pages through the filter into a file, as the driver hands them over; the file's bytes.
    std::string Export(TpgwTXTExport& filter) {
        filter.SetFileName(dir / "out.prn");
        Drive(filter);
        return TempDir::ReadAll(filter.FileName());
    }
    TpgwMemoView* Framed(TpgwReportPage* page, double left, double top, double width, double height,
                         const std::string& text = "") {
        TpgwMemoView* memo = Memo(page, left, top, width, height, text);
        memo->Frame()->SetTyp(ftAll);
        return memo;
    }

    TempDir dir;
    TpgwTXTExport txt{TpgwCustomExportFilter::UnlistedTag{}};
};

TEST_F(TXTExport, MemosBecomeRowsOfTheirCells) {
    TpgwReportPage* page = NewPage();
    // 70 x 16 units: 10 columns and 2 rows, so one line of 9 characters; the row starts at
    // column 1, which the lead-space cut takes away.
    Memo(page, 0, 0, 70, 16, "abcdefghijklmnop");
    EXPECT_EQ(Export(txt), "abcdefghi\r\n\f");
    EXPECT_EQ(txt.MaxWidth(), 9);
    EXPECT_EQ(txt.LineCount(), 1);

    // Right, centred and bottom-aligned text in wider and higher memos; an unframed memo draws
    // no frame characters with borders on.
    Memo(page, 0, 24, 70, 16, "ab", haRight);
    Memo(page, 0, 48, 70, 16, "ab", haCenter);
    Memo(page, 0, 72, 70, 32, "ab")->SetVAlign(vaBottom);
    txt.SetBorders(true);
    EXPECT_EQ(Export(txt), "abcdefghi\r\n       ab\r\n   ab\r\nab\r\n\f");
    EXPECT_EQ(txt.MaxWidth(), 9);
    EXPECT_EQ(txt.LineCount(), 4);
}

TEST_F(TXTExport, WrapsAtWordsAndHyphensWithinTheRoomGiven) {
    const std::string zhong = Gbk("中"), wen = Gbk("文"), zi = Gbk("字");
    struct Case {
        std::string text;
        int width, maxLines;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        // The space after a word that ends inside the width stays on its line...
        {"abcd efgh", 5, 9, {"abcd ", "efgh"}},
        // ...and one right after the width is dropped.
        {"abcde fghi", 5, 9, {"abcde", "fghi"}},
        {"well-known", 6, 9, {"well-", "known"}},
        {"abcdefgh", 3, 9, {"abc", "def", "gh"}},
        {"ab\r\ncdefgh", 5, 9, {"ab", "cdefg", "h"}},
        {"abcde\r\nfg", 5, 9, {"abcde", "fg"}},
        {"ab\r\n\r\ncd", 9, 9, {"ab", "", "cd"}},
        {"aa bb cc dd", 3, 2, {"aa ", "bb "}},
        // Double-byte characters are never split, even when one is wider than the line.
        {zhong + wen + zi, 3, 9, {zhong, wen, zi}},
        {"a" + zhong + wen, 2, 9, {"a", zhong, wen}},
        {zhong + wen, 1, 9, {zhong, wen}},
        // No width or no room: no line, rather than no end.
        {"abc", 0, 9, {}},
        {"abc", -3, 9, {}},
        {"abc", 5, 0, {}},
        {"", 5, 9, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TpgwTXTExport::WrapTextLines(c.text, c.width, c.maxLines), c.lines)
            << "\"" << c.text << "\" in " << c.width << " x " << c.maxLines;
}

TEST_F(TXTExport, MemosTooNarrowOrLowShowNoText) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 7, 40, "narrow");   // one column: no room beside the frame
    Memo(page, 100, 0, 70, 8, "low");    // one row
    Memo(page, 200, 0, 0, 0, "nothing"); // no size at all
    EXPECT_EQ(Export(txt), "\f");
    EXPECT_EQ(txt.LineCount(), 0);
}

TEST_F(TXTExport, FramesJoinWhereTheyMeet) {
    TpgwReportPage* page = NewPage();
    // A box of 10 x 4 cells with a 5 x 4 box below it whose right side starts on the first's
    // bottom line.
    Framed(page, 0, 0, 70, 32);
    Framed(page, 0, 32, 35, 32);
    txt.SetBorders(true);
    txt.SetPseudogrpahic(true);
    const std::string v = "\xB3", h = "\xC4";
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += s;
        return out;
    };
    const std::string inside = v + "         " + v + "\r\n";
    const std::string inner = v + "    " + v + "\r\n";
    EXPECT_EQ(Export(txt), "\xDA" + repeat(h, 9) + "\xBF\r\n" + repeat(inside, 3) + "\xC3" +
                               repeat(h, 4) + "\xC2" + repeat(h, 4) + "\xD9\r\n" +
                               repeat(inner, 3) + "\xC0" + repeat(h, 4) + "\xD9\r\n\f");

    txt.SetPseudogrpahic(false);
    EXPECT_EQ(Export(txt), "+---------+\r\n|         |\r\n|         |\r\n|         |\r\n"
                           "+----+----+\r\n|    |\r\n|    |\r\n|    |\r\n+----+\r\n\f");
    // A set of the caller's own wins over both.
    txt.SetPseudogrpahic(true);
    txt.SetCustomFrameSet("!=ABCDEFGHI");
    EXPECT_EQ(Export(txt).substr(0, 13), "A=========B\r\n");

    // Borders off: the frames are not drawn.
    txt.SetBorders(false);
    EXPECT_EQ(Export(txt), "\f");
}

TEST_F(TXTExport, AFrameOneCellAwayMovesOntoItsNeighboursEdge) {
    TpgwReportPage* page = NewPage();
    Framed(page, 0, 0, 70, 16);
    Framed(page, 77, 0, 70, 16);
    txt.SetBorders(true);
    txt.SetPseudogrpahic(true);
    const std::string h9(9, '\xC4'), h10(10, '\xC4');
    EXPECT_EQ(Export(txt), "\xDA" + h9 + "\xC2" + h10 + "\xBF\r\n" + "\xB3" + std::string(9, ' ') +
                               "\xB3" + std::string(10, ' ') + "\xB3\r\n" + "\xC0" + h9 + "\xC1" +
                               h10 + "\xD9\r\n\f");
}

TEST_F(TXTExport, JunctionRulesInTheirOrder) {
    // A set whose corners and junctions all differ: top-left a, top-right b, bottom-left c,
    // bottom-right d, up e, right f, down g, left h, cross i.
    const std::string set = "|-abcdefghi";
    struct Case {
        const char* around; // left, right, up, down
        char result;
    };
    const std::vector<Case> cases = {
        {"   |", '|'}, // 1: only a line below
        {"  | ", '|'}, // 2: only a line above
        {" -  ", '-'}, // 3: only a line right
        {"-   ", '-'}, // 4: only a line left
        {"  ||", '|'}, // 5: a vertical run without neighbours beside
        {"--  ", '-'}, // 6: a horizontal run without neighbours above and below
        {"--||", 'i'}, // 7
        {"-- |", 'g'}, // 8
        {"--| ", 'e'}, // 9
        {"a-||", 'f'}, // 10: left is a frame character but not a line
        {"-a||", 'h'}, // 11
        {"a-a|", 'a'}, // 12
        {"a-|a", 'c'}, // 13
        {"-a|a", 'd'}, // 14
        {"-aa|", 'b'}, // 15
        {"a ||", 'X'}, // none: the frame character beside stops rule 5
        {"    ", 'X'}, {"aaaa", 'X'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TpgwTXTExport::ResolveJunction(set, 'X', c.around[0], c.around[1], c.around[2],
                                                 c.around[3]),
                  c.result)
            << "around \"" << c.around << "\"";
}

TEST_F(TXTExport, DrawnByRoundedPlaceThenShortestTextFirst) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 70, 16, "long text");
    Memo(page, 0, 0, 70, 16, "ab");
    // On one row once rounded, the higher memo further right: rounded, the left one goes first
    // and the right one's padding covers the rest of its line.
    Memo(page, 0, 24.4, 70, 16, "aaaaaaaaa");
    Memo(page, 7, 24, 70, 16, "b");
    EXPECT_EQ(Export(txt), "long text\r\nab\r\n\f");
}

TEST_F(TXTExport, APageTooLargeForAScreenIsRefused) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 70, 1e9, "tall");
    txt.SetFileName(dir / "big.prn");
    ASSERT_TRUE(txt.OpenOutput());
    txt.EnterPage(page, 0);
    for (TpgwComponent* object : page->AllObjects())
        txt.WriteItem(object);
    EXPECT_THROW(txt.LeavePage(page, 0), Exception);
    txt.SetRunFailed(true);
    txt.CloseOutput();
    EXPECT_FALSE(FileExists(dir / "big.prn"));
}

TEST_F(TXTExport, LeadSpacesAndEmptyLines) {
    TpgwReportPage* page = NewPage();
    // Three rows of text with empty rows between them, all starting at column 13.
    Memo(page, 84, 0, 70, 16, "a");
    Memo(page, 84, 24, 70, 16, "b");
    Memo(page, 84, 48, 70, 16, "c");
    EXPECT_EQ(Export(txt), "a\r\nb\r\nc\r\n\f");
    EXPECT_EQ(txt.LineCount(), 3);

    txt.SetLeadSpaces(true);
    const std::string pad(13, ' ');
    EXPECT_EQ(Export(txt), pad + "a\r\n" + pad + "b\r\n" + pad + "c\r\n\f");

    // Every row of the screen (2 more than the page is high), empty ones as CR LF alone.
    txt.SetLeadSpaces(false);
    txt.SetEmptyLines(true);
    EXPECT_EQ(Export(txt), "\r\na\r\n\r\n\r\nb\r\n\r\n\r\nc\r\n\r\n\r\n\f");
    EXPECT_EQ(txt.LineCount(), 10);
    EXPECT_EQ(txt.MaxWidth(), 1);
}

TEST_F(TXTExport, PageBreaksAndPreviewRuns) {
    for (const char* text : {"one", "two", "three"})
        Memo(NewPage(), 0, 0, 70, 16, text);
    EXPECT_EQ(Export(txt), "one\r\n\ftwo\r\n\fthree\r\n\f");

    txt.SetPageBreaks(false);
    EXPECT_EQ(Export(txt), "one\r\ntwo\r\nthree\r\n\f");

    // A preview run ends without the form feed, and prints nothing even when asked to.
    TpgwScopedPrinters printers({"Office"});
    txt.SetPreviewMode(true);
    txt.SetPrintAfter(true);
    txt.SetPrinterDialog(false);
    txt.SetInitString("\x1B@");
    EXPECT_EQ(Export(txt), "one\r\ntwo\r\nthree\r\n");
    EXPECT_TRUE(printers.Recorder()->Documents().empty());
}

TEST_F(TXTExport, NoBreakSpacesPrintAsSpacesUnlessOem) {
    TpgwReportPage* page = NewPage();
    // 9 characters a line: the no-break space does not break it.
    Memo(page, 0, 0, 70, 24,
         "aaaa\xC2\xA0"
         "bbbbbb");
    EXPECT_EQ(Export(txt), "aaaa bbbb\r\nbb\r\n\f");
    txt.SetOEMCodepage(true);
    EXPECT_EQ(Export(txt), "aaaa\xA0"
                           "bbbb\r\nbb\r\n\f");

    // Legacy text keeps its bytes either way.
    Memo(page, 0, 40, 70, 16, "中文");
    EXPECT_NE(Export(txt).find("\r\n" + Gbk("中文") + "\r\n"), std::string::npos);
    txt.SetOEMCodepage(false);
    EXPECT_NE(Export(txt).find("\r\n" + Gbk("中文") + "\r\n"), std::string::npos);
}

TEST_F(TXTExport, OutputFileNamingAndFailedRuns) {
    Memo(NewPage(), 0, 0, 70, 16, "text");
    // No file name: nothing to do, and a target stream is no substitute.
    TMemoryStream stream;
    txt.SetTargetStream(&stream);
    EXPECT_FALSE(txt.OpenOutput());
    txt.SetTargetStream(nullptr);

    // A bare name goes into DefaultPath.
    txt.SetDefaultPath(dir.Path());
    txt.SetFileName("bare.prn");
    ASSERT_TRUE(txt.OpenOutput());
    txt.CloseOutput();
    EXPECT_EQ(txt.FileName(), dir / "bare.prn");
    EXPECT_TRUE(FileExists(dir / "bare.prn"));

    // Slave mode: the temporary folder, the report file's name, ".prn".
    TempDir temp;
    ScopedEnv tmpdir("TMPDIR", temp.Path());
    txt.SetReport(report.get());
    report->SetFileName("/reports/exam.pg3");
    txt.SetSlaveMode(true);
    ASSERT_TRUE(txt.OpenOutput());
    txt.CloseOutput();
    EXPECT_EQ(txt.FileName(), temp / "exam.prn");
    report->SetFileName("");
    ASSERT_TRUE(txt.OpenOutput());
    txt.CloseOutput();
    EXPECT_EQ(ExtractFilePath(txt.FileName()), temp.Path() + "/");
    EXPECT_EQ(ExtractFileExt(txt.FileName()), ".prn");
    txt.SetSlaveMode(false);

    // A run that failed leaves the earlier file as it was.
    const std::string first = Export(txt);
    ASSERT_TRUE(txt.OpenOutput());
    txt.EnterPage(pages[0], 0);
    txt.SetRunFailed(true);
    txt.CloseOutput();
    txt.SetRunFailed(false);
    EXPECT_EQ(TempDir::ReadAll(txt.FileName()), first);

    // A folder that does not exist fails the run.
    txt.SetFileName(dir / "missing/out.prn");
    EXPECT_THROW(txt.OpenOutput(), Exception);
}

TEST_F(TXTExport, PrinterTypesAndTheInitialisationString) {
    const std::vector<TpgwTXTPrinterType>& types = txt.PrinterTypes();
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types[0].Name, "NONE");
    EXPECT_EQ(types[1].Name, "EPSON ESC/P2 Matrix/Stylus)");
    EXPECT_EQ(types[2].Name, "HP PCL (LaserJet/DeskJet)");
    EXPECT_EQ(types[3].Name, "CANON/IBM (Matrix)");
    EXPECT_EQ(types[1].Commands[9].Name, "Linefeed 1/8\"");
    EXPECT_EQ(types[2].Commands[5].Name, "Condenced");
    // Every sequence, all commands on and then all off.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"", ""},
        {"1B 40 1B 78 00 1B 78 01 1B 6B 00 1B 78 01 1B 6B 01 0F 1B 47 1B 34 1B 57 01 1B 4D 1B 30 "
         "1B 31 1B 32",
         "12 1B 48 1B 35 1B 57 00 1B 50"},
        {"1B 45 1B 26 6C 31 4F 1B 28 73 31 53 1B 28 73 33 42 1B 28 73 31 51 1B 28 73 31 32 48 1B "
         "26 6C 38 44",
         "1B 26 6C 30 4F 1B 28 73 30 53 1B 28 73 30 42 1B 28 73 32 51 1B 28 73 31 30 48"},
        {"1B 40 1B 78 00 1B 30 49 1B 38 49 0F 1B 47 1B 34 1B 4D", "12 1B 48 1B 35 1B 50"},
    };
    for (int t = 0; t < 4; ++t) {
        txt.SetPrinterTypeIndex(t);
        for (bool on : {true, false}) {
            for (TpgwTXTPrinterCommand& command : txt.PrinterTypes()[t].Commands)
                command.Enabled = on;
            txt.BuildInitString();
            EXPECT_EQ(Hex(txt.InitString()), on ? expected[t].first : expected[t].second)
                << types[t].Name << (on ? " on" : " off");
        }
    }
    txt.SetPrinterTypeIndex(99);
    txt.BuildInitString();
    EXPECT_EQ(txt.InitString(), "");

    // The table's limits: 16 types, 32 commands a type.
    for (int i = 4; i < MaxTXTPrinterTypes; ++i)
        EXPECT_EQ(txt.AddPrinterType("T" + std::to_string(i)), i);
    EXPECT_EQ(txt.AddPrinterType("one too many"), -1);
    for (int i = 0; i < MaxTXTPrinterCommands + 3; ++i)
        txt.AddPrinterCommand(4, "C", "\x1B", "");
    txt.AddPrinterCommand(16, "nowhere", "", "");
    txt.AddPrinterCommand(-1, "nowhere", "", "");
    EXPECT_EQ(txt.PrinterTypes()[4].CommandCount, MaxTXTPrinterCommands);
    EXPECT_EQ(txt.PrinterTypes()[4].Commands.size(), std::size_t(MaxTXTPrinterCommands));
    EXPECT_EQ(txt.PrinterTypes().size(), std::size_t(MaxTXTPrinterTypes));
}

TEST_F(TXTExport, RegistersTheClassAndThePrnFormat) {
    RegisterTXTExport();
    std::unique_ptr<TpgwCustomExportFilter> filter = MakeExportFilter("prn");
    ASSERT_NE(filter, nullptr);
    EXPECT_NE(dynamic_cast<TpgwTXTExport*>(filter.get()), nullptr);
    EXPECT_TRUE(filter->Unlisted());
    EXPECT_EQ(txt.FileExtension(), ".txt");
    EXPECT_EQ(txt.FilterCaption(), GetResources().GetText("TextExport"));
}

// EPSON with Bold and Condensed switched on.
constexpr const char* kEpsonBoldCondensed = "\x0F\x1B\x47\x1B\x35\x1B\x57\x00\x1B\x50";
const std::string kEpsonInit(kEpsonBoldCondensed, 10);

class TXTPrinting : public TXTExport {
protected:
    void SetUp() override {
        TXTExport::SetUp();
        Memo(NewPage(), 0, 0, 70, 16, "first");
        Memo(NewPage(), 0, 0, 70, 16, "second");
        txt.SetPrintAfter(true);
        txt.SetPrinterDialog(false);
        txt.SetPrinterTypeIndex(1);
        txt.PrinterTypes()[1].Commands[4].Enabled = true; // Condensed
        txt.PrinterTypes()[1].Commands[5].Enabled = true; // Bold
        txt.SetCopies(2);
    }
    const std::string exported = "first\r\n\fsecond\r\n\f";
};

TEST_F(TXTPrinting, CopiesGoRawWithTheInitialisationStringInFront) {
    TpgwScopedPrinters printers({"Office", "Matrix"});
    GetPrinters()->SelectPrinter(GetPrinters()->IndexOf("Matrix"));
    // The temporary copy goes to its own folder, which must be empty afterwards.
    TempDir temp;
    ScopedEnv tmpdir("TMPDIR", temp.Path());
    EXPECT_EQ(Export(txt), exported);
    EXPECT_EQ(txt.InitString(), kEpsonInit);

    const std::vector<TRecordedDocument>& docs = printers.Recorder()->Documents();
    ASSERT_EQ(docs.size(), 2u);
    for (const TRecordedDocument& doc : docs) {
        EXPECT_EQ(doc.Printer, "Matrix");
        EXPECT_TRUE(doc.Raw);
        EXPECT_TRUE(doc.Ended);
        EXPECT_EQ(doc.Info.Title, dir / "out.prn");
        EXPECT_EQ(doc.RawData, kEpsonInit + exported);
    }
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(TXTPrinting, PrintFileSendsAFileInPiecesOf1024Bytes) {
    TpgwScopedPrinters printers({"Office"});
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += static_cast<char>(i % 251);
    TempDir::WriteAll(dir / "big.bin", big);
    txt.PrintFile(dir / "big.bin");
    ASSERT_EQ(printers.Recorder()->Documents().size(), 1u);
    EXPECT_EQ(printers.Recorder()->Documents()[0].RawData, big);
    EXPECT_EQ(printers.Recorder()->Documents()[0].Info.Title, dir / "big.bin");
    std::vector<std::string> writes;
    for (const std::string& call : printers.Recorder()->Log())
        if (call.starts_with("WriteRawData")) writes.push_back(call);
    EXPECT_EQ(writes, (std::vector<std::string>{"WriteRawData 1024", "WriteRawData 1024",
                                                "WriteRawData 952"}));
    // A file that is not there: the file error, nothing printed.
    EXPECT_THROW(txt.PrintFile(dir / "missing.prn"), EFOpenError);
    EXPECT_EQ(printers.Recorder()->Documents().size(), 1u);
}

TEST_F(TXTPrinting, NoPrinterInstalledSkipsPrintingSilently) {
    TpgwScopedPrinters none;
    // Not even the print dialog shows: anything modal would be answered and noted.
    txt.SetPrinterDialog(true);
    bool dialogShown = false;
    Application()->QueueCall([&dialogShown] {
        if (TCustomForm* form = ModalForm()) {
            dialogShown = true;
            form->SetModalResult(mrCancel);
        }
    });
    EXPECT_EQ(Export(txt), exported);
    Application()->ProcessMessages();
    EXPECT_FALSE(dialogShown);
}

TEST_F(TXTPrinting, ThePrintDialogDecides) {
    TpgwScopedPrinters printers({"Office"});
    txt.SetPrinterDialog(true);
    const auto answer = [](TModalResult result) {
        Application()->QueueCall([result] {
            if (TCustomForm* form = ModalForm()) form->SetModalResult(result);
        });
    };
    // Cancel: nothing printed, the copies as they were.
    answer(mrCancel);
    EXPECT_EQ(Export(txt), exported);
    EXPECT_TRUE(printers.Recorder()->Documents().empty());
    EXPECT_EQ(txt.Copies(), 2);
    // OK: the dialog's copies (it starts at one).
    answer(mrOk);
    EXPECT_EQ(Export(txt), exported);
    EXPECT_EQ(txt.Copies(), 1);
    ASSERT_EQ(printers.Recorder()->Documents().size(), 1u);
    EXPECT_EQ(printers.Recorder()->Documents()[0].RawData, kEpsonInit + exported);
    Application()->ProcessMessages();
}

TEST_F(TXTPrinting, ThroughAPrintServerQueue) {
    // A queue that hands every job to its device file unchanged.
    const print_test::SpoolerQueue queue{"RawQ", LUMETRA_SOURCE_DIR
                                         "/platform/print/tests/testdata/file_queue.ppd"};
    print_test::PrivateSpooler spooler(std::vector<print_test::SpoolerQueue>{queue});
    if (!spooler.Running()) GTEST_SKIP() << "private print server: " << spooler.Problem();
    ScopedEnv server("CUPS_SERVER", spooler.Server());
    TpgwScopedPrinters spoolerPrinters(CreateSpoolerPrintBackend());
    const int index = GetPrinters()->IndexOf("RawQ");
    if (index < 0)
        GTEST_SKIP() << "the spooler client of this process already talks to another server; "
                        "the test needs a process of its own (as ctest runs it)";
    GetPrinters()->SelectPrinter(index);

    EXPECT_EQ(Export(txt), exported);
    ASSERT_TRUE(spooler.WaitForJobs());
    const std::vector<int> jobs = spooler.JobIds();
    ASSERT_EQ(jobs.size(), 2u);
    for (const int job : jobs)
        EXPECT_EQ(spooler.JobAttribute(job, "job-name"), dir / "out.prn");
    // The device file holds the last job, byte for byte.
    EXPECT_EQ(spooler.Output("RawQ"), kEpsonInit + exported);
    EXPECT_EQ(TempDir::ReadAll(dir / "out.prn"), exported);
}

using TXTExportOfAReport = PreparedExportFixture;

// The export fixture's pages as the driver hands them over (bands, the page background, page
// macros expanded): texts and framed memos on their rows, one page after another.
TEST_F(TXTExportOfAReport, ThePreparedPagesThroughTheDriver) {
    Fixture(3);
    TempDir dir;
    TpgwTXTExport txt(TpgwCustomExportFilter::UnlistedTag{});
    txt.SetShowDialog(false);
    txt.SetBorders(true);
    txt.SetFileName(dir / "fixture.prn");
    ASSERT_TRUE(report->ExportTo(&txt)) << report->Errors().Text();
    const std::string bytes = TempDir::ReadAll(dir / "fixture.prn");
    const std::string golden = std::string(LUMETRA_TESTDATA_DIR) + "/golden/txt_fixture.prn";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, bytes);
    EXPECT_EQ(bytes, TempDir::ReadAll(golden));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\f'), 3);
    EXPECT_NE(bytes.find(Gbk("检查报告") + " Export fixture"), std::string::npos);
    EXPECT_NE(bytes.find("Page 3 of 3\r\n"), std::string::npos);
}

// A report laid out for a character printer (dot-matrix page, memos on the cell grid, a printer
// command, a line) through pgwprep, as a user would export it, with box-drawing frames.
TEST(TXTExportFiles, DotMatrixFixtureThroughPgwprepEqualsTheGoldenFile) {
    const std::string data = std::string(LUMETRA_TESTDATA_DIR);
    TempDir dir;
    const std::string prn = dir / "dmp.prn";
    const PgwprepRun r = RunPgwprep({data + "/dmp_fixture.pg3", "--export", "prn", prn, "--set",
                                     "Borders=True", "--set", "Pseudogrpahic=True"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string bytes = TempDir::ReadAll(prn);
    const std::string golden = data + "/golden/dmp_fixture.prn";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, bytes);
    EXPECT_EQ(bytes, TempDir::ReadAll(golden));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\f'), 3);
    EXPECT_NE(bytes.find(Gbk("超声检查报告")), std::string::npos);
    EXPECT_EQ(bytes.find('\x0f'), std::string::npos) << "printer commands are not written";
}

} // namespace
