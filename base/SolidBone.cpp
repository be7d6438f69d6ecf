#include "base/SolidBone.h"

#include <cmath>

namespace telvo {

std::optional<SolidBone> SolidBoneShape(Vector offset) {
    const Vector& o = offset;
    float len = std::sqrt(o.x * o.x + o.y * o.y + o.z * o.z);
    if (len == 0.0f) {
        return std::nullopt;
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
    SolidBone bone{Matrix(w, v, u).Transpose(), {}};
    float h = len * WaistFraction;
    // The same turn as the library's RotZ, made here so that this library needs none above it.
    Matrix turn(std::cos(RingAngle), -std::sin(RingAngle), 0.0f, std::sin(RingAngle),
                std::cos(RingAngle), 0.0f, 0.0f, 0.0f, 1.0f);
    Vector p{0.0f, h, h};
    for (Vector& corner : bone.ring) {
        corner = p;
        p = turn * p;
    }
    return bone;
}

} // namespace telvo
