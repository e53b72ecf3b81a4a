#pragma once
// The PNG codec's errors. Each derives directly from Exception and carries the codec's own text.

#include <string>

#include "platform/core/exception.h"

LUMETRA_EXCEPTION(EPngError, Exception);
LUMETRA_EXCEPTION(EPNGUnknownCriticalChunk, Exception);
LUMETRA_EXCEPTION(EPNGUnknownCompression, Exception);
LUMETRA_EXCEPTION(EPNGUnknownInterlace, Exception);
LUMETRA_EXCEPTION(EPngUnexpectedEnd, Exception);
LUMETRA_EXCEPTION(EPNGNoImageData, Exception);
LUMETRA_EXCEPTION(EPNGOutMemory, Exception);
LUMETRA_EXCEPTION(EPNGHeaderNotPresent, Exception);
LUMETRA_EXCEPTION(EPNGInvalidNewSize, Exception);
LUMETRA_EXCEPTION(EPngInvalidCRC, Exception);
LUMETRA_EXCEPTION(EPngInvalidIHDR, Exception);
LUMETRA_EXCEPTION(EPNGMissingMultipleIDAT, Exception);
LUMETRA_EXCEPTION(EPNGZLIBError, Exception);
LUMETRA_EXCEPTION(EPNGInvalidPalette, Exception);
LUMETRA_EXCEPTION(EPNGInvalidFileHeader, Exception);
LUMETRA_EXCEPTION(EPNGIHDRNotFirst, Exception);
LUMETRA_EXCEPTION(EPNGSizeExceeds, Exception);

namespace png_messages {
inline constexpr const char* NoSuchPaletteEntry = "There is no such palette entry.";
inline constexpr const char* IncompatibleChunks = "The chunks must be compatible to be assigned.";
inline constexpr const char* UnknownCriticalChunk =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not be "
    "decoded.";
inline constexpr const char* UnknownCompression =
    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which "
    "could not be decoded.";
inline constexpr const char* UnknownInterlace =
    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be "
    "decoded.";
inline constexpr const char* UnexpectedEnd =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected "
    "end of the file.";
inline constexpr const char* NoImageData =
    "This \"Portable Network Graphics\" image contains no data.";
inline constexpr const char* OutMemory = "Some operation could not be performed because the system "
                                         "is out of resources. Close some windows and try again.";
inline constexpr const char* HeaderNotPresent =
    "This operation is not valid because the current image contains no valid header.";
inline constexpr const char* InvalidNewSize =
    "The new size provided for image resizing is invalid.";
inline constexpr const char* InvalidCRC = "This \"Portable Network Graphics\" image is not valid "
                                          "because it contains invalid pieces of data (crc error)";
inline constexpr const char* InvalidIHDR =
    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of "
    "data (ihdr) might be corrupted";
inline constexpr const char* MissingMultipleIDAT =
    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.";
inline constexpr const char* ZLIBError =
    "Could not decompress the image because it contains invalid compressed data.";
inline constexpr const char* InvalidPalette =
    "The \"Portable Network Graphics\" image contains an invalid palette.";
inline constexpr const char* InvalidFileHeader =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it contains "
    "an invalid header. "
    "This file may be corruped, try obtaining it again.";
inline constexpr const char* IHDRNotFirst =
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR "
    "chunk is not the first)";
inline constexpr const char* SizeExceeds =
    "This \"Portable Network Graphics\" image is not supported because either it's width or height "
    "exceeds the maximum "
    "size, which is 65535 pixels length.";
} // namespace png_messages

// The inflate/deflate error text with the description of a zlib result code appended.
std::string PngZlibErrorMessage(int code);
