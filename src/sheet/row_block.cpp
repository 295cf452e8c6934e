#include "sheet/row_block.hpp"

#include <com/sun/star/sheet/XCellRangeData.hpp>

#include "platform/scratch_files.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/record_fields.hpp"

namespace corvane::sheet {

// The row times sit right of AP.
static_assert(kUpdatedColumn.index == kColumnCount);

RowValues BlockValues(const std::vector<FieldRow>& rows, int firstColumn, bool rowTimes) {
    const int last = rowTimes ? kUpdatedColumn.index : kColumnCount - 1;
    return BlockCells(rows, rowTimes).Columns(firstColumn, last);
}

BlockCells::BlockCells(const std::vector<FieldRow>& rows, bool rowTimes)
    : BlockCells(rows, rowTimes, {{0, kUpdatedColumn.index}}) {}

BlockCells::BlockCells(const std::vector<FieldRow>& rows, bool rowTimes,
                       const std::vector<std::pair<int, int>>& spans)
    : cells_(rows.size()) {
    bool times = false;
    for (const auto& [first, last] : spans) times |= last >= kUpdatedColumn.index;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        css::uno::Any* const cells = cells_[i].data();
        for (const auto& [first, last] : spans)
            StoreRecordFields(cells, rows[i].fields.data(), first, last);
        if (!rowTimes || !times) continue;
        const auto taken = rows[i].taken;
        if (taken == std::chrono::system_clock::time_point())
            cells[kUpdatedColumn.index] <<= rtl::OUString();
        else
            cells[kUpdatedColumn.index] <<= platform::LocalSerialTime(taken);
    }
}

RowValues BlockCells::Columns(int first, int last) const {
    RowValues values(static_cast<sal_Int32>(cells_.size()));
    css::uno::Sequence<css::uno::Any>* const out = values.getArray();
    for (std::size_t i = 0; i < cells_.size(); ++i)
        out[i] = css::uno::Sequence<css::uno::Any>(cells_[i].data() + first, last - first + 1);
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
