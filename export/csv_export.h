#pragma once
// The CSV export: each page through the layout matrix on its own, one line per grid row and one
// quoted field per object, in the legacy code page.

#include <memory>
#include <string>

#include "export/text_matrix.h"

class TpgwCSVExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwCSVExportDialog, TpgwExportDialog)
public:
    explicit TpgwCSVExportDialog(TComponent* owner);

    TCheckBox* OEMCB = nullptr;
    TLabel* SeparatorLB = nullptr;
    TEdit* SeparatorE = nullptr;
};

class TpgwCSVExport : public TpgwTextMatrixExport {
    LUMETRA_CLASS(TpgwCSVExport, TpgwTextMatrixExport)
public:
    explicit TpgwCSVExport(TComponent* owner);
    explicit TpgwCSVExport(UnlistedTag tag);
    ~TpgwCSVExport() override;
    static void RegisterProperties(TClassBuilder<TpgwCSVExport>& b);

    std::string FilterCaption() const override;
    void LeavePage(TpgwComponent* page, int index) override;

    // Written after every field (UTF-8; the file holds it in the legacy code page).
    const std::string& Separator() const { return separator_; }
    void SetSeparator(const std::string& v) { separator_ = v; }
    // A field as written: the object's lines run together, quotes doubled, in quotes.
    static std::string Field(const class TWideStrings& lines);

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;

private:
    void init();
    std::string separator_ = ";";
};

// Enters the CSV and text exports as the formats "csv" and "txt" and their classes by name.
void RegisterTableTextExports();
