#include "ViewTestSupport.h"
#include "view/Camera.h"
#include "view/SceneRenderer.h"
#include "view/SolidBody.h"

#include <cmath>

namespace telvo {
namespace {

using ::testing::ElementsAre;

class Scene : public ViewTest {
protected:
    std::vector<RecordingSurface::Primitive> Circles(Rgb colour) const {
        return surface.Of(Kind::Ellipse, Pen{2, colour});
    }
    Figure figure;
    Frame frame{};
};

TEST_F(Scene, GridIsAHorizonEdgeOnAndCoversTheAreaFromAbove) {
    OnFrontView(platform);
    DrawGrid(surface); // +-100 units at 100 pixels a unit through the origin at (400, 516)
    auto lines = surface.Of(Kind::Line, Pen{2, Black});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].a, (Point{400 - 9999, 516}));
    EXPECT_EQ(lines[0].b, (Point{400 + 10000, 516}));

    OnTopView(platform);
    surface.Clear();
    DrawGrid(surface); // corners back-projected to x = +-4, y = +-3
    std::vector<int> columns, rows;
    for (const auto& line : surface.Of(Kind::Line)) {
        (line.a.x == line.b.x ? columns : rows)
            .push_back(line.a.x == line.b.x ? line.a.x : line.a.y);
    }
    // 100 pixels apart, 99 where the rounding changes sides at the centre.
    EXPECT_THAT(columns, ElementsAre(1, 101, 201, 301, 400, 500, 600, 700, 800));
    EXPECT_THAT(rows, ElementsAre(600, 500, 400, 300, 201, 101, 1));

    // A millionth of a radian off edge-on: millions of units deep, held to 100.
    View.ViewRotation = Matrix::RotX(1e-6f) * FrontViewRotation;
    surface.Clear();
    DrawGrid(surface);
    EXPECT_EQ(surface.Of(Kind::Line).size(), 9u + 201u);
}

// Rounding half away from the centre line is checked where it shows: the grid, the markers.
TEST_F(Scene, ProjectionIsBoundedAtAnyScale) {
    OnTopView(platform);
    View.ViewScale = 1e30f;
    EXPECT_EQ(ProjectToScreen({1.0f, 0.0f, 0.0f}).x, 400 + (1 << 20));
}

TEST_F(Scene, ContactShadowsRadiiAndPoints) {
    int contacts[] = {20, 25, 31}; // the last names no node
    Engine.ContactPointIndices = contacts;
    Engine.ContactPointCount = 3;
    Engine.ActorData.ContactRadius[20] = 0.2f;
    Engine.ActorData.ContactRadius[25] = 0.5f;
    OnTopView(platform);
    figure.Place(20, {10.0f, 0.0f, 0.2f + 11.9f});
    figure.Place(25, {-10.0f, 0.0f, 0.5f + 12.0f});
    View.ContactMask = 0x1;
    DrawPosedScene(surface, figure.skeleton, frame);
    // A shadow under the lower point only, 8 pixels wide on the floor.
    auto shadows = Circles(Blue);
    ASSERT_EQ(shadows.size(), 1u);
    EXPECT_EQ(shadows[0].a, (Point{460 - 4, 296}));
    EXPECT_EQ(shadows[0].b, (Point{460 + 4, 304}));
    // Radius 0.2 at scale 6: trunc(1.7) = 1; the touching point's circle is at least 4.
    ASSERT_EQ(Circles(White).size(), 2u);
    EXPECT_EQ(Circles(White)[0].b.x - Circles(White)[0].a.x, 2);
    EXPECT_EQ(Circles(White)[1].b.x - Circles(White)[1].a.x, 6);
    ASSERT_EQ(Circles(Red).size(), 1u);
    EXPECT_EQ(Circles(Red)[0].b.x - Circles(Red)[0].a.x, 8);

    frame.ShadowMaskValid = 1; // a valid mask without the point's bit: no shadow
    frame.ShadowMask = 0x2;
    surface.Clear();
    DrawContactShadows(surface, figure.skeleton, frame);
    EXPECT_TRUE(Circles(Blue).empty());
}

TEST_F(Scene, MarkersAndNodeLabels) {
    Settings.ShowAxes = Settings.ShowNorth = Settings.ShowMarkerNames = 0; // no other texts
    Settings.ShowNodeNames = 1;
    OnTopView(platform);
    View.ViewScale = 1.0f;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        figure.Place(i, {static_cast<float>(10 * i), 0.0f, 0.0f});
    }
    frame.Flags = FrameMarker0 | FrameMarker2; // marker 2 needs bit 10 as well
    frame.MarkerPositions[2] = {20.0f, 50.0f, 0.0f};
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_EQ(surface.Of(Kind::Ellipse).size(), 1u);
    frame.Flags |= FrameThirdMarkerInUse;
    surface.Clear();
    DrawPosedScene(surface, figure.skeleton, frame);
    ASSERT_EQ(Circles(White).size(), 1u);
    EXPECT_EQ(Circles(White)[0].a, (Point{420 - 4, 251 - 4})); // -49.5 truncates to -49

    // Node names: a black copy 2 pixels down and right first, then green, 8 to the right of
    // the node; node 15's sits 8 lower.
    auto texts = surface.Of(Kind::Text);
    ASSERT_EQ(texts.size(), 60u);
    for (size_t i = 0; i < texts.size(); i += 2) {
        int node = (texts[i + 1].a.x - 408) / 10;
        EXPECT_EQ(texts[i + 1].a, (Point{408 + 10 * node, node == 15 ? 308 : 300}));
        EXPECT_EQ(texts[i + 1].textColour, Green);
        EXPECT_TRUE(texts[i + 1].labelFont);
        EXPECT_EQ(texts[i].a, (Point{texts[i + 1].a.x + 2, texts[i + 1].a.y + 2}));
        EXPECT_EQ(texts[i].textColour, Black);
    }
    surface.labelFontAvailable = false; // without the font: circles, no names
    surface.Clear();
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_TRUE(surface.Of(Kind::Text).empty());
    EXPECT_EQ(surface.Of(Kind::Ellipse).size(), 2u);
}

TEST_F(Scene, DepthOrderWithTiesByClass) {
    OnFrontView(platform); // depth grows towards the viewer, along -y
    DrawItem bone, node, marker, nearer;
    bone.kind = BoneItem;
    bone.OrderClass = nearer.OrderClass = OrderBone;
    bone.pos = {-1.0f, 0.0f, 0.0f};
    bone.end = {1.0f, 0.0f, 0.0f};
    node.OrderClass = OrderNode;
    marker.OrderClass = OrderMarker;
    nearer.pos = {0.0f, -1.0f, 0.0f};
    EXPECT_EQ(CompareDrawItems(&node, &node), 0);
    DrawList list;
    for (const DrawItem& item : {nearer, marker, node, bone}) {
        list.Add(item);
    }
    SortDrawList(list);
    EXPECT_EQ(list.Items[0].kind, BoneItem);
    EXPECT_EQ(list.Items[1].OrderClass, OrderNode);
    EXPECT_EQ(list.Items[2].OrderClass, OrderMarker);
    EXPECT_EQ(list.Items[3].pos.y, -1.0f);
}

TEST_F(Scene, DrawListDropsWhatItCannotHold) {
    std::vector<int> many(200, 3); // far more contact points than the list holds
    Engine.ContactPointIndices = many.data();
    Engine.ContactPointCount = 200;
    Engine.ActorData.ContactRadius[3] = 2.0f;
    Settings.ShowNodes = 1;
    for (int i = 0; i + 1 < SkeletonNodeCount; ++i) {
        figure.Place(i + 1, {0.0f, 0.0f, static_cast<float>(i + 1)});
        figure.Link(i, i + 1);
    }
    figure.skeleton.Nodes[4].ChildCount = 99; // never read past the three children
    DrawList list;
    BuildDrawList(list, figure.skeleton, frame);
    EXPECT_EQ(list.Count, DrawListCapacity);
    EXPECT_EQ(list.Items[28].kind, BoneItem);
    EXPECT_EQ(list.Items[59].OrderClass, OrderContactRadius);
}

// With nothing to show the picture stays grey: CompositionTest.
TEST_F(Scene, WireframeBonesInTwoStrokesAndThePenRestored) {
    surface.SetPen({3, Blue});
    Settings.RenderType = 1;
    figure.Place(1, {0.0f, 0.0f, 10.0f});
    figure.Link(0, 1);
    DrawPosedScene(surface, figure.skeleton, frame);
    auto lines = surface.Of(Kind::Line); // the bone last: grey under white
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].pen, (Pen{4, Grey}));
    EXPECT_EQ(lines.back().pen, (Pen{2, White}));
    EXPECT_EQ(surface.Depth(), 0);
    EXPECT_EQ(surface.CurrentPen(), (Pen{3, Blue}));
}

TEST_F(Scene, FacesAreLitFromTheViewerAndCulledFromBehind) {
    OnFrontView(platform); // the viewer looks along +y
    View.ViewPanY = 0.0f;
    auto face = [this](Vector p3, bool green) {
        surface.Clear();
        DrawShadedTriangle(surface, {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, p3, green);
        auto t = surface.Of(Kind::Triangle);
        return t.empty() ? Rgb{1, 2, 3} : *t[0].fill;
    };
    EXPECT_EQ(face({0.0f, 0.0f, 1.0f}, false), (Rgb{255, 255, 255})); // facing the viewer
    EXPECT_EQ(surface.All()[0].c, (Point{400, 295}));
    EXPECT_EQ(face({0.0f, std::sqrt(3.0f) / 2.0f, 0.5f}, false), (Rgb{127, 127, 127})); // 60°
    EXPECT_EQ(face({0.0f, 0.0f, 1.0f}, true), (Rgb{0, 255, 0}));
    EXPECT_EQ(face({0.0f, 0.0f, -1.0f}, false), (Rgb{1, 2, 3})); // facing away
    EXPECT_EQ(face({0.0f, 1.0f, 0.0f}, false), (Rgb{1, 2, 3}));  // edge-on
    EXPECT_EQ(face({2.0f, 0.0f, 0.0f}, false), (Rgb{1, 2, 3}));  // degenerate

    // A bone along its parent's y axis: w = (-1, 0, 0), v = (0, 0, 1), ring 0 on the v side.
    DrawItem bone;
    bone.end = figure.skeleton.Nodes[1].Offset = {0.0f, 5.0f, 0.0f};
    ASSERT_TRUE(ComputeRingPoints(figure.skeleton.Nodes[0], figure.skeleton.Nodes[1], bone));
    const float h = 5.0f / 8.0f, s = std::sqrt(3.0f) / 2.0f * h;
    ExpectNear(Matrix(bone.ring[0], bone.ring[1], bone.ring[2]),
               Matrix(Vector{0.0f, h, h}, Vector{s, h, -h / 2}, Vector{-s, h, -h / 2}));
    // Every face of the closed solid shows from exactly one side.
    bone.end = figure.skeleton.Nodes[1].Offset = {1.0f, 2.0f, 9.0f};
    ComputeRingPoints(figure.skeleton.Nodes[0], figure.skeleton.Nodes[1], bone);
    surface.Clear();
    DrawSolidBone(surface, bone);
    View.ViewRotation = Matrix::RotY(3.14159265f) * FrontViewRotation;
    DrawSolidBone(surface, bone);
    EXPECT_EQ(surface.Of(Kind::Triangle).size(), 6u);
    figure.skeleton.Nodes[1].Offset = {0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(ComputeRingPoints(figure.skeleton.Nodes[0], figure.skeleton.Nodes[1], bone));
}

} // namespace
} // namespace telvo
