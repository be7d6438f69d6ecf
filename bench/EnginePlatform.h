#pragma once

// The port for the benchmarks: real timers, a drawing area of the benchmark's
// choosing, nothing shown; the calling thread is the window's.

#include "engine/SilentPlatform.h"
#include "platform/PeriodicTimer.h"

#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace telvo::bench {

class EnginePlatform : public SilentPlatform {
public:
    // Runs around every timer callback (the benchmark's own measurements).
    std::function<void(const std::function<void()>&)> aroundTick = [](const auto& tick) { tick(); };
    PixelSize area{800, 600};

    bool IsWindowThread() const override { return std::this_thread::get_id() == window_; }
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override {
        return timers_.Start(periodNs,
                             [this, callback = std::move(callback)] { aroundTick(callback); });
    }
    void KillTimer(TimerId id) override { timers_.Kill(id); }
    PixelSize DrawingArea() override { return area; }
    PixelSize ScreenSize() override { return {1920, 1080}; }

private:
    std::thread::id window_ = std::this_thread::get_id();
    TimerRegistry timers_;
};

} // namespace telvo::bench
