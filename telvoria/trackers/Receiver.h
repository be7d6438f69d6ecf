#pragma once

// The trackers' UDP endpoint: one thread that answers discovery, keeps every tracker alive
// with heartbeats and pings, acknowledges sensor info and keeps the newest orientation of each
// assigned sensor. It answers only the senders of well-formed packets on the address it was
// given, never broadcasts, and drops (and counts) what it cannot use.

#include "telvoria/TelvoriaTrackers.h"
#include "telvoria/trackers/Protocol.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace telvo::trackers {

// One sensor of one tracker, as telvoria-sim.ini names it ("MAC/N").
struct Slot {
    Mac mac{};
    uint8_t sensor = 0;
    int suitSensor = -1; // the frame's sensor it drives
    bool operator==(const Slot&) const = default;
    bool Names(const Mac& m, uint8_t n) const { return mac == m && sensor == n; }
};

struct ReceiverOptions {
    uint32_t address = 0; // IPv4, network byte order
    uint16_t port = 0;
    std::vector<Slot> slots;
    std::size_t maxTrackers = 64;
    uint32_t maxPacketsPerSecond = 2000; // per tracker
    bool operator==(const ReceiverOptions&) const = default;
};

// The newest of one slot.
struct SlotState {
    Quat rotation;
    bool seen = false;     // a rotation has arrived
    int64_t heardNs = 0;   // the tracker's last packet of any kind
    int64_t arrivalNs = 0; // the newest rotation's arrival
    uint64_t updates = 0;  // rotations taken
};

// Silence after which a tracker counts as silent; it has dropped the connection by 5 s.
constexpr int64_t SilentAfterNs = 1'000'000'000;
constexpr int64_t KeepAliveNs = 500'000'000;
constexpr int64_t ForgetAfterNs = 5'000'000'000;

class Receiver {
public:
    // Listening, or null when the address cannot be taken.
    static std::shared_ptr<Receiver> Start(const ReceiverOptions& options);
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    const ReceiverOptions& Options() const { return options_; }
    uint16_t Port() const { return port_; }
    // The slots' newest states, in the order of the options' slots.
    void Read(std::vector<SlotState>& out) const;
    // The newest packet from a tracker that holds a slot (steady-clock ns), else the start.
    int64_t HeardNs() const { return heard_.load(std::memory_order_relaxed); }
    ReceiverCounts Counts() const;
    std::vector<SeenTracker> Seen(int64_t nowNs) const;

private:
    struct Device;
    explicit Receiver(const ReceiverOptions& options);
    bool Open();
    void Run();
    void Take(const uint8_t* data, std::size_t size, const void* from, int64_t now);
    void Welcome(const Message& hello, const void* from, int64_t now);
    void Handle(Device& d, const Message& m, int64_t now);
    void KeepAlive(int64_t now);
    void Send(const Bytes& bytes, const void* to);
    Device* Find(const void* from);

    ReceiverOptions options_;
    int socket_ = -1;
    int wake_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int64_t> heard_{0};
    std::thread thread_;
    Packet packet_; // the thread's

    mutable std::mutex m_; // guards everything below
    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<SlotState> slots_;
    ReceiverCounts counts_;
};

} // namespace telvo::trackers
