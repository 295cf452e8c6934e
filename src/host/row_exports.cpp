// The row operations: each finds the named sheet and has one row of it written.
#include <corvane/corvane.hpp>

#include <utility>

#include "sheet/record_row.hpp"
#include "sheet/row_frame.hpp"
#include "sheet/row_reset.hpp"
#include "sheet/title_row.hpp"

using corvane::CString;
using corvane::MarketWatchRecord;

// Each name is moved into the frame, which frees it inside the library.

extern "C" short CorvaneSetHeaderString(CString sheet, int row) {
    return corvane::sheet::RowOperation(std::move(sheet), row, &corvane::sheet::WriteHeaderRow);
}

extern "C" short CorvaneInsertUpdate(CString sheet, int row, MarketWatchRecord* record) {
    return corvane::sheet::RowOperation(std::move(sheet), row, &corvane::sheet::WriteRecordRow,
                                        static_cast<const MarketWatchRecord*>(record));
}

extern "C" short CorvaneResetRecord(CString sheet, int row) {
    return corvane::sheet::RowOperation(std::move(sheet), row, &corvane::sheet::ClearRecordRow);
}
