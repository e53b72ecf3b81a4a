#pragma once
// TTimer: fires OnTimer every Interval milliseconds from the event loop while Enabled.

#include <memory>

#include "platform/core/component.h"

template <class C> class TClassBuilder;

class TTimer : public TComponent {
    LUMETRA_CLASS(TTimer, TComponent)
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    static void RegisterProperties(TClassBuilder<TTimer>& b);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Milliseconds; 0 stops the timer.
    int Interval() const { return interval_; }
    void SetInterval(int value);
    // Setting the handler starts the timer when it is enabled.
    void SetOnTimer(TNotifyEvent handler);
    const TNotifyEvent& OnTimer() const { return onTimer_; }

private:
    void Update();
    struct Impl;
    std::unique_ptr<Impl> d_;
    bool enabled_ = true;
    int interval_ = 1000;
    TNotifyEvent onTimer_;
};
