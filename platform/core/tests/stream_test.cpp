#include "platform/core/stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/exception.h"
#include "platform/core/tests/expect_error.h"
#include "platform/core/tests/temp_dir.h"

namespace {

constexpr std::int64_t kFiveGiB = std::int64_t{5} << 30;

} // namespace

// The same scenario on every in-memory and file stream: seek, overwrite, write past the end,
// read back, and a short ReadBuffer raises.
TEST(Stream, ReadWriteSeekBehaveAlikeOnEveryStream) {
    TempDir dir;
    TMemoryStream memory;
    TStringStream text;
    TFileStream file(dir / "f.bin", fmCreate);
    for (TStream* s : std::initializer_list<TStream*>{&memory, &text, &file}) {
        s->WriteBuffer("hello world", 11);
        EXPECT_EQ(s->Position(), 11);
        s->SetPosition(6);
        s->WriteBuffer("WORLD", 5);
        s->Seek(3, TSeekOrigin::soEnd); // past the end: the gap reads as zeros
        s->WriteBuffer("!", 1);
        EXPECT_EQ(s->Size(), 15);
        char out[15] = {};
        s->Seek(-15, TSeekOrigin::soEnd);
        s->ReadBuffer(out, 15);
        EXPECT_EQ(std::string(out, 15), std::string("hello WORLD\0\0\0!", 15));
        EXPECT_EQ(s->Read(out, 5), 0);
        s->SetPosition(10);
        EXPECT_THROW(s->ReadBuffer(out, 6), EReadError);
        EXPECT_EQ(MessageOf([&] { s->ReadBuffer(out, 100); }), "Stream read error");
        EXPECT_THROW(s->Seek(-1, TSeekOrigin::soBeginning), EStreamError);
        s->SetSize(4);
        EXPECT_EQ(s->Size(), 4);
    }
    EXPECT_EQ(text.DataString(), "hell");
}

TEST(Stream, MemoryStreamGrowsAndLoadsFromStreams) {
    TMemoryStream m;
    std::string expected;
    for (int i = 0; i < 100000; ++i) { // many small writes stay cheap and keep their bytes
        const char c = static_cast<char>('a' + i % 26);
        m.WriteBuffer(&c, 1);
        expected += c;
    }
    ASSERT_EQ(m.Size(), 100000);
    EXPECT_EQ(std::memcmp(m.Memory(), expected.data(), expected.size()), 0);

    TStringStream source("abcdef");
    source.SetPosition(4);
    TMemoryStream copy;
    copy.LoadFromStream(source); // always from the start
    EXPECT_EQ(copy.Size(), 6);
    EXPECT_EQ(copy.Position(), 0);
    TStringStream sink;
    copy.SaveToStream(sink);
    sink.WriteString("!");
    EXPECT_EQ(sink.DataString(), "abcdef!");
    copy.SetSize(8); // grows with zeros
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copy.Memory()), 8), std::string("abcdef\0\0", 8));
    copy.Clear();
    EXPECT_EQ(copy.Size(), 0);
}

TEST(Stream, CopyFromTakesWholeSourceOrCount) {
    TStringStream source("0123456789");
    source.SetPosition(7);
    TStringStream all;
    EXPECT_EQ(all.CopyFrom(source, 0), 10);
    EXPECT_EQ(all.DataString(), "0123456789");
    source.SetPosition(2);
    TStringStream part;
    EXPECT_EQ(part.CopyFrom(source, 3), 3);
    EXPECT_EQ(part.DataString(), "234");
    source.SetPosition(8);
    EXPECT_THROW(part.CopyFrom(source, 5), EReadError);
}

TEST(Stream, StringStreamReadsStringsByCount) {
    TStringStream s("Lumetra 超声");
    EXPECT_EQ(s.ReadString(7), "Lumetra");
    s.SetPosition(8);
    EXPECT_EQ(s.ReadString(100), "超声");
    EXPECT_EQ(s.ReadString(1), "");
    s.SetPosition(0);
    s.WriteString("lu");
    EXPECT_EQ(s.DataString(), "lumetra 超声");
}

TEST(Stream, FileStreamHandlesPositionsBeyondFourGiB) {
    TempDir dir;
    const std::string name = dir / "sparse.bin";
    {
        TFileStream f(name, fmCreate);
        f.SetSize(kFiveGiB); // sparse: no blocks are written
        EXPECT_EQ(f.Position(), kFiveGiB);
        f.WriteBuffer("tail", 4);
        f.Seek(kFiveGiB + 100, TSeekOrigin::soBeginning);
        f.WriteBuffer("far", 3);
        EXPECT_EQ(f.Size(), kFiveGiB + 103);
    }
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.Size(), kFiveGiB + 103);
    char out[4] = {};
    EXPECT_EQ(f.Seek(-103, TSeekOrigin::soEnd), kFiveGiB);
    f.ReadBuffer(out, 4);
    EXPECT_EQ(std::string(out, 4), "tail");
    f.SetPosition(kFiveGiB + 101);
    EXPECT_THROW(f.ReadBuffer(out, 3), EReadError);
    f.SetPosition(std::int64_t{1} << 32);
    f.ReadBuffer(out, 4);
    EXPECT_EQ(std::string(out, 4), std::string(4, '\0'));
}

TEST(Stream, FileStreamModesAndErrors) {
    TempDir dir;
    const std::string name = dir / "a.txt";
    TempDir::WriteAll(name, "old content");
    {
        TFileStream f(name, fmOpenReadWrite);
        f.WriteBuffer("OLD", 3);
    }
    EXPECT_EQ(TempDir::ReadAll(name), "OLD content");
    {
        TFileStream f(name, fmCreate); // truncates
        f.WriteBuffer("new", 3);
    }
    EXPECT_EQ(TempDir::ReadAll(name), "new");
    {
        TFileStream f(name, fmOpenRead);
        EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
    }

    const std::string missing = dir / "missing.txt";
    EXPECT_EQ(MessageOf([&] { TFileStream(missing, fmOpenRead); }),
              "Cannot open file \"" + missing + "\". No such file or directory.");
    const std::string noFolder = dir / "no/such/folder.txt";
    EXPECT_EQ(MessageOf([&] { TFileStream(noFolder, fmCreate); }),
              "Cannot create file \"" + noFolder + "\". No such file or directory.");
    EXPECT_THROW(TFileStream(dir.Path(), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(name + "/under-a-file", fmCreate), EFCreateError);
}

TEST(Stream, FailedWriteRaisesInsteadOfShortWrite) {
    // A write whose end lies beyond the largest position is refused; the data stays.
    TMemoryStream memory;
    TStringStream text("abc");
    memory.WriteBuffer("abc", 3);
    for (TStream* s : std::initializer_list<TStream*>{&memory, &text}) {
        s->Seek(INT64_MAX - 1, TSeekOrigin::soBeginning);
        EXPECT_THROW(s->WriteBuffer("xy", 2), EWriteError);
        EXPECT_EQ(s->Size(), 3);
    }
    TFileStream full("/dev/full", fmOpenWrite);
    EXPECT_EQ(MessageOf([&] { full.WriteBuffer("x", 1); }),
              "Stream write error. No space left on device.");
}

TEST(Stream, ShareModesLockOutConflictingOpens) {
    TempDir dir;
    const std::string name = dir / "shared.bin";
    TempDir::WriteAll(name, "x");
    {
        TFileStream exclusive(name, fmOpenReadWrite | fmShareExclusive);
        EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyWrite), EFOpenError);
        EXPECT_THROW(TFileStream(name, fmCreate | fmShareExclusive), EFCreateError);
        TFileStream unlocked(name, fmOpenRead | fmShareDenyNone); // advisory only
    }
    TFileStream reader1(name, fmOpenRead | fmShareDenyWrite);
    TFileStream reader2(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(TFileStream(name, fmOpenReadWrite | fmShareExclusive), EFOpenError);
    EXPECT_EQ(TempDir::ReadAll(name), "x"); // the refused fmCreate truncated nothing
}

TEST(Stream, MemoryStreamFileRoundTrip) {
    TempDir dir;
    TMemoryStream m;
    m.WriteBuffer("\x00\x01\xFF data", 8);
    m.SaveToFile(dir / "m.bin");
    TMemoryStream back;
    back.LoadFromFile(dir / "m.bin");
    ASSERT_EQ(back.Size(), 8);
    EXPECT_EQ(std::memcmp(back.Memory(), "\x00\x01\xFF data", 8), 0);
    EXPECT_EQ(dir.EntryCount(), 1u); // no temporary file left behind
    EXPECT_THROW(back.LoadFromFile(dir / "none.bin"), EFOpenError);
}
