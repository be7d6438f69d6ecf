#include "tests/support/FakePlatform.h"

#include <utility>

namespace telvo {

int FakePlatform::Tick(TimerId id, int n) {
    int made = 0;
    for (; made < n; ++made) {
        std::function<void()> callback;
        {
            std::lock_guard lock(mutex_);
            auto it = timers_.find(id);
            if (it == timers_.end() || !it->second.alive) {
                break;
            }
            it->second.running++;
            it->second.runningOn = std::this_thread::get_id();
            callback = it->second.callback;
        }
        callback();
        Locked([&] { timers_[id].running--; });
        timerIdle_.notify_all();
    }
    return made;
}

std::map<TimerId, std::int64_t> FakePlatform::RunningTimers() const {
    std::lock_guard lock(mutex_);
    std::map<TimerId, std::int64_t> running;
    for (const auto& [id, timer] : timers_) {
        if (timer.alive) {
            running[id] = timer.periodNs;
        }
    }
    return running;
}

std::vector<std::string> FakePlatform::CallsOf(std::string_view prefix) const {
    std::vector<std::string> rest;
    for (const std::string& call : Calls()) {
        if (call.starts_with(prefix)) {
            rest.push_back(call.substr(prefix.size()));
        }
    }
    return rest;
}

std::optional<bool> FakePlatform::Checked(int command) const {
    return Locked([&] {
        auto it = checks_.find(command);
        return it == checks_.end() ? std::nullopt : std::optional(it->second);
    });
}

MessageAnswer FakePlatform::MessageBox(const std::string& text, MessageButtons buttons,
                                       MessageIcon icon, const std::string& detail) {
    const Box box{text, buttons, icon, IsWindowThread(), detail};
    BoxHandler answer;
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
        calls_.push_back("box " + text);
        answer = answerBox_;
    }
    // Outside the lock: a handler may call back into the port.
    return answer ? answer(box) : DismissAnswer(buttons);
}

TimerId FakePlatform::StartTimer(std::int64_t periodNs, std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    TimerId id = nextTimer_++;
    timers_[id] = Timer{periodNs, std::move(callback), true, 0, {}};
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
    Log(request.mode == FileChooser::Mode::Save ? "chooser Save" : "chooser Open");
    return Locked([&] {
        lastChooser_ = request;
        return choice_;
    });
}

} // namespace telvo
