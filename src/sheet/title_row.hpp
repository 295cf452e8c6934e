// The title row: the 42 column titles in pale cyan cells with blue characters.
#pragma once

#include <sal/types.h>

#include <string_view>

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

// Colours in the office's 0x00RRGGBB form.
inline constexpr sal_Int32 TitleBackColor = 0xCCFFFF;  // pale cyan background
inline constexpr sal_Int32 TitleCharColor = 0x4D66FF;  // blue characters
// A colour argument that leaves the cell's colour as it is.
inline constexpr sal_Int32 kKeepColor = -1;

// Puts `text` (host text) into the cell at zero-based `column` and `row` as the cell's
// formula, then sets the background and character colours that are not kKeepColor, the
// background first. With both colours kept the cell's properties are never asked for;
// a cell without properties keeps its colours. Office errors pass to the caller.
void WriteTitleCell(const SheetHandle& sheet, sal_Int32 column, sal_Int32 row,
                    std::string_view text, sal_Int32 backColor, sal_Int32 charColor);

// Writes the 42 titles, coloured, into zero-based `row`, one cell at a time from column
// A to AP. Nothing else in the row changes. An office error (such as a row outside the
// sheet) ends the row at that cell and passes to the caller.
void WriteHeaderRow(const SheetHandle& sheet, int row);

// WriteHeaderRow, and with `rowTimes` the row-time column's title (AQ, right of AP) in
// the same colours, written last.
void WriteTitleRow(const SheetHandle& sheet, int row, bool rowTimes);

}  // namespace corvane::sheet
