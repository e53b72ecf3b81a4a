// The tick source: a stepped test clock runs timers and delayed calls in time order, timers are
// owned by their handles, and TTimer follows the installed source.

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/tick_source.h"
#include "platform/ui/timer.h"
#include "ui_test_support.h"

namespace {

class TickSourceTest : public UiTest {};

TEST_F(TickSourceTest, TestClockRunsDueCallsInTimeOrderAtTheirOwnTicks) {
    TScopedTestClock clock(1000);
    EXPECT_EQ(TickCount(), 1000u);
    std::vector<std::string> log;
    auto note = [&](const char* what) { log.push_back(what + std::to_string(TickCount())); };
    TTickTimer every3, once5, same5;
    every3.Start(3, true, [&] { note("r@"); });
    once5.Start(5, false, [&] { note("a@"); });
    same5.Start(5, false, [&] { note("b@"); });
    clock.Advance(4);
    EXPECT_EQ(log, (std::vector<std::string>{"r@1003"}));
    clock.Advance(5);
    EXPECT_EQ(log, (std::vector<std::string>{"r@1003", "a@1005", "b@1005", "r@1006", "r@1009"}));
    EXPECT_EQ(TickCount(), 1009u);
    EXPECT_FALSE(once5.Active());
    EXPECT_TRUE(every3.Active());
    every3.Stop();
    clock.Advance(100);
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(clock.Clock().Pending(), 0);
}

TEST_F(TickSourceTest, TheCountWrapsButTimersKeepTheirOrder) {
    TScopedTestClock clock(0xFFFFFFF0u);
    std::vector<std::uint32_t> fired;
    TTickTimer every10;
    every10.Start(10, true, [&] { fired.push_back(TickCount()); });
    clock.Advance(35);
    EXPECT_EQ(fired, (std::vector<std::uint32_t>{0xFFFFFFFAu, 0x4u, 0xEu}));
    // Differences of wrapped counts still measure time, as callers compute them.
    EXPECT_EQ(TickCount() - 0xFFFFFFF0u, 35u);
}

TEST_F(TickSourceTest, CallsMayStartAndStopTimersAndFailuresReachTheHandler) {
    TScopedTestClock clock;
    std::vector<std::uint32_t> fired;
    TTickTimer chain, victim, failing;
    // A call starting another within the same step runs it in that step, at its own due time.
    chain.Start(2, false, [&] {
        fired.push_back(TickCount());
        chain.Start(2, false, [&] { fired.push_back(TickCount()); });
    });
    victim.Start(3, false, [&] { fired.push_back(999); });
    TTickTimer killer;
    killer.Start(1, false, [&] { victim.Stop(); });
    std::string error;
    Application()->OnException = [&](TObject*, const std::exception& e) { error = e.what(); };
    failing.Start(6, true, [&] { throw std::runtime_error("tick failed"); });
    clock.Advance(6);
    EXPECT_EQ(fired, (std::vector<std::uint32_t>{2, 4}));
    EXPECT_EQ(error, "tick failed");
    EXPECT_TRUE(failing.Active()); // a failing repeating timer keeps going, as a loop timer does
}

TEST_F(TickSourceTest, HandlesOutliveTheirSourceAndCancelOnlyTheirOwnTimer) {
    TTickTimer outer;
    bool outerFired = false;
    {
        TScopedTestClock first;
        TTickTimer stale;
        stale.Start(10, false, [] {});
        {
            TScopedTestClock second;
            // Starting on the second clock: stopping it must not touch the first clock's timer.
            outer.Start(10, false, [&] { outerFired = true; });
            stale.Stop();
            EXPECT_EQ(first.Clock().Pending(), 0);
            EXPECT_EQ(second.Clock().Pending(), 1);
            second.Advance(10);
            EXPECT_TRUE(outerFired);
            outer.Start(10, false, [] {});
        }
        // The second clock is gone: the handle answers and stops without touching it.
        EXPECT_FALSE(outer.Active());
        outer.Stop();
    }
}

TEST_F(TickSourceTest, TimerFollowsTheInstalledClock) {
    TScopedTestClock clock;
    auto* timer = new TTimer(nullptr);
    timer->SetInterval(50);
    int ticks = 0;
    timer->SetOnTimer([&](TObject*) { ++ticks; });
    clock.Advance(149);
    EXPECT_EQ(ticks, 2);
    // A change restarts the count.
    timer->SetInterval(100);
    clock.Advance(99);
    EXPECT_EQ(ticks, 2);
    clock.Advance(1);
    EXPECT_EQ(ticks, 3);
    timer->SetEnabled(false);
    clock.Advance(500);
    EXPECT_EQ(ticks, 3);
    // A handler may free its own timer.
    timer->SetEnabled(true);
    timer->SetOnTimer([&](TObject*) {
        ++ticks;
        delete timer;
        timer = nullptr;
    });
    clock.Advance(1000);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(clock.Clock().Pending(), 0);
}

TEST_F(TickSourceTest, LoopSourceFiresFromTheEventLoop) {
    TTickTimer once;
    const std::uint32_t start = TickCount();
    bool fired = false;
    once.Start(5, false, [&] { fired = true; });
    while (!fired)
        Application()->HandleMessage();
    EXPECT_GE(TickCount() - start, 4u);
    EXPECT_FALSE(once.Active());
}

} // namespace
