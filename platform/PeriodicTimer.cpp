#include "platform/PeriodicTimer.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <sys/prctl.h>
#include <time.h>

namespace telvo {

namespace {

// A stop from another thread waits at most this long for a sleeping timer to notice it.
constexpr std::int64_t kSliceNs = 5'000'000;
// The last stretch before a deadline is spun rather than slept: a wake-up from
// clock_nanosleep comes some 50 to 100 us late, a spin is on time. 200 us a tick is about 2 % of
// one core at 120 Hz.
constexpr std::int64_t kSpinNs = 200'000;

timespec ToTimespec(std::int64_t ns) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    t.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return t;
}

class Monotonic final : public TimerClock {
public:
    std::int64_t NowNs() override { return MonotonicNs(); }
    void SleepUntil(std::int64_t deadlineNs, const std::atomic<bool>& stop) override;
};

void Monotonic::SleepUntil(std::int64_t deadlineNs, const std::atomic<bool>& stop) {
    for (;;) {
        if (stop.load(std::memory_order_acquire)) {
            return;
        }
        const std::int64_t now = MonotonicNs();
        const std::int64_t remaining = deadlineNs - now;
        if (remaining <= 0) {
            return;
        }
        if (remaining <= kSpinNs) {
            while (MonotonicNs() < deadlineNs) {
            }
            return;
        }
        const std::int64_t target = std::min(now + kSliceNs, deadlineNs - kSpinNs);
        const timespec t = ToTimespec(target);
        // EINTR only means a signal arrived; the loop sleeps again towards the same target.
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    }
}

} // namespace

TimerClock& MonotonicTimerClock() {
    static Monotonic clock;
    return clock;
}

struct PeriodicTimer::State {
    TimerClock* clock = nullptr;
    std::int64_t periodNs = 0;
    std::function<void()> callback;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> missed{0};
    // Set by the thread itself before its first callback, so a Stop from inside the callback
    // always recognises its own thread.
    std::atomic<std::thread::id> threadId{};
};

PeriodicTimer::~PeriodicTimer() {
    Stop();
    if (thread_.joinable()) {
        // Destroyed from inside its own callback: the thread keeps the state alive and ends
        // when the callback returns.
        thread_.detach();
    }
}

bool PeriodicTimer::Start(std::int64_t periodNs, std::function<void()> callback) {
    if (state_ || periodNs <= 0 || !callback) {
        return false;
    }
    auto state = std::make_shared<State>();
    state->clock = &clock_;
    state->periodNs = periodNs;
    state->callback = std::move(callback);
    // Set before the thread runs: its first callback may already call Stop().
    state_ = state;
    try {
        thread_ = std::thread(&PeriodicTimer::Run, std::move(state));
    } catch (const std::system_error&) {
        state_.reset();
        return false;
    }
    return true;
}

void PeriodicTimer::Stop() {
    if (!state_) {
        return;
    }
    state_->stop.store(true, std::memory_order_release);
    if (OnTimerThread()) {
        return;
    }
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool PeriodicTimer::Running() const {
    return state_ && !state_->stop.load(std::memory_order_acquire);
}

bool PeriodicTimer::OnTimerThread() const {
    return state_ && state_->threadId.load() == std::this_thread::get_id();
}

std::uint64_t PeriodicTimer::MissedTicks() const {
    return state_ ? state_->missed.load() : 0;
}

void PeriodicTimer::Run(std::shared_ptr<State> state) {
    state->threadId.store(std::this_thread::get_id());
    // The default 50 us timer slack would be added to every wake-up.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    TimerClock& clock = *state->clock;
    const std::int64_t period = state->periodNs;
    const std::int64_t start = clock.NowNs();
    std::int64_t tick = 1;
    while (!state->stop.load(std::memory_order_acquire)) {
        clock.SleepUntil(start + tick * period, state->stop);
        if (state->stop.load(std::memory_order_acquire)) {
            break;
        }
        state->callback();

        // A deadline already passed is still served at once, unless the one after it has
        // passed too: older deadlines are skipped rather than called back to back, so a slow
        // callback (or a late wake-up) causes at most one immediate call, never a burst.
        const std::int64_t now = clock.NowNs();
        std::int64_t next = tick + 1;
        if (now >= start + (next + 1) * period) {
            const std::int64_t latest = (now - start) / period;
            state->missed.fetch_add(static_cast<std::uint64_t>(latest - next));
            next = latest;
        }
        tick = next;
    }
}

TimerRegistry::~TimerRegistry() {
    KillAll();
}

void TimerRegistry::KillAll() {
    std::vector<Entry> timers;
    std::vector<std::unique_ptr<PeriodicTimer>> stopped;
    {
        std::lock_guard lock(mutex_);
        timers.swap(timers_);
        stopped.swap(stopped_);
    }
    for (Entry& e : timers) {
        e.timer->Stop();
    }
    // The destructors join (or detach, on a timer's own thread) outside the lock.
}

TimerId TimerRegistry::Start(std::int64_t periodNs, std::function<void()> callback) {
    Reap();
    std::lock_guard lock(mutex_);
    TimerId id = 0;
    for (;;) {
        id = nextId_++;
        if (nextId_ == 0) {
            nextId_ = 1;
        }
        const bool used = std::any_of(timers_.begin(), timers_.end(),
                                      [id](const Entry& e) { return e.id == id; });
        if (id != 0 && !used) {
            break;
        }
    }
    auto timer = std::make_unique<PeriodicTimer>();
    // Started under the lock: a first callback that kills its own id finds it registered.
    if (!timer->Start(periodNs, std::move(callback))) {
        return 0;
    }
    timers_.push_back(Entry{id, std::move(timer)});
    return id;
}

void TimerRegistry::Kill(TimerId id) {
    if (id == 0) {
        return;
    }
    std::unique_ptr<PeriodicTimer> timer;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(timers_.begin(), timers_.end(),
                               [id](const Entry& e) { return e.id == id; });
        if (it == timers_.end()) {
            return;
        }
        timer = std::move(it->timer);
        timers_.erase(it);
        if (timer->OnTimerThread()) {
            timer->Stop();
            stopped_.push_back(std::move(timer));
            return;
        }
    }
    timer->Stop();
    timer.reset();
    Reap();
}

std::size_t TimerRegistry::Count() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

void TimerRegistry::Reap() {
    std::vector<std::unique_ptr<PeriodicTimer>> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = stopped_.begin(); it != stopped_.end();) {
            if ((*it)->OnTimerThread()) {
                ++it;
            } else {
                done.push_back(std::move(*it));
                it = stopped_.erase(it);
            }
        }
    }
}

} // namespace telvo
