// A block of consecutive rows written in one value array, from the texts of the rows'
// fields: the C API's batched records and the live table's rows go out this one way.
#pragma once

#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include "corvane/market_watch_record.hpp"

#include <array>
#include <chrono>
#include <string_view>
#include <utility>
#include <vector>

#include "sheet/row_range.hpp"

namespace corvane::sheet {

// One row's field texts, by field number as in a record, and when they were taken.
struct FieldRow {
    std::array<std::string_view, kColumnCount> fields{};
    // For the row-time column: the epoch for a row never taken, which empties the cell.
    std::chrono::system_clock::time_point taken{};
};

// The value array of a block: for each row its cells from zero-based `firstColumn` to
// AP, each converted as StoreRecordFields converts it, and with `rowTimes` the row's
// time as the office's local serial date-time in the row-time column right of AP.
// Asks nothing of the office: the values can be made before the office is called.
RowValues BlockValues(const std::vector<FieldRow>& rows, int firstColumn, bool rowTimes);

// The cells of a block's rows converted once, as BlockValues converts them, for value
// arrays of any of their columns: a block written in several ranges converts each field
// once. Asks nothing of the office.
class BlockCells {
  public:
    BlockCells(const std::vector<FieldRow>& rows, bool rowTimes);
    // Only the columns of `spans` (zero-based first and last, as for Columns) are
    // converted, for a block that writes no others.
    BlockCells(const std::vector<FieldRow>& rows, bool rowTimes,
               const std::vector<std::pair<int, int>>& spans);
    // The value array of zero-based columns `first` to `last` (up to AP, or to the
    // row-time column with rowTimes) of every row; within the spans converted.
    RowValues Columns(int first, int last) const;

  private:
    std::vector<std::array<css::uno::Any, kColumnCount + 1>> cells_;
};

// Writes `values` into `range`, which spans exactly their rows and columns, in one write
// of a value array. False, with nothing written, when there is no range or it takes no
// value array; office errors (a shape other than the range's) pass to the caller.
bool WriteValueBlock(const css::uno::Reference<css::table::XCellRange>& range,
                     const RowValues& values);

}  // namespace corvane::sheet
