// The layout matrix of the table-like exports, fed with real report objects placed as the export
// driver places them (the page at its margins, objects inside bands): how each kind of object is
// collected, how Prepare turns the edges into a grid of cells, and a prepared report handed over
// by the export driver itself.

#include "export/ie_matrix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_module.h"
#include "engine/preview_pages.h"
#include "engine/text_drawing_adapter.h"
#include "export/export_module.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile.h"
#include "platform/ui/application.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace {

// Stand-ins for the rich text and gradient views, which the matrix knows by class name only.
class TpgwRichView : public TpgwView {
    LUMETRA_CLASS(TpgwRichView, TpgwView)
public:
    explicit TpgwRichView(TComponent* owner) : TpgwView(owner) {}
    void ExportText(std::string& text) override {
        text = ExportAsPlainText() ? "plain 文本\r\nline 2" : "{\\rtf1 rich}";
    }
};

class TpgwGradientView : public TpgwView {
    LUMETRA_CLASS(TpgwGradientView, TpgwView)
public:
    explicit TpgwGradientView(TComponent* owner) : TpgwView(owner) {}
};

constexpr double kMargin = 10 * pg01cm;
constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000, kYellow = 0x00FFFF;

std::string Text(const TpgwIEMObject* object) {
    std::string text = Utf16ToUtf8Lenient(object->Memo.Text());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

class Matrix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Application();
        RegisterEngineModule();
        RegisterExportModule();
        StartModules();
    }
    void SetUp() override {
        InstallEngine();
        InstallPreviewPages();
        InstallEngineTextDrawing();
        report = std::make_unique<TpgwReport>(nullptr);
        page = new TpgwReportPage(report.get());
        // Where the export driver puts a page while it hands over its objects.
        page->SetLeft(kMargin);
        page->SetTop(kMargin);
        header = new TpgwPageHeader(page);
        header->SetBounds(0, 0, 718, 0);
        band = new TpgwMasterData(page);
        band->SetBounds(0, 0, 718, 0);
        matrix = std::make_unique<TpgwIEMatrix>();
        matrix->SetProgressWindow(false);
        names = 0;
    }

    std::string NextName() { return "O" + std::to_string(++names); }
    template <class T> T* Make(double x, double y, double w, double h, TpgwComponent* parent) {
        T* view = new T(parent ? parent : band);
        view->SetName(NextName());
        view->SetBounds(x, y, w, h);
        return view;
    }
    TpgwMemoView* Memo(double x, double y, double w, double h, const std::string& text = {},
                       TpgwComponent* parent = nullptr) {
        auto* memo = Make<TpgwMemoView>(x, y, w, h, parent);
        memo->SetText(text);
        return memo;
    }
    TpgwLineView* Line(double x, double y, double w, double h) {
        return Make<TpgwLineView>(x, y, w, h, nullptr);
    }
    TpgwShapeView* Shape(double x, double y, double w, double h, TColor color = clNone) {
        auto* shape = Make<TpgwShapeView>(x, y, w, h, nullptr);
        shape->SetColor(color);
        return shape;
    }
    static void Frame(TpgwView* view, TpgwFrameTypes sides, TColor color = clBlack,
                      double width = 1) {
        view->Frame()->SetTyp(sides);
        view->Frame()->SetColor(color);
        view->Frame()->SetWidth(width);
    }

    void Add(std::initializer_list<TpgwView*> views) {
        for (TpgwView* view : views)
            matrix->AddObject(view);
    }
    void Build(std::initializer_list<TpgwView*> views) {
        Add(views);
        matrix->Prepare();
    }
    TpgwIEMObject* Object(int index) { return matrix->ObjectById(index); }
    // Geometry of an object relative to the page.
    std::vector<double> Bounds(int index) {
        const TpgwIEMObject* o = matrix->ObjectById(index);
        return {o->Left - kMargin, o->Top - kMargin, o->Width, o->Height};
    }
    std::vector<double> Columns() {
        std::vector<double> v;
        for (int i = 0; i < matrix->GridWidth(); ++i)
            v.push_back(matrix->XPosition(i) - kMargin);
        return v;
    }
    std::vector<double> Rows() {
        std::vector<double> v;
        for (int i = 0; i < matrix->GridHeight(); ++i)
            v.push_back(matrix->YPosition(i) - kMargin);
        return v;
    }
    // The grid one row per string: each cell the name of its object (a cut part: its parent's
    // name and "'"), "." for an empty cell; the last row and column, always empty, left out.
    std::vector<std::string> Grid() {
        std::vector<std::string> rows;
        for (int y = 0; y + 1 < matrix->GridHeight(); ++y) {
            std::string row;
            for (int x = 0; x + 1 < matrix->GridWidth(); ++x) {
                const TpgwIEMObject* o = matrix->ObjectAt(x, y);
                if (!row.empty()) row += " ";
                row += !o ? "." : o->Parent ? o->Parent->Name + "'" : o->Name;
            }
            rows.push_back(row);
        }
        return rows;
    }
    std::vector<int> Placement(int index) {
        int col, row, colSpan, rowSpan;
        matrix->ObjectPlacement(index, col, row, colSpan, rowSpan);
        return {col, row, colSpan, rowSpan};
    }

    std::unique_ptr<TpgwReport> report;
    TpgwReportPage* page = nullptr;
    TpgwPageHeader* header = nullptr;
    TpgwMasterData* band = nullptr;
    std::unique_ptr<TpgwIEMatrix> matrix;
    int names = 0;
};

MATCHER_P(Near, expected, "") {
    if (arg.size() != expected.size()) return false;
    for (std::size_t i = 0; i < arg.size(); ++i)
        if (std::abs(arg[i] - expected[i]) > 1e-6) return false;
    return true;
}

using D = std::vector<double>;
using S = std::vector<std::string>;

// ---- collecting objects

TEST_F(Matrix, AMemoWithADropShadowBecomesTheMemoAndTwoShadowStrips) {
    TpgwMemoView* memo = Memo(10, 10, 100, 40, "Hi");
    Frame(memo, ftAll);
    memo->Frame()->SetDropShadow(true);
    memo->Frame()->SetShadowWidth(5);
    memo->Frame()->SetShadowColor(kRed);
    Add({memo});

    ASSERT_EQ(matrix->ObjectCount(), 3);
    EXPECT_EQ(Object(0)->Name, memo->Name());
    EXPECT_THAT(Bounds(0), Near(D{10, 10, 95, 35}));
    EXPECT_EQ(Text(Object(0)), "Hi");
    EXPECT_EQ(Object(0)->Style->FrameSides, ftAll);
    for (int i : {1, 2}) {
        EXPECT_EQ(Object(i)->Name, "Shadow");
        EXPECT_EQ(Text(Object(i)), "");
        EXPECT_EQ(Object(i)->Style->Color, kRed);
        EXPECT_EQ(Object(i)->Style->FrameSides, 0);
    }
    EXPECT_THAT(Bounds(1), Near(D{105, 15, 5, 35})) << "along the right edge";
    EXPECT_THAT(Bounds(2), Near(D{15, 45, 95, 5})) << "along the bottom edge";
    // The report object is left as it came.
    EXPECT_EQ(memo->Width(), 100);
    EXPECT_EQ(memo->Height(), 40);
    EXPECT_TRUE(memo->Frame()->DropShadow());
}

TEST_F(Matrix, ATransparentRectangleBecomesFourLinesAFilledOneACellWithAllSides) {
    TpgwShapeView* outline = Shape(10, 20, 100, 50);
    Frame(outline, 0, kBlue, 2);
    Add({outline});
    ASSERT_EQ(matrix->ObjectCount(), 4);
    const std::vector<D> edges = {
        {10, 20, 100, 1}, {10, 20, 1, 50}, {10, 70, 100, 1}, {110, 20, 1, 50}};
    const std::vector<TpgwFrameTypes> sides = {FrameSide(ftTop), FrameSide(ftLeft),
                                               FrameSide(ftTop), FrameSide(ftLeft)};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Object(i)->Name, "Line");
        EXPECT_THAT(Bounds(i), Near(edges[static_cast<std::size_t>(i)]));
        EXPECT_EQ(Object(i)->Style->FrameSides, sides[static_cast<std::size_t>(i)]);
        EXPECT_EQ(Object(i)->Style->FrameColor, kBlue);
        EXPECT_EQ(Object(i)->Style->FrameWidth, 2);
        EXPECT_TRUE(Object(i)->IsText);
    }

    matrix->Clear();
    TpgwShapeView* filled = Shape(10, 20, 100, 50, kYellow);
    Frame(filled, 0, kBlue);
    Add({filled, Make<TpgwShapeView>(0, 0, 10, 10, nullptr)});
    ASSERT_EQ(matrix->ObjectCount(), 5) << "the filled cell, then four lines";
    EXPECT_EQ(Object(0)->Name, "Rect");
    EXPECT_THAT(Bounds(0), Near(D{10, 20, 100, 50}));
    EXPECT_EQ(Object(0)->Style->Color, kYellow);
    EXPECT_EQ(Object(0)->Style->FrameSides, ftAll);
    EXPECT_EQ(Object(0)->Style->FrameColor, kBlue);
    EXPECT_EQ(Object(0)->Style->Font.Size(), 1);
    EXPECT_TRUE(Object(0)->IsText);
    EXPECT_EQ(Text(Object(0)), "");
}

TEST_F(Matrix, StraightLinesGetAPositiveExtentAndTheSideTheyDraw) {
    struct Case {
        D line;
        D stored;
        TpgwFrameTypes sides;
    } cases[] = {
        {{100, 10, -60, 0}, {40, 10, 60, 1}, FrameSide(ftTop)}, // drawn from right to left
        {{30, 10, 0, 50}, {30, 10, 1, 50}, FrameSide(ftLeft)},  // vertical
        {{30, 60, 0, -50}, {30, 10, 1, 50}, FrameSide(ftLeft)}, // drawn upwards
    };
    for (const Case& c : cases) {
        matrix->Clear();
        TpgwLineView* line = Line(c.line[0], c.line[1], c.line[2], c.line[3]);
        Frame(line, 0, kRed, 2);
        Add({line});
        ASSERT_EQ(matrix->ObjectCount(), 1);
        EXPECT_THAT(Bounds(0), Near(c.stored)) << c.line[2] << " x " << c.line[3];
        EXPECT_EQ(Object(0)->Style->FrameSides, c.sides);
        EXPECT_EQ(Object(0)->Style->FrameColor, kRed);
        EXPECT_EQ(Object(0)->Style->Font.Name(), "Arial");
        EXPECT_TRUE(Object(0)->IsText);
    }

    matrix->Clear();
    TpgwLineView* diagonal = Line(10, 10, 40, 30);
    Frame(diagonal, ftAll);
    Add({diagonal});
    EXPECT_FALSE(Object(0)->IsText) << "a diagonal line is a picture";
    ASSERT_NE(Object(0)->Image, nullptr);
    EXPECT_EQ(Object(0)->Style->FrameSides, 0) << "its frame is the line, not cell borders";
}

TEST_F(Matrix, ObjectsThatLookTheSameShareAStyle) {
    const auto memo = [&](const std::string& font, TColor color = clNone) {
        TpgwMemoView* m = Memo(0, 0, 50, 20, "x");
        m->Font()->SetName(font);
        m->SetColor(color);
        Frame(m, FrameSide(ftTop));
        return m;
    };
    TpgwMemoView* thousands = memo("Arial");
    thousands->DisplayFormat()->SetThousandSeparator("'");
    TpgwMemoView* ansi = memo("Arial");
    ansi->Font()->SetCharset(ANSI_CHARSET);
    Add({memo("Arial"), memo("Arial"), thousands, ansi, memo("arial"), memo("Arial", kYellow)});
    const std::vector<int> styles = {Object(0)->StyleIndex, Object(1)->StyleIndex,
                                     Object(2)->StyleIndex, Object(3)->StyleIndex,
                                     Object(4)->StyleIndex, Object(5)->StyleIndex};
    // The thousands separator and the font's own charset take no part; font names differ in
    // case.
    EXPECT_EQ(styles, (std::vector<int>{0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(matrix->StyleCount(), 3);
    EXPECT_EQ(matrix->StyleAt(1)->Font.Name(), "arial");
    EXPECT_EQ(Object(1)->Style, matrix->StyleAt(0));
}

TEST_F(Matrix, AMemoStyleTakesItsLookAndAnActiveHighlight) {
    TpgwMemoView* memo = Memo(0, 0, 50, 20, "x");
    memo->SetHAlign(haRight);
    memo->SetVAlign(vaCenter);
    memo->SetGapX(4);
    memo->SetLineSpacing(3);
    memo->SetWordBreak(true);
    memo->SetRotation(90);
    memo->DisplayFormat()->SetKind(fkNumeric);
    memo->DisplayFormat()->SetFormatStr("%2.2f");
    Frame(memo, FrameSide(ftBottom), kBlue, 1.5);
    memo->Frame()->SetStyle(fsDot);
    TpgwMemoView* highlighted = Memo(0, 30, 50, 20, "y");
    highlighted->SetColor(kYellow);
    highlighted->Highlight()->Font()->SetName("Courier New");
    highlighted->Highlight()->SetColor(kRed);
    highlighted->Highlight()->SetActive(true);
    matrix->SetDotMatrixFonts(true);
    Add({memo, highlighted});

    const TpgwIEMStyle& s = *Object(0)->Style;
    EXPECT_EQ(s.HAlign, haRight);
    EXPECT_EQ(s.VAlign, vaCenter);
    EXPECT_EQ(s.GapX, 4);
    EXPECT_EQ(s.LineSpacing, 3);
    EXPECT_TRUE(s.WordBreak);
    EXPECT_EQ(s.Rotation, 90);
    EXPECT_EQ(s.DisplayFormat.Kind(), fkNumeric);
    EXPECT_EQ(s.DisplayFormat.FormatStr(), "%2.2f");
    EXPECT_EQ(s.FrameSides, FrameSide(ftBottom));
    EXPECT_EQ(s.FrameColor, kBlue);
    EXPECT_EQ(s.FrameWidth, 1.5f);
    EXPECT_EQ(s.FrameStyle, fsDot);
    EXPECT_EQ(s.Color, clNone);
    EXPECT_EQ(s.Font.Size(), 9) << "dot-matrix fonts";
    EXPECT_EQ(Object(0)->Style->BrushStyle, bsSolid);
    EXPECT_EQ(Object(1)->Style->Font.Name(), "Courier New");
    EXPECT_EQ(Object(1)->Style->Color, kRed);
}

TEST_F(Matrix, TheDefaultCharsetIsTheOneTheSystemRealisesForTheFace) {
    struct Case {
        const char* font;
        TFontCharset charset;
        int realised;
    } cases[] = {{"Arial", DEFAULT_CHARSET, ANSI_CHARSET},
                 {"宋体", DEFAULT_CHARSET, GB2312_CHARSET},
                 {"Arial", GB2312_CHARSET, GB2312_CHARSET},
                 {"Arial", RUSSIAN_CHARSET, RUSSIAN_CHARSET}};
    for (const Case& c : cases) {
        TpgwMemoView* memo = Memo(0, 0, 50, 20, "x");
        memo->Font()->SetName(c.font);
        memo->Font()->SetCharset(c.charset);
        Add({memo});
        EXPECT_EQ(Object(matrix->ObjectCount() - 1)->Style->Charset, c.realised)
            << c.font << " " << int(c.charset);
    }
    Add({Line(0, 0, 10, 0)});
    EXPECT_EQ(Object(matrix->ObjectCount() - 1)->Style->Charset, 0) << "not a text memo";
}

TEST_F(Matrix, AnchorLinksBecomeTheAnchorsPageNumber) {
    auto& store = static_cast<TpgwPreviewPages&>(*report->PreviewPages());
    store.CurPage = 1;
    store.AddAnchor("Third");
    const std::vector<std::string> urls = {"#Third", "#missing", "http://example.org/#Third", ""};
    for (const std::string& url : urls) {
        TpgwMemoView* memo = Memo(0, 0, 50, 20, "x");
        memo->SetURL(url);
        Add({memo});
    }
    matrix->SetAnchorReport(report.get());
    for (const std::string& url : urls) {
        TpgwMemoView* memo = Memo(0, 0, 50, 20, "x");
        memo->SetURL(url);
        Add({memo});
    }
    std::vector<std::string> stored;
    for (int i = 0; i < matrix->ObjectCount(); ++i)
        stored.push_back(Object(i)->URL);
    EXPECT_EQ(stored, (S{"#Third", "#missing", "http://example.org/#Third", "", "@2", "@1",
                         "http://example.org/#Third", ""}));
}

bool IsColour(const TBitmap& image, int x, int y, TColor color) {
    const std::uint32_t pixel = image.ScanLine(y)[x] & 0xFFFFFF;
    const TColor rgb =
        static_cast<TColor>(((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF));
    return rgb == color;
}

TEST_F(Matrix, PicturesAreDrawnWithoutTheirFrameOnABitmapOneLargerThanTheRoundedSize) {
    auto* picture = Make<TpgwPictureView>(10.4, 20, 50.6, 30.2, nullptr);
    picture->SetColor(kRed);
    Frame(picture, ftAll, kBlue, 3);
    picture->Frame()->BottomLine()->SetWidth(5);
    Add({picture});

    const TpgwIEMObject* o = Object(0);
    EXPECT_FALSE(o->IsText);
    ASSERT_NE(o->Image, nullptr);
    EXPECT_EQ(o->Image->Width(), 52);
    EXPECT_EQ(o->Image->Height(), 31);
    EXPECT_THAT(Bounds(0), Near(D{10.4, 20, 50.6, 30.2}));
    // The frame is the cell's border, not part of the picture.
    EXPECT_TRUE(IsColour(*o->Image, 0, 15, kRed));
    EXPECT_TRUE(IsColour(*o->Image, 25, 29, kRed));
    EXPECT_EQ(o->Style->FrameSides, ftAll);
    EXPECT_EQ(o->Style->FrameWidth, 3);
    // The object keeps its frame, each side's own width included.
    EXPECT_EQ(picture->Frame()->Width(), 3);
    EXPECT_EQ(picture->Frame()->LeftLine()->Width(), 3);
    EXPECT_EQ(picture->Frame()->BottomLine()->Width(), 5);

    matrix->SetMetafilePictures(true);
    Add({Make<TpgwPictureView>(0, 0, 0.3, 30, nullptr)});
    const TpgwIEMObject* recorded = Object(1);
    EXPECT_EQ(recorded->Image, nullptr);
    ASSERT_NE(recorded->Metafile, nullptr);
    EXPECT_EQ(recorded->Metafile->Width(), 1) << "a size that rounds to 0 becomes 1";
    EXPECT_EQ(recorded->Metafile->Height(), 30);
}

TEST_F(Matrix, ViewsThatGiveNoPictureAreEmptyCellsInTheirColour) {
    auto* gradient = Make<TpgwGradientView>(0, 0, 50, 20, nullptr);
    gradient->SetColor(kYellow);
    auto* background = Make<TpgwPictureView>(0, 0, 700, 1000, nullptr);
    background->SetName("_pagebackground");
    background->SetColor(kBlue);
    Add({gradient, background});
    ASSERT_EQ(matrix->ObjectCount(), 1) << "the page background is left out";
    EXPECT_TRUE(Object(0)->IsText);
    EXPECT_EQ(Text(Object(0)), "");
    EXPECT_EQ(Object(0)->Style->Color, kYellow);

    matrix->SetPageBackground(true);
    matrix->Clear();
    Add({background});
    EXPECT_TRUE(Object(0)->IsText) << "the background is a picture only when asked";
    EXPECT_EQ(Object(0)->Style->Color, kBlue);
    matrix->SetPageBackgroundPicture(true);
    Add({background});
    EXPECT_FALSE(Object(1)->IsText);

    matrix->SetPictures(false);
    auto* picture = Make<TpgwPictureView>(0, 0, 50, 20, nullptr);
    picture->SetColor(kRed);
    Add({picture, Line(0, 0, 30, 30)});
    for (int i : {2, 3}) {
        EXPECT_TRUE(Object(i)->IsText);
        EXPECT_EQ(Object(i)->Image, nullptr);
    }
    EXPECT_EQ(Object(2)->Style->Color, kRed);
}

TEST_F(Matrix, MemoTextIsTakenAsTheOptionsAsk) {
    const auto add = [&](const std::string& text, const std::function<void(TpgwMemoView&)>& set,
                         double width = 300) {
        TpgwMemoView* memo = Memo(0, 0, width, 100, text);
        if (set) set(*memo);
        matrix->AddObject(memo);
        return Object(matrix->ObjectCount() - 1);
    };
    const auto html = [](TpgwMemoView& m) { m.SetAllowHTMLTags(true); };

    const TpgwIEMObject* raw = add("<b>bold</b> text", html);
    EXPECT_EQ(Text(raw), "<b>bold</b> text");
    EXPECT_TRUE(raw->HTMLTags);

    const TpgwIEMObject* oem =
        add("中文 😀", [](TpgwMemoView& m) { m.Font()->SetCharset(OEM_CHARSET); });
    EXPECT_EQ(Text(oem), "中文 😀") << "what the code pages cannot hold stays as it was";

    const TpgwIEMObject* rtl = add("x", [](TpgwMemoView& m) { m.SetRTLReading(true); });
    EXPECT_TRUE(rtl->RTLReading);

    const TpgwIEMObject* rotated = add("x", [](TpgwMemoView& m) { m.SetRotation(90); });
    const TpgwIEMObject* hatched = add("x", [](TpgwMemoView& m) { m.SetBrushStyle(bsHorizontal); });
    EXPECT_TRUE(rotated->IsText);
    EXPECT_FALSE(hatched->IsText) << "a hatch brush makes a picture";

    matrix->SetRotatedAsPicture(true);
    matrix->SetPatternBrushAsPicture(false);
    EXPECT_FALSE(add("x", [](TpgwMemoView& m) { m.SetRotation(90); })->IsText);
    EXPECT_TRUE(add("x", [](TpgwMemoView& m) { m.SetBrushStyle(bsHorizontal); })->IsText);

    matrix->SetStripHTMLTags(true);
    const TpgwIEMObject* stripped = add("<b>bold</b> text", html);
    EXPECT_EQ(Text(stripped), "bold text");
    EXPECT_FALSE(stripped->HTMLTags);

    matrix->SetWrapText(true);
    const TpgwIEMObject* wrapped = add("one two three four five six seven", nullptr, 60);
    EXPECT_GT(wrapped->Memo.Count(), 1) << "broken as drawn in 60 units";
    EXPECT_EQ(wrapped->Memo.Strings(0).substr(0, 3), u"one");
}

TEST_F(Matrix, RichTextIsAPictureRichTextOrPlainMemoText) {
    auto* rich = Make<TpgwRichView>(10, 10, 80, 40, nullptr);
    Add({rich});
    EXPECT_FALSE(Object(0)->IsText);

    matrix->SetKeepRichText(true);
    matrix->SetRichAsPlainText(false);
    Add({rich});
    EXPECT_TRUE(Object(1)->IsRichText);
    EXPECT_EQ(Text(Object(1)), "{\\rtf1 rich}");

    matrix->SetRichAsPlainText(true);
    Add({rich});
    const TpgwIEMObject* plain = Object(2);
    EXPECT_TRUE(plain->IsText);
    EXPECT_FALSE(plain->IsRichText);
    EXPECT_EQ(Text(plain), "plain 文本\r\nline 2");
    EXPECT_EQ(plain->Name, rich->Name());
    EXPECT_THAT(Bounds(2), Near(D{10, 10, 80, 40}));
    EXPECT_FALSE(rich->ExportAsPlainText()) << "cleared after the call";
}

TEST_F(Matrix, ObjectsOfTheGivenHeaderAndFooterBandsAreMarked) {
    auto* footer = new TpgwPageFooter(page);
    footer->SetBounds(0, 500, 718, 30);
    TpgwMemoView* top = Memo(0, 0, 50, 20, "head", header);
    top->Frame()->SetDropShadow(true);
    TpgwMemoView* bottom = Memo(0, 0, 50, 20, "foot", footer);
    TpgwMemoView* body = Memo(0, 0, 50, 20, "body");
    Add({top, bottom, body});
    EXPECT_FALSE(Object(0)->InHeader) << "no bands given";
    matrix->Clear();
    matrix->SetHeaderBand(header);
    matrix->SetFooterBand(footer);
    Add({top, bottom, body});
    ASSERT_EQ(matrix->ObjectCount(), 5);
    for (int i : {0, 1, 2})
        EXPECT_TRUE(Object(i)->InHeader && !Object(i)->InFooter) << "with the shadow strips";
    EXPECT_TRUE(Object(3)->InFooter && !Object(3)->InHeader);
    EXPECT_FALSE(Object(4)->InHeader || Object(4)->InFooter);
    EXPECT_NEAR(Object(3)->Top, kMargin + 500, 1e-9) << "inside its band on the page";
}

TEST_F(Matrix, LaterPagesLieBelowEverythingAddedBefore) {
    Add({Memo(10, 5, 100, 20, "a"), Memo(10, 30, 100, 40, "b")});
    const double bottom = kMargin + 70;
    EXPECT_NEAR(matrix->MaxBottom(), bottom, 1e-9);
    matrix->AddPage(poLandscape, true, 0, 11, 12, 13, 14, 794, 1123);
    matrix->AddPage(poPortrait, true, 1, 11, 12, 13, 14, 1123, 794);
    Add({Memo(10, 5, 100, 20, "c")});
    EXPECT_NEAR(Object(2)->Top, bottom + kMargin + 5, 1e-9);

    ASSERT_EQ(matrix->PageCount(), 2);
    EXPECT_NEAR(matrix->PageBottom(0), bottom, 1e-9);
    EXPECT_EQ(matrix->PageOrientation(0), poLandscape);
    EXPECT_EQ(matrix->PageWidth(0), 1123);
    EXPECT_EQ(matrix->PageHeight(0), 794);
    EXPECT_EQ(matrix->PageTopMargin(0), 13);
    EXPECT_EQ(matrix->PageBottomMargin(0), 11);
    EXPECT_EQ(matrix->PageLeftMargin(0), 14);
    EXPECT_EQ(matrix->PageLeftMargin(1), 12) << "mirrored on an odd index";
    EXPECT_EQ(matrix->PageRightMargin(1), 14);
    for (int bad : {-1, 2}) {
        EXPECT_EQ(matrix->PageBottom(bad), 0);
        EXPECT_EQ(matrix->PageLeftMargin(bad), 0);
        EXPECT_EQ(matrix->PageOrientation(bad), poPortrait);
    }
    EXPECT_NEAR(matrix->LeastLeft(), kMargin + 10, 1e-9);
    EXPECT_NEAR(matrix->ContentTop(), kMargin + 5, 1e-9);
}

TEST_F(Matrix, ClearEmptiesTheMatrixButKeepsTheExtremes) {
    Build({Memo(10, 5, 100, 20, "a")});
    matrix->AddPage(poPortrait, false, 0, 0, 0, 0, 0, 0, 0);
    matrix->Clear();
    EXPECT_EQ(matrix->ObjectCount(), 0);
    EXPECT_EQ(matrix->StyleCount(), 0);
    EXPECT_EQ(matrix->PageCount(), 0);
    EXPECT_EQ(matrix->GridWidth(), 0);
    EXPECT_EQ(matrix->Cell(0, 0), -1);
    EXPECT_EQ(matrix->ObjectAt(0, 0), nullptr);
    EXPECT_EQ(matrix->ObjectById(0), nullptr);
    EXPECT_NEAR(matrix->MaxRight(), kMargin + 110, 1e-9);
    Add({Memo(10, 5, 100, 20, "b")});
    EXPECT_NEAR(Object(0)->Top, kMargin + 5, 1e-9) << "the page offset starts again";
}

// ---- the grid

TEST_F(Matrix, EveryObjectOwnsARectangleOfCellsBetweenItsEdges) {
    TpgwMemoView* a = Memo(0, 0, 50, 20, "a");
    TpgwMemoView* b = Memo(50, 0, 30, 40, "b");
    TpgwMemoView* c = Memo(0, 20, 50, 20, "c");
    Build({a, b, c});
    EXPECT_THAT(Columns(), Near(D{0, 50, 80}));
    EXPECT_THAT(Rows(), Near(D{0, 20, 40}));
    EXPECT_EQ(Grid(), (S{"O1 O2", "O3 O2"}));
    EXPECT_EQ(Placement(1), (std::vector<int>{1, 0, 1, 2}));
    EXPECT_EQ(Text(matrix->ObjectAt(1, 1)), "b");
    EXPECT_EQ(matrix->Cell(2, 0), -1) << "beyond the last boundary";
    EXPECT_EQ(matrix->Cell(-1, 0), -1);
    EXPECT_EQ(Placement(9), (std::vector<int>{-1, -1, 0, 0}));
}

TEST_F(Matrix, EdgesNearerThanTheToleranceMerge) {
    struct Case {
        double tolerance;
        D columns;
        S grid;
    } cases[] = {{0.5, {10.3, 60.3}, {"O2"}},               // one boundary, the larger value
                 {0, {10, 10.3, 60, 60.3}, {"O1' O2 O2"}}}; // a column 0.3 wide between them
    for (const Case& c : cases) {
        SetUp();
        matrix->SetMergeTolerance(c.tolerance);
        Build({Memo(10, 0, 50, 20, "a"), Memo(10.3, 0, 50, 20, "b")});
        EXPECT_THAT(Columns(), Near(c.columns)) << c.tolerance;
        EXPECT_EQ(Grid(), c.grid) << c.tolerance;
    }
}

TEST_F(Matrix, ExactDuplicatesFarApartInAddingOrderSurviveWithoutTolerance) {
    Add({Memo(5, 0, 1, 20)});
    for (int i = 0; i < 60; ++i)
        Add({Memo(10 + 2 * i, 0, 1, 20)});
    Add({Memo(5, 0, 1, 20)});
    matrix->Prepare();
    const std::vector<double> columns = Columns();
    EXPECT_EQ(std::count_if(columns.begin(), columns.end(),
                            [](double v) { return std::abs(v - 5) < 1e-9; }),
              2)
        << "a column of width 0";
    EXPECT_EQ(matrix->GridHeight(), 2) << "near duplicates are found while adding";

    SetUp();
    matrix->SetMergeTolerance(0.01);
    Add({Memo(5, 0, 1, 20)});
    for (int i = 0; i < 60; ++i)
        Add({Memo(10 + 2 * i, 0, 1, 20)});
    Add({Memo(5, 0, 1, 20)});
    matrix->Prepare();
    EXPECT_EQ(matrix->GridWidth(), 122);
}

TEST_F(Matrix, APartlyCoveredObjectIsCutAroundTheCoverAndOnePartTakesItsText) {
    TpgwMemoView* a = Memo(0, 0, 90, 40, "A");
    Frame(a, ftAll);
    TpgwMemoView* b = Memo(30, 0, 30, 20, "B");
    Build({a, b});
    EXPECT_EQ(Grid(), (S{"O1' O2 O1'", "O1' O1' O1'"}));
    const TpgwIEMObject* left = matrix->ObjectAt(0, 0);
    const TpgwIEMObject* right = matrix->ObjectAt(2, 0);
    const TpgwIEMObject* under = matrix->ObjectAt(1, 1);
    EXPECT_NE(left, right);
    EXPECT_NE(right, under);
    EXPECT_EQ(matrix->ObjectAt(0, 1), left);
    EXPECT_EQ(left->Parent, Object(0));
    EXPECT_EQ(Text(left), "A");
    EXPECT_EQ(Text(right), "") << "begins in the last third";
    EXPECT_EQ(Text(under), "");
    EXPECT_EQ(Text(Object(0)), "");
    EXPECT_EQ(Placement(1), (std::vector<int>{1, 0, 1, 1})) << "the cover keeps its rectangle";
    // Frame sides survive where a part shares the object's edge.
    const TpgwFrameTypes top = FrameSide(ftTop), leftSide = FrameSide(ftLeft),
                         bottom = FrameSide(ftBottom), rightSide = FrameSide(ftRight);
    EXPECT_EQ(left->Style->FrameSides, top | leftSide | bottom);
    EXPECT_EQ(right->Style->FrameSides, top | rightSide | bottom);
    EXPECT_EQ(under->Style->FrameSides, bottom);
    EXPECT_NEAR(right->Left - kMargin, 60, 1e-9);
    EXPECT_NEAR(right->Width, 30, 1e-9);

    // The first part in scan order may lie right of the cover; a picture moves the same way.
    SetUp();
    auto* picture = Make<TpgwPictureView>(0, 0, 90, 40, nullptr);
    Build({picture, Memo(0, 0, 40, 40, "cover")});
    const TpgwIEMObject* rest = matrix->ObjectAt(1, 0);
    EXPECT_EQ(rest->Parent, Object(0));
    EXPECT_FALSE(rest->IsText);
    EXPECT_NE(rest->Image, nullptr);
    EXPECT_EQ(Object(0)->Image, nullptr);
}

TEST_F(Matrix, APartKeepsTheFrameOfAnObjectEdgeThatWasMergedIntoANeighbouringBoundary) {
    matrix->SetMergeTolerance(0.5);
    TpgwMemoView* a = Memo(0.2, 0, 90, 40, "A");
    Frame(a, ftAll);
    // Its left edge 0.4 takes the place of the framed object's 0.2.
    Build({a, Memo(30, 0, 30, 20, "B"), Memo(0.4, 50, 10, 10, "C")});
    EXPECT_NEAR(matrix->XPosition(0) - kMargin, 0.4, 1e-9);
    const TpgwIEMObject* left = matrix->ObjectAt(0, 0);
    ASSERT_EQ(left->Parent, Object(0));
    EXPECT_EQ(left->Style->FrameSides, FrameSide(ftTop) | FrameSide(ftLeft) | FrameSide(ftBottom));
}

TEST_F(Matrix, APartThatMissesThePictureIsAnEmptyCellNotAPictureWithoutImage) {
    auto* picture = Make<TpgwPictureView>(0, 0, 90, 40, nullptr);
    Build({picture, Memo(0, 0, 70, 40, "cover")});
    const TpgwIEMObject* rest = matrix->ObjectAt(1, 0);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->Parent, Object(0));
    EXPECT_TRUE(rest->IsText);
    EXPECT_EQ(rest->Image, nullptr);
}

TEST_F(Matrix, GeometryThatIsNotANumberCountsAsZero) {
    TpgwMemoView* broken = Memo(0, 0, 50, 20, "broken");
    broken->SetLeft(std::nan(""));
    broken->SetWidth(INFINITY);
    Build({broken, Memo(10, 0, 50, 20, "fine")});
    EXPECT_EQ(Object(0)->Left, 0);
    EXPECT_EQ(Object(0)->Width, 0);
    EXPECT_EQ(Text(matrix->ObjectAt(1, 0)), "fine");
}

TEST_F(Matrix, CoveredAndZeroWidthObjectsOccupyNoCell) {
    Build({Memo(0, 0, 50, 20, "hidden"), Memo(0, 0, 50, 20, "cover"), Memo(20, 0, 0, 20, "zero")});
    EXPECT_EQ(Grid(), (S{"O2 O2"}));
    EXPECT_EQ(Placement(2)[2], 0) << "no columns";
}

TEST_F(Matrix, TallRowsAreSplitAtMaxRowHeight) {
    struct Case {
        double height;
        D rows;
    } cases[] = {{25, {0, 10, 20, 25}}, {20, {0, 10, 20}}, {10, {0, 10}}};
    for (const Case& c : cases) {
        SetUp();
        matrix->SetMaxRowHeight(10);
        Build({Memo(0, 0, 50, c.height, "tall")});
        EXPECT_THAT(Rows(), Near(c.rows)) << c.height;
        EXPECT_EQ(Placement(0)[3], static_cast<int>(c.rows.size()) - 1);
    }
}

TEST_F(Matrix, ATransparentMemoTakesTheColourOfTheRectangleUnderIt) {
    struct Case {
        TColor memoColor, fontColor, exported;
    } cases[] = {{clNone, clBlack, kYellow}, {clNone, kYellow, clNone}, {kRed, clBlack, kRed}};
    for (const Case& c : cases) {
        SetUp();
        TpgwMemoView* memo = Memo(10, 10, 50, 20, "text");
        memo->SetColor(c.memoColor);
        memo->Font()->SetColor(c.fontColor);
        Build({Shape(0, 0, 100, 50, kYellow), memo});
        EXPECT_EQ(matrix->ObjectAt(1, 1)->Style->Color, c.exported) << c.memoColor;
        EXPECT_EQ(Text(matrix->ObjectAt(1, 1)), "text");
    }
}

TEST_F(Matrix, MergedFramesDrawASharedLineOnce) {
    struct Case {
        bool merge;
        TColor secondColor;
        bool below;
        TpgwFrameTypes secondSides;
    } cases[] = {
        {true, clBlack, true, ftAll & ~FrameSide(ftTop)},
        {true, clBlack, false, ftAll & ~FrameSide(ftLeft)},
        {true, kRed, true, ftAll},
        {false, clBlack, true, ftAll},
    };
    for (const Case& c : cases) {
        SetUp();
        matrix->SetMergeFrames(c.merge);
        TpgwMemoView* first = Memo(0, 0, 50, 20, "1");
        TpgwMemoView* second = c.below ? Memo(0, 20, 50, 20, "2") : Memo(50, 0, 50, 20, "2");
        Frame(first, ftAll);
        Frame(second, ftAll, c.secondColor);
        Build({first, second});
        EXPECT_EQ(Object(0)->Style->FrameSides, ftAll);
        EXPECT_EQ(Object(1)->Style->FrameSides, c.secondSides)
            << c.merge << " " << c.secondColor << " " << c.below;
    }
}

TEST_F(Matrix, EmptyRowsAreDeletedAndTheRowsBelowMoveUp) {
    Build({Memo(0, 0, 50, 20, "a"), Memo(0, 50, 50, 20, "b")});
    EXPECT_THAT(Rows(), Near(D{0, 20, 50, 70}));

    SetUp();
    matrix->SetKeepEmptyRows(false);
    Build({Memo(0, 0, 50, 20, "a"), Memo(0, 50, 50, 20, "b")});
    EXPECT_THAT(Rows(), Near(D{0, 20, 40}));
    EXPECT_EQ(Grid(), (S{"O1", "O2"}));
    EXPECT_EQ(Placement(1), (std::vector<int>{0, 1, 1, 1})) << "placements follow their rows";
}

TEST_F(Matrix, AFilledPageHasAWhiteObjectUnderEverything) {
    matrix->SetFillPage(true);
    Build({Memo(10, 10, 50, 20, "a")});
    EXPECT_THAT(Columns(), Near(D{-kMargin, 10, 60}));
    // The fill's name is empty: its parts show as "'".
    EXPECT_EQ(Grid(), (S{"' '", "' O1"}));
    const TpgwIEMObject* fill = Object(0);
    EXPECT_EQ(fill->Style->Color, clWhite);
    EXPECT_EQ(fill->Style->FrameSides, 0);
    EXPECT_EQ(matrix->ObjectAt(0, 0)->Parent, fill);
    EXPECT_EQ(Text(matrix->ObjectAt(1, 1)), "a");
    EXPECT_EQ(matrix->Cell(1, 0), matrix->Cell(0, 0)) << "the fill is cut around the memo";

    SetUp();
    matrix->SetFillPage(true);
    matrix->SetFillFromContent(true);
    Build({Memo(10, 10, 50, 20, "a"), Memo(60, 30, 50, 20, "b")});
    EXPECT_EQ(matrix->Cell(0, 0), -1) << "nothing left of the content";
    EXPECT_EQ(matrix->ObjectAt(2, 1)->Style->Color, clWhite) << "the gap beside a memo";
}

// ---- through the export driver

// A filter of the table-like kind: one matrix for all pages, prepared when the output closes.
class TMatrixFilter : public TpgwCustomExportFilter {
public:
    TMatrixFilter() : TpgwCustomExportFilter(UnlistedTag{}) { SetShowDialog(false); }
    bool OpenOutput() override {
        matrix.SetAnchorReport(Report());
        return true;
    }
    void WriteItem(TpgwComponent* object) override {
        if (auto* view = dynamic_cast<TpgwView*>(object)) matrix.AddObject(view);
    }
    void LeavePage(TpgwComponent* page, int index) override {
        auto* p = static_cast<TpgwReportPage*>(page);
        matrix.AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                       p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(), p->Width());
    }
    void CloseOutput() override { matrix.Prepare(); }

    TpgwIEMatrix matrix;
};

TEST_F(Matrix, ThePagesOfAPreparedReportFollowEachOtherInOneGrid) {
    report->EngineOptions()->SetNewSilentMode(simSilent);
    ASSERT_TRUE(
        report->LoadFromFile(std::string(LUMETRA_TESTDATA_DIR) + "/matrix_pages.pg3", false));
    ASSERT_TRUE(report->BuildPreparedPages()) << report->Errors().Text();
    ASSERT_EQ(report->PreviewPages()->GetCount(), 3);

    for (bool keepEmptyRows : {true, false}) {
        SCOPED_TRACE(keepEmptyRows);
        TMatrixFilter filter;
        filter.matrix.SetKeepEmptyRows(keepEmptyRows);
        ASSERT_TRUE(report->PreviewPages()->Export(&filter));
        const TpgwIEMatrix& m = filter.matrix;
        ASSERT_EQ(m.PageCount(), 3);
        // Per page: the title, the row memo and the box's four lines; then, for each page, the
        // rest of the box's top line, whose first cell its left line covers.
        ASSERT_EQ(m.ObjectCount(), 21);
        const double pageBottom = m.PageBottom(0);
        EXPECT_NEAR(pageBottom, m.ObjectById(1)->Top + 22 + 16 + 1, 1e-6) << "the bottom line";
        for (int p = 0; p < 3; ++p) {
            const TpgwIEMObject* title = m.ObjectById(6 * p);
            const TpgwIEMObject* row = m.ObjectById(6 * p + 1);
            EXPECT_EQ(Text(title), "Page " + std::to_string(p + 1));
            EXPECT_EQ(title->URL, "@3");
            EXPECT_EQ(Text(row), "Row " + std::to_string(p + 1));
            EXPECT_NEAR(row->Top, m.ObjectById(1)->Top + p * pageBottom, 1e-6);
            EXPECT_NEAR(m.PageBottom(p), (p + 1) * pageBottom, 1e-6);
            EXPECT_EQ(m.ObjectById(6 * p + 2)->Name, "Line");
            int col, r, colSpan, rowSpan;
            m.ObjectPlacement(6 * p + 1, col, r, colSpan, rowSpan);
            EXPECT_EQ(m.ObjectAt(col, r), row);
            // Without empty rows a page is its rows: title 20, row memo 20, the box's lines 1, 15
            // and 1.
            EXPECT_NEAR(m.YPosition(r), keepEmptyRows ? row->Top : kMargin + 20 + p * 57, 1e-6)
                << p;
        }
        // Eight row boundaries a page (title, row memo, the box's lines); without empty rows the
        // gaps after the title and the row memo go, and those between the pages.
        EXPECT_EQ(m.GridHeight(), keepEmptyRows ? 24 : 16);
    }
}

} // namespace
