#pragma once
// The PDF standard security handler, revision 3 with a 128-bit key: the owner and user entries,
// the file key, the per-object keys and RC4 over strings and streams. The PDF export keeps one
// TpgwPDFEncryption per protected export.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum TpgwPDFProtection : std::uint8_t { ePrint, eModify, eCopy, eAnnot };
using TpgwPDFProtectionFlags = std::uint8_t; // bits 1 << TpgwPDFProtection

// -64 + 4 * the four permission bits: -4 with all of them, -64 with none.
std::int32_t PDFPermissionValue(TpgwPDFProtectionFlags flags);
// The first 32 bytes of password, filled up to 32 with the handler's padding string.
std::string PadPassword(std::string_view password);
// A literal string's bytes: LF, CR, "(", ")" and "\" escaped with a backslash.
std::string EscapePDFString(std::string_view bytes);

struct TpgwPDFEncryption {
    std::array<std::uint8_t, 16> FileKey{};
    std::string O; // 32 bytes
    std::string U; // 32 bytes
    std::int32_t P = -64;

    // From the passwords (an empty owner password takes the user's), P and the file
    // identifier (32 hexadecimal digits).
    static TpgwPDFEncryption Prepare(std::string_view ownerPassword, std::string_view userPassword,
                                     std::int32_t p, std::string_view fileIdHex);
    // The RC4 key of an object (generation 0).
    std::array<std::uint8_t, 16> ObjectKey(int objectNumber) const;
    // bytes encrypted under the object's key; the length stays.
    std::string Encrypt(std::string_view bytes, int objectNumber) const;
    // The dictionary the trailer carries after /ID, one entry a line.
    std::string Dictionary() const;
};
