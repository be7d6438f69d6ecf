// The suit made of trackers, end to end over loopback: calibration on the null pose, frames
// on the suit's deadlines, silent and unknown trackers, the suit's timeout.
#include "tests/telvoria/TrackerLoopback.h"

#include "geometry/Vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;
using trackers::Emulator;

constexpr int Hips = 0, LeftThighSensor = 13, RightThighSensor = 16;
constexpr int LeftHipNode = 18, LeftKneeNode = 19, RightHipNode = 24, RightKneeNode = 25;

Emulator::Tracker At(int n, int segment, float tiltDegrees, float heading) {
    Emulator::Tracker t;
    t.mac = trackers::EmulatedMac(n);
    t.segment = segment;
    float a = tiltDegrees * std::numbers::pi_v<float> / 360.0f;
    t.mounting = {std::cos(a), std::sin(a), 0.0f, 0.0f};
    t.headingDegrees = heading;
    return t;
}

// Hips and both thighs, each strapped on at its own tilt and heading, standing still.
std::vector<Emulator::Tracker> HipsAndThighs() {
    return {At(1, Hips, 8.0f, 30.0f), At(2, LeftThighSensor, -12.0f, 140.0f),
            At(3, RightThighSensor, 20.0f, 250.0f)};
}

constexpr const char* HipsAndThighsKeys = "Hips=02:00:00:00:00:01\n"
                                          "LeftHip=02:00:00:00:00:02/0\n"
                                          "RightHip=02:00:00:00:00:03\n";

float ThighAngleDegrees(const Frame& frame) {
    Skeleton skeleton{};
    GyroInitSkeleton(&skeleton);
    GyroApplyFrame(&skeleton, &frame);
    auto bone = [&](int from, int to) {
        const Vector& a = skeleton.Nodes[from].Position;
        const Vector& b = skeleton.Nodes[to].Position;
        return Vector(b.x - a.x, b.y - a.y, b.z - a.z);
    };
    Vector l = bone(LeftHipNode, LeftKneeNode);
    Vector r = bone(RightHipNode, RightKneeNode);
    float c = (l.x * r.x + l.y * r.y + l.z * r.z) /
              std::sqrt((l.x * l.x + l.y * l.y + l.z * l.z) * (r.x * r.x + r.y * r.y + r.z * r.z));
    return std::acos(std::clamp(c, -1.0f, 1.0f)) * 180.0f / std::numbers::pi_v<float>;
}

// Frames made after now have seen what the trackers sent until now.
void LetFramesCatchUp() {
    uint64_t seen = Delivered::Get().Count();
    WaitUntil([&] { return Delivered::Get().Count() >= seen + 12; });
}

GyroHandle OpenSuit() {
    return GyroOpen(nullptr, Delivered::OnFrame, Delivered::OnTimeout);
}

TEST_F(TrackerSuitTest, ThighTurnedSixtyDegreesAfterTheNullPoseBendsTheHipsSixtyDegrees) {
    Configure(HipsAndThighsKeys);
    Emulator emulator(EmulatorOptions(), HipsAndThighs());
    for (std::size_t i = 0; i < 3; ++i) {
        emulator.Hold(i, {1.0f, 0.0f, 0.0f, 0.0f});
    }
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(WaitUntil(
        [&] { return emulator.Connected(0) && emulator.Connected(1) && emulator.Connected(2); }));
    GyroHandle suit = OpenSuit();
    ASSERT_NE(suit, 0);
    EXPECT_FLOAT_EQ(GyroGetFrameRate(suit), 120.0f);
    LetFramesCatchUp();
    ASSERT_EQ(GyroSetNull(suit), 1);
    GyroClearDropped(suit);
    LetFramesCatchUp();
    EXPECT_LT(ThighAngleDegrees(Delivered::Get().Last()), 10.0f);

    emulator.TurnAboutOwnX(1, 60.0f);
    WaitUntil([] { return std::abs(ThighAngleDegrees(Delivered::Get().Last()) - 60.0f) < 3.0f; },
              2s);
    EXPECT_NEAR(ThighAngleDegrees(Delivered::Get().Last()), 60.0f, 3.0f);
    // A second of frames, each one period after the last, none lost.
    uint64_t from = Delivered::Get().Count();
    WaitUntil([&] { return Delivered::Get().Count() >= from + 120; });
    EXPECT_EQ(GyroGetDropped(suit), 0u);
    std::lock_guard lock(Delivered::Get().m);
    EXPECT_FALSE(Delivered::Get().gap);
    EXPECT_FALSE(Delivered::Get().offPeriod);
}

TEST_F(TrackerSuitTest, IsListedAndOpensBeforeAnyTrackerHasConnected) {
    Configure(HipsAndThighsKeys + std::string("Number=91\nName=Stage trackers\n"));
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_EQ(GyroNumSuits(), 1);
    SuitInfo info{};
    ASSERT_EQ(GyroEnumerateSuitInfo(0, &info), 1);
    EXPECT_EQ(info.Identity, 91u);
    EXPECT_STREQ(info.Name, "Stage trackers");
    EXPECT_EQ(trackers::ListeningPort(), port_);
    GyroHandle suit = OpenSuit();
    ASSERT_NE(suit, 0);
    EXPECT_TRUE(WaitUntil([] { return Delivered::Get().Count() > 0; }));
}

TEST_F(TrackerSuitTest, SilentTrackerHoldsItsSegmentAndIsReportedWhileTheOthersGoOn) {
    Configure(HipsAndThighsKeys, "Suits=0\nTimeoutMs=600000\n");
    Emulator emulator(EmulatorOptions(), HipsAndThighs());
    for (std::size_t i = 0; i < 3; ++i) {
        emulator.Hold(i, {1.0f, 0.0f, 0.0f, 0.0f});
    }
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(WaitUntil([&] { return emulator.Connected(2); }));
    GyroHandle suit = OpenSuit();
    LetFramesCatchUp();
    GyroSetNull(suit);
    emulator.TurnAboutOwnX(1, 45.0f);
    ASSERT_TRUE(WaitUntil(
        [] { return std::abs(ThighAngleDegrees(Delivered::Get().Last()) - 45.0f) < 3.0f; }));

    emulator.Silence(1, true);
    emulator.TurnAboutOwnX(1, 40.0f); // never sent
    auto silentLeftThigh = [] {
        for (const auto& t : trackers::Seen()) {
            if (t.suitSensor == LeftThighSensor) {
                return t.silent;
            }
        }
        return false;
    };
    ASSERT_TRUE(WaitUntil(silentLeftThigh));
    LetFramesCatchUp();
    EXPECT_NEAR(ThighAngleDegrees(Delivered::Get().Last()), 45.0f, 3.0f);
    EXPECT_EQ(Delivered::Get().timeouts.load(), 0);
}

TEST_F(TrackerSuitTest, AllTrackersSilentForTheTimeoutIsASuitNotAnswering) {
    Configure(HipsAndThighsKeys, "Suits=0\nTimeoutMs=400\n");
    Emulator emulator(EmulatorOptions(), HipsAndThighs());
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(WaitUntil([&] { return emulator.Connected(0) && emulator.Connected(2); }));
    GyroHandle suit = OpenSuit();
    LetFramesCatchUp();
    GyroClearDropped(suit);
    // The trackers come back while the message is still up.
    Delivered::Get().timeoutHoldMs = 700;
    for (std::size_t i = 0; i < 3; ++i) {
        emulator.Silence(i, true);
    }
    ASSERT_TRUE(WaitUntil([] { return Delivered::Get().timeouts.load() > 0; }));
    uint64_t frames = Delivered::Get().Count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Delivered::Get().Count(), frames) << "a suit not answering delivers nothing";
    EXPECT_EQ(Delivered::Get().timeouts.load(), 1) << "one message per silence";

    for (std::size_t i = 0; i < 3; ++i) {
        emulator.Silence(i, false);
    }
    EXPECT_TRUE(WaitUntil([&] { return Delivered::Get().Count() > frames + 10; }));
    EXPECT_EQ(GyroGetDropped(suit), 0u) << "a silence loses no frames on the way";
    GyroClose(suit);
}

TEST_F(TrackerSuitTest, UnassignedTrackerIsListedWithItsMacAndMovesNothing) {
    Configure(HipsAndThighsKeys);
    auto set = HipsAndThighs();
    set.push_back(At(9, LeftThighSensor, 0.0f, 0.0f));
    Emulator emulator(EmulatorOptions(), set);
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(WaitUntil([&] { return emulator.Connected(3); }));
    // Listed once it has named its sensor, and driving none of the suit's.
    auto listed = [] {
        for (const auto& t : trackers::Seen()) {
            if (t.mac == "02:00:00:00:00:09" && t.sensor == 0) {
                return t.suitSensor == -1;
            }
        }
        return false;
    };
    EXPECT_TRUE(WaitUntil(listed));
    EXPECT_EQ(trackers::Seen().size(), 4u);
}

TEST_F(TrackerSuitTest, TrackerInsideBundlesMovesItsSegment) {
    Configure(HipsAndThighsKeys);
    auto options = EmulatorOptions();
    options.bundles = true;
    Emulator emulator(options, HipsAndThighs());
    for (std::size_t i = 0; i < 3; ++i) {
        emulator.Hold(i, {1.0f, 0.0f, 0.0f, 0.0f});
    }
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    GyroHandle suit = OpenSuit();
    ASSERT_TRUE(WaitUntil([] { return trackers::Counts().rotations > 30; }));
    LetFramesCatchUp();
    GyroSetNull(suit);
    emulator.TurnAboutOwnX(2, -30.0f);
    EXPECT_TRUE(WaitUntil(
        [] { return std::abs(ThighAngleDegrees(Delivered::Get().Last()) - 30.0f) < 3.0f; }));
    EXPECT_GT(trackers::Counts().ignored, 0u) << "the battery level beside each rotation";
}

} // namespace
} // namespace telvo::test
