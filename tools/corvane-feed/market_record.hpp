// One market-watch line read from CSV: the 42 fields in column order, checked before
// anything is written, so that a field the sheet would store wrongly is reported instead.
#pragma once

#include <corvane/corvane.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::feed {

inline constexpr int kColumns = CORVANE_COLUMN_COUNT;

// How a column stores its field. Numeric columns take a number or nothing.
enum class FieldKind { Text, Integer, Real };

// The column table as the library has it: titles (a two-line title with its line feed)
// and kinds, one of each per column.
struct Columns {
    std::vector<std::string> titles;
    std::vector<FieldKind> kinds;
};
// Asks the library (corvane_column_title, corvane_column_kind).
Columns LibraryColumns();

// A1-notation letters of a zero-based column: 0 is A, 26 is AA.
std::string ColumnLetters(int column);
// `text` without leading and trailing blanks, tabs and line breaks, as the live table
// trims keys.
using platform::Trimmed;
enum class NumberCheck { Fits, NotANumber, TooLarge };
// A whole number in decimal: optional blanks, an optional sign, digits, optional blanks,
// whose value a double holds without overflowing.
NumberCheck CheckWholeNumber(std::string_view text);
bool IsWholeNumber(std::string_view text);
// A decimal number: digits with an optional point and exponent, with the same blanks and
// sign; the point is always the decimal separator. Its value must not overflow a double
// (one too close to zero for a double is stored as zero, as the nearest double).
NumberCheck CheckDecimalNumber(std::string_view text);
bool IsDecimalNumber(std::string_view text);
// `text` as a message shows it: in double quotes, control characters, backslashes,
// quotes and bytes that are not UTF-8 escaped, cut after `limit` characters.
std::string Shown(std::string_view text, std::size_t limit = 40);

class RecordCheck {
  public:
    explicit RecordCheck(Columns columns);

    // Whether `fields` are column titles rather than data: the leading fields read as
    // the first titles, ignoring case and how blanks and line breaks are spaced.
    bool IsHeader(const std::vector<std::string>& fields) const;

    // Brings `fields` to 42 (missing trailing fields are empty) and checks that each
    // numeric column holds a number or nothing (blanks there become nothing) and that no
    // field holds a NUL byte. Argument, saying why, for a line that cannot be written.
    corvane::Error Complete(std::vector<std::string>& fields) const;

    // "C (Scrip Code)": a column as messages name it.
    std::string Describe(int column) const;

  private:
    Columns columns_;
};

}  // namespace corvane::feed
