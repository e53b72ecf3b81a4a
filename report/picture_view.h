#pragma once
// The picture object: a bitmap, JPEG, PNG, icon or metafile shown stretched, at its own size,
// centred or with its proportions kept; loaded from the template, from a file named by an
// expression, or from a blob field. The report page keeps one for its background.

#include <cstdint>
#include <memory>
#include <string>

#include "report/view.h"

class TPicture;
class TStream;

// What LoadPictureData returns for data no graphic class recognises.
inline constexpr std::int32_t E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);

class TpgwPictureView : public TpgwView {
    LUMETRA_CLASS(TpgwPictureView, TpgwView)
public:
    explicit TpgwPictureView(TComponent* owner);
    ~TpgwPictureView() override;
    static void RegisterProperties(TClassBuilder<TpgwPictureView>& b);
    // The image travels in PropData as the binary property "Picture" while IsPictureStored.
    void DefineProperties(TFiler& filer) override;

    // Never null; setting it copies the given picture.
    TPicture* Picture() const { return picture_.get(); }
    void SetPicture(const TPicture* value);
    // The object takes the picture's size in pixels as report units.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value) { center_ = value; }
    bool Stretched() const { return stretched_; }
    void SetStretched(bool value) { stretched_ = value; }
    bool KeepAspectRatio() const { return keepAspectRatio_; }
    void SetKeepAspectRatio(bool value) { keepAspectRatio_ = value; }
    // Smooth scaling on screen too, not only when printing.
    bool HightQuality() const { return hightQuality_; }
    void SetHightQuality(bool value) { hightQuality_ = value; }
    // File loaded before each output; may hold bracketed expressions.
    const std::string& FileLink() const { return fileLink_; }
    void SetFileLink(const std::string& value) { fileLink_ = value; }
    // 1-based number of the image in a picture cache; 0: none.
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value) { imageIndex_ = value; }

    // Prepared pages and the designer's undo keep the image in a picture cache: they clear
    // IsPictureStored and write ImageIndex instead.
    bool IsPictureStored() const { return pictureStored_; }
    void SetIsPictureStored(bool value) { pictureStored_ = value; }
    bool IsImageIndexStored() const { return imageIndexStored_; }
    void SetIsImageIndexStored(bool value) { imageIndexStored_ = value; }
    // Set by every change of the picture; cleared once the prepared pages have stored it.
    bool PictureChanged() const { return pictureChanged_; }
    void SetPictureChanged(bool value) { pictureChanged_ = value; }

    // Loads the image by its content from the stream's position (fromStart: from 0) to the
    // stream's end. Returns 0, or E_INVALIDARG with an empty picture when no graphic class
    // recognises the data. Damaged data of a recognised kind raises that graphic's error and
    // leaves the picture as it was.
    std::int32_t LoadPictureData(TStream& stream, bool fromStart);

    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    // The view's data, then the image of FileLink or of a blob field.
    void FetchData() override;
    // A changed picture goes to the prepared pages first; ImageIndex is always written.
    std::string ChangedAttributes(TpgwComponent* reference) override;
    std::string ClassDescription() const override;

private:
    void pictureChangedHandler();
    void applyAutoSize();

    std::unique_ptr<TPicture> picture_;
    std::string fileLink_;
    int imageIndex_ = 0;
    bool autoSize_ = false;
    bool center_ = false;
    bool stretched_ = true;
    bool keepAspectRatio_ = true;
    bool hightQuality_ = false;
    bool pictureStored_ = true;
    bool imageIndexStored_ = false;
    bool pictureChanged_ = false;
};

