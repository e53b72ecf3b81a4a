#include "platform/graphics/picture.h"

TPicture::TPicture() = default;
TPicture::TPicture(const TPicture& other)
{
    if (other.graphic_) SetGraphic(other.graphic_->Clone());
}
TPicture& TPicture::operator=(const TPicture& other)
{
    Assign(other);
    return *this;
}
TPicture::~TPicture() = default;

void TPicture::Changed()
{
    if (OnChange) OnChange(*this);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (graphic_) graphic_->OnChange = [this](TGraphic&) { Changed(); };
    Changed();
}

TBitmap& TPicture::Bitmap()
{
    if (auto* bmp = dynamic_cast<TBitmap*>(graphic_.get())) return *bmp;
    auto bmp = std::make_unique<TBitmap>();
    if (graphic_ && !graphic_->Empty()) bmp->Assign(*graphic_);
    TBitmap& ref = *bmp;
    SetGraphic(std::move(bmp));
    return ref;
}

void TPicture::LoadFromBytes(std::span<const std::uint8_t> data)
{
    auto graphic = CreateGraphicForContent(data);
    if (!graphic) throw EInvalidGraphic("Unknown picture file format");
    graphic->LoadFromBytes(data);
    SetGraphic(std::move(graphic));
}

void TPicture::LoadFromStream(TStream& stream) { LoadFromBytes(ReadStreamToEnd(stream)); }
void TPicture::LoadFromFile(const std::string& path) { LoadFromBytes(ReadFileBytes(path)); }

void TPicture::SaveToStream(TStream& stream) const
{
    if (graphic_) graphic_->SaveToStream(stream);
}

void TPicture::SaveToFile(const std::string& path) const
{
    if (graphic_) graphic_->SaveToFile(path);
}

void TPicture::Assign(const TPicture& source)
{
    if (&source != this) SetGraphic(source.graphic_ ? source.graphic_->Clone() : nullptr);
}
