#include "sheet/column_layout.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

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

namespace {

// Upper case, each run of blanks and line feeds as one blank, none at either end.
std::string Folded(std::string_view text) {
    std::string folded;
    bool blank = false;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            blank = !folded.empty();
            continue;
        }
        if (blank) folded += ' ';
        blank = false;
        folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace

int ColumnNamed(std::string_view name) {
    const std::string wanted = Folded(name);
    if (wanted.empty()) return -1;
    for (const Column& column : ColumnLayout)
        if (wanted == column.letters || wanted == Folded(column.title)) return column.index;
    return -1;
}

}  // namespace corvane::sheet
