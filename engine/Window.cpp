#include "engine/Detail.h"
#include "engine/EngineState.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace telvo::detail {

namespace {

// Stands in while no window is published (before the creation handler has started the
// library, or in a tool that runs the engine alone): nothing is shown, boxes are dismissed.
class SilentPlatform final : public Platform {
public:
    MessageAnswer MessageBox(const std::string&, MessageButtons buttons, MessageIcon) override {
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

std::string Format(const char* format, ...) {
    char buffer[512];
    std::va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    // Paths make some texts long; format again into a buffer of the right size.
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace telvo::detail
