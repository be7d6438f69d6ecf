// Reading BVH: every dialect of one figure reads the same, the name families of other tools
// land on the right nodes, and bad files fail with a line and a reason, changing nothing.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/formats/BvhFigureText.h"
#include "tests/formats/BvhTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testfiles::Dialect;
using testfiles::FigureText;

std::vector<std::array<Vector, 30>> Play(const std::string& text, const char* name = "f.bvh") {
    std::string path = testfiles::Write(name, text);
    Skeleton sk;
    GyroInitSkeleton(&sk);
    std::vector<std::array<Vector, 30>> poses;
    EXPECT_EQ(GyroReadBVH(path.c_str(), &sk), 1)
        << telvo::files::LastProblem().line << ": " << telvo::files::LastProblem().reason;
    for (uint32_t f = 0; f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        poses.emplace_back();
        for (int n = 0; n < 30; ++n) {
            poses.back()[static_cast<std::size_t>(n)] = sk.Nodes[n].Position;
        }
    }
    GyroFreeSkeletonFrames(&sk);
    return poses;
}

Dialect With(void (*change)(Dialect&)) {
    Dialect d;
    change(d);
    return d;
}

TEST(BvhRead, EveryDialectOfOneFigureReadsTheSame) {
    const auto plain = Play(FigureText(Dialect{}));
    ASSERT_EQ(plain.size(), 3u);
    struct Case {
        const char* what;
        Dialect dialect;
        bool sameEnds; // the hands' and head's ends are in the file
    };
    const Case cases[] = {
        {"CRLF, TABs, blanks after the colons, blank lines, no final newline", With([](Dialect& d) {
             d.lineEnd = "\r\n", d.blank = "\t", d.blankLines = true, d.finalNewline = false;
         }),
         true},
        {"another channel order on every joint", With([](Dialect& d) { d.mixedOrders = true; }),
         true},
        {"numbers in exponent form", With([](Dialect& d) { d.numbers = 1; }), true},
        {"numbers like .5, -0 and +1", With([](Dialect& d) { d.numbers = 2; }), true},
        {"hands with channels and no End Site", With([](Dialect& d) { d.leafHands = true; }),
         false},
        {"a zero-offset root above the hips", With([](Dialect& d) { d.reference = true; }), true},
        {"centimetres", With([](Dialect& d) { d.unit = 2.54f; }), true},
        {"metres", With([](Dialect& d) { d.unit = 0.0254f; }), true},
        {"Z up", With([](Dialect& d) { d.zUp = true; }), true},
        {"animation-rig names with a prefix", With([](Dialect& d) {
             d.names = {"rig:Hips",          "rig:Spine2",   "rig:Neck",         "rig:Head",
                        "rig:LeftShoulder",  "rig:LeftArm",  "rig:LeftForeArm",  "rig:LeftHand",
                        "rig:RightShoulder", "rig:RightArm", "rig:RightForeArm", "rig:RightHand",
                        "rig:LeftUpLeg",     "rig:LeftLeg",  "rig:LeftFoot",     "rig:RightUpLeg",
                        "rig:RightLeg",      "rig:RightFoot"};
         }),
         true},
        {"hip, chest, lCollar, lShldr, lThigh names", With([](Dialect& d) {
             d.names = {"hip",      "chest", "neck",    "head",   "lCollar",  "lShldr",
                        "lForeArm", "lHand", "rCollar", "rShldr", "rForeArm", "rHand",
                        "lThigh",   "lShin", "lFoot",   "rThigh", "rShin",    "rFoot"};
         }),
         true},
        {"names that say nothing", With([](Dialect& d) {
             d.names = {"j0", "j1",  "j2",  "j3",  "j4",  "j5",  "j6",  "j7",  "j8",
                        "j9", "j10", "j11", "j12", "j13", "j14", "j15", "j16", "j17"};
         }),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto poses = Play(FigureText(c.dialect));
        ASSERT_EQ(poses.size(), plain.size());
        for (std::size_t f = 0; f < poses.size(); ++f) {
            for (int n = 0; n < 30; ++n) {
                bool end = n == 5 || n == 10 || n == 11 || n == 16 || n == 17;
                if (end && !c.sameEnds) {
                    continue;
                }
                const Vector& a = poses[f][static_cast<std::size_t>(n)];
                const Vector& b = plain[f][static_cast<std::size_t>(n)];
                EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y, a.z - b.z), 0.0, 0.01)
                    << "frame " << f << " " << GyroGetNodeName(n);
            }
        }
    }
}

TEST(BvhRead, OtherToolsNamesLandOnOurNodes) {
    struct Case {
        const char* file;
        const char* unit;
        std::vector<std::pair<int, const char*>> nodes;
    };
    const Case cases[] = {
        {"01_cmu_cgspeed_01_01.bvh",
         "unknown",
         {{1, "Spine"},
          {2, "Spine1"},
          {3, "Neck1"},
          {6, "LeftShoulder"},
          {7, "LeftArm"},
          {9, "LeftHand"},
          {11, "LThumb End Site"},
          {18, "LeftUpLeg"},
          {19, "LeftLeg"},
          {22, "LeftToeBase"},
          {23, "LeftToeBase End Site"},
          {21, ""}}},
        {"05_mocapbank_test_mocapbank.bvh",
         "centimetres",
         {{6, "LeftCollar"},
          {7, "LeftShoulder"},
          {8, "LeftElbow"},
          {15, "RightWrist"},
          {18, "LeftHip"},
          {20, "LeftAnkle"},
          {22, ""}}},
        {"16_animdraw_cmu1_jumping_jacks.bvh",
         "unknown",
         {{1, "Chest"},
          {2, "Chest2"},
          {3, "Neck"},
          {9, "LeftWrist"},
          {18, "LeftHip"},
          {22, "LeftToe"}}},
        {"19_biovision_example1.bvh",
         "inches",
         {{1, ""},
          {2, "Chest"},
          {7, "LeftUpArm"},
          {8, "LeftLowArm"},
          {13, "RightUpArm"},
          {19, "LeftLowLeg"},
          {10, "LeftHand End Site"},
          {11, ""}}},
        {"20_optitrack_test_optitrack.bvh",
         "metres",
         {{1, "Spine"},
          {6, "LeftShoulder"},
          {7, "LeftArm"},
          {25, "RightLeg"},
          {28, "RightToeBase"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = testfiles::Shared(c.file);
        if (path.empty()) {
            GTEST_SKIP() << "the shared BVH files are not beside the project";
        }
        Skeleton sk;
        GyroInitSkeleton(&sk);
        ASSERT_EQ(GyroReadBVH(path.c_str(), &sk), 1);
        const auto& src = telvo::files::LastBvhSource();
        EXPECT_EQ(src.unit.rfind(c.unit, 0), 0u) << src.unit;
        for (auto [node, joint] : c.nodes) {
            EXPECT_EQ(src.joint[static_cast<std::size_t>(node)], joint) << GyroGetNodeName(node);
        }
        GyroFreeSkeletonFrames(&sk);
    }
}

TEST(BvhRead, FiguresThatAreNotHumanAreRefused) {
    // A four-legged animal: the spine runs level and every leg hangs across it.
    std::string dog = "HIERARCHY\nROOT Pelvis\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition "
                      "Zposition Zrotation Xrotation Yrotation\n";
    auto leg = [](const char* n, float x) {
        std::string s = std::string("JOINT ") + n + "\n{\nOFFSET " +
                        std::to_string(static_cast<int>(x)) +
                        " 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
        s += "JOINT " + std::string(n) +
             "Knee\n{\nOFFSET 0 -10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
        s += "JOINT " + std::string(n) +
             "Paw\n{\nOFFSET 0 -10 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
        return s + "End Site\n{\nOFFSET 0 -1 2\n}\n}\n}\n}\n";
    };
    dog += leg("LeftHind", 3) + leg("RightHind", -3);
    dog += "JOINT Spine\n{\nOFFSET 0 0 20\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
    dog += leg("LeftFore", 3) + leg("RightFore", -3);
    dog += "JOINT Neck\n{\nOFFSET 0 3 5\nCHANNELS 3 Zrotation Xrotation Yrotation\nEnd "
           "Site\n{\nOFFSET 0 2 6\n}\n}\n}\n}\n";
    dog += "MOTION\nFrames: 1\nFrame Time: 0.04\n";
    for (int i = 0; i < 6 + 14 * 3; ++i) {
        dog += "0 ";
    }
    std::string chain = testfiles::Shared("03_synthetic_sinusoidal.bvh");
    std::vector<std::string> paths = {testfiles::Write("dog.bvh", dog)};
    if (!chain.empty()) {
        paths.push_back(chain);
    }
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        Skeleton sk;
        GyroInitSkeleton(&sk);
        EXPECT_EQ(GyroReadBVH(path.c_str(), &sk), 0);
        EXPECT_EQ(telvo::files::LastProblem().reason.rfind("not a human figure", 0), 0u)
            << telvo::files::LastProblem().reason;
    }
}

int LineOf(const std::string& text, const std::string& marker) {
    std::size_t at = text.find(marker);
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

TEST(BvhRead, BadFilesFailWithALineAndAReasonAndChangeNothing) {
    const std::string good = FigureText(Dialect{});
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string lastRow = good.substr(good.rfind('\n', good.size() - 2) + 1);
    const std::string longer = FigureText(Dialect{}, 50);
    const std::string upToLastRow = good.substr(0, good.size() - lastRow.size());
    std::string deep = "HIERARCHY\nROOT a\n{\nOFFSET 0 0 0\n";
    for (int i = 0; i < 100000; ++i) {
        deep += "JOINT a\n{\nOFFSET 0 0 0\n";
    }
    std::string longLine = upToLastRow;
    for (int i = 0; i < (5 << 20); ++i) {
        longLine += "1 ";
    }
    struct Case {
        const char* what;
        std::string text;
        int line;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", "", 1, "the file ends where HIERARCHY"},
        {"binary bytes",
         std::string("\x7f"
                     "ELF\x02\x01\x00\xff",
                     8),
         1, "HIERARCHY expected"},
        {"cut in the hierarchy", good.substr(0, good.find("JOINT LeftUpLeg")),
         LineOf(good, "JOINT LeftUpLeg"), "the file ends inside"},
        {"cut in the motion", longer.substr(0, longer.rfind('\n', longer.size() - 2) + 1),
         LineOf(good, "MOTION") + 52, "the file ends after 49 of 50 frames"},
        {"far more frames claimed than held", replace("Frames: 3", "Frames: 100000000"),
         LineOf(good, "Frame Time"), "the file claims 100000000 frames"},
        {"a 10 MB line", longLine, LineOf(good, "MOTION") + 5,
         "more than 57 values on a frame line"},
        {"nested 100,000 deep", deep, 5 + 255 * 3, "nested deeper than 256"},
        {"seven channels", replace("CHANNELS 3", "CHANNELS 7"), LineOf(good, "CHANNELS 3"),
         "a channel count of \"7\""},
        {"NaN", upToLastRow + "nan" + lastRow.substr(lastRow.find(' ')), LineOf(good, "MOTION") + 5,
         "\"nan\" is not a finite number"},
        {"infinity in an offset", replace("OFFSET 0 5 0", "OFFSET 0 inf 0"),
         LineOf(good, "OFFSET 0 5 0"), "\"inf\" is not a finite number"},
        {"a frame time of 0", replace("Frame Time: 0.0333333", "Frame Time: 0"),
         LineOf(good, "Frame Time"), "a frame time of 0"},
        {"a negative frame time", replace("Frame Time: 0.0333333", "Frame Time: -0.1"),
         LineOf(good, "Frame Time"), "a frame time of -0.1"},
        {"a value missing", upToLastRow + lastRow.substr(0, lastRow.rfind(' ')) + "\n",
         LineOf(good, "MOTION") + 5, "56 values where 57 were expected"},
        {"a word for a number", replace("OFFSET 0 5 0", "OFFSET 0 five 0"),
         LineOf(good, "OFFSET 0 5 0"), "\"five\" is not a number"},
    };
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(testfiles::Write("good.bvh", good).c_str(), &sk), 1);
    Skeleton before;
    std::memcpy(static_cast<void*>(&before), &sk, sizeof sk);
    std::vector<Frame> framesBefore(sk.Frames, sk.Frames + sk.FrameCount);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(GyroReadBVH(testfiles::Write("bad.bvh", c.text).c_str(), &sk), 0);
        EXPECT_EQ(telvo::files::LastProblem().line, c.line);
        EXPECT_NE(telvo::files::LastProblem().reason.find(c.reason), std::string::npos)
            << telvo::files::LastProblem().reason;
        EXPECT_EQ(std::memcmp(&before, &sk, sizeof sk), 0);
        EXPECT_EQ(std::memcmp(framesBefore.data(), sk.Frames, framesBefore.size() * sizeof(Frame)),
                  0);
    }
    EXPECT_EQ(GyroReadBVH(testfiles::Scratch("missing.bvh").c_str(), &sk), 0);
    EXPECT_EQ(telvo::files::LastProblem().reason.rfind("cannot open the file", 0), 0u);
    GyroFreeSkeletonFrames(&sk);
}

} // namespace
