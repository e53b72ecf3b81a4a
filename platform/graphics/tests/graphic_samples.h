#pragma once
// Small image files built in memory for the graphics, picture and cache tests: icons,
// placeable WMF and EMF files.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace samples {

inline void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put16At(std::vector<std::uint8_t>& out, std::size_t at, unsigned v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32At(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    put16At(out, at, v & 0xFFFF);
    put16At(out, at + 2, v >> 16);
}

// One icon image: pixels as 0xAARRGGBB rows, top first; bpp 24 or 32, or 8 with a palette of
// the distinct colours; mask: one flag per pixel (true: transparent), empty for none.
struct IconImage {
    int Width, Height, Bpp;
    std::vector<std::uint32_t> Pixels;
    std::vector<bool> Mask;
    bool WithMaskRows = true;
};

inline std::vector<std::uint8_t> DibBytes(const IconImage& image) {
    std::vector<std::uint8_t> d;
    std::vector<std::uint32_t> palette;
    if (image.Bpp == 8)
        for (std::uint32_t p : image.Pixels)
            if (std::find(palette.begin(), palette.end(), p) == palette.end()) palette.push_back(p);
    put32(d, 40);
    put32(d, static_cast<std::uint32_t>(image.Width));
    put32(d, static_cast<std::uint32_t>(image.Height * 2));
    put16(d, 1);
    put16(d, static_cast<unsigned>(image.Bpp));
    for (int i = 0; i < 4; ++i)
        put32(d, 0); // compression, size, resolution
    put32(d, static_cast<std::uint32_t>(palette.size()));
    put32(d, 0);
    for (std::uint32_t p : palette)
        put32(d, p & 0xFFFFFF);
    const std::size_t stride = (static_cast<std::size_t>(image.Bpp) * image.Width + 31) / 32 * 4;
    for (int y = image.Height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < image.Width; ++x) {
            const std::uint32_t p = image.Pixels[static_cast<std::size_t>(y) * image.Width + x];
            if (image.Bpp == 8) {
                row[x] = static_cast<std::uint8_t>(std::find(palette.begin(), palette.end(), p) -
                                                   palette.begin());
            } else {
                const int n = image.Bpp / 8;
                for (int b = 0; b < n; ++b)
                    row[x * n + b] = static_cast<std::uint8_t>(p >> (8 * b));
            }
        }
        d.insert(d.end(), row.begin(), row.end());
    }
    if (!image.WithMaskRows) return d;
    const std::size_t maskStride = (static_cast<std::size_t>(image.Width) + 31) / 32 * 4;
    for (int y = image.Height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskStride, 0);
        for (int x = 0; x < image.Width; ++x)
            if (!image.Mask.empty() && image.Mask[static_cast<std::size_t>(y) * image.Width + x])
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        d.insert(d.end(), row.begin(), row.end());
    }
    return d;
}

// An .ico file holding the images' data blocks (DIBs, or any bytes such as a PNG file).
inline std::vector<std::uint8_t> IconFile(const std::vector<std::vector<std::uint8_t>>& blocks,
                                          const std::vector<std::pair<int, int>>& sizes,
                                          const std::vector<int>& bitCounts) {
    std::vector<std::uint8_t> f;
    put16(f, 0);
    put16(f, 1);
    put16(f, static_cast<unsigned>(blocks.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        f.push_back(static_cast<std::uint8_t>(sizes[i].first));
        f.push_back(static_cast<std::uint8_t>(sizes[i].second));
        f.push_back(0);
        f.push_back(0);
        put16(f, 1);
        put16(f, static_cast<unsigned>(bitCounts[i]));
        put32(f, static_cast<std::uint32_t>(blocks[i].size()));
        put32(f, offset);
        offset += static_cast<std::uint32_t>(blocks[i].size());
    }
    for (const auto& b : blocks)
        f.insert(f.end(), b.begin(), b.end());
    return f;
}

inline std::vector<std::uint8_t> IconFile(const std::vector<IconImage>& images) {
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::pair<int, int>> sizes;
    std::vector<int> bits;
    for (const IconImage& i : images) {
        blocks.push_back(DibBytes(i));
        sizes.emplace_back(i.Width, i.Height);
        bits.push_back(i.Bpp);
    }
    return IconFile(blocks, sizes, bits);
}

// A placeable WMF: a box in units of `inch` per inch, and a metafile of only its end record.
inline std::vector<std::uint8_t> PlaceableWmf(int left, int top, int right, int bottom, int inch) {
    std::vector<std::uint8_t> f;
    put32(f, 0x9AC6CDD7);
    put16(f, 0);
    put16(f, static_cast<unsigned>(left));
    put16(f, static_cast<unsigned>(top));
    put16(f, static_cast<unsigned>(right));
    put16(f, static_cast<unsigned>(bottom));
    put16(f, static_cast<unsigned>(inch));
    put32(f, 0);
    unsigned checksum = 0;
    for (std::size_t at = 0; at < 20; at += 2)
        checksum ^= f[at] | f[at + 1] << 8;
    put16(f, checksum);
    put16(f, 1);     // in memory
    put16(f, 9);     // header words
    put16(f, 0x300); // version
    put32(f, 9 + 3); // size in words: header and end record
    put16(f, 0);     // objects
    put32(f, 3);     // largest record
    put16(f, 0);
    put32(f, 3); // end record: 3 words, function 0
    put16(f, 0);
    return f;
}

// An EMF of its header and end record; the frame in hundredths of a millimetre.
inline std::vector<std::uint8_t> Emf(int frameRight, int frameBottom) {
    std::vector<std::uint8_t> f;
    put32(f, 1); // EMR_HEADER
    put32(f, 88);
    for (int v : {0, 0, 99, 49})
        put32(f, static_cast<std::uint32_t>(v)); // bounds
    for (int v : {0, 0, frameRight, frameBottom})
        put32(f, static_cast<std::uint32_t>(v));
    put32(f, 0x464D4520);
    put32(f, 0x10000);
    put32(f, 88 + 20); // bytes
    put32(f, 2);       // records
    put16(f, 1);
    put16(f, 0);
    put32(f, 0); // description
    put32(f, 0);
    put32(f, 0);    // palette entries
    put32(f, 1024); // device in pixels
    put32(f, 768);
    put32(f, 320); // device in millimetres
    put32(f, 240);
    put32(f, 14); // EMR_EOF
    put32(f, 20);
    put32(f, 0);
    put32(f, 0);
    put32(f, 20);
    return f;
}

} // namespace samples
