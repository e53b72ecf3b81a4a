// Files and paths: stored Windows paths, case-insensitive look-ups and masks, searching.
#include "platform/core/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/exception.h"
#include "platform/core/tests/scoped_env.h"

namespace {

TEST(FilePaths, SplitStoredPathsWithEitherSeparator) {
    struct Row {
        const char* path;
        const char* filePath;
        const char* dir;
        const char* name;
        const char* ext;
    };
    const Row rows[] = {
        {"D:\\img\\2024\\C1.JPG", "D:\\img\\2024\\", "D:\\img\\2024", "C1.JPG", ".JPG"},
        {"/data/exam.v2/report", "/data/exam.v2/", "/data/exam.v2", "report", ""},
        {"mixed/dir\\file.tar.gz", "mixed/dir\\", "mixed/dir", "file.tar.gz", ".gz"},
        {"C:\\x.txt", "C:\\", "C:\\", "x.txt", ".txt"},
        {"c:x.txt", "c:", "c:", "x.txt", ".txt"},
        {"/x", "/", "/", "x", ""},
        {"name", "", "", "name", ""},
        {"dir/", "dir/", "dir", "", ""},
        {"超声科\\图像.bmp", "超声科\\", "超声科", "图像.bmp", ".bmp"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(ExtractFilePath(r.path), r.filePath);
        EXPECT_EQ(ExtractFileDir(r.path), r.dir);
        EXPECT_EQ(ExtractFileName(r.path), r.name);
        EXPECT_EQ(ExtractFileExt(r.path), r.ext);
    }
    EXPECT_EQ(ChangeFileExt("D:\\a.b\\name.txt", ".bak"), "D:\\a.b\\name.bak");
    EXPECT_EQ(ChangeFileExt("a.b/name", ".ini"), "a.b/name.ini");
    EXPECT_EQ(ChangeFileExt("x.jpg", ""), "x");
    EXPECT_EQ(IncludeTrailingPathDelimiter("D:\\img"), "D:\\img/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("D:\\img\\"), "D:\\img\\");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("D:\\img\\"), "D:\\img");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(ToNativePath("a\\b/c"), "a/b/c");
    EXPECT_EQ(ToNativePath("D:\\img"), "");
    EXPECT_EQ(ToNativePath("\\\\server\\share"), "");
}

TEST(FilePaths, ExpandFileNameResolvesDotsAndJoinsWithSlash) {
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d"), "/a/c/d");
    EXPECT_EQ(ExpandFileName("/a\\b\\..\\c\\"), "/a/c/");
    EXPECT_EQ(ExpandFileName("/.."), "/");
    EXPECT_EQ(ExpandFileName("D:\\img\\..\\rep\\x.ini"), "D:/rep/x.ini");
    EXPECT_EQ(ExpandFileName("sub\\x.txt"), GetCurrentDir() + "/sub/x.txt");
}

TEST(FilePaths, MasksIgnoreLetterCase) {
    struct Row {
        const char* name;
        const char* mask;
        bool match;
    };
    const Row rows[] = {
        {"C1.JPG", "c*.jpg", true},
        {"a1.jpg", "c*.jpg", false},
        {"c.jpg", "c*.jpg", true},
        {"c1.jpeg", "c*.jpg", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"超声科.BMP", "超*.bmp", true},
        {"图像1.jpg", "??1.JPG", true},
        {"ÉTÉ.txt", "été.*", true},
        {"a.b.c", "*.c", true},
        {"aXbXc", "a*b*c", true},
        {"abcbde", "a*b?", false},
        {"anything", "*", true},
        {"", "*", true},
        {"", "?", false},
        {"noext", "*.*", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MatchesMask(r.name, r.mask), r.match) << r.name << " / " << r.mask;
}

TEST(FilePaths, DriveLetterPathsAreSimplyMissing) {
    const char* path = "D:\\img\\x.jpg";
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(DirectoryExists("D:\\img"));
    EXPECT_EQ(FileSize(path), -1);
    TDateTime age = 0;
    EXPECT_FALSE(FileAge(path, age));
    EXPECT_EQ(ResolveFileCase(path), "");
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_FALSE(ForceDirectories("D:\\new"));
    TSearchRec rec;
    EXPECT_NE(FindFirst("D:\\img\\*.jpg", faAnyFile, rec), 0);
    EXPECT_THROW(ReadFileBytes(path), EFOpenError);
}

// A scratch tree: Exam/IMG/{C1.JPG, c2.jpg, a1.jpg, .hidden.jpg, Sub/}, removed afterwards.
class FilesTree : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumetra-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        ASSERT_TRUE(ForceDirectories(root_ + "\\Exam\\IMG\\Sub"));
        Write("Exam/IMG/C1.JPG", "12345");
        Write("Exam/IMG/c2.jpg", "1");
        Write("Exam/IMG/a1.jpg", "");
        Write("Exam/IMG/.hidden.jpg", "");
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

    void Write(const std::string& rel, const std::string& bytes) const {
        std::ofstream(root_ + "/" + rel, std::ios::binary) << bytes;
    }

    std::string root_;
};

TEST_F(FilesTree, ResolveFileCaseFindsWindowsNames) {
    const std::string img = root_ + "/Exam/IMG";
    EXPECT_EQ(ResolveFileCase(root_ + "\\exam\\img\\c1.jpg"), img + "/C1.JPG");
    EXPECT_EQ(ResolveFileCase(root_ + "/EXAM/Img/SUB"), img + "/Sub");
    EXPECT_EQ(ResolveFileCase(img + "/C2.JPG"), img + "/c2.jpg");
    EXPECT_EQ(ResolveFileCase(img + "/C1.JPG"), img + "/C1.JPG");
    EXPECT_EQ(ResolveFileCase(root_ + "/exam/img/missing.jpg"), "");
    EXPECT_EQ(ResolveFileCase(root_ + "/exam/nothing/c1.jpg"), "");

    // Two names differing only in case: the exact one wins, else a fixed choice.
    Write("Exam/IMG/c1.jpg", "x");
    EXPECT_EQ(ResolveFileCase(img + "/c1.jpg"), img + "/c1.jpg");
    EXPECT_EQ(ResolveFileCase(img + "/C1.jpg"), img + "/C1.JPG");
}

TEST_F(FilesTree, FindFirstFiltersByMaskAndAttributes) {
    auto find = [&](const std::string& path, int attr) {
        std::vector<std::string> names;
        TSearchRec rec;
        for (int r = FindFirst(path, attr, rec); r == 0; r = FindNext(rec))
            names.push_back(rec.Name + ((rec.Attr & faDirectory) ? "/" : ""));
        FindClose(rec);
        return names;
    };
    using V = std::vector<std::string>;
    const std::string img = root_ + "\\Exam\\IMG\\";
    EXPECT_EQ(find(img + "c*.jpg", 0), (V{"C1.JPG", "c2.jpg"}));
    EXPECT_EQ(find(img + "*.*", 0), (V{"a1.jpg", "C1.JPG", "c2.jpg"}));
    EXPECT_EQ(find(img + "*", faDirectory), (V{"a1.jpg", "C1.JPG", "c2.jpg", "Sub/"}));
    EXPECT_EQ(find(img + "*", faAnyFile), (V{".hidden.jpg", "a1.jpg", "C1.JPG", "c2.jpg", "Sub/"}));
    EXPECT_EQ(find(root_ + "/exam/img/C*", 0), (V{"C1.JPG", "c2.jpg"})); // folder case too
    EXPECT_EQ(find(img + "x*", faAnyFile), V{});

    TSearchRec rec;
    EXPECT_EQ(FindFirst(img + "c1.jpg", faAnyFile, rec), 0);
    EXPECT_EQ(rec.Name, "C1.JPG");
    EXPECT_EQ(rec.Size, 5);
    EXPECT_EQ(rec.Attr & faReadOnly, 0);
    EXPECT_NE(FindNext(rec), 0);
    FindClose(rec);
    EXPECT_EQ(FindFirst(root_ + "/none/*", faAnyFile, rec), 3);
    EXPECT_EQ(FindFirst(img + "none*", faAnyFile, rec), 2);

    EXPECT_EQ(FindFiles(img, "*.JPG"), (V{"a1.jpg", "C1.JPG", "c2.jpg"}));
    EXPECT_EQ(FindFiles(root_ + "/Exam", "*"), V{});
}

TEST_F(FilesTree, FileOperations) {
    const std::string img = root_ + "\\Exam\\IMG\\";
    EXPECT_TRUE(FileExists(img + "C1.JPG"));
    EXPECT_FALSE(FileExists(img + "c1.jpg")); // exact; ResolveFileCase does the look-up
    EXPECT_FALSE(FileExists(img + "Sub"));
    EXPECT_TRUE(DirectoryExists(img + "Sub"));
    EXPECT_EQ(FileSize(img + "C1.JPG"), 5);
    EXPECT_EQ(ReadFileBytes(img + "C1.JPG"), "12345");
    EXPECT_THROW(ReadFileBytes(img + "Sub"), EFOpenError);

    // Renaming never replaces an existing file.
    EXPECT_FALSE(RenameFile(img + "C1.JPG", img + "c2.jpg"));
    EXPECT_EQ(FileSize(img + "c2.jpg"), 1);
    EXPECT_TRUE(RenameFile(img + "C1.JPG", img + "C3.JPG"));
    EXPECT_FALSE(FileExists(img + "C1.JPG"));
    EXPECT_TRUE(DeleteFile(img + "C3.JPG"));
    EXPECT_FALSE(DeleteFile(img + "C3.JPG"));
    EXPECT_FALSE(DeleteFile(img + "Sub"));

    EXPECT_TRUE(CreateDir(img + "New"));
    EXPECT_FALSE(CreateDir(img + "New"));
    EXPECT_TRUE(ForceDirectories(img + "New\\a\\b\\"));
    EXPECT_TRUE(ForceDirectories(img + "New/a/b"));
    EXPECT_FALSE(ForceDirectories(img + "c2.jpg/x"));
    EXPECT_THROW(ForceDirectories(""), EInOutError);
    EXPECT_FALSE(RemoveDir(img + "New")); // not empty
    EXPECT_TRUE(RemoveDir(img + "New/a/b"));
}

TEST_F(FilesTree, FileAgeIsLocalTimeInDaysSince1899) {
    const std::string file = root_ + "/Exam/IMG/a1.jpg";
    struct tm t {};
    t.tm_year = 2020 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 5;
    t.tm_isdst = -1;
    const timespec times[2] = {{mktime(&t), 0}, {mktime(&t), 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    TDateTime age = 0;
    ASSERT_TRUE(FileAge(file, age));
    EXPECT_NEAR(age, 43832 + (3 * 3600 + 4 * 60 + 5.5) / 86400.0, 1e-9);
    TSearchRec rec;
    ASSERT_EQ(FindFirst(file, 0, rec), 0);
    EXPECT_DOUBLE_EQ(rec.Time, age);
}

// The birth time is not the modification time: setting the latter back leaves the former at
// the moment of creation. A file system that keeps no birth time gives the modification time.
TEST_F(FilesTree, FileCreationTimeIsTheBirthTimeWhereTheFileSystemKeepsOne) {
    const std::string file = root_ + "/Exam/IMG/new.jpg";
    const TDateTime before = Now();
    Write("Exam/IMG/new.jpg", "x");
    struct tm t {};
    t.tm_year = 2020 - 1900;
    t.tm_mday = 2;
    t.tm_isdst = -1;
    const timespec times[2] = {{mktime(&t), 0}, {mktime(&t), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    TDateTime modified = 0, created = 0;
    ASSERT_TRUE(FileAge(file, modified));
    ASSERT_TRUE(FileCreationTime(file, created));
    struct statx sx {};
    ASSERT_EQ(statx(AT_FDCWD, file.c_str(), 0, STATX_BTIME, &sx), 0);
    if (sx.stx_mask & STATX_BTIME) {
        const double slack = 2.0 / 86400;
        EXPECT_GE(created, before - slack);
        EXPECT_LE(created, Now() + slack);
    } else {
        EXPECT_DOUBLE_EQ(created, modified);
    }

    EXPECT_FALSE(FileCreationTime(root_ + "/Exam/IMG/missing.jpg", created));
    EXPECT_FALSE(FileCreationTime(root_ + "/Exam/IMG/Sub", created));
    EXPECT_FALSE(FileCreationTime("D:\\img\\x.jpg", created));
}

TEST(FileFolders, ProgramAndTemporaryFolders) {
    EXPECT_TRUE(FileExists(ExecutableDir() + "/platform_core_tests"));
    ScopedEnv tmpdir("TMPDIR", "/var/tmp/");
    EXPECT_EQ(GetTempDir(), "/var/tmp");
    tmpdir.Set("");
    EXPECT_EQ(GetTempDir(), "/tmp");
}

} // namespace
