#include "export/pdf_security.h"

#include <cstring>

#include "export/md5.h"
#include "export/rc4.h"

namespace {

constexpr std::uint8_t kPadding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

using Key = std::array<std::uint8_t, 16>;

std::string rc4(const std::uint8_t* key, std::size_t keyLength, std::string_view bytes) {
    std::string out(bytes.size(), '\0');
    TpgwRC4 cipher;
    cipher.Init(key, keyLength);
    cipher.Crypt(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                 reinterpret_cast<std::uint8_t*>(out.data()), bytes.size());
    return out;
}

// The 19 further rounds of revision 3: RC4 under the key with every byte XOR i.
std::string rounds(const Key& key, std::string data) {
    for (int i = 1; i <= 19; ++i) {
        Key k = key;
        for (auto& b : k)
            b = static_cast<std::uint8_t>(b ^ i);
        data = rc4(k.data(), k.size(), data);
    }
    return data;
}

Key hash50(TpgwMD5& md5) {
    md5.Finish();
    Key h;
    std::memcpy(h.data(), md5.Digest().data(), 16);
    for (int i = 0; i < 50; ++i)
        MD5Bytes(h.data(), h.size(), h.data());
    return h;
}

std::string idBytes(std::string_view hex) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return 0;
    };
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    return bytes;
}

} // namespace

std::int32_t PDFPermissionValue(TpgwPDFProtectionFlags flags) {
    return -64 + 4 * (flags & 15);
}

std::string PadPassword(std::string_view password) {
    std::string padded(password.substr(0, 32));
    padded.append(reinterpret_cast<const char*>(kPadding), 32 - padded.size());
    return padded;
}

std::string EscapePDFString(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '(':
            out += "\\(";
            break;
        case ')':
            out += "\\)";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

TpgwPDFEncryption TpgwPDFEncryption::Prepare(std::string_view ownerPassword,
                                             std::string_view userPassword, std::int32_t p,
                                             std::string_view fileIdHex) {
    TpgwPDFEncryption e;
    e.P = p;
    const std::string owner = PadPassword(ownerPassword.empty() ? userPassword : ownerPassword);
    const std::string user = PadPassword(userPassword);

    TpgwMD5 md5;
    md5.Update(owner.data(), owner.size());
    const Key ownerKey = hash50(md5);
    e.O = rounds(ownerKey, rc4(ownerKey.data(), ownerKey.size(), user));

    const std::string id = idBytes(fileIdHex);
    md5.Init();
    md5.Update(user.data(), user.size());
    md5.Update(e.O.data(), e.O.size());
    const std::uint8_t pBytes[4] = {static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 8),
                                    static_cast<std::uint8_t>(p >> 16),
                                    static_cast<std::uint8_t>(p >> 24)};
    md5.Update(pBytes, 4);
    md5.Update(id.data(), id.size());
    e.FileKey = hash50(md5);

    md5.Init();
    md5.Update(kPadding, 32);
    md5.Update(id.data(), id.size());
    md5.Finish();
    const std::string h(reinterpret_cast<const char*>(md5.Digest().data()), 16);
    e.U = rounds(e.FileKey, rc4(e.FileKey.data(), e.FileKey.size(), h)) + std::string(16, '\0');
    return e;
}

std::array<std::uint8_t, 16> TpgwPDFEncryption::ObjectKey(int objectNumber) const {
    std::uint8_t material[21];
    std::memcpy(material, FileKey.data(), 16);
    material[16] = static_cast<std::uint8_t>(objectNumber);
    material[17] = static_cast<std::uint8_t>(objectNumber >> 8);
    material[18] = static_cast<std::uint8_t>(objectNumber >> 16);
    material[19] = 0;
    material[20] = 0;
    Key key;
    MD5Bytes(material, sizeof material, key.data());
    return key;
}

std::string TpgwPDFEncryption::Encrypt(std::string_view bytes, int objectNumber) const {
    const Key key = ObjectKey(objectNumber);
    return rc4(key.data(), key.size(), bytes);
}

std::string TpgwPDFEncryption::Dictionary() const {
    return "/Encrypt <<\n/Filter /Standard\n/V 2\n/R 3\n/Length 128\n/P " + std::to_string(P) +
           "\n/O (" + EscapePDFString(O) + ")\n/U (" + EscapePDFString(U) + ")\n>>\n";
}
