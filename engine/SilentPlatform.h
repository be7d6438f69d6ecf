#pragma once

// A port that shows nothing: boxes are dismissed, no timer runs, no window is anyone's. The
// engine falls back to it while no window is published; programs that run the engine alone
// start from it and override what they need.

#include "platform/Clock.h"
#include "platform/Platform.h"

#include <chrono>
#include <thread>

namespace telvo {

class SilentPlatform : public Platform {
public:
    MessageAnswer MessageBox(const std::string&, MessageButtons buttons, MessageIcon,
                             const std::string&) override {
        return DismissAnswer(buttons);
    }
    void SetStatusText(int, const std::string&) override {}
    void CheckMenuItem(int, bool) override {}
    void SetWindowTitle(const std::string&) override {}
    void Invalidate() override {}
    void PostCommand(int) override {}
    void PostClose() override {}
    bool IsWindowThread() const override { return false; }
    void Sleep(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    void Tone(std::uint32_t, std::uint32_t) override {}
    void PlaySystemSound(SystemSound) override {}
    void SetWaitCursor(bool) override {}
    std::uint32_t TimeMs() override { return ClockMs(); }
    TimerId StartTimer(std::int64_t, std::function<void()>) override { return 0; }
    void KillTimer(TimerId) override {}
    FileChoice ChooseFile(const FileChooser& request) override {
        return FileChoice{false, {}, request.selectedFilter};
    }
    PixelSize DrawingArea() override { return {}; }
    PixelSize ScreenSize() override { return {}; }
    void SetCapture() override {}
    void ReleaseCapture() override {}
};

} // namespace telvo
