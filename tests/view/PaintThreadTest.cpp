// Paints on the window thread while the frame pump or the playback timer run on theirs; meant
// for the ThreadSanitizer build as much as for the plain one.
#include "ViewTestSupport.h"
#include "engine/Engine.h"
#include "view/Camera.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace telvo {
namespace {

// Every value of the frame the view reads carries the frame's number (exact in a float).
Frame Numbered(int k) {
    Frame f{};
    const auto v = static_cast<float>(k % 1000000);
    std::fill_n(&f.RawMatrices[0].m00, 19 * 9, v);
    f.RootPosition = f.MarkerPositions[3] = {v, v, v};
    f.ContactMask = static_cast<uint32_t>(v);
    return f;
}

bool Whole(const Frame& f) {
    const Frame numbered = Numbered(static_cast<int>(f.RootPosition.x));
    return std::memcmp(&f, &numbered, sizeof f) == 0;
}

class PaintThreads : public ViewTest {
protected:
    // Paints `paints` times while `work` runs on another thread; counts torn pictures.
    int PaintWhile(const std::function<void(const std::atomic<bool>& stop)>& work, int paints) {
        Engine.MainWindow = &platform;
        Settings.FollowCharacter = 1;
        std::atomic<bool> stop{false}, done{false};
        std::thread other([&] {
            work(stop);
            done = true;
        });
        int torn = 0;
        for (int i = 0; i < paints; ++i) {
            // Every other paint waits a moment to be requested.
            for (int spin = 0; i % 2 == 0 && spin < 20000 && !Engine.PaintPending && !done;
                 ++spin) {
                std::this_thread::yield();
            }
            OnPaint(platform, target);
            torn += Whole(View.ShownFrame) ? 0 : 1;
            if (i % 100 == 0) {
                OnCenterSequence(platform);
            }
        }
        stop = true;
        other.join();
        return torn;
    }
    // The frame pump at 30 a second (every frame may be displayed), up to `frames` frames.
    static auto Pump(int frames) {
        return [frames](const std::atomic<bool>& stop) {
            SuitInfo suit{1, "Studio", 4};
            for (int k = 1; !stop && k <= frames; ++k) {
                Frame f = Numbered(k);
                FrameCallback(&f, &suit);
            }
        };
    }
    RecordingTarget target;
};

TEST_F(PaintThreads, LiveAndRecordingPaintsSeeWholeFrames) {
    Engine.Live = 1;
    EXPECT_EQ(PaintWhile(Pump(1000000), 500), 0);
    // Recording: the frame pump grows the recording while paints pose the same skeleton.
    GyroInitSkeleton(&Engine.Skeleton);
    Engine.Recording = 1;
    EXPECT_EQ(PaintWhile(Pump(3000), 200), 0);
    GyroFreeSkeletonFrames(&Engine.Skeleton);
}

TEST_F(PaintThreads, PlaybackPaintsWhileTheTimerAdvances) {
    std::vector<Frame> frames;
    for (int k = 0; k < 50; ++k) {
        frames.push_back(Numbered(k));
    }
    UseRecording(frames);
    Engine.Playback = 1;
    auto timer = [](const std::atomic<bool>& stop) {
        while (!stop) {
            PlaybackTimerCallback();
        }
    };
    EXPECT_EQ(PaintWhile(timer, 500), 0);
    EXPECT_LT(Engine.PlaybackIndex.load(), 50u);
}

} // namespace
} // namespace telvo
