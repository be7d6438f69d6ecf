#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr float kQuarter = std::numbers::pi_v<float> / 2.0f;

void ExpectNear(Vector v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

TEST(Rotation, RightHandedAboutEachAxis) {
    ExpectNear(Matrix::RotZ(kQuarter) * Vector(1.0f, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f);
    ExpectNear(Matrix::RotX(kQuarter) * Vector(0.0f, 1.0f, 0.0f), 0.0f, 0.0f, 1.0f);
    ExpectNear(Matrix::RotY(kQuarter) * Vector(0.0f, 0.0f, 1.0f), 1.0f, 0.0f, 0.0f);
}

TEST(Rotation, ProperRotationsKeepLengthsAndHandedness) {
    for (float angle : {0.3f, -1.7f, 2.0943952f, 6.0f}) {
        for (Matrix r : {Matrix::RotX(angle), Matrix::RotY(angle), Matrix::RotZ(angle)}) {
            Matrix product = r * r.Transpose();
            ExpectNear(product.RowX(), 1.0f, 0.0f, 0.0f);
            ExpectNear(product.RowY(), 0.0f, 1.0f, 0.0f);
            ExpectNear(product.RowZ(), 0.0f, 0.0f, 1.0f);
            Vector det = r.RowX() ^ r.RowY();
            EXPECT_NEAR(det * r.RowZ(), 1.0f, 1e-6f);
        }
    }
}

} // namespace
