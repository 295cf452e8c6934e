// The C API's timeouts: milliseconds, a negative one meaning "without end".
#pragma once

#include <chrono>

#include "core/deadline.hpp"

namespace corvane::c_api {

// A C timeout as a duration: a negative one waits without end (as long as kWithoutEnd).
inline std::chrono::milliseconds Timeout(int ms) {
    return ms < 0 ? kWithoutEnd : std::chrono::milliseconds(ms);
}

}  // namespace corvane::c_api
