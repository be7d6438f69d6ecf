// Binary glTF of one hour at 120 frames per second (432,000 frames of the simulated performer)
// beside a plain write of as many bytes (with the same fsync a safe write makes), and beside
// tinygltf's own saver given the same document with its binary chunk whole in memory. The
// counter heap_MB is the most memory the write held at once beyond what it started with.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/formats/Gltf.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

std::atomic<std::size_t> heldBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* Take(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t now = heldBytes += malloc_usable_size(p);
    for (std::size_t peak = peakBytes; now > peak && !peakBytes.compare_exchange_weak(peak, now);) {
    }
    return p;
}

void Give(void* p) {
    if (p != nullptr) {
        heldBytes -= malloc_usable_size(p);
        std::free(p);
    }
}

// The most held at once since the last call, beyond what was held then, in MiB.
struct HeapWatch {
    std::size_t start = heldBytes;
    HeapWatch() { peakBytes = start; }
    double Mib() const { return static_cast<double>(peakBytes - start) / (1 << 20); }
};

} // namespace

void* operator new(std::size_t size) {
    return Take(size);
}
void* operator new[](std::size_t size) {
    return Take(size);
}
void operator delete(void* p) noexcept {
    Give(p);
}
void operator delete[](void* p) noexcept {
    Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Give(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Give(p);
}

namespace {

constexpr uint32_t HourFrames = 432000;
constexpr std::size_t Chunk = std::size_t{1} << 20;

Skeleton* recording = nullptr;

void Record(const Frame* frame, SuitInfo*) {
    if (GyroAddFrame(recording) != 0) {
        recording->Frames[recording->FrameCount - 1] = *frame;
    }
}

struct Hour {
    Hour() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "telvo-glb-XXXXXX").string();
        folder = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string(".");
        glb = folder + "/take.glb";
        GyroInitSkeleton(&take);
        recording = &take;
        telvo::sim::Reset();
        telvo::sim::UseConfigFile(false);
        telvo::sim::SetManualClock(true);
        GyroInit();
        const GyroHandle suit = GyroOpen(nullptr, Record, nullptr);
        GyroGetActorData(suit, &actor);
        GyroCopyActorToSkeleton(&take, &actor);
        take.FramePeriod = 1.0f / 120.0f;
        GyroSetNull(suit);
        telvo::sim::Deliver(suit, HourFrames);
        GyroClose(suit);
        GyroFinish();
        GyroWriteGLB(glb.c_str(), &take, &actor);
        size = static_cast<std::size_t>(std::filesystem::file_size(glb));
    }
    ~Hour() {
        GyroFreeSkeletonFrames(&take);
        std::filesystem::remove_all(folder);
    }

    std::string folder;
    std::string glb;
    Skeleton take{};
    ActorData actor{};
    std::size_t size = 0;
};

Hour& Shared() {
    static Hour hour;
    return hour;
}

void BM_WriteGLB(benchmark::State& state) {
    Hour& hour = Shared();
    double heap = 0;
    for (auto _ : state) {
        HeapWatch watch;
        if (hour.take.FrameCount != HourFrames ||
            GyroWriteGLB(hour.glb.c_str(), &hour.take, &hour.actor) == 0) {
            state.SkipWithError("write failed");
        }
        heap = std::max(heap, watch.Mib());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * hour.size));
    state.counters["heap_MB"] = heap;
}

void BM_PlainWrite(benchmark::State& state) {
    Hour& hour = Shared();
    std::string bytes(hour.size, 'x');
    const std::string path = hour.folder + "/plain.bin";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = fd >= 0;
        for (std::size_t done = 0; ok && done < hour.size;) {
            ssize_t n = ::write(fd, bytes.data() + done, std::min(Chunk, hour.size - done));
            ok = n > 0;
            done += ok ? static_cast<std::size_t>(n) : 0;
        }
        if (!ok || ::fsync(fd) != 0) {
            state.SkipWithError("write failed");
        }
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * hour.size));
}

// An ostream onto a safe write, for tinygltf's saver.
class SafeFileBuffer : public std::streambuf {
public:
    explicit SafeFileBuffer(telvo::SafeFile& file) : file_(file) {}

protected:
    std::streamsize xsputn(const char* data, std::streamsize n) override {
        return file_.Write(data, static_cast<std::size_t>(n)) ? n : 0;
    }
    int_type overflow(int_type c) override {
        const char byte = static_cast<char>(c);
        return c == traits_type::eof() || file_.Write(&byte, 1) ? traits_type::not_eof(c)
                                                                : traits_type::eof();
    }

private:
    telvo::SafeFile& file_;
};

// The same document through tinygltf's own saver, which wants the binary chunk in one buffer.
void BM_WriteGLBWithTinygltfSaver(benchmark::State& state) {
    Hour& hour = Shared();
    const std::string path = hour.folder + "/saver.glb";
    double heap = 0;
    std::size_t size = 0;
    for (auto _ : state) {
        HeapWatch watch;
        std::string why;
        auto document = telvo::gltf::Describe(hour.take, hour.actor, why);
        tinygltf::Buffer buffer;
        buffer.data.resize(document->binaryLength);
        telvo::gltf::StreamBinary(*document, hour.take,
                                  [&](uint64_t offset, const void* data, std::size_t n) {
                                      std::memcpy(buffer.data.data() + offset, data, n);
                                      return true;
                                  });
        document->model.buffers.push_back(std::move(buffer));
        telvo::SafeFile file(path);
        SafeFileBuffer stream(file);
        std::ostream out(&stream);
        if (!tinygltf::TinyGLTF().WriteGltfSceneToStream(&document->model, out, false, true) ||
            !file.Commit()) {
            state.SkipWithError("write failed");
        }
        heap = std::max(heap, watch.Mib());
        size = static_cast<std::size_t>(std::filesystem::file_size(path));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["heap_MB"] = heap;
}

BENCHMARK(BM_WriteGLB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_WriteGLBWithTinygltfSaver)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
