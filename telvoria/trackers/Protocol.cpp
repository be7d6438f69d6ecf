#include "telvoria/trackers/Protocol.h"

#include <bit>
#include <cstring>

namespace telvo::trackers {

namespace {

constexpr std::size_t HeaderSize = 12; // type and packet number
constexpr const char* Greeting = "Hey OVR =D 5";
constexpr std::size_t GreetingSize = 12;

// A cursor over bytes that can only move forward and reports running short.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}

    std::size_t Left() const { return data_.size() - at_; }
    bool Has(std::size_t n) const { return Left() >= n; }

    uint8_t U8() { return data_[at_++]; }
    uint16_t U16() {
        uint16_t v = static_cast<uint16_t>((data_[at_] << 8) | data_[at_ + 1]);
        at_ += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | data_[at_++];
        }
        return v;
    }
    uint64_t U64() {
        uint64_t hi = U32();
        return (hi << 32) | U32();
    }
    float F32() { return std::bit_cast<float>(U32()); }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    void Skip(std::size_t n) { at_ += n; }
    std::span<const uint8_t> Take(std::size_t n) {
        auto s = data_.subspan(at_, n);
        at_ += n;
        return s;
    }

private:
    std::span<const uint8_t> data_;
    std::size_t at_ = 0;
};

class Writer {
public:
    Writer& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Writer& U16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
    Writer& U32(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            U8(static_cast<uint8_t>(v >> shift));
        }
        return *this;
    }
    Writer& U64(uint64_t v) {
        return U32(static_cast<uint32_t>(v >> 32)).U32(static_cast<uint32_t>(v));
    }
    Writer& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
    Writer& Raw(const uint8_t* p, std::size_t n) {
        bytes.insert(bytes.end(), p, p + n);
        return *this;
    }
    Bytes bytes;
};

Quat ReadQuat(Reader& r) {
    Quat q;
    q.x = r.F32();
    q.y = r.F32();
    q.z = r.F32();
    q.w = r.F32();
    return Normalized(q);
}

using Kind = Message::Kind;

enum class Body { Read, Short, Unknown };

// The body of one message: Short when it is too short for its type.
Body ReadBody(uint32_t type, Reader& r, Message& m) {
    switch (type) {
    case type::Heartbeat:
        m.kind = Kind::Heartbeat;
        return Body::Read;
    case type::Rotation:
    case type::Rotation2:
        if (!r.Has(16)) {
            return Body::Short;
        }
        m.kind = Kind::Rotation;
        m.sensor = type == type::Rotation ? 0 : 1;
        m.rotation = ReadQuat(r);
        return Body::Read;
    case type::Handshake: {
        // Board, IMU and MCU kinds, three unused words, the protocol version, the firmware's
        // name and the MAC; newer firmware adds more after it.
        if (!r.Has(7 * 4 + 1)) {
            return Body::Short;
        }
        r.Skip(6 * 4);
        m.protocol = static_cast<int32_t>(r.U32());
        std::size_t nameLength = r.U8();
        if (!r.Has(nameLength + 6)) {
            return Body::Short;
        }
        r.Skip(nameLength);
        for (auto& b : m.mac) {
            b = r.U8();
        }
        m.kind = Kind::Handshake;
        return Body::Read;
    }
    case type::PingPong:
        if (!r.Has(4)) {
            return Body::Short;
        }
        m.kind = Kind::Pong;
        m.ping = r.U32();
        return Body::Read;
    case type::SensorInfo:
        if (!r.Has(2)) {
            return Body::Short;
        }
        m.kind = Kind::SensorInfo;
        m.sensor = r.U8();
        m.status = r.U8();
        return Body::Read;
    case type::RotationData: {
        if (!r.Has(2 + 16)) {
            return Body::Short;
        }
        m.sensor = r.U8();
        uint8_t kind = r.U8();
        m.rotation = ReadQuat(r);
        m.kind = kind == NormalRotation ? Kind::Rotation : Kind::Ignored;
        return Body::Read;
    }
    case type::RotationAndAccel: {
        // Q15 fixed point, x y z w, then the acceleration.
        if (!r.Has(1 + 4 * 2)) {
            return Body::Short;
        }
        m.sensor = r.U8();
        constexpr float Scale = 1.0f / 32768.0f;
        Quat q;
        q.x = r.S16() * Scale;
        q.y = r.S16() * Scale;
        q.z = r.S16() * Scale;
        q.w = r.S16() * Scale;
        m.rotation = Normalized(q);
        m.kind = Kind::Rotation;
        return Body::Read;
    }
    case type::FeatureFlags:
        m.kind = Kind::FeatureFlags;
        return Body::Read;
    case type::Accel:
    case type::Serial:
    case type::BatteryLevel:
    case type::Tap:
    case type::Error:
    case type::MagnetometerAccuracy:
    case type::SignalStrength:
    case type::Temperature:
    case type::UserAction:
    case type::FlexData:
    case type::AcknowledgeConfig:
    case type::Inspection:
    case type::ProtocolChange:
        m.kind = Kind::Ignored;
        return Body::Read;
    default:
        m.kind = Kind::Unknown;
        return Body::Unknown;
    }
}

// Bodies one after the other, each behind its length (2 bytes, or 1 in the compact form where
// the type is 1 byte too).
bool ReadBundle(Reader& r, bool compact, Packet& packet) {
    while (r.Left() > 0) {
        std::size_t lengthSize = compact ? 1 : 2;
        if (!r.Has(lengthSize)) {
            return false;
        }
        std::size_t length = compact ? r.U8() : r.U16();
        std::size_t typeSize = compact ? 1 : 4;
        if (length < typeSize || !r.Has(length)) {
            return false;
        }
        Reader inner(r.Take(length));
        uint32_t t = compact ? inner.U8() : inner.U32();
        if (t == type::Bundle || t == type::CompactBundle) {
            return false;
        }
        Message m;
        if (ReadBody(t, inner, m) == Body::Short) {
            return false;
        }
        packet.messages.push_back(m);
    }
    return true;
}

} // namespace

Verdict Parse(std::span<const uint8_t> data, Packet& packet) {
    packet.messages.clear();
    if (data.size() > MaxPacketSize) {
        return Verdict::Oversized;
    }
    Reader r(data);
    if (!r.Has(HeaderSize)) {
        return Verdict::Short;
    }
    uint32_t t = r.U32();
    packet.number = r.U64();
    if (t == type::Bundle || t == type::CompactBundle) {
        if (!ReadBundle(r, t == type::CompactBundle, packet)) {
            packet.messages.clear();
            return Verdict::Malformed;
        }
        return Verdict::Ok;
    }
    Message m;
    switch (ReadBody(t, r, m)) {
    case Body::Short:
        return Verdict::Short;
    case Body::Unknown:
        return Verdict::Unknown;
    case Body::Read:
        break;
    }
    packet.messages.push_back(m);
    return Verdict::Ok;
}

Bytes HandshakeReply() {
    Writer w;
    w.U8(static_cast<uint8_t>(type::Handshake));
    w.Raw(reinterpret_cast<const uint8_t*>(Greeting), GreetingSize);
    w.U8(0);
    return std::move(w.bytes);
}

Bytes HeartbeatRequest() {
    return std::move(Writer().U32(type::HeartbeatRequest).U64(0).bytes);
}

Bytes Ping(uint32_t id) {
    return std::move(Writer().U32(type::PingPong).U64(0).U32(id).bytes);
}

Bytes SensorInfoAck(uint8_t sensor, uint8_t status) {
    // The one answer without a packet number.
    return std::move(Writer().U32(type::SensorInfo).U8(sensor).U8(status).bytes);
}

Bytes ServerFeatureFlags() {
    return std::move(Writer().U32(type::FeatureFlags).U64(0).U8(0x01).bytes);
}

Bytes TrackerHandshake(const Mac& mac, const std::string& firmware) {
    Writer w;
    w.U32(type::Handshake).U64(0);
    w.U32(0).U32(0).U32(0); // board, IMU, MCU: unknown
    w.U32(0).U32(0).U32(0); // unused
    w.U32(19);              // protocol version
    std::size_t n = std::min<std::size_t>(firmware.size(), 255);
    w.U8(static_cast<uint8_t>(n));
    w.Raw(reinterpret_cast<const uint8_t*>(firmware.data()), n);
    w.Raw(mac.data(), mac.size());
    return std::move(w.bytes);
}

Bytes TrackerSensorInfo(uint64_t number, uint8_t sensor, uint8_t status) {
    return std::move(Writer().U32(type::SensorInfo).U64(number).U8(sensor).U8(status).U8(0).bytes);
}

Bytes TrackerRotation(uint64_t number, uint8_t sensor, const Quat& q) {
    Writer w;
    w.U32(type::RotationData).U64(number).U8(sensor).U8(NormalRotation);
    w.F32(q.x).F32(q.y).F32(q.z).F32(q.w).U8(0);
    return std::move(w.bytes);
}

Bytes TrackerHeartbeat(uint64_t number) {
    return std::move(Writer().U32(type::Heartbeat).U64(number).bytes);
}

Bytes TrackerPong(uint64_t number, uint32_t id) {
    return std::move(Writer().U32(type::PingPong).U64(number).U32(id).bytes);
}

Bytes TrackerBattery(uint64_t number, float volts, float fraction) {
    return std::move(Writer().U32(type::BatteryLevel).U64(number).F32(volts).F32(fraction).bytes);
}

Bytes BodyOf(const Bytes& packet) {
    if (packet.size() < HeaderSize) {
        return {};
    }
    Bytes body(packet.begin(), packet.begin() + 4);
    body.insert(body.end(), packet.begin() + HeaderSize, packet.end());
    return body;
}

Bytes TrackerBundle(uint64_t number, const std::vector<Bytes>& bodies) {
    Writer w;
    w.U32(type::Bundle).U64(number);
    for (const Bytes& b : bodies) {
        w.U16(static_cast<uint16_t>(b.size()));
        w.Raw(b.data(), b.size());
    }
    return std::move(w.bytes);
}

FromReceiver ParseFromReceiver(std::span<const uint8_t> data) {
    FromReceiver out;
    // The handshake's type is its first byte, followed by the greeting.
    if (data.size() >= 1 + GreetingSize && data[0] == type::Handshake &&
        std::memcmp(data.data() + 1, Greeting, GreetingSize) == 0) {
        out.kind = FromReceiver::Kind::Handshake;
        return out;
    }
    Reader r(data);
    if (!r.Has(4)) {
        return out;
    }
    uint32_t t = r.U32();
    if (t == type::SensorInfo) {
        out.kind = FromReceiver::Kind::SensorInfoAck;
        return out;
    }
    if (!r.Has(8)) {
        return out;
    }
    r.Skip(8);
    if (t == type::HeartbeatRequest) {
        out.kind = FromReceiver::Kind::Heartbeat;
    } else if (t == type::PingPong && r.Has(4)) {
        out.kind = FromReceiver::Kind::Ping;
        out.ping = r.U32();
    } else if (t == type::FeatureFlags) {
        out.kind = FromReceiver::Kind::FeatureFlags;
    }
    return out;
}

std::string MacText(const Mac& mac) {
    static const char* const digits = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0) {
            s += ':';
        }
        s += digits[mac[i] >> 4];
        s += digits[mac[i] & 0xf];
    }
    return s;
}

bool ParseMac(std::string_view text, Mac& mac) {
    if (text.size() != 17) {
        return false;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    for (std::size_t i = 0; i < 6; ++i) {
        int hi = nibble(text[i * 3]);
        int lo = nibble(text[i * 3 + 1]);
        if (hi < 0 || lo < 0 || (i < 5 && text[i * 3 + 2] != ':')) {
            return false;
        }
        mac[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

} // namespace telvo::trackers
