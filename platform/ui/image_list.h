#pragma once
// TImageList: images of one size, cut from strip bitmaps, each with its own transparency.
// A mask colour marks the transparent pixels of what is added; disabled drawing paints the
// image's shape embossed in the highlight and shadow colours. Controls that show the images
// hold a TChangeLink and repaint when the list changes.

#include <memory>
#include <vector>

#include "platform/core/component.h"
#include "platform/graphics/bitmap.h"

class TImageList;

// A listener of one image list. It leaves the list when destroyed, and the list drops its
// links (their Sender becomes null) when it goes first.
class TChangeLink {
public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    TImageList* Sender() const { return sender_; }
    // Registers with the list (null: with none), leaving the previous one.
    void SetSender(TImageList* list);
    void Change();

    TNotifyEvent OnChange;

private:
    friend class TImageList;
    TImageList* sender_ = nullptr;
};

class TImageList : public TComponent {
    LUMETRA_CLASS(TImageList, TComponent)
public:
    explicit TImageList(TComponent* owner);
    ~TImageList() override;
    static void RegisterProperties(TClassBuilder<TImageList>& b);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // A new size empties the list (its images no longer fit).
    void SetWidth(int value) { SetSize(value, height_); }
    void SetHeight(int value) { SetSize(width_, value); }
    void SetSize(int width, int height);
    int Count() const { return static_cast<int>(images_.size()); }

    // Adds the image cut into tiles of Width (a wider bitmap gives several images, a narrower
    // one is padded with transparent pixels); pixels of maskColor are transparent (clNone:
    // none are). A 32-bit bitmap keeps its alpha. Returns the index of the first image added,
    // -1 for an empty bitmap.
    int AddMasked(const TBitmap& image, TColor maskColor);
    // The same with the mask as a second bitmap: its non-black pixels are transparent, as the
    // class library's masks are; without one every pixel is opaque.
    int Add(const TBitmap& image, const TBitmap* mask);
    // Replaces one image by the first tile of the bitmap. Raises EInvalidOperation for an
    // index outside the list.
    void ReplaceMasked(int index, const TBitmap& image, TColor maskColor);
    void Delete(int index);
    void Clear();

    // The image with its transparency (alpha 0 where transparent). Raises EInvalidOperation
    // for an index outside the list.
    TRasterImage Image(int index) const;
    // Fills bitmap with the image over its canvas brush colour, sized Width by Height.
    void GetBitmap(int index, TBitmap& bitmap) const;

    // Draws image index with its top-left corner at (x, y); disabled, as the shape embossed
    // in the highlight and shadow colours. An index outside the list draws nothing, so
    // ImageIndex -1 means "no image".
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true) const;

    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);
    // Batches changes: one notification at the outermost EndUpdate, when anything changed.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();

    TNotifyEvent OnChange;

private:
    void CheckIndex(int index) const;
    std::vector<TRasterImage> Tiles(const TBitmap& image, const TBitmap* mask,
                                    TColor maskColor) const;
    void Change();
    // Appends the tiles and reports the change; the index of the first, or -1 for none.
    int AppendTiles(std::vector<TRasterImage> tiles);

    int width_ = 16;
    int height_ = 16;
    std::vector<std::shared_ptr<const TRasterImage>> images_;
    std::vector<TChangeLink*> links_;
    int updating_ = 0;
    bool changed_ = false;
};
