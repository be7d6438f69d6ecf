// Recording files of one hour at 120 frames per second, each beside the floor: a plain write
// (with the same fsync a safe write makes) or a plain read of the same number of bytes into a
// freshly allocated buffer, as a reader must allocate one.
#include "suitlib/SuitLib.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr std::size_t Chunk = std::size_t{1} << 20;

struct Files {
    Files() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "telvo-tl-XXXXXX").string();
        folder = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string(".");
        tl = folder + "/take.tl";
        GyroInitSkeleton(&take);
        for (uint32_t f = 0; f < 432000; ++f) {
            GyroAddFrame(&take);
            take.Frames[f].Flags = f;
            take.Frames[f].RootPosition = Vector(static_cast<float>(f % 977), 0.0f, 37.0f);
        }
        GyroGetActorData(0, &actor);
        GyroWriteTL(tl.c_str(), &take, &actor);
        size = static_cast<std::size_t>(std::filesystem::file_size(tl));
    }
    ~Files() {
        GyroFreeSkeletonFrames(&take);
        std::filesystem::remove_all(folder);
    }

    std::string folder;
    std::string tl;
    Skeleton take{};
    ActorData actor{};
    std::size_t size = 0;
};

Files& Shared() {
    static Files files;
    return files;
}

// Moves size bytes in chunks between fd and buffer; false if the file ended or failed first.
template <typename Io> bool Move(Io io, int fd, char* buffer, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        ssize_t n = io(fd, buffer + done, std::min(Chunk, size - done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void BM_WriteTL(benchmark::State& state) {
    Files& files = Shared();
    for (auto _ : state) {
        if (GyroWriteTL(files.tl.c_str(), &files.take, &files.actor) == 0) {
            state.SkipWithError("write failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}

void BM_PlainWrite(benchmark::State& state) {
    Files& files = Shared();
    std::string bytes(files.size, 'x');
    const std::string path = files.folder + "/plain.bin";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (!Move(::write, fd, bytes.data(), files.size) || ::fsync(fd) != 0) {
            state.SkipWithError("write failed");
        }
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}

void BM_ReadTL(benchmark::State& state) {
    Files& files = Shared();
    Skeleton read{};
    GyroInitSkeleton(&read);
    ActorData actor{};
    for (auto _ : state) {
        if (GyroReadTL(files.tl.c_str(), &read, &actor) == 0) {
            state.SkipWithError("read failed");
        }
        GyroFreeSkeletonFrames(&read);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}

void BM_PlainRead(benchmark::State& state) {
    Files& files = Shared();
    for (auto _ : state) {
        int fd = ::open(files.tl.c_str(), O_RDONLY | O_CLOEXEC);
        auto buffer = std::make_unique_for_overwrite<char[]>(files.size);
        if (!Move(::read, fd, buffer.get(), files.size)) {
            state.SkipWithError("read failed");
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}

BENCHMARK(BM_WriteTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ReadTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
