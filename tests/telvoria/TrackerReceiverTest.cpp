// The receiver as a hostile sender sees it: what it answers, what it drops and counts, its
// limits.
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

// A tracker that then sends faster than its packets per second allow is cut off.
TEST_F(TrackerReceiver, ShakesHandsAcknowledgesKeepsAliveAndCutsOffAFlood) {
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
    // In steps the socket's buffer holds, all within a second.
    for (uint64_t n = 2; n <= 2500;) {
        for (int i = 0; i < 100; ++i, ++n) {
            s.Send(TrackerRotation(n, 0, Quat{}), port_);
        }
        Eventually([&] { return Counts().packets >= n; }, 200ms);
    }
    EXPECT_GT(Counts().overBudget, 0u);
    EXPECT_LE(Counts().rotations, 2000u);
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

} // namespace
} // namespace telvo::test
