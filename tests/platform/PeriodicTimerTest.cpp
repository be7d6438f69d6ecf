#include "platform/PeriodicTimer.h"
#include "platform/Clock.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace telvo {
namespace {

using namespace std::chrono_literals;

TEST(PeriodicTimer, RefusesWhatItCannotRunAndStopWaitsForTheRunningCallback) {
    PeriodicTimer t;
    EXPECT_FALSE(t.Start(0, [] {}));
    EXPECT_FALSE(t.Start(1'000'000, nullptr));
    std::atomic<bool> inside{false};
    ASSERT_TRUE(t.Start(1'000'000, [&] {
        inside = true;
        std::this_thread::sleep_for(30ms); // still busy when Stop is called
        inside = false;
    }));
    EXPECT_FALSE(t.Start(1'000'000, [] {})) << "a started timer cannot be started again";
    ASSERT_TRUE(Eventually([&] { return inside.load(); }));
    t.Stop();
    EXPECT_FALSE(inside.load()) << "Stop returned while a callback was running";
}

// Time moves only when the timer sleeps, each sleep waking late by a fixed amount, or when a
// callback adds the time it worked. Only the timer's thread moves it while the timer runs.
struct SteppedClock : TimerClock {
    explicit SteppedClock(std::int64_t lateNs = 0) : late(lateNs) {}
    std::int64_t NowNs() override { return now; }
    void SleepUntil(std::int64_t deadlineNs, const std::atomic<bool>& stop) override {
        if (!stop && now < deadlineNs) {
            now = deadlineNs + late;
        }
    }

    const std::int64_t late;
    std::atomic<std::int64_t> now{1'000'000'000};
};

// Runs a timer on the clock until its callback has been called `calls` times; returns when each
// call came, counted from the start. Every call but the last does the work.
std::vector<std::int64_t>
CallTimes(TimerClock& clock, std::int64_t period, std::size_t calls,
          std::function<void(const PeriodicTimer&, std::size_t)> work = nullptr) {
    PeriodicTimer timer(clock);
    std::vector<std::int64_t> at; // the timer's thread alone until Stop has joined it
    const std::int64_t start = clock.NowNs();
    EXPECT_TRUE(timer.Start(period, [&] {
        at.push_back(clock.NowNs() - start);
        if (at.size() == calls) {
            timer.Stop();
        } else if (work) {
            work(timer, at.size());
        }
    }));
    EXPECT_TRUE(Eventually([&] { return !timer.Running(); }));
    timer.Stop();
    return at;
}

TEST(PeriodicTimer, TicksOnExactMultiplesOfAFractionalPeriodHoweverLateEachWakeUp) {
    // 1/120 s is 8.333 ms: a whole-millisecond period would give 125 ticks a second, and
    // sleeping a period from each late wake-up would drift.
    constexpr std::int64_t period = 1'000'000'000 / 120, late = 1'000'000;
    SteppedClock clock(late);
    std::vector<std::int64_t> expected;
    for (std::int64_t k = 1; k <= 120; ++k) {
        expected.push_back(k * period + late);
    }
    EXPECT_EQ(CallTimes(clock, period, 120), expected);
}

// The real clock: a loaded machine may call late, never early; ClockMs reads the same clock.
TEST(PeriodicTimer, MonotonicClockCallsNoTickBeforeItsDeadline) {
    constexpr std::int64_t period = 1'000'000'000 / 120;
    const auto at = CallTimes(MonotonicTimerClock(), period, 12);
    for (std::size_t k = 0; k < at.size(); ++k) {
        EXPECT_GE(at[k], static_cast<std::int64_t>(k + 1) * period) << k;
    }
    const auto first = static_cast<std::uint32_t>(MonotonicNs() / 1'000'000);
    const std::uint32_t ms = ClockMs();
    const auto last = static_cast<std::uint32_t>(MonotonicNs() / 1'000'000);
    EXPECT_LE(ms - first, last - first); // unsigned: right across a wrap too
}

// A callback half a period late loses no tick; five periods late, the four wholly missed ticks
// are dropped and the overdue one is called at once, then the grid goes on.
TEST(PeriodicTimer, OverrunsLoseNoTickUnderAPeriodAndNeverBurst) {
    constexpr std::int64_t period = 20'000'000;
    SteppedClock clock;
    // The work of calls 1 to 4, and the missed ticks each of them sees.
    const std::int64_t work[] = {0, period * 3 / 2, 0, period * 52 / 10, 0};
    std::vector<std::uint64_t> missed;
    const auto at = CallTimes(clock, period, 5, [&](const PeriodicTimer& t, std::size_t call) {
        missed.push_back(t.MissedTicks());
        clock.now += work[call];
    });
    EXPECT_EQ(at, (std::vector<std::int64_t>{period, period * 5 / 2, 3 * period,
                                             3 * period + period * 52 / 10, 9 * period}));
    EXPECT_EQ(missed, (std::vector<std::uint64_t>{0, 0, 0, 4}));
}

// Playback ends by killing its own timer, and a timer's callback may start the next one:
// neither may join the thread it runs on. Unknown ids are ignored.
TEST(TimerRegistry, KillFromOwnCallbackThenStartAnotherThere) {
    TimerRegistry timers;
    EXPECT_EQ(timers.Start(0, [] {}), 0u);
    std::atomic<TimerId> first{0}, second{0};
    std::atomic<int> firstCalls{0}, secondCalls{0};
    first = timers.Start(1'000'000, [&] {
        while (first.load() == 0) {
            std::this_thread::yield(); // the first tick may come before Start has returned
        }
        if (++firstCalls == 1) {
            timers.Kill(first);
            second = timers.Start(1'000'000, [&] { ++secondCalls; });
        }
    });
    ASSERT_TRUE(Eventually([&] { return secondCalls.load() >= 3; }));
    EXPECT_EQ(firstCalls.load(), 1);
    for (TimerId id : {TimerId{0}, first + second + 100, first.load()}) {
        timers.Kill(id);
    }
    EXPECT_EQ(timers.Count(), 1u);
    timers.Kill(second); // from another thread than its own
    EXPECT_EQ(timers.Count(), 0u);
}

} // namespace
} // namespace telvo
