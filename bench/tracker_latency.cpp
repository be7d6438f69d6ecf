// A suit of 16 trackers on 127.0.0.1, each sending 200 orientations a second, delivered at
// 120 frames per second. Counters: the time from a rotation's arrival at the receiver to the
// frame callback that carries it (median, 99th percentile, worst, in microseconds), the
// receiver thread's CPU time per second, and the rotations per second it took.
#include "bench/BenchSupport.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/TelvoriaTrackers.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int Trackers = 16;
constexpr auto Run = std::chrono::seconds(5);

std::mutex latencyMutex;
std::vector<double> latencyUs;

void OnFrame(const Frame* frame, SuitInfo*) {
    const int64_t now = telvo::bench::SteadyNs();
    std::lock_guard lock(latencyMutex);
    for (int64_t arrival : telvo::trackers::FreshArrivals(*frame)) {
        latencyUs.push_back(static_cast<double>(now - arrival) * 1e-3);
    }
}

void BM_TrackerLatency(benchmark::State& state) {
    const telvo::TempDir folder;
    const uint16_t port = telvo::trackers::FreeLoopbackPort();
    const auto set = telvo::trackers::Emulator::Standard(Trackers);
    telvo::WriteAll(folder.path() / "telvoria-sim.ini",
                    "[Simulation]\nSuits=0\n" + telvo::trackers::TrackersSection(port, set));
    double cpuMsPerSecond = 0.0;
    double rotationsPerSecond = 0.0;
    for (auto _ : state) {
        telvo::sim::Reset();
        telvo::sim::SetConfigFolder(folder.path().string());
        GyroInit();
        telvo::trackers::Emulator emulator({.port = port, .rate = 200.0, .holdSeconds = 0.0}, set);
        emulator.Start();
        for (int i = 0; i < 300 && !emulator.Connected(Trackers - 1); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        GyroHandle suit = GyroOpen(nullptr, OnFrame, nullptr);
        GyroSetNull(suit);
        {
            std::lock_guard lock(latencyMutex);
            latencyUs.clear();
        }
        auto before = telvo::trackers::Counts();
        std::this_thread::sleep_for(Run);
        auto after = telvo::trackers::Counts();
        GyroClose(suit);
        emulator.Stop();
        double seconds = std::chrono::duration<double>(Run).count();
        cpuMsPerSecond = static_cast<double>(after.cpuNs - before.cpuNs) * 1e-6 / seconds;
        rotationsPerSecond = static_cast<double>(after.rotations - before.rotations) / seconds;
    }
    telvo::sim::Reset();
    std::lock_guard lock(latencyMutex);
    using telvo::bench::Quantile;
    state.counters["arrival_to_frame_median_us"] = Quantile(latencyUs, 0.5);
    state.counters["arrival_to_frame_p99_us"] = Quantile(latencyUs, 0.99);
    state.counters["arrival_to_frame_worst_us"] = Quantile(latencyUs, 1.0);
    state.counters["receiver_cpu_ms_per_s"] = cpuMsPerSecond;
    state.counters["rotations_per_s"] = rotationsPerSecond;
}
BENCHMARK(BM_TrackerLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
