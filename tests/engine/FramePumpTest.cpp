#include "tests/engine/EngineFixture.h"

#include <cstring>
#include <tuple>
#include <utility>

namespace telvo {
namespace {

using FramePump = EngineTest;

// Feeds frames numbered from 0 straight to the callback, painting each requested repaint at
// once or, with paintLasts, only after that many more frames; lists the frames shown.
std::vector<int> Displayed(FakePlatform& window, SuitInfo& suit, int frames, int paintLasts = 0) {
    Engine.DisplayAccumulator = 0;
    Engine.PaintPending = 0;
    std::vector<int> shown;
    for (int i = 0, held = 0; i < frames; ++i) {
        Frame frame{};
        frame.RootPosition.x = static_cast<float>(i);
        int before = window.Invalidations();
        FrameCallback(&frame, &suit);
        if (window.Invalidations() > before) {
            std::lock_guard lock(Engine.DisplayMutex);
            shown.push_back(static_cast<int>(Engine.DisplayFrame.RootPosition.x));
            held = paintLasts;
        }
        if (held-- <= 0) {
            Engine.PaintPending = 0;
        }
    }
    return shown;
}

TEST_F(FramePump, ShowsAtMostThirtyFramesASecondAndNoneWhileAPaintIsPending) {
    Engine.Live = 1;
    Server.ServerRunning = 1;
    const std::pair<uint32_t, std::vector<int>> cases[] = {
        {0, {3, 7}}, // counts as 1, and is written back, also to the frames that go out
        {3, {1, 2, 3, 5, 6, 7}},
        {4, {0, 1, 2, 3, 4, 5, 6, 7}},
        {143165577u, {0, 1, 2, 3, 4, 5, 6, 7}}, // 30 times this divider wraps to 14 in 32 bits
    };
    for (const auto& [divider, shown] : cases) {
        SuitInfo suit{1, "", divider};
        EXPECT_EQ(Displayed(window, suit, 8), shown) << divider;
        EXPECT_EQ(suit.FrameDivider, std::max(divider, 1u));
        EXPECT_EQ(Server.ServerDescriptor.FrameDivider, static_cast<int32_t>(suit.FrameDivider));
    }

    // Frame 1's paint lasts through frames 2 to 4, which are dropped without counting.
    SuitInfo suit{1, "", 2};
    EXPECT_EQ(Displayed(window, suit, 7, 3), (std::vector<int>{1, 6}));

    // Nothing goes anywhere during playback.
    Server.ServerDescriptor.FrameDivider = 0;
    Engine.Playback = 1;
    EXPECT_TRUE(Displayed(window, suit, 8).empty());
    EXPECT_EQ(Server.ServerDescriptor.FrameDivider, 0);
}

TEST_F(FramePump, ASwitchPressPostsOneCommandByPriority) {
    Settings.UseSwitches = 1;
    ASSERT_NE(OpenSuitIfNeeded(), 0);
    auto press = [this](uint32_t aux) {
        sim::SetAux(Engine.SuitHandle, aux);
        Deliver(3);
        return window.TakePosted();
    };
    const std::pair<uint32_t, std::vector<int>> presses[] = {
        {AuxValid | AuxSwitch1 | AuxSwitch5, {CmdSetNorth}},
        {AuxValid | AuxSwitch5, {}}, // switch 1 released, 5 still held: nothing new pressed
        {AuxValid | AuxSwitch3 | AuxSwitch6, {CmdEnableTracking}},
        {AuxValid | AuxSwitch2 | AuxSwitch3, {CmdLive}},
        {AuxValid | AuxSwitch4 | AuxSwitch6, {CmdStop}}, // switch 4 is no command
        {AuxValid | AuxSwitch5, {CmdRecord}},
        {0, {}}, // words without the valid bit are ignored, releases too ...
        {AuxSwitch1, {}},
        {AuxValid | AuxSwitch5, {}}, // ... so the switch held in the last valid word is no press
    };
    for (const auto& [aux, posted] : presses) {
        EXPECT_EQ(press(aux), posted) << std::hex << aux;
    }
    Settings.UseSwitches = 0;
    EXPECT_TRUE(press(AuxValid | AuxSwitch2).empty());
}

TEST_F(FramePump, MotorAndLedCommandsEachFlipTheirOwnBitOfTheByte) {
    const std::pair<int, uint8_t> commands[] = {{CmdRightMotor, 0x01}, {CmdRightLed, 0x03},
                                                {CmdLeftMotor, 0x07},  {CmdLeftLed, 0x0f},
                                                {CmdChestMotor, 0x4f}, {CmdRightMotor, 0x4e}};
    for (auto [command, bits] : commands) {
        OnMotorLed(command);
        EXPECT_EQ(sim::MotorLedBits(), bits) << command;
    }
}

// Divider, frames (1) or seconds (0), the limit, RecordStop, the frames kept.
using LimitCase = std::tuple<uint32_t, int, int, int, uint32_t>;
class RecordLimit : public EngineTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RecordLimit, RecordStopEndsAtExactlyTheLimitWithNoFrameLost) {
    const auto& [divider, framesOrSeconds, limit, recordStop, kept] = GetParam();
    sim::SetSuits({{1, "Studio", divider}});
    ASSERT_GT(GyroFindSuits(), 0);
    Settings.RecordStop = recordStop;
    Settings.RecordFramesOrSeconds = framesOrSeconds;
    Settings.RecordLimitFS = limit;
    OnRecord();
    Deliver(300);
    Pump();
    EXPECT_EQ(Engine.Recording != 0, recordStop == 0);
    std::vector<uint64_t> sequence = RecordedSequence();
    EXPECT_EQ(sequence.size(), kept);
    EXPECT_TRUE(Contiguous(sequence));
}

INSTANTIATE_TEST_SUITE_P(SecondsAndFrames, RecordLimit,
                         ::testing::Values(LimitCase{3, 0, 5, 1, 200}, LimitCase{7, 0, 5, 1, 86},
                                           LimitCase{1, 1, 37, 1, 37},
                                           LimitCase{1, 1, 10, 0, 300}));

TEST_F(FramePump, AStopPostedAtTheLimitThenRecordStartsAFreshRecordingThatPauses) {
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = 1;
    Settings.RecordLimitFS = 10;
    OnRecord();
    Deliver(15);
    window.PostCommand(CmdRecord); // the user's, right behind the posted Stops
    Pump();
    // Both pause commands pause and resume a recording, which takes no frames meanwhile.
    for (auto command : {OnPauseStep, OnPauseStep, OnStepBackwards}) {
        Deliver(2);
        command();
    }
    Deliver(2);
    EXPECT_EQ(RecordedSequence(), (std::vector<uint64_t>{15, 16, 19, 20}));
}

TEST_F(FramePump, OutOfMemoryStopsOnceAndKeepsTheFramesRecordedSoFar) {
    sim::SetRecordingLimit(40);
    OnRecord();
    Deliver(60);
    // One Stop and one box, however many frames arrive before the Stop is handled.
    EXPECT_EQ(window.TakePosted(), std::vector<int>{CmdStop});
    EXPECT_EQ(window.Boxes(), (Boxes{{"Out of memory during record"}}));
    OnStop();
    EXPECT_EQ(RecordedSequence().size(), 40u);
    // The next recording has room again, and keeps every byte of a frame: the library keeps
    // bytes of its own in it, up to its last one.
    sim::SetRecordingLimit(0);
    OnRecord();
    Frame sent;
    std::memset(static_cast<void*>(&sent), 0xA5, sizeof sent);
    SuitInfo suit{1, "", 1};
    FrameCallback(&sent, &suit);
    std::lock_guard lock(Engine.RecordingMutex);
    ASSERT_EQ(Engine.Skeleton.FrameCount, 1u);
    EXPECT_EQ(std::memcmp(&Engine.Skeleton.Frames[0], &sent, sizeof sent), 0);
}

} // namespace
} // namespace telvo
