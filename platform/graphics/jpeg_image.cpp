#include "platform/graphics/jpeg_image.h"

#include <QImage>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg reports errors through a callback that must not return; we jump back to the call
// site and raise there. Warnings (a truncated stream among them) count as errors too: the
// library would otherwise hand back an image with grey where the data was missing.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) onError(cinfo);  // a warning: corrupt or truncated data
}

void setupErrors(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.message[0] = 0;
}

constexpr long long kMaxPixels = 1LL << 28;

// Decodes into out; returns false with err.message set on failure. Kept free of objects with
// destructors between setjmp and the jumps, as longjmp skips them.
bool decodeInto(std::span<const std::uint8_t> data, int denominator, TRasterImage& out, ErrorManager& err,
                bool headerOnly)
{
    jpeg_decompress_struct cinfo;
    setupErrors(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (headerOnly) {
        out.Width = static_cast<int>(cinfo.image_width);
        out.Height = static_cast<int>(cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(denominator);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    if (denominator > 1) cinfo.dct_method = JDCT_IFAST;
    jpeg_calc_output_dimensions(&cinfo);
    if (static_cast<long long>(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
        std::snprintf(err.message, sizeof err.message, "image of %u x %u is too large", cinfo.output_width,
                      cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    out.Width = static_cast<int>(cinfo.output_width);
    out.Height = static_cast<int>(cinfo.output_height);
    out.HasAlpha = false;
    out.Pixels.assign(static_cast<std::size_t>(out.Width) * out.Height, 0xFF000000u);
    while (cinfo.output_scanline < cinfo.output_height) {
        auto* row = reinterpret_cast<JSAMPROW>(&out.Pixels[static_cast<std::size_t>(cinfo.output_scanline) * out.Width]);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    const bool adobe = cinfo.saw_Adobe_marker;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (cmyk) {
        // Adobe applications store CMYK inverted (0 = full ink); each pixel's four bytes
        // become BGRA in place.
        for (auto& p : out.Pixels) {
            std::uint8_t c = p & 0xFF, m = (p >> 8) & 0xFF, y = (p >> 16) & 0xFF, k = p >> 24;
            if (!adobe) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            const std::uint32_t r = c * k / 255, g = m * k / 255, b = y * k / 255;
            p = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return true;
}

bool encodeInto(const TRasterImage& image, int quality, unsigned char** buffer, unsigned long* size, ErrorManager& err)
{
    jpeg_compress_struct cinfo;
    setupErrors(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(image.Width);
    cinfo.image_height = static_cast<JDIMENSION>(image.Height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = const_cast<JSAMPROW>(
            reinterpret_cast<const JSAMPLE*>(&image.Pixels[static_cast<std::size_t>(cinfo.next_scanline) * image.Width]));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

int denominatorOf(TJPEGScale scale) { return 1 << static_cast<int>(scale); }

}  // namespace

TRasterImage DecodeJpeg(std::span<const std::uint8_t> data, int scaleDenominator)
{
    if (scaleDenominator != 1 && scaleDenominator != 2 && scaleDenominator != 4 && scaleDenominator != 8)
        throw EInvalidArgument("JPEG scale must be 1, 2, 4 or 8");
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) throw EInvalidGraphic("JPEG error #0: not a JPEG file");
    TRasterImage out;
    ErrorManager err;
    if (!decodeInto(data, scaleDenominator, out, err, false))
        throw EInvalidGraphic(std::string("JPEG image is not valid: ") + err.message);
    return out;
}

TSize JpegImageSize(std::span<const std::uint8_t> data)
{
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) throw EInvalidGraphic("JPEG error #0: not a JPEG file");
    TRasterImage out;
    ErrorManager err;
    if (!decodeInto(data, 1, out, err, true)) throw EInvalidGraphic(std::string("JPEG image is not valid: ") + err.message);
    return {out.Width, out.Height};
}

std::vector<std::uint8_t> EncodeJpeg(const TRasterImage& image, int quality)
{
    if (image.IsEmpty()) throw EInvalidGraphicOperation("cannot encode an empty image as JPEG");
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ErrorManager err;
    const bool ok = encodeInto(image, std::clamp(quality, 1, 100), &buffer, &size, err);
    std::vector<std::uint8_t> out;
    if (ok) out.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok) throw EInvalidGraphicOperation(std::string("JPEG encoding failed: ") + err.message);
    return out;
}

TRasterImage DecodeJpegThumbnail(std::span<const std::uint8_t> data, int maxWidth, int maxHeight)
{
    const TSize size = JpegImageSize(data);
    if (size.cx <= 0 || size.cy <= 0 || maxWidth <= 0 || maxHeight <= 0) return {};
    const double fit = std::min(static_cast<double>(maxWidth) / size.cx, static_cast<double>(maxHeight) / size.cy);
    const int w = std::max(1, static_cast<int>(size.cx * std::min(fit, 1.0) + 0.5));
    const int h = std::max(1, static_cast<int>(size.cy * std::min(fit, 1.0) + 0.5));
    int denominator = 8;
    // libjpeg rounds scaled sizes up, so a quotient at least as large as the target will do.
    while (denominator > 1 && ((size.cx + denominator - 1) / denominator < w || (size.cy + denominator - 1) / denominator < h))
        denominator /= 2;
    TRasterImage decoded = DecodeJpeg(data, denominator);
    if (decoded.Width == w && decoded.Height == h) return decoded;
    const QImage source(reinterpret_cast<const uchar*>(decoded.Pixels.data()), decoded.Width, decoded.Height,
                        decoded.Width * 4, QImage::Format_RGB32);
    const QImage scaled = source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32);
    TRasterImage out(w, h);
    for (int y = 0; y < h; ++y)
        std::memcpy(&out.Pixels[static_cast<std::size_t>(y) * w], scaled.constScanLine(y), static_cast<std::size_t>(w) * 4);
    return out;
}

TJPEGImage::TJPEGImage() = default;
TJPEGImage::TJPEGImage(const TJPEGImage& other)
    : TGraphic(other), data_(other.data_), bitmap_(other.bitmap_), quality_(other.quality_), scale_(other.scale_)
{
}
TJPEGImage::~TJPEGImage() = default;

std::unique_ptr<TGraphic> TJPEGImage::Clone() const { return std::make_unique<TJPEGImage>(*this); }
bool TJPEGImage::Empty() const { return bitmap_.Empty(); }
int TJPEGImage::Width() const { return bitmap_.Width(); }
int TJPEGImage::Height() const { return bitmap_.Height(); }
void TJPEGImage::Draw(TCanvas& canvas, const TRect& r) const { bitmap_.Draw(canvas, r); }
TRasterImage TJPEGImage::ToImage() const { return bitmap_.ToImage(); }

void TJPEGImage::SetCompressionQuality(int quality) { quality_ = std::clamp(quality, 1, 100); }

void TJPEGImage::SetScale(TJPEGScale scale)
{
    if (scale == scale_) return;
    scale_ = scale;
    if (!data_.empty()) {
        bitmap_.AssignImage(DecodeJpeg(data_, denominatorOf(scale_)));
        Changed();
    }
}

void TJPEGImage::Assign(const TGraphic& source)
{
    if (&source == this) return;
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        data_ = jpeg->data_;
        bitmap_.Assign(jpeg->bitmap_);
        quality_ = jpeg->quality_;
        scale_ = jpeg->scale_;
        Changed();
        return;
    }
    TRasterImage image = source.ToImage();
    image.HasAlpha = false;
    std::vector<std::uint8_t> encoded = EncodeJpeg(image, quality_);
    TRasterImage decoded = DecodeJpeg(encoded, denominatorOf(scale_));
    data_ = std::move(encoded);
    bitmap_.AssignImage(decoded);
    Changed();
}

void TJPEGImage::LoadFromBytes(std::span<const std::uint8_t> data)
{
    TRasterImage decoded = DecodeJpeg(data, denominatorOf(scale_));
    data_.assign(data.begin(), data.end());
    bitmap_.AssignImage(decoded);
    Changed();
}

std::vector<std::uint8_t> TJPEGImage::SaveToBytes() const { return data_; }
