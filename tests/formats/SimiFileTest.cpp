// SIMI export: each line holds the frame posed with the skeleton's own bones.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <vector>

namespace telvo {
namespace {

std::vector<float> Numbers(const std::string& line) {
    std::vector<float> values;
    for (const char* at = line.data(); at < line.data() + line.size(); ++at) {
        float v = 0;
        at = std::from_chars(at, line.data() + line.size(), v).ptr;
        values.push_back(v);
    }
    return values;
}

TEST(SimiFile, TablePosesEveryFrameWithTheSkeletonsBonesAndCompanionNamesTheColumns) {
    Skeleton take{};
    GyroInitSkeleton(&take);
    ActorData tall{};
    GyroGetActorData(0, &tall);
    GyroUpdateActorFromSkeleton(&take, &tall);
    take.Nodes[19].Offset = Vector(0.0f, 0.0f, -21.0f); // a longer left thigh
    take.FramePeriod = 1.0f / 60.0f;
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(GyroAddFrame(&take), 1);
        Frame& frame = take.Frames[f];
        for (Matrix& m : frame.RawMatrices) {
            m = Matrix::RotZ(0.3f * static_cast<float>(f));
        }
        frame.RawMatrices[13] = Matrix::RotX(0.5f); // left hip sensor
        frame.RootPosition = Vector(static_cast<float>(f), 2.0f, 37.0f);
    }
    TempDir dir;
    const std::string table = (dir.path() / "take.txt").string();
    const std::string companion = (dir.path() / "take.imp").string();
    ASSERT_EQ(GyroWriteSIMI(table.c_str(), &take, companion.c_str()), 1);

    std::istringstream lines(ReadAll(table));
    std::string line;
    for (uint32_t f = 0; f < take.FrameCount; ++f) {
        ASSERT_TRUE(std::getline(lines, line));
        auto values = Numbers(line);
        ASSERT_EQ(values.size(), 92u) << line;
        EXPECT_EQ(values[0], f);
        EXPECT_NEAR(values[1], f / 60.0, 1e-6);
        GyroApplyFrame(&take, &take.Frames[f]);
        for (int n = 0; n < SkeletonNodeCount; ++n) {
            const Vector& p = take.Nodes[n].Position;
            EXPECT_EQ(values[2 + 3 * n], p.x);
            EXPECT_EQ(values[3 + 3 * n], p.y);
            EXPECT_EQ(values[4 + 3 * n], p.z) << GyroGetNodeName(n);
        }
    }
    EXPECT_FALSE(std::getline(lines, line));

    const std::string about = ReadAll(companion);
    for (const char* want : {"Table take.txt\n", "Frames 3\n", "FrameRate 60\n", "Unit Inches\n",
                             "Columns 92\n", "Column 2 time\n", "Column 3 Hips.x\n",
                             "Column 62 LeftKnee.z\n", "Column 92 RightToe.z\n"}) {
        EXPECT_NE(about.find(want), std::string::npos) << want;
    }
    GyroFreeSkeletonFrames(&take);
}

} // namespace
} // namespace telvo
