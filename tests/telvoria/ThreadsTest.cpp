// The suits on their own threads: order, closing from the callbacks, finishing while frames
// arrive. Run under ThreadSanitizer as well. A silence on the real clock is timed out in the
// window's tests, which close the suit from the timeout's Cancel.
#include "tests/telvoria/SimFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> frameCount{0};
std::atomic<int> inCallback{0};
std::atomic<GyroHandle> closeAt{0};
std::atomic<int> closeAfter{-1};
std::atomic<int> sleepMs{0};
std::atomic<bool> orderBroken{false};
std::atomic<uint64_t> nextSequence{0};

void OnFrame(const Frame* f, SuitInfo*) {
    inCallback.fetch_add(1);
    if (sim::FrameSequence(*f) != nextSequence.load()) {
        orderBroken = true;
    }
    nextSequence = sim::FrameSequence(*f) + 1;
    int n = frameCount.fetch_add(1) + 1;
    if (n == closeAfter.load()) {
        GyroClose(closeAt.load());
    }
    if (int ms = sleepMs.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        sleepMs = 0;
    }
    inCallback.fetch_sub(1);
}

// Counts frames of several suits without checking order.
void CountFrame(const Frame*, SuitInfo*) {
    inCallback.fetch_add(1);
    frameCount.fetch_add(1);
    std::this_thread::sleep_for(1ms);
    inCallback.fetch_sub(1);
}

void OnTimeout(SuitInfo*) {}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class Threads : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        frameCount = 0;
        closeAt = 0;
        closeAfter = -1;
        sleepMs = 0;
        orderBroken = false;
        nextSequence = 0;
        ASSERT_EQ(GyroInit(), 1);
    }
};

TEST_F(Threads, FramesArriveInOrderAndStopWhenClosed) {
    GyroHandle h = GyroOpen(nullptr, OnFrame, OnTimeout);
    ASSERT_NE(h, 0);
    ASSERT_TRUE(WaitFor([] { return frameCount >= 30; }));
    // The rest of the library is usable from other threads meanwhile.
    SuitInfo info;
    Matrix raw[RawSensorCount];
    for (int i = 0; i < 50; ++i) {
        GyroGetAux(h);
        sim::SetAux(h, AuxValid | (i & 1));
        GyroGetSuitInfo(h, &info);
        GyroGetRaw(h, raw, 1);
        GyroSetNull(h);
        GyroJumping(h);
    }
    EXPECT_EQ(GyroClose(h), 1);
    int after = frameCount;
    EXPECT_EQ(inCallback, 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(frameCount, after) << "a callback after GyroClose returned";
    EXPECT_FALSE(orderBroken);
}

TEST_F(Threads, CloseFromTheFrameCallbackAndReopenAtOnce) {
    GyroHandle h = GyroOpen(nullptr, OnFrame, OnTimeout);
    closeAt = h;
    closeAfter = 3;
    ASSERT_TRUE(WaitFor([] { return sim::OpenSuitCount() == 0; }));
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(frameCount, 3);

    frameCount = 0;
    nextSequence = 0;
    GyroHandle again = GyroOpen(nullptr, OnFrame, OnTimeout);
    ASSERT_NE(again, 0);
    EXPECT_NE(again, h);
    ASSERT_TRUE(WaitFor([] { return frameCount >= 5; }));
    GyroFinish();
    EXPECT_EQ(inCallback, 0);
    EXPECT_FALSE(orderBroken);
}

TEST_F(Threads, FinishWhileSuitsDeliverLeavesNoCallbackRunning) {
    sim::SetSuits({{1, "One", 1}, {2, "Two", 2}, {3, "Three", 1}});
    ASSERT_EQ(GyroFindSuits(), 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(GyroOpen(nullptr, CountFrame, OnTimeout), 0);
    }
    ASSERT_TRUE(WaitFor([] { return frameCount >= 20; }));
    std::thread other([] { GyroFinish(); });
    GyroFinish();
    other.join();
    EXPECT_EQ(inCallback, 0);
    int after = frameCount;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(frameCount, after);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
}

TEST_F(Threads, SlowCallbackCostsDroppedSamplesNotOrder) {
    GyroHandle h = GyroOpen(nullptr, OnFrame, OnTimeout);
    ASSERT_TRUE(WaitFor([] { return frameCount >= 2; }));
    sleepMs = 100; // about twelve samples' time
    ASSERT_TRUE(WaitFor([] { return frameCount >= 10; }));
    EXPECT_GE(GyroGetDropped(h), 5u);
    GyroFinish();
    EXPECT_FALSE(orderBroken);
}

} // namespace
} // namespace telvo::test
