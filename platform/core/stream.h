#pragma once
// Streams of the class library: 64-bit positions, ReadBuffer/WriteBuffer raise on short I/O.
// (Contract header: the base interface below is relied on across the platform.)

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Reads or writes up to count bytes; returns how many were moved.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position();
    void SetPosition(std::int64_t position);
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    // Raise EReadError / EWriteError when fewer than count bytes move.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Copies count bytes from source (count 0: the whole source from its start).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Mode flags of TFileStream, as the class library numbers them.
inline constexpr unsigned fmCreate = 0xFF00;
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareCompat = 0x0000;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyRead = 0x0030;
inline constexpr unsigned fmShareDenyNone = 0x0040;

// ---- Implementations --------------------------------------------------------------------------

// A stream over bytes held in memory. The buffer grows geometrically, so appending is linear.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return size_; }
    void SetSize(std::int64_t size) override;

    std::uint8_t* Memory() { return data_.get(); }
    const std::uint8_t* Memory() const { return data_.get(); }
    void Clear();
    // Replaces the content with the whole of stream (from its start); position 0 afterwards.
    void LoadFromStream(TStream& stream);
    // Writes the whole content at stream's current position.
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    // Atomic: the file is either the old one or the complete new content.
    void SaveToFile(const std::string& fileName);

private:
    void Reserve(std::int64_t capacity);
    std::unique_ptr<std::uint8_t[]> data_;
    std::int64_t size_ = 0;
    std::int64_t capacity_ = 0;
    std::int64_t position_ = 0;
};

// A stream over a POSIX file descriptor that it does not own.
class THandleStream : public TStream {
public:
    explicit THandleStream(int handle) : handle_(handle) {}
    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Writes everything or raises EWriteError naming the system's reason (a full disk, an I/O
    // error); never a silent short write.
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t size) override;
    int Handle() const { return handle_; }

protected:
    THandleStream() = default;
    int handle_ = -1;
};

// A file opened with the class library's mode flags (fmCreate or fmOpenXxx | fmShareXxx).
// Share modes are advisory on Linux: fmShareExclusive takes an exclusive flock and
// fmShareDenyWrite a shared one, so they only keep out other TFileStreams (of any process) that
// ask for a conflicting lock; plain opens by other programs are not stopped. fmShareDenyRead
// cannot be expressed and acts as fmShareExclusive; fmShareCompat and fmShareDenyNone take no
// lock. Opening for writing takes no lock of its own.
class TFileStream : public THandleStream {
public:
    // EFCreateError "Cannot create file \"name\". reason" / EFOpenError "Cannot open file ...".
    TFileStream(const std::string& fileName, unsigned mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// A stream over a byte string (UTF-8 text or raw bytes).
class TStringStream : public TStream {
public:
    explicit TStringStream(std::string data = {}) : data_(std::move(data)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;

    const std::string& DataString() const { return data_; }
    // Up to count bytes from the position (fewer at the end).
    std::string ReadString(std::int64_t count);
    void WriteString(std::string_view text);

private:
    std::string data_;
    std::int64_t position_ = 0;
};
