#pragma once
// Shared helpers of the PNG codec tests: a hand-made file builder (CRCs and compression from
// zlib, not from the codec), fixtures, and the pixels an independent reader sees.

#include <gtest/gtest.h>
#include <zlib.h>

#include <QImage>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/png_object.h"

using Bytes = std::vector<std::uint8_t>;

inline void PutU32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline Bytes Deflate(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

inline Bytes Inflate(const Bytes& packed, std::size_t expected) {
    Bytes out(expected);
    uLongf size = static_cast<uLongf>(expected);
    EXPECT_EQ(uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())),
              Z_OK);
    out.resize(size);
    return out;
}

class PngBuilder {
public:
    PngBuilder() : bytes_{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A} {}
    PngBuilder& Chunk(std::string_view type, const Bytes& data, bool badCrc = false) {
        PutU32(bytes_, static_cast<std::uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), type.begin(), type.end());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
        if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
        PutU32(bytes_, static_cast<std::uint32_t>(crc) ^ (badCrc ? 1u : 0u));
        return *this;
    }
    PngBuilder& Header(std::uint32_t w, std::uint32_t h, int depth, int color, int compression = 0,
                       int interlace = 0) {
        Bytes d;
        PutU32(d, w);
        PutU32(d, h);
        d.insert(d.end(),
                 {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(color),
                  static_cast<std::uint8_t>(compression), 0, static_cast<std::uint8_t>(interlace)});
        return Chunk("IHDR", d);
    }
    // Rows of rowBytes bytes of `fill`, each with filter type 0, compressed whole.
    PngBuilder& Rows(int rows, std::size_t rowBytes, std::uint8_t fill = 0) {
        Bytes raw;
        for (int y = 0; y < rows; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), rowBytes, fill);
        }
        return Chunk("IDAT", Deflate(raw));
    }
    PngBuilder& End() { return Chunk("IEND", {}); }
    // A raw fragment, for damage a chunk cannot express.
    PngBuilder& Raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

inline std::string FixturePath(const std::string& name) {
    return std::string(LUMETRA_TESTDATA_DIR) + "/png/" + name;
}

inline Bytes ReadFixture(const std::string& name) {
    std::ifstream f(FixturePath(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// The pixels as 0xAARRGGBB, alpha 255 everywhere for an image without alpha.
inline TRasterImage QtPixels(const Bytes& file) {
    QImage image;
    if (!image.loadFromData(file.data(), static_cast<int>(file.size()), "PNG")) return {};
    image = image.convertToFormat(QImage::Format_ARGB32);
    TRasterImage out(image.width(), image.height());
    out.HasAlpha = true;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.At(x, y) = image.pixel(x, y);
    return out;
}

inline TRasterImage OurPixels(const TPNGObject& png) {
    TRasterImage image = png.ToImage();
    if (!image.HasAlpha)
        for (auto& p : image.Pixels)
            p |= 0xFF000000u;
    return image;
}

// Describes the first difference beyond `tolerance` per channel; colour is ignored where both
// are fully transparent.
inline std::string FirstDifference(const TRasterImage& a, const TRasterImage& b,
                                   int tolerance = 0) {
    if (a.Width != b.Width || a.Height != b.Height)
        return "size " + std::to_string(a.Width) + "x" + std::to_string(a.Height) + " vs " +
               std::to_string(b.Width) + "x" + std::to_string(b.Height);
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x) {
            const std::uint32_t p = a.At(x, y), q = b.At(x, y);
            if ((p >> 24) == 0 && (q >> 24) == 0) continue;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d =
                    static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF);
                if (d > tolerance || d < -tolerance) {
                    char text[96];
                    std::snprintf(text, sizeof text, "at (%d,%d): %08X vs %08X", x, y, p, q);
                    return text;
                }
            }
        }
    return {};
}

inline Bytes Load(TPNGObject& png, const Bytes& file) {
    png.LoadFromBytes(file);
    return file;
}
