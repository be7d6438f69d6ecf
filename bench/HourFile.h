#pragma once

// One hour at 120 frames per second (432,000 frames of the simulated performer) written once
// by the writer given, shared by a program's benchmarks; 'size' is 0 when the write failed.

#include "bench/BenchSupport.h"
#include "tests/support/LiveTake.h"

#include <filesystem>
#include <string>

namespace telvo::bench {

template <int (*Write)(const char*, Skeleton*, const ActorData*)> struct HourFile {
    ScratchFolder folder;
    const std::string path;
    LiveTake take{432000};
    const std::size_t size;

    explicit HourFile(const std::string& name)
        : path(folder / name), size(Write(path.c_str(), &take.skeleton, &take.actor) != 0
                                        ? std::filesystem::file_size(path)
                                        : 0) {}
};

} // namespace telvo::bench
