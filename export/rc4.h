#pragma once
// RC4, the stream cipher of the PDF standard security handler.

#include <array>
#include <cstddef>
#include <cstdint>

class TpgwRC4 {
public:
    // Key scheduling for a key of 1 to 256 bytes; any other length changes nothing.
    void Init(const std::uint8_t* key, std::size_t length);
    // XORs count bytes of the key stream onto source into target (they may be the same). The
    // generator starts at both indices 0 on every call; the permutation carries over.
    void Crypt(const std::uint8_t* source, std::uint8_t* target, std::size_t count);

private:
    std::array<std::uint8_t, 256> s_{};
};
