// BVH in and out: every dialect and name family of one figure reads the same, bad files fail with a
// line and a reason changing nothing, what we write reads back and keeps its layout in every
// locale, and the foot measurements shape feet a file does not have.
#include "telvoria/formats/BvhKinematics.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/skeleton/Math.h"
#include "tests/formats/BvhFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace telvo {
namespace {

using ::testing::HasSubstr, ::testing::StartsWith;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A human figure, arms down and feet forward, standing on the floor; in every frame after the
// first each joint turns about one axis only, so any channel order carries the same motion.
std::string
Figure(int frames = 3, bool mixedOrders = false,
       const char* names = "Hips Chest Neck Head LeftCollar LeftUpArm LeftLowArm LeftHand "
                           "RightCollar RightUpArm RightLowArm RightHand LeftUpLeg LeftLowLeg "
                           "LeftFoot RightUpLeg RightLowLeg RightFoot") {
    // Parent, offset, End Site offset if any, the one axis it turns about.
    static const std::tuple<int, const char*, const char*, int> joints[18] = {
        {-1, "0 0 0", nullptr, 1},   {0, "0 5 0", nullptr, 0},      {1, "0 18 0.5", nullptr, 0},
        {2, "0 5 0", "0 4 0", 1},    {1, "1.2 16 1.5", nullptr, 2}, {4, "5.5 0 0", nullptr, 2},
        {5, "0 -12 0", nullptr, 0},  {6, "0 -10 0", "0 -7 0", 1},   {1, "-1.2 16 1.5", nullptr, 2},
        {8, "-5.5 0 0", nullptr, 2}, {9, "0 -12 0", nullptr, 0},    {10, "0 -10 0", "0 -7 0", 1},
        {0, "3.8 0 0", nullptr, 0},  {12, "0 -18 0", nullptr, 0},   {13, "0 -17 0", "0 -3 5", 1},
        {0, "-3.8 0 0", nullptr, 0}, {15, "0 -18 0", nullptr, 0},   {16, "0 -17 0", "0 -3 5", 1}};
    auto order = [&](int j) { return &"ZXYXYZYZXZYXXZYYXZ"[mixedOrders ? j % 6 * 3 : 0]; };
    std::istringstream words(names);
    std::string t = "HIERARCHY\n";
    std::vector<int> open;
    for (int j = 0; j < 18; ++j) {
        std::string name;
        words >> name;
        auto [parent, offset, end, axis] = joints[j];
        for (; !open.empty() && open.back() != parent; open.pop_back()) {
            t += "}\n";
        }
        t += std::string(j == 0 ? "ROOT " : "JOINT ") + name + "\n{\nOFFSET " + offset +
             "\nCHANNELS " + (j == 0 ? "6 Xposition Yposition Zposition" : "3");
        for (int k = 0; k < 3; ++k) {
            t += std::string(" ") + order(j)[k] + "rotation";
        }
        t += end != nullptr ? std::string("\nEnd Site\n{\nOFFSET ") + end + "\n}\n" : "\n";
        open.push_back(j);
    }
    for (; !open.empty(); open.pop_back()) {
        t += "}\n";
    }
    t += "MOTION\nFrames: " + std::to_string(frames) + "\nFrame Time: 0.0333333\n";
    auto num = [&t](int v) { t += std::to_string(v) + ' '; };
    for (int f = 0; f < frames; ++f) {
        num(2 * f);
        num(38 + f);
        num(-3 * f);
        for (int j = 0; j < 18; ++j) {
            for (int k = 0; k < 3; ++k) {
                num(f > 0 && order(j)[k] == "XYZ"[std::get<3>(joints[j])]
                        ? (j * 37 + f * 11) % 50 - 25
                        : 0);
            }
        }
        t.back() = '\n';
    }
    return t;
}

// A take long enough to be read in two halves side by side, so that every kind of line end
// and blank lines between frames are met by both halves.
TEST(BvhRead, EveryDialectAndNameFamilyOfOneFigureReadsTheSame) {
    const std::string text = Figure(1000);
    ASSERT_GT(text.size(), std::size_t{1} << 17);
    const auto plain = Play(Write("plain.bvh", text));
    ASSERT_EQ(plain.size(), 1000u) << Reason();
    std::string mixed = text; // CR and LF line ends in turn
    for (std::size_t at = mixed.find('\n'), n = 0; at != std::string::npos;
         at = mixed.find('\n', at + 1)) {
        mixed[at] = n++ % 2 == 0 ? '\r' : '\n';
    }
    // What differs, the text, and whether the hands' and head's ends are in the file.
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"CRLF, TABs and no final newline",
         ReplaceAll(ReplaceAll(text.substr(0, text.size() - 1), " ", "\t"), "\n", "\r\n"), true},
        {"CR line ends", ReplaceAll(text, "\n", "\r"), true},
        {"a blank line after each", ReplaceAll(text, "\n", "\r\n\r\n"), true},
        {"CR and LF in turn", mixed, true},
        {"another channel order on every joint", Figure(1000, true), true},
        {"numbers like -0, .5, +0, 1.8e1 and 3.8E+1",
         ReplaceAll(ReplaceAll(text, "OFFSET 0 18 0.5", "OFFSET -0 1.8e1 .5"), "\n0 38 0 ",
                    "\n+0 3.8E+1 -0.0 "),
         true},
        {"hands with channels and no End Site",
         ReplaceAll(text, "End Site\n{\nOFFSET 0 -7 0\n}\n", ""), false},
        {"names with a rig's prefix",
         ReplaceAll(ReplaceAll(text, "ROOT ", "ROOT rig:"), "JOINT ", "JOINT rig:"), true},
        {"hip, chest, lCollar, lShldr, lThigh names",
         Figure(1000, false,
                "hip chest neck head lCollar lShldr lForeArm lHand rCollar "
                "rShldr rForeArm rHand lThigh lShin lFoot rThigh rShin rFoot"),
         true},
        {"names that say nothing",
         Figure(1000, false, "j0 j1 j2 j3 j4 j5 j6 j7 j8 j9 j10 j11 j12 j13 j14 j15 j16 j17"),
         true},
    };
    for (const auto& [what, dialect, sameEnds] : cases) {
        SCOPED_TRACE(what);
        ASSERT_NE(dialect, text);
        auto poses = Play(Write("dialect.bvh", dialect));
        ASSERT_EQ(poses.size(), plain.size()) << files::LastProblem().line << ": " << Reason();
        for (std::size_t f = 0; f < poses.size(); ++f) {
            for (int n = 0; n < 30; ++n) {
                const bool end = n == 5 || n == 10 || n == 11 || n == 16 || n == 17;
                EXPECT_TRUE((end && !sameEnds) || (poses[f][n] - plain[f][n]).Length() < 0.01)
                    << "frame " << f << " " << GyroGetNodeName(n);
            }
        }
    }
}

// A long take is parsed in two halves side by side: the first fault in the file is reported.
TEST(BvhRead, BadFilesFailWithALineAndAReasonAndChangeNothing) {
    const std::string good = Figure(), take = Figure(1000);
    auto lineOf = [&](const std::string& marker) {
        auto at = static_cast<long>(good.find(marker));
        return 1 + static_cast<int>(std::count(good.begin(), good.begin() + at, '\n'));
    };
    const int firstRow = lineOf("Frame Time") + 1; // in a take of any length
    auto cut = [](const std::string& t) { return t.substr(0, t.rfind('\n', t.size() - 2) + 1); };
    auto opening = [](std::string t, int frame, const char* word) { // the frame's line starts so
        return t.insert(t.find("\n" + std::to_string(2 * frame) + " ") + 1, word);
    };
    std::string deep = "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\n";
    for (int i = 0; i < 100000; ++i) {
        deep += "JOINT a\n{\nOFFSET 0 0 0\n";
    }
    // What is wrong, the text, and the line and reason given.
    const std::tuple<const char*, std::string, int, const char*> cases[] = {
        {"binary bytes", std::string("\177ELF\2\1\0\377", 8), 1, "HIERARCHY expected"},
        {"cut in the motion", cut(Figure(50)), firstRow + 49,
         "the file ends after 49 of 50 frames"},
        {"a long take cut", cut(take), firstRow + 999, "the file ends after 999 of 1000 frames"},
        {"a fault late in a long take", opening(take, 990, "x "), firstRow + 990,
         "\"x\" is not a number"},
        {"a fault in each half", opening(opening(take, 990, "x "), 10, "y "), firstRow + 10,
         "\"y\" is not a number"},
        {"far more frames claimed than held", ReplaceAll(good, "Frames: 3", "Frames: 100000000"),
         lineOf("Frame Time"), "the file claims 100000000 frames"},
        {"nested 100,000 deep", deep, 5 + 255 * 3, "nested deeper than 256"},
        {"seven channels", ReplaceAll(good, "CHANNELS 3", "CHANNELS 7"), lineOf("CHANNELS 3"),
         "a channel count of \"7\""},
        {"NaN", ReplaceAll(good, "\n0 38 0 ", "\nnan 38 0 "), firstRow,
         "\"nan\" is not a finite number"},
        {"a frame time of 0", ReplaceAll(good, "Frame Time: 0.0333333", "Frame Time: 0"),
         lineOf("Frame Time"), "a frame time of 0"},
    };
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(Write("good.bvh", good).c_str(), &sk), 1);
    Skeleton before;
    std::memcpy(static_cast<void*>(&before), &sk, sizeof sk);
    std::vector<Frame> framesBefore(sk.Frames, sk.Frames + sk.FrameCount);
    for (const auto& [what, bad, line, reason] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(GyroReadBVH(Write("bad.bvh", bad).c_str(), &sk), 0);
        EXPECT_EQ(files::LastProblem().line, line);
        EXPECT_THAT(files::LastProblem().reason, HasSubstr(reason));
        EXPECT_EQ(std::memcmp(&before, &sk, sizeof sk), 0);
        EXPECT_EQ(std::memcmp(framesBefore.data(), sk.Frames, framesBefore.size() * sizeof(Frame)),
                  0);
    }
    EXPECT_EQ(GyroReadBVH(Scratch("missing.bvh").c_str(), &sk), 0);
    EXPECT_THAT(files::LastProblem().reason, StartsWith("cannot open the file"));
    GyroFreeSkeletonFrames(&sk);
}

// The file's own forward kinematics, which the corpus test takes for the file's joints: rotation
// channels in degrees, turning in the order listed, each child in its parent's turned frame,
// position channels added to the offset.
TEST(BvhKinematics, ChannelsTurnInTheOrderListedAndChildrenWithTheirParents) {
    const std::string text = "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\nCHANNELS 5 Xposition Yposition "
                             "Zposition Zrotation Xrotation\nJOINT b\n{\nOFFSET 0 0 1\nCHANNELS 1 "
                             "Yrotation\nEnd Site\n{\nOFFSET 2 0 0\n}\n}\n}\nMOTION\nFrames: 1\n"
                             "Frame Time: 0.1\n1 2 3 90 90 90\n";
    bvh::Reader reader(text);
    ASSERT_TRUE(reader.ReadHeader()) << reader.Error();
    std::array<float, 6> values{};
    ASSERT_TRUE(reader.NextFrame(values.data())) << reader.Error();
    bvh::Kinematics fk(reader.Joints(), math::Identity(), 1.0f);
    fk.Pose(values.data());
    const Vector want[] = {Vector(1.0f, 2.0f, 3.0f), Vector(2.0f, 2.0f, 3.0f),
                           Vector(0.0f, 2.0f, 3.0f)};
    for (int j = 0; j < 3; ++j) {
        Vector at = fk.Position(j);
        EXPECT_LT((at - want[j]).Length(), 1e-5f) << "joint " << j;
    }
}

// Reads a file and writes what it read.
void Convert(const std::string& from, const std::string& to) {
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(from.c_str(), &sk), 1);
    ASSERT_EQ(GyroWriteBVH(to.c_str(), &sk), 1) << Reason();
    GyroFreeSkeletonFrames(&sk);
}

// How far any node of one file's frames lies from the other's.
double Farthest(const std::string& a, const std::string& b) {
    auto p = Play(a);
    auto q = Play(b);
    EXPECT_EQ(p.size(), q.size()) << Reason();
    double worst = 0;
    for (std::size_t f = 0; f < std::min(p.size(), q.size()); ++f) {
        for (std::size_t n = 0; n < 30; ++n) {
            worst = std::max(worst, static_cast<double>((p[f][n] - q[f][n]).Length()));
        }
    }
    return worst;
}

// Corpus files with fingers and thumbs, and files without: every node, thumbs and fingertips
// included, reads back where it was.
TEST(BvhWrite, ReadingBackKeepsEveryNode) {
    const std::string human = "tests/formats/corpus/human/", shared = "../shared/data/bvh/";
    for (std::string source :
         {human + "rokoko_jesse_dance.bvh", human + "animdraw_mixamo_standard_walk.bvh",
          human + "bvhpython_mixamorig_freebvh.bvh", shared + "01_cmu_cgspeed_01_01.bvh",
          shared + "19_biovision_example1.bvh", shared + "20_optitrack_test_optitrack.bvh",
          std::string()}) {
        source = source.empty() ? Write("figure.bvh", Figure(40)) : SourcePath(source).string();
        if (!std::filesystem::exists(source)) {
            continue;
        }
        SCOPED_TRACE(source);
        Convert(source, Scratch("once.bvh"));
        EXPECT_LT(Farthest(source, Scratch("once.bvh")), 0.05); // a foreign file through ours
        Convert(Scratch("once.bvh"), Scratch("twice.bvh"));
        EXPECT_LT(Farthest(Scratch("once.bvh"), Scratch("twice.bvh")), 0.01); // our own
        EXPECT_EQ(files::LastBvhSource().unit, "inches");
    }
}

TEST(BvhWrite, WritesTheUsualLayoutInTheCFormatInEveryLocale) {
    std::string source = Write("layout.bvh", ReplaceAll(Figure(), "0.0333333", "0.0083333"));
    Convert(source, Scratch("c.bvh"));
    const std::string text = ReadAll(Scratch("c.bvh"));
    EXPECT_THAT(text, StartsWith("HIERARCHY\nROOT Hips\n{\n\tOFFSET 0 0 0\n\tCHANNELS 6 Xposition "
                                 "Yposition Zposition Zrotation Xrotation Yrotation\n"));
    EXPECT_THAT(text, HasSubstr("\nFrames: 3\nFrame Time: 0.0083333000\n"));

    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no comma locale on this machine";
    }
    Convert(source, Scratch("de.bvh"));
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(ReadAll(Scratch("de.bvh")), text);
}

// Feet of a file without toe joints: the heel's pad is as wide as the heel and its back lies
// a quarter of the foot length behind the ankle; the ball sits at 73 % of the length, less
// half the outside shortening, and as far inwards as the ball is wider than the heel (the
// outer border runs straight); the toe tip ends the foot on the line from heel to ball.
TEST(BvhFoot, MeasurementsShapeFeetTheFileLacks) {
    std::string path = Write("feet.bvh", Figure(1));
    // The defaults come last and stay set.
    for (auto [length, heelWidth, ballWidth, shorten] :
         {std::array{12.0f, 3.0f, 5.0f, 2.0f}, std::array{10.0f, 2.5f, 3.75f, 1.0f}}) {
        GyroSetBVHFoot(length, heelWidth, ballWidth, shorten);
        auto poses = Play(path);
        ASSERT_EQ(poses.size(), 1u) << Reason();
        auto& p = poses[0]; // the rest pose: the figure faces -Y, its left is +X
        const Vector& ankle = p[20];
        float sole = ankle.z - 3.0f; // the file's foot end lies on the floor
        float back = length / 4;
        float inwards = (ballWidth - heelWidth) / 2;
        const Vector heel(ankle.x, ankle.y + back - heelWidth / 2, sole + 1.25f);
        const Vector ball(ankle.x - inwards, ankle.y + back + shorten / 2 - 0.73f * length,
                          sole + 0.75f);
        EXPECT_LT((p[21] - heel).Length(), 1e-3f);
        EXPECT_LT((p[22] - ball).Length(), 1e-3f);
        EXPECT_NEAR(ankle.y - p[23].y, length - back - 0.5f, 1e-3);
        EXPECT_NEAR(p[23].z, sole + 0.5f, 1e-3);
        EXPECT_NEAR(p[28].x - p[26].x, inwards, 1e-3) << "the right foot mirrors the left";
    }
}

} // namespace
} // namespace telvo
