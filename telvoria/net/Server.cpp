#include "telvoria/net/ServerThread.h"

#include "telvoria/TelvoriaFiles.h"

#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace telvo::net {

thread_local Server* serverOfThisThread = nullptr;

int Server::Open() {
    auto failed = [](int status, const std::string& what) {
        files::SetProblem(0, what + ": " + std::strerror(errno));
        return status;
    };
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) {
        return failed(StatusInvalidSocket, "no socket for the server");
    }
    int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = request_.address;
    at.sin_port = htons(request_.port);
    if (::bind(listen_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        return failed(StatusBindError, "cannot take port " + std::to_string(request_.port));
    }
    socklen_t size = sizeof at;
    if (::listen(listen_, 128) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        return failed(StatusSystemError, "cannot listen");
    }
    port_ = ntohs(at.sin_port);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (epoll_ < 0 || wake_ < 0 || timer_ < 0) {
        return failed(StatusSystemError, "cannot watch the sockets");
    }
    for (int fd : {listen_, wake_, timer_}) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) {
            return failed(StatusSystemError, "cannot watch the sockets");
        }
    }
    if (!request_.vmc.empty()) {
        udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (udp_ < 0) {
            return failed(StatusInvalidSocket, "no socket for VMC");
        }
    }
    heard_ = udp_ >= 0;
    return StatusOk;
}

void Server::Run() {
    serverOfThisThread = this;
    Ring& ring = TheRing();
    std::array<epoll_event, 64> events;
    int64_t nextCheck = 0;
    while (!stopping_) {
        // Told before the last look at the ring, so a frame pushed after it always wakes us.
        ring.sleeping.store(!polling_);
        bool pending = ring.head.load() != consumed_;
        // Without clients nothing is due but a paused listener.
        int timeout = pending                                       ? 0
                      : clients_.empty() && listenPausedUntil_ == 0 ? -1
                                                                    : LoopTimeoutMs;
        int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), timeout);
        ring.sleeping.store(false);
        if (n < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < n && !stopping_; ++i) {
            int fd = events[static_cast<std::size_t>(i)].data.fd;
            uint32_t what = events[static_cast<std::size_t>(i)].events;
            if (fd == wake_ || fd == timer_) {
                uint64_t count;
                while (::read(fd, &count, sizeof count) > 0) {
                }
            } else if (fd == listen_) {
                Accept();
            } else if (auto it = clients_.find(fd); it != clients_.end()) {
                Client& c = *it->second;
                if ((what & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
                    Read(c);
                }
                if (!c.doomed && (what & EPOLLOUT) != 0) {
                    Flush(c);
                }
                if (c.doomed) {
                    Close(fd);
                }
            }
        }
        ConsumeFrames();
        int64_t now = SteadyNs();
        if (polling_ != (heard_ && now - lastFrameNs_ < IdleAfterNs)) {
            polling_ = !polling_;
            itimerspec tick{};
            tick.it_interval.tv_nsec = polling_ ? PollNs : 0;
            tick.it_value = tick.it_interval;
            ::timerfd_settime(timer_, 0, &tick, nullptr);
        }
        if (now >= nextCheck) {
            CheckSlowClients(now);
            nextCheck = now + LoopTimeoutMs * Millisecond;
        }
    }
    while (!clients_.empty()) {
        Close(clients_.begin()->first);
    }
    finished_ = true;
}

void Server::Accept() {
    for (;;) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        int fd = ::accept4(listen_, reinterpret_cast<sockaddr*>(&from), &fromSize,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: a listener that stays readable would spin the loop.
                epoll_event e{};
                e.data.fd = listen_;
                ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listen_, &e);
                listenPausedUntil_ = SteadyNs() + LoopTimeoutMs * Millisecond;
            }
            return;
        }
        const int64_t now = SteadyNs();
        if (!admission_.Connect(from.sin_addr.s_addr, now)) {
            // Told why, so that a tool can say so; nothing else is read or sent.
            Bytes banned = EncodeAnswer(0, AnswerBanned);
            ::send(fd, banned.data(), banned.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            ::close(fd);
            continue;
        }
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if ((clients_.size() >= MaxClients && !MakeRoomForClient()) ||
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) {
            admission_.Disconnect(from.sin_addr.s_addr);
            ::close(fd);
            continue;
        }
        int on = 1;
        int buffer = SendBufferBytes;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->peer = from.sin_addr.s_addr;
        client->heardNs = now;
        client->authorised = request_.token.empty();
        Client& c = *client;
        clients_[fd] = std::move(client);
        TheRing().clients = clients_.size();
        UpdateAudience();
        Push(c, GreetingBytes(), false);
        Flush(c);
        if (c.doomed) {
            Close(fd);
        }
    }
}

// The table is full: the longest silent client that has not proved itself gives way, so that
// sockets that only hold a place cannot lock out an operator.
bool Server::MakeRoomForClient() {
    Client* quietest = nullptr;
    for (const auto& entry : clients_) {
        Client& c = *entry.second;
        bool proved = request_.token.empty() ? c.heard : c.authorised;
        if (!proved && (quietest == nullptr || c.heardNs < quietest->heardNs)) {
            quietest = &c;
        }
    }
    if (quietest == nullptr) {
        return false;
    }
    Close(quietest->fd);
    return true;
}

void Server::Read(Client& c) {
    uint8_t buffer[4096];
    std::size_t total = 0;
    while (total < ReadBytesPerTurn && !c.doomed) {
        ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            c.heard = true;
            c.heardNs = SteadyNs();
            total += static_cast<std::size_t>(n);
            auto take = [&](const CommandReader::Command& command) { OnCommand(c, command); };
            c.doomed = !c.reader.Feed(buffer, static_cast<std::size_t>(n), take) || c.doomed;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            c.doomed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    if (!c.queue.empty()) {
        Flush(c); // the answers, also to a client that is about to be closed
    }
}

namespace {

bool SameToken(std::string_view a, const std::string& b) {
    // Every byte is looked at whatever the first difference, so timing tells nothing.
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i]) ^
                static_cast<unsigned char>(b.empty() ? 0 : b[i % b.size()]);
    }
    return diff == 0;
}

} // namespace

void Server::OnCommand(Client& c, const CommandReader::Command& command) {
    if (c.doomed) {
        return; // what followed a wrong token in the same read
    }
    const int64_t now = SteadyNs();
    if (command.code == CommandToken) {
        if (request_.token.empty()) {
            Answer(c, CommandToken, AnswerTokenAccepted);
            return;
        }
        AnswerResult result =
            admission_.Token(c.peer, SameToken(command.argument, request_.token), now);
        c.authorised = result == AnswerTokenAccepted;
        c.doomed = !c.authorised;
        Answer(c, CommandToken, result);
        return;
    }
    AnswerResult result = c.authorised ? admission_.Command(c.peer, now) : AnswerTokenNeeded;
    if (result == AnswerTaken && request_.command != nullptr) {
        request_.command(command.code);
    }
    Answer(c, command.code, result);
}

void Server::Answer(Client& c, uint32_t code, AnswerResult result) {
    Push(c, std::make_shared<const Bytes>(EncodeAnswer(code, result)), false);
    if (c.queue.size() > ClientQueueFrames + MaxQueuedAnswers) {
        Flush(c);
        c.doomed = c.doomed || c.queue.size() > ClientQueueFrames + MaxQueuedAnswers;
    }
}

// With nobody to send to, the pump stops handing frames over and nothing is posed or encoded.

namespace {

struct Running {
    std::shared_ptr<Server> server;
    std::thread thread;
};

std::mutex& Control() {
    static std::mutex* m = new std::mutex;
    return *m;
}

std::unique_ptr<Running>& Current() {
    static auto* current = new std::unique_ptr<Running>;
    return *current;
}

void Detach(Ring& ring) {
    std::lock_guard lock(ring.producer);
    ring.running = false;
    ring.unheard = nullptr;
    ring.wakeFd = -1;
    ring.descriptor = nullptr;
    ring.port = 0;
}

// Ends the thread and closes the sockets; the control mutex is held.
void Finish(std::unique_ptr<Running>& running) {
    if (!running) {
        return;
    }
    running->server->RequestStop();
    if (running->thread.get_id() == std::this_thread::get_id()) {
        running->thread.detach();
    } else if (running->thread.joinable()) {
        running->thread.join();
    }
    running.reset();
    TheRing().clients = 0;
}

} // namespace

int StartServer(const StartRequest& request) {
    files::ClearProblem();
    if (request.descriptor == nullptr) {
        files::SetProblem(0, "no descriptor");
        return StatusBadArguments;
    }
    std::lock_guard control(Control());
    auto& current = Current();
    if (current && !current->server->Finished()) {
        files::SetProblem(0, "the server is already running");
        return StatusAlreadyRunning;
    }
    Finish(current); // one that ended from inside its own callback
    Ring& ring = TheRing();
    try {
        auto server = std::make_shared<Server>(request);
        if (int status = server->Open(); status != StatusOk) {
            return status;
        }
        {
            std::lock_guard lock(ring.producer);
            ring.descriptor = request.descriptor;
            ring.unheard = server->Heard() ? nullptr : request.descriptor;
            ring.divider = 0;
            ring.wakeFd = server->WakeFd();
            ring.sequence = 0;
            if (!ring.touched) {
                // The pump's first pass round the ring would otherwise take a page fault every
                // few frames, each one tens of microseconds.
                std::memset(static_cast<void*>(ring.slots.data()), 0, sizeof ring.slots);
                ring.touched = true;
            }
            ring.head = 0;
            ring.tail = 0;
            ring.port = server->Port();
            ring.running = true;
        }
        auto running = std::make_unique<Running>();
        running->server = server;
        try {
            running->thread = std::thread([server] { server->Run(); });
        } catch (const std::system_error&) {
            Detach(ring);
            files::SetProblem(0, "cannot start the server's thread");
            return StatusNoThread;
        }
        current = std::move(running);
    } catch (const std::bad_alloc&) {
        Detach(ring);
        files::SetProblem(0, "out of memory");
        return StatusOutOfMemory;
    }
    return StatusOk;
}

void StopServer() {
    Ring& ring = TheRing();
    if (Server* self = serverOfThisThread) {
        Detach(ring);
        self->StopFromInside();
        return;
    }
    std::lock_guard control(Control());
    Detach(ring);
    Finish(Current());
}

} // namespace telvo::net
