#pragma once
// What the CSV and text exports share: the layout matrix set up for plain text, and text in the
// legacy code page.

#include <memory>
#include <string>
#include <string_view>

#include "export/export_filter.h"

class TpgwIEMatrix;

// A matrix for text: no backgrounds or pictures, rich text and HTML as plain text, frames merged,
// filled from the content, at mergeTolerance.
std::unique_ptr<TpgwIEMatrix> MakeTextMatrix(bool useFileCache, bool includeNonPrintable,
                                             double mergeTolerance);

// UTF-16 in the legacy code page; a character that has no place there becomes "?" and the rest
// stays.
std::string ExportAnsiText(std::u16string_view text);

// A filter that lays each page out through a text matrix of its own and writes it when the page
// ends (LeavePage); OEMCodepage is the option both text formats offer.
class TpgwTextMatrixExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwTextMatrixExport, TpgwFileExportFilter)
public:
    TpgwTextMatrixExport(TComponent* owner, double mergeTolerance);
    TpgwTextMatrixExport(UnlistedTag tag, double mergeTolerance);
    ~TpgwTextMatrixExport() override;
    static void RegisterProperties(TClassBuilder<TpgwTextMatrixExport>& b);

    // Every view, printable or not (the matrix decides by ExportNotPrintable).
    void WriteItem(TpgwComponent* object) override;
    void EnterPage(TpgwComponent* page, int index) override;

    // The legacy OEM code page is the ANSI one here: the bytes do not change.
    bool OEMCodepage() const { return oemCodepage_; }
    void SetOEMCodepage(bool v) { oemCodepage_ = v; }

protected:
    void BeginOutput() override;
    void EndOutput() override;
    TpgwIEMatrix& Matrix() { return *matrix_; }

private:
    std::unique_ptr<TpgwIEMatrix> matrix_;
    double mergeTolerance_;
    bool oemCodepage_ = false;
};
