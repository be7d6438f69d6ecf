// A simulated suit at divider 1 for ten seconds: how many frames arrive, and how late each
// is against its deadline.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int Capacity = 4000;
std::vector<int64_t> lateness(Capacity);
std::atomic<int> count{0};

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void OnFrame(const Frame* frame, SuitInfo*) {
    int64_t late = Now() - telvo::sim::FrameTimestampNs(*frame);
    int n = count.fetch_add(1);
    if (n < Capacity) {
        lateness[static_cast<std::size_t>(n)] = late;
    }
}

void OnTimeout(SuitInfo*) {}

} // namespace

int main() {
    telvo::sim::Reset();
    telvo::sim::UseConfigFile(false);
    telvo::sim::SetSuits({{1, "Studio", 1}});
    if (GyroInit() == 0) {
        std::fprintf(stderr, "GyroInit failed\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    GyroHandle suit = GyroOpen(nullptr, OnFrame, OnTimeout);
    if (suit == 0) {
        std::fprintf(stderr, "GyroOpen failed\n");
        return 1;
    }
    // The 1200th deadline falls on the ten-second mark; give it half a period to arrive.
    std::this_thread::sleep_until(start + std::chrono::seconds(10) +
                                  std::chrono::microseconds(4167));
    GyroClose(suit);
    uint32_t dropped = GyroGetDropped(suit);
    GyroFinish();

    int n = std::min(count.load(), Capacity);
    std::vector<int64_t> sorted(lateness.begin(), lateness.begin() + n);
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) {
        return sorted.empty() ? 0.0
                              : static_cast<double>(sorted[static_cast<std::size_t>(
                                    q * static_cast<double>(sorted.size() - 1))]) /
                                    1e6;
    };
    std::printf("frames in 10 s at divider 1: %d (expected 1200 +- 1), dropped %u\n", count.load(),
                dropped);
    std::printf("lateness against the deadlines: median %.3f ms, 99th percentile %.3f ms, "
                "max %.3f ms\n",
                at(0.5), at(0.99), at(1.0));
    return count.load() >= 1199 && count.load() <= 1201 ? 0 : 1;
}
