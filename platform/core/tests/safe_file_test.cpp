#include "platform/core/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/exception.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"

namespace {

struct FailureHook {
    explicit FailureHook(int errorNumber) { SetSafeFileFailureForTesting(errorNumber); }
    ~FailureHook() { SetSafeFileFailureForTesting(0); }
};

} // namespace

TEST(SafeFile, CommitReplacesAndDiscardKeepsTheOldFile) {
    TempDir dir;
    const std::string name = dir / "target.txt";
    TempDir::WriteAll(name, "old");
    {
        TSafeFileWriter w(name);
        w.WriteBuffer("half", 4);
        EXPECT_EQ(TempDir::ReadAll(name), "old"); // invisible until committed
    }
    EXPECT_EQ(TempDir::ReadAll(name), "old");
    EXPECT_EQ(dir.EntryCount(), 1u);

    WriteFileAtomically(name, "new content");
    EXPECT_EQ(TempDir::ReadAll(name), "new content");
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(SafeFile, FailuresRaiseAndLeaveTheTargetIntact) {
    TempDir dir;
    const std::string name = dir / "target.txt";
    TempDir::WriteAll(name, "precious");
    {
        TSafeFileWriter w(name);
        FailureHook full(ENOSPC);
        EXPECT_THROW(w.WriteBuffer("new", 3), EWriteError);
        EXPECT_THROW(w.Commit(), EWriteError); // a failed writer cannot be committed
    }
    {
        TSafeFileWriter w(name);
        w.WriteBuffer("new", 3);
        FailureHook io(EIO);
        try {
            w.Commit();
            ADD_FAILURE() << "commit succeeded";
        } catch (const EWriteError& e) {
            EXPECT_EQ(e.Message(), "Cannot write file \"" + name + "\". Input/output error.");
        }
    }
    EXPECT_EQ(TempDir::ReadAll(name), "precious");
    EXPECT_EQ(dir.EntryCount(), 1u);

    // A folder that is a regular file, and a missing folder, refuse the temporary file.
    EXPECT_THROW(TSafeFileWriter(name + "/x.txt"), EFCreateError);
    EXPECT_THROW(TSafeFileWriter(dir / "missing/x.txt"), EFCreateError);
}

TEST(SafeFile, KeepsModeAndFollowsLinks) {
    TempDir dir;
    const std::string real = dir / "real.ini";
    const std::string link = dir / "link.ini";
    TempDir::WriteAll(real, "a");
    ::chmod(real.c_str(), 0640);
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    WriteFileAtomically(link, "b");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(TempDir::ReadAll(real), "b");
}

TEST(SafeFile, MakeTempFileCreatesUniqueFilesInTmpdir) {
    TempDir dir;
    ScopedEnv tmpdir("TMPDIR", dir.Path());
    const std::string a = MakeTempFile("lum");
    const std::string b = MakeTempFile("lum");
    tmpdir.Set(dir / "missing");
    EXPECT_THROW(MakeTempFile("lum"), EFCreateError);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir / "lum", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(a));
    EXPECT_EQ(std::filesystem::file_size(b), 0u);
}
