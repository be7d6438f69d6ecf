// Recording files of one hour at 120 frames per second, each beside the floor: a plain write
// (with the same fsync a safe write makes) or a plain read of the same number of bytes into a
// freshly allocated buffer, as a reader must allocate one.
#include "bench/HourFile.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace telvo::bench {
namespace {

using Hour = HourFile<GyroWriteTL>;

void BM_WriteTL(benchmark::State& state) {
    Hour::Shared("take.tl").Bench(state, [](Hour& h) {
        return GyroWriteTL(h.path.c_str(), &h.take.skeleton, &h.take.actor);
    });
}

void BM_PlainWrite(benchmark::State& state) {
    Hour::Shared("take.tl").BenchPlainWrite(state);
}

void BM_ReadTL(benchmark::State& state) {
    Skeleton read{};
    ActorData actor{};
    Hour::Shared("take.tl").Bench(state, [&](Hour& h) {
        const bool ok = GyroReadTL(h.path.c_str(), &read, &actor) != 0;
        GyroFreeSkeletonFrames(&read);
        return ok;
    });
}

void BM_PlainRead(benchmark::State& state) {
    Hour::Shared("take.tl").Bench(state, [](Hour& h) {
        const int fd = ::open(h.path.c_str(), O_RDONLY | O_CLOEXEC);
        auto buffer = std::make_unique_for_overwrite<char[]>(h.size);
        std::size_t done = 0;
        for (ssize_t n = 1; n > 0 && done < h.size; done += static_cast<std::size_t>(n)) {
            n = std::max<ssize_t>(
                ::read(fd, buffer.get() + done, std::min(h.size - done, std::size_t{1} << 20)), 0);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
        return done == h.size;
    });
}

BENCHMARK(BM_WriteTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ReadTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
} // namespace telvo::bench
