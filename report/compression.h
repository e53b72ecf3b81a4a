#pragma once
// Deflate streams over zlib: a write-only compression stream, whole-buffer decompression, whole
// stream compression for the ZIP and PDF writers, and the gzip framing of the program's packed
// resources.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/stream.h"

LUMETRA_EXCEPTION(EZLibError, Exception);
LUMETRA_EXCEPTION(EZCompressionError, EZLibError);
LUMETRA_EXCEPTION(EZDecompressionError, EZLibError);

// zlib levels 0, 1, the library default and 9.
enum class TZCompressionLevel { zcNone, zcFastest, zcDefault, zcMax };

// Return code unchanged when not negative; otherwise raise with the library's message.
int CCheck(int code);
int DCheck(int code);

class TCustomZStream : public TStream {
public:
    ~TCustomZStream() override;
    // Called after each full 64 KB block has gone to the underlying stream.
    std::function<void(TCustomZStream&)> OnProgress;

protected:
    explicit TCustomZStream(TStream& stream);
    struct ZState;

    TStream& stream_;
    std::int64_t streamPos_; // where the next output goes
    std::unique_ptr<ZState> z_;
    std::vector<unsigned char> buffer_;
};

// Compresses what is written to it into the underlying stream as one zlib-format stream
// (header, deflate data, Adler-32 trailer), finished by Finish() or the destructor.
class TZCompressionStream final : public TCustomZStream {
public:
    TZCompressionStream(TStream& dest, TZCompressionLevel level);
    ~TZCompressionStream() override;

    // Raises EZCompressionError "Invalid ZStream operation!".
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Only Seek(0, soCurrent) is allowed: the number of bytes written so far.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t size) override;

    // Flushes the rest of the stream; errors raise here (the destructor would swallow them).
    void Finish();

private:
    bool finished_ = false;
};

// Inflates a whole zlib-format buffer. outEstimate is the first size tried (0: from inBytes).
// Truncated or corrupt input raises EZDecompressionError.
std::vector<std::uint8_t> DecompressBuf(const void* inBuf, std::size_t inBytes,
                                        std::size_t outEstimate = 0);

// Dest receives one complete zlib-format stream of the whole of source (from its start).
void CompressStream(TStream& source, TStream& dest, TZCompressionLevel level);

// Unpacks a gzip-framed resource whose time field holds the big-endian Adler-32 of the content;
// returns the stored file name. An ordinary time stamp fails the check ("data error").
std::string GZipDecompressStream(TStream& source, TStream& dest);
