#include "platform/ui/timer.h"

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/tick_source.h"

struct TTimer::Impl {
    TTickTimer timer;
};

void TTimer::RegisterProperties(TClassBuilder<TTimer>& b) {
    b.Add("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).Default(1);
    b.Add("Interval", &TTimer::Interval, &TTimer::SetInterval).Default(1000);
    b.AddMethod("OnTimer", "TNotifyEvent");
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    Application();
    d_ = std::make_unique<Impl>();
}

TTimer::~TTimer() {
    d_->timer.Stop();
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
    d_->timer.Stop();
    if (enabled_ && interval_ > 0 && onTimer_)
        d_->timer.Start(interval_, true, [this] {
            // The handler may free the timer: copy it first.
            auto handler = onTimer_;
            if (handler) handler(this);
        });
}
