// Enhanced metafiles written from pictures: our own player loads them and draws the same pixels
// back, at the size the frame says; bad requests raise.

#include "platform/graphics/emf_writer.h"

#include <gtest/gtest.h>

#include "platform/graphics/raster_canvas.h"
#include "platform/graphics/windows_metafile.h"

namespace {

std::uint32_t u32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

// Distinct colours in every pixel; an odd width makes the DIB rows padded.
TRasterImage Pattern(int width, int height) {
    TRasterImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(x * 40) << 16 |
                             static_cast<std::uint32_t>(y * 50) << 8 |
                             static_cast<std::uint32_t>((x + y) * 20 + 7);
    return image;
}

TEST(EmfWriter, OurPlayerDrawsTheSamePixelsAtTheFrameSize) {
    const TRasterImage image = Pattern(5, 3);
    const std::vector<std::uint8_t> emf = EmfFromImage(image, 5, 3, 96);
    // Header, StretchDIBits, end: the declared length is the whole file.
    ASSERT_GE(emf.size(), 108u);
    EXPECT_EQ(u32(emf, 48), emf.size());
    EXPECT_EQ(u32(emf, 52), 3u);
    EXPECT_EQ(u32(emf, 108), 81u);
    EXPECT_EQ(u32(emf, emf.size() - 20), 14u);

    TWindowsMetafile meta;
    meta.LoadFromBytes(emf);
    EXPECT_TRUE(meta.Enhanced());
    EXPECT_EQ(meta.Width(), 5);
    EXPECT_EQ(meta.Height(), 3);
    const TRasterImage back = meta.ToImage();
    ASSERT_EQ(back.Width, 5);
    ASSERT_EQ(back.Height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.At(x, y) & 0xFFFFFF, image.At(x, y) & 0xFFFFFF) << x << "," << y;
}

TEST(EmfWriter, AFinerImageKeepsItsPixelsAndTheFrameItsSize) {
    // Twice the pixels over the same inches: shown at the frame's size, drawn back pixel for
    // pixel into a rectangle of the image's own size.
    const TRasterImage image = Pattern(8, 6);
    for (const int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        const int scale = dpi / 96;
        TWindowsMetafile meta;
        meta.LoadFromBytes(EmfFromImage(image, 4 * scale, 3 * scale, dpi));
        EXPECT_EQ(meta.Width(), 4);
        EXPECT_EQ(meta.Height(), 3);
        TRasterCanvas canvas(8, 6);
        meta.Draw(canvas, {0, 0, 8, 6});
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(static_cast<std::uint32_t>(canvas.Pixel(x, y)),
                          ((image.At(x, y) & 0xFF) << 16) | (image.At(x, y) & 0xFF00) |
                              ((image.At(x, y) >> 16) & 0xFF))
                    << x << "," << y;
    }
}

TEST(EmfWriter, AlphaIsComposedOverWhite) {
    TRasterImage image(2, 1);
    image.HasAlpha = true;
    image.At(0, 0) = 0x00FF0000u; // transparent red
    image.At(1, 0) = 0x800000FFu; // half blue
    TWindowsMetafile meta;
    meta.LoadFromBytes(EmfFromImage(image, 2, 1, 96));
    const TRasterImage back = meta.ToImage();
    EXPECT_EQ(back.At(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(back.At(1, 0) & 0xFFFFFF, 0x7F7FFFu);
}

TEST(EmfWriter, EmptyImagesAndSizesRaise) {
    const TRasterImage image = Pattern(2, 2);
    EXPECT_THROW(EmfFromImage(TRasterImage(), 2, 2, 96), EInvalidGraphicOperation);
    EXPECT_THROW(EmfFromImage(image, 0, 2, 96), EInvalidGraphicOperation);
    EXPECT_THROW(EmfFromImage(image, 2, -1, 96), EInvalidGraphicOperation);
    EXPECT_THROW(EmfFromImage(image, 2, 2, 0), EInvalidGraphicOperation);
    // A frame beyond the 32-bit fields.
    EXPECT_THROW(EmfFromImage(image, 2000000000, 2, 1), EInvalidGraphicOperation);
}

} // namespace
