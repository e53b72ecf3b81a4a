#pragma once
// TPicture: holds one graphic of any registered class and loads files by their content.

#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/graphic.h"

class TPicture {
public:
    TPicture();
    TPicture(const TPicture& other);
    TPicture& operator=(const TPicture& other);
    ~TPicture();

    // Null when empty.
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The graphic as a bitmap; a picture holding another class is replaced by a bitmap of it.
    TBitmap& Bitmap();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    bool Empty() const { return !graphic_ || graphic_->Empty(); }

    // The class is chosen by the data's first bytes, never by the file name; data no
    // registered class recognises raises EInvalidGraphic and keeps the current graphic.
    void LoadFromBytes(std::span<const std::uint8_t> data);
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& path);
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& path) const;

    void Assign(const TPicture& source);
    void Clear() { SetGraphic(nullptr); }

    std::function<void(TPicture&)> OnChange;

private:
    void Changed();
    std::unique_ptr<TGraphic> graphic_;
};
