#include "tests/engine/EngineFixture.h"

#include <limits>

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
        auto timers = window.RunningTimers();
        return timers.size() == 1 ? timers.begin()->first : 0;
    }
    static uint32_t Index() { return Engine.PlaybackIndex.load(); }
};

TEST_F(Playback, TheDividerStepsEveryNthTickOfATimerAtTheMotionsTrueRate) {
    Settings.Loop = 1;
    for (int i = 0; i < 130; ++i) {
        OnPlaybackRate(CmdDecreasePlaybackRate);
    }
    EXPECT_EQ(window.StatusText(0), "Playing at 1.00 frames per second");
    for (int i = 0; i < 121; ++i) {
        OnPlaybackRate(CmdIncreasePlaybackRate);
    }
    OnPlaybackRate(CmdDecreasePlaybackRate);
    OnPlaybackRate(CmdDecreasePlaybackRate);
    TimerId timer = Play(10);
    EXPECT_EQ(window.StatusText(0), "Playing at 40.00 frames per second");
    // Steps in ten seconds: whole milliseconds would play 4 % fast.
    EXPECT_NEAR(10e9 / static_cast<double>(window.RunningTimers()[timer]), 1200.0, 0.01);
    Engine.PaintPending = 0; // the recording's last frame was painted
    int paints = window.Invalidations();
    window.Tick(timer, 2);
    EXPECT_EQ(Index(), 0u);
    window.Tick(timer);
    EXPECT_EQ(Index(), 1u);
    window.Tick(timer, 3); // stepped, but the first step's paint is still pending
    EXPECT_EQ(Index(), 2u);
    EXPECT_EQ(window.Invalidations(), paints + 1);
    Engine.PaintPending = 0;
    window.Tick(timer, 24); // 8 more steps: 10 wraps to 0
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(window.Invalidations(), paints + 2);
    OnPlaybackRate(CmdNormalPlaybackRate);
    EXPECT_EQ(window.StatusText(0), "Playing at 120.00 frames per second");
    window.Tick(timer);
    EXPECT_EQ(Index(), 1u);
}

TEST_F(Playback, WithoutLoopItStopsOnTheLastFrameAndKillsItsTimer) {
    Settings.Loop = 0;
    TimerId timer = Play(5);
    window.ClearCalls();
    EXPECT_EQ(window.Tick(timer, 10), 5);
    EXPECT_EQ(Index(), 4u);
    EXPECT_EQ(Engine.Playback.load(), 0);
    EXPECT_TRUE(window.RunningTimers().empty());
    // Ending by itself leaves the marks alone until the next command.
    EXPECT_TRUE(window.CallsOf("check ").empty());
    OnPlay(); // plays again from the start
    EXPECT_EQ(Index(), 0u);
    EXPECT_NE(Timer(), 0u);
}

TEST_F(Playback, PauseStepAndStepBackwardsStopAtBothEndsOrWrapWithLoop) {
    OnPlay(); // nothing advances without frames
    window.Tick(Timer(), 5);
    OnPauseStep();
    OnPauseStep();
    OnStepBackwards();
    EXPECT_EQ(Index(), 0u);
    OnStop();

    RecordFrames(4);
    const struct {
        int loop;
        uint32_t afterLast, beforeFirst;
    } cases[] = {{1, 0, 3}, {0, 3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loop);
        Settings.Loop = c.loop;
        OnPauseStep(); // from stopped: paused on frame 0
        EXPECT_EQ(window.Checked(CmdPlay), true);
        EXPECT_EQ(window.Checked(CmdPauseStep), true);
        window.Tick(Timer(), 10);
        EXPECT_EQ(Index(), 0u);
        for (uint32_t expected : {1u, 2u, 3u, c.afterLast}) {
            OnPauseStep();
            EXPECT_EQ(Index(), expected);
        }
        OnStop();
        OnStepBackwards(); // from stopped: paused on frame 0 too
        EXPECT_EQ(Index(), 0u);
        OnStepBackwards();
        EXPECT_EQ(Index(), c.beforeFirst);
        OnStop();
    }
}

TEST_F(Playback, PauseWhilePlayingPausesThenStepsAndPlayResumesThere) {
    TimerId timer = Play(6);
    window.Tick(timer, 2);
    OnPauseStep();
    EXPECT_EQ(Index(), 2u);
    OnStepBackwards();
    EXPECT_EQ(Index(), 1u);
    OnPlay(); // without a new timer or a jump back to the start
    EXPECT_EQ(window.CallsOf("timer start ").size(), 1u);
    window.Tick(timer);
    EXPECT_EQ(Index(), 2u);

    Engine.DisplayFrame.Flags = FrameJumping;
    OnStop(); // rewinds and clears the shown flags
    EXPECT_EQ(Index(), 0u);
    EXPECT_EQ(Engine.DisplayFrame.Flags, 0u);
}

TEST_F(Playback, ATimerThatCannotStartIsReportedAndPlaybackStaysOnUntilStop) {
    RecordFrames(5);
    window.ClearCalls();
    window.FailNextTimer();
    OnPlay();
    const Boxes failed{
        {"Couldn't start playback timer", MessageButtons::Ok, MessageIcon::Exclamation}};
    EXPECT_EQ(window.Boxes(), failed);
    EXPECT_EQ(Engine.Playback.load(), 1);
    EXPECT_EQ(window.StatusText(0), "Playing at 120.00 frames per second");
    OnStop();
    EXPECT_EQ(Engine.Playback.load(), 0);

    // A damaged frame period starts none either.
    for (float period : {0.0f, -1.0f, 1e-6f, 7200.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        window.ClearCalls();
        Engine.Skeleton.FramePeriod = period;
        OnPlay();
        EXPECT_TRUE(window.CallsOf("timer start ").empty()) << period;
        EXPECT_EQ(window.Boxes(), failed) << period;
        OnStop();
    }
}

TEST_F(Playback, TheTitleNamesTheFileOnlyWhileItPlaysAndOneRenderMarkIsOn) {
    ASSERT_TRUE(SetPath(Settings.CurrentFile, "/takes/walk 2.bvh"));
    Engine.Playback = 1;
    UpdateMenuState();
    EXPECT_EQ(window.CallsOf("title ").back(), "TelvoView - /takes/walk 2.bvh");
    OnStop();
    EXPECT_EQ(window.CallsOf("title ").back(), "TelvoView");
    Settings.CurrentFile[0] = '\0';
    Engine.Playback = 1;
    UpdateMenuState();
    EXPECT_EQ(window.CallsOf("title ").back(), "TelvoView");

    const int marks[] = {CmdRenderNothing, CmdRenderWireframe, CmdRenderSolid,
                         CmdDisplayRawChannels};
    for (int type : {-1, 0, 1, 2, 3, 4}) {
        Settings.RenderType = type;
        UpdateMenuState();
        for (int value = 0; value < 4; ++value) {
            EXPECT_EQ(window.Checked(marks[value]), value == type) << type;
        }
    }
}

} // namespace
} // namespace telvo
