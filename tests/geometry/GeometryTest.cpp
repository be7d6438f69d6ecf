// What the outside program in consumer/ does not catch: the library boundary's form, float
// rounding that must match the suit library bit for bit, and zero lengths.
#include "geometry/Matrix.h"
#include "geometry/Quaternion.h"
#include "geometry/Vector.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

// Declared only, for the operators' types below.
Vector& V();
Matrix& M();
Quaternion& Q();

namespace {

// Compound assignments return nothing (Quaternion's product excepted), as across the boundary.
static_assert(std::is_void_v<decltype(V() += V())> && std::is_void_v<decltype(V() -= V())> &&
              std::is_void_v<decltype(V() *= 1.0f)> && std::is_void_v<decltype(V() /= 1.0f)>);
static_assert(std::is_void_v<decltype(M() += M())> && std::is_void_v<decltype(M() -= M())> &&
              std::is_void_v<decltype(M() *= M())> && std::is_void_v<decltype(M() *= 1.0f)>);
static_assert(std::is_same_v<decltype(Q() *= Q()), Quaternion> &&
              std::is_void_v<decltype(Q() *= 1.0f)> && std::is_void_v<decltype(Q() /= 1.0f)>);
static_assert(std::is_same_v<decltype(V() = V()), Vector&>);
// Shared with the suit library's records: plain data, rows first, the scalar part first.
static_assert(std::is_trivially_copyable_v<Vector> && std::is_trivially_copyable_v<Matrix> &&
              std::is_trivially_copyable_v<Quaternion>);
static_assert(std::is_standard_layout_v<Matrix> && std::is_standard_layout_v<Quaternion>);
static_assert(offsetof(Matrix, m12) == 5 * sizeof(float) && offsetof(Quaternion, v) == 4);

// 0 / 0 would make every component NaN: one of each kind tells.
TEST(Normalize, ZeroLengthsStayZero) {
    EXPECT_EQ(Vector(0.0f, 0.0f, 0.0f).Normalize().x, 0.0f);
    Quaternion zero(0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(zero.Normalize(), 0);
    EXPECT_EQ(zero.w, 0.0f);
}

TEST(Vector, LengthSquaredIsDoubleWhileLengthIsFloat) {
    Vector v(1e20f, 0.0f, 0.0f);
    EXPECT_DOUBLE_EQ(v.LengthSquared(), static_cast<double>(1e20f) * static_cast<double>(1e20f));
    EXPECT_FLOAT_EQ(v.Length(), 1e20f); // 1e40 overflows a float
}

TEST(Division, MultipliesByTheRoundedFloatReciprocal) {
    // 5 / 3 is 1.66666663 in float; 5 times the float nearest 1/3 is 1.66666675.
    Vector v(5.0f, 5.0f, 5.0f);
    EXPECT_EQ((v / 3.0f).x, 1.66666675f);
    v /= 3.0f;
    EXPECT_EQ(v.z, 1.66666675f);
    Quaternion q(5.0f, 5.0f, 5.0f, 5.0f);
    EXPECT_EQ((q / 3.0f).v.y, 1.66666675f);
    q /= 3.0f;
    EXPECT_EQ(q.w, 1.66666675f);
}

TEST(Matrix, ProductsSumTheirTermsInIndexOrder) {
    // (1 + 1e8) - 1e8 is 0 in float; summed the other way round it would be 1.
    Matrix a(1.0f, 1e8f, -1e8f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    Matrix ones(1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ((a * ones).m00, 0.0f);
    EXPECT_EQ((a * Vector(1.0f, 1.0f, 1.0f)).x, 0.0f);
}

} // namespace
