#pragma once

// Bytes of the frame server's protocol on the library's side: the messages it sends and the
// reader of what clients send.

#include "telvoria/TelvoriaNet.h"
#include "telvoria/skeleton/Solver.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace telvo::net {

using Bytes = std::vector<uint8_t>;

// Whole messages, length prefix included.
Bytes EncodeGreeting(uint32_t divider, uint32_t flags, const ActorData& actor,
                     const std::array<Vector, SkeletonNodeCount>& offsets);
Bytes EncodeFrame(uint64_t sequence, int64_t sampleTimeNs, uint32_t divider, const Frame& frame,
                  const body::Pose& pose);
Bytes EncodeAnswer(uint32_t code, uint32_t result);

// Splits a client's bytes into commands. Bytes that break the framing (a length outside
// 4 to MaxCommandLength) end the reading for good.
class CommandReader {
public:
    struct Command {
        uint32_t code = 0;
        std::string_view argument; // valid until the next Feed
    };
    // Calls take(command) for every whole command in order; false once the framing is broken.
    template <typename Take> bool Feed(const uint8_t* data, std::size_t size, Take&& take) {
        if (broken_) {
            return false;
        }
        while (size > 0) {
            std::size_t n = Fill(data, size);
            data += n;
            size -= n;
            if (broken_) {
                return false;
            }
            if (Complete()) {
                take(Current());
                have_ = 0;
            }
        }
        return true;
    }

private:
    std::size_t Fill(const uint8_t* data, std::size_t size);
    bool Complete() const;
    Command Current() const;

    uint8_t bytes_[4 + MaxCommandLength];
    std::size_t have_ = 0;
    bool broken_ = false;
};

} // namespace telvo::net
