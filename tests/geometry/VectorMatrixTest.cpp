#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

// Compound assignments return nothing, so they cannot be chained.
static_assert(std::is_void_v<decltype(std::declval<Vector&>() += std::declval<Vector>())>);
static_assert(std::is_void_v<decltype(std::declval<Vector&>() -= std::declval<Vector>())>);
static_assert(std::is_void_v<decltype(std::declval<Vector&>() *= 1.0f)>);
static_assert(std::is_void_v<decltype(std::declval<Vector&>() /= 1.0f)>);
static_assert(std::is_void_v<decltype(std::declval<Matrix&>() += std::declval<Matrix>())>);
static_assert(std::is_void_v<decltype(std::declval<Matrix&>() -= std::declval<Matrix>())>);
static_assert(std::is_void_v<decltype(std::declval<Matrix&>() *= std::declval<Matrix>())>);
static_assert(std::is_void_v<decltype(std::declval<Matrix&>() *= 1.0f)>);
static_assert(std::is_same_v<decltype(std::declval<Vector&>() = std::declval<Vector>()), Vector&>);
static_assert(std::is_trivially_copyable_v<Vector> && std::is_trivially_copyable_v<Matrix>);
static_assert(std::is_standard_layout_v<Vector> && std::is_standard_layout_v<Matrix>);
static_assert(!std::is_polymorphic_v<Vector> && !std::is_polymorphic_v<Matrix>);
static_assert(offsetof(Matrix, m12) == 5 * sizeof(float), "row-major storage");

void ExpectVector(Vector v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

Matrix OneToNine() {
    return Matrix(1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f, 9.0f);
}

TEST(Vector, NormalizeReturnsUnitCopyAndLeavesZeroAlone) {
    Vector v(3.0f, 0.0f, 4.0f);
    ExpectVector(v.Normalize(), 0.6f, 0.0f, 0.8f);
    ExpectVector(v, 3.0f, 0.0f, 4.0f);

    ExpectVector(Vector(0.0f, 0.0f, 0.0f).Normalize(), 0.0f, 0.0f, 0.0f); // not NaN
}

TEST(Vector, LengthSquaredIsDoubleWhileLengthIsFloat) {
    Vector v(1e20f, 0.0f, 0.0f);
    EXPECT_DOUBLE_EQ(v.LengthSquared(), static_cast<double>(1e20f) * static_cast<double>(1e20f));
    EXPECT_FALSE(std::isinf(v.LengthSquared())); // 1e40 overflows a float
    EXPECT_FLOAT_EQ(v.Length(), 1e20f);
}

TEST(Vector, CrossAndDotProducts) {
    Vector x(1.0f, 0.0f, 0.0f);
    Vector y(0.0f, 1.0f, 0.0f);
    ExpectVector(x ^ y, 0.0f, 0.0f, 1.0f);
    ExpectVector(y ^ x, 0.0f, 0.0f, -1.0f);
    EXPECT_EQ(Vector(1.0f, 2.0f, 3.0f) * Vector(4.0f, 5.0f, 6.0f), 32.0f);
}

TEST(Vector, DivisionMultipliesByTheFloatReciprocal) {
    ExpectVector(Vector(2.0f, 4.0f, 8.0f) / 0.5f, 4.0f, 8.0f, 16.0f);
    // 5 / 3 divided exactly is 1.66666663; times the rounded reciprocal it is 1.66666675.
    Vector v(5.0f, 5.0f, 5.0f);
    Vector q = v / 3.0f;
    EXPECT_EQ(q.x, 5.0f * (1.0f / 3.0f));
    EXPECT_NE(q.x, 5.0f / 3.0f);
    v /= 3.0f;
    EXPECT_EQ(v.x, q.x);
}

TEST(Vector, ValueAndInPlaceForms) {
    Vector a(1.0f, 2.0f, 3.0f);
    Vector b(0.5f, -1.0f, 4.0f);
    ExpectVector(a + b, 1.5f, 1.0f, 7.0f);
    ExpectVector(a - b, 0.5f, 3.0f, -1.0f);
    ExpectVector(-a, -1.0f, -2.0f, -3.0f);
    ExpectVector(a * 0.5f, 0.5f, 1.0f, 1.5f);
    Vector c = a;
    c += b;
    c -= a;
    c *= 2.0f;
    ExpectVector(c, 1.0f, -2.0f, 8.0f);
}

TEST(Matrix, RowsColumnsAndTranspose) {
    Matrix m = OneToNine();
    ExpectVector(m.RowY(), 4.0f, 5.0f, 6.0f);
    ExpectVector(m.ColY(), 2.0f, 5.0f, 8.0f);
    ExpectVector(m.Transpose().RowX(), 1.0f, 4.0f, 7.0f);
    ExpectVector(m * Vector(1.0f, 0.0f, 0.0f), 1.0f, 4.0f, 7.0f);
    ExpectVector(m.RowX(), 1.0f, 2.0f, 3.0f); // Transpose left the object alone

    Matrix same(Vector(1.0f, 2.0f, 3.0f), Vector(4.0f, 5.0f, 6.0f), Vector(7.0f, 8.0f, 9.0f));
    EXPECT_EQ(std::memcmp(&same, &m, sizeof m), 0);
}

TEST(Matrix, ColumnAndRowSettersAreNotSwapped) {
    Matrix m = OneToNine();
    m.SetColZ(Vector(10.0f, 11.0f, 12.0f));
    m.SetRowX(Vector(-1.0f, -2.0f, -3.0f));
    ExpectVector(m.RowX(), -1.0f, -2.0f, -3.0f);
    ExpectVector(m.ColZ(), -3.0f, 11.0f, 12.0f);
    m.SetColY(Vector(0.0f, 0.0f, 0.0f));
    m.SetRowY(Vector(7.0f, 7.0f, 7.0f));
    m.SetColX(Vector(1.0f, 1.0f, 1.0f));
    m.SetRowZ(Vector(2.0f, 2.0f, 2.0f));
    ExpectVector(m.ColY(), 0.0f, 7.0f, 2.0f);
    ExpectVector(m.ColX(), 1.0f, 1.0f, 2.0f);
}

TEST(Matrix, ProductActsWithTheObjectOnTheLeft) {
    Matrix swapRows(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    Matrix b = OneToNine();
    Matrix p = swapRows * b;
    ExpectVector(p.RowX(), 4.0f, 5.0f, 6.0f);
    ExpectVector(p.RowY(), 1.0f, 2.0f, 3.0f);
    ExpectVector(p.RowZ(), 7.0f, 8.0f, 9.0f);

    Matrix c = swapRows;
    c *= b;
    EXPECT_EQ(std::memcmp(&c, &p, sizeof p), 0);
}

TEST(Matrix, InPlaceProductWithItselfSquares) {
    Matrix m = OneToNine();
    Matrix square = m * m;
    m *= m;
    EXPECT_EQ(std::memcmp(&m, &square, sizeof m), 0);
    EXPECT_EQ(square.m00, 30.0f);
    EXPECT_EQ(square.m22, 150.0f);
}

TEST(Matrix, ProductsSumTheirTermsInIndexOrder) {
    // (1 + 1e8) - 1e8 is 0 in float; summed the other way round it would be 1.
    Matrix a(1.0f, 1e8f, -1e8f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    Matrix ones(1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ((a * ones).m00, 0.0f);
    EXPECT_EQ((a * Vector(1.0f, 1.0f, 1.0f)).x, 0.0f);
}

TEST(Matrix, ElementWiseOperations) {
    Matrix a = OneToNine();
    Matrix b = OneToNine() * 2.0f;
    EXPECT_EQ(b.m21, 16.0f);
    EXPECT_EQ((a + b).m11, 15.0f);
    EXPECT_EQ((a - b).m02, -3.0f);
    EXPECT_EQ((-a).m20, -7.0f);
    Matrix c = a;
    c += b;
    c -= a;
    c *= 0.5f;
    EXPECT_EQ(std::memcmp(&c, &a, sizeof c), 0);
}

} // namespace
