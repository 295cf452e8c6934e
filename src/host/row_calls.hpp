// The row operations on the one session, under its call deadline, shared by the C++
// exports and the C API. Each returns the operation's status (TimedOut when the
// deadline cut it short); other office errors pass to the caller as UNO exceptions.
#pragma once

#include <corvane/corvane.hpp>

#include "office/status.hpp"

namespace corvane::host {

office::Status WriteTitles(CString sheet, int row);
office::Status WriteRecord(CString sheet, int row, const MarketWatchRecord* record);
office::Status ResetRow(CString sheet, int row);
office::Status WriteRecords(CString sheet, int firstRow, const MarketWatchRecord* const* records,
                            int count);

}  // namespace corvane::host
