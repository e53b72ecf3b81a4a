// Streams: the base operations, memory, handle, file and string streams.
#include "platform/core/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/core/system_reason.h"

namespace {

constexpr std::int64_t kCopyChunk = 64 * 1024;
// read()/write() move at most about 2 GiB per call; stay well below.
constexpr std::int64_t kIoChunk = std::int64_t{1} << 30;

std::int64_t ResolveSeek(std::int64_t offset, TSeekOrigin origin, std::int64_t position,
                         std::int64_t size) {
    std::int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning:
        base = 0;
        break;
    case TSeekOrigin::soCurrent:
        base = position;
        break;
    case TSeekOrigin::soEnd:
        base = size;
        break;
    }
    std::int64_t result = 0;
    if (__builtin_add_overflow(base, offset, &result) || result < 0)
        throw EStreamError("Invalid stream position");
    return result;
}

} // namespace

// ---- TStream -----------------------------------------------------------------------------------

std::int64_t TStream::Position() {
    return Seek(0, TSeekOrigin::soCurrent);
}

void TStream::SetPosition(std::int64_t position) {
    Seek(position, TSeekOrigin::soBeginning);
}

std::int64_t TStream::Size() {
    const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count < 0 || (count != 0 && Read(buffer, count) != count))
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count < 0 || (count != 0 && Write(buffer, count) != count))
        throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count <= 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t total = count;
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[std::min(count, kCopyChunk) + 1]);
    while (count > 0) {
        const std::int64_t n = std::min(count, kCopyChunk);
        source.ReadBuffer(buffer.get(), n);
        WriteBuffer(buffer.get(), n);
        count -= n;
    }
    return total;
}

// ---- TMemoryStream -----------------------------------------------------------------------------

void TMemoryStream::Reserve(std::int64_t capacity) {
    if (capacity <= capacity_) return;
    // Geometric growth keeps a run of small writes linear overall.
    std::int64_t grown = std::max<std::int64_t>(capacity_ + capacity_ / 2, 256);
    grown = std::max(grown, capacity);
    std::unique_ptr<std::uint8_t[]> data;
    try {
        data.reset(new std::uint8_t[static_cast<std::size_t>(grown)]);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    if (size_ > 0) std::memcpy(data.get(), data_.get(), static_cast<std::size_t>(size_));
    data_ = std::move(data);
    capacity_ = grown;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    const std::int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_.get() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t end = 0;
    if (__builtin_add_overflow(position_, count, &end)) throw EWriteError("Stream write error");
    Reserve(end);
    if (position_ > size_) // written after a seek past the end: the gap reads as zeros
        std::memset(data_.get() + size_, 0, static_cast<std::size_t>(position_ - size_));
    std::memcpy(data_.get() + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    size_ = std::max(size_, end);
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    position_ = ResolveSeek(offset, origin, position_, size_);
    return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    Reserve(size);
    if (size > size_) std::memset(data_.get() + size_, 0, static_cast<std::size_t>(size - size_));
    size_ = size;
    position_ = std::min(position_, size_);
}

void TMemoryStream::Clear() {
    data_.reset();
    size_ = capacity_ = position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    const std::int64_t count = stream.Size();
    SetSize(count);
    if (count != 0) stream.ReadBuffer(data_.get(), count);
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) {
    if (size_ != 0) stream.WriteBuffer(data_.get(), size_);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TSafeFileWriter file(fileName);
    SaveToStream(file);
    file.Commit();
}

// ---- THandleStream -----------------------------------------------------------------------------

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(handle_, out + done, std::min(count - done, kIoChunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EReadError("Stream read error. " + SystemReason(errno));
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle_, in + done, std::min(count - done, kIoChunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EWriteError("Stream write error. " + SystemReason(errno));
        }
        if (n == 0) throw EWriteError("Stream write error. " + SystemReason(ENOSPC));
        done += n;
    }
    return done;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t result = ::lseek(handle_, static_cast<off_t>(offset), whence);
    if (result < 0) throw EStreamError("Invalid stream position. " + SystemReason(errno));
    return result;
}

std::int64_t THandleStream::Size() {
    struct stat st {};
    if (::fstat(handle_, &st) == 0 && S_ISREG(st.st_mode)) return st.st_size;
    return TStream::Size();
}

void THandleStream::SetSize(std::int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    Seek(size, TSeekOrigin::soBeginning);
    if (::ftruncate(handle_, static_cast<off_t>(size)) != 0)
        throw EWriteError("Stream write error. " + SystemReason(errno));
}

// ---- TFileStream -------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : fileName_(fileName) {
    const bool create = (mode & 0xFF00) == fmCreate;
    auto fail = [&](int errorNumber) {
        const std::string reason = errorNumber == EWOULDBLOCK
                                       ? std::string("The file is in use by another process.")
                                       : SystemReason(errorNumber);
        if (handle_ >= 0) ::close(handle_);
        handle_ = -1;
        if (create) throw EFCreateError("Cannot create file \"" + fileName + "\". " + reason);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason);
    };

    int flags = O_CLOEXEC;
    if (create) {
        flags |= O_RDWR | O_CREAT; // truncated only once the lock is held
    } else {
        switch (mode & 3) {
        case fmOpenRead:
            flags |= O_RDONLY;
            break;
        case fmOpenWrite:
            flags |= O_WRONLY;
            break;
        case fmOpenReadWrite:
            flags |= O_RDWR;
            break;
        default:
            fail(EINVAL);
        }
    }
    do {
        handle_ = ::open(fileName.c_str(), flags, 0666);
    } while (handle_ < 0 && errno == EINTR);
    if (handle_ < 0) fail(errno);

    struct stat st {};
    if (::fstat(handle_, &st) != 0) fail(errno);
    if (S_ISDIR(st.st_mode)) fail(EISDIR);

    const unsigned share = mode & 0xF0;
    int lock = 0;
    if (share == fmShareExclusive || share == fmShareDenyRead)
        lock = LOCK_EX;
    else if (share == fmShareDenyWrite)
        lock = LOCK_SH;
    if (lock != 0 && ::flock(handle_, lock | LOCK_NB) != 0) fail(errno);

    if (create && S_ISREG(st.st_mode) && ::ftruncate(handle_, 0) != 0) fail(errno);
}

TFileStream::~TFileStream() {
    if (handle_ >= 0) ::close(handle_); // releases the flock too
}

// ---- TStringStream -----------------------------------------------------------------------------

std::int64_t TStringStream::Read(void* buffer, std::int64_t count) {
    const auto size = static_cast<std::int64_t>(data_.size());
    if (count <= 0 || position_ >= size) return 0;
    const std::int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t TStringStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t last = 0;
    if (__builtin_add_overflow(position_, count, &last)) throw EWriteError("Stream write error");
    const auto end = static_cast<std::size_t>(last);
    if (end > data_.size()) data_.resize(end); // a gap after a seek past the end is zeros
    std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ += count;
    return count;
}

std::int64_t TStringStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    position_ = ResolveSeek(offset, origin, position_, static_cast<std::int64_t>(data_.size()));
    return position_;
}

void TStringStream::SetSize(std::int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    data_.resize(static_cast<std::size_t>(size));
    position_ = std::min(position_, size);
}

std::string TStringStream::ReadString(std::int64_t count) {
    const auto size = static_cast<std::int64_t>(data_.size());
    if (count <= 0 || position_ >= size) return {};
    const std::int64_t n = std::min(count, size - position_);
    std::string result =
        data_.substr(static_cast<std::size_t>(position_), static_cast<std::size_t>(n));
    position_ += n;
    return result;
}

void TStringStream::WriteString(std::string_view text) {
    Write(text.data(), static_cast<std::int64_t>(text.size()));
}
