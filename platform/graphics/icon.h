#pragma once
// TIcon: an icon file (.ico, or a cursor file of the same layout). The file is kept as it was
// read and saved back unchanged; the largest image in it is decoded and is what the icon
// measures and draws.

#include <memory>
#include <vector>

#include "platform/graphics/graphic.h"

class TIcon : public TGraphic {
public:
    TIcon();
    TIcon(const TIcon& other);
    ~TIcon() override;

    const char* ClassName() const override { return "TIcon"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override { return !image_; }
    int Width() const override { return image_ ? image_->Width : 0; }
    int Height() const override { return image_ ? image_->Height : 0; }
    // Alpha-blended: the mask's transparent pixels leave the canvas as it was.
    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;
    // Another icon is copied; other classes raise EInvalidGraphicOperation.
    void Assign(const TGraphic& source) override;

    // Images stored as PNG are decoded by the registered PNG class; without one they raise.
    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override { return data_; }

    // Whether data starts like an icon or cursor file with at least one image.
    static bool IsIcon(std::span<const std::uint8_t> data);

private:
    std::vector<std::uint8_t> data_;
    std::shared_ptr<const TRasterImage> image_;
};
