// The ZIP writer: the records as bytes (stored or deflated, names, order, times), and archives
// that unzip, zipinfo and python's zipfile read back to the same bytes.

#include "export/zip_writer.h"

#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/temp_dir.h"

namespace {

std::uint32_t U16(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
std::uint32_t U32(const std::string& b, std::size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// One local header as read back from the archive.
struct Local {
    std::string Name;
    std::uint32_t Flags, Method, Time, Date, Compressed, Size;
};

// The local headers in archive order; each must be followed by its data.
std::vector<Local> LocalHeaders(const std::string& zip) {
    std::vector<Local> out;
    for (std::size_t at = 0; at + 30 <= zip.size() && U32(zip, at) == 0x04034B50;) {
        Local l{zip.substr(at + 30, U16(zip, at + 26)),
                U16(zip, at + 6),
                U16(zip, at + 8),
                U16(zip, at + 10),
                U16(zip, at + 12),
                U32(zip, at + 18),
                U32(zip, at + 22)};
        at += 30 + l.Name.size() + U16(zip, at + 28) + l.Compressed;
        out.push_back(l);
    }
    return out;
}

std::string Archive(const std::string& folder) {
    TpgwZipArchive zip;
    zip.SetRootFolder(IncludeTrailingPathDelimiter(folder));
    zip.AddDir(folder);
    TMemoryStream out;
    zip.SaveToStream(out);
    return std::string(reinterpret_cast<const char*>(out.Memory()),
                       static_cast<std::size_t>(out.Size()));
}

// Bytes that deflate cannot make smaller.
std::string Noise(std::size_t n) {
    std::string s(n, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : s) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return s;
}

TEST(ZipWriter, StoresUpTo128BytesPutsMimetypeFirstAndIsReadBackByOtherTools) {
    const TempDir dir;
    const std::string root = dir / "package";
    std::filesystem::create_directories(root + "/sub/deeper");
    std::filesystem::create_directories(root + "/Empty");
    // Written in an order that is not the archive's.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"sub/deeper/z.xml", std::string(5000, 'z')},
        {"sub/f", "in a folder"},
        {"b129.bin", Noise(129)},
        {"A128.bin", Noise(128)},
        {"content.xml", "<a>" + std::string(300, 'x') + "</a>"},
        {"图像.txt", "名字"},
        {"empty", ""},
        {"mimetype", "application/vnd.oasis.opendocument.text" + std::string(100, ' ')},
    };
    for (const auto& [name, bytes] : files)
        TempDir::WriteAll(root + "/" + name, bytes);
    TempDir::WriteAll(root + "/.hidden", "left out");

    const std::string zip = Archive(root);
    const std::vector<Local> locals = LocalHeaders(zip);
    std::vector<std::string> names;
    for (const Local& l : locals)
        names.push_back(l.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"mimetype", "A128.bin", "b129.bin", "content.xml",
                                               "empty", "sub/deeper/z.xml", "sub/f", "图像.txt"}));
    struct Expect {
        const char* name;
        std::uint32_t method;
    };
    // The mimetype entry is stored whatever its size; 129 bytes are deflated even when that
    // makes them larger.
    for (const Expect& e : {Expect{"mimetype", 0}, Expect{"A128.bin", 0}, Expect{"b129.bin", 8},
                            Expect{"content.xml", 8}, Expect{"empty", 0}, Expect{"sub/f", 0}}) {
        const auto it = std::find_if(locals.begin(), locals.end(),
                                     [&](const Local& l) { return l.Name == e.name; });
        ASSERT_NE(it, locals.end()) << e.name;
        EXPECT_EQ(it->Method, e.method) << e.name;
        if (e.method == 0) {
            EXPECT_EQ(it->Compressed, it->Size) << e.name;
        }
    }
    EXPECT_GT(locals[2].Compressed, 129u);
    EXPECT_EQ(locals[0].Flags, 0u);
    EXPECT_EQ(locals.back().Flags, 0x0800u);

    // The end record counts every entry and points at the central directory.
    const std::size_t end = zip.size() - 22;
    ASSERT_EQ(U32(zip, end), 0x06054B50u);
    EXPECT_EQ(U16(zip, end + 8), 8u);
    EXPECT_EQ(U16(zip, end + 10), 8u);
    EXPECT_EQ(U32(zip, end + 16) + U32(zip, end + 12), end);
    EXPECT_EQ(U32(zip, U32(zip, end + 16)), 0x02014B50u);

    // A second run over the same folder gives the same bytes.
    EXPECT_EQ(Archive(root), zip);

    if (!HaveTool("unzip") || !HaveTool("zipinfo") || !HaveTool("python3"))
        GTEST_SKIP() << "unzip or python3 is missing: scripts/setup installs them";
    const std::string file = dir / "out.zip";
    TempDir::WriteAll(file, zip);
    int status = -1;
    std::string log = RunTool("unzip -t '" + file + "'", &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("No errors detected"), std::string::npos) << log;
    log = RunTool("zipinfo -v '" + file + "'", &status);
    EXPECT_EQ(status, 0) << log;
    log = RunTool("python3 -m zipfile -t '" + file + "'", &status);
    EXPECT_EQ(status, 0) << log;
    log = RunTool("python3 -m zipfile -e '" + file + "' '" + (dir / "python") + "'", &status);
    ASSERT_EQ(status, 0) << log;
    log = RunTool("unzip -q '" + file + "' -x '图像.txt' -d '" + (dir / "unzip") + "'", &status);
    ASSERT_EQ(status, 0) << log;
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(TempDir::ReadAll(dir / ("python/" + name)), bytes) << name;
        if (name != "图像.txt") {
            EXPECT_EQ(TempDir::ReadAll(dir / ("unzip/" + name)), bytes) << name;
        }
    }
}

TEST(ZipWriter, EmptyFolderNamesErrorsAndUnreadableFiles) {
    const TempDir dir;
    // Nothing but the end record.
    const std::string empty = Archive(dir.Path());
    EXPECT_EQ(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));

    TpgwZipArchive zip;
    zip.AddDir(dir / "missing");
    EXPECT_EQ(zip.FileCount(), 0);
    std::filesystem::create_directories(dir / "sub");
    TempDir::WriteAll(dir / "sub/f", "x");
    zip.AddFile(dir / "sub/f");
    zip.AddFile(dir / "gone");
    // The first file sets the root folder, so its name is bare.
    EXPECT_EQ(zip.RootFolder(), dir / "sub/");
    EXPECT_EQ(zip.EntryName(dir / "sub/f"), "f");
    EXPECT_EQ(zip.Errors().Text(), "File " + (dir / "gone") + " not found!\r\n");
    EXPECT_EQ(zip.FileCount(), 1);
    zip.Clear();
    EXPECT_EQ(zip.FileCount() + zip.Errors().Count(), 0);
    EXPECT_EQ(zip.RootFolder(), "");

    // Stored Windows roots: the first occurrence goes, backslashes become slashes.
    zip.SetRootFolder("C:\\pkg\\");
    EXPECT_EQ(zip.EntryName("C:\\pkg\\META-INF\\manifest.xml"), "META-INF/manifest.xml");

    // A file gone before writing is the platform's file error.
    zip.SetRootFolder(IncludeTrailingPathDelimiter(dir.Path()));
    zip.AddFile(dir / "sub/f");
    std::filesystem::remove(dir / "sub/f");
    TMemoryStream out;
    EXPECT_THROW(zip.SaveToStream(out), EFOpenError);
}

TEST(ZipWriter, DosTimesRoundTheSecondDownAndStayInRange) {
    struct Case {
        int y, mo, d, h, mi, s;
        std::uint32_t dos;
    };
    const Case cases[] = {
        {2024, 3, 15, 13, 45, 31, (44u << 9 | 3 << 5 | 15) << 16 | (13u << 11 | 45 << 5 | 15)},
        {2024, 3, 15, 13, 45, 30, (44u << 9 | 3 << 5 | 15) << 16 | (13u << 11 | 45 << 5 | 15)},
        {1980, 1, 1, 0, 0, 1, (1u << 5 | 1) << 16},
        {1979, 12, 31, 23, 59, 59, (1u << 5 | 1) << 16},
        {2150, 6, 1, 12, 0, 0, (127u << 9 | 12 << 5 | 31) << 16 | (23u << 11 | 59 << 5 | 29)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        EXPECT_EQ(TpgwZipArchive::DosDateTime(EncodeDate(c.y, c.mo, c.d) +
                                              EncodeTime(c.h, c.mi, c.s, 999)),
                  c.dos);
    }
}

// The entry's time is its file's creation time; one made at an odd second is stored one
// second earlier.
TEST(ZipWriter, EntryTimeIsTheCreationTimeRoundedDown) {
    const TempDir dir;
    const std::string file = dir / "odd";
    TDateTime created = 0;
    int second = 0;
    for (int attempt = 0; attempt < 5 && second % 2 == 0; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (now.tv_sec % 2 == 0) {
            const timespec wait{0, 1'000'000'000 - now.tv_nsec + 20'000'000};
            nanosleep(&wait, nullptr);
        }
        std::filesystem::remove(file);
        TempDir::WriteAll(file, "made at an odd second");
        ASSERT_TRUE(FileCreationTime(file, created));
        int h, m, ms;
        DecodeTime(created, h, m, second, ms);
    }
    ASSERT_EQ(second % 2, 1);
    const std::vector<Local> locals = LocalHeaders(Archive(dir.Path()));
    ASSERT_EQ(locals.size(), 1u);
    int year, month, day, hour, minute, s, ms;
    DecodeDate(created, year, month, day);
    DecodeTime(created, hour, minute, s, ms);
    EXPECT_EQ(locals[0].Date, static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day));
    EXPECT_EQ(locals[0].Time, static_cast<std::uint32_t>(hour << 11 | minute << 5 | (s - 1) / 2));
}

} // namespace
