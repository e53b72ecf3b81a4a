#pragma once
// Private to platform/ui: the state behind TControl and the toolkit plumbing that turns widget
// events into the control's events.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/ui/control.h"

class QEvent;
class QImage;

struct TControl::Impl {
    QPointer<QWidget> widget;
    QObject* filter = nullptr;
    int left = 0, top = 0, width = 0, height = 0;
    TAlign align = alNone;
    TAnchors anchors = kDefaultAnchors;
    // Distances to the parent's client right and bottom edges, for akRight / akBottom.
    int rightGap = 0, bottomGap = 0;
    bool rulesValid = false;
    std::unique_ptr<TSizeConstraints> constraints;
    bool visible = true;
    bool enabled = true;
    std::string text;
    std::unique_ptr<TFont> font;
    bool parentFont = true;
    TColor color = clBtnFace;
    bool colorSet = false;
    bool parentColor = false;
    std::string hint;
    bool showHint = false;
    TCursor cursor = crDefault;
    bool leftPressed = false;
    bool applyingFont = false;
};

// A widget the control paints itself.
class PaintWidget : public QWidget {
public:
    std::function<void(QPainter&)> onPaint;

protected:
    void paintEvent(QPaintEvent*) override {
        if (!onPaint) return;
        QPainter p(this);
        onPaint(p);
    }
};

// Routes a widget's (and its inner widgets') events to a control.
class ControlEventFilter : public QObject {
public:
    explicit ControlEventFilter(TControl* control) : control_(control) {}
    // The control is going away: stop calling it.
    void Detach() { control_ = nullptr; }
    // Inner widgets of compound controls (a list's viewport, a combo box's edit).
    void Watch(QWidget* inner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TControl* control_;
    bool forwarding_ = false;
};

// The control a widget (or its nearest ancestor) belongs to.
inline constexpr const char* kControlProperty = "lumetraControl";
TControl* ControlFromWidget(const QWidget* widget);

QFont ToQFont(const TFontData& font);
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
Qt::CursorShape ToQtCursor(TCursor cursor);
TShiftState ShiftFromToolkit(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
TRasterImage ToRasterImage(const QImage& image);
QImage ToQImage(const TRasterImage& image);
