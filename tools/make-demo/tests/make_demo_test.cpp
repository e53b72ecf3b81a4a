// make-demo end to end: the archive, the image folders, the video and the settings it writes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/exam_schema.h"
#include "platform/core/files.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/graphics/jpeg_image.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint32_t U32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    return v;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

class MakeDemo : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumetra-demo-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(Run(), 0);
    }
    int Run() {
        const std::string cmd =
            std::string(MAKE_DEMO_PATH) + " " + dir + "/demo " + dir + "/bin >/dev/null";
        return std::system(cmd.c_str());
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

TEST_F(MakeDemo, ArchiveImagesVideoAndSettings) {
    TIniFile ini(dir + "/bin/lumetra.ini");
    const std::string db = ini.ReadString("db", "dbfile", "");
    const std::string images = ini.ReadString("Image", "ImagePath", "");
    EXPECT_EQ(db, dir + "/demo/exams.db");
    EXPECT_TRUE(DirectoryExists(images));
    EXPECT_TRUE(DirectoryExists(ini.ReadString("Report", "Rptfmt", "")));
    EXPECT_EQ(ini.ReadString("说明", "作用", ""), "本文件仅用作备份文件离线查看用");

    // The archive opens as the program opens it, with every column of the exam table.
    TADOConnection conn(nullptr);
    conn.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db +
                             ";Jet OLEDB:Database Password=5827140");
    conn.Open();
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    q.SQL().SetText("select * from patient");
    q.Open();
    ASSERT_EQ(q.FieldCount(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(q.Fields()[i]->FieldName(), ExamColumns()[static_cast<std::size_t>(i)].Name);
    EXPECT_GE(q.RecordCount(), 10);
    std::set<std::string> doctors;
    bool today = false, multiLine = false, older = false;
    int folders = 0;
    for (q.First(); !q.Eof(); q.Next()) {
        doctors.insert(q.FieldByName("jianchadoc")->AsString());
        const TDateTime d = std::floor(q.FieldByName("baogaoriqi")->AsDateTime());
        today |= d == std::floor(Date());
        older |= d < std::floor(Date()) - 30;
        multiLine |= q.FieldByName("jinchasuojian")->AsString().find("\r\n") != std::string::npos;
        const std::string path = q.FieldByName("imagepath")->AsString();
        if (path.empty()) continue;
        const std::string folder = images + "/" + path.substr(path.rfind('\\') + 1);
        if (DirectoryExists(folder)) ++folders;
    }
    EXPECT_EQ(doctors.size(), 2u);
    EXPECT_TRUE(today);
    EXPECT_TRUE(older);
    EXPECT_TRUE(multiLine);
    EXPECT_GE(folders, 10);

    // Thumbnails and report pictures are JPEGs; the video is a RIFF AVI of JPEG frames whose
    // index points at its frames.
    int thumbnails = 0, pictures = 0, videos = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(images)) {
        const std::string name = entry.path().filename().string();
        const std::string bytes = ReadAll(entry.path().string());
        if (MatchesMask(name, "c*.jpg") || MatchesMask(name, "rpt?.jpg")) {
            ++(name[0] == 'c' ? thumbnails : pictures);
            const TRasterImage image = DecodeJpeg(Bytes(bytes));
            EXPECT_EQ(image.Width, name[0] == 'c' ? 320 : 640);
        } else if (MatchesMask(name, "*.avi")) {
            ++videos;
            ASSERT_GT(bytes.size(), 300u);
            EXPECT_EQ(bytes.substr(0, 4), "RIFF");
            EXPECT_EQ(U32(bytes, 4), bytes.size() - 8);
            EXPECT_EQ(bytes.substr(8, 4), "AVI ");
            const std::size_t movi = bytes.find("movi");
            const std::size_t idx1 = bytes.find("idx1");
            ASSERT_NE(movi, std::string::npos);
            ASSERT_NE(idx1, std::string::npos);
            const std::uint32_t entries = U32(bytes, idx1 + 4) / 16;
            EXPECT_EQ(entries, U32(bytes, bytes.find("avih") + 8 + 16)); // total frames
            for (std::uint32_t i = 0; i < entries; ++i) {
                const std::size_t e = idx1 + 8 + 16 * i;
                const std::size_t chunk = movi + U32(bytes, e + 8);
                EXPECT_EQ(bytes.substr(chunk, 4), "00dc");
                EXPECT_EQ(U32(bytes, chunk + 4), U32(bytes, e + 12));
                const std::string frame = bytes.substr(chunk + 8, U32(bytes, e + 12));
                EXPECT_EQ(DecodeJpeg(Bytes(frame)).Width, 160);
            }
        }
    }
    EXPECT_GE(thumbnails, 20);
    EXPECT_GE(pictures, 10);
    EXPECT_GE(videos, 1);
}

// What happened to each name in a folder, as the kernel reports it.
std::map<std::string, std::vector<std::uint32_t>> FolderEvents(int fd) {
    std::map<std::string, std::vector<std::uint32_t>> events;
    alignas(inotify_event) char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if (e->len) events[e->name].push_back(e->mask);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return events;
}

TEST_F(MakeDemo, ASecondRunReplacesTheArchiveAndTheSettingsInOneStep) {
    // Settings as a first start of the program leaves them.
    std::ofstream(dir + "/bin/lumetra.ini", std::ios::binary)
        << "[Image]\r\nImagePath=F:\\x\r\n[Report]\r\nRptfmt=F:\\y\r\n";
    const int fd = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::uint32_t mask = IN_DELETE | IN_MOVED_TO | IN_CLOSE_WRITE;
    ASSERT_GE(::inotify_add_watch(fd, (dir + "/demo").c_str(), mask), 0);
    ASSERT_GE(::inotify_add_watch(fd, (dir + "/bin").c_str(), mask), 0);
    ASSERT_EQ(Run(), 0);
    auto events = FolderEvents(fd);
    ::close(fd);
    // Never deleted first, never written in place: each moved over the old one once.
    EXPECT_EQ(events["exams.db"], std::vector<std::uint32_t>{IN_MOVED_TO});
    EXPECT_EQ(events["lumetra.ini"], std::vector<std::uint32_t>{IN_MOVED_TO});
    EXPECT_FALSE(std::filesystem::exists(dir + "/demo/exams.db.tmp"));
    TIniFile ini(dir + "/bin/lumetra.ini");
    EXPECT_EQ(ini.ReadString("db", "dbfile", ""), dir + "/demo/exams.db");
}

TEST_F(MakeDemo, AFailedRunLeavesNoHalfBuiltArchive) {
    // A folder where the archive should go: the archive cannot take its place.
    std::filesystem::remove(dir + "/demo/exams.db");
    std::filesystem::create_directories(dir + "/demo/exams.db/x");
    const std::string before = ReadAll(dir + "/bin/lumetra.ini");
    EXPECT_NE(Run(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/demo/exams.db.tmp"));
    EXPECT_EQ(ReadAll(dir + "/bin/lumetra.ini"), before);
}

} // namespace
