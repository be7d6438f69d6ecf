#pragma once

// The simulated performer inside a suit: a looping script of standing, jumping and walking a
// rounded square, turned into the 19 sensor orientations, the root position on the floor and
// the contact words of each sample.

#include "suitlib/SuitLib.h"
#include "telvoria/sim/FrameSource.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Solver.h"

#include <array>

namespace telvo::sim {

// Local rotation of one segment against its parent: pitch about X, roll about Y, yaw about Z.
struct JointAngles {
    float pitch = 0.0f;
    float roll = 0.0f;
    float yaw = 0.0f;
};

using Posture = std::array<JointAngles, body::SensorCount>;

// Where the script has the performer at one moment.
struct ScriptPose {
    Posture posture{};
    float x = 0.0f;
    float y = 0.0f;
    float heading = 0.0f; // 0 faces -Y; turning left raises it
    float lift = 0.0f;    // height of the lowest point above the floor while in the air
};

// Walking at full speed, a distance along the path.
Posture Walk(double distance);

// The script at a moment of its own time, in seconds; it repeats after ScriptPeriod().
ScriptPose ScriptAt(double t);
double ScriptPeriod();

// The segments' world orientations for a posture turned to a heading.
void SegmentOrientations(const Posture& posture, float heading, Matrix* segments);

class Performer final : public FrameSource {
public:
    explicit Performer(double scriptStart = 0.0);

    void SetActor(const ActorData& actor) override;
    void SetFlags(int suitFlags) override { flags_ = suitFlags; }

    // Produces the current sample into the frame's sensor, root and contact fields, then moves
    // on by dt seconds.
    void Next(double dt, Frame& frame) override;
    // Moves on by dt seconds without producing a sample (samples lost on the way).
    void Skip(double dt) override;

    // The performer stands in the null pose for a moment and the sensors are calibrated on it.
    void RequestNull() override;
    bool Calibrated() const { return calibrated_; }

    bool Jumping() const override { return jumping_; }
    // The direction the hips face, flat on the floor.
    Vector Facing() const;
    Vector TakeNorth() override { return Facing(); }
    // The last sample's sensor orientations: mode 1 calibrated, mode 0 as the sensors read.
    const Matrix* Sensors(int mode) const override {
        return mode == 0 ? uncalibrated_ : calibrated19_;
    }
    const body::Pose& LastPose() const override { return pose_; }

private:
    float NullWeight() const;

    double scriptTime_;
    double sinceNull_ = 1.0e9;
    bool calibrated_ = false;
    bool jumping_ = false;
    int flags_ = SuitFlagJumping;
    std::array<Vector, body::NodeCount> offsets_;
    std::array<float, body::NodeCount> radii_;
    Matrix calibrated19_[body::SensorCount];
    Matrix uncalibrated_[body::SensorCount];
    body::Pose pose_;
};

} // namespace telvo::sim
