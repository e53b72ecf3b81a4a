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
