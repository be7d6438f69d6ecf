#pragma once

// The frame server: one thread with an epoll loop owns every socket. The frame pump only puts
// each frame into a ring and wakes that thread, which poses it once, encodes it once and hands
// the same bytes to every client's bounded queue (and to the VMC targets). With no client and no
// VMC target the pump only notes the frame divider, and the thread sleeps.

#include "suitlib/SuitLib.h"

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

namespace telvo::net {

struct StartRequest {
    uint32_t address = 0; // as in sin_addr.s_addr
    uint16_t port = 0;
    std::vector<sockaddr_in> vmc;
    std::string token;
    const SuitDescriptorEx* descriptor = nullptr;
    NetworkCommandCallback command = nullptr;
};

// Status results of NetworkStartServer.
enum Status : int {
    StatusOk = 0,
    StatusBadArguments = 3,
    StatusAlreadyRunning = 4,
    StatusTokenTooLong = 5,
    StatusInvalidSocket = 10,
    StatusBindError = 11,
    StatusSystemError = 12,
    StatusOutOfMemory = 17,
    StatusNoThread = 18,
};

// A failure also leaves its reason in files::LastProblem() on the calling thread.
int StartServer(const StartRequest& request);
// Closes every client and ends the thread. From the remote-command callback it only asks the
// thread to end once the callback has returned.
void StopServer();
void SendFrame(const Frame& frame);

uint16_t RunningPort();
std::size_t RunningClients();
uint64_t Overruns();
uint64_t Encoded();

} // namespace telvo::net
