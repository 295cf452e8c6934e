#include "sheet/record_rows.hpp"

#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

#include <vector>

#include "sheet/column_layout.hpp"
#include "sheet/row_block.hpp"
#include "sheet/row_range.hpp"

namespace corvane::sheet {
namespace {

using css::uno::Reference;

// Writes `rows` records (none null) into `range`, which spans exactly those rows.
void WriteRecordBlock(const Reference<css::table::XCellRange>& range,
                      const MarketWatchRecord* const* records, sal_Int32 rows) {
    std::vector<FieldRow> fields(static_cast<std::size_t>(rows));
    for (sal_Int32 i = 0; i < rows; ++i) {
        for (int k = 0; k < kColumnCount; ++k) {
            const CString& field = records[i]->fields[k];
            fields[i].fields[k] = {field.GetString(), static_cast<std::size_t>(field.GetLength())};
        }
    }
    if (!WriteValueBlock(range, BlockValues(fields, 0, false)))
        throw css::uno::RuntimeException("the rows' range offers no value array");
}

}  // namespace

void WriteRecordRows(const SheetHandle& sheet, int firstRow,
                     const MarketWatchRecord* const* records, int count) {
    if (!sheet.is() || records == nullptr || count <= 0) return;
    int first = 0;
    while (first < count && records[first] == nullptr) ++first;
    if (first == count) return;
    int last = count - 1;
    while (records[last] == nullptr) --last;

    // The whole stretch at once: the office refuses it when any of its rows lies
    // outside the sheet, before any block has been written.
    const rtl::OUString extentName =
        RowsRangeName(static_cast<long long>(firstRow) + first, last - first + 1);
    const Reference<css::table::XCellRange> extent = sheet->getCellRangeByName(extentName);
    if (!extent.is()) throw css::uno::RuntimeException("the sheet gave no range " + extentName);

    for (int start = first; start <= last;) {
        if (records[start] == nullptr) {
            ++start;
            continue;
        }
        int end = start;  // one past the block
        while (end <= last && end - start < kMaxBlockRows && records[end] != nullptr) ++end;
        const sal_Int32 rows = end - start;
        if (start == first && end == last + 1) {
            WriteRecordBlock(extent, records + start, rows);  // one block covers the stretch
        } else {
            const sal_Int32 top = start - first;
            WriteRecordBlock(
                extent->getCellRangeByPosition(0, top, kColumnCount - 1, top + rows - 1),
                records + start, rows);
        }
        start = end;
    }
}

}  // namespace corvane::sheet
