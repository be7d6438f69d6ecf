// What the view takes from an open (simulated) suit: its divider, dropped frames, north and
// raw sensors.
#include "ViewTestSupport.h"
#include "telvoria/TelvoriaSim.h"
#include "view/RawSensors.h"
#include "view/SceneRenderer.h"

namespace telvo {
namespace {

void Ignore(const Frame*, SuitInfo*) {}

class SuitView : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
    }
    void TearDown() override {
        GyroFinish();
        sim::Reset();
        ViewTest::TearDown();
    }
    void Open(uint32_t divider) {
        sim::SetSuits({{1, "Studio", divider}});
        ASSERT_NE(GyroInit(), 0);
        Engine.SuitHandle = GyroOpen(nullptr, Ignore, nullptr);
        ASSERT_NE(Engine.SuitHandle.load(), 0);
    }
};

TEST_F(SuitView, RecordLimitInSecondsUsesTheSuitsDivider) {
    Open(2);
    std::vector<Frame> frames(37);
    UseRecording(frames);
    Engine.Recording = 1;
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = 0;
    Settings.RecordLimitFS = 5;
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 300");
}

TEST_F(SuitView, ADividerOfZeroCountsAsOne) {
    Open(0);
    std::vector<Frame> frames(37);
    UseRecording(frames);
    Engine.Recording = 1;
    Settings.RecordStop = 1;
    Settings.RecordLimitFS = 5;
    EXPECT_EQ(FrameCounterText(), "Frame 37 / 600");
}

TEST_F(SuitView, DisplayRateShowsTheDroppedFrames) {
    Open(1);
    sim::DropFrames(Engine.SuitHandle.load(), 2);
    sim::Deliver(Engine.SuitHandle.load(), 5);
    View.DisplayRate = 30.0f;
    EXPECT_EQ(DisplayRateText(), "Display:  30.0 FPS, Dropped: 2");
}

TEST_F(SuitView, NorthArrowIsHalfTheLibrarysNorthAtEveryPaint) {
    RecordingTarget target;
    // No suit: the library's default north, halved once however many paints there are.
    for (int i = 0; i < 3; ++i) {
        OnPaint(platform, target);
    }
    EXPECT_FLOAT_EQ(View.NorthVector.y, -0.5f);
    Open(1);
    Vector north{};
    ASSERT_NE(GyroGetNorth(Engine.SuitHandle.load(), &north), 0);
    OnPaint(platform, target);
    OnPaint(platform, target);
    EXPECT_FLOAT_EQ(View.NorthVector.x, north.x * 0.5f);
    EXPECT_FLOAT_EQ(View.NorthVector.y, north.y * 0.5f);
}

TEST_F(SuitView, RawChannelsComeFromTheLiveSuit) {
    Open(1);
    sim::Deliver(Engine.SuitHandle.load(), 30);
    Matrix raw[19];
    ASSERT_NE(GyroGetRaw(Engine.SuitHandle.load(), raw, 1), 0);
    RecordingSurface expected;
    DrawRawCrosses(expected, raw);
    Settings.RenderType = 3;
    DrawScene(surface);
    ASSERT_EQ(surface.OfKind(Kind::Line).size(), 57u);
    auto lines = surface.OfKind(Kind::Line);
    auto want = expected.OfKind(Kind::Line);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].b, want[i].b) << "line " << i;
        EXPECT_EQ(lines[i].pen, want[i].pen) << "line " << i;
    }
}

} // namespace
} // namespace telvo
