#pragma once
// TApplication: the process's application object over the toolkit's event loop. It owns the
// title, the main form, the loop (Run, ProcessMessages, Terminate), idle and queued calls in
// place of posted messages, and the handler that turns an exception escaping an event handler
// into an error box. TScreen gives the screen's size, work area and the global cursor.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/component.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/raster_image.h"
#include "platform/ui/ui_types.h"

class TForm;

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;

class TApplication : public TComponent {
    LUMETRA_CLASS(TApplication, TComponent)
public:
    // The process has one: use Application(), which creates it.
    explicit TApplication(TComponent* owner);
    ~TApplication() override;

    // Title of the application, the caption of message and error boxes.
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);
    // Full path of the running program.
    std::string ExeName() const;

    // The first form made with CreateForm, or the one set here; closing it ends Run.
    TForm* MainForm() const { return mainForm_; }
    void SetMainForm(TForm* form);
    // Creates a form owned by the application; the first becomes the main form.
    template <class T> T* CreateForm() {
        T* form = new T(this);
        if (!mainForm_) SetMainForm(form);
        return form;
    }
    // Whether Run shows the main form when it starts (default true).
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool value) { showMainForm_ = value; }

    // Shows the main form and runs the event loop until Terminate.
    void Run();
    // Handles every pending event, then returns.
    void ProcessMessages();
    // Handles events until one arrives and is handled (blocks while there are none).
    void HandleMessage();
    // Ends Run and every modal loop at the next turn.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Clears Terminated (tests reuse the one application object).
    void ResetTerminated() { terminated_ = false; }

    // Runs fn from the event loop once the current event is handled: the stand-in for a posted
    // message. Exceptions from fn go to HandleException.
    void QueueCall(std::function<void()> fn);
    // Runs fn after delayMs milliseconds (once).
    void QueueCallAfter(int delayMs, std::function<void()> fn);

    // The error handler: OnException when set, else ShowException. EAbort is silent.
    void HandleException(const std::exception& e);
    // Handles the exception in flight (call from a catch block); non-standard ones too.
    void HandleCurrentException();
    // The error box: the message (with a full stop added when it ends in a character above
    // '.'), the title as caption, the stop icon, an OK button.
    void ShowException(const std::exception& e);
    // MessageBox owned by the active form (see message_reporter.h).
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

    void Minimize();
    void Restore();
    // The hint pause in ms; kept for forms that read it.
    int HintPause() const { return hintPause_; }
    void SetHintPause(int ms) { hintPause_ = ms; }

    // Number of modal loops running.
    int ModalLevel() const { return modalLevel_; }
    void ModalStarted() { ++modalLevel_; }
    void ModalFinished() { --modalLevel_; }

    TExceptionEvent OnException;
    // Runs when the event queue has emptied; set done false to be called again at once.
    TIdleEvent OnIdle;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct IdleHook; // the event loop's link to Idle, cut when the object goes
    void Idle();
    std::unique_ptr<IdleHook> idleHook_;
    std::string title_;
    TForm* mainForm_ = nullptr;
    bool showMainForm_ = true;
    bool terminated_ = false;
    bool inIdle_ = false;
    int modalLevel_ = 0;
    int hintPause_ = 500;
};

// The process's application object. The first call creates it and the toolkit's application
// (a widget application: it must come before anything else starts the toolkit). Without a
// display it runs on the offscreen platform. Registers the standard control classes.
TApplication* Application();

// Runs fn, sending any exception it raises to Application()->HandleException. Every event
// handler the toolkit calls goes through this, so one failing handler never ends the loop.
void SafeCall(const std::function<void()>& fn);

// Milliseconds since an arbitrary start (monotonic, wraps at 2^32).
std::uint32_t GetTickCount();
// The toolkit's double-click interval in ms.
int GetDoubleClickTime();
// The width of the toolkit's vertical scroll bar (the height of a horizontal one).
int VerticalScrollBarWidth();

class TScreen {
public:
    int Width() const;
    int Height() const;
    // The desktop minus panels and task bars.
    TRect WorkAreaRect() const;
    int WorkAreaWidth() const { return WorkAreaRect().Width(); }
    int WorkAreaHeight() const { return WorkAreaRect().Height(); }
    int PixelsPerInch() const;
    // A cursor over every window (crHourGlass while working); crDefault restores.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);
    // The form that has the input focus, or null.
    TForm* ActiveForm() const;
    // The whole screen as shown now.
    TRasterImage Grab() const;

private:
    TCursor cursor_ = crDefault;
};

TScreen& Screen();

// Writes an image as a PNG file (screenshots of tests and tools); written under a temporary
// name and renamed when complete. Raises EFCreateError when it cannot be written.
void SaveImageAsPng(const TRasterImage& image, const std::string& path);
