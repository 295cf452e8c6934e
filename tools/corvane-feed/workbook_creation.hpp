// --create-workbook: the market-watch workbook made before the feed loads it.
#pragma once

#include <string>

#include "console.hpp"
#include "core/error.hpp"
#include "options.hpp"

namespace corvane::feed {

// Creates the --workbook when --create-workbook is given and it does not exist yet, with
// the sheet of --sheet, or the sheets of --sheets (default NSE and BSE) for
// --sheet-per-exchange. An office already on the pipe makes it; otherwise the --office
// program is started headless on a throw-away profile and ended again, and the feed
// then starts its office as usual.
// Fails, saying why the workbook could not be created, with the library's code: Timeout
// when the office did not answer within the call deadline.
corvane::Error CreateWorkbookIfMissing(const FeedOptions& options, Console& console);

}  // namespace corvane::feed
