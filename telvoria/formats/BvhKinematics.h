#pragma once

// The file's own forward kinematics, exactly as the file means it: every channel of every
// joint in the file's order. A joint's translation is its OFFSET plus its position channels,
// in its parent's frame; its rotation is the product of its rotation channels in the order
// listed (the way three.js's and Blender's importers read BVH).

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "telvoria/formats/BvhParse.h"

#include <array>
#include <cstdint>
#include <vector>

namespace telvo::bvh {

class Kinematics {
public:
    // axes turns the file's axes into the ones wanted, scale the file's unit into the one
    // wanted. Only the joints marked in 'needed' (all when it is empty) are posed.
    Kinematics(const std::vector<Joint>& joints, const Matrix& axes, float scale,
               const std::vector<char>& needed = {});

    // Poses every needed joint from one frame's channel values (nullptr: all zero, the rest
    // pose).
    void Pose(const float* values);
    const Vector& Position(int joint) const { return position_[static_cast<std::size_t>(joint)]; }
    const Matrix& Rotation(int joint) const { return world_[static_cast<std::size_t>(joint)]; }
    // A point that moves with a joint, given in the joint's own frame.
    Vector PointOf(int joint, const Vector& local) const;

private:
    enum class Kind : uint8_t { Move, TurnAboutAxis, TurnAboutVector };
    struct Step {
        int parent = -1;
        bool skip = false;
        int firstChannel = 0;
        int channelCount = 0;
        Vector offset{};
        std::array<Kind, 6> kind{};
        std::array<uint8_t, 6> axis{};
        std::array<float, 6> sign{};
        std::array<Vector, 6> direction{};
        std::array<int, 6> turn{}; // index of the channel's sine and cosine
    };
    std::vector<Step> steps_;
    // Every turn's angle, sine and cosine, worked out before the joints are walked: the
    // walk keeps its matrices in registers that a call would make it save.
    std::vector<int> turnChannel_;
    std::vector<float> turnScale_;
    std::vector<float> sine_;
    std::vector<float> cosine_;
    std::vector<Matrix> world_;
    std::vector<Vector> position_;
    std::vector<float> zeros_;
};

} // namespace telvo::bvh
