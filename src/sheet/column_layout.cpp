#include "sheet/column_layout.hpp"

#include <cstdint>
#include <cstdio>

namespace corvane::sheet {

rtl::OUString RowRangeName(int row) { return RowsRangeName(row, 1); }

rtl::OUString RowsRangeName(long long firstRow, int rows) {
    // Widened so that the last int row still names its (non-existent) row + 1.
    const long long top = firstRow + 1;
    const long long bottom = firstRow + rows;
    char text[64];
    const int length =
        std::snprintf(text, sizeof text, "A%lld:%s%lld", top, kLastColumnLetters, bottom);
    return rtl::OUString(text, length, RTL_TEXTENCODING_ASCII_US);
}

}  // namespace corvane::sheet
