#include "sheet/row_range.hpp"

#include <com/sun/star/table/XCellRange.hpp>

#include <utility>

namespace corvane::sheet {

css::uno::Reference<css::sheet::XCellRangeData> RowRangeData(const SheetHandle& sheet,
                                                             const rtl::OUString& rangeName) {
    const css::uno::Reference<css::table::XCellRange> range = sheet->getCellRangeByName(rangeName);
    if (!range.is()) throw css::uno::RuntimeException("the sheet gave no range " + rangeName);
    css::uno::Reference<css::sheet::XCellRangeData> data(range, css::uno::UNO_QUERY);
    if (!data.is()) {
        throw css::uno::RuntimeException("range " + rangeName + " offers no value array");
    }
    return data;
}

css::uno::Any* RowCells(RowValues& values, const rtl::OUString& rangeName) {
    const RowValues& read = std::as_const(values);
    if (read.getLength() != 1 || read[0].getLength() != kColumnCount) {
        const sal_Int32 width = read.getLength() > 0 ? read[0].getLength() : 0;
        throw css::uno::RuntimeException(
            "the value array of range " + rangeName + " has " +
            rtl::OUString::number(read.getLength()) + " row(s) of " + rtl::OUString::number(width) +
            " values instead of one row of " + rtl::OUString::number(kColumnCount));
    }
    return values.getArray()[0].getArray();
}

}  // namespace corvane::sheet
