// How the 42 fields of one market-watch record become the values of its row's cells.
#pragma once

#include <com/sun/star/uno/Any.hxx>
#include "corvane/market_watch_record.hpp"

#include <string_view>

namespace corvane::sheet {

// Replaces cells[0] to cells[41] by the record's fields, each as its column wants it:
// Text columns as text, Integer and Real columns as numbers read from the field's
// leading part (an integer beyond 32 bits as a double), and an empty field as empty
// text, which empties the cell whatever its column.
void StoreRecordFields(css::uno::Any* cells, const MarketWatchRecord& record);

// The same from the 42 fields as texts of up to INT_MAX bytes each.
void StoreRecordFields(css::uno::Any* cells, const std::string_view* fields);

// The same for the zero-based columns `first` to `last` (at most AP) alone.
void StoreRecordFields(css::uno::Any* cells, const std::string_view* fields, int first, int last);

}  // namespace corvane::sheet
