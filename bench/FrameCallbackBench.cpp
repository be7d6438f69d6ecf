// One FrameCallback while recording and live, with the switches read: the whole frame pump.
#include "bench/EnginePlatform.h"
#include "core/Settings.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "telvoria/TelvoriaSim.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace telvo {
namespace {

void BM_FrameCallback(benchmark::State& state) {
    static bench::EnginePlatform window;
    sim::Reset();
    sim::UseConfigFile(false);
    sim::SetManualClock(true);
    Settings.Reset();
    Engine.Reset();
    Engine.MainWindow = &window;
    Settings.UseSwitches = 1;
    Settings.RecordBeep = 0;
    GyroInit(); // if it fails, no suit opens below
    GyroInitSkeleton(&Engine.Skeleton);
    OnLive();
    OnRecord();
    Frame frame;
    std::memset(static_cast<void*>(&frame), 0x5A, sizeof frame);
    SuitInfo suit{1, "Studio", 1};
    if (Engine.Live == 0 || Engine.Recording == 0) {
        state.SkipWithError("no suit to record from"); // and the loop below does not run
    }
    for (auto _ : state) {
        FrameCallback(&frame, &suit);
        // The paint hands DisplayFrame back at once, so every fourth frame is copied to it.
        Engine.PaintPending.store(0, std::memory_order_relaxed);
    }
    state.counters["frames"] = static_cast<double>(RecordedFrameCount());
    OnStop();
    GyroFinish();
    GyroFreeSkeletonFrames(&Engine.Skeleton);
    Engine.Reset(); // no handle, window or frames left behind
}
// A fixed count keeps each repetition's recording at about 100 MB; the median of the
// repetitions is the figure to read.
BENCHMARK(BM_FrameCallback)
    ->Iterations(100000)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kNanosecond);

} // namespace
} // namespace telvo
