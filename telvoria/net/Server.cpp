#include "telvoria/net/Server.h"

#include "telvoria/TelvoriaNet.h"
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

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
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
constexpr std::size_t MaxClients = 256;
constexpr int SendBufferBytes = 256 * 1024;
constexpr std::size_t ReadBytesPerTurn = 16 * 1024;
constexpr double CommandBurst = 20.0;
constexpr double CommandsPerSecond = 20.0;
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
    int wakeFd = -1;                              // under producer
    const SuitDescriptorEx* descriptor = nullptr; // under producer
    uint64_t sequence = 0;                        // under producer
    std::array<Slot, RingSize> slots;
    std::atomic<uint64_t> head{0}; // written by the pump
    std::atomic<uint64_t> tail{0}; // written by the server thread once a slot is read
    std::atomic<bool> sleeping{false};
    std::atomic<uint64_t> overrun{0};
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
    bool frame; // frames may be dropped; the greeting never
};

struct Client {
    int fd = -1;
    std::deque<Queued> queue;
    std::size_t sent = 0; // bytes of the front entry written
    int64_t behindSinceNs = 0;
    bool watchingWrite = false;
    bool authorised = false;
    bool doomed = false;
    double budget = CommandBurst;
    int64_t budgetAtNs = 0;
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

private:
    void Accept();
    void Read(Client& c);
    void OnCommand(Client& c, const CommandReader::Command& command);
    void ConsumeFrames();
    void Push(Client& c, std::shared_ptr<const Bytes> bytes, bool frame);
    void Flush(Client& c);
    void Watch(Client& c, bool write);
    void Close(int fd);
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
    int64_t lastFrameNs_ = 0;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::map<int, std::unique_ptr<Client>> clients_;
    uint64_t consumed_ = 0;
    uint32_t divider_ = 0;
    std::shared_ptr<const Bytes> greeting_;
    uint32_t greetingDivider_ = UINT32_MAX;
    int64_t listenPausedUntil_ = 0;
    int64_t startNs_ = SteadyNs();
};

int Server::Open() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) {
        return StatusInvalidSocket;
    }
    int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = request_.address;
    at.sin_port = htons(request_.port);
    if (::bind(listen_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        return StatusBindError;
    }
    socklen_t size = sizeof at;
    if (::listen(listen_, 128) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        return StatusSystemError;
    }
    port_ = ntohs(at.sin_port);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (epoll_ < 0 || wake_ < 0 || timer_ < 0) {
        return StatusSystemError;
    }
    for (int fd : {listen_, wake_, timer_}) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) {
            return StatusSystemError;
        }
    }
    if (!request_.vmc.empty()) {
        udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (udp_ < 0) {
            return StatusInvalidSocket;
        }
    }
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
        int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                             pending ? 0 : LoopTimeoutMs);
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
        if (polling_ != (now - lastFrameNs_ < IdleAfterNs)) {
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
        int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if (clients_.size() >= MaxClients || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) {
            ::close(fd);
            continue;
        }
        int on = 1;
        int buffer = SendBufferBytes;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->authorised = request_.token.empty();
        client->budgetAtNs = SteadyNs();
        Client& c = *client;
        clients_[fd] = std::move(client);
        TheRing().clients = clients_.size();
        Push(c, GreetingBytes(), false);
        Flush(c);
        if (c.doomed) {
            Close(fd);
        }
    }
}

std::shared_ptr<const Bytes> Server::GreetingBytes() {
    if (!greeting_ || greetingDivider_ != divider_) {
        uint32_t flags = request_.token.empty() ? 0 : GreetingTokenRequired;
        greeting_ = std::make_shared<const Bytes>(EncodeGreeting(divider_, flags, actor_, offsets_));
        greetingDivider_ = divider_;
    }
    return greeting_;
}

void Server::Read(Client& c) {
    uint8_t buffer[4096];
    std::size_t total = 0;
    while (total < ReadBytesPerTurn && !c.doomed) {
        ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            auto take = [&](const CommandReader::Command& command) { OnCommand(c, command); };
            c.doomed = !c.reader.Feed(buffer, static_cast<std::size_t>(n), take) || c.doomed;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            c.doomed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            return;
        }
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
    if (command.code == CommandToken) {
        if (!request_.token.empty()) {
            c.authorised = SameToken(command.argument, request_.token);
            c.doomed = !c.authorised;
        }
        return;
    }
    if (!c.authorised || request_.command == nullptr) {
        return;
    }
    // A flood of commands from one client reaches the window only at a steady trickle.
    int64_t now = SteadyNs();
    c.budget = std::min(CommandBurst,
                        c.budget + static_cast<double>(now - c.budgetAtNs) * 1e-9 * CommandsPerSecond);
    c.budgetAtNs = now;
    if (c.budget < 1.0) {
        return;
    }
    c.budget -= 1.0;
    request_.command(command.code);
}

void Server::ConsumeFrames() {
    Ring& ring = TheRing();
    uint64_t head = ring.head.load(std::memory_order_acquire);
    while (consumed_ < head && !stopping_) {
        const Slot& slot = ring.slots[consumed_ % RingSize];
        body::Pose pose;
        body::Solve(offsets_, slot.frame.RawMatrices, slot.frame.RootPosition, pose);
        int64_t stamp = sim::bytes::Take<int64_t>(slot.frame.Reserved712 + sim::bytes::TimestampAt);
        int64_t steady = SteadyNs();
        if (stamp <= 0 || stamp > steady) {
            stamp = steady; // not a time of this machine's clock
        }
        divider_ = slot.divider;
        lastFrameNs_ = steady;
        auto bytes = std::make_shared<const Bytes>(
            EncodeFrame(slot.sequence, stamp + (RealNs() - steady), slot.divider, slot.frame, pose));
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
            c.doomed = errno != EAGAIN && errno != EWOULDBLOCK;
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
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    clients_.erase(it);
    TheRing().clients = clients_.size();
}

void Server::CheckSlowClients(int64_t now) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        Client& c = *it->second;
        ++it;
        if (c.behindSinceNs != 0 && now - c.behindSinceNs > SlowClientSeconds * 1000 * Millisecond) {
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
    if (request.descriptor == nullptr) {
        return StatusBadArguments;
    }
    std::lock_guard control(Control());
    auto& current = Current();
    if (current && !current->server->Finished()) {
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
            return StatusNoThread;
        }
        current = std::move(running);
    } catch (const std::bad_alloc&) {
        Detach(ring);
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

void SendFrame(const Frame& frame) {
    Ring& ring = TheRing();
    if (!ring.running.load(std::memory_order_relaxed)) {
        return;
    }
    std::lock_guard lock(ring.producer);
    if (!ring.running) {
        return;
    }
    uint64_t sequence = ring.sequence++;
    uint64_t head = ring.head.load(std::memory_order_relaxed);
    if (head - ring.tail.load(std::memory_order_acquire) >= RingSize) {
        ring.overrun.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Slot& slot = ring.slots[head % RingSize];
    slot.frame = frame;
    slot.sequence = sequence;
    int32_t divider = ring.descriptor->FrameDivider;
    slot.divider = divider > 0 ? static_cast<uint32_t>(divider) : 1u; // 0 counts as 1
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

} // namespace telvo::net
