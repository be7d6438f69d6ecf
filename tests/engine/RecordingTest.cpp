#include "tests/engine/EngineFixture.h"

#include <algorithm>
#include <string>
#include <thread>

namespace telvo {
namespace {

using Recording = EngineTest;

std::size_t IndexOf(const std::vector<std::string>& calls, const std::string& line) {
    return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), line) - calls.begin());
}

TEST_F(Recording, CountsDownThenBeepsThenRecordsAtTheSuitsRateAndTheCountIsBounded) {
    Settings.RecordDelayEnable = 1;
    Settings.RecordDelay = 3;
    OnRecord();
    EXPECT_EQ(window.CallsOf("status 0 "),
              (std::vector<std::string>{"Recording in 3 seconds", "Recording in 2 seconds",
                                        "Recording in 1 second",
                                        "Recording at 120.00 frames per second"}));
    EXPECT_EQ(window.CallsOf("sleep "), (std::vector<std::string>{"1000", "1000", "1000"}));
    std::vector<std::string> calls = window.Calls();
    std::size_t beep = IndexOf(calls, "sound Exclamation");
    ASSERT_LT(beep, calls.size());
    EXPECT_GT(beep, IndexOf(calls, "status 0 Recording in 1 second"));
    EXPECT_LT(beep, IndexOf(calls, "status 0 Recording at 120.00 frames per second"));
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_EQ(window.Checked(CmdRecord), true);
    EXPECT_EQ(window.Checked(CmdStop), false);

    // The count-down is bounded: none for no or a negative delay, 999 seconds at most.
    for (int delay : {0, -1, -2000000000}) {
        Settings.RecordDelay = delay;
        window.ClearCalls();
        OnRecord();
        OnRecord();
        EXPECT_TRUE(window.CallsOf("sleep ").empty()) << delay;
    }
    Settings.RecordDelay = 2000000000;
    window.ClearCalls();
    OnLive();
    EXPECT_EQ(window.CallsOf("sleep ").size(), 999u);
    EXPECT_EQ(window.CallsOf("status 0 ").front(), "Calibrating in 999 seconds");
    EXPECT_EQ(window.StatusText(0), "Live");
}

TEST_F(Recording, ReportsTheAverageRateAndDroppedFramesButNoneFromOneFrameOrNoTime) {
    Settings.ReportFrameRate = 1;
    OnRecord();
    Deliver(1);
    window.AdvanceClock(1000);
    OnRecord();
    OnRecord();
    Deliver(50);
    OnRecord(); // within the same millisecond
    EXPECT_TRUE(window.CallsOf("status 1 ").empty());

    window.SetTime(1000);
    OnRecord();
    sim::DropFrames(Engine.SuitHandle, 2);
    ASSERT_EQ(Deliver(603), 601);
    window.AdvanceClock(5000);
    OnRecord();
    EXPECT_EQ(window.StatusText(1), "Average Frame rate 120.000 FPS, Dropped: 2");
    // The end beep, then the count of dropped frames starts again.
    EXPECT_EQ(window.CallsOf("sound ").back(), "Default");
    EXPECT_EQ(GyroGetDropped(Engine.SuitHandle), 0u);
}

TEST_F(Recording, PlayWhileRecordingPlaysItAndRecordDuringPlaybackDiscardsIt) {
    OnRecord();
    Deliver(30);
    OnPlay();
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(Engine.Playback.load(), 1);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 0u);
    ASSERT_EQ(window.RunningTimers().size(), 1u);
    Deliver(10); // live frames are ignored while it plays
    EXPECT_EQ(RecordedFrameCount(), 30u);

    OnRecord();
    EXPECT_EQ(Engine.Playback.load(), 0);
    EXPECT_TRUE(window.RunningTimers().empty());
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_EQ(RecordedFrameCount(), 0u);
}

TEST_F(Recording, StopWhileLiveKeepsLiveModeAndStopTwiceIsHarmless) {
    OnLive();
    OnRecord();
    Deliver(12);
    OnStop();
    OnStop();
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_EQ(window.StatusText(0), "Live");
    EXPECT_EQ(RecordedFrameCount(), 12u);
    EXPECT_EQ(window.Checked(CmdLive), true);
    EXPECT_EQ(window.Checked(CmdStop), true);
    OnLive();
    OnStop();
    EXPECT_EQ(window.StatusText(0), "Ready");
}

TEST_F(Recording, NoSuitMeansAMessageAndNothingChanges) {
    sim::SetSuits({});
    ASSERT_LT(GyroFindSuits(), 1);
    OnLive();
    OnRecord();
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"No KVX suits detected", "No KVX suits detected"}));
    EXPECT_EQ(window.Boxes()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(Engine.Live.load(), 0);
    EXPECT_EQ(Engine.Recording.load(), 0);

    // Set North says so too, and still announces north.
    window.ClearCalls();
    OnSetNorth();
    EXPECT_EQ(window.BoxTexts(), (std::vector<std::string>{"No KVX suits detected"}));
    EXPECT_EQ(window.StatusText(0), "Setting North");
    EXPECT_EQ(Engine.Live.load(), 0);
}

TEST_F(Recording, ASuitThatCannotBeOpenedEndsLiveSilentlyWhileRecordGoesOn) {
    sim::SetOpenFails(true);
    OnLive();
    OnRecord();
    EXPECT_TRUE(window.Boxes().empty());
    EXPECT_EQ(Engine.Live.load(), 0);
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
}

TEST_F(Recording, MissingTrackerSwitchesTrackingOffAndLiveGoesOn) {
    Settings.EnableTracking = 1;
    OnLive();
    EXPECT_EQ(window.BoxTexts(), (std::vector<std::string>{"Tracker not detected"}));
    EXPECT_EQ(Settings.EnableTracking.load(), 0);
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_EQ(window.Checked(CmdEnableTracking), false);
}

TEST_F(Recording, LiveCalibratesAfterItsCountDownAndSetNorthFollows) {
    Settings.RecordDelayEnable = 1;
    Settings.RecordDelay = 2;
    Settings.PCBeep = 1;
    OnSetNorth();
    EXPECT_EQ(window.CallsOf("status 0 "),
              (std::vector<std::string>{"Calibrating in 2 seconds", "Calibrating in 1 second",
                                        "Live", "Setting North"}));
    EXPECT_EQ(window.CallsOf("tone "), std::vector<std::string>{"1047 250"});
    EXPECT_EQ(Engine.Live.load(), 1);
    // Set North while live starts live mode afresh rather than turning it off.
    OnSetNorth();
    EXPECT_EQ(Engine.Live.load(), 1);
}

// The beeps are checked where they sound: the count-down, the calibration, the report.
TEST_F(Recording, EachMotorCommandFlipsItsBitAndTouchesNoMark) {
    OnMotorLed(CmdRightMotor);
    OnMotorLed(CmdLeftLed);
    OnMotorLed(CmdChestMotor);
    OnMotorLed(CmdRightMotor);
    EXPECT_EQ(sim::MotorLedBits(), LeftLed | ChestMotor);
    EXPECT_TRUE(window.CallsOf("check ").empty());
}

// --- The suit stops answering ----------------------------------------------------------------

class Timeout : public EngineTest {
protected:
    // As the library calls it: on a thread of its own.
    void TimeoutFromLibraryThread(SuitInfo suit) {
        std::thread library([&suit] { SuitTimeoutCallback(&suit); });
        library.join();
    }
};

TEST_F(Timeout, CancelEndsTheRecordingKeepsItsFramesAndClosesTheSuitFromItsOwnThread) {
    OnRecord();
    Deliver(50);
    GyroHandle suit = Engine.SuitHandle;
    window.ClearCalls();
    window.AnswerNextBox(MessageAnswer::Cancel);
    sim::SetSilent(suit, true);
    std::thread library([suit] { sim::Deliver(suit, 5); });
    library.join();

    ASSERT_EQ(window.Boxes().size(), 1u);
    const FakePlatform::Box box = window.Boxes()[0];
    EXPECT_EQ(box.text, "Timeout on suit KVX1 \"Studio\"");
    EXPECT_EQ(box.buttons, MessageButtons::RetryCancel);
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_FALSE(box.onWindowThread);
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(RecordedFrameCount(), 50u);
    EXPECT_TRUE(Contiguous(RecordedSequence()));
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    // Menu and title went through the port; pane 0 is left as it was.
    EXPECT_EQ(window.Checked(CmdStop), true);
    EXPECT_EQ(window.Title(), "TelvoView");
    EXPECT_TRUE(window.CallsOf("status 0 ").empty());

    // The next Record opens a suit again.
    OnRecord();
    EXPECT_NE(Engine.SuitHandle.load(), 0);
    Deliver(3);
    EXPECT_EQ(RecordedFrameCount(), 3u);
}

TEST_F(Timeout, RetryChangesNothingAndASecondTimeoutWaitsForNone) {
    OnRecord();
    Deliver(5);
    GyroHandle suit = Engine.SuitHandle;
    window.HandleNextBox([](const FakePlatform::Box&) {
        // A second timeout while this box is up is dropped.
        SuitInfo other{2, "", 1};
        SuitTimeoutCallback(&other);
        return MessageAnswer::Retry;
    });
    TimeoutFromLibraryThread(SuitInfo{3, "", 1});
    EXPECT_EQ(window.BoxTexts(), (std::vector<std::string>{"Timeout on suit KVX3"}));
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_EQ(Engine.SuitHandle.load(), suit);
    Deliver(5);
    EXPECT_EQ(RecordedFrameCount(), 10u);

    // Once the box is gone the next timeout shows again; an unterminated name is cut at 16.
    SuitInfo named{4, {}, 1};
    std::fill(std::begin(named.Name), std::end(named.Name), 'N');
    TimeoutFromLibraryThread(named);
    EXPECT_EQ(window.BoxTexts().back(), "Timeout on suit KVX4 \"" + std::string(16, 'N') + "\"");
}

} // namespace
} // namespace telvo
