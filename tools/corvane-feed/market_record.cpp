#include "market_record.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
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

// For a number the parser found out of a double's range: whether it is too large
// (rather than too close to zero). Its decimal order, from the leading non-zero digit
// and the exponent, is positive then.
bool Overflows(std::string_view number) {
    std::size_t at = 0;
    while (at < number.size() && number[at] == '0') ++at;
    long long order = 0;
    while (at < number.size() && IsDigit(number[at])) ++order, ++at;
    if (order == 0 && at < number.size() && number[at] == '.') {
        for (++at; at < number.size() && number[at] == '0'; ++at) --order;
    }
    const std::size_t mark = number.find_first_of("eE");
    if (mark != std::string_view::npos) {
        std::string_view exponent = number.substr(mark + 1);
        const bool negative = !exponent.empty() && exponent[0] == '-';
        exponent = WithoutSign(exponent);
        long long value = 0;
        for (char c : exponent) {
            if (!IsDigit(c)) break;
            if (value < 100000000) value = value * 10 + (c - '0');
        }
        order += negative ? -value : value;
    }
    return order > 0;
}

// Length of the UTF-8 sequence starting at `text[at]`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return length;
}

}  // namespace

Columns LibraryColumns() {
    Columns columns;
    for (int k = 0; k < kColumns; ++k) {
        const char* title = corvane_column_title(k);
        columns.titles.emplace_back(title == nullptr ? "" : title);
        switch (corvane_column_kind(k)) {
            case CORVANE_KIND_INTEGER:
                columns.kinds.push_back(FieldKind::Integer);
                break;
            case CORVANE_KIND_REAL:
                columns.kinds.push_back(FieldKind::Real);
                break;
            default:
                columns.kinds.push_back(FieldKind::Text);
                break;
        }
    }
    return columns;
}

std::string ColumnLetters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

NumberCheck CheckWholeNumber(std::string_view text) {
    const std::string_view digits = WithoutSign(Trimmed(text));
    if (digits.empty()) return NumberCheck::NotANumber;
    for (char c : digits)
        if (!IsDigit(c)) return NumberCheck::NotANumber;
    // The library stores the digits as the nearest double: past its range, an infinity.
    double value = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::fixed);
    return parsed.ec == std::errc() ? NumberCheck::Fits : NumberCheck::TooLarge;
}

NumberCheck CheckDecimalNumber(std::string_view text) {
    const std::string_view number = WithoutSign(Trimmed(text));
    // from_chars alone would also take "inf", "nan" and a second sign.
    const bool leadingDigit = !number.empty() && IsDigit(number[0]);
    const bool leadingPoint = number.size() > 1 && number[0] == '.' && IsDigit(number[1]);
    if (!leadingDigit && !leadingPoint) return NumberCheck::NotANumber;
    double value = 0;
    const char* end = number.data() + number.size();
    const auto [stop, error] =
        std::from_chars(number.data(), end, value, std::chars_format::general);
    if (stop != end) return NumberCheck::NotANumber;
    if (error == std::errc::result_out_of_range)
        return Overflows(number) ? NumberCheck::TooLarge : NumberCheck::Fits;
    return error == std::errc() ? NumberCheck::Fits : NumberCheck::NotANumber;
}

bool IsWholeNumber(std::string_view text) { return CheckWholeNumber(text) == NumberCheck::Fits; }
bool IsDecimalNumber(std::string_view text) {
    return CheckDecimalNumber(text) == NumberCheck::Fits;
}

std::string Shown(std::string_view text, std::size_t limit) {
    std::string out = "\"";
    std::size_t shown = 0;
    std::size_t at = 0;
    for (; at < text.size() && shown < limit; ++shown) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            if (const std::size_t length = Utf8Length(text, at)) {
                out.append(text.substr(at, length));
                at += length;
                continue;
            }
        }
        ++at;
        switch (c) {
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\\':
            case '"':
                out += '\\';
                out += static_cast<char>(c);
                continue;
            default:
                break;
        }
        if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    if (at < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

RecordCheck::RecordCheck(Columns columns) : columns_(std::move(columns)) {
    columns_.titles.resize(kColumns);
    columns_.kinds.resize(kColumns, FieldKind::Text);
}

bool RecordCheck::IsHeader(const std::vector<std::string>& fields) const {
    // Two titles at least: a lone "Exchange" could be an exchange's name.
    const std::size_t compared = std::min<std::size_t>(fields.size(), 3);
    if (compared < 2) return false;
    for (std::size_t k = 0; k < compared; ++k)
        if (Normalised(fields[k]) != Normalised(columns_.titles[k])) return false;
    return true;
}

corvane::Error RecordCheck::Complete(std::vector<std::string>& fields) const {
    const auto refuse = [](std::string why) {
        return corvane::Error(ErrorCode::Argument, std::move(why));
    };
    if (fields.size() > static_cast<std::size_t>(kColumns))
        return refuse(std::to_string(fields.size()) + " fields, more than the " +
                      std::to_string(kColumns) + " columns");
    fields.resize(kColumns);
    for (int k = 0; k < kColumns; ++k) {
        std::string& field = fields[k];
        // The library takes NUL-terminated text: a NUL would cut the field short.
        if (field.find('\0') != std::string::npos)
            return refuse("column " + Describe(k) + ": " + Shown(field) + " holds a NUL byte");
        const FieldKind kind = columns_.kinds[k];
        // Blanks in a numeric column mean no value, as an empty field does, not 0.
        if (kind != FieldKind::Text && Trimmed(field).empty()) field.clear();
        if (field.empty()) continue;
        if (kind == FieldKind::Text) continue;
        const bool whole = kind == FieldKind::Integer;
        switch (whole ? CheckWholeNumber(field) : CheckDecimalNumber(field)) {
            case NumberCheck::Fits:
                break;
            case NumberCheck::NotANumber:
                return refuse("column " + Describe(k) + ": " + Shown(field) +
                              (whole ? " is not a whole number" : " is not a number"));
            case NumberCheck::TooLarge:
                return refuse("column " + Describe(k) + ": " + Shown(field) +
                              " is too large for a cell's number");
        }
    }
    return {};
}

std::string RecordCheck::Describe(int column) const {
    std::string title;
    for (char c : columns_.titles[column]) title += c == '\n' ? ' ' : c;
    return title.empty() ? ColumnLetters(column) : ColumnLetters(column) + " (" + title + ")";
}

}  // namespace corvane::feed
