#include "platform/Clock.h"

#include <time.h>

namespace telvo {

std::int64_t MonotonicNs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::uint32_t ClockMs() {
    // Truncation to 32 bits is the wrap.
    return static_cast<std::uint32_t>(MonotonicNs() / 1'000'000);
}

} // namespace telvo
