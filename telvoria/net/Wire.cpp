#include "telvoria/net/Wire.h"

#include "telvoria/skeleton/Body.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace telvo::net {

static_assert(std::endian::native == std::endian::little, "the wire is little-endian");
static_assert(sizeof(Vector) == 12 && sizeof(Matrix) == 36);

namespace {

class Writer {
public:
    explicit Writer(std::size_t payload, uint32_t type) : bytes_(8 + payload) {
        Put(static_cast<uint32_t>(4 + payload));
        Put(type);
    }
    template <typename T> void Put(const T& value) { Raw(&value, sizeof value); }
    void Raw(const void* data, std::size_t size) {
        std::memcpy(bytes_.data() + at_, data, size);
        at_ += size;
    }
    Bytes Take() { return std::move(bytes_); }

private:
    Bytes bytes_;
    std::size_t at_ = 0;
};

template <typename T> T Get(const uint8_t*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

// Lengths a server could send: the largest message this version knows, with room to grow.
constexpr uint32_t MaxServerMessage = 1u << 20;

} // namespace

Bytes EncodeGreeting(uint32_t divider, uint32_t flags, const ActorData& actor,
                     const std::array<Vector, SkeletonNodeCount>& offsets) {
    Writer w(GreetingPayloadBytes, GreetingMessage);
    w.Raw(Magic, sizeof Magic);
    w.Put(ProtocolVersion);
    w.Put(divider);
    w.Put(flags);
    w.Put(static_cast<uint32_t>(SkeletonNodeCount));
    w.Put(actor);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        w.Put(static_cast<int32_t>(body::Parent[static_cast<std::size_t>(i)]));
        w.Put(offsets[static_cast<std::size_t>(i)]);
        char name[NodeNameBytes] = {};
        std::strncpy(name, body::NodeNames[static_cast<std::size_t>(i)], sizeof name - 1);
        w.Raw(name, sizeof name);
    }
    return w.Take();
}

Bytes EncodeFrame(uint64_t sequence, int64_t sampleTimeNs, uint32_t divider, const Frame& frame,
                  const body::Pose& pose) {
    Writer w(FramePayloadBytes, FrameMessage);
    w.Put(sequence);
    w.Put(sampleTimeNs);
    w.Put(divider);
    w.Put(static_cast<uint32_t>(SkeletonNodeCount));
    w.Put(frame);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        w.Put(pose.position[static_cast<std::size_t>(i)]);
        w.Put(pose.orientation[static_cast<std::size_t>(i)]);
    }
    return w.Take();
}

Bytes EncodeAnswer(uint32_t code, uint32_t result) {
    Writer w(AnswerPayloadBytes, AnswerMessage);
    w.Put(code);
    w.Put(result);
    return w.Take();
}

std::size_t CommandReader::Fill(const uint8_t* data, std::size_t size) {
    std::size_t want = 4;
    if (have_ >= 4) {
        uint32_t length;
        std::memcpy(&length, bytes_, 4);
        if (length < 4 || length > MaxCommandLength) {
            broken_ = true;
            return size;
        }
        want = 4 + length;
    }
    std::size_t n = std::min(size, want - have_);
    std::memcpy(bytes_ + have_, data, n);
    have_ += n;
    if (have_ == 4) {
        uint32_t length;
        std::memcpy(&length, bytes_, 4);
        broken_ = length < 4 || length > MaxCommandLength;
    }
    return n;
}

bool CommandReader::Complete() const {
    if (have_ < 8) {
        return false;
    }
    uint32_t length;
    std::memcpy(&length, bytes_, 4);
    return have_ == 4 + length;
}

CommandReader::Command CommandReader::Current() const {
    Command command;
    std::memcpy(&command.code, bytes_ + 4, 4);
    command.argument = std::string_view(reinterpret_cast<const char*>(bytes_ + 8), have_ - 8);
    return command;
}

bool StreamReader::Feed(const void* data, std::size_t size) {
    if (broken_) {
        return false;
    }
    if (start_ > 0 && (start_ == buffer_.size() || start_ > (1u << 16))) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

StreamReader::Kind StreamReader::Next(Greeting& greeting, StreamFrame& frame) {
    while (!broken_ && buffer_.size() - start_ >= 8) {
        const uint8_t* at = buffer_.data() + start_;
        auto length = Get<uint32_t>(at);
        auto type = Get<uint32_t>(at);
        if (length < 4 || length > MaxServerMessage) {
            broken_ = true;
            break;
        }
        if (buffer_.size() - start_ < 4 + std::size_t{length}) {
            break;
        }
        const std::size_t payload = length - 4;
        start_ += 4 + std::size_t{length};
        if (type == GreetingMessage && payload >= GreetingPayloadBytes &&
            std::memcmp(at, Magic, sizeof Magic) == 0) {
            at += sizeof Magic;
            greeting.version = Get<uint32_t>(at);
            greeting.divider = Get<uint32_t>(at);
            greeting.flags = Get<uint32_t>(at);
            broken_ = Get<uint32_t>(at) != SkeletonNodeCount;
            greeting.actor = Get<ActorData>(at);
            for (int i = 0; i < SkeletonNodeCount && !broken_; ++i) {
                auto n = static_cast<std::size_t>(i);
                greeting.parent[n] = Get<int32_t>(at);
                greeting.offset[n] = Get<Vector>(at);
                greeting.name[n].assign(reinterpret_cast<const char*>(at),
                                        strnlen(reinterpret_cast<const char*>(at), NodeNameBytes));
                at += NodeNameBytes;
            }
            return broken_ ? Kind::None : Kind::Greeting;
        }
        if (type == FrameMessage && payload >= FramePayloadBytes) {
            frame.sequence = Get<uint64_t>(at);
            frame.sampleTimeNs = Get<int64_t>(at);
            frame.divider = Get<uint32_t>(at);
            broken_ = Get<uint32_t>(at) != SkeletonNodeCount;
            frame.frame = Get<Frame>(at);
            for (int i = 0; i < SkeletonNodeCount; ++i) {
                frame.position[static_cast<std::size_t>(i)] = Get<Vector>(at);
                frame.orientation[static_cast<std::size_t>(i)] = Get<Matrix>(at);
            }
            return broken_ ? Kind::None : Kind::Frame;
        }
        if (type == AnswerMessage && payload >= AnswerPayloadBytes) {
            answer_.code = Get<uint32_t>(at);
            answer_.result = Get<uint32_t>(at);
            return Kind::Answer;
        }
        if (type == GreetingMessage || type == FrameMessage || type == AnswerMessage) {
            broken_ = true; // a known message too short for what it must hold
        }
    }
    return Kind::None;
}

std::string EncodeCommand(uint32_t code, const std::string& argument) {
    std::size_t size = std::min<std::size_t>(argument.size(), MaxCommandLength - 4);
    auto length = static_cast<uint32_t>(4 + size);
    std::string bytes(8 + size, '\0');
    std::memcpy(bytes.data(), &length, 4);
    std::memcpy(bytes.data() + 4, &code, 4);
    std::memcpy(bytes.data() + 8, argument.data(), size);
    return bytes;
}

} // namespace telvo::net
