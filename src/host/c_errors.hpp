// The C boundary's error reporting: the calling thread's last error, and the
// translation of every exception into a C result code, so that none leaves the C API.
#pragma once

#include <corvane/corvane.h>

#include <exception>
#include <new>
#include <string>

#include "core/error.hpp"
#include "platform/sigpipe_guard.hpp"

namespace corvane::c_api {

// The calling thread's description of its last failure; "" before the first one.
const char* LastError() noexcept;

// The code that went with the calling thread's last failure; CORVANE_OK before the first.
int LastErrorCode() noexcept;

// Records `text` and `code` as the thread's last error and returns `code`.
int Fail(int code, const std::string& text) noexcept;

// The C result of `error`: CORVANE_OK for success (the last error is left as it was),
// else its code, which with its message becomes the thread's last error.
int Report(const Error& error) noexcept;

// Turns the exception being handled into a result code and a last error: a UNO
// exception becomes `officeCode` with its type name and message, anything else
// CORVANE_E_INTERNAL. Call only from within a catch block.
int FailFromCurrentException(int officeCode = CORVANE_E_OFFICE) noexcept;

// Runs `body`, which returns a result code, and turns whatever it throws into one: a
// UNO exception into `officeCode`.
template <typename Body>
int Guarded(Body&& body, int officeCode = CORVANE_E_OFFICE) noexcept {
    const platform::SigpipeGuard guard;
    try {
        return body();
    } catch (...) {
        return FailFromCurrentException(officeCode);
    }
}

}  // namespace corvane::c_api
