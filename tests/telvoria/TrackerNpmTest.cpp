// The published tracker emulator (npm @slimevr/tracker-emulation) as the tracker: another
// implementation of the protocol than ours connects, stays connected and moves the figure.
// Skips with a message where node or the package is missing (scripts/install-deps installs
// them into build/npm).
#include "tests/support/TempDir.h"
#include "tests/telvoria/TrackerLoopback.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <numbers>

extern char** environ;

namespace telvo::test {
namespace {

using namespace std::chrono_literals;

std::filesystem::path SourceDir() {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    return root != nullptr ? root : ".";
}

std::string FindNode() {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        std::size_t colon = rest.find(':');
        std::filesystem::path candidate = std::filesystem::path(rest.substr(0, colon)) / "node";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    }
    return {};
}

// The node program with a pipe each way; killed and reaped at the end whatever happens.
class Node {
public:
    bool Start(const std::string& node, const std::filesystem::path& folder,
               const std::string& script, uint16_t port) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        std::string portVar = "TRACKER_PORT=" + std::to_string(port);
        std::vector<char*> env;
        for (char** e = environ; *e != nullptr; ++e) {
            env.push_back(*e);
        }
        env.push_back(portVar.data());
        env.push_back(nullptr);
        std::string program = script;
        const char* argv[] = {node.c_str(), "--input-type=module", "-e", program.c_str(), nullptr};
        int spawned = ::posix_spawn(&pid_, node.c_str(), &actions, nullptr,
                                    const_cast<char* const*>(argv), env.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        to_ = in[1];
        from_ = out[0];
        return spawned == 0;
    }
    ~Node() {
        if (to_ >= 0) {
            Say("quit");
            ::close(to_);
        }
        if (pid_ > 0) {
            for (int i = 0; i < 200 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(10ms);
            }
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (from_ >= 0) {
            ::close(from_);
        }
    }
    void Say(const std::string& line) {
        std::string text = line + "\n";
        [[maybe_unused]] ssize_t n = ::write(to_, text.data(), text.size());
    }
    // Everything it printed so far, waiting at most this long for more.
    const std::string& Heard(std::chrono::milliseconds within = 0ms) {
        pollfd p{from_, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(within.count())) > 0) {
            char buffer[512];
            ssize_t n = ::read(from_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            heard_.append(buffer, static_cast<std::size_t>(n));
            within = 0ms;
        }
        return heard_;
    }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    std::string heard_;
};

// The angle the left thigh makes with the right one, which follows the hips.
float LeftThighDegrees() {
    Frame f = Delivered::Get().Last();
    Skeleton skeleton{};
    GyroInitSkeleton(&skeleton);
    GyroApplyFrame(&skeleton, &f);
    const Vector& hip = skeleton.Nodes[18].Position;
    const Vector& knee = skeleton.Nodes[19].Position;
    float dz = knee.z - hip.z;
    float length = std::sqrt((knee.x - hip.x) * (knee.x - hip.x) +
                             (knee.y - hip.y) * (knee.y - hip.y) + dz * dz);
    return std::acos(std::clamp(-dz / length, -1.0f, 1.0f)) * 180.0f / std::numbers::pi_v<float>;
}

TEST_F(TrackerSuitTest, PublishedEmulatorConnectsStaysConnectedAndMovesTheFigure) {
    const std::string node = FindNode();
    const std::filesystem::path npm = SourceDir() / "build" / "npm";
    if (node.empty()) {
        GTEST_SKIP() << "node is not installed (scripts/install-deps installs it)";
    }
    if (!std::filesystem::exists(npm / "node_modules" / "@slimevr" / "tracker-emulation")) {
        GTEST_SKIP() << "@slimevr/tracker-emulation is not in " << npm
                     << " (scripts/install-deps installs it)";
    }
    Configure("LeftHip=02:00:00:00:00:42\n");
    ASSERT_EQ(GyroInit(), 1);
    Node tracker;
    ASSERT_TRUE(tracker.Start(
        node, npm, ReadAll(SourceDir() / "tests/telvoria/npm/emulated-tracker.mjs"), port_));
    ASSERT_TRUE(
        WaitUntil([&] { return tracker.Heard(10ms).find("connected") != std::string::npos; }, 15s))
        << tracker.Heard();
    GyroHandle suit = GyroOpen(nullptr, Delivered::OnFrame, Delivered::OnTimeout);
    ASSERT_NE(suit, 0);
    ASSERT_TRUE(WaitUntil([] { return trackers::Counts().rotations > 20; }));
    GyroSetNull(suit);
    ASSERT_TRUE(WaitUntil([] { return LeftThighDegrees() < 3.0f; }));

    tracker.Say("turn 60");
    EXPECT_TRUE(WaitUntil([] { return std::abs(LeftThighDegrees() - 60.0f) < 3.0f; }));
    // Thirty seconds on heartbeats and pings, never silent.
    for (int second = 0; second < 30; ++second) {
        std::this_thread::sleep_for(1s);
        auto seen = trackers::Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_FALSE(seen[0].silent) << "second " << second;
    }
    EXPECT_EQ(tracker.Heard().find("disconnected"), std::string::npos) << tracker.Heard();
    tracker.Say("turn -30");
    EXPECT_TRUE(WaitUntil([] { return std::abs(LeftThighDegrees() - 30.0f) < 3.0f; }));
    EXPECT_EQ(Delivered::Get().timeouts.load(), 0);
}

} // namespace
} // namespace telvo::test
