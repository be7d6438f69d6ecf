// The frame server against real sockets on the loopback, fed by the simulated suit.
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/net/Vmc.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <poll.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;
using namespace telvo::net;
using Answers = std::vector<std::pair<uint32_t, uint32_t>>; // code, result

std::vector<Frame> sentFrames;

void Send(const Frame* frame, SuitInfo*) {
    sentFrames.push_back(*frame); // on the thread that delivers
    NetworkSendFrame(0, frame);
}

template <typename T> bool Same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::ptrdiff_t OpenFiles() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

bool ClientsAre(std::size_t n) {
    return Eventually([n] { return ClientCount() == n; });
}

struct Client {
    int fd;
    StreamReader reader;
    Greeting greeting;
    std::vector<StreamFrame> frames;
    Answers answers;
    bool greeted = false, closed = false;

    explicit Client(int receiveBuffer = 0) : fd(Connect(NetworkGetServerPort(), receiveBuffer)) {
        EXPECT_GE(fd, 0);
    }
    ~Client() { ::close(fd); }
    void Send(const std::string& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Reads until done() or the server closes; false when it closed first.
    bool ReadUntil(const std::function<bool()>& done) {
        StreamFrame frame;
        char buffer[65536];
        while (!done() && !closed) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) {
                ADD_FAILURE() << "nothing from the server for 20 s";
                return false;
            }
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            closed = n <= 0 || !reader.Feed(buffer, static_cast<std::size_t>(n));
            for (StreamReader::Kind k;
                 (k = reader.Next(greeting, frame)) != StreamReader::Kind::None;) {
                greeted = greeted || k == StreamReader::Kind::Greeting;
                if (k == StreamReader::Kind::Frame) {
                    frames.push_back(frame);
                } else if (k == StreamReader::Kind::Answer) {
                    answers.emplace_back(reader.LastAnswer().code, reader.LastAnswer().result);
                }
            }
        }
        return done();
    }
    bool ReadFrames(std::size_t n) {
        return ReadUntil([&] { return frames.size() >= n; });
    }
    bool ReadAnswers(std::size_t n) {
        return ReadUntil([&] { return answers.size() >= n; });
    }
    bool ReadGreeting() {
        return ReadUntil([&] { return greeted; });
    }
    // Reads until the server closes; false if it does not within 20 s.
    bool ReadToClose() {
        return !ReadUntil([] { return false; }) && closed;
    }
};

struct NetworkTest : SimTest {
    void SetUp() override {
        SimTest::SetUp();
        sim::SetManualClock(true);
        ASSERT_NE(GyroInit(), 0);
        suit = GyroOpen(nullptr, Send, nullptr);
        GyroGetActorData(0, &descriptor.Actor);
        descriptor.FrameDivider = 2;
        seenCommands.clear();
        sentFrames.clear();
        Start({});
    }
    void TearDown() override {
        NetworkFinish();
        ClearServerOptions();
        SimTest::TearDown();
    }
    void Start(std::vector<std::string> vmcTargets, std::string token = {}) {
        NetworkFinish();
        SetServerOptions({.port = 0, .vmcTargets = std::move(vmcTargets), .token = token});
        ASSERT_EQ(NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, Remember), 0);
    }
    static bool Contiguous(const std::vector<StreamFrame>& f) {
        return !f.empty() && f[0].sequence == 0 &&
               std::adjacent_find(f.begin(), f.end(), [](auto& a, auto& b) {
                   return b.sequence != a.sequence + 1;
               }) == f.end();
    }

    SuitDescriptorEx descriptor{};
    GyroHandle suit = 0;
};

// The greeting carries the divider of the last frame handed over, also while nobody listened;
// frames nobody heard are not numbered.
TEST_F(NetworkTest, EveryClientGetsTheGreetingAndEveryFramePosed) {
    descriptor.FrameDivider = 3;
    ASSERT_EQ(sim::Deliver(suit, 50), 50);
    Client a, b;
    ASSERT_TRUE(a.ReadGreeting() && b.ReadGreeting());
    descriptor.FrameDivider = 2;
    ASSERT_EQ(sim::Deliver(suit, 40), 40);
    for (Client* c : {&a, &b}) {
        ASSERT_TRUE(c->ReadFrames(40));
        EXPECT_EQ(c->greeting.version, ProtocolVersion);
        EXPECT_EQ(c->greeting.divider, 3u);
        EXPECT_TRUE(Same(c->greeting.actor, descriptor.Actor)); // the default one, as Posed's
        EXPECT_TRUE(Contiguous(c->frames));
        for (std::size_t f = 0; f < 40; f += 13) {
            const StreamFrame& got = c->frames[f];
            EXPECT_EQ(got.divider, 2u);
            EXPECT_TRUE(Same(got.frame, sentFrames[50 + f]));
            const Skeleton posed = Posed(sentFrames[50 + f]);
            for (int i = 0; i < SkeletonNodeCount; ++i) {
                const SkeletonNode& n = posed.Nodes[i];
                EXPECT_EQ(c->greeting.name[i], GyroGetNodeName(i));
                EXPECT_TRUE(Same(c->greeting.offset[i], n.Offset) &&
                            Same(got.position[i], n.Position) &&
                            Same(got.orientation[i], n.Orientation))
                    << GyroGetNodeName(i);
            }
        }
    }
}

TEST_F(NetworkTest, StalledClientLosesItsOldestFramesAndIsDroppedAlone) {
    Client good, slow(4096), stalled(4096);
    ASSERT_TRUE(ClientsAre(3));
    constexpr int Frames = 800; // more than the socket buffers and a client's queue hold
    std::thread reading([&] { good.ReadFrames(Frames); });
    for (int i = 0; i < Frames; ++i) {
        sim::Deliver(suit, 1);
        std::this_thread::sleep_for(1ms); // the pump's pace, not a burst beyond the ring
    }
    reading.join();
    ASSERT_EQ(good.frames.size(), std::size_t{Frames});
    EXPECT_TRUE(Contiguous(good.frames)); // none lost in the ring either
    ASSERT_TRUE(slow.ReadUntil(
        [&] { return !slow.frames.empty() && slow.frames.back().sequence == Frames - 1; }));
    EXPECT_LT(slow.frames.size(), std::size_t{Frames});
    EXPECT_TRUE(std::is_sorted(slow.frames.begin(), slow.frames.end(),
                               [](auto& x, auto& y) { return x.sequence <= y.sequence; }));
    EXPECT_TRUE(ClientsAre(2)); // the one that never reads
}

// A wrong token closes its client, ignoring what followed it, and bans its address (how long:
// AdmissionTest).
TEST_F(NetworkTest, CommandsNeedTheTokenBadBytesCloseOnlyTheirClientAndAWrongTokenBans) {
    Start({}, "s3cret");
    Client commander, badLength, halfway;
    ASSERT_TRUE(commander.ReadGreeting());
    EXPECT_EQ(commander.greeting.flags, GreetingTokenRequired);
    commander.Send(EncodeCommand(CommandRecord) + EncodeCommand(CommandToken, "s3cret") +
                   EncodeCommand(7));
    ASSERT_TRUE(commander.ReadAnswers(3));
    EXPECT_EQ(commander.answers, (Answers{{CommandRecord, AnswerTokenNeeded},
                                          {CommandToken, AnswerTokenAccepted},
                                          {7, AnswerTaken}}));
    badLength.Send(std::string("\xff\xff\xff\xff", 4));
    halfway.Send(EncodeCommand(CommandRecord).substr(0, 5));
    ::shutdown(halfway.fd, SHUT_RDWR);
    EXPECT_TRUE(badLength.ReadToClose());
    ASSERT_TRUE(ClientsAre(1));
    sim::Deliver(suit, 3);
    EXPECT_TRUE(commander.ReadFrames(3));

    Client guesser;
    guesser.Send(EncodeCommand(CommandToken, "guess") + EncodeCommand(CommandRecord));
    EXPECT_TRUE(guesser.ReadToClose());
    Client later; // closed at once, told why
    EXPECT_TRUE(later.ReadToClose());
    EXPECT_FALSE(later.greeted);
    EXPECT_EQ(guesser.answers, (Answers{{CommandToken, AnswerWrongToken}}));
    EXPECT_EQ(later.answers, (Answers{{0, AnswerBanned}}));
    EXPECT_EQ(CommandsSeen(), std::vector<uint32_t>{7});
}

TEST_F(NetworkTest, ReconnectingFloodReachesTheWindowAtTheAddressRate) {
    std::string twenty;
    for (int i = 0; i < 20; ++i) {
        twenty += EncodeCommand(CommandStop);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5000 && std::chrono::steady_clock::now() - start < 1s; ++i) {
        Client(0).Send(twenty);
    }
    Client last; // accepted after every flooder, so once it is answered they all were
    last.Send(EncodeCommand(CommandStop));
    ASSERT_TRUE(last.ReadAnswers(1));
    ASSERT_TRUE(ClientsAre(1)); // each flooder read to its end
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    EXPECT_GE(CommandsSeen().size(), std::size_t{AddressCommandBurst});
    EXPECT_LE(static_cast<double>(CommandsSeen().size()),
              AddressCommandBurst + AddressCommandsPerSecond * seconds.count());
}

TEST_F(NetworkTest, SilentSocketsGiveWayToAClientThatSpeaks) {
    Client early; // has commanded: it keeps its place
    early.Send(EncodeCommand(7));
    ASSERT_TRUE(early.ReadAnswers(1));
    std::deque<Client> silent(MaxClients - 1);
    ASSERT_TRUE(ClientsAre(MaxClients));
    Client operatorTool;
    operatorTool.Send(EncodeCommand(CommandRecord));
    ASSERT_TRUE(operatorTool.ReadAnswers(1));
    EXPECT_EQ(operatorTool.answers[0].second, AnswerTaken);
    EXPECT_TRUE(silent[0].ReadToClose()); // the longest silent
    sim::Deliver(suit, 1);
    EXPECT_TRUE(early.ReadFrames(1));
    EXPECT_EQ(ClientCount(), MaxClients);
}

TEST_F(NetworkTest, ThousandConnectsLeakNoDescriptorAndStopClosesEveryone) {
    const std::size_t before = OpenFiles();
    for (int i = 0; i < 1000; ++i) {
        Client c;
    }
    std::deque<Client> clients(8);
    std::jthread pump([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            sim::Deliver(suit, 1);
        }
    });
    ASSERT_TRUE(clients[0].ReadFrames(10));
    GyroFinish(); // ends the server with the suits, frames still arriving
    pump.request_stop();
    pump.join();
    for (Client& c : clients) {
        EXPECT_TRUE(c.ReadToClose());
    }
    EXPECT_EQ(NetworkGetServerPort(), 0u);
    clients.clear();
    EXPECT_EQ(OpenFiles(), before - 4); // the server's listener, epoll, wake and timer
}

TEST_F(NetworkTest, StartFailuresSayWhy) {
    SuitDescriptorEx other{};
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(NetworkStartServer(loopback, 1, &other, nullptr), 4); // running
    NetworkFinish();
    EXPECT_EQ(NetworkStartServer(loopback, 2, &other, nullptr), 3);
    // A token no command can carry would lock every client out.
    for (std::size_t length : {MaxTokenLength + 1, MaxTokenLength}) {
        SetServerOptions({.port = 0, .vmcTargets = {}, .token = std::string(length, 't')});
        const bool fits = length == MaxTokenLength;
        EXPECT_EQ(NetworkStartServer(loopback, 1, &other, nullptr), fits ? 0 : 5);
        EXPECT_EQ(files::LastProblem().reason,
                  fits ? "" : "the Token in telvoria-sim.ini is longer than 256 bytes");
        NetworkFinish();
    }
}

// The server starts on the window thread, which must never wait for a name server: only
// dotted quads and "localhost" are targets, anything that would need a lookup is left out.
TEST_F(NetworkTest, VmcTargetsAreAddressesNeverLookedUp) {
    int shortForm = BoundSocket(SOCK_DGRAM), named = BoundSocket(SOCK_DGRAM),
        quad = BoundSocket(SOCK_DGRAM);
    auto got = [](int fd) {
        char byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) >= 0;
    };
    auto at = [](const char* host, int fd) { return host + std::to_string(PortOf(fd)); };
    Start({at("127.1:", shortForm), at("LocalHost:", named), at("127.0.0.1:", quad)});
    for (int i = 0; i < 400 && !got(quad); ++i) {
        sim::Deliver(suit, 1);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(got(quad) && got(named));
    EXPECT_FALSE(got(shortForm)) << "sent before the others, had it been a target";
    for (int fd : {shortForm, named, quad}) {
        ::close(fd);
    }
}

TEST(Vmc, ArmsHangDownFromTheTPoseInSmallFloatBundles) {
    Skeleton skeleton;
    GyroInitSkeleton(&skeleton); // the null pose: arms down
    body::Pose pose;
    std::array<Vector, SkeletonNodeCount> offsets;
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        pose.position[i] = skeleton.Nodes[i].Position;
        pose.orientation[i] = skeleton.Nodes[i].Orientation;
        offsets[i] = skeleton.Nodes[i].Offset;
    }
    std::string all;
    for (const auto& bundle : net::vmc::EncodePose(pose, offsets, 1.5f)) {
        EXPECT_LE(bundle.size(), net::vmc::MaxBundleBytes);
        all.append(bundle.begin(), bundle.end());
    }
    // The i-th float argument of the message naming the bone.
    auto argument = [&](const std::string& name, int i) {
        std::size_t at = all.find(name + std::string(4 - name.size() % 4, '\0'));
        EXPECT_NE(at, std::string::npos) << name;
        uint32_t big;
        std::memcpy(&big, all.data() + at + (name.size() / 4 + 1 + i) * 4, 4);
        return std::bit_cast<float>(ntohl(big));
    };
    // The left arm hangs down from the T-pose's -X: a quarter turn about the receivers' Z.
    const float quarterTurnAboutZ[4] = {0.0f, 0.0f, std::sqrt(0.5f), std::sqrt(0.5f)};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(argument("LeftUpperArm", 3 + i), quarterTurnAboutZ[i], 1e-5f);
    }
    EXPECT_NEAR(argument("Hips", 1), skeleton.Nodes[0].Position.z * 0.0254f, 1e-5f); // m, Y up
}

TEST_F(NetworkTest, OscdumpSeesVmcWithFloatArguments) {
    if (::system("command -v oscdump > /dev/null") != 0) {
        GTEST_SKIP() << "oscdump (liblo-tools) is not installed";
    }
    const std::string port = std::to_string(40000 + ::getpid() % 20000);
    Start({"127.0.0.1:" + port});
    std::jthread pump([&](std::stop_token stop) { // while oscdump listens, 10 s at most
        for (int i = 0; i < 2000 && !stop.stop_requested(); ++i) {
            sim::Deliver(suit, 1);
            std::this_thread::sleep_for(5ms);
        }
    });
    TempDir dir;
    const Ran ran = RunIn(dir.path(), "timeout 3 oscdump -L " + port); // -L: line by line
    EXPECT_EQ(ran.status, 124) << "oscdump ended early (port " << port << " in use?): " << ran.err;
    for (const char* message : {"/VMC/Ext/T f", "/VMC/Ext/Root/Pos sfffffff \"root\" 0.000000",
                                "/VMC/Ext/Bone/Pos sfffffff \"LeftUpperArm\"", "/VMC/Ext/OK i 1"}) {
        EXPECT_NE(ran.out.find(message), std::string::npos)
            << message << " in " << ran.out.substr(0, 2000);
    }
}

} // namespace
} // namespace telvo::test
