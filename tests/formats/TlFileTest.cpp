// Recording files: a write and a read give the same bytes; damaged files change nothing.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

namespace telvo {
namespace {

void Pattern(void* data, std::size_t size, unsigned seed) {
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(seed * 31 + i * 7 + (i >> 8));
    }
}

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
        actor.ContactRadius[3] = 1.5f;
        GyroInitSkeleton(&other);
        ASSERT_EQ(GyroAddFrame(&other), 1);
        GyroGetActorData(0, &otherActor);
    }
    void TearDown() override {
        GyroFreeSkeletonFrames(&take);
        GyroFreeSkeletonFrames(&other);
    }
    std::string Written() {
        EXPECT_EQ(GyroWriteTL(path.c_str(), &take, &actor), 1) << files::LastProblem().reason;
        return ReadAll(path);
    }
    TempDir dir;
    std::string path = (dir.path() / "take.tl").string();
    Skeleton take{};
    Skeleton other{};
    ActorData actor{};
    ActorData otherActor{};
};

TEST_F(TlFile, ReadBackGivesTheSameFramesActorAndPeriodAndPosesWithTheActor) {
    Written();
    ASSERT_EQ(GyroReadTL(path.c_str(), &other, &otherActor), 1) << files::LastProblem().reason;
    ASSERT_EQ(other.FrameCount, take.FrameCount);
    EXPECT_EQ(std::memcmp(other.Frames, take.Frames, take.FrameCount * sizeof(Frame)), 0);
    EXPECT_EQ(std::memcmp(&otherActor, &actor, sizeof actor), 0);
    EXPECT_EQ(other.FramePeriod, take.FramePeriod);
    EXPECT_EQ(other.Nodes[19].Offset.x, 3.0f) << "the recorded performer's left knee";
}

// A later version that only adds header fields stays readable.
TEST_F(TlFile, LongerHeaderOfALaterVersionIsRead) {
    std::string bytes = Written();
    bytes.insert(32, "12345678");
    bytes[8] = 2;   // version 2, readable from version 1
    bytes[12] = 40; // header size
    bytes.resize(bytes.size() - 4);
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    bytes.append(reinterpret_cast<const char*>(&crc), 4);
    WriteAll(path, bytes);
    ASSERT_EQ(GyroReadTL(path.c_str(), &other, &otherActor), 1) << files::LastProblem().reason;
    EXPECT_EQ(std::memcmp(other.Frames, take.Frames, take.FrameCount * sizeof(Frame)), 0);
}

TEST_F(TlFile, DamagedFilesFailWithTheirReasonAndChangeNothing) {
    const std::string good = Written();
    auto put32 = [](std::string& s, std::size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); };
    const struct {
        const char* name;
        std::function<void(std::string&)> damage;
        const char* reason;
    } cases[] = {
        {"empty", [](std::string& s) { s.clear(); }, "not a recording file"},
        {"text", [](std::string& s) { s = "HIERARCHY\nROOT Hips\n"; }, "not a recording file"},
        {"newer", [](std::string& s) { s[10] = 2; }, "later version"},
        {"frame size", [&](std::string& s) { put32(s, 20, 1000); }, "record sizes"},
        {"header size", [&](std::string& s) { put32(s, 12, 8); }, "record sizes"},
        {"period 0", [&](std::string& s) { put32(s, 28, 0); }, "frame period"},
        {"period NaN", [&](std::string& s) { put32(s, 28, 0x7fc00000); }, "frame period"},
        {"more frames", [&](std::string& s) { put32(s, 24, Frames + 1); },
         "announces 8001 frames, the file holds 8000"},
        {"4 billion frames", [&](std::string& s) { put32(s, 24, 0xffffffff); }, "announces"},
        {"cut in a frame", [](std::string& s) { s.resize(s.size() - 600); }, "announces"},
        {"cut in the actor", [](std::string& s) { s.resize(1000); }, "the file holds 0"},
        {"extra byte", [](std::string& s) { s += '\0'; }, "after the checksum"},
        {"flipped frame bit", [](std::string& s) { s[5000] ^= 4; }, "checksum"},
        {"flipped last frame bit", [](std::string& s) { s[s.size() - 5] ^= 1; }, "checksum"},
        {"flipped actor bit", [](std::string& s) { s[100] ^= 1; }, "checksum"},
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        WriteAll(path, bytes);
        const Frame* frames = other.Frames;
        const ActorData before = otherActor;
        EXPECT_EQ(GyroReadTL(path.c_str(), &other, &otherActor), 0) << c.name;
        EXPECT_NE(files::LastProblem().reason.find(c.reason), std::string::npos)
            << c.name << ": " << files::LastProblem().reason;
        EXPECT_TRUE(other.Frames == frames && other.FrameCount == 1) << c.name;
        EXPECT_EQ(std::memcmp(&before, &otherActor, sizeof before), 0) << c.name;
    }
    EXPECT_EQ(GyroReadTL((dir.path() / "none.tl").c_str(), &other, &otherActor), 0);
}

// Every writer says when nothing was written.
TEST_F(TlFile, WritersReturnZeroWhenTheFileCannotBeWritten) {
    const std::string gone = (dir.path() / "gone" / "take").string();
    EXPECT_EQ(GyroWriteTL((gone + ".tl").c_str(), &take, &actor), 0);
    EXPECT_EQ(GyroWriteSIMI((gone + ".txt").c_str(), &take, (gone + ".imp").c_str()), 0);
    EXPECT_EQ(GyroWriteActorData((gone + ".ac").c_str(), &actor, -1), 0);
    EXPECT_NE(files::LastProblem().reason.find("No such file"), std::string::npos);
    take.FramePeriod = 0.0f;
    EXPECT_EQ(GyroWriteTL(path.c_str(), &take, &actor), 0);
}

} // namespace
} // namespace telvo
