#include "live/instrument_key.hpp"

#include "sheet/sheet_names.hpp"

namespace corvane::live {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string InstrumentKey(std::string_view exchange, std::string_view scrip) {
    exchange = Trimmed(exchange);
    scrip = Trimmed(scrip);
    if (exchange.empty() || scrip.empty()) return {};
    bool negative = false;
    if (scrip[0] == '+' || scrip[0] == '-') {
        negative = scrip[0] == '-';
        scrip.remove_prefix(1);
    }
    while (scrip.size() > 1 && scrip[0] == '0') scrip.remove_prefix(1);
    if (scrip == "0") negative = false;
    std::string key = sheet::SheetNameKey(exchange);
    key.reserve(key.size() + scrip.size() + 2);
    key.push_back('\0');
    if (negative) key.push_back('-');
    key.append(scrip);
    return key;
}

}  // namespace corvane::live
