// Reading BVH files from other tools, against the floor of reading them at all: the same text
// cut into whitespace-separated tokens, each handed to std::from_chars, and nothing else.
#include "suitlib/SuitLib.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

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
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    for (auto _ : state) {
        float sum = 0.0f;
        for (const char *p = text.data(), *end = p + text.size(); p != end;) {
            const char* start = std::find_if_not(p, end, space);
            p = std::find_if(start, end, space);
            float v = 0.0f;
            std::from_chars(start, p, v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// One pair per shared file that is there, named by the file's number and origin. The files
// lie beside the project: found from TELVO_SOURCE_DIR, else from this file.
const bool registered = [] {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    std::string here = __FILE__;
    std::string folder =
        (root != nullptr ? root : here.substr(0, here.rfind("/bench/"))) + "/../shared/data/bvh/";
    for (std::string name :
         {"01_cmu_cgspeed_01_01", "05_mocapbank_test_mocapbank", "16_animdraw_cmu1_jumping_jacks",
          "19_biovision_example1", "20_optitrack_test_optitrack"}) {
        std::ifstream in(folder + name + ".bvh", std::ios::binary);
        std::string text(std::istreambuf_iterator<char>(in), {});
        if (!text.empty()) {
            benchmark::RegisterBenchmark(("BM_ReadBVH/" + name).c_str(), ReadBvh,
                                         folder + name + ".bvh", text.size())
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BM_TokeniseFloats/" + name).c_str(), TokeniseFloats,
                                         text)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
