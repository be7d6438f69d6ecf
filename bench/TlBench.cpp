// Recording files of one hour at 120 frames per second, each beside the floor: a plain write
// (with the same fsync a safe write makes) or a plain read of the same number of bytes into a
// freshly allocated buffer, as a reader must allocate one.
#include "suitlib/SuitLib.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr uint32_t OneHour = 432000;
constexpr std::size_t Chunk = std::size_t{1} << 20;

struct Files {
    Files() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "telvo-tl-XXXXXX").string();
        folder = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string(".");
        GyroInitSkeleton(&take);
        for (uint32_t f = 0; f < OneHour; ++f) {
            GyroAddFrame(&take);
            take.Frames[f].Flags = f;
            take.Frames[f].RootPosition = Vector(static_cast<float>(f % 977), 0.0f, 37.0f);
        }
        GyroGetActorData(0, &actor);
        GyroWriteTL(Tl().c_str(), &take, &actor);
        size = static_cast<std::size_t>(std::filesystem::file_size(Tl()));
        plain.assign(size, 'x');
    }
    ~Files() {
        GyroFreeSkeletonFrames(&take);
        std::filesystem::remove_all(folder);
    }
    std::string Tl() const { return folder + "/take.tl"; }
    std::string Plain() const { return folder + "/plain.bin"; }

    std::string folder;
    Skeleton take{};
    ActorData actor{};
    std::size_t size = 0;
    std::string plain; // as many bytes as the recording file
};

Files& Shared() {
    static Files files;
    return files;
}

void BM_WriteTL(benchmark::State& state) {
    Files& files = Shared();
    for (auto _ : state) {
        if (GyroWriteTL(files.Tl().c_str(), &files.take, &files.actor) == 0) {
            state.SkipWithError("write failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}
BENCHMARK(BM_WriteTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_PlainWrite(benchmark::State& state) {
    Files& files = Shared();
    for (auto _ : state) {
        int fd = ::open(files.Plain().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (std::size_t done = 0; done < files.size;) {
            std::size_t n = std::min(Chunk, files.size - done);
            ssize_t written = ::write(fd, files.plain.data() + done, n);
            if (written <= 0) {
                state.SkipWithError("write failed");
                break;
            }
            done += static_cast<std::size_t>(written);
        }
        ::fsync(fd);
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ReadTL(benchmark::State& state) {
    Files& files = Shared();
    Skeleton read{};
    GyroInitSkeleton(&read);
    ActorData actor{};
    for (auto _ : state) {
        if (GyroReadTL(files.Tl().c_str(), &read, &actor) == 0) {
            state.SkipWithError("read failed");
        }
        GyroFreeSkeletonFrames(&read);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}
BENCHMARK(BM_ReadTL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_PlainRead(benchmark::State& state) {
    Files& files = Shared();
    for (auto _ : state) {
        int fd = ::open(files.Tl().c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        ::fstat(fd, &info);
        std::size_t size = static_cast<std::size_t>(info.st_size);
        std::unique_ptr<char[]> buffer(new char[size]);
        for (std::size_t done = 0; done < size;) {
            ssize_t n = ::read(fd, buffer.get() + done, std::min(Chunk, size - done));
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.size));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
