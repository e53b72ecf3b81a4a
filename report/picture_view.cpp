#include "report/picture_view.h"

#include <cstring>

#include "platform/core/files.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/windows_metafile.h"
#include "report/abstract_bases.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t u32(const std::uint8_t* p) {
    return u16(p) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}

// The graphic class for data by its first bytes, in a fixed order of tests; none when no
// class recognises it. The PNG class lives in the engine and is found by its registered name.
std::unique_ptr<TGraphic> graphicForData(std::span<const std::uint8_t> d) {
    const std::size_t n = d.size();
    if (n >= 14 && d[0] == 'B' && d[1] == 'M') return std::make_unique<TBitmap>();
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xD8) return std::make_unique<TJPEGImage>();
    if (n >= 8 && std::memcmp(d.data(), kPngSignature, 8) == 0) {
        if (auto png = CreateGraphicByClassName("TPNGObject")) return png;
    }
    if (n >= 22 && u32(d.data()) == 0x9AC6CDD7) return std::make_unique<TWindowsMetafile>();
    if (n >= 100 && std::memcmp(d.data() + 40, " EMF", 4) == 0)
        return std::make_unique<TWindowsMetafile>();
    if (TRecording::IsRecording(d)) return std::make_unique<TMetafile>();
    if (n >= 6 && u16(d.data() + 2) < 2) return std::make_unique<TIcon>();
    return nullptr;
}

} // namespace

TpgwPictureView::TpgwPictureView(TComponent* owner)
    : TpgwView(owner), picture_(std::make_unique<TPicture>()) {
    picture_->OnChange = [this](TPicture&) { pictureChangedHandler(); };
    SetColor(clWhite);
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::DiffAgainstDefault);
}

TpgwPictureView::~TpgwPictureView() {
    picture_->OnChange = nullptr;
}

void TpgwPictureView::RegisterProperties(TClassBuilder<TpgwPictureView>& b) {
    using P = TpgwPictureView;
    b.Add("AutoSize", TypeInfoBoolean(), &P::AutoSize, &P::SetAutoSize).Default(0);
    b.Add("Center", TypeInfoBoolean(), &P::Center, &P::SetCenter).Default(0);
    b.Add("Stretched", TypeInfoBoolean(), &P::Stretched, &P::SetStretched).Default(1);
    b.Add("KeepAspectRatio", TypeInfoBoolean(), &P::KeepAspectRatio, &P::SetKeepAspectRatio)
        .Default(1);
    b.Add("HightQuality", TypeInfoBoolean(), &P::HightQuality, &P::SetHightQuality);
    b.Add("FileLink", TypeInfoString(), &P::FileLink, &P::SetFileLink);
    b.Add("ImageIndex", TypeInfoInteger(), &P::ImageIndex, &P::SetImageIndex)
        .Stored(&P::IsImageIndexStored);
    PublishViewProperties(
        b, {"DataSet", "DataSetName", "DataField", "Frame", "Cursor", "TagStr", "URL"});
}

void TpgwPictureView::DefineProperties(TFiler& filer) {
    TpgwView::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Picture", [this](TStream& s) { LoadPictureData(s, true); },
        [this](TStream& s) { picture_->SaveToStream(s); }, pictureStored_ && !picture_->Empty());
}

void TpgwPictureView::SetPicture(const TPicture* value) {
    if (value && value != picture_.get()) picture_->Assign(*value);
}

void TpgwPictureView::SetAutoSize(bool value) {
    autoSize_ = value;
    applyAutoSize();
}

void TpgwPictureView::applyAutoSize() {
    if (!autoSize_ || picture_->Empty()) return;
    // Past the view's own setters: the size follows the picture whatever a descendant adds.
    TpgwComponent::SetWidth(picture_->Width());
    TpgwComponent::SetHeight(picture_->Height());
}

void TpgwPictureView::pictureChangedHandler() {
    applyAutoSize();
    pictureChanged_ = true;
}

std::int32_t TpgwPictureView::LoadPictureData(TStream& stream, bool fromStart) {
    const std::int64_t start = fromStart ? 0 : stream.Position();
    stream.SetPosition(start);
    const std::int64_t size = stream.Size();
    // Blobs written by some databases carry an 8-byte header: 1, 0x100 and the length after it.
    if (size - start >= 8) {
        std::uint8_t prefix[8];
        stream.ReadBuffer(prefix, 8);
        const bool header = u16(prefix) == 1 && u16(prefix + 2) == 0x100 &&
                            u32(prefix + 4) == static_cast<std::uint64_t>(size - 8);
        if (!header) stream.SetPosition(start);
    }
    const std::vector<std::uint8_t> data = ReadStreamToEnd(stream);
    std::unique_ptr<TGraphic> graphic = graphicForData(data);
    if (!graphic) {
        picture_->Clear();
        return E_INVALIDARG;
    }
    graphic->LoadFromBytes(data);
    picture_->SetGraphic(std::move(graphic));
    return 0;
}

void TpgwPictureView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                           double offsetY) {
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    DrawBackground();
    const TGraphic* graphic = picture_->Graphic();
    if (graphic && !graphic->Empty()) {
        const int pw = graphic->Width(), ph = graphic->Height();
        const bool highQuality = DrawingForPrint() || hightQuality_;
        TRect r{x_, y_, x1_, y1_};
        if (!stretched_) {
            canvas.SaveClip();
            canvas.IntersectClipRect(r);
            const int w = RoundToPixel(pw * scaleX_), h = RoundToPixel(ph * scaleY_);
            if (center_) {
                r.Left += (dx_ - w) / 2;
                r.Top += (dy_ - h) / 2;
            }
            r.Right = r.Left + w;
            r.Bottom = r.Top + h;
            DrawGraphic(canvas, r, *graphic, highQuality);
            canvas.RestoreClip();
        } else {
            if (keepAspectRatio_ && pw > 0 && ph > 0) {
                const double kx = static_cast<double>(dx_) / pw;
                const double ky = static_cast<double>(dy_) / ph;
                if (ky > kx)
                    r.Bottom = r.Top + RoundToPixel(ph * kx);
                else
                    r.Right = r.Left + RoundToPixel(pw * ky);
                if (center_) {
                    const int mx = (dx_ - r.Width()) / 2, my = (dy_ - r.Height()) / 2;
                    r = {r.Left + mx, r.Top + my, r.Right + mx, r.Bottom + my};
                }
            }
            DrawGraphic(canvas, r, *graphic, highQuality);
        }
    }
    DrawFrame();
}

void TpgwPictureView::FetchData() {
    TpgwView::FetchData();
    if (!fileLink_.empty()) {
        std::string name = fileLink_;
        ExpandBrackets(name);
        // Stored names come from Windows: either separator, any letter case; a drive-letter
        // path names nothing here and counts as missing.
        const std::string path = name.empty() ? std::string() : ResolveFileCase(name);
        if (!path.empty() && FileExists(path))
            picture_->LoadFromFile(path);
        else
            picture_->Clear();
    } else if (HasDataField() && DataSet()->IsBlobField(DataField())) {
        TMemoryStream blob;
        DataSet()->CopyBlobTo(DataField(), blob);
        LoadPictureData(blob, true);
    }
}

std::string TpgwPictureView::ChangedAttributes(TpgwComponent* reference) {
    if (pictureChanged_) {
        auto* report = dynamic_cast<TpgwReport*>(Report());
        if (TpgwCustomPreviewPages* pages = report ? report->PreviewPages() : nullptr) {
            pages->AddPicture(this);
            pictureChanged_ = false;
        }
    }
    return TpgwView::ChangedAttributes(reference) + " ImageIndex=\"" + std::to_string(imageIndex_) +
           "\"";
}

std::string TpgwPictureView::ClassDescription() const {
    return GetResources().GetText("obPicture");
}
