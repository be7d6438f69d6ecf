// Trackers played over loopback for tests, benchmarks and demonstrations.
#include "telvoria/TelvoriaTrackers.h"

#include "telvoria/sim/Performer.h"
#include "telvoria/sim/SuitList.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/trackers/Protocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>

namespace telvo::trackers {

namespace {

constexpr int64_t RetryNs = 1'000'000'000; // a handshake a second while searching
constexpr int64_t DropNs = 5'000'000'000;  // nothing heard this long: search again
constexpr float Deg = std::numbers::pi_v<float> / 180.0f;

Quat FromArray(const std::array<float, 4>& a) {
    return Normalized({a[0], a[1], a[2], a[3]});
}

std::array<float, 4> ToArray(const Quat& q) {
    return {q.w, q.x, q.y, q.z};
}

} // namespace

struct Emulator::State {
    struct One {
        Tracker desc;
        int fd = -1;
        std::atomic<bool> connected{false};
        int64_t heardNs = 0;
        int64_t nextHelloNs = 0;
        uint64_t number = 0;
        bool held = false;
        Quat segment; // held orientation of the segment
        bool silent = false;
    };
    Options options;
    sockaddr_in receiver{};
    std::vector<std::unique_ptr<One>> trackers;
    std::mutex m; // guards held, segment and silent
    std::atomic<bool> stopping{false};
    std::atomic<uint64_t> rotations{0};
    std::thread thread;
    int64_t startNs = 0;

    void Send(One& t, const Bytes& b) {
        ::sendto(t.fd, b.data(), b.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&receiver), sizeof receiver);
    }

    // What the receiver said since the last tick; a silent tracker hears it and keeps quiet.
    void Listen(One& t, bool silent, int64_t now) {
        uint8_t buffer[MaxPacketSize];
        for (int i = 0; i < 64; ++i) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            ssize_t n = ::recvfrom(t.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &size);
            if (n < 0) {
                return;
            }
            if (silent || from.sin_addr.s_addr != receiver.sin_addr.s_addr ||
                from.sin_port != receiver.sin_port) {
                continue;
            }
            FromReceiver in = ParseFromReceiver({buffer, static_cast<std::size_t>(n)});
            t.heardNs = now;
            switch (in.kind) {
            case FromReceiver::Kind::Handshake:
                if (!t.connected.load()) {
                    t.connected.store(true);
                    t.number = 0;
                    Send(t, TrackerSensorInfo(t.number++, t.desc.sensor, SensorOk));
                }
                break;
            case FromReceiver::Kind::Heartbeat:
                Send(t, TrackerHeartbeat(t.number++));
                break;
            case FromReceiver::Kind::Ping:
                Send(t, TrackerPong(t.number++, in.ping));
                break;
            default:
                break;
            }
        }
    }

    Quat Reading(One& t, const Matrix* scripted) {
        Quat segment = t.held ? t.segment : FromMatrix(scripted[t.desc.segment]);
        Quat reference = AxisAngle(0.0f, 0.0f, 1.0f, t.desc.headingDegrees * Deg);
        return Normalized(Mul(Mul(reference, segment), FromArray(t.desc.mounting)));
    }

    void Tick(int64_t now) {
        Matrix scripted[RawSensorCount];
        double t = static_cast<double>(now - startNs) * 1e-9 - options.holdSeconds;
        if (t < 0.0) {
            std::fill(std::begin(scripted), std::end(scripted), math::Identity());
        } else {
            sim::ScriptPose pose = sim::ScriptAt(t);
            sim::SegmentOrientations(pose.posture, pose.heading, scripted);
        }
        std::lock_guard lock(m);
        for (auto& one : trackers) {
            One& k = *one;
            Listen(k, k.silent, now);
            if (k.silent) {
                continue;
            }
            if (k.connected.load() && now - k.heardNs >= DropNs) {
                k.connected.store(false);
            }
            if (!k.connected.load()) {
                if (now >= k.nextHelloNs) {
                    Send(k, TrackerHandshake(k.desc.mac, "telvoview-emulated"));
                    k.nextHelloNs = now + RetryNs;
                }
                continue;
            }
            Bytes rotation = TrackerRotation(k.number++, k.desc.sensor, Reading(k, scripted));
            if (options.bundles) {
                Bytes battery = TrackerBattery(0, 4.1f, 0.9f);
                rotation = TrackerBundle(k.number++, {BodyOf(rotation), BodyOf(battery)});
            }
            Send(k, rotation);
            rotations.fetch_add(1);
        }
    }

    void Run() {
        auto period = static_cast<int64_t>(1e9 / std::max(1.0, options.rate));
        int64_t next = sim::Now();
        while (!stopping.load()) {
            Tick(sim::Now());
            next += period;
            int64_t now = sim::Now();
            if (next < now) {
                next = now; // behind: carry on from here rather than burst
            }
            std::this_thread::sleep_for(std::chrono::nanoseconds(next - now));
        }
    }
};

Emulator::Emulator(const Options& options, std::vector<Tracker> trackers)
    : state_(std::make_unique<State>()) {
    state_->options = options;
    for (const Tracker& t : trackers) {
        auto one = std::make_unique<State::One>();
        one->desc = t;
        state_->trackers.push_back(std::move(one));
    }
}

Emulator::~Emulator() {
    Stop();
    for (auto& t : state_->trackers) {
        if (t->fd >= 0) {
            ::close(t->fd);
        }
    }
}

bool Emulator::Start() {
    State& s = *state_;
    if (s.thread.joinable()) {
        return true;
    }
    in_addr address{};
    // Only ever a receiver on this machine.
    if (::inet_pton(AF_INET, s.options.address.c_str(), &address) != 1 ||
        (ntohl(address.s_addr) >> 24) != 127) {
        return false;
    }
    s.receiver.sin_family = AF_INET;
    s.receiver.sin_addr = address;
    s.receiver.sin_port = htons(s.options.port);
    for (auto& t : s.trackers) {
        if (t->fd >= 0) {
            continue;
        }
        t->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (t->fd < 0 ||
            ::bind(t->fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            return false;
        }
    }
    s.startNs = sim::Now();
    s.stopping.store(false);
    s.thread = std::thread([&s] { s.Run(); });
    return true;
}

void Emulator::Stop() {
    state_->stopping.store(true);
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
}

void Emulator::Hold(std::size_t i, const std::array<float, 4>& segment) {
    std::lock_guard lock(state_->m);
    if (i < state_->trackers.size()) {
        state_->trackers[i]->held = true;
        state_->trackers[i]->segment = FromArray(segment);
    }
}

void Emulator::TurnAboutOwnX(std::size_t i, float degrees) {
    std::lock_guard lock(state_->m);
    if (i >= state_->trackers.size()) {
        return;
    }
    State::One& t = *state_->trackers[i];
    // The reading turns in the tracker's own axes: the segment turns by the same rotation
    // seen through the mounting.
    Quat mount = FromArray(t.desc.mounting);
    Quat turn = AxisAngle(1.0f, 0.0f, 0.0f, degrees * Deg);
    t.held = true;
    t.segment = Normalized(Mul(Mul(Mul(t.segment, mount), turn), Conj(mount)));
}

void Emulator::Silence(std::size_t i, bool silent) {
    std::lock_guard lock(state_->m);
    if (i < state_->trackers.size()) {
        state_->trackers[i]->silent = silent;
    }
}

bool Emulator::Connected(std::size_t i) const {
    return i < state_->trackers.size() && state_->trackers[i]->connected.load();
}

uint64_t Emulator::RotationsSent() const {
    return state_->rotations.load();
}

std::vector<Emulator::Tracker> Emulator::Standard(int count) {
    using namespace telvo::body;
    static constexpr int Order[] = {
        Hips,       Chest,        LeftHip,       RightHip,  LeftKnee,   RightKnee, LeftAnkle,
        RightAnkle, LeftShoulder, RightShoulder, LeftElbow, RightElbow, Waist,     Head,
        Neck,       LeftCollar,   RightCollar,   LeftWrist, RightWrist,
    };
    std::vector<Tracker> set;
    for (int i = 0; i < count && i < RawSensorCount; ++i) {
        Tracker t;
        t.mac = EmulatedMac(i + 1);
        t.segment = SensorOfNode[static_cast<std::size_t>(Order[i])];
        // Strapped on a little tilted, each with its own idea of where its heading points.
        t.mounting =
            ToArray(AxisAngle(1.0f, 0.0f, 0.0f, static_cast<float>(5 + (i * 7) % 20) * Deg));
        t.headingDegrees = static_cast<float>((i * 53) % 360);
        set.push_back(t);
    }
    return set;
}

} // namespace telvo::trackers
