#include "tests/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Commands in random order on the window thread while the suit delivers at 1 kHz from another
// thread, the playback timer ticks on a third, a paint hands DisplayFrame back on a fourth and
// now and then the suit times out (Cancel) on a fifth. Meant to run under ThreadSanitizer too.
class Stress : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        window.AnswerBoxesWith(MessageAnswer::Cancel);
        Settings.RecordStop = 1;
        Settings.RecordFramesOrSeconds = 1;
        Settings.RecordLimitFS = 200;
        Settings.RecordBeep = 0;
        Settings.ReportFrameRate = 1; // the start time is written and read on two threads
        ASSERT_NE(Open(), 0);
    }

    void StartThreads() {
        threads.emplace_back([this] {
            auto next = std::chrono::steady_clock::now();
            while (!done) {
                sim::Deliver(Engine.SuitHandle, 1);
                delivered++;
                next += 1ms;
                std::this_thread::sleep_until(next);
            }
        });
        threads.emplace_back([this] {
            while (!done) {
                window.TickAll();
                std::this_thread::sleep_for(1ms);
            }
        });
        threads.emplace_back([this] {
            while (!done) {
                if (Engine.PaintPending.load(std::memory_order_acquire) != 0) {
                    // What the view's paint does: the recorded frame during playback, else
                    // the frame the pump handed over.
                    Frame shown;
                    {
                        std::scoped_lock lock(Engine.RecordingMutex, Engine.DisplayMutex);
                        const ::Skeleton& skeleton = Engine.Skeleton;
                        uint32_t index = Engine.PlaybackIndex;
                        shown = Engine.Playback != 0 && skeleton.Frames != nullptr &&
                                        index < skeleton.FrameCount
                                    ? skeleton.Frames[index]
                                    : Engine.DisplayFrame;
                    }
                    (void)shown;
                    Engine.PaintPending.store(0, std::memory_order_release);
                }
                std::this_thread::sleep_for(2ms);
            }
        });
    }
    void StopThreads() {
        done = true;
        for (std::thread& thread : threads) {
            thread.join();
        }
        if (timeout.joinable()) {
            timeout.join();
        }
    }

    // A recording just ended: its frames came in order, without a gap unless it was paused.
    void CheckRecording(bool paused) {
        std::vector<uint64_t> sequence = RecordedSequence();
        EXPECT_LE(sequence.size(), 200u);
        for (std::size_t i = 1; i < sequence.size(); ++i) {
            ASSERT_GT(sequence[i], sequence[i - 1]);
        }
        if (!paused) {
            EXPECT_TRUE(Contiguous(sequence));
        }
        checked++;
    }

    std::atomic<bool> done{false};
    std::atomic<int> delivered{0};
    std::vector<std::thread> threads;
    std::thread timeout;
    int checked = 0;
};

TEST_F(Stress, RandomCommandsWhileFramesArrive) {
    std::mt19937 random(20261206);
    StartThreads();
    bool recording = false;
    bool paused = false;
    for (int step = 0; step < 1000; ++step) {
        if (step == 500) {
            sim::SetRecordingLimit(150); // from now on memory runs out before the limit
        }
        switch (random() % 8) {
        case 0:
        case 1:
            OnRecord();
            break;
        case 2:
            OnStop();
            break;
        case 3:
            OnPlay();
            break;
        case 4:
            OnLive();
            break;
        case 5:
            OnPauseStep();
            paused = paused || recording;
            break;
        case 6:
            Pump();
            break;
        case 7:
            if (random() % 8 == 0) {
                if (timeout.joinable()) {
                    timeout.join();
                }
                timeout = std::thread([] {
                    SuitInfo suit{1, "Studio", 1};
                    SuitTimeoutCallback(&suit);
                });
            }
            break;
        }
        bool now = Engine.Recording != 0;
        if (recording && !now) {
            CheckRecording(paused);
        }
        if (!recording && now) {
            paused = false;
        }
        recording = now;
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    }
    StopThreads();
    OnStop();
    Pump();
    EXPECT_GT(delivered.load(), 500);
    EXPECT_GT(checked, 20);
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(Engine.Playback.load(), 0);
    EXPECT_TRUE(window.RunningTimers().empty());
}

// Stop on the window thread while the timer's last tick ends a motion on its own thread: after
// Stop the motion is rewound, whichever of the two came first.
TEST_F(EngineTest, StopDuringTheLastTickRewinds) {
    Settings.Loop = 0;
    RecordFrames(2);
    std::atomic<bool> done{false};
    std::thread ticking([&] {
        while (!done) {
            window.TickAll();
        }
    });
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        OnPlay();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 50));
        OnStop();
        ASSERT_EQ(Engine.PlaybackIndex.load(), 0u) << "round " << i;
        Engine.PaintPending = 0;
    }
    done = true;
    ticking.join();
}

} // namespace
} // namespace telvo
