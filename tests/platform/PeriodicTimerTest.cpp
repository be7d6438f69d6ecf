#include "platform/PeriodicTimer.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Waits up to a generous limit for a condition another thread makes true.
template <class Pred> bool Eventually(Pred pred) {
    for (int i = 0; i < 5000 && !pred(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    return pred();
}

TEST(PeriodicTimer, RefusesWhatItCannotRunAndStopWaitsForTheRunningCallback) {
    PeriodicTimer t;
    EXPECT_FALSE(t.Start(0, [] {}));
    EXPECT_FALSE(t.Start(1'000'000, nullptr));
    std::atomic<bool> inside{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> ranAfterStop{false};
    ASSERT_TRUE(t.Start(1'000'000, [&] {
        ranAfterStop = ranAfterStop || stopped;
        inside = true;
        std::this_thread::sleep_for(30ms); // still busy when Stop is called
        inside = false;
    }));
    EXPECT_FALSE(t.Start(1'000'000, [] {})) << "a started timer cannot be started again";
    ASSERT_TRUE(Eventually([&] { return inside.load(); }));
    t.Stop();
    stopped = true;
    EXPECT_FALSE(inside.load()) << "Stop returned while a callback was running";
    EXPECT_FALSE(t.Running());
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(ranAfterStop.load());
    t.Stop();
}

// ClockMs is read along: the millisecond clock must follow the same monotonic clock.
TEST(PeriodicTimer, TicksOnExactMultiplesOfAFractionalPeriod) {
    // 1/120 s is 8.333 ms: a whole-millisecond period would give 125 ticks a second.
    constexpr std::int64_t period = 1'000'000'000 / 120;
    std::atomic<int> ticks{0};
    PeriodicTimer t;
    const std::uint32_t ms = ClockMs();
    const std::int64_t start = MonotonicNs();
    ASSERT_TRUE(t.Start(period, [&] { ++ticks; }));
    std::this_thread::sleep_for(1s);
    const int counted = ticks.load();
    const std::int64_t elapsed = MonotonicNs() - start;
    const std::uint32_t elapsedMs = ClockMs() - ms; // unsigned: right across a wrap too
    t.Stop();
    // A loaded machine may skip ticks, but a truncated period would be 4 % over.
    EXPECT_LE(counted, static_cast<double>(elapsed) / period + 1.0);
    EXPECT_GE(counted, static_cast<double>(elapsed) / period * 0.8);
    EXPECT_NEAR(elapsedMs, elapsed / 1'000'000, 2);
}

// The callback stops its own timer at the end, which must not join its own thread.
TEST(PeriodicTimer, OverrunsLoseNoTickUnderAPeriodAndNeverBurst) {
    constexpr std::int64_t period = 20'000'000;
    std::atomic<int> ticks{0};
    std::atomic<std::uint64_t> missedAfterShortOverrun{99};
    PeriodicTimer t;
    ASSERT_TRUE(t.Start(period, [&] {
        const int n = ++ticks;
        if (n == 1) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(period * 3 / 2));
        } else if (n == 2) {
            missedAfterShortOverrun = t.MissedTicks();
        } else if (n == 3) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(period * 52 / 10));
        } else {
            t.Stop();
        }
    }));
    ASSERT_TRUE(Eventually([&] { return !t.Running(); }));
    t.Stop();
    EXPECT_EQ(missedAfterShortOverrun.load(), 0u) << "half a period late, the tick is still due";
    // Five periods late: the four wholly missed ticks are dropped and the overdue one is
    // called, not a catch-up run of all five.
    EXPECT_EQ(t.MissedTicks(), 4u);
}

// Playback ends by killing its own timer, and a timer's callback may start the next one:
// neither may join the thread it runs on. Unknown ids are ignored.
TEST(TimerRegistry, KillFromOwnCallbackThenStartAnotherThere) {
    TimerRegistry timers;
    EXPECT_EQ(timers.Start(0, [] {}), 0u);
    std::atomic<TimerId> first{0};
    std::atomic<TimerId> second{0};
    std::atomic<int> firstCalls{0};
    std::atomic<int> secondCalls{0};
    first = timers.Start(1'000'000, [&] {
        while (first.load() == 0) {
            std::this_thread::yield(); // the first tick may come before Start has returned
        }
        if (++firstCalls == 1) {
            timers.Kill(first);
            second = timers.Start(1'000'000, [&] { ++secondCalls; });
        }
    });
    ASSERT_NE(first.load(), 0u);
    ASSERT_TRUE(Eventually([&] { return secondCalls.load() >= 3; }));
    EXPECT_EQ(firstCalls.load(), 1);
    for (TimerId id : {TimerId{0}, first + second + 100, first.load()}) {
        timers.Kill(id);
    }
    EXPECT_EQ(timers.Count(), 1u);
    timers.Kill(second);
    EXPECT_EQ(timers.Count(), 0u);
}

} // namespace
} // namespace telvo
