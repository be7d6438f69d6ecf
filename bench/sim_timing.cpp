// A simulated suit at divider 1 for ten seconds. Counters: how many frames arrive (1200 ± 1
// expected) and how late each is against its deadline (median, 99th percentile, worst).
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
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

void BM_SimulatedSuitTiming(benchmark::State& state) {
    telvo::sim::Reset();
    telvo::sim::UseConfigFile(false);
    telvo::sim::SetSuits({{1, "Studio", 1}});
    uint32_t dropped = 0;
    for (auto _ : state) {
        count = 0;
        if (GyroInit() == 0) {
            state.SkipWithError("GyroInit failed");
            return;
        }
        auto start = std::chrono::steady_clock::now();
        GyroHandle suit = GyroOpen(nullptr, OnFrame, OnTimeout);
        if (suit == 0) {
            GyroFinish();
            state.SkipWithError("GyroOpen failed");
            return;
        }
        // The 1200th deadline falls on the ten-second mark; give it half a period to arrive.
        std::this_thread::sleep_until(start + std::chrono::seconds(10) +
                                      std::chrono::microseconds(4167));
        GyroClose(suit);
        dropped = GyroGetDropped(suit);
        GyroFinish();
    }
    int n = std::min(count.load(), Capacity);
    std::vector<int64_t> sorted(lateness.begin(), lateness.begin() + n);
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) {
        return sorted.empty() ? 0.0
                              : static_cast<double>(sorted[static_cast<std::size_t>(
                                    q * static_cast<double>(sorted.size() - 1))]) /
                                    1e6;
    };
    state.counters["frames"] = count.load();
    state.counters["dropped"] = dropped;
    state.counters["late_median_ms"] = at(0.5);
    state.counters["late_p99_ms"] = at(0.99);
    state.counters["late_max_ms"] = at(1.0);
    if (count.load() < 1199 || count.load() > 1201) {
        state.SkipWithError("not 1200 +- 1 frames in ten seconds");
    }
}
BENCHMARK(BM_SimulatedSuitTiming)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
