#pragma once

// The library's own bytes in a frame: Reserved4 holds the delivery sequence number, and
// Reserved712 starts with the deadline timestamp, the sample index, the suit identity and
// its frame divider, then what a suit of trackers adds. All little-endian.

#include "suitlib/SuitLib.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace telvo::sim::bytes {

static_assert(std::endian::native == std::endian::little, "frame bytes are little-endian");

constexpr std::size_t TimestampAt = 0; // in Reserved712
constexpr std::size_t SampleAt = 8;
constexpr std::size_t IdentityAt = 16;
constexpr std::size_t DividerAt = 20;
// A suit of trackers: how many rotations the frame shows for the first time, and when each
// arrived (steady-clock ns), one per sensor.
constexpr std::size_t ArrivalCountAt = 24;
constexpr std::size_t ArrivalsAt = 32;

template <typename T> void Put(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}
template <typename T> T Take(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline void Stamp(Frame& f, uint64_t sequence, int64_t timestampNs, uint64_t sample,
                  uint32_t identity, uint32_t divider) {
    Put(f.Reserved4, sequence);
    Put(f.Reserved712 + TimestampAt, timestampNs);
    Put(f.Reserved712 + SampleAt, sample);
    Put(f.Reserved712 + IdentityAt, identity);
    Put(f.Reserved712 + DividerAt, divider);
}

} // namespace telvo::sim::bytes
