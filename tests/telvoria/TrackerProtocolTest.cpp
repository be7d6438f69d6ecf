// The trackers' protocol byte for byte: what the receiver reads of each packet a tracker may
// send, and what it answers. The bytes are written out here as the firmware lays them down.
#include "telvoria/trackers/Protocol.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <initializer_list>

namespace telvo::test {
namespace {

using namespace telvo::trackers;
using Kind = Message::Kind;
using B = Bytes;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Four bytes, the most significant first: a packet's type, a float.
Bytes Type(uint32_t u) {
    return {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
}
Bytes Float(float f) {
    return Type(std::bit_cast<uint32_t>(f));
}
const Bytes Number{0, 0, 0, 0, 0, 0, 0x01, 0x2c}; // 300

// A quarter turn about Z: x y z w.
const Bytes QuarterTurn = Cat({Float(0.0f), Float(0.0f), Float(0.70710678f), Float(0.70710678f)});
const Bytes RotationBody = Cat({Type(17), B{2, 1}, QuarterTurn, B{0}});
const Bytes Mac6{0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
const Bytes HandshakeBody = Cat({Type(3), Number, B{0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 2},
                                 Bytes(12, 0), B{0, 0, 0, 13}, B{4}, B{'t', 'e', 's', 't'}, Mac6});

Bytes Packet(const Bytes& body) {
    // A body is a type and a payload; a packet puts the number between them.
    return Cat(
        {Bytes(body.begin(), body.begin() + 4), Number, Bytes(body.begin() + 4, body.end())});
}

TEST(TrackerProtocol, ReadsEveryPacketATrackerSends) {
    using enum Verdict;
    using K = Kind;
    const Bytes battery = Cat({Type(12), Float(3.9f), Float(0.8f)});
    const struct {
        Bytes bytes;
        Verdict verdict;
        std::vector<Kind> kinds;
    } cases[] = {
        {Cat({Type(0), Number}), Ok, {K::Heartbeat}},
        {Packet(RotationBody), Ok, {K::Rotation}},
        // A magnetometer correction.
        {Cat({Type(17), Number, B{2, 2}, QuarterTurn, B{0}}), Ok, {K::Ignored}},
        {HandshakeBody, Ok, {K::Handshake}},
        {Cat({Type(15), Number, B{1, 1, 4}}), Ok, {K::SensorInfo}},
        {Cat({Type(10), Number, B{0, 0, 0, 9}}), Ok, {K::Pong}},
        {Packet(battery), Ok, {K::Ignored}},
        {Cat({Type(19), Number, B{255, 0xc4}}), Ok, {K::Ignored}},       // signal strength
        {Cat({Type(20), Number, B{0}, Float(31.5f)}), Ok, {K::Ignored}}, // temperature
        {Cat({Type(22), Number, B{0x03}}), Ok, {K::FeatureFlags}},
        // Rotation and acceleration in Q15.
        {Cat({Type(23), Number, B{0, 0, 0, 0, 0, 0x5a, 0x82, 0x5a, 0x82, 0, 0, 0, 0, 0, 0}}),
         Ok,
         {K::Rotation}},
        {Cat({Type(100), Number, B{0, 23}, RotationBody, B{0, 12}, battery}),
         Ok,
         {K::Rotation, K::Ignored}},
        {Cat({Type(101), Number, B{20, 17, 2, 1}, QuarterTurn, B{0}}), Ok, {K::Rotation}},
        {Cat({Type(100), Number, B{0, 4}, Type(77)}), Ok, {K::Unknown}}, // inside a bundle
        {Bytes(11, 0), Short, {}},                                       // shorter than a header
        {Cat({Type(17), Number, B{2, 1}, Float(1.0f)}), Short, {}},
        {Bytes(HandshakeBody.begin(), HandshakeBody.end() - 3), Short, {}}, // without the MAC
        {Cat({Type(0), Number, Bytes(1461, 0)}), Oversized, {}},
        {Cat({Type(77), Number}), Unknown, {}},
        {Cat({Type(100), Number, B{0, 40}, RotationBody}), Malformed, {}}, // past the end
        {Cat({Type(100), Number, B{0, 4}, Type(100)}), Malformed, {}},     // a bundle in a bundle
        {Cat({Type(100), Number, B{0, 6}, Type(17), B{2, 1}}), Malformed, {}}, // too short
        // A bundle ending in half a length.
        {Cat({Type(100), Number, B{0, 23}, RotationBody, B{0}}), Malformed, {}},
    };
    for (const auto& c : cases) {
        trackers::Packet p;
        EXPECT_EQ(Parse(c.bytes, p), c.verdict) << &c - cases;
        std::vector<Kind> kinds;
        for (const auto& m : p.messages) {
            kinds.push_back(m.kind);
        }
        EXPECT_EQ(kinds, c.kinds) << &c - cases;
        EXPECT_TRUE(c.verdict != Ok || p.number == 300u) << &c - cases;
    }
}

// The MAC is checked end to end, where trackers are told apart by it (TrackerReceiverTest,
// TrackerSuitTest); a quaternion read out of order still turns a calibrated thigh alike there.
TEST(TrackerProtocol, TakesTheSensorAndRotationAndHoldsTheIdentityForANonRotation) {
    trackers::Packet p;
    ASSERT_EQ(Parse(Packet(RotationBody), p), Verdict::Ok);
    EXPECT_EQ(p.messages[0].sensor, 2);
    EXPECT_NEAR(p.messages[0].rotation.z, 0.7071f, 1e-4f);
    EXPECT_NEAR(p.messages[0].rotation.w, 0.7071f, 1e-4f);

    // Not a rotation at all: the receiver holds the identity rather than a broken matrix.
    Bytes nan =
        Cat({Type(17), Number, B{0, 1}, Float(NAN), Float(0.0f), Float(0.0f), Float(1.0f), B{0}});
    ASSERT_EQ(Parse(nan, p), Verdict::Ok);
    EXPECT_EQ(p.messages[0].rotation.w, 1.0f);
    EXPECT_EQ(p.messages[0].rotation.x, 0.0f);
}

TEST(TrackerProtocol, AnswersAreWhatTrackersExpect) {
    const Bytes greeting = HandshakeReply();
    EXPECT_EQ(std::string(greeting.begin(), greeting.end()).substr(0, 13), "\x03Hey OVR =D 5");
    EXPECT_EQ(HeartbeatRequest(), Cat({Type(1), Bytes(8, 0)}));
    EXPECT_EQ(Ping(0x01020304), Cat({Type(10), Bytes(8, 0), B{1, 2, 3, 4}}));
    EXPECT_EQ(SensorInfoAck(1, 1), Cat({Type(15), B{1, 1}}));
    EXPECT_EQ(ServerFeatureFlags(), Cat({Type(22), Bytes(8, 0), B{1}}));
}

} // namespace
} // namespace telvo::test
