// The simulated suits: the library's lifecycle, the suit list, one thread per open suit (or a
// manual clock for tests), and the per-suit calls.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/sim/Config.h"
#include "telvoria/sim/FrameBytes.h"
#include "telvoria/sim/Performer.h"
#include "telvoria/sim/Tracker.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Recording.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace telvo::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double BaseRate = 120.0;
// A suit thread that falls further behind than this drops the samples it missed.
constexpr int MaxLateSamples = 4;
const Vector DefaultNorth{0.0f, -1.0f, 0.0f};

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

SuitInfo InfoOf(const SimSuit& desc) {
    SuitInfo info;
    std::memset(&info, 0, sizeof info);
    info.Identity = desc.identity;
    std::size_t n = std::min(desc.name.size(), sizeof info.Name - 1);
    std::memcpy(info.Name, desc.name.data(), n);
    info.FrameDivider = desc.frameDivider;
    return info;
}

uint32_t Divider(uint32_t d) {
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
    Performer performer;

    explicit Suit(double scriptStart) : performer(scriptStart) {}

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
    // Held while GyroFinish stops the suits, so that every caller returns only once all
    // callbacks have ended.
    std::mutex finishing;
};

// Never destroyed: suit threads may still run while the process exits.
Library& Lib() {
    static Library* lib = new Library;
    return *lib;
}

std::shared_ptr<Suit> Find(GyroHandle handle) {
    if (handle == 0) {
        return nullptr;
    }
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    auto it = lib.open.find(handle);
    return it == lib.open.end() ? nullptr : it->second;
}

// One sample into the frame: the performer's pose plus everything the suit reports with it.
void Produce(Suit& s, Frame& f, int64_t timestampNs) {
    std::memset(static_cast<void*>(&f), 0, sizeof f);
    s.performer.SetFlags(s.flags);
    s.performer.Next(static_cast<double>(s.periodNs) * 1e-9, f);
    uint32_t flags = 0;
    if ((s.flags & SuitFlagJumping) != 0 && s.performer.Jumping()) {
        flags |= FrameJumping;
    }
    if ((s.aux & AuxValid) != 0) {
        flags |= FrameSwitchesValid;
    }
    flags |= (s.aux & 0x3fu) << FrameSwitchShift;
    flags |= s.tracker.Sample(s.sample * s.divider, s.performer.LastPose(), s.actor, f);
    f.Flags = (flags | s.flagsSet) & ~s.flagsClear;
    bytes::Stamp(f, s.sequence, timestampNs, s.sample, s.info.Identity, s.info.FrameDivider);
}

enum class Step { Delivered, Dropped, Silent, Closed };

// Set while this thread runs one of the program's callbacks.
thread_local bool inCallback = false;

void Call(GyroFrameCallback f, const Frame* frame, SuitInfo* info) {
    if (f != nullptr) {
        bool outer = std::exchange(inCallback, true);
        f(frame, info);
        inCallback = outer;
    }
}

void Call(GyroTimeoutCallback f, SuitInfo* info) {
    if (f != nullptr) {
        bool outer = std::exchange(inCallback, true);
        f(info);
        inCallback = outer;
    }
}

// One sample of the suit, with its lock held on entry and exit; the callbacks run unlocked.
// Silent suits call the timeout callback once when timeoutDue says so.
Step TakeSample(Suit& s, std::unique_lock<std::mutex>& lock, bool timeoutDue) {
    if (s.closing) {
        return Step::Closed;
    }
    double period = static_cast<double>(s.periodNs) * 1e-9;
    if (s.silent) {
        bool fire = timeoutDue && !s.timeoutFired;
        if (fire) {
            s.timeoutFired = true;
            s.scratch = s.info;
            lock.unlock();
            Call(s.onTimeout, &s.scratch);
            lock.lock();
        }
        return Step::Silent;
    }
    if (s.pendingDrops > 0) {
        --s.pendingDrops;
        ++s.dropped;
        ++s.sample;
        s.performer.Skip(period);
        return Step::Dropped;
    }
    Frame frame;
    Produce(s, frame,
            s.manual ? static_cast<int64_t>(s.sample) * s.periodNs : s.Deadline(s.sample));
    ++s.sample;
    ++s.sequence;
    s.scratch = s.info;
    lock.unlock();
    Call(s.onFrame, &frame, &s.scratch);
    lock.lock();
    // The program may write the divider of its record (0 becomes 1); keep what it wrote.
    if (s.info.FrameDivider == 0 && s.scratch.FrameDivider != 0) {
        s.info.FrameDivider = s.scratch.FrameDivider;
    }
    ++s.delivered;
    return Step::Delivered;
}

void Run(std::shared_ptr<Suit> s) {
    std::unique_lock lock(s->m);
    s->cv.wait(lock, [&] { return s->started || s->closing; });
    while (!s->closing) {
        int64_t deadline = s->Deadline(s->sample);
        s->cv.wait_until(lock, Clock::time_point(std::chrono::nanoseconds(deadline)),
                         [&] { return s->closing; });
        if (s->closing) {
            break;
        }
        int64_t now = Now();
        if (s->silent) {
            bool due = now - s->silentSinceNs >= int64_t{s->timeoutMs} * 1000000;
            // The suit's clock runs on while it says nothing.
            ++s->sample;
            s->performer.Skip(static_cast<double>(s->periodNs) * 1e-9);
            TakeSample(*s, lock, due);
            continue;
        }
        TakeSample(*s, lock, false);
        // A callback that held the thread too long costs the samples it missed.
        now = Now();
        int64_t late = now - s->Deadline(s->sample);
        if (late > MaxLateSamples * s->periodNs) {
            auto missed = static_cast<uint64_t>(late / s->periodNs);
            s->sample += missed;
            s->dropped += static_cast<uint32_t>(missed);
            s->performer.Skip(static_cast<double>(missed) * static_cast<double>(s->periodNs) *
                              1e-9);
        }
    }
    s->delivering = false;
    s->cv.notify_all();
    lock.unlock();
    s->finished.store(true);
}

bool OnThisThread(Suit& s) {
    std::lock_guard lock(s.m);
    return s.delivering && s.deliverer == std::this_thread::get_id();
}

// Waits until the suit delivers nothing any more; never waits for the calling thread itself.
void Stop(Suit& s) {
    {
        std::lock_guard lock(s.m);
        s.closing = true;
        s.cv.notify_all();
    }
    if (OnThisThread(s)) {
        if (s.thread.joinable()) {
            s.thread.detach(); // it ends by itself when the callback returns
        }
        return;
    }
    if (s.thread.joinable()) {
        s.thread.join();
    } else {
        std::unique_lock lock(s.m);
        s.cv.wait(lock, [&] { return !s.delivering; });
    }
}

// Joins the retired suits that have ended.
void Reap() {
    Library& lib = Lib();
    std::vector<std::shared_ptr<Suit>> done;
    {
        std::lock_guard lock(lib.m);
        auto ended = [](const std::shared_ptr<Suit>& s) {
            if (s->thread.joinable() || !s->manual) {
                return s->finished.load();
            }
            std::lock_guard l(s->m);
            return !s->delivering;
        };
        auto it = std::stable_partition(lib.retired.begin(), lib.retired.end(),
                                        [&](const auto& s) { return !ended(s); });
        done.assign(it, lib.retired.end());
        lib.retired.erase(it, lib.retired.end());
    }
    for (auto& s : done) {
        if (s->thread.joinable()) {
            s->thread.join();
        }
    }
}

void FinishAtExit() {
    GyroFinish();
}

// Suits listed twice alike are one suit.
bool InUse(const Library& lib, const SimSuit& desc) {
    SuitInfo listed = InfoOf(desc);
    for (const auto& [handle, s] : lib.open) {
        if (s->info.Identity == listed.Identity &&
            std::strncmp(s->info.Name, listed.Name, sizeof listed.Name) == 0 &&
            s->divider == Divider(listed.FrameDivider)) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---- Control of the simulation -----------------------------------------------------------

void Reset() {
    GyroFinish();
    Library& lib = Lib();
    {
        std::lock_guard lock(lib.m);
        lib.controls = Controls{};
        lib.setup = Setup{};
    }
    lib.motorLeds.store(0);
    recording::SetLimit(0);
    body::ResetFootGeometry();
}

Controls CurrentControls() {
    std::lock_guard lock(Lib().m);
    return Lib().controls;
}

void SetConfigFolder(const std::string& folder) {
    std::lock_guard lock(Lib().m);
    Lib().controls.configFolder = folder;
}

void UseConfigFile(bool use) {
    std::lock_guard lock(Lib().m);
    Lib().controls.useConfigFile = use;
}

void SetSuits(const std::vector<SimSuit>& suits) {
    std::lock_guard lock(Lib().m);
    Lib().controls.suits = suits;
}

void SetTrackerPresent(bool present) {
    std::lock_guard lock(Lib().m);
    Lib().controls.tracker = present;
    Lib().setup.tracker = present;
}

void SetTrackerSync(int exponent) {
    std::lock_guard lock(Lib().m);
    Lib().controls.trackerSync = exponent;
    Lib().setup.trackerSync = exponent;
}

void SetInitFails(bool fails) {
    std::lock_guard lock(Lib().m);
    Lib().controls.initFails = fails;
}

void SetOpenFails(bool fails) {
    std::lock_guard lock(Lib().m);
    Lib().controls.openFails = fails;
}

void SetManualClock(bool manual) {
    std::lock_guard lock(Lib().m);
    Lib().controls.manualClock = manual;
}

int Deliver(GyroHandle handle, int n) {
    auto s = Find(handle);
    if (!s || !s->manual || n <= 0) {
        return 0;
    }
    std::unique_lock lock(s->m);
    if (s->delivering) {
        return 0; // one delivering thread at a time
    }
    s->delivering = true;
    s->deliverer = std::this_thread::get_id();
    int count = 0;
    for (int i = 0; i < n; ++i) {
        Step step = TakeSample(*s, lock, true);
        if (step == Step::Delivered) {
            ++count;
        } else if (step != Step::Dropped) {
            break;
        }
    }
    s->delivering = false;
    s->cv.notify_all();
    return count;
}

void SetAux(GyroHandle handle, uint32_t aux) {
    if (auto s = Find(handle)) {
        std::lock_guard lock(s->m);
        s->aux = aux;
    }
}

void SetFrameFlags(GyroHandle handle, uint32_t set, uint32_t clear) {
    if (auto s = Find(handle)) {
        std::lock_guard lock(s->m);
        s->flagsSet = set;
        s->flagsClear = clear;
    }
}

void DropFrames(GyroHandle handle, uint32_t n) {
    if (auto s = Find(handle)) {
        std::lock_guard lock(s->m);
        s->pendingDrops += n;
    }
}

void SetSilent(GyroHandle handle, bool silent) {
    if (auto s = Find(handle)) {
        std::lock_guard lock(s->m);
        if (silent && !s->silent) {
            s->silentSinceNs = Now();
        }
        s->silent = silent;
        s->timeoutFired = false;
    }
}

void SetTimeoutMs(int ms) {
    std::lock_guard lock(Lib().m);
    Lib().controls.timeoutMs = std::max(1, ms);
    Lib().setup.timeoutMs = std::max(1, ms);
    for (auto& [handle, s] : Lib().open) {
        std::lock_guard l(s->m);
        s->timeoutMs = std::max(1, ms);
    }
}

void SetRecordingLimit(uint32_t frames) {
    recording::SetLimit(frames);
}

uint8_t MotorLedBits() {
    return Lib().motorLeds.load();
}

int OpenSuitCount() {
    std::lock_guard lock(Lib().m);
    return static_cast<int>(Lib().open.size());
}

uint64_t FrameSequence(const Frame& frame) {
    return bytes::Take<uint64_t>(frame.Reserved4);
}

int64_t FrameTimestampNs(const Frame& frame) {
    return bytes::Take<int64_t>(frame.Reserved712 + bytes::TimestampAt);
}

uint64_t FrameSampleIndex(const Frame& frame) {
    return bytes::Take<uint64_t>(frame.Reserved712 + bytes::SampleAt);
}

} // namespace telvo::sim

// ---- The library's lifecycle and suits ---------------------------------------------------

using namespace telvo::sim;

int GyroInit() {
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    if (lib.controls.initFails) {
        return 0;
    }
    if (!lib.initialised) {
        lib.setup = LoadSetup(lib.controls);
        lib.initialised = true;
    }
    if (!lib.exitHook) {
        lib.exitHook = std::atexit(FinishAtExit) == 0;
    }
    return 1;
}

void GyroFinish() {
    NetworkFinish();
    Library& lib = Lib();
    // From inside a callback, waiting for another finisher could wait for this very callback.
    std::unique_lock finishing(lib.finishing, std::defer_lock);
    if (!inCallback) {
        finishing.lock();
    }
    std::vector<std::shared_ptr<Suit>> all;
    {
        std::lock_guard lock(lib.m);
        for (auto& [handle, s] : lib.open) {
            all.push_back(s);
        }
        all.insert(all.end(), lib.retired.begin(), lib.retired.end());
        lib.open.clear();
        lib.retired.clear();
        lib.initialised = false;
        lib.setup.suits.clear();
    }
    for (auto& s : all) {
        Stop(*s);
    }
}

uint32_t GyroVersion() {
    return 3u | (2u << 16);
}

int GyroFindSuits() {
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    if (!lib.initialised) {
        return 0;
    }
    lib.setup = LoadSetup(lib.controls);
    return static_cast<int>(lib.setup.suits.size());
}

int GyroNumSuits() {
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    return lib.initialised ? static_cast<int>(lib.setup.suits.size()) : 0;
}

int GyroEnumerateSuitInfo(int index, SuitInfo* info) {
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    if (info == nullptr || !lib.initialised || index < 0 ||
        index >= static_cast<int>(lib.setup.suits.size())) {
        return 0;
    }
    *info = InfoOf(lib.setup.suits[static_cast<std::size_t>(index)]);
    return 1;
}

int GyroGetSuitInfo(GyroHandle suit, SuitInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        *info = s->info;
        return 1;
    }
    // No open suit: the one the library would choose.
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    if (suit == 0 && lib.initialised && !lib.setup.suits.empty()) {
        *info = InfoOf(lib.setup.suits.front());
        return 1;
    }
    std::memset(info, 0, sizeof *info);
    return 0;
}

GyroHandle GyroOpen(const SuitInfo* info, GyroFrameCallback frame, GyroTimeoutCallback timeout) {
    Reap();
    Library& lib = Lib();
    std::lock_guard lock(lib.m);
    if (!lib.initialised || lib.controls.openFails) {
        return 0;
    }
    // By suit number; among suits of one number the one whose whole record was given, so
    // that each of two suits with the same number can be chosen.
    const SimSuit* chosen = nullptr;
    std::size_t index = 0;
    int best = -1;
    for (std::size_t i = 0; i < lib.setup.suits.size(); ++i) {
        const SimSuit& desc = lib.setup.suits[i];
        if (InUse(lib, desc) ||
            (info != nullptr && (desc.identity & 0xffffu) != (info->Identity & 0xffffu))) {
            continue;
        }
        int likeness = 0;
        if (info != nullptr) {
            SuitInfo listed = InfoOf(desc);
            likeness = (listed.Identity == info->Identity ? 2 : 0) +
                       (std::strncmp(listed.Name, info->Name, sizeof listed.Name) == 0 &&
                                Divider(listed.FrameDivider) == Divider(info->FrameDivider)
                            ? 1
                            : 0);
        }
        if (likeness > best) {
            best = likeness;
            chosen = &desc;
            index = i;
        }
    }
    if (chosen == nullptr) {
        return 0;
    }
    // Each suit's performer starts at its own point of the script.
    auto s = std::make_shared<Suit>(static_cast<double>(index) * 5.0);
    s->handle = lib.nextHandle++;
    s->onFrame = frame;
    s->onTimeout = timeout;
    s->manual = lib.controls.manualClock;
    s->info = InfoOf(*chosen);
    s->divider = Divider(chosen->frameDivider);
    s->periodNs = static_cast<int64_t>(std::llround(1e9 * s->divider / BaseRate));
    s->timeoutMs = lib.setup.timeoutMs;
    if (s->manual) {
        s->started = true;
    } else {
        // The first sample comes one period after the open has returned.
        s->startNs = Now() + s->periodNs;
        s->delivering = true;
        s->thread = std::thread(Run, s);
        std::thread::id id = s->thread.get_id();
        std::lock_guard l(s->m);
        s->deliverer = id;
        s->started = true;
        s->cv.notify_all();
    }
    lib.open[s->handle] = s;
    return s->handle;
}

int GyroClose(GyroHandle suit) {
    std::shared_ptr<Suit> s;
    {
        Library& lib = Lib();
        std::lock_guard lock(lib.m);
        auto it = lib.open.find(suit);
        if (suit == 0 || it == lib.open.end()) {
            return 0;
        }
        s = it->second;
        lib.open.erase(it);
        if (OnThisThread(*s)) {
            // Closed from its own callback: the thread ends when the callback returns.
            std::lock_guard l(s->m);
            s->closing = true;
            s->cv.notify_all();
            lib.retired.push_back(s);
            return 1;
        }
    }
    Stop(*s);
    Reap();
    return 1;
}

int GyroGetFlags(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return s->flags;
    }
    return SuitFlagJumping;
}

int GyroSetFlags(GyroHandle suit, int flags) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->flags = flags;
        return 1;
    }
    return 0;
}

float GyroGetFrameRate(GyroHandle suit) {
    if (auto s = Find(suit)) {
        return static_cast<float>(BaseRate / s->divider);
    }
    return static_cast<float>(BaseRate);
}

int GyroSetNull(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->performer.RequestNull();
        s->tracker.NullPose();
        return 1;
    }
    return 0;
}

int GyroSetNorth(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->north = s->performer.Facing();
        return 1;
    }
    return 0;
}

int GyroGetNorth(GyroHandle suit, Vector* north) {
    if (north == nullptr) {
        return 0;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        *north = s->north;
        return 1;
    }
    *north = DefaultNorth;
    return 0;
}

uint32_t GyroGetAux(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return s->aux;
    }
    return 0;
}

void GyroClearDropped(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->dropped = 0;
    }
}

uint32_t GyroGetDropped(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return s->dropped;
    }
    return 0;
}

int GyroJumping(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return (s->flags & SuitFlagJumping) != 0 && s->performer.Jumping() ? 1 : 0;
    }
    return 0;
}

int GyroGetRaw(GyroHandle suit, Matrix* raw, int mode) {
    if (raw == nullptr || (mode != 0 && mode != 1)) {
        return 0;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        std::copy_n(s->performer.Sensors(mode), RawSensorCount, raw);
        return 1;
    }
    return 0;
}

int GyroSetMotorLEDs(uint8_t bits) {
    Lib().motorLeds.store(bits);
    return 1;
}

const char* GyroGetUnitName(int index) {
    static const char* const units[] = {"Inches", "Feet", "Millimeters", "Centimeters", "Meters"};
    if (index < 0 || index >= 5) {
        return "";
    }
    return units[index];
}

int GyroEnableMarkerTracking(GyroHandle suit, int enable) {
    auto s = Find(suit);
    if (!s) {
        return 0;
    }
    Setup setup;
    Controls controls;
    {
        std::lock_guard lock(Lib().m);
        setup = Lib().setup;
        controls = Lib().controls;
    }
    {
        std::lock_guard lock(s->m);
        if (enable == 0 || !setup.tracker) {
            s->tracker.Stop();
            return enable == 0 ? 1 : 0;
        }
        if (s->tracker.On()) {
            return 1;
        }
    }
    // The files are read without a lock held; the suit delivers meanwhile.
    std::vector<Vector> emitters = TrackerEmitters(controls);
    std::lock_guard lock(s->m);
    if (!s->tracker.On()) {
        s->tracker.Start(emitters, setup.trackerSync);
    }
    return 1;
}

uint32_t GyroGetTrackerStatus(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return s->tracker.Status();
    }
    return 0;
}

void GyroFinishTracking() {
    std::vector<std::shared_ptr<Suit>> suits;
    {
        std::lock_guard lock(Lib().m);
        for (auto& [handle, s] : Lib().open) {
            suits.push_back(s);
        }
    }
    for (auto& s : suits) {
        std::lock_guard lock(s->m);
        s->tracker.Stop();
    }
}

void GyroGetActorData(GyroHandle suit, ActorData* actor) {
    if (actor == nullptr) {
        return;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        *actor = s->actor;
        return;
    }
    *actor = telvo::body::DefaultActor();
}

void GyroSetActorData(GyroHandle suit, const ActorData* actor) {
    if (actor == nullptr) {
        return;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->actor = *actor;
        s->performer.SetActor(*actor);
    }
}

const char* GyroGetMarkerName(int marker) {
    // Marker i is the body's marker as emitter i + 1 measures it.
    static const char* const names[] = {"Marker1", "Marker2", "Marker3", "Marker4"};
    if (marker < 0 || marker >= 4) {
        return "";
    }
    return names[marker];
}
