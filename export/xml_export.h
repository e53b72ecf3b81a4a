#pragma once
// The spreadsheet XML export: the prepared pages as one workbook in the 2003 XML spreadsheet
// format, a single worksheet whose grid is the layout matrix of every page together. Each
// distinct object style becomes a cell style, objects that span several grid cells become
// merged cells, numeric memos become number cells, the first page's orientation and margins
// become the sheet's page setup and page boundaries become manual row breaks. The finished file
// can be handed to the spreadsheet program through automation.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_filter.h"

class TpgwIEMatrix;
class TpgwIEMStyle;
class TpgwIEMObject;
class TpgwProgress;
class TpgwFormat;

class TpgwXMLExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwXMLExportDialog, TpgwExportDialog)
public:
    explicit TpgwXMLExportDialog(TComponent* owner);

    TCheckBox* WCB = nullptr;
    TCheckBox* ContinuousCB = nullptr;
    TCheckBox* PageBreaksCB = nullptr;
    TCheckBox* BackgrCB = nullptr;
    // The common open-after-export box, here for the spreadsheet program.
    TCheckBox* OpenExcelCB = nullptr;
};

class TpgwXMLExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwXMLExport, TpgwFileExportFilter)
public:
    explicit TpgwXMLExport(TComponent* owner);
    explicit TpgwXMLExport(UnlistedTag tag);
    ~TpgwXMLExport() override;
    static void RegisterProperties(TClassBuilder<TpgwXMLExport>& b);

    std::string FilterCaption() const override;
    // Names the output and sets up the matrix; the file itself is written whole when the run
    // closes. False without a file name or stream.
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    // Builds the grid, writes the workbook and opens it when asked; a failure goes where the
    // report's silent mode says.
    void CloseOutput() override;

    // Write the Styles element and give every cell its style (default on).
    bool ExportStyles() const { return exportStyles_; }
    void SetExportStyles(bool v) { exportStyles_ = v; }
    // Row breaks at the page boundaries (default on); a run without EmptyLines turns it off.
    bool ExportPageBreaks() const { return exportPageBreaks_; }
    void SetExportPageBreaks(bool v) { exportPageBreaks_ = v; }
    // Hand the file to the spreadsheet program afterwards (default off). The same switch as
    // OpenAfterExport: the common dialog box and slave mode work on it.
    bool OpenExcelAfterExport() const { return OpenAfterExport(); }
    void SetOpenExcelAfterExport(bool v) { SetOpenAfterExport(v); }
    // On (default): boundaries nearer than half a report unit merge; off: nearer than 10.
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool v) { wysiwyg_ = v; }
    // The matrix takes the page background (default on; only together with EmptyLines).
    bool Background() const { return background_; }
    void SetBackground(bool v) { background_ = v; }
    // Written as the generator of the workbook (default "Pagewright").
    const std::string& Creator() const { return creator_; }
    void SetCreator(const std::string& v) { creator_ = v; }
    // Off: empty grid rows are dropped and no row breaks are written (default on).
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }

    // The whole document for the prepared matrix of this run.
    void WriteWorkbook(TStream& stream);

    // Cell text as the workbook holds it: markup characters as entities, a line break as
    // "&#10;", digits right after a line break as character references, other line feeds and
    // characters XML cannot hold dropped.
    static std::string EscapeData(std::string_view text);
    // Whether text (in the legacy code page) is made only of blanks, ",", "-", ".", digits and
    // the bytes 0xA0 and 0xF0; an empty text is.
    static bool IsNumericText(std::string_view text);
    // A printf-like display format ("%2.2f") as a spreadsheet number format ("0.00").
    static std::string SpreadsheetNumberFormat(std::string_view formatStr);
    // The Alignment element's attributes of a style.
    static std::string SpreadsheetAlignment(const TpgwIEMStyle& style);
    // The number a numeric memo shows, with "." as its decimal point and nothing else but an
    // optional minus and digits; empty when the text is no such number.
    static std::string NumberData(std::string_view text, const TpgwFormat& format);

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;
    // The progress window of the workbook's rows.
    virtual std::unique_ptr<TpgwProgress> CreateProgress();

private:
    void init();
    void writeStyle(std::string& out, int index);
    void writeCell(std::string& out, const TpgwIEMObject& object, int col, int colSpan,
                   int rowSpan);
    void openInSpreadsheet();

    bool exportStyles_ = true;
    bool exportPageBreaks_ = true;
    bool wysiwyg_ = true;
    bool background_ = true;
    std::string creator_ = "Pagewright";
    bool emptyLines_ = true;

    // One run.
    std::unique_ptr<TpgwIEMatrix> matrix_;
    bool firstPage_ = true;
    double leftMargin_ = 0;
    double topMargin_ = 0;
    double rightMargin_ = 0;
    double bottomMargin_ = 0;
    bool landscape_ = false;
    std::vector<int> rowBreaks_;
};

// Enters the spreadsheet XML export as the format "xml" and its class by name.
void RegisterXMLExport();
