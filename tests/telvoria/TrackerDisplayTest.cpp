// The raw sensor display on a suit of trackers: a silent tracker's cell says so, and a tracker
// no key assigns is listed with its MAC for the operator to copy.
#include "tests/telvoria/TrackerLoopback.h"
#include "tests/view/ViewTestSupport.h"
#include "view/SceneRenderer.h"

namespace telvo::test {
namespace {

using namespace std::chrono_literals;
using trackers::Emulator;

class TrackerDisplay : public TrackerSuitTest {
protected:
    void TearDown() override {
        Engine.Reset();
        TrackerSuitTest::TearDown();
    }
    // The texts of the raw display, each with its corner and colour.
    std::vector<RecordingSurface::Primitive> Texts() {
        surface_.Clear();
        DrawScene(surface_);
        return surface_.Of(Kind::Text);
    }
    RecordingSurface surface_;
};

TEST_F(TrackerDisplay, MarksSilentSensorsAndListsUnassignedTrackers) {
    Engine.Reset();
    View.Reset();
    Settings.Reset();
    View.ViewWidth = 800;
    View.ViewHeight = 600;
    Settings.RenderType = 3;
    // The hips' tracker plays; the left thigh's never comes; 02:..:09 is nobody's.
    Configure("Hips=02:00:00:00:00:01\nLeftHip=02:00:00:00:00:02\n");
    Emulator::Tracker hips, stranger;
    hips.mac = trackers::EmulatedMac(1);
    stranger.mac = trackers::EmulatedMac(9);
    stranger.sensor = 2;
    Emulator emulator(EmulatorOptions(), {hips, stranger});
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_TRUE(emulator.Start());
    ASSERT_TRUE(WaitUntil([&] { return emulator.Connected(0) && emulator.Connected(1); }));
    Engine.SuitHandle = GyroOpen(nullptr, Delivered::OnFrame, nullptr);
    ASSERT_TRUE(WaitUntil([] {
        auto seen = trackers::Seen();
        return seen.size() == 2 && seen[1].sensor == 2;
    }));

    std::vector<std::string> notes;
    for (const auto& t : Texts()) {
        if (t.text == "silent") {
            EXPECT_EQ(t.textColour, Red);
            // Sensor 13 sits in column 3 of row 2: (400 + 120, 300 - 60), 16 pixels lower.
            notes.push_back("silent at " + std::to_string(t.a.x) + "," + std::to_string(t.a.y));
        } else if (t.text.rfind("Unassigned", 0) == 0) {
            notes.push_back(t.text + " at " + std::to_string(t.a.x) + "," + std::to_string(t.a.y));
        }
    }
    EXPECT_THAT(notes, ::testing::ElementsAre("silent at 520,256",
                                              "Unassigned tracker 02:00:00:00:00:09/2 at 2,584"));

    // Playback shows what was recorded, not the suit's state now.
    std::vector<Frame> frames(1);
    Engine.Skeleton.Frames = frames.data();
    Engine.Skeleton.FrameCount = 1;
    Engine.Playback = 1;
    for (const auto& t : Texts()) {
        EXPECT_NE(t.text, "silent");
    }
    Engine.Playback = 0;
    Engine.Skeleton.Frames = nullptr;
    Engine.Skeleton.FrameCount = 0;
}

} // namespace
} // namespace telvo::test
