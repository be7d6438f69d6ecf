#pragma once

#include "telvoria/TelvoriaSim.h"

#include <gtest/gtest.h>

namespace telvo::test {

// The figure as the frame poses it.
inline Skeleton Posed(const Frame& frame) {
    Skeleton s{};
    GyroInitSkeleton(&s);
    GyroApplyFrame(&s, &frame);
    return s;
}

// Every test starts from the simulation's defaults, away from the user's own config file.
struct SimTest : ::testing::Test {
    void SetUp() override {
        sim::Reset();
        sim::UseConfigFile(false);
    }
    void TearDown() override { sim::Reset(); }
};

} // namespace telvo::test
