// The row operations on the one session, under its call deadline, shared by the C++
// exports and the C API. Each returns the operation's status (Timeout when the
// deadline cut it short); other office errors pass to the caller as UNO exceptions.
#pragma once

#include <corvane/corvane.hpp>

#include "core/error.hpp"

namespace corvane::host {

Error WriteTitles(CString sheet, int row);
Error WriteRecord(CString sheet, int row, const MarketWatchRecord* record);
Error ResetRow(CString sheet, int row);
Error WriteRecords(CString sheet, int firstRow, const MarketWatchRecord* const* records, int count);

}  // namespace corvane::host
