#include "export/rc4.h"

#include <utility>

void TpgwRC4::Init(const std::uint8_t* key, std::size_t length) {
    if (length < 1 || length > 256) return;
    for (int i = 0; i < 256; ++i)
        s_[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s_[i] + key[i % length]);
        std::swap(s_[i], s_[j]);
    }
}

void TpgwRC4::Crypt(const std::uint8_t* source, std::uint8_t* target, std::size_t count) {
    std::uint8_t i = 0, j = 0;
    for (std::size_t n = 0; n < count; ++n) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + s_[i]);
        std::swap(s_[i], s_[j]);
        target[n] = source[n] ^ s_[static_cast<std::uint8_t>(s_[i] + s_[j])];
    }
}
