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

// How a column's values are shown.
enum class Look {
    Text,      // left-aligned, as written
    Code,      // an identifier: an integer without separators
    Quantity,  // thousands separator, no decimals
    Price,     // thousands separator, two decimals
    Change,    // two decimals, green above 0 and red below
    Yield,     // two decimals
    Time,      // time of day with milliseconds
};

struct Column {
    int index;            // zero-based column position, 0 is A
    const char* letters;  // the column's name in A1 notation
    const char* title;    // 7-bit ASCII; a two-line title holds one line feed
    ValueKind kind;
    Look look;
    // A typical widest value, by which the column's width is measured: `widestText` for
    // text columns, otherwise `widestNumber` as the column's format shows it.
    double widestNumber;
    const char* widestText;
};

inline constexpr char kLastColumnLetters[] = "AP";

// Volume and the opening open interest are fed as reals but count shares and
// contracts, so they read as quantities; the scrip code is an identifier.
// clang-format off
inline constexpr std::array<Column, kColumnCount> ColumnLayout = {{
    {0,  "A",  "Exchange",                      ValueKind::Text,    Look::Text,     0,             "NSE"},
    {1,  "B",  "Description",                   ValueKind::Text,    Look::Text,     0,             "TATA CONSULTANCY SERVICES LTD"},
    {2,  "C",  "Scrip Code",                    ValueKind::Integer, Look::Code,     999999,        nullptr},
    {3,  "D",  "Best\nBuy Qty",                 ValueKind::Integer, Look::Quantity, 99999,         nullptr},
    {4,  "E",  "Best\nBuy Price",               ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {5,  "F",  "Best\nSell Qty",                ValueKind::Integer, Look::Quantity, 99999,         nullptr},
    {6,  "G",  "Best\nSell Price",              ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {7,  "H",  "Day\n4om Expiry",               ValueKind::Text,    Look::Text,     0,             "28-Dec-2026"},
    {8,  "I",  "Strike\nPrice",                 ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {9,  "J",  "Option\nType",                  ValueKind::Text,    Look::Text,     0,             "CE"},
    {10, "K",  "Last\nTraded Qty",              ValueKind::Integer, Look::Quantity, 99999,         nullptr},
    {11, "L",  "Last\nTraded Price",            ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {12, "M",  "Volume",                        ValueKind::Real,    Look::Quantity, 9999999,       nullptr},
    {13, "N",  "Value",                         ValueKind::Real,    Look::Price,    9999999999.99, nullptr},
    {14, "O",  "High",                          ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {15, "P",  "Low",                           ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {16, "Q",  "Open",                          ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {17, "R",  "Close",                         ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {18, "S",  "Total\nBuy Qty",                ValueKind::Integer, Look::Quantity, 9999999,       nullptr},
    {19, "T",  "Total\nSell Qty",               ValueKind::Integer, Look::Quantity, 9999999,       nullptr},
    {20, "U",  "Average\nTrade Price",          ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {21, "V",  "Open\nInterest",                ValueKind::Integer, Look::Quantity, 9999999,       nullptr},
    {22, "W",  "Fair\nValue",                   ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {23, "X",  "Open Interest\nPrevious Close", ValueKind::Integer, Look::Quantity, 9999999,       nullptr},
    {24, "Y",  "%Change",                       ValueKind::Real,    Look::Change,   -99.99,        nullptr},
    {25, "Z",  "52Week\nHigh",                  ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {26, "AA", "52Week\nLow",                   ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {27, "AB", "Lifetime\nHigh",                ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {28, "AC", "Lifetime\nLow",                 ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {29, "AD", "Market\nCap",                   ValueKind::Real,    Look::Price,    9999999.99,    nullptr},
    {30, "AE", "Opening\nOpen Interest",        ValueKind::Real,    Look::Quantity, 9999999,       nullptr},
    {31, "AF", "Base\nPrice FAO",               ValueKind::Real,    Look::Price,    99999.99,      nullptr},
    {32, "AG", "Buy\nYield",                    ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {33, "AH", "Sell\nYield",                   ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {34, "AI", "LTP\nYield",                    ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {35, "AJ", "Avg\nTrade Yield",              ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {36, "AK", "Open\nYield",                   ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {37, "AL", "High\nYield",                   ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {38, "AM", "Low\nYield",                    ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {39, "AN", "Close\nYield",                  ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {40, "AO", "52Week\nHigh Yield",            ValueKind::Real,    Look::Yield,    99.99,         nullptr},
    {41, "AP", "52Week\nLow Yield",             ValueKind::Real,    Look::Yield,    99.99,         nullptr},
}};
// clang-format on

// The row's update time in AQ, right of the record's columns when a workbook keeps it.
inline constexpr Column kUpdatedColumn = {kColumnCount,    "AQ",       "Updated",
                                          ValueKind::Real, Look::Time, 0.99999,   nullptr};

// The column of the first look `look`, -1 when none has it.
constexpr int ColumnWithLook(Look look) {
    for (const Column& column : ColumnLayout)
        if (column.look == look) return column.index;
    return -1;
}

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
