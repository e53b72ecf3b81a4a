#pragma once
// TBitmap: a device-independent bitmap with a raster canvas, read and written as BMP.
// Pixels are held as 32-bit 0xAARRGGBB whatever the pixel format; the format decides how the
// bitmap is saved (1-bit through its two-colour palette, 24-bit, or 32-bit with the fourth
// byte kept as it was read).

#include <array>
#include <memory>

#include "platform/graphics/canvas.h"
#include "platform/graphics/graphic.h"

enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = pf24bit);
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    ~TBitmap() override;

    const char* ClassName() const override { return "TBitmap"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void SetWidth(int width) { SetSize(width, Height()); }
    void SetHeight(int height) { SetSize(Width(), height); }
    // Keeps the overlapping top-left part; new pixels take the canvas brush colour (white
    // before the canvas is first used).
    void SetSize(int width, int height);

    // pf1bit, pf24bit and pf32bit are held as such; the others are held as pf24bit.
    TPixelFormat PixelFormat() const;
    void SetPixelFormat(TPixelFormat format);
    bool Monochrome() const { return PixelFormat() == pf1bit; }
    void SetMonochrome(bool value) { SetPixelFormat(value ? pf1bit : pf24bit); }
    // The two colours of a 1-bit bitmap (default black, white).
    std::array<TColor, 2> MonochromePalette() const;
    void SetMonochromePalette(std::array<TColor, 2> palette);
    // With Transparent set, pixels of this colour are left out when drawing (default: the
    // bottom-left pixel, as the class library picks it).
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);

    // The bitmap's canvas; it stays valid across SetSize and loading.
    TCanvas& Canvas();
    // Row y as 32-bit pixels (0xAARRGGBB).
    std::uint32_t* ScanLine(int y);
    const std::uint32_t* ScanLine(int y) const;

    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;
    // Replaces the pixels with an image (pf32bit when it has alpha, else pf24bit).
    void AssignImage(const TRasterImage& image);
    void Assign(const TGraphic& source) override;

    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override;

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};
