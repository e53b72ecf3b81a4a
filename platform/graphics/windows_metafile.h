#pragma once
// TWindowsMetafile: a placeable Windows metafile (WMF) or an enhanced metafile (EMF) as a
// graphic. There is no player for their records here, so the bytes are kept exactly as read
// and saved back unchanged, the size comes from the header, and drawing shows a crossed frame
// where the picture would be.

#include <vector>

#include "platform/graphics/graphic.h"

class TWindowsMetafile : public TGraphic {
public:
    TWindowsMetafile();
    TWindowsMetafile(const TWindowsMetafile& other);
    ~TWindowsMetafile() override;

    const char* ClassName() const override { return "TWindowsMetafile"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override { return data_.empty(); }
    // At 96 pixels per inch: the placeable header's box by its units per inch, or the EMF
    // frame in hundredths of a millimetre.
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // The placeholder: the rectangle and its two diagonals in grey; the canvas's pen and
    // brush are left as they were.
    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;
    void Assign(const TGraphic& source) override;

    // Takes the metafile at the start of data (its declared length; bytes after it are not
    // part of it). A bad signature or checksum, or a truncated file, raises EInvalidGraphic.
    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override { return data_; }

    // True for EMF, false for a placeable WMF.
    bool Enhanced() const { return enhanced_; }

    static bool IsPlaceableWmf(std::span<const std::uint8_t> data);
    static bool IsEmf(std::span<const std::uint8_t> data);

private:
    std::vector<std::uint8_t> data_;
    int width_ = 0;
    int height_ = 0;
    bool enhanced_ = false;
};
