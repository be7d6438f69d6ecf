// The rotation builders and constants the geometry classes take from the suit library.
#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <cmath>

const Vector VectorZero(0.0f, 0.0f, 0.0f);
const Vector VectorXAxis(1.0f, 0.0f, 0.0f);
const Vector VectorYAxis(0.0f, 1.0f, 0.0f);
const Vector VectorZAxis(0.0f, 0.0f, 1.0f);
const Matrix MatrixIdentity(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);

// Right-handed rotations of points: RotZ turns the x axis towards the y axis.
Matrix Matrix::RotX(float angle) {
    float c = std::cos(angle);
    float s = std::sin(angle);
    return Matrix(1.0f, 0.0f, 0.0f, 0.0f, c, -s, 0.0f, s, c);
}

Matrix Matrix::RotY(float angle) {
    float c = std::cos(angle);
    float s = std::sin(angle);
    return Matrix(c, 0.0f, s, 0.0f, 1.0f, 0.0f, -s, 0.0f, c);
}

Matrix Matrix::RotZ(float angle) {
    float c = std::cos(angle);
    float s = std::sin(angle);
    return Matrix(c, -s, 0.0f, s, c, 0.0f, 0.0f, 0.0f, 1.0f);
}
