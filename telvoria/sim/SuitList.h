#pragma once

// What every suit's files share: the suit record, the library's list of open suits and
// one sample's delivery. Suits.cpp runs the suits and the library's lifecycle, SuitCalls.cpp
// the per-suit calls, Controls.cpp the controls of TelvoriaSim.h.

#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/sim/Config.h"
#include "telvoria/sim/FrameSource.h"
#include "telvoria/sim/Tracker.h"
#include "telvoria/skeleton/Actor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace telvo::sim {

using Clock = std::chrono::steady_clock;

constexpr double BaseRate = 120.0;
// A suit thread that falls further behind than this drops the samples it missed.
constexpr int MaxLateSamples = 4;
inline const Vector DefaultNorth{0.0f, -1.0f, 0.0f};

inline int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

inline SuitInfo InfoOf(const SimSuit& desc) {
    SuitInfo info;
    std::memset(&info, 0, sizeof info);
    info.Identity = desc.identity;
    std::size_t n = std::min(desc.name.size(), sizeof info.Name - 1);
    std::memcpy(info.Name, desc.name.data(), n);
    info.FrameDivider = desc.frameDivider;
    return info;
}

inline uint32_t Divider(uint32_t d) {
    return d == 0 ? 1 : d;
}

struct Suit {
    GyroHandle handle = 0;
    GyroFrameCallback onFrame = nullptr;
    GyroTimeoutCallback onTimeout = nullptr;
    bool manual = false;
    uint32_t divider = 1;
    int64_t periodNs = 0;
    std::thread thread;
    std::atomic<bool> finished{false};
    // Handed to the callbacks; only the delivering thread touches it.
    SuitInfo scratch{};

    // Everything below is guarded by m.
    std::mutex m;
    std::condition_variable cv;
    SuitInfo info{};
    bool started = false;
    bool closing = false;
    bool delivering = false;
    std::thread::id deliverer;
    int64_t startNs = 0;
    uint64_t sample = 0;
    uint64_t sequence = 0;
    uint64_t delivered = 0;
    uint32_t aux = AuxValid;
    uint32_t flagsSet = 0;
    uint32_t flagsClear = 0;
    uint32_t pendingDrops = 0;
    uint32_t dropped = 0;
    bool silent = false;
    bool timeoutFired = false;
    int64_t silentSinceNs = 0;
    int timeoutMs = 1000;
    int flags = SuitFlagJumping;
    ActorData actor = body::DefaultActor();
    Tracker tracker;
    Vector north = DefaultNorth;
    // The performer, or the trackers of a suit made of them.
    std::unique_ptr<FrameSource> source;

    explicit Suit(std::unique_ptr<FrameSource> from) : source(std::move(from)) {}

    int64_t Deadline(uint64_t k) const {
        return startNs +
               static_cast<int64_t>(static_cast<double>(k) * static_cast<double>(periodNs));
    }
};

struct Library {
    std::mutex m;
    Controls controls;
    bool initialised = false;
    bool exitHook = false;
    Setup setup;
    std::map<GyroHandle, std::shared_ptr<Suit>> open;
    std::vector<std::shared_ptr<Suit>> retired; // closed from their own thread, not joined yet
    GyroHandle nextHandle = 1;
    std::atomic<uint8_t> motorLeds{0};
    // Listens while the setup has a suit of trackers, so that they connect before it opens.
    std::shared_ptr<trackers::Receiver> receiver;
    // Held while GyroFinish stops the suits, so that every caller returns only once all
    // callbacks have ended.
    std::mutex finishing;
};

// Never destroyed: suit threads may still run while the process exits.
inline Library& Lib() {
    static Library* lib = new Library;
    return *lib;
}

inline std::shared_ptr<Suit> Find(GyroHandle handle) {
    if (handle == 0) {
        return nullptr;
    }
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    auto it = lib.open.find(handle);
    return it == lib.open.end() ? nullptr : it->second;
}

enum class Step { Delivered, Dropped, Silent, Closed };

// The receiver the setup asks for: kept while its options stay, started anew when they change.
void SyncReceiver(Library& lib);

// Whether the hardware behind the suit has said nothing for the suit's timeout.
bool HardwareSilent(const Suit& s, int64_t now);

// One sample of the suit, with its lock held on entry and exit; the callbacks run unlocked.
// Silent suits call the timeout callback once when timeoutDue says so.
Step TakeSample(Suit& s, std::unique_lock<std::mutex>& lock, bool timeoutDue);
// Waits until the suit delivers nothing any more; never waits for the calling thread itself.
void Stop(Suit& s);
// Joins the retired suits that have ended.
void Reap();
// Set while this thread runs one of the program's callbacks.
extern thread_local bool inCallback;

} // namespace telvo::sim
