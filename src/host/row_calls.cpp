#include "host/row_calls.hpp"

#include <utility>

#include "host/session_instance.hpp"
#include "sheet/fast_writes.hpp"
#include "sheet/record_row.hpp"
#include "sheet/record_rows.hpp"
#include "sheet/row_frame.hpp"
#include "sheet/row_reset.hpp"
#include "sheet/title_row.hpp"

namespace corvane::host {

Error WriteTitles(CString sheet, int row) {
    office::Session& session = TheSession();
    // The titles span two lines: their row's height follows them even under fast writes.
    sheet::FastWrites& fastWrites = TheFastWrites();
    const auto atFullHeight = [&fastWrites](const sheet::SheetHandle& target, int at) {
        const sheet::RowHeightsAdjusted adjusted(fastWrites);
        sheet::WriteHeaderRow(target, at);
    };
    return WithinDeadline(session, [&] {
        return sheet::RowOperation(session, fastWrites, std::move(sheet), row, atFullHeight);
    });
}

Error WriteRecord(CString sheet, int row, const MarketWatchRecord* record) {
    office::Session& session = TheSession();
    return WithinDeadline(session, [&] {
        return sheet::RowOperation(session, TheFastWrites(), std::move(sheet), row,
                                   &sheet::WriteRecordRow, record);
    });
}

Error ResetRow(CString sheet, int row) {
    office::Session& session = TheSession();
    return WithinDeadline(session, [&] {
        return sheet::RowOperation(session, TheFastWrites(), std::move(sheet), row,
                                   &sheet::ClearRecordRow);
    });
}

Error WriteRecords(CString sheet, int firstRow, const MarketWatchRecord* const* records,
                   int count) {
    office::Session& session = TheSession();
    return WithinDeadline(session, [&] {
        return sheet::RowOperation(session, TheFastWrites(), std::move(sheet), firstRow,
                                   &sheet::WriteRecordRows, records, count);
    });
}

}  // namespace corvane::host
