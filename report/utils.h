#pragma once
// Small helpers shared across the report generator: stream CRC and hex text, float text in
// both decimal conventions, colour text, bracketed-expression extraction, page ranges,
// temporary files and the program folder, and the overlap tests of report areas.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStream;

// Colour as the class library stores it: 0x00BBGGRR, or a system colour with the top bit set.
using TColor = std::int32_t;

struct TpgwRect {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct TpgwPoint {
    double X = 0, Y = 0;
};
TpgwRect MakeRect(double left, double top, double right, double bottom);
TpgwPoint MakePoint(double x, double y);

// Streams and text.
// Standard CRC-32 of the whole stream from position 0; the position is restored.
std::uint32_t StreamCRC32(TStream& stream);
// StreamToHex and HexToStream are the property stream's (platform/core/property_stream.h).
// Fields separated by one delimiter, no quoting; a delimiter at the very end adds no field.
void SplitText(std::string_view text, std::vector<std::string>& list, char delimiter);
// The field starting at pos (0-based); pos moves past its delimiter.
std::string NextField(std::string_view text, std::size_t& pos, char delimiter);
std::string ReplaceChar(std::string_view text, char from, char to);
// Every "/" becomes "\".
std::string NormalizeSlashes(std::string_view text);

// Numbers and colours.
// Accepts both "," and "." as the decimal point and ignores blanks; EConvertError otherwise.
double ParseFloatValue(std::string_view text);
bool IsValidFloatText(std::string_view text);
// "%2.2f" with the locale separator when the value has a fraction, else the general form.
std::string FloatValueToStr(double value);
// Fixed-point text with the given separator, no thousands separators, whatever the locale.
std::string FloatToFixedStr(double value, int decimals, char decimalSeparator);
// "#RRGGBB"; system colours resolved through the default colour table.
std::string ColorToHexRGB(TColor color);

// Finds the bracketed expression whose opening delimiter stands at startPos (0-based indices).
// Nested pairs match; delimiters inside single or double quotes do not count. On success
// expression is the text between the delimiters, startPos stays on the opening delimiter and
// endPos moves to the last character of the closing one. Without an opening delimiter at
// startPos the expression is empty and nothing moves; an expression that is never closed
// raises EConvertError.
void ExtractExpression(std::string_view text, std::string_view openDelimiter,
                       std::string_view closeDelimiter, std::string& expression,
                       std::size_t& endPos, std::size_t& startPos);
void ExtractExpressionW(std::u16string_view text, std::u16string_view openDelimiter,
                        std::u16string_view closeDelimiter, std::u16string& expression,
                        std::size_t& endPos, std::size_t& startPos);

// Expands "1,3,5-7" or "4-" into page numbers, duplicates and written order kept. A range never
// runs past pageCount, so "1-999999999" costs no more than the report's pages; single numbers
// are listed as written. Non-numeric parts raise EConvertError.
void ParsePageNumbers(std::string_view text, std::vector<int>& list, int pageCount);

// Files (the temporary folder itself is GetTempDir of platform/core/files.h).
// A new unique empty file, name prefix "pg", in the temporary folder or in folder.
std::string MakeTempFileName();
std::string MakeTempFileNameIn(const std::string& folder);
std::string GetModuleFile();
// The program's folder, with a trailing separator.
std::string GetAppFolder();

// A report area: left, top, right, bottom in report units.
class TpgwRectArea {
public:
    TpgwRectArea(double x, double y, double x1, double y1) : X(x), Y(y), X1(x1), Y1(y1) {}
    // Overlap beyond a 0.0001 tolerance: areas that only touch do not intercept.
    bool InterceptsX(const TpgwRectArea& area) const;
    bool InterceptsY(const TpgwRectArea& area) const;
    // The horizontal overlap (Y and Y1 zero), or none.
    std::unique_ptr<TpgwRectArea> IntersectX(const TpgwRectArea& area) const;
    static double Max(double a, double b) { return a > b ? a : b; }
    static double Min(double a, double b) { return a < b ? a : b; }

    double X, Y, X1, Y1;
};

// ---- errors, message boxes and component lookup (utils_messages.cpp) --------------------------

class TComponent;
class TpgwReport;

// By the report's NewSilentMode: an error box, nothing, or an Exception with message. Without
// a report: an error box.
void ReportError(TpgwReport* report, const std::string& message);
// Message boxes through the platform's reporter, captioned "mbError", "mbConfirm", "mbInfo".
void ShowErrorMessage(const std::string& text);
// flags: the platform's MB_* button flags; the question icon is added. The ID* result.
int ShowConfirmMessage(const std::string& text, unsigned flags);
void ShowInfoMessage(const std::string& text);

// The application's lookup of global forms and data modules by name; also installed as the
// property stream's finder, so that both resolve "Form.Component" alike.
using TpgwGlobalComponentLookup = std::function<TComponent*(std::string_view name)>;
void SetGlobalComponentLookup(TpgwGlobalComponentLookup lookup);
// "Name": owned by root (or, for a report with an owner, by that owner); "Form.Name" and
// "Form.Frame.Name": through the global lookup. None when a link is missing; a lookup that
// raises becomes EClassNotFound "Missing " + path.
TComponent* FindComponentByPath(TComponent* root, std::string_view path);
// The name a template writes for a reference from owner's tree to component; empty when it
// cannot be written.
std::string ComponentReferenceName(TComponent* owner, TComponent* component);

// ---- pictures (utils_pictures.cpp) --------------------------------------------------------------

class TBitmap;
class TCanvas;
class TGraphic;
struct TRect;

// Stretches the bitmap onto the rectangle (the way printers get pictures).
void StretchBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap);
// Metafiles, and any graphic when viaBitmap is false, are stretch-drawn directly; otherwise the
// graphic is first drawn into a 32-bit bitmap of its own size, which is then stretched.
void DrawGraphic(TCanvas& canvas, const TRect& rect, const TGraphic& graphic, bool viaBitmap);
