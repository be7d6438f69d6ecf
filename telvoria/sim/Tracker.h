#pragma once

// The simulated marker tracker on one suit. Its emitters hang around the stage; once the suit
// has been calibrated on the null pose, each emitter measures the marker the actor data places
// (a node and an offset), and the frames carry those measurements as markers 0 to 2, smoothed
// by the actor's filter coefficient. With external sync the tracker measures at
// 120 / 2^exponent frames per second in step with the suit and reports itself synchronized
// after a few measurements.

#include "suitlib/SuitLib.h"
#include "telvoria/skeleton/Solver.h"

#include <array>
#include <cstdint>
#include <vector>

namespace telvo::sim {

constexpr int NoExternalSync = -1;
// Measurements after the null pose until an externally synced tracker is synchronized.
constexpr int LockMeasurements = 4;
// An emitter sees the marker up to this far away, in inches.
constexpr float EmitterRange = 480.0f;

// Where the emitters hang when no coordinate file places them.
std::vector<Vector> DefaultEmitters();

class Tracker {
public:
    // On with 1 to 3 emitters (more are ignored), waiting for the null pose.
    void Start(const std::vector<Vector>& emitters, int syncExponent);
    void Stop() { on_ = false; }
    bool On() const { return on_; }
    // The suit was calibrated: measuring starts over.
    void NullPose();
    // TrackerStatusBit word.
    uint32_t Status() const;
    // The markers and tracker flag bits of the suit's sample that ends at this 120 Hz tick.
    uint32_t Sample(uint64_t tick, const body::Pose& pose, const ActorData& actor, Frame& frame);

private:
    void Measure(const Vector& marker, float keep);

    bool on_ = false;
    bool waiting_ = false;
    int syncExponent_ = NoExternalSync;
    int emitterCount_ = 0;
    std::array<Vector, 3> emitters_{};
    uint64_t measurements_ = 0;        // since the null pose
    uint64_t lastPeriod_ = UINT64_MAX; // the tracker period measured last
    std::array<Vector, 3> smoothed_{};
    std::array<bool, 3> seen_{};
};

} // namespace telvo::sim
