#include "server/ServerCommands.h"
#include "telvoria/TelvoriaNet.h"
#include "tests/engine/EngineFixture.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo {
namespace {

const uint32_t Loopback = htonl(INADDR_LOOPBACK);

class ServerTest : public EngineTest {
protected:
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

TEST(ServerMessages, EveryStatusHasItsText) {
    const std::tuple<const char* (*)(int), int, const char*> cases[] = {
        {LocalIPsMessage, 3, "Failed in call to gethostname"},
        {LocalIPsMessage, 4, "Failed in call to gethostbyname"},
        {LocalIPsMessage, 5, "IP address returned is not 32 bits"},
        {LocalIPsMessage, 1, "Unknown error"},
        {LocalIPsMessage, 2, "Unknown error"},
        {LocalIPsMessage, 6, "Unknown error"},
        {LocalIPsMessage, -1, "Unknown error"},
        {StartServerMessage, 1, "Couldn't start windows sockets"},
        {StartServerMessage, 2,
         "Couldn't find a usable version of windows sockets.\nInstall Windows Sockets 2"},
        {StartServerMessage, 10, "Invalid socket"},
        {StartServerMessage, 11, "Socket bind error"},
        {StartServerMessage, 17, "Out of memory"},
        {StartServerMessage, 18, "Could not create thread"},
        {StartServerMessage, 3, "NetworkStartServer error"},
        {StartServerMessage, 7, "NetworkStartServer error"},
        {StartServerMessage, 19, "NetworkStartServer error"},
        {StartServerMessage, -4, "NetworkStartServer error"}};
    for (auto [message, status, text] : cases) {
        EXPECT_STREQ(message(status), text) << status;
    }
}

TEST_F(ServerTest, CancelAndNoAddressChangeNothing) {
    Server.ServerAddress = 77;
    Enable(std::nullopt); // no box
    Enable(0u);
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"No local IP address", MessageButtons::Ok, MessageIcon::Exclamation}}));
    EXPECT_EQ(Server.ServerAddress, 77u);
    EXPECT_EQ(NetworkGetServerPort(), 0u);
}

TEST_F(ServerTest, StartStopStartPreselectsAndCarriesTheNewActor) {
    Engine.ActorData.ContactRadius[3] = 1.5f;
    EXPECT_EQ(Enable(Loopback), 0u);
    EXPECT_EQ(Server.ServerRunning, 1);
    EXPECT_EQ(window.Checked(CmdEnableServer), true);
    ASSERT_NE(NetworkGetServerPort(), 0u); // the free port the settings' 0 asked for
    EXPECT_EQ(window.StatusText(0),
              "Serving on 127.0.0.1 port " + std::to_string(NetworkGetServerPort()));
    EXPECT_EQ(Server.ServerDescriptor.Version, 1);
    Enable(std::nullopt); // while running: stops without asking
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(window.Checked(CmdEnableServer), false);
    EXPECT_EQ(NetworkGetServerPort(), 0u);
    Engine.ActorData.ContactRadius[3] = 2.5f;
    EXPECT_EQ(Enable(Loopback), Loopback);
    EXPECT_EQ(Server.ServerDescriptor.Actor.ContactRadius[3], 2.5f);
    EXPECT_TRUE(window.Boxes().empty());
}

TEST_F(ServerTest, PortInUseShowsBindErrorAndStaysStopped) {
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = Loopback;
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&at), &size);
    net::SetServerOptions({.port = ntohs(at.sin_port), .vmcTargets = {}, .token = {}});
    Enable(Loopback);
    ::close(holder);
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"Socket bind error", MessageButtons::Ok, MessageIcon::Exclamation, true,
                      "cannot take port " + std::to_string(ntohs(at.sin_port)) +
                          ": Address already in use"}}));
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(window.Checked(CmdEnableServer), std::nullopt);
    EXPECT_EQ(Server.ServerAddress, Loopback);
    EXPECT_EQ(NetworkGetServerPort(), 0u);
}

TEST_F(ServerTest, RemoteCommandsReachTheWindowAndOthersAreIgnored) {
    std::vector<int> ran;
    for (uint32_t code : {1u, 4u, 2u, 0u, 3u, 0xffffffffu}) {
        RemoteCommandCallback(code);
        for (int posted : window.TakePosted()) {
            EXPECT_EQ(posted, CmdRemoteCommand);
            RunRemoteCommand(window, [&ran](int command) { ran.push_back(command); });
        }
    }
    EXPECT_EQ(ran, (std::vector<int>{CmdRecord, CmdPlay, CmdStop}));
}

// A flood of client commands must not pile up in the window: one waits at a time, and none
// gets in while its handler runs, a box is open or a count-down blocks the window.
TEST_F(ServerTest, OneRemoteCommandAtATime) {
    for (int i = 0; i < 100; ++i) {
        RemoteCommandCallback(1 + i % 3);
    }
    EXPECT_EQ(window.TakePosted(), std::vector<int>{CmdRemoteCommand});
    std::vector<int> ran;
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
