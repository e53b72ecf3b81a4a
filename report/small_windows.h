#pragma once
// The report generator's small windows: the progress window of long operations, the template
// password prompt, the window class of dialog pages, the question asked when a report and its
// parent report share object names; and opening files and addresses on the desktop, the help
// file among them.

#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/form.h"

class TButton;
class TEdit;
class TImage;
class TLabel;
class TPanel;
class TProgressBar;
class TRadioButton;
class TpgwComponent;

class TpgwProgress : public TForm {
    LUMETRA_CLASS(TpgwProgress, TForm)
public:
    // Remembers and disables the form active now; it is enabled again when this window hides
    // or goes.
    explicit TpgwProgress(TComponent* owner);
    ~TpgwProgress() override;

    void Execute(int maxValue, const std::string& message, bool showBar, bool showCancel);
    // One step, unless the bar is at its end.
    void Tick();

    const std::string& Message() const { return message_; }
    void SetMessage(const std::string& value);
    int Position() const { return position_; }
    // Moves the bar and handles pending events, so a click on Cancel is seen during long work.
    void SetPosition(int value);
    bool Cancelled() const { return cancelled_; }
    // Setting it closes the window.
    void SetCancelled(bool value);
    bool ShowBar() const { return showBar_; }
    void SetShowBar(bool value);

    TLabel* LMessage = nullptr;
    TProgressBar* Bar = nullptr;
    TButton* CancelB = nullptr;

private:
    void enableActiveForm();
    TPanel* panel_ = nullptr;
    TForm* activeForm_ = nullptr;
    std::string message_;
    int position_ = 0;
    bool cancelled_ = false;
    bool showBar_ = true;
};

class TpgwPasswordForm : public TForm {
    LUMETRA_CLASS(TpgwPasswordForm, TForm)
public:
    explicit TpgwPasswordForm(TComponent* owner);
    ~TpgwPasswordForm() override;

    TLabel* PasswordL = nullptr;
    TImage* Image1 = nullptr;
    TEdit* PasswordE = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;
};

// Shows the password window modally; true with the entered text when closed with OK. The
// report's default password prompt.
bool ShowPasswordWindow(std::string& password);

class TpgwDialogForm : public TForm {
    LUMETRA_CLASS(TpgwDialogForm, TForm)
public:
    // The page's Tag 318 marks a creation under thread-safe engine options.
    explicit TpgwDialogForm(TpgwComponent* page);
    ~TpgwDialogForm() override;

    bool ThreadSafeCreation() const { return threadSafeCreation_; }
    // Refuses closing unless the dialog page has installed its own close query.
    bool CloseQuery() override;

    TNotifyEvent OnBoundsChanged;

protected:
    void Resize() override;

private:
    bool threadSafeCreation_ = false;
};

class TpgwInheritErrorForm : public TForm {
    LUMETRA_CLASS(TpgwInheritErrorForm, TForm)
public:
    explicit TpgwInheritErrorForm(TComponent* owner);
    ~TpgwInheritErrorForm() override;

    TLabel* MessageL = nullptr;
    TImage* PaintBox1 = nullptr;
    TRadioButton* DeleteRB = nullptr;
    TRadioButton* RenameRB = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;
};

// The answer to duplicate names between a report and its new parent report.
enum class TpgwInheritChoice { Cancel, DeleteDuplicates, RenameDuplicates };
using TpgwInheritPrompt = std::function<TpgwInheritChoice()>;
// The default shows the inheritance-conflict window; returns the prompt it replaces.
TpgwInheritPrompt SetInheritPrompt(TpgwInheritPrompt prompt);
TpgwInheritChoice AskInheritConflict();

// Hands target (a file or an address) to the desktop's handler for it (xdg-open) without
// waiting for the handler; false when there is no handler to start.
bool OpenWithDesktop(const std::string& target);

// Help. The compiled help file has no viewer of its own here: the desktop's handler for the
// file opens it when there is one (xdg-open), else the user is told. The address keeps its
// topic ("file::/topic.htm") for viewers that can use it.
using TpgwHelpLauncher = std::function<bool(const std::string& file, const std::string& topic)>;
// The default runs xdg-open on the file; returns the launcher it replaces.
TpgwHelpLauncher SetHelpLauncher(TpgwHelpLauncher launcher);
// Whether a viewer took the address; otherwise an information box says why.
bool ShowHelpFile(const std::string& address);
// The help of a window class (TpgwResources::HelpAddress).
bool OpenHelp(std::string_view formClassName);
