#pragma once
// TBitmap: a device-independent bitmap with a raster canvas, read and written as BMP.
// Pixels are held as 32-bit 0xAARRGGBB whatever the pixel format, so the canvas draws on every
// format alike. The format decides how the bitmap is saved and copied: 1, 4 and 8 bits through
// a palette (each pixel as its nearest palette entry), 15 and 16 bits as 5-5-5 and 5-6-5,
// 24-bit, or 32-bit with the fourth byte kept as it was read. Setting a format maps the pixels
// into it, so right after SetPixelFormat every pixel is exactly representable; what is drawn
// afterwards is mapped when the bitmap is saved or copied.

#include <array>
#include <memory>
#include <vector>

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

    // pfDevice is held as pf24bit, every other format as itself. Going to pf4bit or pf8bit
    // picks a palette of at most 16 or 256 colours from the pixels (every colour when there
    // are no more, else a median cut) and maps each pixel to its nearest entry; an empty
    // bitmap takes its palette from its pixels whenever the palette is asked for, until it is
    // converted or loaded again.
    TPixelFormat PixelFormat() const;
    void SetPixelFormat(TPixelFormat format);
    bool Monochrome() const { return PixelFormat() == pf1bit; }
    void SetMonochrome(bool value) { SetPixelFormat(value ? pf1bit : pf24bit); }
    // The two colours of a 1-bit bitmap (default black, white).
    std::array<TColor, 2> MonochromePalette() const;
    void SetMonochromePalette(std::array<TColor, 2> palette);
    // The palette of a 1-, 4- or 8-bit bitmap (2, at most 16, at most 256 colours); empty for
    // the other formats.
    std::vector<TColor> Palette() const;
    // The palette index of every pixel of a 1-, 4- or 8-bit bitmap, rows top first, Width()
    // bytes each; empty for the other formats.
    std::vector<std::uint8_t> PixelIndices() const;
    // The device-independent copy: a 40-byte bitmap information header, a colour table of
    // 2^depth entries (blue, green, red, 0) for depths up to 8, then the rows bottom first,
    // each padded to 4 bytes. Depth 1, 4, 8, 16 (5-5-5, for pf15bit and pf16bit), 24 or 32.
    // Empty for an empty bitmap.
    std::vector<std::uint8_t> DeviceIndependentBits() const;
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
