// Whether the office of the current connection still answers.
#pragma once

#include <chrono>

#include "office/session.hpp"

namespace corvane::office {

// The longest the probe waits for an office when the host set no call deadline.
inline constexpr std::chrono::milliseconds kProbeTimeout{10000};

// 1 when the loaded workbook still hands out its sheets, 0 when there is no
// connection, no spreadsheet workbook, or the office does not answer within the
// session's call deadline (10 s when none is set; the connection is then cut off and
// forgotten, so that the next init connects anew). Never throws.
int ProbeOffice(Session& session) noexcept;

}  // namespace corvane::office
