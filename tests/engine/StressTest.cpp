#include "tests/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <utility>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Commands in random order on the window thread while the suit delivers at 1 kHz from another
// thread, the playback timer ticks on a third, a paint hands DisplayFrame back on a fourth and
// now and then the suit times out (Cancel) on a fifth. Meant to run under ThreadSanitizer too.
class Stress : public EngineTest {
protected:
    template <typename Body> void Every(std::chrono::milliseconds period, Body body) {
        threads.emplace_back([this, period, body] {
            for (auto next = std::chrono::steady_clock::now(); !done;
                 std::this_thread::sleep_until(next += period)) {
                body();
            }
        });
    }
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
};

TEST_F(Stress, RandomCommandsWhileFramesArrive) {
    window.AnswerBoxes(MessageAnswer::Cancel);
    Settings.RecordStop = 1;
    Settings.RecordFramesOrSeconds = 1;
    Settings.RecordLimitFS = 200;
    Settings.RecordBeep = 0;
    Settings.ReportFrameRate = 1; // the start time is written and read on two threads
    ASSERT_NE(OpenSuitIfNeeded(), 0);
    Every(1ms, [] { sim::Deliver(Engine.SuitHandle, 1); });
    Every(1ms, [this] { window.TickAll(); });
    // What the view's paint does: the recorded frame during playback, else the frame the pump
    // handed over.
    Every(2ms, [] {
        if (Engine.PaintPending.load(std::memory_order_acquire) != 0) {
            std::scoped_lock lock(Engine.RecordingMutex, Engine.DisplayMutex);
            const ::Skeleton& s = Engine.Skeleton;
            const uint32_t i = Engine.PlaybackIndex;
            [[maybe_unused]] const Frame shown =
                Engine.Playback != 0 && s.Frames != nullptr && i < s.FrameCount
                    ? s.Frames[i]
                    : Engine.DisplayFrame;
            Engine.PaintPending.store(0, std::memory_order_release);
        }
    });
    std::mt19937 random(20261206);
    void (*const commands[])() = {OnRecord, OnRecord, OnStop, OnPlay, OnLive, OnPauseStep};
    bool recording = false;
    bool paused = false;
    int checked = 0;
    for (int step = 0; step < 1000; ++step) {
        if (step == 500) {
            sim::SetRecordingLimit(150); // from now on memory runs out before the limit
        }
        if (unsigned pick = random() % 8; pick < 6) {
            paused = paused || (pick == 5 && recording);
            commands[pick]();
        } else if (pick == 6) {
            Pump();
        } else if (random() % 8 == 0) {
            threads.emplace_back([] {
                SuitInfo suit{1, "Studio", 1};
                SuitTimeoutCallback(&suit);
            });
        }
        // A recording just ended: its frames came in order, without a gap unless paused.
        const bool now = Engine.Recording != 0;
        if (recording && !now) {
            std::vector<uint64_t> sequence = RecordedSequence();
            EXPECT_LE(sequence.size(), 200u);
            EXPECT_TRUE(std::is_sorted(sequence.begin(), sequence.end()));
            EXPECT_TRUE(paused || Contiguous(sequence));
            checked += sequence.empty() ? 0 : 1;
        }
        paused = paused && now;
        recording = now;
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    }
    done = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    OnStop();
    Pump();
    EXPECT_GT(checked, 20) << "recordings that got frames";
    EXPECT_TRUE(window.RunningTimers().empty());
}

// A Stop that lands while the timer's last tick ends the motion, between the tick's kill of
// its own timer and the end of the tick: the motion is rewound all the same.
class StopInTheLastTick : public FakePlatform {
public:
    void KillTimer(TimerId id) override {
        if (std::exchange(stopNow, false)) {
            OnStop();
        }
        FakePlatform::KillTimer(id);
    }
    bool stopNow = false;
};

TEST_F(EngineTest, StopDuringTheLastTickRewinds) {
    Settings.Loop = 0;
    RecordFrames(2);
    StopInTheLastTick timerWindow;
    Engine.MainWindow = &timerWindow;
    OnPlay();
    timerWindow.stopNow = true;
    std::thread([&timerWindow] {
        while (Engine.Playback != 0) {
            timerWindow.TickAll();
        }
    }).join();
    EXPECT_FALSE(timerWindow.stopNow) << "the tick never ended the motion";
    EXPECT_EQ(Engine.PlaybackIndex.load(), 0u);
    Engine.MainWindow = &window;
}

} // namespace
} // namespace telvo
