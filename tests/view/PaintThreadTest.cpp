// Paints on the window thread while the frame pump and the playback timer run on theirs.
// Meant for the ThreadSanitizer build as much as for the plain one.
#include "ViewTestSupport.h"
#include "engine/Engine.h"
#include "view/Camera.h"
#include "view/Composition.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace telvo {
namespace {

// Every float of the frame the view reads carries the frame's number.
Frame Numbered(int k) {
    Frame f{};
    auto v = static_cast<float>(k);
    for (Matrix& m : f.RawMatrices) {
        m = Matrix(v, v, v, v, v, v, v, v, v);
    }
    f.RootPosition = {v, v, v};
    f.ContactMask = static_cast<uint32_t>(k);
    for (Vector& p : f.MarkerPositions) {
        p = {v, v, v};
    }
    return f;
}

// A frame drawn whole: every number the same.
bool Whole(const Frame& f) {
    float k = f.RootPosition.x;
    for (const Matrix& m : f.RawMatrices) {
        const float* e = &m.m00;
        for (int i = 0; i < 9; ++i) {
            if (e[i] != k) {
                return false;
            }
        }
    }
    return f.RootPosition.y == k && f.RootPosition.z == k &&
           f.ContactMask == static_cast<uint32_t>(k) && f.MarkerPositions[3].z == k;
}

class PaintThreads : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        Engine.MainWindow = &platform;
        Settings.FollowCharacter = 1;
    }
    void TearDown() override {
        Engine.MainWindow = nullptr;
        ViewTest::TearDown();
    }

    RecordingTarget target;
};

TEST_F(PaintThreads, LivePaintsSeeWholeFramesWhetherRequestedOrNot) {
    Engine.Live = 1;
    std::atomic<bool> stop{false};
    std::thread pump([&] {
        SuitInfo suit{1, "Studio", 4}; // 30 frames a second: every frame may be displayed
        for (int k = 1; !stop.load(); ++k) {
            Frame f = Numbered(k % 1000000); // exact in a float
            FrameCallback(&f, &suit);
        }
    });
    int requested = 0;
    int torn = 0;
    for (int paint = 0; paint < 1000; ++paint) {
        // Every other paint waits a moment for the pump's request; the rest come unasked.
        if (paint % 2 == 0) {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
            while (Engine.PaintPending.load() == 0 && std::chrono::steady_clock::now() < until) {
                std::this_thread::yield();
            }
        }
        bool wasRequested = Engine.PaintPending.load(std::memory_order_acquire) != 0;
        OnPaint(platform, target);
        requested += wasRequested ? 1 : 0;
        torn += Whole(View.ShownFrame) ? 0 : 1;
    }
    stop = true;
    pump.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(requested, 0);
    OnPaint(platform, target);
    EXPECT_EQ(Engine.PaintPending.load(), 0);
}

TEST_F(PaintThreads, PlaybackPaintsWhileTheTimerAdvances) {
    std::vector<Frame> frames;
    for (int k = 0; k < 50; ++k) {
        frames.push_back(Numbered(k));
    }
    {
        std::lock_guard lock(Engine.RecordingMutex);
        UseRecording(frames);
    }
    Engine.Playback = 1;
    Settings.Loop = 1;
    std::atomic<bool> stop{false};
    std::thread timer([&] {
        while (!stop.load()) {
            PlaybackTimerCallback();
        }
    });
    int torn = 0;
    for (int paint = 0; paint < 2000; ++paint) {
        OnPaint(platform, target);
        torn += Whole(View.ShownFrame) ? 0 : 1;
        if (paint % 100 == 0) {
            OnCenterSequence(platform);
        }
    }
    stop = true;
    timer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_LT(Engine.PlaybackIndex.load(), 50u);
}

} // namespace
} // namespace telvo
