// The simulated performer over a whole pass of its script: on the floor, moving smoothly,
// walking the path, jumping, feet planted while they carry the weight.
#include "telvoria/sim/Performer.h"
#include "telvoria/skeleton/Math.h"
#include "tests/telvoria/SimFixture.h"

#include <algorithm>
#include <cmath>

namespace telvo::test {
namespace {

using math::Length;
using math::Sub;

// A performer past its calibration pose.
sim::Performer Calibrated(double scriptStart = 0.0) {
    sim::Performer performer(scriptStart);
    performer.RequestNull();
    performer.Skip(2.0);
    return performer;
}

TEST(Performer, WalksJumpsAndStaysOnTheFloorThroughTheScript) {
    sim::Performer performer = Calibrated();
    Skeleton skel;
    GyroInitSkeleton(&skel);
    Skeleton previous = skel;
    ActorData actor;
    GyroGetActorData(0, &actor);
    const int* points = GyroGetContactPointIndexArray(nullptr);
    int airborne = 0;
    int slipSamples = 0;
    float lowest = 1e9f, highestLift = 0.0f, worstGap = 0.0f;
    float fastest = 0.0f; // inches per frame; the arms swing fastest, for the jump
    float path = 0.0f;
    double slip = 0.0;
    bool touchedInTheAir = false;
    uint32_t previousMask = 0;
    for (int k = 0; k < static_cast<int>(sim::ScriptPeriod() * 120.0); ++k) {
        Frame f{};
        performer.Next(1.0 / 120.0, f);
        GyroApplyFrame(&skel, &f);
        float low = LowestContact(skel, actor);
        lowest = std::min(lowest, low);
        if (performer.Jumping()) {
            ++airborne;
            highestLift = std::max(highestLift, low);
            touchedInTheAir = touchedInTheAir || f.ContactMask != 0;
        } else {
            worstGap = std::max(worstGap, low);
        }
        for (int i = 0; k > 0 && i < SkeletonNodeCount; ++i) {
            fastest =
                std::max(fastest, Length(Sub(skel.Nodes[i].Position, previous.Nodes[i].Position)));
        }
        Vector step = Sub(skel.Nodes[0].Position, previous.Nodes[0].Position);
        path += std::hypot(step.x, step.y);
        for (int i = 0; i < 6; ++i) { // a foot point on the floor in two frames in a row
            if ((f.ContactMask & previousMask & (1u << i)) != 0) {
                Vector d = Sub(skel.Nodes[points[i]].Position, previous.Nodes[points[i]].Position);
                slip += std::hypot(d.x, d.y) * 120.0;
                ++slipSamples;
            }
        }
        previous = skel;
        previousMask = f.ContactMask;
    }
    EXPECT_GT(lowest, -1e-3f) << "a contact point sank into the floor";
    EXPECT_LT(worstGap, 1e-3f) << "standing on nothing";
    EXPECT_GT(airborne, 30);
    EXPECT_GT(highestLift, 5.0f);
    EXPECT_FALSE(touchedInTheAir);
    EXPECT_GT(path, 500.0f) << "two laps of the path";
    EXPECT_LT(fastest, 6.0f) << "a node jumped between two frames";
    ASSERT_GT(slipSamples, 1000);
    EXPECT_LT(slip / slipSamples, 8.0) << "feet slide while they carry the weight";
}

TEST(Performer, IgnoringTheFloorKeepsTheRootHeight) {
    sim::Performer performer = Calibrated(1.0); // crouching for the jump
    performer.SetFlags(SuitFlagJumping | SuitFlagIgnoreFloor);
    Frame f{};
    performer.Next(1.0 / 120.0, f);
    Skeleton skel;
    GyroInitSkeleton(&skel);
    EXPECT_NEAR(f.RootPosition.z, skel.Nodes[0].Offset.z, 1e-4f);
}

} // namespace
} // namespace telvo::test
