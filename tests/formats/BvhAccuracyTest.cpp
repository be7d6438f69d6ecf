// The shared files from other tools, read onto our body and played back: every measured node
// lies where the file's own joint is, and the figure stands up with a foot on the floor.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// The shared file's path, or "" when the folder is not there.
std::string Shared(const std::string& name) {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    std::string path = std::string(root != nullptr ? root : ".") + "/../shared/data/bvh/" + name;
    return std::filesystem::exists(path) ? path : "";
}

// A reference reading of a BVH file, on purpose nothing like the library's: a walk over the
// words, double precision, rotations composed one channel at a time. Every joint's place in
// every frame, in the file's axes and units.
struct RefFile {
    std::map<std::string, std::size_t> byName;
    std::vector<std::vector<std::array<double, 3>>> poses;
};

using M3 = std::array<std::array<double, 3>, 3>;

RefFile ReadRef(const std::string& path) {
    struct Joint {
        int parent;
        std::array<double, 3> offset;
        std::vector<std::string> channels;
    };
    std::ifstream words(path, std::ios::binary);
    auto num = [&words] {
        std::string w;
        words >> w;
        double v = 0;
        std::from_chars(w.data(), w.data() + w.size(), v);
        return v;
    };
    RefFile f;
    std::vector<Joint> joints;
    std::vector<int> open;
    std::string w;
    while (words >> w && w != "MOTION") {
        if (w == "ROOT" || w == "JOINT" || w == "End") {
            words >> w; // the shared files' names are single words
            f.byName[w] = joints.size();
            joints.push_back({open.empty() ? -1 : open.back(), {}, {}});
            open.push_back(static_cast<int>(joints.size()) - 1);
        } else if (w == "}") {
            open.pop_back();
        } else if (w == "OFFSET") {
            for (double& o : joints[open.back()].offset) {
                o = num();
            }
        } else if (w == "CHANNELS") {
            joints[open.back()].channels.resize(static_cast<std::size_t>(num()));
            for (auto& c : joints[open.back()].channels) {
                words >> c;
            }
        }
    }
    words >> w; // Frames:
    f.poses.resize(static_cast<std::size_t>(num()),
                   std::vector<std::array<double, 3>>(joints.size()));
    words >> w >> w >> w; // Frame Time: T
    for (auto& pos : f.poses) {
        std::vector<M3> rot(joints.size());
        for (std::size_t i = 0; i < joints.size(); ++i) {
            const Joint& j = joints[i];
            rot[i] = j.parent < 0 ? M3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}} : rot[j.parent];
            std::array<double, 3> t = j.offset;
            for (const std::string& c : j.channels) {
                int axis = c[0] - 'X';
                if (c.find("position") != std::string::npos) {
                    t[axis] += num();
                    continue;
                }
                // The world rotation times a turn about the axis: columns p and q mix.
                double a = num() * M_PI / 180.0;
                int p = (axis + 1) % 3;
                int q = (axis + 2) % 3;
                for (auto& row : rot[i]) {
                    const double u = row[p];
                    row[p] = u * std::cos(a) + row[q] * std::sin(a);
                    row[q] = row[q] * std::cos(a) - u * std::sin(a);
                }
            }
            if (j.parent < 0) {
                pos[i] = t;
                continue;
            }
            const M3& pr = rot[j.parent];
            for (int k = 0; k < 3; ++k) {
                pos[i][k] = pos[j.parent][k] + pr[k][0] * t[0] + pr[k][1] * t[1] + pr[k][2] * t[2];
            }
        }
    }
    return f;
}

std::string Percent(double v) {
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, 3).ptr);
}

// Hips, neck, head, shoulders, elbows, wrists, knees and ankles.
constexpr int Measured[] = {0, 3, 4, 7, 8, 9, 13, 14, 15, 19, 20, 25, 26};

class SharedFile : public ::testing::TestWithParam<const char*> {};

TEST_P(SharedFile, PlaysWhereTheFileIsUprightWithAFootDown) {
    std::string path = Shared(GetParam());
    if (path.empty()) {
        GTEST_SKIP() << "the shared BVH files are not beside the project";
    }
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(path.c_str(), &sk), 1) << telvo::files::LastProblem().reason;
    const auto source = telvo::files::LastBvhSource();
    RefFile ref = ReadRef(path);
    ASSERT_EQ(ref.poses.size(), sk.FrameCount);
    Frame still{};
    for (auto& m : still.RawMatrices) {
        m = Matrix(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    still.RootPosition = sk.Nodes[0].Offset;
    GyroApplyFrame(&sk, &still);
    const double height = sk.Nodes[5].Position.z; // the head top, standing on the floor
    EXPECT_GT(height, 50.0);
    EXPECT_LT(height, 90.0);

    // The shared files stand with Y up and face +Z: ours is x, -z, y, scaled to inches.
    const double s = source.inchesPerUnit;
    std::vector<double> errors;
    double shift[3] = {0, 0, 0};
    int upright = 0;
    int footDown = 0;
    for (std::size_t f = 0; f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        for (int n : Measured) {
            const auto& p = ref.poses[f][ref.byName[source.joint[n]]];
            const Vector& q = sk.Nodes[n].Position;
            double d[3] = {q.x - p[0] * s, q.y + p[2] * s, q.z - p[1] * s};
            if (f == 0 && n == 0) { // the file's floor and ours differ by one shift
                std::copy(d, d + 3, shift);
            }
            errors.push_back(std::hypot(d[0] - shift[0], d[1] - shift[1], d[2] - shift[2]));
        }
        upright += sk.Nodes[4].Position.z > sk.Nodes[0].Position.z;
        footDown += (sk.Frames[f].ContactMask & 0x3f) != 0;
    }
    std::sort(errors.begin(), errors.end());
    double median = errors[errors.size() / 2] / height * 100;
    double worst = errors.back() / height * 100;
    RecordProperty("median_percent", Percent(median));
    RecordProperty("worst_percent", Percent(worst));
    EXPECT_LT(median, 2.0);
    EXPECT_LT(worst, 5.0);
    EXPECT_EQ(upright, static_cast<int>(sk.FrameCount));
    EXPECT_GT(footDown, 0);
    GyroFreeSkeletonFrames(&sk);
}

INSTANTIATE_TEST_SUITE_P(Human, SharedFile,
                         ::testing::Values("01_cmu_cgspeed_01_01.bvh",
                                           "05_mocapbank_test_mocapbank.bvh",
                                           "16_animdraw_cmu1_jumping_jacks.bvh",
                                           "19_biovision_example1.bvh",
                                           "20_optitrack_test_optitrack.bvh"));

} // namespace
