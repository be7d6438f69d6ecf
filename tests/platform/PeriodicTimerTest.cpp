#include "platform/PeriodicTimer.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Waits up to a generous limit for a condition another thread makes true.
template <class Pred> bool Eventually(Pred pred, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
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
    t.Stop(); // twice is harmless
}

TEST(PeriodicTimer, StopFromItsOwnCallbackEndsAfterThatCallback) {
    PeriodicTimer t;
    std::atomic<int> calls{0};
    std::atomic<bool> returned{false};
    ASSERT_TRUE(t.Start(1'000'000, [&] {
        ++calls;
        t.Stop(); // must not join itself
        returned = true;
    }));
    ASSERT_TRUE(Eventually([&] { return returned.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_FALSE(t.Running());
    t.Stop(); // from this thread now: joins the finished thread
}

TEST(PeriodicTimer, StopFromAnotherThreadWaitsForTheRunningCallback) {
    PeriodicTimer t;
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{false};
    std::atomic<int> after{0};
    ASSERT_TRUE(t.Start(1'000'000, [&] {
        after += stopped ? 1 : 0;
        running = true;
        std::this_thread::sleep_for(30ms); // still busy when Stop is called
        running = false;
    }));
    ASSERT_TRUE(Eventually([&] { return running.load(); }));
    t.Stop();
    stopped = true;
    EXPECT_FALSE(running.load()) << "Stop returned while a callback was running";
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(after.load(), 0) << "a callback ran after Stop returned";
}

TEST(PeriodicTimer, TicksOnExactMultiplesOfAFractionalPeriod) {
    // 1/120 s is 8.333 ms: a whole-millisecond period would give 125 ticks a second.
    constexpr std::int64_t period = 1'000'000'000 / 120;
    std::atomic<int> ticks{0};
    PeriodicTimer t;
    const std::int64_t start = MonotonicNs();
    ASSERT_TRUE(t.Start(period, [&] { ++ticks; }));
    std::this_thread::sleep_for(1500ms);
    const int counted = ticks.load();
    const std::int64_t elapsed = MonotonicNs() - start;
    t.Stop();
    const double expected = static_cast<double>(elapsed) / static_cast<double>(period);
    // Generous: a loaded machine may skip ticks, but a truncated period would be 4 % over.
    EXPECT_LE(counted, expected + 1.0);
    EXPECT_GE(counted, expected * 0.8);
}

TEST(PeriodicTimer, OverrunsLoseNoTickUnderAPeriodAndNeverBurst) {
    constexpr std::int64_t period = 10'000'000;
    std::vector<std::int64_t> times;
    std::uint64_t missedAfterShortOverrun = 99;
    std::mutex m;
    PeriodicTimer t;
    ASSERT_TRUE(t.Start(period, [&] {
        std::lock_guard lock(m);
        times.push_back(MonotonicNs());
        if (times.size() == 1) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(period * 3 / 2));
        } else if (times.size() == 2) {
            missedAfterShortOverrun = t.MissedTicks();
        } else if (times.size() == 3) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(period * 52 / 10));
        } else if (times.size() == 5) {
            t.Stop();
        }
    }));
    ASSERT_TRUE(Eventually([&] { return !t.Running(); }));
    t.Stop();
    std::lock_guard lock(m);
    ASSERT_EQ(times.size(), 5u);
    // Half a period late: the tick is still delivered.
    EXPECT_EQ(missedAfterShortOverrun, 0u);
    // Five periods late: the four ticks wholly missed are dropped, one overdue tick follows
    // at once, and then the grid again, not a catch-up run.
    EXPECT_GE(t.MissedTicks(), 4u);
    EXPECT_GE(times[4] - times[3], period / 2);
}

TEST(TimerRegistry, IdsAreNonZeroAndKillIgnoresUnknownIds) {
    TimerRegistry timers;
    EXPECT_EQ(timers.Start(0, [] {}), 0u);
    const TimerId a = timers.Start(1'000'000, [] {});
    const TimerId b = timers.Start(1'000'000, [] {});
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    timers.Kill(0);
    timers.Kill(a + b + 100);
    timers.Kill(a);
    timers.Kill(a);
    EXPECT_EQ(timers.Count(), 1u); // b is stopped by the registry's destructor
}

TEST(TimerRegistry, KillFromOwnCallbackThenRestartFromAnotherCallback) {
    // Playback ends by killing its own timer; a later Play starts a fresh one. A timer whose
    // callback starts another timer must not be joined by it.
    TimerRegistry timers;
    std::atomic<TimerId> first{0};
    std::atomic<TimerId> second{0};
    std::atomic<int> secondCalls{0};
    std::atomic<int> firstCalls{0};
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
    const int seen = secondCalls.load();
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(secondCalls.load(), seen);
}

TEST(Clock, MillisecondsAdvanceWithTheMonotonicClock) {
    const std::uint32_t a = ClockMs();
    std::this_thread::sleep_for(50ms);
    const std::uint32_t elapsed = ClockMs() - a; // unsigned: right across a wrap too
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}

} // namespace
} // namespace telvo
