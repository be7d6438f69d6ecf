#pragma once

// What the frame server remembers of each client address across its connections: the command
// budget that reconnecting cannot renew, the budget all clients share, and the bans that follow
// wrong tokens. Times are steady-clock nanoseconds; owned by the server's thread.

#include "telvoria/TelvoriaNet.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace telvo::net {

// Fills at a steady rate up to a burst; each command takes one.
class Bucket {
public:
    Bucket(int burst, int perSecond, int64_t now)
        : burst_(burst), perSecond_(perSecond), level_(burst), atNs_(now) {}
    bool Full(int64_t now) const { return Level(now) >= burst_; }
    bool Has(int64_t now) const { return Level(now) >= 1.0; }
    void Take(int64_t now);

private:
    double Level(int64_t now) const;
    double burst_;
    double perSecond_;
    double level_;
    int64_t atNs_;
};

class Admission {
public:
    // Addresses remembered at most; far more than MaxClients, so that an address with a
    // connection is never the one forgotten.
    static constexpr std::size_t MaxAddresses = 1024;

    explicit Admission(int64_t now) : all_(AllCommandBurst, AllCommandsPerSecond, now) {}

    // A new connection; false while the address is banned (close it at once).
    bool Connect(uint32_t address, int64_t now);
    void Disconnect(uint32_t address);
    // A token from a connection of the address, right or wrong: AnswerTokenAccepted,
    // AnswerWrongToken (which bans the address) or, while banned, AnswerBanned whatever it was.
    AnswerResult Token(uint32_t address, bool right, int64_t now);
    // A command from an authorised connection of the address: AnswerTaken or AnswerTooMany.
    AnswerResult Command(uint32_t address, int64_t now);

    std::size_t Remembered() const { return peers_.size(); }

private:
    struct Peer {
        Bucket commands;
        int64_t seenNs;
        int64_t bannedUntilNs = 0;
        int64_t lastWrongNs = 0;
        int wrongTokens = 0;
        std::size_t connections = 0;
        bool Forgettable(int64_t now) const;
    };
    Peer& At(uint32_t address, int64_t now);

    std::unordered_map<uint32_t, Peer> peers_;
    Bucket all_;
};

} // namespace telvo::net
