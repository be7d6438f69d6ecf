#pragma once

// Unit quaternions as the trackers send them, with the few operations the tracker suit needs
// inline: the geometry library's Quaternion keeps its operators out of line.

#include "geometry/Matrix.h"

#include <cmath>

namespace telvo::trackers {

struct Quat {
    float w = 1.0f;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

inline Quat Mul(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

inline Quat Conj(const Quat& q) {
    return {q.w, -q.x, -q.y, -q.z};
}

// A quaternion that is not finite or has no length is no rotation: the identity.
inline Quat Normalized(const Quat& q) {
    float n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (!std::isfinite(n) || n < 1e-6f) {
        return {};
    }
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

inline Quat AxisAngle(float ax, float ay, float az, float radians) {
    float s = std::sin(0.5f * radians);
    return Normalized({std::cos(0.5f * radians), ax * s, ay * s, az * s});
}

// Local to world, the same sense as the frame's sensor matrices.
inline Matrix ToMatrix(const Quat& q) {
    float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    return Matrix(1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy), 2 * (xy + wz), 1 - 2 * (xx + zz),
                  2 * (yz - wx), 2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy));
}

// The turn about the vertical that q holds: q = Heading(q) * t, where t turns no heading.
inline Quat Heading(const Quat& q) {
    Quat h = Normalized({q.w, 0.0f, 0.0f, q.z});
    return h;
}

// Spherical interpolation from a to b.
inline Quat Slerp(Quat a, Quat b, float t) {
    float d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    if (d < 0.0f) {
        b = {-b.w, -b.x, -b.y, -b.z};
        d = -d;
    }
    if (d > 0.9995f) {
        return Normalized({a.w + t * (b.w - a.w), a.x + t * (b.x - a.x), a.y + t * (b.y - a.y),
                           a.z + t * (b.z - a.z)});
    }
    float th = std::acos(d);
    float s = std::sin(th);
    float ka = std::sin((1.0f - t) * th) / s;
    float kb = std::sin(t * th) / s;
    return {ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z};
}

} // namespace telvo::trackers

namespace telvo::trackers {

// The rotation a proper rotation matrix holds.
inline Quat FromMatrix(const Matrix& m) {
    float trace = m.m00 + m.m11 + m.m22;
    Quat q;
    if (trace > 0.0f) {
        float s = 2.0f * std::sqrt(trace + 1.0f);
        q = {0.25f * s, (m.m21 - m.m12) / s, (m.m02 - m.m20) / s, (m.m10 - m.m01) / s};
    } else if (m.m00 > m.m11 && m.m00 > m.m22) {
        float s = 2.0f * std::sqrt(1.0f + m.m00 - m.m11 - m.m22);
        q = {(m.m21 - m.m12) / s, 0.25f * s, (m.m01 + m.m10) / s, (m.m02 + m.m20) / s};
    } else if (m.m11 > m.m22) {
        float s = 2.0f * std::sqrt(1.0f + m.m11 - m.m00 - m.m22);
        q = {(m.m02 - m.m20) / s, (m.m01 + m.m10) / s, 0.25f * s, (m.m12 + m.m21) / s};
    } else {
        float s = 2.0f * std::sqrt(1.0f + m.m22 - m.m00 - m.m11);
        q = {(m.m10 - m.m01) / s, (m.m02 + m.m20) / s, (m.m12 + m.m21) / s, 0.25f * s};
    }
    return Normalized(q);
}

} // namespace telvo::trackers
