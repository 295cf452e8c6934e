// The key columns A to C of a market-watch sheet, read back from the office: which
// instrument each row holds now, and whether a block of rows still holds the instruments
// a writer placed there.
#pragma once

#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>

#include <string>
#include <vector>

#include "core/error.hpp"
#include "sheet/row_frame.hpp"
#include "sheet/row_key.hpp"

namespace corvane::sheet {

// The key of one row of a value array whose first three elements are columns A to C.
// A number reads as its shortest decimal text ("500325", not "500325.0"), a whole one
// never in exponent form ("100000", not "1e+05"), so that it reads as the scrip code the
// host put. Fewer than three elements: a blank key.
RowKey KeyOfCells(const css::uno::Sequence<css::uno::Any>& cells);

// The keys of the sheet's rows from zero-based `firstRow` down to the last row that
// holds anything in columns A to C (none when no row does, or `firstRow` is below it).
// Office (the message says which) when the office gives the key columns no query or no
// values; other office errors pass to the caller, `keys` empty.
Error ReadKeyColumns(const SheetHandle& sheet, int firstRow, std::vector<RowKey>& keys);

// Whether each of the `expected.size()` rows from zero-based `firstRow` holds in its key
// columns the instrument expected[i] (a platform::InstrumentKey) or nothing: `hold` is
// false when any row holds another. Office when the key columns give no values; other
// office errors pass to the caller.
Error KeysHold(const SheetHandle& sheet, int firstRow, const std::vector<std::string>& expected,
               bool& hold);

}  // namespace corvane::sheet
