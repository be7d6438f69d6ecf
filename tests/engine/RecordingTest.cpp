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

    // None for no or a negative delay, 999 seconds at most.
    const std::pair<int, std::size_t> delays[] = {{0, 0}, {-2000000000, 0}, {2000000000, 999}};
    for (auto [delay, sleeps] : delays) {
        Settings.RecordDelay = delay;
        window.ClearCalls();
        OnRecord();
        OnRecord();
        EXPECT_EQ(window.CallsOf("sleep ").size(), sleeps) << delay;
    }
}

// Live, a recording's start and its end each beep: tones of the PC speaker or system sounds.
TEST_F(Recording, BeepsMarkLiveAndBothEndsOfARecording) {
    for (int pcSpeaker : {1, 0}) {
        Settings.PCBeep = pcSpeaker;
        Engine.Live = 0;
        OnLive();
        OnRecord();
        OnRecord();
    }
    EXPECT_EQ(window.CallsOf("tone "),
              (std::vector<std::string>{"1047 250", "1568 250", "1047 250"}));
    EXPECT_EQ(window.CallsOf("sound "),
              (std::vector<std::string>{"Default", "Exclamation", "Default"}));
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
    EXPECT_EQ(GyroGetDropped(Engine.SuitHandle), 0u) << "the count starts again after the report";
}

TEST_F(Recording, StopKeepsLiveModeAndPlayAndRecordEachEndTheOther) {
    OnLive();
    OnRecord();
    Deliver(12);
    OnStop();
    OnStop(); // twice is harmless
    EXPECT_EQ(RecordedFrameCount(), 12u);
    EXPECT_EQ(window.StatusText(0), "Live");
    OnRecord();
    Deliver(30);
    OnPlay(); // plays what was just recorded, which the Record below then discards
    EXPECT_EQ(RecordedFrameCount(), 30u);
    EXPECT_EQ(window.RunningTimers().size(), 1u);
    OnRecord(); // discards it
    EXPECT_TRUE(window.RunningTimers().empty());
    EXPECT_EQ(RecordedFrameCount(), 0u);
    OnSetNorth(); // while live: live mode starts afresh rather than ending
    EXPECT_EQ(Engine.Live.load(), 1);
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
    EXPECT_EQ(window.Boxes(), Boxes(3, Warning("No KVX suits detected")));
    EXPECT_EQ(Engine.Live.load(), 0);
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(window.StatusText(0), "Setting North");
}

// --- The suit stops answering: the library calls the timeout on a thread of its own ----------

TEST_F(Recording, RetryChangesNothingCancelEndsTheRecordingAndClosesTheSuit) {
    auto timeout = [](SuitInfo suit) {
        std::thread([&suit] { SuitTimeoutCallback(&suit); }).join();
    };
    OnRecord();
    Deliver(50);
    // A second timeout while the box is up is dropped.
    window.AnswerBoxes([](const FakePlatform::Box&) {
        SuitInfo other{2, "", 1};
        SuitTimeoutCallback(&other);
        return MessageAnswer::Retry;
    });
    timeout(SuitInfo{3, "", 1});
    EXPECT_EQ(window.CallsOf("box "), std::vector<std::string>{"Timeout on suit KVX3"});
    EXPECT_EQ(Deliver(5), 5);

    window.ClearCalls();
    window.AnswerBoxes(MessageAnswer::Cancel);
    sim::SetSilent(Engine.SuitHandle, true);
    std::thread([suit = Engine.SuitHandle.load()] { sim::Deliver(suit, 5); }).join();
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"Timeout on suit KVX1 \"Studio\"", MessageButtons::RetryCancel,
                      MessageIcon::Exclamation, false}}));
    EXPECT_EQ(RecordedFrameCount(), 55u);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    // The marks went through the port; pane 0 is left as it was.
    EXPECT_EQ(window.Checked(CmdStop), true);
    EXPECT_TRUE(window.CallsOf("status 0 ").empty());
    // An unterminated name is cut at 16.
    SuitInfo named{4, {}, 1};
    std::fill(std::begin(named.Name), std::end(named.Name), 'N');
    timeout(named);
    EXPECT_EQ(window.CallsOf("box ").back(),
              "Timeout on suit KVX4 \"" + std::string(16, 'N') + "\"");
    // The next Record opens a suit again.
    OnRecord();
    Deliver(3);
    EXPECT_EQ(RecordedFrameCount(), 3u);
}

} // namespace
} // namespace telvo
