#include "view/Camera.h"
#include "ViewTestSupport.h"
#include "view/ViewMath.h"

#include <cmath>
#include <numbers>

namespace telvo {
namespace {

using ::testing::ElementsAre;

constexpr float Tolerance = 1e-5f;

void ExpectMatrixNear(const Matrix& actual, Matrix expected) {
    const float* a = &actual.m00;
    const float* e = &expected.m00;
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(a[i], e[i], Tolerance) << "element " << i;
    }
}

// Screen and drawing-area positions coincide in these tests unless an offset is given.
MouseEvent At(int x, int y, unsigned flags, int screenDx = 0, int screenDy = 0) {
    return {x, y, x + screenDx, y + screenDy, flags};
}

class Camera : public ViewTest {
protected:
    // Starts a drag at (400, 300) from a known view.
    void StartDrag(unsigned button) {
        View.ViewRotation = TopViewRotation;
        View.ViewScale = 6.0f;
        View.ViewPanX = 5.0f;
        View.ViewPanY = 5.0f;
        OnViewButtonDown(platform, At(400, 300, button));
    }
};

TEST_F(Camera, PressTakesCaptureAndReleaseEndsTheDragOnce) {
    StartDrag(MouseLeft);
    EXPECT_EQ(View.DragActive, 1);
    EXPECT_TRUE(platform.CaptureHeld());

    // A second button during the drag neither restarts nor moves its start.
    OnViewMouseMove(platform, At(410, 300, MouseLeft | MouseShift));
    OnViewButtonDown(platform, At(500, 500, MouseLeft | MouseRight));
    EXPECT_EQ(View.DragStartX, 400);
    EXPECT_EQ(View.DragStartPanX, 5.0f);

    // Releasing that button ends the drag although the left one is still held.
    OnViewButtonUp(platform);
    EXPECT_EQ(View.DragActive, 0);
    EXPECT_FALSE(platform.CaptureHeld());
    int before = platform.Invalidations();
    OnViewMouseMove(platform, At(450, 300, MouseLeft | MouseShift));
    EXPECT_EQ(View.ViewPanX, 15.0f);
    EXPECT_EQ(platform.Invalidations(), before);

    OnViewButtonUp(platform); // no drag: nothing to release
    std::vector<std::string> captures;
    for (const std::string& call : platform.Calls()) {
        if (call.rfind("capture", 0) == 0) {
            captures.push_back(call);
        }
    }
    EXPECT_THAT(captures, ElementsAre("capture 1", "capture 0"));
}

TEST_F(Camera, MovesWithoutButtonOrBackAtTheStartChangeNothing) {
    OnViewMouseMove(platform, At(500, 300, MouseLeft)); // no drag yet
    StartDrag(MouseLeft);
    OnViewMouseMove(platform, At(500, 300, 0)); // no button in the flags
    OnViewMouseMove(platform, At(500, 300, MouseMiddle | MouseShift));
    EXPECT_EQ(platform.Invalidations(), 0);
    ExpectMatrixNear(View.ViewRotation, TopViewRotation);

    OnViewMouseMove(platform, At(410, 300, MouseLeft | MouseShift));
    EXPECT_EQ(platform.Invalidations(), 1);
    OnViewMouseMove(platform, At(400, 300, MouseLeft | MouseShift));
    EXPECT_EQ(platform.Invalidations(), 1);
    EXPECT_EQ(View.ViewPanX, 15.0f); // the move back onto the start point did nothing
}

TEST_F(Camera, PanFollowsTheMouseFromTheDragStart) {
    StartDrag(MouseLeft);
    OnViewMouseMove(platform, At(420, 290, MouseLeft | MouseShift));
    OnViewMouseMove(platform, At(440, 290, MouseLeft | MouseShift));
    EXPECT_EQ(View.ViewPanX, 45.0f);
    EXPECT_EQ(View.ViewPanY, -5.0f);
    // The middle button does what Shift does; Control changes nothing.
    OnViewMouseMove(platform, At(400, 310, MouseLeft | MouseMiddle | MouseControl));
    EXPECT_EQ(View.ViewPanX, 5.0f);
    EXPECT_EQ(View.ViewPanY, 15.0f);
    EXPECT_EQ(View.ViewScale, 6.0f);
    ExpectMatrixNear(View.ViewRotation, TopViewRotation);
}

TEST_F(Camera, ZoomMultipliesTheStartScaleAndStopsAtTheMinimum) {
    StartDrag(MouseRight);
    // A quarter of the 800-pixel screen height upwards: factor 1 + 2 = 3.
    OnViewMouseMove(platform, At(400, 100, MouseRight | MouseShift));
    EXPECT_FLOAT_EQ(View.ViewScale, 18.0f);
    // The same distance downwards: factor -1, held at 0, then the minimum scale.
    OnViewMouseMove(platform, At(400, 500, MouseRight | MouseMiddle));
    EXPECT_FLOAT_EQ(View.ViewScale, 0.1f);
    // A little downwards stays above the minimum.
    OnViewMouseMove(platform, At(400, 350, MouseRight | MouseShift));
    EXPECT_FLOAT_EQ(View.ViewScale, 6.0f * 0.5f);
    EXPECT_EQ(View.ViewPanX, 5.0f);
}

TEST_F(Camera, TurnPutsScreenAxisRotationsOnTheLeftOfTheStartRotation) {
    StartDrag(MouseLeft);
    // An eighth of the 1600-pixel screen width to the right: 1 radian about screen up.
    OnViewMouseMove(platform, At(600, 300, MouseLeft));
    ExpectMatrixNear(View.ViewRotation, Matrix::RotY(1.0f) * TopViewRotation);
    // Down by a sixteenth of the height as well: half a radian about screen right, outermost.
    OnViewMouseMove(platform, At(600, 350, MouseLeft));
    ExpectMatrixNear(View.ViewRotation, Matrix::RotX(0.5f) * Matrix::RotY(1.0f) * TopViewRotation);
    // The left button wins over the right.
    OnViewMouseMove(platform, At(600, 350, MouseLeft | MouseRight));
    ExpectMatrixNear(View.ViewRotation, Matrix::RotX(0.5f) * Matrix::RotY(1.0f) * TopViewRotation);
}

TEST_F(Camera, RollTurnsAboutTheDrawnViewCentre) {
    View.ViewRotation = FrontViewRotation;
    View.ViewPanX = 0.0f;
    View.ViewPanY = 0.0f;
    // The centre is drawn at (400, 300); the window sits at (1000, 50) on the screen.
    OnViewButtonDown(platform, At(500, 300, MouseRight, 1000, 50));
    OnViewMouseMove(platform, At(400, 200, MouseRight, 1000, 50)); // a quarter turn
    float quarter = std::numbers::pi_v<float> / 2.0f;
    ExpectMatrixNear(View.ViewRotation, Matrix::RotZ(quarter) * FrontViewRotation);

    // Releasing Shift mid-drag switches zoom back to roll without restarting.
    OnViewMouseMove(platform, At(500, 200, MouseRight | MouseShift, 1000, 50));
    EXPECT_FLOAT_EQ(View.ViewScale, 6.0f * (1.0f + 100.0f * 8.0f / 800.0f));
    OnViewMouseMove(platform, At(400, 400, MouseRight, 1000, 50));
    ExpectMatrixNear(View.ViewRotation, Matrix::RotZ(-quarter) * FrontViewRotation);
}

TEST_F(Camera, PresetsSetRotationScaleAndPan) {
    View.ViewRotation = Matrix::RotX(0.3f);
    View.ViewScale = 40.0f;
    View.ViewPanX = -70.0f;
    OnFrontView(platform);
    ExpectMatrixNear(View.ViewRotation, FrontViewRotation);
    EXPECT_EQ(View.ViewScale, 6.0f);
    EXPECT_EQ(View.ViewPanX, 0.0f);
    EXPECT_EQ(View.ViewPanY, 216.0f);
    OnRightSideView(platform);
    ExpectMatrixNear(View.ViewRotation, SideViewRotation);
    EXPECT_EQ(View.ViewPanY, 216.0f);
    OnTopView(platform);
    ExpectMatrixNear(View.ViewRotation, TopViewRotation);
    EXPECT_EQ(View.ViewPanY, 0.0f);
    EXPECT_EQ(platform.Invalidations(), 3);
}

TEST_F(Camera, FitScalesTheSmallerWayAndCentresTheExtent) {
    // A figure whose front-view extent is 100 x 200 units, centred at (10, -20) (y downwards).
    View.ViewRotation = FrontViewRotation;
    Figure figure;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        figure.Place(i, {10.0f, 0.0f, 20.0f});
    }
    figure.Place(3, {-40.0f, 0.0f, 120.0f});
    figure.Place(7, {60.0f, 0.0f, -80.0f});
    ViewExtent extent;
    WidenExtent(extent, figure.skeleton, true);
    EXPECT_FLOAT_EQ(extent.minX, -40.0f);
    EXPECT_FLOAT_EQ(extent.maxY, 80.0f);
    FitExtent(platform, extent);
    EXPECT_FLOAT_EQ(View.ViewScale, 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanX, -10.0f * 2.25f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 20.0f * 2.25f);
    ExpectMatrixNear(View.ViewRotation, FrontViewRotation);

    // A flat extent keeps its factor at 1, which then caps the scale.
    FitExtent(platform, {0.0f, 5.0f, 10.0f, 5.0f});
    EXPECT_FLOAT_EQ(View.ViewScale, 1.0f);
    // The fit measures the drawing area itself.
    platform.SetDrawingArea({400, 300});
    FitExtent(platform, {0.0f, 0.0f, 400.0f, 100.0f});
    EXPECT_EQ(View.ViewWidth, 400);
    EXPECT_FLOAT_EQ(View.ViewScale, 0.75f);
}

TEST_F(Camera, PreparePoseCopiesTheRecordedFrameAndWrapsTheIndex) {
    std::vector<Frame> frames(3);
    for (int i = 0; i < 3; ++i) {
        std::memset(&frames[i], 0x10 + i, sizeof(Frame));
        frames[i].ContactMask = 0x100u + static_cast<uint32_t>(i);
    }
    UseRecording(frames);
    Engine.PlaybackIndex = 2;
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_EQ(std::memcmp(&Engine.DisplayFrame, &frames[2], sizeof(Frame)), 0);
    EXPECT_EQ(std::memcmp(&View.ShownFrame, &frames[2], sizeof(Frame)), 0);
    EXPECT_EQ(View.ContactMask, 0x102u);

    Engine.PlaybackIndex = 3;
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 0u);
    EXPECT_EQ(View.ContactMask, 0x100u);

    // Live and not playing back: the live frame stays, whatever the recording holds.
    Engine.Live = 1;
    Engine.DisplayFrame.ContactMask = 7;
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_EQ(View.ContactMask, 7u);
    Engine.Playback = 1;
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_EQ(View.ContactMask, 0x100u);
    // Recording: the newest live frame, even during playback.
    Engine.Recording = 1;
    Engine.DisplayFrame.ContactMask = 9;
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_EQ(View.ContactMask, 9u);
}

TEST_F(Camera, NothingToShowLeavesTheViewAlone) {
    EXPECT_EQ(PreparePose(), 0); // no recording array
    std::vector<Frame> none;
    UseRecording(none);
    Frame empty{};
    Engine.Skeleton.Frames = &empty; // an array with no frames in it
    Engine.PlaybackIndex = 4;
    EXPECT_EQ(PreparePose(), 0);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 0u);

    View.ViewScale = 3.0f;
    OnCenterView(platform);
    OnCenterSequence(platform);
    EXPECT_EQ(View.ViewScale, 3.0f);
    EXPECT_EQ(platform.Invalidations(), 0);
}

TEST_F(Camera, FollowCharacterKeepsTheRootAboveTheCentre) {
    Settings.FollowCharacter = 1;
    Engine.Live = 1;
    View.ViewRotation = FrontViewRotation;
    View.ViewScale = 2.0f;
    View.ViewPanX = 123.0f; // the user's pan is overwritten
    Engine.DisplayFrame.RootPosition = {10.0f, 3.0f, 40.0f};
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_FLOAT_EQ(View.ViewPanX, -20.0f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 80.0f - 0.05f * 600.0f);

    // Off again: the pan stays where the last frame put it.
    Settings.FollowCharacter = 0;
    Engine.DisplayFrame.RootPosition = {0.0f, 0.0f, 0.0f};
    ASSERT_EQ(PreparePose(), 1);
    EXPECT_FLOAT_EQ(View.ViewPanX, -20.0f);
}

TEST_F(Camera, CenterSequenceRestoresIndexAndLiveMode) {
    std::vector<Frame> frames(4);
    UseRecording(frames);
    Engine.PlaybackIndex = 2;
    Engine.Live = 1;
    OnCenterSequence(platform);
    EXPECT_EQ(Engine.PlaybackIndex.load(), 2u);
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_EQ(platform.Invalidations(), 1);
    // The last recorded frame was the last one shown.
    EXPECT_EQ(std::memcmp(&Engine.DisplayFrame, &frames[3], sizeof(Frame)), 0);
}

} // namespace
} // namespace telvo
