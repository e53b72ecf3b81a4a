// The TIFF and GIF writers: their bytes against golden files and the layouts they promise, and
// what independent readers (libtiff's and giflib's tools, ImageMagick) make of them.

#include "export/image_writers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/bitmap.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Golden(const std::string& name) {
    return std::string(LUMETRA_TESTDATA_DIR) + "/golden/" + name;
}

std::uint32_t Opaque(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | g << 8 | b;
}

std::uint32_t ArgbOf(TColor c) {
    return Opaque(GetRValue(c), GetGValue(c), GetBValue(c));
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
    return U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes StreamBytes(TMemoryStream& s) {
    return Bytes(s.Memory(), s.Memory() + s.Size());
}

// A bitmap painted through its rows, then put into format.
TBitmap Painted(int width, int height, TPixelFormat format,
                const std::function<std::uint32_t(int, int)>& color) {
    TBitmap bmp(width, height, format == pf32bit ? pf32bit : pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bmp.ScanLine(y)[x] = color(x, y);
    bmp.SetPixelFormat(format);
    return bmp;
}

// ImageMagick's command, or empty when it is not installed (/usr/local/bin/convert may be a
// stand-in, so the real one is named).
std::string Magick() {
    if (HaveTool("magick")) return "magick";
    if (HaveTool("/usr/bin/convert")) return "/usr/bin/convert";
    return {};
}

// The image decoded by ImageMagick as 8-bit RGB pixels (0xFFRRGGBB); `deep` decodes at 16 bits
// and keeps the high byte of each sample, which is exact for colour maps scaled by 256.
std::vector<std::uint32_t> DecodeWithMagick(const TempDir& dir, const std::string& file,
                                            bool deep) {
    const std::string raw = dir / "decoded.rgb";
    int status = -1;
    const std::string log =
        RunTool(Magick() + " '" + file + "'" + (deep ? " -depth 16 -endian LSB" : " -depth 8") +
                    " 'rgb:" + raw + "'",
                &status);
    EXPECT_EQ(status, 0) << log;
    const Bytes data = ToBytes(TempDir::ReadAll(raw));
    const std::size_t sample = deep ? 2 : 1, high = deep ? 1 : 0;
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i + 3 * sample <= data.size(); i += 3 * sample)
        pixels.push_back(
            Opaque(data[i + high], data[i + sample + high], data[i + 2 * sample + high]));
    return pixels;
}

std::vector<std::uint32_t> OpaquePixels(const TBitmap& bmp) {
    std::vector<std::uint32_t> out = bmp.ToImage().Pixels;
    for (auto& p : out)
        p |= 0xFF000000u;
    return out;
}

// ---- TIFF

struct TiffEntry {
    std::uint16_t Type = 0;
    std::uint32_t Count = 0, Value = 0;
};

// The IFD's entries by tag, read the way a reader reads them.
std::map<std::uint16_t, TiffEntry> ReadIFD(const Bytes& tiff,
                                           std::vector<std::uint16_t>* order = nullptr) {
    std::map<std::uint16_t, TiffEntry> entries;
    const std::uint32_t at = U32(tiff, 4);
    const int count = U16(tiff, at);
    for (int i = 0; i < count; ++i) {
        const std::size_t e = at + 2 + 12 * static_cast<std::size_t>(i);
        const std::uint16_t type = U16(tiff, e + 2);
        const std::uint32_t n = U32(tiff, e + 4);
        entries[U16(tiff, e)] = {type, n,
                                 type == 3 && n == 1 ? U16(tiff, e + 8) : U32(tiff, e + 8)};
        if (order) order->push_back(U16(tiff, e));
    }
    EXPECT_EQ(U32(tiff, at + 2 + 12 * static_cast<std::size_t>(count)), 0u) << "one image only";
    return entries;
}

// The four layouts; each colour a format holds exactly, so every reader must give it back.
TBitmap Mono(int width, int height) {
    return Painted(width, height, pf1bit, [](int x, int y) {
        return ((x % 7) * (x % 7) + 3 * y) % 7 < 3 ? Opaque(0, 0, 0) : Opaque(255, 255, 255);
    });
}
TBitmap Rgb(int width, int height, TPixelFormat format) {
    return Painted(width, height, format, [](int x, int y) {
        return Opaque(40 * x + 7, 255 - 30 * y, (x * 50 + y * 90) % 256);
    });
}
TBitmap Indexed(int width, int height, TPixelFormat format) {
    const int colors = format == pf4bit ? 16 : 256;
    return Painted(width, height, format, [=](int x, int y) {
        const int i = (x * 7 + y * 3) % colors;
        return Opaque((i * 53) % 256, 255 - i, (i * 29) % 256);
    });
}

} // namespace

TEST(TiffWriter, LayoutsMatchTheirGoldenFilesAndDecodeExactly) {
    struct Case {
        const char* Name;
        std::function<TBitmap()> Make;
        const char* GoldenFile; // null: layout checks only
        std::uint32_t DataAt, RowBytes, IfdAt;
        int Entries;
        int Depth;
    };
    const Case cases[] = {
        {"mono 100 x 50", [] { return Mono(100, 50); }, "mono_100x50.tif", 34, 13, 688, 14, 1},
        {"24-bit, 3 wide", [] { return Rgb(3, 2, pf24bit); }, "rgb24_3x2.tif", 40, 9, 58, 15, 24},
        {"8-bit palette", [] { return Indexed(5, 4, pf8bit); }, "pal8_5x4.tif", 1570, 5, 1590, 15,
         8},
        {"4-bit palette", [] { return Indexed(8, 3, pf4bit); }, "pal4_8x3.tif", 130, 4, 142, 15, 4},
        // Pixel data of odd length: one fill byte keeps the IFD on a word boundary.
        {"24-bit, odd data", [] { return Rgb(3, 3, pf24bit); }, nullptr, 40, 9, 68, 15, 24},
        {"8-bit, odd data", [] { return Indexed(3, 1, pf8bit); }, nullptr, 1570, 3, 1574, 15, 8},
        // A 4-bit width that is not a multiple of 4 keeps all its columns.
        {"4-bit, 5 wide", [] { return Indexed(5, 3, pf4bit); }, nullptr, 130, 3, 140, 15, 4},
        {"32-bit", [] { return Rgb(2, 2, pf32bit); }, nullptr, 40, 6, 52, 15, 32},
        {"15-bit", [] { return Rgb(2, 2, pf15bit); }, nullptr, 40, 6, 52, 15, 16},
        // Wider than a SHORT holds: the width becomes a LONG.
        {"mono 70000 wide", [] { return Mono(70000, 1); }, nullptr, 34, 8750, 8788, 14, 1},
    };
    const bool tools = HaveTool("tiffinfo") && !Magick().empty();
    if (!tools)
        std::printf("tiffinfo or ImageMagick is missing: the TIFF files are not checked by them\n");
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap bmp = c.Make();
        TMemoryStream stream;
        WriteTIFF(96, stream, bmp);
        const Bytes tiff = StreamBytes(stream);
        if (c.GoldenFile) {
            const std::string golden = Golden(c.GoldenFile);
            if (std::getenv("LUMETRA_UPDATE_GOLDEN"))
                TempDir::WriteAll(golden, std::string(tiff.begin(), tiff.end()));
            EXPECT_EQ(tiff, ToBytes(TempDir::ReadAll(golden)));
        }

        ASSERT_GE(tiff.size(), 8u);
        EXPECT_EQ(Bytes(tiff.begin(), tiff.begin() + 4), (Bytes{'I', 'I', 42, 0}));
        ASSERT_EQ(U32(tiff, 4), c.IfdAt);
        std::vector<std::uint16_t> order;
        auto ifd = ReadIFD(tiff, &order);
        EXPECT_EQ(order.size(), static_cast<std::size_t>(c.Entries));
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
        const auto w = static_cast<std::uint32_t>(bmp.Width()),
                   h = static_cast<std::uint32_t>(bmp.Height());
        EXPECT_EQ(ifd[256].Value, w);
        EXPECT_EQ(ifd[256].Type, w > 0xFFFF ? 4 : 3);
        EXPECT_EQ(ifd[257].Value, h);
        EXPECT_EQ(ifd[273].Value, c.DataAt);
        EXPECT_EQ(ifd[278].Value, h);
        EXPECT_EQ(ifd[279].Value, c.RowBytes * h);
        EXPECT_EQ(ifd[296].Value, 2u);
        for (std::uint16_t tag : {282, 283}) {
            EXPECT_EQ(U32(tiff, ifd[tag].Value), 960u);
            EXPECT_EQ(U32(tiff, ifd[tag].Value + 4), 10u);
        }
        EXPECT_EQ(ifd[305].Count, 10u);
        EXPECT_EQ(std::string(tiff.begin() + ifd[305].Value, tiff.begin() + ifd[305].Value + 10),
                  "Pagewright");
        if (c.Depth == 4 || c.Depth == 8) {
            EXPECT_EQ(ifd[320].Count, 3u << c.Depth);
            EXPECT_EQ(ifd[320].Value, 8u);
            EXPECT_EQ(ifd[258].Value, static_cast<std::uint32_t>(c.Depth));
        } else if (c.Depth > 8) {
            EXPECT_EQ(ifd[258].Count, 3u);
            EXPECT_EQ(Bytes(tiff.begin() + ifd[258].Value, tiff.begin() + ifd[258].Value + 6),
                      (Bytes{8, 0, 8, 0, 8, 0}));
        }
        if (c.Depth == 1) {
            EXPECT_EQ(U32(tiff, c.DataAt + c.RowBytes * h), 0u) << "four zero bytes after the rows";
        }
        if (c.IfdAt > c.DataAt + c.RowBytes * h + (c.Depth == 1 ? 4 : 0)) {
            EXPECT_EQ(tiff[c.IfdAt - 1], 0) << "the fill byte";
        }

        if (!tools) continue;
        const std::string file = dir / "image.tif";
        TempDir::WriteAll(file, std::string(tiff.begin(), tiff.end()));
        int status = -1;
        const std::string info = RunTool("tiffinfo '" + file + "'", &status);
        EXPECT_EQ(status, 0) << info;
        // The Software text has no terminating zero byte, as the layout has it; readers only
        // remark on that. Anything else they say is a fault.
        std::string remarks;
        std::istringstream lines(info);
        for (std::string line; std::getline(lines, line);)
            if (line.find("tag \"Software\" does not end in null byte") == std::string::npos)
                remarks += line + "\n";
        EXPECT_EQ(remarks.find("arning"), std::string::npos) << info;
        EXPECT_EQ(remarks.find("rror"), std::string::npos) << info;
        EXPECT_NE(info.find("Resolution: 96, 96 pixels/inch"), std::string::npos) << info;

        if (bmp.Width() > 16384)
            continue; // past the decoder's usual policy limit; libtiff has read it
        std::vector<std::uint32_t> expected = OpaquePixels(bmp);
        if (c.Depth == 16) // five bits a channel, widened as c * 8 + 7
            for (auto& p : expected)
                p = Opaque(((p >> 19) & 31) * 8 + 7, ((p >> 11) & 31) * 8 + 7,
                           ((p >> 3) & 31) * 8 + 7);
        EXPECT_EQ(DecodeWithMagick(dir, file, true), expected);
    }
}

TEST(TiffWriter, ResolutionIsWrittenInTenthsWhileItFits) {
    struct Case {
        int Dpi;
        std::uint32_t Numerator, Denominator;
    };
    for (const Case c :
         {Case{96, 960, 10}, Case{300, 3000, 10}, Case{6553, 65530, 10}, Case{7200, 7200, 1}}) {
        SCOPED_TRACE(c.Dpi);
        TBitmap bmp = Mono(8, 1);
        TMemoryStream stream;
        WriteTIFF(c.Dpi, stream, bmp);
        const Bytes tiff = StreamBytes(stream);
        for (std::uint16_t tag : {282, 283}) {
            const std::uint32_t at = ReadIFD(tiff)[tag].Value;
            EXPECT_EQ(U32(tiff, at), c.Numerator);
            EXPECT_EQ(U32(tiff, at + 4), c.Denominator);
        }
    }
    TBitmap bmp = Mono(8, 1);
    TMemoryStream stream;
    EXPECT_THROW(WriteTIFF(0, stream, bmp), EInvalidArgument);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(TiffWriter, OffsetsCountFromWhereTheImageStarts) {
    TBitmap bmp = Indexed(5, 4, pf8bit);
    TMemoryStream alone;
    WriteTIFF(96, alone, bmp);

    // A second image in the same stream is whole in itself, and the first is left alone.
    TMemoryStream both;
    WriteTIFF(96, both, bmp);
    const std::int64_t second = both.Position();
    EXPECT_EQ(second, alone.Size()) << "the stream is left at the end of the image";
    WriteTIFF(96, both, bmp);
    const Bytes all = StreamBytes(both);
    EXPECT_EQ(Bytes(all.begin(), all.begin() + second), StreamBytes(alone));
    EXPECT_EQ(Bytes(all.begin() + second, all.end()), StreamBytes(alone));

    // An empty bitmap has no copy to write from: nothing is written.
    TBitmap empty;
    TMemoryStream none;
    WriteTIFF(96, none, empty);
    EXPECT_EQ(none.Size(), 0);
}

// ---- GIF

namespace {

struct GifCodes {
    std::vector<std::uint8_t> Pixels;
    std::vector<std::size_t> ClearAt; // the positions of clear codes among all codes
    std::size_t Codes = 0;
    int WidestCode = 0;
    bool Ended = false;
    std::string Error;
};

// An LZW decoder as a GIF reader has it, independent of the encoder: codes grow from 9 bits
// when the table reaches the current width's limit, up to 12.
GifCodes DecodeLzw(const Bytes& data) {
    GifCodes out;
    std::vector<int> prefix(4096, -1);
    std::vector<std::uint8_t> suffix(4096);
    for (int i = 0; i < 256; ++i)
        suffix[i] = static_cast<std::uint8_t>(i);
    int width = 9, next = 258, previous = -1;
    std::size_t bit = 0;
    const auto text = [&](int code) {
        std::vector<std::uint8_t> s;
        for (; code >= 0; code = prefix[code])
            s.push_back(suffix[code]);
        return std::vector<std::uint8_t>(s.rbegin(), s.rend());
    };
    while (bit + width <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        out.WidestCode = std::max(out.WidestCode, width);
        ++out.Codes;
        if (code == 256) {
            out.ClearAt.push_back(out.Codes - 1);
            width = 9, next = 258, previous = -1;
            continue;
        }
        if (code == 257) {
            out.Ended = true;
            break;
        }
        std::vector<std::uint8_t> s;
        if (previous < 0) {
            if (code > 255) return out.Error = "first code after a clear is not a pixel", out;
            s = text(code);
        } else if (code < next) {
            s = text(code);
        } else if (code == next) {
            s = text(previous);
            s.push_back(s.front());
        } else {
            return out.Error = "code " + std::to_string(code) + " beyond the table", out;
        }
        if (previous >= 0 && next < 4096) {
            prefix[next] = previous;
            suffix[next] = s.front();
            ++next;
        }
        if (next == (1 << width) && width < 12) ++width;
        out.Pixels.insert(out.Pixels.end(), s.begin(), s.end());
        previous = code;
    }
    return out;
}

struct GifFile {
    Bytes ScreenDescriptor; // width, height, flags, background, aspect
    Bytes ColorTable;
    Bytes Extensions; // everything between the table and the image descriptor
    Bytes ImageDescriptor;
    int MinCodeSize = 0;
    std::vector<std::size_t> BlockSizes;
    Bytes Data; // the sub-blocks joined
    Bytes Tail; // after the data sub-blocks' terminator
};

GifFile SplitGif(const Bytes& gif) {
    GifFile f;
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
    std::size_t at = 6;
    f.ScreenDescriptor.assign(gif.begin() + 6, gif.begin() + 13);
    at = 13 + 768;
    f.ColorTable.assign(gif.begin() + 13, gif.begin() + static_cast<std::ptrdiff_t>(at));
    const std::size_t extensions = at;
    while (at < gif.size() && gif[at] == 0x21) {
        at += 2;
        while (gif.at(at))
            at += gif[at] + 1u;
        ++at;
    }
    f.Extensions.assign(gif.begin() + static_cast<std::ptrdiff_t>(extensions),
                        gif.begin() + static_cast<std::ptrdiff_t>(at));
    f.ImageDescriptor.assign(gif.begin() + static_cast<std::ptrdiff_t>(at),
                             gif.begin() + static_cast<std::ptrdiff_t>(at + 10));
    at += 10;
    f.MinCodeSize = gif.at(at++);
    while (gif.at(at)) {
        const std::size_t n = gif[at];
        f.BlockSizes.push_back(n);
        f.Data.insert(f.Data.end(), gif.begin() + static_cast<std::ptrdiff_t>(at + 1),
                      gif.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
        at += n + 1;
    }
    f.Tail.assign(gif.begin() + static_cast<std::ptrdiff_t>(at + 1), gif.end());
    return f;
}

Bytes WriteGifBytes(TBitmap& bmp) {
    TMemoryStream stream;
    WriteGIF(stream, bmp);
    return StreamBytes(stream);
}

} // namespace

TEST(GifWriter, OnePixelIsClearPixelEndInOneSubBlock) {
    TBitmap bmp = Painted(1, 1, pf24bit, [](int, int) { return Opaque(10, 20, 30); });
    const Bytes gif = WriteGifBytes(bmp);
    EXPECT_EQ(bmp.PixelFormat(), pf8bit) << "the bitmap is left 8-bit";

    Bytes expected = ToBytes("GIF89a");
    for (int b : {1, 0, 1, 0, 0xE7, 0, 0})
        expected.push_back(static_cast<std::uint8_t>(b));
    Bytes table(768, 0);
    table[0] = 10, table[1] = 20, table[2] = 30;
    expected.insert(expected.end(), table.begin(), table.end());
    for (int b : {0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x21, 0xFE, 10})
        expected.push_back(static_cast<std::uint8_t>(b));
    const Bytes name = ToBytes("Pagewright");
    expected.insert(expected.end(), name.begin(), name.end());
    // Codes 256, 0, 257 at 9 bits each: 27 bits, least significant first, in 4 bytes.
    for (int b : {0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 8, 4, 0x00, 0x01, 0x04, 0x04, 0, 0x3B})
        expected.push_back(static_cast<std::uint8_t>(b));
    EXPECT_EQ(gif, expected);
}

TEST(GifWriter, NoiseFillsTheCodeTableWhichIsClearedMidStream) {
    // Random colours: well over 256 of them, and pairs rarely repeat, so the table fills.
    std::mt19937 random(7);
    TBitmap bmp =
        Painted(160, 120, pf24bit, [&](int, int) { return 0xFF000000u | (random() & 0xFFFFFF); });
    const Bytes gif = WriteGifBytes(bmp);
    ASSERT_EQ(bmp.Palette().size(), 256u);
    const std::vector<std::uint8_t> indices = bmp.PixelIndices();

    const GifFile f = SplitGif(gif);
    EXPECT_EQ(f.MinCodeSize, 8);
    ASSERT_FALSE(f.BlockSizes.empty());
    for (std::size_t i = 0; i + 1 < f.BlockSizes.size(); ++i)
        ASSERT_EQ(f.BlockSizes[i], 254u) << i;
    EXPECT_LE(f.BlockSizes.back(), 254u);
    EXPECT_EQ(f.Tail, (Bytes{0x3B}));

    const GifCodes codes = DecodeLzw(f.Data);
    EXPECT_EQ(codes.Error, "");
    EXPECT_TRUE(codes.Ended);
    EXPECT_EQ(codes.Pixels, indices);
    EXPECT_EQ(codes.WidestCode, 12);
    ASSERT_GE(codes.ClearAt.size(), 2u);
    EXPECT_EQ(codes.ClearAt.front(), 0u);
    EXPECT_GT(codes.ClearAt[1], 0u);
    EXPECT_LT(codes.ClearAt.back(), codes.Codes - 2) << "a clear in the middle of the stream";

    if (Magick().empty()) GTEST_SKIP() << "ImageMagick is missing: the decode is not checked";
    TempDir dir;
    TempDir::WriteAll(dir / "noise.gif", std::string(gif.begin(), gif.end()));
    EXPECT_EQ(DecodeWithMagick(dir, dir / "noise.gif", false), OpaquePixels(bmp))
        << "the decode is the reduced bitmap";
}

TEST(GifWriter, PatternMatchesItsGoldenFileAndReadersAgree) {
    TBitmap bmp = Indexed(97, 41, pf24bit);
    const Bytes gif = WriteGifBytes(bmp);
    const std::string golden = Golden("pattern_97x41.gif");
    if (std::getenv("LUMETRA_UPDATE_GOLDEN"))
        TempDir::WriteAll(golden, std::string(gif.begin(), gif.end()));
    EXPECT_EQ(gif, ToBytes(TempDir::ReadAll(golden)));

    const GifFile f = SplitGif(gif);
    EXPECT_EQ(f.ScreenDescriptor, (Bytes{97, 0, 41, 0, 0xE7, 0, 0}));
    EXPECT_EQ(f.ImageDescriptor, (Bytes{0x2C, 0, 0, 0, 0, 97, 0, 41, 0, 0}));
    const std::vector<TColor> palette = bmp.Palette();
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint32_t rgb = i < palette.size() ? ArgbOf(palette[i]) & 0xFFFFFF : 0;
        ASSERT_EQ(Opaque(f.ColorTable[3 * i], f.ColorTable[3 * i + 1], f.ColorTable[3 * i + 2]),
                  0xFF000000u | rgb)
            << i;
    }
    EXPECT_EQ(DecodeLzw(f.Data).Pixels, bmp.PixelIndices());

    if (!HaveTool("giftext") || Magick().empty())
        GTEST_SKIP() << "giftext or ImageMagick is missing";
    TempDir dir;
    const std::string file = dir / "pattern.gif";
    TempDir::WriteAll(file, std::string(gif.begin(), gif.end()));
    int status = -1;
    const std::string text = RunTool("giftext '" + file + "'", &status);
    EXPECT_EQ(status, 0) << text;
    for (const char* part : {"Screen Size - Width = 97, Height = 41.", "BitsPerPixel = 8",
                             "Has Global Color Map.", "GIF89 graphics control (Ext Code = 249",
                             "Transparency on: no", "GIF89 comment (Ext Code = 254",
                             "Image Size - Left = 0, Top = 0, Width = 97, Height = 41.",
                             "Image is Non Interlaced.", "GIF file terminated normally."})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(DecodeWithMagick(dir, file, false), OpaquePixels(bmp));
}

TEST(GifWriter, ImagesAGifCannotHoldRaiseBeforeAnythingIsWritten) {
    TBitmap wide = Mono(70000, 1);
    TMemoryStream stream;
    EXPECT_THROW(WriteGIF(stream, wide), EInvalidGraphicOperation);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(wide.PixelFormat(), pf1bit);

    // No pixels at all: a clear code and the end code, nothing else.
    TBitmap empty;
    const GifFile f = SplitGif(WriteGifBytes(empty));
    const GifCodes codes = DecodeLzw(f.Data);
    EXPECT_TRUE(codes.Ended);
    EXPECT_EQ(codes.Codes, 2u);
    EXPECT_TRUE(codes.Pixels.empty());
}

TEST(GifWriter, SaveGIFToFileReplacesTheFileWholeOrNotAtAll) {
    TempDir dir;
    TBitmap bmp = Indexed(6, 5, pf24bit);
    const std::string target = dir / "picture.gif";
    TempDir::WriteAll(target, "old");
    SaveGIFToFile(target, bmp);
    TBitmap again = Indexed(6, 5, pf24bit);
    EXPECT_EQ(ToBytes(TempDir::ReadAll(target)), WriteGifBytes(again));

    TempDir::WriteAll(target, "old");
    SetSafeFileFailureForTesting(ENOSPC);
    EXPECT_THROW(SaveGIFToFile(target, bmp), EWriteError);
    SetSafeFileFailureForTesting(0);
    EXPECT_EQ(TempDir::ReadAll(target), "old");
    EXPECT_EQ(dir.EntryCount(), 1u) << "no half-written file is left behind";

    EXPECT_THROW(SaveGIFToFile(dir / "missing/picture.gif", bmp), EFCreateError);
    EXPECT_EQ(dir.EntryCount(), 1u);
}
