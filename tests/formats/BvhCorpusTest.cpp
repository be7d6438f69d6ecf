// Every human file of the corpus (and the shared files beside the project) posed where the
// file's own joints are, and every other figure refused. Our nodes are compared with 14
// landmarks after one similarity transform per take, in units of the figure's size (thigh +
// shin + hips to head).
#include "telvoria/formats/BvhKinematics.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/skeleton/Math.h"
#include "tests/formats/BvhFiles.h"
#include "tests/support/Vec3.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using telvo::Cross, telvo::Distance, telvo::Dot, telvo::Plus, telvo::V3;
using M3 = std::array<V3, 3>;

V3 Times(const M3& m, const V3& v) {
    return {Dot(m[0], v), Dot(m[1], v), Dot(m[2], v)};
}

// ---- the file's own joints ------------------------------------------------------------------

struct RefTake {
    std::vector<telvo::bvh::Joint> joints;
    std::vector<std::vector<V3>> frames; // every joint's place on every frame
};

// The library's reader and forward kinematics, which BvhRead and BvhKinematics test on their
// own; what is scored here is how our nodes are fitted to those joints.
RefTake ReadTake(const std::string& path) {
    const std::string text = telvo::ReadAll(path);
    telvo::bvh::Reader reader(text);
    RefTake take;
    if (!reader.ReadHeader()) {
        return take;
    }
    take.joints = reader.Joints();
    telvo::bvh::Kinematics fk(take.joints, telvo::math::Identity(), 1.0f);
    std::vector<float> values(static_cast<std::size_t>(reader.ChannelCount()));
    while (take.frames.size() < reader.FrameCount() && reader.NextFrame(values.data())) {
        fk.Pose(values.data());
        auto& place = take.frames.emplace_back();
        for (std::size_t i = 0; i < take.joints.size(); ++i) {
            const Vector& p = fk.Position(static_cast<int>(i));
            place.push_back({p.x, p.y, p.z});
        }
    }
    return take;
}

// ---- landmarks -----------------------------------------------------------------------------

// Our landmark nodes and the names the file's joint has in the families of the corpus, the
// first that the file holds wins ("LeftShoulder" is a collar where "LeftArm" exists).
struct Landmark {
    int node;
    std::string label;
    std::vector<std::string> names;
};

std::vector<Landmark> Landmarks() {
    // The left side's node (the right's is 6 further), part and names.
    static const std::tuple<int, const char*, const char*> limbs[] = {
        {18, "hip",
         "LeftUpLeg LeftHip lThigh UpperLeg_L LeftThigh LeftUpperLeg HipLeft lthigh lfemur"},
        {19, "knee",
         "LeftLeg LeftKnee lShin LowerLeg_L LeftShin LeftLowLeg LeftLowerLeg KneeLeft "
         "lshin ltibia"},
        {20, "ankle", "LeftFoot LeftAnkle lFoot Foot_L AnkleLeft lfoot"},
        {7, "shoulder",
         "LeftArm LeftUpArm lShldr UpperArm_L LeftUpperArm LeftShoulder "
         "ShoulderLeft lshldr lhumerus"},
        {8, "elbow",
         "LeftForeArm LeftLowArm lForeArm LowerArm_L LeftLowerArm LeftElbow ElbowLeft "
         "lforearm lradius"},
        {9, "wrist", "LeftHand lHand Hand_L LeftWrist WristLeft lhand"}};
    // A figure without a head joint has its head where its neck chain ends.
    std::vector<Landmark> out{{0, "hips", {"Hips", "hip", "Hip", "pelvis", "Pelvis"}},
                              {4, "head", {"Head", "head", "Neck1", "Neck", "neck"}}};
    for (bool left : {true, false}) {
        for (const auto& [node, part, names] : limbs) {
            Landmark l{left ? node : node + 6, std::string(left ? "left " : "right ") + part, {}};
            std::istringstream words(names);
            for (std::string n; words >> n;) {
                if (!left) {
                    n = std::regex_replace(n, std::regex("Left"), "Right");
                    n = std::regex_replace(n, std::regex("_L$"), "_R");
                    n[0] = n[0] == 'l' ? 'r' : n[0]; // lThigh, lfemur
                }
                l.names.push_back(n);
            }
            out.push_back(l);
        }
    }
    return out;
}

// The joint a landmark stands on, names compared after any "rig:" prefix; -1 if none.
int JointOf(const RefTake& take, const Landmark& l) {
    for (const std::string& wanted : l.names) {
        for (std::size_t i = 0; i < take.joints.size(); ++i) {
            std::string name = take.joints[i].name;
            name.erase(0, name.find_last_of(':') + 1);
            if (!name.empty() && name == wanted) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

// ---- one similarity transform per take ------------------------------------------------------

struct Similarity {
    double scale = 1;
    M3 rotation{};
    V3 shift{};
    V3 Apply(const V3& p) const { return Plus(shift, Times(rotation, p), scale); }
};

Similarity Fit(const std::vector<V3>& from, const std::vector<V3>& to) {
    V3 cf{}, ct{};
    for (std::size_t i = 0; i < from.size(); ++i) {
        cf = Plus(cf, from[i], 1.0 / static_cast<double>(from.size()));
        ct = Plus(ct, to[i], 1.0 / static_cast<double>(to.size()));
    }
    M3 r{}; // the transposed covariance, whose polar factor is the rotation
    double spread = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const V3 f = Plus(from[i], cf, -1), t = Plus(to[i], ct, -1);
        spread += Dot(f, f);
        for (std::size_t k = 0; k < 3; ++k) {
            r[k] = Plus(r[k], f, t[k]);
        }
    }
    // Newton's iteration: the mean of the matrix and its inverse's transpose, until a rotation.
    for (int it = 0; it < 60; ++it) {
        const M3 cofactors{Cross(r[1], r[2]), Cross(r[2], r[0]), Cross(r[0], r[1])};
        const double det = Dot(r[0], cofactors[0]);
        for (std::size_t k = 0; k < 3; ++k) {
            r[k] = Plus(Plus({}, r[k], 0.5), cofactors[k], 0.5 / det);
        }
    }
    EXPECT_GT(Dot(r[0], Cross(r[1], r[2])), 0) << "the figure is the file's mirror image";
    Similarity t{.rotation = r};
    double along = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        along += Dot(Times(t.rotation, Plus(from[i], cf, -1)), Plus(to[i], ct, -1));
    }
    t.scale = spread > 0 ? along / spread : 1;
    t.shift = Plus(ct, Times(t.rotation, cf), -t.scale);
    return t;
}

double Percentile(std::vector<double> v, double share) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1,
                      static_cast<std::size_t>(share * static_cast<double>(v.size())))];
}

std::string Percent(double v) {
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v * 100, std::chars_format::fixed, 2).ptr);
}

// The folder's BVH files in order, then those of the shared files named that are there.
std::vector<std::string> Files(const std::string& folder, std::vector<std::string> shared) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(telvo::SourcePath(folder))) {
        out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    for (const std::string& name : shared) {
        if (fs::exists(telvo::SourcePath("../shared/data/bvh/" + name))) {
            out.push_back(telvo::SourcePath("../shared/data/bvh/" + name).string());
        }
    }
    return out;
}

constexpr double MedianLimit = 0.01;
constexpr double Percentile95Limit = 0.03;

// One file's score; a file that cannot be scored fails on its own and the others still run.
void ScoreHumanFile(const std::string& path, const std::vector<Landmark>& landmarks) {
    SCOPED_TRACE(path);
    const RefTake take = ReadTake(path);
    std::vector<int> joint;
    for (const Landmark& l : landmarks) {
        joint.push_back(JointOf(take, l));
        ASSERT_GE(joint.back(), 0) << "no joint for the " << l.label;
    }
    const auto poses = telvo::Play(path);
    ASSERT_EQ(poses.size(), take.frames.size()) << telvo::Reason();
    std::vector<V3> ours, theirs;
    for (std::size_t f = 0; f < poses.size(); ++f) {
        for (std::size_t i = 0; i < landmarks.size(); ++i) {
            const Vector& p = poses[f][static_cast<std::size_t>(landmarks[i].node)];
            ours.push_back({p.x, p.y, p.z});
            theirs.push_back(take.frames[f][static_cast<std::size_t>(joint[i])]);
        }
    }
    // The figure's size: thigh + shin + hips to head, the median over the take.
    std::vector<double> sizes;
    for (const auto& frame : take.frames) {
        auto at = [&](int i) {
            return frame[static_cast<std::size_t>(joint[static_cast<std::size_t>(i)])];
        };
        double legs = (Distance(at(2), at(3)) + Distance(at(3), at(4)) + Distance(at(8), at(9)) +
                       Distance(at(9), at(10))) /
                      2;
        sizes.push_back(legs + Distance(at(0), at(1)));
    }
    const double size = Percentile(sizes, 0.5);
    const Similarity t = Fit(ours, theirs);
    std::vector<double> errors;
    std::vector<double> worst(landmarks.size(), 0.0);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        errors.push_back(Distance(t.Apply(ours[i]), theirs[i]) / size);
        worst[i % landmarks.size()] = std::max(worst[i % landmarks.size()], errors.back());
    }
    const double median = Percentile(errors, 0.5), p95 = Percentile(errors, 0.95);
    const auto worstAt =
        static_cast<std::size_t>(std::max_element(worst.begin(), worst.end()) - worst.begin());
    const std::string& at = landmarks[worstAt].label;
    ::testing::Test::RecordProperty(fs::path(path).filename().string(),
                                    "median " + Percent(median) + " %, 95th " + Percent(p95) +
                                        " %, worst " + at + " " + Percent(worst[worstAt]) + " %");
    EXPECT_LE(median, MedianLimit) << at;
    EXPECT_LE(p95, Percentile95Limit) << at;
}

TEST(BvhCorpus, HumanFilesLandWhereTheirOwnJointsAre) {
    const std::vector<std::string> files =
        Files("tests/formats/corpus/human",
              {"01_cmu_cgspeed_01_01.bvh", "05_mocapbank_test_mocapbank.bvh",
               "16_animdraw_cmu1_jumping_jacks.bvh", "19_biovision_example1.bvh",
               "20_optitrack_test_optitrack.bvh"});
    ASSERT_GE(files.size(), 20u) << "the corpus is missing";
    const std::vector<Landmark> landmarks = Landmarks();
    for (const std::string& path : files) {
        ScoreHumanFile(path, landmarks);
    }
}

// A helper root above the hips (as some datasets have), moving and turning the whole figure
// from frame to frame, only moves the figure.
TEST(BvhCorpus, ARootAboveTheHipsOnlyMovesTheFigure) {
    const std::string text =
        telvo::ReadAll(telvo::SourcePath("tests/formats/corpus/human/rokoko_jesse_dance.bvh"));
    const auto motion = text.find("MOTION"), root = text.find("ROOT");
    std::istringstream frames(text.substr(motion));
    std::string wrapped = "HIERARCHY\nROOT joint_Root\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition "
                          "Yposition Zposition Zrotation Yrotation Xrotation\nJOINT" +
                          text.substr(root + 4, motion - root - 4) + "}\n";
    std::string line;
    for (int i = 0; std::getline(frames, line); ++i) {
        wrapped += i < 3 ? line + "\n" // the motion's header
                         : std::to_string(i * 0.5) + " 3 " + std::to_string(-0.3 * i) + " " +
                               std::to_string(1.7 * i) + " " + std::to_string(1.1 * i) + " 5 " +
                               line + "\n";
    }
    ScoreHumanFile(telvo::Write("root_above.bvh", wrapped), Landmarks());
}

TEST(BvhCorpus, OtherFiguresAreRefusedWithAReason) {
    const std::vector<std::string> files =
        Files("tests/formats/corpus/other", {"03_synthetic_sinusoidal.bvh"});
    ASSERT_GE(files.size(), 3u) << "the corpus is missing";
    for (const std::string& path : files) {
        EXPECT_TRUE(telvo::Play(path).empty()) << path;
        EXPECT_THAT(telvo::Reason(), ::testing::StartsWith("not a human figure: ")) << path;
    }
}

} // namespace
