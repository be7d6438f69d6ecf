#include "tests/engine/EngineFixture.h"

#include <cstring>
#include <ostream>
#include <thread>

namespace telvo {
namespace {

class FramePump : public EngineTest {
protected:
    // Feeds frames numbered from 0 straight to the callback, painting each requested repaint at
    // once, and lists the frames that reached DisplayFrame.
    std::vector<int> Displayed(SuitInfo& suit, int frames, int holdPaintFor = 0) {
        std::vector<int> shown;
        int held = 0;
        for (int i = 0; i < frames; ++i) {
            Frame frame{};
            frame.RootPosition.x = static_cast<float>(i);
            int before = window.Invalidations();
            FrameCallback(&frame, &suit);
            if (window.Invalidations() > before) {
                std::lock_guard lock(Engine.DisplayMutex);
                shown.push_back(static_cast<int>(Engine.DisplayFrame.RootPosition.x));
                held = holdPaintFor;
            }
            if (held > 0) {
                --held; // the paint is still running
            } else {
                Engine.PaintPending = 0;
            }
        }
        return shown;
    }
    std::vector<int> Displayed(uint32_t divider, int frames) {
        SuitInfo suit{1, "", divider};
        Engine.DisplayAccumulator = 0;
        return Displayed(suit, frames);
    }
};

TEST_F(FramePump, DisplayThrottleShowsAtMostThirtyFramesASecond) {
    Engine.Live = 1;
    Server.ServerRunning = 1;
    EXPECT_EQ(Displayed(1, 12), (std::vector<int>{3, 7, 11}));
    EXPECT_EQ(Displayed(2, 12), (std::vector<int>{1, 3, 5, 7, 9, 11}));
    EXPECT_EQ(Displayed(3, 12), (std::vector<int>{1, 2, 3, 5, 6, 7, 9, 10, 11}));
    EXPECT_EQ(Displayed(4, 6), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Server.ServerDescriptor.FrameDivider, 4); // the frames go out with the divider
    // 30 times this divider wraps to 14 in 32 bits.
    EXPECT_EQ(Displayed(143165577u, 3), (std::vector<int>{0, 1, 2}));

    // Divider 0 counts as 1 and is written back.
    SuitInfo zero{1, "", 0};
    Engine.DisplayAccumulator = 0;
    EXPECT_EQ(Displayed(zero, 8), (std::vector<int>{3, 7}));
    EXPECT_EQ(zero.FrameDivider, 1u);
    EXPECT_EQ(Server.ServerDescriptor.FrameDivider, 1);

    // Frame 1 is shown; its paint lasts through frames 2 to 4, which are dropped without
    // counting, so the next shown frame is the second after the paint: 6.
    SuitInfo two{1, "", 2};
    Engine.DisplayAccumulator = 0;
    EXPECT_EQ(Displayed(two, 7, 3), (std::vector<int>{1, 6}));
}

TEST_F(FramePump, FramesReachNothingWhenNeitherLiveNorRecordingOrDuringPlayback) {
    Server.ServerRunning = 1;
    SuitInfo suit{1, "", 3};
    EXPECT_TRUE(Displayed(suit, 8).empty());
    Engine.Live = 1;
    Engine.Playback = 1;
    EXPECT_TRUE(Displayed(suit, 8).empty());
    EXPECT_EQ(Server.ServerDescriptor.FrameDivider, 0);
}

// --- With the simulated suit ---------------------------------------------------------------

class Switches : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Settings.UseSwitches = 1;
        ASSERT_NE(Open(), 0);
    }
    std::vector<int> Press(uint32_t aux, int frames = 1) {
        window.ClearPosted();
        sim::SetAux(Engine.SuitHandle, aux);
        Deliver(frames);
        return window.Posted();
    }
};

TEST_F(Switches, TwoAtOnceGiveOnlyTheHigherPriorityCommandEver) {
    EXPECT_EQ(Press(AuxValid | AuxSwitch1 | AuxSwitch5, 5), (std::vector<int>{CmdSetNorth}));
    // Switch 1 released, switch 5 still held: nothing new was pressed.
    EXPECT_TRUE(Press(AuxValid | AuxSwitch5, 3).empty());
    EXPECT_EQ(Press(AuxValid | AuxSwitch2 | AuxSwitch3), (std::vector<int>{CmdLive}));
    EXPECT_TRUE(Press(AuxValid).empty());
    EXPECT_EQ(Press(AuxValid | AuxSwitch6 | AuxSwitch3), (std::vector<int>{CmdEnableTracking}));
    EXPECT_TRUE(Press(AuxValid).empty());
    EXPECT_EQ(Press(AuxValid | AuxSwitch6 | AuxSwitch4), (std::vector<int>{CmdStop}));
    EXPECT_TRUE(Press(AuxValid | AuxSwitch4).empty()); // switch 4 is no command
    Engine.Playback = 1;
    EXPECT_TRUE(Press(AuxValid | AuxSwitch1).empty());
    Engine.Playback = 0;
    Settings.UseSwitches = 0;
    EXPECT_TRUE(Press(AuxValid | AuxSwitch2).empty());
}

TEST_F(Switches, WordsWithoutTheValidBitAreIgnoredAndForgotten) {
    EXPECT_EQ(Press(AuxValid | AuxSwitch5), (std::vector<int>{CmdRecord}));
    // A release seen without the valid bit does not count as a release ...
    EXPECT_TRUE(Press(0).empty());
    EXPECT_TRUE(Press(AuxSwitch1).empty());
    // ... so the switch still held in the last valid word gives nothing.
    EXPECT_TRUE(Press(AuxValid | AuxSwitch5).empty());
    EXPECT_EQ(Engine.PreviousAux.load(), AuxValid | AuxSwitch5);
}

struct LimitCase {
    uint32_t divider;
    int framesOrSeconds;
    int limitFS;
    uint32_t frames;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << (c.framesOrSeconds != 0 ? "frames " : "seconds ") << c.limitFS << " at divider "
        << c.divider;
}

class RecordLimit : public EngineTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RecordLimit, RecordStopHoldsExactlyTheLimitWithNoFrameLost) {
    const LimitCase& c = GetParam();
    sim::SetSuits({{1, "Studio", c.divider}});
    ASSERT_GT(GyroFindSuits(), 0);
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = c.framesOrSeconds;
    Settings.RecordLimitFS = c.limitFS;
    OnRecord();
    ASSERT_EQ(Engine.Recording.load(), 1);
    Deliver(static_cast<int>(c.frames) + 5);
    std::vector<int> posted = window.Posted();
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.front(), CmdStop);
    Pump();
    EXPECT_EQ(Engine.Recording.load(), 0);
    std::vector<uint64_t> sequence = RecordedSequence();
    ASSERT_EQ(sequence.size(), c.frames);
    EXPECT_TRUE(Contiguous(sequence));
}

INSTANTIATE_TEST_SUITE_P(SecondsAndFrames, RecordLimit,
                         ::testing::Values(LimitCase{1, 0, 5, 600}, LimitCase{3, 0, 5, 200},
                                           LimitCase{7, 0, 5, 86}, LimitCase{1, 1, 37, 37}));

TEST_F(EngineTest, WithoutRecordStopTheRecordingGoesOnPastItsLimit) {
    Settings.RecordFramesOrSeconds = 1;
    Settings.RecordLimitFS = 10;
    Settings.RecordStop = 0;
    OnRecord();
    Deliver(25);
    EXPECT_TRUE(window.Posted().empty());
    EXPECT_EQ(RecordedFrameCount(), 25u);
}

TEST_F(EngineTest, OutOfMemoryKeepsTheFramesRecordedSoFar) {
    sim::SetRecordingLimit(40);
    OnRecord();
    window.ClearCalls();
    Deliver(60);
    // One Stop and one box, however many frames arrive before the Stop is handled.
    EXPECT_EQ(window.Posted(), (std::vector<int>{CmdStop}));
    ASSERT_EQ(window.Boxes().size(), 1u);
    EXPECT_EQ(window.Boxes()[0].text, "Out of memory during record");
    EXPECT_EQ(window.Boxes()[0].icon, MessageIcon::None);
    Pump();
    EXPECT_EQ(Engine.Recording.load(), 0);
    std::vector<uint64_t> sequence = RecordedSequence();
    EXPECT_EQ(sequence.size(), 40u);
    EXPECT_TRUE(Contiguous(sequence));

    // The next recording may fill up again and says so again.
    sim::SetRecordingLimit(0);
    OnRecord();
    Deliver(5);
    EXPECT_EQ(RecordedFrameCount(), 5u);
}

TEST_F(EngineTest, PausedRecordingKeepsItsCountAndResumes) {
    OnRecord();
    Deliver(10);
    OnPauseStep();
    Deliver(10);
    EXPECT_EQ(RecordedFrameCount(), 10u);
    OnPauseStep();
    Deliver(10);
    EXPECT_EQ(RecordedFrameCount(), 20u);
    OnStepBackwards(); // pauses a recording too
    Deliver(10);
    EXPECT_EQ(RecordedFrameCount(), 20u);
}

TEST_F(EngineTest, StopPostedAtTheLimitThenRecordAtOnceStartsAFreshRecording) {
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = 1;
    Settings.RecordLimitFS = 10;
    OnRecord();
    Deliver(15);
    // The user's Record arrives right behind the posted Stops.
    window.PostCommand(CmdRecord);
    Pump();
    ASSERT_EQ(Engine.Recording.load(), 1);
    EXPECT_EQ(RecordedFrameCount(), 0u);
    Deliver(4);
    std::vector<uint64_t> sequence = RecordedSequence();
    ASSERT_EQ(sequence.size(), 4u);
    EXPECT_EQ(sequence.front(), 15u);
    EXPECT_TRUE(Contiguous(sequence));
}

TEST_F(EngineTest, RecordedFramesKeepEveryByte) {
    Frame sent{};
    std::memset(static_cast<void*>(&sent), 0xA5, sizeof sent);
    SuitInfo suit{1, "", 1};
    OnRecord();
    FrameCallback(&sent, &suit);
    std::lock_guard lock(Engine.RecordingMutex);
    ASSERT_EQ(Engine.Skeleton.FrameCount, 1u);
    EXPECT_EQ(std::memcmp(&Engine.Skeleton.Frames[0], &sent, sizeof sent), 0);
}

} // namespace
} // namespace telvo
