#pragma once

// VMC for avatar tools: the posed body as OSC bundles over UDP. Humanoid bone names, metres,
// Y up in the receivers' left-handed axes, rotations local to each bone's parent with the
// T-pose as rest. Every coordinate and rotation is a 32-bit float (type tag f).

#include "telvoria/net/Wire.h"

#include <array>
#include <vector>

namespace telvo::net::vmc {

constexpr std::size_t MaxBundleBytes = 1200;

// The bundles of one pose, each at most MaxBundleBytes long.
std::vector<Bytes> EncodePose(const body::Pose& pose,
                              const std::array<Vector, SkeletonNodeCount>& offsets, float seconds);

} // namespace telvo::net::vmc
