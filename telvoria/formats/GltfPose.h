#pragma once

#include "suitlib/SuitLib.h"
#include "telvoria/skeleton/Body.h"

#include <array>
#include <cstdint>

namespace telvo::gltf {

// Frames posed at a go.
constexpr uint32_t Lanes = 16;

// The first `count` (1 to Lanes) of `frames` posed as the library poses them: each node's turn
// against its parent's (the hips' against the world) as a unit quaternion (x, y, z, w) in
// glTF's axes, frame k's at out[node] + 4 * k, each with the sign nearer the frame before.
void PoseLanes(const Frame* frames, uint32_t count, const std::array<float*, body::NodeCount>& out);

// q and -q are the same turn: `count` quaternions at q + 4 * k, posed Lanes at a time from k = 0,
// turned where needed so that each is nearer the one before (`before` for the first, which
// then holds the last) and interpolating between frames never goes the long way round.
void KeepNear(float* q, uint32_t count, std::array<float, 4>& before);

} // namespace telvo::gltf
