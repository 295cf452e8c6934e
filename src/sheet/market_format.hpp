// The look of a market-watch sheet: number formats and alignment per column, column
// widths, the title row, the conditional colours of %Change, the autofilter and the
// print setup. Everything is a cell, column, sheet or page-style attribute, so the
// record, block and reset writes, which only send values, leave it in place.
#pragma once

#include <sal/types.h>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include "corvane/market_watch_record.hpp"

#include <string>

#include "core/error.hpp"
#include "sheet/column_layout.hpp"

namespace corvane::sheet {

struct MarketSheetOptions {
    // Column AQ, right of AP, holds each row's last update time: titled "Updated" and
    // formatted as a time of day with milliseconds.
    bool rowTimes = false;
};

// Zero-based column of the row times (AQ) and its title.
inline constexpr sal_Int32 kRowTimeColumn = kUpdatedColumn.index;
inline constexpr const char* kRowTimeTitle = kUpdatedColumn.title;

// The title row and the first two columns (Exchange, Description) stay in view while
// scrolling and are repeated on every printed page.
inline constexpr sal_Int32 kFrozenColumns = 2;
inline constexpr sal_Int32 kFrozenRows = 1;

// Names of the styles the workbook gets.
inline constexpr char kGainStyle[] = "Gain";  // %Change above 0
inline constexpr char kLossStyle[] = "Loss";  // %Change below 0
inline constexpr char kPageStyle[] = "Market Watch";

// Columns of a market-watch sheet with these options: 42, or 43 with the row times.
sal_Int32 MarketColumnCount(const MarketSheetOptions& options);

// Gives every sheet of `document` the market-watch look and writes the title row into
// row 1 as the title export does. Meant for a new document: the styles it creates must
// not exist yet. Frozen panes are a property of the document's view, which a document
// in a hidden window does not store: see frozen_panes.hpp. Office errors pass to the
// caller.
void FormatMarketSheets(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document,
                        const MarketSheetOptions& options);

// Adds a sheet named `name` after the last one, with the look and the title row that
// FormatMarketSheets gives; styles the document lacks are made. Office errors (a
// workbook whose structure is protected, a name the office refuses) pass to the caller.
void AddMarketSheet(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document,
                    const rtl::OUString& name, const MarketSheetOptions& options);

// AddMarketSheet for the sheet named `name` (host text), for a caller that goes on
// without it: NoSheet, saying why, when the office refuses the sheet. Only a lost
// connection (DisposedException) passes to the caller.
Error AddMarketSheetNamed(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document,
                          const std::string& name, const MarketSheetOptions& options);

}  // namespace corvane::sheet
