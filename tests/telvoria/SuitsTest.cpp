// The simulated suits on the manual clock: suit list, frame bytes, drops, silence, switches,
// calibration, tracker and the per-suit calls.
#include "tests/telvoria/SimFixture.h"

#include <cmath>
#include <cstring>
#include <functional>

namespace telvo::test {
namespace {

struct Calls {
    std::vector<Frame> frames;
    std::vector<SuitInfo> timeouts;
    std::function<void(const Frame&)> onFrame;
};
Calls* calls = nullptr;

void OnFrame(const Frame* f, SuitInfo*) {
    calls->frames.push_back(*f);
    if (calls->onFrame) {
        calls->onFrame(*f);
    }
}

void OnTimeout(SuitInfo* suit) {
    calls->timeouts.push_back(*suit);
}

class Suits : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        calls = &c;
        sim::SetManualClock(true);
    }
    void TearDown() override {
        SimTest::TearDown();
        calls = nullptr;
    }
    GyroHandle Open(const SuitInfo* info = nullptr) {
        EXPECT_EQ(GyroInit(), 1);
        return GyroOpen(info, OnFrame, OnTimeout);
    }
    Calls c;
};

TEST_F(Suits, LibraryStartsWithOneStudioSuitAndFailsCleanlyBeforeInit) {
    EXPECT_EQ(GyroNumSuits(), 0);
    EXPECT_EQ(GyroOpen(nullptr, OnFrame, OnTimeout), 0);

    sim::SetInitFails(true);
    EXPECT_EQ(GyroInit(), 0);
    sim::SetInitFails(false);
    ASSERT_EQ(GyroInit(), 1);
    EXPECT_EQ(GyroFindSuits(), 1);
    SuitInfo info;
    ASSERT_EQ(GyroEnumerateSuitInfo(0, &info), 1);
    EXPECT_EQ(info.Identity, 1u);
    EXPECT_STREQ(info.Name, "Studio");
    EXPECT_EQ(info.FrameDivider, 1u);
    EXPECT_EQ(GyroEnumerateSuitInfo(1, &info), 0);
    EXPECT_EQ(GyroEnumerateSuitInfo(-1, &info), 0);
    EXPECT_EQ(GyroEnumerateSuitInfo(0, nullptr), 0);

    // Without an open suit, handle 0 describes the library's choice.
    SuitInfo none;
    EXPECT_EQ(GyroGetSuitInfo(0, &none), 1);
    EXPECT_EQ(std::memcmp(&none, &info, sizeof info), 0);
    EXPECT_EQ(GyroGetFrameRate(0), 120.0f);
    EXPECT_EQ(GyroGetFlags(0), SuitFlagJumping);

    sim::SetOpenFails(true);
    EXPECT_EQ(GyroOpen(nullptr, OnFrame, OnTimeout), 0);
}

TEST_F(Suits, OpensBySuitNumberOnceEachAndReportsTheirRates) {
    sim::SetSuits({{0x10005, "Left", 2}, {7, "", 0}, {5, "Twin", 3}});
    ASSERT_EQ(GyroInit(), 1);
    EXPECT_EQ(GyroNumSuits(), 3);

    SuitInfo want{};
    want.Identity = 0x20005; // only the low 16 bits pick the suit
    GyroHandle a = GyroOpen(&want, OnFrame, OnTimeout);
    ASSERT_NE(a, 0);
    SuitInfo got;
    ASSERT_EQ(GyroGetSuitInfo(a, &got), 1);
    EXPECT_EQ(got.Identity, 0x10005u);
    EXPECT_EQ(GyroGetFrameRate(a), 60.0f);

    GyroHandle twin = GyroOpen(&want, OnFrame, OnTimeout); // suit 5 again: the second one
    ASSERT_NE(twin, 0);
    EXPECT_EQ(GyroGetFrameRate(twin), 40.0f);
    EXPECT_EQ(GyroOpen(&want, OnFrame, OnTimeout), 0) << "both suits 5 are in use";

    GyroHandle b = GyroOpen(nullptr, OnFrame, OnTimeout);
    ASSERT_NE(b, 0);
    ASSERT_EQ(GyroGetSuitInfo(b, &got), 1);
    EXPECT_EQ(got.Identity, 7u);
    EXPECT_EQ(got.Name[0], '\0');
    EXPECT_EQ(GyroGetFrameRate(b), 120.0f) << "divider 0 counts as 1";
    EXPECT_EQ(sim::OpenSuitCount(), 3);

    EXPECT_EQ(GyroClose(a), 1);
    EXPECT_EQ(GyroClose(a), 0);
    EXPECT_EQ(GyroGetSuitInfo(a, &got), 0);
    EXPECT_NE(GyroOpen(&want, OnFrame, OnTimeout), 0) << "a closed suit opens again";
    GyroFinish();
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    EXPECT_EQ(GyroNumSuits(), 0);
}

TEST_F(Suits, FramesCarrySequenceTimestampAndSampleAcrossDrops) {
    sim::SetSuits({{1, "Studio", 2}});
    GyroHandle h = Open();
    ASSERT_EQ(sim::Deliver(h, 5), 5);
    sim::DropFrames(h, 3);
    EXPECT_EQ(sim::Deliver(h, 10), 7) << "dropped samples use up their turn";
    EXPECT_EQ(GyroGetDropped(h), 3u);
    ASSERT_EQ(c.frames.size(), 12u);
    const int64_t period = 16666667; // divider 2
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        uint64_t sample = i < 5 ? i : i + 3;
        EXPECT_EQ(sim::FrameSequence(c.frames[i]), i);
        EXPECT_EQ(sim::FrameSampleIndex(c.frames[i]), sample);
        EXPECT_EQ(sim::FrameTimestampNs(c.frames[i]), static_cast<int64_t>(sample) * period);
    }
    GyroClearDropped(h);
    EXPECT_EQ(GyroGetDropped(h), 0u);
}

TEST_F(Suits, SilentSuitTimesOutOncePerSilence) {
    GyroHandle h = Open();
    sim::SetSilent(h, true);
    EXPECT_EQ(sim::Deliver(h, 10), 0);
    EXPECT_EQ(sim::Deliver(h, 10), 0);
    ASSERT_EQ(c.timeouts.size(), 1u);
    EXPECT_STREQ(c.timeouts[0].Name, "Studio");

    sim::SetSilent(h, false);
    EXPECT_EQ(sim::Deliver(h, 4), 4);
    sim::SetSilent(h, true);
    EXPECT_EQ(sim::Deliver(h, 1), 0);
    EXPECT_EQ(c.timeouts.size(), 2u);
    EXPECT_EQ(sim::FrameSequence(c.frames.back()), 3u);
}

TEST_F(Suits, SwitchWordsShowInAuxAndFrameFlags) {
    GyroHandle h = Open();
    EXPECT_EQ(GyroGetAux(h), AuxValid) << "valid switches, none pressed";
    sim::SetAux(h, AuxValid | AuxSwitch1 | AuxSwitch5);
    EXPECT_EQ(GyroGetAux(h), AuxValid | AuxSwitch1 | AuxSwitch5);
    ASSERT_EQ(sim::Deliver(h, 1), 1);
    uint32_t flags = c.frames.back().Flags;
    EXPECT_EQ((flags >> FrameSwitchShift) & 0x3fu, AuxSwitch1 | AuxSwitch5);
    EXPECT_NE(flags & FrameSwitchesValid, 0u);

    sim::SetAux(h, AuxSwitch2);
    sim::SetFrameFlags(h, FrameMechanicalSuit, 0x20000u);
    ASSERT_EQ(sim::Deliver(h, 1), 1);
    flags = c.frames.back().Flags;
    EXPECT_EQ(flags & FrameSwitchesValid, 0u);
    EXPECT_EQ(flags & 0x20000u, 0u) << "cleared by the script";
    EXPECT_NE(flags & FrameMechanicalSuit, 0u);
}

TEST_F(Suits, JumpsAreFlaggedOnlyWhileJumpingIsEnabled) {
    GyroHandle h = Open();
    int jumping = 0;
    bool callAgreed = true;
    c.onFrame = [&](const Frame& f) {
        bool flagged = (f.Flags & FrameJumping) != 0;
        jumping += flagged;
        callAgreed = callAgreed && (GyroJumping(h) != 0) == flagged;
    };
    sim::Deliver(h, 360); // the script jumps in its first three seconds
    EXPECT_GT(jumping, 30);
    EXPECT_TRUE(callAgreed);

    GyroHandle other = GyroOpen(nullptr, OnFrame, OnTimeout);
    EXPECT_EQ(other, 0);
    GyroClose(h);
    h = GyroOpen(nullptr, OnFrame, OnTimeout);
    ASSERT_EQ(GyroSetFlags(h, 0x100), 1);
    EXPECT_EQ(GyroGetFlags(h), 0x100) << "unknown bits are kept";
    jumping = 0;
    sim::Deliver(h, 360);
    EXPECT_EQ(jumping, 0);
}

TEST_F(Suits, SetNullCalibratesOnTheCurrentHeadingAndNorthFollowsTheFacing) {
    GyroHandle h = Open();
    Vector north;
    EXPECT_EQ(GyroGetNorth(h, &north), 1);
    EXPECT_FLOAT_EQ(north.y, -1.0f);

    sim::Deliver(h, 120 * 6); // walking by now
    Matrix raw[RawSensorCount];
    Matrix read[RawSensorCount];
    ASSERT_EQ(GyroGetRaw(h, raw, 1), 1);
    ASSERT_EQ(GyroGetRaw(h, read, 0), 1);
    EXPECT_EQ(std::memcmp(raw, read, sizeof raw), 0) << "uncalibrated: the sensors as read";
    EXPECT_EQ(std::memcmp(raw, c.frames.back().RawMatrices, sizeof raw), 0);

    ASSERT_EQ(GyroSetNull(h), 1);
    ASSERT_EQ(sim::Deliver(h, 1), 1);
    const Frame& f = c.frames.back();
    for (int i = 1; i < RawSensorCount; ++i) {
        EXPECT_NEAR(f.RawMatrices[i].m00, f.RawMatrices[0].m00, 1e-5f) << "sensor " << i;
        EXPECT_NEAR(f.RawMatrices[i].m01, f.RawMatrices[0].m01, 1e-5f) << "sensor " << i;
        EXPECT_NEAR(f.RawMatrices[i].m22, 1.0f, 1e-5f) << "sensor " << i << " upright";
    }
    ASSERT_EQ(GyroGetRaw(h, raw, 1), 1);
    ASSERT_EQ(GyroGetRaw(h, read, 0), 1);
    EXPECT_NE(std::memcmp(raw, read, sizeof raw), 0) << "calibration removed the mounting";

    ASSERT_EQ(GyroSetNorth(h), 1);
    ASSERT_EQ(GyroGetNorth(h, &north), 1);
    const Matrix& hips = f.RawMatrices[0];
    EXPECT_NEAR(north.x, -hips.m01, 1e-4f);
    EXPECT_NEAR(north.y, -hips.m11, 1e-4f);
    EXPECT_FLOAT_EQ(north.z, 0.0f);
    EXPECT_EQ(GyroGetRaw(h, raw, 2), 0);
    EXPECT_EQ(GyroGetRaw(0, raw, 1), 0);
}

TEST_F(Suits, TrackerNeedsHardwareAndSynchronizesAtTheNullPose) {
    GyroHandle h = Open();
    EXPECT_EQ(GyroEnableMarkerTracking(h, 1), 0);
    EXPECT_EQ(GyroEnableMarkerTracking(h, 0), 1);
    EXPECT_EQ(GyroGetTrackerStatus(h), 0u);

    sim::SetTrackerPresent(true);
    ASSERT_EQ(GyroEnableMarkerTracking(h, 1), 1);
    EXPECT_EQ(GyroGetTrackerStatus(h), TrackerTracking | TrackerWaitingForNull);
    sim::Deliver(h, 1);
    uint32_t flags = c.frames.back().Flags;
    EXPECT_EQ(flags & FrameMarker0, 0u);
    EXPECT_NE(flags & FrameMarker1, 0u);
    EXPECT_NE(flags & FrameExternalSync, 0u);
    EXPECT_EQ((flags >> FrameSyncExponentShift) & 7u, 2u);

    ActorData actor;
    GyroGetActorData(h, &actor);
    actor.MarkerNode = 5.0f; // the head top, no offset
    actor.MarkerOffset = {0.0f, 0.0f, 0.0f};
    GyroSetActorData(h, &actor);
    GyroSetNull(h);
    EXPECT_EQ(GyroGetTrackerStatus(h), TrackerTracking | TrackerSynchronized);
    sim::Deliver(h, 1);
    const Frame& f = c.frames.back();
    EXPECT_NE(f.Flags & FrameMarker0, 0u);
    EXPECT_NEAR(f.MarkerPositions[0].z, 70.0f, 1.0f) << "the null pose's head top";

    GyroFinishTracking();
    EXPECT_EQ(GyroGetTrackerStatus(h), 0u);
}

TEST_F(Suits, ActorDataIsPerSuitAndCallsOnNoSuitAreHarmless) {
    GyroHandle h = Open();
    ActorData defaults;
    GyroGetActorData(0, &defaults);
    ActorData mine = defaults;
    mine.ContactRadius[21] = 2.0f;
    mine.UseTracker = 1.0f;
    GyroSetActorData(h, &mine);
    ActorData back;
    GyroGetActorData(h, &back);
    EXPECT_EQ(std::memcmp(&back, &mine, sizeof back), 0);
    GyroGetActorData(0, &back);
    EXPECT_EQ(std::memcmp(&back, &defaults, sizeof back), 0);

    EXPECT_STREQ(GyroGetUnitName(0), "Inches");
    for (int i = 0; i < 5; ++i) {
        EXPECT_STRNE(GyroGetUnitName(i), "");
    }
    EXPECT_STREQ(GyroGetUnitName(5), "");
    EXPECT_STREQ(GyroGetUnitName(-1), "");
    EXPECT_STREQ(GyroGetMarkerName(4), "");

    // Calls on a stale or no handle do nothing.
    const GyroHandle stale = h + 100;
    EXPECT_EQ(GyroSetNull(stale), 0);
    EXPECT_EQ(GyroGetAux(stale), 0u);
    EXPECT_EQ(GyroSetFlags(0, 3), 0);
    Vector north;
    EXPECT_EQ(GyroGetNorth(0, &north), 0);
    EXPECT_FLOAT_EQ(north.y, -1.0f) << "the default north still comes back";
    EXPECT_EQ(GyroGetNorth(h, nullptr), 0);
    GyroSetActorData(h, nullptr);
    GyroGetActorData(h, nullptr);
    EXPECT_EQ(GyroClose(0), 0);
    EXPECT_EQ(GyroGetTrackerStatus(0), 0u);
}

} // namespace
} // namespace telvo::test
