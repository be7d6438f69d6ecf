// The recording's frame array: contiguous, bytes kept, limits and foreign arrays refused.
#include "tests/telvoria/SimFixture.h"

#include <cstring>

namespace telvo::test {
namespace {

bool Holds(const Frame& f, uint32_t n) {
    Frame want;
    Pattern(&want, sizeof want, n);
    return std::memcmp(&f, &want, sizeof f) == 0;
}

struct Recording : SimTest {
    void TearDown() override {
        GyroFreeSkeletonFrames(&skel);
        SimTest::TearDown();
    }
    Skeleton skel{};
};

TEST_F(Recording, AppendsKeepEveryByteInOneArrayThatNeverMovesUpToTheLimit) {
    const uint32_t n = 20000;  // many times the first commitment of pages
    sim::SetRecordingLimit(n); // as if memory ran out there
    const Frame zero{};
    const Frame* first = nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        ASSERT_EQ(GyroAddFrame(&skel), 1);
        ASSERT_EQ(std::memcmp(&skel.Frames[i], &zero, sizeof zero), 0) << "a new slot is clean";
        first = i == 0 ? skel.Frames : first;
        ASSERT_EQ(skel.Frames, first) << "the array moved at frame " << i;
        Pattern(&skel.Frames[i], sizeof(Frame), i);
    }
    EXPECT_EQ(GyroAddFrame(&skel), 0);
    EXPECT_EQ(skel.FrameCount, n);
    for (uint32_t i = 0; i < n; ++i) {
        ASSERT_TRUE(Holds(skel.Frames[i], i)) << "frame " << i;
    }
    GyroFreeSkeletonFrames(&skel);
    EXPECT_TRUE(skel.Frames == nullptr && skel.FrameCount == 0);
    ASSERT_EQ(GyroAddFrame(&skel), 1) << "a freed recording starts again";
    GyroInitSkeleton(&skel); // gives the recording back
    EXPECT_TRUE(skel.Frames == nullptr && skel.FrameCount == 0);
}

TEST_F(Recording, ArraysNotFromTheLibraryAreNeverWrittenOrFreed) {
    Frame mine[2];
    Pattern(&mine[0], sizeof(Frame), 0);
    skel.Frames = mine;
    skel.FrameCount = 1;
    EXPECT_EQ(GyroAddFrame(&skel), 0);
    EXPECT_TRUE(Holds(mine[0], 0));
    GyroFreeSkeletonFrames(&skel);
    EXPECT_EQ(skel.Frames, nullptr);
    EXPECT_EQ(GyroAddFrame(nullptr), 0);
    GyroFreeSkeletonFrames(nullptr);
}

} // namespace
} // namespace telvo::test
