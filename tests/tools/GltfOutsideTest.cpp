// The .glb of every shared BVH file and two of the corpus (telvoview-convert) and of a live take
// (the library's call, as Save As makes it, and the converter from its recording), judged by
// programs that know nothing of us: Khronos' glTF-Validator and three.js's GLTFLoader in node
// (tests/outside/check-gltf.mjs), and Blender's glTF importer
// (tests/outside/check-gltf-blender.py). Each is compared with the take's own posed positions,
// telvoview-convert --positions. Where node, the npm packages (scripts/install-deps puts them
// in build-node/) or Blender are missing, that check is skipped with a message.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/LiveTake.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace telvo {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool Installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// The files, made once: each .glb beside the positions of its take.
struct Outside : ::testing::Test {
    struct Take {
        std::string glb, csv;
    };

    static void SetUpTestSuite() {
        folder_.emplace();
        takes_.clear();
        std::error_code missing;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(TELVO_SHARED_BVH, missing)) {
            if (entry.path().extension() == ".bvh") {
                files.push_back(entry.path());
            }
        }
        sharedFound_ = !files.empty();
        std::ranges::sort(files);
        // Two of the in-tree corpus, so that a checkout without the shared folder checks files
        // from other tools too.
        for (const char* name : {"rokoko_jesse_dance.bvh", "bvhpython_mixamorig_freebvh.bvh"}) {
            files.push_back(SourcePath("tests/formats/corpus/human") / name);
        }
        for (const fs::path& bvh : files) {
            const std::string name = bvh.stem().string();
            // The sinusoid is a chain of four joints, not a human figure: it is not read.
            if (Convert(Quoted(bvh) + " " + name + ".glb") == 0) {
                Add(name, bvh.string());
            }
        }
        LiveTake live(600);
        ASSERT_EQ(GyroWriteGLB(In("live.glb").c_str(), &live.skeleton, &live.actor), 1)
            << files::LastProblem().reason;
        ASSERT_EQ(GyroWriteTL(In("live.tl").c_str(), &live.skeleton, &live.actor), 1);
        Add("live", In("live.tl"));
        ASSERT_EQ(Convert("live.tl recorded.glb"), 0); // the converter reads recordings too
        Add("recorded", In("live.tl"));
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string In(const std::string& name) { return (folder_->path() / name).string(); }
    static int Convert(const std::string& args) {
        return RunIn(folder_->path(), TELVO_CONVERT " " + args).status;
    }
    static void Add(const std::string& name, const std::string& source) {
        ASSERT_EQ(Convert("--positions " + name + ".csv " + Quoted(source)), 0);
        takes_.push_back({In(name + ".glb"), In(name + ".csv")});
    }
    // The files as arguments: FILE.glb POSITIONS.csv ...
    static std::string Pairs() {
        std::string args;
        for (const Take& t : takes_) {
            args += " " + Quoted(t.glb) + " " + Quoted(t.csv);
        }
        return args;
    }

    static inline bool sharedFound_ = false;
    static inline std::optional<TempDir> folder_;
    static inline std::vector<Take> takes_;
};

// Every human figure among the shared files converts (what is in each file, the checks below and
// the writer's own tests judge).
TEST_F(Outside, EveryHumanSharedFileAndALiveTakeBecomeGlb) {
    EXPECT_EQ(takes_.size(), sharedFound_ ? 9u : 4u)
        << "five shared figures (where found), two of the corpus, the live take and its recording";
}

TEST_F(Outside, TheValidatorPassesThemAndThreeJsPosesTheTakeAtFiftyFrames) {
    const fs::path modules = SourcePath("build-node/node_modules");
    if (!Installed("node")) {
        GTEST_SKIP() << "node is not installed";
    }
    if (!fs::exists(modules / "three") || !fs::exists(modules / "gltf-validator")) {
        GTEST_SKIP() << "three and gltf-validator are not in " << modules
                     << " (scripts/install-deps installs them)";
    }
    const Ran ran = RunIn(folder_->path(), "{ timeout 240 node " +
                                               Quoted(SourcePath("tests/outside/check-gltf.mjs")) +
                                               " " + Quoted(modules) + Pairs() + " 2>&1; }");
    EXPECT_EQ(ran.status, 0) << ran.out;
    EXPECT_EQ(static_cast<std::size_t>(std::count(ran.out.begin(), ran.out.end(), '\n')),
              takes_.size())
        << ran.out;
}

TEST_F(Outside, BlenderImportsOneArmatureOfThirtyBonesWithEveryFrame) {
    if (!Installed("blender")) {
        GTEST_SKIP() << "Blender is not installed";
    }
    const Ran ran =
        RunIn(folder_->path(), "{ timeout 240 blender -b --factory-startup --python " +
                                   Quoted(SourcePath("tests/outside/check-gltf-blender.py")) +
                                   " --" + Pairs() + " 2>&1; }");
    if (ran.status == 3) {
        GTEST_SKIP() << ran.out;
    }
    EXPECT_EQ(ran.status, 0) << ran.out;
    std::size_t ok = 0;
    for (std::size_t at = 0; (at = ran.out.find("ok in Blender", at)) != std::string::npos; ++at) {
        ++ok;
    }
    EXPECT_EQ(ok, takes_.size()) << ran.out;
}

} // namespace
} // namespace telvo
