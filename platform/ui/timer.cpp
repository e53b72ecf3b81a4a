#include "platform/ui/timer.h"

#include <QTimer>

#include "platform/core/properties.h"
#include "platform/ui/application.h"

struct TTimer::Impl {
    QTimer timer;
};

void TTimer::RegisterProperties(TClassBuilder<TTimer>& b) {
    b.Add("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).Default(1);
    b.Add("Interval", &TTimer::Interval, &TTimer::SetInterval).Default(1000);
    b.AddMethod("OnTimer", "TNotifyEvent");
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    Application();
    d_ = std::make_unique<Impl>();
    QObject::connect(&d_->timer, &QTimer::timeout, &d_->timer, [this] {
        if (onTimer_) SafeCall([this] { onTimer_(this); });
    });
}

TTimer::~TTimer() {
    d_->timer.stop();
}

void TTimer::SetEnabled(bool value) {
    enabled_ = value;
    Update();
}

void TTimer::SetInterval(int value) {
    interval_ = std::max(0, value);
    Update();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    Update();
}

void TTimer::Update() {
    // Restarting on every change, as the class library does.
    d_->timer.stop();
    if (enabled_ && interval_ > 0 && onTimer_) d_->timer.start(interval_);
}
