// Views: frames and their storage, the view's published state in object text, prepared-page
// attributes, bracketed tag text, the pixel rectangle, and frames and shapes drawn to pixels.

#include "report/view.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <vector>

#include "platform/core/exception.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "report/data_set.h"
#include "report/tests/calc_report.h"
#include "report/tests/golden_image.h"
#include "report/xml_serializer.h"

namespace {

// A view that publishes every view property, a highlight and a display format, as text
// objects do.
class TFullView : public TpgwStretcheable {
    LUMETRA_CLASS(TFullView, TpgwStretcheable)
public:
    explicit TFullView(TComponent* owner) : TpgwStretcheable(owner) {}
    static void RegisterProperties(TClassBuilder<TFullView>& b) {
        PublishViewProperties(b, {"BrushStyle", "Color", "Cursor", "DataField", "DataSet",
                                  "DataSetName", "Frame", "TagStr", "URL"});
        b.Add(
            "DisplayFormat", TypeInfoOfClass(TpgwFormat::StaticClass()),
            [](TFullView& v) { return &v.format; }, nullptr);
        b.Add(
            "Highlight", TypeInfoOfClass(TpgwHighlight::StaticClass()),
            [](TFullView& v) { return &v.highlight; }, nullptr);
    }
    TpgwFormat format;
    TpgwHighlight highlight;
};

constexpr TColor kRed = 0x0000FF, kGreen = 0x00A000, kBlue = 0xFF0000, kGrey = 0x808080;
constexpr TColor kPaleYellow = 0xC0FFFF, kPaleGreen = 0xC0FFC0, kPaleBlue = 0xFFE0C0;

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterViewClasses();
        RegisterClasses<TFullView, TpgwUserDataSet>();
    }

    // Object text of a view, read back into a new object of the report, and written again.
    TpgwView* roundTrip(TpgwView* view, std::string& text) {
        TMemoryStream unused;
        TpgwXMLSerializer writer(unused);
        writer.SetOwner(&report);
        text = writer.ObjectToText(view);
        TpgwXMLSerializer reader(unused);
        reader.SetOwner(&report);
        auto* copy = dynamic_cast<TpgwView*>(reader.ObjectFromText(&report, text, false));
        EXPECT_EQ(reader.Errors().Count(), 0) << reader.Errors().Text();
        if (copy) {
            TpgwXMLSerializer again(unused);
            again.SetOwner(&report);
            EXPECT_EQ(again.ObjectToText(copy), text);
        }
        return copy;
    }

    template <class T> T* make(double left, double top, double width, double height) {
        auto* view = new T(&report);
        view->SetBounds(left, top, width, height);
        return view;
    }

    TCalcReport report{nullptr};
};

// Every member of a frame differs from its default; each line differs from the frame in one
// member.
void fillFrame(TpgwFrame& f) {
    f.SetColor(kBlue);
    f.SetStyle(fsDash);
    f.SetWidth(2.5);
    f.SetTyp(FrameSide(ftLeft) | FrameSide(ftBottom));
    f.SetDropShadow(true);
    f.SetShadowColor(kGrey);
    f.SetShadowWidth(3.25);
    f.LeftLine()->SetColor(kRed);
    f.TopLine()->SetStyle(fsDouble);
    f.RightLine()->SetWidth(0.5);
    f.BottomLine()->SetColor(kGreen);
    f.BottomLine()->SetStyle(fsSquare);
}

void expectSameFrame(const TpgwFrame& a, const TpgwFrame& b) {
    EXPECT_EQ(a.Color(), b.Color());
    EXPECT_EQ(a.Style(), b.Style());
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Typ(), b.Typ());
    EXPECT_EQ(a.DropShadow(), b.DropShadow());
    EXPECT_EQ(a.ShadowColor(), b.ShadowColor());
    EXPECT_EQ(a.ShadowWidth(), b.ShadowWidth());
    for (TpgwFrameType side : {ftLeft, ftRight, ftTop, ftBottom}) {
        SCOPED_TRACE(side);
        EXPECT_EQ(a.Line(side)->Color(), b.Line(side)->Color());
        EXPECT_EQ(a.Line(side)->Style(), b.Line(side)->Style());
        EXPECT_EQ(a.Line(side)->Width(), b.Line(side)->Width());
    }
}

void fillView(TpgwView& v) {
    v.SetBounds(10.25, 20.5, 30.125, 40.75);
    v.SetAlign(baRight);
    v.SetPrintable(false);
    v.SetShiftMode(smWhenOverlapped);
    v.SetVisible(false);
    v.SetGroupIndex(3);
    v.SetRestrictions((1 << rfDontMove) | (1 << rfDontEdit));
    v.SetHint("Short|Long");
    v.SetShowHint(true);
    v.SetDescription("described");
    v.OnBeforePrint = "Before";
    v.OnAfterPrint = "After";
    v.OnAfterData = "Data";
    v.OnPreviewClick = "Click";
    v.OnPreviewDblClick = "DblClick";
    v.SetBrushStyle(bsCross);
    v.SetColor(kPaleYellow);
    v.SetCursor(-21);
    v.SetTagStr("tag <&> \"[1+2]\"");
    v.SetURL("http://host/?a=1&b=[x]");
    fillFrame(*v.Frame());
}

void expectSameView(TpgwView& a, TpgwView& b, bool published) {
    EXPECT_EQ(a.Left(), b.Left());
    EXPECT_EQ(a.Top(), b.Top());
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    EXPECT_EQ(a.Align(), b.Align());
    EXPECT_EQ(a.Printable(), b.Printable());
    EXPECT_EQ(a.ShiftMode(), b.ShiftMode());
    EXPECT_EQ(a.Visible(), b.Visible());
    EXPECT_EQ(a.GroupIndex(), b.GroupIndex());
    EXPECT_EQ(a.Restrictions(), b.Restrictions());
    EXPECT_EQ(a.Hint(), b.Hint());
    EXPECT_EQ(a.ShowHint(), b.ShowHint());
    EXPECT_EQ(a.Description(), b.Description());
    EXPECT_EQ(a.OnBeforePrint, b.OnBeforePrint);
    EXPECT_EQ(a.OnAfterPrint, b.OnAfterPrint);
    EXPECT_EQ(a.OnAfterData, b.OnAfterData);
    EXPECT_EQ(a.OnPreviewClick, b.OnPreviewClick);
    EXPECT_EQ(a.OnPreviewDblClick, b.OnPreviewDblClick);
    if (!published) return;
    EXPECT_EQ(a.BrushStyle(), b.BrushStyle());
    EXPECT_EQ(a.Color(), b.Color());
    EXPECT_EQ(a.Cursor(), b.Cursor());
    EXPECT_EQ(a.TagStr(), b.TagStr());
    EXPECT_EQ(a.URL(), b.URL());
    expectSameFrame(*a.Frame(), *b.Frame());
}

TEST_F(Views, EveryClassRoundTripsThroughObjectText) {
    auto* users = new TpgwUserDataSet(&report);
    users->SetName("Users");
    std::string text;

    auto* view = new TpgwView(&report);
    fillView(*view);
    auto* copy = roundTrip(view, text);
    ASSERT_TRUE(copy) << text;
    expectSameView(*view, *copy, false);
    EXPECT_EQ(copy->Frame()->Color(), clBlack) << "the bare view publishes no frame: " << text;

    auto* stretcheable = new TpgwStretcheable(&report);
    fillView(*stretcheable);
    stretcheable->SetStretchMode(smMaxHeight);
    auto* stretchCopy = dynamic_cast<TpgwStretcheable*>(roundTrip(stretcheable, text));
    ASSERT_TRUE(stretchCopy) << text;
    expectSameView(*stretcheable, *stretchCopy, false);
    EXPECT_EQ(stretchCopy->StretchMode(), smMaxHeight);

    auto* shape = new TpgwShapeView(&report);
    fillView(*shape);
    shape->SetShape(skDiamond);
    shape->SetCurve(5);
    auto* shapeCopy = dynamic_cast<TpgwShapeView*>(roundTrip(shape, text));
    ASSERT_TRUE(shapeCopy) << text;
    expectSameView(*shape, *shapeCopy, true);
    EXPECT_EQ(shapeCopy->Shape(), skDiamond);
    EXPECT_EQ(shapeCopy->Curve(), 5);

    auto* full = new TFullView(&report);
    fillView(*full);
    full->SetDataSet(users);
    full->SetDataField("Name");
    full->format.SetKind(fkNumeric);
    full->format.SetFormatStr("%2.2f");
    full->format.SetDecimalSeparator(",");
    full->format.SetThousandSeparator(".");
    full->highlight.SetCondition("Value > 0");
    full->highlight.SetColor(kPaleGreen);
    full->highlight.Font()->SetSize(14);
    auto* fullCopy = dynamic_cast<TFullView*>(roundTrip(full, text));
    ASSERT_TRUE(fullCopy) << text;
    expectSameView(*full, *fullCopy, true);
    EXPECT_EQ(fullCopy->DataSet(), users);
    EXPECT_EQ(fullCopy->DataSetName(), "Users");
    EXPECT_EQ(fullCopy->DataField(), "Name");
    EXPECT_EQ(fullCopy->format.Kind(), fkNumeric);
    EXPECT_EQ(fullCopy->format.FormatStr(), "%2.2f");
    EXPECT_EQ(fullCopy->format.DecimalSeparator(), ",");
    EXPECT_EQ(fullCopy->format.ThousandSeparator(), ".");
    EXPECT_EQ(fullCopy->highlight.Condition(), "Value > 0");
    EXPECT_EQ(fullCopy->highlight.Color(), kPaleGreen);
    EXPECT_EQ(fullCopy->highlight.Font()->Size(), 14);
    EXPECT_EQ(fullCopy->highlight.Font()->Color(), kRed);
}

TEST_F(Views, FrameLinesStoreOnlyWhatDiffersFromTheFrame) {
    auto* shape = new TpgwShapeView(&report);
    TpgwFrame& frame = *shape->Frame();
    frame.SetColor(kRed);
    frame.SetWidth(2);
    for (TpgwFrameType side : {ftLeft, ftRight, ftTop, ftBottom}) {
        EXPECT_EQ(frame.Line(side)->Color(), kRed) << "the frame's colour reaches every line";
        EXPECT_EQ(frame.Line(side)->Width(), 2);
    }
    frame.LeftLine()->SetColor(kBlue);
    std::string text;
    auto* copy = dynamic_cast<TpgwShapeView*>(roundTrip(shape, text));
    ASSERT_TRUE(copy);
    EXPECT_NE(text.find("Frame.LeftLine.Color=\"16711680\""), std::string::npos) << text;
    EXPECT_EQ(text.find("TopLine.Color"), std::string::npos) << text;
    EXPECT_EQ(text.find("LeftLine.Width"), std::string::npos) << text;
    EXPECT_EQ(copy->Frame()->LeftLine()->Color(), kBlue);
    EXPECT_EQ(copy->Frame()->TopLine()->Color(), kRed);
    EXPECT_EQ(copy->Frame()->TopLine()->Width(), 2);

    // Setting a line through the frame copies it; the frame keeps its own line.
    TpgwFrameLine given;
    given.SetStyle(fsDot);
    TpgwFrameLine* own = frame.TopLine();
    frame.SetTopLine(&given);
    EXPECT_EQ(frame.TopLine(), own);
    EXPECT_EQ(own->Style(), fsDot);
    EXPECT_EQ(own->Frame(), &frame);

    // Assigning a frame copies the lines' own values too; setting a view's frame copies it.
    TpgwFrame other;
    other.Assign(&frame);
    expectSameFrame(other, frame);
    auto* view = new TpgwView(&report);
    view->SetFrame(&other);
    expectSameFrame(*view->Frame(), frame);
    EXPECT_NE(view->Frame(), &other);
}

TEST_F(Views, HighlightAndFormatAssign) {
    TpgwHighlight source;
    source.SetActive(true);
    source.SetColor(kBlue);
    source.SetCondition("x");
    source.Font()->SetName("Times New Roman");
    TpgwHighlight target;
    EXPECT_EQ(target.Font()->Name(), "Arial");
    EXPECT_EQ(target.Font()->Size(), 10);
    EXPECT_EQ(target.Font()->Color(), kRed);
    EXPECT_EQ(target.Color(), clNone);
    target.Assign(&source);
    EXPECT_FALSE(target.Active()) << "Active is the text object's state, not copied";
    EXPECT_EQ(target.Color(), kBlue);
    EXPECT_EQ(target.Condition(), "x");
    EXPECT_EQ(target.Font()->Name(), "Times New Roman");

    TpgwFormat format;
    format.SetKind(fkBoolean);
    format.SetFormatStr("no,yes");
    format.SetDecimalSeparator(",");
    format.SetThousandSeparator(" ");
    TpgwFormat copy;
    copy.Assign(&format);
    EXPECT_EQ(copy.Kind(), fkBoolean);
    EXPECT_EQ(copy.FormatStr(), "no,yes");
    EXPECT_EQ(copy.DecimalSeparator(), ",");
    EXPECT_EQ(copy.ThousandSeparator(), " ");
}

TEST_F(Views, ChangedAttributesAgainstAFreshShape) {
    struct Case {
        const char* name;
        void (*change)(TpgwShapeView&);
        const char* expected;
    };
    const Case cases[] = {
        {"nothing", [](TpgwShapeView&) {}, ""},
        {"frame colour", [](TpgwShapeView& s) { s.Frame()->SetColor(255); },
         R"( Frame.Color="255")"},
        {"top line colour", [](TpgwShapeView& s) { s.Frame()->TopLine()->SetColor(255); },
         R"( Frame.TopLine.Color="255")"},
        {"frame colour, top line kept black",
         [](TpgwShapeView& s) {
             s.Frame()->SetColor(255);
             s.Frame()->TopLine()->SetColor(0);
         },
         R"( Frame.Color="255" Frame.TopLine.Color="0")"},
        {"frame width", [](TpgwShapeView& s) { s.Frame()->SetWidth(2); }, R"( Frame.Width="2")"},
        {"line width within tolerance",
         [](TpgwShapeView& s) { s.Frame()->LeftLine()->SetWidth(1.00001); }, ""},
        {"line width beside a written frame width is compared exactly",
         [](TpgwShapeView& s) {
             s.Frame()->SetWidth(2);
             s.Frame()->BottomLine()->SetWidth(2.00001);
         },
         R"( Frame.Width="2" Frame.BottomLine.Width="2.00001")"},
        {"line style", [](TpgwShapeView& s) { s.Frame()->RightLine()->SetStyle(fsDot); },
         R"( Frame.RightLine.Style="2")"},
        {"frame members in order",
         [](TpgwShapeView& s) {
             s.Frame()->SetTyp(FrameSide(ftLeft) | FrameSide(ftBottom));
             s.Frame()->SetStyle(fsDouble);
             s.Frame()->SetShadowWidth(6);
             s.Frame()->SetShadowColor(kGrey);
             s.Frame()->SetDropShadow(true);
         },
         R"( Frame.DropShadow="1" Frame.ShadowColor="8421504" Frame.ShadowWidth="6")"
         R"( Frame.Style="5" Frame.Typ="9")"},
        {"view members in order",
         [](TpgwShapeView& s) {
             s.SetURL("u?a=1&b=2");
             s.SetTagStr("<\"x\">");
             s.SetPrintable(false);
             s.SetCursor(-21);
             s.Frame()->SetColor(kRed);
             s.SetColor(kPaleYellow);
             s.SetAlign(baClient);
             s.SetBrushStyle(bsCross);
             s.SetLeft(5);
         },
         R"( l="5" BrushStyle="6" Align="6" Color="12648447" Frame.Color="255" Cursor="-21")"
         R"( Printable="0" TagStr="&#60;&#34;x&#34;&#62;" URL="u?a=1&#38;b=2")"},
        {"shape kind", [](TpgwShapeView& s) { s.SetShape(skEllipse); }, R"( Shape="2")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TpgwShapeView reference(nullptr);
        TpgwShapeView shape(nullptr);
        c.change(shape);
        EXPECT_EQ(shape.ChangedAttributes(&reference), c.expected);
    }
    TpgwShapeView shape(nullptr);
    shape.SetColor(kRed);
    EXPECT_EQ(shape.ChangedAttributes(nullptr), "");
}

TEST_F(Views, TagStrAndURLExpandForOneOutput) {
    auto* view = make<TpgwView>(10, 20, 30, 40);
    view->SetTagStr("x[1+2]");
    view->SetURL("http://h/[2+2]?q=[10+20+3]");
    view->SaveForPrint();
    EXPECT_EQ(report.self, view);
    view->FetchData();
    EXPECT_EQ(view->TagStr(), "x3");
    EXPECT_EQ(view->URL(), "http://h/4?q=33");
    view->SetHeight(99); // stretched during the output
    view->RestoreAfterPrint();
    EXPECT_EQ(view->TagStr(), "x[1+2]");
    EXPECT_EQ(view->URL(), "http://h/[2+2]?q=[10+20+3]");
    EXPECT_EQ(view->Height(), 40);
}

TEST_F(Views, BracketExpansionCases) {
    report.values = {{"a[b]c", "nested"},
                     {"\"]\"", "quoted"},
                     {"again", "[1+2]"},
                     {"", "empty"},
                     {"null", Variant::Null()}};
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"[1+2][3+4]", "37"},
        {"<[a[b]c]>", "<nested>"},
        {"[\"]\"]!", "quoted!"},
        {"[again] stays", "[1+2] stays"},
        {"[]", "empty"},
        {"[null]|", "|"},
        {"检查[1+2]项", "检查3项"},
        {"] alone", "] alone"},
    };
    auto* view = new TpgwView(&report);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        view->ExpandBrackets(text);
        EXPECT_EQ(text, c.expected);
    }

    // A failure leaves the text as it was; the caller records the error.
    std::string failing = "ok [1+2] [bad!]";
    EXPECT_THROW(view->ExpandBrackets(failing), Exception);
    EXPECT_EQ(failing, "ok [1+2] [bad!]");
    // An unclosed bracket is no expression and no error: it prints as it stands.
    std::string unclosed = "ok [1+2] [unclosed";
    view->ExpandBrackets(unclosed);
    EXPECT_EQ(unclosed, "ok 3 [unclosed");

    // Without a report nothing is evaluated.
    TpgwView loose(nullptr);
    std::string text = "x[1+2]";
    loose.ExpandBrackets(text);
    EXPECT_EQ(text, "x[1+2]");
}

TEST_F(Views, BeginDrawComputesThePixelRectangle) {
    struct Case {
        const char* name;
        double left, top, width, height, scale, offset, frameWidth;
        bool shadow;
        int x, y, x1, y1, fw;
    };
    const Case cases[] = {
        {"halves to even", 10.5, 11.5, 20, 20, 1, 0, 1, false, 10, 12, 30, 32, 1},
        {"offset", 10, 10, 20, 20, 1, 5.5, 1, false, 16, 16, 36, 36, 1},
        {"scale 2 with shadow", 10, 20, 50, 30, 2, 0, 1, true, 20, 40, 112, 92, 2},
        {"frame width rounds", 0, 0, 10, 10, 1, 0, 2.5, false, 0, 0, 10, 10, 2},
        {"frame width at half scale", 0, 0, 10, 10, 0.5, 0, 1.5, false, 0, 0, 5, 5, 1},
    };
    TRasterCanvas canvas(10, 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TpgwView view(nullptr);
        view.SetBounds(c.left, c.top, c.width, c.height);
        view.Frame()->SetWidth(c.frameWidth);
        view.Frame()->SetDropShadow(c.shadow);
        view.BeginDraw(canvas, c.scale, c.scale, c.offset, c.offset);
        EXPECT_EQ(view.Canvas(), &canvas);
        EXPECT_EQ(view.X(), c.x);
        EXPECT_EQ(view.Y(), c.y);
        EXPECT_EQ(view.X1(), c.x1);
        EXPECT_EQ(view.Y1(), c.y1);
        EXPECT_EQ(view.DX(), c.x1 - c.x);
        EXPECT_EQ(view.DY(), c.y1 - c.y);
        EXPECT_EQ(view.FW(), c.fw);
    }

    // Positions are absolute: the parents' offsets add up.
    auto* parent = make<TpgwView>(100, 200, 300, 300);
    auto* child = new TpgwView(parent);
    child->SetBounds(10, 20, 5, 5);
    child->BeginDraw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(child->X(), 110);
    EXPECT_EQ(child->Y(), 220);
}

TEST_F(Views, ShadowFillsTheStripInsideTheBounds) {
    auto* view = make<TpgwView>(5, 5, 20, 15);
    view->Frame()->SetDropShadow(true);
    view->Frame()->SetShadowColor(kGrey);
    TRasterCanvas canvas(60, 50);
    view->Draw(canvas, 2, 2, 0, 0);
    // The rectangle is 10..50 x 10..40 less 8 pixels at the right and bottom.
    EXPECT_EQ(view->X1(), 42);
    EXPECT_EQ(view->Y1(), 32);
    for (int y = 18; y < 40; ++y)
        for (int x = 42; x < 50; ++x)
            ASSERT_EQ(canvas.Pixel(x, y), kGrey) << x << "," << y;
    for (int x = 18; x < 50; ++x)
        for (int y = 32; y < 40; ++y)
            ASSERT_EQ(canvas.Pixel(x, y), kGrey) << x << "," << y;
    EXPECT_EQ(canvas.Pixel(44, 12), clWhite) << "the shadow starts one width down";
    EXPECT_EQ(canvas.Pixel(12, 36), clWhite) << "and one width in";
    EXPECT_EQ(canvas.Pixel(30, 20), clWhite) << "no frame side, no fill";
}

TEST_F(Views, FramesThatDrawNoSide) {
    const std::vector<void (*)(TpgwFrame&)> changes = {
        [](TpgwFrame& f) { f.SetTyp(0); },
        [](TpgwFrame& f) { f.SetColor(clNone); },
        [](TpgwFrame& f) { f.SetWidth(0); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        TpgwView view(nullptr);
        view.SetBounds(4, 4, 20, 20);
        view.Frame()->SetTyp(ftAll);
        view.Frame()->SetDropShadow(true);
        view.Frame()->SetShadowColor(kGrey);
        changes[i](*view.Frame());
        TRasterCanvas canvas(30, 30);
        view.Draw(canvas, 1, 1, 0, 0);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 30; ++x) {
                const bool inShadow = (x >= 20 && x < 24 && y >= 8 && y < 24) ||
                                      (y >= 20 && y < 24 && x >= 8 && x < 24);
                ASSERT_EQ(canvas.Pixel(x, y), inShadow ? kGrey : clWhite) << x << "," << y;
            }
    }
}

TEST_F(Views, ThickLinesAreParallelOnePixelLines) {
    struct Case {
        int x, y, x1, y1, width;
        TRect ink;
    };
    const Case cases[] = {
        {2, 10, 18, 10, 0, {2, 10, 18, 11}}, // 0 counts as 1
        {2, 10, 18, 10, 3, {2, 9, 18, 12}},  // odd: -1..1
        {2, 10, 18, 10, 4, {2, 8, 18, 12}},  // even: -2..1
        {10, 2, 10, 18, 2, {9, 2, 11, 18}},  // vertical copies step sideways
        {2, 2, 18, 10, 3, {2, 1, 18, 11}},   // mostly horizontal: vertical steps
        {2, 2, 10, 18, 3, {1, 2, 11, 18}},   // mostly vertical: horizontal steps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.x << "," << c.y << " " << c.x1 << "," << c.y1 << " w" << c.width);
        TRasterCanvas canvas(24, 24);
        canvas.Pen().SetColor(clBlack);
        canvas.Pen().SetWidth(5);
        DrawThickLine(canvas, c.x, c.y, c.x1, c.y1, c.width);
        EXPECT_EQ(canvas.Pen().Width(), 5) << "the pen is given back";
        TRect ink{24, 24, 0, 0};
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                if (canvas.Pixel(x, y) != clWhite) {
                    ink.Left = std::min(ink.Left, x), ink.Top = std::min(ink.Top, y);
                    ink.Right = std::max(ink.Right, x + 1),
                    ink.Bottom = std::max(ink.Bottom, y + 1);
                }
        EXPECT_EQ(ink.Left, c.ink.Left);
        EXPECT_EQ(ink.Top, c.ink.Top);
        EXPECT_EQ(ink.Right, c.ink.Right);
        EXPECT_EQ(ink.Bottom, c.ink.Bottom);
    }
}

TEST_F(Views, HostileWidthsDrawABoundedNumberOfLines) {
    auto* view = make<TFullView>(0, 0, 50, 50);
    view->Frame()->SetTyp(ftAll);
    view->Frame()->SetStyle(fsDash);
    view->Frame()->SetWidth(1e7);
    view->Frame()->SetDropShadow(true);
    view->Frame()->SetShadowWidth(1e7);
    TRecordingCanvas canvas(60, 60);
    view->Draw(canvas, 1, 1, 0, 0);
    EXPECT_LE(canvas.Recording().RecordCount(), 6u * 40000u);
}

// ---- shapes

TEST_F(Views, RoundRectangleCornerDiameter) {
    struct Case {
        int curve;
        double scale;
        int diameter;
    };
    // A 40 x 100 pixel rectangle: a quarter of the shorter side, or Curve x 10 at the scale.
    for (const Case& c : {Case{0, 1, 10}, Case{0, 2, 20}, Case{2, 1, 20}, Case{3, 1.5, 45}}) {
        SCOPED_TRACE(testing::Message() << "curve " << c.curve << " scale " << c.scale);
        TpgwShapeView shape(nullptr);
        shape.SetShape(skRoundRectangle);
        shape.SetCurve(c.curve);
        shape.SetBounds(5, 5, 40, 100);
        TRasterCanvas drawn(320, 320), expected(320, 320);
        shape.Draw(drawn, c.scale, c.scale, 0, 0);
        expected.Pen().SetColor(clBlack);
        expected.Pen().SetWidth(shape.FW());
        expected.Brush().SetStyle(bsClear);
        expected.RoundRect(shape.X(), shape.Y(), shape.X1() + 1, shape.Y1() + 1, c.diameter,
                           c.diameter);
        EXPECT_TRUE(drawn.ToImage().Pixels == expected.ToImage().Pixels);
    }
}

TEST_F(Views, DoubleOutlineDrawsTheShapeAgainInside) {
    // Inner bounds in frame widths: left, top, width and height changes.
    struct Case {
        TpgwShapeKind kind;
        double dl, dt, dw, dh;
    };
    const Case cases[] = {
        {skRectangle, 2, 2, -4, -4}, {skRoundRectangle, 2, 2, -4, -4}, {skEllipse, 2, 2, -4, -4},
        {skTriangle, 4, 4, -8, -6},  {skDiamond, 3, 3, -6, -6},        {skDiagonal1, 2, 0, 0, 0},
        {skDiagonal2, 2, 0, 0, 0},
    };
    for (double width : {1.0, 2.0}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " width " << width);
            auto make = [&](double l, double t, double w, double h) {
                auto shape = std::make_unique<TpgwShapeView>(nullptr);
                shape->SetShape(c.kind);
                shape->SetBounds(l, t, w, h);
                shape->SetColor(kPaleYellow);
                shape->Frame()->SetWidth(width);
                return shape;
            };
            auto doubled = make(10, 10, 80, 60);
            doubled->Frame()->SetStyle(fsDouble);
            TRasterCanvas drawn(110, 90), expected(110, 90);
            doubled->Draw(drawn, 1, 1, 0, 0);
            EXPECT_EQ(doubled->Frame()->Style(), fsDouble);
            EXPECT_EQ(doubled->Left(), 10) << "the bounds are the template's again";
            EXPECT_EQ(doubled->Width(), 80);
            make(10, 10, 80, 60)->Draw(expected, 1, 1, 0, 0);
            make(10 + c.dl * width, 10 + c.dt * width, 80 + c.dw * width, 60 + c.dh * width)
                ->Draw(expected, 1, 1, 0, 0);
            EXPECT_TRUE(drawn.ToImage().Pixels == expected.ToImage().Pixels);
        }
    }
}

TEST_F(Views, ShapeTraitsAndDesignerCreation) {
    auto* view = new TpgwView(&report);
    EXPECT_TRUE(view->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault);
    EXPECT_TRUE(view->ObjectTraits() & TpgwObjectTraits::ShownInPreview);
    TpgwShapeView* shape = TpgwShapeView::CreateInDesigner(&report, skTriangle);
    EXPECT_FALSE(shape->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault);
    EXPECT_TRUE(shape->DesignTimeObject());
    EXPECT_EQ(shape->Shape(), skTriangle);
    EXPECT_EQ(shape->Parent(), &report);
    EXPECT_EQ(TpgwShapeView::CreateInDesigner(&report, 99)->Shape(), skRectangle);
}

TEST_F(Views, DataSetBindingFollowsTheDataSet) {
    auto* users = new TpgwUserDataSet(&report);
    users->SetName("Users");
    auto* view = new TpgwView(&report);
    view->SetDataSetName("Users");
    EXPECT_EQ(view->DataSet(), users);
    view->SetDataField("Name");
    EXPECT_TRUE(view->HasDataField());
    users->SetUserName("People");
    EXPECT_EQ(view->DataSetName(), "People") << "the name is the data set's own";
    delete users;
    EXPECT_EQ(view->DataSet(), nullptr);
    EXPECT_FALSE(view->HasDataField());
    view->SetDataSetName("Nobody");
    EXPECT_EQ(view->DataSet(), nullptr);
    EXPECT_EQ(view->DataSetName(), "Nobody");
}

// ---- pixels

// Nine frames: per-side colours, double, dashed, mixed line styles, alternate dots, squares,
// a shadow and open corners over a hatch.
TRasterImage renderFrames(double scale) {
    std::vector<std::unique_ptr<TpgwView>> views;
    auto add = [&](double left, double top, TColor color, TpgwFrameStyle style, double width) {
        auto view = std::make_unique<TpgwView>(nullptr);
        view->SetBounds(left, top, 70, 45);
        view->SetColor(color);
        view->Frame()->SetTyp(ftAll);
        view->Frame()->SetStyle(style);
        view->Frame()->SetWidth(width);
        views.push_back(std::move(view));
        return views.back()->Frame();
    };
    TpgwFrame* f = add(10, 10, kPaleYellow, fsSolid, 2);
    f->LeftLine()->SetColor(kRed);
    f->TopLine()->SetColor(kGreen);
    f->RightLine()->SetColor(kBlue);
    add(95, 10, kPaleBlue, fsDouble, 1)->SetColor(0x800000);
    add(180, 10, clNone, fsDouble, 2)
        ->SetTyp(FrameSide(ftLeft) | FrameSide(ftTop) | FrameSide(ftRight));
    add(10, 65, kPaleYellow, fsDash, 1)->SetColor(kRed);
    f = add(95, 65, clNone, fsDash, 1);
    f->TopLine()->SetStyle(fsDot);
    f->RightLine()->SetStyle(fsDashDot);
    f->BottomLine()->SetStyle(fsDashDotDot);
    add(180, 65, kPaleGreen, fsAltDot, 2);
    add(10, 120, clNone, fsSquare, 3)->SetColor(kBlue);
    f = add(95, 120, clWhite, fsSolid, 1);
    f->SetDropShadow(true);
    f->SetShadowColor(kGrey);
    f = add(180, 120, kPaleBlue, fsSolid, 3);
    f->SetColor(kGreen);
    f->SetTyp(FrameSide(ftLeft) | FrameSide(ftTop));
    f->SetDropShadow(true);
    f->SetShadowWidth(3);
    views.back()->SetBrushStyle(bsDiagCross);

    TRasterCanvas canvas(static_cast<int>(260 * scale), static_cast<int>(175 * scale));
    for (auto& view : views)
        view->Draw(canvas, scale, scale, 0, 0);
    return canvas.ToImage();
}

// The seven shapes filled, hatched over a colour, and double-framed.
TRasterImage renderShapes(double scale) {
    TRasterCanvas canvas(static_cast<int>(430 * scale), static_cast<int>(160 * scale));
    for (int row = 0; row < 3; ++row) {
        for (int kind = skRectangle; kind <= skDiagonal2; ++kind) {
            TpgwShapeView shape(nullptr);
            shape.SetShape(static_cast<TpgwShapeKind>(kind));
            shape.SetBounds(10 + kind * 60, 10 + row * 50, 50, 40);
            switch (row) {
            case 0:
                shape.SetColor(kPaleYellow);
                break;
            case 1:
                shape.SetColor(kPaleBlue);
                shape.SetBrushStyle(bsFDiagonal);
                shape.Frame()->SetColor(kBlue);
                break;
            case 2:
                shape.Frame()->SetStyle(fsDouble);
                shape.Frame()->SetColor(kRed);
                break;
            }
            shape.Draw(canvas, scale, scale, 0, 0);
        }
    }
    return canvas.ToImage();
}

TEST_F(Views, FramesMatchGoldenImages) {
    EXPECT_TRUE(golden::MatchesGolden(renderFrames(1), "view_frames_scale1"));
    EXPECT_TRUE(golden::MatchesGolden(renderFrames(2), "view_frames_scale2"));
}

TEST_F(Views, ShapesMatchGoldenImages) {
    EXPECT_TRUE(golden::MatchesGolden(renderShapes(1), "view_shapes_scale1"));
    EXPECT_TRUE(golden::MatchesGolden(renderShapes(2), "view_shapes_scale2"));
}

} // namespace
