#pragma once
// TJPEGImage: a JPEG kept as its compressed bytes plus the decoded bitmap. Loading decodes at
// once (at the current Scale), so damaged data is reported when it is loaded.

#include <memory>

#include "platform/graphics/bitmap.h"

enum TJPEGScale : std::uint8_t { jsFullSize, jsHalf, jsQuarter, jsEighth };

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    TJPEGImage(const TJPEGImage& other);
    ~TJPEGImage() override;

    const char* ClassName() const override { return "TJPEGImage"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override;
    // The size of the decoded image, i.e. at the current Scale.
    int Width() const override;
    int Height() const override;
    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;

    // 1..100; used when the image is encoded (default 75).
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int quality);
    // Decoding at 1/2, 1/4 or 1/8 is much faster; changing it decodes again.
    TJPEGScale Scale() const { return scale_; }
    void SetScale(TJPEGScale scale);

    // The decoded pixels.
    const TBitmap& Bitmap() const { return bitmap_; }
    // A bitmap (or any graphic) is encoded at CompressionQuality.
    void Assign(const TGraphic& source) override;

    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    // The loaded bytes as they were, or the encoding of an assigned image.
    std::vector<std::uint8_t> SaveToBytes() const override;

private:
    std::vector<std::uint8_t> data_;
    TBitmap bitmap_;
    int quality_ = 75;
    TJPEGScale scale_ = jsFullSize;
};

// Decodes JPEG bytes at 1/scaleDenominator (1, 2, 4 or 8); raises EInvalidGraphic when the
// data is damaged or truncated.
TRasterImage DecodeJpeg(std::span<const std::uint8_t> data, int scaleDenominator = 1);
std::vector<std::uint8_t> EncodeJpeg(const TRasterImage& image, int quality);
// A thumbnail fitting maxWidth x maxHeight with its proportions kept: decoded at the
// smallest scale that is still at least as large, then scaled down smoothly.
TRasterImage DecodeJpegThumbnail(std::span<const std::uint8_t> data, int maxWidth, int maxHeight);
// The image size from the header alone.
TSize JpegImageSize(std::span<const std::uint8_t> data);
