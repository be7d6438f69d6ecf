// The rotation tracks of a take, Lanes frames at a time. The same steps as the library's pose
// (Gram-Schmidt on each sensor, each segment against its parent's, the quaternion of that), but
// written without branches over arrays of one number from each of Lanes frames, so that the
// compiler does every step for several frames in one instruction: an hour of motion is solved
// in a fraction of the time it takes to write.
#include "telvoria/formats/GltfPose.h"

#include "telvoria/skeleton/Body.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace telvo::gltf {

namespace {

// Row-major, as Matrix: element 3 * row + column, one number per frame.
using Lane = float[Lanes];
using Turns = Lane[9];

// The sensor whose turn each node's parent takes: a node without a sensor turns with its own.
const std::array<int, body::NodeCount> SensorAbove = [] {
    std::array<int, body::NodeCount> above{};
    above[0] = body::SensorOfNode[0];
    for (int node = 1; node < body::NodeCount; ++node) {
        const int parent = body::Parent[node];
        above[node] = body::SensorOfNode[parent] >= 0 ? body::SensorOfNode[parent] : above[parent];
    }
    return above;
}();

// Each sensor's matrix of each frame, read frame after frame as they lie in memory.
[[gnu::always_inline]] inline void Gather(const Frame* frames, uint32_t count,
                                          Turns (&raw)[body::SensorCount]) {
    for (uint32_t k = 0; k < Lanes; ++k) {
        const Matrix* m = frames[std::min(k, count - 1)].RawMatrices;
        for (int s = 0; s < body::SensorCount; ++s) {
            const float* e = &m[s].m00;
            for (int i = 0; i < 9; ++i) {
                raw[s][i][k] = e[i];
            }
        }
    }
}

// The nearest proper rotation to each frame's sensor matrix, the identity for one that holds
// none (not finite, degenerate), as math::Orthonormal decides.
[[gnu::always_inline]] inline void Orthonormal(const Turns& raw, Turns& out) {
    constexpr float Largest = std::numeric_limits<float>::max();
    for (uint32_t k = 0; k < Lanes; ++k) {
        float x0 = raw[0][k], x1 = raw[3][k], x2 = raw[6][k];
        float y0 = raw[1][k], y1 = raw[4][k], y2 = raw[7][k];
        const float lx = x0 * x0 + x1 * x1 + x2 * x2;
        const float ix = 1.0f / std::sqrt(lx);
        x0 *= ix, x1 *= ix, x2 *= ix;
        const float along = x0 * y0 + x1 * y1 + x2 * y2;
        y0 -= x0 * along, y1 -= x1 * along, y2 -= x2 * along;
        const float ly = y0 * y0 + y1 * y1 + y2 * y2;
        const float iy = 1.0f / std::sqrt(ly);
        y0 *= iy, y1 *= iy, y2 *= iy;
        // A comparison with NaN is false, and lengths are never negative: this is "finite".
        const bool ok = (lx > 1e-6f) & (lx <= Largest) & (ly > 1e-6f) & (ly <= Largest);
        out[0][k] = ok ? x0 : 1.0f;
        out[3][k] = ok ? x1 : 0.0f;
        out[6][k] = ok ? x2 : 0.0f;
        out[1][k] = ok ? y0 : 0.0f;
        out[4][k] = ok ? y1 : 1.0f;
        out[7][k] = ok ? y2 : 0.0f;
        out[2][k] = ok ? x1 * y2 - x2 * y1 : 0.0f;
        out[5][k] = ok ? x2 * y0 - x0 * y2 : 0.0f;
        out[8][k] = ok ? x0 * y1 - x1 * y0 : 1.0f;
    }
}

// parent^T * child: the child's turn in its parent's frame.
[[gnu::always_inline]] inline void Relative(const Turns& parent, const Turns& child, Turns& out) {
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            for (uint32_t k = 0; k < Lanes; ++k) {
                out[3 * row + col][k] = parent[row][k] * child[col][k] +
                                        parent[3 + row][k] * child[3 + col][k] +
                                        parent[6 + row][k] * child[6 + col][k];
            }
        }
    }
}

// The unit quaternion (x, y, z, w) of each rotation in glTF's axes (the axis turns like a
// point), into out + 4 * k. Of the four ways to take it, each frame takes the one that divides
// by the largest number, as a branch on the trace would.
[[gnu::always_inline]] inline void Quaternions(const Turns& m, uint32_t count, float* out) {
    Lane qx, qy, qz, qw;
    for (uint32_t k = 0; k < Lanes; ++k) {
        const float m00 = m[0][k], m01 = m[1][k], m02 = m[2][k];
        const float m10 = m[3][k], m11 = m[4][k], m12 = m[5][k];
        const float m20 = m[6][k], m21 = m[7][k], m22 = m[8][k];
        const float trace = m00 + m11 + m22;
        const bool byW = trace > 0;
        const bool byX = !byW & (m00 > m11) & (m00 > m22);
        const bool byY = !byW & !byX & (m11 > m22);
        const float d = byW   ? 1 + trace
                        : byX ? 1 + m00 - m11 - m22
                        : byY ? 1 + m11 - m00 - m22
                              : 1 + m22 - m00 - m11;
        const float r = std::sqrt(d);
        const float s = 0.5f / r;
        const float big = 0.5f * r;
        const float a = (m21 - m12) * s, b = (m02 - m20) * s, c = (m10 - m01) * s;
        const float xy = (m01 + m10) * s, xz = (m02 + m20) * s, yz = (m12 + m21) * s;
        const float w = byW ? big : byX ? a : byY ? b : c;
        const float x = byW ? a : byX ? big : byY ? xy : xz;
        const float y = byW ? b : byX ? xy : byY ? big : yz;
        const float z = byW ? c : byX ? xz : byY ? yz : big;
        const float unit = 1 / std::sqrt(x * x + y * y + z * z + w * w);
        qx[k] = x * unit;
        qy[k] = z * unit;
        qz[k] = -y * unit;
        qw[k] = w * unit;
    }
    // q and -q are the same turn: each frame takes the sign nearer the frame before. Whether
    // a turn points away from the one before is found for all frames at once; the signs then
    // follow by a running product, so no frame waits for the choice on the one before.
    Lane away;
    for (uint32_t k = 1; k < Lanes; ++k) {
        away[k] = qx[k] * qx[k - 1] + qy[k] * qy[k - 1] + qz[k] * qz[k - 1] + qw[k] * qw[k - 1];
    }
    float sign = 1;
    for (uint32_t k = 0; k < count; ++k, out += 4) {
        sign = k > 0 && away[k] < 0 ? -sign : sign;
        out[0] = sign * qx[k];
        out[1] = sign * qy[k];
        out[2] = sign * qz[k];
        out[3] = sign * qw[k];
    }
}

} // namespace

// Where the processor has them, with eight frames per instruction instead of four (the steps
// above are always inlined, so they are compiled for it too).
#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
void PoseLanes(const Frame* frames, uint32_t count, const std::array<float*, body::NodeCount>& out) {
    Turns raw[body::SensorCount];
    Gather(frames, count, raw);
    Turns sensors[body::SensorCount];
    for (int s = 0; s < body::SensorCount; ++s) {
        Orthonormal(raw[s], sensors[s]);
    }
    Turns relative;
    for (int node = 0; node < body::NodeCount; ++node) {
        const int sensor = body::SensorOfNode[node];
        if (node == body::Hips) {
            Quaternions(sensors[sensor], count, out[node]);
        } else if (sensor >= 0) {
            Relative(sensors[SensorAbove[node]], sensors[sensor], relative);
            Quaternions(relative, count, out[node]);
        } else {
            for (uint32_t k = 0; k < count; ++k) {
                std::copy_n(std::array<float, 4>{0, 0, 0, 1}.data(), 4, out[node] + 4 * k);
            }
        }
    }
}

void KeepNear(float* q, uint32_t count, std::array<float, 4>& before) {
    // Within each lane group the signs are already chosen; a group turns as a whole when its
    // first frame points away from the frame before.
    const float* last = before.data();
    for (uint32_t first = 0; first < count; first += Lanes) {
        float* group = q + 4 * first;
        if (group[0] * last[0] + group[1] * last[1] + group[2] * last[2] + group[3] * last[3] < 0) {
            for (uint32_t i = 0; i < 4 * std::min(Lanes, count - first); ++i) {
                group[i] = -group[i];
            }
        }
        last = group + 4 * (Lanes - 1);
    }
    if (count > 0) {
        std::copy_n(q + 4 * (count - 1), 4, before.data());
    }
}

} // namespace telvo::gltf
