#pragma once

// One frame of a BVH file posed on our body: the file's own forward kinematics in our axes,
// then each sensor segment turned with its file joint and aimed at the file's points.

#include "suitlib/SuitLib.h"
#include "telvoria/formats/BvhFigure.h"
#include "telvoria/formats/BvhKinematics.h"

#include <vector>

namespace telvo::bvh {

class Retargeter {
public:
    Retargeter(const std::vector<Joint>& joints, const Figure& figure);
    // Fills the frame's sensor matrices and root position; lowest[i] is the height of contact
    // point i's sphere bottom (before the motion is put on the floor).
    void Pose(const float* values, Frame& frame, float* lowest);

private:
    Kinematics fk_;
    std::vector<int> aimed_; // the root and every node a segment aims at
    const Figure& figure_;
};

} // namespace telvo::bvh
