// Blanking one market-watch row.
#pragma once

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

// Empties cells A to AP of zero-based `row` in one write of the row's value array. Only
// values change: the cells keep their formatting, and cells right of AP are untouched.
// Office errors (such as a row outside the sheet) pass to the caller, the row unchanged.
void ClearRecordRow(const SheetHandle& sheet, int row);

}  // namespace corvane::sheet
