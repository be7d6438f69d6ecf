// Binary glTF of one hour at 120 frames per second (432,000 frames of the simulated performer)
// beside a plain write of as many bytes (with the same fsync a safe write makes), and beside
// tinygltf's own saver given the same document with its binary chunk whole in memory. The
// counter heap_MB is the most memory the write held at once beyond what it started with.
#include "base/SafeFile.h"
#include "bench/HourFile.h"
#include "telvoria/formats/Gltf.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>

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
    heldBytes -= malloc_usable_size(p); // 0 for nullptr
    std::free(p);
}

} // namespace

// The standard library's array forms call these.
void* operator new(std::size_t size) {
    return Take(size);
}
void operator delete(void* p) noexcept {
    Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Give(p);
}

namespace telvo::bench {
namespace {

using Hour = HourFile<GyroWriteGLB>;

// Each iteration writes the file once; the counter heap_MB is the most any write held.
template <typename Write> void Bench(benchmark::State& state, Write write) {
    double heap = 0;
    Hour::Shared("take.glb").Bench(state, [&](Hour& h) {
        const std::size_t start = peakBytes = heldBytes.load();
        const bool written = write(h);
        heap = std::max(heap, static_cast<double>(peakBytes - start) / (1 << 20)); // MiB
        return written;
    });
    state.counters["heap_MB"] = heap;
}

void BM_WriteGLB(benchmark::State& state) {
    Bench(state,
          [](Hour& h) { return GyroWriteGLB(h.path.c_str(), &h.take.skeleton, &h.take.actor); });
}

void BM_PlainWrite(benchmark::State& state) {
    Hour::Shared("take.glb").BenchPlainWrite(state);
}

// An ostream onto a safe write, for tinygltf's saver.
struct SafeFileBuffer : std::streambuf {
    explicit SafeFileBuffer(SafeFile& file) : file(file) {}
    std::streamsize xsputn(const char* data, std::streamsize n) override {
        return file.Write(data, static_cast<std::size_t>(n)) ? n : 0;
    }
    int_type overflow(int_type c) override {
        const char byte = static_cast<char>(c);
        return c == traits_type::eof() || file.Write(&byte, 1) ? traits_type::not_eof(c)
                                                               : traits_type::eof();
    }
    SafeFile& file;
};

// The same document through tinygltf's own saver, which wants the binary chunk in one buffer.
void BM_WriteGLBWithTinygltfSaver(benchmark::State& state) {
    Bench(state, [](Hour& h) {
        std::string why;
        auto document = gltf::Describe(h.take.skeleton, h.take.actor, why);
        tinygltf::Buffer buffer;
        buffer.data.resize(document->binaryLength);
        gltf::StreamBinary(*document, h.take.skeleton,
                           [&](uint64_t offset, const void* data, std::size_t n) {
                               std::memcpy(buffer.data.data() + offset, data, n);
                               return true;
                           });
        document->model.buffers.push_back(std::move(buffer));
        SafeFile file((h.folder.path() / "saver.glb").string());
        SafeFileBuffer stream(file);
        std::ostream out(&stream);
        return tinygltf::TinyGLTF().WriteGltfSceneToStream(&document->model, out, false, true) &&
               file.Commit();
    });
}

BENCHMARK(BM_WriteGLB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_WriteGLBWithTinygltfSaver)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
} // namespace telvo::bench
