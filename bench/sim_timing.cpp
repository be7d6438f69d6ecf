// A simulated suit at divider 1 for ten seconds. Counters: how many frames arrive (1200 ± 1
// expected) and how late each is against its deadline (median, 99th percentile, worst).
#include "bench/BenchSupport.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int Capacity = 4000;
std::vector<double> lateMs(Capacity);
std::atomic<int> count{0};

void OnFrame(const Frame* frame, SuitInfo*) {
    const int64_t late = telvo::bench::SteadyNs() - telvo::sim::FrameTimestampNs(*frame);
    if (int n = count.fetch_add(1); n < Capacity) {
        lateMs[static_cast<std::size_t>(n)] = static_cast<double>(late) / 1e6;
    }
}

void BM_SimulatedSuitTiming(benchmark::State& state) {
    telvo::sim::Reset();
    telvo::sim::UseConfigFile(false);
    uint32_t dropped = 0;
    for (auto _ : state) {
        count = 0;
        const bool started = GyroInit() != 0;
        auto start = std::chrono::steady_clock::now();
        GyroHandle suit = started ? GyroOpen(nullptr, OnFrame, nullptr) : 0;
        if (suit == 0) {
            GyroFinish();
            state.SkipWithError("the simulated suit did not open");
            return;
        }
        // The 1200th deadline falls on the ten-second mark; give it half a period to arrive.
        std::this_thread::sleep_until(start + std::chrono::microseconds(10'004'167));
        GyroClose(suit);
        dropped = GyroGetDropped(suit);
        GyroFinish();
    }
    const int frames = count.load();
    lateMs.resize(static_cast<std::size_t>(std::min(frames, Capacity)));
    using telvo::bench::Quantile;
    state.counters["frames"] = frames;
    state.counters["dropped"] = dropped;
    state.counters["late_median_ms"] = Quantile(lateMs, 0.5);
    state.counters["late_p99_ms"] = Quantile(lateMs, 0.99);
    state.counters["late_max_ms"] = Quantile(lateMs, 1.0);
    if (frames < 1199 || frames > 1201) {
        state.SkipWithError("not 1200 +- 1 frames in ten seconds");
    }
}
BENCHMARK(BM_SimulatedSuitTiming)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
