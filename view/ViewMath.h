#pragma once

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

// What the view's projection needs beyond the geometry classes: a dot product at double
// precision and the float-to-pixel rule.
namespace telvo {

// Dot product at double precision.
inline double DotD(const Vector& a, const Vector& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
           static_cast<double>(a.z) * b.z;
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
