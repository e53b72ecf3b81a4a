#pragma once
// The one clock of the user interface: the tick count, timers and delayed calls all read it,
// so that tests step time instead of waiting. The installed source is the toolkit's event loop;
// TScopedTestClock puts a clock in its place that moves only when told to.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

using TTickTimerId = std::uint64_t;

class TTickSource {
public:
    TTickSource() : life_(std::make_shared<TTickSource*>(this)) {}
    virtual ~TTickSource() = default;
    TTickSource(const TTickSource&) = delete;
    TTickSource& operator=(const TTickSource&) = delete;
    // Milliseconds since an arbitrary start; wraps at 2^32 like the window system's count.
    virtual std::uint32_t Now() const = 0;
    // Calls fn from the event loop after intervalMs (at least 1), then again every intervalMs
    // when repeating, until cancelled. Exceptions from fn go to the application's handler.
    virtual TTickTimerId Start(int intervalMs, bool repeat, std::function<void()> fn) = 0;
    // Unknown or finished ids are ignored; a timer may cancel itself from its own call.
    virtual void Cancel(TTickTimerId id) = 0;
    // Started and not yet finished or cancelled.
    virtual bool Active(TTickTimerId id) const = 0;
    // Lets a timer handle outlive the source that started it.
    std::weak_ptr<TTickSource*> Life() const { return life_; }

protected:
    // Ids are unique across sources, so a stale id never names another source's timer.
    static TTickTimerId NextId();

private:
    std::shared_ptr<TTickSource*> life_;
};

// The installed source (the event loop's unless a scoped source replaced it).
TTickSource& TickSource();
inline std::uint32_t TickCount() {
    return TickSource().Now();
}

// A timer owned by its holder: stopped when restarted, stopped or destroyed, on the source
// that started it (nothing when that source is gone).
class TTickTimer {
public:
    TTickTimer() = default;
    ~TTickTimer() { Stop(); }
    TTickTimer(const TTickTimer&) = delete;
    TTickTimer& operator=(const TTickTimer&) = delete;
    void Start(int intervalMs, bool repeat, std::function<void()> fn);
    void Stop();
    bool Active() const;

private:
    std::weak_ptr<TTickSource*> source_;
    TTickTimerId id_ = 0;
};

// A clock that stands still until Advance. Due calls run inside Advance, earliest first (in
// starting order at the same tick), each seeing Now() at its own due time.
class TTestClock : public TTickSource {
public:
    explicit TTestClock(std::uint32_t start = 0) : now_(start) {}
    std::uint32_t Now() const override { return static_cast<std::uint32_t>(now_); }
    TTickTimerId Start(int intervalMs, bool repeat, std::function<void()> fn) override;
    void Cancel(TTickTimerId id) override;
    bool Active(TTickTimerId id) const override { return timers_.count(id) != 0; }
    void Advance(int ms);
    // Timers still waiting.
    int Pending() const { return static_cast<int>(timers_.size()); }

private:
    struct Timer {
        std::uint64_t due;
        int interval;
        bool repeat;
        std::shared_ptr<std::function<void()>> fn;
    };
    std::uint64_t now_;
    std::map<TTickTimerId, Timer> timers_;
};

// Installs a source for its lifetime and puts the previous one back.
class TScopedTickSource {
public:
    explicit TScopedTickSource(std::unique_ptr<TTickSource> source);
    ~TScopedTickSource();
    TScopedTickSource(const TScopedTickSource&) = delete;
    TScopedTickSource& operator=(const TScopedTickSource&) = delete;
    TTickSource& Source() const { return *source_; }

private:
    std::unique_ptr<TTickSource> source_;
    TTickSource* previous_;
};

// The usual test shape: a test clock installed for the scope.
class TScopedTestClock {
public:
    explicit TScopedTestClock(std::uint32_t start = 0);
    TTestClock& Clock() const { return *clock_; }
    void Advance(int ms) { clock_->Advance(ms); }
    std::uint32_t Now() const { return clock_->Now(); }

private:
    TTestClock* clock_;
    TScopedTickSource scope_;
};
