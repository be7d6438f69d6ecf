// The suit library's hot paths: posing the skeleton, growing the recording.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/sim/Performer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

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

constexpr uint32_t OneHour = 432000;

double ThreadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

// The slowest append measured in the thread's own CPU time, which leaves out the time other
// programs had the CPU; a pass of its own, since reading that clock costs a system call.
double SlowestAppendOnCpuUs(const Frame& frame) {
    Skeleton skel;
    GyroInitSkeleton(&skel);
    double slowest = 0.0;
    for (uint32_t i = 0; i < OneHour; ++i) {
        double start = ThreadCpuUs();
        if (GyroAddFrame(&skel) == 0) {
            break;
        }
        std::memcpy(static_cast<void*>(&skel.Frames[skel.FrameCount - 1]), &frame, sizeof frame);
        slowest = std::max(slowest, ThreadCpuUs() - start);
    }
    GyroFreeSkeletonFrames(&skel);
    return slowest;
}

// One hour at 120 frames per second: 432,000 appends, each followed by the frame's copy.
void BM_AddFrame_OneHour(benchmark::State& state) {
    constexpr uint32_t Frames = OneHour;
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
    double onCpu = SlowestAppendOnCpuUs(frame);
    state.counters["slowest_append_us"] = slowestUs;
    state.counters["slowest_append_cpu_us"] = onCpu;
}
BENCHMARK(BM_AddFrame_OneHour)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
