// Atomic file writing (temporary file in the target's folder, renamed when complete) and
// temporary files.
#include "platform/core/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/core/exception.h"
#include "platform/core/system_reason.h"

namespace {

std::atomic<int> gFailure{0};

std::string RandomSuffix() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof(kChars) - 2);
    std::string s(8, ' ');
    for (char& c : s)
        c = kChars[pick(engine)];
    return s;
}

// Opens base + random suffix + tail exclusively; the kernel applies the umask to 0666.
int CreateUnique(const std::string& base, const std::string& tail, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = base + RandomSuffix() + tail;
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string ResolveLinks(const std::string& fileName) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(fileName, ec)) return fileName;
    const auto resolved = std::filesystem::weakly_canonical(fileName, ec);
    return ec ? fileName : resolved.string();
}

} // namespace

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && *dir != '\0') return dir;
    return "/tmp";
}

std::string MakeTempFile(std::string_view prefix) {
    std::string folder = TempFolder();
    if (folder.back() != '/') folder += '/';
    std::string name;
    const int fd = CreateUnique(folder + std::string(prefix), {}, name);
    if (fd < 0)
        throw EFCreateError("Cannot create file \"" + folder + std::string(prefix) + "\". " +
                            SystemReason(errno));
    ::close(fd);
    return name;
}

// ---- TSafeFileWriter ---------------------------------------------------------------------------

TSafeFileWriter::TSafeFileWriter(const std::string& fileName)
    : fileName_(fileName), target_(ResolveLinks(fileName)) {
    const auto slash = target_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    fd_ = CreateUnique(folder + "." + base + ".", ".tmp", tempName_);
    if (fd_ < 0) {
        tempName_.clear();
        throw EFCreateError("Cannot create file \"" + fileName_ + "\". " + SystemReason(errno));
    }
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd_, st.st_mode & 07777); // best effort: the content matters more than the mode
}

TSafeFileWriter::~TSafeFileWriter() {
    Discard();
}

void TSafeFileWriter::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) ::unlink(tempName_.c_str());
    tempName_.clear();
}

std::int64_t TSafeFileWriter::Read(void* buffer, std::int64_t count) {
    if (fd_ < 0) throw EReadError("Stream read error");
    return THandleStream(fd_).Read(buffer, count);
}

std::int64_t TSafeFileWriter::Write(const void* buffer, std::int64_t count) {
    if (fd_ < 0) throw EWriteError("Cannot write file \"" + fileName_ + "\". It is closed.");
    int failure = gFailure.load();
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    for (std::int64_t done = 0; failure == 0 && done < count;) {
        const std::int64_t chunk = std::min<std::int64_t>(count - done, std::int64_t{1} << 30);
        const ssize_t n = ::write(fd_, in + done, static_cast<std::size_t>(chunk));
        if (n > 0)
            done += n;
        else if (n == 0)
            failure = ENOSPC;
        else if (errno != EINTR)
            failure = errno;
    }
    if (failure == 0) return count;
    Discard();
    throw EWriteError("Cannot write file \"" + fileName_ + "\". " + SystemReason(failure));
}

std::int64_t TSafeFileWriter::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (fd_ < 0) throw EStreamError("Invalid stream position");
    return THandleStream(fd_).Seek(offset, origin);
}

std::int64_t TSafeFileWriter::Size() {
    if (fd_ < 0) return 0;
    return THandleStream(fd_).Size();
}

void TSafeFileWriter::SetSize(std::int64_t size) {
    if (fd_ < 0) throw EWriteError("Cannot write file \"" + fileName_ + "\". It is closed.");
    THandleStream(fd_).SetSize(size);
}

void TSafeFileWriter::Commit() {
    if (fd_ < 0) throw EWriteError("Cannot write file \"" + fileName_ + "\". It is closed.");
    int failure = gFailure.load();
    if (failure == 0 && ::fsync(fd_) != 0) failure = errno;
    if (failure == 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) failure = errno;
    }
    if (failure == 0 && ::rename(tempName_.c_str(), target_.c_str()) != 0) failure = errno;
    if (failure != 0) {
        Discard();
        throw EWriteError("Cannot write file \"" + fileName_ + "\". " + SystemReason(failure));
    }
    tempName_.clear();
    // The rename itself reaches the disk only with the folder's entry.
    const auto slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target_.substr(0, slash);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void WriteFileAtomically(const std::string& fileName, std::string_view data) {
    TSafeFileWriter file(fileName);
    file.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    file.Commit();
}

void SetSafeFileFailureForTesting(int errorNumber) {
    gFailure.store(errorNumber);
}
