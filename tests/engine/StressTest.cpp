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
