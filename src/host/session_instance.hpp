// The library's one office session, built when the library is loaded and torn down when
// it is unloaded, and the calls that every entry point shares.
#pragma once

#include <com/sun/star/lang/DisposedException.hpp>

#include <exception>
#include <utility>

#include "office/session.hpp"
#include "office/status.hpp"

namespace corvane::host {

class LiveHandles;

// The one session of this loaded library.
office::Session& TheSession();

// The live tables this loaded library has handed out and not closed.
LiveHandles& TheLiveTables();

// Starts the office unless one answers (when `launch`), then connects and loads the
// session's workbook within the session's call deadline. TimedOut when the deadline
// cut the attempt short.
office::Status StartAndConnect(office::Session& session, bool launch);

// Runs `operation()`, which returns a Status, under the session's call deadline. When
// the deadline passed, the result is TimedOut whatever the operation returned or
// raised; other exceptions pass to the caller.
template <typename Operation>
office::Status WithinDeadline(office::Session& session, Operation&& operation) {
    office::CallDeadline deadline(session);
    office::Status status = office::Status::Ok;
    try {
        status = operation();
    } catch (...) {
        if (deadline.TimedOut()) return office::Status::TimedOut;
        throw;
    }
    return deadline.TimedOut() ? office::Status::TimedOut : status;
}

// The exception by which the C++ exports report a call that ran past the deadline.
[[noreturn]] void ThrowTimedOut(const office::Session& session);

}  // namespace corvane::host
