#include "report/abstract_bases.h"

#include <cmath>

#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "report/options.h"
#include "report/registries.h"
#include "report/report.h"

// ---- engine ------------------------------------------------------------------------------------

TpgwCustomEngine::TpgwCustomEngine(TpgwReport* report) : report_(report) {}

TpgwCustomEngine::~TpgwCustomEngine() = default;

void TpgwCustomEngine::RegisterProperties(TClassBuilder<TpgwCustomEngine>& b) {
    using E = TpgwCustomEngine;
    b.Add("CurColumn", &E::CurColumn, &E::SetCurColumn).NoDefault();
    b.Add("CurVColumn", &E::CurVColumn, &E::SetCurVColumn).NoDefault();
    b.Add("CurX", TypeInfoExtended(), &E::CurX, &E::SetCurX);
    b.Add("CurY", TypeInfoExtended(), &E::CurY, &E::SetCurY);
    b.Add("DoublePass", &E::DoublePass, nullptr).NoDefault();
    b.Add("FinalPass", &E::FinalPass, &E::SetFinalPass).NoDefault();
    b.Add("PageHeight", TypeInfoExtended(), &E::PageHeight, &E::SetPageHeight);
    b.Add("PageWidth", TypeInfoExtended(), &E::PageWidth, &E::SetPageWidth);
    b.Add("StartDate", TypeInfoDateTime(), &E::StartDate, &E::SetStartDate);
    b.Add("StartTime", TypeInfoDateTime(), &E::StartTime, &E::SetStartTime);
    b.Add("TotalPages", &E::TotalPages, &E::SetTotalPages).NoDefault();
    b.Add("SecondScriptCall", &E::SecondScriptCall, &E::SetSecondScriptCall).NoDefault();
}

bool TpgwCustomEngine::DoublePass() const {
    return report_ && report_->EngineOptions()->DoublePass();
}

void TpgwCustomEngine::StopReport() {
    if (report_) report_->SetTerminated(true);
}

// ---- outline -----------------------------------------------------------------------------------

TpgwCustomOutline::TpgwCustomOutline(TpgwCustomPreviewPages* previewPages)
    : previewPages_(previewPages) {}

TpgwCustomOutline::~TpgwCustomOutline() = default;

TpgwCustomEngine* TpgwCustomOutline::GetEngine() const {
    return previewPages_ ? previewPages_->Engine() : nullptr;
}

// ---- prepared pages ----------------------------------------------------------------------------

TpgwCustomPreviewPages::TpgwCustomPreviewPages(TpgwReport* report) : report_(report) {
    if (OutlineClass()) outline_ = OutlineClass()(this);
}

TpgwCustomPreviewPages::~TpgwCustomPreviewPages() = default;

// ---- preview control ---------------------------------------------------------------------------

TpgwCustomPreview::TpgwCustomPreview(TComponent* owner) : TCustomControl(owner) {}

TpgwCustomPreview::~TpgwCustomPreview() = default;

// ---- designer ----------------------------------------------------------------------------------

TpgwCustomDesigner::TpgwCustomDesigner(TComponent* owner, TpgwReport* report, bool previewPageMode)
    : TForm(owner), report_(report), previewPageMode_(previewPageMode) {}

TpgwCustomDesigner::~TpgwCustomDesigner() = default;

void TpgwCustomDesigner::NotifyChanged(bool modified) {
    modified_ = modified;
    if (modified && report_) report_->SetModified(true);
}

void TpgwCustomDesigner::ShowPage(TpgwComponent* page) {
    page_ = page;
}

// ---- export filters ----------------------------------------------------------------------------

TpgwCustomExportFilter::TpgwCustomExportFilter(TComponent* owner) : TComponent(owner) {
    GetExportFilters().Register(this);
}

TpgwCustomExportFilter::TpgwCustomExportFilter(UnlistedTag)
    : TComponent(nullptr), unlisted_(true) {}

TpgwCustomExportFilter::~TpgwCustomExportFilter() {
    if (!unlisted_) GetExportFilters().Unregister(this);
}

void TpgwCustomExportFilter::RegisterProperties(TClassBuilder<TpgwCustomExportFilter>& b) {
    using F = TpgwCustomExportFilter;
    b.Add("ShowDialog", &F::ShowDialog, &F::SetShowDialog).Default(1);
    b.Add("FileName", &F::FileName, &F::SetFileName);
    b.Add("ExportNotPrintable", &F::ExportNotPrintable, &F::SetExportNotPrintable).Default(0);
    b.Add("UseFileCache", &F::UseFileCache, &F::SetUseFileCache).NoDefault();
    b.Add("DefaultPath", &F::DefaultPath, &F::SetDefaultPath);
    b.Add("ShowProgress", &F::ShowProgress, &F::SetShowProgress).NoDefault();
    b.Add("OverwritePrompt", &F::OverwritePrompt, &F::SetOverwritePrompt).NoDefault();
}

bool RunExportProtocol(TpgwCustomExportFilter& filter, TpgwExportSource& source,
                       const std::vector<int>& pages) {
    if (filter.ShowDialog() && filter.AskOptions() != 1) return false;
    filter.SetRunFailed(false);
    if (!filter.OpenOutput()) return true;
    try {
        std::vector<TpgwComponent*> objects;
        for (int index : pages) {
            if (source.ExportTerminated()) break;
            TpgwComponent* page = source.ExportPage(index);
            filter.EnterPage(page, index);
            try {
                objects.clear();
                source.ExportObjects(page, index, objects);
                for (TpgwComponent* object : objects)
                    filter.WriteItem(object);
            } catch (...) {
                filter.LeavePage(page, index);
                throw;
            }
            filter.LeavePage(page, index);
        }
    } catch (...) {
        filter.SetRunFailed(true);
        try {
            filter.CloseOutput();
        } catch (...) {
            // The first failure is the one to report.
        }
        filter.SetRunFailed(false);
        throw;
    }
    filter.CloseOutput();
    return true;
}

// ---- wizards -----------------------------------------------------------------------------------

TpgwCustomWizard::TpgwCustomWizard(TComponent* owner)
    : TComponent(owner), designer_(dynamic_cast<TpgwCustomDesigner*>(owner)),
      report_(designer_ ? designer_->Report() : nullptr) {}

TpgwCustomWizard::~TpgwCustomWizard() = default;

// ---- class references --------------------------------------------------------------------------

TpgwEngineFactory& EngineClass() {
    static TpgwEngineFactory factory;
    return factory;
}

TpgwPreviewPagesFactory& PreviewPagesClass() {
    static TpgwPreviewPagesFactory factory;
    return factory;
}

TpgwOutlineFactory& OutlineClass() {
    static TpgwOutlineFactory factory;
    return factory;
}

TpgwDesignerFactory& DesignerClass() {
    static TpgwDesignerFactory factory;
    return factory;
}

double RoundTo8(double x) {
    return RoundHalfEven(x * 100000000.0) / 100000000.0;
}
