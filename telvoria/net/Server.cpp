#include "telvoria/net/Server.h"

#include "telvoria/TelvoriaFiles.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/net/Admission.h"
#include "telvoria/net/Vmc.h"
#include "telvoria/net/Wire.h"
#include "telvoria/sim/FrameBytes.h"
#include "telvoria/skeleton/Actor.h"

#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace telvo::net {

namespace {

constexpr std::size_t RingSize = 256; // two seconds at 120 frames per second
constexpr int SendBufferBytes = 256 * 1024;
constexpr std::size_t ReadBytesPerTurn = 16 * 1024;
// Answers a client may leave unread before it is closed: it commands without listening.
constexpr std::size_t MaxQueuedAnswers = 64;
constexpr int LoopTimeoutMs = 100;
// While frames flow the server looks at the ring this often instead of being woken: a wake-up
// costs the frame pump a system call and, in a virtual machine, an interrupt to another CPU.
constexpr int64_t PollNs = 200000;
constexpr int64_t IdleAfterNs = 1000000000;
constexpr int64_t Millisecond = 1000000;

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t RealNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Slot {
    Frame frame;
    uint64_t sequence;
    uint32_t divider;
};

// Where the frame pump meets the server thread. Never destroyed: a frame may arrive while the
// process ends.
struct Ring {
    std::mutex producer; // frame pumps against each other and against start and stop
    std::atomic<bool> running{false};
    // The descriptor while the server runs with no client and no VMC target: the pump then only
    // notes the divider. The program keeps its descriptor for the life of the process.
    std::atomic<const SuitDescriptorEx*> unheard{nullptr};
    std::atomic<uint32_t> divider{0};             // of the last frame handed over, for the greeting
    int wakeFd = -1;                              // under producer
    const SuitDescriptorEx* descriptor = nullptr; // under producer
    uint64_t sequence = 0;                        // under producer
    std::array<Slot, RingSize> slots;
    std::atomic<uint64_t> head{0}; // written by the pump
    std::atomic<uint64_t> tail{0}; // written by the server thread once a slot is read
    std::atomic<bool> sleeping{false};
    std::atomic<uint64_t> overrun{0};
    std::atomic<uint64_t> encoded{0};
    std::atomic<uint16_t> port{0};
    std::atomic<std::size_t> clients{0};
};

Ring& TheRing() {
    static Ring* ring = new Ring;
    return *ring;
}

void Wake(int fd) {
    uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

struct Queued {
    std::shared_ptr<const Bytes> bytes;
    bool frame; // frames may be dropped; the greeting and answers never
};

struct Client {
    int fd = -1;
    uint32_t peer = 0; // its address
    std::deque<Queued> queue;
    std::size_t sent = 0; // bytes of the front entry written
    int64_t behindSinceNs = 0;
    int64_t heardNs = 0; // the last byte from it, or its connection
    bool heard = false;
    bool watchingWrite = false;
    bool authorised = false;
    bool doomed = false;
    CommandReader reader;
};

class Server;
thread_local Server* serverOfThisThread = nullptr;

class Server {
public:
    explicit Server(StartRequest request)
        : request_(std::move(request)), actor_(request_.descriptor->Actor),
          offsets_(body::ActorOffsets(actor_)) {}
    ~Server() {
        for (int fd : {listen_, epoll_, wake_, udp_, timer_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int Open();
    void Run();
    void RequestStop() {
        stopping_ = true;
        Wake(wake_);
    }
    void StopFromInside() { stopping_ = true; }
    bool Finished() const { return finished_; }
    int WakeFd() const { return wake_; }
    uint16_t Port() const { return port_; }
    // Someone to send frames to: a client or a VMC target.
    bool Heard() const { return heard_; }

private:
    void Accept();
    bool MakeRoomForClient();
    void Read(Client& c);
    void OnCommand(Client& c, const CommandReader::Command& command);
    void Answer(Client& c, uint32_t code, AnswerResult result);
    void ConsumeFrames();
    void Push(Client& c, std::shared_ptr<const Bytes> bytes, bool frame);
    void Flush(Client& c);
    void Watch(Client& c, bool write);
    void Close(int fd);
    void UpdateAudience();
    void CheckSlowClients(int64_t now);
    std::shared_ptr<const Bytes> GreetingBytes();

    StartRequest request_;
    ActorData actor_;
    std::array<Vector, SkeletonNodeCount> offsets_;
    int listen_ = -1;
    int epoll_ = -1;
    int wake_ = -1;
    int udp_ = -1;
    int timer_ = -1;
    bool polling_ = false; // the timer runs; the pump does not wake us
    bool heard_ = false;
    int64_t lastFrameNs_ = 0;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::map<int, std::unique_ptr<Client>> clients_;
    Admission admission_{SteadyNs()};
    uint64_t consumed_ = 0;
    std::shared_ptr<const Bytes> greeting_;
    uint32_t greetingDivider_ = UINT32_MAX;
    int64_t listenPausedUntil_ = 0;
    int64_t startNs_ = SteadyNs();
};

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

std::shared_ptr<const Bytes> Server::GreetingBytes() {
    uint32_t divider = TheRing().divider.load(std::memory_order_relaxed);
    if (!greeting_ || greetingDivider_ != divider) {
        uint32_t flags = request_.token.empty() ? 0 : GreetingTokenRequired;
        greeting_ = std::make_shared<const Bytes>(EncodeGreeting(divider, flags, actor_, offsets_));
        greetingDivider_ = divider;
    }
    return greeting_;
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

bool SameToken(std::string_view a, const std::string& b) {
    // Every byte is looked at whatever the first difference, so timing tells nothing.
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i]) ^
                static_cast<unsigned char>(b.empty() ? 0 : b[i % b.size()]);
    }
    return diff == 0;
}

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

void Server::ConsumeFrames() {
    Ring& ring = TheRing();
    uint64_t head = ring.head.load(std::memory_order_acquire);
    while (consumed_ < head && !stopping_) {
        const Slot& slot = ring.slots[consumed_ % RingSize];
        if (clients_.empty() && udp_ < 0) {
            ring.tail.store(++consumed_, std::memory_order_release); // the last listener left
            continue;
        }
        body::Pose pose;
        body::Solve(offsets_, slot.frame.RawMatrices, slot.frame.RootPosition, pose);
        int64_t stamp = sim::bytes::Take<int64_t>(slot.frame.Reserved712 + sim::bytes::TimestampAt);
        int64_t steady = SteadyNs();
        if (stamp <= 0 || stamp > steady) {
            stamp = steady; // not a time of this machine's clock
        }
        lastFrameNs_ = steady;
        auto bytes = std::make_shared<const Bytes>(EncodeFrame(
            slot.sequence, stamp + (RealNs() - steady), slot.divider, slot.frame, pose));
        ring.encoded.fetch_add(1, std::memory_order_relaxed);
        ring.tail.store(++consumed_, std::memory_order_release);
        for (auto it = clients_.begin(); it != clients_.end();) {
            Client& c = *it->second;
            ++it;
            Push(c, bytes, true);
            Flush(c);
            if (c.doomed) {
                Close(c.fd);
            }
        }
        if (udp_ >= 0) {
            float seconds = static_cast<float>(static_cast<double>(steady - startNs_) * 1e-9);
            for (const Bytes& bundle : vmc::EncodePose(pose, offsets_, seconds)) {
                for (const sockaddr_in& to : request_.vmc) {
                    ::sendto(udp_, bundle.data(), bundle.size(), MSG_DONTWAIT,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
                }
            }
        }
    }
}

void Server::Push(Client& c, std::shared_ptr<const Bytes> bytes, bool frame) {
    if (frame && c.queue.size() >= ClientQueueFrames) {
        // Drop the oldest frame not yet begun; the client sees the gap in the sequence.
        for (auto it = c.queue.begin(); it != c.queue.end(); ++it) {
            if (it->frame && !(it == c.queue.begin() && c.sent > 0)) {
                c.queue.erase(it);
                break;
            }
        }
    }
    c.queue.push_back({std::move(bytes), frame});
}

void Server::Flush(Client& c) {
    while (!c.queue.empty()) {
        std::array<iovec, 64> parts;
        std::size_t k = 0;
        for (auto it = c.queue.begin(); it != c.queue.end() && k < parts.size(); ++it, ++k) {
            std::size_t skip = k == 0 ? c.sent : 0;
            parts[k].iov_base = const_cast<uint8_t*>(it->bytes->data() + skip);
            parts[k].iov_len = it->bytes->size() - skip;
        }
        msghdr message{};
        message.msg_iov = parts.data();
        message.msg_iovlen = k;
        ssize_t n = ::sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            c.doomed = c.doomed || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        auto left = static_cast<std::size_t>(n);
        while (left > 0) {
            std::size_t rest = c.queue.front().bytes->size() - c.sent;
            if (left < rest) {
                c.sent += left;
                break;
            }
            left -= rest;
            c.sent = 0;
            c.queue.pop_front();
        }
    }
    if (c.queue.empty()) {
        c.behindSinceNs = 0;
    } else if (c.behindSinceNs == 0) {
        c.behindSinceNs = SteadyNs();
    }
    Watch(c, !c.queue.empty());
}

void Server::Watch(Client& c, bool write) {
    if (c.watchingWrite == write || c.doomed) {
        return;
    }
    epoll_event e{};
    e.events = EPOLLIN | (write ? EPOLLOUT : 0u);
    e.data.fd = c.fd;
    c.doomed = ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &e) != 0;
    c.watchingWrite = write;
}

void Server::Close(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) {
        return;
    }
    // Bytes left unread would turn the close into a reset, which may destroy the last answer.
    uint8_t rest[4096];
    for (int i = 0; i < 16 && ::recv(fd, rest, sizeof rest, MSG_DONTWAIT) > 0; ++i) {
    }
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    admission_.Disconnect(it->second->peer);
    clients_.erase(it);
    TheRing().clients = clients_.size();
    UpdateAudience();
}

// With nobody to send to, the pump stops handing frames over and nothing is posed or encoded.
void Server::UpdateAudience() {
    bool heard = !clients_.empty() || udp_ >= 0;
    if (heard == heard_) {
        return;
    }
    heard_ = heard;
    Ring& ring = TheRing();
    std::lock_guard lock(ring.producer);
    if (ring.running) {
        ring.unheard.store(heard ? nullptr : ring.descriptor, std::memory_order_relaxed);
    }
}

void Server::CheckSlowClients(int64_t now) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        Client& c = *it->second;
        ++it;
        if (c.behindSinceNs != 0 &&
            now - c.behindSinceNs > SlowClientSeconds * 1000 * Millisecond) {
            Close(c.fd);
        }
    }
    if (listenPausedUntil_ != 0 && now >= listenPausedUntil_) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = listen_;
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listen_, &e);
        listenPausedUntil_ = 0;
    }
}

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

namespace {

uint32_t DividerOf(const SuitDescriptorEx& descriptor) {
    return descriptor.FrameDivider > 0 ? static_cast<uint32_t>(descriptor.FrameDivider) : 1u;
}

} // namespace

void SendFrame(const Frame& frame) {
    Ring& ring = TheRing();
    // Nobody listens: only the divider a later greeting reports.
    if (const SuitDescriptorEx* d = ring.unheard.load(std::memory_order_relaxed)) {
        ring.divider.store(DividerOf(*d), std::memory_order_relaxed);
        return;
    }
    if (!ring.running.load(std::memory_order_relaxed)) {
        return;
    }
    std::lock_guard lock(ring.producer);
    if (!ring.running) {
        return;
    }
    const uint32_t divider = DividerOf(*ring.descriptor);
    ring.divider.store(divider, std::memory_order_relaxed);
    uint64_t sequence = ring.sequence++;
    uint64_t head = ring.head.load(std::memory_order_relaxed);
    if (head - ring.tail.load(std::memory_order_acquire) >= RingSize) {
        ring.overrun.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Slot& slot = ring.slots[head % RingSize];
    slot.frame = frame;
    slot.sequence = sequence;
    slot.divider = divider;
    ring.head.store(head + 1);
    if (ring.sleeping.exchange(false)) {
        Wake(ring.wakeFd);
    }
}

uint16_t RunningPort() {
    return TheRing().port;
}

std::size_t RunningClients() {
    return TheRing().clients;
}

uint64_t Overruns() {
    return TheRing().overrun;
}

uint64_t Encoded() {
    return TheRing().encoded;
}

} // namespace telvo::net
