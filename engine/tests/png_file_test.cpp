// File structure: the chunk loop, the chunks kept, dropped and rebuilt, and every way a damaged
// file is refused.

#include <gtest/gtest.h>

#include <functional>

#include "engine/png_object.h"
#include "engine/tests/png_test_helpers.h"
#include "platform/graphics/picture.h"

namespace {

// A valid 2 x 2 8-bit grey image with `extra` between header and data.
Bytes Grey2x2(const std::function<void(PngBuilder&)>& extra = {}) {
    PngBuilder b;
    b.Header(2, 2, 8, COLOR_GRAYSCALE);
    if (extra) extra(b);
    return b.Rows(2, 2, 0x80).End().bytes();
}

std::vector<std::string> ChunkNames(const TPNGObject& png) {
    std::vector<std::string> names;
    for (const auto& c : png.Chunks())
        names.push_back(c->Name());
    return names;
}

// The chunk types of a file, in order.
std::vector<std::string> FileChunks(const Bytes& file) {
    std::vector<std::string> names;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t n =
            (file[at] << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        names.emplace_back(file.begin() + at + 4, file.begin() + at + 8);
        at += 12 + n;
    }
    return names;
}

struct CorruptCase {
    const char* name;
    std::function<Bytes()> file;
    const char* exceptionClass;
    std::string message;
};

const std::string kPng = "\"Portable Network Graphics\"";

std::vector<CorruptCase> CorruptCases() {
    const Bytes goodRow = Deflate({0, 1, 2, 0, 3, 4});
    Bytes truncatedZlib = goodRow;
    truncatedZlib.resize(truncatedZlib.size() - 6);
    Bytes badZlib = goodRow;
    badZlib[0] = 0x00; // not a zlib header
    return {
        {"Signature",
         [] {
             Bytes f = Grey2x2();
             f[1] = 'Q';
             return f;
         },
         "EPNGInvalidFileHeader",
         "The file being readed is not a valid " + kPng +
             " image because it contains an invalid header. This file may be corruped, try "
             "obtaining it again."},
        {"ShortSignature",
         [] {
             return Bytes{0x89, 'P', 'N'};
         },
         "EPNGInvalidFileHeader",
         "The file being readed is not a valid " + kPng +
             " image because it contains an invalid header. This file may be corruped, try "
             "obtaining it again."},
        {"PaletteFirst",
         [] {
             return PngBuilder().Chunk("PLTE", {0, 0, 0}).End().bytes();
         },
         "EPNGIHDRNotFirst",
         "This " + kPng +
             " image is not supported or it might be invalid.\r\n(IHDR chunk is not the first)"},
        {"NoChunks", [] { return PngBuilder().bytes(); }, "EPngUnexpectedEnd",
         "This " + kPng +
             " image is invalid because the decoder found an unexpected end of the file."},
        {"NoEnd",
         [] {
             Bytes f = Grey2x2();
             f.resize(f.size() - 12);
             return f;
         },
         "EPngUnexpectedEnd",
         "This " + kPng +
             " image is invalid because the decoder found an unexpected end of the file."},
        {"CutInsideChunk",
         [] {
             Bytes f = Grey2x2();
             f.resize(8 + 25 + 10);
             return f;
         },
         "EPngUnexpectedEnd",
         "This " + kPng +
             " image is invalid because the decoder found an unexpected end of the file."},
        {"HugeChunkLength",
         [] {
             return PngBuilder()
                 .Header(2, 2, 8, 0)
                 .Raw({0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 1, 2})
                 .bytes();
         },
         "EPngUnexpectedEnd",
         "This " + kPng +
             " image is invalid because the decoder found an unexpected end of the file."},
        {"HeaderCrc",
         [] {
             Bytes f = Grey2x2();
             f[8 + 21] ^= 0xFF;
             return f;
         },
         "EPngInvalidCRC",
         "This " + kPng +
             " image is not valid because it contains invalid pieces of data (crc error)"},
        {"ImageDataCrc",
         [] {
             Bytes f = Grey2x2();
             f[f.size() - 13] ^= 1;
             return f;
         },
         "EPngInvalidCRC",
         "This " + kPng +
             " image is not valid because it contains invalid pieces of data (crc error)"},
        {"ShortHeader",
         [] {
             return PngBuilder()
                 .Chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, 0, 0, 0})
                 .Rows(2, 2)
                 .End()
                 .bytes();
         },
         "EPngInvalidIHDR",
         "The " + kPng +
             " image could not be loaded because one of its main piece of data (ihdr) might be "
             "corrupted"},
        {"ForbiddenDepth",
         [] { return PngBuilder().Header(2, 2, 4, COLOR_RGB).Rows(2, 3).End().bytes(); },
         "EPngInvalidIHDR",
         "The " + kPng +
             " image could not be loaded because one of its main piece of data (ihdr) might be "
             "corrupted"},
        {"SecondHeader", [] { return Grey2x2([](PngBuilder& b) { b.Header(9, 9, 8, 0); }); },
         "EPngInvalidIHDR",
         "The " + kPng +
             " image could not be loaded because one of its main piece of data (ihdr) might be "
             "corrupted"},
        {"ZeroWidth", [] { return PngBuilder().Header(0, 2, 8, 0).Rows(2, 0).End().bytes(); },
         "EPngInvalidIHDR",
         "The " + kPng +
             " image could not be loaded because one of its main piece of data (ihdr) might be "
             "corrupted"},
        {"Width65536",
         [] { return PngBuilder().Header(65536, 1, 8, 0).Rows(1, 65536).End().bytes(); },
         "EPNGSizeExceeds",
         "This " + kPng +
             " image is not supported because either it's width or height exceeds the maximum "
             "size, which is 65535 "
             "pixels length."},
        {"Huge65535Square",
         [] {
             return PngBuilder().Header(65535, 65535, 8, COLOR_RGBALPHA).Rows(1, 4).End().bytes();
         },
         "EPNGSizeExceeds",
         "This " + kPng +
             " image is not supported because either it's width or height exceeds the maximum "
             "size, which is 65535 "
             "pixels length."},
        {"OneBitImageTooBigToDraw",
         [] {
             // Small as held (1 bit a pixel), but 1.6 GB once drawn at 32 bits a pixel.
             return PngBuilder()
                 .Header(20000, 20000, 1, 0)
                 .Chunk("tEXt", Bytes(50000, 'x'))
                 .Rows(1, 4)
                 .End()
                 .bytes();
         },
         "EPNGSizeExceeds",
         "This " + kPng +
             " image is not supported because either it's width or height exceeds the maximum "
             "size, which is 65535 "
             "pixels length."},
        {"ImageCannotFitInFile",
         [] { return PngBuilder().Header(16000, 16000, 1, 0).Rows(1, 4).End().bytes(); },
         "EPngUnexpectedEnd",
         "This " + kPng +
             " image is invalid because the decoder found an unexpected end of the file."},
        {"Compression", [] { return PngBuilder().Header(2, 2, 8, 0, 1).Rows(2, 2).End().bytes(); },
         "EPNGUnknownCompression",
         "This " + kPng +
             " image is encoded with an unknown compression scheme which could not be decoded."},
        {"Interlace", [] { return PngBuilder().Header(2, 2, 8, 0, 0, 2).Rows(2, 2).End().bytes(); },
         "EPNGUnknownInterlace",
         "This " + kPng + " image uses an unknown interlace scheme which could not be decoded."},
        {"UnknownCritical", [] { return Grey2x2([](PngBuilder& b) { b.Chunk("ABCD", {1}); }); },
         "EPNGUnknownCriticalChunk",
         "This " + kPng + " image contains an unknown critical part which could not be decoded."},
        {"NoImageData", [] { return PngBuilder().Header(2, 2, 8, 0).End().bytes(); },
         "EPNGNoImageData", "This " + kPng + " image contains no data."},
        {"ImageDataInterrupted",
         [=] {
             return PngBuilder()
                 .Header(2, 2, 8, 0)
                 .Chunk("IDAT", Bytes(goodRow.begin(), goodRow.begin() + 4))
                 .Chunk("tEXt", {'a', 0, 'b'})
                 .Chunk("IDAT", Bytes(goodRow.begin() + 4, goodRow.end()))
                 .End()
                 .bytes();
         },
         "EPNGMissingMultipleIDAT",
         "This " + kPng + " image is invalid because it has missing image parts."},
        {"ImageDataTooShort",
         [] { return PngBuilder().Header(2, 3, 8, 0).Rows(2, 2).End().bytes(); },
         "EPNGMissingMultipleIDAT",
         "This " + kPng + " image is invalid because it has missing image parts."},
        {"CompressedDataCut",
         [=] { return PngBuilder().Header(2, 2, 8, 0).Chunk("IDAT", truncatedZlib).End().bytes(); },
         "EPNGMissingMultipleIDAT",
         "This " + kPng + " image is invalid because it has missing image parts."},
        {"CompressedDataDamaged",
         [=] { return PngBuilder().Header(2, 2, 8, 0).Chunk("IDAT", badZlib).End().bytes(); },
         "EPNGZLIBError",
         "Could not decompress the image because it contains invalid compressed data.\r\n "
         "Description: data error (-3)"},
        {"PaletteNotTriples",
         [] {
             return PngBuilder()
                 .Header(2, 2, 8, 3)
                 .Chunk("PLTE", Bytes(769, 1))
                 .Rows(2, 2)
                 .End()
                 .bytes();
         },
         "EPNGInvalidPalette", "The " + kPng + " image contains an invalid palette."},
        {"PaletteTooLong",
         [] {
             return PngBuilder()
                 .Header(2, 2, 8, 3)
                 .Chunk("PLTE", Bytes(771, 1))
                 .Rows(2, 2)
                 .End()
                 .bytes();
         },
         "EPNGInvalidPalette", "The " + kPng + " image contains an invalid palette."},
        {"TransparencyTooLong",
         [] {
             return PngBuilder()
                 .Header(2, 2, 8, 3)
                 .Chunk("PLTE", Bytes(6, 1))
                 .Chunk("tRNS", Bytes(257, 1))
                 .Rows(2, 2)
                 .End()
                 .bytes();
         },
         "EPNGInvalidPalette", "The " + kPng + " image contains an invalid palette."},
    };
}

TEST(PngFile, DamagedFilesRaiseTheCodecsErrors) {
    for (const auto& c : CorruptCases()) {
        SCOPED_TRACE(c.name);
        TPNGObject png;
        try {
            png.LoadFromBytes(c.file());
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.ClassName(), c.exceptionClass);
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

// Rewrites every chunk's CRC, so damage inside chunk data reaches the code behind the CRC test.
void FixCrcs(Bytes& f) {
    for (std::size_t at = 8; at + 12 <= f.size();) {
        const std::uint32_t n = (f[at] << 24) | (f[at + 1] << 16) | (f[at + 2] << 8) | f[at + 3];
        if (n > f.size() - at - 12) return;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &f[at + 4], 4 + n));
        for (int i = 0; i < 4; ++i)
            f[at + 8 + n + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += 12 + n;
    }
}

TEST(PngFile, ArbitraryDamageGivesErrorsNeverCrashes) {
    for (const char* name : {"pal2_i.png", "rgba16_n.png", "ancillary.png"}) {
        const Bytes good = ReadFixture(name);
        int failures = 0;
        for (std::size_t cut = 0; cut < good.size(); cut += 3) {
            TPNGObject png;
            try {
                png.LoadFromBytes(Bytes(good.begin(), good.begin() + cut));
            } catch (const Exception&) {
                ++failures;
            }
        }
        EXPECT_EQ(failures, static_cast<int>((good.size() + 2) / 3)) << name;
        std::uint32_t state = 7;
        for (int round = 0; round < 400; ++round) {
            Bytes bad = good;
            for (int k = 0; k < 3; ++k) {
                state = state * 1103515245u + 12345u;
                bad[8 + (state >> 8) % (bad.size() - 8)] ^=
                    static_cast<std::uint8_t>(1u << (state >> 4) % 8);
            }
            FixCrcs(bad);
            TPNGObject png;
            try {
                png.LoadFromBytes(bad);
                png.SaveToBytes();
                png.ToImage();
            } catch (const Exception&) {
            }
        }
    }
}

TEST(PngFile, AFailureKeepsTheChunksReadBeforeIt) {
    const Bytes file = Grey2x2([](PngBuilder& b) {
        b.Chunk("tEXt", {'a', 0, 'b'}).Chunk("tIME", Bytes(7, 1), true);
    });
    TPNGObject png;
    EXPECT_THROW(png.LoadFromBytes(file), EPngInvalidCRC);
    EXPECT_EQ(ChunkNames(png), (std::vector<std::string>{"IHDR", "tEXt", "tIME"}));
    // A picture keeps what it held when the new data is damaged.
    RegisterPNGGraphicClass();
    TPicture picture;
    picture.LoadFromBytes(Grey2x2());
    EXPECT_THROW(picture.LoadFromBytes(file), EPngInvalidCRC);
    EXPECT_EQ(picture.Width(), 2);
}

TEST(PngFile, KeepsDropsAndRebuildsChunks) {
    TPNGObject png;
    png.LoadFromBytes(ReadFixture("ancillary.png"));
    // cHRM is dropped; the unregistered bKGD is held raw.
    EXPECT_EQ(ChunkNames(png), (std::vector<std::string>{"IHDR", "bKGD", "tEXt", "zTXt", "tIME",
                                                         "pHYs", "IDAT", "IEND"}));
    auto* text = png.Chunks().FirstOfClass<TChunkzTXt>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Keyword, "Comment");
    EXPECT_EQ(text->Text, "made by hand");
    auto* time = png.Chunks().FirstOfClass<TChunktIME>();
    EXPECT_EQ(time->Year, 2026);
    EXPECT_EQ(time->Second, 9);
    EXPECT_EQ(png.Chunks().FirstOfClass<TChunkpHYs>()->PPUnitX, 3780u);

    const Bytes saved = png.SaveToBytes();
    EXPECT_EQ(FileChunks(saved), (std::vector<std::string>{"IHDR", "bKGD", "tEXt", "zTXt", "tIME",
                                                           "pHYs", "IDAT", "IEND"}));
    const Bytes original = ReadFixture("ancillary.png");
    auto find = [](const Bytes& f, std::string_view type) {
        const auto it = std::search(f.begin(), f.end(), type.begin(), type.end());
        return Bytes(it - 4, it + 4 + 6 + 4);
    };
    EXPECT_EQ(find(saved, "bKGD"), find(original, "bKGD")); // byte for byte, CRC included
    const Bytes textChunk = find(saved, "tEXt");
    EXPECT_EQ(std::string(textChunk.begin() + 8, textChunk.begin() + 8 + 7),
              std::string("Title\0x", 7));

    TPNGObject again;
    again.LoadFromBytes(saved);
    EXPECT_EQ(again.Chunks().FirstOfClass<TChunkzTXt>()->Text, "made by hand");
    EXPECT_EQ(again.Chunks().FirstOfClass<TChunktIME>()->Day, 10);
}

TEST(PngFile, EmptyCompressedTextIsWrittenAsOneSpace) {
    TPNGObject png;
    png.LoadFromBytes(Grey2x2([](PngBuilder& b) { b.Chunk("zTXt", {'K', 0, 0}); }));
    EXPECT_EQ(png.Chunks().FirstOfClass<TChunkzTXt>()->Text, "");
    TPNGObject again;
    again.LoadFromBytes(png.SaveToBytes());
    EXPECT_EQ(again.Chunks().FirstOfClass<TChunkzTXt>()->Keyword, "K");
    EXPECT_EQ(again.Chunks().FirstOfClass<TChunkzTXt>()->Text, " ");
}

Bytes WithGamma(Bytes gama) {
    return PngBuilder()
        .Header(2, 1, 8, COLOR_RGB)
        .Chunk("gAMA", gama)
        .Rows(1, 6, 100)
        .End()
        .bytes();
}

TEST(PngFile, GammaChunkBuildsTheTables) {
    TPNGObject png;
    png.LoadFromBytes(WithGamma({0, 0, 0xB1, 0x8F})); // 45455: the usual 1/2.2
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(png.GammaTable()[i], i, 1) << i;
        EXPECT_NEAR(png.InverseGammaTable()[i], i, 1) << i;
    }
    png.LoadFromBytes(WithGamma({0, 0, 0x58, 0xC8})); // 22728: an exponent of 2
    EXPECT_EQ(png.GammaTable()[100], 39);
    EXPECT_EQ(GetRValue(png.GetPixelColor(0, 0)), png.GammaTable()[100]);
    // Saving undoes the gamma, so the file keeps its samples.
    TPNGObject again;
    again.LoadFromBytes(png.SaveToBytes());
    EXPECT_EQ(again.GetPixelColor(0, 0), png.GetPixelColor(0, 0));
    // A copy keeps the tables with the image.
    TPNGObject copy(png);
    EXPECT_EQ(copy.SaveToBytes(), png.SaveToBytes());

    png.LoadFromBytes(WithGamma({0, 0, 0, 0}));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(png.GammaTable()[i], i);
    // A gamma chunk of the wrong size is ignored and not written back.
    png.LoadFromBytes(WithGamma({0, 1}));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(png.GammaTable()[i], i);
    EXPECT_EQ(png.Chunks().FirstOfClass<TChunkgAMA>(), nullptr);
}

TEST(PngFile, ExtraImageDataChunksAfterTheImageAreSkipped) {
    const Bytes file = PngBuilder()
                           .Header(2, 2, 8, 0)
                           .Rows(2, 2, 7)
                           .Chunk("IDAT", {})
                           .Chunk("IDAT", {1, 2})
                           .End()
                           .bytes();
    TPNGObject png;
    png.LoadFromBytes(file);
    EXPECT_EQ(ChunkNames(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(png.GetPixelColor(1, 1), RGB(7, 7, 7));
}

TEST(PngFile, ChunkApiErrors) {
    TPNGObject png;
    EXPECT_THROW(png.HeaderChunk(), EPNGHeaderNotPresent);
    png.LoadFromBytes(PngBuilder()
                          .Header(2, 1, 1, COLOR_PALETTE)
                          .Chunk("PLTE", {1, 2, 3, 4, 5, 6})
                          .Rows(1, 1)
                          .End()
                          .bytes());
    auto* plte = png.Chunks().FirstOfClass<TChunkPLTE>();
    EXPECT_EQ(plte->GetPaletteEntry(1), (TPngRGBQuad{6, 5, 4, 0}));
    try {
        plte->GetPaletteEntry(2);
        ADD_FAILURE();
    } catch (const EPngError& e) {
        EXPECT_STREQ(e.what(), "There is no such palette entry.");
    }
    try {
        png.HeaderChunk().Assign(*plte);
        ADD_FAILURE();
    } catch (const EPngError& e) {
        EXPECT_STREQ(e.what(), "The chunks must be compatible to be assigned.");
    }
}

TEST(PngFile, PictureLoadsPngByContent) {
    RegisterPNGGraphicClass();
    TPicture picture;
    picture.LoadFromBytes(ReadFixture("rgb8_n.png"));
    ASSERT_NE(dynamic_cast<TPNGObject*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 13);
    EXPECT_NE(CreateGraphicForExtension("png"), nullptr);
}

} // namespace
