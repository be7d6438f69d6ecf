// The suit library's hot paths: posing the skeleton, growing the recording.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/sim/Performer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// A walking pose, as the suit delivers it.
Frame WalkingFrame() {
    telvo::sim::Performer performer(6.0);
    Frame f{};
    performer.Next(1.0 / 120.0, f);
    return f;
}

void BM_ApplyFrame(benchmark::State& state) {
    Skeleton skel;
    GyroInitSkeleton(&skel);
    Frame frame = WalkingFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(GyroApplyFrame(&skel, &frame));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ApplyFrame)->Repetitions(10)->ReportAggregatesOnly(true);

// One hour at 120 frames per second: 432,000 appends, each followed by the frame's copy.
void BM_AddFrame_OneHour(benchmark::State& state) {
    constexpr uint32_t Frames = 432000;
    Frame frame = WalkingFrame();
    double slowestUs = 0.0;
    for (auto _ : state) {
        Skeleton skel;
        GyroInitSkeleton(&skel);
        double slowest = 0.0;
        for (uint32_t i = 0; i < Frames; ++i) {
            auto start = std::chrono::steady_clock::now();
            if (GyroAddFrame(&skel) == 0) {
                state.SkipWithError("GyroAddFrame failed");
                break;
            }
            std::memcpy(static_cast<void*>(&skel.Frames[skel.FrameCount - 1]), &frame,
                        sizeof frame);
            std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            slowest = std::max(slowest, took.count());
        }
        state.PauseTiming();
        GyroFreeSkeletonFrames(&skel);
        state.ResumeTiming();
        slowestUs = std::max(slowestUs, slowest);
    }
    state.counters["slowest_append_us"] = slowestUs;
    std::printf("BM_AddFrame_OneHour: slowest single append %.1f us\n", slowestUs);
}
BENCHMARK(BM_AddFrame_OneHour)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
