#pragma once

// Sockets on 127.0.0.1 for tests, and the one way they wait for another thread.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace telvo {

// Polls every 2 ms until done() holds or the limit has passed; whether it holds.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         !done() && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

inline sockaddr_in LoopbackAt(uint16_t port, const char* address = "127.0.0.1") {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    return at;
}

// A socket of the type (SOCK_STREAM, SOCK_DGRAM) bound to 127.0.0.1 at the port, 0 for any.
inline int BoundSocket(int type, uint16_t port = 0) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const sockaddr_in at = LoopbackAt(port);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    return fd;
}

inline uint16_t PortOf(int fd) {
    sockaddr_in at{};
    socklen_t size = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
    return ntohs(at.sin_port);
}

// A TCP connection to 127.0.0.1:port, with a receive buffer of that size when one is given; -1
// when refused.
inline int Connect(uint16_t port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in at = LoopbackAt(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace telvo
