// The rich document: editing, positions, formats, content, plain text, links and the
// format-range layout.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/richedit/rich_document.h"

namespace {

using CF = TRichCharFormat;
using PF = TRichParaFormat;

void setText(TRichDocument& doc, std::u16string_view text) {
    doc.SetSelection(0, -1);
    doc.ReplaceSelection(text);
}

void setChar(TRichDocument& doc, int start, int end, CF f) {
    doc.SetSelection(start, end);
    doc.SetCharFormat(TRichDocument::scSelection, f);
}

CF bold(bool on = true) {
    CF f;
    f.Mask = CF::cfmBold;
    f.Bold = on;
    return f;
}

CF formatOf(TRichDocument& doc, int start, int end) {
    doc.SetSelection(start, end);
    return doc.CharFormat(TRichDocument::scSelection);
}

// A 2 x 2 red DIB (24-bit, bottom-up, rows padded to 4 bytes).
std::string redDib() {
    std::string dib(40, '\0');
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            dib[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0, 40, 4);
    put(4, 2, 4);
    put(8, 2, 4);
    put(12, 1, 2);
    put(14, 24, 2);
    for (int row = 0; row < 2; ++row)
        dib += std::string("\x00\x00\xFF\x00\x00\xFF\x00\x00", 8);
    return dib;
}

// A bare WMF (as rich text stores one) whose window is 100 x 100 units, filled red.
std::string redWmf() {
    std::string w;
    auto put = [&](std::initializer_list<int> words) {
        for (int v : words) {
            w.push_back(static_cast<char>(v & 0xFF));
            w.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    };
    put({1, 9, 0x0300, 0, 0, 1, 7, 0, 0});     // header; size patched below
    put({5, 0, 0x020B, 0, 0});                 // window origin
    put({5, 0, 0x020C, 100, 100});             // window extent
    put({7, 0, 0x02FC, 0, 0x00FF, 0x0000, 0}); // solid red brush
    put({4, 0, 0x012D, 0});
    put({7, 0, 0x041B, 100, 100, 0, 0}); // rectangle
    put({3, 0, 0});
    w[6] = static_cast<char>(w.size() / 2);
    return w;
}

// Two paragraphs: "Ab" + picture, then "cd" + object.
TRichContent sampleContent() {
    TRichContent c;
    TRichPicture pic;
    pic.Type = TRichPicture::pkDib;
    pic.Bytes = redDib();
    pic.PixelWidth = pic.PixelHeight = 2;
    pic.WidthTwips = pic.HeightTwips = 300;
    c.Pictures.push_back(pic);
    TRichObject obj;
    obj.Group = "{\\object\\objemb{\\*\\objclass Equation.3}{\\*\\objdata 01050000}}";
    obj.WidthTwips = 1200;
    obj.HeightTwips = 600;
    c.Objects.push_back(obj);

    CF plain = c.DefaultFormat;
    plain.Mask = CF::cfmAll;
    CF strong = plain;
    strong.Bold = true;
    strong.Weight = 700;
    strong.HeightTwips = 280;

    TRichParagraph p1;
    p1.Format.Mask = PF::pfmAll;
    p1.Format.Alignment = 3;
    p1.Runs.push_back({u"A", plain});
    p1.Runs.push_back({u"b", strong});
    TRichRun picRun{u"\uFFFC", plain};
    picRun.Picture = 0;
    p1.Runs.push_back(picRun);
    TRichParagraph p2;
    p2.Format.Mask = PF::pfmAll;
    p2.Format.StartIndent = 360;
    p2.Runs.push_back({u"cd", plain});
    TRichRun objRun{u"\uFFFC", plain};
    objRun.Object = 0;
    p2.Runs.push_back(objRun);
    c.Paragraphs = {p1, p2};
    return c;
}

std::u16string textOf(const TRichParagraph& p) {
    std::u16string t;
    for (const auto& r : p.Runs)
        t += r.Text;
    return t;
}

TRichFormatResult measure(const TRichDocument& doc, TRect rect, int first = 0, int dpi = 96) {
    TRichFormatRange r;
    r.Rect = rect;
    r.FirstChar = first;
    r.DpiX = r.DpiY = dpi;
    return doc.FormatRange(r);
}

constexpr std::u16string_view kThreeParagraphs =
    u"The quick brown fox jumps over the lazy dog near the river bank.\r"
    u"Pack my box with five dozen liquor jugs before the long winter.\r"
    u"How vexingly quick daft zebras jump when the night is young.";

} // namespace

// ---------------------------------------------------------------- editing

TEST(RichDocumentEditing, NewTextTakesTheFormatOfTheSelectionStartOrTheCharacterBefore) {
    struct Case {
        int start, end;
        bool bold;
    };
    // "abcd" with "bc" bold.
    for (const Case c : {Case{1, 1, false}, Case{2, 2, true}, Case{3, 3, true}, Case{1, 3, true},
                         Case{0, 2, false}, Case{0, 0, false}}) {
        TRichDocument doc;
        setText(doc, u"abcd");
        setChar(doc, 1, 3, bold());
        doc.SetSelection(c.start, c.end);
        ASSERT_TRUE(doc.ReplaceSelection(u"XY"));
        const int caret = c.start + 2;
        EXPECT_EQ(doc.SelStart(), caret) << c.start << "-" << c.end;
        EXPECT_EQ(doc.SelEnd(), caret);
        const CF f = formatOf(doc, c.start, caret);
        EXPECT_EQ(f.Bold, c.bold) << c.start << "-" << c.end;
        EXPECT_TRUE(f.Mask & CF::cfmBold);
    }
    // A format set at the caret waits there for the next text, and is dropped when the caret moves.
    TRichDocument doc;
    setText(doc, u"ab");
    doc.SetCharFormat(TRichDocument::scSelection, bold());
    doc.ReplaceSelection(u"X");
    doc.SetCharFormat(TRichDocument::scSelection, bold());
    doc.SetSelection(0, 0);
    doc.ReplaceSelection(u"Y");
    EXPECT_EQ(doc.Text(), u"YabX");
    EXPECT_TRUE(formatOf(doc, 3, 4).Bold);
    EXPECT_FALSE(formatOf(doc, 0, 1).Bold);
}

TEST(RichDocumentEditing, CrLfCrAndLfAreOneParagraphBreakEach) {
    TRichDocument doc;
    setText(doc, u"a\r\nb\rc\nd\n\re");
    EXPECT_EQ(doc.Text(), u"a\rb\rc\rd\r\re");
    EXPECT_EQ(doc.ParagraphCount(), 6);
    EXPECT_EQ(doc.Length(), 10);
    EXPECT_EQ(doc.SelStart(), 10);
}

TEST(RichDocumentEditing, UndoKeepsAsManyStepsAsTheLimitAndAtLeastOne) {
    struct Case {
        int limit, steps;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{3, 3}, Case{100, 4}}) {
        TRichDocument doc;
        doc.SetUndoLimit(c.limit);
        for (char16_t ch : std::u16string_view(u"abcd"))
            doc.ReplaceSelection(std::u16string(1, ch));
        int undone = 0;
        while (doc.Undo())
            ++undone;
        EXPECT_EQ(undone, c.steps) << "limit " << c.limit;
        EXPECT_EQ(doc.Text(), std::u16string(u"abcd").substr(0, 4 - c.steps));
        while (doc.Redo()) {
        }
        EXPECT_EQ(doc.Text(), u"abcd");
        EXPECT_EQ(doc.SelStart(), 4);
    }
}

TEST(RichDocumentEditing, UndoCoversFormatsAndANewEditDropsRedo) {
    TRichDocument doc;
    setText(doc, u"abc");
    setChar(doc, 0, 3, bold());
    ASSERT_TRUE(doc.Undo());
    EXPECT_FALSE(formatOf(doc, 0, 3).Bold);
    EXPECT_TRUE(doc.Modified());
    doc.SetSelection(3, 3);
    doc.ReplaceSelection(u"d");
    EXPECT_FALSE(doc.Redo());
    // A change made without undo leaves nothing to undo.
    doc.ReplaceSelection(u"e", false);
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_EQ(doc.Text(), u"abcde");
}

TEST(RichDocumentEditing, UndoBringsBackMergedParagraphsWithTheirFormats) {
    TRichDocument doc;
    setText(doc, u"one\rtwo\rthree");
    PF centre;
    centre.Mask = PF::pfmAlignment;
    centre.Alignment = 3;
    doc.SetSelection(5, 5);
    doc.SetParaFormat(centre);
    setChar(doc, 4, 7, bold());

    doc.SetSelection(2, 9); // "e", break, "two", break, "t"
    doc.ReplaceSelection(u"X");
    EXPECT_EQ(doc.Text(), u"onXhree");
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Text(), u"one\rtwo\rthree");
    EXPECT_EQ(doc.SelStart(), 2);
    EXPECT_EQ(doc.SelEnd(), 9);
    const int alignments[] = {1, 3, 1};
    for (int i = 0; i < 3; ++i) {
        doc.SetSelection(doc.ParagraphStart(i), doc.ParagraphStart(i));
        EXPECT_EQ(doc.ParaFormat().Alignment, alignments[i]) << i;
    }
    EXPECT_TRUE(formatOf(doc, 4, 7).Bold);
    EXPECT_FALSE(formatOf(doc, 0, 3).Bold);

    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.Text(), u"onXhree");
    EXPECT_EQ(doc.SelStart(), 3);
    // Back through the bold and the alignment too.
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_FALSE(formatOf(doc, 4, 7).Bold);
    doc.SetSelection(5, 5);
    EXPECT_EQ(doc.ParaFormat().Alignment, 1);
}

TEST(RichDocumentEditing, ProtectedTextChangesOnlyWhenTheHandlerAllows) {
    struct Case {
        int start, end;
        int handler; // -1 none, 0 refuses, 1 allows
        bool changes;
    };
    // "abcd" with "bc" protected.
    for (const Case c : {Case{1, 2, -1, false}, Case{2, 2, -1, false}, Case{1, 2, 0, false},
                         Case{0, 4, 1, true}, Case{1, 1, -1, true}, Case{3, 4, -1, true}}) {
        TRichDocument doc;
        setText(doc, u"abcd");
        CF prot;
        prot.Mask = CF::cfmProtected;
        prot.Protected = true;
        setChar(doc, 1, 3, prot);
        std::vector<std::pair<int, int>> asked;
        if (c.handler >= 0)
            doc.OnProtected = [&](int s, int e) {
                asked.emplace_back(s, e);
                return c.handler == 1;
            };
        doc.SetSelection(c.start, c.end);
        EXPECT_EQ(doc.ReplaceSelection(u"X"), c.changes) << c.start << "-" << c.end;
        EXPECT_EQ(doc.Text() != u"abcd", c.changes);
        if (c.handler >= 0) {
            EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{c.start, c.end}}));
        }
        // Protected text keeps its other formats too unless allowed.
        if (c.handler < 0 && !c.changes) {
            setChar(doc, 1, 3, bold());
            EXPECT_FALSE(formatOf(doc, 1, 3).Bold);
        }
    }
}

TEST(RichDocumentEditing, ChangesAreReportedAndMarkTheDocumentModified) {
    TRichDocument doc;
    int changes = 0, moves = 0;
    doc.OnChange = [&] { ++changes; };
    doc.OnSelectionChange = [&] { ++moves; };
    doc.ReplaceSelection(u"ab");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(moves, 1);
    EXPECT_TRUE(doc.Modified());
    doc.SetModified(false);
    doc.SetSelection(5, -1); // clamped to the end: no move
    EXPECT_EQ(moves, 1);
    doc.Clear();
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.Length(), 0);
}

// ---------------------------------------------------------------- positions

TEST(RichDocumentPositions, ParagraphsAndTheFinalMark) {
    TRichDocument doc;
    EXPECT_EQ(doc.Text(), u"");
    EXPECT_EQ(doc.Length(), 0);
    EXPECT_EQ(doc.ParagraphCount(), 1);

    setText(doc, u"ab\r\rcde");
    EXPECT_EQ(doc.Text(), u"ab\r\rcde");
    EXPECT_EQ(doc.Length(), 7);
    EXPECT_EQ(doc.TextRange(1, 5), u"b\r\rc");
    ASSERT_EQ(doc.ParagraphCount(), 3);
    const int starts[] = {0, 3, 4}, lengths[] = {2, 0, 3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(doc.ParagraphStart(i), starts[i]);
        EXPECT_EQ(doc.ParagraphLength(i), lengths[i]);
    }
    EXPECT_EQ(doc.ParagraphStart(3), -1);
    EXPECT_EQ(doc.ParagraphStart(-1), -1);
    const int paraOf[] = {0, 0, 0, 1, 2, 2, 2, 2};
    for (int pos = 0; pos <= 7; ++pos)
        EXPECT_EQ(doc.ParagraphFromChar(pos), paraOf[pos]) << pos;
}

// ---------------------------------------------------------------- formats

TEST(RichDocumentFormats, MaskHoldsOnlyTheFieldsTheWholeRangeShares) {
    TRichDocument doc;
    setText(doc, u"ab cd");
    setChar(doc, 3, 5, bold());
    CF f = formatOf(doc, 0, 5);
    EXPECT_FALSE(f.Mask & CF::cfmBold);
    EXPECT_FALSE(f.Mask & CF::cfmWeight);
    EXPECT_TRUE(f.Mask & CF::cfmItalic);
    EXPECT_TRUE(f.Mask & CF::cfmFace);
    EXPECT_FALSE(f.Bold); // the first character's

    f = formatOf(doc, 3, 5);
    EXPECT_TRUE(f.Bold);
    EXPECT_EQ(f.Weight, 700);
    EXPECT_EQ(f.Mask, CF::cfmAll);

    // The word scope at a caret inside "cd" reaches the whole word.
    doc.SetSelection(4, 4);
    EXPECT_TRUE(doc.CharFormat(TRichDocument::scWord).Bold);
    CF italic;
    italic.Mask = CF::cfmItalic;
    italic.Italic = true;
    doc.SetCharFormat(TRichDocument::scWord, italic);
    EXPECT_TRUE(formatOf(doc, 3, 5).Italic);
    EXPECT_FALSE(formatOf(doc, 0, 2).Italic);
}

TEST(RichDocumentFormats, DefaultFormatReachesOnlyTextWithoutItsOwnField) {
    TRichDocument doc;
    setText(doc, u"abcd");
    CF size;
    size.Mask = CF::cfmSize;
    size.HeightTwips = 360;
    setChar(doc, 2, 4, size);
    CF def;
    def.Mask = CF::cfmSize | CF::cfmFace;
    def.HeightTwips = 480;
    def.Face = "Times New Roman";
    doc.SetCharFormat(TRichDocument::scDefault, def);
    EXPECT_EQ(formatOf(doc, 0, 2).HeightTwips, 480);
    EXPECT_EQ(formatOf(doc, 2, 4).HeightTwips, 360);
    EXPECT_EQ(formatOf(doc, 2, 4).Face, "Times New Roman");

    doc.ClearFormatting();
    EXPECT_EQ(formatOf(doc, 0, 4).HeightTwips, 480);
    EXPECT_EQ(formatOf(doc, 0, 4).Mask, CF::cfmAll);
}

TEST(RichDocumentFormats, ParagraphFormatsWithNumberingAndTabs) {
    TRichDocument doc;
    setText(doc, u"one\rtwo\rthree");
    PF pf;
    pf.Mask = PF::pfmAll;
    pf.Alignment = 3;
    pf.Numbering = 1;
    pf.StartIndent = 200;
    pf.Offset = 360;
    pf.RightIndent = 100;
    pf.SpaceBefore = 60;
    pf.SpaceAfter = 120;
    pf.TabStops = {720, 1440};
    doc.SetSelection(0, 5); // "one" and the start of "two"
    doc.SetParaFormat(pf);

    doc.SetSelection(5, 5);
    PF read = doc.ParaFormat();
    EXPECT_EQ(read.Mask, PF::pfmAll);
    EXPECT_EQ(read.Alignment, 3);
    EXPECT_EQ(read.Numbering, 1);
    EXPECT_EQ(read.StartIndent, 200);
    EXPECT_EQ(read.Offset, 360);
    EXPECT_EQ(read.RightIndent, 100);
    EXPECT_EQ(read.SpaceBefore, 60);
    EXPECT_EQ(read.SpaceAfter, 120);
    EXPECT_EQ(read.TabStops, (std::vector<int>{720, 1440}));

    // Only the offset changes: the start indent stays.
    PF offset;
    offset.Mask = PF::pfmOffset;
    offset.Offset = -100;
    doc.SetParaFormat(offset);
    read = doc.ParaFormat();
    EXPECT_EQ(read.StartIndent, 200);
    EXPECT_EQ(read.Offset, -100);

    doc.SetSelection(0, -1);
    read = doc.ParaFormat();
    EXPECT_FALSE(read.Mask & PF::pfmNumbering);
    EXPECT_FALSE(read.Mask & PF::pfmTabStops);
    EXPECT_EQ(read.Numbering, 1); // the first paragraph's
}

// ---------------------------------------------------------------- content

TEST(RichDocumentContent, RoundTripKeepsRunsPicturesAndObjectBytes) {
    const TRichContent in = sampleContent();
    TRichDocument doc;
    doc.SetContent(in);
    EXPECT_EQ(doc.Text(), u"Ab\uFFFC\rcd\uFFFC");
    EXPECT_EQ(doc.ObjectCount(), 2);
    EXPECT_FALSE(doc.Modified());

    const TRichContent out = doc.Content();
    ASSERT_EQ(out.Paragraphs.size(), 2u);
    EXPECT_EQ(out.Paragraphs[0].Format.Alignment, 3);
    EXPECT_EQ(out.Paragraphs[1].Format.StartIndent, 360);
    const auto& runs = out.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].Text, u"A");
    EXPECT_FALSE(runs[0].Format.Bold);
    EXPECT_EQ(runs[1].Text, u"b");
    EXPECT_TRUE(runs[1].Format.Bold);
    EXPECT_EQ(runs[1].Format.HeightTwips, 280);
    ASSERT_EQ(runs[2].Picture, 0);
    ASSERT_EQ(out.Pictures.size(), 1u);
    EXPECT_EQ(out.Pictures[0].Bytes, in.Pictures[0].Bytes);
    ASSERT_EQ(out.Objects.size(), 1u);
    EXPECT_EQ(out.Objects[0].Group, in.Objects[0].Group);
    EXPECT_EQ(out.Paragraphs[1].Runs.back().Object, 0);
}

TEST(RichDocumentContent, SelectionIsCutToItsParagraphsAndInsertedBack) {
    TRichDocument doc;
    doc.SetContent(sampleContent());
    doc.SetSelection(1, 5); // "b" + picture, break, "c"
    const TRichContent part = doc.Content(true);
    ASSERT_EQ(part.Paragraphs.size(), 2u);
    EXPECT_EQ(textOf(part.Paragraphs[0]), u"b\uFFFC");
    EXPECT_EQ(textOf(part.Paragraphs[1]), u"c");
    EXPECT_EQ(part.Paragraphs[0].Format.Alignment, 3);
    EXPECT_EQ(part.Pictures.size(), 1u);
    EXPECT_TRUE(part.Objects.empty());

    // Put in place of "d": the inserted paragraph brings its format, the text after keeps its own.
    doc.SetSelection(5, 6);
    doc.SetContent(part, true);
    EXPECT_EQ(doc.Text(), u"Ab\uFFFC\rcb\uFFFC\rc\uFFFC");
    EXPECT_EQ(doc.SelStart(), 9);
    doc.SetSelection(4, 4);
    EXPECT_EQ(doc.ParaFormat().Alignment, 3);
    doc.SetSelection(8, 8);
    EXPECT_EQ(doc.ParaFormat().StartIndent, 360);
    EXPECT_TRUE(formatOf(doc, 5, 6).Bold);
    EXPECT_EQ(doc.ObjectCount(), 3);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Text(), u"Ab\uFFFC\rcd\uFFFC");
}

TEST(RichDocumentContent, RtfLoadsSavesAndRefusesWhatIsNotRtf) {
    TRichDocument doc;
    ASSERT_TRUE(doc.LoadRtf(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello \\b bold\\b0\\par World}"));
    EXPECT_EQ(doc.Text(), u"Hello bold\rWorld");
    EXPECT_TRUE(formatOf(doc, 6, 10).Bold);
    EXPECT_FALSE(doc.LoadRtf("Hello"));
    EXPECT_EQ(doc.Text(), u"Hello bold\rWorld");

    doc.SetSelection(6, 10);
    TRichDocument part;
    ASSERT_TRUE(part.LoadRtf(doc.SaveRtf(TRichDocument::sfSelection)));
    EXPECT_EQ(part.Text(), u"bold");
    EXPECT_TRUE(formatOf(part, 0, 4).Bold);

    TRichDocument withObjects;
    withObjects.SetContent(sampleContent());
    TRichDocument copy, without;
    ASSERT_TRUE(copy.LoadRtf(withObjects.SaveRtf()));
    EXPECT_EQ(copy.ObjectCount(), 2);
    EXPECT_EQ(copy.Content().Objects.at(0).Group, sampleContent().Objects[0].Group);
    ASSERT_TRUE(without.LoadRtf(withObjects.SaveRtf(TRichDocument::sfNoObjects)));
    EXPECT_EQ(without.Content().Objects.size(), 0u);

    // Loading into the selection replaces only it.
    doc.SetSelection(0, 5);
    ASSERT_TRUE(doc.LoadRtf("{\\rtf1\\ansi Bye}", TRichDocument::sfSelection));
    EXPECT_EQ(doc.Text(), u"Bye bold\rWorld");
}

// ---------------------------------------------------------------- plain text

TEST(RichDocumentPlainText, BytesLoadWholeInTheLegacyCodePageOrUtf16) {
    struct Case {
        std::string bytes;
        unsigned flags;
        std::u16string text;
    };
    const Case cases[] = {
        {"\xD6\xD0\xCE\xC4 ok", 0, u"中文 ok"},
        {std::string("a\0b", 3), 0, std::u16string(u"a\0b", 3)},
        {"x\r\ny\rz\nw\r", 0, u"x\ry\rz\rw\r"},
        {std::string("\x2D\x4E\r\0\n\0\0\x4E", 8), TRichDocument::sfUnicode, u"\u4E2D\r\u4E00"},
        {std::string("A\0B", 3), TRichDocument::sfUnicode,
         u"A\uFFFD"}, // a cut unit is not lost silently
    };
    for (const Case& c : cases) {
        TRichDocument doc;
        doc.LoadText(c.bytes, c.flags);
        EXPECT_EQ(doc.Text(), c.text);
        EXPECT_EQ(doc.SelStart(), 0);
        EXPECT_FALSE(doc.Modified());
    }
}

TEST(RichDocumentPlainText, SavesWithCrLfInTheLegacyCodePageOrUtf16) {
    TRichDocument doc;
    setText(doc, std::u16string(u"中\0\rb", 4));
    EXPECT_EQ(doc.SaveText(), std::string("\xD6\xD0\0\r\nb", 6));
    EXPECT_EQ(doc.SaveText(TRichDocument::sfUnicode), std::string("\x2D\x4E\0\0\r\0\n\0b\0", 10));
    doc.SetSelection(3, 4);
    EXPECT_EQ(doc.SaveText(TRichDocument::sfSelection), "b");

    doc.SetSelection(1, 1);
    doc.LoadText("X\r\nY", TRichDocument::sfSelection);
    EXPECT_EQ(doc.Text(), std::u16string(u"中X\rY\0\rb", 7));
}

// ---------------------------------------------------------------- links

TEST(RichDocumentLinks, UrlsAreFoundAtWordStarts) {
    struct Case {
        std::u16string text;
        int at;
        std::pair<int, int> link;
    };
    const Case cases[] = {
        {u"see http://x.org/a?b=1, then", 6, {4, 22}},
        {u"go to WWW.example.com.", 8, {6, 21}},
        {u"mail mailto:a@b.cn now", 8, {5, 18}},
        {u"open file:///c:/a b", 10, {5, 17}},
        {u"ftp://h/中文", 2, {0, 8}},
        {u"xhttp://no.where", 3, {-1, -1}},
        {u"http:// alone", 2, {-1, -1}},
    };
    for (const Case& c : cases) {
        TRichDocument doc;
        setText(doc, c.text);
        EXPECT_EQ(doc.LinkAt(c.at), c.link) << std::string(c.text.begin(), c.text.end());
    }
    TRichDocument doc;
    setText(doc, u"http://x.org");
    doc.SetAutoUrlDetect(false);
    EXPECT_EQ(doc.LinkAt(3), std::make_pair(-1, -1));
}

// ---------------------------------------------------------------- layout

TEST(RichDocumentLayout, NarrowRectangleBreaksAtLinesAndReportsTheRest) {
    TRichDocument doc;
    setText(doc, kThreeParagraphs);
    const TRect tall{0, 0, 2880, 15000000};
    const TRichFormatResult all = measure(doc, tall);
    EXPECT_EQ(all.NextChar, doc.Length());

    TRichDocument one;
    setText(one, kThreeParagraphs.substr(0, kThreeParagraphs.find(u'\r')));
    const int oneBottom = measure(one, tall).BottomTwips;
    EXPECT_GT(oneBottom, 0);
    EXPECT_GT(all.BottomTwips, 2 * oneBottom);

    // Pages of 3 lines: every page ends at a line boundary, and together they hold the text.
    const std::u16string text = doc.Text();
    const TRect page{0, 0, 2880, oneBottom * 3 / 4};
    int at = 0, pages = 0;
    while (at < doc.Length()) {
        const TRichFormatResult r = measure(doc, page, at);
        ASSERT_GT(r.NextChar, at);
        ASSERT_LE(r.BottomTwips, page.Bottom);
        if (r.NextChar < doc.Length()) {
            const char16_t before = text[static_cast<std::size_t>(r.NextChar - 1)];
            EXPECT_TRUE(before == u' ' || before == u'\r') << r.NextChar;
        }
        at = r.NextChar;
        ASSERT_LT(++pages, 50);
    }
    EXPECT_GT(pages, 3);
}

TEST(RichDocumentLayout, AFirstLineTallerThanTheRectangleIsStillTaken) {
    TRichDocument doc;
    setText(doc, u"Tall text\rnext");
    const TRichFormatResult r = measure(doc, {0, 0, 5000, 10}, 0);
    EXPECT_EQ(r.NextChar, 10);
    EXPECT_GT(r.BottomTwips, 10);
    EXPECT_EQ(measure(doc, {0, 0, 5000, 10}, 10).NextChar, doc.Length());
}

TEST(RichDocumentLayout, ReferenceResolutionKeepsTheLineBreaks) {
    TRichDocument doc;
    setText(doc, kThreeParagraphs);
    // A rectangle one twip high takes one line per call: the line starts.
    auto lineStarts = [&](int dpi) {
        std::vector<int> starts;
        for (int at = 0; at < doc.Length(); at = measure(doc, {0, 0, 3000, 1}, at, dpi).NextChar)
            starts.push_back(at);
        return starts;
    };
    const std::vector<int> screen = lineStarts(96), printer = lineStarts(600);
    ASSERT_EQ(screen.size(), printer.size());
    for (std::size_t i = 0; i < screen.size(); ++i)
        EXPECT_NEAR(screen[i], printer[i], 6) << i;
    EXPECT_GE(screen.size(), 6u);
}

TEST(RichDocumentLayout, DrawsTextRecordsWithTheRunFontsInsideTheRectangle) {
    TRichDocument doc;
    setText(doc, u"Hello bold world\rSecond 中文");
    setChar(doc, 6, 10, bold());
    CF under;
    under.Mask = CF::cfmUnderline | CF::cfmColor;
    under.Underline = true;
    under.AutoColor = false;
    under.Color = clRed;
    setChar(doc, 11, 16, under);
    PF bullet;
    bullet.Mask = PF::pfmNumbering | PF::pfmOffset;
    bullet.Numbering = 1;
    bullet.Offset = 360;
    doc.SetSelection(17, 17);
    doc.SetParaFormat(bullet);

    TRecordingCanvas canvas(400, 200);
    TRichFormatRange r;
    r.Target = &canvas;
    r.Rect = {1440, 720, 1440 + 4320, 720 + 2880}; // (96, 48) px, 288 x 192 px
    const TRichFormatResult result = doc.FormatRange(r);
    EXPECT_EQ(result.NextChar, doc.Length());

    const auto records = canvas.Recording().TextRecords();
    std::u16string all;
    for (const auto& t : records) {
        all += t.Text;
        EXPECT_GE(t.X, 96);
        EXPECT_GE(t.Y, 48);
        EXPECT_LT(t.Y, 48 + 192);
        EXPECT_EQ(t.Advances.size(), t.Text.size());
    }
    EXPECT_NE(all.find(u"Hello "), std::u16string::npos);
    EXPECT_NE(all.find(u"Second 中文"), std::u16string::npos);
    auto recordOf = [&](std::u16string_view text) {
        return *std::find_if(records.begin(), records.end(), [&](const TTextRecord& t) {
            return t.Text.find(text) != std::u16string::npos;
        });
    };
    const TTextRecord b = recordOf(u"bold");
    EXPECT_EQ(b.Font.Name, "Arial");
    EXPECT_EQ(b.Font.Height, -13); // 10 points at 96 dpi
    EXPECT_TRUE(b.Font.Style.Contains(fsBold));
    const TTextRecord w = recordOf(u"world");
    EXPECT_TRUE(w.Font.Style.Contains(fsUnderline));
    EXPECT_EQ(w.Font.Color, clRed);
    EXPECT_GT(w.X, b.X);
    // The bulleted paragraph: the bullet at the indent, its text 360 twips (24 px) in.
    const TTextRecord second = recordOf(u"Second");
    EXPECT_GT(second.Y, b.Y);
    EXPECT_EQ(second.X, 96 + 24);
    const TTextRecord dot = recordOf(u"\u2022");
    EXPECT_EQ(dot.X, 96);
    EXPECT_EQ(dot.Y, second.Y);
}

TEST(RichDocumentLayout, PicturesAndObjectsAreDrawnOrFramed) {
    TRichDocument doc;
    doc.SetContent(sampleContent());
    TRasterCanvas raster(300, 120);
    TRichFormatRange r;
    r.Target = &raster;
    r.Rect = {0, 0, 4500, 1800};
    doc.FormatRange(r);
    // The picture (300 twips = 20 px square) sits on the first line, centred.
    int red = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x)
            if (raster.Pixel(x, y) == clRed) ++red;
    EXPECT_GT(red, 300);

    // A bare WMF shows at its size through the metafile class.
    TRichContent wmf = sampleContent();
    wmf.Pictures[0].Type = TRichPicture::pkWmf;
    wmf.Pictures[0].Bytes = redWmf();
    wmf.Pictures[0].WidthTwips = wmf.Pictures[0].HeightTwips = 600; // 40 px
    TRichDocument withWmf;
    withWmf.SetContent(wmf);
    TRasterCanvas wmfRaster(300, 120);
    r.Target = &wmfRaster;
    withWmf.FormatRange(r);
    red = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x)
            if (wmfRaster.Pixel(x, y) == clRed) ++red;
    EXPECT_GT(red, 1200);
    EXPECT_LE(red, 1600);

    // The object has no picture of its own: a frame with its class.
    TRecordingCanvas canvas(300, 120);
    r.Target = &canvas;
    doc.FormatRange(r);
    const auto records = canvas.Recording().TextRecords();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(),
                            [](const TTextRecord& t) { return t.Text == u"Equation.3"; }));

    // A picture whose data cannot be read is framed, and its bytes stay as they were.
    TRichContent damaged = sampleContent();
    damaged.Pictures[0].Type = TRichPicture::pkPng;
    damaged.Pictures[0].Bytes = "\x89PNG broken";
    doc.SetContent(damaged);
    TRecordingCanvas framed(300, 120);
    r.Target = &framed;
    EXPECT_EQ(doc.FormatRange(r).NextChar, doc.Length());
    EXPECT_GT(framed.Recording().RecordCount(), framed.Recording().TextRecords().size());
    EXPECT_EQ(doc.Content().Pictures.at(0).Bytes, "\x89PNG broken");
}
