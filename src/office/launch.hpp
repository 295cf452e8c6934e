// Making sure an office is running before the library connects to it.
#pragma once

#include "office/session.hpp"

namespace corvane::office {

// Completes the command line with its default, warns about a missing configuration or
// workbook, keeps an office that still answers, and otherwise starts the configured
// office without waiting for it to accept connections, keeping its process id.
void LaunchOffice(Session& session);

}  // namespace corvane::office
