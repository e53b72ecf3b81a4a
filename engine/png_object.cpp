#include "engine/png_object.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/graphics/canvas.h"
#include "platform/graphics/raster_canvas.h"

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t argbOfQuad(const TPngRGBQuad& q) {
    return 0xFF000000u | (std::uint32_t{q.Red} << 16) | (std::uint32_t{q.Green} << 8) | q.Blue;
}

std::uint32_t argbOfColor(TColor c) {
    return 0xFF000000u | (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) |
           std::uint32_t(GetBValue(c));
}

TColor colorOfArgb(std::uint32_t p) {
    return RGB(int(p >> 16) & 0xFF, int(p >> 8) & 0xFF, int(p) & 0xFF);
}

unsigned heldIndex(const std::uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF;
    default:
        return row[x];
    }
}

void setHeldIndex(std::uint8_t* row, int x, int bits, unsigned v) {
    switch (bits) {
    case 1: {
        const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>(v & 1 ? row[x >> 3] | mask : row[x >> 3] & ~mask);
        break;
    }
    case 4: {
        const int shift = x & 1 ? 0 : 4;
        row[x >> 1] =
            static_cast<std::uint8_t>((row[x >> 1] & ~(0xF << shift)) | ((v & 0xF) << shift));
        break;
    }
    default:
        row[x] = static_cast<std::uint8_t>(v);
        break;
    }
}

void resetGamma(std::array<std::uint8_t, 256>& gamma, std::array<std::uint8_t, 256>& inverse) {
    for (int i = 0; i < 256; ++i)
        gamma[static_cast<std::size_t>(i)] = inverse[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(i);
}

} // namespace

TPNGObject::TPNGObject() {
    resetGamma(gammaTable_, inverseGammaTable_);
}

TPNGObject::TPNGObject(const TPNGObject& other) : TGraphic(other) {
    resetGamma(gammaTable_, inverseGammaTable_);
    // A new copy tells nobody: the handler it inherited belongs to the original's owner.
    auto handler = std::move(OnChange);
    OnChange = nullptr;
    CopyFrom(other);
    OnChange = std::move(handler);
}

TPNGObject::~TPNGObject() = default;

std::unique_ptr<TGraphic> TPNGObject::Clone() const {
    return std::make_unique<TPNGObject>(*this);
}

int TPNGObject::Width() const {
    return HasHeader() ? HeaderChunk().Width() : 0;
}
int TPNGObject::Height() const {
    return HasHeader() ? HeaderChunk().Height() : 0;
}
void TPNGObject::SetWidth(int width) {
    ResizeImage(width, Height());
}
void TPNGObject::SetHeight(int height) {
    ResizeImage(Width(), height);
}

bool TPNGObject::HasHeader() const {
    return dynamic_cast<TChunkIHDR*>(chunks_.Item(0)) != nullptr;
}

TChunkIHDR& TPNGObject::HeaderChunk() const {
    auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
    if (!header) throw EPNGHeaderNotPresent(png_messages::HeaderNotPresent);
    return *header;
}

void TPNGObject::ClearChunks() {
    chunks_.Clear();
    resetGamma(gammaTable_, inverseGammaTable_);
}

// ---- file

void TPNGObject::LoadFromBytes(std::span<const std::uint8_t> data) {
    ClearChunks();
    TPngInput in(data);
    const auto signature = in.TakeUpTo(8);
    if (signature.size() != 8 || !std::equal(signature.begin(), signature.end(), kSignature))
        throw EPNGInvalidFileHeader(png_messages::InvalidFileHeader);

    // Whatever happens, the chunks read so far stay and the flags follow them.
    try {
        ReadChunks(in);
    } catch (...) {
        SetTransparent(TransparencyMode() != ptmNone);
        Changed();
        throw;
    }
    SetTransparent(TransparencyMode() != ptmNone);
    Changed();
}

void TPNGObject::ReadChunks(TPngInput& in) {
    bool first = true;
    bool imageData = false;
    for (;;) {
        if (in.Remaining() == 0) throw EPngUnexpectedEnd(png_messages::UnexpectedEnd);
        const std::uint32_t length = in.ReadU32();
        const auto typeBytes = in.Take(4);
        const std::string type(reinterpret_cast<const char*>(typeBytes.data()), 4);
        if (first && type != "IHDR") throw EPNGIHDRNotFirst(png_messages::IHDRNotFirst);
        // A second header would describe an image nobody decodes into.
        if (!first && type == "IHDR") throw EPngInvalidIHDR(png_messages::InvalidIHDR);
        first = false;
        // The data and its CRC must lie within the file.
        if (length > in.Remaining() || in.Remaining() - length < 4)
            throw EPngUnexpectedEnd(png_messages::UnexpectedEnd);
        if (type == "cHRM" || (type == "IDAT" && imageData)) {
            in.Skip(std::size_t{length} + 4);
            continue;
        }
        TChunk* chunk = chunks_.Add(ChunkForName(this, type));
        if (typeid(*chunk) == typeid(TChunk) && type[0] >= 'A' && type[0] <= 'Z')
            throw EPNGUnknownCriticalChunk(png_messages::UnknownCriticalChunk);
        const bool more = chunk->ReadChunk(in, type, length);
        if (chunk->Discarded()) chunks_.Remove(chunk);
        if (type == "IDAT") imageData = true;
        if (!more || type == "IEND") break;
    }
    if (!imageData) throw EPNGNoImageData(png_messages::NoImageData);
}

std::vector<std::uint8_t> TPNGObject::SaveToBytes() const {
    std::vector<std::uint8_t> out(std::begin(kSignature), std::end(kSignature));
    for (const auto& chunk : chunks_)
        chunk->WriteChunk(out);
    return out;
}

// ---- copying and conversion

void TPNGObject::CopyFrom(const TPNGObject& source) {
    if (&source == this) return;
    interlaceMethod_ = source.interlaceMethod_;
    maxIdatSize_ = std::max(65535, source.maxIdatSize_);
    compressionLevel_ = source.compressionLevel_;
    filters_ = source.filters_;
    ClearChunks();
    // The image holds its colours through the gamma of its file; saving it again needs the
    // same tables.
    gammaTable_ = source.gammaTable_;
    inverseGammaTable_ = source.inverseGammaTable_;
    for (const auto& chunk : source.chunks_) {
        TChunk* copy = chunks_.Add(chunk->CreateSame(this));
        copy->Assign(*chunk);
    }
    SetTransparent(source.Transparent());
    Changed();
}

void TPNGObject::Assign(const TGraphic& source) {
    if (const auto* png = dynamic_cast<const TPNGObject*>(&source)) {
        CopyFrom(*png);
    } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        AssignBitmapHandle(*bitmap, bitmap->Transparent(), ColorToRGB(bitmap->TransparentColor()));
    } else {
        TGraphic::Assign(source);
    }
}

void TPNGObject::AssignBitmapHandle(const TBitmap& bitmap, bool transparent, TColor color) {
    const int width = bitmap.Width(), height = bitmap.Height();
    if (width > 65535 || height > 65535) throw EPNGSizeExceeds(png_messages::SizeExceeds);
    ClearChunks();
    if (width < 1 || height < 1) {
        Changed();
        return;
    }
    const bool mono = bitmap.PixelFormat() == pf1bit;
    auto header = std::make_unique<TChunkIHDR>(this);
    header->Header = {static_cast<std::uint32_t>(width),
                      static_cast<std::uint32_t>(height),
                      static_cast<std::uint8_t>(mono ? 1 : 8),
                      mono ? COLOR_PALETTE : COLOR_RGB,
                      0,
                      0,
                      0};
    header->PrepareImageData();
    if (mono) {
        const auto palette = bitmap.MonochromePalette();
        for (int i = 0; i < 2; ++i) {
            const TColor c = ColorToRGB(palette[static_cast<std::size_t>(i)]);
            header->Colors()[static_cast<std::size_t>(i)] = {
                static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
                static_cast<std::uint8_t>(GetRValue(c)), 0};
        }
        const std::uint32_t one = argbOfQuad(header->Colors()[1]) & 0xFFFFFF;
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* src = bitmap.ScanLine(y);
            std::uint8_t* dst = header->Scanline(y);
            for (int x = 0; x < width; ++x)
                setHeldIndex(dst, x, 1, (src[x] & 0xFFFFFF) == one ? 1 : 0);
        }
    } else {
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* src = bitmap.ScanLine(y);
            std::uint8_t* dst = header->Scanline(y);
            for (int x = 0; x < width; ++x, dst += 3) {
                dst[0] = static_cast<std::uint8_t>(src[x]);
                dst[1] = static_cast<std::uint8_t>(src[x] >> 8);
                dst[2] = static_cast<std::uint8_t>(src[x] >> 16);
            }
        }
    }
    chunks_.Add(std::move(header));
    if (mono) {
        auto* plte = static_cast<TChunkPLTE*>(chunks_.Add(std::make_unique<TChunkPLTE>(this)));
        plte->SetCount(2);
    }
    if (transparent)
        static_cast<TChunktRNS*>(chunks_.Add(std::make_unique<TChunktRNS>(this)))
            ->BuildForColor(color);
    chunks_.Add(std::make_unique<TChunkIDAT>(this));
    chunks_.Add(std::make_unique<TChunkIEND>(this));
    SetTransparent(TransparencyMode() != ptmNone);
    Changed();
}

void TPNGObject::AssignTo(TBitmap& dest) const {
    const auto& header = HeaderChunk();
    const auto mode = TransparencyMode();
    TPixelFormat format = pf24bit;
    if (mode != ptmPartial) {
        switch (header.Header.BitDepth) {
        case 1:
            format = pf1bit;
            break;
        case 2:
        case 4:
            format = pf4bit;
            break;
        default:
            format = header.Header.ColorType == COLOR_PALETTE ? pf8bit : pf24bit;
            break;
        }
    }
    dest.SetPixelFormat(format);
    if (format == pf1bit)
        dest.SetMonochromePalette({colorOfArgb(argbOfQuad(header.Colors()[0])),
                                   colorOfArgb(argbOfQuad(header.Colors()[1]))});
    dest.SetSize(Width(), Height());
    Draw(dest.Canvas(), Rect(0, 0, Width(), Height()));
    if (mode == ptmBit) {
        dest.SetTransparentColor(TransparentColor());
        dest.SetTransparent(true);
    }
}

// ---- transparency and pixels

TPNGTransparencyMode TPNGObject::TransparencyMode() const {
    if (!HasHeader()) return ptmNone;
    const auto* trns = chunks_.FirstOfClass<TChunktRNS>();
    switch (HeaderChunk().Header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB:
        return trns ? ptmBit : ptmNone;
    case COLOR_PALETTE:
        return !trns ? ptmNone : trns->BitTransparency ? ptmBit : ptmPartial;
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA:
        return ptmPartial;
    default:
        return ptmNone;
    }
}

TColor TPNGObject::TransparentColor() const {
    const auto* trns = chunks_.FirstOfClass<TChunktRNS>();
    return trns && HasHeader() ? trns->ReadKeyColor() : 0;
}

TRasterImage TPNGObject::Pixels() const {
    if (!HasHeader()) return {};
    const auto& header = HeaderChunk();
    const int w = header.Width(), h = header.Height(), bits = header.BitsPerPixel();
    TRasterImage image(w, h);
    const auto mode = TransparencyMode();
    const auto* trns = chunks_.FirstOfClass<TChunktRNS>();
    std::uint32_t lut[256];
    if (header.HasPalette()) {
        for (int i = 0; i < 256; ++i) {
            std::uint32_t p = argbOfQuad(header.Colors()[static_cast<std::size_t>(i)]);
            if (mode == ptmPartial && header.Header.ColorType == COLOR_PALETTE && trns)
                p = (p & 0xFFFFFF) |
                    (std::uint32_t{trns->PaletteValues[static_cast<std::size_t>(i)]} << 24);
            lut[i] = p;
        }
    }
    const bool alphaPlane = header.HasAlpha();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = header.Scanline(y);
        std::uint32_t* dst = &image.Pixels[static_cast<std::size_t>(y) * w];
        if (bits == 24) {
            for (int x = 0; x < w; ++x, src += 3)
                dst[x] = 0xFF000000u | (std::uint32_t{src[2]} << 16) |
                         (std::uint32_t{src[1]} << 8) | src[0];
        } else if (bits == 8) {
            for (int x = 0; x < w; ++x)
                dst[x] = lut[src[x]];
        } else {
            for (int x = 0; x < w; ++x)
                dst[x] = lut[heldIndex(src, x, bits)];
        }
        if (alphaPlane) {
            const std::uint8_t* a = header.AlphaScanline(y);
            for (int x = 0; x < w; ++x)
                dst[x] = (dst[x] & 0xFFFFFF) | (std::uint32_t{a[x]} << 24);
        }
    }
    image.HasAlpha = mode != ptmNone;
    if (mode == ptmBit) {
        const std::uint32_t key = argbOfColor(TransparentColor()) & 0xFFFFFF;
        for (auto& p : image.Pixels)
            if ((p & 0xFFFFFF) == key) p &= 0xFFFFFF;
    }
    return image;
}

TRasterImage TPNGObject::ToImage() const {
    return Pixels();
}

void TPNGObject::Draw(TCanvas& canvas, const TRect& r) const {
    if (Empty() || !HasHeader()) return;
    try {
        if (TransparencyMode() == ptmPartial)
            DrawBlended(canvas, r);
        else
            canvas.DrawImage(r, std::make_shared<TRasterImage>(Pixels()));
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory(png_messages::OutMemory);
    }
}

void TPNGObject::DrawBlended(TCanvas& canvas, TRect r) const {
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
    if (r.IsEmpty()) return;
    const TRasterImage image = Pixels();
    const int rw = r.Width(), rh = r.Height();
    const bool sameSize = rw == image.Width && rh == image.Height;
    auto source = [&](int x, int y) {
        if (sameSize) return image.At(x, y);
        return image.At(static_cast<int>(std::int64_t{x} * image.Width / rw),
                        static_cast<int>(std::int64_t{y} * image.Height / rh));
    };
    auto* raster = dynamic_cast<TRasterCanvas*>(&canvas);
    if (!raster) {
        // Canvases without pixels of their own (printer, recording) blend as they draw.
        auto sampled = std::make_shared<TRasterImage>(rw, rh);
        sampled->HasAlpha = true;
        for (int y = 0; y < rh; ++y)
            for (int x = 0; x < rw; ++x)
                sampled->At(x, y) = source(x, y);
        canvas.DrawImage(r, std::move(sampled));
        return;
    }
    const bool rgbAlpha = HeaderChunk().Header.ColorType == COLOR_RGBALPHA;
    const int x0 = std::max(r.Left, 0), y0 = std::max(r.Top, 0);
    const int x1 = std::min(r.Right, raster->Width()), y1 = std::min(r.Bottom, raster->Height());
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t p = source(x - r.Left, y - r.Top);
            const unsigned a = p >> 24;
            if (rgbAlpha && a == 0) continue;
            if (rgbAlpha && a == 255) {
                raster->SetPixel(x, y, colorOfArgb(p));
                continue;
            }
            const TColor d = raster->Pixel(x, y);
            auto blend = [a](unsigned s, unsigned t) {
                return static_cast<int>((s * a + (255 - a) * t + 255) >> 8);
            };
            raster->SetPixel(x, y,
                             RGB(blend((p >> 16) & 0xFF, unsigned(GetRValue(d))),
                                 blend((p >> 8) & 0xFF, unsigned(GetGValue(d))),
                                 blend(p & 0xFF, unsigned(GetBValue(d)))));
        }
    }
}

TColor TPNGObject::GetPixelColor(int x, int y) const {
    if (!HasHeader()) return 0;
    const auto& header = HeaderChunk();
    if (x < 0 || y < 0 || x >= header.Width() || y >= header.Height()) return 0;
    const std::uint8_t* row = header.Scanline(y);
    switch (header.Header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
        return colorOfArgb(argbOfQuad(header.Colors()[heldIndex(row, x, header.BitsPerPixel())]));
    case COLOR_GRAYSCALEALPHA:
        return RGB(row[x], row[x], row[x]);
    default:
        return RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    }
}

void TPNGObject::SetPixelColor(int x, int y, TColor color) {
    if (!HasHeader()) return;
    auto& header = HeaderChunk();
    if (x < 0 || y < 0 || x >= header.Width() || y >= header.Height()) return;
    color = ColorToRGB(color);
    std::uint8_t* row = header.Scanline(y);
    switch (header.Header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE: {
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < header.ColorCount(); ++i) {
            const auto& q = header.Colors()[static_cast<std::size_t>(i)];
            const int dr = q.Red - GetRValue(color), dg = q.Green - GetGValue(color),
                      db = q.Blue - GetBValue(color);
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) best = i, bestDistance = distance;
        }
        setHeldIndex(row, x, header.BitsPerPixel(), static_cast<unsigned>(best));
        break;
    }
    case COLOR_GRAYSCALEALPHA:
        row[x] = static_cast<std::uint8_t>(GetRValue(color));
        break;
    default:
        row[x * 3] = static_cast<std::uint8_t>(GetBValue(color));
        row[x * 3 + 1] = static_cast<std::uint8_t>(GetGValue(color));
        row[x * 3 + 2] = static_cast<std::uint8_t>(GetRValue(color));
        break;
    }
    Changed();
}

void TPNGObject::ResizeImage(int width, int height) {
    if (width < 1 || height < 1) throw EPNGInvalidNewSize(png_messages::InvalidNewSize);
    if (width > 65535 || height > 65535) throw EPNGSizeExceeds(png_messages::SizeExceeds);
    auto& header = HeaderChunk();
    const int oldWidth = header.Width(), oldHeight = header.Height(), oldRow = header.BytesPerRow();
    const int newRow = (header.BitsPerPixel() * width + 31) / 32 * 4;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(newRow) * height, 0);
    const int rows = std::min(oldHeight, height);
    // Rows are held bottom-up; the image stays anchored at its top-left corner.
    for (int y = 0; y < rows; ++y)
        std::memcpy(&data[static_cast<std::size_t>(height - 1 - y) * newRow], header.Scanline(y),
                    static_cast<std::size_t>(std::min(oldRow, newRow)));
    std::vector<std::uint8_t> alpha;
    if (header.HasAlpha()) {
        alpha.assign(static_cast<std::size_t>(width) * height, 255);
        for (int y = 0; y < rows; ++y)
            std::memcpy(&alpha[static_cast<std::size_t>(y) * width], header.AlphaScanline(y),
                        static_cast<std::size_t>(std::min(oldWidth, width)));
    }
    header.ReplaceImage(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                        std::move(data), std::move(alpha));
    Changed();
}

// ---- registration

void RegisterPNGGraphicClass() {
    RegisterStandardChunks();
    for (const auto& f : GraphicFormats())
        if (f.ClassName == "TPNGObject") return;
    RegisterGraphicFormat({"TPNGObject", "PNG", "Portable Network Graphics",
                           [] { return std::make_unique<TPNGObject>(); },
                           [](std::span<const std::uint8_t> d) {
                               return d.size() >= 8 &&
                                      std::equal(d.begin(), d.begin() + 8, kSignature);
                           }});
}

void UnregisterPNGGraphicClass() {
    UnregisterGraphicClass("TPNGObject");
    FreeChunkRegistry();
}
