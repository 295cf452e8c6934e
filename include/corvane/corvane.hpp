// Corvane: mirrors a market watch into a spreadsheet open in a running office suite.
//
// The host loads libcorvane.so and calls the exports below from one thread at a time.
// Arguments passed by value belong to the library for the call; a record pointer is
// only borrowed for the call.
#pragma once

#include <vector>

// CString and MarketWatchRecord; installed beside this header.
#include "market_watch_record.hpp"

#if defined(CORVANE_BUILDING_LIBRARY)
#define CORVANE_API __attribute__((visibility("default")))
#else
#define CORVANE_API
#endif

extern "C" {

// Stores the configuration {office executable, office command line, workbook path}
// (further elements are ignored), starts the office unless one still answers, connects
// over the pipe "ooo_pipe" and loads the workbook. Returns the workbook's sheet count
// (recorded by the first successful connection), or -1 when the connection failed.
// A newly started office usually needs a second call once it accepts connections.
CORVANE_API short CorvaneInitFunc(std::vector<corvane::CString> config);

// 1 while the office still serves the loaded workbook, otherwise 0. Never throws.
CORVANE_API int CorvaneIsRunning();

// Row operations on the named sheet; `row` is zero-based (row 0 is the sheet's row 1).
// Each returns 1 once the sheet was found and the row written, -1 for an empty name, an
// unknown sheet or no connection. An office error while the row is written (a row
// outside the sheet, an office that went away) reaches the caller as the UNO exception.
CORVANE_API short CorvaneSetHeaderString(corvane::CString sheet, int row);
CORVANE_API short CorvaneInsertUpdate(corvane::CString sheet, int row,
                                      corvane::MarketWatchRecord* record);
CORVANE_API short CorvaneResetRecord(corvane::CString sheet, int row);

// Writes records[i] into zero-based row firstRow + i of the named sheet, for i from 0 to
// count - 1, with the conversions of CorvaneInsertUpdate, in one write per block of up
// to 1000 rows and with one sheet lookup per call. A NULL records[i] leaves that row
// exactly as it is; the other rows keep their places. Returns 1 once the sheet was
// found and the rows written (count 0: the sheet is looked up, nothing is written), and
// -1 for an empty name, an unknown sheet or no connection, and, without any office
// call, for a negative count or a NULL array with count > 0. An office error reaches
// the caller as the UNO exception, as for CorvaneInsertUpdate; when a row to be written
// lies outside the sheet, nothing is written. The records are only borrowed.
CORVANE_API short CorvaneInsertUpdateRows(corvane::CString sheet, int firstRow,
                                          const corvane::MarketWatchRecord* const* records,
                                          int count);

// Fast writes (off by default): non-zero turns the loaded workbook's undo recording and
// automatic row-height adjustment off, and keeps them off in any workbook loaded later,
// so that every write costs roughly a quarter to a third less. The price: the user cannot
// undo the library's writes, turning it on clears the workbook's undo history, and a
// record row written meanwhile keeps its height even when a text holds a line feed
// (title rows still get their full height). Zero turns back on what the library
// turned off. Office errors are not reported; writes then go on as without. Never
// throws.
CORVANE_API void CorvaneSetFastWrites(int enabled);

// The deadline for every call into the office, in milliseconds; 0 (the default) waits as
// long as the office takes. With a deadline, an export whose office call is not answered
// in time drops the connection: the row operations then raise the UNO exception
// com::sun::star::lang::DisposedException, CorvaneInitFunc returns -1,
// CorvaneIsRunning returns 0, and the next CorvaneInitFunc connects anew. The probe
// waits 10 seconds at most when no deadline is set.
CORVANE_API void CorvaneSetCallTimeout(int milliseconds);

// Where configuration warnings go ("OpenOffice Configuration Missing!" and the missing
// workbook). By default each is one line on standard error; a handler replaces that,
// and a null handler restores it. The library waits for the handler to return.
CORVANE_API void CorvaneSetWarningHandler(void (*handler)(const char* text, void* user),
                                          void* user);

}  // extern "C"
