#pragma once

// The marker tracker's coordinate files (.crd): where its emitters hang. docs/formats.md
// describes them.

#include "geometry/Vector.h"

#include <optional>
#include <vector>

namespace telvo::files {

constexpr int MaxEmitters = 3;
// No emitter hangs further than this from the stage's origin, in inches on each axis.
constexpr float MaxEmitterDistance = 1200.0f;

// The 1 to 3 emitters in world inches, in file order; none, with LastProblem() saying why,
// when the file cannot be used.
std::optional<std::vector<Vector>> ReadCoordinateFile(const char* path);

} // namespace telvo::files
