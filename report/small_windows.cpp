#include "report/small_windows.h"

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "platform/graphics/font.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"
#include "report/component.h"
#include "report/options.h"
#include "report/resources.h"
#include "report/utils.h"

extern char** environ;

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

TButton* makeButton(TWinControl* parent, TComponent* owner, int left, int top, int textId,
                    TModalResult result) {
    auto* b = new TButton(owner);
    b->SetParent(parent);
    b->SetBounds(left, top, 75, 25);
    b->SetCaption(text(textId));
    b->SetModalResult(result);
    return b;
}

TpgwInheritPrompt& inheritPromptSlot() {
    static TpgwInheritPrompt prompt = [] {
        TpgwInheritErrorForm form(nullptr);
        if (form.ShowModal() != mrOk) return TpgwInheritChoice::Cancel;
        return form.DeleteRB->Checked() ? TpgwInheritChoice::DeleteDuplicates
                                        : TpgwInheritChoice::RenameDuplicates;
    };
    return prompt;
}

// The first executable of that name on PATH, or "".
std::string findProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start);
        if (!candidate.empty()) {
            candidate += '/';
            candidate += name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}

TpgwHelpLauncher& helpLauncherSlot() {
    static TpgwHelpLauncher launcher = [](const std::string& file, const std::string&) {
        return OpenWithDesktop(file);
    };
    return launcher;
}

} // namespace

// ---- progress ----------------------------------------------------------------------------------

TpgwProgress::TpgwProgress(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsNone);
    TForm::SetPosition(poScreenCenter);
    SetClientWidth(271);
    SetClientHeight(101);
    panel_ = new TPanel(this);
    panel_->SetParent(this);
    panel_->SetAlign(alClient);
    panel_->SetBevelWidth(2);
    LMessage = new TLabel(this);
    LMessage->SetParent(panel_);
    LMessage->SetAutoSize(false);
    LMessage->SetAlignment(taCenter);
    LMessage->SetBounds(16, 15, 237, 13);
    LMessage->Font()->SetName("Tahoma");
    LMessage->Font()->SetSize(8);
    Bar = new TProgressBar(this);
    Bar->SetParent(panel_);
    Bar->SetBounds(16, 37, 237, 17);
    Bar->SetStep(1);
    Bar->SetMin(0);
    Bar->SetMax(100);
    CancelB = makeButton(panel_, this, 98, 64, 2, mrCancel);
    CancelB->SetCancel(true);
    CancelB->OnClick = [this](TObject*) { SetCancelled(true); };
    activeForm_ = Screen().ActiveForm();
    if (activeForm_) {
        activeForm_->FreeNotification(this);
        activeForm_->SetEnabled(false);
    }
    OnHide = [this](TObject*) { enableActiveForm(); };
    SetShowBar(true);
}

TpgwProgress::~TpgwProgress() {
    OnHide = nullptr;
    enableActiveForm();
}

void TpgwProgress::enableActiveForm() {
    if (!activeForm_) return;
    activeForm_->SetEnabled(true);
    activeForm_->RemoveFreeNotification(this);
    activeForm_ = nullptr;
}

void TpgwProgress::Execute(int maxValue, const std::string& message, bool showBar,
                           bool showCancel) {
    cancelled_ = false;
    CancelB->SetVisible(showCancel);
    SetShowBar(showBar);
    Bar->SetMin(0);
    position_ = 0;
    Bar->SetPosition(0);
    Bar->SetMax(maxValue);
    SetMessage(message);
    Show();
    Application()->ProcessMessages();
}

void TpgwProgress::Tick() {
    if (position_ < Bar->Max() && position_ >= Bar->Min()) SetPosition(position_ + 1);
}

void TpgwProgress::SetMessage(const std::string& value) {
    message_ = value;
    LMessage->SetCaption(value);
    LMessage->Repaint();
}

void TpgwProgress::SetPosition(int value) {
    position_ = value;
    Bar->SetPosition(value);
    BringToFront();
    Application()->ProcessMessages();
}

void TpgwProgress::SetCancelled(bool value) {
    cancelled_ = value;
    if (value) Close();
}

void TpgwProgress::SetShowBar(bool value) {
    showBar_ = value;
    Bar->SetVisible(value);
    LMessage->SetTop(value ? 15 : 35);
}

// ---- password ----------------------------------------------------------------------------------

TpgwPasswordForm::TpgwPasswordForm(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(249);
    SetClientHeight(117);
    SetCaption(text(5000));
    Image1 = new TImage(this);
    Image1->SetParent(this);
    Image1->SetBounds(12, 12, 32, 32);
    PasswordL = new TLabel(this);
    PasswordL->SetParent(this);
    PasswordL->SetBounds(56, 12, 180, 13);
    PasswordL->SetCaption(text(5001));
    PasswordE = new TEdit(this);
    PasswordE->SetParent(this);
    PasswordE->SetBounds(56, 32, 180, 21);
    PasswordE->SetPasswordChar('*');
    OkB = makeButton(this, this, 80, 80, 1, mrOk);
    OkB->SetDefault(true);
    CancelB = makeButton(this, this, 162, 80, 2, mrCancel);
    CancelB->SetCancel(true);
}

TpgwPasswordForm::~TpgwPasswordForm() = default;

bool ShowPasswordWindow(std::string& password) {
    TpgwPasswordForm form(nullptr);
    if (form.ShowModal() != mrOk) return false;
    password = form.PasswordE->Text();
    return true;
}

// ---- dialog page window ------------------------------------------------------------------------

TpgwDialogForm::TpgwDialogForm(TpgwComponent* page)
    : TForm(nullptr), threadSafeCreation_(page && page->Tag() == 318) {
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
}

TpgwDialogForm::~TpgwDialogForm() = default;

bool TpgwDialogForm::CloseQuery() {
    if (!OnCloseQuery) return false;
    return TForm::CloseQuery();
}

void TpgwDialogForm::Resize() {
    TForm::Resize();
    if (OnBoundsChanged) OnBoundsChanged(this);
}

// ---- inheritance conflict ----------------------------------------------------------------------

TpgwInheritErrorForm::TpgwInheritErrorForm(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(329);
    SetClientHeight(157);
    SetCaption(text(6000));
    PaintBox1 = new TImage(this);
    PaintBox1->SetParent(this);
    PaintBox1->SetBounds(12, 12, 32, 32);
    MessageL = new TLabel(this);
    MessageL->SetParent(this);
    MessageL->SetAutoSize(false);
    MessageL->SetWordWrap(true);
    MessageL->SetBounds(56, 12, 260, 52);
    MessageL->SetCaption(text(6001));
    DeleteRB = new TRadioButton(this);
    DeleteRB->SetParent(this);
    DeleteRB->SetBounds(56, 70, 260, 17);
    DeleteRB->SetCaption(text(6002));
    RenameRB = new TRadioButton(this);
    RenameRB->SetParent(this);
    RenameRB->SetBounds(56, 92, 260, 17);
    RenameRB->SetCaption(text(6003));
    DeleteRB->SetChecked(true);
    OkB = makeButton(this, this, 160, 122, 1, mrOk);
    OkB->SetDefault(true);
    CancelB = makeButton(this, this, 242, 122, 2, mrCancel);
    CancelB->SetCancel(true);
}

TpgwInheritErrorForm::~TpgwInheritErrorForm() = default;

TpgwInheritPrompt SetInheritPrompt(TpgwInheritPrompt prompt) {
    TpgwInheritPrompt previous = std::move(inheritPromptSlot());
    inheritPromptSlot() = std::move(prompt);
    return previous;
}

TpgwInheritChoice AskInheritConflict() {
    const TpgwInheritPrompt& prompt = inheritPromptSlot();
    return prompt ? prompt() : TpgwInheritChoice::Cancel;
}

// ---- help --------------------------------------------------------------------------------------

bool OpenWithDesktop(const std::string& target) {
    const std::string program = findProgram("xdg-open");
    if (program.empty()) return false;
    const char* argv[] = {program.c_str(), target.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0)
        return false;
    // The handler may stay in the foreground: reap it without waiting here.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

TpgwHelpLauncher SetHelpLauncher(TpgwHelpLauncher launcher) {
    TpgwHelpLauncher previous = std::move(helpLauncherSlot());
    helpLauncherSlot() = std::move(launcher);
    return previous;
}

bool ShowHelpFile(const std::string& address) {
    const std::size_t sep = address.find("::");
    const std::string file = address.substr(0, sep);
    const std::string topic = sep == std::string::npos ? std::string() : address.substr(sep + 2);
    if (!FileExists(file)) {
        ShowInfoMessage("The help file \"" + file + "\" is not installed.");
        return false;
    }
    const TpgwHelpLauncher& launcher = helpLauncherSlot();
    if (launcher && launcher(file, topic)) return true;
    ShowInfoMessage("The help file \"" + file +
                    "\" cannot be shown: no viewer for it is installed on this system.");
    return false;
}

bool OpenHelp(std::string_view formClassName) {
    return ShowHelpFile(GetResources().HelpAddress(formClassName));
}
