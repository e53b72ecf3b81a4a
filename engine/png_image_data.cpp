// The image-data chunk: filtering, Adam7 interlace and the conversion between the file's
// samples and the image as the header chunk holds it.

#include <algorithm>
#include <cstring>

#include "engine/png_chunks.h"
#include "engine/png_errors.h"
#include "engine/png_object.h"
#include "engine/png_zlib_p.h"

namespace {

constexpr std::size_t kInputBlock = 65535;

struct Pass {
    int startRow, startCol, rowStep, colStep;
};
constexpr Pass kWholeImage{0, 0, 1, 1};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                            {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

int passExtent(int size, int start, int step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

// Sub-byte pixels, most significant bits first.
inline unsigned getBits(const std::uint8_t* row, int x, int depth) {
    const int bit = x * depth;
    return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}
inline void setBits(std::uint8_t* row, int x, int depth, unsigned v) {
    const int bit = x * depth;
    const int shift = 8 - depth - (bit & 7);
    const unsigned mask = ((1u << depth) - 1) << shift;
    row[bit >> 3] = static_cast<std::uint8_t>((row[bit >> 3] & ~mask) | ((v << shift) & mask));
}

inline int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

void unfilter(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
              std::size_t bpp) {
    switch (type) {
    case 1:
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < bpp && i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (prev[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
        break;
    case 4:
        for (std::size_t i = 0; i < bpp && i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        for (std::size_t i = bpp; i < n; ++i)
            row[i] =
                static_cast<std::uint8_t>(row[i] + paeth(row[i - bpp], prev[i], prev[i - bpp]));
        break;
    default:
        break;
    }
}

class Decoder {
public:
    Decoder(TPngInput& stream, TChunkIHDR& header, const TPNGObject& owner)
        : stream_(stream), header_(header), gamma_(owner.GammaTable()) {}

    void Run(std::string_view type, std::uint32_t size) {
        if (inflater_.result != Z_OK) throw EPNGZLIBError(PngZlibErrorMessage(inflater_.result));
        startChunk(type, size);
        const auto& h = header_.Header;
        const int samples = PngSamplesPerPixel(h.ColorType);
        const std::size_t bpp = std::max(1, h.BitDepth * samples / 8);
        const std::size_t maxRowBytes = (std::size_t{h.Width} * h.BitDepth * samples + 7) / 8;
        std::vector<std::uint8_t> bufA(maxRowBytes + 1), bufB(maxRowBytes + 1);
        const bool interlaced = h.InterlaceMethod == 1;
        for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
            const Pass pass = interlaced ? kAdam7[p] : kWholeImage;
            const int pw = passExtent(header_.Width(), pass.startCol, pass.colStep);
            const int ph = passExtent(header_.Height(), pass.startRow, pass.rowStep);
            if (pw == 0 || ph == 0) continue;
            const std::size_t rowBytes = (std::size_t(pw) * h.BitDepth * samples + 7) / 8;
            std::uint8_t* cur = bufA.data();
            std::uint8_t* prev = bufB.data();
            std::fill(prev, prev + rowBytes + 1, std::uint8_t{0});
            for (int r = 0; r < ph; ++r) {
                inflateInto(cur, rowBytes + 1);
                unfilter(cur[0], cur + 1, prev + 1, rowBytes, bpp);
                convertRow(cur + 1, pass.startRow + r * pass.rowStep, pass.startCol, pass.colStep,
                           pw);
                std::swap(cur, prev);
            }
        }
        // What is left of the chunk (the stream's trailer) still counts towards its CRC.
        crc_ = UpdateCRC(crc_, chunk_.data(), chunk_.size());
        chunk_ = {};
        finishChunk();
    }

private:
    void startChunk(std::string_view type, std::uint32_t size) {
        crc_ =
            UpdateCRC(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(type.data()), type.size());
        chunk_ = stream_.Take(size);
    }

    void finishChunk() {
        if (~crc_ != stream_.ReadU32()) throw EPngInvalidCRC(png_messages::InvalidCRC);
    }

    void refill() {
        while (chunk_.empty()) {
            finishChunk();
            const std::uint32_t size = stream_.ReadU32();
            const auto type = stream_.Take(4);
            const std::string_view name(reinterpret_cast<const char*>(type.data()), 4);
            if (name != "IDAT") throw EPNGMissingMultipleIDAT(png_messages::MissingMultipleIDAT);
            startChunk(name, size);
        }
        const std::size_t n = std::min(chunk_.size(), kInputBlock);
        auto& z = inflater_.z;
        z.next_in = const_cast<Bytef*>(chunk_.data());
        z.avail_in = static_cast<uInt>(n);
        crc_ = UpdateCRC(crc_, chunk_.data(), n);
        chunk_ = chunk_.subspan(n);
    }

    void inflateInto(std::uint8_t* out, std::size_t n) {
        auto& z = inflater_.z;
        z.next_out = out;
        z.avail_out = static_cast<uInt>(n);
        while (z.avail_out > 0) {
            if (z.avail_in == 0) {
                if (streamEnded_) throw EPNGMissingMultipleIDAT(png_messages::MissingMultipleIDAT);
                refill();
            }
            const int result = inflate(&z, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                // The compressed data ends before the image does.
                if (z.avail_out > 0)
                    throw EPNGMissingMultipleIDAT(png_messages::MissingMultipleIDAT);
                streamEnded_ = true;
            } else if (result == Z_BUF_ERROR && z.avail_in == 0) {
                continue;
            } else if (result != Z_OK) {
                throw EPNGZLIBError(PngZlibErrorMessage(result));
            }
        }
    }

    void convertRow(const std::uint8_t* src, int y, int startCol, int colStep, int count) {
        const auto& h = header_.Header;
        std::uint8_t* dst = header_.Scanline(y);
        const int sb = h.BitDepth == 16 ? 2 : 1;
        switch (h.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (h.BitDepth == 2) {
                const bool grey = h.ColorType == COLOR_GRAYSCALE;
                for (int i = 0; i < count; ++i) {
                    const unsigned v = getBits(src, i, 2);
                    setBits(dst, startCol + i * colStep, 4, grey ? v * 5 : v);
                }
            } else if (h.BitDepth == 16) {
                for (int i = 0; i < count; ++i)
                    dst[startCol + i * colStep] = src[2 * i];
            } else if (colStep == 1) {
                std::memcpy(dst, src, (std::size_t(count) * h.BitDepth + 7) / 8);
            } else if (h.BitDepth == 8) {
                for (int i = 0; i < count; ++i)
                    dst[startCol + i * colStep] = src[i];
            } else {
                for (int i = 0; i < count; ++i)
                    setBits(dst, startCol + i * colStep, h.BitDepth, getBits(src, i, h.BitDepth));
            }
            break;
        case COLOR_RGB:
        case COLOR_RGBALPHA: {
            const int stride = sb * (h.ColorType == COLOR_RGB ? 3 : 4);
            std::uint8_t* out = dst + startCol * 3;
            const int outStep = colStep * 3;
            const auto* g = gamma_.data();
            if (stride == 3) {
                for (int i = 0; i < count; ++i, src += 3, out += outStep) {
                    out[0] = g[src[2]];
                    out[1] = g[src[1]];
                    out[2] = g[src[0]];
                }
            } else {
                std::uint8_t* alpha =
                    h.ColorType == COLOR_RGBALPHA ? header_.AlphaScanline(y) : nullptr;
                for (int i = 0; i < count; ++i, src += stride, out += outStep) {
                    out[0] = g[src[2 * sb]];
                    out[1] = g[src[sb]];
                    out[2] = g[src[0]];
                    if (alpha) alpha[startCol + i * colStep] = src[3 * sb];
                }
            }
            break;
        }
        case COLOR_GRAYSCALEALPHA: {
            std::uint8_t* alpha = header_.AlphaScanline(y);
            for (int i = 0; i < count; ++i, src += 2 * sb) {
                const int x = startCol + i * colStep;
                dst[x] = src[0];
                alpha[x] = src[sb];
            }
            break;
        }
        default:
            break;
        }
    }

    TPngInput& stream_;
    TChunkIHDR& header_;
    const std::array<std::uint8_t, 256>& gamma_;
    png_zlib::Inflater inflater_;
    std::span<const std::uint8_t> chunk_;
    std::uint32_t crc_ = 0;
    bool streamEnded_ = false;
};

class Encoder {
public:
    Encoder(TPNGObject& owner, TChunkIHDR& header, std::vector<std::uint8_t>& out)
        : owner_(owner), header_(header), out_(out), deflater_(owner.CompressionLevel()),
          inverse_(owner.InverseGammaTable()) {}

    void Run() {
        if (deflater_.result != Z_OK) throw EPNGZLIBError(PngZlibErrorMessage(deflater_.result));
        const auto& h = header_.Header;
        depth_ = h.BitDepth == 2 ? 4 : h.BitDepth;
        const int samples = PngSamplesPerPixel(h.ColorType);
        bpp_ = static_cast<std::size_t>(std::max(1, depth_ * samples / 8));
        const std::size_t maxRowBytes = (std::size_t{h.Width} * depth_ * samples + 7) / 8;
        raw_.assign(maxRowBytes + 1, 0);
        prev_.assign(maxRowBytes + 1, 0);
        for (auto& f : filtered_)
            f.assign(maxRowBytes + 1, 0);
        idat_.resize(static_cast<std::size_t>(std::max(1, owner_.MaxIdatSize())));
        auto& z = deflater_.z;
        z.next_out = idat_.data();
        z.avail_out = static_cast<uInt>(idat_.size());

        const bool interlaced = owner_.InterlaceMethod() == 1;
        for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
            const Pass pass = interlaced ? kAdam7[p] : kWholeImage;
            const int pw = passExtent(header_.Width(), pass.startCol, pass.colStep);
            const int ph = passExtent(header_.Height(), pass.startRow, pass.rowStep);
            if (pw == 0 || ph == 0) continue;
            const std::size_t rowBytes = (std::size_t(pw) * depth_ * samples + 7) / 8;
            std::fill(prev_.begin(), prev_.end(), std::uint8_t{0});
            for (int r = 0; r < ph; ++r) {
                buildRow(raw_.data() + 1, pass.startRow + r * pass.rowStep, pass.startCol,
                         pass.colStep, pw);
                const int type = chooseFilter(rowBytes);
                std::uint8_t* row =
                    type == 0 ? raw_.data() : filtered_[static_cast<std::size_t>(type - 1)].data();
                row[0] = static_cast<std::uint8_t>(type);
                feed(row, rowBytes + 1, Z_NO_FLUSH);
                std::swap(raw_, prev_);
            }
        }
        feed(nullptr, 0, Z_FINISH);
        writeIdat(idat_.size() - z.avail_out);
    }

private:
    void writeIdat(std::size_t n) {
        const std::uint8_t head[8] = {static_cast<std::uint8_t>(n >> 24),
                                      static_cast<std::uint8_t>(n >> 16),
                                      static_cast<std::uint8_t>(n >> 8),
                                      static_cast<std::uint8_t>(n),
                                      'I',
                                      'D',
                                      'A',
                                      'T'};
        out_.insert(out_.end(), head, head + 8);
        out_.insert(out_.end(), idat_.begin(), idat_.begin() + static_cast<std::ptrdiff_t>(n));
        const std::uint32_t crc = ChunkCRC("IDAT", std::span(idat_.data(), n));
        const std::uint8_t tail[4] = {
            static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
            static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)};
        out_.insert(out_.end(), tail, tail + 4);
    }

    void feed(std::uint8_t* data, std::size_t n, int flush) {
        auto& z = deflater_.z;
        z.next_in = data;
        z.avail_in = static_cast<uInt>(n);
        for (;;) {
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR) throw EPNGZLIBError(PngZlibErrorMessage(result));
            if (z.avail_out == 0) {
                writeIdat(idat_.size());
                z.next_out = idat_.data();
                z.avail_out = static_cast<uInt>(idat_.size());
                continue;
            }
            if (flush == Z_FINISH ? result == Z_STREAM_END : z.avail_in == 0) break;
        }
    }

    void buildRow(std::uint8_t* out, int y, int startCol, int colStep, int count) {
        const auto& h = header_.Header;
        const std::uint8_t* src = header_.Scanline(y);
        const bool wide = h.BitDepth == 16;
        auto put = [&](std::uint8_t v) {
            *out++ = v;
            if (wide) *out++ = 0;
        };
        switch (h.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (wide) {
                for (int i = 0; i < count; ++i)
                    put(src[startCol + i * colStep]);
            } else if (colStep == 1) {
                std::memcpy(out, src, (std::size_t(count) * depth_ + 7) / 8);
            } else {
                std::memset(out, 0, (std::size_t(count) * depth_ + 7) / 8);
                for (int i = 0; i < count; ++i)
                    setBits(out, i, depth_, getBits(src, startCol + i * colStep, depth_));
            }
            break;
        case COLOR_RGB:
        case COLOR_RGBALPHA: {
            const std::uint8_t* alpha =
                h.ColorType == COLOR_RGBALPHA ? header_.AlphaScanline(y) : nullptr;
            for (int i = 0; i < count; ++i) {
                const int x = startCol + i * colStep;
                const std::uint8_t* p = src + x * 3;
                put(inverse_[p[2]]);
                put(inverse_[p[1]]);
                put(inverse_[p[0]]);
                if (alpha) put(alpha[x]);
            }
            break;
        }
        case COLOR_GRAYSCALEALPHA: {
            const std::uint8_t* alpha = header_.AlphaScanline(y);
            for (int i = 0; i < count; ++i) {
                const int x = startCol + i * colStep;
                put(src[x]);
                put(alpha[x]);
            }
            break;
        }
        default:
            break;
        }
    }

    // Counts the bytes equal to one of the two before: long runs compress best.
    static int score(const std::uint8_t* row, std::size_t n) {
        int s = 0;
        for (std::size_t j = 2; j < n; ++j)
            s += row[j] == row[j - 1] || row[j] == row[j - 2];
        return s;
    }

    int chooseFilter(std::size_t n) {
        const unsigned set = owner_.Filters() & 0x1F;
        const std::uint8_t* raw = raw_.data() + 1;
        const std::uint8_t* prev = prev_.data() + 1;
        const std::size_t bpp = bpp_;
        for (int t = 1; t <= 4; ++t) {
            if (!(set & (1u << t))) continue;
            std::uint8_t* out = filtered_[static_cast<std::size_t>(t - 1)].data() + 1;
            for (std::size_t i = 0; i < n; ++i) {
                const int left = i >= bpp ? raw[i - bpp] : 0;
                const int up = prev[i];
                const int upLeft = i >= bpp ? prev[i - bpp] : 0;
                int predictor = 0;
                switch (t) {
                case 1:
                    predictor = left;
                    break;
                case 2:
                    predictor = up;
                    break;
                case 3:
                    predictor = (left + up) >> 1;
                    break;
                default:
                    predictor = paeth(left, up, upLeft);
                    break;
                }
                out[i] = static_cast<std::uint8_t>(raw[i] - predictor);
            }
        }
        if (set == 0 || set == pfNone) return 0;
        int best = 0, bestScore = 0;
        for (int t = 0; t <= 4; ++t) {
            if (!(set & (1u << t))) continue;
            if (set == (1u << t)) return t;
            const std::uint8_t* row =
                t == 0 ? raw : filtered_[static_cast<std::size_t>(t - 1)].data() + 1;
            const int s = score(row, n);
            if (s > bestScore) best = t, bestScore = s;
        }
        return best;
    }

    TPNGObject& owner_;
    TChunkIHDR& header_;
    std::vector<std::uint8_t>& out_;
    png_zlib::Deflater deflater_;
    const std::array<std::uint8_t, 256>& inverse_;
    int depth_ = 8;
    std::size_t bpp_ = 1;
    std::vector<std::uint8_t> raw_, prev_, idat_;
    std::vector<std::uint8_t> filtered_[4];
};

} // namespace

bool TChunkIDAT::ReadChunk(TPngInput& stream, std::string_view type, std::uint32_t size) {
    auto& header = Owner().HeaderChunk();
    const auto colorType = header.Header.ColorType;
    if (colorType == COLOR_GRAYSCALE || colorType == COLOR_GRAYSCALEALPHA) header.MakeGreyRamp();
    Decoder(stream, header, Owner()).Run(type, size);
    data_.clear();
    return true;
}

bool TChunkIDAT::WriteChunk(std::vector<std::uint8_t>& out) {
    Encoder(Owner(), Owner().HeaderChunk(), out).Run();
    return true;
}
