#include "engine/png_chunks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/png_errors.h"
#include "engine/png_object.h"
#include "engine/png_zlib_p.h"
#include "platform/core/numbers.h"

namespace {

// Whatever the file claims, no image may need more memory than this.
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;
// Deflate cannot expand data by more than about 1032:1; a header whose image could not fit in
// what is left of the file is refused before anything is allocated.
constexpr std::uint64_t kMaxDeflateRatio = 1100;
// zTXt text is inflated up to this size and no further.
constexpr std::size_t kMaxTextBytes = std::size_t{16} << 20;

std::uint32_t readU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void appendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t b[4];
    putU32(b, v);
    out.insert(out.end(), b, b + 4);
}

TColor quadColor(const TPngRGBQuad& q) {
    return RGB(q.Red, q.Green, q.Blue);
}

// Bits per pixel held for a colour type and depth; 0 when the format forbids the combination.
int heldBitsPerPixel(std::uint8_t colorType, std::uint8_t depth) {
    switch (colorType) {
    case COLOR_GRAYSCALE:
        switch (depth) {
        case 1:
            return 1;
        case 2:
        case 4:
            return 4;
        case 8:
        case 16:
            return 8;
        default:
            return 0;
        }
    case COLOR_PALETTE:
        switch (depth) {
        case 1:
            return 1;
        case 2:
        case 4:
            return 4;
        case 8:
            return 8;
        default:
            return 0;
        }
    case COLOR_RGB:
    case COLOR_RGBALPHA:
        return depth == 8 || depth == 16 ? 24 : 0;
    case COLOR_GRAYSCALEALPHA:
        return depth == 8 || depth == 16 ? 8 : 0;
    default:
        return 0;
    }
}

TPngRGBQuad gammaQuad(const TPNGObject& owner, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const auto& gamma = owner.GammaTable();
    return {gamma[b], gamma[g], gamma[r], 0};
}

} // namespace

// ---- input and CRC

std::span<const std::uint8_t> TPngInput::TakeUpTo(std::size_t n) {
    n = std::min(n, Remaining());
    auto part = data_.subspan(pos_, n);
    pos_ += n;
    return part;
}

std::span<const std::uint8_t> TPngInput::Take(std::size_t n) {
    if (n > Remaining()) throw EPngUnexpectedEnd(png_messages::UnexpectedEnd);
    return TakeUpTo(n);
}

std::uint32_t TPngInput::ReadU32() {
    return readU32(Take(4).data());
}

namespace {
// The standard table plus three derived ones, so the CRC goes four bytes per step.
struct CrcTable {
    std::uint32_t entries[4][256];
    CrcTable() {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[0][n] = c;
        }
        for (int k = 1; k < 4; ++k)
            for (std::uint32_t n = 0; n < 256; ++n)
                entries[k][n] = (entries[k - 1][n] >> 8) ^ entries[0][entries[k - 1][n] & 0xFF];
    }
};
const CrcTable& crcTable() {
    static const CrcTable table;
    return table;
}
} // namespace

std::uint32_t UpdateCRC(std::uint32_t crc, const std::uint8_t* buffer, std::size_t count) {
    const auto& t = crcTable().entries;
    for (; count >= 4; count -= 4, buffer += 4) {
        crc ^= std::uint32_t{buffer[0]} | (std::uint32_t{buffer[1]} << 8) |
               (std::uint32_t{buffer[2]} << 16) | (std::uint32_t{buffer[3]} << 24);
        crc =
            t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
    }
    for (; count > 0; --count)
        crc = t[0][(crc ^ *buffer++) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t ChunkCRC(std::string_view type, std::span<const std::uint8_t> data) {
    std::uint32_t crc =
        UpdateCRC(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(type.data()), type.size());
    return ~UpdateCRC(crc, data.data(), data.size());
}

// ---- TChunk

TChunk::TChunk(TPNGObject* owner, std::string_view name) : owner_(owner) {
    if (name.size() == 4) name_ = name;
}

TChunk::~TChunk() = default;

std::unique_ptr<TChunk> TChunk::CreateSame(TPNGObject* owner) const {
    return std::make_unique<TChunk>(owner);
}

void TChunk::CopyChunk(const TChunk& source) {
    name_ = source.name_;
    data_ = source.data_;
}

void TChunk::Assign(const TChunk& source) {
    CopyChunk(source);
}

bool TChunk::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    auto bytes = stream.Take(size);
    data_.assign(bytes.begin(), bytes.end());
    const std::uint32_t stored = stream.ReadU32();
    if (ChunkCRC(type, data_) != stored) throw EPngInvalidCRC(png_messages::InvalidCRC);
    return true;
}

void TChunk::WriteRaw(std::vector<std::uint8_t>& out) const {
    appendU32(out, DataSize());
    out.insert(out.end(), name_.begin(), name_.end());
    out.insert(out.end(), data_.begin(), data_.end());
    appendU32(out, ChunkCRC(name_, data_));
}

bool TChunk::WriteChunk(std::vector<std::uint8_t>& out) {
    WriteRaw(out);
    return true;
}

// ---- IEND

bool TChunkIEND::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    data_.clear();
    return true;
}

bool TChunkIEND::WriteChunk(std::vector<std::uint8_t>& out) {
    data_.clear();
    WriteRaw(out);
    return true;
}

// ---- IHDR

bool TChunkIHDR::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() < 13) throw EPngInvalidIHDR(png_messages::InvalidIHDR);
    TPngHeaderData h;
    h.Width = readU32(&data_[0]);
    h.Height = readU32(&data_[4]);
    h.BitDepth = data_[8];
    h.ColorType = data_[9];
    h.CompressionMethod = data_[10];
    h.FilterMethod = data_[11];
    h.InterlaceMethod = data_[12];
    if (h.Width > 65535 || h.Height > 65535) throw EPNGSizeExceeds(png_messages::SizeExceeds);
    if (h.CompressionMethod != 0) throw EPNGUnknownCompression(png_messages::UnknownCompression);
    if (h.InterlaceMethod > 1) throw EPNGUnknownInterlace(png_messages::UnknownInterlace);
    const int bits = heldBitsPerPixel(h.ColorType, h.BitDepth);
    if (h.Width == 0 || h.Height == 0 || bits == 0)
        throw EPngInvalidIHDR(png_messages::InvalidIHDR);

    const std::uint64_t dibBytes = (std::uint64_t{h.Width} * bits + 31) / 32 * 4 * h.Height;
    const std::uint64_t alphaBytes =
        h.ColorType == COLOR_GRAYSCALEALPHA || h.ColorType == COLOR_RGBALPHA
            ? std::uint64_t{h.Width} * h.Height
            : 0;
    // Drawing turns every pixel into 32 bits, however few the file holds.
    const std::uint64_t drawnBytes = std::uint64_t{h.Width} * h.Height * 4;
    if (std::max(dibBytes + alphaBytes, drawnBytes) > kMaxImageBytes)
        throw EPNGSizeExceeds(png_messages::SizeExceeds);
    const std::uint64_t rawBytes =
        (std::uint64_t{h.Width} * h.BitDepth * PngSamplesPerPixel(h.ColorType) + 7) / 8 * h.Height;
    if (rawBytes > (stream.Remaining() + 1) * kMaxDeflateRatio)
        throw EPngUnexpectedEnd(png_messages::UnexpectedEnd);

    Header = h;
    Owner().SetInterlaceMethod(h.InterlaceMethod);
    PrepareImageData();
    return true;
}

bool TChunkIHDR::WriteChunk(std::vector<std::uint8_t>& out) {
    if (Header.BitDepth == 2) Header.BitDepth = 4;
    data_.assign(13, 0);
    putU32(&data_[0], Header.Width);
    putU32(&data_[4], Header.Height);
    data_[8] = Header.BitDepth;
    data_[9] = Header.ColorType;
    data_[10] = Header.CompressionMethod;
    data_[11] = Header.FilterMethod;
    data_[12] = Owner().InterlaceMethod();
    WriteRaw(out);
    return true;
}

void TChunkIHDR::Assign(const TChunk& source) {
    const auto* src = dynamic_cast<const TChunkIHDR*>(&source);
    if (!src) throw EPngError(png_messages::IncompatibleChunks);
    CopyChunk(source);
    Header = src->Header;
    bitsPerPixel_ = src->bitsPerPixel_;
    bytesPerRow_ = src->bytesPerRow_;
    hasPalette_ = src->hasPalette_;
    colors_ = src->colors_;
    imageData_ = src->imageData_;
    imageAlpha_ = src->imageAlpha_;
}

void TChunkIHDR::MakeGreyRamp() {
    const int levels = 1 << bitsPerPixel_;
    const auto& gamma = Owner().GammaTable();
    for (int i = 0; i < levels; ++i) {
        const auto v = gamma[static_cast<std::size_t>(MulDiv(i, 255, levels - 1))];
        colors_[static_cast<std::size_t>(i)] = {v, v, v, 0};
    }
}

void TChunkIHDR::PrepareImageData() {
    bitsPerPixel_ = heldBitsPerPixel(Header.ColorType, Header.BitDepth);
    bytesPerRow_ = (bitsPerPixel_ * Width() + 31) / 32 * 4;
    hasPalette_ = bitsPerPixel_ <= 8;
    imageData_.assign(static_cast<std::size_t>(bytesPerRow_) * Height(), 0);
    if (HasAlpha())
        imageAlpha_.assign(static_cast<std::size_t>(Width()) * Height(), 0);
    else
        imageAlpha_.clear();
    colors_ = {};
    if (Header.ColorType == COLOR_PALETTE) {
        // Until the PLTE chunk comes: a colour cube, so stray indexes still show something.
        for (int i = 0; i < (1 << bitsPerPixel_) && i < 216; ++i)
            colors_[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i % 6 * 51),
                                                    static_cast<std::uint8_t>(i / 6 % 6 * 51),
                                                    static_cast<std::uint8_t>(i / 36 * 51), 0};
    } else if (hasPalette_) {
        MakeGreyRamp();
    }
}

void TChunkIHDR::ReplaceImage(std::uint32_t width, std::uint32_t height,
                              std::vector<std::uint8_t> data, std::vector<std::uint8_t> alpha) {
    Header.Width = width;
    Header.Height = height;
    bytesPerRow_ = (bitsPerPixel_ * Width() + 31) / 32 * 4;
    imageData_ = std::move(data);
    imageAlpha_ = std::move(alpha);
}

// ---- PLTE

bool TChunkPLTE::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() % 3 != 0 || DataSize() / 3 > 256)
        throw EPNGInvalidPalette(png_messages::InvalidPalette);
    count_ = static_cast<int>(DataSize() / 3);
    auto& header = Owner().HeaderChunk();
    for (int i = 0; i < count_; ++i) {
        const std::uint8_t* p = &data_[static_cast<std::size_t>(i) * 3];
        header.Colors()[static_cast<std::size_t>(i)] = gammaQuad(Owner(), p[0], p[1], p[2]);
    }
    return true;
}

bool TChunkPLTE::WriteChunk(std::vector<std::uint8_t>& out) {
    auto& header = Owner().HeaderChunk();
    if (count_ == 0) count_ = header.ColorCount();
    const auto& inverse = Owner().InverseGammaTable();
    data_.resize(static_cast<std::size_t>(count_) * 3);
    for (int i = 0; i < count_; ++i) {
        const auto& q = header.Colors()[static_cast<std::size_t>(i)];
        std::uint8_t* p = &data_[static_cast<std::size_t>(i) * 3];
        p[0] = inverse[q.Red];
        p[1] = inverse[q.Green];
        p[2] = inverse[q.Blue];
    }
    WriteRaw(out);
    return true;
}

void TChunkPLTE::Assign(const TChunk& source) {
    const auto* src = dynamic_cast<const TChunkPLTE*>(&source);
    if (!src) throw EPngError(png_messages::IncompatibleChunks);
    CopyChunk(source);
    count_ = src->count_;
}

TPngRGBQuad TChunkPLTE::GetPaletteEntry(int index) const {
    if (index < 0 || index >= count_) throw EPngError(png_messages::NoSuchPaletteEntry);
    return Owner().HeaderChunk().Colors()[static_cast<std::size_t>(index)];
}

// ---- gAMA

TChunkgAMA::TChunkgAMA(TPNGObject* owner) : TChunk(owner, TypeName()) {
    SetGamma(1);
}

std::uint32_t TChunkgAMA::Gamma() const {
    return DataSize() == 4 ? readU32(data_.data()) : 1;
}

void TChunkgAMA::SetGamma(std::uint32_t value) {
    data_.resize(4);
    putU32(data_.data(), value);
}

bool TChunkgAMA::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    // A gamma of the wrong size says nothing; applying it as a tiny gamma would blacken the
    // image and writing it back would spread the damage.
    if (DataSize() != 4) {
        discarded_ = true;
        return true;
    }
    const std::uint32_t value = Gamma();
    if (value == 0) return true;
    auto& gamma = Owner().GammaTable();
    auto& inverse = Owner().InverseGammaTable();
    const double exponent = 1.0 / (value / 100000.0 * 2.2);
    for (int i = 0; i < 256; ++i) {
        const double base = i / 255.0;
        const double power = base == 0.0 ? 0.0 : std::pow(base, exponent);
        const auto g =
            static_cast<std::uint8_t>(std::clamp<std::int64_t>(Round(power * 255.0), 0, 255));
        gamma[static_cast<std::size_t>(i)] = g;
        inverse[g] = static_cast<std::uint8_t>(i);
    }
    return true;
}

bool TChunkgAMA::WriteChunk(std::vector<std::uint8_t>& out) {
    SetGamma(Gamma());
    WriteRaw(out);
    return true;
}

void TChunkgAMA::Assign(const TChunk& source) {
    const auto* src = dynamic_cast<const TChunkgAMA*>(&source);
    if (!src) throw EPngError(png_messages::IncompatibleChunks);
    CopyChunk(source);
    SetGamma(src->Gamma());
}

// ---- tRNS

bool TChunktRNS::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() > 256) throw EPNGInvalidPalette(png_messages::InvalidPalette);
    PaletteValues.fill(255);
    std::copy(data_.begin(), data_.end(), PaletteValues.begin());
    const auto colorType = Owner().HeaderChunk().Header.ColorType;
    switch (colorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB:
        // A key colour needs all its samples; a shorter chunk marks nothing.
        if (DataSize() < (colorType == COLOR_RGB ? 6u : 2u)) discarded_ = true;
        BitTransparency = true;
        break;
    case COLOR_PALETTE: {
        // One fully transparent entry can be left out by colour; any other alpha needs blending.
        int differing = 0;
        bool zero = false;
        for (auto v : data_)
            if (v != 255) ++differing, zero = v == 0;
        BitTransparency = differing == 1 && zero;
        break;
    }
    default:
        BitTransparency = false;
        break;
    }
    return true;
}

bool TChunktRNS::WriteChunk(std::vector<std::uint8_t>& out) {
    // Grey and RGB images keep their key colour in the data, not alpha values.
    if (DataSize() <= 256 && Owner().HasHeader() &&
        Owner().HeaderChunk().Header.ColorType == COLOR_PALETTE)
        std::copy(PaletteValues.begin(), PaletteValues.begin() + DataSize(), data_.begin());
    WriteRaw(out);
    return true;
}

void TChunktRNS::Assign(const TChunk& source) {
    CopyChunk(source);
    if (const auto* src = dynamic_cast<const TChunktRNS*>(&source)) {
        BitTransparency = src->BitTransparency;
        PaletteValues = src->PaletteValues;
    }
}

void TChunktRNS::BuildForColor(TColor color) {
    color = ColorToRGB(color);
    PaletteValues.fill(0);
    BitTransparency = true;
    auto& header = Owner().HeaderChunk();
    switch (header.Header.ColorType) {
    case COLOR_GRAYSCALE:
        data_ = {0, static_cast<std::uint8_t>(GetRValue(color))};
        break;
    case COLOR_RGB:
        data_ = {0, static_cast<std::uint8_t>(GetRValue(color)),
                 0, static_cast<std::uint8_t>(GetGValue(color)),
                 0, static_cast<std::uint8_t>(GetBValue(color))};
        break;
    case COLOR_PALETTE: {
        const int n = header.ColorCount();
        int index = 0;
        while (index < n && quadColor(header.Colors()[static_cast<std::size_t>(index)]) != color)
            ++index;
        if (index == n) {
            // No entry has the colour: nothing becomes transparent.
            PaletteValues.fill(255);
            BitTransparency = false;
            data_.assign(PaletteValues.begin(), PaletteValues.begin() + n);
            break;
        }
        std::fill(PaletteValues.begin(), PaletteValues.begin() + index, 255);
        data_.assign(PaletteValues.begin(), PaletteValues.begin() + index + 1);
        break;
    }
    default:
        break;
    }
}

TColor TChunktRNS::ReadKeyColor() const {
    const auto& header = Owner().HeaderChunk();
    switch (header.Header.ColorType) {
    case COLOR_GRAYSCALE: {
        if (DataSize() < 2) return 0;
        const unsigned sample = (unsigned{data_[0]} << 8) | data_[1];
        // The level the image holds for this sample.
        unsigned held = sample;
        if (header.Header.BitDepth == 16)
            held = sample >> 8;
        else if (header.Header.BitDepth == 2)
            held = (sample & 3) * 5;
        held &= (1u << header.BitsPerPixel()) - 1;
        return quadColor(header.Colors()[held]);
    }
    case COLOR_RGB: {
        if (DataSize() < 6) return 0;
        const int at = header.Header.BitDepth == 16 ? 0 : 1;
        const auto& gamma = Owner().GammaTable();
        return RGB(gamma[data_[static_cast<std::size_t>(at)]],
                   gamma[data_[static_cast<std::size_t>(at + 2)]],
                   gamma[data_[static_cast<std::size_t>(at + 4)]]);
    }
    case COLOR_PALETTE:
        for (std::size_t i = 0; i < data_.size(); ++i)
            if (PaletteValues[i] == 0) return quadColor(header.Colors()[i]);
        return 0;
    default:
        return 0;
    }
}

// ---- pHYs, tIME

bool TChunkpHYs::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() == 9) {
        PPUnitX = readU32(&data_[0]);
        PPUnitY = readU32(&data_[4]);
        UnitType = data_[8];
    }
    return true;
}

bool TChunkpHYs::WriteChunk(std::vector<std::uint8_t>& out) {
    data_.assign(9, 0);
    putU32(&data_[0], PPUnitX);
    putU32(&data_[4], PPUnitY);
    data_[8] = UnitType;
    WriteRaw(out);
    return true;
}

void TChunkpHYs::Assign(const TChunk& source) {
    CopyChunk(source);
    if (const auto* src = dynamic_cast<const TChunkpHYs*>(&source)) {
        PPUnitX = src->PPUnitX;
        PPUnitY = src->PPUnitY;
        UnitType = src->UnitType;
    }
}

bool TChunktIME::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() == 7) {
        Year = static_cast<std::uint16_t>((data_[0] << 8) | data_[1]);
        Month = data_[2];
        Day = data_[3];
        Hour = data_[4];
        Minute = data_[5];
        Second = data_[6];
    }
    return true;
}

bool TChunktIME::WriteChunk(std::vector<std::uint8_t>& out) {
    data_ = {static_cast<std::uint8_t>(Year >> 8),
             static_cast<std::uint8_t>(Year),
             Month,
             Day,
             Hour,
             Minute,
             Second};
    WriteRaw(out);
    return true;
}

void TChunktIME::Assign(const TChunk& source) {
    CopyChunk(source);
    if (const auto* src = dynamic_cast<const TChunktIME*>(&source)) {
        Year = src->Year;
        Month = src->Month;
        Day = src->Day;
        Hour = src->Hour;
        Minute = src->Minute;
        Second = src->Second;
    }
}

// ---- tEXt, zTXt

bool TChunktEXt::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunk::ReadChunk(stream, type, size);
    if (DataSize() > 2) {
        const auto zero = std::find(data_.begin(), data_.end(), std::uint8_t{0});
        Keyword.assign(data_.begin(), zero);
        Text.assign(zero == data_.end() ? zero : zero + 1, data_.end());
    }
    return true;
}

bool TChunktEXt::WriteChunk(std::vector<std::uint8_t>& out) {
    data_.assign(Keyword.begin(), Keyword.end());
    data_.push_back(0);
    data_.insert(data_.end(), Text.begin(), Text.end());
    WriteRaw(out);
    return true;
}

void TChunktEXt::Assign(const TChunk& source) {
    CopyChunk(source);
    if (const auto* src = dynamic_cast<const TChunktEXt*>(&source)) {
        Keyword = src->Keyword;
        Text = src->Text;
    }
}

bool TChunkzTXt::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    TChunktEXt::ReadChunk(stream, type, size);
    // The byte after the keyword is the compression method, never text.
    Text.clear();
    if (DataSize() <= 3) return true;
    const std::size_t start = Keyword.size() + 2; // the zero byte and the method byte
    if (start >= data_.size()) return true;
    png_zlib::Inflater inflater;
    if (inflater.result != Z_OK) return true;
    auto& z = inflater.z;
    z.next_in = data_.data() + start;
    z.avail_in = static_cast<uInt>(data_.size() - start);
    std::string text;
    std::uint8_t buffer[4096];
    for (;;) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        const int result = inflate(&z, Z_NO_FLUSH);
        text.append(reinterpret_cast<const char*>(buffer), sizeof buffer - z.avail_out);
        if (result == Z_STREAM_END) break;
        // Damaged or unfinished text is dropped quietly, as is text beyond any sensible size.
        if (result != Z_OK || text.size() > kMaxTextBytes) return true;
    }
    Text = std::move(text);
    return true;
}

bool TChunkzTXt::WriteChunk(std::vector<std::uint8_t>& out) {
    if (Text.empty()) Text = " ";
    std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(Text.size())));
    png_zlib::Deflater deflater(Owner().CompressionLevel());
    if (deflater.result != Z_OK) throw EPNGZLIBError(PngZlibErrorMessage(deflater.result));
    auto& z = deflater.z;
    z.next_in = reinterpret_cast<Bytef*>(Text.data());
    z.avail_in = static_cast<uInt>(Text.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    const int result = deflate(&z, Z_FINISH);
    if (result != Z_STREAM_END) throw EPNGZLIBError(PngZlibErrorMessage(result));
    packed.resize(z.total_out);
    data_.assign(Keyword.begin(), Keyword.end());
    data_.push_back(0);
    data_.push_back(0);
    data_.insert(data_.end(), packed.begin(), packed.end());
    WriteRaw(out);
    return true;
}

// ---- list and registry

TChunk* TPNGList::Add(std::unique_ptr<TChunk> chunk) {
    items_.push_back(std::move(chunk));
    return items_.back().get();
}

std::unique_ptr<TChunk> TPNGList::Remove(TChunk* chunk) {
    for (auto it = items_.begin(); it != items_.end(); ++it)
        if (it->get() == chunk) {
            auto taken = std::move(*it);
            items_.erase(it);
            return taken;
        }
    return nullptr;
}

namespace {
struct ChunkRegistry {
    std::mutex mutex;
    std::vector<TChunkClass> classes;
    bool filled = false;
};
ChunkRegistry& chunkRegistry() {
    static ChunkRegistry registry;
    return registry;
}
void fillStandard(ChunkRegistry& r) {
    r.classes.insert(r.classes.end(), {ChunkClassOf<TChunkIEND>(), ChunkClassOf<TChunkIHDR>(),
                                       ChunkClassOf<TChunkIDAT>(), ChunkClassOf<TChunkPLTE>(),
                                       ChunkClassOf<TChunkgAMA>(), ChunkClassOf<TChunktRNS>(),
                                       ChunkClassOf<TChunkpHYs>(), ChunkClassOf<TChunktIME>(),
                                       ChunkClassOf<TChunktEXt>(), ChunkClassOf<TChunkzTXt>()});
    r.filled = true;
}
} // namespace

void RegisterChunkClass(TChunkClass chunkClass) {
    auto& r = chunkRegistry();
    std::lock_guard lock(r.mutex);
    if (!r.filled) fillStandard(r);
    r.classes.push_back(chunkClass);
}

void RegisterStandardChunks() {
    auto& r = chunkRegistry();
    std::lock_guard lock(r.mutex);
    if (!r.filled) fillStandard(r);
}

void FreeChunkRegistry() {
    auto& r = chunkRegistry();
    std::lock_guard lock(r.mutex);
    r.classes.clear();
    r.filled = false;
}

std::unique_ptr<TChunk> ChunkForName(TPNGObject* owner, std::string_view type) {
    auto& r = chunkRegistry();
    std::unique_ptr<TChunk> chunk;
    {
        std::lock_guard lock(r.mutex);
        if (!r.filled) fillStandard(r);
        for (const auto& c : r.classes)
            if (c.TypeName == type) {
                chunk = c.Create(owner);
                break;
            }
    }
    if (!chunk) chunk = std::make_unique<TChunk>(owner);
    chunk->SetName(type);
    return chunk;
}
