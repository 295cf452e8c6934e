// Deadlines: the one way every wait of the library and its tools turns a duration into
// the time it ends, and the one "without end".
#pragma once

#include <chrono>

namespace corvane {

using SteadyClock = std::chrono::steady_clock;

// The longest wait, for "without end": far beyond any real wait, and small enough that
// adding it to a clock's now cannot overflow.
inline constexpr std::chrono::milliseconds kWithoutEnd = std::chrono::hours(24 * 365);

// The time `wait` from now: now for none or a negative one, never (the clock's end) for
// one beyond the clock's range.
inline SteadyClock::time_point DeadlineAfter(SteadyClock::duration wait) {
    const SteadyClock::time_point now = SteadyClock::now();
    if (wait.count() <= 0) return now;
    if (wait >= SteadyClock::time_point::max() - now) return SteadyClock::time_point::max();
    return now + wait;
}

// The same for a wait given in seconds.
inline SteadyClock::time_point DeadlineAfterSeconds(double seconds) {
    const std::chrono::duration<double> wait(seconds);
    const std::chrono::duration<double> left = SteadyClock::time_point::max() - SteadyClock::now();
    if (wait >= left) return SteadyClock::time_point::max();
    return DeadlineAfter(std::chrono::duration_cast<SteadyClock::duration>(wait));
}

}  // namespace corvane
