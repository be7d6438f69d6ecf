// telvoview-convert as a user runs it: exit statuses, one line per bad file, a round trip.
#include "suitlib/SuitLib.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

namespace telvo {
namespace {

class Convert : public ::testing::Test {
protected:
    void SetUp() override {
        Skeleton take{};
        GyroInitSkeleton(&take);
        for (int f = 0; f < 30; ++f) {
            ASSERT_EQ(GyroAddFrame(&take), 1);
            for (Matrix& m : take.Frames[f].RawMatrices) {
                m = Matrix::RotZ(0.05f * static_cast<float>(f));
            }
        }
        ActorData actor{};
        GyroGetActorData(0, &actor);
        ASSERT_EQ(GyroWriteTL(In("take.tl").c_str(), &take, &actor), 1);
        GyroFreeSkeletonFrames(&take);
    }
    std::string In(const std::string& name) const { return (dir.path() / name).string(); }
    // Exit status; standard error in err.
    int Run(const std::string& args) {
        std::string command = "cd '" + dir.path().string() + "' && " TELVO_CONVERT " " + args +
                              " >out.log 2>err.log";
        int status = std::system(command.c_str());
        err = ReadAll(In("err.log"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    TempDir dir;
    std::string err;
};

TEST_F(Convert, ExitStatusSaysWhetherUsageOrInputWasWrong) {
    WriteAll(In("cut.tl"), ReadAll(In("take.tl")).substr(0, 5000));
    const struct {
        const char* args;
        int status;
        const char* message;
    } cases[] = {
        {"--help", 0, ""},
        {"", 2, "usage:"},
        {"take.tl", 2, "usage:"},
        {"--info a.tl b.tl", 2, "usage:"},
        {"take.tl take.doc", 2, "take.doc: writes .bvh, .tl and .txt files"},
        {"--info cut.tl", 1, "telvoview-convert: cut.tl: truncated: the header announces 30 frames, "
                             "the file holds 2\n"},
        {"take.tl missing/take.tl", 1, "missing/take.tl: cannot create a file in its folder"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
    }
}

TEST_F(Convert, ConversionsKeepTheMotionAndPositionsHaveOneLinePerFrame) {
    ASSERT_EQ(Run("take.tl copy.tl"), 0) << err;
    EXPECT_EQ(ReadAll(In("copy.tl")), ReadAll(In("take.tl")));
    ASSERT_EQ(Run("take.tl take.txt"), 0) << err;
    EXPECT_NE(ReadAll(In("take.imp")).find("Frames 30\n"), std::string::npos);
    ASSERT_EQ(Run("--positions take.csv take.tl"), 0) << err;
    const std::string csv = ReadAll(In("take.csv"));
    EXPECT_EQ(csv.rfind("frame,time,Hips.x,Hips.y,Hips.z,Waist.x,", 0), 0u);
    EXPECT_NE(csv.find(",RightToe.z\n0,0,0,0,0,"), std::string::npos) << csv.substr(0, 600);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 31);
    ASSERT_EQ(Run("--info take.tl"), 0) << err;
    EXPECT_NE(ReadAll(In("out.log")).find("frames: 30\n"), std::string::npos);

    const std::string bvh = TELVO_SHARED_BVH "/19_biovision_example1.bvh";
    ASSERT_EQ(Run(bvh + " biovision.tl"), 0) << err;
    ASSERT_EQ(Run("biovision.tl biovision.bvh"), 0) << err;
    ASSERT_EQ(Run("--info biovision.bvh"), 0) << err;
    const std::string info = ReadAll(In("out.log"));
    EXPECT_NE(info.find("frames: 2\nframe time: 0.033333 s"), std::string::npos) << info;
    EXPECT_NE(info.find("\n  LeftKnee <- LeftKnee\n"), std::string::npos) << info;
}

} // namespace
} // namespace telvo
