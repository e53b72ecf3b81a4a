// Pixel tests of the raster canvas: the GDI geometry the report drawing relies on.

#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "platform/graphics/raster_canvas.h"
#include "pixel_helpers.h"

TEST(RasterCanvas, OnePixelFrameCoversTheHalfOpenRectangle)
{
    TRasterCanvas c(10, 8);
    c.Pen().SetColor(clBlack);
    c.Brush().SetStyle(bsClear);
    c.Rectangle(2, 2, 8, 6);
    EXPECT_EQ(PixelMap(c, clBlack),
              "..........|..........|..######..|..#....#..|..#....#..|..######..|..........|..........");

    TRasterCanvas f(10, 8);
    f.Brush().SetColor(clBlack);
    f.FrameRect({2, 2, 8, 6});
    EXPECT_EQ(PixelMap(f, clBlack), PixelMap(c, clBlack));

    // A filled rectangle: outline in the pen colour, inside in the brush colour.
    TRasterCanvas g(6, 6);
    g.Pen().SetColor(clRed);
    g.Brush().SetColor(clBlue);
    g.Rectangle(0, 0, 5, 5);
    EXPECT_EQ(PixelMap(g, clRed), "#####.|#...#.|#...#.|#...#.|#####.|......");
    EXPECT_EQ(PixelMap(g, clBlue), "......|.###..|.###..|.###..|......|......");
}

TEST(RasterCanvas, LinesLeaveOutTheirEndPoint)
{
    TRasterCanvas c(6, 3);
    c.Pen().SetColor(clBlack);
    c.MoveTo(0, 1);
    c.LineTo(4, 1);
    EXPECT_EQ(PixelMap(c, clBlack), "......|####..|......");
    EXPECT_EQ(c.PenPos(), Point(4, 1));
}

TEST(RasterCanvas, DashedPen)
{
    TRasterCanvas c(60, 3);
    c.Pen().SetColor(clBlack);
    c.Pen().SetStyle(psDash);
    c.SetBackgroundMode(bmTransparent);
    c.MoveTo(0, 1);
    c.LineTo(60, 1);
    std::string row = PixelMap(c, clBlack).substr(61, 60);
    EXPECT_EQ(row, std::string(18, '#') + std::string(6, '.') + std::string(18, '#') + std::string(6, '.') +
                       std::string(12, '#'));

    // User dashes, and an opaque background filling the gaps with the brush colour.
    TRasterCanvas u(12, 1);
    u.Pen().SetColor(clBlack);
    u.Pen().SetUserDashes({2, 1});
    u.Brush().SetColor(clRed);
    u.MoveTo(0, 0);
    u.LineTo(12, 0);
    EXPECT_EQ(PixelMap(u, clBlack), "##.##.##.##.");
    EXPECT_EQ(PixelMap(u, clRed), "..#..#..#..#");
    EXPECT_THROW(u.Pen().SetUserDashes({2, -1}), EInvalidArgument);
    EXPECT_THROW(u.Pen().SetUserDashes({0, 0}), EInvalidArgument);

    // Zero-length dashes with round ends: dots every 2 x width pixels.
    TRasterCanvas d(40, 9);
    d.Pen().SetColor(clBlack);
    d.Pen().SetWidth(3);
    d.Pen().SetEndCap(pecRound);
    d.Pen().SetUserDashes({0, 6});
    d.SetBackgroundMode(bmTransparent);
    d.MoveTo(4, 4);
    d.LineTo(36, 4);
    EXPECT_EQ(d.Pixel(4, 4), clBlack);
    EXPECT_EQ(d.Pixel(10, 4), clBlack);
    EXPECT_EQ(d.Pixel(7, 4), clWhite);
}

TEST(RasterCanvas, HatchedBrushLeavesTheBackground)
{
    TRasterCanvas c(16, 16);
    c.Brush().SetColor(clBlue);
    c.Brush().SetStyle(bsHorizontal);
    c.FillRect({0, 0, 16, 16});
    int fullRows = 0, emptyRows = 0, firstFull = -1;
    for (int y = 0; y < 16; ++y) {
        int blue = 0, white = 0;
        for (int x = 0; x < 16; ++x) {
            blue += c.Pixel(x, y) == clBlue;
            white += c.Pixel(x, y) == clWhite;
        }
        if (blue == 16) {
            ++fullRows;
            if (firstFull < 0) firstFull = y;
        }
        if (white == 16) ++emptyRows;
    }
    EXPECT_EQ(fullRows, 2);
    EXPECT_EQ(emptyRows, 14);
    EXPECT_EQ(c.Pixel(3, firstFull + 8), clBlue);  // an 8-pixel pattern

    TRasterCanvas d(16, 16);
    d.Brush().SetColor(clBlue);
    d.Brush().SetStyle(bsDiagCross);
    d.FillRect({0, 0, 16, 16});
    const TRect ink = InkBounds(d);
    EXPECT_EQ(ink, Rect(0, 0, 16, 16));
}

TEST(RasterCanvas, RotatedTextBoundingBox)
{
    TRasterCanvas c(200, 200);
    c.Font().SetName("Arial");
    c.Font().SetHeight(-20);
    c.Font().SetColor(clBlack);
    c.Brush().SetStyle(bsClear);
    const int width = c.TextWidth("Lumetra");
    const int height = c.TextMetrics().Height;
    c.Font().SetOrientation(900);  // reads upwards from (50, 150)
    c.TextOut(50, 150, "Lumetra");
    const TRect ink = InkBounds(c);
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_GE(ink.Left, 50);
    EXPECT_LE(ink.Right, 50 + height + 1);
    EXPECT_LE(ink.Bottom, 151);
    EXPECT_GE(ink.Top, 150 - width - 1);
    EXPECT_GT(ink.Height(), width * 8 / 10);
    EXPECT_LT(ink.Width(), height);
}

TEST(RasterCanvas, XorLineDrawnTwiceRestoresTheBackground)
{
    TRasterCanvas c(40, 30);
    c.Brush().SetColor(RGB(10, 120, 200));
    c.FillRect({0, 0, 40, 15});
    const TRasterImage before = c.ToImage();
    c.Pen().SetMode(pmXor);
    c.Pen().SetColor(clRed);
    for (int pass = 0; pass < 2; ++pass) {
        c.MoveTo(1, 2);
        c.LineTo(37, 27);
        if (pass == 0) {
            EXPECT_NE(c.ToImage().Pixels, before.Pixels);
        }
    }
    EXPECT_EQ(c.ToImage().Pixels, before.Pixels);

    c.Pen().SetMode(pmNot);
    c.MoveTo(0, 20);
    c.LineTo(10, 20);
    EXPECT_EQ(c.Pixel(3, 20), clBlack);  // white inverted
}

TEST(RasterCanvas, ClipSaveIntersectExcludeRestore)
{
    TRasterCanvas c(10, 4);
    c.Brush().SetColor(clBlack);
    c.SaveClip();
    c.IntersectClipRect({2, 0, 8, 4});
    c.ExcludeClipRect({4, 0, 6, 4});
    c.FillRect({0, 0, 10, 2});
    c.RestoreClip();
    c.FillRect({0, 3, 10, 4});
    c.RestoreClip();  // unbalanced: ignored
    EXPECT_EQ(PixelMap(c, clBlack), "..##..##..|..##..##..|..........|##########");
}

TEST(RasterCanvas, OpaqueTextCellAndPixels)
{
    TRasterCanvas c(80, 30);
    c.Font().SetName("Arial");
    c.Font().SetHeight(-12);
    c.Brush().SetColor(clYellow);  // solid brush: opaque text background
    c.TextOut(2, 3, "Ab");
    const TSize size = c.TextExtent("Ab");
    EXPECT_EQ(InkBounds(c), Bounds(2, 3, size.cx, size.cy));
    EXPECT_EQ(c.PenPos(), Point(2 + size.cx, 3));

    c.SetPixel(70, 20, RGB(1, 2, 3));
    EXPECT_EQ(c.Pixel(70, 20), RGB(1, 2, 3));
    EXPECT_EQ(c.Pixel(-1, 0), clNone);
    EXPECT_EQ(c.PixelsPerInchY(), 96);
}

TEST(RasterCanvas, TextAfterOtherDrawingLandsWhereAsked)
{
    // Filling and line drawing leave painter state behind; text must not inherit it.
    auto textInk = [](auto before) {
        TRasterCanvas c(120, 80);
        c.Brush().SetColor(clWhite);
        c.FillRect({0, 0, 120, 80});
        before(c);
        c.Pen().SetColor(clWhite);
        c.Brush().SetColor(clWhite);
        c.FillRect({0, 0, 120, 80});  // wipe what before() drew
        c.Font().SetName("Arial");
        c.Font().SetHeight(-12);
        c.Brush().SetStyle(bsClear);
        c.TextOut(40, 50, "Ab");
        return InkBounds(c);
    };
    const TRect alone = textInk([](TRasterCanvas&) {});
    EXPECT_GE(alone.Left, 40);
    EXPECT_GE(alone.Top, 50);
    EXPECT_EQ(textInk([](TRasterCanvas& c) { c.FillRect({0, 0, 10, 10}); }), alone);
    EXPECT_EQ(textInk([](TRasterCanvas& c) {
                  c.MoveTo(0, 0);
                  c.LineTo(5, 0);
              }),
              alone);
}
