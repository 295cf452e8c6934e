#include "sheet/row_reset.hpp"

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

}  // namespace corvane::sheet
