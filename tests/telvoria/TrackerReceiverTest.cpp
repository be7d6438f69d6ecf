// The receiver as a hostile sender sees it: what it answers, what it drops and counts, its
// limits, and the [Trackers] section that sets it up.
#include "telvoria/sim/Config.h"
#include "telvoria/trackers/Protocol.h"
#include "tests/telvoria/TrackerLoopback.h"

#include <poll.h>

namespace telvo::test {
namespace {

using namespace std::chrono_literals;
using namespace telvo::trackers;

// One sender on its own loopback port.
class Sender {
public:
    Sender() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
    ~Sender() { ::close(fd_); }
    void Send(const Bytes& b, uint16_t port, const char* to = "127.0.0.1") const {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        ::inet_pton(AF_INET, to, &at.sin_addr);
        ::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    }
    // The next datagram within the time, empty when none came.
    Bytes Receive(std::chrono::milliseconds within = 300ms) const {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(within.count())) <= 0) {
            return {};
        }
        Bytes b(2048);
        ssize_t n = ::recv(fd_, b.data(), b.size(), 0);
        b.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return b;
    }
    // Datagrams until one of this kind, at most a few seconds.
    bool Expect(FromReceiver::Kind kind) const {
        for (int i = 0; i < 20; ++i) {
            Bytes b = Receive(250ms);
            if (!b.empty() && ParseFromReceiver(b).kind == kind) {
                return true;
            }
        }
        return false;
    }

private:
    int fd_ = -1;
};

const Mac Known = EmulatedMac(1);

class TrackerReceiver : public TrackerSuitTest {
protected:
    void SetUp() override {
        TrackerSuitTest::SetUp();
        Configure("Hips=02:00:00:00:00:01\n");
        ASSERT_EQ(GyroInit(), 1);
    }
};

TEST_F(TrackerReceiver, DropsAndCountsWhatItCannotUseAndAnswersNoneOfIt) {
    Sender s;
    const Bytes rotation = TrackerRotation(1, 0, Quat{});
    s.Send(Bytes(5, 0), port_);
    s.Send(Bytes(MaxPacketSize + 100, 0), port_);
    s.Send(Bytes{0, 0, 0, 77, 0, 0, 0, 0, 0, 0, 0, 1}, port_);
    s.Send(TrackerBundle(1, {Bytes{0, 0, 0, 17, 1}}), port_);
    s.Send(rotation, port_); // before any handshake
    ASSERT_TRUE(WaitUntil([] { return Counts().packets == 5; }));
    EXPECT_TRUE(s.Receive().empty());
    ReceiverCounts c = Counts();
    EXPECT_EQ(c.shortOnes, 1u);
    EXPECT_EQ(c.oversized, 1u);
    EXPECT_EQ(c.unknown, 1u);
    EXPECT_EQ(c.malformed, 1u);
    EXPECT_EQ(c.strangers, 1u);
    EXPECT_EQ(c.rotations, 0u);
}

TEST_F(TrackerReceiver, ShakesHandsAcknowledgesSensorsAndKeepsTheTrackerAlive) {
    Sender s;
    s.Send(TrackerHandshake(Known, "fw"), port_);
    ASSERT_EQ(ParseFromReceiver(s.Receive()).kind, FromReceiver::Kind::Handshake);
    s.Send(TrackerSensorInfo(0, 0, SensorOk), port_);
    EXPECT_TRUE(s.Expect(FromReceiver::Kind::SensorInfoAck));
    EXPECT_TRUE(s.Expect(FromReceiver::Kind::Heartbeat));
    EXPECT_TRUE(s.Expect(FromReceiver::Kind::Ping));
    s.Send(TrackerRotation(1, 0, AxisAngle(0, 0, 1, 0.5f)), port_);
    s.Send(TrackerRotation(1, 0, Quat{}), port_); // the same number again: late
    ASSERT_TRUE(WaitUntil([] { return Counts().stale == 1; }));
    EXPECT_EQ(Counts().rotations, 1u);
    auto seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].suitSensor, 0);
}

TEST_F(TrackerReceiver, ListensOnlyOnTheConfiguredAddress) {
    Sender s;
    s.Send(TrackerHandshake(Known, "fw"), port_, "127.0.0.2");
    EXPECT_TRUE(s.Receive().empty());
    EXPECT_EQ(Counts().packets, 0u);
}

TEST_F(TrackerReceiver, TakesSixtyFourTrackersAndRefusesTheNext) {
    std::vector<std::unique_ptr<Sender>> senders;
    for (int i = 0; i < 65; ++i) {
        senders.push_back(std::make_unique<Sender>());
        senders.back()->Send(TrackerHandshake(EmulatedMac(100 + i), "fw"), port_);
    }
    ASSERT_TRUE(WaitUntil([] { return Counts().packets == 65; }));
    EXPECT_EQ(Counts().refused, 1u);
    EXPECT_EQ(Seen().size(), 64u);
    EXPECT_TRUE(senders.back()->Receive().empty());
}

TEST_F(TrackerReceiver, TrackerBeyondItsPacketsPerSecondIsCutOff) {
    Sender s;
    s.Send(TrackerHandshake(Known, "fw"), port_);
    ASSERT_EQ(ParseFromReceiver(s.Receive()).kind, FromReceiver::Kind::Handshake);
    // In steps the socket's buffer holds, all within a second.
    uint64_t n = 1;
    for (int step = 0; step < 25; ++step) {
        for (int i = 0; i < 100; ++i, ++n) {
            s.Send(TrackerRotation(n, 0, Quat{}), port_);
        }
        WaitUntil([&] { return Counts().packets >= n; }, 200ms);
    }
    EXPECT_GT(Counts().overBudget, 0u);
    EXPECT_LE(Counts().rotations, 2000u);
}

// The tracker suit a [Trackers] section sets up, in one line.
std::string Describe(const sim::Setup& setup) {
    if (!setup.trackers) {
        return "none";
    }
    const auto& t = *setup.trackers;
    char address[16] = {};
    ::inet_ntop(AF_INET, &t.receiver.address, address, sizeof address);
    std::string text = std::to_string(t.suit.identity) + " '" + t.suit.name + "' /" +
                       std::to_string(t.suit.frameDivider) + " " + address + ":" +
                       std::to_string(t.receiver.port);
    for (const Slot& slot : t.receiver.slots) {
        text += " " + std::to_string(slot.suitSensor) + "=" + MacText(slot.mac) + "/" +
                std::to_string(slot.sensor);
    }
    return text;
}

TEST(TrackerConfig, ReadsTheSuitAndOneKeyPerSegment) {
    const struct {
        const char* ini;
        const char* setup;
    } cases[] = {
        {"", "none"},
        {"[Trackers]\nPort=0\nHips=02:00:00:00:00:01", "none"},
        {"[Trackers]\nPort=6969", "90 'Trackers' /1 0.0.0.0:6969"},
        {"[Trackers]\nPort=7000\nAddress=127.0.0.1\nNumber=12\nName=A name far longer\n"
         "FrameDivider=2\nhips=02:00:00:00:00:01\nLeftHip=02:00:00:00:00:02/3\n"
         "RightKnee=aa:bb:cc:dd:ee:ff/0",
         "12 'A name far long' /2 127.0.0.1:7000 0=02:00:00:00:00:01/0 13=02:00:00:00:00:02/3 "
         "17=AA:BB:CC:DD:EE:FF/0"},
        // Nodes that carry no sensor, broken MACs and sensor numbers are left out.
        {"[Trackers]\nPort=6969\nHeadTop=02:00:00:00:00:01\nHips=02:00:00:00:00\n"
         "Chest=02:00:00:00:00:02/256\nNeck=02:00:00:00:00:03/x\nHead=02:00:00:00:00:04/",
         "90 'Trackers' /1 0.0.0.0:6969"},
        {"[Trackers]\nPort=6969\nAddress=somewhere", "none"},
        {"[Trackers]\nPort=70000", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(sim::ParseSetup(c.ini)), c.setup) << c.ini;
    }
    EXPECT_EQ(Describe(sim::ParseSetup(TrackersSection(6969, Emulator::Standard(6)))),
              "90 'Trackers' /1 127.0.0.1:6969 0=02:00:00:00:00:01/0 2=02:00:00:00:00:02/0 "
              "13=02:00:00:00:00:03/0 14=02:00:00:00:00:05/0 16=02:00:00:00:00:04/0 "
              "17=02:00:00:00:00:06/0")
        << "the emulator's section names the six segments a figure needs";
    // The set-up docs/trackers.md shows, so that the docs cannot drift.
    std::string docs = ReadAll(std::filesystem::path(std::getenv("TELVO_SOURCE_DIR") != nullptr
                                                         ? std::getenv("TELVO_SOURCE_DIR")
                                                         : ".") /
                               "docs/trackers.md");
    std::size_t from = docs.find("```ini\n   [Simulation]");
    std::size_t to = docs.find("```", from + 3);
    ASSERT_NE(from, std::string::npos);
    sim::Setup shown = sim::ParseSetup(docs.substr(from + 7, to - from - 7));
    EXPECT_EQ(shown.suits.size(), 1u);
    EXPECT_EQ(Describe(shown), "90 'Trackers' /1 0.0.0.0:6969 0=02:00:00:00:00:01/0 "
                               "2=02:00:00:00:00:02/0 13=02:00:00:00:00:03/0 "
                               "14=02:00:00:00:00:05/0 16=02:00:00:00:00:04/0 "
                               "17=02:00:00:00:00:06/0");
    sim::Setup both = sim::ParseSetup("[Simulation]\nSuits=2\n[Trackers]\nPort=6969\n");
    ASSERT_EQ(both.suits.size(), 3u);
    EXPECT_TRUE(sim::IsTrackerSuit(both, 2)) << "listed after the simulated suits";
    EXPECT_FALSE(sim::IsTrackerSuit(both, 0));
}

} // namespace
} // namespace telvo::test
