// The simulated suits: one thread per open suit (or a manual clock for tests), the library's
// lifecycle and the suit list.
#include "telvoria/sim/SuitList.h"

#include "telvoria/sim/FrameBytes.h"
#include "telvoria/sim/Performer.h"
#include "telvoria/trackers/TrackerSuit.h"

#include <sys/prctl.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace telvo::sim {

thread_local bool inCallback = false;

namespace {

// One sample into the frame: the performer's pose plus everything the suit reports with it.
void Produce(Suit& s, Frame& f, int64_t timestampNs) {
    std::memset(static_cast<void*>(&f), 0, sizeof f);
    s.source->SetFlags(s.flags);
    s.source->Next(static_cast<double>(s.periodNs) * 1e-9, f);
    uint32_t flags = 0;
    if ((s.flags & SuitFlagJumping) != 0 && s.source->Jumping()) {
        flags |= FrameJumping;
    }
    if ((s.aux & AuxValid) != 0) {
        flags |= FrameSwitchesValid;
    }
    flags |= (s.aux & 0x3fu) << FrameSwitchShift;
    flags |= s.tracker.Sample(s.sample * s.divider, s.source->LastPose(), s.actor, f);
    f.Flags = (flags | s.flagsSet) & ~s.flagsClear;
    bytes::Stamp(f, s.sequence, timestampNs, s.sample, s.info.Identity, s.info.FrameDivider);
}

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

} // namespace

bool HardwareSilent(const Suit& s, int64_t now) {
    int64_t heard = s.source->HeardNs();
    return heard != std::numeric_limits<int64_t>::max() &&
           now - heard >= int64_t{s.timeoutMs} * 1'000'000;
}

Step TakeSample(Suit& s, std::unique_lock<std::mutex>& lock, bool timeoutDue) {
    if (s.closing) {
        return Step::Closed;
    }
    double period = static_cast<double>(s.periodNs) * 1e-9;
    // Hardware that has been silent this long is due at once.
    bool hardware = HardwareSilent(s, Now());
    if (s.silent || hardware) {
        bool fire = (timeoutDue || hardware) && !s.timeoutFired;
        if (fire) {
            s.timeoutFired = true;
            s.scratch = s.info;
            lock.unlock();
            Call(s.onTimeout, &s.scratch);
            lock.lock();
        }
        return Step::Silent;
    }
    if (!s.silent) {
        s.timeoutFired = false; // a new silence gets its own message
    }
    if (s.pendingDrops > 0) {
        --s.pendingDrops;
        ++s.dropped;
        ++s.sample;
        s.source->Skip(period);
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

namespace {

void Run(std::shared_ptr<Suit> s) {
    // A sample is due at its deadline: the kernel's usual 50 us of timer slack would add to
    // every frame's age.
    ::prctl(PR_SET_TIMERSLACK, 1000UL);
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
        if (s->silent || HardwareSilent(*s, now)) {
            bool due = now - s->silentSinceNs >= int64_t{s->timeoutMs} * 1000000;
            // The suit's clock runs on while it says nothing, also while its timeout message
            // holds the thread: samples a silence let pass are not lost on the way.
            ++s->sample;
            s->source->Skip(static_cast<double>(s->periodNs) * 1e-9);
            TakeSample(*s, lock, due);
            int64_t behind = Now() - s->Deadline(s->sample);
            if (behind > s->periodNs) {
                auto passed = static_cast<uint64_t>(behind / s->periodNs);
                s->sample += passed;
                s->source->Skip(static_cast<double>(passed) * static_cast<double>(s->periodNs) *
                                1e-9);
            }
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
            s->source->Skip(static_cast<double>(missed) * static_cast<double>(s->periodNs) * 1e-9);
        }
    }
    s->delivering = false;
    s->cv.notify_all();
    lock.unlock();
    s->finished.store(true);
}

} // namespace

bool OnThisThread(Suit& s) {
    std::lock_guard lock(s.m);
    return s.delivering && s.deliverer == std::this_thread::get_id();
}

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

namespace {} // namespace

void SyncReceiver(Library& lib) {
    if (!lib.setup.trackers) {
        lib.receiver.reset();
        return;
    }
    const trackers::ReceiverOptions& wanted = lib.setup.trackers->receiver;
    if (!lib.receiver || !(lib.receiver->Options() == wanted)) {
        lib.receiver.reset(); // the port is free again before it is taken anew
        lib.receiver = trackers::Receiver::Start(wanted);
    }
}

namespace {

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
        SyncReceiver(lib);
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
        lib.setup.trackers.reset();
    }
    for (auto& s : all) {
        Stop(*s);
    }
    std::shared_ptr<telvo::trackers::Receiver> receiver;
    {
        std::lock_guard lock(lib.m);
        receiver = std::move(lib.receiver);
    }
    receiver.reset();
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
    SyncReceiver(lib);
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
    std::unique_ptr<FrameSource> source;
    if (IsTrackerSuit(lib.setup, index)) {
        if (!lib.receiver) {
            return 0; // its address could not be taken
        }
        source = telvo::trackers::MakeTrackerSuit(lib.receiver);
    } else {
        // Each suit's performer starts at its own point of the script.
        source = std::make_unique<Performer>(static_cast<double>(index) * 5.0);
    }
    auto s = std::make_shared<Suit>(std::move(source));
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
