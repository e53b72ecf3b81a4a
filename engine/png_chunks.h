#pragma once
// A PNG file held as the ordered list of its chunks, one object per chunk. The image itself
// lives in the header chunk; the image-data chunk decodes into it and encodes from it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/color.h"

class TPNGObject;

inline constexpr std::uint8_t COLOR_GRAYSCALE = 0;
inline constexpr std::uint8_t COLOR_RGB = 2;
inline constexpr std::uint8_t COLOR_PALETTE = 3;
inline constexpr std::uint8_t COLOR_GRAYSCALEALPHA = 4;
inline constexpr std::uint8_t COLOR_RGBALPHA = 6;

// Samples in one pixel of the file for a colour type (1 for grey and palette).
inline int PngSamplesPerPixel(std::uint8_t colorType) {
    switch (colorType) {
    case COLOR_RGB:
        return 3;
    case COLOR_GRAYSCALEALPHA:
        return 2;
    case COLOR_RGBALPHA:
        return 4;
    default:
        return 1;
    }
}

// The bytes of a file being loaded. Every read is checked against what is left, so a chunk
// length is never trusted beyond the data.
class TPngInput {
public:
    explicit TPngInput(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    // Up to n bytes; fewer at the end.
    std::span<const std::uint8_t> TakeUpTo(std::size_t n);
    // Exactly n bytes, else EPngUnexpectedEnd.
    std::span<const std::uint8_t> Take(std::size_t n);
    std::uint32_t ReadU32();
    void Skip(std::size_t n) { Take(n); }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Continues a CRC-32 over a buffer; start with 0xFFFFFFFF and invert the result.
std::uint32_t UpdateCRC(std::uint32_t crc, const std::uint8_t* buffer, std::size_t count);
// The CRC a chunk stores: over its type and its data.
std::uint32_t ChunkCRC(std::string_view type, std::span<const std::uint8_t> data);

struct TPngHeaderData {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint8_t BitDepth = 0;
    std::uint8_t ColorType = 0;
    std::uint8_t CompressionMethod = 0;
    std::uint8_t FilterMethod = 0;
    std::uint8_t InterlaceMethod = 0;
};

// One colour of the image's bitmap info, in its memory order.
struct TPngRGBQuad {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;
    friend bool operator==(const TPngRGBQuad&, const TPngRGBQuad&) = default;
};

class TChunk {
public:
    TChunk(TPNGObject* owner, std::string_view name = {});
    virtual ~TChunk();
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    static std::string_view TypeName() { return {}; }
    virtual std::string_view ChunkTypeName() const { return TypeName(); }
    // A new, empty chunk of the same class.
    virtual std::unique_ptr<TChunk> CreateSame(TPNGObject* owner) const;

    // Name and data.
    void CopyChunk(const TChunk& source);
    // CopyChunk plus the class's own fields.
    virtual void Assign(const TChunk& source);

    // Reads size bytes of data and the CRC that follows; a mismatch raises EPngInvalidCRC.
    virtual bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size);
    // Length, type, data, CRC.
    virtual bool WriteChunk(std::vector<std::uint8_t>& out);

    const std::string& Name() const { return name_; }
    void SetName(std::string_view name) { name_ = name; }
    std::vector<std::uint8_t>& Data() { return data_; }
    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::uint32_t DataSize() const { return static_cast<std::uint32_t>(data_.size()); }
    TPNGObject& Owner() const { return *owner_; }
    // Set by reading when the chunk carries nothing worth keeping.
    bool Discarded() const { return discarded_; }

protected:
    void WriteRaw(std::vector<std::uint8_t>& out) const;
    TPNGObject* owner_;
    std::string name_;
    std::vector<std::uint8_t> data_;
    bool discarded_ = false;
};

#define LUMETRA_PNG_CHUNK(Type)                                                                    \
    explicit TChunk##Type(TPNGObject* owner) : TChunk##Type##Base(owner, TypeName()) {}            \
    static std::string_view TypeName() {                                                           \
        return #Type;                                                                              \
    }                                                                                              \
    std::string_view ChunkTypeName() const override {                                              \
        return TypeName();                                                                         \
    }                                                                                              \
    std::unique_ptr<TChunk> CreateSame(TPNGObject* owner) const override {                         \
        return std::make_unique<TChunk##Type>(owner);                                              \
    }

using TChunkIENDBase = TChunk;
using TChunkIHDRBase = TChunk;
using TChunkIDATBase = TChunk;
using TChunkPLTEBase = TChunk;
using TChunkgAMABase = TChunk;
using TChunktRNSBase = TChunk;
using TChunkpHYsBase = TChunk;
using TChunktIMEBase = TChunk;
using TChunktEXtBase = TChunk;

class TChunkIEND : public TChunk {
public:
    LUMETRA_PNG_CHUNK(IEND)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
};

// The header, and the image it describes: rows bottom-up as a device-independent bitmap
// (1, 4, 8 or 24 bits per pixel, rows padded to 4 bytes, 24-bit pixels blue-green-red), the
// colours of its bitmap info, and for the types with alpha an alpha plane, top row first.
class TChunkIHDR : public TChunk {
public:
    LUMETRA_PNG_CHUNK(IHDR)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    // Header, image, alpha and palette.
    void Assign(const TChunk& source) override;

    TPngHeaderData Header;

    int Width() const { return static_cast<int>(Header.Width); }
    int Height() const { return static_cast<int>(Header.Height); }
    int BitsPerPixel() const { return bitsPerPixel_; }
    int BytesPerRow() const { return bytesPerRow_; }
    bool HasPalette() const { return hasPalette_; }
    bool HasAlpha() const {
        return Header.ColorType == COLOR_GRAYSCALEALPHA || Header.ColorType == COLOR_RGBALPHA;
    }

    // Image row y, top row 0.
    std::uint8_t* Scanline(int y) {
        return imageData_.data() + static_cast<std::size_t>(Height() - 1 - y) * bytesPerRow_;
    }
    const std::uint8_t* Scanline(int y) const {
        return imageData_.data() + static_cast<std::size_t>(Height() - 1 - y) * bytesPerRow_;
    }
    std::uint8_t* AlphaScanline(int y) {
        return imageAlpha_.data() + static_cast<std::size_t>(y) * Width();
    }
    const std::uint8_t* AlphaScanline(int y) const {
        return imageAlpha_.data() + static_cast<std::size_t>(y) * Width();
    }

    // The bitmap-info colours (2^bits entries for the palette-based formats).
    std::array<TPngRGBQuad, 256>& Colors() { return colors_; }
    const std::array<TPngRGBQuad, 256>& Colors() const { return colors_; }
    int ColorCount() const { return hasPalette_ ? 1 << bitsPerPixel_ : 0; }
    // The grey ramp for the held bits per pixel, through the owner's gamma table.
    void MakeGreyRamp();

    // Frees the old image and makes an empty one for the header (width, height, type, depth
    // must be valid).
    void PrepareImageData();
    // Replaces the pixel buffers after a resize.
    void ReplaceImage(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> data,
                      std::vector<std::uint8_t> alpha);

private:
    int bitsPerPixel_ = 0;
    int bytesPerRow_ = 0;
    bool hasPalette_ = false;
    std::array<TPngRGBQuad, 256> colors_{};
    std::vector<std::uint8_t> imageData_;
    std::vector<std::uint8_t> imageAlpha_;
};

// The image data: reading decodes every IDAT chunk of the run into the header's image,
// writing encodes the image as one or more IDAT chunks.
class TChunkIDAT : public TChunk {
public:
    LUMETRA_PNG_CHUNK(IDAT)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
};

class TChunkPLTE : public TChunk {
public:
    LUMETRA_PNG_CHUNK(PLTE)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    int Count() const { return count_; }
    void SetCount(int count) { count_ = count; }
    // The bitmap-info colour of an entry; EPngError beyond the count.
    TPngRGBQuad GetPaletteEntry(int index) const;

private:
    int count_ = 0;
};

class TChunkgAMA : public TChunk {
public:
    explicit TChunkgAMA(TPNGObject* owner);
    static std::string_view TypeName() { return "gAMA"; }
    std::string_view ChunkTypeName() const override { return TypeName(); }
    std::unique_ptr<TChunk> CreateSame(TPNGObject* owner) const override {
        return std::make_unique<TChunkgAMA>(owner);
    }
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    // Gamma x 100000.
    std::uint32_t Gamma() const;
    void SetGamma(std::uint32_t value);
};

class TChunktRNS : public TChunk {
public:
    LUMETRA_PNG_CHUNK(tRNS)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    // Makes exactly this colour transparent.
    void BuildForColor(TColor color);
    // The transparent colour of bit transparency, as the image holds it.
    TColor ReadKeyColor() const;

    bool BitTransparency = false;
    std::array<std::uint8_t, 256> PaletteValues{};
};

class TChunkpHYs : public TChunk {
public:
    LUMETRA_PNG_CHUNK(pHYs)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    std::uint32_t PPUnitX = 0;
    std::uint32_t PPUnitY = 0;
    std::uint8_t UnitType = 0;
};

class TChunktIME : public TChunk {
public:
    LUMETRA_PNG_CHUNK(tIME)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    std::uint16_t Year = 0;
    std::uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// Keyword and text are 8-bit strings, as the file holds them.
class TChunktEXt : public TChunk {
public:
    LUMETRA_PNG_CHUNK(tEXt)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
    void Assign(const TChunk& source) override;
    std::string Keyword;
    std::string Text;

protected:
    TChunktEXt(TPNGObject* owner, std::string_view name) : TChunk(owner, name) {}
};

using TChunkzTXtBase = TChunktEXt;
class TChunkzTXt : public TChunktEXt {
public:
    LUMETRA_PNG_CHUNK(zTXt)
    bool ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) override;
    bool WriteChunk(std::vector<std::uint8_t>& out) override;
};

#undef LUMETRA_PNG_CHUNK

// The chunks of one image, in file order; owns them.
class TPNGList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Null beyond the count.
    TChunk* Item(int index) const {
        return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get()
                                             : nullptr;
    }
    TChunk* Add(std::unique_ptr<TChunk> chunk);
    // The chunk taken out of the list, null when it is not there.
    std::unique_ptr<TChunk> Remove(TChunk* chunk);
    void Clear() { items_.clear(); }
    template <class T> T* FirstOfClass() const {
        for (const auto& c : items_)
            if (auto* t = dynamic_cast<T*>(c.get())) return t;
        return nullptr;
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<TChunk>> items_;
};

// The registry that maps chunk types to classes.
struct TChunkClass {
    std::string_view TypeName;
    std::unique_ptr<TChunk> (*Create)(TPNGObject* owner);
};
template <class T> TChunkClass ChunkClassOf() {
    return {T::TypeName(), [](TPNGObject* owner) -> std::unique_ptr<TChunk> {
                return std::make_unique<T>(owner);
            }};
}
void RegisterChunkClass(TChunkClass chunkClass);
void RegisterStandardChunks();
void FreeChunkRegistry();
// The first registered class of this type, else a raw TChunk; its name is set to type.
std::unique_ptr<TChunk> ChunkForName(TPNGObject* owner, std::string_view type);
