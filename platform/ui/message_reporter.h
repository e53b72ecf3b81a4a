#pragma once
// Every message box, error box and common dialog of the program goes through one replaceable
// reporter. The default one shows real windows; tests install a TRecordingReporter that records
// each request and answers it, so nothing ever waits for a person.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/font.h"
#include "platform/ui/ui_types.h"

class TControl;

enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

using TMsgDlgButtons = std::uint32_t; // bits of TMsgDlgBtn
enum TMsgDlgBtn : std::uint8_t {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp
};
inline constexpr TMsgDlgButtons BtnBit(TMsgDlgBtn b) {
    return 1u << b;
}
inline constexpr TMsgDlgButtons mbOKCancel = BtnBit(mbOK) | BtnBit(mbCancel);
inline constexpr TMsgDlgButtons mbYesNo = BtnBit(mbYes) | BtnBit(mbNo);
inline constexpr TMsgDlgButtons mbYesNoCancel = BtnBit(mbYes) | BtnBit(mbNo) | BtnBit(mbCancel);
inline constexpr TMsgDlgButtons mbAbortRetryIgnore =
    BtnBit(mbAbort) | BtnBit(mbRetry) | BtnBit(mbIgnore);

// The modal result a button gives.
TModalResult ButtonResult(TMsgDlgBtn button);

// Flags of the window manager's message box call (MessageBox).
inline constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                          MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5,
                          MB_ICONERROR = 0x10, MB_ICONSTOP = 0x10, MB_ICONHAND = 0x10,
                          MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30, MB_ICONEXCLAMATION = 0x30,
                          MB_ICONINFORMATION = 0x40, MB_ICONASTERISK = 0x40, MB_DEFBUTTON2 = 0x100,
                          MB_DEFBUTTON3 = 0x200;
// Results of MessageBox.
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                     IDNO = 7;

struct TMessageBoxRequest {
    std::string Text;
    std::string Caption;
    TMsgDlgType Icon = mtInformation;
    TMsgDlgButtons Buttons = BtnBit(mbOK);
    TMsgDlgBtn DefaultButton = mbOK;
    TControl* Owner = nullptr; // the window it belongs to (none: the application)
    bool IsErrorBox = false;   // an exception shown by the application's handler
};

enum class TDialogKind : std::uint8_t { OpenFile, SaveFile, Folder, Font, Color, PrinterSetup };

// A common dialog's request; the answer is written back into it.
struct TDialogRequest {
    TDialogKind Kind = TDialogKind::OpenFile;
    std::string Title;
    std::string InitialDir;
    std::string Filter;     // "Text files (*.txt)|*.txt|All files|*"
    int FilterIndex = 1;    // 1-based
    std::string DefaultExt; // without the dot
    bool AllowMultiSelect = false;
    bool FileMustExist = false;
    bool OverwritePrompt = false;
    // In: the initial value; out: the chosen one.
    std::string FileName;
    std::vector<std::string> Files;
    TFontData Font;
    TColor Color = 0;
};

class TMessageReporter {
public:
    virtual ~TMessageReporter();
    // Shows the box and returns the modal result of the button pressed.
    virtual TModalResult ShowMessageBox(const TMessageBoxRequest& request) = 0;
    // Runs the dialog; true when the user confirmed (the request then holds the answer).
    virtual bool ExecuteDialog(TDialogRequest& request) = 0;
};

// The reporter in force. The default shows the toolkit's windows; without a display
// (offscreen) it shows nothing, writes the box to the error output and answers with the default
// button, and dialogs are cancelled.
TMessageReporter& MessageReporter();
// Installs a reporter and returns the one it replaces; null restores the default.
std::unique_ptr<TMessageReporter> SetMessageReporter(std::unique_ptr<TMessageReporter> reporter);

// Records every box and dialog and answers from queues: a box takes the next queued result, or
// its default button's result; a dialog takes the next queued answer, or is cancelled.
class TRecordingReporter : public TMessageReporter {
public:
    struct DialogAnswer {
        bool Confirmed = false;
        std::string FileName;
        std::vector<std::string> Files;
        TFontData Font;
        TColor Color = 0;
    };

    TModalResult ShowMessageBox(const TMessageBoxRequest& request) override;
    bool ExecuteDialog(TDialogRequest& request) override;

    void QueueAnswer(TModalResult result) { boxAnswers_.push_back(result); }
    void QueueDialogAnswer(DialogAnswer answer) { dialogAnswers_.push_back(std::move(answer)); }

    std::vector<TMessageBoxRequest> Boxes;
    std::vector<TDialogRequest> Dialogs;

private:
    std::deque<TModalResult> boxAnswers_;
    std::deque<DialogAnswer> dialogAnswers_;
};

// Installs a reporter for a scope and restores the previous one when it ends.
class TScopedReporter {
public:
    explicit TScopedReporter(std::unique_ptr<TMessageReporter> reporter);
    ~TScopedReporter();
    TScopedReporter(const TScopedReporter&) = delete;
    TScopedReporter& operator=(const TScopedReporter&) = delete;

private:
    std::unique_ptr<TMessageReporter> previous_;
};

// The class library's box functions, all through the reporter. The caption of MessageDlg and
// ShowMessage is the application's title; MessageDlg captions by type when the title is empty.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
void ShowMessage(const std::string& text);
// The window manager's box: MB_* flags in, ID* result out.
int MessageBox(TControl* owner, const std::string& text, const std::string& caption,
               unsigned flags);
