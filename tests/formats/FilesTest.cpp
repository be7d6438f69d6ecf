// The recording, actor and SIMI files: what is written reads back the same, damaged files
// change nothing, and a failed write keeps the previous file.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/CoordinateFile.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/LiveTake.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <sstream>
#include <tuple>
#include <vector>

namespace telvo {
namespace {

using test::Pattern;
using ::testing::HasSubstr;

class TlFile : public ::testing::Test {
protected:
    static constexpr unsigned Frames = 8000; // over a minute: the checksum runs beside the copy
    void SetUp() override {
        GyroInitSkeleton(&take);
        take.FramePeriod = 1.0f / 60.0f;
        for (unsigned f = 0; f < Frames; ++f) {
            ASSERT_EQ(GyroAddFrame(&take), 1);
            Pattern(&take.Frames[f], sizeof(Frame), f);
        }
        GyroGetActorData(0, &actor);
        Pattern(actor.Reserved0 + 400, 300, 9); // the library's own bytes travel too
        const float kneeX = 3.0f; // a performer of other measurements: the left knee's bone
        std::memcpy(actor.Reserved0 + 8 + 19 * sizeof(Vector), &kneeX, sizeof kneeX);
        GyroInitSkeleton(&other);
        ASSERT_EQ(GyroAddFrame(&other), 1);
        GyroGetActorData(0, &otherActor);
        ASSERT_EQ(GyroWriteTL(path.c_str(), &take, &actor), 1) << files::LastProblem().reason;
    }
    void TearDown() override {
        GyroFreeSkeletonFrames(&take);
        GyroFreeSkeletonFrames(&other);
    }
    TempDir dir;
    std::string path = (dir.path() / "take.tl").string();
    Skeleton take{}, other{};
    ActorData actor{}, otherActor{};
};

// Damaged files fail with their reason and change nothing; the whole file reads back the same
// frames, actor and period, and poses with the recorded actor.
TEST_F(TlFile, DamagedFilesChangeNothingTheWholeOneReadsBackTheSame) {
    const std::string good = ReadAll(path);
    auto put32 = [](std::string& s, std::size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); };
    const std::tuple<const char*, std::function<void(std::string&)>, const char*> cases[] = {
        {"text", [](std::string& s) { s = "HIERARCHY\nROOT Hips\n"; }, "not a recording file"},
        {"newer", [](std::string& s) { s[10] = 2; }, "later version"},
        {"frame size", [&](std::string& s) { put32(s, 20, 1000); }, "record sizes"},
        {"period NaN", [&](std::string& s) { put32(s, 28, 0x7fc00000); }, "frame period"},
        {"more frames", [&](std::string& s) { put32(s, 24, Frames + 1); },
         "announces 8001 frames, the file holds 8000"},
        {"4 billion frames", [&](std::string& s) { put32(s, 24, 0xffffffff); }, "announces"},
        {"cut in a frame", [](std::string& s) { s.resize(s.size() - 600); }, "announces"},
        {"flipped frame bit", [](std::string& s) { s[5000] ^= 4; }, "checksum"},
        {"flipped last frame bit", [](std::string& s) { s[s.size() - 5] ^= 1; }, "checksum"},
        {"flipped actor bit", [](std::string& s) { s[100] ^= 1; }, "checksum"},
    };
    const Frame* frames = other.Frames;
    const ActorData before = otherActor;
    for (const auto& [name, damage, reason] : cases) {
        SCOPED_TRACE(name);
        std::string bytes = good;
        damage(bytes);
        WriteAll(path, bytes);
        EXPECT_EQ(GyroReadTL(path.c_str(), &other, &otherActor), 0);
        EXPECT_THAT(files::LastProblem().reason, HasSubstr(reason));
        EXPECT_TRUE(other.Frames == frames && other.FrameCount == 1);
        EXPECT_EQ(std::memcmp(&before, &otherActor, sizeof before), 0);
    }
    WriteAll(path, good);
    ASSERT_EQ(GyroReadTL(path.c_str(), &other, &otherActor), 1) << files::LastProblem().reason;
    ASSERT_EQ(other.FrameCount, take.FrameCount);
    EXPECT_EQ(std::memcmp(other.Frames, take.Frames, take.FrameCount * sizeof(Frame)), 0);
    EXPECT_EQ(std::memcmp(&otherActor, &actor, sizeof actor), 0);
    EXPECT_EQ(other.FramePeriod, take.FramePeriod);
    EXPECT_EQ(other.Nodes[19].Offset.x, 3.0f) << "the recorded performer's left knee";
}

// Every writer says when nothing was written.
TEST_F(TlFile, WritersReturnZeroWhenTheFileCannotBeWritten) {
    const std::string gone = (dir.path() / "gone" / "take").string();
    EXPECT_EQ(GyroWriteTL((gone + ".tl").c_str(), &take, &actor), 0);
    EXPECT_EQ(GyroWriteSIMI((gone + ".txt").c_str(), &take, (gone + ".imp").c_str()), 0);
    EXPECT_EQ(GyroWriteActorData((gone + ".ac").c_str(), &actor, -1), 0);
    EXPECT_THAT(files::LastProblem().reason, HasSubstr("No such file"));
    const std::string before = ReadAll(path);
    take.FramePeriod = 0.0f;
    EXPECT_EQ(GyroWriteTL(path.c_str(), &take, &actor), 0);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(SimiFile, TablePosesEveryFrameWithTheSkeletonsBonesAndCompanionNamesTheColumns) {
    LiveTake live(3);
    Skeleton& take = live.skeleton;
    take.Nodes[19].Offset = Vector(0.0f, 0.0f, -21.0f); // a longer left thigh
    take.FramePeriod = 1.0f / 60.0f;
    TempDir dir;
    const std::string table = (dir.path() / "take.txt").string();
    ASSERT_EQ(GyroWriteSIMI(table.c_str(), &take, (dir.path() / "take.imp").c_str()), 1);
    // A line a frame: its index, its time and every node's place, 92 numbers.
    std::vector<std::vector<float>> want, read;
    for (uint32_t f = 0; f < take.FrameCount; ++f) {
        GyroApplyFrame(&take, &take.Frames[f]);
        auto& row = want.emplace_back(std::vector<float>{static_cast<float>(f), f / 60.0f});
        for (const SkeletonNode& node : take.Nodes) {
            row.insert(row.end(), {node.Position.x, node.Position.y, node.Position.z});
        }
    }
    std::istringstream lines(ReadAll(table));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        read.emplace_back(std::istream_iterator<float>(fields), std::istream_iterator<float>());
    }
    EXPECT_EQ(read, want);
    const std::string about = ReadAll(dir.path() / "take.imp");
    for (const char* want : {"Table take.txt\n", "Frames 3\n", "FrameRate 60\n", "Unit Inches\n",
                             "Columns 92\n", "Column 2 time\n", "Column 3 Hips.x\n",
                             "Column 62 LeftKnee.z\n", "Column 92 RightToe.z\n"}) {
        EXPECT_THAT(about, HasSubstr(want));
    }
}

// Actor files: exact in the default unit, close in the others, bad lines named.
class ActorFile : public ::testing::Test {
protected:
    void SetUp() override {
        GyroGetActorData(0, &actor);
        actor.ContactRadius[21] = 0.1f; // numbers with no short decimal form
        actor.MarkerOffset = Vector(1e-7f, -2.3456789f, 1.0f / 3.0f);
        actor.FilterCoefficient = 0.123456789f;
        actor.UseTracker = 1.0f;
    }
    std::string Written(int units) {
        EXPECT_EQ(GyroWriteActorData(path.c_str(), &actor, units), 1)
            << files::LastProblem().reason;
        return ReadAll(path);
    }
    TempDir dir;
    std::string path = (dir.path() / "me.ac").string();
    ActorData actor{};
};

// -1 is the default unit, inches, which gives back the same 1952 bytes.
TEST_F(ActorFile, EveryUnitReadsBackToTheSameLengths) {
    const char* marker[] = {"MarkerOffset 1e-07 ", "MarkerOffset 8.333333e-09 ",
                            "MarkerOffset 2.54e-06 ", "MarkerOffset 2.54e-07 ",
                            "MarkerOffset 2.54e-09 "};
    for (int units = -1; units < 5; ++units) {
        SCOPED_TRACE(units);
        std::string text = Written(units);
        EXPECT_THAT(text,
                    HasSubstr(std::string("\nUnit ") + GyroGetUnitName(std::max(units, 0)) + "\n"));
        EXPECT_THAT(text, HasSubstr(marker[std::max(units, 0)]));
        ActorData read{};
        ASSERT_EQ(GyroReadActorData(path.c_str(), &read), 1) << files::LastProblem().reason;
        EXPECT_TRUE(units > 0 || std::memcmp(&read, &actor, sizeof read) == 0);
        const float* a = reinterpret_cast<const float*>(&actor);
        const float* b = reinterpret_cast<const float*>(&read);
        for (std::size_t i = 0; i < sizeof read / sizeof(float); ++i) {
            ASSERT_NEAR(a[i], b[i], 1e-6 * std::fabs(a[i]) + 1e-30) << "float " << i;
        }
    }
}

TEST_F(ActorFile, BadLinesFailWithTheirNumberAndLeaveTheActorAndAreNeverWritten) {
    const std::string good = Written(-1); // three comment lines, signature on 4, Unit on 5
    auto swap = [&](const std::string& key, const std::string& to) {
        std::string s = good;
        std::size_t at = s.find("\n" + key) + 1;
        return s.replace(at, s.find('\n', at) - at, to);
    };
    const std::tuple<std::string, int, const char*> cases[] = {
        {std::string("\177ELF\2\1\1\0\0", 9), 1, "not an actor file"},
        {swap("TelvoViewActor", "TelvoViewActor 2"), 4, "later version"},
        {swap("Unit", "Unit Furlongs"), 5, "unknown unit 'Furlongs'"},
        {swap("MarkerNode", "MarkerNode 4\nShoeSize 9"), 8, "unknown key 'ShoeSize'"},
        {swap("MarkerNode", "MarkerNode 4\nMarkerNode 4"), 8,
         "repeated key 'MarkerNode' (first on line 7)"},
        {swap("UseTracker", "UseTracker nan"), 8, "not a finite number 'nan'"},
        {swap("UseTracker", "UseTracker 1,5"), 8, "not a finite number '1,5'"},
        {swap("Bone.Waist", "Bone.Waist 0 0 500"), 12, "longer than any bone"},
        {good.substr(0, good.find("ContactRadius.RightToe")), 0,
         "missing key 'ContactRadius.RightToe'"},
        {good + std::string(70000, '#'), 0, "too large"},
    };
    const ActorData before = actor;
    for (const auto& [text, line, reason] : cases) {
        WriteAll(path, text);
        EXPECT_EQ(GyroReadActorData(path.c_str(), &actor), 0) << text;
        EXPECT_EQ(files::LastProblem().line, line) << files::LastProblem().reason;
        EXPECT_THAT(files::LastProblem().reason, HasSubstr(reason));
        EXPECT_EQ(std::memcmp(&before, &actor, sizeof actor), 0);
    }
    // The writer refuses what the reader would.
    std::filesystem::remove(path);
    EXPECT_EQ(GyroWriteActorData(path.c_str(), &actor, 5), 0);
    actor.ContactRadius[0] = std::nanf("");
    EXPECT_EQ(GyroWriteActorData(path.c_str(), &actor, -1), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A FIFO named like a file would block open() until someone writes to it, and with it the
// window: every reader refuses it at once.
TEST(Readers, RefuseAFifoWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = (dir.path() / "take.bvh").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Skeleton skeleton{};
    GyroInitSkeleton(&skeleton);
    ActorData actor{};
    const std::pair<const char*, std::function<bool()>> readers[] = {
        {"BVH", [&] { return GyroReadBVH(fifo.c_str(), &skeleton) != 0; }},
        {"recording", [&] { return GyroReadTL(fifo.c_str(), &skeleton, &actor) != 0; }},
        {"actor", [&] { return GyroReadActorData(fifo.c_str(), &actor) != 0; }},
        {"coordinates", [&] { return files::ReadCoordinateFile(fifo.c_str()).has_value(); }}};
    for (const auto& [what, read] : readers) {
        FifoRescue rescue({fifo});
        EXPECT_FALSE(read()) << what;
        EXPECT_FALSE(rescue.Rescued()) << what << " waited for a writer";
        EXPECT_EQ(files::LastProblem().reason, "not a regular file") << what;
    }
    GyroFreeSkeletonFrames(&skeleton);
}

} // namespace
} // namespace telvo
