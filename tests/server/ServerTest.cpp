#include "server/ServerCommands.h"
#include "telvoria/TelvoriaNet.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/Loopback.h"

namespace telvo {
namespace {

const uint32_t Loopback = htonl(INADDR_LOOPBACK);

struct ServerTest : EngineTest {
    void SetUp() override {
        EngineTest::SetUp();
        net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = {}});
    }
    void TearDown() override {
        NetworkFinish();
        net::ClearServerOptions();
        EngineTest::TearDown();
    }
    // Enable Server with the dialog answering `answer`; returns the address it preselected.
    uint32_t Enable(std::optional<uint32_t> answer) {
        uint32_t preselected = 1;
        OnEnableServer([&](uint32_t preselect) {
            preselected = preselect;
            return answer;
        });
        return preselected;
    }
};

// Cancel and no address keep the address; a port in use keeps the one chosen, stopped.
TEST_F(ServerTest, CancelNoAddressAndPortInUseLeaveItStopped) {
    Server.ServerAddress = 77;
    Enable(std::nullopt); // no box
    Enable(0u);
    EXPECT_EQ(Server.ServerAddress, 77u);
    const int holder = BoundSocket(SOCK_STREAM);
    ASSERT_EQ(::listen(holder, 1), 0);
    const uint16_t port = PortOf(holder);
    net::SetServerOptions({.port = port, .vmcTargets = {}, .token = {}});
    Enable(Loopback);
    ::close(holder);
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"No local IP address", MessageButtons::Ok, MessageIcon::Exclamation},
                     {"Socket bind error", MessageButtons::Ok, MessageIcon::Exclamation, true,
                      "cannot take port " + std::to_string(port) + ": Address already in use"}}));
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(window.Checked(CmdEnableServer), std::nullopt);
    EXPECT_EQ(Server.ServerAddress, Loopback);
    EXPECT_EQ(NetworkGetServerPort(), 0u);
}

TEST_F(ServerTest, ARestartCarriesTheNewActor) {
    Enable(Loopback);
    Enable(std::nullopt); // while running: stops without asking
    Engine.ActorData.ContactRadius[3] = 2.5f;
    Enable(Loopback);
    EXPECT_EQ(Server.ServerDescriptor.Actor.ContactRadius[3], 2.5f);
    EXPECT_NE(NetworkGetServerPort(), 0u); // the free port the settings' 0 asked for
}

// Record, Play and Stop reach the window, other codes are ignored. A flood of client commands
// must not pile up in the window: one waits at a time, and none gets in while its handler
// runs, a box is open or a count-down blocks the window.
TEST_F(ServerTest, RemoteCommandsReachTheWindowOneAtATime) {
    std::vector<int> ran;
    for (uint32_t code : {1u, 4u, 2u, 0u, 3u, 0xffffffffu}) {
        RemoteCommandCallback(code);
        for (int posted : window.TakePosted()) {
            EXPECT_EQ(posted, CmdRemoteCommand);
            RunRemoteCommand(window, [&ran](int command) { ran.push_back(command); });
        }
    }
    EXPECT_EQ(ran, (std::vector<int>{CmdRecord, CmdPlay, CmdStop}));

    ran.clear();
    for (int i = 0; i < 100; ++i) {
        RemoteCommandCallback(1 + i % 3);
    }
    EXPECT_EQ(window.TakePosted(), std::vector<int>{CmdRemoteCommand});
    RunRemoteCommand(window, [&ran](int command) {
        ran.push_back(command);
        RemoteCommandCallback(3); // its handler's box is up
    });
    EXPECT_EQ(ran, std::vector<int>{CmdRecord});
    EXPECT_TRUE(window.TakePosted().empty());

    RemoteCommandCallback(2);
    window.SetModalOpen(true);
    RunRemoteCommand(window, [&ran](int command) { ran.push_back(command); });
    window.SetModalOpen(false);
    EXPECT_EQ(ran.size(), 1u);

    window.TakePosted();
    Engine.CountingDown = 1;
    RemoteCommandCallback(1);
    EXPECT_TRUE(window.TakePosted().empty());
    Engine.CountingDown = 0;
    RemoteCommandCallback(2);
    EXPECT_EQ(window.TakePosted(), std::vector<int>{CmdRemoteCommand});
}

} // namespace
} // namespace telvo
