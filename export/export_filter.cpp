#include "export/export_filter.h"

#include <cstdio>
#include <utility>

#include "engine/dialog_building.h"
#include "engine/page_output.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

TpgwExportOpener& Opener() {
    static TpgwExportOpener opener;
    return opener;
}

constexpr int kDialogWidth = 300;
constexpr int kMargin = 8;

} // namespace

// Through the same guard as the links of report objects: only document files, never a program.
bool OpenExported(const std::string& fileName) {
    if (Opener()) return Opener()(fileName);
    return OpenLink(fileName);
}

namespace {
TpgwExportClock& exportClock() {
    static TpgwExportClock clock;
    return clock;
}
} // namespace

TpgwExportClock SetExportClock(TpgwExportClock clock) {
    return std::exchange(exportClock(), std::move(clock));
}

std::tm ExportTime() {
    if (exportClock()) return exportClock()();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void ReportExportFailure(TpgwReport* report, const std::string& message) {
    switch (report ? report->EngineOptions()->NewSilentMode() : simReThrow) {
    case simMessageBoxes:
        ShowErrorMessage(message);
        break;
    case simSilent:
        report->Errors().Add(message);
        break;
    case simReThrow:
        throw Exception(message);
    }
}

TpgwExportOpener SetExportOpener(TpgwExportOpener opener) {
    return std::exchange(Opener(), std::move(opener));
}

// ---- the options dialog ------------------------------------------------------------------------

TpgwExportDialog::TpgwExportDialog(TComponent* owner, const std::string& caption,
                                   const std::string& qualityCaption, int qualityHeight)
    : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    SetCaption(caption);

    const int groupWidth = kDialogWidth - 2 * kMargin;
    GroupPageRange = PlaceControl<TGroupBox>(this, this, kMargin, 4, groupWidth, 120);
    GroupPageRange->SetCaption(text(7));
    AllRB = PlaceControl<TRadioButton>(GroupPageRange, this, 12, 20, 120, 17);
    AllRB->SetCaption(text(3));
    AllRB->SetChecked(true);
    CurPageRB = PlaceControl<TRadioButton>(GroupPageRange, this, 12, 40, 120, 17);
    CurPageRB->SetCaption(text(4));
    PageNumbersRB = PlaceControl<TRadioButton>(GroupPageRange, this, 12, 60, 60, 17);
    PageNumbersRB->SetCaption(text(5));
    PageNumbersE = PlaceControl<TEdit>(GroupPageRange, this, 76, 58, groupWidth - 90, 21);
    DescrL = PlaceLabel(GroupPageRange, this, 12, 84, text(9));
    DescrL->SetWordWrap(true);
    DescrL->SetAutoSize(false);
    DescrL->SetBounds(12, 84, groupWidth - 24, 30);
    PageNumbersE->OnChange = [this](TObject*) { PageNumbersRB->SetChecked(true); };
    PageNumbersE->OnKeyPress = [](TObject*, char16_t& key) {
        if (!PageNumberKey(key)) key = 0;
    };

    int top = 4 + 120 + 6;
    GroupQuality = PlaceControl<TGroupBox>(this, this, kMargin, top, groupWidth, qualityHeight);
    GroupQuality->SetCaption(qualityCaption);
    top += qualityHeight + 6;
    OpenCB = PlaceControl<TCheckBox>(this, this, kMargin + 4, top, groupWidth - 8, 17);
    OpenCB->SetCaption(GetResources().GetText("8706"));
    top += 17 + 10;

    OkB = PlaceControl<TButton>(this, this, kDialogWidth - 2 * 75 - kMargin - 6, top, 75, 25);
    OkB->SetCaption(text(1));
    OkB->SetModalResult(1);
    OkB->SetDefault(true);
    CancelB = PlaceControl<TButton>(this, this, kDialogWidth - 75 - kMargin, top, 75, 25);
    CancelB->SetCaption(text(2));
    CancelB->SetModalResult(2);
    CancelB->SetCancel(true);
    SetClientWidth(kDialogWidth);
    SetClientHeight(top + 25 + kMargin);

    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->SetOptions((1u << ofHideReadOnly) | (1u << ofNoChangeDir) |
                            (1u << ofEnableSizing));
    OpenHelpOnF1(*this, ClassName());
}

TpgwExportDialog::~TpgwExportDialog() {
    if (PageNumbersE) PageNumbersE->OnChange = nullptr;
}

bool TpgwExportDialog::PageNumberKey(char16_t key) {
    return (key >= u'0' && key <= u'9') || key == u',' || key == u'-' || key == u'\b';
}

// ---- the file filter ---------------------------------------------------------------------------

TpgwFileExportFilter::TpgwFileExportFilter(TComponent* owner) : TpgwCustomExportFilter(owner) {}

TpgwFileExportFilter::TpgwFileExportFilter(UnlistedTag tag) : TpgwCustomExportFilter(tag) {}

TpgwFileExportFilter::~TpgwFileExportFilter() = default;

void TpgwFileExportFilter::RegisterProperties(TClassBuilder<TpgwFileExportFilter>& b) {
    using F = TpgwFileExportFilter;
    b.Add("OpenAfterExport", &F::OpenAfterExport, &F::SetOpenAfterExport).Default(0);
}

int TpgwFileExportFilter::AskOptions() {
    if (TargetStream()) return 1;
    std::unique_ptr<TpgwExportDialog> dialog = CreateDialog();
    TSaveDialog& save = *dialog->SaveDialog1;
    dialog->OpenCB->SetVisible(!SlaveMode());
    if (OverwritePrompt()) save.SetOptions(save.Options() | (1u << ofOverwritePrompt));
    if (SlaveMode()) SetOpenAfterExport(false);
    save.SetFilter(FileFilter());
    save.SetDefaultExt(FileExtension().starts_with('.') ? FileExtension().substr(1)
                                                        : FileExtension());
    if (!FileName().empty() || SlaveMode()) {
        save.SetFileName(FileName());
    } else if (TpgwReport* report = Report()) {
        const std::string name = ExtractFileName(NormalizeSlashes(report->FileName()));
        save.SetFileName(name.empty() ? name : ChangeFileExt(name, FileExtension()));
    }

    ShowOptions(*dialog);
    dialog->OpenCB->SetChecked(OpenAfterExport());
    if (!PageNumbers().empty()) {
        dialog->PageNumbersE->SetText(PageNumbers());
        dialog->PageNumbersRB->SetChecked(true);
    }

    int result = dialog->ShowModal();
    if (result == 1) {
        SetPageNumbers("");
        SetCurrentPageOnly(false);
        if (dialog->CurPageRB->Checked())
            SetCurrentPageOnly(true);
        else if (dialog->PageNumbersRB->Checked())
            SetPageNumbers(dialog->PageNumbersE->Text());
        ReadOptions(*dialog);
        if (!SlaveMode()) SetOpenAfterExport(dialog->OpenCB->Checked());
        if (!SlaveMode()) {
            if (!DefaultPath().empty()) save.SetInitialDir(DefaultPath());
            if (save.Execute())
                SetFileName(save.FileName());
            else
                result = 2;
        }
    }
    return result;
}

void TpgwFileExportFilter::NameSlaveOutput() {
    const std::string reportFile =
        Report() ? ExtractFileName(NormalizeSlashes(Report()->FileName())) : std::string();
    if (reportFile.empty()) {
        // A unique stem; the file made to reserve it is not the output.
        const std::string reserved = MakeTempFileName();
        std::remove(reserved.c_str());
        SetFileName(ChangeFileExt(reserved, FileExtension()));
    } else {
        SetFileName(IncludeTrailingPathDelimiter(GetTempDir()) +
                    ChangeFileExt(reportFile, FileExtension()));
    }
}

void TpgwFileExportFilter::PlaceInDefaultPath() {
    if (!TargetStream() && !DefaultPath().empty() && ExtractFilePath(FileName()).empty())
        SetFileName(IncludeTrailingPathDelimiter(DefaultPath()) + FileName());
}

bool TpgwFileExportFilter::OpenOutput() {
    if (SlaveMode() && NamesSlaveOutput()) NameSlaveOutput();
    if (FileName().empty() && !TargetStream()) return false;
    PlaceInDefaultPath();
    BeginOutput();
    // A target that cannot be written is an error of the run (the driver reports it), not a
    // quiet end that would look like success.
    if (!TargetStream()) file_ = std::make_unique<TSafeFileWriter>(FileName());
    return true;
}

TStream& TpgwFileExportFilter::Output() {
    if (TargetStream()) return *TargetStream();
    if (!file_) throw EInvalidOperation("The export has no output open");
    return *file_;
}

void TpgwFileExportFilter::CloseOutput() {
    try {
        if (!RunFailed()) EndOutput();
    } catch (...) {
        file_.reset();
        throw;
    }
    // Whatever a failed run wrote stays out of sight: the earlier file is kept.
    std::unique_ptr<TSafeFileWriter> file = std::move(file_);
    if (RunFailed() || !file) return;
    file->Commit();
    if (OpenAfterExport()) OpenExported(FileName());
}

TCheckBox* TpgwExportDialog::AddQualityCheck(int left, int top, const std::string& caption) {
    auto* box = PlaceControl<TCheckBox>(GroupQuality, this, left, top, 130, 17);
    box->SetCaption(caption);
    return box;
}

std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
