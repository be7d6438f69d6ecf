#pragma once

// The performer's body as the library models it: 30 nodes in a tree, 19 sensors on the body
// segments, contact points at the feet, knees and fingertips. In the null pose every segment's
// axes are the world's: X to the performer's left, Y backwards, Z up (the performer faces -Y).

#include "geometry/Vector.h"
#include "suitlib/SuitLib.h"

#include <array>

namespace telvo::body {

enum Node : int {
    Hips,
    Waist,
    Chest,
    Neck,
    Head,
    HeadTop,
    LeftCollar,
    LeftShoulder,
    LeftElbow,
    LeftWrist,
    LeftFingertip,
    LeftThumb,
    RightCollar,
    RightShoulder,
    RightElbow,
    RightWrist,
    RightFingertip,
    RightThumb,
    LeftHip,
    LeftKnee,
    LeftAnkle,
    LeftHeel,
    LeftBall,
    LeftToe,
    RightHip,
    RightKnee,
    RightAnkle,
    RightHeel,
    RightBall,
    RightToe,
};

static_assert(RightToe + 1 == SkeletonNodeCount);

constexpr int NodeCount = SkeletonNodeCount;
constexpr int SensorCount = RawSensorCount;
constexpr int ContactPointCount = 10;

// Parent of each node (-1 for the root); every parent comes before its children.
extern const std::array<int, NodeCount> Parent;
// The sensor that drives each node's segment, -1 for nodes that follow their parent.
extern const std::array<int, NodeCount> SensorOfNode;
// The node each sensor drives.
extern const std::array<int, SensorCount> NodeOfSensor;
// Contact points, in the order of the contact and shadow mask bits.
extern const std::array<int, ContactPointCount> ContactNodes;
extern const std::array<const char*, NodeCount> NodeNames;

// The default performer: bone vectors in inches (the root's is its standing position above
// the floor origin) and contact sphere radii.
const std::array<Vector, NodeCount>& DefaultOffsets();
const std::array<float, NodeCount>& DefaultContactRadii();

// Bits of the contact mask for the two feet.
constexpr uint32_t FootContactBits = 0x3f;

} // namespace telvo::body
