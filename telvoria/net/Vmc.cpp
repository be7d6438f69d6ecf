#include "telvoria/net/Vmc.h"

#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

namespace telvo::net::vmc {

namespace {

using namespace telvo::body;

struct Bone {
    const char* name;
    int node;
};

constexpr Bone Bones[] = {
    {"Hips", Hips},
    {"Spine", Waist},
    {"Chest", Chest},
    {"Neck", Neck},
    {"Head", Head},
    {"LeftShoulder", LeftCollar},
    {"LeftUpperArm", LeftShoulder},
    {"LeftLowerArm", LeftElbow},
    {"LeftHand", LeftWrist},
    {"RightShoulder", RightCollar},
    {"RightUpperArm", RightShoulder},
    {"RightLowerArm", RightElbow},
    {"RightHand", RightWrist},
    {"LeftUpperLeg", LeftHip},
    {"LeftLowerLeg", LeftKnee},
    {"LeftFoot", LeftAnkle},
    {"LeftToes", LeftBall},
    {"RightUpperLeg", RightHip},
    {"RightLowerLeg", RightKnee},
    {"RightFoot", RightAnkle},
    {"RightToes", RightBall},
};

constexpr float MetresPerInch = 0.0254f;
constexpr float HalfPi = 1.57079632679f;

// The segment's orientation in the T-pose: our null pose hangs the arms down, the T-pose holds
// them out to the sides.
Matrix Rest(int node) {
    if (node >= LeftShoulder && node <= LeftThumb) {
        return math::RotY(-HalfPi);
    }
    if (node >= RightShoulder && node <= RightThumb) {
        return math::RotY(HalfPi);
    }
    return math::Identity();
}

// Ours: X the performer's left, Y backwards, Z up (right-handed). Theirs: X right, Y up,
// Z forward (left-handed).
Vector ToUnity(const Vector& v) {
    return {-v.x, v.z, -v.y};
}
Matrix ToUnity(const Matrix& m) {
    constexpr Matrix M(-1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, -1.0f, 0.0f);
    return math::Mul(math::Mul(M, m), math::Transposed(M));
}

struct Quat {
    float x, y, z, w;
};

Quat ToQuat(const Matrix& m) {
    Quat q{};
    float trace = m.m00 + m.m11 + m.m22;
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        q = {(m.m21 - m.m12) / s, (m.m02 - m.m20) / s, (m.m10 - m.m01) / s, 0.25f * s};
    } else if (m.m00 > m.m11 && m.m00 > m.m22) {
        float s = std::sqrt(1.0f + m.m00 - m.m11 - m.m22) * 2.0f;
        q = {0.25f * s, (m.m01 + m.m10) / s, (m.m02 + m.m20) / s, (m.m21 - m.m12) / s};
    } else if (m.m11 > m.m22) {
        float s = std::sqrt(1.0f + m.m11 - m.m00 - m.m22) * 2.0f;
        q = {(m.m01 + m.m10) / s, 0.25f * s, (m.m12 + m.m21) / s, (m.m02 - m.m20) / s};
    } else {
        float s = std::sqrt(1.0f + m.m22 - m.m00 - m.m11) * 2.0f;
        q = {(m.m02 + m.m20) / s, (m.m12 + m.m21) / s, 0.25f * s, (m.m10 - m.m01) / s};
    }
    return q;
}

// One OSC message: address, type tags, arguments, each padded to 4 bytes; numbers big-endian.
class Message {
public:
    Message(std::string_view address, std::string_view tags) {
        String(address);
        String(tags);
    }
    void String(std::string_view s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        bytes_.resize((bytes_.size() / 4 + 1) * 4, 0); // at least one terminating zero
    }
    void Float(float f) { Int(std::bit_cast<int32_t>(f)); }
    void Int(int32_t i) {
        auto u = static_cast<uint32_t>(i);
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes_.push_back(static_cast<uint8_t>(u >> shift));
        }
    }
    const Bytes& Get() const { return bytes_; }

private:
    Bytes bytes_;
};

class Bundler {
public:
    void Add(const Message& m) {
        const Bytes& b = m.Get();
        if (bundles_.empty() || bundles_.back().size() + 4 + b.size() > MaxBundleBytes) {
            Bytes head = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
            bundles_.push_back(std::move(head)); // time tag 1: at once
        }
        Bytes& bundle = bundles_.back();
        auto size = static_cast<uint32_t>(b.size());
        for (int shift = 24; shift >= 0; shift -= 8) {
            bundle.push_back(static_cast<uint8_t>(size >> shift));
        }
        bundle.insert(bundle.end(), b.begin(), b.end());
    }
    std::vector<Bytes> Take() { return std::move(bundles_); }

private:
    std::vector<Bytes> bundles_;
};

void Transform(Message& m, const Vector& p, const Quat& q) {
    for (float f : {p.x, p.y, p.z, q.x, q.y, q.z, q.w}) {
        m.Float(f);
    }
}

} // namespace

std::vector<Bytes> EncodePose(const body::Pose& pose,
                              const std::array<Vector, SkeletonNodeCount>& offsets, float seconds) {
    // Each segment's turn away from its T-pose, in world axes.
    std::array<Matrix, NodeCount> turn;
    for (int i = 0; i < NodeCount; ++i) {
        turn[static_cast<std::size_t>(i)] =
            math::Mul(pose.orientation[static_cast<std::size_t>(i)], math::Transposed(Rest(i)));
    }
    Bundler out;
    Message root("/VMC/Ext/Root/Pos", ",sfffffff");
    root.String("root");
    Transform(root, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f});
    out.Add(root);
    for (const Bone& bone : Bones) {
        auto n = static_cast<std::size_t>(bone.node);
        Vector position;
        Matrix local;
        if (bone.node == Hips) {
            position = pose.position[n];
            local = turn[n];
        } else {
            auto p = static_cast<std::size_t>(Parent[n]);
            position = math::Apply(Rest(Parent[n]), offsets[n]);
            local = math::Mul(math::Transposed(turn[p]), turn[n]);
        }
        Message m("/VMC/Ext/Bone/Pos", ",sfffffff");
        m.String(bone.name);
        Transform(m, math::Scale(ToUnity(position), MetresPerInch), ToQuat(ToUnity(local)));
        out.Add(m);
    }
    Message ok("/VMC/Ext/OK", ",i");
    ok.Int(1); // the avatar is loaded: an integer in the protocol
    out.Add(ok);
    Message time("/VMC/Ext/T", ",f");
    time.Float(seconds);
    out.Add(time);
    return out.Take();
}

} // namespace telvo::net::vmc
