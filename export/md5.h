#pragma once
// MD5 (RFC 1321): the PDF security handler's key derivation, the PDF file identifier and the
// SMTP client's authentication.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TpgwMD5 {
public:
    TpgwMD5() { Init(); }
    // Back to the initial state.
    void Init();
    void Update(const void* block, std::size_t count);
    // Appends the padding and the length and produces the digest; the running state is wiped,
    // so Init comes before the next use.
    void Finish();
    const std::array<std::uint8_t, 16>& Digest() const { return digest_; }

private:
    void transform(const std::uint8_t* block);

    std::uint64_t bits_ = 0;
    std::array<std::uint32_t, 4> state_{};
    std::array<std::uint8_t, 64> buffer_{};
    std::array<std::uint8_t, 16> digest_{};
};

// The digest of a block into 16 bytes.
void MD5Bytes(const void* block, std::size_t count, std::uint8_t digest[16]);
// The digest of text's bytes as 32 lower-case hexadecimal digits.
std::string MD5Hex(std::string_view text);
// 16 digest bytes as 32 lower-case hexadecimal digits.
std::string DigestToHex(const std::uint8_t digest[16]);
