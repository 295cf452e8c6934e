// The C API's timeouts: milliseconds, a negative one meaning "without end".
#pragma once

#include <chrono>

namespace corvane::c_api {

// The longest wait passed on for "without end": far beyond any real wait, and small
// enough that adding it to a clock's now cannot overflow.
inline constexpr std::chrono::milliseconds kWithoutEnd = std::chrono::hours(24 * 365);

// A C timeout as a duration: a negative one waits without end (as long as kWithoutEnd).
inline std::chrono::milliseconds Timeout(int ms) {
    return ms < 0 ? kWithoutEnd : std::chrono::milliseconds(ms);
}

}  // namespace corvane::c_api
