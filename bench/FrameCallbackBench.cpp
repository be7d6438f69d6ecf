// One FrameCallback while recording and live, with the switches read: the whole frame pump.
#include "core/Settings.h"
#include "bench/EnginePlatform.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "telvoria/TelvoriaSim.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace telvo {
namespace {

void RunFrameCallback(benchmark::State& state, bool record) {
    static bench::EnginePlatform window;
    sim::Reset();
    sim::UseConfigFile(false);
    sim::SetManualClock(true);
    Settings.Reset();
    Engine.Reset();
    Engine.MainWindow = &window;
    if (GyroInit() == 0) {
        state.SkipWithError("the suit library did not start");
        return;
    }
    GyroInitSkeleton(&Engine.Skeleton);
    Settings.UseSwitches = 1;
    Settings.RecordBeep = 0;
    OnLive();
    if (record) {
        OnRecord();
    }
    if (Engine.Live == 0 || (record && Engine.Recording == 0)) {
        state.SkipWithError("no suit to record from");
        GyroFinish();
        return;
    }

    Frame frame;
    std::memset(static_cast<void*>(&frame), 0x5A, sizeof frame);
    SuitInfo suit{1, "Studio", 1};
    for (auto _ : state) {
        FrameCallback(&frame, &suit);
        // The paint hands DisplayFrame back at once, so every fourth frame is copied to it.
        Engine.PaintPending.store(0, std::memory_order_relaxed);
    }
    state.counters["frames"] = static_cast<double>(RecordedFrameCount());

    OnStop();
    Engine.SuitHandle = 0;
    GyroFinish();
    GyroFreeSkeletonFrames(&Engine.Skeleton);
    Engine.MainWindow = nullptr;
}

void BM_FrameCallback(benchmark::State& state) {
    RunFrameCallback(state, true);
}

// The same without the recording: what the append costs, by difference.
void BM_FrameCallbackLiveOnly(benchmark::State& state) {
    RunFrameCallback(state, false);
}

// A fixed count keeps each repetition's recording at about 100 MB; the median of the
// repetitions is the figure to read.
void Settle(benchmark::internal::Benchmark* b) {
    b->Iterations(100000)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kNanosecond);
}
BENCHMARK(BM_FrameCallback)->Apply(Settle);
BENCHMARK(BM_FrameCallbackLiveOnly)->Apply(Settle);

} // namespace
} // namespace telvo
