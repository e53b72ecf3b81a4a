// BMP and JPEG codecs, pictures loaded by content, the graphic registry and the printer canvas.

#include <gtest/gtest.h>

#include <QPrinter>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gui_application.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/printer_canvas.h"
#include "pixel_helpers.h"

namespace {

std::vector<std::uint8_t> Fixture(const char* name) { return ReadFileBytes(std::string(LUMETRA_TESTDATA_DIR) + "/" + name); }

double Psnr(const TRasterImage& a, const TRasterImage& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.Pixels.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = static_cast<double>((a.Pixels[i] >> shift) & 0xFF) - ((b.Pixels[i] >> shift) & 0xFF);
            sum += d * d;
        }
    const double mse = sum / (a.Pixels.size() * 3.0);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string TempPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("lumetra_gfx_") + std::to_string(::getpid()) + name)).string();
}

}  // namespace

TEST(Bmp, RoundTripsBitForBit)
{
    for (TPixelFormat format : {pf1bit, pf24bit, pf32bit}) {
        TBitmap bmp(13, 7, format);  // an odd width exercises the row padding
        if (format == pf1bit) bmp.SetMonochromePalette({clNavy, clYellow});
        for (int y = 0; y < 7; ++y) {
            std::uint32_t* row = bmp.ScanLine(y);
            for (int x = 0; x < 13; ++x) {
                if (format == pf1bit)
                    row[x] = (x * y + x) % 3 ? 0xFF000080u : 0xFFFFFF00u;
                else
                    row[x] = (format == pf32bit ? static_cast<std::uint32_t>(x * 19) << 24 : 0xFF000000u) |
                             static_cast<std::uint32_t>(x * 20) << 16 | static_cast<std::uint32_t>(y * 30) << 8 | (x ^ y);
            }
        }
        const auto bytes = bmp.SaveToBytes();
        TBitmap back;
        back.LoadFromBytes(bytes);
        EXPECT_EQ(back.PixelFormat(), format);
        EXPECT_EQ(back.Width(), 13);
        EXPECT_EQ(back.Height(), 7);
        EXPECT_EQ(back.ToImage().Pixels, bmp.ToImage().Pixels) << format;
        EXPECT_EQ(back.SaveToBytes(), bytes) << format;
    }
    TBitmap mono(9, 1, pf1bit);
    const auto bytes = mono.SaveToBytes();
    EXPECT_EQ(bytes[28], 1);  // bits per pixel
    EXPECT_EQ(bytes.size(), 14u + 40 + 8 + 4);
}

TEST(Bitmap, GrowsInTheBrushColourAndCrops)
{
    // What the image export does: white background, draw, crop to the used area.
    TBitmap bmp;
    bmp.Canvas().Brush().SetColor(clWhite);
    bmp.SetSize(20, 10);
    bmp.Canvas().Brush().SetColor(clBlue);
    bmp.Canvas().FillRect({5, 2, 9, 6});
    EXPECT_EQ(bmp.Canvas().Pixel(0, 0), clWhite);
    bmp.Canvas().CopyRect({0, 0, 4, 4}, bmp.Canvas(), {5, 2, 9, 6});
    bmp.SetSize(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(bmp.Canvas().Pixel(x, y), clBlue);
    bmp.Canvas().Brush().SetColor(clRed);
    bmp.SetSize(6, 4);
    EXPECT_EQ(bmp.Canvas().Pixel(5, 0), clRed);

    TBitmap mono(4, 1, pf1bit);
    mono.Canvas().Pen().SetColor(RGB(40, 40, 40));
    mono.Canvas().MoveTo(0, 0);
    mono.Canvas().LineTo(2, 0);
    TBitmap back;
    back.LoadFromBytes(mono.SaveToBytes());
    EXPECT_EQ(back.Canvas().Pixel(1, 0), clBlack);
    EXPECT_EQ(back.Canvas().Pixel(3, 0), clWhite);
}

TEST(Bmp, DamagedFilesRaiseAndKeepTheBitmap)
{
    TBitmap good(3, 2, pf24bit);
    good.Canvas().Brush().SetColor(clRed);
    good.Canvas().FillRect({0, 0, 3, 2});
    const auto valid = good.SaveToBytes();

    auto withHeader = [&](std::size_t at, std::uint32_t value) {
        auto b = valid;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    auto with16 = [&](std::size_t at, std::uint16_t value) {
        auto b = valid;
        b[at] = value & 0xFF, b[at + 1] = value >> 8;
        return b;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
    };
    const Case cases[] = {
        {"empty", {}},
        {"signature only", {'B', 'M'}},
        {"truncated header", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 30)},
        {"truncated pixels", std::vector<std::uint8_t>(valid.begin(), valid.end() - 3)},
        {"huge width", withHeader(18, 0x7FFFFFFF)},
        {"zero height", withHeader(22, 0)},
        {"pixel offset past the end", withHeader(10, 0xFFFFFFF0)},
        {"odd header size", withHeader(14, 41)},
        {"seven bits per pixel", with16(28, 7)},
        {"run-length compression", withHeader(30, 1)},
    };
    for (const auto& c : cases) {
        TBitmap bmp(2, 2);
        EXPECT_THROW(bmp.LoadFromBytes(c.data), EInvalidGraphic) << c.name;
        EXPECT_EQ(bmp.Width(), 2) << c.name;
    }

    // A palette index beyond the palette.
    TBitmap mono(8, 1, pf1bit);
    auto bytes = mono.SaveToBytes();
    bytes[46] = 1;  // one colour only
    bytes.back() = 0;
    bytes[bytes.size() - 4] = 0xFF;
    EXPECT_THROW(TBitmap().LoadFromBytes(bytes), EInvalidGraphic);
}

TEST(Jpeg, DecodeEncodeAndScale)
{
    const auto data = Fixture("gradient.jpg");
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(data);
    ASSERT_EQ(jpeg.Width(), 48);
    ASSERT_EQ(jpeg.Height(), 32);
    const TRasterImage original = jpeg.ToImage();
    const std::uint32_t p = original.At(10, 10);  // written as (50, 70, 200)
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 50, 8);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 70, 8);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 200, 8);
    EXPECT_EQ(jpeg.SaveToBytes(), data);  // the loaded bytes are kept as they were

    TJPEGImage again;
    again.SetCompressionQuality(90);
    again.Assign(jpeg.Bitmap());
    TJPEGImage decoded;
    decoded.LoadFromBytes(again.SaveToBytes());
    EXPECT_GT(Psnr(original, decoded.ToImage()), 35.0);

    jpeg.SetScale(jsHalf);
    EXPECT_EQ(jpeg.Width(), 24);
    EXPECT_EQ(jpeg.Height(), 16);
    const TRasterImage thumb = DecodeJpegThumbnail(data, 12, 12);
    EXPECT_EQ(thumb.Width, 12);
    EXPECT_EQ(thumb.Height, 8);
}

TEST(Jpeg, CmykAsAdobeWritesIt)
{
    // Stored inverted with the Adobe marker: no cyan, full magenta and yellow, no black.
    const TRasterImage red = DecodeJpeg(Fixture("cmyk_red.jpg"));
    ASSERT_EQ(red.Width, 8);
    const std::uint32_t p = red.At(4, 4);
    EXPECT_GT(static_cast<int>((p >> 16) & 0xFF), 240);
    EXPECT_LT(static_cast<int>((p >> 8) & 0xFF), 15);
    EXPECT_LT(static_cast<int>(p & 0xFF), 15);
}

TEST(Jpeg, DamagedDataRaises)
{
    const auto data = Fixture("gradient.jpg");
    auto garbled = data;
    for (std::size_t i = data.size() / 2; i < data.size() - 2; ++i) garbled[i] = 0xFF;
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        {0xFF, 0xD8, 0xFF},
        std::vector<std::uint8_t>(data.begin(), data.begin() + data.size() / 2),
        std::vector<std::uint8_t>(data.begin(), data.end() - 2),
        garbled,
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        TJPEGImage jpeg;
        EXPECT_THROW(jpeg.LoadFromBytes(cases[i]), EInvalidGraphic) << i;
        EXPECT_TRUE(jpeg.Empty());
    }
}

TEST(Graphic, SaveToFileReplacesTheLinkedFileAndKeepsItsMode)
{
    namespace fs = std::filesystem;
    const fs::path dir = TempPath("save_dir");
    fs::remove_all(dir);
    fs::create_directories(dir / "store");
    const fs::path target = dir / "store" / "scan.bmp";
    const fs::path link = dir / "scan.bmp";
    TBitmap(2, 2).SaveToFile(target.string());
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(target, link);

    TBitmap(7, 3).SaveToFile(link.string());
    EXPECT_TRUE(fs::is_symlink(link));
    TBitmap reread;
    reread.LoadFromFile(target.string());
    EXPECT_EQ(reread.Width(), 7);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "store"), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

TEST(Picture, LoadsByContentNotByName)
{
    const std::string path = TempPath("looks_like.bmp");
    WriteFileAtomically(path, Fixture("gradient.jpg"));
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    picture.LoadFromFile(path);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(picture.Width(), 48);
    EXPECT_GE(changes, 1);

    TBitmap bmp(5, 4);
    bmp.SaveToFile(path);
    picture.LoadFromFile(path);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
    std::remove(path.c_str());

    const std::vector<std::uint8_t> unknown = {'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_THROW(picture.LoadFromBytes(unknown), EInvalidGraphic);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
    EXPECT_THROW(picture.LoadFromFile(path + ".missing"), EFOpenError);

    // A copy reports its own changes, also after the original is gone.
    auto original = std::make_unique<TPicture>();
    original->LoadFromBytes(Fixture("gradient.jpg"));
    TPicture copy(*original);
    original.reset();
    int copyChanges = 0;
    copy.OnChange = [&](TPicture&) { ++copyChanges; };
    static_cast<TJPEGImage*>(copy.Graphic())->SetScale(jsQuarter);
    EXPECT_EQ(copyChanges, 1);
    EXPECT_EQ(copy.Width(), 12);

    // Converting to a bitmap keeps the pixels.
    picture.LoadFromBytes(Fixture("gradient.jpg"));
    const TRasterImage jpegPixels = picture.Graphic()->ToImage();
    EXPECT_EQ(picture.Bitmap().ToImage().Pixels, jpegPixels.Pixels);
}

namespace {
class TFakeGraphic : public TBitmap {
public:
    const char* ClassName() const override { return "TFakeGraphic"; }
    void LoadFromBytes(std::span<const std::uint8_t> data) override { SetSize(static_cast<int>(data.size()), 1); }
};
}  // namespace

TEST(GraphicRegistry, LaterFormatsJoin)
{
    RegisterGraphicFormat({"TFakeGraphic", "fak", "Fake images", [] { return std::make_unique<TFakeGraphic>(); },
                           [](std::span<const std::uint8_t> d) { return d.size() >= 4 && d[0] == 'F' && d[1] == 'A' && d[2] == 'K' && d[3] == 'E'; }});
    TPicture picture;
    const std::vector<std::uint8_t> fake = {'F', 'A', 'K', 'E', 0, 0};
    picture.LoadFromBytes(fake);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TFakeGraphic");
    EXPECT_EQ(picture.Width(), 6);
    EXPECT_NE(CreateGraphicForExtension("FAK"), nullptr);
    EXPECT_NE(CreateGraphicByClassName("TJPEGImage"), nullptr);
    UnregisterGraphicClass("TFakeGraphic");
    EXPECT_THROW(picture.LoadFromBytes(fake), EInvalidGraphic);
    EXPECT_EQ(CreateGraphicForExtension(".fak"), nullptr);
}

TEST(PrinterCanvas, DrawsPagesAtThePrinterResolution)
{
    const std::string path = TempPath("page.pdf");
    {
        EnsureGuiApplication();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        TPrinterCanvas canvas(&printer);
        EXPECT_EQ(canvas.PixelsPerInchX(), printer.resolution());
        EXPECT_GT(canvas.PageWidth(), 1000);
        EXPECT_EQ(canvas.Font().PixelsPerInch(), printer.resolution());
        canvas.Font().SetName("Arial");
        canvas.Font().SetSize(12);
        canvas.TextOut(100, 100, "Page one");
        canvas.Rectangle(50, 50, 500, 300);
        canvas.NewPage();
        canvas.TextOut(100, 100, "Page two");
        canvas.EndDoc();
    }
    // Without a job: measuring at the printer's resolution, drawing ignored, hooks still run.
    TPrinterCanvas idle;
    idle.SetResolution(600, 600);
    idle.Font().SetName("Arial");
    idle.Font().SetSize(10);
    EXPECT_EQ(idle.TextWidth("Hello, World"), 450);
    int changing = 0;
    idle.OnChanging = [&](TCanvas&) { ++changing; };
    idle.Rectangle(0, 0, 10, 10);
    idle.TextOut(0, 0, "x");
    EXPECT_EQ(changing, 2);
    EXPECT_FALSE(idle.Printing());

    const auto pdf = ReadFileBytes(path);
    ASSERT_GT(pdf.size(), 100u);
    EXPECT_EQ(std::string(pdf.begin(), pdf.begin() + 4), "%PDF");
    std::remove(path.c_str());
}
