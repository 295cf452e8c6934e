#include "row_map.hpp"

#include "market_record.hpp"
#include "sheet/sheet_names.hpp"

namespace corvane::feed {

namespace {

// The decimal digits of a whole number without sign and leading zeros, the sign in
// front when negative.
std::string CanonicalNumber(std::string_view text) {
    text = Trimmed(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    while (text.size() > 1 && text[0] == '0') text.remove_prefix(1);
    if (text == "0") negative = false;
    return (negative ? "-" : "") + std::string(text);
}

}  // namespace

bool KeyOf(const std::vector<std::string>& fields, InstrumentKey& key, std::string& why) {
    const std::string_view exchange = fields.empty() ? "" : Trimmed(fields[0]);
    const std::string_view scrip = fields.size() < 3 ? "" : Trimmed(fields[2]);
    if (exchange.empty()) {
        why = "column A (Exchange) is empty: the instrument cannot be told apart";
        return false;
    }
    if (scrip.empty()) {
        why = "column C (Scrip Code) is empty: the instrument cannot be told apart";
        return false;
    }
    // "nse" names the same exchange, and the same sheet, as "NSE".
    key = {sheet::SheetNameKey(exchange), CanonicalNumber(scrip)};
    return true;
}

}  // namespace corvane::feed
