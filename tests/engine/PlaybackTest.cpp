#include "tests/engine/EngineFixture.h"

#include <limits>
#include <tuple>

namespace telvo {
namespace {

class Playback : public EngineTest {
protected:
    TimerId Timer() {
        auto timers = window.RunningTimers();
        return timers.size() == 1 ? timers.begin()->first : 0;
    }
    static uint32_t Index() { return Engine.PlaybackIndex.load(); }
    // The frame shown after the ticks of the playback timer or a command.
    uint32_t IndexAfter(int ticks) {
        window.Tick(Timer(), ticks);
        return Index();
    }
    static uint32_t IndexAfter(void (*command)()) {
        command();
        return Index();
    }
};

// One timed playback through the bounds and texts of the rate, the timer's exact period, the
// divider, a paint still pending, pausing inside it, the wrap with Loop and the end without.
TEST_F(Playback, TheTimerStepsEveryNthTickWrapsWithLoopAndEndsWithoutIt) {
    Settings.Loop = 1;
    ASSERT_TRUE(SetPath(Settings.CurrentFile, "/takes/walk 2.bvh"));
    for (int i = 0; i < 130; ++i) {
        OnPlaybackRate(CmdDecreasePlaybackRate);
    }
    EXPECT_EQ(window.StatusText(0), "Playing at 1.00 frames per second");
    for (int i = 0; i < 121; ++i) {
        OnPlaybackRate(CmdIncreasePlaybackRate);
    }
    OnPlaybackRate(CmdDecreasePlaybackRate);
    OnPlaybackRate(CmdDecreasePlaybackRate);
    RecordFrames(10);
    OnPlay();
    TimerId timer = Timer();
    EXPECT_EQ(window.StatusText(0), "Playing at 40.00 frames per second");
    // Steps in ten seconds: whole milliseconds would play 4 % fast.
    EXPECT_NEAR(10e9 / static_cast<double>(window.RunningTimers()[timer]), 1200.0, 0.01);
    Engine.PaintPending = 0; // the recording's last frame was painted
    int paints = window.Invalidations();
    EXPECT_EQ(IndexAfter(2), 0u);
    EXPECT_EQ(IndexAfter(1), 1u);
    EXPECT_EQ(IndexAfter(3), 2u); // stepped, but the first step's paint is still pending
    EXPECT_EQ(window.Invalidations(), paints + 1);

    OnPauseStep(); // pauses where it is; ticks change nothing, a step back goes by hand
    window.Tick(timer, 6);
    EXPECT_EQ(IndexAfter(OnStepBackwards), 1u);
    OnPlay(); // resumes there, without a new timer
    EXPECT_EQ(window.CallsOf("timer start ").size(), 1u);
    OnPlaybackRate(CmdNormalPlaybackRate);
    EXPECT_EQ(window.StatusText(0), "Playing at 120.00 frames per second");
    EXPECT_EQ(IndexAfter(9), 0u); // 10 wraps to 0

    Settings.Loop = 0;
    window.ClearCalls();
    EXPECT_EQ(window.Tick(timer, 20), 10);
    EXPECT_EQ(Index(), 9u);
    EXPECT_EQ(Engine.Playback.load(), 0); // and the timer killed itself: Tick made only 10
    // Ending by itself leaves the marks alone until the next command.
    EXPECT_TRUE(window.CallsOf("check ").empty());
    EXPECT_EQ(IndexAfter(OnPlay), 0u); // from the start; the title names the file only meanwhile
    EXPECT_NE(Timer(), 0u);
    EXPECT_EQ(window.CallsOf("title ").back(), "TelvoView - /takes/walk 2.bvh");
    OnStop();
    EXPECT_EQ(window.CallsOf("title ").back(), "TelvoView");
}

TEST_F(Playback, PauseStepAndStepBackwardsStopAtBothEndsOrWrapWithLoop) {
    OnPlay(); // nothing advances without frames
    window.Tick(Timer(), 5);
    OnPauseStep();
    OnPauseStep();
    EXPECT_EQ(IndexAfter(OnStepBackwards), 0u);
    OnStop();

    RecordFrames(4);
    for (auto [loop, afterLast, beforeFirst] : {std::tuple{1, 0u, 3u}, std::tuple{0, 3u, 0u}}) {
        SCOPED_TRACE(loop);
        Settings.Loop = loop;
        OnPauseStep(); // from stopped: paused on frame 0
        EXPECT_EQ(IndexAfter(10), 0u);
        for (uint32_t expected : {1u, 2u, 3u, afterLast}) {
            EXPECT_EQ(IndexAfter(OnPauseStep), expected);
        }
        OnStop();
        EXPECT_EQ(IndexAfter(OnStepBackwards), 0u); // from stopped: paused on frame 0 too
        EXPECT_EQ(IndexAfter(OnStepBackwards), beforeFirst);
        OnStop();
    }
}

// A damaged frame period starts no timer, and playback says so.
TEST_F(Playback, ADamagedFramePeriodStartsNoTimerAndSaysSo) {
    RecordFrames(5);
    for (float period : {0.0f, -1.0f, 1e-6f, 7200.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        window.ClearCalls();
        Engine.Skeleton.FramePeriod = period;
        OnPlay();
        EXPECT_TRUE(window.CallsOf("timer start ").empty()) << period;
        EXPECT_EQ(window.Boxes(), Boxes{Warning("Couldn't start playback timer")}) << period;
        OnStop();
    }
}

} // namespace
} // namespace telvo
