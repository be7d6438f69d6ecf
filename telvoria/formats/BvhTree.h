#pragma once

// The file's figure as the mapping sees it: the joint tree with names read, each joint's place
// on a handful of frames spread over the take (in the file's axes and unit), and bone lengths
// measured on those frames, so that nothing depends on how the file's rest pose happens to
// stand.

#include "geometry/Vector.h"
#include "telvoria/formats/BvhNames.h"
#include "telvoria/formats/BvhParse.h"

#include <cstdint>
#include <string>
#include <vector>

namespace telvo::bvh {

// Enough frames to see how a take stands and moves, few enough to cost nothing.
constexpr int MaxSampledFrames = 64;

class Tree {
public:
    // values: frameCount rows of the file's channels. A file without frames is seen in its
    // rest pose.
    Tree(const std::vector<Joint>& joints, const float* values, uint32_t frameCount,
         int channelCount);

    int Count() const { return static_cast<int>(joints_.size()); }
    const Joint& J(int j) const { return joints_[Index(j)]; }
    const NameInfo& Name(int j) const { return names_[Index(j)]; }
    const std::string& Word(int j) const { return names_[Index(j)].word; }
    // The joint's name, or its parent's with " End Site".
    std::string NameOf(int j) const;
    const std::vector<int>& Kids(int j) const { return kids_[Index(j)]; }
    std::vector<int> JointKids(int j) const;

    int SampledFrames() const { return static_cast<int>(frames_.size()); }
    uint32_t FrameOf(int sample) const { return frames_[Index(sample)]; }
    const Vector& At(int sample, int j) const {
        return at_[Index(sample) * joints_.size() + Index(j)];
    }
    // The median distance from the joint to its parent over the sampled frames.
    float Length(int j) const { return length_[Index(j)]; }
    // Its length plus the longest way down from it.
    float Size(int j) const { return size_[Index(j)]; }
    // The longest way between any two points of the figure: its scale before anything is known.
    float Span() const { return span_; }
    // Two points closer than this are one place.
    float Near() const { return span_ * 1e-3f; }
    float Distance(int sample, int a, int b) const;

    bool Below(int j, int ancestor) const;
    std::vector<int> Subtree(int j) const;
    // A joint without joints below it: toes, eyes, a head's top, fingers' last joints.
    bool IsTip(int j) const;
    // A joint that only marks an end: no length below it, or a name that says so.
    bool IsEndMarker(int j) const;
    bool HasPositionChannels(int j) const;

private:
    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }

    const std::vector<Joint>& joints_;
    std::vector<NameInfo> names_;
    std::vector<std::vector<int>> kids_;
    std::vector<uint32_t> frames_;
    std::vector<Vector> at_;
    std::vector<float> length_;
    std::vector<float> size_;
    float span_ = 0.0f;
};

float Median(std::vector<float> values);

} // namespace telvo::bvh
