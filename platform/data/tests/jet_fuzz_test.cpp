// Damaged Jet files: exams.mdb with mutated table-definition and data pages, opened and queried
// through the provider. Every outcome is rows or a clear error; nothing the reader says reaches
// the terminal, a damaged file leaves no copy in the cache, and no file is written to.
//
// CI runs a bounded count; a longer run by hand:
//   LUMETRA_FUZZ_ITERATIONS=5000 LUMETRA_FUZZ_START=7 platform_data_tests --gtest_filter='JetFuzz*'
// The output of each run is captured, a sanitizer's report too: add ASAN_OPTIONS=log_path=...
// to read one.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/core/tests/mutator.h"
#include "platform/data/ado.h"
#include "platform/data/tests/data_test_util.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPage = 4096; // Jet 4
constexpr char kDefinitionPage = 0x02;
constexpr char kDataPage = 0x01;

std::size_t FilesIn(const std::string& folder) {
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

// What opening a file and reading its exams gave: "" or the error, and what reached stdout
// and stderr meanwhile.
struct Outcome {
    bool opened = false;
    std::string error;
    std::string printed;
};

Outcome OpenAndQuery(const std::string& path) {
    Outcome o;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    try {
        TADOConnection conn(nullptr);
        conn.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
        conn.Open();
        o.opened = true;
        TADOQuery q(nullptr);
        q.SetConnection(&conn);
        for (const char* sql :
             {"select * from patient",
              "select * from patient where name like '%张%' and BaoGaoriqi>=#2010-9-1 00:00:00# "
              "and BaoGaoriqi<=#2010-9-19 23:59:59# order by BaoGaoriqi"}) {
            q.Close();
            q.SQL().SetText(sql);
            q.Open();
            for (; !q.Eof(); q.Next())
                for (const auto& f : q.Fields())
                    (void)f->AsString();
        }
    } catch (const EDatabaseError& e) {
        o.error = e.what();
    }
    o.printed = ::testing::internal::GetCapturedStderr();
    o.printed += ::testing::internal::GetCapturedStdout();
    return o;
}

// The kind of an error, for the summary: its text without the file's name and numbers.
std::string ErrorKind(std::string text, const std::string& path) {
    if (std::size_t at = text.find(path); at != std::string::npos)
        text.replace(at, path.size(), "...");
    std::string kind;
    for (char c : text)
        if (!(c >= '0' && c <= '9'))
            kind += c;
        else if (kind.empty() || kind.back() != '#')
            kind += '#';
    return kind.substr(0, 90);
}

TEST(JetFuzzTest, MutatedPagesGiveRowsOrAClearError) {
    if (!fs::exists(SharedExams()))
        GTEST_SKIP() << "the shared fixture " << SharedExams() << " is absent";
    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    const std::string cache = dir / "cache";
    ScopedEnv cacheEnv("LUMETRA_CACHE_DIR", cache);
    const FileState shared = FileState::Of(SharedExams());
    const std::string exams = shared.bytes;

    std::vector<std::size_t> definitions, data;
    for (std::size_t p = 0; (p + 1) * kPage <= exams.size(); ++p) {
        if (exams[p * kPage] == kDefinitionPage) definitions.push_back(p);
        if (exams[p * kPage] == kDataPage) data.push_back(p);
    }
    ASSERT_FALSE(definitions.empty());
    ASSERT_FALSE(data.empty());

    fuzz::Random random;
    const long runs = fuzz::Iterations(60);
    std::map<std::string, int> outcomes;
    const auto start = std::chrono::steady_clock::now();
    for (long run = 0; run < runs; ++run) {
        // One or two pages, each a definition or a data page, edited within the page: inserted
        // and deleted runs shift the rest of the page, never the pages after it.
        std::string bytes = exams;
        const std::size_t pages = 1 + random.Below(2);
        for (std::size_t k = 0; k < pages; ++k) {
            const auto& from = random.OneIn(2) ? definitions : data;
            const std::size_t at = from[random.Below(from.size())] * kPage;
            std::string page = fuzz::Mutate(bytes.substr(at, kPage), random);
            page.resize(kPage, '\0');
            bytes.replace(at, kPage, page);
        }
        if (bytes == exams) continue;
        // A file of its own for each run: the cache tells states apart by size and time.
        const std::string path = dir / ("run" + std::to_string(run) + ".mdb");
        TempDir::WriteAll(path, bytes);
        const FileState before = FileState::Of(path);

        const Outcome o = OpenAndQuery(path);
        SCOPED_TRACE("run " + std::to_string(run) +
                     ", LUMETRA_FUZZ_START=" + std::to_string(fuzz::StartValue()));
        EXPECT_EQ(o.printed, "");
        EXPECT_TRUE(FileState::Of(path) == before);
        if (!o.opened) {
            EXPECT_NE(o.error, "");
            EXPECT_EQ(FilesIn(cache), 0u) << o.error; // no copy of a damaged file
            ++outcomes["not opened: " + ErrorKind(o.error, path)];
        } else {
            EXPECT_EQ(FilesIn(cache), 1u);
            // A damaged list of tables may lose the table without the reader noticing: the
            // query says so.
            ++outcomes[o.error.empty() ? "rows" : "opened, then: " + ErrorKind(o.error, path)];
        }
        if (::testing::Test::HasFailure()) break; // one failing input says it all
        fs::remove(path);
        std::error_code ec;
        fs::remove_all(cache, ec);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Jet fuzz: %ld inputs in %.1f s, LUMETRA_FUZZ_START=%llu\n", runs, seconds,
                static_cast<unsigned long long>(fuzz::StartValue()));
    for (const auto& [kind, count] : outcomes)
        std::printf("  %6d  %s\n", count, kind.c_str());
    EXPECT_TRUE(FileState::Of(SharedExams()) == shared);
}

} // namespace
