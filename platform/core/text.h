#pragma once
// Text: UTF-8 is the text type everywhere; UTF-16 where a caller deals in code units; legacy
// 8-bit bytes are converted at the boundaries that hold them.
// (Contract header: the signatures below are relied on across the platform.)

#include <string>
#include <string_view>

// The legacy "ANSI" code page of the archives and templates (GBK).
inline constexpr int kAnsiCodePage = 936;

// UTF conversions. Invalid input raises EEncodingError naming the offset.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Code pages by Windows number (936, 437, 1250..1258, 65001 = UTF-8, ...).
// Bytes that are not valid in the code page raise EEncodingError; characters that the code page
// cannot hold raise EEncodingError too (callers that accept loss use the Lossy variants).
std::string CodePageToUtf8(std::string_view bytes, int codePage = kAnsiCodePage);
std::string Utf8ToCodePage(std::string_view utf8, int codePage = kAnsiCodePage);
// Replace what cannot be converted with '?' instead of raising.
std::string CodePageToUtf8Lossy(std::string_view bytes, int codePage = kAnsiCodePage);
std::string Utf8ToCodePageLossy(std::string_view utf8, int codePage = kAnsiCodePage);

// Case: the "Ansi" forms handle every letter (Unicode simple case mapping); the plain forms
// touch ASCII only, as the class library's do.
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
int AnsiCompareText(std::string_view a, std::string_view b);  // case-insensitive, <0 / 0 / >0
int AnsiCompareStr(std::string_view a, std::string_view b);   // case-sensitive
bool AnsiSameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
int CompareText(std::string_view a, std::string_view b);  // ASCII case-insensitive
int CompareStr(std::string_view a, std::string_view b);   // ordinal
bool SameText(std::string_view a, std::string_view b);    // ASCII case-insensitive

// Trimming as the class library trims: blanks and control characters (<= ' ').
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Number of code points in UTF-8 text (script string functions count characters).
std::size_t Utf8Length(std::string_view utf8);
