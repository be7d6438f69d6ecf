#pragma once

// One hour at 120 frames per second (432,000 frames of the simulated performer) written once
// by the writer given, shared by a program's benchmarks; 'size' is 0 when the write failed.

#include "bench/BenchSupport.h"
#include "tests/support/LiveTake.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace telvo::bench {

template <int (*Write)(const char*, Skeleton*, const ActorData*)> struct HourFile {
    TempDir folder;
    const std::string path;
    LiveTake take{432000};
    const std::size_t size;

    explicit HourFile(const std::string& name)
        : path((folder.path() / name).string()),
          size(Write(path.c_str(), &take.skeleton, &take.actor) != 0
                   ? std::filesystem::file_size(path)
                   : 0) {}

    // The program's one file, written at its first use.
    static HourFile& Shared(const std::string& name) {
        static HourFile hour(name);
        return hour;
    }

    // Each iteration moves the file's bytes once; 'pass' says whether it did.
    template <typename Pass> void Bench(benchmark::State& state, Pass pass) {
        for (auto _ : state) {
            if (size == 0 || !pass(*this)) {
                state.SkipWithError("failed");
            }
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    }

    // The floor of a write: as many bytes written plainly.
    void BenchPlainWrite(benchmark::State& state) {
        const std::string bytes(size, 'x');
        Bench(state, [&](HourFile& h) {
            return PlainWrite((h.folder.path() / "plain.bin").string(), bytes);
        });
    }
};

} // namespace telvo::bench
