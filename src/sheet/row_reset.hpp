// Blanking one market-watch row.
#pragma once

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

// Empties cells A to AP of zero-based `row` in one write of the row's value array. Only
// values change: the cells keep their formatting, and cells right of AP are untouched.
// Office errors (such as a row outside the sheet) pass to the caller, the row unchanged.
void ClearRecordRow(const SheetHandle& sheet, int row);

// Empties the values, texts and formulas of `count` rows from zero-based `firstRow`, in
// columns A to AP and with `rowTimes` the row-time column too, in one call; formats stay.
// Office when the office gives a range that cannot be emptied; other office errors pass
// to the caller.
Error ClearRowContents(const SheetHandle& sheet, int firstRow, int count, bool rowTimes);

}  // namespace corvane::sheet
