#pragma once

// A BVH figure brought onto our 30-node body: which file joint each node stands on (or which
// point rigidly attached to a joint, for nodes the file lacks), the axes and scale that take the
// file into our world, our bone vectors, and for each sensor segment the file joint whose
// rotation carries its twist and the children it aims at.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/skeleton/Body.h"

#include <array>
#include <string>
#include <vector>

namespace telvo::bvh {

// A point that moves with one file joint: the joint's place plus its rotation applied to local
// (our axes, inches).
struct Anchor {
    int joint = -1;
    Vector local{};
};

// The children of a sensor's segment that its orientation aims at; the first is met exactly,
// the others fix the turn about it by weight.
struct Aim {
    int count = 0;
    std::array<int, 3> node{};
    std::array<Vector, 3> rest{}; // from the sensor's node, in the segment's own axes
    std::array<float, 3> weight{};
};

struct Figure {
    std::array<Anchor, body::NodeCount> anchor;
    std::array<std::string, body::NodeCount> source;  // the file joint a node stands on
    std::array<std::string, body::NodeCount> carrier; // the joint a made-up node moves with
    std::array<Vector, body::NodeCount> offsets{};    // our bone vectors, inches
    std::array<int, body::SensorCount> frameJoint{};  // whose rotation carries the twist
    std::array<Matrix, body::SensorCount> align{};    // segment axes against that joint's
    std::array<bool, body::SensorCount> rigid{};      // every aimed point moves with frameJoint
    std::array<Aim, body::SensorCount> aim{};
    Matrix axes;              // file axes to ours
    float scale = 1.0f;       // inches per file unit
    std::string unit;         // how the size was judged
    float height = 0.0f;      // the figure's standing height, inches
    std::vector<char> needed; // joints whose pose a frame needs
};

// Maps the file's joints onto the body, judging its structure, stance and unit on the frames
// (values: frameCount rows of channelCount). False, with a reason, for a figure that is not
// human.
bool BuildFigure(const std::vector<Joint>& joints, const float* values, uint32_t frameCount,
                 int channelCount, Figure& figure, std::string& reason);

} // namespace telvo::bvh
