// Ending the connected office: its open documents (or only the library's) are closed
// unsaved, then it exits.
#pragma once

#include <string>

#include "core/error.hpp"
#include "office/session.hpp"

namespace corvane::office {

// Closes every document open in the connected office without saving and ends the
// office, waiting (up to 10 seconds) until it has closed the connection; the provider
// of an office this library started waits for its processes. The session then holds no
// workbook. Ok, NotConnected, Office when the office had gone already or refused to
// end, or Timeout. Other office exceptions pass to the caller.
Error ShutDownOffice(Session& session);

// Closes only the session's workbook, unsaved, and then ends the office as
// ShutDownOffice does when no other document is open in it. With other documents (a
// person's, in an office on a display) the office is left running with them:
// Office, `othersOpen` tells how many, and the session holds no workbook.
Error CloseWorkbookAndIdleOffice(Session& session, int& othersOpen);

}  // namespace corvane::office
