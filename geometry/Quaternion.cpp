#include "Quaternion.h"

#include <cmath>

int Quaternion::Normalize() {
    double n = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
               static_cast<double>(v.z) * v.z + static_cast<double>(w) * w;
    if (n == 0.0) {
        return 0;
    }
    double k = 1.0 / std::sqrt(n);
    w = static_cast<float>(w * k);
    v.x = static_cast<float>(v.x * k);
    v.y = static_cast<float>(v.y * k);
    v.z = static_cast<float>(v.z * k);
    return 1;
}

Quaternion Quaternion::Inverse() {
    return Quaternion(w, -v.x, -v.y, -v.z);
}

Quaternion Quaternion::operator*(Quaternion b) {
    float scalar = w * b.w - (v * b.v);
    Vector part = (v ^ b.v) + (b.v * w + v * b.w);
    return Quaternion(scalar, part);
}

Quaternion Quaternion::operator*=(Quaternion b) {
    *this = *this * b;
    return *this;
}

Quaternion Quaternion::operator*(float s) {
    return Quaternion(w * s, v.x * s, v.y * s, v.z * s);
}

void Quaternion::operator*=(float s) {
    *this = *this * s;
}

Quaternion Quaternion::operator/(float s) {
    float r = 1.0f / s;
    return *this * r;
}

void Quaternion::operator/=(float s) {
    *this = *this / s;
}
