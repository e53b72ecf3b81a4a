#include "export/md5.h"

#include <cstring>

namespace {

constexpr std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                             5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                             4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                             6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

} // namespace

void TpgwMD5::Init() {
    bits_ = 0;
    state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    buffer_.fill(0);
}

void TpgwMD5::transform(const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = std::uint32_t(block[4 * i]) | std::uint32_t(block[4 * i + 1]) << 8 |
               std::uint32_t(block[4 * i + 2]) << 16 | std::uint32_t(block[4 * i + 3]) << 24;
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = d;
        d = c;
        c = b;
        b = b + rotl(a + f + kSines[i] + m[g], kShifts[i]);
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void TpgwMD5::Update(const void* block, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    std::size_t used = static_cast<std::size_t>((bits_ / 8) % 64);
    bits_ += std::uint64_t(count) * 8;
    while (count > 0) {
        const std::size_t take = std::min(count, 64 - used);
        std::memcpy(buffer_.data() + used, bytes, take);
        used += take;
        bytes += take;
        count -= take;
        if (used == 64) {
            transform(buffer_.data());
            used = 0;
        }
    }
}

void TpgwMD5::Finish() {
    const std::uint64_t bits = bits_;
    const std::uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while ((bits_ / 8) % 64 != 56)
        Update(&zero, 1);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Update(length, 8);
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            digest_[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (8 * k));
    // Nothing of the input stays behind in the object.
    bits_ = 0;
    state_.fill(0);
    buffer_.fill(0);
}

void MD5Bytes(const void* block, std::size_t count, std::uint8_t digest[16]) {
    TpgwMD5 md5;
    md5.Update(block, count);
    md5.Finish();
    std::memcpy(digest, md5.Digest().data(), 16);
}

std::string DigestToHex(const std::uint8_t digest[16]) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

std::string MD5Hex(std::string_view text) {
    std::uint8_t digest[16];
    MD5Bytes(text.data(), text.size(), digest);
    return DigestToHex(digest);
}
