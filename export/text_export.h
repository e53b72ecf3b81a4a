#pragma once
// The plain-text export: each page through the layout matrix, the objects' texts placed into a
// grid of characters sized from the smallest character width and line height of the page, empty
// columns squeezed, written line by line in the legacy code page.

#include <memory>
#include <string>
#include <vector>

#include "export/text_matrix.h"

class TpgwIEMObject;

class TpgwSimpleTextExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwSimpleTextExportDialog, TpgwExportDialog)
public:
    explicit TpgwSimpleTextExportDialog(TComponent* owner);

    TCheckBox* PageBreaksCB = nullptr;
    TCheckBox* FramesCB = nullptr;
    TCheckBox* EmptyLinesCB = nullptr;
    TCheckBox* OEMCB = nullptr;
};

// A page's grid of 8-bit characters, blanks at first; positions outside it are dropped.
class TpgwTextGrid {
public:
    TpgwTextGrid(int columns, int lines);
    int Columns() const { return columns_; }
    int Lines() const { return lines_; }
    // At linear position row * Columns + column: a text running past the right edge goes on in
    // the next row.
    void Put(long long position, char c);
    char At(int column, int row) const;
    // Leaves at most two blank columns between contents (and after the last).
    void SqueezeColumns();
    // Row text without trailing blanks.
    std::string Row(int row) const;

private:
    int columns_;
    int lines_;
    std::vector<char> cells_;
};

class TpgwSimpleTextExport : public TpgwTextMatrixExport {
    LUMETRA_CLASS(TpgwSimpleTextExport, TpgwTextMatrixExport)
public:
    explicit TpgwSimpleTextExport(TComponent* owner);
    explicit TpgwSimpleTextExport(UnlistedTag tag);
    ~TpgwSimpleTextExport() override;
    static void RegisterProperties(TClassBuilder<TpgwSimpleTextExport>& b);

    std::string FilterCaption() const override;
    void EnterPage(TpgwComponent* page, int index) override;
    void LeavePage(TpgwComponent* page, int index) override;

    bool PageBreaks() const { return pageBreaks_; }
    void SetPageBreaks(bool v) { pageBreaks_ = v; }
    bool Frames() const { return frames_; }
    void SetFrames(bool v) { frames_ = v; }
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;
    // No slave-mode naming here: without a file name or stream nothing is exported.
    bool NamesSlaveOutput() const override { return false; }

private:
    void init();
    void measure(const TpgwIEMObject& object);
    void place(TpgwTextGrid& grid, const TpgwIEMObject& object) const;

    double charWidth_ = 65535;
    double lineHeight_ = 65535;
    bool pageBreaks_ = true;
    bool frames_ = false;
    bool emptyLines_ = false;
};
