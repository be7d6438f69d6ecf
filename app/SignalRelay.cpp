#include "SignalRelay.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo {

namespace {

std::atomic<int> relayFd{-1};
struct sigaction previousTerm {};
struct sigaction previousInt {};

extern "C" void OnSignal(int signal) {
    const int saved = errno;
    const int fd = relayFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        // A full pipe already holds a wake-up; nothing else is safe to do here.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

SignalRelay::SignalRelay(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (relayFd.load() >= 0) {
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { Drain(); });
    relayFd.store(fds_[0]);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    active_ = ::sigaction(SIGTERM, &action, &previousTerm) == 0 &&
              ::sigaction(SIGINT, &action, &previousInt) == 0;
}

SignalRelay::~SignalRelay() {
    if (fds_[0] < 0) {
        return;
    }
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    relayFd.store(-1);
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void SignalRelay::Drain() {
    unsigned char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(fds_[1], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (onSignal_) {
                onSignal_(bytes[i]);
            }
        }
    }
}

} // namespace telvo
