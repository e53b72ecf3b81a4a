#pragma once
// The spreadsheet automation export: the prepared pages as a native workbook that the installed
// spreadsheet program builds and saves, driven through TpgwExcel. The layout matrix turns all
// pages into one grid; the program gets its row heights, column widths, one named cell style
// per object style ("S" and the style's number), merged ranges, borders, number formats, the
// cell values as one two-dimensional array and the pictures pasted through the clipboard.
//
// Two modes: cell by cell, where every cell's style, merge and borders go as soon as the cell
// is met, and the fast mode (the default), which collects equal settings into multi-area
// ranges and sends each batch in one call.
//
// Without the program there is no workbook: the run ends at OpenOutput with the message that
// the program must be installed.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "export/export_filter.h"
#include "platform/print/papers.h"
#include "report/view.h"

class TpgwExcel;
class TpgwIEMatrix;
class TpgwIEMObject;
class TpgwIEMStyle;
class TpgwProgress;
class TWideStrings;

class TpgwXLSExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwXLSExportDialog, TpgwExportDialog)
public:
    explicit TpgwXLSExportDialog(TComponent* owner);

    TCheckBox* MergeCB = nullptr;
    TCheckBox* WCB = nullptr;
    TCheckBox* ContinuousCB = nullptr;
    TCheckBox* PicturesCB = nullptr;
    TCheckBox* AsTextCB = nullptr;
    TCheckBox* BackgrCB = nullptr;
    TCheckBox* FastExpCB = nullptr;
    TCheckBox* PageBreaksCB = nullptr;
    // The common open-after-export box, here for leaving the program open.
    TCheckBox* OpenExcelCB = nullptr;
};

class TpgwXLSExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwXLSExport, TpgwFileExportFilter)
public:
    // The longest cell value the program takes in one assignment.
    static constexpr std::size_t kMaxCellText = 900;
    // Row heights: report units per point, and the tallest row in report units (409 points).
    static constexpr double kUnitsPerPoint = 1.315;
    static constexpr double kMaxRowUnits = 409 * kUnitsPerPoint;

    explicit TpgwXLSExport(TComponent* owner);
    explicit TpgwXLSExport(UnlistedTag tag);
    ~TpgwXLSExport() override;
    static void RegisterProperties(TClassBuilder<TpgwXLSExport>& b);

    std::string FilterCaption() const override;
    // The dialog opens even with a TargetStream: this filter never writes to one.
    int AskOptions() override;
    // Names the file, sets up the matrix and starts the program. False without a file name, or
    // when the program cannot be started (after saying so, as the report's silent mode says).
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    // Fills the worksheet, saves it and quits the program or leaves it shown. After a failed
    // run nothing is filled or saved; the program is closed all the same.
    void CloseOutput() override;

    // Pictures go to the clipboard as metafiles (default); off: as bitmaps, and rich text
    // becomes plain text.
    bool ExportEMF() const { return exportEMF_; }
    void SetExportEMF(bool v) { exportEMF_ = v; }
    // Cell styles, borders and number formats (default on).
    bool ExportStyles() const { return exportStyles_; }
    void SetExportStyles(bool v) { exportStyles_ = v; }
    // Non-text objects are exported (default on).
    bool ExportPictures() const { return exportPictures_; }
    void SetExportPictures(bool v) { exportPictures_ = v; }
    // Objects spanning several grid cells become merged ranges (default on).
    bool MergeCells() const { return mergeCells_; }
    void SetMergeCells(bool v) { mergeCells_ = v; }
    // Leave the program running and shown with the workbook (default off). The same switch as
    // OpenAfterExport: the common dialog box and slave mode work on it.
    bool OpenExcelAfterExport() const { return OpenAfterExport(); }
    void SetOpenExcelAfterExport(bool v) { SetOpenAfterExport(v); }
    // On (default): boundaries nearer than half a report unit merge; off: nearer than 10.
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool v) { wysiwyg_ = v; }
    // Fast mode: every value is entered as text (default off).
    bool AsText() const { return asText_; }
    void SetAsText(bool v) { asText_ = v; }
    // The matrix takes the page background (default on; only together with EmptyLines).
    bool Background() const { return background_; }
    void SetBackground(bool v) { background_ = v; }
    // The batched fast mode (default on); off: cell by cell.
    bool FastExport() const { return fastExport_; }
    void SetFastExport(bool v) { fastExport_ = v; }
    // Manual page breaks at the page boundaries (default on; only together with EmptyLines).
    bool PageBreaks() const { return pageBreaks_; }
    void SetPageBreaks(bool v) { pageBreaks_ = v; }
    // Empty grid rows stay (default on).
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }

    // The two modes, on the prepared matrix of this run.
    void ExportCellByCell();
    void ExportFast();

    // The object's lines without carriage returns and without line feeds at the end.
    static std::u16string CleanCellText(const TWideStrings& lines);
    // A value cut to kMaxCellText UTF-16 units, or, with eightBit, to as many bytes of the
    // legacy code page; a character is never cut in half, and one the code page cannot hold
    // counts as one byte and stays as it is.
    static std::u16string LimitCellText(std::u16string text, bool eightBit);
    // The text of a numeric memo with "." as its decimal point and no grouping: the format's
    // separators where it has them, else the system's; the decimal one wins where they are
    // the same.
    static std::string NumericCellText(std::string_view text, const TpgwFormat& format);
    // A printf-like display format ("%2.2n") as a number format with the system decimal
    // separator ("# ##0.00"); empty for a kind it does not know.
    static std::string ExcelNumberFormat(std::string_view formatStr);
    // The program's horizontal and vertical alignment constants of a style.
    static std::pair<int, int> ExcelAlignmentCodes(const TpgwIEMStyle& style);

    // The program's objects during a run (tests look at them).
    TpgwExcel* Excel() const { return excel_.get(); }

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;

private:
    void init();
    void freeRun();
    // Page setup and the progress window, for both modes.
    void beginFill();
    // The manual page break above row + 2 when row reaches the end of page; page moves on.
    void setPageBreak(int row, int& page);
    void sendColumnWidths();
    void sendStyles(bool fast);
    void pastePicture(const TpgwIEMObject& object, bool shift);
    // Saves (unless told not to), restores the program's settings and quits it, or leaves it
    // shown when asked to; every failure here is dropped.
    void saveAndClose(bool save, bool shown);
    void startProgress(int maximum, const std::string& message);
    // One step; false once the user cancelled.
    bool step();

    bool exportEMF_ = true;
    bool exportStyles_ = true;
    bool exportPictures_ = true;
    bool mergeCells_ = true;
    bool wysiwyg_ = true;
    bool asText_ = false;
    bool background_ = true;
    bool fastExport_ = true;
    bool pageBreaks_ = true;
    bool emptyLines_ = true;

    // One run.
    std::unique_ptr<TpgwExcel> excel_;
    std::unique_ptr<TpgwIEMatrix> matrix_;
    std::unique_ptr<TpgwProgress> progress_;
    bool firstPage_ = true;
    // The first page's margins in the spreadsheet's unit, and its orientation.
    double leftMargin_ = 0;
    double topMargin_ = 0;
    double rightMargin_ = 0;
    double bottomMargin_ = 0;
    TPrinterOrientation orientation_ = poPortrait;
    int pictureCount_ = 0;
};

// Enters the spreadsheet automation export as the format "xls" and its class by name.
void RegisterXLSExport();
