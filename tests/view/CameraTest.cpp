#include "view/Camera.h"
#include "ViewTestSupport.h"

namespace telvo {
namespace {

using Camera = ViewTest;

TEST_F(Camera, FitScalesTheSmallerWayAndCentresTheExtent) {
    FitExtent(platform, {-40.0f, -120.0f, 60.0f, 80.0f}); // 100 x 200 units around (10, -20)
    EXPECT_FLOAT_EQ(View.ViewScale, 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanX, -10.0f * 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 20.0f * 2.25f);
    FitExtent(platform, {0.0f, 5.0f, 10.0f, 5.0f}); // flat: its factor 1 caps the scale
    EXPECT_FLOAT_EQ(View.ViewScale, 1.0f);
}

TEST_F(Camera, PreparePoseChoosesTheFrameToShowAndCentringLeavesTheModes) {
    auto shown = [] { return PreparePose() == 1 ? View.ContactMask : 99u; };
    EXPECT_EQ(shown(), 99u); // nothing recorded, not live
    OnCenterView(platform);  // nothing to fit: no repaint
    OnCenterSequence(platform);
    EXPECT_EQ(platform.Invalidations(), 0);
    std::vector<Frame> frames(3); // the first and the last told apart by their contact words
    frames[2].ContactMask = 2;
    frames[2].RootPosition = {0.0f, 0.0f, 20.0f};
    UseRecording(frames);
    Engine.PlaybackIndex = 3; // past the end: back to the first
    EXPECT_EQ(shown(), 0u);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 0u);
    Engine.PlaybackIndex = 2;
    Settings.FollowCharacter = 1;
    EXPECT_EQ(shown(), 2u);
    // Follow Character: the root drawn centred, 5 % of the height above the centre.
    EXPECT_FLOAT_EQ(View.ViewPanY, 20.0f * 6.0f - 30.0f);

    Engine.DisplayFrame.ContactMask = 7;
    Engine.Live = 1; // live: the frame pump's frame
    EXPECT_EQ(shown(), 7u);
    OnCenterSequence(platform);
    EXPECT_EQ(platform.Invalidations(), 1);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 2u);
    EXPECT_EQ(Engine.Live.load(), 1);
    Engine.Playback = 1; // playing back: recorded again
    EXPECT_EQ(shown(), 2u);
    Engine.Recording = 1; // recording: the newest live frame, whatever else
    Engine.DisplayFrame.ContactMask = 9;
    EXPECT_EQ(shown(), 9u);
}

} // namespace
} // namespace telvo
