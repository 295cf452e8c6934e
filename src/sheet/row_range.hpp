// The 42-cell range of one row, read and written as one array of values.
#pragma once

#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>

#include "sheet/row_frame.hpp"

namespace corvane::sheet {

using RowValues = css::uno::Sequence<css::uno::Sequence<css::uno::Any>>;

// The value array interface of the range named `rangeName` (a RowRangeName). Office
// errors pass to the caller, and a range the office does not give, or one without a
// value array, raises a RuntimeException: either way nothing has been written.
css::uno::Reference<css::sheet::XCellRangeData> RowRangeData(const SheetHandle& sheet,
                                                             const rtl::OUString& rangeName);

// The 42 elements of a row's value array, ready to be replaced in place. Raises a
// RuntimeException, before anything is written, when the array is not one row of 42.
css::uno::Any* RowCells(RowValues& values, const rtl::OUString& rangeName);

}  // namespace corvane::sheet
