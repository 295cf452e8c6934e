// The key columns A to C of a market-watch sheet, read back from the office: which
// instrument each row holds now, and whether a block of rows still holds the instruments
// a writer placed there.
#pragma once

#include <com/sun/star/sheet/XCellRangeData.hpp>
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

// What the key columns of a block's rows hold, against the instruments expected there.
enum class KeysFound {
    Expected,  // every row holds its instrument
    Blank,     // every row holds its instrument or nothing, and some nothing
    Other,     // a row holds another instrument
    Reshaped   // the range no longer spans as many rows as expected (rows inserted or deleted)
};

// Reads the key columns A to C in `keys`, which spans expected.size() rows, and compares
// row i with expected[i] (a platform::InstrumentKey). Office when they give no values;
// other office errors pass to the caller.
Error CompareKeys(const css::uno::Reference<css::sheet::XCellRangeData>& keys,
                  const std::vector<std::string>& expected, KeysFound& found);

// The key columns of `rows` rows from zero-based `firstRow`, ready to read; null when
// the office gives them no values.
css::uno::Reference<css::sheet::XCellRangeData> KeyColumns(const SheetHandle& sheet, int firstRow,
                                                           int rows);

}  // namespace corvane::sheet
