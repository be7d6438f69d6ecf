#pragma once

#include <cstdint>

namespace telvo {

// Nanoseconds on the monotonic clock (never set back, not affected by changes of the date).
std::int64_t MonotonicNs();

// Milliseconds since an arbitrary start, wrapping at 32 bits (after about 49.7 days), so
// differences of two readings are taken as unsigned 32-bit values.
std::uint32_t ClockMs();

} // namespace telvo
