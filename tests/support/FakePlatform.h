#pragma once

#include "platform/Platform.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace telvo {

// The port for tests: records every call, answers boxes and file choosers from a script, and
// keeps a manual clock, manual timers and a queue of posted commands that the test pumps.
// Every member is safe from any thread. The thread that constructs it is the window thread.
class FakePlatform : public Platform {
public:
    struct Box {
        std::string text;
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
        bool onWindowThread = true;
    };
    using BoxHandler = std::function<MessageAnswer(const Box&)>;

    FakePlatform();
    ~FakePlatform() override;

    // --- Script -----------------------------------------------------------------------
    // Answers for the next boxes, in order. A box with no scripted answer gets the one set by
    // AnswerBoxesWith, or else the first button it offers.
    void AnswerNextBox(MessageAnswer answer);
    // Runs for the next box instead of a fixed answer (on the thread that shows the box).
    void HandleNextBox(BoxHandler handler);
    void AnswerBoxesWith(std::optional<MessageAnswer> answer);
    // Answers for the next file choosers; unscripted choosers are cancelled.
    void AnswerNextChooser(FileChoice choice);
    // The next StartTimer calls fail (return 0).
    void FailNextTimers(int count = 1) { failTimers_ += count; }
    void SetDrawingArea(PixelSize size);
    void SetScreenSize(PixelSize size);

    // --- Manual clock (Sleep advances it too) -------------------------------------------
    void SetTime(std::uint32_t ms) { now_ = ms; }
    void AdvanceClock(std::uint32_t ms) { now_ += ms; }

    // --- Manual timers ------------------------------------------------------------------
    // Runs the timer's callback once on the calling thread; false when it is not running.
    bool Tick(TimerId id);
    // Ticks the timer n times (stops early when the timer is killed); returns ticks made.
    int Tick(TimerId id, int n);
    // Ticks every running timer once.
    void TickAll();
    std::vector<TimerId> RunningTimers() const;
    std::optional<std::int64_t> TimerPeriodNs(TimerId id) const; // any timer ever started

    // --- Posted commands ----------------------------------------------------------------
    std::vector<int> Posted() const; // still queued, oldest first
    // Hands queued commands to the dispatcher one by one until the queue is empty, commands
    // posted meanwhile too.
    void Pump(const std::function<void(int)>& dispatch);
    void ClearPosted();

    // --- What was called ----------------------------------------------------------------
    // Every call in order as one line each ("status 0 Live", "box Timeout on suit KVX1",
    // "check 32858 1", "title TelvoView", "post 32842", "tone 1047 250", "sound Default",
    // "sleep 1000", "timer start 1", "timer kill 1", "close", "cursor 1", "capture 1",
    // "chooser Open"). Invalidations are only counted (they come from every frame).
    std::vector<std::string> Calls() const;
    // The rest of each call line that starts with the prefix: CallsOf("status 0 ") is pane
    // 0's history, CallsOf("sleep ") the sleeps.
    std::vector<std::string> CallsOf(std::string_view prefix) const;
    void ClearCalls();
    std::vector<Box> Boxes() const;
    std::vector<std::string> BoxTexts() const;
    std::string StatusText(int pane) const; // latest text of pane 0, 1 or 2 since ClearCalls
    std::string Title() const;              // latest title since ClearCalls
    // Current check mark of a command (nullopt when never set); ClearCalls keeps the marks.
    std::optional<bool> Checked(int command) const;
    int Invalidations() const { return invalidations_.load(); }
    std::vector<FileChooser> Choosers() const;

    // --- Platform ----------------------------------------------------------------------
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons,
                             MessageIcon icon) override;
    void SetStatusText(int pane, const std::string& text) override;
    void CheckMenuItem(int command, bool checked) override;
    void SetWindowTitle(const std::string& title) override { Log("title " + title); }
    void Invalidate() override { invalidations_++; }
    void PostCommand(int command) override;
    void PostClose() override { Log("close"); }
    bool IsWindowThread() const override { return std::this_thread::get_id() == windowThread_; }
    void Sleep(std::uint32_t ms) override;
    void Tone(std::uint32_t hz, std::uint32_t ms) override;
    void PlaySystemSound(SystemSound sound) override;
    void SetWaitCursor(bool on) override { Log(on ? "cursor 1" : "cursor 0"); }
    std::uint32_t TimeMs() override { return now_.load(); }
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override;
    void KillTimer(TimerId id) override;
    FileChoice ChooseFile(const FileChooser& request) override;
    PixelSize DrawingArea() override;
    PixelSize ScreenSize() override;
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

    void Log(std::string line);

    mutable std::mutex mutex_;
    std::condition_variable timerIdle_;
    const std::thread::id windowThread_ = std::this_thread::get_id();

    std::deque<BoxHandler> boxScript_;
    std::optional<MessageAnswer> boxDefault_;
    std::deque<FileChoice> chooserScript_;
    std::atomic<int> failTimers_{0};
    PixelSize drawingArea_{800, 600};
    PixelSize screenSize_{1920, 1080};

    std::atomic<std::uint32_t> now_{0};
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;

    std::deque<int> posted_;

    std::vector<std::string> calls_;
    std::vector<Box> boxes_;
    std::map<int, bool> checks_;
    std::atomic<int> invalidations_{0};
    std::vector<FileChooser> choosers_;
};

} // namespace telvo
