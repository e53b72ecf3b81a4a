#pragma once
// Shared by the platform/ui tests: a fixture that records every box and dialog, and raw input
// sent straight to widgets (no window manager involved).

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/control.h"
#include "platform/ui/hints.h"
#include "platform/ui/message_reporter.h"

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->ResetTerminated();
        auto r = std::make_unique<TRecordingReporter>();
        reporter = r.get();
        scope = std::make_unique<TScopedReporter>(std::move(r));
    }
    void TearDown() override {
        // A hint waiting on the real clock must not show during a later test.
        Hints().CancelHint();
        Application()->OnException = nullptr;
        Application()->OnIdle = nullptr;
        // Run what forms queued (releases) before the next test.
        Application()->ProcessMessages();
        scope.reset();
    }
    TRecordingReporter* reporter = nullptr;
    std::unique_ptr<TScopedReporter> scope;
};

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint p,
                      Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void ClickAt(TControl* c, QPoint p = {3, 3}) {
    SendMouse(c->Widget(), QEvent::MouseButtonPress, p);
    SendMouse(c->Widget(), QEvent::MouseButtonRelease, p);
}

inline void SendKey(QWidget* w, int key, const QString& text = {},
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}

// Every event of interest as a line of text, in order.
struct EventLog {
    std::vector<std::string> lines;
    void operator()(const std::string& s) { lines.push_back(s); }
};
