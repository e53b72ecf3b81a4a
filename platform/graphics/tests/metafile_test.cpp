// The recording canvas: replay fidelity, scaling, text records and the stored form.

#include <gtest/gtest.h>

#include <climits>
#include <functional>

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

// The stored form is little-endian; the frame's width and height follow the signature.
void PutI32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}
constexpr std::size_t kFrameWidthAt = 4, kFrameHeightAt = 8, kRecordCountAt = 24;

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
    const auto stored = recorder.Recording().Serialize();
    const TRecording loaded = TRecording::Deserialize(stored);
    EXPECT_EQ(loaded.Serialize(), stored);
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

    // A record of kind 0 in a recording without drawing states.
    TRecordingCanvas clipOnly(10, 10);
    clipOnly.SaveClip();
    auto unknownKind = clipOnly.Recording().Serialize();
    PutI32(unknownKind, kRecordCountAt, 2);
    unknownKind.push_back(0);
    EXPECT_THROW(TRecording::Deserialize(unknownKind), EInvalidGraphic);

    TMetafile meta;
    meta.LoadFromBytes(bytes);
    EXPECT_EQ(meta.Width(), 50);
    EXPECT_THROW(meta.LoadFromBytes(std::span(bytes.data(), 30)), EInvalidGraphic);
    EXPECT_EQ(meta.Width(), 50);  // unchanged after the failure
}

TEST(RecordingLimits, FrameBeyondThePixelBudgetIsRefused) {
    TRecordingCanvas c(40, 30);
    c.Rectangle(2, 2, 20, 20);
    const TMetafile original(c.TakeRecording());
    const auto bytes = original.SaveToBytes();
    struct Case {
        int width, height;
        bool loads;
    } const cases[] = {
        {170, 1245274, false},           // 211 million pixels: gigabytes to rasterise
        {65536, 32768, false},           // four bytes a pixel come to 0 in 32 bits
        {INT_MAX, INT_MAX, false},       // far past any budget
        {1 << 14, (1 << 13) + 1, false}, // one row past the budget
        {1 << 14, 1 << 13, true},        // canvas and image fill the budget exactly
        {1 << 27, 1, true},              // one long row
        {0, INT_MAX, true},              // an empty frame holds no pixels
    };
    for (const auto& [width, height, loads] : cases) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        auto patched = bytes;
        PutI32(patched, kFrameWidthAt, width);
        PutI32(patched, kFrameHeightAt, height);
        TMetafile meta = original;
        if (loads) {
            ASSERT_NO_THROW(meta.LoadFromBytes(patched));
            EXPECT_EQ(meta.Width(), width);
            EXPECT_EQ(meta.Height(), height);
            continue;
        }
        try {
            meta.LoadFromBytes(patched);
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(e.Message().find("too large"), std::string::npos) << e.Message();
        }
        EXPECT_EQ(&meta.Recording(), &original.Recording());
    }
}

// Values no drawing makes, as a damaged or hostile file holds them: loaded, they replay at the
// recorded scale, shifted and scaled, and give their text records without overflowing anything.
TEST(RecordingLimits, HostileValuesAreHeldInRangeWhenRead) {
    const TRect huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    const int hugeAdvances[] = {INT_MAX, INT_MAX};
    const int advances[] = {6, 6};
    struct Case {
        const char* name;
        std::function<void(TCanvas&)> draw;
    } const cases[] = {
        {"fill",
         [](TCanvas& c) {
             c.FillRect({INT_MIN, INT_MIN, 20, 15});
         }},
        {"clip",
         [&](TCanvas& c) {
             c.IntersectClipRect(huge);
             c.ExcludeClipRect({INT_MIN, 0, INT_MAX, 1});
             c.FillRect({0, 0, 20, 15});
         }},
        {"shapes",
         [](TCanvas& c) {
             c.Ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
             c.RoundRect(0, 0, 20, 15, INT_MAX, INT_MIN);
             c.Pie(0, 0, 20, 15, INT_MAX, INT_MIN, INT_MIN, INT_MAX);
         }},
        {"points",
         [](TCanvas& c) {
             c.Polyline({{INT_MAX, INT_MAX}, {INT_MIN, 5}, {5, INT_MIN}});
         }},
        {"image", [&](TCanvas& c) { c.DrawImage(huge, TRasterImage(2, 2, 0xFFFF0000u)); }},
        {"orientation",
         [&](TCanvas& c) {
             c.Font().SetOrientation(INT_MIN);
             c.ExtTextOut(10, 10, 0, nullptr, u"ab", advances);
         }},
        {"font height",
         [&](TCanvas& c) {
             c.Font().SetHeight(INT_MIN);
             c.ExtTextOut(10, 10, 0, nullptr, u"ab", advances);
         }},
        {"text",
         [&](TCanvas& c) {
             c.ExtTextOut(INT_MAX, INT_MIN, ETO_OPAQUE | ETO_CLIPPED, &huge, u"ab", hugeAdvances);
         }},
    };
    for (const auto& [name, draw] : cases) {
        SCOPED_TRACE(name);
        TRecordingCanvas recorder(40, 30);
        recorder.Brush().SetColor(clRed);
        draw(recorder);
        const auto stored = recorder.Recording().Serialize();
        const TMetafile meta(TRecording::Deserialize(stored));
        const TRasterImage image = meta.ToImage();
        TRasterCanvas target(90, 70);
        meta.Draw(target, {5, 5, 45, 35});
        meta.Draw(target, {-3, 2, 77, 62});
        const auto texts = meta.Recording().TextRecords();
        const auto restored = meta.SaveToBytes();
        EXPECT_EQ(TRecording::Deserialize(restored).Serialize(), restored);

        if (std::string_view(name) == "fill") {
            // Held in range, the rectangle still covers the same part of the frame.
            EXPECT_EQ(image.At(0, 0), 0xFFFF0000u);
            EXPECT_EQ(image.At(19, 14), 0xFFFF0000u);
            EXPECT_EQ(image.At(20, 15), 0xFFFFFFFFu);
        }
        if (std::string_view(name) == "orientation") {
            // The angle is kept; only the whole turns are dropped.
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_EQ(texts[0].Font.Orientation % 3600, INT_MIN % 3600);
        }
    }
}
