#pragma once

#include "app/Settings.h"
#include "engine/EngineState.h"
#include "suitlib/SuitLib.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RecordingSurface.h"
#include "view/Composition.h"
#include "view/ViewState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace telvo {

using Kind = RecordingSurface::Kind;

// Every test starts from the process-start state of the engine, the view and the settings,
// with an 800 x 600 drawing area, and leaves no pointer into its own memory behind.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Engine.Reset();
        View.Reset();
        Settings.Reset();
        View.ViewWidth = 800;
        View.ViewHeight = 600;
        platform.SetDrawingArea({800, 600});
        platform.SetScreenSize({1600, 800});
    }
    void TearDown() override { Engine.Reset(); }

    // The recording as the library would hold it.
    void UseRecording(std::vector<Frame>& frames) {
        Engine.Skeleton.Frames = frames.empty() ? nullptr : frames.data();
        Engine.Skeleton.FrameCount = static_cast<uint32_t>(frames.size());
    }

    // Nothing but these settings on.
    static void OnlySettings(std::initializer_list<std::atomic<int>*> on) {
        for (std::atomic<int>* s :
             {&Settings.ShowGrid, &Settings.ShowAxes, &Settings.ShowNorth, &Settings.ShowFootShadow,
              &Settings.ShowNodes, &Settings.ShowNodeNames, &Settings.ShowContactPointRadii,
              &Settings.ShowContactPoints, &Settings.ShowMarkers, &Settings.ShowMarkerNames,
              &Settings.ShowInfo, &Settings.ColorFront}) {
            *s = 0;
        }
        for (std::atomic<int>* s : on) {
            *s = 1;
        }
    }

    FakePlatform platform;
    RecordingSurface surface;
};

// A skeleton built by hand: every node at a given place with identity orientation.
struct Figure {
    ::Skeleton skeleton{};

    Figure() {
        for (SkeletonNode& node : skeleton.Nodes) {
            node.Orientation = MatrixIdentity;
        }
    }
    SkeletonNode& Node(int i) { return skeleton.Nodes[i]; }
    void Place(int node, Vector position) { skeleton.Nodes[node].Position = position; }
    // A bone from parent to child; the child's offset is their difference.
    void Link(int parent, int child) {
        SkeletonNode& p = skeleton.Nodes[parent];
        SkeletonNode& c = skeleton.Nodes[child];
        p.Children[p.ChildCount++] = &c;
        c.Offset = {c.Position.x - p.Position.x, c.Position.y - p.Position.y,
                    c.Position.z - p.Position.z};
    }
};

// A paint target over a recording surface that notes what the engine looked like at Present.
class RecordingTarget : public PaintTarget {
public:
    Surface& BeginPicture(int w, int h) override {
        width = w;
        height = h;
        surface.Clear();
        return surface;
    }
    void Present() override {
        ++presents;
        paintPendingAtPresent = Engine.PaintPending.load();
    }

    RecordingSurface surface;
    int width = -1;
    int height = -1;
    int presents = 0;
    int paintPendingAtPresent = -1;
};

} // namespace telvo
