#pragma once
// TWindowsMetafile: a placeable Windows metafile (WMF) or an enhanced metafile (EMF) as a
// graphic. The bytes are kept exactly as read and saved back unchanged, the size comes from the
// header, and drawing plays the records (through our own recording) into the rectangle.

#include <memory>
#include <vector>

#include "platform/graphics/graphic.h"

class TRecording;

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
    // The picture scaled into r; bytes that cannot be played at all show a placeholder, the
    // rectangle and its two diagonals in grey. The canvas's pen, brush and font are left as
    // they were.
    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;
    void Assign(const TGraphic& source) override;

    // Takes the metafile at the start of data (its declared length; bytes after it are not
    // part of it). A bad signature or checksum, or a truncated file, raises EInvalidGraphic.
    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override { return data_; }

    // True for EMF, false for a placeable WMF.
    bool Enhanced() const { return enhanced_; }
    // The records played into a recording of the frame, on first use; null when they cannot be
    // played at all.
    const TRecording* Recording() const;

    static bool IsPlaceableWmf(std::span<const std::uint8_t> data);
    static bool IsEmf(std::span<const std::uint8_t> data);

private:
    struct Played;
    std::vector<std::uint8_t> data_;
    // Shared by copies, which hold the same bytes.
    std::shared_ptr<Played> played_;
    int width_ = 0;
    int height_ = 0;
    bool enhanced_ = false;
};
