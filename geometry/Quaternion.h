#pragma once

#include "Export.h"
#include "Vector.h"

// Scalar part first, then the vector part; 16 bytes without padding.
class TELVO_GEOMETRY_API Quaternion {
public:
    float w;
    Vector v;

    Quaternion() = default; // components left unset
    constexpr Quaternion(float w_, float x, float y, float z) : w(w_), v(x, y, z) {}
    constexpr Quaternion(double w_, double x, double y, double z)
        : w(static_cast<float>(w_)), v(x, y, z) {}
    // w is the scalar part itself, not an angle.
    constexpr Quaternion(float w_, Vector v_) : w(w_), v(v_) {}
    Quaternion(const Quaternion&) = default;
    Quaternion& operator=(const Quaternion&) = default;

    int Normalize();                    // in place; 0 when the norm is zero
    Quaternion Inverse();               // the conjugate: the inverse of a unit quaternion only
    Quaternion operator*(Quaternion b); // Hamilton product
    Quaternion operator*=(Quaternion b);
    Quaternion operator*(float s);
    void operator*=(float s);
    Quaternion operator/(float s);
    void operator/=(float s);
};

static_assert(sizeof(Quaternion) == 16, "Quaternion is four packed floats");
