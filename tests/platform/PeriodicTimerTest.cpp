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
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(PeriodicTimer, RefusesWhatItCannotRun) {
    PeriodicTimer t;
    EXPECT_FALSE(t.Start(0, [] {}));
    EXPECT_FALSE(t.Start(-5, [] {}));
    EXPECT_FALSE(t.Start(1'000'000, nullptr));
    EXPECT_FALSE(t.Running());
    ASSERT_TRUE(t.Start(1'000'000, [] {}));
    EXPECT_FALSE(t.Start(1'000'000, [] {})) << "a started timer cannot be started again";
    t.Stop();
    EXPECT_FALSE(t.Running());
    t.Stop();
}

TEST(PeriodicTimer, StopFromAnotherThreadWaitsForTheRunningCallback) {
    PeriodicTimer t;
    std::atomic<bool> inside{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> ranAfterStop{false};
    ASSERT_TRUE(t.Start(1'000'000, [&] {
        ranAfterStop = ranAfterStop || stopped;
        inside = true;
        std::this_thread::sleep_for(30ms); // still busy when Stop is called
        inside = false;
    }));
    ASSERT_TRUE(Eventually([&] { return inside.load(); }));
    t.Stop();
    stopped = true;
    EXPECT_FALSE(inside.load()) << "Stop returned while a callback was running";
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(ranAfterStop.load());
}

TEST(PeriodicTimer, TicksOnExactMultiplesOfAFractionalPeriod) {
    // 1/120 s is 8.333 ms: a whole-millisecond period would give 125 ticks a second.
    constexpr std::int64_t period = 1'000'000'000 / 120;
    std::atomic<int> ticks{0};
    PeriodicTimer t;
    const std::int64_t start = MonotonicNs();
    ASSERT_TRUE(t.Start(period, [&] { ++ticks; }));
    std::this_thread::sleep_for(1s);
    const int counted = ticks.load();
    const double expected = static_cast<double>(MonotonicNs() - start) / period;
    t.Stop();
    // A loaded machine may skip ticks, but a truncated period would be 4 % over.
    EXPECT_LE(counted, expected + 1.0);
    EXPECT_GE(counted, expected * 0.8);
}

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

TEST(TimerRegistry, IdsAreNonZeroAndKillIgnoresUnknownIds) {
    TimerRegistry timers;
    EXPECT_EQ(timers.Start(0, [] {}), 0u);
    const TimerId a = timers.Start(1'000'000, [] {});
    const TimerId b = timers.Start(1'000'000, [] {});
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    for (TimerId id : {TimerId{0}, a + b + 100, a, a}) {
        timers.Kill(id);
    }
    EXPECT_EQ(timers.Count(), 1u); // b is stopped by the registry's destructor
}

TEST(TimerRegistry, KillFromOwnCallbackThenStartAnotherThere) {
    // Playback ends by killing its own timer, and a timer's callback may start the next one:
    // neither may join the thread it runs on.
    TimerRegistry timers;
    std::atomic<TimerId> first{0};
    std::atomic<TimerId> second{0};
    std::atomic<int> firstCalls{0};
    std::atomic<int> secondCalls{0};
    first = timers.Start(1'000'000, [&] {
        if (++firstCalls == 1) {
            timers.Kill(first);
            second = timers.Start(1'000'000, [&] { ++secondCalls; });
        }
    });
    ASSERT_NE(first.load(), 0u);
    ASSERT_TRUE(Eventually([&] { return secondCalls.load() >= 3; }));
    EXPECT_EQ(firstCalls.load(), 1);
    EXPECT_EQ(timers.Count(), 1u);
    timers.Kill(second);
    EXPECT_EQ(timers.Count(), 0u);
}

TEST(Clock, MillisecondsFollowTheMonotonicClock) {
    const std::uint32_t ms = ClockMs();
    const std::int64_t ns = MonotonicNs();
    std::this_thread::sleep_for(50ms);
    const std::uint32_t elapsed = ClockMs() - ms; // unsigned: right across a wrap too
    EXPECT_NEAR(elapsed, (MonotonicNs() - ns) / 1'000'000, 2);
}

} // namespace
} // namespace telvo
