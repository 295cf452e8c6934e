// Joining the office over the UNO remote protocol and loading the host's workbook.
#pragma once

#include <string>

#include "core/error.hpp"
#include "office/session.hpp"

namespace corvane::office {

// Bootstraps the session's local runtime unless it stands already. False when there is
// no office installation to bootstrap it from. Exceptions of the runtime pass.
bool EnsureRuntime(Session& session);

// Connects to the office listening on the pipe "ooo_pipe" and makes the session's
// workbook the one its workbook path names: a workbook this session loaded before and
// the office still holds is taken up again, any other is loaded into a new frame (a
// load refused because of a provably stale lock file is retried once, without it).
// Stores the workbook and its sheets (the sheet count on the first load that has
// sheets). Ok, Connect when no office answered, Load when the office answered but the
// workbook did not load (or does not exist); a refusal of the session observer's Admit
// as it is. A connection error's diagnostic line goes to the observer's ConnectionFailed
// (standard output by default), and ends the error's message.
// Exceptions of the local runtime, before the office is asked anything, pass to the
// caller.
Error ConnectOffice(Session& session);

// The file URL of a host path: absolute (a relative path is taken against the current
// directory) and escaped, so that blanks, '#', '%' and non-ASCII names load.
std::string MakeFileUrl(const char* path);

}  // namespace corvane::office
