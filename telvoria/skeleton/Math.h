#pragma once

// Inline vector and matrix arithmetic for the library's hot paths: the exported geometry
// classes keep their operators out of line, which costs a call per operation.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <cmath>

namespace telvo::math {

inline Vector Add(const Vector& a, const Vector& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector Sub(const Vector& a, const Vector& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector Scale(const Vector& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(const Vector& a, const Vector& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vector Cross(const Vector& a, const Vector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Vector& a) {
    return std::sqrt(Dot(a, a));
}
inline Vector Lerp(const Vector& a, const Vector& b, float t) {
    return Add(a, Scale(Sub(b, a), t));
}

inline Vector Apply(const Matrix& m, const Vector& v) {
    return {m.m00 * v.x + m.m01 * v.y + m.m02 * v.z, m.m10 * v.x + m.m11 * v.y + m.m12 * v.z,
            m.m20 * v.x + m.m21 * v.y + m.m22 * v.z};
}

inline Matrix Mul(const Matrix& a, const Matrix& b) {
    return Matrix(a.m00 * b.m00 + a.m01 * b.m10 + a.m02 * b.m20,
                  a.m00 * b.m01 + a.m01 * b.m11 + a.m02 * b.m21,
                  a.m00 * b.m02 + a.m01 * b.m12 + a.m02 * b.m22,
                  a.m10 * b.m00 + a.m11 * b.m10 + a.m12 * b.m20,
                  a.m10 * b.m01 + a.m11 * b.m11 + a.m12 * b.m21,
                  a.m10 * b.m02 + a.m11 * b.m12 + a.m12 * b.m22,
                  a.m20 * b.m00 + a.m21 * b.m10 + a.m22 * b.m20,
                  a.m20 * b.m01 + a.m21 * b.m11 + a.m22 * b.m21,
                  a.m20 * b.m02 + a.m21 * b.m12 + a.m22 * b.m22);
}

inline Matrix Transposed(const Matrix& m) {
    return Matrix(m.m00, m.m10, m.m20, m.m01, m.m11, m.m21, m.m02, m.m12, m.m22);
}

inline Matrix Identity() {
    return Matrix(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

inline Matrix FromColumns(const Vector& x, const Vector& y, const Vector& z) {
    return Matrix(x.x, y.x, z.x, x.y, y.y, z.y, x.z, y.z, z.z);
}

// Right-handed rotations, the same sense as Matrix::RotX/RotY/RotZ.
inline Matrix RotX(float a) {
    float c = std::cos(a);
    float s = std::sin(a);
    return Matrix(1.0f, 0.0f, 0.0f, 0.0f, c, -s, 0.0f, s, c);
}
inline Matrix RotY(float a) {
    float c = std::cos(a);
    float s = std::sin(a);
    return Matrix(c, 0.0f, s, 0.0f, 1.0f, 0.0f, -s, 0.0f, c);
}
inline Matrix RotZ(float a) {
    float c = std::cos(a);
    float s = std::sin(a);
    return Matrix(c, -s, 0.0f, s, c, 0.0f, 0.0f, 0.0f, 1.0f);
}

// Rotation by angle about a unit axis.
inline Matrix AxisAngle(const Vector& u, float a) {
    float c = std::cos(a);
    float s = std::sin(a);
    float t = 1.0f - c;
    return Matrix(t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y,
                  t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x,
                  t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c);
}

inline bool Finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The nearest proper rotation by Gram-Schmidt on the columns; a matrix that holds no usable
// rotation (not finite, degenerate) becomes the identity.
inline Matrix Orthonormal(const Matrix& m) {
    Vector x{m.m00, m.m10, m.m20};
    Vector y{m.m01, m.m11, m.m21};
    float lx = Dot(x, x);
    if (!(lx > 1e-6f) || !std::isfinite(lx)) {
        return Identity();
    }
    x = Scale(x, 1.0f / std::sqrt(lx));
    y = Sub(y, Scale(x, Dot(x, y)));
    float ly = Dot(y, y);
    if (!(ly > 1e-6f) || !std::isfinite(ly)) {
        return Identity();
    }
    y = Scale(y, 1.0f / std::sqrt(ly));
    return FromColumns(x, y, Cross(x, y));
}

} // namespace telvo::math
