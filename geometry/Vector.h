#pragma once

#include "Export.h"

// Three 32-bit floats, x then y then z. The layout is shared with the suit library's records,
// so it is fixed at 12 bytes without padding. Members are non-const and take class arguments
// by value: that is the library boundary's form, kept here exactly.
class TELVO_GEOMETRY_API Vector {
public:
    float x, y, z;

    Vector() = default; // components left unset, like a plain struct
    constexpr Vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    constexpr Vector(double x_, double y_, double z_)
        : x(static_cast<float>(x_)), y(static_cast<float>(y_)), z(static_cast<float>(z_)) {}
    Vector(const Vector&) = default;
    Vector& operator=(const Vector&) = default;

    Vector Normalize();
    float Length();
    double LengthSquared();

    void operator+=(Vector b);
    Vector operator+(Vector b);
    void operator-=(Vector b);
    Vector operator-(Vector b);
    Vector operator-();
    float operator*(Vector b); // dot product
    void operator*=(float s);
    Vector operator*(float s);
    void operator/=(float s); // multiplies by the float reciprocal
    Vector operator/(float s);
    Vector operator^(Vector b); // cross product
};

static_assert(sizeof(Vector) == 12, "Vector is three packed floats");

// Supplied by the suit library.
extern TELVO_GEOMETRY_API const Vector VectorZero;
extern TELVO_GEOMETRY_API const Vector VectorXAxis;
extern TELVO_GEOMETRY_API const Vector VectorYAxis;
extern TELVO_GEOMETRY_API const Vector VectorZAxis;
