// SIMI export: each line holds the frame posed with the skeleton's own bones.
#include "suitlib/SuitLib.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <vector>

namespace telvo {
namespace {

TEST(SimiFile, TablePosesEveryFrameWithTheSkeletonsBonesAndCompanionNamesTheColumns) {
    Skeleton take{};
    GyroInitSkeleton(&take);
    take.Nodes[19].Offset = Vector(0.0f, 0.0f, -21.0f); // a longer left thigh
    take.FramePeriod = 1.0f / 60.0f;
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(GyroAddFrame(&take), 1);
        for (Matrix& m : take.Frames[f].RawMatrices) {
            m = Matrix::RotZ(0.3f * static_cast<float>(f));
        }
        take.Frames[f].RawMatrices[13] = Matrix::RotX(0.5f); // left hip sensor
        take.Frames[f].RootPosition = Vector(static_cast<float>(f), 2.0f, 37.0f);
    }
    TempDir dir;
    const std::string table = (dir.path() / "take.txt").string();
    ASSERT_EQ(GyroWriteSIMI(table.c_str(), &take, (dir.path() / "take.imp").c_str()), 1);

    std::istringstream lines(ReadAll(table));
    std::string line;
    uint32_t f = 0;
    for (; std::getline(lines, line); ++f) {
        ASSERT_LT(f, take.FrameCount);
        GyroApplyFrame(&take, &take.Frames[f]);
        std::vector<float> want = {static_cast<float>(f), f / 60.0f};
        for (const SkeletonNode& node : take.Nodes) {
            want.insert(want.end(), {node.Position.x, node.Position.y, node.Position.z});
        }
        const char* at = line.data();
        for (std::size_t i = 0; i < want.size(); ++i, ++at) {
            float v = 0;
            at = std::from_chars(at, line.data() + line.size(), v).ptr;
            EXPECT_EQ(v, want[i]) << "frame " << f << " field " << i;
        }
        EXPECT_EQ(at, line.data() + line.size() + 1) << "92 fields";
    }
    EXPECT_EQ(f, take.FrameCount);
    const std::string about = ReadAll(dir.path() / "take.imp");
    for (const char* want : {"Table take.txt\n", "Frames 3\n", "FrameRate 60\n", "Unit Inches\n",
                             "Columns 92\n", "Column 2 time\n", "Column 3 Hips.x\n",
                             "Column 62 LeftKnee.z\n", "Column 92 RightToe.z\n"}) {
        EXPECT_NE(about.find(want), std::string::npos) << want;
    }
    GyroFreeSkeletonFrames(&take);
}

} // namespace
} // namespace telvo
