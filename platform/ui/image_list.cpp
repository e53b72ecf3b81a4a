#include "platform/ui/image_list.h"

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/core/properties.h"

namespace {

std::uint32_t ToPixel(TColor color) {
    const TColor c = ColorToRGB(color);
    return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

} // namespace

TChangeLink::~TChangeLink() {
    SetSender(nullptr);
}

void TChangeLink::SetSender(TImageList* list) {
    if (list == sender_) return;
    if (sender_) sender_->UnRegisterChanges(this);
    if (list) list->RegisterChanges(this);
}

void TChangeLink::Change() {
    if (OnChange) OnChange(sender_);
}

void TImageList::RegisterProperties(TClassBuilder<TImageList>& b) {
    b.Add("Width", &TImageList::Width, &TImageList::SetWidth).Default(16);
    b.Add("Height", &TImageList::Height, &TImageList::SetHeight).Default(16);
    b.AddMethod("OnChange", "TNotifyEvent");
}

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}

TImageList::~TImageList() {
    for (TChangeLink* link : links_)
        link->sender_ = nullptr;
}

void TImageList::SetSize(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    images_.clear();
    Change();
}

std::vector<TRasterImage> TImageList::Tiles(const TBitmap& image, const TBitmap* mask,
                                            TColor maskColor) const {
    std::vector<TRasterImage> tiles;
    if (image.Empty()) return tiles;
    const TRasterImage src = image.ToImage();
    TRasterImage maskImage;
    if (mask && !mask->Empty()) maskImage = mask->ToImage();
    const bool byColor = maskColor != clNone && maskColor != clDefault;
    const std::uint32_t key = byColor ? ToPixel(maskColor) & 0xFFFFFFu : 0;
    const int count = std::max(1, src.Width / width_);
    for (int t = 0; t < count; ++t) {
        TRasterImage tile(width_, height_, 0);
        tile.HasAlpha = true;
        for (int y = 0; y < height_ && y < src.Height; ++y) {
            for (int x = 0; x < width_; ++x) {
                const int sx = t * width_ + x;
                if (sx >= src.Width) break;
                std::uint32_t p = src.At(sx, y);
                if (!src.HasAlpha) p |= 0xFF000000u;
                bool clear = byColor && (p & 0xFFFFFFu) == key;
                if (!maskImage.IsEmpty() && sx < maskImage.Width && y < maskImage.Height)
                    clear = clear || (maskImage.At(sx, y) & 0xFFFFFFu) != 0;
                tile.At(x, y) = clear ? 0u : p;
            }
        }
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

int TImageList::AppendTiles(std::vector<TRasterImage> tiles) {
    if (tiles.empty()) return -1;
    const int first = Count();
    for (TRasterImage& t : tiles)
        images_.push_back(std::make_shared<TRasterImage>(std::move(t)));
    Change();
    return first;
}

int TImageList::AddMasked(const TBitmap& image, TColor maskColor) {
    return AppendTiles(Tiles(image, nullptr, maskColor));
}

int TImageList::Add(const TBitmap& image, const TBitmap* mask) {
    return AppendTiles(Tiles(image, mask, clNone));
}

void TImageList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EInvalidOperation("Invalid ImageList Index");
}

void TImageList::ReplaceMasked(int index, const TBitmap& image, TColor maskColor) {
    CheckIndex(index);
    std::vector<TRasterImage> tiles = Tiles(image, nullptr, maskColor);
    if (tiles.empty()) tiles.emplace_back(width_, height_, 0u).HasAlpha = true;
    images_[static_cast<std::size_t>(index)] = std::make_shared<TRasterImage>(std::move(tiles[0]));
    Change();
}

void TImageList::Delete(int index) {
    CheckIndex(index);
    images_.erase(images_.begin() + index);
    Change();
}

void TImageList::Clear() {
    if (images_.empty()) return;
    images_.clear();
    Change();
}

TRasterImage TImageList::Image(int index) const {
    CheckIndex(index);
    return *images_[static_cast<std::size_t>(index)];
}

void TImageList::GetBitmap(int index, TBitmap& bitmap) const {
    CheckIndex(index);
    bitmap.SetSize(width_, height_);
    TCanvas& c = bitmap.Canvas();
    c.FillRect(TRect{0, 0, width_, height_});
    Draw(c, 0, 0, index);
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) const {
    if (index < 0 || index >= Count()) return;
    const auto& img = images_[static_cast<std::size_t>(index)];
    const TRect r{x, y, x + width_, y + height_};
    if (enabled) {
        canvas.DrawImage(r, img);
        return;
    }
    // The shape is every visible pixel that is not white, as a monochrome copy of the
    // image over white would show it: highlight one pixel down-right, shadow on top.
    auto shape = [&](TColor color) {
        auto out = std::make_shared<TRasterImage>(width_, height_, 0u);
        out->HasAlpha = true;
        const std::uint32_t ink = ToPixel(color);
        for (std::size_t i = 0; i < img->Pixels.size(); ++i) {
            const std::uint32_t p = img->Pixels[i];
            if ((p >> 24) >= 0x80 && (p & 0xFFFFFFu) != 0xFFFFFFu) out->Pixels[i] = ink;
        }
        return out;
    };
    canvas.DrawImage(TRect{x + 1, y + 1, x + 1 + width_, y + 1 + height_}, shape(clBtnHighlight));
    canvas.DrawImage(r, shape(clBtnShadow));
}

void TImageList::RegisterChanges(TChangeLink* link) {
    if (!link || std::find(links_.begin(), links_.end(), link) != links_.end()) return;
    if (link->sender_ && link->sender_ != this) link->sender_->UnRegisterChanges(link);
    links_.push_back(link);
    link->sender_ = this;
}

void TImageList::UnRegisterChanges(TChangeLink* link) {
    auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end()) return;
    links_.erase(it);
    link->sender_ = nullptr;
}

void TImageList::EndUpdate() {
    if (updating_ > 0 && --updating_ == 0 && changed_) Change();
}

void TImageList::Change() {
    if (updating_ > 0) {
        changed_ = true;
        return;
    }
    changed_ = false;
    // A handler may unregister links; walk a copy and skip those gone meanwhile.
    const std::vector<TChangeLink*> links = links_;
    for (TChangeLink* link : links)
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->Change();
    if (OnChange) OnChange(this);
}
