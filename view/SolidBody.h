#pragma once

#include "geometry/Vector.h"

struct SkeletonNode;

namespace telvo {

class Surface;
struct DrawItem;

// Fills the three ring points of a bone item (the solid of base/SolidBone.h) from its parent joint
// (item.pos) and the child's offset in the parent's frame. false for a bone of length 0, which has
// no solid.
bool ComputeRingPoints(const SkeletonNode& parent, const SkeletonNode& child, DrawItem& bone);

// One face lit from the viewer: nothing when it faces away, is edge-on or degenerate;
// otherwise filled grey (green when asked) by how squarely it faces the viewer, outlined with
// the surface's current pen.
void DrawShadedTriangle(Surface& surface, Vector p1, Vector p2, Vector p3, bool green);

// The six faces of a bone item.
void DrawSolidBone(Surface& surface, const DrawItem& bone);

} // namespace telvo
