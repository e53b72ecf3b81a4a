#include "export/csv_export.h"

#include "engine/dialog_building.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/text_export.h"
#include "export/text_matrix.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/view.h"
#include "report/wide_strings.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

void WriteBytes(TStream& out, const std::string& bytes) {
    out.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

TpgwCSVExportDialog::TpgwCSVExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8850"), res("8302"), 70) {
    OEMCB = PlaceControl<TCheckBox>(GroupQuality, this, 12, 20, 200, 17);
    OEMCB->SetCaption(res("8304"));
    SeparatorLB = PlaceLabel(GroupQuality, this, 12, 46, res("8853"));
    SeparatorE = PlaceControl<TEdit>(GroupQuality, this, 80, 42, 40, 21);
}

// ---- filter ------------------------------------------------------------------------------------

TpgwCSVExport::TpgwCSVExport(TComponent* owner) : TpgwTextMatrixExport(owner, 5.0) {
    init();
}

TpgwCSVExport::TpgwCSVExport(UnlistedTag tag) : TpgwTextMatrixExport(tag, 5.0) {
    init();
}

TpgwCSVExport::~TpgwCSVExport() = default;

void TpgwCSVExport::init() {
    SetFileFilter(res("8851"));
    SetFileExtension(res("8852"));
}

void TpgwCSVExport::RegisterProperties(TClassBuilder<TpgwCSVExport>& b) {
    using F = TpgwCSVExport;
    b.Add("Separator", TypeInfoString(), &F::Separator, &F::SetSeparator);
}

std::string TpgwCSVExport::FilterCaption() const {
    return res("CSVExport");
}

std::unique_ptr<TpgwExportDialog> TpgwCSVExport::CreateDialog() {
    return std::make_unique<TpgwCSVExportDialog>(nullptr);
}

void TpgwCSVExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwCSVExportDialog&>(dialog);
    d.OEMCB->SetChecked(OEMCodepage());
    d.SeparatorE->SetText(separator_);
}

void TpgwCSVExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwCSVExportDialog&>(dialog);
    SetOEMCodepage(d.OEMCB->Checked());
    separator_ = d.SeparatorE->Text();
}

std::string TpgwCSVExport::Field(const TWideStrings& lines) {
    // The lines run together: their line breaks go.
    std::u16string text;
    for (int i = 0; i < lines.Count(); ++i)
        text += lines.Strings(i);
    std::string field = "\"";
    // A quote inside is doubled, so that readers find where the field ends.
    for (char c : ExportAnsiText(text)) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + "\"";
}

void TpgwCSVExport::LeavePage(TpgwComponent*, int) {
    TpgwIEMatrix& m = Matrix();
    m.Prepare();
    TStream& out = Output();
    const std::string separator = ExportAnsiText(Utf8ToUtf16(separator_));
    std::string line;
    for (int y = 0; y + 1 < m.GridHeight(); ++y) {
        line.clear();
        for (int x = 0; x < m.GridWidth(); ++x) {
            TpgwIEMObject* object = m.ObjectAt(x, y);
            if (!object) continue;
            if (object->Counter == 0) {
                line += Field(object->Memo);
                object->Counter = 1;
            }
            line += separator;
        }
        line += "\r\n";
        WriteBytes(out, line);
    }
}

void RegisterTableTextExports() {
    RegisterClasses<TpgwCSVExport, TpgwSimpleTextExport>();
    RegisterExportFormat("csv", [] {
        return std::make_unique<TpgwCSVExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
    RegisterExportFormat("txt", [] {
        return std::make_unique<TpgwSimpleTextExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
