#pragma once
// TPNGObject: a PNG image as a graphic class of its own, so pictures load and draw PNG files
// like any other graphic. The file is kept as its chunk list; the image is decoded into a
// device-independent bitmap held by the header chunk, plus an alpha plane.

#include <array>
#include <cstdint>
#include <memory>

#include "engine/png_chunks.h"
#include "engine/png_errors.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/graphic.h"

// Filter types of the format as bits of a filter set (bit value 2^type).
enum TPngFilter : std::uint8_t { pfNone = 1, pfSub = 2, pfUp = 4, pfAverage = 8, pfPaeth = 16 };

enum TPNGTransparencyMode : std::uint8_t { ptmNone, ptmBit, ptmPartial };

class TPNGObject : public TGraphic {
public:
    TPNGObject();
    TPNGObject(const TPNGObject& other);
    ~TPNGObject() override;

    const char* ClassName() const override { return "TPNGObject"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override { return chunks_.Count() == 0; }
    // The header's size, 0 without a header.
    int Width() const override;
    int Height() const override;
    // ResizeImage keeping the other dimension.
    void SetWidth(int width);
    void SetHeight(int height);

    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;

    // A failure keeps the chunks read so far; the caller decides what to do with them.
    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override;

    // Another PNG is copied; a bitmap becomes the image (with its transparent colour when it
    // is transparent); other classes raise EInvalidGraphicOperation.
    void Assign(const TGraphic& source) override;
    // The bitmap gets the pixel format that suits the image, its size and the image drawn on it.
    void AssignTo(TBitmap& dest) const;
    void CopyFrom(const TPNGObject& source);
    void AssignBitmapHandle(const TBitmap& bitmap, bool transparent, TColor color);

    // Outside the image 0 is returned and setting is ignored.
    TColor GetPixelColor(int x, int y) const;
    void SetPixelColor(int x, int y, TColor color);
    // Keeps the top-left corner; new pixels are zero, new alpha opaque.
    void ResizeImage(int width, int height);

    // The first chunk when it is the header, else EPNGHeaderNotPresent.
    TChunkIHDR& HeaderChunk() const;
    bool HasHeader() const;

    TPNGTransparencyMode TransparencyMode() const;
    // The colour left out with bit transparency, 0 without a tRNS chunk.
    TColor TransparentColor() const;

    std::uint8_t Filters() const { return filters_; }
    void SetFilters(std::uint8_t filters) { filters_ = filters; }
    int CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(int level) {
        compressionLevel_ = level < 0 ? 0 : level > 9 ? 9 : level;
    }
    int MaxIdatSize() const { return maxIdatSize_; }
    void SetMaxIdatSize(int size) { maxIdatSize_ = size < 1 ? 1 : size; }
    std::uint8_t InterlaceMethod() const { return interlaceMethod_; }
    void SetInterlaceMethod(std::uint8_t method) { interlaceMethod_ = method; }

    TPNGList& Chunks() { return chunks_; }
    const TPNGList& Chunks() const { return chunks_; }
    std::array<std::uint8_t, 256>& GammaTable() { return gammaTable_; }
    const std::array<std::uint8_t, 256>& GammaTable() const { return gammaTable_; }
    std::array<std::uint8_t, 256>& InverseGammaTable() { return inverseGammaTable_; }
    const std::array<std::uint8_t, 256>& InverseGammaTable() const { return inverseGammaTable_; }

    // Frees every chunk and makes the gamma tables the identity.
    void ClearChunks();

private:
    void ReadChunks(TPngInput& in);
    // The image as 0xAARRGGBB, alpha as the transparency mode gives it.
    TRasterImage Pixels() const;
    void DrawBlended(TCanvas& canvas, TRect r) const;

    std::array<std::uint8_t, 256> inverseGammaTable_{};
    std::uint8_t filters_ = pfSub;
    int compressionLevel_ = 7;
    int maxIdatSize_ = 65535;
    std::uint8_t interlaceMethod_ = 0;
    TPNGList chunks_;
    std::array<std::uint8_t, 256> gammaTable_{};
};

// Joins the graphic registry (by the signature, extension "PNG"); safe to call again.
void RegisterPNGGraphicClass();
void UnregisterPNGGraphicClass();
