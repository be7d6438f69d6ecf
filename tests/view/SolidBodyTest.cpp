#include "view/SolidBody.h"
#include "ViewTestSupport.h"
#include "view/SceneRenderer.h"
#include "view/ViewMath.h"

#include <cmath>

namespace telvo {
namespace {

Vector V(float x, float y, float z);

class Solid : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        View.ViewRotation = FrontViewRotation; // the viewer looks along +y
    }
    // A bone from the origin to `child` with the parent's orientation.
    DrawItem Bone(Vector child, Matrix parentOrientation = MatrixIdentity) {
        figure.Node(0).Orientation = parentOrientation;
        figure.Node(1).Offset = child;
        DrawItem bone;
        bone.kind = BoneItem;
        bone.OrderClass = OrderBone;
        bone.pos = {0.0f, 0.0f, 0.0f};
        bone.end = Apply(parentOrientation, child);
        EXPECT_TRUE(ComputeRingPoints(figure.Node(0), figure.Node(1), bone));
        return bone;
    }
    std::vector<Rgb> Fills() const {
        std::vector<Rgb> fills;
        for (const auto& t : surface.OfKind(Kind::Triangle)) {
            fills.push_back(*t.fill);
        }
        return fills;
    }

    Figure figure;
};

Vector V(float x, float y, float z) {
    return {x, y, z};
}

void ExpectVectorNear(const Vector& a, Vector e) {
    EXPECT_NEAR(a.x, e.x, 1e-5f);
    EXPECT_NEAR(a.y, e.y, 1e-5f);
    EXPECT_NEAR(a.z, e.z, 1e-5f);
}

TEST_F(Solid, FacesLitFromTheViewer) {
    // Normal (0, -1, 0): straight at the viewer.
    DrawShadedTriangle(surface, V(0, 0, 0), V(1, 0, 0), V(0, 0, 1), false);
    // Normal 60 degrees off the viewing direction: 255 x 0.5, truncated.
    DrawShadedTriangle(surface, V(0, 0, 0), V(1, 0, 0), {0.0f, std::sqrt(3.0f) / 2.0f, 0.5f},
                       false);
    DrawShadedTriangle(surface, V(0, 0, 0), V(1, 0, 0), V(0, 0, 1), true);
    EXPECT_THAT(Fills(),
                ::testing::ElementsAre(Rgb{255, 255, 255}, Rgb{127, 127, 127}, Rgb{0, 255, 0}));
    // Corners projected in their order; the outline is the current pen.
    auto t = surface.OfKind(Kind::Triangle)[0];
    EXPECT_EQ(t.a, (Point{400, 300}));
    EXPECT_EQ(t.b, (Point{406, 300}));
    EXPECT_EQ(t.c, (Point{400, 295})); // -5.5 rounds to -5
}

TEST_F(Solid, BackEdgeOnAndDegenerateFacesAreNotDrawn) {
    DrawShadedTriangle(surface, V(0, 0, 0), V(0, 0, 1), V(1, 0, 0), false); // facing away
    DrawShadedTriangle(surface, V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), false); // edge-on
    DrawShadedTriangle(surface, V(0, 0, 0), V(1, 0, 0), V(2, 0, 0), false); // a line
    DrawShadedTriangle(surface, V(1, 1, 1), V(1, 1, 1), V(1, 1, 1), false); // a point
    EXPECT_TRUE(surface.Primitives().empty());
}

TEST_F(Solid, RingSitsAnEighthAlongAndAroundTheBone) {
    // Along the parent's y axis: w = (-1, 0, 0), v = (0, 0, 1).
    DrawItem bone = Bone({0.0f, 5.0f, 0.0f});
    float h = 5.0f * 0.125f;
    float s = std::sqrt(3.0f) / 2.0f * h;
    ExpectVectorNear(bone.ring[0], {0.0f, h, h});
    ExpectVectorNear(bone.ring[1], {s, h, -h / 2.0f});
    ExpectVectorNear(bone.ring[2], {-s, h, -h / 2.0f});

    // A bone of length 8, turned by its parent: waist radius 1 at 1 from the joint.
    Matrix parent = Matrix::RotX(0.7f) * Matrix::RotZ(-0.4f);
    bone = Bone({3.0f, 0.0f, -7.4161985f}, parent);
    Vector axis = Scaled(bone.end, 1.0f / 8.0f);
    for (const Vector& r : bone.ring) {
        float along = Dot(r, axis);
        Vector off = Sub(r, Scaled(axis, along));
        EXPECT_NEAR(along, 1.0f, 1e-4f);
        EXPECT_NEAR(std::sqrt(Dot(off, off)), 1.0f, 1e-4f);
    }

    DrawItem empty;
    figure.Node(1).Offset = {0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(ComputeRingPoints(figure.Node(0), figure.Node(1), empty));
}

TEST_F(Solid, EachFaceIsDrawnFromExactlyOneSide) {
    Settings.ColorFront = 0;
    DrawItem bone = Bone({1.0f, 2.0f, 9.0f}, Matrix::RotY(0.3f));
    DrawSolidBone(surface, bone);
    size_t front = surface.OfKind(Kind::Triangle).size();
    EXPECT_GE(front, 1u);
    EXPECT_LE(front, 5u);
    for (Rgb fill : Fills()) {
        EXPECT_TRUE(fill.r == fill.g && fill.g == fill.b); // all grey
    }
    // From behind (turned half round about screen up) the other faces show.
    View.ViewRotation = Matrix::RotY(3.14159265f) * FrontViewRotation;
    surface.Clear();
    DrawSolidBone(surface, bone);
    EXPECT_EQ(front + surface.OfKind(Kind::Triangle).size(), 6u);
}

TEST_F(Solid, ColorFrontTintsThePairOppositeRingZero) {
    Settings.ColorFront = 1;
    // Pointing down the parent's -z axis, faces 2 and 5 look along the parent's -y: the viewer.
    DrawItem bone = Bone({0.0f, 0.0f, -8.0f});
    DrawSolidBone(surface, bone);
    int green = 0;
    for (Rgb fill : Fills()) {
        if (fill.r == 0 && fill.b == 0) {
            ++green;
            EXPECT_GT(fill.g, 200);
        } else {
            EXPECT_TRUE(fill.r == fill.g && fill.g == fill.b);
        }
    }
    EXPECT_EQ(green, 2);
}

TEST_F(Solid, LightMovesWithTheCamera) {
    DrawItem bone = Bone({0.0f, 0.0f, 10.0f}, Matrix::RotZ(0.2f));
    for (float turn : {0.0f, 0.8f, 2.0f, -1.3f}) {
        View.ViewRotation = Matrix::RotY(turn) * Matrix::RotX(0.4f) * FrontViewRotation;
        // The brightest face drawn is the one facing the viewer most squarely.
        const Vector(&r)[3] = bone.ring;
        const Vector faces[6][3] = {{bone.pos, r[1], r[0]}, {bone.pos, r[2], r[1]},
                                    {bone.pos, r[0], r[2]}, {bone.end, r[0], r[1]},
                                    {bone.end, r[1], r[2]}, {bone.end, r[2], r[0]}};
        float best = 0.0f;
        for (const auto& f : faces) {
            Vector n = Cross(Sub(f[1], f[0]), Sub(f[2], f[0]));
            best = std::fmax(best, Dot(n, Row(View.ViewRotation, 2)) / std::sqrt(Dot(n, n)));
        }
        surface.Clear();
        DrawSolidBone(surface, bone);
        int brightest = 0;
        for (Rgb fill : Fills()) {
            brightest = std::max(brightest, int{fill.g}); // grey or green
        }
        EXPECT_NEAR(brightest, best * 255.0f, 1.0f) << "turn " << turn;
    }
}

} // namespace
} // namespace telvo
