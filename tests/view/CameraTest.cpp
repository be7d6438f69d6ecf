#include "view/Camera.h"
#include "ViewTestSupport.h"

namespace telvo {
namespace {

// Drawing-area and screen positions; the window sits at (1000, 50) on the screen.
MouseEvent At(int x, int y, unsigned flags) {
    return {x, y, x + 1000, y + 50, flags};
}

using Camera = ViewTest;

// Roll, zoom and the part the buttons play are driven through the real window in
// ViewWindowTest.
TEST_F(Camera, LeftDragTurnsOrPansFromTheDragStart) {
    OnTopView(platform);
    View.ViewPanX = View.ViewPanY = 5.0f;
    OnViewButtonDown(platform, At(400, 300, MouseLeft));
    // An eighth of the 1600-pixel screen width: 1 radian about screen up; a sixteenth of the
    // height down: half a radian about screen right, outermost.
    OnViewMouseMove(platform, At(600, 350, MouseLeft));
    ExpectNear(View.ViewRotation, Matrix::RotX(0.5f) * Matrix::RotY(1.0f) * TopViewRotation);
    // Shift (or the middle button) turns the same drag into a pan; Control does nothing.
    OnViewMouseMove(platform, At(440, 290, MouseLeft | MouseShift | MouseControl));
    EXPECT_EQ(View.ViewPanX, 45.0f);
    EXPECT_EQ(View.ViewPanY, -5.0f);
    OnViewMouseMove(platform, At(400, 310, MouseLeft | MouseRight | MouseMiddle));
    EXPECT_EQ(View.ViewPanY, 15.0f); // the left button wins over the right
    int repaints = platform.Invalidations();
    OnViewMouseMove(platform, At(400, 300, MouseLeft)); // back on the start point
    OnViewMouseMove(platform, At(500, 300, 0));         // no button
    EXPECT_EQ(platform.Invalidations(), repaints);
    EXPECT_EQ(View.ViewPanY, 15.0f);
}

TEST_F(Camera, FitScalesTheSmallerWayAndCentresTheExtent) {
    OnFrontView(platform);
    EXPECT_EQ(View.ViewPanY, 216.0f);
    Figure figure; // 100 x 200 units, centred on (10, -20) with y downwards
    figure.Place(3, {-40.0f, 0.0f, 120.0f});
    figure.Place(7, {60.0f, 0.0f, -80.0f});
    ViewExtent extent;
    WidenExtent(extent, figure.skeleton, true);
    FitExtent(platform, extent);
    EXPECT_FLOAT_EQ(View.ViewScale, 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanX, -10.0f * 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 20.0f * 2.25f);
    FitExtent(platform, {0.0f, 5.0f, 10.0f, 5.0f}); // flat: its factor 1 caps the scale
    EXPECT_FLOAT_EQ(View.ViewScale, 1.0f);
}

TEST_F(Camera, PreparePoseChoosesTheFrameToShow) {
    auto shown = [] { return PreparePose() == 1 ? View.ContactMask : 99u; };
    EXPECT_EQ(shown(), 99u); // nothing recorded, not live
    std::vector<Frame> frames(3);
    for (uint32_t i = 0; i < 3; ++i) {
        frames[i].ContactMask = i;
        frames[i].RootPosition = {0.0f, 0.0f, 10.0f * static_cast<float>(i)};
    }
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
    Engine.Playback = 1; // playing back: recorded again
    EXPECT_EQ(shown(), 2u);
    Engine.Recording = 1; // recording: the newest live frame, whatever else
    Engine.DisplayFrame.ContactMask = 9;
    EXPECT_EQ(shown(), 9u);
}

TEST_F(Camera, CenterCommandsLeaveModesAsTheyWere) {
    View.ViewScale = 3.0f;
    OnCenterView(platform); // nothing to show: unchanged, no repaint
    OnCenterSequence(platform);
    EXPECT_EQ(View.ViewScale, 3.0f);
    EXPECT_EQ(platform.Invalidations(), 0);

    std::vector<Frame> frames(4);
    UseRecording(frames);
    Engine.PlaybackIndex = 2;
    Engine.Live = 1;
    OnCenterSequence(platform);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 2u);
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_EQ(platform.Invalidations(), 1);
}

} // namespace
} // namespace telvo
