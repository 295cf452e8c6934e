#include "sheet/record_row.hpp"

#include "sheet/column_layout.hpp"
#include "sheet/record_fields.hpp"
#include "sheet/row_range.hpp"

namespace corvane::sheet {

void WriteRecordRow(const SheetHandle& sheet, int row, const MarketWatchRecord* record) {
    if (record == nullptr || !sheet.is()) return;
    const rtl::OUString rangeName = RowRangeName(row);
    const css::uno::Reference<css::sheet::XCellRangeData> data = RowRangeData(sheet, rangeName);
    // The array read back only serves as the container of the new values.
    RowValues values = data->getDataArray();
    StoreRecordFields(RowCells(values, rangeName), *record);
    data->setDataArray(values);
}

}  // namespace corvane::sheet
