#include "sheet/row_block.hpp"

#include <com/sun/star/sheet/XCellRangeData.hpp>

#include "platform/scratch_files.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/record_fields.hpp"

namespace corvane::sheet {

// The row times sit right of AP.
static_assert(kUpdatedColumn.index == kColumnCount);

RowValues BlockValues(const std::vector<FieldRow>& rows, int firstColumn, bool rowTimes) {
    const sal_Int32 columns = rowTimes ? kUpdatedColumn.index + 1 : kColumnCount;
    RowValues values(static_cast<sal_Int32>(rows.size()));
    css::uno::Sequence<css::uno::Any>* const out = values.getArray();
    // Every column is made, of which the ones from firstColumn go.
    css::uno::Any cells[kColumnCount + 1];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        StoreRecordFields(cells, rows[i].fields.data());
        if (rowTimes) {
            const auto taken = rows[i].taken;
            if (taken == std::chrono::system_clock::time_point())
                cells[kUpdatedColumn.index] <<= rtl::OUString();
            else
                cells[kUpdatedColumn.index] <<= platform::LocalSerialTime(taken);
        }
        out[i] = css::uno::Sequence<css::uno::Any>(cells + firstColumn, columns - firstColumn);
    }
    return values;
}

bool WriteValueBlock(const css::uno::Reference<css::table::XCellRange>& range,
                     const RowValues& values) {
    const css::uno::Reference<css::sheet::XCellRangeData> data(range, css::uno::UNO_QUERY);
    if (!data.is()) return false;
    data->setDataArray(values);
    return true;
}

}  // namespace corvane::sheet
