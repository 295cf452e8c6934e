// The fixed layout of a market-watch sheet: 42 columns, A to AP, each with its title,
// the record field that feeds it and how that field is stored.
#pragma once

#include <rtl/ustring.hxx>
#include "corvane/market_watch_record.hpp"

#include <array>
#include <string_view>

namespace corvane::sheet {

// How a record field reaches its cell.
enum class ValueKind {
    Text,     // the field's characters, digits included
    Integer,  // the field's leading integer as a number; an empty field leaves the cell empty
    Real,     // the field's leading decimal number; an empty field leaves the cell empty
};

struct Column {
    int index;            // zero-based column position, 0 is A
    const char* letters;  // the column's name in A1 notation
    const char* title;    // 7-bit ASCII; a two-line title holds one line feed
    int field;            // index of the record field that feeds the column
    ValueKind kind;
};

inline constexpr char kLastColumnLetters[] = "AP";

// clang-format off
inline constexpr std::array<Column, kColumnCount> ColumnLayout = {{
    {0,  "A",  "Exchange",                      0,  ValueKind::Text},
    {1,  "B",  "Description",                   1,  ValueKind::Text},
    {2,  "C",  "Scrip Code",                    2,  ValueKind::Integer},
    {3,  "D",  "Best\nBuy Qty",                 3,  ValueKind::Integer},
    {4,  "E",  "Best\nBuy Price",               4,  ValueKind::Real},
    {5,  "F",  "Best\nSell Qty",                5,  ValueKind::Integer},
    {6,  "G",  "Best\nSell Price",              6,  ValueKind::Real},
    {7,  "H",  "Day\n4om Expiry",               7,  ValueKind::Text},
    {8,  "I",  "Strike\nPrice",                 8,  ValueKind::Real},
    {9,  "J",  "Option\nType",                  9,  ValueKind::Text},
    {10, "K",  "Last\nTraded Qty",              10, ValueKind::Integer},
    {11, "L",  "Last\nTraded Price",            11, ValueKind::Real},
    {12, "M",  "Volume",                        12, ValueKind::Real},
    {13, "N",  "Value",                         13, ValueKind::Real},
    {14, "O",  "High",                          14, ValueKind::Real},
    {15, "P",  "Low",                           15, ValueKind::Real},
    {16, "Q",  "Open",                          16, ValueKind::Real},
    {17, "R",  "Close",                         17, ValueKind::Real},
    {18, "S",  "Total\nBuy Qty",                18, ValueKind::Integer},
    {19, "T",  "Total\nSell Qty",               19, ValueKind::Integer},
    {20, "U",  "Average\nTrade Price",          20, ValueKind::Real},
    {21, "V",  "Open\nInterest",                21, ValueKind::Integer},
    {22, "W",  "Fair\nValue",                   22, ValueKind::Real},
    {23, "X",  "Open Interest\nPrevious Close", 23, ValueKind::Integer},
    {24, "Y",  "%Change",                       24, ValueKind::Real},
    {25, "Z",  "52Week\nHigh",                  25, ValueKind::Real},
    {26, "AA", "52Week\nLow",                   26, ValueKind::Real},
    {27, "AB", "Lifetime\nHigh",                27, ValueKind::Real},
    {28, "AC", "Lifetime\nLow",                 28, ValueKind::Real},
    {29, "AD", "Market\nCap",                   29, ValueKind::Real},
    {30, "AE", "Opening\nOpen Interest",        30, ValueKind::Real},
    {31, "AF", "Base\nPrice FAO",               31, ValueKind::Real},
    {32, "AG", "Buy\nYield",                    32, ValueKind::Real},
    {33, "AH", "Sell\nYield",                   33, ValueKind::Real},
    {34, "AI", "LTP\nYield",                    34, ValueKind::Real},
    {35, "AJ", "Avg\nTrade Yield",              35, ValueKind::Real},
    {36, "AK", "Open\nYield",                   36, ValueKind::Real},
    {37, "AL", "High\nYield",                   37, ValueKind::Real},
    {38, "AM", "Low\nYield",                    38, ValueKind::Real},
    {39, "AN", "Close\nYield",                  39, ValueKind::Real},
    {40, "AO", "52Week\nHigh Yield",            40, ValueKind::Real},
    {41, "AP", "52Week\nLow Yield",             41, ValueKind::Real},
}};
// clang-format on

// The range of the 42 cells of zero-based row `row`: "A<row+1>:AP<row+1>". Any row
// number gives a name (row -1 gives "A0:AP0"); the office decides whether it exists.
rtl::OUString RowRangeName(int row);

// The range of the 42 cells of `rows` consecutive rows from zero-based `firstRow`:
// "A<firstRow+1>:AP<firstRow+rows>". Like RowRangeName, it names rows that no sheet has
// as readily as real ones.
rtl::OUString RowsRangeName(long long firstRow, int rows);

// The zero-based column that `name` names: its letters ("L"), or its title as the title
// row shows it, on one line ("Last Traded Price"), letter case and extra blanks aside;
// -1 for none.
int ColumnNamed(std::string_view name);

}  // namespace corvane::sheet
