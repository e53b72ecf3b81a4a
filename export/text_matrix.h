#pragma once
// What the CSV and text exports share: the layout matrix set up for plain text, and text in the
// legacy code page.

#include <memory>
#include <string>
#include <string_view>

class TpgwIEMatrix;

// A matrix for text: no backgrounds or pictures, rich text and HTML as plain text, frames merged,
// filled from the content, at mergeTolerance.
std::unique_ptr<TpgwIEMatrix> MakeTextMatrix(bool useFileCache, bool includeNonPrintable,
                                             double mergeTolerance);

// UTF-16 in the legacy code page; a character that has no place there becomes "?" and the rest
// stays.
std::string ExportAnsiText(std::u16string_view text);
