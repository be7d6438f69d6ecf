#pragma once

// A BVH figure brought onto the 30-node body: which file joint each node stands on (or which
// point rigidly attached to a joint, for nodes the file lacks), the axes and scale that take
// the file into our world, our bone vectors, and per frame the sensor orientations that make
// every segment point where the file's bone points.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "suitlib/SuitLib.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/skeleton/Body.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::bvh {

// A point that moves with one file joint: its position plus the joint's rotation applied to
// local (our axes, inches, in the joint's rest frame).
struct Anchor {
    int joint = -1;
    Vector local{};
};

// The children of a sensor's segment that its orientation is fitted to; the first is met
// exactly, the others fix the twist about it by weight.
struct Aim {
    int count = 0;
    std::array<int, 3> node{};
    std::array<Vector, 3> rest{}; // from the sensor's node, in the segment's own axes
    std::array<float, 3> weight{};
};

struct Figure {
    std::array<Anchor, body::NodeCount> anchor;
    std::array<std::string, body::NodeCount> source; // file joint per node, "" when made up
    std::array<Vector, body::NodeCount> offsets{};   // our bone vectors, inches
    std::array<int, body::SensorCount> frameJoint{}; // whose rotation carries the twist
    std::array<Matrix, body::SensorCount> align{};   // segment axes against that joint's, at rest
    std::array<bool, body::SensorCount> rigid{};     // every aimed point moves with frameJoint
    std::array<Aim, body::SensorCount> aim{};
    Matrix axes;              // file axes to ours
    float scale = 1.0f;       // inches per file unit
    std::string unit;         // how the size was judged
    float height = 0.0f;      // the figure's standing height, inches
    std::vector<char> needed; // joints whose pose a frame needs
};

// Maps the file's joints onto the body. False, with a reason, for a figure that is not human.
bool BuildFigure(const std::vector<Joint>& joints, Figure& figure, std::string& reason);

// Poses one frame: forward kinematics of the file in our axes, then the retargeting.
class Retargeter {
public:
    Retargeter(const std::vector<Joint>& joints, const Figure& figure);
    // Fills the frame's sensor matrices and root position; lowest[i] is the height of contact
    // point i's sphere bottom (before the motion is put on the floor).
    void Pose(const float* values, Frame& frame, float* lowest);

private:
    struct Step {
        int parent;
        int firstChannel;
        int channelCount;
        Vector offset;                 // our axes, inches
        std::array<uint8_t, 6> kind{}; // 0 position, 1 rotation about a basis axis, 2 any axis
        std::array<uint8_t, 6> axis{};
        std::array<float, 6> sign{};
        std::array<Vector, 6> direction{};
    };
    std::vector<Step> steps_;
    std::vector<int> aimed_; // the root and every node a segment aims at
    std::vector<Matrix> world_;
    std::vector<Vector> position_;
    const Figure& figure_;
};

// GyroReadBVH on text already in memory.
int ReadText(std::string_view text, Skeleton* skeleton);

} // namespace telvo::bvh
