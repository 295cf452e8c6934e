// Whether the office of the current connection still answers.
#pragma once

namespace corvane::office {

// 1 when the loaded workbook still hands out its sheets, 0 when there is no
// connection, no spreadsheet workbook, or the office does not answer. Never throws and
// changes nothing.
int ProbeOffice() noexcept;

}  // namespace corvane::office
