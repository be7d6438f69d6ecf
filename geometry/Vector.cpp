#include "Vector.h"

#include <cmath>

Vector Vector::Normalize() {
    float len = static_cast<float>(std::sqrt(
        static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z));
    if (len == 0.0f) {
        return *this;
    }
    float r = 1.0f / len;
    return Vector(x * r, y * r, z * r);
}

float Vector::Length() {
    return static_cast<float>(std::sqrt(LengthSquared()));
}

double Vector::LengthSquared() {
    return static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z;
}

void Vector::operator+=(Vector b) {
    x += b.x;
    y += b.y;
    z += b.z;
}

Vector Vector::operator+(Vector b) {
    return Vector(x + b.x, y + b.y, z + b.z);
}

void Vector::operator-=(Vector b) {
    x -= b.x;
    y -= b.y;
    z -= b.z;
}

Vector Vector::operator-(Vector b) {
    return Vector(x - b.x, y - b.y, z - b.z);
}

Vector Vector::operator-() {
    return Vector(-x, -y, -z);
}

float Vector::operator*(Vector b) {
    return x * b.x + y * b.y + z * b.z;
}

void Vector::operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
}

Vector Vector::operator*(float s) {
    return Vector(x * s, y * s, z * s);
}

void Vector::operator/=(float s) {
    float r = 1.0f / s;
    x *= r;
    y *= r;
    z *= r;
}

Vector Vector::operator/(float s) {
    float r = 1.0f / s;
    return Vector(x * r, y * r, z * r);
}

Vector Vector::operator^(Vector b) {
    return Vector(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x);
}
