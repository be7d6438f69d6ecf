#include <telvogeometry/Matrix.h>
#include <telvogeometry/Quaternion.h>
#include <telvogeometry/Vector.h>

#include <cstdio>

int main() {
    Vector a(3.0f, 0.0f, 4.0f);
    Vector n = a.Normalize();
    Matrix swap(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    Vector s = swap * Vector(1.0f, 2.0f, 3.0f);
    Quaternion i(0.0f, 1.0f, 0.0f, 0.0f);
    Quaternion j(0.0f, 0.0f, 1.0f, 0.0f);
    Quaternion k = i * j;
    bool ok = a.Length() == 5.0f && n.x > 0.59f && n.x < 0.61f && s.x == 2.0f && s.y == 1.0f &&
              k.v.z == 1.0f && k.w == 0.0f;
    std::printf("%s\n", ok ? "ok" : "wrong");
    return ok ? 0 : 1;
}
