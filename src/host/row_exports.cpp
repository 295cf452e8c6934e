// The row operations: each finds the named sheet and has one row of it written.
#include <corvane/corvane.hpp>

#include <utility>

#include "host/row_calls.hpp"
#include "host/session_instance.hpp"
#include "platform/sigpipe_guard.hpp"
#include "sheet/fast_writes.hpp"

using corvane::CString;
using corvane::Error;
using corvane::ErrorCode;
using corvane::MarketWatchRecord;

// Each name is moved into the frame, which frees it inside the library. A connection
// the office closed while a row is written fails the call; it never kills the host.

namespace {

// 1 once written, -1 for an empty name, an unknown sheet or no connection; a call cut
// short by the deadline raises, as any office error does.
short ExportResult(const Error& status) {
    if (status == ErrorCode::Timeout) corvane::host::ThrowTimedOut(status);
    return status.ok() ? 1 : -1;
}

}  // namespace

extern "C" short CorvaneSetHeaderString(CString sheet, int row) {
    const corvane::platform::SigpipeGuard guard;
    return ExportResult(corvane::host::WriteTitles(std::move(sheet), row));
}

extern "C" short CorvaneInsertUpdate(CString sheet, int row, MarketWatchRecord* record) {
    const corvane::platform::SigpipeGuard guard;
    return ExportResult(corvane::host::WriteRecord(std::move(sheet), row, record));
}

extern "C" short CorvaneResetRecord(CString sheet, int row) {
    const corvane::platform::SigpipeGuard guard;
    return ExportResult(corvane::host::ResetRow(std::move(sheet), row));
}

extern "C" short CorvaneInsertUpdateRows(CString sheet, int firstRow,
                                         const MarketWatchRecord* const* records, int count) {
    // Refused before the sheet lookup: nothing sensible can be written.
    if (count < 0 || (records == nullptr && count > 0)) return -1;
    const corvane::platform::SigpipeGuard guard;
    return ExportResult(corvane::host::WriteRecords(std::move(sheet), firstRow, records, count));
}

extern "C" void CorvaneSetFastWrites(int enabled) {
    const corvane::platform::SigpipeGuard guard;
    corvane::office::Session& session = corvane::host::TheSession();
    // Switching settings is office calls too: bounded like every other.
    corvane::host::WithinDeadline(session, [&] {
        corvane::host::TheFastWrites().Set(session.Workbook(), enabled != 0);
        return Error();
    });
}
