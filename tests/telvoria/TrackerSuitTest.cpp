// The suit made of trackers, end to end over loopback: calibration on the null pose, frames
// on the suit's deadlines, silent and unknown trackers on the raw sensor display, the suit's
// timeout.
#include "tests/telvoria/TrackerLoopback.h"
#include "tests/view/ViewTestSupport.h"
#include "view/SceneRenderer.h"

#include <numbers>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;
using trackers::Emulator;

constexpr int Hips = 0, LeftThighSensor = 13, RightThighSensor = 16;

Emulator::Tracker At(int n, int segment, float tiltDegrees, float heading) {
    const float a = tiltDegrees * std::numbers::pi_v<float> / 360.0f;
    return {trackers::EmulatedMac(n), 0, segment, {std::cos(a), std::sin(a), 0.0f, 0.0f}, heading};
}

// The angle between the thighs (hip to knee, left and right) of the last frame delivered.
float ThighAngleDegrees() {
    Skeleton s = delivered->Posed();
    return Degrees(s.Nodes[19].Position - s.Nodes[18].Position,
                   s.Nodes[25].Position - s.Nodes[24].Position);
}

// Frames made after now have seen what the trackers sent until now.
void LetFramesCatchUp(uint64_t frames = 12) {
    const uint64_t seen = delivered->Count();
    Eventually([&] { return delivered->Count() >= seen + frames; }, 6s);
}

// The suit is listed and opens before any tracker has connected. The trackers come in bundles,
// with a fourth nobody assigned; one falls silent and holds its segment, then all do: for the
// timeout that is a suit not answering, once per silence.
TEST_F(TrackerSuitTest, ATurnedThighBendsTheHipsASilentOneHoldsAndAllSilentIsASuitNotAnswering) {
    Configure("Hips=02:00:00:00:00:01\nLeftHip=02:00:00:00:00:02/0\nRightHip=02:00:00:00:00:03\n",
              "Suits=0\nTimeoutMs=400\n");
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_EQ(GyroNumSuits(), 1); // its number and name: ConfigTest
    GyroHandle suit = OpenSuit();
    ASSERT_NE(suit, 0);
    EXPECT_FLOAT_EQ(GyroGetFrameRate(suit), 120.0f);
    EXPECT_TRUE(Eventually([] { return delivered->Count() > 0; }));

    // Hips and both thighs, each strapped on at its own tilt and heading, and one nobody assigned.
    const std::vector<Emulator::Tracker> set = {
        At(1, Hips, 8.0f, 30.0f), At(2, LeftThighSensor, -12.0f, 140.0f),
        At(3, RightThighSensor, 20.0f, 250.0f), At(9, LeftThighSensor, 0.0f, 0.0f)};
    Emulator emulator({.port = port_, .holdSeconds = 3600.0, .bundles = true}, set);
    for (std::size_t i = 0; i < set.size(); ++i) {
        emulator.Hold(i, {1.0f, 0.0f, 0.0f, 0.0f});
    }
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(Eventually([&] { return emulator.Connected(0) && emulator.Connected(3); }));
    LetFramesCatchUp();
    ASSERT_EQ(GyroSetNull(suit), 1);
    GyroClearDropped(suit);
    delivered->timeouts = 0; // the wait for the first tracker may have been one
    delivered->gap = delivered->offPeriod = false;
    LetFramesCatchUp();
    EXPECT_LT(ThighAngleDegrees(), 10.0f);
    emulator.TurnAboutOwnX(1, 60.0f);
    EXPECT_TRUE(Eventually([] { return std::abs(ThighAngleDegrees() - 60.0f) < 3.0f; }, 6s));
    // A second of frames, each one period after the last, none lost (counted at the end).
    LetFramesCatchUp(120);
    EXPECT_FALSE(delivered->gap);
    EXPECT_FALSE(delivered->offPeriod);

    emulator.Silence(1, true);
    emulator.TurnAboutOwnX(1, -20.0f); // never sent
    ASSERT_TRUE(Eventually([&] { return GyroGetSilentSensors(suit) == 1u << LeftThighSensor; }));
    LetFramesCatchUp();
    EXPECT_NEAR(ThighAngleDegrees(), 60.0f, 3.0f);
    EXPECT_EQ(delivered->timeouts.load(), 0) << "the others go on";

    // The raw sensor display marks the silent sensor's cell and lists the unassigned tracker, with
    // its MAC once it has named its sensor, for the operator to copy; playback shows what was
    // recorded, not the suit's state now.
    Engine.SuitHandle = suit;
    View.ViewWidth = 800;
    View.ViewHeight = 600;
    Settings.RenderType = 3;
    std::vector<Frame> recorded(1);
    std::vector<std::string> notes;
    for (uint32_t playback : {0u, 1u}) {
        Engine.Playback = static_cast<int>(playback);
        Engine.Skeleton.Frames = playback != 0 ? recorded.data() : nullptr;
        Engine.Skeleton.FrameCount = playback;
        RecordingSurface surface;
        DrawScene(surface);
        for (const auto& t : surface.Of(Kind::Text)) {
            if (t.text == "silent" || (playback == 0 && t.text.starts_with("Unassigned"))) {
                notes.push_back(t.text + " at " + std::to_string(t.a.x) + "," +
                                std::to_string(t.a.y) + (t.textColour == Red ? " red" : ""));
            }
        }
    }
    Engine.Reset();
    // Sensor 13 sits in column 3 of row 2: (400 + 120, 300 - 60), 16 pixels lower.
    EXPECT_THAT(notes, ::testing::ElementsAre("silent at 520,256 red",
                                              "Unassigned tracker 02:00:00:00:00:09/0 at 2,584"));

    delivered->timeoutHoldMs = 700; // the trackers come back while the message is up
    for (std::size_t i = 0; i < set.size(); ++i) {
        emulator.Silence(i, true);
    }
    ASSERT_TRUE(Eventually([] { return delivered->timeouts.load() > 0; }));
    const uint64_t frames = delivered->Count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(delivered->Count(), frames) << "a suit not answering delivers nothing";
    EXPECT_EQ(delivered->timeouts.load(), 1) << "one message per silence";
    for (std::size_t i = 0; i < set.size(); ++i) {
        emulator.Silence(i, false);
    }
    EXPECT_TRUE(Eventually([&] { return delivered->Count() > frames + 10; }));
    EXPECT_EQ(GyroGetDropped(suit), 0u) << "a silence loses no frames on the way";
    GyroClose(suit);
}

} // namespace
} // namespace telvo::test
