// Built outside the tree against the installed package alone: every member of the three
// classes links, the rotation builders and the constants included.
#include <telvogeometry/Matrix.h>
#include <telvogeometry/Quaternion.h>
#include <telvogeometry/Vector.h>

#include <cmath>
#include <cstdio>

namespace {

bool Near(float a, float b) {
    return std::fabs(a - b) < 1e-5f;
}

bool Same(Vector a, Vector b) {
    return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.z, b.z);
}

} // namespace

int main() {
    bool ok = true;
    auto check = [&ok](bool holds, const char* what) {
        if (!holds) {
            std::printf("wrong: %s\n", what);
            ok = false;
        }
    };

    Vector a(3.0f, 0.0f, 4.0f);
    Vector b(0.0, 1.0, 0.0);
    check(a.Length() == 5.0f && a.LengthSquared() == 25.0, "Length");
    check(Same(a.Normalize(), Vector(0.6f, 0.0f, 0.8f)), "Normalize");
    Vector c = a + b - b;
    c += b;
    c -= b;
    c *= 2.0f;
    c /= 2.0f;
    check(Same(c, a) && Same(-a, a * -1.0f) && Same(a / 2.0f, Vector(1.5f, 0.0f, 2.0f)),
          "Vector arithmetic");
    check(a * b == 0.0f && Same(Vector(VectorXAxis) ^ VectorYAxis, VectorZAxis), "dot and cross");
    check(Same(VectorZero, Vector(0.0f, 0.0f, 0.0f)), "VectorZero");

    Matrix rx = Matrix::RotX(0.5f);
    Matrix ry = Matrix::RotY(0.5f);
    Matrix rz = Matrix::RotZ(1.5707963f);
    check(Same(rz * VectorXAxis, VectorYAxis), "RotZ turns x towards y");
    check(Same(rx.RowX(), VectorXAxis) && Same(ry.ColY(), VectorYAxis) &&
              Same(rz.RowZ(), VectorZAxis) && Same(rx.ColX(), VectorXAxis) &&
              Same(ry.RowY(), VectorYAxis) && Same(rz.ColZ(), VectorZAxis),
          "rows and columns");
    Matrix m = rx * ry;
    m *= rx.Transpose();
    m += MatrixIdentity;
    m -= MatrixIdentity;
    m *= 2.0f;
    Matrix n = (m + m - m) * 0.5f + -Matrix(MatrixIdentity);
    n.SetRowX(VectorXAxis);
    n.SetRowY(VectorYAxis);
    n.SetRowZ(VectorZAxis);
    check(Same(n * a, a), "SetRow");
    n.SetColX(VectorYAxis);
    n.SetColY(VectorXAxis);
    n.SetColZ(VectorZAxis);
    check(Same(n * VectorXAxis, VectorYAxis), "SetCol");
    check(Same((m - m) * a, VectorZero), "Matrix arithmetic");

    Quaternion i(0.0f, 1.0f, 0.0f, 0.0f);
    Quaternion j(0.0, 0.0, 1.0, 0.0);
    Quaternion k = i * j;
    check(k.w == 0.0f && Same(k.v, VectorZAxis), "Hamilton product");
    Quaternion q(2.0f, Vector(0.0f, 0.0f, 0.0f));
    check(q.Normalize() != 0 && q.w == 1.0f, "Quaternion Normalize");
    q *= i;
    q *= 2.0f;
    q /= 2.0f;
    q = (q * 4.0f) / 4.0f;
    check(Same(q.Inverse().v, Vector(-1.0f, 0.0f, 0.0f)), "Inverse");

    std::printf("%s\n", ok ? "ok" : "wrong");
    return ok ? 0 : 1;
}
