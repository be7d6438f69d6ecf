// Writing BVH, and the foot measurements that shape feet a file does not have.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/formats/BvhFigureText.h"
#include "tests/formats/BvhTestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Take {
    std::vector<std::array<Vector, 30>> poses;
    float period = 0;
};

Take Read(const std::string& path) {
    Skeleton sk;
    GyroInitSkeleton(&sk);
    Take t;
    EXPECT_EQ(GyroReadBVH(path.c_str(), &sk), 1) << telvo::files::LastProblem().reason;
    t.period = sk.FramePeriod;
    for (uint32_t f = 0; f < sk.FrameCount; ++f) {
        GyroApplyFrame(&sk, &sk.Frames[f]);
        t.poses.emplace_back();
        for (int n = 0; n < 30; ++n) {
            t.poses.back()[static_cast<std::size_t>(n)] = sk.Nodes[n].Position;
        }
    }
    GyroFreeSkeletonFrames(&sk);
    return t;
}

// Reads a file and writes what it read.
void Convert(const std::string& from, const std::string& to) {
    Skeleton sk;
    GyroInitSkeleton(&sk);
    ASSERT_EQ(GyroReadBVH(from.c_str(), &sk), 1);
    ASSERT_EQ(GyroWriteBVH(to.c_str(), &sk), 1) << telvo::files::LastProblem().reason;
    GyroFreeSkeletonFrames(&sk);
}

double Farthest(const Take& a, const Take& b) {
    EXPECT_EQ(a.poses.size(), b.poses.size());
    EXPECT_EQ(a.period, b.period);
    double worst = 0;
    for (std::size_t f = 0; f < std::min(a.poses.size(), b.poses.size()); ++f) {
        for (std::size_t n = 0; n < 30; ++n) {
            const Vector& p = a.poses[f][n];
            const Vector& q = b.poses[f][n];
            worst =
                std::max(worst, static_cast<double>(std::hypot(p.x - q.x, p.y - q.y, p.z - q.z)));
        }
    }
    return worst;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(BvhWrite, ReadingBackKeepsEveryNode) {
    std::vector<std::string> sources = {
        testfiles::Write("figure.bvh", testfiles::FigureText({}, 40))};
    for (const char* shared : {"01_cmu_cgspeed_01_01.bvh", "20_optitrack_test_optitrack.bvh"}) {
        if (!testfiles::Shared(shared).empty()) {
            sources.push_back(testfiles::Shared(shared));
        }
    }
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        Take first = Read(source);
        Convert(source, testfiles::Scratch("once.bvh"));
        Take once = Read(testfiles::Scratch("once.bvh"));
        EXPECT_LT(Farthest(first, once), 0.05); // a foreign file through ours
        Convert(testfiles::Scratch("once.bvh"), testfiles::Scratch("twice.bvh"));
        EXPECT_LT(Farthest(once, Read(testfiles::Scratch("twice.bvh"))), 0.01); // our own
        EXPECT_EQ(telvo::files::LastBvhSource().unit, "inches");
    }
}

TEST(BvhWrite, WritesTheUsualLayoutInTheCFormatInEveryLocale) {
    std::string source = testfiles::Write("layout.bvh", testfiles::FigureText({}, 3, "0.0083333"));
    Convert(source, testfiles::Scratch("c.bvh"));
    std::string text = Slurp(testfiles::Scratch("c.bvh"));
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) {
        all.push_back(line.substr(
            line.find_first_not_of('\t') == std::string::npos ? 0 : line.find_first_not_of('\t')));
    }
    ASSERT_GT(all.size(), 10u);
    EXPECT_EQ(all[1], "ROOT Hips");
    EXPECT_EQ(all[2], "{");
    EXPECT_EQ(all[3], "OFFSET 0 0 0");
    EXPECT_EQ(all[4], "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation");
    int joints = 0;
    int ends = 0;
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i].rfind("JOINT ", 0) == 0) {
            ++joints;
            EXPECT_EQ(all[i + 1], "{");
            EXPECT_EQ(all[i + 3], "CHANNELS 3 Zrotation Xrotation Yrotation") << all[i];
        }
        if (all[i] == "End Site") {
            ++ends;
            EXPECT_EQ(all[i + 1], "{");
            EXPECT_EQ(all[i + 3], "}");
        }
    }
    EXPECT_EQ(joints, 20); // the 19 sensor segments and the balls of the feet, below the root
    EXPECT_EQ(ends, 9);    // head top, fingertips, thumbs, heels, toes
    EXPECT_NE(text.find("\nFrames: 3\nFrame Time: 0.0083333000\n"), std::string::npos);
    // Y is up: the head sits above the neck.
    std::istringstream head(text.substr(text.find("OFFSET", text.find("JOINT Head"))));
    std::string word, x, y;
    head >> word >> x >> y;
    float up = 0;
    std::from_chars(y.data(), y.data() + y.size(), up);
    EXPECT_GT(up, 4.0f) << y;

    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no comma locale on this machine";
    }
    Convert(source, testfiles::Scratch("de.bvh"));
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(Slurp(testfiles::Scratch("de.bvh")), text);
}

TEST(BvhWrite, AReadOnlyTargetIsRefusedAndKept) {
    std::string target = testfiles::Write("kept.bvh", "old");
    ::chmod(target.c_str(), 0444);
    Skeleton sk;
    GyroInitSkeleton(&sk);
    EXPECT_EQ(GyroWriteBVH(target.c_str(), &sk), 0);
    EXPECT_EQ(telvo::files::LastProblem().reason, "the file is read-only");
    EXPECT_EQ(Slurp(target), "old");
}

// Feet of a file without toe joints: the heel's pad is as wide as the heel and its back lies
// a quarter of the foot length behind the ankle; the ball sits at 73 % of the length, less
// half the outside shortening, and as far inwards as the ball is wider than the heel (the
// outer border runs straight); the toe tip ends the foot on the line from heel to ball.
TEST(BvhFoot, MeasurementsShapeFeetTheFileLacks) {
    std::string path = testfiles::Write("feet.bvh", testfiles::FigureText({}, 1));
    struct Case {
        float length, heelWidth, ballWidth, shorten;
    };
    for (Case c : {Case{10, 2.5f, 3.75f, 1}, Case{12, 3, 5, 2}}) {
        GyroSetBVHFoot(c.length, c.heelWidth, c.ballWidth, c.shorten);
        Take t = Read(path);
        ASSERT_EQ(t.poses.size(), 1u);
        const auto& p = t.poses[0]; // the rest pose: the figure faces -Y, its left is +X
        const Vector& ankle = p[20];
        float sole = ankle.z - 3.0f; // the file's foot end lies on the floor
        float back = c.length / 4;
        float ballAhead = 0.73f * c.length - c.shorten / 2 - back;
        float inwards = (c.ballWidth - c.heelWidth) / 2;
        EXPECT_NEAR(p[21].x - ankle.x, 0, 1e-3);
        EXPECT_NEAR(ankle.y - p[21].y, -back + c.heelWidth / 2, 1e-3);
        EXPECT_NEAR(p[21].z, sole + 1.25f, 1e-3);
        EXPECT_NEAR(ankle.x - p[22].x, inwards, 1e-3);
        EXPECT_NEAR(ankle.y - p[22].y, ballAhead, 1e-3);
        EXPECT_NEAR(p[22].z, sole + 0.75f, 1e-3);
        EXPECT_NEAR(ankle.y - p[23].y, c.length - back - 0.5f, 1e-3);
        EXPECT_NEAR(p[23].z, sole + 0.5f, 1e-3);
        EXPECT_NEAR(p[28].x - p[26].x, inwards, 1e-3) << "the right foot mirrors the left";
    }
    // With toe joints the file's toe base is the ball and its end the toe; only the heel
    // follows the measurements.
    std::string toes = testfiles::Shared("20_optitrack_test_optitrack.bvh");
    if (!toes.empty()) {
        GyroSetBVHFoot(10, 2.5f, 3.75f, 1);
        Take a = Read(toes);
        GyroSetBVHFoot(14, 2.5f, 3.75f, 1);
        Take b = Read(toes);
        Vector d[3];
        const Vector& pa = a.poses[0][20];
        const Vector& qa = b.poses[0][20];
        for (int i = 0; i < 3; ++i) { // from the ankle: the floor may move with the heel
            const Vector& p = a.poses[0][static_cast<std::size_t>(21 + i)];
            const Vector& q = b.poses[0][static_cast<std::size_t>(21 + i)];
            d[i] = {q.x - qa.x - p.x + pa.x, q.y - qa.y - p.y + pa.y, q.z - qa.z - p.z + pa.z};
        }
        EXPECT_NEAR(std::hypot(d[0].x, d[0].y, d[0].z), 1.0, 1e-3);
        EXPECT_NEAR(std::hypot(d[1].x, d[1].y, d[1].z) + std::hypot(d[2].x, d[2].y, d[2].z), 0,
                    1e-3);
    }
    GyroSetBVHFoot(10, 2.5f, 3.75f, 1);
}

} // namespace
