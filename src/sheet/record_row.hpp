// One market-watch record written into one sheet row.
#pragma once

#include "corvane/market_watch_record.hpp"

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

// Writes the record's 42 fields into cells A to AP of zero-based `row`, in one write of
// the row's value array: Text columns as text, Integer and Real columns as numbers (an
// empty field leaves an empty cell). A null record writes nothing. Office errors (such
// as a row outside the sheet) pass to the caller; the row is unchanged unless the final
// write itself failed.
void WriteRecordRow(const SheetHandle& sheet, int row, const MarketWatchRecord* record);

}  // namespace corvane::sheet
