#include "market_record.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace corvane::feed {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view WithoutSign(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    return text;
}

// Lower case, single blanks: how a header cell is compared with a title.
std::string Normalised(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : Trimmed(text)) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

}  // namespace

FieldKind KindOf(int column) {
    switch (column) {
        case 0:  // Exchange
        case 1:  // Description
        case 7:  // expiry date
        case 9:  // option type
            return FieldKind::Text;
        case 2:   // scrip code
        case 3:   // best buy quantity
        case 5:   // best sell quantity
        case 10:  // last traded quantity
        case 18:  // total buy quantity
        case 19:  // total sell quantity
        case 21:  // open interest
        case 23:  // open interest, previous close
            return FieldKind::Integer;
        default:
            return FieldKind::Real;
    }
}

std::string ColumnLetters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsWholeNumber(std::string_view text) {
    const std::string_view digits = WithoutSign(Trimmed(text));
    if (digits.empty()) return false;
    for (char c : digits)
        if (!IsDigit(c)) return false;
    return true;
}

bool IsDecimalNumber(std::string_view text) {
    const std::string_view number = WithoutSign(Trimmed(text));
    // from_chars alone would also take "inf", "nan" and a second sign.
    const bool leadingDigit = !number.empty() && IsDigit(number[0]);
    const bool leadingPoint = number.size() > 1 && number[0] == '.' && IsDigit(number[1]);
    if (!leadingDigit && !leadingPoint) return false;
    double value = 0;
    const char* end = number.data() + number.size();
    const auto [stop, error] =
        std::from_chars(number.data(), end, value, std::chars_format::general);
    return error == std::errc() && stop == end && std::isfinite(value);
}

RecordCheck::RecordCheck(std::vector<std::string> titles) : titles_(std::move(titles)) {
    titles_.resize(kColumns);
}

bool RecordCheck::IsHeader(const std::vector<std::string>& fields) const {
    // Two titles at least: a lone "Exchange" could be an exchange's name.
    const std::size_t compared = std::min<std::size_t>(fields.size(), 3);
    if (compared < 2) return false;
    for (std::size_t k = 0; k < compared; ++k)
        if (Normalised(fields[k]) != Normalised(titles_[k])) return false;
    return true;
}

std::string RecordCheck::Complete(std::vector<std::string>& fields) const {
    if (fields.size() > static_cast<std::size_t>(kColumns))
        return std::to_string(fields.size()) + " fields, more than the " +
               std::to_string(kColumns) + " columns";
    fields.resize(kColumns);
    for (int k = 0; k < kColumns; ++k) {
        std::string& field = fields[k];
        // Blanks in a numeric column mean no value, as an empty field does, not 0.
        if (KindOf(k) != FieldKind::Text && Trimmed(field).empty()) field.clear();
        if (field.empty()) continue;
        switch (KindOf(k)) {
            case FieldKind::Text:
                break;
            case FieldKind::Integer:
                if (!IsWholeNumber(field))
                    return "column " + Describe(k) + ": \"" + field + "\" is not a whole number";
                break;
            case FieldKind::Real:
                if (!IsDecimalNumber(field))
                    return "column " + Describe(k) + ": \"" + field + "\" is not a number";
                break;
        }
    }
    return {};
}

std::string RecordCheck::Describe(int column) const {
    std::string title;
    for (char c : titles_[column]) title += c == '\n' ? ' ' : c;
    return title.empty() ? ColumnLetters(column) : ColumnLetters(column) + " (" + title + ")";
}

}  // namespace corvane::feed
