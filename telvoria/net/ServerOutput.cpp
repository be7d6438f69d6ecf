// What the server thread sends: the greeting, each frame posed and encoded once for every
// client's bounded queue and the VMC targets, and the clients that fall behind.
#include "telvoria/net/ServerThread.h"

#include "telvoria/net/Vmc.h"
#include "telvoria/sim/FrameBytes.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace telvo::net {

std::shared_ptr<const Bytes> Server::GreetingBytes() {
    uint32_t divider = TheRing().divider.load(std::memory_order_relaxed);
    if (!greeting_ || greetingDivider_ != divider) {
        uint32_t flags = request_.token.empty() ? 0 : GreetingTokenRequired;
        greeting_ = std::make_shared<const Bytes>(EncodeGreeting(divider, flags, actor_, offsets_));
        greetingDivider_ = divider;
    }
    return greeting_;
}

void Server::ConsumeFrames() {
    Ring& ring = TheRing();
    uint64_t head = ring.head.load(std::memory_order_acquire);
    while (consumed_ < head && !stopping_) {
        const Slot& slot = ring.slots[consumed_ % RingSize];
        if (clients_.empty() && udp_ < 0) {
            ring.tail.store(++consumed_, std::memory_order_release); // the last listener left
            continue;
        }
        body::Pose pose;
        body::Solve(offsets_, slot.frame.RawMatrices, slot.frame.RootPosition, pose);
        int64_t stamp = sim::bytes::Take<int64_t>(slot.frame.Reserved712 + sim::bytes::TimestampAt);
        int64_t steady = SteadyNs();
        if (stamp <= 0 || stamp > steady) {
            stamp = steady; // not a time of this machine's clock
        }
        lastFrameNs_ = steady;
        auto bytes = std::make_shared<const Bytes>(EncodeFrame(
            slot.sequence, stamp + (RealNs() - steady), slot.divider, slot.frame, pose));
        ring.encoded.fetch_add(1, std::memory_order_relaxed);
        ring.tail.store(++consumed_, std::memory_order_release);
        for (auto it = clients_.begin(); it != clients_.end();) {
            Client& c = *it->second;
            ++it;
            Push(c, bytes, true);
            Flush(c);
            if (c.doomed) {
                Close(c.fd);
            }
        }
        if (udp_ >= 0) {
            float seconds = static_cast<float>(static_cast<double>(steady - startNs_) * 1e-9);
            for (const Bytes& bundle : vmc::EncodePose(pose, offsets_, seconds)) {
                for (const sockaddr_in& to : request_.vmc) {
                    ::sendto(udp_, bundle.data(), bundle.size(), MSG_DONTWAIT,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
                }
            }
        }
    }
}

void Server::Push(Client& c, std::shared_ptr<const Bytes> bytes, bool frame) {
    if (frame && c.queue.size() >= ClientQueueFrames) {
        // Drop the oldest frame not yet begun; the client sees the gap in the sequence.
        for (auto it = c.queue.begin(); it != c.queue.end(); ++it) {
            if (it->frame && !(it == c.queue.begin() && c.sent > 0)) {
                c.queue.erase(it);
                break;
            }
        }
    }
    c.queue.push_back({std::move(bytes), frame});
}

void Server::Flush(Client& c) {
    while (!c.queue.empty()) {
        std::array<iovec, 64> parts;
        std::size_t k = 0;
        for (auto it = c.queue.begin(); it != c.queue.end() && k < parts.size(); ++it, ++k) {
            std::size_t skip = k == 0 ? c.sent : 0;
            parts[k].iov_base = const_cast<uint8_t*>(it->bytes->data() + skip);
            parts[k].iov_len = it->bytes->size() - skip;
        }
        msghdr message{};
        message.msg_iov = parts.data();
        message.msg_iovlen = k;
        ssize_t n = ::sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            c.doomed = c.doomed || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        auto left = static_cast<std::size_t>(n);
        while (left > 0) {
            std::size_t rest = c.queue.front().bytes->size() - c.sent;
            if (left < rest) {
                c.sent += left;
                break;
            }
            left -= rest;
            c.sent = 0;
            c.queue.pop_front();
        }
    }
    if (c.queue.empty()) {
        c.behindSinceNs = 0;
    } else if (c.behindSinceNs == 0) {
        c.behindSinceNs = SteadyNs();
    }
    Watch(c, !c.queue.empty());
}

void Server::Watch(Client& c, bool write) {
    if (c.watchingWrite == write || c.doomed) {
        return;
    }
    epoll_event e{};
    e.events = EPOLLIN | (write ? EPOLLOUT : 0u);
    e.data.fd = c.fd;
    c.doomed = ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &e) != 0;
    c.watchingWrite = write;
}

void Server::Close(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) {
        return;
    }
    // Bytes left unread would turn the close into a reset, which may destroy the last answer.
    uint8_t rest[4096];
    for (int i = 0; i < 16 && ::recv(fd, rest, sizeof rest, MSG_DONTWAIT) > 0; ++i) {
    }
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    admission_.Disconnect(it->second->peer);
    clients_.erase(it);
    TheRing().clients = clients_.size();
    UpdateAudience();
}

void Server::UpdateAudience() {
    bool heard = !clients_.empty() || udp_ >= 0;
    if (heard == heard_) {
        return;
    }
    heard_ = heard;
    Ring& ring = TheRing();
    std::lock_guard lock(ring.producer);
    if (ring.running) {
        ring.unheard.store(heard ? nullptr : ring.descriptor, std::memory_order_relaxed);
    }
}

void Server::CheckSlowClients(int64_t now) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        Client& c = *it->second;
        ++it;
        if (c.behindSinceNs != 0 &&
            now - c.behindSinceNs > SlowClientSeconds * 1000 * Millisecond) {
            Close(c.fd);
        }
    }
    if (listenPausedUntil_ != 0 && now >= listenPausedUntil_) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = listen_;
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listen_, &e);
        listenPausedUntil_ = 0;
    }
}

} // namespace telvo::net
