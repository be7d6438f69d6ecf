#include "telvoria/formats/BvhKinematics.h"

#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>
#include <math.h>

namespace telvo::bvh {

namespace {

constexpr float DegreesToRadians = 3.14159265358979f / 180.0f;

// Columns a and b of a matrix turned by (c, s): a' = c a + s b, b' = c b - s a.
inline void TurnPair(float& a0, float& a1, float& a2, float& b0, float& b1, float& b2, float c,
                     float s) {
    float x0 = a0;
    float x1 = a1;
    float x2 = a2;
    a0 = c * x0 + s * b0;
    a1 = c * x1 + s * b1;
    a2 = c * x2 + s * b2;
    b0 = c * b0 - s * x0;
    b1 = c * b1 - s * x1;
    b2 = c * b2 - s * x2;
}

// m times a turn about basis axis 0, 1 or 2: only two columns change.
inline void TurnColumns(Matrix& m, int axis, float c, float s) {
    if (axis == 0) {
        TurnPair(m.m01, m.m11, m.m21, m.m02, m.m12, m.m22, c, s);
    } else if (axis == 1) {
        TurnPair(m.m02, m.m12, m.m22, m.m00, m.m10, m.m20, c, s);
    } else {
        TurnPair(m.m00, m.m10, m.m20, m.m01, m.m11, m.m21, c, s);
    }
}

} // namespace

Kinematics::Kinematics(const std::vector<Joint>& joints, const Matrix& axes, float scale,
                       const std::vector<char>& needed)
    : steps_(joints.size()), world_(joints.size()), position_(joints.size()) {
    int channels = 0;
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const Joint& j = joints[i];
        Step& st = steps_[i];
        st.parent = j.parent;
        st.skip = !needed.empty() && needed[i] == 0;
        st.firstChannel = j.firstChannel;
        st.channelCount = j.channelCount;
        channels = std::max(channels, j.firstChannel + j.channelCount);
        st.offset = math::Scale(math::Apply(axes, j.offset), scale);
        for (int c = 0; c < j.channelCount; ++c) {
            auto ci = static_cast<std::size_t>(c);
            int which = static_cast<int>(j.channels[ci]);
            Vector unit{which % 3 == 0 ? 1.0f : 0.0f, which % 3 == 1 ? 1.0f : 0.0f,
                        which % 3 == 2 ? 1.0f : 0.0f};
            Vector d = math::Apply(axes, unit);
            if (which < 3) {
                st.kind[ci] = Kind::Move;
                st.direction[ci] = math::Scale(d, scale);
                continue;
            }
            // A file axis that lands on one of ours turns two columns only.
            st.direction[ci] = d;
            st.kind[ci] = Kind::TurnAboutVector;
            const float parts[3] = {d.x, d.y, d.z};
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(std::fabs(parts[k]) - 1.0f) < 1e-6f) {
                    st.kind[ci] = Kind::TurnAboutAxis;
                    st.axis[ci] = static_cast<uint8_t>(k);
                    st.sign[ci] = parts[k] > 0.0f ? DegreesToRadians : -DegreesToRadians;
                }
            }
            if (st.kind[ci] == Kind::TurnAboutAxis && !st.skip) {
                st.turn[ci] = static_cast<int>(turnChannel_.size());
                turnChannel_.push_back(j.firstChannel + c);
                turnScale_.push_back(st.sign[ci]);
            }
        }
    }
    zeros_.assign(static_cast<std::size_t>(channels), 0.0f);
    sine_.resize(turnChannel_.size());
    cosine_.resize(turnChannel_.size());
}

void Kinematics::Pose(const float* values) {
    if (values == nullptr) {
        values = zeros_.data();
    }
    for (std::size_t k = 0; k < turnChannel_.size(); ++k) {
        ::sincosf(values[turnChannel_[k]] * turnScale_[k], &sine_[k], &cosine_[k]);
    }
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const Step& st = steps_[i];
        if (st.skip) {
            continue;
        }
        const bool root = st.parent < 0;
        const auto parent = static_cast<std::size_t>(root ? 0 : st.parent);
        Matrix w = root ? math::Identity() : world_[parent];
        Vector t = st.offset;
        for (int c = 0; c < st.channelCount; ++c) {
            auto ci = static_cast<std::size_t>(c);
            float v = values[st.firstChannel + c];
            switch (st.kind[ci]) {
            case Kind::Move:
                t = math::Add(t, math::Scale(st.direction[ci], v));
                break;
            case Kind::TurnAboutAxis: {
                const auto k = static_cast<std::size_t>(st.turn[ci]);
                TurnColumns(w, st.axis[ci], cosine_[k], sine_[k]);
                break;
            }
            case Kind::TurnAboutVector:
                w = math::Mul(w, math::AxisAngle(st.direction[ci], v * DegreesToRadians));
                break;
            }
        }
        position_[i] = root ? t : math::Add(position_[parent], math::Apply(world_[parent], t));
        world_[i] = w;
    }
}

Vector Kinematics::PointOf(int joint, const Vector& local) const {
    auto j = static_cast<std::size_t>(joint);
    return math::Add(position_[j], math::Apply(world_[j], local));
}

} // namespace telvo::bvh
