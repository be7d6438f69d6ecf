#pragma once

#include "telvoria/TelvoriaSim.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace telvo::test {

// The figure as the frame poses it.
inline Skeleton Posed(const Frame& frame) {
    Skeleton s{};
    GyroInitSkeleton(&s);
    GyroApplyFrame(&s, &frame);
    return s;
}

// Bytes that differ with the seed and along the block.
inline void Pattern(void* data, std::size_t size, unsigned seed) {
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(seed * 31 + i * 7 + (i >> 8));
    }
}

// The commands a frame server handed on, from its thread.
inline std::mutex seenMutex;
inline std::vector<uint32_t> seenCommands;
inline void Remember(uint32_t code) {
    std::lock_guard lock(seenMutex);
    seenCommands.push_back(code);
}
inline std::vector<uint32_t> CommandsSeen() {
    std::lock_guard lock(seenMutex);
    return seenCommands;
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
