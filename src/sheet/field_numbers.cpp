#include "sheet/field_numbers.hpp"

#include <charconv>
#include <cstdint>
#include <limits>

namespace corvane::sheet {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The field after its leading white space and sign; `negative` tells the sign.
std::string_view SkipSpaceAndSign(std::string_view field, bool& negative) {
    std::size_t at = 0;
    while (at < field.size() && IsSpace(field[at])) ++at;
    negative = false;
    if (at < field.size() && (field[at] == '+' || field[at] == '-')) {
        negative = field[at] == '-';
        ++at;
    }
    return field.substr(at);
}

std::size_t DigitRun(std::string_view text, std::size_t from) {
    std::size_t end = from;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return end;
}

// For a number beyond a double's range: infinity when it is too large, 0 when it is too
// close to zero. `number` is what the parser matched: digits, point, exponent.
double OutOfRangeMagnitude(std::string_view number) {
    std::size_t at = 0;
    while (at < number.size() && number[at] == '0') ++at;
    const std::size_t integerEnd = DigitRun(number, at);
    // Decimal order of the leading non-zero digit, before the exponent.
    long long order = static_cast<long long>(integerEnd - at);
    at = integerEnd;
    if (order == 0 && at < number.size() && number[at] == '.') {
        ++at;
        while (at < number.size() && number[at] == '0') {
            --order;
            ++at;
        }
    }
    const std::size_t mark = number.find_first_of("eE");
    if (mark != std::string_view::npos) {
        bool negativeExponent = false;
        const std::string_view exponent =
            SkipSpaceAndSign(number.substr(mark + 1), negativeExponent);
        long long value = 0;
        for (char c : exponent.substr(0, DigitRun(exponent, 0))) {
            if (value < 100000000) value = value * 10 + (c - '0');
        }
        order += negativeExponent ? -value : value;
    }
    return order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

double LeadingInteger(std::string_view field) {
    bool negative = false;
    const std::string_view rest = SkipSpaceAndSign(field, negative);
    const std::size_t end = DigitRun(rest, 0);
    if (end == 0) return 0.0;
    const char* first = rest.data();
    const char* last = first + end;
    double magnitude = 0.0;
    std::uint64_t exact = 0;
    if (std::from_chars(first, last, exact).ec == std::errc()) {
        magnitude = static_cast<double>(exact);
    } else {
        // More digits than 64 bits hold: the nearest double of the digit run.
        if (std::from_chars(first, last, magnitude, std::chars_format::fixed).ec ==
            std::errc::result_out_of_range) {
            magnitude = std::numeric_limits<double>::infinity();
        }
    }
    return negative ? -magnitude : magnitude;
}

double LeadingReal(std::string_view field) {
    bool negative = false;
    const std::string_view rest = SkipSpaceAndSign(field, negative);
    // A number starts with a digit, or a decimal point followed by one. Checking this
    // here keeps out what the parser below would also take: a second sign, "inf", "nan".
    const bool leadingDigit = !rest.empty() && IsDigit(rest[0]);
    const bool leadingPoint = rest.size() > 1 && rest[0] == '.' && IsDigit(rest[1]);
    if (!leadingDigit && !leadingPoint) return 0.0;

    double magnitude = 0.0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude,
                                              std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        magnitude = OutOfRangeMagnitude(std::string_view(rest.data(), end - rest.data()));
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace corvane::sheet
