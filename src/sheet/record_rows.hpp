// Consecutive market-watch records written into consecutive sheet rows, block by block.
#pragma once

#include "core/defaults.hpp"
#include "corvane/market_watch_record.hpp"

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

// The most rows that one write of a value array carries. Larger blocks gain nothing
// per row and only hold more memory on both sides of the connection.
inline constexpr int kMaxBlockRows = defaults::kMaxBlockRows;

// Writes records[i] into zero-based row firstRow + i, for i from 0 to count - 1, with
// the conversions of WriteRecordRow, in one write of a value array per block of at most
// kMaxBlockRows consecutive records. A null record leaves its row exactly as it is
// (formulas included): the records on either side go out as separate blocks, and
// nothing is read back. Rows from the first to the last non-null record are looked up
// as one range before anything is written, so a row outside the sheet raises the
// office's error with nothing written. An office error in a later block leaves the
// earlier blocks written. No non-null record, or count <= 0: no office call at all.
void WriteRecordRows(const SheetHandle& sheet, int firstRow,
                     const MarketWatchRecord* const* records, int count);

}  // namespace corvane::sheet
