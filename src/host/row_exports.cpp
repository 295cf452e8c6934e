// The row operations: each finds the named sheet and has one row of it written.
#include <corvane/corvane.hpp>

#include <utility>

#include "platform/sigpipe_guard.hpp"
#include "sheet/fast_writes.hpp"
#include "sheet/record_row.hpp"
#include "sheet/record_rows.hpp"
#include "sheet/row_frame.hpp"
#include "sheet/row_reset.hpp"
#include "sheet/title_row.hpp"

using corvane::CString;
using corvane::MarketWatchRecord;

// Each name is moved into the frame, which frees it inside the library. A connection
// the office closed while a row is written fails the call; it never kills the host.

namespace {

// The titles span two lines: their row's height follows them even under fast writes.
void WriteTitlesAtFullHeight(const corvane::sheet::SheetHandle& sheet, int row) {
    const corvane::sheet::RowHeightsAdjusted adjusted;
    corvane::sheet::WriteHeaderRow(sheet, row);
}

}  // namespace

extern "C" short CorvaneSetHeaderString(CString sheet, int row) {
    const corvane::platform::SigpipeGuard guard;
    return corvane::sheet::RowOperation(std::move(sheet), row, &WriteTitlesAtFullHeight);
}

extern "C" short CorvaneInsertUpdate(CString sheet, int row, MarketWatchRecord* record) {
    const corvane::platform::SigpipeGuard guard;
    return corvane::sheet::RowOperation(std::move(sheet), row, &corvane::sheet::WriteRecordRow,
                                        static_cast<const MarketWatchRecord*>(record));
}

extern "C" short CorvaneResetRecord(CString sheet, int row) {
    const corvane::platform::SigpipeGuard guard;
    return corvane::sheet::RowOperation(std::move(sheet), row, &corvane::sheet::ClearRecordRow);
}

extern "C" short CorvaneInsertUpdateRows(CString sheet, int firstRow,
                                         const MarketWatchRecord* const* records, int count) {
    // Refused before the sheet lookup: nothing sensible can be written.
    if (count < 0 || (records == nullptr && count > 0)) return -1;
    const corvane::platform::SigpipeGuard guard;
    return corvane::sheet::RowOperation(std::move(sheet), firstRow,
                                        &corvane::sheet::WriteRecordRows, records, count);
}

extern "C" void CorvaneSetFastWrites(int enabled) {
    const corvane::platform::SigpipeGuard guard;
    corvane::sheet::SetFastWrites(enabled != 0);
}
