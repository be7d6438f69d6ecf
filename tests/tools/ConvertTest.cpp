// telvoview-convert as a user runs it: exit statuses, one line per bad file, a round trip.
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace telvo {
namespace {

struct Convert : ::testing::Test {
    // Exit status; standard output in out, standard error in err.
    int Run(const std::string& args) {
        Ran ran = RunIn(dir.path(), TELVO_CONVERT " " + args);
        out = ran.out;
        err = ran.err;
        return ran.status;
    }
    void SetUp() override {
        ASSERT_EQ(Run(TELVO_CORPUS "/human/telvoview_writer_from_biovision.bvh take.tl"), 0) << err;
    }
    TempDir dir;
    std::string out, err;
};

TEST_F(Convert, BvhToRecordingAndBackKeepsTheFramesAndTheJoints) {
    ASSERT_EQ(Run("take.tl take.bvh"), 0) << err;
    ASSERT_EQ(Run("--info take.bvh"), 0) << err;
    EXPECT_NE(out.find("frames: 2\nframe time: 0.033333 s"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  LeftKnee <- LeftKnee\n"), std::string::npos) << out;
}

TEST_F(Convert, InfoDescribesAFigureItCannotMapAndSaysWhy) {
    ASSERT_EQ(Run("--info " TELVO_CORPUS "/other/quadruped_dog_walk.bvh"), 0) << err;
    for (const char* part :
         {"frames: 48\n", "channels: 78\n", "joints: 25 and 6 end sites, 6 levels",
          "hierarchy:\n  Pelvis\n    Spine\n      Chest (10 joints below)\n    Hip_L\n",
          "cannot be mapped: not a human figure: "}) {
        EXPECT_NE(out.find(part), std::string::npos) << part << " in\n" << out;
    }
    EXPECT_EQ(out.find("node <- file joint"), std::string::npos) << out;
}

TEST_F(Convert, ExitStatusSaysWhetherUsageOrInputWasWrong) {
    WriteAll(dir.path() / "cut.tl", ReadAll(dir.path() / "take.tl").substr(0, 3000));
    WriteAll(dir.path() / "bad.bvh", "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 7\n");
    const struct {
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {"", 2, "usage:"},
        {"take.tl take.doc", 2, "take.doc: writes .bvh, .tl, .txt and .glb files"},
        {"--info cut.tl", 1,
         "telvoview-convert: cut.tl: truncated: the header announces 2 frames, the file holds 0\n"},
        {"bad.bvh take.tl", 1, "telvoview-convert: bad.bvh:5: "},
        {"take.tl missing/take.tl", 1, "missing/take.tl: cannot create a file in its folder"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
        EXPECT_TRUE(c.status != 1 || std::count(err.begin(), err.end(), '\n') == 1) << err;
    }
}

} // namespace
} // namespace telvo
