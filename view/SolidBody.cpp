#include "SolidBody.h"

#include "SceneRenderer.h"
#include "ViewState.h"
#include "core/Settings.h"
#include "suitlib/SuitLib.h"

#include <cmath>

namespace telvo {

bool ComputeRingPoints(const SkeletonNode& parent, const SkeletonNode& child, DrawItem& bone) {
    const Vector& o = child.Offset;
    float len = std::sqrt(o.x * o.x + o.y * o.y + o.z * o.z);
    if (len == 0.0f) {
        return false;
    }
    Vector u{o.x / len, o.y / len, o.z / len};
    Vector w{-1.0f, 0.0f, 0.0f};
    if (u.x != 0.0f || u.z != 0.0f) {
        w = {u.z, 0.0f, -u.x}; // (0, 1, 0) x u
        float wl = std::sqrt(w.x * w.x + w.z * w.z);
        if (wl != 0.0f) {
            w = {w.x / wl, 0.0f, w.z / wl};
        }
    }
    Vector v = u ^ w;
    // Bone coordinates (along w, v, u) to world directions.
    Matrix toWorld = Matrix(parent.Orientation) * Matrix(w, v, u).Transpose();
    float h = len * WaistFraction;
    Matrix turn = Matrix::RotZ(RingAngle);
    Vector p{0.0f, h, h};
    for (Vector& corner : bone.ring) {
        corner = toWorld * p + bone.pos;
        p = turn * p;
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
    const Vector& a = bone.pos;
    const Vector& b = bone.end;
    const Vector(&r)[3] = bone.ring;
    DrawShadedTriangle(surface, a, r[1], r[0], false);
    DrawShadedTriangle(surface, a, r[2], r[1], front);
    DrawShadedTriangle(surface, a, r[0], r[2], false);
    DrawShadedTriangle(surface, b, r[0], r[1], false);
    DrawShadedTriangle(surface, b, r[1], r[2], front);
    DrawShadedTriangle(surface, b, r[2], r[0], false);
}

} // namespace telvo
