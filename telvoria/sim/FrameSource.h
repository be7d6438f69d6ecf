#pragma once

// Where a suit's samples come from: the simulated performer or a set of real trackers. The
// suit list, its delivery thread and its timeouts are the same for both; only this differs.
// Every call is made with the suit's lock held, from the delivering thread or a caller.

#include "suitlib/SuitLib.h"
#include "telvoria/skeleton/Solver.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace telvo::sim {

class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual void SetActor(const ActorData& actor) = 0;
    virtual void SetFlags(int suitFlags) = 0;
    // Produces the current sample into the frame's sensor, root, contact and shadow fields, and
    // into the library's bytes after the stamp; then moves on by dt seconds.
    virtual void Next(double dt, Frame& frame) = 0;
    // Moves on by dt seconds without producing a sample.
    virtual void Skip(double dt) = 0;
    // GyroSetNull: calibrates on the null pose.
    virtual void RequestNull() = 0;
    // GyroSetNorth: the north the suit reports from now on, flat on the floor.
    virtual Vector TakeNorth() = 0;
    virtual bool Jumping() const = 0;
    // The last sample's sensor orientations: mode 1 calibrated, mode 0 as the sensors read.
    virtual const Matrix* Sensors(int mode) const = 0;
    virtual const body::Pose& LastPose() const = 0;
    // When the hardware behind the source was last heard (steady-clock ns); a source that
    // always answers says so with the largest value.
    virtual int64_t HeardNs() const { return std::numeric_limits<int64_t>::max(); }
    // Bit i: the hardware behind sensor i has fallen silent.
    virtual uint32_t SilentSensors() const { return 0; }
    // Hardware heard of that drives no sensor, by name.
    virtual std::vector<std::string> Unassigned() const { return {}; }
};

} // namespace telvo::sim
