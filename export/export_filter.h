#pragma once
// What every file-writing export filter shares: the options dialog pattern (page range, the
// filter's own options, open after export, OK/Cancel, then the save dialog), the output file
// (a TargetStream, or a file written under a temporary name and renamed over the target only
// when the run completed) and opening the result afterwards.

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/form.h"
#include "report/abstract_bases.h"

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TRadioButton;
class TSafeFileWriter;
class TSaveDialog;
class TStream;

// The options dialog of a filter. Subclasses put their own controls into GroupQuality, whose
// height they choose; the page-range group, the open-after-export box and the buttons are laid
// out around it.
class TpgwExportDialog : public TForm {
    LUMETRA_CLASS(TpgwExportDialog, TForm)
public:
    // qualityCaption: the caption of the filter's own group; qualityHeight its height.
    TpgwExportDialog(TComponent* owner, const std::string& caption,
                     const std::string& qualityCaption, int qualityHeight);
    ~TpgwExportDialog() override;

    TGroupBox* GroupPageRange = nullptr;
    TRadioButton* AllRB = nullptr;
    TRadioButton* CurPageRB = nullptr;
    TRadioButton* PageNumbersRB = nullptr;
    TEdit* PageNumbersE = nullptr;
    TLabel* DescrL = nullptr;
    TGroupBox* GroupQuality = nullptr;
    TCheckBox* OpenCB = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;

    // What PageNumbersE lets through: digits, comma, minus and backspace.
    static bool PageNumberKey(char16_t key);

protected:
    // A check box of the filter's own group, 130 x 17 at left, top.
    TCheckBox* AddQualityCheck(int left, int top, const std::string& caption);
};

// A filter that writes one file (or its TargetStream).
class TpgwFileExportFilter : public TpgwCustomExportFilter {
    LUMETRA_CLASS(TpgwFileExportFilter, TpgwCustomExportFilter)
public:
    explicit TpgwFileExportFilter(TComponent* owner);
    explicit TpgwFileExportFilter(UnlistedTag tag);
    ~TpgwFileExportFilter() override;
    static void RegisterProperties(TClassBuilder<TpgwFileExportFilter>& b);

    bool OpenAfterExport() const { return openAfterExport_; }
    void SetOpenAfterExport(bool v) { openAfterExport_ = v; }

    // The common steps around the filter's own options: no dialog with a TargetStream, the
    // page range, open-after-export, and the save dialog unless in slave mode. 1 goes on, 2
    // cancels.
    int AskOptions() override;
    // Names the output (slave mode: in the temporary folder; a bare name goes into DefaultPath)
    // and opens it. False without a file name or stream; a file that cannot be created raises.
    bool OpenOutput() override;
    // Finishes the output: the file replaces the target (after a failed run the target stays
    // as it was), then is opened when asked.
    void CloseOutput() override;

protected:
    // The filter's dialog; the common controls are there already.
    virtual std::unique_ptr<TpgwExportDialog> CreateDialog() = 0;
    // The filter's own options into and out of its controls.
    virtual void ShowOptions(TpgwExportDialog& dialog) { (void)dialog; }
    virtual void ReadOptions(TpgwExportDialog& dialog) { (void)dialog; }
    // The filter's working state: set up before the output opens; EndOutput writes what is left
    // and frees it when the run completed.
    virtual void BeginOutput() {}
    virtual void EndOutput() {}
    // Where the filter writes between OpenOutput and CloseOutput.
    TStream& Output();
    // Whether slave mode names the output in the temporary folder (filters that take only the
    // name they are given say no).
    virtual bool NamesSlaveOutput() const { return true; }
    // Slave mode's name: the report file's name in the temporary folder, or a new temporary
    // name, with the filter's extension.
    void NameSlaveOutput();
    // A bare file name goes into DefaultPath (not with a TargetStream).
    void PlaceInDefaultPath();

private:
    std::unique_ptr<TSafeFileWriter> file_;
    bool openAfterExport_ = false;
};

// Opens an exported file with the desktop's handler; replaceable for tests. Whether it was
// handed over.
using TpgwExportOpener = std::function<bool(const std::string& fileName)>;
TpgwExportOpener SetExportOpener(TpgwExportOpener opener);
// Opens an exported file through the opener in place (the desktop's handler by default).
bool OpenExported(const std::string& fileName);
// The local time a filter stamps into what it writes; replaceable for tests (none: the system
// clock). The previous source is returned.
using TpgwExportClock = std::function<std::tm()>;
TpgwExportClock SetExportClock(TpgwExportClock clock);
std::tm ExportTime();
// A failure a filter goes on after, as the report's silent mode says: an error box, an entry
// in the report's error list, or raised as Exception (simReThrow, or without a report).
void ReportExportFailure(TpgwReport* report, const std::string& message);
// Text that may stand inside markup content or an attribute value: "&", '"', "<" and ">" as
// entities.
std::string EscapeMarkup(std::string_view text);
