#include "telvoria/formats/BvhTree.h"

#include "telvoria/formats/BvhKinematics.h"
#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>

namespace telvo::bvh {

float Median(std::vector<float> values) {
    if (values.empty()) {
        return 0.0f;
    }
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

Tree::Tree(const std::vector<Joint>& joints, const float* values, uint32_t frameCount,
           int channelCount)
    : joints_(joints), names_(joints.size()), kids_(joints.size()), length_(joints.size()),
      size_(joints.size()) {
    for (std::size_t i = 0; i < joints.size(); ++i) {
        names_[i] = Analyse(joints[i].name);
        if (joints[i].parent >= 0) {
            kids_[Index(joints[i].parent)].push_back(static_cast<int>(i));
        }
    }
    // Frames spread evenly over the take, the first and the last among them.
    const uint32_t samples =
        std::min<uint32_t>(std::max<uint32_t>(frameCount, 1), MaxSampledFrames);
    for (uint32_t k = 0; k < samples; ++k) {
        frames_.push_back(
            samples == 1 ? 0
                         : static_cast<uint32_t>(uint64_t{k} * (frameCount - 1) / (samples - 1)));
    }
    Kinematics fk(joints, math::Identity(), 1.0f);
    at_.resize(frames_.size() * joints.size());
    for (std::size_t s = 0; s < frames_.size(); ++s) {
        fk.Pose(frameCount == 0
                    ? nullptr
                    : values + std::size_t{frames_[s]} * static_cast<std::size_t>(channelCount));
        for (std::size_t j = 0; j < joints.size(); ++j) {
            at_[s * joints.size() + j] = fk.Position(static_cast<int>(j));
        }
    }
    std::vector<float> lengths(frames_.size());
    for (std::size_t j = 0; j < joints.size(); ++j) {
        if (joints[j].parent < 0) {
            continue;
        }
        for (std::size_t s = 0; s < frames_.size(); ++s) {
            lengths[s] = Distance(static_cast<int>(s), static_cast<int>(j), joints[j].parent);
        }
        length_[j] = Median(lengths);
    }
    // Children come after their parents: sizes from the leaves up.
    std::vector<float> down(joints.size(), 0.0f);
    for (std::size_t j = joints.size(); j-- > 0;) {
        size_[j] = length_[j] + down[j];
        if (joints[j].parent >= 0) {
            float& d = down[Index(joints[j].parent)];
            d = std::max(d, size_[j]);
        }
    }
    // The longest way between two points passes through the joint where its two longest
    // branches meet.
    for (std::size_t j = 0; j < joints.size(); ++j) {
        float first = 0.0f;
        float second = 0.0f;
        for (int k : kids_[j]) {
            float s = size_[Index(k)];
            if (s > first) {
                second = first;
                first = s;
            } else if (s > second) {
                second = s;
            }
        }
        span_ = std::max(span_, first + second);
    }
    if (!std::isfinite(span_)) {
        span_ = 0.0f;
    }
}

std::string Tree::NameOf(int j) const {
    return J(j).endSite ? J(J(j).parent).name + " End Site" : J(j).name;
}

std::vector<int> Tree::JointKids(int j) const {
    std::vector<int> out;
    for (int k : Kids(j)) {
        if (!J(k).endSite) {
            out.push_back(k);
        }
    }
    return out;
}

float Tree::Distance(int sample, int a, int b) const {
    return math::Length(math::Sub(At(sample, a), At(sample, b)));
}

bool Tree::Below(int j, int ancestor) const {
    for (int p = j; p >= 0; p = J(p).parent) {
        if (p == ancestor) {
            return true;
        }
    }
    return false;
}

std::vector<int> Tree::Subtree(int j) const {
    std::vector<int> out{j};
    for (std::size_t at = 0; at < out.size(); ++at) {
        for (int k : Kids(out[at])) {
            out.push_back(k);
        }
    }
    return out;
}

bool Tree::IsTip(int j) const {
    for (int k : Kids(j)) {
        if (!J(k).endSite) {
            return false;
        }
    }
    return true;
}

bool Tree::IsEndMarker(int j) const {
    if (J(j).endSite) {
        return true;
    }
    if (!IsTip(j)) {
        return false;
    }
    float below = 0.0f;
    for (int k : Kids(j)) {
        below = std::max(below, Size(k));
    }
    return below <= Near() || IsMarker(Word(j));
}

bool Tree::HasPositionChannels(int j) const {
    const Joint& joint = J(j);
    for (int c = 0; c < joint.channelCount; ++c) {
        if (static_cast<int>(joint.channels[static_cast<std::size_t>(c)]) < 3) {
            return true;
        }
    }
    return false;
}

} // namespace telvo::bvh
