#include "telvoria/net/Admission.h"

#include <algorithm>

namespace telvo::net {

namespace {

constexpr int64_t Second = 1000000000;
constexpr int64_t WrongTokenMemoryNs = 600 * Second;

} // namespace

void Bucket::Take(int64_t now) {
    level_ = Level(now) - 1.0;
    atNs_ = now;
}

double Bucket::Level(int64_t now) const {
    return std::min(burst_, level_ + static_cast<double>(now - atNs_) * 1e-9 * perSecond_);
}

bool Admission::Peer::Forgettable(int64_t now) const {
    return connections == 0 && now >= bannedUntilNs &&
           (wrongTokens == 0 || now - lastWrongNs > WrongTokenMemoryNs) && commands.Full(now);
}

Admission::Peer& Admission::At(uint32_t address, int64_t now) {
    auto it = peers_.find(address);
    if (it == peers_.end()) {
        if (peers_.size() >= MaxAddresses) {
            std::erase_if(peers_,
                          [now](const auto& entry) { return entry.second.Forgettable(now); });
        }
        if (peers_.size() >= MaxAddresses) {
            // Every entry still counts for something: forget the one seen longest ago that has
            // no connection (at most MaxClients have one).
            auto oldest = peers_.end();
            for (auto p = peers_.begin(); p != peers_.end(); ++p) {
                if (p->second.connections == 0 &&
                    (oldest == peers_.end() || p->second.seenNs < oldest->second.seenNs)) {
                    oldest = p;
                }
            }
            peers_.erase(oldest);
        }
        Peer fresh{Bucket(AddressCommandBurst, AddressCommandsPerSecond, now), now};
        it = peers_.emplace(address, fresh).first;
    }
    it->second.seenNs = now;
    return it->second;
}

bool Admission::Connect(uint32_t address, int64_t now) {
    Peer& peer = At(address, now);
    if (now < peer.bannedUntilNs) {
        return false;
    }
    ++peer.connections;
    return true;
}

void Admission::Disconnect(uint32_t address) {
    if (auto it = peers_.find(address); it != peers_.end() && it->second.connections > 0) {
        --it->second.connections;
    }
}

AnswerResult Admission::Token(uint32_t address, bool right, int64_t now) {
    Peer& peer = At(address, now);
    if (now < peer.bannedUntilNs) {
        // Not even compared: a ban that another connection could bypass would not slow guessing.
        return AnswerBanned;
    }
    if (right) {
        peer.wrongTokens = 0;
        return AnswerTokenAccepted;
    }
    if (now - peer.lastWrongNs > WrongTokenMemoryNs) {
        peer.wrongTokens = 0;
    }
    peer.wrongTokens = std::min(peer.wrongTokens + 1, 16);
    peer.lastWrongNs = now;
    peer.bannedUntilNs = now + std::min(FirstBanSeconds * Second << (peer.wrongTokens - 1),
                                        LongestBanSeconds * Second);
    return AnswerWrongToken;
}

AnswerResult Admission::Command(uint32_t address, int64_t now) {
    Peer& peer = At(address, now);
    // Reconnecting or many connections change nothing: the budget is the address's, and all
    // clients together reach the window only at a trickle.
    if (!peer.commands.Has(now) || !all_.Has(now)) {
        return AnswerTooMany;
    }
    peer.commands.Take(now);
    all_.Take(now);
    return AnswerTaken;
}

} // namespace telvo::net
