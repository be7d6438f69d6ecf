// The suits on their own threads: order, absolute deadlines, closing from the callbacks,
// finishing while frames arrive. Run under ThreadSanitizer as well.
#include "tests/support/Loopback.h"
#include "tests/telvoria/SimFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;

constexpr int64_t PeriodNs = 8333333; // divider 1

std::atomic<int> frameCount{0}, timeoutCount{0}, inCallback{0};
std::atomic<GyroHandle> closeAt{0};
std::atomic<int> closeAfter{-1}; // frames; 0: close from the timeout callback
// How long each frame callback takes, and the callbacks that began such a hold.
std::atomic<int> holdMs{0}, holds{0};
std::atomic<bool> broken{false}; // a frame out of order, early, or off its deadline
// Per suit: each suit delivers on its own thread.
thread_local uint64_t nextSequence = 0;
thread_local int64_t startNs = 0;

void OnFrame(const Frame* f, SuitInfo*) {
    inCallback.fetch_add(1);
    const uint64_t sequence = sim::FrameSequence(*f);
    const int64_t deadline = sim::FrameTimestampNs(*f);
    const int64_t start = deadline - static_cast<int64_t>(sim::FrameSampleIndex(*f)) * PeriodNs;
    startNs = sequence == 0 ? start : startNs;
    const int64_t now = std::chrono::steady_clock::now().time_since_epoch() / 1ns;
    if (sequence != nextSequence++ || now < deadline || start != startNs) {
        broken = true;
    }
    if (frameCount.fetch_add(1) + 1 == closeAfter.load()) {
        GyroClose(closeAt.load());
    }
    const int hold = holdMs.load();
    holds.fetch_add(hold > 0 ? 1 : 0);
    std::this_thread::sleep_for(hold * 1ms);
    inCallback.fetch_sub(1);
}

void OnTimeout(SuitInfo*) {
    timeoutCount.fetch_add(1);
    if (closeAfter.load() == 0) {
        GyroClose(closeAt.load());
    }
}

struct Threads : SimTest {
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(GyroInit(), 1);
        Restart();
    }
    static void Restart() {
        frameCount = timeoutCount = holdMs = holds = 0;
        closeAfter = -1;
        broken = false;
    }
    // No callback runs now, and none comes later.
    static void ExpectQuiet() {
        EXPECT_EQ(inCallback, 0);
        int after = frameCount;
        std::this_thread::sleep_for(40ms);
        EXPECT_EQ(frameCount, after);
    }
};

TEST_F(Threads, FramesKeepOrderAndDeadlinesThroughASlowCallbackAndStopWhenClosed) {
    GyroHandle h = GyroOpen(nullptr, OnFrame, nullptr);
    ASSERT_TRUE(Eventually([] { return frameCount >= 2; }));
    holdMs = 100; // about twelve samples' time
    ASSERT_TRUE(Eventually([] { return holds >= 1; }));
    holdMs = 0;
    ASSERT_TRUE(Eventually([] { return frameCount >= 20; }));
    EXPECT_GE(GyroGetDropped(h), 5u);
    // The rest of the library is usable from other threads meanwhile.
    SuitInfo info;
    Matrix raw[RawSensorCount];
    for (int i = 0; i < 50; ++i) {
        sim::SetAux(h, AuxValid | (i & 1));
        GyroGetSuitInfo(h, &info);
        GyroGetRaw(h, raw, 1);
        GyroSetNull(h);
    }
    EXPECT_EQ(GyroClose(h), 1);
    ExpectQuiet();
    EXPECT_FALSE(broken);
}

TEST_F(Threads, CloseFromItsOwnCallbacksReopenAndFinishFromTwoThreadsWhileSuitsDeliver) {
    sim::SetTimeoutMs(20);
    for (int closeFrom : {3, 0}) {
        SCOPED_TRACE(closeFrom == 0 ? "from the timeout" : "from a frame");
        Restart();
        closeAt = GyroOpen(nullptr, OnFrame, OnTimeout);
        closeAfter = closeFrom;
        sim::SetSilent(closeAt, closeFrom == 0);
        ASSERT_TRUE(Eventually([] { return sim::OpenSuitCount() == 0; }));
        ExpectQuiet();
        EXPECT_FALSE(broken);
        EXPECT_EQ(timeoutCount, closeFrom == 0 ? 1 : 0);
        EXPECT_TRUE(closeFrom == 0 || frameCount == closeFrom) << frameCount << " frames";
    }
    // Reopened at once with two more suits, then finished from two threads while they deliver.
    Restart();
    sim::SetSuits({{1, "One", 1}, {2, "Two", 1}, {3, "Three", 1}});
    ASSERT_EQ(GyroFindSuits(), 3);
    holdMs = 1; // callbacks are likely running when the finish comes
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(GyroOpen(nullptr, OnFrame, OnTimeout), 0);
    }
    ASSERT_TRUE(Eventually([] { return frameCount >= 20; }));
    std::thread other([] { GyroFinish(); });
    GyroFinish();
    other.join();
    ExpectQuiet();
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    EXPECT_FALSE(broken);
}

} // namespace
} // namespace telvo::test
