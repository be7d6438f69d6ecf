#include "SolidBody.h"

#include "SceneRenderer.h"
#include "ViewState.h"
#include "base/SolidBone.h"
#include "core/Settings.h"
#include "suitlib/SuitLib.h"

#include <cmath>
#include <optional>

namespace telvo {

bool ComputeRingPoints(const SkeletonNode& parent, const SkeletonNode& child, DrawItem& bone) {
    const std::optional<SolidBone> shape = SolidBoneShape(child.Offset);
    if (!shape) {
        return false;
    }
    // Bone coordinates to world directions.
    Matrix toWorld = Matrix(parent.Orientation) * shape->toParent;
    for (int k = 0; k < 3; ++k) {
        bone.ring[k] = toWorld * shape->ring[k] + bone.pos;
    }
    return true;
}

void DrawShadedTriangle(Surface& surface, Vector p1, Vector p2, Vector p3, bool green) {
    Vector n = (p2 - p1) ^ (p3 - p1);
    float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length != 0.0f) {
        n = {n.x / length, n.y / length, n.z / length};
    }
    float i = n * View.ViewRotation.RowZ();
    if (!(i > 0.0f)) {
        return; // facing away, edge-on or degenerate
    }
    auto c = static_cast<uint8_t>(static_cast<int>(i * 255.0f) & 0xFF);
    Rgb fill = green ? Rgb{0, c, 0} : Rgb{c, c, c};
    const Point corners[3] = {ProjectToScreen(p1), ProjectToScreen(p2), ProjectToScreen(p3)};
    surface.Triangle(corners, fill);
}

void DrawSolidBone(Surface& surface, const DrawItem& bone) {
    bool front = Settings.ColorFront.load(std::memory_order_relaxed) != 0;
    const Vector corners[5] = {bone.pos, bone.end, bone.ring[0], bone.ring[1], bone.ring[2]};
    for (const SolidBoneFace& face : SolidBoneFaces) {
        DrawShadedTriangle(surface, corners[face.corner[0]], corners[face.corner[1]],
                           corners[face.corner[2]], face.front && front);
    }
}

} // namespace telvo
