// The library's defaults and a sheet's limits, for the C API, the live table, its office
// sink and the tool alike.
#pragma once

namespace corvane::defaults {

// Deadline of one office call.
inline constexpr int kCallTimeoutMs = 5000;
// Deadlines of loading a workbook and of storing a copy of it.
inline constexpr int kLoadTimeoutMs = 120000;
inline constexpr int kSaveTimeoutMs = 120000;
// Least time between two writes of a live table's changed rows.
inline constexpr int kLiveIntervalMs = 100;
// Deadline of connecting to a NATS server and of one call on its bucket.
inline constexpr int kBusConnectTimeoutMs = 2000;
// Least time between two writes of corvane-feed's changed rows.
inline constexpr int kFeedIntervalMs = 250;
// Most rows written by one office call.
inline constexpr int kMaxBlockRows = 1000;
// Rows of a sheet (zero-based rows 0 to kSheetRows - 1).
inline constexpr int kSheetRows = 1048576;

}  // namespace corvane::defaults
