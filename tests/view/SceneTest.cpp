#include "ViewTestSupport.h"
#include "core/Text.h"
#include "telvoria/sim/Tracker.h"
#include "view/Camera.h"
#include "view/SceneRenderer.h"
#include "view/SolidBody.h"

namespace telvo {
namespace {

// A skeleton placed by hand.
class Scene : public ViewTest {
protected:
    ::Skeleton skeleton{};
    Frame frame{};
};

TEST_F(Scene, DepthOrderWithTiesByClass) {
    OnFrontView(platform); // depth grows towards the viewer, along -y
    const DrawItem node{.OrderClass = OrderNode}, marker{.OrderClass = OrderMarker};
    DrawItem bone{.kind = BoneItem, .OrderClass = OrderBone, .pos = {-1.0f, 0.0f, 0.0f}};
    bone.end = {1.0f, 0.0f, 0.0f};
    const DrawItem nearer{.OrderClass = OrderBone, .pos = {0.0f, -1.0f, 0.0f}};
    EXPECT_EQ(CompareDrawItems(&node, &node), 0);
    DrawList list{{nearer, marker, node, bone}, 4};
    SortDrawList(list);
    EXPECT_EQ(list.Items[0].kind, BoneItem);
    EXPECT_EQ(list.Items[1].OrderClass, OrderNode);
    EXPECT_EQ(list.Items[2].OrderClass, OrderMarker);
    EXPECT_EQ(list.Items[3].pos.y, -1.0f);
}

TEST_F(Scene, GridAndProjectionStayBoundedAtAnyAngleOrScale) {
    OnFrontView(platform);
    // A millionth of a radian off edge-on: millions of units deep, held to 100.
    View.ViewRotation = Matrix::RotX(1e-6f) * FrontViewRotation;
    DrawGrid(surface);
    EXPECT_EQ(surface.Of(Kind::Line).size(), 9u + 201u);
    OnTopView(platform);
    View.ViewScale = 1e30f;
    EXPECT_EQ(ProjectToScreen({1.0f, 0.0f, 0.0f}).x, 400 + (1 << 20));
}

// Every face of the closed solid shows from exactly one side; a bone of no length has none.
TEST_F(Scene, SolidBonesCullTheirBackFaces) {
    OnFrontView(platform);
    DrawItem bone;
    skeleton.Nodes[0].Orientation = MatrixIdentity;
    bone.end = skeleton.Nodes[1].Offset = {1.0f, 2.0f, 9.0f};
    ASSERT_TRUE(ComputeRingPoints(skeleton.Nodes[0], skeleton.Nodes[1], bone));
    DrawSolidBone(surface, bone);
    View.ViewRotation = Matrix::RotY(3.14159265f) * FrontViewRotation;
    DrawSolidBone(surface, bone);
    EXPECT_EQ(surface.Of(Kind::Triangle).size(), 6u);
    skeleton.Nodes[1].Offset = {0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(ComputeRingPoints(skeleton.Nodes[0], skeleton.Nodes[1], bone));
}

unsigned Hex(Rgb c) {
    return c.r << 16 | c.g << 8 | c.b;
}

// The picture's texts, and circles with their centres, widths and pens; no grid, axes or north.
std::string Drawn(RecordingSurface& surface, const Skeleton& skeleton, const Frame& frame) {
    Settings.ShowGrid = Settings.ShowAxes = Settings.ShowNorth = 0;
    surface.Clear();
    DrawPosedScene(surface, skeleton, frame);
    std::string all;
    for (const auto& e : surface.Of(Kind::Ellipse)) {
        all += Format("(%d,%d) %d %d:%06x; ", (e.a.x + e.b.x) / 2, (e.a.y + e.b.y) / 2,
                      e.b.x - e.a.x, e.pen.width, Hex(e.pen.colour));
    }
    for (const auto& t : surface.Of(Kind::Text)) {
        all += Format("%s (%d,%d) %06x; ", t.text.c_str(), t.a.x, t.a.y, Hex(t.textColour));
    }
    return all;
}

TEST_F(Scene, ContactShadowsUnderTheLowestPointUnlessTheFrameMasksThem) {
    int contacts[] = {20, 25, 31}; // the last names no node
    Engine.ContactPointIndices = contacts;
    Engine.ContactPointCount = 3;
    Engine.ActorData.ContactRadius[20] = 0.2f;
    Engine.ActorData.ContactRadius[25] = 0.5f;
    OnTopView(platform);
    skeleton.Nodes[20].Position = {10.0f, 0.0f, 0.2f + 11.9f};
    skeleton.Nodes[25].Position = {-10.0f, 0.0f, 0.5f + 12.0f};
    View.ContactMask = 0x1; // the touching point in red
    EXPECT_EQ(
        Drawn(surface, skeleton, frame),
        "(460,300) 8 2:0000ff; (460,300) 2 2:ffffff; (460,300) 8 2:ff0000; (341,300) 6 2:ffffff; ");
    frame.ShadowMaskValid = 1; // a valid mask without the point's bit: no shadow
    frame.ShadowMask = 0x2;
    EXPECT_EQ(Drawn(surface, skeleton, frame),
              "(460,300) 2 2:ffffff; (460,300) 8 2:ff0000; (341,300) 6 2:ffffff; ");
}

// Names sit 8 pixels right of their node over a shadow; node 15's also 8 pixels lower.
TEST_F(Scene, NodeNamesBesideTheirNodesAndTheRightWristsBelowTheRest) {
    OnTopView(platform);
    Settings.ShowNodeNames = 1;
    std::string drawn = Drawn(surface, skeleton, frame); // every node at the origin
    const std::string usual = " (408,300) 00ff00; ";
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        const std::string name = GyroGetNodeName(i);
        EXPECT_NE(drawn.find(name + (i == 15 ? " (408,308) 00ff00; " : usual)), std::string::npos)
            << name;
    }
    EXPECT_NE(drawn.find("RightWrist (410,310) 000000; "), std::string::npos);
}

TEST_F(Scene, TrackerStatusTextsFollowTheLibrarysStatusWord) {
    sim::SetTrackerPresent(true);
    sim::SetTrackerSync(0); // a measurement with every frame
    ASSERT_EQ(GyroInit(), 1);
    Engine.SuitHandle = GyroOpen(nullptr, nullptr, nullptr);
    auto texts = [this](int enableTracking) {
        Settings.EnableTracking = enableTracking;
        return Drawn(surface, skeleton, frame);
    };
    EXPECT_EQ(texts(0), "");
    EXPECT_EQ(texts(1), "Synchronizing... (2,22) ff0000; "); // the library is not on
    ASSERT_EQ(GyroEnableMarkerTracking(Engine.SuitHandle, 1), 1);
    EXPECT_EQ(texts(1), "Tracking (66,2) ffff00; Waiting for Null... (2,22) ff0000; ");
    GyroSetNull(Engine.SuitHandle);
    EXPECT_EQ(texts(1), "Tracking (66,2) ffff00; Synchronizing... (2,22) ff0000; ");
    sim::Deliver(Engine.SuitHandle, sim::LockMeasurements);
    EXPECT_EQ(texts(1), "Tracking (66,2) ffff00; Tracker Synchronized (2,22) ffffff; ");
    EXPECT_EQ(texts(0), "Tracking (66,2) ffff00; ");
    Settings.ShowMarkers = 0;
    EXPECT_EQ(texts(1), "");
}

TEST_F(Scene, MarkersByTheirFlagBitsEachInItsColourSizeAndLabelRow) {
    OnTopView(platform);
    View.ViewScale = 10.0f;
    frame.MarkerPositions[1] = {1.0f, 0.0f, 0.0f};
    frame.MarkerPositions[2] = {2.0f, 0.0f, 0.0f};
    frame.Flags = FrameMarker0 | FrameMarker1 | FrameMarker2; // the third needs 0x400 too
    EXPECT_EQ(Drawn(surface, skeleton, frame),
              "(400,300) 16 2:ffff00; (410,300) 8 2:00ff00; Marker1 (408,292) ffff00; "
              "Marker2 (418,300) 00ff00; ");
    Settings.ShowMarkerNames = 0;
    frame.Flags = FrameMarker2 | FrameThirdMarkerInUse | 0x8;
    EXPECT_EQ(Drawn(surface, skeleton, frame), "(420,300) 8 2:ffffff; ");
}

} // namespace
} // namespace telvo
