#pragma once

// Forward kinematics of the 30-node body: each sensor's orientation drives its segment, the
// nodes without a sensor follow their parent, and the root sits at the frame's root position.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "telvoria/skeleton/Body.h"

#include <array>

namespace telvo::body {

struct Pose {
    std::array<Vector, NodeCount> position;
    std::array<Matrix, NodeCount> orientation;
};

// Poses the body. Sensor matrices that hold no rotation are taken as the null orientation, a
// root position that is not finite as the origin.
void Solve(const std::array<Vector, NodeCount>& offsets, const Matrix* sensors, Vector root,
           Pose& pose);

// What Solve makes of the sensors and of the root position, for callers that need no more.
void Orient(const Matrix* sensors, std::array<Matrix, NodeCount>& orientation);
Vector PlacedRoot(Vector root);

// The lowest point of the contact spheres above the floor (negative: below it).
float LowestContact(const Pose& pose, const std::array<float, NodeCount>& radii);

// Bit i set for contact point i whose sphere is within tolerance of the floor.
uint32_t ContactMask(const Pose& pose, const std::array<float, NodeCount>& radii, float tolerance);

// A contact point touches the floor when its sphere is within this of it, and casts a shadow
// when within ShadowHeight; the feet always cast one.
constexpr float ContactTolerance = 0.25f;
constexpr float ShadowHeight = 12.0f;
// The frame's contact and shadow masks for the posed figure.
void MarkContacts(const Pose& pose, const std::array<float, NodeCount>& radii, Frame& frame);

} // namespace telvo::body
