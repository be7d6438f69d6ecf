#pragma once

#include "core/CommandIds.h"
#include "core/Settings.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/FakePlatform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace telvo {

// Hands posted commands to the engine as the window's dispatch does; the frame pump posts
// Stop at a limit, and tests post Record behind it.
inline void DispatchToEngine(int command) {
    if (command == CmdStop) {
        OnStop();
    } else if (command == CmdRecord) {
        OnRecord();
    }
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
        GyroInitSkeleton(&Engine.Skeleton);
        Engine.Skeleton.FramePeriod = 1.0f / GyroGetFrameRate(0);
    }
    void TearDown() override {
        Engine.SuitHandle = 0;
        GyroFinish();
        for (TimerId id : window.RunningTimers()) {
            window.KillTimer(id);
        }
        GyroFreeSkeletonFrames(&Engine.Skeleton);
        Engine.MainWindow = nullptr;
    }

    GyroHandle Open() { return OpenSuitIfNeeded(); }
    int Deliver(int n) { return sim::Deliver(Engine.SuitHandle, n); }
    void Pump() { window.Pump(DispatchToEngine); }
    // A recording of n frames made through Record and Stop.
    void RecordFrames(int n) {
        OnRecord();
        ASSERT_EQ(Engine.Recording.load(), 1);
        ASSERT_EQ(Deliver(n), n);
        OnStop();
        ASSERT_EQ(RecordedFrameCount(), static_cast<uint32_t>(n));
    }
    // The library's sequence numbers of the recorded frames, oldest first.
    std::vector<uint64_t> RecordedSequence() {
        std::vector<uint64_t> sequence;
        std::lock_guard lock(Engine.RecordingMutex);
        for (uint32_t i = 0; Engine.Skeleton.Frames != nullptr && i < Engine.Skeleton.FrameCount;
             ++i) {
            sequence.push_back(sim::FrameSequence(Engine.Skeleton.Frames[i]));
        }
        return sequence;
    }
    static bool Contiguous(const std::vector<uint64_t>& sequence) {
        for (std::size_t i = 1; i < sequence.size(); ++i) {
            if (sequence[i] != sequence[i - 1] + 1) {
                return false;
            }
        }
        return true;
    }

    FakePlatform window;
};

} // namespace telvo
