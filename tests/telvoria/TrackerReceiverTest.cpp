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
struct Sender {
    int fd = BoundSocket(SOCK_DGRAM);
    ~Sender() { ::close(fd); }
    void Send(const Bytes& b, uint16_t port, const char* to = "127.0.0.1") const {
        const sockaddr_in at = LoopbackAt(port, to);
        ::sendto(fd, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    }
    // The next datagram within 300 ms, empty when none came.
    Bytes Receive() const {
        pollfd p{fd, POLLIN, 0};
        Bytes b(2048);
        const ssize_t n = ::poll(&p, 1, 300) > 0 ? ::recv(fd, b.data(), b.size(), 0) : 0;
        b.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        return b;
    }
    // Datagrams until one of this kind, a few seconds at most.
    bool Expect(FromReceiver::Kind kind) const {
        for (int i = 0; i < 15; ++i) {
            if (Bytes b = Receive(); !b.empty() && ParseFromReceiver(b).kind == kind) {
                return true;
            }
        }
        return false;
    }
};

const Mac Known = EmulatedMac(1);

struct TrackerReceiver : TrackerSuitTest {
    void SetUp() override {
        TrackerSuitTest::SetUp();
        Configure("Hips=02:00:00:00:00:01\n");
        ASSERT_EQ(GyroInit(), 1);
    }
};

// Also what is sent to another loopback address: the receiver listens only on its own.
TEST_F(TrackerReceiver, DropsAndCountsWhatItCannotUseAndAnswersNoneOfIt) {
    Sender s;
    s.Send(TrackerHandshake(Known, "fw"), port_, "127.0.0.2");
    s.Send(Bytes(5, 0), port_);
    s.Send(Bytes(MaxPacketSize + 100, 0), port_);
    s.Send(Bytes{0, 0, 0, 77, 0, 0, 0, 0, 0, 0, 0, 1}, port_);
    s.Send(TrackerBundle(1, {Bytes{0, 0, 0, 17, 1}}), port_);
    s.Send(TrackerRotation(1, 0, Quat{}), port_); // before any handshake
    ASSERT_TRUE(Eventually([] { return Counts().packets >= 5; }));
    EXPECT_TRUE(s.Receive().empty());
    const ReceiverCounts c = Counts();
    EXPECT_EQ((std::vector<uint64_t>{c.packets, c.shortOnes, c.oversized, c.unknown, c.malformed,
                                     c.strangers, c.rotations}),
              (std::vector<uint64_t>{5, 1, 1, 1, 1, 1, 0}));
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
    ASSERT_TRUE(Eventually([] { return Counts().stale == 1; }));
    EXPECT_EQ(Counts().rotations, 1u);
    const auto seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].suitSensor, 0);
}

TEST_F(TrackerReceiver, TakesSixtyFourTrackersAndRefusesTheNext) {
    std::vector<std::unique_ptr<Sender>> senders;
    for (int i = 0; i < 65; ++i) {
        senders.push_back(std::make_unique<Sender>());
        senders.back()->Send(TrackerHandshake(EmulatedMac(100 + i), "fw"), port_);
    }
    ASSERT_TRUE(Eventually([] { return Counts().packets == 65; }));
    EXPECT_EQ(Counts().refused, 1u);
    EXPECT_EQ(Seen().size(), 64u);
    EXPECT_TRUE(senders.back()->Receive().empty());
}

TEST_F(TrackerReceiver, TrackerBeyondItsPacketsPerSecondIsCutOff) {
    Sender s;
    s.Send(TrackerHandshake(Known, "fw"), port_);
    ASSERT_EQ(ParseFromReceiver(s.Receive()).kind, FromReceiver::Kind::Handshake);
    // In steps the socket's buffer holds, all within a second.
    for (uint64_t n = 1; n <= 2500;) {
        for (int i = 0; i < 100; ++i, ++n) {
            s.Send(TrackerRotation(n, 0, Quat{}), port_);
        }
        Eventually([&] { return Counts().packets >= n; }, 200ms);
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
    // Also the set-up docs/trackers.md shows, so that the docs cannot drift, and the emulator's
    // section, which names the six segments a figure needs.
    const std::string docs = ReadAll(SourcePath("docs/trackers.md"));
    const std::size_t from = docs.find("```ini\n   [Simulation]") + 7;
    const std::string six = "0=02:00:00:00:00:01/0 2=02:00:00:00:00:02/0 13=02:00:00:00:00:03/0 "
                            "14=02:00:00:00:00:05/0 16=02:00:00:00:00:04/0 17=02:00:00:00:00:06/0";
    const std::pair<std::string, std::string> cases[] = {
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
        {TrackersSection(6969, Emulator::Standard(6)), "90 'Trackers' /1 127.0.0.1:6969 " + six},
        {docs.substr(from, docs.find("```", from) - from), "90 'Trackers' /1 0.0.0.0:6969 " + six},
    };
    for (const auto& [ini, setup] : cases) {
        EXPECT_EQ(Describe(sim::ParseSetup(ini)), setup) << ini;
    }
    const sim::Setup both = sim::ParseSetup("[Simulation]\nSuits=2\n[Trackers]\nPort=6969\n");
    ASSERT_EQ(both.suits.size(), 3u);
    EXPECT_TRUE(sim::IsTrackerSuit(both, 2)) << "listed after the simulated suits";
    EXPECT_FALSE(sim::IsTrackerSuit(both, 0));
}

} // namespace
} // namespace telvo::test
