#pragma once

// The bytes of the open-hardware trackers' UDP protocol, both ways: what a tracker sends and
// the receiver reads, and what the receiver answers. Every number is big-endian. A packet from
// a tracker starts with its type (4 bytes) and its packet number (8 bytes); bundles carry
// several such bodies without numbers. docs/trackers.md lists the packets.

#include "telvoria/trackers/Quat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace telvo::trackers {

using Bytes = std::vector<uint8_t>;
using Mac = std::array<uint8_t, 6>;

// One UDP payload holds at most this much on an Ethernet path; anything longer is refused.
constexpr std::size_t MaxPacketSize = 1472;

namespace type {
constexpr uint32_t Heartbeat = 0;
constexpr uint32_t Rotation = 1; // old firmware: sensor 0 only
constexpr uint32_t Handshake = 3;
constexpr uint32_t Accel = 4;
constexpr uint32_t PingPong = 10;
constexpr uint32_t Serial = 11;
constexpr uint32_t BatteryLevel = 12;
constexpr uint32_t Tap = 13;
constexpr uint32_t Error = 14;
constexpr uint32_t SensorInfo = 15;
constexpr uint32_t Rotation2 = 16; // old firmware: sensor 1 only
constexpr uint32_t RotationData = 17;
constexpr uint32_t MagnetometerAccuracy = 18;
constexpr uint32_t SignalStrength = 19;
constexpr uint32_t Temperature = 20;
constexpr uint32_t UserAction = 21;
constexpr uint32_t FeatureFlags = 22;
constexpr uint32_t RotationAndAccel = 23;
constexpr uint32_t FlexData = 24;
constexpr uint32_t AcknowledgeConfig = 25;
constexpr uint32_t Bundle = 100;
constexpr uint32_t CompactBundle = 101;
constexpr uint32_t Inspection = 105;
constexpr uint32_t ProtocolChange = 200;
// Sent to trackers: the number a tracker reads as a heartbeat request.
constexpr uint32_t HeartbeatRequest = 1;
} // namespace type

// Rotation data of this kind is the sensor's orientation; others (magnetometer corrections)
// are not.
constexpr uint8_t NormalRotation = 1;
constexpr uint8_t SensorOk = 1;

// What one message from a tracker says, as far as the receiver needs it.
struct Message {
    enum class Kind : uint8_t {
        Handshake,  // mac, protocol
        Heartbeat,  //
        Pong,       // ping
        SensorInfo, // sensor, status
        Rotation,   // sensor, rotation
        FeatureFlags,
        Ignored, // understood, not needed (battery, signal strength, temperature, ...)
        Unknown, // a type this receiver does not know, inside a bundle
    };
    Kind kind = Kind::Ignored;
    uint8_t sensor = 0;
    uint8_t status = 0;
    uint32_t ping = 0;
    int32_t protocol = 0;
    Mac mac{};
    Quat rotation;
};

enum class Verdict : uint8_t { Ok, Short, Oversized, Unknown, Malformed };

struct Packet {
    uint64_t number = 0;
    std::vector<Message> messages; // reused from packet to packet
};

// Reads one UDP payload from a tracker. Only Ok fills the packet; a bundle whose framing is
// broken is Malformed as a whole, an unknown type inside a bundle is one Unknown message.
Verdict Parse(std::span<const uint8_t> data, Packet& packet);

// What the receiver sends to a tracker.
Bytes HandshakeReply();
Bytes HeartbeatRequest();
Bytes Ping(uint32_t id);
Bytes SensorInfoAck(uint8_t sensor, uint8_t status);
Bytes ServerFeatureFlags(); // bundles understood

// What a tracker sends (the emulator's side).
Bytes TrackerHandshake(const Mac& mac, const std::string& firmware);
Bytes TrackerSensorInfo(uint64_t number, uint8_t sensor, uint8_t status);
Bytes TrackerRotation(uint64_t number, uint8_t sensor, const Quat& q);
Bytes TrackerHeartbeat(uint64_t number);
Bytes TrackerPong(uint64_t number, uint32_t id);
Bytes TrackerBattery(uint64_t number, float volts, float fraction);
// Bodies (type and payload, no number) in one bundle packet.
Bytes TrackerBundle(uint64_t number, const std::vector<Bytes>& bodies);
// A packet's body without its number, for a bundle.
Bytes BodyOf(const Bytes& packet);

// What a tracker reads from the receiver.
struct FromReceiver {
    enum class Kind : uint8_t { Handshake, Heartbeat, Ping, SensorInfoAck, FeatureFlags, Other };
    Kind kind = Kind::Other;
    uint32_t ping = 0;
};
FromReceiver ParseFromReceiver(std::span<const uint8_t> data);

// "02:00:00:00:00:01"; parsed with either case of hex digits.
std::string MacText(const Mac& mac);
bool ParseMac(std::string_view text, Mac& mac);

} // namespace telvo::trackers
