#pragma once

// The solid a bone is shown as, wherever it is shown: a closed double pyramid whose tips are
// the parent and the child joint and whose three-cornered waist lies an eighth of the bone's
// length from the parent joint and as far from the bone's axis. The view draws it; the glTF
// export makes its mesh from it, so both show the same figure.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <optional>

namespace telvo {

inline constexpr float WaistFraction = 0.125f;
inline constexpr float RingAngle = 2.0943952f; // 120 degrees

struct SolidBone {
    // Bone axes to the parent's axes: x and y across the bone, z along it.
    Matrix toParent;
    // The waist's corners in bone axes, 120 degrees apart, the first on the bone's y side.
    Vector ring[3];
};

// The solid of a bone whose child sits at `offset` in the parent's axes; none for a bone of
// length 0.
std::optional<SolidBone> SolidBoneShape(Vector offset);

// The six faces, wound so that each normal points out of the solid. Corners: 0 the parent
// joint, 1 the child joint, 2 to 4 the waist's corners. The front pair is the one facing away
// from the first waist corner.
struct SolidBoneFace {
    int corner[3];
    bool front;
};
inline constexpr SolidBoneFace SolidBoneFaces[6] = {
    {{0, 3, 2}, false}, {{0, 4, 3}, true}, {{0, 2, 4}, false},
    {{1, 2, 3}, false}, {{1, 3, 4}, true}, {{1, 4, 2}, false},
};

} // namespace telvo
