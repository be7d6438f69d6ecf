// The simulated suits on the manual clock: suit list, frame bytes, drops, silence, switches,
// calibration, and calls with bad arguments.
#include "tests/telvoria/SimFixture.h"

#include <cstring>
#include <string>

namespace telvo::test {
namespace {

std::vector<Frame> frames;
std::vector<std::string> timeouts; // the suit names the timeout callback was given

void OnFrame(const Frame* f, SuitInfo*) {
    frames.push_back(*f);
}

void OnTimeout(SuitInfo* suit) {
    timeouts.emplace_back(suit->Name);
}

struct Suits : SimTest {
    void SetUp() override {
        SimTest::SetUp();
        frames.clear();
        timeouts.clear();
        sim::SetManualClock(true);
    }
    GyroHandle Open() {
        EXPECT_EQ(GyroInit(), 1);
        return GyroOpen(nullptr, OnFrame, OnTimeout);
    }
    const Frame& Next(GyroHandle h) {
        EXPECT_EQ(sim::Deliver(h, 1), 1);
        return frames.at(frames.size() - 1);
    }
};

TEST_F(Suits, OpensBySuitNumberOnceEachAndReportsTheirRates) {
    sim::SetSuits({{0x10005, "Left", 2}, {7, "", 0}, {5, "Twin", 3}});
    EXPECT_EQ(GyroOpen(nullptr, OnFrame, OnTimeout), 0) << "before GyroInit";
    ASSERT_EQ(GyroInit(), 1);
    SuitInfo got;
    EXPECT_EQ(GyroEnumerateSuitInfo(3, &got), 0);
    EXPECT_EQ(GyroEnumerateSuitInfo(-1, &got), 0);
    ASSERT_EQ(GyroGetSuitInfo(0, &got), 1); // without an open suit: the library's choice
    EXPECT_STREQ(got.Name, "Left");
    ASSERT_EQ(GyroEnumerateSuitInfo(2, &got), 1);
    GyroHandle twin = GyroOpen(&got, OnFrame, OnTimeout);
    EXPECT_EQ(GyroGetFrameRate(twin), 40.0f) << "the listed record picks the later suit 5";
    SuitInfo want{};
    want.Identity = 0x20005; // only the low 16 bits pick the suit
    GyroHandle a = GyroOpen(&want, OnFrame, OnTimeout);
    ASSERT_EQ(GyroGetSuitInfo(a, &got), 1);
    EXPECT_EQ(got.Identity, 0x10005u);
    EXPECT_EQ(GyroGetFrameRate(a), 60.0f);
    EXPECT_EQ(GyroOpen(&want, OnFrame, OnTimeout), 0) << "both suits 5 are in use";
    GyroHandle b = GyroOpen(nullptr, OnFrame, OnTimeout); // suit 7, the only one at 120
    EXPECT_EQ(GyroGetFrameRate(b), 120.0f) << "divider 0 counts as 1";

    EXPECT_EQ(GyroClose(a), 1);
    EXPECT_EQ(GyroClose(a), 0);
    EXPECT_EQ(GyroGetSuitInfo(a, &got), 0);
    EXPECT_NE(GyroOpen(&want, OnFrame, OnTimeout), 0) << "a closed suit opens again";
    GyroSetActorData(b, nullptr);
    GyroGetActorData(b, nullptr);
    EXPECT_STREQ(GyroGetUnitName(5), "");
    EXPECT_STREQ(GyroGetUnitName(-1), "");
    GyroFinish();
    EXPECT_EQ(GyroNumSuits(), 0);
}

TEST_F(Suits, FramesCarrySequenceTimestampAndSampleAcrossDropsAndSilences) {
    sim::SetSuits({{1, "Studio", 2}});
    GyroHandle h = Open();
    ASSERT_EQ(sim::Deliver(h, 5), 5);
    sim::DropFrames(h, 3);
    EXPECT_EQ(sim::Deliver(h, 10), 7) << "dropped samples use up their turn";
    EXPECT_EQ(GyroGetDropped(h), 3u);
    ASSERT_EQ(frames.size(), 12u);
    const int64_t period = 16666667; // divider 2
    for (std::size_t i = 0; i < frames.size(); ++i) {
        uint64_t sample = i < 5 ? i : i + 3;
        EXPECT_EQ(sim::FrameSequence(frames[i]), i);
        EXPECT_EQ(sim::FrameSampleIndex(frames[i]), sample);
        EXPECT_EQ(sim::FrameTimestampNs(frames[i]), static_cast<int64_t>(sample) * period);
    }
    GyroClearDropped(h);
    EXPECT_EQ(GyroGetDropped(h), 0u);

    // A silent suit times out once per silence; the sequence goes on after it.
    sim::SetSilent(h, true);
    EXPECT_EQ(sim::Deliver(h, 10), 0);
    EXPECT_EQ(sim::Deliver(h, 10), 0);
    EXPECT_EQ(timeouts, std::vector<std::string>{"Studio"});
    sim::SetSilent(h, false);
    EXPECT_EQ(sim::Deliver(h, 4), 4);
    sim::SetSilent(h, true);
    EXPECT_EQ(sim::Deliver(h, 1), 0);
    EXPECT_EQ(timeouts.size(), 2u);
    EXPECT_EQ(sim::FrameSequence(frames.back()), 15u);
}

TEST_F(Suits, SwitchWordsShowInAuxAndFrameFlags) {
    GyroHandle h = Open();
    EXPECT_EQ(GyroGetAux(h), AuxValid) << "valid switches, none pressed";
    sim::SetAux(h, AuxValid | AuxSwitch1 | AuxSwitch5);
    const uint32_t flags = Next(h).Flags;
    EXPECT_EQ((flags >> FrameSwitchShift) & 0x3fu, AuxSwitch1 | AuxSwitch5);
    EXPECT_NE(flags & FrameSwitchesValid, 0u);
    sim::SetAux(h, AuxSwitch2);
    EXPECT_EQ(Next(h).Flags & FrameSwitchesValid, 0u);
}

TEST_F(Suits, SetNullCalibratesOnTheCurrentHeading) {
    GyroHandle h = Open();
    sim::Deliver(h, 120 * 6); // walking by now
    EXPECT_EQ(GyroSetNull(h + 100), 0) << "a stale handle";
    ASSERT_EQ(GyroSetNull(h), 1);
    const Frame& f = Next(h);
    for (int i = 1; i < RawSensorCount; ++i) { // all upright, facing the same way
        EXPECT_NEAR(f.RawMatrices[i].m01, f.RawMatrices[0].m01, 1e-5f) << "sensor " << i;
        EXPECT_NEAR(f.RawMatrices[i].m22, 1.0f, 1e-5f) << "sensor " << i;
    }
    Matrix calibrated[RawSensorCount], read[RawSensorCount];
    ASSERT_EQ(GyroGetRaw(h, calibrated, 1), 1);
    ASSERT_EQ(GyroGetRaw(h, read, 0), 1);
    EXPECT_EQ(std::memcmp(calibrated, f.RawMatrices, sizeof read), 0);
    EXPECT_NE(std::memcmp(calibrated, read, sizeof read), 0) << "the mounting is removed";
    EXPECT_EQ(GyroGetRaw(h, read, 2), 0);
    // North follows the facing.
    ASSERT_EQ(GyroSetNorth(h), 1);
    Vector north;
    ASSERT_EQ(GyroGetNorth(h, &north), 1);
    EXPECT_NEAR(north.x, -f.RawMatrices[0].m01, 1e-4f);
    EXPECT_NEAR(north.y, -f.RawMatrices[0].m11, 1e-4f);
    EXPECT_EQ(GyroGetNorth(h, nullptr), 0);
}

} // namespace
} // namespace telvo::test
