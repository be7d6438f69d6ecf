#include "view/Composition.h"
#include "ViewTestSupport.h"

namespace telvo {
namespace {

using ::testing::ElementsAre;

class Composition : public ViewTest {
protected:
    void Paint(uint32_t now) {
        platform.SetTime(now);
        OnPaint(platform, target);
    }
    // The status lines drawn for a frame with these flags, in drawing order.
    std::vector<std::string> Lines(uint32_t flags) {
        surface.Clear();
        DrawStatusLines(surface, flags);
        return surface.TextContents();
    }

    RecordingTarget target;
};

TEST_F(Composition, FrameCounterForEachMode) {
    std::vector<Frame> frames(250);
    UseRecording(frames);
    EXPECT_EQ(FrameCounterText(), "Frame 1 / 250"); // stopped motion

    Engine.Playback = 1;
    Engine.Paused = 1;
    EXPECT_EQ(FrameCounterText(), "Frame 1 / 250   (Paused)");
    Engine.PlaybackIndex = 249;
    Engine.Paused = 0;
    EXPECT_EQ(FrameCounterText(), "Frame 250 / 250");

    Engine.Playback = 0;
    Engine.Live = 1;
    EXPECT_EQ(FrameCounterText(), "");

    frames.resize(37);
    UseRecording(frames);
    Engine.Recording = 1;
    EXPECT_EQ(FrameCounterText(), "Frame 37");
    Engine.Paused = 1;
    EXPECT_EQ(FrameCounterText(), "Frame 37   (Paused)");
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = 1;
    Settings.RecordLimitFS = 300;
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 300   (Paused)");
    // No suit to ask for its divider: seconds at 120 frames a second.
    Settings.RecordFramesOrSeconds = 0;
    Settings.RecordLimitFS = 5;
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 600   (Paused)");
    // A negative limit from the settings file is shown as the frame pump takes it, held to
    // 32 bits rather than overflowing.
    Settings.RecordLimitFS = -1;
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 4294967295   (Paused)");

    frames.clear();
    UseRecording(frames);
    Engine.Recording = 0;
    Engine.Live = 0;
    Engine.Paused = 0;
    Engine.PlaybackIndex = 0;
    EXPECT_EQ(FrameCounterText(), "Frame 1 / 0");
}

TEST_F(Composition, InfoLinesFromTheFrameFlags) {
    uint32_t switches = (1u << 16) | (1u << 18) | FrameSwitchesValid;
    EXPECT_THAT(Lines(switches), ElementsAre("Switches = 1 0 1 0 0 0"));
    EXPECT_THAT(Lines(switches & ~FrameSwitchesValid), ElementsAre("No Switches"));
    EXPECT_EQ(surface.Primitives()[0].a, (Point{2, 42}));
    EXPECT_EQ(surface.Primitives()[0].textColour, White);

    uint32_t sync = FrameExternalSync | (3u << FrameSyncExponentShift);
    EXPECT_THAT(Lines(sync), ElementsAre("No Switches", "External sync, tracker rate = 15 FPS"));
    EXPECT_THAT(Lines(FrameExternalSync | (7u << FrameSyncExponentShift)),
                ElementsAre("No Switches", "External sync, tracker rate = 0.9375 FPS"));
    EXPECT_EQ(surface.Primitives()[1].a, (Point{2, 62}));
    EXPECT_THAT(Lines(FrameMechanicalSuit), ElementsAre("No Switches", "Mechanical suit"));
    EXPECT_EQ(surface.Primitives()[1].a, (Point{2, 82}));

    Settings.ShowInfo = 0;
    EXPECT_TRUE(Lines(0xFFFFFFFFu & ~FrameJumping).empty());
}

TEST_F(Composition, JumpingDuringPlaybackFollowsTheRecordedFlag) {
    Settings.ShowInfo = 0;
    Engine.Playback = 1;
    EXPECT_THAT(Lines(FrameJumping), ElementsAre("Jumping"));
    EXPECT_EQ(surface.Primitives()[0].a, (Point{2, 2}));
    EXPECT_EQ(surface.Primitives()[0].textColour, Yellow);
    EXPECT_TRUE(Lines(0).empty());
    // Otherwise the suit is asked; with none open it is not in the air.
    Engine.Playback = 0;
    EXPECT_TRUE(Lines(FrameJumping).empty());
}

TEST_F(Composition, DisplayRateOverSamplesOfASecond) {
    Paint(1000);
    EXPECT_EQ(platform.StatusText(2), ""); // the first paint never shows a rate
    for (int i = 1; i <= 30; ++i) {
        Paint(1000 + static_cast<uint32_t>(i * 1000 / 30));
    }
    // The first sample counts the paint that began it: 31 paints in 1000 ms.
    EXPECT_EQ(platform.StatusText(2), "Display:  31.0 FPS, Offline");
    for (int i = 1; i <= 30; ++i) {
        Paint(2000 + static_cast<uint32_t>(i * 1000 / 30));
    }
    EXPECT_EQ(platform.StatusText(2), "Display:  30.0 FPS, Offline");
    Paint(3500); // half a second: the last rate stays
    EXPECT_EQ(platform.StatusText(2), "Display:  30.0 FPS, Offline");

    // One paint after a long pause: 2 paints in 5 s is below 1 a second, the pane empties.
    Paint(8000);
    EXPECT_FLOAT_EQ(View.DisplayRate, 2 * 1000.0f / 5000.0f);
    EXPECT_EQ(platform.StatusText(2), "");

    // The clock wraps at 32 bits without a false sample.
    View.PaintRateStart = 0xFFFFFF00u;
    View.PaintCount = 0;
    Paint(0x000002E8u); // 1000 ms later
    EXPECT_FLOAT_EQ(View.DisplayRate, 1.0f);
}

TEST_F(Composition, PaintComposesMeasuresPresentsOnceAndClearsPaintPendingLast) {
    platform.SetDrawingArea({640, 360});
    Engine.PaintPending = 1;
    Engine.Live = 1;
    Paint(5000);
    EXPECT_EQ(target.width, 640);
    EXPECT_EQ(View.ViewHeight, 360);
    EXPECT_EQ(target.presents, 1);
    EXPECT_EQ(target.paintPendingAtPresent, 1);
    EXPECT_EQ(Engine.PaintPending.load(), 0);
    // The picture starts with the grey fill over the whole area, then the scene.
    const auto& first = target.surface.Primitives().front();
    EXPECT_EQ(first.kind, Kind::Fill);
    EXPECT_EQ(*first.fill, Grey);
    EXPECT_EQ(first.b, (Point{640, 360}));
    EXPECT_GT(target.surface.Primitives().size(), 10u);
    EXPECT_EQ(platform.StatusText(1), "");

    // Nothing to show: grey, and the status texts are still made.
    Engine.Live = 0;
    Engine.PaintPending = 1;
    Paint(5100);
    EXPECT_EQ(target.surface.Primitives().size(), 2u); // the fill and "No Switches"
    EXPECT_EQ(platform.StatusText(1), "Frame 1 / 0");
    EXPECT_EQ(Engine.PaintPending.load(), 0);

    // A minimised window: an empty picture, no crash.
    platform.SetDrawingArea({0, 0});
    Paint(5200);
    EXPECT_EQ(target.width, 0);
    EXPECT_EQ(target.presents, 3);
}

} // namespace
} // namespace telvo
