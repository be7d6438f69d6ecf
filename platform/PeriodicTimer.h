#pragma once

#include "platform/Platform.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace telvo {

// Where a timer's thread reads the time and waits. The real one is the monotonic clock; tests
// give a timer one whose time moves only when they say.
class TimerClock {
public:
    virtual ~TimerClock() = default;
    virtual std::int64_t NowNs() = 0;
    // Returns once NowNs() has reached the deadline (or passed it, as a late wake-up does), or
    // earlier when stop is set.
    virtual void SleepUntil(std::int64_t deadlineNs, const std::atomic<bool>& stop) = 0;
};
// MonotonicNs, with the last stretch before a deadline spun for punctual wake-ups.
TimerClock& MonotonicTimerClock();

// Calls a callback on a thread of its own at start + k x period (k = 1, 2, ...). Deadlines are
// absolute on the timer's clock, so the rate is exact on average however long each sleep
// oversleeps: 120 ticks a second for a period of 1/120 s, not 125 from a whole-millisecond
// period.
//
// When a callback overruns or the thread wakes late, a tick whose deadline has passed is still
// called at once as long as the following deadline has not passed too; older ticks are skipped.
// The schedule stays on the same grid, a hiccup shorter than a period loses no tick, and a slow
// callback never causes a burst of catch-up calls (at most one straight after it).
class PeriodicTimer {
public:
    // The clock must outlive the timer's thread.
    explicit PeriodicTimer(TimerClock& clock = MonotonicTimerClock()) : clock_(clock) {}
    // Stops the timer as Stop() does.
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts the thread. False when the period is not positive, the callback is empty, the
    // timer was started before, or no thread could be made.
    bool Start(std::int64_t periodNs, std::function<void()> callback);

    // From inside the callback: marks the timer stopped and returns at once; the thread ends
    // when the callback returns. From any other thread: returns once the thread has ended, so
    // no callback runs any more. Do not hold a lock that the callback takes while calling it.
    void Stop();

    // Started and not yet stopped.
    bool Running() const;
    // The calling thread is this timer's thread.
    bool OnTimerThread() const;

    // Ticks that were skipped because a callback overran (diagnostics and tests).
    std::uint64_t MissedTicks() const;

private:
    struct State;
    static void Run(std::shared_ptr<State> state);

    TimerClock& clock_;
    std::shared_ptr<State> state_;
    std::thread thread_;
    std::mutex joinMutex_;
};

// The port's timers by id. Ids are non-zero and not reused while a timer with that id lives;
// 0 means the timer could not be made.
class TimerRegistry {
public:
    TimerRegistry() = default;
    // Stops every timer and waits for their threads.
    ~TimerRegistry();
    TimerRegistry(const TimerRegistry&) = delete;
    TimerRegistry& operator=(const TimerRegistry&) = delete;

    TimerId Start(std::int64_t periodNs, std::function<void()> callback);
    // Unknown ids and 0 are ignored. From inside that timer's own callback it only marks the
    // timer; otherwise it returns after the timer's last callback has finished.
    void Kill(TimerId id);
    // Kills every timer; returns when none of their callbacks runs any more (from a timer's own
    // callback, when the others have finished). The registry stays usable.
    void KillAll();
    // Timers started and not killed.
    std::size_t Count() const;

private:
    struct Entry {
        TimerId id;
        std::unique_ptr<PeriodicTimer> timer;
    };
    // Joins timers that stopped themselves, outside the lock (their last callback may still be
    // calling into this registry).
    void Reap();

    mutable std::mutex mutex_;
    TimerId nextId_ = 1;
    std::vector<Entry> timers_;
    std::vector<std::unique_ptr<PeriodicTimer>> stopped_; // killed from their own callback
};

} // namespace telvo
