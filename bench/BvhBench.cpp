// Reading BVH files from other tools, against the floor of reading them at all: the same text
// cut into whitespace-separated tokens, each handed to std::from_chars, and nothing else
// (BM_TokeniseFloats; BM_ReadBVH's x_floor is the ratio, measured in the same run).
#include "bench/BenchSupport.h"
#include "suitlib/SuitLib.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

float TokeniseOnce(const std::string& text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    float sum = 0.0f;
    for (const char *p = text.data(), *end = p + text.size(); p != end;) {
        const char* start = std::find_if_not(p, end, space);
        p = std::find_if(start, end, space);
        float v = 0.0f;
        std::from_chars(start, p, v);
        sum += v;
    }
    return sum;
}

void TokeniseFloats(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(TokeniseOnce(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// x_floor: the median read against the median tokenise of the same text, in the same run.
void ReadBvh(benchmark::State& state, const std::string& path, const std::string& text) {
    Skeleton skeleton;
    GyroInitSkeleton(&skeleton);
    std::vector<double> read;
    for (auto _ : state) {
        int ok = 0;
        read.push_back(telvo::bench::MsOf([&] { ok = GyroReadBVH(path.c_str(), &skeleton); }));
        if (ok == 0) {
            state.SkipWithError("the file did not read");
            break;
        }
        benchmark::DoNotOptimize(skeleton.Frames);
    }
    std::vector<double> floor;
    for (std::size_t i = 0; i < std::max<std::size_t>(read.size(), 5); ++i) {
        floor.push_back(telvo::bench::MsOf([&] { benchmark::DoNotOptimize(TokeniseOnce(text)); }));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["frames"] = skeleton.FrameCount;
    state.counters["x_floor"] =
        read.empty() ? 0.0 : telvo::bench::Quantile(read, 0.5) / telvo::bench::Quantile(floor, 0.5);
    GyroFreeSkeletonFrames(&skeleton);
}

// One pair per shared file that is there, named by the file's number and origin. The files
// lie beside the project: found from TELVO_SOURCE_DIR, else from where it was built.
const bool registered = [] {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    const std::string folder =
        std::string(root != nullptr ? root : TELVO_SOURCE) + "/../shared/data/bvh/";
    for (std::string name :
         {"01_cmu_cgspeed_01_01", "05_mocapbank_test_mocapbank", "16_animdraw_cmu1_jumping_jacks",
          "19_biovision_example1", "20_optitrack_test_optitrack"}) {
        const std::string text = telvo::ReadAll(folder + name + ".bvh");
        if (!text.empty()) {
            benchmark::RegisterBenchmark(("BM_ReadBVH/" + name).c_str(), ReadBvh,
                                         folder + name + ".bvh", text)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BM_TokeniseFloats/" + name).c_str(), TokeniseFloats,
                                         text)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
