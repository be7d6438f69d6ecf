// The rules that decide how a BVH figure maps onto the body, each at the edge where it changes
// its answer: which way is up, what stands like a human, the unit, which joints become the
// waist, the hips, the elbow and the thumb, and where the nodes a file lacks are made up.
#include "tests/formats/BvhFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace telvo {
namespace {

using ::testing::HasSubstr, ::testing::StartsWith;

// A figure written for a test: Y up, facing +Z, inches; the root at 'rootY' and every joint
// turned by its Z X Y angles, on the first frame and, when a joint is turned on it, a second.
class Bvh {
public:
    int Joint(const std::string& name, int parent, double x, double y, double z) {
        joints_.push_back({name, parent, {x, y, z}, {}});
        return static_cast<int>(joints_.size()) - 1;
    }
    void End(int parent, double x, double y, double z) { Joint("", parent, x, y, z); }
    void Turn(int joint, double z, double x, double y, int frame = 0) {
        joints_[static_cast<std::size_t>(joint)].turns[frame] = {z, x, y};
        frames_ = std::max(frames_, frame + 1);
    }
    std::string Text(double scale = 1.0, double rootY = 37.0) const {
        std::string t = "HIERARCHY\n";
        Write(t, 0, 0, scale);
        t += "MOTION\nFrames: " + Num(frames_) + "\nFrame Time: 0.0333333\n";
        for (int f = 0; f < frames_; ++f) {
            t += "0 " + Num(rootY * scale) + " 0";
            for (const auto& j : joints_) {
                const auto& turn = j.turns[f];
                if (!j.name.empty()) {
                    t += " " + Num(turn[0]) + " " + Num(turn[1]) + " " + Num(turn[2]);
                }
            }
            t += "\n";
        }
        return t;
    }

private:
    struct J {
        std::string name;
        int parent;
        std::array<double, 3> offset;
        std::array<std::array<double, 3>, 2> turns; // on the first frame and a second
    };
    static std::string Num(double v) {
        char b[32];
        return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
    }
    void Write(std::string& t, int i, int depth, double scale) const {
        const J& j = joints_[static_cast<std::size_t>(i)];
        std::string pad(static_cast<std::size_t>(depth), ' ');
        t += pad + (i == 0 ? "ROOT " + j.name : j.name.empty() ? "End Site" : "JOINT " + j.name);
        t += "\n" + pad + "{\n" + pad + " OFFSET " + Num(j.offset[0] * scale) + " " +
             Num(j.offset[1] * scale) + " " + Num(j.offset[2] * scale) + "\n";
        if (!j.name.empty()) {
            t += pad + (i == 0 ? " CHANNELS 6 Xposition Yposition Zposition" : " CHANNELS 3") +
                 " Zrotation Xrotation Yrotation\n";
        }
        for (std::size_t k = 0; k < joints_.size(); ++k) {
            if (joints_[k].parent == i && k != 0) {
                Write(t, static_cast<int>(k), depth + 1, scale);
            }
        }
        t += pad + "}\n";
    }
    std::vector<J> joints_;
    int frames_ = 1;
};

struct Parts {
    bool waist = true;
    bool neck = true;
    bool collars = true;
    bool thumbs = true;
    double headTop = 8.2;     // the head's End Site above it
    double fingertip = 7.0;   // the hand's End Site below the wrist
    double firstSpine = 4.0;  // the waist joint's height above the hips
    double pelvisBelow = 0.0; // a root named Pelvis this far below the joint the legs hang from
    bool unnamedArms = false; // arms of six joints named a01..a06 and a11..a16
    double footDrop = 3.0;    // the foot's End Site below the ankle (and 5 inches ahead)
    bool ballJoint = false;   // a toe joint 5.6 ahead and 2.25 below the ankle, ending there
    bool armBend = false;     // a joint half way down the left upper arm
    bool flatCollars = false; // collars at the chest's own place
    double forearm = 10.0;    // elbow to wrist
    std::string endJoints{};  // leaf joints ending the upper arm (ArmEnd) and the forearm (this)
    double thumbReach = 0;    // an unnamed end this far down the left hand, if any
};

struct Figure {
    Bvh bvh;
    int hips, chest, head;
    int wrist[2], hip[2], knee[2];
    int collar[2]; // or the chest, where the shoulder hangs from
    int bend = -1; // the left upper arm's middle joint
};

// A person standing with arms down, our own names, the default performer's bones.
Figure Person(const Parts& p = {}) {
    Figure f;
    Bvh& b = f.bvh;
    f.hips = p.pelvisBelow > 0
                 ? b.Joint("LowerSpine", b.Joint("Pelvis", -1, 0, 0, 0), 0, p.pelvisBelow, 0)
                 : b.Joint("Hips", -1, 0, 0, 0);
    const int below = p.waist ? b.Joint("Waist", f.hips, 0, p.firstSpine, 0) : f.hips;
    f.chest = b.Joint("Chest", below, 0, p.waist ? 13.0 - p.firstSpine : 13.0, 0);
    int neck = p.neck ? b.Joint("Neck", f.chest, 0, 8, 0) : f.chest;
    f.head = b.Joint("Head", neck, 0, p.neck ? 3.8 : 11.8, 0);
    b.End(f.head, 0, p.headTop, 0);
    for (int k = 0; k < 2; ++k) {
        const double s = k == 0 ? 1.0 : -1.0;
        const std::string side = k == 0 ? "Left" : "Right";
        if (p.unnamedArms) {
            // Collar 5, upper arm 6 + 6, forearm 5 + 5: unnamed and without a twist word.
            const std::string a = "a" + std::to_string(k);
            int j = b.Joint(a + "1", f.chest, 1.2 * s, 5.5, 0.8);
            j = b.Joint(a + "2", j, 5 * s, 0, 0);
            j = b.Joint(a + "3", j, 0, -6, 0);
            j = b.Joint(a + "4", j, 0, -6, 0);
            j = b.Joint(a + "5", j, 0, -5, 0);
            f.wrist[k] = b.Joint(a + "6", j, 0, -5, 0);
            b.End(f.wrist[k], 0, -7, 0);
        } else {
            f.collar[k] = !p.collars      ? f.chest
                          : p.flatCollars ? b.Joint(side + "Collar", f.chest, 0, 0, 0)
                                          : b.Joint(side + "Collar", f.chest, 1.2 * s, 5.5, 0.8);
            const int shoulder = p.collars && !p.flatCollars
                                     ? b.Joint(side + "Shoulder", f.collar[k], 6 * s, 0.3, -0.6)
                                     : b.Joint(side + "Shoulder", f.collar[k], 7.2 * s, 5.8, 0.2);
            int upper = shoulder;
            if (p.armBend && k == 0) {
                upper = f.bend = b.Joint(side + "ArmTwist", shoulder, 0, -5.75, 0);
            }
            const double toElbow = upper == shoulder ? -11.5 : -5.75;
            const int elbow = b.Joint(side + "Elbow", upper, 0, toElbow, 0);
            f.wrist[k] = b.Joint(side + "Wrist", elbow, 0, -p.forearm, 0);
            if (!p.endJoints.empty()) {
                b.End(b.Joint(side + "ArmEnd", shoulder, 0, -11.5, 0), 0, 0, 0);
                b.End(b.Joint(side + p.endJoints, elbow, 0, -10, 0), 0, 0, 0);
            } else {
                b.End(f.wrist[k], 0, -p.fingertip, 0);
            }
            if (p.thumbs) {
                b.End(f.wrist[k], 0, -3, 1.4);
            }
            if (p.thumbReach > 0 && k == 0) {
                b.End(f.wrist[k], 0, -p.thumbReach, 0.2);
            }
        }
        f.hip[k] = b.Joint(side + "Hip", f.hips, 3.6 * s, -2.2, 0);
        f.knee[k] = b.Joint(side + "Knee", f.hip[k], 0, -17.5, 0);
        int ankle = b.Joint(side + "Ankle", f.knee[k], 0, -14.3, 0);
        if (p.ballJoint) {
            b.End(b.Joint(side + "Toe", ankle, 0, -2.25, 5.6), 0, 0, 0);
        } else {
            b.End(ankle, 0, -p.footDrop, 5);
        }
    }
    return f;
}

// Reads the text; one frame's nodes, or nothing when the file is refused.
std::vector<Vector> Read(const std::string& text, uint32_t frame = 0) {
    const auto poses = Play(Write("rules.bvh", text));
    return poses.empty() ? std::vector<Vector>()
                         : std::vector<Vector>(poses[frame].begin(), poses[frame].end());
}

const std::string& Source(int node) {
    return files::LastBvhSource().joint[static_cast<std::size_t>(node)];
}

TEST(BvhStance, UpIsTheFileAxisNearestTheFigureWithin25Degrees) {
    for (auto [lean, snapped] : {std::pair{20.0, true}, std::pair{30.0, false}}) {
        Figure f = Person();
        f.bvh.Turn(f.hips, 0, lean, 0);
        auto nodes = Read(f.bvh.Text());
        ASSERT_EQ(nodes.size(), 30u) << Reason();
        Vector up = nodes[4] - nodes[0]; // hips to head, against our Z
        EXPECT_NEAR(std::acos(up.z / up.Length()) * 180 / M_PI, snapped ? lean : 0.0, 0.5) << lean;
    }
}

// Each limit on either side: a figure is read or refused with its reason.
TEST(BvhStance, APersonStandsOnLegsBelowTheHipsUnderARisingSpineWithHumanBones) {
    // Both thighs turned forward and the waist bent forward, in degrees; the refusal if any.
    const std::tuple<const char*, Parts, double, double, const char*> cases[] = {
        {"thighs raised 55 degrees", {}, 55, 0, nullptr},
        {"thighs raised 65 degrees", {}, 65, 0, "the legs do not hang below the hips"},
        {"bent over 75 degrees at the waist", {}, 0, 75, nullptr},
        {"bent over 90 degrees at the waist", {}, 0, 90, "the spine runs across the legs"},
        {"a forearm of 110 inches", {.forearm = 110}, 0, 0, nullptr},
        {"a forearm of 130 inches", {.forearm = 130}, 0, 0, "a bone longer than 120 inches"},
    };
    for (const auto& [what, parts, legs, spine, refusal] : cases) {
        SCOPED_TRACE(what);
        Figure f = Person(parts);
        f.bvh.Turn(f.hip[0], 0, -legs, 0);
        f.bvh.Turn(f.hip[1], 0, -legs, 0);
        f.bvh.Turn(f.hips + 1, 0, spine, 0);
        EXPECT_EQ(Read(f.bvh.Text()).size(), refusal == nullptr ? 30u : 0u) << Reason();
        if (refusal != nullptr) {
            EXPECT_THAT(Reason(), HasSubstr(refusal));
        }
    }
}

// The default performer's thigh, shin and hips to head measure 56.6 inches; a human figure
// measures half to 1.45 times that, in the unit nearest to it.
TEST(BvhStance, TheUnitIsTheOneThatGivesAHumanSize) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "inches"},       {0.55, "inches"},   {1.4, "inches"},       {1.5, "centimetres"},
        {2.54, "centimetres"}, {0.0254, "metres"}, {25.4, "millimetres"}, {0.45, "unknown: "}};
    for (const auto& [scale, unit] : cases) {
        ASSERT_EQ(Read(Person().bvh.Text(scale)).size(), 30u) << scale;
        EXPECT_THAT(files::LastBvhSource().unit, StartsWith(unit)) << scale;
    }
}

// Which of the file's joints each node stands on, on either side of each rule's edge; "" where
// the node is made up.
TEST(BvhAnatomy, EachRulePicksItsJointOnEitherSideOfItsEdge) {
    const std::tuple<const char*, Parts, std::vector<std::pair<int, const char*>>> cases[] = {
        // The waist is the spine's first joint unless it sits near the chest (of 13 inches).
        {"waist 9 up", {.firstSpine = 9}, {{1, "Waist"}}},
        {"waist 10.5 up", {.firstSpine = 10.5}, {{1, ""}}},
        // A root named Pelvis above the legs' joint is the hips, against 15 % of the figure's
        // span of about 110 inches.
        {"pelvis 12 above", {.pelvisBelow = 12}, {{0, "Pelvis"}}},
        {"pelvis 20 above", {.pelvisBelow = 20}, {{0, "LowerSpine"}}},
        // Unnamed arms: collar 5 inches, upper arm 6 + 6, forearm 5 + 5. The elbow is the joint
        // nearest 36 % of the way back from the wrist, the shoulder nearest 78 %, where a human
        // arm has them.
        {"unnamed arms", {.unnamedArms = true}, {{6, "a01"}, {7, "a02"}, {8, "a04"}, {9, "a06"}}},
        // End joints beside the real children (LAFAN1's RightArmEnd), and hands that are joints
        // without ends: a joint named as an end is passed by, and of unnamed ends the hand is
        // the arm's.
        {"WristEnd",
         {.thumbs = false, .endJoints = "WristEnd"},
         {{7, "LeftShoulder"}, {8, "LeftElbow"}, {15, "RightWrist"}}},
        {"ForeArmLeaf",
         {.thumbs = false, .endJoints = "ForeArmLeaf"},
         {{7, "LeftShoulder"}, {8, "LeftElbow"}, {15, "RightWrist"}}},
        // An unnamed end counts as the thumb from a third of the hand.
        {"thumb 2.5 down", {.thumbs = false, .thumbReach = 2.5}, {{11, "LeftWrist End Site"}}},
        {"thumb 1.5 down", {.thumbs = false, .thumbReach = 1.5}, {{11, ""}}},
        // Ends too near their joint are made up instead, against 4 % and 2 % of the height.
        {"ends 3.2 and 1.6 out",
         {.thumbs = false, .headTop = 3.2, .fingertip = 1.6},
         {{5, "Head End Site"}, {10, "LeftWrist End Site"}}},
        {"ends 2.5 and 1.2 out",
         {.thumbs = false, .headTop = 2.5, .fingertip = 1.2},
         {{5, ""}, {10, ""}}},
    };
    for (const auto& [what, parts, joints] : cases) {
        SCOPED_TRACE(what);
        ASSERT_EQ(Read(Person(parts).bvh.Text()).size(), 30u) << Reason();
        for (const auto& [node, joint] : joints) {
            EXPECT_EQ(Source(node), joint) << GyroGetNodeName(node);
        }
    }
}

// What the file lacks is made up in the default performer's proportions: the waist 4/13 of the
// way to the chest, the neck 8/11.8 of the way to the head, the head top 8.2/70 of the height
// above the head, the fingertip 7/70 of the height beyond the wrist, the thumb 3/7 along the
// hand and 1.4/7 ahead, the collar 1.2/7.2 out and 5.5/5.8 up towards the shoulder; beyond a
// toe joint without an end, the toes reach 27 % of the foot's length further.
TEST(BvhFigure, MadeUpNodesFollowTheDefaultPerformersProportions) {
    Parts bare{.headTop = 1.0, .fingertip = 1.0, .ballJoint = true};
    bare.waist = bare.neck = bare.collars = bare.thumbs = false;
    auto n = Read(Person(bare).bvh.Text());
    ASSERT_EQ(n.size(), 30u) << Reason();
    const double height = 70.0; // the figure measures as the default performer
    EXPECT_NEAR((n[1] - n[0]).Length(), 13.0 * 4 / 13, 1e-3);
    EXPECT_NEAR((n[3] - n[2]).Length(), 11.8 * 8 / 11.8, 1e-3);
    EXPECT_NEAR(n[5].z - n[4].z, 8.2 / 70 * height, 0.05);
    EXPECT_NEAR((n[10] - n[9]).Length(), 7.0 / 70 * height, 0.05);
    EXPECT_NEAR(n[9].z - n[11].z, 3.0 / 7 * (n[10] - n[9]).Length(), 0.05);
    EXPECT_NEAR(n[9].y - n[11].y, 1.4 / 7 * (n[10] - n[9]).Length(), 0.05);
    EXPECT_NEAR(n[6].x - n[2].x, 7.2 * 1.2 / 7.2, 1e-3);
    EXPECT_NEAR(n[6].z - n[2].z, 5.8 * 5.5 / 5.8, 1e-3);
    EXPECT_EQ(Source(22), "LeftToe");
    EXPECT_NEAR(n[22].y - n[23].y, 0.27 * 10, 1e-3); // the default foot is 10 inches long
}

// The sole lies at the file's foot end when that reaches 1 % of the height below the ankle,
// else 3/70 of the height below the ankle, as the default performer's ankle stands.
TEST(BvhFigure, TheSoleLiesAtTheFootsEndOrAtAnkleHeight) {
    for (auto [drop, sole] : {std::pair{1.0, 1.0}, std::pair{0.5, 3.0}}) {
        auto n = Read(Person({.footDrop = drop}).bvh.Text());
        ASSERT_EQ(n.size(), 30u);
        EXPECT_NEAR(n[20].z - n[21].z, sole - 1.25, 1e-3) << drop; // less the heel's radius
    }
}

// On the second frame, a helper half way down the upper arm bends 40 degrees: the upper arm
// aims at the file's elbow rather than turning rigidly with that joint. And collars at the
// chest's own place (as CMU's) still turn the shoulders: a 30-degree shrug.
TEST(BvhFigure, SegmentsAimAtTheFilesJointsThroughBentOrZeroLengthLinks) {
    Figure bent = Person({.armBend = true}), shrug = Person({.flatCollars = true});
    bent.bvh.Turn(bent.bend, 0, -40, 0, 1);
    shrug.bvh.Turn(shrug.collar[0], 30, 0, 0, 1);
    auto n = Read(bent.bvh.Text(), 1);
    ASSERT_EQ(n.size(), 30u) << Reason();
    auto m = Read(shrug.bvh.Text(), 1);
    ASSERT_EQ(m.size(), 30u) << Reason();
    // The file's elbow from the shoulder: 5.75 down, then 5.75 turned 40 degrees forward.
    const double a = 40 * M_PI / 180, c = 30 * M_PI / 180;
    const Vector elbow{0, static_cast<float>(-5.75 * std::sin(a)),
                       static_cast<float>(-5.75 - 5.75 * std::cos(a))};
    EXPECT_LT((n[8] - n[7] - elbow).Length(), 0.8); // the bone keeps its straight length
    const Vector shoulder{static_cast<float>(7.2 * std::cos(c) - 5.8 * std::sin(c)), -0.2f,
                          static_cast<float>(7.2 * std::sin(c) + 5.8 * std::cos(c))};
    EXPECT_LT((m[7] - m[2] - shoulder).Length(), 0.01);
}

} // namespace
} // namespace telvo
