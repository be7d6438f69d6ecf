// The 30-node skeleton: its tree, the solver, actor measurements and the floor.
#include "telvoria/skeleton/Math.h"
#include "tests/telvoria/SimFixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>

namespace telvo::test {
namespace {

using math::Length;
using math::Sub;

const float nan = std::numeric_limits<float>::quiet_NaN();

Frame FrameWith(const Matrix& every, Vector root) {
    Frame f{};
    std::ranges::fill(f.RawMatrices, every);
    f.RootPosition = root;
    return f;
}

using Marks = std::array<bool, SkeletonNodeCount>;

// Marks node i and what hangs from it; a child always comes after its parent.
void Mark(const Skeleton& s, int i, Marks& marks) {
    marks[i] = true;
    for (int c = 0; c < s.Nodes[i].ChildCount; ++c) {
        for (int n = i + 1; n < SkeletonNodeCount; ++n) {
            if (s.Nodes[i].Children[c] == &s.Nodes[n]) {
                Mark(s, n, marks);
            }
        }
    }
}

struct SkeletonTest : SimTest {
    void SetUp() override {
        SimTest::SetUp();
        GyroInitSkeleton(&skel);
        GyroGetActorData(0, &actor);
    }
    Skeleton skel;
    ActorData actor;
};

// In the null pose; then each sensor turns one segment, bones keeping their lengths, and only
// what hangs from it moves.
TEST_F(SkeletonTest, NullPoseIsOneTreeOfThirtyNodesAndEachSensorTurnsOneSegment) {
    const Skeleton rest = skel; // its pose before any frame is the null pose too
    const Frame still = FrameWith(MatrixIdentity, skel.Nodes[0].Offset);
    ASSERT_EQ(GyroApplyFrame(&skel, &still), 1);
    Marks tree{};
    Mark(skel, 0, tree);
    int children = 0;
    float top = 0.0f;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        const SkeletonNode& n = skel.Nodes[i];
        children += n.ChildCount;
        EXPECT_TRUE(tree[i]) << GyroGetNodeName(i) << " hangs in the air";
        top = std::max(top, n.Position.z);
        EXPECT_LT(Length(Sub(n.Position, rest.Nodes[i].Position)), 1e-4f) << GyroGetNodeName(i);
    }
    EXPECT_EQ(children, SkeletonNodeCount - 1) << "every node but the root has one parent";
    EXPECT_STREQ(GyroGetNodeName(30), "");
    EXPECT_STREQ(GyroGetNodeName(-1), "");
    EXPECT_NEAR(top, 70.0f, 2.0f);
    int count = 0; // the lowest contact sphere's bottom is on the floor
    const int* points = GyroGetContactPointIndexArray(&count);
    float lowest = 1e9f;
    for (int i = 0; i < count; ++i) {
        lowest =
            std::min(lowest, skel.Nodes[points[i]].Position.z - actor.ContactRadius[points[i]]);
    }
    EXPECT_NEAR(lowest, 0.0f, 1e-4f);

    std::set<int> drivenNodes;
    for (int sensor = 0; sensor < RawSensorCount; ++sensor) {
        SCOPED_TRACE(sensor);
        Frame f = still;
        f.RawMatrices[sensor] = math::Mul(math::RotZ(0.4f), math::RotX(0.7f));
        ASSERT_EQ(GyroApplyFrame(&skel, &f), 1);
        int driven = 0; // the first node turned: the segment the sensor drives
        while (driven < SkeletonNodeCount && !(skel.Nodes[driven].Orientation.m11 < 0.99f)) {
            ++driven;
        }
        ASSERT_LT(driven, SkeletonNodeCount) << "the sensor drives nothing";
        drivenNodes.insert(driven);
        Marks hangs{};
        Mark(skel, driven, hangs);
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            const SkeletonNode& n = skel.Nodes[i];
            float shift = Length(Sub(n.Position, rest.Nodes[i].Position));
            EXPECT_EQ(shift > 1e-3f, hangs[i] && i != driven) << GyroGetNodeName(i);
            for (int c = 0; c < n.ChildCount; ++c) {
                const SkeletonNode& child = *n.Children[c];
                EXPECT_NEAR(Length(Sub(child.Position, n.Position)), Length(child.Offset), 1e-3f);
            }
        }
    }
    EXPECT_EQ(drivenNodes.size(), 19u) << "each sensor drives its own segment";
}

TEST_F(SkeletonTest, UnusableFramesAndOffsetsStillGiveAFiniteFigure) {
    Frame zero = FrameWith(Matrix(Vector{}, Vector{}, Vector{}), Vector{0.0f, 0.0f, 0.0f});
    Frame scaled = FrameWith(Matrix(2.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 2.0f),
                             Vector{0.0f, 0.0f, 30.0f});
    Frame broken = FrameWith(Matrix(nan, 1.0f, 0.0f, 0.0f, nan, 0.0f, 0.0f, 0.0f, 1.0f),
                             Vector{nan, 1e30f, -std::numeric_limits<float>::infinity()});
    for (const Frame* f : {&zero, &scaled, &broken}) {
        ASSERT_EQ(GyroApplyFrame(&skel, f), 1);
        for (const auto& n : skel.Nodes) {
            EXPECT_TRUE(math::Finite(n.Position));
            EXPECT_LT(std::fabs(n.Position.y), 1e6f);
        }
    }
    skel.Nodes[8].Offset = {nan, 0.0f, 0.0f}; // the default bone stands in
    ASSERT_EQ(GyroApplyFrame(&skel, &zero), 1);
    EXPECT_TRUE(math::Finite(skel.Nodes[9].Position));
    EXPECT_EQ(GyroApplyFrame(nullptr, &zero), 0);
    EXPECT_EQ(GyroApplyFrame(&skel, nullptr), 0);
}

TEST_F(SkeletonTest, ActorMeasurementsRoundTripAndMissingOnesGiveTheDefaults) {
    Skeleton tall = skel;
    tall.Nodes[19].Offset.z -= 3.0f; // a longer left thigh
    GyroUpdateActorFromSkeleton(&tall, &actor);
    Skeleton copy = skel;
    GyroCopyActorToSkeleton(&copy, &actor);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        EXPECT_NEAR(Length(Sub(copy.Nodes[i].Offset, tall.Nodes[i].Offset)), 0.0f, 1e-6f);
    }
    const ActorData zero{};
    GyroCopyActorToSkeleton(&copy, &zero);
    EXPECT_NEAR(Length(Sub(copy.Nodes[19].Offset, skel.Nodes[19].Offset)), 0.0f, 1e-6f);
    GyroCopyActorToSkeleton(&copy, nullptr);
    GyroUpdateActorFromSkeleton(nullptr, &actor);
}

TEST_F(SkeletonTest, PutOnFloorMovesTheWholeMotionTogether) {
    ASSERT_EQ(GyroAddFrame(&skel), 1);
    ASSERT_EQ(GyroAddFrame(&skel), 1);
    Vector root = skel.Nodes[0].Offset;
    skel.Frames[0] = FrameWith(MatrixIdentity, Vector{root.x, root.y, root.z + 5.0f});
    skel.Frames[1] = FrameWith(MatrixIdentity, Vector{root.x, root.y, root.z + 15.0f});
    GyroPutSkeletonOnFloor(&skel, skel.Frames, &actor);
    EXPECT_NEAR(skel.Frames[0].RootPosition.z, root.z, 1e-4f);
    EXPECT_NEAR(skel.Frames[1].RootPosition.z, root.z + 10.0f, 1e-4f) << "the jump stays";
    GyroPutSkeletonOnFloor(&skel, nullptr, &actor);
    GyroFreeSkeletonFrames(&skel);
    GyroPutSkeletonOnFloor(&skel, skel.Frames, &actor);
}

TEST_F(SkeletonTest, FootGeometryTakesGoodValuesAndRefusesBadOnes) {
    float length, heel, l, h, ball;
    GyroGetBVHFoot(&length, &heel, nullptr, nullptr);
    GyroSetBVHFoot(nan, -1.0f, 3.0f, 0.5f);
    GyroGetBVHFoot(&l, &h, &ball, nullptr);
    EXPECT_EQ((std::array{l, h, ball}), (std::array{length, heel, 3.0f}));
}

} // namespace
} // namespace telvo::test

namespace telvo {
namespace {

// The library's inline arithmetic stands in for the exported classes on its hot paths: both
// must turn, multiply and apply alike (values chosen so that swapped rows, columns, operands or
// a reversed sense differ).
TEST(InlineMath, AgreesWithTheExportedGeometry) {
    Matrix a(1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f, 10.0f);
    Matrix b(-2.0f, 0.5f, 1.0f, 3.0f, -1.0f, 2.0f, 0.25f, 4.0f, -3.0f);
    Vector v(0.5f, -2.0f, 3.0f), mine = math::Apply(a, v), theirs = a * v;
    std::vector<std::pair<Matrix, Matrix>> pairs = {{math::Mul(a, b), a * b},
                                                    {{mine, mine, mine}, {theirs, theirs, theirs}}};
    for (float angle : {0.3f, -1.2f, 2.9f}) {
        pairs.insert(pairs.end(), {{math::RotX(angle), Matrix::RotX(angle)},
                                   {math::RotY(angle), Matrix::RotY(angle)},
                                   {math::RotZ(angle), Matrix::RotZ(angle)}});
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR((&pairs[k].first.m00)[i], (&pairs[k].second.m00)[i], 1e-5f) << k;
        }
    }
}

} // namespace
} // namespace telvo
