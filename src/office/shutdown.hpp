// Ending the connected office: its open documents are closed unsaved, then it exits.
#pragma once

#include <string>

#include "office/session.hpp"
#include "office/status.hpp"

namespace corvane::office {

// Closes every document open in the connected office without saving and ends the
// office, waiting (up to 10 seconds) until it has closed the connection and, when this
// library started it, until its processes are gone. The session then holds no
// workbook. Ok, NotConnected, OfficeGone when the office had gone already, or
// OfficeError when it refused to end; `why` then says what happened. Other office
// exceptions pass to the caller.
Status ShutDownOffice(Session& session, std::string& why);

}  // namespace corvane::office
