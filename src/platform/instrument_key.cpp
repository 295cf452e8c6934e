#include "platform/instrument_key.hpp"

#include "platform/text_case.hpp"

namespace corvane::platform {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

InstrumentName CanonicalInstrument(std::string_view exchange, std::string_view scrip) {
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
    InstrumentName name{UpperCaseUtf8(exchange), std::string()};
    name.scrip.reserve(scrip.size() + 1);
    if (negative) name.scrip.push_back('-');
    name.scrip.append(scrip);
    return name;
}

std::string InstrumentKey(std::string_view exchange, std::string_view scrip) {
    InstrumentName name = CanonicalInstrument(exchange, scrip);
    if (name.exchange.empty()) return {};
    std::string key = std::move(name.exchange);
    key.reserve(key.size() + name.scrip.size() + 1);
    key.push_back('\0');
    key.append(name.scrip);
    return key;
}

}  // namespace corvane::platform
