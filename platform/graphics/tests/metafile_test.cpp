// The recording canvas: replay fidelity, scaling, text records and the stored form.

#include <gtest/gtest.h>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"
#include "pixel_helpers.h"

namespace {

// A drawing sequence touching every primitive and state the recording keeps.
void DrawSample(TCanvas& c)
{
    c.Pen().SetColor(clNavy);
    c.Brush().SetColor(clYellow);
    c.Rectangle(5, 5, 60, 40);
    c.Pen().SetStyle(psDot);
    c.Brush().SetStyle(bsClear);
    c.Ellipse(10, 10, 90, 70);
    c.Pen().SetStyle(psSolid);
    c.Pen().SetWidth(3);
    c.MoveTo(0, 90);
    c.LineTo(100, 60);
    c.Pen().SetWidth(1);
    c.Brush().SetStyle(bsDiagCross);
    c.Brush().SetColor(clGreen);
    c.Polygon({{70, 5}, {115, 20}, {90, 45}});
    c.Pie(60, 50, 110, 95, 110, 70, 85, 50);
    c.SaveClip();
    c.IntersectClipRect({0, 0, 50, 100});
    c.Font().SetName("Arial");
    c.Font().SetHeight(-14);
    c.Font().SetStyle({fsBold, fsUnderline});
    c.Font().SetColor(clMaroon);
    c.SetBackgroundMode(bmTransparent);
    c.TextOut(8, 70, "Clip 中文");
    c.RestoreClip();
    TBitmap bmp(4, 3);
    bmp.Canvas().Brush().SetColor(clRed);
    bmp.Canvas().FillRect({0, 0, 2, 3});
    c.StretchDraw({100, 80, 116, 92}, bmp);
    c.Brush().SetColor(clBlack);
    c.FrameRect({1, 1, 119, 99});
}

}  // namespace

TEST(Recording, ReplayGivesTheSamePixelsAsDirectDrawing)
{
    TRasterCanvas direct(120, 100);
    DrawSample(direct);

    TRecordingCanvas recorder(120, 100);
    DrawSample(recorder);
    TRasterCanvas replayed(120, 100);
    recorder.Recording().Play(replayed);
    EXPECT_TRUE(SamePixels(direct, replayed));

    // And again after a trip through the stored form.
    const TRecording loaded = TRecording::Deserialize(recorder.Recording().Serialize());
    TRasterCanvas fromBytes(120, 100);
    loaded.Play(fromBytes);
    EXPECT_TRUE(SamePixels(direct, fromBytes));

    // Replay leaves the target's own state and clip alone.
    fromBytes.Brush().SetColor(clBlack);
    fromBytes.FillRect({60, 95, 120, 100});
    EXPECT_EQ(fromBytes.Pixel(110, 97), clBlack);
    EXPECT_EQ(fromBytes.Font().Name(), "Arial");
    EXPECT_FALSE(fromBytes.Font().Style().Contains(fsBold));
}

TEST(Recording, ReplayAtScaleTwo)
{
    TRecordingCanvas recorder(12, 10);
    recorder.Pen().SetColor(clBlack);
    recorder.Brush().SetStyle(bsClear);
    recorder.Rectangle(2, 2, 10, 8);
    recorder.Font().SetHeight(-10);
    recorder.TextOut(1, 1, "Hi");

    TRasterCanvas target(40, 30);
    recorder.Recording().Play(target, {4, 4, 28, 24});
    // The rectangle maps to (8, 8)-(24, 20): its outline lies on those edges.
    EXPECT_EQ(target.Pixel(8, 8), clBlack);
    EXPECT_EQ(target.Pixel(23, 19), clBlack);
    EXPECT_EQ(target.Pixel(16, 8), clBlack);
    EXPECT_EQ(target.Pixel(8, 14), clBlack);
    EXPECT_NE(target.Pixel(24, 20), clBlack);
    EXPECT_NE(target.Pixel(7, 7), clBlack);
    EXPECT_NE(target.Pixel(16, 14), clBlack);

    // The text is scaled through its font and its advances.
    TRecordingCanvas rescaled(40, 30);
    recorder.Recording().Play(rescaled, {0, 0, 24, 20});
    const auto texts = rescaled.Recording().TextRecords();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Font.Height, -20);
    const auto original = recorder.Recording().TextRecords();
    EXPECT_EQ(texts[0].Advances[0] + texts[0].Advances[1], 2 * (original[0].Advances[0] + original[0].Advances[1]));
}

TEST(Recording, TextRecordsKeepTextAndRectangles)
{
    TRecordingCanvas c(200, 100);
    c.Font().SetName("Arial");
    c.Font().SetHeight(-16);
    c.TextOut(5, 6, "Liver 肝");
    const TRect clip{10, 40, 60, 60};
    c.ExtTextOut(12, 42, ETO_CLIPPED, &clip, u"Kidney", nullptr);

    const auto texts = c.Recording().TextRecords();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Text, u"Liver 肝");
    const TSize size = c.TextExtent("Liver 肝");
    EXPECT_EQ(texts[0].Bounds, Bounds(5, 6, size.cx, size.cy));
    EXPECT_EQ(texts[0].Font.Name, "Arial");
    EXPECT_EQ(texts[1].Text, u"Kidney");
    EXPECT_TRUE(texts[1].HasRect);
    EXPECT_EQ(texts[1].Rect, clip);
    EXPECT_EQ(texts[1].Options, ETO_CLIPPED);
}

TEST(Recording, DamagedDataRaises)
{
    TRecordingCanvas c(50, 50);
    DrawSample(c);
    const auto bytes = c.Recording().Serialize();
    for (std::size_t n = 0; n < bytes.size(); n += 7) {
        EXPECT_THROW(TRecording::Deserialize(std::span(bytes.data(), n)), EInvalidGraphic) << n;
    }
    auto flipped = bytes;
    for (int i = 20; i < 24; ++i) flipped[i] = 0xFF;  // an absurd state count
    EXPECT_THROW(TRecording::Deserialize(flipped), EInvalidGraphic);

    TMetafile meta;
    meta.LoadFromBytes(bytes);
    EXPECT_EQ(meta.Width(), 50);
    EXPECT_THROW(meta.LoadFromBytes(std::span(bytes.data(), 30)), EInvalidGraphic);
    EXPECT_EQ(meta.Width(), 50);  // unchanged after the failure
}
