// telvoview-stream's commands as a user sends them, against a server in this process.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

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

// The lines of a text, or the fields of a CSV line.
std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// Positions are printed, and a take saved, from the frames that arrive, up to the count asked.
TEST_F(Stream, PositionsAndTakesHoldTheFramesSentUpToTheCountAsked) {
    Frame sent{};
    sent.RootPosition = {3.0f, -2.0f, 40.0f};
    std::atomic<bool> done{false};
    std::thread frames([&] {
        for (int i = 0; i < 2000 && !done; ++i) { // 10 s at most
            NetworkSendFrame(0, &sent);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const std::string take = (dir.path() / "take.tl").string();
    const int printed = Run("--positions --frames 3");
    const std::string rows = out;
    const int saved = Run("--save " + take + " --frames 4");
    done = true;
    frames.join();

    ASSERT_EQ(printed, 0) << err;
    Skeleton posed{};
    GyroCopyActorToSkeleton(&posed, &descriptor.Actor);
    GyroApplyFrame(&posed, &sent);
    const std::vector<std::string> lines = Split(rows, '\n');
    ASSERT_EQ(lines.size(), 4u) << rows;
    EXPECT_TRUE(lines[0].starts_with("frame,time,Hips.x,Hips.y,Hips.z,Waist.x,")) << lines[0];
    for (std::size_t row = 1; row < lines.size(); ++row) {
        const std::vector<std::string> fields = Split(lines[row], ',');
        ASSERT_EQ(fields.size(), 2u + 3u * SkeletonNodeCount);
        for (int i = 0; i < 3 * SkeletonNodeCount; ++i) {
            const std::string& field = fields[2 + static_cast<std::size_t>(i)];
            float value = 0.0f;
            std::from_chars(field.data(), field.data() + field.size(), value);
            EXPECT_NEAR(value, (&posed.Nodes[i / 3].Position.x)[i % 3], 1e-3f) << i;
        }
    }

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

} // namespace
} // namespace telvo
