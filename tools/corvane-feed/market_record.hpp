// One market-watch line read from CSV: the 42 fields in column order, checked before
// anything is written, so that a field the sheet would store wrongly is reported instead.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::feed {

inline constexpr int kColumns = 42;

// How a column stores its field. Numeric columns take a number or nothing.
enum class FieldKind { Text, Integer, Real };

FieldKind KindOf(int column);
// A1-notation letters of a zero-based column: 0 is A, 26 is AA.
std::string ColumnLetters(int column);
// `text` without leading and trailing blanks, tabs and line breaks.
std::string_view Trimmed(std::string_view text);
// A whole number in decimal: optional blanks, an optional sign, digits, optional blanks.
bool IsWholeNumber(std::string_view text);
// A finite decimal number: digits with an optional point and exponent, with the same
// blanks and sign; the point is always the decimal separator.
bool IsDecimalNumber(std::string_view text);

class RecordCheck {
  public:
    // `titles`: the 42 column titles, a two-line title with its line feed.
    explicit RecordCheck(std::vector<std::string> titles);

    // Whether `fields` are column titles rather than data: the leading fields read as
    // the first titles, ignoring case and how blanks and line breaks are spaced.
    bool IsHeader(const std::vector<std::string>& fields) const;

    // Brings `fields` to 42 (missing trailing fields are empty) and checks that each
    // numeric column holds a number or nothing (blanks there become nothing). Returns why the line
    // cannot be written, or "" when it can.
    std::string Complete(std::vector<std::string>& fields) const;

    // "C (Scrip Code)": a column as messages name it.
    std::string Describe(int column) const;

  private:
    std::vector<std::string> titles_;
};

}  // namespace corvane::feed
