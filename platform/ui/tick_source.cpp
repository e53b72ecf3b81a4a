#include "platform/ui/tick_source.h"

#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <unordered_map>

#include "platform/ui/application.h"

namespace {

class LoopTickSource : public TTickSource {
public:
    std::uint32_t Now() const override {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    TTickTimerId Start(int intervalMs, bool repeat, std::function<void()> fn) override {
        Application();
        const TTickTimerId id = NextId();
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(!repeat);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(),
                         [this, id, repeat, fn = std::move(fn)] {
                             // A one-shot timer is finished before its call, so the call may
                             // start another; the handler copy outlives the timer.
                             auto call = fn;
                             if (!repeat) Cancel(id);
                             SafeCall(call);
                         });
        timer->start(std::max(1, intervalMs));
        timers_.emplace(id, std::move(timer));
        return id;
    }

    void Cancel(TTickTimerId id) override {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        // It may be running its own timeout: delete it from the loop.
        QTimer* timer = it->second.release();
        timers_.erase(it);
        timer->stop();
        timer->deleteLater();
    }

    bool Active(TTickTimerId id) const override { return timers_.count(id) != 0; }

private:
    std::unordered_map<TTickTimerId, std::unique_ptr<QTimer>> timers_;
};

TTickSource*& installed() {
    static TTickSource* source = nullptr;
    return source;
}

} // namespace

TTickSource& TickSource() {
    TTickSource*& s = installed();
    if (!s) {
        // Never destroyed: timers may be cancelled from other static destructors.
        static LoopTickSource* loop = new LoopTickSource;
        s = loop;
    }
    return *s;
}

TTickTimerId TTickSource::NextId() {
    static std::atomic<TTickTimerId> next{1};
    return next++;
}

void TTickTimer::Start(int intervalMs, bool repeat, std::function<void()> fn) {
    Stop();
    TTickSource& s = TickSource();
    id_ = s.Start(intervalMs, repeat, std::move(fn));
    source_ = s.Life();
}

void TTickTimer::Stop() {
    if (auto s = source_.lock()) (*s)->Cancel(id_);
    source_.reset();
    id_ = 0;
}

bool TTickTimer::Active() const {
    auto s = source_.lock();
    return s && (*s)->Active(id_);
}

TTickTimerId TTestClock::Start(int intervalMs, bool repeat, std::function<void()> fn) {
    const int interval = std::max(1, intervalMs);
    const TTickTimerId id = NextId();
    timers_.emplace(id, Timer{now_ + static_cast<std::uint64_t>(interval), interval, repeat,
                              std::make_shared<std::function<void()>>(std::move(fn))});
    return id;
}

void TTestClock::Cancel(TTickTimerId id) {
    timers_.erase(id);
}

void TTestClock::Advance(int ms) {
    const std::uint64_t target = now_ + static_cast<std::uint64_t>(std::max(0, ms));
    for (;;) {
        // Calls may start and cancel timers, so the earliest is looked up afresh each time.
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target &&
                (due == timers_.end() || it->second.due < due->second.due))
                due = it;
        if (due == timers_.end()) break;
        now_ = std::max(now_, due->second.due);
        auto fn = due->second.fn;
        if (due->second.repeat)
            due->second.due += static_cast<std::uint64_t>(due->second.interval);
        else
            timers_.erase(due);
        SafeCall(*fn);
    }
    now_ = target;
}

TScopedTickSource::TScopedTickSource(std::unique_ptr<TTickSource> source)
    : source_(std::move(source)), previous_(&TickSource()) {
    installed() = source_.get();
}

TScopedTickSource::~TScopedTickSource() {
    installed() = previous_;
}

TScopedTestClock::TScopedTestClock(std::uint32_t start)
    : clock_(new TTestClock(start)), scope_(std::unique_ptr<TTickSource>(clock_)) {}
