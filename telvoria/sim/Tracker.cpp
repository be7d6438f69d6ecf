#include "telvoria/sim/Tracker.h"

#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>

namespace telvo::sim {

namespace {

// Without external sync the tracker runs on its own clock at 30 frames per second.
constexpr int FreeRunningExponent = 2;
// A measurement is off by up to this share of the distance to its emitter on each axis.
constexpr float ErrorPerDistance = 0.004f;
constexpr float MaxFilterCoefficient = 0.99f;
// Offsets further than this from their node are not a marker on the body.
constexpr float MaxMarkerOffset = 100.0f;

// Repeatable noise in [-1, 1] for one axis of one measurement.
float Noise(uint64_t measurement, int emitter, int axis) {
    uint64_t x = measurement * 0x9E3779B97F4A7C15ull +
                 static_cast<uint64_t>(emitter * 3 + axis + 1) * 0xBF58476D1CE4E5B9ull;
    x ^= x >> 31;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 29;
    return static_cast<float>(static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0);
}

// Where the actor's marker is on the posed body: its offset in the node's axes when relative,
// in the world's otherwise.
Vector MarkerOnBody(const body::Pose& pose, const ActorData& actor) {
    int node = body::MarkerNode(actor);
    Vector offset = actor.MarkerOffset;
    if (!math::Finite(offset) || math::Length(offset) > MaxMarkerOffset) {
        offset = {0.0f, 0.0f, 0.0f};
    }
    if (actor.Relative != 0.0f) {
        offset = math::Apply(pose.orientation[node], offset);
    }
    return math::Add(pose.position[node], offset);
}

// The share of the last smoothed value a new measurement keeps.
float Keep(const ActorData& actor) {
    float c = actor.FilterCoefficient;
    return std::isfinite(c) ? std::clamp(c, 0.0f, MaxFilterCoefficient) : 0.0f;
}

} // namespace

std::vector<Vector> DefaultEmitters() {
    return {{-96.0f, 96.0f, 100.0f}, {96.0f, 96.0f, 100.0f}, {0.0f, -120.0f, 100.0f}};
}

void Tracker::Start(const std::vector<Vector>& emitters, int syncExponent) {
    on_ = true;
    waiting_ = true;
    syncExponent_ = syncExponent < 0 || syncExponent > 7 ? NoExternalSync : syncExponent;
    emitterCount_ = static_cast<int>(std::min<std::size_t>(emitters.size(), emitters_.size()));
    std::copy_n(emitters.begin(), emitterCount_, emitters_.begin());
}

void Tracker::NullPose() {
    if (!on_) {
        return;
    }
    waiting_ = false;
    measurements_ = 0;
    lastPeriod_ = UINT64_MAX;
    seen_ = {};
}

uint32_t Tracker::Status() const {
    if (!on_) {
        return 0;
    }
    if (waiting_) {
        return TrackerTracking | TrackerWaitingForNull;
    }
    bool synced = syncExponent_ != NoExternalSync && measurements_ >= LockMeasurements;
    return TrackerTracking | (synced ? TrackerSynchronized : 0u);
}

void Tracker::Measure(const Vector& marker, float keep) {
    ++measurements_;
    for (int e = 0; e < emitterCount_; ++e) {
        Vector toEmitter = math::Sub(emitters_[e], marker);
        float distance = math::Length(toEmitter);
        if (!(distance <= EmitterRange)) {
            seen_[e] = false;
            continue;
        }
        float error = ErrorPerDistance * distance;
        Vector measured{marker.x + error * Noise(measurements_, e, 0),
                        marker.y + error * Noise(measurements_, e, 1),
                        marker.z + error * Noise(measurements_, e, 2)};
        smoothed_[e] = seen_[e] ? math::Lerp(measured, smoothed_[e], keep) : measured;
        seen_[e] = true;
    }
}

uint32_t Tracker::Sample(uint64_t tick, const body::Pose& pose, const ActorData& actor,
                         Frame& frame) {
    if (!on_ || waiting_) {
        return 0;
    }
    int exponent = syncExponent_ == NoExternalSync ? FreeRunningExponent : syncExponent_;
    // The tracker measures once per period of 2^exponent ticks; a suit sample shows the
    // latest measurement.
    uint64_t period = tick >> exponent;
    if (period != lastPeriod_) {
        lastPeriod_ = period;
        Measure(MarkerOnBody(pose, actor), Keep(actor));
    }
    uint32_t flags = emitterCount_ == 3 ? FrameThirdMarkerInUse : 0u;
    for (int e = 0; e < emitterCount_; ++e) {
        if (seen_[e]) {
            flags |= FrameMarker0 << e;
            frame.MarkerPositions[e] = smoothed_[e];
        }
    }
    if ((Status() & TrackerSynchronized) != 0) {
        flags |= FrameExternalSync | (static_cast<uint32_t>(exponent) << FrameSyncExponentShift);
    }
    return flags;
}

} // namespace telvo::sim
