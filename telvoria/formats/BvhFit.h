#pragma once

// Rotations that bring one set of directions onto another, for a segment of our body aiming
// at the file's joints.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

namespace telvo::bvh {

Vector Normalized(const Vector& v);
// The part of v across the unit vector u.
Vector Across(const Vector& v, const Vector& u);

// The smallest rotation that turns the direction of a into that of b.
Matrix Turn(const Vector& a, const Vector& b);

// The rotation that takes from[0] exactly onto to[0] and best fits the others, by weight,
// with a turn about that line. Vectors of no length take no part.
Matrix Fit(const Vector* from, const Vector* to, const float* weight, int count);

// The rotation that best takes the directions of 'from' onto those of 'to', all at once (the
// quaternion method: the top eigenvector of a 4x4 matrix). Falls back to Fit when the
// directions do not fix a rotation.
Matrix BestFit(const Vector* from, const Vector* to, int count);

} // namespace telvo::bvh
