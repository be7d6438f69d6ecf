// Reading BVH files from other tools, against the floor of reading them at all: the same text
// cut into whitespace-separated tokens, each handed to std::from_chars, and nothing else.
#include "suitlib/SuitLib.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char* const Files[] = {"01_cmu_cgspeed_01_01.bvh", "05_mocapbank_test_mocapbank.bvh",
                             "16_animdraw_cmu1_jumping_jacks.bvh", "19_biovision_example1.bvh",
                             "20_optitrack_test_optitrack.bvh"};

// The shared files lie beside the project: found from TELVO_SOURCE_DIR, else from this file.
std::string PathOf(const char* name) {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    std::string here = __FILE__;
    std::string project = root != nullptr ? root : here.substr(0, here.rfind("/bench/"));
    return project + "/../shared/data/bvh/" + name;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void ReadBvh(benchmark::State& state, const std::string& path, std::size_t bytes) {
    Skeleton skeleton;
    GyroInitSkeleton(&skeleton);
    for (auto _ : state) {
        if (GyroReadBVH(path.c_str(), &skeleton) == 0) {
            state.SkipWithError("the file did not read");
            break;
        }
        benchmark::DoNotOptimize(skeleton.Frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["frames"] = skeleton.FrameCount;
    GyroFreeSkeletonFrames(&skeleton);
}

void TokeniseFloats(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        const char* p = text.data();
        const char* end = p + text.size();
        float sum = 0.0f;
        while (p != end) {
            while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) {
                ++p;
            }
            const char* start = p;
            while (p != end && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
                ++p;
            }
            float v = 0.0f;
            std::from_chars(start, p, v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// One pair per shared file that is there; names carry the file's number and origin.
const bool registered = [] {
    for (const char* name : Files) {
        std::string path = PathOf(name);
        std::string text = Slurp(path);
        if (text.empty()) {
            continue;
        }
        std::string label(name, std::string(name).find('.'));
        benchmark::RegisterBenchmark(("BM_ReadBVH/" + label).c_str(), ReadBvh, path, text.size())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_TokeniseFloats/" + label).c_str(), TokeniseFloats, text)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
