#pragma once
// TpgwExcel: the thin layer through which the spreadsheet automation export drives the
// spreadsheet program by late-bound automation calls. It starts the program, keeps the program,
// its new workbook, the workbook's first worksheet and the current cell range, turns column and
// row numbers into A1 cell names, and sends single settings or batches of ranges (multi-area
// addresses of at most 255 characters per call, so that few calls cross to the program).
//
// Some operations let a failing call through to the caller; the others (column width, page
// setup, range selection and every batch) drop it and carry on, so that one refused setting
// does not end the export.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/variant.h"
#include "platform/print/papers.h"
#include "report/view.h"

class TksAutomationObject;
class TpgwProgress;

// Range addresses (an A1 name, or two joined by ":") each with an integer: a style index, a
// frame-side set, a height index or 0.
using TpgwRangeList = std::vector<std::pair<std::string, int>>;

// What ApplyRangeList sends for its ranges.
enum TpgwRangeListKind : int { rlStyles = 0, rlBorders = 1, rlMerges = 2 };

class TpgwExcel {
public:
    // The programmatic identifier the program is created by.
    static constexpr const char* kProgId = "Excel.Application";
    // Batches never grow beyond this many characters.
    static constexpr std::size_t kMaxAddressLength = 255;
    // Row heights are cut to this many points.
    static constexpr double kMaxRowHeight = 409;

    // Automation needs no per-thread set-up on this system; nothing is started yet.
    TpgwExcel();
    ~TpgwExcel();
    TpgwExcel(const TpgwExcel&) = delete;
    TpgwExcel& operator=(const TpgwExcel&) = delete;

    // Starts a hidden program with screen updating and alerts off and one new workbook. Any
    // failure leaves Opened() false; nothing is raised.
    void Start();
    bool Opened() const { return opened_; }
    // When opened: shows or hides the program. Failures pass on.
    void SetVisible(bool visible);
    // Releases the program (after it was told to quit, or to leave it running on its own).
    void ReleaseApplication();

    // Column letters from 1: A..Z, AA..ZZ, AAA...; "" below 1.
    static std::string ColumnName(int column);
    static std::string CellName(int column, int row);
    // The clipping of SelectRange: a column of 256 or more becomes 255, and a range reaching
    // column 256 ends at 254. False when nothing is left of the range.
    static bool ClipRange(int& column, int& columnCount);

    // Only for 0 < width < 256 and column < 256; failures dropped.
    void SetColumnWidth(int column, double width);
    // Only for height > 0, at most kMaxRowHeight; failures pass on.
    void SetRowHeight(int row, double height);
    // Merges the current range; failures pass on.
    void MergeRange();
    // Margins in the spreadsheet's unit; the first failure skips the rest, and is dropped.
    void SetPageSetup(TPrinterOrientation orientation, double bottom, double top, double right,
                      double left);
    // Clips the range and makes it the current one; false (the current range stays) when
    // nothing is left of it or the program refused it.
    bool SelectRange(int column, int row, int rowCount, int columnCount);
    // Continuous lines on the given sides of the current range; failures pass on.
    void SetBorders(TpgwFrameTypes sides);
    // The settings of a multi-area address; nothing for an empty one; failures dropped.
    void SetRangeStyle(const std::string& addresses, int style);
    void SetRangeBorders(const std::string& addresses, TpgwFrameTypes sides);
    void SetRangeNumberFormat(const std::string& addresses, const std::string& format);

    // Row heights in batches: ranges sorted by height index ("A3:A5"), heights in points (whole
    // quarter points). The most used height goes to rows 1..rowCount at once (a failure passes
    // on); every other height's ranges follow, joined with ";", failures dropped.
    void SetRowHeights(const TpgwRangeList& ranges, const std::vector<double>& heights,
                       TpgwProgress* progress, int rowCount, int mostUsed);
    // Styles, borders or merges of ranges sorted by their integer, one call per batch of equal
    // integers joined with the list separator; failures dropped.
    void ApplyRangeList(const TpgwRangeList& ranges, TpgwRangeListKind kind,
                        TpgwProgress* progress);
    // Lines "format=address" in their order; runs of one format go in batches like the ranges.
    void ApplyNumberFormats(const std::vector<std::string>& lines, TpgwProgress* progress);

    // What joins the areas of a multi-area address: the system's list separator (the
    // Chinese locale's "," unless set otherwise).
    char ListSeparator() const { return listSeparator_; }
    void SetListSeparator(char value) { listSeparator_ = value; }

    // The program's objects (Empty before Start or after a failed one).
    const Variant& Application() const { return application_; }
    const Variant& Workbook() const { return workbook_; }
    const Variant& Worksheet() const { return worksheet_; }
    const Variant& CurrentRange() const { return range_; }

    // Late-bound calls by member name; failures raise EOleError. An Empty argument stands for
    // one that is left out.
    static Variant Get(const Variant& object, const std::string& member,
                       const std::vector<Variant>& args = {});
    static void Set(const Variant& object, const std::string& member, const Variant& value);
    static void Call(const Variant& object, const std::string& member,
                     const std::vector<Variant>& args = {});

private:
    // Sends one batch of ApplyRangeList.
    void sendRanges(TpgwRangeListKind kind, const std::string& batch, int value);

    std::unique_ptr<TksAutomationObject> server_;
    Variant application_;
    Variant workbook_;
    Variant worksheet_;
    Variant range_;
    bool opened_ = false;
    char listSeparator_ = ',';
};
