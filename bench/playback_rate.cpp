// Plays 120, 60 and 30 fps motions at divider 1 for ten seconds each on the real periodic
// timer. Counters: the steps per second against the true rate, and the ticks' lateness (99th
// percentile and worst). A rate off by more than 0.1 % is reported as an error.
#include "bench/EnginePlatform.h"
#include "core/Settings.h"
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

void BM_PlaybackRate(benchmark::State& state) {
    const int fps = static_cast<int>(state.range(0));
    const double seconds = 10.0;
    const float period = 1.0f / static_cast<float>(fps);
    bench::EnginePlatform window;
    std::mutex mutex;
    std::vector<std::int64_t> ticks;
    std::vector<std::int64_t> steps;
    window.aroundTick = [&](const std::function<void()>& tick) {
        std::int64_t now = MonotonicNs();
        uint32_t before = Engine.PlaybackIndex;
        tick();
        bool stepped = Engine.PlaybackIndex != before;
        std::lock_guard lock(mutex);
        ticks.push_back(now);
        if (stepped) {
            steps.push_back(now);
        }
        Engine.PaintPending = 0; // painted at once
    };
    // A motion long enough not to wrap; the frames are this program's, never the library's.
    std::vector<Frame> frames(static_cast<std::size_t>(fps * (seconds + 5)));
    double span = 0.0;
    for (auto _ : state) {
        Settings.Reset();
        Engine.Reset();
        Settings.Loop = 0;
        Engine.MainWindow = &window;
        Engine.Skeleton.FramePeriod = period;
        Engine.Skeleton.Frames = frames.data();
        Engine.Skeleton.FrameCount = static_cast<uint32_t>(frames.size());
        OnPlay();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        OnStop();
        Engine.Reset(); // no pointer into this program's frames or window stays behind
        span = steps.size() > 1 ? static_cast<double>(steps.back() - steps.front()) / 1e9 : 0.0;
        state.SetIterationTime(span);
    }
    const double rate = span > 0.0 ? static_cast<double>(steps.size() - 1) / span : 0.0;
    const double errorPercent = (rate - fps) / fps * 100.0;
    state.counters["steps"] = static_cast<double>(steps.size());
    state.counters["steps_per_s"] = rate;
    state.counters["error_percent"] = errorPercent;
    // Tick k is due at start + k x period. The timer's start is its own, so the grid is placed
    // at the earliest tick and each tick's lateness measured from there; a skipped tick shows
    // as a whole period late.
    const std::int64_t periodNs = std::llround(1e9 * static_cast<double>(period));
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        ticks[k] -= static_cast<std::int64_t>(k) * periodNs;
    }
    std::sort(ticks.begin(), ticks.end());
    auto lateMs = [&](std::size_t k) { return static_cast<double>(ticks[k] - ticks[0]) / 1e6; };
    state.counters["late_p99_ms"] = ticks.empty() ? 0.0 : lateMs(ticks.size() * 99 / 100);
    state.counters["late_max_ms"] = ticks.empty() ? 0.0 : lateMs(ticks.size() - 1);
    if (steps.size() < 2 || std::fabs(errorPercent) > 0.1) {
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
