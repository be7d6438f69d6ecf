#include "ViewTestSupport.h"
#include "view/SceneRenderer.h"

namespace telvo {
namespace {

using ::testing::ElementsAre;

class Composition : public ViewTest {
protected:
    void OpenSuit(uint32_t divider) {
        sim::SetSuits({{1, "Studio", divider}});
        ASSERT_NE(GyroInit(), 0);
        Engine.SuitHandle = GyroOpen(nullptr, nullptr, nullptr);
    }
    std::vector<std::string> Lines(uint32_t flags) {
        surface.Clear();
        DrawStatusLines(surface, flags);
        std::vector<std::string> texts;
        for (const auto& t : surface.Of(Kind::Text)) {
            texts.push_back(t.text);
        }
        return texts;
    }
    void Paint(uint32_t now) {
        platform.SetTime(now);
        OnPaint(platform, target);
    }
    RecordingTarget target;
};

TEST_F(Composition, FrameCounterForEachMode) {
    std::vector<Frame> frames(250);
    UseRecording(frames);
    Engine.Playback = Engine.Paused = 1;
    EXPECT_EQ(FrameCounterText(), "Frame 1 / 250   (Paused)");
    Engine.Playback = Engine.Paused = 0;
    Engine.Live = 1;
    EXPECT_EQ(FrameCounterText(), "");

    frames.resize(37);
    UseRecording(frames);
    Engine.Recording = 1;
    EXPECT_EQ(FrameCounterText(), "Frame 37");
    Settings.RecordStop = 1;
    Settings.RecordLimitFS = 5; // seconds, at the suit's 120 / divider frames a second
    OpenSuit(2);
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 300");
    Settings.RecordLimitFS = -1; // from a damaged file: held to 32 bits, not overflowed
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 4294967295");
}

TEST_F(Composition, StatusLinesFromTheFrameFlags) {
    EXPECT_THAT(Lines((1u << 16) | (1u << 18) | FrameSwitchesValid),
                ElementsAre("Switches = 1 0 1 0 0 0"));
    EXPECT_THAT(
        Lines((1u << 16) | FrameExternalSync | (3u << FrameSyncExponentShift) |
              FrameMechanicalSuit),
        ElementsAre("No Switches", "External sync, tracker rate = 15 FPS", "Mechanical suit"));
    // Jumping follows the recorded frame during playback, the suit otherwise.
    Settings.ShowInfo = 0;
    Engine.Playback = 1;
    EXPECT_THAT(Lines(FrameJumping), ElementsAre("Jumping"));
    Engine.Playback = 0;
    EXPECT_TRUE(Lines(FrameJumping).empty());
}

TEST_F(Composition, PaintPresentsOnceClearsPaintPendingLastAndRatesTheDisplay) {
    Engine.PaintPending = 1;
    Paint(1000); // nothing to show: grey, and the texts are still made
    EXPECT_EQ(std::pair(target.presents, target.pendingAtPresent), std::pair(1, 1));
    EXPECT_EQ(Engine.PaintPending.load(), 0);
    ASSERT_EQ(target.surface.All().size(), 2u); // the fill and "No Switches"
    EXPECT_EQ(*target.surface.All()[0].fill, Grey);
    EXPECT_EQ(platform.StatusText(1), "Frame 1 / 0");
    EXPECT_EQ(platform.StatusText(2), ""); // no rate on the first paint
    for (uint32_t i = 1; i <= 60; ++i) {   // 30 a second; the first sample counts 31
        Paint(1000 + i * 1000 / 30);
    }
    EXPECT_EQ(platform.StatusText(2), "Display:  30.0 FPS, Offline");
    // No library north without a suit: the default, halved once however often it paints.
    EXPECT_FLOAT_EQ(View.NorthVector.y, -0.5f);
    Paint(8000); // one paint after a long pause: below one a second, the pane empties
    EXPECT_EQ(platform.StatusText(2), "");

    OpenSuit(1);
    sim::DropFrames(Engine.SuitHandle.load(), 2);
    sim::Deliver(Engine.SuitHandle.load(), 5);
    View.DisplayRate = 30.0f;
    EXPECT_EQ(DisplayRateText(), "Display:  30.0 FPS, Dropped: 2");
}

TEST_F(Composition, RawSensorsInTheirOwnGridAndAnEmptyPlaybackDrawsNothing) {
    Settings.RenderType = 3;
    DrawScene(surface);
    EXPECT_EQ(surface.Of(Kind::Line).size(), 3u * 19u); // a cross for each sensor
    EXPECT_EQ(surface.Of(Kind::Text)[0].text, "Gyro 0");
    Engine.Playback = 1;
    surface.Clear();
    DrawScene(surface);
    EXPECT_TRUE(surface.All().empty());
}

} // namespace
} // namespace telvo
