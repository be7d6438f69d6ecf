#include "telvoria/trackers/Receiver.h"

#include "telvoria/sim/SuitList.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace telvo::trackers {

using Kind = Message::Kind;

struct Receiver::Device {
    sockaddr_in from{};
    Mac mac{};
    bool numbered = false; // a packet number has been taken since the handshake
    uint64_t lastNumber = 0;
    int64_t heardNs = 0;
    int64_t windowNs = 0; // start of the second the budget counts
    uint32_t inWindow = 0;
    uint32_t ping = 0;
    bool holdsSlot = false;
    std::vector<uint8_t> sensors; // the sensor numbers it has reported
};

namespace {

bool SameSender(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

int64_t ThreadCpuNs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

} // namespace

Receiver::Receiver(const ReceiverOptions& options)
    : options_(options), slots_(options.slots.size()) {}

std::shared_ptr<Receiver> Receiver::Start(const ReceiverOptions& options) {
    std::shared_ptr<Receiver> r(new Receiver(options));
    if (!r->Open()) {
        return nullptr;
    }
    r->heard_.store(sim::Now());
    r->thread_ = std::thread([raw = r.get()] { raw->Run(); });
    return r;
}

bool Receiver::Open() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (socket_ < 0 || wake_ < 0) {
        return false;
    }
    // Room for a burst from every tracker at once.
    int buffer = 1 << 20;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = options_.address;
    at.sin_port = htons(options_.port);
    socklen_t size = sizeof at;
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        return false;
    }
    port_ = ntohs(at.sin_port);
    return true;
}

Receiver::~Receiver() {
    stopping_.store(true);
    if (wake_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (int fd : {socket_, wake_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Receiver::Run() {
    // One byte more than a packet may hold tells an oversized one even where the kernel does
    // not report the whole length.
    std::vector<uint8_t> buffer(MaxPacketSize + 1);
    int64_t nextKeepAlive = sim::Now();
    int64_t cpuStart = ThreadCpuNs();
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    while (!stopping_.load()) {
        int64_t now = sim::Now();
        int waitMs =
            static_cast<int>(std::clamp<int64_t>((nextKeepAlive - now) / 1'000'000, 0, 500));
        ::poll(watched, 2, waitMs);
        // A bounded batch, so that keep-alives go out even under a flood.
        for (int i = 0; i < 256 && !stopping_.load(); ++i) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &size);
            if (n < 0) {
                break;
            }
            Take(buffer.data(), static_cast<std::size_t>(n), &from, sim::Now());
        }
        now = sim::Now();
        if (now >= nextKeepAlive) {
            KeepAlive(now);
            nextKeepAlive = now + KeepAliveNs;
        }
        std::lock_guard lock(m_);
        counts_.cpuNs = static_cast<uint64_t>(ThreadCpuNs() - cpuStart);
    }
}

Receiver::Device* Receiver::Find(const void* from) {
    const auto& at = *static_cast<const sockaddr_in*>(from);
    for (auto& d : devices_) {
        if (SameSender(d->from, at)) {
            return d.get();
        }
    }
    return nullptr;
}

void Receiver::Take(const uint8_t* data, std::size_t size, const void* from, int64_t now) {
    std::lock_guard lock(m_);
    ++counts_.packets;
    Verdict verdict = Parse({data, size}, packet_);
    switch (verdict) {
    case Verdict::Ok:
        break;
    case Verdict::Short:
        ++counts_.shortOnes;
        return;
    case Verdict::Oversized:
        ++counts_.oversized;
        return;
    case Verdict::Unknown:
        ++counts_.unknown;
        return;
    case Verdict::Malformed:
        ++counts_.malformed;
        return;
    }
    bool hello = packet_.messages.size() == 1 && packet_.messages[0].kind == Kind::Handshake;
    Device* d = Find(from);
    if (d == nullptr) {
        if (hello) {
            Welcome(packet_.messages[0], from, now);
        } else {
            ++counts_.strangers;
        }
        return;
    }
    if (now - d->windowNs >= 1'000'000'000) {
        d->windowNs = now;
        d->inWindow = 0;
    }
    if (++d->inWindow > options_.maxPacketsPerSecond) {
        ++counts_.overBudget;
        return;
    }
    if (hello) {
        Welcome(packet_.messages[0], from, now);
        return;
    }
    // Late packets would set an orientation back in time.
    if (d->numbered && packet_.number <= d->lastNumber) {
        ++counts_.stale;
        return;
    }
    d->numbered = true;
    d->lastNumber = packet_.number;
    d->heardNs = now;
    for (const Message& m : packet_.messages) {
        Handle(*d, m, now);
    }
    if (d->holdsSlot) {
        heard_.store(std::max(heard_.load(std::memory_order_relaxed), now),
                     std::memory_order_relaxed);
    }
}

// A handshake: a new tracker, one that changed its address, or one that starts over.
void Receiver::Welcome(const Message& hello, const void* from, int64_t now) {
    const auto& at = *static_cast<const sockaddr_in*>(from);
    Device* d = nullptr;
    for (auto& known : devices_) {
        if (known->mac == hello.mac) {
            d = known.get();
        }
    }
    if (d == nullptr) {
        if (devices_.size() >= options_.maxTrackers) {
            // Room is made only by a tracker long gone.
            auto oldest = std::min_element(devices_.begin(), devices_.end(), [](auto& a, auto& b) {
                return a->heardNs < b->heardNs;
            });
            if (oldest == devices_.end() || now - (*oldest)->heardNs < ForgetAfterNs) {
                ++counts_.refused;
                return;
            }
            devices_.erase(oldest);
        }
        devices_.push_back(std::make_unique<Device>());
        d = devices_.back().get();
        d->mac = hello.mac;
        d->windowNs = now;
        d->holdsSlot = std::any_of(options_.slots.begin(), options_.slots.end(),
                                   [&](const Slot& s) { return s.mac == hello.mac; });
    }
    d->from = at;
    d->numbered = false;
    d->heardNs = now;
    Send(HandshakeReply(), &d->from);
}

void Receiver::Handle(Device& d, const Message& m, int64_t now) {
    switch (m.kind) {
    case Kind::Handshake:
    case Kind::Heartbeat:
    case Kind::Pong:
        return;
    case Kind::SensorInfo:
        if (std::find(d.sensors.begin(), d.sensors.end(), m.sensor) == d.sensors.end()) {
            d.sensors.push_back(m.sensor);
        }
        Send(SensorInfoAck(m.sensor, m.status), &d.from);
        return;
    case Kind::Rotation: {
        if (std::find(d.sensors.begin(), d.sensors.end(), m.sensor) == d.sensors.end()) {
            d.sensors.push_back(m.sensor);
        }
        for (std::size_t i = 0; i < options_.slots.size(); ++i) {
            if (options_.slots[i].Names(d.mac, m.sensor)) {
                SlotState& s = slots_[i];
                s.rotation = m.rotation;
                s.seen = true;
                s.arrivalNs = now;
                ++s.updates;
                ++counts_.rotations;
            }
        }
        return;
    }
    case Kind::FeatureFlags:
        Send(ServerFeatureFlags(), &d.from);
        return;
    case Kind::Ignored:
        ++counts_.ignored;
        return;
    case Kind::Unknown:
        ++counts_.unknown;
        return;
    }
}

void Receiver::KeepAlive(int64_t now) {
    std::lock_guard lock(m_);
    for (auto& d : devices_) {
        // A tracker silent this long has dropped the connection and shakes hands anew.
        if (now - d->heardNs >= ForgetAfterNs) {
            continue;
        }
        Send(HeartbeatRequest(), &d->from);
        d->ping = static_cast<uint32_t>(now / 1000) ^ 0x5a5a5a5au;
        Send(Ping(d->ping), &d->from);
    }
}

void Receiver::Send(const Bytes& bytes, const void* to) {
    ::sendto(socket_, bytes.data(), bytes.size(), MSG_DONTWAIT, static_cast<const sockaddr*>(to),
             sizeof(sockaddr_in));
}

void Receiver::Read(std::vector<SlotState>& out) const {
    std::lock_guard lock(m_);
    out.assign(slots_.begin(), slots_.end());
    for (std::size_t i = 0; i < options_.slots.size(); ++i) {
        for (const auto& d : devices_) {
            if (d->mac == options_.slots[i].mac) {
                out[i].heardNs = d->heardNs;
            }
        }
    }
}

ReceiverCounts Receiver::Counts() const {
    std::lock_guard lock(m_);
    return counts_;
}

std::vector<SeenTracker> Receiver::Seen(int64_t nowNs) const {
    std::lock_guard lock(m_);
    std::vector<SeenTracker> seen;
    for (const auto& d : devices_) {
        std::vector<int> sensors(d->sensors.begin(), d->sensors.end());
        if (sensors.empty()) {
            sensors.push_back(-1); // shook hands, has not said which sensors it has
        }
        for (int sensor : sensors) {
            SeenTracker t;
            t.mac = MacText(d->mac);
            t.sensor = sensor;
            t.silent = nowNs - d->heardNs >= SilentAfterNs;
            for (const Slot& slot : options_.slots) {
                if (sensor >= 0 && slot.Names(d->mac, static_cast<uint8_t>(sensor))) {
                    t.suitSensor = slot.suitSensor;
                }
            }
            seen.push_back(t);
        }
    }
    return seen;
}

} // namespace telvo::trackers
