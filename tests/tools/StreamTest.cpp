// telvoview-stream's commands as a user sends them, against a server in this process.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaNet.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace telvo {
namespace {

struct Stream : test::SimTest {
    void SetUp() override {
        test::seenCommands.clear(); // before the server's thread exists
        SimTest::SetUp();
        net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = "s3cret"});
        GyroGetActorData(0, &descriptor.Actor);
        ASSERT_EQ(NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, test::Remember), 0);
    }
    void TearDown() override {
        NetworkFinish();
        net::ClearServerOptions();
        SimTest::TearDown();
    }
    Ran Run(const std::string& args) {
        return RunIn(dir.path(), TELVO_STREAM " 127.0.0.1:" +
                                     std::to_string(NetworkGetServerPort()) + " " + args);
    }
    SuitDescriptorEx descriptor{};
    TempDir dir;
};

// Positions are printed, and takes saved as recordings and as glTF, from the frames that
// arrive, up to the count asked also when more arrive at once.
TEST_F(Stream, PositionsAndTakesHoldTheFramesSentUpToTheCountAsked) {
    Frame sent{};
    sent.RootPosition = {3.0f, -2.0f, 40.0f};
    std::jthread frames([&](std::stop_token stop) { // stopped and joined as the test ends
        for (int i = 0; i < 1000 && !stop.stop_requested(); ++i) { // 20 s at most
            for (int burst = 0; burst < 10; ++burst) {
                NetworkSendFrame(0, &sent);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const std::string take = (dir.path() / "take.tl").string();
    const Ran printed = Run("--positions --frames 3");
    const Ran saved = Run("--save " + take + " --frames 4");
    const Ran glb = Run("--save take.glb --frames 30");

    ASSERT_EQ(printed.status, 0) << printed.err;
    std::string positions; // the server's actor is the default one
    for (const SkeletonNode& node : test::Posed(sent).Nodes) {
        for (float v : {node.Position.x, node.Position.y, node.Position.z}) {
            char text[32];
            positions.append(",").append(text, std::to_chars(text, text + sizeof text, v).ptr);
        }
    }
    std::istringstream rows(printed.out);
    std::string header, line;
    std::getline(rows, header);
    EXPECT_TRUE(header.starts_with("frame,time,Hips.x,Hips.y,Hips.z,Waist.x,")) << header;
    int lines = 0;
    for (; std::getline(rows, line); ++lines) {
        EXPECT_TRUE(line.ends_with(positions)) << line;
        EXPECT_EQ(std::ranges::count(line, ','), std::ranges::count(header, ',')) << line;
    }
    EXPECT_EQ(lines, 3);

    ASSERT_EQ(saved.status, 0) << saved.err;
    Skeleton read{};
    ActorData actor{};
    ASSERT_NE(GyroReadTL(take.c_str(), &read, &actor), 0);
    EXPECT_EQ(read.FrameCount, 4u);
    EXPECT_EQ(read.FramePeriod, 1.0f / 120.0f) << "at the server's divider";
    EXPECT_EQ(read.Frames[3].RootPosition.z, 40.0f);
    EXPECT_EQ(std::memcmp(&actor, &descriptor.Actor, sizeof actor), 0);
    GyroFreeSkeletonFrames(&read);

    ASSERT_EQ(glb.status, 0) << glb.err;
    EXPECT_NE(glb.err.find("30 frames, 0 gaps, saved "), std::string::npos) << glb.err;
    // The same take as the .tl above, its frames counted there; the writer's own tests judge the
    // rest of the file.
    EXPECT_EQ(ReadAll(dir.path() / "take.glb").substr(0, 4), "glTF");
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
        const Ran ran = Run(c.args);
        EXPECT_EQ(ran.status, c.status) << c.args;
        EXPECT_NE(ran.err.find(c.message), std::string::npos) << c.args << ": " << ran.err;
    }
    EXPECT_EQ(test::CommandsSeen(), std::vector<uint32_t>{net::CommandRecord});
}

} // namespace
} // namespace telvo
