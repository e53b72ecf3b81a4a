#pragma once
// Exact comparison of rendered images with PNG files checked in under testdata/golden. With
// LUMETRA_UPDATE_GOLDEN set in the environment the PNG is (re)written from the image first.
// The files are plain 8-bit RGB PNGs, written and read with the report's own zlib wrapper.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/graphics/raster_image.h"
#include "report/compression.h"
#include "report/utils.h"

namespace golden {

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift : {24, 16, 8, 0})
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline std::uint32_t getU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

inline void putChunk(std::vector<std::uint8_t>& out, const char* type,
                     const std::vector<std::uint8_t>& data) {
    putU32(out, static_cast<std::uint32_t>(data.size()));
    TMemoryStream crcInput;
    crcInput.Write(type, 4);
    if (!data.empty()) crcInput.Write(data.data(), static_cast<std::int64_t>(data.size()));
    out.insert(out.end(), crcInput.Memory(), crcInput.Memory() + crcInput.Size());
    putU32(out, StreamCRC32(crcInput));
}

inline std::vector<std::uint8_t> EncodePng(const TRasterImage& image) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(image.Width));
    putU32(header, static_cast<std::uint32_t>(image.Height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    putChunk(out, "IHDR", header);
    TMemoryStream raw;
    std::vector<std::uint8_t> row;
    for (int y = 0; y < image.Height; ++y) {
        row.assign(1, 0); // filter: none
        for (int x = 0; x < image.Width; ++x) {
            const std::uint32_t p = image.At(x, y);
            row.insert(row.end(),
                       {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                        static_cast<std::uint8_t>(p)});
        }
        raw.Write(row.data(), static_cast<std::int64_t>(row.size()));
    }
    TMemoryStream packed;
    CompressStream(raw, packed, TZCompressionLevel::zcMax);
    putChunk(out, "IDAT",
             std::vector<std::uint8_t>(packed.Memory(), packed.Memory() + packed.Size()));
    putChunk(out, "IEND", {});
    return out;
}

inline std::uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// 8-bit RGB or RGBA, not interlaced; anything else gives an empty image.
inline TRasterImage DecodePng(const std::vector<std::uint8_t>& file) {
    if (file.size() < 8 + 25) return {};
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> idat;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t length = getU32(&file[pos]);
        if (pos + 12 + length > file.size()) return {};
        const std::string type(reinterpret_cast<const char*>(&file[pos + 4]), 4);
        const std::uint8_t* data = &file[pos + 8];
        if (type == "IHDR") {
            width = static_cast<int>(getU32(data));
            height = static_cast<int>(getU32(data + 4));
            if (data[8] != 8 || (data[9] != 2 && data[9] != 6) || data[12] != 0) return {};
            channels = data[9] == 2 ? 3 : 4;
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        pos += 12 + length;
    }
    if (width <= 0 || height <= 0 || channels == 0) return {};
    const std::vector<std::uint8_t> raw = DecompressBuf(idat.data(), idat.size());
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    if (raw.size() < (stride + 1) * height) return {};
    TRasterImage image(width, height);
    std::vector<std::uint8_t> prior(stride, 0), cur(stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = &raw[(stride + 1) * y];
        const std::uint8_t filter = src[0];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= static_cast<std::size_t>(channels) ? cur[i - channels] : 0;
            const int b = prior[i];
            const int c = i >= static_cast<std::size_t>(channels) ? prior[i - channels] : 0;
            int predictor = 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                predictor = a;
                break;
            case 2:
                predictor = b;
                break;
            case 3:
                predictor = (a + b) / 2;
                break;
            case 4:
                predictor = paeth(a, b, c);
                break;
            default:
                return {};
            }
            cur[i] = static_cast<std::uint8_t>(src[1 + i] + predictor);
        }
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* px = &cur[static_cast<std::size_t>(x) * channels];
            image.At(x, y) =
                0xFF000000u | (std::uint32_t{px[0]} << 16) | (std::uint32_t{px[1]} << 8) | px[2];
        }
        prior = cur;
    }
    return image;
}

// Compares image with testdata/golden/<name>.png pixel by pixel (alpha ignored). A mismatch
// leaves the rendered image beside the temporary files for a look.
inline ::testing::AssertionResult MatchesGolden(const TRasterImage& image,
                                                const std::string& name) {
    const std::string path = std::string(LUMETRA_TESTDATA_DIR) + "/golden/" + name + ".png";
    if (std::getenv("LUMETRA_UPDATE_GOLDEN")) {
        const std::vector<std::uint8_t> bytes = EncodePng(image);
        TMemoryStream out;
        out.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        out.SaveToFile(path);
    }
    if (!FileExists(path)) return ::testing::AssertionFailure() << path << " is missing";
    TMemoryStream in;
    in.LoadFromFile(path);
    const TRasterImage expected =
        DecodePng(std::vector<std::uint8_t>(in.Memory(), in.Memory() + in.Size()));
    if (expected.Width != image.Width || expected.Height != image.Height)
        return ::testing::AssertionFailure()
               << name << ": golden is " << expected.Width << " x " << expected.Height
               << ", rendered " << image.Width << " x " << image.Height;
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            if ((image.At(x, y) & 0xFFFFFF) != (expected.At(x, y) & 0xFFFFFF) && differing++ == 0)
                firstX = x, firstY = y;
    if (differing == 0) return ::testing::AssertionSuccess();
    const std::string actualPath = GetTempDir() + "/" + name + ".actual.png";
    const std::vector<std::uint8_t> bytes = EncodePng(image);
    TMemoryStream out;
    out.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    out.SaveToFile(actualPath);
    return ::testing::AssertionFailure()
           << name << ": " << differing << " pixels differ, the first at (" << firstX << ", "
           << firstY << "); rendered image: " << actualPath;
}

} // namespace golden
