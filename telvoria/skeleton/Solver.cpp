#include "telvoria/skeleton/Solver.h"

#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace telvo::body {

namespace {
// Far beyond any stage, near enough that every coordinate still converts to pixels safely.
constexpr float MaxCoordinate = 1.0e5f;

float Clamped(float v) {
    if (!std::isfinite(v)) {
        return 0.0f;
    }
    return std::clamp(v, -MaxCoordinate, MaxCoordinate);
}
} // namespace

void Solve(const std::array<Vector, NodeCount>& offsets, const Matrix* sensors, Vector root,
           Pose& pose) {
    Orient(sensors, pose.orientation);
    pose.position[0] = PlacedRoot(root);
    for (int i = 1; i < NodeCount; ++i) {
        int p = Parent[i];
        pose.position[i] =
            math::Add(pose.position[p], math::Apply(pose.orientation[p], offsets[i]));
    }
}

void Orient(const Matrix* sensors, std::array<Matrix, NodeCount>& orientation) {
    orientation[0] = math::Orthonormal(sensors[SensorOfNode[0]]);
    for (int i = 1; i < NodeCount; ++i) {
        int s = SensorOfNode[i];
        orientation[i] = s >= 0 ? math::Orthonormal(sensors[s]) : orientation[Parent[i]];
    }
}

Vector PlacedRoot(Vector root) {
    return {Clamped(root.x), Clamped(root.y), Clamped(root.z)};
}

float LowestContact(const Pose& pose, const std::array<float, NodeCount>& radii) {
    float lowest = std::numeric_limits<float>::max();
    for (int n : ContactNodes) {
        lowest = std::min(lowest, pose.position[n].z - radii[n]);
    }
    return lowest;
}

uint32_t ContactMask(const Pose& pose, const std::array<float, NodeCount>& radii, float tolerance) {
    uint32_t mask = 0;
    for (int i = 0; i < ContactPointCount; ++i) {
        int n = ContactNodes[i];
        if (pose.position[n].z - radii[n] <= tolerance) {
            mask |= 1u << i;
        }
    }
    return mask;
}

void MarkContacts(const Pose& pose, const std::array<float, NodeCount>& radii, Frame& frame) {
    frame.ContactMask = ContactMask(pose, radii, ContactTolerance);
    uint32_t shadow = FootContactBits;
    for (int i = 0; i < ContactPointCount; ++i) {
        int n = ContactNodes[i];
        if (pose.position[n].z - radii[n] < ShadowHeight) {
            shadow |= 1u << i;
        }
    }
    frame.ShadowMaskValid = 1;
    frame.ShadowMask = shadow;
}

} // namespace telvo::body
