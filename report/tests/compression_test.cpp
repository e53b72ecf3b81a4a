#include "report/compression.h"

#include <gtest/gtest.h>

#include <random>
#include <zlib.h>

namespace {

std::string sampleData(size_t size, unsigned salt) {
    std::mt19937 rng(salt);
    std::string s;
    s.reserve(size);
    const std::string words[] = {"report ", "page ", "band ", "\xE4\xB8\xAD ", "memo ", "\r\n"};
    while (s.size() < size) {
        if (rng() % 7 == 0) {
            s += char(rng());
        } else {
            s += words[rng() % 6];
        }
    }
    s.resize(size);
    return s;
}

std::vector<std::uint8_t> compress(const std::string& data, TZCompressionLevel level) {
    TStringStream src{data};
    TMemoryStream dst;
    CompressStream(src, dst, level);
    return std::vector<std::uint8_t>(dst.Memory(), dst.Memory() + dst.Size());
}

TEST(Compression, RoundTripAtEveryLevel) {
    for (auto level : {TZCompressionLevel::zcNone, TZCompressionLevel::zcFastest,
                       TZCompressionLevel::zcDefault, TZCompressionLevel::zcMax}) {
        for (size_t size : {size_t(0), size_t(1), size_t(5000), size_t(300000)}) {
            const std::string data = sampleData(size, unsigned(size));
            auto packed = compress(data, level);
            ASSERT_GE(packed.size(), 6u); // header and Adler-32 even for empty input
            EXPECT_EQ(packed[0], 0x78);
            auto out = DecompressBuf(packed.data(), packed.size());
            EXPECT_EQ(std::string(out.begin(), out.end()), data) << int(level) << " " << size;
            if (level == TZCompressionLevel::zcNone && size > 0) {
                EXPECT_GT(packed.size(), size); // stored blocks
            }
        }
    }
    // A caller's estimate that is too small still works, and so does a generous one.
    const std::string data = sampleData(100000, 7);
    auto packed = compress(data, TZCompressionLevel::zcMax);
    EXPECT_EQ(DecompressBuf(packed.data(), packed.size(), 10).size(), data.size());
    EXPECT_EQ(DecompressBuf(packed.data(), packed.size(), 1 << 20).size(), data.size());
}

TEST(Compression, StreamWritesFullBlocksAndReportsProgress) {
    const std::string data = sampleData(400000, 3);
    std::mt19937 rng(1);
    std::string noise(300000, '\0');
    for (char& c : noise)
        c = char(rng()); // incompressible: several 64 KB blocks
    TMemoryStream dst;
    dst.WriteBuffer("HDR", 3); // output goes after what the stream already holds
    int progress = 0;
    {
        TZCompressionStream z(dst, TZCompressionLevel::zcFastest);
        z.OnProgress = [&](TCustomZStream&) { ++progress; };
        EXPECT_EQ(z.Write(noise.data(), std::int64_t(noise.size())), std::int64_t(noise.size()));
        EXPECT_EQ(z.Position(), std::int64_t(noise.size()));
        EXPECT_EQ(progress, int(dst.Size() - 3) / 65536);
        EXPECT_GE(progress, 4);
        EXPECT_THROW(z.SetPosition(0), EZCompressionError);
        char buf[4];
        EXPECT_THROW(z.Read(buf, 4), EZCompressionError);
        try {
            z.Seek(10, TSeekOrigin::soBeginning);
        } catch (const EZCompressionError& e) {
            EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
        }
        z.Write(data.data(), std::int64_t(data.size()));
    }
    ASSERT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 3), "HDR");
    auto out = DecompressBuf(dst.Memory() + 3, size_t(dst.Size() - 3));
    EXPECT_EQ(std::string(out.begin(), out.end()), noise + data);
}

TEST(Compression, CorruptOrTruncatedInputRaises) {
    const std::string data = sampleData(50000, 9);
    auto packed = compress(data, TZCompressionLevel::zcDefault);
    // Every truncation: an error, never an endless loop or an overrun.
    for (size_t cut = 0; cut < packed.size(); cut += 97)
        EXPECT_THROW(DecompressBuf(packed.data(), cut), EZDecompressionError) << cut;
    auto bad = packed;
    bad[bad.size() - 1] ^= 1; // Adler-32
    try {
        DecompressBuf(bad.data(), bad.size());
        ADD_FAILURE();
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "data error");
    }
    std::mt19937 rng(5);
    for (int i = 0; i < 300; ++i) {
        auto m = packed;
        for (int k = 0; k < 3; ++k)
            m[rng() % m.size()] = std::uint8_t(rng());
        try {
            auto out = DecompressBuf(m.data(), m.size());
            EXPECT_LE(out.size(), data.size() * 4);
        } catch (const EZDecompressionError&) {
        }
    }
    const std::uint8_t dictionary[] = {0x78, 0xBB, 0,    0,
                                       0,    1,    0x03, 0}; // asks for a preset dictionary
    EXPECT_THROW(DecompressBuf(dictionary, sizeof dictionary), EZDecompressionError);
}

TEST(Compression, CheckFunctionsUseTheLibraryMessages) {
    EXPECT_EQ(CCheck(1), 1);
    EXPECT_EQ(DCheck(0), 0);
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {{-1, "file error"},   {-2, "stream error"},
                          {-3, "data error"},   {-4, "insufficient memory"},
                          {-5, "buffer error"}, {-6, "incompatible version"}};
    for (const auto& c : cases) {
        try {
            CCheck(c.code);
            ADD_FAILURE();
        } catch (const EZCompressionError& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
        EXPECT_THROW(DCheck(c.code), EZDecompressionError);
    }
}

// A gzip frame as the program's resources carry it: the time field holds the big-endian
// Adler-32 of the content.
std::string gzipResource(const std::string& content, bool adlerInTime, const char* name) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string raw(deflateBound(&z, content.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    z.avail_in = uInt(content.size());
    z.next_out = reinterpret_cast<Bytef*>(raw.data());
    z.avail_out = uInt(raw.size());
    deflate(&z, Z_FINISH);
    raw.resize(z.total_out);
    deflateEnd(&z);
    uLong adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()),
                          uInt(content.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size()));
    std::string out = {'\x1F', '\x8B', '\x08', char(name ? 8 : 0)};
    for (int shift : {24, 16, 8, 0})
        out += adlerInTime ? char(adler >> shift) : '\0';
    out += '\x02';
    out += '\x0B';
    if (name) {
        out += name;
        out += '\0';
    }
    out += raw;
    for (int shift : {0, 8, 16, 24})
        out += char(crc >> shift);
    for (int shift : {0, 8, 16, 24})
        out += char(content.size() >> shift);
    return out;
}

TEST(Compression, GZipResourceFraming) {
    const std::string bitmap = "BM" + sampleData(20000, 11);
    TStringStream src{gzipResource(bitmap, true, "1")};
    TMemoryStream dst;
    EXPECT_EQ(GZipDecompressStream(src, dst), "1");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), size_t(dst.Size())), bitmap);

    TStringStream noName{gzipResource(bitmap, true, nullptr)};
    TMemoryStream dst2;
    EXPECT_EQ(GZipDecompressStream(noName, dst2), "");
    EXPECT_EQ(dst2.Size(), std::int64_t(bitmap.size()));

    TStringStream stamped{gzipResource(bitmap, false, "1")}; // an ordinary time stamp
    TMemoryStream dst3;
    EXPECT_THROW(GZipDecompressStream(stamped, dst3), EZDecompressionError);

    const std::string framed = gzipResource(bitmap, true, "1");
    for (size_t cut :
         {size_t(0), size_t(3), size_t(9), size_t(11), size_t(40), framed.size() - 9}) {
        TStringStream cutSrc{framed.substr(0, cut)};
        TMemoryStream out;
        EXPECT_THROW(GZipDecompressStream(cutSrc, out), EZDecompressionError) << cut;
    }
}

} // namespace
