#include "sheet/row_reset.hpp"

#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>

#include <algorithm>

#include "sheet/column_layout.hpp"
#include "sheet/row_range.hpp"

namespace corvane::sheet {

void ClearRecordRow(const SheetHandle& sheet, int row) {
    if (!sheet.is()) return;
    const rtl::OUString rangeName = RowRangeName(row);
    const css::uno::Reference<css::sheet::XCellRangeData> data = RowRangeData(sheet, rangeName);
    RowValues values = data->getDataArray();
    css::uno::Any* const cells = RowCells(values, rangeName);
    const css::uno::Any empty(rtl::OUString{});
    std::fill(cells, cells + kColumnCount, empty);
    data->setDataArray(values);
}

Error ClearRowContents(const SheetHandle& sheet, int firstRow, int count, bool rowTimes) {
    const sal_Int32 lastColumn = rowTimes ? kUpdatedColumn.index : kColumnCount - 1;
    const css::uno::Reference<css::sheet::XSheetOperation> cells(
        sheet->getCellRangeByPosition(0, firstRow, lastColumn, firstRow + count - 1),
        css::uno::UNO_QUERY);
    if (!cells.is()) return {ErrorCode::Office, "the rows cannot be emptied"};
    namespace Flags = css::sheet::CellFlags;
    cells->clearContents(Flags::VALUE | Flags::DATETIME | Flags::STRING | Flags::FORMULA);
    return {};
}

}  // namespace corvane::sheet
