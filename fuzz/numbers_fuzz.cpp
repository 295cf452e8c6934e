// Numbers: the library's conversions against strtod in the C locale, and the feed's
// checks against what the library then stores.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_check.hpp"
#include "market_record.hpp"
#include "sheet/field_numbers.hpp"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The decimal number leading `text` as the library reads it, handed to strtod; 0 when
// none leads.
double Reference(const std::string& text, bool real) {
    std::size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) ++at;
    const std::size_t start = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const bool negative = at > start && text[start] == '-';
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    bool digits = end > at;
    if (real && end < text.size() && text[end] == '.') {
        std::size_t fraction = end + 1;
        while (fraction < text.size() && IsDigit(text[fraction])) ++fraction;
        if (fraction > end + 1 || digits) {
            digits = digits || fraction > end + 1;
            end = fraction;
        }
    }
    if (!digits) return negative ? -0.0 : 0.0;
    if (real && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        std::size_t last = exponent;
        while (last < text.size() && IsDigit(text[last])) ++last;
        if (last > exponent) end = last;
    }
    const std::string number = text.substr(start, end - start);
    return std::strtod(number.c_str(), nullptr);
}

bool Identical(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1000) return 0;
    std::setlocale(LC_ALL, "C");
    const std::string text(reinterpret_cast<const char*>(data), size);
    using corvane::sheet::LeadingInteger;
    using corvane::sheet::LeadingReal;

    const double real = LeadingReal(text);
    const double whole = LeadingInteger(text);
    FUZZ_CHECK(Identical(real, Reference(text, true)) || (real == 0 && Reference(text, true) == 0));
    FUZZ_CHECK(Identical(whole, Reference(text, false)) ||
               (whole == 0 && Reference(text, false) == 0));

    // What the feed lets through, the library stores as the number the text means.
    const std::string trimmed(corvane::feed::Trimmed(text));
    if (corvane::feed::IsDecimalNumber(text)) {
        FUZZ_CHECK(std::isfinite(real));
        FUZZ_CHECK(real == std::strtod(trimmed.c_str(), nullptr));
    }
    if (corvane::feed::IsWholeNumber(text)) {
        FUZZ_CHECK(std::isfinite(whole));
        FUZZ_CHECK(whole == std::strtod(trimmed.c_str(), nullptr));
    }
    return 0;
}
