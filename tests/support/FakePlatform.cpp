#include "tests/support/FakePlatform.h"

#include <utility>

namespace telvo {

namespace {

const char* SoundName(SystemSound sound) {
    return sound == SystemSound::Exclamation ? "Exclamation" : "Default";
}

const char* ModeName(FileChooser::Mode mode) {
    return mode == FileChooser::Mode::Save ? "Save" : "Open";
}

} // namespace

FakePlatform::FakePlatform() : windowThread_(std::this_thread::get_id()) {}

FakePlatform::~FakePlatform() {
    // A test that forgot a ticking thread must not leave it inside a dead object's callback.
    std::unique_lock lock(mutex_);
    timerIdle_.wait(lock, [this] {
        for (const auto& [id, timer] : timers_) {
            if (timer.running > 0) {
                return false;
            }
        }
        return true;
    });
}

// --- Script ---------------------------------------------------------------------------

void FakePlatform::AnswerNextBox(MessageAnswer answer) {
    HandleNextBox([answer](const Box&) { return answer; });
}

void FakePlatform::HandleNextBox(BoxHandler handler) {
    std::lock_guard lock(mutex_);
    boxScript_.push_back(std::move(handler));
}

void FakePlatform::AnswerBoxesWith(std::optional<MessageAnswer> answer) {
    std::lock_guard lock(mutex_);
    boxDefault_ = answer;
}

MessageAnswer FakePlatform::DefaultAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::Yes;
    case MessageButtons::RetryCancel:
        return MessageAnswer::Retry;
    case MessageButtons::AbortRetryIgnore:
        return MessageAnswer::Abort;
    }
    return MessageAnswer::Ok;
}

void FakePlatform::AnswerNextChooser(FileChoice choice) {
    HandleNextChooser([choice](const FileChooser&) { return choice; });
}

void FakePlatform::HandleNextChooser(ChooserHandler handler) {
    std::lock_guard lock(mutex_);
    chooserScript_.push_back(std::move(handler));
}

void FakePlatform::FailNextTimers(int count) {
    std::lock_guard lock(mutex_);
    failTimers_ += count;
}

void FakePlatform::SetDrawingArea(PixelSize size) {
    std::lock_guard lock(mutex_);
    drawingArea_ = size;
}

void FakePlatform::SetScreenSize(PixelSize size) {
    std::lock_guard lock(mutex_);
    screenSize_ = size;
}

void FakePlatform::SetWindowThread(std::thread::id id) {
    std::lock_guard lock(mutex_);
    windowThread_ = id;
}

void FakePlatform::SetSleepAdvancesClock(bool on) {
    std::lock_guard lock(mutex_);
    sleepAdvancesClock_ = on;
}

// --- Clock and timers -------------------------------------------------------------------

void FakePlatform::SetTime(std::uint32_t ms) {
    now_ = ms;
}

void FakePlatform::AdvanceClock(std::uint32_t ms) {
    now_ += ms;
}

bool FakePlatform::Tick(TimerId id) {
    std::function<void()> callback;
    {
        std::lock_guard lock(mutex_);
        auto it = timers_.find(id);
        if (it == timers_.end() || !it->second.alive) {
            return false;
        }
        it->second.running++;
        it->second.runningOn = std::this_thread::get_id();
        callback = it->second.callback;
    }
    if (callback) {
        callback();
    }
    {
        std::lock_guard lock(mutex_);
        timers_[id].running--;
    }
    timerIdle_.notify_all();
    return true;
}

int FakePlatform::Tick(TimerId id, int n) {
    int made = 0;
    while (made < n && Tick(id)) {
        ++made;
    }
    return made;
}

int FakePlatform::TickAll() {
    int ran = 0;
    for (TimerId id : RunningTimers()) {
        ran += Tick(id) ? 1 : 0;
    }
    return ran;
}

bool FakePlatform::TimerRunning(TimerId id) const {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.alive;
}

std::vector<TimerId> FakePlatform::RunningTimers() const {
    std::lock_guard lock(mutex_);
    std::vector<TimerId> ids;
    for (const auto& [id, timer] : timers_) {
        if (timer.alive) {
            ids.push_back(id);
        }
    }
    return ids;
}

std::optional<std::int64_t> FakePlatform::TimerPeriodNs(TimerId id) const {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        return std::nullopt;
    }
    return it->second.periodNs;
}

int FakePlatform::TimersStarted() const {
    std::lock_guard lock(mutex_);
    return timersStarted_;
}

int FakePlatform::TimersKilled() const {
    std::lock_guard lock(mutex_);
    return timersKilled_;
}

// --- Posted commands --------------------------------------------------------------------

std::vector<int> FakePlatform::Posted() const {
    std::lock_guard lock(mutex_);
    return {posted_.begin(), posted_.end()};
}

std::optional<int> FakePlatform::TakePosted() {
    std::lock_guard lock(mutex_);
    if (posted_.empty()) {
        return std::nullopt;
    }
    int command = posted_.front();
    posted_.pop_front();
    return command;
}

int FakePlatform::Pump(const std::function<void(int)>& dispatch, int limit) {
    int handled = 0;
    while (handled < limit) {
        std::optional<int> command = TakePosted();
        if (!command) {
            break;
        }
        dispatch(*command);
        ++handled;
    }
    return handled;
}

void FakePlatform::ClearPosted() {
    std::lock_guard lock(mutex_);
    posted_.clear();
}

// --- Records ----------------------------------------------------------------------------

void FakePlatform::Log(std::string line) {
    calls_.push_back(std::move(line));
}

std::vector<std::string> FakePlatform::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakePlatform::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    boxes_.clear();
    status_.clear();
    checkOrder_.clear();
    titles_.clear();
    invalidations_ = 0;
    closeRequests_ = 0;
    sleeps_.clear();
    tones_.clear();
    sounds_.clear();
    choosers_.clear();
}

std::vector<FakePlatform::Box> FakePlatform::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> FakePlatform::BoxTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const Box& box : boxes_) {
        texts.push_back(box.text);
    }
    return texts;
}

std::string FakePlatform::StatusText(int pane) const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(pane);
    return it == status_.end() || it->second.empty() ? std::string() : it->second.back();
}

std::vector<std::string> FakePlatform::StatusHistory(int pane) const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(pane);
    return it == status_.end() ? std::vector<std::string>() : it->second;
}

std::optional<bool> FakePlatform::Checked(int command) const {
    std::lock_guard lock(mutex_);
    auto it = checks_.find(command);
    if (it == checks_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<int> FakePlatform::CheckOrder() const {
    std::lock_guard lock(mutex_);
    return checkOrder_;
}

std::string FakePlatform::Title() const {
    std::lock_guard lock(mutex_);
    return titles_.empty() ? std::string() : titles_.back();
}

std::vector<std::string> FakePlatform::Titles() const {
    std::lock_guard lock(mutex_);
    return titles_;
}

int FakePlatform::CloseRequests() const {
    std::lock_guard lock(mutex_);
    return closeRequests_;
}

std::vector<std::uint32_t> FakePlatform::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

std::vector<FakePlatform::ToneCall> FakePlatform::Tones() const {
    std::lock_guard lock(mutex_);
    return tones_;
}

std::vector<SystemSound> FakePlatform::Sounds() const {
    std::lock_guard lock(mutex_);
    return sounds_;
}

std::vector<FileChooser> FakePlatform::Choosers() const {
    std::lock_guard lock(mutex_);
    return choosers_;
}

bool FakePlatform::WaitCursor() const {
    std::lock_guard lock(mutex_);
    return waitCursor_;
}

bool FakePlatform::CaptureHeld() const {
    std::lock_guard lock(mutex_);
    return capture_;
}

// --- Platform ---------------------------------------------------------------------------

MessageAnswer FakePlatform::MessageBox(const std::string& text, MessageButtons buttons,
                                       MessageIcon icon) {
    Box box{text, buttons, icon, MessageAnswer::Ok, IsWindowThread()};
    BoxHandler handler;
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        if (!boxScript_.empty()) {
            handler = std::move(boxScript_.front());
            boxScript_.pop_front();
        }
        box.answer = boxDefault_.value_or(DefaultAnswer(buttons));
        index = boxes_.size();
        boxes_.push_back(box);
        Log("box " + text);
    }
    // Outside the lock: a handler may call back into the port (post, pump, tick).
    MessageAnswer answer = handler ? handler(box) : box.answer;
    std::lock_guard lock(mutex_);
    boxes_[index].answer = answer;
    return answer;
}

void FakePlatform::SetStatusText(int pane, const std::string& text) {
    std::lock_guard lock(mutex_);
    status_[pane].push_back(text);
    Log("status " + std::to_string(pane) + " " + text);
}

void FakePlatform::CheckMenuItem(int command, bool checked) {
    std::lock_guard lock(mutex_);
    checks_[command] = checked;
    checkOrder_.push_back(command);
    Log("check " + std::to_string(command) + (checked ? " 1" : " 0"));
}

void FakePlatform::SetWindowTitle(const std::string& title) {
    std::lock_guard lock(mutex_);
    titles_.push_back(title);
    Log("title " + title);
}

void FakePlatform::Invalidate() {
    invalidations_++;
}

void FakePlatform::PostCommand(int command) {
    std::lock_guard lock(mutex_);
    posted_.push_back(command);
    Log("post " + std::to_string(command));
}

void FakePlatform::PostClose() {
    std::lock_guard lock(mutex_);
    closeRequests_++;
    Log("close");
}

bool FakePlatform::IsWindowThread() const {
    std::lock_guard lock(mutex_);
    return std::this_thread::get_id() == windowThread_;
}

void FakePlatform::Sleep(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(ms);
    Log("sleep " + std::to_string(ms));
    if (sleepAdvancesClock_) {
        now_ += ms;
    }
}

void FakePlatform::Tone(std::uint32_t hz, std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    tones_.push_back({hz, ms});
    Log("tone " + std::to_string(hz) + " " + std::to_string(ms));
}

void FakePlatform::PlaySystemSound(SystemSound sound) {
    std::lock_guard lock(mutex_);
    sounds_.push_back(sound);
    Log(std::string("sound ") + SoundName(sound));
}

void FakePlatform::SetWaitCursor(bool on) {
    std::lock_guard lock(mutex_);
    waitCursor_ = on;
    Log(on ? "cursor 1" : "cursor 0");
}

std::uint32_t FakePlatform::TimeMs() {
    return now_.load();
}

TimerId FakePlatform::StartTimer(std::int64_t periodNs, std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    if (failTimers_ > 0) {
        failTimers_--;
        Log("timer fail");
        return 0;
    }
    TimerId id = nextTimer_++;
    Timer& timer = timers_[id];
    timer.periodNs = periodNs;
    timer.callback = std::move(callback);
    timersStarted_++;
    Log("timer start " + std::to_string(id));
    return id;
}

void FakePlatform::KillTimer(TimerId id) {
    std::unique_lock lock(mutex_);
    Log("timer kill " + std::to_string(id));
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.alive) {
        return;
    }
    it->second.alive = false;
    timersKilled_++;
    if (it->second.running > 0 && it->second.runningOn == std::this_thread::get_id()) {
        return; // from inside its own callback
    }
    timerIdle_.wait(lock, [&] { return timers_[id].running == 0; });
}

FileChoice FakePlatform::ChooseFile(const FileChooser& request) {
    ChooserHandler handler;
    {
        std::lock_guard lock(mutex_);
        choosers_.push_back(request);
        Log(std::string("chooser ") + ModeName(request.mode));
        if (!chooserScript_.empty()) {
            handler = std::move(chooserScript_.front());
            chooserScript_.pop_front();
        }
    }
    if (!handler) {
        return FileChoice{false, {}, request.selectedFilter};
    }
    return handler(request);
}

PixelSize FakePlatform::DrawingArea() {
    std::lock_guard lock(mutex_);
    return drawingArea_;
}

PixelSize FakePlatform::ScreenSize() {
    std::lock_guard lock(mutex_);
    return screenSize_;
}

void FakePlatform::SetCapture() {
    std::lock_guard lock(mutex_);
    capture_ = true;
    Log("capture 1");
}

void FakePlatform::ReleaseCapture() {
    std::lock_guard lock(mutex_);
    capture_ = false;
    Log("capture 0");
}

} // namespace telvo
