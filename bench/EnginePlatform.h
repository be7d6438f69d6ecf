#pragma once

// The port for the benchmarks: real timers, a real clock, a drawing area of the benchmark's
// choosing, nothing shown.

#include "platform/Clock.h"
#include "platform/PeriodicTimer.h"
#include "platform/Platform.h"

#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace telvo::bench {

class EnginePlatform : public Platform {
public:
    // Runs around every timer callback (the benchmark's own measurements).
    std::function<void(const std::function<void()>&)> aroundTick = [](const auto& tick) { tick(); };
    PixelSize area{800, 600};

    MessageAnswer MessageBox(const std::string&, MessageButtons, MessageIcon,
                             const std::string&) override {
        return MessageAnswer::Ok;
    }
    void SetStatusText(int, const std::string&) override {}
    void CheckMenuItem(int, bool) override {}
    void SetWindowTitle(const std::string&) override {}
    void Invalidate() override {}
    void PostCommand(int) override {}
    void PostClose() override {}
    bool IsWindowThread() const override { return std::this_thread::get_id() == window_; }
    void Sleep(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    void Tone(std::uint32_t, std::uint32_t) override {}
    void PlaySystemSound(SystemSound) override {}
    void SetWaitCursor(bool) override {}
    std::uint32_t TimeMs() override { return ClockMs(); }
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override {
        return timers_.Start(periodNs,
                             [this, callback = std::move(callback)] { aroundTick(callback); });
    }
    void KillTimer(TimerId id) override { timers_.Kill(id); }
    FileChoice ChooseFile(const FileChooser& request) override {
        return FileChoice{false, {}, request.selectedFilter};
    }
    PixelSize DrawingArea() override { return area; }
    PixelSize ScreenSize() override { return {1920, 1080}; }
    void SetCapture() override {}
    void ReleaseCapture() override {}

private:
    std::thread::id window_ = std::this_thread::get_id();
    TimerRegistry timers_;
};

} // namespace telvo::bench
