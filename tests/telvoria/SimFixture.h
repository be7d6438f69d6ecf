#pragma once

#include "telvoria/TelvoriaSim.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

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

// What the callbacks saw, shared with the suit threads.
struct Seen {
    std::mutex m;
    std::vector<Frame> frames;
    std::vector<SuitInfo> timeouts;

    void Frame_(const Frame& f) {
        std::lock_guard lock(m);
        frames.push_back(f);
    }
    std::size_t Count() {
        std::lock_guard lock(m);
        return frames.size();
    }
};

} // namespace telvo::test
