#include "server/ServerCommands.h"
#include "telvoria/TelvoriaNet.h"
#include "tests/engine/EngineFixture.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

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
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : window.Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }
};

TEST(ServerMessages, EveryStatusHasItsText) {
    const std::pair<int, const char*> lookups[] = {
        {3, "Failed in call to gethostname"}, {4, "Failed in call to gethostbyname"},
        {5, "IP address returned is not 32 bits"}, {1, "Unknown error"}, {2, "Unknown error"},
        {6, "Unknown error"}, {-1, "Unknown error"}};
    for (auto [status, text] : lookups) {
        EXPECT_STREQ(LocalIPsMessage(status), text) << status;
    }
    const std::pair<int, const char*> starts[] = {
        {1, "Couldn't start windows sockets"},
        {2, "Couldn't find a usable version of windows sockets.\nInstall Windows Sockets 2"},
        {10, "Invalid socket"}, {11, "Socket bind error"}, {17, "Out of memory"},
        {18, "Could not create thread"}, {3, "NetworkStartServer error"},
        {7, "NetworkStartServer error"}, {12, "NetworkStartServer error"},
        {19, "NetworkStartServer error"}, {-4, "NetworkStartServer error"}};
    for (auto [status, text] : starts) {
        EXPECT_STREQ(StartServerMessage(status), text) << status;
    }
}

TEST_F(ServerTest, CancelAndNoAddressChangeNothing) {
    Server.ServerAddress = 77;
    Enable(std::nullopt);
    EXPECT_TRUE(BoxTexts().empty());
    Enable(0u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No local IP address"});
    EXPECT_EQ(Server.ServerAddress, 77u);
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(net::ServerPort(), 0u);
}

TEST_F(ServerTest, StartStopStartPreselectsAndCarriesTheNewActor) {
    Engine.ActorData.ContactRadius[3] = 1.5f;
    EXPECT_EQ(Enable(Loopback), 0u);
    EXPECT_EQ(Server.ServerRunning, 1);
    EXPECT_EQ(window.Checked(CmdEnableServer), true);
    EXPECT_NE(net::ServerPort(), 0u);
    EXPECT_EQ(Server.ServerDescriptor.Version, 1);
    Enable(std::nullopt); // while running: stops without asking
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(window.Checked(CmdEnableServer), false);
    EXPECT_EQ(net::ServerPort(), 0u);
    Engine.ActorData.ContactRadius[3] = 2.5f;
    EXPECT_EQ(Enable(Loopback), Loopback);
    EXPECT_EQ(Server.ServerDescriptor.Actor.ContactRadius[3], 2.5f);
    EXPECT_TRUE(BoxTexts().empty());
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
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Socket bind error"});
    EXPECT_EQ(window.Boxes().front().icon, MessageIcon::Exclamation);
    EXPECT_EQ(Server.ServerRunning, 0);
    EXPECT_EQ(window.Checked(CmdEnableServer), std::nullopt);
    EXPECT_EQ(Server.ServerAddress, Loopback);
    EXPECT_EQ(net::ServerPort(), 0u);
}

TEST_F(ServerTest, ClientCommandsArePostedAndOthersIgnored) {
    ASSERT_EQ(Enable(Loopback), 0u);
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = Loopback;
    at.sin_port = htons(net::ServerPort());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    std::string bytes;
    for (uint32_t code : {1u, 4u, 2u, 0u, 3u}) {
        bytes += net::EncodeCommand(code);
    }
    ::send(client, bytes.data(), bytes.size(), 0);
    std::vector<int> posted;
    for (int i = 0; i < 2000 && posted.size() < 3; ++i) {
        for (int command : window.TakePosted()) {
            posted.push_back(command);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(client);
    EXPECT_EQ(posted, (std::vector<int>{CmdRecord, CmdPlay, CmdStop}));
}

} // namespace
} // namespace telvo
