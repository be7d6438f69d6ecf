#include "tests/engine/EngineFixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>

namespace telvo {
namespace {

class Playback : public EngineTest {
protected:
    // Plays a fresh recording of n frames; returns the playback timer.
    TimerId Play(int n) {
        RecordFrames(n);
        OnPlay();
        return Timer();
    }
    TimerId Timer() {
        std::vector<TimerId> timers = window.RunningTimers();
        return timers.size() == 1 ? timers[0] : 0;
    }
    void SetFramePeriod(float seconds) {
        std::lock_guard lock(Engine.RecordingMutex);
        Engine.Skeleton.FramePeriod = seconds;
    }
    uint32_t Index() const { return Engine.PlaybackIndex.load(); }
};

TEST_F(Playback, TimerStepsAtTheMotionsTrueRate) {
    RecordFrames(10);
    for (int fps : {120, 60, 30}) {
        SetFramePeriod(1.0f / static_cast<float>(fps));
        OnPlay();
        std::optional<int64_t> period = window.TimerPeriodNs(Timer());
        ASSERT_TRUE(period.has_value()) << fps;
        // Steps in ten seconds at divider 1.
        double steps = 10e9 / static_cast<double>(*period);
        EXPECT_NEAR(steps, fps * 10.0, 0.01) << fps;
        EXPECT_EQ(window.StatusText(0),
                  "Playing at " + std::to_string(fps) + ".00 frames per second");
        OnStop();
    }
}

TEST_F(Playback, DividerStepsEveryNthTickAndOnePaintIsPending) {
    Settings.Loop = 1;
    OnPlaybackRate(CmdDecreasePlaybackRate);
    OnPlaybackRate(CmdDecreasePlaybackRate);
    EXPECT_EQ(window.StatusText(0), "Playing at 40.00 frames per second");
    TimerId timer = Play(10);
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(window.StatusText(0), "Playing at 40.00 frames per second");
    Engine.PaintPending = 0; // the recording's last frame was painted
    int paints = window.Invalidations();
    window.Tick(timer, 2);
    EXPECT_EQ(Index(), 0u);
    window.Tick(timer);
    EXPECT_EQ(Index(), 1u);
    EXPECT_EQ(window.Invalidations(), paints + 1);
    EXPECT_EQ(Engine.PaintPending.load(), 1);
    window.Tick(timer, 3); // stepped, but the paint is still pending
    EXPECT_EQ(Index(), 2u);
    EXPECT_EQ(window.Invalidations(), paints + 1);
    Engine.PaintPending = 0;
    window.Tick(timer, 24); // 8 more steps: 10 wraps to 0
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(window.Invalidations(), paints + 2);
    EXPECT_EQ(Engine.Playback.load(), 1);
}

TEST_F(Playback, LoopOffStopsOnTheLastFrameAndKillsItsTimer) {
    Settings.Loop = 0;
    TimerId timer = Play(5);
    window.ClearCalls();
    EXPECT_EQ(window.Tick(timer, 10), 5);
    EXPECT_EQ(Index(), 4u);
    EXPECT_EQ(Engine.Playback.load(), 0);
    EXPECT_EQ(Engine.PlaybackTimerId.load(), 0u);
    EXPECT_TRUE(window.RunningTimers().empty());
    // Ending by itself leaves the marks alone until the next command.
    EXPECT_TRUE(window.CallsOf("check ").empty());
    OnPlay(); // plays again from the start
    EXPECT_EQ(Index(), 0u);
    EXPECT_NE(Timer(), 0u);
}

TEST_F(Playback, NothingAdvancesWithoutFrames) {
    OnPlay();
    int paints = window.Invalidations();
    window.Tick(Timer(), 5);
    OnPauseStep();
    OnPauseStep();
    OnStepBackwards();
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(window.Invalidations(), paints + 5); // the three commands' own repaints
}

struct StepCase {
    int loop;
    uint32_t afterLastForward; // Pause/Step on the last frame
    uint32_t afterFirstBack;   // Step Backwards on frame 0
};

void PrintTo(const StepCase& c, std::ostream* os) {
    *os << (c.loop != 0 ? "Loop on" : "Loop off");
}

class Stepping : public Playback, public ::testing::WithParamInterface<StepCase> {};

TEST_P(Stepping, PauseStepAndStepBackwardsAtBothEnds) {
    Settings.Loop = GetParam().loop;
    RecordFrames(4);
    OnPauseStep(); // from stopped: paused on frame 0
    EXPECT_EQ(Engine.Playback.load(), 1);
    EXPECT_EQ(Engine.Paused.load(), 1);
    EXPECT_EQ(Engine.StartPaused.load(), 0);
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(window.Checked(CmdPlay), true);
    EXPECT_EQ(window.Checked(CmdPauseStep), true);
    EXPECT_EQ(window.Checked(CmdStop), false);
    window.Tick(Timer(), 10);
    EXPECT_EQ(Index(), 0u);

    for (uint32_t expected : {1u, 2u, 3u}) {
        int paints = window.Invalidations();
        OnPauseStep();
        EXPECT_EQ(Index(), expected);
        EXPECT_GT(window.Invalidations(), paints);
    }
    OnPauseStep();
    EXPECT_EQ(Index(), GetParam().afterLastForward);
    OnStop();
    EXPECT_EQ(Index(), 0u);

    OnStepBackwards(); // from stopped: paused on frame 0 too
    EXPECT_EQ(Engine.Paused.load(), 1);
    EXPECT_EQ(Index(), 0u);
    OnStepBackwards();
    EXPECT_EQ(Index(), GetParam().afterFirstBack);
    Engine.PlaybackIndex = 2;
    OnStepBackwards();
    EXPECT_EQ(Index(), 1u);
}

INSTANTIATE_TEST_SUITE_P(LoopOnAndOff, Stepping,
                         ::testing::Values(StepCase{1, 0, 3}, StepCase{0, 3, 0}));

TEST_F(Playback, PauseWhilePlayingFirstPausesThenSteps) {
    TimerId timer = Play(6);
    window.Tick(timer, 2);
    OnPauseStep();
    EXPECT_EQ(Index(), 2u);
    OnStepBackwards();
    EXPECT_EQ(Index(), 1u);
    // Play resumes without a new timer or a jump back to the start.
    const std::size_t started = window.CallsOf("timer start ").size();
    OnPlay();
    EXPECT_EQ(Engine.Paused.load(), 0);
    EXPECT_EQ(window.CallsOf("timer start ").size(), started);
    EXPECT_EQ(Index(), 1u);
    window.Tick(timer);
    EXPECT_EQ(Index(), 2u);
}

TEST_F(Playback, RateCommandsStayWithinOneTo120AndNormalRestartsTheTickCount) {
    for (int i = 0; i < 130; ++i) {
        OnPlaybackRate(CmdDecreasePlaybackRate);
    }
    EXPECT_EQ(window.StatusText(0), "Playing at 1.00 frames per second");
    for (int i = 0; i < 129; ++i) {
        OnPlaybackRate(CmdIncreasePlaybackRate);
    }
    EXPECT_EQ(Engine.PlaybackDivider.load(), 1);
    OnPlaybackRate(CmdDecreasePlaybackRate);
    TimerId timer = Play(10);
    window.Tick(timer);
    OnPlaybackRate(CmdNormalPlaybackRate);
    EXPECT_EQ(window.StatusText(0), "Playing at 120.00 frames per second");
    window.Tick(timer); // would have been the divider's second tick anyway
    window.Tick(timer);
    EXPECT_EQ(Index(), 2u);
}

TEST_F(Playback, ATimerThatCannotStartLeavesPlaybackOnUntilStop) {
    RecordFrames(5);
    window.FailNextTimers();
    OnPlay();
    EXPECT_EQ(window.BoxTexts(), (std::vector<std::string>{"Couldn't start playback timer"}));
    EXPECT_EQ(window.Boxes()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(Engine.Playback.load(), 1);
    EXPECT_EQ(Engine.PlaybackTimerId.load(), 0u);
    EXPECT_EQ(window.StatusText(0), "Playing at 120.00 frames per second");
    OnStop();
    EXPECT_EQ(Engine.Playback.load(), 0);

    // A damaged frame period starts none either.
    for (float period : {0.0f, -1.0f, 1e-6f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        SetFramePeriod(period);
        OnPlay();
        EXPECT_TRUE(window.CallsOf("timer start ").empty()) << period;
        EXPECT_EQ(window.BoxTexts().back(), "Couldn't start playback timer");
        OnStop();
    }
}

TEST_F(Playback, StopRewindsAndClearsTheShownFlags) {
    TimerId timer = Play(8);
    window.Tick(timer, 5);
    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame.Flags = FrameJumping;
    }
    OnStop();
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(Engine.DisplayFrame.Flags, 0u);
    EXPECT_TRUE(window.RunningTimers().empty());
    EXPECT_EQ(window.StatusText(0), "Ready");
}

} // namespace
} // namespace telvo
