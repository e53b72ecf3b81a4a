#include "platform/ui/hints.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

namespace {

THintManager*& current() {
    static THintManager* manager = nullptr;
    return manager;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

constexpr int kHintMarginX = 3;
constexpr int kHintMarginY = 1;
// Below the pointer's hot spot, clear of the arrow.
constexpr int kCursorHeight = 20;

bool inside(const TRect& r, TPoint p) {
    return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

} // namespace

std::string GetShortHint(const std::string& hint) {
    return hint.substr(0, hint.find('|'));
}

std::string GetLongHint(const std::string& hint) {
    const std::size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
    SetColor(clInfoBk);
    Font()->SetColor(clInfoText);
    SetVisible(false);
    if (QWidget* w = Widget()) {
        w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
        w->setAttribute(Qt::WA_ShowWithoutActivating);
    }
}

TRect THintWindow::CalcHintRect(const std::string& text) {
    TCanvas* c = Canvas();
    c->Font().Assign(*Font());
    int width = 0, height = 0;
    for (const std::string& line : splitLines(text)) {
        width = std::max(width, c->TextWidth(line));
        height += c->TextHeight(line.empty() ? "Wg" : line);
    }
    return Rect(0, 0, width + 2 * kHintMarginX + 2, height + 2 * kHintMarginY + 2);
}

void THintWindow::ActivateHint(TPoint screenPos, const std::string& text) {
    text_ = text;
    const TRect r = CalcHintRect(text);
    const TRect screen = Screen().WorkAreaRect();
    int x = screenPos.X, y = screenPos.Y;
    if (x + r.Width() > screen.Right) x = screen.Right - r.Width();
    if (y + r.Height() > screen.Bottom) y = screenPos.Y - r.Height() - kCursorHeight;
    x = std::max(x, screen.Left);
    y = std::max(y, screen.Top);
    SetBounds(x, y, r.Width(), r.Height());
    SetVisible(true);
    Invalidate();
}

void THintWindow::ReleaseHint() {
    SetVisible(false);
    text_.clear();
}

void THintWindow::Paint() {
    TCanvas* c = Canvas();
    const TRect r = Rect(0, 0, Width(), Height());
    c->Brush().SetStyle(bsSolid);
    c->Brush().SetColor(clInfoBk);
    c->FillRect(r);
    c->Brush().SetColor(clWindowFrame);
    c->FrameRect(r);
    c->Brush().SetStyle(bsClear);
    c->Font().Assign(*Font());
    int y = 1 + kHintMarginY;
    for (const std::string& line : splitLines(text_)) {
        c->TextOut(1 + kHintMarginX, y, line);
        y += c->TextHeight(line.empty() ? "Wg" : line);
    }
}

// Hears every widget's mouse and key events before they are handled.
struct THintManager::Filter : QObject {
    explicit Filter(THintManager* m) : manager(m) {}
    THintManager* manager;
    const QEvent* lastMove = nullptr;
    QPointF lastGlobal;

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ToolTip:
            return true;
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            // An ignored move travels on to the parents; the deepest control decides.
            if (event == lastMove && me->globalPosition() == lastGlobal) return false;
            lastMove = event;
            lastGlobal = me->globalPosition();
            auto* w = qobject_cast<QWidget*>(watched);
            TControl* c = w ? ControlFromWidget(w) : nullptr;
            if (c == manager->window_) return false;
            if (!c || !c->Widget()) {
                manager->CancelHint();
                return false;
            }
            const QPoint p = c->Widget()->mapFromGlobal(me->globalPosition()).toPoint();
            manager->MouseMoved(c, {p.x(), p.y()});
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            manager->CancelHint();
            return false;
        case QEvent::Leave:
            if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow())
                manager->CancelHint();
            return false;
        default:
            return false;
        }
    }
};

THintManager::THintManager(TComponent* owner) : TComponent(owner) {
    Application();
    filter_ = new Filter(this);
    qApp->installEventFilter(filter_);
}

THintManager::~THintManager() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(filter_);
    delete filter_;
    showTimer_.Stop();
    hideTimer_.Stop();
    SetControl(nullptr);
    for (auto& [control, query] : queries_)
        const_cast<TComponent*>(control)->RemoveFreeNotification(this);
    delete window_;
    if (current() == this) current() = nullptr;
}

void THintManager::SetShowHint(bool value) {
    showHint_ = value;
    if (!value) CancelHint();
}

void THintManager::SetHintQuery(TControl* control, THintQuery query) {
    if (!control) return;
    if (!query) {
        if (queries_.erase(control) && control != control_) control->RemoveFreeNotification(this);
        return;
    }
    if (queries_.insert_or_assign(control, std::move(query)).second)
        control->FreeNotification(this);
}

TControl* THintManager::HintTarget(TControl* control) const {
    // The nearest control up the parents that shows hints answers for the point.
    for (TControl* c = control; c; c = c->Parent())
        if (c->ShowHint()) return c;
    return nullptr;
}

void THintManager::SetControl(TControl* control) {
    if (control_ == control) return;
    if (control_ && !queries_.count(control_)) control_->RemoveFreeNotification(this);
    control_ = control;
    if (control_) control_->FreeNotification(this);
}

void THintManager::MouseMoved(TControl* control, TPoint pos) {
    if (!showHint_) return;
    TControl* target = HintTarget(control);
    if (target && target != control) pos = target->ScreenToClient(control->ClientToScreen(pos));
    if (!target) {
        active_ = false;
        HideWindow();
        showTimer_.Stop();
        SetControl(nullptr);
        return;
    }
    pos_ = pos;
    const bool samePlace = target == control_ && (!rectKnown_ || inside(cursorRect_, pos));
    if (samePlace) return;
    // A new place: the hint shown so far goes, the next follows quickly when one was showing.
    if (HintShowing()) active_ = true;
    HideWindow();
    SetControl(target);
    rectKnown_ = false;
    showTimer_.Start(active_ ? shortPause_ : Application()->HintPause(), false,
                     [this] { ShowNow(); });
}

void THintManager::CancelHint() {
    showTimer_.Stop();
    HideWindow();
    active_ = false;
    // Waiting for the mouse to move to a new place before the next hint.
    rectKnown_ = control_ != nullptr;
    if (control_) cursorRect_ = Rect(pos_.X, pos_.Y, pos_.X + 1, pos_.Y + 1);
}

void THintManager::ActivateHint(TControl* control, TPoint pos) {
    TControl* target = HintTarget(control);
    if (!showHint_ || !target) return;
    if (target != control) pos = target->ScreenToClient(control->ClientToScreen(pos));
    SetControl(target);
    pos_ = pos;
    ShowNow();
}

void THintManager::ShowNow() {
    showTimer_.Stop();
    if (!control_) return;
    THintInfo info;
    info.HintControl = control_;
    info.CursorPos = pos_;
    info.CursorRect = Rect(0, 0, control_->Width(), control_->Height());
    info.HintStr = GetShortHint(control_->Hint());
    auto q = queries_.find(control_);
    if (q != queries_.end()) {
        THintQuery query = q->second; // the query may remove itself
        query(info);
    }
    if (!control_) return; // the query freed it
    cursorRect_ = info.CursorRect;
    rectKnown_ = true;
    if (info.HintStr.empty()) {
        HideWindow();
        return;
    }
    if (!window_) window_ = new THintWindow(nullptr);
    const TPoint at = control_->ClientToScreen(pos_);
    window_->ActivateHint({at.X, at.Y + kCursorHeight}, info.HintStr);
    active_ = true;
    hideTimer_.Start(info.HideTimeout > 0 ? info.HideTimeout : hidePause_, false,
                     [this] { HideWindow(); });
}

void THintManager::HideWindow() {
    hideTimer_.Stop();
    if (window_ && window_->Visible()) window_->ReleaseHint();
}

bool THintManager::HintShowing() const {
    return window_ && window_->Visible();
}

void THintManager::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    queries_.erase(component);
    if (component == control_) {
        control_ = nullptr;
        showTimer_.Stop();
        HideWindow();
        rectKnown_ = false;
    }
}

THintManager& Hints() {
    THintManager*& m = current();
    if (!m) m = new THintManager(Application());
    return *m;
}
