#pragma once

#include "platform/Platform.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace telvo {

// The port for tests: records every call, answers boxes and file choosers as told, and keeps a
// manual clock, manual timers and a queue of posted commands. Every member is safe from any
// thread. The thread that constructs it is the window thread.
class FakePlatform : public Platform {
public:
    struct Box {
        std::string text{};
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
        bool onWindowThread = true;
        std::string detail{};
        bool operator==(const Box&) const = default;
        friend void PrintTo(const Box& box, std::ostream* os) {
            *os << '"' << box.text << '"';
            if (!box.detail.empty()) {
                *os << " (" << box.detail << ')';
            }
        }
    };
    using BoxHandler = std::function<MessageAnswer(const Box&)>;

    // Answers every later box, on the thread that shows it. Until then a box gets the answer
    // of a box nobody sees (DismissAnswer).
    void AnswerBoxes(BoxHandler handler) { Set(answerBox_, std::move(handler)); }
    void AnswerBoxes(MessageAnswer answer) {
        AnswerBoxes([answer](const Box&) { return answer; });
    }
    // Answers every later file chooser; until then they are cancelled.
    void AnswerChoosers(FileChoice choice) { Set(choice_, std::move(choice)); }
    FileChooser LastChooser() const { return Get(lastChooser_); } // the latest chooser's request
    void SetTime(std::uint32_t ms) { now_ = ms; } // the manual clock; Sleep advances it too
    void SetModalOpen(bool open) { modalOpen_ = open; }

    // Runs the timer's callback on the calling thread n times, fewer when the timer is killed
    // meanwhile; returns the ticks made.
    int Tick(TimerId id, int n = 1);
    void TickAll() {
        for (const auto& [id, period] : RunningTimers()) {
            Tick(id);
        }
    }
    std::map<TimerId, std::int64_t> RunningTimers() const; // id -> period in ns

    // The queued commands, oldest first.
    std::vector<int> TakePosted() {
        return Locked([&] { return std::exchange(posted_, {}); });
    }

    // Every call in order as one line each ("status 0 Live", "box Timeout on suit KVX1",
    // "check 32858 1", "title TelvoView", "post 32842", "tone 1047 250", "sound Default",
    // "sleep 1000", "timer start 1", "timer kill 1", "close", "cursor 1", "capture 1",
    // "chooser Save"). Invalidations are only counted (they come from every frame).
    std::vector<std::string> Calls() const { return Get(calls_); }
    // The rest of each call line that starts with the prefix: CallsOf("sleep ") the sleeps.
    std::vector<std::string> CallsOf(std::string_view prefix) const;
    void ClearCalls() {
        Locked([&] {
            calls_.clear();
            boxes_.clear();
        });
        invalidations_ = 0;
    }
    std::vector<Box> Boxes() const { return Get(boxes_); }
    std::string StatusText(int pane) const { // latest text of the pane since ClearCalls
        std::vector<std::string> history = CallsOf("status " + std::to_string(pane) + " ");
        return history.empty() ? std::string() : history.back();
    }
    // Current check mark of a command (nullopt when never set); ClearCalls keeps the marks.
    std::optional<bool> Checked(int command) const;
    int Invalidations() const { return invalidations_.load(); }

    using Platform::MessageBox;
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& detail) override;
    void SetStatusText(int pane, const std::string& text) override {
        Log("status " + std::to_string(pane) + " " + text);
    }
    void CheckMenuItem(int command, bool checked) override {
        Locked([&] { checks_[command] = checked; });
        Log("check " + std::to_string(command) + (checked ? " 1" : " 0"));
    }
    void SetWindowTitle(const std::string& title) override { Log("title " + title); }
    void Invalidate() override { invalidations_++; }
    void PostCommand(int command) override {
        Locked([&] { posted_.push_back(command); });
        Log("post " + std::to_string(command));
    }
    void PostClose() override { Log("close"); }
    bool IsWindowThread() const override { return std::this_thread::get_id() == windowThread_; }
    bool ModalOpen() const override { return modalOpen_; }
    void Sleep(std::uint32_t ms) override {
        now_ += ms;
        Log("sleep " + std::to_string(ms));
    }
    void Tone(std::uint32_t hz, std::uint32_t ms) override {
        Log("tone " + std::to_string(hz) + " " + std::to_string(ms));
    }
    void PlaySystemSound(SystemSound sound) override {
        Log(sound == SystemSound::Exclamation ? "sound Exclamation" : "sound Default");
    }
    void SetWaitCursor(bool on) override { Log(on ? "cursor 1" : "cursor 0"); }
    std::uint32_t TimeMs() override { return now_.load(); }
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override;
    void KillTimer(TimerId id) override;
    FileChoice ChooseFile(const FileChooser& request) override;
    PixelSize DrawingArea() override { return {800, 600}; }
    PixelSize ScreenSize() override { return {1920, 1080}; }
    void SetCapture() override { Log("capture 1"); }
    void ReleaseCapture() override { Log("capture 0"); }

private:
    struct Timer {
        std::int64_t periodNs = 0;
        std::function<void()> callback;
        bool alive = true;
        int running = 0; // ticks inside the callback now
        std::thread::id runningOn;
    };

    void Log(std::string line) {
        Locked([&] { calls_.push_back(std::move(line)); });
    }
    template <typename F> auto Locked(F f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }
    template <typename T> T Get(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }
    template <typename T, typename V> void Set(T& field, V&& value) {
        std::lock_guard lock(mutex_);
        field = std::forward<V>(value);
    }

    mutable std::mutex mutex_;
    std::condition_variable timerIdle_;
    const std::thread::id windowThread_ = std::this_thread::get_id();

    BoxHandler answerBox_;
    FileChoice choice_;
    FileChooser lastChooser_;
    std::atomic<std::uint32_t> now_{0};
    std::atomic<bool> modalOpen_{false};
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    std::vector<int> posted_;

    std::vector<std::string> calls_;
    std::vector<Box> boxes_;
    std::map<int, bool> checks_;
    std::atomic<int> invalidations_{0};
};

} // namespace telvo
