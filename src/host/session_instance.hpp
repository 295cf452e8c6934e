// The library's one office session, built when the library is loaded and torn down when
// it is unloaded, and the calls that every entry point shares.
#pragma once

#include <com/sun/star/lang/DisposedException.hpp>

#include <chrono>
#include <exception>
#include <string>
#include <utility>

#include "core/error.hpp"
#include "office/office_provider.hpp"
#include "office/session.hpp"
#include "sheet/fast_writes.hpp"

namespace corvane::host {

class LiveHandles;

// The one session of this loaded library.
office::Session& TheSession();

// The fast writes of the session's workbook.
sheet::FastWrites& TheFastWrites();

// Gives the session the host's office program, its command line and the workbook; the
// call timeout the host set stays.
void ConfigureOffice(office::Session& session, std::string officePath, std::string commandLine,
                     std::string workbookPath);

// Keeps the session's connection attempts' diagnostic lines off standard output while
// it lives: C callers get them in the error's text instead.
class QuietConnection {
  public:
    QuietConnection();
    ~QuietConnection();
    QuietConnection(const QuietConnection&) = delete;
    QuietConnection& operator=(const QuietConnection&) = delete;
};

// The live tables this loaded library has handed out and not closed.
LiveHandles& TheLiveTables();

// Where the session's offices come from: the office on the pipe, or one started for the
// host that runs on after it.
office::OfficeProvider& TheOffices();

// How the host asks for its office.
struct OfficeRequest {
    bool launch = false;          // start the configured office unless one answers
    bool scratchProfile = false;  // launch: headless, on a throw-away profile
    // How long an office that does not accept yet is waited for (tried again every
    // 250 ms); zero: one attempt.
    std::chrono::milliseconds wait{0};
};

// Starts the office unless one answers (when asked to), then connects and loads the
// session's workbook, each attempt within the session's call deadline, until the
// request's wait is over. Timeout when the deadline cut the last attempt short.
Error StartAndConnect(office::Session& session, const OfficeRequest& request);

// Runs `operation()`, which returns an Error, under the session's call deadline. When
// the deadline passed, the result is Timeout whatever the operation returned or
// raised; other exceptions pass to the caller.
template <typename Operation>
Error WithinDeadline(office::Session& session, Operation&& operation) {
    office::CallDeadline deadline(session);
    Error status;
    try {
        status = operation();
    } catch (...) {
        if (deadline.TimedOut()) return deadline.Expired();
        throw;
    }
    return deadline.TimedOut() ? deadline.Expired() : status;
}

// The exception by which the C++ exports report a call that ran past the deadline.
[[noreturn]] void ThrowTimedOut(const Error& timedOut);

}  // namespace corvane::host
