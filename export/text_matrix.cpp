#include "export/text_matrix.h"

#include "export/ie_matrix.h"
#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "report/view.h"
#include "report/wide_strings.h"

std::unique_ptr<TpgwIEMatrix> MakeTextMatrix(bool useFileCache, bool includeNonPrintable,
                                             double mergeTolerance) {
    auto m = std::make_unique<TpgwIEMatrix>(useFileCache, GetTempDir());
    m->SetPageBackground(false);
    m->SetPageBackgroundPicture(false);
    m->SetIncludeNonPrintable(includeNonPrintable);
    m->SetKeepRichText(true);
    m->SetRichAsPlainText(true);
    m->SetFillPage(false);
    m->SetFillFromContent(true);
    m->SetMergeTolerance(mergeTolerance);
    m->SetStripHTMLTags(true);
    m->SetPictures(false);
    m->SetWrapText(true);
    m->SetProgressWindow(false);
    m->SetMergeFrames(true);
    return m;
}

std::string ExportAnsiText(std::u16string_view text) {
    std::string whole = WideToAnsi(text, 1, 0);
    if (!whole.empty() || text.empty()) return whole;
    // The conversion refuses the whole text for one character: go character by character.
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            n = 2;
        const std::string one = WideToAnsi(text.substr(i, n), 1, 0);
        out += one.empty() ? std::string("?") : one;
        i += n;
    }
    return out;
}

TpgwTextMatrixExport::TpgwTextMatrixExport(TComponent* owner, double mergeTolerance)
    : TpgwFileExportFilter(owner), mergeTolerance_(mergeTolerance) {}

TpgwTextMatrixExport::TpgwTextMatrixExport(UnlistedTag tag, double mergeTolerance)
    : TpgwFileExportFilter(tag), mergeTolerance_(mergeTolerance) {}

TpgwTextMatrixExport::~TpgwTextMatrixExport() = default;

void TpgwTextMatrixExport::RegisterProperties(TClassBuilder<TpgwTextMatrixExport>& b) {
    using F = TpgwTextMatrixExport;
    b.Add("OEMCodepage", &F::OEMCodepage, &F::SetOEMCodepage).Default(0);
}

void TpgwTextMatrixExport::BeginOutput() {
    matrix_ = MakeTextMatrix(UseFileCache(), ExportNotPrintable(), mergeTolerance_);
}

void TpgwTextMatrixExport::EndOutput() {
    matrix_.reset();
}

void TpgwTextMatrixExport::EnterPage(TpgwComponent*, int) {
    matrix_->Clear();
}

void TpgwTextMatrixExport::WriteItem(TpgwComponent* object) {
    if (auto* view = dynamic_cast<TpgwView*>(object)) matrix_->AddObject(view);
}
