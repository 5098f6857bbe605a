#pragma once

// What every part of the probe uses: the clock (the monotonic clock in nanoseconds, which the
// stamp tool writes too) and the way out when a measurement cannot go on.

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>

namespace probe {

using Nanos = std::int64_t;
constexpr Nanos Millisecond = 1'000'000;
constexpr Nanos Second = 1'000 * Millisecond;

inline Nanos now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanos(ts.tv_sec) * Second + ts.tv_nsec;
}

inline double toMs(Nanos n)
{
    return static_cast<double>(n) / 1e6;
}

inline void sleepFor(Nanos n)
{
    if (n <= 0)
        return;
    timespec ts{static_cast<time_t>(n / Second), static_cast<long>(n % Second)};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

/// Ends the probe with `what` on standard error (exit code 2).
[[noreturn]] void fail(const std::string& what);

} // namespace probe
