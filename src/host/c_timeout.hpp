// The C API's timeouts, in milliseconds, each turned into a Timeout by the rule its
// functions document.
#pragma once

#include <chrono>

#include "core/deadline.hpp"

namespace corvane::c_api {

// A wait (flushing, closing): a negative one waits without end, zero not at all.
inline Timeout WaitTimeout(int ms) {
    return ms < 0 ? Timeout::WithoutEnd() : Timeout::After(std::chrono::milliseconds(ms));
}

// The deadline of every call into the office (corvane_set_timeout): zero or less waits as
// long as the office takes.
inline Timeout CallTimeout(int ms) {
    return ms > 0 ? Timeout::After(std::chrono::milliseconds(ms)) : Timeout::WithoutEnd();
}

// An option of a live table's: zero or less is the option's default.
inline Timeout OptionTimeout(int ms) {
    return ms > 0 ? Timeout::After(std::chrono::milliseconds(ms)) : Timeout::Default();
}

}  // namespace corvane::c_api
