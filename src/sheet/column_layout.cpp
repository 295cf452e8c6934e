#include "sheet/column_layout.hpp"

#include <cstdint>
#include <cstdio>

namespace corvane::sheet {

rtl::OUString RowRangeName(int row) {
    // Widened so that the last int row still names its (non-existent) row + 1.
    const long long number = static_cast<long long>(row) + 1;
    char text[48];
    const int length =
        std::snprintf(text, sizeof text, "A%lld:%s%lld", number, kLastColumnLetters, number);
    return rtl::OUString(text, length, RTL_TEXTENCODING_ASCII_US);
}

}  // namespace corvane::sheet
