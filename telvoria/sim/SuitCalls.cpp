// The per-suit calls: flags, calibration, north, switches, drops, raw sensors, motors and LEDs,
// marker tracking and actor data.
#include "telvoria/sim/SuitList.h"

#include "telvoria/skeleton/Math.h"

using namespace telvo::sim;

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
        s->source->RequestNull();
        s->tracker.NullPose();
        return 1;
    }
    return 0;
}

int GyroSetNorth(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        s->north = s->source->TakeNorth();
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
        return (s->flags & SuitFlagJumping) != 0 && s->source->Jumping() ? 1 : 0;
    }
    return 0;
}

int GyroGetRaw(GyroHandle suit, Matrix* raw, int mode) {
    if (raw == nullptr || (mode != 0 && mode != 1)) {
        return 0;
    }
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        std::copy_n(s->source->Sensors(mode), RawSensorCount, raw);
        return 1;
    }
    return 0;
}

uint32_t GyroGetSilentSensors(GyroHandle suit) {
    if (auto s = Find(suit)) {
        std::lock_guard lock(s->m);
        return s->source->SilentSensors();
    }
    return 0;
}

int GyroGetUnassignedTracker(GyroHandle suit, int index, char* text, int size) {
    auto s = Find(suit);
    if (!s || text == nullptr || size <= 0 || index < 0) {
        return 0;
    }
    std::vector<std::string> names;
    {
        std::lock_guard lock(s->m);
        names = s->source->Unassigned();
    }
    if (static_cast<std::size_t>(index) >= names.size()) {
        return 0;
    }
    const std::string& name = names[static_cast<std::size_t>(index)];
    std::size_t n = std::min(name.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, name.data(), n);
    text[n] = '\0';
    return 1;
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
        s->source->SetActor(*actor);
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
