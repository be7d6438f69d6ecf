// The controls of TelvoriaSim.h: what tests and tools set and read of the simulation.
#include "telvoria/sim/SuitList.h"

#include "telvoria/sim/FrameBytes.h"
#include "telvoria/skeleton/Recording.h"

namespace telvo::sim {

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
