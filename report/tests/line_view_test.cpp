// Line objects: the one-dimensional collapse of a straight line, arrow heads (solid and
// stroked, the nearly vertical case), the designer's variants and one-line object texts.

#include "report/line_view.h"

#include <gtest/gtest.h>

#include "platform/graphics/raster_canvas.h"
#include "report/report.h"
#include "report/tests/golden_image.h"
#include "report/xml_serializer.h"

namespace {

class LineView : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterViewClasses();
        RegisterLineAndPictureClasses();
    }

    TpgwLineView* Line(double left, double top, double width, double height) {
        auto* line = new TpgwLineView(&owner);
        line->SetBounds(left, top, width, height);
        return line;
    }

    TComponent owner{nullptr};
};

// The ink of colour in the canvas, as a bounding box.
TRect Ink(const TRasterCanvas& canvas, TColor color) {
    TRect r{canvas.Width(), canvas.Height(), 0, 0};
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            if (canvas.Pixel(x, y) == color) {
                r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
            }
    return r.IsEmpty() ? TRect{} : r;
}

} // namespace

TEST_F(LineView, StraightLineCollapsesToOneDimension) {
    struct Case {
        double width, height;
        double expectWidth, expectHeight;
        TpgwFrameTypes typ;
        TRect ink;
    };
    const Case cases[] = {
        // Square pen ends take in the end pixel.
        {100, 3, 100, 0, FrameSide(ftTop), {10, 20, 111, 21}},  // horizontal at the top edge
        {3, 100, 0, 100, FrameSide(ftLeft), {10, 20, 11, 121}}, // vertical at the left edge
        {5, 5, 0, 5, FrameSide(ftLeft), {10, 20, 11, 26}},      // a square counts as vertical
    };
    for (const Case& c : cases) {
        TpgwLineView* line = Line(10, 20, c.width, c.height);
        line->Frame()->SetTyp(ftAll);
        TRasterCanvas canvas(130, 130);
        line->Draw(canvas, 1, 1, 0, 0);
        EXPECT_EQ(line->Width(), c.expectWidth);
        EXPECT_EQ(line->Height(), c.expectHeight);
        EXPECT_EQ(line->Frame()->Typ(), c.typ);
        EXPECT_EQ(Ink(canvas, clBlack), c.ink) << c.width << " x " << c.height;
        delete line;
    }
}

TEST_F(LineView, ArrowHeadsPointAwayFromTheOtherEnd) {
    // A solid head of length 20 and half-width 5 at the right end of a horizontal line.
    TpgwLineView* line = Line(10, 50, 100, 0);
    line->SetArrowEnd(true);
    line->SetArrowSolid(true);
    line->Frame()->SetColor(clRed);
    TRasterCanvas canvas(130, 100);
    line->Draw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(Ink(canvas, clRed), (TRect{10, 45, 111, 56}));
    EXPECT_EQ(canvas.Pixel(95, 46), clRed); // the head is filled
    EXPECT_EQ(canvas.Pixel(30, 46), clWhite);

    // At twice the scale the head doubles; a start head lies at the left end.
    line->SetArrowEnd(false);
    line->SetArrowStart(true);
    TRasterCanvas twice(260, 200);
    line->Draw(twice, 2, 2, 0, 0);
    const TRect ink = Ink(twice, clRed);
    EXPECT_EQ(ink.Left, 20);
    EXPECT_EQ(ink.Top, 90);
    EXPECT_EQ(ink.Right, 220);
    EXPECT_NEAR(ink.Bottom, 111, 1);
    EXPECT_EQ(twice.Pixel(55, 93), clRed);
    EXPECT_EQ(twice.Pixel(200, 93), clWhite);
}

TEST_F(LineView, ArrowOnANearlyVerticalLineIsDrawnAsVertical) {
    // 8 pixels off vertical: the head's base is horizontal, 20 above the tip; 9 pixels off
    // tilts it with the line.
    for (int off : {8, 9}) {
        TpgwLineView* line = Line(20, 10, off, 100);
        line->SetDiagonal(true);
        line->SetArrowEnd(true);
        line->SetArrowSolid(true);
        TRasterCanvas canvas(60, 130);
        line->Draw(canvas, 1, 1, 0, 0);
        const TRect ink = Ink(canvas, clBlack);
        if (off == 8) {
            EXPECT_EQ(ink.Right, 20 + 8 + 5 + 1);
            EXPECT_EQ(canvas.Pixel(23, 90), clBlack) << "left wing at the tip's height less 20";
            EXPECT_EQ(canvas.Pixel(33, 90), clBlack) << "right wing";
        } else {
            EXPECT_LT(ink.Right, 20 + 9 + 5 + 1);
        }
        delete line;
    }
}

TEST_F(LineView, NothingDrawnWithoutColourOrWidth) {
    for (bool diagonal : {false, true}) {
        TpgwLineView* line = Line(10, 10, 80, diagonal ? 60 : 0);
        line->SetDiagonal(diagonal);
        line->SetArrowStart(true);
        line->SetArrowEnd(true);
        line->Frame()->SetColor(clNone);
        TRasterCanvas canvas(100, 100);
        line->Draw(canvas, 1, 1, 0, 0);
        EXPECT_EQ(Ink(canvas, clBlack), TRect{}) << diagonal;
        line->Frame()->SetColor(clBlack);
        line->Frame()->SetWidth(0);
        if (diagonal) {
            line->Draw(canvas, 1, 1, 0, 0);
            EXPECT_EQ(Ink(canvas, clBlack), TRect{});
        }
        delete line;
    }
}

TEST_F(LineView, LinesWithArrowsMatchTheirGoldens) {
    const auto build = [&] {
        std::vector<TpgwLineView*> lines;
        const auto add = [&](double l, double t, double w, double h, bool diagonal, bool start,
                             bool end, bool solid, TColor color, double width) {
            TpgwLineView* line = Line(l, t, w, h);
            line->SetDiagonal(diagonal);
            line->SetArrowStart(start);
            line->SetArrowEnd(end);
            line->SetArrowSolid(solid);
            line->Frame()->SetColor(color);
            line->Frame()->SetWidth(width);
            lines.push_back(line);
            return line;
        };
        add(10, 10, 180, 0, false, false, true, false, clBlack, 1);
        add(10, 30, 180, 0, false, true, true, true, clBlue, 2);
        add(20, 45, 0, 70, false, true, true, false, clGreen, 1)->SetArrowLength(12);
        add(50, 45, 140, 65, true, true, true, true, clRed, 1);
        add(40, 50, 6, 60, true, false, true, true, clPurple, 1);
        TpgwLineView* dashed = add(100, 45, 80, 15, true, true, true, false, clNavy, 2);
        dashed->Frame()->SetStyle(fsDash);
        dashed->SetArrowWidth(8);
        return lines;
    };
    const std::vector<TpgwLineView*> lines = build();
    for (int scale : {1, 2}) {
        TRasterCanvas canvas(200 * scale, 120 * scale);
        for (TpgwLineView* line : lines)
            line->Draw(canvas, scale, scale, 0, 0);
        EXPECT_TRUE(
            golden::MatchesGolden(canvas.ToImage(), "lines_arrows_x" + std::to_string(scale)));
    }
}

TEST_F(LineView, DesignerVariantsAndObjectText) {
    struct Case {
        int flags;
        bool diagonal, start, end;
    };
    for (const Case& c :
         {Case{0, false, false, false}, Case{1, true, false, false}, Case{2, true, false, true},
          Case{3, true, true, false}, Case{4, true, true, true}}) {
        TpgwLineView* line = TpgwLineView::CreateInDesigner(&owner, c.flags);
        EXPECT_TRUE(line->DesignTimeObject());
        EXPECT_EQ(line->Diagonal(), c.diagonal) << c.flags;
        EXPECT_EQ(line->ArrowStart(), c.start) << c.flags;
        EXPECT_EQ(line->ArrowEnd(), c.end) << c.flags;
        delete line;
    }

    TpgwReport report(nullptr);
    auto* line = new TpgwLineView(&report);
    EXPECT_EQ(line->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault, 0);
    EXPECT_EQ(line->ArrowWidth(), 5);
    EXPECT_EQ(line->ArrowLength(), 20);
    line->SetBounds(8, 16, 120, 0);
    line->SetArrowEnd(true);
    line->SetArrowSolid(true);
    line->SetArrowWidth(7);
    line->SetArrowLength(24);
    line->SetTagStr("tag");
    line->SetStretchMode(smMaxHeight);
    line->Frame()->SetColor(clRed);
    line->Frame()->SetTyp(FrameSide(ftTop));
    TMemoryStream unused;
    TpgwXMLSerializer writer(unused);
    writer.SetOwner(&report);
    const std::string text = writer.ObjectToText(line);
    EXPECT_EQ(text.rfind("TpgwLineView ", 0), 0u) << text;
    TpgwXMLSerializer reader(unused);
    reader.SetOwner(&report);
    auto* copy = dynamic_cast<TpgwLineView*>(reader.ObjectFromText(&report, text, false));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(writer.ObjectToText(copy), text);
    EXPECT_TRUE(copy->ArrowEnd() && copy->ArrowSolid() && !copy->ArrowStart());
    EXPECT_EQ(copy->ArrowWidth(), 7);
    EXPECT_EQ(copy->ArrowLength(), 24);
    EXPECT_EQ(copy->Frame()->Color(), clRed);
    EXPECT_EQ(copy->StretchMode(), smMaxHeight);
    EXPECT_EQ(copy->TagStr(), "tag");

    // The base class carries its tag text and stretch mode alone.
    auto* base = new TpgwCustomLineView(&report);
    base->SetTagStr("base");
    base->SetStretchMode(smActualHeight);
    const std::string baseText = writer.ObjectToText(base);
    auto* baseCopy =
        dynamic_cast<TpgwCustomLineView*>(reader.ObjectFromText(&report, baseText, false));
    ASSERT_NE(baseCopy, nullptr);
    EXPECT_EQ(writer.ObjectToText(baseCopy), baseText);
    EXPECT_EQ(baseCopy->TagStr(), "base");
    EXPECT_EQ(baseCopy->StretchMode(), smActualHeight);
}
