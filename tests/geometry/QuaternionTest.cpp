#include "geometry/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <utility>

namespace {

static_assert(offsetof(Quaternion, w) == 0 && offsetof(Quaternion, v) == 4,
              "scalar part first in memory");
static_assert(std::is_same_v<decltype(std::declval<Quaternion&>() *= std::declval<Quaternion>()),
                             Quaternion>);
static_assert(std::is_void_v<decltype(std::declval<Quaternion&>() *= 1.0f)>);
static_assert(std::is_void_v<decltype(std::declval<Quaternion&>() /= 1.0f)>);

void ExpectQuaternion(Quaternion q, float w, float x, float y, float z) {
    EXPECT_FLOAT_EQ(q.w, w);
    EXPECT_FLOAT_EQ(q.v.x, x);
    EXPECT_FLOAT_EQ(q.v.y, y);
    EXPECT_FLOAT_EQ(q.v.z, z);
}

TEST(Quaternion, HamiltonProductOfTheUnits) {
    Quaternion i(0.0f, 1.0f, 0.0f, 0.0f);
    Quaternion j(0.0f, 0.0f, 1.0f, 0.0f);
    Quaternion k(0.0f, 0.0f, 0.0f, 1.0f);
    ExpectQuaternion(i * j, 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectQuaternion(j * i, 0.0f, 0.0f, 0.0f, -1.0f);
    ExpectQuaternion(i * i, -1.0f, 0.0f, 0.0f, 0.0f);
    ExpectQuaternion(j * k, 0.0f, 1.0f, 0.0f, 0.0f);
    ExpectQuaternion(k * i, 0.0f, 0.0f, 1.0f, 0.0f);
}

TEST(Quaternion, GeneralProductIsNotNormalized) {
    Quaternion a(1.0f, 2.0f, 3.0f, 4.0f);
    Quaternion b(5.0f, 6.0f, 7.0f, 8.0f);
    ExpectQuaternion(a * b, -60.0f, 12.0f, 30.0f, 24.0f);
    ExpectQuaternion(b * a, -60.0f, 20.0f, 14.0f, 32.0f);
}

TEST(Quaternion, NormalizeInPlaceAndRefusesZero) {
    Quaternion zero(0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(zero.Normalize(), 0);
    ExpectQuaternion(zero, 0.0f, 0.0f, 0.0f, 0.0f);

    Quaternion two(2.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(two.Normalize(), 1);
    ExpectQuaternion(two, 1.0f, 0.0f, 0.0f, 0.0f);

    Quaternion q(1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(q.Normalize(), 1);
    ExpectQuaternion(q, 0.5f, 0.5f, 0.5f, 0.5f);
}

TEST(Quaternion, InverseIsTheConjugateNotDividedByTheNorm) {
    Quaternion q(1.0f, 2.0f, 3.0f, 4.0f);
    ExpectQuaternion(q.Inverse(), 1.0f, -2.0f, -3.0f, -4.0f);
    ExpectQuaternion(q, 1.0f, 2.0f, 3.0f, 4.0f);
}

TEST(Quaternion, ConstructorsStoreTheScalarItself) {
    ExpectQuaternion(Quaternion(0.5f, Vector(1.0f, 0.0f, 0.0f)), 0.5f, 1.0f, 0.0f, 0.0f);
    ExpectQuaternion(Quaternion(0.1, 0.2, 0.3, 0.4), 0.1f, 0.2f, 0.3f, 0.4f);
}

TEST(Quaternion, InPlaceProductWithItselfChangesAndReturns) {
    Quaternion q(0.0f, 1.0f, 0.0f, 0.0f);
    Quaternion r = (q *= Quaternion(0.0f, 0.0f, 1.0f, 0.0f));
    ExpectQuaternion(q, 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectQuaternion(r, 0.0f, 0.0f, 0.0f, 1.0f);
    q *= q; // k * k
    ExpectQuaternion(q, -1.0f, 0.0f, 0.0f, 0.0f);
}

TEST(Quaternion, ScalarFormsDivideByTheFloatReciprocal) {
    Quaternion q(1.0f, 2.0f, 5.0f, 4.0f);
    ExpectQuaternion(q * 2.0f, 2.0f, 4.0f, 10.0f, 8.0f);
    EXPECT_EQ((q / 3.0f).v.y, 5.0f * (1.0f / 3.0f));
    q *= 0.5f;
    q /= 0.25f;
    ExpectQuaternion(q, 2.0f, 4.0f, 10.0f, 8.0f);
}

} // namespace
