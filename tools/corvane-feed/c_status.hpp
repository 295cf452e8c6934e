// A result code of the C API as the tool's errors: the code, with the calling thread's
// last error as its words.
#pragma once

#include <corvane/corvane.h>

#include "core/error.hpp"

namespace corvane::feed {

// Ok for a code of success (zero or above); else the failure the C API recorded.
inline corvane::Error FromStatus(int status) {
    if (status >= 0) return {};
    return corvane::Error(static_cast<corvane::ErrorCode>(status), corvane_last_error());
}

}  // namespace corvane::feed
