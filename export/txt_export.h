#pragma once
// The dot-matrix text export: every prepared page laid out on a grid of character cells, the
// memo texts wrapped and aligned inside their rectangles, frames drawn with ASCII or box
// characters, written as ".prn" rows with form feeds; afterwards the file can go raw to a
// printer behind an initialisation string built from the chosen printer type's commands.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_filter.h"

// A printer command: its switch-on and switch-off byte sequences.
struct TpgwTXTPrinterCommand {
    std::string Name;
    std::string SequenceOn;
    std::string SequenceOff;
    bool Enabled = false;
};

// A printer type and its commands, in the order they go into the initialisation string.
struct TpgwTXTPrinterType {
    std::string Name;
    int CommandCount = 0;
    std::vector<TpgwTXTPrinterCommand> Commands; // CommandCount entries
};

inline constexpr int MaxTXTPrinterTypes = 16;
inline constexpr int MaxTXTPrinterCommands = 32;

class TpgwTXTExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwTXTExport, TpgwFileExportFilter)
public:
    explicit TpgwTXTExport(TComponent* owner);
    explicit TpgwTXTExport(UnlistedTag tag);
    ~TpgwTXTExport() override;
    static void RegisterProperties(TClassBuilder<TpgwTXTExport>& b);

    std::string FilterCaption() const override;
    int AskOptions() override;
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;
    void CloseOutput() override;

    // ---- printer types and the initialisation string
    // The new type's index; -1 when the table is full.
    int AddPrinterType(const std::string& name);
    // Appends a disabled command; ignored for an unknown type or a full command list.
    void AddPrinterCommand(int typeIndex, const std::string& name, const std::string& on,
                           const std::string& off);
    // InitString := for each command of the selected type, its on sequence when enabled, else
    // its off sequence.
    void BuildInitString();
    // Sends a file raw to the current printer, in pieces, with the file name as job title.
    void PrintFile(const std::string& fileName);
    std::vector<TpgwTXTPrinterType>& PrinterTypes() { return printerTypes_; }
    const std::vector<TpgwTXTPrinterType>& PrinterTypes() const { return printerTypes_; }
    int PrinterTypeIndex() const { return printerTypeIndex_; }
    void SetPrinterTypeIndex(int v) { printerTypeIndex_ = v; }
    int Copies() const { return copies_; }
    void SetCopies(int v) { copies_ = v; }

    // ---- published options
    double ScaleWidth() const { return scaleWidth_; }
    void SetScaleWidth(double v) { scaleWidth_ = v; }
    double ScaleHeight() const { return scaleHeight_; }
    void SetScaleHeight(double v) { scaleHeight_ = v; }
    bool Borders() const { return borders_; }
    void SetBorders(bool v) { borders_ = v; }
    bool Pseudogrpahic() const { return pseudographic_; }
    void SetPseudogrpahic(bool v) { pseudographic_ = v; }
    bool PageBreaks() const { return pageBreaks_; }
    void SetPageBreaks(bool v) { pageBreaks_ = v; }
    bool OEMCodepage() const { return oemCodepage_; }
    void SetOEMCodepage(bool v) { oemCodepage_ = v; }
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }
    bool LeadSpaces() const { return leadSpaces_; }
    void SetLeadSpaces(bool v) { leadSpaces_ = v; }
    bool PrintAfter() const { return printAfter_; }
    void SetPrintAfter(bool v) { printAfter_ = v; }
    bool PrinterDialog() const { return printerDialog_; }
    void SetPrinterDialog(bool v) { printerDialog_ = v; }
    bool UseSavedProps() const { return useSavedProps_; }
    void SetUseSavedProps(bool v) { useSavedProps_ = v; }
    // Raw printer bytes (one char per byte).
    const std::string& InitString() const { return initString_; }
    void SetInitString(const std::string& v) { initString_ = v; }
    // Eleven frame characters of the caller's own, as bytes.
    const std::string& CustomFrameSet() const { return customFrameSet_; }
    void SetCustomFrameSet(const std::string& v) { customFrameSet_ = v; }

    // ---- the last run
    // A preview run writes no initialisation string and no final form feed.
    bool PreviewMode() const { return previewMode_; }
    void SetPreviewMode(bool v) { previewMode_ = v; }
    // The longest row written and the number of rows written, of the last page.
    int MaxWidth() const { return maxWidth_; }
    int LineCount() const { return lineCount_; }

    // ---- the layout rules, open to tests
    // A memo's 8-bit text wrapped into at most maxLines lines of at most width bytes, broken
    // after a tab, space or hyphen where there is one and never inside a double-byte
    // character; none when width or maxLines is below 1.
    static std::vector<std::string> WrapTextLines(std::string_view text, int width, int maxLines);
    // What a corner or junction cell of an eleven-character frame set becomes, seen from its
    // neighbours; the cell itself when no rule applies.
    static char ResolveJunction(std::string_view frameSet, char cell, char left, char right,
                                char up, char down);

protected:
    // The filter's options dialog is its own form (AskOptions); the shared layout is not used.
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;

private:
    struct Screen;
    struct KeptObject;
    void init();
    // The eleven frame characters in force.
    std::string FrameSet() const;
    void RenderPage();
    void DrawObject(Screen& screen, const KeptObject& object) const;
    void OutputScreen(Screen& screen);
    void Write(const std::string& bytes);
    void PrintAfterExport();
    // The file's bytes raw to the current printer under the given job title.
    void PrintRaw(const std::string& fileName, const std::string& title);

    std::vector<TpgwTXTPrinterType> printerTypes_;
    int printerTypeIndex_ = 0;
    int copies_ = 1;
    double scaleWidth_ = 1.0;
    double scaleHeight_ = 1.0;
    bool borders_ = false;
    bool pseudographic_ = false;
    bool pageBreaks_ = true;
    bool oemCodepage_ = false;
    bool emptyLines_ = false;
    bool leadSpaces_ = false;
    bool printAfter_ = false;
    bool printerDialog_ = true;
    bool useSavedProps_ = true;
    std::string initString_;
    std::string customFrameSet_;
    bool previewMode_ = false;
    int maxWidth_ = 0;
    int lineCount_ = 0;
    // The open output and the page being exported.
    struct PageState;
    std::unique_ptr<PageState> page_;
};

// Enters the text export as the format "prn" and its class by name.
void RegisterTXTExport();
