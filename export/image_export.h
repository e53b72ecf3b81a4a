#pragma once
// The image exports: every exported object of a page drawn onto a bitmap at a chosen
// resolution, optionally cropped to what the objects cover, and saved as one image per page or
// with all pages stacked into one tall image, as BMP, TIFF, JPEG or GIF.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_filter.h"

class TBitmap;
class TCheckBox;
class TEdit;
class TLabel;
class TStream;

class TpgwIMGExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwIMGExportDialog, TpgwExportDialog)
public:
    explicit TpgwIMGExportDialog(TComponent* owner);

    TCheckBox* SeparateCB = nullptr;
    TGroupBox* GroupBox1 = nullptr; // the image settings (the dialog's own group)
    TCheckBox* Mono = nullptr;
    TCheckBox* CropPage = nullptr;
    TLabel* Label2 = nullptr;
    TEdit* Quality = nullptr;
    TLabel* Label1 = nullptr;
    TEdit* Resolution = nullptr;
};

class TpgwCustomImageExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwCustomImageExport, TpgwFileExportFilter)
public:
    explicit TpgwCustomImageExport(TComponent* owner);
    explicit TpgwCustomImageExport(UnlistedTag tag);
    ~TpgwCustomImageExport() override;

    bool CropImages() const { return cropImages_; }
    void SetCropImages(bool v) { cropImages_ = v; }
    bool Monochrome() const { return monochrome_; }
    void SetMonochrome(bool v) { monochrome_ = v; }
    int JPEGQuality() const { return jpegQuality_; }
    void SetJPEGQuality(int v) { jpegQuality_ = v; }
    // Dots per inch of the images.
    int Resolution() const { return resolution_; }
    void SetResolution(int v) { resolution_ = v; }
    // One file per page; false stacks all pages into one image.
    bool SeparateFiles() const { return separateFiles_; }
    void SetSeparateFiles(bool v) { separateFiles_ = v; }

    // Names the output; false without a file name or stream.
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    void CloseOutput() override;

    // The height an image may not pass.
    static constexpr int kMaxHeight = 30000;
    static bool ExceedsMaxHeight(int height) { return height > kMaxHeight; }

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;
    // Works out the file suffix; subclasses call it first, then write the bitmap.
    virtual void SaveImage();
    // Crops when asked, saves, and frees the bitmap (also when saving failed).
    virtual void FlushPageImage();

    // The save dialog's filter (a string-table key) and the default extension.
    void SetFormat(std::string_view filterKey, const std::string& extension);
    TBitmap& Bitmap() { return *bitmap_; }
    // FileName with the suffix and the format's extension.
    std::string ImageFileName() const;
    // Runs encode on the target stream, or on the image's file, which replaces an earlier one
    // only once written whole. With caught, a failure is handled by the report's silent mode and
    // the export goes on; otherwise it ends the export.
    void WriteImage(const std::function<void(TStream&)>& encode, bool caught);

private:
    void newBitmap();

    std::unique_ptr<TBitmap> bitmap_;
    bool cropImages_ = false, monochrome_ = false, separateFiles_ = true;
    int jpegQuality_ = 90;
    int resolution_ = 96;
    int pageCounter_ = 0;
    int minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
    double scale_ = 1;
    int drawOffset_ = 0;
    std::string suffix_;
    bool firstPage_ = false;
    // Joined runs: the report's page numbers that the height cap cut short or left out.
    std::vector<int> cutPages_;
};

class TpgwBMPExport : public TpgwCustomImageExport {
    LUMETRA_CLASS(TpgwBMPExport, TpgwCustomImageExport)
public:
    explicit TpgwBMPExport(TComponent* owner);
    explicit TpgwBMPExport(UnlistedTag tag);
    static void RegisterProperties(TClassBuilder<TpgwBMPExport>& b);
    std::string FilterCaption() const override;

protected:
    void SaveImage() override;
};

class TpgwTIFFExport : public TpgwCustomImageExport {
    LUMETRA_CLASS(TpgwTIFFExport, TpgwCustomImageExport)
public:
    explicit TpgwTIFFExport(TComponent* owner);
    explicit TpgwTIFFExport(UnlistedTag tag);
    static void RegisterProperties(TClassBuilder<TpgwTIFFExport>& b);
    std::string FilterCaption() const override;

protected:
    void SaveImage() override;
};

class TpgwJPEGExport : public TpgwCustomImageExport {
    LUMETRA_CLASS(TpgwJPEGExport, TpgwCustomImageExport)
public:
    explicit TpgwJPEGExport(TComponent* owner);
    explicit TpgwJPEGExport(UnlistedTag tag);
    static void RegisterProperties(TClassBuilder<TpgwJPEGExport>& b);
    std::string FilterCaption() const override;

protected:
    void SaveImage() override;
};

class TpgwGIFExport : public TpgwCustomImageExport {
    LUMETRA_CLASS(TpgwGIFExport, TpgwCustomImageExport)
public:
    explicit TpgwGIFExport(TComponent* owner);
    explicit TpgwGIFExport(UnlistedTag tag);
    static void RegisterProperties(TClassBuilder<TpgwGIFExport>& b);
    std::string FilterCaption() const override;

protected:
    void SaveImage() override;
};

// Enters the four filters by class name and as the formats "bmp", "tiff", "jpeg" and "gif".
void RegisterImageExports();
