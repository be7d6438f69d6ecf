// The 30-node skeleton: its tree, the solver, actor measurements and the floor.
#include "telvoria/skeleton/Math.h"
#include "tests/telvoria/SimFixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>

namespace telvo::test {
namespace {

using math::Apply;
using math::Length;
using math::Sub;

Frame FrameWith(const Matrix& every, Vector root) {
    Frame f;
    std::memset(static_cast<void*>(&f), 0, sizeof f);
    for (auto& m : f.RawMatrices) {
        m = every;
    }
    f.RootPosition = root;
    return f;
}

int ParentOf(const Skeleton& s, int node) {
    for (int p = 0; p < SkeletonNodeCount; ++p) {
        for (int c = 0; c < s.Nodes[p].ChildCount; ++c) {
            if (s.Nodes[p].Children[c] == &s.Nodes[node]) {
                return p;
            }
        }
    }
    return -1;
}

bool InSubtree(const Skeleton& s, int node, int top) {
    for (int n = node; n >= 0; n = ParentOf(s, n)) {
        if (n == top) {
            return true;
        }
    }
    return false;
}

float LowestContact(const Skeleton& s, const ActorData& actor) {
    int count = 0;
    const int* points = GyroGetContactPointIndexArray(&count);
    float lowest = std::numeric_limits<float>::max();
    for (int i = 0; i < count; ++i) {
        lowest = std::min(lowest, s.Nodes[points[i]].Position.z - actor.ContactRadius[points[i]]);
    }
    return lowest;
}

class SkeletonTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        GyroInitSkeleton(&skel);
        GyroGetActorData(0, &actor);
    }
    Skeleton skel;
    ActorData actor;
};

TEST_F(SkeletonTest, TreeHasThirtyNamedNodesAndAtMostThreeChildren) {
    std::set<std::string> names;
    int children = 0;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        const SkeletonNode& n = skel.Nodes[i];
        ASSERT_GE(n.ChildCount, 0);
        ASSERT_LE(n.ChildCount, 3);
        children += n.ChildCount;
        for (int c = n.ChildCount; c < 3; ++c) {
            EXPECT_EQ(n.Children[c], nullptr);
        }
        EXPECT_STRNE(GyroGetNodeName(i), "");
        names.insert(GyroGetNodeName(i));
        if (i > 0) {
            EXPECT_GE(ParentOf(skel, i), 0) << GyroGetNodeName(i) << " hangs in the air";
        }
    }
    EXPECT_EQ(children, SkeletonNodeCount - 1) << "every node but the root has one parent";
    EXPECT_EQ(names.size(), 30u);
    EXPECT_STREQ(GyroGetNodeName(30), "");
    EXPECT_STREQ(GyroGetNodeName(-1), "");

    int count = 0;
    const int* points = GyroGetContactPointIndexArray(&count);
    ASSERT_EQ(count, 10);
    std::set<std::string> contacts;
    for (int i = 0; i < count; ++i) {
        contacts.insert(GyroGetNodeName(points[i]));
    }
    EXPECT_EQ(contacts.size(), 10u);
    for (const char* foot :
         {"LeftHeel", "LeftBall", "LeftToe", "RightHeel", "RightBall", "RightToe"}) {
        EXPECT_EQ(contacts.count(foot), 1u) << foot;
    }
}

TEST_F(SkeletonTest, DefaultPerformerStandsOnTheFloorAboutSeventyInchesTall) {
    Frame f = FrameWith(MatrixIdentity, skel.Nodes[0].Offset);
    ASSERT_EQ(GyroApplyFrame(&skel, &f), 1);
    EXPECT_NEAR(LowestContact(skel, actor), 0.0f, 1e-4f);
    float top = 0.0f;
    for (const auto& n : skel.Nodes) {
        top = std::max(top, n.Position.z);
    }
    EXPECT_NEAR(top, 70.0f, 2.0f);
    // The initial pose before any frame is that same standing pose.
    Skeleton fresh;
    GyroInitSkeleton(&fresh);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        EXPECT_NEAR(Length(Sub(fresh.Nodes[i].Position, skel.Nodes[i].Position)), 0.0f, 1e-4f);
    }
}

TEST_F(SkeletonTest, AnyPoseKeepsBoneLengthsAndChildrenFollowTheirParents) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    for (int trial = 0; trial < 20; ++trial) {
        Frame f = FrameWith(MatrixIdentity, Vector{angle(rng), angle(rng), 30.0f});
        for (auto& m : f.RawMatrices) {
            m = math::Mul(math::RotZ(angle(rng)),
                          math::Mul(math::RotX(angle(rng)), math::RotY(angle(rng))));
        }
        ASSERT_EQ(GyroApplyFrame(&skel, &f), 1);
        EXPECT_FLOAT_EQ(skel.Nodes[0].Position.x, f.RootPosition.x);
        for (int p = 0; p < SkeletonNodeCount; ++p) {
            const SkeletonNode& parent = skel.Nodes[p];
            Matrix o = parent.Orientation;
            Matrix oto = math::Mul(math::Transposed(o), o);
            EXPECT_NEAR(oto.m00 + oto.m11 + oto.m22, 3.0f, 1e-4f);
            for (int c = 0; c < parent.ChildCount; ++c) {
                const SkeletonNode& child = *parent.Children[c];
                Vector bone = Sub(child.Position, parent.Position);
                EXPECT_NEAR(Length(bone), Length(child.Offset), 1e-3f);
                Vector expected = Apply(o, child.Offset);
                EXPECT_NEAR(Length(Sub(bone, expected)), 0.0f, 1e-3f);
            }
        }
    }
}

TEST_F(SkeletonTest, TurningOneSensorMovesOnlyItsSubtree) {
    Frame still = FrameWith(MatrixIdentity, skel.Nodes[0].Offset);
    ASSERT_EQ(GyroApplyFrame(&skel, &still), 1);
    Skeleton before = skel;
    for (int sensor = 0; sensor < RawSensorCount; ++sensor) {
        Frame turned = still;
        turned.RawMatrices[sensor] = math::RotX(0.7f);
        ASSERT_EQ(GyroApplyFrame(&skel, &turned), 1);
        // The driven node is the one whose orientation changed without its parent's.
        int driven = -1;
        int moved = 0;
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            float turn = std::fabs(skel.Nodes[i].Orientation.m11 - before.Nodes[i].Orientation.m11);
            int p = ParentOf(skel, i);
            if (turn > 1e-3f && (p < 0 || std::fabs(skel.Nodes[p].Orientation.m11 -
                                                    before.Nodes[p].Orientation.m11) < 1e-6f)) {
                EXPECT_EQ(driven, -1) << "sensor " << sensor << " turns two segments";
                driven = i;
            }
        }
        ASSERT_GE(driven, 0) << "sensor " << sensor << " drives nothing";
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            float shift = Length(Sub(skel.Nodes[i].Position, before.Nodes[i].Position));
            if (InSubtree(skel, i, driven)) {
                moved += shift > 1e-3f;
            } else {
                EXPECT_LT(shift, 1e-5f) << GyroGetNodeName(i) << " moved with sensor " << sensor;
            }
        }
        EXPECT_GT(moved, 0) << "sensor " << sensor;
    }
}

TEST_F(SkeletonTest, UnusableFramesStillGiveAFiniteFigure) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Frame zero = FrameWith(Matrix(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f),
                           Vector{0.0f, 0.0f, 0.0f});
    Frame broken = FrameWith(Matrix(nan, 1.0f, 0.0f, 0.0f, nan, 0.0f, 0.0f, 0.0f, 1.0f),
                             Vector{nan, 1e30f, -std::numeric_limits<float>::infinity()});
    for (const Frame* f : {&zero, &broken}) {
        ASSERT_EQ(GyroApplyFrame(&skel, f), 1);
        for (const auto& n : skel.Nodes) {
            EXPECT_TRUE(math::Finite(n.Position));
            EXPECT_LT(std::fabs(n.Position.y), 1e6f);
            EXPECT_FLOAT_EQ(n.Orientation.m00, 1.0f) << "a sensor without a rotation is null";
        }
    }
    // A skeleton record with garbage offsets poses the default bones.
    skel.Nodes[8].Offset = {nan, 0.0f, 0.0f};
    ASSERT_EQ(GyroApplyFrame(&skel, &zero), 1);
    EXPECT_TRUE(math::Finite(skel.Nodes[9].Position));
    EXPECT_EQ(GyroApplyFrame(nullptr, &zero), 0);
    EXPECT_EQ(GyroApplyFrame(&skel, nullptr), 0);
}

TEST_F(SkeletonTest, ActorMeasurementsRoundTripAndBadOnesFallBack) {
    Skeleton tall = skel;
    tall.Nodes[19].Offset.z -= 3.0f; // a longer left thigh
    GyroUpdateActorFromSkeleton(&tall, &actor);
    Skeleton copy;
    GyroInitSkeleton(&copy);
    GyroCopyActorToSkeleton(&copy, &actor);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        EXPECT_NEAR(Length(Sub(copy.Nodes[i].Offset, tall.Nodes[i].Offset)), 0.0f, 1e-6f);
    }

    ActorData zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    GyroCopyActorToSkeleton(&copy, &zero);
    EXPECT_NEAR(Length(Sub(copy.Nodes[19].Offset, skel.Nodes[19].Offset)), 0.0f, 1e-6f)
        << "an actor without measurements gives the default performer";
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

TEST_F(SkeletonTest, FootGeometryKeepsSaneValues) {
    float length, heel, ball, shorten;
    GyroGetBVHFoot(&length, &heel, &ball, &shorten);
    EXPECT_GT(length, heel);
    GyroSetBVHFoot(9.0f, 2.0f, 3.0f, 0.5f);
    float l2, h2, b2, s2;
    GyroGetBVHFoot(&l2, &h2, &b2, &s2);
    EXPECT_EQ(l2, 9.0f);
    EXPECT_EQ(s2, 0.5f);
    GyroSetBVHFoot(std::numeric_limits<float>::quiet_NaN(), -1.0f, 3.0f, 0.5f);
    GyroGetBVHFoot(&l2, &h2, nullptr, nullptr);
    EXPECT_EQ(l2, length);
    EXPECT_EQ(h2, heel);
}

} // namespace
} // namespace telvo::test
