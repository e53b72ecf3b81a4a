#include "export/image_writers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"

namespace {

constexpr char kSoftware[] = "Pagewright";
constexpr std::uint32_t kSoftwareLength = sizeof kSoftware - 1;

// Little-endian output with a counter of the bytes written since the start, through a buffer
// so that rows do not become one stream call each.
class TByteWriter {
public:
    explicit TByteWriter(TStream& stream) : stream_(stream) {}
    void U8(std::uint8_t v) {
        buffer_.push_back(v);
        if (buffer_.size() >= kChunk) Flush();
    }
    void U16(std::uint32_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(const void* data, std::size_t count) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + count);
        if (buffer_.size() >= kChunk) Flush();
    }
    void Flush() {
        if (buffer_.empty()) return;
        stream_.WriteBuffer(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
        written_ += buffer_.size();
        buffer_.clear();
    }
    std::uint64_t Position() const { return written_ + buffer_.size(); }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    TStream& stream_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t written_ = 0;
};

// ---- TIFF

enum : std::uint16_t { tiffAscii = 2, tiffShort = 3, tiffLong = 4, tiffRational = 5 };

struct TTiffEntry {
    std::uint16_t Tag;
    std::uint16_t Type;
    std::uint32_t Count;
    std::uint32_t Value;
};

// A size field: SHORT as the layout has it, LONG when the size does not fit 16 bits.
TTiffEntry sizeEntry(std::uint16_t tag, std::uint32_t value) {
    return {tag, value > 0xFFFF ? tiffLong : tiffShort, 1, value};
}

void writeIFD(TByteWriter& out, const std::vector<TTiffEntry>& entries) {
    out.U16(static_cast<std::uint32_t>(entries.size()));
    for (const TTiffEntry& e : entries) {
        out.U16(e.Tag);
        out.U16(e.Type);
        out.U32(e.Count);
        if (e.Type == tiffShort && e.Count == 1) {
            out.U16(e.Value);
            out.U16(0);
        } else {
            out.U32(e.Value);
        }
    }
    out.U32(0);
}

// The device-independent copy as the TIFF writer reads it.
struct TDibView {
    const std::vector<std::uint8_t>& Bits;
    int Width = 0, Height = 0, Depth = 0;
    std::size_t Stride = 0, PixelsAt = 0;

    explicit TDibView(const std::vector<std::uint8_t>& bits) : Bits(bits) {}
    std::uint32_t U32(std::size_t at) const {
        return Bits[at] | Bits[at + 1] << 8 | Bits[at + 2] << 16 |
               static_cast<std::uint32_t>(Bits[at + 3]) << 24;
    }
    bool Read() {
        if (Bits.size() < 40) return false;
        Width = static_cast<std::int32_t>(U32(4));
        Height = static_cast<std::int32_t>(U32(8));
        Depth = Bits[14] | Bits[15] << 8;
        if (Width <= 0 || Height <= 0) return false;
        Stride = U32(20) / static_cast<std::uint32_t>(Height);
        PixelsAt = 40 + (Depth <= 8 ? std::size_t{4} << Depth : 0);
        return Bits.size() >= PixelsAt + Stride * static_cast<std::size_t>(Height);
    }
    // Image row y, top first: the copy holds its rows bottom first.
    const std::uint8_t* Row(int y) const {
        return &Bits[PixelsAt + Stride * static_cast<std::size_t>(Height - 1 - y)];
    }
    // Colour table entry i as blue, green, red, 0.
    const std::uint8_t* Color(int i) const { return &Bits[40 + 4 * static_cast<std::size_t>(i)]; }
};

// ---- GIF

// LZW with the variable-length codes of GIF: codes from 9 to 12 bits, an open-addressing hash of
// (pixel, prefix) pairs, the table cleared when it is full.
class TGIFEncoder {
public:
    TGIFEncoder(TByteWriter& out, const std::vector<std::uint8_t>& pixels)
        : out_(out), pixels_(pixels) {}

    void GIFCompress(int initBits) {
        initBits_ = initBits;
        nBits_ = initBits;
        maxCode_ = (1 << nBits_) - 1;
        clearCode_ = 1 << (initBits - 1);
        eofCode_ = clearCode_ + 1;
        freeEnt_ = clearCode_ + 2;
        clearFlag_ = false;
        accum_ = 0;
        accumBits_ = 0;
        packetCount_ = 0;

        int ent = GIFNextPixel();
        GIFClearHash(kHashSize);
        GIFOutputCode(clearCode_);
        if (ent < 0) {
            // No pixels at all: an empty code stream, clear and end.
            GIFOutputCode(eofCode_);
            return;
        }
        for (int c; (c = GIFNextPixel()) >= 0;) {
            const std::int32_t fcode = (c << kMaxBits) + ent;
            int i = (c << kHashShift) ^ ent;
            if (hashKeys_[i] == fcode) {
                ent = codes_[i];
                continue;
            }
            if (hashKeys_[i] >= 0) {
                const int step = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                do {
                    if ((i -= step) < 0) i += kHashSize;
                    if (hashKeys_[i] == fcode) {
                        found = true;
                        break;
                    }
                } while (hashKeys_[i] > 0);
                if (found) {
                    ent = codes_[i];
                    continue;
                }
            }
            GIFOutputCode(ent);
            ent = c;
            if (freeEnt_ < kMaxMaxCode) {
                codes_[i] = static_cast<std::uint16_t>(freeEnt_++);
                hashKeys_[i] = fcode;
            } else {
                GIFClearHash(kHashSize);
                freeEnt_ = clearCode_ + 2;
                clearFlag_ = true;
                GIFOutputCode(clearCode_);
            }
        }
        GIFOutputCode(ent);
        GIFOutputCode(eofCode_);
    }

    void GIFPutWord(std::uint32_t value) { out_.U16(value); }

private:
    static constexpr int kHashSize = 5003;
    static constexpr int kHashShift = 4; // 5003 doubled until it reaches 65535 takes 4 steps
    static constexpr int kMaxBits = 12;
    static constexpr int kMaxMaxCode = 1 << kMaxBits;

    int GIFNextPixel() {
        if (next_ >= pixels_.size()) return -1;
        return pixels_[next_++];
    }

    void GIFClearHash(int count) { std::fill(hashKeys_.begin(), hashKeys_.begin() + count, -1); }

    void GIFOutputCode(int code) {
        accum_ &= (1u << accumBits_) - 1;
        accum_ |= static_cast<std::uint32_t>(code) << accumBits_;
        accumBits_ += nBits_;
        while (accumBits_ >= 8) {
            GIFPutByte(static_cast<std::uint8_t>(accum_));
            accum_ >>= 8;
            accumBits_ -= 8;
        }
        if (clearFlag_) {
            nBits_ = initBits_;
            maxCode_ = (1 << nBits_) - 1;
            clearFlag_ = false;
        } else if (freeEnt_ > maxCode_) {
            ++nBits_;
            maxCode_ = nBits_ == kMaxBits ? kMaxMaxCode : (1 << nBits_) - 1;
        }
        if (code == eofCode_) {
            while (accumBits_ > 0) {
                GIFPutByte(static_cast<std::uint8_t>(accum_));
                accum_ >>= 8;
                accumBits_ -= 8;
            }
            GIFFlushPacket();
        }
    }

    // Sub-blocks of 254 bytes, not the 255 a length byte could announce.
    void GIFPutByte(std::uint8_t b) {
        packet_[packetCount_++] = b;
        if (packetCount_ >= 254) GIFFlushPacket();
    }

    void GIFFlushPacket() {
        if (packetCount_ == 0) return;
        out_.U8(static_cast<std::uint8_t>(packetCount_));
        out_.Bytes(packet_, static_cast<std::size_t>(packetCount_));
        packetCount_ = 0;
    }

    TByteWriter& out_;
    const std::vector<std::uint8_t>& pixels_;
    std::size_t next_ = 0;
    std::vector<std::int32_t> hashKeys_ = std::vector<std::int32_t>(kHashSize, -1);
    std::vector<std::uint16_t> codes_ = std::vector<std::uint16_t>(kHashSize, 0);
    int initBits_ = 9, nBits_ = 9, maxCode_ = 511, clearCode_ = 256, eofCode_ = 257, freeEnt_ = 258;
    bool clearFlag_ = false;
    std::uint32_t accum_ = 0;
    int accumBits_ = 0;
    std::uint8_t packet_[256] = {};
    int packetCount_ = 0;
};

} // namespace

void WriteTIFF(int resolution, TStream& stream, TBitmap& bitmap) {
    if (resolution < 1)
        throw EInvalidArgument("A TIFF image needs a resolution of at least 1 dot per inch, not " +
                               std::to_string(resolution));
    const std::vector<std::uint8_t> bits = bitmap.DeviceIndependentBits();
    TDibView dib(bits);
    if (!dib.Read()) return;
    const int w = dib.Width, h = dib.Height;
    const auto uw = static_cast<std::uint32_t>(w), uh = static_cast<std::uint32_t>(h);

    // Offsets count from where this image starts, so an image that follows others in the same
    // stream is whole in itself.
    const std::int64_t start = stream.Position();
    TByteWriter out(stream);
    out.U8('I');
    out.U8('I');
    out.U16(42);
    out.U32(8);

    // The numerator is a 16-bit value over 10; resolutions past that are written over 1.
    const bool tenths = resolution <= 6553;
    const auto writeResolution = [&] {
        for (int axis = 0; axis < 2; ++axis) {
            out.U32(tenths ? static_cast<std::uint32_t>(resolution) * 10
                           : static_cast<std::uint32_t>(resolution));
            out.U32(tenths ? 10 : 1);
        }
    };
    const auto writeSoftware = [&] { out.Bytes(kSoftware, kSoftwareLength); };
    std::vector<TTiffEntry> entries;
    switch (dib.Depth) {
    case 1: {
        writeResolution();
        writeSoftware();
        const std::uint32_t dataAt = static_cast<std::uint32_t>(out.Position());
        const std::uint32_t rowBytes = (uw + 7) / 8;
        for (int y = 0; y < h; ++y)
            out.Bytes(dib.Row(y), rowBytes);
        out.U32(0);
        entries = {
            {254, tiffLong, 1, 0},      sizeEntry(256, uw),
            sizeEntry(257, uh),         {258, tiffShort, 1, 1},
            {259, tiffShort, 1, 1},     {262, tiffShort, 1, 1},
            {273, tiffLong, 1, dataAt}, {277, tiffShort, 1, 1},
            {278, tiffLong, 1, uh},     {279, tiffLong, 1, rowBytes * uh},
            {282, tiffRational, 1, 8},  {283, tiffRational, 1, 16},
            {296, tiffShort, 1, 2},     {305, tiffAscii, kSoftwareLength, 24},
        };
        break;
    }
    case 4:
    case 8: {
        const int colors = 1 << dib.Depth;
        for (int channel = 2; channel >= 0; --channel) // red, green, blue from blue, green, red
            for (int i = 0; i < colors; ++i)
                out.U16(static_cast<std::uint32_t>(dib.Color(i)[channel]) * 256);
        const std::uint32_t rationalsAt = static_cast<std::uint32_t>(out.Position());
        writeResolution();
        writeSoftware();
        const std::uint32_t dataAt = static_cast<std::uint32_t>(out.Position());
        // A 4-bit row keeps every pixel, its last byte half used when the width is odd.
        const std::uint32_t rowBytes = dib.Depth == 8 ? uw : (uw + 1) / 2;
        for (int y = 0; y < h; ++y)
            out.Bytes(dib.Row(y), rowBytes);
        entries = {
            {254, tiffLong, 1, 0},
            sizeEntry(256, uw),
            sizeEntry(257, uh),
            {258, tiffShort, 1, static_cast<std::uint32_t>(dib.Depth)},
            {259, tiffShort, 1, 1},
            {262, tiffShort, 1, 3},
            {273, tiffLong, 1, dataAt},
            {277, tiffShort, 1, 1},
            {278, tiffLong, 1, uh},
            {279, tiffLong, 1, rowBytes * uh},
            {282, tiffRational, 1, rationalsAt},
            {283, tiffRational, 1, rationalsAt + 8},
            {296, tiffShort, 1, 2},
            {305, tiffAscii, kSoftwareLength, rationalsAt + 16},
            {320, tiffShort, 3 * static_cast<std::uint32_t>(colors), 8},
        };
        break;
    }
    case 16:
    case 24:
    case 32: {
        writeResolution();
        for (int i = 0; i < 3; ++i)
            out.U16(8);
        writeSoftware();
        const std::uint32_t dataAt = static_cast<std::uint32_t>(out.Position());
        std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* src = dib.Row(y);
            for (int x = 0; x < w; ++x) {
                std::uint8_t* rgb = &row[static_cast<std::size_t>(x) * 3];
                if (dib.Depth == 16) {
                    const unsigned p = src[x * 2] | src[x * 2 + 1] << 8;
                    rgb[0] = static_cast<std::uint8_t>(((p >> 10) & 0x1F) * 8 + 7);
                    rgb[1] = static_cast<std::uint8_t>(((p >> 5) & 0x1F) * 8 + 7);
                    rgb[2] = static_cast<std::uint8_t>((p & 0x1F) * 8 + 7);
                } else {
                    const std::uint8_t* bgr = src + static_cast<std::size_t>(x) * (dib.Depth / 8);
                    rgb[0] = bgr[2];
                    rgb[1] = bgr[1];
                    rgb[2] = bgr[0];
                }
            }
            out.Bytes(row.data(), row.size());
        }
        entries = {
            {254, tiffLong, 1, 0},
            sizeEntry(256, uw),
            sizeEntry(257, uh),
            {258, tiffShort, 3, 24},
            {259, tiffShort, 1, 1},
            {262, tiffShort, 1, 2},
            {273, tiffLong, 1, dataAt},
            {277, tiffShort, 1, 3},
            {278, tiffLong, 1, uh},
            {279, tiffLong, 1, uw * uh * 3},
            {282, tiffRational, 1, 8},
            {283, tiffRational, 1, 16},
            {284, tiffShort, 1, 1},
            {296, tiffShort, 1, 2},
            {305, tiffAscii, kSoftwareLength, 30},
        };
        break;
    }
    default:
        out.Flush();
        return;
    }

    // An IFD must start on a word boundary; pixel data of odd length gets one fill byte.
    if (out.Position() % 2) out.U8(0);
    const auto ifdAt = static_cast<std::uint32_t>(out.Position());
    writeIFD(out, entries);
    out.Flush();
    const std::int64_t end = stream.Position();
    stream.SetPosition(start + 4);
    const std::uint8_t offset[4] = {
        static_cast<std::uint8_t>(ifdAt), static_cast<std::uint8_t>(ifdAt >> 8),
        static_cast<std::uint8_t>(ifdAt >> 16), static_cast<std::uint8_t>(ifdAt >> 24)};
    stream.WriteBuffer(offset, 4);
    stream.SetPosition(end);
}

void WriteGIF(TStream& stream, TBitmap& bitmap) {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (w > 0xFFFF || h > 0xFFFF)
        throw EInvalidGraphicOperation(
            "A GIF image is at most 65535 pixels wide and high; this one is " + std::to_string(w) +
            " x " + std::to_string(h));
    bitmap.SetPixelFormat(pf8bit);
    const std::vector<TColor> palette = bitmap.Palette();
    const std::vector<std::uint8_t> pixels = bitmap.PixelIndices();

    TByteWriter out(stream);
    out.Bytes("GIF89a", 6);
    TGIFEncoder gif(out, pixels);
    gif.GIFPutWord(static_cast<std::uint32_t>(w));
    gif.GIFPutWord(static_cast<std::uint32_t>(h));
    out.U8(0xE7); // global table of 256 entries, 8-bit colour resolution
    out.U8(0);    // background index
    out.U8(0);    // aspect ratio
    for (std::size_t i = 0; i < 256; ++i) {
        const TColor c = i < palette.size() ? palette[i] : 0;
        out.U8(GetRValue(c));
        out.U8(GetGValue(c));
        out.U8(GetBValue(c));
    }
    const std::uint8_t control[] = {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0};
    out.Bytes(control, sizeof control);
    const std::uint8_t commentHead[] = {0x21, 0xFE, kSoftwareLength};
    out.Bytes(commentHead, sizeof commentHead);
    out.Bytes(kSoftware, kSoftwareLength);
    out.U8(0);

    out.U8(0x2C);
    gif.GIFPutWord(0);
    gif.GIFPutWord(0);
    gif.GIFPutWord(static_cast<std::uint32_t>(w));
    gif.GIFPutWord(static_cast<std::uint32_t>(h));
    out.U8(0); // no local table, not interlaced
    out.U8(8); // minimum code size
    gif.GIFCompress(9);
    out.U8(0);
    out.U8(0x3B);
    out.Flush();
}

void SaveGIFToFile(const std::string& fileName, TBitmap& bitmap) {
    // The target changes only once the whole image is on disk.
    TSafeFileWriter file(fileName);
    WriteGIF(file, bitmap);
    file.Commit();
}
