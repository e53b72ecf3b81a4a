#pragma once
// Forms: top-level windows with a caption, border style, position, optional menu bar, modal
// showing with ModalResult, and the class library's closing protocol: Close asks OnCloseQuery,
// then OnClose decides the action (hide, free, nothing); closing the main form ends the run.

#include <memory>
#include <string>

#include "platform/ui/control.h"

class TCanvas;
class TMainMenu;

class TCustomForm : public TScrollingWinControl {
    LUMETRA_CLASS(TCustomForm, TScrollingWinControl)
public:
    explicit TCustomForm(TComponent* owner);
    // Fires OnDestroy first.
    ~TCustomForm() override;
    static void RegisterProperties(TClassBuilder<TCustomForm>& b);

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle value);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition value) { position_ = value; }
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle value);
    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState value);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool value) { keyPreview_ = value; }
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);

    // Setting a non-zero result ends a modal show (after the close query agrees).
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult value) { modalResult_ = value; }
    bool Modal() const { return modal_; }

    TRect ClientRect() const override;
    TPoint ChildOrigin() const override;

    // Shows the form (placing it first by Position) and brings it to the front.
    void Show();
    void Hide();
    // Shows the form modally and runs events until ModalResult is set (or the application
    // terminates: mrCancel); returns it. Raises EInvalidOperation "Cannot make a visible
    // window modal" for a visible form.
    TModalResult ShowModal();
    // The closing protocol; a modal form just takes mrCancel.
    void Close();
    // OnCloseQuery's answer (true without a handler).
    virtual bool CloseQuery();
    // Frees the form once the current event is handled.
    void Release();
    bool Active() const;
    // Fires OnCreate; constructors of concrete forms call it when their controls exist.
    void DoCreate();

    // The canvas of OnPaint (valid while it runs), else a measuring canvas.
    TCanvas* Canvas() const;

    // Window options: what libraries would otherwise get from window classes of their own.
    // The whole screen without a frame; switching off puts back the bounds and the state from
    // before.
    bool FullScreen() const { return fullScreen_; }
    void SetFullScreen(bool value);
    // Above other windows; FormStyle fsStayOnTop asks for the same.
    bool StayOnTop() const { return stayOnTop_ || formStyle_ == fsStayOnTop; }
    void SetStayOnTop(bool value);
    // Showing does not take the focus from the active window, nor does a click.
    bool NoActivate() const { return noActivate_; }
    void SetNoActivate(bool value);
    // The window this one stays above and goes with; forgotten when the owner goes. Not the
    // component owner: it frees nothing.
    TCustomForm* WindowOwner() const { return windowOwner_; }
    void SetWindowOwner(TCustomForm* owner);

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnPaint;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // Widget plumbing.
    void WindowCloseRequested();
    void Activated(bool active);
    void PaintForm(void* qpainter);

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
    void VisibleChanged() override;
    void Resize() override;
    void Notification(TComponent* component, TOperation operation) override;
    virtual void DoClose(TCloseAction& action);

private:
    void ApplyWindowFlags();
    void ApplyWindowOwner();
    void ApplySizeLimits();
    void PlaceByPosition();
    void LayoutMenuBar();
    bool CloseModal();

    TFormBorderStyle borderStyle_ = bsSizeable;
    TPosition position_ = poDesigned;
    TFormStyle formStyle_ = fsNormal;
    TWindowState windowState_ = wsNormal;
    bool keyPreview_ = false;
    TMainMenu* menu_ = nullptr;
    TModalResult modalResult_ = mrNone;
    bool modal_ = false;
    bool placed_ = false;
    std::shared_ptr<bool> alive_;
    std::unique_ptr<TCanvas> measureCanvas_;
    TCanvas* paintCanvas_ = nullptr;
    bool fullScreen_ = false;
    TRect boundsBeforeFullScreen_;
    bool stayOnTop_ = false;
    bool noActivate_ = false;
    TCustomForm* windowOwner_ = nullptr;
};

class TForm : public TCustomForm {
    LUMETRA_CLASS(TForm, TCustomForm)
public:
    explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};

// The form whose modal loop runs innermost, or null: what a test or a driving script answers.
TCustomForm* ModalForm();

// A container of non-visual components (the data module).
class TDataModule : public TComponent {
    LUMETRA_CLASS(TDataModule, TComponent)
public:
    explicit TDataModule(TComponent* owner) : TComponent(owner) {}
    ~TDataModule() override;
    static void RegisterProperties(TClassBuilder<TDataModule>& b);
    void DoCreate();
    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
};
