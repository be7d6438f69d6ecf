#include "telvoria/formats/BvhFit.h"

#include "telvoria/skeleton/Math.h"

#include <cmath>

namespace telvo::bvh {

namespace {

using math::Cross;
using math::Dot;
using math::Length;
using math::Scale;

// Directions closer than this to opposite are turned half a turn about any axis across them.
constexpr float OppositeCosine = -0.99999f;

Matrix CosSinAbout(const Vector& u, float c, float s) {
    float t = 1.0f - c;
    return Matrix(t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y,
                  t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x,
                  t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c);
}

// Symmetric 4x4 eigenvector of the largest eigenvalue, by Jacobi rotations.
void TopEigenvector(double n[4][4], double out[4]) {
    double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    constexpr int MaxSweeps = 50;
    for (int sweep = 0; sweep < MaxSweeps; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                off += n[p][q] * n[p][q];
            }
        }
        if (off < 1e-24) {
            break;
        }
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (std::fabs(n[p][q]) < 1e-300) {
                    continue;
                }
                double theta = (n[q][q] - n[p][p]) / (2.0 * n[p][q]);
                double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                double c = 1.0 / std::sqrt(t * t + 1.0);
                double s = t * c;
                for (int k = 0; k < 4; ++k) {
                    double a = n[k][p];
                    double b = n[k][q];
                    n[k][p] = c * a - s * b;
                    n[k][q] = s * a + c * b;
                }
                for (int k = 0; k < 4; ++k) {
                    double a = n[p][k];
                    double b = n[q][k];
                    n[p][k] = c * a - s * b;
                    n[q][k] = s * a + c * b;
                }
                for (int k = 0; k < 4; ++k) {
                    double a = v[k][p];
                    double b = v[k][q];
                    v[k][p] = c * a - s * b;
                    v[k][q] = s * a + c * b;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (n[i][i] > n[best][best]) {
            best = i;
        }
    }
    for (int k = 0; k < 4; ++k) {
        out[k] = v[k][best];
    }
}

} // namespace

Vector Normalized(const Vector& v) {
    float l = Length(v);
    return l > 0.0f ? Scale(v, 1.0f / l) : Vector{0.0f, 0.0f, 0.0f};
}

Vector Across(const Vector& v, const Vector& u) {
    return math::Sub(v, Scale(u, Dot(v, u)));
}

Matrix Turn(const Vector& a, const Vector& b) {
    float ab = std::sqrt(Dot(a, a) * Dot(b, b));
    if (!(ab > 1e-24f)) {
        return math::Identity();
    }
    float inv = 1.0f / ab;
    float c = Dot(a, b) * inv;
    if (c < OppositeCosine) {
        Vector u = Normalized(a);
        Vector n = std::fabs(u.x) < 0.9f ? Cross(u, Vector{1.0f, 0.0f, 0.0f})
                                         : Cross(u, Vector{0.0f, 1.0f, 0.0f});
        return CosSinAbout(Normalized(n), -1.0f, 0.0f);
    }
    Vector k = Scale(Cross(a, b), inv);
    float f = 1.0f / (1.0f + c);
    return Matrix(c + k.x * k.x * f, k.x * k.y * f - k.z, k.x * k.z * f + k.y, k.x * k.y * f + k.z,
                  c + k.y * k.y * f, k.y * k.z * f - k.x, k.x * k.z * f - k.y, k.y * k.z * f + k.x,
                  c + k.z * k.z * f);
}

Matrix Fit(const Vector* from, const Vector* to, const float* weight, int count) {
    int first = 0;
    while (first < count && !(Length(from[first]) > 1e-6f && Length(to[first]) > 1e-6f)) {
        ++first;
    }
    if (first == count) {
        return math::Identity();
    }
    Matrix r = Turn(from[first], to[first]);
    Vector axis = Normalized(to[first]);
    float sumCos = 0.0f;
    float sumSin = 0.0f;
    float norm = 0.0f;
    for (int i = 0; i < count; ++i) {
        if (i == first) {
            continue;
        }
        Vector a = Across(math::Apply(r, from[i]), axis);
        Vector b = Across(to[i], axis);
        sumCos += weight[i] * Dot(a, b);
        sumSin += weight[i] * Dot(Cross(a, b), axis);
        norm += weight[i] * Length(a) * Length(b);
    }
    float len = std::sqrt(sumCos * sumCos + sumSin * sumSin);
    if (norm > 1e-12f && len > 1e-4f * norm) {
        r = math::Mul(CosSinAbout(axis, sumCos / len, sumSin / len), r);
    }
    return r;
}

Matrix BestFit(const Vector* from, const Vector* to, int count) {
    double s[3][3] = {};
    int used = 0;
    for (int i = 0; i < count; ++i) {
        Vector a = Normalized(from[i]);
        Vector b = Normalized(to[i]);
        if (Length(a) == 0.0f || Length(b) == 0.0f) {
            continue;
        }
        ++used;
        double av[3] = {a.x, a.y, a.z};
        double bv[3] = {b.x, b.y, b.z};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                s[r][c] += av[r] * bv[c];
            }
        }
    }
    if (used < 2) {
        const float even[3] = {1.0f, 1.0f, 1.0f};
        return Fit(from, to, even, count);
    }
    double n[4][4] = {
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]}};
    double q[4];
    TopEigenvector(n, q);
    double l = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    double w = q[0] / l;
    double x = q[1] / l;
    double y = q[2] / l;
    double z = q[3] / l;
    return Matrix(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                  2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                  2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
}

} // namespace telvo::bvh
