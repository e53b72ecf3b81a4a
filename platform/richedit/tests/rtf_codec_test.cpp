// The RTF reader and writer: fixtures read with their text and formats, code pages and \u,
// round trips, the writer's exact bytes and the shape the RTF export cuts up, LibreOffice as an
// independent reader and writer, and mutated input.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/tests/mutator.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "platform/richedit/fuzz/rtf_check.h"
#include "platform/richedit/rich_content.h"

namespace {

const std::string kData = LUMETRA_TESTDATA_DIR;

std::string fixture(const std::string& name) {
    return TempDir::ReadAll(kData + "/" + name);
}

TRichContent read(std::string_view rtf) {
    TRichContent c;
    std::string error;
    EXPECT_TRUE(ReadRtf(rtf, c, &error)) << error;
    return c;
}

std::string textOf(const TRichParagraph& p) {
    std::u16string s;
    for (const TRichRun& r : p.Runs)
        s += r.Text;
    return Utf16ToUtf8(s);
}

std::vector<std::string> texts(const TRichContent& c) {
    std::vector<std::string> out;
    for (const TRichParagraph& p : c.Paragraphs)
        out.push_back(textOf(p));
    return out;
}

// The run whose text contains `part`, or null.
const TRichRun* runWith(const TRichContent& c, const std::string& part) {
    for (const TRichParagraph& p : c.Paragraphs)
        for (const TRichRun& r : p.Runs)
            if (Utf16ToUtf8(r.Text).find(part) != std::string::npos) return &r;
    return nullptr;
}

const TRichParagraph* paragraphWith(const TRichContent& c, const std::string& part) {
    for (const TRichParagraph& p : c.Paragraphs)
        if (textOf(p).find(part) != std::string::npos) return &p;
    return nullptr;
}

// The visible character format, one line, so that a difference shows which field it is.
std::string describe(const TRichCharFormat& f) {
    std::ostringstream s;
    s << (f.Bold ? "b" : "-") << (f.Italic ? "i" : "-") << (f.Underline ? "u" : "-")
      << (f.StrikeOut ? "s" : "-") << (f.Protected ? "p" : "-") << " size " << f.HeightTwips
      << " offset " << f.OffsetTwips << " face " << f.Face << "/" << int(f.Charset) << " color "
      << (f.AutoColor ? std::string("auto") : std::to_string(f.Color)) << " back "
      << (f.AutoBackColor ? std::string("auto") : std::to_string(f.BackColor));
    return s.str();
}

std::string describe(const TRichParaFormat& f) {
    std::ostringstream s;
    s << "align " << f.Alignment << " numbering " << f.Numbering << " start " << f.StartIndent
      << " offset " << f.Offset << " right " << f.RightIndent << " before " << f.SpaceBefore
      << " after " << f.SpaceAfter << " tabs";
    for (int t : f.TabStops)
        s << " " << t;
    return s.str();
}

std::string describe(const TRichPicture& p) {
    std::ostringstream s;
    s << "picture kind " << int(p.Type) << " bytes " << p.Bytes.size() << " pixels " << p.PixelWidth
      << "x" << p.PixelHeight << " twips " << p.WidthTwips << "x" << p.HeightTwips;
    return s.str() + (p.Bytes.empty() ? "" : " first " + std::to_string(uint8_t(p.Bytes[0])));
}

// Everything the content shows: paragraphs, runs with adjacent equal formats merged (the writer
// may merge them), pictures and objects where they stand.
std::string describe(const TRichContent& c) {
    std::ostringstream s;
    for (const TRichParagraph& p : c.Paragraphs) {
        s << "paragraph " << describe(p.Format) << "\n";
        std::string last, text;
        const auto close = [&] {
            if (!last.empty()) s << "  run [" << text << "] " << last << "\n";
            last.clear();
            text.clear();
        };
        for (const TRichRun& r : p.Runs) {
            if (r.Picture >= 0 || r.Object >= 0) {
                close();
                if (r.Picture >= 0) s << "  " << describe(c.Pictures.at(r.Picture)) << "\n";
                if (r.Object >= 0) {
                    const TRichObject& o = c.Objects.at(r.Object);
                    s << "  object " << o.Group << " size " << o.WidthTwips << "x" << o.HeightTwips
                      << " result " << (o.Result ? describe(*o.Result) : std::string("none"))
                      << "\n";
                }
                continue;
            }
            const std::string format = describe(r.Format);
            if (format != last) close();
            last = format;
            text += Utf16ToUtf8(r.Text);
        }
        close();
    }
    return s.str();
}

TRichCharFormat charFormat(std::function<void(TRichCharFormat&)> edit = {}) {
    TRichCharFormat f;
    f.Face = "Arial";
    f.Charset = 0;
    f.HeightTwips = 200;
    if (edit) edit(f);
    return f;
}

TRichParagraph paragraph(std::vector<TRichRun> runs,
                         std::function<void(TRichParaFormat&)> edit = {}) {
    TRichParagraph p;
    p.Runs = std::move(runs);
    if (edit) edit(p.Format);
    return p;
}

TRichRun run(const std::u16string& text, TRichCharFormat f = charFormat()) {
    return TRichRun{text, std::move(f)};
}

std::string pngBytes() {
    return std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string("\0\0\0\1\0\0\0\1", 8);
}

} // namespace

// ---- reading

// Each case is a document body; the first paragraph's text is what it must read as.
TEST(RtfRead, DecodesCodePagesUnicodeAndEscapes) {
    struct Case {
        const char* rtf;
        const char* text;
    };
    const Case cases[] = {
        {R"({\rtf1\ansi\ansicpg936 \'c4\'e3\'ba\'c3})", "你好"},
        {R"({\rtf1\ansi\uc1\u20320?\u22909?})", "你好"},
        {R"({\rtf1\ansi\uc2\u20320\'c4\'e3x})", "你x"},
        {R"({\rtf1\ansi\uc0\u20320\'c4\'e3})", "你你"},
        {R"({\rtf1\ansi\u-24691?})", "龍"},
        {R"({\rtf1\ansi\u-10179?\u-8704?})", "😀"},
        {R"({\rtf1\ansi\u-10179? lone})", "\xEF\xBF\xBD lone"},
        {R"({\rtf1\ansi\u65532?})", "\xEF\xBF\xBD"},
        {R"({\rtf1\ansi{\fonttbl{\f0\fcharset128 M;}}\f0 \'82\'a0})", "あ"},
        {R"({\rtf1\ansi{\fonttbl{\f0\fcharset136 M;}}\f0 \'a7\'41})", "你"},
        {R"({\rtf1\ansi{\fonttbl{\f0\fcharset129 M;}}\f0 \'c7\'d1})", "한"},
        {R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 M;}}\f0 \'e9t\'e9})", "été"},
        {R"({\rtf1\ansi\ansicpg1251{\fonttbl{\f0\fcharset1 M;}}\f0 \'c0})", "А"},
        {R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fcharset77 M;}}\f0 \'c4\'e3})", "你"},
        {R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fcharset134 M;}{\f1\fcharset0 L;}}\f0 \'c4\'e3\f1 \'e9})",
         "你é"},
        {R"({\rtf1\ansi a\'5cb\{\}\\c\tab d})", "a\\b{}\\c\td"},
        {R"({\rtf1\ansi \emdash\~\lquote x\rquote\-})", "—\xC2\xA0‘x’"},
        {"{\\rtf1\\ansi a\r\nb c}", "ab c"},
        {R"({\rtf1\ansi a{\*\unknown hidden}{\*\fldinst HYPERLINK x}{\fldrslt b}})", "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rtf);
        const TRichContent content = read(c.rtf);
        ASSERT_FALSE(content.Paragraphs.empty());
        EXPECT_EQ(textOf(content.Paragraphs[0]), c.text);
    }
}

TEST(RtfRead, FormatsFixture) {
    const TRichContent c = read(fixture("formats.rtf"));
    EXPECT_EQ(c.CodePage, 936);
    EXPECT_EQ(texts(c),
              (std::vector<std::string>{"plain bolditalicredundergone2", "indented\ttext",
                                        "bullet 你", "bullet 好", "A\t\tC", "last", "line"}));

    // Runs: "plain " in 14-point Arial, then each format on its own.
    EXPECT_EQ(describe(runWith(c, "plain")->Format),
              "----- size 280 offset 0 face Arial/0 color auto back auto");
    EXPECT_EQ(describe(runWith(c, "bold")->Format),
              "b---- size 280 offset 0 face Arial/0 color auto back auto");
    EXPECT_TRUE(runWith(c, "italic")->Format.Italic);
    EXPECT_EQ(describe(runWith(c, "red")->Format),
              "----- size 280 offset 0 face Arial/0 color 255 back auto");
    EXPECT_TRUE(runWith(c, "under")->Format.Underline);
    EXPECT_TRUE(runWith(c, "gone")->Format.StrikeOut);
    EXPECT_EQ(describe(runWith(c, "2")->Format),
              "----- size 200 offset 60 face 宋体/134 color auto back auto");
    EXPECT_EQ(runWith(c, "last")->Format.BackColor, RGB(0, 128, 0));
    EXPECT_FALSE(runWith(c, "last")->Format.AutoBackColor);

    // Paragraphs: \li 720 \fi -360 is a first line at 360 and the others 360 further.
    EXPECT_EQ(describe(c.Paragraphs[0].Format),
              "align 3 numbering 0 start 0 offset 0 right 0 before 120 after 240 tabs");
    EXPECT_EQ(describe(c.Paragraphs[1].Format),
              "align 1 numbering 0 start 360 offset 360 right 240 before 0 after 0 tabs 1440 2880");
    EXPECT_EQ(describe(c.Paragraphs[2].Format),
              "align 1 numbering 1 start 0 offset 360 right 0 before 0 after 0 tabs");
    EXPECT_EQ(c.Paragraphs[3].Format.Numbering, 1); // no \pard: the bullet goes on
    EXPECT_EQ(c.Paragraphs[4].Format.Numbering, 0);
}

TEST(RtfRead, PicturesAndObjectFixtures) {
    const TRichContent pics = read(fixture("pictures.rtf"));
    EXPECT_EQ(texts(pics), (std::vector<std::string>{"A\xEF\xBF\xBC"
                                                     "B",
                                                     "\xEF\xBF\xBC", ""}));
    ASSERT_EQ(pics.Pictures.size(), 2u); // the \nonshppict stand-in is not a picture of its own
    EXPECT_EQ(pics.Paragraphs[0].Runs.at(1).Picture, 0);
    EXPECT_EQ(describe(pics.Pictures[0]),
              "picture kind 0 bytes 69 pixels 1x1 twips 300x150 first 137");
    EXPECT_EQ(pics.Pictures[0].Bytes.substr(1, 3), "PNG");
    // \picscalex and \picscaley scale the goal size.
    EXPECT_EQ(describe(pics.Pictures[1]),
              "picture kind 2 bytes 44 pixels 1x1 twips 300x1200 first 40");

    const std::string rtf = fixture("object.rtf");
    const TRichContent obj = read(rtf);
    EXPECT_EQ(texts(obj), (std::vector<std::string>{"x\xEF\xBF\xBCy", ""}));
    ASSERT_EQ(obj.Objects.size(), 1u);
    EXPECT_TRUE(obj.Pictures.empty()); // the result picture belongs to the object
    const std::size_t start = rtf.find("{\\object");
    const std::size_t end = rtf.find("}y\\par") + 1;
    EXPECT_EQ(obj.Objects[0].Group, rtf.substr(start, end - start));
    EXPECT_EQ(obj.Objects[0].WidthTwips, 600);
    EXPECT_EQ(obj.Objects[0].HeightTwips, 300);
    ASSERT_TRUE(obj.Objects[0].Result);
    EXPECT_EQ(describe(*obj.Objects[0].Result),
              "picture kind 2 bytes 44 pixels 1x1 twips 600x300 first 40");
    EXPECT_EQ(obj.Paragraphs[0].Runs.at(1).Object, 0);
}

TEST(RtfRead, RefusesNonRtfAndKeepsWhatPrecedesACut) {
    for (const char* bad : {"", "hello", "{\\rt", " {\\rtf1}", "{\\urtf1 x}"}) {
        TRichContent c;
        std::string error;
        EXPECT_FALSE(ReadRtf(bad, c, &error)) << bad;
        EXPECT_NE(error.find("RTF"), std::string::npos) << error;
    }
    struct Case {
        const char* rtf;
        std::vector<std::string> texts;
        std::size_t pictures;
    };
    const Case cuts[] = {
        {"{\\rtf", {""}, 0},
        {"{\\rtf1 abc\\par{\\b de", {"abc", "de"}, 0},
        {"{\\rtf1 a{\\pict\\pngblip 8950", {"a"}, 0},
        {"{\\rtf1 a{\\object{\\result{\\pict\\pngblip 89}}b", {"a"}, 0},
        {"{\\rtf1 a\\'c4", {"a?"}, 0},
        {"{\\rtf1 a{\\pict\\pngblip 89}b} trailing",
         {"a\xEF\xBF\xBC"
          "b"},
         1},
    };
    for (const Case& c : cuts) {
        SCOPED_TRACE(c.rtf);
        const TRichContent content = read(c.rtf);
        EXPECT_EQ(texts(content), c.texts);
        EXPECT_EQ(content.Pictures.size(), c.pictures);
    }
}

TEST(RtfRead, HostileValuesAreBounded) {
    // Nesting past the limit is skipped as a whole; the text around it stays.
    const std::string flood =
        "{\\rtf1 a" + std::string(100000, '{') + "b" + std::string(100000, '}') + "c}";
    EXPECT_EQ(texts(read(flood)), std::vector<std::string>{"ac"});
    const std::string open = "{\\rtf1 a" + std::string(100000, '{') + "b";
    EXPECT_EQ(texts(read(open)), std::vector<std::string>{"a"});

    // \bin reaches no further than the input; \u outside 16 bits is dropped with its fallback.
    EXPECT_EQ(texts(read("{\\rtf1 a\\bin99999999999999 xyz}")), std::vector<std::string>{"a"});
    EXPECT_EQ(texts(read("{\\rtf1 a\\bin3 }}}b}")), std::vector<std::string>{"ab"});
    EXPECT_EQ(texts(read("{\\rtf1 a\\u99999?\\u-99999?b}")), std::vector<std::string>{"ab"});

    const TRichContent c = read(
        "{\\rtf1\\fs999999999 \\up99999999 \\li-99999999999\\fi99999999999\\sb-5"
        "\\tx1\\tx2\\tx3\\tx4\\tx5\\tx6\\tx7\\tx8\\tx9\\tx10\\tx11\\tx12\\tx13\\tx14\\tx15\\tx16"
        "\\tx17\\tx18\\tx19\\tx20\\tx21\\tx22\\tx23\\tx24\\tx25\\tx26\\tx27\\tx28\\tx29\\tx30"
        "\\tx31\\tx32\\tx33\\tx34 x{\\pict\\pngblip\\picw99999999\\picwgoal99999999"
        "\\picscalex99999 89}}");
    const TRichRun& x = c.Paragraphs.at(0).Runs.at(0);
    EXPECT_EQ(x.Format.HeightTwips, 32760);
    EXPECT_EQ(x.Format.OffsetTwips, 32760);
    const TRichParaFormat& p = c.Paragraphs[0].Format;
    EXPECT_EQ(p.StartIndent, 0); // -72000 + 72000
    EXPECT_EQ(p.Offset, -72000);
    EXPECT_EQ(p.SpaceBefore, 0);
    EXPECT_EQ(p.TabStops.size(), 32u);
    ASSERT_EQ(c.Pictures.size(), 1u);
    EXPECT_EQ(c.Pictures[0].PixelWidth, 100000);
    EXPECT_EQ(c.Pictures[0].WidthTwips, 144000);

    // Every run carries its face: a name is cut to what a face name holds.
    const TRichContent named =
        read("{\\rtf1{\\fonttbl{\\f0 " + std::string(100000, 'N') + ";}}\\f0 a\\b b}");
    EXPECT_EQ(named.Paragraphs.at(0).Runs.at(1).Format.Face, std::string(31, 'N'));
}

// ---- writing

TEST(RtfWrite, RoundTripKeepsTextFormatsPicturesAndObjects) {
    const TRichObject object = read(fixture("object.rtf")).Objects.at(0);
    TRichPicture png;
    png.Type = TRichPicture::pkPng;
    png.Bytes = pngBytes();
    png.PixelWidth = png.PixelHeight = 1;
    png.WidthTwips = 300;
    png.HeightTwips = 150;

    struct Case {
        const char* name;
        std::function<void(TRichContent&)> build;
    };
    const Case cases[] = {
        {"empty", [](TRichContent&) {}},
        {"escapes and controls",
         [](TRichContent& c) {
             c.Paragraphs = {paragraph({run(u"a\\b{c}d\te ?  x"), run(u"\\sa200 \\lang3")}),
                             paragraph({run(u" lead")}), paragraph({})};
         }},
        {"unicode in the code page and beyond",
         [](TRichContent& c) {
             TRichCharFormat song = charFormat([](TRichCharFormat& f) {
                 f.Face = "宋体";
                 f.Charset = 134;
             });
             c.Paragraphs = {paragraph({run(u"你好 ஐ 😀 €", song), run(u"été ஐ")})};
         }},
        {"character formats",
         [](TRichContent& c) {
             c.Paragraphs = {paragraph({
                 run(u"b", charFormat([](TRichCharFormat& f) { f.Bold = true; })),
                 run(u"i", charFormat([](TRichCharFormat& f) { f.Italic = f.Underline = true; })),
                 run(u"s",
                     charFormat([](TRichCharFormat& f) { f.StrikeOut = f.Protected = true; })),
                 run(u"c", charFormat([](TRichCharFormat& f) {
                         f.AutoColor = false;
                         f.Color = clRed;
                         f.AutoBackColor = false;
                         f.BackColor = clYellow;
                     })),
                 run(u"h", charFormat([](TRichCharFormat& f) {
                         f.HeightTwips = 360;
                         f.OffsetTwips = -40;
                         f.Face = "Times New Roman";
                     })),
                 run(u"x", charFormat([](TRichCharFormat& f) {
                         f.AutoColor = false;
                         f.Color = clBlue;
                         f.OffsetTwips = 60;
                     })),
             })};
         }},
        {"paragraph formats",
         [](TRichContent& c) {
             c.Paragraphs = {
                 paragraph({run(u"r")}, [](TRichParaFormat& f) { f.Alignment = 2; }),
                 paragraph({run(u"c")},
                           [](TRichParaFormat& f) {
                               f.Alignment = 3;
                               f.SpaceBefore = 120;
                               f.SpaceAfter = 240;
                           }),
                 paragraph({run(u"j")},
                           [](TRichParaFormat& f) {
                               f.Alignment = 4;
                               f.StartIndent = 720;
                               f.Offset = -360;
                               f.RightIndent = 100;
                               f.TabStops = {720, 1440};
                           }),
                 paragraph({run(u"hanging")},
                           [](TRichParaFormat& f) {
                               f.StartIndent = 0;
                               f.Offset = 360;
                               f.Numbering = 1;
                           }),
                 paragraph({run(u"after")}, [](TRichParaFormat& f) { f.SpaceAfter = 100; }),
             };
         }},
        {"pictures and an object",
         [&](TRichContent& c) {
             TRichPicture dib;
             dib.Type = TRichPicture::pkDib;
             dib.Bytes = std::string(44, '\x28');
             dib.PixelWidth = dib.PixelHeight = 1;
             dib.WidthTwips = dib.HeightTwips = 15;
             TRichPicture wmf = dib, emf = dib, jpeg = dib;
             wmf.Type = TRichPicture::pkWmf;
             emf.Type = TRichPicture::pkEmf;
             jpeg.Type = TRichPicture::pkJpeg;
             jpeg.Bytes = std::string(200, '\xFF'); // more than one hex line
             c.Pictures = {png, dib, wmf, emf, jpeg};
             c.Objects = {object};
             std::vector<TRichRun> runs{run(u"p")};
             for (int k = 0; k < 5; ++k)
                 runs.push_back(TRichRun{u"\uFFFC", charFormat(), k, -1});
             runs.push_back(TRichRun{u"\uFFFC", charFormat(), -1, 0});
             runs.push_back(run(u"q"));
             c.Paragraphs = {paragraph(runs)};
         }},
        {"another code page",
         [](TRichContent& c) {
             c.CodePage = 1252;
             c.DefaultFormat.Face = "Arial";
             c.DefaultFormat.Charset = 1;
             c.Paragraphs = {paragraph(
                 {run(u"façade €", charFormat([](TRichCharFormat& f) { f.Charset = 1; }))})};
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TRichContent content;
        k.build(content);
        const std::string rtf = WriteRtf(content);
        const TRichContent back = read(rtf);
        if (content.Paragraphs.empty()) {
            EXPECT_EQ(texts(back), std::vector<std::string>{""});
            continue;
        }
        EXPECT_EQ(describe(back), describe(content)) << rtf;
        EXPECT_EQ(back.CodePage, content.CodePage);
        EXPECT_EQ(WriteRtf(back), rtf);
    }
}

TEST(RtfWrite, LineBreaksInsideARunSplitTheParagraph) {
    TRichContent c;
    c.Paragraphs = {
        paragraph({run(u"a\r\nb\nc"), run(u"\rd")}, [](TRichParaFormat& f) { f.Alignment = 3; })};
    const std::string rtf = WriteRtf(c);
    const TRichContent back = read(rtf);
    EXPECT_EQ(texts(back), (std::vector<std::string>{"a", "b", "c", "d"}));
    for (const TRichParagraph& p : back.Paragraphs)
        EXPECT_EQ(p.Format.Alignment, 3);
    EXPECT_EQ(WriteRtf(back), rtf);
}

TEST(RtfWrite, NoObjectsWritesTheResultPictureInstead) {
    const TRichContent c = read(fixture("object.rtf"));
    const std::string rtf = WriteRtf(c, true);
    EXPECT_EQ(rtf.find("\\object"), std::string::npos);
    const TRichContent back = read(rtf);
    EXPECT_TRUE(back.Objects.empty());
    ASSERT_EQ(back.Pictures.size(), 1u);
    EXPECT_EQ(describe(back.Pictures[0]), describe(*c.Objects[0].Result));
    EXPECT_EQ(texts(back)[0], "x\xEF\xBF\xBCy");
}

// A small document pinned byte for byte: header, font and colour tables, \uc switching, escapes,
// paragraph words, a bullet, a picture and the closing lines.
TEST(RtfWrite, GoldenBytes) {
    TRichContent c;
    c.DefaultFormat.Face = "宋体";
    c.DefaultFormat.Charset = 134;
    const TRichCharFormat song = [] {
        TRichCharFormat f;
        f.Face = "宋体";
        f.Charset = 134;
        return f;
    }();
    TRichCharFormat boldRed = charFormat([](TRichCharFormat& f) {
        f.Bold = true;
        f.AutoColor = false;
        f.Color = clRed;
        f.HeightTwips = 240;
    });
    TRichPicture png;
    png.Type = TRichPicture::pkPng;
    png.Bytes = pngBytes();
    png.PixelWidth = png.PixelHeight = 1;
    png.WidthTwips = png.HeightTwips = 15;
    c.Pictures = {png};
    c.Paragraphs = {
        paragraph({run(u"你好 ஐ", song), run(u"Bold {x}\\y", boldRed)},
                  [](TRichParaFormat& f) {
                      f.Alignment = 3;
                      f.SpaceAfter = 120;
                  }),
        paragraph({run(u"item", song)},
                  [](TRichParaFormat& f) {
                      f.Numbering = 1;
                      f.StartIndent = 0;
                      f.Offset = 360;
                  }),
        paragraph({run(u"a\tb", song), TRichRun{u"\uFFFC", song, 0, -1}}),
    };
    const std::string rtf = WriteRtf(c);
    const std::string golden = kData + "/golden/small.rtf";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) TempDir::WriteAll(golden, rtf);
    EXPECT_EQ(rtf, TempDir::ReadAll(golden));
}

namespace {

// The RTF export's rewriting of a rich-text object's RTF into a table-cell fragment: the
// document's tables are cut away and words removed by plain string operations.
std::string exportFragment(std::string t) {
    const auto eraseThrough = [&](const std::string& marker) {
        const std::size_t at = t.find(marker);
        if (at != std::string::npos) t.erase(0, at + marker.size());
        return at != std::string::npos;
    };
    eraseThrough("{\\fonttbl");
    eraseThrough("}}");
    if (eraseThrough("{\\colortbl")) {
        t.erase(0, 1);
        eraseThrough(";}");
    }
    for (std::size_t at; (at = t.find("\\pard")) != std::string::npos;)
        t.erase(at, 5);
    if (t.size() >= 4) t.erase(t.size() - 4, 3);
    for (int pass = 0; pass < 2; ++pass)
        for (const std::string word : {"\\lang", "\\sa", "\\sb"})
            for (std::size_t at; (at = t.find(word)) != std::string::npos;) {
                const std::size_t next = t.find('\\', at + word.size());
                t.erase(at, next == std::string::npos ? std::string::npos : next - at);
            }
    return "{\\par{" + t + "}\\pard}";
}

} // namespace

TEST(RtfWrite, ShapeTheExportRewrites) {
    TRichContent c = read(fixture("formats.rtf"));
    const std::string rtf = WriteRtf(c);
    // The markers the rewrite looks for.
    ASSERT_EQ(
        rtf.rfind("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang2052{\\fonttbl{\\f0\\fcharset", 0), 0u);
    const std::size_t tableEnd = rtf.find("}}");
    const std::string fontTable = rtf.substr(0, tableEnd + 2);
    EXPECT_EQ(fontTable.find("{\\f", fontTable.find("{\\fonttbl") + 9),
              fontTable.find("{\\f0\\fcharset"));
    for (std::size_t at = fontTable.find("{\\f0"); at < tableEnd;
         at = fontTable.find("{\\f", at + 1)) {
        const std::string entry = fontTable.substr(at, fontTable.find('}', at) - at);
        EXPECT_EQ(entry.find('{', 1), std::string::npos) << entry; // no nested group
        EXPECT_EQ(entry.back(), ';') << entry;
        EXPECT_NE(entry.find(' '), std::string::npos) << entry;
    }
    EXPECT_EQ(rtf.compare(tableEnd + 2, 14, "\r\n{\\colortbl ;"), 0);
    EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
    for (const std::string word : {"\\lang", "\\sa", "\\sb"})
        for (std::size_t at = rtf.find(word); at != std::string::npos;
             at = rtf.find(word, at + 1)) {
            std::size_t end = at + word.size();
            while (end < rtf.size() &&
                   (isdigit(static_cast<unsigned char>(rtf[end])) || rtf[end] == '-'))
                ++end;
            EXPECT_EQ(rtf[end], '\\') << rtf.substr(at, 20);
        }

    // The fragment, back in a document with the same tables, keeps every paragraph's text; the
    // rewrite's leading \par adds one empty paragraph.
    const std::size_t bodyStart = rtf.find("\\viewkind4");
    const std::string document = rtf.substr(0, bodyStart) + exportFragment(rtf) + "}";
    std::vector<std::string> expected = texts(c);
    expected.insert(expected.begin(), "");
    EXPECT_EQ(texts(read(document)), expected) << document;
}

// ---- an independent reader and writer

namespace {

int runCommand(const std::string& command, std::string* output = nullptr) {
    int status = -1;
    std::string text = RunTool(command, &status);
    if (output) *output = std::move(text);
    return status;
}

} // namespace

// Our RTF opened by LibreOffice shows the same text, run formats, alignment and indents; the RTF
// LibreOffice writes from it reads back with its formats. One test: soffice is slow to start.
TEST(RtfLibreOffice, ReadsOursAndWeReadTheirs) {
    ASSERT_EQ(runCommand("command -v soffice"), 0)
        << "soffice is missing: scripts/setup installs libreoffice-writer-nogui";
    TempDir dir;
    TRichContent c;
    c.Paragraphs = {
        paragraph({run(u"Bold 粗体", charFormat([](TRichCharFormat& f) {
                           f.Bold = true;
                           f.HeightTwips = 280;
                       })),
                   run(u" italic", charFormat([](TRichCharFormat& f) { f.Italic = true; })),
                   run(u" red", charFormat([](TRichCharFormat& f) {
                           f.AutoColor = false;
                           f.Color = clRed;
                       }))}),
        paragraph({run(u"Centered 居中")}, [](TRichParaFormat& f) { f.Alignment = 3; }),
        paragraph({run(u"Indented")},
                  [](TRichParaFormat& f) {
                      f.StartIndent = 1080; // \li1440 \fi-360
                      f.Offset = 360;
                      f.RightIndent = 720;
                  }),
        paragraph({run(u"Right side")}, [](TRichParaFormat& f) { f.Alignment = 2; }),
    };
    TempDir::WriteAll(dir / "ours.rtf", WriteRtf(c));
    const std::string soffice =
        "soffice -env:UserInstallation=file://" + dir.Path() + "/profile --headless --convert-to ";
    std::string log;
    ASSERT_EQ(runCommand(soffice + "odt --outdir " + dir.Path() + " " + (dir / "ours.rtf"), &log),
              0)
        << log;

    // content.xml, one line per paragraph and per run with the effective properties of the
    // automatic styles: alignment, margins and first-line indent in twips, weight, style, size,
    // colour.
    const std::string script = R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
ns = {'office': 'urn:oasis:names:tc:opendocument:xmlns:office:1.0',
      'style': 'urn:oasis:names:tc:opendocument:xmlns:style:1.0',
      'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0',
      'fo': 'urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0'}
def q(p, n): return '{%s}%s' % (ns[p], n)
root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('content.xml'))
styles = {}
for s in root.iter(q('style', 'style')):
    props = {}
    for kind in ('paragraph-properties', 'text-properties'):
        e = s.find('style:' + kind, ns)
        if e is not None: props.update(e.attrib)
    styles[s.get(q('style', 'name'))] = props
def twips(v):
    if not v: return 0
    for unit, f in (('in', 1440), ('cm', 1440 / 2.54), ('mm', 144 / 2.54), ('pt', 20)):
        if v.endswith(unit): return round(float(v[:-len(unit)]) * f)
    return 0
def text_of(e):
    out = e.text or ''
    for child in e:
        if child.tag == q('text', 's'): out += ' ' * int(child.get(q('text', 'c'), '1'))
        elif child.tag == q('text', 'tab'): out += '\t'
        else: out += text_of(child)
        out += child.tail or ''
    return out
def fmt(p):
    return '%s %s %s %s' % (p.get(q('fo', 'font-weight'), 'normal'), p.get(q('fo', 'font-style'), 'normal'),
                            p.get(q('fo', 'font-size'), '-'), p.get(q('fo', 'color'), '-'))
for para in root.iter(q('text', 'p')):
    ps = styles.get(para.get(q('text', 'style-name')), {})
    print('P|%s|%s|%d|%d|%d' % (text_of(para), ps.get(q('fo', 'text-align'), 'start'),
          twips(ps.get(q('fo', 'margin-left'))), twips(ps.get(q('fo', 'margin-right'))),
          twips(ps.get(q('fo', 'text-indent')))))
    if para.text: print('R|%s|%s' % (para.text, fmt(ps)))
    for span in para:
        if span.tag == q('text', 'span'):
            eff = dict(ps); eff.update(styles.get(span.get(q('text', 'style-name')), {}))
            print('R|%s|%s' % (text_of(span), fmt(eff)))
        if span.tail: print('R|%s|%s' % (span.tail, fmt(ps)))
)PY";
    TempDir::WriteAll(dir / "odt.py", script);
    std::string summary;
    ASSERT_EQ(runCommand("python3 " + (dir / "odt.py") + " " + (dir / "ours.odt"), &summary), 0)
        << summary;
    for (const char* line : {
             "P|Bold 粗体 italic red|start|0|0|0",
             "R|Bold 粗体|bold normal 14pt -",
             "R| italic|normal italic 10pt -",
             "R| red|normal normal 10pt #ff0000",
             "P|Centered 居中|center|0|0|0",
             "P|Indented|start|1440|720|-360",
             "P|Right side|end|0|0|0",
         })
        EXPECT_NE(summary.find(std::string(line) + "\n"), std::string::npos)
            << "missing: " << line << "\nin:\n"
            << summary;

    // And the other way: LibreOffice's own RTF of that document.
    ASSERT_EQ(
        runCommand(soffice + "rtf --outdir " + (dir / "back") + " " + (dir / "ours.odt"), &log), 0)
        << log;
    const TRichContent theirs = read(TempDir::ReadAll(dir / "back/ours.rtf"));
    ASSERT_NE(paragraphWith(theirs, "Bold 粗体 italic red"), nullptr) << describe(theirs);
    // LibreOffice gives the Chinese its own run, formatted by \dbch and \ab \afs.
    for (const char* part : {"Bold", "粗体"}) {
        const TRichRun* bold = runWith(theirs, part);
        ASSERT_NE(bold, nullptr) << describe(theirs);
        EXPECT_TRUE(bold->Format.Bold) << part;
        EXPECT_EQ(bold->Format.HeightTwips, 280) << part;
    }
    const TRichRun* red = runWith(theirs, "red");
    ASSERT_NE(red, nullptr);
    EXPECT_FALSE(red->Format.AutoColor);
    EXPECT_EQ(red->Format.Color, clRed);
    EXPECT_TRUE(runWith(theirs, "italic")->Format.Italic);
    ASSERT_NE(paragraphWith(theirs, "Centered 居中"), nullptr) << describe(theirs);
    EXPECT_EQ(paragraphWith(theirs, "Centered 居中")->Format.Alignment, 3);
    EXPECT_EQ(paragraphWith(theirs, "Right side")->Format.Alignment, 2);
    const TRichParaFormat& indented = paragraphWith(theirs, "Indented")->Format;
    EXPECT_EQ(indented.StartIndent, 1080);
    EXPECT_EQ(indented.Offset, 360);
    EXPECT_EQ(indented.RightIndent, 720);
}

// ---- mutated input

TEST(RtfFuzz, MutatedDocumentsReadBoundedAndWriteBackStably) {
    std::vector<std::string> samples;
    for (const char* name : {"formats.rtf", "pictures.rtf", "object.rtf", "golden/small.rtf"})
        samples.push_back(fixture(name));
    const auto check = [](const std::string& input) {
        const std::string fault = rtf_check::Fault(input);
        EXPECT_EQ(fault, "") << "input: " << input;
        return fault.empty();
    };
    // Every cut of every sample.
    for (const std::string& sample : samples)
        for (std::size_t n = 0; n <= sample.size(); ++n)
            if (!check(sample.substr(0, n))) return;

    // Hostile values in place of a sample's own.
    const std::string hostile[] = {
        "{\\rtf1 " + std::string(5000, '{') + "\\b x",
        "{\\rtf1 a\\bin2147483648 b}",
        "{\\rtf1 a\\bin-5 b{\\pict\\bin99999 }}",
        "{\\rtf1\\uc99999\\u-2147483649 abc\\u2147483647\\uc-3\\u65 x}",
        "{\\rtf1\\fs-99999 a\\fs0 b\\f-1 c\\f99999999999 d\\cf-1\\highlight999999 e}",
        "{\\rtf1{\\object{\\*\\objdata \\bin99999}}}",
        "{\\rtf1{\\object\\objw-9{\\*\\objdata 0105{\\object}}{\\result{\\object x}{\\pict\\bin2 "
        "}}}}}}",
        "{\\rtf1 a{\\object}b{\\object{\\result{\\pict\\pngblip 8}}}c{\\b\\object{}}d}",
        "{\\rtf1 a{\\object\\objw5 b\\*\\objdata 01}\tc{\\result{\\pict\\pngblip 89}}}",
        "{\\rtf1{\\fonttbl{\\f0 A;}}a{\\object\\f1\\b{\\fonttbl{\\f1 B;}}{\\colortbl;\\red9;}}\\f1 "
        "b}",
        "{\\rtf1{\\fonttbl{\\f0 A;}{\\f1 B;}}a\\u10?b\\u13?\\u11?c{\\pict\\macpict 00}\\b"
        "{\\pict\\macpict 00}\\f1\\'0dd}",
        "{\\rtf1{\\fonttbl{\\f0 " + std::string(29, 'N') + "    x;}}\\f0 a}",
        "{\\rtf1 a{\\object\\*\\pn\\pnlvlblt}{\\object\\pn}b\\pn c}",
        "{\\rtf1{\\fonttbl{\\f0\\cpg99999\\fcharset999 A\\'3b;}\\f1 B}\\f0\\'c4\\'e3\\f1 x}",
        "{\\rtf1{\\colortbl\\red999\\green-9;;\\blue3}\\cf1 a\\cf2 b\\cf3 c}",
        "{\\rtf1\\ansicpg65001\\ansicpg-1\\ansicpg99999999999 \\'e4\\'bd\\'a0}",
        "{\\rtf1\\pn\\pnlvlcont{\\*\\pn{\\*\\pn}}\\ls-1 a\\cell\\cell\\row\\nestrow b}",
        "{\\rtf1 " + std::string(40, 'x') + "\\" + std::string(5000, 'a') + "123456789012345678 y}",
    };
    for (const std::string& input : hostile)
        if (!check(input)) return;

    // Random edits that pile up on inputs that still read.
    std::vector<std::string> pool = samples;
    fuzz::Random random;
    const long iterations = fuzz::Iterations(3000);
    for (long i = 0; i < iterations; ++i) {
        std::string input = fuzz::Mutate(pool[random.Below(pool.size())], random, 6, 5);
        if (!check(input)) return;
        if (pool.size() < 64)
            pool.push_back(std::move(input));
        else
            pool[random.Below(pool.size())] = std::move(input);
    }
}
