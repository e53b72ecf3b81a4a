#include "platform/ui/form.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <vector>

#include "platform/core/properties.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/menus.h"
#include "platform/ui/widget_canvas_p.h"

namespace {

class FormWidget final : public QWidget {
public:
    explicit FormWidget(TCustomForm* form) : form_(form) {}
    void Detach() { form_ = nullptr; }

protected:
    void closeEvent(QCloseEvent* e) override {
        // The form decides by its closing protocol; the widget never closes by itself.
        e->ignore();
        if (form_) SafeCall([this] { form_->WindowCloseRequested(); });
    }
    void changeEvent(QEvent* e) override {
        if (form_ && e->type() == QEvent::ActivationChange) {
            const bool active = isActiveWindow();
            SafeCall([this, active] { form_->Activated(active); });
        }
        QWidget::changeEvent(e);
    }
    void paintEvent(QPaintEvent*) override {
        if (!form_ || !form_->OnPaint) return;
        QPainter p(this);
        SafeCall([&] { form_->PaintForm(&p); });
    }

private:
    TCustomForm* form_;
};

} // namespace

void TCustomForm::RegisterProperties(TClassBuilder<TCustomForm>& b) {
    b.Add("BorderStyle", TypeInfoFormBorderStyle(), &TCustomForm::BorderStyle,
          &TCustomForm::SetBorderStyle)
        .Default(bsSizeable);
    b.Add("Caption", &TCustomForm::Caption, &TCustomForm::SetCaption);
    b.Add("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth).Stored(false);
    b.Add("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight).Stored(false);
    b.Add("FormStyle", TypeInfoFormStyle(), &TCustomForm::FormStyle, &TCustomForm::SetFormStyle)
        .Default(fsNormal);
    b.Add("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview).Default(0);
    b.Add("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu);
    b.Add("ModalResult", TypeInfoModalResult(), &TCustomForm::ModalResult,
          &TCustomForm::SetModalResult)
        .Stored(false);
    b.Add("Position", TypeInfoPosition(), &TCustomForm::Position, &TCustomForm::SetPosition)
        .Default(poDesigned);
    b.Add("WindowState", TypeInfoWindowState(), &TCustomForm::WindowState,
          &TCustomForm::SetWindowState)
        .Default(wsNormal);
    b.Publish("Visible").Default(0);
    b.AddMethod("OnActivate", "TNotifyEvent");
    b.AddMethod("OnClose", "TCloseEvent");
    b.AddMethod("OnCloseQuery", "TCloseQueryEvent");
    b.AddMethod("OnCreate", "TNotifyEvent");
    b.AddMethod("OnDeactivate", "TNotifyEvent");
    b.AddMethod("OnDestroy", "TNotifyEvent");
    b.AddMethod("OnHide", "TNotifyEvent");
    b.AddMethod("OnPaint", "TNotifyEvent");
    b.AddMethod("OnShow", "TNotifyEvent");
}

TCustomForm::TCustomForm(TComponent* owner)
    : TScrollingWinControl(owner), alive_(std::make_shared<bool>(true)) {
    Internals().visible = false;
    Internals().parentFont = false;
    Font()->OnChange = nullptr;
    Font()->SetName("Tahoma");
    Font()->SetHeight(-11);
    Font()->OnChange = [this](TFont&) { FontChanged(); };
    auto* w = new FormWidget(this);
    w->setAttribute(Qt::WA_QuitOnClose, false);
    SetBounds(0, 0, 320, 240);
    AttachWidget(w);
    ApplyWindowFlags();
}

TCustomForm::~TCustomForm() {
    *alive_ = false;
    if (OnDestroy) SafeCall([this] { OnDestroy(this); });
    if (auto* w = dynamic_cast<FormWidget*>(Widget())) w->Detach();
    SetMenu(nullptr);
    if (Application()->MainForm() == this) Application()->SetMainForm(nullptr);
}

std::string TCustomForm::GetControlText() const {
    const QWidget* w = Widget();
    return w ? w->windowTitle().toStdString() : std::string();
}

void TCustomForm::SetControlText(const std::string& text) {
    if (QWidget* w = Widget()) w->setWindowTitle(QString::fromStdString(text));
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
    borderStyle_ = value;
    ApplyWindowFlags();
}

void TCustomForm::SetFormStyle(TFormStyle value) {
    formStyle_ = value;
    ApplyWindowFlags();
}

void TCustomForm::SetWindowState(TWindowState value) {
    windowState_ = value;
    QWidget* w = Widget();
    if (!w) return;
    Qt::WindowStates s = Qt::WindowNoState;
    if (value == wsMinimized) s = Qt::WindowMinimized;
    if (value == wsMaximized) s = Qt::WindowMaximized;
    w->setWindowState(s);
}

void TCustomForm::ApplyWindowFlags() {
    QWidget* w = Widget();
    if (!w) return;
    Qt::WindowFlags f = Qt::Window;
    switch (borderStyle_) {
    case bsNone:
        f |= Qt::FramelessWindowHint;
        break;
    case bsDialog:
        f = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        break;
    case bsToolWindow:
    case bsSizeToolWin:
        f = Qt::Tool;
        break;
    case bsSingle:
    case bsSizeable:
        break;
    }
    if (StayOnTop()) f |= Qt::WindowStaysOnTopHint;
    if (noActivate_) f |= Qt::WindowDoesNotAcceptFocus;
    w->setAttribute(Qt::WA_ShowWithoutActivating, noActivate_);
    const bool visible = w->isVisible();
    if (w->windowFlags() != f) w->setWindowFlags(f);
    // New flags may give the widget a new native window, which forgets its transient parent.
    ApplyWindowOwner();
    ApplySizeLimits();
    if (visible) w->show();
}

void TCustomForm::ApplyWindowOwner() {
    QWidget* w = Widget();
    if (!w || (!windowOwner_ && !w->windowHandle())) return;
    QWidget* ownerWidget = windowOwner_ ? windowOwner_->Widget() : nullptr;
    w->winId();
    if (ownerWidget) ownerWidget->winId();
    w->windowHandle()->setTransientParent(ownerWidget ? ownerWidget->windowHandle() : nullptr);
}

void TCustomForm::SetStayOnTop(bool value) {
    stayOnTop_ = value;
    ApplyWindowFlags();
}

void TCustomForm::SetNoActivate(bool value) {
    noActivate_ = value;
    ApplyWindowFlags();
}

void TCustomForm::SetWindowOwner(TCustomForm* owner) {
    if (owner == this) owner = nullptr;
    if (owner == windowOwner_) return;
    if (windowOwner_) windowOwner_->RemoveFreeNotification(this);
    windowOwner_ = owner;
    if (windowOwner_) windowOwner_->FreeNotification(this);
    ApplyWindowOwner();
}

void TCustomForm::SetFullScreen(bool value) {
    if (value == fullScreen_) return;
    QWidget* w = Widget();
    if (value) {
        boundsBeforeFullScreen_ = BoundsRect();
        fullScreen_ = true;
        if (w) {
            const QRect screen =
                (w->screen() ? w->screen() : QGuiApplication::primaryScreen())->geometry();
            // Placed at once, as the window manager may take its time and layout must not wait;
            // the state comes after, as placing a window ends full screen. Constraints still
            // hold, as they do for a maximised window.
            SetBounds(screen.x(), screen.y(), screen.width(), screen.height());
            w->setWindowState(w->windowState() | Qt::WindowFullScreen);
        }
        return;
    }
    fullScreen_ = false;
    if (w) w->setWindowState(w->windowState() & ~Qt::WindowFullScreen);
    const TRect& r = boundsBeforeFullScreen_;
    SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void TCustomForm::ApplySizeLimits() {
    QWidget* w = Widget();
    if (!w) return;
    const bool fixed =
        borderStyle_ == bsSingle || borderStyle_ == bsDialog || borderStyle_ == bsToolWindow;
    if (fixed) {
        w->setFixedSize(Width(), Height());
    } else {
        // The window manager keeps the user's resizing within the constraints.
        const TSizeConstraints* c = Constraints();
        w->setMinimumSize(c->MinWidth(), c->MinHeight());
        w->setMaximumSize(c->MaxWidth() > 0 ? c->MaxWidth() : QWIDGETSIZE_MAX,
                          c->MaxHeight() > 0 ? c->MaxHeight() : QWIDGETSIZE_MAX);
    }
}

void TCustomForm::SetMenu(TMainMenu* menu) {
    if (menu == menu_) return;
    if (menu_) {
        menu_->AttachTo(nullptr);
        menu_->RemoveFreeNotification(this);
    }
    menu_ = menu;
    if (menu_) {
        menu_->FreeNotification(this);
        menu_->AttachTo(Widget());
    }
    LayoutMenuBar();
    Realign();
}

void TCustomForm::LayoutMenuBar() {
    if (menu_ && menu_->MenuBar()) menu_->MenuBar()->setGeometry(0, 0, Width(), menu_->BarHeight());
    for (int i = 0; i < ControlCount(); ++i)
        Controls(i)->UpdateWidgetGeometry();
}

TRect TCustomForm::ClientRect() const {
    const int bar = menu_ ? menu_->BarHeight() : 0;
    return {0, 0, Width(), std::max(0, Height() - bar)};
}

TPoint TCustomForm::ChildOrigin() const {
    return {0, menu_ ? menu_->BarHeight() : 0};
}

void TCustomForm::Resize() {
    ApplySizeLimits();
    LayoutMenuBar();
    TWinControl::Resize();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == menu_) {
        menu_ = nullptr;
        LayoutMenuBar();
    }
    if (operation == TOperation::opRemove && component == windowOwner_) {
        windowOwner_ = nullptr;
        ApplyWindowOwner();
    }
    TWinControl::Notification(component, operation);
}

void TCustomForm::PlaceByPosition() {
    if (placed_) return;
    placed_ = true;
    TRect area = Screen().WorkAreaRect();
    const TControl* over = nullptr;
    if (position_ == poMainFormCenter) over = Application()->MainForm();
    if (position_ == poOwnerFormCenter) over = dynamic_cast<const TControl*>(Owner());
    if (over == this) over = nullptr;
    switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
        SetBounds(area.Left + (area.Width() - Width()) / 2,
                  area.Top + (area.Height() - Height()) / 2, Width(), Height());
        break;
    case poMainFormCenter:
    case poOwnerFormCenter:
        if (over) area = over->BoundsRect();
        SetBounds(area.Left + (area.Width() - Width()) / 2,
                  area.Top + (area.Height() - Height()) / 2, Width(), Height());
        break;
    default:
        break;
    }
}

void TCustomForm::Show() {
    SetVisible(true);
    // The offscreen platform has no stacking and says so on every call.
    QWidget* w = Widget();
    if (w && !noActivate_ && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        w->raise();
        w->activateWindow();
    }
}

void TCustomForm::Hide() {
    SetVisible(false);
}

void TCustomForm::VisibleChanged() {
    QWidget* w = Widget();
    if (!w) return;
    if (Parent()) {
        TWinControl::VisibleChanged();
        return;
    }
    if (Visible()) {
        PlaceByPosition();
        ApplySizeLimits();
        if (OnShow) OnShow(this);
        UpdateWidgetGeometry();
        w->show();
    } else {
        if (OnHide) OnHide(this);
        w->hide();
    }
}

bool TCustomForm::Active() const {
    const QWidget* w = Widget();
    return w && w->isActiveWindow();
}

void TCustomForm::Activated(bool active) {
    if (active && OnActivate) OnActivate(this);
    if (!active && OnDeactivate) OnDeactivate(this);
}

void TCustomForm::DoCreate() {
    if (OnCreate) SafeCall([this] { OnCreate(this); });
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TCustomForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application()->MainForm() == this) {
        Application()->Terminate();
        return;
    }
    switch (action) {
    case caHide:
        Hide();
        break;
    case caMinimize:
        SetWindowState(wsMinimized);
        break;
    case caFree:
        Release();
        break;
    case caNone:
        break;
    }
}

void TCustomForm::WindowCloseRequested() {
    Close();
}

void TCustomForm::Release() {
    std::weak_ptr<bool> alive = alive_;
    Application()->QueueCall([this, alive] {
        if (auto a = alive.lock(); a && *a) delete this;
    });
}

bool TCustomForm::CloseModal() {
    TCloseAction action = caNone;
    if (CloseQuery()) {
        action = caHide;
        DoClose(action);
    }
    if (action == caNone) {
        modalResult_ = mrNone;
        return false;
    }
    if (action == caFree) Release();
    return true;
}

namespace {
std::vector<TCustomForm*>& modalForms() {
    static std::vector<TCustomForm*> forms;
    return forms;
}
} // namespace

TCustomForm* ModalForm() {
    return modalForms().empty() ? nullptr : modalForms().back();
}

TModalResult TCustomForm::ShowModal() {
    if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
    TApplication* app = Application();
    QWidget* w = Widget();
    std::weak_ptr<bool> alive = alive_;
    modal_ = true;
    modalResult_ = mrNone;
    w->setWindowModality(Qt::ApplicationModal);
    app->ModalStarted();
    struct Finish {
        TCustomForm* form;
        std::weak_ptr<bool> alive;
        ~Finish() {
            modalForms().pop_back();
            Application()->ModalFinished();
            if (auto a = alive.lock(); a && *a) {
                form->modal_ = false;
                if (form->Visible()) form->Hide();
                if (QWidget* w = form->Widget()) w->setWindowModality(Qt::NonModal);
            }
        }
    } finish{this, alive};
    modalForms().push_back(this);
    Show();
    while (true) {
        if (app->Terminated()) {
            modalResult_ = mrCancel;
            break;
        }
        app->HandleMessage();
        if (alive.expired() || !*alive.lock()) return mrCancel;
        if (modalResult_ != mrNone) {
            bool closed = false;
            SafeCall([&] { closed = CloseModal(); });
            if (closed) break;
        }
    }
    return modalResult_;
}

TCanvas* TCustomForm::Canvas() const {
    if (paintCanvas_) return paintCanvas_;
    if (!measureCanvas_) const_cast<TCustomForm*>(this)->measureCanvas_ = MakeMeasuringCanvas(96);
    measureCanvas_->SetFont(*Font());
    return measureCanvas_.get();
}

void TCustomForm::PaintForm(void* qpainter) {
    TWidgetCanvas canvas;
    canvas.SetFont(*Font());
    canvas.Begin(static_cast<QPainter*>(qpainter), Width(), Height());
    paintCanvas_ = &canvas;
    struct Reset {
        TCanvas*& c;
        ~Reset() { c = nullptr; }
    } reset{paintCanvas_};
    if (OnPaint) OnPaint(this);
    canvas.End();
}

// ---- TDataModule
// ---------------------------------------------------------------------------------

void TDataModule::RegisterProperties(TClassBuilder<TDataModule>& b) {
    b.AddMethod("OnCreate", "TNotifyEvent");
    b.AddMethod("OnDestroy", "TNotifyEvent");
}

TDataModule::~TDataModule() {
    if (OnDestroy) SafeCall([this] { OnDestroy(this); });
}

void TDataModule::DoCreate() {
    if (OnCreate) SafeCall([this] { OnCreate(this); });
}
