// TpgwReport: showing the prepared pages (from the timer while the preview is already open),
// printing and exporting them, the designer, progress reports and the settings store.
#include <memory>

#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/ini_file.h"
#include "platform/core/settings_store.h"
#include "platform/ui/application.h"
#include "platform/ui/timer.h"
#include "report/abstract_bases.h"
#include "report/data_set.h"
#include "report/expression_cache.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "script/script.h"

namespace {

// Follows a window that may go before a queued call or a nested event loop is done with it.
class TWindowLink : public TComponent {
public:
    explicit TWindowLink(TComponent* target) : TComponent(nullptr), target_(target) {
        if (target_) target_->FreeNotification(this);
    }
    TComponent* Target() const { return target_; }

protected:
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component == target_) target_ = nullptr;
        TComponent::Notification(component, operation);
    }

private:
    TComponent* target_;
};

void processMessages() {
    Application()->ProcessMessages();
}

std::string progressText(std::string_view key, int progress) {
    const std::string text = GetResources().GetText(key);
    // A language file's text may not take a number: the run goes on with the bare text.
    try {
        return Format(text, {progress});
    } catch (const Exception&) {
        return text;
    }
}

} // namespace

TpgwPrinterSelection& PrinterSelectionHook() {
    static TpgwPrinterSelection hook;
    return hook;
}

TpgwPreviewFormFactory& PreviewFormClass() {
    static TpgwPreviewFormFactory factory;
    return factory;
}

// ---- showing -----------------------------------------------------------------------------------

void TpgwReport::ShowReport(bool clearLastReport) {
    // Clearing the pages under a running engine would pull them from under it.
    if (putOffWhileRunning([this, clearLastReport] { ShowReport(clearLastReport); })) return;
    if (clearLastReport && previewPages_) previewPages_->Clear();
    if (!oldStyleProgress_) {
        TTimer* timer = Timer();
        if (!timer->OnTimer()) timer->SetOnTimer([this](TObject*) { timerTick(); });
        timer->SetEnabled(true);
    } else if (!BuildPreparedPages(false)) {
        return;
    }
    ShowPreparedReport();
}

void TpgwReport::timerTick() {
    Timer()->SetEnabled(false);
    BuildPreparedPages(false);
}

void TpgwReport::ShowPreparedReport() {
    // A window still open whose control is the Preview shows these pages too: its status bar
    // keeps getting the progress texts.
    auto* open = dynamic_cast<TpgwCustomPreviewForm*>(previewForm_);
    if (previewForm_ && !(open && preview_ && open->PreviewControl() == preview_)) {
        previewForm_->RemoveFreeNotification(this);
        previewForm_ = nullptr;
    }
    if (preview_) {
        preview_->SetReport(this);
        preview_->SetPreviewPages(previewPages_.get());
        preview_->Init();
        return;
    }
    if (!PreviewFormClass()) return;

    TpgwCustomPreviewForm* form = PreviewFormClass()(Application());
    if (!form) return;
    previewForm_ = form;
    form->FreeNotification(this);
    TWindowLink link(form);
    try {
        SetPreview(form->PreviewControl());
        form->ApplyPreviewOptions();
        if (OnPreview) OnPreview(this);
    } catch (...) {
        if (link.Target()) delete form;
        throw;
    }
    if (!link.Target()) return;
    if (previewOptions_->Maximized()) form->SetPosition(poDesigned);
    if (previewOptions_->Modal()) {
        try {
            form->ShowModal();
        } catch (...) {
            if (link.Target()) delete form;
            throw;
        }
        if (link.Target()) delete form;
        previewForm_ = nullptr;
    } else {
        // Every top-level window has its own task-bar entry here; MDI children are the
        // window's own business (ApplyPreviewOptions).
        form->FreeOnClose = true;
        form->Show();
    }
}

// ---- printing and exporting --------------------------------------------------------------------

bool TpgwReport::PrintPrepared() {
    return previewPages_ && previewPages_->Print();
}

bool TpgwReport::ExportTo(TpgwCustomExportFilter* filter) {
    return previewPages_ && previewPages_->Export(filter);
}

void TpgwReport::UsePrintOptionsPrinter() {
    if (PrinterSelectionHook()) PrinterSelectionHook()(printOptions_->Printer());
}

// ---- the designer ------------------------------------------------------------------------------

void TpgwReport::OpenDesigner(bool modal, bool mdiChild) {
    if (designer_ || !DesignerClass()) return;
    // The designer may delete the objects the script knows; the next run registers them again.
    expressionCache_->Clear();
    script_->ClearOwnedItems(this);
    scriptObjects_.clear();
    valueVariable_ = selfVariable_ = nullptr;
    for (TpgwComponent* object : AllObjects())
        if (dynamic_cast<TpgwCustomDBDataSet*>(object)) object->PrepareForRun();
    modified_ = false;

    TpgwCustomDesigner* designer = DesignerClass()(nullptr, this, false);
    if (!designer) return;
    designer_ = designer;
    designer->FreeNotification(this);
    if (mdiChild) designer->SetFormStyle(fsMDIChild);
    // The designer ends its start-up once it is on the screen, from the event loop.
    auto link = std::make_shared<TWindowLink>(designer);
    Application()->QueueCall([link] {
        if (auto* d = dynamic_cast<TpgwCustomDesigner*>(link->Target())) d->FinishStartup();
    });
    if (!modal) {
        designer->Show();
        return;
    }
    try {
        designer->ShowModal();
    } catch (...) {
        if (link->Target()) delete designer;
        throw;
    }
    if (link->Target()) delete designer;
    processMessages();
    designer_ = nullptr;
}

bool TpgwReport::EditPreparedPage() {
    if (designer_ || !DesignerClass()) return false;
    TpgwCustomDesigner* designer = DesignerClass()(nullptr, this, true);
    if (!designer) return false;
    designer_ = designer;
    designer->FreeNotification(this);
    TWindowLink link(designer);
    try {
        designer->ShowModal();
    } catch (...) {
        if (link.Target()) delete designer;
        designer_ = nullptr;
        throw;
    }
    // A designer that did not go through its closing still hands over what it changed.
    if (link.Target()) {
        modified_ = designer->Modified();
        delete designer;
    }
    designer_ = nullptr;
    return modified_;
}

// ---- settings store ----------------------------------------------------------------------------

std::unique_ptr<TCustomIniFile> TpgwReport::OpenIniFile() {
    if (iniFile_.starts_with("\\Software\\"))
        return std::make_unique<TRegistryIniFile>(iniFile_, HKEY_CURRENT_USER);
    // Names written on Windows separate with "\"; a drive-letter name names no file here and
    // is kept as it is.
    const std::string native = ToNativePath(iniFile_);
    return std::make_unique<TIniFile>(native.empty() ? iniFile_ : native);
}

// ---- progress ----------------------------------------------------------------------------------

bool TpgwReport::progressWindowFor(TpgwProgressType type) const {
    return (oldStyleProgress_ || type != ptRunning) && showProgress_;
}

void TpgwReport::StartProgress(TpgwProgressType type) {
    if (ThreadSafeMode()) return;
    if (OnProgressStart) OnProgressStart(this, type, 0);
    if (progressWindowFor(type)) {
        progressForm_.reset();
        progressForm_ = std::make_unique<TpgwProgress>(nullptr);
        // No total is known in advance: the message counts the pages, the bar would stay empty.
        progressForm_->Execute(0, "", false, true);
    }
    if (preview_ && type == ptRunning) preview_->StartProgress(this, type, 0);
    processMessages();
}

void TpgwReport::StepProgress(TpgwProgressType type, int progress) {
    if (ThreadSafeMode()) return;
    if (OnProgress) OnProgress(this, type, progress);
    if (progressWindowFor(type) && progressForm_) {
        const char* key = "prPrinting";
        if (type == ptRunning)
            key = !engine_ || engine_->FinalPass() ? "prRunning" : "prRunningFirst";
        else if (type == ptExporting)
            key = "prExporting";
        progressForm_->SetMessage(progressText(key, progress));
    }
    if (preview_ && type == ptRunning) preview_->StepProgress(this, type, progress - 1);
    // A click on Cancel waiting in the queue counts for this step already.
    processMessages();
    if (progressForm_ && progressForm_->Cancelled()) SetTerminated(true);
}

void TpgwReport::StopProgress(TpgwProgressType type) {
    if (ThreadSafeMode()) return;
    if (OnProgressStop) OnProgressStop(this, type, 0);
    if (progressWindowFor(type)) progressForm_.reset();
    if (preview_ && type == ptRunning) preview_->StopProgress(this, type, 0);
    processMessages();
}

void TpgwReport::ShowProgressText(const std::string& text, bool show) {
    if (ThreadSafeMode()) return;
    if (oldStyleProgress_ && engine_ && engine_->Running() && showProgress_ && progressForm_)
        progressForm_->SetMessage(text);
    if (auto* form = dynamic_cast<TpgwCustomPreviewForm*>(previewForm_))
        form->ShowProgressMessage(text, show);
    processMessages();
}
