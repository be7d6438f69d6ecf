#include "tests/support/FakePlatform.h"

#include <utility>

namespace telvo {

namespace {

MessageAnswer FirstButton(MessageButtons buttons) {
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

} // namespace

FakePlatform::FakePlatform() = default;

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

void FakePlatform::AnswerNextChooser(FileChoice choice) {
    std::lock_guard lock(mutex_);
    chooserScript_.push_back(std::move(choice));
}

void FakePlatform::SetDrawingArea(PixelSize size) {
    std::lock_guard lock(mutex_);
    drawingArea_ = size;
}

void FakePlatform::SetScreenSize(PixelSize size) {
    std::lock_guard lock(mutex_);
    screenSize_ = size;
}

PixelSize FakePlatform::DrawingArea() {
    std::lock_guard lock(mutex_);
    return drawingArea_;
}

PixelSize FakePlatform::ScreenSize() {
    std::lock_guard lock(mutex_);
    return screenSize_;
}

// --- Timers -----------------------------------------------------------------------------

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

void FakePlatform::TickAll() {
    for (TimerId id : RunningTimers()) {
        Tick(id);
    }
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
    return it == timers_.end() ? std::nullopt : std::optional(it->second.periodNs);
}

// --- Posted commands --------------------------------------------------------------------

std::vector<int> FakePlatform::Posted() const {
    std::lock_guard lock(mutex_);
    return {posted_.begin(), posted_.end()};
}

void FakePlatform::Pump(const std::function<void(int)>& dispatch) {
    for (;;) {
        int command = 0;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) {
                return;
            }
            command = posted_.front();
            posted_.pop_front();
        }
        dispatch(command);
    }
}

void FakePlatform::ClearPosted() {
    std::lock_guard lock(mutex_);
    posted_.clear();
}

// --- Records ----------------------------------------------------------------------------

void FakePlatform::Log(std::string line) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(line));
}

std::vector<std::string> FakePlatform::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakePlatform::CallsOf(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> rest;
    for (const std::string& call : calls_) {
        if (call.starts_with(prefix)) {
            rest.push_back(call.substr(prefix.size()));
        }
    }
    return rest;
}

void FakePlatform::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    boxes_.clear();
    invalidations_ = 0;
    choosers_.clear();
}

std::vector<FakePlatform::Box> FakePlatform::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> FakePlatform::BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : Boxes()) {
        texts.push_back(box.text);
    }
    return texts;
}

std::string FakePlatform::StatusText(int pane) const {
    std::vector<std::string> history = CallsOf("status " + std::to_string(pane) + " ");
    return history.empty() ? std::string() : history.back();
}

std::string FakePlatform::Title() const {
    std::vector<std::string> titles = CallsOf("title ");
    return titles.empty() ? std::string() : titles.back();
}

std::optional<bool> FakePlatform::Checked(int command) const {
    std::lock_guard lock(mutex_);
    auto it = checks_.find(command);
    return it == checks_.end() ? std::nullopt : std::optional(it->second);
}

std::vector<FileChooser> FakePlatform::Choosers() const {
    std::lock_guard lock(mutex_);
    return choosers_;
}

// --- Platform ---------------------------------------------------------------------------

MessageAnswer FakePlatform::MessageBox(const std::string& text, MessageButtons buttons,
                                       MessageIcon icon) {
    const Box box{text, buttons, icon, IsWindowThread()};
    BoxHandler handler;
    MessageAnswer answer = FirstButton(buttons);
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
        calls_.push_back("box " + text);
        if (!boxScript_.empty()) {
            handler = std::move(boxScript_.front());
            boxScript_.pop_front();
        }
        answer = boxDefault_.value_or(answer);
    }
    // Outside the lock: a handler may call back into the port (post, pump, tick).
    return handler ? handler(box) : answer;
}

void FakePlatform::SetStatusText(int pane, const std::string& text) {
    Log("status " + std::to_string(pane) + " " + text);
}

void FakePlatform::CheckMenuItem(int command, bool checked) {
    std::lock_guard lock(mutex_);
    checks_[command] = checked;
    calls_.push_back("check " + std::to_string(command) + (checked ? " 1" : " 0"));
}

void FakePlatform::PostCommand(int command) {
    std::lock_guard lock(mutex_);
    posted_.push_back(command);
    calls_.push_back("post " + std::to_string(command));
}

void FakePlatform::Sleep(std::uint32_t ms) {
    now_ += ms;
    Log("sleep " + std::to_string(ms));
}

void FakePlatform::Tone(std::uint32_t hz, std::uint32_t ms) {
    Log("tone " + std::to_string(hz) + " " + std::to_string(ms));
}

void FakePlatform::PlaySystemSound(SystemSound sound) {
    Log(sound == SystemSound::Exclamation ? "sound Exclamation" : "sound Default");
}

TimerId FakePlatform::StartTimer(std::int64_t periodNs, std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    if (failTimers_ > 0) {
        failTimers_--;
        calls_.push_back("timer fail");
        return 0;
    }
    TimerId id = nextTimer_++;
    Timer& timer = timers_[id];
    timer.periodNs = periodNs;
    timer.callback = std::move(callback);
    calls_.push_back("timer start " + std::to_string(id));
    return id;
}

void FakePlatform::KillTimer(TimerId id) {
    std::unique_lock lock(mutex_);
    calls_.push_back("timer kill " + std::to_string(id));
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.alive) {
        return;
    }
    it->second.alive = false;
    if (it->second.running > 0 && it->second.runningOn == std::this_thread::get_id()) {
        return; // from inside its own callback
    }
    timerIdle_.wait(lock, [&] { return timers_[id].running == 0; });
}

FileChoice FakePlatform::ChooseFile(const FileChooser& request) {
    std::lock_guard lock(mutex_);
    choosers_.push_back(request);
    calls_.push_back(request.mode == FileChooser::Mode::Save ? "chooser Save" : "chooser Open");
    if (chooserScript_.empty()) {
        return FileChoice{false, {}, request.selectedFilter};
    }
    FileChoice choice = std::move(chooserScript_.front());
    chooserScript_.pop_front();
    return choice;
}

} // namespace telvo
