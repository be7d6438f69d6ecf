#pragma once

#include "core/Settings.h"
#include "engine/EngineState.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RecordingSurface.h"
#include "view/Composition.h"
#include "view/ViewState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace telvo {

using Kind = RecordingSurface::Kind;

inline void ExpectNear(const Matrix& actual, const Matrix& expected) {
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR((&actual.m00)[i], (&expected.m00)[i], 1e-5f) << "element " << i;
    }
}

// Every test starts from the process-start state of the engine, view, settings and simulated
// suits, on a manual clock, with the fake port's 800 x 600 drawing area.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Engine.Reset();
        View.Reset();
        Settings.Reset();
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        View.ViewWidth = 800;
        View.ViewHeight = 600;
    }
    void TearDown() override {
        GyroFinish();
        Engine.Reset(); // no pointer into the test's frames stays behind
    }
    void UseRecording(std::vector<Frame>& frames) {
        Engine.Skeleton.Frames = frames.empty() ? nullptr : frames.data();
        Engine.Skeleton.FrameCount = static_cast<uint32_t>(frames.size());
    }

    FakePlatform platform;
    RecordingSurface surface;
};

// A paint target over a recording surface that notes PaintPending when presenting.
struct RecordingTarget : PaintTarget {
    Surface& BeginPicture(int, int) override {
        surface.Clear();
        return surface;
    }
    void Present() override {
        ++presents;
        pendingAtPresent = Engine.PaintPending.load();
    }
    RecordingSurface surface;
    int presents = 0;
    int pendingAtPresent = -1;
};

} // namespace telvo
