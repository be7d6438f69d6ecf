#include "view/SceneRenderer.h"
#include "ViewTestSupport.h"
#include "view/Camera.h"

#include <algorithm>

namespace telvo {
namespace {

using ::testing::ElementsAre;

constexpr Pen GridPen{2, Black};

class Scene : public ViewTest {
protected:
    // Contact points on nodes 20 and 25, each with a radius.
    void UseContacts(float radius) {
        Engine.ContactPointIndices = contacts;
        Engine.ContactPointCount = 2;
        Engine.ActorData.ContactRadius[20] = radius;
        Engine.ActorData.ContactRadius[25] = radius;
    }
    std::vector<RecordingSurface::Primitive> Ellipses(Pen pen) const {
        return surface.WithPen(Kind::Ellipse, pen);
    }

    int contacts[2] = {20, 25};
    Figure figure;
    Frame frame{};
};

TEST_F(Scene, FrontViewGridIsOneHorizonLineThroughTheOrigin) {
    OnFrontView(platform);
    DrawGrid(surface);
    auto lines = surface.WithPen(Kind::Line, GridPen);
    ASSERT_EQ(lines.size(), 1u);
    // +-100 units at 100 pixels a unit, about the projected origin (400, 300 + 216).
    EXPECT_EQ(lines[0].a, (Point{400 - 9999, 516}));
    EXPECT_EQ(lines[0].b, (Point{400 + 10000, 516}));

    // Seen from the side the horizon runs along world y.
    OnRightSideView(platform);
    surface.Clear();
    DrawGrid(surface);
    lines = surface.WithPen(Kind::Line, GridPen);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].a.x, 400 - 9999);
}

TEST_F(Scene, TopViewGridCoversTheAreaAtOneUnitSpacing) {
    OnTopView(platform);
    DrawGrid(surface);
    std::vector<int> columns;
    std::vector<int> rows;
    for (const auto& line : surface.WithPen(Kind::Line, GridPen)) {
        if (line.a.x == line.b.x) {
            columns.push_back(line.a.x);
            EXPECT_EQ(line.a.y, 600); // y = -3
            EXPECT_EQ(line.b.y, 1);   // y = +3, rounded towards the centre
        } else {
            rows.push_back(line.a.y);
            EXPECT_EQ(line.a.x, 1);
            EXPECT_EQ(line.b.x, 800);
        }
    }
    // 100 pixels apart, except where the rounding changes sides at the centre.
    EXPECT_THAT(columns, ElementsAre(1, 101, 201, 301, 400, 500, 600, 700, 800));
    EXPECT_THAT(rows, ElementsAre(600, 500, 400, 300, 201, 101, 1));
}

TEST_F(Scene, GridOfANearlyEdgeOnFloorIsClamped) {
    // Tilted a millionth of a radian from the front view: the screen's width covers 4 units
    // either side, its height millions of units into the distance, held at 100.
    View.ViewRotation = Matrix::RotX(1e-6f) * FrontViewRotation;
    View.ViewPanY = 216.0f;
    DrawGrid(surface);
    auto lines = surface.WithPen(Kind::Line, GridPen);
    ASSERT_EQ(lines.size(), 9u + 201u);
    // The last 201 run across, the farthest 100 units away.
    EXPECT_EQ(lines[9].a.x, 1);
    EXPECT_EQ(lines[9].b.x, 800);
    EXPECT_EQ(lines[0].b, ProjectToScreen({-4.0f, 100.0f, 0.0f}, GridScale));

    // A rotation that is not a number draws no runaway grid either.
    View.ViewRotation.m11 = std::numeric_limits<float>::quiet_NaN();
    surface.Clear();
    DrawGrid(surface);
    EXPECT_LE(surface.Primitives().size(), 402u);
}

TEST_F(Scene, ProjectionRoundsHalfPixelsAwayFromTheLeftAndTop) {
    View.ViewRotation = TopViewRotation;
    View.ViewScale = 1.0f;
    EXPECT_EQ(ProjectToScreen({-2.5f, 0.0f, 0.0f}).x, 400 - 2);
    EXPECT_EQ(ProjectToScreen({2.5f, 0.0f, 0.0f}).x, 400 + 3);
    EXPECT_EQ(ProjectToScreen({0.0f, 2.5f, 0.0f}).y, 300 - 2); // up on the screen
    EXPECT_EQ(ProjectToScreen({0.0f, -2.5f, 0.0f}).y, 300 + 3);
    // Depth does not move a point; pan and odd sizes do.
    View.ViewWidth = 801;
    View.ViewPanX = 10.25f;
    View.ViewPanY = -0.75f;
    EXPECT_EQ(ProjectToScreen({1.0f, 0.0f, 55.0f}), (Point{400 + 11, 300 + 0}));
    // Far off the picture: passed on as it is, bounded.
    View.ViewScale = 1e30f;
    EXPECT_EQ(ProjectToScreen({1.0f, 0.0f, 0.0f}).x, 400 + (1 << 20));
}

TEST_F(Scene, AxesAndNorthKeepTheirSizeWhenZooming) {
    OnFrontView(platform);
    View.NorthVector = {0.0f, 0.5f, 0.0f}; // into the screen in the front view
    for (float scale : {6.0f, 60.0f}) {
        View.ViewScale = scale;
        surface.Clear();
        DrawAxes(surface);
        DrawNorth(surface);
        auto axes = surface.WithPen(Kind::Line, {2, Yellow});
        ASSERT_EQ(axes.size(), 3u);
        EXPECT_EQ(axes[0].b, (Point{500, 516}));
        EXPECT_EQ(axes[2].b, (Point{400, 416}));
        EXPECT_EQ(surface.TextsSaying("X")[0].textColour, Red);
        EXPECT_EQ(surface.TextsSaying("Z")[0].a, (Point{400, 416}));
        auto north = surface.WithPen(Kind::Line, {2, Green});
        ASSERT_EQ(north.size(), 1u);
        EXPECT_EQ(north[0].a, (Point{400, 516}));
        EXPECT_EQ(surface.TextsSaying("N")[0].textColour, Black);
    }
}

TEST_F(Scene, ShadowOnlyBelowTwelveUnitsAboveTheContactRadius) {
    OnlySettings({});
    UseContacts(1.5f);
    View.ViewRotation = TopViewRotation;
    figure.Place(20, {10.0f, 0.0f, 1.5f + 11.9f});
    figure.Place(25, {-10.0f, 0.0f, 1.5f + 12.0f});
    DrawContactShadows(surface, figure.skeleton, frame);
    auto shadows = Ellipses({2, Blue});
    ASSERT_EQ(shadows.size(), 1u);
    EXPECT_EQ(shadows[0].a, (Point{460 - 4, 300 - 4}));
    EXPECT_EQ(shadows[0].b, (Point{460 + 4, 300 + 4}));

    // A valid shadow mask without the point's bit: no shadow.
    frame.ShadowMaskValid = 1;
    frame.ShadowMask = 0x2;
    surface.Clear();
    DrawContactShadows(surface, figure.skeleton, frame);
    EXPECT_TRUE(Ellipses({2, Blue}).empty());
}

TEST_F(Scene, ContactRadiusAndContactPointCircles) {
    OnlySettings({&Settings.ShowContactPointRadii, &Settings.ShowContactPoints});
    UseContacts(0.2f);
    Engine.ActorData.ContactRadius[25] = 0.05f; // under half a pixel at scale 6
    View.ViewRotation = TopViewRotation;
    View.ContactMask = 0x1; // only the first point touches the floor
    DrawPosedScene(surface, figure.skeleton, frame);
    auto radii = Ellipses({2, White});
    ASSERT_EQ(radii.size(), 1u); // trunc(6 x 0.2 + 0.5) = 1; the other rounds to 0
    EXPECT_EQ(radii[0].a, (Point{399, 299}));
    EXPECT_EQ(radii[0].b, (Point{401, 301}));
    auto points = Ellipses({2, Red});
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].b, (Point{404, 304})); // at least 4 pixels
}

TEST_F(Scene, MarkersNeedTheirBitsAndTheThirdOneBitTen) {
    OnlySettings({&Settings.ShowMarkers, &Settings.ShowMarkerNames});
    View.ViewRotation = TopViewRotation;
    View.ViewScale = 1.0f;
    frame.Flags = FrameMarker0 | FrameMarker2;
    frame.MarkerPositions[0] = {10.0f, 0.0f, 0.0f};
    frame.MarkerPositions[2] = {20.0f, 0.0f, 0.0f};
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_EQ(surface.OfKind(Kind::Ellipse).size(), 1u);
    auto yellow = Ellipses({2, Yellow});
    ASSERT_EQ(yellow.size(), 1u);
    EXPECT_EQ(yellow[0].a, (Point{410 - 8, 300 - 8}));

    frame.Flags |= FrameThirdMarkerInUse;
    surface.Clear();
    DrawPosedScene(surface, figure.skeleton, frame);
    auto white = Ellipses({2, White});
    ASSERT_EQ(white.size(), 1u);
    EXPECT_EQ(white[0].a, (Point{420 - 4, 300 - 4}));
    // Labels: 8 to the right, marker 0 8 up and marker 2 8 down, in the label font.
    int labelled = 0;
    for (const auto& text : surface.OfKind(Kind::Text)) {
        if (text.textColour == White) {
            EXPECT_EQ(text.a, (Point{428, 308}));
            EXPECT_TRUE(text.labelFont);
            ++labelled;
        }
    }
    EXPECT_EQ(labelled, 1);
}

TEST_F(Scene, NodeLabelsHaveAShadowAndNode15SitsLower) {
    OnlySettings({&Settings.ShowNodes, &Settings.ShowNodeNames});
    View.ViewRotation = TopViewRotation;
    View.ViewScale = 1.0f;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        figure.Place(i, {static_cast<float>(10 * i), 0.0f, 0.0f});
    }
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_EQ(Ellipses({2, Green}).size(), 30u);
    auto texts = surface.OfKind(Kind::Text);
    ASSERT_EQ(texts.size(), 60u);
    for (size_t i = 0; i < texts.size(); i += 2) {
        const auto& shadow = texts[i];
        const auto& label = texts[i + 1];
        int node = (label.a.x - 8 - 400) / 10;
        int dy = node == 15 ? 8 : 0;
        EXPECT_EQ(label.a, (Point{400 + 10 * node + 8, 300 + dy})) << "node " << node;
        EXPECT_EQ(label.textColour, Green);
        EXPECT_EQ(shadow.textColour, Black);
        EXPECT_EQ(shadow.a, (Point{label.a.x + 2, label.a.y + 2}));
    }

    // Without the label font the circles stay and the names go.
    RecordingSurface noFont;
    noFont.labelFontAvailable = false;
    DrawPosedScene(noFont, figure.skeleton, frame);
    EXPECT_EQ(noFont.OfKind(Kind::Ellipse).size(), 30u);
    EXPECT_TRUE(noFont.OfKind(Kind::Text).empty());
}

TEST_F(Scene, EqualDepthsDrawBonesThenNodesThenMarkers) {
    View.ViewRotation = FrontViewRotation;
    DrawItem bone;
    bone.kind = BoneItem;
    bone.OrderClass = OrderBone;
    bone.pos = {-1.0f, 0.0f, 0.0f};
    bone.end = {1.0f, 0.0f, 0.0f}; // midpoint at depth 0
    DrawItem node;
    node.OrderClass = OrderNode;
    DrawItem marker;
    marker.OrderClass = OrderMarker;
    DrawItem nearer;
    nearer.OrderClass = OrderBone; // the lowest class, but in front of all
    nearer.pos = {0.0f, -1.0f, 0.0f};

    EXPECT_EQ(CompareDrawItems(&bone, &node), -1);
    EXPECT_EQ(CompareDrawItems(&marker, &node), 1);
    EXPECT_EQ(CompareDrawItems(&node, &node), 0);
    EXPECT_EQ(CompareDrawItems(&nearer, &bone), 1);
    EXPECT_EQ(CompareDrawItems(&bone, &nearer), -1);

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

TEST_F(Scene, WireframeBonesAreTwoStrokesAndRenderNothingKeepsTheRest) {
    OnlySettings({&Settings.ShowNodes});
    Settings.RenderType = 1;
    View.ViewRotation = TopViewRotation;
    View.ViewScale = 1.0f;
    figure.Place(1, {0.0f, 10.0f, 0.0f});
    figure.Place(2, {10.0f, 10.0f, 0.0f});
    figure.Link(0, 1);
    figure.Link(1, 2);
    DrawPosedScene(surface, figure.skeleton, frame);
    auto under = surface.WithPen(Kind::Line, {4, Grey});
    auto over = surface.WithPen(Kind::Line, {2, White});
    ASSERT_EQ(under.size(), 2u);
    ASSERT_EQ(over.size(), 2u);
    EXPECT_EQ(under[0].a, over[0].a);
    EXPECT_EQ(under[0].b, over[0].b);

    Settings.RenderType = 0;
    surface.Clear();
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_TRUE(surface.OfKind(Kind::Line).empty());
    EXPECT_EQ(surface.OfKind(Kind::Ellipse).size(), 30u);
}

TEST_F(Scene, DrawListDropsItemsBeyondItsCapacity) {
    // A library that lists far more contact points than the list can hold, and some
    // that name no node.
    std::vector<int> many(200, 3);
    many[5] = -1;
    many[6] = 30;
    Engine.ContactPointIndices = many.data();
    Engine.ContactPointCount = static_cast<int>(many.size());
    Engine.ActorData.ContactRadius[3] = 2.0f;
    View.ContactMask = 0xFFFFFFFFu;
    Settings.ShowNodes = 1;
    for (int i = 0; i + 1 < SkeletonNodeCount; ++i) {
        figure.Place(i + 1, {0.0f, 0.0f, static_cast<float>(i + 1)});
        figure.Link(i, i + 1);
    }
    figure.Node(4).ChildCount = 99; // never read past the three children
    frame.Flags = FrameMarker0 | FrameMarker1 | FrameMarker2 | FrameThirdMarkerInUse;
    DrawList list;
    BuildDrawList(list, figure.skeleton, frame);
    EXPECT_EQ(list.Count, DrawListCapacity);
    // The list was filled in order: 29 bones, 30 nodes, then contact radii up to the end.
    EXPECT_EQ(list.Items[28].kind, BoneItem);
    EXPECT_EQ(list.Items[58].OrderClass, OrderNode);
    EXPECT_EQ(list.Items[59].OrderClass, OrderContactRadius);
    EXPECT_EQ(list.Items[DrawListCapacity - 1].OrderClass, OrderContactRadius);
    DrawPosedScene(surface, figure.skeleton, frame);
    EXPECT_EQ(surface.Depth(), 0);
}

TEST_F(Scene, DrawSceneStaysGreyWithoutAPoseAndRestoresThePen) {
    surface.SetPen({3, Blue});
    DrawScene(surface); // not live, no recording
    EXPECT_TRUE(surface.Primitives().empty());

    Engine.Live = 1;
    DrawScene(surface);
    EXPECT_FALSE(surface.Primitives().empty());
    EXPECT_EQ(surface.Depth(), 0);
    EXPECT_EQ(surface.CurrentPen(), (Pen{3, Blue}));
}

TEST_F(Scene, TrackerTexts) {
    Settings.EnableTracking = 1;
    DrawTrackerStatus(surface); // no suit: the library answers 0
    ASSERT_EQ(surface.TextContents().size(), 1u);
    EXPECT_EQ(surface.TextContents()[0], "Synchronizing...");
    EXPECT_EQ(surface.Primitives()[0].a, (Point{2, 22}));
    EXPECT_EQ(surface.Primitives()[0].textColour, Red);
    Settings.EnableTracking = 0;
    surface.Clear();
    DrawTrackerStatus(surface);
    EXPECT_TRUE(surface.Primitives().empty());
}

} // namespace
} // namespace telvo
