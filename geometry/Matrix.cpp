#include "Matrix.h"

Matrix Matrix::Transpose() {
    return Matrix(m00, m10, m20, m01, m11, m21, m02, m12, m22);
}

Vector Matrix::RowX() {
    return Vector(m00, m01, m02);
}
Vector Matrix::RowY() {
    return Vector(m10, m11, m12);
}
Vector Matrix::RowZ() {
    return Vector(m20, m21, m22);
}
Vector Matrix::ColX() {
    return Vector(m00, m10, m20);
}
Vector Matrix::ColY() {
    return Vector(m01, m11, m21);
}
Vector Matrix::ColZ() {
    return Vector(m02, m12, m22);
}

void Matrix::SetRowX(Vector v) {
    m00 = v.x;
    m01 = v.y;
    m02 = v.z;
}
void Matrix::SetRowY(Vector v) {
    m10 = v.x;
    m11 = v.y;
    m12 = v.z;
}
void Matrix::SetRowZ(Vector v) {
    m20 = v.x;
    m21 = v.y;
    m22 = v.z;
}
void Matrix::SetColX(Vector v) {
    m00 = v.x;
    m10 = v.y;
    m20 = v.z;
}
void Matrix::SetColY(Vector v) {
    m01 = v.x;
    m11 = v.y;
    m21 = v.z;
}
void Matrix::SetColZ(Vector v) {
    m02 = v.x;
    m12 = v.y;
    m22 = v.z;
}

// Terms are summed in index order, k = 0, 1, 2, so results match the library bit for bit.
Matrix Matrix::operator*(Matrix b) {
    return Matrix(m00 * b.m00 + m01 * b.m10 + m02 * b.m20, m00 * b.m01 + m01 * b.m11 + m02 * b.m21,
                  m00 * b.m02 + m01 * b.m12 + m02 * b.m22, m10 * b.m00 + m11 * b.m10 + m12 * b.m20,
                  m10 * b.m01 + m11 * b.m11 + m12 * b.m21, m10 * b.m02 + m11 * b.m12 + m12 * b.m22,
                  m20 * b.m00 + m21 * b.m10 + m22 * b.m20, m20 * b.m01 + m21 * b.m11 + m22 * b.m21,
                  m20 * b.m02 + m21 * b.m12 + m22 * b.m22);
}

// The product is formed from a copy, so a *= a squares correctly.
void Matrix::operator*=(Matrix b) {
    *this = *this * b;
}

Vector Matrix::operator*(Vector v) {
    return Vector(m00 * v.x + m01 * v.y + m02 * v.z, m10 * v.x + m11 * v.y + m12 * v.z,
                  m20 * v.x + m21 * v.y + m22 * v.z);
}

Matrix Matrix::operator+(Matrix b) {
    return Matrix(m00 + b.m00, m01 + b.m01, m02 + b.m02, m10 + b.m10, m11 + b.m11, m12 + b.m12,
                  m20 + b.m20, m21 + b.m21, m22 + b.m22);
}

void Matrix::operator+=(Matrix b) {
    *this = *this + b;
}

Matrix Matrix::operator-(Matrix b) {
    return Matrix(m00 - b.m00, m01 - b.m01, m02 - b.m02, m10 - b.m10, m11 - b.m11, m12 - b.m12,
                  m20 - b.m20, m21 - b.m21, m22 - b.m22);
}

void Matrix::operator-=(Matrix b) {
    *this = *this - b;
}

Matrix Matrix::operator-() {
    return Matrix(-m00, -m01, -m02, -m10, -m11, -m12, -m20, -m21, -m22);
}

Matrix Matrix::operator*(float s) {
    return Matrix(m00 * s, m01 * s, m02 * s, m10 * s, m11 * s, m12 * s, m20 * s, m21 * s, m22 * s);
}

void Matrix::operator*=(float s) {
    *this = *this * s;
}
