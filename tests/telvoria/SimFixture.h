#pragma once

#include "telvoria/TelvoriaSim.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace telvo::test {

// Every test starts from the simulation's defaults, away from the user's own config file.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::UseConfigFile(false);
    }
    void TearDown() override { sim::Reset(); }
};

// Height of the lowest contact sphere's bottom above the floor.
inline float LowestContact(const Skeleton& s, const ActorData& actor) {
    int count = 0;
    const int* points = GyroGetContactPointIndexArray(&count);
    float lowest = 1e9f;
    for (int i = 0; i < count; ++i) {
        lowest = std::min(lowest, s.Nodes[points[i]].Position.z - actor.ContactRadius[points[i]]);
    }
    return lowest;
}

} // namespace telvo::test
