#include "export/image_export.h"

#include <algorithm>
#include <cmath>

#include "engine/dialog_building.h"
#include "export/export_formats.h"
#include "export/image_writers.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/abstract_bases.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/view.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

// Rounding to the nearest integer, halves to even.
int R(double x) {
    return static_cast<int>(std::nearbyint(x));
}

void writeBytes(TStream& out, const std::vector<std::uint8_t>& bytes) {
    out.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// "3, 5-9" from sorted page numbers.
std::string pageList(const std::vector<int>& pages) {
    std::string out;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1)
            ++j;
        if (!out.empty()) out += ", ";
        out += std::to_string(pages[i]);
        if (j > i) out += "-" + std::to_string(pages[j]);
        i = j + 1;
    }
    return out;
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

TpgwIMGExportDialog::TpgwIMGExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8600"), res("8601"), 100) {
    GroupBox1 = GroupQuality;
    // The image filters have nothing to open afterwards.
    OpenCB->SetVisible(false);
    Mono = PlaceControl<TCheckBox>(GroupBox1, this, 12, 20, 140, 17);
    Mono->SetCaption(res("8606"));
    CropPage = PlaceControl<TCheckBox>(GroupBox1, this, 12, 44, 160, 17);
    CropPage->SetCaption(res("8605"));
    SeparateCB = PlaceControl<TCheckBox>(GroupBox1, this, 12, 68, 140, 17);
    SeparateCB->SetCaption(res("8604"));
    Label2 = PlaceLabel(GroupBox1, this, 180, 22, res("8602"));
    Quality = PlaceControl<TEdit>(GroupBox1, this, 280, 18, 50, 21);
    Label1 = PlaceLabel(GroupBox1, this, 180, 50, res("8603"));
    Resolution = PlaceControl<TEdit>(GroupBox1, this, 280, 46, 50, 21);
}

// ---- the common base ---------------------------------------------------------------------------

TpgwCustomImageExport::TpgwCustomImageExport(TComponent* owner) : TpgwFileExportFilter(owner) {}

TpgwCustomImageExport::TpgwCustomImageExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {}

TpgwCustomImageExport::~TpgwCustomImageExport() = default;

std::unique_ptr<TpgwExportDialog> TpgwCustomImageExport::CreateDialog() {
    return std::make_unique<TpgwIMGExportDialog>(nullptr);
}

void TpgwCustomImageExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwIMGExportDialog&>(dialog);
    d.OpenCB->SetVisible(false);
    d.SeparateCB->SetChecked(separateFiles_ && !SlaveMode());
    d.SeparateCB->SetVisible(!SlaveMode());
    d.Mono->SetChecked(monochrome_);
    d.Mono->SetEnabled(!ClassType().InheritsFrom("TpgwGIFExport"));
    d.CropPage->SetChecked(cropImages_);
    d.Quality->SetText(std::to_string(jpegQuality_));
    d.Quality->SetEnabled(ClassType().InheritsFrom("TpgwJPEGExport"));
    d.Resolution->SetText(std::to_string(resolution_));
}

void TpgwCustomImageExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwIMGExportDialog&>(dialog);
    // Both are read before anything changes: a box that holds no number changes nothing.
    const int quality = StrToInt(d.Quality->Text());
    const int resolution = StrToInt(d.Resolution->Text());
    jpegQuality_ = quality;
    resolution_ = resolution;
    cropImages_ = d.CropPage->Checked();
    monochrome_ = d.Mono->Checked();
    separateFiles_ = d.SeparateCB->Checked();
}

void TpgwCustomImageExport::newBitmap() {
    bitmap_ = std::make_unique<TBitmap>();
    const int screenDpi = std::max(1, bitmap_->Canvas().Font().PixelsPerInch());
    scale_ = static_cast<double>(resolution_) / screenDpi;
    // Every area the bitmap gains when it is sized starts white.
    bitmap_->Canvas().Brush().SetColor(clWhite);
    if (monochrome_) bitmap_->SetMonochrome(true);
}

bool TpgwCustomImageExport::OpenOutput() {
    if (SlaveMode()) {
        NameSlaveOutput();
        separateFiles_ = false;
    }
    SetCurrentPageOnly(false);
    pageCounter_ = 0;
    drawOffset_ = 0;
    cutPages_.clear();
    bitmap_.reset();
    if (!separateFiles_) {
        newBitmap();
        bitmap_->SetSize(0, 0);
        maxX_ = maxY_ = 0;
        firstPage_ = true;
    }
    const bool result = !FileName().empty() || TargetStream();
    PlaceInDefaultPath();
    return result;
}

void TpgwCustomImageExport::EnterPage(TpgwComponent* page, int index) {
    ++pageCounter_;
    const double pageWidth = page ? page->Width() : 0, pageHeight = page ? page->Height() : 0;
    if (separateFiles_) {
        newBitmap();
        bitmap_->SetSize(R(pageWidth * scale_), R(pageHeight * scale_));
        maxX_ = maxY_ = 0;
        minX_ = bitmap_->Width();
        minY_ = bitmap_->Height();
        return;
    }
    if (!bitmap_) return;
    if (firstPage_) {
        const int width = std::max(bitmap_->Width(), R(pageWidth * scale_));
        int pages = 1;
        if (Report() && Report()->PreviewPages())
            pages = std::max(1, Report()->PreviewPages()->GetCount());
        const double height = pages * pageHeight * scale_;
        bitmap_->SetSize(width, ExceedsMaxHeight(R(height)) ? kMaxHeight : R(height));
        firstPage_ = false;
        minX_ = bitmap_->Width();
        minY_ = bitmap_->Height();
    }
    // The cap leaves this page out, or cuts it short: the user is told which pages.
    if (drawOffset_ + R(pageHeight * scale_) > bitmap_->Height()) cutPages_.push_back(index + 1);
}

void TpgwCustomImageExport::WriteItem(TpgwComponent* object) {
    auto* view = dynamic_cast<TpgwView*>(object);
    if (!view || !view->Printable() || !bitmap_) return;
    if (view->Name() != "_pagebackground") {
        const double left = view->AbsLeft(), top = view->AbsTop();
        minX_ = std::min(minX_, R(left * scale_));
        minY_ = std::min(minY_, R(top * scale_) + drawOffset_);
        maxX_ = std::max(maxX_, R((left + view->Width()) * scale_) + 1);
        maxY_ = std::max(maxY_, R((top + view->Height()) * scale_) + drawOffset_ + 1);
    }
    view->Draw(bitmap_->Canvas(), scale_, scale_, 0, drawOffset_);
}

void TpgwCustomImageExport::LeavePage(TpgwComponent* page, int) {
    if (separateFiles_) {
        if (bitmap_) FlushPageImage();
        return;
    }
    drawOffset_ += R((page ? page->Height() : 0) * scale_);
}

void TpgwCustomImageExport::CloseOutput() {
    if (separateFiles_ || !bitmap_) return;
    if (RunFailed()) {
        bitmap_.reset();
        return;
    }
    FlushPageImage();
    if (!cutPages_.empty()) {
        std::sort(cutPages_.begin(), cutPages_.end());
        ReportExportFailure(Report(), "Pages " + pageList(cutPages_) +
                                          " did not fit into the image, which is at most " +
                                          std::to_string(kMaxHeight) +
                                          " pixels high, and were cut off");
    }
}

void TpgwCustomImageExport::FlushPageImage() {
    struct Free {
        std::unique_ptr<TBitmap>& bitmap;
        ~Free() { bitmap.reset(); }
    } free{bitmap_};
    if (cropImages_ && maxX_ > minX_ && maxY_ > minY_) {
        // What the views cover, as far as the bitmap holds it.
        TBitmap& b = *bitmap_;
        const int left = std::clamp(minX_, 0, b.Width()), top = std::clamp(minY_, 0, b.Height());
        const int right = std::clamp(maxX_, 0, b.Width()),
                  bottom = std::clamp(maxY_, 0, b.Height());
        const int w = right - left, h = bottom - top;
        for (int y = 0; y < h; ++y)
            std::copy_n(b.ScanLine(top + y) + left, w, b.ScanLine(y));
        b.SetSize(w, h);
    }
    SaveImage();
}

void TpgwCustomImageExport::SaveImage() {
    suffix_ = separateFiles_ ? "." + std::to_string(pageCounter_) : std::string();
}

std::string TpgwCustomImageExport::ImageFileName() const {
    return ChangeFileExt(FileName(), suffix_ + FileExtension());
}

void TpgwCustomImageExport::WriteImage(const std::function<void(TStream&)>& encode, bool caught) {
    auto write = [&] {
        if (TargetStream()) {
            encode(*TargetStream());
            return;
        }
        TSafeFileWriter file(ImageFileName());
        encode(file);
        file.Commit();
    };
    if (!caught) {
        write();
        return;
    }
    try {
        write();
    } catch (const std::exception& e) {
        ReportExportFailure(Report(), e.what());
    }
}

// ---- the four formats --------------------------------------------------------------------------

namespace {

// What every image filter publishes besides OverwritePrompt; the JPEG filter adds its quality.
template <class F> void publishImageOptions(TClassBuilder<F>& b) {
    b.Add("CropImages", &F::CropImages, &F::SetCropImages).Default(0);
    b.Add("Monochrome", &F::Monochrome, &F::SetMonochrome).Default(0);
}

} // namespace

#define LUMETRA_IMAGE_FILTER(Class, captionKey, filterKey, extension)                              \
    Class::Class(TComponent* owner) : TpgwCustomImageExport(owner) {                               \
        SetFormat(filterKey, extension);                                                           \
    }                                                                                              \
    Class::Class(UnlistedTag tag) : TpgwCustomImageExport(tag) {                                   \
        SetFormat(filterKey, extension);                                                           \
    }                                                                                              \
    std::string Class::FilterCaption() const {                                                     \
        return res(captionKey);                                                                    \
    }

LUMETRA_IMAGE_FILTER(TpgwBMPExport, "BMPexport", "BMPexportFilter", ".bmp")
LUMETRA_IMAGE_FILTER(TpgwTIFFExport, "TIFFexport", "TIFFexportFilter", ".tif")
LUMETRA_IMAGE_FILTER(TpgwJPEGExport, "JPEGexport", "JPEGexportFilter", ".jpg")
LUMETRA_IMAGE_FILTER(TpgwGIFExport, "GIFexport", "GifexportFilter", ".gif")
#undef LUMETRA_IMAGE_FILTER

void TpgwCustomImageExport::SetFormat(std::string_view filterKey, const std::string& extension) {
    SetFileFilter(res(filterKey));
    SetFileExtension(extension);
}

void TpgwBMPExport::SaveImage() {
    TpgwCustomImageExport::SaveImage();
    WriteImage([this](TStream& out) { writeBytes(out, Bitmap().SaveToBytes()); }, false);
}

void TpgwTIFFExport::SaveImage() {
    TpgwCustomImageExport::SaveImage();
    WriteImage([this](TStream& out) { WriteTIFF(Resolution(), out, Bitmap()); }, true);
}

void TpgwJPEGExport::SaveImage() {
    TpgwCustomImageExport::SaveImage();
    WriteImage(
        [this](TStream& out) {
            TJPEGImage jpeg;
            jpeg.SetCompressionQuality(JPEGQuality());
            jpeg.Assign(Bitmap());
            writeBytes(out, jpeg.SaveToBytes());
        },
        true);
}

void TpgwGIFExport::SaveImage() {
    TpgwCustomImageExport::SaveImage();
    WriteImage([this](TStream& out) { WriteGIF(out, Bitmap()); }, true);
}

void TpgwBMPExport::RegisterProperties(TClassBuilder<TpgwBMPExport>& b) {
    publishImageOptions(b);
}
void TpgwTIFFExport::RegisterProperties(TClassBuilder<TpgwTIFFExport>& b) {
    publishImageOptions(b);
}
void TpgwJPEGExport::RegisterProperties(TClassBuilder<TpgwJPEGExport>& b) {
    b.Add("JPEGQuality", &TpgwJPEGExport::JPEGQuality, &TpgwJPEGExport::SetJPEGQuality).Default(90);
    publishImageOptions(b);
}
void TpgwGIFExport::RegisterProperties(TClassBuilder<TpgwGIFExport>& b) {
    publishImageOptions(b);
}

void RegisterImageExports() {
    RegisterClasses<TpgwBMPExport, TpgwTIFFExport, TpgwJPEGExport, TpgwGIFExport>();
    using Unlisted = TpgwCustomExportFilter::UnlistedTag;
    RegisterExportFormat("bmp", [] { return std::make_unique<TpgwBMPExport>(Unlisted{}); });
    RegisterExportFormat("tiff", [] { return std::make_unique<TpgwTIFFExport>(Unlisted{}); });
    RegisterExportFormat("jpeg", [] { return std::make_unique<TpgwJPEGExport>(Unlisted{}); });
    RegisterExportFormat("gif", [] { return std::make_unique<TpgwGIFExport>(Unlisted{}); });
}
