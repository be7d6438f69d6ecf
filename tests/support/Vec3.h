#pragma once

// Double-precision 3-vectors for tests that check the library's float geometry on their own.

#include <array>
#include <cmath>

namespace telvo {

using V3 = std::array<double, 3>;

inline V3 Plus(const V3& a, const V3& b, double k = 1) {
    return {a[0] + k * b[0], a[1] + k * b[1], a[2] + k * b[2]};
}

inline double Dot(const V3& a, const V3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline V3 Cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline double Distance(const V3& a, const V3& b) {
    const V3 d = Plus(a, b, -1);
    return std::sqrt(Dot(d, d));
}

} // namespace telvo
