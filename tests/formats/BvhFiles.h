#pragma once

// BVH texts of the tests, written to a folder of the test process and read back posed.

#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace telvo {

using Pose = std::array<Vector, SkeletonNodeCount>;

// A file in a folder of this test process, removed at its end.
inline std::string Scratch(const std::string& name) {
    static const TempDir dir;
    return (dir.path() / name).string();
}

inline std::string Write(const std::string& name, const std::string& text) {
    WriteAll(Scratch(name), text);
    return Scratch(name);
}

// Why the last read failed.
inline const std::string& Reason() {
    return files::LastProblem().reason;
}

// The posed nodes of every frame of a file; none when the file is refused.
inline std::vector<Pose> Play(const std::string& path) {
    Skeleton sk;
    GyroInitSkeleton(&sk);
    std::vector<Pose> poses;
    const bool read = GyroReadBVH(path.c_str(), &sk) == 1;
    for (uint32_t f = 0; read && f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        std::transform(std::begin(sk.Nodes), std::end(sk.Nodes), poses.emplace_back().begin(),
                       [](const SkeletonNode& n) { return n.Position; });
    }
    GyroFreeSkeletonFrames(&sk);
    return poses;
}

} // namespace telvo
