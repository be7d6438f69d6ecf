#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace telvo {

// Turns SIGTERM and SIGINT into a call on the window thread: the handler only writes one byte
// into a pipe, and a socket notifier on the other end runs the callback from the event loop.
// One relay at a time; the previous handlers come back when it is destroyed.
class SignalRelay {
public:
    explicit SignalRelay(std::function<void(int signal)> onSignal);
    ~SignalRelay();
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

    // False when the pipe or the handlers could not be set up (the program runs without).
    bool Active() const { return active_; }

private:
    void Drain();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fds_[2] = {-1, -1};
    bool active_ = false;
};

} // namespace telvo
