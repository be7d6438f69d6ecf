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
#include <thread>
#include <vector>

namespace telvo {

// The port for tests: records every call, answers boxes and file choosers from a script, and
// keeps a manual clock, manual timers and a queue of posted commands that the test pumps.
// Every member is safe from any thread. The thread that constructs it is the window thread
// unless SetWindowThread says otherwise.
class FakePlatform : public Platform {
public:
    struct Box {
        std::string text;
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
        MessageAnswer answer = MessageAnswer::Ok;
        bool onWindowThread = true;
    };
    struct ToneCall {
        std::uint32_t hz = 0;
        std::uint32_t ms = 0;
    };
    using BoxHandler = std::function<MessageAnswer(const Box&)>;
    using ChooserHandler = std::function<FileChoice(const FileChooser&)>;

    FakePlatform();
    ~FakePlatform() override;

    // --- Script -----------------------------------------------------------------------
    // Answers for the next boxes, in order. A box with no scripted answer gets the default
    // answer for its buttons (DefaultAnswer).
    void AnswerNextBox(MessageAnswer answer);
    // Runs for the next box instead of a fixed answer (on the thread that shows the box).
    void HandleNextBox(BoxHandler handler);
    // Answers every box that has no scripted answer (instead of the first button offered).
    void AnswerBoxesWith(std::optional<MessageAnswer> answer);
    static MessageAnswer DefaultAnswer(MessageButtons buttons);

    // Answers for the next file choosers; unscripted choosers are cancelled.
    void AnswerNextChooser(FileChoice choice);
    void HandleNextChooser(ChooserHandler handler);

    // The next StartTimer calls fail (return 0).
    void FailNextTimers(int count = 1);

    void SetDrawingArea(PixelSize size);
    void SetScreenSize(PixelSize size);
    void SetWindowThread(std::thread::id id);
    // Whether Sleep also advances the manual clock (on by default).
    void SetSleepAdvancesClock(bool on);

    // --- Manual clock -------------------------------------------------------------------
    void SetTime(std::uint32_t ms);
    void AdvanceClock(std::uint32_t ms);

    // --- Manual timers ------------------------------------------------------------------
    // Runs the timer's callback once on the calling thread; false when it is not running.
    bool Tick(TimerId id);
    // Ticks the timer n times (stops early when the timer is killed); returns ticks made.
    int Tick(TimerId id, int n);
    // Ticks every running timer once; returns how many ran.
    int TickAll();
    bool TimerRunning(TimerId id) const;
    std::vector<TimerId> RunningTimers() const;
    std::optional<std::int64_t> TimerPeriodNs(TimerId id) const; // any timer ever started
    int TimersStarted() const;
    int TimersKilled() const;

    // --- Posted commands ----------------------------------------------------------------
    std::vector<int> Posted() const; // still queued, oldest first
    std::optional<int> TakePosted();
    // Hands queued commands to the dispatcher one by one until the queue is empty (commands
    // posted meanwhile are handled too, at most `limit`); returns how many were handled.
    int Pump(const std::function<void(int)>& dispatch, int limit = 100000);
    void ClearPosted();

    // --- What was called ----------------------------------------------------------------
    // Every call in order as one line each ("status 0 Live", "box Timeout on suit KVX1",
    // "check 32858 1", "title TelvoView", "post 32842", "tone 1047 250", "sound Default",
    // "sleep 1000", "timer start 1", "timer kill 1", "close", "cursor 1", "capture 1",
    // "chooser Open"). Invalidations are only counted (they come from every frame).
    std::vector<std::string> Calls() const;
    void ClearCalls();
    std::vector<Box> Boxes() const;
    std::vector<std::string> BoxTexts() const;
    std::string StatusText(int pane) const; // current text of pane 0, 1 or 2
    std::vector<std::string> StatusHistory(int pane) const;
    // Current check mark of a command (nullopt when never set).
    std::optional<bool> Checked(int command) const;
    // The commands in the order of the CheckMenuItem calls since the last ClearCalls.
    std::vector<int> CheckOrder() const;
    std::string Title() const;
    std::vector<std::string> Titles() const;
    int Invalidations() const { return invalidations_.load(); }
    int CloseRequests() const;
    std::vector<std::uint32_t> Sleeps() const;
    std::vector<ToneCall> Tones() const;
    std::vector<SystemSound> Sounds() const;
    std::vector<FileChooser> Choosers() const;
    bool WaitCursor() const;
    bool CaptureHeld() const;

    // --- Platform ----------------------------------------------------------------------
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons,
                             MessageIcon icon) override;
    void SetStatusText(int pane, const std::string& text) override;
    void CheckMenuItem(int command, bool checked) override;
    void SetWindowTitle(const std::string& title) override;
    void Invalidate() override;
    void PostCommand(int command) override;
    void PostClose() override;
    bool IsWindowThread() const override;
    void Sleep(std::uint32_t ms) override;
    void Tone(std::uint32_t hz, std::uint32_t ms) override;
    void PlaySystemSound(SystemSound sound) override;
    void SetWaitCursor(bool on) override;
    std::uint32_t TimeMs() override;
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override;
    void KillTimer(TimerId id) override;
    FileChoice ChooseFile(const FileChooser& request) override;
    PixelSize DrawingArea() override;
    PixelSize ScreenSize() override;
    void SetCapture() override;
    void ReleaseCapture() override;

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
    std::thread::id windowThread_;

    std::deque<BoxHandler> boxScript_;
    std::optional<MessageAnswer> boxDefault_;
    std::deque<ChooserHandler> chooserScript_;
    int failTimers_ = 0;
    PixelSize drawingArea_{800, 600};
    PixelSize screenSize_{1920, 1080};
    bool sleepAdvancesClock_ = true;

    std::atomic<std::uint32_t> now_{0};
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    int timersStarted_ = 0;
    int timersKilled_ = 0;

    std::deque<int> posted_;

    std::vector<std::string> calls_;
    std::vector<Box> boxes_;
    std::map<int, std::vector<std::string>> status_;
    std::map<int, bool> checks_;
    std::vector<int> checkOrder_;
    std::vector<std::string> titles_;
    std::atomic<int> invalidations_{0};
    int closeRequests_ = 0;
    std::vector<std::uint32_t> sleeps_;
    std::vector<ToneCall> tones_;
    std::vector<SystemSound> sounds_;
    std::vector<FileChooser> choosers_;
    bool waitCursor_ = false;
    bool capture_ = false;
};

} // namespace telvo
