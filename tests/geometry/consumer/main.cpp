// Built outside the tree against the installed package alone: every member of the three
// classes links, the rotation builders and the constants included. Values are chosen so that
// swapped operands, rows for columns or one operator for another give a different result.
#include <telvogeometry/Matrix.h>
#include <telvogeometry/Quaternion.h>
#include <telvogeometry/Vector.h>

#include <cmath>
#include <cstdio>

#define CHECK(holds) Check(holds, #holds)

namespace {

bool ok = true;
void Check(bool holds, const char* what) {
    if (!holds) {
        std::printf("wrong: %s\n", what);
        ok = false;
    }
}

// By the floats, so that it trusts no accessor.
template <class T> bool Same(T a, T b) {
    const auto* x = reinterpret_cast<const float*>(&a);
    const auto* y = reinterpret_cast<const float*>(&b);
    bool same = true;
    for (size_t i = 0; i < sizeof(T) / sizeof(float); ++i) {
        same = same && std::fabs(x[i] - y[i]) < 1e-5f;
    }
    return same;
}

} // namespace

int main() {
    Vector a(3.0f, 0.0f, 4.0f);
    Vector b(1.0, 1.0, 2.0);
    CHECK(a.Length() == 5.0f && a.LengthSquared() == 25.0);
    CHECK(Same(a.Normalize(), Vector(0.6, 0.0, 0.8)));
    Vector c = a;
    c += b;
    c *= 2.0f;
    c -= a;
    c /= 2.0f;
    CHECK(Same(c, Vector(2.5, 1.0, 4.0)));
    CHECK(Same(-(a + b) - b / 2.0f, Vector(-4.5, -1.5, -7.0)) &&
          Same(a * 2.0f, Vector(6.0, 0.0, 8.0)));
    CHECK(a * b == 11.0f && Same(a ^ b, Vector(-4.0, -2.0, 3.0)));
    CHECK(Same(Vector(VectorXAxis) ^ VectorYAxis, VectorZAxis) &&
          Same(VectorZero, Vector(0.0, 0.0, 0.0)));

    Matrix m(1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0);
    Matrix t(1.0f, 4.0f, 7.0f, 2.0f, 5.0f, 8.0f, 3.0f, 6.0f, 9.0f);
    CHECK(Same(Matrix(m.RowX(), m.RowY(), m.RowZ()), m) && Same(m.Transpose(), t));
    CHECK(Same(Matrix(m.ColX(), m.ColY(), m.ColZ()), t));
    Matrix n(MatrixIdentity);
    CHECK(Same(n * a, a));
    n.SetRowX(m.RowX());
    n.SetRowY(m.RowY());
    n.SetRowZ(m.RowZ());
    CHECK(Same(n, m));
    n.SetColX(m.RowX());
    n.SetColY(m.RowY());
    n.SetColZ(m.RowZ());
    CHECK(Same(n, t));
    Matrix square = m;
    square *= square;
    CHECK(Same(square, Matrix(30.0, 36.0, 42.0, 66.0, 81.0, 96.0, 102.0, 126.0, 150.0)) &&
          Same(m * m, square));
    CHECK(Same(m * Vector(1.0, 1.0, 1.0), Vector(6.0, 15.0, 24.0)));
    Matrix e = m * 2.0f + m - (-m);
    e += m;
    e -= m * 3.0f;
    e *= 0.5f;
    CHECK(Same(e, m));

    Matrix rx = Matrix::RotX(1.5707963f), ry = Matrix::RotY(1.5707963f),
           rz = Matrix::RotZ(1.5707963f);
    CHECK(Same(rx * VectorYAxis, VectorZAxis) && Same(ry * VectorZAxis, VectorXAxis));
    CHECK(Same(rz * VectorXAxis, VectorYAxis));
    Matrix turn = rz;
    turn *= rx; // the left factor acts last
    CHECK(Same((rz * rx) * VectorYAxis, VectorZAxis) && Same(turn * VectorYAxis, VectorZAxis));

    Quaternion p(1.0f, 2.0f, 3.0f, 4.0f);
    Quaternion q(5.0, 6.0, 7.0, 8.0);
    const Quaternion pq(-60.0, 12.0, 30.0, 24.0);
    CHECK(Same(p * q, pq) && Same(p.Inverse(), Quaternion(1.0, -2.0, -3.0, -4.0)));
    Quaternion r = (p *= q);
    CHECK(Same(p, pq) && Same(r, pq));
    p *= 0.5f;
    p /= 4.0f;
    CHECK(Same(p, Quaternion(-7.5, 1.5, 3.75, 3.0)) && Same(p * 4.0f / 0.5f, pq));
    Quaternion u(1.0f, Vector(1.0f, 1.0f, 1.0f)); // the scalar part itself, not an angle
    CHECK(u.Normalize() == 1 && Same(u, Quaternion(0.5, 0.5, 0.5, 0.5)));

    std::printf("%s\n", ok ? "ok" : "wrong");
    return ok ? 0 : 1;
}
