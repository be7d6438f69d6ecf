// The shared files from other tools, read onto our body and played back: every measured node
// lies where the file's own joint is, and the figure moves as an animator expects.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/formats/BvhTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A reference reading of a BVH file, on purpose nothing like the library's: recursive text
// walk, double precision, rotations composed one channel at a time.
struct RefJoint {
    std::string name;
    int parent = -1;
    double offset[3] = {0, 0, 0};
    std::vector<std::string> channels;
};

struct RefFile {
    std::vector<RefJoint> joints;
    std::vector<std::vector<double>> frames;
};

double Num(const std::string& s) {
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

RefFile ReadRef(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::istringstream words(all.str());
    RefFile f;
    std::vector<int> open;
    std::string w;
    while (words >> w && w != "MOTION") {
        if (w == "ROOT" || w == "JOINT" || w == "End") {
            RefJoint j;
            std::string name;
            words >> name; // the shared files' names are single words
            j.name = w == "End" ? "" : name;
            j.parent = open.empty() ? -1 : open.back();
            f.joints.push_back(j);
            open.push_back(static_cast<int>(f.joints.size()) - 1);
        } else if (w == "}") {
            open.pop_back();
        } else if (w == "OFFSET") {
            for (double& o : f.joints[static_cast<std::size_t>(open.back())].offset) {
                words >> w;
                o = Num(w);
            }
        } else if (w == "CHANNELS") {
            words >> w;
            f.joints[static_cast<std::size_t>(open.back())].channels.resize(
                static_cast<std::size_t>(Num(w)));
            for (auto& c : f.joints[static_cast<std::size_t>(open.back())].channels) {
                words >> c;
            }
        }
    }
    std::size_t channels = 0;
    for (auto& j : f.joints) {
        channels += j.channels.size();
    }
    words >> w >> w; // Frames: N
    f.frames.resize(static_cast<std::size_t>(Num(w)));
    words >> w >> w >> w; // Frame Time: T
    for (auto& fr : f.frames) {
        fr.resize(channels);
        for (double& v : fr) {
            words >> w;
            v = Num(w);
        }
    }
    return f;
}

using M3 = std::array<std::array<double, 3>, 3>;
M3 MulM(const M3& a, const M3& b) {
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i][j] += a[i][k] * b[k][j];
    return r;
}

// World positions of every joint in one frame (the file's axes and units).
std::vector<std::array<double, 3>> RefPose(const RefFile& f, std::size_t frame) {
    std::vector<std::array<double, 3>> pos(f.joints.size());
    std::vector<M3> rot(f.joints.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < f.joints.size(); ++i) {
        const RefJoint& j = f.joints[i];
        M3 local{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        double t[3] = {j.offset[0], j.offset[1], j.offset[2]};
        for (const std::string& c : j.channels) {
            double v = f.frames[frame][at++];
            int axis = c[0] - 'X';
            if (c.find("position") != std::string::npos) {
                t[axis] += v;
                continue;
            }
            double a = v * M_PI / 180.0;
            M3 r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
            int p = (axis + 1) % 3;
            int q = (axis + 2) % 3;
            r[p][p] = std::cos(a);
            r[p][q] = -std::sin(a);
            r[q][p] = std::sin(a);
            r[q][q] = std::cos(a);
            local = MulM(local, r);
        }
        if (j.parent < 0) {
            rot[i] = local;
            pos[i] = {t[0], t[1], t[2]};
            continue;
        }
        const M3& pr = rot[static_cast<std::size_t>(j.parent)];
        rot[i] = MulM(pr, local);
        for (int k = 0; k < 3; ++k) {
            pos[i][k] = pos[static_cast<std::size_t>(j.parent)][k] + pr[k][0] * t[0] +
                        pr[k][1] * t[1] + pr[k][2] * t[2];
        }
    }
    return pos;
}

constexpr int Measured[] = {0, 3, 4, 7, 8, 9, 13, 14, 15, 19, 20, 25, 26};

class SharedFile : public ::testing::TestWithParam<const char*> {};

TEST_P(SharedFile, PlaysWhereTheFileIsAndMovesLikeAPerson) {
    std::string path = testfiles::Shared(GetParam());
    if (path.empty()) {
        GTEST_SKIP() << "the shared BVH files are not beside the project";
    }
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(path.c_str(), &sk), 1) << telvo::files::LastProblem().reason;
    const auto source = telvo::files::LastBvhSource();
    RefFile ref = ReadRef(path);
    ASSERT_EQ(ref.frames.size(), sk.FrameCount);
    std::map<std::string, int> byName;
    for (std::size_t i = 0; i < ref.joints.size(); ++i) {
        byName[ref.joints[i].name] = static_cast<int>(i);
    }
    // The shared files stand with Y up and face +Z: ours is x, -z, y, scaled to inches.
    double s = source.inchesPerUnit;
    auto ours = [&](const std::array<double, 3>& p) {
        return std::array<double, 3>{p[0] * s, -p[2] * s, p[1] * s};
    };
    double height = 0;
    {
        Frame still{};
        for (auto& m : still.RawMatrices) {
            m = Matrix(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);
        }
        still.RootPosition = sk.Nodes[0].Offset;
        GyroApplyFrame(&sk, &still);
        height = sk.Nodes[5].Position.z;
    }
    EXPECT_GT(height, 50.0);
    EXPECT_LT(height, 90.0);

    std::vector<double> errors;
    double shift[3] = {0, 0, 0};
    int upright = 0;
    int footDown = 0;
    int kneesBack = 0;
    for (std::size_t f = 0; f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        auto pose = RefPose(ref, f);
        for (int n : Measured) {
            const std::string& joint = source.joint[static_cast<std::size_t>(n)];
            ASSERT_TRUE(byName.count(joint)) << GyroGetNodeName(n) << " from " << joint;
            auto p = ours(pose[static_cast<std::size_t>(byName[joint])]);
            const Vector& q = sk.Nodes[n].Position;
            double d[3] = {q.x - p[0], q.y - p[1], q.z - p[2]};
            if (f == 0 && n == 0) { // the file's floor and ours differ by one shift
                std::copy(d, d + 3, shift);
            }
            errors.push_back(std::hypot(d[0] - shift[0], d[1] - shift[1], d[2] - shift[2]));
        }
        const SkeletonNode* nd = sk.Nodes;
        upright += nd[4].Position.z > nd[0].Position.z;
        footDown += (sk.Frames[f].ContactMask & 0x3f) != 0;
        // A bent knee points the way the hips face: left hip x up.
        Vector lr{nd[18].Position.x - nd[24].Position.x, nd[18].Position.y - nd[24].Position.y, 0};
        Vector facing{lr.y, -lr.x, 0};
        for (int hip : {18, 24}) {
            Vector h = nd[hip].Position, k = nd[hip + 1].Position, a = nd[hip + 2].Position;
            Vector mid{(h.x + a.x) / 2 - k.x, (h.y + a.y) / 2 - k.y, (h.z + a.z) / 2 - k.z};
            double bend = std::hypot(mid.x, mid.y, mid.z);
            if (bend > 2.0 && mid.x * facing.x + mid.y * facing.y + mid.z * facing.z > 0) {
                ++kneesBack;
            }
        }
    }
    std::sort(errors.begin(), errors.end());
    double median = errors[errors.size() / 2] / height * 100;
    double worst = errors.back() / height * 100;
    RecordProperty("median_percent", testfiles::Fixed(median));
    RecordProperty("worst_percent", testfiles::Fixed(worst));
    EXPECT_LT(median, 2.0);
    EXPECT_LT(worst, 5.0);
    EXPECT_EQ(upright, static_cast<int>(sk.FrameCount));
    RecordProperty("frames_with_a_foot_down", footDown);
    EXPECT_GT(footDown, 0);
    EXPECT_EQ(kneesBack, 0);
    GyroFreeSkeletonFrames(&sk);
}

INSTANTIATE_TEST_SUITE_P(Human, SharedFile,
                         ::testing::Values("01_cmu_cgspeed_01_01.bvh",
                                           "05_mocapbank_test_mocapbank.bvh",
                                           "16_animdraw_cmu1_jumping_jacks.bvh",
                                           "19_biovision_example1.bvh",
                                           "20_optitrack_test_optitrack.bvh"));

} // namespace
