#pragma once

#include "Export.h"
#include "Vector.h"

// 3x3 matrix of 32-bit floats, row-major (m00 m01 m02 m10 ...), acting on column vectors from
// the left. 36 bytes without padding: shared with the suit library's records.
class TELVO_GEOMETRY_API Matrix {
public:
    float m00, m01, m02;
    float m10, m11, m12;
    float m20, m21, m22;

    Matrix() = default; // elements left unset
    constexpr Matrix(float a00, float a01, float a02, float a10, float a11, float a12, float a20,
                     float a21, float a22)
        : m00(a00), m01(a01), m02(a02), m10(a10), m11(a11), m12(a12), m20(a20), m21(a21), m22(a22) {
    }
    constexpr Matrix(double a00, double a01, double a02, double a10, double a11, double a12,
                     double a20, double a21, double a22)
        : m00(static_cast<float>(a00)), m01(static_cast<float>(a01)), m02(static_cast<float>(a02)),
          m10(static_cast<float>(a10)), m11(static_cast<float>(a11)), m12(static_cast<float>(a12)),
          m20(static_cast<float>(a20)), m21(static_cast<float>(a21)), m22(static_cast<float>(a22)) {
    }
    constexpr Matrix(Vector r0, Vector r1, Vector r2)
        : m00(r0.x), m01(r0.y), m02(r0.z), m10(r1.x), m11(r1.y), m12(r1.z), m20(r2.x), m21(r2.y),
          m22(r2.z) {}
    Matrix(const Matrix&) = default;
    Matrix& operator=(const Matrix&) = default;

    Matrix Transpose();
    Vector RowX();
    Vector RowY();
    Vector RowZ();
    Vector ColX();
    Vector ColY();
    Vector ColZ();
    void SetRowX(Vector v);
    void SetRowY(Vector v);
    void SetRowZ(Vector v);
    void SetColX(Vector v);
    void SetColY(Vector v);
    void SetColZ(Vector v);

    void operator*=(Matrix b);
    Matrix operator*(Matrix b);
    Vector operator*(Vector v);
    void operator+=(Matrix b);
    Matrix operator+(Matrix b);
    void operator-=(Matrix b);
    Matrix operator-(Matrix b);
    Matrix operator-();
    void operator*=(float s);
    Matrix operator*(float s);

    // Supplied by the suit library: proper right-handed rotations, angle in radians.
    static Matrix RotX(float angle);
    static Matrix RotY(float angle);
    static Matrix RotZ(float angle);
};

static_assert(sizeof(Matrix) == 36, "Matrix is nine packed floats");

// Supplied by the suit library.
extern TELVO_GEOMETRY_API const Matrix MatrixIdentity;
