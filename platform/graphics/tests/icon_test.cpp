// The icon graphic: the largest image of an icon file, its mask and alpha, the file saved back
// unchanged, and damaged files.

#include <gtest/gtest.h>

#include <algorithm>

#include "graphic_samples.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/raster_canvas.h"

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

// A 2 x 2 paletted image with a mask, and a 4 x 3 one with alpha (the largest).
std::vector<std::uint8_t> TwoImageIcon() {
    samples::IconImage small{2, 2, 8, {kRed, kGreen, kGreen, kRed}, {false, true, false, false}};
    samples::IconImage large{4, 3, 32, std::vector<std::uint32_t>(12, kBlue), {}};
    large.Pixels[0] = 0x00000000u; // transparent
    large.Pixels[1] = 0x80FF0000u; // half red
    return samples::IconFile({small, large});
}

} // namespace

TEST(Icon, KeepsTheLargestImageAndSavesTheFileUnchanged) {
    const auto file = TwoImageIcon();
    TIcon icon;
    icon.LoadFromBytes(file);
    EXPECT_EQ(icon.Width(), 4);
    EXPECT_EQ(icon.Height(), 3);
    const TRasterImage image = icon.ToImage();
    EXPECT_TRUE(image.HasAlpha);
    EXPECT_EQ(image.At(0, 0), 0x00000000u);
    EXPECT_EQ(image.At(1, 0), 0x80FF0000u);
    EXPECT_EQ(image.At(3, 2), kBlue);
    EXPECT_EQ(icon.SaveToBytes(), file);

    // The registry knows it by content and by extension.
    TPicture picture;
    picture.LoadFromBytes(file);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TIcon");
    EXPECT_STREQ(CreateGraphicForExtension("ICO")->ClassName(), "TIcon");
}

TEST(Icon, MaskedPixelsLeaveTheCanvasAsItWas) {
    // One paletted image: its mask makes the top-right pixel transparent.
    samples::IconImage image{2, 2, 8, {kRed, kGreen, kGreen, kRed}, {false, true, false, false}};
    TIcon icon;
    icon.LoadFromBytes(samples::IconFile({image}));
    TRasterCanvas canvas(2, 2, 96, clBlue);
    canvas.Draw(0, 0, icon);
    EXPECT_EQ(canvas.Pixel(0, 0), clRed);
    EXPECT_EQ(canvas.Pixel(1, 0), clBlue);
    EXPECT_EQ(canvas.Pixel(0, 1), clLime);

    // A 32-bit image without alpha takes its transparency from the mask too, and may leave the
    // mask rows out altogether.
    samples::IconImage opaque{2, 1, 32, {0x00FF0000u, 0x0000FF00u}, {true, false}};
    icon.LoadFromBytes(samples::IconFile({opaque}));
    EXPECT_EQ(icon.ToImage().At(0, 0) >> 24, 0u);
    EXPECT_EQ(icon.ToImage().At(1, 0), kGreen);
    opaque.WithMaskRows = false;
    opaque.Pixels = {0xFFFF0000u, 0x40000000u};
    icon.LoadFromBytes(samples::IconFile({opaque}));
    EXPECT_EQ(icon.ToImage().At(1, 0), 0x40000000u);
}

TEST(Icon, DamagedFilesRaiseAndKeepTheIcon) {
    const auto good = TwoImageIcon();
    TIcon icon;
    icon.LoadFromBytes(good);
    const auto withByte = [&](std::size_t at, std::uint8_t v) {
        auto d = good;
        d[at] = v;
        return d;
    };
    const std::vector<std::vector<std::uint8_t>> damaged = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.begin() + 20), // directory cut short
        std::vector<std::uint8_t>(good.begin(), good.end() - 5),    // last image cut short
        withByte(2, 0),                                             // type 0
        withByte(4, 0),                                             // no images
        withByte(6 + 16 + 12, 0xFF),                                // image offset past the end
        {0, 0, 1, 0, 1, 0, 4, 3, 0, 0, 1, 0, 32, 0, 255, 255, 255, 255, 22, 0, 0, 0},
    };
    for (const auto& bytes : damaged) {
        EXPECT_THROW(icon.LoadFromBytes(bytes), EInvalidGraphic) << bytes.size();
        EXPECT_EQ(icon.Width(), 4);
        EXPECT_EQ(icon.SaveToBytes(), good);
    }
    // A PNG image inside needs a PNG class, which the platform alone does not have.
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
    if (!CreateGraphicByClassName("TPNGObject")) {
        EXPECT_THROW(icon.LoadFromBytes(samples::IconFile({png}, {{16, 16}}, {32})),
                     EInvalidGraphic);
    }
}
