// Posing the skeleton from one frame, as the frame server and the view do for every frame.
// Then the recording's growth over one hour at 120 frames per second: 432,000 appends, each
// followed by the frame's copy. Counters: the slowest append on the wall clock, and in the
// thread's own CPU time, which leaves out the time other programs had the CPU; that one in a
// pass of its own, since reading its clock costs a system call.
#include "bench/BenchSupport.h"
#include "tests/support/LiveTake.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

void BM_ApplyFrame(benchmark::State& state) {
    Skeleton skel;
    GyroInitSkeleton(&skel);
    const telvo::LiveTake walking(8 * 120); // the simulated performer, 8 s into the script
    const Frame frame = walking.skeleton.Frames[walking.skeleton.FrameCount - 1];
    for (auto _ : state) {
        benchmark::DoNotOptimize(GyroApplyFrame(&skel, &frame));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ApplyFrame)->Repetitions(10)->ReportAggregatesOnly(true);

double WallUs() {
    return static_cast<double>(telvo::bench::SteadyNs()) * 1e-3;
}

double ThreadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

// Records an hour into skel; the slowest append by nowUs, or -1 if one failed.
double RecordOneHour(Skeleton& skel, double (*nowUs)()) {
    static const Frame frame{}; // what it holds costs nothing more to copy
    GyroInitSkeleton(&skel);
    double slowest = 0.0;
    for (uint32_t i = 0; i < 432000; ++i) {
        double start = nowUs();
        if (GyroAddFrame(&skel) == 0) {
            return -1.0;
        }
        std::memcpy(static_cast<void*>(&skel.Frames[skel.FrameCount - 1]), &frame, sizeof frame);
        slowest = std::max(slowest, nowUs() - start);
    }
    return slowest;
}

void BM_AddFrame_OneHour(benchmark::State& state) {
    double slowestUs = 0.0;
    Skeleton skel;
    for (auto _ : state) {
        double slowest = RecordOneHour(skel, WallUs);
        state.PauseTiming();
        GyroFreeSkeletonFrames(&skel);
        state.ResumeTiming();
        if (slowest < 0.0) {
            state.SkipWithError("GyroAddFrame failed");
            break;
        }
        slowestUs = std::max(slowestUs, slowest);
    }
    state.counters["slowest_append_us"] = slowestUs;
    state.counters["slowest_append_cpu_us"] = RecordOneHour(skel, ThreadCpuUs);
    GyroFreeSkeletonFrames(&skel);
}
BENCHMARK(BM_AddFrame_OneHour)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
