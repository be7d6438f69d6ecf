// telvoview-stream's commands as a user sends them, against a server in this process.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <tiny_gltf.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace telvo {
namespace {

std::mutex seenMutex;
std::vector<uint32_t> seen;

void Remember(uint32_t code) {
    std::lock_guard lock(seenMutex);
    seen.push_back(code);
}

class Stream : public ::testing::Test {
protected:
    void SetUp() override {
        seen.clear(); // before the server's thread exists
        sim::Reset();
        sim::UseConfigFile(false);
        net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = "s3cret"});
        GyroGetActorData(0, &descriptor.Actor);
        ASSERT_EQ(NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, Remember), 0);
    }
    void TearDown() override {
        NetworkFinish();
        net::ClearServerOptions();
        sim::Reset();
    }
    // Exit status; standard output in out, standard error in err.
    int Run(const std::string& args) {
        const std::filesystem::path outLog = dir.path() / "out.log",
                                    errLog = dir.path() / "err.log";
        std::string command = TELVO_STREAM " 127.0.0.1:" + std::to_string(NetworkGetServerPort()) +
                              " " + args + " >" + outLog.string() + " 2>" + errLog.string();
        int status = std::system(command.c_str());
        out = ReadAll(outLog);
        err = ReadAll(errLog);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    SuitDescriptorEx descriptor{};
    TempDir dir;
    std::string out;
    std::string err;
};

// Positions are printed, and a take saved, from the frames that arrive, up to the count asked
// also when more arrive at once.
TEST_F(Stream, PositionsAndTakesHoldTheFramesSentUpToTheCountAsked) {
    Frame sent{};
    sent.RootPosition = {3.0f, -2.0f, 40.0f};
    std::atomic<bool> done{false};
    std::thread frames([&] {
        for (int i = 0; i < 500 && !done; ++i) { // 10 s at most
            for (int burst = 0; burst < 10; ++burst) {
                NetworkSendFrame(0, &sent);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const std::string take = (dir.path() / "take.tl").string();
    const int printed = Run("--positions --frames 3");
    std::istringstream rows(out);
    const int saved = Run("--save " + take + " --frames 4");
    done = true;
    frames.join();

    ASSERT_EQ(printed, 0) << err;
    Skeleton posed{};
    GyroCopyActorToSkeleton(&posed, &descriptor.Actor);
    GyroApplyFrame(&posed, &sent);
    std::string positions;
    for (const SkeletonNode& node : posed.Nodes) {
        for (float v : {node.Position.x, node.Position.y, node.Position.z}) {
            char text[32];
            positions.append(",").append(text, std::to_chars(text, text + sizeof text, v).ptr);
        }
    }
    std::string line;
    std::getline(rows, line);
    EXPECT_TRUE(line.starts_with("frame,time,Hips.x,Hips.y,Hips.z,Waist.x,")) << line;
    int lines = 0;
    for (; std::getline(rows, line); ++lines) {
        EXPECT_TRUE(line.ends_with(positions)) << line;
    }
    EXPECT_EQ(lines, 3);

    ASSERT_EQ(saved, 0) << err;
    Skeleton read{};
    ActorData actor{};
    ASSERT_NE(GyroReadTL(take.c_str(), &read, &actor), 0);
    EXPECT_EQ(read.FrameCount, 4u);
    EXPECT_EQ(read.Frames[3].RootPosition.z, 40.0f);
    EXPECT_EQ(std::memcmp(&actor, &descriptor.Actor, sizeof actor), 0);
    GyroFreeSkeletonFrames(&read);
}

TEST_F(Stream, ACommandSucceedsOnlyWhenTheServerTookIt) {
    const struct {
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {"--record --token s3cret", 0, ""},
        {"--play", 1, ": the server takes commands only with its token (--token)\n"},
        {"--stop --token " + std::string(net::MaxTokenLength + 1, 't'), 2,
         "--token: longer than the 256 bytes a command carries"},
        {"--record --token wrong", 1, ": the server refused the token\n"}, // last: it bans us
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
    }
    std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen, std::vector<uint32_t>{net::CommandRecord});
}

// --save take.glb keeps what arrives as glTF, one keyframe per frame received.
TEST_F(Stream, SavesWhatArrivesAsGlb) {
    sim::SetManualClock(true);
    ASSERT_EQ(GyroInit(), 1);
    const GyroHandle suit = GyroOpen(
        nullptr, [](const Frame* frame, SuitInfo*) { NetworkSendFrame(0, frame); }, nullptr);
    std::atomic<bool> done = false;
    int status = -1;
    std::thread tool([&] {
        status = Run("--save " + (dir.path() / "take.glb").string() + " --frames 30 --seconds 20");
        done = true;
    });
    for (int i = 0; i < 2000 && !done && net::ClientCount() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int i = 0; i < 2000 && !done; ++i) {
        sim::Deliver(suit, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    tool.join();
    GyroClose(suit);
    GyroFinish();
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("30 frames, 0 gaps, saved "), std::string::npos) << err;
    tinygltf::Model take;
    std::string problem;
    std::string warning;
    ASSERT_TRUE(tinygltf::TinyGLTF().LoadBinaryFromFile(&take, &problem, &warning,
                                                        (dir.path() / "take.glb").string()))
        << problem;
    const int times = take.animations.at(0).samplers.at(0).input;
    EXPECT_EQ(take.accessors.at(times).count, 30u);
}

} // namespace
} // namespace telvo
