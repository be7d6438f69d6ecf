// The published tracker emulator (npm @slimevr/tracker-emulation) as the tracker: another
// implementation of the protocol than ours connects, stays connected and moves the figure.
// Skips with a message where node or the package is missing (scripts/install-deps installs
// them into build/npm).
#include "tests/telvoria/TrackerLoopback.h"

#include <cstdio>
#include <memory>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;

// The angle the left thigh makes with the right one, which follows the hips.
float LeftThighDegrees() {
    Skeleton s = delivered->Posed();
    return Degrees(s.Nodes[19].Position - s.Nodes[18].Position, Vector(0.0f, 0.0f, -1.0f));
}

TEST_F(TrackerSuitTest, PublishedEmulatorConnectsStaysConnectedAndMovesTheFigure) {
    const std::filesystem::path npm = SourcePath("build/npm");
    if (std::system("command -v node >/dev/null") != 0) {
        GTEST_SKIP() << "node is not installed (scripts/install-deps installs it)";
    }
    if (!std::filesystem::exists(npm / "node_modules" / "@slimevr" / "tracker-emulation")) {
        GTEST_SKIP() << "@slimevr/tracker-emulation is not in " << npm
                     << " (scripts/install-deps installs it)";
    }
    Configure("LeftHip=02:00:00:00:00:42\n");
    ASSERT_EQ(GyroInit(), 1);
    // The tracker reads its commands on standard input and ends with it.
    const std::filesystem::path heard = dir_.path() / "heard.txt";
    const std::string command = "cd '" + npm.string() +
                                "' && TRACKER_PORT=" + std::to_string(port_) +
                                " timeout 100 node --input-type=module -e \"$(cat '" +
                                SourcePath("tests/telvoria/npm/emulated-tracker.mjs").string() +
                                "')\" >'" + heard.string() + "'";
    const std::unique_ptr<FILE, int (*)(FILE*)> tracker(::popen(command.c_str(), "w"), ::pclose);
    ASSERT_NE(tracker, nullptr);
    std::setvbuf(tracker.get(), nullptr, _IONBF, 0); // each command goes out at once
    ASSERT_TRUE(
        Eventually([&] { return ReadAll(heard).find("connected") != std::string::npos; }, 15s))
        << ReadAll(heard);
    GyroHandle suit = OpenSuit();
    ASSERT_NE(suit, 0);
    ASSERT_TRUE(Eventually([] { return trackers::Counts().rotations > 20; }, 6s));
    GyroSetNull(suit);
    ASSERT_TRUE(Eventually([] { return LeftThighDegrees() < 3.0f; }, 6s));

    std::fputs("turn 60\n", tracker.get());
    EXPECT_TRUE(Eventually([] { return std::abs(LeftThighDegrees() - 60.0f) < 3.0f; }, 6s));
    // Thirty seconds on heartbeats and pings, never silent.
    for (int second = 0; second < 30; ++second) {
        std::this_thread::sleep_for(1s);
        const auto seen = trackers::Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_FALSE(seen[0].silent) << "second " << second;
    }
    EXPECT_EQ(ReadAll(heard).find("disconnected"), std::string::npos) << ReadAll(heard);
    std::fputs("turn -30\n", tracker.get());
    EXPECT_TRUE(Eventually([] { return std::abs(LeftThighDegrees() - 30.0f) < 3.0f; }, 6s));
    EXPECT_EQ(delivered->timeouts.load(), 0);
}

} // namespace
} // namespace telvo::test
