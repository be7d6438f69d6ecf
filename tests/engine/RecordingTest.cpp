#include "tests/engine/EngineFixture.h"

#include <string>
#include <thread>
#include <utility>

namespace telvo {
namespace {

using Recording = EngineTest;

TEST_F(Recording, CountsDownBeepsThenRecordsAtTheSuitsRate) {
    Settings.RecordDelayEnable = 1;
    Settings.RecordDelay = 2;
    OnRecord();
    std::vector<std::string> calls = window.Calls();
    std::erase_if(calls, [](const std::string& call) { return call.starts_with("check "); });
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "status 0 Recording in 2 seconds", "sleep 1000",
                         "status 0 Recording in 1 second", "sleep 1000", "sound Exclamation",
                         "status 0 Recording at 120.00 frames per second", "title TelvoView"}));
    EXPECT_EQ(window.Checked(CmdRecord), true);
    EXPECT_EQ(window.Checked(CmdStop), false);

    // None for no or a negative delay, 999 seconds at most.
    const std::pair<int, std::size_t> delays[] = {
        {0, 0}, {-1, 0}, {-2000000000, 0}, {2000000000, 999}};
    for (auto [delay, sleeps] : delays) {
        Settings.RecordDelay = delay;
        window.ClearCalls();
        OnRecord();
        OnRecord();
        EXPECT_EQ(window.CallsOf("sleep ").size(), sleeps) << delay;
    }
}

TEST_F(Recording, ReportsTheAverageRateAndDroppedFramesButNotFromOneFrameOrNoTime) {
    Settings.ReportFrameRate = 1;
    OnRecord();
    Deliver(1);
    window.SetTime(1000);
    OnRecord();
    OnRecord();
    Deliver(50);
    OnRecord(); // within the same millisecond
    EXPECT_TRUE(window.CallsOf("status 1 ").empty());

    OnRecord();
    sim::DropFrames(Engine.SuitHandle, 2);
    ASSERT_EQ(Deliver(603), 601);
    window.SetTime(6000);
    OnRecord();
    EXPECT_EQ(window.StatusText(1), "Average Frame rate 120.000 FPS, Dropped: 2");
    // The end beep, then the count of dropped frames starts again.
    EXPECT_EQ(window.CallsOf("sound ").back(), "Default");
    EXPECT_EQ(GyroGetDropped(Engine.SuitHandle), 0u);
}

TEST_F(Recording, StopKeepsLiveModeAndPlayAndRecordEachEndTheOther) {
    OnLive();
    OnRecord();
    Deliver(12);
    OnStop();
    OnStop(); // twice is harmless
    EXPECT_EQ(RecordedFrameCount(), 12u);
    EXPECT_EQ(window.StatusText(0), "Live");
    EXPECT_EQ(window.Checked(CmdLive), true);
    EXPECT_EQ(window.Checked(CmdStop), true);
    OnRecord();
    Deliver(30);
    OnPlay(); // plays what was just recorded
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(RecordedFrameCount(), 30u);
    EXPECT_EQ(window.RunningTimers().size(), 1u);
    OnRecord(); // discards it
    EXPECT_TRUE(window.RunningTimers().empty());
    EXPECT_EQ(RecordedFrameCount(), 0u);
    OnLive();
    OnStop();
    EXPECT_EQ(window.StatusText(0), "Ready");
}

TEST_F(Recording, WithoutASuitLiveAndRecordSaySoAndSetNorthStillAnnouncesNorth) {
    sim::SetOpenFails(true); // a suit that cannot be opened ends Live silently, Record goes on
    OnLive();
    OnRecord();
    EXPECT_TRUE(window.Boxes().empty());
    EXPECT_EQ(Engine.Live.load(), 0);
    EXPECT_EQ(Engine.Recording.load(), 1);
    OnStop();

    sim::SetSuits({});
    ASSERT_LT(GyroFindSuits(), 1);
    OnLive();
    OnRecord();
    OnSetNorth();
    const FakePlatform::Box none{"No KVX suits detected", MessageButtons::Ok,
                                 MessageIcon::Exclamation};
    EXPECT_EQ(window.Boxes(), (Boxes{none, none, none}));
    EXPECT_EQ(Engine.Live.load(), 0);
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(window.StatusText(0), "Setting North");
}

TEST_F(Recording, AMissingTrackerSwitchesTrackingOffAndLiveGoesOn) {
    Settings.EnableTracking = 1;
    OnLive();
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"Tracker not detected", MessageButtons::Ok, MessageIcon::Exclamation}}));
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_EQ(window.Checked(CmdEnableTracking), false);
}

TEST_F(Recording, LiveCalibratesAfterItsCountDownAndSetNorthFollows) {
    Settings.RecordDelayEnable = 1;
    Settings.RecordDelay = 1;
    Settings.PCBeep = 1;
    OnSetNorth();
    EXPECT_EQ(window.CallsOf("status 0 "),
              (std::vector<std::string>{"Calibrating in 1 second", "Live", "Setting North"}));
    EXPECT_EQ(window.CallsOf("tone "), std::vector<std::string>{"1047 250"});
    // Set North while live starts live mode afresh rather than turning it off.
    OnSetNorth();
    EXPECT_EQ(Engine.Live.load(), 1);
}

// --- The suit stops answering: the library calls the timeout on a thread of its own ----------

TEST_F(Recording, TimeoutCancelEndsTheRecordingAndClosesTheSuitFromTheLibraryThread) {
    OnRecord();
    Deliver(50);
    window.ClearCalls();
    window.AnswerBoxes(MessageAnswer::Cancel);
    sim::SetSilent(Engine.SuitHandle, true);
    std::thread([suit = Engine.SuitHandle.load()] { sim::Deliver(suit, 5); }).join();
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"Timeout on suit KVX1 \"Studio\"", MessageButtons::RetryCancel,
                      MessageIcon::Exclamation, false}}));
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(RecordedFrameCount(), 50u);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    // The marks went through the port; pane 0 is left as it was.
    EXPECT_EQ(window.Checked(CmdStop), true);
    EXPECT_TRUE(window.CallsOf("status 0 ").empty());
    // The next Record opens a suit again.
    OnRecord();
    Deliver(3);
    EXPECT_EQ(RecordedFrameCount(), 3u);
}

TEST_F(Recording, TimeoutRetryChangesNothingAndASecondTimeoutWhileTheBoxIsUpIsDropped) {
    auto timeout = [](SuitInfo suit) {
        std::thread([&suit] { SuitTimeoutCallback(&suit); }).join();
    };
    OnRecord();
    window.AnswerBoxes([](const FakePlatform::Box&) {
        SuitInfo other{2, "", 1};
        SuitTimeoutCallback(&other);
        return MessageAnswer::Retry;
    });
    timeout(SuitInfo{3, "", 1});
    EXPECT_EQ(window.CallsOf("box "), std::vector<std::string>{"Timeout on suit KVX3"});
    EXPECT_EQ(Deliver(5), 5);
    EXPECT_EQ(RecordedFrameCount(), 5u);
    // Once the box is gone the next timeout shows again; an unterminated name is cut at 16.
    SuitInfo named{4, {}, 1};
    std::fill(std::begin(named.Name), std::end(named.Name), 'N');
    timeout(named);
    EXPECT_EQ(window.CallsOf("box ").back(),
              "Timeout on suit KVX4 \"" + std::string(16, 'N') + "\"");
}

} // namespace
} // namespace telvo
