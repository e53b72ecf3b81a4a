#include "platform/ui/test_input.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include "platform/ui/control.h"
#include "platform/ui/control_p.h"

namespace {

Qt::KeyboardModifiers modifiersOf(TShiftState shift) {
    Qt::KeyboardModifiers m;
    if (shift & ShiftBit(ssShift)) m |= Qt::ShiftModifier;
    if (shift & ShiftBit(ssCtrl)) m |= Qt::ControlModifier;
    if (shift & ShiftBit(ssAlt)) m |= Qt::AltModifier;
    return m;
}

// The toolkit key a virtual-key code stands for: the first key that maps back to it.
int toolkitKey(std::uint16_t vk) {
    static const int candidates[] = {
        Qt::Key_Backspace, Qt::Key_Tab,     Qt::Key_Return,    Qt::Key_Shift,  Qt::Key_Control,
        Qt::Key_Alt,       Qt::Key_Pause,   Qt::Key_Escape,    Qt::Key_Space,  Qt::Key_PageUp,
        Qt::Key_PageDown,  Qt::Key_End,     Qt::Key_Home,      Qt::Key_Left,   Qt::Key_Up,
        Qt::Key_Right,     Qt::Key_Down,    Qt::Key_Insert,    Qt::Key_Delete, Qt::Key_Help,
        Qt::Key_CapsLock,  Qt::Key_NumLock, Qt::Key_ScrollLock};
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
    if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + (vk - VK_F1);
    for (int k : candidates)
        if (VirtualKeyFromToolkit(k) == vk) return k;
    return Qt::Key_unknown;
}

QString keyText(std::uint16_t vk, TShiftState shift) {
    if (shift & (ShiftBit(ssCtrl) | ShiftBit(ssAlt))) return {};
    if (vk >= 'A' && vk <= 'Z')
        return QString(QChar(shift & ShiftBit(ssShift) ? vk : vk - 'A' + 'a'));
    if (vk >= '0' && vk <= '9') return QString(QChar(vk));
    switch (vk) {
    case VK_RETURN:
        return QStringLiteral("\r");
    case VK_TAB:
        return QStringLiteral("\t");
    case VK_BACK:
        return QStringLiteral("\b");
    case VK_SPACE:
        return QStringLiteral(" ");
    case VK_ESCAPE:
        return QString(QChar(0x1B));
    default:
        return {};
    }
}

void sendKey(QWidget* w, int key, Qt::KeyboardModifiers mods, const QString& text) {
    QPointer<QWidget> guard(w);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    if (!guard) return;
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}

} // namespace

void TypeText(TControl& control, std::u16string_view text) {
    QWidget* w = control.Widget();
    if (!w) return;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t n = 1;
        if (QChar::isHighSurrogate(text[i]) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1]))
            n = 2;
        const QString ch(reinterpret_cast<const QChar*>(text.data() + i), static_cast<int>(n));
        i += n - 1;
        const char16_t c = ch.at(0).unicode();
        int key = Qt::Key_unknown;
        if (c == u'\r' || c == u'\n')
            key = Qt::Key_Return;
        else if (c == u'\t')
            key = Qt::Key_Tab;
        else if (c == u' ')
            key = Qt::Key_Space;
        else if (c < 0x80 && QChar(c).isLetterOrNumber())
            key = QChar(c).toUpper().unicode();
        sendKey(w, key, Qt::NoModifier, ch);
    }
}

void CommitText(TControl& control, std::u16string_view text) {
    QWidget* w = control.Widget();
    if (!w) return;
    QInputMethodEvent e;
    e.setCommitString(
        QString(reinterpret_cast<const QChar*>(text.data()), static_cast<int>(text.size())));
    QApplication::sendEvent(w, &e);
}

void PressKey(TControl& control, std::uint16_t key, TShiftState shift) {
    if (QWidget* w = control.Widget())
        sendKey(w, toolkitKey(key), modifiersOf(shift), keyText(key, shift));
}

void MouseClick(TControl& control, int x, int y, TMouseButton button, TShiftState shift) {
    QWidget* w = control.Widget();
    if (!w) return;
    // Scroll areas take the mouse on their viewport.
    QWidget* target = w;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) target = area->viewport();
    const QPointF p = target->mapFrom(w, QPoint(x, y));
    const Qt::MouseButton b = button == mbRight    ? Qt::RightButton
                              : button == mbMiddle ? Qt::MiddleButton
                                                   : Qt::LeftButton;
    QPointer<QWidget> guard(target);
    QMouseEvent press(QEvent::MouseButtonPress, p, target->mapToGlobal(p), b, b,
                      modifiersOf(shift));
    QApplication::sendEvent(target, &press);
    if (!guard) return;
    QMouseEvent release(QEvent::MouseButtonRelease, p, target->mapToGlobal(p), b, Qt::NoButton,
                        modifiersOf(shift));
    QApplication::sendEvent(target, &release);
}
