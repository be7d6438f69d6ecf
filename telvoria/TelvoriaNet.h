#pragma once

// The frame server's settings and wire format, for tests and tools (the program never includes
// it). docs/protocol.md describes every byte; this header gives them names and a reader.
// Everything on the wire is little-endian.

#include "suitlib/SuitLib.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telvo::net {

constexpr uint16_t DefaultPort = 7240;
constexpr uint16_t DefaultVmcPort = 39539;
constexpr uint32_t ProtocolVersion = 1;
constexpr char Magic[4] = {'T', 'V', 'N', 'S'};

// Server to client: u32 length of what follows, u32 type, payload.
enum MessageType : uint32_t { GreetingMessage = 1, FrameMessage = 2 };
constexpr std::size_t NodeNameBytes = 32;
constexpr std::size_t GreetingNodeBytes = 4 + 12 + NodeNameBytes;
constexpr std::size_t GreetingPayloadBytes = 20 + sizeof(ActorData) + 30 * GreetingNodeBytes;
constexpr std::size_t FramePayloadBytes = 24 + sizeof(Frame) + 30 * (12 + 36);
constexpr uint32_t GreetingTokenRequired = 0x1; // greeting flags

// Client to server: u32 length L (4 to MaxCommandLength), u32 code, L - 4 bytes of argument.
enum CommandCode : uint32_t {
    CommandRecord = 1,
    CommandPlay = 2,
    CommandStop = 3,
    CommandToken = 256
};
constexpr uint32_t MaxCommandLength = 4 + 256;

// [Server] of telvoria-sim.ini:
//   Port=7240                      ; 0 to 65535; 0 takes any free port
//   Vmc=127.0.0.1:39539, 10.0.0.7  ; VMC targets: IPv4 address or localhost, optional :port
//   Token=secret                   ; clients send it before their commands count
// Host names in Vmc are never looked up (NetworkStartServer runs on the window thread).
struct ServerOptions {
    uint16_t port = DefaultPort;
    std::vector<std::string> vmcTargets;
    std::string token;
};
// These options instead of the file's for every later NetworkStartServer, until cleared.
void SetServerOptions(const ServerOptions& options);
void ClearServerOptions();
// The running server's port (0 when none runs) and its connected clients.
uint16_t ServerPort();
std::size_t ClientCount();
// Frames NetworkSendFrame could not hand over because the server thread was too far behind.
uint64_t FramesOverrun();

struct Greeting {
    uint32_t version = 0;
    uint32_t divider = 0; // 0: no frame seen yet
    uint32_t flags = 0;
    ActorData actor{};
    std::array<int32_t, SkeletonNodeCount> parent{};
    std::array<Vector, SkeletonNodeCount> offset{};
    std::array<std::string, SkeletonNodeCount> name{};
};

struct StreamFrame {
    uint64_t sequence = 0;
    int64_t sampleTimeNs = 0; // the server's real-time clock, ns since 1970
    uint32_t divider = 1;
    Frame frame{};
    std::array<Vector, SkeletonNodeCount> position{};
    std::array<Matrix, SkeletonNodeCount> orientation{};
};

// A client's reader of the server's bytes: feed what arrives, take whole messages out.
class StreamReader {
public:
    enum class Kind { None, Greeting, Frame };
    // False once the bytes break the framing; the connection is of no use after that.
    bool Feed(const void* data, std::size_t size);
    // The next whole message, decoded into one of the two; messages of unknown types are skipped.
    Kind Next(Greeting& greeting, StreamFrame& frame);

private:
    std::vector<uint8_t> buffer_;
    std::size_t start_ = 0;
    bool broken_ = false;
};

// One client command as its bytes.
std::string EncodeCommand(uint32_t code, const std::string& argument = {});

// Seconds a client's unsent data may stay queued before the server disconnects it.
constexpr int SlowClientSeconds = 3;
// Frames queued per client; beyond that the oldest unsent frame is dropped.
constexpr std::size_t ClientQueueFrames = 128;

} // namespace telvo::net
