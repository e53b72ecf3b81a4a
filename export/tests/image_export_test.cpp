// The image exports: sizes by resolution, crop, separate and joined files, the height cap,
// failures by the silent mode, the options dialog, and images equal to the page as drawn.

#include "export/image_export.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "export/export_formats.h"
#include "export/export_module.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/application.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/band.h"
#include "report/options.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Width and height from a BMP's header, without decoding it.
std::pair<int, int> BmpSize(const std::string& bmp) {
    auto u32 = [&](std::size_t at) {
        return static_cast<int>(static_cast<std::uint8_t>(bmp[at]) |
                                static_cast<std::uint8_t>(bmp[at + 1]) << 8 |
                                static_cast<std::uint8_t>(bmp[at + 2]) << 16 |
                                static_cast<std::uint8_t>(bmp[at + 3]) << 24);
    };
    if (bmp.size() < 26 || bmp.compare(0, 2, "BM") != 0) return {0, 0};
    return {u32(18), std::abs(u32(22))};
}

// ---- pages built in the test -------------------------------------------------------------------

using ImagePages = PageExportFixture;

TEST_F(ImagePages, TheResolutionSetsThePixelSizeAndMonochromeTheDepth) {
    struct Case {
        int resolution;
        bool mono;
        int width, height, bits;
    };
    for (const Case c : {Case{96, false, 800, 1123, 24}, Case{300, false, 2500, 3509, 24},
                         Case{96, true, 800, 1123, 1}}) {
        SCOPED_TRACE(c.resolution);
        pages.clear();
        TpgwReportPage* page = NewPage();
        page->SetWidth(800);
        Memo(page, 10, 10, 100, 20, "text");
        TpgwBMPExport bmp(TpgwCustomExportFilter::UnlistedTag{});
        bmp.SetResolution(c.resolution);
        bmp.SetMonochrome(c.mono);
        const std::string bytes = Run(bmp);
        EXPECT_EQ(BmpSize(bytes), std::make_pair(c.width, c.height));
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[28]), c.bits);
    }
}

TEST_F(ImagePages, ACropHugsTheObjectsNotThePageBackground) {
    TpgwReportPage* page = NewPage();
    TpgwMemoView* background = Memo(page, 0, 0, 794, 1123, "");
    background->SetName("_pagebackground");
    background->SetColor(clYellow);
    TpgwMemoView* memo = Memo(page, 100, 100, 200, 50, "");
    memo->SetColor(clBlue);
    TpgwBMPExport bmp(TpgwCustomExportFilter::UnlistedTag{});
    bmp.SetCropImages(true);
    TBitmap image;
    image.LoadFromBytes(Bytes(Run(bmp)));
    ASSERT_EQ(image.Width(), 201);
    ASSERT_EQ(image.Height(), 51);
    EXPECT_EQ(image.Canvas().Pixel(100, 25), clBlue);
}

// ---- prepared reports --------------------------------------------------------------------------

class ImageExports : public PreparedExportFixture {
protected:
    std::string ToMemory(TpgwCustomExportFilter& filter) {
        TMemoryStream stream;
        filter.SetTargetStream(&stream);
        filter.SetShowDialog(false);
        EXPECT_TRUE(report->ExportTo(&filter)) << report->Errors().Text();
        filter.SetTargetStream(nullptr);
        return std::string(reinterpret_cast<const char*>(stream.Memory()),
                           static_cast<std::size_t>(stream.Size()));
    }
    TempDir dir;
};

TEST_F(ImageExports, SeparateFilesAreNumberedInExportOrderAndSlaveModeJoins) {
    Fixture(5);
    TpgwBMPExport bmp(TpgwCustomExportFilter::UnlistedTag{});
    bmp.SetShowDialog(false);
    bmp.SetFileName(dir / "r.bmp");
    bmp.SetPageNumbers("3-5");
    ASSERT_TRUE(report->ExportTo(&bmp)) << report->Errors().Text();
    for (const char* name : {"r.1.bmp", "r.2.bmp", "r.3.bmp"})
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / "r.4.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "r.bmp"));

    // On behalf of another exporter: one image of all pages, in the temporary folder.
    report->SetFileName("C:\\reports\\exam.pg3");
    bmp.SetPageNumbers("");
    bmp.SetFileName("");
    bmp.SetSlaveMode(true);
    ASSERT_TRUE(report->ExportTo(&bmp)) << report->Errors().Text();
    const std::string joined = IncludeTrailingPathDelimiter(GetTempDir()) + "exam.bmp";
    EXPECT_EQ(bmp.FileName(), joined);
    EXPECT_EQ(BmpSize(TempDir::ReadAll(joined)), std::make_pair(794, 5 * 1123));
    std::filesystem::remove(joined);
}

TEST_F(ImageExports, AJoinedImageStopsAtTheCapAndNamesThePagesCut) {
    Fixture(40);
    TpgwBMPExport bmp(TpgwCustomExportFilter::UnlistedTag{});
    bmp.SetSeparateFiles(false);
    EXPECT_EQ(BmpSize(ToMemory(bmp)), std::make_pair(794, 30000));
    // 26 pages of 1123 pixels fit whole; the 27th is cut short and the rest left out.
    EXPECT_NE(report->Errors().Text().find("Pages 27-40"), std::string::npos)
        << report->Errors().Text();
}

TEST_F(ImageExports, AnUnwritableFolderGoesThroughTheSilentModeExceptForBmp) {
    Fixture(2);
    const std::string missing = dir / "missing/r.tif";
    TpgwTIFFExport tiff(TpgwCustomExportFilter::UnlistedTag{});
    tiff.SetShowDialog(false);
    tiff.SetFileName(missing);
    EXPECT_TRUE(report->ExportTo(&tiff));
    EXPECT_EQ(report->Errors().Count(), 2) << report->Errors().Text();

    report->Errors().Clear();
    report->EngineOptions()->SetNewSilentMode(simReThrow);
    EXPECT_ANY_THROW(report->ExportTo(&tiff));

    // A BMP that cannot be written ends the export.
    report->EngineOptions()->SetNewSilentMode(simSilent);
    TpgwBMPExport bmp(TpgwCustomExportFilter::UnlistedTag{});
    bmp.SetShowDialog(false);
    bmp.SetFileName(dir / "missing/r.bmp");
    EXPECT_FALSE(report->ExportTo(&bmp));
}

// A filter that keeps the dialog it shows.
template <class F> class Shown : public F {
public:
    Shown() : F(nullptr) {}
    TpgwIMGExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = F::CreateDialog();
        Dialog = dynamic_cast<TpgwIMGExportDialog*>(dialog.get());
        return dialog;
    }
};

TEST_F(ImageExports, TheDialogShowsWhatEachFormatTakes) {
    Fixture(1);
    auto check = [&](auto& filter, bool quality, bool mono) {
        SCOPED_TRACE(filter.FilterCaption());
        filter.SetReport(report.get());
        filter.SetSlaveMode(true);
        Application()->QueueCall([&] {
            auto* d = filter.Dialog;
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->Quality->Enabled(), quality);
            EXPECT_EQ(d->Mono->Enabled(), mono);
            EXPECT_FALSE(d->SeparateCB->Visible());
            EXPECT_FALSE(d->OpenCB->Visible());
            d->Resolution->SetText("300");
            d->OkB->Click();
        });
        EXPECT_EQ(filter.AskOptions(), 1);
        EXPECT_EQ(filter.Resolution(), 300);
        EXPECT_TRUE(boxes->Dialogs.empty()) << "no save dialog in slave mode";
    };
    Shown<TpgwBMPExport> bmp;
    check(bmp, false, true);
    Shown<TpgwJPEGExport> jpeg;
    check(jpeg, true, true);
    Shown<TpgwGIFExport> gif;
    check(gif, false, false);

    // A resolution that is no number fails on OK and changes nothing.
    Shown<TpgwTIFFExport> tiff;
    tiff.SetSlaveMode(true);
    Application()->QueueCall([&] {
        ASSERT_NE(tiff.Dialog, nullptr);
        tiff.Dialog->Resolution->SetText("many");
        tiff.Dialog->OkB->Click();
    });
    EXPECT_ANY_THROW(tiff.AskOptions());
    EXPECT_EQ(tiff.Resolution(), 96);
}

// The image a file holds, read back by an independent decoder (BMP by our own).
TRasterImage Decode(const std::string& file, bool ours) {
    if (ours) {
        TBitmap b;
        b.LoadFromBytes(Bytes(TempDir::ReadAll(file)));
        return b.ToImage();
    }
    int status = 0;
    // Readers' warnings (the TIFF's unterminated software name) stay out of the pixels.
    const std::string rgb = RunTool("(convert '" + file + "' -depth 8 rgb:- 2>/dev/null)", &status);
    const std::string size = RunTool("(identify -format '%w %h' '" + file + "' 2>/dev/null)");
    TRasterImage image;
    if (status != 0 || std::sscanf(size.c_str(), "%d %d", &image.Width, &image.Height) != 2 ||
        rgb.size() != static_cast<std::size_t>(image.Width) * image.Height * 3)
        return {};
    image.Pixels.resize(rgb.size() / 3);
    for (std::size_t i = 0; i < image.Pixels.size(); ++i)
        image.Pixels[i] = 0xFF000000u | static_cast<std::uint8_t>(rgb[3 * i]) << 16 |
                          static_cast<std::uint8_t>(rgb[3 * i + 1]) << 8 |
                          static_cast<std::uint8_t>(rgb[3 * i + 2]);
    return image;
}

TEST_F(ImageExports, EachFormatHoldsThePageAsDrawnAtItsScale) {
    if (!HaveTool("convert") || !HaveTool("identify"))
        GTEST_SKIP() << "ImageMagick is not installed (scripts/setup installs it)";
    Fixture(1);
    struct Case {
        const char* format;
        const char* file; // the first page's
        bool ours, reduced;
    };
    for (const Case c :
         {Case{"bmp", "page.1.bmp", true, false}, Case{"tiff", "page.1.tif", false, false},
          Case{"gif", "page.1.gif", false, true}}) {
        SCOPED_TRACE(c.format);
        std::unique_ptr<TpgwCustomExportFilter> made = MakeExportFilter(c.format);
        auto* filter = dynamic_cast<TpgwCustomImageExport*>(made.get());
        ASSERT_NE(filter, nullptr);
        filter->SetShowDialog(false);
        filter->SetResolution(144);
        filter->SetFileName(dir / "page");
        ASSERT_TRUE(report->ExportTo(filter)) << report->Errors().Text();
        const TRasterImage image = Decode(dir / c.file, c.ours);
        ASSERT_EQ(image.Width, 1191);  // 794 × 1.5
        ASSERT_EQ(image.Height, 1684); // 1123 × 1.5, the half to even

        TBitmap drawn(image.Width, image.Height, pf24bit);
        report->PreviewPages()->DrawPage(0, drawn.Canvas(), 1.5, 1.5, 0, 0);
        if (c.reduced) drawn.SetPixelFormat(pf8bit);
        int differing = 0;
        for (int y = 0; y < image.Height; ++y)
            for (int x = 0; x < image.Width; ++x)
                if ((image.At(x, y) & 0xFFFFFF) != (drawn.ScanLine(y)[x] & 0xFFFFFF)) ++differing;
        EXPECT_EQ(differing, 0);
    }
}

// Every format of this family from the command line, in one run.
TEST(ExportFormatsThroughPgwprep, EachFormatWritesItsFiles) {
    const TempDir dir;
    const std::string data = std::string(LUMETRA_TESTDATA_DIR) + "/export_fixture.pg3";
    const PgwprepRun r =
        RunPgwprep({data, "--export", "bmp", dir / "f.bmp", "--export", "tiff", dir / "f.tif",
                    "--export", "jpeg", dir / "f.jpg", "--export", "gif", dir / "f.gif", "--export",
                    "html", dir / "f.html", "--export", "rtf", dir / "f.rtf"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    struct Case {
        const char* file;
        std::string head;
    };
    for (const Case& c :
         {Case{"f.1.bmp", "BM"}, Case{"f.1.tif", "II*"}, Case{"f.1.jpg", "\xFF\xD8\xFF"},
          Case{"f.1.gif", "GIF89a"}, Case{"f.html", "<!DOCTYPE HTML"}, Case{"f.rtf", "{\\rtf1"}}) {
        SCOPED_TRACE(c.file);
        const std::string bytes = TempDir::ReadAll(dir / c.file);
        EXPECT_EQ(bytes.substr(0, c.head.size()), c.head);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "f.files")) << "the HTML pictures' folder";
}

} // namespace
