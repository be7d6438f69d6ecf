// The simulated performer over a whole pass of its script: on the floor, moving smoothly,
// walking the path, jumping, feet planted while they carry the weight.
#include "telvoria/sim/Performer.h"
#include "telvoria/skeleton/Math.h"
#include "tests/telvoria/SimFixture.h"

#include <cmath>

namespace telvo::test {
namespace {

using math::Length;
using math::Sub;

struct Pass {
    int frames = 0;
    int airborne = 0;
    float highestLift = 0.0f;
    float lowestContact = 1e9f;
    float worstGroundGap = 0.0f;
    float fastestNode = 0.0f; // inches per frame; the arms swing fastest, for the jump
    float tallest = 0.0f;
    float pathLength = 0.0f;
    double slip = 0.0;
    int slipSamples = 0;
    bool contactWhileAirborne = false;
};

Pass RunScript(double seconds) {
    sim::Performer performer;
    performer.RequestNull();
    const double dt = 1.0 / 120.0;
    for (int i = 0; i < 240; ++i) {
        performer.Skip(dt); // let the calibration pose go
    }
    Skeleton skel;
    GyroInitSkeleton(&skel);
    ActorData actor;
    GyroGetActorData(0, &actor);
    int count = 0;
    const int* points = GyroGetContactPointIndexArray(&count);
    Pass pass;
    Skeleton previous{};
    uint32_t previousMask = 0;
    for (int k = 0; k < static_cast<int>(seconds * 120.0); ++k) {
        Frame f{};
        performer.Next(dt, f);
        GyroApplyFrame(&skel, &f);
        float low = 1e9f;
        for (int i = 0; i < count; ++i) {
            low = std::min(low, skel.Nodes[points[i]].Position.z - actor.ContactRadius[points[i]]);
        }
        pass.lowestContact = std::min(pass.lowestContact, low);
        if (performer.Jumping()) {
            ++pass.airborne;
            pass.highestLift = std::max(pass.highestLift, low);
            pass.contactWhileAirborne = pass.contactWhileAirborne || f.ContactMask != 0;
        } else {
            pass.worstGroundGap = std::max(pass.worstGroundGap, low);
        }
        if (!performer.Jumping()) {
            pass.tallest = std::max(pass.tallest, skel.Nodes[5].Position.z); // the head top
        }
        if (k > 0) {
            for (int i = 0; i < SkeletonNodeCount; ++i) {
                pass.fastestNode =
                    std::max(pass.fastestNode,
                             Length(Sub(skel.Nodes[i].Position, previous.Nodes[i].Position)));
            }
            Vector step = Sub(skel.Nodes[0].Position, previous.Nodes[0].Position);
            step.z = 0.0f;
            pass.pathLength += Length(step);
            // A foot point touching the floor in two frames in a row should not slide.
            for (int i = 0; i < 6; ++i) {
                if ((f.ContactMask & previousMask & (1u << i)) != 0) {
                    Vector d =
                        Sub(skel.Nodes[points[i]].Position, previous.Nodes[points[i]].Position);
                    d.z = 0.0f;
                    pass.slip += Length(d) * 120.0;
                    ++pass.slipSamples;
                }
            }
        }
        previous = skel;
        previousMask = f.ContactMask;
        ++pass.frames;
    }
    return pass;
}

TEST(Performer, WalksJumpsAndStaysOnTheFloorThroughTheScript) {
    Pass pass = RunScript(sim::ScriptPeriod());
    EXPECT_GT(pass.lowestContact, -1e-3f) << "a contact point sank into the floor";
    EXPECT_LT(pass.worstGroundGap, 1e-3f) << "standing on nothing";
    EXPECT_GT(pass.airborne, 30);
    EXPECT_GT(pass.highestLift, 5.0f);
    EXPECT_FALSE(pass.contactWhileAirborne);
    EXPECT_NEAR(pass.tallest, 71.0f, 3.0f) << "the head top, on tiptoe at most";
    EXPECT_GT(pass.pathLength, 500.0f) << "two laps of the path";
    EXPECT_LT(pass.fastestNode, 6.0f) << "a node jumped between two frames";
    ASSERT_GT(pass.slipSamples, 1000);
    EXPECT_LT(pass.slip / pass.slipSamples, 8.0) << "feet slide while they carry the weight";
}

TEST(Performer, IgnoringTheFloorKeepsTheRootHeight) {
    sim::Performer performer(1.0); // crouching for the jump once the null pose is let go
    performer.RequestNull();
    for (int i = 0; i < 240; ++i) {
        performer.Skip(1.0 / 120.0);
    }
    performer.SetFlags(SuitFlagJumping | SuitFlagIgnoreFloor);
    Frame f{};
    performer.Next(1.0 / 120.0, f);
    Skeleton skel;
    GyroInitSkeleton(&skel);
    EXPECT_NEAR(f.RootPosition.z, skel.Nodes[0].Offset.z, 1e-4f);
}

} // namespace
} // namespace telvo::test
