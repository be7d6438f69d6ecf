#pragma once

#include "core/CommandIds.h"
#include "core/Settings.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/FakePlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace telvo {

using Boxes = std::vector<FakePlatform::Box>;

inline FakePlatform::Box Warning(std::string text, std::string detail = {}) {
    return {std::move(text), MessageButtons::Ok, MessageIcon::Exclamation, true, std::move(detail)};
}

// The engine on the simulated suit library with its manual clock: frames come only when a
// test delivers them, on the test's thread, and the window is a FakePlatform.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        Settings.Reset();
        Engine.Reset();
        Server.Reset();
        Engine.MainWindow = &window;
        ASSERT_NE(GyroInit(), 0);
        GyroInitSkeleton(&Engine.Skeleton); // and its period, the suits' 120 Hz
    }
    void TearDown() override {
        Engine.SuitHandle = 0;
        GyroFinish();
        GyroFreeSkeletonFrames(&Engine.Skeleton);
        Engine.MainWindow = nullptr;
    }

    int Deliver(int n) { return sim::Deliver(Engine.SuitHandle, n); }
    // Hands posted commands to the engine as the window's dispatch does: the frame pump posts
    // only Stop, and tests post Record behind it.
    void Pump() {
        for (int command : window.TakePosted()) {
            (command == CmdStop ? OnStop : OnRecord)();
        }
    }
    void RecordFrames(int n) {
        OnRecord();
        ASSERT_EQ(Deliver(n), n);
        OnStop();
    }
    // The library's sequence numbers of the recorded frames, oldest first.
    static std::vector<uint64_t> RecordedSequence() {
        std::vector<uint64_t> sequence;
        std::lock_guard lock(Engine.RecordingMutex);
        for (uint32_t i = 0; Engine.Skeleton.Frames != nullptr && i < Engine.Skeleton.FrameCount;
             ++i) {
            sequence.push_back(sim::FrameSequence(Engine.Skeleton.Frames[i]));
        }
        return sequence;
    }
    static bool Contiguous(const std::vector<uint64_t>& s) {
        return std::adjacent_find(s.begin(), s.end(), [](auto a, auto b) { return b != a + 1; }) ==
               s.end();
    }

    FakePlatform window;
};

} // namespace telvo
