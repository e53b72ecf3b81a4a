// The rich-edit control: its line list (one line a paragraph, loading with a retry in the other
// format, files by extension), the character and paragraph format objects in points, typing,
// undo levels, protected text, link clicks, plain-text mode, the clipboard and printing.

#include "objects/rich_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/printers.h"
#include "engine/tests/modal_steps.h"
#include "platform/core/exception.h"
#include "platform/core/stream.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/print/recording_print_backend.h"
#include "platform/ui/clipboard.h"

namespace {

std::string Save(TQvRichEdit& edit) {
    TMemoryStream stream;
    edit.Lines().SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()),
                       static_cast<std::size_t>(stream.Size()));
}

void Load(TQvRichEdit& edit, const std::string& bytes) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    edit.Lines().LoadFromStream(stream);
}

std::vector<std::string> Lines(TQvRichEdit& edit) {
    std::vector<std::string> lines;
    for (int i = 0; i < edit.Lines().Count(); ++i)
        lines.push_back(edit.Lines().Strings(i));
    return lines;
}

TEST(RichEditLines, LinesAreParagraphsAndInsertingFollowsTheLastLine) {
    TQvRichEdit edit(nullptr);
    edit.SetText("one\r\ntwo");
    EXPECT_EQ(Lines(edit), (std::vector<std::string>{"one", "two"}));
    // Before an existing line: exactly one line more.
    edit.Lines().Insert(1, "between");
    EXPECT_EQ(Lines(edit), (std::vector<std::string>{"one", "between", "two"}));
    // Just past the end: appended after a last line with text; further out, nothing.
    edit.Lines().Insert(5, "too far");
    EXPECT_EQ(Lines(edit).size(), 3u);
    edit.Lines().Insert(3, "after");
    EXPECT_EQ(Lines(edit), (std::vector<std::string>{"one", "between", "two", "after"}));
    // ...and nothing after an empty last line.
    edit.SetText("only\r\n");
    const std::size_t before = Lines(edit).size();
    edit.Lines().Insert(static_cast<int>(before) + 1, "never");
    EXPECT_EQ(Lines(edit).size(), before);

    edit.Lines().SetStrings(0, "replaced");
    EXPECT_EQ(edit.Lines().Strings(0), "replaced");
    // A line is read up to 4096 characters.
    edit.SetText(std::string(5000, 'x'));
    EXPECT_EQ(edit.Lines().Strings(0).size(), 4096u);
}

TEST(RichEditLines, LoadingTriesTheOtherFormatAndFilesGoByExtension) {
    TQvRichEdit edit(nullptr);
    // Plain text through the default (rich) format: the RTF attempt fails, the text stays.
    Load(edit, "plain text\r\nsecond");
    EXPECT_EQ(Lines(edit), (std::vector<std::string>{"plain text", "second"}));
    Load(edit, "{\\rtf1\\ansi {\\b bold} text\\par}");
    EXPECT_EQ(edit.Lines().Strings(0), "bold text");
    EXPECT_TRUE(edit.SelAttributes().Style().Contains(fsBold));

    TempDir dir;
    const std::string rtf = "{\\rtf1\\ansi rich\\par}";
    TempDir::WriteAll(dir / "a.txt", rtf);
    TempDir::WriteAll(dir / "a.rtf", rtf);
    edit.SetStreamFormat(sfRichText);
    edit.Lines().LoadFromFile(dir / "a.txt");
    EXPECT_EQ(edit.Lines().Strings(0), rtf); // read as text whatever StreamFormat says
    edit.SetStreamFormat(sfPlainText);
    edit.Lines().LoadFromFile(dir / "a.rtf");
    EXPECT_EQ(edit.Lines().Strings(0), "rich");
    EXPECT_EQ(edit.StreamFormat(), sfPlainText);
}

TEST(RichEditLines, SelectionAndObjectModesOfSaving) {
    TQvRichEdit edit(nullptr);
    Load(edit, "{\\rtf1\\ansi first second"
               "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw100\\objh100"
               "{\\*\\objdata 0105}}\\par}");
    edit.SetSelStart(0);
    edit.SetSelLength(5);
    edit.SetStreamMode(1u << smSelection);
    edit.SetStreamFormat(sfPlainText);
    EXPECT_EQ(Save(edit), "first");
    edit.SetStreamFormat(sfRichText);
    edit.SetStreamMode(0);
    EXPECT_NE(Save(edit).find("\\object"), std::string::npos);
    edit.SetStreamMode(1u << smNoObjects);
    EXPECT_EQ(Save(edit).find("\\object"), std::string::npos);
}

TEST(RichEditFormats, PointsIndentsTabsAndBullets) {
    TQvRichEdit edit(nullptr);
    edit.SetText("paragraph");
    edit.SelectAll();
    edit.SelAttributes().SetSize(14);
    edit.SelAttributes().SetName("宋体");
    edit.SelAttributes().SetColor(clRed);
    EXPECT_EQ(edit.SelAttributes().Size(), 14);
    EXPECT_EQ(edit.SelAttributes().Name(), "宋体");
    EXPECT_EQ(edit.SelAttributes().Color(), clRed);
    edit.SelAttributes().SetColor(clWindowText);
    EXPECT_EQ(edit.SelAttributes().Color(), clWindowText);

    TQvParaAttributes& para = edit.Paragraph();
    EXPECT_EQ(para.TabCount(), 0);
    para.SetTab(0, 36);
    EXPECT_EQ(para.TabCount(), 1);
    EXPECT_EQ(para.Tab(0), 36);
    para.SetLeftIndent(4);
    para.SetNumbering(nsBullet);
    EXPECT_EQ(para.LeftIndent(), 10);
    EXPECT_EQ(para.Numbering(), nsBullet);
    para.SetNumbering(nsNone);
    EXPECT_EQ(para.LeftIndent(), 0);
    para.SetFirstIndent(12);
    para.SetAlignment(taCenter);
    EXPECT_EQ(para.FirstIndent(), 12);
    EXPECT_EQ(para.Alignment(), taCenter);

    TFont font;
    font.SetName("Arial");
    font.SetSize(9);
    font.SetStyle({fsItalic});
    edit.SelAttributes().Assign(&font);
    TFont back;
    edit.SelAttributes().AssignTo(back);
    EXPECT_EQ(back.Name(), "Arial");
    EXPECT_EQ(back.Size(), 9);
    EXPECT_TRUE(back.Style().Contains(fsItalic));
}

TEST(RichEditControl, TypingUndoLevelsAndTheTextLimit) {
    TQvRichEdit edit(nullptr);
    EXPECT_EQ(edit.TextLimit(), 0xFFFFFF);
    edit.SetSelText("ab");
    EXPECT_EQ(edit.SelStart(), 2);
    EXPECT_EQ(edit.SelLength(), 0);
    edit.SetSelText("cd");
    EXPECT_EQ(edit.Text(), "abcd");
    EXPECT_TRUE(edit.Document().Undo());
    EXPECT_EQ(edit.Text(), "ab");
    EXPECT_TRUE(edit.Document().Undo());
    EXPECT_EQ(edit.Text(), "");

    // With one level, text replaced by the program cannot be undone.
    edit.SetUndoLimit(1);
    edit.SetSelText("x");
    EXPECT_FALSE(edit.Document().CanUndo());
}

TEST(RichEditControl, ProtectedTextNeedsAHandlerThatAllowsIt) {
    TQvRichEdit edit(nullptr);
    edit.SetText("locked");
    edit.SelectAll();
    TRichCharFormat lock;
    lock.Mask = TRichCharFormat::cfmProtected;
    lock.Protected = true;
    edit.Document().SetCharFormat(TRichDocument::scSelection, lock);
    edit.SelectAll();
    edit.SetSelText("changed");
    EXPECT_EQ(edit.Text(), "locked");

    int plain = 0, ex = 0;
    edit.OnProtectChange = [&](TObject*, int, int, bool& allow) {
        ++plain;
        allow = true;
    };
    edit.OnProtectChangeEx = [&](TObject*, unsigned, int start, int end, bool& allow) {
        ++ex;
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 6);
        allow = true;
    };
    edit.SelectAll();
    edit.SetSelText("changed");
    EXPECT_EQ(edit.Text(), "changed");
    EXPECT_EQ(ex, 1);
    EXPECT_EQ(plain, 0);
}

TEST(RichEditControl, ALinkClickNeedsPressAndReleaseOnTheSameLink) {
    TQvRichEdit edit(nullptr);
    edit.SetText("see http://a.example and http://b.example");
    std::vector<std::string> clicks;
    edit.OnURLClick = [&](TObject*, const std::string& url, TMouseButton button) {
        clicks.push_back(url + (button == mbLeft ? " left" : " right"));
    };
    const int a = 6, b = 30;
    edit.LinkMouse(mbLeft, true, a);
    edit.LinkMouse(mbLeft, false, a);
    edit.LinkMouse(mbLeft, true, a);
    edit.LinkMouse(mbLeft, false, b);
    edit.LinkMouse(mbRight, true, b);
    edit.LinkMouse(mbRight, false, b);
    EXPECT_EQ(clicks,
              (std::vector<std::string>{"http://a.example left", "http://b.example right"}));
}

TEST(RichEditControl, PlainTextModeKeepsTheTextAndDropsFormats) {
    TQvRichEdit edit(nullptr);
    Load(edit, "{\\rtf1\\ansi {\\b bold} plain\\par}");
    edit.SetPlainText(true);
    EXPECT_EQ(edit.Lines().Strings(0), "bold plain");
    edit.SetSelStart(0);
    edit.SetSelLength(4);
    EXPECT_FALSE(edit.SelAttributes().Style().Contains(fsBold));
    edit.SetPlainText(false);
    EXPECT_EQ(edit.Lines().Strings(0), "bold plain");
}

TEST(RichEditControl, ClipboardCarriesTextAndRtf) {
    TQvRichEdit source(nullptr), target(nullptr);
    Load(source, "{\\rtf1\\ansi\\ansicpg936 {\\b \\'c4\\'e3\\'ba\\'c3} world\\par}");
    source.SetSelStart(0);
    source.SetSelLength(2);
    source.CopyToClipboard();
    EXPECT_EQ(Clipboard().AsText(), "你好");
    EXPECT_TRUE(Clipboard().HasFormat("text/rtf"));
    target.PasteFromClipboard();
    EXPECT_EQ(target.Lines().Strings(0), "你好");
    target.SelectAll();
    EXPECT_TRUE(target.SelAttributes().Style().Contains(fsBold));
}

TEST(RichEditControl, PrintingGoesPageByPageThroughThePrinterLayer) {
    auto backend = std::make_unique<TRecordingPrintBackend>();
    TRecordingPrintBackend* recorder = backend.get();
    TRecordedPrinterSetup setup;
    setup.Name = "Office";
    setup.Capabilities = StandardRecordedCapabilities();
    backend->AddPrinter(setup);
    TpgwScopedPrinters printers{std::move(backend)};

    TQvRichEdit edit(nullptr);
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "Line " + std::to_string(i) + "\r\n";
    edit.SetText(text);
    edit.Print("Exam notes");
    ASSERT_EQ(recorder->Documents().size(), 1u);
    const TRecordedDocument& document = recorder->Documents()[0];
    EXPECT_EQ(document.Info.Title, "Exam notes");
    EXPECT_TRUE(document.Ended);
    EXPECT_GT(document.Pages.size(), 1u);
    std::string printed;
    for (const TRecordedPage& page : document.Pages)
        for (const TTextRecord& record : page.Recording.TextRecords())
            printed += Utf16ToUtf8(record.Text);
    EXPECT_NE(printed.find("Line 0"), std::string::npos);
    EXPECT_NE(printed.find("Line 199"), std::string::npos);
}

} // namespace

namespace {

TEST(RichEditObjects, ASelectedObjectKeepsItsBytesAndSaysItCannotBeOpened) {
    TQvRichEdit edit(nullptr);
    const std::string group =
        "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw100\\objh100{\\*\\objdata 0105}}";
    Load(edit, "{\\rtf1\\ansi before " + group + " after\\par}");
    edit.SetSelStart(7);
    edit.SetSelLength(1);
    EXPECT_EQ(edit.SelectedObjectClass(), "Paint.Picture");
    TPopupMenu* menu = edit.ObjectPopupMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->Items()->Count(), 1);
    EXPECT_EQ(menu->Items()->Items(0)->Caption(),
              "Paint.Picture (cannot be opened on this system)");
    EXPECT_FALSE(menu->Items()->Items(0)->Enabled());

    // With a menu of its own: the own items, a separator and the notice, made anew each time.
    TPopupMenu own(nullptr);
    auto* copy = new TMenuItem(nullptr);
    copy->SetCaption("Copy");
    own.Items()->Add(copy);
    edit.SetPopupMenu(&own);
    edit.ObjectPopupMenu();
    EXPECT_EQ(edit.ObjectPopupMenu()->Items()->Count(), 3);
    edit.SetSelLength(0);
    EXPECT_EQ(edit.ObjectPopupMenu()->Items()->Count(), 1);
    edit.SetPopupMenu(nullptr);

    // The object's bytes come back as they were; deleting it removes them.
    EXPECT_NE(Save(edit).find(group), std::string::npos);
    edit.SetSelStart(7);
    edit.SetSelLength(1);
    edit.SetSelText("");
    EXPECT_EQ(Save(edit).find("\\object"), std::string::npos);
}

} // namespace
