#include "report/compression.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

namespace {

constexpr std::size_t kBlockSize = 65536;
const char* const kInvalidOperation = "Invalid ZStream operation!";

const char* zlibMessage(int code) {
    switch (code) {
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "";
    }
}

voidpf zAlloc(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}
void zFree(voidpf, voidpf address) {
    std::free(address);
}

struct InflateGuard {
    z_stream* z;
    bool active = true;
    ~InflateGuard() {
        if (active) inflateEnd(z);
    }
};

} // namespace

struct TCustomZStream::ZState {
    z_stream z{};
};

int CCheck(int code) {
    if (code < 0) throw EZCompressionError(zlibMessage(code));
    return code;
}

int DCheck(int code) {
    if (code < 0) throw EZDecompressionError(zlibMessage(code));
    return code;
}

TCustomZStream::TCustomZStream(TStream& stream)
    : stream_(stream), streamPos_(stream.Seek(0, TSeekOrigin::soCurrent)),
      z_(std::make_unique<ZState>()), buffer_(kBlockSize) {
    z_->z.zalloc = zAlloc;
    z_->z.zfree = zFree;
}

TCustomZStream::~TCustomZStream() = default;

TZCompressionStream::TZCompressionStream(TStream& dest, TZCompressionLevel level)
    : TCustomZStream(dest) {
    static const int levels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
    z_->z.next_out = buffer_.data();
    z_->z.avail_out = static_cast<uInt>(buffer_.size());
    CCheck(deflateInit(&z_->z, levels[static_cast<int>(level)]));
}

TZCompressionStream::~TZCompressionStream() {
    try {
        Finish();
    } catch (...) {
        // Callers that need to see write errors call Finish() themselves.
        if (!finished_) deflateEnd(&z_->z);
    }
}

std::int64_t TZCompressionStream::Read(void*, std::int64_t) {
    throw EZCompressionError(kInvalidOperation);
}

std::int64_t TZCompressionStream::Write(const void* buffer, std::int64_t count) {
    if (finished_) throw EZCompressionError(kInvalidOperation);
    auto& z = z_->z;
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::int64_t left = count;
    if (stream_.Seek(0, TSeekOrigin::soCurrent) != streamPos_)
        stream_.Seek(streamPos_, TSeekOrigin::soBeginning);
    while (left > 0) {
        // avail_in is 32-bit: feed very large writes in slices.
        uInt slice = static_cast<uInt>(std::min<std::int64_t>(left, 1 << 30));
        z.next_in = const_cast<unsigned char*>(in);
        z.avail_in = slice;
        while (z.avail_in > 0) {
            CCheck(deflate(&z, Z_NO_FLUSH));
            if (z.avail_out == 0) {
                stream_.WriteBuffer(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
                z.next_out = buffer_.data();
                z.avail_out = static_cast<uInt>(buffer_.size());
                streamPos_ = stream_.Seek(0, TSeekOrigin::soCurrent);
                if (OnProgress) OnProgress(*this);
            }
        }
        in += slice;
        left -= slice;
    }
    return count;
}

std::int64_t TZCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (offset == 0 && origin == TSeekOrigin::soCurrent)
        return static_cast<std::int64_t>(z_->z.total_in);
    throw EZCompressionError(kInvalidOperation);
}

std::int64_t TZCompressionStream::Size() {
    throw EZCompressionError(kInvalidOperation);
}

void TZCompressionStream::SetSize(std::int64_t) {
    throw EZCompressionError(kInvalidOperation);
}

void TZCompressionStream::Finish() {
    if (finished_) return;
    auto& z = z_->z;
    try {
        z.next_in = nullptr;
        z.avail_in = 0;
        if (stream_.Seek(0, TSeekOrigin::soCurrent) != streamPos_)
            stream_.Seek(streamPos_, TSeekOrigin::soBeginning);
        while (CCheck(deflate(&z, Z_FINISH)) != Z_STREAM_END) {
            stream_.WriteBuffer(buffer_.data(),
                                static_cast<std::int64_t>(buffer_.size() - z.avail_out));
            z.next_out = buffer_.data();
            z.avail_out = static_cast<uInt>(buffer_.size());
        }
        if (z.avail_out < buffer_.size())
            stream_.WriteBuffer(buffer_.data(),
                                static_cast<std::int64_t>(buffer_.size() - z.avail_out));
        streamPos_ = stream_.Seek(0, TSeekOrigin::soCurrent);
    } catch (...) {
        finished_ = true;
        deflateEnd(&z);
        throw;
    }
    finished_ = true;
    deflateEnd(&z);
}

std::vector<std::uint8_t> DecompressBuf(const void* inBuf, std::size_t inBytes,
                                        std::size_t outEstimate) {
    std::size_t step = (inBytes + 255) / 256 * 256;
    if (step == 0) step = 256;
    std::vector<std::uint8_t> out(outEstimate ? outEstimate : step);
    z_stream z{};
    z.zalloc = zAlloc;
    z.zfree = zFree;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(inBuf));
    z.avail_in = static_cast<uInt>(inBytes);
    if (inBytes > 0xFFFFFFFFu) throw EZDecompressionError(zlibMessage(Z_BUF_ERROR));
    DCheck(inflateInit(&z));
    InflateGuard guard{&z};
    std::size_t produced = 0;
    for (;;) {
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, 0xFFFFFFFFu));
        const uInt availBefore = z.avail_out;
        int rc = inflate(&z, Z_NO_FLUSH);
        produced += availBefore - z.avail_out;
        if (rc == Z_STREAM_END) break;
        // A preset dictionary is never supplied, so such a stream cannot be unpacked.
        if (rc == Z_NEED_DICT) rc = Z_DATA_ERROR;
        // Z_BUF_ERROR only means "no progress possible"; it is an error when the input is used up.
        if (rc == Z_BUF_ERROR && z.avail_in == 0) rc = Z_DATA_ERROR;
        if (rc != Z_BUF_ERROR) DCheck(rc);
        // Input used up with room left over: the stream is cut short and would never end.
        if (z.avail_in == 0 && z.avail_out > 0) DCheck(Z_DATA_ERROR);
        if (z.avail_out == 0) {
            // Grow by the input-sized step, or geometrically once the block is large, so a highly
            // compressed stream does not cost quadratic copying.
            out.resize(out.size() + std::max(step, out.size() / 2));
        }
    }
    guard.active = false;
    DCheck(inflateEnd(&z));
    out.resize(produced);
    out.shrink_to_fit();
    return out;
}

void CompressStream(TStream& source, TStream& dest, TZCompressionLevel level) {
    TZCompressionStream z(dest, level);
    source.Seek(0, TSeekOrigin::soBeginning);
    std::vector<unsigned char> buf(kBlockSize);
    for (;;) {
        std::int64_t n = source.Read(buf.data(), static_cast<std::int64_t>(buf.size()));
        if (n <= 0) break;
        z.Write(buf.data(), n);
    }
    z.Finish();
}

std::string GZipDecompressStream(TStream& source, TStream& dest) {
    auto fail = [] { return EZDecompressionError(zlibMessage(Z_DATA_ERROR)); };
    unsigned char head[4];
    if (source.Read(head, 4) != 4) throw fail();
    unsigned char trailer[4] = {0, 0, 0, 0};
    std::string fileName;
    if (head[0] == 0x1F && head[1] == 0x8B && head[2] == 0x08) {
        unsigned char skip[2];
        if (source.Read(trailer, 4) != 4 || source.Read(skip, 2) != 2) throw fail();
        if (head[3] & 8) {
            char c;
            for (;;) {
                if (source.Read(&c, 1) != 1) throw fail();
                if (c == 0) break;
                fileName += c;
            }
        }
    }
    const std::int64_t rest = source.Size() - source.Seek(0, TSeekOrigin::soCurrent);
    // The gzip trailer (CRC-32 and size) is not checked; the Adler-32 in the time field is.
    if (rest < 8) throw fail();
    std::vector<std::uint8_t> zdata(static_cast<std::size_t>(rest - 8) + 6);
    zdata[0] = 0x78;
    zdata[1] = 0xDA;
    source.ReadBuffer(zdata.data() + 2, rest - 8);
    std::memcpy(zdata.data() + zdata.size() - 4, trailer, 4);
    std::vector<std::uint8_t> out = DecompressBuf(zdata.data(), zdata.size());
    if (!out.empty()) dest.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));
    return fileName;
}
