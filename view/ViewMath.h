#pragma once

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

// Small value helpers of the view. The geometry classes' operators are non-const members,
// so these take copies and spell the arithmetic out where its precision matters.
namespace telvo {

inline Vector Row(const Matrix& m, int row) {
    switch (row) {
    case 0:
        return {m.m00, m.m01, m.m02};
    case 1:
        return {m.m10, m.m11, m.m12};
    default:
        return {m.m20, m.m21, m.m22};
    }
}

inline Vector Column(const Matrix& m, int column) {
    switch (column) {
    case 0:
        return {m.m00, m.m10, m.m20};
    case 1:
        return {m.m01, m.m11, m.m21};
    default:
        return {m.m02, m.m12, m.m22};
    }
}

// Dot product in 32-bit floats.
inline float Dot(const Vector& a, const Vector& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Dot product at double precision.
inline double DotD(const Vector& a, const Vector& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
           static_cast<double>(a.z) * b.z;
}

inline Vector Add(const Vector& a, const Vector& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

inline Vector Sub(const Vector& a, const Vector& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Vector Scaled(const Vector& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}

inline Vector Cross(const Vector& a, const Vector& b) {
    return {a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - b.x * a.y};
}

inline Matrix Product(Matrix a, Matrix b) {
    return a * b;
}

inline Vector Apply(Matrix m, Vector v) {
    return m * v;
}

// Float to pixel: add 0.5 and truncate towards zero. Values beyond a million pixels (a view
// zoomed without end, or not a number) are held there, so the conversion stays defined.
inline int RoundPixel(double v) {
    constexpr double limit = 1048576.0;
    double r = v + 0.5;
    if (!(r > -limit)) {
        return -static_cast<int>(limit);
    }
    if (r > limit) {
        return static_cast<int>(limit);
    }
    return static_cast<int>(r);
}

} // namespace telvo
