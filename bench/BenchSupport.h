#pragma once

// What the benchmarks share: the floor of a plain write, quantiles, clocks and a stopwatch.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace telvo::bench {

// The bytes written to a new file in 1 MiB pieces and synced, as a safe write ends; false when
// that failed.
inline bool PlainWrite(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, std::min(std::size_t{1} << 20, bytes.size() - done));
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The q-quantile (0 to 1) of the samples, 0 when there are none; reorders them.
inline double Quantile(std::vector<double>& v, double q) {
    if (v.empty()) {
        return 0.0;
    }
    auto at = v.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

// Now on the steady clock, the clock of the suits' deadlines, in nanoseconds.
inline int64_t SteadyNs() {
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// Milliseconds that work took.
template <typename Work> double MsOf(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace telvo::bench
