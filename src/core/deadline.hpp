// Deadlines and timeouts: the one way every wait of the library and its tools turns a
// duration into the time it ends, the one "without end", and the one type a timeout
// is held in.
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

// How long a wait may last: a length (zero: it does not wait), without end, or a
// setting's default, which the setting resolves with Or. The C API's millisecond values
// are turned into one at the boundary (host/c_timeout.hpp), each by its documented rule.
class Timeout {
  public:
    static constexpr Timeout WithoutEnd() { return Timeout(Kind::WithoutEnd, {}); }
    static constexpr Timeout Default() { return Timeout(Kind::Default, {}); }
    static constexpr Timeout After(std::chrono::milliseconds length) {
        return Timeout(Kind::Length, length.count() < 0 ? std::chrono::milliseconds(0) : length);
    }

    constexpr bool IsWithoutEnd() const { return kind_ == Kind::WithoutEnd; }
    constexpr bool IsDefault() const { return kind_ == Kind::Default; }
    // This timeout, or `fallback` when it is the default.
    constexpr Timeout Or(Timeout fallback) const { return IsDefault() ? fallback : *this; }
    // Its length; kWithoutEnd for one without end (or a default not resolved).
    constexpr std::chrono::milliseconds Length() const {
        return kind_ == Kind::Length ? length_ : kWithoutEnd;
    }
    // When a wait that starts now ends: the clock's end for one without end.
    SteadyClock::time_point Deadline() const {
        return kind_ == Kind::Length ? DeadlineAfter(length_) : SteadyClock::time_point::max();
    }

  private:
    enum class Kind { Length, WithoutEnd, Default };
    constexpr Timeout(Kind kind, std::chrono::milliseconds length) : kind_(kind), length_(length) {}

    Kind kind_;
    std::chrono::milliseconds length_;
};

}  // namespace corvane
