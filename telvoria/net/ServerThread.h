#pragma once

// Inside the frame server: the ring where the frame pump hands frames to the server thread, the
// clients, and the thread's Server. Server.cpp holds its connections and commands, and its
// start and stop; ServerOutput.cpp the frames and bytes it sends; Ring.cpp the pump's side.

#include "telvoria/TelvoriaNet.h"
#include "telvoria/net/Admission.h"
#include "telvoria/net/Server.h"
#include "telvoria/net/Wire.h"
#include "telvoria/skeleton/Actor.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace telvo::net {

constexpr std::size_t RingSize = 256; // two seconds at 120 frames per second
constexpr int SendBufferBytes = 256 * 1024;
constexpr std::size_t ReadBytesPerTurn = 16 * 1024;
// Answers a client may leave unread before it is closed: it commands without listening.
constexpr std::size_t MaxQueuedAnswers = 64;
constexpr int LoopTimeoutMs = 100;
// While frames flow the server looks at the ring this often instead of being woken: a wake-up
// costs the frame pump a system call and, in a virtual machine, an interrupt to another CPU.
constexpr int64_t PollNs = 200000;
constexpr int64_t IdleAfterNs = 1000000000;
constexpr int64_t Millisecond = 1000000;

inline int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline int64_t RealNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Slot {
    Frame frame;
    uint64_t sequence;
    uint32_t divider;
};

// Where the frame pump meets the server thread. Never destroyed: a frame may arrive while the
// process ends.
struct Ring {
    std::mutex producer; // frame pumps against each other and against start and stop
    std::atomic<bool> running{false};
    // The descriptor while the server runs with no client and no VMC target: the pump then only
    // notes the divider. The program keeps its descriptor for the life of the process.
    std::atomic<const SuitDescriptorEx*> unheard{nullptr};
    std::atomic<uint32_t> divider{0};             // of the last frame handed over, for the greeting
    int wakeFd = -1;                              // under producer
    const SuitDescriptorEx* descriptor = nullptr; // under producer
    uint64_t sequence = 0;                        // under producer
    std::array<Slot, RingSize> slots;
    bool touched = false;          // under producer: every slot's pages are in memory
    std::atomic<uint64_t> head{0}; // written by the pump
    std::atomic<uint64_t> tail{0}; // written by the server thread once a slot is read
    std::atomic<bool> sleeping{false};
    std::atomic<uint64_t> overrun{0};
    std::atomic<uint64_t> encoded{0};
    std::atomic<uint16_t> port{0};
    std::atomic<std::size_t> clients{0};
};

Ring& TheRing();
// Wakes the server thread through its eventfd.
void Wake(int fd);

struct Queued {
    std::shared_ptr<const Bytes> bytes;
    bool frame; // frames may be dropped; the greeting and answers never
};

struct Client {
    int fd = -1;
    uint32_t peer = 0; // its address
    std::deque<Queued> queue;
    std::size_t sent = 0; // bytes of the front entry written
    int64_t behindSinceNs = 0;
    int64_t heardNs = 0; // the last byte from it, or its connection
    bool heard = false;
    bool watchingWrite = false;
    bool authorised = false;
    bool doomed = false;
    CommandReader reader;
};

class Server {
public:
    explicit Server(StartRequest request)
        : request_(std::move(request)), actor_(request_.descriptor->Actor),
          offsets_(body::ActorOffsets(actor_)) {}
    ~Server() {
        for (int fd : {listen_, epoll_, wake_, udp_, timer_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int Open();
    void Run();
    void RequestStop() {
        stopping_ = true;
        Wake(wake_);
    }
    void StopFromInside() { stopping_ = true; }
    bool Finished() const { return finished_; }
    int WakeFd() const { return wake_; }
    uint16_t Port() const { return port_; }
    // Someone to send frames to: a client or a VMC target.
    bool Heard() const { return heard_; }

private:
    void Accept();
    bool MakeRoomForClient();
    void Read(Client& c);
    void OnCommand(Client& c, const CommandReader::Command& command);
    void Answer(Client& c, uint32_t code, AnswerResult result);
    void ConsumeFrames();
    void Push(Client& c, std::shared_ptr<const Bytes> bytes, bool frame);
    void Flush(Client& c);
    void Watch(Client& c, bool write);
    void Close(int fd);
    void UpdateAudience();
    void CheckSlowClients(int64_t now);
    std::shared_ptr<const Bytes> GreetingBytes();

    StartRequest request_;
    ActorData actor_;
    std::array<Vector, SkeletonNodeCount> offsets_;
    int listen_ = -1;
    int epoll_ = -1;
    int wake_ = -1;
    int udp_ = -1;
    int timer_ = -1;
    bool polling_ = false; // the timer runs; the pump does not wake us
    bool heard_ = false;
    int64_t lastFrameNs_ = 0;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::map<int, std::unique_ptr<Client>> clients_;
    Admission admission_{SteadyNs()};
    uint64_t consumed_ = 0;
    std::shared_ptr<const Bytes> greeting_;
    uint32_t greetingDivider_ = UINT32_MAX;
    int64_t listenPausedUntil_ = 0;
    int64_t startNs_ = SteadyNs();
};

// The server whose thread this is; null on every other thread.
extern thread_local Server* serverOfThisThread;

} // namespace telvo::net
