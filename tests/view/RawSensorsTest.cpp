#include "view/RawSensors.h"
#include "ViewTestSupport.h"
#include "view/SceneRenderer.h"

namespace telvo {
namespace {

class Raw : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        Settings.RenderType = 3;
    }
};

TEST_F(Raw, NineteenUprightCrossesInAFixedGrid) {
    // The user's view plays no part.
    View.ViewRotation = Matrix::RotX(1.0f);
    View.ViewScale = 40.0f;
    View.ViewPanX = 77.0f;
    DrawScene(surface);
    auto labels = surface.OfKind(Kind::Text);
    auto lines = surface.OfKind(Kind::Line);
    ASSERT_EQ(lines.size(), 19u * 3u);
    ASSERT_EQ(labels.size(), 19u * 4u);
    for (int i = 0; i < 19; ++i) {
        Point centre{400 - 240 + 120 * (i % 5), 300 + 180 - 120 * (i / 5)};
        const auto& label = labels[4 * i];
        EXPECT_EQ(label.text, "Gyro " + std::to_string(i));
        EXPECT_EQ(label.a, centre);
        EXPECT_EQ(label.textColour, Green);

        const auto* x = &lines[3 * i];
        EXPECT_EQ(x[0].a, centre);
        EXPECT_EQ(x[0].b, (Point{centre.x + 60, centre.y}));
        EXPECT_EQ(x[0].pen, (Pen{2, Yellow}));
        // Y points away from the viewer: blue, and no length at all.
        EXPECT_EQ(x[1].b, centre);
        EXPECT_EQ(x[1].pen, (Pen{2, Blue}));
        // Z: -60 + 0.5 truncates to -59.
        EXPECT_EQ(x[2].b, (Point{centre.x, centre.y - 59}));
        EXPECT_EQ(labels[4 * i + 3].text, "Z");
        EXPECT_EQ(labels[4 * i + 3].a, x[2].b);
        EXPECT_EQ(labels[4 * i + 3].textColour, Red);
    }
    EXPECT_EQ(surface.Depth(), 0);
}

TEST_F(Raw, CrossesShowTheSensorMatrixColumns) {
    Matrix raw[19];
    for (Matrix& m : raw) {
        m = MatrixIdentity;
    }
    raw[7] = Matrix::RotZ(-1.5707964f); // X onto -Y, Y onto +X
    DrawRawCrosses(surface, raw);
    auto lines = surface.OfKind(Kind::Line);
    Point centre{400 - 240 + 120 * 2, 300 + 180 - 120};
    // X now points at the viewer along -Y: zero length, but yellow.
    EXPECT_EQ(lines[21].b, centre);
    EXPECT_EQ(lines[21].pen.colour, Yellow);
    EXPECT_EQ(lines[22].b, (Point{centre.x + 60, centre.y}));
}

TEST_F(Raw, PlaybackDrawsTheRecordedMatricesOrNothing) {
    Engine.Playback = 1;
    std::vector<Frame> frames;
    UseRecording(frames);
    DrawScene(surface);
    EXPECT_TRUE(surface.Primitives().empty()); // not even the labels

    frames.resize(2);
    for (Frame& f : frames) {
        for (Matrix& m : f.RawMatrices) {
            m = MatrixIdentity;
        }
    }
    frames[1].RawMatrices[0] = Matrix::RotY(-1.5707964f); // Z onto -X
    UseRecording(frames);
    Engine.PlaybackIndex = 1;
    DrawScene(surface);
    auto lines = surface.OfKind(Kind::Line);
    ASSERT_EQ(lines.size(), 57u);
    EXPECT_EQ(lines[2].b, (Point{160 - 59, 480}));
}

} // namespace
} // namespace telvo
