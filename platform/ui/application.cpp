#include "platform/ui/application.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>

#include "platform/core/properties.h"
#include "platform/graphics/gui_application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/form.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/tick_source.h"

void RegisterStandardControls(); // registration.cpp

namespace {

TApplication* gApplication = nullptr;

void StartToolkit() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(existing))
            throw EInvalidOperation(
                "The window system was started without widget support; create the application "
                "object before any font or picture is used");
        return;
    }
    const TToolkitArguments args = PrepareToolkitStart();
    // Never destroyed: widgets, fonts and images may outlive any scope we could tie it to.
    auto* app = new QApplication(args.argc, args.argv);
    app->setQuitOnLastWindowClosed(false);
}

} // namespace

TApplication* Application() {
    if (!gApplication) {
        StartToolkit();
        RegisterStandardControls();
        gApplication = new TApplication(nullptr);
    }
    return gApplication;
}

void SafeCall(const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        Application()->HandleCurrentException();
    }
}

std::uint32_t GetTickCount() {
    // The tick source's count, so that a test clock steps it too.
    return TickCount();
}

int GetDoubleClickTime() {
    Application();
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

int VerticalScrollBarWidth() {
    Application();
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

// ---- TApplication
// --------------------------------------------------------------------------------

struct TApplication::IdleHook {
    QMetaObject::Connection connection;
};

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), idleHook_(std::make_unique<IdleHook>()) {
    StartToolkit();
    title_ = std::filesystem::path(QCoreApplication::applicationFilePath().toStdString())
                 .stem()
                 .string();
    if (auto* dispatcher = QAbstractEventDispatcher::instance(qApp->thread()))
        idleHook_->connection = QObject::connect(
            dispatcher, &QAbstractEventDispatcher::aboutToBlock, qApp, [this] { Idle(); });
}

TApplication::~TApplication() {
    QObject::disconnect(idleHook_->connection);
    if (gApplication == this) gApplication = nullptr;
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
}

std::string TApplication::ExeName() const {
    return QCoreApplication::applicationFilePath().toStdString();
}

void TApplication::SetMainForm(TForm* form) {
    if (mainForm_) mainForm_->RemoveFreeNotification(this);
    mainForm_ = form;
    if (mainForm_) mainForm_->FreeNotification(this);
}

void TApplication::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == mainForm_) mainForm_ = nullptr;
    TComponent::Notification(component, operation);
}

void TApplication::Run() {
    if (!mainForm_) return;
    if (showMainForm_) mainForm_->Show();
    while (!terminated_)
        HandleMessage();
    if (mainForm_ && mainForm_->Visible()) mainForm_->Hide();
}

void TApplication::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleMessage() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TApplication::Terminate() {
    terminated_ = true;
    // Wakes a loop that waits for events.
    QueueCall([] {});
}

void TApplication::QueueCall(std::function<void()> fn) {
    QMetaObject::invokeMethod(
        qApp, [fn = std::move(fn)] { SafeCall(fn); }, Qt::QueuedConnection);
}

void TApplication::QueueCallAfter(int delayMs, std::function<void()> fn) {
    TickSource().Start(std::max(0, delayMs), false, [fn = std::move(fn)] { SafeCall(fn); });
}

void TApplication::Idle() {
    if (inIdle_ || !OnIdle) return;
    inIdle_ = true;
    bool done = true;
    SafeCall([&] { OnIdle(this, done); });
    inIdle_ = false;
    if (!done) QueueCall([] {});
}

void TApplication::HandleException(const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    if (OnException) {
        try {
            OnException(this, e);
            return;
        } catch (const std::exception& inner) {
            ShowException(inner);
            return;
        } catch (...) {
            return;
        }
    }
    ShowException(e);
}

void TApplication::HandleCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleException(Exception("Unknown exception"));
    }
}

void TApplication::ShowException(const std::exception& e) {
    std::string text = e.what();
    // A message that does not end in punctuation gets a full stop.
    if (!text.empty()) {
        std::size_t i = text.size() - 1;
        while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            --i;
        if (static_cast<unsigned char>(text[i]) > '.') text += '.';
    }
    TMessageBoxRequest r;
    r.Text = text;
    r.Caption = title_;
    r.Icon = mtError;
    r.Buttons = BtnBit(mbOK);
    r.DefaultButton = mbOK;
    r.Owner = Screen().ActiveForm();
    r.IsErrorBox = true;
    try {
        MessageReporter().ShowMessageBox(r);
    } catch (...) {
        // Reporting an error must not raise another.
    }
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return ::MessageBox(Screen().ActiveForm(), text, caption, flags);
}

void TApplication::Minimize() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->showMinimized();
}

void TApplication::Restore() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isMinimized()) w->showNormal();
}

// ---- TScreen
// -------------------------------------------------------------------------------------

namespace {

QScreen* PrimaryScreen() {
    Application();
    return QGuiApplication::primaryScreen();
}

} // namespace

TScreen& Screen() {
    static TScreen screen;
    return screen;
}

int TScreen::Width() const {
    QScreen* s = PrimaryScreen();
    return s ? s->geometry().width() : 0;
}

int TScreen::Height() const {
    QScreen* s = PrimaryScreen();
    return s ? s->geometry().height() : 0;
}

TRect TScreen::WorkAreaRect() const {
    QScreen* s = PrimaryScreen();
    if (!s) return {};
    const QRect r = s->availableGeometry();
    return Bounds(r.x(), r.y(), r.width(), r.height());
}

int TScreen::PixelsPerInch() const {
    QScreen* s = PrimaryScreen();
    return s ? static_cast<int>(s->logicalDotsPerInch() + 0.5) : 96;
}

void TScreen::SetCursor(TCursor cursor) {
    Application();
    if (cursor_ != crDefault) QGuiApplication::restoreOverrideCursor();
    cursor_ = cursor;
    if (cursor_ != crDefault) QGuiApplication::setOverrideCursor(QCursor(ToQtCursor(cursor)));
}

TForm* TScreen::ActiveForm() const {
    Application();
    QWidget* w = QApplication::activeWindow();
    return w ? dynamic_cast<TForm*>(ControlFromWidget(w)) : nullptr;
}

TRasterImage TScreen::Grab() const {
    QScreen* s = PrimaryScreen();
    if (!s) return {};
    return ToRasterImage(s->grabWindow(0).toImage());
}

void SaveImageAsPng(const TRasterImage& image, const std::string& path) {
    Application();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || !ToQImage(image).save(&file, "PNG") || !file.commit())
        throw EFCreateError("Cannot create file \"" + path + "\"");
}
