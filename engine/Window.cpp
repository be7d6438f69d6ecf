#include "engine/Detail.h"
#include "engine/EngineState.h"

#include <chrono>
#include <thread>

namespace telvo::detail {

namespace {

// Stands in while no window is published (before the creation handler has started the
// library, or in a tool that runs the engine alone): nothing is shown, boxes are dismissed.
class SilentPlatform final : public Platform {
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
    std::uint32_t TimeMs() override {
        auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
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

} // namespace

Platform& Window() {
    static SilentPlatform silent;
    Platform* window = Engine.MainWindow.load();
    return window != nullptr ? *window : silent;
}

} // namespace telvo::detail
