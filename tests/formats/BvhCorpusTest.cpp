// Every human file of the corpus (and the shared files beside the project) posed where the
// file's own joints are, and every other figure refused. The file's joints come from a forward
// kinematics written here, on purpose nothing like the library's: the file read line by line,
// double precision, one rotation matrix per channel multiplied in order. Our nodes are compared
// with 14 landmarks after one similarity transform per take, in units of the figure's size
// (thigh + shin + hips to head).
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using V3 = std::array<double, 3>;
using M3 = std::array<V3, 3>;

std::string SourceDir() {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    return root != nullptr ? root : ".";
}

// ---- the file's own forward kinematics ---------------------------------------------------

struct RefJoint {
    std::string name;
    int parent = -1;
    V3 offset{};
    std::vector<std::string> channels;
};

struct RefTake {
    std::vector<RefJoint> joints;
    std::vector<std::vector<V3>> frames; // every joint's place on every frame
};

double Number(const std::string& word) {
    double v = 0;
    const char* first = word.data();
    if (!word.empty() && word[0] == '+') {
        ++first;
    }
    std::from_chars(first, word.data() + word.size(), v);
    return v;
}

M3 Multiply(const M3& a, const M3& b) {
    M3 m{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                m[r][c] += a[r][k] * b[k][c];
            }
        }
    }
    return m;
}

M3 About(char axis, double degrees) {
    const double a = degrees * M_PI / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    switch (axis) {
    case 'X':
        return M3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
    case 'Y':
        return M3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
    default:
        return M3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    }
}

RefTake ReadTake(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    RefTake take;
    std::vector<int> open;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string w;
        words >> w;
        std::string upper = w;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        if (upper == "ROOT" || upper == "JOINT" || upper == "END") {
            std::string rest;
            std::getline(words, rest);
            rest.erase(0, rest.find_first_not_of(" \t"));
            rest.erase(rest.find_last_not_of(" \t\r{") + 1);
            RefJoint j;
            j.name = upper == "END" ? "" : rest;
            j.parent = open.empty() ? -1 : open.back();
            take.joints.push_back(j);
            open.push_back(static_cast<int>(take.joints.size()) - 1);
        } else if (w == "}") {
            open.pop_back();
        } else if (upper == "OFFSET") {
            for (double& o : take.joints[static_cast<std::size_t>(open.back())].offset) {
                words >> w;
                o = Number(w);
            }
        } else if (upper == "CHANNELS") {
            int n = 0;
            words >> n;
            for (int i = 0; i < n; ++i) {
                words >> w;
                w[0] = static_cast<char>(::toupper(w[0]));
                take.joints[static_cast<std::size_t>(open.back())].channels.push_back(w);
            }
        } else if (upper == "MOTION") {
            break;
        }
    }
    std::size_t frames = 0;
    while (std::getline(in, line)) {
        if (line.find("Frames") != std::string::npos) {
            std::istringstream count(line.substr(line.find(':') + 1));
            count >> frames;
        } else if (line.find("Frame Time") != std::string::npos) {
            break;
        }
    }
    for (std::size_t f = 0; f < frames && std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<double> values;
        for (std::string w; words >> w;) {
            values.push_back(Number(w));
        }
        if (values.empty()) {
            continue;
        }
        std::size_t next = 0;
        std::vector<M3> rotation(take.joints.size());
        std::vector<V3> place(take.joints.size());
        for (std::size_t i = 0; i < take.joints.size(); ++i) {
            const RefJoint& j = take.joints[i];
            M3 local{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
            V3 t = j.offset;
            for (const std::string& c : j.channels) {
                double v = values.at(next++);
                if (c.find("position") != std::string::npos) {
                    t[static_cast<std::size_t>(c[0] - 'X')] += v;
                } else {
                    local = Multiply(local, About(c[0], v));
                }
            }
            if (j.parent < 0) {
                rotation[i] = local;
                place[i] = t;
                continue;
            }
            const auto p = static_cast<std::size_t>(j.parent);
            rotation[i] = Multiply(rotation[p], local);
            for (int k = 0; k < 3; ++k) {
                place[i][static_cast<std::size_t>(k)] = place[p][static_cast<std::size_t>(k)];
                for (int m = 0; m < 3; ++m) {
                    place[i][static_cast<std::size_t>(k)] +=
                        rotation[p][k][m] * t[static_cast<std::size_t>(m)];
                }
            }
        }
        take.frames.push_back(place);
        ++f;
    }
    return take;
}

// ---- landmarks -----------------------------------------------------------------------------

// Our landmark nodes and the names the file's joint has in the families of the corpus, the
// first that the file holds wins ("LeftShoulder" is a collar where "LeftArm" exists).
struct Landmark {
    int node;
    const char* label;
    std::vector<std::string> names;
};

std::vector<Landmark> Landmarks() {
    auto side = [](std::vector<std::string> names, bool left) {
        for (std::string& n : names) {
            auto swap = [&](const std::string& a, const std::string& b) {
                for (auto at = n.find(a); at != std::string::npos; at = n.find(a, at + b.size())) {
                    n.replace(at, a.size(), b);
                }
            };
            if (!left) {
                swap("Left", "Right");
                swap("_L", "_R");
                swap(" L ", " R ");
                if (n.size() > 1 && n[0] == 'l') {
                    n[0] = 'r'; // lThigh, lfemur
                }
            }
        }
        return names;
    };
    // A figure without a head joint has its head where its neck chain ends.
    std::vector<Landmark> out{{0, "hips", {"Hips", "hip", "Hip", "pelvis", "Pelvis"}},
                              {4, "head", {"Head", "head", "Neck1", "Neck", "neck"}}};
    for (bool left : {true, false}) {
        out.push_back({left ? 18 : 24, left ? "left hip" : "right hip",
                       side({"LeftUpLeg", "LeftHip", "lThigh", "UpperLeg_L", "LeftThigh",
                             "LeftUpperLeg", "HipLeft", "lthigh", "lfemur"},
                            left)});
        out.push_back({left ? 19 : 25, left ? "left knee" : "right knee",
                       side({"LeftLeg", "LeftKnee", "lShin", "LowerLeg_L", "LeftShin", "LeftLowLeg",
                             "LeftLowerLeg", "KneeLeft", "lshin", "ltibia"},
                            left)});
        out.push_back(
            {left ? 20 : 26, left ? "left ankle" : "right ankle",
             side({"LeftFoot", "LeftAnkle", "lFoot", "Foot_L", "AnkleLeft", "lfoot"}, left)});
        out.push_back({left ? 7 : 13, left ? "left shoulder" : "right shoulder",
                       side({"LeftArm", "LeftUpArm", "lShldr", "UpperArm_L", "LeftUpperArm",
                             "LeftShoulder", "ShoulderLeft", "lshldr", "lhumerus"},
                            left)});
        out.push_back({left ? 8 : 14, left ? "left elbow" : "right elbow",
                       side({"LeftForeArm", "LeftLowArm", "lForeArm", "LowerArm_L", "LeftLowerArm",
                             "LeftElbow", "ElbowLeft", "lforearm", "lradius"},
                            left)});
        out.push_back(
            {left ? 9 : 15, left ? "left wrist" : "right wrist",
             side({"LeftHand", "lHand", "Hand_L", "LeftWrist", "WristLeft", "lhand"}, left)});
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

// ---- one similarity transform per take (Horn's quaternion method) -----------------------------

struct Similarity {
    double scale = 1;
    M3 rotation{};
    V3 shift{};
    V3 Apply(const V3& p) const {
        V3 out = shift;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                out[static_cast<std::size_t>(r)] +=
                    scale * rotation[r][c] * p[static_cast<std::size_t>(c)];
            }
        }
        return out;
    }
};

Similarity Fit(const std::vector<V3>& from, const std::vector<V3>& to) {
    V3 cf{};
    V3 ct{};
    for (std::size_t i = 0; i < from.size(); ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            cf[k] += from[i][k] / static_cast<double>(from.size());
            ct[k] += to[i][k] / static_cast<double>(to.size());
        }
    }
    double s[3][3] = {};
    double spread = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        for (std::size_t r = 0; r < 3; ++r) {
            spread += (from[i][r] - cf[r]) * (from[i][r] - cf[r]);
            for (std::size_t c = 0; c < 3; ++c) {
                s[r][c] += (from[i][r] - cf[r]) * (to[i][c] - ct[c]);
            }
        }
    }
    double n[4][4] = {
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]}};
    // Power iteration on the matrix shifted to be positive: its top eigenvector.
    double shiftBy = 0;
    for (auto& row : n) {
        for (double v : row) {
            shiftBy += std::fabs(v);
        }
    }
    double q[4] = {1, 0.1, 0.01, 0.001};
    for (int it = 0; it < 2000; ++it) {
        double next[4] = {};
        for (int r = 0; r < 4; ++r) {
            next[r] = shiftBy * q[r];
            for (int c = 0; c < 4; ++c) {
                next[r] += n[r][c] * q[c];
            }
        }
        double l = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2] +
                             next[3] * next[3]);
        for (int r = 0; r < 4; ++r) {
            q[r] = next[r] / l;
        }
    }
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    Similarity t;
    t.rotation = M3{{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                     {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                     {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
    double along = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        for (int r = 0; r < 3; ++r) {
            double turned = 0;
            for (int c = 0; c < 3; ++c) {
                turned += t.rotation[r][c] *
                          (from[i][static_cast<std::size_t>(c)] - cf[static_cast<std::size_t>(c)]);
            }
            along +=
                turned * (to[i][static_cast<std::size_t>(r)] - ct[static_cast<std::size_t>(r)]);
        }
    }
    t.scale = spread > 0 ? along / spread : 1;
    t.shift = ct;
    V3 moved = t.Apply(cf);
    for (std::size_t k = 0; k < 3; ++k) {
        t.shift[k] = ct[k] - (moved[k] - ct[k]);
    }
    return t;
}

double Distance(const V3& a, const V3& b) {
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
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

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> out;
    if (fs::exists(folder)) {
        for (const auto& e : fs::directory_iterator(folder)) {
            if (e.path().extension() == ".bvh") {
                out.push_back(e.path().string());
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> HumanFiles() {
    std::vector<std::string> out = Files(SourceDir() + "/tests/formats/corpus/human");
    for (const char* shared : {"01_cmu_cgspeed_01_01.bvh", "05_mocapbank_test_mocapbank.bvh",
                               "16_animdraw_cmu1_jumping_jacks.bvh", "19_biovision_example1.bvh",
                               "20_optitrack_test_optitrack.bvh"}) {
        std::string path = SourceDir() + "/../shared/data/bvh/" + shared;
        if (fs::exists(path)) {
            out.push_back(path);
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
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(path.c_str(), &sk), 1) << telvo::files::LastProblem().reason;
    ASSERT_EQ(sk.FrameCount, take.frames.size());
    std::vector<V3> ours;
    std::vector<V3> theirs;
    for (uint32_t f = 0; f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        for (std::size_t i = 0; i < landmarks.size(); ++i) {
            const Vector& p = sk.Nodes[landmarks[i].node].Position;
            ours.push_back({p.x, p.y, p.z});
            theirs.push_back(take.frames[f][static_cast<std::size_t>(joint[i])]);
        }
    }
    GyroFreeSkeletonFrames(&sk);
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
        double e = Distance(t.Apply(ours[i]), theirs[i]) / size;
        errors.push_back(e);
        worst[i % landmarks.size()] = std::max(worst[i % landmarks.size()], e);
    }
    const double median = Percentile(errors, 0.5);
    const double p95 = Percentile(errors, 0.95);
    const auto worstAt = std::max_element(worst.begin(), worst.end()) - worst.begin();
    const std::string name = fs::path(path).filename().string();
    ::testing::Test::RecordProperty(
        name, "median " + Percent(median) + " %, 95th " + Percent(p95) + " %, worst " +
                  landmarks[static_cast<std::size_t>(worstAt)].label + " " +
                  Percent(worst[static_cast<std::size_t>(worstAt)]) + " %");
    EXPECT_LE(median, MedianLimit) << landmarks[static_cast<std::size_t>(worstAt)].label;
    EXPECT_LE(p95, Percentile95Limit) << landmarks[static_cast<std::size_t>(worstAt)].label;
}

TEST(BvhCorpus, HumanFilesLandWhereTheirOwnJointsAre) {
    const std::vector<std::string> files = HumanFiles();
    const auto ours = std::count_if(files.begin(), files.end(), [](const std::string& f) {
        return fs::path(f).filename().string().rfind("telvoview_", 0) == 0;
    });
    ASSERT_GE(files.size() - static_cast<std::size_t>(ours), 20u) << "the corpus is missing";
    const std::vector<Landmark> landmarks = Landmarks();
    for (const std::string& path : files) {
        ScoreHumanFile(path, landmarks);
    }
}

TEST(BvhCorpus, OtherFiguresAreRefusedWithAReason) {
    std::vector<std::string> files = Files(SourceDir() + "/tests/formats/corpus/other");
    std::string chain = SourceDir() + "/../shared/data/bvh/03_synthetic_sinusoidal.bvh";
    if (fs::exists(chain)) {
        files.push_back(chain);
    }
    ASSERT_GE(files.size(), 3u) << "the corpus is missing";
    for (const std::string& path : files) {
        Skeleton sk;
        GyroInitSkeleton(&sk);
        EXPECT_EQ(GyroReadBVH(path.c_str(), &sk), 0) << path;
        EXPECT_EQ(telvo::files::LastProblem().reason.rfind("not a human figure: ", 0), 0u)
            << path << ": " << telvo::files::LastProblem().reason;
        GyroFreeSkeletonFrames(&sk);
    }
}

} // namespace
