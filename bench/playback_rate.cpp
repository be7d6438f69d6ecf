// Plays 120, 60 and 30 fps motions at divider 1 on the real periodic timer and prints the
// steps per second against the true rate, and the 99th percentile of the ticks' lateness.
//   playback_rate [seconds per rate, default 10]
// Exits with 1 when a rate is off by more than 0.1 %.
#include "app/Settings.h"
#include "bench/EnginePlatform.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

} // namespace
} // namespace telvo

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(seconds >= 1.0)) {
        std::fprintf(stderr, "usage: %s [seconds per rate, at least 1]\n", argv[0]);
        return 2;
    }
    bool allWithin = true;
    std::printf("fps  steps  seconds   steps/s     error    lateness p99  max\n");
    for (int fps : {120, 60, 30}) {
        telvo::Result r = telvo::Measure(fps, seconds);
        bool within = r.steps > 1 && std::fabs(r.errorPercent) <= 0.1;
        allWithin = allWithin && within;
        std::printf("%3d  %5zu  %7.3f  %9.4f  %+7.4f %%  %8.3f ms  %6.3f ms  %s\n", r.fps, r.steps,
                    r.seconds, r.rate, r.errorPercent, r.lateP99Ms, r.lateMaxMs,
                    within ? "ok" : "OFF BY MORE THAN 0.1 %");
    }
    return allWithin ? 0 : 1;
}
