// Plays 120, 60 and 30 fps motions at divider 1 for ten seconds each on the real periodic
// timer. Counters: the steps per second against the true rate, and the ticks' lateness (99th
// percentile and worst). A rate off by more than 0.1 % is reported as an error.
#include "core/Settings.h"
#include "bench/EnginePlatform.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "platform/Clock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace telvo {
namespace {

struct Result {
    int fps = 0;
    std::size_t steps = 0;
    double seconds = 0;
    double rate = 0;
    double errorPercent = 0;
    double lateP99Ms = 0;
    double lateMaxMs = 0;
};

Result Measure(int fps, double seconds) {
    bench::EnginePlatform window;
    std::mutex mutex;
    std::vector<std::int64_t> stepTimes;
    std::vector<std::int64_t> tickTimes;
    window.aroundTick = [&](const std::function<void()>& tick) {
        std::int64_t now = MonotonicNs();
        uint32_t before = Engine.PlaybackIndex;
        tick();
        bool stepped = Engine.PlaybackIndex != before;
        std::lock_guard lock(mutex);
        tickTimes.push_back(now);
        if (stepped) {
            stepTimes.push_back(now);
        }
        Engine.PaintPending = 0; // painted at once
    };

    // A motion long enough not to wrap; the frames are this program's, never the library's.
    std::vector<Frame> frames(static_cast<std::size_t>(fps * (seconds + 5)));
    Settings.Reset();
    Engine.Reset();
    Settings.Loop = 0;
    Engine.MainWindow = &window;
    Engine.Skeleton.FramePeriod = 1.0f / static_cast<float>(fps);
    Engine.Skeleton.Frames = frames.data();
    Engine.Skeleton.FrameCount = static_cast<uint32_t>(frames.size());

    const std::int64_t periodNs =
        std::llround(1e9 * static_cast<double>(Engine.Skeleton.FramePeriod));
    OnPlay();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    OnStop();

    Engine.Skeleton.Frames = nullptr;
    Engine.Skeleton.FrameCount = 0;
    Engine.MainWindow = nullptr;

    Result result;
    result.fps = fps;
    result.steps = stepTimes.size();
    if (stepTimes.size() > 1) {
        result.seconds = static_cast<double>(stepTimes.back() - stepTimes.front()) / 1e9;
        result.rate = static_cast<double>(stepTimes.size() - 1) / result.seconds;
        result.errorPercent = (result.rate - fps) / fps * 100.0;
    }
    // Tick k is due at start + k x period. The timer's start is its own, so the grid is placed
    // at the earliest tick and each tick's lateness measured from there; a skipped tick shows
    // as a whole period late.
    std::vector<std::int64_t> lateness;
    if (!tickTimes.empty()) {
        std::int64_t origin = tickTimes[0] - periodNs;
        for (std::size_t i = 0; i < tickTimes.size(); ++i) {
            origin = std::min(origin, tickTimes[i] - static_cast<std::int64_t>(i + 1) * periodNs);
        }
        for (std::size_t i = 0; i < tickTimes.size(); ++i) {
            lateness.push_back(tickTimes[i] - static_cast<std::int64_t>(i + 1) * periodNs - origin);
        }
        std::sort(lateness.begin(), lateness.end());
        std::size_t p99 = (lateness.size() * 99) / 100;
        result.lateP99Ms = static_cast<double>(lateness[std::min(p99, lateness.size() - 1)]) / 1e6;
        result.lateMaxMs = static_cast<double>(lateness.back()) / 1e6;
    }
    return result;
}

void BM_PlaybackRate(benchmark::State& state) {
    const int fps = static_cast<int>(state.range(0));
    Result r;
    for (auto _ : state) {
        r = Measure(fps, 10.0);
        state.SetIterationTime(r.seconds);
    }
    state.counters["steps"] = static_cast<double>(r.steps);
    state.counters["steps_per_s"] = r.rate;
    state.counters["error_percent"] = r.errorPercent;
    state.counters["late_p99_ms"] = r.lateP99Ms;
    state.counters["late_max_ms"] = r.lateMaxMs;
    if (r.steps < 2 || std::fabs(r.errorPercent) > 0.1) {
        state.SkipWithError("the rate is off by more than 0.1 %");
    }
}
BENCHMARK(BM_PlaybackRate)
    ->Arg(120)
    ->Arg(60)
    ->Arg(30)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace telvo
