#pragma once
// The OpenDocument exports: the prepared pages as a spreadsheet (".ods") or a text document
// (".odt") holding one table. Every page's objects go into one layout matrix, page below page,
// and the matrix's grid becomes the table's rows and columns: one cell per object (spanning
// its cells), text cells with their font, alignment, fill and borders, pictures as embedded
// images. The package is built as a folder in the temporary folder (content, styles, meta,
// manifest, thumbnail, pictures), zipped into the output and removed again, whatever happens.

#include <memory>
#include <string>

#include "export/export_filter.h"
#include "platform/print/papers.h"

class TBitmap;
class TCheckBox;
class TpgwIEMatrix;
class TpgwIEMObject;
class TpgwProgress;
class TpgwODFPart;

class TpgwODFExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwODFExportDialog, TpgwExportDialog)
public:
    TpgwODFExportDialog(TComponent* owner, const std::string& caption);

    TCheckBox* WCB = nullptr;
    TCheckBox* ContinuousCB = nullptr;
    TCheckBox* PageBreaksCB = nullptr;
    TCheckBox* BackgrCB = nullptr;
};

class TpgwODFExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwODFExport, TpgwFileExportFilter)
public:
    explicit TpgwODFExport(TComponent* owner);
    explicit TpgwODFExport(UnlistedTag tag);
    ~TpgwODFExport() override;
    static void RegisterProperties(TClassBuilder<TpgwODFExport>& b);

    // Names the output and sets up the matrix; the file itself is made when the run closes.
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    // Writes the package. What fails here (the output, the package folder, writing) goes
    // through the report's silent mode; the earlier file and no package folder stay behind.
    void CloseOutput() override;

    // Pictures as metafiles (".emf"), rich text then as a picture too; off: bitmaps (".bmp")
    // and rich text as plain text (default on).
    bool ExportEMF() const { return exportEMF_; }
    void SetExportEMF(bool v) { exportEMF_ = v; }
    // Kept with the settings; the package always carries its styles (default on).
    bool ExportStyles() const { return exportStyles_; }
    void SetExportStyles(bool v) { exportStyles_ = v; }
    // A page-break row before the first row of every further page (default on).
    bool ExportPageBreaks() const { return exportPageBreaks_; }
    void SetExportPageBreaks(bool v) { exportPageBreaks_ = v; }
    // On: boundaries nearer than half a report unit merge; off: nearer than 10 (default on).
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool v) { wysiwyg_ = v; }
    // The page background is taken into the table (default on).
    bool Background() const { return background_; }
    void SetBackground(bool v) { background_ = v; }
    // The document's initial creator (default "Pagewright"), UTF-8.
    const std::string& Creator() const { return creator_; }
    void SetCreator(const std::string& v) { creator_ = v; }
    // Off: empty rows are removed, and page backgrounds and page breaks are off as well
    // (default on).
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }

    // "spreadsheet" or "text".
    const std::string& DocumentType() const { return documentType_; }
    // The progress window of the package being written; none outside it.
    TpgwProgress* Progress() const { return progress_.get(); }

    // Writes the package for the prepared matrix of this run into stream.
    void Build(TStream& stream);

protected:
    TpgwODFExport(TComponent* owner, std::string documentType);
    TpgwODFExport(UnlistedTag tag, std::string documentType);

    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;

private:
    struct Package;

    void init();
    void freeRun();
    void writeStyles(const std::string& fileName);
    void writeContent(Package& package);
    void writeAutomaticStyles(TpgwODFPart& out, Package& package);
    void writeTable(TpgwODFPart& out, Package& package);
    std::string pictureCell(TpgwIEMObject& object, Package& package);
    void writeManifest(const std::string& fileName, int pictures);
    void writeMeta(const std::string& fileName);

    bool exportEMF_ = true;
    bool exportStyles_ = true;
    bool exportPageBreaks_ = true;
    bool wysiwyg_ = true;
    bool background_ = true;
    std::string creator_ = "Pagewright";
    bool emptyLines_ = true;
    std::string documentType_;

    // One run.
    std::unique_ptr<TpgwIEMatrix> matrix_;
    std::unique_ptr<TpgwProgress> progress_;
    std::unique_ptr<TBitmap> thumbnail_;
    bool thumbnailDrawn_ = false;
    bool firstPage_ = false;
    // The first page's geometry: margins in millimetres, size in report units.
    double leftMargin_ = 0, topMargin_ = 0, bottomMargin_ = 0, rightMargin_ = 0;
    double pageWidth_ = 0, pageHeight_ = 0;
    TPrinterOrientation orientation_ = poPortrait;
};

class TpgwODSExport : public TpgwODFExport {
    LUMETRA_CLASS(TpgwODSExport, TpgwODFExport)
public:
    explicit TpgwODSExport(TComponent* owner);
    explicit TpgwODSExport(UnlistedTag tag);
    std::string FilterCaption() const override;
};

class TpgwODTExport : public TpgwODFExport {
    LUMETRA_CLASS(TpgwODTExport, TpgwODFExport)
public:
    explicit TpgwODTExport(TComponent* owner);
    explicit TpgwODTExport(UnlistedTag tag);
    std::string FilterCaption() const override;
};

// Enters the two exports as the formats "ods" and "odt" and their classes by name.
void RegisterODFExports();
