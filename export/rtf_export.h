#pragma once
// The RTF export: the prepared pages as one Rich Text Format document in which every page is a
// run of table rows. The layout matrix turns the objects of all pages into one grid; each grid
// row becomes a table row whose cells carry an object's text and format, its borders and fill,
// or its picture. Page boundaries become sections with the next page's size and margins; page
// headers and footers stay in the flow, go into the document's header and footer, or are left
// out. Rich text views stay rich: their own font and colour tables join the document's.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/export_filter.h"

class TComboBox;
class TpgwIEMatrix;
class TpgwIEMObject;
class TpgwProgress;

// What becomes of the objects of page headers and footers.
enum TpgwHeaderFooterMode : std::uint8_t {
    hfText,  // they stay in the body where they stand on each page
    hfPrint, // they are written once into the document's header and footer
    hfNone   // they are left out
};
const TTypeInfo& TpgwHeaderFooterModeType();

class TpgwRTFExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwRTFExportDialog, TpgwExportDialog)
public:
    explicit TpgwRTFExportDialog(TComponent* owner);

    TCheckBox* PicturesCB = nullptr;
    TCheckBox* WCB = nullptr;
    TCheckBox* PageBreaksCB = nullptr;
    TCheckBox* ContinuousCB = nullptr;
    TLabel* HeadFootL = nullptr;
    // Items: text, header/footer, none (the order of TpgwHeaderFooterMode).
    TComboBox* PColontitulCB = nullptr;
};

class TpgwRTFExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwRTFExport, TpgwFileExportFilter)
public:
    explicit TpgwRTFExport(TComponent* owner);
    explicit TpgwRTFExport(UnlistedTag tag);
    ~TpgwRTFExport() override;
    static void RegisterProperties(TClassBuilder<TpgwRTFExport>& b);

    std::string FilterCaption() const override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    void CloseOutput() override;

    // Pictures as enhanced metafiles (default); off: as bitmaps in a Windows metafile.
    bool ExportEMF() const { return exportEMF_; }
    void SetExportEMF(bool v) { exportEMF_ = v; }
    // A new section at every page boundary (default on).
    bool ExportPageBreaks() const { return exportPageBreaks_; }
    void SetExportPageBreaks(bool v) { exportPageBreaks_ = v; }
    // Off: only text objects are exported (default on).
    bool ExportPictures() const { return exportPictures_; }
    void SetExportPictures(bool v) { exportPictures_ = v; }
    // On (default): boundaries nearer than half a report unit merge; off: nearer than 10.
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool v) { wysiwyg_ = v; }
    // The document's author (default "Pagewright"), UTF-8.
    const std::string& Creator() const { return creator_; }
    void SetCreator(const std::string& v) { creator_ = v; }
    // Default hfText.
    TpgwHeaderFooterMode HeaderFooterMode() const { return headerFooterMode_; }
    void SetHeaderFooterMode(TpgwHeaderFooterMode v) { headerFooterMode_ = v; }
    // Rows get a minimum height instead of an exact one (default off).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) { autoSize_ = v; }

    // Writes the whole document for the prepared matrix of this run, the tables collected first.
    void WriteDocument(TStream& stream);
    // Fills the font and colour tables from every object of the grid and merges the tables of
    // rich text into them; rich text that cannot be merged becomes its plain text.
    void CollectTables();

    // "\", "{" and "}" escaped; a line break inside the text becomes "\line".
    static std::u16string EscapeText(std::u16string_view text);
    // ASCII as it is; every other UTF-16 unit as "\u", its unsigned value and "\'3f".
    static std::string EncodeText(std::u16string_view text);
    // The plain text of an RTF document (a text that is not RTF is taken as it is).
    static std::u16string RtfPlainText(std::string_view rtf);

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;
    void BeginOutput() override;
    void EndOutput() override;

private:
    enum class Pass { Header, Footer, Body };

    void init();
    void freeRun();
    int addFont(const std::string& name, const std::string& charset);
    int addColor(const std::string& entry);
    int colorNumber(TColor color);
    int fontNumber(const std::string& name) const;
    bool rewriteRichText(TpgwIEMObject& object);
    void collectTagColors(const TpgwIEMObject& object);

    void writeLine(TStream& out, const std::string& line);
    void writeSection(TStream& out, int page);
    // False when the user cancelled.
    bool writeRows(TStream& out, Pass pass);
    bool accepts(Pass pass, const TpgwIEMObject& object) const;
    bool startsOtherThanFill(int row) const;
    std::string borderWords(const TpgwIEMObject& object);
    std::string cellDefinition(const TpgwIEMObject& object, int rowSpan, int right);
    std::string textCell(const TpgwIEMObject& object, int rowHeight);
    std::string tagRuns(const TpgwIEMObject& object);
    std::string pictureCell(const TpgwIEMObject& object);

    bool exportEMF_ = true;
    bool exportPageBreaks_ = true;
    bool exportPictures_ = true;
    bool wysiwyg_ = true;
    std::string creator_ = "Pagewright";
    TpgwHeaderFooterMode headerFooterMode_ = hfText;
    bool autoSize_ = false;

    // One run.
    std::unique_ptr<TpgwIEMatrix> matrix_;
    std::unique_ptr<TpgwProgress> progress_;
    std::vector<std::string> fonts_;
    std::vector<std::string> fontCharsets_;
    std::unordered_map<std::string, int> fontIndex_;
    std::vector<std::string> colors_;
    std::unordered_map<std::string, int> colorIndex_;
    int pageCount_ = 0;
    int currentPage_ = 0;
    double factor_ = 15;
};

// Enters the RTF export as the format "rtf" and its class by name.
void RegisterRTFExport();
