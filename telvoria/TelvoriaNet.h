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
enum MessageType : uint32_t { GreetingMessage = 1, FrameMessage = 2, AnswerMessage = 3 };
constexpr std::size_t NodeNameBytes = 32;
constexpr std::size_t GreetingNodeBytes = 4 + 12 + NodeNameBytes;
constexpr std::size_t GreetingPayloadBytes = 20 + sizeof(ActorData) + 30 * GreetingNodeBytes;
constexpr std::size_t FramePayloadBytes = 24 + sizeof(Frame) + 30 * (12 + 36);
constexpr std::size_t AnswerPayloadBytes = 8;
constexpr uint32_t GreetingTokenRequired = 0x1; // greeting flags

// Client to server: u32 length L (4 to MaxCommandLength), u32 code, L - 4 bytes of argument.
enum CommandCode : uint32_t {
    CommandRecord = 1,
    CommandPlay = 2,
    CommandStop = 3,
    CommandToken = 256
};
constexpr uint32_t MaxCommandLength = 4 + 256;
constexpr std::size_t MaxTokenLength = MaxCommandLength - 4;

// The server answers every command, in order: u32 code, u32 result.
enum AnswerResult : uint32_t {
    AnswerTaken = 0,         // handed to TelvoView
    AnswerTokenAccepted = 1, // commands count from now on
    AnswerTooMany = 2,       // dropped: too many commands from this address or from everyone
    AnswerTokenNeeded = 3,   // dropped: the server takes commands only after its token
    AnswerWrongToken = 4,    // the server closes the connection and bans the address a while
    AnswerBanned = 5,        // the address is banned after a wrong token; the server closes
};

// What reaches TelvoView from clients: per client address, whatever its connections, a burst
// and a steady rate after it; the same again across all clients together.
constexpr int AddressCommandBurst = 5;
constexpr int AddressCommandsPerSecond = 2;
constexpr int AllCommandBurst = 10;
constexpr int AllCommandsPerSecond = 5;
// A wrong token bans its address for 1 s, twice as long for each further one, at most 64 s;
// meanwhile its new connections and tokens are refused at once. Wrong tokens are forgotten after
// 10 minutes without one, or at the right token.
constexpr int FirstBanSeconds = 1;
constexpr int LongestBanSeconds = 64;
// Connected clients at most. When full, a new connection takes the place of the longest silent
// client that has not proved itself (sent the token, or without a token any byte).
constexpr std::size_t MaxClients = 256;

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
// The running server's connected clients (its port: NetworkGetServerPort).
std::size_t ClientCount();
// Frames NetworkSendFrame could not hand over because the server thread was too far behind.
uint64_t FramesOverrun();
// Frames the server has posed and encoded since the process started. Frames sent while no
// client and no VMC target listens cost nothing and are not counted.
uint64_t FramesEncoded();

struct Greeting {
    uint32_t version = 0;
    uint32_t divider = 0; // 0: no frame seen yet
    uint32_t flags = 0;
    ActorData actor{};
    std::array<int32_t, SkeletonNodeCount> parent{};
    std::array<Vector, SkeletonNodeCount> offset{};
    std::array<std::string, SkeletonNodeCount> name{};
};

struct CommandAnswer {
    uint32_t code = 0;
    uint32_t result = AnswerTaken;
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
    enum class Kind { None, Greeting, Frame, Answer };
    // False once the bytes break the framing; the connection is of no use after that.
    bool Feed(const void* data, std::size_t size);
    // The next whole message, decoded into one of the two or, for Answer, into LastAnswer();
    // messages of unknown types are skipped.
    Kind Next(Greeting& greeting, StreamFrame& frame);
    const CommandAnswer& LastAnswer() const { return answer_; }

private:
    std::vector<uint8_t> buffer_;
    CommandAnswer answer_;
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
